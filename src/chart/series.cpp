#include "chart/series.h"

#include "platform/error.h"

#include <algorithm>
#include <type_traits>
#include <typeinfo>

// ---------------------------------------------------------------------------------------------
// Palette

TColor DefaultPaletteColor(int index)
{
    static constexpr TColor palette[DefaultPaletteSize] = {
        clRed, clGreen, clYellow, clBlue, clWhite, clGray, clFuchsia, clTeal,
        clNavy, clMaroon, clLime, clOlive, clPurple, clSilver, clAqua, clBlack,
    };
    int i = index % DefaultPaletteSize;
    if (i < 0) i += DefaultPaletteSize;
    return palette[i];
}

int TChartHost::NumSeries() { return SeriesList().Count(); }
TChartSeries *TChartHost::SeriesAt(int i) { return SeriesList().At(i); }

// ---------------------------------------------------------------------------------------------
// Series list

int TChartSeriesList::IndexOf(const TChartSeries *s) const
{
    const auto it = std::find(items_.begin(), items_.end(), s);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TChartSeriesList::ActiveCount() const
{
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const TChartSeries *s) { return s->Active(); }));
}

void TChartSeriesList::Remove(TChartSeries *s)
{
    const auto it = std::find(items_.begin(), items_.end(), s);
    if (it != items_.end()) items_.erase(it);
}

void TChartSeriesList::Move(TChartSeries *s, int index)
{
    const auto it = std::find(items_.begin(), items_.end(), s);
    if (it == items_.end()) return;
    items_.erase(it);
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, s);
}

// ---------------------------------------------------------------------------------------------
// Point colours

void TPointColors::assign(const TPointColors &o, size_t from, size_t to)
{
    if (&o == this) {
        resize(to, clDefault);
        return;
    }
    if (o.Uniform()) {
        assign(to > from ? to - from : 0, o.c_);
        return;
    }
    v_.assign(o.v_.begin() + static_cast<std::ptrdiff_t>(from), o.v_.begin() + static_cast<std::ptrdiff_t>(to));
    spelled_ = true;
}

void TPointColors::resize(size_t n, TColor fill)
{
    if (!spelled_ && (n <= n_ || n_ == 0 || fill == c_)) {
        if (n > n_) c_ = fill;
        n_ = n;
        return;
    }
    Spell();
    v_.resize(n, fill);
}

// ---------------------------------------------------------------------------------------------
// Pointer

TSeriesPointer::TSeriesPointer(TChartSeries *owner) : owner_(owner)
{
    pen_.OnChange = [this] { Changed(); };
    brush_.OnChange = [this] { Changed(); };
}

void TSeriesPointer::Changed()
{
    if (owner_) owner_->RequestRepaint();
}

void TSeriesPointer::SetVisible(bool v) { if (v != visible_) { visible_ = v; Changed(); } }
void TSeriesPointer::SetStyle(TSeriesPointerStyle v) { if (v != style_) { style_ = v; Changed(); } }
void TSeriesPointer::SetInflateMargins(bool v) { if (v != inflateMargins_) { inflateMargins_ = v; Changed(); } }
void TSeriesPointer::SetDark3D(bool v) { if (v != dark3D_) { dark3D_ = v; Changed(); } }
void TSeriesPointer::SetDraw3D(bool v) { if (v != draw3D_) { draw3D_ = v; Changed(); } }

void TSeriesPointer::SetHorizSize(int v)
{
    if (v < 1) throw sky::Error(QStringLiteral("Pointer size must be greater than zero"));
    if (v != horizSize_) { horizSize_ = v; Changed(); }
}

void TSeriesPointer::SetVertSize(int v)
{
    if (v < 1) throw sky::Error(QStringLiteral("Pointer size must be greater than zero"));
    if (v != vertSize_) { vertSize_ = v; Changed(); }
}

void TSeriesPointer::Assign(const TSeriesPointer &s)
{
    if (&s == this) return;
    brush_.Assign(s.brush_);
    pen_.Assign(s.pen_);
    SetDark3D(s.dark3D_);
    SetDraw3D(s.draw3D_);
    SetHorizSize(s.horizSize_);
    SetVertSize(s.vertSize_);
    SetInflateMargins(s.inflateMargins_);
    SetStyle(s.style_);
    SetVisible(s.visible_);
}

// ---------------------------------------------------------------------------------------------
// Series

TChartSeries::TChartSeries() : xValues_(this, QStringLiteral("X")), yValues_(this, QStringLiteral("Y"))
{
    xValues_.SetOrder(loAscending);
}

TChartSeries::~TChartSeries()
{
    for (TChartSeries *s : linked_) s->dataSource_ = nullptr; // they keep their points
    linked_.clear();
    if (dataSource_) {
        auto &l = dataSource_->linked_;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
        dataSource_ = nullptr;
    }
    ClearLists();
    if (chart_) {
        TChartHost *chart = chart_;
        chart_ = nullptr;
        chart->SeriesList().Remove(this);
        chart->SeriesRemoved(*this);
        if (!chart->IsDestroying()) chart->RequestRepaint();
    }
}

void TChartSeries::RequestRepaint()
{
    if (chart_) chart_->RequestRepaint();
}

void TChartSeries::SetActive(bool v)
{
    if (v == active_) return;
    active_ = v;
    RequestRepaint();
}

void TChartSeries::SetColorEachPoint(bool v)
{
    if (v == colorEachPoint_) return;
    colorEachPoint_ = v;
    RequestRepaint();
}

void TChartSeries::SetSeriesColor(TColor v)
{
    if (v == seriesColor_) return;
    seriesColor_ = v;
    RequestRepaint();
}

void TChartSeries::SetPercentFormat(const QString &v) { if (v != percentFormat_) { percentFormat_ = v; RequestRepaint(); } }
void TChartSeries::SetShowInLegend(bool v) { if (v != showInLegend_) { showInLegend_ = v; RequestRepaint(); } }
void TChartSeries::SetTitle(const QString &v) { if (v != title_) { title_ = v; RequestRepaint(); } }
void TChartSeries::SetValueFormat(const QString &v) { if (v != valueFormat_) { valueFormat_ = v; RequestRepaint(); } }

void TChartSeries::SetHorizAxis(THorizAxis v)
{
    if (v == horizAxis_) return;
    horizAxis_ = v;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetVertAxis(TVertAxis v)
{
    if (v == vertAxis_) return;
    vertAxis_ = v;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomHorizAxis(TCustomChartAxis *axis)
{
    if (axis == customHorizAxis_) return;
    customHorizAxis_ = axis;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomVertAxis(TCustomChartAxis *axis)
{
    if (axis == customVertAxis_) return;
    customVertAxis_ = axis;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::ResolveAxes()
{
    if (!chart_) {
        resolvedHorizAxis_ = resolvedVertAxis_ = nullptr;
        return;
    }
    switch (horizAxis_) {
    case aTopAxis: resolvedHorizAxis_ = chart_->TopAxis(); break;
    case aCustomHorizAxis: resolvedHorizAxis_ = customHorizAxis_ ? customHorizAxis_ : chart_->BottomAxis(); break;
    default: resolvedHorizAxis_ = chart_->BottomAxis(); break;
    }
    switch (vertAxis_) {
    case aRightAxis: resolvedVertAxis_ = chart_->RightAxis(); break;
    case aCustomVertAxis: resolvedVertAxis_ = customVertAxis_ ? customVertAxis_ : chart_->LeftAxis(); break;
    default: resolvedVertAxis_ = chart_->LeftAxis(); break;
    }
}

bool TChartSeries::BelongsToAxis(const TCustomChartAxis *axis) const
{
    if (!axis || axis->IsDepth()) return false;
    if (axis->IsHorizontal()) return horizAxis_ == aBothHorizAxis || axis == resolvedHorizAxis_;
    return vertAxis_ == aBothVertAxis || axis == resolvedVertAxis_;
}

TColor TChartSeries::FreePaletteColor() const
{
    const TChartSeriesList &list = chart_->SeriesList();
    for (int i = 0; i < DefaultPaletteSize; ++i) {
        const TColor c = DefaultPaletteColor(i);
        bool used = false;
        for (const TChartSeries *s : list)
            if (s != this && s->seriesColor_ == c) { used = true; break; }
        if (!used) return c;
    }
    return DefaultPaletteColor(list.Count());
}

void TChartSeries::SetParentChart(TChartHost *chart)
{
    if (chart == chart_) return;
    if (chart_) {
        TChartHost *old = chart_;
        chart_ = nullptr;
        old->SeriesList().Remove(this);
        old->SeriesRemoved(*this);
        if (!old->IsDestroying()) old->RequestRepaint();
    }
    chart_ = chart;
    ResolveAxes();
    if (chart_ && !chart_->SeriesList().Contains(this)) {
        if (seriesColor_ == clDefault) SetSeriesColor(FreePaletteColor());
        chart_->SeriesList().Add(this);
        chart_->RequestRepaint();
    }
}

void TChartSeries::SetDataSource(TChartSeries *source)
{
    if (source == dataSource_ || source == this) return;
    for (const TChartSeries *s = source; s; s = s->dataSource_)
        if (s == this) return; // would feed itself in a loop
    if (dataSource_) {
        auto &l = dataSource_->linked_;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
    }
    dataSource_ = source;
    if (source) {
        source->linked_.push_back(this);
        RecalcFrom(*source);
    }
}

// ---- points

void TChartSeries::InsertColor(int index, TColor color)
{
    const size_t i = static_cast<size_t>(index);
    if (i >= pointColors_.size()) {
        pointColors_.resize(i, clDefault); // missing entries mean clDefault anyway
        pointColors_.push_back(color);
    } else {
        pointColors_.insert(i, color);
    }
}

void TChartSeries::InsertLabel(int index, const QString &label)
{
    const size_t i = static_cast<size_t>(index);
    if (label.isEmpty()) {
        // An absent label needs an entry only to keep later labels at their points.
        if (i < pointLabels_.size()) pointLabels_.insert(pointLabels_.begin() + index, QString());
        return;
    }
    if (i >= pointLabels_.size()) {
        pointLabels_.resize(i);
        pointLabels_.push_back(label);
    } else {
        pointLabels_.insert(pointLabels_.begin() + index, label);
    }
}

int TChartSeries::AddPoint(double x, double y, const QString &label, TColor color)
{
    xValues_.SetPendingValue(x);
    yValues_.SetPendingValue(y);
    if (OnBeforeAdd && !OnBeforeAdd(this)) return -1;
    const int index = xValues_.InsertOrdered(xValues_.PendingValue());
    yValues_.InsertValueAt(index, yValues_.PendingValue()); // the y list's own order is not applied
    if (valueLists_.size() > 2) InsertExtraValues(index);
    if (static_cast<size_t>(index) == pointColors_.size())
        pointColors_.push_back(color);
    else
        InsertColor(index, color);
    if (!label.isEmpty() || static_cast<size_t>(index) < pointLabels_.size()) InsertLabel(index, label);
    AfterAdd(index);
    return index;
}

void TChartSeries::AppendPoints(const double *x, const double *y, size_t n, TColor color)
{
    if (n == 0) return;
    bool bulk = BulkAddAllowed() && !OnBeforeAdd && !OnAfterAdd && linked_.empty() && valueLists_.size() == 2 &&
                xValues_.Order() != loDescending && pointLabels_.empty();
    if (bulk && xValues_.Order() == loAscending) {
        double last = PointCount() > 0 ? xValues_.Value(PointCount() - 1) : x[0];
        for (size_t i = 0; i < n && bulk; ++i) {
            bulk = x[i] >= last;
            last = x[i];
        }
    }
    if (!bulk) {
        for (size_t i = 0; i < n; ++i) AddPoint(x[i], y[i], QString(), color);
        return;
    }
    const size_t before = static_cast<size_t>(PointCount());
    // In the ascending case the loop above has checked the order.
    xValues_.AppendValues(x, n, xValues_.Order() == loAscending && xValues_.IsAscending());
    yValues_.AppendValues(y, n);
    if (pointColors_.size() < before) pointColors_.resize(before, clDefault);
    pointColors_.resize(before + n, color);
    if (active_) RequestRepaint();
}

void TChartSeries::AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color)
{
    AdoptPoints(x, y, color, nullptr, nullptr);
}

void TChartSeries::AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color,
                               const TValueFacts &xFacts, const TValueFacts &yFacts)
{
    AdoptPoints(x, y, color, &xFacts, &yFacts);
}

bool TChartSeries::CanAdopt(size_t xCount, size_t yCount, const TValueFacts *xFacts,
                            const std::vector<double> *x) const
{
    return xCount > 0 && xCount == yCount && BulkAddAllowed() && !OnBeforeAdd && !OnAfterAdd && linked_.empty() &&
           valueLists_.size() == 2 && pointLabels_.empty() &&
           (xValues_.Order() == loNone ||
            (xValues_.Order() == loAscending &&
             (xFacts ? xFacts->ascending : x && std::is_sorted(x->begin(), x->end()))));
}

void TChartSeries::AdoptPoints(std::vector<sky::FrequencyRun> &xRuns, size_t n, double xOffset,
                               std::vector<std::int16_t> &yHundredths, TColor color, const TValueFacts &xFacts,
                               const TValueFacts &yFacts)
{
    if (!CanAdopt(n, yHundredths.size(), &xFacts, nullptr)) {
        std::vector<double> x;
        sky::SpellOutRuns(xRuns, n, xOffset, x);
        xRuns.clear();
        AdoptPoints(x, yHundredths, color, xFacts, yFacts);
        return;
    }
    ClearPoints();
    xValues_.SwapRuns(xRuns, n, xOffset, xFacts);
    yValues_.SwapHundredths(yHundredths, yFacts);
    pointColors_.assign(n, color);
    if (active_) RequestRepaint();
}

void TChartSeries::AdoptPoints(std::vector<double> &x, std::vector<std::int16_t> &yHundredths, TColor color,
                               const TValueFacts &xFacts, const TValueFacts &yFacts)
{
    if (!CanAdopt(x.size(), yHundredths.size(), &xFacts, &x)) {
        std::vector<double> y;
        sky::SpellOutHundredths(yHundredths.data(), yHundredths.size(), y);
        AdoptPoints(x, y, color, &xFacts, &yFacts);
        yHundredths.clear();
        return;
    }
    ClearPoints();
    const size_t n = x.size();
    xValues_.SwapValues(x, xFacts);
    yValues_.SwapHundredths(yHundredths, yFacts);
    x.clear();
    pointColors_.assign(n, color);
    if (active_) RequestRepaint();
}

void TChartSeries::AdoptPoints(std::vector<double> &x, std::vector<double> &y, TColor color,
                               const TValueFacts *xFacts, const TValueFacts *yFacts)
{
    ClearPoints();
    const size_t n = std::min(x.size(), y.size());
    const bool adopt = CanAdopt(x.size(), y.size(), xFacts, &x);
    const bool ascending = adopt && xValues_.Order() == loAscending;
    if (!adopt) {
        AppendPoints(x.data(), y.data(), n, color);
        return;
    }
    if (xFacts)
        xValues_.SwapValues(x, *xFacts);
    else
        xValues_.SwapValues(x, ascending);
    if (yFacts)
        yValues_.SwapValues(y, *yFacts);
    else
        yValues_.SwapValues(y);
    x.clear();
    y.clear();
    pointColors_.assign(n, color);
    if (active_) RequestRepaint();
}

bool TChartSeries::UniformColor(int from, int to, TColor &c) const
{
    c = PointColor(from);
    if (colorEachPoint_) {
        for (int i = from + 1; i <= to; ++i)
            if (PointColor(i) != c) return false;
        return true;
    }
    const size_t stored = pointColors_.size();
    const size_t end = std::min(stored, static_cast<size_t>(to) + 1);
    if (pointColors_.Uniform()) {
        const TColor u = pointColors_.Colour() == clDefault ? seriesColor_ : pointColors_.Colour();
        return (end <= static_cast<size_t>(from) || u == c) && (end > static_cast<size_t>(to) || seriesColor_ == c);
    }
    const TColor *p = pointColors_.data();
    bool same = true;
    for (size_t i = static_cast<size_t>(from); i < end; ++i)
        same &= (p[i] == clDefault ? seriesColor_ : p[i]) == c; // no early exit: the loop vectorises
    return same && (end > static_cast<size_t>(to) || seriesColor_ == c);
}

void TChartSeries::SetLevelPoints(const TChartSeries &source, int from, int count, double y, TColor color)
{
    ClearPoints();
    const int f = std::clamp(from, 0, source.PointCount());
    const int n = std::clamp(count, 0, source.PointCount() - f);
    if (n == 0) return;
    if (!MayShareXWith(source)) {
        for (int i = 0; i < n; ++i)
            AddPoint(source.xValues_.Value(f + i), y, QString(), color);
        return;
    }
    xValues_.ShareValues(source.xValues_, f, n);
    yValues_.SetConstant(y, n);
    pointColors_.assign(static_cast<size_t>(n), color);
    if (active_) RequestRepaint();
}

bool TChartSeries::MayShareXWith(const TChartSeries &source) const
{
    return BulkAddAllowed() && !OnBeforeAdd && !OnAfterAdd && linked_.empty() && valueLists_.size() == 2 &&
           YMandatory() == source.YMandatory() &&
           (xValues_.Order() == loNone || (xValues_.Order() == loAscending && source.xValues_.IsAscending()));
}

void TChartSeries::SetPointsOver(const TChartSeries &source, std::vector<double> &y, TColor color,
                                 const TValueFacts &yFacts)
{
    SetPointsOverOf(source, y, color, yFacts);
}

void TChartSeries::SetPointsOver(const TChartSeries &source, std::vector<float> &y, TColor color,
                                 const TValueFacts &yFacts)
{
    SetPointsOverOf(source, y, color, yFacts);
}

template <class T>
void TChartSeries::SetPointsOverOf(const TChartSeries &source, std::vector<T> &y, TColor color, const TValueFacts &yFacts)
{
    ClearPoints();
    const int n = source.PointCount();
    if (n == 0 || y.size() != static_cast<size_t>(n)) return;
    if (!MayShareXWith(source)) {
        for (int i = 0; i < n; ++i)
            AddPoint(source.xValues_.Value(i), y[static_cast<size_t>(i)], QString(), color);
        return;
    }
    xValues_.ShareValues(source.xValues_, 0, n);
    if constexpr (std::is_same_v<T, float>)
        yValues_.SwapSingles(y, yFacts);
    else
        yValues_.SwapValues(y, yFacts);
    y.clear();
    pointColors_.assign(static_cast<size_t>(n), color);
    if (active_) RequestRepaint();
}

int TChartSeries::AddY(double y, const QString &label, TColor color) { return AddPoint(PointCount(), y, label, color); }
int TChartSeries::AddNull(double y) { return AddPoint(PointCount(), y, QString(), clNone); }
int TChartSeries::AddNullXY(double x, double y, const QString &label) { return AddPoint(x, y, label, clNone); }

void TChartSeries::NotifyAdded(int index)
{
    if (OnAfterAdd) OnAfterAdd(this, index);
    for (size_t k = 0; k < linked_.size(); ++k) linked_[k]->SourceAdded(*this, index);
}

void TChartSeries::AfterAdd(int index)
{
    NotifyAdded(index);
    if (active_) RequestRepaint();
}

void TChartSeries::ClearLists()
{
    for (TChartValueList *l : valueLists_) l->ClearAll();
    pointColors_.clear();
    pointLabels_.clear(); // frees the label texts
    marks_.Positions.clear();
}

void TChartSeries::ReleaseMemory()
{
    for (TChartValueList *l : valueLists_) l->ReleaseMemory();
    pointColors_.shrink_to_fit();
    pointLabels_.shrink_to_fit();
    marks_.Positions.shrink_to_fit();
}

void TChartSeries::ClearPoints()
{
    ClearLists();
    if (OnClearValues) OnClearValues(this);
    for (size_t k = 0; k < linked_.size(); ++k) linked_[k]->SourceCleared(*this);
    if (active_ && chart_ && !chart_->IsDestroying()) RequestRepaint();
}

void TChartSeries::DeletePoint(int index)
{
    if (index < 0 || index >= PointCount()) RaiseListIndexError(index);
    for (TChartValueList *l : valueLists_) l->DeleteAt(index);
    const size_t i = static_cast<size_t>(index);
    if (i < pointColors_.size()) pointColors_.erase(i);
    if (i < pointLabels_.size()) pointLabels_.erase(pointLabels_.begin() + index);
    if (i < marks_.Positions.size()) marks_.Positions.erase(marks_.Positions.begin() + index);
    for (size_t k = 0; k < linked_.size(); ++k) linked_[k]->SourceDeleted(*this, index);
    if (active_) RequestRepaint();
}

void TChartSeries::CursorValuesAt(QPoint pos, double &x, double &y) const
{
    x = XValueAtPixel(pos.x());
    y = YValueAtPixel(pos.y());
}

void TChartSeries::CursorValues(double &x, double &y) const
{
    CursorValuesAt(chart_ ? chart_->CursorPos() : QPoint(), x, y);
}

// ---- sorting

void TChartSeries::SwapPoints(int a, int b)
{
    if (a == b) return;
    for (TChartValueList *l : valueLists_) l->Exchange(a, b);
    const size_t hi = static_cast<size_t>(std::max(a, b));
    if (!pointColors_.empty() && static_cast<size_t>(std::min(a, b)) < pointColors_.size()) {
        if (hi >= pointColors_.size()) pointColors_.resize(hi + 1, clDefault);
        pointColors_.swap(static_cast<size_t>(a), static_cast<size_t>(b));
    }
    if (!pointLabels_.empty() && static_cast<size_t>(std::min(a, b)) < pointLabels_.size()) {
        if (hi >= pointLabels_.size()) pointLabels_.resize(hi + 1);
        std::swap(pointLabels_[a], pointLabels_[b]);
    }
}

void TChartSeries::SortRange(int l, int r, const TChartValueList &list, bool descending)
{
    // Quicksort with the middle value as pivot; the smaller part recurses, the larger one loops,
    // so the stack stays logarithmic whatever the data.
    const double m = list.Multiplier();
    while (l < r) {
        const double *v = list.Data();
        int i = l, j = r;
        const double pivot = v[(l + r) / 2] * m;
        do {
            if (descending) {
                while (list.Data()[i] * m > pivot) ++i;
                while (pivot > list.Data()[j] * m) --j;
            } else {
                while (list.Data()[i] * m < pivot) ++i;
                while (pivot < list.Data()[j] * m) --j;
            }
            if (i <= j) {
                SwapPoints(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - l < r - i) {
            if (l < j) SortRange(l, j, list, descending);
            l = i;
        } else {
            if (i < r) SortRange(i, r, list, descending);
            r = j;
        }
    }
}

void TChartSeries::SortByList(const TChartValueList &list)
{
    if (list.Order() == loNone || list.Owner() != this || list.Count() < 2) return;
    SortRange(0, list.Count() - 1, list, list.Order() == loDescending);
    RequestRepaint();
}

// ---- copying

int TChartSeries::AddFromSource(const TChartSeries &source, int i)
{
    // The stored values are copied: the multipliers travel with the list settings, so reading
    // multiplied values here would apply them twice.
    double x = source.xValues_.Value(i);
    double y = source.yValues_.Value(i);
    if (YMandatory() != source.YMandatory()) std::swap(x, y);
    const int index = xValues_.InsertOrdered(x);
    yValues_.InsertValueAt(index, y);
    const size_t lists = std::min(valueLists_.size(), source.valueLists_.size());
    for (size_t k = 2; k < lists; ++k) valueLists_[k]->InsertValueAt(index, source.valueLists_[k]->Value(i));
    const size_t si = static_cast<size_t>(i);
    if (si < source.pointColors_.size()) InsertColor(index, source.pointColors_[si]);
    if (si < source.pointLabels_.size()) InsertLabel(index, source.pointLabels_[si]);
    return index;
}

void TChartSeries::RecalcFrom(const TChartSeries &source)
{
    if (&source == this) return;
    ClearPoints();
    const int n = source.PointCount();
    // Whole columns at once when adding point by point could not differ: nothing watches the
    // adds and the points arrive in an order the x list keeps as it is.
    const bool plain = BulkAddAllowed() && !OnAfterAdd && linked_.empty() && valueLists_.size() == 2 && source.valueLists_.size() == 2 &&
                       YMandatory() == source.YMandatory() && xValues_.Order() != loDescending &&
                       (xValues_.Order() == loNone || source.xValues_.IsAscending());
    if (plain && n > 0) {
        // the same values, read from the source's storage until one of the two changes them
        xValues_.ShareValues(source.xValues_, 0, n);
        yValues_.ShareValues(source.yValues_, 0, n);
        pointColors_.assign(source.pointColors_, 0, std::min<size_t>(source.pointColors_.size(), size_t(n)));
        pointLabels_.assign(source.pointLabels_.begin(),
                            source.pointLabels_.begin() + std::min<size_t>(source.pointLabels_.size(), size_t(n)));
        if (active_) RequestRepaint();
    } else {
        xValues_.Reserve(n);
        yValues_.Reserve(n);
        for (int i = 0; i < n; ++i) AfterAdd(AddFromSource(source, i));
    }
    RecalcLinkedSeries();
}

void TChartSeries::RecalcFromSource()
{
    if (dataSource_) RecalcFrom(*dataSource_);
}

void TChartSeries::RecalcLinkedSeries()
{
    for (size_t k = 0; k < linked_.size(); ++k) linked_[k]->RecalcFromSource();
}

void TChartSeries::SourceAdded(const TChartSeries &source, int index) { AfterAdd(AddFromSource(source, index)); }
void TChartSeries::SourceDeleted(const TChartSeries &, int) { RecalcFromSource(); }
void TChartSeries::SourceCleared(const TChartSeries &) { ClearPoints(); }

void TChartSeries::CopyFrom(const TChartSeries &source)
{
    // The tag; no data source.
    tag_ = source.tag_;
    SetDataSource(nullptr);
    // Value list settings, as far as both series have lists.
    const size_t lists = std::min(valueLists_.size(), source.valueLists_.size());
    for (size_t k = 0; k < lists; ++k) valueLists_[k]->CopyFrom(*source.valueLists_[k]);
    // Where labels and colours come from.
    xLabelsSource_ = source.xLabelsSource_;
    colorSource_ = source.colorSource_;
    // The points (onto itself: nothing to do).
    if (&source != this) {
        if (!source.dataSource_) {
            pointColors_ = source.pointColors_;
            pointLabels_ = source.pointLabels_;
            RecalcFrom(source);
        } else {
            SetDataSource(source.dataSource_);
        }
    }
    // The settings; the resolved axes stay as they are.
    marks_.CopySettings(source.marks_);
    seriesColor_ = source.seriesColor_;
    colorEachPoint_ = source.colorEachPoint_;
    title_ = source.title_;
    valueFormat_ = source.valueFormat_;
    percentFormat_ = source.percentFormat_;
    active_ = source.active_;
    horizAxis_ = source.horizAxis_;
    vertAxis_ = source.vertAxis_;
    recalcOptions_ = source.recalcOptions_;
    cursor_ = source.cursor_;
    showInLegend_ = source.showInLegend_;
    style_ = source.style_;
    identifier_ = source.identifier_;
    RequestRepaint();
}

// ---- drawing and mouse hooks

void TChartSeries::DoBeforeDraw()
{
    if (BeforeDrawValues) BeforeDrawValues(this);
}

void TChartSeries::DoAfterDraw()
{
    if (AfterDrawValues) AfterDrawValues(this);
}

void TChartSeries::DrawPoints()
{
    if (firstShown_ < 0) return;
    for (int i = firstShown_; i <= lastShown_; ++i) DrawPoint(i);
}

bool TChartSeries::Clicked(int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y, bool doubleClick)
{
    if (doubleClick && OnDblClick) {
        OnDblClick(this, index, button, shift, x, y);
        return true;
    }
    if (OnClick) {
        OnClick(this, index, button, shift, x, y);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Custom, line, point and fast-line series

TCustomSeries::TCustomSeries() : pointer_(this)
{
    drawBetweenPoints_ = true;
    auto repaint = [this] { RequestRepaint(); };
    linePen_.OnChange = repaint;
    areaLinesPen_.OnChange = repaint;
    areaBrush_.OnChange = repaint;
}

void TCustomSeries::SetAreaColor(TColor v) { if (v != areaColor_) { areaColor_ = v; RequestRepaint(); } }
void TCustomSeries::SetDark3D(bool v) { if (v != dark3D_) { dark3D_ = v; RequestRepaint(); } }
void TCustomSeries::SetClickableLine(bool v) { if (v != clickableLine_) { clickableLine_ = v; RequestRepaint(); } }
void TCustomSeries::SetDrawLine(bool v) { if (v != drawLine_) { drawLine_ = v; RequestRepaint(); } }
void TCustomSeries::SetDrawArea(bool v) { if (v != drawArea_) { drawArea_ = v; RequestRepaint(); } }
void TCustomSeries::SetStairs(bool v) { if (v != stairs_) { stairs_ = v; RequestRepaint(); } }
void TCustomSeries::SetInvertedStairs(bool v) { if (v != invertedStairs_) { invertedStairs_ = v; RequestRepaint(); } }
void TCustomSeries::SetLineBrush(TBrushStyle v) { if (v != lineBrush_) { lineBrush_ = v; RequestRepaint(); } }
void TCustomSeries::SetLineHeight(int v) { if (v != lineHeight_) { lineHeight_ = v; RequestRepaint(); } }

void TCustomSeries::CopyFrom(const TChartSeries &source)
{
    if (const auto *s = dynamic_cast<const TCustomSeries *>(&source); s && s != this) {
        clickableLine_ = s->clickableLine_;
        areaBrush_.Assign(s->areaBrush_);
        areaColor_ = s->areaColor_;
        areaLinesPen_.Assign(s->areaLinesPen_);
        dark3D_ = s->dark3D_;
        drawArea_ = s->drawArea_;
        drawLine_ = s->drawLine_;
        invertedStairs_ = s->invertedStairs_;
        linePen_.Assign(s->linePen_);
        lineBrush_ = s->lineBrush_;
        lineHeight_ = s->lineHeight_;
        pointer_.Assign(s->pointer_);
        stairs_ = s->stairs_;
    }
    TChartSeries::CopyFrom(source);
}

TLineSeries::TLineSeries()
{
    Pointer().SetVisible(false);
    SetDrawLine(true);
    allowSinglePoint_ = false;
}

void TLineSeries::CopyFrom(const TChartSeries &source)
{
    TCustomSeries::CopyFrom(source);
    if (typeid(source) != typeid(*this)) Pointer().SetVisible(false);
    SetDrawArea(false);
    SetDrawLine(true);
}

TPointSeries::TPointSeries()
{
    SetDrawLine(false);
    SetClickableLine(false);
    Pointer().SetVisible(true);
    Marks().ArrowLength = 0;
}

void TPointSeries::CopyFrom(const TChartSeries &source)
{
    TCustomSeries::CopyFrom(source);
    Pointer().SetVisible(true);
    SetDrawArea(false);
    SetDrawLine(false);
    SetClickableLine(false);
}

void TPointSeries::SetColorEachPoint(bool v)
{
    TCustomSeries::SetColorEachPoint(v);
    if (v) Pointer().Brush().SetColor(clDefault);
}

TFastLineSeries::TFastLineSeries()
{
    drawBetweenPoints_ = true;
    allowSinglePoint_ = false;
    linePen_.OnChange = [this] { RequestRepaint(); };
}

void TFastLineSeries::SetSeriesColor(TColor v)
{
    TChartSeries::SetSeriesColor(v);
    linePen_.SetColor(v);
}

void TFastLineSeries::SetLinePen(const TChartPen &pen)
{
    linePen_.Assign(pen);
    TChartSeries::SetSeriesColor(pen.Color());
}

void TFastLineSeries::CopyFrom(const TChartSeries &source)
{
    if (const auto *s = dynamic_cast<const TFastLineSeries *>(&source); s && s != this) {
        autoRepaint_ = s->autoRepaint_;
        linePen_.Assign(s->linePen_);
    }
    TChartSeries::CopyFrom(source);
}

void TFastLineSeries::AfterAdd(int index)
{
    if (autoRepaint_) {
        TChartSeries::AfterAdd(index);
        return;
    }
    NotifyAdded(index);
    DrawAddedPoint(index);
}
