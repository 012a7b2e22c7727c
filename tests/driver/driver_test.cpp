#include "driver.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace picalc {
namespace {

constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();

struct AtoiCase {
    const char* text;
    std::int32_t expected;
};

TEST(SaturatingAtoi, ParsesLikeAtoiAndSaturates) {
    const AtoiCase cases[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {"  \t\n\v\f\r42", 42},
        {"+7", 7},
        {"-7", -7},
        {"- 5", 0},
        {"+-5", 0},
        {"0x10", 0},
        {"1 2", 1},
        {"007", 7},
        {"2147483647", int32_max},
        {"2147483648", int32_max},
        {"99999999999", int32_max},
        {"-2147483648", int32_min},
        {"-2147483649", int32_min},
        {"-99999999999", int32_min},
        {"0000000000000000000000000000000000000000000000000000000000000009", 9},
        {"184467440737095516161844674407370955161618446744073709551616", int32_max},
        {"\xff\x80 1", 0},
    };
    for (const AtoiCase& c : cases) {
        EXPECT_EQ(saturating_atoi(c.text), c.expected) << '"' << c.text << '"';
    }
}

struct CommandLineCase {
    std::vector<const char*> arguments; // after the program name
    std::int32_t digit_count;
    Formula formula;
};

TEST(ParseCommandLine, ReadsCountAndFormulaSwitch) {
    const CommandLineCase cases[] = {
        {{}, 9999, Formula::Gauss},
        {{"50"}, 50, Formula::Gauss},
        {{"50", "x"}, 50, Formula::Stomer},
        {{"50", ""}, 50, Formula::Stomer},
        {{"50", "0"}, 50, Formula::Stomer},
        {{"5", "x", "y", "z"}, 5, Formula::Stomer},
        {{"-7"}, 0, Formula::Gauss},
        {{"12abc"}, 12, Formula::Gauss},
        {{"abc"}, 0, Formula::Gauss},
        {{""}, 0, Formula::Gauss},
        {{"-99999999999"}, 0, Formula::Gauss},
        {{"99999999999"}, int32_max, Formula::Gauss},
    };
    for (const CommandLineCase& c : cases) {
        std::vector<const char*> argv = {"picalc"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        argv.push_back(nullptr);
        const BenchmarkOptions options =
            parse_command_line(static_cast<int>(argv.size()) - 1, argv.data());
        EXPECT_EQ(options.digit_count, c.digit_count) << c.arguments.size() << " arguments";
        EXPECT_EQ(options.formula, c.formula) << c.arguments.size() << " arguments";
    }
}

struct ElapsedCase {
    std::int32_t start;
    std::int32_t end;
    double seconds;
};

TEST(ElapsedSeconds, IsTheWrappingTickDifferenceInSeconds) {
    const ElapsedCase cases[] = {
        {0, 0, 0.0},
        {0, 1500, 1.5},
        {-500, 500, 1.0},
        {int32_max, int32_min + 999, 1.0}, // the tick counter wraps mid-run
        {int32_min, int32_max, -0.001},
        {1000, 0, -1.0},
        {123456, 123457, 0.001},
    };
    for (const ElapsedCase& c : cases) {
        EXPECT_DOUBLE_EQ(elapsed_seconds(c.start, c.end), c.seconds) << c.start << " " << c.end;
    }
}

// A processor-time clock would barely move while the thread sleeps.
TEST(ReadTicks, CountsElapsedTimeNotProcessorTime) {
    const std::int32_t start = read_ticks();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_GE(elapsed_seconds(start, read_ticks()), 0.12);
}

} // namespace
} // namespace picalc
