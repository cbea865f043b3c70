#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine when needed, then checks the formatting and
# builds and runs every test: the CI build (warnings are errors), the Qt-free core
# on its own, the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# and the fuzz targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

export QT_QPA_PLATFORM=offscreen
config_home=$(mktemp -d)
export XDG_CONFIG_HOME="$config_home"
trap 'rm -rf "$config_home"' EXIT
jobs=$(nproc)

step() { printf '\n==== %s ====\n' "$*"; }

step "Formatting (clang-format, .clang-format at the root)"
find app playback library display extract util tools tests bench fuzz -name '*.cpp' -o -name '*.h' |
    sort | xargs clang-format --dry-run --Werror

step "CI build and tests (warnings are errors)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"

step "Qt-free core: build and tests without Qt"
cmake --preset core >/dev/null
cmake --build --preset core -j "$jobs"
ctest --preset core -j "$jobs"

step "Whole suite under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset sanitize -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
    step "Fuzz targets (bounded time)"
    FUZZ_SECONDS="${FUZZ_SECONDS:-60}" bash scripts/fuzz.sh
fi
