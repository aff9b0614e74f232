#pragma once
// Chart series: points (x, y, optional label, optional colour) held column-wise in value lists,
// attached to one chart and to one horizontal and one vertical axis. Line, point and fast-line
// kinds add their pens, pointer and copy rules; drawing itself is done by the chart's paint.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/chart_host.h"
#include "chart/value_list.h"

#include <QRect>
#include <QString>
#include <Qt>

#include <functional>
#include <memory>
#include <vector>

enum THorizAxis { aTopAxis, aBottomAxis, aBothHorizAxis, aCustomHorizAxis };
enum TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis, aCustomVertAxis };
enum TSeriesPointerStyle {
    psRectangle, psCircle, psTriangle, psDownTriangle, psCross, psDiagCross, psStar, psDiamond, psSmallDot
};

class TChartSeries;
class TCustomSeries;

// The default series palette: used for ColorEachPoint and for series joining a chart with
// SeriesColor clDefault.
constexpr int DefaultPaletteSize = 16;
TColor DefaultPaletteColor(int index); // index taken modulo the palette size

// Point marks (not drawn by this program): their settings and per-point positions.
class TSeriesMarks {
public:
    bool Visible = false;
    int ArrowLength = 8;
    int Style = 0;
    std::vector<QRect> Positions;

    void CopySettings(const TSeriesMarks &s)
    {
        Visible = s.Visible;
        ArrowLength = s.ArrowLength;
        Style = s.Style;
    }
};

// The colours of a series' points, one entry per point at most. While every entry is the same
// colour they are held as that colour and a count: a sweep's points, all in one colour, then
// take no storage of their own.
class TPointColors {
public:
    size_t size() const { return spelled_ ? v_.size() : n_; }
    bool empty() const { return size() == 0; }
    TColor operator[](size_t i) const { return spelled_ ? v_[i] : c_; }
    // Whether every entry is one colour (then Colour() is it, or clDefault when there is none).
    bool Uniform() const { return !spelled_; }
    TColor Colour() const { return c_; }
    const TColor *data() const { return v_.data(); } // while not Uniform

    void clear()
    {
        v_.clear(); // the storage stays for the next fill, as the value lists keep theirs
        n_ = 0;
        spelled_ = false;
    }
    void assign(size_t n, TColor c)
    {
        std::vector<TColor>().swap(v_);
        spelled_ = false;
        n_ = n;
        c_ = c;
    }
    // Entries from..to-1 of another list.
    void assign(const TPointColors &o, size_t from, size_t to);
    void insert(size_t i, TColor c)
    {
        if (!spelled_ && (n_ == 0 || c == c_)) {
            c_ = c;
            ++n_;
            return;
        }
        Spell();
        v_.insert(v_.begin() + static_cast<std::ptrdiff_t>(i), c);
    }
    void push_back(TColor c) { insert(size(), c); }
    // Grows with `fill` or cuts to n entries.
    void resize(size_t n, TColor fill);
    void erase(size_t i)
    {
        if (!spelled_)
            --n_;
        else
            v_.erase(v_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    void swap(size_t a, size_t b)
    {
        if (spelled_) std::swap(v_[a], v_[b]);
    }
    void shrink_to_fit() { v_.shrink_to_fit(); }
    std::vector<TColor> ToVector() const { return spelled_ ? v_ : std::vector<TColor>(n_, c_); }

private:
    void Spell()
    {
        if (spelled_) return;
        v_.assign(n_, c_);
        spelled_ = true;
    }
    std::vector<TColor> v_;
    size_t n_ = 0;
    TColor c_ = clDefault;
    bool spelled_ = false;
};

// The marker of a line or point series.
class TSeriesPointer {
public:
    explicit TSeriesPointer(TChartSeries *owner);
    TSeriesPointer(const TSeriesPointer &) = delete;
    TSeriesPointer &operator=(const TSeriesPointer &) = delete;

    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    TSeriesPointerStyle Style() const { return style_; }
    void SetStyle(TSeriesPointerStyle v);
    int HorizSize() const { return horizSize_; }
    void SetHorizSize(int v);                   // below 1: "Pointer size must be greater than zero"
    int VertSize() const { return vertSize_; }
    void SetVertSize(int v);
    bool InflateMargins() const { return inflateMargins_; }
    void SetInflateMargins(bool v);
    bool Dark3D() const { return dark3D_; }
    void SetDark3D(bool v);
    bool Draw3D() const { return draw3D_; }
    void SetDraw3D(bool v);
    TChartPen &Pen() { return pen_; }
    const TChartPen &Pen() const { return pen_; }
    TChartBrush &Brush() { return brush_; }
    const TChartBrush &Brush() const { return brush_; }

    // Copies Brush, Dark3D, Draw3D, HorizSize, InflateMargins, Pen, Style, VertSize, Visible.
    void Assign(const TSeriesPointer &source);

private:
    void Changed();
    TChartSeries *owner_;
    bool visible_ = true;
    TSeriesPointerStyle style_ = psRectangle;
    int horizSize_ = 4, vertSize_ = 4;
    bool inflateMargins_ = true;
    bool dark3D_ = true, draw3D_ = true;
    TChartPen pen_;
    TChartBrush brush_;
};

// A chart's series in drawing order, with a back reference to the chart.
class TChartSeriesList {
public:
    explicit TChartSeriesList(TChartHost *chart = nullptr) : chart_(chart) {}
    TChartHost *Chart() const { return chart_; }

    int Count() const { return static_cast<int>(items_.size()); }
    TChartSeries *At(int i) const { return items_.at(static_cast<size_t>(i)); }
    TChartSeries *operator[](int i) const { return At(i); }
    int IndexOf(const TChartSeries *s) const;
    bool Contains(const TChartSeries *s) const { return IndexOf(s) >= 0; }
    int ActiveCount() const;

    void Add(TChartSeries *s) { items_.push_back(s); }
    void Remove(TChartSeries *s);
    // Moves a listed series to `index` (drawing order: first is drawn first, under the rest).
    void Move(TChartSeries *s, int index);
    void Clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    TChartHost *chart_;
    std::vector<TChartSeries *> items_;
};

using TSeriesNotifyEvent = std::function<void(TChartSeries *)>;
using TSeriesOnBeforeAdd = std::function<bool(TChartSeries *)>;
using TSeriesOnAfterAdd = std::function<void(TChartSeries *, int index)>;
using TSeriesClickEvent =
    std::function<void(TChartSeries *, int index, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
using TSeriesGetMarkText = std::function<void(TChartSeries *, int index, QString &text)>;
using TOnGetPointerStyle = std::function<TSeriesPointerStyle(TChartSeries *, int index)>;
using TOnClickPointer = std::function<void(TCustomSeries *, int index, int x, int y)>;

class TChartSeries {
public:
    TChartSeries();
    virtual ~TChartSeries();
    TChartSeries(const TChartSeries &) = delete;
    TChartSeries &operator=(const TChartSeries &) = delete;

    // ---- published properties
    bool Active() const { return active_; }
    virtual void SetActive(bool v);
    bool ColorEachPoint() const { return colorEachPoint_; }
    virtual void SetColorEachPoint(bool v);
    const QString &ColorSource() const { return colorSource_; }
    void SetColorSource(const QString &v) { colorSource_ = v; }
    int Cursor() const { return cursor_; }              // 0 = default cursor
    void SetCursor(int v) { cursor_ = v; }
    THorizAxis HorizAxis() const { return horizAxis_; }
    void SetHorizAxis(THorizAxis v);
    TVertAxis VertAxis() const { return vertAxis_; }
    void SetVertAxis(TVertAxis v);
    TCustomChartAxis *CustomHorizAxis() const { return customHorizAxis_; }
    void SetCustomHorizAxis(TCustomChartAxis *axis);
    TCustomChartAxis *CustomVertAxis() const { return customVertAxis_; }
    void SetCustomVertAxis(TCustomChartAxis *axis);
    TSeriesMarks &Marks() { return marks_; }
    const TSeriesMarks &Marks() const { return marks_; }
    TChartHost *ParentChart() const { return chart_; }
    virtual void SetParentChart(TChartHost *chart);     // leave the old chart, join the new one
    TChartSeries *DataSource() const { return dataSource_; }
    void SetDataSource(TChartSeries *source);           // refuses itself and feedback loops
    const QString &PercentFormat() const { return percentFormat_; }
    void SetPercentFormat(const QString &v);
    TColor SeriesColor() const { return seriesColor_; }
    virtual void SetSeriesColor(TColor v);
    bool ShowInLegend() const { return showInLegend_; }
    void SetShowInLegend(bool v);
    const QString &Title() const { return title_; }
    void SetTitle(const QString &v);
    const QString &ValueFormat() const { return valueFormat_; }
    void SetValueFormat(const QString &v);
    const QString &XLabelsSource() const { return xLabelsSource_; }
    void SetXLabelsSource(const QString &v) { xLabelsSource_ = v; }
    TChartValueList &XValues() { return xValues_; }
    TChartValueList &YValues() { return yValues_; }
    const TChartValueList &XValues() const { return xValues_; }
    const TChartValueList &YValues() const { return yValues_; }
    int Tag() const { return tag_; }
    void SetTag(int v) { tag_ = v; }
    const QString &Identifier() const { return identifier_; }
    void SetIdentifier(const QString &v) { identifier_ = v; }
    unsigned SeriesStyle() const { return style_; }
    void SetSeriesStyle(unsigned v) { style_ = v; }
    unsigned RecalcOptions() const { return recalcOptions_; }
    void SetRecalcOptions(unsigned v) { recalcOptions_ = v; }
    int ZOrder() const { return zOrder_; }               // -1: automatic (0 in 2D)
    void SetZOrder(int v) { zOrder_ = v; }

    // ---- events
    TSeriesNotifyEvent AfterDrawValues, BeforeDrawValues;
    TSeriesOnBeforeAdd OnBeforeAdd;
    TSeriesOnAfterAdd OnAfterAdd;
    TSeriesNotifyEvent OnClearValues;
    TSeriesClickEvent OnClick, OnDblClick;
    TSeriesGetMarkText OnGetMarkText;

    // ---- points
    // Adds a point (see the order of steps in series.cpp); returns its index, or -1 when
    // OnBeforeAdd refused it (nothing changes then).
    int AddPoint(double x, double y, const QString &label = QString(), TColor color = clDefault);
    int AddY(double y, const QString &label = QString(), TColor color = clDefault); // x = PointCount()
    // Replaces every point by `count` points at the x values of `source` from index `from` on,
    // all at the level y in colour `color`, as ClearPoints and AppendPoints would, without a copy
    // per point: the x values are read from the source's storage until either series changes
    // them, and the level is held once. Falls back to adding the points when this series must
    // see them one by one.
    void SetLevelPoints(const TChartSeries &source, int from, int count, double y, TColor color);
    // Replaces every point by one point per x value of `source`, at the levels y (as many as the
    // source has points) in colour `color`: the x values are read from the source's storage and
    // y's storage is taken over, its facts (TChartValueList::FactsOf) taken for known. y comes
    // back holding reusable storage. Falls back to adding the points one by one like
    // SetLevelPoints.
    void SetPointsOver(const TChartSeries &source, std::vector<double> &y, TColor color, const TValueFacts &yFacts);
    // The same with the levels held in single precision (see TChartValueList::SwapSingles).
    void SetPointsOver(const TChartSeries &source, std::vector<float> &y, TColor color, const TValueFacts &yFacts);
    // The same as AddPoint(x[i], y[i], "", color) for i = 0..n-1, in one go when nothing needs to
    // see the points one by one (no add events, no linked series, no further value lists, and
    // x ascending from the last point on as the x order wants).
    void AppendPoints(const double *x, const double *y, size_t n, TColor color);
    // Replaces every point by (x[i], y[i]) in colour `color`, as ClearPoints and AppendPoints
    // would, taking the two arrays' storage when it can; x and y come back holding reusable
    // storage (their contents are then unspecified).
    void AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color);
    // The same, with what is known of the two arrays (TChartValueList::FactsOf) taken for known:
    // no pass over the values is left for the window thread.
    void AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color, const TValueFacts &xFacts,
                     const TValueFacts &yFacts);
    // The same with the levels held as whole hundredths (see TChartValueList::SwapHundredths),
    // which the y list then keeps so where it can.
    void AdoptPoints(std::vector<double> &x, std::vector<std::int16_t> &yHundredths, TColor color,
                     const TValueFacts &xFacts, const TValueFacts &yFacts);
    // The same with the n frequencies held as runs (see TChartValueList::SwapRuns).
    void AdoptPoints(std::vector<sky::FrequencyRun> &xRuns, size_t n, double xOffset,
                     std::vector<std::int16_t> &yHundredths, TColor color, const TValueFacts &xFacts,
                     const TValueFacts &yFacts);
    // False for kinds whose adds must be seen one by one (a fast line drawing each new point).
    virtual bool BulkAddAllowed() const { return true; }
    int AddNull(double y);                                                          // x = PointCount()
    int AddNullXY(double x, double y, const QString &label = QString());
    // Removes every point (the list storage is kept for the next fill).
    virtual void ClearPoints();
    virtual void DeletePoint(int index);
    // Gives unused list storage back (all of it when the series is empty).
    void ReleaseMemory();
    int PointCount() const { return xValues_.Count(); }

    double XValue(int i) const { return xValues_.ValueAt(i); }
    double YValue(int i) const { return yValues_.ValueAt(i); }
    virtual double XMin() const { return xValues_.Lowest(); }
    virtual double XMax() const { return xValues_.Highest(); }
    virtual double YMin() const { return yValues_.Lowest(); }
    virtual double YMax() const { return yValues_.Highest(); }

    // Colour of point i: its own entry; clDefault falls back to the palette (ColorEachPoint) or
    // the series colour; no entry gives the series colour. clNone marks a null point.
    TColor PointColor(int i) const
    {
        if (i < 0 || static_cast<size_t>(i) >= pointColors_.size()) return seriesColor_;
        const TColor c = pointColors_[static_cast<size_t>(i)];
        if (c == clDefault) return colorEachPoint_ ? DefaultPaletteColor(i) : seriesColor_;
        return c;
    }
    bool IsNullPoint(int i) const { return PointColor(i) == clNone; }
    // Whether points from..to (in range, from <= to) all have one colour, given in c.
    bool UniformColor(int from, int to, TColor &c) const;
    QString PointLabel(int i) const
    {
        return i >= 0 && static_cast<size_t>(i) < pointLabels_.size() ? pointLabels_[static_cast<size_t>(i)] : QString();
    }
    // One entry per point at most; shorter lists mean clDefault / no label for the rest.
    std::vector<TColor> PointColors() const { return pointColors_.ToVector(); }
    const std::vector<QString> &PointLabels() const { return pointLabels_; }
    const std::vector<TChartValueList *> &ValueLists() const { return valueLists_; }

    // ---- axes and pixels
    TCustomChartAxis *ResolvedHorizAxis() const { return resolvedHorizAxis_; }
    TCustomChartAxis *ResolvedVertAxis() const { return resolvedVertAxis_; }
    virtual bool BelongsToAxis(const TCustomChartAxis *axis) const;
    virtual bool UsesAxes() const { return true; }
    // The y list is the mandatory list of every kind here.
    virtual bool YMandatory() const { return true; }
    // Points are drawn from the first to the last.
    virtual bool DrawValuesForward() const { return true; }
    virtual bool DrawSeriesForward() const { return true; }

    // Screen position of point i on the resolved axes (valid after a layout); 0 without axes.
    int XPixel(int i) const { return resolvedHorizAxis_ ? resolvedHorizAxis_->ValueToPixel(XValue(i)) : 0; }
    int YPixel(int i) const { return resolvedVertAxis_ ? resolvedVertAxis_->ValueToPixel(YValue(i)) : 0; }
    double XValueAtPixel(int px) const { return resolvedHorizAxis_ ? resolvedHorizAxis_->PixelToValue(px) : 0.0; }
    double YValueAtPixel(int py) const { return resolvedVertAxis_ ? resolvedVertAxis_->PixelToValue(py) : 0.0; }
    // Values under the chart's current mouse position.
    void CursorValues(double &x, double &y) const;
    // Values under a given position in the chart's client coordinates.
    void CursorValuesAt(QPoint pos, double &x, double &y) const;

    // First and last point index inside the plot, -1 when none (set before each draw).
    // UpdateVisibleRange computes them from the chart's plot rectangle: with an ordered x list
    // the points from the first at or right of the left edge to the first at or beyond the
    // right edge (kinds that draw between points keep that one: their line runs out of the
    // plot); without an order, all points.
    void UpdateVisibleRange();
    int FirstShown() const { return firstShown_; }
    int LastShown() const { return lastShown_; }
    void SetShownRange(int first, int last) { firstShown_ = first; lastShown_ = last; }

    bool CalcVisiblePoints() const { return calcVisiblePoints_; }
    bool DrawBetweenPoints() const { return drawBetweenPoints_; }
    bool AllowSinglePoint() const { return allowSinglePoint_; }

    // ---- copying and data sources
    // Copies settings, values, colours and labels of another series (onto itself: settings only).
    virtual void CopyFrom(const TChartSeries &source);
    const std::vector<TChartSeries *> &LinkedSeries() const { return linked_; }
    // Clears and re-adds every point of the data source.
    void RecalcFromSource();
    // Tells every series fed by this one to recompute.
    void RecalcLinkedSeries();

    // Sorts the points by a list of this series (swapping whole points).
    void SortByList(const TChartValueList &list);
    // Exchanges two points in every list, colour and label.
    virtual void SwapPoints(int a, int b);

    // ---- drawing and mouse hooks (the chart's paint and mouse handling call these)
    virtual void BeforeDrawChart() {}
    virtual void DoBeforeDraw();
    virtual void DoAfterDraw();
    virtual void DrawPoints();                  // DrawPoint for FirstShown..LastShown
    virtual void DrawPoint(int) {}
    virtual int HitTest(int, int) const { return -1; }
    virtual void MarginsX(int &left, int &right) const { left = right = 0; }
    virtual void MarginsY(int &top, int &bottom) const { top = bottom = 0; }
    virtual void MouseMove(Qt::KeyboardModifiers, int, int) {}
    // Fires OnDblClick (double click, when assigned) or OnClick; true when one of them ran.
    virtual bool Clicked(int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y, bool doubleClick);
    virtual void MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

    // Asks the chart (when there is one) to repaint.
    void RequestRepaint();

protected:
    // Hooks of the add steps.
    virtual void AfterAdd(int index);          // NotifyAdded, then a repaint when Active
    void NotifyAdded(int index);               // OnAfterAdd and the linked series
    virtual void InsertExtraValues(int) {}     // pending values of lists beyond x and y
    virtual void ClearLists();                 // empty every list, colour, label and mark position
    // Add point i of a source series, keeping order; returns the new index.
    virtual int AddFromSource(const TChartSeries &source, int i);
    virtual void SourceAdded(const TChartSeries &source, int index);
    virtual void SourceDeleted(const TChartSeries &source, int index);
    virtual void SourceCleared(const TChartSeries &source);

    void InsertColor(int index, TColor color);
    void InsertLabel(int index, const QString &label);
    void ResolveAxes();
    // Clear, then add every point of source (no-op when source is this series).
    void RecalcFrom(const TChartSeries &source);

    bool calcVisiblePoints_ = true;
    bool drawBetweenPoints_ = false;
    bool allowSinglePoint_ = true;

private:
    friend class TChartValueList;
    void RegisterValueList(TChartValueList *list) { valueLists_.push_back(list); }
    // Whether this series may read x values from `source`'s storage instead of adding points.
    bool MayShareXWith(const TChartSeries &source) const;
    // SetPointsOver for levels in double or single precision.
    template <class T>
    void SetPointsOverOf(const TChartSeries &source, std::vector<T> &y, TColor color, const TValueFacts &yFacts);
    // Whether the arrays' storage can be taken (x itself only looked at when no facts come).
    bool CanAdopt(size_t xCount, size_t yCount, const TValueFacts *xFacts, const std::vector<double> *x) const;
    void AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color, const TValueFacts *xFacts,
                     const TValueFacts *yFacts);
    void SortRange(int l, int r, const TChartValueList &list, bool descending);
    TColor FreePaletteColor() const;

    std::vector<TChartValueList *> valueLists_; // declared before the lists that register in it
    TChartValueList xValues_;
    TChartValueList yValues_;
    TPointColors pointColors_;
    std::vector<QString> pointLabels_;

    bool active_ = true;
    bool colorEachPoint_ = false;
    QString colorSource_;
    int cursor_ = 0;
    THorizAxis horizAxis_ = aBottomAxis;
    TVertAxis vertAxis_ = aLeftAxis;
    TCustomChartAxis *customHorizAxis_ = nullptr;
    TCustomChartAxis *customVertAxis_ = nullptr;
    TSeriesMarks marks_;
    TChartHost *chart_ = nullptr;
    TChartSeries *dataSource_ = nullptr;
    std::vector<TChartSeries *> linked_;
    QString percentFormat_ = QStringLiteral("##0.## %");
    TColor seriesColor_ = clDefault;
    bool showInLegend_ = true;
    QString title_;
    QString valueFormat_ = QStringLiteral("#,##0.###");
    QString xLabelsSource_;
    int tag_ = 0;
    QString identifier_;
    unsigned style_ = 0;
    unsigned recalcOptions_ = 0;
    int zOrder_ = -1;

    TCustomChartAxis *resolvedHorizAxis_ = nullptr;
    TCustomChartAxis *resolvedVertAxis_ = nullptr;
    int firstShown_ = -1, lastShown_ = -1;
};

// Series with a pointer (marker), a line pen and area settings: the base of line and point series.
class TCustomSeries : public TChartSeries {
public:
    TCustomSeries();

    TSeriesPointer &Pointer() { return pointer_; }
    const TSeriesPointer &Pointer() const { return pointer_; }
    TChartPen &LinePen() { return linePen_; }
    const TChartPen &LinePen() const { return linePen_; }
    TChartPen &AreaLinesPen() { return areaLinesPen_; }
    const TChartPen &AreaLinesPen() const { return areaLinesPen_; }
    TChartBrush &AreaBrush() { return areaBrush_; }
    const TChartBrush &AreaBrush() const { return areaBrush_; }
    TColor AreaColor() const { return areaColor_; }
    void SetAreaColor(TColor v);
    bool Dark3D() const { return dark3D_; }
    void SetDark3D(bool v);
    bool ClickableLine() const { return clickableLine_; }
    void SetClickableLine(bool v);
    bool DrawLine() const { return drawLine_; }
    void SetDrawLine(bool v);
    bool DrawArea() const { return drawArea_; }
    void SetDrawArea(bool v);
    bool Stairs() const { return stairs_; }
    void SetStairs(bool v);
    bool InvertedStairs() const { return invertedStairs_; }
    void SetInvertedStairs(bool v);
    TBrushStyle LineBrush() const { return lineBrush_; }
    void SetLineBrush(TBrushStyle v);
    int LineHeight() const { return lineHeight_; }
    void SetLineHeight(int v);

    TOnGetPointerStyle OnGetPointerStyle;
    TOnClickPointer OnClickPointer;

    // Own settings first (from another TCustomSeries), then the series copy.
    void CopyFrom(const TChartSeries &source) override;

    // ---- drawing (series_draw.cpp)
    // Points FirstShown..LastShown in one pass, with the same result as DrawPoint for each.
    // A buffered frame is written directly where the pixels are the painter's; anything else
    // (printing, metafiles, wide or styled pens, other pen modes) goes through the canvas.
    void DrawPoints() override;
    // One point: the segment from the previous point (entering from the plot edge for the first
    // visible point), then the previous point's marker, and its own when it is the last.
    void DrawPoint(int index) override;
    // Marker of point index at (x, y) in colour c: pointer pen and brush (clDefault takes c),
    // style from OnGetPointerStyle when assigned.
    void DrawPointer(int index, int x, int y, TColor c);
    // Pointer margins (HorizSize + 1, VertSize + 1) when the pointer is visible and inflates
    // margins; with stairs at least the line pen width (one more at the bottom).
    void MarginsX(int &left, int &right) const override;
    void MarginsY(int &top, int &bottom) const override;
    // Point whose marker or position is under (x, y), else the first point of a segment under
    // it (ClickableLine); -1 for none. A marker hit fires OnClickPointer.
    int HitTest(int x, int y) const override;
    // Whether (x, y) is on the marker at (px, py): closer than HorizSize and VertSize.
    bool ClickedPointer(int px, int py, int x, int y) const;

private:
    friend class TCustomSeriesPass;
    TSeriesPointer pointer_;
    TChartPen linePen_;
    TChartPen areaLinesPen_;
    TChartBrush areaBrush_;
    TColor areaColor_ = clDefault;
    bool dark3D_ = true;
    bool clickableLine_ = true;
    bool drawLine_ = true;
    bool drawArea_ = false;
    bool stairs_ = false;
    bool invertedStairs_ = false;
    TBrushStyle lineBrush_ = bsSolid;
    int lineHeight_ = 0;
    // drawing memory of one pass: the previous point's position (when one was drawn in this
    // pass) and colour
    int prevX_ = 0, prevY_ = 0;
    bool havePrev_ = false;
    TColor prevColor_ = clDefault;
};

// Line through the points; pointer hidden at creation.
class TLineSeries : public TCustomSeries {
public:
    TLineSeries();
    // After the copy: pointer hidden unless the source is a TLineSeries too; draw-area off,
    // draw-line on.
    void CopyFrom(const TChartSeries &source) override;
};

// Markers only.
class TPointSeries : public TCustomSeries {
public:
    TPointSeries();
    // After the copy: pointer shown; draw-area, draw-line and clickable line off.
    void CopyFrom(const TChartSeries &source) override;
    // Turning it on also sets the pointer brush colour to clDefault (markers take point colours).
    void SetColorEachPoint(bool v) override;
};

struct TFastLineColumns; // what a dense pass of a fast line found (series_draw.cpp)

// A plain polyline: no pointer, no point colours, no null points.
class TFastLineSeries : public TChartSeries {
public:
    TFastLineSeries();

    TChartPen &LinePen() { return linePen_; }
    const TChartPen &LinePen() const { return linePen_; }
    void SetLinePen(const TChartPen &pen);     // also sets SeriesColor
    bool AutoRepaint() const { return autoRepaint_; }
    void SetAutoRepaint(bool v) { autoRepaint_ = v; }
    bool BulkAddAllowed() const override { return autoRepaint_; }

    void SetSeriesColor(TColor v) override;     // also sets LinePen's colour
    // Copies AutoRepaint and LinePen (from another fast line), then the series copy.
    void CopyFrom(const TChartSeries &source) override;

    // ---- drawing (series_draw.cpp)
    // LinePen, then one line per point, skipping points on the pixel last drawn; the first
    // visible point is entered from the point before it. Buffered frames are written directly
    // when the pen is one pixel, solid and copying.
    void DrawPoints() override;
    void DrawPoint(int index) override;
    // Point at (x, y), else the first point of a segment under it; -1 for none.
    int HitTest(int x, int y) const override;
    // Lines the last DrawPoints issued (after the same-pixel skip).
    int LinesDrawn() const { return linesDrawn_; }

protected:
    // With AutoRepaint off an added point requests no repaint: the segment from the previous
    // point is drawn at once (see DrawAddedPoint).
    void AfterAdd(int index) override;

private:
    friend class TFastLinePass;
    void DrawAddedPoint(int index);

    TChartPen linePen_;
    bool autoRepaint_ = true;
    // drawing memory of one pass: the last drawn position
    int lastX_ = 0, lastY_ = 0;
    bool haveLast_ = false;
    int linesDrawn_ = 0;
    std::shared_ptr<TFastLineColumns> columns_; // what the last dense pass found
};

// Whether segment A-B passes through P: within the pixel tolerance of the line through A and
// B, and not beyond either end in x or y. A segment of length 0 never matches.
bool PointOnSegment(int px, int py, int ax, int ay, int bx, int by);
