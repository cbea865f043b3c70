"""What the benchmarks' reports share: the nearest-rank percentile and the player's trace."""
import math


def percentile(values, share):
    """The smallest value at or above `share` (0..1) of `values`, by nearest rank; nan when empty."""
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)]


def read_trace(path):
    """The player's LYRVOX_TRACE lines as (steady ms, target packet - packets drawn)."""
    rows = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) in (4, 5):
                rows.append((float(fields[0]), int(fields[2]) - int(fields[3])))
    return rows
