#include "app/command_line.h"
#include "app/main_form.h"
#include "app/replay.h"
#include "app/spin_double.h"
#include "app/tray.h"
#include "app_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

using namespace sky;
using namespace skytest;

namespace {

// One sweep of two hops at 100.000-100.009 MHz with a peak at bin `peak`, stamped `stamp`.
std::string sweep(const std::string &stamp, int peak) {
    std::string text;
    for (int h = 0; h < 2; ++h) {
        text += stamp + ", " + std::to_string(100000000 + h * 5000) + ", " + std::to_string(100004500 + h * 5000) +
                ", 1000, 10";
        for (int i = 0; i < 5; ++i)
            text += h * 5 + i == peak ? ", -20" : i % 2 ? ", -50" : ", -52";
        text += "\n";
    }
    return text;
}

struct Player {
    QApplication &application = app();
    QTemporaryDir dir;
    StartOptions options{dir.path(), dir.filePath("no-tool"), false, true};
    TForm1 form{options};
    std::unique_ptr<TReplay> replay;

    Player(const std::string &capture, double speed) {
        writeFile(dir.filePath("capture.csv"), QByteArray::fromStdString(capture));
        QString error;
        replay = TReplay::FromFile(form, dir.filePath("capture.csv"), speed, error);
        EXPECT_TRUE(replay) << error.toStdString();
        form.show();
    }
    int waterfallRows() const {
        const QImage &pic = form.img2->Picture();
        int rows = 0;
        for (int y = 0; y < pic.height(); ++y)
            rows += pic.pixel(pic.width() / 2, y) != QColor(Qt::black).rgb();
        return rows;
    }
};

} // namespace

TEST(Replay, PlaysAtThePaceOfTheTimeStampsTimesTheSpeed) {
    // Five sweeps over ten recorded seconds (one pair a second apart, gaps of 2, 3 and 4 s).
    // The last one crosses midnight.
    const std::string capture = sweep("2026-12-07, 23:59:50", 0) + sweep("2026-12-07, 23:59:51", 1) +
                                sweep("2026-12-07, 23:59:53", 2) + sweep("2026-12-07, 23:59:56", 3) +
                                sweep("2026-12-08, 00:00:00", 4);
    Player p(capture, 10);
    ASSERT_TRUE(p.replay);
    ASSERT_EQ(p.replay->SweepCount(), 5);
    QElapsedTimer clock;
    clock.start();
    p.replay->Start();
    // The first sweep is there at once; the window thread stays free between sweeps.
    EXPECT_EQ(p.replay->SweepsShown(), 1);
    int lastCount = 1;
    std::vector<qint64> arrivals{0};
    ASSERT_TRUE(waitFor(
        [&] {
            if (p.replay->SweepsPlayed() != lastCount) {
                lastCount = p.replay->SweepsPlayed();
                arrivals.push_back(clock.elapsed());
            }
            return p.replay->Finished();
        },
        5000));
    const qint64 total = clock.elapsed();
    // Ten recorded seconds at ten times: about one second, with generous room for a busy machine.
    EXPECT_GE(total, 950);
    EXPECT_LT(total, 2500);
    ASSERT_EQ(arrivals.size(), 5u);
    EXPECT_GE(arrivals[1], 95);  // 1 s recorded
    EXPECT_GE(arrivals[2], 295); // 3 s
    EXPECT_GE(arrivals[3], 595); // 6 s
    EXPECT_EQ(p.replay->SweepsShown(), 5);
    EXPECT_EQ(p.waterfallRows(), 5);
    EXPECT_EQ(p.form.spectrum.Series1.YValues().Data()[4], -20); // the last sweep's peak
    // The end is said in a notice and in the status.
    EXPECT_EQ(p.form.statusText.get(), QStringLiteral("Replay finished"));
    EXPECT_TRUE(p.replay->EndText().contains("5 of 5 sweeps"));
    if (p.form.tray) {
        EXPECT_EQ(p.form.tray->LastText, p.replay->EndText());
    }
}

TEST(Replay, ControlsShowTheFileRangeReadOnlyAndNothingIsWrittenOrLaunched) {
    Player p(sweep("2026-12-07, 10:00:00", 1) + sweep("2026-12-07, 10:00:01", 2), 1000);
    ASSERT_TRUE(p.replay);
    p.replay->Start();
    ASSERT_TRUE(waitFor([&] { return p.replay->Finished(); }, 3000));
    for (QWidget *w : std::initializer_list<QWidget *>{p.form.dongle, p.form.ppm, p.form.step, p.form.gain,
                                                       p.form.startSpin, p.form.stopSpin})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_DOUBLE_EQ(p.form.startSpin->Value(), 100.0);
    EXPECT_DOUBLE_EQ(p.form.stopSpin->Value(), 100.0095); // the last hop's end
    EXPECT_EQ(p.form.step->currentText(), QStringLiteral("1000"));
    // A change that reaches a control anyway (here the range shown) goes nowhere.
    const QString dongleBefore = p.form.params.dongleNumber;
    p.form.dongle->setValue(p.form.dongle->value() + 1);
    EXPECT_EQ(p.form.params.dongleNumber, dongleBefore);
    EXPECT_FALSE(p.form.flags.paramChangePending);
    EXPECT_FALSE(QFile::exists(p.form.settingsPath));
    EXPECT_FALSE(p.form.scanThread);
    EXPECT_EQ(p.form.sweepCount, 2);
    EXPECT_EQ(QDir(p.dir.path()).entryList(QDir::Files).size(), 1); // the capture only
}

TEST(Replay, UnreadableOrBackwardStampsFallBackToOneSecondAndStoppedDisplayPassesSweeps) {
    // No stamp, a stamp, one going back: each gap then counts as one recorded second.
    const std::string capture = sweep("x, y", 0) + sweep("2026-12-07, 10:00:05", 1) + sweep("2026-12-07, 10:00:01", 2) +
                                sweep("2026-12-07, 10:00:03", 3);
    Player p(capture, 10);
    ASSERT_TRUE(p.replay);
    ASSERT_EQ(p.replay->SweepCount(), 4);
    EXPECT_DOUBLE_EQ(p.replay->DueMs(0), 0);
    EXPECT_DOUBLE_EQ(p.replay->DueMs(1), 100);
    EXPECT_DOUBLE_EQ(p.replay->DueMs(2), 200);
    EXPECT_DOUBLE_EQ(p.replay->DueMs(3), 400);
    // With the display stopped, sweeps go by unseen, as from the receiver.
    p.form.flags.visualizationStopped = true;
    p.replay->Start();
    ASSERT_TRUE(waitFor([&] { return p.replay->Finished(); }, 3000));
    EXPECT_EQ(p.replay->SweepsPlayed(), 4);
    EXPECT_EQ(p.replay->SweepsShown(), 0);
    EXPECT_EQ(p.form.spectrum.Series1.PointCount(), 0);
}

TEST(Replay, CommandLineAndAFileWithoutSweeps) {
    QTemporaryDir dir;
    const QString path = dir.filePath("c.csv");
    writeFile(path, ",,,\n");
    CommandLine cl = ParseCommandLine({"--replay", path, "--speed", "2.5"});
    EXPECT_EQ(cl.action, CommandLine::Replay);
    EXPECT_EQ(cl.replayFile, path);
    EXPECT_DOUBLE_EQ(cl.speed, 2.5);
    EXPECT_DOUBLE_EQ(ParseCommandLine({"--replay", path}).speed, 1.0);
    for (const QStringList &bad :
         {QStringList{"--replay"}, QStringList{"--replay", dir.filePath("missing")},
          QStringList{"--replay", dir.path()}, QStringList{"--replay", path, "--speed", "0"},
          QStringList{"--replay", path, "--speed", "fast"}, QStringList{"--replay", path, "--speed", "1,5"},
          QStringList{"--speed", "2"}, QStringList{"--replay", path, "--render", "x.png", path}}) {
        cl = ParseCommandLine(bad);
        EXPECT_EQ(cl.action, CommandLine::Fail) << bad.join(' ').toStdString();
        EXPECT_FALSE(cl.error.contains('\n'));
    }
    // Nothing to play: the end is said at once.
    Player p(",,,\n", 1);
    ASSERT_TRUE(p.replay);
    p.replay->Start();
    EXPECT_TRUE(p.replay->Finished());
    EXPECT_TRUE(p.replay->EndText().contains("0 of 0"));
}

// A log may hold sweeps of several ranges: the controls show each sweep's own as it plays.
TEST(Replay, TheControlsFollowEachSweepsOwnRange) {
    std::string later;
    for (int h = 0; h < 2; ++h)
        later += "2026-12-07, 21:00:05, " + std::to_string(88000000 + h * 10000000) + ", " +
                 std::to_string(98000000 + h * 10000000) + ", 2000000.00, 10, -50, -49, -20, -50, -51\n";
    Player p(sweep("2026-12-07, 21:00:00", 2) + later, 1000);
    ASSERT_TRUE(p.replay);
    p.replay->Start();
    EXPECT_DOUBLE_EQ(p.form.startSpin->Value(), 100.0);
    EXPECT_DOUBLE_EQ(p.form.stopSpin->Value(), 100.0095);
    ASSERT_TRUE(waitFor([&] { return p.replay->Finished(); }, 10000));
    EXPECT_DOUBLE_EQ(p.form.startSpin->Value(), 88.0);
    EXPECT_DOUBLE_EQ(p.form.stopSpin->Value(), 108.0);
    EXPECT_EQ(p.form.step->currentText(), p.form.LastSweep().step);
    EXPECT_EQ(p.form.step->currentText(), "2000000.00");
}

// What cannot be played says why: a file that is no capture, a folder, a FIFO.
TEST(Replay, WhatCannotBePlayedSaysWhy) {
    Player p("this is no capture\nat all\n", 1000);
    ASSERT_TRUE(p.replay);
    p.replay->Start();
    ASSERT_TRUE(waitFor([&] { return p.replay->Finished(); }, 10000));
    EXPECT_EQ(p.form.tray->NoticeCount, 2); // the reason once, then the end
    EXPECT_EQ(p.form.tray->LastText, p.replay->EndText());

    QString error;
    EXPECT_FALSE(TReplay::FromFile(p.form, p.dir.path(), 1, error));
    EXPECT_EQ(error, "cannot replay " + p.dir.path() + ": not a file (a folder)");
    const QString fifo = p.dir.filePath("fifo");
    ASSERT_EQ(QProcess::execute("mkfifo", {fifo}), 0);
    EXPECT_FALSE(TReplay::FromFile(p.form, fifo, 1, error));
    EXPECT_EQ(error, "cannot replay " + fifo + ": not a file (a FIFO, socket or device)");
    EXPECT_FALSE(TReplay::FromFile(p.form, p.dir.filePath("missing.csv"), 1, error));
    EXPECT_EQ(error, "cannot replay " + p.dir.filePath("missing.csv") + ": no such file");
}
