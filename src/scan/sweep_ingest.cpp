#include "scan/sweep_ingest.h"

#include "platform/single_precision.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace sky {

SweepExtremes FindExtremes(const double *y, std::size_t n) {
    SweepExtremes e;
    double hi = -1000.0, lo = 1000.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (y[i] > hi) {
            hi = y[i];
            e.maxIndex = i;
        }
        if (y[i] < lo) {
            lo = y[i];
            e.minIndex = i;
        }
    }
    return e;
}

std::optional<double> NoiseLevel(const double *y, std::size_t n, std::size_t maxIndex) {
    if (n == 0)
        return std::nullopt;
    // Two plain runs instead of a test per bin: [2, maxIndex - 10) and (maxIndex + 10, n), summed
    // in ascending order as one loop would.
    double sum = 0;
    std::size_t count = 0;
    const std::size_t firstEnd = std::min(n, maxIndex > 10 ? maxIndex - 10 : std::size_t{0});
    for (std::size_t i = 2; i < firstEnd; ++i)
        sum += y[i];
    count += firstEnd > 2 ? firstEnd - 2 : 0;
    for (std::size_t i = std::max<std::size_t>(2, maxIndex + 11); i < n; ++i) {
        sum += y[i];
        ++count;
    }
    if (count == 0) {
        // A small sweep leaves nothing outside that window: every bin but the strongest, or the
        // one bin there is.
        for (std::size_t i = 0; i < n; ++i)
            sum += i == maxIndex && n > 1 ? 0.0 : y[i];
        count = n > 1 ? n - 1 : 1;
    }
    return sum / static_cast<double>(count);
}

std::size_t CountPeaks(const double *y, std::size_t n, double threshold) {
    std::size_t k = 0;
    for (std::size_t i = 1; i + 1 < n; ++i)
        k += static_cast<std::size_t>(IsPeak(y, i) & (y[i] > threshold)); // no branch to mispredict
    return k;
}

void StorePeaks(const double *x, const double *y, std::size_t n, double threshold, double *px, double *py) {
    if (n < 3)
        return;
    // The last peak first, from the end: before it every bin is written to the next free place
    // and the place advances only for a peak (no branch to mispredict on noise, where about a
    // quarter of the bins are peaks), and a write never lands beyond the last peak's place.
    std::size_t last = n - 2;
    while (last >= 1 && !(IsPeak(y, last) & (y[last] > threshold)))
        --last;
    if (last == 0)
        return;
    std::size_t k = 0;
    for (std::size_t i = 1; i < last; ++i) {
        px[k] = x[i];
        py[k] = y[i];
        k += static_cast<std::size_t>(IsPeak(y, i) & (y[i] > threshold));
    }
    px[k] = x[last];
    py[k] = y[last];
}

namespace {

// Ascending frequency; equal frequencies stay in file order (the whole-file stable sort).
void StableSortByFrequency(SweepData &d) {
    std::vector<std::size_t> order(d.x.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return d.x[a] < d.x[b]; });
    std::vector<double> x(order.size()), y(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        x[i] = d.x[order[i]];
        y[i] = d.y[order[i]];
    }
    d.x.swap(x);
    d.y.swap(y);
}

} // namespace

void OrderByFrequency(SweepFindings &f) {
    SweepData &d = f.data;
    const std::size_t n = d.x.size();
    double *x = d.x.data(), *y = d.y.data();
    std::size_t i = 1;
    while (i < n && !(x[i] < x[i - 1]))
        ++i;
    if (i >= n)
        return; // already in order
    // The hops of a sweep arrive in order, each ascending, each overlapping the one before by a
    // few bins at most: each run is merged in place onto the end of what is ordered so far, with
    // only the overlapped tail copied aside, in one pass. A run that would reach further back
    // than its own length means the file is not in hop order: the stable sort of the whole file
    // takes over (the part merged so far is itself stably ordered, so the result is the same).
    std::vector<double> &tx = f.tailX, &ty = f.tailY;
    while (i < n) {
        std::size_t end = i + 1;
        while (end < n && !(x[end] < x[end - 1]))
            ++end;
        // The run's first value goes after every value already ordered that is not above it.
        std::size_t p = i;
        while (p > 0 && x[i] < x[p - 1])
            --p;
        const std::size_t tail = i - p, run = end - i;
        if (tail > run) {
            tx.clear();
            ty.clear();
            return StableSortByFrequency(d);
        }
        tx.assign(x + p, x + i);
        ty.assign(y + p, y + i);
        // Merge into p..end: the write never overtakes the run's next unread value. On equal
        // frequencies the earlier line's value comes first.
        std::size_t a = 0, b = i, o = p;
        while (a < tail && b < end) {
            if (x[b] < tx[a]) {
                x[o] = x[b];
                y[o++] = y[b++];
            } else {
                x[o] = tx[a];
                y[o++] = ty[a++];
            }
        }
        for (; a < tail; ++a, ++o) {
            x[o] = tx[a];
            y[o] = ty[a];
        }
        // What is left of the run is already where it belongs.
        i = end;
    }
    // Nothing of sweep size is kept between sweeps (a file out of hop order can overlap a lot).
    for (std::vector<double> *v : {&tx, &ty}) {
        v->clear();
        if (v->capacity() > 4096)
            v->shrink_to_fit();
    }
}

void IngestSweep(std::string_view text, bool findPeaks, SweepFindings &out, TTraceAverage *average,
                 double offsetHz) {
    out.maxIndex = out.minIndex = 0;
    out.noiseDb.reset();
    out.peakCount = 0;
    out.averaged = false;
    SweepData &d = out.data;
    ParseSweepFile(text, d);
    OrderByFrequency(out);
    const std::size_t n = d.x.size();
    if (!d.ok || n == 0)
        return;
    if (offsetHz != 0)
        for (double &hz : d.x)
            hz += offsetHz;
    if (average && average->Count() > 0) {
        ToSingles(d.y.data(), n, out.liveLevels); // the sweep's own, for an export
        out.averaged = average->Prepare(d.x.data(), d.y.data(), n, out.average);
    }
    if (!out.averaged)
        std::vector<float>().swap(out.liveLevels);
    const double *x = d.x.data(), *y = d.y.data();
    const SweepExtremes e = FindExtremes(y, n);
    out.maxIndex = e.maxIndex;
    out.minIndex = e.minIndex;
    out.noiseDb = NoiseLevel(y, n, e.maxIndex);
    out.peakX.clear();
    out.peakY.clear();
    if (findPeaks && out.noiseDb && n > 2) {
        // Counted first, then stored: arrays of the peaks' size, not the sweep's.
        const double threshold = *out.noiseDb + kPeakMarginDb;
        out.peakCount = CountPeaks(y, n, threshold);
        out.peakX.resize(out.peakCount);
        out.peakY.resize(out.peakCount);
        StorePeaks(x, y, n, threshold, out.peakX.data(), out.peakY.data());
    }
}

} // namespace sky
