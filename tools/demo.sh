#!/usr/bin/env bash
# Builds the library and runs the demo host headless: 120 frames in each of
# 640x480x8 and 640x480x16. Frames go to ./frames as PNG files, with TGA
# screenshots (zvssNN.tga) beside them. Extra arguments go to the demo
# (spanwright-demo --help lists them; --window shows it in an SDL2 window).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target spanwright-demo
./build/tools/demo/spanwright-demo --out frames "$@"
