#include "capture/recording_session.h"

#include "capture/avi_writer.h"
#include "platform/error.h"

#include <QMetaObject>

namespace sky {

namespace {

QString MessageOf(const std::exception &e) {
    if (const auto *err = dynamic_cast<const Error *>(&e))
        return err->text();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

TRecordingSession::TRecordingSession(std::unique_ptr<TAviWriter> writer, int capacity, QObject *context,
                                     Callbacks callbacks)
    : writer_(std::move(writer)), capacity_(std::max(1, capacity)), context_(context),
      callbacks_(std::move(callbacks)) {
    thread_ = std::thread([this] { Run(); });
}

TRecordingSession::~TRecordingSession() {
    Finish();
    if (thread_.joinable())
        thread_.join();
}

bool TRecordingSession::HasRoom() const {
    std::lock_guard lock(m_);
    return !finishing_ && int(queue_.size()) < capacity_;
}

bool TRecordingSession::TryAdd(const QImage &frame) {
    {
        std::lock_guard lock(m_);
        if (finishing_ || int(queue_.size()) >= capacity_)
            return false;
        queue_.push_back(frame);
    }
    wake_.notify_one();
    return true;
}

void TRecordingSession::Finish() {
    {
        std::lock_guard lock(m_);
        finishing_ = true;
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

int TRecordingSession::Pending() const {
    std::lock_guard lock(m_);
    return int(queue_.size()) + inFlight_;
}

int TRecordingSession::Written() const {
    std::lock_guard lock(m_);
    return written_;
}

QString TRecordingSession::CompletionError() const {
    std::lock_guard lock(m_);
    return completionError_;
}

void TRecordingSession::Post(std::function<void()> call) {
    if (context_)
        QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

void TRecordingSession::Run() {
    for (;;) {
        QImage frame;
        bool draining = false;
        {
            std::unique_lock lock(m_);
            wake_.wait(lock, [this] { return !queue_.empty() || finishing_; });
            if (queue_.empty())
                break; // finishing, and every frame is written
            frame = std::move(queue_.front());
            queue_.pop_front();
            inFlight_ = 1;
            draining = finishing_;
        }
        QString error;
        try {
            writer_->AddFrame(frame);
        } catch (const std::exception &e) {
            error = MessageOf(e);
        }
        int pending = 0;
        {
            std::lock_guard lock(m_);
            inFlight_ = 0;
            ++written_;
            pending = int(queue_.size());
            draining = draining || finishing_;
        }
        // Every tick would fail the same way: one report each, not a message box per frame.
        if (!error.isEmpty() && reported_.insert(error).second && callbacks_.frameError)
            Post([f = callbacks_.frameError, error] { f(error); });
        if (draining && callbacks_.drainProgress)
            Post([f = callbacks_.drainProgress, pending] { f(pending); });
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
        completionError_ = error;
        finished_ = true;
    }
    done_.notify_all();
    if (callbacks_.finished)
        Post([f = callbacks_.finished, error] { f(error); });
}

} // namespace sky
