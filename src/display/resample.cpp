#include "display/resample.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sky {

namespace {

std::uint64_t step16(int num, int den) {
    return static_cast<std::uint64_t>(std::nearbyint(static_cast<double>(num) / den * 65536.0));
}

// Start offset of a shrink: centres the sampled span, kept inside the source.
int shrinkOffset(int s, std::uint32_t last, int rectStart, int rectEnd, int sourceSize) {
    int o = (s - static_cast<int>(last)) / 2;
    o = std::max(o, -rectStart);
    o = std::min(o, sourceSize - rectEnd);
    return o;
}

// Source index for each destination index along one direction.
std::vector<int> mapping(int s, int d, int rectStart, int rectEnd, int sourceSize) {
    std::vector<int> map;
    map.reserve(static_cast<std::size_t>(std::max(d, 0)));
    if (d < s) {
        const auto p = ShrinkTable(s, d);
        const int o = p.empty() ? 0 : shrinkOffset(s, p.back(), rectStart, rectEnd, sourceSize);
        for (std::uint32_t v : p)
            map.push_back(rectStart + o + static_cast<int>(v));
    } else {
        const auto counts = GrowTable(s, d);
        for (int k = 0; k < s; ++k)
            map.insert(map.end(), counts[k], rectStart + k);
    }
    for (int &v : map)
        v = std::clamp(v, 0, std::max(sourceSize - 1, 0));
    return map;
}

} // namespace

std::vector<std::uint32_t> ShrinkTable(int sw, int dw) {
    std::vector<std::uint32_t> p(static_cast<std::size_t>(std::max(dw, 0)));
    if (dw <= 0 || sw <= 0)
        return p;
    const std::uint64_t a = step16(sw, dw);
    for (int k = 0; k < dw; ++k)
        p[k] = static_cast<std::uint32_t>(std::min<std::uint64_t>((a * k + 32767) >> 16, std::uint64_t(sw - 1)));
    return p;
}

std::vector<std::uint32_t> GrowTable(int sw, int dw) {
    std::vector<std::uint32_t> count(static_cast<std::size_t>(std::max(sw, 0)));
    if (sw <= 0)
        return count;
    const std::uint64_t a = step16(dw, sw);
    auto q = [&](int k) { return std::min<std::uint64_t>(std::uint64_t(dw), (a * k + 32767) >> 16); };
    for (int k = 0; k < sw; ++k)
        count[k] = static_cast<std::uint32_t>(q(k + 1) - q(k));
    const std::uint64_t total = q(sw);
    if (total < std::uint64_t(dw)) {
        const auto l = static_cast<std::uint32_t>(std::uint64_t(dw) - total);
        count.back() += l / 2;
        count.front() += l - l / 2;
    }
    return count;
}

void ResampleBitmap(const QImage &source, QImage &destination, const QRect &sourceRect,
                    const QRect &destinationRect) {
    const QImage src = (source.format() == QImage::Format_RGB888 || source.format() == QImage::Format_RGB32)
                           ? source
                           : source.convertToFormat(QImage::Format_RGB888);
    if (destination.format() != src.format())
        destination = destination.isNull() ? QImage(destinationRect.right() + 1, destinationRect.bottom() + 1, src.format())
                                           : destination.convertToFormat(src.format());
    const int sw = sourceRect.width(), sh = sourceRect.height();
    const int dw = destinationRect.width(), dh = destinationRect.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || src.isNull() || destination.isNull())
        return;
    const bool sameWay = (sw >= dw && sh >= dh) || (dw >= sw && dh >= sh);
    if (!sameWay) {
        QPainter p(&destination);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(destinationRect, src, sourceRect);
        return;
    }
    const int bpp = src.format() == QImage::Format_RGB888 ? 3 : 4;
    const auto cols = mapping(sw, dw, sourceRect.left(), sourceRect.left() + sw, src.width());
    const auto rows = mapping(sh, dh, sourceRect.top(), sourceRect.top() + sh, src.height());
    for (int j = 0; j < dh; ++j) {
        const int dy = destinationRect.top() + j;
        if (dy < 0 || dy >= destination.height())
            continue;
        const uchar *in = src.constScanLine(rows[j]);
        uchar *out = destination.scanLine(dy);
        for (int i = 0; i < dw; ++i) {
            const int dx = destinationRect.left() + i;
            if (dx < 0 || dx >= destination.width())
                continue;
            std::memcpy(out + dx * bpp, in + cols[i] * bpp, bpp);
        }
    }
}

} // namespace sky
