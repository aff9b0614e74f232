#pragma once
// The chart control: a panel that owns the series list, the five axes, titles, walls, legend and
// canvas, and repaints itself whole whenever anything changes. One frame is drawn by DrawTo onto
// any surface: the window (through the back buffer), a bitmap, a QPicture or a printer page.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/chart_host.h"
#include "chart/series.h"

#include <QPicture>
#include <array>
#include <QStringList>
#include <QWidget>

#include <functional>

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
    bool AutoRepaintOn() const { return autoRepaint_; }
    void SetAutoRepaint(bool on) { autoRepaint_ = on; }

    // Page margins in percent (left, top, right, bottom) and the detail level for printing.
    TRect PageMarginsPercent{15, 15, 15, 15};
    int PrintDetailLevel = 0;

    // Repaint request: marks the back buffer stale and schedules one paint; requests made
    // before that paint coalesce into it.
    void Invalidate();
    void RequestRepaint() override { Invalidate(); }
    // Something was drawn straight into the valid back buffer: show it without a redraw.
    void BackBufferChanged() override { update(); }

    // One complete frame onto a surface within rect.
    virtual void DrawTo(QPaintDevice *surface, const TRect &rect);
    // The same onto a painter that the caller has opened (printing with a mapping).
    void DrawTo(QPainter *painter, const TRect &rect);

    // A new bitmap of the rectangle's size with the chart drawn into it; unless the colour is
    // white the bitmap is first filled with it.
    QImage RenderToBitmap(TColor background, const TRect &rect);
    // A recording of one frame, of size max(1, w - 1) x max(1, h - 1).
    QPicture RenderToMetafile(bool enhanced, const TRect &rect);

    // Printing: the page rectangle in printer pixels for the current page margins (made
    // proportional first when PrintProportional), the proportional margins themselves, and a
    // frame into a rectangle of a printer painter with the detail scaling mapping.
    TRect PrintPageRect(int pageWidth, int pageHeight, int dpiX, int dpiY);
    TRect ProportionalMargins(int pageWidth, int pageHeight, int dpiX, int dpiY) const;
    QSize DetailScaledSize() const;
    void PrintPartialCanvas(QPainter &painter, const TRect &rect);
    // A whole page: opens a job titled with the chart's object name, prints, ends it.
    void Print(QPrinter &printer);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

    // The frame after the background: titles, axes, walls, series (subclasses).
    virtual void DrawFrameContent() = 0;
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

private:
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

// Walls, titles, legend.
class TCustomChart : public TCustomAxisPanel {
public:
    explicit TCustomChart(QWidget *parent = nullptr);

    TChartWall &BackWall() { return backWall_; }
    TChartWall &LeftWall() { return leftWall_; }
    TChartWall &BottomWall() { return bottomWall_; }
    TChartTitle &Title() { return title_; }
    TChartTitle &Foot() { return foot_; }
    TChartLegend &Legend() { return legend_; }

    // Drawn over the series in step 15 of a frame (the zoom rectangle while dragging).
    std::function<void()> DrawZoomRectangle;

protected:
    void DrawFrameContent() override;

private:
    void DrawTitle(TChartTitle &t, bool isFoot);
    void DrawBackWall();

    TChartWall backWall_, leftWall_, bottomWall_;
    TChartTitle title_, foot_;
    TChartLegend legend_;
};

class TChart : public TCustomChart {
public:
    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;
};
