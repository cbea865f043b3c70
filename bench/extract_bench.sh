#!/usr/bin/env bash
# Extraction throughput on a 700 MB CDRWin image held in the page cache: times
# `cat IMAGE > /dev/null`, the core extractor (to /dev/null) and
# `lyrvox-cdg extract IMAGE` on the same file, best of RUNS runs each, and prints
# each throughput with its ratio to cat's. Goal: at least 80% of cat for both.
# The command-line tool puts its output under its name only once it is on the
# disk (fsync), so its figure is bounded by the disk's write speed for the 96/2448
# of the image that it writes, where cat and the core write nothing.
# usage: bench/extract_bench.sh [BUILD_DIR]   (default build/dev; RUNS=3, SECTORS=300000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
runs=${RUNS:-3}
sectors=${SECTORS:-300000}
core_bench="$build/bench/lyrvox_extract_bench"
cli="$build/tools/cli/lyrvox-cdg"
for exe in "$core_bench" "$cli"; do
    [ -x "$exe" ] || { echo "missing $exe: build with cmake --build --preset dev" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image="$work/disc.bin"
dd if=/dev/zero of="$image" bs=2448 count="$sectors" status=none
bytes=$((sectors * 2448))
cat "$image" > /dev/null  # into the page cache

# Best wall time of $runs runs of the given command, in seconds.
best_time() {
    local best="" start end t
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$@" > /dev/null
        end=$(date +%s%N)
        t=$((end - start))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

cat_ns=$(best_time cat "$image")
core_ns=$(best_time "$core_bench" "$image")
cli_ns=$(best_time "$cli" extract --force "$image")  # runs after the first replace its output
[ "$(stat -c %s "$work/disc.cdg")" -eq $((sectors * 96)) ] || { echo "CLI output has the wrong size" >&2; exit 1; }

report() {  # name, nanoseconds
    awk -v name="$1" -v ns="$2" -v cat_ns="$cat_ns" -v bytes="$bytes" 'BEGIN {
        mbps = bytes / 1e6 / (ns / 1e9);
        printf "%-28s %8.1f MB/s  %6.3f s  %5.1f%% of cat\n", name, mbps, ns / 1e9, 100 * cat_ns / ns
    }'
}
printf 'image: %d sectors, %.1f MB, best of %d runs\n' "$sectors" "$(awk -v b="$bytes" 'BEGIN{print b/1e6}')" "$runs"
report "cat IMAGE > /dev/null" "$cat_ns"
report "ExtractSubcode -> /dev/null" "$core_ns"
report "lyrvox-cdg extract IMAGE" "$cli_ns"
