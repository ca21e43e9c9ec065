#!/usr/bin/env bash
# Builds Tolvex and starts it under Wine. With no display, it starts it on a
# virtual one instead, saves a screenshot of the window and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/build.sh >/dev/null
echo "run: $(tools/wine-test.sh --which build)" >&2

if [ -n "${DISPLAY:-}" ]; then
  exec tools/wine-test.sh --here build {exe}
fi

shot=$PWD/build/screenshot.png
tools/wine-test.sh build tests/wine/screenshot.exe "Z:{exe}" "Z:$PWD/build/screenshot.bmp"
convert build/screenshot.bmp "$shot"
rm -f build/screenshot.bmp
echo "$shot"
