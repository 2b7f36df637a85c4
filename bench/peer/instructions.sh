#!/usr/bin/env bash
# Instructions per pixel of every comparison case, counted by callgrind
# (repeatable where timings are not): runs spanwright_peer --instructions
# under valgrind --tool=callgrind and prints, per operation, our
# instructions per pixel and each reference's. Valgrind emulates a CPU
# without AVX-512, so the C library's memset and memcpy run their AVX2
# versions here, and it counts every step of a "rep stos"/"rep movs" (which
# they use for large blocks) as one instruction.
#   bench/peer/instructions.sh PEER_BINARY [REGEX]
set -euo pipefail
binary=$1
filter=${2:-.}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" --collect-atstart=yes \
    "$binary" --instructions "$filter" >/dev/null 2>"$out/log" || {
    cat "$out/log" >&2
    exit 1
}
# Each dump file: "desc: Trigger: Client Request: <op>/<side>|<pixels>|<iterations>"
# and "summary: <instructions>" (or "totals:").
for f in $(ls "$out"/cg.*.* | sort -V); do
    awk '/^desc: Trigger: Client Request: / { sub(/^desc: Trigger: Client Request: /, ""); label = $0 }
         /^(summary|totals): / { count = $2 }
         END { if (label != "") print label "|" count }' "$f"
done | awk -F'|' '
    { n = split($1, p, "/"); side = p[n]; op = substr($1, 1, length($1) - length(side) - 1)
      per = $4 / ($2 * $3)
      if (!(op in seen)) { seen[op] = 1; order[++count] = op }
      if (side == "ours") ours[op] = per; else refs[op] = refs[op] sprintf("  %s %.2f", side, per) }
    END {
      printf "%-32s %10s   %s\n", "operation", "ours", "references"
      for (i = 1; i <= count; ++i) printf "%-32s %10.2f  %s\n", order[i], ours[order[i]], refs[order[i]]
    }'
