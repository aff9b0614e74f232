#include "print/preview_geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sky {

TRect PreviewPageRect(int clientWidth, int clientHeight, int paperWidth, int paperHeight) {
    const int w = clientWidth, h = clientHeight;
    TRect r;
    if (std::int64_t(h) * paperWidth < std::int64_t(w) * paperHeight) {
        // The control is wider than the paper: the height decides.
        r.Top = RoundEven(h / 10.0);
        const int height = h - RoundEven(h / 5.0);
        r.Bottom = r.Top + height;
        const int width = paperHeight > 0 ? MulDiv(height, paperWidth, paperHeight) : w;
        r.Left = (w - width) / 2;
        r.Right = r.Left + width;
    } else {
        r.Left = RoundEven(w / 10.0);
        const int width = w - RoundEven(w / 5.0);
        r.Right = r.Left + width;
        const int height = paperWidth > 0 ? MulDiv(width, paperHeight, paperWidth) : h;
        r.Top = (h - height) / 2;
        r.Bottom = r.Top + height;
    }
    return r;
}

TRect PreviewChartRect(const TRect &page, const TRect &m) {
    const int pw = page.Width(), ph = page.Height();
    return TRect{page.Left + MulDiv(m.Left, pw, 100), page.Top + MulDiv(m.Top, ph, 100),
                 page.Right - MulDiv(m.Right, pw, 100), page.Bottom - MulDiv(m.Bottom, ph, 100)};
}

TRect PreviewMargins(const TRect &page, const TRect &chart) {
    const int pw = page.Width(), ph = page.Height();
    if (pw <= 0 || ph <= 0) return TRect{};
    return TRect{MulDiv(chart.Left - page.Left, 100, pw), MulDiv(chart.Top - page.Top, 100, ph),
                 MulDiv(page.Right - chart.Right, 100, pw), MulDiv(page.Bottom - chart.Bottom, 100, ph)};
}

TPreviewDragKind PreviewHitTest(const TRect &chart, int x, int y, bool allowResize, bool allowMove) {
    if (!allowResize) return pdNone;
    auto near = [](int a, int b) { return std::abs(a - b) <= kPreviewEdgeTolerance; };
    const bool l = near(x, chart.Left), r = near(x, chart.Right);
    const bool t = near(y, chart.Top), b = near(y, chart.Bottom);
    if (l && t) return pdTopLeft;
    if (l && b) return pdBottomLeft;
    if (r && t) return pdTopRight;
    if (r && b) return pdBottomRight;
    if (l) return pdLeft;
    if (r) return pdRight;
    if (t) return pdTop;
    if (b) return pdBottom;
    if (allowMove && chart.Contains(x, y)) return pdMove;
    return pdNone;
}

bool PreviewDragStep(TPreviewDragKind kind, const TRect &page, TRect &chart, int x, int y, QPoint startMouse,
                     const TRect &startChart) {
    if (kind == pdMove) {
        TRect r{startChart.Left + x - startMouse.x(), startChart.Top + y - startMouse.y(),
                startChart.Right + x - startMouse.x(), startChart.Bottom + y - startMouse.y()};
        // Kept on the paper by shifting, so the chart keeps its size.
        auto shift = [&](int dx, int dy) {
            r.Left += dx;
            r.Right += dx;
            r.Top += dy;
            r.Bottom += dy;
        };
        if (r.Left < page.Left) shift(page.Left - r.Left, 0);
        if (r.Top < page.Top) shift(0, page.Top - r.Top);
        if (r.Right > page.Right) shift(page.Right - r.Right, 0);
        if (r.Bottom > page.Bottom) shift(0, page.Bottom - r.Bottom);
        // Both corners on the paper; its right and bottom edge count as off it.
        if (!page.Contains(r.Left, r.Top) || !page.Contains(r.Right, r.Bottom)) return false;
        if (r == chart) return false;
        chart = r;
        return true;
    }
    const bool movesLeft = kind == pdLeft || kind == pdTopLeft || kind == pdBottomLeft;
    const bool movesRight = kind == pdRight || kind == pdTopRight || kind == pdBottomRight;
    const bool movesTop = kind == pdTop || kind == pdTopLeft || kind == pdTopRight;
    const bool movesBottom = kind == pdBottom || kind == pdBottomLeft || kind == pdBottomRight;
    if (!movesLeft && !movesRight && !movesTop && !movesBottom) return false;
    if (movesLeft && !(page.Left <= x && x < chart.Right)) return false;
    if (movesRight && !(chart.Left < x && x <= page.Right)) return false;
    if (movesTop && !(page.Top <= y && y < chart.Bottom)) return false;
    if (movesBottom && !(chart.Top < y && y <= page.Bottom)) return false;
    TRect r = chart;
    if (movesLeft) r.Left = x;
    if (movesRight) r.Right = x;
    if (movesTop) r.Top = y;
    if (movesBottom) r.Bottom = y;
    if (r == chart) return false;
    chart = r;
    return true;
}

bool PreviewMarginsFit(const TRect &m) { return m.Left + m.Right < 100 && m.Top + m.Bottom < 100; }

} // namespace sky
