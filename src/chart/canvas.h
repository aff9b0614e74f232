#pragma once
// The chart's drawing surface: chart pens, brushes and fonts, and the canvas
// that draws lines, shapes and text with GDI pixel rules on a QPainter, clips to the plot and
// double-buffers whole frames in a QImage.
#include "chart/chart_types.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QString>

#include <functional>
#include <memory>

class QPainter;
class QPaintDevice;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TGradientDirection {
    gdTopBottom, gdBottomTop, gdLeftRight, gdRightLeft, gdFromCenter, gdFromTopLeft, gdFromBottomLeft
};

// Font style bits.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Text alignment values of the canvas (the GDI text-alignment flags).
namespace TextAlign {
constexpr unsigned Left = 0;
constexpr unsigned Top = 0;
constexpr unsigned Right = 2;
constexpr unsigned Center = 6;
constexpr unsigned Bottom = 8;
constexpr unsigned Baseline = 24;
constexpr unsigned HorizontalMask = 6;
constexpr unsigned VerticalMask = 24;
} // namespace TextAlign

// Background modes for text, styled lines and hatched brushes.
constexpr int bmTransparent = 1;
constexpr int bmOpaque = 2;

// Pixel height of a font of the given point size on the 96-dpi logical screen.
int FontPointsToPixels(int points);

// ---------------------------------------------------------------------------------------------
// Chart pens, brushes and fonts. Each carries a change notification (OnChange) that the owner
// points at its repaint request. Setters compare first and notify only on a change.

class TChartPen {
public:
    explicit TChartPen(TColor color = clBlack, TPenStyle style = psSolid, int width = 1, bool visible = true);
    TChartPen(const TChartPen &) = delete;
    TChartPen &operator=(const TChartPen &) = delete;
    virtual ~TChartPen() = default;

    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle v);
    int Width() const { return width_; }
    void SetWidth(int v);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool SmallDots() const { return smallDots_; }
    void SetSmallDots(bool v);

    // Copies every setting (not OnChange); notifies once when anything changed.
    void Assign(const TChartPen &source);

    std::function<void()> OnChange;

protected:
    void Changed();

private:
    TColor color_;
    TPenStyle style_;
    int width_;
    TPenMode mode_ = pmCopy;
    bool visible_;
    bool smallDots_ = false;
};

class TChartHiddenPen : public TChartPen {
public:
    TChartHiddenPen() : TChartPen(clBlack, psSolid, 1, false) {}
};

class TDottedGrayPen : public TChartPen {
public:
    TDottedGrayPen() : TChartPen(clGray, psDot) {}
};

class TDarkGrayPen : public TChartPen {
public:
    TDarkGrayPen() : TChartPen(clGray) {}
};

class TChartAxisPen : public TChartPen {
public:
    TChartAxisPen() : TChartPen(clBlack, psSolid, 2) {}
};

class TChartBrush {
public:
    explicit TChartBrush(TColor color = clDefault, TBrushStyle style = bsSolid);
    TChartBrush(const TChartBrush &) = delete;
    TChartBrush &operator=(const TChartBrush &) = delete;

    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle v);
    // Optional pattern bitmap; a null image means none.
    const QImage &Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage &v);

    void Assign(const TChartBrush &source);

    std::function<void()> OnChange;

private:
    void Changed();
    TColor color_;
    TBrushStyle style_;
    QImage bitmap_;
};

// A font description: face name, pixel height, colour and style bits.
struct TFontDesc {
    QString Name = QStringLiteral("Arial");
    int Height = FontPointsToPixels(8); // character height in pixels
    TColor Color = clBlack;
    unsigned Style = 0;                 // TFontStyle bits

    int Size() const;                   // point size at 96 dpi
    void SetSize(int points) { Height = FontPointsToPixels(points); }
    bool operator==(const TFontDesc &) const = default;
    QFont ToQFont() const;
};

// A chart font: "Arial", size 8, black, no style.
class TChartFont {
public:
    TChartFont() = default;
    TChartFont(const TChartFont &) = delete;
    TChartFont &operator=(const TChartFont &) = delete;

    const QString &Name() const { return desc_.Name; }
    void SetName(const QString &v);
    int Height() const { return desc_.Height; }
    void SetHeight(int pixels);
    int Size() const { return desc_.Size(); }
    void SetSize(int points);
    TColor Color() const { return desc_.Color; }
    void SetColor(TColor v);
    unsigned Style() const { return desc_.Style; }
    void SetStyle(unsigned v);

    const TFontDesc &Desc() const { return desc_; }
    void Assign(const TChartFont &source);

    std::function<void()> OnChange;

private:
    void Set(const TFontDesc &d);
    TFontDesc desc_;
};

// Base of the objects that own a font (axis titles, chart titles, legend).
class TChartFontObject {
public:
    TChartFontObject() = default;
    virtual ~TChartFontObject() = default;
    TChartFont &Font() { return font_; }
    const TChartFont &Font() const { return font_; }

protected:
    TChartFont font_;
};

// ---------------------------------------------------------------------------------------------
// Canvas state.

struct TCanvasPen {
    TColor Color = clBlack;
    TPenStyle Style = psSolid;
    int Width = 1;
    TPenMode Mode = pmCopy;
    bool SmallDots = false; // cosmetic alternating-dot pen (set by SetPen only)
    bool operator==(const TCanvasPen &) const = default;
};

struct TCanvasBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    QImage Bitmap; // pattern; null = none
    bool operator==(const TCanvasBrush &o) const
    {
        return Color == o.Color && Style == o.Style && Bitmap.cacheKey() == o.Bitmap.cacheKey();
    }
};

// The target surface, current pen, brush, font, text alignment and background of a chart.
class TChartCanvas {
public:
    TChartCanvas();
    virtual ~TChartCanvas();
    TChartCanvas(const TChartCanvas &) = delete;
    TChartCanvas &operator=(const TChartCanvas &) = delete;

    TCanvasPen &Pen() { return pen_; }
    TCanvasBrush &Brush() { return brush_; }
    TFontDesc &Font() { return font_; }
    const TCanvasPen &Pen() const { return pen_; }
    const TCanvasBrush &Brush() const { return brush_; }
    const TFontDesc &Font() const { return font_; }
    void AssignFont(const TChartFont &font) { font_ = font.Desc(); }

    unsigned TextAlign() const { return textAlign_; }
    void SetTextAlign(unsigned align) { textAlign_ = align; }
    int BackMode() const { return backMode_; }
    void SetBackMode(int mode) { backMode_ = mode; }
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor color) { backColor_ = color; }

    // The surface the chart shows itself on (its window); ShowCached() copies to it.
    QPaintDevice *HomeSurface() const { return home_; }
    void SetHomeSurface(QPaintDevice *surface) { home_ = surface; }

    // The painter of the frame in progress; null outside a frame (drawing is then ignored).
    QPainter *Painter() const { return painter_; }

protected:
    TCanvasPen pen_;
    TCanvasBrush brush_;
    TFontDesc font_;
    unsigned textAlign_ = TextAlign::Left | TextAlign::Top;
    int backMode_ = bmOpaque;
    TColor backColor_ = clWhite;
    QPaintDevice *home_ = nullptr;
    QPainter *painter_ = nullptr;
};

// The drawing operations of a chart canvas.
class TCanvas3D : public TChartCanvas {
public:
    // Pen from a chart pen: hidden -> psClear; small dots (width 1) -> alternating dots;
    // otherwise colour, style, width and mode of the chart pen.
    virtual void SetPen(const TChartPen &pen) = 0;

    virtual int TextHeightW() = 0;                       // height of "W" in the current font
    virtual int MeasureText(const QString &text) = 0;    // width in the current font
    virtual void TextOut(int x, int y, const QString &text) = 0;
    virtual void RotatedTextOut(int x, int y, int angle, const QString &text) = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;               // the end pixel is not drawn
    virtual void DrawSegment(int x0, int y0, int x1, int y1) = 0;
    virtual void HorizLine(int x0, int x1, int y) = 0;
    virtual void VertLine(int x, int y0, int y1) = 0;
    virtual void Rectangle(int left, int top, int right, int bottom) = 0; // covers left..right-1 x top..bottom-1
    virtual void Ellipse(int left, int top, int right, int bottom) = 0;
    virtual void Polygon(const QPolygon &points) = 0;
    virtual void SetPixel(int x, int y, TColor color) = 0;
    virtual void FillRect(const TRect &rect) = 0;
    virtual void FillGradient(const TRect &rect, TColor startColor, TColor endColor, TGradientDirection direction) = 0;

    virtual void ClipToRect(const TRect &rect) = 0;
    virtual void ClipPlot(const TRect &plot) = 0;
    virtual void Unclip() = 0;
    virtual void ResetTools() = 0;

    // Frames: BeginFrame returns the rectangle to draw in; EndFrame shows the frame.
    virtual TRect BeginFrame(QPaintDevice *surface, const TRect &bounds) = 0;
    virtual TRect BeginFrame(QPainter *surfacePainter, const TRect &bounds) = 0;
    virtual void EndFrame() = 0;
    virtual void EndFrame(QPoint origin) = 0;
    virtual bool ShowCached() = 0;
    virtual bool ShowCached(QPaintDevice *surface) = 0;
    virtual void MarkDirty() = 0;
};

// The canvas implementation: QPainter over a QImage back buffer (Format_RGB32) or straight onto
// a window, image, printer or QPicture; antialiasing off; GDI pixel rules.
class TChartCanvas3D : public TCanvas3D {
public:
    TChartCanvas3D();
    ~TChartCanvas3D() override;

    void SetPen(const TChartPen &pen) override;

    int TextHeightW() override;
    int MeasureText(const QString &text) override;
    void TextOut(int x, int y, const QString &text) override;
    void RotatedTextOut(int x, int y, int angle, const QString &text) override;

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void DrawSegment(int x0, int y0, int x1, int y1) override;
    void HorizLine(int x0, int x1, int y) override;
    void VertLine(int x, int y0, int y1) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Polygon(const QPolygon &points) override;
    void SetPixel(int x, int y, TColor color) override;
    void FillRect(const TRect &rect) override;
    void FillGradient(const TRect &rect, TColor startColor, TColor endColor, TGradientDirection direction) override;

    void ClipToRect(const TRect &rect) override;
    void ClipPlot(const TRect &plot) override;
    void Unclip() override;
    void ResetTools() override;

    TRect BeginFrame(QPaintDevice *surface, const TRect &bounds) override;
    TRect BeginFrame(QPainter *surfacePainter, const TRect &bounds) override;
    void EndFrame() override;
    void EndFrame(QPoint origin) override;
    bool ShowCached() override;
    bool ShowCached(QPaintDevice *surface) override;
    void MarkDirty() override { bufferStale_ = true; }

    QPoint PenPos() const { return penPos_; }

    bool UseBackBuffer() const { return useBackBuffer_; }
    void SetUseBackBuffer(bool on);          // off frees the bitmap and marks it stale
    bool Monochrome() const { return monochrome_; }
    void SetMonochrome(bool on);             // a change frees the bitmap and marks it stale
    bool IsMetafile() const { return metafile_; }
    void SetMetafile(bool on) { metafile_ = on; }
    bool BufferStale() const { return bufferStale_; }
    const QImage *BackBuffer() const { return buffer_.get(); }
    int BufferCreations() const { return bufferCreations_; } // how many bitmaps were made
    const TRect &Bounds() const { return bounds_; }
    bool InFrame() const { return inFrame_; }

private:
    struct TextMetrics {
        int ascent = 0, descent = 0;
    };
    void OpenPainter(QPaintDevice *device);
    void ClosePainter();
    void InvalidateApplied();
    void ApplyPen();
    void ApplyBrush();
    void ApplyBackground();
    void ApplyFont();
    void DrawLineRaw(int x0, int y0, int x1, int y1);
    void DrawText(int x, int y, int angle, const QString &text);
    void BlitBuffer(QPainter &p, QPoint origin);

    QPainter *ownPainter_ = nullptr;      // painter this canvas opened (and must end)
    QPainter *surfacePainter_ = nullptr;  // caller's painter for the final surface
    QPaintDevice *surface_ = nullptr;     // final surface of the frame in progress
    std::unique_ptr<QImage> buffer_;
    bool useBackBuffer_ = true;
    bool bufferStale_ = true;
    bool monochrome_ = false;
    bool metafile_ = false;
    bool inFrame_ = false;
    bool frameBuffered_ = false;          // the frame in progress draws into buffer_
    int bufferCreations_ = 0;
    TRect bounds_;
    QPoint penPos_;

    // What the painter currently holds, to skip redundant state changes.
    bool penValid_ = false, brushValid_ = false, bgValid_ = false, fontValid_ = false;
    TCanvasPen appliedPen_;
    TCanvasBrush appliedBrush_;
    int appliedBackMode_ = 0;
    TColor appliedBackColor_ = 0;
    TFontDesc appliedFont_;
    QFont qfont_;
    TFontDesc qfontDesc_;
    bool qfontValid_ = false;
};
