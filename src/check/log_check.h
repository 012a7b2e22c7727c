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
#include <string_view>
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
    // The text before the banner as it was read, up to max_preamble_bytes:
    // a record's header, which the check itself never reads.
    std::string preamble;
    std::size_t preamble_line_start = 0;
    // The first line outside a run (before its banner, or after the last
    // one) that looks like a line of a run, which is never skipped as text
    // around the runs: 0 when there was none.
    std::int64_t stray_line = 0;
    std::string stray_text;
    bool started = false; // any byte was read into it
};

// Whether a line outside every run looks like part of one: a banner, table
// row, DIGITS, listing, verification or closing line, whole or with one
// byte changed.
bool looks_like_run_line(std::string_view line);
// The refusal of a run with such a line before its banner.
std::string stray_line_report(const SavedRun& run);

inline constexpr std::size_t max_preamble_bytes = 65536;

inline constexpr std::size_t max_line_length = 128;

// Appends input bytes to a run being read; call finish_saved_run at the end.
// Returns how many bytes it took: all of them, unless the run was complete
// (or too long) before the end, when the rest belongs to what follows it.
std::size_t read_saved_run(SavedRun& run, const char* bytes, std::size_t size);
void finish_saved_run(SavedRun& run);

enum class Verdict : std::int32_t {
    Valid,       // a complete, genuine run
    Invalid,     // a line is wrong, missing or extra
    EarlyExit,   // a run that ended with status 1 or 2: banner and formula line only
    OutOfMemory, // the listing is too long to recompute on this machine
};

struct CheckReport {
    Verdict verdict = Verdict::Invalid;
    std::string message; // one line, without its newline
    // What a valid run did: its count, formula and "Total time" value.
    std::int32_t digit_count = 0;
    Formula formula = Formula::Gauss;
    std::string seconds;
};

CheckReport check_saved_run(const SavedRun& run);

// "130 digits [Gauss]", as the verdicts name a run.
std::string run_name(std::int32_t digit_count, Formula formula);

// A whole saved file, as people save it: UTF-8 with or without a byte order
// mark, or UTF-16 of either byte order with one (what Windows PowerShell's
// ">" writes), holding one run or several one after another, as a record
// does. Each run is checked as soon as it has been read, so memory stays
// bounded by one run however many the file holds.
enum class TextEncoding : std::int32_t { Undecided, Utf8, Utf16LittleEndian, Utf16BigEndian };

struct SavedLog {
    TextEncoding encoding = TextEncoding::Undecided;
    std::string undecided;              // the first bytes, until the encoding is known
    std::int32_t odd_byte = -1;         // the first byte of a UTF-16 code unit
    std::uint32_t high_surrogate = 0;   // a UTF-16 lead unit awaiting its trail
    std::int64_t nul_bytes[2] = {0, 0}; // NUL bytes at even and odd offsets, undecoded
    std::int64_t raw_bytes = 0;
    std::int64_t mark_bytes = 0;            // of the byte order mark
    std::int64_t lone_carriage_returns = 0; // CRs that end a line without an LF
    bool after_carriage_return = false;
    SavedRun run;                // the run being read
    std::int32_t runs = 0;       // runs read and checked
    std::vector<double> seconds; // each valid run's time
    std::string preamble;        // the first run's
    CheckReport first;           // the first run's report
    CheckReport failure;         // the first bad run's report, named
    bool failed = false;
    bool more_runs = false; // a banner follows the bad run
};

// Far more than a record holds (picalc-record makes at most 100), and few
// enough that every comparison of them stays quick.
inline constexpr std::int32_t max_runs_per_file = 10000;

void read_saved_log(SavedLog& log, const char* bytes, std::size_t size);
CheckReport finish_saved_log(SavedLog& log);

// Opens PATH to be checked, or says why not in WHY: anything but a regular
// file (a folder, a device, a FIFO) is refused before a byte is read, as it
// could block or never end.
std::FILE* open_input_file(const char* path, std::string& why);
// Whether standard input can be read to its end: a terminal or a pipe can,
// a device such as /dev/zero cannot.
bool input_stream_usable(std::FILE* stream, std::string& why);

// Reads and checks a whole stream; false on a read error.
bool check_saved_log_from(std::FILE* stream, CheckReport& report);
// The same, keeping what was read: each run's time and the header.
bool check_saved_log_from(std::FILE* stream, SavedLog& log, CheckReport& report);

// The sum buffer that compute_pi leaves, computed with the arctangent series
// split over two threads; nullptr when the buffers cannot be allocated. The
// caller frees it with std::free.
std::int32_t* compute_pi_digits(const BenchmarkOptions& options);

} // namespace picalc::check
