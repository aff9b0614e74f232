#include "display/waterfall.h"

#include "display/image_view.h"
#include "display/resample.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sky {

bool RampColor(TColor start, TColor end, float d, double range, std::uint32_t &color) {
    color = 0;
    for (int c = 0; c < 3; ++c) {
        const int s = (start >> (8 * c)) & 0xFF;
        const int e = (end >> (8 * c)) & 0xFF;
        const int delta = e - s;
        if (delta == 0) { // nothing to scale: the channel is the same at both ends
            if (!(range != 0) || !std::isfinite(d)) // 0 * d / 0 is not a number either
                return false;
            color |= static_cast<std::uint32_t>(e) << (8 * c);
            continue;
        }
        const double scaled = static_cast<double>(delta) * static_cast<double>(d) / range;
        if (!std::isfinite(scaled) || std::fabs(scaled) > 9.2e18)
            return false;
        // Round to nearest, ties to even: the add-and-subtract trick is exact below 2^51 and much
        // cheaper than a library call per pixel and channel.
        constexpr double magic = 6755399441055744.0; // 1.5 * 2^52
        const auto rounded = std::fabs(scaled) < 2251799813685248.0
                                 ? static_cast<std::int64_t>((scaled + magic) - magic)
                                 : static_cast<std::int64_t>(std::nearbyint(scaled));
        const auto value = static_cast<std::uint32_t>((e - rounded) & 0xFF);
        color |= value << (8 * c);
    }
    return true;
}

TWaterfall::TWaterfall(QSize screen)
    : waterfallBuffer(screen, QImage::Format_RGB16), waterfallLine(1, 1, QImage::Format_RGB888),
      waterfallLineScaled(screen.width(), 1, QImage::Format_RGB888), maxSize_(screen.expandedTo(QSize(1, 1))) {
    waterfallBuffer.fill(Qt::black);
    waterfallLine.fill(Qt::black);
    waterfallLineScaled.fill(Qt::black);
}

bool TWaterfall::AddLine(const double *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex,
                         TColor colorStart, TColor colorEnd) {
    const int h = waterfallBuffer.height();
    const std::size_t rowBytes = static_cast<std::size_t>(waterfallBuffer.bytesPerLine());
    uchar *newRow = nullptr; // where this sweep's row goes
    if (batch_ && h > 0 &&
        (batchRows_.size() != waterfallBuffer.size() || batchRows_.format() != waterfallBuffer.format())) {
        FlushBatch();
        batchRows_ = QImage(waterfallBuffer.size(), waterfallBuffer.format());
    }
    if (batch_ && h > 0 && !batchRows_.isNull()) {
        // A row left undrawn repeats the newest one, as the history's move leaves it.
        const uchar *newest = batchCount_ > 0 ? batchRows_.constScanLine((batchCount_ - 1) % h)
                                              : waterfallBuffer.constScanLine(0);
        newRow = batchRows_.scanLine(batchCount_ % h);
        if (newRow != newest)
            std::memcpy(newRow, newest, rowBytes);
        ++batchCount_;
    } else {
        // Move the history down one row: one block copy, whatever the height.
        if (h > 1)
            std::memmove(waterfallBuffer.scanLine(1), waterfallBuffer.scanLine(0), rowBytes * (h - 1));
        newRow = h > 0 ? waterfallBuffer.scanLine(0) : nullptr;
    }

    if (n < 2)
        return false; // nothing to scale: a sweep of one bin has no line
    const std::size_t width = n - 1; // one pixel per bin but the last
    if (width > 0x7FFFFFF)
        return false;
    // Each bin's place between the strongest (0) and the weakest (range), by its signed level:
    // captures with positive levels order like any other. A flat sweep has no ramp: one colour.
    const double top = y[maxIndex];
    double range = top - y[minIndex];
    if (!(range > 0) || !std::isfinite(range))
        range = 0;
    auto colour = [&](double level, uchar *px) {
        std::uint32_t c = 0;
        if (range == 0 || !RampColor(colorStart, colorEnd, static_cast<float>(top - level), range, c))
            RampColor(colorStart, colorEnd, 0.0f, 1.0, c);
        px[0] = c & 0xFF;         // red
        px[1] = (c >> 8) & 0xFF;  // green
        px[2] = (c >> 16) & 0xFF; // blue
    };
    const int dw = waterfallLineScaled.width();
    if (width > static_cast<std::size_t>(dw)) {
        // More bins than pixels: each pixel shows the strongest bin of its share, so a carrier one
        // bin wide is never dropped. Only the pixels drawn are coloured.
        uchar *px = waterfallLineScaled.scanLine(0);
        for (int c = 0; c < dw; ++c) {
            const std::size_t lo = width * static_cast<std::size_t>(c) / static_cast<std::size_t>(dw);
            const std::size_t hi = std::max(lo + 1, width * static_cast<std::size_t>(c + 1) / static_cast<std::size_t>(dw));
            double strongest = y[lo];
            for (std::size_t i = lo + 1; i < hi; ++i)
                strongest = std::max(strongest, y[i]);
            colour(strongest, px + 3 * c);
        }
    } else {
        if (waterfallLine.width() != static_cast<int>(width) || waterfallLine.format() != QImage::Format_RGB888)
            waterfallLine = QImage(static_cast<int>(width), 1, QImage::Format_RGB888);
        uchar *px = waterfallLine.scanLine(0);
        for (std::size_t i = 0; i < width; ++i)
            colour(y[i], px + 3 * i);
        ResampleBitmap(waterfallLine, waterfallLineScaled, QRect(0, 0, waterfallLine.width(), 1),
                       QRect(0, 0, waterfallLineScaled.width(), 1));
    }
    if (!newRow)
        return true;
    if (batch_) {
        QImage row(newRow, waterfallBuffer.width(), 1, waterfallBuffer.bytesPerLine(), waterfallBuffer.format());
        QPainter p(&row);
        p.drawImage(0, 0, waterfallLineScaled);
        return true; // presented when the batch ends
    }
    QPainter p(&waterfallBuffer);
    p.drawImage(0, 0, waterfallLineScaled);
    p.end();
    Present();
    return true;
}

void TWaterfall::BeginBatch() {
    FlushBatch();
    batch_ = true;
}

void TWaterfall::EndBatch() {
    FlushBatch();
    batch_ = false;
    batchRows_ = QImage();
    Present();
}

void TWaterfall::FlushBatch() {
    const int h = waterfallBuffer.height();
    const int k = std::min(batchCount_, h);
    if (k > 0) {
        const std::size_t rowBytes = static_cast<std::size_t>(waterfallBuffer.bytesPerLine());
        if (h > k)
            std::memmove(waterfallBuffer.scanLine(k), waterfallBuffer.scanLine(0), rowBytes * (h - k));
        // Newest at the top: row j is the (j + 1)-th newest of the batch.
        for (int j = 0; j < k; ++j)
            std::memcpy(waterfallBuffer.scanLine(j), batchRows_.constScanLine((batchCount_ - 1 - j) % h), rowBytes);
    }
    batchCount_ = 0;
}

void TWaterfall::Clear() {
    batchCount_ = 0;
    waterfallBuffer.fill(Qt::black);
    Present();
}

void TWaterfall::Present() const {
    if (!image_)
        return;
    TImage &image = *image_;
    QImage &pic = image.PictureRef();
    if (pic.isNull())
        return;
    QPainter p(&pic);
    p.drawImage(0, 1, waterfallBuffer);
    p.end();
    image.update();
}

void TWaterfall::Resize() {
    FlushBatch();
    if (!image_)
        return;
    TImage &image = *image_;
    // Never larger than the screen: a deep zoom makes the image millions of pixels wide, and the
    // image stretches its picture anyway.
    const QSize size = image.size().expandedTo(QSize(1, 1)).boundedTo(maxSize_);
    // Each row spans the whole sweep across the image, which spans the trace under the chart:
    // a new width rescales the rows drawn so far, so they keep lining up with the axis. A new
    // height keeps the newest rows at the top.
    auto refit = [](QImage &img, QSize s) {
        if (img.size() == s)
            return;
        QImage next(s, img.format());
        next.fill(Qt::black);
        QPainter p(&next);
        if (img.width() == s.width())
            p.drawImage(0, 0, img);
        else if (!img.isNull())
            p.drawImage(0, 0, img.scaled(s.width(), img.height(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
        p.end();
        img = std::move(next);
    };
    refit(waterfallBuffer, size);
    refit(waterfallLineScaled, QSize(size.width(), 1));
    QImage pic(size, QImage::Format_RGB32);
    pic.fill(Qt::black);
    image.SetPicture(pic);
    Present();
}

} // namespace sky
