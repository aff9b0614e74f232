#include "scan/trace_average.h"

#include "platform/single_precision.h"
#include "platform/vector_clones.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sky {

namespace {

// 2^t and log2(a) in float, written so the compiler can run them on a whole vector of bins: no
// library calls, no branches. Both are within a few units in the last place of a float, which is
// a few hundred-thousandths of a dB.
// 2^c for c in [-126, 127], with no check: 2^c = 2^r * 2^f with r = round(c), f in [-0.5, 0.5],
// where a Taylor series of degree 7 is within 1e-8, below a float's own rounding: the held average
// goes through it once a sweep, so its error must not add up.
inline float exp2Plain(float c) {
    constexpr float kRound = 12582912.0f; // 1.5 * 2^23: adding and subtracting it rounds
    const float r = (c + kRound) - kRound;
    const float f = c - r;
    constexpr float k1 = 0.693147181f, k2 = 0.240226507f, k3 = 0.0555041087f, k4 = 0.00961812911f,
                    k5 = 0.00133335581f, k6 = 0.000154035304f, k7 = 0.0000152527338f;
    const float p = 1.0f + f * (k1 + f * (k2 + f * (k3 + f * (k4 + f * (k5 + f * (k6 + f * k7))))));
    return p * std::bit_cast<float>((static_cast<std::int32_t>(r) + 127) << 23);
}

inline float exp2Fast(float t) {
    // Written as plain selects and min/max so the loop vectorises.
    float v = exp2Plain(std::min(std::max(t == t ? t : 0.0f, -126.0f), 127.0f)); // a NaN is put back below
    v = t < -126.0f ? 0.0f : v; // below 1e-38: no power worth keeping
    v = t > 127.5f ? std::numeric_limits<float>::infinity() : v;
    return t == t ? v : t;
}

// log2(a) for a normal positive float, with no check: a = m * 2^e with m in [sqrt(1/2), sqrt(2));
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.172, whose odd series to s^7 is within 3e-8.
inline float log2Plain(float a) {
    const std::int32_t bits = std::bit_cast<std::int32_t>(a);
    // Exponent relative to sqrt(1/2): the mantissa lands in [sqrt(1/2), sqrt(2)).
    const std::int32_t e = (bits - 0x3F3504F3) >> 23;
    const float m = std::bit_cast<float>(bits - static_cast<std::int32_t>(static_cast<std::uint32_t>(e) << 23));
    const float s = (m - 1.0f) / (m + 1.0f), s2 = s * s;
    const float lnm = 2.0f * s * (1.0f + s2 * (1.0f / 3 + s2 * (1.0f / 5 + s2 * (1.0f / 7))));
    return static_cast<float>(e) + lnm * 1.44269504f;
}

inline float log2Fast(float a) {
    // Subnormals are scaled up first; zero, negatives, +inf and NaN are put right after.
    const float tiny = a < std::numeric_limits<float>::min() ? 1.0f : 0.0f;
    float v = log2Plain(a * (1.0f + tiny * (0x1p64f - 1.0f))) - 64.0f * tiny;
    v = a == 0.0f ? -std::numeric_limits<float>::infinity() : v;
    v = a < 0.0f ? std::numeric_limits<float>::quiet_NaN() : v;
    return a < std::numeric_limits<float>::infinity() ? v : a; // +inf and NaN as they are
}

constexpr float kDbToLog2 = 0.33219280948873623f; // log2(10) / 10
constexpr double kLog2ToDb = 3.0102999566398120;  // 10 / log2(10)

// The next average of a bin: a NaN level leaves it as it was; an average still NaN takes what
// comes; one that has seen +inf stays there (inf - inf would be NaN).
inline float nextAverage(float a, float p, float w) {
    if (p != p)
        return a;
    if (a != a)
        return p;
    constexpr float inf = std::numeric_limits<float>::infinity();
    return (a == inf || p == inf) ? inf : a + w * (p - a);
}

inline bool anyNaN(const float *v, std::size_t n) {
    int nan = 0;
    for (std::size_t i = 0; i < n; ++i)
        nan |= v[i] != v[i];
    return nan != 0;
}

// Whether a block needs none of the special cases: every level within about ±360 dB, so that all
// powers and averages are normal, finite floats.
inline bool plainBlock(const float *t, std::size_t n) {
    int plain = 1;
    for (std::size_t i = 0; i < n; ++i)
        plain &= (t[i] >= -120.0f) & (t[i] <= 120.0f); // false for a NaN
    return plain != 0;
}

// One pass over the sweep: its powers into the average held in dB with weight w (`held` null: the
// average starts with this sweep), the new average into the levels. In blocks that stay in the
// cache, so that a block can be checked first: most take loops without special cases, which run
// on whole vectors; the others take the careful route. Compiled once per instruction set (see
// blend): the polynomials are bound by arithmetic, so wider vectors and fused multiply-adds pay.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void blendBody(double *y, const float *held, std::size_t n, float w) {
    constexpr std::size_t kBlock = 512;
    float t[kBlock], h[kBlock], a[kBlock];
    for (std::size_t base = 0; base < n; base += kBlock) {
        const std::size_t m = std::min(kBlock, n - base);
        double *yb = y + base;
        for (std::size_t i = 0; i < m; ++i)
            t[i] = static_cast<float>(yb[i]) * kDbToLog2;
        if (held)
            for (std::size_t i = 0; i < m; ++i)
                h[i] = held[base + i] * kDbToLog2;
        if (plainBlock(t, m) && (!held || plainBlock(h, m))) {
            if (!held)
                for (std::size_t i = 0; i < m; ++i)
                    a[i] = exp2Plain(t[i]);
            else
                for (std::size_t i = 0; i < m; ++i) {
                    const float old = exp2Plain(h[i]);
                    a[i] = old + w * (exp2Plain(t[i]) - old);
                }
            for (std::size_t i = 0; i < m; ++i)
                yb[i] = kLog2ToDb * static_cast<double>(log2Plain(a[i]));
            continue;
        }
        if (!held) {
            for (std::size_t i = 0; i < m; ++i)
                a[i] = exp2Fast(t[i]); // the first sweep: NaN where nothing is known yet
        } else {
            for (std::size_t i = 0; i < m; ++i)
                a[i] = nextAverage(exp2Fast(h[i]), exp2Fast(t[i]), w);
        }
        // Apart: in one loop with the above the compiler runs out of vector registers.
        for (std::size_t i = 0; i < m; ++i)
            t[i] = log2Fast(a[i]);
        for (std::size_t i = 0; i < m; ++i)
            yb[i] = kLog2ToDb * static_cast<double>(t[i]);
    }
}

#if SKYVANE_HAS_FMA_TARGET
SKYVANE_AVX512_TARGET void blendAvx512(double *y, const float *held, std::size_t n, float w) {
    blendBody(y, held, n, w);
}
SKYVANE_FMA_TARGET void blendFma(double *y, const float *held, std::size_t n, float w) {
    blendBody(y, held, n, w);
}
#endif

void blend(double *y, const float *held, std::size_t n, float w) {
#if SKYVANE_HAS_FMA_TARGET
    if (CpuHasAvx512())
        return blendAvx512(y, held, n, w);
    if (CpuHasFma())
        return blendFma(y, held, n, w);
#endif
    blendBody(y, held, n, w);
}

} // namespace

void TTraceAverage::SetCount(int n) {
    std::lock_guard lock(mutex_);
    const int count = n <= 0 ? 0 : std::clamp(n, kMinCount, kMaxCount);
    if (count == count_)
        return;
    count_ = count;
    sweeps_ = 0;
    ++state_;
    if (count_ == 0)
        std::vector<float>().swap(levels_); // off: nothing held
}

int TTraceAverage::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

int TTraceAverage::Sweeps() const {
    std::lock_guard lock(mutex_);
    return sweeps_;
}

bool TTraceAverage::Prepare(const double *x, double *y, std::size_t n, Pending &p) {
    std::lock_guard lock(mutex_);
    if (count_ == 0 || n == 0)
        return false;
    // Bins at other frequencies: their averages mean nothing here.
    const bool fresh = sweeps_ == 0 || n != bins_ || x[0] != first_ || x[n - 1] != last_ || levels_.size() != n;
    p.sweeps = fresh ? 1 : std::min(sweeps_ + 1, count_);
    p.bins = n;
    p.first = x[0];
    p.last = x[n - 1];
    p.base = state_;
    blend(y, fresh ? nullptr : levels_.data(), n, 1.0f / static_cast<float>(p.sweeps));
    return true;
}

bool TTraceAverage::Commit(Pending &p, const double *levels) {
    std::lock_guard lock(mutex_);
    if (p.base != state_ || count_ == 0 || !levels)
        return false;
    ToSingles(levels, p.bins, levels_); // the levels shown are the average held
    sweeps_ = p.sweeps;
    bins_ = p.bins;
    first_ = p.first;
    last_ = p.last;
    ++state_;
    return true;
}

bool TTraceAverage::Apply(const double *x, double *y, std::size_t n) {
    Pending p;
    return Prepare(x, y, n, p) && Commit(p, y);
}

} // namespace sky
