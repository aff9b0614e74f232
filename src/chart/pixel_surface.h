#pragma once
// Direct pixel drawing for series rendering. A buffered frame's back buffer is written to
// without going through QPainter, producing exactly the pixels the canvas's painter would draw
// for the same calls: one-pixel solid pens in copy mode, antialiasing off. Everything here is
// private to the chart engine; the series fall back to the canvas whenever a condition fails.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/chart_types.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <cmath>
#include <cstdint>
#include <vector>

// Pixel position of values on one axis, as the axis maps them, except that a value the axis
// cannot place (NaN, infinite, or beyond the int range in pixels) gives OffPixel instead of the
// axis's centre pixel, so that such points are left out rather than drawn mid-plot.
class TPixelMapper {
public:
    static constexpr int OffPixel = INT_MIN;

    explicit TPixelMapper(const TCustomChartAxis *axis)
        : axis_(axis), log_(axis->Logarithmic()), min_(axis->DrawMin()), range_(axis->DrawRange()),
          size_(axis->PixelSize()), start_(axis->StartPixel()), end_(axis->EndPixel()), center_(axis->CenterPixel()),
          horizontal_(axis->IsHorizontal()), inverted_(axis->Inverted())
    {
    }

    int operator()(double v) const
    {
        if (log_) return std::isfinite(v) ? axis_->ValueToPixel(v) : OffPixel;
        if (range_ == 0) return std::isfinite(v) ? center_ : OffPixel;
        // the same arithmetic as TCustomChartAxis::ValueToPixel, so in-range results are equal
        const double t = (v - min_) * size_ / range_;
        if (!(std::fabs(t) < 2147483647.0)) return OffPixel;
        const std::int64_t r = RoundEven(t);
        std::int64_t p;
        if (horizontal_)
            p = inverted_ ? end_ - r : start_ + r;
        else
            p = inverted_ ? start_ + r : end_ - r;
        if (p > INT32_MAX || p <= INT32_MIN) return OffPixel;
        return static_cast<int>(p);
    }

    // Linear and not degenerate: finite values map monotonically (see MapInRange).
    bool Linear() const { return !log_ && range_ != 0; }

    // Whether the two give the same pixel for every value. Logarithmic axes map through the
    // axis itself, whose state may change: never taken for the same.
    bool SameMapping(const TPixelMapper &o) const
    {
        if (log_ || o.log_) return false;
        return min_ == o.min_ && range_ == o.range_ && size_ == o.size_ && start_ == o.start_ && end_ == o.end_ &&
               center_ == o.center_ && horizontal_ == o.horizontal_ && inverted_ == o.inverted_;
    }

    // Pixels of v[0..n-1] (each multiplied by m) into out; false when one of them lies outside
    // lo <= pixel < hi (or is OffPixel), and then the contents of out are unspecified. The same
    // results as operator(), in a loop the compiler can vectorise.
    bool MapInRange(const double *v, double m, int n, int lo, int hi, int *out) const;
    // The same for values held in single precision, each taken as the double it is.
    bool MapInRange(const float *v, double m, int n, int lo, int hi, int *out) const;
    // Rows as 16-bit numbers: lo and hi are narrowed to what they hold.
    bool MapInRange(const double *v, double m, int n, int lo, int hi, std::int16_t *out) const;
    // The same for values held as whole hundredths (see platform/hundredths.h), each taken as
    // the double it stands for.
    bool MapHundredthsInRange(const std::int16_t *h, double m, int n, int lo, int hi, int *out) const;
    bool MapHundredthsInRange(const std::int16_t *h, double m, int n, int lo, int hi, std::int16_t *out) const;

private:
    template <class T, class Out> bool MapAny(const T *v, double m, int n, int lo, int hi, Out *out) const;
    template <class Out> bool MapHundredths(const std::int16_t *h, double m, int n, int lo, int hi, Out *out) const;
    const TCustomChartAxis *axis_;
    bool log_;
    double min_, range_;
    int size_, start_, end_, center_;
    bool horizontal_, inverted_;
};

// The pixels of every level from `least` to `most` whole hundredths (each times m), for runs of
// levels held so: built once, each run is then a lookup that gives exactly what mapping its
// levels as doubles gives. Noise spans a few thousand hundredths, a sweep millions of values.
class THundredthsPixels {
public:
    // False (and nothing to look up) when a level of the range maps outside lo <= pixel < hi.
    bool Build(const TPixelMapper &map, double m, std::int16_t least, std::int16_t most, int lo, int hi);
    // Built for the n levels h where it pays (a long run spanning far fewer levels than it
    // holds); false when not built.
    bool BuildFor(const TPixelMapper &map, double m, const std::int16_t *h, int n, int lo, int hi);
    bool Built() const { return !table_.empty(); }
    // Levels all within the built range.
    template <class Out> void Map(const std::int16_t *h, int n, Out *out) const
    {
        const int *t = table_.data();
        for (int i = 0; i < n; ++i) out[i] = static_cast<Out>(t[h[i] - least_]);
    }

private:
    std::vector<int> table_;
    int least_ = 0;
};

class TChartSeriesList;
// Maps the levels of the list's large line and point series into the rows their next dense
// pass reads (see TCustomAxisPanel::PrepareFrame), each through the vertical mapping
// `mapperOf` gives its axis (none: left to the frame). Lists that may not all map into the
// device's range are left to the frame too. True when it mapped any.
// RowsMapped counts the values the dense passes and this have mapped into kept rows so far
// (window thread): a frame that finds its rows mapped ahead adds none.
bool MapRowsAhead(TChartSeriesList &series,
                  const std::function<std::optional<TPixelMapper>(const TCustomChartAxis *)> &mapperOf);
std::uint64_t RowsMapped();
// Whether the dense passes keep the pixel rows they map, for the next frames and the other
// series of the same levels (on by default: a repaint of the same levels maps nothing). A
// one-off drawing turns it off: the rows then take one pixel column's worth of memory instead
// of two bytes a value.
void SetPixelRowsKept(bool kept);

// A marker rendered once through the canvas and then copied: the pixels it sets, relative to
// the marker's centre, as runs along rows.
struct TMarkerStamp {
    struct Run {
        int dy, dx, len, offset; // pixels (x + dx .. x + dx + len - 1, y + dy); colours from offset
    };
    std::vector<Run> runs;
    std::vector<QRgb> colours;
    QRect ink;          // box of the set pixels, relative to the centre (null when nothing is set)
    bool usable = false; // false: draw this marker through the canvas
    // When every row of the ink is one run through the centre column: the ink rows (k for row
    // ink.top() + k) grouped by their run. Markers stacked in one column then cover, row by row,
    // one run from the leftmost to the rightmost of the runs that reach that row. Empty otherwise.
    struct RowGroup {
        int left, right;
        std::vector<int> rows;
    };
    std::vector<RowGroup> rowGroups;
    bool CentredRows() const { return !rowGroups.empty(); }
};

// Draws one marker shape with the canvas's current pen and brush (the marker table of the line
// and point series). Shared by the canvas path and the stamp renderer.
void DrawMarkerShape(TCanvas3D &canvas, int style, int x, int y, int h, int v, TColor color);

// The stamp of the pixels that are equal in two renderings of a marker over different
// backgrounds (w x h pixels each, row by row), with the marker's centre at (cx, cy).
TMarkerStamp StampFromPair(const QRgb *a, const QRgb *b, int w, int h, int cx, int cy);

// Renders a marker through a private canvas with the given pen and brush and captures its
// pixels. Markers wider or taller than 129 pixels are not stamped.
TMarkerStamp RenderMarkerStamp(const TCanvasPen &pen, const TCanvasBrush &brush, int style, int h, int v, TColor color);

// The back buffer of a buffered frame in progress, with the clip rectangle the painter holds.
class TPixelSurface {
public:
    // Attaches to the canvas's frame; false (and nothing attached) when the frame cannot be
    // written directly: no buffered frame in progress, a monochrome or metafile frame, another
    // image format, a transform, a clip that is not one rectangle, or a shared image.
    bool Attach(TCanvas3D &canvas);
    bool Attached() const { return bits_ != nullptr; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    const QRect &Clip() const { return clip_; }

    // Line from (x0, y0) to (x1, y1) with the pixels the painter draws for the canvas's
    // DrawSegment with a one-pixel solid pen in copy mode.
    void Line(int x0, int y0, int x1, int y1, QRgb rgb);
    // Rows min(y0, y1) .. max(y0, y1) - 1 of column x: the pixels of a vertical Line.
    void VerticalLine(int x, int y0, int y1, QRgb rgb);
    // Columns min(x0, x1) .. max(x0, x1) - 1 of row y: the pixels of a horizontal Line.
    void HorizontalLine(int x0, int x1, int y, QRgb rgb);

    // Where a stamp at (x, y) lands: inside the clip, outside it, or across its edge (where the
    // painter rasterises some shapes differently: those are captured from the painter itself).
    // Near the image border (where the painter cuts lines) it is always Across.
    enum Placement { Inside, Outside, Across };
    Placement Place(const TMarkerStamp &stamp, int x, int y) const;
    // Whether the rectangle lies inside the image.
    bool Contains(const QRect &r) const { return r.left() >= 0 && r.top() >= 0 && r.right() < width_ && r.bottom() < height_; }
    // Pixels of a rectangle inside the image, row by row; writing them back; filling it.
    void Read(const QRect &r, std::vector<QRgb> &out) const;
    void Write(const QRect &r, const std::vector<QRgb> &in);
    void Fill(const QRect &r, QRgb rgb);
    // Pixels x0..x1 of row y in one colour; the caller keeps them inside the clip.
    void Span(int x0, int x1, int y, QRgb rgb)
    {
        QRgb *p = bits_ + static_cast<std::ptrdiff_t>(y) * stride_;
        std::fill(p + x0, p + x1 + 1, rgb);
    }
    // Copies a stamp placed Inside.
    void Blit(const TMarkerStamp &stamp, int x, int y)
    {
        for (const TMarkerStamp::Run &r : stamp.runs) {
            QRgb *p = bits_ + static_cast<std::ptrdiff_t>(y + r.dy) * stride_ + (x + r.dx);
            const QRgb *c = stamp.colours.data() + r.offset;
            for (int k = 0; k < r.len; ++k) p[k] = c[k];
        }
    }

private:
    void Put(int x, int y, QRgb rgb)
    {
        if (x >= clip_.left() && x <= clip_.right() && y >= clip_.top() && y <= clip_.bottom())
            bits_[static_cast<std::ptrdiff_t>(y) * stride_ + x] = rgb;
    }

    QRgb *bits_ = nullptr;
    std::ptrdiff_t stride_ = 0; // pixels per row
    int width_ = 0, height_ = 0;
    QRect clip_;
};

// Connected line segments onto a surface. Segments of a chain that stay in one pixel column
// (dense data: many points per column) are merged into one vertical line: the rows a chain of
// vertical segments covers are exactly min..max-1 of its ends, whatever order it visits them
// in, so one line gives the same pixels as all of them.
class TPolylineWriter {
public:
    explicit TPolylineWriter(TPixelSurface &surface) : surface_(surface) {}
    ~TPolylineWriter() { Flush(); }
    TPolylineWriter(const TPolylineWriter &) = delete;
    TPolylineWriter &operator=(const TPolylineWriter &) = delete;

    void Segment(int x0, int y0, int x1, int y1, QRgb rgb)
    {
        if (x0 == x1) {
            if (open_ && x0 == runX_ && y0 == runEnd_ && rgb == runRgb_) {
                if (y1 < runMin_) runMin_ = y1;
                if (y1 > runMax_) runMax_ = y1;
                runEnd_ = y1;
                return;
            }
            Flush();
            open_ = true;
            runX_ = x0;
            runMin_ = y0 < y1 ? y0 : y1;
            runMax_ = y0 < y1 ? y1 : y0;
            runEnd_ = y1;
            runRgb_ = rgb;
            return;
        }
        Flush();
        surface_.Line(x0, y0, x1, y1, rgb);
    }
    // Draws the pending column; call before anything else is drawn.
    void Flush()
    {
        if (!open_) return;
        open_ = false;
        surface_.VerticalLine(runX_, runMin_, runMax_, runRgb_);
    }

private:
    TPixelSurface &surface_;
    bool open_ = false;
    int runX_ = 0, runMin_ = 0, runMax_ = 0, runEnd_ = 0;
    QRgb runRgb_ = 0;
};
