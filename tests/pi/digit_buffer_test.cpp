#include "digit_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace picalc {
namespace {

using Digits = std::vector<std::int32_t>;

// Buffers are written most significant element first in the tables below, the
// way a number is read; the passes index them least significant first.
Digits from_text(const std::string& most_significant_first) {
    Digits buffer;
    for (auto it = most_significant_first.rbegin(); it != most_significant_first.rend(); ++it) {
        buffer.push_back(*it - '0');
    }
    return buffer;
}

std::string to_text(const Digits& buffer) {
    std::string text;
    for (auto it = buffer.rbegin(); it != buffer.rend(); ++it) {
        text += std::to_string(*it) + (it + 1 == buffer.rend() ? "" : ",");
    }
    return text;
}

// floor(N / divisor) for the integer N that the digits spell, written out with
// as many digits as the buffer holds: what truncated long division must give.
std::string quotient_digits(const std::string& number, std::uint64_t divisor) {
    std::string text = std::to_string(std::stoull(number) / divisor);
    return std::string(number.size() - text.size(), '0') + text;
}

Digits negated(const Digits& buffer) {
    Digits result;
    for (std::int32_t value : buffer) {
        result.push_back(-value);
    }
    return result;
}

TEST(DivideAccumulate, SeededTermBecomesQuotientAndIsAddedToSum) {
    const std::int32_t n = 8;
    Digits term(n + 1, 0);
    Digits sum(n + 1, 0);
    term[n] = 48;
    divide_accumulate(term.data(), sum.data(), n, 18, 1);
    EXPECT_EQ(to_text(term), "2,6,6,6,6,6,6,6,6");
    EXPECT_EQ(to_text(sum), "2,6,6,6,6,6,6,6,6");
}

TEST(DivideAccumulate, SubtractsWhenAddIsZeroAndKeepsEarlierSum) {
    Digits term = from_text("100000");
    Digits sum = from_text("111111");
    divide_accumulate(term.data(), sum.data(), 5, 8, 0);
    EXPECT_EQ(to_text(term), "0,1,2,5,0,0");
    EXPECT_EQ(to_text(sum), "1,0,-1,-4,1,1");
}

struct DivisionCase {
    std::string number; // most significant digit first
    std::int32_t divisor;
};

// Small divisors, the formulas' squares, and divisors whose 10 * remainder no
// longer fits in 32 bits (odd divisors reach that at enormous digit counts).
const DivisionCase division_cases[] = {
    {"314159265358979323", 3},          {"999999999999999999", 7},
    {"271828182845904523", 57121},      {"999999999999999999", 214748363},
    {"999999999999999999", 214748364},  {"999999999999999999", 214748365},
    {"999999999999999999", 2000000011}, {"999999999999999999", 2147483647},
    {"000000000000000007", 2147483647},
};

// Above this, 10 * (divisor - 1) + 9 overflows 32 bits; the series never
// divides in place by more than 239 squared.
constexpr std::int32_t widest_in_place_divisor = 214748364;

std::string expected_quotient(const DivisionCase& c) {
    return quotient_digits(c.number, static_cast<std::uint64_t>(c.divisor));
}

TEST(DivideInPlace, TruncatesLikeIntegerDivision) {
    for (const DivisionCase& c : division_cases) {
        if (c.divisor > widest_in_place_divisor) {
            continue;
        }
        Digits term = from_text(c.number);
        divide_in_place(term.data(), static_cast<std::int32_t>(term.size()) - 1, c.divisor);
        EXPECT_EQ(to_text(term), to_text(from_text(expected_quotient(c)))) << c.divisor;
    }
}

TEST(AccumulateQuotient, AddsOrSubtractsQuotientAndLeavesTermAlone) {
    for (const DivisionCase& c : division_cases) {
        const Digits original = from_text(c.number);
        const Digits quotient = from_text(expected_quotient(c));
        for (std::int32_t add : {1, 0}) {
            Digits term = original;
            Digits sum(original.size(), 0);
            accumulate_quotient(term.data(), sum.data(), static_cast<std::int32_t>(term.size()) - 1,
                                c.divisor, add);
            EXPECT_EQ(to_text(term), to_text(original));
            EXPECT_EQ(to_text(sum), to_text(add != 0 ? quotient : negated(quotient)))
                << "divisor " << c.divisor << " add " << add;
        }
    }
}

TEST(DivideInPlace, TopIndexZeroDividesElementZeroAlone) {
    Digits term = {9, 5, 3};
    divide_in_place(term.data(), 0, 2);
    EXPECT_EQ(term, (Digits{4, 5, 3}));
}

TEST(AccumulateQuotient, StopsAtTopIndex) {
    const Digits term = {8, 4, 6};
    Digits sum = {1, 1, 1};
    accumulate_quotient(term.data(), sum.data(), 1, 4, 1);
    EXPECT_EQ(sum, (Digits{3, 2, 1})); // 48 / 4 = 12 into the two lowest places
}

struct LowerTopCase {
    Digits term; // least significant element first
    std::int32_t top;
    std::int32_t expected;
};

TEST(LowerTop, FindsHighestNonzeroElementAboveZero) {
    const LowerTopCase cases[] = {
        {{7, 0, 0, 0}, 3, 0}, // element 0 is never examined
        {{0, 0, 0, 0}, 3, 0}, {{0, 0, 0, 4}, 3, 3},   {{0, 2, 0, 0}, 3, 1},
        {{0, 0, 5, 0}, 3, 2}, {{0, 0, 5, 9}, 2, 2}, // elements above top are ignored
        {{0, 0, 0, 9}, 0, 0}, {{1, 2, 3, 9}, -1, -1},
    };
    for (const LowerTopCase& c : cases) {
        EXPECT_EQ(lower_top(c.term.data(), c.top), c.expected) << "top=" << c.top;
    }
}

struct NormalizeCase {
    Digits accumulator; // least significant element first
    Digits expected;
};

TEST(NormalizeDigits, CarriesAndBorrowsIntoDigits) {
    const NormalizeCase cases[] = {
        {{-3, 5}, {7, 4}},                  // a borrow of one
        {{27, 0}, {7, 2}},                  // a carry of two
        {{-10, 3}, {0, 2}},                 // an exact negative multiple of ten
        {{-1, 0, 1}, {9, 9, 0}},            // a borrow that ripples
        {{-95, 9, 9}, {5, 9, 8}},           // a borrow of ten
        {{5, 12}, {5, 2}},                  // the carry out of the top is dropped
        {{99, 90, 0}, {9, 9, 9}},           // carries that ripple upwards
        {{3, 1, 4, 1, 5}, {3, 1, 4, 1, 5}}, // digits stay digits
    };
    for (const NormalizeCase& c : cases) {
        Digits sum = c.accumulator;
        normalize_digits(sum.data(), static_cast<std::int32_t>(sum.size()) - 1);
        EXPECT_EQ(sum, c.expected) << "input " << to_text(c.accumulator);
    }
}

TEST(AllocateDigitBuffer, RefusesCountsWhoseSizeExceeds32Bits) {
    const auto bytes = [](std::int32_t count) {
        return (static_cast<std::uint64_t>(precision_for(count)) + 1) * sizeof(std::int32_t);
    };
    EXPECT_LE(bytes(max_digit_count), UINT32_MAX);
    EXPECT_GT(bytes(max_digit_count + 1), UINT32_MAX);
    for (std::int32_t count : {max_digit_count + 1, max_digit_count + 6, INT32_MAX}) {
        EXPECT_EQ(allocate_digit_buffer(count), nullptr) << count;
    }
}

TEST(AllocateDigitBuffer, GivesZeroFilledElementsForTheCountAndGuards) {
    for (std::int32_t count : {0, 1, 9999}) {
        DigitBuffer buffer = allocate_digit_buffer(count);
        ASSERT_NE(buffer, nullptr);
        for (std::int32_t i = 0; i <= count + guard_digits; ++i) {
            EXPECT_EQ(buffer[i], 0) << "element " << i;
        }
        std::free(buffer);
    }
}

} // namespace
} // namespace picalc
