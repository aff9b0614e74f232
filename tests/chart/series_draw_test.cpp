// Series rendering: visible range, line/point/fast-line drawing, markers, hit test, and the
// direct pixel path against the canvas's painter.
#include "chart/pixel_surface.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Plot (10, 10)-(110, 110) with both axes 0..100: value v lies at x pixel 10 + v and y pixel
// 110 - v.
struct Scene : TestChart {
    int backBufferChanges = 0;
    void BackBufferChanged() override { ++backBufferChanges; }

    explicit Scene(double min = 0, double max = 100)
    {
        plot = TRect{10, 10, 110, 110};
        for (TCustomChartAxis *a : {BottomAxis(), LeftAxis(), RightAxis()}) {
            a->SetAutomatic(false); // fixed ends, without SetRange's minimum span
            if (max < a->Minimum()) {
                a->SetMinimum(min);
                a->SetMaximum(max);
            } else {
                a->SetMaximum(max);
                a->SetMinimum(min);
            }
        }
    }
    // One frame of the given series into a white image 20 pixels larger than the plot's
    // bottom-right corner, buffered (written directly where possible) or straight onto the
    // image (always through the painter).
    QImage Render(std::initializer_list<TChartSeries *> series, bool buffered, bool clip = false)
    {
        Layout();
        const int w = plot.Right + 20, h = plot.Bottom + 20;
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(kWhite);
        canvas->SetUseBackBuffer(buffered);
        canvas->BeginFrame(&img, TRect{0, 0, w, h});
        canvas->Pen().Style = psClear;
        canvas->Brush().Color = clWhite;
        canvas->Brush().Style = bsSolid;
        canvas->FillRect(TRect{0, 0, w, h});
        for (TChartSeries *s : series) {
            if (s->ParentChart() != this) s->SetParentChart(this);
            s->UpdateVisibleRange();
            if (s->FirstShown() < 0) continue;
            if (clip) canvas->ClipPlot(plot);
            s->DrawPoints();
            canvas->Unclip();
        }
        canvas->EndFrame();
        return img;
    }
};

// What the canvas draws with a red one-pixel pen onto a white 130 x 130 image.
QImage Reference(const std::function<void(TCanvas3D &)> &draw)
{
    QImage img(130, 130, QImage::Format_RGB32);
    img.fill(kWhite);
    TChartCanvas3D c;
    c.SetUseBackBuffer(false);
    c.BeginFrame(&img, TRect{0, 0, 130, 130});
    c.Pen() = TCanvasPen{clRed};
    draw(c);
    c.EndFrame();
    return img;
}

int CountNot(const QImage &img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) != c;
    return n;
}

// Records the width of the pen every line is drawn with.
class CountingCanvas : public FixedMetricsCanvas {
public:
    std::vector<int> widths;
    void LineTo(int x, int y) override
    {
        widths.push_back(Pen().Width);
        FixedMetricsCanvas::LineTo(x, y);
    }
};

} // namespace

TEST(seriesDraw, VisibleRangeFollowsThePlotEdges)
{
    Scene chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    for (double x : {-30.0, -10.0, 5.0, 50.0, 99.0, 130.0, 150.0}) s.AddPoint(x, 1);
    chart.Layout();
    s.UpdateVisibleRange();
    EXPECT_EQ(s.FirstShown(), 2);
    EXPECT_EQ(s.LastShown(), 5); // the first point beyond the right edge is kept: the line runs out
    chart.Bottom().SetRange(200, 300);
    chart.Layout();
    s.UpdateVisibleRange();
    EXPECT_EQ(s.FirstShown(), -1);
    EXPECT_EQ(s.LastShown(), -1);

    // NaN x values are passed over, also at the end; unordered lists show everything
    TLineSeries n;
    n.SetParentChart(&chart);
    chart.Bottom().SetRange(0, 100);
    for (double x : {kNaN, 10.0, kNaN, 20.0, kNaN}) n.AddPoint(x, 1);
    chart.Layout();
    n.UpdateVisibleRange();
    EXPECT_EQ(n.FirstShown(), 1);
    EXPECT_EQ(n.LastShown(), 4);
    n.XValues().SetOrder(loNone);
    n.UpdateVisibleRange();
    EXPECT_EQ(n.FirstShown(), 0);
    EXPECT_EQ(n.LastShown(), 4);
}

// Ascending lists are searched by halving: the same range as a scan from the start, for random
// views over data with runs of equal values, a negative multiplier and a NaN (scanned).
TEST(seriesDraw, VisibleRangeByHalvingMatchesTheScan)
{
    std::mt19937 rng(5);
    auto r = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int t = 0; t < 300; ++t) {
        Scene chart;
        TLineSeries line;
        TChartSeries points; // does not draw between points: its last point stays inside
        std::vector<double> x;
        double v = r(-50, 50);
        for (int i = 0, n = r(1, 200); i < n; ++i) x.push_back(v += r(0, 3) / 2.0);
        const double m = t % 10 == 9 ? -1 : 1;
        if (t % 13 == 12) x[x.size() / 2] = kNaN;
        for (TChartSeries *s : {static_cast<TChartSeries *>(&line), static_cast<TChartSeries *>(&points)}) {
            for (double e : x) s->AddPoint(e, 1);
            s->XValues().SetMultiplier(m);
            s->SetParentChart(&chart);
        }
        const double lo = r(-80, 80) + 0.25, hi = lo + r(0, 60) + 0.5;
        if (hi < chart.Bottom().Minimum()) {
            chart.Bottom().SetMinimum(lo);
            chart.Bottom().SetMaximum(hi);
        } else {
            chart.Bottom().SetMaximum(hi);
            chart.Bottom().SetMinimum(lo);
        }
        chart.Bottom().SetInverted(t % 7 == 3);
        chart.Layout();
        for (TChartSeries *s : {static_cast<TChartSeries *>(&line), static_cast<TChartSeries *>(&points)}) {
            s->UpdateVisibleRange();
            // the scan, as the range is defined
            const bool inv = chart.Bottom().Inverted();
            const double a = s->XValueAtPixel(inv ? chart.plot.Right : chart.plot.Left);
            const double b = s->XValueAtPixel(inv ? chart.plot.Left : chart.plot.Right);
            const int n = static_cast<int>(x.size());
            int first = -1, last = -1;
            for (int i = 0; i < n && first < 0; ++i)
                if (x[i] * m >= a) first = i;
            if (first >= 0) {
                if (x[n - 1] * m <= b) {
                    last = n - 1;
                } else {
                    for (int i = first; i < n && last < 0; ++i)
                        if (x[i] * m >= b) last = i;
                    if (last < 0) {
                        last = n - 1;
                    } else if (!s->DrawBetweenPoints() && x[last] * m > b) {
                        last = last == first ? -2 : last - 1;
                    }
                }
            }
            if (last == -2) first = last = -1;
            EXPECT_EQ(s->FirstShown(), first) << t;
            EXPECT_EQ(s->LastShown(), last) << t;
        }
    }
}

TEST(seriesDraw, LineEntersAtThePlotEdgeAtTheInterpolatedHeight)
{
    for (bool buffered : {false, true}) {
        Scene chart;
        TLineSeries s;
        s.AddPoint(-50, 0, QString(), clRed);
        s.AddPoint(50, 100, QString(), clRed);
        const QImage img = chart.Render({&s}, buffered);
        // y at x = 0 is 50: the segment runs from (10, 60) to (60, 10)
        EXPECT_EQ(img, Reference([](TCanvas3D &c) { c.DrawSegment(10, 60, 60, 10); })) << buffered;
        EXPECT_EQ(img.pixel(10, 60), kRed);
    }
}

TEST(seriesDraw, NullPointLeavesAGapOfTwoSegmentsAndNoMarker)
{
    for (bool buffered : {false, true}) {
        Scene chart;
        TLineSeries s;
        s.Pointer().SetVisible(true);
        s.Pointer().SetHorizSize(2);
        s.Pointer().SetVertSize(2);
        s.Pointer().Brush().SetColor(clBlue);
        for (int k = 0; k < 5; ++k) s.AddPoint(10 + 20 * k, 50, QString(), k == 2 ? clNone : clRed);
        const QImage img = chart.Render({&s}, buffered, true);
        EXPECT_EQ(img.pixel(30, 60), kRed);  // p0-p1
        EXPECT_EQ(img.pixel(50, 60), kWhite); // p1-null
        EXPECT_EQ(img.pixel(70, 60), kWhite); // null-p3
        EXPECT_EQ(img.pixel(90, 60), kRed);  // p3-p4
        EXPECT_EQ(img.pixel(60, 60), kWhite); // no marker at the null point
        for (int x : {20, 40, 80, 100}) EXPECT_EQ(img.pixel(x, 60), kBlue) << x; // marker fill
    }
}

TEST(seriesDraw, SingleVisiblePointDrawsOnlyItsMarker)
{
    for (bool buffered : {false, true}) {
        Scene chart;
        TLineSeries s;
        s.AddPoint(50, 50, QString(), clRed);
        EXPECT_EQ(CountNot(chart.Render({&s}, buffered), kWhite), 0);
        s.Pointer().SetVisible(true);
        s.Pointer().SetStyle(psRectangle);
        const QImage img = chart.Render({&s}, buffered);
        EXPECT_EQ(CountNot(img, kWhite), 9 * 9); // HorizSize 4: 60-4 .. 60+4
        EXPECT_EQ(img.pixel(60, 60), kRed);
        TPointSeries nullOnly; // a null point has no marker, even when it is the only one
        nullOnly.AddPoint(50, 50, QString(), clNone);
        EXPECT_EQ(CountNot(chart.Render({&nullOnly}, buffered), kWhite), 0);
    }
}

TEST(seriesDraw, HitTestMarkersSegmentsAndStaleRanges)
{
    Scene chart;
    TPointSeries p;
    p.SetParentChart(&chart);
    p.Pointer().SetHorizSize(3);
    p.Pointer().SetVertSize(3);
    p.AddPoint(10, 50);
    p.AddPoint(90, 50);
    std::vector<int> clicked;
    p.OnClickPointer = [&](TCustomSeries *s, int i, int x, int y) { clicked = {s == &p, i, x, y}; };
    chart.Layout();
    p.UpdateVisibleRange();
    EXPECT_EQ(p.HitTest(23, 60), -1);            // exactly HorizSize away: not on the marker
    EXPECT_TRUE(clicked.empty());
    EXPECT_EQ(p.HitTest(22, 60), 0);             // one pixel inside
    EXPECT_EQ(clicked, (std::vector<int>{1, 0, 22, 60}));
    EXPECT_EQ(p.HitTest(60, 60), -1);            // a point series has no clickable line

    TLineSeries l;
    l.SetParentChart(&chart);
    l.AddPoint(10, 50);
    l.AddPoint(90, 50);
    l.AddPoint(90, 90);
    l.UpdateVisibleRange();
    EXPECT_EQ(l.HitTest(60, 60), 0);
    EXPECT_EQ(l.HitTest(100, 40), 1);
    EXPECT_EQ(l.HitTest(60, 61), -1);
    l.ClearPoints(); // the range is the last paint's; the points are gone
    EXPECT_EQ(l.HitTest(60, 60), -1);
}

TEST(seriesDraw, PointOnSegmentTolerance)
{
    EXPECT_TRUE(PointOnSegment(60, 40, 20, 60, 100, 20));
    EXPECT_FALSE(PointOnSegment(60, 41, 20, 60, 100, 20)); // cross product 80, not below d = 80
    EXPECT_FALSE(PointOnSegment(102, 19, 20, 60, 100, 20)); // on the line, beyond B
    EXPECT_FALSE(PointOnSegment(18, 61, 20, 60, 100, 20));  // beyond A
    EXPECT_FALSE(PointOnSegment(5, 5, 5, 5, 5, 5));
    // far-off ends do not overflow
    EXPECT_TRUE(PointOnSegment(0, 0, -2000000000, -2000000000, 2000000000, 2000000000));
    EXPECT_FALSE(PointOnSegment(0, 1, -2000000000, -2000000000, 2000000000, 2000000000));
}

TEST(seriesDraw, MarginsComeFromAVisibleInflatingPointer)
{
    TLineSeries s;
    auto x = [&] { int a = -1, b = -1; s.MarginsX(a, b); return std::pair{a, b}; };
    auto y = [&] { int a = -1, b = -1; s.MarginsY(a, b); return std::pair{a, b}; };
    EXPECT_EQ(x(), std::pair(0, 0)); // pointer hidden
    s.Pointer().SetVisible(true);
    s.Pointer().SetHorizSize(3);
    EXPECT_EQ(x(), std::pair(4, 4));
    EXPECT_EQ(y(), std::pair(5, 5));
    s.Pointer().SetInflateMargins(false);
    s.SetStairs(true);
    s.LinePen().SetWidth(3);
    EXPECT_EQ(y(), std::pair(3, 4));
}

TEST(seriesDraw, FastLineDrawsOneLinePerPixelChange)
{
    // 10000 points over 500 pixels, slowly varying: most fall on the pixel last drawn
    CountingCanvas counting; // outlives the chart that draws with it
    Scene chart(0, 10000);
    chart.plot = TRect{0, 0, 500, 120};
    chart.Left().SetRange(0, 100);
    TFastLineSeries f;
    f.SetParentChart(&chart);
    for (int i = 0; i < 10000; ++i) f.AddPoint(i, 50 + 30 * std::sin(i / 900.0));
    chart.Layout();
    int changes = 0;
    for (int i = 1; i < 10000; ++i)
        changes += f.XPixel(i) != f.XPixel(i - 1) || f.YPixel(i) != f.YPixel(i - 1);
    ASSERT_LT(changes, 1000);

    chart.canvas = &counting;
    chart.Render({&f}, false);
    EXPECT_EQ(static_cast<int>(counting.widths.size()), changes);
    EXPECT_EQ(f.LinesDrawn(), changes);
    counting.widths.clear();
    const QImage direct = chart.Render({&f}, true);
    EXPECT_TRUE(counting.widths.empty()); // written directly
    EXPECT_EQ(f.LinesDrawn(), changes);
    EXPECT_GT(CountNot(direct, kWhite), 490);
}

TEST(seriesDraw, PrintingThinsStyledPensAndNeverWritesDirectly)
{
    CountingCanvas counting;
    Scene chart;
    chart.canvas = &counting;
    TLineSeries s;
    s.LinePen().SetStyle(psDash);
    s.AddPoint(10, 10);
    s.AddPoint(90, 90);
    chart.Render({&s}, true);
    EXPECT_EQ(counting.widths, std::vector<int>{1});
    chart.printing = true;
    counting.widths.clear();
    s.LinePen().SetStyle(psSolid); // solid: kept, but through the canvas
    chart.Render({&s}, true);
    EXPECT_EQ(counting.widths, std::vector<int>{1});
    s.LinePen().SetStyle(psDash);
    counting.widths.clear();
    chart.Render({&s}, true);
    EXPECT_EQ(counting.widths, std::vector<int>{0});
}

TEST(seriesDraw, FastLineWithoutAutoRepaintDrawsAddedPointsIntoTheShownFrame)
{
    Scene chart;
    TFastLineSeries f;
    f.SetParentChart(&chart);
    f.SetSeriesColor(clRed);
    f.AddPoint(10, 50);
    chart.Render({&f}, true);
    const int repaints = chart.repaints;
    f.SetAutoRepaint(false);
    f.AddPoint(50, 50);
    EXPECT_EQ(chart.repaints, repaints);
    EXPECT_EQ(chart.backBufferChanges, 1);
    EXPECT_FALSE(chart.canvas->BufferStale());
    const QImage &buf = *chart.canvas->BackBuffer();
    EXPECT_EQ(buf.pixel(20, 60), kRed);
    EXPECT_EQ(buf.pixel(59, 60), kRed);
    EXPECT_EQ(buf.pixel(60, 60), kWhite); // end pixel not drawn
    f.SetAutoRepaint(true);
    f.AddPoint(90, 50); // a repaint request instead
    EXPECT_GT(chart.repaints, repaints);
    EXPECT_EQ(chart.backBufferChanges, 1);
}

// ---- direct pixel path against the painter

TEST(seriesDraw, DirectSurfaceOnlyOnBufferedFrames)
{
    Scene chart;
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(kWhite);
    TPixelSurface s;
    EXPECT_FALSE(s.Attach(*chart.canvas)); // no frame
    chart.canvas->SetUseBackBuffer(false);
    chart.canvas->BeginFrame(&img, TRect{0, 0, 40, 40});
    EXPECT_FALSE(s.Attach(*chart.canvas));
    chart.canvas->EndFrame();
    chart.canvas->SetUseBackBuffer(true);
    chart.canvas->BeginFrame(&img, TRect{0, 0, 40, 40});
    chart.canvas->ClipToRect(TRect{5, 6, 20, 30});
    ASSERT_TRUE(s.Attach(*chart.canvas));
    EXPECT_EQ(s.Clip(), QRect(5, 6, 15, 24));
    chart.canvas->EndFrame();
    chart.canvas->SetMonochrome(true);
    chart.canvas->BeginFrame(&img, TRect{0, 0, 40, 40});
    EXPECT_FALSE(s.Attach(*chart.canvas));
    chart.canvas->EndFrame();
}

TEST(seriesDraw, DirectLinesMatchThePainterOnRandomSegments)
{
    EnsureApp();
    std::mt19937 rng(11);
    auto r = [&](long long lo, long long hi) {
        return static_cast<int>(lo + static_cast<long long>(rng() % static_cast<unsigned long long>(hi - lo + 1)));
    };
    TChartCanvas3D painter, direct;
    painter.SetUseBackBuffer(false);
    TChartPen pen(clRed);
    int mismatches = 0;
    for (int t = 0; t < 4000; ++t) {
        const bool far = t % 4 == 3;
        int ax = far ? r(-2000000000, 2000000000) : r(-30, 110), ay = far ? r(-2000000000, 2000000000) : r(-30, 90);
        int bx = r(-30, 110), by = r(-30, 90);
        if (t % 5 == 0) bx = ax + r(-2, 2);
        const TRect clip{r(-5, 40), r(-5, 30), r(40, 90), r(30, 70)};
        QImage a(80, 60, QImage::Format_RGB32), b(80, 60, QImage::Format_RGB32);
        a.fill(kWhite);
        b.fill(kWhite);
        painter.BeginFrame(&a, TRect{0, 0, 80, 60});
        if (t % 3) painter.ClipToRect(clip);
        painter.SetPen(pen);
        painter.DrawSegment(ax, ay, bx, by);
        painter.EndFrame();
        direct.BeginFrame(&b, TRect{0, 0, 80, 60});
        direct.Pen().Style = psClear;
        direct.FillRect(TRect{0, 0, 80, 60});
        if (t % 3) direct.ClipToRect(clip);
        TPixelSurface s;
        ASSERT_TRUE(s.Attach(direct));
        s.Line(ax, ay, bx, by, kRed);
        direct.Unclip();
        direct.EndFrame();
        if (a != b && ++mismatches < 5) ADD_FAILURE() << ax << "," << ay << " -> " << bx << "," << by;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(seriesDraw, DirectFramesMatchThePainterForAllMarkersAndLineKinds)
{
    for (int seed = 0; seed < 100; ++seed) {
        std::mt19937 rng(seed);
        auto r = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
        const TColor colours[] = {clRed, clBlue, clLime, clNone, clDefault};
        Scene chart;
        TLineSeries line;
        line.SetSeriesColor(clTeal);
        line.Pointer().SetVisible(seed % 2 == 0);
        line.Pointer().SetStyle(static_cast<TSeriesPointerStyle>(seed % 9));
        line.Pointer().SetHorizSize(r(1, 4));
        line.Pointer().SetVertSize(r(1, 4));
        line.Pointer().Brush().SetColor(seed % 3 ? clDefault : clYellow);
        line.SetStairs(seed % 4 == 1);
        line.SetInvertedStairs(seed % 8 == 5);
        TPointSeries points;
        points.Pointer().SetStyle(static_cast<TSeriesPointerStyle>((seed + 4) % 9));
        points.Pointer().SetHorizSize(r(1, 3));
        points.Pointer().SetVertSize(r(1, 3));
        points.Pointer().Pen().SetColor(seed % 2 ? clDefault : clBlack);
        points.OnGetPointerStyle = [&](TChartSeries *, int i) { return static_cast<TSeriesPointerStyle>(i % 9); };
        if (seed % 3) points.OnGetPointerStyle = nullptr;
        TFastLineSeries fast;
        fast.SetSeriesColor(clPurple);
        TPointSeries edge; // many markers on the same positions across the clip's edges
        edge.Pointer().SetStyle(static_cast<TSeriesPointerStyle>((seed + 1) % 9));
        edge.Pointer().SetHorizSize(r(1, 3));
        edge.Pointer().SetVertSize(r(1, 3));
        for (int i = 0; i < 300; ++i) {
            const double at[] = {-1, 0, 0.4, 1, 2, 98, 99, 100, 101};
            edge.AddPoint(at[r(0, 8)], i % 2 ? at[r(0, 8)] : r(0, 100), QString(), i % 7 ? clRed : clBlue);
        }
        double x = -15;
        for (int i = 0; i < 80; ++i) {
            x += r(0, 3) + (i % 10 == 0 ? 0.5 : 0);
            const double y = i % 17 == 16 ? kNaN : r(-15, 115) + 0.25;
            const TColor c = colours[r(0, 4)];
            line.AddPoint(x, y, QString(), c);
            points.AddPoint(x + 0.5, r(-5, 105), QString(), c);
            fast.AddPoint(x, i % 23 == 22 ? kInf : r(-40, 140));
        }
        const bool clip = seed % 5 != 4;
        edge.XValues().SortValues();
        const QImage viaPainter = chart.Render({&line, &points, &fast, &edge}, false, clip);
        const QImage direct = chart.Render({&line, &points, &fast, &edge}, true, clip);
        EXPECT_EQ(viaPainter, direct) << "seed " << seed;
        EXPECT_GT(CountNot(direct, kWhite), 100);
    }
}

// Dense data in one colour (the column-by-column pass): many points per pixel column, markers of
// every style, zoomed views, clipping, inverted axes, and now and then a null point, a NaN or a
// second colour (the point-by-point pass): the buffered frame must be the painter's, pixel for
// pixel.
TEST(seriesDraw, DenseFramesMatchThePainter)
{
    for (int seed = 0; seed < 60; ++seed) {
        std::mt19937 rng(1000 + seed);
        auto r = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
        Scene chart;
        const int n = r(300, 4000);
        // zoomed in on part of the data, or showing all of it
        const double lo = seed % 3 == 0 ? r(20, 45) : -5, hi = seed % 3 == 0 ? r(55, 80) : 105;
        chart.Bottom().SetMaximum(hi);
        chart.Bottom().SetMinimum(lo);
        chart.Bottom().SetInverted(seed % 7 == 3);
        chart.Left().SetInverted(seed % 11 == 5);
        // a logarithmic frequency axis, with points at and below zero before its start
        const bool logarithmic = seed % 17 == 16;
        if (logarithmic) {
            chart.Bottom().SetMinimum(1);
            chart.Bottom().SetLogarithmic(true);
        }
        TLineSeries line;
        line.SetSeriesColor(clTeal);
        line.Pointer().SetVisible(seed % 4 != 3);
        line.Pointer().SetStyle(static_cast<TSeriesPointerStyle>(seed % 9));
        line.Pointer().SetHorizSize(seed % 13 == 6 ? r(60, 90) : r(1, 3)); // large ones reach in from afar
        line.Pointer().SetVertSize(seed % 13 == 6 ? r(60, 90) : r(1, 3));
        line.Pointer().Brush().SetColor(seed % 3 ? clDefault : clYellow);
        line.Pointer().Pen().SetColor(seed % 5 ? clBlack : clDefault);
        line.Pointer().Pen().SetVisible(seed % 6 != 2);
        TPointSeries points; // markers only, against the right axis
        points.SetVertAxis(aRightAxis);
        points.Pointer().SetStyle(static_cast<TSeriesPointerStyle>((seed + 3) % 9));
        points.Pointer().SetHorizSize(r(1, 2));
        points.Pointer().SetVertSize(r(1, 2));
        points.Pointer().Brush().SetColor(seed % 2 ? clWhite : clDefault);
        TFastLineSeries fast;
        fast.SetSeriesColor(clPurple);
        const double centre = r(20, 80), spread = seed % 13 == 6 ? 80 : r(1, 30);
        std::normal_distribution<double> noise(centre, spread);
        const TColor colour = seed % 2 ? clRed : clBlue;
        // evenly spread, or in bursts with repeated x, gaps and changes of density: columns of
        // every count of points, one after another
        std::vector<double> xs(static_cast<size_t>(n));
        double at = 0;
        for (int i = 0; i < n; ++i) {
            if (seed % 4 == 1)
                at += rng() % 9 == 0 ? r(50, 400) : rng() % 3 == 0 ? 0 : r(1, 20) * (i < n / 2 ? 1 : 7);
            xs[static_cast<size_t>(i)] = seed % 4 == 1 ? at : -20 + 140.0 * i / n + (i % 13 == 0 ? 0.0 : 1e-9 * i);
        }
        if (seed % 4 == 1)
            for (double &x : xs) x = -20 + 140.0 * x / at;
        for (int i = 0; i < n; ++i) {
            const double x = xs[static_cast<size_t>(i)];
            double y = noise(rng);
            if (seed % 10 == 9 && i == n / 2) y = kNaN;
            TColor c = colour;
            if (seed % 10 == 8 && i == n / 3) c = clNone;
            if (seed % 10 == 7 && i == n / 4) c = clGreen;
            line.AddPoint(x, y, QString(), c);
            if (i % 3 == 0) points.AddPoint(x, y + r(-3, 3), QString(), c);
            fast.AddPoint(x, seed % 4 == 0 ? centre : y + 5);
        }
        const bool clip = seed % 5 != 4 && !logarithmic;
        const QImage viaPainter = chart.Render({&points, &line, &fast}, false, clip);
        const QImage direct = chart.Render({&points, &line, &fast}, true, clip);
        ASSERT_EQ(viaPainter, direct) << "seed " << seed;
        EXPECT_GT(CountNot(direct, kWhite), 300) << "seed " << seed;
    }
}

// A trace whose lines and markers share one colour is drawn column by column as its span and
// the rows its points take: columns spanning from one row to several hundred, the rows taken
// sparse or all, markers reaching over the plot's edge, match the painter pixel for pixel.
TEST(seriesDraw, OneInkColumnsOfEverySpanMatchThePainter)
{
    std::mt19937 rng(77);
    for (int variant = 0; variant < 24; ++variant) {
        Scene chart(-10, 110);
        chart.plot = TRect{10, 10, 130, 10 + 100 + variant * 20};
        if (variant % 3 == 1) { // zoomed in: points before the first shown and beyond the plot
            chart.Bottom().SetMinimum(20 + variant);
            chart.Bottom().SetMaximum(70 + variant);
        }
        TLineSeries line;
        line.SetSeriesColor(clNavy);
        line.Pointer().SetVisible(variant % 3 != 2);
        // markers stacked in a column are drawn as their union where every row of the shape is
        // one run through its centre: shapes that are and that are not, small and large
        constexpr std::array styles{psCircle, psRectangle, psTriangle, psDiamond, psDownTriangle, psCross, psStar};
        line.Pointer().SetStyle(styles[static_cast<size_t>(variant) % styles.size()]);
        line.Pointer().SetHorizSize(1 + variant % 2 + (variant >= 12 ? variant % 5 : 0));
        line.Pointer().SetVertSize(1 + variant % 2 + (variant >= 12 ? variant % 3 : 0));
        line.Pointer().Pen().SetColor(clDefault);
        const int n = 6000;
        for (int i = 0; i < n; ++i) {
            // each column's points spread over a width that grows along the trace, past 256 rows
            const int column = i / 50;
            const double spread = 0.5 + column * 1.2 * (variant % 4 + 1) / 4.0;
            std::uniform_real_distribution<double> level(50 - spread / 2, 50 + spread / 2);
            const double y = variant % 5 == 4 && i % 7 ? 50 : level(rng);
            line.AddPoint(100.0 * i / n, y, QString(), clNavy);
        }
        const bool clip = variant % 2 == 0;
        ASSERT_EQ(chart.Render({&line}, false, clip), chart.Render({&line}, true, clip)) << "variant " << variant;
    }
}

// A level held as one number draws as the same points spelled out would, on every path.
TEST(seriesDraw, LevelPointsDrawAsTheSpelledOutPoints)
{
    for (double level : {37.25, -20.0, 250.0}) {
        Scene chart;
        chart.Bottom().SetMaximum(80); // the first points lie left of the plot
        chart.Bottom().SetMinimum(10);
        TLineSeries sweep;
        std::vector<double> x, y;
        for (int i = 0; i < 3000; ++i) {
            x.push_back(i / 30.0);
            y.push_back(i % 100);
        }
        sweep.AdoptPoints(x, y, clRed);
        TFastLineSeries held, spelled;
        held.SetSeriesColor(clRed);
        spelled.SetSeriesColor(clRed);
        held.SetLevelPoints(sweep, 1, sweep.PointCount() - 2, level, clYellow);
        for (int i = 1; i < sweep.PointCount() - 1; ++i) spelled.AddPoint(sweep.XValue(i), level, QString(), clYellow);
        ASSERT_TRUE(held.YValues().IsConstant());
        const QImage expected = chart.Render({&spelled}, false, true);
        const QImage direct = chart.Render({&held}, true, true);
        EXPECT_EQ(direct, expected) << level;
        EXPECT_EQ(held.LinesDrawn(), [&] { chart.Render({&spelled}, true, true); return spelled.LinesDrawn(); }());
        EXPECT_TRUE(held.YValues().IsConstant()); // drawn without spelling the level out
        EXPECT_EQ(chart.Render({&held}, false, true), expected) << level;
    }
}

// Pixel rows are mapped once for series that share values and mapping; a change of the values
// in place, another axis range or another run of the values must map them again.
TEST(seriesDraw, SharedRowsFollowChangesAxesAndRuns)
{
    Scene chart;
    TLineSeries trace;
    TPointSeries copy;
    std::vector<double> x, y;
    for (int i = 0; i < 2000; ++i) {
        x.push_back(i / 20.0);
        y.push_back(50 + 30 * std::sin(i / 40.0));
    }
    trace.AdoptPoints(x, y, clRed);
    copy.CopyFrom(trace);
    copy.SetVertAxis(aRightAxis);
    copy.Pointer().SetHorizSize(1);
    copy.Pointer().SetVertSize(1);
    ASSERT_TRUE(copy.YValues().SharesStorageWith(trace.YValues()));
    auto same = [&](const char *what) {
        const QImage viaPainter = chart.Render({&copy, &trace}, false, true);
        EXPECT_EQ(chart.Render({&copy, &trace}, true, true), viaPainter) << what;
    };
    same("shared, same mapping");
    chart.Right().SetMinimum(-50); // the copy's axis maps differently now
    same("other range");
    trace.YValues().SetValue(1000, 95); // shared with the copy: the trace takes its own values first
    same("changed after sharing");
    trace.YValues().SetValue(1001, 5); // now its own storage, changed in place
    same("changed in place");
    copy.SetLevelPoints(trace, 500, 1000, 20, clRed); // a run of the trace's x values
    copy.YValues().ShareValues(trace.YValues(), 500, 1000);
    same("a run of the values");
}

// The rows a frame maps are kept for the next frames: the trace, its copy on the other axis
// (mapped in the trace's own pass over the values) and the peaks each keep theirs. Drawn again,
// zoomed in (a part of the kept rows), after new levels, another range of either axis or a
// level changed in place, every frame must be the painter's.
TEST(seriesDraw, KeptRowsServeLaterFramesUntilValuesOrAxesChange)
{
    Scene chart(-10, 110);
    chart.plot = TRect{10, 10, 110, 210};
    chart.Right().SetMinimum(-40); // the copy's axis maps the same levels to other rows
    TLineSeries trace, copy;
    TPointSeries peaks;
    std::mt19937 rng(9);
    std::normal_distribution<double> noise(40, 12);
    auto sweep = [&](double shift) {
        std::vector<double> x, y;
        for (int i = 0; i < 20000; ++i) {
            x.push_back(i / 200.0);
            y.push_back(noise(rng) + shift);
        }
        trace.AdoptPoints(x, y, clRed);
        copy.CopyFrom(trace);
        copy.SetVertAxis(aRightAxis);
        copy.SetSeriesColor(clBlack);
        copy.Pointer().SetVisible(false);
        std::vector<double> px, py;
        for (int i = 1; i + 1 < trace.PointCount(); i += 7) {
            px.push_back(trace.XValue(i));
            py.push_back(trace.YValue(i));
        }
        peaks.AdoptPoints(px, py, clLime);
    };
    trace.Pointer().SetVisible(true);
    trace.Pointer().SetHorizSize(2);
    trace.Pointer().SetVertSize(2);
    trace.Pointer().Pen().SetColor(clDefault);
    peaks.Pointer().SetHorizSize(2);
    peaks.Pointer().SetVertSize(2);
    peaks.Pointer().Brush().SetColor(clWhite);
    sweep(0);
    for (TChartSeries *s : {static_cast<TChartSeries *>(&copy), static_cast<TChartSeries *>(&trace),
                            static_cast<TChartSeries *>(&peaks)})
        s->SetParentChart(&chart);
    ASSERT_TRUE(copy.YValues().SharesStorageWith(trace.YValues()));
    // `mapped`: the values the first direct frame maps into rows (-1: not checked); drawn again,
    // it maps none
    auto same = [&](const char *what, long long mapped = -1) {
        const QImage viaPainter = chart.Render({&copy, &trace, &peaks}, false, true);
        const std::uint64_t before = RowsMapped();
        const QImage direct = chart.Render({&copy, &trace, &peaks}, true, true);
        EXPECT_EQ(direct, viaPainter) << what;
        if (mapped >= 0) {
            EXPECT_EQ(RowsMapped() - before, static_cast<std::uint64_t>(mapped)) << what;
        }
        const std::uint64_t again = RowsMapped();
        EXPECT_EQ(chart.Render({&copy, &trace, &peaks}, true, true), viaPainter) << what << ", drawn again";
        EXPECT_EQ(RowsMapped(), again) << what << ", drawn again";
    };
    const long long points = trace.PointCount();
    same("first frame");
    chart.Bottom().SetMinimum(30); // a part of the rows kept for the whole trace
    chart.Bottom().SetMaximum(60);
    same("zoomed in", 0);
    sweep(5); // new storage
    same("new levels, zoomed");
    chart.Bottom().SetMaximum(100);
    chart.Bottom().SetMinimum(0);
    same("zoomed out");
    chart.Right().SetMaximum(150); // the copy's rows change, the trace's and the peaks' stay
    same("other range on the copy's axis", points);
    chart.Left().SetMinimum(-30); // the trace's and the peaks' change
    same("other range on the trace's axis");
    trace.YValues().SetValue(5000, 100); // the trace takes its own values, changed
    same("changed after sharing");
    copy.YValues().SetValue(5001, -5); // the copy's own now, changed in place
    same("changed in place");
}

// Mapping a run of values at once gives every pixel the axis gives one value, also for levels
// printed with two decimals, which land exactly half-way between two pixels at many scales, and
// for multipliers that make the products inexact.
TEST(seriesDraw, MappingRunsGivesThePixelsOfSingleValues)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> cents(-15000, 5000);
    for (int variant = 0; variant < 48; ++variant) {
        Scene chart;
        chart.plot = TRect{3, 7, 3 + 100 + variant * 37, 7 + 50 + variant * 19};
        TCustomChartAxis *axis = variant % 2 ? chart.BottomAxis() : chart.LeftAxis();
        axis->SetInverted(variant % 3 == 1);
        const double lo = -150 + variant % 5 * 10.0, hi = lo + (variant % 4 + 1) * 25.0 + (variant % 7) * 0.01;
        axis->SetMinimum(-1000);
        axis->SetMaximum(hi);
        axis->SetMinimum(lo);
        chart.Layout();
        const TPixelMapper map(axis);
        const double m = std::array{1.0, 0.37, 1.1, 3.0}[static_cast<size_t>(variant % 4)];
        std::vector<double> v(4096);
        for (double &value : v) value = cents(rng) / 100.0 / m;
        std::vector<int> out(v.size());
        std::vector<std::int16_t> narrow(v.size()); // the rows a dense pass keeps
        const int n = static_cast<int>(v.size());
        ASSERT_TRUE(map.MapInRange(v.data(), m, n, -32766, 32767, out.data())) << variant;
        ASSERT_TRUE(map.MapInRange(v.data(), m, n, -32766, 32767, narrow.data())) << variant;
        for (size_t i = 0; i < v.size(); ++i) {
            ASSERT_EQ(out[i], map(v[i] * m)) << variant << " value " << v[i];
            ASSERT_EQ(narrow[i], out[i]) << variant << " value " << v[i];
        }
        // one value out of range fails the run
        v[100] = 1e12;
        EXPECT_FALSE(map.MapInRange(v.data(), m, n, -32766, 32767, out.data()));
        EXPECT_FALSE(map.MapInRange(v.data(), m, n, -32766, 32767, narrow.data()));
        v[100] = kNaN;
        EXPECT_FALSE(map.MapInRange(v.data(), m, n, -32766, 32767, out.data()));
        EXPECT_FALSE(map.MapInRange(v.data(), m, n, -32766, 32767, narrow.data()));
        // a 16-bit row cannot hold a pixel past its range, whatever range is asked for
        double far = hi;
        while (std::abs(map(far * m)) <= 40000) far += (hi - lo) * 10; // a pixel int holds, 16 bits not
        ASSERT_NE(map(far * m), TPixelMapper::OffPixel);
        v[100] = far;
        EXPECT_TRUE(map.MapInRange(v.data(), m, n, -1000000000, 1000000000, out.data())) << variant;
        EXPECT_FALSE(map.MapInRange(v.data(), m, n, -1000000000, 1000000000, narrow.data())) << variant;
    }
}

// A fast line keeps what it found per pixel column for the next frame: drawn again after its
// levels change in place, another level range, a zoom, other frequencies in new storage (the same
// ones or shifted), another multiplier or a level held as one number, it must draw what the
// painter draws.
TEST(seriesDraw, FastLineColumnsFollowEveryChange)
{
    Scene chart;
    TLineSeries trace; // where the fast line's frequencies come from, as a kept trace reads them
    std::vector<double> x, y;
    for (int i = 0; i < 3000; ++i) {
        x.push_back(-5 + i / 27.0);
        y.push_back(50 + 35 * std::sin(i / 70.0) + (i * 37) % 11);
    }
    {
        std::vector<double> xs = x, ys = y; // taken over
        trace.AdoptPoints(xs, ys, clRed);
    }
    TFastLineSeries fast;
    fast.SetSeriesColor(clPurple);
    std::vector<double> levels = y;
    fast.SetPointsOver(trace, levels, clDefault, TChartValueList::FactsOf(y.data(), y.size()));
    auto same = [&](const char *what) {
        const QImage viaPainter = chart.Render({&fast}, false, true);
        EXPECT_EQ(chart.Render({&fast}, true, true), viaPainter) << what;
        EXPECT_GT(CountNot(viaPainter, kWhite), 90) << what;
    };
    same("first frame");
    same("again");
    fast.YValues().SetValue(1500, 99); // in place
    same("a level changed");
    chart.Left().SetMinimum(-40);
    same("another level range");
    chart.Bottom().SetMinimum(30); // zoomed: the first shown has a point before it
    chart.Bottom().SetMaximum(70);
    same("zoomed");
    {
        std::vector<double> xs = x, ys = y; // the same frequencies in new storage
        trace.AdoptPoints(xs, ys, clRed);
        fast.XValues().ShareValues(trace.XValues(), 0, trace.PointCount());
    }
    same("the same frequencies anew");
    {
        std::vector<double> xs = x, ys = y;
        for (double &v : xs) v += 0.013; // columns shift by a point here and there
        trace.AdoptPoints(xs, ys, clRed);
        fast.XValues().ShareValues(trace.XValues(), 0, trace.PointCount());
    }
    same("shifted frequencies");
    fast.YValues().SetMultiplier(0.37);
    same("another multiplier");
    fast.SetLevelPoints(trace, 0, trace.PointCount(), 40, clDefault);
    same("a level held as one number");
    fast.SetLevelPoints(trace, 0, trace.PointCount(), 60, clDefault);
    same("another level");
}

// A sweep handed over with its facts draws as one handed over without them, buffered or through
// the painter: levels mapped column by column; a level far beyond the device's range left of the
// plot (the shown points then mapped all at once) or in it (the point-by-point pass); and a
// logarithmic axis.
TEST(seriesDraw, AdoptedSweepsWithFactsMatchThePainter)
{
    for (int variant = 0; variant < 4; ++variant) {
        Scene chart;
        if (variant == 3) {
            chart.Left().SetLogarithmic(true);
            chart.Right().SetLogarithmic(true);
        }
        std::vector<double> x, y;
        for (int i = 0; i < 5000; ++i) {
            x.push_back(-10 + i / 40.0);
            y.push_back(variant == 3 ? 2 + (i * 7919) % 97 : 50 + 40 * std::sin(i / 9.0) + (i * 31) % 7);
        }
        if (variant == 1) y[100] = 1e12; // x = -7.5: not shown, but its level fails the extremes' test
        if (variant == 2) y[1200] = -1e12;
        auto make = [&](TLineSeries &trace, TPointSeries &copy, bool facts) {
            std::vector<double> xs = x, ys = y;
            if (facts)
                trace.AdoptPoints(xs, ys, clRed, TChartValueList::FactsOf(x.data(), x.size()),
                                  TChartValueList::FactsOf(y.data(), y.size()));
            else
                trace.AdoptPoints(xs, ys, clRed);
            copy.CopyFrom(trace);
            copy.SetVertAxis(aRightAxis);
            copy.Pointer().SetVisible(true);
            copy.Pointer().SetHorizSize(1);
            copy.Pointer().SetVertSize(1);
        };
        TLineSeries trace, plainTrace;
        TPointSeries copy, plainCopy;
        make(trace, copy, true);
        make(plainTrace, plainCopy, false);
        EXPECT_FALSE(trace.YValues().StatsStale());
        const QImage expected = chart.Render({&plainCopy, &plainTrace}, false, true);
        EXPECT_EQ(chart.Render({&copy, &trace}, true, true), expected) << variant;
        EXPECT_EQ(chart.Render({&copy, &trace}, false, true), expected) << variant;
        EXPECT_GT(CountNot(expected, kWhite), 500) << variant;
    }
}

// A large marker centred well outside the clip still reaches into it.
TEST(seriesDraw, LargeMarkersFromBeyondTheClipReachIn)
{
    for (int size : {20, 60, 90}) {
        Scene chart;
        TLineSeries s;
        s.Pointer().SetVisible(true);
        s.Pointer().SetStyle(psRectangle);
        s.Pointer().SetHorizSize(size);
        s.Pointer().SetVertSize(size);
        for (int i = 0; i < 40; ++i) s.AddPoint(50 + i / 100.0, i < 39 ? 50 : -20 - size / 2, QString(), clRed);
        const QImage viaPainter = chart.Render({&s}, false, true);
        EXPECT_EQ(chart.Render({&s}, true, true), viaPainter) << size;
        // the last marker's top edge, from below the clip
        if (size == 60) {
            EXPECT_EQ(viaPainter.pixel(40, 160 - size), Rgb(clBlack)) << size;
        }
    }
}

// ---- data that must neither crash nor hang

TEST(seriesDraw, NonFiniteValuesAreLeftOutNotDrawnMidPlot)
{
    for (bool buffered : {false, true}) {
        Scene chart;
        TLineSeries s;
        TFastLineSeries f;
        f.SetSeriesColor(clRed);
        for (TChartSeries *series : {static_cast<TChartSeries *>(&s), static_cast<TChartSeries *>(&f)}) {
            series->AddPoint(10, 10, QString(), clRed);
            series->AddPoint(20, kNaN, QString(), clRed);
            series->AddPoint(30, -kInf, QString(), clRed);
            series->AddPoint(40, 10, QString(), clRed);
            const QImage img = chart.Render({series}, buffered);
            // the line goes on from the last drawn point: (20, 100) .. (50, 100), nothing else
            EXPECT_EQ(CountNot(img, kWhite), 30) << buffered;
            EXPECT_EQ(img.pixel(35, 100), kRed);
        }
    }
}

TEST(seriesDraw, FirstVisiblePointLeftOutDrawsNoLineFromAnEarlierPaint)
{
    for (bool buffered : {false, true}) {
        Scene chart;
        TLineSeries s;
        for (auto [x, y] : {std::pair{-10.0, 50.0}, {5.0, kNaN}, {20.0, 50.0}, {40.0, 90.0}, {60.0, 90.0}})
            s.AddPoint(x, y, QString(), clRed);
        const QImage expected = Reference([](TCanvas3D &c) {
            c.DrawSegment(30, 60, 50, 20);
            c.LineTo(70, 20);
        });
        for (int paint = 0; paint < 2; ++paint) EXPECT_EQ(chart.Render({&s}, buffered), expected) << buffered << paint;
    }
}

TEST(seriesDraw, ExtremeRangesSinglePointsAndEqualValues)
{
    for (auto [min, max] : {std::pair{0.0, 1e-300}, std::pair{-1e300, 1e300}}) {
        Scene chart(min, max);
        TLineSeries l;
        l.Pointer().SetVisible(true);
        TFastLineSeries f;
        for (int i = 0; i < 50; ++i) {
            l.AddPoint(i % 5 ? 3.0 : 1e308, i % 7 ? -2.0 : 5e-301);
            f.AddPoint(i, i % 3 ? 1e-300 : -1e300);
        }
        for (bool buffered : {false, true}) {
            chart.Render({&l, &f}, buffered, true);
            l.HitTest(60, 60);
            f.HitTest(60, 60);
        }
    }
    // all points equal on automatic axes: markers drawn, no line
    Scene chart;
    chart.Bottom().SetAutomatic(true);
    chart.Left().SetAutomatic(true);
    TLineSeries same;
    same.Pointer().SetVisible(true);
    for (int i = 0; i < 100; ++i) same.AddPoint(7, 7, QString(), clRed);
    for (bool buffered : {false, true}) EXPECT_GT(CountNot(chart.Render({&same}, buffered), kWhite), 0);
}

TEST(seriesDraw, TenMillionPoints)
{
    Scene chart(0, 1e7);
    TFastLineSeries f;
    TPointSeries p;
    p.Pointer().SetHorizSize(1);
    p.Pointer().SetVertSize(1);
    p.Pointer().SetStyle(psCircle);
    f.XValues().Reserve(10'000'000);
    f.YValues().Reserve(10'000'000);
    for (long long i = 0; i < 10'000'000; ++i) f.AddPoint(static_cast<double>(i), static_cast<double>(i * 7919 % 10'000'000));
    p.AddPoint(1, 1);
    const QImage img = chart.Render({&f, &p}, true, true);
    EXPECT_LT(f.LinesDrawn(), 1'000'000); // about 13 points to a pixel
    EXPECT_GT(CountNot(img, kWhite), 9000); // the 99 x 98 clip, densely covered
}

// Frequencies held as runs and levels held as whole hundredths draw the pixels their doubles
// draw, through the painter and directly, zoomed in or not, with rows kept or mapped column by
// column, on a line, a point series on the other axis and a fast line; the drawing never spells
// them out. Mapping a run of hundredths gives the pixels of their doubles.
TEST(seriesDraw, CompactPointsDrawAsTheirDoublesWithoutBeingSpelledOut)
{
    std::mt19937 rng(25);
    std::vector<sky::FrequencyRun> runs;
    std::vector<std::int16_t> h;
    for (int i = 0; i < 30000; ++i) {
        if (i % 1024 == 0) runs.push_back({static_cast<size_t>(i), i / 300.0, 1 / 300.0}); // hops of 1024 bins
        h.push_back(static_cast<std::int16_t>(4000 + static_cast<int>(rng() % 2000) - (i % 5000 < 40 ? 3000 : 0)));
    }
    const double offset = 0.125;
    std::vector<double> x, y;
    sky::SpellOutRuns(runs, h.size(), offset, x);
    sky::SpellOutHundredths(h.data(), h.size(), y);
    auto make = [&](TLineSeries &trace, TPointSeries &copy, TFastLineSeries &fast, bool compact) {
        std::vector<double> xs = x, ys = y;
        std::vector<std::int16_t> hs = h;
        std::vector<sky::FrequencyRun> rs = runs;
        const TValueFacts xf = TChartValueList::FactsOf(x.data(), x.size()), yf = TChartValueList::FactsOf(y.data(), y.size());
        if (compact)
            trace.AdoptPoints(rs, h.size(), offset, hs, clRed, xf, yf);
        else
            trace.AdoptPoints(xs, ys, clRed, xf, yf);
        trace.Pointer().SetVisible(true);
        trace.Pointer().SetHorizSize(1);
        trace.Pointer().SetVertSize(1);
        copy.CopyFrom(trace);
        copy.SetVertAxis(aRightAxis);
        copy.Pointer().SetVisible(true);
        copy.Pointer().SetHorizSize(2);
        copy.Pointer().SetVertSize(2);
        xs = x, ys = y, hs = h, rs = runs;
        if (compact)
            fast.AdoptPoints(rs, h.size(), offset, hs, clBlue, xf, yf);
        else
            fast.AdoptPoints(xs, ys, clBlue, xf, yf);
        // colours of their own, not the chart's next ones
        trace.SetSeriesColor(clRed);
        copy.SetSeriesColor(clBlack);
        fast.SetSeriesColor(clBlue);
    };
    TLineSeries trace, plainTrace;
    TPointSeries copy, plainCopy;
    TFastLineSeries fast, plainFast;
    make(trace, copy, fast, true);
    make(plainTrace, plainCopy, plainFast, false);
    ASSERT_TRUE(trace.YValues().IsHundredths());
    ASSERT_TRUE(copy.YValues().IsHundredths());
    ASSERT_TRUE(fast.YValues().IsHundredths());
    ASSERT_TRUE(trace.XValues().IsRuns() && copy.XValues().IsRuns() && fast.XValues().IsRuns());
    Scene chart;
    chart.plot = TRect{10, 10, 410, 210};
    chart.Right().SetMinimum(-40); // the copy's rows are other rows
    for (bool kept : {true, false}) {
        SetPixelRowsKept(kept);
        for (int zoom = 0; zoom < 2; ++zoom) {
            chart.Bottom().SetMaximum(zoom ? 60 : 100);
            chart.Bottom().SetMinimum(zoom ? 30 : 0);
            const std::string what = std::string(kept ? "rows kept" : "rows not kept") + (zoom ? ", zoomed" : "");
            const QImage expected = chart.Render({&plainCopy, &plainTrace, &plainFast}, false, true);
            EXPECT_EQ(chart.Render({&copy, &trace, &fast}, true, true), expected) << what;
            EXPECT_EQ(chart.Render({&copy, &trace, &fast}, true, true), expected) << what << ", drawn again";
            EXPECT_EQ(chart.Render({&copy, &trace, &fast}, false, true), expected) << what << ", painter";
            EXPECT_GT(CountNot(expected, kWhite), 2000) << what;
        }
    }
    SetPixelRowsKept(true);
    EXPECT_FALSE(trace.YValues().SpelledOut());
    EXPECT_FALSE(copy.YValues().SpelledOut());
    EXPECT_FALSE(fast.YValues().SpelledOut());
    for (const TChartSeries *s : {static_cast<const TChartSeries *>(&trace), static_cast<const TChartSeries *>(&copy),
                                  static_cast<const TChartSeries *>(&fast)})
        EXPECT_FALSE(s->XValues().SpelledOut());

    // Runs of hundredths against their doubles, through every multiplier and both row widths.
    chart.Layout();
    const TPixelMapper map(chart.LeftAxis());
    for (double m : {1.0, 0.37, -2.5, 1e9}) {
        const int n = static_cast<int>(h.size());
        std::vector<int> a(h.size()), b(h.size());
        std::vector<std::int16_t> c(h.size()), d(h.size());
        const bool inRange = map.MapInRange(y.data(), m, n, -32766, 32767, a.data());
        EXPECT_EQ(map.MapHundredthsInRange(h.data(), m, n, -32766, 32767, b.data()), inRange) << m;
        EXPECT_EQ(map.MapInRange(y.data(), m, n, -32766, 32767, c.data()), inRange) << m;
        EXPECT_EQ(map.MapHundredthsInRange(h.data(), m, n, -32766, 32767, d.data()), inRange) << m;
        if (inRange) {
            EXPECT_EQ(a, b) << m;
            EXPECT_EQ(c, d) << m;
        }
    }
}
