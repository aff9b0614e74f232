#include "display/waterfall.h"

#include "display/image_view.h"
#include "display/resample.h"
#include "platform/hundredths.h"
#include "platform/vector_clones.h"

#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#if SKYVANE_HAS_FMA_TARGET
#include <immintrin.h>
#endif

namespace sky {

namespace {

constexpr std::uint16_t kNoLevel = 0xFFFF; // a NaN's bucket: not counted
// Auto's weakest and strongest colour: a few hot pixels or a carrier do not squash the noise
// floor's shades, and the quietest 5% sit at the weakest colour.
constexpr double kLowPercentile = 0.05, kHighPercentile = 0.995;

std::uint16_t bucketOf(double level) {
    if (std::isnan(level))
        return kNoLevel;
    const double v = (level - TLevelHistory::kLowestDb) / TLevelHistory::kBucketDb;
    if (!(v >= 0.0))
        return 0;
    if (v >= TLevelHistory::kBuckets)
        return TLevelHistory::kBuckets - 1;
    return static_cast<std::uint16_t>(v);
}

double bucketCentre(int bucket) {
    return TLevelHistory::kLowestDb + (bucket + 0.5) * TLevelHistory::kBucketDb;
}

// A level's colour once the row's levels of the weakest (lo) and the strongest (hi) colour are
// known. NaN is no signal: the weakest colour. A flat range has one colour, the strongest.
struct Shade {
    double lo = 0, hi = 0, scale = 0;
    bool flat = true;
    const ColourTable *table = nullptr; // null: the ramp between start and end
    TColor start = 0, end = 0;
    std::uint32_t weakest = 0, strongest = 0;

    Shade(std::optional<std::pair<double, double>> range, WaterfallColours map, TColor colorStart, TColor colorEnd)
        : start(colorStart), end(colorEnd) {
        if (range && std::isfinite(range->first) && std::isfinite(range->second) && range->second - range->first > 0 &&
            std::isfinite(range->second - range->first)) {
            lo = range->first;
            hi = range->second;
            scale = 255.0 / (hi - lo);
            flat = false;
        }
        if (map == WaterfallColours::Ramp) {
            RampColor(start, end, 1.0f, 1.0, weakest);
            RampColor(start, end, 0.0f, 1.0, strongest);
        } else {
            table = &ColourMapTable(map);
            weakest = (*table)[0];
            strongest = (*table)[255];
        }
    }

    std::uint32_t operator()(double level) const {
        if (std::isnan(level))
            return weakest;
        if (flat || level >= hi)
            return strongest;
        if (level <= lo)
            return weakest;
        if (table)
            return (*table)[std::min(static_cast<int>((level - lo) * scale + 0.5), 255)];
        std::uint32_t c = 0;
        return RampColor(start, end, static_cast<float>(hi - level), hi - lo, c) ? c : strongest;
    }
};

void putPixel(std::uint32_t c, uchar *px) {
    px[0] = c & 0xFF;         // red
    px[1] = (c >> 8) & 0xFF;  // green
    px[2] = (c >> 16) & 0xFF; // blue
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr SettingName<WaterfallLevels> kLevelsNames[] = {
    {WaterfallLevels::Sweep, "Sweep"}, {WaterfallLevels::Fixed, "Fixed"}, {WaterfallLevels::Auto, "Auto"}};

} // namespace

std::optional<WaterfallLevels> ParseWaterfallLevels(QStringView text) { return ParseSettingName(kLevelsNames, text); }

QString WaterfallLevelsText(WaterfallLevels levels) { return SettingNameOf(kLevelsNames, levels); }

void TLevelHistory::Reset(int width, int rows) {
    width_ = std::max(width, 0);
    capacity_ = width_ > 0 ? std::max(rows, 0) : 0;
    counts_.assign(kBuckets, 0);
    ring_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(capacity_), kNoLevel);
    head_ = count_ = 0;
    total_ = 0;
}

void TLevelHistory::SetRows(int rows) {
    rows = width_ > 0 ? std::max(rows, 0) : 0;
    if (rows == capacity_)
        return;
    const std::size_t w = static_cast<std::size_t>(width_);
    const int kept = std::min(count_, rows);
    const int oldest = capacity_ > 0 ? (head_ - count_ + capacity_) % capacity_ : 0;
    for (int j = 0; j < count_ - kept; ++j) // the oldest rows go
        Count(ring_.data() + w * static_cast<std::size_t>((oldest + j) % capacity_), -1);
    std::vector<std::uint16_t> next(w * static_cast<std::size_t>(rows), kNoLevel);
    for (int j = 0; j < kept; ++j) {
        const int from = (oldest + count_ - kept + j) % capacity_;
        std::memcpy(next.data() + w * static_cast<std::size_t>(j), ring_.data() + w * static_cast<std::size_t>(from),
                    w * sizeof(std::uint16_t));
    }
    ring_ = std::move(next);
    capacity_ = rows;
    count_ = kept;
    head_ = rows > 0 ? kept % rows : 0;
}

void TLevelHistory::Count(const std::uint16_t *row, int sign) {
    std::uint64_t n = 0;
    for (int i = 0; i < width_; ++i) {
        if (row[i] == kNoLevel)
            continue;
        if (sign > 0)
            ++counts_[row[i]];
        else
            --counts_[row[i]];
        ++n;
    }
    total_ = sign > 0 ? total_ + n : total_ - n;
}

void TLevelHistory::Push(const double *levels) {
    if (capacity_ == 0)
        return;
    std::uint16_t *slot = ring_.data() + static_cast<std::size_t>(width_) * static_cast<std::size_t>(head_);
    if (count_ == capacity_)
        Count(slot, -1); // the oldest row's slot
    for (int i = 0; i < width_; ++i)
        slot[i] = bucketOf(levels[i]);
    Count(slot, +1);
    head_ = (head_ + 1) % capacity_;
    count_ = std::min(count_ + 1, capacity_);
}

void TLevelHistory::RepeatNewest() {
    if (count_ == 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width_);
    const int newest = (head_ - 1 + capacity_) % capacity_;
    if (count_ == capacity_) {
        if (newest == head_)
            return; // a history of one row: the repeat replaces it with itself
        Count(ring_.data() + w * static_cast<std::size_t>(head_), -1);
    }
    std::uint16_t *slot = ring_.data() + w * static_cast<std::size_t>(head_);
    std::memcpy(slot, ring_.data() + w * static_cast<std::size_t>(newest), w * sizeof(std::uint16_t));
    Count(slot, +1);
    head_ = (head_ + 1) % capacity_;
    count_ = std::min(count_ + 1, capacity_);
}

std::optional<std::pair<double, double>> TLevelHistory::Percentiles(double low, double high) const {
    if (total_ == 0)
        return std::nullopt;
    // The level of rank floor(q * (count - 1)) in ascending order, counting from 0.
    auto rank = [&](double q) {
        return static_cast<std::uint64_t>(std::clamp(q, 0.0, 1.0) * static_cast<double>(total_ - 1));
    };
    const std::uint64_t lowRank = rank(low), highRank = rank(high);
    std::optional<double> lo, hi;
    std::uint64_t below = 0;
    for (int b = 0; b < kBuckets && !hi; ++b) {
        below += counts_[b];
        if (!lo && below > lowRank)
            lo = bucketCentre(b);
        if (!hi && below > highRank)
            hi = bucketCentre(b);
    }
    if (!lo || !hi)
        return std::nullopt;
    return std::make_pair(*lo, *hi);
}

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
    clockMs = steadyMs;
    waterfallBuffer.fill(Qt::black);
    waterfallLine.fill(Qt::black);
    waterfallLineScaled.fill(Qt::black);
}

namespace {

double StrongestOfPlain(const double *y, std::size_t lo, std::size_t hi) {
    double strongest = y[lo];
    for (std::size_t i = lo + 1; i < hi; ++i)
        strongest = std::max(strongest, y[i]);
    return strongest;
}

#if SKYVANE_HAS_FMA_TARGET
// MAX(v, s) is "v > s ? v : s", exactly std::max(s, v): every lane, starting from y[lo], folds
// its levels as the plain loop does, and the lanes fold the same way (which of two equal zeros
// comes out may differ; both give one colour).
SKYVANE_FMA_TARGET double StrongestOfAvx2(const double *y, std::size_t lo, std::size_t hi) {
    __m256d a = _mm256_set1_pd(y[lo]), b = a;
    std::size_t i = lo + 1;
    for (; i + 8 <= hi; i += 8) {
        a = _mm256_max_pd(_mm256_loadu_pd(y + i), a);
        b = _mm256_max_pd(_mm256_loadu_pd(y + i + 4), b);
    }
    alignas(32) double lanes[8];
    _mm256_store_pd(lanes, a);
    _mm256_store_pd(lanes + 4, b);
    double strongest = lanes[0];
    for (int k = 1; k < 8; ++k)
        strongest = std::max(strongest, lanes[k]);
    for (; i < hi; ++i)
        strongest = std::max(strongest, y[i]);
    return strongest;
}
#endif

} // namespace

double StrongestOf(const double *y, std::size_t lo, std::size_t hi) {
#if SKYVANE_HAS_FMA_TARGET
    if (hi - lo > 16 && CpuHasFma())
        return StrongestOfAvx2(y, lo, hi);
#endif
    return StrongestOfPlain(y, lo, hi);
}

namespace {

// Levels held as whole hundredths are never NaN: the strongest is the largest number.
double StrongestOf(const std::int16_t *y, std::size_t lo, std::size_t hi) {
    std::int16_t least = 0, most = 0;
    HundredthsExtremes(y + lo, hi - lo, least, most);
    return HundredthsValue(most);
}

} // namespace

bool TWaterfall::AddLine(const double *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex,
                         TColor colorStart, TColor colorEnd) {
    return AddLineOf(y, n, maxIndex, minIndex, colorStart, colorEnd);
}

bool TWaterfall::AddLine(const std::int16_t *hundredths, std::size_t n, std::size_t maxIndex, std::size_t minIndex,
                         TColor colorStart, TColor colorEnd) {
    return AddLineOf(hundredths, n, maxIndex, minIndex, colorStart, colorEnd);
}

template <class T>
bool TWaterfall::AddLineOf(const T *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex,
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

    const bool drawn = n >= 2 && n - 1 <= 0x7FFFFFF; // a sweep of one bin has no line
    if (!drawn) {
        // The new row repeats the newest one: so do its levels.
        if (TLevelHistory *history = AutoHistory())
            history->RepeatNewest();
        return false;
    }
    const std::size_t width = n - 1; // one pixel per bin but the last
    if (levels_ != WaterfallLevels::Sweep || colours_ != WaterfallColours::Ramp) {
        DrawMapped(y, width, maxIndex, minIndex, colorStart, colorEnd);
        PaintNewRow(newRow);
        return true;
    }
    // Each bin's place between the strongest (0) and the weakest (range), by its signed level:
    // captures with positive levels order like any other. A flat sweep has no ramp: one colour.
    const double top = LevelAt(y, maxIndex);
    double range = top - LevelAt(y, minIndex);
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
            colour(StrongestOf(y, lo, hi), px + 3 * c);
        }
    } else {
        if (waterfallLine.width() != static_cast<int>(width) || waterfallLine.format() != QImage::Format_RGB888)
            waterfallLine = QImage(static_cast<int>(width), 1, QImage::Format_RGB888);
        uchar *px = waterfallLine.scanLine(0);
        for (std::size_t i = 0; i < width; ++i)
            colour(LevelAt(y, i), px + 3 * i);
        ResampleBitmap(waterfallLine, waterfallLineScaled, QRect(0, 0, waterfallLine.width(), 1),
                       QRect(0, 0, waterfallLineScaled.width(), 1));
    }
    PaintNewRow(newRow);
    return true;
}

void TWaterfall::PaintNewRow(uchar *newRow) {
    if (!newRow)
        return;
    if (batch_) {
        QImage row(newRow, waterfallBuffer.width(), 1, waterfallBuffer.bytesPerLine(), waterfallBuffer.format());
        QPainter p(&row);
        p.drawImage(0, 0, waterfallLineScaled);
        return; // presented when the batch ends
    }
    QPainter p(&waterfallBuffer);
    p.drawImage(0, 0, waterfallLineScaled);
    p.end();
    Present();
}

template <class T>
void TWaterfall::DrawMapped(const T *y, std::size_t width, std::size_t maxIndex, std::size_t minIndex,
                            TColor colorStart, TColor colorEnd) {
    const int dw = waterfallLineScaled.width();
    pixelLevels_.resize(static_cast<std::size_t>(std::max(dw, 0)));
    const bool shrink = width > static_cast<std::size_t>(dw);
    if (shrink) {
        // Each pixel takes the strongest bin of its share, as in the default drawing; a NaN bin
        // hides nothing, and a pixel is NaN only when its whole share is.
        for (int c = 0; c < dw; ++c) {
            const std::size_t lo = width * static_cast<std::size_t>(c) / static_cast<std::size_t>(dw);
            const std::size_t hi =
                std::max(lo + 1, width * static_cast<std::size_t>(c + 1) / static_cast<std::size_t>(dw));
            double strongest = StrongestOf(y, lo, hi); // skips NaN once strongest is a number
            if (std::isnan(strongest))
                for (std::size_t i = lo + 1; i < hi; ++i)
                    if (!std::isnan(LevelAt(y, i)) && !(LevelAt(y, i) <= strongest))
                        strongest = LevelAt(y, i);
            pixelLevels_[static_cast<std::size_t>(c)] = strongest;
        }
    } else {
        // Each bin over the pixels the resampling of the default drawing gives it.
        if (growFrom_ != width || growTo_ != dw) {
            growCounts_ = GrowTable(static_cast<int>(width), dw);
            growFrom_ = width;
            growTo_ = dw;
        }
        std::size_t x = 0;
        for (std::size_t k = 0; k < width; ++k)
            for (std::uint32_t r = 0; r < growCounts_[k] && x < pixelLevels_.size(); ++r)
                pixelLevels_[x++] = LevelAt(y, k);
        for (; x < pixelLevels_.size(); ++x) // never when the table sums to the width
            pixelLevels_[x] = LevelAt(y, width - 1);
    }

    std::optional<std::pair<double, double>> range;
    switch (levels_) {
    case WaterfallLevels::Sweep:
        if (maxIndex <= width && minIndex <= width) // inside the sweep's n = width + 1 bins
            range = std::make_pair(LevelAt(y, minIndex), LevelAt(y, maxIndex));
        break;
    case WaterfallLevels::Fixed:
        range = std::make_pair(fixedMin_, fixedMax_);
        break;
    case WaterfallLevels::Auto: {
        // The new row joins the history before the range is renewed: the first row with a level
        // gets its own range at once.
        TLevelHistory *history = AutoHistory();
        TLevelHistory own; // a buffer without rows keeps no history: the row alone, for its line
        if (history->Capacity() == 0) {
            own.Reset(dw, 1);
            history = &own;
        }
        history->Push(pixelLevels_.data());
        const qint64 now = clockMs ? clockMs() : 0;
        if (!autoRange_ || now - autoStampMs_ >= 1000 || now < autoStampMs_) {
            if (auto next = history->Percentiles(kLowPercentile, kHighPercentile)) {
                autoRange_ = next;
                autoStampMs_ = now;
            }
        }
        range = autoRange_;
        break;
    }
    }

    const Shade shade(range, colours_, colorStart, colorEnd);
    uchar *px = waterfallLineScaled.scanLine(0);
    for (std::size_t c = 0; c < pixelLevels_.size(); ++c)
        putPixel(shade(pixelLevels_[c]), px + 3 * c);
    if (!shrink) {
        // The bins' own line, as the default drawing leaves it.
        if (waterfallLine.width() != static_cast<int>(width) || waterfallLine.format() != QImage::Format_RGB888)
            waterfallLine = QImage(static_cast<int>(width), 1, QImage::Format_RGB888);
        uchar *bin = waterfallLine.scanLine(0);
        for (std::size_t i = 0; i < width; ++i)
            putPixel(shade(LevelAt(y, i)), bin + 3 * i);
    }
}

TLevelHistory *TWaterfall::AutoHistory() {
    if (levels_ != WaterfallLevels::Auto)
        return nullptr;
    const int w = waterfallLineScaled.width(), h = waterfallBuffer.height();
    if (history_.Width() != w) {
        history_.Reset(w, h);
        autoRange_.reset();
    } else if (history_.Capacity() != h) {
        history_.SetRows(h);
    }
    return &history_;
}

void TWaterfall::RestartAutoHistory() {
    autoRange_.reset();
    if (levels_ == WaterfallLevels::Auto)
        history_.Reset(waterfallLineScaled.width(), waterfallBuffer.height());
    else
        history_ = TLevelHistory(); // its memory too
}

bool TWaterfall::SetLevels(WaterfallLevels mode, double minDb, double maxDb) {
    const bool restart = mode == WaterfallLevels::Auto && levels_ != WaterfallLevels::Auto;
    const bool leave = mode != WaterfallLevels::Auto && levels_ == WaterfallLevels::Auto;
    levels_ = mode;
    if (restart || leave)
        RestartAutoHistory();
    // The difference must be finite too, or no level would lie strictly between the two.
    if (!std::isfinite(minDb) || !std::isfinite(maxDb) || !(minDb < maxDb) || !std::isfinite(maxDb - minDb))
        return false;
    fixedMin_ = minDb;
    fixedMax_ = maxDb;
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
    RestartAutoHistory();
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
    // Rescaled rows no longer show the levels the auto history holds: a new width starts it
    // afresh, a new height keeps the newest rows.
    AutoHistory();
    QImage pic(size, QImage::Format_RGB32);
    pic.fill(Qt::black);
    image.SetPicture(pic);
    Present();
}

} // namespace sky
