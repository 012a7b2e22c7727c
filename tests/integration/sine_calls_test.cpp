// Linked with -Wl,--wrap=sin, so every sine call of the integration library
// passes through the counter below: the table must evaluate each interior
// point afresh, with no table of sines, symmetry or reuse between rows.
#include "test_support.h"
#include "trapezoid_table.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace {
std::uint64_t sine_calls = 0;
} // namespace

extern "C" double
__real_sin(double x); // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" double
__wrap_sin(double x) { // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    ++sine_calls;
    return __real_sin(x);
}

namespace picalc {
namespace {

TEST(SineCalls, EachRowEvaluatesEveryInteriorPoint) {
    const IntegrandEnds ends = integrand_ends();
    for (std::uint32_t intervals : {4U, 8U, 1000U, 65536U}) {
        sine_calls = 0;
        static_cast<void>(trapezoid_integral(intervals, ends));
        EXPECT_EQ(sine_calls, intervals - 1) << intervals << " intervals";
    }
}

TEST(SineCalls, WholeTableEvaluatesAbout134MillionSines) {
    sine_calls = 0;
    static_cast<void>(test::capture_stdout(print_integration_table));
    // Sum of N - 1 over N = 4, 8, ... 2^26, plus the two ends, which a
    // compiler may fold to constants.
    constexpr std::uint64_t interior_points = (std::uint64_t{1} << 27) - 4 - 25;
    EXPECT_GE(sine_calls, interior_points);
    EXPECT_LE(sine_calls, interior_points + 2);
}

} // namespace
} // namespace picalc
