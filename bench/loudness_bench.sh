#!/usr/bin/env bash
# Songs' loudness: how many songs `lyrvox-cdg loudness` measures per second on this
# machine, and how far its integrated loudness and true peak are from FFmpeg's
# ebur128 filter on the same files (goal: within 0.5 LU).
# The songs: the corpus's demokar.mp3 and SONGS generated songs of SECONDS seconds
# each (pink noise and tones at levels from -30 to -6 dBFS, as MP3, OGG, FLAC and WAV).
# usage: bench/loudness_bench.sh [BUILD_DIR]   (default build/dev; SONGS=8, SECONDS_EACH=180)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
songs=${SONGS:-8}
seconds=${SECONDS_EACH:-180}
cli="$build/tools/cli/lyrvox-cdg"
[ -x "$cli" ] || { echo "missing $cli: build the lyrvox-cdg target" >&2; exit 1; }
command -v gst-launch-1.0 > /dev/null || { echo "gst-launch-1.0 missing (gstreamer1.0-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=(../shared/corpus/demokar.mp3)
kinds=("lamemp3enc ! id3v2mux" "vorbisenc ! oggmux" "flacenc" "wavenc")
exts=(mp3 ogg flac wav)
waves=(pink-noise sine pink-noise square)
rate=44100
for ((i = 0; i < songs; i++)); do
    k=$((i % 4))
    volume=$(awk -v i="$i" -v n="$songs" 'BEGIN { db = -30 + 24 * i / (n > 1 ? n - 1 : 1); printf "%.4f", 10 ^ (db / 20) }')
    out="$work/song$i.${exts[$k]}"
    # shellcheck disable=SC2086
    gst-launch-1.0 -q audiotestsrc wave=${waves[$k]} volume="$volume" freq=440 \
        num-buffers=$((seconds * rate / 1024)) samplesperbuffer=1024 \
        ! "audio/x-raw,rate=$rate,channels=2" ! audioconvert ! ${kinds[$k]} \
        ! filesink location="$out"
    files+=("$out")
done

audio_seconds=$(awk -v n="$songs" -v s="$seconds" 'BEGIN { print n * s + 204 }')  # demokar: 3:24
start=$(date +%s.%N)
"$cli" loudness "${files[@]}" > "$work/ours.txt"
end=$(date +%s.%N)
awk -v n="${#files[@]}" -v a="$audio_seconds" -v s="$start" -v e="$end" 'BEGIN {
    t = e - s
    printf "measured %d songs (%d s of audio) in %.2f s: %.2f songs/s, %.0fx real time\n", n, a, t, n / t, a / t
}'

if ! command -v ffmpeg > /dev/null; then
    echo "ffmpeg missing: no comparison with its ebur128 filter" >&2
    exit 0
fi
printf '%-12s %9s %9s %7s %9s %9s %7s\n' song "I ours" "I ffmpeg" diff "TP ours" "TP ffmpeg" diff
worst=0
while IFS=$'\t' read -r lufs peak file; do
    summary=$(ffmpeg -nostats -hide_banner -nostdin -i "$file" -filter_complex ebur128=peak=true -f null - 2>&1 |
        sed -n '/Summary:/,$p')  # the last summary is the file's
    theirs=$(awk '$1 == "I:" { v = $2 } END { print v }' <<< "$summary")
    their_peak=$(awk '$1 == "Peak:" { v = $2 } END { print v }' <<< "$summary")
    read -r d dp < <(awk -v a="$lufs" -v b="$theirs" -v c="$peak" -v p="$their_peak" \
        'BEGIN { d = a - b; if (d < 0) d = -d; e = c - p; if (e < 0) e = -e; printf "%.2f %.2f\n", d, e }')
    worst=$(awk -v a="$worst" -v b="$d" 'BEGIN { print (b > a ? b : a) }')
    printf '%-12s %9s %9s %7s %9s %9s %7s\n' "$(basename "$file")" "$lufs" "$theirs" "$d" "$peak" "$their_peak" "$dp"
done < "$work/ours.txt"
echo "largest integrated-loudness difference from ffmpeg: $worst LU (goal: at most 0.5)"
