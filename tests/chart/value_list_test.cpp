// Value lists: ordered insertion, statistics, multiplier, sorting, range errors.
#include "chart/series.h"
#include "chart/value_list.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include <vector>

namespace {

std::vector<double> Values(const TChartValueList &l)
{
    std::vector<double> v;
    for (int i = 0; i < l.Count(); ++i) v.push_back(l.ValueAt(i));
    return v;
}

} // namespace

TEST(chartValueList, AscendingInsertKeepsEqualValuesInArrivalOrderAndPointsFollowTheirX)
{
    TLineSeries s;
    EXPECT_EQ(s.AddPoint(5, 50, "a", clRed), 0);
    EXPECT_EQ(s.AddPoint(3, 30, "b", clGreen), 0);
    EXPECT_EQ(s.AddPoint(5, 51, "c", clBlue), 2);
    EXPECT_EQ(s.AddPoint(1, 10, "d", clYellow), 0);
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{1, 3, 5, 5}));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{10, 30, 50, 51}));
    EXPECT_EQ(s.PointColors(), (std::vector<TColor>{clYellow, clGreen, clRed, clBlue}));
    EXPECT_EQ(s.PointLabel(0), "d");
    EXPECT_EQ(s.PointLabel(2), "a"); // the first 5 stays before the second
    EXPECT_EQ(s.PointLabel(3), "c");

    // an equal value that has to walk back past larger ones also lands after its twin
    TLineSeries t;
    for (double x : {5.0, 3.0, 7.0}) t.AddPoint(x, 0, "old");
    EXPECT_EQ(t.AddPoint(5, 0, "new"), 2);
    EXPECT_EQ(t.PointLabel(1), "old");
    EXPECT_EQ(t.PointLabel(2), "new");
    EXPECT_EQ(t.AddPoint(-1, 0), 0);
}

TEST(chartValueList, DescendingAndUnorderedLists)
{
    TChartValueList desc(nullptr, "D");
    desc.SetOrder(loDescending);
    EXPECT_EQ(desc.InsertOrdered(1), 0);
    EXPECT_EQ(desc.InsertOrdered(3), 0);
    EXPECT_EQ(desc.InsertOrdered(2), 1);
    EXPECT_EQ(desc.InsertOrdered(3), 1); // after the first 3
    EXPECT_EQ(desc.InsertOrdered(0), 4);
    EXPECT_EQ(Values(desc), (std::vector<double>{3, 3, 2, 1, 0}));

    TChartValueList none(nullptr, "N");
    for (double v : {4.0, -1.0, 7.0, 2.0}) none.InsertOrdered(v);
    EXPECT_EQ(Values(none), (std::vector<double>{4, -1, 7, 2}));

    // the y list of a series is never reordered, whatever its own Order says
    TPointSeries s;
    s.YValues().SetOrder(loAscending);
    s.AddPoint(1, 9);
    s.AddPoint(2, 3);
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{9, 3}));
}

// The shortcuts must give what a loop over every value gives: the ends of an ascending list
// (turned round by a negative multiplier), NaN passed over unless it comes first, and a copy
// carrying its source's figures until the copy itself changes.
TEST(chartValueList, StatisticsShortcutsAgreeWithTheFullLoop)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TChartValueList asc(nullptr, "X");
    for (double v : {-4.0, -1.0, 2.0, 2.0, 9.0}) asc.InsertOrdered(v);
    EXPECT_EQ(asc.Lowest(), -4);
    EXPECT_EQ(asc.Highest(), 9);
    asc.SetMultiplier(-0.5);
    EXPECT_EQ(asc.Lowest(), -4.5);
    EXPECT_EQ(asc.Highest(), 2);
    EXPECT_EQ(asc.Sum(), -4);

    // a NaN between values keeps the list "ascending" by comparison, but not its ends
    TChartValueList gap(nullptr, "X");
    std::vector<double> v{2, nan, 0, 1};
    gap.SwapValues(v);
    ASSERT_TRUE(gap.IsAscending());
    EXPECT_EQ(gap.Lowest(), 0);
    EXPECT_EQ(gap.Highest(), 2);
    TChartValueList lead(nullptr, "Y");
    std::vector<double> w{nan, 3, -3};
    lead.SwapValues(w);
    EXPECT_TRUE(std::isnan(lead.Lowest()));
    EXPECT_TRUE(std::isnan(lead.Highest()));

    TLineSeries source, copy;
    for (int i = 0; i < 50; ++i) source.AddPoint(i, (i * 37) % 11 - 5.0, QString(), clRed);
    EXPECT_EQ(source.YMin(), -5);
    EXPECT_EQ(source.YMax(), 5);
    copy.CopyFrom(source);
    EXPECT_FALSE(copy.YValues().StatsStale()); // carried over, not recomputed
    EXPECT_EQ(copy.YMin(), -5);
    EXPECT_EQ(copy.XMax(), 49);
    copy.YValues().SetValue(3, 40);
    EXPECT_EQ(copy.YMax(), 40);
    EXPECT_EQ(source.YMax(), 5);
    source.YValues().SetMultiplier(2); // a differing multiplier: nothing is taken over
    copy.YValues().TakeStatsFrom(source.YValues());
    EXPECT_EQ(copy.YMax(), 40);
}

TEST(chartValueList, StatisticsAreLazyAndFollowTheMultiplier)
{
    TChartValueList l(nullptr, "Y");
    EXPECT_EQ(l.Lowest(), 0);
    EXPECT_EQ(l.Highest(), 0);
    EXPECT_EQ(l.Sum(), 0);
    EXPECT_EQ(l.SumAbs(), 0);
    for (double v : {2.0, -3.0, 5.0, 1.0}) l.InsertOrdered(v);
    EXPECT_TRUE(l.StatsStale());
    EXPECT_EQ(l.Lowest(), -3);
    EXPECT_FALSE(l.StatsStale());
    EXPECT_EQ(l.Highest(), 5);
    EXPECT_EQ(l.Sum(), 5);
    EXPECT_EQ(l.SumAbs(), 11);

    l.SetMultiplier(2);
    EXPECT_TRUE(l.StatsStale());
    EXPECT_EQ(l.Value(1), -3); // stored value unchanged
    EXPECT_EQ(l.ValueAt(1), -6);
    EXPECT_EQ(l.Lowest(), -6);
    EXPECT_EQ(l.Highest(), 10);
    EXPECT_EQ(l.Sum(), 10);
    EXPECT_EQ(l.SumAbs(), 22);
    EXPECT_EQ(l.IndexOfValue(10), 2);
    EXPECT_EQ(l.IndexOfValue(5), -1);

    l.SetValue(0, 100);
    EXPECT_EQ(l.Highest(), 200);
    l.DeleteAt(0);
    EXPECT_EQ(l.Highest(), 10);

    // a series reads its extremes from the lists: 0 when empty
    TLineSeries s;
    EXPECT_EQ(s.XMin(), 0);
    EXPECT_EQ(s.YMax(), 0);
    s.AddPoint(-4, 7);
    s.AddPoint(9, -2);
    EXPECT_EQ(s.XMin(), -4);
    EXPECT_EQ(s.XMax(), 9);
    EXPECT_EQ(s.YMin(), -2);
    EXPECT_EQ(s.YMax(), 7);
}

TEST(chartValueList, IndexesOutsideTheListRaiseTheListError)
{
    TLineSeries s;
    s.AddPoint(1, 1);
    s.AddPoint(2, 2);
    try {
        s.XValues().ValueAt(5);
        FAIL() << "no error";
    } catch (const sky::Error &e) {
        EXPECT_EQ(e.text(), "List index out of bounds (5)");
    }
    EXPECT_THROW(s.YValues().ValueAt(-1), sky::Error);
    EXPECT_THROW(s.DeletePoint(2), sky::Error);
    EXPECT_EQ(s.PointCount(), 2); // nothing deleted by the failed call
    EXPECT_THROW(s.XValues().InsertValueAt(4, 0), sky::Error);
}

TEST(chartValueList, ClearEmptiesEverythingAndReleaseGivesTheMemoryBack)
{
    TLineSeries s;
    for (int i = 0; i < 1000; ++i) s.AddPoint(i, i, i == 5 ? "five" : "", clRed);
    EXPECT_EQ(s.XValues().Highest(), 999);
    s.ClearPoints();
    EXPECT_EQ(s.PointCount(), 0);
    EXPECT_EQ(s.YValues().Count(), 0);
    EXPECT_TRUE(s.PointColors().empty());
    EXPECT_TRUE(s.PointLabels().empty());
    EXPECT_EQ(s.XValues().Highest(), 0); // no stale statistics
    s.AddPoint(-3, 4);
    EXPECT_EQ(s.XValues().Lowest(), -3);
    EXPECT_EQ(s.PointColor(0), s.SeriesColor());
    EXPECT_EQ(s.PointLabel(5), "");
    s.ClearPoints();
    EXPECT_GE(s.XValues().Capacity(), 1000u); // kept for the next sweep
    s.ReleaseMemory();
    EXPECT_EQ(s.XValues().Capacity(), 0u);
    EXPECT_EQ(s.YValues().Capacity(), 0u);
}

TEST(chartValueList, SortingMovesWholePoints)
{
    TLineSeries s;
    s.XValues().SetOrder(loNone);
    const double xs[] = {4, 1, 3, 1, 2, 5, 0};
    for (int i = 0; i < 7; ++i) s.AddPoint(xs[i], xs[i] * 10, QStringLiteral("p%1").arg(xs[i]), static_cast<TColor>(xs[i]));
    s.XValues().SortValues(); // loNone: nothing happens
    EXPECT_EQ(s.XValue(0), 4);

    s.XValues().SetOrder(loAscending);
    s.XValues().SortValues();
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{0, 1, 1, 2, 3, 4, 5}));
    for (int i = 0; i < s.PointCount(); ++i) {
        EXPECT_EQ(s.YValue(i), s.XValue(i) * 10);
        EXPECT_EQ(s.PointColor(i), static_cast<TColor>(s.XValue(i)));
        EXPECT_EQ(s.PointLabel(i), QStringLiteral("p%1").arg(s.XValue(i)));
    }

    s.XValues().SetOrder(loDescending);
    s.XValues().SortValues();
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{5, 4, 3, 2, 1, 1, 0}));
    EXPECT_EQ(s.PointLabel(0), "p5");

    // sorting by the y list reorders the x values with it
    s.YValues().SetOrder(loAscending);
    s.YValues().SortValues();
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{0, 1, 1, 2, 3, 4, 5}));
}

TEST(chartValueList, CopyFromTakesSettingsNotValues)
{
    TChartValueList a(nullptr, "A"), b(nullptr, "B");
    a.SetOrder(loDescending);
    a.SetDateTime(true);
    a.SetMultiplier(3);
    a.SetValueSource("col");
    a.InsertOrdered(1);
    b.CopyFrom(a);
    EXPECT_EQ(b.Order(), loDescending);
    EXPECT_TRUE(b.DateTime());
    EXPECT_EQ(b.Multiplier(), 3);
    EXPECT_EQ(b.ValueSource(), "col");
    EXPECT_EQ(b.Count(), 0);
    EXPECT_EQ(b.Name(), "B");
}

// Values handed over with their facts (found where they were made) read exactly as the list's
// own passes would find them: order, finiteness and extremes, under any multiplier.
TEST(chartValueList, HandedOverFactsAgreeWithTheListsOwnPasses)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::mt19937 rng(7);
    std::vector<std::vector<double>> cases = {
        {}, {3}, {1, 2, 2, 5}, {5, 2, 1}, {2, nan, 0, 1}, {nan, 3, -3}, {1, inf, 2}, {-inf, 0}, {-0.0, 0.0, -0.0},
        {-1, 0.0, -0.0}, {0.0, -0.0}, {-0.0, 2, 1},
    };
    for (int k = 0; k < 20; ++k) {
        std::vector<double> v(1 + rng() % 3000);
        double at = -1e6 * (rng() % 3);
        for (double &e : v) e = k % 2 ? (at += (rng() % 100) / 7.0) : std::ldexp(double(rng()) - 2e9, int(rng() % 40) - 20);
        cases.push_back(v);
    }
    // Long runs (the vector loops) with NaN and infinities here and there, first and last too.
    for (int k = 0; k < 24; ++k) {
        std::vector<double> v(17 + rng() % 200);
        double at = 0;
        for (double &e : v) e = k % 2 ? (at += (rng() % 100) / 7.0) : double(rng() % 1000) - 500;
        const double odd[] = {nan, inf, -inf};
        const int odds = 1 + k % 3 + (k % 5 == 0 ? static_cast<int>(v.size()) / 4 : 0); // now and then many
        for (int j = 0; j < odds; ++j) v[rng() % v.size()] = odd[rng() % 3];
        if (k % 4 == 0) v.front() = odd[k % 3];
        if (k % 4 == 1) v.back() = odd[k % 3];
        cases.push_back(v);
    }
    // the same number, down to the sign of a zero
    auto same = [](double a, double b) {
        return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
    };
    for (double m : {1.0, -0.5, 2.0, 0.0}) {
        for (const std::vector<double> &values : cases) {
            TChartValueList own(nullptr, "Y"), told(nullptr, "Y");
            own.SetMultiplier(m);
            told.SetMultiplier(m);
            std::vector<double> a = values, b = values;
            own.SwapValues(a);
            told.SwapValues(b, TChartValueList::FactsOf(values.data(), values.size()));
            const std::string what = "m " + std::to_string(m) + ", " + std::to_string(values.size()) + " values";
            EXPECT_EQ(told.IsAscending(), own.IsAscending()) << what;
            EXPECT_EQ(told.AllFinite(), own.AllFinite()) << what;
            EXPECT_TRUE(same(told.Lowest(), own.Lowest())) << what << ": " << told.Lowest() << " " << own.Lowest();
            EXPECT_TRUE(same(told.Highest(), own.Highest())) << what;
            EXPECT_EQ(told.Count(), int(values.size()));
        }
    }
    // Facts of finite values leave nothing for the list to compute.
    std::vector<double> v{4, 1, 9};
    TChartValueList l(nullptr, "Y");
    l.SwapValues(v, TChartValueList::FactsOf(std::vector<double>{4, 1, 9}.data(), 3));
    EXPECT_FALSE(l.StatsStale());
    EXPECT_EQ(l.Lowest(), 1);
    EXPECT_EQ(l.Highest(), 9);
    EXPECT_FALSE(l.IsAscending());
}

// A list holding single-precision values reads, counts and sums as a list of the same values in
// doubles, with its facts handed over or found by its own passes; a change in place turns it into
// doubles, a share reads the same values, and taking the values out gives the storage back.
TEST(chartValueList, SinglePrecisionListsReadAsTheirValues)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::mt19937 rng(9);
    std::vector<std::vector<float>> cases = {{3}, {1, 2, 2, 5}, {5, 2, 1}, {2, nan, 0, 1}, {nan, 3, -3}, {1, inf, 2}, {-inf, 0}};
    for (int k = 0; k < 10; ++k) {
        std::vector<float> v(1 + rng() % 3000);
        float at = -500;
        for (float &e : v) e = k % 2 ? (at += (rng() % 100) / 7.0f) : -120.0f + (rng() % 12000) / 100.0f;
        cases.push_back(v);
    }
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    for (double m : {1.0, -0.5}) {
        for (bool facts : {true, false}) {
            for (const std::vector<float> &values : cases) {
                const std::string what = "m " + std::to_string(m) + (facts ? " facts " : " ") + std::to_string(values.size());
                TChartValueList single(nullptr, "Y"), doubles(nullptr, "Y");
                std::vector<float> s = values;
                std::vector<double> d(values.begin(), values.end());
                single.SwapSingles(s, facts ? TChartValueList::FactsOf(values.data(), values.size())
                                            : TValueFacts{false, false, 0, 0});
                if (!facts) { // facts that are wrong on purpose, then forgotten by a multiplier change
                    single.SetMultiplier(3);
                    single.SetMultiplier(1);
                }
                single.SetMultiplier(m);
                doubles.SetMultiplier(m);
                doubles.SwapValues(d);
                ASSERT_TRUE(single.IsSingle());
                ASSERT_EQ(single.Count(), int(values.size())) << what;
                EXPECT_EQ(single.IsAscending(), doubles.IsAscending()) << what;
                EXPECT_EQ(single.AllFinite(), doubles.AllFinite()) << what;
                EXPECT_TRUE(same(single.Lowest(), doubles.Lowest())) << what;
                EXPECT_TRUE(same(single.Highest(), doubles.Highest())) << what;
                EXPECT_TRUE(same(single.Sum(), doubles.Sum())) << what;
                EXPECT_EQ(single.IndexOfValue(doubles.ValueAt(0)), std::isnan(values[0]) ? -1 : 0) << what;
                const std::vector<double> copy = single.Copy();
                for (int i = 0; i < single.Count(); ++i) {
                    ASSERT_TRUE(same(single.ValueAt(i), doubles.ValueAt(i))) << what << " at " << i;
                    ASSERT_TRUE(same(copy[size_t(i)], values[size_t(i)])) << what << " at " << i;
                    ASSERT_TRUE(same(single.Data()[i], values[size_t(i)])) << what << " at " << i;
                }
            }
        }
    }
    // A share, a change in place and taking the values back.
    std::vector<float> v{1.5f, -2.25f, 3.0f, 4.0f};
    const float *storage = v.data();
    TChartValueList a(nullptr, "Y"), b(nullptr, "Y");
    a.SwapSingles(v, TChartValueList::FactsOf(storage, 4));
    const std::uint64_t key = a.ContentKey();
    EXPECT_NE(key, 0u);
    b.ShareValues(a, 1, 2);
    EXPECT_TRUE(b.IsSingle());
    EXPECT_EQ(Values(b), (std::vector<double>{-2.25, 3.0}));
    b.SetValue(0, 7); // b takes its own values, in doubles; a keeps its own
    EXPECT_FALSE(b.IsSingle());
    EXPECT_EQ(Values(b), (std::vector<double>{7, 3.0}));
    EXPECT_EQ(Values(a), (std::vector<double>{1.5, -2.25, 3.0, 4.0}));
    EXPECT_EQ(a.Highest(), 4.0);
    a.SetValue(3, 0.1); // in place: a double, not the float nearest it
    EXPECT_FALSE(a.IsSingle());
    EXPECT_EQ(a.ValueAt(3), 0.1);
    EXPECT_EQ(a.Highest(), 3.0);
    EXPECT_NE(a.ContentKey(), key);
    std::vector<float> w{5.0f, 6.0f};
    const float *wStorage = w.data();
    a.SwapSingles(w, TChartValueList::FactsOf(wStorage, 2));
    std::vector<float> out;
    a.TakeSingles(out);
    EXPECT_EQ(out.data(), wStorage) << "its own storage comes back, not a copy";
    EXPECT_EQ(out, (std::vector<float>{5.0f, 6.0f}));
    EXPECT_EQ(a.Count(), 0);
    EXPECT_FALSE(a.IsSingle());
}

// The facts of long runs (the vector loops) against the plain loop, field by field, NaN first or
// later and infinities among them (the lists take extremes only of finite values; these are
// checked as found all the same).
TEST(chartValueList, FactsOfLongRunsAreThoseOfThePlainLoop)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::mt19937 rng(21);
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    for (int round = 0; round < 3000; ++round) {
        std::vector<double> v(17 + rng() % 120);
        double at = 0;
        for (double &e : v) e = round % 3 == 0 ? (at += double(rng() % 4)) : double(rng() % 2000) - 1000.5;
        const double odd[] = {nan, inf, -inf};
        for (unsigned j = rng() % 4; j > 0; --j) v[rng() % v.size()] = odd[rng() % 3];
        if (round % 7 == 0) v.front() = odd[rng() % 3];
        TValueFacts want;
        double lo = v[0], hi = v[0];
        want.finite = std::isfinite(v[0]);
        for (size_t i = 1; i < v.size(); ++i) {
            want.ascending &= !(v[i] < v[i - 1]);
            want.finite &= std::isfinite(v[i]);
            lo = v[i] < lo ? v[i] : lo;
            hi = v[i] > hi ? v[i] : hi;
        }
        const TValueFacts got = TChartValueList::FactsOf(v.data(), v.size());
        ASSERT_EQ(got.ascending, want.ascending) << "round " << round;
        ASSERT_EQ(got.finite, want.finite) << "round " << round;
        ASSERT_TRUE(same(got.lowest, lo)) << "round " << round << ": " << got.lowest << " instead of " << lo;
        ASSERT_TRUE(same(got.highest, hi)) << "round " << round << ": " << got.highest << " instead of " << hi;
    }
}

TEST(chartValueList, FactsOfAscendingValuesAreThoseOfTheFullPass)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::mt19937 rng(4);
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> v(rng() % 40);
        for (double &e : v) e = double(rng() % 200) - 100 + (rng() % 2 ? 0.5 : 0);
        std::sort(v.begin(), v.end());
        if (!v.empty() && rng() % 4 == 0) v.front() = -inf;
        if (!v.empty() && rng() % 4 == 0) v.back() = inf;
        const TValueFacts want = TChartValueList::FactsOf(v.data(), v.size());
        const TValueFacts got = TChartValueList::FactsOfAscending(v.data(), v.size());
        ASSERT_TRUE(want.ascending);
        ASSERT_EQ(got.ascending, want.ascending) << round;
        ASSERT_EQ(got.finite, want.finite) << round;
        ASSERT_EQ(got.lowest, want.lowest) << round;
        ASSERT_EQ(got.highest, want.highest) << round;
    }
}

// Levels held as whole hundredths read everywhere as the doubles they stand for, and reading
// them (facts, statistics, one value) never spells them out; a change in place turns the list
// into doubles, and a share keeps the form.
TEST(chartValueList, HundredthsListsReadAsTheValuesTheyStandFor)
{
    std::mt19937 rng(25);
    std::vector<std::vector<std::int16_t>> cases = {{0}, {-32768, 32767}, {5, 5, 5}, {-4523, -4523, -4000, 12}};
    for (int k = 0; k < 8; ++k) {
        std::vector<std::int16_t> v(1 + rng() % 5000);
        int at = -32768;
        for (std::int16_t &e : v)
            e = static_cast<std::int16_t>(k % 2 ? std::min(at += static_cast<int>(rng() % 20), 32767)
                                                : static_cast<int>(rng() % 65536) - 32768);
        cases.push_back(v);
    }
    for (double m : {1.0, -0.5}) {
        for (const std::vector<std::int16_t> &values : cases) {
            const std::string what = "m " + std::to_string(m) + " n " + std::to_string(values.size());
            std::vector<double> d(values.size());
            for (size_t i = 0; i < values.size(); ++i) d[i] = values[i] / 100.0;
            TChartValueList h(nullptr, "Y"), doubles(nullptr, "Y");
            std::vector<std::int16_t> stored = values;
            h.SetMultiplier(m);
            h.SwapHundredths(stored, TChartValueList::FactsOf(values.data(), values.size()));
            doubles.SetMultiplier(m);
            doubles.SwapValues(d);
            ASSERT_TRUE(h.IsHundredths());
            ASSERT_EQ(h.Count(), int(values.size())) << what;
            const TValueFacts hf = h.Facts(), df = doubles.Facts();
            EXPECT_EQ(hf.ascending, df.ascending) << what;
            EXPECT_EQ(hf.lowest, df.lowest) << what;
            EXPECT_EQ(hf.highest, df.highest) << what;
            EXPECT_EQ(h.IsAscending(), doubles.IsAscending()) << what;
            EXPECT_TRUE(h.AllFinite()) << what;
            EXPECT_EQ(h.Lowest(), doubles.Lowest()) << what;
            EXPECT_EQ(h.Highest(), doubles.Highest()) << what;
            EXPECT_EQ(h.Sum(), doubles.Sum()) << what;
            EXPECT_EQ(h.IndexOfValue(doubles.ValueAt(int(values.size()) - 1)),
                      doubles.IndexOfValue(doubles.ValueAt(int(values.size()) - 1)))
                << what;
            const TStoredValues stored2 = h.Stored();
            for (int i = 0; i < h.Count(); ++i) {
                ASSERT_EQ(h.ValueAt(i), doubles.ValueAt(i)) << what << " at " << i;
                ASSERT_EQ(stored2[i], doubles.Value(i)) << what << " at " << i;
            }
            EXPECT_FALSE(h.SpelledOut()) << what << ": reading must not spell the values out";
            EXPECT_EQ(h.Copy(), doubles.Copy()) << what;
            const double *spelled = h.Data();
            EXPECT_TRUE(h.SpelledOut());
            EXPECT_TRUE(std::equal(spelled, spelled + h.Count(), doubles.Data())) << what;
        }
    }
    // A share, a change in place and storage given back for the next sweep.
    std::vector<std::int16_t> v{150, -225, 300, 400};
    TChartValueList a(nullptr, "Y"), b(nullptr, "Y");
    a.SwapHundredths(v, TChartValueList::FactsOf(std::vector<std::int16_t>{150, -225, 300, 400}.data(), 4));
    b.ShareValues(a, 1, 2);
    EXPECT_TRUE(b.IsHundredths());
    EXPECT_TRUE(b.SharesStorageWith(a));
    EXPECT_EQ(Values(b), (std::vector<double>{-2.25, 3.0}));
    b.SetValue(0, 0.001); // b takes its own values, in doubles; a keeps its own
    EXPECT_FALSE(b.IsHundredths());
    EXPECT_EQ(Values(b), (std::vector<double>{0.001, 3.0}));
    EXPECT_EQ(Values(a), (std::vector<double>{1.5, -2.25, 3.0, 4.0}));
    const std::uint64_t key = a.ContentKey();
    a.InsertValueAt(4, -7.125);
    EXPECT_FALSE(a.IsHundredths());
    EXPECT_EQ(Values(a), (std::vector<double>{1.5, -2.25, 3.0, 4.0, -7.125}));
    EXPECT_EQ(a.Lowest(), -7.125);
    EXPECT_NE(a.ContentKey(), key);
    std::vector<std::int16_t> w{1, 2, 3};
    const std::int16_t *wStorage = w.data();
    a.SwapHundredths(w, TChartValueList::FactsOf(wStorage, 3));
    std::vector<std::int16_t> next{4, 5};
    a.SwapHundredths(next, TChartValueList::FactsOf(std::vector<std::int16_t>{4, 5}.data(), 2));
    EXPECT_EQ(next.data(), wStorage) << "the storage of the values before comes back for reuse";
    EXPECT_TRUE(next.empty());
    EXPECT_EQ(Values(a), (std::vector<double>{0.04, 0.05}));
    a.ClearAll();
    EXPECT_FALSE(a.IsHundredths());
    EXPECT_EQ(a.Count(), 0);
}

// Frequencies held as runs read everywhere as the doubles they stand for, by index in any order
// and through a share of a part of them, without being spelled out; a change in place turns the
// list into doubles.
TEST(chartValueList, RunsReadAsTheFrequenciesTheyStandFor)
{
    std::mt19937 rng(2025);
    for (int round = 0; round < 40; ++round) {
        std::vector<sky::FrequencyRun> runs;
        size_t points = 0;
        double low = 24e6 + rng() % 1000;
        const int hops = 1 + static_cast<int>(rng() % 20);
        for (int k = 0; k < hops; ++k) {
            const size_t bins = 1 + rng() % 700;
            const double step = round % 3 == 0 ? 1000.0 : 80357.12 + k;
            runs.push_back({points, low, step});
            points += bins;
            low += step * static_cast<double>(bins) - (round % 4 == 0 ? 2 : 0);
        }
        const double offset = round % 2 ? 0.0 : -125e6 + 0.5;
        std::vector<double> want;
        sky::SpellOutRuns(runs, points, offset, want);
        for (size_t i = 0; i < points; ++i) {
            const auto r = std::upper_bound(runs.begin(), runs.end(), i,
                                            [](size_t v, const sky::FrequencyRun &e) { return v < e.first; }) - 1;
            ASSERT_EQ(want[i], (r->low + r->step * static_cast<double>(i - r->first)) + (offset != 0 ? offset : 0.0));
        }
        TChartValueList list(nullptr, "X");
        std::vector<sky::FrequencyRun> stored = runs;
        list.SwapRuns(stored, points, offset, TChartValueList::FactsOf(want.data(), want.size()));
        ASSERT_TRUE(list.IsRuns());
        ASSERT_EQ(list.Count(), int(points));
        const TStoredValues read = list.Stored();
        for (int k = 0; k < 3000; ++k) { // at random, then backwards
            const int i = k < 2000 ? int(rng() % points) : int(points) - 1 - (k - 2000) % int(points);
            ASSERT_EQ(read[i], want[size_t(i)]) << round << " at " << i;
            ASSERT_EQ(list.Value(i), want[size_t(i)]) << round << " at " << i;
        }
        EXPECT_EQ(list.IsAscending(), std::is_sorted(want.begin(), want.end())) << round;
        EXPECT_EQ(list.Lowest(), *std::min_element(want.begin(), want.end())) << round;
        EXPECT_EQ(list.Highest(), *std::max_element(want.begin(), want.end())) << round;
        EXPECT_FALSE(list.SpelledOut());
        // a share of a part of them reads that part
        TChartValueList part(nullptr, "X");
        const int from = int(rng() % points), count = int(points) - from;
        part.ShareValues(list, from, count);
        ASSERT_TRUE(part.IsRuns());
        const TStoredValues partRead = part.Stored();
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(partRead[i], want[size_t(from + i)]) << round << " part at " << i;
            ASSERT_EQ(part.Value(count - 1 - i), want[size_t(from + count - 1 - i)]) << round << " part at " << i;
        }
        EXPECT_EQ(part.Copy(), std::vector<double>(want.begin() + from, want.end()));
        const double *spelled = list.Data();
        EXPECT_TRUE(std::equal(spelled, spelled + points, want.begin()));
        list.SetValue(0, -1);
        EXPECT_FALSE(list.IsRuns());
        EXPECT_EQ(list.Value(int(points) - 1), want.back());
        EXPECT_EQ(list.Value(0), -1);
    }
}
