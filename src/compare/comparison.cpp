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
#include <optional>

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

// The fewest values of each of two samples (runs, or records) that can
// show a difference.
std::int32_t equal_counts_needed() {
    std::int32_t equal = 1;
    while (smallest_p(equal, equal) >= significance_level) {
        ++equal;
    }
    return equal;
}

// A difference too small for these counts ever to show: what would do.
std::string too_few_text(const Difference& d, const std::string& unit) {
    if (d.paired) {
        return too_few_pairs_text(d, unit);
    }
    const std::int32_t equal = equal_counts_needed();
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

std::vector<double> inverse_round_scalings(const RecordFile& file) {
    std::vector<double> values;
    for (const double s : round_scalings(file)) {
        values.push_back(s > 0 ? 1 / s : 0);
    }
    return values;
}

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

// What is compared, as the evidence needs it: values paired in order for
// one session, every value of one record each, or one value per record.
struct Measure {
    std::vector<double> (*paired)(const RecordFile&);
    std::vector<double> (*runs)(const RecordFile&);
    double (*record)(const RecordFile&);
};

std::vector<double> run_times(const RecordFile& file) {
    return file.times;
}

double copy_median(const RecordFile& file) {
    return median_of(copy_times(file));
}

double inverse_scaling(const RecordFile& file) {
    const double scaling = scaling_of(file);
    return scaling > 0 ? 1 / scaling : 0;
}

constexpr Measure run_measure = {run_times, run_times, median_time};
constexpr Measure copy_measure = {round_medians, copy_times, copy_median};
// Higher scaling is better: compared as its inverse, like a time.
constexpr Measure scaling_measure = {inverse_round_scalings, inverse_round_scalings,
                                     inverse_scaling};

std::vector<double> per_record(const Setup& setup, double (*value)(const RecordFile&)) {
    std::vector<double> values;
    values.reserve(setup.records.size());
    for (const RecordFile* file : setup.records) {
        values.push_back(value(*file));
    }
    return values;
}

Comparison compare_by(const Setup& a, const Setup& b, const Measure& measure) {
    Comparison c;
    if (a.records.size() > 1 || b.records.size() > 1) {
        c.evidence = Evidence::Records;
        c.difference = difference_of(per_record(a, measure.record), per_record(b, measure.record));
        return c;
    }
    const RecordFile& x = *a.records.front();
    const RecordFile& y = *b.records.front();
    if (one_session(x, y)) {
        const std::vector<double> px = measure.paired(x);
        const std::vector<double> py = measure.paired(y);
        if (px.size() == py.size()) {
            c.evidence = Evidence::Pairs;
            c.difference = stats::paired_difference_of(px, py);
            return c;
        }
    }
    c.evidence = Evidence::Runs;
    c.difference = difference_of(measure.runs(x), measure.runs(y));
    return c;
}

double setup_median(const Setup& setup) {
    return median_of(per_record(setup, median_time));
}

std::string setup_median_text(const Setup& setup) {
    if (setup.records.size() == 1) {
        return median_text(*setup.records.front());
    }
    return seconds_text(setup_median(setup)) + " (median of " +
           std::to_string(setup.records.size()) + " records)";
}

std::string medians_spread_text(const Setup& setup) {
    const std::vector<double> medians = per_record(setup, median_time);
    const auto [low, high] = std::minmax_element(medians.begin(), medians.end());
    return seconds_text(*low) + " to " + seconds_text(*high);
}

std::string setup_spread_text(const Setup& setup) {
    return setup.records.size() == 1 ? spread_text(*setup.records.front())
                                     : medians_spread_text(setup) + " (record medians)";
}

// KEY's value in every record of SETUP: one value, or the different ones.
std::string setup_value(const Setup& setup, const char* key) {
    std::vector<std::string> values;
    for (const RecordFile* file : setup.records) {
        std::string value = header_value(*file, key);
        if (std::find(values.begin(), values.end(), value) == values.end()) {
            values.push_back(std::move(value));
        }
    }
    std::string text;
    for (const std::string& value : values) {
        text += (text.empty() ? "" : " / ") + value;
    }
    return text;
}

bool has_copies(const Setup& setup) {
    return std::all_of(setup.records.begin(), setup.records.end(),
                       [](const RecordFile* file) { return !file->copy_rounds.empty(); });
}

bool disturbed(const Setup& setup) {
    return std::any_of(setup.records.begin(), setup.records.end(),
                       [](const RecordFile* file) { return !file->disturbed.empty(); });
}

// One row of a table: a setup against its group's baseline.
struct Row {
    Setup setup;
    bool baseline = false;
    Comparison comparison; // the setup's runs as A, the baseline's as B
};

struct Group {
    std::string workload;
    std::size_t baseline = 0;
    bool baseline_given = false;
    std::vector<Row> rows; // by median time
};

std::vector<Group> grouped(const std::vector<RecordFile>& files, const std::string& baseline) {
    std::vector<std::pair<std::string, std::vector<const RecordFile*>>> workloads;
    for (const RecordFile& file : files) {
        const std::string workload = workload_of(file);
        auto found = std::find_if(workloads.begin(), workloads.end(),
                                  [&](const auto& w) { return w.first == workload; });
        if (found == workloads.end()) {
            workloads.push_back({workload, {}});
            found = workloads.end() - 1;
        }
        found->second.push_back(&file);
    }
    std::vector<Group> groups;
    for (const auto& [workload, members] : workloads) {
        Group group{workload, 0, false, {}};
        for (Setup& setup : setups_of(members)) {
            group.rows.push_back({std::move(setup), false, {}});
        }
        std::stable_sort(group.rows.begin(), group.rows.end(), [](const Row& x, const Row& y) {
            return setup_median(x.setup) < setup_median(y.setup);
        });
        for (std::size_t i = 0; i < group.rows.size() && !baseline.empty(); ++i) {
            for (const RecordFile* file : group.rows[i].setup.records) {
                if (file->path == baseline || (file->times_only && file->name == baseline)) {
                    group.baseline = i;
                    group.baseline_given = true;
                }
            }
        }
        for (Row& row : group.rows) {
            row.baseline = &row == &group.rows[group.baseline];
            row.comparison = compare_runs(row.setup, group.rows[group.baseline].setup);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

// "5.6 % slower", "3.1 % faster", "baseline".
std::string against_baseline(const Row& row) {
    if (row.baseline) {
        return "baseline";
    }
    const double ratio = row.comparison.difference.ratio;
    return ratio >= 1 ? percent((ratio - 1) * 100) + " % slower"
                      : percent((1 / ratio - 1) * 100) + " % faster";
}

std::string values_word(const Comparison& c) {
    return c.evidence == Evidence::Records ? "records" : "runs";
}

std::string significance_text(const Row& row) {
    if (row.baseline) {
        return "";
    }
    const Difference& d = row.comparison.difference;
    if (d.test.smallest_p >= significance_level) {
        return "too few " + values_word(row.comparison) + " (" + std::to_string(d.n_a) + " and " +
               std::to_string(d.n_b) + ")";
    }
    if (d.significant && !difference_holds(row.comparison)) {
        return "no verdict from one record each (runs " + p_text(d.test.p) + ")";
    }
    return (d.significant ? "yes (" : "no (") + p_text(d.test.p) + ")";
}

const char* significance_word(const Row& row) {
    const Difference& d = row.comparison.difference;
    return row.baseline                              ? ""
           : d.test.smallest_p >= significance_level ? "too few"
           : difference_holds(row.comparison)        ? "yes"
           : d.significant                           ? "one record each"
                                                     : "no";
}

const char* evidence_name(Evidence evidence) {
    return evidence == Evidence::Pairs     ? "pairs"
           : evidence == Evidence::Records ? "records"
                                           : "runs";
}

// NAME as the text shows it: the Markdown table escapes it as a cell.
std::string baseline_note(const Group& group, std::string (*name)(const std::string&)) {
    return "against " + name(group.rows[group.baseline].setup.name) +
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
            std::string records;
            for (const RecordFile* f : row.setup.records) {
                records += records.empty() ? "" : ", ";
                records += f->times_only
                               ? markdown_cell(f->name)
                               : "[" + markdown_cell(f->name) + "](" + link_target(f->path) + ")";
                if (!f->disturbed.empty()) {
                    records += " (disturbed)";
                }
            }
            const std::string cells[] = {setup_median_text(row.setup),
                                         setup_spread_text(row.setup),
                                         against_baseline(row),
                                         significance_text(row),
                                         setup_value(row.setup, fmt::cpu_key),
                                         setup_value(row.setup, fmt::cores_key),
                                         setup_value(row.setup, fmt::system_key),
                                         setup_value(row.setup, fmt::build_key),
                                         setup_value(row.setup, fmt::date_key)};
            out += "|";
            for (const std::string& cell : cells) {
                out += " " + markdown_cell(cell) + " |";
            }
            out += " " + records + " |\n";
        }
    }
}

// A setup's copies and scaling: the median over its records.
std::string setup_copies_field(const Setup& setup, bool scaling) {
    if (!has_copies(setup)) {
        return "";
    }
    const double value = scaling ? median_of(per_record(setup, scaling_of))
                                 : median_of(per_record(setup, copy_median));
    return scaling ? format("%.2f", value) : seconds_text(value);
}

void write_csv(const std::vector<Group>& groups, std::string& out) {
    out += "workload,record,path,records,runs,median_s,minimum_s,maximum_s,baseline,vs_baseline,"
           "p,significant,evidence,copies,copy_median_s,scaling,cpu,cores,system,build,date,kind,"
           "engine,disturbed\n";
    for (const Group& group : groups) {
        for (const Row& row : group.rows) {
            const Setup& s = row.setup;
            const RecordFile& f = *s.records.front();
            std::vector<double> values =
                s.records.size() == 1 ? f.times : per_record(s, median_time);
            const auto [low, high] = std::minmax_element(values.begin(), values.end());
            std::string paths;
            std::size_t runs = 0;
            for (const RecordFile* file : s.records) {
                paths += (paths.empty() ? "" : ";") + (file->times_only ? "" : file->path);
                runs += file->times.size();
            }
            const Difference& d = row.comparison.difference;
            const std::string fields[] = {group.workload,
                                          s.name,
                                          paths,
                                          std::to_string(s.records.size()),
                                          std::to_string(runs),
                                          seconds_text(setup_median(s)),
                                          seconds_text(*low),
                                          seconds_text(*high),
                                          group.rows[group.baseline].setup.name,
                                          row.baseline ? "" : format("%.6f", d.ratio),
                                          row.baseline ? "" : format("%.6g", d.test.p),
                                          significance_word(row),
                                          row.baseline ? ""
                                                       : evidence_name(row.comparison.evidence),
                                          has_copies(s) ? std::to_string(f.copies) : "",
                                          setup_copies_field(s, false),
                                          setup_copies_field(s, true),
                                          setup_value(s, fmt::cpu_key),
                                          setup_value(s, fmt::cores_key),
                                          setup_value(s, fmt::system_key),
                                          setup_value(s, fmt::build_key),
                                          setup_value(s, fmt::date_key),
                                          kind_name(f),
                                          f.engine,
                                          disturbed(s) ? "yes" : "no"};
            std::string line;
            for (const std::string& field : fields) {
                line += (line.empty() ? "" : ",") + csv_field(field);
            }
            out += line + "\n";
        }
    }
}

struct Verdicts {
    Comparison runs;
    std::string runs_text;
    std::string copies_text; // "" when either lacks copies
    std::string scaling_text;
    std::vector<std::string> differences;
};

std::string scaling_text(const Setup& setup) {
    return setup.records.size() == 1 ? format("%.2f", scaling_of(*setup.records.front()))
                                     : setup_copies_field(setup, true) + " (median)";
}

Verdicts verdicts_of(const Setup& a, const Setup& b) {
    Verdicts v;
    v.runs = compare_runs(a, b);
    v.runs_text = verdict_text(v.runs, "A", "B", "runs");
    if (has_copies(a) && has_copies(b)) {
        const Comparison copies = compare_by(a, b, copy_measure);
        v.copies_text = verdict_text(copies, "A", "B",
                                     copies.evidence == Evidence::Pairs ? "rounds" : "copy times");
        const std::string text =
            verdict_text(compare_by(a, b, scaling_measure), "A", "B", "rounds", "higher");
        v.scaling_text = "A " + scaling_text(a) + ", B " + scaling_text(b) + ": " + text;
    }
    v.differences = other_differences(a, b);
    return v;
}

// "a.txt: 9 runs of 9999 digits [Gauss], median 1.95 s (1.94 to 1.97); 2
// copies at once, scaling 1.90"
std::string record_summary(const RecordFile& f, const std::string& shown) {
    std::string line = shown + ": " + std::to_string(f.times.size()) +
                       (f.times.size() == 1 ? " run" : " runs") + " of " + workload_of(f) +
                       ", median " + seconds_text(median_time(f)) + " s";
    if (f.times.size() > 1) {
        line += " (" + spread_text(f) + ")";
    }
    if (f.copies > 0) {
        line += "; " + std::to_string(f.copies) + " copies at once, scaling " +
                format("%.2f", scaling_of(f));
    }
    return line;
}

std::string machine_line(const RecordFile& f) {
    const std::string cpu = header_value(f, fmt::cpu_key);
    const std::string build = header_value(f, fmt::build_key);
    return "   " + (cpu.empty() ? "processor unknown" : cpu) + "; " +
           (build.empty() ? "build unknown" : build) + "\n";
}

std::string file_line(const char* label, const RecordFile& f) {
    std::string shown = f.times_only ? f.name : f.path;
    if (!f.session.empty()) {
        shown += std::string(label) == "A" ? " (its own picalc)" : " (the versus program)";
    }
    const std::string line = std::string(label) + ": " + record_summary(f, shown) + "\n";
    if (f.times_only) {
        return line + "   times alone, given with --times: this comparison checked no outputs\n";
    }
    return line + machine_line(f);
}

std::string setup_lines(const char* label, const Setup& s) {
    if (s.records.size() == 1) {
        return file_line(label, *s.records.front());
    }
    std::string out = std::string(label) + ": " + s.name + ": " + std::to_string(s.records.size()) +
                      " records of " + workload_of(*s.records.front()) +
                      ", median of their medians " + seconds_text(setup_median(s)) + " s (" +
                      medians_spread_text(s) + ")\n" + machine_line(*s.records.front());
    for (const RecordFile* f : s.records) {
        out += "   " + record_summary(*f, f->times_only ? f->name : f->path) + "\n";
    }
    return out;
}

void write_two(const Setup& a, const Setup& b, std::string& out) {
    const Verdicts v = verdicts_of(a, b);
    out += setup_lines("A", a) + setup_lines("B", b);
    if (v.runs.evidence == Evidence::Pairs) {
        out += "Paired: A and B ran in alternation in one record, each run set against its "
               "partner, so what moved both at once cancels\n";
    } else if (v.runs.evidence == Evidence::Records) {
        out += "Records: each record counts once, by its median, as the runs of one record "
               "share the state of the machine in its session\n";
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
            const Setup& s = row.setup;
            const std::size_t count =
                s.records.size() == 1 ? s.records.front()->times.size() : s.records.size();
            char line[512];
            static_cast<void>(
                std::snprintf(line, sizeof line, "  %-40s %3zu %-7s  %9s s  %-16s %s%s\n",
                              s.name.c_str(), count, s.records.size() == 1 ? "runs" : "records",
                              seconds_text(setup_median(s)).c_str(), against_baseline(row).c_str(),
                              significance_text(row).c_str(), disturbed(s) ? " (disturbed)" : ""));
            out += line;
        }
    }
}

// A and B when the files make two setups of one workload, in the order
// the files were given (the rows are sorted by speed).
std::optional<std::pair<const Setup*, const Setup*>> two_setups(const std::vector<Group>& groups) {
    if (groups.size() != 1 || groups.front().rows.size() != 2) {
        return std::nullopt;
    }
    const Setup& x = groups.front().rows[0].setup;
    const Setup& y = groups.front().rows[1].setup;
    return x.records.front() <= y.records.front() ? std::pair{&x, &y} : std::pair{&y, &x};
}

Json times_json(const std::vector<double>& times) {
    Json json = Json::array();
    for (const double value : times) {
        json.push_back(rounded(value));
    }
    return json;
}

Json difference_json(const Comparison& c) {
    const Difference& d = c.difference;
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
            // What the test stands on: "runs" (one record each) never holds.
            {"evidence", evidence_name(c.evidence)},
            {"holds", difference_holds(c)}};
}

// A header key as a JSON member: "Run by" is "run_by".
std::string member_name(const char* key) {
    std::string name = key;
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return c == ' ' ? '_' : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    });
    return name;
}

Json record_json(const RecordFile& f, const std::string& setup) {
    Json copy_times = Json::array();
    for (const std::vector<double>& round : f.copy_rounds) {
        copy_times.push_back(times_json(round));
    }
    Json json = {{"name", f.name},
                 {"path", f.times_only ? "" : f.path},
                 {"setup", setup},
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
        std::string setup;
        for (const Group& group : groups) {
            for (const Row& row : group.rows) {
                for (const RecordFile* member : row.setup.records) {
                    setup = member == &file ? row.setup.name : setup;
                }
            }
        }
        records.push_back(record_json(file, setup));
    }
    Json group_list = Json::array();
    for (const Group& group : groups) {
        Json rows = Json::array();
        for (const Row& row : group.rows) {
            Json names = Json::array();
            for (const RecordFile* file : row.setup.records) {
                names.push_back(file->name);
            }
            rows.push_back({{"name", row.setup.name},
                            {"records", names},
                            {"against_baseline", difference_json(row.comparison)}});
        }
        group_list.push_back({{"workload", group.workload},
                              {"baseline", group.rows[group.baseline].setup.name},
                              {"rows", rows}});
    }
    Json json = {{"schema_version", 2}, {"records", records}, {"groups", group_list}};
    if (const auto two = two_setups(groups)) {
        const Verdicts v = verdicts_of(*two->first, *two->second);
        json["comparison"] = {{"runs", difference_json(v.runs)},
                              {"verdict", v.runs_text},
                              {"copies", v.copies_text},
                              {"scaling", v.scaling_text},
                              {"differences", v.differences}};
    }
    out += json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The setup FILE joins: its --setup name, else its processor, cores, build
// and engine; a file that names neither processor nor build, times alone
// and a side of an alternated record stand alone.
std::string setup_key(const RecordFile& file, std::size_t index) {
    if (!file.setup.empty()) {
        return "named\n" + file.setup;
    }
    const std::string cpu = header_value(file, fmt::cpu_key);
    const std::string build = header_value(file, fmt::build_key);
    if (file.times_only || !file.session.empty() || cpu.empty() || build.empty()) {
        return "alone\n" + std::to_string(index);
    }
    return "header\n" + cpu + "\n" + header_value(file, fmt::cores_key) + "\n" + build + "\n" +
           engine_text(file);
}

} // namespace

std::vector<Setup> setups_of(const std::vector<const RecordFile*>& files) {
    std::vector<std::string> keys;
    std::vector<Setup> setups;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string key = setup_key(*files[i], i);
        const auto found = std::find(keys.begin(), keys.end(), key);
        if (found == keys.end()) {
            keys.push_back(key);
            setups.push_back({files[i]->setup, {files[i]}});
        } else {
            setups[static_cast<std::size_t>(found - keys.begin())].records.push_back(files[i]);
        }
    }
    if (setups.size() == 1 && files.size() > 1) {
        setups.clear();
        for (const RecordFile* file : files) {
            setups.push_back({"", {file}});
        }
    }
    for (Setup& setup : setups) {
        if (setup.name.empty()) {
            const std::size_t more = setup.records.size() - 1;
            setup.name = setup.records.front()->name +
                         (more == 0 ? "" : " and " + std::to_string(more) + " more");
        }
    }
    return setups;
}

Comparison compare_runs(const Setup& a, const Setup& b) {
    return compare_by(a, b, run_measure);
}

bool difference_holds(const Comparison& c) {
    return c.difference.significant && c.evidence != Evidence::Runs;
}

std::string verdict_text(const Comparison& c, const std::string& a, const std::string& b,
                         const std::string& unit, const char* better) {
    const Difference& d = c.difference;
    const std::string values = c.evidence == Evidence::Records ? "records" : unit;
    const std::string counts = counts_of(d, values);
    if (d.test.smallest_p >= significance_level) {
        return too_few_text(d, values);
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
    if (difference_holds(c)) {
        return text;
    }
    const std::string needed = std::to_string(equal_counts_needed());
    return "No verdict: the " + unit + " differ (" + text +
           "), but this is one record of each, and records made at different times differ by "
           "more than the runs of one record do; make " +
           needed +
           " records of each at different times and compare them all at once, or "
           "alternate both in one record (picalc-record --versus), for a verdict";
}

std::vector<std::string> other_differences(const Setup& a, const Setup& b) {
    std::vector<std::string> out;
    const std::pair<const char*, const Setup*> sides[] = {{"A", &a}, {"B", &b}};
    const bool times_only = std::any_of(std::begin(sides), std::end(sides), [](const auto& side) {
        return side.second->records.front()->times_only;
    });
    for (const auto& [label, setup] : sides) {
        if (setup->records.front()->times_only) {
            out.push_back(
                std::string(label) +
                " is times alone, given with --times: this comparison checked no outputs");
        }
    }
    const auto differ = [&](const char* key, const char* what) {
        const std::string x = setup_value(a, key);
        const std::string y = setup_value(b, key);
        if (x != y && !times_only) {
            out.push_back(std::string(what) + ": A " + (x.empty() ? "unknown" : x) + "; B " +
                          (y.empty() ? "unknown" : y));
        }
    };
    differ(fmt::cpu_key, "the processor");
    const std::string engine_a = engine_text(*a.records.front());
    const std::string engine_b = engine_text(*b.records.front());
    if (engine_a != engine_b && !times_only) {
        out.push_back("the engine: A " + engine_a + "; B " + engine_b);
    }
    differ(fmt::build_key, "the build");
    differ(fmt::system_key, "the system");
    for (const auto& [label, setup] : sides) {
        for (const RecordFile* file : setup->records) {
            // One record is named by its side; one of several by its name too.
            const std::string whose = setup->records.size() == 1
                                          ? std::string(label) + "'s"
                                          : std::string(label) + "'s record " + file->name + ":";
            if (!file->disturbed.empty()) {
                out.push_back(setup->records.size() == 1
                                  ? whose + " record flags disturbed runs: " + file->disturbed
                                  : whose + " disturbed runs: " + file->disturbed);
            }
            // A trend within a record: its median is no steady speed.
            if (const stats::Trend drift = drift_of(*file); drift.drifted) {
                out.push_back(whose + " " + fmt::drift_text(drift, "runs"));
            }
            if (const stats::Trend drift = copy_drift_of(*file); drift.drifted) {
                out.push_back(whose + " " + fmt::drift_text(drift, "rounds"));
            }
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
        if (const auto two = two_setups(groups)) {
            write_two(*two->first, *two->second, out);
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
