#!/usr/bin/env bash
# Runs a Wine test through tools/wine-test.sh with a small filesystem of its
# own: a 1 MiB tmpfs mounted in the build folder, whose Unix path the test
# finds in TOLVEX_SMALL_DISK (Wine reaches it through drive Z:). Where this
# machine does not allow the mount, the test runs without it and skips what
# needs it. The mount is gone when this script ends, however the test ended.
#
#   small_disk.sh ROOT PROGRAM.exe [ARG...]   (as tools/wine-test.sh takes them)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
disk=$(mktemp -d "$build/small-disk.XXXXXX")
cleanup() {
  if mountpoint -q "$disk"; then umount "$disk" 2>/dev/null || umount -l "$disk"; fi
  rmdir "$disk"
}
trap cleanup EXIT
if mount -t tmpfs -o size=1m,mode=0777 tolvex-small-disk "$disk" 2>/dev/null; then
  export TOLVEX_SMALL_DISK=$disk
else
  echo "small_disk: cannot mount a tmpfs here; the full-disk case is skipped" >&2
fi
rc=0
"$root/tools/wine-test.sh" "$@" || rc=$?
exit "$rc"
