// The listing is part of the timed work: one formatted print per digit.
#include "digit_buffer.h"

#include <cinttypes>
#include <cstdio>

namespace picalc {
namespace {

// The column counter starts after "pi= 3." and is never reset, so the first
// line holds 60 places and every further line 65.
constexpr std::int32_t columns_per_line = 65;
constexpr std::int32_t digits_per_group = 5;

bool ends_line(std::int32_t column) {
    return column % columns_per_line == 0;
}

} // namespace

const char* listing_separator_after(std::int32_t column) {
    if (ends_line(column)) {
        return "\n";
    }
    return column % digits_per_group == 0 ? " " : "";
}

void print_pi_listing(const std::int32_t* sum, std::int32_t n, std::int32_t digit_count) {
    std::printf("pi= %" PRId32 ".", sum[n]);
    bool line_open = true;
    std::int32_t column = listing_first_column;
    for (std::int32_t i = n - 1; i >= guard_digits; --i) {
        const char* separator = listing_separator_after(column);
        std::printf("%" PRId32 "%s", sum[i], separator);
        line_open = *separator != '\n';
        ++column;
    }
    std::printf("%sDIGITS: %" PRId32 "\n", line_open ? "\n" : "", digit_count);
}

} // namespace picalc
