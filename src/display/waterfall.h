#pragma once
// The waterfall history under the chart: one pixel row per sweep, newest at the top.
#include "chart/color.h"
#include "display/colour_maps.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace sky {

class TImage;

// Colour of one bin on the ramp from `start` (weakest bin) to `end` (strongest bin). Colours are
// Windows colour values (red in the low byte). `d` is strongest level - level and `range` is
// strongest level - weakest level; returns false when the ramp cannot be computed.
bool RampColor(TColor start, TColor end, float d, double range, std::uint32_t &color);

// Which levels the waterfall's weakest and strongest colours stand for.
enum class WaterfallLevels {
    Sweep, // each sweep's own weakest and strongest bin
    Fixed, // two chosen levels; levels beyond them take the end colours
    Auto,  // the 5th and 99.5th percentile of the levels in the rows shown, renewed at most once a second
};

// The strongest of the levels y[lo .. hi) (lo < hi) as the fold "s = y[lo], then
// s = std::max(s, y[i])" finds it: a NaN level is passed over, unless it is the first. Of two
// equal zeros either may come out (both give one colour).
double StrongestOf(const double *y, std::size_t lo, std::size_t hi);

// Settings text: "Sweep", "Fixed" or "Auto" (any case, surrounding blanks ignored). Anything else
// is nullopt.
std::optional<WaterfallLevels> ParseWaterfallLevels(QStringView text);
QString WaterfallLevelsText(WaterfallLevels levels);

// The levels of the rows a waterfall shows, one per pixel, counted in 0.05 dB buckets: adding a
// row (and dropping the oldest once full) costs one pass over the row, a percentile one pass
// over the buckets, whatever the number of rows.
class TLevelHistory {
public:
    static constexpr double kBucketDb = 0.05;
    static constexpr double kLowestDb = -400.0; // lower levels count in the first bucket
    static constexpr int kBuckets = 16000;      // up to +400 dB; higher levels count in the last

    // Empties the history and sizes it for rows of `width` levels, `rows` of them at most.
    void Reset(int width, int rows);
    // Keeps at most `rows` rows from now on, dropping the oldest beyond that.
    void SetRows(int rows);
    // Adds a row of Width() levels, dropping the oldest row when full. NaN counts as no level;
    // infinities and levels beyond the buckets count in the end buckets.
    void Push(const double *levels);
    // Adds another copy of the newest row, as the waterfall repeats it; nothing while empty.
    void RepeatNewest();
    // The levels below which the fractions `low` and `high` of the levels lie, each the centre of
    // its bucket; nullopt while there are no levels.
    std::optional<std::pair<double, double>> Percentiles(double low, double high) const;

    int Width() const { return width_; }
    int Capacity() const { return capacity_; }
    int Rows() const { return count_; }
    std::uint64_t LevelCount() const { return total_; }

private:
    void Count(const std::uint16_t *row, int sign);

    std::vector<std::uint32_t> counts_;
    std::vector<std::uint16_t> ring_; // capacity_ rows of width_ bucket indices
    int width_ = 0, capacity_ = 0;
    int head_ = 0;  // slot of the next row
    int count_ = 0; // rows held
    std::uint64_t total_ = 0;
};

class TWaterfall {
public:
    // Buffers as large as the screen, filled black.
    explicit TWaterfall(QSize screen);

    // Moves the history down one row and draws the sweep as the new top row at the buffer's
    // width: with more bins than pixels each pixel takes the strongest bin of its share, else one
    // pixel per bin except the last, resampled. Colours come from RampColor by signed level; a
    // flat sweep is drawn in the strongest colour (unless SetLevels or SetColours chose other
    // ones). Returns false for a sweep of fewer than two bins: the history has then moved down
    // but no row is drawn and nothing is presented.
    bool AddLine(const double *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex, TColor colorStart,
                 TColor colorEnd);
    // The same for levels held as whole hundredths (see platform/hundredths.h).
    bool AddLine(const std::int16_t *hundredths, std::size_t n, std::size_t maxIndex, std::size_t minIndex,
                 TColor colorStart, TColor colorEnd);

    // While a batch is open, AddLine keeps its rows aside instead of moving the whole history
    // for each one; EndBatch moves the history down once by all of them and presents once. The
    // buffer then holds exactly what the same lines added one by one leave, at a cost linear in
    // the rows (a long capture rendered into one picture). Resize and Clear end the batch's
    // rows first (Clear drops them).
    void BeginBatch();
    void EndBatch();

    // The image that shows the history (img2); AddLine and Resize present into it.
    void SetImage(TImage *image) { image_ = image; }

    // Copies the whole buffer into the image's picture one row down and repaints it.
    void Present() const;

    // Fits the buffers and the image's picture to the image's size, at most the screen's (history
    // kept at the top left, new area black), then presents.
    void Resize();
    // Blacks out the history: its rows belong to another range or bin layout.
    void Clear();

    // Which levels the end colours stand for; Sweep (the default) is the ramp of each sweep's own
    // extremes. minDb and maxDb are Fixed's levels of the weakest and the strongest colour: they
    // are taken only when finite with minDb < maxDb (and a finite difference), else the previous
    // ones stay (-100 and 0 dB at first) and the result is false; the mode is set either way.
    // Auto counts each pixel's level as drawn in the rows the buffer holds; its first row takes
    // the range of its own levels at once. Switching to Auto, Clear and a new width start its
    // history afresh; a new height keeps the newest rows'.
    // Except with Sweep and the ramp together (drawn exactly as ever), a NaN level is drawn in
    // the weakest colour, levels beyond the range in the end colours, and every level but NaN in
    // the strongest colour when the range is flat.
    bool SetLevels(WaterfallLevels mode, double minDb, double maxDb);
    WaterfallLevels Levels() const { return levels_; }
    std::pair<double, double> FixedLevels() const { return {fixedMin_, fixedMax_}; }
    // Auto's current levels of the weakest and the strongest colour; nullopt before any row
    // with a level was drawn in Auto, and after a restart of its history.
    std::optional<std::pair<double, double>> AutoRange() const { return autoRange_; }

    // The colours rows are drawn in from now on; Ramp (the default) is AddLine's two colours.
    void SetColours(WaterfallColours map) { colours_ = map; }
    WaterfallColours Colours() const { return colours_; }

    // Milliseconds on a steady clock: Auto renews its range when a row is added a second or more
    // after the last renewal.
    std::function<qint64()> clockMs;

    QImage waterfallBuffer;      // 16 bits per pixel; row 0 is the newest sweep
    QImage waterfallLine;        // one pixel per bin of the last sweep
    QImage waterfallLineScaled;  // waterfallLine at the buffer's width

private:
    void FlushBatch();
    // Puts waterfallLineScaled into the new row (the batch's or the buffer's) and presents it
    // unless a batch is open.
    void PaintNewRow(uchar *newRow);
    // Draws the sweep into waterfallLineScaled (and waterfallLine when the row is not shrunk) in
    // the levels and colours chosen, for any choice but the default.
    template <class T>
    bool AddLineOf(const T *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex, TColor colorStart,
                   TColor colorEnd);
    template <class T>
    void DrawMapped(const T *y, std::size_t width, std::size_t maxIndex, std::size_t minIndex, TColor colorStart,
                    TColor colorEnd);
    // The auto history, fitted to the buffer's size; null outside Auto.
    TLevelHistory *AutoHistory();
    void RestartAutoHistory();

    WaterfallLevels levels_ = WaterfallLevels::Sweep;
    double fixedMin_ = -100.0, fixedMax_ = 0.0;
    WaterfallColours colours_ = WaterfallColours::Ramp;
    TLevelHistory history_;
    std::optional<std::pair<double, double>> autoRange_;
    qint64 autoStampMs_ = 0;                // clock reading at the last renewal of autoRange_
    std::vector<double> pixelLevels_;       // the level each pixel of the new row is coloured from
    std::vector<std::uint32_t> growCounts_; // GrowTable(growFrom_, growTo_)
    std::size_t growFrom_ = 0;
    int growTo_ = -1;

    TImage *image_ = nullptr;
    bool batch_ = false;
    QImage batchRows_;   // the buffer's format; a ring of the newest rows, at most the buffer's height
    int batchCount_ = 0; // rows added since the last flush (those beyond the ring's height are gone)
    QSize maxSize_;
};

} // namespace sky
