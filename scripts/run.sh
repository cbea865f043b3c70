#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine when needed, builds Lyrvox and starts the
# player. With no argument it plays the built-in demo song.
#
# The set-up and the build run in the repository's folder; the player starts in
# the folder this script was started from, so that a song named relative to it
# is found, and the arguments reach the player exactly as given (any bytes,
# options such as --enqueue included). Snapshots land in that folder too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

(
    cd "$root"
    bash scripts/setup-debian.sh
    cmake --preset dev >/dev/null
    cmake --build --preset dev -j "$(nproc)"
)

program="$root/build/dev/app/lyrvox"
if (($# == 0)); then
    exec "$program" "$root/build/dev/demo/lyrvox-demo.cdg"
fi
exec "$program" "$@"
