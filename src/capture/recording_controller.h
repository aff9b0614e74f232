#pragma once
// The recording's bookkeeping, apart from the window: which recording takes frames, which files
// are still being completed, their names, real time, notices and errors. The window calls Start,
// Stop, Tick (from its frame timer) and Close; what it needs to show comes back through hooks,
// all called on the controller's (the window's) thread.
//
// Real time: the first frame is captured at the start, and every tick hands over as many frames
// as the wall clock says are due since the start. A tick that finds the queue full, or frames a
// late tick missed, become drop frames, so the file's frame count and duration always match the
// time recorded within one frame, however slow the compressor.
//
// Names: a recording is named after the time of day; a name taken by a file on disk or by a
// recording in progress gets "-2", "-3", ... before the extension. No file is ever replaced.
#include "capture/recording_session.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace sky {

class TAviWriter;

struct RecordingRequest {
    QString folder;        // where the file goes, with the trailing separator
    QString baseName;      // the time-stamp name
    QString codec;         // FOURCC, empty for uncompressed frames
    QSize size;            // the frame size: the window's outer size at the start
    int frameTimeMs = 100; // the frame timer's interval
    int quality = 8000;
};

class TRecordingController {
public:
    struct Hooks {
        std::function<QImage()> capture;                // one frame of what is recorded
        std::function<void(const QString &)> notice;    // a balloon notice
        std::function<void(const QString &)> error;     // the window's error path (message box)
        std::function<void(const QString &)> status;    // status panel 0; empty: the saving is over
        std::function<void()> stopped;                  // the recording ended by itself (a failed write)
        std::function<std::uint32_t()> ticks;           // the 32-bit tick count; null: the system's
        std::function<qint64()> clockMs;                // a steady clock in ms; null: the system's
        std::function<std::unique_ptr<TAviWriter>()> makeWriter; // null: a default TAviWriter
        TRecordingSession::Limits limits;               // frames: about a second's worth by default
    };

    TRecordingController(QObject *context, Hooks hooks);
    ~TRecordingController(); // Close()
    TRecordingController(const TRecordingController &) = delete;
    TRecordingController &operator=(const TRecordingController &) = delete;

    // The writer the next recording starts with: the codec menu lists its compressors.
    TAviWriter &Writer() { return *next_; }

    // Opens the file and captures the first frame. Raises sky::Error with the writer's message
    // when the recording cannot start; nothing is then left running or on disk.
    void Start(const RecordingRequest &request);
    // The active recording takes no more frames; its file is completed in the background and
    // the notice "Save... " follows when it is. Nothing when none is active.
    void Stop();
    // Once per frame time while a recording is active.
    void Tick();
    // Stops the active recording and waits for every file still being completed, at most
    // `waitMs` in all; what is still queued then is written as drop frames. Returns what the
    // user should be told (errors, frames written as repeats); the notices are shown as well.
    QStringList Close(int waitMs = 10000);

    bool Active() const { return active_ != nullptr; }
    TRecordingSession *ActiveSession() const { return active_ ? active_->session.get() : nullptr; }
    int InProgress() const { return int(runs_.size()); } // files not complete yet
    QString BaseName() const { return baseName_; }        // of the current or last recording
    QString FilePath() const { return filePath_; }        // of the current or last recording
    int Captured() const { return captured_; }           // of the current or last recording
    int DropFrames() const { return drops_; }            // ditto: frames handed over as repeats

private:
    struct Run {
        int id = 0;
        std::unique_ptr<TRecordingSession> session;
        QString path, noticeName;
        std::uint32_t startTicks = 0;
        std::uint32_t seconds = 0;
        bool failed = false; // the disk refused a frame; said at once
    };
    Run *Find(int id) const;
    void Finished(int id, const QString &error);
    void Failed(int id, const QString &message);
    void Report(const QString &message) const;
    std::uint32_t Ticks() const;
    qint64 ClockMs() const;

    QObject *const context_;
    Hooks hooks_;
    std::unique_ptr<TAviWriter> next_;
    std::vector<std::unique_ptr<Run>> runs_;
    Run *active_ = nullptr;
    int lastId_ = 0;
    qint64 startMs_ = 0;
    int frameTimeMs_ = 100;
    int handed_ = 0; // frames of the active recording handed over, drop frames included
    int captured_ = 0, drops_ = 0;
    bool lastWasDrop_ = false;
    QString baseName_, filePath_;
};

} // namespace sky
