#pragma once
// The scan cycle's worker thread: it sleeps, tests two flags and the sweep file, sets the status
// text and hands the real work to the window thread, waiting until each step has run there.
#include "scan/scan_state.h"

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace sky {

// The three steps the worker hands over; they run on the window thread.
class ScanHost {
public:
    virtual ~ScanHost() = default;
    virtual void LaunchSweepTool() = 0;
    virtual void IngestSweepFile() = 0;
    virtual void UpdateViewAfterPass() = 0;
    // Runs on the worker thread just before the ingest is handed over, while the window thread
    // does not touch what it prepares: the slow reading of a large sweep file belongs here.
    virtual void PrepareSweepFile() {}
};

class th : public QThread {
public:
    // `window` is an object living on the window thread; steps are queued to it.
    th(WorkerFlags &flags, StatusText &status, ScanHost &host, QObject *window, QString sweepFilePath,
       int passIntervalMs = 100);
    ~th() override; // stops the loop and waits for it

    // Ends the loop at its next pass. Must be called on the window thread: a hand-over that has
    // not run yet is dropped and the waiting worker released, so no step runs afterwards.
    void RequestStop();
    // Makes the next pass start now instead of after the pause: the tool has just ended, or a
    // launch was just requested.
    void Wake();

    static inline const QString kConfigText = QStringLiteral("Config RTL-SDR");
    static inline const QString kLoadText = QStringLiteral("Load Data...");

protected:
    void run() override; // Execute

private:
    struct Job;
    // Runs `step` on the window thread and waits; returns false when shut-down dropped it.
    bool Synchronize(void (ScanHost::*step)());
    bool sleepInterruptible(int ms);
    void Loop();

    WorkerFlags &flags_;
    StatusText &status_;
    ScanHost &host_;
    QObject *window_;
    const QString sweepFilePath_;
    const int passIntervalMs_;

    // Shared with queued hand-overs, which may outlive this object in the event queue.
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        bool stop = false;
        bool wake = false;
        std::shared_ptr<Job> pending;
    };
    std::shared_ptr<Shared> sh_ = std::make_shared<Shared>();
};

} // namespace sky
