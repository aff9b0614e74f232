// The recording session: frames written in order on the session's thread through a bounded
// queue, the file completed by Finish or by destruction, errors handed to the owner's thread.
#include "capture/avi_writer.h"
#include "capture/recording_session.h"

#include "capture_test_support.h"
#include "preview_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

#include <gtest/gtest.h>

using namespace sky;
using namespace skytest;

namespace {

std::unique_ptr<TAviWriter> OpenWriter(const QString &path, int w, int h, const QString &codec) {
    auto writer = std::make_unique<TAviWriter>();
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
    QStringList frameErrors;
    QList<int> progress;
    QStringList finished;
    TRecordingSession::Callbacks Calls() {
        return {[this](const QString &m) { frameErrors << m; }, [this](int n) { progress << n; },
                [this](const QString &e) { finished << e; }};
    }
};

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
    EnsurePreviewApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.avi");
    QObject context;
    Events ev;
    {
        TRecordingSession s(OpenWriter(path, 64, 48, ""), 10, &context, ev.Calls());
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

TEST(RecordingSession, AFullQueueRefusesFramesButEveryTakenFrameIsWritten) {
    SKIP_WITHOUT_FFMPEG();
    EnsurePreviewApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("slow.avi");
    QObject context;
    Events ev;
    int taken = 0, refused = 0;
    {
        // Cinepak is far slower than a tight loop: the queue of 3 fills at once.
        TRecordingSession s(OpenWriter(path, 320, 240, "cvid"), 3, &context, ev.Calls());
        for (int i = 0; i < 12; ++i)
            s.TryAdd(SpectrumFrame(320, 240, i)) ? ++taken : ++refused;
        EXPECT_GE(taken, 3);
        EXPECT_LE(taken, 4); // the queue, plus at most the frame being compressed
        EXPECT_GT(refused, 0);
        s.Finish();
        // Finishing reports progress as the queue drains, down to nothing left.
        ASSERT_TRUE(s.Wait(60000));
        EXPECT_EQ(s.Written(), taken);
    }
    Pump([&] { return !ev.finished.isEmpty(); }, 2000);
    ASSERT_FALSE(ev.progress.isEmpty());
    EXPECT_EQ(ev.progress.back(), 0);
    EXPECT_TRUE(std::is_sorted(ev.progress.rbegin(), ev.progress.rend()));
    const Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), QString::number(taken));
    EXPECT_EQ(p.Video()["codec_name"].toString(), "cinepak");
    EXPECT_EQ(DecodeFrames(path, 320, 240).size(), size_t(taken));
}

TEST(RecordingSession, DestructionCompletesTheFileWithTheQueuedFrames) {
    SKIP_WITHOUT_FFMPEG();
    EnsurePreviewApp();
    QTemporaryDir dir;
    const QString path = dir.filePath("closed.avi");
    QObject context;
    Events ev;
    int taken = 0;
    {
        TRecordingSession s(OpenWriter(path, 160, 120, "cvid"), 5, &context, ev.Calls());
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
    EnsurePreviewApp();
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
    TRecordingSession s(std::move(writer), 10, &context, std::move(calls));
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
