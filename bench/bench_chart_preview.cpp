// The print preview page over the spectrum chart (716 x 263) with 1,000,000 points in the trace:
// one drag step of a margin (the margin lines move in not-xor, the controls follow), one full
// page repaint after the chart changed (recorded at its detail level and stretched onto the
// paper), and a repaint of an unchanged chart (its last drawing reused).
#include "bench_main.h"
#include "print/chart_preview.h"
#include "display/spectrum_chart.h"

#include <QMouseEvent>

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Scene {
    TChart chart;
    sky::SpectrumSeries s;
    sky::TChartPreview preview{nullptr, QStringLiteral("/tmp")};
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
        sky::TChartPreview::InstalledPrinters = [] { return QStringList(); };
        preview.SetImage(&chart);
        preview.show();
        QCoreApplication::processEvents();
    }
};

void Press(QWidget *w, QPoint at) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void BM_PreviewDragStep1M(benchmark::State &state) {
    Scene scene;
    sky::TChartPreviewPage &page = *scene.preview.Page;
    page.Frame();
    const TRect c = page.ChartRect();
    const int y = (c.Top + c.Bottom) / 2;
    Press(&page, QPoint(c.Left, y));
    if (page.DragKind() != sky::pdLeft) state.SkipWithError("the left edge was not grabbed");
    const int framesBefore = page.FrameCount();
    int step = 0;
    for (auto _ : state) {
        page.DragTo(c.Left + 1 + (step++ % 20), y);
        QCoreApplication::processEvents(); // shows the moved lines
    }
    if (page.FrameCount() != framesBefore) state.SkipWithError("a drag step repainted the whole page");
}

// The chart changed since the last repaint (a sweep arrived): recorded and stretched afresh.
void BM_PreviewFullRepaint1M(benchmark::State &state) {
    Scene scene;
    sky::TChartPreviewPage &page = *scene.preview.Page;
    for (auto _ : state) {
        scene.chart.Invalidate();
        page.Invalidate();
        benchmark::DoNotOptimize(page.Frame().constBits());
    }
}

// Nothing changed in the chart (a typed margin that keeps the chart's size, an uncovered window).
void BM_PreviewRepaintUnchangedChart1M(benchmark::State &state) {
    Scene scene;
    sky::TChartPreviewPage &page = *scene.preview.Page;
    page.Frame();
    const int draws = page.ChartDrawCount();
    for (auto _ : state) {
        page.Invalidate();
        benchmark::DoNotOptimize(page.Frame().constBits());
    }
    if (page.ChartDrawCount() != draws) state.SkipWithError("the unchanged chart was drawn again");
}

} // namespace

BENCHMARK(BM_PreviewDragStep1M)->Unit(benchmark::kMicrosecond)->MinTime(1);
BENCHMARK(BM_PreviewFullRepaint1M)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_PreviewRepaintUnchangedChart1M)->Unit(benchmark::kMicrosecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
