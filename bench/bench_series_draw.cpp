// Series rendering performance: one frame of the spectrum chart's three big series (line with
// hidden pointer, point series with 1 x 1 circles, fast line) into a 716 x 263 plot, drawn
// through the canvas's buffered frame as the chart's paint does it.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/series.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

// Just enough chart for series to draw: five axes, a series list, a canvas, a plot rectangle.
class BenchChart : public TChartHost {
public:
    BenchChart()
        : list_(this), bottom_(this, true, false), top_(this, true, true), left_(this, false, false),
          right_(this, false, true), depth_(this)
    {
    }
    ~BenchChart() override
    {
        destroying_ = true;
        while (list_.Count() > 0) list_.At(0)->SetParentChart(nullptr);
    }
    void RequestRepaint() override { canvas_.MarkDirty(); }
    TChartSeriesList &SeriesList() override { return list_; }
    TCanvas3D &Canvas() override { return canvas_; }
    TCustomChartAxis *BottomAxis() override { return &bottom_; }
    TCustomChartAxis *TopAxis() override { return &top_; }
    TCustomChartAxis *LeftAxis() override { return &left_; }
    TCustomChartAxis *RightAxis() override { return &right_; }
    TCustomChartAxis *DepthAxis() override { return &depth_; }
    TRect PlotRect() const override { return plot_; }
    TColor Color() const override { return clBlack; }
    bool IsDestroying() const override { return destroying_; }

    TChartCanvas3D &Canvas3D() { return canvas_; }
    TRect plot_{21, 11, 21 + 716, 11 + 263};

private:
    TChartSeriesList list_;
    TChartAxis bottom_, top_, left_, right_;
    TChartDepthAxis depth_;
    TChartCanvas3D canvas_;
    bool destroying_ = false;
};

// A sweep-like spectrum: noise around -95 dB with a few peaks, ascending frequency over
// 430-470 MHz.
struct Spectrum {
    std::vector<double> x, y;
    explicit Spectrum(int n)
    {
        std::mt19937 rng(42);
        std::normal_distribution<double> noise(0.0, 2.5);
        x.resize(n);
        y.resize(n);
        const double peaks[][3] = {{433.92e6, 45, 8e3}, {446.0e6, 30, 40e3}, {451.3e6, 55, 3e3}, {462.5e6, 25, 120e3}};
        for (int i = 0; i < n; ++i) {
            x[i] = 430e6 + 40e6 * i / n;
            double v = -95 + noise(rng);
            for (const auto &p : peaks) v += p[1] * std::exp(-std::pow((x[i] - p[0]) / p[2], 2));
            y[i] = v;
        }
    }
};

struct Frame {
    BenchChart chart;
    TLineSeries series1;
    TPointSeries series5;
    TFastLineSeries series2;
    QImage surface{758, 298, QImage::Format_RGB32};

    explicit Frame(int n)
    {
        const Spectrum s(n);
        for (TChartSeries *series : {static_cast<TChartSeries *>(&series5), static_cast<TChartSeries *>(&series1),
                                     static_cast<TChartSeries *>(&series2)}) {
            series->XValues().Reserve(n);
            series->YValues().Reserve(n);
        }
        series5.SetVertAxis(aRightAxis);
        series5.Pointer().SetStyle(psCircle);
        series5.Pointer().SetHorizSize(1);
        series5.Pointer().SetVertSize(1);
        series5.Pointer().Pen().SetColor(clBlack);
        series1.Pointer().SetStyle(psCircle);
        series1.Pointer().SetHorizSize(2);
        series1.Pointer().SetVertSize(2);
        series2.SetSeriesColor(clYellow);
        for (int i = 0; i < n; ++i) {
            series1.AddPoint(s.x[i], s.y[i], QString(), clRed);
            series5.AddPoint(s.x[i], s.y[i], QString(), clRed);
            series2.AddPoint(s.x[i], -92.0 + 0.5 * std::sin(i * 1e-5), QString(), clYellow);
        }
        // the chart's list order: Series5 under the trace, then Series1, then the noise line
        series5.SetParentChart(&chart);
        series1.SetParentChart(&chart);
        series2.SetParentChart(&chart);
        chart.BottomAxis()->SetRange(430e6, 470e6);
        chart.LeftAxis()->SetRange(-110, 10);
        chart.RightAxis()->SetRange(-110, 10);
        for (TCustomChartAxis *a : {chart.BottomAxis(), chart.LeftAxis(), chart.RightAxis()}) {
            a->AdjustRange();
            a->UpdatePixelRange(chart.plot_);
        }
    }

    void Draw()
    {
        TChartCanvas3D &c = chart.Canvas3D();
        c.MarkDirty();
        c.BeginFrame(&surface, TRect{0, 0, surface.width(), surface.height()});
        c.Pen().Style = psClear;
        c.Brush().Color = clBlack;
        c.FillRect(TRect{0, 0, surface.width(), surface.height()});
        for (TChartSeries *s : chart.SeriesList()) {
            s->UpdateVisibleRange();
            if (s->FirstShown() < 0) continue;
            s->DoBeforeDraw();
            c.ClipPlot(chart.plot_);
            s->DrawPoints();
            c.Unclip();
            s->DoAfterDraw();
        }
        c.EndFrame();
    }
};

void BM_SpectrumFrame(benchmark::State &state)
{
    Frame frame(static_cast<int>(state.range(0)));
    for (auto _ : state) frame.Draw();
    state.SetItemsProcessed(state.iterations() * state.range(0) * 3);
    state.counters["points_per_series"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SpectrumFrame)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// The same frame with the trace's pointer shown (the "Point" check box): a marker per point
// on top of every segment.
void BM_SpectrumFrameTraceMarkers(benchmark::State &state)
{
    Frame frame(static_cast<int>(state.range(0)));
    frame.series1.Pointer().SetVisible(true);
    for (auto _ : state) frame.Draw();
    state.SetItemsProcessed(state.iterations() * state.range(0) * 3);
}
BENCHMARK(BM_SpectrumFrameTraceMarkers)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The same frame drawn straight onto the image (no back buffer), so every line and marker goes
// through QPainter: the path printing and exports take.
void BM_SpectrumFrameViaPainter(benchmark::State &state)
{
    Frame frame(static_cast<int>(state.range(0)));
    frame.chart.Canvas3D().SetUseBackBuffer(false);
    for (auto _ : state) frame.Draw();
}
BENCHMARK(BM_SpectrumFrameViaPainter)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(2);

// One series alone, to see where a frame's time goes.
void BM_SingleSeries(benchmark::State &state)
{
    Frame frame(static_cast<int>(state.range(1)));
    TChartSeries *only[] = {&frame.series1, &frame.series5, &frame.series2};
    for (int k = 0; k < 3; ++k) only[k]->SetActive(k == state.range(0));
    TChartCanvas3D &c = frame.chart.Canvas3D();
    for (auto _ : state) {
        c.BeginFrame(&frame.surface, TRect{0, 0, frame.surface.width(), frame.surface.height()});
        TChartSeries *s = only[state.range(0)];
        s->UpdateVisibleRange();
        c.ClipPlot(frame.chart.plot_);
        s->DrawPoints();
        c.Unclip();
        c.EndFrame();
    }
    state.SetLabel(state.range(0) == 0 ? "line" : state.range(0) == 1 ? "point" : "fast line");
}
BENCHMARK(BM_SingleSeries)->Args({0, 1'000'000})->Args({1, 1'000'000})->Args({2, 1'000'000})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
