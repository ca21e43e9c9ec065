#!/usr/bin/env bash
# Builds the Windows program and its benchmarks, runs them under Wine on a
# virtual display, and prints the figures as a Markdown table headed by the
# machine and the date (what docs/performance.md holds).
#
#   tools/bench.sh            the full run, about three minutes
#   tools/bench.sh --quick    small sizes, one or two runs: checks that it all works
#   tools/bench.sh --load     the Load and Save figures only (with --quick: small sizes)
#
# TOLVEX_BUILD_DIR picks another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TOLVEX_BUILD_DIR:-build}
tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target program win32 win64 >/dev/null
which=$(tools/wine-test.sh --which "$build")

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(nproc) cores, ${cpu:-unknown CPU}, $(free -g | awk '/^Mem:/ {print $2}') GiB, $(/usr/lib/wine/wine64 --version), Xvfb"
echo "Build: $which"
echo "Commit: $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src bench || echo ' (with local changes)')"
echo
# The file dialog's complaint about drive Z: is noise.
tools/wine-test.sh "$build" bench/news_bench.exe "Z:{exe}" \
  "Z:{build}/bench/floor_window.exe" "$@" 2> >(grep -v 'Read access denied' >&2)
