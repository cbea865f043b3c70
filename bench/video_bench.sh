#!/usr/bin/env bash
# Lyrvox's video export beside FFmpeg's CD+G decoder on the corpus songs, in one run:
#   wall and processor time of each and speed as multiples of real time, at
#   1280x720 and 1920x1080, 30 fps, x264 "veryfast" at quality 14 and AAC 192 kb/s
#   for both; fidelity: frames taken by FFmpeg from Lyrvox's videos at several
#   moments against the exact picture, and FFmpeg's own CD+G decoding against it
#   (PSNR, RGB); audio length against video length. FFmpeg's picture is taken at
#   30 fps before scaling (fps=30 ahead of scale): the command without it would
#   scale and encode every packet's picture, 300 frames a second.
# bench/video_bench.sh [BUILD_DIR] (default build/dev). Needs ffmpeg and ffprobe.
# The songs without an audio partner (capemay, composer04) are exported without
# sound by both.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
cli=$build/tools/cli/lyrvox-cdg
exact=$build/bench/video_exact_frame
corpus=${LYRVOX_CORPUS_DIR:-$here/../../shared/corpus}
for tool in "$cli" "$exact"; do
    [[ -x $tool ]] || { echo "missing $tool: build lyrvox-cdg and video_exact_frame" >&2; exit 2; }
done
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null ||
    { echo "needs ffmpeg and ffprobe (apt-get install ffmpeg)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/video-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
fps=30

echo "machine: $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ffmpeg: $(ffmpeg -version | head -1 | cut -d' ' -f1-3)"

# seconds wall, seconds processor (user + system) of a command, into $wall and $cpu
timed() {
    local t=$work/time
    /usr/bin/time -f '%e %U %S' -o "$t" "$@" >/dev/null 2>"$work/log" ||
        { cat "$work/log" >&2; return 1; }
    read -r wall user sys <"$t"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
duration() {  # stream duration in seconds of the first stream of a kind (v or a)
    ffprobe -v error -select_streams "$2:0" -show_entries stream=duration -of csv=p=0 "$1" 2>/dev/null |
        grep -E '^[0-9.]+$' || ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"
}
psnr_of() {  # two pictures: PSNR, average of R, G and B
    ffmpeg -i "$1" -i "$2" \
        -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -f null - 2>&1 |
        sed -n 's/.*average:\([0-9.inf]*\).*/\1/p'
}
# Frame n of a video against the exact picture of that frame.
frame_psnr() {  # video n width height packets song
    local video=$1 n=$2 w=$3 h=$4 packets=$5 song=$6
    "$exact" "$song" "$packets" "$w" "$h" "$work/exact.ppm"
    rm -f "$work/got.png"
    # Seeking just before frame n's time gives frame n itself.
    local at
    at=$(awk -v n="$n" -v f="$fps" 'BEGIN { printf "%.4f", n / f - 0.005 }')
    ffmpeg -v error -y -ss "$at" -i "$video" -frames:v 1 "$work/got.png"
    [[ -f $work/got.png ]] || { echo "no frame"; return; }
    psnr_of "$work/got.png" "$work/exact.ppm"
}
# FFmpeg's own CD+G decoding after `packets` packets against lyrvox-cdg render's
# picture at that count (300x216, border included). FFmpeg gives a picture only for
# packets that hold an instruction, stamped with the packet's number: the last one
# before `packets` is the picture then.
decoder_psnr() {  # song packets
    local song=$1 packets=$2
    "$cli" render "$song" --packets "$packets" -o "$work/render.png"
    ffmpeg -v error -i "$song" -vf "select=lt(pts\,$packets)" -f rawvideo -pix_fmt rgb24 pipe: |
        tail -c $((300 * 216 * 3)) >"$work/decoded.rgb"
    ffmpeg -f rawvideo -pixel_format rgb24 -video_size 300x216 -i "$work/decoded.rgb" \
        -i "$work/render.png" -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' \
        -f null - 2>&1 | sed -n 's/.*average:\([0-9.inf]*\).*/\1/p'
}

printf '\n%-11s %-9s %-7s %9s %9s %9s %9s %8s %8s\n' song size who wall_s cpu_s x_real x_per_cpu \
    audio_s video_s
declare -A outputs
for stem in demokar composer04 capemay; do
    song=$corpus/$stem.cdg
    [[ -f $song ]] || continue
    audio=()
    acodec=(-an)
    if [[ -f $corpus/$stem.mp3 ]]; then
        audio=(-i "$corpus/$stem.mp3")
        acodec=(-c:a aac -b:a 192k)
    fi
    length=$(awk -v b="$(stat -c %s "$song")" 'BEGIN { printf "%.3f", b / 7200 }')
    for size in 1280x720 1920x1080; do
        w=${size%x*} h=${size#*x}
        ours=$work/$stem-$size-lyrvox.mp4
        timed "$cli" video "$song" -o "$ours" --size "$size" --fps $fps
        printf '%-11s %-9s %-7s %9s %9s %9s %9s %8s %8s\n' "$stem" "$size" lyrvox "$wall" "$cpu" \
            "$(ratio "$length" "$wall")" "$(ratio "$length" "$cpu")" \
            "$(duration "$ours" a)" "$(duration "$ours" v)"
        theirs=$work/$stem-$size-ffmpeg.mp4
        timed ffmpeg -v error -y -i "$song" "${audio[@]}" \
            -vf "fps=$fps,scale=$w:$h:flags=neighbor" -c:v libx264 -preset veryfast -crf 14 \
            -pix_fmt yuv420p "${acodec[@]}" "$theirs"
        printf '%-11s %-9s %-7s %9s %9s %9s %9s %8s %8s\n' "$stem" "$size" ffmpeg "$wall" "$cpu" \
            "$(ratio "$length" "$wall")" "$(ratio "$length" "$cpu")" \
            "$(duration "$theirs" a)" "$(duration "$theirs" v)"
        outputs[$stem-$size-lyrvox]=$ours
        outputs[$stem-$size-ffmpeg]=$theirs
    done
done
echo "(x_real: song length / wall time; x_per_cpu: song length / processor time;"
echo " audio_s and video_s: the streams' durations; without sound audio_s is the file's)"

# Fidelity at 720p: frames of Lyrvox's videos against the exact picture, and
# FFmpeg's CD+G decoder against it at the same moments (300x216, border included).
yuv444=$work/demokar-444.mp4
"$cli" video "$corpus/demokar.cdg" -o "$yuv444" --size 1280x720 --yuv444 >/dev/null
printf '\nfidelity, PSNR in dB against the exact picture (goal >= 40; inf: identical)\n'
printf '%-11s %7s %8s %14s %14s %16s\n' song second packets lyrvox_4:2:0 lyrvox_4:4:4 \
    ffmpeg_decoder
for stem in demokar composer04 capemay; do
    [[ -n ${outputs[$stem-1280x720-lyrvox]:-} ]] || continue
    song=$corpus/$stem.cdg
    length=$(( $(stat -c %s "$song") / 7200 ))
    for fraction in 1 3 5 7 9; do
        second=$(( length * fraction / 10 ))
        n=$(( second * fps ))
        packets=$(( n * 300 / fps ))
        a=$(frame_psnr "${outputs[$stem-1280x720-lyrvox]}" $n 1280 720 $packets "$song")
        b=-
        [[ $stem == demokar ]] && b=$(frame_psnr "$yuv444" $n 1280 720 $packets "$song")
        c=$(decoder_psnr "$song" $packets)
        printf '%-11s %7s %8s %14s %14s %16s\n' "$stem" "$second" "$packets" "$a" "$b" "$c"
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
