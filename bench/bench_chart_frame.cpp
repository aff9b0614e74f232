// One full frame of the spectrum chart (716 x 263) as a sweep leaves it, and a repaint with
// nothing changed, which shows the cached frame.
//
// BM_SpectrumFrame: the first-start defaults, "Point" and "Max" on: the trace with a 2 x 2
// marker at every point, its marker copy against the right axis, the noise line, the peak
// markers a real sweep gives (local maxima above the noise level) and the strongest bin, at
// 1,000,000 and 2,500,000 points. BM_SpectrumFrameTraceOnly: the trace's markers hidden and no
// peak markers. BM_SpectrumFrameOneCopy: the first-start defaults with the noise line as a level
// over the working series' x (SetLevelPoints) instead of n copies of it. BM_SweepDataResident:
// the resident memory the series of one sweep take, per value, filled that way. BM_MinMaxFloor:
// one lowest-and-highest pass over the levels, the floor a frame is compared with.
// BM_SpectrumFrameAutoScale: the same with the vertical axes automatic ("Chart Scale"), so that
// the levels fill the plot's height. BM_SpectrumFrameUnderlays: the same with max hold, min hold and five traces of persistence,
// drawn again and after each new sweep. BM_SpectrumFrameNewSweep: the first-start frame with
// new levels before every frame, held as doubles or as hundredths.
#include "bench_main.h"
#include "display/spectrum_chart.h"
#include "display/trace_hold.h"
#include "scan/sweep_ingest.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

struct Scene {
    TChart chart;
    sky::SpectrumSeries s;
    QImage window{716, 263, QImage::Format_RGB32};
    std::size_t peaks = 0;

    // Fills the series in the order the window's ingest does; `level` puts the noise line in
    // as a level over the working series' x rather than as n points.
    Scene(int n, bool point, bool max, bool level = false)
    {
        chart.resize(716, 263);
        sky::ConfigureSpectrumChart(chart, s);
        std::vector<double> x, y;
        Sweep(n, x, y);
        const sky::SweepExtremes e = sky::FindExtremes(y.data(), y.size());
        const double noise = *sky::NoiseLevel(y.data(), y.size(), e.maxIndex);
        s.sweepSeries.Pointer().SetVisible(point); // the "Point" check box
        if (level) {
            s.sweepSeries.AdoptPoints(x, y, clRed);
            std::vector<double>().swap(x);
            std::vector<double>().swap(y);
        } else {
            s.sweepSeries.AppendPoints(x.data(), y.data(), n, clRed);
        }
        const double *sx = s.sweepSeries.XValues().Data(), *sy = s.sweepSeries.YValues().Data();
        s.Series3.AddPoint(sx[e.maxIndex], sy[e.maxIndex], QString(), clLime);
        if (level) {
            s.Series2.SetLevelPoints(s.sweepSeries, 1, n - 2, noise, clYellow);
        } else {
            std::vector<double> levels(n - 2, noise);
            s.Series2.AppendPoints(sx + 1, levels.data(), levels.size(), clYellow);
        }
        if (max) { // the "Max" check box: the peaks a sweep gives, counted before they are stored
            auto peak = [&](int i) { return sky::IsPeak(sy, static_cast<std::size_t>(i)) && sy[i] > noise + sky::kPeakMarginDb; };
            std::size_t count = 0;
            for (int i = 1; i + 1 < n; ++i) count += peak(i);
            std::vector<double> px, py;
            px.reserve(count);
            py.reserve(count);
            for (int i = 1; i + 1 < n; ++i)
                if (peak(i)) {
                    px.push_back(sx[i]);
                    py.push_back(sy[i]);
                }
            peaks = px.size();
            s.Series4.AdoptPoints(px, py, clLime);
        }
        s.Series1.CopyFrom(s.sweepSeries);
        s.Series5.CopyFrom(s.sweepSeries);
    }

    static void Sweep(int n, std::vector<double> &x, std::vector<double> &y)
    {
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(-45.0, 2.0);
        x.resize(n);
        y.resize(n);
        for (int i = 0; i < n; ++i) {
            x[i] = 430e6 + 40.0 * i;
            y[i] = i % 100000 == 50000 ? -5.0 : noise(rng);
        }
    }
};

void Frame(benchmark::State &state, bool point, bool max, bool level = false, bool autoScale = false)
{
    Scene scene(static_cast<int>(state.range(0)), point, max, level);
    if (autoScale) { // "Chart Scale" on: the levels fill the plot's height
        scene.chart.Left().SetAutomatic(true);
        scene.chart.Right().SetAutomatic(true);
    }
    for (auto _ : state) {
        scene.chart.Canvas3D().MarkDirty();
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    }
    state.counters["peaks"] = static_cast<double>(scene.peaks);
}

// The first-start defaults with a trace option on, as the window arranges the series under the
// trace: second argument 0 min hold, 1 five traces of persistence, 2 both and max hold. Third
// argument 1: each frame follows a new sweep (its levels taken in turn from a few, the holds and
// the persistence updated outside the timed part), as the first frame of every sweep is drawn;
// 0: the same frame again, as a repaint between sweeps draws it.
void BM_SpectrumFrameUnderlays(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const int which = static_cast<int>(state.range(1));
    const bool fresh = state.range(2) != 0;
    Scene scene(n, true, true, true);
    sky::THeldTrace high(sky::THeldTrace::Kind::Highest), low(sky::THeldTrace::Kind::Lowest);
    sky::TTracePersistence persistence;
    persistence.SetDepth(5);
    TLineSeries &trace = scene.s.Series1;
    std::vector<std::vector<double>> levels(3);
    std::vector<double> x;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        Scene::Sweep(n, x, levels[k]);
        for (double &v : levels[k]) v += static_cast<double>(k); // different levels
    }
    int sweep = 0;
    auto next = [&] {
        persistence.Push(trace);
        if (sweep > 0) { // a new sweep, as the window puts it in place
            std::vector<double> xs = x, ys = levels[static_cast<std::size_t>(sweep) % levels.size()];
            const TValueFacts xf = TChartValueList::FactsOf(xs.data(), xs.size());
            const TValueFacts yf = TChartValueList::FactsOf(ys.data(), ys.size());
            scene.s.sweepSeries.AdoptPoints(xs, ys, clRed, xf, yf);
            trace.CopyFrom(scene.s.sweepSeries);
            scene.s.Series5.CopyFrom(scene.s.sweepSeries);
        }
        persistence.Follow(trace, clRed);
        high.Update(trace, clYellow);
        low.Update(trace, clGreen);
        ++sweep;
    };
    for (int k = 0; k < 6; ++k) next();
    std::vector<TChartSeries *> under;
    if (which >= 1)
        for (auto it = persistence.Series().rbegin(); it != persistence.Series().rend(); ++it)
            under.push_back(it->get());
    if (which != 1)
        under.push_back(&low.Series());
    if (which == 2)
        under.push_back(&high.Series());
    for (std::size_t i = 0; i < under.size(); ++i) {
        under[i]->SetVertAxis(aBothVertAxis);
        scene.chart.AddSeries(under[i]);
        scene.chart.SeriesList().Move(under[i], static_cast<int>(i));
    }
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            next();
            state.ResumeTiming();
        }
        scene.chart.Canvas3D().MarkDirty();
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    }
    state.counters["series"] = scene.chart.SeriesList().Count();
}

void BM_SpectrumFrame(benchmark::State &state) { Frame(state, true, true); }
void BM_SpectrumFrameTraceOnly(benchmark::State &state) { Frame(state, false, false); }
void BM_SpectrumFrameOneCopy(benchmark::State &state) { Frame(state, true, true, true); }
void BM_SpectrumFrameAutoScale(benchmark::State &state) { Frame(state, true, true, true, true); }

// The first-start frame as the first one after each new sweep: the trace and its copy take new
// levels (alternating between two, with their facts, outside the timed part), so every frame
// maps them anew, as the live window's first frame of a sweep does. Second argument 1: the
// levels rounded to hundredths and held so; 2: the frequencies held as runs of 4,096 bins too,
// as the window holds rtl_power's sweeps. Third argument 1: the same frame drawn again instead,
// as a repaint between sweeps draws it.
void BM_SpectrumFrameNewSweep(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const bool hundredths = state.range(1) != 0, runs = state.range(1) == 2, again = state.range(2) != 0;
    Scene scene(n, true, true, true);
    std::vector<double> x, levels[2];
    Scene::Sweep(n, x, levels[0]);
    levels[1] = levels[0];
    for (double &v : levels[1]) v += 0.5;
    std::vector<std::int16_t> cents[2];
    for (int k = 0; k < 2; ++k)
        for (double &v : levels[k]) {
            cents[k].push_back(static_cast<std::int16_t>(std::lround(v * 100)));
            v = sky::HundredthsValue(cents[k].back());
        }
    if (hundredths) { // the peaks' levels as hundredths too, as the window holds them
        std::vector<double> px = scene.s.Series4.XValues().Copy();
        std::vector<std::int16_t> ph;
        for (double v : scene.s.Series4.YValues().Copy()) ph.push_back(static_cast<std::int16_t>(std::lround(v * 100)));
        std::vector<double> spelled;
        sky::SpellOutHundredths(ph.data(), ph.size(), spelled);
        scene.s.Series4.AdoptPoints(px, ph, clLime, TChartValueList::FactsOfAscending(px.data(), px.size()),
                                    TChartValueList::FactsOf(spelled.data(), spelled.size()));
    }
    std::vector<sky::FrequencyRun> hops;
    for (int i = 0; i < n; i += 4096) hops.push_back({static_cast<std::size_t>(i), x[static_cast<std::size_t>(i)], 40.0});
    sky::SpellOutRuns(hops, x.size(), 0, x); // the same frequencies either way
    int sweep = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (again && sweep > 0) {
            state.ResumeTiming();
            scene.chart.Canvas3D().MarkDirty();
            scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
            continue;
        }
        ++sweep;
        std::vector<double> xs = x, ys = levels[sweep % 2];
        std::vector<std::int16_t> hs = cents[sweep % 2];
        std::vector<sky::FrequencyRun> rs = hops;
        const TValueFacts xf = TChartValueList::FactsOf(xs.data(), xs.size());
        const TValueFacts yf = TChartValueList::FactsOf(ys.data(), ys.size());
        if (runs)
            scene.s.sweepSeries.AdoptPoints(rs, xs.size(), 0, hs, clRed, xf, yf);
        else if (hundredths)
            scene.s.sweepSeries.AdoptPoints(xs, hs, clRed, xf, yf);
        else
            scene.s.sweepSeries.AdoptPoints(xs, ys, clRed, xf, yf);
        scene.s.Series1.CopyFrom(scene.s.sweepSeries);
        scene.s.Series5.CopyFrom(scene.s.sweepSeries);
        scene.s.Series2.SetLevelPoints(scene.s.sweepSeries, 1, n - 2, -45.0, clYellow); // over the new x, as the window
        state.ResumeTiming();
        scene.chart.Canvas3D().MarkDirty();
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    }
}

void BM_SweepDataResident(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const long before = ResidentBytes();
        Scene scene(n, true, true, true);
        scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263}); // and the drawing's own buffers
        state.counters["bytes_per_value"] = static_cast<double>(ResidentBytes() - before) / n;
    }
}

void BM_UnchangedRepaint(benchmark::State &state)
{
    Scene scene(1000000, true, true);
    scene.chart.DrawTo(&scene.window, TRect{0, 0, 716, 263});
    for (auto _ : state) {
        if (!scene.chart.Canvas3D().ShowCached(&scene.window)) state.SkipWithError("the cached frame was not shown");
    }
}

// The floor a frame is measured against: one pass finding the lowest and highest of the n
// levels, what any drawing that looks at every value must at least do.
void BM_MinMaxFloor(benchmark::State &state)
{
    std::vector<double> x, y;
    Scene::Sweep(static_cast<int>(state.range(0)), x, y);
    for (auto _ : state) {
        double lo = y[0], hi = y[0];
        for (double v : y) {
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
}

} // namespace

BENCHMARK(BM_MinMaxFloor)->Arg(1'000'000)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_SpectrumFrame)->Arg(1'000'000)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameTraceOnly)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameOneCopy)->Arg(1'000'000)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameAutoScale)->Arg(1'000'000)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameNewSweep)->ArgsProduct({{1'000'000, 2'500'000}, {0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SpectrumFrameUnderlays)->ArgsProduct({{1'000'000}, {0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SweepDataResident)->Arg(2'500'000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_UnchangedRepaint)->Unit(benchmark::kMicrosecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
