#include "display/spectrum_chart.h"

namespace sky {

namespace {

void setFont(TChartFont &f, int pixels, TColor color) {
    f.SetName(QStringLiteral("Arial"));
    f.SetHeight(pixels);
    f.SetColor(color);
}

void setAxis(TCustomChartAxis &a, int labelPx, const QString &title, int minorTicks) {
    a.Axis().SetWidth(1);
    setFont(a.LabelsFont(), labelPx, clBlack);
    a.Title().SetCaption(title);
    setFont(a.Title().Font(), 11, clBlack);
    a.SetMinorTickCount(minorTicks);
}

void setAxisColours(TCustomChartAxis &a, TColor line, TColor labels, TColor title) {
    a.Axis().SetColor(line);
    a.LabelsFont().SetColor(labels);
    a.Title().Font().SetColor(title);
}

TColor rgb(int r, int g, int b) {
    return RGBToColor(qRgb(r, g, b));
}

void setPointer(TCustomSeries &s, int size, bool visible) {
    s.Pointer().SetStyle(psCircle);
    s.Pointer().SetHorizSize(size);
    s.Pointer().SetVertSize(size);
    s.Pointer().SetVisible(visible);
}

} // namespace

SpectrumSeries::SpectrumSeries() {
    for (TChartSeries *series : {static_cast<TChartSeries *>(&Series5), static_cast<TChartSeries *>(&Series1),
                                 static_cast<TChartSeries *>(&Series2), static_cast<TChartSeries *>(&Series4),
                                 static_cast<TChartSeries *>(&Series3), static_cast<TChartSeries *>(&sweepSeries)}) {
        series->XValues().SetOrder(loAscending);
        series->YValues().SetOrder(loNone);
        series->Marks().Visible = false;
    }
    Series5.SetSeriesColor(clBlack);
    Series5.SetVertAxis(aRightAxis);
    setPointer(Series5, 1, false);
    Series5.SetActive(false);

    Series1.SetSeriesColor(clRed);
    Series1.SetVertAxis(aBothVertAxis);
    setPointer(Series1, 2, false);

    Series2.SetVertAxis(aLeftAxis);

    Series4.Pointer().Brush().SetColor(clWhite);
    setPointer(Series4, 2, false);

    setPointer(Series3, 3, true);

    setPointer(sweepSeries, 2, false);

    // The trace's markers are outlined in the point's own colour: a black outline on every
    // point cuts the trace into dots.
    for (TCustomSeries *trace : {static_cast<TCustomSeries *>(&Series1), static_cast<TCustomSeries *>(&Series5),
                                 static_cast<TCustomSeries *>(&sweepSeries)})
        trace->Pointer().Pen().SetColor(clDefault);
}

void ConfigureSpectrumChart(TChart &ch, SpectrumSeries &s) {
    ch.SetBevelOuter(bvNone);
    ch.SetBevelInner(bvNone);
    ch.BackWall().Brush().SetStyle(bsClear);
    ch.SetView3D(false);
    ch.SetView3DWalls(false);
    ch.Legend().SetVisible(false);
    ch.Title().SetText({QStringLiteral("Панорамный спектр сигнала на выходе RTL-SDR "), QString()});
    setFont(ch.Title().Font(), 11, clWhite);
    ch.setCursor(Qt::CrossCursor);

    TChartAxis &bottom = ch.Bottom();
    setAxis(bottom, 9, QStringLiteral("Fm, Hz"), 10);
    bottom.SetAutomatic(true);
    bottom.SetStartPosition(1);
    bottom.SetEndPosition(99);

    TChartAxis &left = ch.Left();
    setAxis(left, 9, QStringLiteral("dB"), 4);
    left.SetAutomatic(false);
    left.SetMinimum(-110);
    left.SetMaximum(10);
    left.SetLabelStyle(talValue);
    left.SetIncrement(1);
    left.Title().SetAngle(0);
    left.SetTitleSize(1);

    TChartAxis &right = ch.Right();
    setAxis(right, 9, QStringLiteral("Average noise level, dB"), 4);
    right.SetAutomatic(false);
    right.SetMinimum(-110);
    right.SetMaximum(10);
    right.SetLabelStyle(talValue);
    right.Title().SetAngle(90);
    right.SetTitleSize(1);
    right.Grid().SetVisible(false);

    TChartAxis &top = ch.Top();
    setAxis(top, 11, QStringLiteral("Дальность 2"), 4);
    top.SetAutomatic(false);
    top.SetMinimum(0);
    top.SetMaximum(25);
    top.SetLogarithmic(true);

    for (TChartSeries *series : {static_cast<TChartSeries *>(&s.Series5), static_cast<TChartSeries *>(&s.Series1),
                                 static_cast<TChartSeries *>(&s.Series2), static_cast<TChartSeries *>(&s.Series4),
                                 static_cast<TChartSeries *>(&s.Series3)})
        ch.AddSeries(series);
    SetSpectrumChartColours(ch, s, false);
}

void SetSpectrumChartColours(TChart &ch, SpectrumSeries &s, bool paper) {
    // On paper: the yellow and lime of the screen vanish on white, silver and grey fade.
    const TColor text = paper ? clBlack : clWhite;
    const TColor noise = paper ? rgb(128, 96, 0) : clYellow;
    const TColor marks = PeakLabelColour(paper);
    ch.SetColor(paper ? clWhite : clBlack);
    ch.Title().Font().SetColor(text);
    setAxisColours(ch.Bottom(), paper ? rgb(64, 64, 64) : clSilver, paper ? clBlack : clGray, text);
    setAxisColours(ch.Left(), paper ? rgb(64, 64, 64) : clSilver, paper ? clBlack : clGray, text);
    setAxisColours(ch.Right(), noise, noise, noise);
    setAxisColours(ch.Top(), clBlue, clBlue, clBlue);
    // Their points take the series colour (clDefault).
    s.Series2.SetSeriesColor(noise);
    s.Series4.SetSeriesColor(marks);
    s.Series3.SetSeriesColor(marks);
    s.Series3.Pointer().Brush().SetColor(marks);
}

TColor PeakLabelColour(bool paper) {
    return paper ? RGBToColor(qRgb(0, 120, 0)) : clLime;
}

} // namespace sky
