// The pi digits workload: fixed-point decimal numbers held one digit per
// 32-bit integer, the Machin-like series that fill them, and the listing.
//
// Everything here works in place on buffers that the caller owns, allocated
// once by allocate_digit_buffer; nothing reads the clock.
#pragma once

#include <cstddef>
#include <cstdint>

namespace picalc {

enum class Formula : std::int32_t { Gauss, Stomer };

struct BenchmarkOptions {
    std::int32_t digit_count = 9999; // never negative
    Formula formula = Formula::Gauss;
};

// Element i weighs 10^(i - n): element n is the integer part, element 0 the
// n-th decimal place. The five lowest places are guard digits.
using DigitBuffer = std::int32_t*;

inline constexpr std::int32_t guard_digits = 5;
inline constexpr std::int32_t terms_per_formula = 3;

// The precision n for a digit count; the buffers hold n + 1 elements.
constexpr std::int64_t precision_for(std::int32_t digit_count) {
    return std::int64_t{digit_count} + guard_digits;
}

// The largest count whose buffer size in bytes, (count + 6) * 4, fits in
// 32 bits. Larger counts fail the allocation on every platform alike. The
// number is written out once, here, for the build to read: the page, the
// tests and CI take it from this line (cmake/picalc_limits.cmake).
inline constexpr std::int32_t max_digit_count = 1073741817;
static_assert(max_digit_count ==
                  static_cast<std::int32_t>(UINT32_MAX / sizeof(std::int32_t)) - 1 - guard_digits,
              "the largest count's buffer must be the largest that 32 bits can size");

// A zero-filled buffer of precision_for(digit_count) + 1 elements, or nullptr
// when the count is beyond max_digit_count or the allocation fails.
DigitBuffer allocate_digit_buffer(std::int32_t digit_count);

// Long division of term[n..0] by divisor, adding (add != 0) or subtracting
// each new quotient digit into sum.
void divide_accumulate(DigitBuffer term, DigitBuffer sum, std::int32_t n, std::int32_t divisor,
                       std::int32_t add);

// Long division of term[top..0] by divisor, in place.
void divide_in_place(DigitBuffer term, std::int32_t top, std::int32_t divisor);

// Adds (add != 0) or subtracts term[top..0] / divisor into sum; term is only read.
void accumulate_quotient(const std::int32_t* term, DigitBuffer sum, std::int32_t top,
                         std::int32_t divisor, std::int32_t add);

// The highest index at or below top whose element is nonzero, never below 0;
// element 0 itself is never examined.
std::int32_t lower_top(const std::int32_t* term, std::int32_t top);

// Carries the signed accumulator into digits 0..9; the carry out of element n is dropped.
void normalize_digits(DigitBuffer sum, std::int32_t n);

// Prints the line naming the chosen formula and its three arctangent terms.
void print_formula_line(const BenchmarkOptions& options);

// That line without its newline, in line[0..size - 1], NUL-terminated.
void format_formula_line(const BenchmarkOptions& options, char* line, std::size_t size);

// What one arctangent series cost: its steps and the elements it divided
// (one hardware division each), counted per pass, not per element.
struct SeriesWork {
    std::int32_t steps;
    std::int64_t divisions;
};

// Adds term number `term_index` (0..2) of the chosen formula into sum, using
// term as scratch.
SeriesWork add_arctan_series(Formula formula, std::int32_t term_index, DigitBuffer term,
                             DigitBuffer sum, std::int32_t n);

// Leaves pi in sum as normalised digits; term is scratch.
void compute_pi(const BenchmarkOptions& options, DigitBuffer term, DigitBuffer sum, std::int32_t n);

// Prints "pi= 3." and digit_count decimal places in groups of five, then the DIGITS line.
void print_pi_listing(const std::int32_t* sum, std::int32_t n, std::int32_t digit_count);

// The listing's layout: its first decimal place is in this column, and each
// place is followed by what listing_separator_after(its column) returns
// ("\n", " " or ""), the next place being in the next column.
inline constexpr std::int32_t listing_first_column = 6;
const char* listing_separator_after(std::int32_t column);

} // namespace picalc
