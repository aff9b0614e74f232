#include "scan/sweep_ingest.h"

#include "platform/hundredths.h"
#include "platform/single_precision.h"
#include "platform/vector_clones.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <type_traits>

#if SKYVANE_HAS_FMA_TARGET
#include <immintrin.h>
#endif

namespace sky {

namespace {

// The largest value above `hi` and the smallest below `lo` (either left as it is where no value
// passes it), as the plain loop "if (v > hi) hi = v" finds them: a NaN is passed over.
void ExtremeValuesPlain(const double *y, std::size_t n, double &hi, double &lo) {
    for (std::size_t i = 0; i < n; ++i) {
        hi = y[i] > hi ? y[i] : hi;
        lo = y[i] < lo ? y[i] : lo;
    }
}

// The first index from `from` on holding exactly v (equal zeros match), n where none does.
std::size_t FirstEqualPlain(const double *y, std::size_t from, std::size_t n, double v) {
    while (from < n && !(y[from] == v))
        ++from;
    return from;
}

#if SKYVANE_HAS_FMA_TARGET
// MAX(a, h) is exactly "a > h ? a : h" (a NaN a gives h), MIN likewise: every lane finds what
// the plain loop finds over its values, and the lanes fold the same way.
SKYVANE_FMA_TARGET
void ExtremeValuesAvx2(const double *y, std::size_t n, double &hi, double &lo) {
    __m256d h0 = _mm256_set1_pd(hi), h1 = h0, l0 = _mm256_set1_pd(lo), l1 = l0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256d a = _mm256_loadu_pd(y + i), b = _mm256_loadu_pd(y + i + 4);
        h0 = _mm256_max_pd(a, h0);
        h1 = _mm256_max_pd(b, h1);
        l0 = _mm256_min_pd(a, l0);
        l1 = _mm256_min_pd(b, l1);
    }
    alignas(32) double lanes[4][4];
    _mm256_store_pd(lanes[0], h0);
    _mm256_store_pd(lanes[1], h1);
    _mm256_store_pd(lanes[2], l0);
    _mm256_store_pd(lanes[3], l1);
    for (int k = 0; k < 4; ++k) {
        hi = std::max({hi, lanes[0][k], lanes[1][k]});
        lo = std::min({lo, lanes[2][k], lanes[3][k]});
    }
    ExtremeValuesPlain(y + i, n - i, hi, lo);
}

SKYVANE_FMA_TARGET
std::size_t FirstEqualAvx2(const double *y, std::size_t from, std::size_t n, double v) {
    const __m256d want = _mm256_set1_pd(v);
    for (; from + 4 <= n; from += 4)
        if (const int m = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(y + from), want, _CMP_EQ_OQ)))
            return from + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(m)));
    return FirstEqualPlain(y, from, n, v);
}
#endif

} // namespace

SweepExtremes FindExtremes(const double *y, std::size_t n) {
    // The bins the loop "if (y[i] > hi) { hi = y[i]; maxIndex = i; }" picks, found as the extreme
    // values first and then the first bin holding each: a pass without branches and two
    // searches that stop early.
    SweepExtremes e;
    double hi = -1000.0, lo = 1000.0;
    bool wide = false;
#if SKYVANE_HAS_FMA_TARGET
    wide = CpuHasFma();
    if (wide)
        ExtremeValuesAvx2(y, n, hi, lo);
#endif
    if (!wide)
        ExtremeValuesPlain(y, n, hi, lo);
    auto first = [&](double v) {
#if SKYVANE_HAS_FMA_TARGET
        if (wide)
            return FirstEqualAvx2(y, 0, n, v);
#endif
        return FirstEqualPlain(y, 0, n, v);
    };
    if (hi > -1000.0)
        e.maxIndex = first(hi);
    if (lo < 1000.0)
        e.minIndex = first(lo);
    return e;
}

SweepExtremes FindExtremes(const std::int16_t *y, std::size_t n) {
    // Whole hundredths order as the levels they stand for, all well inside +-1000 dB.
    SweepExtremes e;
    if (n == 0)
        return e;
    std::int16_t lo = 0, hi = 0;
    HundredthsExtremes(y, n, lo, hi);
    e.maxIndex = static_cast<std::size_t>(std::find(y, y + n, hi) - y);
    e.minIndex = static_cast<std::size_t>(std::find(y, y + n, lo) - y);
    return e;
}

namespace {

// sum += y[i] for i in [from, to), in that order.
void AddLevels(const double *y, std::size_t from, std::size_t to, double &sum) {
    for (std::size_t i = from; i < to; ++i)
        sum += y[i];
}
void AddLevels(const std::int16_t *y, std::size_t from, std::size_t to, double &sum) {
    // spelled out a piece at a time (a loop that vectorises), then added in the same order
    ForHundredthsPieces(y + from, to - from,
                        [&](const double *piece, std::size_t, std::size_t k) { AddLevels(piece, 0, k, sum); });
}
template <class T> std::optional<double> NoiseLevelOf(const T *y, std::size_t n, std::size_t maxIndex) {
    if (n == 0)
        return std::nullopt;
    // Two plain runs instead of a test per bin: [2, maxIndex - 10) and (maxIndex + 10, n), summed
    // in ascending order as one loop would.
    double sum = 0;
    std::size_t count = 0;
    const std::size_t firstEnd = std::min(n, maxIndex > 10 ? maxIndex - 10 : std::size_t{0});
    AddLevels(y, 2, std::max<std::size_t>(2, firstEnd), sum);
    count += firstEnd > 2 ? firstEnd - 2 : 0;
    const std::size_t secondStart = std::max<std::size_t>(2, maxIndex + 11);
    if (secondStart < n) {
        AddLevels(y, secondStart, n, sum);
        count += n - secondStart;
    }
    if (count == 0) {
        // A small sweep leaves nothing outside that window: every bin but the strongest, or the
        // one bin there is.
        for (std::size_t i = 0; i < n; ++i)
            sum += i == maxIndex && n > 1 ? 0.0 : LevelAt(y, i);
        count = n > 1 ? n - 1 : 1;
    }
    return sum / static_cast<double>(count);
}

} // namespace

std::optional<double> NoiseLevel(const double *y, std::size_t n, std::size_t maxIndex) {
    return NoiseLevelOf(y, n, maxIndex);
}

std::optional<double> NoiseLevel(const std::int16_t *y, std::size_t n, std::size_t maxIndex) {
    return NoiseLevelOf(y, n, maxIndex);
}

namespace {

// Bins [from, to) into the marks (clear where they are set), one at a time.
std::size_t MarkPeaksPlain(const double *y, std::size_t from, std::size_t to, double threshold,
                           std::uint64_t *bits) {
    std::size_t count = 0;
    for (std::size_t i = from; i < to; ++i) {
        const auto peak = static_cast<std::uint64_t>(IsPeak(y, i) & (y[i] > threshold));
        bits[i / 64] |= peak << (i % 64);
        count += peak;
    }
    return count;
}

#if SKYVANE_HAS_FMA_TARGET
// Four bins a step, `from` a multiple of four (so a step's marks never straddle two words) and
// to - from one too. The comparisons are IsPeak's own, false on NaN as in C.
SKYVANE_FMA_TARGET
std::size_t MarkPeaksAvx2(const double *y, std::size_t from, std::size_t to, double threshold,
                          std::uint64_t *bits) {
    const __m256d t = _mm256_set1_pd(threshold);
    std::uint64_t word = 0;
    std::size_t count = 0;
    for (std::size_t i = from; i < to; i += 4) {
        const __m256d p = _mm256_loadu_pd(y + i - 1), a = _mm256_loadu_pd(y + i), q = _mm256_loadu_pd(y + i + 1);
        const __m256d rise = _mm256_and_pd(_mm256_cmp_pd(a, p, _CMP_GT_OQ), _mm256_cmp_pd(q, a, _CMP_LE_OQ));
        const __m256d flat = _mm256_and_pd(_mm256_cmp_pd(a, p, _CMP_EQ_OQ), _mm256_cmp_pd(q, a, _CMP_LT_OQ));
        const __m256d peak = _mm256_and_pd(_mm256_or_pd(rise, flat), _mm256_cmp_pd(a, t, _CMP_GT_OQ));
        word |= static_cast<std::uint64_t>(_mm256_movemask_pd(peak)) << (i % 64);
        if (i % 64 == 60 || i + 4 == to) {
            bits[i / 64] |= word;
            count += static_cast<std::size_t>(std::popcount(word));
            word = 0;
        }
    }
    return count;
}
#endif

} // namespace

std::size_t MarkPeaks(const double *y, std::size_t n, double threshold, std::vector<std::uint64_t> &bits) {
    bits.assign(n / 64 + 1, 0);
    if (n < 3)
        return 0;
    const std::size_t end = n - 1; // bins 1 .. n-2 can be peaks
#if SKYVANE_HAS_FMA_TARGET
    if (CpuHasFma() && end >= 8) {
        std::size_t count = MarkPeaksPlain(y, 1, 4, threshold, bits.data());
        const std::size_t wideEnd = 4 + (end - 4) / 4 * 4;
        count += MarkPeaksAvx2(y, 4, wideEnd, threshold, bits.data());
        return count + MarkPeaksPlain(y, wideEnd, end, threshold, bits.data());
    }
#endif
    return MarkPeaksPlain(y, 1, end, threshold, bits.data());
}

namespace {

// The largest whole number of hundredths whose level is not above `threshold` (a level is above
// it exactly when its hundredths are above this), over the 16-bit range and one beyond each end.
std::int32_t HundredthsNotAbove(double threshold) {
    if (std::isnan(threshold))
        return INT16_MAX; // nothing compares above NaN
    if (threshold < INT16_MIN / 100.0)
        return INT16_MIN - 1;
    if (threshold >= INT16_MAX / 100.0)
        return INT16_MAX;
    auto k = static_cast<std::int32_t>(std::floor(threshold * 100.0));
    while (k >= INT16_MIN && k / 100.0 > threshold)
        --k;
    while (k < INT16_MAX && (k + 1) / 100.0 <= threshold)
        ++k;
    return k;
}

template <class X, class T>
void StoreMarkedPeaksOf(const X &x, const T *y, const std::vector<std::uint64_t> &bits, double *px, T *py) {
    std::size_t k = 0;
    for (std::size_t w = 0; w < bits.size(); ++w)
        for (std::uint64_t b = bits[w]; b != 0; b &= b - 1) {
            const std::size_t i = w * 64 + static_cast<std::size_t>(std::countr_zero(b));
            px[k] = x[i];
            py[k] = y[i];
            ++k;
        }
}

} // namespace

std::size_t MarkPeaks(const std::int16_t *y, std::size_t n, double threshold, std::vector<std::uint64_t> &bits) {
    bits.assign(n / 64 + 1, 0);
    if (n < 3)
        return 0;
    const std::int32_t t = HundredthsNotAbove(threshold);
    const std::size_t end = n - 1; // bins 1 .. n-2 can be peaks
    std::size_t count = 0;
    for (std::size_t w = 0; w * 64 < end; ++w) {
        // a word of marks at a time, IsPeak's comparisons on whole numbers
        const std::size_t from = std::max<std::size_t>(1, w * 64), to = std::min(end, w * 64 + 64);
        std::uint64_t word = 0;
        for (std::size_t i = from; i < to; ++i) {
            const std::int32_t p = y[i - 1], a = y[i], q = y[i + 1];
            const bool peak = (((a > p) & (q <= a)) | ((a == p) & (q < a))) & (a > t);
            word |= static_cast<std::uint64_t>(peak) << (i - w * 64);
        }
        bits[w] = word;
        count += static_cast<std::size_t>(std::popcount(word));
    }
    return count;
}

void StoreMarkedPeaks(const double *x, const double *y, const std::vector<std::uint64_t> &bits, double *px,
                      double *py) {
    StoreMarkedPeaksOf(x, y, bits, px, py);
}

void StoreMarkedPeaks(const FrequencyRunReader &x, const std::int16_t *y, const std::vector<std::uint64_t> &bits,
                      double *px, std::int16_t *py) {
    StoreMarkedPeaksOf(x, y, bits, px, py);
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
    if (d.ascending)
        return; // the reader saw them come in order
    // Out of order (hops overlapping, say), or not known: the points are moved as doubles.
    d.SpellOut();
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
    ParseSweepFile(text, out.data);
    AnalyseSweep(findPeaks, out, average, offsetHz);
}

void AnalyseSweep(bool findPeaks, SweepFindings &out, TTraceAverage *average, double offsetHz) {
    out.maxIndex = out.minIndex = 0;
    out.noiseDb.reset();
    out.peakCount = 0;
    out.averaged = false;
    SweepData &d = out.data;
    OrderByFrequency(out);
    const std::size_t n = d.PointCount();
    if (!d.ok || n == 0)
        return;
    if (offsetHz != 0 && d.compact)
        d.xOffset = offsetHz; // added as each frequency is read
    else if (offsetHz != 0)
        for (double &hz : d.x)
            hz += offsetHz;
    if (average && average->Count() > 0) {
        d.SpellOut(); // the average is kept and blended in doubles
        ToSingles(d.y.data(), n, out.liveLevels); // the sweep's own, for an export
        out.averaged = average->Prepare(d.x.data(), d.y.data(), n, out.average);
    }
    if (!out.averaged)
        std::vector<float>().swap(out.liveLevels);
    out.peakX.clear();
    out.peakY.clear();
    out.peakYh.clear();
    auto analyse = [&](const auto *y, auto &peakY) {
        const SweepExtremes e = FindExtremes(y, n);
        out.maxIndex = e.maxIndex;
        out.minIndex = e.minIndex;
        out.noiseDb = NoiseLevel(y, n, e.maxIndex);
        if (findPeaks && out.noiseDb && n > 2) {
            // Counted first, then stored: arrays of the peaks' size, not the sweep's.
            const double threshold = *out.noiseDb + kPeakMarginDb;
            out.peakCount = MarkPeaks(y, n, threshold, out.peakBits);
            out.peakX.resize(out.peakCount);
            peakY.resize(out.peakCount);
            if constexpr (std::is_same_v<std::remove_cv_t<std::remove_pointer_t<decltype(y)>>, std::int16_t>)
                StoreMarkedPeaks(d.Frequencies(), y, out.peakBits, out.peakX.data(), peakY.data()); // compact
            else
                StoreMarkedPeaks(d.x.data(), y, out.peakBits, out.peakX.data(), peakY.data());
        }
    };
    if (d.compact)
        analyse(d.yh.data(), out.peakYh);
    else
        analyse(d.y.data(), out.peakY);
}

} // namespace sky
