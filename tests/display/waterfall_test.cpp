#include "display_app.h"
#include "display/image_view.h"
#include "display/resample.h"
#include "display/waterfall.h"
#include "platform/hundredths.h"

#include <QApplication>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

using namespace sky;

namespace {

// One-row RGB888 image whose pixel k has red = k.
QImage ramp(int w) {
    QImage img(w, 1, QImage::Format_RGB888);
    for (int k = 0; k < w; ++k) {
        img.scanLine(0)[3 * k] = static_cast<uchar>(k);
        img.scanLine(0)[3 * k + 1] = 0;
        img.scanLine(0)[3 * k + 2] = 0;
    }
    return img;
}

std::vector<int> reds(const QImage &img) {
    std::vector<int> r;
    for (int x = 0; x < img.width(); ++x)
        r.push_back(qRed(img.pixel(x, 0)));
    return r;
}

std::vector<int> resampleRow(int sw, int dw) {
    QImage dst(dw, 1, QImage::Format_RGB888);
    ResampleBitmap(ramp(sw), dst, QRect(0, 0, sw, 1), QRect(0, 0, dw, 1));
    return reds(dst);
}

std::uint32_t win(int r, int g, int b) { return r | g << 8 | b << 16; }

} // namespace

TEST(Resample, ShrinkAndGrowTablesOfTheExamples) {
    EXPECT_EQ(resampleRow(10, 4), std::vector<int>({0, 2, 5, 7}));
    EXPECT_EQ(resampleRow(4, 10), std::vector<int>({0, 0, 1, 1, 1, 2, 2, 3, 3, 3}));
    EXPECT_EQ(resampleRow(3, 7), std::vector<int>({0, 0, 1, 1, 1, 2, 2}));
    EXPECT_EQ(resampleRow(5, 5), std::vector<int>({0, 1, 2, 3, 4}));
    // 300 bins on 600 pixels: about two columns each, every bin present.
    const auto counts = GrowTable(300, 600);
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0u), 600u);
    for (auto c : counts)
        EXPECT_TRUE(c == 2) << c;
}

TEST(Resample, HugeRowsShrinkWithoutWrapping) {
    // A million-bin sweep onto 600 pixels: positions stay ascending and inside the row.
    const auto p = ShrinkTable(1000000, 600);
    ASSERT_EQ(p.size(), 600u);
    for (std::size_t j = 1; j < p.size(); ++j)
        ASSERT_GT(p[j], p[j - 1]);
    EXPECT_LT(p.back(), 1000000u);
    EXPECT_GT(p.back(), 990000u);
    const auto g = GrowTable(70000, 140001);
    EXPECT_EQ(std::accumulate(g.begin(), g.end(), std::uint64_t(0)), 140001u);
}

TEST(Resample, GivesTheDestinationTheSourceFormat) {
    QImage src(4, 2, QImage::Format_RGB16);
    src.fill(QColor(255, 0, 0));
    QImage dst(8, 4, QImage::Format_RGB16);
    ResampleBitmap(src, dst, QRect(0, 0, 4, 2), QRect(0, 0, 8, 4));
    EXPECT_EQ(dst.format(), QImage::Format_RGB888);
    EXPECT_EQ(dst.pixel(7, 3), QColor(255, 0, 0).rgb());
    // One direction shrinks, the other grows: stretched without blending.
    QImage mixed(2, 8, QImage::Format_RGB888);
    mixed.fill(Qt::black);
    ResampleBitmap(ramp(4), mixed, QRect(0, 0, 4, 1), QRect(0, 0, 2, 8));
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(qGreen(mixed.pixel(0, y)), 0);
}

TEST(Waterfall, RampEndsAreExactlyTheChosenColours) {
    std::uint32_t c;
    const std::int32_t navy = 8388608, lime = 65280;
    // Strongest -20 dB, weakest -80 dB: range 60.
    ASSERT_TRUE(RampColor(navy, lime, 0.0f, 60.0, c));
    EXPECT_EQ(c, win(0, 255, 0));
    ASSERT_TRUE(RampColor(navy, lime, 60.0f, 60.0, c));
    EXPECT_EQ(c, win(0, 0, 128));
    ASSERT_TRUE(RampColor(navy, lime, 30.0f, 60.0, c));
    EXPECT_EQ(c, win(0, 127, 64)); // 255 - round(127.5) = 255 - 128 (ties to even); 0 + 64
    EXPECT_FALSE(RampColor(navy, lime, 0.0f, 0.0, c));
}

TEST(Waterfall, AddLineScrollsAndDrawsTheNewTopRow) {
    app();
    TWaterfall w(QSize(600, 50));
    TImage img;
    img.resize(600, 20);
    w.SetImage(&img);
    w.Resize();
    EXPECT_EQ(w.waterfallBuffer.size(), QSize(600, 20));

    std::vector<double> y(1000, -80.0);
    for (int i = 498; i <= 502; ++i) // a signal a few bins wide, so it survives decimation
        y[i] = -20.0;
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), 498, 0, 8388608, 65280));
    EXPECT_EQ(w.waterfallLineScaled.width(), 600);
    const QColor navy = QColor(w.waterfallBuffer.pixel(0, 0));
    EXPECT_EQ(navy.blue() >> 3, 128 >> 3); // 16-bit buffer: compare at its depth
    EXPECT_EQ(navy.green(), 0);
    EXPECT_EQ(QColor(w.waterfallBuffer.pixel(300, 0)).green() >> 2, 255 >> 2); // bin 500 at 300 px
    // The next line pushes this one down a row; the top row of the image stays black.
    std::fill(y.begin(), y.end(), -80.0);
    for (int i = 98; i <= 102; ++i)
        y[i] = -10.0;
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), 98, 0, 8388608, 65280));
    EXPECT_EQ(QColor(w.waterfallBuffer.pixel(300, 1)).green() >> 2, 255 >> 2);
    EXPECT_EQ(QColor(w.waterfallBuffer.pixel(60, 0)).green() >> 2, 255 >> 2);
    EXPECT_EQ(img.Picture().pixel(300, 0), QColor(Qt::black).rgb());
    EXPECT_EQ(QColor(img.Picture().pixel(300, 2)).green() >> 2, 255 >> 2);
}

// Bins are placed by their signed level between the weakest and the strongest: in a sweep from
// -8 to +23 dB a +8 dB bin lies about half-way, not with the weakest.
TEST(Waterfall, MixedSignLevelsRampBySignedLevel) {
    app();
    TWaterfall w(QSize(100, 10));
    const double y[] = {-8.0, 23.0, 8.0, -8.0, -8.0};
    ASSERT_TRUE(w.AddLine(y, 5, 1, 0, 0x000000, 0x00FF00)); // black for the weakest, lime for the strongest
    const auto green = [&](int bin) { return qGreen(w.waterfallLine.pixel(bin, 0)); };
    EXPECT_EQ(green(0), 0);
    EXPECT_EQ(green(1), 255);
    EXPECT_NEAR(green(2), 255 * 16 / 31, 1);
    // All-negative sweeps give what the magnitudes gave before.
    const double neg[] = {-80.0, -20.0, -50.0, -80.0, -80.0};
    ASSERT_TRUE(w.AddLine(neg, 5, 1, 0, 0x000000, 0x00FF00));
    EXPECT_NEAR(green(2), 255 / 2, 1);
}

// A flat sweep has no ramp: its row is drawn in one colour (the strongest's). A single bin has
// no row at all, but the history still moves down.
TEST(Waterfall, FlatSweepsGetOneColourSingleBinsNoRow) {
    app();
    TWaterfall w(QSize(100, 10));
    std::vector<double> good(50, -60.0);
    good[10] = -30;
    ASSERT_TRUE(w.AddLine(good.data(), good.size(), 10, 0, 8388608, 65280));
    const QImage before = w.waterfallBuffer.copy();
    const std::vector<double> flat(50, -60.0);
    ASSERT_TRUE(w.AddLine(flat.data(), flat.size(), 0, 0, 8388608, 65280));
    for (int x : {0, 50, 99})
        EXPECT_EQ(QColor(w.waterfallBuffer.pixel(x, 0)).green() >> 2, 255 >> 2) << x; // lime
    const double one[] = {-40.0};
    EXPECT_FALSE(w.AddLine(one, 1, 0, 0, 8388608, 65280));
    // Two rows moved down, the old top row is now row 2.
    EXPECT_EQ(w.waterfallBuffer.pixel(10, 2), before.pixel(10, 0));
}

// Shrinking a million bins onto 600 pixels keeps every one-bin carrier: each pixel shows the
// strongest bin of its share.
TEST(Waterfall, NarrowCarriersSurviveShrinking) {
    app();
    TWaterfall w(QSize(600, 10));
    std::vector<double> y(1000000, -80.0);
    std::vector<int> at;
    for (int k = 0; k < 20; ++k) {
        at.push_back(25000 + k * 48611);
        y[at.back()] = -20.0;
    }
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), at[0], 0, 0x000000, 0x00FF00));
    int lit = 0;
    for (int x = 0; x < 600; ++x)
        lit += qGreen(w.waterfallBuffer.pixel(x, 0)) > 200;
    EXPECT_EQ(lit, 20);
    // Each where its bin lies.
    for (int bin : at) {
        const int x = static_cast<int>(bin * 600LL / 999999); // or the next pixel, at a share's edge
        EXPECT_GT(std::max(qGreen(w.waterfallBuffer.pixel(x, 0)), qGreen(w.waterfallBuffer.pixel(x + 1, 0))), 200) << bin;
    }
}

// An image millions of pixels wide (a deep zoom) never gets bitmaps wider than the screen.
TEST(Waterfall, BitmapsNeverOutgrowTheScreen) {
    app();
    TWaterfall w(QSize(1920, 300));
    TImage img;
    img.resize(10000000, 200);
    w.SetImage(&img);
    w.Resize();
    EXPECT_LE(w.waterfallBuffer.width(), 1920);
    EXPECT_LE(img.Picture().width(), 1920);
    EXPECT_EQ(w.waterfallBuffer.height(), 200);
    w.Clear();
    EXPECT_EQ(w.waterfallBuffer.pixel(5, 5), QColor(Qt::black).rgb());
}

// A new width rescales the rows drawn so far, so each still spans the sweep under the axis; a
// new height keeps the newest rows at the top and adds black below.
TEST(Waterfall, ResizeRescalesTheRowsToTheNewWidth) {
    app();
    TWaterfall w(QSize(400, 40));
    TImage img;
    img.resize(100, 10);
    w.SetImage(&img);
    w.Resize();
    // The strong signal fills the right half of the sweep.
    std::vector<double> y(100, -60.0);
    std::fill(y.begin() + 50, y.end(), -10.0);
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), 99, 0, 8388608, 65280));
    const QRgb weak = w.waterfallBuffer.pixel(10, 0), strong = w.waterfallBuffer.pixel(90, 0);
    ASSERT_NE(weak, strong);
    for (const QSize size : {QSize(150, 12), QSize(60, 5)}) {
        img.resize(size);
        w.Resize();
        EXPECT_EQ(w.waterfallBuffer.size(), size);
        EXPECT_EQ(w.waterfallLineScaled.width(), size.width());
        const int half = size.width() / 2;
        EXPECT_EQ(w.waterfallBuffer.pixel(half - 3, 0), weak) << size.width();
        EXPECT_EQ(w.waterfallBuffer.pixel(half + 3, 0), strong) << size.width();
        EXPECT_EQ(w.waterfallBuffer.pixel(size.width() - 1, 0), strong) << size.width();
        EXPECT_EQ(w.waterfallBuffer.pixel(half, size.height() - 1), QColor(Qt::black).rgb());
    }
}

// Lines added in a batch leave exactly the buffer the same lines added one by one leave: more
// lines than rows, single-bin sweeps (a repeat of the newest row), a clear and a resize in the
// middle, before and after rows were drawn without a batch; with the default colours, and with
// automatic levels (whose history must see the batch's rows too) and a colour map.
TEST(Waterfall, BatchedLinesLeaveTheSameHistory) {
    app();
    std::vector<std::vector<double>> sweeps;
    for (int k = 0; k < 40; ++k) {
        std::vector<double> y(k % 9 == 4 ? 1 : 50 + 30 * (k % 5));
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] = -90.0 + 2.0 * k + double((i * 37 + std::size_t(k) * 11) % 60);
        sweeps.push_back(y);
    }
    for (const bool autoLevels : {false, true}) {
        qint64 now = 0;
        auto add = [&](TWaterfall &w, const std::vector<double> &y, int k) {
            std::size_t mx = 0, mn = 0;
            for (std::size_t i = 0; i < y.size(); ++i) {
                if (y[i] > y[mx])
                    mx = i;
                if (y[i] < y[mn])
                    mn = i;
            }
            now = 400 * k; // the automatic range is renewed every third line or so
            w.AddLine(y.data(), y.size(), mx, mn, win(0, 0, 255), win(255, 255, 0));
        };
        for (int variant = 0; variant < 5; ++variant) {
            SCOPED_TRACE(testing::Message() << "auto " << autoLevels << " variant " << variant);
            const int rows = variant == 4 ? 1 : 16;
            TImage oneImage, batchImage;
            oneImage.resize(64, rows);
            batchImage.resize(64, rows);
            TWaterfall one(QSize(64, rows)), batched(QSize(64, rows));
            for (TWaterfall *w : {&one, &batched}) {
                w->clockMs = [&now] { return now; };
                if (autoLevels) {
                    w->SetLevels(WaterfallLevels::Auto, 0, 0);
                    w->SetColours(WaterfallColours::Turbo);
                }
            }
            one.SetImage(&oneImage);
            batched.SetImage(&batchImage);
            one.Resize();
            batched.Resize();
            const int split = variant == 0 ? 0 : 7; // lines before the batch, drawn one by one
            for (int k = 0; k < split; ++k) {
                add(one, sweeps[k], k);
                add(batched, sweeps[k], k);
            }
            batched.BeginBatch();
            const int count = variant == 3 ? 15 : 40; // fewer lines than rows (one of a single bin), or more
            for (int k = split; k < count; ++k) {
                if (variant == 1 && k == 20) {
                    one.Clear();
                    batched.Clear();
                }
                if (variant == 2 && k == 25) {
                    oneImage.resize(48, 12);
                    batchImage.resize(48, 12);
                    one.Resize();
                    batched.Resize();
                }
                add(one, sweeps[k], k);
                add(batched, sweeps[k], k);
            }
            batched.EndBatch();
            EXPECT_EQ(batched.waterfallBuffer, one.waterfallBuffer);
            EXPECT_EQ(batchImage.Picture(), oneImage.Picture());
            if (!autoLevels)
                continue;
            EXPECT_EQ(batched.AutoRange(), one.AutoRange());
            // Drawn in many colours: the range moved with the rising levels.
            QSet<QRgb> colours;
            for (int y = 0; y < one.waterfallBuffer.height(); ++y)
                for (int x = 0; x < one.waterfallBuffer.width(); ++x)
                    colours.insert(one.waterfallBuffer.pixel(x, y));
            EXPECT_GT(colours.size(), rows == 1 ? 5 : 20);
        }
    }
}

// The strongest level of a pixel's share, against the plain fold: shares of every length
// around the vector steps, from every offset, with NaN (first or later), infinities, equal
// zeros of either sign and repeated maxima.
TEST(WaterfallStrongest, EveryShareFoldsAsThePlainLoop) {
    std::mt19937 rng(17);
    const double specials[] = {std::nan(""), 0.0, -0.0, std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), -45.0};
    std::vector<double> y(300);
    for (int round = 0; round < 20000; ++round) {
        for (double &v : y)
            v = rng() % 10 == 0 ? specials[rng() % std::size(specials)] : -60.0 + static_cast<double>(rng() % 40);
        const std::size_t lo = rng() % 40, hi = lo + 1 + rng() % (round % 2 ? 40 : 250);
        double want = y[lo];
        for (std::size_t i = lo + 1; i < hi; ++i)
            want = std::max(want, y[i]);
        const double got = sky::StrongestOf(y.data(), lo, hi);
        ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want)))
            << "round " << round << ": " << got << " instead of " << want;
    }
}

// Levels held as whole hundredths draw the rows their doubles draw: sweeps wider and narrower
// than the picture, in every level mode and colour map, flat ones and single bins among them.
TEST(Waterfall, HundredthsDrawTheRowsOfTheirDoubles) {
    app();
    std::vector<std::vector<std::int16_t>> sweeps;
    for (int k = 0; k < 30; ++k) {
        std::vector<std::int16_t> h(k % 11 == 5 ? 1 : k % 3 == 0 ? 40 : 500 + 37 * k);
        for (std::size_t i = 0; i < h.size(); ++i)
            h[i] = static_cast<std::int16_t>(k % 7 == 3 ? -4500 : -9000 + 100 * k + static_cast<int>((i * 7919) % 3000));
        sweeps.push_back(h);
    }
    struct Mode {
        WaterfallLevels levels;
        WaterfallColours colours;
    };
    for (const Mode mode : {Mode{WaterfallLevels::Sweep, WaterfallColours::Ramp},
                            Mode{WaterfallLevels::Fixed, WaterfallColours::Viridis},
                            Mode{WaterfallLevels::Auto, WaterfallColours::Turbo}}) {
        SCOPED_TRACE(static_cast<int>(mode.levels));
        qint64 now = 0;
        TImage hImage, dImage;
        hImage.resize(300, 24);
        dImage.resize(300, 24);
        TWaterfall fromHundredths(QSize(300, 24)), fromDoubles(QSize(300, 24));
        for (TWaterfall *w : {&fromHundredths, &fromDoubles}) {
            w->clockMs = [&now] { return now; };
            w->SetLevels(mode.levels, -70, -40);
            w->SetColours(mode.colours);
        }
        fromHundredths.SetImage(&hImage);
        fromDoubles.SetImage(&dImage);
        fromHundredths.Resize();
        fromDoubles.Resize();
        for (std::size_t k = 0; k < sweeps.size(); ++k) {
            const std::vector<std::int16_t> &h = sweeps[k];
            std::vector<double> y;
            SpellOutHundredths(h.data(), h.size(), y);
            const std::size_t mx = static_cast<std::size_t>(std::max_element(h.begin(), h.end()) - h.begin());
            const std::size_t mn = static_cast<std::size_t>(std::min_element(h.begin(), h.end()) - h.begin());
            now = 700 * static_cast<qint64>(k);
            EXPECT_EQ(fromHundredths.AddLine(h.data(), h.size(), mx, mn, win(0, 0, 255), win(255, 255, 0)),
                      fromDoubles.AddLine(y.data(), y.size(), mx, mn, win(0, 0, 255), win(255, 255, 0)));
            ASSERT_EQ(fromHundredths.waterfallBuffer, fromDoubles.waterfallBuffer) << "sweep " << k;
        }
        EXPECT_EQ(hImage.Picture(), dImage.Picture());
        if (mode.levels == WaterfallLevels::Auto) {
            EXPECT_EQ(fromHundredths.AutoRange(), fromDoubles.AutoRange());
        }
    }
}
