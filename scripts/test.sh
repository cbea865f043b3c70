#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine when needed, then checks the formatting and
# builds and runs every test: the CI build (warnings are errors), the Qt-free core
# on its own, the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# and the fuzz targets for a bounded time.
#
# No step writes into the user's folders: settings, data, runtime and temporary
# files go to a scratch folder, every test gets its own (tests/CMakeLists.txt),
# and the suites run with HOME at an empty folder that must stay empty.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch"/{config,data,runtime,tmp,home}
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp"
empty_home="$scratch/home"
# File and line in the sanitizers' traces (the llvm package).
symbolizer=$(command -v llvm-symbolizer || ls /usr/lib/llvm-*/bin/llvm-symbolizer 2>/dev/null | tail -n 1 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"
jobs=$(nproc)

step() { printf '\n==== %s ====\n' "$*"; }

# ctest with HOME at the empty folder: whatever a test writes into the user's
# folders appears there, and fails the run.
run_tests() {
    local status=0
    HOME="$empty_home" ctest "$@" || status=$?
    if [ -n "$(ls -A "$empty_home")" ]; then
        echo "FAIL: the tests wrote into the user's home folder:"
        (cd "$empty_home" && find . -mindepth 1 | head -n 20)
        return 1
    fi
    return "$status"
}

step "Formatting (clang-format, .clang-format at the root)"
find app playback library requests server video display extract util tools tests bench fuzz -name '*.cpp' -o -name '*.h' |
    sort | xargs clang-format --dry-run --Werror

step "CI build and tests (warnings are errors)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
run_tests --preset ci -j "$jobs"

step "Qt-free core: build and tests without Qt"
cmake --preset core >/dev/null
cmake --build --preset core -j "$jobs"
run_tests --preset core -j "$jobs"

step "Whole suite under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_tests --preset sanitize -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
    step "Fuzz targets (bounded time)"
    FUZZ_SECONDS="${FUZZ_SECONDS:-60}" bash scripts/fuzz.sh
fi
