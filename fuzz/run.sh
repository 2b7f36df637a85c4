#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build: first the regression corpus
# (inputs that once failed), then SECONDS of fuzzing from the seeds
# committed under corpus/TARGET. Any finding makes the script fail.
#   fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$1
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in bitmap_load bitmap_read palette_load colormap_load mip_load api_sequence; do
    exe="$build/fuzz/fuzz_$target"
    echo "== fuzz_$target"
    regressions="$here/regressions/$target"
    if [[ -d "$regressions" ]] && compgen -G "$regressions/*" >/dev/null; then
        "$exe" "$regressions"/* 2>&1 | tail -n 3
    fi
    corpus="$work/corpus/$target"
    mkdir -p "$corpus"
    [[ -d "$here/corpus/$target" ]] && cp "$here/corpus/$target"/* "$corpus"/
    # A call sequence needs its whole length from the start: 64 calls take
    # about 2 KiB.
    lengths=(-max_len=8192)
    [[ $target == api_sequence ]] && lengths=(-max_len=2048 -len_control=0)
    "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${lengths[@]}" \
        -artifact_prefix="$work/" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12 || {
        echo "fuzz_$target found a failure; the input:"
        ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null || true
        for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
            [[ -e "$f" ]] && base64 "$f"
        done
        exit 1
    }
done
echo "== fuzzing found nothing"
