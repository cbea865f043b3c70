#!/usr/bin/env bash
# The display's passes while the player measures its library's loudness beside a
# playing song, against the same song played with nothing to measure.
#
#   bench/loudness_gap.sh [BUILD_DIR]      (default build/dev)
#
# In a scratch folder of its own (XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
# TMPDIR, HOME; removed at the end) with a private PulseAudio and its null sink:
#  1. makes SONGS (default 24) songs of SECONDS_EACH (default 150) seconds: the
#     corpus's demokar.cdg cut to length and an MP3 of demokar.mp3 (looped) by
#     ffmpeg, each at its own level and starting point: an hour of audio,
#     which this 2-core machine measures in 30 to 80 s (as busy as it is);
#  2. plays demokar.cdg for BASELINE_SECONDS (default 30) with LYRVOX_TRACE while
#     the library is empty: the player's background measuring finds nothing to do;
#  3. puts the songs in the library (lyrvox-cdg library scan) and plays again: now
#     the player's own measuring (lyrvox-cdg loudness --update at nice 19, started
#     with the player) measures them all beside the song; bench/child_window.py
#     notes when it ran, and the song stops a few seconds after it ends (at most
#     MAX_SECONDS, default 190, within the song's 3:24);
#  4. prints bench/loudness_gap_report.py's figures: pass gap p99 and max and the
#     lag behind the target packet, without and while measuring (goal: p99 at most
#     20 ms while measuring), and the measuring's pace.
# KEEP=DIR keeps the traces and the measuring's times there.
# Needs ffmpeg, pulseaudio and the lyrvox and lyrvox-cdg targets built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
player=$build/app/lyrvox
cli=$build/tools/cli/lyrvox-cdg
songs=${SONGS:-24}
seconds=${SECONDS_EACH:-150}
baseline_seconds=${BASELINE_SECONDS:-30}
max_seconds=${MAX_SECONDS:-190}
source "$root/bench/private_pulse.sh"
player_bench_scratch

# 1. The songs: 300 packets of 24 bytes a second of graphics, and the audio cut
# from demokar.mp3 decoded once and looped to the longest song's start and length.
loops=$(((seconds + 140) / 204 + 1))
ffmpeg -nostdin -loglevel error -stream_loop $((loops - 1)) -i "$corpus/demokar.mp3" \
    -c:a pcm_s16le "$work/long.wav"
for ((i = 0; i < songs; i++)); do
    base=$(printf '%s/songs/Bench Artist %02d - Loud Song %02d' "$work" "$i" "$i")
    head -c $((seconds * 300 * 24)) "$corpus/demokar.cdg" >"$base.cdg"
    gain=$((-18 + (i % 7) * 3))  # -18 to 0 dB
    ffmpeg -nostdin -loglevel error -ss $(((i * 11) % 140)) -t "$seconds" -i "$work/long.wav" \
        -af "volume=${gain}dB" -c:a libmp3lame -b:a 128k "$base.mp3"
done
rm "$work/long.wav"
echo "made $songs songs of $seconds s ($((songs * seconds)) s of audio) in $work/songs"

# Plays the corpus song with a trace into $1 until `$2` says stop (polled every
# 0.5 s, given the seconds played), noting the measuring's runs in $1.window.
play() {
    local trace=$1 until=$2 t0 now
    QT_QPA_PLATFORM=offscreen LYRVOX_TRACE=$trace "$player" --new-instance "$corpus/demokar.cdg" \
        >"$trace.log" 2>&1 &
    player_pid=$!
    python3 "$root/bench/child_window.py" "$player_pid" lyrvox-cdg "$trace.window" &
    watcher_pid=$!
    t0=$(date +%s)
    while :; do
        sleep 0.5
        kill -0 "$player_pid" 2>/dev/null || { echo "the player ended early" >&2; cat "$trace.log" >&2; exit 1; }
        now=$(($(date +%s) - t0))
        "$until" "$trace" "$now" && break
    done
    kill "$player_pid"
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
    wait "$watcher_pid" 2>/dev/null || true
    watcher_pid=""
}
baseline_done() { (($2 >= baseline_seconds)); }
# The measuring seen and ended three seconds ago, or the time is up.
ended_at=""
measuring_done() {
    (($2 >= max_seconds)) && { echo "measuring still ran after $max_seconds s" >&2; return 0; }
    [ -s "$1.window" ] || return 1
    local pid
    while read -r pid _; do
        [ -d "/proc/$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = lyrvox-cdg ] && return 1
    done <"$1.window"
    ended_at=${ended_at:-$2}
    (($2 >= ended_at + 3))
}

# 2. Without measuring: the library is empty.
echo "playing $baseline_seconds s with nothing to measure..."
play "$work/baseline" baseline_done
# 3. With the songs in the library, measured by the player beside the song.
"$cli" library scan "$work/songs" >/dev/null
echo "playing while the player measures the library ($(uptime | sed 's/.*load/load/'))..."
load_before=$(cut -d' ' -f1 /proc/loadavg)
play "$work/measured" measuring_done
load_after=$(cut -d' ' -f1 /proc/loadavg)
left=$("$cli" loudness --update 2>&1 | tail -n 1)
echo "after the run, lyrvox-cdg loudness --update: $left (songs the player left unmeasured)"

python3 - "$work/measured.window" "$songs" "$seconds" <<'PY'
import sys
spans = [tuple(map(float, l.split()[1:])) for l in open(sys.argv[1]) if l.strip()]
songs, seconds = int(sys.argv[2]), int(sys.argv[3])
took = (max(e for _, e in spans) - min(s for s, _ in spans)) / 1000.0
print(f"measured {songs} songs ({songs * seconds} s of audio) at nice 19 in {took:.1f} s: "
      f"{songs / took:.2f} songs/s, {songs * seconds / took:.0f}x real time")
PY
echo "load average (1 min) before/after the measured run: $load_before / $load_after on $(nproc) cores"
[ -n "${KEEP:-}" ] && mkdir -p "$KEEP" && cp "$work"/baseline* "$work"/measured* "$KEEP"/
python3 "$root/bench/loudness_gap_report.py" "$work/baseline" "$work/measured" "$work/measured.window"
