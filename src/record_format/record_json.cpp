// The record as programs read it, through nlohmann/json: every run's time,
// exit status, verdict and load, every round of copies, and the summary.
// Unknown values are null rather than absent, so that a reader sees every
// member of doc/record.schema.json in every file. Text that is not UTF-8
// (a processor name from a strange firmware) is written with U+FFFD in
// place of each bad byte, never refused.
#include "json_reader.h"
#include "record_format.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace picalc::record_format {
namespace {

Json text_or_null(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

Json count_or_null(std::int64_t count) {
    return count < 0 ? Json(nullptr) : Json(count);
}

Json switch_or_null(std::int32_t value) {
    return value < 0 ? Json(nullptr) : Json(value == 1);
}

Json load_or_null(double load) {
    return load < 0 ? Json(nullptr) : Json(rounded(load, "%.3f"));
}

Json run_json(const RunResult& run) {
    return {
        {"seconds", run.valid ? Json(std::strtod(run.seconds.c_str(), nullptr)) : Json(nullptr)},
        {"exit_status", run.exit_status},
        {"valid", run.valid},
        {"verdict", run.verdict},
        {"other_load", load_or_null(run.other_load)}};
}

Json machine_json(const MachineInfo& machine) {
    Json caches = Json::array();
    for (const CacheInfo& cache : machine.caches) {
        caches.push_back({{"level", count_or_null(cache.level)},
                          {"type", text_or_null(cache.type)},
                          {"size_kib", count_or_null(cache.size_kib)},
                          {"shared_by", count_or_null(cache.shared_by)}});
    }
    return {{"processor", text_or_null(machine.processor)},
            {"logical_processors", count_or_null(machine.logical_processors)},
            {"usable_processors", count_or_null(machine.usable_processors)},
            {"physical_cores", count_or_null(machine.physical_cores)},
            {"core_classes", count_or_null(machine.core_classes)},
            {"single_run_cores", text_or_null(machine.single_run_cores)},
            {"hypervisor", switch_or_null(machine.hypervisor)},
            {"system", text_or_null(machine.system)},
            {"kernel", text_or_null(machine.kernel)},
            {"architecture", text_or_null(machine.architecture)},
            {"vendor", text_or_null(machine.vendor)},
            {"family", count_or_null(machine.family)},
            {"model", count_or_null(machine.model)},
            {"stepping", count_or_null(machine.stepping)},
            {"microarchitecture", text_or_null(machine.microarchitecture)},
            {"microcode", text_or_null(machine.microcode)},
            {"max_mhz", count_or_null(machine.max_mhz)},
            {"base_mhz", count_or_null(machine.base_mhz)},
            {"reported_mhz", count_or_null(machine.reported_mhz)},
            {"caches", caches},
            {"memory_mib", count_or_null(machine.memory_mib)},
            {"smt", switch_or_null(machine.smt)},
            {"governor", text_or_null(machine.governor)},
            {"scaling_driver", text_or_null(machine.scaling_driver)},
            {"boost", switch_or_null(machine.boost)},
            {"energy_preference", text_or_null(machine.energy_preference)}};
}

Json trend_json(const stats::Trend& trend) {
    if (!trend.tested) {
        return {{"tested", false}, {"count", trend.n}};
    }
    return {{"tested", true},
            {"count", trend.n},
            {"p", rounded(trend.p, "%.6g")},
            {"change", rounded(trend.change, "%.4f")},
            {"drifted", trend.drifted}};
}

Json summary_json(const Summary& summary, bool loads_known) {
    Json json = {{"median", rounded(summary.median, "%.6f")},
                 {"minimum", rounded(summary.minimum, "%.6f")},
                 {"maximum", rounded(summary.maximum, "%.6f")},
                 {"drift", trend_json(summary.drift)}};
    if (!summary.copies.empty()) {
        json["copies_at_once"] = summary.copies.front().size();
        json["copy_median"] = rounded(summary.copy_median, "%.6f");
        json["scaling"] = rounded(summary.scaling, "%.3f");
        json["copy_drift"] = trend_json(summary.copy_drift);
    }
    json["highest_other_load"] = load_or_null(summary.highest_load);
    // A browser cannot see other processes: whether they disturbed a run is
    // unknown, not "none".
    json["disturbed"] = loads_known ? Json(summary.disturbed) : Json(nullptr);
    return json;
}

RunResult run_from_json(Reader& read, const Json& json) {
    RunResult run;
    const double seconds = read.number(json, "seconds");
    run.seconds = seconds < 0 ? "" : seconds_text(seconds);
    run.exit_status = read.count32(json, "exit_status");
    run.valid = read.flag(json, "valid") == 1;
    run.verdict = read.text(json, "verdict");
    run.other_load = read.number(json, "other_load");
    return run;
}

Json build_json(const BuildInfo& build) {
    return {{"picalc_version", text_or_null(build.version)},
            {"compiler", text_or_null(build.compiler)},
            {"flags", text_or_null(build.flags)},
            {"linking", text_or_null(build.linking)},
            {"target", text_or_null(build.target)},
            {"libc", text_or_null(build.libc)}};
}

BuildInfo build_from_json(Reader& read, const Json& b) {
    return {read.text(b, "picalc_version"), read.text(b, "compiler"), read.text(b, "flags"),
            read.text(b, "linking"),        read.text(b, "target"),   read.text(b, "libc")};
}

Json runs_json(const std::vector<RunResult>& single) {
    Json runs = Json::array();
    for (const RunResult& run : single) {
        runs.push_back(run_json(run));
    }
    return runs;
}

Json rounds_json(const std::vector<std::vector<RunResult>>& rounds) {
    Json copies = Json::array();
    for (const std::vector<RunResult>& round : rounds) {
        copies.push_back(runs_json(round));
    }
    return copies;
}

void runs_from_json(Reader& read, const Json& json, std::vector<RunResult>& single,
                    std::vector<std::vector<RunResult>>& copies) {
    if (const Json* runs = read.array(json, "runs")) {
        for (const Json& run : *runs) {
            single.push_back(run_from_json(read, run));
        }
    }
    if (const Json* rounds = read.array(json, "copies")) {
        for (const Json& round : *rounds) {
            if (!round.is_array()) {
                read.fail("copies", "an array of rounds");
                break;
            }
            copies.emplace_back();
            for (const Json& run : round) {
                copies.back().push_back(run_from_json(read, run));
            }
        }
    }
}

} // namespace

double rounded(double value, const char* pattern) {
    char text[64];
    static_cast<void>(std::snprintf(text, sizeof text, pattern, value));
    return std::strtod(text, nullptr);
}

std::string record_json(const Record& record) {
    const BuildInfo& build = record.build;
    Json json = {{"schema_version", json_schema_version},
                 {"picalc_record_version", text_or_null(record.record_version)},
                 {"date", record.date},
                 {"run_by", record.run_by},
                 {"arguments", record.arguments},
                 {"run", record.run_name},
                 {"machine", machine_json(record.machine)},
                 {"build", build_json(build)},
                 {"runs", runs_json(record.single)},
                 {"copies", rounds_json(record.copies)},
                 {"summary", summary_json(record.summary, !record.from_page)}};
    if (record.has_versus) {
        const Versus& versus = record.versus;
        json["versus"] = {{"program", versus.program},
                          {"build", build_json(versus.build)},
                          {"runs", runs_json(versus.single)},
                          {"copies", rounds_json(versus.copies)},
                          {"summary", summary_json(versus.summary, true)},
                          {"order", versus.order},
                          {"copy_order", text_or_null(versus.copy_order)}};
    }
    if (record.from_page) {
        // The page's record names the browser as its compiler, the one
        // that made its machine code; the WebAssembly's own compiler and
        // flags follow under their own names.
        const PageInfo& page = record.page;
        Json& page_build = json["build"];
        page_build["compiler"] = page.browser + " (" + page.engine + " engine)";
        page_build["flags"] = nullptr;
        page_build["linking"] = "WebAssembly page";
        page_build["browser"] = page.browser;
        page_build["engine"] = page.engine;
        page_build["platform"] = page.platform;
        page_build["webassembly_compiler"] = text_or_null(build.compiler);
        page_build["webassembly_flags"] = text_or_null(build.flags);
        Json stages = Json::object();
        for (const auto& [name, seconds] : page.stage_seconds) {
            stages[name] = seconds;
        }
        json["stage_seconds"] = stages;
    }
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool record_from_json(const std::string& text, Record& record, std::string& error) {
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = "not a JSON object";
        return false;
    }
    Reader read;
    if (read.count(json, "schema_version") != json_schema_version && read.error().empty()) {
        read.set_error("schema_version is not " + std::to_string(json_schema_version));
    }
    record = Record{};
    record.record_version = read.text(json, "picalc_record_version");
    record.date = read.text(json, "date");
    record.run_by = read.text(json, "run_by");
    record.run_name = read.text(json, "run");
    record.arguments = read.texts(json, "arguments");
    if (const Json* machine_member = read.member(json, "machine")) {
        const Json& m = *machine_member;
        MachineInfo& machine = record.machine;
        machine.processor = read.text(m, "processor");
        machine.logical_processors = read.count32(m, "logical_processors");
        machine.usable_processors = read.count32(m, "usable_processors");
        machine.physical_cores = read.count32(m, "physical_cores");
        // Records made before core classes were told have neither.
        if (m.contains("core_classes")) {
            machine.core_classes = read.count32(m, "core_classes");
            machine.single_run_cores = read.text(m, "single_run_cores");
        }
        machine.hypervisor = read.flag(m, "hypervisor");
        machine.system = read.text(m, "system");
        machine.kernel = read.text(m, "kernel");
        machine.architecture = read.text(m, "architecture");
        machine.vendor = read.text(m, "vendor");
        machine.family = read.count32(m, "family");
        machine.model = read.count32(m, "model");
        machine.stepping = read.count32(m, "stepping");
        machine.microarchitecture = read.text(m, "microarchitecture");
        machine.microcode = read.text(m, "microcode");
        machine.max_mhz = read.count32(m, "max_mhz");
        machine.base_mhz = read.count32(m, "base_mhz");
        machine.reported_mhz = read.count32(m, "reported_mhz");
        if (const Json* caches = read.array(m, "caches")) {
            for (const Json& cache : *caches) {
                machine.caches.push_back({read.count32(cache, "level"), read.text(cache, "type"),
                                          read.count(cache, "size_kib"),
                                          read.count32(cache, "shared_by")});
            }
        }
        machine.memory_mib = read.count(m, "memory_mib");
        machine.smt = read.flag(m, "smt");
        machine.governor = read.text(m, "governor");
        machine.scaling_driver = read.text(m, "scaling_driver");
        machine.boost = read.flag(m, "boost");
        machine.energy_preference = read.text(m, "energy_preference");
    }
    if (const Json* build_member = read.member(json, "build")) {
        record.build = build_from_json(read, *build_member);
    }
    runs_from_json(read, json, record.single, record.copies);
    const Json* versus_member = json.contains("versus") ? read.member(json, "versus") : nullptr;
    if (versus_member != nullptr) {
        record.has_versus = true;
        Versus& versus = record.versus;
        const Json& member = *versus_member;
        versus.program = read.text(member, "program");
        if (const Json* build_member = read.member(member, "build")) {
            versus.build = build_from_json(read, *build_member);
        }
        runs_from_json(read, member, versus.single, versus.copies);
        versus.order = read.text(member, "order");
        versus.copy_order = read.text(member, "copy_order");
        versus.summary = summarize(versus.single, versus.copies);
    }
    static_cast<void>(read.member(json, "summary"));
    if (!read.error().empty()) {
        error = read.error();
        return false;
    }
    record.summary = summarize(record.single, record.copies);
    return true;
}

} // namespace picalc::record_format
