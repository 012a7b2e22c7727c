// Microbenchmarks of picalc's workloads against the floor the hardware sets
// for the same operations. Each iteration times the workload and its floor
// back to back, so both see the same machine load; the reported time is the
// workload's, and the counters give the cost per unit and the ratio. The
// iteration counts are fixed: a workload that lost its work would otherwise
// make the library repeat its floor many thousand times.
#include "keep_value.h"
#include "sqrt_loops.h"
#include "trapezoid_table.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

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

// The conversion, square root and product of a step, with no sum between steps.
void sqrt_floor() {
    for (std::int32_t counter = 1; counter < 2 * sqrt_loop_steps; counter += 2) {
        picalc::keep_value(std::sqrt(static_cast<double>(counter)) *
                           static_cast<double>(counter + 2));
    }
}

// The sine calls of one row, with no running sum and no absolute value.
void sine_floor(std::uint32_t intervals) {
    const double step = 6.283185307179586 / static_cast<double>(intervals);
    for (std::uint32_t i = 1; i < intervals; ++i) {
        picalc::keep_value(std::sin(static_cast<double>(i) * step));
    }
}

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
