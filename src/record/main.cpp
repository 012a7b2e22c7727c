// picalc-record [OPTIONS] [--] [digits [formula-switch]]: runs the picalc
// beside it, unmodified, several times and then as many copies at once as
// there are processors; checks every output with picalc-check's code; and
// writes a record for results/ (and JSON on request) with the machine and the
// build that made it. The score is always picalc's own "Total time" line:
// this program reads no clock. Exits 0 with a record, 1 when a run failed or
// was not genuine (its output is kept), 2 when it could not start.
#include "portme.h"
#include "record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

using namespace picalc::record;

constexpr int status_recorded = 0;
constexpr int status_run_failed = 1;
constexpr int status_cannot_start = 2;
constexpr std::size_t max_binary_bytes = std::size_t{256} << 20U;

// The build line of the program's build file into BUILD; false, said on
// standard error, when the file cannot be read.
bool read_build(const Program& program, BuildInfo& build) {
    std::string binary;
    if (!read_file(program.build_file, binary, max_binary_bytes)) {
        static_cast<void>(std::fprintf(stderr, "picalc-record: cannot read %s: %s\n",
                                       program.build_file.c_str(), std::strerror(errno)));
        return false;
    }
    static_cast<void>(parse_build_info(binary, build));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const RecordOptions options = parse_record_options(argc, argv);
    if (!options.error.empty()) {
        static_cast<void>(
            std::fprintf(stderr, "picalc-record: %s\n%s", options.error.c_str(), usage_text));
        return status_cannot_start;
    }
    if (options.help) {
        static_cast<void>(std::printf("%s", usage_text));
        return status_recorded;
    }
    const Program picalc =
        program_of(options.picalc.empty() ? picalc_beside(argv[0]) : options.picalc);
    const Program versus = program_of(options.versus);

    Record record;
    record.date = today();
    record.record_version = PICALC_VERSION;
    record.arguments = options.picalc_arguments;
    record.run_by = options.run_by;
    record.machine = read_machine();
    const CoreClasses classes = read_core_classes();
    record.machine.core_classes = classes.classes;
    record.machine.single_run_cores = single_run_cores_text(classes);
    record.has_versus = !options.versus.empty();
    record.versus.program = options.versus;
    if (!read_build(picalc, record.build) ||
        (record.has_versus && !read_build(versus, record.versus.build))) {
        return status_cannot_start;
    }

    const std::int32_t processors = record.machine.logical_processors;
    const std::int32_t copies =
        options.copies == all_processors ? record.machine.usable_processors : options.copies;
    const std::int32_t at_once = copies >= 2 ? copies : 0;
    const std::string record_path =
        options.record.empty() ? unused_name(default_record_name(record)) : options.record;
    std::string error = output_problem(options, record_path);
    if (!error.empty()) {
        static_cast<void>(std::fprintf(stderr, "picalc-record: %s\n", error.c_str()));
        return status_cannot_start;
    }
    const std::string warning = governor_warning(record.machine);
    if (!warning.empty()) {
        static_cast<void>(
            std::fprintf(stderr,
                         "picalc-record: warning: %s; the runs go ahead, but may not show this "
                         "machine's best\n",
                         warning.c_str()));
    }

    std::string shown_arguments;
    for (const std::string& argument : options.picalc_arguments) {
        shown_arguments += " " + argument;
    }
    static_cast<void>(std::fprintf(stderr, "picalc-record: %s%s, %d runs",
                                   picalc.build_file.c_str(), shown_arguments.c_str(),
                                   options.runs));
    if (record.has_versus) {
        static_cast<void>(std::fprintf(stderr, " in pairs with %s (B)", options.versus.c_str()));
    }
    if (at_once > 0) {
        static_cast<void>(
            std::fprintf(stderr, ", then %d rounds of %d copies at once", options.runs, at_once));
    }
    static_cast<void>(std::fprintf(stderr, "\n"));

    // The runs' output goes to a folder of this process's own, which is
    // removed when it ends, by a signal too; only a failed run's output is
    // kept there, for its owner to read.
    const std::string folder = make_private_folder(error);
    if (folder.empty()) {
        static_cast<void>(std::fprintf(stderr, "picalc-record: %s\n", error.c_str()));
        return status_cannot_start;
    }
    // Tried before the first run, so that a system that will not pin is
    // said once, in the record too, and is no reason to stop.
    std::vector<std::int32_t> single_processors;
    if (classes.processor >= 0) {
        single_processors.push_back(classes.processor);
    }
    if (!single_processors.empty() &&
        !(pin_runs(single_processors, error) && pin_runs({}, error))) {
        static_cast<void>(std::fprintf(
            stderr, "picalc-record: warning: cannot keep single runs on processor %d: %s\n",
            classes.processor, error.c_str()));
        record.machine.single_run_cores =
            "single runs wherever the system put them, for it would not pin them (" + error + ")";
        single_processors.clear();
    } else if (!single_processors.empty()) {
        static_cast<void>(
            std::fprintf(stderr, "picalc-record: %s\n", record.machine.single_run_cores.c_str()));
    }
    prepare_runs(folder, options.time_limit_seconds, single_processors);
    catch_stop_signals();
    const bool ran = record.has_versus
                         ? run_alternated(picalc, versus, options, at_once, processors,
                                          (std::uint64_t{std::random_device{}()} << 32U) ^
                                              std::random_device{}(),
                                          record)
                         : run_singles(picalc, options, processors, record) &&
                               run_rounds(picalc, options, at_once, processors, record);
    const bool kept_output = !remove_folder(folder);
    if (stop_signal() != 0) {
        static_cast<void>(std::fprintf(stderr, "\npicalc-record: stopped; no record written\n"));
        end_by_signal(stop_signal());
    }
    if (!ran) {
        if (kept_output) {
            static_cast<void>(
                std::fprintf(stderr, "picalc-record: the output is in %s\n", folder.c_str()));
        }
        return status_run_failed;
    }
    record.run_name = record.single.front().run_name;
    record.summary = summarize(record.single, record.copies);
    record.versus.summary = summarize(record.versus.single, record.versus.copies);
    if (!write_file(record_path, record_text(record), error) ||
        (!options.json.empty() && !write_file(options.json, record_json(record), error))) {
        static_cast<void>(std::fprintf(stderr, "picalc-record: %s\n", error.c_str()));
        return status_cannot_start;
    }
    static_cast<void>(std::printf("%s", summary_text(record).c_str()));
    static_cast<void>(std::printf("Record: %s\n", record_path.c_str()));
    if (!options.json.empty()) {
        static_cast<void>(std::printf("JSON: %s\n", options.json.c_str()));
    }
    return status_recorded;
}
