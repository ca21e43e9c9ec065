#!/usr/bin/env bash
# The whole test suite: native unit tests, then the program under Wine.
# Extra arguments go to ctest (e.g. -R wine_form1).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/build.sh
ctest --test-dir build --output-on-failure -j2 "$@"
