// The one reader of records: every program and page that needs a record's
// times or header gets them here, after picalc-check's code has accepted
// every run in it. A record's summary lines are its own account of those
// runs; one that disagrees with them has been edited, and is refused.
#include "compare.h"
#include "log_check.h"
#include "record_format.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace picalc::compare {
namespace format = record_format;
using format::parse_times;
using format::seconds_text;
namespace {

// A summary line's key as a refusal names it, quoted with its colon.
std::string quoted(const char* key) {
    return std::string("\"") + key + ":\"";
}

std::string line_of(const char* key) {
    return quoted(key) + " line";
}

bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The summary lines picalc-record writes, in its order: a file with any of
// them declares itself a record, and must then have them all, right.
const char* const summary_keys[] = {
    format::runs_key,
    format::run_times_key,
    format::median_key,
    format::drift_key,
    format::versus_run_times_key,
    format::versus_median_key,
    format::versus_drift_key,
    format::order_key,
    format::copies_key,
    format::copy_times_key,
    format::copy_median_key,
    format::copy_drift_key,
    format::scaling_key,
    format::versus_copy_times_key,
    format::versus_copy_median_key,
    format::copy_order_key,
    format::disturbed_key,
    format::other_work_key,
};
// Lines that records made before them lack, and may still lack.
bool optional_line(const std::string& key) {
    return key == format::drift_key || key == format::copy_drift_key;
}
// Lines no reader can recompute: how busy other work kept the machine.
bool free_line(const std::string& key) {
    return key == format::disturbed_key || key == format::other_work_key;
}

bool declares_record(const RecordFile& file) {
    return std::any_of(std::begin(summary_keys), std::end(summary_keys),
                       [&](const char* key) { return !header_value(file, key).empty(); });
}

// The "Copies:" line and the rounds' times of TIMES_KEY ("Copy times:" or
// "Versus copy times:") read into ROUNDS; the reason when they cannot be.
std::string read_copies(RecordFile& file, const char* times_key,
                        std::vector<std::vector<double>>& rounds_read) {
    const std::string copies = header_value(file, format::copies_key);
    const std::string copy_times = header_value(file, times_key);
    if (copies.empty() != copy_times.empty()) {
        return "it has a " + line_of(format::copies_key) + " or a " + line_of(times_key) +
               " without the other";
    }
    if (copies.empty()) {
        return "";
    }
    char* count_end = nullptr;
    const long at_once = std::strtol(copies.c_str(), &count_end, 10);
    const std::string rest = count_end;
    char* rounds_end = nullptr;
    const long rounds =
        rest.rfind(" at once, ", 0) == 0 ? std::strtol(rest.c_str() + 10, &rounds_end, 10) : 0;
    const bool well_formed = rounds_end != nullptr && std::string(rounds_end) == " rounds";
    if (!well_formed || at_once < 1 || at_once > max_copies_at_once || rounds < 1 ||
        rounds > max_copy_rounds || !ends_with(copy_times, " seconds")) {
        return "its " + quoted(format::copies_key) + " or " + line_of(times_key) +
               " is not one picalc-record writes (at most " + std::to_string(max_copies_at_once) +
               " copies at once and " + std::to_string(max_copy_rounds) + " rounds)";
    }
    const std::string values = copy_times.substr(0, copy_times.size() - 8);
    std::size_t start = 0;
    while (start <= values.size()) {
        std::size_t end = values.find(", ", start);
        end = end == std::string::npos ? values.size() : end;
        std::vector<double> round;
        if (!parse_times(values.substr(start, end - start), round) ||
            round.size() != static_cast<std::size_t>(at_once)) {
            return "its " + line_of(times_key) + " does not hold rounds of " +
                   std::to_string(at_once) + " times";
        }
        rounds_read.push_back(round);
        if (rounds_read.size() > static_cast<std::size_t>(rounds)) {
            break;
        }
        start = end + 2;
    }
    if (rounds_read.size() != static_cast<std::size_t>(rounds)) {
        return "its " + line_of(times_key) + " holds " +
               (rounds_read.size() > static_cast<std::size_t>(rounds) ? "more" : "fewer") +
               " rounds than the " + std::to_string(rounds) + " its " +
               line_of(format::copies_key) + " names";
    }
    file.copies = static_cast<std::int32_t>(at_once);
    return "";
}

// The summary lines a record of FILE's runs and rounds has, in its writer's
// own words.
format::HeaderLines expected_summary(const RecordFile& file) {
    format::Record record;
    record.from_page = true; // no line on other work, which only the record knows
    record.run_name = workload_of(file);
    const auto results = [](const std::vector<double>& times) {
        std::vector<format::RunResult> runs(times.size());
        for (std::size_t i = 0; i < times.size(); ++i) {
            runs[i].seconds = seconds_text(times[i]);
        }
        return runs;
    };
    std::vector<std::vector<format::RunResult>> rounds;
    for (const std::vector<double>& round : file.copy_rounds) {
        rounds.push_back(results(round));
    }
    record.summary = format::summarize(results(file.times), rounds);
    if (file.versus) {
        record.has_versus = true;
        std::vector<std::vector<format::RunResult>> versus_rounds;
        for (const std::vector<double>& round : file.versus_copy_rounds) {
            versus_rounds.push_back(results(round));
        }
        record.versus.summary = format::summarize(results(file.versus_times), versus_rounds);
        record.versus.order = header_value(file, format::order_key);
        record.versus.copy_order = header_value(file, format::copy_order_key);
    }
    return format::header_lines(format::summary_text(record));
}

// A record of two programs in alternation: its runs, in the order they ran,
// dealt to A and B as its "Order:" line says, and B's rounds of copies
// read; the reason when they cannot be.
std::string read_versus(RecordFile& file) {
    const std::string order = header_value(file, format::order_key);
    file.versus = !order.empty() || !header_value(file, format::versus_build_key).empty();
    if (!file.versus) {
        return "";
    }
    std::vector<bool> a_first;
    if (!format::parse_order(order, a_first, file.times.size() / 2) ||
        a_first.size() * 2 != file.times.size()) {
        return "it is a record of two programs in alternation whose " + line_of(format::order_key) +
               " does not give one pair (AB or BA) for every two of " + "its " +
               std::to_string(file.times.size()) + " runs";
    }
    const std::vector<double> in_order = file.times;
    file.times.clear();
    for (std::size_t k = 0; k < a_first.size(); ++k) {
        file.times.push_back(in_order[2 * k + (a_first[k] ? 0 : 1)]);
        file.versus_times.push_back(in_order[2 * k + (a_first[k] ? 1 : 0)]);
    }
    if (std::string why = read_copies(file, format::versus_copy_times_key, file.versus_copy_rounds);
        !why.empty()) {
        return why;
    }
    const std::string copy_order = header_value(file, format::copy_order_key);
    if (!file.versus_copy_rounds.empty() &&
        (!format::parse_order(copy_order, a_first, file.versus_copy_rounds.size()) ||
         a_first.size() != file.versus_copy_rounds.size())) {
        return "its " + line_of(format::copy_order_key) +
               " does not give one pair for every "
               "round";
    }
    return "";
}

// Why the summary lines disagree with the checked runs; "" when they agree.
// Every line is compared whole with the one the runs give, so no part of
// one (a minimum, a round, a scaling) goes unchecked.
std::string summary_mismatch(RecordFile& file) {
    if (!declares_record(file)) {
        return ""; // a saved run or runs with notes of their own: the runs are all it claims
    }
    if (std::string why = read_copies(file, format::copy_times_key, file.copy_rounds);
        !why.empty()) {
        return why;
    }
    if (std::string why = read_versus(file); !why.empty()) {
        return why;
    }
    const format::HeaderLines expected = expected_summary(file);
    for (const auto& [key, value] : expected) {
        const std::string found = header_value(file, key);
        if (found.empty() && !optional_line(key)) {
            return "it is a record without its " + line_of(key.c_str()) +
                   ": a record has every summary line, and this one has lost one";
        }
        if (!found.empty() && found != value) {
            return "its " + line_of(key.c_str()) + " does not match its runs, which give \"" +
                   value + "\"";
        }
    }
    for (const char* key : summary_keys) {
        if (!free_line(key) && format::header_value(expected, key).empty() &&
            !header_value(file, key).empty()) {
            return "its " + line_of(key) + " belongs to runs or copies that it does not hold";
        }
    }
    return "";
}

// Browser records name their browser beside "WebAssembly page", and the
// page's own records the engine too, which on iOS is WebKit whatever the
// browser; Node is V8, like Blink.
void classify(RecordFile& file) {
    const std::string build = header_value(file, format::build_key);
    if (build.find("WebAssembly page") != std::string::npos) {
        file.kind = Kind::Browser;
        const auto has = [&](const char* text) { return build.find(text) != std::string::npos; };
        if (has("(Blink engine)") || has("(Gecko engine)") || has("(WebKit engine)")) {
            const std::size_t end = build.find(" engine)");
            const std::size_t start = build.rfind('(', end);
            file.engine = build.substr(start + 1, end - start - 1);
        } else if (has("Firefox")) {
            file.engine = "Gecko";
        } else if (has("Chrom") || has("Edge") || has("Opera")) {
            file.engine = "Blink";
        } else if (has("WebKit") || has("Safari")) {
            file.engine = "WebKit";
        }
    } else if (build.rfind("WebAssembly", 0) == 0) {
        file.kind = Kind::Node;
    }
}

RecordFile settle(const std::string& path, check::SavedLog& log, const check::CheckReport& report) {
    RecordFile file;
    file.path = path;
    std::size_t slash = path.find_last_of("/\\");
    file.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (ends_with(file.name, ".txt")) {
        file.name.resize(file.name.size() - 4);
    }
    if (report.verdict != check::Verdict::Valid) {
        file.refusal = report.message;
        file.unreadable = report.verdict == check::Verdict::OutOfMemory;
        return file;
    }
    file.digit_count = report.digit_count;
    file.formula = report.formula;
    file.times = log.seconds;
    file.header = format::header_lines(log.preamble);
    file.disturbed = header_value(file, format::disturbed_key);
    classify(file);
    file.refusal = summary_mismatch(file);
    file.genuine = file.refusal.empty();
    return file;
}

} // namespace

std::string header_value(const RecordFile& file, const std::string& key) {
    return format::header_value(file.header, key);
}

std::string workload_of(const RecordFile& file) {
    return check::run_name(file.digit_count, file.formula);
}

double median_time(const RecordFile& file) {
    return stats::median_of(file.times);
}

std::vector<double> copy_times(const RecordFile& file) {
    std::vector<double> times;
    for (const std::vector<double>& round : file.copy_rounds) {
        times.insert(times.end(), round.begin(), round.end());
    }
    return times;
}

stats::Trend drift_of(const RecordFile& file) {
    return stats::trend_of(file.times);
}

stats::Trend copy_drift_of(const RecordFile& file) {
    return stats::trend_of_rounds(file.copy_rounds);
}

double scaling_of(const RecordFile& file) {
    return file.copies < 1 ? 0
                           : stats::scaling_of(file.copies, median_time(file),
                                               stats::median_of(copy_times(file)));
}

std::vector<RecordFile> sides_of(const RecordFile& file) {
    if (!file.versus) {
        return {file};
    }
    RecordFile a = file;
    a.versus = false;
    a.versus_times.clear();
    a.versus_copy_rounds.clear();
    a.session = file.path;
    RecordFile b = a;
    a.name += " (A)";
    b.name += " (B)";
    b.times = file.versus_times;
    b.copy_rounds = file.versus_copy_rounds;
    b.copies = b.copy_rounds.empty() ? 0 : file.copies;
    // B's own build in B's header; both keep the record's machine.
    for (auto& [key, value] : b.header) {
        if (key == format::build_key) {
            value = header_value(file, format::versus_build_key);
        }
    }
    b.kind = Kind::Native;
    b.engine.clear();
    classify(b);
    return {a, b};
}

RecordFile read_record(const std::string& path) {
    std::string why;
    std::FILE* stream = check::open_input_file(path.c_str(), why);
    check::SavedLog log;
    check::CheckReport report;
    errno = 0;
    const bool read = stream != nullptr && check::check_saved_log_from(stream, log, report);
    if (stream != nullptr && !read) {
        why = errno != 0 ? std::strerror(errno) : "read error";
    }
    if (stream != nullptr) {
        static_cast<void>(std::fclose(stream)); // only read from
    }
    if (!read) {
        RecordFile file;
        file.path = path;
        file.name = path;
        file.unreadable = true;
        file.refusal = std::string("cannot read it: ") + why;
        return file;
    }
    return settle(path, log, report);
}

RecordFile read_record_text(const std::string& path, const std::string& bytes) {
    check::SavedLog log;
    check::read_saved_log(log, bytes.data(), bytes.size());
    const check::CheckReport report = check::finish_saved_log(log);
    return settle(path, log, report);
}

RecordFile times_record(const std::string& argument) {
    RecordFile file;
    file.path = argument;
    const std::size_t first = argument.find(':');
    const std::size_t second = argument.find(':', first + 1);
    const std::size_t third = argument.find(':', second + 1);
    std::vector<double> times;
    std::string values = third == std::string::npos ? "" : argument.substr(third + 1);
    for (char& c : values) {
        c = c == ',' ? ' ' : c;
    }
    const std::string digits =
        second == std::string::npos ? "" : argument.substr(first + 1, second - first - 1);
    const std::string formula =
        third == std::string::npos ? "" : argument.substr(second + 1, third - second - 1);
    if (third == std::string::npos || first == 0 || digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos ||
        std::strtoll(digits.c_str(), nullptr, 10) > max_digit_count ||
        (formula != "Gauss" && formula != "Stomer") || !parse_times(values, times)) {
        file.name = argument;
        file.refusal = "--times takes LABEL:DIGITS:Gauss|Stomer:SECONDS,SECONDS,...";
        return file;
    }
    file.name = argument.substr(0, first);
    file.digit_count = static_cast<std::int32_t>(std::strtol(digits.c_str(), nullptr, 10));
    file.formula = formula == "Gauss" ? Formula::Gauss : Formula::Stomer;
    file.times = times;
    file.times_only = true;
    file.genuine = true;
    return file;
}

} // namespace picalc::compare
