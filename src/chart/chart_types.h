#pragma once
// Basic value types shared by the whole chart engine: colours, integer rectangles and the
// integer arithmetic the drawing code relies on for pixel-exact results.
#include <QRect>

#include <cmath>
#include <cstdint>
#include <cstdlib>

// A colour as the widget framework stores it: 0x00BBGGRR (red in the low byte). Negative values
// are system colours (0x80000000 | element index), resolved at the painter.
using TColor = std::int32_t;

constexpr TColor clDefault = 0x20000000; // use the default colour (series colour / pick one)
constexpr TColor clNone = 0x1FFFFFFF;    // null point: not drawn, no line to or from it

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// System colours (negative): 0x80000000 | index of the display element.
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

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
