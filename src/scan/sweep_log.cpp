#include "scan/sweep_log.h"

#include "platform/platform.h"

#include <QFile>
#include <QMetaObject>

#include <cerrno>

namespace sky {

TSweepLog::TSweepLog(QObject *context, FailedHandler failed) : context_(context), failed_(std::move(failed)) {
    thread_ = std::thread([this] { Run(); });
}

TSweepLog::~TSweepLog() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void TSweepLog::Append(const QString &path, const QByteArray &sweep) {
    {
        std::lock_guard lock(m_);
        if (broken_)
            return;
        queue_.emplace_back(path, sweep);
    }
    wake_.notify_one();
}

void TSweepLog::Flush() {
    std::unique_lock lock(m_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

bool TSweepLog::AppendNow(const QString &path, const QByteArray &sweep, QString &why) {
    // Unbuffered: a full disk fails this write, not a later flush.
    QFile log(path);
    if (!log.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        why = log.errorString();
        return false;
    }
    const qint64 before = log.size();
    char last = '\n';
    if (before > 0 && !(log.seek(before - 1) && log.read(&last, 1) == 1)) {
        why = log.errorString();
        return false;
    }
    const bool breakFirst = last != '\n' && last != '\r';
    const bool breakAfter = !sweep.endsWith('\n') && !sweep.endsWith('\r');
    errno = 0;
    const bool ok = log.seek(before) && (!breakFirst || log.write("\n", 1) == 1) &&
                    log.write(sweep) == sweep.size() && (!breakAfter || log.write("\n", 1) == 1);
    if (ok)
        return true;
    why = WriteFailureReason(log, errno);
    log.resize(before); // what landed of this sweep goes again
    return false;
}

void TSweepLog::Run() {
    for (;;) {
        std::pair<QString, QByteArray> item;
        {
            std::unique_lock lock(m_);
            busy_ = false;
            idle_.notify_all();
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            item = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        QString why;
        if (AppendNow(item.first, item.second, why))
            continue;
        {
            std::lock_guard lock(m_);
            broken_ = true;
            queue_.clear();
        }
        if (failed_ && context_)
            QMetaObject::invokeMethod(context_, [f = failed_, path = item.first, why] { f(path, why); },
                                      Qt::QueuedConnection);
    }
}

} // namespace sky
