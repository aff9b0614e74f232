// Max and min hold and persistence, on their own: per-bin extremes with NaN bins, the levels kept
// in the series without a copy (and not lost when something else reads them), and the kept
// traces' order and storage.
#include "display/trace_hold.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace sky;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void fill(TLineSeries &trace, const std::vector<double> &y, double first = 100e6) {
    std::vector<double> x(y.size()), levels = y;
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = first + 1000.0 * static_cast<double>(i);
    trace.XValues().SetOrder(loAscending);
    trace.AdoptPoints(x, levels, clRed);
}

std::vector<double> levelsOf(const TChartSeries &s) {
    std::vector<double> out;
    for (int i = 0; i < s.PointCount(); ++i)
        out.push_back(s.YValue(i));
    return out;
}

} // namespace

TEST(HeldTrace, HoldsEachBinsExtremeAndANaNNeverHoldsOne) {
    TLineSeries trace;
    THeldTrace high(THeldTrace::Kind::Highest), low(THeldTrace::Kind::Lowest);
    auto feed = [&](const std::vector<double> &y) {
        fill(trace, y);
        high.Update(trace, clYellow);
        low.Update(trace, clGreen);
    };
    feed({-50, kNaN, -40, -30});
    feed({-60, -20, kNaN, -35});
    feed({-55, -25, -45, kNaN});
    const std::vector<double> h = levelsOf(high.Series()), l = levelsOf(low.Series());
    EXPECT_EQ(h, (std::vector<double>{-50, -20, -40, -30}));
    EXPECT_EQ(l, (std::vector<double>{-60, -25, -45, -35}));
    EXPECT_EQ(high.Series().SeriesColor(), clYellow);
    // The held series reads its frequencies from the trace and knows its extremes.
    EXPECT_TRUE(high.Series().XValues().SharesStorageWith(trace.XValues()));
    EXPECT_EQ(high.Series().YValues().Highest(), -20);
    EXPECT_EQ(low.Series().YValues().Lowest(), -60);

    // Another layout starts afresh; Restart too.
    fill(trace, {-1, -2, -3}, 200e6);
    high.Update(trace, clYellow);
    EXPECT_EQ(levelsOf(high.Series()), (std::vector<double>{-1, -2, -3}));
    high.Restart();
    EXPECT_EQ(high.Series().PointCount(), 0);
    fill(trace, {-9, -8, -7}, 200e6);
    high.Update(trace, clYellow);
    EXPECT_EQ(levelsOf(high.Series()), (std::vector<double>{-9, -8, -7}));
}

TEST(HeldTrace, LevelsReadElsewhereAreNotLost) {
    // A copy of the held series (as a print of the chart makes) shares its levels: the next
    // update must still start from them, and the copy must keep what it showed.
    TLineSeries trace;
    THeldTrace high(THeldTrace::Kind::Highest);
    fill(trace, {-50, -10, -40});
    high.Update(trace, clYellow);
    TFastLineSeries copy;
    copy.CopyFrom(high.Series());
    ASSERT_TRUE(copy.YValues().SharesStorageWith(high.Series().YValues()));
    fill(trace, {-20, -30, -60});
    high.Update(trace, clYellow);
    EXPECT_EQ(levelsOf(high.Series()), (std::vector<double>{-20, -10, -40}));
    EXPECT_EQ(levelsOf(copy), (std::vector<double>{-50, -10, -40}));
}

TEST(TracePersistence, KeepsTheNewestTracesAndReusesTheOldest) {
    TLineSeries trace;
    TTracePersistence p;
    p.SetDepth(2);
    for (int s = 0; s < 4; ++s) {
        fill(trace, {-50.0 - s, -60.0 - s});
        if (s > 0)
            p.Follow(trace, clRed);
        p.Push(trace);
    }
    fill(trace, {-90, -90});
    p.Follow(trace, clRed);
    ASSERT_EQ(p.Series().size(), 2u);
    EXPECT_EQ(levelsOf(*p.Series()[0]), (std::vector<double>{-53, -63})); // newest first
    EXPECT_EQ(levelsOf(*p.Series()[1]), (std::vector<double>{-52, -62}));
    // Their frequencies are read from the trace shown now, in fading shades of its colour.
    for (const auto &s : p.Series())
        EXPECT_TRUE(s->XValues().SharesStorageWith(trace.XValues()));
    EXPECT_GT(ColorToQColor(p.Series()[0]->SeriesColor()).red(), ColorToQColor(p.Series()[1]->SeriesColor()).red());
    EXPECT_LT(ColorToQColor(p.Series()[0]->SeriesColor()).red(), 255);
    for (int depth : {1, 5, 20})
        for (int k = 0; k + 1 < depth; ++k)
            EXPECT_GE(ColorToQColor(TTracePersistence::Shade(clWhite, k, depth)).lightness(),
                      ColorToQColor(TTracePersistence::Shade(clWhite, k + 1, depth)).lightness());

    // A shallower depth drops the oldest; another layout drops them all.
    p.SetDepth(1);
    ASSERT_EQ(p.Series().size(), 1u);
    EXPECT_EQ(levelsOf(*p.Series()[0]), (std::vector<double>{-53, -63}));
    fill(trace, {-1, -1, -1});
    p.Follow(trace, clRed);
    EXPECT_TRUE(p.Series().empty());
}
