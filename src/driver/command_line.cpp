#include "driver.h"

#include <cstdlib>
#include <limits>

namespace picalc {
namespace {

constexpr std::int32_t default_digit_count = 9999;

// The C locale's white space; the program never changes locale.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::int32_t clamp_to_int32(std::int64_t value) {
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < low ? low : (value > high ? high : value));
}

} // namespace

std::int32_t saturating_atoi(const char* text) {
    // Any magnitude past this saturates either bound, so accumulation stops there.
    constexpr std::int64_t magnitude_cap = std::int64_t{1} << 32;
    while (is_space(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    std::int64_t magnitude = 0;
    for (; is_digit(*text); ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > magnitude_cap) {
            magnitude = magnitude_cap;
        }
    }
    return clamp_to_int32(negative ? -magnitude : magnitude);
}

BenchmarkOptions parse_command_line(int argc, const char* const* argv) {
    BenchmarkOptions options;
    options.digit_count = default_digit_count;
    if (argc > 1) {
        const std::int32_t count = saturating_atoi(argv[1]);
        options.digit_count = count < 0 ? 0 : count;
    }
    options.formula = argc > 2 ? Formula::Stomer : Formula::Gauss;
    return options;
}

} // namespace picalc
