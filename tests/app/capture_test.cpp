// Screenshots (F6) and video recording (F7) on the whole window: files, notices, failures, the
// window thread kept free while frames are compressed, and the file completed at close.
#include "app/main_form.h"
#include "app/tray.h"
#include "app_test_support.h"
#include "capture/window_capture.h"
#include "platform/platform.h"

#include "../capture/capture_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using namespace sky;
using namespace skytest;

namespace {

struct Window {
    ErrorCollector errors;
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    Window() {
        form = std::make_unique<TForm1>(StartOptions{dir.path(), dir.filePath("no-tool")});
        form->scanThread->RequestStop();
        form->scanThread->wait();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->AssembleSweep(SweepText(430000000, 25000, 400, 200));
        form->ch->repaint();
        form->ch->setFocus();
    }
    void key(Qt::Key k) { QTest::keyClick(form->ch, k); }
    QString path(const QString &name) const { return dir.filePath(name); }
    // "Save...  <plugins folder's name>/<file>" as the notices write it.
    QString saved(const QString &file) const {
        return QStringLiteral("Save...  ") + QDir(dir.path()).dirName() + QDir::separator() + file;
    }
    int notices() const { return form->tray->NoticeCount; }
    QString notice() const { return form->tray->LastText; }
    bool idle() const {
        return !form->flags.recordingActive && !form->tavi->isActive() && !form->ActiveRecording() &&
               form->RecordingsInProgress() == 0;
    }
    bool waitSaved(int ms = 60000) {
        return waitFor([this] { return form->RecordingsInProgress() == 0; }, ms);
    }
};

int FrameCount(const Probe &p) {
    return p.Video()["nb_read_frames"].toString().toInt();
}

// The file decodes without an error. Decoded at a constant rate, each drop frame repeats the
// frame before, so there are as many pictures as captured frames or more, up to all frames.
void ExpectDecodesWhole(const QString &path, const QSize &size, const Probe &p) {
    QString errors;
    const int decoded = int(DecodeFrames(path, size.width(), size.height(), &errors).size());
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    EXPECT_GE(decoded, FrameCount(p)) << path.toStdString();
    EXPECT_LE(decoded, p.Video()["nb_frames"].toString().toInt()) << path.toStdString();
}

// A child process of `parent`, or 0.
qint64 ChildOf(qint64 parent) {
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            return pid;
    }
    return 0;
}

} // namespace

TEST(Screenshot, F6SavesTheOuterWindowAsABitmapAndSaysWhere) {
    Window w;
    w.form->TimeStampNow = [] { return QStringLiteral("14-05-07"); };
    const int before = w.notices();
    // Its pixels are the window's: compare with the window's own rendering before the notice.
    const QImage window = w.form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    w.key(Qt::Key_F6);
    const QImage shot(w.path("14-05-07.bmp"), "BMP");
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), w.form->frameGeometry().size());
    const QPoint client = w.form->geometry().topLeft() - w.form->frameGeometry().topLeft();
    int differing = 0;
    for (int y = 0; y < window.height(); y += 3)
        for (int x = 0; x < window.width(); x += 3)
            differing += (shot.pixel(client.x() + x, client.y() + y) & 0xFFFFFF) != (window.pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(w.notices(), before + 1);
    EXPECT_EQ(w.notice(), w.saved("14-05-07.bmp"));
    EXPECT_EQ(w.form->tray->LastKind, 1);
    EXPECT_EQ(w.form->tray->LastTitle, TTray::kNoticeTitle);
    EXPECT_TRUE(w.errors.messages.isEmpty());
}

// F6 from the popup menu: the shot shows the window, not the menu that has just closed. Only
// where the screen can be read (ctest runs it under Xvfb, with and without a window manager).
TEST(Screenshot, TheMenuItIsTakenFromIsNotInTheShot) {
    if (!ScreenCanBeRead())
        GTEST_SKIP() << "this platform cannot read the screen";
    Window w;
    w.form->TimeStampNow = [] { return QStringLiteral("menu"); };
    const QPoint at = w.form->ch->mapToGlobal(QPoint(200, 60));
    w.form->pm1->popup(at);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form->pm1));
    QTest::qWait(200);
    const QRect menu = w.form->pm1->frameGeometry();
    w.form->pm1->hide(); // as a click on an item does, just before the item acts
    w.form->Screenshot1->trigger();
    const QImage shot(w.path("menu.bmp"), "BMP");
    ASSERT_FALSE(shot.isNull());
    // Where the menu was, the shot has the window's own pixels.
    const QImage window = w.form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint frameToClient = w.form->geometry().topLeft() - w.form->frameGeometry().topLeft();
    const QRect inWindow = menu.translated(-w.form->geometry().topLeft()).intersected(window.rect());
    ASSERT_FALSE(inWindow.isEmpty());
    int differing = 0, looked = 0;
    for (int y = inWindow.top(); y <= inWindow.bottom(); y += 2)
        for (int x = inWindow.left(); x <= inWindow.right(); x += 2, ++looked)
            differing += (shot.pixel(x + frameToClient.x(), y + frameToClient.y()) & 0xFFFFFF) != (window.pixel(x, y) & 0xFFFFFF);
    EXPECT_LT(differing, looked / 50) << differing << " of " << looked;
}

TEST(Screenshot, TheMenuItemNamesTheFileAfterTheSystemLocaleTime) {
    Window w;
    const QString earliest = TimeStampName(QLocale::system(), QTime::currentTime());
    w.form->Screenshot1->trigger();
    const QString latest = TimeStampName(QLocale::system(), QTime::currentTime());
    const bool found = QFileInfo::exists(w.path(earliest + ".bmp")) || QFileInfo::exists(w.path(latest + ".bmp"));
    EXPECT_TRUE(found) << QDir(w.dir.path()).entryList().join(' ').toStdString();
    EXPECT_FALSE(w.notice().contains(':'));
}

// No file is replaced: a second shot in the same second, or yesterday's at this time, stays.
TEST(Screenshot, ASecondShotInTheSameSecondGetsANameOfItsOwn) {
    Window w;
    w.form->TimeStampNow = [] { return QStringLiteral("9-05-07 PM"); };
    w.key(Qt::Key_F6);
    const QSize first = QImage(w.path("9-05-07 PM.bmp"), "BMP").size();
    w.form->resize(w.form->width() + 40, w.form->height() + 20);
    QCoreApplication::processEvents();
    w.key(Qt::Key_F6);
    EXPECT_EQ(QImage(w.path("9-05-07 PM.bmp"), "BMP").size(), first);
    EXPECT_EQ(QImage(w.path("9-05-07 PM-2.bmp"), "BMP").size(), first + QSize(40, 20));
    EXPECT_EQ(w.notice(), w.saved("9-05-07 PM-2.bmp"));
    writeFile(w.path("9-05-07 PM-3.bmp"), "yesterday's");
    w.key(Qt::Key_F6);
    EXPECT_EQ(readFile(w.path("9-05-07 PM-3.bmp")), "yesterday's");
    EXPECT_TRUE(QFileInfo(w.path("9-05-07 PM-4.bmp")).isFile());
}

TEST(Screenshot, AFileThatCannotBeCreatedGivesTheErrorAndNoNotice) {
    Window w;
    // A folder that does not exist (a time format with a "/" in it would do that).
    w.form->TimeStampNow = [] { return QStringLiteral("gone/14-05-07"); };
    const int before = w.notices();
    w.key(Qt::Key_F6);
    ASSERT_EQ(w.errors.messages.size(), 1);
    EXPECT_TRUE(w.errors.messages[0].contains(QDir::toNativeSeparators(w.path("gone/14-05-07.bmp"))));
    EXPECT_EQ(w.notices(), before);
    EXPECT_FALSE(QFileInfo::exists(w.path("gone")));

    // A name taken by a folder is left alone; the shot takes the next name.
    w.form->TimeStampNow = [] { return QStringLiteral("14-05-07"); };
    ASSERT_TRUE(QDir(w.dir.path()).mkdir("14-05-07.bmp"));
    w.key(Qt::Key_F6);
    EXPECT_TRUE(QFileInfo(w.path("14-05-07.bmp")).isDir());
    EXPECT_TRUE(QFileInfo(w.path("14-05-07-2.bmp")).isFile());
    EXPECT_EQ(w.errors.messages.size(), 1);
}

TEST(Record, ThreeSecondsGiveATenFpsVideoOfTheOuterWindowWhateverTheResizes) {
    SKIP_WITHOUT_FFMPEG();
    Window w;
    w.form->flags.codecFourCC = QStringLiteral("MJPG");
    w.form->TimeStampNow = [] { return QStringLiteral("14-05-07"); };
    const QSize size = w.form->frameGeometry().size();
    QElapsedTimer recorded;
    w.key(Qt::Key_F7);
    recorded.start();
    ASSERT_TRUE(w.form->flags.recordingActive);
    EXPECT_EQ(w.notice(), "Recording the Spectrum...");
    QTest::qWait(1500);
    w.form->resize(w.form->width() + 60, w.form->height() + 30); // later captures are cropped
    QTest::qWait(1600);
    w.key(Qt::Key_F7);
    const qint64 ms = recorded.elapsed();
    ASSERT_TRUE(w.waitSaved());
    EXPECT_TRUE(w.idle());
    EXPECT_TRUE(w.errors.messages.isEmpty()) << w.errors.messages.join('\n').toStdString();
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(w.saved("14-05-07.avi")) +
                                   "\nTime record\\.\\.\\. [34] sec$")
                    .match(w.notice())
                    .hasMatch())
        << w.notice().toStdString();

    const Probe p = ProbeFile(w.path("14-05-07.avi"));
    ASSERT_TRUE(p.ok);
    const QJsonObject v = p.Video();
    EXPECT_EQ(v["r_frame_rate"].toString(), "10/1");
    EXPECT_EQ(v["width"].toInt(), size.width());
    EXPECT_EQ(v["height"].toInt(), size.height());
    // As long as the recording, however busy the machine: ticks that came late or found the
    // queue full are drop frames, which readers skip.
    EXPECT_NEAR(p.Video()["nb_frames"].toString().toInt(), double(ms) / 100, 1.5) << ms;
    const int frames = FrameCount(p);
    EXPECT_EQ(frames, w.form->recorder->Captured());
    EXPECT_EQ(p.Video()["nb_frames"].toString().toInt(), frames + w.form->recorder->DropFrames());
    ExpectDecodesWhole(w.path("14-05-07.avi"), size, p);
}

TEST(Record, StartAndStopWithinASecondReportNoTime) {
    SKIP_WITHOUT_FFMPEG();
    Window w;
    w.form->flags.codecFourCC = QString(); // uncompressed
    w.form->TimeStampNow = [] { return QStringLiteral("2-05-07 PM"); };
    w.key(Qt::Key_F7);
    QTest::qWait(250);
    w.key(Qt::Key_F7);
    ASSERT_TRUE(w.waitSaved());
    EXPECT_EQ(w.notice(), w.saved("2-05-07 PM.avi") + "\nTime record... 0 sec");
    const Probe p = ProbeFile(w.path("2-05-07 PM.avi"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["codec_name"].toString(), "rawvideo");
    EXPECT_EQ(FrameCount(p), w.form->recorder->Captured());
    EXPECT_GE(FrameCount(p), 1);
}

TEST(Record, TheTimeSurvivesTheTickCountWrappingAround) {
    Window w;
    w.form->flags.codecFourCC = QString();
    std::uint32_t now = 0xFFFFF830u; // 2 s before the wrap
    w.form->TickNow = [&] { return now; };
    w.form->TimeStampNow = [] { return QStringLiteral("wrap"); };
    w.key(Qt::Key_F7);
    now = 1500u;
    w.key(Qt::Key_F7);
    ASSERT_TRUE(w.waitSaved());
    EXPECT_TRUE(w.notice().endsWith("\nTime record... 3 sec")) << w.notice().toStdString();
}

TEST(Record, AFailedStartLeavesEverythingIdleAndTheNextStartIsClean) {
    Window w;
    const int before = w.notices();
    w.form->TimeStampNow = [] { return QStringLiteral("14-05-07"); };
    w.form->flags.codecFourCC = QStringLiteral("zzzz");
    w.key(Qt::Key_F7);
    ASSERT_EQ(w.errors.messages, QStringList{"No compressor for zzzz available"});
    EXPECT_TRUE(w.idle());
    EXPECT_FALSE(QFileInfo::exists(w.path("14-05-07.avi")));
    EXPECT_EQ(w.notices(), before);

    // A name taken by anything on disk is never replaced: the recording takes the next free one.
    w.form->flags.codecFourCC = QString();
    ASSERT_TRUE(QDir(w.dir.path()).mkdir("14-05-09.avi"));
    w.form->TimeStampNow = [] { return QStringLiteral("14-05-09"); };
    w.key(Qt::Key_F7);
    EXPECT_EQ(w.form->recordBaseName, "14-05-09-2");
    EXPECT_TRUE(w.form->flags.recordingActive);
    EXPECT_TRUE(w.form->tavi->isActive());
    EXPECT_EQ(w.notice(), "Recording the Spectrum...");
    QTest::qWait(300);
    w.key(Qt::Key_F7);
    ASSERT_TRUE(w.waitSaved());
    EXPECT_EQ(w.notice(), w.saved("14-05-09-2.avi") + "\nTime record... 0 sec");
    EXPECT_EQ(w.errors.messages.size(), 1);

    // Another failed start touches none of the files made before.
    w.form->flags.codecFourCC = QStringLiteral("zzzz");
    w.key(Qt::Key_F7);
    EXPECT_EQ(w.errors.messages.size(), 2);
    EXPECT_TRUE(w.idle());
    EXPECT_TRUE(QFileInfo(w.path("14-05-09-2.avi")).isFile());
    EXPECT_TRUE(QFileInfo(w.path("14-05-09.avi")).isDir());
}

TEST(Record, ClosingTheWindowWhileRecordingLeavesACompletePlayableFile) {
    SKIP_WITHOUT_FFMPEG();
    Window w;
    w.form->flags.codecFourCC = QStringLiteral("cvid");
    w.form->TimeStampNow = [] { return QStringLiteral("closing"); };
    const QSize size = w.form->frameGeometry().size();
    w.key(Qt::Key_F7);
    QTest::qWait(1000);
    w.form.reset();
    EXPECT_TRUE(w.errors.messages.isEmpty());
    const Probe p = ProbeFile(w.path("closing.avi"));
    ASSERT_TRUE(p.ok);
    EXPECT_GT(FrameCount(p), 0);
    ExpectDecodesWhole(w.path("closing.avi"), size, p);
}

// SIGTERM (log-out, kill) and SIGINT close the window as Close does: the recording is complete,
// nothing waits for a click.
TEST(Record, ATerminationRequestClosesTheWindowAndCompletesTheRecording) {
    SKIP_WITHOUT_FFMPEG();
    // The files are read back at the end: no outside program runs while recordings are made.
    QTemporaryDir kept;
    QStringList files;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Window w;
        w.form->flags.codecFourCC = QStringLiteral("MJPG");
        w.form->TimeStampNow = [] { return QStringLiteral("signal"); };
        bool closed = false;
        QObject::connect(w.form.get(), &TForm1::closed, [&] { closed = true; });
        WatchTerminationRequests([&] { w.form->TerminationRequested(); });
        w.key(Qt::Key_F7);
        QTest::qWait(500);
        ASSERT_EQ(::raise(signal), 0); // the process goes on: the request is handled on the event loop
        EXPECT_TRUE(waitFor([&] { return closed; }, 10000)) << signal;
        w.form.reset();
        WatchTerminationRequests([] {});
        EXPECT_TRUE(w.errors.messages.isEmpty()) << w.errors.messages.join('\n').toStdString();
        files << kept.filePath(QStringLiteral("signal%1.avi").arg(signal));
        ASSERT_TRUE(QFile::rename(w.path("signal.avi"), files.back())) << signal;
    }
    for (const QString &file : files) {
        const Probe p = ProbeFile(file);
        ASSERT_TRUE(p.ok) << file.toStdString();
        EXPECT_GE(FrameCount(p), 1);
        ExpectDecodesWhole(file, QSize(p.Video()["width"].toInt(), p.Video()["height"].toInt()), p);
    }
}

// The whole program: SIGTERM ends it with status 0 and ends its sweep tool.
TEST(Record, SigtermEndsTheProgramAndItsSweepTool) {
#ifndef SKYVANE_SIM_PATH
    GTEST_SKIP() << "no simulator";
#else
    QTemporaryDir dir;
    QProcess p;
    p.setProgram(SKYVANE_EXE_PATH);
    p.setArguments({"--plugins-dir", dir.path(), "--sweep-tool", SKYVANE_SIM_PATH});
    p.start();
    ASSERT_TRUE(p.waitForStarted(10000));
    // The tool is running once it holds scan.csv; its process is our child.
    qint64 tool = 0;
    ASSERT_TRUE(waitFor([&] { return (tool = ChildOf(p.processId())) != 0; }, 30000));
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return !ProcessRunning(tool); }, 5000)) << "sweep tool " << tool << " left running";
    EXPECT_TRUE(QFileInfo(dir.filePath("settings.ini")).isFile());
#endif
}
