// The record: what picalc-record and the page write of a measurement, and
// what picalc-compare and picalc-check read back. Its lines are named here
// once; the text record and its JSON are written here alone, the JSON
// through nlohmann/json, and both are read back here.
#pragma once

#include "statistics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace picalc::record_format {

// ---- The lines of a record ---------------------------------------------------
// The header: what made the record.
inline constexpr const char* cpu_key = "CPU";
inline constexpr const char* cores_key = "Cores";
inline constexpr const char* hardware_key = "Hardware";
inline constexpr const char* system_key = "System";
inline constexpr const char* build_key = "Build";
inline constexpr const char* run_by_key = "Run by";
inline constexpr const char* date_key = "Date";
inline constexpr const char* notes_key = "Notes";
// The summary: the record's own account of its runs, which a reader checks
// against the runs themselves.
inline constexpr const char* runs_key = "Runs";
inline constexpr const char* run_times_key = "Run times";
inline constexpr const char* median_key = "Median";
inline constexpr const char* copies_key = "Copies";
inline constexpr const char* copy_times_key = "Copy times";
inline constexpr const char* copy_median_key = "Copy median";
inline constexpr const char* scaling_key = "Scaling";
inline constexpr const char* disturbed_key = "Disturbed";
inline constexpr const char* other_work_key = "Other work";
inline constexpr const char* drift_key = "Drift";
inline constexpr const char* copy_drift_key = "Copy drift";
// A record of two programs run in alternation (picalc-record --versus): the
// other program's build and runs, and which of the two ran first in each
// pair of runs and of rounds.
inline constexpr const char* versus_build_key = "Versus build";
inline constexpr const char* versus_run_times_key = "Versus run times";
inline constexpr const char* versus_median_key = "Versus median";
inline constexpr const char* versus_drift_key = "Versus drift";
inline constexpr const char* order_key = "Order";
inline constexpr const char* versus_copy_times_key = "Versus copy times";
inline constexpr const char* versus_copy_median_key = "Versus copy median";
inline constexpr const char* copy_order_key = "Copy order";

// What JSON readers hold the record's JSON to: doc/record.schema.json. It
// goes up when a member is removed, renamed or changes its meaning or type;
// a member added is not a new version, and readers ignore members they do
// not know.
inline constexpr std::int32_t json_schema_version = 1;

// ---- What a record holds -----------------------------------------------------

// One cache level as the system describes it.
struct CacheInfo {
    std::int32_t level = -1;
    std::string type;            // "Data", "Instruction" or "Unified"
    std::int64_t size_kib = -1;  // of one instance
    std::int32_t shared_by = -1; // logical processors that share one instance
};

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
    // Classes of core by speed (1: all alike), and where single runs ran:
    // "single runs on processor 11, of the fastest class (capacity 1024)".
    std::int32_t core_classes = -1;
    std::string single_run_cores;
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

// The build of a picalc binary, from the line that every build embeds.
struct BuildInfo {
    std::string version;
    std::string compiler;
    std::string flags;
    std::string linking; // static or dynamic
    std::string target;
    std::string libc; // the C library, whose sin computes the integration table
};

// What every picalc binary carries: "picalc build: version=...; compiler=...".
inline constexpr const char* build_info_prefix = "picalc build: ";
// The build line found in BINARY (a program's bytes, or the line itself);
// false when it holds none with a version.
bool parse_build_info(const std::string& binary, BuildInfo& build);
// The processor as one readable line: "AMD EPYC (Zen 3; family 25, model 1,
// stepping 1)".
std::string processor_text(const MachineInfo& machine);

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
    // Whether the runs, and the rounds' medians, trended over their order.
    stats::Trend drift;
    stats::Trend copy_drift;
};

// What a trend says, in a record's words: "runs slowed 4.1 % from first to
// last (p = 0.003): the machine was warming up or throttling", "none (runs
// 0.3 % faster from first to last, p = 0.42)", or why it was not tested.
// WHAT names the series: "runs" or "rounds".
std::string drift_text(const stats::Trend& trend, const char* what);

Summary summarize(const std::vector<RunResult>& single,
                  const std::vector<std::vector<RunResult>>& copies);

// What a browser tells of itself, for a record made by picalc's page, which
// cannot see the machine's processor, caches or other processes.
struct PageInfo {
    std::string browser;  // "Firefox 153"
    std::string engine;   // "Gecko"
    std::string platform; // as the browser names it: "Linux x86_64"
    // How long each stage of the median run took, in the page's order.
    std::vector<std::pair<std::string, double>> stage_seconds;
};

// The other program of a record made with picalc-record --versus. Its runs
// and rounds alternate with the record's own, pair by pair, so that what
// the machine did at that moment touches both alike.
struct Versus {
    std::string program; // as it was named
    BuildInfo build;
    std::vector<RunResult> single;
    std::vector<std::vector<RunResult>> copies;
    Summary summary;
    // Which ran first in each pair, the record's own picalc being A: "AB BA
    // BA AB"; the same for the rounds of copies.
    std::string order;
    std::string copy_order;
};

// "AB BA AB" read into A_FIRST, pair by pair; false when TEXT is anything
// else or names more than MAX_PAIRS pairs.
bool parse_order(const std::string& text, std::vector<bool>& a_first, std::size_t max_pairs);

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
    bool from_page = false; // the page made it: BUILD is picalc.wasm's, PAGE the browser's
    PageInfo page;
    bool has_versus = false; // made with --versus: VERSUS holds the other program
    Versus versus;
};

// The summary as picalc-record prints it at the end, one line each.
std::string summary_text(const Record& record);
// The file for results/: header, summary, and every single run's output.
std::string record_text(const Record& record);
// The same as JSON, for programs: every run, every copy and the summary.
std::string record_json(const Record& record);

// A time as picalc and the record print it: six decimals.
std::string seconds_text(double seconds);
// VALUE as the printf PATTERN rounds it, kept as a number: what JSON holds,
// so that it tells the same as the text.
double rounded(double value, const char* pattern = "%.6f");

// Reads JSON that record_json wrote (or the page, which adds members of its
// own) back into a record: the header, the runs and copies with their
// times, verdicts and loads, and the summary made again from them. Outputs
// are not in the JSON. False, with the reason in ERROR, for text that is
// not JSON or lacks a member or has one of the wrong type.
bool record_from_json(const std::string& text, Record& record, std::string& error);

// What picalc's page measured, as its JSON gives it (the runs' times and
// outputs, the rounds of copies, the stage times and what the browser told),
// with picalc.wasm's bytes for its build line: the record the page offers
// for download. False, with the reason in ERROR, for anything else.
bool record_from_page(const std::string& measurement, const std::string& wasm_binary,
                      Record& record, std::string& error);

// ---- Text from outside --------------------------------------------------------

// A control character (C0 or DEL): in a stranger's text it could end a line
// of the record and start one of its own, or act on the terminal that shows it.
constexpr bool is_control_character(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}
// TEXT with every control character that KEEP does not list made REPLACEMENT.
std::string without_control_characters(std::string text, char replacement,
                                       std::string_view keep = "");

// ---- Reading the text --------------------------------------------------------

// The "Key: value" lines of a record's header and summary, from the text
// before its first run, in their order.
using HeaderLines = std::vector<std::pair<std::string, std::string>>;
HeaderLines header_lines(const std::string& preamble);
// The value of KEY's line, or "" when there is none.
std::string header_value(const HeaderLines& header, const std::string& key);

// "1.000000 2.000000": times separated by single spaces, each a positive
// number of digits with at most one point, up to max_time_characters long,
// and at most max_times of them; false for anything else.
inline constexpr std::size_t max_time_characters = 20;
inline constexpr std::size_t max_times = 100000;
bool parse_times(const std::string& text, std::vector<double>& times);

} // namespace picalc::record_format
