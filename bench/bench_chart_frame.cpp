// One full frame of the spectrum chart (716 x 263) as a sweep leaves it, and a repaint with
// nothing changed, which shows the cached frame.
//
// BM_SpectrumFrame: the first-start defaults, "Point" and "Max" on: the trace with a 2 x 2
// marker at every point, its marker copy against the right axis, the noise line, the peak
// markers a real sweep gives (local maxima above the noise level) and the strongest bin, at
// 1,000,000 and 2,500,000 points. BM_SpectrumFrameTraceOnly: the trace's markers hidden and no
// peak markers, as before.
#include "bench_main.h"
#include "display/spectrum_chart.h"
#include "scan/sweep_ingest.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Scene {
    TChart chart;
    sky::SpectrumSeries s;
    QImage window{716, 263, QImage::Format_RGB32};
    std::size_t peaks = 0;

    // Fills the series in the order the window's ingest does.
    Scene(int n, bool point, bool max)
    {
        chart.resize(716, 263);
        sky::ConfigureSpectrumChart(chart, s);
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(-45.0, 2.0);
        std::vector<double> x(n), y(n);
        for (int i = 0; i < n; ++i) {
            x[i] = 430e6 + 40.0 * i;
            y[i] = i % 100000 == 50000 ? -5.0 : noise(rng);
        }
        const sky::SweepExtremes e = sky::FindExtremes(y.data(), y.size());
        const double level = *sky::NoiseLevel(y.data(), y.size(), e.maxIndex);
        std::vector<double> px(n), py(n);
        peaks = sky::FindPeaks(x.data(), y.data(), y.size(), level + sky::kPeakMarginDb, px.data(), py.data());

        s.sweepSeries.Pointer().SetVisible(point); // the "Point" check box
        s.sweepSeries.AppendPoints(x.data(), y.data(), n, clRed);
        s.Series3.AddPoint(x[e.maxIndex], y[e.maxIndex], QString(), clLime);
        std::vector<double> levels(n - 2, level);
        s.Series2.AppendPoints(x.data() + 1, levels.data(), levels.size(), clYellow);
        if (max) s.Series4.AppendPoints(px.data(), py.data(), peaks, clLime); // the "Max" check box
        s.Series1.CopyFrom(s.sweepSeries);
        s.Series5.CopyFrom(s.sweepSeries);
    }
};

void Frame(benchmark::State &state, bool point, bool max)
{
    Scene scene(static_cast<int>(state.range(0)), point, max);
    for (auto _ : state) {
        scene.chart.Canvas3D().MarkDirty();
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    }
    state.counters["peaks"] = static_cast<double>(scene.peaks);
}

void BM_SpectrumFrame(benchmark::State &state) { Frame(state, true, true); }
void BM_SpectrumFrameTraceOnly(benchmark::State &state) { Frame(state, false, false); }

void BM_UnchangedRepaint(benchmark::State &state)
{
    Scene scene(1000000, true, true);
    scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    for (auto _ : state) {
        if (!scene.chart.Canvas3D().ShowCached(&scene.window)) state.SkipWithError("the cached frame was not shown");
    }
}

} // namespace

BENCHMARK(BM_SpectrumFrame)->Arg(1'000'000)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameTraceOnly)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_UnchangedRepaint)->Unit(benchmark::kMicrosecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
