// Reading sweeps a piece of the file at a time must read exactly what reading the whole text reads.
#include "scan/sweep_file.h"
#include "scan/sweep_split.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace sky;

namespace {

// A capture of a few sweeps with what real and damaged files hold: hops out of order, repeated
// time stamps, lines without text between and inside sweeps, bad levels, quotes, NUL bytes,
// minus infinity, every line end, with or without a final one, and lines longer than a piece.
std::string randomCapture(std::mt19937 &rng) {
    const char *ends[] = {"\n", "\r\n", "\r"};
    const char *blanks[] = {"", " ", ",,", " , ,\t"};
    const char *levels[] = {"-50.25", "-1.#J", "-inf", "12", "+3.5", "oops", "\"-7\"", "", "1e999", "-0.00"};
    std::string text;
    const int lines = static_cast<int>(rng() % 14);
    int stamp = 0;
    long hz = 100;
    for (int l = 0; l < lines; ++l) {
        const unsigned kind = rng() % 10;
        if (kind == 0) {
            text += blanks[rng() % std::size(blanks)];
        } else {
            if (rng() % 4 == 0)
                ++stamp; // a new sweep by its time stamp
            if (rng() % 5 == 0)
                hz = 100; // or by its start frequency falling back
            text += "2026-12-09, 10:00:0" + std::to_string(stamp % 10) + ", " + std::to_string(hz) + ", " +
                    std::to_string(hz + 40) + ", 10, 5";
            hz += 50;
            const int n = rng() % 8 == 0 ? 3000 + static_cast<int>(rng() % 200) : static_cast<int>(rng() % 6);
            for (int i = 0; i < n; ++i) {
                text += ", ";
                if (rng() % 30 == 0)
                    text += levels[rng() % std::size(levels)];
                else
                    text += "-" + std::to_string(rng() % 90) + "." + std::to_string(10 + rng() % 90);
            }
            if (rng() % 40 == 0)
                text += std::string(1, '\0') + "after a NUL";
        }
        if (l + 1 < lines || rng() % 2)
            text += ends[rng() % std::size(ends)];
    }
    return text;
}

void writeFile(const QString &path, const std::string &text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(text.data(), static_cast<qint64>(text.size())), static_cast<qint64>(text.size()));
}

// Equal bit for bit, NaN included.
bool sameDoubles(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

} // namespace

TEST(SweepStream, RunsOfWholeLinesGiveTheTextAndItsLinesForAnyPieceSize) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("capture.csv");
    std::mt19937 rng(5);
    std::vector<std::string_view> whole, part;
    for (int round = 0; round < 400; ++round) {
        const std::string text = randomCapture(rng);
        writeFile(path, text);
        SplitSweepLines(text, whole);
        for (const std::size_t piece : {16, 17, 100, 4096}) {
            LineRunReader reader(piece);
            ASSERT_TRUE(reader.Open(path));
            EXPECT_EQ(reader.Size(), static_cast<qint64>(text.size()));
            std::string joined;
            std::vector<std::string> lines;
            std::string_view run;
            while (reader.Next(run)) {
                ASSERT_FALSE(run.empty());
                joined += run;
                // Every run but the last ends a line, and a CR LF is never cut in two.
                if (joined.size() < text.size()) {
                    ASSERT_TRUE(run.back() == '\n' || run.back() == '\r') << round << " piece " << piece;
                    ASSERT_FALSE(run.back() == '\r' && text[joined.size()] == '\n') << round << " piece " << piece;
                }
                SplitSweepLines(run, part);
                lines.insert(lines.end(), part.begin(), part.end());
            }
            ASSERT_EQ(joined, text) << round << " piece " << piece;
            ASSERT_EQ(lines, std::vector<std::string>(whole.begin(), whole.end())) << round << " piece " << piece;
            EXPECT_EQ(reader.EndedWithLineBreak(), text.empty() || text.back() == '\n' || text.back() == '\r');
            EXPECT_EQ(reader.Unread(), 0);
        }
    }
    LineRunReader none;
    EXPECT_FALSE(none.Open(dir.filePath("missing.csv")));
}

TEST(SweepStream, SweepsReadPieceByPieceAreThoseOfTheWholeText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("capture.csv");
    std::mt19937 rng(9);
    int failed = 0, read = 0;
    for (int round = 0; round < 600; ++round) {
        std::string text;
        for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k)
            text += randomCapture(rng) + "\n";
        if (rng() % 3 == 0)
            text.pop_back();
        writeFile(path, text);
        const std::vector<SweepSpan> spans = SplitSweeps(text);
        EXPECT_EQ(CountCaptureSweeps(path), static_cast<qint64>(spans.size())) << round;
        for (const std::size_t piece : {16, 200, 256 * 1024}) {
            CaptureReader reader(piece);
            QString why;
            ASSERT_TRUE(reader.Open(path, why)) << why.toStdString();
            SweepParser parser;
            SweepData d;
            std::size_t first = 0, k = 0;
            while (reader.NextSweep(&parser, &d, first)) {
                ASSERT_LT(k, spans.size()) << round;
                const SweepData w = ParseSweepFile(spans[k].text);
                ASSERT_EQ(first, spans[k].firstLine) << round << " sweep " << k;
                ASSERT_EQ(d.ok, w.ok) << round << " sweep " << k;
                ASSERT_EQ(d.failure, w.failure) << round << " sweep " << k;
                ASSERT_EQ(d.valueCount, w.valueCount) << round << " sweep " << k;
                ASSERT_EQ(d.lastStepText, w.lastStepText) << round << " sweep " << k;
                ASSERT_TRUE(sameDoubles(d.x, w.x)) << round << " sweep " << k;
                ASSERT_TRUE(sameDoubles(d.y, w.y)) << round << " sweep " << k;
                ASSERT_EQ(d.ascending, w.ascending) << round << " sweep " << k;
                EXPECT_EQ(SweepFailureText(d, first), SweepFailureText(spans[k])) << round << " sweep " << k;
                failed += !d.ok;
                read += d.ok;
                ++k;
            }
            ASSERT_EQ(k, spans.size()) << round;
        }
    }
    // The random captures did reach both ends.
    EXPECT_GT(failed, 100);
    EXPECT_GT(read, 100);
}

// One sweep file read as the worker reads it: what ParseSweepFile reads of the whole text, and
// whether it ends with a line break as the whole text says (a last byte of NUL is no line break).
TEST(SweepStream, ASweepFileReadInRunsIsTheWholeTextsSweep) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("scan.csv");
    std::mt19937 rng(13);
    LineRunReader reader(16);
    SweepParser parser;
    SweepData d;
    for (int round = 0; round < 500; ++round) {
        std::string text = randomCapture(rng);
        if (round % 10 == 0)
            text += std::string(1 + rng() % 3, '\0'); // a tail of NUL bytes, as after a crash
        writeFile(path, text);
        ASSERT_TRUE(ReadSweepFile(path, reader, parser, d));
        const SweepData w = ParseSweepFile(text);
        ASSERT_EQ(d.ok, w.ok) << round;
        ASSERT_EQ(d.failure, w.failure) << round;
        ASSERT_EQ(d.valueCount, w.valueCount) << round;
        ASSERT_TRUE(sameDoubles(d.x, w.x)) << round;
        ASSERT_TRUE(sameDoubles(d.y, w.y)) << round;
        ASSERT_EQ(d.ascending, w.ascending) << round;
        EXPECT_EQ(reader.EndedWithLineBreak(), text.empty() || text.back() == '\n' || text.back() == '\r') << round;
        // Done with the file: it can go (an open file cannot be deleted on every system).
        ASSERT_TRUE(QFile::remove(path));
    }
    EXPECT_FALSE(ReadSweepFile(dir.filePath("missing.csv"), reader, parser, d));
}

// A file that grows while it is read is read as long as it was when opened, as a whole read
// takes it.
TEST(SweepStream, AFileIsReadAsLongAsItWasWhenOpened) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("growing.csv");
    const std::string first = "d, t, 100, 200, 10, 5, -1, -2\nd, t, 300, 400, 10, 5, -3";
    writeFile(path, first);
    LineRunReader reader(16);
    ASSERT_TRUE(reader.Open(path));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(", -4\nd, t, 500, 600, 10, 5, -5\n");
    }
    std::string joined;
    std::string_view run;
    while (reader.Next(run))
        joined += run;
    EXPECT_EQ(joined, first);
    EXPECT_FALSE(reader.EndedWithLineBreak());
}

TEST(SweepStream, CaptureFilesThatCannotBeReadSayWhyAsWhenReadWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString &path : {dir.filePath("missing.csv"), dir.path()}) {
        CaptureReader reader;
        QByteArray bytes;
        QString streamed, whole;
        EXPECT_FALSE(reader.Open(path, streamed));
        EXPECT_FALSE(ReadCaptureFile(path, bytes, whole));
        EXPECT_FALSE(streamed.isEmpty());
        EXPECT_EQ(streamed, whole);
        EXPECT_EQ(CountCaptureSweeps(path), 0);
    }
}
