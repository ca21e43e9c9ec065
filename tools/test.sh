#!/usr/bin/env bash
# The whole test suite: native unit tests, then the program under Wine.
# Extra arguments go to ctest (e.g. -R wine_form1).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
echo "test: $(tools/wine-test.sh --which build)"
tools/build.sh
rc=0
ctest --test-dir build --output-on-failure -j2 --output-junit results.xml "$@" || rc=$?
# What did not run says so, with its reason, even where its program passed.
python3 tools/skipped.py build/results.xml
exit "$rc"
