#pragma once
// Basic value types shared by the whole chart engine: integer rectangles and the integer
// arithmetic the drawing code relies on for pixel-exact results.
#include "chart/color.h"

#include <QRect>

#include <cmath>
#include <cstdint>
#include <cstdlib>

// Rectangle in device pixels with exclusive right and bottom edges: Width() = Right - Left.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    constexpr bool operator==(const TRect &) const = default;

    // Left <= Right and Top <= Bottom.
    constexpr TRect Normalized() const
    {
        TRect r = *this;
        if (r.Right < r.Left) { const int t = r.Left; r.Left = r.Right; r.Right = t; }
        if (r.Bottom < r.Top) { const int t = r.Top; r.Top = r.Bottom; r.Bottom = t; }
        return r;
    }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect FromQRect(const QRect &r) { return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
};

// a * b / c with a 64-bit intermediate, rounded half away from zero; -1 when c is 0 or the result
// does not fit (the platform's integer scaling rule).
inline int MulDiv(int a, int b, int c)
{
    if (c == 0) return -1;
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    const std::int64_t ap = p < 0 ? -p : p;
    const std::int64_t ac = c < 0 ? -static_cast<std::int64_t>(c) : c;
    std::int64_t q = (ap + ac / 2) / ac;
    if ((p < 0) != (c < 0)) q = -q;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return static_cast<int>(q);
}

// Round to nearest, ties to even, for |x| < 2^31. Adding and subtracting 1.5 * 2^52 makes the FPU
// do the rounding in its default mode, which is much cheaper than a library call per value.
// (Floating-point addition is not reassociated without -ffast-math, so the pair is not folded.)
inline int RoundEven(double x)
{
    constexpr double magic = 6755399441055744.0;
    return static_cast<int>((x + magic) - magic);
}

// Same rounding for any finite value (results beyond the int range are not expected).
inline double RoundEvenD(double x) { return std::nearbyint(x); }
