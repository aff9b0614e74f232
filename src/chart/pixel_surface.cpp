// Direct pixel routines for buffered frames: marker shapes and their pixel stamps, and the
// surface that draws lines, stamps and fills straight into the frame's pixels.
#include "chart/pixel_surface.h"

#include "chart/series.h"
#include "platform/hundredths.h"
#include "platform/vector_clones.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Marker shapes and stamps

void DrawMarkerShape(TCanvas3D &c, int style, int x, int y, int h, int v, TColor color)
{
    const int l = x - h, r = x + h, t = y - v, b = y + v;
    switch (style) {
    case psRectangle: c.Rectangle(l, t, r + 1, b + 1); break;
    case psCircle: c.Ellipse(l, t, r, b); break;
    case psTriangle: c.Polygon(QPolygon({QPoint(l, b), QPoint(r, b), QPoint(x, t)})); break;
    case psDownTriangle: c.Polygon(QPolygon({QPoint(l, t), QPoint(r, t), QPoint(x, b)})); break;
    case psDiamond: c.Polygon(QPolygon({QPoint(l, y), QPoint(x, t), QPoint(r, y), QPoint(x, b)})); break;
    case psSmallDot: c.SetPixel(x, y, color); break;
    case psCross:
    case psDiagCross:
    case psStar:
        c.Pen().Color = color;
        // each line runs one pixel past its far end, so that end pixel is drawn too
        if (style != psDiagCross) {
            c.VertLine(x, t, b + 1);
            c.HorizLine(l, r + 1, y);
        }
        if (style != psCross) {
            c.DrawSegment(l, t, r + 1, b + 1);
            c.DrawSegment(l, b, r + 1, t - 1);
        }
        break;
    default: break;
    }
}

TMarkerStamp StampFromPair(const QRgb *a, const QRgb *b, int w, int h, int cx, int cy)
{
    TMarkerStamp stamp;
    for (int y = 0; y < h; ++y, a += w, b += w) {
        for (int x = 0; x < w;) {
            if (a[x] != b[x]) {
                ++x;
                continue;
            }
            const int start = x;
            TMarkerStamp::Run run{y - cy, x - cx, 0, static_cast<int>(stamp.colours.size())};
            while (x < w && a[x] == b[x])
                stamp.colours.push_back(a[x++]);
            run.len = x - start;
            stamp.runs.push_back(run);
            stamp.ink |= QRect(start - cx, y - cy, run.len, 1);
        }
    }
    // set pixels on the border may continue beyond it: then the capture is incomplete
    stamp.usable = stamp.ink.isNull() || QRect(1 - cx, 1 - cy, w - 2, h - 2).contains(stamp.ink);
    if (stamp.usable && !stamp.ink.isNull()) {
        const int rows = stamp.ink.height();
        std::vector<int> count(static_cast<size_t>(rows), 0), left(count), right(count);
        bool centred = true;
        for (const TMarkerStamp::Run &r : stamp.runs) {
            const size_t k = static_cast<size_t>(r.dy - stamp.ink.top());
            ++count[k];
            left[k] = r.dx;
            right[k] = r.dx + r.len - 1;
            centred &= r.dx <= 0 && r.dx + r.len - 1 >= 0;
        }
        centred &= std::all_of(count.begin(), count.end(), [](int c) { return c == 1; });
        for (size_t k = 0; centred && k < count.size(); ++k) {
            auto g = std::find_if(stamp.rowGroups.begin(), stamp.rowGroups.end(), [&](const TMarkerStamp::RowGroup &e) {
                return e.left == left[k] && e.right == right[k];
            });
            if (g == stamp.rowGroups.end()) g = stamp.rowGroups.insert(g, {left[k], right[k], {}});
            g->rows.push_back(static_cast<int>(k));
        }
    }
    return stamp;
}

TMarkerStamp RenderMarkerStamp(const TCanvasPen &pen, const TCanvasBrush &brush, int style, int h, int v, TColor color)
{
    if (h < 1 || v < 1 || h > 64 || v > 64) return TMarkerStamp();
    // The shape reaches one pixel beyond its box; the margin keeps every line end well inside
    // the image, so nothing is cut differently than on the chart.
    constexpr int margin = 4;
    const int w = 2 * h + 1 + 2 * margin, ht = 2 * v + 1 + 2 * margin;
    const int cx = h + margin, cy = v + margin;
    // Drawn on black and on white: a pixel the marker sets has the same value on both.
    QImage on[2] = {QImage(w, ht, QImage::Format_RGB32), QImage(w, ht, QImage::Format_RGB32)};
    on[0].fill(0xFF000000u);
    on[1].fill(0xFFFFFFFFu);
    for (QImage &img : on) {
        TChartCanvas3D c;
        c.SetUseBackBuffer(false);
        c.BeginFrame(&img, TRect{0, 0, w, ht});
        c.Pen() = pen;
        c.Brush() = brush;
        DrawMarkerShape(c, style, cx, cy, h, v, color);
        c.EndFrame();
    }
    static_assert(sizeof(QRgb) == 4);
    TMarkerStamp stamp = StampFromPair(reinterpret_cast<const QRgb *>(on[0].constBits()),
                                       reinterpret_cast<const QRgb *>(on[1].constBits()), w, ht, cx, cy);
    const QRect safe(2 - cx, 2 - cy, w - 4, ht - 4);
    stamp.usable = stamp.ink.isNull() || safe.contains(stamp.ink);
    if (!stamp.usable) stamp.rowGroups.clear();
    return stamp;
}

// ---------------------------------------------------------------------------------------------
// Pixel mapping

namespace {

// A linear axis's mapping in doubles, as operator() computes it: the rounded offset and the pixel
// are whole numbers, exact wherever the pixel can land in range; NaN and infinities fail the
// range test.
struct LinearMapping {
    double origin, sign, min, size, range, lo, hi;
    static constexpr double kMagic = 6755399441055744.0; // adding and subtracting it rounds, ties to even

    bool Place(double t, int &out) const
    {
        const double p = origin + sign * ((t + kMagic) - kMagic);
        const bool in = (p >= lo) & (p < hi);
        out = static_cast<int>(in ? p : 0.0);
        return in;
    }
};

// The plain x86-64 instruction set cannot vectorise the range test. Rows come out as int or,
// for a range that fits, as 16-bit numbers (half the memory a million rows take).
template <class T, class Out> bool MapDividingOf(const LinearMapping &map, const T *v, double m, int n, Out *out)
{
    int bad = 0;
    for (int i = 0; i < n; ++i) {
        int p;
        bad |= !map.Place((static_cast<double>(v[i]) * m - map.min) * map.size / map.range, p);
        out[i] = static_cast<Out>(p);
    }
    return bad == 0;
}
#define SKYVANE_MAP_DIVIDING(T, Out)                                                                    \
    SKYVANE_VECTOR_CLONES                                                                               \
    bool MapDividing(const LinearMapping &map, const T *v, double m, int n, Out *out)                 \
    {                                                                                                   \
        return MapDividingOf(map, v, m, n, out);                                                        \
    }
SKYVANE_MAP_DIVIDING(double, int)
SKYVANE_MAP_DIVIDING(float, int)
SKYVANE_MAP_DIVIDING(double, std::int16_t)
#undef SKYVANE_MAP_DIVIDING

#if SKYVANE_HAS_FMA_TARGET
// The same without a division, which costs several times the rest of the loop: q / range is
// y = q * (1 / range) corrected once by the exact residual q - y * range. With the reciprocal
// correctly rounded (a normal number) that gives exactly the rounded quotient, so every pixel
// is the one the division gives.
// Compiled for AVX2 and for AVX-512 (the loop is bound by arithmetic: wider vectors pay); a
// multiplier of one (the usual) costs no multiplication.
template <class T, class Out>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline bool MapFusedBody(const LinearMapping &map, const T *v, double m, int n, Out *out)
{
    const double inv = 1.0 / map.range;
    int bad = 0;
    auto run = [&](auto scaled) {
        for (int i = 0; i < n; ++i) {
            const double q = (scaled(static_cast<double>(v[i])) - map.min) * map.size;
            const double y = q * inv;
            int p;
            bad |= !map.Place(__builtin_fma(__builtin_fma(-y, map.range, q), inv, y), p);
            out[i] = static_cast<Out>(p);
        }
    };
    if (m == 1.0)
        run([](double x) { return x; }); // x * 1 is x
    else
        run([m](double x) { return x * m; });
    return bad == 0;
}
template <class T, class Out> SKYVANE_FMA_TARGET bool MapFused(const LinearMapping &map, const T *v, double m, int n, Out *out)
{
    return MapFusedBody(map, v, m, n, out);
}
template <class T, class Out> SKYVANE_AVX512_TARGET bool MapFused512(const LinearMapping &map, const T *v, double m, int n, Out *out)
{
    return MapFusedBody(map, v, m, n, out);
}
#endif

} // namespace

bool TPixelMapper::MapInRange(const double *v, double m, int n, int lo, int hi, int *out) const
{
    return MapAny(v, m, n, lo, hi, out);
}

bool TPixelMapper::MapInRange(const float *v, double m, int n, int lo, int hi, int *out) const
{
    return MapAny(v, m, n, lo, hi, out);
}

bool TPixelMapper::MapInRange(const double *v, double m, int n, int lo, int hi, std::int16_t *out) const
{
    return MapAny(v, m, n, std::max(lo, INT16_MIN + 1), std::min(hi, INT16_MAX + 1), out);
}

bool TPixelMapper::MapHundredthsInRange(const std::int16_t *h, double m, int n, int lo, int hi, int *out) const
{
    return MapHundredths(h, m, n, lo, hi, out);
}

bool TPixelMapper::MapHundredthsInRange(const std::int16_t *h, double m, int n, int lo, int hi,
                                        std::int16_t *out) const
{
    return MapHundredths(h, m, n, std::max(lo, INT16_MIN + 1), std::min(hi, INT16_MAX + 1), out);
}

bool THundredthsPixels::Build(const TPixelMapper &map, double m, std::int16_t least, std::int16_t most, int lo, int hi)
{
    table_.clear();
    const int levels = most - least + 1;
    if (levels <= 0) return false;
    std::vector<double> values(static_cast<size_t>(levels));
    for (int k = 0; k < levels; ++k) values[static_cast<size_t>(k)] = sky::HundredthsValue(static_cast<std::int16_t>(least + k));
    table_.resize(static_cast<size_t>(levels));
    if (!map.MapInRange(values.data(), m, levels, lo, hi, table_.data())) {
        table_.clear();
        return false;
    }
    least_ = least;
    return true;
}

bool THundredthsPixels::BuildFor(const TPixelMapper &map, double m, const std::int16_t *h, int n, int lo, int hi)
{
    table_.clear();
    // A long run holds far fewer distinct levels than values: each level between its extremes
    // is mapped once, and the run looked up.
    if (n < 1 << 14) return false;
    std::int16_t least = 0, most = 0;
    sky::HundredthsExtremes(h, static_cast<size_t>(n), least, most);
    return (most - least + 1) * 4 <= n && Build(map, m, least, most, lo, hi);
}

template <class Out>
bool TPixelMapper::MapHundredths(const std::int16_t *h, double m, int n, int lo, int hi, Out *out) const
{
    if (n <= 0) return true;
    THundredthsPixels table;
    if (table.BuildFor(*this, m, h, n, lo, hi)) {
        table.Map(h, n, out);
        return true;
    }
    // Spelled out a piece at a time into doubles that stay in the cache, then mapped as doubles:
    // the very pixels the doubles give.
    return sky::ForHundredthsPieces(h, static_cast<size_t>(n), [&](const double *v, size_t a, size_t k) {
        return MapAny(v, m, static_cast<int>(k), lo, hi, out + a);
    });
}

template <class T, class Out> bool TPixelMapper::MapAny(const T *v, double m, int n, int lo, int hi, Out *out) const
{
    if (log_ || range_ == 0) {
        bool ok = true;
        for (int i = 0; i < n; ++i) {
            const int p = (*this)(static_cast<double>(v[i]) * m);
            ok &= p != OffPixel && p >= lo && p < hi;
            out[i] = static_cast<Out>(p);
        }
        return ok;
    }
    const bool forward = horizontal_ != inverted_;
    const LinearMapping map{forward ? double(start_) : double(end_), forward ? 1.0 : -1.0, min_, double(size_),
                            range_, double(lo), double(hi)};
#if SKYVANE_HAS_FMA_TARGET
    if (CpuHasFma() && std::isnormal(range_) && std::isnormal(1.0 / range_))
        return CpuHasAvx512() ? MapFused512(map, v, m, n, out) : MapFused(map, v, m, n, out);
#endif
    return MapDividing(map, v, m, n, out);
}

// ---------------------------------------------------------------------------------------------
// Pixel surface

bool TPixelSurface::Attach(TCanvas3D &canvas)
{
    bits_ = nullptr;
    auto *cc = dynamic_cast<TChartCanvas3D *>(&canvas);
    if (!cc || !cc->InFrame() || cc->Monochrome() || cc->IsMetafile()) return false;
    QPainter *p = cc->Painter();
    const QImage *buffer = cc->BackBuffer();
    if (!p || !buffer || !p->isActive() || p->device() != static_cast<const QPaintDevice *>(buffer)) return false;
    auto *img = static_cast<QImage *>(p->device()); // the canvas's own back buffer
    if (img->format() != QImage::Format_RGB32 || !img->isDetached() || img->devicePixelRatio() != 1.0) return false;
    if (p->worldTransform().type() != QTransform::TxNone || p->opacity() != 1.0) return false;
    QRect clip = img->rect();
    if (p->hasClipping()) {
        const QRegion region = p->clipRegion();
        if (region.rectCount() > 1) return false;
        clip &= region.boundingRect();
    }
    width_ = img->width();
    height_ = img->height();
    stride_ = img->bytesPerLine() / static_cast<std::ptrdiff_t>(sizeof(QRgb));
    clip_ = clip;
    bits_ = reinterpret_cast<QRgb *>(img->bits());
    return true;
}

void TPixelSurface::VerticalLine(int x, int y0, int y1, QRgb rgb)
{
    if (x < clip_.left() || x > clip_.right()) return;
    const int top = std::max(std::min(y0, y1), clip_.top());
    const int bottom = std::min(std::max(y0, y1) - 1, clip_.bottom());
    QRgb *p = bits_ + static_cast<std::ptrdiff_t>(top) * stride_ + x;
    for (int y = top; y <= bottom; ++y, p += stride_)
        *p = rgb;
}

void TPixelSurface::HorizontalLine(int x0, int x1, int y, QRgb rgb)
{
    if (y < clip_.top() || y > clip_.bottom()) return;
    const int left = std::max(std::min(x0, x1), clip_.left());
    const int right = std::min(std::max(x0, x1) - 1, clip_.right());
    QRgb *p = bits_ + static_cast<std::ptrdiff_t>(y) * stride_;
    for (int x = left; x <= right; ++x)
        p[x] = rgb;
}

namespace {

int FixedDiv16(int a, int b) { return static_cast<int>(static_cast<std::int64_t>(a) * 65536 / b); }

} // namespace

void TPixelSurface::Line(int ax, int ay, int bx, int by, QRgb rgb)
{
    if (ax == bx) {
        VerticalLine(ax, ay, by, rgb);
        return;
    }
    if (ay == by) {
        HorizontalLine(ax, bx, ay, rgb);
        return;
    }
    // The painter's aliased one-pixel line: cut to the image (one pixel beyond its edges) in
    // floating point, then stepped along the major axis in 26.6 and 16.16 fixed point. Pixels
    // run from the smaller end up to, not including, the larger one, whichever way the line
    // was drawn; the clip rectangle is applied per pixel.
    double x1 = ax, y1 = ay, x2 = bx, y2 = by;
    const double xmin = -1, xmax = width_ + 1, ymin = -1, ymax = height_ + 1;
    if (x1 < xmin) {
        if (x2 <= xmin) return;
        y1 += (y2 - y1) / (x2 - x1) * (xmin - x1);
        x1 = xmin;
    } else if (x1 > xmax) {
        if (x2 >= xmax) return;
        y1 += (y2 - y1) / (x2 - x1) * (xmax - x1);
        x1 = xmax;
    }
    if (x2 < xmin) {
        y2 += (y2 - y1) / (x2 - x1) * (xmin - x2);
        x2 = xmin;
    } else if (x2 > xmax) {
        y2 += (y2 - y1) / (x2 - x1) * (xmax - x2);
        x2 = xmax;
    }
    if (y1 < ymin) {
        if (y2 <= ymin) return;
        x1 += (x2 - x1) / (y2 - y1) * (ymin - y1);
        y1 = ymin;
    } else if (y1 > ymax) {
        if (y2 >= ymax) return;
        x1 += (x2 - x1) / (y2 - y1) * (ymax - y1);
        y1 = ymax;
    }
    if (y2 < ymin) {
        x2 += (x2 - x1) / (y2 - y1) * (ymin - y2);
        y2 = ymin;
    } else if (y2 > ymax) {
        x2 += (x2 - x1) / (y2 - y1) * (ymax - y2);
        y2 = ymax;
    }
    int fx1 = static_cast<int>(x1 * 64.), fy1 = static_cast<int>(y1 * 64.);
    int fx2 = static_cast<int>(x2 * 64.), fy2 = static_cast<int>(y2 * 64.);
    const int dx = std::abs(fx2 - fx1), dy = std::abs(fy2 - fy1);
    if (dx < dy) {
        if (fy1 > fy2) {
            std::swap(fy1, fy2);
            std::swap(fx1, fx2);
        }
        const int xinc = FixedDiv16(fx2 - fx1, fy2 - fy1);
        int x = fx1 * (1 << 10);
        int y = (fy1 + 32) >> 6;
        const int ys = (fy2 + 32) >> 6;
        const int round = xinc > 0 ? 32 : 0;
        if (y == ys) return;
        x += ((y * (1 << 6)) + round - fy1) * xinc >> 6;
        do {
            Put(x >> 16, y, rgb);
            x += xinc;
        } while (++y < ys);
    } else {
        if (dx == 0) return;
        if (fx1 > fx2) {
            std::swap(fx1, fx2);
            std::swap(fy1, fy2);
        }
        const int yinc = FixedDiv16(fy2 - fy1, fx2 - fx1);
        int y = fy1 * (1 << 10);
        int x = (fx1 + 32) >> 6;
        const int xs = (fx2 + 32) >> 6;
        const int round = yinc > 0 ? 32 : 0;
        if (x == xs) return;
        y += ((x * (1 << 6)) + round - fx1) * yinc >> 6;
        do {
            Put(x, y >> 16, rgb);
            y += yinc;
        } while (++x < xs);
    }
}

TPixelSurface::Placement TPixelSurface::Place(const TMarkerStamp &stamp, int x, int y) const
{
    if (stamp.ink.isNull()) return Outside; // draws nothing anywhere
    const QRect ink = stamp.ink.translated(x, y);
    // Line ends lie up to one pixel beyond the ink and the painter cuts lines one pixel beyond
    // the image: three pixels from the border nothing is cut differently.
    const QRect room = ink.adjusted(-3, -3, 3, 3);
    if (!clip_.intersects(room)) return Outside;
    if (!Contains(room)) return Across;
    if (clip_.contains(ink)) return Inside;
    if (!clip_.intersects(ink)) return Outside;
    return Across;
}

void TPixelSurface::Read(const QRect &r, std::vector<QRgb> &out) const
{
    out.resize(static_cast<size_t>(r.width()) * static_cast<size_t>(r.height()));
    QRgb *o = out.data();
    for (int y = r.top(); y <= r.bottom(); ++y, o += r.width())
        std::copy_n(bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + r.left(), r.width(), o);
}

void TPixelSurface::Write(const QRect &r, const std::vector<QRgb> &in)
{
    const QRgb *i = in.data();
    for (int y = r.top(); y <= r.bottom(); ++y, i += r.width())
        std::copy_n(i, r.width(), bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + r.left());
}

void TPixelSurface::Fill(const QRect &r, QRgb rgb)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::fill_n(bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + r.left(), r.width(), rgb);
}
