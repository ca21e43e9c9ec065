#!/usr/bin/env bash
# Builds Tolvex and starts it under Wine. With no display, it starts it on a
# virtual one instead, saves a screenshot of the window and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/build.sh >/dev/null
exe=$PWD/build/program/Tolvex111.exe

if [ -n "${DISPLAY:-}" ]; then
  tools/wine-test.sh --prepare build/win32
  prefix=build/win32/wine/user
  [ -d "$prefix" ] || cp -a build/win32/wine/pristine "$prefix"
  WINEPREFIX=$PWD/$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    exec wine "$exe"
fi

shot=$PWD/build/screenshot.png
tools/wine-test.sh build/win32 build/win32/tests/wine/screenshot.exe "Z:$exe" "Z:$PWD/build/screenshot.bmp"
convert build/screenshot.bmp "$shot"
rm -f build/screenshot.bmp
echo "$shot"
