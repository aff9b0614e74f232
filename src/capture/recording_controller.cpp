#include "capture/recording_controller.h"

#include "capture/avi_writer.h"
#include "capture/window_capture.h"
#include "platform/error.h"
#include "platform/platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <utility>

namespace sky {

namespace {

QString SavingText(int pending) {
    return QStringLiteral("Saving video... %1 frames left").arg(pending);
}

} // namespace

TRecordingController::TRecordingController(QObject *context, Hooks hooks) : context_(context), hooks_(std::move(hooks)) {
    if (!hooks_.makeWriter)
        hooks_.makeWriter = [] { return std::make_unique<TAviWriter>(); };
    next_ = hooks_.makeWriter();
}

TRecordingController::~TRecordingController() {
    Close();
}

std::uint32_t TRecordingController::Ticks() const {
    return hooks_.ticks ? hooks_.ticks() : TickCount();
}

qint64 TRecordingController::ClockMs() const {
    if (hooks_.clockMs)
        return hooks_.clockMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TRecordingController::Report(const QString &message) const {
    if (hooks_.error)
        hooks_.error(message);
}

TRecordingController::Run *TRecordingController::Find(int id) const {
    for (const auto &run : runs_)
        if (run->id == id)
            return run.get();
    return nullptr;
}

void TRecordingController::Start(const RecordingRequest &request) {
    Stop(); // one recording takes frames at a time
    TAviWriter &w = *next_;
    // Probed at the previous recording's frame size, before the new one is set.
    w.SetCompression(request.codec);

    QStringList inProgress;
    for (const auto &run : runs_)
        inProgress << run->path;
    const QString name = FreeFileName(request.folder, request.baseName, QStringLiteral(".avi"), inProgress);
    const QString path = request.folder + name;
    w.filename = path;
    const QFileInfo target(path);
    w.TempFileName = target.path() + QStringLiteral("/~AWTemp") + target.fileName();
    w.Width = request.size.width();
    w.Height = request.size.height();
    w.FrameTime = request.frameTimeMs;
    w.Stretch = false;
    w.DirectCompression = true;
    w.Quality = request.quality;
    try {
        w.InitVideo();
    } catch (...) {
        // The name was free: whatever is there now, the failed start made.
        if (QFileInfo::exists(path))
            QFile::remove(path);
        throw;
    }

    // The recording keeps this writer until its file is complete; the next one starts with a
    // fresh writer of the same settings.
    std::unique_ptr<TAviWriter> writer = std::exchange(next_, hooks_.makeWriter());
    next_->Width = writer->Width;
    next_->Height = writer->Height;
    next_->FrameTime = writer->FrameTime;
    next_->Stretch = writer->Stretch;
    next_->DirectCompression = writer->DirectCompression;
    next_->Quality = writer->Quality;
    next_->SetPixelFormat(writer->PixelFormat());

    auto run = std::make_unique<Run>();
    run->id = ++lastId_;
    run->path = path;
    run->noticeName = NoticePath(request.folder, name);
    run->startTicks = Ticks();
    TRecordingSession::Callbacks calls;
    const int id = run->id;
    calls.frameError = [this](const QString &message) { Report(message); };
    calls.failed = [this, id](const QString &message) { Failed(id, message); };
    calls.drainProgress = [this](int pending) {
        if (hooks_.status)
            hooks_.status(SavingText(pending));
    };
    calls.finished = [this, id](const QString &error) { Finished(id, error); };
    TRecordingSession::Limits limits = hooks_.limits;
    if (limits.frames <= 0)
        limits.frames = std::max(1, 1000 / std::max(1, request.frameTimeMs)); // about a second
    run->session = std::make_unique<TRecordingSession>(std::move(writer), limits, context_, std::move(calls));

    baseName_ = QFileInfo(name).completeBaseName();
    filePath_ = path;
    frameTimeMs_ = std::max(1, request.frameTimeMs);
    startMs_ = ClockMs();
    handed_ = captured_ = drops_ = 0;
    active_ = run.get();
    runs_.push_back(std::move(run));

    // The first frame is the moment of the start: every recording has at least one.
    lastWasDrop_ = !(hooks_.capture && active_->session->TryAdd(hooks_.capture()));
    if (lastWasDrop_)
        active_->session->AddDropFrames(1), ++drops_;
    else
        ++captured_;
    handed_ = 1;
    if (hooks_.notice)
        hooks_.notice(QStringLiteral("Recording the Spectrum..."));
}

void TRecordingController::Tick() {
    if (!active_)
        return;
    // Frame k stands for the time from k frame times after the start; it is due from half a
    // frame time before that, so a tick a little early still counts.
    const qint64 elapsed = ClockMs() - startMs_;
    const int due = int((elapsed + frameTimeMs_ / 2) / frameTimeMs_) + 1;
    const int missing = due - handed_;
    if (missing <= 0)
        return;
    TRecordingSession &s = *active_->session;
    int drops = missing;
    if (s.HasRoom()) {
        // Ticks that came too late repeat the last frame; this one shows the window as it is.
        s.AddDropFrames(missing - 1);
        drops = missing - 1;
        lastWasDrop_ = !(hooks_.capture && s.TryAdd(hooks_.capture()));
        if (lastWasDrop_)
            s.AddDropFrames(1), ++drops;
        else
            ++captured_;
    } else {
        s.AddDropFrames(missing);
        lastWasDrop_ = true;
    }
    drops_ += drops;
    handed_ = due;
}

void TRecordingController::Stop() {
    Run *run = std::exchange(active_, nullptr);
    if (!run)
        return;
    // The time since the last frame is recorded too, so the file lasts as long as the recording
    // did, and it ends on a captured frame where it can (readers that skip drop frames would
    // cut a tail of them).
    TRecordingSession &s = *run->session;
    const int due = int((ClockMs() - startMs_ + frameTimeMs_ / 2) / frameTimeMs_);
    if (due > handed_) {
        s.AddDropFrames(due - handed_);
        drops_ += due - handed_;
        handed_ = due;
        lastWasDrop_ = true;
    }
    if (lastWasDrop_ && hooks_.capture && s.ReplaceLastDrop(hooks_.capture()))
        ++captured_, --drops_;
    run->seconds = ElapsedSeconds(run->startTicks, Ticks());
    if (const int pending = run->session->Pending(); pending && hooks_.status)
        hooks_.status(SavingText(pending));
    run->session->Finish(); // the notice follows when the file is complete
}

void TRecordingController::Failed(int id, const QString &message) {
    Run *run = Find(id);
    if (!run)
        return;
    run->failed = true;
    if (active_ == run) {
        active_ = nullptr;
        run->seconds = ElapsedSeconds(run->startTicks, Ticks());
        if (hooks_.stopped)
            hooks_.stopped();
    }
    Report(message); // may run a modal loop: nothing of `run` is used after it
}

void TRecordingController::Finished(int id, const QString &error) {
    const auto it = std::find_if(runs_.begin(), runs_.end(), [id](const auto &run) { return run->id == id; });
    if (it == runs_.end())
        return; // reported already
    const std::unique_ptr<Run> run = std::move(*it);
    runs_.erase(it);
    if (active_ == run.get())
        active_ = nullptr; // it ended by itself
    if (hooks_.status) {
        int pending = 0;
        for (const auto &other : runs_)
            pending += other->session->Finishing() ? other->session->Pending() : 0;
        hooks_.status(pending ? SavingText(pending) : QString());
    }
    if (!error.isEmpty()) {
        Report(error);
        return;
    }
    if (hooks_.notice)
        hooks_.notice(QStringLiteral("Save...  ") + run->noticeName + QStringLiteral("\nTime record... ") +
                      QString::number(run->seconds) + QStringLiteral(" sec"));
}

QStringList TRecordingController::Close(int waitMs) {
    Stop();
    QStringList said;
    QElapsedTimer clock;
    clock.start();
    for (const auto &run : runs_) {
        TRecordingSession &s = *run->session;
        if (s.Wait(int(std::max<qint64>(0, waitMs - clock.elapsed()))))
            continue;
        // The compressor is too slow to wait for: what it has not taken yet becomes repeats.
        s.Abandon();
        s.Wait();
        if (const int n = s.Abandoned())
            said << QStringLiteral("%1: %2 frames not compressed in time are shown as repeats of the frame before")
                        .arg(QDir::toNativeSeparators(run->path))
                        .arg(n);
    }
    // Said here, not by the queued callbacks, which may never run now.
    while (!runs_.empty()) {
        const Run &run = *runs_.front();
        if (run.session->Failed() && !run.failed)
            said << run.session->FailureMessage();
        if (const QString error = run.session->CompletionError(); !error.isEmpty()) {
            said << error;
            runs_.erase(runs_.begin());
        } else {
            Finished(run.id, QString());
        }
    }
    return said;
}

} // namespace sky
