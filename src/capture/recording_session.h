#pragma once
// One video recording after its file was opened: the window thread hands captured frames over,
// the session's own thread compresses and writes them in order, and completes the file when the
// recording stops.
//
// The hand-over queue is bounded in frames and in bytes. When it is full the caller hands a drop
// frame over instead (an empty chunk that players show as a repeat of the frame before), so the
// video keeps real time whatever the compressor's speed, and neither the window nor memory is
// held up by a slow one.
//
// Every couple of seconds the session rewrites the file's headers, so a recording cut off by a
// kill, a crash or a power cut still plays up to there. The first frame the disk refuses ends
// the recording: nothing more is taken and the file is completed with the frames that landed.
//
// The session owns its writer from InitVideo on; the writer's errors are passed to the owner's
// thread through the callbacks, which run queued on `context`'s thread (never on the session's)
// and must not throw. The context must outlive the session.
#include <QImage>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <cstdint>

namespace sky {

class TAviWriter;

// Whole seconds between two readings of the wrapping 32-bit millisecond tick count.
inline std::uint32_t ElapsedSeconds(std::uint32_t startTicks, std::uint32_t nowTicks) {
    return std::uint32_t(nowTicks - startTicks) / 1000u;
}

class TRecordingSession {
public:
    struct Limits {
        int frames = 10;                    // captured frames waiting at most
        qint64 bytes = qint64(256) << 20;   // and their bytes at most
        int refreshMs = 2000;               // how often the headers are rewritten
        // And no more than the compressor gets through in this time, as measured so far: the
        // file on disk stays this close to the wall clock, and a stop completes it this soon.
        int backlogMs = 1000;
    };
    struct Callbacks {
        // A frame could not be compressed (each distinct message once per session).
        std::function<void(const QString &message)> frameError;
        // The disk refused a frame: the session takes no more, and completes the file.
        std::function<void(const QString &message)> failed;
        // After each frame written while finishing: the frames still to write.
        std::function<void(int pending)> drainProgress;
        // The file is complete (error empty) or its completion failed (the writer's message).
        std::function<void(const QString &error)> finished;
    };

    // `writer` has had InitVideo.
    TRecordingSession(std::unique_ptr<TAviWriter> writer, Limits limits, QObject *context, Callbacks callbacks);
    // Completes the file if that has not been done yet, waiting for the frames still queued.
    ~TRecordingSession();
    TRecordingSession(const TRecordingSession &) = delete;
    TRecordingSession &operator=(const TRecordingSession &) = delete;

    // A captured frame would be taken now (room in the queue, not finishing, no failure).
    bool HasRoom() const;
    // Hands a frame over; false (and nothing queued) when there is no room.
    bool TryAdd(const QImage &frame);
    // The last frame handed over is a drop frame still queued: it becomes `frame`, whatever
    // the queue holds (a recording ends on a captured frame, as readers that skip drop frames
    // would otherwise cut its tail). False when there is no such drop frame.
    bool ReplaceLastDrop(const QImage &frame);
    // Hands `count` drop frames over: always taken until the session finishes or fails.
    void AddDropFrames(int count);
    // No more frames: the queue is written out, then the file completed.
    void Finish();
    // Finish without waiting for the compressor: the captured frames still queued are written
    // as drop frames (the one being compressed still lands).
    void Abandon();
    // Waits until the file is complete (after Finish). False when `ms` ran out first; -1 waits.
    bool Wait(int ms = -1);

    bool Finishing() const;
    bool Done() const;
    bool Failed() const;  // the disk refused a frame
    QString FailureMessage() const; // what the writer said then
    int Pending() const;  // frames (drop frames included) handed over and not written yet
    int Written() const;  // frames handed to the writer, drop frames included
    int Encoded() const;  // captured frames handed to the writer
    int Abandoned() const; // captured frames written as drop frames by Abandon
    int Refreshes() const; // header rewrites so far
    QString CompletionError() const; // the error that ended the file's completion, if any

private:
    struct Item {
        QImage image;   // a captured frame, or null for drop frames
        int drops = 0;  // drop frames, when image is null
    };
    void Run();
    void Post(std::function<void()> call);
    bool WriteItem(const Item &item); // false: the disk refused it
    bool Full(qint64 bytes) const;    // with m_ held
    void RefreshHeaders(bool &failed);
    void ReportFailure(const QString &message);

    std::unique_ptr<TAviWriter> writer_;
    const Limits limits_;
    QObject *const context_;
    const Callbacks callbacks_;
    mutable std::mutex m_;
    std::condition_variable wake_, done_;
    std::deque<Item> queue_;
    int queuedImages_ = 0, queuedDrops_ = 0;
    qint64 queuedBytes_ = 0; // of the queued and the in-flight images
    qint64 lastFrameBytes_ = 0;
    double frameMs_ = 0; // what compressing and writing a frame takes, smoothed
    int inFlight_ = 0;
    int written_ = 0, encoded_ = 0, abandoned_ = 0, refreshes_ = 0;
    bool finishing_ = false;
    bool failed_ = false;
    bool finished_ = false;
    QString completionError_, failureMessage_;
    std::set<QString> reported_; // session thread only
    std::thread thread_;
};

} // namespace sky
