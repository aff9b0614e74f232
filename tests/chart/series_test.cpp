// Series: defaults, adding and removing points, point colours and labels, copies, axes,
// joining and leaving a chart, data sources.
#include "chart_test_support.h"

#include "platform/error.h"

#include <gtest/gtest.h>

TEST(chartSeries, CreationDefaultsOfEachKind)
{
    TLineSeries line;
    EXPECT_EQ(line.SeriesColor(), clDefault);
    EXPECT_EQ(line.XValues().Order(), loAscending);
    EXPECT_EQ(line.YValues().Order(), loNone);
    EXPECT_FALSE(line.Pointer().Visible()); // a line series hides its pointer
    EXPECT_TRUE(line.DrawLine());
    EXPECT_FALSE(line.AllowSinglePoint());
    TPointSeries point;
    EXPECT_TRUE(point.Pointer().Visible());
    EXPECT_FALSE(point.DrawLine());
    EXPECT_FALSE(point.ClickableLine());
    EXPECT_EQ(point.Marks().ArrowLength, 0);
    TFastLineSeries fast;
    EXPECT_TRUE(fast.AutoRepaint());
    EXPECT_FALSE(fast.AllowSinglePoint());

    EXPECT_THROW(point.Pointer().SetHorizSize(0), sky::Error);
    try {
        point.Pointer().SetVertSize(-1);
    } catch (const sky::Error &e) {
        EXPECT_EQ(e.text(), "Pointer size must be greater than zero");
    }
    EXPECT_EQ(point.Pointer().VertSize(), 4);
}

TEST(chartSeries, AddPointStepsEventsAndRefusal)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    double seenX = 0, seenY = 0;
    bool refuse = true;
    s.OnBeforeAdd = [&](TChartSeries *series) {
        seenX = series->XValues().PendingValue();
        seenY = series->YValues().PendingValue();
        return !refuse;
    };
    std::vector<int> added;
    s.OnAfterAdd = [&](TChartSeries *, int index) { added.push_back(index); };

    chart.repaints = 0;
    EXPECT_EQ(s.AddPoint(7, 8, "x", clRed), -1);
    EXPECT_EQ(seenX, 7);
    EXPECT_EQ(seenY, 8);
    EXPECT_EQ(s.PointCount(), 0);
    EXPECT_TRUE(s.PointColors().empty());
    EXPECT_TRUE(s.PointLabels().empty());
    EXPECT_TRUE(added.empty());
    EXPECT_EQ(chart.repaints, 0);

    refuse = false;
    EXPECT_EQ(s.AddPoint(7, 8), 0);
    EXPECT_EQ(s.AddPoint(3, 1), 0);
    EXPECT_EQ(added, (std::vector<int>{0, 0}));
    EXPECT_EQ(chart.repaints, 2);

    s.SetActive(false);
    s.ClearPoints();
    chart.repaints = 0;
    s.AddY(5);                    // x = count
    s.AddY(6);
    EXPECT_EQ(s.XValue(1), 1);
    EXPECT_EQ(chart.repaints, 0); // inactive series request no repaint
    s.AddNull(9);
    EXPECT_TRUE(s.IsNullPoint(2));
    EXPECT_EQ(s.XValue(2), 2);
}

TEST(chartSeries, PointColourFallBacks)
{
    TLineSeries s;
    s.SetSeriesColor(clNavy);
    s.AddPoint(0, 0, QString(), clDefault);
    s.AddPoint(1, 0, QString(), clRed);
    s.AddPoint(2, 0, QString(), clNone);
    EXPECT_EQ(s.PointColor(0), clNavy);   // clDefault, ColorEachPoint off: series colour
    EXPECT_EQ(s.PointColor(1), clRed);
    EXPECT_EQ(s.PointColor(2), clNone);
    EXPECT_TRUE(s.IsNullPoint(2));
    EXPECT_FALSE(s.IsNullPoint(1));
    EXPECT_EQ(s.PointColor(7), clNavy);   // beyond the list: series colour
    s.SetColorEachPoint(true);
    EXPECT_EQ(s.PointColor(0), DefaultPaletteColor(0));
    EXPECT_EQ(s.PointColor(1), clRed);
    EXPECT_EQ(s.PointColor(7), clNavy);   // still no entry: series colour

    TPointSeries p;
    p.Pointer().Brush().SetColor(clWhite);
    p.SetColorEachPoint(true);
    EXPECT_EQ(p.Pointer().Brush().Color(), clDefault);
}

TEST(chartSeries, LabelsStayWithTheirPointsThroughInsertAndDelete)
{
    TLineSeries s;
    s.AddPoint(1, 0);
    s.AddPoint(2, 0);
    EXPECT_TRUE(s.PointLabels().empty()); // absent labels take no room
    s.AddPoint(5, 0, "five");
    s.AddPoint(3, 0);                     // inserted before the label
    s.AddPoint(0, 0, "zero");
    EXPECT_EQ(s.PointLabel(0), "zero");
    EXPECT_EQ(s.PointLabel(4), "five");
    EXPECT_EQ(s.PointLabel(3), "");
    s.DeletePoint(0);
    EXPECT_EQ(s.PointLabel(3), "five");
    EXPECT_EQ(s.PointCount(), 4);
    s.DeletePoint(3);
    EXPECT_EQ(s.PointLabel(2), "");
    EXPECT_EQ(s.XValue(2), 3);
}

TEST(chartSeries, ClearAndDeleteNotifyAndRepaint)
{
    TestChart chart;
    TPointSeries s;
    s.SetParentChart(&chart);
    int cleared = 0;
    s.OnClearValues = [&](TChartSeries *) { ++cleared; };
    s.AddPoint(1, 1);
    s.AddPoint(2, 2);
    chart.repaints = 0;
    s.DeletePoint(0);
    EXPECT_EQ(chart.repaints, 1);
    EXPECT_EQ(s.XValue(0), 2);
    s.ClearPoints();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(chart.repaints, 2);
    chart.destroying = true;
    s.ClearPoints();
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(chart.repaints, 2); // a chart being destroyed is not asked to repaint
    chart.destroying = false;
}

TEST(chartSeries, CopyFromItselfKeepsThePoints)
{
    TLineSeries s;
    int cleared = 0, added = 0;
    s.OnClearValues = [&](TChartSeries *) { ++cleared; };
    s.OnAfterAdd = [&](TChartSeries *, int) { ++added; };
    s.AddPoint(1, 10, "a", clRed);
    s.AddPoint(2, 20, QString(), clBlue);
    added = 0;
    s.SetTitle("t");
    s.CopyFrom(s);
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(s.PointCount(), 2);
    EXPECT_EQ(s.PointColor(1), clBlue);
    EXPECT_EQ(s.PointLabel(0), "a");
    EXPECT_EQ(s.Title(), "t");
}

TEST(chartSeries, CopyFromAcrossClasses)
{
    TLineSeries work; // a chart-less working series, as the sweep ingest uses
    work.Pointer().SetVisible(false);
    work.Pointer().SetHorizSize(2);
    work.Pointer().SetVertSize(2);
    work.Pointer().SetStyle(psCircle);
    work.SetTitle("sweep");
    work.SetSeriesColor(clRed);
    work.SetStairs(true);
    for (int i = 0; i < 5; ++i) work.AddPoint(100 + i, -50 + i, i == 1 ? "one" : "", clLime);

    TPointSeries points;
    points.SetActive(false);
    points.CopyFrom(work);
    EXPECT_TRUE(points.Pointer().Visible()); // a point series always shows its pointer
    EXPECT_EQ(points.Pointer().HorizSize(), 2);
    EXPECT_EQ(points.Pointer().Style(), psCircle);
    EXPECT_FALSE(points.DrawLine());
    EXPECT_FALSE(points.ClickableLine());
    EXPECT_TRUE(points.Active());
    EXPECT_TRUE(points.Stairs());
    EXPECT_EQ(points.Title(), "sweep");
    EXPECT_EQ(points.SeriesColor(), clRed);
    ASSERT_EQ(points.PointCount(), 5);
    EXPECT_EQ(points.XValue(4), 104);
    EXPECT_EQ(points.YValue(4), -46);
    EXPECT_EQ(points.PointColor(3), clLime);
    EXPECT_EQ(points.PointLabel(1), "one");

    TLineSeries trace;
    work.Pointer().SetVisible(true);
    trace.CopyFrom(work);
    EXPECT_TRUE(trace.Pointer().Visible()); // same class: the source's visibility
    EXPECT_TRUE(trace.DrawLine());
    work.Pointer().SetVisible(false);
    trace.CopyFrom(work);
    EXPECT_FALSE(trace.Pointer().Visible());

    TLineSeries fromPoints;
    fromPoints.CopyFrom(points); // the source's pointer is visible, but it is another class
    EXPECT_FALSE(fromPoints.Pointer().Visible());
    EXPECT_TRUE(fromPoints.DrawLine());
    EXPECT_EQ(fromPoints.PointCount(), 5);

    // refilling replaces the old points
    work.ClearPoints();
    work.AddPoint(1, 1, QString(), clRed);
    trace.CopyFrom(work);
    EXPECT_EQ(trace.PointCount(), 1);
}

TEST(chartSeries, CopyKeepsTheResolvedAxesButTakesTheStoredChoice)
{
    TestChart chart;
    TPointSeries copy;
    copy.SetVertAxis(aRightAxis);
    copy.SetParentChart(&chart);
    TLineSeries trace;
    trace.SetVertAxis(aBothVertAxis);
    trace.SetParentChart(&chart);
    EXPECT_TRUE(trace.BelongsToAxis(chart.RightAxis()));

    TLineSeries work; // left axis, no chart
    work.AddPoint(1, 2);
    copy.CopyFrom(work);
    trace.CopyFrom(work);
    EXPECT_EQ(copy.VertAxis(), aLeftAxis);
    EXPECT_EQ(copy.ResolvedVertAxis(), chart.RightAxis()); // still drawn against the right axis
    EXPECT_TRUE(copy.BelongsToAxis(chart.RightAxis()));
    EXPECT_FALSE(copy.BelongsToAxis(chart.LeftAxis()));
    EXPECT_TRUE(trace.BelongsToAxis(chart.LeftAxis()));
    EXPECT_FALSE(trace.BelongsToAxis(chart.RightAxis()));
}

TEST(chartSeries, CopyWithMultiplierReproducesTheValues)
{
    TLineSeries a;
    a.XValues().SetMultiplier(2);
    a.YValues().SetMultiplier(10);
    a.AddPoint(1, 3);
    a.AddPoint(2, 4);
    TLineSeries b;
    b.CopyFrom(a);
    EXPECT_EQ(b.XValues().Multiplier(), 2);
    EXPECT_EQ(b.XValue(1), 4);
    EXPECT_EQ(b.YValue(0), 30);
    EXPECT_EQ(b.YValues().Value(0), 3);
}

TEST(chartSeries, FastLineColourAndPenFollowEachOther)
{
    TFastLineSeries f;
    f.SetSeriesColor(clYellow);
    EXPECT_EQ(f.LinePen().Color(), clYellow);
    TChartPen pen(clAqua, psDash, 3);
    f.SetLinePen(pen);
    EXPECT_EQ(f.SeriesColor(), clAqua);
    EXPECT_EQ(f.LinePen().Width(), 3);

    TFastLineSeries g;
    f.SetAutoRepaint(false);
    f.AddPoint(1, 1);
    g.CopyFrom(f);
    EXPECT_FALSE(g.AutoRepaint());
    EXPECT_EQ(g.LinePen().Style(), psDash);
    EXPECT_EQ(g.PointCount(), 1);

    TestChart chart;
    f.SetParentChart(&chart);
    chart.repaints = 0;
    int afterAdd = 0;
    f.OnAfterAdd = [&](TChartSeries *, int) { ++afterAdd; };
    f.AddPoint(2, 2);
    EXPECT_EQ(afterAdd, 1);
    EXPECT_EQ(chart.repaints, 0); // no repaint request with AutoRepaint off
}

TEST(chartSeries, AxisResolution)
{
    TestChart chart;
    TLineSeries s;
    EXPECT_EQ(s.ResolvedHorizAxis(), nullptr);
    EXPECT_EQ(s.XPixel(0), 0); // no axes: no position, no crash
    s.SetParentChart(&chart);
    EXPECT_EQ(s.ResolvedHorizAxis(), chart.BottomAxis());
    EXPECT_EQ(s.ResolvedVertAxis(), chart.LeftAxis());
    s.SetHorizAxis(aTopAxis);
    s.SetVertAxis(aRightAxis);
    EXPECT_EQ(s.ResolvedHorizAxis(), chart.TopAxis());
    EXPECT_EQ(s.ResolvedVertAxis(), chart.RightAxis());
    s.SetVertAxis(aBothVertAxis);
    s.SetHorizAxis(aBothHorizAxis);
    EXPECT_EQ(s.ResolvedVertAxis(), chart.LeftAxis());
    EXPECT_EQ(s.ResolvedHorizAxis(), chart.BottomAxis());
    EXPECT_TRUE(s.BelongsToAxis(chart.RightAxis()));
    EXPECT_TRUE(s.BelongsToAxis(chart.TopAxis()));
    EXPECT_FALSE(s.BelongsToAxis(chart.DepthAxis()));

    TChartAxis custom(&chart, false, false);
    s.SetVertAxis(aCustomVertAxis);
    EXPECT_EQ(s.ResolvedVertAxis(), chart.LeftAxis()); // no custom axis set yet
    s.SetCustomVertAxis(&custom);
    EXPECT_EQ(s.ResolvedVertAxis(), &custom);
    EXPECT_TRUE(s.BelongsToAxis(&custom));
    EXPECT_FALSE(s.BelongsToAxis(chart.LeftAxis()));

    s.SetParentChart(nullptr);
    EXPECT_EQ(s.ResolvedVertAxis(), nullptr);
}

TEST(chartSeries, PixelsAndCursorValuesGoThroughTheResolvedAxes)
{
    TestChart chart;
    chart.plot = TRect{10, 20, 210, 120};
    TLineSeries s;
    s.SetParentChart(&chart);
    s.AddPoint(0, 0);
    s.AddPoint(100, 50);
    chart.Layout();
    EXPECT_EQ(s.XPixel(0), 10);
    EXPECT_EQ(s.XPixel(1), 210);
    EXPECT_EQ(s.YPixel(0), 120);
    EXPECT_EQ(s.YPixel(1), 20);
    chart.cursor = QPoint(110, 70);
    double x = -1, y = -1;
    s.CursorValues(x, y);
    EXPECT_DOUBLE_EQ(x, 50);
    EXPECT_DOUBLE_EQ(y, 25);
}

TEST(chartSeries, JoiningAndLeavingAChart)
{
    TestChart chart;
    TLineSeries a, b, c;
    c.SetSeriesColor(clLime);
    chart.repaints = 0;
    a.SetParentChart(&chart);
    EXPECT_EQ(a.SeriesColor(), DefaultPaletteColor(0));
    EXPECT_GE(chart.repaints, 1);
    b.SetSeriesColor(DefaultPaletteColor(1));
    b.SetParentChart(&chart);
    c.SetParentChart(&chart);
    EXPECT_EQ(c.SeriesColor(), clLime); // own colour kept
    ASSERT_EQ(chart.NumSeries(), 3);
    EXPECT_EQ(chart.SeriesAt(0), &a);
    EXPECT_EQ(chart.SeriesAt(2), &c);

    TPointSeries d;
    d.SetParentChart(&chart); // palette 0 and 1 are taken
    EXPECT_EQ(d.SeriesColor(), DefaultPaletteColor(2));
    d.SetActive(false);
    EXPECT_EQ(chart.SeriesList().ActiveCount(), 3);

    b.SetParentChart(nullptr);
    EXPECT_EQ(chart.NumSeries(), 3);
    EXPECT_EQ(chart.SeriesAt(1), &c);
    ASSERT_EQ(chart.removed.size(), 1u);
    EXPECT_EQ(chart.removed[0], &b);
    {
        TFastLineSeries temp;
        temp.SetParentChart(&chart);
        EXPECT_EQ(chart.NumSeries(), 4);
    }
    EXPECT_EQ(chart.NumSeries(), 3); // a destroyed series leaves its chart
}

TEST(chartSeries, DataSourceFeedsLinkedSeries)
{
    TLineSeries source, linked;
    source.AddPoint(1, 1);
    linked.SetDataSource(&source);
    EXPECT_EQ(linked.PointCount(), 1);
    source.AddPoint(2, 4, QString(), clRed);
    ASSERT_EQ(linked.PointCount(), 2);
    EXPECT_EQ(linked.YValue(1), 4);
    EXPECT_EQ(linked.PointColor(1), clRed);
    source.DeletePoint(0);
    EXPECT_EQ(linked.PointCount(), 1);
    source.ClearPoints();
    EXPECT_EQ(linked.PointCount(), 0);

    source.SetDataSource(&source); // itself: refused
    EXPECT_EQ(source.DataSource(), nullptr);
    source.SetDataSource(&linked); // a loop: refused
    EXPECT_EQ(source.DataSource(), nullptr);
    {
        TLineSeries gone;
        gone.AddPoint(5, 5);
        linked.SetDataSource(&gone);
    }
    EXPECT_EQ(linked.DataSource(), nullptr); // detached, keeps its points
    EXPECT_EQ(linked.PointCount(), 1);
}

TEST(chartSeries, ClickHookFiresTheMatchingEvent)
{
    TPointSeries s;
    EXPECT_FALSE(s.Clicked(0, Qt::LeftButton, {}, 1, 2, false));
    int clicks = 0, doubles = 0;
    s.OnClick = [&](TChartSeries *, int i, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { clicks += i; };
    EXPECT_TRUE(s.Clicked(3, Qt::LeftButton, {}, 1, 2, true)); // no double-click handler: OnClick
    s.OnDblClick = [&](TChartSeries *, int, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++doubles; };
    EXPECT_TRUE(s.Clicked(3, Qt::LeftButton, {}, 1, 2, true));
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(doubles, 1);
}

// ---- one copy of a sweep: copies share the source's storage, a level is held once, and one
// colour for every point takes no storage; a change to any of them shows nowhere else.

namespace {

std::vector<double> Column(const TChartValueList &l)
{
    std::vector<double> v;
    for (int i = 0; i < l.Count(); ++i) v.push_back(l.ValueAt(i));
    return v;
}

} // namespace

TEST(chartSeries, CopiesShareTheSourceColumnsUntilEitherChanges)
{
    TLineSeries sweep, trace;
    TPointSeries markers;
    std::vector<double> x{1, 2, 3, 4}, y{-50, -40, -45, -60};
    sweep.AdoptPoints(x, y, clRed);
    trace.CopyFrom(sweep);
    markers.CopyFrom(sweep);
    EXPECT_TRUE(trace.XValues().SharesStorageWith(sweep.XValues()));
    EXPECT_TRUE(markers.YValues().SharesStorageWith(sweep.YValues()));
    EXPECT_EQ(trace.YMax(), -40);

    trace.YValues().SetValue(0, 7); // the copy takes its own values first
    EXPECT_FALSE(trace.YValues().SharesStorageWith(sweep.YValues()));
    EXPECT_EQ(Column(sweep.YValues()), (std::vector<double>{-50, -40, -45, -60}));
    EXPECT_EQ(Column(markers.YValues()), (std::vector<double>{-50, -40, -45, -60}));
    EXPECT_EQ(trace.YMax(), 7);

    sweep.AddPoint(2.5, 0, QString(), clBlue); // an ordered insert into the source
    EXPECT_EQ(Column(markers.XValues()), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(Column(sweep.XValues()), (std::vector<double>{1, 2, 2.5, 3, 4}));
    EXPECT_EQ(markers.PointColor(2), clRed);
    markers.DeletePoint(0);
    EXPECT_EQ(sweep.PointCount(), 5);

    // the next sweep replaces the source; the copies keep showing the last one
    sweep.ClearPoints();
    std::vector<double> x2{10, 20}, y2{-1, -2};
    sweep.AdoptPoints(x2, y2, clRed);
    EXPECT_EQ(Column(markers.XValues()), (std::vector<double>{2, 3, 4}));
    EXPECT_TRUE(x2.empty()); // storage still read by others is not handed out
    sweep.XValues().SetMultiplier(2); // settings stay each list's own
    markers.CopyFrom(sweep);
    sweep.XValues().SetMultiplier(1);
    EXPECT_EQ(Column(markers.XValues()), (std::vector<double>{20, 40}));
    EXPECT_EQ(markers.XMax(), 40);
    markers.XValues().SortValues();
    markers.SwapPoints(0, 1);
    EXPECT_EQ(Column(sweep.XValues()), (std::vector<double>{10, 20}));
}

TEST(chartSeries, LevelPointsReadTheSourceXAndHoldTheLevelOnce)
{
    TLineSeries sweep;
    std::vector<double> x{100, 200, 300, 400, 500}, y{-3, -9, -1, -7, -5};
    sweep.AdoptPoints(x, y, clRed);
    TFastLineSeries noise;
    noise.SetLevelPoints(sweep, 1, 3, -6.5, clYellow);
    EXPECT_EQ(noise.PointCount(), 3);
    EXPECT_EQ(Column(noise.XValues()), (std::vector<double>{200, 300, 400}));
    EXPECT_EQ(Column(noise.YValues()), (std::vector<double>{-6.5, -6.5, -6.5}));
    EXPECT_TRUE(noise.YValues().IsConstant());
    EXPECT_EQ(noise.PointColors(), (std::vector<TColor>{clYellow, clYellow, clYellow}));
    EXPECT_EQ(noise.XMin(), 200);
    EXPECT_EQ(noise.XMax(), 400);
    EXPECT_EQ(noise.YMin(), -6.5);
    EXPECT_EQ(noise.YValues().Sum(), -19.5);
    EXPECT_EQ(noise.YValues().IndexOfValue(-6.5), 0);

    // changes on either side stay there
    sweep.XValues().SetValue(2, 250);
    EXPECT_EQ(noise.XValue(1), 300);
    noise.AddPoint(450, 1, QString(), clYellow);
    EXPECT_EQ(Column(noise.YValues()), (std::vector<double>{-6.5, -6.5, -6.5, 1}));
    EXPECT_EQ(Column(noise.XValues()), (std::vector<double>{200, 300, 400, 450}));
    EXPECT_EQ(sweep.PointCount(), 5);

    // ranges beyond the source are cut; an empty range leaves no points
    noise.SetLevelPoints(sweep, 3, 10, 0, clYellow);
    EXPECT_EQ(Column(noise.XValues()), (std::vector<double>{400, 500}));
    noise.SetLevelPoints(sweep, 9, 2, 0, clYellow);
    EXPECT_EQ(noise.PointCount(), 0);

    // a series that watches its adds sees each point
    TPointSeries watched;
    std::vector<int> seen;
    watched.OnAfterAdd = [&](TChartSeries *, int i) { seen.push_back(i); };
    watched.SetLevelPoints(sweep, 0, 2, 4, clLime);
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
    EXPECT_EQ(Column(watched.YValues()), (std::vector<double>{4, 4}));
}

TEST(chartSeries, OneColourForEveryPointIsHeldOnce)
{
    TLineSeries s;
    s.SetSeriesColor(clTeal);
    for (int i = 0; i < 4; ++i) s.AddPoint(i, i, QString(), clRed);
    TColor c = clNone;
    EXPECT_TRUE(s.UniformColor(0, 3, c));
    EXPECT_EQ(c, clRed);
    s.AddPoint(1.5, 0, QString(), clBlue); // a second colour spells the colours out
    EXPECT_EQ(s.PointColors(), (std::vector<TColor>{clRed, clRed, clBlue, clRed, clRed}));
    EXPECT_FALSE(s.UniformColor(0, 4, c));
    EXPECT_TRUE(s.UniformColor(3, 4, c));
    s.DeletePoint(2);
    s.SwapPoints(0, 3);
    EXPECT_EQ(s.PointColor(3), clRed);

    TLineSeries d; // clDefault entries and missing entries are the series colour
    d.SetSeriesColor(clTeal);
    d.AddPoint(0, 0, QString(), clDefault);
    d.AddPoint(1, 0, QString(), clDefault);
    d.AddPoint(2, 0);
    EXPECT_TRUE(d.UniformColor(0, 2, c));
    EXPECT_EQ(c, clTeal);
    d.SetColorEachPoint(true); // palette colours differ point by point
    EXPECT_FALSE(d.UniformColor(0, 2, c));
}
