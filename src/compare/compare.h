// picalc-compare: sets checked records side by side and says whether one
// machine, build or setting is really faster than another, by how much, and
// how sure that is, with the rank test of the statistics library.
#pragma once

#include "digit_buffer.h"
#include "statistics.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace picalc::compare {

// ---- Records ----------------------------------------------------------------

// A browser's WebAssembly, WebAssembly under Node, or a native build.
enum class Kind : std::int32_t { Native, Browser, Node };

// One input, read and checked: a record of picalc-record or of the page, or
// one saved run. Every time here comes from a run the checker accepted; the
// header is what the file says of itself.
struct RecordFile {
    std::string path;
    std::string name; // the file name without its folder and ".txt"
    bool genuine = false;
    bool unreadable = false;
    std::string refusal; // why it is not compared, when it is not
    std::int32_t digit_count = 0;
    Formula formula = Formula::Gauss;
    std::vector<double> times; // each single run's, in the order run
    // Every core: the copies at once and each round's copy times, when the
    // record has them. Their outputs are not kept, so these are the header's.
    std::int32_t copies = 0;
    std::vector<std::vector<double>> copy_rounds;
    std::vector<std::pair<std::string, std::string>> header; // "CPU", "AMD EPYC"
    std::string disturbed;   // the record's "Disturbed:" line; "" when none
    bool times_only = false; // given with --times: there were no outputs to check
    Kind kind = Kind::Native;
    std::string engine; // "Blink", "Gecko", "WebKit" or "" for a browser's record
    // A record of two programs in alternation (picalc-record --versus): the
    // other program's times and rounds, the I-th paired with A's I-th.
    bool versus = false;
    std::vector<double> versus_times;
    std::vector<std::vector<double>> versus_copy_rounds;
    // On each side split from such a record (sides_of): the record's path.
    // Two files of one session are compared pair by pair.
    std::string session;
    // The setup named with --setup; "" to be grouped by its header.
    std::string setup;
};

// A record of two programs in alternation as its two sides, "NAME (A)" and
// "NAME (B)", each with its own build and times and the record's session;
// any other file as it is.
std::vector<RecordFile> sides_of(const RecordFile& file);

// What a record may hold: picalc-record's own limits, so that no file can
// ask for more work than a real record takes.
inline constexpr std::int32_t max_copies_at_once = 1024;
inline constexpr std::int32_t max_copy_rounds = 100;

// Reads PATH and checks every run in it with picalc-check's code, and that
// the record's own summary lines agree with those runs.
RecordFile read_record(const std::string& path);
// The same, from text already read (what a test or the page holds).
RecordFile read_record_text(const std::string& path, const std::string& bytes);
// A sample given on the command line: "LABEL:DIGITS:FORMULA:T1,T2,...".
RecordFile times_record(const std::string& argument);

std::string header_value(const RecordFile& file, const std::string& key);
// "9999 digits [Gauss]"
std::string workload_of(const RecordFile& file);
double median_time(const RecordFile& file);
// Each round's copies, one after another.
std::vector<double> copy_times(const RecordFile& file);
// How many single runs' work the processor does with every copy busy.
double scaling_of(const RecordFile& file);
// Whether the single runs, and each round's median, trended over their order.
stats::Trend drift_of(const RecordFile& file);
stats::Trend copy_drift_of(const RecordFile& file);

// ---- Comparisons ------------------------------------------------------------

// The records of one setup: one processor, cores and build (or one name
// given with --setup), each record made in a session of its own. The runs
// of one record share their session, so the speed of a setup is known only
// from several records made at different times.
struct Setup {
    std::string name;
    std::vector<const RecordFile*> records;
};

// The evidence a difference rests on, and so what it can claim.
// Pairs: runs of both alternated in one record, each set against its
// partner. Records: the medians of several records of each setup. Runs: one
// record of each, whose runs say nothing of how sessions differ, so a
// difference between them is no verdict.
enum class Evidence : std::int32_t { Pairs, Records, Runs };

struct Comparison {
    stats::Difference difference;
    Evidence evidence = Evidence::Runs;
};

// The records of each setup, FILES of one workload in their order: grouped
// by --setup name where given, else by processor, cores, build and engine.
// Times alone, each side of an alternated record and a record that does not
// name its processor and build are setups of their own; so is every record
// when all would be one setup, as there is then nothing else to set them
// against.
std::vector<Setup> setups_of(const std::vector<const RecordFile*>& files);

// A and B's single runs compared on the best evidence they hold.
Comparison compare_runs(const Setup& a, const Setup& b);
// Whether C claims a difference that holds: significant, and not from one
// record of each.
bool difference_holds(const Comparison& c);

// One sentence: "B is 13.6 % faster than A (95 % interval 11.2-15.9 %;
// p = 0.008, 5 and 5 records)", "No difference shown (p = 0.42, 5 and 5
// runs)", or why these counts can never show one. A difference from one
// record of each says so instead of a verdict, with what would give one.
// UNIT names the values of one record ("runs", "copy times"); BETTER the
// word for a lower value (times) or a higher one's inverse (scaling,
// compared as its inverse).
std::string verdict_text(const Comparison& c, const std::string& a, const std::string& b,
                         const std::string& unit, const char* better = "faster");

enum class Format : std::int32_t { Text, Markdown, Csv, Json };

struct CompareInput {
    std::string text; // a path, or a --times sample
    bool times = false;
    std::string setup; // the --setup name before it; "" for none
};

struct CompareOptions {
    Format format = Format::Text;
    std::string baseline; // an input as given, or a --times label; "" for the fastest
    std::vector<CompareInput> inputs;
    bool help = false;
    std::string error; // why the command line is refused; empty when it is not
};
CompareOptions parse_compare_options(int argc, const char* const* argv);
extern const char* const compare_usage;

// What two setups differ in besides their runs: "processor", "build", ...,
// each with both values, and every record's disturbance or drift; empty
// when nothing differs.
std::vector<std::string> other_differences(const Setup& a, const Setup& b);

// The whole output for checked files of one or more workloads. Files of
// different workloads are never compared with each other: two of them are
// refused (false), more are grouped by workload.
bool compare_files(const std::vector<RecordFile>& given, const std::string& baseline, Format format,
                   std::string& out, std::string& refusal);

// What was refused and why, for --json: a program (the page) learns it from
// here, never from the words on standard error. FILE is "" when the
// comparison itself was refused.
struct Refusal {
    std::string file;
    std::string reason;
};
// {"refused": [{"file": ..., "reason": ...}, ...]} and a line end.
std::string refusal_json(const std::vector<Refusal>& refusals);

} // namespace picalc::compare
