#!/usr/bin/env bash
# Descriptors and resident memory per song over a night of songs, played through a
# real sound server: starts a private PulseAudio with a null sink (its own runtime
# folder, ended by its PID) and runs memory_songs against it.
#
#   bench/memory_songs.sh [MEMORY_SONGS [SONGS]]
#
# MEMORY_SONGS defaults to build/ci/bench/memory_songs, SONGS to 50 (3 s each).
# Needs the pulseaudio package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/ci/bench/memory_songs}
songs=${2:-50}
command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; exit 1; }

source "$root/bench/private_pulse.sh"
pulse_scratch
echo "PulseAudio $server_pid on $XDG_RUNTIME_DIR/pulse/native"
QT_QPA_PLATFORM=offscreen TMPDIR=$work XDG_DATA_HOME=$work/data "$bench" "$songs"
