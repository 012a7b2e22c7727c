// Machin-like arctangent formulas evaluated term by term into the sum buffer.
// Each series step divides the term by x^2 and accumulates term / (2k + 1),
// so the work per step falls as the term's leading zeros grow.
#include "digit_buffer.h"

#include <cinttypes>
#include <cstdio>

namespace picalc {
namespace {

struct FormulaTerm {
    std::int32_t add; // nonzero: the arctangent is added, zero: subtracted
    std::int32_t multiplier;
    std::int32_t reciprocal; // the x of arctan(1/x)
};

// Gauss: pi = 48 atan(1/18) + 32 atan(1/57) - 20 atan(1/239)
// Stomer: pi = 24 atan(1/8) + 8 atan(1/57) + 4 atan(1/239)
// The multipliers already carry the factor 4 from pi/4.
constexpr std::int32_t formula_entries = 6;
constexpr std::int32_t term_adds[formula_entries] = {1, 1, 0, 1, 1, 1};
constexpr std::int32_t term_reciprocals[formula_entries] = {18, 57, 239, 8, 57, 239};
constexpr std::int32_t term_multipliers[formula_entries] = {48, 32, 20, 24, 8, 4};
constexpr const char* formula_names[] = {"Gauss", "Stomer"};

FormulaTerm formula_term(Formula formula, std::int32_t term_index) {
    const std::int32_t entry = static_cast<std::int32_t>(formula) * terms_per_formula + term_index;
    return {term_adds[entry], term_multipliers[entry], term_reciprocals[entry]};
}

const char* sign_between_terms(const FormulaTerm& term) {
    return term.add != 0 ? "+" : "-";
}

void seed_term(DigitBuffer term, std::int32_t n, std::int32_t multiplier) {
    term[n] = multiplier;
    for (std::int32_t i = n - 1; i >= 0; --i) {
        term[i] = 0;
    }
}

void clear_sum(DigitBuffer sum, std::int32_t n) {
    for (std::int32_t i = n; i >= 0; --i) {
        sum[i] = 0;
    }
}

} // namespace

void format_formula_line(const BenchmarkOptions& options, char* line, std::size_t size) {
    const FormulaTerm first = formula_term(options.formula, 0);
    const FormulaTerm second = formula_term(options.formula, 1);
    const FormulaTerm third = formula_term(options.formula, 2);
    // The line is at most 75 bytes; the callers' buffers hold it.
    static_cast<void>(std::snprintf(
        line, size,
        "pi= %s%" PRId32 " * arctg(1/%" PRId32 ") %s %" PRId32 " * arctg(1/%" PRId32 ") %s %" PRId32
        " * arctg(1/%" PRId32 ") [%s]",
        first.add != 0 ? "" : "-", first.multiplier, first.reciprocal, sign_between_terms(second),
        second.multiplier, second.reciprocal, sign_between_terms(third), third.multiplier,
        third.reciprocal, formula_names[static_cast<std::int32_t>(options.formula)]));
}

void print_formula_line(const BenchmarkOptions& options) {
    char line[128];
    format_formula_line(options, line, sizeof line);
    std::printf("%s\n", line);
}

SeriesWork add_arctan_series(Formula formula, std::int32_t term_index, DigitBuffer term,
                             DigitBuffer sum, std::int32_t n) {
    const FormulaTerm series = formula_term(formula, term_index);
    seed_term(term, n, series.multiplier);
    divide_accumulate(term, sum, n, series.reciprocal, series.add);
    std::int32_t top = lower_top(term, n);
    const std::int32_t reciprocal_squared = series.reciprocal * series.reciprocal;
    std::int32_t odd_divisor = 3;
    std::int32_t add = series.add == 0 ? 1 : 0;
    SeriesWork work{0, std::int64_t{n} + 1};
    while (top > 0) {
        divide_in_place(term, top, reciprocal_squared);
        work.divisions += top + 1;
        top = lower_top(term, top);
        accumulate_quotient(term, sum, top, odd_divisor, add);
        work.divisions += top + 1;
        odd_divisor += 2;
        add = 1 - add;
        ++work.steps;
    }
    return work;
}

void compute_pi(const BenchmarkOptions& options, DigitBuffer term, DigitBuffer sum,
                std::int32_t n) {
    clear_sum(sum, n);
    for (std::int32_t term_index = 0; term_index < terms_per_formula; ++term_index) {
        add_arctan_series(options.formula, term_index, term, sum, n);
    }
    normalize_digits(sum, n);
}

} // namespace picalc
