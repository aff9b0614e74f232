#pragma once
// Averaging of sweeps, bin by bin, in power: levels are turned into linear power, averaged, and
// shown again in dB, so a carrier is not pulled down by the noise dips of a log average.
#include <cstddef>
#include <mutex>
#include <vector>

namespace sky {

class TTraceAverage {
public:
    static constexpr int kMinCount = 2, kMaxCount = 100, kDefaultCount = 10;

    // 0 switches averaging off; otherwise N is clamped to 2..100. Any change starts afresh.
    // Callable from any thread, as Apply.
    void SetCount(int n);
    int Count() const;

    // Replaces the levels y[0..n) (bins at frequencies x, ascending) by the average of the sweeps
    // so far, when averaging is on; returns whether it did. The k-th sweep since a start weighs
    // 1/min(k, N): the first N sweeps make a plain mean, later ones an exponential average
    // whose memory is N sweeps. A sweep of another bin count or range starts afresh. A NaN bin
    // leaves that bin's average as it was.
    bool Apply(const double *x, double *y, std::size_t n);
    // Sweeps in the current average (0 after a start or while off).
    int Sweeps() const;

private:
    mutable std::mutex mutex_;
    int count_ = 0;
    int sweeps_ = 0;
    std::size_t bins_ = 0;
    double first_ = 0, last_ = 0;
    std::vector<float> power_; // the average, linear
};

} // namespace sky
