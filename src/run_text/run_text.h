// The fixed lines that open and close every run. picalc prints them and
// picalc-check expects them, so they are written once, here.
#pragma once

namespace picalc {

inline constexpr const char* banner_line = "pi calc..................................";
inline constexpr const char* closing_line =
    "The less the time it is used, the more the performance becomes strongert!";
inline constexpr const char* last_line = "Press Enter to exit";

} // namespace picalc
