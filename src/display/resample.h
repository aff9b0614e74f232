#pragma once
// Nearest-neighbour bitmap resampling with 16.16 fixed-point step tables.
#include <QImage>
#include <QRect>

#include <cstdint>
#include <vector>

namespace sky {

// Copies sourceRect of `source` into destinationRect of `destination` at that rectangle's size.
// The source is taken at 24 or 32 bits per pixel (anything else is converted to 24 bits) and the
// destination is given the same format. When both directions shrink (or both grow) pixels are
// copied whole by precomputed column and row tables; a rectangle that shrinks one way and grows
// the other is stretched without blending.
void ResampleBitmap(const QImage &source, QImage &destination, const QRect &sourceRect,
                    const QRect &destinationRect);

// Source positions for shrinking `sw` pixels to `dw` (dw < sw): destination pixel j takes source
// pixel P(j). Positions are computed in 64 bits, so rows of any length map correctly.
std::vector<std::uint32_t> ShrinkTable(int sw, int dw);

// Repeat counts for growing `sw` pixels to `dw` (dw >= sw): source pixel k is written count[k]
// times; any shortfall is spread over the last and the first pixel.
std::vector<std::uint32_t> GrowTable(int sw, int dw);

} // namespace sky
