// The scan cycle end to end: the real worker, a temporary plugins folder and real tool processes.
#include "app/main_form.h"
#include "app/tray.h"
#include "app_test_support.h"
#include "platform/platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QFileInfo>

#include <csignal>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sky;
using namespace skytest;

namespace {

// A stand-in tool that logs each start with its arguments, one per line, then runs `body` (by
// default: leaves a small sweep file, as the real tool does) and exits.
QString loggingTool(const QTemporaryDir &dir,
                    const QByteArray &body = "echo '2026-12-07, 21:00:00, 430000000, 431000000, 250000.00, 10, "
                                             "-50, -49, -20, -50' > scan.csv\n") {
    const QString path = dir.filePath("tool.sh");
    writeFile(path, "#!/bin/sh\n"
                    "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$LOGDIR/launches.log\"\n"
                    "echo >> \"$LOGDIR/launches.log\"\n" + body);
    QFile::setPermissions(path, QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
    qputenv("LOGDIR", dir.path().toLocal8Bit());
    return path;
}

int launches(const QTemporaryDir &dir) {
    return static_cast<int>(readFile(dir.filePath("launches.log")).count('\n'));
}

// Child processes of this test that still exist, zombies included.
int childProcesses() {
    int n = 0;
    const pid_t self = getpid();
    DIR *d = opendir("/proc");
    while (dirent *e = d ? readdir(d) : nullptr) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(e->d_name)));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == self)
            ++n;
    }
    if (d)
        closedir(d);
    return n;
}

void pump(int ms) { waitFor([] { return false; }, ms); }

} // namespace

TEST(ScanCycle, LaunchesWithExactArgumentsSweepAfterSweep) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir);
    TForm1 form({dir.path(), tool});
    ASSERT_TRUE(form.startupCompleted);
    pump(1100);
    // At the tool's own pace: the next run starts as soon as a sweep is read, and every run's
    // sweep is read before the next one starts.
    const int n = launches(dir);
    EXPECT_GE(n, 3);
    EXPECT_LE(n, form.sweepCount + 1);
    const QByteArray first = readFile(dir.filePath("launches.log")).split('\n').first();
    EXPECT_EQ(first, "[-f][430000000h:470000000h:50k][-g][12.5][-p][0][-d][0][-1][-i][0.5s][-w][hamming][scan.csv]");
    EXPECT_TRUE(form.LastSweep().ok);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A tool that fails (no receiver, a busy one, no permission) says why on its error output and
// exits: the window shows that line, tells it once as a notice, and tries again after 1 s, 2 s,
// ... instead of ten times a second.
TEST(ScanCycle, FailingToolShowsItsMessageOnceAndBacksOff) {
    ErrorCollector errors;
    QTemporaryDir dir;
    // What Debian's rtl_power writes without a receiver: the failure first, set-up lines after it.
    const QByteArray stderrFixture = SKYVANE_SOURCE_DIR "/tests/scan/rtl_power_stderr/no_device.stderr";
    const QString tool = loggingTool(dir, "cat '" + stderrFixture + "' >&2\nexit 1\n");
    TForm1 form({dir.path(), tool});
    EXPECT_TRUE(waitFor([&] { return form.sb->PanelText(0) == "No supported devices found."; }, 1500));
    // The whole error output is the panel's hint.
    EXPECT_EQ(form.sb->Panel(0)->toolTip(), QString::fromLatin1(readFile(stderrFixture)).trimmed());
    pump(3300 - 1500);
    // Launches at about 0 s, 1 s and 3 s.
    EXPECT_GE(launches(dir), 2);
    EXPECT_LE(launches(dir), 4);
    ASSERT_TRUE(form.tray);
    EXPECT_EQ(form.tray->NoticeCount, 1);
    EXPECT_EQ(form.tray->LastText, "No supported devices found.");
    EXPECT_EQ(form.sb->PanelText(0), "No supported devices found.");
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A tool that needs time to open the receiver is not launched again meanwhile: one launch per
// sweep.
TEST(ScanCycle, SlowStartingToolIsLaunchedOncePerSweep) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir, QByteArray("sleep 0.8\nexec '") + SKYVANE_SIM_PATH + "' \"$@\"\n");
    TForm1 form({dir.path(), tool});
    pump(4500);
    EXPECT_TRUE(form.LastSweep().ok);
    // About one launch per 0.8 s start-up plus the sweep; never several per sweep.
    EXPECT_GE(form.sweepCount, 2);
    EXPECT_LE(launches(dir), form.sweepCount + 1);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A tool that hangs before it writes anything is launched once, not ten times a second, and
// ends with the window.
TEST(ScanCycle, HangingToolIsLaunchedOnceAndEndsWithTheWindow) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir, "exec sleep 30\n");
    auto form = std::make_unique<TForm1>(StartOptions{dir.path(), tool});
    pump(1500);
    EXPECT_EQ(launches(dir), 1);
    const qint64 pid = form->sweepTool_->ProcessId();
    ASSERT_GT(pid, 0);
    form.reset();
    EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/%1/stat").arg(pid)) &&
                 !readFile(QStringLiteral("/proc/%1/stat").arg(pid)).contains(") Z"))
        << "the tool outlived the window";
    EXPECT_EQ(childProcesses(), 0);
}

// Anything but a regular file named scan.csv is not a sweep file: never opened (a FIFO would
// block the window for good), never deleted, and launches wait until it is gone.
TEST(ScanCycle, FifoOrFolderNamedLikeTheSweepFileIsLeftAloneAndSaidSo) {
    for (const bool fifo : {true, false}) {
        ErrorCollector errors;
        QTemporaryDir dir;
        const QString tool = loggingTool(dir);
        const QString csv = dir.filePath("scan.csv");
        if (fifo)
            ASSERT_EQ(mkfifo(csv.toLocal8Bit().constData(), 0600), 0);
        else
            ASSERT_TRUE(QDir(dir.path()).mkdir("scan.csv"));
        TForm1 form({dir.path(), tool});
        EXPECT_TRUE(waitFor([&] { return form.sb->PanelText(0) == TForm1::kNotASweepFileText; }, 1500));
        EXPECT_EQ(launches(dir), 0);
        EXPECT_TRUE(QFileInfo::exists(csv));
        // Gone: sweeps start.
        fifo ? QFile::remove(csv) : QDir(dir.path()).rmdir("scan.csv");
        EXPECT_TRUE(waitFor([&] { return form.LastSweep().ok; }, 3000));
        EXPECT_TRUE(errors.messages.isEmpty());
    }
}

// Two receivers, two windows, two plugins folders: starting the second leaves the first one's
// sweep running.
TEST(ScanCycle, SecondWindowLeavesTheFirstWindowsSweepAlone) {
    ErrorCollector errors;
    QTemporaryDir first, second;
    const QString slowSim = first.filePath("rtl_power");
    writeFile(slowSim, QByteArray("#!/bin/sh\nsleep 1\nexec '") + SKYVANE_SIM_PATH + "' \"$@\"\n");
    QFile::setPermissions(slowSim, QFile::ExeOwner | QFile::ReadOwner);
    TForm1 a({first.path(), slowSim});
    ASSERT_TRUE(waitFor([&] { return a.sweepTool_->Running(); }, 1000));
    const qint64 pid = a.sweepTool_->ProcessId();
    pump(200);
    TForm1 b({second.path(), second.filePath("no-tool")});
    EXPECT_TRUE(a.sweepTool_->Running());
    EXPECT_EQ(a.sweepTool_->ProcessId(), pid);
    EXPECT_TRUE(waitFor([&] { return a.LastSweep().ok; }, 4000));
}

TEST(ScanCycle, ShellSyntaxInSettingsReachesTheToolAsPlainText) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir);
    const QString marker = dir.filePath("pwned");
    writeFile(dir.filePath("settings.ini"), ("Freq min Hz=430000000\r\nFreq max Hz=470000000\r\nFreq step=50k;touch " +
                                             marker + "\r\nGain level=$(touch " + marker + ")\r\n")
                                                .toUtf8());
    TForm1 form({dir.path(), tool});
    ASSERT_TRUE(waitFor([&] { return launches(dir) >= 1; }, 2000));
    pump(100);
    EXPECT_FALSE(QFile::exists(marker));
    const QByteArray first = readFile(dir.filePath("launches.log")).split('\n').first();
    EXPECT_TRUE(first.startsWith("[-f][430000000h:470000000h:50k;touch][" + marker.toUtf8() + "][-g][$(touch][" +
                                 marker.toUtf8() + ")][-p]"))
        << first.toStdString();
}

TEST(ScanCycle, LeftoverSweepFileIsReadFirstAndDeleted) {
    ErrorCollector errors;
    QTemporaryDir dir;
    QByteArray sweep = "2026-12-07, 21:00:00, 430000000, 431000000, 25000.00, 10";
    for (int i = 0; i < 40; ++i)
        sweep += i == 20 ? ", -20.00" : ", -50.00";
    writeFile(dir.filePath("scan.csv"), sweep + "\n");
    TForm1 form({dir.path(), dir.filePath("no-such-tool")});
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(dir.filePath("scan.csv")); }, 1000));
    EXPECT_TRUE(form.LastSweep().ok);
    EXPECT_EQ(form.LastSweep().values, 40);
    EXPECT_EQ(form.spectrum.Series1.PointCount(), 40);
    EXPECT_EQ(form.spectrum.Series3.XValue(0), 430000000.0 + 20 * 25000.0);
}

TEST(ScanCycle, StopVisualizationLaunchesNothingAndLeavesTheFile) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir);
    writeFile(dir.filePath("scan.csv"), "old sweep\n");
    TForm1 form({dir.path(), tool});
    form.Image3Click(); // Stop Visualization, before the first pass
    pump(600);
    EXPECT_EQ(launches(dir), 0);
    EXPECT_EQ(readFile(dir.filePath("scan.csv")), "old sweep\n");
    // The status says so instead of looking busy for ever.
    EXPECT_TRUE(waitFor([&] { return form.sb->PanelText(0) == "Visualization stopped"; }, 500));

    form.Image3Click();
    ASSERT_TRUE(waitFor([&] { return launches(dir) >= 1; }, 1000));
    EXPECT_TRUE(waitFor([&] { return form.LastSweep().ok; }, 1000));
}

TEST(ScanCycle, ParameterChangeHoldsLaunchesUntilOneSecondAfterTheLastChange) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir);
    TForm1 form({dir.path(), tool});
    ASSERT_TRUE(waitFor([&] { return launches(dir) >= 1; }, 1000));

    // Three changes 300 ms apart, as the parameter handler makes them.
    QElapsedTimer t;
    t.start();
    qint64 lastChange = 0;
    for (int i = 0; i < 3; ++i) {
        form.flags.paramChangePending = true;
        form.RestartSettleTimer();
        lastChange = t.elapsed();
        if (i == 0)
            pump(500); // a launch handed over just before the change may still be starting (its log line comes late on a loaded machine)
        const int before = launches(dir);
        pump(i == 0 ? 150 : 300);
        EXPECT_EQ(launches(dir), before) << "launched during the settle period";
    }
    const int held = launches(dir);
    ASSERT_TRUE(waitFor([&] { return launches(dir) > held; }, 2500));
    const qint64 resumedAfter = t.elapsed() - lastChange;
    EXPECT_GE(resumedAfter, 1000);
    EXPECT_LE(resumedAfter, 2500); // a loaded machine may stretch it, never shorten it
    EXPECT_FALSE(form.flags.paramChangePending);
}

TEST(ScanCycle, MissingToolSaysSoAndLeavesNoProcess) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form({dir.path(), dir.filePath("not-installed")});
    EXPECT_TRUE(waitFor([&] { return form.statusText.get().startsWith("Cannot start " + dir.filePath("not-installed")); },
                        1000));
    EXPECT_TRUE(errors.messages.isEmpty());
    EXPECT_EQ(childProcesses(), 0);
}

TEST(ScanCycle, FailingToolNeverPilesUpProcesses) {
    ErrorCollector errors;
    QTemporaryDir dir;
    TForm1 form({dir.path(), "/bin/false"});
    pump(400);
    const int early = childProcesses();
    pump(1500);
    EXPECT_LE(childProcesses(), std::max(early, 1));
    EXPECT_LE(ReapLaunchedChildren(), 1);
}

TEST(ScanCycle, ClosingInEveryStateEndsCleanly) {
    ErrorCollector errors;
    QTemporaryDir dir;
    // A tool that holds the sweep file open for a while, as the real one does.
    const QString tool = dir.filePath("slow.sh");
    writeFile(tool, "#!/bin/sh\nexec 3>scan.csv\nsleep 0.4\necho x >&3\n");
    QFile::setPermissions(tool, QFile::ExeOwner | QFile::ReadOwner);
    for (int delay : {0, 1, 20, 60, 99, 101, 150, 250, 400}) {
        auto form = std::make_unique<TForm1>(StartOptions{dir.path(), tool});
        pump(delay);
        form.reset(); // a shut-down that hangs on the tool or the worker runs into the test's time-out
        EXPECT_EQ(childProcesses(), 0) << "the tool outlived the window, closed after " << delay << " ms";
    }
    // Hand-overs queued before the close must not run afterwards.
    pump(300);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(ScanCycle, SimulatedToolSweepsBackToBack) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString csv = dir.filePath("scan.csv");
    TForm1 form({dir.path(), SKYVANE_SIM_PATH});
    // Follow the sweep file: created and held by the tool, released, read and deleted, created again.
    enum { Absent, Busy, Free } state = Absent;
    QElapsedTimer clock;
    clock.start();
    qint64 freedAt = -1, deletedAt = -1;
    int sweepsRead = 0, sawBusy = 0;
    QList<qint64> freeToDelete, freeToNextLaunch;
    waitFor([&] {
        const bool exists = QFile::exists(csv);
        const bool busy = exists && IsFileBusy(csv);
        const qint64 now = clock.elapsed();
        if (busy && state != Busy) {
            if (freedAt >= 0 && deletedAt >= 0)
                freeToNextLaunch << now - freedAt;
            state = Busy;
            ++sawBusy;
        } else if (exists && !busy && state == Busy) {
            state = Free;
            freedAt = now;
        } else if (!exists && state == Free) {
            state = Absent;
            deletedAt = now;
            freeToDelete << now - freedAt;
            ++sweepsRead;
        }
        return sweepsRead >= 3 && freeToNextLaunch.size() >= 2;
    }, 60000);
    ASSERT_GE(sweepsRead, 3);
    EXPECT_GE(sawBusy, 3);
    // Order, not speed (a loaded machine stretches every pass): each sweep file is read and
    // deleted after the tool lets go and before the next launch holds it; the bounds, far above
    // any load, only catch a cycle that waits for a timer it should not need (the 30 s hung-tool
    // limit, say).
    ASSERT_EQ(freeToDelete.size(), sweepsRead);
    for (qint64 ms : freeToDelete)
        EXPECT_LE(ms, 10000) << "the file must be read soon after the tool lets go";
    for (qint64 ms : freeToNextLaunch)
        EXPECT_LE(ms, 10000) << "the next launch follows the read";
    ASSERT_TRUE(form.LastSweep().ok);
    EXPECT_EQ(form.spectrum.Series1.XValue(0), 430000000.0);
    EXPECT_GT(form.spectrum.Series1.PointCount(), 900);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A finished sweep file is always read before the next run starts (the next run would truncate
// it), and a busy file never turns into a launch while our tool still writes it. The
// interleaving that lost sweeps, forced step by step: a launch released while an unread
// scan.csv is there.
TEST(ScanCycle, AFinishedSweepIsReadBeforeTheNextRunStarts) {
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString tool = loggingTool(dir);
    TForm1 form({dir.path(), tool});
    form.scanThread->RequestStop();
    form.scanThread->wait(); // the test takes the worker's part
    form.flags.paramChangePending = false;
    waitFor([&] { return !form.sweepTool_->Running(); }, 3000);
    const int before = launches(dir);
    const int shown = form.sweepCount;
    writeFile(dir.filePath("scan.csv"), "2026-12-07, 21:00:00, 430000000, 431000000, 250000.00, 10, -50, -49, -20, -50\n");
    form.LaunchSweepTool(); // the released launch comes first
    EXPECT_EQ(launches(dir), before) << "a run started over an unread sweep";
    EXPECT_TRUE(form.flags.awaitingSweepFile);
    form.IngestSweepFile(); // the read comes next
    EXPECT_EQ(form.sweepCount, shown + 1);
    EXPECT_TRUE(form.flags.launchRequested);
    form.LaunchSweepTool();
    EXPECT_TRUE(waitFor([&] { return launches(dir) == before + 1; }, 3000));

    // While our run is going, a busy (or not yet closed) file waits for the run's end.
    writeFile(dir.filePath("slow.sh"), "#!/bin/sh\nexec 3>scan.csv\nsleep 1\necho '2026-12-07, 21:00:00, 430000000, "
                                       "431000000, 250000.00, 10, -50, -49, -20, -50' >&3\n");
    QFile::setPermissions(dir.filePath("slow.sh"), QFile::ExeOwner | QFile::ReadOwner);
    waitFor([&] { return !form.sweepTool_->Running(); }, 3000);
    QFile::remove(dir.filePath("scan.csv"));
    form.sweepToolPath = dir.filePath("slow.sh");
    form.flags.launchRequested = false;
    form.LaunchSweepTool();
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(dir.filePath("scan.csv")); }, 3000));
    form.PrepareSweepFile(); // the worker's look: the run is still going, nothing is read
    form.IngestSweepFile();
    EXPECT_FALSE(form.flags.launchRequested);
    EXPECT_TRUE(form.flags.awaitingSweepFile);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("scan.csv")));
    // The worker looked while the run went on and the run has ended before the hand-over: the
    // window thread does not read the sweep itself (a million values would hold it for a tenth
    // of a second); the worker reads it on its next pass.
    form.flags.awaitingSweepFile = false;
    form.PrepareSweepFile();
    ASSERT_TRUE(waitFor([&] { return !form.sweepTool_->Running(); }, 5000));
    form.IngestSweepFile();
    EXPECT_EQ(form.sweepCount, shown + 1);
    EXPECT_TRUE(form.flags.awaitingSweepFile);
    EXPECT_FALSE(form.flags.launchRequested);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("scan.csv")));
    form.PrepareSweepFile();
    form.IngestSweepFile();
    EXPECT_EQ(form.sweepCount, shown + 2);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A tool that fails, hangs or leaves children: a cut sweep is never drawn, a hung run is ended
// and said, a parameter change ends the old run, and a wrapper's children end with it.
TEST(ScanCycle, FailingHungAndWrappedToolsAreHandled) {
    ErrorCollector errors;
    QTemporaryDir dir;
    // Writes half a sweep and fails.
    const QString cut = loggingTool(dir, "printf '2026-12-07, 21:00:00, 430000000, 431000000, 250000.00, 10, -50, "
                                         "-49' > scan.csv\nexit 3\n");
    {
        TForm1 form({dir.path(), cut});
        ASSERT_TRUE(waitFor([&] { return launches(dir) >= 2; }, 20000)) << form.sb->PanelText(0).toStdString();
        EXPECT_EQ(form.sweepCount, 0);
        EXPECT_FALSE(form.LastSweep().ok);
        EXPECT_TRUE(form.tray->LastText.contains("exit code 3")) << form.tray->LastText.toStdString();
    }
    // Succeeds, but its last line has no line break.
    const QString unfinished = loggingTool(dir, "printf '2026-12-07, 21:00:00, 430000000, 431000000, 250000.00, 10, "
                                                "-50, -49, -20, -50' > scan.csv\n");
    {
        TForm1 form({dir.path(), unfinished});
        ASSERT_TRUE(waitFor([&] { return form.tray->LastText.startsWith("Sweep file not read: "); }, 20000))
            << form.tray->LastText.toStdString() << " / " << form.sb->PanelText(0).toStdString();
        EXPECT_EQ(form.sweepCount, 0);
        EXPECT_EQ(form.tray->LastText, "Sweep file not read: " + TForm1::kCutSweepText);
    }
    // Hangs, with a child of its own.
    const QString pids = dir.filePath("pids");
    // The child's pid appears whole: written aside, then renamed.
    const QString hung = loggingTool(dir, "sleep 600 &\necho $! > '" + pids.toUtf8() + ".new'\nmv '" + pids.toUtf8() +
                                              ".new' '" + pids.toUtf8() + "'\nexec sleep 600\n");
    {
        TForm1 form({dir.path(), hung});
        form.minHungToolMs = 1500; // set before the first launch, which needs the event loop
        // A parameter change ends a run of the old parameters.
        ASSERT_TRUE(waitFor([&] { return form.sweepTool_->Running() && QFileInfo::exists(pids); }, 20000));
        const qint64 child = readFile(pids).trimmed().toLongLong();
        ASSERT_GT(child, 0) << readFile(pids).constData();
        const int before = launches(dir);
        form.gain->setEditText("20.7");
        form.Timer1Timer();
        EXPECT_TRUE(waitFor([&] { return !ProcessRunning(child); }, 20000)) << "the wrapper's child lives on";
        ASSERT_TRUE(waitFor([&] { return launches(dir) > before; }, 20000)) << form.sb->PanelText(0).toStdString();
        EXPECT_TRUE(readFile(dir.filePath("launches.log")).trimmed().split('\n').last().contains("[20.7]"))
            << readFile(dir.filePath("launches.log")).constData();
        // The new run hangs too: it is ended after the limit, and that is said.
        ASSERT_TRUE(waitFor([&] { return form.sb->PanelText(0).contains("without finishing a sweep"); }, 20000))
            << form.sb->PanelText(0).toStdString();
        EXPECT_TRUE(form.sb->PanelText(0).endsWith("and was ended")) << form.sb->PanelText(0).toStdString();
    }
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}
