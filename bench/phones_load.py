#!/usr/bin/env python3
"""Simulated phones against the player's request server on loopback, and the player's
passes while they ran against the passes before them (bench/phones.sh runs it).

  bench/phones_load.py --port PORT [--phones 200] [--seconds 30] [--type-ms 300]
                       [--poll-ms 2000] [--shared-address] [--trace TRACE --skip-ms 1000]

Each phone keeps two HTTP/1.1 connections open (as a phone's browser does: one for
what the page fetches as the singer types, one for its polling), and for --seconds:
  - types searches letter by letter, GET /api/search?q= with the growing prefix every
    --type-ms (with a little jitter), a song's title and then an artist's name, over
    and over;
  - polls GET /api/rotation every --poll-ms;
  - after its first search, asks once for its first result: POST /api/requests with
    a singer's name of its own.
Each phone comes from an address of its own on loopback (127.0.1.1 and on), as phones
on a network do; the server limits requests per address. --shared-address sends them
all from 127.0.0.1 instead, to see that limit at work.

Prints requests per second (answered), p50/p99/max latency per kind (from the request's
first byte sent to its answer's last byte read, over answered requests; 429s counted
apart as refused), the answers by status, and connection failures. With --trace (the
player's LYRVOX_TRACE, steady milliseconds as the first field on CLOCK_MONOTONIC, the
clock of time.monotonic()), the gap between passes (p99, max) and the lag behind the
target packet, before the load (from --skip-ms after the trace's first pass) and while
it ran. Exit status: 0; 1 when the latency or pass gap goals are missed; 2 on an
unusable run (no answer at all, too short a trace).
"""
import argparse
import asyncio
import json
import os
import random
import sys
import time
from collections import Counter, defaultdict

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from percentile import percentile, read_trace  # noqa: E402


class Stats:
    def __init__(self):
        self.latency = defaultdict(list)  # kind -> ms of answered (not 429) requests
        self.status = defaultdict(Counter)  # kind -> status -> count
        self.failed = Counter()  # kind -> connection failures
        self.requested = 0  # 201s
        self.why = {}  # (kind, status) -> the first such answer's body, for errors


class Connection:
    """One keep-alive HTTP/1.1 connection from a given local address; reopens when the
    server closes it."""

    def __init__(self, port, local_host):
        self.port = port
        self.local_host = local_host
        self.reader = None
        self.writer = None

    async def close(self):
        if self.writer is not None:
            self.writer.close()
            try:
                await self.writer.wait_closed()
            except (ConnectionError, OSError):
                pass
        self.reader = self.writer = None

    async def request(self, method, target, body=None, headers=()):
        """Returns (status, headers dict, body bytes, ms)."""
        if self.writer is None:
            self.reader, self.writer = await asyncio.open_connection(
                "127.0.0.1", self.port, local_addr=(self.local_host, 0))
        lines = [f"{method} {target} HTTP/1.1", f"Host: 127.0.0.1:{self.port}",
                 "Connection: keep-alive", "Accept: application/json"]
        lines += [f"{k}: {v}" for k, v in headers]
        if body is not None:
            lines += ["Content-Type: application/json", f"Content-Length: {len(body)}"]
        data = ("\r\n".join(lines) + "\r\n\r\n").encode() + (body or b"")
        started = time.monotonic()
        try:
            self.writer.write(data)
            await self.writer.drain()
            head = await self.reader.readuntil(b"\r\n\r\n")
            status_line, *header_lines = head.decode("latin-1").split("\r\n")
            status = int(status_line.split()[1])
            fields = {}
            for line in header_lines:
                if ":" in line:
                    k, v = line.split(":", 1)
                    fields[k.strip().lower()] = v.strip()
            if "chunked" in fields.get("transfer-encoding", "").lower():
                content = b""
                while True:
                    size = int((await self.reader.readuntil(b"\r\n")).split(b";")[0], 16)
                    chunk = await self.reader.readexactly(size + 2)
                    if size == 0:
                        break
                    content += chunk[:-2]
            else:
                content = await self.reader.readexactly(int(fields.get("content-length", "0")))
        except BaseException:
            await self.close()
            raise
        ms = (time.monotonic() - started) * 1000.0
        if fields.get("connection", "").lower() == "close":
            await self.close()
        return status, fields, content, ms


async def pause(seconds, deadline):
    """Sleeps `seconds`, or until the deadline when that comes first."""
    await asyncio.sleep(max(0.0, min(seconds, deadline - time.monotonic())))


def record(stats, kind, status, ms):
    stats.status[kind][status] += 1
    if status != 429:
        stats.latency[kind].append(ms)


async def timed(stats, kind, connection, *args, **kwargs):
    try:
        status, fields, content, ms = await connection.request(*args, **kwargs)
    except (ConnectionError, OSError, asyncio.IncompleteReadError, asyncio.LimitOverrunError,
            ValueError, IndexError):
        stats.failed[kind] += 1
        return None
    record(stats, kind, status, ms)
    if status >= 400 and status != 429:
        stats.why.setdefault((kind, status), content[:120].decode("utf-8", "replace"))
    return status, fields, content


async def typing(phone, args, stats, deadline, local_host, songs):
    connection = Connection(args.port, local_host)
    rng = random.Random(phone)
    asked = False
    await pause(rng.uniform(0, args.type_ms / 1000.0 * 3), deadline)
    try:
        while time.monotonic() < deadline:
            n = rng.randrange(songs)
            for words in (f"title {n:03d}", f"artist {rng.randrange(songs):03d}"):
                first_id = None
                for length in range(1, len(words) + 1):
                    if time.monotonic() >= deadline:
                        return
                    target = "/api/search?q=" + words[:length].replace(" ", "%20")
                    answer = await timed(stats, "search", connection, "GET", target)
                    # Only the whole word's answer is read (as the singer picks from it):
                    # parsing every prefix's list would spend the clients' CPU beside the player.
                    if answer and answer[0] == 200 and length == len(words):
                        try:
                            found = json.loads(answer[2])
                            if found:
                                first_id = found[0]["id"]
                        except (ValueError, KeyError, TypeError):
                            pass
                    await pause(rng.uniform(0.8, 1.2) * args.type_ms / 1000.0, deadline)
                if not asked and first_id is not None and time.monotonic() < deadline:
                    asked = True
                    body = json.dumps({"singer": f"Phone singer {phone:03d}",
                                       "song": first_id}).encode()
                    answer = await timed(stats, "request", connection, "POST", "/api/requests",
                                         body=body)
                    if answer and answer[0] == 201:
                        stats.requested += 1
    finally:
        await connection.close()


async def polling(phone, args, stats, deadline, local_host):
    connection = Connection(args.port, local_host)
    rng = random.Random(-1 - phone)
    await pause(rng.uniform(0, args.poll_ms / 1000.0), deadline)
    try:
        while time.monotonic() < deadline:
            await timed(stats, "rotation", connection, "GET", "/api/rotation")
            await pause(rng.uniform(0.9, 1.1) * args.poll_ms / 1000.0, deadline)
    finally:
        await connection.close()


async def run_load(args, stats):
    start = time.monotonic()
    deadline = start + args.seconds
    tasks = []
    for phone in range(args.phones):
        host = "127.0.0.1" if args.shared_address else f"127.0.{1 + phone // 250}.{1 + phone % 250}"
        tasks.append(typing(phone, args, stats, deadline, host, args.songs))
        tasks.append(polling(phone, args, stats, deadline, host))
    await asyncio.gather(*tasks)
    return start, time.monotonic()


def cpu_seconds(pid):
    """User + system CPU seconds of process `pid` so far (/proc/PID/stat), None when gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def pass_figures(label, rows):
    if len(rows) < 2:
        print(f"{label}: too few passes ({len(rows)})")
        return None
    gaps = [b[0] - a[0] for a, b in zip(rows, rows[1:])]
    lags = [lag for _, lag in rows]
    span = (rows[-1][0] - rows[0][0]) / 1000.0
    p99 = percentile(gaps, 0.99)
    print(f"{label}: {len(rows)} passes over {span:.1f} s; gap between passes p99 {p99:.1f} ms, "
          f"max {max(gaps):.1f} ms; lag behind the target packet p99 "
          f"{percentile(lags, 0.99)} packets, max {max(lags)}")
    return p99


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--phones", type=int, default=200)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--type-ms", type=float, default=300.0)
    parser.add_argument("--poll-ms", type=float, default=2000.0)
    parser.add_argument("--songs", type=int, default=300, help="songs NNN the names run to")
    parser.add_argument("--shared-address", action="store_true")
    parser.add_argument("--player-pid", type=int, help="for the player's CPU during the load")
    parser.add_argument("--trace")
    parser.add_argument("--skip-ms", type=float, default=1000.0)
    parser.add_argument("--latency-goal-ms", type=float, default=100.0)
    parser.add_argument("--gap-goal-ms", type=float, default=20.0)
    args = parser.parse_args()

    stats = Stats()
    player_cpu = cpu_seconds(args.player_pid) if args.player_pid else None
    own_cpu = time.process_time()
    start, end = asyncio.run(run_load(args, stats))
    took = end - start
    own_cpu = time.process_time() - own_cpu
    if player_cpu is not None:
        after = cpu_seconds(args.player_pid)
        player_cpu = None if after is None else after - player_cpu
    answered = sum(len(v) for v in stats.latency.values())
    refused = sum(c[429] for c in stats.status.values())
    failed = sum(stats.failed.values())
    where = "all from 127.0.0.1" if args.shared_address else "each from an address of its own"
    print(f"{args.phones} phones ({where}) for {took:.1f} s: {answered / took:.0f} requests/s "
          f"answered, {refused / took:.0f}/s refused (429), {failed} connection failures")
    cpu = f"CPU during the load: these clients {100 * own_cpu / took:.0f}% of a core"
    if player_cpu is not None:
        cpu += f", the player {100 * player_cpu / took:.0f}%"
    print(f"  {cpu} (on {os.cpu_count()} cores)")
    missed = False
    for kind in ("search", "rotation", "request"):
        ms = stats.latency[kind]
        statuses = ", ".join(f"{s}: {n}" for s, n in sorted(stats.status[kind].items()))
        line = f"  {kind:8s} answers by status {{{statuses or 'none'}}}"
        if stats.failed[kind]:
            line += f", {stats.failed[kind]} failed connections"
        if ms:
            p99 = percentile(ms, 0.99)
            line += (f"; latency of answered p50 {percentile(ms, 0.5):.1f} ms, p99 {p99:.1f} ms, "
                     f"max {max(ms):.1f} ms")
            missed |= p99 >= args.latency_goal_ms
        print(line)
    for (kind, status), body in sorted(stats.why.items()):
        print(f"  first {status} to a {kind}: {body}")
    print(f"  songs requested (201): {stats.requested} of {args.phones} phones")
    if answered == 0:
        print("no request was answered", file=sys.stderr)
        return 2

    if args.trace:
        rows = read_trace(args.trace)
        if not rows:
            print("the trace is empty", file=sys.stderr)
            return 2
        start_ms, end_ms = start * 1000.0, end * 1000.0
        before = [r for r in rows if rows[0][0] + args.skip_ms <= r[0] < start_ms]
        during = [r for r in rows if start_ms <= r[0] <= end_ms]
        base = pass_figures("passes before the load (baseline)", before)
        load = pass_figures("passes during the load", during)
        if base is None or load is None:
            return 2
        missed |= load > args.gap_goal_ms
        print(f"pass gap p99 during the load {load:.1f} ms against {base:.1f} ms before "
              f"(goal at most {args.gap_goal_ms:.0f} ms)")
    print("goals met" if not missed else "goals missed")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
