#!/usr/bin/env bash
# Runs the demo in a real SDL2 window under Xvfb, captures the X screen at
# its last frame, and checks that the window shows what the headless run
# draws: the same frame hash, and the same picture on the screen.
#   tools/demo/xvfb-check.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
demo=$build/tools/demo/spanwright-demo
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
args=(--depth 16 --frames 30 --save-every 0 --no-frame-rate --no-screenshots)

"$demo" "${args[@]}" --driver headless --out "$out/headless" | grep '^frame ' > "$out/headless.txt"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" "${@:4}" --window --hold 5 --out "$2/window" > "$2/window.log" 2>&1 &
    pid=$!
    for _ in $(seq 150); do [ -e "$2/window/holding" ] && break; sleep 0.1; done
    [ -e "$2/window/holding" ] || { echo "the demo never reached its last frame"; cat "$2/window.log"; exit 1; }
    /usr/bin/import -window root "$2/screen.png"
    wait "$pid"' _ "$demo" "$out" unused "${args[@]}"

grep '^frame ' "$out/window.log" > "$out/window.txt"
if ! diff -u "$out/headless.txt" "$out/window.txt"; then
    echo "the windowed run drew other pixels than the headless run"
    exit 1
fi
echo "windowed and headless frames hash alike: $(cat "$out/window.txt")"
/usr/bin/python3 tools/demo/compare-screen.py "$out/screen.png" "$out"/headless/frame-640x480x16-029.png
