// Print preview page geometry: where the paper and the chart sit, what the mouse grabs, and how
// a drag may move the chart.
#include "print/preview_geometry.h"

#include <gtest/gtest.h>

using namespace sky;

namespace {

TRect R(int l, int t, int r, int b) { return TRect{l, t, r, b}; }

} // namespace

TEST(previewGeometry, PaperFillsEightyPercentOfTheTighterDimensionCentred) {
    // Landscape A4 (297 x 210) in a wide control: the height decides.
    EXPECT_EQ(PreviewPageRect(400, 200, 2970, 2100), R(87, 20, 313, 180)); // 160 * 297 / 210 = 226.3
    // The same paper in a tall control: the width decides.
    EXPECT_EQ(PreviewPageRect(200, 400, 2970, 2100), R(20, 143, 180, 256)); // 160 * 210 / 297 = 113.1
    // Portrait paper in a wide control; odd leftover splits towards the left.
    EXPECT_EQ(PreviewPageRect(301, 100, 210, 297), R(122, 10, 179, 90)); // 80 * 210 / 297 = 56.6
}

TEST(previewGeometry, PaperRoundsTiesToEven) {
    // 25 / 10 = 2.5 -> 2 and 25 / 5 = 5; 35 / 10 = 3.5 -> 4 and 35 / 5 = 7.
    EXPECT_EQ(PreviewPageRect(25, 1000, 100, 100), R(2, 490, 22, 510));
    EXPECT_EQ(PreviewPageRect(35, 1000, 100, 100), R(4, 486, 32, 514));
    // Heights alike: 15 / 10 = 1.5 -> 2, 15 / 5 = 3; 45 / 10 = 4.5 -> 4, 45 / 5 = 9.
    EXPECT_EQ(PreviewPageRect(1000, 15, 100, 100).Top, 2);
    EXPECT_EQ(PreviewPageRect(1000, 15, 100, 100).Height(), 12);
    EXPECT_EQ(PreviewPageRect(1000, 45, 100, 100).Top, 4);
    EXPECT_EQ(PreviewPageRect(1000, 45, 100, 100).Height(), 36);
}

TEST(previewGeometry, ChartRectangleAndMarginsConvertBothWays) {
    const TRect page = R(87, 20, 313, 180); // 226 x 160
    // 15 % of 226 = 33.9 -> 34; of 160 = 24.
    EXPECT_EQ(PreviewChartRect(page, R(15, 15, 15, 15)), R(121, 44, 279, 156));
    EXPECT_EQ(PreviewChartRect(page, R(10, 5, 30, 40)), R(87 + 23, 20 + 8, 313 - 68, 180 - 64));
    EXPECT_EQ(PreviewMargins(page, R(121, 44, 279, 156)), R(15, 15, 15, 15));
    // 1 pixel of 226 is 0.44 %, rounded to 0; 2 pixels 0.88 % -> 1.
    EXPECT_EQ(PreviewMargins(page, R(88, 21, 311, 180)), R(0, 1, 1, 0));
    EXPECT_EQ(PreviewMargins(R(0, 0, 0, 0), R(0, 0, 0, 0)), R(0, 0, 0, 0)); // no paper: no division by 0
}

TEST(previewGeometry, HitTestCornersFirstThenEdgesThenInside) {
    const TRect c = R(100, 100, 200, 150);
    EXPECT_EQ(PreviewHitTest(c, 100, 100, true, true), pdTopLeft);
    EXPECT_EQ(PreviewHitTest(c, 96, 154, true, true), pdBottomLeft);
    EXPECT_EQ(PreviewHitTest(c, 204, 96, true, true), pdTopRight);
    EXPECT_EQ(PreviewHitTest(c, 200, 150, true, true), pdBottomRight);
    EXPECT_EQ(PreviewHitTest(c, 104, 125, true, true), pdLeft);
    EXPECT_EQ(PreviewHitTest(c, 196, 125, true, true), pdRight);
    EXPECT_EQ(PreviewHitTest(c, 150, 97, true, true), pdTop);
    EXPECT_EQ(PreviewHitTest(c, 150, 153, true, true), pdBottom);
    EXPECT_EQ(PreviewHitTest(c, 105, 125, true, true), pdMove); // 5 pixels in: no longer the edge
    EXPECT_EQ(PreviewHitTest(c, 95, 125, true, true), pdNone);
    // Only the distance to the line counts, not where along it.
    EXPECT_EQ(PreviewHitTest(c, 102, 10, true, true), pdLeft);
    EXPECT_EQ(PreviewHitTest(c, 400, 148, true, true), pdBottom);
    // Moving off: the inside is nothing; resizing off: everything is nothing.
    EXPECT_EQ(PreviewHitTest(c, 150, 125, true, false), pdNone);
    EXPECT_EQ(PreviewHitTest(c, 150, 125, false, true), pdNone);
    EXPECT_EQ(PreviewHitTest(c, 100, 100, false, true), pdNone);
    EXPECT_EQ(PreviewHitTest(c, 100, 125, false, false), pdNone);
}

TEST(previewGeometry, EdgeDragsStayOnThePaperAndBeforeTheOppositeEdge) {
    const TRect page = R(0, 0, 400, 300);
    const TRect start = R(100, 100, 200, 150);
    struct Case {
        TPreviewDragKind kind;
        int x, y;
        bool moves;
        TRect expect;
    } cases[] = {
        {pdLeft, 199, 0, true, R(199, 100, 200, 150)},
        {pdLeft, 200, 0, false, start},  // onto the right edge
        {pdLeft, 250, 0, false, start},  // past it
        {pdLeft, 0, 0, true, R(0, 100, 200, 150)},
        {pdLeft, -1, 0, false, start},   // off the paper
        {pdRight, 101, 0, true, R(100, 100, 101, 150)},
        {pdRight, 100, 0, false, start},
        {pdRight, 400, 0, true, R(100, 100, 400, 150)},
        {pdRight, 401, 0, false, start},
        {pdTop, 0, 149, true, R(100, 149, 200, 150)},
        {pdTop, 0, 150, false, start},
        {pdTop, 0, -3, false, start},
        {pdBottom, 0, 101, true, R(100, 100, 200, 101)},
        {pdBottom, 0, 300, true, R(100, 100, 200, 300)},
        {pdBottom, 0, 301, false, start},
        // A corner moves only when both of its edges may.
        {pdTopLeft, 50, 60, true, R(50, 60, 200, 150)},
        {pdTopLeft, 50, 160, false, start},
        {pdTopLeft, 250, 60, false, start},
        {pdBottomRight, 300, 250, true, R(100, 100, 300, 250)},
        {pdBottomRight, 300, 301, false, start},
        {pdBottomLeft, 10, 290, true, R(10, 100, 200, 290)},
        {pdBottomLeft, 10, 99, false, start},
        {pdNone, 10, 10, false, start},
    };
    for (const Case &c : cases) {
        TRect chart = start;
        EXPECT_EQ(PreviewDragStep(c.kind, page, chart, c.x, c.y, QPoint(), start), c.moves)
            << "kind " << c.kind << " to " << c.x << "," << c.y;
        EXPECT_EQ(chart, c.expect) << "kind " << c.kind << " to " << c.x << "," << c.y;
    }
}

TEST(previewGeometry, MovingKeepsTheSizeAndNeverTouchesTheRightOrBottomEdge) {
    const TRect page = R(10, 20, 410, 320);
    const TRect start = R(100, 100, 200, 150);
    const QPoint grab(150, 125);
    TRect chart = start;
    EXPECT_TRUE(PreviewDragStep(pdMove, page, chart, 170, 135, grab, start));
    EXPECT_EQ(chart, R(120, 110, 220, 160));
    // Far up and left: parked in the paper's corner, same size.
    EXPECT_TRUE(PreviewDragStep(pdMove, page, chart, 0, 0, grab, start));
    EXPECT_EQ(chart, R(10, 20, 110, 70));
    // Right up to the paper's right edge is refused; one pixel short is taken.
    chart = start;
    EXPECT_FALSE(PreviewDragStep(pdMove, page, chart, 360, 125, grab, start));
    EXPECT_EQ(chart, start);
    EXPECT_TRUE(PreviewDragStep(pdMove, page, chart, 359, 125, grab, start));
    EXPECT_EQ(chart, R(309, 100, 409, 150));
    // Past the right or bottom edge: the chart stays where it was.
    EXPECT_FALSE(PreviewDragStep(pdMove, page, chart, 2000, 125, grab, start));
    EXPECT_EQ(chart, R(309, 100, 409, 150));
    EXPECT_FALSE(PreviewDragStep(pdMove, page, chart, 150, 2000, grab, start));
    EXPECT_EQ(chart, R(309, 100, 409, 150));
    // Measured from the rectangle at the press, not from the last step.
    EXPECT_TRUE(PreviewDragStep(pdMove, page, chart, 151, 125, grab, start));
    EXPECT_EQ(chart, R(101, 100, 201, 150));
}
