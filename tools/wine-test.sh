#!/usr/bin/env bash
# Runs a Windows program under Wine on a virtual display of its own, in a fresh
# copy of the build's private Wine prefix, and cleans up what it started.
#
#   tools/wine-test.sh --which ROOT                which build this machine runs, and why
#   tools/wine-test.sh --prepare ROOT              make that build's pristine prefix once
#   tools/wine-test.sh ROOT PROGRAM.exe [ARG...]   run PROGRAM, exit with its exit code
#   tools/wine-test.sh --here ROOT PROGRAM.exe [ARG...]
#                      run it on this display, in the build's lasting prefix wine/user
#
# ROOT is the top build folder (build/). Where Wine's 32-bit loader starts, the
# programs run are the 32-bit ones: ROOT/win32 with the program that ships,
# ROOT/program/Tolvex111.exe. Where it cannot (a kernel with 32-bit emulation
# off: every 32-bit program fails with "Exec format error", though `test -x`
# says yes), they are the 64-bit build, ROOT/win64 with its own Tolvex111.exe,
# under Wine's 64-bit loader. TOLVEX_WINE_ARCH=win64 takes the 64-bit build
# where both run (win32 insists on the 32-bit one).
#
# A relative PROGRAM is found in the chosen build's folder. In PROGRAM and each
# ARG, {exe} stands for the Tolvex111.exe under test and {build} for the chosen
# build's folder, both as Unix paths. The program sees the virtual display's
# number in TOLVEX_DISPLAY and its prefix's drive C: as the Unix folder in
# TOLVEX_DRIVE_C.
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# Sets arch, why, build, exe and wine (the command that runs a Windows program).
pick() {
  local root=$1
  case "${TOLVEX_WINE_ARCH:-}" in
    win32) arch=win32 why="TOLVEX_WINE_ARCH=win32: testing the 32-bit program that ships" ;;
    win64) arch=win64 why="TOLVEX_WINE_ARCH=win64: testing the 64-bit build" ;;
    "")
      if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        arch=win32 why="Wine's 32-bit loader runs here: testing the 32-bit program that ships"
      else
        arch=win64 why="this machine runs no 32-bit programs: testing the 64-bit build"
      fi ;;
    *) echo "wine-test: TOLVEX_WINE_ARCH must be win32, win64 or empty" >&2; exit 2 ;;
  esac
  export WINEARCH=$arch
  build=$root/$arch
  if [ "$arch" = win32 ]; then
    exe=$root/program/Tolvex111.exe
    wine=(wine)
  else
    # Debian's wine wrapper, and wineboot through it, take the 32-bit loader
    # whenever wine32 is installed, even where it cannot run.
    exe=$root/win64/Tolvex111.exe
    export WINELOADER=/usr/lib/wine/wine64
    wine=("$WINELOADER")
  fi
}

prepare() {
  local pristine=$build/wine/pristine
  mkdir -p "$build/wine"
  exec 9>"$build/wine/.lock"
  flock 9
  [ -f "$pristine/.ready" ] && return 0
  rm -rf "$pristine"
  (
    export WINEPREFIX=$pristine
    unset DISPLAY
    "${wine[@]}" wineboot -i >/dev/null 2>&1
    wineserver -w
    # Without Wine's own fonts every face falls back to one Linux font.
    mkdir -p "$pristine/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$pristine/drive_c/windows/Fonts/"
    # Wine draws the frames: with no window manager, hidden windows stall otherwise.
    "${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
  )
  touch "$pristine/.ready"
}

run() {
  local program=${1//\{exe\}/$exe}
  program=${program//\{build\}/$build}
  shift
  local args=() arg
  for arg in "$@"; do
    arg=${arg//\{exe\}/$exe}
    args+=("${arg//\{build\}/$build}")
  done
  case "$program" in /*) ;; *) program=$build/$program ;; esac
  [ -f "$build/wine/pristine/.ready" ] || prepare
  if [ "$here" = 1 ]; then
    export WINEPREFIX=$build/wine/user
    [ -d "$WINEPREFIX" ] || cp -a "$build/wine/pristine" "$WINEPREFIX"
    exec "${wine[@]}" "$program" ${args[@]+"${args[@]}"}
  fi
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
  "${wine[@]}" "$program" ${args[@]+"${args[@]}"} || rc=$?
  return "$rc"
}

here=0
case "${1:-}" in
  --which) pick "$(realpath "$2")"; echo "$why" ;;
  --prepare) pick "$(realpath "$2")"; prepare ;;
  --here) here=1; pick "$(realpath "$2")"; run "${@:3}" ;;
  *) pick "$(realpath "$1")"; run "${@:2}" ;;
esac
