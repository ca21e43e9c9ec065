#!/usr/bin/env bash
# Configures and builds everything into build/: the native unit tests and, in
# build/win32, the Windows program with its Wine test programs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
