#include "chart/axis.h"

#include "chart/number_format.h"
#include "chart/series.h"
#include "platform/error.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>

namespace {

void CheckAngle(int v, const char *what)
{
    if (v < 0 || v > 359)
        throw sky::Error(QStringLiteral("%1 Angle must be between 0 and 359 degrees").arg(QLatin1String(what)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Title

TChartAxisTitle::TChartAxisTitle(TCustomChartAxis *axis, int defaultAngle)
    : axis_(axis), defaultAngle_(defaultAngle), angle_(defaultAngle)
{
    font_.OnChange = [this] { axis_->RequestRepaint(); };
}

void TChartAxisTitle::SetAngle(int v)
{
    CheckAngle(v, "Axis Title");
    if (v == angle_) return;
    angle_ = v;
    axis_->RequestRepaint();
}

void TChartAxisTitle::SetCaption(const QString &v)
{
    if (v == caption_) return;
    caption_ = v;
    axis_->RequestRepaint();
}

// ---------------------------------------------------------------------------------------------
// Axis: properties

TCustomChartAxis::TCustomChartAxis(TChartHost *chart, bool horizontal, bool farSide, bool depth)
    : chart_(chart), horizontal_(horizontal), farSide_(farSide), depth_(depth),
      title_(this, (horizontal || depth) ? 0 : (farSide ? 270 : 90))
{
    auto repaint = [this] { RequestRepaint(); };
    for (TChartPen *p : std::initializer_list<TChartPen *>{&axisPen_, &grid_, &minorGrid_, &ticks_, &ticksInner_, &minorTicks_})
        p->OnChange = repaint;
    labelsFont_.OnChange = repaint;
    tickPositions_.reserve(kMaxAxisTicks);
}

void TCustomChartAxis::RequestRepaint()
{
    if (chart_) chart_->RequestRepaint();
}

TCanvas3D *TCustomChartAxis::Canvas() const { return chart_ ? &chart_->Canvas() : nullptr; }

TCustomChartAxis::Side TCustomChartAxis::AxisSide() const
{
    if (horizontal_) return farSide_ ? TopSide : BottomSide;
    return farSide_ ? RightSide : LeftSide;
}

int TCustomChartAxis::Outward() const
{
    switch (AxisSide()) {
    case LeftSide: case TopSide: return -1;
    default: return 1;
    }
}

void TCustomChartAxis::SetAutomatic(bool v)
{
    if (v == automatic_) return;
    automatic_ = v;
    if (!chart_ || !chart_->IsLoading()) {
        automaticMinimum_ = v;
        automaticMaximum_ = v;
    }
    RequestRepaint();
}

void TCustomChartAxis::SetAutomaticMaximum(bool v)
{
    if (v == automaticMaximum_) return;
    automaticMaximum_ = v;
    if (!v)
        automatic_ = false;
    else if (automaticMinimum_)
        automatic_ = true;
    RequestRepaint();
}

void TCustomChartAxis::SetAutomaticMinimum(bool v)
{
    if (v == automaticMinimum_) return;
    automaticMinimum_ = v;
    if (!v)
        automatic_ = false;
    else if (automaticMaximum_)
        automatic_ = true;
    RequestRepaint();
}

void TCustomChartAxis::SetMaximum(double v)
{
    if ((!chart_ || !chart_->IsLoading()) && v < minimum_)
        throw sky::Error(QStringLiteral("Axis Maximum Value must be >= Minimum"));
    Set(maximum_, v);
}

void TCustomChartAxis::SetMinimum(double v)
{
    if ((!chart_ || !chart_->IsLoading()) && v > maximum_)
        throw sky::Error(QStringLiteral("Axis Minimum Value must be <= Maximum"));
    Set(minimum_, v);
}

void TCustomChartAxis::SetIncrement(double v)
{
    if (v < 0) throw sky::Error(QStringLiteral("Axis increment must be >= 0"));
    Set(increment_, v);
}

bool TCustomChartAxis::SeriesHaveDateTime() const
{
    if (!chart_) return false;
    for (const TChartSeries *s : chart_->SeriesList())
        if (s->BelongsToAxis(this) && (horizontal_ ? s->XValues().DateTime() : s->YValues().DateTime())) return true;
    return false;
}

void TCustomChartAxis::SetLogarithmic(bool v)
{
    if (v == logarithmic_) return;
    if (v) {
        if (SeriesHaveDateTime()) throw sky::Error(QStringLiteral("DateTime Axis cannot be Logarithmic"));
        AdjustRange();
        if (drawMin_ < 0 || drawMax_ < 0)
            throw sky::Error(QStringLiteral("Logarithmic Axis Min and Max values should be >= 0"));
    }
    logarithmic_ = v;
    RequestRepaint();
}

void TCustomChartAxis::SetLogarithmicBase(int v)
{
    if (v < 2) throw sky::Error(QStringLiteral("Axis Logarithmic Base should be >= 2"));
    Set(logarithmicBase_, v);
}

void TCustomChartAxis::SetLabelsSeparation(int v)
{
    if (v < 0) throw sky::Error(QStringLiteral("Labels Separation % must be greater than 0"));
    Set(labelsSeparation_, v);
}

void TCustomChartAxis::SetLabelsAngle(int v)
{
    CheckAngle(v, "Axis Labels");
    Set(labelsAngle_, v);
}

void TCustomChartAxis::SetInverted(bool v) { Set(inverted_, v); }
void TCustomChartAxis::SetGridCentered(bool v) { Set(gridCentered_, v); }
void TCustomChartAxis::SetTickLength(int v) { Set(tickLength_, v); }
void TCustomChartAxis::SetTickInnerLength(int v) { Set(tickInnerLength_, v); }
void TCustomChartAxis::SetMinorTickLength(int v) { Set(minorTickLength_, v); }
void TCustomChartAxis::SetMinorTickCount(int v) { Set(minorTickCount_, v); }
void TCustomChartAxis::SetTickOnLabelsOnly(bool v) { Set(tickOnLabelsOnly_, v); }
void TCustomChartAxis::SetLabels(bool v) { Set(labels_, v); }
void TCustomChartAxis::SetLabelsOnAxis(bool v) { Set(labelsOnAxis_, v); }
void TCustomChartAxis::SetLabelsSize(int v) { Set(labelsSize_, v); }
void TCustomChartAxis::SetLabelsMultiLine(bool v) { Set(labelsMultiLine_, v); }
void TCustomChartAxis::SetLabelStyle(TAxisLabelStyle v) { Set(labelStyle_, v); }
void TCustomChartAxis::SetAxisValuesFormat(const QString &v) { Set(axisValuesFormat_, v); }
void TCustomChartAxis::SetDateTimeFormat(const QString &v) { Set(dateTimeFormat_, v); }
void TCustomChartAxis::SetExactDateTime(bool v) { Set(exactDateTime_, v); }
void TCustomChartAxis::SetRoundFirstLabel(bool v) { Set(roundFirstLabel_, v); }
void TCustomChartAxis::SetTitleSize(int v) { Set(titleSize_, v); }
void TCustomChartAxis::SetStartPosition(double v) { Set(startPosition_, v); }
void TCustomChartAxis::SetEndPosition(double v) { Set(endPosition_, v); }
void TCustomChartAxis::SetPositionPercent(double v) { Set(positionPercent_, v); }
void TCustomChartAxis::SetVisible(bool v) { Set(visible_, v); }

// ---------------------------------------------------------------------------------------------
// Range

void TCustomChartAxis::SetRange(double min, double max)
{
    Set(automatic_, false);
    Set(automaticMinimum_, false);
    Set(automaticMaximum_, false);
    if (min > max) std::swap(min, max);
    if (max - min < 1e-10) max = min + 1e-10;
    Set(minimum_, min);
    Set(maximum_, max);
}

void TCustomChartAxis::ScrollBy(double offset, bool checkLimits)
{
    if (checkLimits) {
        if (offset > 0 && !(SeriesMaximum() > maximum_)) return;
        if (offset < 0 && !(SeriesMinimum() < minimum_)) return;
    }
    minimum_ += offset;
    maximum_ += offset;
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    RequestRepaint();
}

double TCustomChartAxis::SeriesExtreme(bool wantMax) const
{
    if (depth_) return wantMax ? 0.5 : -0.5; // one z-level in 2D
    if (!chart_) return 0;
    const TChartSeriesList &list = chart_->SeriesList();
    bool anyActive = false;
    for (const TChartSeries *s : list)
        if (s->Active() && s->BelongsToAxis(this)) { anyActive = true; break; }
    bool found = false;
    double result = 0;
    for (const TChartSeries *s : list) {
        if (!(s->Active() || !anyActive) || s->PointCount() == 0 || !s->BelongsToAxis(this)) continue;
        const double v = horizontal_ ? (wantMax ? s->XMax() : s->XMin()) : (wantMax ? s->YMax() : s->YMin());
        if (!found || (wantMax ? v > result : v < result)) result = v;
        found = true;
    }
    return result;
}

double TCustomChartAxis::SeriesMinimum() const { return SeriesExtreme(false); }
double TCustomChartAxis::SeriesMaximum() const { return SeriesExtreme(true); }

bool TCustomChartAxis::TakesPart() const
{
    if (!chart_ || !chart_->AxisVisible() || !visible_) return false;
    if (depth_) return chart_->View3D();
    bool anyUses = false;
    for (const TChartSeries *s : chart_->SeriesList()) {
        if (!s->Active() || !s->UsesAxes()) continue;
        anyUses = true;
        if (s->BelongsToAxis(this)) return true;
    }
    return !anyUses;
}

void TCustomChartAxis::AdjustRange()
{
    if (automatic_ || automaticMaximum_) maximum_ = SeriesMaximum();
    if (automatic_ || automaticMinimum_) minimum_ = SeriesMinimum();
    drawMax_ = maximum_;
    drawMin_ = minimum_;
    drawRange_ = drawMax_ - drawMin_;
}

void TCustomChartAxis::UpdatePixelRange()
{
    if (chart_) UpdatePixelRange(chart_->PlotRect());
}

void TCustomChartAxis::UpdatePixelRange(const TRect &plot)
{
    if (horizontal_) {
        const double w = plot.Width();
        startPixel_ = plot.Left + RoundEven(w * 0.01 * startPosition_);
        endPixel_ = plot.Left + RoundEven(w * 0.01 * endPosition_);
    } else {
        const double h = plot.Height();
        startPixel_ = plot.Top + RoundEven(h * 0.01 * startPosition_);
        endPixel_ = plot.Top + RoundEven(h * 0.01 * endPosition_);
    }
    pixelSize_ = endPixel_ - startPixel_;
    centerPixel_ = (startPixel_ + endPixel_) / 2;
}

void TCustomChartAxis::ApplyMargins(const TRect &margins)
{
    const int startMargin = horizontal_ ? margins.Left : margins.Top;
    const int endMargin = horizontal_ ? margins.Right : margins.Bottom;
    if (startMargin == 0 && endMargin == 0) return; // nothing to widen
    const int oldStart = startPixel_, oldEnd = endPixel_;
    startPixel_ += startMargin;
    endPixel_ -= endMargin;
    pixelSize_ = endPixel_ - startPixel_;
    // The values that the shrunk span puts at the old ends become the range, and the span goes
    // back to the old ends: the outermost values then sit the margin inside the plot edge.
    double a = PixelToValue(oldStart), b = PixelToValue(oldEnd);
    if (a > b) std::swap(a, b);
    drawMin_ = a;
    drawMax_ = b;
    drawRange_ = drawMax_ - drawMin_;
    startPixel_ = oldStart;
    endPixel_ = oldEnd;
    pixelSize_ = endPixel_ - startPixel_;
}

// ---------------------------------------------------------------------------------------------
// Mapping, logarithmic

void TCustomChartAxis::UpdateLogEnds() const
{
    if (logEndsValid_ && logMinOf_ == drawMin_ && logMaxOf_ == drawMax_) return;
    logMinOf_ = drawMin_;
    logMaxOf_ = drawMax_;
    logMin_ = drawMin_ > 0 ? std::log(drawMin_) : 0;
    logMax_ = drawMax_ > 0 ? std::log(drawMax_) : 0;
    logEndsValid_ = true;
}

int TCustomChartAxis::LogValueToPixel(double v) const
{
    UpdateLogEnds();
    const double lmin = logMin_, lmax = logMax_;
    if (lmax - lmin == 0) return centerPixel_;
    if (v > 0) {
        const double lv = std::log(v);
        const double t = (inverted_ ? lmax - lv : lv - lmin) * pixelSize_ / (lmax - lmin);
        if (!(std::fabs(t) < 2147483647.0)) return centerPixel_;
        const std::int64_t r = RoundEven(t);
        const std::int64_t p = horizontal_ ? startPixel_ + r : endPixel_ - r;
        if (p > INT32_MAX || p < INT32_MIN) return centerPixel_;
        return static_cast<int>(p);
    }
    return ((horizontal_ && inverted_) || (!horizontal_ && !inverted_)) ? endPixel_ : startPixel_;
}

double TCustomChartAxis::LogPixelToValue(int p) const
{
    const bool maxAtStart = (horizontal_ && inverted_) || (!horizontal_ && !inverted_);
    if (p == startPixel_) return maxAtStart ? drawMax_ : drawMin_;
    if (p == endPixel_) return maxAtStart ? drawMin_ : drawMax_;
    UpdateLogEnds();
    const double lmin = logMin_, lmax = logMax_;
    if (lmax - lmin == 0 || pixelSize_ < 1) return drawMin_;
    const double d = inverted_ ? static_cast<double>(endPixel_) - p : static_cast<double>(p) - startPixel_;
    const double c = (lmax - lmin) * d / pixelSize_;
    return horizontal_ ? std::exp(c + lmin) : std::exp(lmax - c);
}

// ---------------------------------------------------------------------------------------------
// Labels: text, step, style

QString TCustomChartAxis::DateTimeText(double v) const
{
    if (v < 0) return QString();
    // Date-time values count days since 1899-12-30.
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    const QDateTime dt = epoch.addMSecs(static_cast<qint64>(std::llround(v * 86400000.0)));
    if (!dateTimeFormat_.isEmpty()) return QLocale::c().toString(dt, dateTimeFormat_);
    if (v == std::floor(v)) return QLocale::c().toString(dt.date(), QStringLiteral("yyyy-MM-dd"));
    return QLocale::c().toString(dt, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString TCustomChartAxis::LabelText(double value, bool withEvent)
{
    QString text = isDateTime_ ? DateTimeText(value) : FormatFloat(axisValuesFormat_, value, LocaleGroupSeparator());
    if (withEvent && chart_) chart_->GetAxisLabel(*this, nullptr, -1, text);
    if (labelsMultiLine_) text.replace(u' ', u'\n');
    return text;
}

QString TCustomChartAxis::FormatLabel(double value) { return LabelText(value, true); }

double TCustomChartAxis::NextLadderStep(double x)
{
    if (!(x > 0) || !std::isfinite(x)) return x; // no ladder for these (and no endless recursion)
    if (x >= 10) return 10 * NextLadderStep(x / 10);
    if (x < 1) return NextLadderStep(x * 10) / 10;
    if (x < 2) return 2;
    if (x < 5) return 5;
    return 10;
}

bool TCustomChartAxis::LabelsRunAlong() const
{
    const bool upright = labelsAngle_ == 0 || labelsAngle_ == 180;
    const bool sideways = labelsAngle_ == 90 || labelsAngle_ == 270;
    return horizontal_ ? upright : sideways;
}

// Extent of a (possibly multi-line) text: along the axis when alongAxis, else across it.
int TCustomChartAxis::TextExtent(TCanvas3D &c, const QString &text, bool alongAxis)
{
    const QStringList lines = text.split(u'\n');
    const bool sideways = labelsAngle_ == 90 || labelsAngle_ == 270;
    // A horizontal extent is the text width for upright text, the stacked height for sideways text.
    const bool wantWidth = (horizontal_ == alongAxis) ? !sideways : sideways;
    if (wantWidth) {
        int w = 0;
        for (const QString &l : lines) w = std::max(w, c.MeasureText(l));
        return w;
    }
    return c.TextHeightW() * static_cast<int>(lines.size());
}

void TCustomChartAxis::SelectFont(TCanvas3D &c, const TChartFont &font)
{
    c.AssignFont(font);
    if (chart_ && chart_->IsPrinting() && c.Font().Color == clWhite) c.Font().Color = clBlack;
}

double TCustomChartAxis::LabelStep()
{
    TCanvas3D *c = Canvas();
    int size = 0;
    if (c) {
        SelectFont(*c, labelsFont_);
        size = std::max(TextExtent(*c, LabelText(drawMin_, true), true), TextExtent(*c, LabelText(drawMax_, true), true));
    }
    int maxLabels = 1;
    if (size != 0) {
        const int room = labelsSeparation_ > 0 ? size + RoundEven(labelsSeparation_ * 0.01 * size) : size;
        maxLabels = static_cast<int>(RoundEvenD(static_cast<double>(pixelSize_) / room));
    }
    if (maxLabels < 1) return 1e-12;
    // A span of exactly 1 starts from the smallest step too, so that 0..1 can get 0.2 labels.
    double step = increment_ > 0 ? increment_ : (std::fabs(drawRange_) > 1 ? 1.0 : 1e-12);
    if (labelsSeparation_ > 0) {
        for (;;) {
            const double q = drawRange_ / step;
            if (std::fabs(q) < 2147483647.0 && RoundEvenD(q) <= maxLabels) break;
            double next = NextLadderStep(step);
            // Decade scaling can round a step onto itself; nudge it over the ladder value.
            if (!(next > step)) next = NextLadderStep(step * 1.000001);
            if (!(next > step) || !std::isfinite(next)) break; // no further step exists
            step = next;
        }
    }
    return std::max(step, 1e-12);
}

TAxisLabelStyle TCustomChartAxis::EffectiveLabelStyle() const
{
    if (labelStyle_ != talAuto) return labelStyle_;
    if (!chart_) return talNone;
    bool any = false;
    for (const TChartSeries *s : chart_->SeriesList()) {
        if (!s->Active() || !s->BelongsToAxis(this)) continue;
        any = true;
        const bool labelsOnThisAxis = horizontal_ ? s->YMandatory() : !s->YMandatory();
        if (labelsOnThisAxis && !s->PointLabels().empty() && !s->PointLabels().front().isEmpty()) return talText;
    }
    return any ? talValue : talNone;
}

// ---------------------------------------------------------------------------------------------
// Space

int TCustomChartAxis::TickRoom() const
{
    int room = (axisPen_.Visible() ? axisPen_.Width() : 0) + (ticks_.Visible() ? tickLength_ : 0);
    if (minorTicks_.Visible()) room = std::max(room, minorTickLength_);
    if (chart_ && chart_->View3D()) room += chart_->AxisWallSize(*this);
    return room;
}

QString MarkText(const TChartSeries &s, int index)
{
    QString text = FormatFloat(s.ValueFormat(), s.YValue(index), LocaleGroupSeparator());
    if (s.OnGetMarkText) s.OnGetMarkText(const_cast<TChartSeries *>(&s), index, text);
    return text;
}

int TCustomChartAxis::MeasureLabelsSize()
{
    TCanvas3D *c = Canvas();
    if (!c) return 0;
    SelectFont(*c, labelsFont_);
    const TAxisLabelStyle style = EffectiveLabelStyle();
    if (LabelsRunAlong()) return c->TextHeightW();
    switch (style) {
    case talValue: {
        const double step = LabelStep();
        double a = drawMin_, b = drawMax_;
        if (roundFirstLabel_) {
            a = step * std::trunc(a / step);
            b = step * std::trunc(b / step);
        }
        SelectFont(*c, labelsFont_);
        return std::max(TextExtent(*c, LabelText(a, false), false), TextExtent(*c, LabelText(b, false), false)) +
               c->MeasureText(QStringLiteral(" "));
    }
    case talMark:
    case talText: {
        int w = 0;
        for (const TChartSeries *s : chart_->SeriesList()) {
            if (style == talMark) {
                if (!s->BelongsToAxis(this)) continue;
                for (int i = 0, n = s->PointCount(); i < n; ++i) w = std::max(w, TextExtent(*c, MarkText(*s, i), false));
            } else {
                for (const QString &l : s->PointLabels()) w = std::max(w, TextExtent(*c, l, false));
            }
        }
        return w;
    }
    default:
        return 0;
    }
}

void TCustomChartAxis::ReserveSpace(TRect &rect, bool reserve)
{
    TCanvas3D *c = Canvas();
    const int out = Outward();
    const Side side = AxisSide();
    int titleSize = 0;
    if (!title_.Caption().isEmpty()) {
        titleSize = titleSize_;
        if (titleSize == 0 && c) {
            SelectFont(*c, title_.Font());
            const int a = title_.Angle();
            const bool along = horizontal_ ? (a == 0 || a == 180) : (a == 90 || a == 270);
            titleSize = along ? c->TextHeightW() : c->MeasureText(title_.Caption());
        }
    }
    int labelsSize = 0;
    if (labels_) labelsSize = labelsSize_ != 0 ? labelsSize_ : MeasureLabelsSize();
    const int tickRoom = TickRoom();
    auto offset = [&]() { return RoundEven(positionPercent_ * 0.01 * (horizontal_ ? rect.Height() : rect.Width())); };

    auto edge = [&]() {
        switch (side) {
        case LeftSide: return rect.Left;
        case RightSide: return rect.Right;
        case BottomSide: return rect.Bottom;
        default: return rect.Top;
        }
    };
    auto shrink = [&](int n) {
        switch (side) {
        case LeftSide: rect.Left += n; break;
        case RightSide: rect.Right -= n; break;
        case BottomSide: rect.Bottom -= n; break;
        case TopSide: rect.Top += n; break;
        }
    };

    if (reserve) {
        if (!title_.Caption().isEmpty()) {
            shrink(titleSize);
            titlePos_ = edge();
        }
        if (labels_) {
            shrink(labelsSize);
            labelsPos_ = edge();
        }
        if (tickRoom > 0) shrink(tickRoom);
        // moved into the plot by PositionPercent of what is left of it
        titlePos_ -= out * offset();
        labelsPos_ -= out * offset();
    } else {
        axisPos_ = edge() - out * offset();
        labelsPos_ = axisPos_ + out * tickRoom;
        titlePos_ = labelsPos_ + out * labelsSize;
    }
}
