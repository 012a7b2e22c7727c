// The record of a measurement picalc's page made: the page hands over what
// it measured and what the browser told of itself, as JSON, and the record
// and its JSON are written by the same code as picalc-record's, with
// "unknown" for all a browser cannot see.
#include "json_reader.h"
#include "record_format.h"

#include <cmath>

namespace picalc::record_format {
namespace {

// Far beyond any machine's memory, and small enough that its MiB fit in 64
// bits.
constexpr double max_memory_gib = 1 << 30;

// The times of one series: each a finite number of 0 or more.
std::vector<double> times_from(Reader& read, const Json* array, const char* name) {
    std::vector<double> times;
    if (array == nullptr) {
        return times;
    }
    for (const Json& seconds : *array) {
        if (!seconds.is_number() || !std::isfinite(seconds.get<double>()) ||
            seconds.get<double>() < 0) {
            read.fail(name, "an array of times in seconds");
            break;
        }
        times.push_back(seconds.get<double>());
    }
    return times;
}

RunResult page_run(double seconds, const std::string& run_name, const std::string& output) {
    RunResult run;
    // The page checks every output with picalc-compare before it keeps
    // the measurement, and runs nothing that failed.
    run.exit_status = 0;
    run.valid = true;
    run.verdict = "verified";
    run.seconds = seconds_text(seconds);
    run.run_name = run_name;
    run.output = output;
    return run;
}

// "Android 14 (platform version 14.0.0, model Pixel 8)": the system as the
// browser names it, with the details client hints add.
std::string page_system(const std::string& system, const std::string& platform_version,
                        const std::string& model) {
    if (system.empty()) {
        return "";
    }
    std::string details;
    if (!platform_version.empty()) {
        details = "platform version " + platform_version;
    }
    if (!model.empty()) {
        details += (details.empty() ? "" : ", ") + std::string("model ") + model;
    }
    return details.empty() ? system : system + " (" + details + ")";
}

} // namespace

bool record_from_page(const std::string& measurement, const std::string& wasm_binary,
                      Record& record, std::string& error) {
    const Json json = Json::parse(measurement, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = "not a JSON object";
        return false;
    }
    Reader read;
    record = Record{};
    record.from_page = true;
    record.date = read.text(json, "date");
    record.run_by = "unknown";
    record.arguments = read.texts(json, "arguments");
    const std::int64_t digits = read.count(json, "digits");
    if (digits < 0) {
        read.fail("digits", "a count of digits");
    }
    record.run_name = std::to_string(digits) + " digits [" + read.text(json, "formula") + "]";

    PageInfo& page = record.page;
    page.browser = read.text(json, "browser");
    page.engine = read.text(json, "engine");
    page.platform = read.text(json, "platform");
    if (const Json* stages = read.member(json, "stage_seconds")) {
        if (!stages->is_object()) {
            read.fail("stage_seconds", "an object");
        } else {
            for (const auto& [name, seconds] : stages->items()) {
                page.stage_seconds.emplace_back(name, read.number(*stages, name.c_str()));
            }
        }
    }

    MachineInfo& machine = record.machine;
    machine.logical_processors = read.count32(json, "logical_processors");
    machine.usable_processors = machine.logical_processors;
    const std::string system = read.text(json, "system");
    const std::string platform_version = read.text(json, "platform_version");
    machine.system = page_system(system, platform_version, read.text(json, "model"));
    machine.architecture = read.text(json, "architecture");
    // A browser rounds the memory it reports to a power of two of GiB.
    const double memory_gib = read.number(json, "memory_gib");
    if (memory_gib > max_memory_gib) {
        read.fail("memory_gib", "a memory size a browser reports");
    }
    machine.memory_mib = memory_gib < 0 ? -1 : std::llround(memory_gib * 1024);

    static_cast<void>(parse_build_info(wasm_binary, record.build));
    record.record_version = record.build.version;

    const std::vector<double> times = times_from(read, read.array(json, "times"), "times");
    const std::vector<std::string> outputs = read.texts(json, "outputs");
    if (read.error().empty() && (times.empty() || outputs.size() != times.size())) {
        read.set_error("\"times\" and \"outputs\" do not give one output for each run");
    }
    for (std::size_t i = 0; i < times.size() && i < outputs.size(); ++i) {
        record.single.push_back(page_run(times[i], record.run_name, outputs[i]));
    }
    if (const Json* rounds = read.array(json, "copies")) {
        for (const Json& round : *rounds) {
            if (!round.is_array() || round.empty()) {
                read.fail("copies", "an array of rounds of times");
                break;
            }
            record.copies.emplace_back();
            for (const double seconds : times_from(read, &round, "copies")) {
                record.copies.back().push_back(page_run(seconds, record.run_name, ""));
            }
        }
    }
    if (!read.error().empty()) {
        error = read.error();
        return false;
    }
    record.summary = summarize(record.single, record.copies);
    return true;
}

} // namespace picalc::record_format
