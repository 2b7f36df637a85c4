# Turns the peer suite's Google Benchmark JSON into the comparison table:
# one line per (operation, reference) with our and the reference's
# nanoseconds per pixel (the best of the repetitions, CPU time), the ratio
# ours / reference in time (below 1: ours is faster), the target ratio and
# whether it is met; triangle operations add triangles per second.
#   awk -f table.awk peer.json
function flush() {
    if (name != "" && runType == "iteration" && px > 0) {
        t = cpu * unitNs[unit] / px
        if (!(name in best) || t < best[name]) best[name] = t
        pixels[name] = px
        tris[name] = tri
        if (match(label, /max=[0-9.e+-]+/)) target[name] = substr(label, RSTART + 4, RLENGTH - 4) + 0
        if (!(name in seen)) { seen[name] = 1; ++count; order[seq] = name }
    }
    name = ""; runType = ""; cpu = 0; px = 0; tri = 0; seq = 0; label = ""; unit = "ns"
}
function maxSeq(   k, m) { m = 0; for (k in order) if (k + 0 > m) m = k + 0; return m }
function value(line) { sub(/^[^:]*: */, "", line); sub(/,$/, "", line); gsub(/"/, "", line); return line }
BEGIN { unitNs["ns"] = 1; unitNs["us"] = 1e3; unitNs["ms"] = 1e6; unitNs["s"] = 1e9 }
/^ *"name": / { flush(); name = value($0) }
/^ *"run_type": / { runType = value($0) }
/^ *"cpu_time": / { cpu = value($0) + 0 }
/^ *"time_unit": / { unit = value($0) }
/^ *"px": / { px = value($0) + 0 }
/^ *"tri": / { tri = value($0) + 0 }
/^ *"seq": / { seq = value($0) + 0 }
/^ *"label": / { label = value($0) }
END {
    flush()
    printf "%-32s %-15s %11s %11s %7s %7s %4s %11s %11s\n", "operation", "reference", "ours ns/px",
           "ref ns/px", "ratio", "target", "met", "ours Mtri/s", "ref Mtri/s"
    met = 0; targets = 0
    last = maxSeq()
    for (i = 1; i <= last; ++i) {
        if (!(i in order)) continue
        n = order[i]
        side = n; sub(/.*\//, "", side)
        op = substr(n, 1, length(n) - length(side) - 1)
        if (side == "ours") continue
        ours = op "/ours"
        if (!(ours in best)) continue
        ratio = best[ours] / best[n]
        goal = ""; ok = ""
        if (n in target) {
            goal = sprintf("%.3g", target[n]); ++targets
            if (ratio <= target[n]) { ok = "yes"; ++met } else ok = "NO"
        }
        trate = ""; rrate = ""
        if (tris[n] > 0) {
            trate = sprintf("%.2f", tris[ours] / (best[ours] * pixels[ours]) * 1e3)
            rrate = sprintf("%.2f", tris[n] / (best[n] * pixels[n]) * 1e3)
        }
        printf "%-32s %-15s %11.4g %11.4g %7.3f %7s %4s %11s %11s\n", op, side, best[ours], best[n],
               ratio, goal, ok, trate, rrate
    }
    printf "\n%d of %d targets met (ratio = our time / the reference's time; target: at most)\n",
           met, targets
}
