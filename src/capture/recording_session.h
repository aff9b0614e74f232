#pragma once
// One video recording after its file was opened: the window thread hands captured frames over,
// the session's own thread compresses and writes them in order, and completes the file when the
// recording stops.
//
// The hand-over queue is bounded. A frame handed over is always written; when the queue is full
// the caller captures nothing for that tick (TryAdd refuses), so a slow compressor makes the
// video play faster than real time instead of stalling the window or growing memory.
//
// The session owns its writer from InitVideo on; the writer's errors are passed to the owner's
// thread through the callbacks, which run queued on `context`'s thread (never on the session's).
// The context must outlive the session.
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
    struct Callbacks {
        // A frame could not be written (each distinct message once per session).
        std::function<void(const QString &message)> frameError;
        // After each frame written while finishing: the frames still to write.
        std::function<void(int pending)> drainProgress;
        // The file is complete (error empty) or its completion failed (the writer's message).
        std::function<void(const QString &error)> finished;
    };

    // `writer` has had InitVideo; at most `capacity` frames wait.
    TRecordingSession(std::unique_ptr<TAviWriter> writer, int capacity, QObject *context, Callbacks callbacks);
    // Completes the file if that has not been done yet, waiting for the frames still queued.
    ~TRecordingSession();
    TRecordingSession(const TRecordingSession &) = delete;
    TRecordingSession &operator=(const TRecordingSession &) = delete;

    // A frame would be taken now (the queue has room and the session is not finishing).
    bool HasRoom() const;
    // Hands a frame over; false (and nothing queued) when there is no room.
    bool TryAdd(const QImage &frame);
    // No more frames: the queue is written out, then the file completed.
    void Finish();
    // Waits until the file is complete (after Finish). False when `ms` ran out first; -1 waits.
    bool Wait(int ms = -1);

    bool Finishing() const;
    bool Done() const;
    int Pending() const; // frames handed over and not written yet
    int Written() const; // frames handed to the writer
    int Capacity() const { return capacity_; }
    QString CompletionError() const; // the error that ended the file's completion, if any

private:
    void Run();
    void Post(std::function<void()> call);

    std::unique_ptr<TAviWriter> writer_;
    const int capacity_;
    QObject *const context_;
    const Callbacks callbacks_;
    mutable std::mutex m_;
    std::condition_variable wake_, done_;
    std::deque<QImage> queue_;
    int inFlight_ = 0;
    int written_ = 0;
    bool finishing_ = false;
    bool finished_ = false;
    QString completionError_;
    std::set<QString> reported_; // session thread only
    std::thread thread_;
};

} // namespace sky
