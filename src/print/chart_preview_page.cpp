#include "print/chart_preview_page.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QScreen>

#include <algorithm>

namespace sky {

TPaperMetrics PaperMetricsOf(const QPrinter *printer) {
    TPaperMetrics m;
    if (printer) {
        const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
        m.Width = page.width();
        m.Height = page.height();
        m.DpiX = printer->logicalDpiX();
        m.DpiY = printer->logicalDpiY();
    } else if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        m.Width = screen->geometry().width();
        m.Height = screen->geometry().height();
        m.DpiX = qRound(screen->logicalDotsPerInchX());
        m.DpiY = qRound(screen->logicalDotsPerInchY());
    }
    return m;
}

void NotXorDottedLine(QImage &img, int x0, int y0, int x1, int y1, QRgb pen) {
    const int dx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0), dy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    if ((dx != 0) == (dy != 0)) return; // only horizontal and vertical lines, never a point
    const int n = dx ? std::abs(x1 - x0) : std::abs(y1 - y0);
    const QRgb p = pen & 0xFFFFFF;
    for (int i = 0; i < n; ++i) {
        if (i % 6 >= 3) continue; // the gaps of the dots
        const int x = x0 + i * dx, y = y0 + i * dy;
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) continue;
        QRgb *px = reinterpret_cast<QRgb *>(img.scanLine(y)) + x;
        *px = 0xFF000000u | (~(p ^ *px) & 0xFFFFFF);
    }
}

TChartPreviewPage::TChartPreviewPage(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

TRect TChartPreviewPage::Margins() const { return Image ? Image->PageMarginsPercent : TRect{15, 15, 15, 15}; }

TRect TChartPreviewPage::PageRect() const {
    const TPaperMetrics paper = PaperMetricsOf(Printer);
    return PreviewPageRect(width(), height(), paper.Width, paper.Height);
}

TRect TChartPreviewPage::ChartRect() const {
    return dragKind_ != pdNone ? chartRect_ : PreviewChartRect(PageRect(), Margins());
}

void TChartPreviewPage::Invalidate() {
    frameStale_ = true;
    linesOnly_ = false;
    update();
}

const QImage &TChartPreviewPage::Frame() {
    if (frameStale_ || frame_.size() != size()) RenderFrame();
    return frame_;
}

void TChartPreviewPage::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    frameStale_ = true;
}

void TChartPreviewPage::paintEvent(QPaintEvent *e) {
    // A paint that only shows toggled margin lines copies them from the frame; any other paint
    // draws the page afresh, so the chart is shown as it is now.
    if (!linesOnly_ || frame_.size() != size()) frameStale_ = true;
    linesOnly_ = false;
    const QImage &frame = Frame();
    QPainter p(this);
    for (const QRect &r : e->region()) p.drawImage(r, frame, r);
}

QRgb TChartPreviewPage::MarginLineColor() const {
    return ColorToRGB(PaperColor == clSilver || PaperColor == clGray ? clWhite : clSilver);
}

void TChartPreviewPage::RenderFrame() {
    if (frame_.size() != size()) frame_ = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    ++frames_;
    const TRect page = PageRect();
    if (dragKind_ == pdNone) chartRect_ = PreviewChartRect(page, Margins());

    QPainter p(&frame_);
    p.fillRect(frame_.rect(), palette().color(backgroundRole()));
    // The paper: a black outline around the paper colour, and a shadow right and below.
    p.fillRect(page.ToQRect(), Qt::black);
    p.fillRect(QRect(page.Left + 1, page.Top + 1, page.Width() - 2, page.Height() - 2), ColorToQColor(PaperColor));
    p.fillRect(QRect(page.Left + 5, page.Bottom, page.Width(), 4), Qt::black);
    p.fillRect(QRect(page.Right, page.Top + 4, 5, page.Height()), Qt::black);
    p.end();
    if (ShowMargins) ToggleMarginLines();
    if (ShowImage && Image) {
        QPainter cp(&frame_);
        DrawChart(cp);
    }
    frameStale_ = false;
}

void TChartPreviewPage::DrawChart(QPainter &p) {
    TChart &chart = *Image;
    const TRect &to = chartRect_;
    if (to.IsEmpty()) return;
    const TChartPicture key{&chart, chart.ChangeCount(), chart.PrintDetailLevel, chart.size(), QSize(to.Width(), to.Height())};
    if (chartImage_.isNull() || !(key == chartImageOf_)) {
        // Recorded as for paper, at the chart's size enlarged by the detail level, and
        // stretched into the rectangle over a transparent ground (the paper shows through).
        const QSize size = chart.DetailScaledSize();
        // A dense chart (a million-point sweep) records millions of painter commands: seconds of
        // recording and replaying on the window thread. On screen it is drawn straight at the
        // rectangle's size instead, through the chart's own per-pixel path (shrinking a larger
        // picture would fade its one-pixel lines); the printed page still records it whole.
        qint64 points = 0;
        for (int i = 0; i < chart.SeriesList().Count(); ++i)
            points += chart.SeriesList().At(i)->Active() ? chart.SeriesList().At(i)->PointCount() : 0;
        if (points > kDenseChartPoints) {
            chartImage_ = chart.RenderToFrame(TRect{0, 0, to.Width(), to.Height()});
            chartImageOf_ = key;
            ++chartDraws_;
            p.drawImage(to.Left, to.Top, chartImage_);
            return;
        }
        QPicture picture;
        {
            struct Printing {
                TChart &c;
                explicit Printing(TChart &chart) : c(chart) { c.SetPrintingNow(true); }
                ~Printing() { c.SetPrintingNow(false); }
            } printing(chart);
            picture = chart.RenderToMetafile(true, TRect{0, 0, size.width(), size.height()});
        }
        chartImage_ = QImage(to.Width(), to.Height(), QImage::Format_ARGB32_Premultiplied);
        chartImage_.fill(Qt::transparent);
        const QRect from = picture.boundingRect();
        if (from.width() > 0 && from.height() > 0) {
            QPainter ip(&chartImage_);
            ip.scale(double(to.Width()) / from.width(), double(to.Height()) / from.height());
            ip.drawPicture(0, 0, picture);
        }
        chartImageOf_ = key;
        ++chartDraws_;
    }
    p.drawImage(to.Left, to.Top, chartImage_);
}

void TChartPreviewPage::ToggleMarginLines() {
    const TRect page = PageRect();
    const TRect &c = chartRect_;
    const QRgb pen = MarginLineColor();
    NotXorDottedLine(frame_, c.Left - 1, page.Top, c.Left - 1, page.Bottom, pen);
    NotXorDottedLine(frame_, c.Right, page.Top, c.Right, page.Bottom, pen);
    NotXorDottedLine(frame_, page.Left, c.Top - 1, page.Right, c.Top - 1, pen);
    NotXorDottedLine(frame_, page.Left, c.Bottom, page.Right, c.Bottom, pen);
    if (frameStale_) return; // inside a full frame: it is shown whole
    QRegion lines;
    lines += QRect(c.Left - 1, page.Top, 1, page.Height());
    lines += QRect(c.Right, page.Top, 1, page.Height());
    lines += QRect(page.Left, c.Top - 1, page.Width(), 1);
    lines += QRect(page.Left, c.Bottom, page.Width(), 1);
    linesOnly_ = true;
    update(lines);
}

void TChartPreviewPage::mousePressEvent(QMouseEvent *e) {
    const QPoint pos = e->position().toPoint();
    if (e->button() != Qt::LeftButton || !PageRect().Contains(pos.x(), pos.y())) return;
    if (frameStale_) RenderFrame(); // the chart rectangle as shown
    dragKind_ = PreviewHitTest(chartRect_, pos.x(), pos.y(), AllowResize, AllowMove);
    if (dragKind_ == pdMove) {
        dragStart_ = pos;
        dragStartChart_ = chartRect_;
    }
}

void TChartPreviewPage::mouseMoveEvent(QMouseEvent *e) {
    const QPoint pos = e->position().toPoint();
    if (!PageRect().Contains(pos.x(), pos.y())) return;
    if (dragKind_ != pdNone) {
        DragTo(pos.x(), pos.y());
        return;
    }
    switch (PreviewHitTest(ChartRect(), pos.x(), pos.y(), AllowResize, AllowMove)) {
    case pdTopLeft:
    case pdBottomRight: setCursor(Qt::SizeFDiagCursor); break;
    case pdTopRight:
    case pdBottomLeft: setCursor(Qt::SizeBDiagCursor); break;
    case pdLeft:
    case pdRight: setCursor(Qt::SizeHorCursor); break;
    case pdTop:
    case pdBottom: setCursor(Qt::SizeVerCursor); break;
    case pdMove: setCursor(Qt::OpenHandCursor); break;
    case pdNone: unsetCursor(); break;
    }
}

void TChartPreviewPage::DragTo(int x, int y) {
    if (dragKind_ == pdNone) return;
    if (frameStale_) RenderFrame();
    const bool linesOnly = !DragImage && ShowMargins;
    if (linesOnly) ToggleMarginLines(); // erase
    const TRect page = PageRect();
    const bool changed = PreviewDragStep(dragKind_, page, chartRect_, x, y, dragStart_, dragStartChart_);
    if (changed) {
        const TRect m = PreviewMargins(page, chartRect_);
        if (Image) Image->PageMarginsPercent = m;
        if (OnChangeMargins) OnChangeMargins(*this, m);
    }
    if (DragImage && changed) Invalidate();
    else if (linesOnly) ToggleMarginLines(); // draw at the new place
}

void TChartPreviewPage::mouseReleaseEvent(QMouseEvent *) {
    // Ends a drag wherever the button is released, so no drag outlives its button.
    dragKind_ = pdNone;
    Invalidate();
}

} // namespace sky
