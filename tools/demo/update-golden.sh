#!/usr/bin/env bash
# Regenerates tests/demo/golden.txt from the demo as built in build/. Run it
# only after looking at the frames (written to build/demo-golden) and
# deciding that a change of pixels is intended.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target spanwright-demo
read -r -a args < tests/demo/golden-args.txt
rm -rf build/demo-golden
./build/tools/demo/spanwright-demo "${args[@]}" --out build/demo-golden | grep '^frame ' > tests/demo/golden.txt
cat tests/demo/golden.txt
echo "frames for review: build/demo-golden/*.png"
