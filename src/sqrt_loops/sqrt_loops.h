// The square-root workload: two loops of 45,000,000 steps, each adding to a
// wrapping 32-bit sum and taking a square root and a product at every step.
// The final sums are verification codes, fixed for every complete run.
#pragma once

#include <cstdint>

namespace picalc {

struct SqrtLoopResult {
    std::int32_t sum;          // the wrapped sum, read back as signed
    double value;              // the last step's product
    std::int32_t last_counter; // the counter that ended the loop: 2 past the last number added
};

// Runs one loop over first, first + 2, ... up to 90,000,000 (first is 1 or 2).
SqrtLoopResult run_sqrt_loop(std::int32_t first);

// Runs the odd loop and then the even loop, printing two lines after each.
void run_sqrt_workload();

} // namespace picalc
