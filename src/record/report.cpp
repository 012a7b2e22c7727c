// The result in the forms people and programs read: the summary printed at
// the end, the record for results/ (the header, the summary, and every
// single run's whole output, so that picalc-check can check it again), and
// JSON. The summary is always derived from the runs' own times.
#include "log_check.h"
#include "record.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace picalc::record {
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

std::string json_run(const RunResult& run) {
    return "{\"seconds\": " + (run.valid ? run.seconds : std::string("null")) +
           ", \"exit_status\": " + std::to_string(run.exit_status) +
           ", \"valid\": " + (run.valid ? "true" : "false") +
           ", \"verdict\": " + json_string(run.verdict) + "}";
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

bool continuation_byte(unsigned char c) {
    return (c & 0xC0U) == 0x80U;
}

// How many bytes the well-formed UTF-8 sequence at text[i] takes; 0 if none.
std::size_t utf8_length(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (!continuation_byte(static_cast<unsigned char>(text[i + k]))) {
            return 0;
        }
    }
    return length;
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
    if (!summary.single.empty()) {
        summary.median = check::median_of(summary.single);
        summary.minimum = *std::min_element(summary.single.begin(), summary.single.end());
        summary.maximum = *std::max_element(summary.single.begin(), summary.single.end());
    }
    if (!all_copies.empty()) {
        summary.copy_median = check::median_of(all_copies);
        const auto at_once = static_cast<double>(copies.front().size());
        summary.scaling =
            summary.copy_median > 0 ? at_once * summary.median / summary.copy_median : 0;
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
        return text;
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
    return text + scaling;
}

std::string record_text(const Record& record) {
    const MachineInfo& machine = record.machine;
    std::string text = "CPU: " + known(machine.processor) + "\n";
    text += "Cores: " + cores_text(machine) + "\n";
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

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += {'\\', static_cast<char>(c)};
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "\\u%04x", c));
            out += escaped;
        } else if (c >= 0x80) {
            const std::size_t length = utf8_length(text, i);
            // Bytes that are not UTF-8 become U+FFFD, so the file stays JSON.
            out += length == 0 ? "\\ufffd" : text.substr(i, length);
            i += length == 0 ? 1 : length;
            continue;
        } else {
            out.push_back(static_cast<char>(c));
        }
        ++i;
    }
    return out + "\"";
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
            ", \"architecture\": " + json_text(machine.architecture) + "},\n";
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
    if (!record.build.compiler.empty()) {
        name += "-" + slug(record.build.compiler, 2); // "gcc-12"
    }
    return name + ".txt";
}

} // namespace picalc::record
