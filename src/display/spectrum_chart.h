#pragma once
// The spectrum chart's configuration and its series: the trace, the noise line, the peak and
// strongest-bin markers, a marker copy of the trace, and the working series every sweep is
// assembled in.
#include "chart/chart.h"
#include "chart/series.h"

namespace sky {

struct SpectrumSeries {
    TPointSeries Series5;   // copy of the trace as 1 x 1 markers against the right axis
    TLineSeries Series1;    // the spectrum trace of the last sweep
    TFastLineSeries Series2; // the average-noise line
    TPointSeries Series4;   // peak markers
    TPointSeries Series3;   // the strongest bin
    TLineSeries sweepSeries; // working series; never in a chart

    SpectrumSeries();
};

// Black, 2D, no legend, the two-line title, the four axes and the five series in drawing order.
void ConfigureSpectrumChart(TChart &ch, SpectrumSeries &s);

// The chart's colours for the screen (light lines and texts on black) or for paper (dark ones on
// white); the trace keeps its own colour either way.
void SetSpectrumChartColours(TChart &ch, SpectrumSeries &s, bool paper);
// The colour of the peak labels on the screen or on paper.
TColor PeakLabelColour(bool paper);

} // namespace sky
