#pragma once
// Levels held as whole hundredths of a dB in 16 bits: a quarter of the memory of doubles, and
// exact. rtl_power prints levels with two decimals, and h / 100.0 is the very double such a text
// reads as (both are the correctly rounded value of the same decimal number).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sky {

inline double HundredthsValue(std::int16_t h) { return h / 100.0; }

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

} // namespace sky
