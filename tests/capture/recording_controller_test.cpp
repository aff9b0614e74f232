// The recording controller without a window: a fake capture source, a clock the test moves, and
// writers held back by a gate or stopped by a full disk.
#include "capture/avi_writer.h"
#include "capture/recording_controller.h"
#include "capture/window_capture.h"
#include "platform/error.h"

#include "capture_test_support.h"
#include "../small_tmpfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <unistd.h>

using namespace sky;
using namespace skytest;

namespace {

void Pump(const std::function<bool()> &done, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A controller whose time, frames and writers the test controls.
struct Recorder {
    QTemporaryDir dir;
    QObject context;
    qint64 now = 1000000;       // ms on the fake steady clock
    std::uint32_t ticks = 5000; // the fake tick count
    int captures = 0;
    QSize frameSize{64, 48};
    Gate gate;
    qint64 sizeLimit;
    QStringList notices, errors, statuses;
    int stopped = 0;
    std::unique_ptr<TRecordingController> c;

    explicit Recorder(int queueFrames = 0, qint64 diskBytes = -1) : sizeLimit(diskBytes) {
        EnsureCaptureApp();
        TRecordingController::Hooks h;
        h.capture = [this] { return SpectrumFrame(frameSize.width(), frameSize.height(), captures++); };
        h.notice = [this](const QString &t) { notices << t; };
        h.error = [this](const QString &t) { errors << t; };
        h.status = [this](const QString &t) { statuses << t; };
        h.stopped = [this] { ++stopped; };
        h.ticks = [this] { return ticks; };
        h.clockMs = [this] { return now; };
        h.makeWriter = [this] {
            auto w = std::make_unique<TAviWriter>();
            w->OnProgress = gate.Handler();
            w->SizeLimit = sizeLimit;
            return w;
        };
        h.limits.frames = queueFrames;
        c = std::make_unique<TRecordingController>(&context, std::move(h));
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    void Start(const QString &base, const QString &codec = QString()) {
        RecordingRequest r;
        r.folder = dir.path() + "/";
        r.baseName = base;
        r.codec = codec;
        r.size = frameSize;
        r.frameTimeMs = 100;
        c->Start(r);
    }
    // Ticks every `step` ms of fake time for `ms` ms.
    void Run(int ms, int step = 100) {
        for (int t = 0; t < ms; t += step) {
            now += step;
            ticks += std::uint32_t(step);
            c->Tick();
        }
    }
    QString Saved(const QString &file, int seconds) const {
        return "Save...  " + QDir(dir.path()).dirName() + QDir::separator() + file + "\nTime record... " +
               QString::number(seconds) + " sec";
    }
};

void WriteText(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadText(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(RecordingController, TwentySecondsGiveTwoHundredFramesWhateverTheCompressorsSpeed) {
    SKIP_WITHOUT_FFMPEG();
    Recorder r(3);
    r.gate.Shut(); // a compressor that falls far behind
    r.Start("slow", "cvid");
    ASSERT_TRUE(r.gate.WaitHeld(1));
    r.Run(20000);
    // Frames are handed over in real time; what did not fit in the queue is a drop frame.
    EXPECT_EQ(r.c->Captured(), 1 + 3);
    EXPECT_EQ(r.c->Captured() + r.c->DropFrames(), 201);
    r.now += 60;
    r.c->Stop(); // 20.06 s: the last drop frame becomes a captured one, whatever the queue holds
    EXPECT_EQ(r.c->Captured(), 1 + 3 + 1);
    EXPECT_EQ(r.c->Captured() + r.c->DropFrames(), 201);
    EXPECT_TRUE(r.notices.filter("Save...").isEmpty()); // not before the file is complete
    ASSERT_EQ(r.statuses.size(), 1);
    EXPECT_TRUE(r.statuses[0].startsWith("Saving video... ")) << r.statuses[0].toStdString();
    r.gate.Open();
    Pump([&] { return r.c->InProgress() == 0; });
    ASSERT_EQ(r.c->InProgress(), 0);
    EXPECT_EQ(r.notices.back(), r.Saved("slow.avi", 20));
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join('\n').toStdString();
    EXPECT_EQ(r.statuses.back(), QString());

    const Probe p = ProbeFile(r.path("slow.avi"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["codec_name"].toString(), "cinepak");
    EXPECT_EQ(p.Video()["nb_frames"].toString(), "201");
    EXPECT_NEAR(p.Video()["duration"].toString().toDouble(), 20.1, 0.001);
    // The captured frames stand at their own times: a player shows 20 s, not a time-lapse.
    const skytest::Run pts = RunTool(Ffprobe(), {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts", "-of",
                                        "csv=p=0", r.path("slow.avi")});
    EXPECT_EQ(pts.out.simplified(), "0 1 2 3 200");
}

TEST(RecordingController, LateTicksAreMadeUpAndEarlyOnesWait) {
    Recorder r(50);
    r.Start("late");
    EXPECT_EQ(r.c->Captured(), 1); // the first frame is the moment of the start
    r.Run(40, 40);                 // a tick 40 ms in: nothing due yet
    EXPECT_EQ(r.c->Captured(), 1);
    r.Run(30, 30); // 70 ms: frame 1 is due from 50 ms
    EXPECT_EQ(r.c->Captured(), 2);
    r.Run(530, 530); // 600 ms: the window thread was busy; four ticks were missed
    EXPECT_EQ(r.c->Captured(), 3);
    EXPECT_EQ(r.c->DropFrames(), 4);
    r.Run(400); // on time again
    EXPECT_EQ(r.c->Captured() + r.c->DropFrames(), 11);
    r.now += 349; // stopped 1.349 s in: the last 0.3 s are recorded as well
    r.c->Stop();
    Pump([&] { return r.c->InProgress() == 0; });
    EXPECT_EQ(r.c->Captured() + r.c->DropFrames(), 13);
    TAviFileReader reader;
    ASSERT_EQ(reader.Open(r.path("late.avi")), kAviOk);
    EXPECT_EQ(reader.FrameCount(), 13);
}

TEST(RecordingController, StartAndStopAtOnceStillGiveAFrameAndSayZeroSeconds) {
    SKIP_WITHOUT_FFMPEG();
    Recorder r;
    r.Start("quick", "MJPG");
    EXPECT_EQ(r.notices, QStringList{"Recording the Spectrum..."});
    r.c->Stop();
    Pump([&] { return r.c->InProgress() == 0; });
    EXPECT_EQ(r.notices.back(), r.Saved("quick.avi", 0));
    const Probe p = ProbeFile(r.path("quick.avi"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "1");
    EXPECT_EQ(DecodeFrames(r.path("quick.avi"), 64, 48).size(), 1u);
}

TEST(RecordingController, ANameInUseOrOnDiskGetsASuffixAndNothingIsReplaced) {
    Recorder r(2);
    WriteText(r.path("14-05-07.avi"), "yesterday's");
    r.gate.Shut();
    r.Start("14-05-07"); // the file on disk stays
    EXPECT_EQ(r.c->BaseName(), "14-05-07-2");
    ASSERT_TRUE(r.gate.WaitHeld(1));
    r.c->Stop(); // still being saved when the next one starts in the same second
    r.Start("14-05-07");
    EXPECT_EQ(r.c->BaseName(), "14-05-07-3");
    EXPECT_EQ(r.c->InProgress(), 2);
    r.c->Stop();
    r.gate.Open();
    Pump([&] { return r.c->InProgress() == 0; });
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join('\n').toStdString();
    EXPECT_EQ(ReadText(r.path("14-05-07.avi")), "yesterday's");
    EXPECT_EQ(r.notices.filter("Save...").size(), 2);
    EXPECT_TRUE(r.notices.contains(r.Saved("14-05-07-2.avi", 0)));
    EXPECT_TRUE(r.notices.contains(r.Saved("14-05-07-3.avi", 0)));
    for (const char *name : {"14-05-07-2.avi", "14-05-07-3.avi"}) {
        TAviFileReader reader;
        EXPECT_EQ(reader.Open(r.path(name)), kAviOk) << name;
        EXPECT_GE(reader.FrameCount(), 1) << name;
    }
    EXPECT_EQ(FreeFileName(r.dir.path() + "/", "x", ".avi", {r.dir.path() + "/x.avi"}), "x-2.avi");
}

TEST(RecordingController, AFailedStartLeavesNothingBehind) {
    Recorder r;
    try {
        r.Start("bad", "zzzz");
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.text(), "No compressor for zzzz available");
    }
    EXPECT_FALSE(r.c->Active());
    EXPECT_EQ(r.c->InProgress(), 0);
    EXPECT_TRUE(QDir(r.dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(r.notices.isEmpty());
    r.Start("good"); // and the next start is clean
    EXPECT_TRUE(r.c->Active());
    EXPECT_EQ(r.c->Close(), QStringList());
    EXPECT_TRUE(QFileInfo(r.path("good.avi")).isFile());
}

TEST(RecordingController, AFullDiskStopsTheRecordingAtOnceAndTheFileKeepsWhatLanded) {
    SKIP_WITHOUT_FFMPEG();
    Recorder r(100, 65536 + 12 + 10 * (8 + 64 * 48 * 3) + 3000); // room for 10 frames
    r.Start("full");
    for (int i = 0; i < 40 && r.stopped == 0; ++i) {
        r.Run(100);
        Pump([&] { return r.c->ActiveSession() == nullptr || r.c->ActiveSession()->Pending() == 0; }, 5000);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(r.stopped, 1); // said and stopped at once, not at the next F7
    EXPECT_FALSE(r.c->Active());
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].startsWith("Unable to write output file. Error 8004406E\n")) << r.errors[0].toStdString();
    Pump([&] { return r.c->InProgress() == 0; });
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(r.notices.back().left(8), "Save... ");
    const Probe p = ProbeFile(r.path("full.avi"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "10");
    EXPECT_EQ(DecodeFrames(r.path("full.avi"), 64, 48).size(), 10u);
    r.c->Tick(); // a late tick of the stopped recording does nothing
    EXPECT_FALSE(r.c->Active());
}

TEST(RecordingController, ClosingWaitsForEveryFileAndCutsAStuckCompressorShort) {
    SKIP_WITHOUT_FFMPEG();
    Recorder r(5);
    r.gate.Shut();
    r.Start("first", "MJPG");
    TRecordingSession *first = r.c->ActiveSession();
    ASSERT_TRUE(r.gate.WaitHeld(1));
    r.Run(1000);
    r.c->Stop(); // draining, no longer active
    r.Start("second");
    r.Run(500);
    EXPECT_EQ(r.c->InProgress(), 2);
    // The compressor stays stuck until Close gives up waiting and abandons the queue.
    std::thread release([&] {
        for (int i = 0; i < 3000 && first->Abandoned() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r.gate.Open();
    });
    const QStringList said = r.c->Close(200);
    release.join();
    EXPECT_EQ(r.c->InProgress(), 0);
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said[0].contains("first.avi: ")) << said.join('\n').toStdString();
    EXPECT_TRUE(said[0].endsWith("frames not compressed in time are shown as repeats of the frame before"));
    // Every file complete and as long as its recording.
    EXPECT_EQ(ProbeFile(r.path("first.avi")).Video()["nb_frames"].toString(), "11");
    EXPECT_EQ(ProbeFile(r.path("second.avi")).Video()["nb_frames"].toString(), "6");
    EXPECT_TRUE(r.notices.contains(r.Saved("first.avi", 1)));
    EXPECT_TRUE(r.notices.contains(r.Saved("second.avi", 0)));
}

// A real full disk: a 3 MB tmpfs, where only root may mount one.
TEST(RecordingController, ARealFullDiskKeepsAPlayableFile) {
    SKIP_WITHOUT_FFMPEG();
    const SmallTmpfs mount(3);
    if (!mount.mounted)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (it needs root)";
    Recorder r(100);
    r.frameSize = QSize(320, 240); // 225 KiB a frame: about a dozen fit
    RecordingRequest request;
    request.folder = mount.path() + "/";
    request.baseName = "tmpfs";
    request.size = r.frameSize;
    request.frameTimeMs = 100;
    r.c->Start(request);
    for (int i = 0; i < 100 && r.stopped == 0; ++i) {
        r.Run(100);
        Pump([&] { return r.c->ActiveSession() == nullptr || r.c->ActiveSession()->Pending() == 0; }, 5000);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(r.stopped, 1);
    Pump([&] { return r.c->InProgress() == 0; });
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].contains("No space left on device")) << r.errors[0].toStdString();
    const Probe p = ProbeFile(mount.path() + "/tmpfs.avi");
    ASSERT_TRUE(p.ok);
    const int frames = p.Video()["nb_read_frames"].toString().toInt();
    EXPECT_GE(frames, 8);
    EXPECT_EQ(int(DecodeFrames(mount.path() + "/tmpfs.avi", 320, 240).size()), frames);
}
