# Sourced by the test scripts that start programs: a script run by hand, outside
# ctest, gets private settings, data, cache and runtime folders in a temporary
# folder, so that no test writes into the real user's (~/.config, ~/.local/share,
# ~/.cache). Folders the caller gave (ctest gives each test its own) are kept.
# The temporary folder is $private_folders (empty when none was needed); the
# sourcing script removes it when it ends.
private_folders=""
for var in XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR; do
    [ -n "${!var:-}" ] && continue
    [ -n "$private_folders" ] || private_folders=$(mktemp -d)
    dir="$private_folders/${var,,}"
    mkdir -m 700 -p "$dir"
    export "$var=$dir"
done
unset var dir
