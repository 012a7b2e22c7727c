#!/usr/bin/python3
"""Writes trend_reference.csv: Mann-Kendall p-values and Sen's slopes that
SciPy computes, for picalc's drift test to be checked against.

    /usr/bin/python3 tests/data/trend_reference.py > tests/data/trend_reference.csv

Each line: the times in the order they were made; the two-sided p of
Kendall's tau between the times and their order (kendalltau: the exact
distribution when no two times tie and there are at most 50, else the
normal approximation with the tie correction); Sen's slope (theilslopes'
median pairwise slope).
"""
import random

import numpy as np
from scipy import stats

LARGEST_EXACT = 50


def series():
    rng = random.Random(20261210)
    # Quiet runs, short and long.
    for n in (5, 6, 7, 9, 12, 20, 33, 50):
        yield [round(1.9 + rng.gauss(0, 0.02), 6) for _ in range(n)]
    # Runs that slow down or speed up, steadily or with noise.
    for n, step in ((5, 0.01), (9, 0.004), (9, -0.004), (15, 0.002), (40, -0.001)):
        yield [round(1.9 + step * i + rng.gauss(0, 0.01), 6) for i in range(n)]
    yield [1.0 + 0.01 * i for i in range(8)]
    yield [2.0 - 0.01 * i for i in range(8)]
    # Ties: times as picalc prints them often repeat at a coarse clock.
    for n in (6, 10, 25, 60):
        yield [round(1.9 + rng.choice((0, 0.016, 0.031)) + 0.001 * i * (n % 2), 3) for i in range(n)]
    yield [1.5] * 7
    # Above the exact sizes.
    for n in (51, 120):
        yield [round(1.9 + 0.0005 * i + rng.gauss(0, 0.01), 6) for i in range(n)]


def main():
    for times in series():
        order = np.arange(len(times))
        ties = len(set(times)) < len(times)
        method = "exact" if not ties and len(times) <= LARGEST_EXACT else "asymptotic"
        result = stats.kendalltau(order, times, method=method)
        p = 1.0 if np.isnan(result.pvalue) else result.pvalue
        slope = stats.theilslopes(times, order)[0]
        print("{};{!r};{!r}".format(" ".join("%.6f" % t for t in times), float(p), float(slope)))


if __name__ == "__main__":
    main()
