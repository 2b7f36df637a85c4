#!/usr/bin/env bash
# Builds the library and runs the example host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target spanwright-example
./build/tools/example/spanwright-example
