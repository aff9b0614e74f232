#pragma once
// A 40 ms periodic tick on its own thread, standing in for the multimedia timer. The tick only
// counts; every fifth tick it hands `onRefresh` to the receiver's thread, never touching widgets
// itself.
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sky {

class StatusTimer {
public:
    StatusTimer(std::atomic<int> &tickCount, QObject *receiver, std::function<void()> onRefresh);
    ~StatusTimer();
    void Start(int intervalMs = 40);
    void Stop(); // waits for the tick thread; no refresh is handed over afterwards
    bool Running() const { return thread_.joinable(); }

private:
    void tick();

    std::atomic<int> &tickCount_;
    QObject *receiver_;
    std::function<void()> onRefresh_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

} // namespace sky
