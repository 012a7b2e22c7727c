#include "trapezoid_table.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace picalc {
namespace {

std::string as_table_value(double value) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%e", value);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

TEST(TrapezoidIntegral, EndsAreComputedFromTheRoundedTwoPi) {
    const IntegrandEnds ends = integrand_ends();
    EXPECT_EQ(ends.at_zero, 0.0);
    EXPECT_GT(ends.at_two_pi, 2.4e-16); // sin of the double nearest 2 pi is not 0
    EXPECT_LT(ends.at_two_pi, 2.5e-16);
}

TEST(TrapezoidIntegral, FourIntervalsGivePi) {
    // The interior points are pi/2, pi and 3 pi/2: two half-periods of area h.
    EXPECT_NEAR(trapezoid_integral(4, integrand_ends()), 3.141592653589793, 1e-15);
}

struct RowCase {
    std::uint32_t intervals;
    const char* printed;
};

TEST(TrapezoidIntegral, ConvergesToFourAsTheTableShows) {
    const RowCase rows[] = {
        {4, "3.141593e+00"},     {8, "3.792238e+00"},    {16, "3.948463e+00"},
        {32, "3.987141e+00"},    {64, "3.996787e+00"},   {128, "3.999197e+00"},
        {256, "3.999799e+00"},   {512, "3.999950e+00"},  {1024, "3.999987e+00"},
        {2048, "3.999997e+00"},  {4096, "3.999999e+00"}, {8192, "4.000000e+00"},
        {65536, "4.000000e+00"},
    };
    const IntegrandEnds ends = integrand_ends();
    for (const RowCase& row : rows) {
        EXPECT_EQ(as_table_value(trapezoid_integral(row.intervals, ends)), row.printed)
            << row.intervals << " intervals";
    }
}

// The rule written plainly, converting each unsigned index: the workload's
// own loop must give the very same double, bit for bit, at every size.
double plain_rule(std::uint32_t intervals, IntegrandEnds ends) {
    const double step = two_pi / static_cast<double>(intervals);
    double sum = (ends.at_zero * step) * 0.5;
    for (std::uint32_t i = 1; i < intervals; ++i) {
        sum = sum + (std::fabs(std::sin(static_cast<double>(i) * step)) * step);
    }
    return ((ends.at_two_pi * step) * 0.5) + sum;
}

TEST(TrapezoidIntegral, EqualsThePlainRuleBitForBit) {
    const IntegrandEnds ends = integrand_ends();
    for (const std::uint32_t intervals : {1U, 2U, 4U, 7U, 1000U, 65536U, 1U << 20}) {
        EXPECT_EQ(trapezoid_integral(intervals, ends), plain_rule(intervals, ends)) << intervals;
    }
}

} // namespace
} // namespace picalc
