// Band power against the sum of the bins' linear powers computed directly with the library's pow
// and log10, and the nearest bin against the plain distances.
#include "platform/hundredths.h"
#include "scan/band_power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace sky;

namespace {

constexpr double kTolDb = 1e-6;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> range(std::size_t n, double first, double step) {
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = first + step * static_cast<double>(i);
    return x;
}

// The band power as the user would work it out: every bin between the two frequencies, its level
// turned into linear power and added up, NaN bins left out.
struct Direct {
    double db;
    std::size_t bins;
};
Direct direct(const std::vector<double> &x, const std::vector<double> &y, double hzA, double hzB) {
    const double lo = std::min(hzA, hzB), hi = std::max(hzA, hzB);
    double power = 0;
    std::size_t bins = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i] < lo || x[i] > hi || std::isnan(y[i]))
            continue;
        power += std::pow(10.0, y[i] / 10);
        ++bins;
    }
    return {10 * std::log10(power), bins};
}

} // namespace

TEST(BandPower, MatchesTheDirectSumOnRandomLevels) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(-90, 8);
    std::uniform_real_distribution<double> unit(0, 1);
    const std::vector<double> x = range(5003, 100e6, 1000);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<double> y(x.size());
        for (double &v : y) {
            const double pick = unit(rng);
            v = pick < 0.05 ? -kInf : pick < 0.1 ? kNaN : noise(rng);
        }
        y[rng() % y.size()] = 20 + 10 * unit(rng); // a carrier somewhere
        // Edges anywhere, also off the bins and in either order; widths from one bin to all.
        const double a = 100e6 - 2000 + unit(rng) * 5.01e6;
        const double b = trial % 4 == 0 ? a + unit(rng) * 3000 : 100e6 - 2000 + unit(rng) * 5.01e6;
        const Direct want = direct(x, y, a, b);
        const std::optional<BandPower> got = BandPowerBetween(x.data(), y.data(), x.size(), a, b);
        if (want.bins == 0) {
            EXPECT_FALSE(got.has_value()) << a << " " << b;
            continue;
        }
        ASSERT_TRUE(got.has_value()) << a << " " << b;
        EXPECT_EQ(got->bins, want.bins);
        if (std::isinf(want.db))
            EXPECT_EQ(got->db, want.db);
        else
            EXPECT_NEAR(got->db, want.db, kTolDb);
        const std::optional<BandPower> reversed = BandPowerBetween(x.data(), y.data(), x.size(), b, a);
        ASSERT_TRUE(reversed.has_value());
        EXPECT_EQ(reversed->bins, got->bins);
        EXPECT_EQ(reversed->db, got->db);
    }
}

TEST(BandPower, EveryBandLengthAndPositionOfTheStrongestBin) {
    // Short bands and every position of the strongest bin: the parts of the sum that run four bins
    // at a time and the bins left over must both count.
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(-60, 15);
    const std::vector<double> x = range(40, 1000, 10);
    for (std::size_t len = 1; len <= 13; ++len) {
        for (std::size_t peak = 0; peak < len; ++peak) {
            std::vector<double> y(x.size());
            for (double &v : y)
                v = noise(rng);
            y[7 + peak] = 10;
            const double a = x[7], b = x[7 + len - 1]; // edges exactly on bins: both included
            const Direct want = direct(x, y, a, b);
            const std::optional<BandPower> got = BandPowerBetween(x.data(), y.data(), x.size(), a, b);
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(got->bins, len);
            EXPECT_NEAR(got->db, want.db, kTolDb) << "length " << len << " peak " << peak;
        }
    }
}

TEST(BandPower, OneBinNoBinAndTheEdgesOfTheTrace) {
    const std::vector<double> x = range(10, 1000, 10); // 1000 .. 1090
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < y.size(); ++i)
        y[i] = -50.0 - 3.7 * static_cast<double>(i);

    // Both markers on one bin, or around it: that bin's own level.
    for (const auto &[a, b] : {std::pair{1030.0, 1030.0}, {1026.0, 1034.0}, {1039.9, 1020.1}}) {
        const auto one = BandPowerBetween(x.data(), y.data(), x.size(), a, b);
        ASSERT_TRUE(one.has_value()) << a << " " << b;
        EXPECT_EQ(one->bins, 1u);
        EXPECT_NEAR(one->db, y[3], kTolDb);
    }
    // Between two bins, or off either end of the trace: no bin, no value.
    EXPECT_FALSE(BandPowerBetween(x.data(), y.data(), x.size(), 1031, 1039));
    EXPECT_FALSE(BandPowerBetween(x.data(), y.data(), x.size(), 900, 999.9));
    EXPECT_FALSE(BandPowerBetween(x.data(), y.data(), x.size(), 1090.1, 2000));
    EXPECT_FALSE(BandPowerBetween(x.data(), y.data(), x.size(), kNaN, 1050));
    EXPECT_FALSE(BandPowerBetween(x.data(), y.data(), x.size(), 1050, kNaN));
    // A band wider than the trace: every bin.
    const auto all = BandPowerBetween(x.data(), y.data(), x.size(), -kInf, kInf);
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->bins, x.size());
    EXPECT_NEAR(all->db, direct(x, y, 0, 1e9).db, kTolDb);
}

TEST(BandPower, OddLevels) {
    const std::vector<double> x = range(9, 0, 1);
    const auto band = [&](const std::vector<double> &y) {
        return BandPowerBetween(x.data(), y.data(), x.size(), 2, 6);
    };

    // -inf is a bin with no power: counted, adds nothing.
    std::vector<double> y(9, -kInf);
    y[4] = -37.25;
    auto p = band(y);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bins, 5u);
    EXPECT_NEAR(p->db, -37.25, kTolDb);

    // All -inf: no power at all. All NaN: nothing measured, no value.
    y.assign(9, -kInf);
    p = band(y);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bins, 5u);
    EXPECT_EQ(p->db, -kInf);
    y.assign(9, kNaN);
    EXPECT_FALSE(band(y));

    // NaN bins are left out of the sum and the count; -inf and NaN together.
    y = {0, 0, kNaN, -kInf, -10, kNaN, -10, 0, 0};
    p = band(y);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bins, 3u);
    EXPECT_NEAR(p->db, -10 + 10 * std::log10(2.0), kTolDb);

    // An infinite level makes an infinite band.
    y = {0, 0, -5, kInf, kNaN, -kInf, -5, 0, 0};
    p = band(y);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->db, kInf);
    EXPECT_EQ(p->bins, 4u);
}

TEST(BandPower, LevelsFarFromZeroDb) {
    // N equal bins at L add up to L + 10 log10(N), wherever L is: also where 10^(L/10) itself
    // overflows or underflows a double.
    const std::vector<double> x = range(1000, 0, 1);
    for (double level : {30.0, -200.0, -3500.0, 3500.0}) {
        const std::vector<double> y(x.size(), level);
        const auto p = BandPowerBetween(x.data(), y.data(), x.size(), 0, 999);
        ASSERT_TRUE(p) << level;
        EXPECT_EQ(p->bins, 1000u);
        EXPECT_NEAR(p->db, level + 30, kTolDb) << level;
    }
    // A strong bin beside very weak ones: the weak ones still count where they matter.
    std::vector<double> y(x.size(), -200);
    y[500] = 30;
    auto p = BandPowerBetween(x.data(), y.data(), x.size(), 0, 999);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->db, 30, kTolDb);
    y.assign(x.size(), -200);
    y[500] = -170; // as strong as the other 999 together, nearly
    p = BandPowerBetween(x.data(), y.data(), x.size(), 0, 999);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->db, -200 + 10 * std::log10(999.0 + 1000.0), kTolDb);
}

TEST(BandPower, AMillionBins) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(-100, 20);
    const std::vector<double> x = range(1000003, 24e6, 1700);
    std::vector<double> y(x.size());
    for (double &v : y)
        v = noise(rng);
    const auto p = BandPowerBetween(x.data(), y.data(), x.size(), x.back(), x.front());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bins, x.size());
    EXPECT_NEAR(p->db, direct(x, y, x.front(), x.back()).db, kTolDb);
}

TEST(NearestBin, ExactBinsMidpointsAndOutside) {
    // Uneven spacing, so a wrong neighbour cannot give the right answer by chance.
    const std::vector<double> x = {100, 110, 130, 160, 200, 250};
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_EQ(NearestBin(x.data(), n, x[i]), i) << x[i];
    // Midpoints go to the lower bin, anything past them to the upper one.
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double mid = (x[i] + x[i + 1]) / 2;
        EXPECT_EQ(NearestBin(x.data(), n, mid), i) << mid;
        EXPECT_EQ(NearestBin(x.data(), n, std::nextafter(mid, kInf)), i + 1) << mid;
        EXPECT_EQ(NearestBin(x.data(), n, std::nextafter(mid, -kInf)), i) << mid;
    }
    EXPECT_EQ(NearestBin(x.data(), n, 99.9), 0u);
    EXPECT_EQ(NearestBin(x.data(), n, -1e300), 0u);
    EXPECT_EQ(NearestBin(x.data(), n, -kInf), 0u);
    EXPECT_EQ(NearestBin(x.data(), n, 250.1), n - 1);
    EXPECT_EQ(NearestBin(x.data(), n, kInf), n - 1);
    EXPECT_EQ(NearestBin(x.data(), n, kNaN), 0u);
    const double one = 433.92e6;
    EXPECT_EQ(NearestBin(&one, 1, 0), 0u);
    EXPECT_EQ(NearestBin(&one, 1, 1e9), 0u);
}

TEST(NearestBin, AgreesWithTheSmallestDistance) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> spread(0, 3e6);
    const std::vector<double> x = range(2001, 88e6, 1250);
    for (int trial = 0; trial < 5000; ++trial) {
        const double hz = 88e6 - 0.5e6 + spread(rng);
        std::size_t best = 0;
        for (std::size_t i = 1; i < x.size(); ++i) {
            if (std::abs(x[i] - hz) < std::abs(x[best] - hz))
                best = i;
        }
        ASSERT_EQ(NearestBin(x.data(), x.size(), hz), best) << hz;
    }
}

// Levels held as whole hundredths give the power of their doubles bit for bit, spelled out a
// piece at a time: bands of every length around the pieces' size and their four lanes, the
// strongest level anywhere, equal levels.
TEST(BandPower, HundredthsGiveThePowerOfTheirDoublesBitForBit) {
    std::mt19937 rng(4096);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = round < 40 ? static_cast<std::size_t>(round) : 4090 + rng() % 20 + (round % 3) * 4096;
        std::vector<std::int16_t> h(n);
        for (std::int16_t &v : h)
            v = static_cast<std::int16_t>(round % 5 == 0 ? -4500 : -9000 + static_cast<int>(rng() % 8000));
        if (n > 0 && round % 2)
            h[rng() % n] = 1234;
        std::vector<double> y;
        sky::SpellOutHundredths(h.data(), h.size(), y);
        const std::optional<BandPower> fromHundredths = BandPowerOf(h.data(), n), fromDoubles = BandPowerOf(y.data(), n);
        ASSERT_EQ(fromHundredths.has_value(), fromDoubles.has_value()) << n;
        if (!fromDoubles)
            continue;
        ASSERT_EQ(std::memcmp(&fromHundredths->db, &fromDoubles->db, sizeof(double)), 0)
            << n << ": " << fromHundredths->db << " and " << fromDoubles->db;
        ASSERT_EQ(fromHundredths->bins, fromDoubles->bins);
    }
}
