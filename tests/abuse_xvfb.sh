#!/usr/bin/env bash
# Runs the abuse test under a virtual X server, so that its windows, clicks and
# keys go through a real window system (xcb).
# Usage: abuse_xvfb.sh TEST_EXECUTABLE [QtTest arguments]    (exit 77: skipped)
set -u
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
program=$1
shift
export QT_QPA_PLATFORM=xcb
# A sanitizer build runs slower than QtTest's five minutes a test function allow.
export QTEST_FUNCTION_TIMEOUT=${QTEST_FUNCTION_TIMEOUT:-540000}
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$@"
