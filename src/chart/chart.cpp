#include "chart/chart.h"
#include "chart/pixel_surface.h"
#include "platform/error.h"

#include <QCursor>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QTimer>

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr int kTitleGap = 5; // pixels between a title (or foot) and the plot

} // namespace

// ---- walls and titles ------------------------------------------------------------------------

TChartWall::TChartWall(std::function<void()> changed, TColor color, TBrushStyle brushStyle)
    : changed_(std::move(changed)), brush_(clDefault, brushStyle), color_(color)
{
    pen_.OnChange = changed_;
    brush_.OnChange = changed_;
}

void TChartWall::SetColor(TColor v)
{
    if (color_ == v) return;
    color_ = v;
    if (changed_) changed_();
}

void TChartWall::SetDark3D(bool v)
{
    if (dark3D_ == v) return;
    dark3D_ = v;
    if (changed_) changed_();
}

void TChartWall::SetSize(int v)
{
    if (size_ == v) return;
    size_ = v;
    if (changed_) changed_();
}

TChartTitle::TChartTitle(std::function<void()> changed) : changed_(std::move(changed))
{
    font_.OnChange = changed_;
    brush_.OnChange = changed_;
    frame_.OnChange = changed_;
}

#define TITLE_SETTER(Name, field, Type)                                                                     \
    void TChartTitle::Set##Name(Type v)                                                                     \
    {                                                                                                       \
        if (field == v) return;                                                                             \
        field = v;                                                                                          \
        if (changed_) changed_();                                                                           \
    }
TITLE_SETTER(AdjustFrame, adjustFrame_, bool)
TITLE_SETTER(Alignment, alignment_, TAlignment)
TITLE_SETTER(Color, color_, TColor)
TITLE_SETTER(Text, text_, const QStringList &)
TITLE_SETTER(Visible, visible_, bool)
#undef TITLE_SETTER

// ---- panel -----------------------------------------------------------------------------------

TCustomChartPanel::TCustomChartPanel(QWidget *parent)
    : QWidget(parent), gradient_([this] { Invalidate(); })
{
    // The paint covers every pixel: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(400, 250);
    canvas_.SetHomeSurface(this);
    // A timer, not a posted call: posted calls run in the same pass as the posted work that
    // asked for the paint, before any input or timer.
    afterWaiting_.setSingleShot(true);
    afterWaiting_.setInterval(0);
    connect(&afterWaiting_, &QTimer::timeout, this, &TCustomChartPanel::PaintAfterWaiting);
}

TCustomChartPanel::~TCustomChartPanel() = default;

void TCustomChartPanel::Invalidate()
{
    ++changeCount_;
    if (!autoRepaint_) return;
    canvas_.MarkDirty();
    // One scheduled paint serves every request made before it (a sweep adds a million points).
    if (updatePending_) return;
    updatePending_ = true;
    if (paintAfterWaiting_) {
        prepareFirst_ = true;
        afterWaiting_.start();
    } else {
        update();
    }
}

void TCustomChartPanel::PaintAfterWaiting()
{
    // Work done ahead gets a turn of its own, and the paint another.
    if (std::exchange(prepareFirst_, false)) {
        if (PrepareFrame()) {
            afterWaiting_.start();
            return;
        }
    }
    update();
}

void TCustomChartPanel::paintEvent(QPaintEvent *)
{
    updatePending_ = false;
    if (printingNow_) return;
    if (canvas_.ShowCached()) return;
    DrawTo(this, TRect{0, 0, width(), height()});
}

void TCustomChartPanel::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    ++changeCount_;
    canvas_.MarkDirty();
}

void TCustomChartPanel::NormalizePlotRect()
{
    TRect &r = plotRect_;
    r.Left = std::max(r.Left, panelBounds_.Left);
    r.Top = std::max(r.Top, panelBounds_.Top);
    if (r.Right < r.Left) r.Right = r.Left + 1;
    else if (r.Right == r.Left) r.Right = r.Left + width();
    if (r.Bottom < r.Top) r.Bottom = r.Top + 1;
    else if (r.Bottom == r.Top) r.Bottom = r.Top + height();
}

void TCustomChartPanel::DrawBevel(const TRect &r, TPanelBevel kind, int width)
{
    if (kind == bvNone || width <= 0) return;
    const TColor topLeft = kind == bvRaised ? clBtnHighlight : clBtnShadow;
    const TColor bottomRight = kind == bvRaised ? clBtnShadow : clBtnHighlight;
    TCanvas3D &c = canvas_;
    c.Brush().Style = bsSolid;
    for (int i = 0; i < width; ++i) {
        const TRect q{r.Left + i, r.Top + i, r.Right - i, r.Bottom - i};
        c.Brush().Color = topLeft;
        c.FillRect(TRect{q.Left, q.Top, q.Right, q.Top + 1});
        c.FillRect(TRect{q.Left, q.Top, q.Left + 1, q.Bottom});
        c.Brush().Color = bottomRight;
        c.FillRect(TRect{q.Left, q.Bottom - 1, q.Right, q.Bottom});
        c.FillRect(TRect{q.Right - 1, q.Top, q.Right, q.Bottom});
    }
}

void TCustomChartPanel::DrawBackgroundAndBevels()
{
    TCanvas3D &c = canvas_;
    if (gradient_.Visible()) {
        c.FillGradient(panelBounds_, gradient_.StartColor(), gradient_.EndColor(), gradient_.Direction());
    } else if (!printingNow_) {
        c.Brush().Style = bsSolid;
        c.Brush().Color = color_;
        c.FillRect(panelBounds_);
    }
    if (printingNow_) return;
    TRect r = panelBounds_;
    if (bevelOuter_ != bvNone) {
        DrawBevel(r, bevelOuter_, bevelWidth_);
        r = TRect{r.Left + bevelWidth_, r.Top + bevelWidth_, r.Right - bevelWidth_, r.Bottom - bevelWidth_};
    }
    if (borderWidth_ > 0) {
        c.Brush().Style = bsSolid;
        c.Brush().Color = color_;
        for (int i = 0; i < borderWidth_; ++i) {
            const TRect q{r.Left + i, r.Top + i, r.Right - i, r.Bottom - i};
            c.FillRect(TRect{q.Left, q.Top, q.Right, q.Top + 1});
            c.FillRect(TRect{q.Left, q.Bottom - 1, q.Right, q.Bottom});
            c.FillRect(TRect{q.Left, q.Top, q.Left + 1, q.Bottom});
            c.FillRect(TRect{q.Right - 1, q.Top, q.Right, q.Bottom});
        }
        r = TRect{r.Left + borderWidth_, r.Top + borderWidth_, r.Right - borderWidth_, r.Bottom - borderWidth_};
    }
    DrawBevel(r, bevelInner_, bevelWidth_);
}

void TCustomChartPanel::DrawTo(QPaintDevice *surface, const TRect &rect) { DrawFrame(canvas_.BeginFrame(surface, rect)); }

void TCustomChartPanel::DrawTo(QPainter *painter, const TRect &rect) { DrawFrame(canvas_.BeginFrame(painter, rect)); }

void TCustomChartPanel::DrawFrame(const TRect &bounds)
{
    panelBounds_ = bounds;
    const int w = panelBounds_.Width(), h = panelBounds_.Height();
    plotRect_ = TRect{panelBounds_.Left + borderWidth_ + MulDiv(marginLeft_, w, 100),
                      panelBounds_.Top + borderWidth_ + MulDiv(marginTop_, h, 100),
                      panelBounds_.Right - borderWidth_ - MulDiv(marginRight_, w, 100),
                      panelBounds_.Bottom - borderWidth_ - MulDiv(marginBottom_, h, 100)};
    NormalizePlotRect();
    DrawBackgroundAndBevels();
    DrawFrameContent();
    canvas_.EndFrame();
}

QImage TCustomChartPanel::RenderToBitmap(TColor background, const TRect &rect)
{
    QImage img(std::max(1, rect.Width()), std::max(1, rect.Height()), QImage::Format_RGB32);
    img.fill(Qt::white);
    if (background != clWhite) img.fill(ColorToQColor(background));
    const bool buffered = canvas_.UseBackBuffer();
    canvas_.SetUseBackBuffer(false);
    DrawTo(&img, rect);
    canvas_.SetUseBackBuffer(buffered);
    return img;
}

QImage TCustomChartPanel::RenderToFrame(const TRect &rect)
{
    QImage img(std::max(1, rect.Width()), std::max(1, rect.Height()), QImage::Format_RGB32);
    img.fill(Qt::white);
    const bool buffered = canvas_.UseBackBuffer();
    canvas_.SetUseBackBuffer(true);
    DrawTo(&img, rect);
    canvas_.SetUseBackBuffer(buffered);
    canvas_.MarkDirty(); // the widget's own frame is drawn anew at its size
    return img;
}

QPicture TCustomChartPanel::RenderToMetafile(bool, const TRect &rect)
{
    QPicture pic;
    pic.setBoundingRect(QRect(0, 0, std::max(1, rect.Width() - 1), std::max(1, rect.Height() - 1)));
    const bool buffered = canvas_.UseBackBuffer();
    canvas_.SetUseBackBuffer(false);
    canvas_.SetMetafile(true);
    DrawTo(&pic, rect);
    canvas_.SetMetafile(false);
    canvas_.SetUseBackBuffer(buffered);
    return pic;
}

TRect TCustomChartPanel::ProportionalMargins(int pageWidth, int pageHeight, int dpiX, int dpiY) const
{
    const double cw = std::max(1, width()), chh = std::max(1, height());
    auto m = [&](double a, double b, double x) {
        const double v = std::nearbyint((b - (a - a * 40 * 0.01) * x * dpiX / dpiY) * 100 / b);
        return static_cast<int>(v) / 2;
    };
    if (chh < cw) {
        const int tb = m(pageWidth, pageHeight, chh / cw);
        return TRect{15, tb, 15, tb};
    }
    const int lr = m(pageHeight, pageWidth, cw / chh);
    return TRect{lr, 15, lr, 15};
}

TRect TCustomChartPanel::PrintPageRect(int pageWidth, int pageHeight, int dpiX, int dpiY)
{
    if (printProportional_) PageMarginsPercent = ProportionalMargins(pageWidth, pageHeight, dpiX, dpiY);
    const TRect &m = PageMarginsPercent;
    return TRect{RoundEven(m.Left * double(pageWidth) / 100), RoundEven(m.Top * double(pageHeight) / 100),
                 pageWidth - RoundEven(m.Right * double(pageWidth) / 100),
                 pageHeight - RoundEven(m.Bottom * double(pageHeight) / 100)};
}

QSize TCustomChartPanel::DetailScaledSize() const
{
    const int cw = width(), chh = height();
    return QSize(cw - MulDiv(cw, PrintDetailLevel, 100), chh - MulDiv(chh, PrintDetailLevel, 100));
}

void TCustomChartPanel::PrintPartialCanvas(QPainter &painter, const TRect &rect)
{
    const TRect r = rect.Normalized();
    const QSize logical = DetailScaledSize();
    painter.save();
    painter.setViewport(r.ToQRect());
    painter.setWindow(0, 0, std::max(1, logical.width()), std::max(1, logical.height()));
    painter.setClipRect(QRect(0, 0, logical.width(), logical.height()));
    const bool buffered = canvas_.UseBackBuffer();
    canvas_.SetUseBackBuffer(false);
    const bool wasPrinting = printingNow_;
    SetPrintingNow(true);
    try {
        DrawTo(&painter, TRect{0, 0, logical.width(), logical.height()});
    } catch (...) {
        SetPrintingNow(wasPrinting);
        canvas_.SetUseBackBuffer(buffered);
        painter.restore();
        throw;
    }
    SetPrintingNow(wasPrinting);
    canvas_.SetUseBackBuffer(buffered);
    painter.restore();
}

void TCustomChartPanel::SetPrintingNow(bool v)
{
    if (v == printingNow_) return;
    printingNow_ = v;
    if (OnPrintLook) OnPrintLook(v);
}

// The header line in the page's top margin (inside the chart's rectangle where there is none).
void TCustomChartPanel::PrintHeaderLine(QPainter &painter, const TRect &chart)
{
    const QString text = OnPrintHeader ? OnPrintHeader() : QString();
    if (text.isEmpty()) return;
    painter.save();
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int h = painter.fontMetrics().height();
    const int y = chart.Top >= 2 * h ? chart.Top - h - h / 2 : chart.Top;
    painter.drawText(QRect(chart.Left, y, std::max(1, chart.Right - chart.Left), h), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
    painter.restore();
}

void TCustomChartPanel::Print(QPrinter &printer)
{
    printer.setDocName(objectName());
    QPainter painter;
    if (!painter.begin(&printer)) throw sky::Error(QStringLiteral("The print job could not be started"));
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const TRect r = PrintPageRect(page.width(), page.height(), printer.logicalDpiX(), printer.logicalDpiY());
    try {
        PrintPartialCanvas(painter, r);
        PrintHeaderLine(painter, r);
    } catch (...) {
        printer.abort();
        if (printer.printerState() == QPrinter::Active && painter.isActive()) painter.end();
        throw;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw sky::Error(QStringLiteral("The print job could not be completed"));
}

// ---- axes and series -------------------------------------------------------------------------

TCustomAxisPanel::TCustomAxisPanel(QWidget *parent)
    : TCustomChartPanelExtended(parent), seriesList_(this), bottomAxis_(this, true, false), topAxis_(this, true, true),
      leftAxis_(this, false, false), rightAxis_(this, false, true), depthAxis_(this)
{
}

TCustomAxisPanel::~TCustomAxisPanel()
{
    destroying_ = true;
    autoRepaint_ = false;
    while (seriesList_.Count() > 0) seriesList_.At(0)->SetParentChart(nullptr);
}

void TCustomAxisPanel::SetMonochrome(bool v)
{
    if (canvas_.Monochrome() == v) return;
    canvas_.SetMonochrome(v);
    Invalidate();
}

QPoint TCustomAxisPanel::CursorPos() const { return mapFromGlobal(QCursor::pos()); }

void TCustomAxisPanel::LayoutAxes()
{
    for (TCustomChartAxis *a : Axes()) a->AdjustRange();
    NormalizePlotRect();
    TRect running = plotRect_;
    for (TCustomChartAxis *a : Axes()) {
        if (!a->TakesPart()) continue;
        TRect shrunk = running;
        a->ReserveSpace(shrunk, true);
        const TRect inter{std::max(running.Left, shrunk.Left), std::max(running.Top, shrunk.Top),
                          std::min(running.Right, shrunk.Right), std::min(running.Bottom, shrunk.Bottom)};
        if (!inter.IsEmpty()) running = inter;
    }
    plotRect_ = running;
    NormalizePlotRect();
    for (TCustomChartAxis *a : Axes()) a->UpdatePixelRange();
}

TRect TCustomAxisPanel::SeriesMargins(const TCustomChartAxis *a) const
{
    TRect m;
    for (TChartSeries *s : seriesList_) {
        if (!s->Active() || !s->BelongsToAxis(a)) continue;
        int lo = 0, hi = 0;
        if (a->IsHorizontal()) {
            s->MarginsX(lo, hi);
            if (a->AutomaticMinimum()) m.Left = std::max(m.Left, lo);
            if (a->AutomaticMaximum()) m.Right = std::max(m.Right, hi);
        } else {
            s->MarginsY(lo, hi); // top, bottom
            if (a->AutomaticMaximum()) m.Top = std::max(m.Top, lo);
            if (a->AutomaticMinimum()) m.Bottom = std::max(m.Bottom, hi);
        }
    }
    return m;
}

void TCustomAxisPanel::ApplySeriesMargins()
{
    for (TCustomChartAxis *a : {static_cast<TCustomChartAxis *>(&topAxis_), static_cast<TCustomChartAxis *>(&leftAxis_),
                                static_cast<TCustomChartAxis *>(&rightAxis_), static_cast<TCustomChartAxis *>(&bottomAxis_)})
        a->ApplyMargins(SeriesMargins(a));
}

bool TCustomAxisPanel::PrepareFrame()
{
    if (!isVisible() || !canvas_.UseBackBuffer()) return false; // only buffered frames draw densely
    const std::array<TCustomChartAxis *, 2> vertical{&leftAxis_, &rightAxis_};
    std::array<std::optional<TPixelMapper>, 2> next;
    for (size_t k = 0; k < vertical.size(); ++k)
        vertical[k]->WithNextRange(SeriesMargins(vertical[k]), [&](TCustomChartAxis &a) {
            if (a.PixelSize() > 0) next[k].emplace(&a); // not laid out yet: nothing to go by
        });
    return MapRowsAhead(seriesList_, [&](const TCustomChartAxis *a) -> std::optional<TPixelMapper> {
        for (size_t k = 0; k < vertical.size(); ++k)
            if (vertical[k] == a && next[k] && next[k]->Linear()) return next[k];
        return std::nullopt;
    });
}

void TCustomAxisPanel::DrawAxes()
{
    if (!axisVisible_) return;
    if (OnBeforeDrawAxes) OnBeforeDrawAxes(static_cast<TChart *>(this));
    for (TCustomChartAxis *a : Axes())
        if (a->TakesPart()) a->DrawAxis(true);
}

void TCustomAxisPanel::DrawSeries()
{
    if (OnBeforeDrawSeries) OnBeforeDrawSeries(static_cast<TChart *>(this));
    for (TChartSeries *s : seriesList_) {
        if (!s->Active()) continue;
        s->UpdateVisibleRange();
        if (s->FirstShown() < 0) continue;
        s->DoBeforeDraw();
        if (clipPoints_) canvas_.ClipPlot(plotRect_);
        s->DrawPoints();
        if (clipPoints_) canvas_.Unclip();
        s->DoAfterDraw();
    }
}

// ---- chart -----------------------------------------------------------------------------------

TCustomChart::TCustomChart(QWidget *parent)
    : TCustomAxisPanel(parent), backWall_([this] { Invalidate(); }, clDefault, bsClear),
      leftWall_([this] { Invalidate(); }, 0x80FFFF, bsSolid), bottomWall_([this] { Invalidate(); }, clWhite, bsSolid),
      title_([this] { Invalidate(); }), foot_([this] { Invalidate(); }), legend_([this] { Invalidate(); })
{
    InitMouse();
}

void TCustomChart::DrawFrameContent()
{
    for (TChartSeries *s : SeriesList())
        if (s->Active()) s->BeforeDrawChart();
    if (title_.Visible()) DrawTitle(title_, false);
    if (foot_.Visible()) DrawTitle(foot_, true);
    LayoutAxes();
    ApplySeriesMargins();
    DrawBackWall();
    DrawAxes();
    DrawSeries();
    if (DrawZoomRectangle) DrawZoomRectangle();
    canvas_.ResetTools();
    if (OnAfterDraw) OnAfterDraw(static_cast<TChart *>(this));
}

void TCustomChart::DrawBackWall()
{
    TCanvas3D &c = canvas_;
    c.SetPen(backWall_.Pen());
    TCanvasBrush &b = c.Brush();
    if (!backWall_.Brush().Bitmap().isNull()) {
        b.Style = bsSolid;
        b.Bitmap = backWall_.Brush().Bitmap();
        b.Color = backWall_.Color();
    } else if (backWall_.Color() == clDefault && backWall_.Brush().Style() == bsSolid) {
        b.Style = bsClear;
        b.Bitmap = QImage();
    } else {
        b.Style = backWall_.Brush().Style();
        b.Bitmap = QImage();
        b.Color = backWall_.Color() == clDefault ? Color() : backWall_.Color();
    }
    c.Rectangle(plotRect_.Left, plotRect_.Top, plotRect_.Right + 1, plotRect_.Bottom + 1);
    b.Bitmap = QImage();
}

void TCustomChart::DrawTitle(TChartTitle &t, bool isFoot)
{
    TCanvas3D &c = canvas_;
    c.AssignFont(t.Font());
    const int h = c.TextHeightW();
    // Brush.
    TCanvasBrush &b = c.Brush();
    b.Bitmap = QImage();
    bool clearBrush;
    if (t.Color() == clDefault) {
        if (t.Brush().Style() != bsSolid) {
            b.Style = t.Brush().Style();
            b.Color = t.Brush().Color();
            clearBrush = t.Brush().Style() == bsClear;
            c.SetBackMode(bmTransparent);
        } else if (t.Brush().Color() == clDefault) {
            b.Style = bsClear;
            clearBrush = true;
        } else {
            b.Style = bsSolid;
            b.Color = t.Brush().Color();
            clearBrush = false;
        }
    } else {
        if (t.Brush().Style() != bsSolid) {
            b.Style = t.Brush().Style();
            b.Color = t.Brush().Color();
            c.SetBackMode(bmOpaque);
            c.SetBackColor(t.Color());
        } else {
            b.Style = bsSolid;
            b.Color = t.Color();
        }
        clearBrush = b.Style == bsClear;
    }
    const bool frameCounts = t.Frame().Visible() && t.Frame().Color() != clDefault;
    const int fw = frameCounts ? t.Frame().Width() : 0;
    const int lines = static_cast<int>(t.Text().size());
    TRect r;
    r.Left = plotRect_.Left + fw;
    r.Right = plotRect_.Right - fw;
    if (!isFoot) {
        r.Top = plotRect_.Top + fw;
        r.Bottom = r.Top + lines * h;
    } else {
        r.Bottom = plotRect_.Bottom - fw;
        r.Top = r.Bottom - lines * h;
    }
    r = TRect{r.Left - fw, r.Top - fw, r.Right + fw, r.Bottom + fw};
    t.Bounds = r;
    const int halfW = c.MeasureText(QStringLiteral("W")) / 2;
    if (frameCounts || !clearBrush) {
        TRect box = r;
        if (t.AdjustFrame()) {
            int widest = 0;
            for (const QString &l : t.Text()) widest = std::max(widest, c.MeasureText(l));
            const int w = widest + c.MeasureText(QStringLiteral("W"));
            if (t.Alignment() == taLeftJustify) box.Right = box.Left + w;
            else if (t.Alignment() == taRightJustify) box.Left = box.Right - w;
            else {
                const int mid = (r.Left + r.Right) / 2;
                box.Left = mid - w / 2;
                box.Right = box.Left + w;
            }
        }
        if (frameCounts) c.SetPen(t.Frame());
        else c.Pen().Style = psClear;
        c.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
    }
    c.SetBackMode(bmTransparent);
    c.SetTextAlign(TextAlign::Left | TextAlign::Top);
    for (int i = 0; i < lines; ++i) {
        const QString &line = t.Text()[i];
        const int tw = c.MeasureText(line);
        int x;
        if (t.Alignment() == taLeftJustify) x = r.Left + halfW;
        else if (t.Alignment() == taRightJustify) x = r.Right - tw - halfW;
        else x = (r.Left + r.Right) / 2 - tw / 2;
        const int y = isFoot ? r.Bottom - fw - (lines - i) * h : r.Top + fw + i * h;
        c.TextOut(x, y, line);
    }
    if (!isFoot) plotRect_.Top = r.Top + fw + lines * h + fw + kTitleGap;
    else plotRect_.Bottom = r.Bottom - fw - lines * h - fw - kTitleGap;
    NormalizePlotRect();
}

TChart::TChart(QWidget *parent) : TCustomChart(parent) { autoRepaint_ = true; }

TChart::~TChart() = default;
