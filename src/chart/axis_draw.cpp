// Axis drawing: the axis line, ticks, grid, labels of every style and the title.
#include "chart/axis.h"

#include "chart/number_format.h"
#include "chart/series.h"

#include <algorithm>
#include <cmath>


void TCustomChartAxis::AddTick(int p)
{
    if (tickPositions_.size() < kMaxAxisTicks) tickPositions_.push_back(p);
}

void TCustomChartAxis::DrawAxisText(TCanvas3D &c, int x, int y, int angle, const QString &text)
{
    const QStringList lines = text.split(u'\n');
    const int n = static_cast<int>(lines.size());
    const int h = c.TextHeightW();
    const Side side = AxisSide();
    unsigned align = TextAlign::Left | TextAlign::Top;
    int ax = x, ay = y, sx = 0, sy = 0; // anchor of the first line, offset of each further line
    switch (angle) {
    case 0:
        sy = h;
        switch (side) {
        case LeftSide: align = TextAlign::Right | TextAlign::Top; ay = y - h * n / 2; break;
        case RightSide: align = TextAlign::Left | TextAlign::Top; ay = y - h * n / 2; break;
        case BottomSide: align = TextAlign::Center | TextAlign::Top; break;
        case TopSide: align = TextAlign::Center | TextAlign::Bottom; ay = y - (n - 1) * h; break;
        }
        break;
    case 90: // text runs upwards; "below" the text is +x
        sx = h;
        switch (side) {
        case LeftSide: align = TextAlign::Center | TextAlign::Bottom; ax = x - (n - 1) * h; break;
        case RightSide: align = TextAlign::Center | TextAlign::Top; break;
        case BottomSide: align = TextAlign::Right | TextAlign::Top; ax = x - h * n / 2; break;
        case TopSide: align = TextAlign::Left | TextAlign::Top; ax = x - h * n / 2; break;
        }
        break;
    case 180: // upside down; "below" the text is -y
        sy = -h;
        switch (side) {
        case LeftSide: align = TextAlign::Left | TextAlign::Top; ay = y + h * n / 2; break;
        case RightSide: align = TextAlign::Right | TextAlign::Top; ay = y + h * n / 2; break;
        case BottomSide: align = TextAlign::Center | TextAlign::Bottom; ay = y + (n - 1) * h; break;
        case TopSide: align = TextAlign::Center | TextAlign::Top; break;
        }
        break;
    case 270: // text runs downwards; "below" the text is -x
        sx = -h;
        switch (side) {
        case LeftSide: align = TextAlign::Center | TextAlign::Top; break;
        case RightSide: align = TextAlign::Center | TextAlign::Bottom; ax = x + (n - 1) * h; break;
        case BottomSide: align = TextAlign::Left | TextAlign::Top; ax = x + h * n / 2; break;
        case TopSide: align = TextAlign::Right | TextAlign::Top; ax = x + h * n / 2; break;
        }
        break;
    default: {
        const double rad = angle * std::numbers::pi / 180.0;
        sx = static_cast<int>(std::lround(std::sin(rad) * h));
        sy = static_cast<int>(std::lround(std::cos(rad) * h));
        break;
    }
    }
    c.SetTextAlign(align);
    for (int i = 0; i < n; ++i) {
        if (angle == 0)
            c.TextOut(ax + i * sx, ay + i * sy, lines[i]);
        else
            c.RotatedTextOut(ax + i * sx, ay + i * sy, angle, lines[i]);
    }
    c.SetTextAlign(TextAlign::Left | TextAlign::Top);
}

void TCustomChartAxis::DrawValueLabel(TCanvas3D &c, double value)
{
    const int p = ValueToPixel(value);
    // A label on an axis end may be suppressed, its tick is not (unless ticks follow labels).
    if (!tickOnLabelsOnly_) AddTick(p);
    if (!labelsOnAxis_ && !(p > startPixel_ && p < endPixel_)) return;
    if (labels_) {
        const QString text = FormatLabel(value);
        if (horizontal_)
            DrawAxisText(c, p, labelsPos_, labelsAngle_, text);
        else
            DrawAxisText(c, labelsPos_, p, labelsAngle_, text);
        if (tickOnLabelsOnly_) AddTick(p);
    }
}

void TCustomChartAxis::DrawValueLabels(TCanvas3D &c, double step)
{
    if (!(std::fabs(drawRange_ / step) < 10000)) return; // too many steps: no labels, no ticks
    double v;
    if (drawMin_ == drawMax_)
        v = drawMax_;
    else if (roundFirstLabel_)
        v = step * std::trunc(drawMax_ / step);
    else
        v = drawMax_;
    // Each loop stops when subtracting the step no longer changes the value (a step below the
    // resolution of the numbers would otherwise never end).
    while (v > drawMax_) {
        const double nv = v - step;
        if (nv == v) return;
        v = nv;
    }
    const double lower = (drawMin_ - 1e-12) / 1.000000000001;
    for (int count = 0; v >= lower && count <= 10001; ++count) {
        DrawValueLabel(c, v);
        const double nv = v - step;
        if (nv == v) break;
        v = nv;
    }
}

void TCustomChartAxis::DrawLogLabels(TCanvas3D &c)
{
    if (drawMin_ == drawMax_) return;
    const double base = logarithmicBase_;
    double v;
    if (drawMin_ > 0) {
        v = std::pow(base, RoundEvenD(std::log(drawMin_) / std::log(base)));
    } else {
        drawMin_ = drawMin_ < 0 ? 1e-10 : 0.1;
        drawRange_ = drawMax_ - drawMin_;
        v = drawMin_;
    }
    for (int count = 0; v <= drawMax_ && v > 0 && std::isfinite(v) && count < 2000; ++count) {
        if (v >= drawMin_) DrawValueLabel(c, v);
        v *= base;
    }
}

void TCustomChartAxis::DrawCustomLabels(TCanvas3D &c)
{
    for (int i = 0; i < static_cast<int>(kMaxAxisTicks); ++i) {
        double value = 0;
        bool stop = true;
        chart_->GetNextAxisLabel(*this, i, value, stop);
        if (stop) break;
        if (value >= drawMin_ - 1e-7 && value <= drawMax_ + 1e-7) DrawValueLabel(c, value);
    }
}

void TCustomChartAxis::DrawSeriesLabels(TCanvas3D &c, TAxisLabelStyle style)
{
    std::vector<TChartSeries *> withLabels;
    int first = -1, last = -1;
    for (TChartSeries *s : chart_->SeriesList()) {
        if (!s->Active() || !s->BelongsToAxis(this)) continue;
        if (style == talText ? s->PointLabels().empty() : s->PointCount() == 0) continue;
        withLabels.push_back(s);
        if (s->FirstShown() >= 0 && (first < 0 || s->FirstShown() < first)) first = s->FirstShown();
        if (s->LastShown() > last) last = s->LastShown();
    }
    if (first < 0) return;
    bool havePrevious = false;
    int q = 0, previousHalf = 0;
    for (int i = first; i <= last; ++i) {
        TChartSeries *src = nullptr;
        for (TChartSeries *s : withLabels) {
            const bool has = style == talText ? !s->PointLabel(i).isEmpty() : i < s->PointCount();
            if (has && i < s->PointCount()) { src = s; break; }
        }
        if (!src) continue;
        QString text = style == talText ? src->PointLabel(i) : MarkText(*src, i);
        chart_->GetAxisLabel(*this, src, i, text);
        if (labelsMultiLine_) text.replace(u' ', u'\n');
        const double value = horizontal_ ? src->XValue(i) : src->YValue(i);
        if (value < drawMin_ || value > drawMax_) continue;
        const int p = ValueToPixel(value);
        if (!tickOnLabelsOnly_) AddTick(p);
        if (!labels_) continue;
        const int size = TextExtent(c, text, true);
        int half = size / 2;
        if (labelsSeparation_ != 0 && havePrevious) {
            half = (size + static_cast<int>(std::trunc(size * 0.02 * labelsSeparation_))) / 2;
            const bool clear = p < q ? (q - previousHalf >= p + half) : (p - half >= q + previousHalf);
            if (!clear) continue;
        }
        if (horizontal_)
            DrawAxisText(c, p, labelsPos_, labelsAngle_, text);
        else
            DrawAxisText(c, labelsPos_, p, labelsAngle_, text);
        if (tickOnLabelsOnly_) AddTick(p);
        havePrevious = true;
        q = p;
        previousHalf = half;
    }
}

void TCustomChartAxis::DrawTickLine(TCanvas3D &c, int p, int from, int length, int direction)
{
    const int to = from + direction * length;
    if (horizontal_)
        c.VertLine(p, from, to);
    else
        c.HorizLine(from, to, p);
}

void TCustomChartAxis::DrawGridLine(TCanvas3D &c, int p)
{
    const TRect plot = chart_->PlotRect();
    if (horizontal_)
        c.VertLine(p, plot.Top, plot.Bottom);
    else
        c.HorizLine(plot.Left, plot.Right, p);
}

std::vector<int> TCustomChartAxis::MinorTickPositions() const
{
    std::vector<int> out;
    const int n = minorTickCount_;
    const std::vector<int> &t = tickPositions_;
    if (n < 1 || t.empty()) return out;
    const double parts = n + 1.0;
    if (t.size() >= 2 && !logarithmic_) {
        const int d = t[1] - t[0];
        for (int i = 1; i <= n; ++i) {
            const int o = RoundEven(i * d / parts);
            out.push_back(t.front() - o);
            out.push_back(t.back() + o);
        }
    }
    for (size_t k = 1; k < t.size(); ++k) {
        if (!logarithmic_) {
            for (int j = 1; j <= n; ++j) out.push_back(t[k] - RoundEven(j * (t[k] - t[k - 1]) / parts));
        } else {
            const double v = PixelToValue(t[k - 1]);
            for (int j = 1; j <= n; ++j) {
                const double val = v + j * (logarithmicBase_ * v - v) / parts;
                if (val > drawMax_) break;
                out.push_back(ValueToPixel(val));
            }
        }
    }
    out.erase(std::remove_if(out.begin(), out.end(), [this](int p) { return !(p > startPixel_ && p < endPixel_); }),
              out.end());
    return out;
}

void TCustomChartAxis::DrawAxis(bool placeAxis)
{
    TCanvas3D *cp = Canvas();
    if (!cp) return;
    TCanvas3D &c = *cp;
    const TRect plot = chart_->PlotRect();

    // Date-time values, the labels font and the label step.
    isDateTime_ = false;
    for (const TChartSeries *s : chart_->SeriesList())
        if (s->Active() && s->BelongsToAxis(this)) {
            isDateTime_ = horizontal_ ? s->XValues().DateTime() : s->YValues().DateTime();
            break;
        }
    SelectFont(c, labelsFont_);
    const double step = LabelStep();

    // Where the axis line runs.
    if (placeAxis) {
        const int offset = RoundEven(positionPercent_ * 0.01 * (horizontal_ ? plot.Height() : plot.Width()));
        switch (AxisSide()) {
        case LeftSide: axisPos_ = plot.Left + offset; break;
        case RightSide: axisPos_ = plot.Right - offset; break;
        case BottomSide: axisPos_ = plot.Bottom - offset; break;
        case TopSide: axisPos_ = plot.Top + offset; break;
        }
    }

    // Titles and labels are drawn over the panel colour, without a background box.
    c.Brush().Color = chart_->Color();
    c.Brush().Style = bsClear;
    c.SetBackMode(bmTransparent);

    // The title.
    if (!title_.Caption().isEmpty()) {
        SelectFont(c, title_.Font());
        if (horizontal_)
            DrawAxisText(c, centerPixel_, titlePos_, title_.Angle(), title_.Caption());
        else
            DrawAxisText(c, titlePos_, centerPixel_, title_.Angle(), title_.Caption());
        SelectFont(c, labelsFont_);
    }

    // The labels, collecting the major tick positions.
    tickPositions_.clear();
    if (step > 0 && drawMax_ >= drawMin_) {
        const TAxisLabelStyle style = EffectiveLabelStyle();
        if (style == talValue) {
            if (chart_->HasNextAxisLabel())
                DrawCustomLabels(c);
            else if (logarithmic_ && increment_ == 0)
                DrawLogLabels(c);
            else
                DrawValueLabels(c, step);
        } else if (style == talMark || style == talText) {
            DrawSeriesLabels(c, style);
        }
    }

    const int out = Outward();
    // The axis line.
    if (axisPen_.Visible()) {
        c.SetPen(axisPen_);
        if (horizontal_)
            c.HorizLine(startPixel_, endPixel_, axisPos_);
        else
            c.VertLine(axisPos_, startPixel_, endPixel_);
    }
    // Ticks outside the plot.
    if (ticks_.Visible()) {
        c.SetPen(ticks_);
        for (int p : tickPositions_) DrawTickLine(c, p, axisPos_ + out, tickLength_, out);
    }
    // The grid.
    if (grid_.Visible()) {
        c.SetPen(grid_);
        if (grid_.Color() == clDefault) c.Pen().Color = clGray;
        c.Brush().Style = bsClear;
        c.SetBackMode(bmTransparent);
        if (gridCentered_) {
            for (size_t k = 1; k < tickPositions_.size(); ++k)
                DrawGridLine(c, RoundEven((tickPositions_[k - 1] + tickPositions_[k]) / 2.0));
        } else {
            for (int p : tickPositions_) DrawGridLine(c, p);
        }
    }
    // Ticks inside the plot.
    if (ticksInner_.Visible() && tickInnerLength_ != 0) {
        c.SetPen(ticksInner_);
        for (int p : tickPositions_) DrawTickLine(c, p, axisPos_ - out, tickInnerLength_, -out);
    }
    // Minor ticks and the minor grid.
    if (!tickPositions_.empty() && (minorTicks_.Visible() || minorGrid_.Visible())) {
        const std::vector<int> minor = MinorTickPositions();
        if (minorTicks_.Visible()) {
            c.SetPen(minorTicks_);
            for (int p : minor) DrawTickLine(c, p, axisPos_ + out, minorTickLength_, out);
        }
        if (minorGrid_.Visible()) {
            c.SetPen(minorGrid_);
            for (int p : minor) DrawGridLine(c, p);
        }
    }
}
