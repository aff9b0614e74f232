// Ordering the points of a sweep: the one-pass merge of hops gives exactly what a stable sort by
// frequency gives, for files in hop order (with overlaps and equal frequencies) and for files
// that are not.
#include "scan/sweep_ingest.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace sky;

namespace {

void stableSorted(const std::vector<double> &x, const std::vector<double> &y, std::vector<double> &sx,
                  std::vector<double> &sy) {
    std::vector<std::size_t> order(x.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
    sx.clear();
    sy.clear();
    for (std::size_t i : order) {
        sx.push_back(x[i]);
        sy.push_back(y[i]);
    }
}

// Hops of `bins` points from `low` in `step`s; each level is unique, so the order of equal
// frequencies shows.
void addHop(std::vector<double> &x, std::vector<double> &y, double low, double step, int bins) {
    for (int i = 0; i < bins; ++i) {
        x.push_back(low + step * i);
        y.push_back(static_cast<double>(y.size()));
    }
}

} // namespace

TEST(SweepOrder, MergeGivesTheStableSortForEveryKindOfFile) {
    std::mt19937 rng(7);
    SweepFindings f; // reused across every case, as the window reuses it
    for (int round = 0; round < 400; ++round) {
        std::vector<double> x, y;
        const int hops = 1 + static_cast<int>(rng() % 12);
        const int bins = 1 + static_cast<int>(rng() % 40);
        const int kind = static_cast<int>(rng() % 5);
        double low = 1000;
        std::vector<double> lows;
        for (int h = 0; h < hops; ++h) {
            lows.push_back(low);
            // Overlaps of a few bins (0 to 3), exact repeats of frequencies included.
            low += 10.0 * (bins - static_cast<int>(rng() % 4));
        }
        if (kind == 1)
            std::reverse(lows.begin(), lows.end()); // hops in falling order
        if (kind == 2)
            std::shuffle(lows.begin(), lows.end(), rng);
        for (double l : lows)
            addHop(x, y, l, 10.0, bins);
        if (kind == 3) // a hop that starts below the whole sweep
            addHop(x, y, 0, 10.0, bins);
        if (kind == 4 && !x.empty()) // one wild value
            x[rng() % x.size()] = static_cast<double>(rng() % 5000);
        std::vector<double> ex, ey;
        stableSorted(x, y, ex, ey);
        f.data.x = x;
        f.data.y = y;
        OrderByFrequency(f);
        ASSERT_EQ(f.data.x, ex) << "round " << round << " kind " << kind;
        ASSERT_EQ(f.data.y, ey) << "round " << round << " kind " << kind;
    }
}

// The reader tells whether the frequencies came in order (then the ordering has nothing to
// do): exactly when they never fall, for hops of any step (falling, zero, overflowing to
// infinity) in any order, line by line or whole, and a file that fails part-way included.
TEST(SweepOrder, TheReaderKnowsWhenTheFrequenciesCameInOrder) {
    std::mt19937 rng(17);
    const char *steps[] = {"10", "10", "10", "0", "-10", "1e308", "-1e308", "0.1", "1e-300"};
    int inOrder = 0, outOfOrder = 0;
    bool sawInfinity = false;
    SweepFindings f;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        long long low = 1000;
        for (int h = static_cast<int>(rng() % 6); h > 0; --h) {
            low += static_cast<long long>(rng() % 80) - 10 * static_cast<long long>(rng() % 3 == 0);
            text += "d, t, " + std::to_string(low) + ", 0, " + steps[rng() % std::size(steps)] + ", 5";
            for (int k = static_cast<int>(rng() % 6); k > 0; --k)
                text += rng() % 50 == 0 ? ", x" : ", -" + std::to_string(rng() % 90);
            text += rng() % 40 == 0 ? "\n\n" : "\n";
        }
        SweepData whole;
        ParseSweepFile(text, whole);
        ASSERT_EQ(whole.ascending, std::is_sorted(whole.x.begin(), whole.x.end())) << text;
        sawInfinity = sawInfinity || std::any_of(whole.x.begin(), whole.x.end(), [](double v) { return std::isinf(v); });
        (whole.ascending ? inOrder : outOfOrder)++;
        // A line at a time, as a file read in pieces.
        SweepParser parser;
        parser.Begin(f.data, 0);
        std::size_t from = 0;
        while (from < text.size()) {
            const std::size_t end = text.find('\n', from);
            parser.Line(std::string_view(text).substr(from, end - from), f.data);
            from = end + 1;
        }
        parser.End(f.data);
        ASSERT_EQ(f.data.ascending, whole.ascending) << text;
        ASSERT_EQ(f.data.x, whole.x) << text;
        // Ordered, whether the flag let the ordering pass go or not.
        std::vector<double> ex, ey;
        stableSorted(whole.x, whole.y, ex, ey);
        OrderByFrequency(f);
        ASSERT_EQ(f.data.x, ex) << text;
        ASSERT_EQ(f.data.y, ey) << text;
    }
    EXPECT_GT(inOrder, 300);
    EXPECT_GT(outOfOrder, 300);
    EXPECT_TRUE(sawInfinity);
}

// The whole ingest on a CRLF file whose 10 kHz hops overlap by one bin, as rtl_power writes it:
// ascending, every point kept, the overlapping bins in file order.
TEST(SweepOrder, OverlappingHopsOfARealLayout) {
    std::string text;
    for (int hop = 0; hop < 3; ++hop) {
        const long long low = 100000000 + hop * 40000LL;
        text += "2026-12-07, 21:00:00, " + std::to_string(low) + ", " + std::to_string(low + 50000) + ", 10000.00, 8";
        for (int i = 0; i < 5; ++i)
            text += ", -" + std::to_string(50 + hop) + ".0" + std::to_string(i);
        text += "\r\n";
    }
    SweepFindings f;
    IngestSweep(text, true, f);
    ASSERT_TRUE(f.Complete());
    ASSERT_EQ(f.PointCount(), 15u);
    EXPECT_TRUE(std::is_sorted(f.data.x.begin(), f.data.x.end()));
    // 100,040,000 Hz is the last bin of hop 0 and the first of hop 1: hop 0's comes first.
    const auto at = std::find(f.data.x.begin(), f.data.x.end(), 100040000.0) - f.data.x.begin();
    EXPECT_EQ(f.data.y[at], -50.04);
    EXPECT_EQ(f.data.y[at + 1], -51.00);
}
