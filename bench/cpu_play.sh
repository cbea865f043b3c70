#!/usr/bin/env bash
# CPU share of a player while it plays a song headless, against GStreamer playing
# the same audio alone.
#
#   bench/cpu_play.sh [PLAYER_COMMAND...]
#
# Starts PLAYER_COMMAND SONG (default command: build/dev/app/lyrvox) with the
# offscreen platform, lets it settle for a second, then measures utime+stime from
# /proc/PID/stat over PLAY_SECONDS (default 30) and prints the share of one core.
# Then, in the same run, the same for gst-launch-1.0 playing the song's audio
# partner (LYRVOX_AUDIO, default the song's .mp3) through playbin into a fake sink
# that keeps real time, and the player's share as a multiple of that.
# The song defaults to the corpus demokar.cdg (its demokar.mp3 beside it); set
# LYRVOX_SONG to play another. FULLSCREEN=1 plays on a 1920x1080 offscreen screen
# with the display window in full screen, redrawn 30 times a second.
# LYRVOX_KEY_TEMPO=K,T plays at a key of K semitones and a tempo of T%.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
song=${LYRVOX_SONG:-$root/../shared/corpus/demokar.cdg}
audio=${LYRVOX_AUDIO:-${song%.*}.mp3}
play_seconds=${PLAY_SECONDS:-30}
settle_seconds=1
if (($# == 0)); then
    set -- "$root/build/dev/app/lyrvox"
fi

export QT_QPA_PLATFORM=offscreen
config_home=$(mktemp -d)
export XDG_CONFIG_HOME="$config_home" XDG_DATA_HOME="$config_home/data"
if [[ ${FULLSCREEN:-0} == 1 ]]; then
    cat >"$config_home/screen.json" <<'JSON'
{"screens": [{"name": "Bench", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}]}
JSON
    export QT_QPA_PLATFORM="offscreen:configfile=$config_home/screen.json"
    export LYRVOX_FULLSCREEN_FPS=30
fi

pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$config_home"
}
trap cleanup EXIT

# utime + stime in clock ticks (fields 14 and 15, counted after the command name,
# which may hold spaces).
ticks() {
    local stat
    stat=$(cat "/proc/$pid/stat") || return 1
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $((${12} + ${13}))
}
now_ns() { date +%s%N; }

# Starts "$@" in the background and prints "CPU_SECONDS WALL_SECONDS" of its
# PLAY_SECONDS after the settling second.
measure() {
    "$@" >/dev/null 2>&1 &
    pid=$!
    sleep "$settle_seconds"
    kill -0 "$pid" 2>/dev/null || { echo "$1 exited early" >&2; exit 1; }
    local t0 c0 c1 t1
    t0=$(now_ns)
    c0=$(ticks)
    sleep "$play_seconds"
    kill -0 "$pid" 2>/dev/null || { echo "$1 exited before the end of the measurement" >&2; exit 1; }
    c1=$(ticks)
    t1=$(now_ns)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
    python3 -c "import sys; c0,c1,t0,t1,hz=map(int,sys.argv[1:]); print((c1-c0)/hz, (t1-t0)/1e9)" \
        "$c0" "$c1" "$t0" "$t1" "$(getconf CLK_TCK)"
}

player=$(measure "$@" "$song")
alone=$(measure gst-launch-1.0 -q playbin "uri=file://$(realpath "$audio")" \
    audio-sink="fakesink sync=true" video-sink=fakesink flags=0x2)

python3 - "$player" "$alone" <<'PY'
import sys
(pc, pw), (ac, aw) = (map(float, v.split()) for v in sys.argv[1:])
print(f"player: cpu {pc:.2f} s over {pw:.2f} s: {100.0 * pc / pw:.2f}% of one core")
print(f"gst-launch playbin alone: cpu {ac:.2f} s over {aw:.2f} s: {100.0 * ac / aw:.2f}% of one core")
if ac > 0:
    print(f"player / GStreamer alone: {(pc / pw) / (ac / aw):.2f}x")
PY
