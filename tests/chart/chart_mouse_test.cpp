// The chart's own mouse handling: zoom drag, undo, scroll, wheel, series clicks, rubber band.
#include "chart/chart.h"
#include "chart_test_support.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace {

struct AppFirst {
    AppFirst() { EnsureApp(); }
};

// 400 x 300, bottom and left axes fixed at 0..100, a line through (10 i, 20 + 3 i), i = 0..10.
struct MouseChart : AppFirst, TChart {
    TLineSeries line;
    int frames = 0, zooms = 0, undos = 0, scrolls = 0;

    MouseChart()
    {
        resize(400, 300);
        SetBevelOuter(bvNone);
        SetView3D(false);
        Title().SetVisible(false);
        Foot().SetVisible(false);
        Bottom().SetRange(0, 100);
        Left().SetRange(0, 100);
        for (int i = 0; i <= 10; ++i) line.AddPoint(10 * i, 20 + 3 * i);
        AddSeries(&line);
        OnAfterDraw = [this](TChart *) { ++frames; };
        OnZoom = [this](TChart *) { ++zooms; };
        OnUndoZoom = [this](TChart *) { ++undos; };
        OnScroll = [this](TChart *) { ++scrolls; };
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        Frame();
    }
    void Frame()
    {
        Invalidate();
        repaint();
    }
    void Drag(Qt::MouseButton b, QPoint from, QPoint to)
    {
        QTest::mousePress(this, b, {}, from);
        QTest::mouseMove(this, to);
        QTest::mouseRelease(this, b, {}, to);
        Frame();
    }
    void Wheel(int delta)
    {
        QWheelEvent e(QPointF(200, 150), mapToGlobal(QPointF(200, 150)), {}, QPoint(0, delta), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(this, &e);
    }
    QPoint PointPixel(TChartSeries &s, int i) const { return QPoint(s.XPixel(i), s.YPixel(i)); }
};

void ExpectRange(TCustomChartAxis &a, double lo, double hi)
{
    EXPECT_NEAR(a.Minimum(), lo, 1e-9);
    EXPECT_NEAR(a.Maximum(), hi, 1e-9);
}

TEST(ChartMouse, DragRightDownZoomsToTheCornersAndUpLeftUndoesEveryZoom)
{
    MouseChart c;
    const double x0 = c.Bottom().PixelToValue(100), x1 = c.Bottom().PixelToValue(300);
    const double yTop = c.Left().PixelToValue(50), yBottom = c.Left().PixelToValue(200);
    c.Drag(Qt::LeftButton, {100, 50}, {300, 200});
    ExpectRange(c.Bottom(), x0, x1);
    ExpectRange(c.Left(), yBottom, yTop);
    EXPECT_TRUE(c.ZoomActive());
    EXPECT_EQ(c.zooms, 1);
    EXPECT_FALSE(c.RightAxis()->Automatic()); // every side axis was zoomed

    // a second zoom and a range set by the program do not replace the saved state
    c.Drag(Qt::LeftButton, {120, 60}, {250, 180});
    c.Bottom().SetRange(3, 7);
    c.Frame();
    c.Drag(Qt::LeftButton, {300, 200}, {100, 50});
    ExpectRange(c.Bottom(), 0, 100);
    ExpectRange(c.Left(), 0, 100);
    EXPECT_FALSE(c.Bottom().Automatic());
    EXPECT_TRUE(c.RightAxis()->Automatic());
    EXPECT_EQ(c.undos, 1);
    EXPECT_FALSE(c.ZoomActive());
    EXPECT_FALSE(c.SavedAxesPending());
}

TEST(ChartMouse, DragsOfSixteenPixelsOrLessDoNothing)
{
    MouseChart c;
    c.Drag(Qt::LeftButton, {100, 50}, {116, 150});
    c.Drag(Qt::LeftButton, {116, 150}, {100, 50});
    c.Drag(Qt::LeftButton, {100, 50}, {200, 66});
    ExpectRange(c.Bottom(), 0, 100);
    EXPECT_EQ(c.zooms + c.undos, 0);
    c.Drag(Qt::LeftButton, {100, 50}, {117, 67});
    EXPECT_EQ(c.zooms, 1);

    c.SetAllowZoom(false);
    c.ResetZoom();
    c.Frame();
    c.Drag(Qt::LeftButton, {100, 50}, {300, 200});
    ExpectRange(c.Bottom(), 0, 100);
    EXPECT_EQ(c.zooms, 1);
}

TEST(ChartMouse, PressOnTheTraceReportsThePointAndConsumesThePress)
{
    MouseChart c;
    TChartSeries *hit = nullptr;
    int index = -1, calls = 0;
    bool release = false; // the handler lets the chart go on
    c.OnClickSeries = [&](TChart *, TChartSeries *s, int i, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        hit = s, index = i, ++calls;
        if (release) c.MouseConsumed = false;
    };
    const QPoint p = c.PointPixel(c.line, 5);
    QTest::mousePress(&c, Qt::LeftButton, {}, p);
    EXPECT_EQ(hit, &c.line);
    EXPECT_EQ(index, 5);
    EXPECT_FALSE(c.Zoom().Active);
    EXPECT_FALSE(c.MouseConsumed);
    QTest::mouseRelease(&c, Qt::LeftButton, {}, p);

    // a point series drawn after the line, with a marker on the same pixel, wins
    TPointSeries dots;
    dots.AddPoint(20, 80);
    dots.AddPoint(c.line.XValue(5), c.line.YValue(5));
    c.AddSeries(&dots);
    c.Frame();
    QTest::mousePress(&c, Qt::RightButton, {}, p);
    QTest::mouseRelease(&c, Qt::RightButton, {}, p);
    EXPECT_EQ(hit, &dots);
    EXPECT_EQ(index, 1);
    dots.SetActive(false); // inactive series are not hit
    c.Frame();
    release = true;
    QTest::mousePress(&c, Qt::LeftButton, {}, p);
    EXPECT_EQ(hit, &c.line);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(c.Zoom().Active); // unconsumed: the press starts a zoom
    QTest::mouseRelease(&c, Qt::LeftButton, {}, p);
}

TEST(ChartMouse, WindowHandlersRunFirstAndBackgroundClicksFireOnce)
{
    MouseChart c;
    QStringList log;
    c.OnMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { log << "down"; };
    c.OnMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { log << "up"; };
    c.OnClick = [&] { log << "click"; };
    c.OnClickBackground = [&](TChart *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        log << "background";
        c.MouseConsumed = false;
    };
    c.Drag(Qt::MiddleButton, {100, 50}, {100, 50}); // plot background, no drag for this button
    c.Drag(Qt::MiddleButton, {2, 2}, {2, 2});       // outside the plot: offered as background
    EXPECT_EQ(log, QStringList({"down", "background", "up", "down", "background", "up"}));

    log.clear();
    c.OnMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { c.MouseConsumed = true; };
    c.Drag(Qt::LeftButton, {100, 50}, {300, 200});
    EXPECT_EQ(log, QStringList({"click", "up"}));
    EXPECT_EQ(c.zooms, 0);
}

TEST(ChartMouse, RightDragScrollsByThePixelsMoved)
{
    MouseChart c;
    const double d20 = c.Bottom().PixelToValue(200) - c.Bottom().PixelToValue(180);
    QTest::mousePress(&c, Qt::RightButton, {}, {200, 150});
    QTest::mouseMove(&c, {190, 150});
    QTest::mouseMove(&c, {180, 150});
    ExpectRange(c.Bottom(), d20, 100 + d20);
    ExpectRange(c.Left(), 0, 100);
    EXPECT_EQ(c.scrolls, 2);
    QTest::mouseMove(&c, {1, 150}); // leaving the plot ends the scroll
    EXPECT_FALSE(c.Panning().Active);
    QTest::mouseRelease(&c, Qt::RightButton, {}, {1, 150});

    c.OnAllowScroll = [](TCustomChartAxis &a, double &, double &, bool &allow) { allow = !a.IsHorizontal(); };
    c.Frame();
    c.Drag(Qt::RightButton, {200, 150}, {150, 100});
    ExpectRange(c.Bottom(), d20, 100 + d20);
    EXPECT_LT(c.Left().Minimum(), 0); // moved up: lower values come into view
    c.Drag(Qt::LeftButton, {300, 200}, {100, 50}); // undo returns to before the first scroll
    ExpectRange(c.Bottom(), 0, 100);
    ExpectRange(c.Left(), 0, 100);
}

TEST(ChartMouse, RubberBandIsDrawnWithoutRedrawingAndErasesItself)
{
    MouseChart c;
    const QImage before = c.Canvas3D().BackBuffer()->copy();
    const int frames = c.frames;
    QTest::mousePress(&c, Qt::LeftButton, {}, {100, 50});
    QTest::mouseMove(&c, {200, 150});
    QCoreApplication::processEvents();
    const QImage band = c.Canvas3D().BackBuffer()->copy();
    EXPECT_NE(band.pixel(150, 50), before.pixel(150, 50)); // outline
    EXPECT_EQ(band.pixel(150, 100), before.pixel(150, 100)); // inside
    EXPECT_EQ(c.grab().toImage().pixel(150, 50), band.pixel(150, 50)); // shown as it is
    QTest::mouseMove(&c, {260, 190});
    QTest::mouseMove(&c, {100, 50});
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Canvas3D().BackBuffer()->copy(), before);
    EXPECT_EQ(c.frames, frames);
    QTest::mouseMove(&c, {300, 200});
    QTest::mouseRelease(&c, Qt::LeftButton, {}, {300, 200});
    QCoreApplication::processEvents();
    EXPECT_EQ(c.frames, frames + 1);
}

TEST(ChartMouse, WheelAndPercentZoom)
{
    MouseChart c;
    c.Left().SetAutomatic(true); // 20..50 from the line
    c.Frame();
    c.Wheel(-120);
    ExpectRange(c.Left(), 20.9, 50.9);
    EXPECT_FALSE(c.Left().Automatic() || c.Left().AutomaticMinimum() || c.Left().AutomaticMaximum());
    c.Wheel(60);
    c.Wheel(60); // half notches add up to one
    ExpectRange(c.Left(), 20.9 - 0.9, 50.9 - 0.9);
    ExpectRange(c.Bottom(), 0, 100);
    EXPECT_EQ(c.scrolls, 0);
    EXPECT_FALSE(c.SavedAxesPending());

    c.Left().SetRange(0, 100);
    c.Left().SetAutomatic(true); // ends not yet recomputed by a frame
    c.ZoomByPercent(120);
    ExpectRange(c.Bottom(), 20, 80);
    ExpectRange(c.Left(), 26, 44); // automatic ends come from the series
    c.ZoomByPercent(80);
    ExpectRange(c.Bottom(), 8, 92);
    EXPECT_EQ(c.zooms, 2);
}

TEST(ChartMouse, DegenerateZoomsKeepTheAxesUsable)
{
    MouseChart c;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    c.ZoomToValues({nan, 5}, {0, 1}, {0, 1}, {1e9, 1e9 + 1e-12});
    ExpectRange(c.Left(), 0, 100);
    EXPECT_GT(c.Bottom().Maximum(), c.Bottom().Minimum());
    c.Frame();
    c.ZoomToValues({-5e12, 5e12}, {0, 1}, {0, 1}, {-5e12, 5e12});
    c.Frame();
    ExpectRange(c.Left(), -5e12, 5e12);
    c.ZoomByPercent(-1e308); // overflowing spans leave the axes alone
    ExpectRange(c.Left(), -5e12, 5e12);

    // a logarithmic axis over negative values maps pixels to NaN: the zoom leaves it alone
    c.Right().SetRange(1, 10);
    c.Right().SetLogarithmic(true);
    c.Right().SetRange(-1, 1);
    c.Frame();
    c.Drag(Qt::LeftButton, {100, 50}, {300, 200});
    ExpectRange(c.Right(), -1, 1);
    EXPECT_TRUE(std::isfinite(c.Left().Minimum()) && std::isfinite(c.Left().Maximum()));
}

TEST(ChartMouse, SeriesCursorAndRestingCursor)
{
    MouseChart c;
    c.setCursor(Qt::CrossCursor);
    c.line.SetCursor(Qt::PointingHandCursor);
    QTest::mousePress(&c, Qt::LeftButton, {}, {100, 50});
    EXPECT_EQ(c.cursor().shape(), Qt::ArrowCursor); // dragging
    QTest::mouseRelease(&c, Qt::LeftButton, {}, {100, 50});
    QMouseEvent over(QEvent::MouseMove, c.PointPixel(c.line, 3), c.mapToGlobal(c.PointPixel(c.line, 3)),
                     Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&c, &over);
    EXPECT_EQ(c.cursor().shape(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&c, &leave);
    EXPECT_EQ(c.cursor().shape(), Qt::CrossCursor);

    QKeyEvent arrow(QEvent::ShortcutOverride, Qt::Key_Left, {});
    arrow.ignore();
    QApplication::sendEvent(&c, &arrow);
    EXPECT_TRUE(arrow.isAccepted()); // the chart wants arrow keys
}

} // namespace
