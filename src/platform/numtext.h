#pragma once
// Number <-> text in the C locale, whatever the user's locale says.
#include <QString>
#include <optional>

namespace sky {

// Integer as the settings file holds it: leading blanks, an optional sign, decimal digits or a
// hexadecimal form after "$" or "0x"; nothing may follow. Values beyond 32 bits are refused;
// hexadecimal up to $FFFFFFFF wraps into the negative range as a 32-bit pattern.
std::optional<int> ParseInt(const QString &text);
int ParseIntOr(const QString &text, int fallback);

// Floating-point text with "." as the only decimal point; blanks around the number, a sign and an
// exponent are allowed; thousands separators, "inf" and "nan" are not.
std::optional<double> ParseFloat(const QString &text);

// Same, but raises sky::Error "'<text>' is not a valid floating point value" on failure.
double StrToFloat(const QString &text);

// Shortest text with at most 15 significant digits, "." as decimal point, never an exponent
// (433.92 * 1e6 gives "433920000", 0.1 + 0.2 gives "0.3").
QString FloatToText(double value);

} // namespace sky
