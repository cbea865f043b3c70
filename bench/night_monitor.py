#!/usr/bin/env python3
"""Follows a player through a night of songs: its descriptors and memory per song.

  bench/night_monitor.py PID SONGS_DIR BREAK_DIR SONGS [--sample-after 2] [--idle 5]
                         [--timeout 900] [--fd-bound 0] [--rss-bound-kb 5120] [--settle 10]

Looks at /proc/PID every 100 ms. A song is the .cdg under SONGS_DIR that the player
holds open; SAMPLE_AFTER seconds into each one (the same point of every song) it
prints the song's number and name, the open descriptors (/proc/PID/fd) and the
resident memory (VmRSS). It ends once SONGS songs were seen and none has been open
for IDLE seconds (the night is over), when the player ends, or at TIMEOUT.

At the end: first, last and largest of each, the growth over the night, and over
the songs after the first SETTLE (caches and the first break music warm up then):
"flat" when no song past SETTLE holds more descriptors than song SETTLE+1 plus
FD_BOUND, and the memory's least-squares line over those songs grows by at most
RSS_BOUND_KB from the first of them to the last (one song's passing peak does not
count; a slow leak does). Also which break music files the player opened (the
music played between songs). Exits 0 when flat and all songs played, 1 otherwise.
"""
import argparse
import os
import sys
import time


def open_files(pid):
    names = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            names.append(os.readlink(f"/proc/{pid}/fd/{fd}"))
        except OSError:
            pass  # closed while listed
    return names


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def slope(values):
    """Least-squares slope of `values` against their index: the growth per song."""
    n = len(values)
    mean_x, mean_y = (n - 1) / 2.0, sum(values) / n
    var = sum((x - mean_x) ** 2 for x in range(n))
    return sum((x - mean_x) * (y - mean_y) for x, y in enumerate(values)) / var if var else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pid")
    parser.add_argument("songs_dir")
    parser.add_argument("break_dir")
    parser.add_argument("songs", type=int)
    parser.add_argument("--sample-after", type=float, default=2.0)
    parser.add_argument("--idle", type=float, default=5.0)
    parser.add_argument("--timeout", type=float, default=900.0)
    parser.add_argument("--fd-bound", type=int, default=0)
    parser.add_argument("--rss-bound-kb", type=int, default=5120)
    parser.add_argument("--settle", type=int, default=10)
    args = parser.parse_args()
    songs_dir = os.path.realpath(args.songs_dir) + "/"
    break_dir = os.path.realpath(args.break_dir) + "/"

    start = time.monotonic()
    samples = []  # (number, name, fds, rss kB, seconds into the night)
    current, opened_at, sampled = None, 0.0, False
    idle_since = start
    breaks_seen = set()
    ended = "timeout"
    print(f"{'song':>4}  {'at s':>6}  {'fds':>4}  {'RSS MB':>7}  name", flush=True)
    while time.monotonic() - start < args.timeout:
        now = time.monotonic()
        try:
            files = open_files(args.pid)
        except OSError:
            ended = "player ended"
            break
        breaks_seen.update(f for f in files if f.startswith(break_dir))
        songs = [f for f in files if f.startswith(songs_dir) and f.endswith(".cdg")]
        if songs:
            idle_since = now
            if songs[0] != current:
                current, opened_at, sampled = songs[0], now, False
            if not sampled and now - opened_at >= args.sample_after:
                sampled = True
                try:
                    fds, rss = len(os.listdir(f"/proc/{args.pid}/fd")), rss_kb(args.pid)
                except OSError:
                    ended = "player ended"
                    break
                samples.append((len(samples) + 1, os.path.basename(current)[:-4], fds, rss,
                                now - start))
                n, name, fds, rss, at = samples[-1]
                print(f"{n:>4}  {at:>6.1f}  {fds:>4}  {rss / 1024:>7.1f}  {name}", flush=True)
        else:
            current = None
            if len(samples) >= args.songs and now - idle_since >= args.idle:
                ended = "night over"
                break
        time.sleep(0.1)

    print(f"monitor ended: {ended} after {time.monotonic() - start:.0f} s; "
          f"{len(samples)} of {args.songs} songs seen")
    print(f"break music files the player opened: {len(breaks_seen)}")
    if len(samples) < 2:
        return 1
    ok = len(samples) >= args.songs
    for label, column, unit, scale in (("descriptors", 2, "", 1), ("RSS", 3, " MB", 1024)):
        values = [s[column] for s in samples]
        def show(v):
            return f"{v / scale:.1f}{unit}" if scale != 1 else f"{v:.0f}{unit}"
        print(f"{label}: first {show(values[0])}, last {show(values[-1])}, max {show(max(values))}, "
              f"growth first to last {show(values[-1] - values[0])}")
        if len(values) > args.settle:
            base = values[args.settle]
            tail = values[args.settle:]
            peak = max(tail) - base
            trend = slope(tail)
            fitted = trend * (len(tail) - 1)
            bound = args.fd_bound if column == 2 else args.rss_bound_kb
            # Descriptors are counts: any one more is a leak. Memory moves by a few
            # hundred kB from song to song, so its growth is the fitted line's.
            flat = (peak if column == 2 else fitted) <= bound
            ok = ok and flat
            print(f"  over songs {args.settle + 1}-{len(values)}: last less song {args.settle + 1} "
                  f"{show(values[-1] - base)}, highest less song {args.settle + 1} {show(peak)}, "
                  f"trend {trend:+.2f}{' kB' if scale != 1 else ''} a song "
                  f"({show(fitted)} fitted growth; bound {show(bound)}): "
                  f"{'flat' if flat else 'GROWING'}")
        else:
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
