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
// The same for levels held as whole hundredths (see platform/hundredths.h).
std::optional<BandPower> BandPowerBetween(const double *x, const std::int16_t *hundredths, std::size_t n, double hzA,
                                          double hzB);

} // namespace sky
