#pragma once
// Chart axes: value <-> pixel mapping (linear or logarithmic, possibly inverted), fixed or
// automatic range, label step and label text, and the drawing of title, labels, axis line,
// ticks, minor ticks and grid.
#include "chart/canvas.h"
#include "chart/chart_host.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <vector>

enum TAxisLabelStyle { talAuto, talNone, talValue, talMark, talText };

class TCustomChartAxis;

// Axis title: caption, angle and font.
class TChartAxisTitle : public TChartFontObject {
public:
    TChartAxisTitle(TCustomChartAxis *axis, int defaultAngle);

    int Angle() const { return angle_; }
    void SetAngle(int v);                     // outside 0..359: "Axis Title Angle must be ..."
    int DefaultAngle() const { return defaultAngle_; }
    const QString &Caption() const { return caption_; }
    void SetCaption(const QString &v);

private:
    TCustomChartAxis *axis_;
    int defaultAngle_;
    int angle_;
    QString caption_;
};

// Axes keep at most this many tick positions per frame.
inline constexpr size_t kMaxAxisTicks = 2000;

// The text of one series mark: the value in the series' format, then OnGetMarkText's say.
QString MarkText(const TChartSeries &s, int index);

class TCustomChartAxis {
public:
    // Which side of the plot the axis lies on.
    enum Side { LeftSide, RightSide, BottomSide, TopSide };

    // chart may be null (no repaint requests, no series, no canvas).
    TCustomChartAxis(TChartHost *chart, bool horizontal, bool farSide, bool depth = false);
    virtual ~TCustomChartAxis() = default;
    TCustomChartAxis(const TCustomChartAxis &) = delete;
    TCustomChartAxis &operator=(const TCustomChartAxis &) = delete;

    TChartHost *ParentChart() const { return chart_; }

    // ---- published properties (setters compare, store, request a repaint)
    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool v);                // also sets both automatic ends (not while loading)
    bool AutomaticMaximum() const { return automaticMaximum_; }
    void SetAutomaticMaximum(bool v);
    bool AutomaticMinimum() const { return automaticMinimum_; }
    void SetAutomaticMinimum(bool v);
    double Maximum() const { return maximum_; }
    void SetMaximum(double v);                // < Minimum: "Axis Maximum Value must be >= Minimum"
    double Minimum() const { return minimum_; }
    void SetMinimum(double v);                // > Maximum: "Axis Minimum Value must be <= Maximum"
    double Increment() const { return increment_; }
    void SetIncrement(double v);              // < 0: "Axis increment must be >= 0"
    bool Logarithmic() const { return logarithmic_; }
    void SetLogarithmic(bool v);
    int LogarithmicBase() const { return logarithmicBase_; }
    void SetLogarithmicBase(int v);           // < 2: "Axis Logarithmic Base should be >= 2"
    bool Inverted() const { return inverted_; }
    void SetInverted(bool v);
    TChartAxisPen &Axis() { return axisPen_; }
    TDottedGrayPen &Grid() { return grid_; }
    bool GridCentered() const { return gridCentered_; }
    void SetGridCentered(bool v);
    TChartHiddenPen &MinorGrid() { return minorGrid_; }
    TDarkGrayPen &Ticks() { return ticks_; }
    TDarkGrayPen &TicksInner() { return ticksInner_; }
    TDarkGrayPen &MinorTicks() { return minorTicks_; }
    int TickLength() const { return tickLength_; }
    void SetTickLength(int v);
    int TickInnerLength() const { return tickInnerLength_; }
    void SetTickInnerLength(int v);
    int MinorTickLength() const { return minorTickLength_; }
    void SetMinorTickLength(int v);
    int MinorTickCount() const { return minorTickCount_; }
    void SetMinorTickCount(int v);
    bool TickOnLabelsOnly() const { return tickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool v);
    bool Labels() const { return labels_; }
    void SetLabels(bool v);
    int LabelsAngle() const { return labelsAngle_; }
    void SetLabelsAngle(int v);               // outside 0..359: "Axis Labels Angle must be ..."
    TChartFont &LabelsFont() { return labelsFont_; }
    bool LabelsOnAxis() const { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool v);
    int LabelsSeparation() const { return labelsSeparation_; }
    void SetLabelsSeparation(int v);          // < 0: "Labels Separation % must be greater than 0"
    int LabelsSize() const { return labelsSize_; }
    void SetLabelsSize(int v);
    bool LabelsMultiLine() const { return labelsMultiLine_; }
    void SetLabelsMultiLine(bool v);
    TAxisLabelStyle LabelStyle() const { return labelStyle_; }
    void SetLabelStyle(TAxisLabelStyle v);
    const QString &AxisValuesFormat() const { return axisValuesFormat_; }
    void SetAxisValuesFormat(const QString &v);
    const QString &DateTimeFormat() const { return dateTimeFormat_; }
    void SetDateTimeFormat(const QString &v);
    bool ExactDateTime() const { return exactDateTime_; }
    void SetExactDateTime(bool v);
    bool RoundFirstLabel() const { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool v);
    TChartAxisTitle &Title() { return title_; }
    const TChartAxisTitle &Title() const { return title_; }
    int TitleSize() const { return titleSize_; }
    void SetTitleSize(int v);
    double StartPosition() const { return startPosition_; }
    void SetStartPosition(double v);
    double EndPosition() const { return endPosition_; }
    void SetEndPosition(double v);
    double PositionPercent() const { return positionPercent_; }
    void SetPositionPercent(double v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);

    // ---- layout state of the last paint
    bool IsHorizontal() const { return horizontal_; }
    bool FarSide() const { return farSide_; }
    bool IsDepth() const { return depth_; }
    Side AxisSide() const;
    double DrawMin() const { return drawMin_; }
    double DrawMax() const { return drawMax_; }
    double DrawRange() const { return drawRange_; }
    int StartPixel() const { return startPixel_; }
    int EndPixel() const { return endPixel_; }
    int PixelSize() const { return pixelSize_; }
    int CenterPixel() const { return centerPixel_; }
    int AxisPos() const { return axisPos_; }
    int LabelsPos() const { return labelsPos_; }
    int TitlePos() const { return titlePos_; }
    bool IsDateTime() const { return isDateTime_; }
    const std::vector<int> &TickPositions() const { return tickPositions_; }

    // ---- mapping (state of the last layout)
    int ValueToPixel(double value) const;
    double PixelToValue(int pixel) const;

    // ---- operations
    // Fixed range: automatic flags off, arguments swapped when min > max, a span below 1e-10
    // widened to 1e-10; the ends are stored without the setters' checks.
    void SetRange(double min, double max);
    // Shifts both ends (automatic flags off). With checkLimits a shift beyond the series' data
    // is refused.
    void ScrollBy(double offset, bool checkLimits);
    // Label text of a value: AxisValuesFormat (or a date-time format), then the chart's label
    // event, then line breaks for LabelsMultiLine.
    QString FormatLabel(double value);
    // Step between labels so that labels do not crowd.
    double LabelStep();
    // Next step of the 1, 2, 5 ladder above x.
    static double NextLadderStep(double x);
    TAxisLabelStyle EffectiveLabelStyle() const;
    // Automatic ends from the series that count for this axis (0 when none counts).
    double SeriesMinimum() const;
    double SeriesMaximum() const;
    // Whether the chart lays out and draws this axis.
    bool TakesPart() const;

    // ---- layout and paint steps, in the order the chart runs them
    void AdjustRange();
    void ReserveSpace(TRect &rect, bool reserve);
    void UpdatePixelRange();                     // from the chart's plot rectangle
    void UpdatePixelRange(const TRect &plot);
    void ApplyMargins(const TRect &margins);     // pixel margins left/top/right/bottom
    void DrawAxis(bool placeAxis);
    // Runs f(*this) on the axis ranged as the next layout will range it, as far as that is known
    // before the frame: from its series (when automatic) with these margins, on the last
    // layout's pixels. The axis is as it was afterwards.
    template <class F> void WithNextRange(const TRect &margins, F &&f)
    {
        struct Restore {
            TCustomChartAxis &a;
            const RangeState saved{a.maximum_, a.minimum_, a.drawMin_, a.drawMax_, a.drawRange_,
                                   a.startPixel_, a.endPixel_, a.pixelSize_, a.centerPixel_};
            ~Restore()
            {
                a.maximum_ = saved.maximum;
                a.minimum_ = saved.minimum;
                a.drawMin_ = saved.drawMin;
                a.drawMax_ = saved.drawMax;
                a.drawRange_ = saved.drawRange;
                a.startPixel_ = saved.startPixel;
                a.endPixel_ = saved.endPixel;
                a.pixelSize_ = saved.pixelSize;
                a.centerPixel_ = saved.centerPixel;
            }
        } restore{*this};
        AdjustRange();
        ApplyMargins(margins);
        f(*this);
    }

    // Asks the chart (when there is one) to repaint.
    void RequestRepaint();

private:
    struct RangeState {
        double maximum, minimum, drawMin, drawMax, drawRange;
        int startPixel, endPixel, pixelSize, centerPixel;
    };
    template <class T> void Set(T &field, const T &value)
    {
        if (field == value) return;
        field = value;
        RequestRepaint();
    }
    TCanvas3D *Canvas() const;
    void UpdateLogEnds() const;
    int LogValueToPixel(double value) const;
    double LogPixelToValue(int pixel) const;
    double SeriesExtreme(bool wantMax) const;
    bool SeriesHaveDateTime() const;
    QString LabelText(double value, bool withEvent);
    QString DateTimeText(double value) const;
    bool LabelsRunAlong() const;
    int TextExtent(TCanvas3D &c, const QString &text, bool alongAxis);
    int MeasureLabelsSize();
    int TickRoom() const;
    int Outward() const;                          // +1 when "away from the plot" is +x / +y
    void AddTick(int p);
    void DrawValueLabel(TCanvas3D &c, double value);
    void DrawValueLabels(TCanvas3D &c, double step);
    void DrawLogLabels(TCanvas3D &c);
    void DrawCustomLabels(TCanvas3D &c);
    void DrawSeriesLabels(TCanvas3D &c, TAxisLabelStyle style);
    void DrawAxisText(TCanvas3D &c, int x, int y, int angle, const QString &text);
    void SelectFont(TCanvas3D &c, const TChartFont &font);
    void DrawTickLine(TCanvas3D &c, int p, int from, int length, int direction);
    void DrawGridLine(TCanvas3D &c, int p);
    std::vector<int> MinorTickPositions() const;

    TChartHost *chart_;
    const bool horizontal_, farSide_, depth_;

    bool automatic_ = true, automaticMaximum_ = true, automaticMinimum_ = true;
    double maximum_ = 0, minimum_ = 0, increment_ = 0;
    bool logarithmic_ = false;
    int logarithmicBase_ = 10;
    bool inverted_ = false;
    TChartAxisPen axisPen_;
    TDottedGrayPen grid_;
    bool gridCentered_ = false;
    TChartHiddenPen minorGrid_;
    TDarkGrayPen ticks_, ticksInner_, minorTicks_;
    int tickLength_ = 4, tickInnerLength_ = 0, minorTickLength_ = 2, minorTickCount_ = 3;
    bool tickOnLabelsOnly_ = true;
    bool labels_ = true;
    int labelsAngle_ = 0;
    TChartFont labelsFont_;
    bool labelsOnAxis_ = true;
    int labelsSeparation_ = 10;
    int labelsSize_ = 0;
    bool labelsMultiLine_ = false;
    TAxisLabelStyle labelStyle_ = talAuto;
    QString axisValuesFormat_ = QStringLiteral("#,##0.###");
    QString dateTimeFormat_;
    bool exactDateTime_ = true;
    bool roundFirstLabel_ = true;
    TChartAxisTitle title_;
    int titleSize_ = 0;
    double startPosition_ = 0, endPosition_ = 100, positionPercent_ = 0;
    bool visible_ = true;

    double drawMin_ = 0, drawMax_ = 0, drawRange_ = 0;
    int startPixel_ = 0, endPixel_ = 0, pixelSize_ = 0, centerPixel_ = 0;
    int axisPos_ = 0, labelsPos_ = 0, titlePos_ = 0;
    bool isDateTime_ = false;
    std::vector<int> tickPositions_;
    // ln(DrawMin), ln(DrawMax) of the logarithmic mapping, for the ends they were taken of
    mutable bool logEndsValid_ = false;
    mutable double logMinOf_ = 0, logMaxOf_ = 0, logMin_ = 0, logMax_ = 0;
};

// The four side axes.
class TChartAxis : public TCustomChartAxis {
public:
    using TCustomChartAxis::TCustomChartAxis;
};

// The depth axis: invisible at creation.
class TChartDepthAxis : public TCustomChartAxis {
public:
    explicit TChartDepthAxis(TChartHost *chart) : TCustomChartAxis(chart, false, true, true) { SetVisible(false); }
};

// ---- inline mapping: called once per point when series are drawn

inline int TCustomChartAxis::ValueToPixel(double value) const
{
    if (logarithmic_) return LogValueToPixel(value);
    if (drawRange_ == 0) return centerPixel_;
    const double t = (value - drawMin_) * pixelSize_ / drawRange_;
    if (!(std::fabs(t) < 2147483647.0)) return centerPixel_; // also NaN
    const std::int64_t r = RoundEven(t);
    std::int64_t p;
    if (horizontal_)
        p = inverted_ ? endPixel_ - r : startPixel_ + r;
    else
        p = inverted_ ? startPixel_ + r : endPixel_ - r;
    // a position that does not fit an int would wrap around: treat it like the far-off case
    if (p > INT32_MAX || p < INT32_MIN) return centerPixel_;
    return static_cast<int>(p);
}

inline double TCustomChartAxis::PixelToValue(int pixel) const
{
    if (logarithmic_) return LogPixelToValue(pixel);
    if (pixelSize_ < 1) return 0;
    const double d = inverted_ ? static_cast<double>(endPixel_) - pixel : static_cast<double>(pixel) - startPixel_;
    const double a = d * drawRange_ / pixelSize_;
    return horizontal_ ? drawMin_ + a : drawMax_ - a;
}
