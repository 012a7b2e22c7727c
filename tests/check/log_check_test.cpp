#include "log_check.h"
#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace picalc::check {
namespace {

// A saved log as a run prints it, with a time in place of the masked one.
std::string genuine(const std::string& name) {
    std::string log = test::read_data_file(name);
    const std::string masked = "Total time <seconds> seconds ";
    return log.replace(log.find(masked), masked.size(), "Total time 1.456000 seconds ");
}

CheckReport check_text(const std::string& text, std::size_t split = 0) {
    SavedRun run;
    read_saved_run(run, text.data(), split);
    read_saved_run(run, text.data() + split, text.size() - split);
    finish_saved_run(run);
    return check_saved_run(run);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// The line a report must name: the first where the tampered log parts from
// the genuine one.
std::string first_differing_line(const std::string& genuine_log, const std::string& tampered) {
    const std::vector<std::string> a = lines_of(genuine_log);
    const std::vector<std::string> b = lines_of(tampered);
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k]) {
        ++k;
    }
    return "line " + std::to_string(k + 1);
}

// The 763-place log of Stormer's formula with the true digits of pi, which
// that formula does not reach at this count.
std::string true_digits_with_stomer() {
    const std::string log = genuine("run_763_stomer.txt");
    const std::size_t start = log.find("pi= 3.");
    const std::size_t end = log.find('\n', log.find("DIGITS: ")) + 1;
    return log.substr(0, start) +
           test::expected_listing(test::reference_decimals().substr(0, 763)) + log.substr(end);
}

TEST(LogCheck, AcceptsGenuineRunsAsPeoplePasteThem) {
    const std::string run_130 = genuine("run_130.txt");
    std::string crlf;
    for (const std::string& line : lines_of(run_130)) {
        crlf += line + "\r\n";
    }
    std::string no_trailing_spaces;
    for (std::string line : lines_of(run_130)) {
        no_trailing_spaces += line.erase(line.find_last_not_of(' ') + 1) + "\n";
    }
    const struct {
        std::string text;
        const char* verdict;
    } cases[] = {
        {genuine("run_default.txt"), "valid: 9999 digits [Gauss], total time 1.456000 seconds"},
        {genuine("run_0.txt"), "valid: 0 digits [Gauss], total time 1.456000 seconds"},
        {run_130, "valid: 130 digits [Gauss], total time 1.456000 seconds"},
        {genuine("run_763_stomer.txt"), "valid: 763 digits [Stomer], total time 1.456000 seconds"},
        {crlf, "valid: 130 digits [Gauss], total time 1.456000 seconds"},
        {no_trailing_spaces, "valid: 130 digits [Gauss], total time 1.456000 seconds"},
        {"$ ./picalc 130\n" + run_130 + "$ ",
         "valid: 130 digits [Gauss], total time 1.456000 seconds"},
        {replaced(run_130, "Press Enter to exit\n", "Press Enter to exit"),
         "valid: 130 digits [Gauss], total time 1.456000 seconds"},
    };
    for (const auto& c : cases) {
        for (const std::size_t split : {std::size_t{0}, c.text.size() / 2}) {
            const CheckReport report = check_text(c.text, split);
            EXPECT_EQ(report.verdict, Verdict::Valid) << report.message;
            EXPECT_EQ(report.message, c.verdict);
        }
    }
}

TEST(LogCheck, NamesTheFirstWrongLineOfATamperedRun) {
    const std::string run_130 = genuine("run_130.txt");
    const std::string code = "is=:229347328";
    const std::string product = "1490709044570.75024414062500000000000000000000000000";
    const struct {
        const char* what;
        std::string tampered;
    } cases[] = {
        {"a digit changed", replaced(run_130, "26535 89793", "26535 89794")},
        {"a code changed", replaced(run_130, code, "is=:229347329")},
        {"a product changed", replaced(run_130, product, "1490709044570.75")},
        {"a table row changed", replaced(run_130, "3.792238e+00", "3.792239e+00")},
        {"a DIGITS count above the listing's", replaced(run_130, "DIGITS: 130", "DIGITS: 131")},
        {"a DIGITS count a line beyond", replaced(run_130, "DIGITS: 130", "DIGITS: 200")},
        {"a DIGITS count below the listing's", replaced(run_130, "DIGITS: 130", "DIGITS: 129")},
        {"a run cut after its table", run_130.substr(0, run_130.find("Anti cheating"))},
        {"a time that is not a number", replaced(run_130, "1.456000", "1.4s6000")},
        {"the time left as its placeholder", replaced(run_130, "1.456000", "<seconds>")},
        {"a time of nothing", replaced(run_130, "1.456000", "0.000000")},
        {"a time of eleven digits", replaced(run_130, "1.456000", "99999999999.000000")},
        {"an extra row", replaced(run_130, "     \nAnti", "-------\n     \nAnti")},
        {"the true digits with Stormer's formula", true_digits_with_stomer()},
        {"a listing that is not digits", replaced(run_130, "26535 89793", "26535 8979x")},
        {"a line cut past its bound",
         replaced(run_130, "DIGITS: 130\n", "DIGITS: 130" + std::string(200, ' ') + "x\n")},
    };
    for (const auto& c : cases) {
        const std::string& genuine_log = c.tampered.find("[Stomer]") != std::string::npos
                                             ? genuine("run_763_stomer.txt")
                                             : run_130;
        const CheckReport report = check_text(c.tampered);
        EXPECT_EQ(report.verdict, Verdict::Invalid) << c.what;
        const std::string line = first_differing_line(genuine_log, c.tampered);
        EXPECT_TRUE(report.message.rfind(line + ":", 0) == 0 ||
                    report.message.rfind(line + " is missing", 0) == 0)
            << c.what << ": " << report.message;
    }
}

TEST(LogCheck, TellsRunsThatAreNoCompleteRun) {
    const std::string run_0 = genuine("run_0.txt");
    const std::string early_exit = run_0.substr(0, run_0.find("pi= 3."));
    const struct {
        std::string text;
        Verdict verdict;
        std::string message_start;
    } cases[] = {
        {early_exit, Verdict::EarlyExit, "not a complete run: it ended with status 1 or 2"},
        {"", Verdict::Invalid, "no picalc run found"},
        {std::string("\0\xff\n\x01", 4), Verdict::Invalid, "no picalc run found"},
        {replaced(run_0, "DIGITS: 0", "DIGITS: " + std::to_string(max_digit_count + 1)),
         Verdict::Invalid,
         "line 5: \"DIGITS: " + std::to_string(max_digit_count + 1) + "\" is not"},
        {replaced(run_0, "DIGITS: 0", "DIGITS: 00"), Verdict::Invalid,
         "line 5: \"DIGITS: 00\" is not"},
        {replaced(run_0, "[Gauss]", "[Stomer]"), Verdict::Invalid, "line 3: expected"},
    };
    for (const auto& c : cases) {
        const CheckReport report = check_text(c.text);
        EXPECT_EQ(report.verdict, c.verdict) << report.message;
        EXPECT_EQ(report.message.rfind(c.message_start, 0), 0U) << report.message;
    }
}

CheckReport check_file(const std::string& bytes, std::size_t split) {
    SavedLog log;
    read_saved_log(log, bytes.data(), split);
    read_saved_log(log, bytes.data() + split, bytes.size() - split);
    return finish_saved_log(log);
}

// UTF-16 of UTF-8 text, as Windows PowerShell's ">" writes it.
std::string utf16(const std::string& text, bool little_endian, bool mark) {
    std::u16string units = mark ? u"\uFEFF" : u"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            units.push_back(c);
        } else if (c < 0xE0) { // two-byte sequences only, as below
            units.push_back(static_cast<char16_t>((c & 0x1F) << 6 | (text[++i] & 0x3F)));
        } else { // the one four-byte sequence below, U+1F600
            units += u"\U0001F600";
            i += 3;
        }
    }
    std::string bytes;
    for (const char16_t unit : units) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += little_endian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

TEST(LogCheck, ReadsFilesOfSeveralRunsInTheEncodingsPeopleSave) {
    const std::string run_130 = genuine("run_130.txt");
    const std::string run_0 = genuine("run_0.txt");
    const std::string header = "CPU: x\nNotes: St\u00f8rmer \U0001F600\n\n";
    const std::string three = header + run_130 + "\n" + replaced(run_130, "1.456000", "4.000000") +
                              replaced(run_130, "1.456000", "0.500000") + "trailing text\n";
    const std::string single = "valid: 130 digits [Gauss], total time 1.456000 seconds";
    const std::vector<std::string> lines = lines_of(run_130);
    const std::size_t lines_130 = lines.size();
    const auto time_line = static_cast<std::size_t>(
        std::find_if(lines.begin(), lines.end(),
                     [](const std::string& line) { return line.rfind("Total time", 0) == 0; }) -
        lines.begin());
    std::string cr_only = run_130;
    std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
    const struct {
        const char* what;
        std::string bytes;
        std::string message_start;
    } cases[] = {
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" + header + run_130, single},
        {"UTF-16LE with a mark", utf16(header + run_130, true, true), single},
        {"UTF-16BE with a mark", utf16(header + run_130, false, true), single},
        {"three runs", three,
         "valid: 3 runs of 130 digits [Gauss], median total time 1.456000 seconds (0.500000 to "
         "4.000000)"},
        {"three runs in UTF-16LE", utf16(three, true, true), "valid: 3 runs of 130 digits"},
        {"UTF-16LE without a mark", utf16(run_130, true, false),
         "no picalc run found: no line reads \"pi calc..................................\"; the "
         "input looks like UTF-16 (little-endian) without a byte order mark"},
        {"the second run's time tampered", replaced(three, "Total time 4.000000", "Total time 4.0"),
         "run 2: line " + std::to_string(3 + lines_130 + 1 + time_line + 1) + ": expected"},
        {"the third run tampered",
         three.substr(0, three.rfind("26535 89793")) + "26535 89794" +
             three.substr(three.rfind("26535 89793") + 11),
         "run 3: line"},
        {"a run of another count", header + run_130 + run_0,
         "run 2: 0 digits [Gauss] after runs of 130 digits [Gauss]"},
        {"a run that ended early", run_130 + run_0.substr(0, run_0.find("pi= 3.")),
         "run 2: not a complete run"},
        {"a cut second run", run_130 + run_130.substr(0, 500), "run 2: line "},
        {"the first of two runs tampered", replaced(run_130 + run_130, "[Gauss]", "[Euler]"),
         "run 1: line 3: expected"},
        // Nothing that looks like part of a run is skipped as text around
        // the runs: a damaged banner would otherwise drop a whole run.
        {"a damaged banner between runs",
         header + run_130 + "\n" + replaced(run_130, "pi calc", "pi cXlc") + run_130,
         "run 2: line " + std::to_string(3 + lines_130 + 2) + ": \"pi cXlc...."},
        {"the last run's banner damaged", run_130 + replaced(run_130, "pi calc.", "pi calc,"),
         "line " + std::to_string(lines_130 + 1) + ": \"pi calc,"},
        {"a banner joined to the text before it", run_130 + "x" + run_130,
         "line " + std::to_string(lines_130 + 1) + ": \"xpi calc"},
        {"a table row after the last run", run_130 + "\n          4      |    3.141593e+00   |\n",
         "line " + std::to_string(lines_130 + 2) + ": \"          4      |"},
        {"a verification line before the first run",
         "Anti cheating verification code is=:229347328\n" + run_130, "line 1: \"Anti cheating"},
        {"the first banner damaged", replaced(header + run_130 + run_130, "pi calc", "pi Calc"),
         "line 4: \"pi Calc"},
        {"a pi listing line before the first run", "14159 26535 89793\n" + run_130,
         "line 1: \"14159"},
        {"UTF-16LE behind a UTF-8 mark", "\xEF\xBB\xBF" + utf16(run_130, true, false),
         "no picalc run found: no line reads \"pi calc..................................\"; the "
         "input looks like UTF-16 (little-endian) behind a UTF-8 byte order mark"},
        {"lone CR line ends", cr_only, "line 1: \"pi calc"},
    };
    for (const auto& c : cases) {
        for (const std::size_t split : {std::size_t{0}, std::size_t{1}, c.bytes.size() / 2 + 1}) {
            const CheckReport report = check_file(c.bytes, split);
            EXPECT_EQ(report.message.rfind(c.message_start, 0), 0U)
                << c.what << ", split at " << split << ": " << report.message;
            EXPECT_EQ(report.verdict == Verdict::Valid, c.message_start.rfind("valid", 0) == 0)
                << c.what;
        }
    }
    EXPECT_NE(check_file(cr_only, 7).message.find("; its lines end in a CR alone"),
              std::string::npos);
}

TEST(LogCheck, SplitSeriesGiveTheDigitsOfComputePi) {
    for (const Formula formula : {Formula::Gauss, Formula::Stomer}) {
        for (const std::int32_t count : {0, 1, 60, 61, 763, 2000}) {
            std::int32_t* sum = compute_pi_digits({count, formula});
            ASSERT_NE(sum, nullptr);
            const auto n = static_cast<std::int32_t>(precision_for(count));
            const std::vector<std::int32_t> digits(sum, sum + n + 1);
            std::free(sum);
            EXPECT_EQ(digits[static_cast<std::size_t>(n)], 3);
            EXPECT_EQ(test::decimals_in(digits, n), test::computed_decimals(formula, count))
                << count << " digits";
        }
    }
}

} // namespace
} // namespace picalc::check
