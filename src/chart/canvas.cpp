#include "chart/canvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <utility>

int FontPointsToPixels(int points) { return MulDiv(points, 96, 72); }

// ---------------------------------------------------------------------------------------------
// Chart pens, brushes, fonts

TChartPen::TChartPen(TColor color, TPenStyle style, int width, bool visible)
    : color_(color), style_(style), width_(width), visible_(visible)
{
}

void TChartPen::Changed()
{
    if (OnChange) OnChange();
}

void TChartPen::SetColor(TColor v) { if (v != color_) { color_ = v; Changed(); } }
void TChartPen::SetStyle(TPenStyle v) { if (v != style_) { style_ = v; Changed(); } }
void TChartPen::SetWidth(int v) { if (v != width_) { width_ = v; Changed(); } }
void TChartPen::SetMode(TPenMode v) { if (v != mode_) { mode_ = v; Changed(); } }
void TChartPen::SetVisible(bool v) { if (v != visible_) { visible_ = v; Changed(); } }
void TChartPen::SetSmallDots(bool v) { if (v != smallDots_) { smallDots_ = v; Changed(); } }

void TChartPen::Assign(const TChartPen &s)
{
    if (&s == this) return;
    const bool diff = color_ != s.color_ || style_ != s.style_ || width_ != s.width_ || mode_ != s.mode_ ||
                      visible_ != s.visible_ || smallDots_ != s.smallDots_;
    color_ = s.color_;
    style_ = s.style_;
    width_ = s.width_;
    mode_ = s.mode_;
    visible_ = s.visible_;
    smallDots_ = s.smallDots_;
    if (diff) Changed();
}

TChartBrush::TChartBrush(TColor color, TBrushStyle style) : color_(color), style_(style) {}

void TChartBrush::Changed()
{
    if (OnChange) OnChange();
}

void TChartBrush::SetColor(TColor v) { if (v != color_) { color_ = v; Changed(); } }
void TChartBrush::SetStyle(TBrushStyle v) { if (v != style_) { style_ = v; Changed(); } }
void TChartBrush::SetBitmap(const QImage &v)
{
    if (v.cacheKey() == bitmap_.cacheKey()) return;
    bitmap_ = v;
    Changed();
}

void TChartBrush::Assign(const TChartBrush &s)
{
    if (&s == this) return;
    const bool diff = color_ != s.color_ || style_ != s.style_ || bitmap_.cacheKey() != s.bitmap_.cacheKey();
    color_ = s.color_;
    style_ = s.style_;
    bitmap_ = s.bitmap_;
    if (diff) Changed();
}

int TFontDesc::Size() const { return MulDiv(Height, 72, 96); }

QFont TFontDesc::ToQFont() const
{
    QFont f(Name);
    f.setPixelSize(std::max(1, Height));
    f.setBold(Style & fsBold);
    f.setItalic(Style & fsItalic);
    f.setUnderline(Style & fsUnderline);
    f.setStrikeOut(Style & fsStrikeOut);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void TChartFont::Set(const TFontDesc &d)
{
    if (d == desc_) return;
    desc_ = d;
    if (OnChange) OnChange();
}

void TChartFont::SetName(const QString &v) { TFontDesc d = desc_; d.Name = v; Set(d); }
void TChartFont::SetHeight(int pixels) { TFontDesc d = desc_; d.Height = pixels; Set(d); }
void TChartFont::SetSize(int points) { TFontDesc d = desc_; d.SetSize(points); Set(d); }
void TChartFont::SetColor(TColor v) { TFontDesc d = desc_; d.Color = v; Set(d); }
void TChartFont::SetStyle(unsigned v) { TFontDesc d = desc_; d.Style = v; Set(d); }
void TChartFont::Assign(const TChartFont &s) { Set(s.desc_); }

// ---------------------------------------------------------------------------------------------
// Canvas

TChartCanvas::TChartCanvas() = default;
TChartCanvas::~TChartCanvas() = default;

TChartCanvas3D::TChartCanvas3D() = default;

TChartCanvas3D::~TChartCanvas3D()
{
    ClosePainter();
    if (surfacePainter_ && painter_ == surfacePainter_) surfacePainter_->restore();
    painter_ = nullptr;
}

namespace {

QPainter::CompositionMode ModeToComposition(TPenMode m)
{
    switch (m) {
    case pmBlack: return QPainter::RasterOp_ClearDestination;
    case pmWhite: return QPainter::RasterOp_SetDestination;
    case pmNop: return QPainter::CompositionMode_Destination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge: return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask: return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case pmCopy: default: return QPainter::CompositionMode_SourceOver;
    }
}

void SetComposition(QPainter *p, QPainter::CompositionMode m)
{
    if (p->compositionMode() != m) p->setCompositionMode(m);
}

bool HaveGui() { return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr; }

} // namespace

void TChartCanvas3D::InvalidateApplied()
{
    penValid_ = brushValid_ = bgValid_ = fontValid_ = false;
}

void TChartCanvas3D::OpenPainter(QPaintDevice *device)
{
    ClosePainter();
    painter_ = nullptr;
    if (!device) return;
    auto *p = new QPainter;
    if (!p->begin(device)) { // a failed surface is ignored, as GDI failures are
        delete p;
        return;
    }
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setRenderHint(QPainter::TextAntialiasing, false);
    ownPainter_ = p;
    painter_ = p;
    InvalidateApplied();
}

void TChartCanvas3D::ClosePainter()
{
    if (!ownPainter_) return;
    if (painter_ == ownPainter_) painter_ = nullptr;
    ownPainter_->end();
    delete ownPainter_;
    ownPainter_ = nullptr;
}

void TChartCanvas3D::ApplyPen()
{
    SetComposition(painter_, ModeToComposition(pen_.Mode));
    if (penValid_ && appliedPen_ == pen_) return;
    QPen qp;
    if (pen_.Style == psClear) {
        qp = QPen(Qt::NoPen);
    } else {
        const QColor c = ColorToQColor(pen_.Color);
        if (pen_.SmallDots) {
            qp = QPen(c, 0);
            qp.setDashPattern({1, 1});
            qp.setCapStyle(Qt::FlatCap);
        } else if (pen_.Width <= 1) {
            // Cosmetic pen: one pixel wide, the end pixel of a line is left out (flat cap).
            qp = QPen(c, 0);
            qp.setCapStyle(Qt::FlatCap);
            qp.setJoinStyle(Qt::MiterJoin);
            switch (pen_.Style) {
            case psDash: qp.setDashPattern({18, 6}); break;
            case psDot: qp.setDashPattern({3, 3}); break;
            case psDashDot: qp.setDashPattern({9, 6, 3, 6}); break;
            case psDashDotDot: qp.setDashPattern({9, 3, 3, 3, 3, 3}); break;
            default: break;
            }
        } else {
            // Wide pens are always solid, with round ends and joins.
            qp = QPen(c, pen_.Width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        }
    }
    painter_->setPen(qp);
    appliedPen_ = pen_;
    penValid_ = true;
}

void TChartCanvas3D::ApplyBrush()
{
    if (brushValid_ && appliedBrush_ == brush_) return;
    QBrush qb;
    if (brush_.Style == bsClear) {
        qb = QBrush(Qt::NoBrush);
    } else if (!brush_.Bitmap.isNull()) {
        qb = QBrush(brush_.Bitmap);
    } else {
        const QColor c = ColorToQColor(brush_.Color);
        switch (brush_.Style) {
        case bsHorizontal: qb = QBrush(c, Qt::HorPattern); break;
        case bsVertical: qb = QBrush(c, Qt::VerPattern); break;
        case bsFDiagonal: qb = QBrush(c, Qt::FDiagPattern); break;
        case bsBDiagonal: qb = QBrush(c, Qt::BDiagPattern); break;
        case bsCross: qb = QBrush(c, Qt::CrossPattern); break;
        case bsDiagCross: qb = QBrush(c, Qt::DiagCrossPattern); break;
        default: qb = QBrush(c); break;
        }
    }
    painter_->setBrush(qb);
    appliedBrush_ = brush_;
    brushValid_ = true;
}

void TChartCanvas3D::ApplyBackground()
{
    if (bgValid_ && appliedBackMode_ == backMode_ && appliedBackColor_ == backColor_) return;
    painter_->setBackgroundMode(backMode_ == bmOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    painter_->setBackground(QBrush(ColorToQColor(backColor_)));
    appliedBackMode_ = backMode_;
    appliedBackColor_ = backColor_;
    bgValid_ = true;
}

void TChartCanvas3D::ApplyFont()
{
    if (!qfontValid_ || !(qfontDesc_ == font_)) {
        qfont_ = font_.ToQFont();
        qfontDesc_ = font_;
        qfontValid_ = true;
    }
    if (!painter_) return;
    if (fontValid_ && appliedFont_ == font_) return;
    painter_->setFont(qfont_);
    appliedFont_ = font_;
    fontValid_ = true;
}

void TChartCanvas3D::SetPen(const TChartPen &pen)
{
    if (!pen.Visible()) {
        pen_.Style = psClear;
        pen_.SmallDots = false;
        return;
    }
    if (pen.SmallDots() && pen.Width() == 1) {
        pen_ = TCanvasPen{pen.Color(), psSolid, 1, pen.Mode(), true};
        return;
    }
    pen_ = TCanvasPen{pen.Color(), pen.Style(), pen.Width(), pen.Mode(), false};
}

// ---- text

int TChartCanvas3D::TextHeightW()
{
    if (!HaveGui()) return 0;
    ApplyFont();
    const QFontMetrics fm = painter_ ? painter_->fontMetrics() : QFontMetrics(qfont_);
    return fm.ascent() + fm.descent();
}

int TChartCanvas3D::MeasureText(const QString &text)
{
    if (!HaveGui() || text.isEmpty()) return 0;
    ApplyFont();
    const QFontMetrics fm = painter_ ? painter_->fontMetrics() : QFontMetrics(qfont_);
    return fm.horizontalAdvance(text);
}

void TChartCanvas3D::DrawText(int x, int y, int angle, const QString &text)
{
    if (!painter_ || text.isEmpty() || !HaveGui()) return; // no fonts without a GUI application
    ApplyFont();
    const QFontMetrics fm = painter_->fontMetrics();
    int dx = 0;
    switch (textAlign_ & TextAlign::HorizontalMask) {
    case TextAlign::Right: dx = -fm.horizontalAdvance(text); break;
    case TextAlign::Center: dx = -(fm.horizontalAdvance(text) / 2); break;
    default: break;
    }
    int baseline = fm.ascent();
    switch (textAlign_ & TextAlign::VerticalMask) {
    case TextAlign::Bottom: baseline = -fm.descent(); break;
    case TextAlign::Baseline: baseline = 0; break;
    default: break;
    }
    SetComposition(painter_, QPainter::CompositionMode_SourceOver);
    painter_->setPen(ColorToQColor(font_.Color)); // text takes the font colour
    penValid_ = false;
    ApplyBackground();
    if (angle % 360 == 0) {
        painter_->drawText(x + dx, y + baseline, text);
        return;
    }
    const QTransform old = painter_->worldTransform();
    painter_->translate(x, y);
    painter_->rotate(-angle); // counter-clockwise on screen
    painter_->drawText(dx, baseline, text);
    painter_->setWorldTransform(old);
}

void TChartCanvas3D::TextOut(int x, int y, const QString &text) { DrawText(x, y, 0, text); }

void TChartCanvas3D::RotatedTextOut(int x, int y, int angle, const QString &text)
{
    brush_.Style = bsClear;
    if (angle >= 361) angle -= 360;
    DrawText(x, y, angle, text);
}

// ---- lines and shapes

void TChartCanvas3D::DrawLineRaw(int x0, int y0, int x1, int y1)
{
    if (!painter_ || (x0 == x1 && y0 == y1)) return;
    ApplyPen();
    if (pen_.Style == psClear) return;
    ApplyBackground(); // gaps of styled lines take the background colour when opaque
    painter_->drawLine(QPoint(x0, y0), QPoint(x1, y1));
}

void TChartCanvas3D::MoveTo(int x, int y) { penPos_ = QPoint(x, y); }

void TChartCanvas3D::LineTo(int x, int y)
{
    DrawLineRaw(penPos_.x(), penPos_.y(), x, y);
    penPos_ = QPoint(x, y);
}

void TChartCanvas3D::DrawSegment(int x0, int y0, int x1, int y1)
{
    MoveTo(x0, y0);
    LineTo(x1, y1);
}

void TChartCanvas3D::HorizLine(int x0, int x1, int y) { DrawSegment(x0, y, x1, y); }
void TChartCanvas3D::VertLine(int x, int y0, int y1) { DrawSegment(x, y0, x, y1); }

void TChartCanvas3D::Rectangle(int left, int top, int right, int bottom)
{
    if (!painter_) return;
    const TRect r = TRect{left, top, right, bottom}.Normalized();
    if (r.IsEmpty()) return;
    ApplyPen();
    ApplyBrush();
    ApplyBackground();
    if (pen_.Style == psClear)
        painter_->drawRect(QRect(r.Left, r.Top, r.Width(), r.Height()));
    else // the outline runs on the outermost pixels of left..right-1 x top..bottom-1
        painter_->drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

void TChartCanvas3D::Ellipse(int left, int top, int right, int bottom)
{
    if (!painter_) return;
    const TRect r = TRect{left, top, right, bottom}.Normalized();
    if (r.IsEmpty()) return;
    ApplyPen();
    ApplyBrush();
    ApplyBackground();
    if (pen_.Style == psClear)
        painter_->drawEllipse(QRect(r.Left, r.Top, r.Width(), r.Height()));
    else
        painter_->drawEllipse(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

void TChartCanvas3D::Polygon(const QPolygon &points)
{
    if (!painter_ || points.size() < 2) return;
    ApplyPen();
    ApplyBrush();
    ApplyBackground();
    painter_->drawPolygon(points);
}

void TChartCanvas3D::SetPixel(int x, int y, TColor color)
{
    if (!painter_) return;
    SetComposition(painter_, QPainter::CompositionMode_SourceOver);
    painter_->setPen(QPen(ColorToQColor(color), 0));
    penValid_ = false;
    painter_->drawPoint(x, y);
}

void TChartCanvas3D::FillRect(const TRect &rect)
{
    if (!painter_) return;
    const TRect r = rect.Normalized();
    if (r.IsEmpty() || brush_.Style == bsClear) return;
    ApplyBrush();
    ApplyBackground();
    SetComposition(painter_, QPainter::CompositionMode_SourceOver);
    painter_->fillRect(r.ToQRect(), painter_->brush());
}

void TChartCanvas3D::FillGradient(const TRect &rect, TColor startColor, TColor endColor, TGradientDirection direction)
{
    if (!painter_) return;
    const TRect r = rect.Normalized();
    if (r.IsEmpty()) return;
    QRgb s = ColorToRGB(startColor), e = ColorToRGB(endColor);
    if (direction != gdTopBottom && direction != gdLeftRight) std::swap(s, e);
    // Colour of band k of n; a single band takes the start colour (no division by n - 1 = 0).
    auto bandColor = [&](int k, int n) {
        if (n <= 1) return QColor(s);
        auto ch = [&](int a, int b) { return a + MulDiv(k, b - a, n - 1); };
        return QColor(ch(qRed(s), qRed(e)), ch(qGreen(s), qGreen(e)), ch(qBlue(s), qBlue(e)));
    };
    SetComposition(painter_, QPainter::CompositionMode_SourceOver);
    QColor last;
    QBrush brush;
    auto fill = [&](int l, int t, int rr, int b, const QColor &c) {
        if (rr <= l || b <= t) return;
        if (c != last) { // a new brush only when the colour changes
            brush = QBrush(c);
            last = c;
        }
        painter_->fillRect(QRect(l, t, rr - l, b - t), brush);
    };
    const int w = r.Width(), h = r.Height();
    switch (direction) {
    case gdTopBottom:
    case gdBottomTop: {
        const int n = std::min(h, 256);
        for (int k = 0; k < n; ++k)
            fill(r.Left, r.Top + MulDiv(k, h, n), r.Right, r.Top + MulDiv(k + 1, h, n), bandColor(k, n));
        break;
    }
    case gdLeftRight:
    case gdRightLeft: {
        const int n = std::min(w, 256);
        for (int k = 0; k < n; ++k)
            fill(r.Left + MulDiv(k, w, n), r.Top, r.Left + MulDiv(k + 1, w, n), r.Bottom, bandColor(k, n));
        break;
    }
    case gdFromCenter: {
        const int n = std::clamp(std::max(w, h) / 2, 1, 256);
        for (int k = 0; k < n; ++k) {
            const int dx = MulDiv(k, w / 2, n), dy = MulDiv(k, h / 2, n);
            fill(r.Left + dx, r.Top + dy, r.Right - dx, r.Bottom - dy, bandColor(k, n));
        }
        break;
    }
    case gdFromTopLeft:
    case gdFromBottomLeft: {
        const int n = std::clamp(std::max(w, h), 1, 256);
        for (int k = 0; k < n; ++k) {
            const int dx = MulDiv(k, w, n), dy = MulDiv(k, h, n);
            if (direction == gdFromTopLeft)
                fill(r.Left, r.Top, r.Right - dx, r.Bottom - dy, bandColor(k, n));
            else
                fill(r.Left, r.Top + dy, r.Right - dx, r.Bottom, bandColor(k, n));
        }
        break;
    }
    }
    brushValid_ = false;
}

// ---- clipping and tools

void TChartCanvas3D::ClipToRect(const TRect &rect)
{
    if (!painter_) return;
    const QRect q = rect.Normalized().ToQRect();
    painter_->setClipRect(q, painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void TChartCanvas3D::ClipPlot(const TRect &plot)
{
    ClipToRect(TRect{plot.Left + 1, plot.Top + 1, plot.Right, plot.Bottom - 1});
}

void TChartCanvas3D::Unclip()
{
    if (painter_) painter_->setClipping(false);
}

void TChartCanvas3D::ResetTools()
{
    pen_.Color = clBlack;
    pen_.Width = 1;
    pen_.Style = psSolid;
    pen_.SmallDots = false;
    brush_.Color = clWhite;
    brush_.Style = bsSolid;
    brush_.Bitmap = QImage();
    font_.Color = clBlack;
    font_.SetSize(10);
    backColor_ = clWhite;
    backMode_ = bmTransparent;
}

// ---- frames

TRect TChartCanvas3D::BeginFrame(QPaintDevice *surface, const TRect &bounds)
{
    if (inFrame_) EndFrame();
    bounds_ = bounds;
    surface_ = surface;
    surfacePainter_ = nullptr;
    inFrame_ = true;
    frameBuffered_ = useBackBuffer_;
    if (!useBackBuffer_) {
        OpenPainter(surface);
        return bounds;
    }
    const int w = std::max(1, bounds.Width()), h = std::max(1, bounds.Height());
    if (buffer_ && (buffer_->width() != w || buffer_->height() != h)) buffer_.reset();
    if (!buffer_) {
        buffer_ = std::make_unique<QImage>(w, h, QImage::Format_RGB32);
        buffer_->fill(Qt::white);
        ++bufferCreations_;
    }
    OpenPainter(buffer_.get());
    return TRect{0, 0, bounds.Width(), bounds.Height()};
}

TRect TChartCanvas3D::BeginFrame(QPainter *surfacePainter, const TRect &bounds)
{
    if (!useBackBuffer_) {
        if (inFrame_) EndFrame();
        bounds_ = bounds;
        surface_ = nullptr;
        surfacePainter_ = surfacePainter;
        inFrame_ = true;
        frameBuffered_ = false;
        painter_ = surfacePainter;
        if (painter_) {
            painter_->save();
            painter_->setRenderHint(QPainter::Antialiasing, false);
            painter_->setRenderHint(QPainter::TextAntialiasing, false);
        }
        InvalidateApplied();
        return bounds;
    }
    const TRect r = BeginFrame(static_cast<QPaintDevice *>(nullptr), bounds);
    surfacePainter_ = surfacePainter;
    return r;
}

void TChartCanvas3D::BlitBuffer(QPainter &p, QPoint origin)
{
    const auto mode = p.compositionMode();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(origin, *buffer_);
    p.setCompositionMode(mode);
}

void TChartCanvas3D::EndFrame() { EndFrame(QPoint(bounds_.Left, bounds_.Top)); }

void TChartCanvas3D::EndFrame(QPoint origin)
{
    if (!inFrame_) return;
    inFrame_ = false;
    if (!frameBuffered_ || !buffer_) {
        // drawn straight onto the surface (or the buffer went away): nothing to copy
        if (surfacePainter_ && painter_ == surfacePainter_) surfacePainter_->restore();
        ClosePainter();
        painter_ = nullptr;
        surfacePainter_ = nullptr;
        surface_ = nullptr;
        frameBuffered_ = false;
        return;
    }
    frameBuffered_ = false;
    ClosePainter();
    painter_ = nullptr;
    if (monochrome_)
        *buffer_ = buffer_->convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::ThresholdDither)
                       .convertToFormat(QImage::Format_RGB32);
    if (surfacePainter_) {
        BlitBuffer(*surfacePainter_, origin);
    } else if (surface_) {
        QPainter p;
        if (p.begin(surface_)) BlitBuffer(p, origin);
    }
    bufferStale_ = false;
    surfacePainter_ = nullptr;
    surface_ = nullptr;
}

bool TChartCanvas3D::ShowCached() { return ShowCached(home_); }

bool TChartCanvas3D::ShowCached(QPaintDevice *surface)
{
    if (bufferStale_ || !buffer_) return false;
    if (surface) {
        QPainter p;
        if (p.begin(surface)) BlitBuffer(p, QPoint(0, 0));
    }
    return true;
}

void TChartCanvas3D::SetUseBackBuffer(bool on)
{
    if (on == useBackBuffer_) return;
    useBackBuffer_ = on;
    if (!on) {
        if (ownPainter_ && buffer_ && ownPainter_->device() == buffer_.get()) ClosePainter();
        buffer_.reset();
        bufferStale_ = true;
    }
}

void TChartCanvas3D::SetMonochrome(bool on)
{
    if (on == monochrome_) return;
    monochrome_ = on;
    if (ownPainter_ && buffer_ && ownPainter_->device() == buffer_.get()) ClosePainter();
    buffer_.reset();
    bufferStale_ = true;
}
