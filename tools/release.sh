#!/usr/bin/env bash
# Builds the release from a clean state: Tolvex111-<version>-win32.zip with the
# program, README.txt, LICENSE.txt and SHA256SUMS.txt. Installs what is missing
# first (tools/deps.sh). The same commit gives the same zip, byte for byte,
# wherever it is checked out (tools/check-reproducible.sh shows it).
# Everything goes to stderr except the last line: the zip's path.
#
# TOLVEX_RELEASE_DIR picks another build folder than build-release/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TOLVEX_RELEASE_DIR:-build-release}

tools/deps.sh >&2
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: the working tree has uncommitted changes; this zip is not the commit's" >&2
fi
# The zip's file times: the commit's time, so that the same commit gives the same zip.
# Outside a checkout of its own (a source archive), 1980-01-01.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=315532800
  if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  fi
fi
export SOURCE_DATE_EPOCH

rm -rf "$build"
# Only the program, with the toolchain that lets it run on Windows XP.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686-win32.cmake" -DTOLVEX_WINE_TESTS=OFF >&2
cmake --build "$build" -j"$(nproc)" --target release >&2

python3 tests/imports/check_xp_imports.py i686-w64-mingw32-objdump "$build/Tolvex111.exe" \
  --windres i686-w64-mingw32-windres >&2
zips=("$build"/Tolvex111-*-win32.zip)
[ "${#zips[@]}" = 1 ] && [ -f "${zips[0]}" ] || { echo "release: no zip was made" >&2; exit 1; }
zip=$(realpath "${zips[0]}")

# What a user gets: the four files, and checksums that hold.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
(cd "$check" && unzip -q "$zip" && ls -1 && sha256sum -c SHA256SUMS.txt) >&2
echo "$zip"
