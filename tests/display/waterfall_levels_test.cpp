// Waterfall level modes (Sweep, Fixed, Auto) and colour maps.
#include "display_app.h"
#include "display/colour_maps.h"
#include "display/image_view.h"
#include "display/waterfall.h"

#include <QApplication>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace sky;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::uint32_t win(int r, int g, int b) {
    return r | g << 8 | b << 16;
}
int red(std::uint32_t c) {
    return c & 0xFF;
}
int green(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
int blue(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}

// Pixel x of a one-row RGB888 line as a Windows colour value.
std::uint32_t linePixel(const QImage &line, int x) {
    const QRgb p = line.pixel(x, 0);
    return win(qRed(p), qGreen(p), qBlue(p));
}

// A Windows colour value as the 16-bit buffer stores it.
QRgb in16(std::uint32_t c) {
    QImage one(1, 1, QImage::Format_RGB16);
    one.fill(QColor(red(c), green(c), blue(c)));
    return one.pixel(0, 0);
}

// CIE L* of an sRGB colour.
double lightness(std::uint32_t c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(red(c)) + 0.7152 * linear(green(c)) + 0.0722 * linear(blue(c));
    return y > 216.0 / 24389.0 ? 116.0 * std::cbrt(y) - 16.0 : y * 24389.0 / 27.0;
}

void expectNear(std::uint32_t got, std::uint32_t want, int tolerance, const char *what) {
    EXPECT_NEAR(red(got), red(want), tolerance) << what;
    EXPECT_NEAR(green(got), green(want), tolerance) << what;
    EXPECT_NEAR(blue(got), blue(want), tolerance) << what;
}

// Adds a sweep with its true extremes, as the caller finds them.
bool add(TWaterfall &w, const std::vector<double> &y, TColor start = 8388608, TColor end = 65280) {
    std::size_t mx = 0, mn = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        if (y[i] > y[mx])
            mx = i;
        if (y[i] < y[mn])
            mn = i;
    }
    return w.AddLine(y.data(), y.size(), mx, mn, start, end);
}

// A sweep of `pixels` + 1 bins whose first `pixels` bins run evenly from `from` in steps of `step`.
std::vector<double> evenly(int pixels, double from, double step) {
    std::vector<double> y(static_cast<std::size_t>(pixels) + 1);
    for (std::size_t i = 0; i < y.size(); ++i)
        y[i] = from + step * static_cast<double>(i);
    return y;
}

} // namespace

// The tables' ends and quarter points against the published colours of each map.
TEST(WaterfallColourMaps, TablesMatchThePublishedColours) {
    struct Stop {
        WaterfallColours map;
        int index;
        std::uint32_t colour;
    };
    const Stop stops[] = {
        {WaterfallColours::Viridis, 0, win(0x44, 0x01, 0x54)},
        {WaterfallColours::Viridis, 64, win(0x3B, 0x52, 0x8B)},
        {WaterfallColours::Viridis, 128, win(0x21, 0x91, 0x8C)},
        {WaterfallColours::Viridis, 192, win(0x5E, 0xC9, 0x62)},
        {WaterfallColours::Viridis, 255, win(0xFD, 0xE7, 0x25)},
        {WaterfallColours::Inferno, 0, win(0x00, 0x00, 0x04)},
        {WaterfallColours::Inferno, 64, win(0x57, 0x10, 0x6E)},
        {WaterfallColours::Inferno, 128, win(0xBC, 0x37, 0x54)},
        {WaterfallColours::Inferno, 192, win(0xF9, 0x8E, 0x09)},
        {WaterfallColours::Inferno, 255, win(0xFC, 0xFF, 0xA4)},
        {WaterfallColours::Turbo, 0, win(0x30, 0x12, 0x3B)},
        {WaterfallColours::Turbo, 64, win(0x28, 0xBC, 0xEB)},
        {WaterfallColours::Turbo, 128, win(0xA4, 0xFC, 0x3C)},
        {WaterfallColours::Turbo, 192, win(0xFB, 0x7E, 0x21)},
        {WaterfallColours::Turbo, 255, win(0x7A, 0x04, 0x03)},
    };
    for (const Stop &s : stops) {
        const std::string what = WaterfallColoursText(s.map).toStdString() + "[" + std::to_string(s.index) + "]";
        expectNear(ColourMapTable(s.map)[s.index], s.colour, 2, what.c_str());
    }
    const ColourTable &grey = ColourMapTable(WaterfallColours::Grey);
    EXPECT_EQ(grey[0], win(0, 0, 0));
    EXPECT_EQ(grey[255], win(255, 255, 255));
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t g = grey[i];
        ASSERT_TRUE(red(g) == green(g) && green(g) == blue(g)) << i; // no tint
    }
}

// Viridis, inferno and grey get lighter from the weakest to the strongest level. Eight-bit
// rounding may dip L* by a few hundredths between neighbours (the published viridis does), far
// below what shows; anything more is a fault in the table.
TEST(WaterfallColourMaps, LightnessRisesAlongViridisInfernoAndGrey) {
    for (WaterfallColours map : {WaterfallColours::Viridis, WaterfallColours::Inferno, WaterfallColours::Grey}) {
        const ColourTable &t = ColourMapTable(map);
        const std::string name = WaterfallColoursText(map).toStdString();
        double highest = lightness(t[0]);
        for (int i = 1; i < 256; ++i) {
            const double l = lightness(t[i]);
            EXPECT_GE(l, highest - 0.05) << name << " at " << i;
            highest = std::max(highest, l);
        }
        EXPECT_GT(lightness(t[255]) - lightness(t[0]), 70.0) << name;
        // Steady too: every sixteenth of the table is lighter than the one before.
        for (int i = 16; i < 256; i += 16)
            EXPECT_GT(lightness(t[i]), lightness(t[i - 16]) + 2.0) << name << " at " << i;
    }
}

TEST(WaterfallSettingsText, NamesRoundTripAndUnknownTextIsRefused) {
    const std::pair<WaterfallLevels, const char *> levels[] = {
        {WaterfallLevels::Sweep, "Sweep"}, {WaterfallLevels::Fixed, "Fixed"}, {WaterfallLevels::Auto, "Auto"}};
    for (const auto &[mode, text] : levels) {
        EXPECT_EQ(WaterfallLevelsText(mode), QString::fromLatin1(text));
        EXPECT_EQ(ParseWaterfallLevels(WaterfallLevelsText(mode)), mode) << text;
        EXPECT_EQ(ParseWaterfallLevels(QString::fromLatin1(text).toUpper()), mode) << text;
    }
    const std::pair<WaterfallColours, const char *> maps[] = {{WaterfallColours::Ramp, "Ramp"},
                                                              {WaterfallColours::Turbo, "Turbo"},
                                                              {WaterfallColours::Viridis, "Viridis"},
                                                              {WaterfallColours::Inferno, "Inferno"},
                                                              {WaterfallColours::Grey, "Grey"}};
    for (const auto &[map, text] : maps) {
        EXPECT_EQ(WaterfallColoursText(map), QString::fromLatin1(text));
        EXPECT_EQ(ParseWaterfallColours(WaterfallColoursText(map)), map) << text;
        EXPECT_EQ(ParseWaterfallColours(QString::fromLatin1(text).toLower()), map) << text;
    }
    EXPECT_EQ(ParseWaterfallLevels(u" auto\t"), WaterfallLevels::Auto);
    EXPECT_EQ(ParseWaterfallColours(u" Viridis "), WaterfallColours::Viridis);
    for (const char16_t *bad : {u"", u" ", u"Automatic", u"Swee", u"Fixed 0", u"Ramp", u"Grey"})
        EXPECT_FALSE(ParseWaterfallLevels(bad).has_value()) << QString::fromUtf16(bad).toStdString();
    for (const char16_t *bad : {u"", u"Gray", u"Viridis2", u"Inferno Turbo", u"Auto", u"Rampe", u"jet"})
        EXPECT_FALSE(ParseWaterfallColours(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

// Fixed: minDb takes the weakest colour and maxDb the strongest, levels beyond them the end
// colours; NaN and -inf are the weakest, +inf the strongest. The new row in the 16-bit buffer
// shows the same colours.
TEST(WaterfallLevels, FixedRangeClipsBothEndsAndMapsLevelsBetween) {
    app();
    TWaterfall w(QSize(10, 4));
    ASSERT_TRUE(w.SetLevels(WaterfallLevels::Fixed, -80.0, -20.0));
    w.SetColours(WaterfallColours::Grey);
    // Ten bins drawn (one per pixel) and the last, undrawn.
    const std::vector<double> y = {-100.0, -80.0, -65.0, -50.0, -20.0, 0.0, kNaN, kInf, -kInf, -35.0, -50.0};
    ASSERT_TRUE(add(w, y));
    // Grey level = round(255 * (level + 80) / 60), clipped.
    const int want[] = {0, 0, 64, 128, 255, 255, 0, 255, 0, 191};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(linePixel(w.waterfallLineScaled, x), win(want[x], want[x], want[x])) << x;
        EXPECT_EQ(w.waterfallBuffer.pixel(x, 0), in16(win(want[x], want[x], want[x]))) << x;
    }

    // Another map takes the same places in its own table.
    w.SetColours(WaterfallColours::Viridis);
    ASSERT_TRUE(add(w, y));
    const ColourTable &viridis = ColourMapTable(WaterfallColours::Viridis);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(linePixel(w.waterfallLineScaled, x), viridis[want[x]]) << x;

    // The ramp: the two chosen colours at the ends, RampColor's between (navy to lime).
    w.SetColours(WaterfallColours::Ramp);
    ASSERT_TRUE(add(w, y));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 0), win(0, 0, 128));  // below: navy
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 3), win(0, 127, 64)); // half-way
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 5), win(0, 255, 0));  // above: lime
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 6), win(0, 0, 128));  // NaN
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 7), win(0, 255, 0));  // +inf
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 8), win(0, 0, 128));  // -inf
}

// Shrinking bins onto pixels keeps each share's strongest bin in every mode; a NaN bin hides no
// carrier, and a share of nothing but NaN is the weakest colour.
TEST(WaterfallLevels, NaNBinsHideNoCarrierWhenShrinking) {
    app();
    TWaterfall w(QSize(100, 4));
    ASSERT_TRUE(w.SetLevels(WaterfallLevels::Fixed, -80.0, -20.0));
    w.SetColours(WaterfallColours::Grey);
    std::vector<double> y(1001, -80.0); // ten bins a pixel
    y[500] = kNaN;                      // first bin of pixel 50, whose carrier is further on
    y[505] = -20.0;
    for (int i = 700; i < 710; ++i) // pixel 70: all NaN
        y[i] = kNaN;
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), 505, 0, 0, 0));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 50), win(255, 255, 255));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 70), win(0, 0, 0));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 10), win(0, 0, 0));
}

TEST(WaterfallLevels, BadFixedRangesAreRefusedAndThePreviousOnesKept) {
    app();
    TWaterfall w(QSize(4, 2));
    EXPECT_TRUE(w.SetLevels(WaterfallLevels::Fixed, -80.0, -20.0));
    const std::pair<double, double> bad[] = {{-20.0, -80.0}, {-50.0, -50.0}, {kNaN, 0.0},    {-80.0, kNaN},
                                             {-kInf, 0.0},   {-80.0, kInf},  {-1e308, 1e308}};
    for (const auto &[lo, hi] : bad) {
        EXPECT_FALSE(w.SetLevels(WaterfallLevels::Fixed, lo, hi)) << lo << " " << hi;
        EXPECT_EQ(w.FixedLevels(), std::make_pair(-80.0, -20.0)) << lo << " " << hi;
    }
    EXPECT_EQ(w.Levels(), WaterfallLevels::Fixed);
    // Still drawn on -80 .. -20: -50 dB is half-way.
    w.SetColours(WaterfallColours::Grey);
    ASSERT_TRUE(add(w, {-50.0, -50.0, -90.0, -10.0, 0.0}));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 0), win(128, 128, 128));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 2), win(0, 0, 0));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 3), win(255, 255, 255));
}

// Sweep with a colour map places each bin between the sweep's own extremes; a flat sweep (or any
// flat range) is the strongest colour, as the default ramp draws it.
TEST(WaterfallLevels, SweepLevelsWithAMapUseTheSweepsOwnExtremes) {
    app();
    TWaterfall w(QSize(5, 3));
    w.SetColours(WaterfallColours::Inferno);
    const ColourTable &inferno = ColourMapTable(WaterfallColours::Inferno);
    ASSERT_TRUE(add(w, {10.0, 70.0, 40.0, 25.0, 55.0, 0.0}));
    // The undrawn last bin is the sweep's weakest, 0: the ramp runs 0 .. 70.
    const int want[] = {36, 255, 146, 91, 200}; // round(255 * level / 70)
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(linePixel(w.waterfallLineScaled, x), inferno[want[x]]) << x;
    ASSERT_TRUE(add(w, {-60.0, -60.0, -60.0, -60.0, -60.0, -60.0}));
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(linePixel(w.waterfallLineScaled, x), inferno[255]) << x;
}

// Sweep with the ramp draws exactly as before, even after other modes and maps were used: the
// same rows as a waterfall never switched, down to a NaN bin (which the default ramp draws in the
// strongest colour). Fixed at a sweep's own extremes draws that sweep as the default does.
TEST(WaterfallLevels, DefaultDrawingIsUnchanged) {
    app();
    TWaterfall fresh(QSize(64, 6)), used(QSize(64, 6)), fixed(QSize(64, 6));
    used.SetLevels(WaterfallLevels::Auto, 0, 1);
    used.SetColours(WaterfallColours::Turbo);
    ASSERT_TRUE(add(used, evenly(64, -90.0, 1.0)));
    used.SetLevels(WaterfallLevels::Sweep, 0, 1);
    used.SetColours(WaterfallColours::Ramp);
    fresh.Clear();
    used.Clear();
    std::vector<std::vector<double>> sweeps = {evenly(64, -90.0, 1.0), evenly(200, -30.0, -0.2), evenly(20, 5.0, 1.5)};
    sweeps[0][10] = kNaN;
    for (const auto &y : sweeps) {
        ASSERT_TRUE(add(fresh, y, 0x102030, 0xF0E0D0));
        ASSERT_TRUE(add(used, y, 0x102030, 0xF0E0D0));
    }
    EXPECT_EQ(used.waterfallBuffer, fresh.waterfallBuffer);
    EXPECT_EQ(fresh.waterfallBuffer.pixel(10, 2), in16(0xF0E0D0)); // the NaN bin

    fresh.Clear();
    for (std::size_t k = 1; k < sweeps.size(); ++k) {
        const auto &y = sweeps[k];
        ASSERT_TRUE(add(fresh, y, 0x102030, 0xF0E0D0));
        const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
        ASSERT_TRUE(fixed.SetLevels(WaterfallLevels::Fixed, *lo, *hi));
        ASSERT_TRUE(add(fixed, y, 0x102030, 0xF0E0D0));
        EXPECT_EQ(fixed.waterfallLineScaled, fresh.waterfallLineScaled) << k;
    }
}

// Auto: the range is the 5th to the 99.5th percentile of the levels in the rows shown. The first
// row sets it from its own levels at once; after that it is renewed only when a row comes a
// second or more after the last renewal, and rows already drawn keep their colours.
TEST(WaterfallAutoLevels, RangeIsPercentilesOfTheRowsShownRenewedOnceASecond) {
    app();
    TWaterfall w(QSize(1000, 20));
    qint64 now = 0;
    w.clockMs = [&] { return now; };
    EXPECT_FALSE(w.SetLevels(WaterfallLevels::Auto, 0, 0)); // Fixed's levels refused, the mode set
    EXPECT_EQ(w.Levels(), WaterfallLevels::Auto);
    w.SetColours(WaterfallColours::Grey);
    EXPECT_FALSE(w.AutoRange().has_value());

    // Ten rows that together hold 10,000 levels spread evenly over -100 .. 0 dB, 0.01 dB apart;
    // each alone is the same spread 0.1 dB apart.
    auto row = [](int r) { return evenly(1000, -100.0 + 0.01 * r, 0.1); };
    ASSERT_TRUE(add(w, row(0)));
    ASSERT_TRUE(w.AutoRange().has_value());
    const auto first = *w.AutoRange();
    const double bucket = TLevelHistory::kBucketDb;
    EXPECT_NEAR(first.first, -95.0, 0.1 + bucket);
    EXPECT_NEAR(first.second, -0.5, 0.1 + bucket);
    const QImage firstRow = w.waterfallBuffer.copy(0, 0, 1000, 1);
    // Below the 5th percentile: the weakest; above the 99.5th: the strongest.
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 10), win(0, 0, 0));
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 997), win(255, 255, 255));

    for (int r = 1; r < 10; ++r) {
        now = r == 9 ? 999 : 500;
        ASSERT_TRUE(add(w, row(r)));
        EXPECT_EQ(*w.AutoRange(), first) << r; // not a second yet
    }
    // A second on: a row of no levels (NaN, the weakest colour) brings the renewal.
    now = 1000;
    ASSERT_TRUE(add(w, std::vector<double>(1001, kNaN)));
    const auto all = *w.AutoRange();
    EXPECT_NEAR(all.first, -95.0, 0.01 + bucket);
    EXPECT_NEAR(all.second, -0.5, 0.01 + bucket);
    EXPECT_NE(all, first);
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 500), win(0, 0, 0));
    // The first row, ten rows down now, kept its colours.
    EXPECT_EQ(w.waterfallBuffer.copy(0, 10, 1000, 1), firstRow);

    // Rows of a louder band move the range only at the next second.
    now = 1500;
    ASSERT_TRUE(add(w, evenly(1000, -40.0, 0.02)));
    EXPECT_EQ(*w.AutoRange(), all);
    // The row is drawn on the range in force: -30 dB (pixel 500) at its place there.
    const int want = static_cast<int>(255 * (-30.0 - all.first) / (all.second - all.first) + 0.5);
    EXPECT_NEAR(red(linePixel(w.waterfallLineScaled, 500)), want, 1);
    now = 2000;
    ASSERT_TRUE(add(w, evenly(1000, -40.0, 0.02)));
    EXPECT_GT(w.AutoRange()->first, all.first + 0.5); // 2,000 more levels above the old 5th percentile
}

// The auto history holds the rows the buffer shows: rows pushed out at the bottom (or cut off by
// a lower buffer) leave it, a single-bin sweep's repeated row joins it again, and a clear or a
// new width starts it afresh, the next row taking its own range at once.
TEST(WaterfallAutoLevels, HistoryFollowsTheRowsShown) {
    app();
    TWaterfall w(QSize(100, 4));
    TImage img;
    img.resize(100, 4);
    w.SetImage(&img);
    w.Resize();
    qint64 now = 0;
    w.clockMs = [&] { return now; };
    w.SetLevels(WaterfallLevels::Auto, 0, 0);
    // Rows of 100 levels 0.1 dB apart: percentiles within that and a bucket of the true ones.
    const auto quiet = evenly(100, -70.0, 0.1), loud = evenly(100, -20.0, 0.1); // -70 .. -60.1, -20 .. -10.1
    const std::vector<double> none(101, kNaN), one = {-5.0};
    const double tolerance = 0.1 + TLevelHistory::kBucketDb;
    ASSERT_TRUE(add(w, quiet));
    now = 1000;
    ASSERT_TRUE(add(w, loud));                           // history: quiet, loud
    EXPECT_NEAR(w.AutoRange()->first, -69.0, tolerance); // quiet's 10th percentile
    // Three repeats of the loud row fill the buffer and push the quiet one out.
    for (int k = 0; k < 3; ++k)
        EXPECT_FALSE(add(w, one));
    now = 2000;
    ASSERT_TRUE(add(w, none)); // no levels of its own
    EXPECT_NEAR(w.AutoRange()->first, -19.5, tolerance);
    EXPECT_NEAR(w.AutoRange()->second, -10.1, tolerance);

    // Two quiet and two loud rows: a buffer cut to two rows keeps the loud ones only.
    for (const auto *y : {&quiet, &quiet, &loud, &loud})
        ASSERT_TRUE(add(w, *y));
    img.resize(100, 2);
    w.Resize();
    now = 3000;
    ASSERT_TRUE(add(w, loud));
    EXPECT_NEAR(w.AutoRange()->first, -19.5, tolerance);
    // A taller buffer keeps them and takes more.
    img.resize(100, 4);
    w.Resize();
    ASSERT_TRUE(add(w, quiet));
    now = 4000;
    ASSERT_TRUE(add(w, quiet));
    EXPECT_NEAR(w.AutoRange()->first, -69.0, tolerance); // two loud, two quiet rows

    // Cleared: no range until the next row, which takes its own at once, within the second.
    w.Clear();
    EXPECT_FALSE(w.AutoRange().has_value());
    ASSERT_TRUE(add(w, loud));
    EXPECT_NEAR(w.AutoRange()->first, -19.5, tolerance);
    // A new height keeps the history, a new width drops it.
    img.resize(100, 2);
    w.Resize();
    EXPECT_TRUE(w.AutoRange().has_value());
    img.resize(80, 2);
    w.Resize();
    EXPECT_FALSE(w.AutoRange().has_value());
    ASSERT_TRUE(add(w, quiet));
    EXPECT_NEAR(w.AutoRange()->first, -69.5, tolerance);
    // Leaving Auto and coming back starts afresh too.
    w.SetLevels(WaterfallLevels::Fixed, -80, 0);
    w.SetLevels(WaterfallLevels::Auto, -80, 0);
    EXPECT_FALSE(w.AutoRange().has_value());
}

// The history counts each pixel's level as drawn, not the bins: with ten bins a pixel and one
// strong bin in each share, every pixel shows the strong level and the range is flat there,
// drawn in the strongest colour.
TEST(WaterfallAutoLevels, CountsEachPixelAsDrawn) {
    app();
    TWaterfall w(QSize(50, 4));
    qint64 now = 0;
    w.clockMs = [&] { return now; };
    w.SetLevels(WaterfallLevels::Auto, 0, 0);
    w.SetColours(WaterfallColours::Viridis);
    std::vector<double> y(501, -80.0);
    for (std::size_t i = 3; i < 500; i += 10)
        y[i] = -30.0;
    ASSERT_TRUE(w.AddLine(y.data(), y.size(), 3, 0, 0, 0));
    const auto range = *w.AutoRange();
    EXPECT_NEAR(range.first, -30.0, TLevelHistory::kBucketDb);
    EXPECT_EQ(range.first, range.second);
    for (int x = 0; x < 50; ++x)
        EXPECT_EQ(linePixel(w.waterfallLineScaled, x), ColourMapTable(WaterfallColours::Viridis)[255]) << x;

    // Fewer bins than pixels: each bin counts once for every pixel it covers. Three bins over
    // 50 pixels, about 17 each: the 99.5th percentile is the strongest bin's level (counting
    // the bins, it would be the middle one's).
    const std::vector<double> few = {-90.0, -40.0, -10.0, -10.0};
    w.Clear();
    ASSERT_TRUE(add(w, few));
    EXPECT_NEAR(w.AutoRange()->first, -90.0, TLevelHistory::kBucketDb);
    EXPECT_NEAR(w.AutoRange()->second, -10.0, TLevelHistory::kBucketDb);
    const ColourTable &viridis = ColourMapTable(WaterfallColours::Viridis);
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 0), viridis[0]);
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 25), viridis[159]); // round(255 * 50 / 80)
    EXPECT_EQ(linePixel(w.waterfallLineScaled, 49), viridis[255]);
    EXPECT_EQ(linePixel(w.waterfallLine, 1), viridis[159]); // the bins' own line too
}
