#!/usr/bin/env bash
# The comparison in one command: installs what it needs, builds the peer
# suite, times every hot path against memset/memcpy, pixman and SDL2 in one
# process (best of 7 interleaved repetitions) and prints the table, then
# counts instructions per pixel of every case under callgrind.
#   bash bench/compare.sh [--no-instructions] [--filter REGEX]
# Results stay in build/: peer.json, peer-table.txt, peer-instructions.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
instructions=1
filter=.
while (($#)); do
    case $1 in
    --no-instructions) instructions=0 ;;
    --filter) filter=$2; shift ;;
    *) echo "usage: bash bench/compare.sh [--no-instructions] [--filter REGEX]" >&2; exit 2 ;;
    esac
    shift
done

bash tools/deps.sh --peer
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target spanwright_peer
peer=build/bench/peer/spanwright_peer
[[ -x $peer ]] || { echo "the peer suite was not built (pixman-1 or SDL2 missing)" >&2; exit 1; }

echo "== timing (a minute or two)"
"$peer" --benchmark_filter="$filter" --benchmark_repetitions=7 \
    --benchmark_enable_random_interleaving=true --benchmark_min_time=0.05 \
    --benchmark_out=build/peer.json --benchmark_out_format=json >build/peer.txt 2>&1
awk -f bench/peer/table.awk build/peer.json | tee build/peer-table.txt

if ((instructions)); then
    echo
    echo "== instructions per pixel (callgrind)"
    bash bench/peer/instructions.sh "$peer" "$filter" | tee build/peer-instructions.txt
fi
