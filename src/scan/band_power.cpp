#include "scan/band_power.h"

#include "platform/hundredths.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sky {

namespace {

// 2^t for t <= 0, written so the compiler can run it on a whole vector of bins: no library call,
// no branch, no conversion from double to integer (which plain SSE2 has no vector form of).
// Below 2^-1022 (over 3000 dB under the band's strongest bin) it is 0, and so for -inf and NaN.
inline double exp2NonPositive(double t) {
    const double c = t >= -1022.0 ? t : -1022.0;
    // Adding 1.5 * 2^52 rounds c to an integer r and leaves r in the low bits of the sum.
    constexpr double kShift = 0x1.8p52;
    const double shifted = c + kShift;
    const double r = shifted - kShift;
    const double f = c - r; // in [-0.5, 0.5]
    // 2^f by its Taylor series to degree 7: within 6e-9 relative (3e-8 dB) on [-0.5, 0.5].
    constexpr double k1 = 0.6931471805599453, k2 = 0.2402265069591007, k3 = 0.05550410866482158,
                     k4 = 0.009618129107628477, k5 = 0.0013333558146428443, k6 = 0.00015403530393381606,
                     k7 = 1.5252733804059838e-05;
    const double p = 1.0 + f * (k1 + f * (k2 + f * (k3 + f * (k4 + f * (k5 + f * (k6 + f * k7))))));
    const std::int64_t e = std::bit_cast<std::int64_t>(shifted) - std::bit_cast<std::int64_t>(kShift);
    const double scale = std::bit_cast<double>(static_cast<std::int64_t>(static_cast<std::uint64_t>(e + 1023) << 52));
    return t >= -1022.0 ? p * scale : 0.0;
}

} // namespace

std::size_t NearestBin(const double *x, std::size_t n, double hz) { return NearestBinOf(x, n, hz); }

std::optional<BandPower> BandPowerBetween(const double *x, const double *y, std::size_t n, double hzA, double hzB) {
    std::size_t first = 0, last = 0;
    if (!BandBins(x, n, hzA, hzB, first, last))
        return std::nullopt;
    return BandPowerOf(y + first, last - first); // the band's levels where they are
}

namespace {

// A band's levels as doubles, handed to f(p, k) a piece at a time: for doubles at once; for
// hundredths spelled out in pieces of a multiple of four levels, so that each level meets the
// same running lane, in the same order, as it would in one piece (only the last piece has a
// tail). The result is then the same, bit for bit.
struct DoublePieces {
    const double *band;
    std::size_t count;
    template <class F> void operator()(F &&f) const { f(band, count); }
};
struct HundredthPieces {
    const std::int16_t *band;
    std::size_t count;
    template <class F> void operator()(F &&f) const {
        ForHundredthsPieces(band, count, [&](const double *piece, std::size_t, std::size_t k) { f(piece, k); });
    }
};

template <class Pieces> std::optional<BandPower> BandPowerOfPieces(const Pieces &pieces) {
    // The strongest bin is factored out, so every term is in [0, 1] and one of them is 1: nothing
    // overflows, and the weak bins are added at full precision relative to the result. Four
    // running maxima and sums let the compiler keep a vector of bins in flight.
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    double most[4] = {kNone, kNone, kNone, kNone};
    pieces([&](const double *band, std::size_t count) {
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4)
            for (std::size_t j = 0; j < 4; ++j)
                most[j] = band[i + j] > most[j] ? band[i + j] : most[j]; // a NaN never compares greater
        for (; i < count; ++i)
            most[0] = band[i] > most[0] ? band[i] : most[0];
    });
    const double strongest = std::max(std::max(most[0], most[1]), std::max(most[2], most[3]));
    if (std::isinf(strongest)) { // no power at all, or endless power: nothing to add up
        std::size_t bins = 0;
        pieces([&](const double *band, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i)
                bins += band[i] == band[i];
        });
        return bins == 0 ? std::nullopt : std::optional(BandPower{strongest, bins});
    }

    // 10^((v - strongest) / 10) = 2^((v - strongest) * log2(10) / 10); a NaN or -inf level adds
    // nothing. The readings are counted alongside, in double: exact far beyond any bin count.
    constexpr double kLog2Of10Over10 = 0.33219280948873623;
    double sum[4] = {0, 0, 0, 0}, readings[4] = {0, 0, 0, 0};
    pieces([&](const double *band, std::size_t count) {
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            for (std::size_t j = 0; j < 4; ++j) {
                const double v = band[i + j];
                sum[j] += exp2NonPositive((v - strongest) * kLog2Of10Over10);
                readings[j] += v == v ? 1.0 : 0.0;
            }
        }
        for (; i < count; ++i) {
            const double v = band[i];
            sum[0] += exp2NonPositive((v - strongest) * kLog2Of10Over10);
            readings[0] += v == v ? 1.0 : 0.0;
        }
    });
    const double total = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    const auto bins = static_cast<std::size_t>((readings[0] + readings[1]) + (readings[2] + readings[3]));
    return BandPower{strongest + 10.0 * std::log10(total), bins};
}

} // namespace

std::optional<BandPower> BandPowerOf(const double *band, std::size_t count) {
    return BandPowerOfPieces(DoublePieces{band, count});
}

std::optional<BandPower> BandPowerOf(const std::int16_t *band, std::size_t count) {
    return BandPowerOfPieces(HundredthPieces{band, count});
}

} // namespace sky
