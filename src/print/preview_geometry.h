#pragma once
// Geometry of the print preview page: where the paper sits in the control, where the chart sits
// on the paper, what the mouse is over, and how a drag moves the chart's edges.
#include "chart/chart_types.h"

#include <QPoint>

namespace sky {

// What a mouse press on the page grabs.
enum TPreviewDragKind {
    pdNone = 0,
    pdLeft = 1,
    pdTop = 2,
    pdRight = 3,
    pdBottom = 4,
    pdMove = 5, // the whole chart
    pdTopLeft = 6,
    pdTopRight = 7,
    pdBottomLeft = 8,
    pdBottomRight = 9,
};

// Pixels either side of an edge line that still grab it.
constexpr int kPreviewEdgeTolerance = 4;

// The paper in a control of clientWidth x clientHeight: 80 % of the tighter dimension, centred,
// in the paper's proportions.
TRect PreviewPageRect(int clientWidth, int clientHeight, int paperWidth, int paperHeight);

// The chart's place on the page for margins in percent (Left/Right of the page width,
// Top/Bottom of its height).
TRect PreviewChartRect(const TRect &page, const TRect &marginsPercent);

// The margins in percent that a chart rectangle on the page stands for.
TRect PreviewMargins(const TRect &page, const TRect &chart);

// What lies under (x, y) for a chart rectangle: corners first, then single edges, then the
// inside. Everything is pdNone when resizing is not allowed.
TPreviewDragKind PreviewHitTest(const TRect &chart, int x, int y, bool allowResize, bool allowMove);

// One step of a drag to the pointer (x, y). Edges move only where they stay on the page and
// left < right, top < bottom; a corner needs both of its edges to be allowed. A move shifts the
// rectangle it had at the press (startChart) by the pointer's offset from startMouse, kept on
// the page, and is refused when that would touch the page's right or bottom edge.
// Returns whether the chart rectangle changed.
bool PreviewDragStep(TPreviewDragKind kind, const TRect &page, TRect &chart, int x, int y, QPoint startMouse,
                     const TRect &startChart);

// Margins that leave a chart: no opposite pair reaches 100.
bool PreviewMarginsFit(const TRect &marginsPercent);

} // namespace sky
