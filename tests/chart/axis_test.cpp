// Axes: setters and their errors, ranges, value/pixel mapping, label steps, label text,
// layout space and drawing.
#include "chart_test_support.h"

#include "chart/number_format.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

QString ErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const sky::Error &e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

// A fixed range laid out over a pixel span.
void Lay(TCustomChartAxis &a, double min, double max, const TRect &plot)
{
    a.SetRange(min, max);
    a.AdjustRange();
    a.UpdatePixelRange(plot);
}

} // namespace

TEST(chartAxis, CreationDefaults)
{
    TestChart chart;
    TChartAxis &a = chart.Bottom();
    EXPECT_TRUE(a.Automatic() && a.AutomaticMinimum() && a.AutomaticMaximum());
    EXPECT_EQ(a.Axis().Width(), 2);
    EXPECT_EQ(a.Grid().Style(), psDot);
    EXPECT_FALSE(a.MinorGrid().Visible());
    EXPECT_EQ(a.LabelsFont().Height(), 11); // Arial 8 at 96 dpi
    EXPECT_EQ(chart.Left().Title().Angle(), 90);
    EXPECT_EQ(chart.Right().Title().Angle(), 270);
    EXPECT_EQ(chart.Bottom().Title().Angle(), 0);
    EXPECT_FALSE(chart.DepthAxis()->Visible());
}

TEST(chartAxis, SettersRefuseBadValuesWithTheirMessages)
{
    TestChart chart;
    TChartAxis &a = chart.Left();
    a.SetRange(0, 10);
    EXPECT_EQ(ErrorOf([&] { a.SetIncrement(-1); }), "Axis increment must be >= 0");
    EXPECT_EQ(ErrorOf([&] { a.SetMinimum(11); }), "Axis Minimum Value must be <= Maximum");
    EXPECT_EQ(ErrorOf([&] { a.SetMaximum(-1); }), "Axis Maximum Value must be >= Minimum");
    EXPECT_EQ(ErrorOf([&] { a.SetLogarithmicBase(1); }), "Axis Logarithmic Base should be >= 2");
    EXPECT_EQ(ErrorOf([&] { a.SetLabelsSeparation(-1); }), "Labels Separation % must be greater than 0");
    EXPECT_EQ(ErrorOf([&] { a.SetLabelsAngle(360); }), "Axis Labels Angle must be between 0 and 359 degrees");
    EXPECT_EQ(ErrorOf([&] { a.SetLabelsAngle(-1); }), "Axis Labels Angle must be between 0 and 359 degrees");
    EXPECT_EQ(ErrorOf([&] { a.Title().SetAngle(400); }), "Axis Title Angle must be between 0 and 359 degrees");
    EXPECT_EQ(a.Increment(), 0);
    EXPECT_EQ(a.Minimum(), 0);
    EXPECT_EQ(a.Maximum(), 10);
    EXPECT_EQ(a.LogarithmicBase(), 10);
    EXPECT_EQ(a.LabelsSeparation(), 10);
    EXPECT_EQ(a.LabelsAngle(), 0);
    EXPECT_EQ(a.Title().Angle(), 90);

    a.SetRange(-5, 10);
    EXPECT_EQ(ErrorOf([&] { a.SetLogarithmic(true); }), "Logarithmic Axis Min and Max values should be >= 0");
    EXPECT_FALSE(a.Logarithmic());
    TLineSeries s;
    s.SetParentChart(&chart);
    s.YValues().SetDateTime(true);
    a.SetRange(1, 10);
    EXPECT_EQ(ErrorOf([&] { a.SetLogarithmic(true); }), "DateTime Axis cannot be Logarithmic");
    s.YValues().SetDateTime(false);
    a.SetLogarithmic(true);
    EXPECT_TRUE(a.Logarithmic());

    chart.loading = true; // while the form loads, the ends are not checked against each other
    a.SetMinimum(50);
    EXPECT_EQ(a.Minimum(), 50);
}

TEST(chartAxis, SettersRepaintOnlyOnChangeAndKeepTheAutomaticFlagsConsistent)
{
    TestChart chart;
    TChartAxis &a = chart.Bottom();
    chart.repaints = 0;
    a.SetInverted(false);
    a.SetTickLength(4);
    EXPECT_EQ(chart.repaints, 0);
    a.SetInverted(true);
    a.Grid().SetColor(clRed);
    a.LabelsFont().SetSize(9);
    a.Title().SetCaption("Hz");
    EXPECT_EQ(chart.repaints, 4);

    a.SetAutomatic(false);
    EXPECT_FALSE(a.AutomaticMinimum());
    EXPECT_FALSE(a.AutomaticMaximum());
    a.SetAutomaticMinimum(true);
    EXPECT_FALSE(a.Automatic());
    a.SetAutomaticMaximum(true);
    EXPECT_TRUE(a.Automatic());
    a.SetAutomaticMaximum(false);
    EXPECT_FALSE(a.Automatic());
    EXPECT_TRUE(a.AutomaticMinimum());

    chart.loading = true;
    a.SetAutomatic(true);
    EXPECT_FALSE(a.AutomaticMaximum()); // loading: the ends keep their stored values
}

TEST(chartAxis, SetRangeSwapsAndKeepsAMinimumSpan)
{
    TestChart chart;
    TChartAxis &a = chart.Left();
    a.SetRange(5, 1);
    EXPECT_EQ(a.Minimum(), 1);
    EXPECT_EQ(a.Maximum(), 5);
    EXPECT_FALSE(a.Automatic() || a.AutomaticMinimum() || a.AutomaticMaximum());
    a.SetRange(3, 3);
    EXPECT_EQ(a.Minimum(), 3);
    EXPECT_EQ(a.Maximum(), 3 + 1e-10);
    chart.repaints = 0;
    a.SetRange(3, 3);
    EXPECT_EQ(chart.repaints, 0);
    // a fixed range may be moved past its old end in one call
    a.SetRange(100, 200);
    EXPECT_EQ(a.Minimum(), 100);
}

TEST(chartAxis, AutomaticRangeFromTheSeriesThatCount)
{
    TestChart chart;
    TLineSeries a, inactive, both, empty, right;
    for (TChartSeries *s : std::initializer_list<TChartSeries *>{&a, &inactive, &both, &empty, &right}) s->SetParentChart(&chart);
    a.AddPoint(0, -10);
    a.AddPoint(5, 20);
    inactive.AddPoint(-50, -100);
    inactive.AddPoint(70, 200);
    inactive.SetActive(false);
    both.SetVertAxis(aBothVertAxis);
    both.AddPoint(1, 0);
    both.AddPoint(2, 50);
    right.SetVertAxis(aRightAxis);
    right.AddPoint(3, -7);
    right.AddPoint(4, 7);
    right.SetActive(false);
    chart.Layout();
    EXPECT_EQ(chart.Left().DrawMin(), -10);
    EXPECT_EQ(chart.Left().DrawMax(), 50);
    EXPECT_EQ(chart.Right().DrawMin(), 0); // only the active series on both axes counts
    EXPECT_EQ(chart.Right().DrawMax(), 50);
    EXPECT_EQ(chart.Bottom().DrawMin(), 0);
    EXPECT_EQ(chart.Bottom().DrawMax(), 5);
    EXPECT_EQ(chart.Top().DrawRange(), 0);  // no series: 0..0

    both.SetActive(false); // no active series left on the right axis: the inactive ones count
    chart.Layout();
    EXPECT_EQ(chart.Right().DrawMin(), -7);
    EXPECT_EQ(chart.Right().DrawMax(), 50);

    chart.Left().SetMaximum(100);
    chart.Left().SetAutomaticMaximum(false);
    chart.Layout();
    EXPECT_EQ(chart.Left().DrawMax(), 100);
    EXPECT_EQ(chart.Left().DrawMin(), -10);
}

TEST(chartAxis, LinearMappingRoundsToEvenAndGuardsOverflow)
{
    TestChart chart;
    TChartAxis &h = chart.Bottom();
    Lay(h, 0, 100, TRect{100, 0, 300, 50});
    EXPECT_EQ(h.PixelSize(), 200);
    EXPECT_EQ(h.CenterPixel(), 200);
    EXPECT_EQ(h.ValueToPixel(0), 100);
    EXPECT_EQ(h.ValueToPixel(100), 300);
    EXPECT_EQ(h.ValueToPixel(0.25), 100); // 0.5 -> 0
    EXPECT_EQ(h.ValueToPixel(0.75), 102); // 1.5 -> 2
    EXPECT_EQ(h.ValueToPixel(1.25), 102); // 2.5 -> 2
    EXPECT_EQ(h.ValueToPixel(1.5e9), 200); // 3e9 pixels away: the centre, not a wrapped int
    EXPECT_EQ(h.ValueToPixel(-1.5e9), 200);
    EXPECT_EQ(h.ValueToPixel(1073741823), 200); // fits before, not after adding StartPixel
    EXPECT_EQ(h.ValueToPixel(std::nan("")), 200);
    EXPECT_DOUBLE_EQ(h.PixelToValue(150), 25);
    EXPECT_DOUBLE_EQ(h.PixelToValue(100), 0);
    h.SetInverted(true);
    EXPECT_EQ(h.ValueToPixel(0), 300);
    EXPECT_EQ(h.ValueToPixel(100), 100);
    EXPECT_DOUBLE_EQ(h.PixelToValue(300), 0);
    EXPECT_DOUBLE_EQ(h.PixelToValue(150), 75);

    TChartAxis &v = chart.Left();
    Lay(v, 0, 100, TRect{0, 50, 10, 250});
    EXPECT_EQ(v.ValueToPixel(0), 250);
    EXPECT_EQ(v.ValueToPixel(100), 50);
    EXPECT_DOUBLE_EQ(v.PixelToValue(100), 75);
    v.SetInverted(true); // the minimum at the top
    EXPECT_EQ(v.ValueToPixel(0), 50);
    EXPECT_EQ(v.ValueToPixel(100), 250);
    EXPECT_DOUBLE_EQ(v.PixelToValue(50), 0);
    EXPECT_DOUBLE_EQ(v.PixelToValue(100), 25);

    TChartAxis &t = chart.Top(); // automatic without series: range 0
    t.AdjustRange();
    t.UpdatePixelRange(TRect{0, 0, 90, 10});
    EXPECT_EQ(t.ValueToPixel(123), 45);
    TChartAxis &r = chart.Right();
    Lay(r, 0, 10, TRect{0, 0, 10, 0}); // no pixels
    EXPECT_EQ(r.PixelToValue(5), 0);
}

TEST(chartAxis, LogarithmicMapping)
{
    TestChart chart;
    TChartAxis &h = chart.Bottom();
    Lay(h, 1, 1000, TRect{100, 0, 400, 10});
    h.SetLogarithmic(true);
    EXPECT_EQ(h.ValueToPixel(1), 100);
    EXPECT_EQ(h.ValueToPixel(10), 200);
    EXPECT_EQ(h.ValueToPixel(100), 300);
    EXPECT_EQ(h.ValueToPixel(1000), 400);
    EXPECT_EQ(h.ValueToPixel(0), 100);
    EXPECT_EQ(h.ValueToPixel(-5), 100);
    EXPECT_EQ(h.PixelToValue(100), 1);
    EXPECT_EQ(h.PixelToValue(400), 1000);
    EXPECT_NEAR(h.PixelToValue(200), 10, 1e-9);
    h.SetInverted(true);
    EXPECT_EQ(h.ValueToPixel(10), 300);
    EXPECT_EQ(h.ValueToPixel(0), 400);
    EXPECT_EQ(h.PixelToValue(100), 1000);
    EXPECT_NEAR(h.PixelToValue(300), 10, 1e-9);

    TChartAxis &v = chart.Left();
    Lay(v, 1, 1000, TRect{0, 0, 10, 300});
    v.SetLogarithmic(true);
    EXPECT_EQ(v.ValueToPixel(10), 200);
    EXPECT_EQ(v.ValueToPixel(0), 300);
    EXPECT_EQ(v.PixelToValue(0), 1000);
    EXPECT_NEAR(v.PixelToValue(200), 10, 1e-9);
    v.SetInverted(true);
    EXPECT_EQ(v.ValueToPixel(10), 100);
    EXPECT_EQ(v.ValueToPixel(0), 0);
    EXPECT_EQ(v.PixelToValue(300), 1000);
}

TEST(chartAxis, PixelRangeAndMargins)
{
    TestChart chart;
    TChartAxis &h = chart.Bottom();
    h.SetStartPosition(1);
    h.SetEndPosition(99);
    h.UpdatePixelRange(TRect{20, 0, 420, 100});
    EXPECT_EQ(h.StartPixel(), 24);
    EXPECT_EQ(h.EndPixel(), 416);
    EXPECT_EQ(h.CenterPixel(), 220);

    TChartAxis &b = chart.Top();
    Lay(b, 0, 100, TRect{0, 0, 100, 10});
    b.ApplyMargins(TRect{10, 0, 10, 0});
    EXPECT_DOUBLE_EQ(b.DrawMin(), -12.5);
    EXPECT_DOUBLE_EQ(b.DrawMax(), 112.5);
    EXPECT_EQ(b.ValueToPixel(0), 10); // the outermost values sit the margin inside the edge
    EXPECT_EQ(b.ValueToPixel(100), 90);

    TChartAxis &v = chart.Left();
    Lay(v, 0, 100, TRect{0, 0, 10, 100});
    v.ApplyMargins(TRect{0, 5, 0, 0});
    EXPECT_DOUBLE_EQ(v.DrawMin(), 0);
    EXPECT_EQ(v.ValueToPixel(100), 5);
    EXPECT_EQ(v.ValueToPixel(0), 100);
}

TEST(chartAxis, ScrollByKeepsToTheDataWhenAsked)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    s.AddPoint(0, 0);
    s.AddPoint(100, 1);
    TChartAxis &a = chart.Bottom();
    a.SetRange(10, 50);
    a.ScrollBy(10, true);
    EXPECT_EQ(a.Minimum(), 20);
    EXPECT_EQ(a.Maximum(), 60);
    a.SetRange(60, 100);
    a.ScrollBy(5, true); // nothing beyond the maximum
    EXPECT_EQ(a.Maximum(), 100);
    a.ScrollBy(-5, true);
    EXPECT_EQ(a.Minimum(), 55);
    a.SetRange(0, 40);
    a.ScrollBy(-1, true);
    EXPECT_EQ(a.Minimum(), 0);
    a.SetAutomatic(true);
    a.ScrollBy(-1, false);
    EXPECT_EQ(a.Minimum(), -1);
    EXPECT_FALSE(a.Automatic() || a.AutomaticMinimum() || a.AutomaticMaximum());
}

TEST(chartAxis, NextLadderStep)
{
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(1), 2);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(2), 5);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(5), 10);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(0.05), 0.1);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(30), 50);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(3), 5);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLadderStep(7000), 10000);
    EXPECT_EQ(TCustomChartAxis::NextLadderStep(0), 0); // no ladder, and no endless recursion
    EXPECT_TRUE(std::isinf(TCustomChartAxis::NextLadderStep(INFINITY)));
}

TEST(chartAxis, LabelStepClimbsTheLadderUntilLabelsFit)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart); // value labels
    chart.fixedCanvas.charWidth = 20;
    TChartAxis &a = chart.Bottom();
    Lay(a, 0, 1, TRect{0, 0, 100, 10}); // labels "0" and "1": 20 px, 22 with the separation
    EXPECT_DOUBLE_EQ(a.LabelStep(), 0.2);

    Lay(a, 0, 100, TRect{0, 0, 400, 10});
    a.SetIncrement(3); // off the ladder: the first increase goes to 5
    chart.fixedCanvas.charWidth = 5; // "100": 15 px + 2 -> 24 labels fit; 100/3 = 33 do not
    EXPECT_DOUBLE_EQ(a.LabelStep(), 5);
    a.SetIncrement(0);
    a.SetLabelsSeparation(0); // no separation: the start step is kept
    EXPECT_DOUBLE_EQ(a.LabelStep(), 1);

    a.SetLabelsSeparation(10);
    chart.fixedCanvas.charWidth = 20;
    a.UpdatePixelRange(TRect{0, 0, 30, 10}); // shorter than half a label
    EXPECT_EQ(a.LabelStep(), 1e-12);
    chart.fixedCanvas.texts.clear();
    chart.DrawAxisImage(a, 100, 40);
    EXPECT_TRUE(chart.fixedCanvas.texts.empty());
    EXPECT_TRUE(a.TickPositions().empty());
}

TEST(chartAxis, LabelsOfTheMinus110To10Example)
{
    TestChart chart;
    chart.plot = TRect{50, 10, 350, 210};
    TChartAxis &a = chart.Left();
    TLineSeries s;
    s.SetParentChart(&chart); // gives the axis value labels
    a.SetIncrement(1);
    a.SetRange(-110, 10);
    chart.Layout(); // 200 px, 11 px per label: 18 labels fit
    EXPECT_DOUBLE_EQ(a.LabelStep(), 10);
    chart.DrawAxisImage(a, 400, 250);
    EXPECT_EQ(chart.fixedCanvas.TextList(),
              QStringList({"10", "0", "-10", "-20", "-30", "-40", "-50", "-60", "-70", "-80", "-90", "-100"}));
    ASSERT_EQ(a.TickPositions().size(), 12u);
    EXPECT_EQ(a.TickPositions().front(), 10);
    EXPECT_EQ(a.TickPositions().back(), a.ValueToPixel(-100));
    // left-axis labels are right-aligned at the labels position, centred on their tick
    const auto &first = chart.fixedCanvas.texts.front();
    EXPECT_EQ(first.align, TextAlign::Right | TextAlign::Top);
    EXPECT_EQ(first.y, 10 - 5);
}

TEST(chartAxis, TicksWithoutLabelsOnTheAxisEnds)
{
    TestChart chart;
    chart.plot = TRect{20, 10, 420, 110};
    TLineSeries s;
    s.SetParentChart(&chart);
    TChartAxis &a = chart.Bottom();
    a.SetRange(0, 100);
    chart.Layout(); // step 10 with 10-px characters
    a.SetLabelsOnAxis(false);
    chart.DrawAxisImage(a, 440, 140);
    EXPECT_EQ(chart.fixedCanvas.texts.size(), 9u); // 0 and 100 sit on the ends
    EXPECT_EQ(a.TickPositions().size(), 9u);
    a.SetTickOnLabelsOnly(false);
    chart.fixedCanvas.texts.clear();
    const QImage img = chart.DrawAxisImage(a, 440, 140);
    EXPECT_EQ(chart.fixedCanvas.texts.size(), 9u);
    ASSERT_EQ(a.TickPositions().size(), 11u); // but their ticks are there
    EXPECT_EQ(a.TickPositions().front(), 420);
    EXPECT_EQ(a.TickPositions().back(), 20);

    // pixels: ticks 4 long from one pixel below the axis line, minor ticks 2 long, 3 per gap
    const QRgb white = 0xFFFFFFFF, grey = Rgb(clGray);
    auto inkAt = [&](int y) {
        std::vector<int> xs;
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != white) xs.push_back(x);
        return xs;
    };
    EXPECT_EQ(inkAt(113).size(), 11u);
    EXPECT_EQ(inkAt(114).size(), 11u);
    EXPECT_TRUE(inkAt(115).empty());
    EXPECT_EQ(inkAt(112).size(), 11u + 30u);
    EXPECT_EQ(img.pixel(60, 113), grey);
    EXPECT_EQ(img.pixel(30, 112), grey); // a minor tick between 20 and 60
    EXPECT_EQ(img.pixel(100, 110), qRgb(0, 0, 0)); // the axis line
    auto inkInColumn = [&](int x) {
        int n = 0;
        for (int y = 0; y < 109; ++y) n += img.pixel(x, y) != white;
        return n;
    };
    EXPECT_GT(inkInColumn(60), 30); // a dotted grid line at a tick, across the plot
    EXPECT_LT(inkInColumn(60), 70);
    EXPECT_EQ(inkInColumn(70), 0);
}

TEST(chartAxis, LogarithmicLabels)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    TChartAxis &a = chart.Bottom();
    a.SetRange(1, 1000);
    a.SetLogarithmic(true);
    chart.Layout();
    chart.DrawAxisImage(a, 400, 260);
    const QString sep = LocaleGroupSeparator();
    EXPECT_EQ(chart.fixedCanvas.TextList(), QStringList({"1", "10", "100", "1" + sep + "000"}));
    ASSERT_EQ(a.TickPositions().size(), 4u);
    EXPECT_LT(a.TickPositions()[0], a.TickPositions()[1]);

    a.SetLogarithmic(false);
    a.SetRange(0, 25);
    a.SetLogarithmic(true);
    chart.Layout();
    chart.fixedCanvas.texts.clear();
    chart.DrawAxisImage(a, 400, 260); // a minimum of 0 starts the labels at 0.1
    EXPECT_EQ(chart.fixedCanvas.TextList(), QStringList({"0.1", "1", "10"}));
}

TEST(chartAxis, LabelTextFormatAndEvents)
{
    TestChart chart;
    TChartAxis &a = chart.Bottom();
    const QString sep = LocaleGroupSeparator();
    EXPECT_EQ(a.FormatLabel(433920000), "433" + sep + "920" + sep + "000");
    EXPECT_EQ(a.FormatLabel(-45), "-45");
    EXPECT_EQ(a.FormatLabel(1234.56789), "1" + sep + "234.568");
    EXPECT_EQ(a.FormatLabel(0.0005), "0.001");
    EXPECT_EQ(a.FormatLabel(-0.0001), "0");
    a.SetAxisValuesFormat("0 'dB'");
    chart.onGetAxisLabel = [](TCustomChartAxis &, TChartSeries *s, int i, QString &t) {
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(i, -1);
        t += " max";
    };
    EXPECT_EQ(a.FormatLabel(5), "5 dB max");
    a.SetLabelsMultiLine(true);
    EXPECT_EQ(a.FormatLabel(5), "5\ndB\nmax");
}

TEST(chartAxis, EffectiveLabelStyle)
{
    TestChart chart;
    EXPECT_EQ(chart.Bottom().EffectiveLabelStyle(), talNone);
    TLineSeries s;
    s.SetParentChart(&chart);
    s.AddPoint(1, 1);
    EXPECT_EQ(chart.Bottom().EffectiveLabelStyle(), talValue);
    TLineSeries named;
    named.SetParentChart(&chart);
    named.AddPoint(1, 1, "first");
    EXPECT_EQ(chart.Bottom().EffectiveLabelStyle(), talText);
    EXPECT_EQ(chart.Left().EffectiveLabelStyle(), talValue); // labels go along x only
    EXPECT_EQ(chart.Top().EffectiveLabelStyle(), talNone);
    named.SetActive(false);
    EXPECT_EQ(chart.Bottom().EffectiveLabelStyle(), talValue);
    chart.Top().SetLabelStyle(talMark);
    EXPECT_EQ(chart.Top().EffectiveLabelStyle(), talMark);
}

TEST(chartAxis, SeriesLabelsSkipOverlappingOnes)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    const QString wide(10, u'w'); // 100 px
    s.AddPoint(0, 0, wide + "A");
    s.AddPoint(25, 0, wide + "B");
    s.AddPoint(50, 0, wide + "C");
    s.AddPoint(150, 0, wide + "D"); // outside the range
    s.SetShownRange(0, 3);
    TChartAxis &a = chart.Bottom();
    a.SetRange(0, 100);
    chart.Layout(); // 0..400 px: the labels sit at 0, 100, 200
    chart.DrawAxisImage(a, 420, 300);
    EXPECT_EQ(chart.fixedCanvas.TextList(), QStringList({wide + "A", wide + "C"}));
    EXPECT_EQ(a.TickPositions(), (std::vector<int>{0, 200}));
    a.SetLabelsSeparation(0); // no separation: every label
    chart.fixedCanvas.texts.clear();
    chart.DrawAxisImage(a, 420, 300);
    EXPECT_EQ(chart.fixedCanvas.texts.size(), 3u);
}

TEST(chartAxis, LabelsFromTheNextLabelEventAndPrintingColours)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    TChartAxis &a = chart.Bottom();
    a.SetRange(0, 100);
    chart.Layout();
    const double values[] = {5, 500, 50};
    chart.onGetNextAxisLabel = [&](TCustomChartAxis &, int i, double &v, bool &stop) {
        if (i < 3) {
            v = values[i];
            stop = false;
        }
    };
    a.LabelsFont().SetColor(clWhite);
    chart.printing = true;
    chart.DrawAxisImage(a, 420, 300);
    EXPECT_EQ(chart.fixedCanvas.TextList(), QStringList({"5", "50"}));
    EXPECT_EQ(chart.fixedCanvas.Font().Color, clBlack); // white text is printed black
}

TEST(chartAxis, ReserveSpaceTakesTitleLabelsAndTicks)
{
    TestChart chart;
    TLineSeries s;
    s.SetParentChart(&chart);
    TChartAxis &a = chart.Left();
    a.Title().SetCaption("dB");
    a.SetRange(-110, 10);
    chart.Layout();
    TRect r{0, 0, 400, 250};
    a.ReserveSpace(r, true);
    // title: along the axis, one line (10); labels: "-110" (40) + a space (10); ticks: 2 + 4
    EXPECT_EQ(a.TitlePos(), 10);
    EXPECT_EQ(a.LabelsPos(), 60);
    EXPECT_EQ(r, (TRect{66, 0, 400, 250}));

    a.SetTitleSize(1);
    a.SetLabelsSize(30);
    a.SetPositionPercent(10);
    r = TRect{0, 0, 400, 250};
    a.ReserveSpace(r, true);
    EXPECT_EQ(r.Left, 37);
    EXPECT_EQ(a.TitlePos(), 1 + 36);   // moved into the plot by 10 % of the remaining width
    EXPECT_EQ(a.LabelsPos(), 31 + 36);

    TChartAxis &right = chart.Right();
    r = TRect{0, 0, 400, 250};
    right.SetLabelsSize(20);
    right.ReserveSpace(r, false);
    EXPECT_EQ(r, (TRect{0, 0, 400, 250}));
    EXPECT_EQ(right.AxisPos(), 400);
    EXPECT_EQ(right.LabelsPos(), 406);
    EXPECT_EQ(right.TitlePos(), 426);

    TChartAxis &bottom = chart.Bottom();
    bottom.SetMinorTickLength(9); // more than axis width + tick length
    r = TRect{0, 0, 400, 250};
    bottom.ReserveSpace(r, true);
    EXPECT_EQ(bottom.LabelsPos(), 240);
    EXPECT_EQ(r.Bottom, 231);
}

TEST(chartAxis, TakingPartInTheLayout)
{
    TestChart chart;
    EXPECT_TRUE(chart.Top().TakesPart()); // no series at all: every side axis
    EXPECT_FALSE(chart.DepthAxis()->TakesPart());
    TLineSeries s;
    s.SetParentChart(&chart);
    EXPECT_TRUE(chart.Bottom().TakesPart());
    EXPECT_TRUE(chart.Left().TakesPart());
    EXPECT_FALSE(chart.Top().TakesPart());
    EXPECT_FALSE(chart.Right().TakesPart());
    s.SetActive(false);
    EXPECT_TRUE(chart.Right().TakesPart());
    chart.Right().SetVisible(false);
    EXPECT_FALSE(chart.Right().TakesPart());
}
