#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and
# only those that are missing (Debian 12; as root, or with sudo).
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev   # native build and unit tests
  g++-mingw-w64-i686-win32                 # the Windows program (win32 threads: runs on XP)
  g++-mingw-w64-i686-posix                 # its Wine test programs (GoogleTest needs std::mutex)
  g++-mingw-w64-x86-64-posix               # the 64-bit build, for machines that run no 32-bit programs
  python3 unzip                            # the XP import check, the art check, the release zip
  wine wine32:i386 wine64 fonts-wine       # running it (32-bit, or 64-bit where 32-bit cannot run)
  xvfb imagemagick                         # a virtual display and screenshots
  clang libclang-rt-14-dev llvm            # sanitizer builds, libFuzzer, symbolized reports
)

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

add_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || add_i386=1
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$add_i386" = 1 ] || [ "${#missing[@]}" -gt 0 ]; then
  echo "deps: installing ${missing[*]}" >&2
  [ "$add_i386" = 1 ] && $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
