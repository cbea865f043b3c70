#!/usr/bin/env bash
# Runs a test executable under a virtual X server with two screens side by side:
# screen 0 at 1280x1024 and screen 1 at 1024x768, each one QScreen to Qt's xcb
# plugin. (Monitors set with `xrandr --setmonitor` do not take on Xvfb.)
# Usage: run_xvfb_two_screens.sh TEST_EXECUTABLE [arguments]    (exit 77: skipped)
set -u
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
source "$(dirname "$0")/private_folders.sh"
export QT_QPA_PLATFORM=xcb
trap 'rm -rf ${private_folders:+"$private_folders"}' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24 -screen 1 1024x768x24" "$@"
