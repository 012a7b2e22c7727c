// Fuzzes what picalc-record reads: its command line (the input split at
// each NUL) and what a system says of its machine (/proc/cpuinfo,
// os-release, /proc/stat, sysfs processor lists), each given the whole
// input. Beyond not crashing or hanging: options it accepts are within their
// stated bounds, no text it would put on a line of the record holds a
// control character, the processor time it reads is never negative or
// busier than the total, and a processor list is ascending, within the
// kernel's limit, and reads back from its own text.
#include "fuzz_input.h"
#include "record.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using picalc::fuzz::printable;

void parse_options(const std::string& bytes) {
    using namespace picalc::record;
    const RecordOptions options =
        picalc::fuzz::parse_command_line_of("picalc-record", bytes, parse_record_options);
    if (!printable(options.error)) {
        std::abort();
    }
    if (!options.error.empty()) {
        return;
    }
    bool arguments_on_one_line = printable(options.run_by);
    for (const std::string& argument : options.picalc_arguments) {
        arguments_on_one_line = arguments_on_one_line && printable(argument);
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
    if (!printable(machine.processor) || !printable(machine.vendor) ||
        !printable(machine.microarchitecture) || !printable(machine.microcode) ||
        !printable(parse_os_release(bytes))) {
        std::abort();
    }
    const picalc::stats::ProcessorTimes times = parse_proc_stat(bytes, 100);
    if ((times.total_seconds < 0) != (times.busy_seconds < 0) ||
        times.busy_seconds > times.total_seconds) {
        std::abort();
    }
    const std::vector<std::int32_t> processors = processor_list(bytes);
    for (std::size_t i = 0; i < processors.size(); ++i) {
        if (processors[i] < 0 || processors[i] >= max_processor_number ||
            (i > 0 && processors[i] <= processors[i - 1])) {
            std::abort();
        }
    }
    if (processor_list(processor_list_text(processors)) != processors) {
        std::abort();
    }
    return 0;
}
