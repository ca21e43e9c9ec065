#!/usr/bin/env bash
# Shows that the release is reproducible: clones this repository's HEAD into
# two folders of different depth and length, builds the release in each
# (tools/release.sh, a few minutes) and compares the zips byte for byte. Also
# checks that neither program holds the folder it was built in.
# Uncommitted changes are not part of what it builds.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible: uncommitted changes are left out; building $commit" >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvex-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
zips=()
for dir in "$work/a" "$work/second/checkout/in/a/deeper/folder"; do
  mkdir -p "$(dirname "$dir")"
  git clone -q --no-checkout "$repo" "$dir"
  git -C "$dir" checkout -q --detach "$commit"
  echo "check-reproducible: building the release in $dir" >&2
  zip=$("$dir/tools/release.sh" | tail -n1)
  if strings -a "$dir"/build-release/Tolvex111.exe | grep -F "$work"; then
    echo "check-reproducible: the program holds the folder it was built in (above)" >&2
    exit 1
  fi
  zips+=("$zip")
done

if ! cmp "${zips[0]}" "${zips[1]}"; then
  echo "check-reproducible: the zips differ; their entries:" >&2
  for zip in "${zips[@]}"; do
    (cd "$work" && rm -rf x && mkdir x && cd x && unzip -q "$zip" && sha256sum ./*) >&2
    unzip -lv "$zip" >&2
  done
  exit 1
fi
echo "check-reproducible: identical at $commit: $(sha256sum "${zips[0]}" | cut -d' ' -f1)  $(basename "${zips[0]}")"
