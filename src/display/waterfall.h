#pragma once
// The waterfall history under the chart: one pixel row per sweep, newest at the top.
#include "chart/color.h"

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>

namespace sky {

class TImage;

// Colour of one bin on the ramp from `start` (weakest bin) to `end` (strongest bin). Colours are
// Windows colour values (red in the low byte). `d` is strongest level - level and `range` is
// strongest level - weakest level; returns false when the ramp cannot be computed.
bool RampColor(TColor start, TColor end, float d, double range, std::uint32_t &color);

class TWaterfall {
public:
    // Buffers as large as the screen, filled black.
    explicit TWaterfall(QSize screen);

    // Moves the history down one row and draws the sweep as the new top row at the buffer's
    // width: with more bins than pixels each pixel takes the strongest bin of its share, else one
    // pixel per bin except the last, resampled. Colours come from RampColor by signed level; a
    // flat sweep is drawn in the strongest colour. Returns false for a sweep of fewer than two
    // bins: the history has then moved down but no row is drawn and nothing is presented.
    bool AddLine(const double *y, std::size_t n, std::size_t maxIndex, std::size_t minIndex, TColor colorStart,
                 TColor colorEnd);

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

    QImage waterfallBuffer;      // 16 bits per pixel; row 0 is the newest sweep
    QImage waterfallLine;        // one pixel per bin of the last sweep
    QImage waterfallLineScaled;  // waterfallLine at the buffer's width

private:
    void FlushBatch();

    TImage *image_ = nullptr;
    bool batch_ = false;
    QImage batchRows_;   // the buffer's format; a ring of the newest rows, at most the buffer's height
    int batchCount_ = 0; // rows added since the last flush (those beyond the ring's height are gone)
    QSize maxSize_;
};

} // namespace sky
