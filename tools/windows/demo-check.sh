#!/usr/bin/env bash
# Runs spanwright-demo.exe with the DirectDraw driver under wine, captures
# the X screen at the last frame of each depth, and checks that the screen
# shows what the headless run draws: the same frame hashes, and the same
# picture as the native build's headless frame (the Windows build has no
# libpng to write its own).
#   tools/windows/demo-check.sh WINDOWS_BUILD NATIVE_BUILD
# WINEPREFIX and DISPLAY name the prefix and the X server (Xvfb).
set -euo pipefail
win=$(realpath "${1:?usage: tools/windows/demo-check.sh WINDOWS_BUILD NATIVE_BUILD}")
native=$(realpath "${2:?usage: tools/windows/demo-check.sh WINDOWS_BUILD NATIVE_BUILD}")
run=$(dirname "$(realpath "$0")")/wine-run.sh
compare=$(dirname "$(realpath "$0")")/../demo/compare-screen.py
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
args=(--frames 30 --save-every 0 --no-frame-rate --no-screenshots)

for depth in 8 16; do
    "$native/tools/demo/spanwright-demo" "${args[@]}" --depth "$depth" --driver headless \
        --out "$out/headless-$depth" | grep '^frame ' > "$out/headless-$depth.txt"
    "$run" "$win/bin/spanwright-demo.exe" "${args[@]}" --depth "$depth" --driver ddraw \
        --hold 4 --out "$out/ddraw-$depth" > "$out/ddraw-$depth.log" 2>&1 &
    pid=$!
    for _ in $(seq 300); do [[ -e "$out/ddraw-$depth/holding" ]] && break; sleep 0.1; done
    [[ -e "$out/ddraw-$depth/holding" ]] || { echo "the demo never reached its last frame"; cat "$out/ddraw-$depth.log"; exit 1; }
    import -window root "$out/screen-$depth.png"
    wait "$pid"
    tr -d '\r' < "$out/ddraw-$depth.log" | grep '^frame ' > "$out/ddraw-$depth.txt"
    if ! diff -u "$out/headless-$depth.txt" "$out/ddraw-$depth.txt"; then
        echo "the DirectDraw run drew other pixels than the headless run"
        exit 1
    fi
    echo "$depth-bit: DirectDraw and headless frames hash alike: $(cat "$out/ddraw-$depth.txt")"
    /usr/bin/python3 "$compare" "$out/screen-$depth.png" "$out/headless-$depth/frame-640x480x$depth-029.png"
done
