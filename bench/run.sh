#!/usr/bin/env bash
# Builds and runs every benchmark of the library; JSON goes to build/bench.json.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target spanwright_bench
./build/bench/spanwright_bench --benchmark_out=build/bench.json --benchmark_out_format=json "$@"
