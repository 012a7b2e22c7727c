// What a sample of run times comes to: its middle, its ends, the scaling of
// copies, and the difference between two samples with its test.
#include "statistics.h"

#include <algorithm>
#include <cstdio>

namespace picalc::stats {

double median_of(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Spread spread_of(const std::vector<double>& values) {
    Spread spread;
    if (!values.empty()) {
        spread.median = median_of(values);
        spread.minimum = *std::min_element(values.begin(), values.end());
        spread.maximum = *std::max_element(values.begin(), values.end());
    }
    return spread;
}

double scaling_of(double at_once, double single_median, double copy_median) {
    return copy_median > 0 ? at_once * single_median / copy_median : 0;
}

double other_load(const ProcessorTimes& before, const ProcessorTimes& after, double own_seconds,
                  std::int32_t processors) {
    if (before.busy_seconds < 0 || after.busy_seconds < 0 || own_seconds < 0 || processors <= 0) {
        return -1;
    }
    const double elapsed = (after.total_seconds - before.total_seconds) / processors;
    if (elapsed <= 0) {
        return -1;
    }
    const double other = after.busy_seconds - before.busy_seconds - own_seconds;
    return other > 0 ? other / elapsed : 0;
}

Difference difference_of(const std::vector<double>& a, const std::vector<double>& b) {
    Difference d;
    d.n_a = static_cast<std::int32_t>(a.size());
    d.n_b = static_cast<std::int32_t>(b.size());
    d.median_a = median_of(a);
    d.median_b = median_of(b);
    d.ratio = d.median_b > 0 ? d.median_a / d.median_b : 1;
    d.interval = ratio_interval(a, b);
    d.test = rank_sum_test(a, b);
    d.significant = d.test.p < significance_level;
    return d;
}

std::string p_text(double p) {
    if (p < 0.001) {
        return "p < 0.001";
    }
    char text[32];
    static_cast<void>(std::snprintf(text, sizeof text, p < 0.01 ? "p = %.3f" : "p = %.2f", p));
    return text;
}

} // namespace picalc::stats
