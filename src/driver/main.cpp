// picalc: one timed run of the pi, integration and square-root workloads.
#include "digit_buffer.h"
#include "driver.h"
#include "run_text.h"
#include "sqrt_loops.h"
#include "trapezoid_table.h"

#include <cstdio>

namespace {

constexpr int term_allocation_failed = 1;
constexpr int sum_allocation_failed = 2;

void print_spacer() {
    std::printf("     \n");
}

void print_closing_lines(std::int32_t start_ticks, std::int32_t end_ticks) {
    std::printf("Total time %f seconds \n", picalc::elapsed_seconds(start_ticks, end_ticks));
    std::printf("%s\n", picalc::closing_line);
    std::printf("%s\n", picalc::last_line);
}

} // namespace

int main(int argc, char** argv) {
    using namespace picalc;
    const BenchmarkOptions options = parse_command_line(argc, argv);
    std::printf("%s\n\n", banner_line);
    print_formula_line(options);

    // Static so that the buffers stay reachable until the process ends; they
    // are never released.
    static DigitBuffer term = allocate_digit_buffer(options.digit_count);
    if (term == nullptr) {
        return term_allocation_failed;
    }
    static DigitBuffer sum = allocate_digit_buffer(options.digit_count);
    if (sum == nullptr) {
        return sum_allocation_failed;
    }
    const auto n = static_cast<std::int32_t>(precision_for(options.digit_count));

    const std::int32_t start_ticks = read_ticks();
    compute_pi(options, term, sum, n);
    print_pi_listing(sum, n, options.digit_count);
    print_spacer();
    print_integration_table();
    print_spacer();
    run_sqrt_workload();
    const std::int32_t end_ticks = read_ticks();

    print_closing_lines(start_ticks, end_ticks);
    // End of input ends the wait just as a key does.
    static_cast<void>(std::getchar());
    return 0;
}
