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

// How far apart records of one machine and build came out when they were
// made one after another (scripts/calibrate, doc/checking-and-recording.md): records made
// apart are called different only when the whole 95 % interval of their
// ratio lies beyond this. Runs alternated in one record need no margin: the
// pairs share their moment.
inline constexpr double session_margin = 0.05;

// A and B's times compared: pair by pair when both are sides of one session,
// else as two samples.
stats::Difference difference_between(const RecordFile& a, const RecordFile& b,
                                     const std::vector<double>& times_a,
                                     const std::vector<double>& times_b);
// Whether D claims a difference that holds: significant, and for samples
// from records made apart, its whole interval beyond the session margin.
bool difference_holds(const stats::Difference& d);

// One sentence: "B is 13.6 % faster than A (95 % interval 11.2-15.9 %;
// p = 0.008, 5 and 5 runs)", "No difference shown (p = 0.42, 5 and 5 runs)",
// or why these counts can never show one. A difference between records
// made apart that the session margin could hold says so instead of a
// verdict. UNIT names the values: "runs";
// BETTER the word for a lower value (times) or a higher one's inverse
// (scaling, compared as its inverse).
std::string verdict_text(const stats::Difference& difference, const std::string& a,
                         const std::string& b, const std::string& unit,
                         const char* better = "faster");

enum class Format : std::int32_t { Text, Markdown, Csv, Json };

struct CompareInput {
    std::string text; // a path, or a --times sample
    bool times = false;
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

// What the files differ in besides their runs: "processor", "build", ...,
// each with both values; empty when nothing differs.
std::vector<std::string> other_differences(const RecordFile& a, const RecordFile& b);

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
