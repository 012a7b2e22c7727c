// picalc-record: runs the picalc beside it several times, one after another
// and then as many copies at once as there are processors, checks every
// output with picalc-check's code, and writes the result with the machine
// and the build that made it. Everything here is portable; what differs per
// operating system is behind portme.h.
#pragma once

#include "digit_buffer.h"
#include "record_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace picalc::record {

using record_format::BuildInfo;
using record_format::CacheInfo;
using record_format::disturbing_load;
using record_format::MachineInfo;
using record_format::parse_build_info;
using record_format::processor_text;
using record_format::Record;
using record_format::record_json;
using record_format::record_text;
using record_format::RunResult;
using record_format::summarize;
using record_format::Summary;
using record_format::summary_text;
using record_format::Versus;

inline constexpr std::int32_t max_runs = 100;
// Nine, so that two default records can tell machines 5 % apart: a
// rank test of 3 runs against 3 can never give p below 0.1.
inline constexpr std::int32_t default_runs = 9;
inline constexpr std::int32_t all_processors = -1;

struct RecordOptions {
    std::int32_t runs = default_runs;
    std::int32_t copies = all_processors; // a count, or all_processors
    std::string picalc;                   // empty: the picalc beside this program
    std::string versus; // another picalc to alternate with, run for run; empty: none
    std::string record; // empty: the default name
    std::string json;   // empty: no JSON
    std::string run_by = "unknown";
    std::vector<std::string> picalc_arguments;
    // A run, or a round of copies, that takes longer is stopped and fails.
    std::int32_t time_limit_seconds = 24 * 60 * 60;
    bool overwrite = false; // replace an existing --record or --json file
    bool help = false;
    std::string error; // why the command line is refused; empty when it is not
};

RecordOptions parse_record_options(int argc, const char* const* argv);
extern const char* const usage_text;

// The microarchitecture of an x86 processor, or "" when it is not known.
std::string x86_microarchitecture(const std::string& vendor, std::int32_t family,
                                  std::int32_t model, std::int32_t stepping);
// A small text file whole (4 MiB at most), or "" when it cannot be read.
std::string file_text(const std::string& path);

// /proc/cpuinfo as x86, Arm, RISC-V, POWER and IBM Z kernels write it.
void parse_cpuinfo(const std::string& text, MachineInfo& machine);
// What Linux says of the machine below ROOT ("" for the running system):
// /proc/cpuinfo and /proc/meminfo, and the frequencies, caches, SMT and
// cpufreq policy under /sys/devices/system/cpu.
void read_linux_machine(const std::string& root, MachineInfo& machine);
// The processors a sysfs list such as "0-3,8,10-11" names, ascending; none
// when the text is not such a list or names a processor past the largest
// number a kernel allows.
inline constexpr std::int32_t max_processor_number = 65536;
std::vector<std::int32_t> processor_list(const std::string& text);
std::string processor_list_text(const std::vector<std::int32_t>& processors);

// Where single runs go: one processor, of the fastest class where there are
// cores of more than one (Intel's hybrid parts, Arm's big.LITTLE), so that
// every run of a record, and of two records of one machine, runs on the same
// kind of core and is not moved between cores mid-run.
struct ProcessorRank {
    std::int32_t processor;
    std::int32_t rank;      // higher: faster
    std::string class_name; // "capacity 1024", "efficiency class 1"
};
struct CoreClasses {
    std::int32_t classes = -1;         // -1: the system does not say
    std::vector<std::int32_t> fastest; // the fastest class's that this process may use
    std::string name;                  // the fastest class's
    bool fastest_of_all = true;        // false: this process may not use the machine's fastest
    std::int32_t processor = -1;       // the one for single runs; -1: none to choose
};
// The classes RANKS make (none: nothing known of classes), and the
// processors of the fastest among those in USABLE (empty: every processor).
CoreClasses classes_by_rank(const std::vector<ProcessorRank>& ranks,
                            const std::vector<std::int32_t>& usable);
// Linux's word below ROOT: the cpu_core and cpu_atom PMUs' processors, or
// else each online processor's cpu_capacity.
CoreClasses linux_core_classes(const std::string& root, const std::vector<std::int32_t>& usable);
// "single runs on processor 11, of the fastest class (...)"; "" when there
// is no processor to choose.
std::string single_run_cores_text(const CoreClasses& classes);

// Why the cpufreq governor or power plan may slow or vary the runs, or ""
// when it is not one known to.
std::string governor_warning(const MachineInfo& machine);
// PRETTY_NAME of /etc/os-release.
std::string parse_os_release(const std::string& text);
// The busy and total processor time of Linux's /proc/stat "cpu" line, in
// seconds at TICKS_PER_SECOND; unknown (-1) when the text is not one.
stats::ProcessorTimes parse_proc_stat(const std::string& text, std::int64_t ticks_per_second);

// The name a record gets when none is given: date, processor, compiler.
std::string default_record_name(const Record& record);

// ---- Files ------------------------------------------------------------------

// A file into TEXT, read in chunks until it ends or TEXT holds LIMIT bytes
// or more; false when it cannot be read.
bool read_file(const std::string& path, std::string& text, std::size_t limit);
bool exists(const std::string& path);
// Whether two paths name one file, whether or not it exists yet.
bool same_file(const std::string& first, const std::string& second);
// The file is written whole beside its final name, then renamed onto it, so
// a failure leaves no half-written record.
bool write_file(const std::string& path, const std::string& text, std::string& error);
// NAME, or the first of NAME-2.txt, NAME-3.txt ... that does not exist yet:
// a record of the same day and machine is never replaced.
std::string unused_name(const std::string& name);
// Whether the file can be written, found out before minutes of runs; a file
// that did not exist is not left behind.
bool writable(const std::string& path, std::string& error);
// Why the record or JSON cannot be written where the options say; "" when
// they can.
std::string output_problem(const RecordOptions& options, const std::string& record_path);
// The output with CR LF line ends made LF: the record is written as text.
std::string lf_text(const std::string& text);

// ---- Runs -------------------------------------------------------------------

// A picalc started by the porting file.
struct Child {
    std::intptr_t handle = -1; // a pid, or a process HANDLE
    std::string error;         // why it could not be started
    double cpu_seconds = -1;   // its processor time once it has ended; -1 unknown
};

struct Job {
    std::string label; // "run 2 of 3", "copy 1 of round 2"
    std::string output_path;
    Child child;
    RunResult result;
};

// Where every run's output goes (a private folder), how many seconds a run
// or round may take (0: no limit), and the processors single runs keep to
// (none: any), for every run after this call.
void prepare_runs(const std::string& folder, std::int32_t limit_seconds,
                  const std::vector<std::int32_t>& single_processors = {});
// Runs the jobs at once and checks each: its output must be one whole run
// of what ASKED says, and nothing more. False after saying what went wrong
// with the first bad one, whose output is kept. Each result gets the load of
// other work while they ran.
bool run_together(const std::string& picalc, const std::vector<std::string>& arguments,
                  const BenchmarkOptions& asked, std::int32_t processors, std::vector<Job>& jobs);
// The run that picalc's arguments ask for, as picalc reads them.
BenchmarkOptions asked_run(const RecordOptions& options);
// What is started to run a picalc: the program itself, or for the
// WebAssembly build's launcher (a .mjs file) Node with the launcher first.
struct Program {
    std::string path;
    std::vector<std::string> leading; // arguments before picalc's own
    std::string build_file;           // the file whose bytes hold the build line
};
// The arguments PROGRAM is started with: its own, then picalc's.
std::vector<std::string> program_arguments(const Program& program, const RecordOptions& options);
Program program_of(const std::string& path);

// RUNS single runs one after another, then RUNS rounds of AT_ONCE copies
// (none when AT_ONCE is 0), each told on standard error as it ends, into
// the record; false when one failed.
bool run_singles(const Program& picalc, const RecordOptions& options, std::int32_t processors,
                 Record& record);
bool run_rounds(const Program& picalc, const RecordOptions& options, std::int32_t at_once,
                std::int32_t processors, Record& record);
// PAIRS pairs in blocks of two, each block "AB BA" or "BA AB" as SEED's
// draws say: every program runs first as often as second, to within one
// pair, and no pattern of the machine's can line up with the order.
std::string balanced_order(std::int32_t pairs, std::uint64_t seed);
// The runs of A (the record's own picalc) and B alternated pair by pair in
// a balanced order drawn from SEED, then their rounds of copies the same
// way, into the record and its versus part; false when one failed.
bool run_alternated(const Program& a, const Program& b, const RecordOptions& options,
                    std::int32_t at_once, std::int32_t processors, std::uint64_t seed,
                    Record& record);
// What the progress line says of a disturbed run; "" for one that was not.
std::string load_note(double load);
// Where a run's output is kept while it is checked.
std::string output_path(const std::string& what);

} // namespace picalc::record
