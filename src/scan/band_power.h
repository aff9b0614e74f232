#pragma once
// Reading power off a trace between two frequencies: the bin nearest a frequency, and the total
// power of the bins in a band.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sky {

// The index of the bin whose frequency is nearest `hz`, bins at x[0..n) ascending; on a tie the
// lower index. Below the first bin it is 0, above the last n - 1; a NaN `hz` gives 0. n must be > 0.
std::size_t NearestBin(const double *x, std::size_t n, double hz);

struct BandPower {
    double db;        // total power of the band, in the unit of the levels (dB, dBm, ...)
    std::size_t bins; // bins that went into it
};

// The total power of the bins whose frequency lies between hzA and hzB, both included, in either
// order: 10 log10 of the sum of the bins' linear powers. A -inf level is a bin with no power; a NaN
// level is a bin with no reading and is left out (and out of `bins`). Nothing when no bin lies in
// the band, when every bin in it is NaN, or when a band edge is NaN. A band whose bins are all
// -inf has -inf; one with a +inf bin has +inf. Two vectorised passes over the band's levels plus a
// search for its edges; levels far apart (+30 and -200 dB) add up without overflow or loss, to
// within 1e-7 dB.
std::optional<BandPower> BandPowerBetween(const double *x, const double *y, std::size_t n, double hzA, double hzB);
// The total power of `count` levels, as BandPowerBetween adds up the band's; the same, bit for
// bit, for levels held as whole hundredths (see platform/hundredths.h), which are spelled out a
// piece at a time, never the whole band.
std::optional<BandPower> BandPowerOf(const double *band, std::size_t count);
std::optional<BandPower> BandPowerOf(const std::int16_t *band, std::size_t count);

// The first index in [0, n) whose frequency is not below hz (with `above`: is above hz), n where
// none is: lower_bound (upper_bound) over anything read by index, such as frequencies held as
// runs.
template <class X> std::size_t FirstBinReaching(const X &x, std::size_t n, double hz, bool above) {
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (above ? !(hz < x[mid]) : x[mid] < hz)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// NearestBin for frequencies read by index (x[i] a double).
template <class X> std::size_t NearestBinOf(const X &x, std::size_t n, double hz) {
    const std::size_t hi = FirstBinReaching(x, n, hz, false);
    if (hi == 0)
        return 0;
    if (hi == n)
        return n - 1;
    return hz - x[hi - 1] <= x[hi] - hz ? hi - 1 : hi;
}

// The bins [first, last) whose frequency lies between hzA and hzB, both included, in either
// order; false when none does or an edge is NaN. BandPowerBetween is BandPowerOf over them.
template <class X>
bool BandBins(const X &x, std::size_t n, double hzA, double hzB, std::size_t &first, std::size_t &last) {
    if (hzA != hzA || hzB != hzB)
        return false;
    first = FirstBinReaching(x, n, hzA < hzB ? hzA : hzB, false);
    last = FirstBinReaching(x, n, hzA < hzB ? hzB : hzA, true);
    return first < last;
}

} // namespace sky
