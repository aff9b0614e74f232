// The empty spectrum chart as a user sees it before the first sweep.
#include "app/main_form.h"
#include "app_test_support.h"

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

// Pixels of one colour inside a rectangle of the image.
int count(const QImage &img, const QRect &r, QRgb colour) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            n += img.pixel(x, y) == colour;
    return n;
}

QRect bounds(const QImage &img, const QRect &r, QRgb colour) {
    QRect b;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (img.pixel(x, y) == colour)
                b |= QRect(x, y, 1, 1);
    return b;
}

const QRgb white = qRgb(255, 255, 255), yellow = qRgb(255, 255, 0), grey = qRgb(128, 128, 128),
           blue = qRgb(0, 0, 255);

} // namespace

TEST(SpectrumChartLayout, EmptyChartBeforeTheFirstSweep) {
    ErrorCollector errors;
    TForm1 form(StartOptions{{}, {}, true});
    form.axs->setChecked(false); // the level axes at -110..10
    const int w = 716, h = 263;
    form.ch->resize(w, h);
    const QImage img = form.ch->RenderToBitmap(clBlack, TRect{0, 0, w, h});
    const TRect plot = form.ch->PlotRect();

    // The title, centred at the top, above the plot.
    const QRect title = bounds(img, QRect(0, 0, w, plot.Top - 1), white);
    ASSERT_TRUE(title.isValid());
    EXPECT_NEAR(title.center().x(), w / 2, 6);
    EXPECT_LT(title.bottom(), plot.Top);
    EXPECT_GE(title.top(), MulDiv(4, h, 100));

    // "dB" left of the left labels, level with the middle of the plot (a horizontal title).
    const QRect db = bounds(img, QRect(0, plot.Top, plot.Left - 1, plot.Height()), white);
    ASSERT_TRUE(db.isValid());
    EXPECT_LT(db.width(), 20);
    EXPECT_NEAR(db.center().y(), (plot.Top + plot.Bottom) / 2, 8);
    // Left labels in grey from -110 to 10: near the top and the bottom of the plot.
    EXPECT_GT(count(img, QRect(db.right() + 1, plot.Top - 6, plot.Left - db.right() - 1, 14), grey), 5);
    EXPECT_GT(count(img, QRect(db.right() + 1, plot.Bottom - 25, plot.Left - db.right() - 1, 25), grey), 5);

    // The right axis: yellow line, labels and a vertical title reading upwards.
    const QRect right = bounds(img, QRect(plot.Right, 0, w - plot.Right, h), yellow);
    ASSERT_TRUE(right.isValid());
    EXPECT_GT(right.height(), 80);
    EXPECT_GT(count(img, QRect(w - 14, plot.Top, 14, plot.Height()), yellow), 30);

    // "Fm, Hz" centred under the plot; the unused top axis is not drawn at all.
    const QRect fm = bounds(img, QRect(0, plot.Bottom + 12, w, h - plot.Bottom - 12), white);
    ASSERT_TRUE(fm.isValid());
    EXPECT_NEAR(fm.center().x(), (plot.Left + plot.Right) / 2, 8);
    EXPECT_EQ(count(img, QRect(0, 0, w, h), blue), 0);
    // The bottom axis spans 1 % to 99 % of the plot width.
    const TCustomChartAxis &bottom = *form.ch->BottomAxis();
    EXPECT_EQ(bottom.StartPixel(), plot.Left + RoundEven(plot.Width() * 0.01));
    EXPECT_EQ(bottom.EndPixel(), plot.Left + RoundEven(plot.Width() * 0.99));
}

TEST(SpectrumChartLayout, SeriesOrderKindsAndAxes) {
    ErrorCollector errors;
    TForm1 form(StartOptions{{}, {}, true});
    TChartSeriesList &list = form.ch->SeriesList();
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.At(0), &form.spectrum.Series5);
    EXPECT_EQ(list.At(1), &form.spectrum.Series1);
    EXPECT_EQ(list.At(2), &form.spectrum.Series2);
    EXPECT_EQ(list.At(3), &form.spectrum.Series4);
    EXPECT_EQ(list.At(4), &form.spectrum.Series3);
    EXPECT_FALSE(form.spectrum.Series5.Active());
    EXPECT_EQ(form.spectrum.sweepSeries.ParentChart(), nullptr);
    EXPECT_TRUE(form.spectrum.Series5.BelongsToAxis(form.ch->RightAxis()));
    EXPECT_FALSE(form.spectrum.Series5.BelongsToAxis(form.ch->LeftAxis()));
    EXPECT_TRUE(form.spectrum.Series1.BelongsToAxis(form.ch->LeftAxis()));
    EXPECT_TRUE(form.spectrum.Series1.BelongsToAxis(form.ch->RightAxis()));
    EXPECT_EQ(form.spectrum.Series3.Pointer().HorizSize(), 3);
    EXPECT_EQ(form.spectrum.Series3.Pointer().Style(), psCircle);
    // "Point" (checked by default) shows the trace's markers; "Max" shows the peaks.
    EXPECT_TRUE(form.spectrum.Series1.Pointer().Visible());
    EXPECT_TRUE(form.spectrum.Series4.Pointer().Visible());
    form.point->setChecked(false);
    EXPECT_FALSE(form.spectrum.Series1.Pointer().Visible());
    EXPECT_FALSE(form.spectrum.sweepSeries.Pointer().Visible());
    EXPECT_EQ(form.spectrum.Series5.Pointer().HorizSize(), 1);
}
