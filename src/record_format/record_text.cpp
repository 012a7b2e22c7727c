// The record as people read it: the summary printed at the end, and the
// record for results/ (the header, the summary, and every single run's
// whole output, so that picalc-check can check it again). The summary is
// always derived from the runs' own times. Its header and summary lines are
// read back here too.
#include "record_format.h"
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace picalc::record_format {
namespace {

// "Key: value" and its line end.
std::string line(const char* key, const std::string& value) {
    return std::string(key) + ": " + value + "\n";
}

std::string known(const std::string& text) {
    return text.empty() ? "unknown" : text;
}

std::string count_text(std::int32_t count) {
    return count < 0 ? "unknown" : std::to_string(count);
}

std::string times_text(const std::vector<double>& times) {
    std::string text;
    for (const double seconds : times) {
        text += (text.empty() ? "" : " ") + seconds_text(seconds);
    }
    return text;
}

std::string cores_text(const MachineInfo& machine) {
    std::string text = count_text(machine.logical_processors) + " logical processors";
    if (machine.usable_processors >= 0 && machine.usable_processors != machine.logical_processors) {
        text += " (" + std::to_string(machine.usable_processors) + " usable by this process)";
    }
    text += ", " + count_text(machine.physical_cores) + " physical cores, ";
    text += machine.hypervisor < 0    ? "hypervisor unknown"
            : machine.hypervisor == 1 ? "under a hypervisor"
                                      : "no hypervisor";
    if (machine.core_classes > 1) {
        text += "; " + std::to_string(machine.core_classes) + " core classes";
    }
    if (!machine.single_run_cores.empty()) {
        text += (machine.core_classes > 1 ? ", " : "; ") + machine.single_run_cores;
    }
    return text;
}

std::string build_text(const Record& record, const BuildInfo& build) {
    if (record.from_page) {
        return "picalc " + known(build.version) + ", " + record.page.browser + " (" +
               record.page.engine + " engine), WebAssembly page, " + known(build.target) + ", " +
               (build.libc.empty() ? "C library unknown" : build.libc);
    }
    if (build.version.empty()) {
        return "unknown (the picalc that ran names no build)";
    }
    return "picalc " + build.version + ", " + known(build.compiler) + " " + known(build.flags) +
           ", " + known(build.linking) + ", " + known(build.target) + ", " +
           (build.libc.empty() ? "C library unknown" : build.libc);
}

// Whether other work shared the processors during the runs, in a line.
std::string other_work_text(const Summary& summary) {
    if (summary.highest_load < 0 && summary.disturbed.empty()) {
        return line(other_work_key, "unknown");
    }
    if (!summary.disturbed.empty()) {
        std::string runs;
        for (const std::string& run : summary.disturbed) {
            runs += (runs.empty() ? "" : ", ") + run;
        }
        return line(disturbed_key, "other work kept processors busy during " + runs +
                                       ": those times are not this machine's best");
    }
    char text[96];
    static_cast<void>(std::snprintf(text, sizeof text, "at most %.2f of a processor during any run",
                                    summary.highest_load));
    return line(other_work_key, text);
}

std::string mhz_text(std::int32_t mhz) {
    return mhz < 0 ? "unknown" : std::to_string(mhz) + " MHz";
}

std::string caches_text(const std::vector<CacheInfo>& caches) {
    std::string text;
    for (const CacheInfo& cache : caches) {
        std::string name = "L" + count_text(cache.level);
        name += cache.type == "Data" ? "d" : cache.type == "Instruction" ? "i" : "";
        text += (text.empty() ? "" : ", ") + name + " " +
                (cache.size_kib < 0 ? "unknown" : std::to_string(cache.size_kib) + " KiB");
        if (cache.shared_by > 1) {
            text += " per " + std::to_string(cache.shared_by) + " processors";
        }
    }
    return text.empty() ? "unknown" : text;
}

std::string switch_text(std::int32_t value) {
    return value < 0 ? "unknown" : value == 1 ? "on" : "off";
}

// The frequencies, caches, memory, SMT and power policy on one line: the
// record's "Hardware:".
std::string machine_text(const MachineInfo& machine) {
    std::string text = "max " + mhz_text(machine.max_mhz) + ", base " + mhz_text(machine.base_mhz) +
                       ", reported " + mhz_text(machine.reported_mhz);
    text += "; caches " + caches_text(machine.caches);
    text += "; memory " + (machine.memory_mib < 0 ? std::string("unknown")
                                                  : std::to_string(machine.memory_mib) + " MiB");
    text += "; SMT " + switch_text(machine.smt);
    text += "; governor " + known(machine.governor) +
            (machine.scaling_driver.empty() ? "" : " (" + machine.scaling_driver + ")");
    text += ", boost " + switch_text(machine.boost);
    text += ", energy preference " + known(machine.energy_preference);
    return text;
}

// The shortest text that reads back as SECONDS, as a browser prints it.
std::string shortest_text(double seconds) {
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        static_cast<void>(std::snprintf(text, sizeof text, "%.*g", digits, seconds));
        if (std::strtod(text, nullptr) == seconds) {
            break;
        }
    }
    return text;
}

// What the page knew and how: the browser's own words, and the stage times
// of the median run.
std::string page_notes(const Record& record, const std::string& arguments) {
    std::string stages;
    for (const auto& [name, seconds] : record.page.stage_seconds) {
        stages += (stages.empty() ? "" : ", ") + name + " " + shortest_text(seconds) + " s";
    }
    return "made by picalc's page running \"picalc" + arguments +
           "\"; the browser reported the logical processors, the memory (rounded) and the "
           "platform (\"" +
           record.page.platform + "\"); the WebAssembly was built by " +
           known(record.build.compiler) + " " + known(record.build.flags) +
           "; stage times of the median run: " + stages;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

std::string rounds_text(const std::vector<std::vector<double>>& rounds) {
    std::string text;
    for (const std::vector<double>& round : rounds) {
        text += (text.empty() ? "" : ", ") + times_text(round);
    }
    return text;
}

} // namespace

std::string seconds_text(double seconds) {
    char text[32];
    static_cast<void>(std::snprintf(text, sizeof text, "%.6f", seconds));
    return text;
}

std::string processor_text(const MachineInfo& machine) {
    std::string text = machine.processor.empty() ? "unknown" : machine.processor;
    if (machine.family < 0 || machine.model < 0) {
        return text;
    }
    std::string identity =
        machine.microarchitecture.empty() ? "" : machine.microarchitecture + "; ";
    identity +=
        "family " + std::to_string(machine.family) + ", model " + std::to_string(machine.model);
    if (machine.stepping >= 0) {
        identity += ", stepping " + std::to_string(machine.stepping);
    }
    return text + " (" + identity + ")";
}

Summary summarize(const std::vector<RunResult>& single,
                  const std::vector<std::vector<RunResult>>& copies) {
    Summary summary;
    for (const RunResult& run : single) {
        summary.single.push_back(std::strtod(run.seconds.c_str(), nullptr));
    }
    std::vector<double> all_copies;
    for (const std::vector<RunResult>& round : copies) {
        summary.copies.emplace_back();
        for (const RunResult& run : round) {
            summary.copies.back().push_back(std::strtod(run.seconds.c_str(), nullptr));
            all_copies.push_back(summary.copies.back().back());
        }
    }
    const stats::Spread spread = stats::spread_of(summary.single);
    summary.median = spread.median;
    summary.minimum = spread.minimum;
    summary.maximum = spread.maximum;
    const auto note_load = [&summary](double load, const std::string& name) {
        if (load < 0) {
            return;
        }
        summary.highest_load = std::max(summary.highest_load, load);
        if (load > disturbing_load) {
            char text[96];
            static_cast<void>(std::snprintf(text, sizeof text, "%s (%.2f)", name.c_str(), load));
            summary.disturbed.emplace_back(text);
        }
    };
    for (std::size_t i = 0; i < single.size(); ++i) {
        note_load(single[i].other_load,
                  "run " + std::to_string(i + 1) + " of " + std::to_string(single.size()));
    }
    for (std::size_t r = 0; r < copies.size(); ++r) {
        if (!copies[r].empty()) {
            note_load(copies[r].front().other_load,
                      "round " + std::to_string(r + 1) + " of " + std::to_string(copies.size()));
        }
    }
    summary.drift = stats::trend_of(summary.single);
    summary.copy_drift = stats::trend_of_rounds(summary.copies);
    if (!all_copies.empty()) {
        summary.copy_median = stats::median_of(all_copies);
        summary.scaling = stats::scaling_of(static_cast<double>(copies.front().size()),
                                            summary.median, summary.copy_median);
    }
    return summary;
}

std::string drift_text(const stats::Trend& trend, const char* what) {
    char text[200];
    if (!trend.tested) {
        // "1 run", "1 round": WHAT without its plural s.
        const std::string counted =
            trend.n == 1 ? std::string(what, std::strlen(what) - 1) : std::string(what);
        static_cast<void>(std::snprintf(
            text, sizeof text, "not tested (%d %s: a trend needs %d to %d)", trend.n,
            counted.c_str(), stats::smallest_trend_sample, stats::largest_trend_sample));
    } else if (trend.drifted) {
        static_cast<void>(
            std::snprintf(text, sizeof text,
                          "%s %s %.1f %% from first to last (%s): the machine was warming up "
                          "or throttling, or other work changed",
                          what, trend.change > 0 ? "slowed" : "sped up",
                          std::fabs(trend.change) * 100, stats::p_text(trend.p).c_str()));
    } else if (std::fabs(trend.change) < 0.0005) {
        static_cast<void>(std::snprintf(text, sizeof text,
                                        "none (%s no slower or faster from first to last, %s)",
                                        what, stats::p_text(trend.p).c_str()));
    } else {
        static_cast<void>(
            std::snprintf(text, sizeof text, "none (%s %.1f %% %s from first to last, %s)", what,
                          std::fabs(trend.change) * 100, trend.change > 0 ? "slower" : "faster",
                          stats::p_text(trend.p).c_str()));
    }
    return text;
}

namespace {

// The runs of both programs in one account of other work: the versus
// program's runs and rounds named as such.
Summary with_versus_load(const Record& record) {
    Summary merged = record.summary;
    const Summary& other = record.versus.summary;
    merged.highest_load = std::max(merged.highest_load, other.highest_load);
    for (const std::string& run : other.disturbed) {
        merged.disturbed.push_back("versus " + run);
    }
    return merged;
}

} // namespace

std::string summary_text(const Record& record) {
    const Summary& summary = record.summary;
    const Summary& versus = record.versus.summary;
    std::string text =
        line(runs_key,
             std::to_string(summary.single.size()) + " of " + record.run_name +
                 (record.has_versus ? ", in pairs with the versus runs" : ", one after another"));
    text += line(run_times_key, times_text(summary.single) + " seconds");
    text += line(median_key, seconds_text(summary.median) + " seconds (minimum " +
                                 seconds_text(summary.minimum) + ", maximum " +
                                 seconds_text(summary.maximum) + ")");
    text += line(drift_key, drift_text(summary.drift, "runs"));
    if (record.has_versus) {
        text += line(versus_run_times_key, times_text(versus.single) + " seconds");
        text += line(versus_median_key, seconds_text(versus.median) + " seconds (minimum " +
                                            seconds_text(versus.minimum) + ", maximum " +
                                            seconds_text(versus.maximum) + ")");
        text += line(versus_drift_key, drift_text(versus.drift, "runs"));
        text += line(order_key, record.versus.order);
    }
    // The page cannot see other work, and says nothing of it.
    const std::string other_work =
        record.from_page ? ""
                         : other_work_text(record.has_versus ? with_versus_load(record) : summary);
    if (summary.copies.empty()) {
        return text + other_work;
    }
    const std::size_t at_once = summary.copies.front().size();
    text += line(copies_key, std::to_string(at_once) + " at once, " +
                                 std::to_string(summary.copies.size()) + " rounds");
    text += line(copy_times_key, rounds_text(summary.copies) + " seconds");
    text += line(copy_median_key, seconds_text(summary.copy_median) + " seconds");
    text += line(copy_drift_key, drift_text(summary.copy_drift, "rounds"));
    char scaling[160];
    static_cast<void>(std::snprintf(scaling, sizeof scaling,
                                    "%.2f (%zu copies x %.6f s / %.6f s): the work of "
                                    "%.2f single runs at once",
                                    summary.scaling, at_once, summary.median, summary.copy_median,
                                    summary.scaling));
    text += line(scaling_key, scaling);
    if (record.has_versus && !versus.copies.empty()) {
        text += line(versus_copy_times_key, rounds_text(versus.copies) + " seconds");
        text += line(versus_copy_median_key, seconds_text(versus.copy_median) + " seconds");
        text += line(copy_order_key, record.versus.copy_order);
    }
    return text + other_work;
}

std::string record_text(const Record& record) {
    const MachineInfo& machine = record.machine;
    std::string text = line(cpu_key, processor_text(machine));
    text += line(cores_key, cores_text(machine));
    text += line(hardware_key, machine_text(machine));
    text += line(system_key, known(machine.system) +
                                 (machine.kernel.empty() ? "" : ", " + machine.kernel) + ", " +
                                 known(machine.architecture));
    text += line(build_key, build_text(record, record.build));
    if (record.has_versus) {
        text += line(versus_build_key, build_text(record, record.versus.build));
    }
    text += line(run_by_key, record.run_by);
    text += line(date_key, record.date);
    std::string arguments;
    for (const std::string& argument : record.arguments) {
        arguments += " " + argument;
    }
    std::string notes = record.from_page ? page_notes(record, arguments)
                                         : "made by picalc-record " + record.record_version +
                                               " running \"picalc" + arguments + "\"";
    if (record.has_versus) {
        notes += " and, in alternation, \"" +
                 without_control_characters(record.versus.program, '?') + arguments + "\"";
    }
    text += line(notes_key, notes) + "\n";
    text += summary_text(record);
    // Every run's output in the order they ran: each pair as its order says.
    std::vector<bool> a_first;
    if (!record.has_versus || !parse_order(record.versus.order, a_first, record.single.size())) {
        a_first.clear();
    }
    const auto output = [&text](const RunResult& run) {
        text += "\n" + run.output;
        if (!run.output.empty() && run.output.back() != '\n') {
            text += "\n";
        }
    };
    for (std::size_t i = 0; i < record.single.size(); ++i) {
        const bool paired = i < a_first.size() && i < record.versus.single.size();
        if (paired && !a_first[i]) {
            output(record.versus.single[i]);
        }
        output(record.single[i]);
        if (paired && a_first[i]) {
            output(record.versus.single[i]);
        }
    }
    return text;
}

bool parse_order(const std::string& text, std::vector<bool>& a_first, std::size_t max_pairs) {
    a_first.clear();
    for (std::size_t at = 0; at < text.size(); at += 3) {
        const std::string pair = text.substr(at, 2);
        const bool spaced = at + 2 == text.size() || text[at + 2] == ' ';
        if ((pair != "AB" && pair != "BA") || !spaced || a_first.size() >= max_pairs) {
            a_first.clear();
            return false;
        }
        a_first.push_back(pair == "AB");
    }
    return !a_first.empty();
}

std::string without_control_characters(std::string text, char replacement, std::string_view keep) {
    for (char& c : text) {
        c = is_control_character(c) && keep.find(c) == std::string_view::npos ? replacement : c;
    }
    return text;
}

HeaderLines header_lines(const std::string& preamble) {
    HeaderLines header;
    std::size_t start = 0;
    while (start < preamble.size()) {
        std::size_t end = preamble.find('\n', start);
        end = end == std::string::npos ? preamble.size() : end;
        std::string text = trimmed(preamble.substr(start, end - start));
        start = end + 1;
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
            text.erase(0, 3);
        }
        const std::size_t colon = text.find(": ");
        const bool key_like = colon != std::string::npos && colon > 0 && colon <= 32 &&
                              text[0] >= 'A' && text[0] <= 'Z' &&
                              text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                     "abcdefghijklmnopqrstuvwxyz ") == colon;
        if (key_like) {
            header.emplace_back(text.substr(0, colon),
                                without_control_characters(text.substr(colon + 2), ' '));
        }
    }
    return header;
}

std::string header_value(const HeaderLines& header, const std::string& key) {
    for (const auto& [name, value] : header) {
        if (name == key) {
            return value;
        }
    }
    return "";
}

bool parse_times(const std::string& text, std::vector<double>& times) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string number = text.substr(start, end - start);
        // Digits, and at most one point with digits after it: no sign, no
        // exponent, no "inf", and short enough to be a time at all.
        const std::size_t point = number.find('.');
        const bool digits_only = number.find_first_not_of("0123456789.") == std::string::npos;
        const bool one_point =
            point == std::string::npos || (point > 0 && point + 1 < number.size() &&
                                           number.find('.', point + 1) == std::string::npos);
        if (number.empty() || number.size() > max_time_characters || !digits_only || !one_point ||
            times.size() >= max_times) {
            return false;
        }
        const double value = std::strtod(number.c_str(), nullptr);
        if (!(value > 0) || !std::isfinite(value)) {
            return false;
        }
        times.push_back(value);
        start = end + 1;
    }
    return !times.empty();
}

} // namespace picalc::record_format
