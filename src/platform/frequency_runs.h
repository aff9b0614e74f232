#pragma once
// A sweep's frequencies held as its hops: bin k of the run that starts at point `first` is
// low + step x k, the very double the reader computes for it, with the converter offset added
// where there is one. A sweep of millions of bins then takes a few hundred runs, not 8 bytes a
// bin. Runs are in point order, the first starting at point 0, each running to the next one's
// first point (the last to the point count).
#include <algorithm>
#include <cstddef>
#include <vector>

namespace sky {

struct FrequencyRun {
    std::size_t first = 0; // the run's first point
    double low = 0, step = 0;
};

// A multiply, then an add, as the reader computes them: never fused into one rounding (no code
// reading runs is built for fused multiply-add without -ffp-contract=off).
inline double RunFrequency(const FrequencyRun &r, std::size_t i, double offset) {
    const double hz = r.low + r.step * static_cast<double>(i - r.first);
    return offset != 0 ? hz + offset : hz;
}

// Reads frequencies held as runs by index (`base` + i of the runs' points), keeping the run of
// the last read: reads that go forward or stay in a run find theirs at once.
class FrequencyRunReader {
public:
    FrequencyRunReader() = default;
    FrequencyRunReader(const FrequencyRun *runs, std::size_t runCount, std::size_t points, double offset,
                       std::size_t base = 0)
        : runs_(runs), runCount_(runCount), points_(points), offset_(offset), base_(base) {}

    double operator[](std::ptrdiff_t index) const {
        const std::size_t i = static_cast<std::size_t>(index) + base_;
        if (i - from_ >= to_ - from_) // outside the run of the last read (unsigned: below wraps)
            Find(i);
        return RunFrequency(runs_[at_], i, offset_);
    }

private:
    void Find(std::size_t i) const {
        const FrequencyRun *r = std::upper_bound(runs_, runs_ + runCount_, i,
                                                 [](std::size_t v, const FrequencyRun &e) { return v < e.first; });
        at_ = r == runs_ ? 0 : static_cast<std::size_t>(r - runs_) - 1;
        from_ = runs_[at_].first;
        to_ = at_ + 1 < runCount_ ? runs_[at_ + 1].first : points_;
    }

    const FrequencyRun *runs_ = nullptr;
    std::size_t runCount_ = 0, points_ = 0;
    double offset_ = 0;
    std::size_t base_ = 0;
    mutable std::size_t at_ = 0, from_ = 0, to_ = 0; // the run of the last read: points [from_, to_)
};

// out = the first `points` frequencies of the runs (sized to them, its storage reused).
inline void SpellOutRuns(const std::vector<FrequencyRun> &runs, std::size_t points, double offset,
                         std::vector<double> &out) {
    out.resize(points);
    for (std::size_t r = 0; r < runs.size() && runs[r].first < points; ++r) {
        const std::size_t end = r + 1 < runs.size() ? std::min(runs[r + 1].first, points) : points;
        for (std::size_t i = runs[r].first; i < end; ++i)
            out[i] = RunFrequency(runs[r], i, offset);
    }
}

} // namespace sky
