// One full frame of the spectrum chart (716 x 263) with 1,000,000 points in the trace (line,
// markers hidden), its marker copy (1 x 1 points) and the noise line; and a repaint with nothing
// changed, which shows the cached frame.
#include "bench_main.h"
#include "display/spectrum_chart.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Scene {
    TChart chart;
    sky::SpectrumSeries s;
    QImage window{716, 263, QImage::Format_RGB32};
    Scene() {
        chart.resize(716, 263);
        sky::ConfigureSpectrumChart(chart, s);
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(-45.0, 2.0);
        const int n = 1000000;
        std::vector<double> x(n), y(n), level(n, -45.0);
        for (int i = 0; i < n; ++i) {
            x[i] = 430e6 + 40.0 * i;
            y[i] = i % 100000 == 50000 ? -5.0 : noise(rng);
        }
        s.sweepSeries.AppendPoints(x.data(), y.data(), n, 255);
        s.Series1.CopyFrom(s.sweepSeries);
        s.Series5.CopyFrom(s.sweepSeries);
        s.Series5.Pointer().SetVisible(true);
        s.Series2.AppendPoints(x.data(), level.data(), n, clYellow);
    }
};

void BM_SpectrumFrame1M(benchmark::State &state) {
    Scene scene;
    for (auto _ : state) {
        scene.chart.Canvas3D().MarkDirty();
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    }
}

void BM_UnchangedRepaint(benchmark::State &state) {
    Scene scene;
    scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    for (auto _ : state) {
        if (!scene.chart.Canvas3D().ShowCached(&scene.window))
            state.SkipWithError("the cached frame was not shown");
    }
}

} // namespace

BENCHMARK(BM_SpectrumFrame1M)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_UnchangedRepaint)->Unit(benchmark::kMicrosecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
