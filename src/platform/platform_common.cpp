// The parts of the platform layer that are the same everywhere.
#include "platform/platform.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTime>

#include <cstring>

#include <chrono>

namespace sky {

std::uint32_t TickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

QString PluginsDirFor(const QString &executablePath) {
    const QString dir = QFileInfo(executablePath).absolutePath();
    return QDir::cleanPath(dir + QStringLiteral("/plugins")) + QLatin1Char('/');
}

QString TimeStampName() {
    // Drop the time-zone designators ("t", "tt", "ttt", "tttt") with the blanks before them.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    QString text = QLocale::system().toString(QTime::currentTime(), format.trimmed());
    text.replace(QLatin1Char(':'), QLatin1Char('-'));
    return text;
}

QStringList SplitCommandLine(const QString &parameters) {
    QStringList args;
    QString cur;
    bool inArg = false, quoted = false;
    const qsizetype n = parameters.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = parameters[i];
        if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArg) {
                args << cur;
                cur.clear();
                inArg = false;
            }
            ++i;
            continue;
        }
        inArg = true;
        if (c == u'\\') {
            qsizetype slashes = 0;
            while (i < n && parameters[i] == u'\\')
                ++slashes, ++i;
            if (i < n && parameters[i] == u'"') {
                cur += QString(slashes / 2, u'\\');
                if (slashes % 2) {
                    cur += u'"';
                    ++i;
                }
            } else {
                cur += QString(slashes, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < n && parameters[i + 1] == u'"') {
                cur += u'"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        cur += c;
        ++i;
    }
    if (inArg)
        args << cur;
    return args;
}

QString FindSweepTool(const QString &pluginsDir, const QString &overridePath) {
    if (!overridePath.isEmpty())
        return overridePath;
    const QString name = SweepToolFileName();
    const QFileInfo local(QDir(pluginsDir).filePath(name));
    if (local.isFile() && local.isExecutable())
        return local.absoluteFilePath();
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? name : onPath;
}

QString WriteFailureReason(const QFileDevice &file, int savedErrno) {
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (savedErrno != 0)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QStringLiteral("the disk took only part of it");
}

} // namespace sky
