#include "scan/receiver_options.h"

#include <QLocale>

#include <cmath>

namespace sky {

namespace {

std::optional<QString> refuse(QString *error, const QString &why) {
    if (error)
        *error = why;
    return std::nullopt;
}

// A plain decimal number: digits with at most one point ("10", "0.5", ".5", "2."), no sign, no
// exponent, no blanks. Returns its value, or nothing.
std::optional<double> plainNumber(QStringView text) {
    int digits = 0, points = 0;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double v = text.toDouble(&ok); // locale-independent: always a '.'
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The number written back in its shortest form that reads as the same value, without exponent
// and without leading or trailing zeros.
QString plainText(double v) {
    return QString::number(v, 'f', QLocale::FloatingPointShortest);
}

} // namespace

std::optional<QString> ValidateInterval(const QString &text, QString *error) {
    return IntervalText(text, nullptr, error);
}

double IntervalSeconds(const QString &text) {
    double seconds = 0;
    return IntervalText(text, &seconds) ? seconds : 0;
}

std::optional<QString> IntervalText(const QString &text, double *secondsOut, QString *error) {
    const QString usage = QStringLiteral("The interval must be a number of seconds from 0.5 to 86400, or of minutes "
                                         "or hours with the unit right after it: e.g. 0.5s, 10, 1m, 2h.");
    if (text.isEmpty())
        return refuse(error, QStringLiteral("No interval given. ") + usage);
    QStringView number(text);
    double unit = 1;
    QString suffix;
    switch (text.back().unicode()) {
    case u's':
        suffix = QStringLiteral("s");
        break;
    case u'm':
        unit = 60;
        suffix = QStringLiteral("m");
        break;
    case u'h':
        unit = 3600;
        suffix = QStringLiteral("h");
        break;
    default:
        break;
    }
    if (!suffix.isEmpty())
        number.chop(1);
    const std::optional<double> v = plainNumber(number);
    if (!v)
        return refuse(error, QStringLiteral("\"%1\" is not an interval. ").arg(text) + usage);
    const double seconds = *v * unit;
    // The tool rounds to whole seconds: below 0.5 s it would get an interval of 0.
    if (seconds < 0.5)
        return refuse(error, QStringLiteral("The interval \"%1\" is shorter than 0.5 seconds. ").arg(text) + usage);
    if (seconds > 24 * 3600)
        return refuse(error, QStringLiteral("The interval \"%1\" is longer than 24 hours. ").arg(text) + usage);
    if (secondsOut)
        *secondsOut = seconds;
    return plainText(*v) + suffix;
}

std::optional<QString> ValidateCrop(const QString &text, QString *error) {
    if (text.isEmpty())
        return QString();
    const QString usage =
        QStringLiteral("The crop must be a percentage from 0 to 50, e.g. 20 or 20%, or empty for none.");
    QStringView number(text);
    if (number.endsWith(u'%'))
        number.chop(1);
    const std::optional<double> v = plainNumber(number);
    if (!v)
        return refuse(error, QStringLiteral("\"%1\" is not a crop. ").arg(text) + usage);
    if (*v > 50)
        return refuse(error, QStringLiteral("The crop \"%1\" is more than 50%. ").arg(text) + usage);
    return plainText(*v) + u'%';
}

std::optional<QString> ValidateWindow(const QString &text, QString *error) {
    const QStringList windows = FftWindows();
    for (const QString &w : windows) {
        if (text.compare(w, Qt::CaseInsensitive) == 0)
            return w;
    }
    return refuse(error, QStringLiteral("\"%1\" is not an FFT window. The windows are: %2.")
                             .arg(text, windows.join(QStringLiteral(", "))));
}

QStringList FftWindows() {
    return {QStringLiteral("rectangle"),       QStringLiteral("hamming"),      QStringLiteral("blackman"),
            QStringLiteral("blackman-harris"), QStringLiteral("hann-poisson"), QStringLiteral("youssef"),
            QStringLiteral("kaiser"),          QStringLiteral("bartlett")};
}

} // namespace sky
