// The statistics of run times, with no I/O and no knowledge of records or
// workloads: medians and spreads, the scaling of copies, the load of other
// work, and the test that says whether two samples of times differ. Run
// times are skewed and few, so the test is a rank test (Wilcoxon-Mann-
// Whitney), exact for the sample sizes records have, and the interval for
// the ratio of run times is the one that test gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picalc::stats {

// The middle value, or the mean of the middle two; 0 for none.
double median_of(std::vector<double> values);

// A sample's middle and ends; all 0 for an empty sample.
struct Spread {
    double median = 0;
    double minimum = 0;
    double maximum = 0;
};
Spread spread_of(const std::vector<double>& values);

// How many single runs' work the processor does with AT_ONCE copies busy:
// at_once x single median / copy median; 0 when the copy median is not
// positive.
double scaling_of(double at_once, double single_median, double copy_median);

// How many processors other work kept busy, on average, between two
// readings of the system's processor times (busy and total, summed over
// PROCESSORS processors): the busy time less OWN_SECONDS, the measured
// programs' own, over the elapsed time; -1 when a reading is unknown
// (negative) or no time passed.
struct ProcessorTimes {
    double busy_seconds = -1;
    double total_seconds = -1;
};
double other_load(const ProcessorTimes& before, const ProcessorTimes& after, double own_seconds,
                  std::int32_t processors);

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
    bool paired = false; // from paired_difference_of: n_a pairs
};
Difference difference_of(const std::vector<double>& a, const std::vector<double>& b);

// Runs of two programs made in alternation, A[i] paired with B[i]: each
// pair's log ratio log(A[i] / B[i]), with what the pair shared (the
// machine's state at that moment) removed.
std::vector<double> log_ratios(const std::vector<double>& a, const std::vector<double>& b);
// Wilcoxon's two-sided signed-rank test of DIFFERENCES against a centre of
// zero: exact (the distribution of the mean ranks as they tie) up to
// largest_exact_pairs non-zero differences, else the normal approximation
// with the tie and continuity corrections. Zeros drop out.
inline constexpr std::int32_t largest_exact_pairs = 100;
RankTest signed_rank_test(const std::vector<double>& differences);
// The lowest p that PAIRS pairs can give: every sign the same.
double smallest_paired_p(std::int32_t pairs);
// The distribution-free interval for the typical ratio A[i] / B[i] within a
// pair: the Walsh averages of the log ratios, cut where the signed-rank
// distribution of that many pairs puts the confidence asked for.
RatioInterval paired_ratio_interval(const std::vector<double>& a, const std::vector<double>& b,
                                    double confidence = 0.95);
// The paired comparison of the first min(|A|, |B|) pairs. Its ratio is the
// Hodges-Lehmann estimate (the median Walsh average of the log ratios, made a
// ratio again): above 1 when B is faster.
Difference paired_difference_of(const std::vector<double>& a, const std::vector<double>& b);

// Whether times, in the order they were made, trend: Mann-Kendall's test of
// the times against their order (Kendall's tau; exact from Kendall's
// distribution when no two times tie and there are up to
// largest_exact_trend of them, else the normal approximation with the tie
// correction, as SciPy's kendalltau gives), and its size from Sen's slope
// (the median slope over every pair): how much longer the last time is than
// the first, along that slope, as a share of the median. Series longer than
// largest_trend_sample are not tested: every pair is looked at.
struct Trend {
    bool tested = false; // false: too few or too many times
    std::int32_t n = 0;
    double p = 1;      // two-sided
    double change = 0; // +0.04: 4 % slower from first to last
    // p below the significance level and a change of at least smallest_drift
    // either way: the runs got steadily slower or faster.
    bool drifted = false;
};
inline constexpr std::int32_t smallest_trend_sample = 5; // fewer can never give p < 0.05
inline constexpr std::int32_t largest_exact_trend = 50;
inline constexpr std::int32_t largest_trend_sample = 2000;
inline constexpr double smallest_drift = 0.02;
Trend trend_of(const std::vector<double>& times);
// The trend of rounds of copies: of each round's median, in round order.
Trend trend_of_rounds(const std::vector<std::vector<double>>& rounds);

// "p = 0.008", "p = 0.42", "p < 0.001".
std::string p_text(double p);

} // namespace picalc::stats
