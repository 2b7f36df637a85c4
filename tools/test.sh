#!/usr/bin/env bash
# Builds the library, its tests and tools in build/ and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPANWRIGHT_BUILD_TESTS=ON
cmake --build build
ctest --test-dir build --output-on-failure -j "$(nproc)"
