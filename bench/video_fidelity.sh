#!/usr/bin/env bash
# Video export figures on synthetic songs made at run time by tricky_song:
#
# 1. Fidelity on a song with fine scrolls (scroll copy and preset with fine
#    horizontal and vertical offsets), coarse scrolls, border colour changes, an
#    exclusive-or tile and a transparent-colour instruction. The song is exported
#    by lyrvox-cdg video at 1280x720 30 fps (4:2:0 and --yuv444); FFmpeg takes a
#    frame in the middle of each state, compared with the exact picture at that
#    frame's packet count (video_exact_frame). FFmpeg's own CD+G decoder decodes the
#    same song: its picture at the same packet count, cut to the same visible window
#    (294x204 at 6,12 of its 300x216) and scaled nearest-neighbour into the same
#    place of a 1280x720 frame, against the same exact picture: PSNR and the share
#    of pixels whose colour differs; also unscaled, 294x204 pixel for pixel. The
#    tiles' one-pixel coloured outlines are hard on 4:2:0: exact_420 shows what
#    chroma subsampling alone costs, before any codec. Without a chosen background
#    the transparent-colour instruction leaves the picture as it is, so the exact
#    picture is the opaque one.
# 2. Sync at the song's start: a black screen that turns white at packet P, with a
#    click in its WAV partner at P/300 s of song time. Exported at 30 and 60 fps,
#    tempo 100 and 80, and with the key 2 semitones up; the first frame showing white (FFmpeg's signalstats) against
#    the click's onset in the exported, decoded sound. Goal: within one frame.
#
# bench/video_fidelity.sh [BUILD_DIR] (default build/dev). Needs ffmpeg, python3.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
cli=$build/tools/cli/lyrvox-cdg
exact=$build/bench/video_exact_frame
tricky=$build/bench/tricky_song
for tool in "$cli" "$exact" "$tricky"; do
    [[ -x $tool ]] || { echo "missing $tool: build lyrvox-cdg, video_exact_frame, tricky_song" >&2; exit 2; }
done
command -v ffmpeg >/dev/null && command -v python3 >/dev/null ||
    { echo "needs ffmpeg and python3" >&2; exit 2; }
diff_of() { python3 "$here/picture_diff.py" "$@"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/video-fidelity.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "machine: $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# ---- 1. fidelity -------------------------------------------------------------
fps=30 w=1280 h=720
# Where the export puts the 294x204 window in a w x h frame (at its shape, centred,
# sizes rounded half up, an odd margin's extra pixel right or below).
read -r rx ry rw rh < <(awk -v W=$w -v H=$h 'BEGIN {
    pw = 294; ph = 204
    if (W * ph <= H * pw) { rw = W; rh = int((2 * W * ph + pw) / (2 * pw)) }
    else { rh = H; rw = int((2 * H * pw + ph) / (2 * ph)) }
    print int((W - rw) / 2), int((H - rh) / 2), rw, rh }')
song=$work/tricky.cdg
"$tricky" fidelity "$song" >"$work/states"
"$cli" video "$song" -o "$work/420.mp4" --size ${w}x$h --fps $fps >/dev/null
"$cli" video "$song" -o "$work/444.mp4" --size ${w}x$h --fps $fps --yuv444 >/dev/null

# Frame n of a video as PPM (seeking just before its time gives frame n itself).
frame_of() {  # video n out
    rm -f "$3"
    ffmpeg -nostdin -v error -y -ss "$(awk -v n="$2" -v f=$fps 'BEGIN { printf "%.4f", n / f - 0.005 }')" \
        -i "$1" -frames:v 1 "$3"
    [[ -f $3 ]]
}
# FFmpeg's CD+G decoding after `packets` packets: it gives a picture for each packet
# that holds an instruction, stamped with the packet's number; the last one before
# `packets` is the picture then. Cut to the visible window, scaled as the export
# scales, in the same place of the frame.
decoded_of() {  # packets out out_native
    ffmpeg -nostdin -v error -i "$song" -vf "select=lt(pts\,$1)" -f rawvideo -pix_fmt rgb24 pipe: |
        tail -c $((300 * 216 * 3)) >"$work/decoded.rgb"
    ffmpeg -nostdin -v error -y -f rawvideo -pixel_format rgb24 -video_size 300x216 \
        -i "$work/decoded.rgb" -vf "crop=294:204:6:12,scale=$rw:$rh:flags=neighbor,pad=$w:$h:$rx:$ry:black" \
        -frames:v 1 "$2"
    ffmpeg -nostdin -v error -y -f rawvideo -pixel_format rgb24 -video_size 300x216 \
        -i "$work/decoded.rgb" -vf "crop=294:204:6:12" -frames:v 1 "$3"
}

printf '\nfidelity at %dx%d %d fps on a synthetic song: PSNR in dB against the exact picture\n' $w $h $fps
printf '(goal >= 40; inf: identical); differ: share of pixels whose colour differs;\n'
printf 'exact_420: the exact picture through 4:2:0 chroma alone (FFmpeg, BT.709 limited range, no\n'
printf 'codec); ffmpeg_decoder at 1280x720 as the export scales, and unscaled (294x204, its own pixels)\n'
printf '%6s %7s  %-58s %9s %9s %9s %14s %7s %10s %7s\n' second packets state lyrvox420 exact_420 \
    lyrvox444 ffmpeg_decoder differ ffmpeg_294 differ
while read -r -u 3 start what; do
    n=$(( (2 * start + 1) * fps / 2 ))  # the frame half a second into the state
    packets=$(( n * 300 / fps ))
    "$exact" "$song" $packets $w $h "$work/exact.ppm"
    a=$(frame_of "$work/420.mp4" $n "$work/420.ppm" && diff_of "$work/420.ppm" "$work/exact.ppm" |
        cut -d' ' -f1 || echo "no frame")
    b=$(frame_of "$work/444.mp4" $n "$work/444.ppm" && diff_of "$work/444.ppm" "$work/exact.ppm" |
        cut -d' ' -f1 || echo "no frame")
    ffmpeg -nostdin -v error -y -i "$work/exact.ppm" \
        -vf "scale=out_color_matrix=bt709:out_range=tv:flags=neighbor,format=yuv420p" \
        -f rawvideo "$work/exact.yuv"
    ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s ${w}x$h -color_range tv \
        -colorspace bt709 -i "$work/exact.yuv" \
        -vf "scale=in_color_matrix=bt709:in_range=tv,format=rgb24" -frames:v 1 "$work/exact-420.ppm"
    e=$(diff_of "$work/exact-420.ppm" "$work/exact.ppm" | cut -d' ' -f1)
    "$exact" "$song" $packets 294 204 "$work/exact-294.ppm"
    decoded_of $packets "$work/decoded.ppm" "$work/decoded-294.ppm"
    read -r c share < <(diff_of "$work/decoded.ppm" "$work/exact.ppm")
    read -r d share294 < <(diff_of "$work/decoded-294.ppm" "$work/exact-294.ppm")
    printf '%6s %7s  %-58s %9s %9s %9s %14s %6s%% %10s %6s%%\n' \
        "$(awk -v n=$n -v f=$fps 'BEGIN { printf "%.2f", n / f }')" $packets "$what" "$a" "$e" "$b" \
        "$c" "$share" "$d" "$share294"
done 3<"$work/states"

# ---- 2. sync at the start -----------------------------------------------------
# Packet P (not on a frame boundary at 30 or 60 fps) turns the screen white; the
# partner WAV (48 kHz mono) is silent but for a 5 ms 1 kHz click from P/300 s.
P=937 seconds=6 rate=48000
sync=$work/sync
mkdir -p "$sync"
"$tricky" sync "$sync/start.cdg" $P $seconds
click=$(awk -v p=$P 'BEGIN { printf "%.6f", p / 300 }')
ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc='if(between(t\,$click\,$click+0.005)\,0.8*sin(2*PI*1000*(t-$click))\,0)':s=$rate:d=$seconds" \
    -c:a pcm_s16le "$sync/start.wav"
printf '\nsync at the start: screen turns white at packet %d, click in the sound at %.4f s of song time\n' $P "$click"
printf '(difference = first white frame - click onset in the exported file; goal: within one frame)\n'
printf '(expected: the white frame is the first whose time reaches the click, up to one frame later)\n'
printf '%4s %6s %4s %13s %13s %13s %9s %8s\n' fps tempo key click_song_s white_frame_s click_s \
    diff_ms frames
for case in "30 100 0" "60 100 0" "30 80 0" "60 80 0" "30 100 2"; do
    read -r f tempo key <<<"$case"
    {
        out=$sync/start-$f-$tempo-$key.mp4
        "$cli" video "$sync/start.cdg" -o "$out" --size 640x360 --fps $f --tempo $tempo \
            --key $key >/dev/null
        # First frame whose mean luma is past half way: its time stamp.
        white=$(ffmpeg -nostdin -v error -i "$out" -an \
            -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-" -f null - |
            awk '/pts_time/ { sub(/.*pts_time:/, ""); t = $1 }
                 /YAVG/ { split($0, kv, "="); if (kv[2] > 126) { print t; exit } }')
        # The click's onset: the first sample above a quarter of full scale.
        onset=$(ffmpeg -nostdin -v error -i "$out" -vn -ac 1 -ar $rate -f s16le pipe: | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
for i, (v,) in enumerate(struct.iter_unpack("<h", data)):
    if abs(v) > 8192:
        print(f"{i / '$rate':.6f}")
        break
else:
    print("none")')
        if [[ -z $white || $onset == none ]]; then
            printf '%4s %6s %4s %13s %13s %13s %9s %8s\n' $f $tempo $key - "${white:-none}" \
                "$onset" - -
            continue
        fi
        awk -v f=$f -v t=$tempo -v k=$key -v c="$click" -v w="$white" -v o="$onset" 'BEGIN {
            d = (w - o) * 1000
            printf "%4s %6s %4s %13.4f %13.4f %13.4f %9.1f %8.2f\n", f, t, k, c * 100 / t, w, o, d,
                d * f / 1000 }'
    }
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
