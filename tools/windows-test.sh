#!/usr/bin/env bash
# Builds the library for Windows with MinGW-w64 and tests it under wine64:
#   tools/windows-test.sh [NATIVE_BUILD]
# - x86-64: spanwright.dll, vesk.dll, spanwright-demo.exe and every test
#   program; the whole suite runs under wine64 in an Xvfb server (the demo's
#   frame hashes and the DirectDraw driver's tests included);
# - the demo in a DirectDraw window, 8- and 16-bit modes: the screen must
#   show the frame the native build's headless run draws;
# - i686: the two DLLs are built and their export tables checked (a 32-bit
#   wine is not installed here, so nothing 32-bit runs).
# The native build (default build/) provides the headless demo, which writes
# the PNG frames the screen is compared with. Build folders:
# build/windows-x86_64 and build/windows-i686, each with its wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
win64=build/windows-x86_64
win32=build/windows-i686
start=$SECONDS

bash tools/deps.sh --windows
if [[ ! -x "$native/tools/demo/spanwright-demo" ]]; then
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$native" --target spanwright-demo

echo "== x86-64 Windows build"
cmake -S . -B "$win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPANWRIGHT_BUILD_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/x86_64-w64-mingw32.cmake"
cmake --build "$win64"

echo "== i686 Windows build: the DLLs and their export tables"
cmake -S . -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPANWRIGHT_BUILD_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/i686-w64-mingw32.cmake"
cmake --build "$win32" --target spanwright vesk
ctest --test-dir "$win32" -R '^exports$' --output-on-failure -V | grep -E 'exports its|Passed'

echo "== under wine64 in Xvfb"
export WINEPREFIX=$PWD/$win64/wineprefix
# A free display number, which the server writes once it is listening.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$xvfb"; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do [[ -s "$displayfile" ]] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$displayfile")
prefix_start=$SECONDS
bash tools/windows/wine-prefix.sh "$WINEPREFIX"
echo "wine prefix ready in $((SECONDS - prefix_start)) s"
tests_start=$SECONDS
ctest --test-dir "$win64" --output-on-failure -j 2 --timeout 180
echo "windows: tests under wine took $((SECONDS - tests_start)) s"
bash tools/windows/demo-check.sh "$win64" "$native"
echo "windows: all done in $((SECONDS - start)) s"
