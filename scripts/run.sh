#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine when needed, builds Lyrvox and starts the
# player. With no argument it plays the built-in demo song.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

if (($# == 0)); then
    demo="$PWD/build/dev/demo/lyrvox-demo.cdg"
    exec build/dev/app/lyrvox "$demo"
fi
exec build/dev/app/lyrvox "$@"
