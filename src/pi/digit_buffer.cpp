// The integer workload: schoolbook long division, one decimal digit per
// element, so every element costs one hardware division and remainder. The
// loops stay plain on purpose: the division latency chain is what is measured.
#include "digit_buffer.h"

#include <cstdlib>

namespace picalc {
namespace {

// The widest divisor for which 10 * (divisor - 1) + 9 still fits in 32 bits.
constexpr std::int32_t max_narrow_divisor = (INT32_MAX - 9) / 10 + 1;

template <bool Add> void accumulate(std::int32_t& slot, std::int32_t quotient) {
    if constexpr (Add) {
        slot += quotient;
    } else {
        slot -= quotient;
    }
}

template <bool Add>
void divide_accumulate_pass(DigitBuffer term, DigitBuffer sum, std::int32_t n,
                            std::int32_t divisor) {
    std::int32_t remainder = 0;
    for (std::int32_t i = n; i >= 0; --i) {
        const std::int32_t value = term[i] + 10 * remainder;
        term[i] = value / divisor;
        remainder = value % divisor;
        accumulate<Add>(sum[i], term[i]);
    }
}

template <typename Value, bool Add>
void accumulate_quotient_pass(const std::int32_t* term, DigitBuffer sum, std::int32_t top,
                              std::int32_t divisor) {
    Value remainder = 0;
    for (std::int32_t i = top; i >= 0; --i) {
        const Value value = term[i] + 10 * remainder;
        const Value quotient = value / divisor;
        remainder = value % divisor;
        accumulate<Add>(sum[i], static_cast<std::int32_t>(quotient));
    }
}

template <typename Value>
void accumulate_quotient_signed(const std::int32_t* term, DigitBuffer sum, std::int32_t top,
                                std::int32_t divisor, std::int32_t add) {
    if (add != 0) {
        accumulate_quotient_pass<Value, true>(term, sum, top, divisor);
    } else {
        accumulate_quotient_pass<Value, false>(term, sum, top, divisor);
    }
}

} // namespace

void divide_accumulate(DigitBuffer term, DigitBuffer sum, std::int32_t n, std::int32_t divisor,
                       std::int32_t add) {
    if (add != 0) {
        divide_accumulate_pass<true>(term, sum, n, divisor);
    } else {
        divide_accumulate_pass<false>(term, sum, n, divisor);
    }
}

void divide_in_place(DigitBuffer term, std::int32_t top, std::int32_t divisor) {
    std::int32_t remainder = 0;
    for (std::int32_t i = top; i >= 0; --i) {
        const std::int32_t value = term[i] + 10 * remainder;
        term[i] = value / divisor;
        remainder = value % divisor;
    }
}

void accumulate_quotient(const std::int32_t* term, DigitBuffer sum, std::int32_t top,
                         std::int32_t divisor, std::int32_t add) {
    // Odd divisors only grow this large at counts of about 190 million digits;
    // below that the pass keeps the 32-bit division that the benchmark measures.
    if (divisor > max_narrow_divisor) {
        accumulate_quotient_signed<std::int64_t>(term, sum, top, divisor, add);
    } else {
        accumulate_quotient_signed<std::int32_t>(term, sum, top, divisor, add);
    }
}

std::int32_t lower_top(const std::int32_t* term, std::int32_t top) {
    while (top > 0 && term[top] == 0) {
        --top;
    }
    return top;
}

void normalize_digits(DigitBuffer sum, std::int32_t n) {
    std::int32_t carry = 0;
    for (std::int32_t i = 0; i <= n; ++i) {
        const std::int32_t value = sum[i] + carry;
        std::int32_t quotient = value / 10;
        std::int32_t digit = value - 10 * quotient;
        if (digit < 0) {
            digit += 10;
            --quotient;
        }
        sum[i] = digit;
        carry = quotient;
    }
}

DigitBuffer allocate_digit_buffer(std::int32_t digit_count) {
    if (digit_count > max_digit_count) {
        return nullptr;
    }
    const auto elements = static_cast<std::size_t>(precision_for(digit_count)) + 1;
    return static_cast<DigitBuffer>(std::calloc(elements, sizeof(std::int32_t)));
}

} // namespace picalc
