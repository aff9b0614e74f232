#include "app/main_form.h"
#include "app/render_mode.h"
#include "app_test_support.h"
#include "scan/sweep_split.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace sky;
using namespace skytest;

namespace {

// Renders into a window of its own and gives back the JSON lines.
struct Render {
    QApplication &application = app();
    StartOptions options{{}, {}, true, false};
    TForm1 form{options};
    QList<QJsonObject> lines;
    bool ok = false;

    explicit Render(const QStringList &args) {
        const CommandLine cl = ParseCommandLine(QStringList{"--render", "unused.png"} + args);
        EXPECT_EQ(cl.action, CommandLine::Render) << cl.error.toStdString();
        FILE *out = std::tmpfile();
        ok = RenderInto(form, cl, out);
        lines = JsonLines(out);
    }
    // The waterfall picture's rows with colour at the middle column (row 0 is always black).
    int colouredRows() const {
        const QImage &pic = form.img2->Picture();
        int rows = 0;
        for (int y = 0; y < pic.height(); ++y)
            rows += pic.pixel(pic.width() / 2, y) != QColor(Qt::black).rgb();
        return rows;
    }
};

std::string hop(const char *stamp, long long lowHz, const char *levels) {
    return std::string("2026-12-07, ") + stamp + ", " + std::to_string(lowHz) + ", " + std::to_string(lowHz + 4000) +
           ", 1000, 10, " + levels + "\n";
}

// `sweeps` sweeps of two hops each, one second apart, noise with one moving peak.
std::string capture(int sweeps) {
    std::string text;
    for (int s = 0; s < sweeps; ++s) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        for (int h = 0; h < 2; ++h) {
            std::string levels;
            for (int i = 0; i < 5; ++i)
                levels += (levels.empty() ? "" : ", ") + std::string((h * 5 + i) == s % 10 ? "-20.5"
                                                                     : i % 2               ? "-50"
                                                                                           : "-52");
            text += hop(stamp, 100000000 + h * 5000, levels.c_str());
        }
    }
    return text;
}

} // namespace

TEST(RenderMulti, RealCapturesShowTheLastTraceOverARowPerSweep) {
    if (!QDir(SKYVANE_SAMPLES_DIR).exists())
        GTEST_SKIP() << "no real captures at " << SKYVANE_SAMPLES_DIR
                     << " (the shared folder is not beside this clone)";
    struct Case {
        const char *file;
        int sweeps, bins;
    } cases[] = {{"dmooney65_fm_stations.csv", 66, 7 * 33}, {"jackie-c_fm_stations30min_excel_1J.csv", 3, 8 * 33}};
    for (const Case &c : cases) {
        const QString path = QDir(SKYVANE_SAMPLES_DIR).filePath(QString::fromLatin1(c.file));
        Render r({"--size", "1200xauto", path});
        EXPECT_TRUE(r.ok) << c.file;
        ASSERT_EQ(r.lines.size(), 1);
        const QJsonObject &j = r.lines[0];
        EXPECT_TRUE(j["ok"].toBool()) << c.file << ": " << j["error"].toString().toStdString();
        EXPECT_EQ(j["sweeps"].toInt(), c.sweeps) << c.file;
        EXPECT_EQ(j["bins"].toInt(), c.bins) << c.file;
        EXPECT_FALSE(j.contains("error"));
        // One row per sweep under the black top row, and the window just tall enough for them.
        EXPECT_EQ(r.form.width(), 1200);
        EXPECT_GE(r.form.img2->height(), c.sweeps + 1) << c.file;
        EXPECT_EQ(r.colouredRows(), c.sweeps) << c.file;
        EXPECT_GE(r.form.ch->height(), TForm1::kChartMinHeight);
        // The trace is the last sweep's.
        const QByteArray bytes = readFile(path);
        const auto spans = SplitSweeps(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        SweepFindings last;
        IngestSweep(spans.back().text, false, last);
        ASSERT_EQ(r.form.spectrum.Series1.PointCount(), static_cast<int>(last.PointCount()));
        for (int i = 0; i < r.form.spectrum.Series1.PointCount(); ++i) {
            ASSERT_EQ(r.form.spectrum.Series1.XValues().Data()[i], last.data.x[static_cast<std::size_t>(i)]);
            ASSERT_EQ(r.form.spectrum.Series1.YValues().Data()[i], last.data.y[static_cast<std::size_t>(i)]);
        }
    }
}

TEST(RenderMulti, AutoHeightGrowsWithTheHistoryAndAFixedSizeKeepsTheNewestRows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    writeFile(path, QByteArray::fromStdString(capture(400)));
    {
        Render r({"--size", "800xauto", path});
        EXPECT_EQ(r.lines[0]["sweeps"].toInt(), 400);
        EXPECT_EQ(r.colouredRows(), 400);
        EXPECT_EQ(r.form.img2->height(), 401); // exactly: no stretched rows, no black ones
        EXPECT_EQ(r.form.width(), 800);
    }
    {
        Render r({"--size", "800x400", path});
        EXPECT_EQ(r.form.height(), 400);
        EXPECT_EQ(r.colouredRows(), r.form.img2->height() - 1); // full of the newest sweeps
    }
    // Two files of one range share the waterfall; a few sweeps stay within the default height.
    const QString small = dir.filePath("small.csv");
    writeFile(small, QByteArray::fromStdString(capture(3)));
    Render r({"--size", "716xauto", small, small});
    EXPECT_EQ(r.form.height(), 386);
    EXPECT_EQ(r.colouredRows(), 6);
}

TEST(RenderMulti, FailuresSayWhyAndWhereAndKeepThePreviousSweep) {
    QTemporaryDir dir;
    auto file = [&](const char *name, const std::string &text) {
        writeFile(dir.filePath(name), QByteArray::fromStdString(text));
        return dir.filePath(name);
    };
    const std::string good = capture(2);
    const QString shortLine = file("short.csv", good + hop("00:00:05", 100000000, "-1, -2") + "2026-12-07, 00:00:05\n");
    const QString badLevel = file("level.csv", good + hop("00:00:05", 100000000, "-1, x"));
    const QString empty = file("empty.csv", "");
    const QString blank = file("blank.csv", ",,,,,\r\n\r\n");
    const QString headers = file("headers.csv", "d, t, 1, 2, 3, 4\nd, t, 2, 3, 4, 5\n");
    Render r({shortLine, badLevel, empty, blank, headers, dir.filePath("missing.csv"), dir.path()});
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.lines.size(), 7);
    struct Expect {
        int sweeps;
        const char *error;
    } expect[] = {{2, "line 6: fewer than five fields"},
                  {2, "line 5: level is not a number"},
                  {0, "no value"},
                  {0, "no value"},
                  {0, "no value"},
                  {0, "no such file"},
                  {0, "not a file"}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(r.lines[i]["ok"].toBool()) << i;
        EXPECT_EQ(r.lines[i]["sweeps"].toInt(), expect[i].sweeps) << i;
        EXPECT_EQ(r.lines[i]["error"].toString().toStdString(), expect[i].error) << i;
    }
    // The failed sweep leaves the trace of the sweep before it.
    Render one({shortLine});
    EXPECT_EQ(one.form.spectrum.Series1.PointCount(), 10);
    EXPECT_EQ(one.form.spectrum.Series1.YValues().Data()[1], -20.5); // sweep 2's peak
    EXPECT_EQ(one.colouredRows(), 2);
}

TEST(RenderMulti, ProcessWritesOnlyThePictureAndTakesWidthByAuto) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv"), png = dir.filePath("out.png");
    const QByteArray text = QByteArray::fromStdString(capture(600));
    writeFile(path, text);
    QProcess p;
    p.setProgram(SKYVANE_EXE_PATH);
    p.setArguments({"--render", png, "--size", "1000xauto", "--plugins-dir", dir.path(), path});
    p.start();
    // Only a guard against a hang: under ThreadSanitizer Qt's threaded image scaling makes this
    // render take a minute and more.
    ASSERT_TRUE(p.waitForFinished(600000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_EQ(out.count('\n'), 1);
    EXPECT_TRUE(out.contains("\"sweeps\":600"));
    const QImage img(png);
    EXPECT_EQ(img.width(), 1000);
    EXPECT_GT(img.height(), 600);
    EXPECT_EQ(readFile(path), text);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // the input and the picture

    for (const QStringList &bad :
         {QStringList{"--render", png, "--size", "1000xAUTOx", path},
          QStringList{"--render", png, "--size", "xauto", path}, QStringList{"--size", "1000xauto"},
          QStringList{"--render", png, "--replay", path, path}}) {
        const CommandLine cl = ParseCommandLine(bad);
        EXPECT_EQ(cl.action, CommandLine::Fail) << bad.join(' ').toStdString();
    }
    const CommandLine cl = ParseCommandLine({"--render", png, "--size", "1000xauto", path});
    EXPECT_TRUE(cl.autoHeight);
    EXPECT_EQ(cl.width, 1000);
}
