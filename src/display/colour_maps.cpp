#include "display/colour_maps.h"

#include <algorithm>
#include <cmath>

namespace sky {

namespace {

// Turbo, viridis and inferno as uniform cubic B-splines of 16 spans per channel, in 8-bit units.
// The control points are least-squares fits to the published 256-entry definitions (ends
// weighted so the first and last colours come out exact); every entry lands within two units of
// the published one. A spline keeps the fit smooth, so viridis and inferno keep their rising
// lightness.
constexpr int kSpans = 16;
using Controls = std::array<std::array<double, kSpans + 3>, 3>; // red, green, blue

constexpr Controls kTurbo = {{
    {26.8, 49.5, 65.9, 71.3, 71.2, 39.9, 15.0, 41.8, 109.8, 165.8, 203.6, 240.9, 255.8, 253.6, 237.5, 211.9, 174.0,
     124.4, 62.4},
    {-30.5, 18.9, 64.6, 107.7, 147.0, 188.1, 222.4, 242.9, 255.5, 255.4, 239.0, 208.7, 176.1, 128.1, 79.6, 47.8, 21.4,
     3.1, -9.7},
    {-71.3, 64.7, 167.9, 232.2, 264.1, 239.2, 194.2, 156.9, 96.5, 54.3, 49.2, 60.6, 55.5, 33.4, 12.8, 4.2, 0.2, 1.9,
     8.5},
}};

constexpr Controls kViridis = {{
    {60.3, 68.9, 72.8, 71.9, 66.5, 58.7, 50.8, 44.1, 38.1, 32.4, 28.6, 37.2, 60.2, 91.5, 128.9, 170.4, 213.6, 254.2,
     289.4},
    {-18.4, 0.2, 25.0, 44.5, 64.3, 82.1, 98.7, 114.1, 129.2, 144.1, 159.1, 173.9, 188.1, 200.9, 211.9, 220.3, 226.1,
     230.9, 236.8},
    {58.2, 84.6, 107.3, 124.3, 134.6, 139.6, 141.6, 142.4, 142.3, 140.9, 136.8, 129.1, 116.6, 99.6, 76.7, 50.8, 19.8,
     27.8, 89.0},
}};

constexpr Controls kInferno = {{
    {5.9, -3.2, 8.9, 31.8, 61.0, 86.7, 112.0, 137.3, 162.7, 187.2, 209.6, 228.3, 241.8, 250.3, 252.6, 250.3, 239.7,
     243.0, 300.4},
    {4.5, -2.9, 8.0, 14.5, 6.3, 15.8, 25.2, 34.2, 43.1, 54.0, 68.7, 88.5, 112.9, 140.5, 170.5, 201.4, 233.7, 257.3,
     264.5},
    {-17.4, 1.1, 34.1, 76.1, 105.1, 109.9, 111.2, 106.5, 98.5, 84.9, 69.5, 49.1, 33.0, 3.8, 8.5, 50.5, 94.8, 173.8,
     196.7},
}};

ColourTable fromSpline(const Controls &c) {
    ColourTable table{};
    for (int i = 0; i < 256; ++i) {
        const double u = static_cast<double>(i) * kSpans / 255.0;
        const int span = std::min(static_cast<int>(u), kSpans - 1);
        const double f = u - span, g = 1.0 - f;
        const double w[4] = {g * g * g / 6.0, (3.0 * f * f * f - 6.0 * f * f + 4.0) / 6.0,
                             (-3.0 * f * f * f + 3.0 * f * f + 3.0 * f + 1.0) / 6.0, f * f * f / 6.0};
        std::uint32_t colour = 0;
        for (int ch = 0; ch < 3; ++ch) {
            double v = 0;
            for (int k = 0; k < 4; ++k)
                v += w[k] * c[ch][span + k];
            const auto byte = static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
            colour |= byte << (8 * ch);
        }
        table[i] = colour;
    }
    return table;
}

ColourTable grey() {
    ColourTable table{};
    for (std::uint32_t i = 0; i < 256; ++i)
        table[i] = i | i << 8 | i << 16;
    return table;
}

constexpr SettingName<WaterfallColours> kNames[] = {{WaterfallColours::Ramp, "Ramp"},
                            {WaterfallColours::Turbo, "Turbo"},
                            {WaterfallColours::Viridis, "Viridis"},
                            {WaterfallColours::Inferno, "Inferno"},
                            {WaterfallColours::Grey, "Grey"}};

} // namespace

const ColourTable &ColourMapTable(WaterfallColours map) {
    static const ColourTable turbo = fromSpline(kTurbo);
    static const ColourTable viridis = fromSpline(kViridis);
    static const ColourTable inferno = fromSpline(kInferno);
    static const ColourTable greys = grey();
    switch (map) {
    case WaterfallColours::Turbo:
        return turbo;
    case WaterfallColours::Viridis:
        return viridis;
    case WaterfallColours::Inferno:
        return inferno;
    case WaterfallColours::Ramp:
    case WaterfallColours::Grey:
        break;
    }
    return greys;
}

std::optional<WaterfallColours> ParseWaterfallColours(QStringView text) { return ParseSettingName(kNames, text); }

QString WaterfallColoursText(WaterfallColours map) { return SettingNameOf(kNames, map); }

} // namespace sky
