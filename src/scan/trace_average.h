#pragma once
// Averaging of sweeps, bin by bin, in power: levels are turned into linear power, averaged, and
// shown again in dB, so a carrier is not pulled down by the noise dips of a log average. The
// average is held as the levels it shows, in single precision: one float a bin.
#include <cstddef>
#include <cstdint>
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

    // What an average with one more sweep in it needs to be taken (see Prepare and Commit).
    struct Pending {
        int sweeps = 0;
        std::size_t bins = 0;
        double first = 0, last = 0;
        std::uint64_t base = 0; // the held average it was computed from
    };

    // Replaces the levels y[0..n) (bins at frequencies x, ascending) by the average of the sweeps
    // so far, when averaging is on; returns whether it did. The k-th sweep since a start weighs
    // 1/min(k, N): the first N sweeps make a plain mean, later ones an exponential average
    // whose memory is N sweeps. A sweep of another bin count or range starts afresh. A NaN bin
    // leaves that bin's average as it was.
    bool Apply(const double *x, double *y, std::size_t n);
    // Apply in two steps, for a sweep read ahead on another thread that may yet be dropped:
    // Prepare replaces the levels by the new average, leaving the held one as it is; Commit
    // holds those levels (as Prepare left them, p.bins of them) as the average, unless the held
    // one has changed since (another sweep, a new count), in which case nothing changes and it
    // returns false.
    bool Prepare(const double *x, double *y, std::size_t n, Pending &p);
    bool Commit(Pending &p, const double *levels);
    // Sweeps in the current average (0 after a start or while off).
    int Sweeps() const;

private:
    mutable std::mutex mutex_;
    int count_ = 0;
    int sweeps_ = 0;
    std::size_t bins_ = 0;
    double first_ = 0, last_ = 0;
    std::vector<float> levels_; // the average, in dB
    std::uint64_t state_ = 0;  // changes with every change of the held average
};

} // namespace sky
