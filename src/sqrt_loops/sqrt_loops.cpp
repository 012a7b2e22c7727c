// Integer addition, integer-to-double conversion, the correctly rounded
// sqrt() and a multiplication, 90 million times. Only the last product is
// printed, so each step's product goes to keep_value(): without it optimisers
// compute only the final step.
#include "sqrt_loops.h"

#include "keep_value.h"
#include "reproducible_float.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace picalc {
namespace {

constexpr std::int32_t counter_bound = 90000000; // 45,000,000 steps per loop

void print_loop_result(const char* code_separator, SqrtLoopResult result) {
    std::printf("Anti cheating verification code is=%s%" PRId32 "\n", code_separator, result.sum);
    std::printf("Floating-point precision %.38lf\n", result.value);
}

} // namespace

SqrtLoopResult run_sqrt_loop(std::int32_t first) {
    // Unsigned, because the sum is meant to wrap modulo 2^32.
    std::uint32_t sum = 0;
    std::int32_t counter = first;
    double value = 0.0;
    do {
        sum += static_cast<std::uint32_t>(counter);
        counter += 2;
        value = std::sqrt(static_cast<double>(static_cast<std::int32_t>(sum))) *
                static_cast<double>(counter);
        keep_value(value);
    } while (counter <= counter_bound);
    return {static_cast<std::int32_t>(sum), value, counter};
}

void run_sqrt_workload() {
    print_loop_result(":", run_sqrt_loop(1));
    print_loop_result("??", run_sqrt_loop(2));
}

} // namespace picalc
