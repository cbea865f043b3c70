#!/usr/bin/env bash
# package_check.sh BUILD_DIR: builds the Debian package of the build (cpack -G DEB)
# in a scratch folder and checks it as Debian would: lintian finds no error; the
# package depends on the GStreamer plugins that play a song and change its key
# and tempo, recommends xdg-utils (Info opens the guide with xdg-open) and
# rubberband-ladspa (key changes with the voice's formants kept); its
# documentation folder holds a machine-readable copyright file and a Debian
# changelog of this version; both programs have a man page that names every
# option their usage names; and one maintainer speaks for the package, its
# copyright file and its metainfo.
# Exits 77 (skipped) where lintian or Debian's package tools are not installed.
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in lintian dpkg-deb dpkg-shlibdeps cpack man; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
license=""
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/lyrvox_*.deb)
echo "package: $(basename "$deb")"

# lintian: errors fail, warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"

field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
maintainer=$(field Maintainer)
for package in gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav \
    gstreamer1.0-plugins-bad qt6-qpa-plugins; do
    field Depends | tr ',' '\n' | grep -qx " *$package" || fail "Depends lacks $package"
done
for package in xdg-utils rubberband-ladspa; do
    field Recommends | tr ',' '\n' | grep -qx " *$package" || fail "Recommends lacks $package"
done
case "$maintainer" in
    "" | *" <>"*) fail "no maintainer: '$maintainer'" ;;
    *" <"*@*">") ;;
    *) fail "maintainer is not 'Name <address>': '$maintainer'" ;;
esac

root="$work/root"
dpkg-deb -x "$deb" "$root"
doc="$root/usr/share/doc/lyrvox"
copyright="$doc/copyright"
if [ -f "$copyright" ]; then
    head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "copyright is not in the machine-readable format"
    grep -qx "Upstream-Contact: $maintainer" "$copyright" || fail "copyright names another contact"
    license=$(sed -n 's/^License: //p' "$copyright" | head -1)
    [ -n "$license" ] || fail "copyright names no licence"
else
    fail "no $copyright"
fi
if [ -f "$doc/changelog.gz" ]; then
    gzip -dc "$doc/changelog.gz" | head -1 | grep -q "^lyrvox ($version) " ||
        fail "the changelog's latest entry is not version $version"
    gzip -dc "$doc/changelog.gz" | grep -q "^ -- $maintainer  " ||
        fail "the changelog is signed by another maintainer"
else
    fail "no $doc/changelog.gz"
fi
metainfo="$root/usr/share/metainfo/org.lyrvox.Lyrvox.metainfo.xml"
grep -q "<project_license>${license:-?}</project_license>" "$metainfo" ||
    fail "the metainfo's licence is not the copyright file's ($license)"
grep -q "<developer_name>${maintainer% <*}</developer_name>" "$metainfo" ||
    fail "the metainfo names another developer than '${maintainer% <*}'"

# The man pages: present, compressed, rendered without groff's complaints, and
# naming every option of the program's own usage.
man1="$root/usr/share/man/man1"
for page in lyrvox lyrvox-cdg; do
    file="$man1/$page.1.gz"
    [ -f "$file" ] || { fail "no man page $page(1)"; continue; }
    text=$(MANWIDTH=80 LC_ALL=C man --warnings -l "$file" 2>"$work/man.err") ||
        fail "man cannot show $page(1)"
    [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "groff warns about $page(1)"; }
    case "$page" in
        lyrvox) options="--enqueue --new-instance" ;;
        lyrvox-cdg)
            usage=$("$build/tools/cli/lyrvox-cdg" --help)
            options=$(grep -oE -- '(^|[[ ])-{1,2}[a-z][a-z0-9-]*' <<<"$usage" | sed 's/^[[ ]//' | sort -u)
            for command in render info extract "library scan" "library search" "singers add" \
                "singers remove" "singers list" "queue add" "queue list"; do
                grep -q "lyrvox-cdg $command" <<<"$usage" || continue
                grep -q -- "$command" <<<"$text" || fail "$page(1) lacks the command '$command'"
            done
            ;;
    esac
    for option in $options; do
        grep -q -- "$option" <<<"$text" || fail "$page(1) lacks the option $option"
    done
done

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package check passed"
