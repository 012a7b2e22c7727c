// picalc-record: runs the picalc beside it several times, one after another
// and then as many copies at once as there are processors, checks every
// output with picalc-check's code, and writes the result with the machine
// and the build that made it. Everything here is portable; what differs per
// operating system is behind portme.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picalc::record {

inline constexpr std::int32_t max_runs = 100;
// Nine, so that two default records can tell machines 5 % apart: a
// rank test of 3 runs against 3 can never give p below 0.1.
inline constexpr std::int32_t default_runs = 9;
inline constexpr std::int32_t all_processors = -1;

struct RecordOptions {
    std::int32_t runs = default_runs;
    std::int32_t copies = all_processors; // a count, or all_processors
    std::string picalc;                   // empty: the picalc beside this program
    std::string record;                   // empty: the default name
    std::string json;                     // empty: no JSON
    std::string run_by = "unknown";
    std::vector<std::string> picalc_arguments;
    bool overwrite = false; // replace an existing --record or --json file
    bool help = false;
    std::string error; // why the command line is refused; empty when it is not
};

RecordOptions parse_record_options(int argc, const char* const* argv);
extern const char* const usage_text;

// One cache level as the system describes it.
struct CacheInfo {
    std::int32_t level = -1;
    std::string type;            // "Data", "Instruction" or "Unified"
    std::int64_t size_kib = -1;  // of one instance
    std::int32_t shared_by = -1; // logical processors that share one instance
};

// What the system says of itself; an empty text or a negative number is
// unknown, and written so.
struct MachineInfo {
    std::string processor;
    // x86's CPUID signature, and the microarchitecture named from it.
    std::string vendor; // "AuthenticAMD", "GenuineIntel"
    std::int32_t family = -1;
    std::int32_t model = -1;
    std::int32_t stepping = -1;
    std::string microarchitecture;
    std::string microcode;
    std::int32_t logical_processors = -1; // in the machine
    std::int32_t usable_processors = -1;  // this process may run on
    std::int32_t physical_cores = -1;
    std::int32_t hypervisor = -1; // 1 present, 0 absent, -1 unknown
    std::int32_t smt = -1;        // simultaneous multithreading: 1 on, 0 off
    std::string system;           // the distribution or product, and its version
    std::string kernel;           // the kernel's name and release
    std::string architecture;
    // The frequencies in MHz: the highest the processor may reach, its base,
    // and the one the system reported when it was asked.
    std::int32_t max_mhz = -1;
    std::int32_t base_mhz = -1;
    std::int32_t reported_mhz = -1;
    std::vector<CacheInfo> caches;
    std::int64_t memory_mib = -1;
    // Linux's cpufreq policy, or Windows' power plan as the governor.
    std::string governor;
    std::string scaling_driver;
    std::int32_t boost = -1; // turbo or boost: 1 allowed, 0 not
    std::string energy_preference;
};

// The microarchitecture of an x86 processor, or "" when it is not known.
std::string x86_microarchitecture(const std::string& vendor, std::int32_t family,
                                  std::int32_t model, std::int32_t stepping);
// The processor as one readable line: "AMD EPYC (Zen 3; family 25, model 1,
// stepping 1)".
std::string processor_text(const MachineInfo& machine);

// A small text file whole (4 MiB at most), or "" when it cannot be read.
std::string file_text(const std::string& path);

// /proc/cpuinfo as x86, Arm, RISC-V, POWER and IBM Z kernels write it.
void parse_cpuinfo(const std::string& text, MachineInfo& machine);
// What Linux says of the machine below ROOT ("" for the running system):
// /proc/cpuinfo and /proc/meminfo, and the frequencies, caches, SMT and
// cpufreq policy under /sys/devices/system/cpu.
void read_linux_machine(const std::string& root, MachineInfo& machine);
// Why the cpufreq governor or power plan may slow or vary the runs, or ""
// when it is not one known to.
std::string governor_warning(const MachineInfo& machine);
// PRETTY_NAME of /etc/os-release.
std::string parse_os_release(const std::string& text);

// The build of a picalc binary, from the line that every build embeds.
struct BuildInfo {
    std::string version;
    std::string compiler;
    std::string flags;
    std::string linking; // static or dynamic
    std::string target;
    std::string libc; // the C library, whose sin computes the integration table
};
inline constexpr const char* build_info_prefix = "picalc build: ";
bool parse_build_info(const std::string& binary, BuildInfo& build);

// One run of picalc: its exit status (-1: it could not be run or waited
// for), the verdict of picalc-check's code, and the time it printed.
struct RunResult {
    std::int32_t exit_status = -1;
    bool valid = false;
    std::string verdict;
    std::string seconds;
    std::string run_name; // "130 digits [Gauss]"
    std::string output;
    // How many processors other work kept busy, on average, while it ran:
    // the system's busy time less picalc's own, over the run's duration.
    double other_load = -1; // -1: unknown
};

// Other work beyond this share of one processor during a run disturbed it:
// its time is not the machine's best.
inline constexpr double disturbing_load = 0.25;

struct Summary {
    std::vector<double> single;              // each single run's time
    std::vector<std::vector<double>> copies; // each round's copies' times
    double median = 0;
    double minimum = 0;
    double maximum = 0;
    double copy_median = 0;
    double scaling = 0; // copies x median / copy median
    // "run 2 of 3 (0.93)", "round 1 of 3 (0.41)": the runs and rounds that
    // other work disturbed, with its load.
    std::vector<std::string> disturbed;
    double highest_load = -1; // the most other work during any run; -1 unknown
};

Summary summarize(const std::vector<RunResult>& single,
                  const std::vector<std::vector<RunResult>>& copies);

struct Record {
    std::string date; // YYYY-MM-DD
    std::string record_version;
    std::vector<std::string> arguments;
    std::string run_name; // "130 digits [Gauss]"
    std::string run_by;
    MachineInfo machine;
    BuildInfo build;
    std::vector<RunResult> single;
    std::vector<std::vector<RunResult>> copies;
    Summary summary;
};

// The summary as picalc-record prints it at the end, one line each.
std::string summary_text(const Record& record);
// The file for results/: header, summary, and every single run's output.
std::string record_text(const Record& record);
std::string record_json(const Record& record);
std::string default_record_name(const Record& record);

} // namespace picalc::record
