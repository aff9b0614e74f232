#pragma once
// Colour maps for the waterfall and their names in the settings file.
#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
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

// A choice and its name in the settings file; the lookups below serve every such table.
template <class E>
struct SettingName {
    E value;
    const char *text;
};
// The value named `text` (any case, surrounding blanks ignored), or nullopt.
template <class E, std::size_t N>
std::optional<E> ParseSettingName(const SettingName<E> (&names)[N], QStringView text) {
    const QStringView t = text.trimmed();
    for (const SettingName<E> &n : names)
        if (t.compare(QLatin1String(n.text), Qt::CaseInsensitive) == 0)
            return n.value;
    return std::nullopt;
}
// The name of `value`; the first name for a value the table lacks.
template <class E, std::size_t N>
QString SettingNameOf(const SettingName<E> (&names)[N], E value) {
    for (const SettingName<E> &n : names)
        if (n.value == value)
            return QString::fromLatin1(n.text);
    return QString::fromLatin1(names[0].text);
}

// Settings text: "Ramp", "Turbo", "Viridis", "Inferno" or "Grey" (any case, surrounding blanks
// ignored). Anything else is nullopt.
std::optional<WaterfallColours> ParseWaterfallColours(QStringView text);
QString WaterfallColoursText(WaterfallColours map);

} // namespace sky
