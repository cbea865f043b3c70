#!/usr/bin/env bash
# scripts/run.sh as a user calls it, from a folder of songs: each song named on
# its command line, relative or not, with any bytes in its name, must reach the
# player as a name the player finds from the folder it runs in. The script runs
# in a copy of the repository's layout whose set-up, cmake and player are stand-ins
# (the player records its folder and arguments), so nothing is built.
# Usage: run_script_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The repository: its path holds a space, as a home folder's may.
repo="$work/code/my repo"
mkdir -p "$repo/scripts" "$repo/build/dev/app" "$repo/build/dev/demo" "$work/bin"
cp "$source_dir/scripts/run.sh" "$repo/scripts/run.sh"
printf '#!/bin/sh\nexit 0\n' >"$repo/scripts/setup-debian.sh"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/cmake"
touch "$repo/build/dev/demo/lyrvox-demo.cdg"
# The player: one line per argument, "found" or "missing" as seen from its own
# folder; options are recorded as they came.
cat >"$repo/build/dev/app/lyrvox" <<'PLAYER'
#!/usr/bin/env bash
for arg in "$@"; do
    case "$arg" in
        --*) printf 'option %s\n' "$arg" ;;
        *) if [ -f "$arg" ]; then echo found; else printf 'missing %q from %q\n' "$arg" "$PWD"; fi ;;
    esac
done >"$RECORD"
PLAYER
chmod +x "$work/bin/cmake" "$repo/build/dev/app/lyrvox"

# The user's songs, beside and above the folder the script is started from.
songs="$work/songs"
mkdir -p "$songs/sub dir" "$work/up"
for name in "My Song.cdg" "sub dir/Two.cdg" $'caf\xe9 \x01.cdg' "-dash.cdg"; do
    touch "$songs/$name"
done
touch "$work/up/Three.cdg"

failures=0
# check NAME EXPECTED ARGS...: run.sh started from $songs, as "bash ../code/my repo/scripts/run.sh".
check() {
    local name=$1 expected=$2
    shift 2
    export RECORD="$work/record"
    rm -f "$RECORD"
    (cd "$songs" && PATH="$work/bin:$PATH" bash "../code/my repo/scripts/run.sh" "$@" >/dev/null) ||
        { echo "FAIL $name: run.sh ended with $?"; failures=$((failures + 1)); return; }
    local got
    got=$(cat "$RECORD" 2>/dev/null || echo "(the player did not start)")
    if [ "$got" = "$expected" ]; then
        echo "ok   $name"
    else
        printf 'FAIL %s: the player saw\n%s\nexpected\n%s\n' "$name" "$got" "$expected"
        failures=$((failures + 1))
    fi
}

check "no song: the demo" found
check "relative name with a space" found "My Song.cdg"
check "relative name in a subfolder" found "sub dir/Two.cdg"
check "dot-slash name" found "./My Song.cdg"
check "name above the folder" found "../up/Three.cdg"
check "name that is not UTF-8" found $'caf\xe9 \x01.cdg'
check "absolute name" found "$songs/My Song.cdg"
check "options pass through" "$(printf 'option --enqueue\nfound\nfound')" \
    --enqueue "My Song.cdg" "../up/Three.cdg"
check "name beginning with a dash" "$(printf 'option --\nfound')" -- "-dash.cdg"

if ((failures)); then
    echo "$failures case(s) failed"
    exit 1
fi
echo "run.sh passed every song through"
