// The result in the forms people and programs read: the summary printed at
// the end, the record for results/ (the header, the summary, and every
// single run's whole output, so that picalc-check can check it again), and
// JSON. The summary is always derived from the runs' own times.
#include "log_check.h"
#include "record.h"
#include "statistics.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace picalc::record {
using check::json_string;
namespace {

constexpr std::int32_t json_schema_version = 1;

std::string seconds_text(double seconds) {
    char text[32];
    static_cast<void>(std::snprintf(text, sizeof text, "%.6f", seconds));
    return text;
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

std::string json_count(std::int32_t count) {
    return count < 0 ? "null" : std::to_string(count);
}

std::string json_text(const std::string& text) {
    return text.empty() ? "null" : json_string(text);
}

std::string json_load(double load) {
    if (load < 0) {
        return "null";
    }
    char text[32];
    static_cast<void>(std::snprintf(text, sizeof text, "%.3f", load));
    return text;
}

std::string json_run(const RunResult& run) {
    return "{\"seconds\": " + (run.valid ? run.seconds : std::string("null")) +
           ", \"exit_status\": " + std::to_string(run.exit_status) +
           ", \"valid\": " + (run.valid ? "true" : "false") +
           ", \"verdict\": " + json_string(run.verdict) +
           ", \"other_load\": " + json_load(run.other_load) + "}";
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
    return text;
}

std::string build_text(const BuildInfo& build) {
    if (build.version.empty()) {
        return "unknown (the picalc that ran names no build)";
    }
    return "picalc " + build.version + ", " + known(build.compiler) + " " + known(build.flags) +
           ", " + known(build.linking) + ", " + known(build.target) + ", " +
           (build.libc.empty() ? "C library unknown" : build.libc);
}

// Lower-case letters and digits of the text's words, joined by '-'.
std::string slug(const std::string& text, std::size_t max_words) {
    std::string out;
    std::size_t words = 0;
    bool in_word = false;
    for (const char c : text) {
        const bool keep =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!keep) {
            in_word = false;
            continue;
        }
        if (!in_word) {
            if (words == max_words) {
                break;
            }
            out += out.empty() ? "" : "-";
            ++words;
            in_word = true;
        }
        out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return out;
}

// Whether other work shared the processors during the runs, in a line.
std::string other_work_text(const Summary& summary) {
    if (!summary.disturbed.empty()) {
        std::string runs;
        for (const std::string& run : summary.disturbed) {
            runs += (runs.empty() ? "" : ", ") + run;
        }
        return "Disturbed: other work kept processors busy during " + runs +
               ": those times are not this machine's best\n";
    }
    if (summary.highest_load < 0) {
        return "Other work: unknown\n";
    }
    char text[96];
    static_cast<void>(std::snprintf(text, sizeof text,
                                    "Other work: at most %.2f of a processor during any run\n",
                                    summary.highest_load));
    return text;
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

std::string json_number(std::int64_t number) {
    return number < 0 ? "null" : std::to_string(number);
}

std::string json_switch(std::int32_t value) {
    return value < 0 ? "null" : value == 1 ? "true" : "false";
}

std::string json_caches(const std::vector<CacheInfo>& caches) {
    std::string json;
    for (const CacheInfo& cache : caches) {
        json += std::string(json.empty() ? "" : ", ") + "{\"level\": " + json_number(cache.level) +
                ", \"type\": " + json_text(cache.type) +
                ", \"size_kib\": " + json_number(cache.size_kib) +
                ", \"shared_by\": " + json_number(cache.shared_by) + "}";
    }
    return "[" + json + "]";
}

} // namespace

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
    if (!all_copies.empty()) {
        summary.copy_median = stats::median_of(all_copies);
        summary.scaling = stats::scaling_of(static_cast<double>(copies.front().size()),
                                            summary.median, summary.copy_median);
    }
    return summary;
}

std::string summary_text(const Record& record) {
    const Summary& summary = record.summary;
    std::string text = "Runs: " + std::to_string(summary.single.size()) + " of " + record.run_name +
                       ", one after another\n";
    text += "Run times: " + times_text(summary.single) + " seconds\n";
    text += "Median: " + seconds_text(summary.median) + " seconds (minimum " +
            seconds_text(summary.minimum) + ", maximum " + seconds_text(summary.maximum) + ")\n";
    if (summary.copies.empty()) {
        return text + other_work_text(summary);
    }
    const std::size_t at_once = summary.copies.front().size();
    text += "Copies: " + std::to_string(at_once) + " at once, " +
            std::to_string(summary.copies.size()) + " rounds\n";
    std::string rounds;
    for (const std::vector<double>& round : summary.copies) {
        rounds += (rounds.empty() ? "" : ", ") + times_text(round);
    }
    text += "Copy times: " + rounds + " seconds\n";
    text += "Copy median: " + seconds_text(summary.copy_median) + " seconds\n";
    char scaling[160];
    static_cast<void>(std::snprintf(scaling, sizeof scaling,
                                    "Scaling: %.2f (%zu copies x %.6f s / %.6f s): the work of "
                                    "%.2f single runs at once\n",
                                    summary.scaling, at_once, summary.median, summary.copy_median,
                                    summary.scaling));
    return text + scaling + other_work_text(summary);
}

std::string record_text(const Record& record) {
    const MachineInfo& machine = record.machine;
    std::string text = "CPU: " + processor_text(machine) + "\n";
    text += "Cores: " + cores_text(machine) + "\n";
    text += "Hardware: " + machine_text(machine) + "\n";
    text += "System: " + known(machine.system) +
            (machine.kernel.empty() ? "" : ", " + machine.kernel) + ", " +
            known(machine.architecture) + "\n";
    text += "Build: " + build_text(record.build) + "\n";
    text += "Run by: " + record.run_by + "\n";
    text += "Date: " + record.date + "\n";
    std::string arguments;
    for (const std::string& argument : record.arguments) {
        arguments += " " + argument;
    }
    text += "Notes: made by picalc-record " + record.record_version + " running \"picalc" +
            arguments + "\"\n\n";
    text += summary_text(record);
    for (const RunResult& run : record.single) {
        text += "\n" + run.output;
        if (!run.output.empty() && run.output.back() != '\n') {
            text += "\n";
        }
    }
    return text;
}

std::string record_json(const Record& record) {
    const MachineInfo& machine = record.machine;
    const BuildInfo& build = record.build;
    const Summary& summary = record.summary;
    std::string arguments;
    for (const std::string& argument : record.arguments) {
        arguments += (arguments.empty() ? "" : ", ") + json_string(argument);
    }
    std::string json = "{\n";
    json += "  \"schema_version\": " + std::to_string(json_schema_version) + ",\n";
    json += "  \"picalc_record_version\": " + json_string(record.record_version) + ",\n";
    json += "  \"date\": " + json_string(record.date) + ",\n";
    json += "  \"run_by\": " + json_string(record.run_by) + ",\n";
    json += "  \"arguments\": [" + arguments + "],\n";
    json += "  \"run\": " + json_string(record.run_name) + ",\n";
    json += "  \"machine\": {\"processor\": " + json_text(machine.processor) +
            ", \"logical_processors\": " + json_count(machine.logical_processors) +
            ", \"usable_processors\": " + json_count(machine.usable_processors) +
            ", \"physical_cores\": " + json_count(machine.physical_cores) + ", \"hypervisor\": " +
            (machine.hypervisor < 0    ? "null"
             : machine.hypervisor == 1 ? "true"
                                       : "false") +
            ", \"system\": " + json_text(machine.system) +
            ", \"kernel\": " + json_text(machine.kernel) +
            ", \"architecture\": " + json_text(machine.architecture) +
            ", \"vendor\": " + json_text(machine.vendor) +
            ", \"family\": " + json_number(machine.family) +
            ", \"model\": " + json_number(machine.model) +
            ", \"stepping\": " + json_number(machine.stepping) +
            ", \"microarchitecture\": " + json_text(machine.microarchitecture) +
            ", \"microcode\": " + json_text(machine.microcode) +
            ", \"max_mhz\": " + json_number(machine.max_mhz) +
            ", \"base_mhz\": " + json_number(machine.base_mhz) +
            ", \"reported_mhz\": " + json_number(machine.reported_mhz) +
            ", \"caches\": " + json_caches(machine.caches) +
            ", \"memory_mib\": " + json_number(machine.memory_mib) +
            ", \"smt\": " + json_switch(machine.smt) +
            ", \"governor\": " + json_text(machine.governor) +
            ", \"scaling_driver\": " + json_text(machine.scaling_driver) +
            ", \"boost\": " + json_switch(machine.boost) +
            ", \"energy_preference\": " + json_text(machine.energy_preference) + "},\n";
    json +=
        "  \"build\": {\"picalc_version\": " + json_text(build.version) +
        ", \"compiler\": " + json_text(build.compiler) + ", \"flags\": " + json_text(build.flags) +
        ", \"linking\": " + json_text(build.linking) + ", \"target\": " + json_text(build.target) +
        ", \"libc\": " + json_text(build.libc) + "},\n";
    json += "  \"runs\": [";
    for (std::size_t i = 0; i < record.single.size(); ++i) {
        json += (i == 0 ? "\n    " : ",\n    ") + json_run(record.single[i]);
    }
    json += "\n  ],\n  \"copies\": [";
    for (std::size_t r = 0; r < record.copies.size(); ++r) {
        json += r == 0 ? "\n    [" : ",\n    [";
        for (std::size_t i = 0; i < record.copies[r].size(); ++i) {
            json += (i == 0 ? "\n      " : ",\n      ") + json_run(record.copies[r][i]);
        }
        json += "\n    ]";
    }
    json += record.copies.empty() ? "],\n" : "\n  ],\n";
    json += "  \"summary\": {\"median\": " + seconds_text(summary.median) +
            ", \"minimum\": " + seconds_text(summary.minimum) +
            ", \"maximum\": " + seconds_text(summary.maximum);
    if (!summary.copies.empty()) {
        char scaling[32];
        static_cast<void>(std::snprintf(scaling, sizeof scaling, "%.3f", summary.scaling));
        json += ", \"copies_at_once\": " + std::to_string(summary.copies.front().size()) +
                ", \"copy_median\": " + seconds_text(summary.copy_median) +
                ", \"scaling\": " + scaling;
    }
    std::string disturbed;
    for (const std::string& run : summary.disturbed) {
        disturbed += (disturbed.empty() ? "" : ", ") + json_string(run);
    }
    json += ", \"highest_other_load\": " + json_load(summary.highest_load) + ", \"disturbed\": [" +
            disturbed + "]";
    return json + "}\n}\n";
}

std::string default_record_name(const Record& record) {
    std::string processor = record.machine.processor;
    for (const char* mark : {"(R)", "(r)", "(TM)", "(tm)"}) {
        for (std::size_t at = 0; (at = processor.find(mark)) != std::string::npos;) {
            processor.erase(at, std::string(mark).size());
        }
    }
    std::string name = record.date + "-" + known(slug(processor, 4));
    if (!record.machine.microarchitecture.empty()) {
        name += "-" + slug(record.machine.microarchitecture, 3); // "zen-4"
    }
    if (!record.build.compiler.empty()) {
        name += "-" + slug(record.build.compiler, 2); // "gcc-12"
    }
    return name + ".txt";
}

} // namespace picalc::record
