#include "capture/recording_session.h"

#include "capture/avi_writer.h"
#include "platform/error.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sky {

namespace {

QString MessageOf(const std::exception &e) {
    if (const auto *err = dynamic_cast<const Error *>(&e))
        return err->text();
    return QString::fromLocal8Bit(e.what());
}

using Clock = std::chrono::steady_clock;

} // namespace

TRecordingSession::TRecordingSession(std::unique_ptr<TAviWriter> writer, Limits limits, QObject *context,
                                     Callbacks callbacks)
    : writer_(std::move(writer)), limits_{std::max(1, limits.frames), std::max<qint64>(1, limits.bytes),
                                          std::max(1, limits.refreshMs), std::max(1, limits.backlogMs)},
      context_(context), callbacks_(std::move(callbacks)) {
    thread_ = std::thread([this] { Run(); });
}

TRecordingSession::~TRecordingSession() {
    Finish();
    if (thread_.joinable())
        thread_.join();
}

bool TRecordingSession::Full(qint64 bytes) const {
    int frames = limits_.frames;
    if (frameMs_ > 0)
        frames = std::clamp(int(limits_.backlogMs / frameMs_), 1, frames);
    return queuedImages_ >= frames || queuedBytes_ + bytes > limits_.bytes;
}

bool TRecordingSession::HasRoom() const {
    std::lock_guard lock(m_);
    return !finishing_ && !failed_ && !Full(lastFrameBytes_);
}

bool TRecordingSession::TryAdd(const QImage &frame) {
    {
        std::lock_guard lock(m_);
        const qint64 bytes = frame.sizeInBytes();
        if (finishing_ || failed_ || Full(bytes))
            return false;
        queue_.push_back({frame, 0});
        ++queuedImages_;
        queuedBytes_ += bytes;
        lastFrameBytes_ = bytes;
    }
    wake_.notify_one();
    return true;
}

bool TRecordingSession::ReplaceLastDrop(const QImage &frame) {
    {
        std::lock_guard lock(m_);
        if (finishing_ || failed_ || queue_.empty() || !queue_.back().image.isNull() || frame.isNull())
            return false;
        if (--queue_.back().drops == 0)
            queue_.pop_back();
        --queuedDrops_;
        queue_.push_back({frame, 0});
        ++queuedImages_;
        queuedBytes_ += frame.sizeInBytes();
    }
    wake_.notify_one();
    return true;
}

void TRecordingSession::AddDropFrames(int count) {
    if (count <= 0)
        return;
    {
        std::lock_guard lock(m_);
        if (finishing_ || failed_)
            return;
        if (!queue_.empty() && queue_.back().image.isNull())
            queue_.back().drops += count; // one item however many in a row
        else
            queue_.push_back({QImage(), count});
        queuedDrops_ += count;
    }
    wake_.notify_one();
}

void TRecordingSession::Finish() {
    {
        std::lock_guard lock(m_);
        finishing_ = true;
    }
    wake_.notify_one();
}

void TRecordingSession::Abandon() {
    {
        std::lock_guard lock(m_);
        finishing_ = true;
        std::deque<Item> kept;
        int drops = 0;
        for (Item &item : queue_) {
            if (item.image.isNull()) {
                drops += item.drops;
            } else {
                ++drops;
                ++abandoned_;
                queuedBytes_ -= item.image.sizeInBytes();
            }
        }
        queue_.clear();
        queuedImages_ = 0;
        queuedDrops_ = drops;
        if (drops)
            queue_.push_back({QImage(), drops});
    }
    wake_.notify_one();
}

bool TRecordingSession::Wait(int ms) {
    std::unique_lock lock(m_);
    if (ms < 0) {
        done_.wait(lock, [this] { return finished_; });
        return true;
    }
    return done_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_; });
}

bool TRecordingSession::Finishing() const {
    std::lock_guard lock(m_);
    return finishing_;
}

bool TRecordingSession::Done() const {
    std::lock_guard lock(m_);
    return finished_;
}

bool TRecordingSession::Failed() const {
    std::lock_guard lock(m_);
    return failed_;
}

int TRecordingSession::Pending() const {
    std::lock_guard lock(m_);
    return queuedImages_ + queuedDrops_ + inFlight_;
}

int TRecordingSession::Written() const {
    std::lock_guard lock(m_);
    return written_;
}

int TRecordingSession::Encoded() const {
    std::lock_guard lock(m_);
    return encoded_;
}

int TRecordingSession::Abandoned() const {
    std::lock_guard lock(m_);
    return abandoned_;
}

int TRecordingSession::Refreshes() const {
    std::lock_guard lock(m_);
    return refreshes_;
}

QString TRecordingSession::FailureMessage() const {
    std::lock_guard lock(m_);
    return failureMessage_;
}

void TRecordingSession::ReportFailure(const QString &message) {
    {
        std::lock_guard lock(m_);
        failureMessage_ = message;
    }
    if (callbacks_.failed)
        Post([f = callbacks_.failed, message] { f(message); });
}

QString TRecordingSession::CompletionError() const {
    std::lock_guard lock(m_);
    return completionError_;
}

void TRecordingSession::Post(std::function<void()> call) {
    if (!context_)
        return;
    // Exceptions never travel through the event loop: a callback that throws anyway is logged.
    QMetaObject::invokeMethod(context_, [call = std::move(call)] {
        try {
            call();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "skyvane: recording: %s\n", qPrintable(MessageOf(e)));
        }
    }, Qt::QueuedConnection);
}

// Writes one queued item; a frame that could not be compressed is reported once per message
// and the recording goes on, a frame the disk refused ends it.
bool TRecordingSession::WriteItem(const Item &item) {
    QString error;
    try {
        if (item.image.isNull()) {
            for (int i = 0; i < item.drops; ++i)
                writer_->AddDropFrame();
        } else {
            writer_->AddFrame(item.image);
        }
    } catch (const std::exception &e) {
        error = MessageOf(e);
    }
    if (error.isEmpty())
        return true;
    if (writer_->WriteFailed()) {
        ReportFailure(error);
        return false;
    }
    if (reported_.insert(error).second && callbacks_.frameError)
        Post([f = callbacks_.frameError, error] { f(error); });
    return true;
}

void TRecordingSession::RefreshHeaders(bool &failed) {
    try {
        writer_->Refresh();
        std::lock_guard lock(m_);
        ++refreshes_;
    } catch (const std::exception &e) {
        failed = true;
        ReportFailure(MessageOf(e));
    }
}

void TRecordingSession::Run() {
    auto nextRefresh = Clock::now() + std::chrono::milliseconds(limits_.refreshMs);
    bool failed = false;
    bool unrefreshed = false; // frames written since the last header rewrite
    try {
        for (;;) {
            Item item;
            bool draining = false;
            {
                std::unique_lock lock(m_);
                wake_.wait_until(lock, nextRefresh, [this] { return !queue_.empty() || finishing_; });
                if (Clock::now() >= nextRefresh) {
                    nextRefresh = Clock::now() + std::chrono::milliseconds(limits_.refreshMs);
                    if (unrefreshed && !failed) {
                        lock.unlock();
                        unrefreshed = false;
                        RefreshHeaders(failed);
                        std::lock_guard relock(m_);
                        failed_ = failed_ || failed;
                        continue;
                    }
                }
                if (queue_.empty()) {
                    if (finishing_ || failed)
                        break; // every frame is written, or the disk refused one
                    continue;
                }
                item = std::move(queue_.front());
                queue_.pop_front();
                if (item.image.isNull())
                    queuedDrops_ -= item.drops;
                else
                    --queuedImages_;
                inFlight_ = item.image.isNull() ? item.drops : 1;
                draining = finishing_;
            }
            const auto began = Clock::now();
            const bool ok = WriteItem(item);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
            int pending = 0;
            {
                std::lock_guard lock(m_);
                inFlight_ = 0;
                if (!item.image.isNull())
                    frameMs_ = frameMs_ > 0 ? 0.7 * frameMs_ + 0.3 * ms : ms;
                if (!item.image.isNull())
                    queuedBytes_ -= item.image.sizeInBytes();
                if (ok) {
                    written_ += item.image.isNull() ? item.drops : 1;
                    encoded_ += item.image.isNull() ? 0 : 1;
                } else {
                    failed = failed_ = true; // nothing more is taken; what is queued goes
                    queue_.clear();
                    queuedImages_ = queuedDrops_ = 0;
                    queuedBytes_ = 0;
                }
                pending = queuedImages_ + queuedDrops_;
                draining = draining || finishing_;
            }
            unrefreshed = true;
            if (draining && callbacks_.drainProgress)
                Post([f = callbacks_.drainProgress, pending] { f(pending); });
        }
    } catch (const std::exception &e) {
        // Out of memory or the like: the file is still completed with what landed.
        std::lock_guard lock(m_);
        completionError_ = MessageOf(e);
    }

    QString error;
    try {
        writer_->FinalizeVideo();
        writer_->WriteAvi();
    } catch (const std::exception &e) {
        error = MessageOf(e);
    }
    writer_.reset(); // nothing of the file stays open
    {
        std::lock_guard lock(m_);
        if (completionError_.isEmpty())
            completionError_ = error;
        error = completionError_;
        finished_ = true;
        finishing_ = true;
        queue_.clear();
    }
    done_.notify_all();
    if (callbacks_.finished)
        Post([f = callbacks_.finished, error] { f(error); });
}

} // namespace sky
