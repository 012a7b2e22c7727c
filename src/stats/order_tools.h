// What the rank tests share inside the statistics library: the normal
// distribution's tail and quantile, for the approximations above the exact
// sizes, and doubles mapped to integers in their order, for bisection over
// every double between two values.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace picalc::stats::detail {

inline double normal_upper_tail(double z) {
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

// The z with an upper tail of TAIL, by bisection: needed once per comparison.
inline double normal_quantile(double tail) {
    double low = 0;
    double high = 40;
    for (int step = 0; step < 100; ++step) {
        const double middle = (low + high) / 2;
        (normal_upper_tail(middle) > tail ? low : high) = middle;
    }
    return (low + high) / 2;
}

// The two-sided p of a doubled rank statistic OBSERVED against its normal
// approximation (MEAN and VARIANCE doubled too), with a continuity
// correction of half a step (a whole doubled one); 1 when the variance is
// not positive: every value the same, nothing to tell apart.
inline double normal_two_sided_p(double observed, double mean, double variance) {
    if (variance <= 0) {
        return 1;
    }
    const double distance = std::fabs(observed - mean) - 1.0;
    return std::fmin(1.0, 2 * normal_upper_tail(std::fmax(0.0, distance) / std::sqrt(variance)));
}

// Doubles in their order as integers, so that bisection over them ends on
// neighbouring values.
inline std::int64_t ordered_bits(double value) {
    std::int64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
}

inline double from_ordered_bits(std::int64_t ordered) {
    const std::int64_t bits =
        ordered < 0 ? std::numeric_limits<std::int64_t>::min() - ordered : ordered;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The smallest double V between LOW and HIGH (LOW not enough, HIGH enough)
// for which ENOUGH(V) holds, by bisection over the doubles between them.
template <typename Enough> double first_enough(double low, double high, Enough enough) {
    std::int64_t below = ordered_bits(low);
    std::int64_t above = ordered_bits(high);
    // The gap can pass the int64 range; unsigned arithmetic holds it.
    const auto gap = [&] {
        return static_cast<std::uint64_t>(above) - static_cast<std::uint64_t>(below);
    };
    while (gap() > 1) {
        const std::int64_t middle = below + static_cast<std::int64_t>(gap() / 2);
        (enough(from_ordered_bits(middle)) ? above : below) = middle;
    }
    return from_ordered_bits(above);
}

} // namespace picalc::stats::detail
