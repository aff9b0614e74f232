// Options > Trace (average, min hold, persistence), Options > Waterfall (levels, colours) and the
// Ctrl + wheel zoom: what the window shows, what it keeps in settings.ini, and that a first start
// has every one of them off.
#include "app/main_form.h"
#include "app/render_mode.h"
#include "app/spin_double.h"
#include "app/tray.h"
#include "app_test_support.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

using namespace sky;
using namespace skytest;

namespace {

struct Window : QuietWindow {
    Window() {
        form.askNumber = [this](const QString &, const QString &, int value, int min, int max) -> std::optional<int> {
            asked = {value, min, max};
            return answer;
        };
        form.askLevelRange = [this](double &from, double &to) {
            if (!range)
                return false;
            from = range->first;
            to = range->second;
            return true;
        };
    }
    void sweep(const QByteArray &bytes) {
        writeFile(dir.filePath("scan.csv"), bytes);
        form.IngestSweepFile();
        QCoreApplication::processEvents();
    }
    QByteArray settingsText() const { return readFile(dir.filePath("settings.ini")); }

    std::optional<int> answer;
    std::vector<int> asked;
    std::optional<std::pair<double, double>> range;
};

// Ten bins from 430 MHz, 1 kHz apart, at the given levels.
QByteArray sweepOf(const std::vector<double> &levels, long long low = 430000000) {
    QByteArray out = "2026-12-08, 10:00:00, " + QByteArray::number(low) + ", " +
                     QByteArray::number(low + 1000LL * static_cast<long long>(levels.size())) + ", 1000.00, 8";
    for (double v : levels)
        out += ", " + QByteArray::number(v, 'f', 2);
    return out + "\n";
}

std::vector<double> levelsWithPeak(int at, double peak) {
    std::vector<double> y(10, -50);
    for (std::size_t i = 0; i < y.size(); i += 2)
        y[i] = -52;
    y[static_cast<std::size_t>(at)] = peak;
    return y;
}

// Three sweeps whose peaks at bin 3 stand at -20, -30 and -12 dB.
QByteArray threePeakSweeps() {
    QByteArray capture;
    for (double peak : {-20.0, -30.0, -12.0})
        capture += sweepOf(levelsWithPeak(3, peak));
    return capture;
}

double powerMeanDb(std::initializer_list<double> db) {
    double sum = 0;
    for (double v : db)
        sum += std::pow(10.0, v / 10);
    return 10 * std::log10(sum / static_cast<double>(db.size()));
}

int lightness(TColor c) { return ColorToQColor(c).lightness(); }

} // namespace

TEST(TraceOptions, AFirstStartHasEveryOptionOffAndWritesNoneOfTheirKeys) {
    Window w;
    EXPECT_TRUE(w.form.Live1->isChecked());
    EXPECT_FALSE(w.form.Average1->isChecked());
    EXPECT_FALSE(w.form.MinHold1->isChecked());
    EXPECT_FALSE(w.form.Persistence1->isChecked());
    EXPECT_TRUE(w.form.LevelsSweep1->isChecked());
    EXPECT_TRUE(w.form.colourItems.at(0)->isChecked());
    EXPECT_EQ(w.form.average_.Count(), 0);
    EXPECT_EQ(w.form.sb->PanelText(4), "");
    EXPECT_EQ(w.form.sb->Panel(4)->width(), 48); // its own 50 px less the gap
    const QByteArray ini = w.settingsText();
    for (const char *k : {"Average", "Min hold", "Persistence", "Waterfall levels", "Waterfall min dB",
                          "Waterfall max dB", "Waterfall colours"})
        EXPECT_FALSE(ini.contains(QByteArray(k) + "=")) << k;
    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    EXPECT_EQ(w.form.ch->SeriesList().Count(), 5); // the chart's five series, nothing under them
    EXPECT_EQ(w.form.spectrum.Series1.YValue(3), -20);
}

TEST(TraceOptions, AverageShowsThePowerMeanAndTheMarkersFollowIt) {
    Window w;
    w.answer = std::nullopt; // cancelled: nothing changes
    w.form.Average1->trigger();
    EXPECT_TRUE(w.form.Live1->isChecked());
    EXPECT_EQ(w.form.average_.Count(), 0);
    EXPECT_EQ(w.asked, (std::vector<int>{10, 2, 100})); // N asked for with its default and range

    w.answer = 3;
    w.form.Average1->trigger();
    EXPECT_TRUE(w.form.Average1->isChecked());
    EXPECT_TRUE(w.settingsText().contains("Average=3\r\n"));
    EXPECT_TRUE(w.settingsText().contains("Min hold=0\r\n"));
    EXPECT_EQ(w.form.sb->PanelText(4), "Average 3");
    // Never cut to a number it is not: whole, or cut with "..." and whole as the hint; whole
    // once the window is wide enough.
    const QLabel *panel = w.form.sb->Panel(4);
    EXPECT_TRUE(panel->text() == "Average 3" || (panel->text().endsWith(QChar(0x2026)) && panel->toolTip() == "Average 3"))
        << panel->text().toStdString();
    EXPECT_LE(panel->geometry().right(), w.form.sb->width());
    w.form.resize(900, 386);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->text(), "Average 3");
    EXPECT_TRUE(w.form.sb->Fits(4, "Average 3"));
    w.form.resize(716, 386);
    QCoreApplication::processEvents();

    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    w.sweep(sweepOf(levelsWithPeak(7, -18)));
    const TLineSeries &trace = w.form.spectrum.Series1;
    EXPECT_NEAR(trace.YValue(3), powerMeanDb({-20, -50}), 0.001);
    EXPECT_NEAR(trace.YValue(7), powerMeanDb({-50, -18}), 0.001);
    // The strongest bin is the average's: bin 7 at -21.0 dB (bin 3 is at -23.0), not the last
    // sweep's own -18 dB.
    const double strongest = w.form.spectrum.Series3.YValue(0);
    EXPECT_EQ(w.form.spectrum.Series3.XValue(0), trace.XValue(7));
    EXPECT_NEAR(strongest, powerMeanDb({-50, -18}), 0.001);
    EXPECT_TRUE(w.form.LastSweep().averaged);
    EXPECT_NEAR(w.form.LastSweep().maxDb, strongest, 1e-12);

    // A new range starts afresh.
    w.sweep(sweepOf(levelsWithPeak(3, -30), 100000000));
    EXPECT_NEAR(trace.YValue(3), -30, 0.001);

    // Live again: the sweeps as read, the key written, the status panel empty.
    w.form.Live1->trigger();
    EXPECT_TRUE(w.settingsText().contains("Average=0\r\n"));
    EXPECT_EQ(w.form.sb->PanelText(4), "");
    w.sweep(sweepOf(levelsWithPeak(3, -40), 100000000));
    EXPECT_EQ(trace.YValue(3), -40);
    EXPECT_FALSE(w.form.LastSweep().averaged);
}

// A sweep the worker read ahead counts in the average only once it is shown, and one read
// before the averaging changed is read again as things stand.
TEST(TraceOptions, ASweepReadAheadIsAveragedOnlyWhenShown) {
    Window w;
    w.answer = 2;
    w.form.Average1->trigger();
    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    // Read ahead, then gone before the hand-over: dropped, and not in the average.
    writeFile(w.dir.filePath("scan.csv"), sweepOf(levelsWithPeak(3, -10)));
    w.form.PrepareSweepFile();
    QFile::remove(w.dir.filePath("scan.csv"));
    w.form.IngestSweepFile();
    w.sweep(sweepOf(levelsWithPeak(3, -30)));
    EXPECT_NEAR(w.form.spectrum.Series1.YValue(3), powerMeanDb({-20, -30}), 0.001);
    // Read ahead with averaging on, shown after Live was chosen: the sweep as read.
    writeFile(w.dir.filePath("scan.csv"), sweepOf(levelsWithPeak(3, -40)));
    w.form.PrepareSweepFile();
    w.form.Live1->trigger();
    w.form.IngestSweepFile();
    EXPECT_EQ(w.form.spectrum.Series1.YValue(3), -40);
    EXPECT_FALSE(w.form.LastSweep().averaged);
    // Read ahead and shown in time: averaged by the worker, taken once.
    w.form.Average1->trigger();
    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    writeFile(w.dir.filePath("scan.csv"), sweepOf(levelsWithPeak(3, -30)));
    w.form.PrepareSweepFile();
    w.form.IngestSweepFile();
    EXPECT_NEAR(w.form.spectrum.Series1.YValue(3), powerMeanDb({-20, -30}), 0.001);
    EXPECT_EQ(w.form.average_.Sweeps(), 2);
}

TEST(TraceOptions, MinHoldKeepsTheLowestLevelUnderTheTrace) {
    Window w;
    w.form.MaxHold1->trigger();
    w.form.MinHold1->trigger();
    EXPECT_TRUE(w.settingsText().contains("Min hold=1\r\n"));
    const TFastLineSeries &low = w.form.minHoldSeries;
    TChartSeriesList &list = w.form.ch->SeriesList();
    EXPECT_EQ(list.IndexOf(&low), 0);
    EXPECT_EQ(list.IndexOf(&w.form.maxHoldSeries), 1);
    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    std::vector<double> second = levelsWithPeak(5, -25);
    second[1] = -70;
    w.sweep(sweepOf(second));
    w.sweep(sweepOf(levelsWithPeak(3, -10)));
    ASSERT_EQ(low.PointCount(), 10);
    EXPECT_EQ(low.YValue(1), -70);
    EXPECT_EQ(low.YValue(3), -50); // the second sweep's level there
    EXPECT_EQ(low.YValue(5), -50);
    EXPECT_EQ(w.form.maxHoldSeries.YValue(3), -10);
    EXPECT_EQ(w.form.maxHoldSeries.YValue(5), -25);
    EXPECT_EQ(low.XValue(9), w.form.spectrum.Series1.XValue(9));
    // Dimmer than the trace, and not the max hold's tint.
    EXPECT_LT(lightness(low.SeriesColor()), lightness(w.form.flags.chartColor));
    EXPECT_NE(low.SeriesColor(), w.form.maxHoldSeries.SeriesColor());
    // Another range starts afresh; Live takes the series away.
    w.sweep(sweepOf(levelsWithPeak(2, -30), 200000000));
    EXPECT_EQ(low.YValue(1), -50);
    EXPECT_EQ(low.XValue(0), 200000000.0);
    w.form.Live1->trigger();
    EXPECT_FALSE(list.Contains(&low));
    EXPECT_TRUE(list.Contains(&w.form.maxHoldSeries));
}

TEST(TraceOptions, PersistenceKeepsTheLastTracesInFadingShades) {
    Window w;
    w.answer = 3;
    w.form.Persistence1->trigger();
    EXPECT_TRUE(w.form.Persistence1->isChecked());
    EXPECT_TRUE(w.settingsText().contains("Persistence=3\r\n"));
    for (int s = 0; s < 5; ++s)
        w.sweep(sweepOf(levelsWithPeak(s, -20 - s)));
    const auto &kept = w.form.persistence_.Series();
    ASSERT_EQ(kept.size(), 3u);
    // Newest first: the traces of sweeps 3, 2 and 1 (the live one is sweep 4).
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(kept[static_cast<std::size_t>(k)]->YValue(3 - k), -20 - (3 - k)) << k;
        EXPECT_EQ(w.form.ch->SeriesList().IndexOf(kept[static_cast<std::size_t>(k)].get()), 2 - k) << "oldest lowest";
    }
    EXPECT_EQ(w.form.spectrum.Series1.YValue(4), -24);
    const int trace = lightness(w.form.flags.chartColor);
    EXPECT_LT(lightness(kept[0]->SeriesColor()), trace);
    EXPECT_LT(lightness(kept[1]->SeriesColor()), lightness(kept[0]->SeriesColor()));
    EXPECT_LT(lightness(kept[2]->SeriesColor()), lightness(kept[1]->SeriesColor()));
    EXPECT_GT(lightness(kept[2]->SeriesColor()), 0);

    // Another layout starts afresh; a failed sweep keeps nothing twice.
    w.sweep(sweepOf(levelsWithPeak(1, -30), 300000000));
    EXPECT_TRUE(kept.empty());
    w.sweep("not a sweep\n");
    w.sweep(sweepOf(levelsWithPeak(1, -31), 300000000));
    w.sweep(sweepOf(levelsWithPeak(1, -32), 300000000));
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0]->YValue(1), -31);
    EXPECT_EQ(kept[1]->YValue(1), -30);

    // Off: the kept traces leave the chart; cancelled on: stays off.
    w.form.Persistence1->trigger();
    EXPECT_TRUE(w.settingsText().contains("Persistence=0\r\n"));
    EXPECT_EQ(w.form.ch->SeriesList().Count(), 5);
    w.answer = std::nullopt;
    w.form.Persistence1->trigger();
    EXPECT_FALSE(w.form.Persistence1->isChecked());
    EXPECT_EQ(w.form.persistence_.Depth(), 0);
}

TEST(TraceOptions, EveryKeyIsReadBackAndBadTextCountsAsOff) {
    QByteArray written;
    {
        Window w;
        w.answer = 7;
        w.form.Average1->trigger();
        w.answer = 4;
        w.form.Persistence1->trigger();
        w.range = std::pair{-90.5, -20.0};
        w.form.LevelsFixed1->trigger();
        w.form.colourItems.at(3)->trigger(); // Inferno
        written = w.settingsText();
        for (const char *line : {"Average=7", "Persistence=4", "Waterfall levels=Fixed", "Waterfall min dB=-90.5",
                                 "Waterfall max dB=-20", "Waterfall colours=Inferno"})
            EXPECT_TRUE(written.contains(QByteArray(line) + "\r\n")) << line << "\n" << written.toStdString();
    }
    auto start = [](const QByteArray &ini, auto check) {
        QTemporaryDir dir;
        writeFile(dir.filePath("settings.ini"), ini);
        ErrorCollector errors;
        TForm1 form{StartOptions{dir.path(), dir.filePath("no-tool")}};
        form.scanThread->RequestStop();
        form.scanThread->wait();
        check(form);
        EXPECT_EQ(readFile(dir.filePath("settings.ini")).count("Average="), ini.count("Average=")) << "only read";
    };
    start(written, [](TForm1 &f) {
        EXPECT_TRUE(f.Average1->isChecked());
        EXPECT_EQ(f.average_.Count(), 7);
        EXPECT_EQ(f.sb->PanelText(4), "Average 7");
        EXPECT_TRUE(f.Persistence1->isChecked());
        EXPECT_EQ(f.persistence_.Depth(), 4);
        EXPECT_TRUE(f.LevelsFixed1->isChecked());
        EXPECT_EQ(f.waterfallMinDb, -90.5);
        EXPECT_EQ(f.waterfallMaxDb, -20);
        EXPECT_TRUE(f.colourItems.at(3)->isChecked());
    });
    start("Min hold=1\r\nWaterfall levels=Auto\r\nWaterfall colours=Grey\r\n", [](TForm1 &f) {
        EXPECT_TRUE(f.MinHold1->isChecked());
        EXPECT_TRUE(f.ch->SeriesList().Contains(&f.minHoldSeries));
        EXPECT_TRUE(f.LevelsAuto1->isChecked());
        EXPECT_TRUE(f.colourItems.at(4)->isChecked());
    });
    start("Average=lots\r\nMin hold=x\r\nPersistence=-3\r\nWaterfall levels=Loud\r\nWaterfall min dB=5\r\n"
          "Waterfall max dB=-5\r\nWaterfall colours=Plaid\r\n",
          [](TForm1 &f) {
              EXPECT_TRUE(f.Live1->isChecked());
              EXPECT_FALSE(f.Persistence1->isChecked());
              EXPECT_TRUE(f.LevelsSweep1->isChecked());
              EXPECT_EQ(f.waterfallMinDb, -100); // an empty range is no range
              EXPECT_EQ(f.waterfallMaxDb, 0);
              EXPECT_TRUE(f.colourItems.at(0)->isChecked());
          });
    start("Average=1000\r\n", [](TForm1 &f) { EXPECT_EQ(f.average_.Count(), 100); });
}

TEST(TraceOptions, FixedWaterfallLevelsAndColourMapsReachTheRows) {
    Window w;
    w.range = std::nullopt; // cancelled: stays per sweep
    w.form.LevelsFixed1->trigger();
    EXPECT_TRUE(w.form.LevelsSweep1->isChecked());
    w.range = std::pair{-60.0, -40.0};
    w.form.LevelsFixed1->trigger();
    w.form.colourItems.at(4)->trigger(); // grey: black at -60 dB and below, white at -40 and above
    std::vector<double> y(10, -80);
    for (int i = 5; i < 10; ++i)
        y[static_cast<std::size_t>(i)] = -30;
    w.sweep(sweepOf(y));
    const QImage &row = w.form.waterfall->waterfallLineScaled;
    EXPECT_EQ(QColor(row.pixel(0, 0)), QColor(Qt::black));
    EXPECT_EQ(QColor(row.pixel(row.width() - 1, 0)), QColor(Qt::white));
}

TEST(TraceOptions, CtrlWheelZoomsTheFrequencyAxisAboutThePointer) {
    Window w;
    w.sweep(sweepOf(levelsWithPeak(3, -20)));
    w.form.ch->repaint();
    TChartAxis &bottom = w.form.ch->Bottom();
    TChartAxis &left = w.form.ch->Left();
    const double lo = bottom.Minimum(), hi = bottom.Maximum(), leftLo = left.Minimum(), leftHi = left.Maximum();
    const TRect plot = w.form.ch->PlotRect();
    const int x = plot.Left + (plot.Right - plot.Left) / 4;
    const double at = bottom.PixelToValue(x);
    auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(x, (plot.Top + plot.Bottom) / 2), w.form.ch->mapToGlobal(QPointF(x, 50)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w.form.ch, &e);
        w.form.ch->repaint();
    };
    wheel(120, Qt::ControlModifier);
    EXPECT_NEAR(bottom.Maximum() - bottom.Minimum(), 0.8 * (hi - lo), 1e-6 * (hi - lo));
    EXPECT_NEAR(bottom.Minimum(), at - (at - lo) * 0.8, 1e-6 * (hi - lo)); // the frequency under the pointer stays
    EXPECT_EQ(left.Minimum(), leftLo); // the levels do not scroll
    EXPECT_EQ(left.Maximum(), leftHi);
    // Out again about the same pixel: back where it was, to within what a pixel spans (the
    // plot may have moved a little for the new labels).
    wheel(-120, Qt::ControlModifier);
    const double pixel = (hi - lo) / (plot.Right - plot.Left);
    EXPECT_NEAR(bottom.Minimum(), lo, pixel);
    EXPECT_NEAR(bottom.Maximum() - bottom.Minimum(), hi - lo, 1e-6 * (hi - lo));
    // The plain wheel still scrolls the level axes and leaves the frequencies alone.
    const double zoomedLo = bottom.Minimum();
    wheel(-120, Qt::NoModifier);
    EXPECT_NE(left.Minimum(), leftLo);
    EXPECT_EQ(bottom.Minimum(), zoomedLo);

    // In Mode Infinity it is a user zoom: the editors follow it.
    w.form.Infinity1->setChecked(true);
    wheel(240, Qt::ControlModifier);
    EXPECT_NEAR(w.form.startSpin->Value() * 1e6, std::round(bottom.Minimum() / 1000) * 1000, 1);
    EXPECT_NEAR(w.form.stopSpin->Value() * 1e6, std::round(bottom.Maximum() / 1000) * 1000, 1);
}

TEST(TraceOptions, RenderAveragesAcrossTheSweepsOfACapture) {
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"), "Average=2\r\nMin hold=1\r\n");
    writeFile(dir.filePath("cap.csv"), threePeakSweeps());
    app();
    ErrorCollector errors;
    TForm1 form{StartOptions{dir.path(), {}, true, false}};
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
    const CommandLine cl = ParseCommandLine({"--render", dir.filePath("out.png"), dir.filePath("cap.csv")});
    FILE *out = std::tmpfile();
    ASSERT_TRUE(RenderInto(form, cl, out));
    const QList<QJsonObject> lines = JsonLines(out);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonObject &line = lines.front();
    EXPECT_EQ(line.value("sweeps").toInt(), 3);
    EXPECT_EQ(line.value("average").toInt(), 2);
    // Weights 1, then 1/2, then 1/2: a quarter of the first two sweeps' powers, half the last's.
    const double want = 10 * std::log10(0.25 * std::pow(10, -2.0) + 0.25 * std::pow(10, -3.0) + 0.5 * std::pow(10, -1.2));
    EXPECT_NEAR(line.value("max_db").toDouble(), want, 0.001);
    // Min hold is not applied with averaging on (the Trace choices are one of three).
    EXPECT_FALSE(form.ch->SeriesList().Contains(&form.minHoldSeries));
    EXPECT_TRUE(readFile(dir.filePath("settings.ini")) == "Average=2\r\nMin hold=1\r\n");
}

TEST(TraceOptions, RenderTakesEachSweepIntoTheAverageOnce) {
    // The first sweep of a new layout lines the waterfall up with the trace; that must not
    // take it into the average a second time. With N = 3 three sweeps weigh a third each.
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"), "Average=3\r\n");
    writeFile(dir.filePath("cap.csv"), threePeakSweeps());
    app();
    TForm1 form{StartOptions{dir.path(), {}, true, false}};
    form.resize(900, 600); // a picture whose waterfall moves once the first trace is drawn
    const CommandLine cl =
        ParseCommandLine({"--render", dir.filePath("out.png"), "--size", "900x600", dir.filePath("cap.csv")});
    FILE *out = std::tmpfile();
    ASSERT_TRUE(RenderInto(form, cl, out));
    const QList<QJsonObject> lines = JsonLines(out);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonObject &line = lines.front();
    EXPECT_EQ(line.value("sweeps").toInt(), 3);
    EXPECT_NEAR(line.value("max_db").toDouble(), powerMeanDb({-20.0, -30.0, -12.0}), 0.001);
}
