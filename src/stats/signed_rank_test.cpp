// The paired test and its interval, for runs of two programs made in
// alternation. Each pair's log ratio removes what the pair shared (the
// machine's state at that moment), so drift that moves both programs
// cancels. Wilcoxon's signed-rank test asks whether those log ratios sit
// symmetrically about zero; its p-value counts, over every way of giving the
// pairs' ranks a sign, how many give a positive rank sum at least as
// extreme. Tied magnitudes share their mean rank, kept doubled so that every
// sum is a whole number; pairs whose times are equal carry no sign and drop
// out, as Wilcoxon had it.
#include "order_tools.h"
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace picalc::stats {
namespace {

using detail::normal_quantile;

// The probability of each doubled positive rank sum when every rank's sign
// is a fair coin.
std::vector<double> signed_rank_distribution(const std::vector<std::int64_t>& doubled) {
    const std::int64_t top = std::accumulate(doubled.begin(), doubled.end(), std::int64_t{0});
    std::vector<double> chance(static_cast<std::size_t>(top + 1), 0.0);
    chance[0] = 1;
    std::int64_t reached = 0;
    for (const std::int64_t rank : doubled) {
        reached += rank;
        for (std::int64_t s = reached; s >= 0; --s) {
            const double with = s >= rank ? chance[static_cast<std::size_t>(s - rank)] : 0.0;
            chance[static_cast<std::size_t>(s)] = (chance[static_cast<std::size_t>(s)] + with) / 2;
        }
    }
    return chance;
}

// How many Walsh averages (x_i + x_j) / 2, i <= j, of the sorted X are at
// most LIMIT: as i grows the j that qualify end sooner, so one pass does.
std::uint64_t walsh_at_most(const std::vector<double>& x, double limit) {
    std::uint64_t count = 0;
    std::size_t end = x.size();
    for (std::size_t i = 0; i < x.size(); ++i) {
        while (end > 0 && (x[i] + x[end - 1]) / 2 > limit) {
            --end;
        }
        count += end > i ? end - i : 0;
    }
    return count;
}

// The RANK-th smallest (from 1) Walsh average of the sorted X, by bisection
// over the doubles between the smallest and the largest: memory for X alone.
double kth_walsh(const std::vector<double>& x, std::uint64_t rank) {
    const double low = x.front();
    if (walsh_at_most(x, low) >= rank) {
        return low;
    }
    return detail::first_enough(low, x.back(),
                                [&](double limit) { return walsh_at_most(x, limit) >= rank; });
}

} // namespace

std::vector<double> log_ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> logs;
    const std::size_t n = std::min(a.size(), b.size());
    logs.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        logs.push_back(std::log(std::max(a[i], 1e-9)) - std::log(std::max(b[i], 1e-9)));
    }
    return logs;
}

double smallest_paired_p(std::int32_t pairs) {
    return pairs < 1 ? 1 : std::min(1.0, 2 * std::pow(0.5, pairs));
}

RankTest signed_rank_test(const std::vector<double>& differences) {
    std::vector<double> magnitudes;
    std::vector<bool> positive;
    for (const double d : differences) {
        if (d != 0 && std::isfinite(d)) {
            magnitudes.push_back(std::fabs(d));
            positive.push_back(d > 0);
        }
    }
    RankTest test;
    const std::size_t n = magnitudes.size();
    // What these pairs can give at best, zeros and all: a pair that tied
    // still counts among the runs made.
    test.smallest_p = smallest_paired_p(static_cast<std::int32_t>(differences.size()));
    if (n == 0) {
        return test;
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return magnitudes[x] < magnitudes[y]; });
    std::vector<std::int64_t> doubled(n);
    double tied = 0;
    for (std::size_t first = 0; first < n;) {
        std::size_t last = first;
        while (last + 1 < n && magnitudes[order[last + 1]] == magnitudes[order[first]]) {
            ++last;
        }
        for (std::size_t k = first; k <= last; ++k) {
            doubled[order[k]] = static_cast<std::int64_t>(first + last + 2);
        }
        const auto t = static_cast<double>(last - first + 1);
        tied += t * t * t - t;
        first = last + 1;
    }
    std::int64_t observed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        observed += positive[i] ? doubled[i] : 0;
    }
    if (n <= static_cast<std::size_t>(largest_exact_pairs)) {
        const std::vector<double> chance = signed_rank_distribution(doubled);
        double below = 0;
        double above = 0;
        for (std::size_t s = 0; s < chance.size(); ++s) {
            below += static_cast<std::int64_t>(s) <= observed ? chance[s] : 0;
            above += static_cast<std::int64_t>(s) >= observed ? chance[s] : 0;
        }
        test.p = std::min(1.0, 2 * std::min(below, above));
        return test;
    }
    // The normal approximation with the tie correction, and a continuity
    // correction of half a step of the rank sum (a whole doubled step).
    test.exact = false;
    const auto count = static_cast<double>(n);
    const double mean = count * (count + 1) / 2; // doubled
    const double variance = 4 * (count * (count + 1) * (2 * count + 1) / 24 - tied / 48);
    test.p = detail::normal_two_sided_p(static_cast<double>(observed), mean, variance);
    return test;
}

RatioInterval paired_ratio_interval(const std::vector<double>& a, const std::vector<double>& b,
                                    double confidence) {
    RatioInterval interval;
    std::vector<double> logs = log_ratios(a, b);
    if (logs.empty()) {
        return interval;
    }
    std::sort(logs.begin(), logs.end());
    // The k-th smallest and k-th largest Walsh average bound the interval,
    // for the largest k with P(T <= k - 1) <= (1 - confidence) / 2, T being
    // the signed-rank statistic of N pairs with no ties.
    const double tail = (1 - confidence) / 2;
    const std::size_t n = logs.size();
    const std::uint64_t averages = std::uint64_t{n} * (n + 1) / 2;
    std::uint64_t k = 0;
    if (n <= static_cast<std::size_t>(largest_exact_pairs)) {
        std::vector<std::int64_t> doubled(n);
        for (std::size_t i = 0; i < n; ++i) {
            doubled[i] = static_cast<std::int64_t>(2 * (i + 1));
        }
        const std::vector<double> chance = signed_rank_distribution(doubled);
        double cumulative = 0;
        double achieved = 0;
        for (std::size_t t = 0; 2 * t < chance.size(); ++t) {
            cumulative += chance[2 * t];
            if (cumulative > tail * (1 + 1e-12)) {
                break;
            }
            k = std::uint64_t{t} + 1;
            achieved = cumulative;
        }
        interval.confidence = 1 - 2 * achieved;
    } else {
        const auto count = static_cast<double>(n);
        const double spread = std::sqrt(count * (count + 1) * (2 * count + 1) / 24);
        const double lower =
            std::floor(static_cast<double>(averages) / 2 - normal_quantile(tail) * spread);
        k = lower >= 1 ? static_cast<std::uint64_t>(lower) : 0;
        interval.confidence = confidence;
    }
    if (k == 0 || 2 * k > averages) {
        return interval;
    }
    interval.known = true;
    interval.low = std::exp(kth_walsh(logs, k));
    interval.high = std::exp(kth_walsh(logs, averages - k + 1));
    return interval;
}

Difference paired_difference_of(const std::vector<double>& a, const std::vector<double>& b) {
    Difference d;
    d.paired = true;
    const std::size_t n = std::min(a.size(), b.size());
    const std::vector<double> first(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n));
    const std::vector<double> second(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
    d.n_a = static_cast<std::int32_t>(n);
    d.n_b = d.n_a;
    d.median_a = median_of(first);
    d.median_b = median_of(second);
    std::vector<double> logs = log_ratios(first, second);
    if (!logs.empty()) {
        // The Hodges-Lehmann estimate: the median Walsh average, the point
        // the interval is built around.
        std::sort(logs.begin(), logs.end());
        const std::uint64_t averages = std::uint64_t{n} * (n + 1) / 2;
        const double middle =
            averages % 2 == 1
                ? kth_walsh(logs, averages / 2 + 1)
                : (kth_walsh(logs, averages / 2) + kth_walsh(logs, averages / 2 + 1)) / 2;
        d.ratio = std::exp(middle);
    }
    d.interval = paired_ratio_interval(first, second);
    d.test = signed_rank_test(log_ratios(first, second));
    d.significant = d.test.p < significance_level;
    return d;
}

} // namespace picalc::stats
