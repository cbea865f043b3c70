#!/usr/bin/env bash
# CPU share of a player while it plays a song headless.
#
#   bench/cpu_play.sh [PLAYER_COMMAND...]
#
# Starts PLAYER_COMMAND SONG (default command: build/dev/app/lyrvox) with the
# offscreen platform, lets it settle for a second, then measures utime+stime from
# /proc/PID/stat over PLAY_SECONDS (default 30) and prints the share of one core.
# The song defaults to the corpus demokar.cdg (its demokar.mp3 beside it); set
# LYRVOX_SONG to play another. FULLSCREEN=1 plays on a 1920x1080 offscreen screen
# with the display window in full screen, redrawn 30 times a second.
# LYRVOX_KEY_TEMPO=K,T plays at a key of K semitones and a tempo of T%.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
song=${LYRVOX_SONG:-$root/../shared/corpus/demokar.cdg}
play_seconds=${PLAY_SECONDS:-30}
settle_seconds=1
if (($# == 0)); then
    set -- "$root/build/dev/app/lyrvox"
fi

export QT_QPA_PLATFORM=offscreen
config_home=$(mktemp -d)
export XDG_CONFIG_HOME="$config_home"
if [[ ${FULLSCREEN:-0} == 1 ]]; then
    cat >"$config_home/screen.json" <<'JSON'
{"screens": [{"name": "Bench", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}]}
JSON
    export QT_QPA_PLATFORM="offscreen:configfile=$config_home/screen.json"
    export LYRVOX_FULLSCREEN_FPS=30
fi

"$@" "$song" >/dev/null 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
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

sleep "$settle_seconds"
kill -0 "$pid" 2>/dev/null || { echo "player exited early" >&2; exit 1; }
t0=$(now_ns)
c0=$(ticks)
sleep "$play_seconds"
kill -0 "$pid" 2>/dev/null || { echo "player exited before the end of the measurement" >&2; exit 1; }
c1=$(ticks)
t1=$(now_ns)
hz=$(getconf CLK_TCK)

python3 - "$c0" "$c1" "$t0" "$t1" "$hz" <<'PY'
import sys
c0, c1, t0, t1, hz = (int(v) for v in sys.argv[1:])
cpu = (c1 - c0) / hz
wall = (t1 - t0) / 1e9
print(f"cpu {cpu:.2f} s over {wall:.2f} s: {100.0 * cpu / wall:.2f}% of one core")
PY
