// Checking a saved run line by line against what that run must print.
#include "log_check.h"

#include "run_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace picalc::check {
namespace {

// What every complete run prints between its DIGITS line and its time, with
// trailing spaces removed: the integration table and the square-root codes do
// not depend on the command line, and recomputing them would take longer
// than the pi digits of a default run.
constexpr const char* fixed_lines[] = {
    "",
    "    Number of    | Computed Integral |",
    " Interior Points |                   |",
    "-------------------------------------",
    "          4      |    3.141593e+00   |",
    "-------------------------------------",
    "          8      |    3.792238e+00   |",
    "-------------------------------------",
    "         16      |    3.948463e+00   |",
    "-------------------------------------",
    "         32      |    3.987141e+00   |",
    "-------------------------------------",
    "         64      |    3.996787e+00   |",
    "-------------------------------------",
    "        128      |    3.999197e+00   |",
    "-------------------------------------",
    "        256      |    3.999799e+00   |",
    "-------------------------------------",
    "        512      |    3.999950e+00   |",
    "-------------------------------------",
    "       1024      |    3.999987e+00   |",
    "-------------------------------------",
    "       2048      |    3.999997e+00   |",
    "-------------------------------------",
    "       4096      |    3.999999e+00   |",
    "-------------------------------------",
    "       8192      |    4.000000e+00   |",
    "-------------------------------------",
    "      16384      |    4.000000e+00   |",
    "-------------------------------------",
    "      32768      |    4.000000e+00   |",
    "-------------------------------------",
    "      65536      |    4.000000e+00   |",
    "-------------------------------------",
    "     131072      |    4.000000e+00   |",
    "-------------------------------------",
    "     262144      |    4.000000e+00   |",
    "-------------------------------------",
    "     524288      |    4.000000e+00   |",
    "-------------------------------------",
    "    1048576      |    4.000000e+00   |",
    "-------------------------------------",
    "    2097152      |    4.000000e+00   |",
    "-------------------------------------",
    "    4194304      |    4.000000e+00   |",
    "-------------------------------------",
    "    8388608      |    4.000000e+00   |",
    "-------------------------------------",
    "   16777216      |    4.000000e+00   |",
    "-------------------------------------",
    "   33554432      |    4.000000e+00   |",
    "-------------------------------------",
    "   67108864      |    4.000000e+00   |",
    "",
    "Anti cheating verification code is=:229347328",
    "Floating-point precision 1362979602959.09033203125000000000000000000000000000",
    "Anti cheating verification code is=??274347328",
    "Floating-point precision 1490709044570.75024414062500000000000000000000000000",
};

constexpr std::int32_t listing_line = 3; // kept lines before the listing: banner, blank, formula

// Quoted input is shown printable and short, whatever bytes it holds.
std::string quoted(std::string_view text) {
    constexpr std::size_t shown = 80;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
    }
    out += text.size() > shown ? "...\"" : "\"";
    return out;
}

std::string_view stripped(std::string_view line) {
    while (!line.empty() && line.back() == ' ') {
        line.remove_suffix(1);
    }
    return line;
}

std::size_t line_count(const SavedRun& run) {
    return run.line_ends.size();
}

std::string_view line_at(const SavedRun& run, std::size_t k) {
    const std::size_t start = k == 0 ? 0 : run.line_ends[k - 1] + 1;
    return std::string_view(run.text).substr(start, run.line_ends[k] - start);
}

std::string line_name(const SavedRun& run, std::size_t k) {
    return "line " + std::to_string(run.lines_before + 1 + static_cast<std::int64_t>(k));
}

CheckReport invalid(std::string message) {
    return {Verdict::Invalid, std::move(message), 0, Formula::Gauss, ""};
}

// Empty when line k is the expected one; else the report naming it.
std::string mismatch(const SavedRun& run, std::size_t k, std::string_view expected) {
    expected = stripped(expected);
    if (k >= line_count(run)) {
        return line_name(run, k) + " is missing: expected " + quoted(expected);
    }
    if (line_at(run, k) == expected) {
        return "";
    }
    return line_name(run, k) + ": expected " + quoted(expected) + ", found " +
           quoted(line_at(run, k));
}

std::string formula_line(Formula formula) {
    char line[128];
    format_formula_line({0, formula}, line, sizeof line);
    return line;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool all_of(std::string_view text, const char* allowed) {
    return text.find_first_not_of(allowed) == std::string_view::npos;
}

// A decimal count as picalc prints it with %d: no sign, no leading zero.
bool parse_count(std::string_view text, std::int32_t& count) {
    if (text.empty() || text.size() > 10 || !all_of(text, "0123456789") ||
        (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    const std::int64_t value = std::strtoll(std::string(text).c_str(), nullptr, 10);
    if (value > max_digit_count) {
        return false;
    }
    count = static_cast<std::int32_t>(value);
    return true;
}

std::int64_t places_in_listing(const SavedRun& run, std::size_t digits_line) {
    std::int64_t places = 0;
    for (std::size_t k = listing_line; k < digits_line; ++k) {
        std::string_view line = line_at(run, k);
        if (k == listing_line) {
            const std::size_t point = line.find('.');
            line.remove_prefix(point == std::string_view::npos ? line.size() : point + 1);
        }
        for (const char c : line) {
            places += c >= '0' && c <= '9' ? 1 : 0;
        }
    }
    return places;
}

// Compares the listing line by line with the recomputed digits.
std::string listing_mismatch(const SavedRun& run, const std::int32_t* sum, std::int32_t n) {
    std::size_t k = listing_line;
    std::string line = "pi= " + std::to_string(sum[n]) + ".";
    std::int32_t column = listing_first_column;
    for (std::int32_t i = n - 1; i >= guard_digits; --i, ++column) {
        line.push_back(static_cast<char>('0' + sum[i]));
        const char* separator = listing_separator_after(column);
        if (*separator != '\n') {
            line += separator;
            continue;
        }
        if (std::string report = mismatch(run, k++, line); !report.empty()) {
            return report;
        }
        line.clear();
    }
    return line.empty() ? "" : mismatch(run, k, line);
}

// "Total time %f seconds": the only line that differs between runs.
bool is_time_line(std::string_view line, std::string_view& seconds) {
    constexpr std::string_view before = "Total time ";
    constexpr std::string_view after = " seconds";
    if (!starts_with(line, before) || line.size() < before.size() + after.size() ||
        line.substr(line.size() - after.size()) != after) {
        return false;
    }
    seconds = line.substr(before.size(), line.size() - before.size() - after.size());
    // Whole seconds up to ten digits (over 300 years), and more than none.
    const std::size_t point = seconds.find('.');
    return point != std::string_view::npos && point > 0 && point <= 10 &&
           point + 7 == seconds.size() && all_of(seconds.substr(0, point), "0123456789") &&
           all_of(seconds.substr(point + 1), "0123456789") &&
           seconds.find_first_not_of("0.") != std::string_view::npos;
}

// Why line K is not a time line; never empty, even for a line that holds the
// placeholder text itself.
std::string time_mismatch(const SavedRun& run, std::size_t k) {
    constexpr std::string_view expected = "Total time <seconds> seconds";
    if (k >= line_count(run)) {
        return mismatch(run, k, expected);
    }
    return line_name(run, k) + ": expected a time of more than 0 seconds, as " +
           quoted("Total time 1.234567 seconds") + " gives it, found " + quoted(line_at(run, k));
}

// The digits every run of one count and formula must list. The runs of a
// record share them, so the last ones are kept rather than recomputed.
const std::int32_t* listing_digits(const BenchmarkOptions& options) {
    static BenchmarkOptions kept{-1, Formula::Gauss};
    static std::int32_t* digits = nullptr;
    if (digits == nullptr || kept.digit_count != options.digit_count ||
        kept.formula != options.formula) {
        std::free(digits);
        digits = compute_pi_digits(options);
        kept = options;
    }
    return digits;
}

// Whether LINE is within one changed byte of EXPECTED: what a single flipped
// byte leaves of a line.
bool nearly(std::string_view line, std::string_view expected) {
    if (line.size() != expected.size()) {
        return false;
    }
    std::size_t differences = 0;
    for (std::size_t i = 0; i < line.size() && differences < 2; ++i) {
        differences += line[i] != expected[i] ? 1U : 0U;
    }
    return differences < 2;
}

} // namespace

std::string stray_line_report(const SavedRun& run) {
    return "line " + std::to_string(run.stray_line) + ": " + quoted(run.stray_text) +
           " looks like part of a picalc run, but is outside every run (a damaged banner or a "
           "run cut short?); no part of a file may go unchecked";
}

bool looks_like_run_line(std::string_view line) {
    for (const char* prefix :
         {"pi= ", "DIGITS", "Total time", "Anti cheating", "Floating-point precision"}) {
        if (starts_with(line, prefix)) {
            return true;
        }
    }
    // A banner or closing line joined to what came before it by a lost
    // line end still holds it whole.
    for (const char* whole : {banner_line, closing_line, last_line}) {
        if (line.find(whole) != std::string_view::npos || nearly(line, whole)) {
            return true;
        }
    }
    for (const Formula formula : {Formula::Gauss, Formula::Stomer}) {
        if (nearly(line, formula_line(formula))) {
            return true;
        }
    }
    for (const char* fixed : fixed_lines) {
        if (*fixed != '\0' && nearly(line, stripped(fixed))) {
            return true;
        }
    }
    // A line of the pi listing: groups of digits, far longer than a date or
    // a count in a header.
    constexpr std::size_t listing_digits_at_least = 10;
    return all_of(line, "0123456789 ") &&
           line.size() - static_cast<std::size_t>(std::count(line.begin(), line.end(), ' ')) >=
               listing_digits_at_least;
}

std::string run_name(std::int32_t digit_count, Formula formula) {
    return std::to_string(digit_count) + " digits [" +
           (formula == Formula::Gauss ? "Gauss" : "Stomer") + "]";
}

CheckReport check_saved_run(const SavedRun& run) {
    if (run.stray_line > 0) {
        return invalid(stray_line_report(run));
    }
    if (!run.has_banner) {
        return invalid("no picalc run found: no line reads " + quoted(banner_line));
    }
    if (run.too_long) {
        return invalid("the input goes on past the longest run picalc can print");
    }
    if (std::string report = mismatch(run, 1, ""); !report.empty()) {
        return invalid(report);
    }
    Formula formula = Formula::Gauss;
    if (line_count(run) > 2 && line_at(run, 2) == formula_line(Formula::Stomer)) {
        formula = Formula::Stomer;
    } else if (std::string report = mismatch(run, 2, formula_line(Formula::Gauss));
               !report.empty()) {
        return invalid(report + " (or the Stomer line)");
    }
    if (line_count(run) == listing_line) {
        return {Verdict::EarlyExit,
                "not a complete run: it ended with status 1 or 2, before the timed work (banner "
                "and formula line only)",
                0, formula, ""};
    }

    // The DIGITS line ends the listing; until it is found, every line must
    // look like part of the listing.
    std::size_t digits_line = listing_line;
    for (; digits_line < line_count(run); ++digits_line) {
        const std::string_view line = line_at(run, digits_line);
        if (starts_with(line, "DIGITS: ")) {
            break;
        }
        const bool listing_like =
            digits_line == listing_line
                ? starts_with(line, "pi= ") && all_of(line.substr(4), "0123456789. ")
                : !line.empty() && all_of(line, "0123456789 ");
        if (!listing_like) {
            return invalid(line_name(run, digits_line) +
                           ": expected the pi listing or its DIGITS line, found " + quoted(line));
        }
    }
    if (digits_line == line_count(run)) {
        return invalid(line_name(run, digits_line) +
                       " is missing: the input ends inside the pi listing");
    }
    const std::string_view digits_text = line_at(run, digits_line).substr(8);
    std::int32_t digit_count = 0;
    if (!parse_count(digits_text, digit_count)) {
        return invalid(line_name(run, digits_line) + ": " + quoted(line_at(run, digits_line)) +
                       " is not a count picalc prints (0 to " + std::to_string(max_digit_count) +
                       ")");
    }
    // Checked before anything is computed, so the work stays in proportion to
    // the input whatever count it claims.
    if (const std::int64_t places = places_in_listing(run, digits_line); places != digit_count) {
        return invalid(line_name(run, digits_line) + ": DIGITS: " + std::to_string(digit_count) +
                       " does not match the listing above it, which holds " +
                       std::to_string(places) + " decimal places");
    }

    const std::int32_t* sum = listing_digits({digit_count, formula});
    if (sum == nullptr) {
        return {Verdict::OutOfMemory,
                "not enough memory to recompute " + std::to_string(digit_count) + " digits",
                digit_count, formula, ""};
    }
    std::string report =
        listing_mismatch(run, sum, static_cast<std::int32_t>(precision_for(digit_count)));
    if (!report.empty()) {
        return invalid(report);
    }

    std::size_t k = digits_line + 1;
    for (const char* expected : fixed_lines) {
        if (report = mismatch(run, k++, expected); !report.empty()) {
            return invalid(report);
        }
    }
    std::string_view seconds;
    if (k >= line_count(run) || !is_time_line(line_at(run, k), seconds)) {
        return invalid(time_mismatch(run, k));
    }
    for (const char* expected : {closing_line, last_line}) {
        if (report = mismatch(run, ++k, expected); !report.empty()) {
            return invalid(report);
        }
    }
    return {Verdict::Valid,
            "valid: " + run_name(digit_count, formula) + ", total time " + std::string(seconds) +
                " seconds",
            digit_count, formula, std::string(seconds)};
}

} // namespace picalc::check
