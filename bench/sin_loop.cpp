// What the integration table's sin costs on one platform: every interior point
// of the table's 25 rows, once through the table's own code (the sin picalc
// calls there: the C library's) and once as a bare std::sin loop (on
// mingw-w64, its static x87 replacement). scripts/sin_costs builds it for
// each toolchain. The sums must agree on every platform; the seconds are
// compared as ratios within one run of the script.
#include "integration/trapezoid_table.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::int32_t rows = 25;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    const picalc::IntegrandEnds ends = picalc::integrand_ends();
    auto start = std::chrono::steady_clock::now();
    double table = 0.0;
    std::uint32_t intervals = 4;
    for (std::int32_t row = 0; row < rows; ++row, intervals *= 2) {
        table += picalc::trapezoid_integral(intervals, ends);
    }
    const double table_seconds = seconds_since(start);

    start = std::chrono::steady_clock::now();
    double bare = 0.0;
    intervals = 4;
    for (std::int32_t row = 0; row < rows; ++row, intervals *= 2) {
        const double step = picalc::two_pi / static_cast<double>(intervals);
        double point = 1.0;
        for (std::uint32_t i = 1; i < intervals; ++i) {
            bare += std::fabs(std::sin(point * step));
            point += 1.0;
        }
    }
    const double bare_seconds = seconds_since(start);
    std::printf("table %.3f s %.17g\nstd::sin %.3f s %.17g\n", table_seconds, table, bare_seconds,
                bare);
    return 0;
}
