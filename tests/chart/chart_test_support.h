#pragma once
// Shared helpers of the chart tests: a lazily created QApplication, a plain chart object that
// hosts axes and series, and a canvas with fixed text metrics.
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/series.h"

#include <QApplication>
#include <QImage>

#include <functional>
#include <vector>

// Fonts, palettes and widgets need an application object; gtest_main owns main(), so the
// application is created on first use and lives until the process ends.
inline void EnsureApp()
{
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "test_chart";
    static char *argv[] = {arg0, nullptr};
    new QApplication(argc, argv); // deliberately never deleted
}

// A canvas whose texts are charWidth pixels per character and lineHeight pixels high, and that
// records every text it draws.
class FixedMetricsCanvas : public TChartCanvas3D {
public:
    int charWidth = 10;
    int lineHeight = 10;
    struct Text {
        int x, y, angle;
        unsigned align;
        QString text;
    };
    std::vector<Text> texts;

    int TextHeightW() override { return lineHeight; }
    int MeasureText(const QString &t) override { return charWidth * static_cast<int>(t.size()); }
    void TextOut(int x, int y, const QString &t) override
    {
        texts.push_back({x, y, 0, TextAlign(), t});
        TChartCanvas3D::TextOut(x, y, t);
    }
    void RotatedTextOut(int x, int y, int angle, const QString &t) override
    {
        texts.push_back({x, y, angle, TextAlign(), t});
        TChartCanvas3D::RotatedTextOut(x, y, angle, t);
    }
    QStringList TextList() const
    {
        QStringList l;
        for (const Text &t : texts) l << t.text;
        return l;
    }
};

// The chart services with plain fields: five axes, a series list, a canvas, a plot rectangle.
class TestChart : public TChartHost {
public:
    TestChart()
        : list_(this), bottom_(this, true, false), top_(this, true, true), left_(this, false, false),
          right_(this, false, true), depth_(this)
    {
        EnsureApp();
    }
    ~TestChart() override
    {
        destroying = true;
        while (list_.Count() > 0) list_.At(0)->SetParentChart(nullptr);
    }

    void RequestRepaint() override
    {
        ++repaints;
        canvas->MarkDirty();
    }
    TChartSeriesList &SeriesList() override { return list_; }
    TCanvas3D &Canvas() override { return *canvas; }
    TCustomChartAxis *BottomAxis() override { return &bottom_; }
    TCustomChartAxis *TopAxis() override { return &top_; }
    TCustomChartAxis *LeftAxis() override { return &left_; }
    TCustomChartAxis *RightAxis() override { return &right_; }
    TCustomChartAxis *DepthAxis() override { return &depth_; }
    TRect PlotRect() const override { return plot; }
    TColor Color() const override { return color; }
    bool IsPrinting() const override { return printing; }
    bool IsLoading() const override { return loading; }
    bool IsDestroying() const override { return destroying; }
    QPoint CursorPos() const override { return cursor; }
    void SeriesRemoved(TChartSeries &s) override { removed.push_back(&s); }
    void GetAxisLabel(TCustomChartAxis &a, TChartSeries *s, int i, QString &text) override
    {
        if (onGetAxisLabel) onGetAxisLabel(a, s, i, text);
    }
    bool HasNextAxisLabel() const override { return static_cast<bool>(onGetNextAxisLabel); }
    void GetNextAxisLabel(TCustomChartAxis &a, int i, double &v, bool &stop) override { onGetNextAxisLabel(a, i, v, stop); }

    TChartAxis &Bottom() { return bottom_; }
    TChartAxis &Top() { return top_; }
    TChartAxis &Left() { return left_; }
    TChartAxis &Right() { return right_; }

    // Range and pixel span of every axis from the current plot rectangle.
    void Layout()
    {
        for (TCustomChartAxis *a : {static_cast<TCustomChartAxis *>(&bottom_), static_cast<TCustomChartAxis *>(&top_),
                                    static_cast<TCustomChartAxis *>(&left_), static_cast<TCustomChartAxis *>(&right_)}) {
            a->AdjustRange();
            a->UpdatePixelRange();
        }
    }

    // Draws one axis into a fresh white image of the plot's panel size.
    QImage DrawAxisImage(TCustomChartAxis &axis, int width, int height)
    {
        QImage img(width, height, QImage::Format_RGB32);
        img.fill(Qt::white);
        canvas->SetUseBackBuffer(false);
        canvas->BeginFrame(&img, TRect{0, 0, width, height});
        axis.DrawAxis(true);
        canvas->EndFrame();
        return img;
    }

    int repaints = 0;
    TRect plot{0, 0, 400, 250};
    TColor color = clWhite;
    bool printing = false;
    bool loading = false;
    bool destroying = false;
    QPoint cursor;
    std::vector<TChartSeries *> removed;
    std::function<void(TCustomChartAxis &, TChartSeries *, int, QString &)> onGetAxisLabel;
    std::function<void(TCustomChartAxis &, int, double &, bool &)> onGetNextAxisLabel;
    FixedMetricsCanvas fixedCanvas;
    TChartCanvas3D *canvas = &fixedCanvas;

private:
    TChartSeriesList list_;
    TChartAxis bottom_, top_, left_, right_;
    TChartDepthAxis depth_;
};

inline QRgb Rgb(TColor c) { return ColorToRGB(c); }
