// picalc-record [OPTIONS] [--] [digits [formula-switch]]: runs the picalc
// beside it, unmodified, several times and then as many copies at once as
// there are processors; checks every output with picalc-check's code; and
// writes a record for results/ (and JSON on request) with the machine and the
// build that made it. The score is always picalc's own "Total time" line:
// this program reads no clock. Exits 0 with a record, 1 when a run failed or
// was not genuine (its output is kept), 2 when it could not start.
#include "log_check.h"
#include "portme.h"
#include "record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using namespace picalc::record;

constexpr int status_recorded = 0;
constexpr int status_run_failed = 1;
constexpr int status_cannot_start = 2;
constexpr std::size_t max_binary_bytes = std::size_t{256} << 20U;

struct Job {
    std::string label; // "run 2 of 3", "copy 1 of round 2"
    std::string output_path;
    Child child;
    RunResult result;
};

bool read_file(const std::string& path, std::string& text, std::size_t limit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char chunk[65536];
    std::size_t got = 0;
    while (text.size() < limit && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    const bool read = std::ferror(file) == 0;
    static_cast<void>(std::fclose(file)); // only read from
    return read;
}

bool exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        static_cast<void>(std::fclose(file)); // only probed
    }
    return file != nullptr;
}

// The file is written whole beside its final name, then renamed onto it, so
// a failure leaves no half-written record.
bool write_file(const std::string& path, const std::string& text, std::string& error) {
    const std::string partial = path + ".partial-" + std::to_string(process_number());
    std::FILE* file = std::fopen(partial.c_str(), "w");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file != nullptr) {
        written = std::fclose(file) == 0 && written;
    }
    // Windows' rename does not replace a file: only --overwrite lets one be
    // there by now.
    if (written && std::rename(partial.c_str(), path.c_str()) != 0) {
        written = std::remove(path.c_str()) == 0 && std::rename(partial.c_str(), path.c_str()) == 0;
    }
    if (!written) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        static_cast<void>(std::remove(partial.c_str()));
    }
    return written;
}

// The default name, or the first of NAME-2.txt, NAME-3.txt ... that does
// not exist yet: a record of the same day and machine is never replaced.
std::string unused_name(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - 4); // less ".txt"
    std::string candidate = name;
    for (std::int32_t number = 2; exists(candidate); ++number) {
        candidate = stem + "-" + std::to_string(number) + ".txt";
    }
    return candidate;
}

// Whether the file can be written, found out before minutes of runs; a file
// that did not exist is not left behind.
bool writable(const std::string& path, std::string& error) {
    const bool existed = exists(path);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    static_cast<void>(std::fclose(file)); // nothing written
    if (!existed) {
        static_cast<void>(std::remove(path.c_str()));
    }
    return true;
}

// The output with CR LF line ends made LF: the record is written as text.
std::string lf_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') {
            out.push_back(text[i]);
        }
    }
    return out;
}

void check_job(Job& job, std::int32_t exit_status) {
    RunResult& result = job.result;
    result.exit_status = exit_status;
    std::FILE* output = std::fopen(job.output_path.c_str(), "rb");
    picalc::check::CheckReport report;
    if (output == nullptr || !picalc::check::check_saved_log_from(output, report)) {
        report.message = "its output could not be read";
    }
    if (output != nullptr) {
        static_cast<void>(std::fclose(output)); // only read from
    }
    result.verdict = report.message;
    result.valid = exit_status == 0 && report.verdict == picalc::check::Verdict::Valid;
    result.seconds = report.seconds;
    if (result.valid) {
        result.run_name = picalc::check::run_name(report.digit_count, report.formula);
        result.output.clear();
        static_cast<void>(read_file(job.output_path, result.output, SIZE_MAX));
        result.output = lf_text(result.output);
    }
}

std::string exit_text(std::int32_t status) {
    return status < 0 ? "was killed or lost" : "exited with status " + std::to_string(status);
}

// How many processors other work kept busy while the jobs ran; -1 when the
// system or a job does not tell.
double other_load(const ProcessorTimes& before, const ProcessorTimes& after,
                  const std::vector<Job>& jobs, std::int32_t processors) {
    double own = 0;
    for (const Job& job : jobs) {
        if (job.child.cpu_seconds < 0) {
            return -1;
        }
        own += job.child.cpu_seconds;
    }
    return picalc::stats::other_load(before, after, own, processors);
}

// Runs the jobs at once and checks each; false after saying what went wrong
// with the first bad one, whose output is kept. Each result gets the load of
// other work while they ran.
bool run_together(const std::string& picalc, const std::vector<std::string>& arguments,
                  std::int32_t processors, std::vector<Job>& jobs) {
    const ProcessorTimes before = read_processor_times();
    for (Job& job : jobs) {
        if (!start_child(picalc, arguments, job.output_path, job.child)) {
            static_cast<void>(std::fprintf(stderr, "\npicalc-record: cannot run %s: %s\n",
                                           picalc.c_str(), job.child.error.c_str()));
            for (Job& started : jobs) {
                if (started.child.handle != -1) {
                    static_cast<void>(wait_child(started.child));
                }
                static_cast<void>(std::remove(started.output_path.c_str()));
            }
            return false;
        }
    }
    std::vector<std::int32_t> statuses;
    statuses.reserve(jobs.size());
    for (Job& job : jobs) {
        statuses.push_back(wait_child(job.child));
    }
    const double load = other_load(before, read_processor_times(), jobs, processors);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        check_job(jobs[i], statuses[i]);
        jobs[i].result.other_load = load;
    }
    bool all_valid = true;
    for (Job& job : jobs) {
        if (job.result.valid || !all_valid) {
            static_cast<void>(std::remove(job.output_path.c_str()));
            continue;
        }
        all_valid = false;
        static_cast<void>(std::fprintf(stderr, "\npicalc-record: %s: picalc %s; %s\n",
                                       job.label.c_str(), exit_text(job.result.exit_status).c_str(),
                                       job.result.verdict.c_str()));
        static_cast<void>(
            std::fprintf(stderr, "picalc-record: its output is kept in %s; no score recorded\n",
                         job.output_path.c_str()));
    }
    return all_valid;
}

// What the progress line says of a disturbed run.
std::string load_note(double load) {
    if (load <= disturbing_load) {
        return "";
    }
    char note[96];
    static_cast<void>(std::snprintf(note, sizeof note,
                                    " (disturbed: other work kept %.2f processors busy)", load));
    return note;
}

std::string output_path(const std::string& what) {
    return temporary_folder() + "/picalc-record-" + std::to_string(process_number()) + "-" + what +
           ".txt";
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
    const std::string picalc = options.picalc.empty() ? picalc_beside(argv[0]) : options.picalc;

    Record record;
    record.date = today();
    record.record_version = PICALC_VERSION;
    record.arguments = options.picalc_arguments;
    record.run_by = options.run_by;
    record.machine = read_machine();
    std::string binary;
    if (!read_file(picalc, binary, max_binary_bytes)) {
        static_cast<void>(std::fprintf(stderr, "picalc-record: cannot read %s: %s\n",
                                       picalc.c_str(), std::strerror(errno)));
        return status_cannot_start;
    }
    static_cast<void>(parse_build_info(binary, record.build));
    binary.clear();

    const std::int32_t processors = record.machine.logical_processors;
    const std::int32_t copies =
        options.copies == all_processors ? record.machine.usable_processors : options.copies;
    const std::int32_t at_once = copies >= 2 ? copies : 0;
    const std::string record_path =
        options.record.empty() ? unused_name(default_record_name(record)) : options.record;
    std::string error;
    for (const std::string& named : {options.record, options.json}) {
        if (!named.empty() && !options.overwrite && exists(named)) {
            error = named + " exists: give --overwrite to replace it, or another name";
        }
    }
    const bool can_write = error.empty() && writable(record_path, error) &&
                           (options.json.empty() || writable(options.json, error));
    if (!can_write) {
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
    static_cast<void>(std::fprintf(stderr, "picalc-record: %s%s, %d runs", picalc.c_str(),
                                   shown_arguments.c_str(), options.runs));
    if (at_once > 0) {
        static_cast<void>(
            std::fprintf(stderr, ", then %d rounds of %d copies at once", options.runs, at_once));
    }
    static_cast<void>(std::fprintf(stderr, "\n"));

    for (std::int32_t k = 1; k <= options.runs; ++k) {
        std::vector<Job> job(1);
        job[0].label = "run " + std::to_string(k) + " of " + std::to_string(options.runs);
        job[0].output_path = output_path("run-" + std::to_string(k));
        static_cast<void>(std::fprintf(stderr, "%s ...", job[0].label.c_str()));
        if (!run_together(picalc, options.picalc_arguments, processors, job)) {
            return status_run_failed;
        }
        static_cast<void>(std::fprintf(stderr, " %s s%s\n", job[0].result.seconds.c_str(),
                                       load_note(job[0].result.other_load).c_str()));
        record.single.push_back(job[0].result);
    }
    for (std::int32_t round = 1; round <= options.runs && at_once > 0; ++round) {
        std::vector<Job> jobs(static_cast<std::size_t>(at_once));
        for (std::size_t c = 0; c < jobs.size(); ++c) {
            jobs[c].label = "copy " + std::to_string(c + 1) + " of round " + std::to_string(round);
            jobs[c].output_path =
                output_path("copy-" + std::to_string(round) + "-" + std::to_string(c + 1));
        }
        static_cast<void>(std::fprintf(stderr, "round %d of %d: %d copies at once ...", round,
                                       options.runs, at_once));
        if (!run_together(picalc, options.picalc_arguments, processors, jobs)) {
            return status_run_failed;
        }
        record.copies.emplace_back();
        for (const Job& job : jobs) {
            static_cast<void>(std::fprintf(stderr, " %s", job.result.seconds.c_str()));
            record.copies.back().push_back(job.result);
        }
        static_cast<void>(
            std::fprintf(stderr, " s%s\n", load_note(jobs.front().result.other_load).c_str()));
    }

    record.run_name = record.single.front().run_name;
    record.summary = summarize(record.single, record.copies);
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
