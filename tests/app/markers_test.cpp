// Measurement markers and band power, trace export, the converter offset and the receiver
// options: what the window shows, what the tool is asked for, what is kept in settings.ini, and
// that a first start has none of them.
#include "app/main_form.h"
#include "app/render_mode.h"
#include "app/spin_double.h"
#include "app_test_support.h"
#include "platform/numtext.h"
#include "scan/sweep_tool.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

using namespace sky;
using namespace skytest;

namespace {

struct Window : QuietWindow {
    Window() {
        form.askSavePath = [this](const QString &, const QString &suggested, const QString &) {
            suggestedPath = suggested;
            return savePath;
        };
        form.askOffsetMHz = [this](double) { return offset; };
        form.askReceiverOptions = [this](ScanParams &p) {
            if (!receiver)
                return false;
            p.interval = receiver->interval;
            p.crop = receiver->crop;
            p.window = receiver->window;
            return true;
        };
    }
    void sweep(const QByteArray &bytes) {
        writeFile(dir.filePath("scan.csv"), bytes);
        form.IngestSweepFile();
        QCoreApplication::processEvents();
        form.ch->repaint();
    }
    QByteArray settingsText() const { return readFile(dir.filePath("settings.ini")); }
    // Save Trace... as the menu runs it: written on its own thread, then said.
    void saveTrace() {
        form.SaveTrace1->trigger();
        form.WaitForTraceSave();
        QCoreApplication::processEvents();
    }
    // A Ctrl (+ Shift) click at pixel x of the chart.
    void ctrlClick(int x, bool shift) {
        const Qt::KeyboardModifiers mods = shift ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier;
        const QPointF at(x, form.ch->height() / 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, form.ch->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(form.ch, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, form.ch->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, mods);
        QCoreApplication::sendEvent(form.ch, &release);
        form.ch->repaint();
    }

    QString savePath, suggestedPath;
    std::optional<double> offset;
    std::optional<ScanParams> receiver;
};

// Twenty bins from `low`, 1 kHz apart, at the given levels (the rest -60 dB).
QByteArray sweepOf(std::vector<double> levels, long long low = 430000000) {
    levels.resize(20, -60);
    QByteArray out = "2026-12-08, 10:00:00, " + QByteArray::number(low) + ", " + QByteArray::number(low + 20000) +
                     ", 1000.00, 8";
    for (double v : levels)
        out += ", " + QByteArray::number(v, 'f', 2);
    return out + "\n";
}

double powerSumDb(const std::vector<double> &db) {
    double sum = 0;
    for (double v : db)
        sum += std::pow(10.0, v / 10);
    return 10 * std::log10(sum);
}

} // namespace

TEST(Markers, AFirstStartHasNoneOfTheNewOptions) {
    Window w;
    w.sweep(sweepOf({-20}));
    const TForm1::MarkerReadout m = w.form.Markers();
    EXPECT_FALSE(m.set[0] || m.set[1]);
    EXPECT_EQ(w.form.OffsetText(), "");
    EXPECT_EQ(w.form.ToolParameters(), BuildSweepParameters(w.form.params));
    EXPECT_TRUE(w.form.ToolParameters().endsWith(" -1 -i 0.5s -w hamming scan.csv"));
    EXPECT_EQ(w.form.startSpin->MinValue(), 24.0);
    EXPECT_EQ(w.form.stopSpin->MaxValue(), 1750.0);
    const QByteArray ini = w.settingsText();
    for (const char *k : {"Marker A Hz", "Marker B Hz", "Frequency offset Hz", "Interval", "Crop", "Window"})
        EXPECT_FALSE(ini.contains(QByteArray(k) + "=")) << k;
}

TEST(Markers, CtrlClicksSetThemAtTheNearestBinAndTheyFollowTheirFrequency) {
    Window w;
    std::vector<double> levels(20, -60);
    levels[4] = -20;
    levels[7] = -30;
    levels[9] = -50;
    w.sweep(sweepOf(levels));
    const TChartAxis &bottom = w.form.ch->Bottom();
    // A little off bin 4 and bin 9: the nearest bins are taken.
    w.ctrlClick(bottom.ValueToPixel(430004000.0 + 300), false);
    w.ctrlClick(bottom.ValueToPixel(430009000.0 - 300), true);
    TForm1::MarkerReadout m = w.form.Markers();
    ASSERT_TRUE(m.set[0] && m.set[1]);
    EXPECT_EQ(m.hz[0], 430004000.0);
    EXPECT_EQ(m.hz[1], 430009000.0);
    EXPECT_EQ(m.db[0], -20);
    EXPECT_EQ(m.db[1], -50);
    EXPECT_TRUE(w.settingsText().contains("Marker A Hz=430004000\r\n"));
    EXPECT_TRUE(w.settingsText().contains("Marker B Hz=430009000\r\n"));
    // Band power: bins 4 to 9, both ends included.
    ASSERT_TRUE(m.band);
    EXPECT_EQ(m.band->bins, 6u);
    EXPECT_NEAR(m.band->db, powerSumDb({-20, -60, -60, -30, -60, -50}), 1e-6);
    // The click set markers only: no zoom.
    EXPECT_TRUE(bottom.Automatic());

    // The next sweep: the markers stay at their frequencies and read the new levels.
    levels[4] = -25;
    levels[9] = -35;
    w.sweep(sweepOf(levels));
    m = w.form.Markers();
    EXPECT_EQ(m.db[0], -25);
    EXPECT_EQ(m.db[1], -35);
    EXPECT_NEAR(m.band->db, powerSumDb({-25, -60, -60, -30, -60, -35}), 1e-6);
    // A sweep of another range: the markers stay, but read no level there.
    w.sweep(sweepOf(levels, 440000000));
    m = w.form.Markers();
    EXPECT_EQ(m.hz[0], 430004000.0);
    EXPECT_TRUE(std::isnan(m.db[0]) && std::isnan(m.db[1]));
    EXPECT_FALSE(m.band);
    w.sweep(sweepOf(levels));
    // A zoom leaves them where they are.
    w.form.ch->Bottom().SetRange(430003000, 430012000);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.Markers().hz[0], 430004000.0);

    // Cleared: both keys stay, empty.
    w.form.ClearMarkers1->trigger();
    m = w.form.Markers();
    EXPECT_FALSE(m.set[0] || m.set[1]);
    EXPECT_TRUE(w.settingsText().contains("Marker A Hz=\r\n"));
    EXPECT_TRUE(w.settingsText().contains("Marker B Hz=\r\n"));
}

TEST(Markers, TheyAreDrawnWithTheChart) {
    Window w;
    w.sweep(sweepOf({-20}));
    auto picture = [&] {
        w.form.ch->repaint();
        return w.form.ch->RenderToBitmap(clBlack, TRect{0, 0, w.form.ch->width(), w.form.ch->height()});
    };
    const QImage before = picture();
    w.ctrlClick(w.form.ch->Bottom().ValueToPixel(430010000.0), false);
    const QImage after = picture();
    // A vertical line of marker A's colour at its frequency, from the plot's top to its bottom.
    const int x = w.form.ch->Bottom().ValueToPixel(430010000.0);
    const TRect plot = w.form.ch->PlotRect();
    int coloured = 0;
    for (int y = plot.Top; y < plot.Bottom; ++y)
        coloured += QColor(after.pixel(x, y)) == QColor(0, 230, 255);
    EXPECT_GT(coloured, (plot.Bottom - plot.Top) / 2);
    EXPECT_NE(before, after);
}

TEST(TraceExport, SavesEveryBinAndWhatIsOnAndRefusesAnUnwritableTarget) {
    Window w;
    w.form.askNumber = [](const QString &, const QString &, int, int, int) { return std::optional<int>(2); };
    w.form.Average1->trigger();
    w.form.MaxHold1->trigger();
    w.sweep(sweepOf({-20, -30}));
    w.sweep(sweepOf({-40, -10}));
    w.savePath = w.dir.filePath("trace.csv");
    w.saveTrace();
    EXPECT_TRUE(w.suggestedPath.startsWith(w.form.pluginsDir + "trace-")) << w.suggestedPath.toStdString();
    const QList<QByteArray> lines = readFile(w.savePath).split('\n');
    ASSERT_GE(lines.size(), 21);
    EXPECT_EQ(lines[0], "frequency_hz,level_db,max_hold_db,average_db");
    EXPECT_EQ(lines.size(), 22); // header, 20 bins, the empty rest after the last line end
    // The sweep's own level, the highest so far, and the power average of the two sweeps.
    const QList<QByteArray> bin0 = lines[1].split(',');
    ASSERT_EQ(bin0.size(), 4);
    EXPECT_EQ(bin0[0], "430000000");
    EXPECT_EQ(bin0[1], "-40.00");
    EXPECT_EQ(bin0[2], "-20.00");
    EXPECT_NEAR(bin0[3].toDouble(), 10 * std::log10((1e-2 + 1e-4) / 2), 0.006);
    EXPECT_NEAR(lines[2].split(',')[1].toDouble(), -10, 0.006);

    // A folder that is not there: the usual message box, and no file.
    w.errors.messages.clear();
    w.savePath = w.dir.filePath("missing/trace.csv");
    w.saveTrace();
    EXPECT_EQ(w.errors.messages.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(w.savePath));
    // Cancelled: nothing.
    w.savePath.clear();
    w.saveTrace();
    EXPECT_EQ(w.errors.messages.size(), 1);

    // The window as a PNG, and the same refusal.
    w.savePath = w.dir.filePath("window.png");
    w.form.SaveImage1->trigger();
    EXPECT_EQ(QImage(w.savePath).size(), w.form.size());
    w.savePath = w.dir.filePath("missing/window.png");
    w.form.SaveImage1->trigger();
    EXPECT_EQ(w.errors.messages.size(), 2);
    EXPECT_TRUE(QDir(w.dir.filePath("missing")).isEmpty() || !QFileInfo::exists(w.dir.filePath("missing")));
}

TEST(ConverterOffset, TheToolIsAskedForReceiverFrequenciesAndEverythingShowsSkyOnes) {
    for (double offsetMHz : {125.0, -20.5}) {
        SCOPED_TRACE(offsetMHz);
        Window w;
        const double start = w.form.startSpin->Value(), stop = w.form.stopSpin->Value();
        const QString before = w.form.ToolParameters();
        w.offset = offsetMHz;
        w.form.FrequencyOffset1->trigger();
        const double hz = offsetMHz * 1e6;
        EXPECT_TRUE(w.settingsText().contains("Frequency offset Hz=" + QByteArray::number(hz, 'f', 0) + "\r\n"));
        // The editors show the sky range of what the receiver swept; the receiver sweeps as before.
        EXPECT_DOUBLE_EQ(w.form.startSpin->Value(), start + offsetMHz);
        EXPECT_DOUBLE_EQ(w.form.stopSpin->Value(), stop + offsetMHz);
        EXPECT_EQ(w.form.ToolParameters(), before);
        EXPECT_DOUBLE_EQ(w.form.startSpin->MinValue(), 24 + offsetMHz);
        EXPECT_DOUBLE_EQ(w.form.stopSpin->MaxValue(), 1750 + offsetMHz);
        EXPECT_EQ(w.form.OffsetText(), offsetMHz > 0 ? "Offset +125 MHz" : "Offset -20.5 MHz");
        // A sweep of the receiver shows at sky frequencies: the axis, the strongest bin, markers.
        w.sweep(sweepOf({-60, -60, -10}));
        EXPECT_DOUBLE_EQ(w.form.spectrum.Series1.XValue(0), 430000000 + hz);
        EXPECT_DOUBLE_EQ(w.form.LastSweep().maxHz, 430002000 + hz);
        w.ctrlClick(w.form.ch->Bottom().ValueToPixel(430002000 + hz), false);
        EXPECT_DOUBLE_EQ(w.form.Markers().hz[0], 430002000 + hz);
        // The cursor readout reads the sky frequency under the mouse.
        const int px = w.form.ch->Bottom().ValueToPixel(430002000 + hz);
        w.form.chMouseMove(px, (w.form.ch->PlotRect().Top + w.form.ch->PlotRect().Bottom) / 2);
        const double readout = ParseFloat(QString(w.form.cursorXText).remove(QLatin1Char(','))).value_or(0);
        EXPECT_NEAR(readout, 430002000 + hz, 2 * (w.form.ch->Bottom().Maximum() - w.form.ch->Bottom().Minimum()) /
                                                 (w.form.ch->PlotRect().Right - w.form.ch->PlotRect().Left));
        // The export too.
        w.savePath = w.dir.filePath("sky.csv");
        w.saveTrace();
        EXPECT_TRUE(readFile(w.savePath).split('\n')[1].startsWith(QByteArray::number(430000000 + hz, 'f', 0) + ","));
        // The sweep log keeps the tool's own bytes: receiver frequencies.
        w.form.LogSweeps1->trigger();
        const QByteArray bytes = sweepOf({-60, -10});
        w.sweep(bytes);
        w.form.sweepLog_->Flush();
        EXPECT_EQ(readFile(w.form.SweepLogPath()), bytes);
        // Typing a sky range asks the receiver for that range less the offset.
        w.form.startSpin->setValue(500 + offsetMHz);
        w.form.stopSpin->setValue(510 + offsetMHz);
        EXPECT_TRUE(w.form.ToolParameters().startsWith("-f 500000000h:510000000h:")) << w.form.ToolParameters().toStdString();
    }
}

TEST(ReceiverOptions, ReachTheToolAsTheirOwnArgumentsAndBadOnesAreRefused) {
    Window w;
    w.receiver = ScanParams{};
    w.receiver->interval = "10s";
    w.receiver->crop = "20";
    w.receiver->window = "Blackman";
    w.form.Receiver1->trigger();
    const QString p = w.form.ToolParameters();
    EXPECT_TRUE(p.endsWith(" -1 -i 10s -c 20% -w blackman scan.csv")) << p.toStdString();
    EXPECT_TRUE(w.form.flags.paramChangePending); // the next sweep is the new one
    for (const char *line : {"Interval=10s", "Crop=20%", "Window=blackman"})
        EXPECT_TRUE(w.settingsText().contains(QByteArray(line) + "\r\n")) << line;
    // Refused: nothing changes.
    for (auto [interval, crop, window] : {std::tuple{"0", "", "hamming"}, std::tuple{"1s -f 1:2:3", "", "hamming"},
                                          std::tuple{"1s", "60", "hamming"}, std::tuple{"1s", "", "hamming;rm"}}) {
        w.receiver->interval = interval;
        w.receiver->crop = crop;
        w.receiver->window = window;
        w.form.Receiver1->trigger();
        EXPECT_EQ(w.form.ToolParameters(), p) << interval << " " << crop << " " << window;
    }
    // A long interval is no hung tool: the run may take as long as the tool integrates.
    w.receiver->interval = "1m";
    w.receiver->crop = "";
    w.receiver->window = "hamming";
    w.form.Receiver1->trigger();
    w.form.minHungToolMs = 1000;
    EXPECT_GE(w.form.HungToolLimitMs(), 2 * 60000);
    w.receiver->interval = "0.5s";
    w.form.Receiver1->trigger();
    EXPECT_LT(w.form.HungToolLimitMs(), 10000);
    // Crop 0 is no crop.
    w.receiver->interval = "10s";
    w.receiver->crop = "0";
    w.receiver->window = "hamming";
    w.form.Receiver1->trigger();
    EXPECT_TRUE(w.form.ToolParameters().endsWith(" -1 -i 10s -w hamming scan.csv"));
}

TEST(ReceiverOptions, StoredValuesAreReadBackAndBadOnesCountAsDefaults) {
    auto start = [](const QByteArray &ini) {
        auto dir = std::make_unique<QTemporaryDir>();
        writeFile(dir->filePath("settings.ini"), ini);
        return dir;
    };
    {
        auto dir = start("Freq min Hz=600000000\r\nFreq max Hz=610000000\r\nFrequency offset Hz=125000000\r\n"
                         "Interval=2m\r\nCrop=10%\r\nWindow=kaiser\r\nMarker A Hz=600001000\r\nMarker B Hz=\r\n");
        ErrorCollector errors;
        TForm1 form{StartOptions{dir->path(), dir->filePath("no-tool")}};
        form.scanThread->RequestStop();
        form.scanThread->wait();
        EXPECT_EQ(form.startSpin->Value(), 600); // a sky frequency above the receiver's range is kept
        EXPECT_TRUE(form.ToolParameters().startsWith("-f 475000000h:485000000h:")) << form.ToolParameters().toStdString();
        EXPECT_TRUE(form.ToolParameters().endsWith(" -i 2m -c 10% -w kaiser scan.csv"));
        EXPECT_EQ(form.markerHz_[0], 600001000.0);
        EXPECT_FALSE(form.markerHz_[1]);
    }
    {
        auto dir = start("Frequency offset Hz=1e99\r\nInterval=-1\r\nCrop=x\r\nWindow=square\r\nMarker A Hz=near\r\n");
        ErrorCollector errors;
        TForm1 form{StartOptions{dir->path(), dir->filePath("no-tool")}};
        form.scanThread->RequestStop();
        form.scanThread->wait();
        EXPECT_EQ(form.OffsetText(), "");
        EXPECT_TRUE(form.ToolParameters().endsWith(" -i 0.5s -w hamming scan.csv"));
        EXPECT_FALSE(form.markerHz_[0]);
    }
}

TEST(Markers, RenderReportsBandPowerAndWritesTheTraceCsv) {
    QTemporaryDir dir;
    writeFile(dir.filePath("settings.ini"), "Marker A Hz=430001000\r\nMarker B Hz=430003000\r\nFrequency offset Hz=0\r\n");
    writeFile(dir.filePath("cap.csv"), sweepOf({-60, -20, -30, -40}));
    const QByteArray settingsBefore = readFile(dir.filePath("settings.ini"));
    app();
    const CommandLine cl = ParseCommandLine({"--render", dir.filePath("out.png"), "--trace-csv", dir.filePath("t.csv"),
                                             "--plugins-dir", dir.path(), dir.filePath("cap.csv")});
    ASSERT_EQ(cl.action, CommandLine::Render) << cl.error.toStdString();
    FILE *out = std::tmpfile();
    ASSERT_EQ(RunRender(cl, out, stderr), 0);
    const QList<QJsonObject> lines = JsonLines(out);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonObject &line = lines.front();
    EXPECT_EQ(line.value("band_bins").toInt(), 3);
    EXPECT_NEAR(line.value("band_power_db").toDouble(), powerSumDb({-20, -30, -40}), 1e-6);
    EXPECT_TRUE(readFile(dir.filePath("t.csv")).startsWith("frequency_hz,level_db\n430000000,-60.00\n430001000,-20.00\n"));
    EXPECT_FALSE(QImage(dir.filePath("out.png")).isNull());
    EXPECT_EQ(readFile(dir.filePath("settings.ini")), settingsBefore);
    // A CSV that cannot be written fails the run.
    const CommandLine bad = ParseCommandLine({"--render", dir.filePath("out2.png"), "--trace-csv",
                                              dir.filePath("missing/t.csv"), dir.filePath("cap.csv")});
    FILE *out2 = std::tmpfile();
    FILE *err2 = std::tmpfile();
    EXPECT_EQ(RunRender(bad, out2, err2), 2);
    EXPECT_FALSE(QImage(dir.filePath("out2.png")).isNull()) << "the picture is written all the same";
    std::fclose(out2);
    std::fclose(err2);
    // --trace-csv goes with --render only.
    EXPECT_EQ(ParseCommandLine({"--trace-csv", "x.csv"}).action, CommandLine::Fail);
}

// The window keeps a sweep compact, its frequencies as runs and its levels as whole hundredths:
// the trace, its copies, the peaks, the waterfall row, the max hold, the markers and their band
// read them as they are, and all that is shown is what the same sweep as doubles shows (the other
// window gets its sweep with one level written "-0.00", which no hundredths hold: it reads every
// point as doubles).
TEST(CompactSweeps, TheWindowShowsThemAsTheirDoublesWithoutSpellingThemOut) {
    auto sweepText = [](bool minusZero) {
        QByteArray out;
        std::uint32_t state = 7;
        long long low = 430000000;
        for (int hop = 0; hop < 3; ++hop) {
            out += "2026-12-09, 11:00:00, " + QByteArray::number(low) + ", " + QByteArray::number(low + 700000) +
                   ", 1000.00, 8";
            for (int i = 0; i < 700; ++i) {
                state = state * 1664525u + 1013904223u;
                const double level = hop == 1 && i == 350 ? 0.0 : -5.0 + static_cast<double>(state >> 22) / 100.0;
                out += ", " + (hop == 1 && i == 350 && minusZero ? QByteArray("-0.00") : QByteArray::number(level, 'f', 2));
            }
            out += "\n";
            low += 700000;
        }
        return out;
    };
    Window compact, doubles;
    for (Window *w : {&compact, &doubles}) {
        w->form.mx->setChecked(true); // peaks
        w->form.MaxHold1->trigger();
    }
    for (int k = 0; k < 2; ++k) {
        compact.sweep(sweepText(false));
        doubles.sweep(sweepText(true));
    }
    const SpectrumSeries &c = compact.form.spectrum, &d = doubles.form.spectrum;
    ASSERT_TRUE(c.sweepSeries.YValues().IsHundredths());
    ASSERT_TRUE(c.sweepSeries.XValues().IsRuns());
    ASSERT_FALSE(d.sweepSeries.XValues().IsRuns());
    ASSERT_TRUE(c.Series4.YValues().IsHundredths());
    ASSERT_FALSE(d.sweepSeries.YValues().IsHundredths());
    ASSERT_GT(c.Series4.PointCount(), 100);
    for (Window *w : {&compact, &doubles}) {
        const TChartAxis &bottom = w->form.ch->Bottom();
        w->ctrlClick(bottom.ValueToPixel(430300000.0), false);
        w->ctrlClick(bottom.ValueToPixel(431900000.0), true);
        w->form.RedrawWaterfallRow();
        w->form.ch->repaint();
    }
    const TForm1::MarkerReadout mc = compact.form.Markers(), md = doubles.form.Markers();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(mc.hz[k], md.hz[k]);
        EXPECT_EQ(mc.db[k], md.db[k]);
    }
    ASSERT_TRUE(mc.band && md.band);
    EXPECT_EQ(mc.band->db, md.band->db);
    EXPECT_EQ(mc.band->bins, md.band->bins);
    for (int panel = 1; panel <= 3; ++panel)
        EXPECT_EQ(compact.form.sb->PanelText(panel), doubles.form.sb->PanelText(panel)) << panel;
    auto chart = [](Window &w) {
        return w.form.ch->RenderToBitmap(clBlack, TRect{0, 0, w.form.ch->width(), w.form.ch->height()});
    };
    EXPECT_EQ(chart(compact), chart(doubles));
    EXPECT_EQ(compact.form.img2->Picture(), doubles.form.img2->Picture());
    EXPECT_NE(compact.form.img2->Picture().pixel(compact.form.img2->Picture().width() / 2, 1),
              QColor(Qt::black).rgb());
    // What it was for: none of it spelled the points out into doubles.
    for (const TChartSeries *s : {static_cast<const TChartSeries *>(&c.sweepSeries),
                                  static_cast<const TChartSeries *>(&c.Series1),
                                  static_cast<const TChartSeries *>(&c.Series5),
                                  static_cast<const TChartSeries *>(&c.Series4),
                                  static_cast<const TChartSeries *>(&c.Series2),
                                  static_cast<const TChartSeries *>(&compact.form.maxHoldSeries)}) {
        EXPECT_FALSE(s->XValues().SpelledOut()) << s->XValues().Name().toStdString();
        EXPECT_FALSE(s->YValues().SpelledOut()) << s->YValues().Name().toStdString();
    }
}
