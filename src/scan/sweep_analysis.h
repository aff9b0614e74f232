#pragma once
// What the ingest computes from one sweep held in ascending frequency order.
#include <cmath>
#include <algorithm>
#include <cstddef>
#include <optional>

namespace sky {

struct SweepExtremes {
    std::size_t maxIndex = 0; // first bin with the greatest level (starting from -1000)
    std::size_t minIndex = 0; // first bin with the smallest level (starting from +1000)
};

inline SweepExtremes FindExtremes(const double *y, std::size_t n) {
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

// Negated root mean square of the levels, leaving out the first two bins and the 21 bins centred
// on the strongest one. Empty when no bin is left to count.
inline std::optional<double> NoiseLevel(const double *y, std::size_t n, std::size_t maxIndex) {
    // Two plain runs instead of a test per bin: [2, maxIndex - 10) and (maxIndex + 10, n), summed
    // in ascending order as one loop would.
    double sum = 0;
    std::size_t count = 0;
    const std::size_t firstEnd = std::min(n, maxIndex > 10 ? maxIndex - 10 : std::size_t{0});
    for (std::size_t i = 2; i < firstEnd; ++i)
        sum += y[i] * y[i];
    count += firstEnd > 2 ? firstEnd - 2 : 0;
    for (std::size_t i = std::max<std::size_t>(2, maxIndex + 11); i < n; ++i) {
        sum += y[i] * y[i];
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    return -std::sqrt(sum / static_cast<double>(count));
}

// A strict maximum, or the first or last bin of a flat top. Needs 1 <= i <= n - 2.
inline bool IsPeak(const double *y, std::size_t i) {
    return (y[i] > y[i - 1] && y[i + 1] < y[i]) || (y[i] > y[i - 1] && y[i + 1] == y[i]) ||
           (y[i] == y[i - 1] && y[i + 1] < y[i]);
}

} // namespace sky
