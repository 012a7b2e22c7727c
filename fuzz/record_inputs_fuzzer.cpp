// Fuzzes what picalc-record reads: its command line (the input split at
// each NUL) and what a system says of its machine (/proc/cpuinfo,
// os-release, /proc/stat), each given the whole input. Beyond not crashing
// or hanging: options it accepts are within their stated bounds, no text it
// would put on a line of the record holds a control character, and the
// processor time it reads is never negative or busier than the total.
#include "record.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool one_line(const std::string& text) {
    return std::ranges::none_of(text, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

void parse_options(const std::string& bytes) {
    using namespace picalc::record;
    std::vector<std::string> arguments(1, "picalc-record");
    arguments.emplace_back();
    for (const char c : bytes) {
        if (c == '\0') {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(c);
        }
    }
    std::vector<const char*> argv;
    argv.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    const RecordOptions options = parse_record_options(static_cast<int>(argv.size()), argv.data());
    if (!one_line(options.error)) {
        std::abort();
    }
    if (!options.error.empty()) {
        return;
    }
    bool arguments_on_one_line = one_line(options.run_by);
    for (const std::string& argument : options.picalc_arguments) {
        arguments_on_one_line = arguments_on_one_line && one_line(argument);
    }
    if (!arguments_on_one_line || options.runs < 1 || options.runs > max_runs ||
        options.copies < all_processors || options.time_limit_seconds < 1 ||
        (!options.record.empty() && options.record == options.json)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace picalc::record;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    parse_options(bytes);
    MachineInfo machine;
    parse_cpuinfo(bytes, machine);
    if (!one_line(machine.processor) || !one_line(machine.vendor) ||
        !one_line(machine.microarchitecture) || !one_line(machine.microcode) ||
        !one_line(parse_os_release(bytes))) {
        std::abort();
    }
    const picalc::stats::ProcessorTimes times = parse_proc_stat(bytes, 100);
    if ((times.total_seconds < 0) != (times.busy_seconds < 0) ||
        times.busy_seconds > times.total_seconds) {
        std::abort();
    }
    return 0;
}
