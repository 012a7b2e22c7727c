// What picalc-record does between reading its options and writing its
// record: reading and writing files so that nothing is left half-written,
// and running picalc, alone or as copies at once, with every output checked
// by picalc-check's code and the load of other work measured around it.
// What differs per operating system is behind portme.h.
#include "driver.h"
#include "log_check.h"
#include "portme.h"
#include "record.h"
#include "run_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace picalc::record {
namespace {

// Where the runs' output goes, and how long a run may take: set once for
// the whole record.
std::string output_folder = ".";
std::int32_t time_limit_seconds = 0;
std::vector<std::int32_t> single_run_processors;

// The most a run of OPTIONS prints: six bytes for every five places, a CR
// more on each listing line, and a few kilobytes of table.
std::int64_t longest_output(const BenchmarkOptions& options) {
    return std::int64_t{options.digit_count} / 5 * 7 + 65536;
}

// Why a run's output is not the one run picalc-record asked for, reading no
// more of it than that run can print; "" when it is. A run is recorded
// exactly as it was checked: from its banner, the first byte, to "Press
// Enter to exit", the last.
std::string output_problem(std::FILE* output, const BenchmarkOptions& asked,
                           check::CheckReport& report, std::int64_t& size) {
    check::SavedLog log;
    char chunk[65536];
    std::size_t got = 0;
    bool more = false;
    while (!log.failed && !more && (got = std::fread(chunk, 1, sizeof chunk, output)) > 0) {
        check::read_saved_log(log, chunk, got);
        // A first run that was whole, and then anything at all.
        more = log.runs > 1 || (log.runs == 1 && !log.failed && log.run.started);
        if (!more && log.raw_bytes > longest_output(asked)) {
            return "it printed more than a run of " +
                   check::run_name(asked.digit_count, asked.formula) + " can";
        }
    }
    if (std::ferror(output) != 0) {
        return "its output could not be read";
    }
    if (more) {
        return "it printed more after \"" + std::string(last_line) + "\", where a run ends";
    }
    report = check::finish_saved_log(log);
    size = log.raw_bytes;
    if (report.verdict != check::Verdict::Valid) {
        return report.message;
    }
    if (!log.preamble.empty() || log.mark_bytes > 0) {
        return "it printed something before the banner, where a run begins";
    }
    if (report.digit_count != asked.digit_count || report.formula != asked.formula) {
        return "it ran " + check::run_name(report.digit_count, report.formula) + " where " +
               check::run_name(asked.digit_count, asked.formula) + " were asked for";
    }
    return "";
}

void check_job(Job& job, std::int32_t exit_status, const BenchmarkOptions& asked) {
    RunResult& result = job.result;
    result.exit_status = exit_status;
    result.valid = false;
    result.seconds.clear();
    std::FILE* output = std::fopen(job.output_path.c_str(), "rb");
    if (output == nullptr) {
        result.verdict = "its output could not be read";
        return;
    }
    check::CheckReport report;
    std::int64_t size = 0;
    result.verdict = output_problem(output, asked, report, size);
    static_cast<void>(std::fclose(output)); // only read from
    if (!result.verdict.empty()) {
        return;
    }
    result.verdict = report.message;
    result.valid = exit_status == 0;
    if (result.valid) {
        result.seconds = report.seconds;
        result.run_name = check::run_name(report.digit_count, report.formula);
        result.output.clear();
        static_cast<void>(
            read_file(job.output_path, result.output, static_cast<std::size_t>(size)));
        result.output = lf_text(result.output.substr(0, static_cast<std::size_t>(size)));
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
    return stats::other_load(before, after, own, processors);
}

} // namespace

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

bool same_file(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path a = std::filesystem::weakly_canonical(first, error);
    const bool a_known = !error;
    const std::filesystem::path b = std::filesystem::weakly_canonical(second, error);
    if (!a_known || error) {
        return first == second;
    }
    return a == b || std::filesystem::equivalent(a, b, error);
}

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

std::string unused_name(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - 4); // less ".txt"
    std::string candidate = name;
    for (std::int32_t number = 2; exists(candidate); ++number) {
        candidate = stem + "-" + std::to_string(number) + ".txt";
    }
    return candidate;
}

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

void prepare_runs(const std::string& folder, std::int32_t limit_seconds,
                  const std::vector<std::int32_t>& single_processors) {
    output_folder = folder;
    time_limit_seconds = limit_seconds;
    single_run_processors = single_processors;
}

bool run_together(const std::string& picalc, const std::vector<std::string>& arguments,
                  const BenchmarkOptions& asked, std::int32_t processors, std::vector<Job>& jobs) {
    const ProcessorTimes before = read_processor_times();
    arm_time_limit(time_limit_seconds);
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
    arm_time_limit(0);
    const bool timed_out = time_limit_passed();
    if (stop_signal() != 0) {
        for (const Job& job : jobs) {
            static_cast<void>(std::remove(job.output_path.c_str()));
        }
        return false; // picalc-record itself was told to stop: no run failed
    }
    const double load = other_load(before, read_processor_times(), jobs, processors);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        check_job(jobs[i], statuses[i], asked);
        jobs[i].result.other_load = load;
        if (timed_out) {
            jobs[i].result.valid = false;
            jobs[i].result.verdict = "it ran past the time limit of " +
                                     std::to_string(time_limit_seconds) +
                                     " s (--time-limit) and was stopped";
        }
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

std::string load_note(double load) {
    if (load <= disturbing_load) {
        return "";
    }
    char note[96];
    static_cast<void>(std::snprintf(note, sizeof note,
                                    " (disturbed: other work kept %.2f processors busy)", load));
    return note;
}

BenchmarkOptions asked_run(const RecordOptions& options) {
    std::vector<const char*> argv{"picalc"};
    for (const std::string& argument : options.picalc_arguments) {
        argv.push_back(argument.c_str());
    }
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

std::string output_path(const std::string& what) {
    return output_folder + "/" + what + ".txt";
}

std::string output_problem(const RecordOptions& options, const std::string& record_path) {
    std::string error;
    for (const std::string& named : {options.record, options.json}) {
        if (!named.empty() && !options.overwrite && exists(named)) {
            return named + " exists: give --overwrite to replace it, or another name";
        }
    }
    if (!writable(record_path, error) ||
        (!options.json.empty() && !writable(options.json, error))) {
        return error;
    }
    return "";
}

namespace {

// The progress line's word on a trend so far: "" while there is none.
std::string drift_note(const stats::Trend& trend, const char* what) {
    return trend.drifted ? "; so far the " + record_format::drift_text(trend, what) : "";
}

// The runs from now on on PROCESSORS (none: anywhere); false, said on
// standard error, when the system refuses.
bool pinned(const std::vector<std::int32_t>& processors) {
    std::string error;
    if (!pin_runs(processors, error)) {
        static_cast<void>(std::fprintf(stderr, "\npicalc-record: cannot keep the runs on %s: %s\n",
                                       processors.empty() ? "every processor"
                                                          : processor_list_text(processors).c_str(),
                                       error.c_str()));
        return false;
    }
    return true;
}

// One single run of PROGRAM, told on standard error as LABEL, added to
// SERIES, whose drift so far the progress line names.
bool run_single(const Program& program, const RecordOptions& options, std::int32_t processors,
                const std::string& label, const std::string& name, std::vector<RunResult>& series) {
    std::vector<Job> job(1);
    job[0].label = label;
    job[0].output_path = output_path(name);
    static_cast<void>(std::fprintf(stderr, "%s ...", label.c_str()));
    if (!pinned(single_run_processors) ||
        !run_together(program.path, program_arguments(program, options), asked_run(options),
                      processors, job)) {
        return false;
    }
    const RunResult& result = series.emplace_back(job[0].result);
    static_cast<void>(std::fprintf(
        stderr, " %s s%s%s\n", result.seconds.c_str(), load_note(result.other_load).c_str(),
        drift_note(record_format::summarize(series, {}).drift, "runs").c_str()));
    return true;
}

// One round of AT_ONCE copies of PROGRAM at once, added to ROUNDS.
bool run_round(const Program& program, const RecordOptions& options, std::int32_t at_once,
               std::int32_t processors, const std::string& label, const std::string& name,
               std::vector<std::vector<RunResult>>& rounds) {
    std::vector<Job> jobs(static_cast<std::size_t>(at_once));
    for (std::size_t c = 0; c < jobs.size(); ++c) {
        jobs[c].label = "copy " + std::to_string(c + 1) + " of " + label;
        jobs[c].output_path = output_path(name + "-" + std::to_string(c + 1));
    }
    static_cast<void>(std::fprintf(stderr, "%s: %d copies at once ...", label.c_str(), at_once));
    // Copies take every processor, of whatever class: that is their point.
    if (!pinned({}) || !run_together(program.path, program_arguments(program, options),
                                     asked_run(options), processors, jobs)) {
        return false;
    }
    std::vector<RunResult>& round = rounds.emplace_back();
    for (const Job& job : jobs) {
        static_cast<void>(std::fprintf(stderr, " %s", job.result.seconds.c_str()));
        round.push_back(job.result);
    }
    static_cast<void>(std::fprintf(
        stderr, " s%s%s\n", load_note(jobs.front().result.other_load).c_str(),
        drift_note(record_format::summarize({}, rounds).copy_drift, "rounds").c_str()));
    return true;
}

} // namespace

std::vector<std::string> program_arguments(const Program& program, const RecordOptions& options) {
    std::vector<std::string> all = program.leading;
    all.insert(all.end(), options.picalc_arguments.begin(), options.picalc_arguments.end());
    return all;
}

bool run_singles(const Program& picalc, const RecordOptions& options, std::int32_t processors,
                 Record& record) {
    for (std::int32_t k = 1; k <= options.runs; ++k) {
        if (!run_single(picalc, options, processors,
                        "run " + std::to_string(k) + " of " + std::to_string(options.runs),
                        "run-" + std::to_string(k), record.single)) {
            return false;
        }
    }
    return true;
}

bool run_rounds(const Program& picalc, const RecordOptions& options, std::int32_t at_once,
                std::int32_t processors, Record& record) {
    for (std::int32_t round = 1; round <= options.runs && at_once > 0; ++round) {
        if (!run_round(picalc, options, at_once, processors,
                       "round " + std::to_string(round) + " of " + std::to_string(options.runs),
                       "copy-" + std::to_string(round), record.copies)) {
            return false;
        }
    }
    return true;
}

std::string balanced_order(std::int32_t pairs, std::uint64_t seed) {
    std::string order;
    bool a_first = true;
    for (std::int32_t k = 0; k < pairs; ++k) {
        if (k % 2 == 0) {
            // A new block of two pairs: which of AB BA and BA AB it is,
            // from the seed's next bit (a 64-bit LCG, wrapping as unsigned).
            seed = seed * 6364136223846793005U + 1442695040888963407U;
            a_first = (seed >> 63U) != 0;
        } else {
            a_first = !a_first;
        }
        order += std::string(order.empty() ? "" : " ") + (a_first ? "AB" : "BA");
    }
    return order;
}

bool run_alternated(const Program& a, const Program& b, const RecordOptions& options,
                    std::int32_t at_once, std::int32_t processors, std::uint64_t seed,
                    Record& record) {
    Versus& versus = record.versus;
    versus.order = balanced_order(options.runs, seed);
    versus.copy_order = at_once > 0 ? balanced_order(options.runs, ~seed) : "";
    std::vector<bool> a_first;
    static_cast<void>(record_format::parse_order(versus.order, a_first, max_runs));
    for (std::size_t k = 0; k < a_first.size(); ++k) {
        const std::string of = std::to_string(k + 1) + " of " + std::to_string(options.runs);
        for (const bool is_a : {bool{a_first[k]}, !a_first[k]}) {
            const std::string side = is_a ? "a" : "b";
            if (!run_single(is_a ? a : b, options, processors, "run " + of + (is_a ? ", A" : ", B"),
                            side + "-run-" + std::to_string(k + 1),
                            is_a ? record.single : versus.single)) {
                return false;
            }
        }
    }
    static_cast<void>(record_format::parse_order(versus.copy_order, a_first, max_runs));
    for (std::size_t k = 0; at_once > 0 && k < a_first.size(); ++k) {
        const std::string of = std::to_string(k + 1) + " of " + std::to_string(options.runs);
        for (const bool is_a : {bool{a_first[k]}, !a_first[k]}) {
            const std::string side = is_a ? "a" : "b";
            if (!run_round(is_a ? a : b, options, at_once, processors,
                           "round " + of + (is_a ? ", A" : ", B"),
                           side + "-copy-" + std::to_string(k + 1),
                           is_a ? record.copies : versus.copies)) {
                return false;
            }
        }
    }
    return true;
}

Program program_of(const std::string& path) {
    Program program;
    program.path = path;
    program.build_file = path;
    const std::string suffix = ".mjs";
    if (path.size() > suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        // The WebAssembly build's launcher: Node runs it, and picalc.wasm
        // beside it carries the build line.
        program.path = program_on_path("node");
        program.leading = {path};
        const std::size_t slash = path.find_last_of("/\\");
        program.build_file =
            (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
            "picalc.wasm";
    }
    return program;
}

} // namespace picalc::record
