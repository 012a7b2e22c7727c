// The integration workload: trapezoid-rule integrals of |sin x| over [0, 2 pi]
// for 4, 8, ... 67,108,864 intervals. Its cost is the sine calls, about 134
// million of them, every one evaluated afresh.
#pragma once

#include <cstdint>

namespace picalc {

inline constexpr double two_pi = 6.283185307179586; // the double nearest to 2 pi

// |sin x| at the two ends of the interval, computed once for all rows.
struct IntegrandEnds {
    double at_zero;
    double at_two_pi; // about 2.449e-16, not zero: 2 pi is rounded to a double
};

IntegrandEnds integrand_ends();

// The composite trapezoid rule with `intervals` steps, summed one interior
// point at a time in increasing order.
double trapezoid_integral(std::uint32_t intervals, IntegrandEnds ends);

// Prints the two heading lines and the 25 rows of the table.
void print_integration_table();

} // namespace picalc
