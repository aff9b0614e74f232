// The recording session: frames written in order on the session's thread through a bounded
// queue, the file completed by Finish or by destruction, errors handed to the owner's thread.
#include "capture/avi_writer.h"
#include "capture/recording_session.h"

#include "capture_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

std::unique_ptr<TAviWriter> OpenWriter(const QString &path, int w, int h, const QString &codec,
                                       qint64 diskBytes = -1) {
    auto writer = std::make_unique<TAviWriter>();
    writer->SizeLimit = diskBytes;
    writer->Width = w;
    writer->Height = h;
    writer->SetCompression(codec);
    writer->filename = path;
    writer->FrameTime = 100;
    writer->Stretch = false;
    writer->Quality = 8000;
    writer->InitVideo();
    return writer;
}

// Frame i is a flat grey of level 20 * i, easy to tell apart after compression.
QImage Grey(int w, int h, int i) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(20 * i, 20 * i, 20 * i));
    return img;
}

void Pump(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Events {
    QStringList frameErrors, failures;
    QList<int> progress;
    QStringList finished;
    TRecordingSession::Callbacks Calls() {
        return {[this](const QString &m) { frameErrors << m; }, [this](const QString &m) { failures << m; },
                [this](int n) { progress << n; }, [this](const QString &e) { finished << e; }};
    }
};

TRecordingSession::Limits Frames(int frames, int refreshMs = 2000) {
    TRecordingSession::Limits l;
    l.frames = frames;
    l.refreshMs = refreshMs;
    return l;
}

} // namespace

TEST(RecordingSession, ElapsedSecondsIsAnUnsigned32BitDifference) {
    EXPECT_EQ(ElapsedSeconds(5000, 5999), 0u);
    EXPECT_EQ(ElapsedSeconds(5000, 8000), 3u);
    // The tick count wrapped between start and stop.
    EXPECT_EQ(ElapsedSeconds(0xFFFFFC18u, 2000u), 3u);
    EXPECT_EQ(ElapsedSeconds(0xFFFFFFFFu, 0u), 0u);
}

TEST(RecordingSession, WritesEveryFrameInOrderAndCompletesTheFile) {
    SKIP_WITHOUT_FFMPEG();
    EnsureCaptureApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.avi");
    QObject context;
    Events ev;
    {
        TRecordingSession s(OpenWriter(path, 64, 48, ""), Frames(10), &context, ev.Calls());
        for (int i = 0; i < 8; ++i) {
            Pump([&] { return s.HasRoom(); }, 5000);
            ASSERT_TRUE(s.TryAdd(Grey(64, 48, i)));
        }
        s.Finish();
        EXPECT_FALSE(s.HasRoom());
        EXPECT_FALSE(s.TryAdd(Grey(64, 48, 9))); // nothing is taken once finishing
        ASSERT_TRUE(s.Wait(20000));
        EXPECT_EQ(s.Written(), 8);
        EXPECT_EQ(s.Pending(), 0);
        EXPECT_TRUE(s.CompletionError().isEmpty());
    }
    Pump([&] { return !ev.finished.isEmpty(); }, 2000);
    EXPECT_EQ(ev.finished, QStringList{QString()}); // reported once, without error
    EXPECT_TRUE(ev.frameErrors.isEmpty());

    const Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "8");
    EXPECT_EQ(p.Video()["r_frame_rate"].toString(), "10/1");
    const auto frames = DecodeFrames(path, 64, 48);
    ASSERT_EQ(frames.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(qRed(frames[size_t(i)].pixel(30, 20)), 20 * i) << i;
}

TEST(RecordingSession, AFullQueueRefusesFramesAndDropFramesKeepTheTime) {
    SKIP_WITHOUT_FFMPEG();
    EnsureCaptureApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("slow.avi");
    QObject context;
    Events ev;
    Gate gate; // a compressor that takes as long as the test likes
    int taken = 0;
    {
        auto writer = OpenWriter(path, 320, 240, "cvid");
        writer->OnProgress = gate.Handler();
        gate.Shut();
        TRecordingSession s(std::move(writer), Frames(3), &context, ev.Calls());
        ASSERT_TRUE(s.TryAdd(SpectrumFrame(320, 240, 0)));
        gate.WaitHeld(1); // frame 0 is written and the writer stays in its progress call
        for (int i = 1; i < 12; ++i)
            taken += s.TryAdd(SpectrumFrame(320, 240, i)) ? 1 : 0;
        EXPECT_EQ(taken, 3); // the queue; frame 0 is out of it
        EXPECT_FALSE(s.HasRoom());
        s.AddDropFrames(4); // taken whatever the queue holds
        s.AddDropFrames(1);
        EXPECT_EQ(s.Pending(), 1 + 3 + 5);
        s.Finish();
        EXPECT_FALSE(s.Done());
        gate.Open();
        ASSERT_TRUE(s.Wait(60000));
        EXPECT_EQ(s.Written(), 1 + 3 + 5);
        EXPECT_EQ(s.Encoded(), 1 + 3);
    }
    Pump([&] { return !ev.finished.isEmpty(); }, 2000);
    ASSERT_FALSE(ev.progress.isEmpty());
    EXPECT_EQ(ev.progress.back(), 0);
    EXPECT_TRUE(std::is_sorted(ev.progress.rbegin(), ev.progress.rend()));
    // Nine frames long: the drop frames repeat the last picture, so the video keeps the time.
    const Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["codec_name"].toString(), "cinepak");
    EXPECT_EQ(p.Video()["nb_frames"].toString(), "9");
    EXPECT_NEAR(p.Video()["duration"].toString().toDouble(), 0.9, 0.001);
    EXPECT_EQ(p.keyFlags.size(), 4) << p.keyFlags.toStdString(); // readers skip the empty chunks
    EXPECT_EQ(p.keyFlags.left(1), "K");
    QString errors;
    const auto frames = DecodeFrames(path, 320, 240, &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    EXPECT_GE(frames.size(), 4u);
}

TEST(RecordingSession, TheQueueIsBoundedInBytesToo) {
    EnsureCaptureApp();
    QTemporaryDir dir;
    QObject context;
    Events ev;
    Gate gate;
    auto writer = OpenWriter(dir.filePath("big.avi"), 64, 48, "");
    writer->OnProgress = gate.Handler();
    gate.Shut();
    TRecordingSession::Limits limits = Frames(100);
    const QImage frame = Grey(200, 100, 1);
    limits.bytes = frame.sizeInBytes() * 5 / 2; // two and a half frames
    TRecordingSession s(std::move(writer), limits, &context, ev.Calls());
    ASSERT_TRUE(s.TryAdd(frame));
    gate.WaitHeld(1);
    // The frame being written still holds its bytes: one more fits, then none.
    EXPECT_TRUE(s.TryAdd(frame));
    EXPECT_FALSE(s.HasRoom());
    EXPECT_FALSE(s.TryAdd(frame));
    gate.Open();
    s.Finish();
    ASSERT_TRUE(s.Wait(20000));
    EXPECT_EQ(s.Written(), 2);
}

// A slow compressor gets a short queue: the file stays close to the wall clock.
TEST(RecordingSession, TheQueueHoldsNoMoreThanTheCompressorGetsThroughInTheBacklogTime) {
    EnsureCaptureApp();
    QTemporaryDir dir;
    QObject context;
    Events ev;
    Gate gate;
    auto writer = OpenWriter(dir.filePath("backlog.avi"), 64, 48, "");
    writer->OnProgress = gate.Handler();
    TRecordingSession::Limits limits = Frames(10);
    limits.backlogMs = 50;
    TRecordingSession s(std::move(writer), limits, &context, ev.Calls());
    gate.Shut();
    ASSERT_TRUE(s.TryAdd(Grey(64, 48, 0)));
    ASSERT_TRUE(gate.WaitHeld(1));
    QThread::msleep(120); // this frame takes at least 120 ms: longer than the backlog
    gate.Open();
    Pump([&] { return s.Written() == 1; }, 20000);
    gate.Shut();
    ASSERT_TRUE(s.TryAdd(Grey(64, 48, 1)));
    ASSERT_TRUE(gate.WaitHeld(2));
    EXPECT_TRUE(s.TryAdd(Grey(64, 48, 2))); // one frame may wait
    EXPECT_FALSE(s.HasRoom());
    EXPECT_FALSE(s.TryAdd(Grey(64, 48, 3))); // not ten
    gate.Open();
    s.Finish();
    ASSERT_TRUE(s.Wait(20000));
    EXPECT_EQ(s.Written(), 3);
}

TEST(RecordingSession, AFullDiskEndsTheRecordingAndKeepsTheFramesThatLanded) {
    SKIP_WITHOUT_FFMPEG();
    EnsureCaptureApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("full.avi");
    QObject context;
    Events ev;
    // Header area, then room for 20 frames of 9 KiB and a little: the 21st does not fit.
    auto writer = OpenWriter(path, 64, 48, "", 65536 + 12 + 20 * (8 + 64 * 48 * 3) + 5000);
    TRecordingSession s(std::move(writer), Frames(100), &context, ev.Calls());
    int i = 0;
    while (!s.Failed() && i < 200) {
        if (s.TryAdd(Grey(64, 48, i % 12)))
            ++i;
        QThread::msleep(1);
    }
    ASSERT_TRUE(s.Failed());
    EXPECT_FALSE(s.TryAdd(Grey(64, 48, 0))); // nothing more is taken
    s.AddDropFrames(3);
    ASSERT_TRUE(s.Wait(20000)); // ends by itself, without Finish
    EXPECT_EQ(s.Written(), 20);
    EXPECT_TRUE(s.CompletionError().isEmpty()) << s.CompletionError().toStdString();
    Pump([&] { return !ev.finished.isEmpty(); }, 2000);
    ASSERT_EQ(ev.failures.size(), 1); // said once, at once
    EXPECT_TRUE(ev.failures[0].startsWith("Unable to write output file. Error 8004406E\n")) << ev.failures[0].toStdString();
    EXPECT_TRUE(ev.failures[0].contains("full.avi: No space left on device")) << ev.failures[0].toStdString();
    EXPECT_EQ(ev.finished, QStringList{QString()});
    const Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "20");
    EXPECT_EQ(DecodeFrames(path, 64, 48).size(), 20u);
}

TEST(RecordingSession, AFileCutOffAfterAHeaderRefreshPlaysUpToIt) {
    SKIP_WITHOUT_FFMPEG();
    EnsureCaptureApp();
    QTemporaryDir dir;
    for (const QString &codec : {QString(), QStringLiteral("MJPG")}) {
        const QString path = dir.filePath("cut" + codec + ".avi");
        QObject context;
        Events ev;
        TRecordingSession s(OpenWriter(path, 96, 64, codec), Frames(100, 50), &context, ev.Calls());
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(s.TryAdd(SpectrumFrame(96, 64, i)));
        s.AddDropFrames(2);
        Pump([&] { return s.Written() == 32; }, 20000);
        const int refreshes = s.Refreshes();
        Pump([&] { return s.Refreshes() > refreshes; }, 20000);
        ASSERT_GT(s.Refreshes(), refreshes);
        // What a kill -9 leaves: the file as it is on disk now, never completed.
        const QString cut = dir.filePath("copy" + codec + ".avi");
        ASSERT_TRUE(QFile::copy(path, cut));
        QString errors;
        const auto frames = DecodeFrames(cut, 96, 64, &errors);
        EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
        EXPECT_GE(frames.size(), 30u) << codec.toStdString();
        if (codec.isEmpty() && !frames.empty()) {
            EXPECT_EQ(frames.front(), SpectrumFrame(96, 64, 0));
        }
        const Probe p = ProbeFile(cut);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.Video()["nb_frames"].toString(), "32");
        s.Finish();
        ASSERT_TRUE(s.Wait(20000));
    }
}

TEST(RecordingSession, DestructionCompletesTheFileWithTheQueuedFrames) {
    SKIP_WITHOUT_FFMPEG();
    EnsureCaptureApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("closed.avi");
    QObject context;
    Events ev;
    int taken = 0;
    {
        TRecordingSession s(OpenWriter(path, 160, 120, "cvid"), Frames(5), &context, ev.Calls());
        for (int i = 0; i < 5; ++i)
            taken += s.TryAdd(SpectrumFrame(160, 120, i)) ? 1 : 0;
        EXPECT_GT(s.Pending(), 0);
    } // no Finish: the owner is going away
    ASSERT_GE(taken, 5);
    const Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), QString::number(taken));
    EXPECT_EQ(DecodeFrames(path, 160, 120).size(), size_t(taken));
}

TEST(RecordingSession, AFrameErrorIsReportedOnceOnTheOwnersThread) {
    EnsureCaptureApp();
    QTemporaryDir dir;
    QObject context;
    Events ev;
    // A writer that never had InitVideo refuses every frame.
    auto writer = std::make_unique<TAviWriter>();
    writer->filename = dir.filePath("never.avi");
    const Qt::HANDLE owner = QThread::currentThreadId();
    Qt::HANDLE reportedOn = nullptr;
    TRecordingSession::Callbacks calls = ev.Calls();
    calls.frameError = [&](const QString &m) {
        ev.frameErrors << m;
        reportedOn = QThread::currentThreadId();
    };
    TRecordingSession s(std::move(writer), Frames(10), &context, std::move(calls));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(s.TryAdd(Grey(8, 8, i)));
    s.Finish();
    ASSERT_TRUE(s.Wait(5000));
    EXPECT_EQ(s.Written(), 3);
    EXPECT_TRUE(ev.frameErrors.isEmpty()); // nothing runs on the session's thread
    Pump([&] { return !ev.finished.isEmpty(); }, 2000);
    EXPECT_EQ(ev.frameErrors, QStringList{"Video not initialized"});
    EXPECT_EQ(reportedOn, owner);
    EXPECT_EQ(ev.finished.size(), 1);
}
