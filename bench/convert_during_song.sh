#!/usr/bin/env bash
# A conversion started by hand while a song plays: the real player under a virtual
# X server plays a song with a trace; a user (xdotool) opens the options area with
# "v", types the path of a large disc image and presses Convert; once the output
# file is there (it appears under its name only when whole), the trace's passes
# during the conversion are checked for gaps. Prints the conversion's time and the longest gap between
# passes while it ran (goal: under 50 ms), and saves a screenshot.
#
#   bench/convert_during_song.sh [PLAYER]
#
# PLAYER defaults to build/ci/app/lyrvox. IMAGE_GB (default 2.9) sets the image's
# size; it is written for real (zeros, not sparse) into a scratch folder and
# removed at the end; as root the page cache is dropped first, so that the image is
# read from the disk. LYRVOX_SONG plays another song (default the corpus's
# demokar.cdg). Needs xvfb-run, xdotool and ImageMagick's import.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
player=$(realpath "${1:-$root/build/ci/app/lyrvox}")
song=${LYRVOX_SONG:-$root/../shared/corpus/demokar.cdg}
image_gb=${IMAGE_GB:-2.9}
for tool in xvfb-run xdotool /usr/bin/import; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
# The player keeps its settings and library in these, never in the user's own.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
sectors=$(python3 -c "print(int($image_gb * 1e9) // 2448)")
echo "writing a ${image_gb} GB image ($sectors sectors of 2448 bytes)"
dd if=/dev/zero of="$work/disc.bin" bs=2448 count="$sectors" status=none
# Read from the disk, not from the page cache the writing just filled (root only).
if [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
fi

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
player=$1; song=$2; work=$3
monotonic_ms() { python3 -c 'import time; print(f"{time.monotonic() * 1000:.3f}")'; }
LYRVOX_TRACE="$work/trace" QT_QPA_PLATFORM=xcb "$player" "$song" >"$work/player.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    id=$(xdotool search --name '^Lyrvox Controls$' 2>/dev/null | head -n 1) && break
    sleep 0.1
done
[ -n "${id:-}" ] || { echo "no control window"; exit 1; }
sleep 3  # the song plays
# Places in pixels (15 twips a pixel): "v", the source box and Convert.
xdotool mousemove --window "$id" 307 72 click 1
sleep 0.5
xdotool mousemove --window "$id" 106 135 click 1
xdotool type --window "$id" --delay 5 "$work/disc.bin"
start=$(monotonic_ms)
xdotool mousemove --window "$id" 279 136 click 1
# The output appears under its name only once it is whole: the end of the run.
for _ in $(seq 1200); do
    [ -f "$work/disc.cdg" ] && break
    sleep 0.05
done
end=$(monotonic_ms)
sleep 1  # the message box
/usr/bin/import -window root "$work/shot.png" || true
[ -f "$work/disc.cdg" ] || { echo "the conversion did not end within a minute"; exit 1; }
echo "$start $end" >"$work/window"
INNER

xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/inner.sh" "$player" "$song" "$work"
cp "$work/shot.png" "${SHOT:-/tmp/convert_during_song.png}" 2>/dev/null || true
read -r start end <"$work/window"
python3 - "$work/trace" "$start" "$end" "$work/disc.cdg" <<'PY'
import os, sys
trace, start, end, output = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
times = [float(line.split()[0]) for line in open(trace)]
during = [t for t in times if start <= t <= end]
gaps = [b - a for a, b in zip(during, during[1:])]
print(f"conversion: {(end - start) / 1000:.1f} s (Convert pressed to the output in place), "
      f"output {os.path.getsize(output) if os.path.exists(output) else 0} bytes")
print(f"passes while converting: {len(during)}, longest gap between passes "
      f"{max(gaps):.1f} ms (goal under 50 ms)" if gaps else "no passes while converting")
PY
echo "screenshot: ${SHOT:-/tmp/convert_during_song.png}"
