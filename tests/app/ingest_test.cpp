// The sweep ingest as the window runs it: series, markers, waterfall, status panels, failures.
#include "app/main_form.h"
#include "app_test_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

// A window that only shows sweep files: no tool, no worker, no settings written.
struct Viewer {
    ErrorCollector errors;
    TForm1 form{StartOptions{{}, {}, true}};
    SpectrumSeries &s = form.spectrum;
    void ingest(const std::string &text) { form.AssembleSweep(text); }
};

std::string line(long long lowHz, double stepHz, const std::vector<std::string> &levels) {
    std::string l = "2026-12-07, 21:00:00, " + std::to_string(lowHz) + ", 0, " + std::to_string(stepHz) + ", 10";
    for (const auto &v : levels)
        l += ", " + v;
    return l + "\n";
}

std::vector<std::string> noise(int n, int peakAt = -1) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i)
        v.push_back(i == peakAt ? "-20.00" : (i % 2 ? "-50.00" : "-52.00"));
    return v;
}

} // namespace

TEST(Ingest, OneLineGivesPointsStatusAndMarkers) {
    Viewer v;
    v.ingest(line(100000000, 1000, noise(40, 25)));
    ASSERT_TRUE(v.form.LastSweep().ok);
    ASSERT_EQ(v.s.sweepSeries.PointCount(), 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(v.s.sweepSeries.XValue(i), 100000000.0 + 1000.0 * i);
    EXPECT_EQ(v.form.sb->PanelText(3), "FFT Point Size: 40");
    EXPECT_EQ(v.form.sb->PanelText(1), "Step: 1000.000000 Hz");
    EXPECT_TRUE(v.form.sb->PanelText(2).startsWith("Average Noise Level: -5"));
    EXPECT_TRUE(v.form.sb->PanelText(2).endsWith(" dB"));
    // The strongest bin, the noise line from the second to the last-but-one bin.
    ASSERT_EQ(v.s.Series3.PointCount(), 1);
    EXPECT_EQ(v.s.Series3.XValue(0), 100025000.0);
    EXPECT_EQ(v.s.Series3.PointColor(0), clLime);
    EXPECT_EQ(v.s.Series2.PointCount(), 38);
    EXPECT_EQ(v.s.Series2.XValue(0), 100001000.0);
    // The trace and its marker copy take the sweep; every point carries the chart colour.
    EXPECT_EQ(v.s.Series1.PointCount(), 40);
    EXPECT_EQ(v.s.Series5.PointCount(), 40);
    EXPECT_TRUE(v.s.Series5.Active());
    EXPECT_EQ(v.s.Series1.PointColor(7), v.form.flags.chartColor);
}

TEST(Ingest, OverlappingHopsInterleaveByFrequency) {
    Viewer v;
    v.ingest(line(1000, 10, noise(20, 5)) + line(1005, 10, noise(20)));
    ASSERT_EQ(v.s.sweepSeries.PointCount(), 40);
    EXPECT_EQ(v.s.sweepSeries.XValue(0), 1000);
    EXPECT_EQ(v.s.sweepSeries.XValue(1), 1005);
    EXPECT_EQ(v.s.sweepSeries.XValue(2), 1010);
    for (int i = 1; i < 40; ++i)
        ASSERT_LE(v.s.sweepSeries.XValue(i - 1), v.s.sweepSeries.XValue(i));
    // Equal frequencies stay separate, in file order.
    v.ingest(line(500, 1, {"-1", "-2", "-3"}) + line(500, 1, {"-9", "-8", "-7"}) + line(600, 1, noise(30, 3)));
    EXPECT_EQ(v.s.sweepSeries.YValue(0), -1);
    EXPECT_EQ(v.s.sweepSeries.YValue(1), -9);
}

TEST(Ingest, PeaksOnlyWithMaxAndFlatTopsMarkBothEnds) {
    Viewer v;
    v.form.mx->setChecked(false);
    std::vector<std::string> levels = noise(40);
    for (std::string &l : levels)
        l = "-60.00";
    levels[10] = levels[11] = levels[12] = "-20.00";
    v.ingest(line(0, 1, levels));
    EXPECT_EQ(v.s.Series4.PointCount(), 0);
    v.form.mx->setChecked(true);
    v.ingest(line(0, 1, levels));
    ASSERT_EQ(v.s.Series4.PointCount(), 2);
    EXPECT_EQ(v.s.Series4.XValue(0), 10);
    EXPECT_EQ(v.s.Series4.XValue(1), 12);
    EXPECT_TRUE(v.s.Series4.Pointer().Visible());
}

TEST(Ingest, FailuresKeepTheLastTraceAndClearTheMarkers) {
    Viewer v;
    v.ingest(line(0, 1, noise(40, 5)));
    ASSERT_TRUE(v.form.LastSweep().ok);
    const QString status = v.form.sb->PanelText(3);
    for (const std::string &bad : {line(0, 1, noise(40, 5)) + "\n" + line(100, 1, noise(40, 5)), std::string(),
                                   std::string("garbage\n"), line(0, 1, {"-50", "nan"})}) {
        v.ingest(bad);
        EXPECT_FALSE(v.form.LastSweep().ok) << bad;
        EXPECT_EQ(v.s.Series1.PointCount(), 40);      // the previous trace stays
        EXPECT_EQ(v.s.Series2.PointCount(), 0);       // noise line, strongest bin and peaks go
        EXPECT_EQ(v.s.Series3.PointCount(), 0);
        EXPECT_EQ(v.s.Series4.PointCount(), 0);
        EXPECT_EQ(v.form.sb->PanelText(3), status);   // the status panels keep the last sweep
    }
}

// The 1 MHz minimum span at a 100 kHz step gives ten bins: too few for the usual noise window,
// but the sweep is shown whole, its noise taken from every bin but the strongest.
TEST(Ingest, SmallSweepsAreShownWhole) {
    Viewer v;
    v.ingest(line(0, 1, {"-50", "-52", "-48", "-10", "-50", "-51", "-49", "-50", "-50", "-50"}));
    ASSERT_TRUE(v.form.LastSweep().ok);
    EXPECT_EQ(v.s.Series1.PointCount(), 10);
    EXPECT_EQ(v.s.Series3.PointCount(), 1);
    EXPECT_EQ(v.s.Series2.PointCount(), 8);
    EXPECT_NEAR(v.form.LastSweep().noiseDb, -50.0, 1e-9);
    EXPECT_EQ(v.form.sb->PanelText(2), "Average Noise Level: -50.00 dB");
}

TEST(Ingest, ScaleOffPinsTheLevelAxes) {
    Viewer v;
    v.form.axs->setChecked(false);
    EXPECT_EQ(v.form.ch->Left().Minimum(), -110);
    EXPECT_EQ(v.form.ch->Left().Maximum(), 10);
    v.ingest(line(0, 1, noise(40, 5)));
    EXPECT_FALSE(v.form.ch->Left().Automatic());
    EXPECT_FALSE(v.form.ch->Right().Automatic());
    v.form.axs->setChecked(true);
    v.ingest(line(0, 1, noise(40, 5)));
    EXPECT_TRUE(v.form.ch->Left().Automatic());
}

TEST(Ingest, HostileInputNeverCrashesOrHangs) {
    Viewer v;
    std::string wide = "d, t, 0, 0, 1, 5";
    wide.reserve(8 * 1000000);
    for (int i = 0; i < 1000000; ++i)
        wide += i == 777 ? ", 5.5" : ", -40.25";
    v.ingest(wide);
    EXPECT_TRUE(v.form.LastSweep().ok);
    EXPECT_EQ(v.s.Series1.PointCount(), 1000000);
    // Descending hops must not turn into quadratic inserts.
    std::string backwards;
    for (int h = 2000; h > 0; --h)
        backwards += line(h * 100, 1, noise(100, 50));
    v.ingest(backwards);
    EXPECT_TRUE(v.form.LastSweep().ok);
    for (const std::string &bad : {std::string("\0\0\0", 3), std::string(100000, ','), std::string("\"\"\"\""),
                                   line(9223372036854775807LL, 1e308, noise(40, 3)), std::string(5000, '\n')})
        v.ingest(bad);
    EXPECT_TRUE(v.errors.messages.isEmpty());
}

TEST(RenderMode, WritesPngAndOneJsonLinePerFileWithoutTouchingInputs) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.csv"), bad = dir.filePath("bad.csv"), png = dir.filePath("out.png");
    writeFile(good, QByteArray::fromStdString(line(430000000, 25000, noise(60, 30))));
    writeFile(bad, "not a sweep\n");
    QProcess p;
    p.setProgram(SKYVANE_EXE_PATH);
    p.setArguments({"--render", png, "--plugins-dir", dir.path(), good, bad});
    p.start();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("\"ok\":true"));
    EXPECT_TRUE(lines[0].contains("\"bins\":60"));
    EXPECT_TRUE(lines[0].contains("\"max_hz\":430750000"));
    EXPECT_TRUE(lines[0].contains("\"step\":\"25000.000000\""));
    EXPECT_TRUE(lines[1].contains("\"ok\":false"));
    EXPECT_TRUE(QFile::exists(good));
    EXPECT_TRUE(QFile::exists(bad));
    EXPECT_FALSE(QFile::exists(dir.filePath("settings.ini")));
    const QImage img(png);
    EXPECT_EQ(img.size(), QSize(716, 386));

    p.setArguments({"--render", png, "--size", "10x10", good});
    p.start();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
}

TEST(Waterfall, DoubleClickPicksBothColoursEvenAfterACancel) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form({dir.path(), dir.filePath("no-tool")});
    QList<TColor> shown;
    form.cd = [&](TColor initial, TColor &chosen) {
        shown << initial;
        if (shown.size() == 1)
            return false; // the first dialog is cancelled
        chosen = 0x00FFFF;
        return true;
    };
    form.img2DblClick();
    EXPECT_EQ(shown, QList<TColor>({8388608, 65280}));
    EXPECT_EQ(form.flags.waterfallColorStart, 8388608);
    EXPECT_EQ(form.flags.waterfallColorEnd, 0x00FFFF);
    EXPECT_TRUE(readFile(dir.filePath("settings.ini")).contains("Waterfall Color End=65535\r\n"));
    EXPECT_TRUE(readFile(dir.filePath("settings.ini")).contains("Waterfall Color Start=8388608\r\n"));
}

TEST(Waterfall, ImageFollowsTheTraceAndKeepsItsTopRowBlack) {
    Viewer v;
    v.form.resize(716, 386);
    v.form.show();
    waitFor([] { return false; }, 50);
    v.ingest(line(430000000, 25000, noise(1600, 800)));
    v.form.ch->repaint();
    v.form.UpdateViewAfterPass();
    const int left = v.s.Series1.XPixel(0), right = v.s.Series1.XPixel(1599);
    EXPECT_EQ(v.form.img2->x(), left);
    EXPECT_EQ(v.form.img2->width(), right - left);
    const QImage &pic = v.form.img2->Picture();
    for (int x = 0; x < pic.width(); x += 7)
        ASSERT_EQ(pic.pixel(x, 0), QColor(Qt::black).rgb());
    EXPECT_NE(pic.pixel(pic.width() / 2, 1), QColor(Qt::black).rgb());
    // With two points or fewer the image keeps its place.
    v.ingest(line(100, 1, {"-1", "-2"}));
    v.form.UpdateViewAfterPass();
    EXPECT_EQ(v.form.img2->x(), left);
}

// A sweep the waterfall has no ramp for (all levels equal, or crossing 0 dB) still finishes the
// trace, the noise line and the status.
TEST(Ingest, FlatAndMixedSignSweepsFinishEveryUpdate) {
    Viewer v;
    for (const std::vector<std::string> &levels :
         {std::vector<std::string>(40, "-50.00"), std::vector<std::string>{"-5", "5", "-3", "4", "0", "-5", "2", "3",
                                                                             "1", "-1", "-2", "0", "4", "3", "2", "1",
                                                                             "0", "-1", "-4", "5", "-5", "1", "2", "3",
                                                                             "4", "0", "-1", "-2", "-3", "1"}}) {
        v.ingest(line(430000000, 1000, levels));
        ASSERT_TRUE(v.form.LastSweep().ok);
        EXPECT_EQ(v.s.Series1.PointCount(), static_cast<int>(levels.size()));
        EXPECT_EQ(v.s.Series2.PointCount(), static_cast<int>(levels.size()) - 2);
        EXPECT_EQ(v.form.sb->PanelText(3), QStringLiteral("FFT Point Size: %1").arg(levels.size()));
    }
    EXPECT_GT(v.form.LastSweep().noiseDb, -1.0); // mixed signs: near 0 dB, not -3
}

// The waterfall's history is cleared when the sweep range or bin layout changes: its old rows
// would put signals at wrong frequencies under the new axis.
TEST(Waterfall, HistoryClearsWhenTheRangeChanges) {
    Viewer v;
    v.form.resize(716, 386);
    v.form.show();
    waitFor([] { return false; }, 50);
    v.ingest(line(430000000, 25000, noise(1600, 800)));
    v.ingest(line(430000000, 25000, noise(1600, 800)));
    const QImage &buffer = v.form.waterfall->waterfallBuffer;
    const int mid = buffer.width() / 2;
    EXPECT_NE(buffer.pixel(mid, 1), QColor(Qt::black).rgb()); // two rows of the same layout
    v.ingest(line(100000000, 25000, noise(1600, 800)));       // another range
    EXPECT_NE(buffer.pixel(mid, 0), QColor(Qt::black).rgb());
    for (int y = 1; y < 4; ++y)
        EXPECT_EQ(buffer.pixel(mid, y), QColor(Qt::black).rgb()) << y;
    v.ingest(line(100000000, 25000, noise(1600, 800)));
    EXPECT_NE(buffer.pixel(mid, 1), QColor(Qt::black).rgb()); // same layout: kept
}

// With the first-start defaults ("Point" on) the trace's markers are outlined in the trace's
// colour: no black pixels cut the trace into dots.
TEST(Ingest, DefaultMarkersDoNotCutTheTrace) {
    Viewer v;
    v.form.resize(716, 386);
    v.form.show();
    v.form.point->setChecked(true);
    std::vector<std::string> levels;
    for (int i = 0; i < 200; ++i)
        levels.push_back(i % 2 ? "-30.00" : "-31.00");
    auto render = [&] {
        v.ingest(line(430000000, 25000, levels));
        v.form.ch->repaint();
        return v.form.ch->RenderToBitmap(clBlack, TRect{0, 0, v.form.ch->width(), v.form.ch->height()});
    };
    const QImage withMarkers = render();
    v.form.point->setChecked(false);
    const QImage lineOnly = render();
    // Every pixel of the bare trace stays the trace's colour when the markers are drawn on it.
    int trace = 0, cut = 0;
    for (int y = 0; y < lineOnly.height(); ++y)
        for (int x = 0; x < lineOnly.width(); ++x)
            if (lineOnly.pixel(x, y) == qRgb(255, 0, 0)) {
                ++trace;
                cut += withMarkers.pixel(x, y) != qRgb(255, 0, 0);
            }
    EXPECT_GT(trace, 200);
    EXPECT_EQ(cut, 0);
}

// Only a click (no drag) on the trace itself opens the trace-colour dialog: not the noise line,
// not the strongest-bin or peak markers, not the start of a drag.
TEST(TraceColour, OnlyAClickOnTheTraceOpensTheDialog) {
    Viewer v;
    v.form.resize(716, 386);
    v.form.show();
    waitFor([] { return false; }, 50);
    int opened = 0;
    v.form.cd = [&](TColor, TColor &) {
        ++opened;
        return false;
    };
    std::vector<std::string> levels = noise(200, 100);
    for (int i = 40; i < 60; ++i)
        levels[i] = "-35.00"; // a raised stretch of trace, well away from the noise line
    v.ingest(line(430000000, 25000, levels));
    v.form.ch->repaint();
    v.form.chClickSeries(&v.s.Series2, 5);
    v.form.chClickSeries(&v.s.Series3, 0);
    v.form.chClickSeries(&v.s.Series4, 0);
    EXPECT_EQ(opened, 0);
    const QPoint on(v.s.Series1.XPixel(51), v.s.Series1.YPixel(51)); // away from the strongest bin's marker
    QTest::mousePress(v.form.ch, Qt::LeftButton, Qt::NoModifier, on);
    QTest::mouseMove(v.form.ch, on + QPoint(-60, 40));
    QTest::mouseRelease(v.form.ch, Qt::LeftButton, Qt::NoModifier, on + QPoint(-60, 40));
    EXPECT_EQ(opened, 0);
    QTest::mouseClick(v.form.ch, Qt::LeftButton, Qt::NoModifier, on);
    EXPECT_EQ(opened, 1);
}
