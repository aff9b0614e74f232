#pragma once
// The page of the print preview: the current printer's paper in proportion, the chart drawn in
// its place between the page margins, and mouse dragging of the margins and of the whole chart.
#include "print/preview_geometry.h"
#include "chart/chart.h"

#include <QImage>
#include <QWidget>

#include <functional>

class QPrinter;

namespace sky {

// The paper a page stands for: its size in device pixels and the device's dots per inch.
struct TPaperMetrics {
    int Width = 0, Height = 0;
    int DpiX = 96, DpiY = 96;
};

// The printable page of a printer at its resolution; the screen's size and resolution when
// there is no printer.
TPaperMetrics PaperMetricsOf(const QPrinter *printer);

class TChartPreviewPage : public QWidget {
public:
    // Above this many points the chart is drawn as a picture rather than recorded.
    static constexpr qint64 kDenseChartPoints = 100000;
    explicit TChartPreviewPage(QWidget *parent = nullptr);

    TChart *Image = nullptr;          // the chart shown and printed
    QPrinter *Printer = nullptr;      // whose paper is shown; none: the screen's proportions
    bool DragImage = false;           // redraw the chart while dragging, not only the margin lines
    bool ShowMargins = true;          // dotted margin lines
    bool ShowImage = true;            // the chart itself
    TColor PaperColor = clWhite;
    bool AllowResize = true, AllowMove = true;
    // Called at every drag step that changed the margins, with the new margins (already
    // stored in the chart).
    std::function<void(TChartPreviewPage &, const TRect &margins)> OnChangeMargins;

    TRect Margins() const; // the chart's page margins in percent
    TRect PageRect() const; // the paper in control pixels for the current size and printer
    TRect ChartRect() const; // the chart's place on the page, as dragged during a drag
    TPreviewDragKind DragKind() const { return dragKind_; }

    // A full repaint of the page at the next paint.
    void Invalidate();
    // The off-screen picture of the page, brought up to date first when stale.
    const QImage &Frame();
    // Full frames drawn so far (a drag step draws none), and how many of them drew the chart
    // afresh rather than from the copy of its last drawing.
    int FrameCount() const { return frames_; }
    int ChartDrawCount() const { return chartDraws_; }

    // The drag step to (x, y) without the mouse (what a mouse move does while dragging).
    void DragTo(int x, int y);

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void RenderFrame();
    void DrawChart(QPainter &p);
    // The dotted not-xor margin lines around chartRect_, into the frame; drawing them twice
    // leaves the frame as it was. Schedules a paint of the four lines only.
    void ToggleMarginLines();
    QRgb MarginLineColor() const;

    // The chart as last drawn into its rectangle, and what it was drawn from: drawing a chart
    // of a million points for paper takes long, so it is drawn again only when the chart, its
    // size, the detail level or the rectangle's size has changed.
    struct TChartPicture {
        const TChart *chart = nullptr;
        unsigned changeCount = 0;
        int detail = 0;
        QSize chartSize, size;
        bool operator==(const TChartPicture &) const = default;
    };
    QImage chartImage_;
    TChartPicture chartImageOf_;

    QImage frame_;
    bool frameStale_ = true;
    bool linesOnly_ = false; // the pending paint only shows toggled lines
    int frames_ = 0;
    int chartDraws_ = 0;
    TRect chartRect_;
    TPreviewDragKind dragKind_ = pdNone;
    QPoint dragStart_;
    TRect dragStartChart_;
};

// Draws a dotted (3 on, 3 off) one-pixel line into an RGB32 image in not-xor mode, from (x0, y0)
// along one axis up to but not including (x1, y1). Pixels off the image are skipped.
void NotXorDottedLine(QImage &img, int x0, int y0, int x1, int y1, QRgb pen);

} // namespace sky
