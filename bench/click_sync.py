#!/usr/bin/env python3
"""The picture against what is heard, click by click (bench/click_sync.sh drives it).

  bench/click_sync.py song DIR [--seconds 24]
      writes DIR/clicks.wav (44.1 kHz mono: silence with a 10 ms, 2 kHz click every
      500 ms from 1 s on) and DIR/clicks.cdg (empty packets, one second longer)
  bench/click_sync.py record RAW [--device clicks.monitor] [--latency-msec 1]
      records the device with parec (s16le mono 44.1 kHz) into RAW until SIGTERM,
      and RAW.times: one line per read, "monotonic_s first_byte bytes"
  bench/click_sync.py analyze DIR TEMPO...
      reads DIR/T.trace, DIR/T.raw and DIR/T.raw.times for each tempo T and prints,
      for every click, how far the picture is from the moment the click reached the
      sink, then per tempo the median and p95 (of the absolute value)

When the click reached the sink: the null sink renders each block of about
--latency-msec when its play time comes and its monitor hands the block on at
once, so the least-delayed arrivals of a block's first sample trace the sink's
play line. That line is fitted (least squares through the earliest arrival of each
second; the null sink's clock runs some 60 ppm off the nominal rate) and maps the
sample at which a click begins to CLOCK_MONOTONIC, the clock of the trace.

The picture: the player's trace (LYRVOX_TRACE) gives, per pass, steady ms, the
audio position in song ms, the target packet, PacketCount and the offset. "position"
is the steady time at which the position reached the click's song time
(interpolated between passes); "drawn" the time of the first pass whose
PacketCount had taken in the click's own packet (PacketCount > song ms * 0.3); the
session draws a sector of 4 packets once its first is due, so a packet 2 into its
sector (every other click) is drawn 2 packets (6.7 ms of song) early by design.
Positive: the picture is late against the sound. A click that the time stretch
played twice counts where it is first heard; one it dropped counts as missing.
"""
import argparse
import array
import math
import os
import signal
import subprocess
import sys
import time
import wave

RATE = 44100
FIRST_MS = 1000
PERIOD_MS = 500
CLICK_MS = 10
CLICK_HZ = 2000
PACKETS_PER_MS = 0.3
THRESHOLD = 0.1 * 32768  # the click is 0.5 of full scale
QUIET_MS = 5  # a new onset needs this much quiet before it


def click_times(seconds):
    times = []
    t = FIRST_MS
    while t + CLICK_MS + 500 <= seconds * 1000:
        times.append(t)
        t += PERIOD_MS
    return times


def make_song(args):
    os.makedirs(args.dir, exist_ok=True)
    samples = array.array("h", bytes(2 * RATE * args.seconds))
    burst = [round(0.5 * 32767 * math.sin(2 * math.pi * CLICK_HZ * i / RATE))
             for i in range(CLICK_MS * RATE // 1000)]
    for t in click_times(args.seconds):
        start = t * RATE // 1000
        samples[start:start + len(burst)] = array.array("h", burst)
    if sys.byteorder != "little":
        samples.byteswap()
    with wave.open(os.path.join(args.dir, "clicks.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    with open(os.path.join(args.dir, "clicks.cdg"), "wb") as f:
        f.write(bytes(24 * 300 * (args.seconds + 1)))
    return 0


def record(args):
    parec = subprocess.Popen(
        ["parec", "--raw", "--format=s16le", "--channels=1", f"--rate={RATE}",
         f"--latency-msec={args.latency_msec}", "-d", args.device],
        stdout=subprocess.PIPE)
    signal.signal(signal.SIGTERM, lambda *_: parec.terminate())
    signal.signal(signal.SIGINT, lambda *_: parec.terminate())
    fd = parec.stdout.fileno()
    total = 0
    stamps = []
    with open(args.raw, "wb") as out:
        while True:
            try:
                data = os.read(fd, 1 << 16)
            except InterruptedError:
                continue
            now = time.monotonic()  # CLOCK_MONOTONIC, as the trace's steady clock
            if not data:
                break
            out.write(data)
            stamps.append(f"{now:.6f} {total} {len(data)}\n")
            total += len(data)
            if len(stamps) == 1:
                open(args.raw + ".ready", "w").close()
    parec.wait()
    with open(args.raw + ".times", "w") as f:
        f.writelines(stamps)
    return 0


def fit_play_line(times_path):
    """Steady seconds of sample 0 and per sample, from the earliest arrivals."""
    rows = []
    with open(times_path) as f:
        for line in f:
            t, first, count = line.split()
            rows.append((float(t), int(first) / 2.0))
    if len(rows) < 100:
        raise SystemExit(f"{times_path}: too few reads")
    rows = rows[20:]  # the stream's own start-up
    # The earliest arrival (least delayed: arrival minus nominal sample time) per second.
    windows = {}
    for t, first in rows:
        key = int(first // RATE)
        lead = t - first / RATE
        if key not in windows or lead < windows[key][1]:
            windows[key] = (first, lead)
    points = [(first, lead + first / RATE) for first, lead in windows.values()]
    for _ in range(3):  # least squares, dropping windows that never saw a prompt read
        n = len(points)
        mx = sum(x for x, _ in points) / n
        my = sum(y for _, y in points) / n
        sxx = sum((x - mx) ** 2 for x, _ in points)
        slope = sum((x - mx) * (y - my) for x, y in points) / sxx
        origin = my - slope * mx
        residual = [y - (origin + slope * x) for x, y in points]
        kept = [p for p, r in zip(points, residual) if r < 0.0005]
        if len(kept) == len(points) or len(kept) < n // 2:
            break
        points = kept
    spread = max(abs(r) for r in residual) * 1000
    return origin, slope, spread


def onsets(raw_path):
    samples = array.array("h")
    with open(raw_path, "rb") as f:
        data = f.read()
    samples.frombytes(data[:len(data) // 2 * 2])
    if sys.byteorder != "little":
        samples.byteswap()
    found = []
    quiet_needed = QUIET_MS * RATE // 1000
    last_loud = -quiet_needed
    for i, v in enumerate(samples):
        if v > THRESHOLD or v < -THRESHOLD:
            if i - last_loud >= quiet_needed:
                found.append(i)
            last_loud = i
    return found


def read_trace(path):
    rows = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 5:
                rows.append((float(fields[0]), int(fields[1]), int(fields[3]), int(fields[4])))
    return rows


def position_at(rows, steady_ms):
    """The trace's song position at a steady time (interpolated), for matching only."""
    for a, b in zip(rows, rows[1:]):
        if a[0] <= steady_ms <= b[0]:
            share = (steady_ms - a[0]) / (b[0] - a[0]) if b[0] > a[0] else 0.0
            return a[1] + share * (b[1] - a[1])
    return None


def reached_position(rows, song_ms):
    for a, b in zip(rows, rows[1:]):
        if a[1] < song_ms <= b[1]:
            return a[0] + (song_ms - a[1]) / (b[1] - a[1]) * (b[0] - a[0])
    return None


def reached_packets(rows, count):
    for row in rows:
        if row[2] >= count:
            return row[0]
    return None


def percentile(values, share):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)] if ordered else float("nan")


def median(values):
    ordered = sorted(values)
    n = len(ordered)
    if not n:
        return float("nan")
    return ordered[n // 2] if n % 2 else (ordered[n // 2 - 1] + ordered[n // 2]) / 2


def analyze_tempo(directory, tempo, seconds):
    rows = read_trace(os.path.join(directory, f"{tempo}.trace"))
    raw = os.path.join(directory, f"{tempo}.raw")
    origin, slope, spread = fit_play_line(raw + ".times")
    offsets = {r[3] for r in rows}
    print(f"\n== tempo {tempo}%: {len(rows)} passes; sink play line fitted within "
          f"{spread:.2f} ms, {1e6 * (slope * RATE - 1):+.0f} ppm")
    if offsets != {0}:
        print(f"   warning: audio/video offset {sorted(offsets)} ms in the trace: "
              "the drawn packets include it")
    clicks = click_times(seconds)
    heard = {}  # click index -> steady ms of its first onset, and how many onsets
    for sample in onsets(raw):
        at = 1000.0 * (origin + slope * sample)
        song = position_at(rows, at)
        if song is None:
            continue
        k = round((song - FIRST_MS) / PERIOD_MS)
        if 0 <= k < len(clicks) and abs(song - clicks[k]) < PERIOD_MS / 2:
            first, count = heard.get(k, (at, 0))
            heard[k] = (min(first, at), count + 1)
    print("   click  song ms   heard at (steady ms)  onsets  position ms  drawn ms")
    pos_err, draw_err, missing = [], [], 0
    for k, song_ms in enumerate(clicks):
        if k not in heard:
            missing += 1
            print(f"   {k:5d}  {song_ms:7d}   (not heard)")
            continue
        at, count = heard[k]
        p = reached_position(rows, song_ms)
        d = reached_packets(rows, round(song_ms * PACKETS_PER_MS) + 1)
        pe = None if p is None else p - at
        de = None if d is None else d - at
        if pe is not None:
            pos_err.append(pe)
        if de is not None:
            draw_err.append(de)
        fmt = lambda v: "      -" if v is None else f"{v:+8.1f}"
        print(f"   {k:5d}  {song_ms:7d}   {at:18.1f}  {count:6d}    {fmt(pe)}  {fmt(de)}")
    summary = (tempo, len(pos_err), missing,
               median(pos_err), percentile([abs(v) for v in pos_err], 0.95),
               median(draw_err), percentile([abs(v) for v in draw_err], 0.95))
    return summary


def analyze(args):
    summaries = [analyze_tempo(args.dir, t, args.seconds) for t in args.tempos]
    print("\ntempo  clicks  missing  position median  p95|.|  drawn median  p95|.|  (ms)")
    for tempo, n, missing, pm, pp, dm, dp in summaries:
        print(f"{tempo:>4}%  {n:6d}  {missing:7d}  {pm:+15.1f}  {pp:6.1f}  {dm:+12.1f}  {dp:6.1f}")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    song = sub.add_parser("song")
    song.add_argument("dir")
    song.add_argument("--seconds", type=int, default=24)
    rec = sub.add_parser("record")
    rec.add_argument("raw")
    rec.add_argument("--device", default="clicks.monitor")
    rec.add_argument("--latency-msec", type=int, default=1)
    ana = sub.add_parser("analyze")
    ana.add_argument("dir")
    ana.add_argument("tempos", nargs="+")
    ana.add_argument("--seconds", type=int, default=24)
    args = parser.parse_args()
    return {"song": make_song, "record": record, "analyze": analyze}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
