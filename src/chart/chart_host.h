#pragma once
// What series and axes need from the chart that owns them. The chart widget implements this;
// tests implement it with a plain object.
#include "chart/chart_types.h"

#include <QPoint>
#include <QString>

class TCanvas3D;
class TChartSeries;
class TChartSeriesList;
class TCustomChartAxis;

class TChartHost {
public:
    virtual ~TChartHost() = default;

    // Repaint request: marks the canvas's back buffer stale and invalidates the window.
    virtual void RequestRepaint() = 0;

    // The chart's series in drawing order (the order in which they joined).
    virtual TChartSeriesList &SeriesList() = 0;

    // The canvas everything is drawn with.
    virtual TCanvas3D &Canvas() = 0;

    // The five standard axes.
    virtual TCustomChartAxis *BottomAxis() = 0;
    virtual TCustomChartAxis *TopAxis() = 0;
    virtual TCustomChartAxis *LeftAxis() = 0;
    virtual TCustomChartAxis *RightAxis() = 0;
    virtual TCustomChartAxis *DepthAxis() = 0;

    // Rectangle inside the axes where series are drawn (last layout).
    virtual TRect PlotRect() const = 0;

    // Panel colour (also the colour behind axis titles and labels).
    virtual TColor Color() const = 0;

    virtual bool AxisVisible() const { return true; }
    virtual bool View3D() const { return false; }
    // Room an axis leaves for its wall in 3D; 0 in 2D.
    virtual int AxisWallSize(const TCustomChartAxis &) const { return 0; }
    // A print frame is being drawn (white text is then drawn black).
    virtual bool IsPrinting() const { return false; }
    // The form is loading its stored properties (axis range checks are off).
    virtual bool IsLoading() const { return false; }
    // The chart is being destroyed (series leaving it request no repaint).
    virtual bool IsDestroying() const { return false; }
    // Current mouse position in the chart's client coordinates.
    virtual QPoint CursorPos() const { return QPoint(); }

    // Something was drawn into the canvas's back buffer outside a frame (a fast line with
    // AutoRepaint off drawing an added point): the window should show the buffer as it is at
    // its next paint, without redrawing the chart.
    virtual void BackBufferChanged() {}

    // A series is leaving the chart (after it was removed from the series list); the chart
    // restores its own cursor when it showed the series' cursor.
    virtual void SeriesRemoved(TChartSeries &) {}

    // Label events. GetAxisLabel may change the text of a label (series null and index -1 for
    // value labels). GetNextAxisLabel supplies label values one by one when HasNextAxisLabel():
    // it sets value and clears stop to add a label, leaves stop set to end.
    virtual void GetAxisLabel(TCustomChartAxis &, TChartSeries *, int, QString &) {}
    virtual bool HasNextAxisLabel() const { return false; }
    virtual void GetNextAxisLabel(TCustomChartAxis &, int, double &, bool &) {}

    // Convenience over SeriesList().
    int NumSeries();
    TChartSeries *SeriesAt(int i);
};
