// Averaging sweeps in power: against the same average computed directly in double precision with
// the library's pow and log10, through layout changes, odd levels and the whole ingest.
#include "scan/sweep_ingest.h"
#include "scan/trace_average.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace sky;

namespace {

constexpr double kTolDb = 0.001;

// The average as the user expects it: the k-th sweep weighs 1/min(k, N) in linear power.
struct DirectAverage {
    int count;
    int sweeps = 0;
    std::vector<double> power;

    std::vector<double> add(const std::vector<double> &db) {
        if (sweeps == 0)
            power.assign(db.size(), 0);
        sweeps = std::min(sweeps + 1, count);
        const double w = 1.0 / sweeps;
        std::vector<double> out(db.size());
        for (std::size_t i = 0; i < db.size(); ++i) {
            const double p = std::pow(10.0, db[i] / 10);
            if (!std::isnan(p) || sweeps == 1) // a NaN level leaves the bin's average as it was
                power[i] = sweeps == 1 ? p : power[i] + w * (p - power[i]);
            out[i] = 10 * std::log10(power[i]);
        }
        return out;
    }
};

std::vector<double> range(std::size_t n, double first, double step) {
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = first + step * static_cast<double>(i);
    return x;
}

} // namespace

TEST(TraceAverage, MatchesTheDirectPowerAverageOnRandomSweeps) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(-80, 6);
    for (int count : {2, 3, 10, 100}) {
        SCOPED_TRACE(count);
        TTraceAverage avg;
        avg.SetCount(count);
        DirectAverage direct{count, 0, {}};
        const std::vector<double> x = range(1003, 88e6, 1000); // an odd length: the vector loop's tail
        // long enough for the held average's rounding to show if it added up
        const int sweeps = count == 100 ? 800 : 130;
        for (int sweep = 0; sweep < sweeps; ++sweep) {
            std::vector<double> y(x.size());
            for (double &v : y)
                v = noise(rng);
            y[500] = -5 + sweep % 3; // a carrier
            // Now and then a block needs the careful route while the others around it do not.
            if (sweep % 7 == 3)
                y[700] = std::numeric_limits<double>::quiet_NaN();
            if (sweep % 11 == 5)
                y[40] = -400; // beyond float's powers: counts as no power
            const std::vector<double> want = direct.add(y);
            ASSERT_TRUE(avg.Apply(x.data(), y.data(), y.size()));
            for (std::size_t i = 0; i < y.size(); ++i)
                ASSERT_NEAR(y[i], want[i], kTolDb) << "sweep " << sweep << " bin " << i;
        }
        EXPECT_EQ(avg.Sweeps(), count);
    }
}

TEST(TraceAverage, ConvertsEveryLevelFaithfully) {
    // One sweep is its own average: levels come back as they went in, over the whole range a
    // file can hold, including the odd ones.
    TTraceAverage avg;
    avg.SetCount(10);
    std::vector<double> y;
    for (double db = -370; db <= 380; db += 0.37)
        y.push_back(db);
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    y.insert(y.end(), {-inf, inf, nan, 0.0, -0.0, 1e-9});
    const std::vector<double> in = y;
    const std::vector<double> x = range(y.size(), 1e6, 1);
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), y.size()));
    for (std::size_t i = 0; i < y.size(); ++i) {
        if (std::isnan(in[i]))
            EXPECT_TRUE(std::isnan(y[i])) << i;
        else if (std::isinf(in[i]))
            EXPECT_EQ(y[i], in[i]) << i;
        else
            EXPECT_NEAR(y[i], in[i], kTolDb) << "level " << in[i];
    }
}

TEST(TraceAverage, OddBinsAndLayoutChanges) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    TTraceAverage avg;
    avg.SetCount(4);
    const std::vector<double> x = range(4, 100e6, 1e3);
    std::vector<double> y{-50, -inf, nan, -20};
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), 4));
    y = {-60, -30, -40, inf};
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), 4));
    // The mean of two powers; -inf is no power at all; a NaN bin takes the next real level; +inf stays.
    EXPECT_NEAR(y[0], 10 * std::log10((1e-5 + 1e-6) / 2), kTolDb);
    EXPECT_NEAR(y[1], 10 * std::log10(1e-3 / 2), kTolDb);
    EXPECT_NEAR(y[2], -40, kTolDb);
    EXPECT_EQ(y[3], inf);
    y = {-60, -30, nan, -20};
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), 4));
    EXPECT_NEAR(y[2], -40, kTolDb) << "a NaN leaves the bin's average as it was";
    EXPECT_EQ(y[3], inf);

    // Another range, another bin count: each starts afresh.
    const std::vector<double> moved = range(4, 101e6, 1e3);
    y = {-10, -10, -10, -10};
    ASSERT_TRUE(avg.Apply(moved.data(), y.data(), 4));
    EXPECT_NEAR(y[0], -10, kTolDb);
    EXPECT_EQ(avg.Sweeps(), 1);
    const std::vector<double> five = range(5, 101e6, 1e3);
    std::vector<double> y5{-30, -30, -30, -30, -30};
    ASSERT_TRUE(avg.Apply(five.data(), y5.data(), 5));
    EXPECT_NEAR(y5[0], -30, kTolDb);
    EXPECT_EQ(avg.Sweeps(), 1);

    // A new count starts afresh too; off leaves the levels alone and holds nothing.
    y5 = {-20, -20, -20, -20, -20};
    avg.SetCount(7);
    ASSERT_TRUE(avg.Apply(five.data(), y5.data(), 5));
    EXPECT_NEAR(y5[0], -20, kTolDb);
    avg.SetCount(0);
    y5 = {-1, -2, -3, -4, -5};
    EXPECT_FALSE(avg.Apply(five.data(), y5.data(), 5));
    EXPECT_EQ(y5[4], -5);
    EXPECT_EQ(avg.Sweeps(), 0);
    // Counts outside 2..100 are brought inside.
    avg.SetCount(1);
    EXPECT_EQ(avg.Count(), 2);
    avg.SetCount(1000);
    EXPECT_EQ(avg.Count(), 100);
}

TEST(TraceAverage, IngestAnalysesTheAveragedTrace) {
    // Two sweeps whose strongest bins differ: with averaging the strongest bin, the noise level
    // and the peaks are those of the average.
    auto file = [](double a, double b) {
        std::string text = "2024-01-01, 00:00:00, 100000000, 100008000, 1000.00, 1, ";
        const double levels[] = {-80, -80, -80, a, -80, -80, b, -80};
        for (int i = 0; i < 8; ++i)
            text += (i ? ", " : "") + std::to_string(levels[i]);
        return text + "\n";
    };
    TTraceAverage avg;
    avg.SetCount(2);
    SweepFindings f;
    IngestSweep(file(-10, -30), true, f, &avg);
    ASSERT_TRUE(f.Complete());
    EXPECT_TRUE(f.averaged);
    EXPECT_EQ(f.maxIndex, 3u);
    ASSERT_TRUE(avg.Commit(f.average, f.data.y.data()));
    IngestSweep(file(-40, -12), true, f, &avg);
    ASSERT_TRUE(f.Complete());
    EXPECT_EQ(f.maxIndex, 3u) << "the average still has bin 3 strongest";
    EXPECT_NEAR(f.data.y[3], 10 * std::log10((0.1 + 1e-4) / 2), kTolDb);
    EXPECT_NEAR(f.data.y[6], 10 * std::log10((1e-3 + std::pow(10.0, -1.2)) / 2), kTolDb);
    ASSERT_EQ(f.peakCount, 2u);
    EXPECT_EQ(f.peakY[0], f.data.y[3]);
    EXPECT_EQ(f.peakY[1], f.data.y[6]);

    // A cut file is not averaged.
    const int before = avg.Sweeps();
    IngestSweep("2024-01-01, 00:00:00, 100000000, 100008000, 1000.00, 1, -1, -1, x\n", true, f, &avg);
    EXPECT_FALSE(f.averaged);
    EXPECT_EQ(avg.Sweeps(), before);
}

TEST(TraceAverage, ASweepReadAheadCountsOnlyOnceItIsTaken) {
    const std::vector<double> x = range(3, 50e6, 1e3);
    TTraceAverage avg;
    avg.SetCount(4);
    std::vector<double> y{-10, -10, -10};
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), 3));
    // Read ahead, then dropped: the average is as it was.
    TTraceAverage::Pending dropped;
    std::vector<double> z{-40, -40, -40};
    ASSERT_TRUE(avg.Prepare(x.data(), z.data(), 3, dropped));
    EXPECT_NEAR(z[0], 10 * std::log10((0.1 + 1e-4) / 2), kTolDb); // the levels it would show
    EXPECT_EQ(avg.Sweeps(), 1);
    y = {-10, -10, -10};
    ASSERT_TRUE(avg.Apply(x.data(), y.data(), 3));
    EXPECT_NEAR(y[0], -10, kTolDb) << "the dropped sweep left no trace";
    // Read ahead before another sweep was taken, or before a new count: refused, nothing changes.
    EXPECT_FALSE(avg.Commit(dropped, z.data()));
    TTraceAverage::Pending late;
    z = {-40, -40, -40};
    ASSERT_TRUE(avg.Prepare(x.data(), z.data(), 3, late));
    avg.SetCount(5);
    EXPECT_FALSE(avg.Commit(late, z.data()));
    EXPECT_EQ(avg.Sweeps(), 0);
    // Taken in time: it counts.
    TTraceAverage::Pending taken;
    z = {-20, -20, -20};
    ASSERT_TRUE(avg.Prepare(x.data(), z.data(), 3, taken));
    ASSERT_TRUE(avg.Commit(taken, z.data()));
    EXPECT_EQ(avg.Sweeps(), 1);
}
