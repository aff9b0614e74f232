#include "platform/numtext.h"

#include "platform/error.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <string>

namespace sky {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

std::optional<std::uint64_t> parseDigits(const QString &s, qsizetype pos, int base) {
    if (pos >= s.size())
        return std::nullopt;
    std::uint64_t v = 0;
    for (; pos < s.size(); ++pos) {
        const char16_t c = s[pos].unicode();
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return v;
}

} // namespace

std::optional<int> ParseInt(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    const auto digits = parseDigits(text, i, base);
    if (!digits)
        return std::nullopt;
    std::int64_t v;
    if (base == 16)
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(*digits));
    else {
        v = static_cast<std::int64_t>(*digits);
        if (v > (negative ? 2147483648LL : 2147483647LL))
            return std::nullopt;
    }
    if (negative)
        v = -v;
    return static_cast<int>(static_cast<std::int32_t>(v));
}

int ParseIntOr(const QString &text, int fallback) {
    const auto v = ParseInt(text);
    return v ? *v : fallback;
}

std::optional<double> ParseFloat(const QString &text) {
    const QByteArray raw = text.toLatin1();
    qsizetype b = 0, e = raw.size();
    while (b < e && (raw[b] == ' ' || raw[b] == '\t'))
        ++b;
    while (e > b && (raw[e - 1] == ' ' || raw[e - 1] == '\t'))
        --e;
    if (b == e)
        return std::nullopt;
    // Check the shape ourselves: from_chars would take "inf", "nan" and hex forms.
    qsizetype i = b;
    if (raw[i] == '+' || raw[i] == '-')
        ++i;
    const qsizetype mantissa = i;
    int digits = 0;
    while (i < e && raw[i] >= '0' && raw[i] <= '9')
        ++i, ++digits;
    if (i < e && raw[i] == '.') {
        ++i;
        while (i < e && raw[i] >= '0' && raw[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < e && (raw[i] == 'e' || raw[i] == 'E')) {
        ++i;
        if (i < e && (raw[i] == '+' || raw[i] == '-'))
            ++i;
        int expDigits = 0;
        while (i < e && raw[i] >= '0' && raw[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != e)
        return std::nullopt;
    double v = 0;
    const char *first = raw.constData() + mantissa;
    const auto res = std::from_chars(first, raw.constData() + e, v);
    if (res.ec == std::errc::result_out_of_range || !std::isfinite(v))
        return std::nullopt;
    if (res.ec != std::errc() || res.ptr != raw.constData() + e)
        return std::nullopt;
    return raw[b] == '-' ? -v : v;
}

double StrToFloat(const QString &text) {
    const auto v = ParseFloat(text);
    if (!v)
        throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return *v;
}

QString FloatToText(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    if (value == 0)
        return QStringLiteral("0");
    // Round to 15 significant digits first, then print that value in fixed notation. to_chars,
    // unlike printf, never follows the process locale (Qt sets it from the environment).
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    double rounded = value;
    std::from_chars(buf, r.ptr, rounded);
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    const int decimals = std::clamp(14 - exponent, 0, 340);
    std::string s(400, '\0');
    r = std::to_chars(s.data(), s.data() + s.size(), rounded, std::chars_format::fixed, decimals);
    s.resize(static_cast<size_t>(r.ptr - s.data()));
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace sky
