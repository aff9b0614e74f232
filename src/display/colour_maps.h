#pragma once
// Colour maps for the waterfall and their names in the settings file.
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace sky {

// Ramp is the user's two colours (see RampColor); the others are fixed 256-colour tables.
enum class WaterfallColours { Ramp, Turbo, Viridis, Inferno, Grey };

using ColourTable = std::array<std::uint32_t, 256>;

// The table of a map: entry 0 is the weakest level's colour, 255 the strongest's, as Windows
// colour values (red in the low byte). Built on first use and never changed after. Ramp has no
// table of its own (its colours are the user's): it gets Grey's.
const ColourTable &ColourMapTable(WaterfallColours map);

// Settings text: "Ramp", "Turbo", "Viridis", "Inferno" or "Grey" (any case, surrounding blanks
// ignored). Anything else is nullopt.
std::optional<WaterfallColours> ParseWaterfallColours(QStringView text);
QString WaterfallColoursText(WaterfallColours map);

} // namespace sky
