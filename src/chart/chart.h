#pragma once
// The chart control: a panel that owns the series list, the five axes, titles, walls, legend and
// canvas, and repaints itself whole whenever anything changes. One frame is drawn by DrawTo onto
// any surface: the window (through the back buffer), a bitmap, a QPicture or a printer page.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/chart_host.h"
#include "chart/series.h"

#include <QCursor>
#include <QPicture>
#include <array>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

class QPrinter;
class TChart;

enum TPanelBevel { bvNone, bvLowered, bvRaised };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Background gradient of the panel.
class TChartGradient {
public:
    explicit TChartGradient(std::function<void()> changed) : changed_(std::move(changed)) {}
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { set(visible_, v); }
    TGradientDirection Direction() const { return direction_; }
    void SetDirection(TGradientDirection v) { set(direction_, v); }
    TColor StartColor() const { return startColor_; }
    void SetStartColor(TColor v) { set(startColor_, v); }
    TColor EndColor() const { return endColor_; }
    void SetEndColor(TColor v) { set(endColor_, v); }

private:
    template <class T> void set(T &f, T v)
    {
        if (f == v) return;
        f = v;
        if (changed_) changed_();
    }
    std::function<void()> changed_;
    bool visible_ = false;
    TGradientDirection direction_ = gdTopBottom;
    TColor startColor_ = clWhite;
    TColor endColor_ = clYellow;
};

// A wall of the chart; in 2D only the back wall is drawn.
class TChartWall {
public:
    TChartWall(std::function<void()> changed, TColor color, TBrushStyle brushStyle);
    TChartPen &Pen() { return pen_; }
    TChartBrush &Brush() { return brush_; }
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    bool Dark3D() const { return dark3D_; }
    void SetDark3D(bool v);
    int Size() const { return size_; }
    void SetSize(int v);

private:
    std::function<void()> changed_;
    TChartPen pen_;
    TChartBrush brush_;
    TColor color_;
    bool dark3D_ = true;
    int size_ = 0;
};

// Chart title or foot: lines of text in a font, optionally framed or filled.
class TChartTitle : public TChartFontObject {
public:
    explicit TChartTitle(std::function<void()> changed);
    bool AdjustFrame() const { return adjustFrame_; }
    void SetAdjustFrame(bool v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    TChartBrush &Brush() { return brush_; }
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TChartHiddenPen &Frame() { return frame_; }
    const QStringList &Text() const { return text_; }
    void SetText(const QStringList &v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);

    // Where the last frame placed the text block (mouse hit test).
    TRect Bounds;

private:
    std::function<void()> changed_;
    bool adjustFrame_ = true;
    TAlignment alignment_ = taCenter;
    TChartBrush brush_;
    TColor color_ = clDefault;
    TChartHiddenPen frame_;
    QStringList text_;
    bool visible_ = true;
};

class TChartLegend {
public:
    explicit TChartLegend(std::function<void()> changed) : changed_(std::move(changed)) {}
    bool Visible() const { return visible_; }
    void SetVisible(bool v)
    {
        if (visible_ == v) return;
        visible_ = v;
        if (changed_) changed_();
    }

private:
    std::function<void()> changed_;
    bool visible_ = true;
};

// ---------------------------------------------------------------------------------------------
// The panel: frame, margins, canvas, painting and output to other surfaces.
class TCustomChartPanel : public QWidget, public TChartHost {
public:
    explicit TCustomChartPanel(QWidget *parent = nullptr);
    ~TCustomChartPanel() override;

    int MarginLeft() const { return marginLeft_; }
    void SetMarginLeft(int v) { Set(marginLeft_, v); }
    int MarginTop() const { return marginTop_; }
    void SetMarginTop(int v) { Set(marginTop_, v); }
    int MarginRight() const { return marginRight_; }
    void SetMarginRight(int v) { Set(marginRight_, v); }
    int MarginBottom() const { return marginBottom_; }
    void SetMarginBottom(int v) { Set(marginBottom_, v); }
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v) { Set(bevelWidth_, v); }
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel v) { Set(bevelOuter_, v); }
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel v) { Set(bevelInner_, v); }
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v) { Set(borderWidth_, v); }
    TColor Color() const override { return color_; }
    void SetColor(TColor v) { Set(color_, v); }
    bool PrintProportional() const { return printProportional_; }
    void SetPrintProportional(bool v) { printProportional_ = v; }

    TChartCanvas3D &Canvas3D() { return canvas_; }
    TCanvas3D &Canvas() override { return canvas_; }
    TRect PlotRect() const override { return plotRect_; }
    const TRect &PanelBounds() const { return panelBounds_; }
    bool IsPrinting() const override { return printingNow_; }
    // Set while a frame for paper (or its preview) is drawn.
    // Printing (or drawing a print preview) begins or ends; OnPrintLook hears of each change.
    void SetPrintingNow(bool v);
    // The owner may give the chart another look for paper while it is printed.
    std::function<void(bool printing)> OnPrintLook;
    // A line a printed page shows above the chart; empty: none.
    std::function<QString()> OnPrintHeader;
    bool AutoRepaintOn() const { return autoRepaint_; }
    void SetAutoRepaint(bool on) { autoRepaint_ = on; }

    // Page margins in percent (left, top, right, bottom) and the detail level for printing.
    TRect PageMarginsPercent{15, 15, 15, 15};
    int PrintDetailLevel = 0;

    // Repaint request: marks the back buffer stale and schedules one paint; requests made
    // before that paint coalesce into it.
    void Invalidate();
    void RequestRepaint() override { Invalidate(); }
    // While on, the paint a request schedules comes after the events and timers already waiting
    // (input, other timers), not straight after the work that asked for it: a caller that has
    // just done long work (a sweep of millions of values shown) lets the rest of the window
    // have its turn before the long paint.
    void SetPaintAfterWaiting(bool on) { paintAfterWaiting_ = on; }
    // Counts repaint requests and resizes: a copy of the chart's picture made at one count
    // still shows the chart while the count is unchanged.
    unsigned ChangeCount() const { return changeCount_; }
    // Something was drawn straight into the valid back buffer: show it without a redraw.
    void BackBufferChanged() override { update(); }

    // One complete frame onto a surface within rect.
    virtual void DrawTo(QPaintDevice *surface, const TRect &rect);
    // The same onto a painter that the caller has opened (printing with a mapping).
    void DrawTo(QPainter *painter, const TRect &rect);

    // A new bitmap of the rectangle's size with the chart drawn into it; unless the colour is
    // white the bitmap is first filled with it.
    QImage RenderToBitmap(TColor background, const TRect &rect);
    // The same picture on white, drawn through the frame buffer, where dense series draw per
    // pixel column: the same pixels, far faster for a million points.
    QImage RenderToFrame(const TRect &rect);
    // A recording of one frame, of size max(1, w - 1) x max(1, h - 1).
    QPicture RenderToMetafile(bool enhanced, const TRect &rect);

    // Printing: the page rectangle in printer pixels for the current page margins (made
    // proportional first when PrintProportional), the proportional margins themselves, and a
    // frame into a rectangle of a printer painter with the detail scaling mapping.
    TRect PrintPageRect(int pageWidth, int pageHeight, int dpiX, int dpiY);
    TRect ProportionalMargins(int pageWidth, int pageHeight, int dpiX, int dpiY) const;
    QSize DetailScaledSize() const;
    void PrintPartialCanvas(QPainter &painter, const TRect &rect);
    // A whole page: opens a job titled with the chart's object name, prints, ends it. A job that
    // cannot start or fails is aborted and raises an error.
    void Print(QPrinter &printer);

protected:
    void PrintHeaderLine(QPainter &painter, const TRect &chart);
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

    // The frame after the background: titles, axes, walls, series (subclasses).
    virtual void DrawFrameContent() = 0;
    // Work of the next frame done ahead, in a turn of its own before the paint (see
    // SetPaintAfterWaiting): what the frame finds done it does not do again. True when there
    // was some.
    virtual bool PrepareFrame() { return false; }
    void NormalizePlotRect();

    template <class T> void Set(T &field, const T &value)
    {
        if (field == value) return;
        field = value;
        Invalidate();
    }

    TChartCanvas3D canvas_;
    TRect panelBounds_;
    TRect plotRect_;
    bool printingNow_ = false;
    bool autoRepaint_ = false; // on once construction has finished
    bool updatePending_ = false;
    bool paintAfterWaiting_ = false;
    QTimer afterWaiting_;       // the turn a paint after waiting comes in
    bool prepareFirst_ = false; // and before it, the work done ahead
    unsigned changeCount_ = 0;

private:
    void PaintAfterWaiting();
    void DrawFrame(const TRect &bounds); // everything after BeginFrame
    void DrawBackgroundAndBevels();
    void DrawBevel(const TRect &r, TPanelBevel kind, int width);

    int marginLeft_ = 3, marginTop_ = 4, marginRight_ = 3, marginBottom_ = 4;
    int bevelWidth_ = 1, borderWidth_ = 0;
    TPanelBevel bevelOuter_ = bvRaised, bevelInner_ = bvNone;
    TColor color_ = clBtnFace;
    bool printProportional_ = true;

protected:
    TChartGradient gradient_;
};

class TCustomChartPanelExtended : public TCustomChartPanel {
public:
    using TCustomChartPanel::TCustomChartPanel;
    TChartGradient &Gradient() { return gradient_; }
};

// Series and axes.
class TCustomAxisPanel : public TCustomChartPanelExtended {
public:
    explicit TCustomAxisPanel(QWidget *parent = nullptr);
    ~TCustomAxisPanel() override;

    TChartSeriesList &SeriesList() override { return seriesList_; }
    int ActiveSeriesCount() const { return seriesList_.ActiveCount(); }
    TChartAxis &Bottom() { return bottomAxis_; }
    TChartAxis &Top() { return topAxis_; }
    TChartAxis &Left() { return leftAxis_; }
    TChartAxis &Right() { return rightAxis_; }
    TCustomChartAxis *BottomAxis() override { return &bottomAxis_; }
    TCustomChartAxis *TopAxis() override { return &topAxis_; }
    TCustomChartAxis *LeftAxis() override { return &leftAxis_; }
    TCustomChartAxis *RightAxis() override { return &rightAxis_; }
    TCustomChartAxis *DepthAxis() override { return &depthAxis_; }

    bool AxisVisible() const override { return axisVisible_; }
    void SetAxisVisible(bool v) { Set(axisVisible_, v); }
    bool ClipPoints() const { return clipPoints_; }
    void SetClipPoints(bool v) { Set(clipPoints_, v); }
    bool View3D() const override { return view3D_; }
    void SetView3D(bool v) { Set(view3D_, v); }
    bool View3DWalls() const { return view3DWalls_; }
    void SetView3DWalls(bool v) { Set(view3DWalls_, v); }
    int Chart3DPercent() const { return chart3DPercent_; }
    void SetChart3DPercent(int v) { Set(chart3DPercent_, v); }
    bool Monochrome() const { return canvas_.Monochrome(); }
    void SetMonochrome(bool v);
    bool IsDestroying() const override { return destroying_; }
    QPoint CursorPos() const override;

    // Adds a series to this chart (the series joins it); removes it.
    void AddSeries(TChartSeries *s) { s->SetParentChart(this); }
    void RemoveSeries(TChartSeries *s) { s->SetParentChart(nullptr); }

    std::function<void(TChart *)> OnBeforeDrawAxes, OnBeforeDrawSeries, OnAfterDraw;
    std::function<void(TCustomChartAxis &, TChartSeries *, int, QString &)> OnGetAxisLabel;
    std::function<void(TCustomChartAxis &, int, double &, bool &)> OnGetNextAxisLabel;

    void GetAxisLabel(TCustomChartAxis &a, TChartSeries *s, int i, QString &text) override
    {
        if (OnGetAxisLabel) OnGetAxisLabel(a, s, i, text);
    }
    bool HasNextAxisLabel() const override { return static_cast<bool>(OnGetNextAxisLabel); }
    void GetNextAxisLabel(TCustomChartAxis &a, int i, double &v, bool &stop) override
    {
        OnGetNextAxisLabel(a, i, v, stop);
    }

    // Axes in creation order.
    std::array<TCustomChartAxis *, 5> Axes() { return {&bottomAxis_, &topAxis_, &leftAxis_, &rightAxis_, &depthAxis_}; }

protected:
    void LayoutAxes();
    void ApplySeriesMargins();
    // The pixel margins the axis's active series ask for (ApplyMargins takes them).
    TRect SeriesMargins(const TCustomChartAxis *a) const;
    // Maps the levels of the chart's large series into the rows the next frame reads, on the
    // vertical axes as they will range: a new sweep's first frame then only draws.
    bool PrepareFrame() override;
    void DrawAxes();
    void DrawSeries();

    bool destroying_ = false;

private:
    TChartSeriesList seriesList_;
    TChartAxis bottomAxis_, topAxis_, leftAxis_, rightAxis_;
    TChartDepthAxis depthAxis_;
    bool axisVisible_ = true, clipPoints_ = true, view3D_ = true, view3DWalls_ = true;
    int chart3DPercent_ = 15;
};

// Which directions a right-button drag scrolls.
enum TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };

// A mouse drag: where it started and where the mouse is now.
struct TZoomPanningRecord {
    bool Active = false;
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;

    void Activate(int x, int y)
    {
        X0 = X1 = x;
        Y0 = Y1 = y;
        Active = true;
    }
    // X0 <= X1 and Y0 <= Y1.
    void Normalize()
    {
        if (X1 < X0) std::swap(X0, X1);
        if (Y1 < Y0) std::swap(Y0, Y1);
    }
};

// What lies under a position of the chart.
enum THitPartKind { hpNone, hpLegend, hpAxis, hpSeries, hpTitle, hpFoot, hpChartRect };
struct THitPart {
    THitPartKind Kind = hpNone;
    TChartSeries *Series = nullptr;
    TCustomChartAxis *Axis = nullptr;
    int PointIndex = -1;
};

// Range state of one axis, kept from before the first zoom or scroll.
struct TSavedAxis {
    bool Automatic = true, AutomaticMinimum = true, AutomaticMaximum = true;
    double Minimum = 0, Maximum = 0;
};

// A value range of one axis.
struct TAxisRange {
    double Min = 0, Max = 0;
};

using TChartNotifyEvent = std::function<void(TChart *)>;
using TChartClickEvent = std::function<void(TChart *, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
using TChartClickSeriesEvent =
    std::function<void(TChart *, TChartSeries *, int index, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
using TChartClickAxisEvent =
    std::function<void(TChart *, TCustomChartAxis &, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
// May change the proposed range of a scrolled axis or refuse the scroll (allow = false).
using TChartAllowScrollEvent = std::function<void(TCustomChartAxis &, double &newMin, double &newMax, bool &allow)>;

// Walls, titles, legend, mouse.
class TCustomChart : public TCustomAxisPanel {
public:
    explicit TCustomChart(QWidget *parent = nullptr);

    // ---- mouse: zoom, scroll, clicks (chart_mouse.cpp)
    bool AllowZoom() const { return allowZoom_; }
    void SetAllowZoom(bool v) { allowZoom_ = v; }
    TPanningMode AllowPanning() const { return allowPanning_; }
    void SetAllowPanning(TPanningMode v) { allowPanning_ = v; }
    bool AnimatedZoom() const { return animatedZoom_; }
    void SetAnimatedZoom(bool v) { animatedZoom_ = v; }
    int AnimatedZoomSteps() const { return animatedZoomSteps_; }
    void SetAnimatedZoomSteps(int v) { animatedZoomSteps_ = v; }
    bool ZoomActive() const { return zoomActive_; }
    const TZoomPanningRecord &Zoom() const { return zoom_; }
    const TZoomPanningRecord &Panning() const { return panning_; }
    // Axis state from before the first zoom or scroll (top, bottom, left, right) and whether
    // it is pending, that is, not yet restored by ResetZoom.
    const std::array<TSavedAxis, 4> &SavedAxes() const { return savedAxes_; }
    bool SavedAxesPending() const { return savedAxesPending_; }
    // The cursor shown while no drag or series asks for another: the widget's own cursor as
    // last set from outside (setCursor).
    const QCursor &RestingCursor() const { return restingCursor_; }

    // What lies under (x, y): series (last first), axes, title, foot, plot background.
    THitPart HitPart(int x, int y);
    // Saves the axes when nothing is saved yet, sets the four ranges (left, right, top, bottom;
    // with AnimatedZoom through intermediate frames), fires OnZoom.
    void ZoomToValues(TAxisRange left, TAxisRange right, TAxisRange top, TAxisRange bottom);
    // Shrinks (p > 100) or widens (p < 100) the four side axes about their middles by
    // (p - 100) % of the span at each end, then repaints at once.
    void ZoomByPercent(double percent);
    // Restores the axes saved before the first zoom or scroll, fires OnUndoZoom.
    void ResetZoom();

    // Set by a click handler to stop the chart's own handling of the press (a zoom or scroll
    // start); a window OnMouseDown handler may set it too. Cleared after every press.
    bool MouseConsumed = false;

    TChartClickSeriesEvent OnClickSeries;
    TChartClickAxisEvent OnClickAxis;
    TChartClickEvent OnClickLegend, OnClickBackground;
    TChartNotifyEvent OnZoom, OnUndoZoom, OnScroll;
    TChartAllowScrollEvent OnAllowScroll;

    // The window's own mouse handlers; they run before the chart's handling of the event.
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    std::function<void()> OnClick; // left button pressed and released over the chart
    std::function<void(Qt::KeyboardModifiers, int delta, int x, int y)> OnMouseWheel; // raw angle delta
    std::function<void(Qt::KeyboardModifiers, int x, int y)> OnMouseWheelDown, OnMouseWheelUp; // per notch

    void SeriesRemoved(TChartSeries &s) override;

    TChartWall &BackWall() { return backWall_; }
    TChartWall &LeftWall() { return leftWall_; }
    TChartWall &BottomWall() { return bottomWall_; }
    TChartTitle &Title() { return title_; }
    TChartTitle &Foot() { return foot_; }
    TChartLegend &Legend() { return legend_; }

    // Drawn over the series near the end of a frame, before the after-draw handler (the zoom
    // rectangle while dragging).
    std::function<void()> DrawZoomRectangle;

protected:
    void DrawFrameContent() override;

    bool event(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void leaveEvent(QEvent *e) override;

private:
    void DrawTitle(TChartTitle &t, bool isFoot);
    void DrawBackWall();

    // chart_mouse.cpp
    void InitMouse();
    void MousePress(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y, bool doubleClick);
    void MouseMoveTo(Qt::KeyboardModifiers shift, int x, int y);
    void MouseRelease(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    bool StartDrag(Qt::MouseButton button, int x, int y);
    bool OfferClick(const TChartClickEvent &handler, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void ScrollTo(int x, int y);
    void SaveAxesOnce();
    void DrawZoomBand();
    void ToggleZoomBandOnScreen();
    void ShowCursor(const QCursor &c);
    void RestoreRestingCursor();

    bool allowZoom_ = true;
    TPanningMode allowPanning_ = pmBoth;
    bool animatedZoom_ = false;
    int animatedZoomSteps_ = 8;
    bool zoomActive_ = false;
    TZoomPanningRecord zoom_, panning_;
    std::array<TSavedAxis, 4> savedAxes_{};
    bool savedAxesPending_ = false;
    QCursor restingCursor_;
    bool settingCursor_ = false;             // our own cursor change: not a new resting cursor
    const TChartSeries *cursorSeries_ = nullptr; // series whose cursor is shown
    bool leftPressed_ = false;               // left press seen, for OnClick on release
    int wheelRemainder_ = 0;                 // angle delta short of a whole notch

    TChartWall backWall_, leftWall_, bottomWall_;
    TChartTitle title_, foot_;
    TChartLegend legend_;
};

class TChart : public TCustomChart {
public:
    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;
};
