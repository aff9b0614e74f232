#pragma once
// The sweep log's writer: appends sweep files, byte for byte, to a log file on a thread of its
// own, so a sweep of millions of values never holds the window up while it is written.
//
// An append is whole or not at all: a write the disk refuses halfway is cut back to where the
// file ended before, so the next sweep never runs on from a cut line. A log that does not end
// its last line gets a line break first. A failure is told once, queued to `context`'s thread;
// the appends queued after it are dropped.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace sky {

class TSweepLog {
public:
    using FailedHandler = std::function<void(const QString &path, const QString &why)>;
    TSweepLog(QObject *context, FailedHandler failed);
    ~TSweepLog(); // writes what is queued, then ends
    TSweepLog(const TSweepLog &) = delete;
    TSweepLog &operator=(const TSweepLog &) = delete;

    // Queues one sweep file's bytes for `path` (the bytes are shared, not copied).
    void Append(const QString &path, const QByteArray &sweep);
    // Waits until everything queued so far is written (or dropped after a failure).
    void Flush();

    // The append itself: false and the reason when it failed, the file then as it was before.
    static bool AppendNow(const QString &path, const QByteArray &sweep, QString &why);

private:
    void Run();
    QObject *const context_;
    const FailedHandler failed_;
    std::mutex m_;
    std::condition_variable wake_, idle_;
    std::deque<std::pair<QString, QByteArray>> queue_;
    bool busy_ = false, stop_ = false, broken_ = false;
    std::thread thread_;
};

} // namespace sky
