#!/usr/bin/python3
"""Writes signed_rank_reference.csv: paired p-values and 95 % intervals for
the ratio within a pair, for picalc-compare's paired test to be checked
against.

    /usr/bin/python3 tests/data/signed_rank_reference.py > tests/data/signed_rank_reference.csv

Each line: A's times; B's times (A[i] and B[i] made one after the other);
the two-sided p of Wilcoxon's signed-rank test of log(A[i] / B[i]), pairs
with equal times dropped; the interval's low and high for the ratio, or
"none"; its confidence. Without ties the p is SciPy's exact wilcoxon up to
50 pairs; with ties it is counted over every assignment of signs, up to 16
pairs; above 100 pairs it is SciPy's normal approximation (tie and
continuity corrections), where picalc-compare approximates too. The
interval's bounds are order statistics of the sorted Walsh averages, their
rank taken from the signed-rank distribution counted over every subset of
the ranks 1..n.
"""
import itertools
import math
import random

from scipy import stats


def series():
    rng = random.Random(20261211)
    # Two programs a few percent apart, pairs sharing the machine's drift.
    for n, ratio in ((6, 1.03), (9, 1.03), (9, 1.0), (12, 0.97), (20, 1.01), (40, 1.005)):
        a, b = [], []
        for i in range(n):
            machine = 1.9 * (1 + 0.004 * i) * (1 + rng.gauss(0, 0.02))
            a.append(round(machine * ratio * (1 + rng.gauss(0, 0.004)), 6))
            b.append(round(machine * (1 + rng.gauss(0, 0.004)), 6))
        yield a, b
    # Five pairs can never give p below 0.05; every sign the same.
    yield [2.0, 2.1, 2.2, 2.3, 2.4], [1.9, 2.0, 2.1, 2.2, 2.3]
    yield [1.0 + 0.01 * i for i in range(8)], [1.1 + 0.01 * i for i in range(8)]
    # Ties and zeros at a coarse clock.
    for n in (7, 10, 14):
        a = [round(1.9 + rng.choice((0, 0.016, 0.031)), 3) for _ in range(n)]
        b = [round(1.9 + rng.choice((0, 0.016, 0.031)), 3) for _ in range(n)]
        yield a, b
    # Above the exact sizes.
    for n in (101, 150):
        a = [round(1.9 * (1 + rng.gauss(0, 0.01)), 6) for _ in range(n)]
        b = [round(t * 0.998 * (1 + rng.gauss(0, 0.003)), 6) for t in a]
        yield a, b


def signed_rank_chances(n):
    """P(T = t) for the positive rank sum T of ranks 1..n with fair signs."""
    ways = [1]
    for rank in range(1, n + 1):
        grown = ways + [0] * rank
        for t, w in enumerate(ways):
            grown[t + rank] += w
        ways = grown
    return [w / 2 ** n for w in ways]


def tied_p(logs):
    nonzero = [d for d in logs if d != 0]
    magnitudes = sorted(abs(d) for d in nonzero)
    def rank(m):
        first = magnitudes.index(m)
        last = len(magnitudes) - 1 - magnitudes[::-1].index(m)
        return (first + last + 2) / 2
    ranks = [rank(abs(d)) for d in nonzero]
    observed = sum(r for r, d in zip(ranks, nonzero) if d > 0)
    below = above = 0
    for signs in itertools.product((0, 1), repeat=len(ranks)):
        s = sum(r for r, g in zip(ranks, signs) if g)
        below += s <= observed + 1e-9
        above += s >= observed - 1e-9
    return min(1.0, 2 * min(below, above) / 2 ** len(ranks))


def interval(logs):
    n = len(logs)
    if n > 100:
        return None
    chances = signed_rank_chances(n)
    k, cumulative, achieved = 0, 0.0, 0.0
    for t, c in enumerate(chances):
        cumulative += c
        if cumulative > 0.025 * (1 + 1e-12):
            break
        k, achieved = t + 1, cumulative
    walsh = sorted((logs[i] + logs[j]) / 2 for i in range(n) for j in range(i, n))
    if k == 0 or 2 * k > len(walsh):
        return "none", "none", "none"
    return (repr(math.exp(walsh[k - 1])), repr(math.exp(walsh[len(walsh) - k])),
            repr(1 - 2 * achieved))


def main():
    print("# made by signed_rank_reference.py with SciPy " + __import__("scipy").__version__)
    for a, b in series():
        logs = [math.log(x) - math.log(y) for x, y in zip(a, b)]
        nonzero = [d for d in logs if d != 0]
        magnitudes = [abs(d) for d in nonzero]
        ties = len(set(magnitudes)) < len(magnitudes)
        if len(nonzero) > 100:
            p = stats.wilcoxon(nonzero, method="approx", correction=True).pvalue
        elif not ties and len(nonzero) <= 50:
            p = stats.wilcoxon(nonzero, method="exact").pvalue
        elif ties and len(nonzero) <= 16:
            p = tied_p(logs)
        else:
            continue
        bounds = interval(logs)
        low, high, confidence = bounds if bounds else ("none", "none", "none")
        print("{};{};{!r};{};{};{}".format(" ".join("%.6f" % t for t in a),
                                           " ".join("%.6f" % t for t in b),
                                           float(p), low, high, confidence))


if __name__ == "__main__":
    main()
