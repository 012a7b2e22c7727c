// Floating point and the platform's double-precision sin(). The running sum is
// one dependency chain in a fixed order, so every machine prints the same rows.
#include "trapezoid_table.h"

#include "reproducible_float.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#if defined(_WIN32)
// The C runtime's own sin, imported from msvcrt.dll, the runtime these
// programs already use for everything else. mingw-w64 links in a replacement
// of its own that evaluates the x87 fsin instruction, several times slower
// than the sin that programs of Windows' own toolchain call; its import
// library lists msvcrt.dll's sin only as a symbol to import by name.
extern "C" __attribute__((dllimport)) double picalc_runtime_sin(double) __asm__("sin");
#endif

namespace picalc {
namespace {

// The platform's sin: the C library's, whose accuracy the table relies on.
double platform_sin(double x) {
#if defined(_WIN32)
    return picalc_runtime_sin(x);
#else
    return std::sin(x);
#endif
}

constexpr std::uint32_t first_intervals = 4;
constexpr std::int32_t table_rows = 25; // up to 4 * 2^24 = 67,108,864 intervals

} // namespace

IntegrandEnds integrand_ends() {
    return {std::fabs(platform_sin(0.0)), std::fabs(platform_sin(two_pi))};
}

double trapezoid_integral(std::uint32_t intervals, IntegrandEnds ends) {
    const double step = two_pi / static_cast<double>(intervals);
    double sum = (ends.at_zero * step) * 0.5;
    // The point index is counted in a double beside the unsigned one, exact up
    // to 2^53, so the loop converts no integer. Converting the unsigned index,
    // Clang for AVX-512 picks vcvtusi2sd, which made its rows run at 1.55
    // times the cost of their sine calls on one processor.
    double point = 1.0;
    for (std::uint32_t i = 1; i < intervals; ++i) {
        sum = sum + (std::fabs(platform_sin(point * step)) * step);
        point += 1.0;
    }
    return ((ends.at_two_pi * step) * 0.5) + sum;
}

void print_integration_table() {
    std::printf("    Number of    | Computed Integral | \n");
    std::printf(" Interior Points |                   | \n");
    const IntegrandEnds ends = integrand_ends();
    std::uint32_t intervals = first_intervals;
    for (std::int32_t row = 0; row < table_rows; ++row) {
        std::printf("------------------------------------- \n");
        std::printf(" %10" PRIu32 "      |  %14e   | \n", intervals,
                    trapezoid_integral(intervals, ends));
        intervals *= 2;
    }
}

} // namespace picalc
