#!/usr/bin/env python3
"""When a process's children named NAME ran, on the steady clock of the player's trace.

  bench/child_window.py PID NAME OUT

Looks at PID's children every 20 ms until PID ends and writes to OUT one line per
child seen: "pid first_seen_ms last_seen_ms" in CLOCK_MONOTONIC milliseconds, the
clock of LYRVOX_TRACE's first field. A child that lives under 20 ms may be missed.
"""
import glob
import sys
import time


def children(pid):
    found = []
    for path in glob.glob(f"/proc/{pid}/task/*/children"):
        try:
            with open(path) as f:
                found += f.read().split()
        except OSError:
            pass
    return found


def comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return ""


def main():
    pid, name, out = sys.argv[1], sys.argv[2], sys.argv[3]
    seen = {}
    while True:
        try:
            with open(f"/proc/{pid}/stat"):
                pass
        except OSError:
            break
        now = time.monotonic() * 1000.0
        for child in children(pid):
            if child in seen:
                seen[child][1] = now
            elif comm(child) == name:
                seen[child] = [now, now]
        with open(out, "w") as f:  # rewritten each look: readable while it runs
            for child, (first, last) in seen.items():
                f.write(f"{child} {first:.3f} {last:.3f}\n")
        time.sleep(0.02)


if __name__ == "__main__":
    main()
