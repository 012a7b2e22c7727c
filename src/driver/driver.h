// The driver's building blocks: the command line and the elapsed-time
// clock. main() strings them together.
#pragma once

#include "digit_buffer.h"

#include <cstdint>

namespace picalc {

// atoi: optional white space, optional sign, decimal digits up to the first
// other character; saturates at the 32-bit bounds instead of overflowing.
std::int32_t saturating_atoi(const char* text);

// `picalc [digits [formula-switch]]`: a negative count becomes 0, and any
// second argument, whatever its text, selects Stomer's formula.
BenchmarkOptions parse_command_line(int argc, const char* const* argv);

// Milliseconds of a monotonic elapsed-time clock, wrapping at 32 bits.
std::int32_t read_ticks();

// end - start in seconds; wrap-safe for any pair of tick values.
double elapsed_seconds(std::int32_t start_ticks, std::int32_t end_ticks);

} // namespace picalc
