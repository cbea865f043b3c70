#!/usr/bin/env bash
# The request server under a crowd of phones while a song plays: latency of its
# answers and the display's passes, against the same song's passes without load.
#
#   bench/phones.sh [BUILD_DIR]      (default build/dev)
#
# In a scratch folder of its own (XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
# TMPDIR, HOME; removed at the end) with a private PulseAudio and its null sink:
#  1. makes SONGS (default 300) tiny songs, "Artist NNN - Title NNN": the corpus's
#     demokar.cdg cut to 10 s and one 10 s MP3 cut from demokar.mp3, copied for each,
#     and puts them in the library (lyrvox-cdg library scan);
#  2. starts the player with its request server on 127.0.0.1 only (--serve) and
#     LYRVOX_TRACE, playing demokar.cdg (+ .mp3);
#  3. lets it play BASELINE_SECONDS (default 20) with no client;
#  4. runs bench/phones_load.py: PHONES (default 200) simulated phones for
#     LOAD_SECONDS (default 30), each typing searches letter by letter (a request
#     every ~300 ms), polling the rotation every 2 s and asking for one song, each
#     from an address of its own on loopback (SHARED_ADDRESS=1: all from 127.0.0.1,
#     where the server's per-address limit refuses most with 429);
#  5. prints requests per second, p50/p99 latency per kind, the answers by status,
#     and the pass gap p99 and lag before and during the load (goals: latency p99
#     under 100 ms, pass gap p99 at most 20 ms during the load), and the load average.
# KEEP=DIR keeps the trace and the player's log there.
# Needs ffmpeg, pulseaudio and the lyrvox and lyrvox-cdg targets built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
player=$build/app/lyrvox
cli=$build/tools/cli/lyrvox-cdg
songs=${SONGS:-300}
phones=${PHONES:-200}
baseline_seconds=${BASELINE_SECONDS:-20}
load_seconds=${LOAD_SECONDS:-30}
source "$root/bench/private_pulse.sh"
player_bench_scratch

# 1. The library: 10 s of graphics (300 packets of 24 bytes a second) and 10 s of audio.
head -c $((10 * 300 * 24)) "$corpus/demokar.cdg" >"$work/cut.cdg"
ffmpeg -nostdin -loglevel error -t 10 -i "$corpus/demokar.mp3" -c:a copy "$work/cut.mp3"
for ((i = 0; i < songs; i++)); do
    base=$(printf '%s/songs/Artist %03d - Title %03d' "$work" "$i" "$i")
    cp "$work/cut.cdg" "$base.cdg"
    cp "$work/cut.mp3" "$base.mp3"
done
"$cli" library scan "$work/songs" >"$work/scan.log" 2>&1 ||
    { cat "$work/scan.log" >&2; exit 1; }
echo "library: $songs songs ($(tail -n 1 "$work/scan.log"))"

# 2. The player with its server on a free loopback port.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
LYRVOX_TRACE=$work/trace "$player" --new-instance --serve "127.0.0.1:$port" \
    "$corpus/demokar.cdg" >"$work/player.log" 2>&1 &
player_pid=$!
# shellcheck disable=SC2317  # called by pulse_scratch's clean-up at exit
keep_results() {
    if [ -n "${KEEP:-}" ]; then mkdir -p "$KEEP" && cp "$work/trace" "$work/player.log" "$KEEP"/; fi
}
up=""
for _ in $(seq 100); do
    kill -0 "$player_pid" 2>/dev/null || { echo "the player ended early" >&2; cat "$work/player.log" >&2; exit 1; }
    if [ -s "$work/trace" ] && python3 -c 'import sys, urllib.request
urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/api/rotation", timeout=1).read()' "$port" 2>/dev/null; then
        up=1
        break
    fi
    sleep 0.2
done
[ -n "$up" ] || { echo "the player's server did not answer on port $port" >&2; cat "$work/player.log" >&2; exit 1; }
echo "the player plays demokar.cdg and serves 127.0.0.1:$port"

# 3. The baseline: the song with no client.
echo "playing $baseline_seconds s with no phone ($(uptime | sed 's/.*load/load/'))..."
sleep "$baseline_seconds"

# 4-5. The phones.
echo "$phones phones for $load_seconds s..."
load_before=$(cut -d' ' -f1 /proc/loadavg)
shared=()
[ "${SHARED_ADDRESS:-0}" = 1 ] && shared=(--shared-address)
status=0
python3 "$root/bench/phones_load.py" --port "$port" --phones "$phones" --seconds "$load_seconds" \
    --songs "$songs" --player-pid "$player_pid" --trace "$work/trace" "${shared[@]}" || status=$?
load_after=$(cut -d' ' -f1 /proc/loadavg)
kill -0 "$player_pid" 2>/dev/null || { echo "the player ended during the load" >&2; cat "$work/player.log" >&2; exit 1; }
echo "load average (1 min) before/after the load: $load_before / $load_after on $(nproc) cores; uptime: $(uptime)"
exit "$status"
