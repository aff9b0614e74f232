// Chart model performance: filling and clearing a million-point series against plain vectors
// doing the same work, and value-to-pixel mapping on an axis.
#include "chart/axis.h"
#include "chart/series.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kPoints = 1'000'000;

// One sweep: a million points in ascending x, each with an explicit colour, then cleared.
void BM_LineSeriesAppendAndClear(benchmark::State &state)
{
    TLineSeries series;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) series.AddPoint(24e6 + i * 1000.0, -80.0 + (i & 63), QString(), clRed);
        benchmark::DoNotOptimize(series.YValues().Data());
        series.ClearPoints();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_LineSeriesAppendAndClear)->Unit(benchmark::kMillisecond);

// The same work with plain vectors: a million (x, y, colour) appended to three vectors that keep
// their storage, then cleared. The yardstick the series is held against.
void BM_PlainVectorsAppendAndClear(benchmark::State &state)
{
    std::vector<double> x, y;
    std::vector<TColor> colours;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            x.push_back(24e6 + i * 1000.0);
            y.push_back(-80.0 + (i & 63));
            colours.push_back(clRed);
        }
        benchmark::DoNotOptimize(x.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(colours.data());
        x.clear();
        y.clear();
        colours.clear();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PlainVectorsAppendAndClear)->Unit(benchmark::kMillisecond);

// ValueToPixel over a million values of a laid-out horizontal axis.
void BM_AxisValueToPixel(benchmark::State &state)
{
    TChartAxis axis(nullptr, true, false);
    axis.SetRange(24e6, 1.024e9);
    axis.AdjustRange();
    axis.UpdatePixelRange(TRect{40, 10, 1240, 600});
    std::vector<double> values(kPoints);
    for (int i = 0; i < kPoints; ++i) values[i] = 24e6 + i * 1000.0;
    for (auto _ : state) {
        long long sum = 0;
        for (double v : values) sum += axis.ValueToPixel(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.counters["ns_per_value"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPoints, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AxisValueToPixel)->Unit(benchmark::kMillisecond);

// The same on a logarithmic axis (one logarithm per value).
void BM_LogAxisValueToPixel(benchmark::State &state)
{
    TChartAxis axis(nullptr, true, false);
    axis.SetRange(1, 1e9);
    axis.SetLogarithmic(true);
    axis.AdjustRange();
    axis.UpdatePixelRange(TRect{40, 10, 1240, 600});
    std::vector<double> values(kPoints);
    for (int i = 0; i < kPoints; ++i) values[i] = 1.0 + i * 1000.0;
    for (auto _ : state) {
        long long sum = 0;
        for (double v : values) sum += axis.ValueToPixel(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.counters["ns_per_value"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPoints, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LogAxisValueToPixel)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
