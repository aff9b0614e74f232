#include "app/settings_file.h"

#include "app/settings_keys.h"

#include "platform/error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace sky {

QStringList SettingsFile::DefaultLines() {
    const auto line = [](const QString &key, const char *value) { return key + QLatin1Char('=') + QLatin1String(value); };
    return {
        line(key::DongleNumber, "0"),
        line(key::FreqMinHz, "430000000"),
        line(key::FreqMaxHz, "470000000"),
        line(key::FreqStep, "50k"),
        line(key::GainLevel, "12.5"),
        line(key::Ppm, "0"),
        line(key::ChartPoint, "1"),
        line(key::ChartScale, "1"),
        line(key::ChartMax, "1"),
        line(key::ChartColor, "255"),
        line(key::WaterfallColorStart, "8388608"),
        line(key::WaterfallColorEnd, "65280"),
        line(key::Codec, "cvid"),
        line(key::Developer, "The Skyvane developers"),
        line(key::HomePage, "https://skyvane.invalid/"),
    };
}

void SettingsFile::CreateDefaultIfMissing() const {
    if (QFileInfo::exists(path_))
        return;
    writeText(path_, DefaultLines());
}

void SettingsFile::Load() {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\". %2").arg(path_, f.errorString()));
    const QByteArray bytes = f.readAll();
    // UTF-8 as this platform writes it; a file that is not valid UTF-8 is taken byte for byte.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    lines_.clear();
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines_ << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines_ << text.mid(start);
}

void SettingsFile::Save() const {
    if (!readOnly_)
        writeText(path_, lines_);
}

void SettingsFile::writeText(const QString &path, const QStringList &lines) {
    QByteArray out;
    for (const QString &l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    // The file is replaced by renaming a finished temporary file over it, so a write-protected
    // file must be refused here as a direct write would be.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isWritable())
        throw Error(QStringLiteral("Cannot create file \"%1\". Permission denied").arg(path));
    QSaveFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(out) == out.size() && f.commit();
    if (!ok)
        throw Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, f.errorString()));
}

qsizetype SettingsFile::indexOf(const QString &key) const {
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const qsizetype eq = lines_[i].indexOf(u'=');
        if (eq >= 0 && QStringView(lines_[i]).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString SettingsFile::Value(const QString &key) const {
    const qsizetype i = indexOf(key);
    return i < 0 ? QString() : lines_[i].mid(lines_[i].indexOf(u'=') + 1);
}

void SettingsFile::SetValue(const QString &key, const QString &value) {
    if (value.isEmpty()) {
        if (const qsizetype i = indexOf(key); i >= 0)
            lines_.removeAt(i);
        return;
    }
    SetValueKeepingKey(key, value);
}

void SettingsFile::SetValueKeepingKey(const QString &key, const QString &value) {
    const qsizetype i = indexOf(key);
    const QString line = key + u'=' + value;
    if (i >= 0)
        lines_[i] = line;
    else
        lines_ << line;
}

} // namespace sky
