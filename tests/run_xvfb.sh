#!/usr/bin/env bash
# Runs a test executable under a virtual X server, so that its windows, clicks and
# keys go through a real window system (xcb).
# Usage: run_xvfb.sh TEST_EXECUTABLE [arguments]    (exit 77: skipped)
set -u
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
source "$(dirname "$0")/private_folders.sh"
export QT_QPA_PLATFORM=xcb
trap 'rm -rf ${private_folders:+"$private_folders"}' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
