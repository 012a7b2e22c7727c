#include "statistics.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace picalc::stats {
namespace {

std::vector<double> numbers(const std::string& text) {
    std::vector<double> values;
    std::istringstream in(text);
    for (double value = 0; in >> value;) {
        values.push_back(value);
    }
    return values;
}

std::vector<std::string> fields(const std::string& line, char separator) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) {
        out.push_back(field);
    }
    return out;
}

// The rows of a reference table: "A;B;p;low;high;confidence", comments and
// blank lines left out.
std::vector<std::vector<std::string>> reference_rows(const char* file) {
    std::istringstream table(test::read_data_file(file));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line[0] != '#') {
            rows.push_back(fields(line, ';'));
            EXPECT_EQ(rows.back().size(), 6U) << line;
            rows.back().resize(6);
        }
    }
    return rows;
}

// SciPy's p-values and intervals (tests/data/rank_test_reference.py).
TEST(RankTest, AgreesWithSciPy) {
    int cases = 0;
    for (const std::vector<std::string>& f : reference_rows("rank_test_reference.csv")) {
        const std::vector<double> a = numbers(f[0]);
        const std::vector<double> b = numbers(f[1]);
        SCOPED_TRACE(f[0].substr(0, 80));
        const RankTest test = rank_sum_test(a, b);
        const double p = std::strtod(f[2].c_str(), nullptr);
        EXPECT_NEAR(test.p, p, 1e-9 * p + 1e-15);
        EXPECT_EQ(test.exact, a.size() + b.size() <= largest_exact_sample);
        if (!test.exact) {
            continue; // the reference has no interval above the exact sizes
        }
        const RatioInterval interval = ratio_interval(a, b);
        ASSERT_EQ(interval.known, f[3] != "none");
        if (interval.known) {
            EXPECT_NEAR(interval.low, std::strtod(f[3].c_str(), nullptr), 1e-9);
            EXPECT_NEAR(interval.high, std::strtod(f[4].c_str(), nullptr), 1e-9);
            EXPECT_NEAR(interval.confidence, std::strtod(f[5].c_str(), nullptr), 1e-9);
        }
        ++cases;
    }
    EXPECT_GE(cases, 12);
}

TEST(RankTest, SmallestPAndRunsNeeded) {
    struct Case {
        std::int32_t n_a, n_b;
        double smallest;
    };
    for (const Case c : {Case{3, 3, 0.1}, Case{4, 4, 2.0 / 70}, Case{5, 5, 2.0 / 252},
                         Case{1, 39, 0.05}, Case{3, 5, 2.0 / 56}, Case{0, 5, 1}}) {
        EXPECT_NEAR(smallest_p(c.n_a, c.n_b), c.smallest, 1e-12) << c.n_a << " " << c.n_b;
    }
    EXPECT_EQ(runs_needed(3), 5);
    EXPECT_EQ(runs_needed(4), 4);
    EXPECT_EQ(runs_needed(1), 40);
}

// The interval's bounds are order statistics of every pairwise log ratio;
// they are found without listing the pairs, and must be the very values
// that listing and sorting them gives, ties and all.
TEST(RankTest, IntervalIsTheSortedPairsOrderStatistics) {
    const auto sample = [](std::size_t n, std::uint32_t seed, double scale, double resolution) {
        std::vector<double> values;
        for (std::size_t i = 0; i < n; ++i) {
            seed = seed * 1664525U + 1013904223U;
            const double noise = static_cast<double>(seed >> 8) / 16777216.0;
            values.push_back(std::round(scale * (1 + noise) / resolution) * resolution);
        }
        return values;
    };
    struct Case {
        std::vector<double> a, b;
    };
    const Case cases[] = {
        {sample(7, 1, 2.0, 1e-6), sample(9, 2, 1.8, 1e-6)},
        {sample(40, 3, 2.0, 0.01), sample(61, 4, 2.0, 0.01)},   // ties, normal branch
        {sample(150, 5, 1.0, 1e-6), sample(150, 6, 1.0, 1e-6)}, // identical scales
        {sample(120, 7, 1e-12, 1e-15), sample(130, 8, 1e30, 1e24)},
        {std::vector<double>(60, 1.5), std::vector<double>(60, 1.5)},
    };
    for (const Case& c : cases) {
        std::vector<double> pairs;
        for (const double x : c.a) {
            for (const double y : c.b) {
                pairs.push_back(std::log(std::max(x, 1e-9)) - std::log(std::max(y, 1e-9)));
            }
        }
        std::sort(pairs.begin(), pairs.end());
        const RatioInterval interval = ratio_interval(c.a, c.b);
        ASSERT_TRUE(interval.known) << c.a.size();
        const auto rank = static_cast<std::size_t>(
            std::lower_bound(pairs.begin(), pairs.end(), std::log(interval.low)) - pairs.begin());
        ASSERT_LT(rank, pairs.size() / 2);
        EXPECT_EQ(std::exp(pairs[rank]), interval.low) << c.a.size();
        EXPECT_EQ(std::exp(pairs[pairs.size() - 1 - rank]), interval.high) << c.a.size();
    }
    // 10^10 pairs would need 80 GB listed; the selection needs the samples.
    const RatioInterval big =
        ratio_interval(sample(100000, 9, 2.0, 1e-6), sample(100000, 10, 2.2, 1e-6));
    ASSERT_TRUE(big.known);
    EXPECT_LT(big.low, 2.0 / 2.2 * 1.01);
    EXPECT_GT(big.high, 2.0 / 2.2 * 0.99);
}

// SciPy's paired p-values, and intervals from every Walsh average sorted
// (tests/data/signed_rank_reference.py).
TEST(SignedRank, AgreesWithSciPy) {
    int cases = 0;
    for (const std::vector<std::string>& f : reference_rows("signed_rank_reference.csv")) {
        const std::vector<double> a = numbers(f[0]);
        const std::vector<double> b = numbers(f[1]);
        SCOPED_TRACE(f[0].substr(0, 80));
        const Difference d = paired_difference_of(a, b);
        const double p = std::strtod(f[2].c_str(), nullptr);
        EXPECT_NEAR(d.test.p, p, 1e-9 * p + 1e-15);
        EXPECT_TRUE(d.paired);
        EXPECT_EQ(d.n_a, static_cast<std::int32_t>(a.size()));
        if (!d.test.exact) {
            continue; // the reference has no interval above the exact sizes
        }
        ASSERT_EQ(d.interval.known, f[3] != "none");
        if (d.interval.known) {
            EXPECT_NEAR(d.interval.low, std::strtod(f[3].c_str(), nullptr), 1e-12);
            EXPECT_NEAR(d.interval.high, std::strtod(f[4].c_str(), nullptr), 1e-12);
            EXPECT_NEAR(d.interval.confidence, std::strtod(f[5].c_str(), nullptr), 1e-12);
            EXPECT_LE(d.interval.low, d.ratio);
            EXPECT_GE(d.interval.high, d.ratio);
        }
        ++cases;
    }
    EXPECT_GE(cases, 10);
}

// What pairing is for: a machine that speeds up by a fifth over the runs
// hides a 3 % difference from the two-sample test, and the paired test
// finds it, and finds nothing where there is nothing.
TEST(SignedRank, PairsCancelWhatMovesBoth) {
    struct Case {
        double ratio; // A / B within each pair
        double drift; // the machine's slow-down over the 9 pairs
        bool paired_significant;
    };
    for (const Case c : {Case{1.03, 0.2, true}, Case{1 / 1.03, -0.2, true}, Case{1.0, 0.2, false},
                         Case{1.001, 0.0, true}}) {
        std::vector<double> a;
        std::vector<double> b;
        for (int i = 0; i < 9; ++i) {
            const double machine = 1.5 * (1 + c.drift * i / 8) * (1 + 0.001 * ((i * 7) % 5));
            b.push_back(std::round(machine * 1e6) / 1e6);
            a.push_back(std::round(machine * c.ratio * (1 + 0.0002 * (i % 3 - 1)) * 1e6) / 1e6);
        }
        const Difference paired = paired_difference_of(a, b);
        EXPECT_EQ(paired.significant, c.paired_significant) << c.ratio << " " << c.drift;
        EXPECT_NEAR(paired.ratio, c.ratio, 0.002) << c.ratio;
        if (c.drift != 0) {
            EXPECT_FALSE(difference_of(a, b).significant) << c.ratio;
        }
    }
    // Tied pairs carry no sign; the counts still say what 9 pairs can give.
    const Difference same = paired_difference_of({1.5, 1.6, 1.7}, {1.5, 1.6, 1.7});
    EXPECT_EQ(same.test.p, 1);
    EXPECT_FALSE(same.significant);
    EXPECT_EQ(smallest_paired_p(5), 0.0625);
    EXPECT_EQ(smallest_paired_p(6), 0.03125);
    EXPECT_EQ(smallest_paired_p(0), 1);
    // Pairs past the shorter side are not made up.
    EXPECT_EQ(paired_difference_of({1, 2, 3}, {1, 2}).n_a, 2);
}

// The interval's bounds are order statistics of the Walsh averages, found
// without listing them: the very values listing and sorting them gives.
TEST(SignedRank, IntervalIsTheSortedWalshAveragesOrderStatistics) {
    for (const std::size_t n : {std::size_t{9}, std::size_t{60}, std::size_t{140}}) {
        std::vector<double> a;
        std::vector<double> b;
        std::uint32_t seed = static_cast<std::uint32_t>(n);
        for (std::size_t i = 0; i < n; ++i) {
            seed = seed * 1664525U + 1013904223U;
            a.push_back(1.5 + std::round(static_cast<double>(seed >> 20) / 40) * 0.001);
            b.push_back(1.5 + 0.001 * static_cast<double>(i % 7));
        }
        const std::vector<double> logs = log_ratios(a, b);
        std::vector<double> walsh;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i; j < n; ++j) {
                walsh.push_back((logs[i] + logs[j]) / 2);
            }
        }
        std::sort(walsh.begin(), walsh.end());
        const RatioInterval interval = paired_ratio_interval(a, b);
        ASSERT_TRUE(interval.known) << n;
        // The low end is the k-th smallest and the high end the k-th
        // largest for one k; with tied averages each fits a range of ranks.
        for (double& average : walsh) {
            average = std::exp(average); // as the interval gives it: a ratio
        }
        const double low = interval.low;
        const double high = interval.high;
        const auto below = [&](double x) {
            return std::lower_bound(walsh.begin(), walsh.end(), x) - walsh.begin();
        };
        const auto up_to = [&](double x) {
            return std::upper_bound(walsh.begin(), walsh.end(), x) - walsh.begin();
        };
        const auto size = static_cast<std::ptrdiff_t>(walsh.size());
        EXPECT_TRUE(std::binary_search(walsh.begin(), walsh.end(), low)) << n;
        EXPECT_TRUE(std::binary_search(walsh.begin(), walsh.end(), high)) << n;
        const std::ptrdiff_t k_from = std::max(below(low), size - up_to(high)) + 1;
        const std::ptrdiff_t k_to = std::min(up_to(low), size - below(high));
        EXPECT_LE(k_from, k_to) << n;
        EXPECT_LT(k_from, size / 2) << n;
    }
}

TEST(Summaries, MedianSpreadAndScaling) {
    const struct {
        std::vector<double> values;
        Spread spread;
    } cases[] = {
        {{}, {0, 0, 0}},
        {{2.5}, {2.5, 2.5, 2.5}},
        {{3.0, 1.0, 2.0}, {2.0, 1.0, 3.0}},
        {{4.0, 1.0, 2.0, 3.0}, {2.5, 1.0, 4.0}},
        {{1.5, 1.5, 1.0, 9.0}, {1.5, 1.0, 9.0}},
    };
    for (const auto& c : cases) {
        const Spread spread = spread_of(c.values);
        EXPECT_DOUBLE_EQ(spread.median, c.spread.median) << c.values.size();
        EXPECT_DOUBLE_EQ(spread.minimum, c.spread.minimum) << c.values.size();
        EXPECT_DOUBLE_EQ(spread.maximum, c.spread.maximum) << c.values.size();
        EXPECT_DOUBLE_EQ(median_of(c.values), c.spread.median) << c.values.size();
    }
    EXPECT_DOUBLE_EQ(scaling_of(2, 2.0, 2.45), 2 * 2.0 / 2.45);
    EXPECT_DOUBLE_EQ(scaling_of(2, 2.0, 0), 0);
}

TEST(Summaries, LoadOfOtherWork) {
    const struct {
        ProcessorTimes before, after;
        double own;
        std::int32_t processors;
        double load;
    } cases[] = {
        {{10, 40}, {13, 44}, 1.0, 2, 1.0}, // 2 s elapsed, 2 s busy beyond own
        {{10, 40}, {11, 44}, 1.0, 2, 0.0}, // all the busy time was the run's own
        {{10, 40}, {11, 44}, 1.5, 2, 0.0}, // accounting skew never goes negative
        {{-1, 40}, {13, 44}, 1.0, 2, -1},  // the system does not tell
        {{10, 40}, {13, 44}, -1, 2, -1},   // a run's own time is unknown
        {{10, 40}, {13, 40}, 1.0, 2, -1},  // no time passed
        {{10, 40}, {13, 44}, 1.0, 0, -1},  // no processors known
        {{0, 0}, {3.5, 4}, 0.5, 1, 0.75},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(other_load(c.before, c.after, c.own, c.processors), c.load)
            << c.after.busy_seconds << " " << c.own;
    }
}

// SciPy's kendalltau p-values and theilslopes' slopes
// (tests/data/trend_reference.py).
TEST(Trend, AgreesWithSciPy) {
    std::istringstream table(test::read_data_file("trend_reference.csv"));
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        const std::vector<std::string> f = fields(line, ';');
        ASSERT_EQ(f.size(), 3U) << line;
        const std::vector<double> times = numbers(f[0]);
        SCOPED_TRACE(line.substr(0, 80));
        const Trend trend = trend_of(times);
        ASSERT_TRUE(trend.tested);
        const double p = std::strtod(f[1].c_str(), nullptr);
        EXPECT_NEAR(trend.p, p, 1e-9 * p + 1e-15);
        const double slope = std::strtod(f[2].c_str(), nullptr);
        EXPECT_NEAR(trend.change, slope * static_cast<double>(times.size() - 1) / median_of(times),
                    1e-9);
        ++cases;
    }
    EXPECT_GE(cases, 20);
}

TEST(Trend, DriftNeedsBothEvidenceAndSize) {
    std::vector<double> long_quiet(3000, 1.5);
    const struct {
        const char* what;
        std::vector<double> times;
        bool tested, drifted;
        double change;
    } cases[] = {
        {"too few to ever be significant", {1.0, 1.1, 1.2, 1.3}, false, false, 0},
        {"slowing 1 % a run",
         {1.00, 1.01, 1.02, 1.03, 1.04, 1.05, 1.06, 1.07, 1.08},
         true,
         true,
         0.08 / 1.04},
        {"speeding up",
         {1.08, 1.07, 1.06, 1.05, 1.04, 1.03, 1.02, 1.01, 1.00},
         true,
         true,
         -0.08 / 1.04},
        {"steady but too small to matter",
         {1.000, 1.001, 1.002, 1.003, 1.004, 1.005, 1.006, 1.007},
         true,
         false,
         0.007 / 1.0035},
        {"large but no trend", {1.0, 1.3, 1.0, 1.3, 1.0, 1.3, 1.0, 1.3}, true, false, 0},
        {"every time the same", {1.5, 1.5, 1.5, 1.5, 1.5, 1.5}, true, false, 0},
        {"more than any record should hold", long_quiet, false, false, 0},
    };
    for (const auto& c : cases) {
        const Trend trend = trend_of(c.times);
        EXPECT_EQ(trend.tested, c.tested) << c.what;
        EXPECT_EQ(trend.drifted, c.drifted) << c.what << ": p " << trend.p;
        EXPECT_NEAR(trend.change, c.change, 1e-9) << c.what;
    }
    // Rounds trend by their medians: the slow copy of each round is no trend.
    const std::vector<std::vector<double>> rounds = {{1.00, 1.50, 1.20}, {1.01, 1.40, 1.21},
                                                     {1.02, 1.60, 1.22}, {1.03, 1.45, 1.23},
                                                     {1.04, 1.55, 1.24}, {1.05, 1.42, 1.25}};
    const Trend by_rounds = trend_of_rounds(rounds);
    EXPECT_TRUE(by_rounds.drifted);
    EXPECT_NEAR(by_rounds.change, 0.05 / 1.225, 1e-9);
}

TEST(Summaries, PInWords) {
    const struct {
        double p;
        const char* text;
    } cases[] = {{0.000582, "p < 0.001"}, {0.001, "p = 0.001"}, {0.0083, "p = 0.008"},
                 {0.0412, "p = 0.04"},    {0.42, "p = 0.42"},   {1, "p = 1.00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(p_text(c.p), c.text) << c.p;
    }
}

} // namespace
} // namespace picalc::stats
