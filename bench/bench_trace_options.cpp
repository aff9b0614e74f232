// What the trace options add to each sweep at 2,500,000 bins, on the thread that runs them:
// averaging (the worker's ingest), max or min hold and five traces of persistence (the window
// thread). BM_CopyFloor: one copy of the levels, the least any option that keeps them can cost.
// BM_HeldMemory: the memory the kept levels take.
#include "bench_main.h"
#include "chart/series.h"
#include "display/trace_hold.h"
#include "scan/trace_average.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kSweeps = 4; // different sweeps, taken in turn

struct Sweeps {
    std::vector<double> x;
    std::vector<std::vector<double>> y;
    explicit Sweeps(std::size_t n) : x(n), y(kSweeps, std::vector<double>(n)) {
        std::mt19937 rng(5);
        std::normal_distribution<double> noise(-60.0, 4.0);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = 24e6 + 700.0 * static_cast<double>(i);
        for (auto &levels : y)
            for (double &v : levels)
                v = noise(rng);
    }
    // Puts sweep k into the trace as the window does: the series takes the arrays over with
    // what the worker found of them.
    void Show(TLineSeries &trace, int k) {
        std::vector<double> xs = x, ys = y[static_cast<std::size_t>(k % kSweeps)];
        const TValueFacts xf = TChartValueList::FactsOf(xs.data(), xs.size());
        const TValueFacts yf = TChartValueList::FactsOf(ys.data(), ys.size());
        trace.AdoptPoints(xs, ys, clRed, xf, yf);
    }
};

// One sweep into the average of ten: the worker's Prepare and the window's Commit (argument 1: 0
// both, 1 Prepare alone, 2 Commit alone).
void BM_AverageSweep(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const int part = static_cast<int>(state.range(1));
    Sweeps sweeps(n);
    sky::TTraceAverage average;
    average.SetCount(10);
    sky::TTraceAverage::Pending next;
    std::vector<double> y(n);
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(y.data(), sweeps.y[static_cast<std::size_t>(k++ % kSweeps)].data(), n * sizeof(double));
        if (part == 2)
            average.Prepare(sweeps.x.data(), y.data(), n, next);
        state.ResumeTiming();
        if (part != 2)
            average.Prepare(sweeps.x.data(), y.data(), n, next);
        if (part == 1)
            state.PauseTiming();
        average.Commit(next, y.data());
        if (part == 1)
            state.ResumeTiming();
        benchmark::DoNotOptimize(y.data());
    }
}

void Hold(benchmark::State &state, sky::THeldTrace::Kind kind) {
    Sweeps sweeps(static_cast<std::size_t>(state.range(0)));
    TLineSeries trace;
    sky::THeldTrace hold(kind);
    int k = 0;
    sweeps.Show(trace, k);
    hold.Update(trace, clYellow);
    // The trace of the next sweep is put in place outside the timed part; page faults of that
    // and of the timer's pauses stay out by taking the same few sweeps in turn.
    for (auto _ : state) {
        state.PauseTiming();
        sweeps.Show(trace, ++k);
        state.ResumeTiming();
        hold.Update(trace, clYellow);
    }
}

void BM_HoldUpdateOnly(benchmark::State &state) {
    Sweeps sweeps(static_cast<std::size_t>(state.range(0)));
    TLineSeries trace;
    sky::THeldTrace hold(sky::THeldTrace::Kind::Highest);
    sweeps.Show(trace, 0);
    for (auto _ : state)
        hold.Update(trace, clYellow);
}

void BM_MaxHoldSweep(benchmark::State &state) { Hold(state, sky::THeldTrace::Kind::Highest); }
void BM_MinHoldSweep(benchmark::State &state) { Hold(state, sky::THeldTrace::Kind::Lowest); }

void BM_PersistenceSweep(benchmark::State &state) {
    Sweeps sweeps(static_cast<std::size_t>(state.range(0)));
    TLineSeries trace;
    sky::TTracePersistence persistence;
    persistence.SetDepth(5);
    int k = 0;
    for (; k < 6; ++k) { // full: from now on the oldest's storage is reused
        sweeps.Show(trace, k);
        persistence.Push(trace);
        persistence.Follow(trace, clRed);
    }
    for (auto _ : state) {
        persistence.Push(trace); // the trace about to be replaced
        state.PauseTiming();
        sweeps.Show(trace, ++k);
        state.ResumeTiming();
        persistence.Follow(trace, clRed);
    }
}

// The memory the held levels take, per value and per kept array, as the process's resident memory
// grows: 0 max hold, 1 min hold, 2 five traces of persistence (the trace itself in place before).
void BM_HeldMemory(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const int which = static_cast<int>(state.range(1));
    for (auto _ : state) {
        Sweeps sweeps(n);
        TLineSeries trace;
        sweeps.Show(trace, 0);
        const long before = ResidentBytes();
        sky::THeldTrace hold(which == 0 ? sky::THeldTrace::Kind::Highest : sky::THeldTrace::Kind::Lowest);
        sky::TTracePersistence persistence;
        persistence.SetDepth(5);
        int arrays = 1;
        if (which < 2) {
            hold.Update(trace, clYellow);
        } else {
            for (int k = 0; k < 5; ++k) // the trace's storage stays: only the kept levels are new
                persistence.Push(trace);
            persistence.Follow(trace, clRed);
            arrays = 5;
        }
        state.counters["bytes_per_value_per_array"] =
            static_cast<double>(ResidentBytes() - before) / static_cast<double>(n * static_cast<std::size_t>(arrays));
    }
}

void BM_CopyFloor(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    Sweeps sweeps(n);
    std::vector<double> copy(n);
    for (auto _ : state) {
        std::memcpy(copy.data(), sweeps.y[0].data(), n * sizeof(double));
        benchmark::DoNotOptimize(copy.data());
    }
}

} // namespace

BENCHMARK(BM_CopyFloor)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_AverageSweep)->Args({100'000, 0})->ArgsProduct({{2'500'000}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_MaxHoldSweep)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_MinHoldSweep)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HoldUpdateOnly)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_HeldMemory)->Args({2'500'000, 0})->Args({2'500'000, 1})->Args({2'500'000, 2})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PersistenceSweep)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);

SKYVANE_BENCHMARK_MAIN()
