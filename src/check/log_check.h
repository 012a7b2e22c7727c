// picalc-check: decides whether a saved picalc output is a complete, genuine
// run. Everything a run prints follows from its digit count and formula, so
// the pi listing is recomputed with the benchmark's own pi workload and every
// other line is compared with the text every run prints; only the time may
// differ.
#pragma once

#include "digit_buffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace picalc::check {

// A saved run, read as a person pastes it: CR LF line ends and trailing
// spaces are dropped from every line, text before the banner is skipped and
// reading stops after "Press Enter to exit". Lines are kept up to
// max_line_length bytes, which no line of a run comes near, and the whole up
// to the size of the longest run picalc can print.
struct SavedRun {
    std::string text;                   // the kept lines, each ending in '\n'
    std::vector<std::size_t> line_ends; // where each kept line's '\n' is in text
    std::int64_t lines_before = 0;      // input lines before the banner (or in all, without one)
    bool has_banner = false;
    bool complete = false; // "Press Enter to exit" was read
    bool too_long = false; // reading stopped at the size limit
    std::string open_line; // the line being read
    bool open_line_cut = false;
};

inline constexpr std::size_t max_line_length = 128;

// The first and the last line of every run.
inline constexpr const char* banner_line = "pi calc..................................";
inline constexpr const char* last_line = "Press Enter to exit";

// Appends input bytes to a run being read; call finish_saved_run at the end.
void read_saved_run(SavedRun& run, const char* bytes, std::size_t size);
void finish_saved_run(SavedRun& run);

// Reads the whole stream; false on a read error.
bool read_saved_run_from(std::FILE* stream, SavedRun& run);

enum class Verdict : std::int32_t {
    Valid,       // a complete, genuine run
    Invalid,     // a line is wrong, missing or extra
    EarlyExit,   // a run that ended with status 1 or 2: banner and formula line only
    OutOfMemory, // the listing is too long to recompute on this machine
};

struct CheckReport {
    Verdict verdict = Verdict::Invalid;
    std::string message; // one line, without its newline
};

CheckReport check_saved_run(const SavedRun& run);

// The sum buffer that compute_pi leaves, computed with the arctangent series
// split over two threads; nullptr when the buffers cannot be allocated. The
// caller frees it with std::free.
std::int32_t* compute_pi_digits(const BenchmarkOptions& options);

} // namespace picalc::check
