#!/usr/bin/env bash
# Sync of the graphics with the audio through a real sound server: starts a private
# PulseAudio with a null sink (its own runtime folder, ended by its PID), plays a
# song in the player with a trace, and prints bench/sync_report.py's figures.
#
#   bench/pulse_sync.sh [PLAYER]
#
# PLAYER defaults to build/ci/app/lyrvox. The song defaults to the corpus's
# demokar.cdg (LYRVOX_SONG plays another), for PLAY_SECONDS (default 20) at
# LYRVOX_KEY_TEMPO (default "3,80": key +3, tempo 80%; "0,100" plays it as
# recorded); TRACE_COPY=FILE keeps the trace. Needs the pulseaudio package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
player=${1:-$root/build/ci/app/lyrvox}
song=${LYRVOX_SONG:-$root/../shared/corpus/demokar.cdg}
play_seconds=${PLAY_SECONDS:-20}
export LYRVOX_KEY_TEMPO=${LYRVOX_KEY_TEMPO:-3,80}
command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; exit 1; }

source "$root/bench/private_pulse.sh"
pulse_scratch
echo "PulseAudio $server_pid on $XDG_RUNTIME_DIR/pulse/native; key,tempo $LYRVOX_KEY_TEMPO"

QT_QPA_PLATFORM=offscreen LYRVOX_TRACE=$work/trace "$player" "$song" >"$work/player.log" 2>&1 &
player_pid=$!
sleep "$play_seconds"
# The sink really played through the server (not a fallback sink).
if command -v pactl >/dev/null; then
    pactl list short sink-inputs | grep -q . && echo "the player's stream is on the server" ||
        echo "no stream on the server: the player did not use it" >&2
fi
kill "$player_pid"
wait "$player_pid" 2>/dev/null || true
player_pid=""
[ -n "${TRACE_COPY:-}" ] && cp "$work/trace" "$TRACE_COPY"
python3 "$root/bench/sync_report.py" "$work/trace" --skip-ms 200
