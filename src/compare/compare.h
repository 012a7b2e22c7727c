// picalc-compare: sets checked records side by side and says whether one
// machine, build or setting is really faster than another, by how much, and
// how sure that is. Run times are skewed and few, so the test is a rank test
// (Wilcoxon-Mann-Whitney), exact for the sample sizes records have, and the
// interval for the ratio of run times is the one that test gives.
#pragma once

#include "digit_buffer.h"

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
};

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

// ---- Statistics -------------------------------------------------------------

inline constexpr double significance_level = 0.05;
// Up to this many values in both samples together the test's distribution is
// counted exactly; above it the normal approximation, which is then within
// 0.001 of the exact p where p is near the significance level.
inline constexpr std::int32_t largest_exact_sample = 100;

struct RankTest {
    double p = 1;          // two-sided
    bool exact = true;     // false: the normal approximation
    double smallest_p = 1; // the lowest p any two samples of these sizes give
};

// Two-sided Wilcoxon-Mann-Whitney test; ties get their mean rank and the
// exact distribution is that of those ranks.
RankTest rank_sum_test(const std::vector<double>& first, const std::vector<double>& second);
double smallest_p(std::int32_t n_a, std::int32_t n_b);
// The fewest runs beside OTHER runs that can give p below the significance
// level; -1 when not even max_sample can.
std::int32_t runs_needed(std::int32_t other);
inline constexpr std::int32_t max_sample = 1000;

// The distribution-free interval (Hodges-Lehmann, from the pairwise ratios)
// for how many times longer A's runs take than B's; known is false when the
// samples are too small for any interval of that confidence.
struct RatioInterval {
    bool known = false;
    double low = 0;
    double high = 0;
    double confidence = 0; // what it achieves: at least the one asked for
};
RatioInterval ratio_interval(const std::vector<double>& a, const std::vector<double>& b,
                             double confidence = 0.95);

// ---- Comparisons ------------------------------------------------------------

// Sample B against sample A.
struct Difference {
    std::int32_t n_a = 0;
    std::int32_t n_b = 0;
    double median_a = 0;
    double median_b = 0;
    double ratio = 1; // median A / median B: above 1 when B is faster
    RatioInterval interval;
    RankTest test;
    bool significant = false;
};
Difference difference_of(const std::vector<double>& a, const std::vector<double>& b);

// One sentence: "B is 13.6 % faster than A (95 % interval 11.2-15.9 %;
// p = 0.008, 5 and 5 runs)", "No difference shown (p = 0.42, 5 and 5 runs)",
// or why these counts can never show one. UNIT names the values: "runs";
// BETTER the word for a lower value (times) or a higher one's inverse
// (scaling, compared as its inverse).
std::string verdict_text(const Difference& difference, const std::string& a, const std::string& b,
                         const std::string& unit, const char* better = "faster");
// "p = 0.008", "p = 0.42", "p < 0.001".
std::string p_text(double p);

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
bool compare_files(const std::vector<RecordFile>& files, const std::string& baseline, Format format,
                   std::string& out, std::string& refusal);

} // namespace picalc::compare
