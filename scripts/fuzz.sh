#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a bounded
# time: FUZZ_SECONDS each (default 60). Seeds: the real songs' first packets and
# cases built in code. Set FUZZ_RUNS to run a fixed number of executions instead,
# FUZZ_TARGETS to choose targets (interpreter extract text_helpers), FUZZ_FORK=N
# to run N fuzzing processes at once.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/fuzz/fuzz/fuzz_make_seeds "$work/seeds"
corpus="${LYRVOX_CORPUS_DIR:-$PWD/../shared/corpus}"
# Slices of 200 packets from eight places in each real song.
for song in "$corpus"/*.cdg; do
    [ -f "$song" ] || continue
    size=$(stat -c %s "$song")
    for k in 0 1 2 3 4 5 6 7; do
        skip=$((size / 4800 * k / 8))
        dd if="$song" of="$work/seeds/interpreter/$(basename "$song").$k" bs=4800 skip="$skip" count=1 status=none
    done
done

run() {
    local target=$1 seeds=$2 max_len=$3
    mkdir -p "$work/corpus-$target"
    local limit=(-max_total_time="$seconds")
    [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
    [ -n "${FUZZ_FORK:-}" ] && limit+=(-fork="$FUZZ_FORK")
    echo "--- $target"
    build/fuzz/fuzz/"$target" "$work/corpus-$target" "$seeds" "${limit[@]}" -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$work/" 2>&1 | grep -E '^(stat::number_of_executed_units|stat::peak_rss|==|SUMMARY|Done)' || true
    # libFuzzer exits non-zero on a finding; PIPESTATUS keeps its status.
    return "${PIPESTATUS[0]}"
}

targets="${FUZZ_TARGETS:-interpreter extract text_helpers}"
status=0
for t in $targets; do
    case "$t" in
        interpreter) run fuzz_interpreter "$work/seeds/interpreter" 4800 || status=1 ;;
        extract) run fuzz_extract "$work/seeds/extract" 8192 || status=1 ;;
        text_helpers) run fuzz_text_helpers "$work/seeds/text" 4096 || status=1 ;;
        *) echo "unknown fuzz target: $t" >&2; status=1 ;;
    esac
done
if ((status)); then
    echo "fuzzing found a failure; inputs kept in $work are removed on exit, rerun locally to keep them" >&2
fi
exit "$status"
