// Comparisons of checked records, and the four ways of writing them. Two
// files get a verdict in words for their single runs, their copies and
// their scaling; more files get a table per workload, each row set against
// a baseline. Runs of different workloads are never set against each other.
#include "compare.h"
#include "log_check.h"
#include "record_format.h"
#include "statistics.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

namespace picalc::compare {
namespace fmt = record_format;
using Json = nlohmann::ordered_json;
using fmt::rounded;
using fmt::seconds_text;
using stats::Difference;
using stats::difference_of;
using stats::median_of;
using stats::p_text;
using stats::runs_needed;
using stats::significance_level;
using stats::smallest_p;
namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    static_cast<void>(std::snprintf(text, sizeof text, pattern, value));
    return text;
}

std::string percent(double value) {
    return format("%.1f", value);
}

std::string count_text(std::int32_t a, std::int32_t b, const std::string& unit) {
    return std::to_string(a) + " and " + std::to_string(b) + " " + unit;
}

// "B is 13.6 % faster than A", with the interval in the same terms.
struct Faster {
    bool b_faster = true;
    double by = 0;
    double low = 0;
    double high = 0;
};

Faster faster_of(const Difference& d) {
    Faster f;
    f.b_faster = d.ratio >= 1;
    if (f.b_faster) {
        f.by = (d.ratio - 1) * 100;
        f.low = (d.interval.low - 1) * 100;
        f.high = (d.interval.high - 1) * 100;
    } else {
        f.by = (1 / d.ratio - 1) * 100;
        f.low = (1 / d.interval.high - 1) * 100;
        f.high = (1 / d.interval.low - 1) * 100;
    }
    return f;
}

// "9 and 9 runs", or for pairs "9 pairs of runs".
std::string counts_of(const Difference& d, const std::string& unit) {
    return d.paired ? std::to_string(d.n_a) + (d.n_a == 1 ? " pair of " : " pairs of ") + unit
                    : count_text(d.n_a, d.n_b, unit);
}

// Pairs too few ever to show a difference: how many would do.
std::string too_few_pairs_text(const Difference& d, const std::string& unit) {
    std::int32_t enough = 1;
    while (stats::smallest_paired_p(enough) >= significance_level) {
        ++enough;
    }
    return "Too few pairs of " + unit + " to show any difference (" + counts_of(d, unit) +
           " can never give p below 0.05); " + std::to_string(enough) + " pairs can";
}

// A difference too small for these counts ever to show: what would do.
std::string too_few_text(const Difference& d, const std::string& unit) {
    if (d.paired) {
        return too_few_pairs_text(d, unit);
    }
    std::int32_t equal = 1;
    while (smallest_p(equal, equal) >= significance_level) {
        ++equal;
    }
    const std::int32_t larger = std::max(d.n_a, d.n_b);
    std::string text = "Too few " + unit + " to show any difference (" +
                       count_text(d.n_a, d.n_b, unit) + " can never give p below 0.05); " +
                       std::to_string(equal) + " and " + std::to_string(equal) + " " + unit;
    const std::int32_t beside = runs_needed(larger);
    if (larger != equal && beside > 0) {
        text += ", or " + std::to_string(beside) + " beside " + std::to_string(larger) + ",";
    }
    return text + " can";
}

// A CSV field that stays one field, and that no spreadsheet takes for a
// formula: a field starting with =, +, - (not a number) or @ gets a quote.
std::string csv_field(const std::string& text) {
    const bool formula_like =
        !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '@' ||
                          (text[0] == '-' && (text.size() < 2 || text[1] < '0' || text[1] > '9')));
    std::string field = formula_like ? "'" + text : text;
    // Other control characters would act on a terminal that shows the file.
    field = fmt::without_control_characters(field, ' ', "\n\r");
    if (field.find_first_of(",\"\n\r") == std::string::npos) {
        return field;
    }
    std::string out = "\"";
    for (const char c : field) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

// A table cell that shows its text as text: what Markdown would read as
// emphasis, code, a link, an image, HTML, an entity or a cell's end is
// escaped, and so is what GitHub turns into a link on its own (a URL's
// "://", "www." and an address's "@"). Control characters become spaces.
std::string markdown_cell(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool www_dot = c == '.' && i >= 3 && (text[i - 1] | 0x20) == 'w' &&
                             (text[i - 2] | 0x20) == 'w' && (text[i - 3] | 0x20) == 'w';
        if (fmt::is_control_character(c)) {
            out += ' ';
        } else if (std::strchr("\\`*_[]<>&|!~#:@", c) != nullptr || www_dot) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// A link's destination with everything but plain path characters
// percent-encoded, so that a file's name cannot end the link or start another.
std::string link_target(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || (c != '\0' && std::strchr("-._~/", c) != nullptr)) {
            out += c;
        } else {
            char escaped[4];
            static_cast<void>(
                std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned int>(byte)));
            out += escaped;
        }
    }
    return out;
}

const char* kind_name(const RecordFile& file) {
    if (file.times_only) {
        return "times";
    }
    return file.kind == Kind::Browser ? "browser" : file.kind == Kind::Node ? "node" : "native";
}

std::string engine_text(const RecordFile& file) {
    if (file.kind == Kind::Native) {
        return "native";
    }
    if (file.kind == Kind::Node) {
        return "WebAssembly under Node";
    }
    return "WebAssembly in a browser (" + (file.engine.empty() ? "engine unknown" : file.engine) +
           ")";
}

std::string median_text(const RecordFile& file) {
    const std::string median = seconds_text(median_time(file));
    return file.times.size() == 1
               ? median
               : median + " (median of " + std::to_string(file.times.size()) + ")";
}

std::string spread_text(const RecordFile& file) {
    const auto [low, high] = std::minmax_element(file.times.begin(), file.times.end());
    return file.times.size() == 1 ? "one run" : seconds_text(*low) + " to " + seconds_text(*high);
}

// Per round: the copies' work as single runs, copies x single run / round
// median. Round i is set against run i, where there are as many of each,
// so that the single runs' own spread is in the sample too; a median of
// the runs in every value would make two records look surer than they are.
std::vector<double> round_scalings(const RecordFile& file) {
    std::vector<double> scalings;
    const bool paired = file.times.size() == file.copy_rounds.size();
    for (std::size_t i = 0; i < file.copy_rounds.size(); ++i) {
        const double median = median_of(file.copy_rounds[i]);
        const double single = paired ? file.times[i] : median_time(file);
        scalings.push_back(median > 0 ? file.copies * single / median : 0);
    }
    return scalings;
}

// A table's word for a difference that records made apart could hold.
std::string margin_word(const Difference& d) {
    return "not beyond " + percent(session_margin * 100) + " % (" + p_text(d.test.p) +
           ", records made apart)";
}

// One row of a table: a file against its group's baseline.
struct Row {
    const RecordFile* file = nullptr;
    bool baseline = false;
    Difference difference; // the file's runs as A, the baseline's as B
};

struct Group {
    std::string workload;
    const RecordFile* baseline = nullptr;
    bool baseline_given = false;
    std::vector<Row> rows; // by median time
};

std::vector<Group> grouped(const std::vector<RecordFile>& files, const std::string& baseline) {
    std::vector<Group> groups;
    for (const RecordFile& file : files) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.workload == workload_of(file); });
        if (group == groups.end()) {
            groups.push_back({workload_of(file), nullptr, false, {}});
            group = groups.end() - 1;
        }
        group->rows.push_back({&file, false, {}});
    }
    for (Group& group : groups) {
        std::stable_sort(group.rows.begin(), group.rows.end(), [](const Row& x, const Row& y) {
            return median_time(*x.file) < median_time(*y.file);
        });
        group.baseline = group.rows.front().file;
        for (const Row& row : group.rows) {
            if (!baseline.empty() && (row.file->path == baseline ||
                                      (row.file->times_only && row.file->name == baseline))) {
                group.baseline = row.file;
                group.baseline_given = true;
            }
        }
        for (Row& row : group.rows) {
            row.baseline = row.file == group.baseline;
            row.difference = difference_between(*row.file, *group.baseline, row.file->times,
                                                group.baseline->times);
        }
    }
    return groups;
}

// "5.6 % slower", "3.1 % faster", "baseline".
std::string against_baseline(const Row& row) {
    if (row.baseline) {
        return "baseline";
    }
    const double ratio = row.difference.ratio;
    return ratio >= 1 ? percent((ratio - 1) * 100) + " % slower"
                      : percent((1 / ratio - 1) * 100) + " % faster";
}

std::string significance_text(const Row& row) {
    if (row.baseline) {
        return "";
    }
    const Difference& d = row.difference;
    if (d.test.smallest_p >= significance_level) {
        return "too few runs (" + std::to_string(d.n_a) + " and " + std::to_string(d.n_b) + ")";
    }
    if (d.significant && !difference_holds(d)) {
        return margin_word(d);
    }
    return (d.significant ? "yes (" : "no (") + p_text(d.test.p) + ")";
}

// NAME as the text shows it: the Markdown table escapes it as a cell.
std::string baseline_note(const Group& group, std::string (*name)(const std::string&)) {
    return "against " + name(group.baseline->name) +
           (group.baseline_given ? " (the baseline given)" : " (the fastest)");
}

void write_markdown(const std::vector<Group>& groups, std::string& out) {
    bool first = true;
    for (const Group& group : groups) {
        out += first ? "" : "\n";
        first = false;
        out += "**" + group.workload + "**, " + baseline_note(group, markdown_cell) + ":\n\n";
        out += "| total time, s | spread, s | vs baseline | significant | CPU | cores | system | "
               "build or browser | date | record |\n";
        out += "|---|---|---|---|---|---|---|---|---|---|\n";
        for (const Row& row : group.rows) {
            const RecordFile& f = *row.file;
            std::string record =
                f.times_only ? markdown_cell(f.name)
                             : "[" + markdown_cell(f.name) + "](" + link_target(f.path) + ")";
            if (!f.disturbed.empty()) {
                record += " (disturbed)";
            }
            const std::string cells[] = {median_text(f),
                                         spread_text(f),
                                         against_baseline(row),
                                         significance_text(row),
                                         header_value(f, fmt::cpu_key),
                                         header_value(f, fmt::cores_key),
                                         header_value(f, fmt::system_key),
                                         header_value(f, fmt::build_key),
                                         header_value(f, fmt::date_key)};
            out += "|";
            for (const std::string& cell : cells) {
                out += " " + markdown_cell(cell) + " |";
            }
            out += " " + record + " |";
            out += "\n";
        }
    }
}

void write_csv(const std::vector<Group>& groups, std::string& out) {
    out += "workload,record,path,runs,median_s,minimum_s,maximum_s,baseline,vs_baseline,p,"
           "significant,copies,copy_median_s,scaling,cpu,cores,system,build,date,kind,engine,"
           "disturbed\n";
    for (const Group& group : groups) {
        for (const Row& row : group.rows) {
            const RecordFile& f = *row.file;
            const auto [low, high] = std::minmax_element(f.times.begin(), f.times.end());
            const Difference& d = row.difference;
            const std::string fields[] = {group.workload,
                                          f.name,
                                          f.times_only ? "" : f.path,
                                          std::to_string(f.times.size()),
                                          seconds_text(median_time(f)),
                                          seconds_text(*low),
                                          seconds_text(*high),
                                          group.baseline->name,
                                          row.baseline ? "" : format("%.6f", d.ratio),
                                          row.baseline ? "" : format("%.6g", d.test.p),
                                          row.baseline                              ? ""
                                          : d.test.smallest_p >= significance_level ? "too few runs"
                                          : difference_holds(d)                     ? "yes"
                                          : d.significant ? "not beyond the margin"
                                                          : "no",
                                          f.copies > 0 ? std::to_string(f.copies) : "",
                                          f.copies > 0 ? seconds_text(median_of(copy_times(f)))
                                                       : "",
                                          f.copies > 0 ? format("%.2f", scaling_of(f)) : "",
                                          header_value(f, fmt::cpu_key),
                                          header_value(f, fmt::cores_key),
                                          header_value(f, fmt::system_key),
                                          header_value(f, fmt::build_key),
                                          header_value(f, fmt::date_key),
                                          kind_name(f),
                                          f.engine,
                                          f.disturbed.empty() ? "no" : "yes"};
            std::string line;
            for (const std::string& field : fields) {
                line += (line.empty() ? "" : ",") + csv_field(field);
            }
            out += line + "\n";
        }
    }
}

struct Verdicts {
    Difference runs;
    std::string runs_text;
    std::string copies_text; // "" when either lacks copies
    std::string scaling_text;
    std::vector<std::string> differences;
};

// Each round's median: what a round of copies is paired by.
std::vector<double> round_medians(const RecordFile& file) {
    std::vector<double> medians;
    medians.reserve(file.copy_rounds.size());
    for (const std::vector<double>& round : file.copy_rounds) {
        medians.push_back(median_of(round));
    }
    return medians;
}

bool one_session(const RecordFile& a, const RecordFile& b) {
    return !a.session.empty() && a.session == b.session;
}

Verdicts verdicts_of(const RecordFile& a, const RecordFile& b) {
    Verdicts v;
    v.runs = difference_between(a, b, a.times, b.times);
    v.runs_text = verdict_text(v.runs, "A", "B", "runs");
    if (!a.copy_rounds.empty() && !b.copy_rounds.empty()) {
        const bool paired = one_session(a, b);
        const Difference copies = paired
                                      ? difference_between(a, b, round_medians(a), round_medians(b))
                                      : difference_of(copy_times(a), copy_times(b));
        v.copies_text = verdict_text(copies, "A", "B", paired ? "rounds" : "copy times");
        // Higher scaling is better: compared as its inverse, like a time.
        const auto inverse = [](const RecordFile& file) {
            std::vector<double> values;
            for (const double s : round_scalings(file)) {
                values.push_back(s > 0 ? 1 / s : 0);
            }
            return values;
        };
        const std::string text = verdict_text(difference_between(a, b, inverse(a), inverse(b)), "A",
                                              "B", "rounds", "higher");
        v.scaling_text = "A " + format("%.2f", scaling_of(a)) + ", B " +
                         format("%.2f", scaling_of(b)) + ": " + text;
    }
    v.differences = other_differences(a, b);
    return v;
}

std::string file_line(const char* label, const RecordFile& f) {
    std::string shown = f.times_only ? f.name : f.path;
    if (!f.session.empty()) {
        shown += std::string(label) == "A" ? " (its own picalc)" : " (the versus program)";
    }
    std::string line = std::string(label) + ": " + shown + ": " + std::to_string(f.times.size()) +
                       (f.times.size() == 1 ? " run" : " runs") + " of " + workload_of(f) +
                       ", median " + seconds_text(median_time(f)) + " s";
    if (f.times.size() > 1) {
        line += " (" + spread_text(f) + ")";
    }
    if (f.copies > 0) {
        line += "; " + std::to_string(f.copies) + " copies at once, scaling " +
                format("%.2f", scaling_of(f));
    }
    line += "\n";
    if (f.times_only) {
        return line + "   times alone, given with --times: this comparison checked no outputs\n";
    }
    const std::string cpu = header_value(f, fmt::cpu_key);
    const std::string build = header_value(f, fmt::build_key);
    return line + "   " + (cpu.empty() ? "processor unknown" : cpu) + "; " +
           (build.empty() ? "build unknown" : build) + "\n";
}

void write_two(const RecordFile& a, const RecordFile& b, std::string& out) {
    const Verdicts v = verdicts_of(a, b);
    out += file_line("A", a) + file_line("B", b);
    if (one_session(a, b)) {
        out += "Paired: A and B ran in alternation in one record, each run set against its "
               "partner, so what moved both at once cancels\n";
    }
    out += "Single runs: " + v.runs_text + "\n";
    if (!v.copies_text.empty()) {
        out += "Copies at once: " + v.copies_text + "\n";
        out += "Scaling: " + v.scaling_text + "\n";
    }
    if (v.differences.empty()) {
        out += "Besides the runs: nothing else differs that the records name\n";
    }
    for (const std::string& difference : v.differences) {
        out += "Differs: " + difference + "\n";
    }
}

void write_text_tables(const std::vector<Group>& groups, std::string& out) {
    bool first = true;
    for (const Group& group : groups) {
        out += first ? "" : "\n";
        first = false;
        out += group.workload + ", " +
               baseline_note(group, [](const std::string& text) { return text; }) + ":\n";
        for (const Row& row : group.rows) {
            const RecordFile& f = *row.file;
            char line[512];
            static_cast<void>(std::snprintf(
                line, sizeof line, "  %-40s %3zu runs  %9s s  %-16s %s%s\n", f.name.c_str(),
                f.times.size(), seconds_text(median_time(f)).c_str(), against_baseline(row).c_str(),
                significance_text(row).c_str(), f.disturbed.empty() ? "" : " (disturbed)"));
            out += line;
        }
    }
}

Json times_json(const std::vector<double>& times) {
    Json json = Json::array();
    for (const double value : times) {
        json.push_back(rounded(value));
    }
    return json;
}

Json difference_json(const Difference& d) {
    return {{"ratio", rounded(d.ratio)},
            {"interval", d.interval.known
                             ? Json::array({rounded(d.interval.low), rounded(d.interval.high)})
                             : Json(nullptr)},
            {"p", rounded(d.test.p, "%.6g")},
            {"p_text", p_text(d.test.p)},
            {"exact", d.test.exact},
            {"smallest_p", rounded(d.test.smallest_p, "%.6g")},
            {"significant", d.significant},
            {"paired", d.paired},
            // What a difference between records made apart must pass.
            {"margin", d.paired ? 0.0 : session_margin},
            {"holds", difference_holds(d)}};
}

// A header key as a JSON member: "Run by" is "run_by".
std::string member_name(const char* key) {
    std::string name = key;
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return c == ' ' ? '_' : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    });
    return name;
}

Json record_json(const RecordFile& f) {
    Json copy_times = Json::array();
    for (const std::vector<double>& round : f.copy_rounds) {
        copy_times.push_back(times_json(round));
    }
    Json json = {{"name", f.name},
                 {"path", f.times_only ? "" : f.path},
                 {"digits", f.digit_count},
                 {"formula", f.formula == Formula::Gauss ? "Gauss" : "Stomer"},
                 {"runs", f.times.size()},
                 {"times", times_json(f.times)},
                 {"total", rounded(median_time(f))},
                 {"copies", f.copies},
                 {"copy_times", copy_times},
                 {"scaling", f.copies > 0 ? Json(rounded(scaling_of(f), "%.2f")) : Json(nullptr)},
                 {"kind", kind_name(f)},
                 {"engine", f.engine}};
    for (const char* key : {fmt::cpu_key, fmt::cores_key, fmt::system_key, fmt::build_key,
                            fmt::date_key, fmt::run_by_key}) {
        json[member_name(key)] = header_value(f, key);
    }
    json["disturbed"] = f.disturbed;
    const stats::Trend drift = drift_of(f);
    json["drift"] = fmt::drift_text(drift, "runs");
    json["drifted"] = drift.drifted;
    return json;
}

void write_json(const std::vector<RecordFile>& files, const std::vector<Group>& groups,
                std::string& out) {
    Json records = Json::array();
    for (const RecordFile& file : files) {
        records.push_back(record_json(file));
    }
    Json group_list = Json::array();
    for (const Group& group : groups) {
        Json rows = Json::array();
        for (const Row& row : group.rows) {
            rows.push_back(
                {{"name", row.file->name}, {"against_baseline", difference_json(row.difference)}});
        }
        group_list.push_back(
            {{"workload", group.workload}, {"baseline", group.baseline->name}, {"rows", rows}});
    }
    Json json = {{"schema_version", 1}, {"records", records}, {"groups", group_list}};
    if (files.size() == 2 && groups.size() == 1) {
        const Verdicts v = verdicts_of(files[0], files[1]);
        json["comparison"] = {{"runs", difference_json(v.runs)},
                              {"verdict", v.runs_text},
                              {"copies", v.copies_text},
                              {"scaling", v.scaling_text},
                              {"differences", v.differences}};
    }
    out += json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

std::string verdict_text(const Difference& d, const std::string& a, const std::string& b,
                         const std::string& unit, const char* better) {
    const std::string counts = counts_of(d, unit);
    if (d.test.smallest_p >= significance_level) {
        return too_few_text(d, unit);
    }
    if (!d.significant) {
        return "No difference shown (" + p_text(d.test.p) + ", " + counts + ")";
    }
    const Faster f = faster_of(d);
    std::string text = (f.b_faster ? b : a) + " is " + percent(f.by) + " % " + better + " than " +
                       (f.b_faster ? a : b) + " (";
    if (d.interval.known) {
        text += "95 % interval " + percent(f.low) + " to " + percent(f.high) + " %; ";
    }
    text += p_text(d.test.p) + ", " + counts + ")";
    if (difference_holds(d)) {
        return text;
    }
    return "No verdict: the " + unit + " differ (" + text +
           "), but records of one machine made apart often differ by " +
           percent(session_margin * 100) +
           " % or more; alternate both in one record (picalc-record --versus) for a verdict that "
           "holds";
}

Difference difference_between(const RecordFile& a, const RecordFile& b,
                              const std::vector<double>& times_a,
                              const std::vector<double>& times_b) {
    return one_session(a, b) && times_a.size() == times_b.size()
               ? stats::paired_difference_of(times_a, times_b)
               : difference_of(times_a, times_b);
}

bool difference_holds(const Difference& d) {
    if (!d.significant) {
        return false;
    }
    if (d.paired) {
        return true;
    }
    return d.interval.known &&
           (d.interval.low > 1 + session_margin || d.interval.high < 1 / (1 + session_margin));
}

std::vector<std::string> other_differences(const RecordFile& a, const RecordFile& b) {
    std::vector<std::string> out;
    for (const auto& [label, file] : {std::pair<const char*, const RecordFile*>{"A", &a},
                                      std::pair<const char*, const RecordFile*>{"B", &b}}) {
        if (file->times_only) {
            out.push_back(
                std::string(label) +
                " is times alone, given with --times: this comparison checked no outputs");
        }
    }
    const auto differ = [&](const char* key, const char* what) {
        const std::string x = header_value(a, key);
        const std::string y = header_value(b, key);
        if (x != y && !a.times_only && !b.times_only) {
            out.push_back(std::string(what) + ": A " + (x.empty() ? "unknown" : x) + "; B " +
                          (y.empty() ? "unknown" : y));
        }
    };
    differ(fmt::cpu_key, "the processor");
    if (engine_text(a) != engine_text(b) && !a.times_only && !b.times_only) {
        out.push_back("the engine: A " + engine_text(a) + "; B " + engine_text(b));
    }
    differ(fmt::build_key, "the build");
    differ(fmt::system_key, "the system");
    for (const auto& [label, file] : {std::pair<const char*, const RecordFile*>{"A", &a},
                                      std::pair<const char*, const RecordFile*>{"B", &b}}) {
        if (!file->disturbed.empty()) {
            out.push_back(std::string(label) +
                          "'s record flags disturbed runs: " + file->disturbed);
        }
        // A trend within a record: its median is no steady speed.
        if (const stats::Trend drift = drift_of(*file); drift.drifted) {
            out.push_back(std::string(label) + "'s " + fmt::drift_text(drift, "runs"));
        }
        if (const stats::Trend drift = copy_drift_of(*file); drift.drifted) {
            out.push_back(std::string(label) + "'s " + fmt::drift_text(drift, "rounds"));
        }
    }
    return out;
}

bool compare_files(const std::vector<RecordFile>& given, const std::string& baseline, Format format,
                   std::string& out, std::string& refusal) {
    for (const RecordFile& file : given) {
        if (file.versus && given.size() > 1) {
            refusal = file.path +
                      " is a record of two programs run in alternation: its runs are paired, "
                      "and are compared with each other alone (picalc-compare " +
                      file.path + ")";
            return false;
        }
    }
    const std::vector<RecordFile> files =
        given.size() == 1 && given.front().versus ? sides_of(given.front()) : given;
    if (files.size() == 2 && workload_of(files[0]) != workload_of(files[1])) {
        refusal = files[0].path + " holds runs of " + workload_of(files[0]) + " and " +
                  files[1].path + " runs of " + workload_of(files[1]) +
                  ": the times of different workloads are not compared";
        return false;
    }
    const std::vector<Group> groups = grouped(files, baseline);
    switch (format) {
    case Format::Markdown:
        write_markdown(groups, out);
        break;
    case Format::Csv:
        write_csv(groups, out);
        break;
    case Format::Json:
        write_json(files, groups, out);
        break;
    case Format::Text:
        if (files.size() == 2) {
            write_two(files[0], files[1], out);
        } else if (files.size() == 1) {
            out += file_line("A", files[0]);
        } else {
            write_text_tables(groups, out);
        }
        // A file's or label's name goes to the terminal as it was given:
        // its control characters must not act there.
        out = fmt::without_control_characters(out, '?', "\n");
        break;
    }
    return true;
}

std::string refusal_json(const std::vector<Refusal>& refusals) {
    Json refused = Json::array();
    for (const Refusal& refusal : refusals) {
        refused.push_back({{"file", refusal.file.empty() ? Json(nullptr) : Json(refusal.file)},
                           {"reason", refusal.reason}});
    }
    return Json{{"refused", refused}}.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace picalc::compare
