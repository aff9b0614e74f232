#pragma once
// Number-to-text formatting with picture formats such as "#,##0.###", used for axis labels,
// cursor readouts and series value formats.
#include <QString>

// Formats value with a picture format:
//   0  digit, always shown          #  digit, shown when significant
//   .  decimal point (always ".")   ,  in the integer part: group thousands with groupSeparator
//   E+ E- e+ e-  scientific notation; exponent digits from the 0s that follow
//   "text" 'text'  literal text; any other character is literal too
//   ;  separates the sections for positive;negative;zero values
// Digits are rounded half away from zero on the shortest decimal form of the value, so 2.0005
// with three decimals gives "2.001". Magnitudes of 1e18 and more fall back to the general
// format ("1E20"); NaN and infinities give "NAN", "INF", "-INF". An empty format gives the
// general format with 15 significant digits.
QString FormatFloat(const QString &format, double value, const QString &groupSeparator);

// The general format: up to 15 significant digits, "." decimal point, exponent form ("1.5E20",
// "1E-7") when the exponent is beyond the fixed-notation range.
QString FormatGeneral(double value);

// The thousands separator of the user's locale (the only locale-dependent part of number text).
QString LocaleGroupSeparator();
