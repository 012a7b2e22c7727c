// Microbenchmarks of picalc's workloads against the floor the hardware sets
// for the same operations. Each iteration times the workload and its floor
// back to back, so both see the same machine load; the reported time is the
// workload's, and the counters give the cost per unit and the ratio. The
// iteration counts are fixed: a workload that lost its work would otherwise
// make the library repeat its floor many thousand times.
#include "digit_buffer.h"
#include "keep_value.h"
#include "sqrt_loops.h"
#include "trapezoid_table.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t default_digits = 9999;
constexpr std::int32_t default_precision = default_digits + picalc::guard_digits;
constexpr std::int32_t sqrt_loop_steps = 45000000;
constexpr std::uint32_t row_intervals = 1U << 20;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Workload, typename Floor>
void measure_against_floor(benchmark::State& state, double units_per_run, Workload workload,
                           Floor floor) {
    double workload_seconds = 0.0;
    double floor_seconds = 0.0;
    for (auto _ : state) {
        const Clock::time_point workload_start = Clock::now();
        workload();
        const double elapsed = seconds_since(workload_start);
        const Clock::time_point floor_start = Clock::now();
        floor();
        floor_seconds += seconds_since(floor_start);
        workload_seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const double units = units_per_run * static_cast<double>(state.iterations());
    state.counters["ns_per_unit"] = workload_seconds * 1e9 / units;
    state.counters["floor_ns_per_unit"] = floor_seconds * 1e9 / units;
    state.counters["ratio_to_floor"] = workload_seconds / floor_seconds;
}

// An integer the optimiser cannot see through, at no cost beyond a register.
std::int32_t opaque(std::int32_t value) {
    __asm__("" : "+r"(value));
    return value;
}

// The odd loop's square roots and products without its carried sum. After k
// steps that sum is k^2 (wrapping) and the counter 2k + 1, so each step is
// computed from its own k, made opaque so that no compiler carries or reuses
// anything between steps: the floor takes the very square roots the loop
// takes, about half of them of negative numbers once the sum has wrapped.
void sqrt_floor() {
    for (std::int32_t k = 1; k <= sqrt_loop_steps; ++k) {
        const auto step = static_cast<std::uint32_t>(opaque(k));
        const auto sum = static_cast<std::int32_t>(step * step);
        const auto counter = static_cast<std::int32_t>(2 * step + 1);
        picalc::keep_value(std::sqrt(static_cast<double>(sum)) * static_cast<double>(counter));
    }
}

// The sine calls of one row, with no running sum and no absolute value.
void sine_floor(std::uint32_t intervals) {
    const double step = picalc::two_pi / static_cast<double>(intervals);
    double point = 1.0;
    for (std::uint32_t i = 1; i < intervals; ++i) {
        picalc::keep_value(std::sin(point * step));
        point += 1.0;
    }
}

// A term of the default precision whose digits keep every division busy.
std::vector<std::int32_t> busy_term() {
    std::vector<std::int32_t> term(static_cast<std::size_t>(default_precision) + 1);
    for (std::size_t i = 0; i < term.size(); ++i) {
        term[i] = static_cast<std::int32_t>((i * 7) % 10);
    }
    return term;
}

// The latency bound of the passes: each element's division needs the previous
// remainder, so a chain of runtime divisions with nothing else is the floor.
void division_chain(const std::vector<std::int32_t>& digits, std::int32_t divisor) {
    benchmark::DoNotOptimize(divisor); // a runtime divisor, as in the passes
    std::int32_t remainder = 0;
    for (std::int32_t i = default_precision; i >= 0; --i) {
        const std::int32_t value = digits[static_cast<std::size_t>(i)] + 10 * remainder;
        remainder = value % divisor;
    }
    benchmark::DoNotOptimize(remainder);
}

// The divisors of a mid-series step with Gauss's first term: x^2 and 2k + 1.
constexpr std::int32_t pass_divisor_x2 = 18 * 18;
constexpr std::int32_t pass_divisor_odd = 2001;

void BM_DivideAccumulate(benchmark::State& state) {
    const std::vector<std::int32_t> digits = busy_term();
    std::vector<std::int32_t> term = digits;
    std::vector<std::int32_t> sum(digits.size());
    measure_against_floor(
        state, default_precision + 1,
        [&] {
            term = digits;
            picalc::divide_accumulate(term.data(), sum.data(), default_precision, 18, 1);
            benchmark::ClobberMemory();
        },
        [&] { division_chain(digits, 18); });
}
BENCHMARK(BM_DivideAccumulate)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_DivideInPlace(benchmark::State& state) {
    const std::vector<std::int32_t> digits = busy_term();
    std::vector<std::int32_t> term = digits;
    measure_against_floor(
        state, default_precision + 1,
        [&] {
            term = digits;
            picalc::divide_in_place(term.data(), default_precision, pass_divisor_x2);
            benchmark::ClobberMemory();
        },
        [&] { division_chain(digits, pass_divisor_x2); });
}
BENCHMARK(BM_DivideInPlace)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_AccumulateQuotient(benchmark::State& state) {
    const std::vector<std::int32_t> term = busy_term();
    std::vector<std::int32_t> sum(term.size());
    measure_against_floor(
        state, default_precision + 1,
        [&] {
            picalc::accumulate_quotient(term.data(), sum.data(), default_precision,
                                        pass_divisor_odd, 1);
            benchmark::ClobberMemory();
        },
        [&] { division_chain(term, pass_divisor_odd); });
}
BENCHMARK(BM_AccumulateQuotient)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The whole computation for a digit count and formula, with the number of
// divisions counted by the series themselves.
void BM_ComputePi(benchmark::State& state) {
    const auto digits = static_cast<std::int32_t>(state.range(0));
    const auto formula = static_cast<picalc::Formula>(state.range(1));
    const auto n = static_cast<std::int32_t>(picalc::precision_for(digits));
    std::vector<std::int32_t> term(static_cast<std::size_t>(n) + 1);
    std::vector<std::int32_t> sum(static_cast<std::size_t>(n) + 1);
    std::int64_t divisions = 0;
    for (std::int32_t index = 0; index < picalc::terms_per_formula; ++index) {
        divisions +=
            picalc::add_arctan_series(formula, index, term.data(), sum.data(), n).divisions;
    }
    for (auto _ : state) {
        picalc::compute_pi({digits, formula}, term.data(), sum.data(), n);
        benchmark::ClobberMemory();
    }
    state.counters["divisions"] = static_cast<double>(divisions);
    state.counters["ns_per_division"] =
        benchmark::Counter(static_cast<double>(divisions) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ComputePi)
    ->ArgsProduct({{default_digits}, {0, 1}})
    ->ArgsProduct({{2500, 5000, 10000, 20000}, {0}})
    ->ArgNames({"digits", "stomer"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_SqrtLoop(benchmark::State& state) {
    measure_against_floor(
        state, sqrt_loop_steps, [] { benchmark::DoNotOptimize(picalc::run_sqrt_loop(1)); },
        sqrt_floor);
}
BENCHMARK(BM_SqrtLoop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_IntegrationRow(benchmark::State& state) {
    const picalc::IntegrandEnds ends = picalc::integrand_ends();
    measure_against_floor(
        state, row_intervals - 1,
        [&] { benchmark::DoNotOptimize(picalc::trapezoid_integral(row_intervals, ends)); },
        [] { sine_floor(row_intervals); });
}
BENCHMARK(BM_IntegrationRow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

BENCHMARK_MAIN();
