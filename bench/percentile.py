"""The nearest-rank percentile that the benchmarks' reports share."""
import math


def percentile(values, share):
    """The smallest value at or above `share` (0..1) of `values`, by nearest rank; nan when empty."""
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)]
