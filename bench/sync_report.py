#!/usr/bin/env python3
"""Figures from a playback trace (one line per pass of the session loop:
steady ms, audio position ms, target packet, PacketCount, and the audio/video offset in ms).

  bench/sync_report.py TRACE [--skip-ms 1000]

Prints the largest and the 99th-percentile lag of PacketCount behind the target packet in
packets (after the first --skip-ms of the trace), and the largest gap between
passes in ms (also after the first second and over the whole trace). For the audio
position it prints when it first moved, its pace against the steady clock (the
tempo) and its largest step away from that straight line after --skip-ms: a
position that stalls and then jumps shows there.
"""
import argparse
import math
import sys


def percentile(values, share):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    rank = max(0, math.ceil(share * len(ordered)) - 1)
    return ordered[rank]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("trace")
    parser.add_argument("--skip-ms", type=float, default=1000.0)
    args = parser.parse_args()

    rows = []
    with open(args.trace) as f:
        for line in f:
            fields = line.split()
            if len(fields) not in (4, 5):  # a fifth field: the offset in ms
                continue
            rows.append((float(fields[0]), int(fields[1]), int(fields[2]), int(fields[3])))
    if len(rows) < 2:
        print("trace too short", file=sys.stderr)
        return 1

    start = rows[0][0]
    settled = [r for r in rows if r[0] - start >= args.skip_ms]
    lags = [frame - count for _, _, frame, count in settled]
    gaps_all = [b[0] - a[0] for a, b in zip(rows, rows[1:])]
    gaps = [b[0] - a[0] for a, b in zip(settled, settled[1:])]
    span = (rows[-1][0] - start) / 1000.0

    print(f"passes: {len(rows)} over {span:.1f} s ({len(rows) / span:.1f} a second)")
    print(f"packets: {rows[-1][3]}, last position: {rows[-1][1]} ms")
    if lags:
        print(f"lag behind the target packet after {args.skip_ms:.0f} ms: max {max(lags)} packets, "
              f"p99 {percentile(lags, 0.99)} packets, min {min(lags)}")
    if gaps:
        print(f"gap between passes after {args.skip_ms:.0f} ms: max {max(gaps):.1f} ms, "
              f"p99 {percentile(gaps, 0.99):.1f} ms")
    print(f"gap between passes, whole trace: max {max(gaps_all):.1f} ms")

    moving = [(t, p) for t, p, _, _ in rows if p > 0]
    if len(moving) > 2:
        print(f"audio position first moved {moving[0][0] - start:.0f} ms after the first pass")
        fitted = [(t, p) for t, p in moving if t - start >= args.skip_ms]
        n = len(fitted)
        mean_t = sum(t for t, _ in fitted) / n
        mean_p = sum(p for _, p in fitted) / n
        var_t = sum((t - mean_t) ** 2 for t, _ in fitted)
        pace = sum((t - mean_t) * (p - mean_p) for t, p in fitted) / var_t if var_t else 0.0
        away = [p - (mean_p + pace * (t - mean_t)) for t, p in fitted]
        print(f"audio position after {args.skip_ms:.0f} ms: pace {100 * pace:.1f}% of the clock, "
              f"off its straight line by {min(away):.1f} to {max(away):.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
