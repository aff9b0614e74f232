#pragma once
// Levels held as whole hundredths of a dB in 16 bits: a quarter of the memory of doubles, and
// exact. rtl_power prints levels with two decimals, and h / 100.0 is the very double such a text
// reads as (both are the correctly rounded value of the same decimal number).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace sky {

inline double HundredthsValue(std::int16_t h) { return h / 100.0; }

// Level i of levels held as doubles or as hundredths, for code written once for both.
inline double LevelAt(const double *y, std::size_t i) { return y[i]; }
inline double LevelAt(const std::int16_t *y, std::size_t i) { return HundredthsValue(y[i]); }

// The least and the most of n > 0 hundredths (whole numbers order as the levels they stand for).
inline void HundredthsExtremes(const std::int16_t *h, std::size_t n, std::int16_t &least, std::int16_t &most) {
    std::int16_t lo = h[0], hi = h[0];
    for (std::size_t i = 1; i < n; ++i) {
        lo = h[i] < lo ? h[i] : lo;
        hi = h[i] > hi ? h[i] : hi;
    }
    least = lo;
    most = hi;
}

// The hundredths holding exactly v, where there are: finite, at most two decimals, within the
// 16-bit range, and not -0 (which would read back as +0).
inline bool ToHundredths(double v, std::int16_t &h) {
    if (!(v >= -327.68 && v <= 327.67) || (v == 0 && std::signbit(v)))
        return false;
    const auto k = static_cast<std::int16_t>(std::lrint(v * 100.0));
    if (HundredthsValue(k) != v)
        return false;
    h = k;
    return true;
}

// out = the values of n hundredths as doubles (sized to n, its storage reused).
inline void SpellOutHundredths(const std::int16_t *h, std::size_t n, std::vector<double> &out) {
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = HundredthsValue(h[i]);
}

// f(values, from, k) over n hundredths spelled out as doubles a piece at a time into a buffer
// that stays in the cache: values[0..k) are those of h[from..from + k). Every piece but the last
// holds a multiple of four values, so that loops with four running lanes see each value in the
// lane and order one pass over all of them would. An f that returns bool stops the pieces with
// false, which is then returned (true when all were taken).
template <class F> bool ForHundredthsPieces(const std::int16_t *h, std::size_t n, F &&f) {
    constexpr std::size_t kPiece = 4096;
    double piece[kPiece];
    for (std::size_t a = 0; a < n; a += kPiece) {
        const std::size_t k = n - a < kPiece ? n - a : kPiece;
        for (std::size_t i = 0; i < k; ++i)
            piece[i] = HundredthsValue(h[a + i]);
        if constexpr (std::is_same_v<decltype(f(static_cast<const double *>(piece), a, k)), bool>) {
            if (!f(static_cast<const double *>(piece), a, k))
                return false;
        } else {
            f(static_cast<const double *>(piece), a, k);
        }
    }
    return true;
}

} // namespace sky
