#include "scan/sweep_ingest.h"
#include "scan/sweep_file.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

using namespace sky;

namespace {

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string_view> f;
    std::deque<std::string> storage;
    SplitSweepFields(line, f, storage);
    return {f.begin(), f.end()};
}

using V = std::vector<std::string>;

} // namespace

TEST(SweepFields, BlanksCommasQuotes) {
    EXPECT_EQ(split("2026-12-07, 21:00:00, 100, 200, 48828.12, 10, -50.00"),
              V({"2026-12-07", "21:00:00", "100", "200", "48828.12", "10", "-50.00"}));
    EXPECT_EQ(split("  a ,b\t,\tc  "), V({"a", "b", "c"}));
    EXPECT_EQ(split("a b,c"), V({"a", "b", "c"}));          // a blank also separates
    EXPECT_EQ(split("a,,b"), V({"a", "", "b"}));
    EXPECT_EQ(split("a,"), V({"a", ""}));                   // final comma adds one empty field
    EXPECT_EQ(split("a, "), V({"a"}));                      // but not when blanks follow it
    EXPECT_EQ(split(",,,"), V({"", "", "", ""}));
    EXPECT_EQ(split(""), V());
    EXPECT_EQ(split("   "), V());
    EXPECT_EQ(split(R"("a,b" , "say ""hi""",c)"), V({"a,b", R"(say "hi")", "c"}));
    EXPECT_EQ(split(R"("ab"cd,e)"), V({"ab", "cd", "e"}));
    EXPECT_EQ(split(R"(x,"open)"), V({"x", "open"}));      // an unclosed quote runs to the end
    EXPECT_EQ(split(std::string_view("a,b\0,c", 7)), V({"a", "b"}));
    EXPECT_EQ(split("\x01" "a\x1f,\x7f"), V({"a", "\x7f"}));
}

TEST(SweepLines, AnyLineEndNoTrailingEmptyLine) {
    std::vector<std::string_view> l;
    SplitSweepLines("a\r\nb\rc\nd", l);
    EXPECT_EQ(l.size(), 4u);
    SplitSweepLines("a\n\nb\n", l);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_TRUE(l[1].empty());
    SplitSweepLines("", l);
    EXPECT_TRUE(l.empty());
}

TEST(SweepParse, PointsFrequenciesAndCount) {
    const auto d = ParseSweepFile("2026-12-07, 21:00:00, 100000000, 100010000, 1000, 5, "
                                  "-1, -2, -3, -4, -5, -6, -7, -8, -9, -10\n");
    ASSERT_TRUE(d.ok) << d.failure;
    ASSERT_EQ(d.x.size(), 10u);
    EXPECT_EQ(d.valueCount, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_DOUBLE_EQ(d.x[i], 100000000.0 + 1000.0 * i);
    EXPECT_DOUBLE_EQ(d.y[9], -10.0);
    EXPECT_EQ(d.lastStepText, "1000");
}

TEST(SweepParse, MinusInfinityRepeatsThePreviousLevel) {
    for (const char *inf : {"-1.#J", "-1.#INF", "-inf", "-Inf"}) {
        const std::string line = std::string("d, t, 100, 200, 10, 5, -50.00, ") + inf + ", " + inf + ", -48.00";
        const auto d = ParseSweepFile(line);
        ASSERT_TRUE(d.ok) << inf;
        EXPECT_EQ(d.y, std::vector<double>({-50, -50, -50, -48})) << inf;
    }
    // First level infinite: the line's lowest finite level, never the sample count.
    auto d = ParseSweepFile("d, t, 100, 200, 10, 942000, -1.#J, -1.#J, -30.5, -60.25, -1.#J");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.y, std::vector<double>({-60.25, -60.25, -30.5, -60.25, -60.25}));
    // No finite level at all fails like a value that is not a number.
    EXPECT_FALSE(ParseSweepFile("d, t, 100, 200, 10, 5, -1.#J, -1.#J").ok);
    // Only the exact texts count.
    EXPECT_FALSE(ParseSweepFile("d, t, 100, 200, 10, 5, -40, -1.#j").ok);
}

TEST(SweepParse, FailuresKeepThePointsReadBefore) {
    const char *bad[] = {
        "d, t, 100, 200\n",                                   // four fields
        "d, t, 100, 200, 10, 5, -1\n\nd, t, 300, 400, 10, 5, -1\n", // empty line
        "d, t, 1e8, 200, 10, 5, -1\n",                        // field 2 not an integer
        "d, t, 100, 200, 10Hz, 5, -1\n",                      // step not a number
        "d, t, 100, 200, 10, 5, -1, nan\n",                   // NaN is not a number
        "d, t, 100, 200, 10, 5, -1, 1,5\n",                   // 1 then 5 is fine ...
    };
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(ParseSweepFile(bad[i]).ok) << i;
    EXPECT_TRUE(ParseSweepFile(bad[5]).ok);
    const auto d = ParseSweepFile("d, t, 100, 200, 10, 5, -1, -2\nd, t, 300, 400, 10, 5, -3, oops, -4\n");
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.y, std::vector<double>({-1, -2, -3}));
    // Five or six fields add no point and convert nothing.
    const auto e = ParseSweepFile("a, b, c, d, e\nd, t, x, y, 2.5, 5\n");
    EXPECT_TRUE(e.ok);
    EXPECT_TRUE(e.x.empty());
    EXPECT_EQ(e.lastStepText, "2.5");
}

TEST(SweepParse, HugeFrequenciesAndHexDoNotBreak) {
    auto d = ParseSweepFile("d, t, 9007199254740993, 0, 1, 5, -1, -2\n");
    ASSERT_TRUE(d.ok);
    EXPECT_GT(d.x[0], 9.0e15);
    EXPECT_FALSE(ParseSweepFile("d, t, 99999999999999999999, 0, 1, 5, -1\n").ok);
    d = ParseSweepFile("d, t, $10, 0, 1e300, 5, -1, -2\n");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.x[0], 16.0);
    EXPECT_FALSE(ParseSweepFile("d, t, 0, 0, 1e999, 5, -1\n").ok);
}

TEST(SweepParse, RealCapturesFromBothRuntimes) {
    const QDir samples(SKYVANE_SAMPLES_DIR);
    if (!samples.exists())
        GTEST_SKIP() << "no real captures at " << SKYVANE_SAMPLES_DIR << " (the shared folder is not beside this clone)";
    struct Case {
        const char *file;
        bool ok;
    } cases[] = {{"dmooney65_fm_stations.csv", true},
                 {"gfckhz_scan_100M-1G_1M.csv", true},
                 {"jj1bdx_nhkfm3_peakhold.csv", true},
                 {"jackie-c_fm_stations_win_1J.csv", true},
                 // spreadsheet round trip: an all-comma line has no level to read
                 {"jackie-c_fm_stations30min_excel_1J.csv", false}};
    for (const auto &c : cases) {
        QFile f(samples.filePath(c.file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.file;
        const QByteArray bytes = f.readAll();
        const auto d = ParseSweepFile(std::string_view(bytes.constData(), bytes.size()));
        EXPECT_EQ(d.ok, c.ok) << c.file << ": " << d.failure;
        if (!c.ok)
            continue;
        EXPECT_GT(d.valueCount, 100) << c.file;
        for (double y : d.y)
            ASSERT_TRUE(std::isfinite(y) && y > -200 && y < 100) << c.file;
    }
}

TEST(SweepParse, RandomBytesNeverCrash) {
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789.,-+ \t\r\n\"$xe#J";
    for (int round = 0; round < 3000; ++round) {
        std::string s(rng() % 300, ' ');
        for (char &c : s)
            c = (rng() % 4 == 0) ? char(rng() % 256) : alphabet[rng() % alphabet.size()];
        const auto d = ParseSweepFile(s);
        EXPECT_EQ(d.x.size(), d.y.size());
        EXPECT_LE(static_cast<std::int64_t>(d.x.size()), d.valueCount);
    }
}

TEST(SweepAnalysis, ExtremesNoiseAndPeaks) {
    std::vector<double> y(60, -50.0);
    y[5] = -10;
    auto e = FindExtremes(y.data(), y.size());
    EXPECT_EQ(e.maxIndex, 5u);
    EXPECT_EQ(e.minIndex, 0u); // first of equal values wins
    // Strongest at 5: bins 0..15 are left out, 16 onward count.
    y[15] = -1000;
    y[16] = -20;
    auto noise = NoiseLevel(y.data(), y.size(), 5);
    ASSERT_TRUE(noise);
    const double expected = (-20.0 - 43 * 50.0) / 44; // the mean, signed
    EXPECT_NEAR(*noise, expected, 1e-9);
    // Strongest at 40: bins 2..29 and 51 onward count.
    std::vector<double> z(60, -1.0);
    for (int i = 30; i <= 50; ++i)
        z[i] = -100;
    z[0] = z[1] = -1000;
    EXPECT_NEAR(*NoiseLevel(z.data(), z.size(), 40), -1.0, 1e-12);
    // A small sweep leaves nothing in that window: every bin but the strongest counts.
    const double small[] = {-10, -20, 5, -30, -40};
    EXPECT_NEAR(*NoiseLevel(small, 5, 2), -25.0, 1e-12);
    EXPECT_NEAR(*NoiseLevel(small, 1, 0), -10.0, 1e-12);
    EXPECT_FALSE(NoiseLevel(small, 0, 0).has_value());
    // Positive levels (captures from some dongles and drivers) keep their sign.
    std::vector<double> positive(60, 2.0);
    positive[30] = 20;
    EXPECT_NEAR(*NoiseLevel(positive.data(), positive.size(), 30), 2.0, 1e-12);
    // All at or below -1000: the strongest stays at 0.
    std::vector<double> low(5, -2000);
    EXPECT_EQ(FindExtremes(low.data(), low.size()).maxIndex, 0u);
    // Against the bin-by-bin loop: lengths around the vector steps, repeated extremes, equal
    // zeros of either sign, NaN, and levels beyond +-1000 that the search never takes.
    std::mt19937 rng(11);
    for (int round = 0; round < 4000; ++round) {
        const std::size_t n = round < 3000 ? static_cast<std::size_t>(round % 40) : rng() % 3000;
        std::vector<double> v(n);
        for (double &level : v) {
            const unsigned r = rng() % 100;
            level = r < 3 ? std::nan("") : r < 6 ? (r % 2 ? 0.0 : -0.0) : r < 8 ? (r % 2 ? 1500.0 : -1500.0)
                                                                       : static_cast<double>(rng() % 9) - 4;
            if (round % 4 == 1)
                level -= 3000; // nothing above -1000
        }
        SweepExtremes want;
        double hi = -1000.0, lo = 1000.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (v[i] > hi) {
                hi = v[i];
                want.maxIndex = i;
            }
            if (v[i] < lo) {
                lo = v[i];
                want.minIndex = i;
            }
        }
        const SweepExtremes got = FindExtremes(v.data(), n);
        ASSERT_EQ(got.maxIndex, want.maxIndex) << "round " << round;
        ASSERT_EQ(got.minIndex, want.minIndex) << "round " << round;
    }

    // Flat top of three: first and last bin are peaks, the middle one is not.
    const double top[] = {-50, -10, -10, -10, -50};
    EXPECT_TRUE(IsPeak(top, 1));
    EXPECT_FALSE(IsPeak(top, 2));
    EXPECT_TRUE(IsPeak(top, 3));
    const double strict[] = {-50, -10, -50};
    EXPECT_TRUE(IsPeak(strict, 1));
    const double slope[] = {-50, -40, -30};
    EXPECT_FALSE(IsPeak(slope, 1));
}

TEST(SweepParse, KeptFuzzInputsStayHarmless) {
    const QDir dir(QStringLiteral(SKYVANE_SOURCE_DIR "/tests/scan/fuzz_regressions"));
    const QStringList files = dir.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto d = ParseSweepFile(std::string_view(bytes.constData(), bytes.size()));
        EXPECT_EQ(d.x.size(), d.y.size()) << name.toStdString();
        EXPECT_LE(static_cast<std::int64_t>(d.x.size()), d.valueCount) << name.toStdString();
        for (double y : d.y)
            EXPECT_TRUE(std::isfinite(y)) << name.toStdString();
    }
}

TEST(SweepParse, SinglePassReadsExactlyAsFieldsFirst) {
    std::mt19937 rng(11);
    const std::string pieces[] = {"-50.25", "-1.#J", "-inf", "12", "+3", ".5", "1e2", "1.5e", "-", "--5", "5-3",
                                  "x", "", " ", "  ", ",", ",,", "\t", "\r", "\n", "\"q\"", "-1.#INF", "0x10",
                                  "2026-12-07", "21:00:00", "100000000", "1000", "10", "nan", "1e999", "\x01"};
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int n = 1 + static_cast<int>(rng() % 30);
        if (rng() % 2)
            text = "d, t, 100, 200, 10, 5";
        for (int i = 0; i < n; ++i) {
            text += (rng() % 3) ? ", " : (rng() % 2 ? "," : " ");
            text += pieces[rng() % std::size(pieces)];
        }
        if (rng() % 4 == 0)
            text += ",";
        SweepData a, b;
        ParseSweepFileLines(text, a, true);
        ParseSweepFileLines(text, b, false);
        ASSERT_EQ(a.ok, b.ok) << text;
        ASSERT_EQ(a.valueCount, b.valueCount) << text;
        ASSERT_EQ(a.x, b.x) << text;
        ASSERT_EQ(a.y, b.y) << text;
        ASSERT_EQ(a.lastStepText, b.lastStepText) << text;
    }
    // And on the real captures, where they are.
    const QDir samples(SKYVANE_SAMPLES_DIR);
    if (!samples.exists())
        GTEST_SKIP() << "no real captures at " << SKYVANE_SAMPLES_DIR << " (the shared folder is not beside this clone)";
    for (const QString &name : samples.entryList({"*.csv"})) {
        QFile f(samples.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        SweepData a, b;
        ParseSweepFileLines(std::string_view(bytes.constData(), bytes.size()), a, true);
        ParseSweepFileLines(std::string_view(bytes.constData(), bytes.size()), b, false);
        EXPECT_EQ(a.ok, b.ok) << name.toStdString();
        EXPECT_EQ(a.y, b.y) << name.toStdString();
    }
}

TEST(SweepParse, EveryDecimalTextReadsAsTheGeneralReaderReadsIt) {
    // Levels of every length around the shortcut's limit of 15 digits, with leading and
    // trailing zeros, halfway cases and exponents: the same bits as from_chars, sign of zero too.
    std::mt19937_64 rng(5);
    auto digits = [&](int n) {
        std::string d;
        for (int i = 0; i < n; ++i)
            d += static_cast<char>('0' + (rng() % 4 == 0 ? (rng() % 2) * 9 : rng() % 10));
        return d;
    };
    const char *tails[] = {"", "", "", "e2", "E-3", "e", "x", "."};
    for (int round = 0; round < 3000; ++round) {
        std::string line = "d, t, 100, 200, 10, 5";
        std::vector<std::string> texts;
        for (int i = 0; i < 12; ++i) {
            std::string t = rng() % 3 == 0 ? "-" : "";
            const int whole = static_cast<int>(rng() % 18), frac = static_cast<int>(rng() % 18);
            t += digits(whole);
            if (rng() % 4 != 0) {
                t += '.'; // not "." + digits(...): GCC 12 at -O3 warns wrongly of overlapping copies there
                t += digits(frac);
            }
            if (rng() % 6 == 0)
                t += tails[rng() % std::size(tails)];
            texts.push_back(t);
            line += ", " + t;
        }
        SweepData a, b;
        ParseSweepFileLines(line, a, true);
        ParseSweepFileLines(line, b, false);
        ASSERT_EQ(a.ok, b.ok) << line;
        ASSERT_EQ(a.y.size(), b.y.size()) << line;
        for (std::size_t i = 0; i < a.y.size(); ++i)
            ASSERT_EQ(std::memcmp(&a.y[i], &b.y[i], sizeof(double)), 0)
                << texts[i] << " read as " << a.y[i] << " and " << b.y[i];
    }
    // Short texts of digits, points, signs and other bytes (bytes of 0xFA and more among them),
    // ended in every way, at every distance from the line's end: the single pass reads them as
    // the general reader does.
    const std::string alphabet = std::string("0123456789.,-+eE \t\x01x/:?") + "\xFA\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string line = "d, t, 100, 200, 10, 5";
        const int fields = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < fields; ++i) {
            line += rng() % 4 ? ", " : ",";
            if (rng() % 3 == 0)
                line += '-';
            const int length = static_cast<int>(rng() % 9);
            for (int k = 0; k < length; ++k)
                line += rng() % 3 ? static_cast<char>('0' + rng() % 10) : alphabet[rng() % alphabet.size()];
        }
        line.append(rng() % 8, ' ');
        SweepData a, b;
        ParseSweepFileLines(line, a, true);
        ParseSweepFileLines(line, b, false);
        ASSERT_EQ(a.ok, b.ok) << line;
        ASSERT_EQ(a.valueCount, b.valueCount) << line;
        ASSERT_EQ(a.y.size(), b.y.size()) << line;
        for (std::size_t i = 0; i < a.y.size(); ++i)
            ASSERT_EQ(std::memcmp(&a.y[i], &b.y[i], sizeof(double)), 0) << line << ": " << a.y[i] << " and " << b.y[i];
    }
    // Values at the shortcut's edge, against from_chars itself.
    for (const char *t : {"999999999999999", "99999999999999.9", "0.000000000000001", "9007199254740993",
                          "123456789012345.6", "-0.00", "0", "35.47", "0.1", "1.7976931348623157"}) {
        SweepData d;
        ParseSweepFileLines(std::string("d, t, 100, 200, 10, 5, ") + t, d, true);
        ASSERT_TRUE(d.ok) << t;
        const bool negative = t[0] == '-';
        double want = 0;
        const char *b = t + (negative ? 1 : 0);
        std::from_chars(b, b + std::strlen(b), want);
        if (negative)
            want = -want;
        ASSERT_EQ(d.y.size(), 1u);
        EXPECT_EQ(std::memcmp(&d.y[0], &want, sizeof want), 0) << t << ": " << d.y[0] << " vs " << want;
    }
}

TEST(SweepAnalysis, PeaksStoredAreExactlyThoseOfABinByBinSearch) {
    // Random sweeps of every small length and some long ones, noise with flat runs, NaN now and
    // then; a mark past the counted size shows a write beyond it. The marks are left dirty from
    // the round before, as a reused buffer is.
    std::mt19937 rng(3);
    std::vector<std::uint64_t> bits;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = round < 2000 ? static_cast<std::size_t>(round % 140) : 1 + rng() % 5000;
        std::vector<double> x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = 1e6 + static_cast<double>(i);
            y[i] = -50 + static_cast<double>(rng() % (round % 3 == 0 ? 3 : 40));
            if (round % 7 == 0 && rng() % 50 == 0)
                y[i] = std::nan("");
        }
        const double threshold = round % 5 == 0 ? 1e9 : -48.5; // none, or about half the peaks
        std::vector<double> wantX, wantY;
        for (std::size_t i = 1; i + 1 < n; ++i)
            if (IsPeak(y.data(), i) && y[i] > threshold) {
                wantX.push_back(x[i]);
                wantY.push_back(y[i]);
            }
        const std::size_t count = MarkPeaks(y.data(), n, threshold, bits);
        ASSERT_EQ(count, wantX.size()) << "round " << round;
        // one more place, holding a mark no write may touch
        std::vector<double> px(count + 1, 12345.0), py(count + 1, 12345.0);
        StoreMarkedPeaks(x.data(), y.data(), bits, px.data(), py.data());
        ASSERT_EQ(px.back(), 12345.0) << "round " << round;
        ASSERT_EQ(py.back(), 12345.0) << "round " << round;
        px.pop_back();
        py.pop_back();
        ASSERT_EQ(px, wantX) << "round " << round;
        ASSERT_EQ(py, wantY) << "round " << round;
    }
}
