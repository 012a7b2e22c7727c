#include "digit_buffer.h"
#include "test_support.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace picalc {
namespace {

using test::computed_decimals;
using test::reference_decimals;

TEST(FormulaLine, NamesEachFormulaAndItsTerms) {
    EXPECT_EQ(test::capture_stdout([] {
                  print_formula_line({9999, Formula::Gauss});
              }),
              "pi= 48 * arctg(1/18) + 32 * arctg(1/57) - 20 * arctg(1/239) [Gauss]\n");
    EXPECT_EQ(test::capture_stdout([] {
                  print_formula_line({0, Formula::Stomer});
              }),
              "pi= 24 * arctg(1/8) + 8 * arctg(1/57) + 4 * arctg(1/239) [Stomer]\n");
}

struct StepCountCase {
    Formula formula;
    std::int32_t digit_count;
    std::array<std::int32_t, terms_per_formula> steps;
};

// A series ends when the term, after a division by x^2, has nothing left
// above its last place; too many steps is wasted work, too few a wrong digit.
TEST(ArctanSeries, TakesTheKnownNumberOfStepsPerTerm) {
    const StepCountCase cases[] = {
        {Formula::Gauss, 0, {2, 2, 1}},
        {Formula::Stomer, 0, {3, 1, 1}},
        {Formula::Gauss, 60, {26, 19, 14}},
        {Formula::Stomer, 60, {36, 18, 14}},
        {Formula::Gauss, 9999, {3985, 2849, 2103}},
        {Formula::Stomer, 9999, {5539, 2849, 2103}},
    };
    for (const StepCountCase& c : cases) {
        std::vector<std::int32_t> term = test::digit_buffer_for(c.digit_count);
        std::vector<std::int32_t> sum = test::digit_buffer_for(c.digit_count);
        const auto n = static_cast<std::int32_t>(precision_for(c.digit_count));
        for (std::int32_t index = 0; index < terms_per_formula; ++index) {
            EXPECT_EQ(add_arctan_series(c.formula, index, term.data(), sum.data(), n).steps,
                      c.steps[static_cast<std::size_t>(index)])
                << "digits " << c.digit_count << " term " << index;
        }
    }
}

TEST(ComputePi, ClearsTheSumBufferBeforeAccumulating) {
    std::vector<std::int32_t> term = test::digit_buffer_for(20);
    std::vector<std::int32_t> sum = test::digit_buffer_for(20);
    sum.assign(sum.size(), 7);
    compute_pi({20, Formula::Gauss}, term.data(), sum.data(), 25);
    EXPECT_EQ(sum[25], 3);
    EXPECT_EQ(test::decimals_in(sum, 25), reference_decimals().substr(0, 20));
}

// Every count up to 800 gives the true digits with both formulas, except 763
// with Stomer's, where the guard places do not absorb the truncation errors.
TEST(ComputePi, BothFormulasGiveTheTrueDigitsUpTo800Places) {
    for (std::int32_t count = 0; count <= 800; ++count) {
        const std::string expected =
            reference_decimals().substr(0, static_cast<std::size_t>(count));
        EXPECT_EQ(computed_decimals(Formula::Gauss, count), expected) << count << " digits";
        if (count != 763) {
            EXPECT_EQ(computed_decimals(Formula::Stomer, count), expected) << count << " digits";
        }
    }
}

TEST(ComputePi, StomerAt763PlacesEndsUnroundedAbove) {
    const std::string expected = reference_decimals().substr(0, 763);
    const std::string stomer = computed_decimals(Formula::Stomer, 763);
    EXPECT_EQ(expected.substr(755), "72113499");
    EXPECT_EQ(stomer.substr(0, 755), expected.substr(0, 755));
    EXPECT_EQ(stomer.substr(755), "72113500");
}

TEST(ComputePi, BothFormulasGiveTheTrueDigitsAtTheDefaultCount) {
    const std::string expected = reference_decimals().substr(0, 9999);
    EXPECT_EQ(computed_decimals(Formula::Gauss, 9999), expected);
    EXPECT_EQ(computed_decimals(Formula::Stomer, 9999), expected);
}

} // namespace
} // namespace picalc
