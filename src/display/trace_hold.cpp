#include "display/trace_hold.h"

#include "platform/hundredths.h"
#include "platform/single_precision.h"
#include "platform/vector_clones.h"

#include <algorithm>
#include <cmath>

namespace sky {

TraceLayout TraceLayout::Of(const TChartSeries &trace) {
    const int n = trace.PointCount();
    if (n == 0)
        return {};
    return {n, trace.XValues().Value(0), trace.XValues().Value(n - 1)}; // whatever form they are held in
}

TColor BlendColour(TColor c, TColor toward, double share) {
    const QColor a = ColorToQColor(c), b = ColorToQColor(toward);
    auto mix = [share](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * share)); };
    return RGBToColor(qRgb(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue())));
}

namespace {

// Series of their own under the trace: ascending frequencies, no marks, no markers.
void configure(TChartSeries &s) {
    s.XValues().SetOrder(loAscending);
    s.YValues().SetOrder(loNone);
    s.Marks().Visible = false;
}

// The facts of levels turned into single precision, from those of the doubles: the conversion
// keeps their order, so the extremes convert; only a level beyond a float's range turns infinite.
TValueFacts singleFacts(const TValueFacts &d) {
    TValueFacts f = d;
    f.lowest = static_cast<float>(d.lowest);
    f.highest = static_cast<float>(d.highest);
    f.finite = d.finite && std::isfinite(f.lowest) && std::isfinite(f.highest);
    return f;
}

// The held levels with one more sweep in them. A NaN never holds a bin: it is replaced by the
// first real level and never replaces one.
SKYVANE_VECTOR_CLONES
void hold(float *h, const double *y, std::size_t n, bool highest) {
    if (highest) {
        for (std::size_t i = 0; i < n; ++i) {
            const float v = static_cast<float>(y[i]);
            h[i] = (v > h[i] || h[i] != h[i]) ? v : h[i];
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            const float v = static_cast<float>(y[i]);
            h[i] = (v < h[i] || h[i] != h[i]) ? v : h[i];
        }
    }
}

// f(y, from, k) over a trace's first n levels as doubles, y[0..k) being levels from..from+k:
// all at once, or for levels held as hundredths a piece at a time, so that the trace's levels
// are never spelled out whole.
template <class F> void forLevels(const TChartValueList &list, std::size_t n, F &&f) {
    const std::int16_t *h = list.Hundredths();
    if (!h) {
        f(list.Data(), std::size_t{0}, n);
        return;
    }
    ForHundredthsPieces(h, n, f);
}

// levels = the trace's first n levels in single precision
void toSingles(const TChartValueList &list, std::size_t n, std::vector<float> &levels) {
    levels.resize(n);
    forLevels(list, n, [&](const double *y, std::size_t from, std::size_t k) { ToSingles(y, levels.data() + from, k); });
}

} // namespace

THeldTrace::THeldTrace(Kind kind) : kind_(kind) { configure(series_); }

void THeldTrace::Restart() {
    layout_ = {};
    series_.ClearPoints();
    series_.YValues().ReleaseMemory();
}

void THeldTrace::Update(const TChartSeries &trace, TColor colour) {
    const TraceLayout layout = TraceLayout::Of(trace);
    if (layout.bins == 0)
        return;
    const std::size_t n = static_cast<std::size_t>(layout.bins);
    std::vector<float> levels; // the held levels, out of the series while they change
    series_.YValues().TakeSingles(levels);
    if (layout != layout_ || levels.size() != n) {
        toSingles(trace.YValues(), n, levels); // a new range or bin layout starts afresh
        layout_ = layout;
    } else {
        forLevels(trace.YValues(), n, [&](const double *y, std::size_t from, std::size_t k) {
            hold(levels.data() + from, y, k, kind_ == Kind::Highest);
        });
    }
    const TValueFacts facts = TChartValueList::FactsOf(levels.data(), n);
    series_.SetPointsOver(trace, levels, colour, facts); // the levels live in the series again
    series_.SetSeriesColor(colour);
}

void TTracePersistence::SetDepth(int n) {
    depth_ = std::max(0, n);
    if (static_cast<int>(series_.size()) > depth_)
        series_.resize(static_cast<std::size_t>(depth_));
}

void TTracePersistence::Clear() {
    series_.clear();
    layout_ = {};
}

void TTracePersistence::Push(const TChartSeries &trace) {
    const TraceLayout layout = TraceLayout::Of(trace);
    if (depth_ == 0 || layout.bins == 0)
        return;
    if (layout != layout_)
        Clear();
    layout_ = layout;
    std::unique_ptr<TFastLineSeries> s;
    if (static_cast<int>(series_.size()) >= depth_) {
        s = std::move(series_.back()); // the oldest, its storage reused
        series_.pop_back();
    } else {
        s = std::make_unique<TFastLineSeries>();
        configure(*s);
    }
    std::vector<float> levels;
    s->YValues().TakeSingles(levels);
    toSingles(trace.YValues(), static_cast<std::size_t>(layout.bins), levels);
    // The trace's values: what it knows of them holds for the copy.
    s->SetPointsOver(trace, levels, clDefault, singleFacts(trace.YValues().Facts()));
    series_.insert(series_.begin(), std::move(s));
}

void TTracePersistence::Follow(const TChartSeries &trace, TColor colour) {
    const TraceLayout layout = TraceLayout::Of(trace);
    if (layout != layout_) {
        Clear();
        return;
    }
    const int depth = static_cast<int>(series_.size());
    for (int k = 0; k < depth; ++k) {
        TFastLineSeries &s = *series_[static_cast<std::size_t>(k)];
        // The same frequencies, from the storage the trace reads now: the old one can go.
        if (s.PointCount() == layout.bins)
            s.XValues().ShareValues(trace.XValues(), 0, layout.bins);
        s.SetSeriesColor(Shade(colour, k, depth_)); // its points take the series colour
    }
}

TColor TTracePersistence::Shade(TColor colour, int k, int depth) {
    // Newest at 60 % of the trace's brightness, each older one a step darker, the oldest still
    // visible on black.
    const double bright = 0.6 * static_cast<double>(depth - k) / std::max(1, depth);
    return BlendColour(colour, clBlack, 1.0 - std::max(bright, 0.08));
}

} // namespace sky
