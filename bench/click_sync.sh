#!/usr/bin/env bash
# The picture against what is heard, at several tempos: plays a click track (a 10 ms
# click every 500 ms) headless into a private PulseAudio's null sink (its own runtime
# folder, ended by its PID), records the sink's monitor with parec through a reader
# that stamps each read with CLOCK_MONOTONIC, and compares the moment each click
# reached the sink with the player's trace (LYRVOX_TRACE): when its audio position
# reached the click's song time, and when it drew the click's packet.
#
#   bench/click_sync.sh [PLAYER]
#
# PLAYER defaults to build/ci/app/lyrvox. TEMPOS (default "50 80 100 120 150") lists
# the tempos in percent, played at KEY semitones (default 0); CLICK_SECONDS (default 24) is the song's length,
# played whole at each tempo; LATENCY_MSEC (default 1) the recording's latency, which
# also sets the null sink's block; KEEP=DIR keeps the song, traces and recordings.
# Prints, per tempo, every click (positive: the picture is late against the sound),
# then a table of the median and the p95 of the absolute value, for the position and
# for the drawn packet. bench/click_sync.py tells how each figure is taken. Needs the
# pulseaudio and pulseaudio-utils packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
player=${1:-$root/build/ci/app/lyrvox}
tempos=${TEMPOS:-50 80 100 120 150}
key=${KEY:-0}
seconds=${CLICK_SECONDS:-24}
latency=${LATENCY_MSEC:-1}
tool=$root/bench/click_sync.py
for command in pulseaudio parec pactl; do
    command -v "$command" >/dev/null || { echo "$command is not installed" >&2; exit 1; }
done
[ -x "$player" ] || { echo "no player at $player" >&2; exit 1; }

source "$root/bench/private_pulse.sh"
work=$(mktemp -d)
mkdir -p "$work/out"
server_pid=""
player_pid=""
recorder_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    [ -n "$recorder_pid" ] && kill "$recorder_pid" 2>/dev/null || true
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    [ -n "${KEEP:-}" ] && mkdir -p "$KEEP" && cp -r "$work/out/." "$KEEP/"
    rm -rf "$work"
}
trap cleanup EXIT

python3 "$tool" song "$work/out" --seconds "$seconds"
start_private_pulse "$work" "sink_name=clicks rate=44100"
echo "PulseAudio $server_pid on $XDG_RUNTIME_DIR/pulse/native; player $player; key $key"

for tempo in $tempos; do
    raw=$work/out/$tempo.raw
    python3 "$tool" record "$raw" --device clicks.monitor --latency-msec "$latency" &
    recorder_pid=$!
    for _ in $(seq 50); do
        [ -e "$raw.ready" ] && break
        sleep 0.1
    done
    [ -e "$raw.ready" ] || { echo "the recorder did not start" >&2; exit 1; }
    sleep 0.5
    LYRVOX_KEY_TEMPO=$key,$tempo QT_QPA_PLATFORM=offscreen LYRVOX_TRACE=$work/out/$tempo.trace \
        "$player" "$work/out/clicks.cdg" >"$work/out/$tempo.player.log" 2>&1 &
    player_pid=$!
    sleep 2
    pactl list short sink-inputs | grep -q . ||
        echo "tempo $tempo%: no stream on the server: the player did not use it" >&2
    # The whole song at this tempo, and a second more.
    sleep "$(python3 -c "print($seconds * 100 / $tempo - 1)")"
    kill "$player_pid"
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
    kill "$recorder_pid"
    wait "$recorder_pid" || true
    recorder_pid=""
    echo "tempo $tempo%: played and recorded"
done

# shellcheck disable=SC2086  # the tempos are separate words
python3 "$tool" analyze "$work/out" $tempos --seconds "$seconds"
