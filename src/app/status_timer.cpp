#include "app/status_timer.h"

#include <QMetaObject>

#include <chrono>

namespace sky {

StatusTimer::StatusTimer(std::atomic<int> &tickCount, QObject *receiver, std::function<void()> onRefresh)
    : tickCount_(tickCount), receiver_(receiver), onRefresh_(std::move(onRefresh)) {}

StatusTimer::~StatusTimer() { Stop(); }

void StatusTimer::Start(int intervalMs) {
    if (thread_.joinable())
        return;
    stop_ = false;
    *alive_ = true;
    thread_ = std::thread([this, intervalMs] {
        using clock = std::chrono::steady_clock;
        auto next = clock::now();
        std::unique_lock lock(m_);
        for (;;) {
            next += std::chrono::milliseconds(intervalMs);
            if (cv_.wait_until(lock, next, [this] { return stop_; }))
                return;
            tick();
        }
    });
}

void StatusTimer::tick() {
    const int count = tickCount_.load() + 1;
    if (count <= 4) {
        tickCount_.store(count);
        return;
    }
    tickCount_.store(0);
    // Queued to the receiver's thread; dropped if Stop() ran in the meantime.
    auto alive = alive_;
    auto refresh = onRefresh_;
    QMetaObject::invokeMethod(receiver_, [alive, refresh] {
        if (*alive)
            refresh();
    }, Qt::QueuedConnection);
}

void StatusTimer::Stop() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable())
        thread_.join();
    *alive_ = false;
}

} // namespace sky
