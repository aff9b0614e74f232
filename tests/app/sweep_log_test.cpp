// Keeping and reading sweeps: the sweep log, max hold and the peak readout.
#include "app/main_form.h"
#include "app/tray.h"
#include "chart/color.h"
#include "app_test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <thread>
#include <sys/resource.h>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

struct Window : QuietWindow {
    // A sweep file as the tool leaves it, read the way the scan cycle reads it.
    void sweep(const QByteArray &bytes) {
        writeFile(dir.filePath("scan.csv"), bytes);
        form.IngestSweepFile();
        // The log is written on its own thread; its failure is told on the window thread.
        if (form.sweepLog_)
            form.sweepLog_->Flush();
        QCoreApplication::processEvents();
    }
};

QByteArray sweepBytes(long long low, int n, int peakAt, const char *eol, double peakDb = -20) {
    QByteArray out;
    for (int hop = 0; hop < 2; ++hop) {
        out += "2026-12-07, 21:00:0" + QByteArray::number(hop) + ", " + QByteArray::number(low + hop * n * 1000LL) +
               ", " + QByteArray::number(low + (hop + 1) * n * 1000LL) + ", 1000.00, 8";
        for (int i = 0; i < n; ++i)
            out += hop * n + i == peakAt ? ", " + QByteArray::number(peakDb, 'f', 2) : QByteArray(i % 2 ? ", -50.00" : ", -52.00");
        out += eol;
    }
    return out;
}

} // namespace

// With the log on, the bytes of every sweep read are appended unchanged, whatever their line
// ends; the sweep files themselves are still deleted.
TEST(SweepLog, AppendsEverySweepFileByteForByte) {
    Window w;
    w.form.LogSweeps1->trigger();
    ASSERT_TRUE(w.form.LogSweeps1->isChecked());
    EXPECT_TRUE(readFile(w.dir.filePath("settings.ini")).contains("Log sweeps=1\r\n"));
    QByteArray expected;
    for (const char *eol : {"\n", "\r\n", "\n"}) {
        const QByteArray bytes = sweepBytes(430000000, 50, 30, eol);
        w.sweep(bytes);
        ASSERT_TRUE(w.form.LastSweep().ok);
        EXPECT_FALSE(QFile::exists(w.dir.filePath("scan.csv")));
        expected += bytes;
    }
    w.sweep("garbage that is no sweep\n"); // not read successfully: not logged
    EXPECT_EQ(readFile(w.form.SweepLogPath()), expected);
    EXPECT_TRUE(w.form.SweepLogPath().endsWith("/sweeps-" + QDate::currentDate().toString("yyyy-MM-dd") + ".csv"));
    // Off: nothing more is written.
    w.form.LogSweeps1->trigger();
    w.sweep(sweepBytes(430000000, 50, 30, "\n"));
    EXPECT_EQ(readFile(w.form.SweepLogPath()), expected);
}

// A log that cannot be written turns itself off with one notice; the sweeps go on being shown.
TEST(SweepLog, AFailingWriteTurnsTheLogOffAndKeepsSweeping) {
    Window w;
    w.form.LogSweeps1->trigger();
    ASSERT_TRUE(QDir(w.dir.path()).mkdir(QFileInfo(w.form.SweepLogPath()).fileName())); // a folder in its way
    const int notices = w.form.tray->NoticeCount;
    w.sweep(sweepBytes(430000000, 50, 30, "\n"));
    EXPECT_TRUE(w.form.LastSweep().ok);
    EXPECT_FALSE(QFile::exists(w.dir.filePath("scan.csv")));
    EXPECT_FALSE(w.form.LogSweeps1->isChecked());
    EXPECT_EQ(w.form.tray->NoticeCount, notices + 1);
    EXPECT_TRUE(w.form.tray->LastText.startsWith("Sweep log stopped"));
    w.sweep(sweepBytes(430000000, 50, 31, "\n"));
    EXPECT_EQ(w.form.tray->NoticeCount, notices + 1); // said once
    EXPECT_EQ(w.form.spectrum.Series3.XValue(0), 430000000.0 + 31 * 1000);
    EXPECT_TRUE(w.errors.messages.isEmpty());
}

// Max hold keeps each bin's highest level over the sweeps since it was switched on, under the
// trace, and starts afresh when the range changes.
TEST(MaxHold, KeepsTheHighestLevelPerBinAndResetsOnANewRange) {
    Window w;
    w.form.MaxHold1->trigger();
    EXPECT_TRUE(readFile(w.dir.filePath("settings.ini")).contains("Max hold=1\r\n"));
    EXPECT_EQ(w.form.ch->SeriesList().IndexOf(&w.form.maxHoldSeries), 0); // drawn first, under the rest
    w.sweep(sweepBytes(430000000, 50, 10, "\n", -20));
    w.sweep(sweepBytes(430000000, 50, 60, "\n", -15));
    w.sweep(sweepBytes(430000000, 50, 10, "\n", -30));
    const TFastLineSeries &hold = w.form.maxHoldSeries;
    ASSERT_EQ(hold.PointCount(), 100);
    EXPECT_EQ(hold.YValue(10), -20); // the first sweep's peak outlives the third's lower one
    EXPECT_EQ(hold.YValue(60), -15);
    EXPECT_EQ(hold.YValue(11), -50);
    EXPECT_EQ(w.form.spectrum.Series1.YValue(10), -30); // the trace shows the last sweep
    // Another range: only the new sweep.
    w.sweep(sweepBytes(100000000, 50, 5, "\n", -25));
    EXPECT_EQ(hold.YValue(10), -52);
    EXPECT_EQ(hold.YValue(5), -25);
    EXPECT_EQ(hold.XValue(0), 100000000.0);
    // Off: the series leaves the chart.
    w.form.MaxHold1->trigger();
    EXPECT_FALSE(w.form.ch->SeriesList().Contains(&w.form.maxHoldSeries));
}

// The strongest bin's frequency and level stand next to its marker, inside the plot even when
// the marker sits at the plot's edge; a "Max" peak marker shows its own on hover.
TEST(PeakReadout, LabelsStayInsideThePlot) {
    Window w;
    EXPECT_EQ(TForm1::PeakLabel(433920000, -21.44), QString("433.920 MHz ") + QChar(0x2212) + "21.4 dB");
    EXPECT_EQ(TForm1::PeakLabel(100000000, 3.05), "100.000 MHz 3.0 dB");
    for (int at : {0, 50, 99}) { // left edge, middle, right edge
        w.sweep(sweepBytes(430000000, 50, at, "\n", -5));
        w.form.ch->repaint();
        ASSERT_EQ(w.form.lastPeakLabelRects_.size(), 1) << at;
        const QRect r = w.form.lastPeakLabelRects_[0];
        const TRect plot = w.form.ch->PlotRect();
        EXPECT_GE(r.left(), plot.Left) << at;
        EXPECT_LE(r.right(), plot.Right) << at;
        EXPECT_GE(r.top(), plot.Top) << at;
        EXPECT_LE(r.bottom(), plot.Bottom) << at;
    }
    // Peak markers ("Max" on): hovering one labels it too.
    w.form.mx->setChecked(true);
    QByteArray bytes = sweepBytes(430000000, 50, 40, "\n", -5);
    w.sweep(bytes);
    w.form.ch->repaint();
    ASSERT_GT(w.form.spectrum.Series4.PointCount(), 0);
    const auto &peaks = w.form.spectrum.Series4;
    w.form.chMouseMove(peaks.XPixel(0) + 2, peaks.YPixel(0) + 1);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.hoverPeak, 0);
    EXPECT_EQ(w.form.lastPeakLabelRects_.size(), 2);
    // The next sweep has its peaks elsewhere: no label stays on the old index.
    const QPoint mouse(peaks.XPixel(0) + 2, peaks.YPixel(0) + 1);
    QByteArray quiet = sweepBytes(430000000, 50, 90, "\n", -5);
    quiet.replace(", -52.00", ", -50.00"); // a flat floor: one peak, far from the mouse
    w.sweep(quiet);
    w.form.ch->repaint();
    EXPECT_EQ(w.form.hoverPeak, -1);
    if (w.form.hoverPeak >= 0) {
        const int dx = peaks.XPixel(w.form.hoverPeak) - mouse.x(), dy = peaks.YPixel(w.form.hoverPeak) - mouse.y();
        EXPECT_LE(dx * dx + dy * dy, 25) << "a label for a peak away from the mouse";
    }
    w.form.chMouseMove(5, 5);
    EXPECT_EQ(w.form.hoverPeak, -1);

    // Zoomed away from the strongest bin: its label is not pinned to the plot's edge.
    w.form.mx->setChecked(false);
    w.sweep(sweepBytes(430000000, 50, 90, "\n", -5));
    TChart &c = *w.form.ch;
    c.ZoomToValues({c.Left().Minimum(), c.Left().Maximum()}, {c.Right().Minimum(), c.Right().Maximum()},
                   {c.Top().Minimum(), c.Top().Maximum()}, {430000000.0, 430040000.0});
    c.repaint();
    EXPECT_TRUE(w.form.lastPeakLabelRects_.isEmpty());
}

// The append itself: whole or not at all, and never glued onto a cut line.
TEST(SweepLog, AnAppendIsWholeOrNothingAndStartsOnANewLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    writeFile(path, "2026-12-07, 21:00:00, 1, 2, 1, 1, -5"); // a last line without its break
    QString why;
    ASSERT_TRUE(TSweepLog::AppendNow(path, "a, b\n", why));
    EXPECT_EQ(readFile(path), "2026-12-07, 21:00:00, 1, 2, 1, 1, -5\na, b\n");
    ASSERT_TRUE(TSweepLog::AppendNow(path, "c, d", why));
    EXPECT_EQ(readFile(path), "2026-12-07, 21:00:00, 1, 2, 1, 1, -5\na, b\nc, d\n");

    // A disk that takes only part of the sweep: the file goes back to what it was.
    const QByteArray before = readFile(path);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = rlim_t(before.size() + 100);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = TSweepLog::AppendNow(path, QByteArray(500, 'x'), why);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_NE(why, "Unknown error");
    EXPECT_EQ(readFile(path), before);
}
// The worker reads the sweep file before the hand-over; running out of memory there (a huge
// file under a memory limit) is a failed read told on the window thread, never a crash.
TEST(SweepLog, AReadThatFailsOnTheWorkerIsAFailedReadAndTheCycleGoesOn) {
    Window w;
    writeFile(w.dir.filePath("scan.csv"), sweepBytes(430000000, 50, 30, "\n"));
    w.form.PrepareFault = [] { throw std::bad_alloc(); };
    std::thread worker([&] { w.form.PrepareSweepFile(); }); // as the worker thread does
    worker.join();
    w.form.flags.launchRequested = false;
    w.form.IngestSweepFile();
    EXPECT_FALSE(QFile::exists(w.dir.filePath("scan.csv")));
    EXPECT_TRUE(w.form.flags.launchRequested);
    EXPECT_EQ(w.form.tray->LastText, "Sweep file not read: not enough memory");
    EXPECT_TRUE(w.errors.messages.isEmpty());
    // The next sweep is read as usual.
    w.form.PrepareFault = nullptr;
    w.sweep(sweepBytes(430000000, 50, 31, "\n"));
    EXPECT_TRUE(w.form.LastSweep().ok);
}

// The worker reads a sweep ahead without holding its text while the log is off, and whole while
// it is on; either way the log gets the bytes of every sweep shown from the moment it is on,
// and a cut sweep is refused as when read whole.
TEST(SweepLog, SweepsReadAheadAreLoggedWhetherTheLogWasOnBeforeOrSwitchedOnAfter) {
    Window w;
    const QString file = w.dir.filePath("scan.csv");
    auto prepareAndShow = [&](const QByteArray &bytes) {
        writeFile(file, bytes);
        std::thread worker([&] { w.form.PrepareSweepFile(); });
        worker.join();
    };
    auto handOver = [&] {
        w.form.IngestSweepFile();
        if (w.form.sweepLog_)
            w.form.sweepLog_->Flush();
        QCoreApplication::processEvents();
    };
    const QByteArray a = sweepBytes(430000000, 3000, 700, "\n"), b = sweepBytes(430000000, 3000, 900, "\r\n", -10);
    // Read ahead with the log off, the log switched on before the hand-over.
    prepareAndShow(a);
    w.form.LogSweeps1->trigger();
    handOver();
    ASSERT_TRUE(w.form.LastSweep().ok);
    EXPECT_EQ(w.form.spectrum.sweepSeries.PointCount(), 6000);
    EXPECT_EQ(w.form.spectrum.sweepSeries.YValue(700), -20);
    EXPECT_EQ(readFile(w.form.SweepLogPath()), a);
    // Read ahead with the log on.
    prepareAndShow(b);
    handOver();
    EXPECT_EQ(w.form.spectrum.sweepSeries.YValue(900), -10);
    EXPECT_EQ(readFile(w.form.SweepLogPath()), a + b);
    // Off again: read ahead in runs of lines, shown as read whole, not logged.
    w.form.LogSweeps1->trigger();
    prepareAndShow(sweepBytes(430000000, 3000, 1200, "\r", -5));
    handOver();
    EXPECT_EQ(w.form.spectrum.sweepSeries.PointCount(), 6000);
    EXPECT_EQ(w.form.spectrum.sweepSeries.YValue(1200), -5);
    EXPECT_EQ(w.form.spectrum.sweepSeries.XValue(1200), 430000000 + 1200 * 1000.0);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(readFile(w.form.SweepLogPath()), a + b);
    // A sweep whose last line is cut short.
    QByteArray cut = sweepBytes(430000000, 3000, 10, "\n");
    cut.chop(1);
    prepareAndShow(cut);
    handOver();
    EXPECT_EQ(w.form.tray->LastText, "Sweep file not read: its last line is cut short");
    EXPECT_FALSE(QFile::exists(file));
    // The same read by the window thread itself, and the next sweep shown as usual.
    w.form.tray->LastText.clear();
    w.sweep(cut);
    EXPECT_EQ(w.form.tray->LastText, "Sweep file not read: its last line is cut short");
    EXPECT_FALSE(QFile::exists(file));
    w.sweep(sweepBytes(430000000, 3000, 1500, "\n", -7));
    EXPECT_EQ(w.form.spectrum.sweepSeries.YValue(1500), -7);
    EXPECT_EQ(readFile(w.form.SweepLogPath()), a + b);
}

// Max hold adds one series and changes nothing else about the chart: both level axes and their
// ranges stay as they are, on and off.
TEST(MaxHold, AddsOneSeriesAndLeavesTheAxesAsTheyAre) {
    Window w;
    const auto picture = [&] {
        w.form.ch->repaint();
        return w.form.ch->RenderToBitmap(clBlack, TRect{0, 0, w.form.ch->width(), w.form.ch->height()});
    };
    const auto axes = [&] {
        TChart &c = *w.form.ch;
        return std::vector<double>{c.Left().Minimum(), c.Left().Maximum(), c.Right().Minimum(), c.Right().Maximum()};
    };
    w.sweep(sweepBytes(430000000, 50, 10, "\n", -20));
    const QImage before = picture();
    const std::vector<double> ranges = axes();
    w.form.MaxHold1->trigger(); // on
    w.sweep(sweepBytes(430000000, 50, 10, "\n", -20));
    picture();
    EXPECT_EQ(axes(), ranges);
    w.form.MaxHold1->trigger(); // off
    w.sweep(sweepBytes(430000000, 50, 10, "\n", -20));
    EXPECT_EQ(axes(), ranges);
    EXPECT_EQ(picture(), before);
}

TEST(MaxHold, OnAtStartTheLevelAxesMatch) {
    QTemporaryDir dir;
    ErrorCollector errors;
    writeFile(dir.filePath("settings.ini"), "Max hold=1\r\n");
    TForm1 form{StartOptions{dir.path(), dir.filePath("no-tool")}};
    form.scanThread->RequestStop();
    form.scanThread->wait();
    form.resize(716, 386);
    form.show();
    ASSERT_TRUE(form.MaxHold1->isChecked());
    writeFile(dir.filePath("scan.csv"), sweepBytes(430000000, 50, 10, "\n", -20));
    form.IngestSweepFile();
    form.ch->repaint();
    EXPECT_EQ(form.ch->Left().Minimum(), form.ch->Right().Minimum());
    EXPECT_EQ(form.ch->Left().Maximum(), form.ch->Right().Maximum());
    // Its trace is lighter than black and not the trace's own colour.
    const QColor hold = ColorToQColor(form.maxHoldSeries.SeriesColor());
    EXPECT_GT(hold.lightness(), 90);
    EXPECT_NE(form.maxHoldSeries.SeriesColor(), form.flags.chartColor);
}
