#!/usr/bin/env bash
# Builds and tests the library for one more target beside the default
# x86-64 GCC build (tools/test.sh):
#   tools/target-test.sh clang-14 | i686 | aarch64 [BUILD_DIR]
# i686 and aarch64 are cross builds whose programs run under qemu-user;
# they leave out SDL2, libpng (the asset tool, the demo's PNG files) and the
# benchmarks, and build GoogleTest from its sources. Every test runs, the
# demo's frame hashes included, once with the fast routines and once with
# the plain ones; the record layouts and the hashes are printed for the log.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: tools/target-test.sh clang-14|i686|aarch64 [BUILD_DIR]}
case "$target" in
    clang-14) toolchain=cmake/clang-14.cmake ;;
    i686) toolchain=cmake/i686-linux-gnu.cmake ;;
    aarch64) toolchain=cmake/aarch64-linux-gnu.cmake ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
esac
build=${2:-build/$target}
jobs=$(nproc)

bash tools/deps.sh --targets
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPANWRIGHT_BUILD_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain"
cmake --build "$build"
start=$SECONDS
ctest --test-dir "$build" --output-on-failure -j "$jobs"
echo "$target: tests took $((SECONDS - start)) s"
start=$SECONDS
SPANWRIGHT_PLAIN_ROUTINES=1 ctest --test-dir "$build" --output-on-failure -j "$jobs"
echo "$target: tests with the plain routines took $((SECONDS - start)) s"

echo "$target: record layouts"
ctest --test-dir "$build" -R '^c_abi$' -V | sed -n 's/^[0-9]*: //p' | grep -E 'bytes'
echo "$target: demo frame hashes"
cat "$build"/tests/demo-golden/hashes.txt
