// The rank test and its interval. The times of runs are few (3 to 100 per record),
// skewed and often tied at the clock's resolution, so nothing here assumes a
// normal distribution: the p-value counts, over every way of splitting the
// pooled times into samples of these sizes, how many give a rank sum at
// least as extreme. Tied times share their mean rank; ranks are kept doubled,
// so that every rank sum is a whole number.
#include "order_tools.h"
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace picalc::stats {
namespace {

using detail::normal_quantile;

using Counts = std::vector<double>;

// Doubled mean ranks of the pooled values, and the tie groups' sizes.
std::vector<std::int64_t> doubled_ranks(const std::vector<double>& pooled,
                                        std::vector<std::int64_t>& ties) {
    std::vector<std::size_t> order(pooled.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return pooled[x] < pooled[y]; });
    std::vector<std::int64_t> ranks(pooled.size());
    for (std::size_t first = 0; first < order.size();) {
        std::size_t last = first;
        while (last + 1 < order.size() && pooled[order[last + 1]] == pooled[order[first]]) {
            ++last;
        }
        // Positions first..last (from 0) share rank ((first + 1) + (last + 1)) / 2.
        for (std::size_t k = first; k <= last; ++k) {
            ranks[order[k]] = static_cast<std::int64_t>(first + last + 2);
        }
        ties.push_back(static_cast<std::int64_t>(last - first + 1));
        first = last + 1;
    }
    return ranks;
}

// How many ways choosing n of the ranks gives each doubled rank sum.
Counts rank_sum_counts(const std::vector<std::int64_t>& ranks, std::size_t n) {
    const std::int64_t top = std::accumulate(ranks.begin(), ranks.end(), std::int64_t{0});
    const auto width = static_cast<std::size_t>(top + 1);
    Counts ways((n + 1) * width, 0.0);
    ways[0] = 1;
    std::size_t seen = 0;
    for (const std::int64_t rank : ranks) {
        ++seen;
        const auto r = static_cast<std::size_t>(rank);
        for (std::size_t k = std::min(seen, n); k >= 1; --k) {
            double* row = &ways[k * width];
            const double* below = &ways[(k - 1) * width];
            for (std::size_t s = width - 1; s >= r; --s) {
                row[s] += below[s - r];
            }
        }
    }
    return Counts(ways.begin() + static_cast<std::ptrdiff_t>(n * width), ways.end());
}

// The smaller sample first: the distribution is the same and cheaper to count.
bool smaller_first(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() <= b.size();
}

// The logarithms of a sample's times, in order; a time of 0 or less counts as
// a nanosecond, so that every logarithm is finite.
std::vector<double> sorted_logs(const std::vector<double>& times) {
    std::vector<double> logs;
    logs.reserve(times.size());
    for (const double t : times) {
        logs.push_back(std::log(std::max(t, 1e-9)));
    }
    std::sort(logs.begin(), logs.end());
    return logs;
}

// How many differences x - y (x from X, y from Y, both sorted) are at most
// LIMIT. Rounded subtraction is monotone in each operand, so for growing y
// the x that qualify are a growing prefix of X: one pass, no pairs kept.
std::uint64_t differences_at_most(const std::vector<double>& x, const std::vector<double>& y,
                                  double limit) {
    std::uint64_t count = 0;
    std::size_t prefix = 0;
    for (const double b : y) {
        while (prefix < x.size() && x[prefix] - b <= limit) {
            ++prefix;
        }
        count += prefix;
    }
    return count;
}

// The RANK-th smallest (from 1) of every difference x - y, found by bisection
// over the doubles between the smallest and largest difference: about 64
// passes over the samples, in memory for the samples alone, where sorting
// every pair took memory for n_a x n_b of them.
double kth_difference(const std::vector<double>& x, const std::vector<double>& y,
                      std::uint64_t rank) {
    double low = x.front() - y.back(); // the smallest difference
    if (differences_at_most(x, y, low) >= rank) {
        return low;
    }
    return detail::first_enough(low, x.back() - y.front(), [&](double limit) {
        return differences_at_most(x, y, limit) >= rank;
    });
}

} // namespace

double smallest_p(std::int32_t n_a, std::int32_t n_b) {
    if (n_a < 1 || n_b < 1) {
        return 1;
    }
    // The most extreme split has one way in C(n_a + n_b, n_a), on each side.
    double ways = 1;
    const std::int32_t k = std::min(n_a, n_b);
    for (std::int32_t i = 1; i <= k; ++i) {
        ways = ways * (n_a + n_b - k + i) / i;
    }
    return std::min(1.0, 2 / ways);
}

std::int32_t runs_needed(std::int32_t other) {
    for (std::int32_t n = 1; n <= max_sample; ++n) {
        if (smallest_p(other, n) < significance_level) {
            return n;
        }
    }
    return -1;
}

RankTest rank_sum_test(const std::vector<double>& first, const std::vector<double>& second) {
    const std::vector<double>& a = smaller_first(first, second) ? first : second;
    const std::vector<double>& b = smaller_first(first, second) ? second : first;
    RankTest test;
    const auto n_a = static_cast<std::int32_t>(a.size());
    const auto n_b = static_cast<std::int32_t>(b.size());
    test.smallest_p = smallest_p(n_a, n_b);
    if (n_a == 0) {
        return test;
    }
    std::vector<double> pooled = a;
    pooled.insert(pooled.end(), b.begin(), b.end());
    std::vector<std::int64_t> ties;
    const std::vector<std::int64_t> ranks = doubled_ranks(pooled, ties);
    const std::int64_t observed =
        std::accumulate(ranks.begin(), ranks.begin() + n_a, std::int64_t{0});
    const std::int32_t n = n_a + n_b;
    if (n <= largest_exact_sample) {
        const Counts counts = rank_sum_counts(ranks, a.size());
        double below = 0;
        double above = 0;
        double all = 0;
        for (std::size_t s = 0; s < counts.size(); ++s) {
            all += counts[s];
            below += static_cast<std::int64_t>(s) <= observed ? counts[s] : 0;
            above += static_cast<std::int64_t>(s) >= observed ? counts[s] : 0;
        }
        test.p = std::min(1.0, 2 * std::min(below, above) / all);
        return test;
    }
    // Normal approximation with the tie correction and a continuity
    // correction of half a step of the rank sum.
    test.exact = false;
    const double mean = n_a * (n + 1.0); // doubled
    double tied = 0;
    for (const std::int64_t t : ties) {
        tied += static_cast<double>(t * t * t - t);
    }
    const double variance =
        4.0 * n_a * n_b / 12.0 * ((n + 1.0) - tied / (static_cast<double>(n) * (n - 1.0)));
    test.p = detail::normal_two_sided_p(static_cast<double>(observed), mean, variance);
    return test;
}

RatioInterval ratio_interval(const std::vector<double>& a, const std::vector<double>& b,
                             double confidence) {
    RatioInterval interval;
    if (a.empty() || b.empty()) {
        return interval;
    }
    // The k-th smallest and k-th largest difference bound the interval, for
    // the largest k with P(U <= k - 1) <= (1 - confidence) / 2, U being the
    // Mann-Whitney statistic of samples with no ties.
    const double tail = (1 - confidence) / 2;
    const std::size_t n_a = std::min(a.size(), b.size());
    const std::size_t n_b = std::max(a.size(), b.size());
    const std::size_t n = n_a + n_b;
    const double pairs = static_cast<double>(n_a * n_b);
    std::size_t k = 0;
    if (n <= static_cast<std::size_t>(largest_exact_sample)) {
        std::vector<std::int64_t> ranks(n);
        for (std::size_t i = 0; i < n; ++i) {
            ranks[i] = static_cast<std::int64_t>(2 * (i + 1));
        }
        const Counts counts = rank_sum_counts(ranks, n_a);
        const double all = std::accumulate(counts.begin(), counts.end(), 0.0);
        // U = (doubled rank sum - n_a (n_a + 1)) / 2.
        const auto lowest = static_cast<std::size_t>(n_a * (n_a + 1));
        double cumulative = 0;
        double achieved = 0;
        for (std::size_t u = 0; 2 * u + lowest < counts.size(); ++u) {
            cumulative += counts[2 * u + lowest] / all;
            if (cumulative > tail * (1 + 1e-12)) {
                break;
            }
            k = u + 1;
            achieved = cumulative;
        }
        interval.confidence = 1 - 2 * achieved;
    } else {
        const double z = normal_quantile(tail);
        const double spread = std::sqrt(pairs * (static_cast<double>(n) + 1) / 12);
        const double lower = std::floor(pairs / 2 - z * spread);
        k = lower >= 1 ? static_cast<std::size_t>(lower) : 0;
        interval.confidence = confidence;
    }
    const std::uint64_t all_pairs = std::uint64_t{a.size()} * b.size();
    if (k == 0 || 2 * std::uint64_t{k} > all_pairs) {
        return interval;
    }
    // log(a_i) - log(b_j) over every pair: its k-th smallest and k-th largest.
    const std::vector<double> log_a = sorted_logs(a);
    const std::vector<double> log_b = sorted_logs(b);
    interval.known = true;
    interval.low = std::exp(kth_difference(log_a, log_b, k));
    interval.high = std::exp(kth_difference(log_a, log_b, all_pairs - k + 1));
    return interval;
}

} // namespace picalc::stats
