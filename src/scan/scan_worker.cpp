#include "scan/scan_worker.h"

#include "platform/platform.h"

#include <QMetaObject>

#include <chrono>

namespace sky {

struct th::Job {
    enum State { Pending, Running, Done, Dropped } state = Pending;
};

th::th(WorkerFlags &flags, StatusText &status, ScanHost &host, QObject *window, QString sweepFilePath,
       int passIntervalMs)
    : flags_(flags), status_(status), host_(host), window_(window), sweepFilePath_(std::move(sweepFilePath)),
      passIntervalMs_(passIntervalMs) {}

th::~th() {
    RequestStop();
    wait();
}

void th::RequestStop() {
    std::lock_guard lock(sh_->m);
    sh_->stop = true;
    if (sh_->pending && sh_->pending->state == Job::Pending)
        sh_->pending->state = Job::Dropped;
    sh_->cv.notify_all();
}

void th::Wake() {
    std::lock_guard lock(sh_->m);
    sh_->wake = true;
    sh_->cv.notify_all();
}

bool th::sleepInterruptible(int ms) {
    std::unique_lock lock(sh_->m);
    sh_->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return sh_->stop || sh_->wake; });
    sh_->wake = false;
    return !sh_->stop;
}

bool th::Synchronize(void (ScanHost::*step)()) {
    auto job = std::make_shared<Job>();
    {
        std::lock_guard lock(sh_->m);
        if (sh_->stop)
            return false;
        sh_->pending = job;
    }
    ScanHost *host = &host_;
    QMetaObject::invokeMethod(window_, [sh = sh_, job, host, step] {
        {
            std::lock_guard lock(sh->m);
            if (job->state != Job::Pending)
                return;
            job->state = Job::Running;
        }
        // Whatever the step does, the worker must be released afterwards.
        struct Release {
            Shared &sh;
            Job &job;
            ~Release() {
                std::lock_guard lock(sh.m);
                job.state = Job::Done;
                sh.cv.notify_all();
            }
        } release{*sh, *job};
        (host->*step)();
    }, Qt::QueuedConnection);
    std::unique_lock lock(sh_->m);
    sh_->cv.wait(lock, [&] { return job->state == Job::Done || job->state == Job::Dropped; });
    sh_->pending.reset();
    return job->state == Job::Done;
}

void th::run() {
    // Reading and analysing sweeps of millions of values gives way to the window thread when the
    // cores are busy: a sweep shown a little later rather than a window that stalls.
    LowerCurrentThreadPriority();
    // Nothing may escape a thread: that would end the program.
    try {
        Loop();
    } catch (const std::exception &e) {
        status_.set(QStringLiteral("Scan stopped: ") + QString::fromLocal8Bit(e.what()));
    }
}

void th::Loop() {
    for (;;) {
        if (!sleepInterruptible(passIntervalMs_))
            return;
        if (flags_.launchRequested.exchange(false)) {
            status_.set(kConfigText);
            if (!Synchronize(&ScanHost::LaunchSweepTool))
                return;
            flags_.awaitingSweepFile = true;
        }
        bool ingested = false;
        if (!IsFileBusy(sweepFilePath_) && flags_.awaitingSweepFile) {
            status_.set(kLoadText);
            flags_.awaitingSweepFile = false;
            host_.PrepareSweepFile();
            if (!Synchronize(&ScanHost::IngestSweepFile))
                return;
            ingested = true;
        }
        if (!Synchronize(&ScanHost::UpdateViewAfterPass))
            return;
        // A sweep was read and the next launch is wanted: no pause before it.
        if (ingested && flags_.launchRequested)
            Wake();
    }
}

} // namespace sky
