#!/usr/bin/env bash
# Runs a Windows program under Wine on a virtual display of its own, in a fresh
# copy of the build's private Wine prefix, and cleans up what it started.
#
#   tools/wine-test.sh --prepare BUILD_DIR          make BUILD_DIR/wine/pristine once
#   tools/wine-test.sh BUILD_DIR PROGRAM.exe [ARG]  run PROGRAM, exit with its exit code
#
# The program sees the virtual display's number in TOLVEX_DISPLAY and its
# prefix's drive C: as the Unix folder in TOLVEX_DRIVE_C.
set -euo pipefail

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

prepare() {
  local build=$1 pristine=$1/wine/pristine
  mkdir -p "$build/wine"
  exec 9>"$build/wine/.lock"
  flock 9
  [ -f "$pristine/.ready" ] && return 0
  rm -rf "$pristine"
  (
    export WINEPREFIX=$pristine
    unset DISPLAY
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Without Wine's own fonts every face falls back to one Linux font.
    mkdir -p "$pristine/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$pristine/drive_c/windows/Fonts/"
    # Wine draws the frames: with no window manager, hidden windows stall otherwise.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
  )
  touch "$pristine/.ready"
}

run() {
  local build=$1 program=$2
  shift 2
  [ -f "$build/wine/pristine/.ready" ] || prepare "$build"
  run_dir=$(mktemp -d "$build/wine/run.XXXXXX")
  xvfb_pid=""
  cleanup() {
    WINEPREFIX=$run_dir/prefix wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$run_dir"
  }
  trap cleanup EXIT
  cp -a "$build/wine/pristine" "$run_dir/prefix"

  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run_dir/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$run_dir/display" ] && break; sleep 0.05; done
  [ -s "$run_dir/display" ] || { echo "wine-test: Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$run_dir/display")"
  export WINEPREFIX=$run_dir/prefix
  export TOLVEX_DISPLAY=$DISPLAY
  export TOLVEX_DRIVE_C=$run_dir/prefix/drive_c

  local rc=0
  wine "$program" "$@" || rc=$?
  return "$rc"
}

if [ "${1:-}" = --prepare ]; then
  prepare "$(realpath "$2")"
else
  run "$(realpath "$1")" "$2" "${@:3}"
fi
