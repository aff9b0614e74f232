// The chart's own mouse handling: hit test, click events, rubber-band zoom, right-button
// scrolling, the wheel, and the series cursor. The window's own handlers (OnMouseDown, ...)
// always run first.
#include "chart/chart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr Qt::MouseButton kZoomButton = Qt::LeftButton;
constexpr Qt::MouseButton kPanButton = Qt::RightButton;
constexpr int kAxisClickTolerance = 3; // pixels beyond the axis line that still hit the axis
constexpr int kMinZoomDrag = 16;       // a zoom drag must exceed this in both directions
constexpr double kAnimatedZoomFactor = 3.0;
constexpr double kWheelStep = 0.03;    // share of the span one wheel notch scrolls
constexpr int kWheelNotch = 120;       // angle delta of one notch

bool IsArrowKey(int key) { return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down; }

// Fixed range for an axis that survives odd input: ends that are not finite (a degenerate
// mapping, an overflowing computation) leave the axis as it is, and a span too narrow to be
// told apart from its ends becomes the narrowest one the numbers can hold.
bool ApplyRange(TCustomChartAxis &axis, double lo, double hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) return false;
    if (hi < lo) std::swap(lo, hi);
    if (!std::isfinite(hi - lo)) return false;
    if (hi - lo < 1e-10) hi = std::max(lo + 1e-10, std::nextafter(lo, HUGE_VAL));
    if (!std::isfinite(hi)) return false;
    axis.SetRange(lo, hi);
    return true;
}

// Whether (x, y) lies on the axis: along it from StartPixel to EndPixel, across it between the
// labels and the axis line (with a small tolerance on the line's side).
bool OnAxis(const TCustomChartAxis &a, int x, int y)
{
    const int along = a.IsHorizontal() ? x : y;
    const int across = a.IsHorizontal() ? y : x;
    if (along < a.StartPixel() || along >= a.EndPixel()) return false;
    if (a.LabelsPos() < a.AxisPos()) return across >= a.LabelsPos() && across < a.AxisPos() + kAxisClickTolerance;
    return across >= a.AxisPos() - kAxisClickTolerance && across < a.LabelsPos();
}

} // namespace

void TCustomChart::InitMouse()
{
    setMouseTracking(true); // moves without a button pressed: series cursor, the window's readout
    setFocusPolicy(Qt::ClickFocus);
    restingCursor_ = cursor();
    DrawZoomRectangle = [this] {
        if (zoom_.Active && !printingNow_) DrawZoomBand();
    };
}

// ---- hit test --------------------------------------------------------------------------------

THitPart TCustomChart::HitPart(int x, int y)
{
    THitPart part;
    const TChartSeriesList &list = SeriesList();
    for (int i = list.Count() - 1; i >= 0; --i) {
        TChartSeries *s = list.At(i);
        if (!s->Active()) continue;
        const int index = s->HitTest(x, y);
        if (index != -1) {
            part.Kind = hpSeries;
            part.Series = s;
            part.PointIndex = index;
            return part;
        }
    }
    for (TCustomChartAxis *a : Axes()) {
        if (a->TakesPart() && OnAxis(*a, x, y)) {
            part.Kind = hpAxis;
            part.Axis = a;
            return part;
        }
    }
    if (Title().Visible() && Title().Bounds.Contains(x, y)) {
        part.Kind = hpTitle;
        return part;
    }
    if (Foot().Visible() && Foot().Bounds.Contains(x, y)) {
        part.Kind = hpFoot;
        return part;
    }
    if (plotRect_.Contains(x, y) && ActiveSeriesCount() > 0) part.Kind = hpChartRect;
    // The legend is never drawn, so it is never hit.
    return part;
}

// ---- zoom ------------------------------------------------------------------------------------

void TCustomChart::SaveAxesOnce()
{
    if (savedAxesPending_) return;
    const std::array<TCustomChartAxis *, 4> axes{TopAxis(), BottomAxis(), LeftAxis(), RightAxis()};
    for (size_t i = 0; i < axes.size(); ++i) {
        const TCustomChartAxis &a = *axes[i];
        savedAxes_[i] = TSavedAxis{a.Automatic(), a.AutomaticMinimum(), a.AutomaticMaximum(), a.Minimum(), a.Maximum()};
    }
    savedAxesPending_ = true;
}

void TCustomChart::ZoomToValues(TAxisRange left, TAxisRange right, TAxisRange top, TAxisRange bottom)
{
    SaveAxesOnce();
    const std::array<std::pair<TCustomChartAxis *, TAxisRange>, 4> targets{
        {{LeftAxis(), left}, {RightAxis(), right}, {TopAxis(), top}, {BottomAxis(), bottom}}};
    if (animatedZoom_) {
        for (int step = 1; step < animatedZoomSteps_; ++step) {
            for (const auto &[axis, r] : targets) {
                const double lo = std::min(r.Min, r.Max), hi = std::max(r.Min, r.Max);
                ApplyRange(*axis, axis->Minimum() + (lo - axis->Minimum()) / kAnimatedZoomFactor,
                           axis->Maximum() - (axis->Maximum() - hi) / kAnimatedZoomFactor);
            }
            repaint();
        }
    }
    for (const auto &[axis, r] : targets) ApplyRange(*axis, r.Min, r.Max);
    zoomActive_ = true;
    if (OnZoom) OnZoom(static_cast<TChart *>(this));
}

void TCustomChart::ZoomByPercent(double percent)
{
    auto shrunk = [percent](TCustomChartAxis *a) {
        const double lo = a->AutomaticMinimum() ? a->SeriesMinimum() : a->Minimum();
        const double hi = a->AutomaticMaximum() ? a->SeriesMaximum() : a->Maximum();
        const double d = (hi - lo) * (percent - 100) * 0.01;
        return TAxisRange{lo + d, hi - d};
    };
    ZoomToValues(shrunk(LeftAxis()), shrunk(RightAxis()), shrunk(TopAxis()), shrunk(BottomAxis()));
    Invalidate();
    repaint();
}

void TCustomChart::ResetZoom()
{
    if (savedAxesPending_) {
        const std::array<TCustomChartAxis *, 4> axes{TopAxis(), BottomAxis(), LeftAxis(), RightAxis()};
        for (size_t i = 0; i < axes.size(); ++i) {
            TCustomChartAxis &a = *axes[i];
            const TSavedAxis &s = savedAxes_[i];
            a.SetAutomatic(s.Automatic);
            a.SetAutomaticMinimum(s.AutomaticMinimum);
            a.SetAutomaticMaximum(s.AutomaticMaximum);
            if (!s.Automatic) {
                ApplyRange(a, s.Minimum, s.Maximum);
                // SetRange turns both ends fixed; an end that was automatic stays automatic
                a.SetAutomaticMinimum(s.AutomaticMinimum);
                a.SetAutomaticMaximum(s.AutomaticMaximum);
            }
        }
        savedAxesPending_ = false;
    }
    if (OnUndoZoom) OnUndoZoom(static_cast<TChart *>(this));
    Invalidate();
    zoomActive_ = false;
}

// ---- rubber band -----------------------------------------------------------------------------

void TCustomChart::DrawZoomBand()
{
    // Not-xor: drawing the same rectangle twice gives the pixels back.
    const QRgb rgb = ColorToRGB(Color()) & 0xFFFFFF;
    TCanvasPen &pen = canvas_.Pen();
    pen.Color = rgb == 0xFFFFFF ? clBlack : RGBToColor(rgb);
    pen.Style = psSolid;
    pen.Width = 1;
    pen.SmallDots = false;
    pen.Mode = pmNotXor;
    canvas_.Brush().Style = bsClear;
    canvas_.Rectangle(zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1);
    pen.Mode = pmCopy;
}

// Draws the rubber band at its current corners onto the frame being shown, without drawing a
// new frame. When the shown frame is not in the back buffer (or a redraw is due anyway) the
// next frame draws the band itself.
void TCustomChart::ToggleZoomBandOnScreen()
{
    const QImage *buffer = canvas_.BackBuffer();
    const TRect b = canvas_.Bounds();
    const bool direct = canvas_.UseBackBuffer() && !canvas_.BufferStale() && buffer && !canvas_.InFrame() &&
                        !canvas_.Monochrome() && !printingNow_ && b == TRect{0, 0, width(), height()} &&
                        buffer->size() == QSize(std::max(1, b.Width()), std::max(1, b.Height()));
    if (!direct) {
        Invalidate();
        return;
    }
    canvas_.BeginFrame(static_cast<QPaintDevice *>(nullptr), b);
    DrawZoomBand();
    canvas_.EndFrame();
    BackBufferChanged();
}

// ---- cursors ---------------------------------------------------------------------------------

void TCustomChart::ShowCursor(const QCursor &c)
{
    if (cursor().shape() == c.shape() && c.shape() != Qt::BitmapCursor) return;
    settingCursor_ = true;
    setCursor(c);
    settingCursor_ = false;
}

void TCustomChart::RestoreRestingCursor()
{
    cursorSeries_ = nullptr;
    ShowCursor(restingCursor_);
}

void TCustomChart::SeriesRemoved(TChartSeries &s)
{
    if (cursorSeries_ == &s && !destroying_) RestoreRestingCursor();
}

// ---- press, move, release --------------------------------------------------------------------

bool TCustomChart::StartDrag(Qt::MouseButton button, int x, int y)
{
    if (allowZoom_ && button == kZoomButton) {
        cursorSeries_ = nullptr;
        ShowCursor(QCursor(Qt::ArrowCursor));
        zoom_.Activate(x, y);
        ToggleZoomBandOnScreen();
        return true;
    }
    if (allowPanning_ != pmNone && button == kPanButton) {
        cursorSeries_ = nullptr;
        ShowCursor(QCursor(Qt::ArrowCursor));
        panning_.Activate(x, y);
        return true;
    }
    return false;
}

// Runs a click handler when assigned, with the press marked consumed; true when the handler
// left it consumed.
bool TCustomChart::OfferClick(const TChartClickEvent &handler, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                              int x, int y)
{
    if (!handler) return MouseConsumed;
    MouseConsumed = true;
    handler(static_cast<TChart *>(this), button, shift, x, y);
    return MouseConsumed;
}

void TCustomChart::MousePress(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y, bool doubleClick)
{
    if (zoom_.Active || panning_.Active) return; // presses during a drag are ignored
    if (!MouseConsumed) {
        TChart *self = static_cast<TChart *>(this);
        const THitPart part = HitPart(x, y);
        bool dragging = false;
        bool backgroundOffered = false;
        switch (part.Kind) {
        case hpSeries:
            if (part.Series->Clicked(part.PointIndex, button, shift, x, y, doubleClick)) MouseConsumed = true;
            if (OnClickSeries) {
                MouseConsumed = true;
                OnClickSeries(self, part.Series, part.PointIndex, button, shift, x, y);
            }
            if (!MouseConsumed) dragging = StartDrag(button, x, y);
            break;
        case hpAxis:
            if (OnClickAxis) {
                MouseConsumed = true;
                OnClickAxis(self, *part.Axis, button, shift, x, y);
            }
            if (!MouseConsumed) dragging = StartDrag(button, x, y);
            break;
        case hpChartRect:
            backgroundOffered = static_cast<bool>(OnClickBackground);
            if (!OfferClick(OnClickBackground, button, shift, x, y)) dragging = StartDrag(button, x, y);
            break;
        case hpLegend:
            OfferClick(OnClickLegend, button, shift, x, y);
            break;
        case hpTitle:
        case hpFoot:
        case hpNone:
            break;
        }
        // A press nothing took is a background click (once: not again after the handler above
        // let it pass).
        if (!MouseConsumed && !dragging && !backgroundOffered) OfferClick(OnClickBackground, button, shift, x, y);
    }
    MouseConsumed = false;
}

void TCustomChart::ScrollTo(int x, int y)
{
    SaveAxesOnce();
    bool moved = false;
    auto shift = [&](TCustomChartAxis &a, int from, int to) {
        const double d = a.PixelToValue(from) - a.PixelToValue(to);
        double lo = a.Minimum() + d, hi = a.Maximum() + d;
        if (!std::isfinite(lo) || !std::isfinite(hi)) return;
        bool allow = true;
        if (OnAllowScroll) OnAllowScroll(a, lo, hi, allow);
        if (allow && ApplyRange(a, lo, hi)) moved = true;
    };
    const bool horizontal = allowPanning_ == pmHorizontal || allowPanning_ == pmBoth;
    const bool vertical = allowPanning_ == pmVertical || allowPanning_ == pmBoth;
    for (TCustomChartAxis *a : Axes()) {
        if (a->IsDepth()) continue;
        if (a->IsHorizontal() && horizontal && x != panning_.X1) shift(*a, panning_.X1, x);
        if (!a->IsHorizontal() && vertical && y != panning_.Y1) shift(*a, panning_.Y1, y);
    }
    panning_.X1 = x;
    panning_.Y1 = y;
    if (moved) {
        if (OnScroll) OnScroll(static_cast<TChart *>(this));
        Invalidate();
    }
}

void TCustomChart::MouseMoveTo(Qt::KeyboardModifiers shift, int x, int y)
{
    if (zoom_.Active) {
        if (x != zoom_.X1 || y != zoom_.Y1) {
            ToggleZoomBandOnScreen(); // off at the old corners
            zoom_.X1 = x;
            zoom_.Y1 = y;
            ToggleZoomBandOnScreen(); // on at the new ones
        }
        return;
    }
    if (panning_.Active) {
        if (!plotRect_.Contains(x, y)) panning_.Active = false;
        else if (x != panning_.X1 || y != panning_.Y1) ScrollTo(x, y);
        return;
    }
    const TChartSeries *cursorFrom = nullptr;
    for (TChartSeries *s : SeriesList()) {
        if (s->Active() && s->Cursor() != 0 && s->HitTest(x, y) != -1) {
            // a series cursor id is a Qt::CursorShape
            ShowCursor(QCursor(static_cast<Qt::CursorShape>(s->Cursor())));
            cursorFrom = s;
            break;
        }
    }
    for (TChartSeries *s : SeriesList()) s->MouseMove(shift, x, y);
    if (cursorFrom) cursorSeries_ = cursorFrom;
    else RestoreRestingCursor();
}

void TCustomChart::MouseRelease(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y)
{
    if (zoom_.Active && button == kZoomButton) {
        ToggleZoomBandOnScreen(); // erase it
        zoom_.Active = false;
        canvas_.Pen().Mode = pmCopy;
        zoom_.X1 = x;
        zoom_.Y1 = y;
        if (std::abs(zoom_.X1 - zoom_.X0) > kMinZoomDrag && std::abs(zoom_.Y1 - zoom_.Y0) > kMinZoomDrag) {
            if (zoom_.X0 < zoom_.X1 && zoom_.Y0 < zoom_.Y1) {
                zoom_.Normalize();
                auto horiz = [this](TCustomChartAxis *a) {
                    return TAxisRange{a->PixelToValue(zoom_.X0), a->PixelToValue(zoom_.X1)};
                };
                auto vert = [this](TCustomChartAxis *a) {
                    return TAxisRange{a->PixelToValue(zoom_.Y1), a->PixelToValue(zoom_.Y0)};
                };
                ZoomToValues(vert(LeftAxis()), vert(RightAxis()), horiz(TopAxis()), horiz(BottomAxis()));
            } else {
                ResetZoom();
            }
            Invalidate();
        }
    }
    panning_.Active = false;
}

// ---- Qt events -------------------------------------------------------------------------------

bool TCustomChart::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::CursorChange:
        // Someone else set the widget's cursor: that is the cursor to rest on from now on.
        if (!settingCursor_) restingCursor_ = cursor();
        break;
    case QEvent::ShortcutOverride:
        // The chart wants the arrow keys as key presses (the window's keyboard zoom and scroll
        // sees them through its key preview); no shortcut may take them.
        if (IsArrowKey(static_cast<QKeyEvent *>(e)->key())) {
            e->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return TCustomAxisPanel::event(e);
}

void TCustomChart::mousePressEvent(QMouseEvent *e)
{
    const int x = qRound(e->position().x()), y = qRound(e->position().y());
    if (e->button() == Qt::LeftButton) leftPressed_ = true;
    if (OnMouseDown) OnMouseDown(e->button(), e->modifiers(), x, y);
    MousePress(e->button(), e->modifiers(), x, y, false);
}

void TCustomChart::mouseDoubleClickEvent(QMouseEvent *e)
{
    const int x = qRound(e->position().x()), y = qRound(e->position().y());
    if (e->button() == Qt::LeftButton) leftPressed_ = true;
    if (OnMouseDown) OnMouseDown(e->button(), e->modifiers(), x, y);
    MousePress(e->button(), e->modifiers(), x, y, true);
}

void TCustomChart::mouseMoveEvent(QMouseEvent *e)
{
    const int x = qRound(e->position().x()), y = qRound(e->position().y());
    if (OnMouseMove) OnMouseMove(e->modifiers(), x, y);
    MouseMoveTo(e->modifiers(), x, y);
}

void TCustomChart::mouseReleaseEvent(QMouseEvent *e)
{
    const int x = qRound(e->position().x()), y = qRound(e->position().y());
    if (e->button() == Qt::LeftButton && leftPressed_) {
        leftPressed_ = false;
        if (rect().contains(x, y) && OnClick) OnClick();
    }
    if (OnMouseUp) OnMouseUp(e->button(), e->modifiers(), x, y);
    for (TChartSeries *s : SeriesList()) s->MouseUp(e->button(), e->modifiers(), x, y);
    MouseRelease(e->button(), e->modifiers(), x, y);
}

void TCustomChart::wheelEvent(QWheelEvent *e)
{
    const int delta = e->angleDelta().y();
    const int x = qRound(e->position().x()), y = qRound(e->position().y());
    e->accept();
    if (delta == 0) return;
    if (OnMouseWheel) OnMouseWheel(e->modifiers(), delta, x, y);
    // One step per whole notch; fine-grained wheels and touchpads add up to one.
    if ((wheelRemainder_ > 0) != (delta > 0)) wheelRemainder_ = 0;
    wheelRemainder_ += delta;
    while (std::abs(wheelRemainder_) >= kWheelNotch) {
        const bool down = wheelRemainder_ < 0;
        wheelRemainder_ += down ? kWheelNotch : -kWheelNotch;
        if (down && OnMouseWheelDown) OnMouseWheelDown(e->modifiers(), x, y);
        if (!down && OnMouseWheelUp) OnMouseWheelUp(e->modifiers(), x, y);
        for (TCustomChartAxis *a : Axes()) {
            if (a->IsHorizontal() || a->IsDepth()) continue;
            const double d = (a->Maximum() - a->Minimum()) * kWheelStep;
            const double offset = down ? d : -d;
            ApplyRange(*a, a->Minimum() + offset, a->Maximum() + offset);
        }
        Invalidate();
    }
}

void TCustomChart::leaveEvent(QEvent *e)
{
    RestoreRestingCursor();
    panning_.Active = false;
    TCustomAxisPanel::leaveEvent(e);
}
