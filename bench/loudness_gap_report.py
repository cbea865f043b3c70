#!/usr/bin/env python3
"""The player's passes while its background loudness measuring runs, against a run
without it (bench/loudness_gap.sh makes both traces).

  bench/loudness_gap_report.py BASELINE_TRACE MEASURED_TRACE WINDOW [--skip-ms 1000] [--goal-ms 20]

WINDOW: bench/child_window.py's lines ("pid first_ms last_ms"); the measured run's
passes count from the first measuring's start to the last one's end. Both traces
drop their first --skip-ms (the song's start). Prints the gap between passes (p99,
max) and the lag behind the target packet of each, and whether the measured p99
gap is within --goal-ms. Exits 1 when it is not, 2 when a trace is unusable.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from percentile import percentile, read_trace  # noqa: E402


def figures(label, rows):
    if len(rows) < 2:
        print(f"{label}: too few passes ({len(rows)})", file=sys.stderr)
        return None
    gaps = [b[0] - a[0] for a, b in zip(rows, rows[1:])]
    lags = [lag for _, lag in rows]
    span = (rows[-1][0] - rows[0][0]) / 1000.0
    p99 = percentile(gaps, 0.99)
    print(f"{label}: {len(rows)} passes over {span:.1f} s; gap between passes p99 {p99:.1f} ms, "
          f"max {max(gaps):.1f} ms; lag p99 {percentile(lags, 0.99)} packets, max {max(lags)}")
    return p99


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("baseline")
    parser.add_argument("measured")
    parser.add_argument("window")
    parser.add_argument("--skip-ms", type=float, default=1000.0)
    parser.add_argument("--goal-ms", type=float, default=20.0)
    args = parser.parse_args()

    spans = []
    with open(args.window) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 3:
                spans.append((float(fields[1]), float(fields[2])))
    if not spans:
        print("the measuring was never seen running", file=sys.stderr)
        return 2
    start, end = min(s for s, _ in spans), max(e for _, e in spans)

    baseline = read_trace(args.baseline)
    measured = read_trace(args.measured)
    if not baseline or not measured:
        print("a trace is empty", file=sys.stderr)
        return 2
    baseline = [r for r in baseline if r[0] - baseline[0][0] >= args.skip_ms]
    settled = measured[0][0] + args.skip_ms
    during = [r for r in measured if max(start, settled) <= r[0] <= end]
    after = [r for r in measured if r[0] > end]

    print(f"measuring ran {(end - start) / 1000.0:.1f} s ({len(spans)} run(s)), "
          f"{(start - measured[0][0]) / 1000.0:.1f} s after the song's first pass")
    base_p99 = figures("without measuring", baseline)
    p99 = figures("while measuring  ", during)
    if len(after) >= 2:
        figures("after measuring  ", after)
    whole = [r for r in measured if r[0] >= settled]
    if len(whole) >= 2:
        figures("measured run, all", whole)
        print(f"last pass {(whole[-1][0] - end) / 1000.0:+.1f} s from the measuring's end")
    if base_p99 is None or p99 is None:
        return 2
    verdict = "met" if p99 <= args.goal_ms else "MISSED"
    print(f"goal: pass gap p99 at most {args.goal_ms:.0f} ms while measuring: {verdict} "
          f"({p99:.1f} ms; {p99 - base_p99:+.1f} ms against the run without)")
    return 0 if p99 <= args.goal_ms else 1


if __name__ == "__main__":
    sys.exit(main())
