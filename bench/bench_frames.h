#pragma once
// Pieces of the window-like frames the recording benchmarks encode.
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// A noisy trace with two carriers, drawn in green from `left` up from `baseline` (starting at
// `firstY`), and the waterfall moved down one row with the trace's levels as its new top row,
// drawn at (left, waterfallTop). The waterfall is as wide as the trace.
inline void DrawTraceAndWaterfall(QPainter &p, QImage &waterfall, QRandomGenerator &rng, int left, int baseline,
                                  int firstY, int waterfallTop) {
    p.setPen(QColor(0, 255, 0));
    const int width = waterfall.width();
    std::vector<int> level(static_cast<size_t>(width));
    int prev = firstY;
    for (int x = 0; x < width; ++x) {
        const double peak = 120 * std::exp(-std::pow((x - 300) / 6.0, 2)) + 60 * std::exp(-std::pow((x - 480) / 3.0, 2));
        level[size_t(x)] = int(peak + rng.bounded(18));
        const int y = baseline - level[size_t(x)];
        p.drawLine(left + x - 1, prev, left + x, y);
        prev = y;
    }
    for (int y = waterfall.height() - 1; y > 0; --y)
        std::memcpy(waterfall.scanLine(y), waterfall.constScanLine(y - 1), size_t(waterfall.bytesPerLine()));
    QRgb *top = reinterpret_cast<QRgb *>(waterfall.scanLine(0));
    for (int x = 0; x < width; ++x) {
        const int v = std::min(255, level[size_t(x)] * 2);
        top[x] = qRgb(v, v / 2, 255 - v);
    }
    p.drawImage(left, waterfallTop, waterfall);
}
