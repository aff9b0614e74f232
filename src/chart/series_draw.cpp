// Series rendering: the visible range, line and point series (segments, null points, markers),
// the fast line, margins and the hit test.
#include "chart/pixel_surface.h"
#include "chart/series.h"
#include "platform/vector_clones.h"

#include <QPainter>
#include <QRegion>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <utility>

namespace {

constexpr int Off = TPixelMapper::OffPixel;
// A pixel row of a dense pass: the device's coordinate range fits 16 bits.
using PixelRow = std::int16_t;

// Sets the canvas pen from a chart pen. While printing, a styled pen one pixel wide becomes a
// width-0 pen (the printer's thinnest line).
void SetSeriesPen(TCanvas3D &canvas, const TChartPen &pen, bool printing)
{
    canvas.SetPen(pen);
    if (printing && pen.Visible() && pen.Style() != psSolid && pen.Width() == 1) canvas.Pen().Width = 0;
}

// A chart pen the direct routines draw exactly: visible, solid, one pixel, copying.
bool IsPlainPen(const TChartPen &pen)
{
    return pen.Visible() && pen.Style() == psSolid && pen.Width() <= 1 && pen.Mode() == pmCopy && !pen.SmallDots();
}

bool IsCrossStyle(int style) { return style == psCross || style == psDiagCross || style == psStar; }

// Pointer pen and brush for a marker in colour c (clDefault takes c).
void ApplyPointerTools(TCanvas3D &canvas, const TSeriesPointer &pointer, TColor c, bool printing)
{
    SetSeriesPen(canvas, pointer.Pen(), printing);
    if (pointer.Pen().Visible() && pointer.Pen().Color() == clDefault) canvas.Pen().Color = c;
    TCanvasBrush &b = canvas.Brush();
    b.Style = pointer.Brush().Style();
    b.Bitmap = pointer.Brush().Bitmap();
    b.Color = pointer.Brush().Color() == clDefault ? c : pointer.Brush().Color();
}

// Where the canvas pen position ends after a marker shape (only the line styles move it).
bool MarkerPenEnd(int style, int x, int y, int h, int v, int &px, int &py)
{
    switch (style) {
    case psCross: px = x + h + 1; py = y; return true;
    case psDiagCross:
    case psStar: px = x + h + 1; py = y - v - 1; return true;
    default: return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Visible range

void TChartSeries::UpdateVisibleRange()
{
    firstShown_ = lastShown_ = -1;
    const int n = PointCount();
    if (n == 0) return;
    if (!calcVisiblePoints_ || xValues_.Order() == loNone || !chart_ || !resolvedHorizAxis_) {
        firstShown_ = 0;
        lastShown_ = n - 1;
        return;
    }
    const TRect plot = chart_->PlotRect();
    const bool inverted = resolvedHorizAxis_->Inverted();
    const double lo = XValueAtPixel(inverted ? plot.Right : plot.Left);
    const double hi = XValueAtPixel(inverted ? plot.Left : plot.Right);
    const TStoredValues x = xValues_.Stored(); // compact forms read as they are
    const double m = xValues_.Multiplier();
    // The first index from `from` on whose value reaches v, or -1. Ascending finite values
    // (times a positive multiplier) are searched by halving; otherwise a linear scan, where NaN
    // values compare false and are passed over.
    const bool sorted = m > 0 && std::isfinite(m) && xValues_.IsAscending() && xValues_.AllFinite();
    auto reaching = [&](int from, double v) {
        if (sorted) {
            // the partition point of "not reaching v"
            int a = from, b = n;
            while (a < b) {
                const int mid = a + (b - a) / 2;
                if (!(x[mid] * m >= v))
                    a = mid + 1;
                else
                    b = mid;
            }
            return a == n ? -1 : a;
        }
        for (int i = from; i < n; ++i)
            if (x[i] * m >= v) return i;
        return -1;
    };
    const int first = reaching(0, lo);
    if (first < 0) return;
    int last = -1;
    if (x[n - 1] * m <= hi) {
        last = n - 1;
    } else {
        last = reaching(first, hi);
        if (last < 0) {
            last = n - 1; // nothing reaches the right edge (a NaN at the end): draw to the end
        } else if (!drawBetweenPoints_ && x[last] * m > hi) {
            if (last == first) return; // the only candidate lies beyond the right edge
            --last;
        }
    }
    firstShown_ = first;
    lastShown_ = last;
}

// ---------------------------------------------------------------------------------------------
// Line and point series

namespace {

// Draws through the canvas: what every frame that is not written directly uses.
struct CanvasRenderer {
    TCustomSeries &s;
    TCanvas3D &c;
    bool printing;

    void PointTools(TColor col)
    {
        c.Pen().Color = clBlack;
        c.Brush().Color = col;
    }
    void Segment(int x0, int y0, int x1, int y1, TColor col)
    {
        SetSeriesPen(c, s.LinePen(), printing);
        c.Brush().Style = bsClear;
        c.Pen().Color = col;
        if (!s.Stairs()) {
            c.DrawSegment(x0, y0, x1, y1);
            return;
        }
        c.MoveTo(x0, y0);
        if (s.InvertedStairs())
            c.LineTo(x0, y1);
        else
            c.LineTo(x1, y0);
        c.LineTo(x1, y1);
    }
    void Marker(int index, int x, int y, TColor col) { s.DrawPointer(index, x, y, col); }
    void MarkerStyled(int style, int x, int y, TColor col)
    {
        ApplyPointerTools(c, s.Pointer(), col, printing);
        DrawMarkerShape(c, style, x, y, s.Pointer().HorizSize(), s.Pointer().VertSize(), col);
    }
    void Finish() {}
};

// Writes a buffered frame directly; falls back to the canvas for segments and markers it cannot
// reproduce exactly. Leaves the canvas's pen, brush and pen position as the canvas path would.
class DirectRenderer {
public:
    DirectRenderer(TCustomSeries &s, TCanvas3D &c, TPixelSurface &surface)
        : canvas_{s, c, false}, s_(s), c_(c), surface_(surface), lines_(surface)
    {
        const TChartPen &lp = s.LinePen();
        linesVisible_ = lp.Visible();
        linesDirect_ = IsPlainPen(lp);
        stairs_ = s.Stairs();
        invertedStairs_ = s.InvertedStairs();

        const TSeriesPointer &p = s.Pointer();
        h_ = p.HorizSize();
        v_ = p.VertSize();
        style_ = p.Style();
        const TChartPen &pp = p.Pen();
        const bool penMode = pp.Visible() ? pp.Mode() == pmCopy
                                          : c.Pen().Mode == pmCopy && (!s.DrawLine() || !lp.Visible() || lp.Mode() == pmCopy);
        const bool penOk = !pp.Visible() || pp.Style() == psClear ||
                           (pp.Style() == psSolid && pp.Width() <= 1 && !pp.SmallDots());
        const TChartBrush &pb = p.Brush();
        const bool brushOk = (pb.Style() == bsSolid || pb.Style() == bsClear) && pb.Bitmap().isNull();
        markersDirect_ = penMode && penOk && brushOk;
        penVisible_ = pp.Visible() && pp.Style() != psClear;
        penDefault_ = pp.Color() == clDefault;
        penColor_ = pp.Color();
        penWidth_ = pp.Width();
        brushStyle_ = pb.Style();
        brushDefault_ = pb.Color() == clDefault;
        brushColor_ = pb.Color();
    }

    void PointTools(TColor col)
    {
        log_.any = true;
        log_.pointColor = col;
        log_.segment = false;
        log_.markers = 0;
    }

    void Segment(int x0, int y0, int x1, int y1, TColor col)
    {
        log_.segment = true;
        log_.segmentColor = col;
        penMoved_ = true;
        penX_ = x1;
        penY_ = y1;
        lastStamp_ = nullptr;
        if (!linesVisible_ || !drawing_) return; // a clear pen draws nothing
        if (!linesDirect_) {
            lines_.Flush();
            canvas_.Segment(x0, y0, x1, y1, col);
            return;
        }
        const QRgb rgb = Rgb(col);
        if (!stairs_) {
            lines_.Segment(x0, y0, x1, y1, rgb);
        } else if (invertedStairs_) {
            if (y0 != y1) lines_.Segment(x0, y0, x0, y1, rgb);
            if (x0 != x1) lines_.Segment(x0, y1, x1, y1, rgb);
        } else {
            if (x0 != x1) lines_.Segment(x0, y0, x1, y0, rgb);
            if (y0 != y1) lines_.Segment(x1, y0, x1, y1, rgb);
        }
    }

    void Marker(int index, int x, int y, TColor col)
    {
        lines_.Flush();
        const int style = s_.OnGetPointerStyle ? s_.OnGetPointerStyle(&s_, index) : style_;
        if (log_.markers < 2) log_.marker[log_.markers++] = {col, style, x, y};
        if (!drawing_) return;
        if (!markersDirect_) {
            lastStamp_ = nullptr;
            canvas_.MarkerStyled(style, x, y, col);
            return;
        }
        const size_t which = StampIndex(style, col);
        const TMarkerStamp *stamp = &stamps_[which].second;
        if (stamp == lastStamp_ && x == lastStampX_ && y == lastStampY_) return; // same pixels again
        lastStamp_ = stamp;
        lastStampX_ = x;
        lastStampY_ = y;
        if (!stamp->usable) {
            canvas_.MarkerStyled(style, x, y, col);
            return;
        }
        switch (surface_.Place(*stamp, x, y)) {
        case TPixelSurface::Inside: surface_.Blit(*stamp, x, y); break;
        case TPixelSurface::Outside: break;
        case TPixelSurface::Across: Across(which, style, x, y, col); break;
        }
    }

    // Markers of colour `col` at column x, one at row low + k for each set bit k of `rows`, but
    // not at row `skip` nor outside rows base .. base + span - 1 (where UniformInk holds, so the
    // order does not matter). Stacked markers whose stamp allows it (see CentredRows) and that lie
    // inside the clip are drawn as their union, one run a row; the rest one by one.
    void MarkerRows(int index, int x, int low, const std::vector<std::uint64_t> &rows, int skip, int base,
                    unsigned span, TColor col)
    {
        auto each = [&](auto &&f) {
            for (size_t w = 0; w < rows.size(); ++w)
                for (std::uint64_t m = rows[w]; m; m &= m - 1) {
                    const int y = low + static_cast<int>(64 * w) + std::countr_zero(m);
                    if (y != skip && static_cast<unsigned>(y - base) < span) f(y);
                }
        };
        auto taken = [&](int y) {
            const unsigned d = static_cast<unsigned>(y - low);
            return y != skip && static_cast<unsigned>(y - base) < span && d < 64 * rows.size() &&
                   ((rows[d >> 6] >> (d & 63)) & 1);
        };
        // The usual column spans fewer than 64 rows: its markers' rows are then one word, with
        // the skipped row and those outside the band cleared, and no loop over them is needed.
        std::uint64_t word = 0;
        int first = INT_MAX, last = INT_MIN;
        if (rows.size() == 1) {
            word = rows[0];
            if (static_cast<unsigned>(skip - low) < 64) word &= ~(std::uint64_t(1) << (skip - low));
            const int from = base - low, to = base + static_cast<int>(span) - low; // bits kept: from .. to - 1
            if (from > 0) word = from >= 64 ? 0 : word & (~std::uint64_t(0) << from);
            if (to < 64) word = to <= 0 ? 0 : word & (~std::uint64_t(0) >> (64 - to));
            if (word != 0) {
                first = low + std::countr_zero(word);
                last = low + 63 - std::countl_zero(word);
            }
        } else {
            each([&](int y) {
                first = std::min(first, y);
                last = std::max(last, y);
            });
        }
        if (first > last) return;
        const TMarkerStamp *stamp = markersDirect_ && drawing_ ? &stamps_[StampIndex(style_, col)].second : nullptr;
        if (!stamp || !stamp->CentredRows() || first == last || surface_.Place(*stamp, x, first) != TPixelSurface::Inside ||
            surface_.Place(*stamp, x, last) != TPixelSurface::Inside) {
            each([&](int y) { Marker(index, x, y, col); });
            return;
        }
        lines_.Flush();
        if (log_.markers < 2)
            each([&](int y) {
                if (log_.markers < 2) log_.marker[log_.markers++] = {col, style_, x, y};
            });
        lastStamp_ = nullptr;
        const QRgb rgb = Rgb(col);
        const int top = stamp->ink.top(), bottom = stamp->ink.bottom();
        const std::vector<TMarkerStamp::RowGroup> &groups = stamp->rowGroups;
#ifdef __SIZEOF_INT128__
        // The rows each group of the marker's rows reaches, as bits from row first + top: a few
        // shifts of the markers' rows, then one run a row.
        using Mask = unsigned __int128;
        constexpr size_t kGroups = 8;
        if (last - first + (bottom - top) < 128 && groups.size() <= kGroups) {
            Mask markers = 0;
            if (rows.size() == 1)
                markers = word >> (first - low);
            else
                each([&](int y) { markers |= Mask(1) << (y - first); });
            std::array<Mask, kGroups> reach{};
            Mask any = 0;
            for (size_t g = 0; g < groups.size(); ++g) {
                for (int k : groups[g].rows) reach[g] |= markers << k;
                any |= reach[g];
            }
            for (Mask m = any; m; m &= m - 1) {
                const auto low64 = static_cast<std::uint64_t>(m);
                const int k = low64 ? std::countr_zero(low64) : 64 + std::countr_zero(static_cast<std::uint64_t>(m >> 64));
                int left = INT_MAX, right = INT_MIN;
                for (size_t g = 0; g < groups.size(); ++g)
                    if ((reach[g] >> k) & 1) {
                        left = std::min(left, groups[g].left);
                        right = std::max(right, groups[g].right);
                    }
                surface_.Span(x + left, x + right, first + top + k, rgb);
            }
            return;
        }
#endif
        // Row by row: the groups with a marker that reaches it.
        for (int row = first + top; row <= last + bottom; ++row) {
            int left = INT_MAX, right = INT_MIN;
            for (const TMarkerStamp::RowGroup &g : groups)
                if (std::any_of(g.rows.begin(), g.rows.end(), [&](int k) { return taken(row - top - k); })) {
                    left = std::min(left, g.left);
                    right = std::max(right, g.right);
                }
            if (left <= right) surface_.Span(x + left, x + right, row, rgb);
        }
    }

    // Whether every pixel this series' segments and markers of colour `col` set takes that one
    // colour: then what a column shows is the union of their pixels, in any order.
    bool UniformInk(TColor col, bool markers)
    {
        if (!markers) return true;
        if (!markersDirect_ || s_.OnGetPointerStyle) return false;
        const TMarkerStamp &stamp = stamps_[StampIndex(style_, col)].second;
        const QRgb rgb = Rgb(col);
        return stamp.usable && std::all_of(stamp.colours.begin(), stamp.colours.end(), [rgb](QRgb p) { return p == rgb; });
    }

    // With drawing off, calls only record what the canvas tools and pen position become (to
    // replay the last point after its pixels were drawn some other way).
    void SetDrawing(bool on) { drawing_ = on; }
    // Whether the column pass may stand in for the point-by-point one: lines and markers written
    // directly, and drawing a marker twice at one place gives the same pixels as drawing it once.
    bool Dense() const { return (!linesVisible_ || linesDirect_) && markersDirect_ && !stairs_; }

    // Draws what is pending and leaves the canvas tools as the last point set them.
    void Finish()
    {
        lines_.Flush();
        if (log_.any) {
            canvas_.PointTools(log_.pointColor);
            if (log_.segment) {
                SetSeriesPen(c_, s_.LinePen(), false);
                c_.Brush().Style = bsClear;
                c_.Pen().Color = log_.segmentColor;
            }
            for (int k = 0; k < log_.markers; ++k) {
                const LoggedMarker &m = log_.marker[k];
                ApplyPointerTools(c_, s_.Pointer(), m.color, false);
                if (IsCrossStyle(m.style)) c_.Pen().Color = m.color;
                if (MarkerPenEnd(m.style, m.x, m.y, h_, v_, penX_, penY_)) penMoved_ = true;
            }
        }
        if (penMoved_) c_.MoveTo(penX_, penY_);
    }

private:
    struct StampKey {
        int style;
        TColor pen, brush, color;
        bool operator==(const StampKey &) const = default;
    };
    struct LoggedMarker {
        TColor color;
        int style, x, y;
    };

    QRgb Rgb(TColor col)
    {
        if (col != rgbOf_) {
            rgbOf_ = col;
            rgb_ = ColorToRGB(col);
        }
        return rgb_;
    }

    size_t StampIndex(int style, TColor col)
    {
        const StampKey key{style, penVisible_ ? (penDefault_ ? col : penColor_) : 0, brushDefault_ ? col : brushColor_,
                           col};
        if (last_ < stamps_.size() && stamps_[last_].first == key) return last_;
        for (size_t k = 0; k < stamps_.size(); ++k)
            if (stamps_[k].first == key) return last_ = k;
        if (stamps_.size() >= 256) { // colours vary point by point: keep it bounded
            stamps_.clear();
            across_.clear();
        }
        TCanvasPen pen{key.pen, penVisible_ ? psSolid : psClear, penWidth_, pmCopy, false};
        TCanvasBrush brush;
        brush.Color = key.brush;
        brush.Style = brushStyle_;
        stamps_.emplace_back(key, RenderMarkerStamp(pen, brush, style, h_, v_, col));
        lastStamp_ = nullptr; // addresses may have moved
        return last_ = stamps_.size() - 1;
    }

    // A marker across the clip's edge: what the painter draws there, captured once per stamp
    // and position on the frame itself (over a black and a white patch, which is then restored)
    // and copied after that. Dense data puts many points on the same few edge positions.
    void Across(size_t index, int style, int x, int y, TColor col)
    {
        const std::uint64_t key = (static_cast<std::uint64_t>(index) << 48) |
                                  (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x) & 0xFFFFFF) << 24) |
                                  (static_cast<std::uint32_t>(y) & 0xFFFFFF);
        auto it = across_.find(key);
        if (it == across_.end()) {
            const QRect box = stamps_[index].second.ink.translated(x, y).adjusted(-3, -3, 3, 3);
            if (!surface_.Contains(box)) { // Place gives Across near the border: just draw it
                canvas_.MarkerStyled(style, x, y, col);
                return;
            }
            if (across_.size() >= 4096) across_.clear();
            std::vector<QRgb> saved, onBlack, onWhite;
            surface_.Read(box, saved);
            surface_.Fill(box, 0xFF000000u);
            canvas_.MarkerStyled(style, x, y, col);
            surface_.Read(box, onBlack);
            surface_.Fill(box, 0xFFFFFFFFu);
            canvas_.MarkerStyled(style, x, y, col);
            surface_.Read(box, onWhite);
            surface_.Write(box, saved);
            it = across_.emplace(key, StampFromPair(onBlack.data(), onWhite.data(), box.width(), box.height(),
                                                    x - box.left(), y - box.top()))
                     .first;
        }
        if (it->second.usable)
            surface_.Blit(it->second, x, y);
        else
            canvas_.MarkerStyled(style, x, y, col);
    }

    CanvasRenderer canvas_;
    TCustomSeries &s_;
    TCanvas3D &c_;
    TPixelSurface &surface_;
    TPolylineWriter lines_;
    bool linesVisible_ = false, linesDirect_ = false, stairs_ = false, invertedStairs_ = false;
    bool markersDirect_ = false, penVisible_ = false, penDefault_ = false, brushDefault_ = false;
    TColor penColor_ = clBlack, brushColor_ = clDefault;
    int penWidth_ = 1;
    TBrushStyle brushStyle_ = bsSolid;
    int h_ = 1, v_ = 1, style_ = psRectangle;
    std::vector<std::pair<StampKey, TMarkerStamp>> stamps_;
    std::unordered_map<std::uint64_t, TMarkerStamp> across_;
    size_t last_ = 0;
    const TMarkerStamp *lastStamp_ = nullptr;
    int lastStampX_ = 0, lastStampY_ = 0;
    TColor rgbOf_ = clDefault;
    QRgb rgb_ = ColorToRGB(clDefault);
    bool penMoved_ = false;
    int penX_ = 0, penY_ = 0;
    bool drawing_ = true;
    struct {
        bool any = false;
        TColor pointColor = clBlack;
        bool segment = false;
        TColor segmentColor = clBlack;
        int markers = 0;
        LoggedMarker marker[2];
    } log_;
};

} // namespace

// One drawing pass of a line or point series over points first..last.
class TCustomSeriesPass {
public:
    TCustomSeriesPass(TCustomSeries &s)
        : s_(s), mx_(s.ResolvedHorizAxis()), my_(s.ResolvedVertAxis()), x_(s.XValues().Stored()),
          y_(s.YValues().Stored()), xm_(s.XValues().Multiplier()), ym_(s.YValues().Multiplier()),
          first_(s.FirstShown()), last_(std::min(s.LastShown(), s.PointCount() - 1)), pointer_(s.Pointer().Visible()),
          lines_(s.DrawLine())
    {
    }

    // Points from..to, carrying the series' previous-point memory.
    template <class R> void Run(R &r, int from, int to)
    {
        int px = s_.prevX_, py = s_.prevY_;
        bool have = from == first_ ? false : s_.havePrev_; // nothing drawn yet in this pass
        TColor pc = s_.prevColor_;
        for (int i = from; i <= to; ++i) Step(r, i, px, py, have, pc);
        s_.prevX_ = px;
        s_.prevY_ = py;
        s_.havePrev_ = have;
        s_.prevColor_ = pc;
    }

    // The same pixels as Run over first..last, drawn column by column: in a pixel column the
    // segments between its points are vertical, and of the rows several of them cover only the
    // last one to cover a row shows; of the markers drawn at one place, only the last. So each
    // column draws its join from the column before, the rows each segment is the last to cover,
    // and each marker position once, at its last turn, all in the original order. False (and
    // nothing drawn) when the points need the point-by-point pass.
    bool RunDense(DirectRenderer &r, const TPixelSurface &surface);

private:
    template <class R> void Step(R &r, int i, int &px, int &py, bool &have, TColor &pc)
    {
        const TColor c = s_.PointColor(i);
        const int x = mx_(x_[i] * xm_), y = my_(y_[i] * ym_);
        // points the device cannot address are left out; the line goes on from the last one drawn
        if (x >= -32766 && x < 32767 && y >= -32766 && y < 32767) {
            r.PointTools(c);
            // no line out of a null point, nor from where an earlier paint stopped (when the
            // first visible point was left out)
            if (pc == clNone || (!have && i != first_)) {
                px = x;
                py = y;
            }
            if (i == first_) {
                if (i > 0) {
                    // enter from the plot edge, at the height where the line from the point before
                    // crosses it
                    const TRect plot = s_.ParentChart()->PlotRect();
                    const int ex = s_.ResolvedHorizAxis()->Inverted() ? plot.Right : plot.Left;
                    const double x0 = x_[i - 1] * xm_, x1 = x_[i] * xm_;
                    const double y0 = y_[i - 1] * ym_, y1 = y_[i] * ym_;
                    int ey;
                    if (x1 == x0 || s_.Stairs())
                        ey = my_(y0);
                    else
                        ey = my_(y0 + (y1 - y0) * (s_.XValueAtPixel(ex) - x0) / (x1 - x0));
                    px = ex;
                    py = ey;
                    if (ey != Off && !s_.IsNullPoint(i - 1)) Segment(r, px, py, x, y, c);
                }
                if (i == last_ && pointer_ && c != clNone) r.Marker(i, x, y, c);
            } else {
                Segment(r, px, py, x, y, c);
                if (pointer_) {
                    // each marker after the segment leaving its point
                    if (pc != clNone && have) r.Marker(i - 1, px, py, pc);
                    if (i == last_ && c != clNone) r.Marker(i, x, y, c);
                }
            }
            px = x;
            py = y;
            have = true;
        }
        pc = c;
    }

    template <class R> void Segment(R &r, int px, int py, int x, int y, TColor c)
    {
        if ((x != px || y != py) && c != clNone && lines_) r.Segment(px, py, x, y, c);
    }

    TCustomSeries &s_;
    const TPixelMapper mx_, my_;
    const TStoredValues x_, y_; // compact forms (runs, hundredths) are read as they are
    const double xm_, ym_;
    const int first_, last_;
    const bool pointer_, lines_;
};

namespace {

// Pixel rows (16-bit: the device's coordinate range) of runs of lists' values, kept for the
// frames and series that read the same values through the same mapping again: the trace, its
// copy on the other axis and the peaks each keep theirs from one frame to the next. Window
// thread only, as every chart object.
class RowCache {
public:
    enum State { Stale, Filling, Mapped, LeftOut };
    struct Entry {
        std::vector<PixelRow> rows; // reused between frames: a million points should not fault memory in
        std::uint64_t key = 0;
        size_t offset = 0;
        int first = 0, last = -1;
        double m = 0;
        std::optional<TPixelMapper> mapper;
        State state = Stale;
        unsigned used = 0; // when last read or filled: the entry read longest ago is refilled

        // Whether the rows of values from..to are known, or that one of them is left out.
        bool Holds(const TPixelMapper &my, const TChartValueList &list, int from, int to) const
        {
            const std::uint64_t k = list.ContentKey();
            if (k == 0 || key != k || offset != list.ContentOffset() || m != list.Multiplier() || !mapper ||
                !mapper->SameMapping(my))
                return false;
            if (state == Mapped) return first <= from && to <= last;
            return state == LeftOut && first == from && last == to; // a part may still map
        }
        // rows[i - from] for i from `from` on
        const PixelRow *From(int from) const { return rows.data() + (from - first); }
    };

    static RowCache &Instance()
    {
        static RowCache cache;
        return cache;
    }
    Entry *Find(const TPixelMapper &my, const TChartValueList &list, int from, int to)
    {
        for (Entry &e : entries_)
            if (e.Holds(my, list, from, to)) {
                e.used = ++clock_;
                return &e;
            }
        return nullptr;
    }
    // Room for the rows of these values, as rows[i - from], in the entry read longest ago (a
    // list no lookup can find, one value held n times, gets room of its own instead); it is
    // Filling until the caller says.
    Entry &Begin(const TPixelMapper &my, const TChartValueList &list, int from, int to)
    {
        Entry *e = &entries_[0];
        for (Entry &c : entries_)
            if (c.used < e->used) e = &c;
        if (list.ContentKey() == 0) e = &unkeyed_;
        e->rows.resize(static_cast<size_t>(to - from + 1));
        e->key = list.ContentKey();
        e->offset = list.ContentOffset();
        e->first = from;
        e->last = to;
        e->m = list.Multiplier();
        e->mapper.emplace(my);
        e->state = Filling;
        e->used = ++clock_;
        return *e;
    }

    std::uint64_t mapped = 0; // values mapped into rows so far
    bool kept = true;         // see SetPixelRowsKept

private:
    std::array<Entry, 3> entries_;
    Entry unkeyed_;
    unsigned clock_ = 0;
};

// Whether every value of the list maps inside the device's range: finite values on a linear axis
// map monotonically, so the extremes decide (known without a pass when the values came with
// their facts).
bool RowsInRange(const TPixelMapper &my, const TChartValueList &list)
{
    if (!my.Linear() || !list.AllFinite() || !std::isfinite(list.Multiplier())) return false;
    const int a = my(list.Lowest()), b = my(list.Highest());
    auto in = [](int p) { return p != Off && p >= -32766 && p < 32767; };
    return in(a) && in(b);
}

// Pixel rows of a list's values first..last (multiplied by its multiplier), as
// rows[i - first]; null when a point is left out by the point-by-point pass (not finite, or
// beyond the device's coordinate range).
const PixelRow *MapRows(const TPixelMapper &my, const TChartValueList &list, int first, int last)
{
    RowCache &c = RowCache::Instance();
    RowCache::Entry *e = c.Find(my, list, first, last);
    if (!e) {
        e = &c.Begin(my, list, first, last);
        c.mapped += static_cast<std::uint64_t>(last - first + 1);
        const int n = last - first + 1;
        const std::int16_t *h = list.Hundredths();
        const bool ok = h ? my.MapHundredthsInRange(h + first, list.Multiplier(), n, -32766, 32767, e->rows.data())
                          : my.MapInRange(list.Data() + first, list.Multiplier(), n, -32766, 32767, e->rows.data());
        e->state = ok ? RowCache::Mapped : RowCache::LeftOut;
    }
    return e->state == RowCache::Mapped ? e->From(first) : nullptr;
}

// The axis's mapping as it stands (the frame being drawn).
std::optional<TPixelMapper> CurrentMapping(const TCustomChartAxis *axis) { return TPixelMapper(axis); }

// The vertical mapping (by `mapperOf`) of a later series of `series` that draws the same values
// as s on another axis (the trace's copy on the other scale): one pass over the values then maps
// them for both.
template <class MapperOf>
std::optional<TPixelMapper> LaterSameValues(const TChartSeriesList &series, const TCustomSeries &s,
                                            const TPixelMapper &my, MapperOf &&mapperOf)
{
    const TChartValueList &y = s.YValues();
    bool after = false;
    for (TChartSeries *t : series) {
        if (t == &s) {
            after = true;
            continue;
        }
        const TChartValueList &ty = t->YValues();
        if (!after || !t->Active() || !ty.SharesStorageWith(y) || ty.ContentOffset() != y.ContentOffset() ||
            ty.Count() != y.Count() || ty.Multiplier() != y.Multiplier() || !t->ResolvedVertAxis() ||
            t->ResolvedHorizAxis() != s.ResolvedHorizAxis())
            continue;
        const std::optional<TPixelMapper> m = mapperOf(t->ResolvedVertAxis());
        if (m && m->Linear() && !m->SameMapping(my)) return m;
    }
    return std::nullopt;
}
std::optional<TPixelMapper> LaterSameValues(const TCustomSeries &s, const TPixelMapper &my)
{
    TChartHost *chart = s.ParentChart();
    if (!chart) return std::nullopt;
    return LaterSameValues(chart->SeriesList(), s, my, CurrentMapping);
}

// Pixel rows of a list's values first..last for a pass that goes column by column. When the
// list's extremes show that every value lands in range, each column's rows are mapped as the
// column comes, into the row cache, and with them the rows through `twin` (another series'
// mapping of the same values) while the column's values are at hand; rows the cache holds
// already, and values that may fall off the device, go through MapRows. Ok() is false when a
// point is left out (see MapRows).
class ColumnRows {
public:
    ColumnRows(const TPixelMapper &my, const TChartValueList &list, int first, int last,
               const std::optional<TPixelMapper> &twin = std::nullopt)
        : my_(my), values_(list.IsRuns() ? TStoredValues{list.Data(), nullptr, {}, false, 0} : list.Stored()),
          m_(list.Multiplier())
    {
        RowCache &c = RowCache::Instance();
        if (!RowsInRange(my, list) || c.Find(my, list, first, last)) {
            const PixelRow *mapped = MapRows(my, list, first, last);
            ok_ = mapped != nullptr;
            all_ = mapped ? mapped - first : nullptr;
            return;
        }
        ok_ = true;
        if (values_.hundredths) { // a table of the pixels of every level they span, where it pays
            table_.BuildFor(my, m_, values_.hundredths + first, last - first + 1, -32766, 32767);
            if (twin) twinTable_.BuildFor(*twin, m_, values_.hundredths + first, last - first + 1, -32766, 32767);
        }
        // each column into a scratch of its own size (one value held n times maps once a column)
        if (!c.kept || values_.constant) return;
        entry_ = &c.Begin(my, list, first, last);
        rows_ = entry_->rows.data() - first;
        last_ = last;
        if (twin && RowsInRange(*twin, list) && !c.Find(*twin, list, first, last)) {
            twin_ = &c.Begin(*twin, list, first, last);
            twinRows_ = twin_->rows.data() - first;
        }
    }
    // After a pass that asked for every column: the rows may serve the next frames and series.
    ~ColumnRows()
    {
        if (!done_) return;
        entry_->state = RowCache::Mapped;
        if (twin_) twin_->state = RowCache::Mapped;
    }
    bool Ok() const { return ok_; }
    // Whether the rows are mapped here, column by column (not known before).
    bool Mapping() const { return all_ == nullptr; }
    // rows[k] for k in a..b; columns come in order, from first to last
    const PixelRow *Column(int a, int b)
    {
        if (all_) return all_;
        if (!entry_) {
            scratch_.resize(static_cast<size_t>(b - a + 1));
            Map(my_, table_, a, b, scratch_.data() - a);
            return scratch_.data() - a;
        }
        Map(my_, table_, a, b, rows_); // in range, as checked
        if (twin_) Map(*twin_->mapper, twinTable_, a, b, twinRows_);
        RowCache::Instance().mapped += static_cast<std::uint64_t>(b - a + 1) * (twin_ ? 2 : 1);
        done_ = b == last_;
        return rows_;
    }
    int Row(int i) const { return all_ ? all_[i] : my_(values_[i] * m_); }

private:
    void Map(const TPixelMapper &m, const THundredthsPixels &table, int a, int b, PixelRow *rows) const
    {
        const int n = b - a + 1;
        if (values_.doubles)
            m.MapInRange(values_.doubles + a, m_, n, -32766, 32767, rows + a);
        else if (values_.constant)
            std::fill(rows + a, rows + b + 1, static_cast<PixelRow>(m(values_.constantValue * m_))); // in range
        else if (table.Built())
            table.Map(values_.hundredths + a, n, rows + a);
        else
            m.MapHundredthsInRange(values_.hundredths + a, m_, n, -32766, 32767, rows + a);
    }

    const TPixelMapper &my_;
    const TStoredValues values_;
    const double m_;
    const PixelRow *all_ = nullptr;    // all rows, known before the pass
    PixelRow *rows_ = nullptr;         // or mapped column by column into the cache
    RowCache::Entry *entry_ = nullptr; // where they go
    RowCache::Entry *twin_ = nullptr;  // and the twin mapping's, when asked for
    PixelRow *twinRows_ = nullptr;
    std::vector<PixelRow> scratch_;    // or, where rows are not kept, one column's
    THundredthsPixels table_, twinTable_; // for long runs of hundredths, where they map in range
    int last_ = -1;
    bool ok_ = false;
    bool done_ = false; // the last column was asked for
};

} // namespace

std::uint64_t RowsMapped() { return RowCache::Instance().mapped; }

void SetPixelRowsKept(bool kept) { RowCache::Instance().kept = kept; }

bool MapRowsAhead(TChartSeriesList &series,
                  const std::function<std::optional<TPixelMapper>(const TCustomChartAxis *)> &mapperOf)
{
    bool mapped = false;
    if (!RowCache::Instance().kept) return false; // the frame maps each column as it comes
    constexpr int kLarge = 1 << 16; // below this a frame maps the rows in no time itself
    constexpr int kChunk = 4096;    // values mapped for both mappings while they are at hand
    for (TChartSeries *t : series) {
        auto *s = dynamic_cast<TCustomSeries *>(t);
        if (!s || !s->Active() || s->PointCount() < kLarge || !s->ResolvedVertAxis()) continue;
        const std::optional<TPixelMapper> my = mapperOf(s->ResolvedVertAxis());
        if (!my || s->YValues().ContentKey() == 0 || !RowsInRange(*my, s->YValues())) continue;
        const int last = s->PointCount() - 1;
        ColumnRows rows(*my, s->YValues(), 0, last, LaterSameValues(series, *s, *my, mapperOf));
        if (!rows.Ok()) continue;
        for (int a = 0; a <= last; a += kChunk) rows.Column(a, std::min(a + kChunk, last + 1) - 1);
        mapped |= rows.Mapping();
    }
    return mapped;
}

namespace {

// One past the last index from i on (up to last) whose x lies in pixel column `column`, where
// point `lo` lies in it. The pixel of an ascending, finite x list never goes back, so the points
// of a column are one run and a galloping search finds its end.
template <class X> int ColumnEndFrom(const TPixelMapper &mx, const X &x, double m, int lo, int last, int column)
{
    int hi = lo + 1, step = 1;
    while (hi <= last && mx(x[hi] * m) == column) {
        lo = hi;
        step *= 2;
        hi = lo + step;
    }
    if (hi > last + 1) hi = last + 1;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (mx(x[mid] * m) == column)
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

// The same from point i, the column's first, starting from a guess of its count (evenly spread
// points fill every column alike, give or take one): the count of the column before, which
// `guess` then takes from this one.
template <class X>
int ColumnEnd(const TPixelMapper &mx, const X &x, double m, int i, int last, int column, int &guess)
{
    int from = i; // a point known to lie in the column
    const int g = i + guess - 1;
    if (guess > 1 && g <= last) {
        if (mx(x[g] * m) == column) {
            from = g;
        } else if (mx(x[g - 1] * m) == column) {
            --guess; // one fewer than the column before
            return g;
        }
    }
    const int end = ColumnEndFrom(mx, x, m, from, last, column);
    guess = end - i;
    return end;
}

} // namespace

namespace {

struct RowRun {
    int seq, from, to; // rows from..to of the column
};

// The points of a column, from its last (b) back to its first (a), whose marker no later point
// of the column covers: seen[row - base] == column marks a row already taken. The last point's
// marker is drawn by the caller. Kept apart from the drawing so that its state stays in
// registers: a million-point frame spends its time here.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void ColumnMarks(const PixelRow *yr, int a, int b, int base, unsigned span, unsigned column, unsigned *seen,
                 std::vector<int> &marks)
{
    // Most columns span a few dozen rows: the rows taken then fit one register, and the loop
    // does not wait on its own stores.
    int low = yr[a], high = yr[a];
    for (int k = a + 1; k <= b; ++k) {
        low = std::min(low, int{yr[k]});
        high = std::max(high, int{yr[k]});
    }
    if (high - low < 64) {
        std::uint64_t taken = 0;
        for (int k = b; k >= a; --k) {
            const int y = yr[k];
            const std::uint64_t bit = std::uint64_t(1) << (y - low);
            if (!(taken & bit)) {
                taken |= bit;
                if (k < b && static_cast<unsigned>(y - base) < span) marks.push_back(k);
            }
        }
        return;
    }
    for (int k = b; k >= a; --k) {
        const unsigned at = static_cast<unsigned>(yr[k] - base);
        if (at < span && seen[at] != column) {
            seen[at] = column;
            if (k < b) marks.push_back(k);
        }
    }
}

// The rows of n points as bits from `low` into words[0 .. count) (bit k: row low + k), which
// come zeroed. Up to four words are kept in registers, filled four points at a time where the
// processor has AVX2 (a shift by 64 or more, or by a negative count, gives zero there).
void RowBitsPlain(const PixelRow *yr, int n, int low, std::uint64_t *words, int count)
{
    if (count != 1) {
        for (int k = 0; k < n; ++k) {
            const unsigned d = static_cast<unsigned>(yr[k] - low);
            words[d >> 6] |= std::uint64_t(1) << (d & 63);
        }
        return;
    }
    std::uint64_t b0 = 0, b1 = 0, b2 = 0, b3 = 0; // four chains, not one
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        b0 |= std::uint64_t(1) << (yr[k] - low);
        b1 |= std::uint64_t(1) << (yr[k + 1] - low);
        b2 |= std::uint64_t(1) << (yr[k + 2] - low);
        b3 |= std::uint64_t(1) << (yr[k + 3] - low);
    }
    for (; k < n; ++k) b0 |= std::uint64_t(1) << (yr[k] - low);
    words[0] |= b0 | b1 | b2 | b3;
}
#if SKYVANE_HAS_FMA_TARGET
template <int Count> SKYVANE_FMA_TARGET void RowBitsAvx2(const PixelRow *yr, int n, int low, std::uint64_t *words)
{
    const __m256i one = _mm256_set1_epi64x(1), base = _mm256_set1_epi64x(low);
    __m256i acc[Count];
    for (int j = 0; j < Count; ++j) acc[j] = _mm256_setzero_si256();
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m256i d = _mm256_sub_epi64(_mm256_cvtepi16_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(yr + k))), base);
        for (int j = 0; j < Count; ++j)
            acc[j] = _mm256_or_si256(acc[j], _mm256_sllv_epi64(one, _mm256_sub_epi64(d, _mm256_set1_epi64x(64 * j))));
    }
    for (int j = 0; j < Count; ++j) {
        alignas(32) std::uint64_t lanes[4];
        _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), acc[j]);
        words[j] |= lanes[0] | lanes[1] | lanes[2] | lanes[3];
    }
    RowBitsPlain(yr + k, n - k, low, words, Count);
}
#endif
void RowBits(const PixelRow *yr, int n, int low, std::uint64_t *words, int count)
{
#if SKYVANE_HAS_FMA_TARGET
    if (CpuHasFma()) {
        switch (count) {
        case 1: return RowBitsAvx2<1>(yr, n, low, words);
        case 2: return RowBitsAvx2<2>(yr, n, low, words);
        case 3: return RowBitsAvx2<3>(yr, n, low, words);
        case 4: return RowBitsAvx2<4>(yr, n, low, words);
        default: break;
        }
    }
#endif
    RowBitsPlain(yr, n, low, words, count);
}

#if SKYVANE_HAS_FMA_TARGET
// The rows of n points as bits, with their lowest and highest row, in one pass, where every row
// lies within 31 rows below and 32 above the first point's (a column of noise does): the bits
// are gathered from that row - 31 on, and what lies outside shows in the row's distance from
// it. False, with nothing written, where a row lies outside.
SKYVANE_FMA_TARGET bool RowBitsNear(const PixelRow *yr, int n, int &lowest, int &highest, std::uint64_t &bits)
{
    // Eight points a step in 32-bit lanes: the low and the high half of the word apart.
    const int from = yr[0] - 31;
    const __m256i one = _mm256_set1_epi32(1), base = _mm256_set1_epi32(from), half = _mm256_set1_epi32(32);
    __m256i low = _mm256_setzero_si256(), high = low, outside = low;
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m256i d = _mm256_sub_epi32(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(yr + k))), base);
        low = _mm256_or_si256(low, _mm256_sllv_epi32(one, d)); // nothing for 32 and more, or below 0
        high = _mm256_or_si256(high, _mm256_sllv_epi32(one, _mm256_sub_epi32(d, half)));
        outside = _mm256_or_si256(outside, _mm256_srli_epi32(d, 6)); // not 0 .. 63 as unsigned
        if (k % 256 == 248 && !_mm256_testz_si256(outside, outside)) return false; // now and then
    }
    alignas(32) std::uint32_t lanes[3][8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes[0]), low);
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes[1]), high);
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes[2]), outside);
    std::uint64_t set = 0, far = 0;
    for (int j = 0; j < 8; ++j) {
        set |= lanes[0][j] | std::uint64_t{lanes[1][j]} << 32;
        far |= lanes[2][j];
    }
    for (; k < n; ++k) {
        const auto d = static_cast<std::uint64_t>(static_cast<std::int64_t>(yr[k]) - from);
        far |= d >> 6;
        set |= std::uint64_t(1) << (d & 63);
    }
    if (far != 0) return false;
    const int skip = std::countr_zero(set); // set holds the first point's row at least
    lowest = from + skip;
    highest = from + 63 - std::countl_zero(set);
    bits = set >> skip;
    return true;
}
#endif

// The lowest and highest row of a column's points and, when `rowSet` is asked for, the rows
// they take as bits from the lowest (bit k of the words: row low + k). Every row from the lowest
// up to, not including, the highest is what the segments inside the column cover together
// (see ColumnRuns).
SKYVANE_VECTOR_CLONES
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void ColumnSpan(const PixelRow *yr, int a, int b, int &lowest, int &highest, std::vector<std::uint64_t> *rowSet,
                bool &near)
{
#if SKYVANE_HAS_FMA_TARGET
    // `near`: the column before lay within 64 rows (levels spread over the plot's height take
    // the two passes below at once, without a try that fails first).
    std::uint64_t bits = 0;
    if (rowSet && near && CpuHasFma()) {
        if (RowBitsNear(yr + a, b - a + 1, lowest, highest, bits)) {
            rowSet->assign(1, bits);
            return;
        }
        near = false;
    }
#endif
    PixelRow low = yr[a], high = yr[a]; // in registers: the rows might alias the results
    for (int k = a + 1; k <= b; ++k) {
        low = std::min(low, yr[k]);
        high = std::max(high, yr[k]);
    }
    lowest = low;
    highest = high;
    near = high - low < 64;
    if (!rowSet) return;
    const int count = (high - low) / 64 + 1;
    rowSet->assign(static_cast<size_t>(count), 0);
    RowBits(yr + a, b - a + 1, low, rowSet->data(), count);
}

// The rows each segment inside the column is the last to cover (turn 2k for the segment from
// point k - 1 to k), found from the last point back.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void ColumnRuns(const PixelRow *yr, int a, int b, std::vector<RowRun> &runs)
{
    int lo = yr[b], hi = lo;
    for (int k = b; k > a; --k) {
        const int v = yr[k - 1];
        if (v < lo) {
            runs.push_back({2 * k, v, lo - 1});
            lo = v;
        } else if (v > hi) {
            runs.push_back({2 * k, hi, v - 1});
            hi = v;
        }
    }
}

} // namespace

bool TCustomSeriesPass::RunDense(DirectRenderer &r, const TPixelSurface &surface)
{
    const int first = first_, last = last_;
    if (last - first < 2 || !r.Dense() || s_.OnGetPointerStyle || !s_.XValues().IsAscending() ||
        !s_.XValues().AllFinite())
        return false;
    TColor c;
    if (!s_.UniformColor(first > 0 ? first - 1 : first, last, c) || c == clNone) return false;
    const int x0 = mx_(x_[first] * xm_), xn = mx_(x_[last] * xm_);
    if (x0 < -32766 || x0 >= 32767 || xn < -32766 || xn >= 32767) return false;
    ColumnRows rows(my_, s_.YValues(), first, last, LaterSameValues(s_, my_));
    if (!rows.Ok()) return false;
    auto row = [&](int i) { return rows.Row(i); };

    const bool lines = lines_, pointer = pointer_;
    // Marker positions that can put ink into the clip; the rest draw nothing.
    const QRect clip = surface.Clip();
    // how far a marker's ink reaches from its centre, with room for line ends
    const int reach = std::max(s_.Pointer().HorizSize(), s_.Pointer().VertSize()) + 8;
    const int base = clip.top() - reach, span = clip.height() + 2 * reach;
    // seen[row - base] == column: a later marker of this column stands at that row
    std::vector<unsigned> seen(static_cast<size_t>(std::max(span, 1)));
    unsigned column = 0;
    auto markerShows = [&](int x, int y) {
        return y >= base && y < base + span && x >= clip.left() - reach && x <= clip.right() + reach;
    };
    std::vector<RowRun> runs;
    std::vector<int> marks;

    // the entry from the plot edge, as the point-by-point pass draws it
    if (first > 0 && lines) {
        const TRect plot = s_.ParentChart()->PlotRect();
        const int ex = s_.ResolvedHorizAxis()->Inverted() ? plot.Right : plot.Left;
        const double xa = x_[first - 1] * xm_, xb = x_[first] * xm_;
        const double ya = y_[first - 1] * ym_, yb = y_[first] * ym_;
        const int ey = xb == xa ? my_(ya) : my_(ya + (yb - ya) * (s_.XValueAtPixel(ex) - xa) / (xb - xa));
        if (ey != Off && (ex != x0 || ey != row(first))) r.Segment(ex, ey, x0, row(first), c);
    }
    // One ink colour for lines and markers: a column is then drawn as its one vertical segment
    // and a marker at each row its points take, not point by point in turn order.
    const bool uniform = r.UniformInk(c, pointer);
    std::vector<std::uint64_t> rowSet; // the rows a column's points take, as bits
    int carried = -1; // the last marker of the column before: its turn is after this column's join
    int prevX = x0;
    int guess = 0;         // points a column holds, as the column before held them
    bool near = true;      // the column before lay within 64 rows
    int prevRow = 0;       // row of the last point of the column before
    int beforeLastRow = 0; // row of point last - 1
    for (int a = first; a <= last;) {
        const int X = mx_(x_[a] * xm_);
        const int b = ColumnEnd(mx_, x_, xm_, a, last, X, guess) - 1;
        const PixelRow *yr = rows.Column(a, b); // yr[k]: row of point k of this column
        if (a > first && lines) r.Segment(prevX, prevRow, X, yr[a], c); // the join
        if (carried >= 0) r.Marker(carried, prevX, prevRow, c);
        // One pass from the last point back: the rows each segment inside the column is the last
        // to cover (turn 2k for segment k, from point k - 1 to k), and the markers no later one
        // of the column covers (turn 2k + 3 for the marker of point k). The column's last marker
        // is carried to the next column, after its join.
        runs.clear();
        marks.clear();
        const bool markers = pointer && X >= clip.left() - reach && X <= clip.right() + reach;
        if (uniform) {
            int low = 0, high = 0;
            ColumnSpan(yr, a, b, low, high, markers ? &rowSet : nullptr, near);
            if (lines && low < high) r.Segment(X, low, X, high, c);
            // the last point's row is drawn by its carried marker
            if (markers) r.MarkerRows(b, X, low, rowSet, yr[b], base, static_cast<unsigned>(span), c);
        } else {
            ++column;
            // Two tight loops over the column's rows (each list comes out in the order one
            // combined loop gives it).
            if (markers) ColumnMarks(yr, a, b, base, static_cast<unsigned>(span), column, seen.data(), marks);
            if (lines) ColumnRuns(yr, a, b, runs);
        }
        // both were found last to first: drawn first to last, in turn order
        auto run = runs.rbegin();
        for (auto m = marks.rbegin(); m != marks.rend(); ++m) {
            for (; run != runs.rend() && run->seq < 2 * *m + 3; ++run)
                r.Segment(X, run->from, X, run->to + 1, c);
            r.Marker(*m, X, yr[*m], c);
        }
        for (; run != runs.rend(); ++run)
            r.Segment(X, run->from, X, run->to + 1, c);
        carried = pointer && markerShows(X, yr[b]) ? b : -1;
        if (b >= last - 1 && a <= last - 1) beforeLastRow = yr[last - 1];
        prevRow = yr[b];
        prevX = X;
        a = b + 1;
    }
    if (carried >= 0) r.Marker(carried, prevX, prevRow, c);

    // The canvas tools, pen position and drawing memory as the last point leaves them.
    r.SetDrawing(false);
    s_.prevX_ = mx_(x_[last - 1] * xm_);
    s_.prevY_ = beforeLastRow;
    s_.havePrev_ = true;
    s_.prevColor_ = c;
    Run(r, last, last);
    r.SetDrawing(true);
    return true;
}

void TCustomSeries::DrawPoints()
{
    TChartHost *chart = ParentChart();
    const int first = FirstShown();
    const int last = std::min(LastShown(), PointCount() - 1);
    if (first < 0 || last < first || !chart || !ResolvedHorizAxis() || !ResolvedVertAxis()) return;
    TCanvas3D &canvas = chart->Canvas();
    TCustomSeriesPass pass(*this);
    TPixelSurface surface;
    if (!chart->IsPrinting() && surface.Attach(canvas)) {
        DirectRenderer r(*this, canvas, surface);
        if (!pass.RunDense(r, surface)) pass.Run(r, first, last);
        r.Finish();
    } else {
        CanvasRenderer r{*this, canvas, chart->IsPrinting()};
        pass.Run(r, first, last);
    }
}

void TCustomSeries::DrawPoint(int index)
{
    TChartHost *chart = ParentChart();
    if (!chart || index < 0 || index >= PointCount() || !ResolvedHorizAxis() || !ResolvedVertAxis()) return;
    TCustomSeriesPass pass(*this);
    CanvasRenderer r{*this, chart->Canvas(), chart->IsPrinting()};
    pass.Run(r, index, index);
}

void TCustomSeries::DrawPointer(int index, int x, int y, TColor c)
{
    TChartHost *chart = ParentChart();
    if (!chart) return;
    TCanvas3D &canvas = chart->Canvas();
    ApplyPointerTools(canvas, pointer_, c, chart->IsPrinting());
    const int style = OnGetPointerStyle ? OnGetPointerStyle(this, index) : pointer_.Style();
    DrawMarkerShape(canvas, style, x, y, pointer_.HorizSize(), pointer_.VertSize(), c);
}

void TCustomSeries::MarginsX(int &left, int &right) const
{
    left = right = pointer_.Visible() && pointer_.InflateMargins() ? pointer_.HorizSize() + 1 : 0;
    if (stairs_ && drawLine_) {
        left = std::max(left, linePen_.Width());
        right = std::max(right, linePen_.Width());
    }
}

void TCustomSeries::MarginsY(int &top, int &bottom) const
{
    top = bottom = pointer_.Visible() && pointer_.InflateMargins() ? pointer_.VertSize() + 1 : 0;
    if (stairs_ && drawLine_) {
        top = std::max(top, linePen_.Width());
        bottom = std::max(bottom, linePen_.Width() + 1);
    }
}

bool TCustomSeries::ClickedPointer(int px, int py, int x, int y) const
{
    return std::llabs(static_cast<long long>(px) - x) < pointer_.HorizSize() &&
           std::llabs(static_cast<long long>(py) - y) < pointer_.VertSize();
}

bool PointOnSegment(int px, int py, int ax, int ay, int bx, int by)
{
    if (ax == bx && ay == by) return false;
    // not strictly beyond either end, away from the other, in x or in y
    if ((bx > ax && px < ax) || (bx < ax && px > ax) || (by > ay && py < ay) || (by < ay && py > ay)) return false;
    if ((ax > bx && px < bx) || (ax < bx && px > bx) || (ay > by && py < by) || (ay < by && py > by)) return false;
    const long long dx = static_cast<long long>(bx) - ax, dy = static_cast<long long>(by) - ay;
    const long long d = std::max(std::llabs(dx), std::llabs(dy));
    // the products reach 2^64 for far-off ends: 128-bit where the compiler has it
#ifdef __SIZEOF_INT128__
    __int128 cross = static_cast<__int128>(static_cast<long long>(px) - ax) * dy -
                     static_cast<__int128>(static_cast<long long>(py) - ay) * dx;
    if (cross < 0) cross = -cross;
    return cross < d;
#else
    const long double cross = static_cast<long double>(static_cast<long long>(px) - ax) * dy -
                              static_cast<long double>(static_cast<long long>(py) - ay) * dx;
    return (cross < 0 ? -cross : cross) < static_cast<long double>(d);
#endif
}

int TCustomSeries::HitTest(int x, int y) const
{
    const int first = FirstShown();
    // the range is the last paint's: the points may have changed since
    const int last = std::min(LastShown(), PointCount() - 1);
    if (first < 0 || last < first || !ResolvedHorizAxis() || !ResolvedVertAxis()) return -1;
    const TPixelMapper mx(ResolvedHorizAxis()), my(ResolvedVertAxis());
    int ax = 0, ay = 0;
    bool haveA = false;
    for (int i = first; i <= last; ++i) {
        const int px = mx(XValue(i)), py = my(YValue(i));
        if (px == Off || py == Off) { // not drawn, so not clickable
            haveA = false;
            continue;
        }
        if (pointer_.Visible() && ClickedPointer(px, py, x, y)) {
            if (OnClickPointer) OnClickPointer(const_cast<TCustomSeries *>(this), i, x, y);
            return i;
        }
        if (px == x && py == y) return i;
        if (haveA && clickableLine_) {
            if (!stairs_) {
                if (PointOnSegment(x, y, ax, ay, px, py)) return i - 1;
            } else {
                const int cx = invertedStairs_ ? ax : px, cy = invertedStairs_ ? py : ay;
                if (PointOnSegment(x, y, ax, ay, cx, cy) || PointOnSegment(x, y, cx, cy, px, py)) return i - 1;
            }
        }
        ax = px;
        ay = py;
        haveA = true;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Fast line

namespace {

struct FastCanvasLines {
    TCanvas3D &c;
    void Move(int x, int y) { c.MoveTo(x, y); }
    void Segment(int x0, int y0, int x1, int y1) { c.DrawSegment(x0, y0, x1, y1); }
    void LineTo(int x, int y) { c.LineTo(x, y); }
    void Finish() {}
};

struct FastDirectLines {
    TCanvas3D &c;
    TPolylineWriter lines;
    QRgb rgb;
    int x = 0, y = 0;
    bool moved = false;
    FastDirectLines(TCanvas3D &canvas, TPixelSurface &surface, QRgb colour) : c(canvas), lines(surface), rgb(colour) {}
    void Move(int nx, int ny)
    {
        x = nx;
        y = ny;
        moved = true;
    }
    void Segment(int x0, int y0, int x1, int y1)
    {
        lines.Segment(x0, y0, x1, y1, rgb);
        Move(x1, y1);
    }
    void LineTo(int nx, int ny) { Segment(x, y, nx, ny); }
    void Finish()
    {
        lines.Flush();
        if (moved) c.MoveTo(x, y);
    }
};

} // namespace

// What a fast line's dense pass finds per pixel column, kept by the series. Drawn again over the
// same levels through the same vertical mapping (a trace kept under the live one stays as it is
// from sweep to sweep), a column whose points are the same ones takes its rows from here; only
// the columns' bounds are found again, a search over the frequencies, not a pass.
struct TFastLineColumns {
    struct Column {
        int a, b;                        // its points
        int x, firstRow, lastRow, lo, hi; // where they land
        int changes;                     // lines the point-by-point pass draws inside it
    };
    std::vector<Column> columns, next;
    int entryX = 0, entryRow = 0; // the point before the first shown, when there is one
    std::vector<int> scratch;     // one column's rows

    // Whether the rows found last time are those of these levels.
    bool Holds(const TChartValueList &yl, const TPixelMapper &my, int first, int last) const
    {
        return known_ && (yl.IsConstant() || yl.ContentKey() != 0) && Same(y_, yl) && first == first_ &&
               last == last_ && my_ && my_->SameMapping(my);
    }
    void Remember(const TChartValueList &yl, const TPixelMapper &my, int first, int last)
    {
        y_ = Of(yl);
        first_ = first;
        last_ = last;
        my_.emplace(my);
        known_ = true;
    }
    void Forget()
    {
        known_ = false;
        columns.clear();
    }

private:
    // which values a list reads, and how they are multiplied
    struct Source {
        std::uint64_t key = 0;
        size_t offset = 0;
        bool constant = false;
        double value = 0, multiplier = 0;
    };
    static Source Of(const TChartValueList &l)
    {
        return {l.ContentKey(), l.ContentOffset(), l.IsConstant(), l.IsConstant() ? l.ConstantValue() : 0.0,
                l.Multiplier()};
    }
    static bool Same(const Source &s, const TChartValueList &l)
    {
        const Source o = Of(l);
        return s.key == o.key && s.offset == o.offset && s.constant == o.constant && s.value == o.value &&
               s.multiplier == o.multiplier;
    }

    bool known_ = false;
    Source y_;
    int first_ = 0, last_ = -1;
    std::optional<TPixelMapper> my_;
};

class TFastLinePass {
public:
    explicit TFastLinePass(TFastLineSeries &s)
        : s_(s), mx_(s.ResolvedHorizAxis()), my_(s.ResolvedVertAxis()), x_(s.XValues().Stored()),
          xm_(s.XValues().Multiplier()), ym_(s.YValues().Multiplier()), first_(s.FirstShown())
    {
    }

    template <class L> void Run(L &lines, int from, int to)
    {
        // levels in single precision or hundredths as they are; a level held as one number
        // spelled out
        if (const float *y = s_.YValues().Singles())
            RunOver(lines, from, to, y);
        else
            RunOver(lines, from, to, s_.YValues().Stored());
    }

    template <class L, class Y> void RunOver(L &lines, int from, int to, const Y &y_)
    {
        int lx = s_.lastX_, ly = s_.lastY_, count = 0;
        bool have = s_.haveLast_;
        for (int i = from; i <= to; ++i) {
            const int x = mx_(x_[i] * xm_), y = my_(y_[i] * ym_);
            if (x == Off || y == Off) continue; // NaN, infinite or far off: left out
            if (i != first_ && have) {
                if (x == lx && y == ly) continue; // same pixel as the last one drawn
                lines.LineTo(x, y);
                ++count;
            } else if (i == first_ && i > 0 && mx_(x_[i - 1] * xm_) != Off && my_(y_[i - 1] * ym_) != Off) {
                // enter from the point before the first visible one
                lines.Segment(mx_(x_[i - 1] * xm_), my_(y_[i - 1] * ym_), x, y);
                ++count;
            } else {
                lines.Move(x, y);
            }
            lx = x;
            ly = y;
            have = true;
        }
        s_.lastX_ = lx;
        s_.lastY_ = ly;
        s_.haveLast_ = have;
        s_.linesDrawn_ += count;
    }

    // The same pixels as Run over first..last, column by column: one colour, so the pixels are
    // the union of the lines, and in a pixel column the lines between its points cover the rows
    // from the lowest to the highest of them. Each column draws its join from the column before
    // and that one vertical line. False (and nothing drawn) when the points need the
    // point-by-point pass.
    bool RunDense(FastDirectLines &lines, int first, int last)
    {
        if (last - first < 2 || !s_.XValues().IsAscending() || !s_.XValues().AllFinite()) return false;
        if (!s_.columns_) s_.columns_ = std::make_shared<TFastLineColumns>();
        TFastLineColumns &c = *s_.columns_;
        const bool known = c.Holds(s_.YValues(), my_, first, last);
        if (!known) c.Forget();
        int count = 0;
        if (!Summarise(c, first, last, count)) {
            c.Forget();
            return false;
        }
        if (!known) c.Remember(s_.YValues(), my_, first, last);
        const std::vector<TFastLineColumns::Column> &cols = c.columns;
        if (first > 0)
            lines.Segment(c.entryX, c.entryRow, cols[0].x, cols[0].firstRow);
        else
            lines.Move(cols[0].x, cols[0].firstRow);
        for (size_t k = 0; k < cols.size(); ++k) {
            const TFastLineColumns::Column &col = cols[k];
            if (k > 0) lines.Segment(cols[k - 1].x, cols[k - 1].lastRow, col.x, col.firstRow);
            if (col.lo != col.hi) lines.Segment(col.x, col.lo, col.x, col.hi);
        }
        const TFastLineColumns::Column &end = cols.back();
        lines.Move(end.x, end.lastRow);
        s_.lastX_ = end.x;
        s_.lastY_ = end.lastRow;
        s_.haveLast_ = true;
        s_.linesDrawn_ += count;
        return true;
    }

private:
    // Finds the pixel columns and, for each, its first and last row and the rows it spans (kept
    // from the last pass where the column holds the same points of the same levels), and what
    // the entry from the point before takes. False when a point needs the point-by-point pass.
    bool Summarise(TFastLineColumns &c, int first, int last, int &count)
    {
        const int x0 = mx_(x_[first] * xm_), xn = mx_(x_[last] * xm_);
        if (x0 == Off || xn == Off) return false;
        // a level held as one number is one row for every point
        const TChartValueList &yl = s_.YValues();
        const bool level = yl.IsConstant();
        const float *singles = yl.Singles();
        const std::int16_t *hundredths = yl.Hundredths();
        const double *y = level || singles || hundredths ? nullptr : yl.Data();
        int levelRow = 0;
        if (level) {
            const double v = yl.ConstantValue();
            if (!my_.MapInRange(&v, ym_, 1, -32766, 32767, &levelRow)) return false;
        }
        auto rows = [&](int from, int n, int *out) {
            if (singles) return my_.MapInRange(singles + from, ym_, n, -32766, 32767, out);
            if (hundredths) return my_.MapHundredthsInRange(hundredths + from, ym_, n, -32766, 32767, out);
            if (!level) return my_.MapInRange(y + from, ym_, n, -32766, 32767, out);
            std::fill(out, out + n, levelRow);
            return true;
        };
        const bool known = !c.columns.empty(); // rows of these levels from the last pass
        if (first > 0) {
            c.entryX = mx_(x_[first - 1] * xm_);
            if (c.entryX == Off || (!known && !rows(first - 1, 1, &c.entryRow))) return false;
            ++count;
        }
        c.next.clear();
        size_t k = 0;
        int guess = 0; // points a column holds, as the column before held them
        for (int a = first; a <= last;) {
            const int X = mx_(x_[a] * xm_);
            const int b = ColumnEnd(mx_, x_, xm_, a, last, X, guess) - 1;
            if (a > first) ++count; // the join from the column before
            // Columns before this one in the last pass ended before it: find the one it may be.
            while (k < c.columns.size() && c.columns[k].b < b) ++k;
            TFastLineColumns::Column col;
            if (k < c.columns.size() && c.columns[k].a == a && c.columns[k].b == b) {
                col = c.columns[k];
                col.x = X;
            } else if (level) {
                col = {a, b, X, levelRow, levelRow, levelRow, levelRow, 0}; // no point to look at
            } else {
                // the column's rows, mapped while they stay in the cache
                c.scratch.resize(static_cast<size_t>(b - a + 1));
                int *yr = c.scratch.data();
                if (!rows(a, b - a + 1, yr)) return false;
                col = {a, b, X, yr[0], yr[b - a], yr[0], yr[0], 0};
                for (int i = 1; i <= b - a; ++i) {
                    col.lo = std::min(col.lo, yr[i]);
                    col.hi = std::max(col.hi, yr[i]);
                    col.changes += yr[i] != yr[i - 1];
                }
            }
            count += col.changes;
            c.next.push_back(col);
            a = b + 1;
        }
        c.columns.swap(c.next);
        return true;
    }

    TFastLineSeries &s_;
    const TPixelMapper mx_, my_;
    const TStoredValues x_;
    const double xm_, ym_;
    const int first_;
};

void TFastLineSeries::DrawPoints()
{
    linesDrawn_ = 0;
    haveLast_ = false;
    TChartHost *chart = ParentChart();
    const int first = FirstShown();
    const int last = std::min(LastShown(), PointCount() - 1);
    if (first < 0 || last < first || !chart || !ResolvedHorizAxis() || !ResolvedVertAxis()) return;
    TCanvas3D &canvas = chart->Canvas();
    const bool printing = chart->IsPrinting();
    SetSeriesPen(canvas, linePen_, printing);
    canvas.Brush().Style = bsClear;
    TFastLinePass pass(*this);
    TPixelSurface surface;
    if (!printing && IsPlainPen(linePen_) && surface.Attach(canvas)) {
        FastDirectLines lines(canvas, surface, ColorToRGB(canvas.Pen().Color));
        if (!pass.RunDense(lines, first, last)) pass.Run(lines, first, last);
        lines.Finish();
    } else {
        FastCanvasLines lines{canvas};
        pass.Run(lines, first, last);
    }
}

void TFastLineSeries::DrawPoint(int index)
{
    TChartHost *chart = ParentChart();
    if (!chart || index < 0 || index >= PointCount() || !ResolvedHorizAxis() || !ResolvedVertAxis()) return;
    if (index == FirstShown()) haveLast_ = false;
    TFastLinePass pass(*this);
    FastCanvasLines lines{chart->Canvas()};
    pass.Run(lines, index, index);
}

int TFastLineSeries::HitTest(int x, int y) const
{
    const int first = FirstShown();
    const int last = std::min(LastShown(), PointCount() - 1);
    if (first < 0 || last < first || !ResolvedHorizAxis() || !ResolvedVertAxis()) return -1;
    const TPixelMapper mx(ResolvedHorizAxis()), my(ResolvedVertAxis());
    int ax = 0, ay = 0;
    bool haveA = false;
    for (int i = first; i <= last; ++i) {
        const int px = mx(XValue(i)), py = my(YValue(i));
        if (px == Off || py == Off) {
            haveA = false;
            continue;
        }
        if (px == x && py == y) return i;
        if (haveA && PointOnSegment(x, y, ax, ay, px, py)) return i - 1;
        ax = px;
        ay = py;
        haveA = true;
    }
    return -1;
}

void TFastLineSeries::DrawAddedPoint(int index)
{
    TChartHost *chart = ParentChart();
    if (!chart || !Active() || chart->IsPrinting() || !ResolvedHorizAxis() || !ResolvedVertAxis()) return;
    const TPixelMapper mx(ResolvedHorizAxis()), my(ResolvedVertAxis());
    const int prev = index > 0 ? index - 1 : index;
    const int x = mx(XValue(index)), y = my(YValue(index));
    const int x0 = mx(XValue(prev)), y0 = my(YValue(prev));
    if (x == Off || y == Off || x0 == Off || y0 == Off) return;
    if (x == x0 && y == y0) return; // a segment of length 0 draws nothing
    TCanvas3D &canvas = chart->Canvas();
    auto draw = [&] {
        SetSeriesPen(canvas, linePen_, false);
        canvas.Brush().Style = bsClear;
        canvas.DrawSegment(x0, y0, x, y);
    };
    if (canvas.Painter()) { // a frame is being drawn (an after-draw handler adding points)
        draw();
        return;
    }
    // Outside a paint: onto the frame already shown, when the back buffer holds it. Otherwise
    // the next frame draws the point with the rest.
    auto *cc = dynamic_cast<TChartCanvas3D *>(&canvas);
    if (!cc || !cc->UseBackBuffer() || cc->BufferStale() || !cc->BackBuffer()) return;
    const TRect bounds = cc->Bounds();
    if (cc->BackBuffer()->size() != QSize(std::max(1, bounds.Width()), std::max(1, bounds.Height()))) return;
    cc->BeginFrame(static_cast<QPaintDevice *>(nullptr), bounds);
    draw();
    cc->EndFrame();
    chart->BackBufferChanged();
}
