#!/usr/bin/env bash
# Starts the real player under a virtual X server with a song on its command
# line, lets it play a few seconds, saves a screenshot, then closes the control
# window as a window manager would and checks that the program ends at once.
# Usage: smoke_xvfb.sh PROGRAM SONG OUTPUT_DIR    (exit 77: skipped)
set -u
program=$1
song=$2
outdir=$3

command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
[ -f "$song" ] || { echo "song $song missing: skipped"; exit 77; }
mkdir -p "$outdir"
shot="$outdir/app_smoke_xvfb.png"
log="$outdir/app_smoke_xvfb.log"
rm -f "$shot"

source "$(dirname "$0")/private_folders.sh"
inner=$(mktemp)
trap 'rm -rf "$inner" ${private_folders:+"$private_folders"}' EXIT
cat >"$inner" <<'INNER'
set -u
program=$1; song=$2; shot=$3; log=$4
export QT_QPA_PLATFORM=xcb
"$program" "$song" >"$log" 2>&1 &
pid=$!
sleep 5
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the player ended on its own during playback"; cat "$log"; exit 1
fi
/usr/bin/import -window root "$shot" || echo "no screenshot taken"
# WM_DELETE_WINDOW to the control window: what a window manager's close box sends.
ids=$(xdotool search --name "^Lyrvox Controls$" 2>/dev/null)
[ -n "$ids" ] || { echo "control window not found"; kill "$pid"; exit 1; }
python3 - $ids <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 24)]
d = x.XOpenDisplay(None)
protocols = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
delete = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
for w in sys.argv[1:]:
    e = ClientMessage()
    e.type = 33  # ClientMessage
    e.window = int(w)
    e.message_type = protocols
    e.format = 32
    e.data[0] = delete
    x.XSendEvent(d, int(w), 0, 0, ctypes.byref(e))
x.XFlush(d)
PY
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the player did not end within 5 s of closing its window"; kill -9 "$pid"; exit 1
fi
wait "$pid"
rc=$?
echo "player exit code $rc"
cat "$log"
exit $rc
INNER

xvfb-run -a -s "-screen 0 1280x1024x24" bash "$inner" "$program" "$song" "$shot" "$log"
rc=$?
[ -f "$shot" ] && echo "screenshot: $shot"
exit $rc
