// The trend of times over the order they were made in: Mann-Kendall's test
// and Sen's slope.
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace picalc::stats {
namespace {

// P(at most INVERSIONS inversions) in a random order of N distinct values:
// Kendall's exact null distribution, built up one value at a time. Adding a
// value to an order of k - 1 puts it before any 0 to k - 1 of them, each as
// likely.
double at_most_inversions(std::int32_t n, std::int64_t inversions) {
    std::vector<double> share{1.0};
    for (std::int32_t k = 2; k <= n; ++k) {
        const std::size_t size = share.size() + static_cast<std::size_t>(k - 1);
        std::vector<double> next(size, 0.0);
        // A running sum over a window of k entries of the previous
        // distribution.
        double window = 0;
        for (std::size_t i = 0; i < size; ++i) {
            if (i < share.size()) {
                window += share[i];
            }
            if (i >= static_cast<std::size_t>(k) &&
                i - static_cast<std::size_t>(k) < share.size()) {
                window -= share[i - static_cast<std::size_t>(k)];
            }
            next[i] = window / k;
        }
        share = std::move(next);
    }
    double p = 0;
    for (std::int64_t i = 0; i <= inversions && static_cast<std::size_t>(i) < share.size(); ++i) {
        p += share[static_cast<std::size_t>(i)];
    }
    return std::min(p, 1.0);
}

} // namespace

Trend trend_of(const std::vector<double>& times) {
    Trend trend;
    const std::int32_t n =
        static_cast<std::int32_t>(std::min<std::size_t>(times.size(), INT32_MAX));
    trend.n = n;
    if (n < smallest_trend_sample || n > largest_trend_sample) {
        return trend;
    }
    trend.tested = true;
    std::int64_t later_longer = 0;
    std::int64_t later_shorter = 0;
    std::vector<double> slopes;
    slopes.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(n - 1) / 2);
    for (std::size_t i = 0; i < times.size(); ++i) {
        for (std::size_t j = i + 1; j < times.size(); ++j) {
            later_longer += times[j] > times[i] ? 1 : 0;
            later_shorter += times[j] < times[i] ? 1 : 0;
            slopes.push_back((times[j] - times[i]) / static_cast<double>(j - i));
        }
    }
    std::map<double, std::int64_t> counts;
    for (const double time : times) {
        ++counts[time];
    }
    const bool ties = counts.size() < times.size();
    const std::int64_t s = later_longer - later_shorter;
    if (!ties && n <= largest_exact_trend) {
        // Fewer inversions than this are as unlikely as the ones seen.
        trend.p = std::min(1.0, 2 * at_most_inversions(n, std::min(later_longer, later_shorter)));
    } else {
        const double nn = n;
        double variance = nn * (nn - 1) * (2 * nn + 5);
        for (const auto& [time, count] : counts) {
            const double t = static_cast<double>(count);
            variance -= t * (t - 1) * (2 * t + 5);
        }
        variance /= 18;
        trend.p = variance > 0 ? std::erfc(std::fabs(static_cast<double>(s)) / std::sqrt(variance) /
                                           std::sqrt(2.0))
                               : 1.0;
    }
    const double median = median_of(times);
    trend.change = median > 0 ? median_of(std::move(slopes)) * (n - 1) / median : 0;
    trend.drifted = trend.p < significance_level && std::fabs(trend.change) >= smallest_drift;
    return trend;
}

Trend trend_of_rounds(const std::vector<std::vector<double>>& rounds) {
    std::vector<double> medians;
    medians.reserve(rounds.size());
    for (const std::vector<double>& round : rounds) {
        medians.push_back(median_of(round));
    }
    return trend_of(medians);
}

} // namespace picalc::stats
