#pragma once
// Series drawn under the trace from the sweeps before it: the highest or lowest level each bin
// has had (max and min hold), and the last few traces in fading shades (persistence). Each keeps
// one array of levels of its own and reads its frequencies from the trace's storage.
#include "chart/series.h"

#include <memory>
#include <vector>

namespace sky {

// The bins and range of a trace: held levels only mean something for the same ones.
struct TraceLayout {
    int bins = 0;
    double first = 0, last = 0;
    bool operator==(const TraceLayout &) const = default;
    static TraceLayout Of(const TChartSeries &trace);
};

// A colour between `c` and `toward` (0: c, 1: toward), for dim copies of the trace colour.
TColor BlendColour(TColor c, TColor toward, double share);

class THeldTrace {
public:
    enum class Kind { Highest, Lowest };
    explicit THeldTrace(Kind kind);

    TFastLineSeries &Series() { return series_; }
    const TFastLineSeries &Series() const { return series_; }
    // Forgets what is held: the next update starts with that sweep.
    void Restart();
    // Takes the trace's levels into the hold, per bin (a NaN never replaces a level); a trace of
    // another layout starts afresh. The series is drawn in `colour`.
    void Update(const TChartSeries &trace, TColor colour);

private:
    Kind kind_;
    TFastLineSeries series_;
    TraceLayout layout_;
};

class TTracePersistence {
public:
    // The traces kept (0: none, the series are dropped).
    void SetDepth(int n);
    int Depth() const { return depth_; }
    // The series, newest first; the caller puts them into the chart under the trace, oldest lowest.
    const std::vector<std::unique_ptr<TFastLineSeries>> &Series() const { return series_; }
    // Keeps a copy of `trace` (the one about to be replaced) as the newest, dropping the oldest
    // beyond the depth. A trace of another layout than those kept starts afresh.
    void Push(const TChartSeries &trace);
    // After a new trace is shown: kept traces of another layout go; the others read their
    // frequencies from the new trace's storage, so the old one can be reused. Their shades fade
    // from `colour` toward black, newest brightest.
    void Follow(const TChartSeries &trace, TColor colour);
    // Drops every kept trace.
    void Clear();
    // The colour of the k-th newest kept trace (0 newest) of `depth` for a trace in `colour`.
    static TColor Shade(TColor colour, int k, int depth);

private:
    int depth_ = 0;
    TraceLayout layout_;
    std::vector<std::unique_ptr<TFastLineSeries>> series_; // newest first
};

} // namespace sky
