// A whole saved file: its bytes decoded to UTF-8 and cut into the runs it
// holds. Windows PowerShell 5.1's ">" writes UTF-16 with a byte order mark and
// some editors add a UTF-8 one; both are read as the text they are. A file
// of several runs, such as a record, is valid only when every run is a
// complete, genuine run of one count and formula.
#include "log_check.h"
#include "statistics.h"

#include <algorithm>
#include <cstdio>

namespace picalc::check {
namespace {

constexpr std::size_t longest_mark = 3;
constexpr std::uint32_t replacement_character = 0xFFFD;

std::string utf8_of(std::uint32_t code_point) {
    std::string out;
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
    return out;
}

bool starts_with(const std::string& text, const char* prefix, std::size_t size) {
    return text.size() >= size && text.compare(0, size, prefix, size) == 0;
}

void settle_run(SavedLog& log);

// Feeds decoded text to the runs, one after another.
void read_text(SavedLog& log, const char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        log.lone_carriage_returns += log.after_carriage_return && text[i] != '\n' ? 1 : 0;
        log.after_carriage_return = text[i] == '\r';
    }
    while (size > 0 && !log.failed) {
        const std::size_t used = read_saved_run(log.run, text, size);
        text += used;
        size -= used;
        if (log.run.complete || log.run.too_long) {
            settle_run(log);
        }
    }
    // After a bad run, only whether another run follows matters.
    if (log.failed && !log.more_runs && size > 0) {
        static_cast<void>(read_saved_run(log.run, text, size));
        log.more_runs = log.run.has_banner;
    }
}

// A run after the first has its name in every report about it.
void fail(SavedLog& log, const CheckReport& report) {
    log.failed = true;
    log.failure = report;
    if (log.runs > 1) {
        log.failure.message = "run " + std::to_string(log.runs) + ": " + report.message;
    }
    log.more_runs = false;
    log.run = SavedRun{};
}

void settle_run(SavedLog& log) {
    if (log.runs == max_runs_per_file) {
        fail(log, {Verdict::Invalid,
                   "more than " + std::to_string(max_runs_per_file) +
                       " runs: one file may hold at most that many",
                   0, Formula::Gauss, ""});
        return;
    }
    ++log.runs;
    const CheckReport report = check_saved_run(log.run);
    const std::int64_t lines_read =
        log.run.lines_before + static_cast<std::int64_t>(log.run.line_ends.size());
    if (log.runs == 1) {
        log.first = report;
        log.preamble = std::move(log.run.preamble);
    }
    if (report.verdict != Verdict::Valid) {
        fail(log, report);
        return;
    }
    if (report.digit_count != log.first.digit_count || report.formula != log.first.formula) {
        fail(log, {Verdict::Invalid,
                   run_name(report.digit_count, report.formula) + " after runs of " +
                       run_name(log.first.digit_count, log.first.formula) +
                       ": the runs of one file must be of one count and formula",
                   report.digit_count, report.formula, ""});
        return;
    }
    log.seconds.push_back(std::strtod(report.seconds.c_str(), nullptr));
    log.run = SavedRun{};
    log.run.lines_before = lines_read;
}

void decode_utf16(SavedLog& log, const char* bytes, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
        if (log.odd_byte < 0) {
            log.odd_byte = static_cast<std::int32_t>(byte);
            continue;
        }
        const auto first = static_cast<std::uint32_t>(log.odd_byte);
        log.odd_byte = -1;
        const std::uint32_t unit =
            log.encoding == TextEncoding::Utf16LittleEndian ? first | byte << 8 : first << 8 | byte;
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (log.high_surrogate != 0) {
                text += utf8_of(replacement_character);
            }
            log.high_surrogate = unit;
            continue;
        }
        if (unit >= 0xDC00 && unit < 0xE000 && log.high_surrogate != 0) {
            text += utf8_of(0x10000 + ((log.high_surrogate - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            if (log.high_surrogate != 0) {
                text += utf8_of(replacement_character);
            }
            text += utf8_of(unit >= 0xDC00 && unit < 0xE000 ? replacement_character : unit);
        }
        log.high_surrogate = 0;
    }
    read_text(log, text.data(), text.size());
}

void decode(SavedLog& log, const char* bytes, std::size_t size) {
    if (log.encoding == TextEncoding::Utf8) {
        read_text(log, bytes, size);
    } else {
        decode_utf16(log, bytes, size);
    }
}

// Decides from the first bytes, once there are enough of them or no more.
void decide_encoding(SavedLog& log) {
    std::size_t mark = 0;
    if (starts_with(log.undecided, "\xEF\xBB\xBF", 3)) {
        log.encoding = TextEncoding::Utf8;
        mark = 3;
    } else if (starts_with(log.undecided, "\xFF\xFE", 2)) {
        log.encoding = TextEncoding::Utf16LittleEndian;
        mark = 2;
    } else if (starts_with(log.undecided, "\xFE\xFF", 2)) {
        log.encoding = TextEncoding::Utf16BigEndian;
        mark = 2;
    } else {
        log.encoding = TextEncoding::Utf8;
    }
    log.mark_bytes = static_cast<std::int64_t>(mark);
    const std::string rest = log.undecided.substr(mark);
    log.undecided.clear();
    decode(log, rest.data(), rest.size());
}

// What text without a run looks like, when it is not plain text.
std::string unreadable_hint(const SavedLog& log) {
    if (log.encoding != TextEncoding::Utf8) {
        return "";
    }
    // Offsets count from the first byte after a mark, which a UTF-8 mark
    // (three bytes) shifts by one.
    const bool shifted = log.mark_bytes % 2 != 0;
    const std::int64_t even = log.nul_bytes[shifted ? 1 : 0];
    const std::int64_t odd = log.nul_bytes[shifted ? 0 : 1];
    const std::int64_t half = (log.raw_bytes - log.mark_bytes) / 2;
    const char* const mark =
        log.mark_bytes > 0 ? " behind a UTF-8 byte order mark; " : " without a byte order mark; ";
    // ASCII text in UTF-16 has a NUL in every other byte: after the
    // character in little-endian order, before it in big-endian order.
    if (odd > half * 3 / 4 && even == 0) {
        return std::string("; the input looks like UTF-16 (little-endian)") + mark +
               "save it as UTF-8, or as UTF-16 with its own byte order mark";
    }
    if (even > half * 3 / 4 && odd == 0) {
        return std::string("; the input looks like UTF-16 (big-endian)") + mark +
               "save it as UTF-8, or as UTF-16 with its own byte order mark";
    }
    if (even + odd > 0) {
        return "; the input holds NUL bytes, so it is not text";
    }
    return "";
}

} // namespace

void read_saved_log(SavedLog& log, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\0') {
            ++log.nul_bytes[(log.raw_bytes + static_cast<std::int64_t>(i)) % 2];
        }
    }
    log.raw_bytes += static_cast<std::int64_t>(size);
    if (log.encoding == TextEncoding::Undecided) {
        const std::size_t taken = std::min(size, longest_mark - log.undecided.size());
        log.undecided.append(bytes, taken);
        bytes += taken;
        size -= taken;
        if (log.undecided.size() < longest_mark) {
            return;
        }
        decide_encoding(log);
    }
    decode(log, bytes, size);
}

CheckReport finish_saved_log(SavedLog& log) {
    if (log.encoding == TextEncoding::Undecided) {
        decide_encoding(log);
    }
    log.lone_carriage_returns += log.after_carriage_return ? 1 : 0;
    log.after_carriage_return = false;
    if (!log.failed) {
        finish_saved_run(log.run);
        if (log.run.has_banner || log.runs == 0) {
            settle_run(log);
        } else if (log.run.stray_line > 0) {
            // After the last run: named by its line alone, as no run follows.
            log.failed = true;
            log.failure = {Verdict::Invalid, stray_line_report(log.run), 0, Formula::Gauss, ""};
        }
    }
    if (log.failed) {
        CheckReport report = log.failure;
        if (log.runs == 1 && log.more_runs) {
            report.message = "run 1: " + report.message;
        }
        if (log.runs == 1 && report.message.rfind("no picalc run found", 0) == 0) {
            report.message += unreadable_hint(log);
        }
        if (log.runs <= 1 && log.lone_carriage_returns > 0) {
            report.message += "; its lines end in a CR alone, which picalc never prints: save it "
                              "with LF or CR LF line ends";
        }
        return report;
    }
    if (log.runs == 1) {
        return log.first;
    }
    const auto [shortest, longest] = std::minmax_element(log.seconds.begin(), log.seconds.end());
    char times[96];
    static_cast<void>(std::snprintf(times, sizeof times, "median total time %f seconds (%f to %f)",
                                    stats::median_of(log.seconds), *shortest, *longest));
    CheckReport report = log.first;
    report.message = "valid: " + std::to_string(log.runs) + " runs of " +
                     run_name(report.digit_count, report.formula) + ", " + times;
    return report;
}

bool check_saved_log_from(std::FILE* stream, CheckReport& report) {
    SavedLog log;
    return check_saved_log_from(stream, log, report);
}

bool check_saved_log_from(std::FILE* stream, SavedLog& log, CheckReport& report) {
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        read_saved_log(log, chunk, got);
        if (log.failed && (log.more_runs || log.runs > 1)) {
            break; // the verdict can no longer change
        }
    }
    if (std::ferror(stream) != 0) {
        return false;
    }
    report = finish_saved_log(log);
    return true;
}

} // namespace picalc::check
