#!/usr/bin/env bash
# Configures and builds everything into build/: natively the unit tests, the
# sanitized and fuzzing builds; cross-compiled, the program that ships in
# build/program, the Wine test programs and benchmarks that drive it in
# build/win32, and the 64-bit program with its test programs in build/win64.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
