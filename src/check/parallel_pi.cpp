// The digits a run must have printed, from the benchmark's own series. The
// three arctangent series are independent sums of integers, so the first runs
// on a second thread into a sum of its own and the two sums are added before
// normalising: the same digits as compute_pi, in little more than half its
// time on two cores, which keeps checking a run quicker than making it.
#include "log_check.h"

#include <cstdlib>
#ifndef __wasi__
#include <system_error>
#include <thread>
#endif

namespace picalc::check {

std::int32_t* compute_pi_digits(const BenchmarkOptions& options) {
    const auto n = static_cast<std::int32_t>(precision_for(options.digit_count));
    DigitBuffer buffers[4];
    bool allocated = true;
    for (DigitBuffer& buffer : buffers) {
        buffer = allocate_digit_buffer(options.digit_count);
        allocated = allocated && buffer != nullptr;
    }
    DigitBuffer first_term = buffers[0];
    DigitBuffer first_sum = buffers[1];
    DigitBuffer term = buffers[2];
    DigitBuffer sum = buffers[3];
    if (allocated) {
        const auto first_series = [&] {
            add_arctan_series(options.formula, 0, first_term, first_sum, n);
        };
#ifdef __wasi__
        first_series(); // WASI has no threads: the same sums, one after the other
#else
        std::thread helper;
        try {
            helper = std::thread(first_series);
        } catch (const std::system_error&) {
            first_series(); // no second thread here: the same sums, one after the other
        }
#endif
        for (std::int32_t term_index = 1; term_index < terms_per_formula; ++term_index) {
            add_arctan_series(options.formula, term_index, term, sum, n);
        }
#ifndef __wasi__
        if (helper.joinable()) {
            helper.join();
        }
#endif
        for (std::int32_t i = 0; i <= n; ++i) {
            sum[i] += first_sum[i];
        }
        normalize_digits(sum, n);
    }
    for (DigitBuffer buffer : {first_term, first_sum, term}) {
        std::free(buffer);
    }
    if (!allocated) {
        std::free(sum);
        return nullptr;
    }
    return sum;
}

} // namespace picalc::check
