#!/usr/bin/python3
"""Writes rank_test_reference.csv: p-values and 95 % ratio intervals that
SciPy computes, for picalc-compare's test to be checked against.

    /usr/bin/python3 tests/data/rank_test_reference.py > tests/data/rank_test_reference.csv

Each line: A's times; B's times; two-sided p; the interval's low and high for
median(A)/median(B), or "none"; its confidence. The p-values come from SciPy
alone: an exact permutation test of the rank sum (mean ranks for ties) over
every split, where there are few enough splits to list; mannwhitneyu's
exact distribution for larger samples without ties; and its normal
approximation (tie and continuity corrections) above 100 values, where
picalc-compare approximates too. The interval's bounds are order statistics
of the pairwise ratios, its rank taken from mannwhitneyu's exact
distribution. Run on its own it also prints, on standard error, how far the
normal approximation strays from the exact p at 50 and 50 values.
"""
import itertools
import math
import random
import sys

import numpy as np
from scipy import stats

ALPHA = 0.05


def rank_sum(x, y, axis=-1):
    pooled = np.concatenate([x, y], axis=axis)
    ranks = stats.rankdata(pooled, axis=axis)
    return np.sum(ranks[..., : x.shape[axis]], axis=axis)


def p_value(a, b):
    n = len(a) + len(b)
    splits = math.comb(n, len(a))
    if splits <= 200_000 and min(len(a), len(b)) == 1:
        # permutation_test wants two values a sample: list the splits here.
        ranks = stats.rankdata(a + b)
        sums = [sum(ranks[i] for i in chosen) for chosen in itertools.combinations(range(n), len(a))]
        observed = sum(ranks[: len(a)])
        less = sum(s <= observed + 1e-9 for s in sums) / splits
        greater = sum(s >= observed - 1e-9 for s in sums) / splits
        return min(1.0, 2 * min(less, greater))
    if splits <= 200_000:
        result = stats.permutation_test(
            (np.array(a), np.array(b)), rank_sum, permutation_type="independent",
            alternative="two-sided", n_resamples=np.inf, vectorized=True)
        return result.pvalue
    if n <= 100:
        assert len(set(a) | set(b)) == n, "exact with ties needs few splits"
        return stats.mannwhitneyu(a, b, method="exact").pvalue
    return stats.mannwhitneyu(a, b, method="asymptotic", use_continuity=True).pvalue


def u_cdf(u, m, n):
    """P(U <= u) for samples of m and n values without ties, from SciPy."""
    if u < 0:
        return 0.0
    # x's values placed so that exactly u of the m*n pairs have x above y.
    y = list(range(n))
    above = []
    left = u
    for _ in range(m):
        take = min(n, left)
        above.append(take)
        left -= take
    x = [c - 0.5 for c in above]
    return stats.mannwhitneyu(x, y, alternative="less", method="exact").pvalue


def interval(a, b):
    m, n = len(a), len(b)
    if m + n > 100:
        return None
    k = 0
    achieved = 0.0
    while True:
        tail = u_cdf(k, m, n)
        if tail > ALPHA / 2 * (1 + 1e-12):
            break
        k += 1
        achieved = tail
    if k == 0:
        return None
    ratios = sorted(x / y for x in a for y in b)
    return ratios[k - 1], ratios[len(ratios) - k], 1 - 2 * achieved


def times(rng, count, centre, spread):
    # Run times as picalc prints them: skewed upward, to the millisecond.
    return [round(centre * (1 + abs(rng.gauss(0, spread))), 3) for _ in range(count)]


def cases():
    rng = random.Random(2026)
    yield [2.0, 2.1, 2.05, 2.02, 2.08], [1.8, 1.82, 1.79, 1.85, 1.81]  # 5 and 5 apart
    yield [1.9, 2.0, 2.1], [1.7, 1.75, 1.8]  # 3 and 3 apart: never significant
    yield [1.90, 1.95, 2.00, 2.05], [1.70, 1.75, 1.80, 1.85]  # 4 and 4 apart
    yield [1.9, 1.7, 2.0, 1.95], [1.8, 1.72, 1.93, 1.85]  # 4 and 4 mixed
    yield [1.0, 1.0, 1.1, 1.2], [1.0, 1.1, 1.1, 1.3, 1.3]  # ties across samples
    yield [1.5, 1.5, 1.5], [1.5, 1.5, 1.5]  # identical
    yield [1.0, 2.0, 3.0], [1.0, 2.0, 3.0]  # the same values
    yield [2.5], [1.0, 1.1, 1.2, 1.3, 1.4]  # one run
    yield [1.95, 1.96, 1.93], [1.70, 1.72, 1.71, 1.74, 1.69, 1.75, 1.73, 1.70]  # 3 and 8
    yield [1.929, 1.956, 1.957, 1.950, 1.941, 1.962, 1.948], [
        1.744, 1.750, 1.810, 1.760, 1.748, 1.752, 1.900]  # 7 and 7, one slow run
    yield times(rng, 10, 1.95, 0.02), times(rng, 10, 1.85, 0.02)  # ties at 1 ms
    yield times(rng, 8, 1.90, 0.03), times(rng, 12, 1.90, 0.03)  # no shift
    yield [1.8 + i / 1000 for i in range(30)], [1.815 + i / 1000 + 0.0005 for i in range(30)]
    yield [2.0 + i / 997 for i in range(40)], [1.97 + i / 1009 for i in range(45)]
    yield times(rng, 60, 1.95, 0.02), times(rng, 60, 1.93, 0.02)  # normal approximation
    yield times(rng, 100, 2.0, 0.01), times(rng, 100, 2.0, 0.01)


def approximation_error():
    rng = random.Random(7)
    worst = 0.0
    for shift in np.linspace(0.0, 0.03, 61):
        a = [1.9 + rng.random() * 0.1 + shift for _ in range(50)]
        b = [1.9 + rng.random() * 0.1 for _ in range(50)]
        exact = stats.mannwhitneyu(a, b, method="exact").pvalue
        normal = stats.mannwhitneyu(a, b, method="asymptotic", use_continuity=True).pvalue
        if 0.01 <= exact <= 0.1:
            worst = max(worst, abs(exact - normal))
    return worst


def main():
    print("# made by rank_test_reference.py with SciPy " + __import__("scipy").__version__)
    for a, b in cases():
        # The values as the table holds them, so that both sides use the same.
        a, b = [round(x, 6) for x in a], [round(x, 6) for x in b]
        p = p_value(a, b)
        bounds = interval(a, b)
        low, high, confidence = ("none", "none", "none") if bounds is None else (
            f"{bounds[0]:.12g}", f"{bounds[1]:.12g}", f"{bounds[2]:.12g}")
        print(";".join([" ".join(f"{x:.6f}" for x in a), " ".join(f"{x:.6f}" for x in b),
                        f"{p:.12g}", low, high, confidence]))
    print(f"normal approximation at 50 and 50 values, p from 0.01 to 0.1: "
          f"at most {approximation_error():.5f} from the exact p", file=sys.stderr)


if __name__ == "__main__":
    main()
