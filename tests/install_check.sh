#!/usr/bin/env bash
# install_check.sh BUILD_DIR: installs the build into a scratch prefix and checks
# it as a desktop and the Debian package will see it: only the two programs in
# bin/, the menu entry and the metainfo accepted by their validators, *.cdg known
# to the MIME database, and every icon the size its theme folder says.
# Exits 77 (skipped) where the validators are not installed.
set -euo pipefail
build=$1
for tool in desktop-file-validate appstreamcli update-mime-database file; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/private_folders.sh"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix" ${private_folders:+"$private_folders"}' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
fail() { echo "FAIL: $*"; exit 1; }

[ "$(ls "$prefix/bin" | tr '\n' ' ')" = "lyrvox lyrvox-cdg " ] ||
    fail "bin/ holds: $(ls "$prefix/bin" | tr '\n' ' ')"
desktop-file-validate "$share/applications/org.lyrvox.Lyrvox.desktop"
# The whole tree: the metainfo, and the menu entry its launchable names.
appstreamcli validate-tree --no-net "$prefix"

XDG_DATA_DIRS=$share update-mime-database "$share/mime"
grep -qx 'application/x-cdg:\*\.cdg' "$share/mime/globs" || fail "*.cdg is not application/x-cdg"

icons=$(find "$share/icons/hicolor" -name org.lyrvox.Lyrvox.png)
[ -n "$icons" ] || fail "no icons"
for icon in $icons; do
    size=$(basename "$(dirname "$(dirname "$icon")")")
    file "$icon" | grep -q "PNG image data, ${size/x/ x }," || fail "$icon: $(file -b "$icon")"
done
echo "install check passed"
