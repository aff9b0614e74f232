// The chart widget: frame layout, repaint requests, rendering onto other surfaces.
#include "chart/chart.h"
#include "chart_test_support.h"
#include "chart/pixel_surface.h"

#include <QPainter>
#include <QPicture>
#include <QTest>
#include <QTimer>

#include <random>

#include <gtest/gtest.h>

namespace {

struct AppFirst {
    AppFirst() { EnsureApp(); }
};

// A bare chart: no axes drawn, no titles, no margins beyond the given ones.
struct BareChart : AppFirst, TChart {
    BareChart(int w, int h)
    {
        resize(w, h);
        SetBevelOuter(bvNone);
        SetView3D(false);
        SetAxisVisible(false);
        Title().SetVisible(false);
        Foot().SetVisible(false);
        SetColor(clBlack);
    }
    TRect plotAfterFrame()
    {
        RenderToBitmap(clBlack, TRect{0, 0, width(), height()});
        return PlotRect();
    }
};

// Counts the chart's frames into `frames`, shows it and draws it once: false when it never
// appears or draws no frame.
bool ShowCountingFrames(TChart &c, int &frames)
{
    c.OnAfterDraw = [&frames](TChart *) { ++frames; };
    c.show();
    if (!QTest::qWaitForWindowExposed(&c)) return false;
    c.repaint();
    return frames >= 1;
}

} // namespace

TEST(chartFrame, PlotRectOfTheMarginExample)
{
    BareChart c(716, 263);
    EXPECT_EQ(c.plotAfterFrame(), (TRect{21, 11, 695, 252}));
    c.SetBorderWidth(2);
    EXPECT_EQ(c.plotAfterFrame(), (TRect{23, 13, 693, 250}));
}

TEST(chartFrame, VisibleTitleMovesThePlotTopBelowIt)
{
    BareChart c(716, 263);
    c.Title().SetText({QStringLiteral("One line")});
    c.Title().SetVisible(true);
    c.Title().Font().SetHeight(11);
    int h = 0;
    c.OnAfterDraw = [&](TChart *ch) {
        ch->Canvas().AssignFont(ch->Title().Font());
        h = ch->Canvas().TextHeightW();
    };
    const TRect plot = c.plotAfterFrame();
    ASSERT_GT(h, 0);
    EXPECT_EQ(plot.Top, 11 + h + 5);
    // A second (empty) line takes its height too.
    c.Title().SetText({QStringLiteral("One line"), QString()});
    EXPECT_EQ(c.plotAfterFrame().Top, 11 + 2 * h + 5);
}

TEST(chartFrame, TitleTextIsDrawnCentredInTheTitleColour)
{
    BareChart c(400, 200);
    c.Title().SetText({QStringLiteral("WWWW")});
    c.Title().SetVisible(true);
    c.Title().Font().SetColor(clWhite);
    c.Title().Font().SetHeight(14);
    const QImage img = c.RenderToBitmap(clBlack, TRect{0, 0, 400, 200});
    int minX = 400, maxX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 400; ++x)
            if (img.pixel(x, y) == qRgb(255, 255, 255)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    ASSERT_GE(maxX, 0) << "no title pixels";
    EXPECT_NEAR((minX + maxX) / 2.0, 200, 3);
}

TEST(chartRepaint, ChangesCoalesceAndUnchangedRepaintsReuseTheBuffer)
{
    BareChart c(300, 200);
    int frames = 0;
    ASSERT_TRUE(ShowCountingFrames(c, frames));
    const int created = c.Canvas3D().BufferCreations();
    frames = 0;
    c.SetMarginLeft(5);
    c.SetMarginTop(6); // two changes before the paint
    QCoreApplication::processEvents();
    c.repaint();
    EXPECT_EQ(frames, 1);
    c.repaint(); // nothing changed: the cached frame is shown
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(c.Canvas3D().BufferCreations(), created);
    c.resize(301, 200); // a new size needs a new buffer
    c.repaint();
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(c.Canvas3D().BufferCreations(), created + 1);
    // Setting a property to the value it has requests nothing.
    c.SetMarginLeft(5);
    c.repaint();
    EXPECT_EQ(frames, 2);
}

// A change asked to paint after waiting (a new sweep shown): timers already due get their turn
// before anything else, then the rows of the large series are mapped ahead in a turn of their
// own, on the axes as the frame will range them, with the axes left as they were until the
// frame; the frame then maps no row itself and draws what a frame mapping them itself draws.
TEST(chartRepaint, PaintAfterWaitingComesInTurnsOfItsOwnWithRowsMappedAhead)
{
    EnsureApp();
    TChart c;
    c.resize(500, 300);
    c.SetView3D(false);
    c.Legend().SetVisible(false);
    TLineSeries copy, trace; // the trace's copy on the right axis is drawn first
    c.AddSeries(&copy);
    c.AddSeries(&trace);
    trace.Pointer().SetVisible(true);
    trace.Pointer().SetHorizSize(2);
    trace.Pointer().SetVertSize(2);
    trace.Pointer().Pen().SetColor(clDefault);
    std::mt19937 rng(4);
    std::normal_distribution<double> noise(-60, 8);
    auto show = [&](std::vector<double> x, std::vector<double> y) {
        trace.AdoptPoints(x, y, clRed);
        copy.CopyFrom(trace);
        copy.SetVertAxis(aRightAxis);
        copy.SetSeriesColor(clBlack);
        copy.Pointer().SetVisible(false);
    };
    auto sweep = [&](double shift) {
        std::vector<double> x, y;
        for (int i = 0; i < 100000; ++i) {
            x.push_back(100e6 + 50.0 * i);
            y.push_back(noise(rng) + shift);
        }
        show(std::move(x), std::move(y));
    };
    c.Right().SetMinimum(-200); // the copy's axis ranges itself otherwise
    c.Right().SetAutomaticMinimum(false);
    sweep(0);
    int frames = 0;
    ASSERT_TRUE(ShowCountingFrames(c, frames));
    const int before = frames;
    auto axes = [&] {
        std::vector<double> state;
        for (TCustomChartAxis *a : {&c.Left(), &c.Right()})
            state.insert(state.end(), {a->Minimum(), a->Maximum(), a->DrawMin(), a->DrawRange(),
                                       double(a->StartPixel()), double(a->EndPixel())});
        return state;
    };
    const std::vector<double> laidOut = axes();

    int framesAtFirstTimer = -1, framesAtSecondTimer = -1;
    std::uint64_t mappedAtFirstTimer = 0, mappedAtSecondTimer = 0;
    std::vector<double> axesAtSecondTimer;
    QTimer due, later;
    for (QTimer *t : {&due, &later}) {
        t->setSingleShot(true);
        t->setInterval(0);
    }
    QObject::connect(&due, &QTimer::timeout, [&] {
        framesAtFirstTimer = frames;
        mappedAtFirstTimer = RowsMapped();
    });
    QObject::connect(&later, &QTimer::timeout, [&] {
        framesAtSecondTimer = frames;
        mappedAtSecondTimer = RowsMapped();
        axesAtSecondTimer = axes();
    });
    const std::uint64_t mappedBefore = RowsMapped();
    // the sweep comes as posted work, as a worker's signal brings it, with a timer falling due
    // meanwhile
    QMetaObject::invokeMethod(
        &c,
        [&] {
            due.start();
            c.SetPaintAfterWaiting(true);
            sweep(25); // another automatic range for the trace's axis
            c.SetPaintAfterWaiting(false);
            later.start();
        },
        Qt::QueuedConnection);
    for (int i = 0; i < 10000 && frames == before; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(frames, before + 1);
    EXPECT_EQ(framesAtFirstTimer, before);
    EXPECT_EQ(mappedAtFirstTimer, mappedBefore) << "the timer came before the work done ahead";
    EXPECT_EQ(framesAtSecondTimer, before);
    EXPECT_EQ(mappedAtSecondTimer, mappedBefore + 2 * 100000) << "the trace's rows on both axes, mapped ahead";
    EXPECT_EQ(axesAtSecondTimer, laidOut);
    EXPECT_NE(axes(), laidOut); // the frame ranged them anew
    EXPECT_EQ(RowsMapped(), mappedAtSecondTimer) << "the frame found its rows mapped";
    const QImage ahead = c.grab().toImage();

    // the same levels in new storage, drawn by a frame that maps them itself
    show(trace.XValues().Copy(), trace.YValues().Copy());
    c.repaint();
    EXPECT_GT(RowsMapped(), mappedAtSecondTimer);
    EXPECT_EQ(c.grab().toImage(), ahead);
}

TEST(chartRepaint, AfterDrawDrawsIntoTheSameFrame)
{
    BareChart c(200, 100);
    c.OnAfterDraw = [&](TChart *ch) {
        ch->Canvas().Brush().Style = bsSolid;
        ch->Canvas().Brush().Color = clRed;
        ch->Canvas().FillRect(TRect{10, 10, 20, 20});
    };
    const QImage img = c.RenderToBitmap(clBlack, TRect{0, 0, 200, 100});
    EXPECT_EQ(img.pixel(15, 15), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(25, 25), qRgb(0, 0, 0));
}

TEST(chartRender, BitmapBackgroundAndMetafileSize)
{
    BareChart c(200, 100);
    c.SetColor(clBlue);
    const QImage img = c.RenderToBitmap(clWhite, TRect{0, 0, 200, 100});
    EXPECT_EQ(img.size(), QSize(200, 100));
    EXPECT_EQ(img.pixel(100, 50), qRgb(0, 0, 255)); // the chart's own fill covers the bitmap
    const QPicture pic = c.RenderToMetafile(true, TRect{0, 0, 200, 100});
    EXPECT_EQ(pic.boundingRect().size(), QSize(199, 99));
    QImage replay(200, 100, QImage::Format_RGB32);
    replay.fill(Qt::white);
    QPainter p(&replay);
    p.drawPicture(0, 0, pic);
    p.end();
    EXPECT_EQ(replay.pixel(100, 50), qRgb(0, 0, 255));
}

TEST(chartPrint, PageRectangleAndProportionalMargins)
{
    BareChart c(716, 263);
    c.SetPrintProportional(false);
    EXPECT_EQ(c.PrintPageRect(1000, 2000, 300, 300), (TRect{150, 300, 850, 1700}));
    c.SetPrintProportional(true);
    // Wider than high: left and right stay 15 %, top and bottom follow the chart's shape.
    const TRect m = c.ProportionalMargins(4800, 6600, 600, 600);
    EXPECT_EQ(m.Left, 15);
    EXPECT_EQ(m.Right, 15);
    const double expected = std::nearbyint((6600 - (4800 - 4800 * 0.4) * (263.0 / 716)) * 100 / 6600);
    EXPECT_EQ(m.Top, static_cast<int>(expected) / 2);
    c.PrintDetailLevel = -50;
    EXPECT_EQ(c.DetailScaledSize(), QSize(716 + 358, 263 + 132));
}

TEST(chartPrint, PrintingIntoARectangleDrawsWithoutBackground)
{
    BareChart c(200, 100);
    c.SetColor(clBlue);
    QImage page(400, 200, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    c.PrintPartialCanvas(p, TRect{200, 100, 0, 0}); // normalised
    p.end();
    EXPECT_EQ(page.pixel(100, 50), qRgb(255, 255, 255)); // no panel fill while printing
    EXPECT_FALSE(c.IsPrinting());
}

TEST(chartFrame, ClipPointsKeepsSeriesInsideThePlot)
{
    BareChart c(300, 200);
    TLineSeries line;
    line.SetSeriesColor(clRed);
    line.XValues().SetOrder(loAscending);
    c.AddSeries(&line);
    c.Left().SetRange(0, 10);
    c.Bottom().SetRange(0, 10);
    line.AddPoint(5, 0, QString(), clRed);
    line.AddPoint(5.0001, 40, QString(), clRed); // runs far above the plot
    auto redAbove = [&](const QImage &img) {
        int n = 0;
        for (int y = 0; y < c.PlotRect().Top; ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    EXPECT_EQ(redAbove(c.RenderToBitmap(clBlack, TRect{0, 0, 300, 200})), 0);
    c.SetClipPoints(false);
    EXPECT_GT(redAbove(c.RenderToBitmap(clBlack, TRect{0, 0, 300, 200})), 3);
    c.RemoveSeries(&line);
}
