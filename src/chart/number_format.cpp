#include "chart/number_format.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

namespace {

// Decimal digits of a finite, non-negative value: value = 0.digits x 10^exponent.
// digits has no leading zeros; empty digits means zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double v)
{
    Decimal d;
    if (v == 0) return d;
    char buf[64];
    // Shortest form that reads back to the same double, in scientific notation: d.ddddde±x.
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string s(buf, res.ptr);
    const auto e = s.find('e');
    std::string mant = s.substr(0, e);
    const int exp10 = std::stoi(s.substr(e + 1));
    for (char c : mant)
        if (c >= '0' && c <= '9') d.digits.push_back(c);
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// Keeps `keep` digits (counted from the first), rounding half away from zero.
void RoundDigits(Decimal &d, int keep)
{
    if (keep < 0) { d.digits.clear(); return; }
    if (static_cast<int>(d.digits.size()) <= keep) return;
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') { d.digits[i] = '0'; --i; }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[i];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// One section of a picture format, parsed.
struct Section {
    QString prefix, suffix;      // literal text before the first and after the last placeholder
    int intZeros = 0;            // minimum integer digits
    bool thousands = false;
    int minDecimals = 0, maxDecimals = 0;
    bool scientific = false;
    bool expPlus = false;        // "E+": always show the exponent sign
    QChar expChar = u'E';
    int expDigits = 0;
};

Section ParseSection(const QString &f)
{
    Section s;
    bool seenPlaceholder = false, inFraction = false, inExponent = false;
    QString pending; // literal text seen since the last placeholder
    int firstZero = -1, intCount = 0;
    int lastFracZero = 0, fracCount = 0;
    for (int i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u'"' || c == u'\'') {
            const int end = f.indexOf(c, i + 1);
            const QString lit = f.mid(i + 1, end < 0 ? -1 : end - i - 1);
            (seenPlaceholder ? pending : s.prefix) += lit;
            if (end < 0) break;
            i = end;
            continue;
        }
        if (inExponent) {
            if (c == u'0') { ++s.expDigits; continue; }
            inExponent = false;
        }
        if (c == u'0' || c == u'#') {
            seenPlaceholder = true;
            pending.clear();
            if (inFraction) {
                ++fracCount;
                if (c == u'0') lastFracZero = fracCount;
            } else {
                if (c == u'0' && firstZero < 0) firstZero = intCount;
                ++intCount;
            }
            continue;
        }
        if (c == u'.' && !inFraction && !s.scientific) {
            inFraction = true;
            seenPlaceholder = true;
            pending.clear();
            continue;
        }
        if (c == u',' && !inFraction && !s.scientific) {
            s.thousands = true;
            continue;
        }
        if ((c == u'E' || c == u'e') && seenPlaceholder && i + 1 < f.size() &&
            (f[i + 1] == u'+' || f[i + 1] == u'-')) {
            s.scientific = true;
            s.expChar = c;
            s.expPlus = f[i + 1] == u'+';
            inExponent = true;
            pending.clear();
            ++i;
            continue;
        }
        (seenPlaceholder ? pending : s.prefix) += c;
    }
    s.suffix = pending;
    s.intZeros = firstZero < 0 ? 0 : intCount - firstZero;
    s.minDecimals = lastFracZero;
    s.maxDecimals = fracCount;
    return s;
}

QString GroupDigits(const QString &digits, const QString &sep)
{
    QString out;
    const int n = digits.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += sep;
        out += digits[i];
    }
    return out;
}

// Formats |value| by one section; sets isZero when the rounded result is zero.
QString FormatAbs(const Section &s, double value, const QString &sep, bool &isZero)
{
    Decimal d = ToDecimal(std::fabs(value));
    if (s.scientific) {
        const int intDigits = std::max(1, s.intZeros);
        RoundDigits(d, intDigits + s.maxDecimals);
        const int exp = d.digits.empty() ? 0 : d.exponent - intDigits;
        isZero = d.digits.empty();
        std::string all = d.digits;
        all.resize(std::max<size_t>(all.size(), intDigits), '0');
        QString intPart = QString::fromStdString(all.substr(0, intDigits));
        QString frac = QString::fromStdString(all.substr(intDigits));
        while (frac.size() > s.maxDecimals) frac.chop(1);
        while (frac.size() < s.minDecimals) frac += u'0';
        while (frac.size() > s.minDecimals && frac.endsWith(u'0')) frac.chop(1);
        QString out = intPart;
        if (!frac.isEmpty()) out += u'.' + frac;
        out += s.expChar;
        if (exp < 0) out += u'-';
        else if (s.expPlus) out += u'+';
        QString e = QString::number(std::abs(exp));
        while (e.size() < s.expDigits) e.prepend(u'0');
        return out + e;
    }
    RoundDigits(d, d.exponent + s.maxDecimals);
    isZero = d.digits.empty();
    QString intPart, frac;
    if (!d.digits.empty()) {
        const int n = static_cast<int>(d.digits.size());
        for (int i = 0; i < d.exponent; ++i) intPart += QChar(i < n ? d.digits[i] : '0');
        for (int i = d.exponent; i < n; ++i) frac += QChar(i < 0 ? '0' : d.digits[i]); // zeros of a value below 0.1 first
    }
    while (intPart.size() < s.intZeros) intPart.prepend(u'0');
    while (frac.size() < s.minDecimals) frac += u'0';
    if (s.thousands) intPart = GroupDigits(intPart, sep);
    QString out = intPart;
    if (!frac.isEmpty()) out += u'.' + frac;
    return out;
}

QStringList SplitSections(const QString &format)
{
    QStringList parts;
    QString cur;
    QChar quote;
    for (QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            cur += c;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
            cur += c;
        } else if (c == u';') {
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

} // namespace

QString FormatGeneral(double value)
{
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    Decimal d = ToDecimal(std::fabs(value));
    RoundDigits(d, 15);
    if (d.digits.empty()) return QStringLiteral("0");
    QString out = value < 0 ? QStringLiteral("-") : QString();
    const QString digits = QString::fromStdString(d.digits);
    if (d.exponent > 15 || d.exponent < -4) {
        out += digits.left(1);
        if (digits.size() > 1) out += u'.' + digits.mid(1);
        out += u'E' + QString::number(d.exponent - 1);
        return out;
    }
    if (d.exponent <= 0) return out + QStringLiteral("0.") + QString(-d.exponent, u'0') + digits;
    if (digits.size() <= d.exponent) return out + digits + QString(d.exponent - digits.size(), u'0');
    return out + digits.left(d.exponent) + u'.' + digits.mid(d.exponent);
}

QString FormatFloat(const QString &format, double value, const QString &groupSeparator)
{
    if (std::isnan(value) || std::isinf(value) || std::fabs(value) >= 1e18 || format.isEmpty())
        return FormatGeneral(value);
    const QStringList sections = SplitSections(format);
    const Section pos = ParseSection(sections[0]);
    bool isZero = false;
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty()) {
        const Section neg = ParseSection(sections[1]);
        const QString body = FormatAbs(neg, value, groupSeparator, isZero);
        if (!isZero) return neg.prefix + body + neg.suffix;
    }
    const QString body = FormatAbs(pos, value, groupSeparator, isZero);
    if (isZero && sections.size() >= 3 && !sections[2].isEmpty()) {
        const Section zero = ParseSection(sections[2]);
        bool z = false;
        return zero.prefix + FormatAbs(zero, 0.0, groupSeparator, z) + zero.suffix;
    }
    const QString sign = (value < 0 && !isZero) ? QStringLiteral("-") : QString();
    return sign + pos.prefix + body + pos.suffix;
}

QString LocaleGroupSeparator()
{
    return QLocale::system().groupSeparator();
}
