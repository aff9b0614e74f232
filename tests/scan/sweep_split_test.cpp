#include "scan/sweep_ingest.h"
#include "scan/sweep_split.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using namespace sky;

namespace {

std::vector<std::string> texts(std::string_view capture) {
    std::vector<std::string> out;
    for (const SweepSpan &s : SplitSweeps(capture))
        out.emplace_back(s.text);
    return out;
}

using V = std::vector<std::string>;

QByteArray readSample(const char *name) {
    QFile f(QDir(SKYVANE_SAMPLES_DIR).filePath(QString::fromLatin1(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(SweepSplit, TimeStampChangeAndFallingOrRepeatedStartFrequencyStartASweep) {
    // Two hops per sweep; the third sweep has the second's time stamp (two sweeps in one second)
    // and is told apart by its start frequency falling back.
    const std::string capture = "d1, t1, 100, 200, 10, 5, -1, -2\n"
                                "d1, t1, 200, 300, 10, 5, -3, -4\n"
                                "d1, t2, 100, 200, 10, 5, -5, -6\n"
                                "d1, t2, 200, 300, 10, 5, -7, -8\n"
                                "d1, t2, 100, 200, 10, 5, -9, -9\n";
    EXPECT_EQ(texts(capture), V({"d1, t1, 100, 200, 10, 5, -1, -2\nd1, t1, 200, 300, 10, 5, -3, -4",
                                 "d1, t2, 100, 200, 10, 5, -5, -6\nd1, t2, 200, 300, 10, 5, -7, -8",
                                 "d1, t2, 100, 200, 10, 5, -9, -9"}));
    // One hop per sweep with the same stamp: an equal start frequency does not rise.
    EXPECT_EQ(texts("d, t, 5, 6, 1, 1, -1\nd, t, 5, 6, 1, 1, -2\n").size(), 2u);
    // A change of date alone is a new stamp; quotes and blanks do not make a stamp differ.
    EXPECT_EQ(texts("d1, t, 5, 6, 1, 1, -1\nd2, t, 6, 7, 1, 1, -2").size(), 2u);
    EXPECT_EQ(texts("\"d\",t,5,6,1,1,-1\r\n  d ,  \"t\"  ,6,7,1,1,-2\r\n").size(), 1u);
    EXPECT_TRUE(texts("").empty());
    EXPECT_TRUE(texts("\n\n,,,,\n  \r\n").empty());
}

TEST(SweepSplit, ViewsIntoTheTextWithLineNumbersAndSeparatorLinesLeftOut) {
    const std::string capture = ",,,,\n"
                                "d, t1, 100, 200, 10, 5, -1\r\n"
                                "\r\n"
                                "d, t1, 200, 300, 10, 5, -2\r\n"
                                " , , ,\r\n"
                                "d, t2, 100, 200, 10, 5, -3";
    const auto spans = SplitSweeps(capture);
    ASSERT_EQ(spans.size(), 2u);
    // The empty line inside the first sweep stays in it (its ingest then refuses it); the blank
    // lines around sweeps are in none.
    EXPECT_EQ(spans[0].text, "d, t1, 100, 200, 10, 5, -1\r\n\r\nd, t1, 200, 300, 10, 5, -2");
    EXPECT_EQ(spans[0].firstLine, 1u);
    EXPECT_EQ(spans[1].text, "d, t2, 100, 200, 10, 5, -3");
    EXPECT_EQ(spans[1].firstLine, 5u);
    for (const SweepSpan &s : spans) {
        EXPECT_GE(s.text.data(), capture.data());
        EXPECT_LE(s.text.data() + s.text.size(), capture.data() + capture.size());
    }
    // A line without a readable start frequency stays with its stamp's sweep.
    EXPECT_EQ(texts("d, t, 100, 0, 1, 1, -1\nd, t, x, 0, 1, 1, -1\nd, t, 50, 0, 1, 1, -1\n").size(), 2u);
}

TEST(SweepSplit, RealCapturesGiveEverySweepAndItsLastTrace) {
    if (!QDir(SKYVANE_SAMPLES_DIR).exists())
        GTEST_SKIP() << "no real captures at " << SKYVANE_SAMPLES_DIR
                     << " (the shared folder is not beside this clone)";
    struct Case {
        const char *file;
        std::size_t sweeps, linesPerSweep, valuesPerSweep;
        double firstHz;
    } cases[] = {
        {"dmooney65_fm_stations.csv", 66, 7, 7 * 33, 88000000},
        {"jackie-c_fm_stations_win_1J.csv", 67, 8, 8 * 33, 88000000},
        // Spreadsheet round trip: CRLF, an all-comma line between sweeps, 30 minutes apart.
        {"jackie-c_fm_stations30min_excel_1J.csv", 3, 8, 8 * 33, 88000000},
        {"jj1bdx_nhkfm3_peakhold.csv", 299, 1, 129, 88050000},
        {"gfckhz_scan_100M-1G_1M.csv", 2, 900, 1800, 100000000},
    };
    for (const Case &c : cases) {
        const QByteArray bytes = readSample(c.file);
        ASSERT_FALSE(bytes.isEmpty()) << c.file;
        const std::string_view capture(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        const auto spans = SplitSweeps(capture);
        ASSERT_EQ(spans.size(), c.sweeps) << c.file;
        std::optional<double> previousTime;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            SweepFindings f;
            IngestSweep(spans[i].text, true, f);
            ASSERT_TRUE(f.Complete()) << c.file << " sweep " << i << ": " << f.data.failure;
            EXPECT_EQ(f.data.valueCount, static_cast<std::int64_t>(c.valuesPerSweep)) << c.file << " sweep " << i;
            EXPECT_EQ(f.data.x.front(), c.firstHz) << c.file << " sweep " << i;
            EXPECT_EQ(std::count(spans[i].text.begin(), spans[i].text.end(), '\n') + 1, c.linesPerSweep)
                << c.file << " sweep " << i;
            // Time stamps run forward.
            const auto t = SweepTimeSeconds(spans[i].text);
            ASSERT_TRUE(t) << c.file << " sweep " << i;
            if (previousTime) {
                EXPECT_GE(*t, *previousTime) << c.file << " sweep " << i;
            }
            previousTime = t;
        }
        // The last sweep is the tail of the file: its last line ends where the text's data ends.
        const std::string_view last = spans.back().text;
        std::string_view tail = capture;
        while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r'))
            tail.remove_suffix(1);
        EXPECT_EQ(last.data() + last.size(), tail.data() + tail.size()) << c.file;
    }
    // The last trace of the 66-sweep capture, checked against its last lines read on their own.
    const QByteArray bytes = readSample("dmooney65_fm_stations.csv");
    const std::string_view capture(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const auto spans = SplitSweeps(capture);
    const std::size_t lastStart = capture.rfind("2017-02-03, 11:56:18, 88000000");
    ASSERT_NE(lastStart, std::string_view::npos);
    EXPECT_EQ(spans.back().text.data(), capture.data() + lastStart);
    EXPECT_EQ(*SweepTimeSeconds(spans.back().text) - *SweepTimeSeconds(spans.front().text), 650.0);
    const QByteArray win = readSample("jackie-c_fm_stations30min_excel_1J.csv");
    const auto winSpans = SplitSweeps(std::string_view(win.constData(), static_cast<std::size_t>(win.size())));
    EXPECT_EQ(*SweepTimeSeconds(winSpans[2].text) - *SweepTimeSeconds(winSpans[0].text), 3600.0);
}

TEST(SweepSplit, TimeStampsInBothDateOrdersAcrossMidnight) {
    const auto a = SweepTimeSeconds("2016-11-15, 23:59:55, 1, 2, 3, 4, 5");
    const auto b = SweepTimeSeconds("2016-11-16, 00:00:05.5, 1, 2, 3, 4, 5\nmore");
    const auto c = SweepTimeSeconds("16/11/2016, 00:00:05.5,1");
    ASSERT_TRUE(a && b && c);
    EXPECT_DOUBLE_EQ(*b - *a, 10.5);
    EXPECT_DOUBLE_EQ(*c, *b);
    EXPECT_DOUBLE_EQ(*SweepTimeSeconds("1970-01-01, 00:00:01"), 1.0);
    for (const char *bad : {"", ",,,,", "2016-13-01, 10:00:00", "2016-11-15, 10:00", "2016-11-15, 10:61:00",
                            "x, 10:00:00", "2016-11-15, 10:00:-1", "2016-11-15, 10:00:nan"})
        EXPECT_FALSE(SweepTimeSeconds(bad)) << bad;
}

// On any text the sweeps are in order, do not overlap, start and end at line boundaries, and
// together hold every line that has text.
TEST(SweepSplit, AnyTextIsCoveredLineByLineInOrder) {
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789,, ,\n\n\r\"-.dtx\t";
    std::vector<std::string_view> lines;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(rng() % 300);
        for (int i = 0; i < length; ++i)
            text += rng() % 50 == 0 ? char(rng() % 256) : alphabet[rng() % alphabet.size()];
        const auto spans = SplitSweeps(text);
        SplitSweepLines(text, lines);
        // Text: a character other than a comma or a blank (codes 1 to 32) before any NUL.
        auto hasText = [](std::string_view l) {
            for (const char c : l) {
                if (c == '\0')
                    return false;
                if (c != ',' && !(c >= 1 && c <= ' '))
                    return true;
            }
            return false;
        };
        const char *end = text.data();
        std::size_t covered = 0;
        for (const SweepSpan &s : spans) {
            ASSERT_GE(s.text.data(), end);
            ASSERT_LE(s.text.data() + s.text.size(), text.data() + text.size());
            ASSERT_LT(s.firstLine, lines.size());
            ASSERT_EQ(s.text.data(), lines[s.firstLine].data()); // starts at its line
            ASSERT_FALSE(s.text.empty());
            end = s.text.data() + s.text.size();
            covered += static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](std::string_view l) {
                return l.data() >= s.text.data() && l.data() + l.size() <= end && hasText(l);
            }));
        }
        const auto withText = std::count_if(lines.begin(), lines.end(), hasText);
        ASSERT_EQ(covered, static_cast<std::size_t>(withText)) << text;
    }
}
