// Levels kept as whole hundredths: the reader keeps them so exactly when every level read is one,
// and the values, the analysis and the peaks are those of the doubles, bit for bit.
#include "platform/hundredths.h"
#include "scan/sweep_file.h"
#include "scan/sweep_ingest.h"
#include "scan/sweep_split.h"
#include "scan/trace_average.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace sky;

namespace {

void parse(std::string_view text, SweepData &d, bool compact, bool singlePass = true) {
    SweepParser parser(singlePass);
    parser.SetCompactPoints(compact);
    parser.Parse(text, d);
}

std::vector<double> frequenciesOf(const SweepData &d) {
    if (!d.compact)
        return d.x;
    std::vector<double> v;
    SpellOutRuns(d.xr, d.yh.size(), d.xOffset, v);
    return v;
}

std::vector<double> levelsOf(const SweepData &d) {
    if (!d.compact)
        return d.y;
    std::vector<double> v;
    SpellOutHundredths(d.yh.data(), d.yh.size(), v);
    return v;
}

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether every level is exactly some hundredths in 16 bits, as the reader must then keep them.
bool allHundredths(const std::vector<double> &y) {
    for (double v : y) {
        std::int16_t h = 0;
        if (!ToHundredths(v, h))
            return false;
    }
    return true;
}

// A line of hops with levels of every kind: rtl_power's two decimals mostly, and now and then
// what is not exactly some hundredths, or not a number at all.
std::string randomSweep(std::mt19937 &rng, int hops) {
    const char *odd[] = {"-0.00", "-0", "0.00", "+0.00", "327.67", "327.68", "-327.68", "-327.69", "1.005",
                         "-1.#J", "-inf", "1e1",   "2.50",   "12",     ".5",     "-45.230", "nan",    "x"};
    std::string text;
    long long low = 24000000;
    for (int h = 0; h < hops; ++h) {
        const int bins = 1 + static_cast<int>(rng() % 300);
        text += "2026-12-09, 11:00:00, " + std::to_string(low) + ", " + std::to_string(low + bins * 1000) +
                ", 1000.00, 10";
        for (int i = 0; i < bins; ++i) {
            text += ", ";
            if (rng() % 400 == 0) {
                text += odd[rng() % std::size(odd)];
            } else {
                char level[32];
                std::snprintf(level, sizeof level, "%.2f", -60.0 + static_cast<double>(rng() % 6000) / 100.0);
                text += level;
            }
        }
        text += rng() % 2 ? "\n" : "\r\n";
        low += bins * 1000;
    }
    return text;
}

} // namespace

TEST(Hundredths, OnlyValuesTheyHoldExactlyAreTaken) {
    for (int h = -32768; h <= 32767; ++h) {
        std::int16_t back = 0;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", h / 100.0);
        double read = 0;
        const char *b = text + (text[0] == '-');
        std::from_chars(b, text + std::strlen(text), read);
        if (text[0] == '-')
            read = -read;
        ASSERT_TRUE(sameBits(HundredthsValue(static_cast<std::int16_t>(h)), read)) << text;
        ASSERT_TRUE(ToHundredths(read, back) || (read == 0 && std::signbit(read))) << text;
        if (read != 0 || !std::signbit(read)) {
            ASSERT_EQ(back, h) << text;
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {-0.0, 327.68, -327.69, 0.001, 1.005, 0.1 + 0.2, inf, -inf, std::nan(""), 1e300}) {
        std::int16_t h = 0;
        EXPECT_FALSE(ToHundredths(v, h)) << v;
    }
}

TEST(Hundredths, TheReaderKeepsThemExactlyWhenEveryLevelIsOne) {
    std::mt19937 rng(2512);
    int compactSweeps = 0, spelledSweeps = 0;
    for (int round = 0; round < 400; ++round) {
        const std::string text = randomSweep(rng, 1 + static_cast<int>(rng() % 6));
        SweepData packed, doubles, fieldsFirst;
        parse(text, packed, true);
        parse(text, doubles, false);
        parse(text, fieldsFirst, true, false); // the general reader, compact too
        ASSERT_EQ(fieldsFirst.compact, packed.compact) << text;
        ASSERT_TRUE(sameBits(frequenciesOf(fieldsFirst), doubles.x)) << text;
        ASSERT_TRUE(sameBits(levelsOf(fieldsFirst), doubles.y)) << text;
        ASSERT_FALSE(doubles.compact);
        ASSERT_EQ(packed.ok, doubles.ok) << text;
        ASSERT_EQ(packed.failure, doubles.failure) << text;
        ASSERT_EQ(packed.valueCount, doubles.valueCount) << text;
        ASSERT_EQ(packed.ascending, doubles.ascending) << text;
        ASSERT_TRUE(sameBits(frequenciesOf(packed), doubles.x)) << text;
        for (std::size_t i = 0; i < doubles.x.size(); ++i) // read by index, as the window reads them
            ASSERT_TRUE(sameBits(packed.Frequency(i), doubles.x[i])) << text << " at " << i;
        ASSERT_TRUE(sameBits(levelsOf(packed), doubles.y)) << text;
        ASSERT_EQ(packed.compact, allHundredths(doubles.y)) << text;
        if (packed.compact) {
            ASSERT_TRUE(packed.y.empty() && packed.x.empty());
            ASSERT_LE(packed.xr.size(), static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')))
                << "a run a hop";
        } else {
            ASSERT_TRUE(packed.yh.empty() && packed.xr.empty());
        }
        (packed.compact ? compactSweeps : spelledSweeps)++;
    }
    EXPECT_GT(compactSweeps, 50);
    EXPECT_GT(spelledSweeps, 50);
    // A reused SweepData starts every sweep in hundredths again, and a failure part-way keeps
    // the points before it in either form.
    SweepData d;
    parse("d, t, 100, 200, 10, 5, 1.005, 2.00\n", d, true);
    EXPECT_FALSE(d.compact);
    parse("d, t, 100, 200, 10, 5, 1.25, -2.00, oops\n", d, true);
    EXPECT_FALSE(d.ok);
    EXPECT_TRUE(d.compact);
    EXPECT_EQ(levelsOf(d), (std::vector<double>{1.25, -2.0}));
    // more values than any sweep holds: the failing line's points go, in hundredths as in y
    SweepData many;
    SweepParser parser;
    parser.SetCompactPoints(true);
    parser.Begin(many, 0);
    parser.Line("d, t, 100, 200, 10, 5, 1.25, -2.00", many);
    many.valueCount = kMaxSweepValues - 1;
    EXPECT_FALSE(parser.Line("d, t, 200, 300, 10, 5, 3.50, 4.50", many));
    EXPECT_TRUE(many.compact);
    EXPECT_EQ(levelsOf(many), (std::vector<double>{1.25, -2.0}));
    EXPECT_EQ(frequenciesOf(many), (std::vector<double>{100, 110}));
    EXPECT_EQ(many.xr.size(), 1u);
}

// The analysis of hundredths against the analysis of their doubles: extremes, noise bit for bit,
// and peaks, with thresholds on and between hundredths and beyond their range.
TEST(Hundredths, TheAnalysisFindsWhatItFindsInTheirDoubles) {
    std::mt19937 rng(7);
    std::vector<std::uint64_t> bitsH, bitsD;
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = round < 1000 ? static_cast<std::size_t>(round % 70) : 1 + rng() % 4000;
        std::vector<std::int16_t> h(n);
        std::vector<double> x(n), y(n);
        const FrequencyRun hop{0, 1e8, 1000.0 + round}; // the frequencies as one run, and spelled out
        const FrequencyRunReader runs(&hop, 1, n, 0);
        const int spread = round % 3 == 0 ? 3 : round % 3 == 1 ? 400 : 65536;
        for (std::size_t i = 0; i < n; ++i) {
            h[i] = static_cast<std::int16_t>(spread == 65536 ? static_cast<int>(rng() % 65536) - 32768
                                                             : -4500 + static_cast<int>(rng() % spread));
            y[i] = HundredthsValue(h[i]);
            x[i] = RunFrequency(hop, i, 0);
        }
        const SweepExtremes eh = FindExtremes(h.data(), n), ed = FindExtremes(y.data(), n);
        ASSERT_EQ(eh.maxIndex, ed.maxIndex) << round;
        ASSERT_EQ(eh.minIndex, ed.minIndex) << round;
        const auto nh = NoiseLevel(h.data(), n, ed.maxIndex), nd = NoiseLevel(y.data(), n, ed.maxIndex);
        ASSERT_EQ(nh.has_value(), nd.has_value()) << round;
        if (nd) {
            ASSERT_TRUE(sameBits(*nh, *nd)) << round << ": " << *nh << " and " << *nd;
        }
        const double inf = std::numeric_limits<double>::infinity();
        const double level = n ? y[rng() % n] : -45.0;
        for (double threshold : {level, std::nextafter(level, inf), std::nextafter(level, -inf), level + 0.005,
                                 nd.value_or(0) + kPeakMarginDb, -327.68, -327.69, 327.67, 400.0, -inf, inf,
                                 std::nan("")}) {
            const std::size_t ch = MarkPeaks(h.data(), n, threshold, bitsH), cd = MarkPeaks(y.data(), n, threshold, bitsD);
            ASSERT_EQ(ch, cd) << round << " above " << threshold;
            ASSERT_EQ(bitsH, bitsD) << round << " above " << threshold;
            std::vector<double> pxH(ch), pxD(cd), pyD(cd);
            std::vector<std::int16_t> pyH(ch);
            StoreMarkedPeaks(runs, h.data(), bitsH, pxH.data(), pyH.data());
            StoreMarkedPeaks(x.data(), y.data(), bitsD, pxD.data(), pyD.data());
            ASSERT_EQ(pxH, pxD);
            std::vector<double> spelled;
            SpellOutHundredths(pyH.data(), pyH.size(), spelled);
            ASSERT_TRUE(sameBits(spelled, pyD));
        }
    }
}

// Whole sweeps through the ingest, as the window and --render read them: the same findings from
// hundredths as from doubles; hops out of order and a running average take doubles.
TEST(Hundredths, SweepsIngestAsTheirDoublesDo) {
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::string text = randomSweep(rng, 1 + static_cast<int>(rng() % 5));
        if (round % 4 == 3) // a hop again at the start: out of order
            text += text.substr(0, text.find('\n') + 1);
        const bool averaging = round % 5 == 4;
        SweepFindings a, b;
        TTraceAverage avgA, avgB;
        avgA.SetCount(averaging ? 3 : 0);
        avgB.SetCount(averaging ? 3 : 0);
        for (int k = 0; k < 2; ++k) {
            parse(text, a.data, true);
            parse(text, b.data, false);
            AnalyseSweep(true, a, &avgA, round % 3 == 0 ? 125e6 : 0);
            AnalyseSweep(true, b, &avgB, round % 3 == 0 ? 125e6 : 0);
            if (a.averaged)
                avgA.Commit(a.average, a.data.y.data());
            if (b.averaged)
                avgB.Commit(b.average, b.data.y.data());
        }
        ASSERT_EQ(a.averaged, b.averaged);
        if (a.averaged || !a.data.ascending) {
            EXPECT_FALSE(a.data.compact) << "moved or averaged levels are doubles";
        }
        ASSERT_TRUE(sameBits(frequenciesOf(a.data), b.data.x)) << text;
        ASSERT_TRUE(sameBits(levelsOf(a.data), b.data.y)) << text;
        ASSERT_EQ(a.maxIndex, b.maxIndex);
        ASSERT_EQ(a.minIndex, b.minIndex);
        ASSERT_EQ(a.noiseDb.has_value(), b.noiseDb.has_value());
        if (b.noiseDb) {
            ASSERT_TRUE(sameBits(*a.noiseDb, *b.noiseDb));
        }
        ASSERT_EQ(a.peakCount, b.peakCount);
        ASSERT_EQ(a.peakX, b.peakX);
        std::vector<double> peaks = a.peakY;
        if (a.data.compact) {
            EXPECT_TRUE(a.peakY.empty());
            SpellOutHundredths(a.peakYh.data(), a.peakYh.size(), peaks);
        }
        ASSERT_TRUE(sameBits(peaks, b.peakY));
    }
}

// A capture read sweep by sweep sizes each sweep after the one before, in either form: a long
// capture of small sweeps never reserves the rest of the file again.
TEST(Hundredths, ACaptureSizesEachSweepAfterTheOneBefore) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.csv");
    std::string text;
    for (int sweep = 0; sweep < 2000; ++sweep) {
        text += "2026-12-09, 12:" + std::to_string(sweep / 60 % 60) + ":" + std::to_string(sweep % 60) +
                ", 100, 200, 10, 5";
        for (int i = 0; i < 10; ++i)
            text += ", -4" + std::to_string(i) + ".25";
        text += "\n";
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
    f.close();
    for (bool compact : {true, false}) {
        CaptureReader reader;
        QString error;
        ASSERT_TRUE(reader.Open(path, error));
        SweepParser parser;
        parser.SetCompactPoints(compact);
        std::size_t firstLine = 0;
        SweepData first, second; // a SweepData of its own each: its room is the reader's guess
        ASSERT_TRUE(reader.NextSweep(&parser, &first, firstLine));
        ASSERT_TRUE(reader.NextSweep(&parser, &second, firstLine));
        ASSERT_EQ(first.PointCount(), 10u);
        ASSERT_EQ(second.PointCount(), 10u);
        EXPECT_EQ(second.compact, compact);
        EXPECT_LT(std::max(second.yh.capacity(), second.y.capacity()), 1000u) << "compact " << compact;
    }
}
