// What the window adds to the chart: the cursor readout, Mode Infinity's range follow, the
// trace colour and the display check boxes.
#include "app/main_form.h"
#include "app/spin_double.h"
#include "app_test_support.h"

#include <QTemporaryDir>
#include <QTest>

#include "platform/numtext.h"

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {


struct Window : QuietWindow {
    // The user's zoom to [lo, hi] on the frequency axis, as a rubber band or the keys make it.
    void zoomTo(double lo, double hi) {
        TChart &c = *form.ch;
        c.ZoomToValues({c.Left().Minimum(), c.Left().Maximum()}, {c.Right().Minimum(), c.Right().Maximum()},
                       {c.Top().Minimum(), c.Top().Maximum()}, {lo, hi});
    }
    QImage frame() {
        form.ch->repaint();
        return form.ch->RenderToBitmap(clBlack, TRect{0, 0, form.ch->width(), form.ch->height()});
    }
};

int silverIn(const QImage &img, const QRect &r) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            n += img.pixel(x, y) == qRgb(192, 192, 192);
    return n;
}

} // namespace

TEST(CursorReadout, TextsAndPlaceFollowTheMouse) {
    Window w;
    w.form.AssembleSweep(SweepText(433000000, 10000, 200, 92));
    const QImage before = w.frame();
    // Inside the plot (the axis lines themselves are silver too).
    const TRect p = w.form.ch->PlotRect();
    const QRect inside(p.Left + 3, p.Top + 3, p.Width() - 6, p.Height() - 6);
    EXPECT_EQ(silverIn(before, inside), 0) << "nothing before the mouse moves";

    // Put the mouse where 433.92 MHz lies on the bottom axis.
    const int x = w.form.ch->Bottom().ValueToPixel(433920000.0);
    const int y = 100;
    w.form.chMouseMove(x, y);
    EXPECT_TRUE(w.form.cursorXText.startsWith("433")) << w.form.cursorXText.toStdString();
    EXPECT_TRUE(w.form.cursorXText.contains(QLocale::system().groupSeparator()) ||
                QLocale::system().groupSeparator().isEmpty());
    EXPECT_FALSE(w.form.cursorYText.isEmpty());
    const QImage img = w.frame();
    // One line above the pointer and one at it, both starting 10 pixels to its right.
    EXPECT_GT(silverIn(img, QRect(x + 10, y - 14, 120, 13)), 10);
    EXPECT_GT(silverIn(img, QRect(x + 10, y, 120, 12)), 10);
    EXPECT_EQ(silverIn(img, QRect(x - 60, y - 14, 60, 28)), 0);

    // Within 30 pixels of the bottom edge, or at x <= 1, nothing is written.
    w.form.chMouseMove(x, w.form.ch->height() - 20);
    EXPECT_EQ(silverIn(w.frame(), inside), 0);
    w.form.chMouseMove(1, 100);
    EXPECT_EQ(silverIn(w.frame(), inside), 0);
    w.form.chMouseMove(2, 100); // just inside the rule: drawn again
    EXPECT_GT(silverIn(w.frame(), QRect(12, 86, 120, 26)), 10);
}

TEST(ModeInfinity, EditorsFollowTheAxisAndSettleAfterOneExtraFrame) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.Infinity1->setChecked(true);
    int frames = 0;
    auto old = w.form.ch->OnAfterDraw;
    w.form.ch->OnAfterDraw = [&](TChart *c) {
        ++frames;
        old(c);
    };
    // A zoom: the bottom axis now shows 440..450 MHz.
    w.zoomTo(440e6, 450e6);
    for (int i = 0; i < 5; ++i) {
        w.form.ch->repaint();
        QCoreApplication::processEvents();
    }
    EXPECT_LE(frames, 2) << "the follow must not keep requesting frames";
    EXPECT_EQ(w.form.startSpin->text(), "440");
    EXPECT_EQ(w.form.stopSpin->text(), "450");
    EXPECT_EQ(w.form.params.freqMinHz, "440000000");
    EXPECT_TRUE(w.form.flags.paramChangePending);
    // A range the user did not set (an automatic fit, a program change) is never followed; the
    // settle timer's second firing resets the axis to the editors.
    w.form.ch->Bottom().SetRange(445e6, 455e6);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "440");
    w.form.Timer1Timer(); // first firing: no reset yet, the change is no longer pending
    EXPECT_FALSE(w.form.flags.axisResetRequested);
    w.form.Timer1Timer();
    EXPECT_TRUE(w.form.flags.axisResetRequested);
    w.form.UpdateViewAfterPass();
    EXPECT_EQ(w.form.ch->Bottom().Minimum(), 440e6);
    EXPECT_EQ(w.form.ch->Bottom().Maximum(), 450e6);
    // A range below 24 MHz is clamped into the editors.
    w.zoomTo(1e6, 2e6);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "24");
    EXPECT_EQ(w.form.stopSpin->text(), "25");
    // Values from the axis are whole kilohertz.
    w.zoomTo(433920123.4, 434920987.6);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "433.92");
    EXPECT_EQ(w.form.stopSpin->text(), "434.921");
    EXPECT_TRUE(w.errors.messages.isEmpty());
}

// Mode Infinity follows the user's view, never the chart's automatic fit of a sweep: switching
// it on, a partial sweep and a range typed during a sweep all keep the editors as they are.
TEST(ModeInfinity, AutomaticFitsAndTypedRangesAreNeverOverwritten) {
    Window w;
    w.form.Infinity1->setChecked(true);
    w.form.Image5Click(); // off and on again, as F5 does
    w.form.Image5Click();
    // A partial sweep: 430..445 MHz of the 430..470 asked for.
    w.form.AssembleSweep(SweepText(430000000, 25000, 600, 300));
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "430");
    EXPECT_EQ(w.form.stopSpin->text(), "470");
    // A range typed during a sweep survives the next sweeps and the settle timer.
    w.form.startSpin->setValue(100);
    w.form.stopSpin->setValue(120);
    for (int i = 0; i < 3; ++i) {
        w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
        w.form.ch->repaint();
        w.form.Timer1Timer();
        w.form.UpdateViewAfterPass();
        w.form.ch->repaint();
    }
    EXPECT_EQ(w.form.startSpin->text(), "100");
    EXPECT_EQ(w.form.stopSpin->text(), "120");
    EXPECT_EQ(w.form.params.freqMinHz, "100000000");
}

// A long right-drag scrolls step by step and the sweep follows all of it, not only the first
// step.
TEST(ModeInfinity, RightDragIsFollowedToItsEnd) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.ch->repaint();
    w.form.Infinity1->setChecked(true);
    const TRect plot = w.form.ch->PlotRect();
    const QPoint from(plot.Left + 300, plot.Top + 50);
    const double before = w.form.ch->Bottom().Minimum();
    QTest::mousePress(w.form.ch, Qt::RightButton, Qt::NoModifier, from);
    for (int dx = 10; dx <= 100; dx += 10) {
        QTest::mouseMove(w.form.ch, from + QPoint(-dx, 0));
        w.form.ch->repaint();
    }
    QTest::mouseRelease(w.form.ch, Qt::RightButton, Qt::NoModifier, from + QPoint(-100, 0));
    w.form.ch->repaint();
    const double lo = w.form.ch->Bottom().Minimum();
    EXPECT_GT(lo, before + 1e6); // 100 pixels of a 40 MHz span
    EXPECT_NEAR(w.form.startSpin->Value(), std::round(lo / 1000) / 1000, 1e-9);
    w.form.Timer1Timer();
    w.form.Timer1Timer();
    w.form.UpdateViewAfterPass();
    EXPECT_NEAR(w.form.ch->Bottom().Minimum(), lo, 1000); // no snap back
}

TEST(ModeInfinity, NormalModeNeverTouchesTheEditors) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.ch->Bottom().SetRange(440e6, 450e6);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "430");
    w.form.RequestAxisReset();
    EXPECT_FALSE(w.form.flags.axisResetRequested);
}

TEST(TraceColour, ChosenColourAppliesFromTheNextSweep) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 100, 50));
    w.form.cd = [](TColor initial, TColor &chosen) {
        EXPECT_EQ(initial, 255);
        chosen = 0xFF0000; // blue
        return true;
    };
    w.form.chClickSeries(&w.form.spectrum.Series1, 3);
    EXPECT_EQ(w.form.spectrum.Series1.PointColor(3), 255); // the trace on screen stays red
    EXPECT_TRUE(readFile(w.dir.filePath("settings.ini")).contains("Chart Color=16711680\r\n"));
    w.form.AssembleSweep(SweepText(430000000, 25000, 100, 50));
    EXPECT_EQ(w.form.spectrum.Series1.PointColor(3), 0xFF0000);
    // A cancelled dialog changes nothing.
    w.form.cd = [](TColor, TColor &) { return false; };
    w.form.chClickSeries(&w.form.spectrum.Series1, 3);
    EXPECT_EQ(w.form.flags.chartColor, 0xFF0000);
}

TEST(CheckBoxes, ScaleSnapsToTheFixedRangeAndBack) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 100, 50));
    w.form.ch->repaint();
    EXPECT_TRUE(w.form.ch->Left().Automatic());
    w.form.axs->setChecked(false);
    EXPECT_EQ(w.form.ch->Left().Minimum(), -110);
    EXPECT_EQ(w.form.ch->Left().Maximum(), 10);
    EXPECT_EQ(w.form.ch->Right().Minimum(), -110);
    EXPECT_TRUE(readFile(w.dir.filePath("settings.ini")).contains("Chart Scale=0\r\n"));
    w.form.axs->setChecked(true);
    w.form.ch->repaint();
    EXPECT_TRUE(w.form.ch->Left().Automatic());
    EXPECT_GT(w.form.ch->Left().Maximum(), -21); // follows the data again
    EXPECT_LT(w.form.ch->Left().Maximum(), -19);
}

TEST(ModeInfinity, MouseZoomRetargetsTheSweep) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.ch->repaint();
    w.form.Infinity1->setChecked(true);
    const TRect plot = w.form.ch->PlotRect();
    const QPoint from(plot.Left + 100, plot.Top + 20), to(plot.Left + 300, plot.Bottom - 20);
    const double lo = w.form.ch->Bottom().PixelToValue(from.x()), hi = w.form.ch->Bottom().PixelToValue(to.x());
    QTest::mousePress(w.form.ch, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(w.form.ch, QPoint(from.x() + 50, from.y() + 50));
    QTest::mouseMove(w.form.ch, to);
    QTest::mouseRelease(w.form.ch, Qt::LeftButton, Qt::NoModifier, to);
    w.form.ch->repaint();
    EXPECT_NEAR(w.form.startSpin->Value(), std::round(lo / 1000) / 1000, 1e-9);
    EXPECT_NEAR(w.form.stopSpin->Value(), std::round(hi / 1000) / 1000, 1e-9);
    EXPECT_EQ(w.form.params.freqMinHz, FloatToText(std::round(lo / 1000) * 1000));
    EXPECT_TRUE(w.form.flags.paramChangePending);
    EXPECT_TRUE(w.form.Timer1->isActive());
    // A click on the waterfall gives the chart the keyboard focus.
    w.form.step->setFocus();
    QTest::mouseClick(w.form.img2, Qt::LeftButton);
    EXPECT_TRUE(w.form.ch->hasFocus());
}

TEST(ModeInfinity, ExtremeZoomsNeitherCrashNorHang) {
    Window w;
    w.form.AssembleSweep(SweepText(430000000, 25000, 1601, 800));
    w.form.Infinity1->setChecked(true);
    w.zoomTo(433920000.0, 433920000.4); // narrower than a pixel
    w.form.ch->repaint();
    w.zoomTo(-1e13, 1e13);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.startSpin->text(), "24");
    EXPECT_EQ(w.form.stopSpin->text(), "1750");
    w.form.ch->ZoomByPercent(120);
    w.form.ch->ResetZoom();
    w.form.ch->repaint();
    EXPECT_TRUE(w.errors.messages.isEmpty());
}

// A range typed after a zoom ends the zoom: the frequency axis follows the new sweeps instead of
// showing an empty chart of the old range.
TEST(ModeInfinity, ATypedRangeAfterAZoomShowsTheNewSweeps) {
    Window w;
    w.form.AssembleSweep(SweepText(443000000, 10000, 1001, 500));
    w.zoomTo(443000000.0, 453000000.0);
    ASSERT_NEAR(w.form.ch->Bottom().Minimum(), 443000000.0, 1);
    w.form.flags.controlsReady = true;
    w.form.startSpin->setValue(88);
    w.form.stopSpin->setValue(108);
    w.form.AssembleSweep(SweepText(88000000, 20000, 1001, 300));
    w.form.ch->repaint();
    EXPECT_NEAR(w.form.ch->Bottom().Minimum(), 88000000.0, 20000.0 * 2);
    EXPECT_NEAR(w.form.ch->Bottom().Maximum(), 108000000.0, 20000.0 * 2);
    // Mode Infinity setting the editors from a zoom keeps that zoom.
    w.form.Infinity1->setChecked(true);
    w.zoomTo(90000000.0, 100000000.0);
    w.form.ch->repaint();
    EXPECT_NEAR(w.form.startSpin->Value(), 90.0, 1e-9);
    EXPECT_NEAR(w.form.ch->Bottom().Minimum(), 90000000.0, 1);
    EXPECT_TRUE(w.errors.messages.isEmpty());
}
