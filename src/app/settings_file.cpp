#include "app/settings_file.h"

#include "app/settings_keys.h"

#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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
    writeText(path_, DefaultLines(), false);
}

void SettingsFile::Load() {
    // Only a plain file is read: a FIFO would block for good, a link to a device never end.
    const QFileInfo info(path_);
    if (info.exists() && !info.isFile())
        throw Error(QStringLiteral("Cannot open file \"%1\". Not a regular file").arg(path_));
    if (info.size() > kMaxBytes)
        throw Error(QStringLiteral("Cannot open file \"%1\". File too large").arg(path_));
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\". %2").arg(path_, f.errorString()));
    const QByteArray bytes = f.read(kMaxBytes);
    // UTF-8 as this platform writes it; a file that is not valid UTF-8 is taken byte for byte,
    // and written back the same way, so lines the program does not own keep their bytes.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    latin1_ = utf8.hasError();
    if (latin1_)
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
        writeText(path_, lines_, latin1_);
}

int SettingsFile::RemoveStaleTemporaries(const QString &path) {
    // A save killed half-way leaves its temporary file: the name plus a dot and six characters.
    const QFileInfo target(path);
    const QRegularExpression name(QStringLiteral("^%1\\.[A-Za-z0-9]{6}$").arg(QRegularExpression::escape(target.fileName())));
    int removed = 0;
    const QDir dir = target.absoluteDir();
    for (const QFileInfo &f : dir.entryInfoList({target.fileName() + QStringLiteral(".*")}, QDir::Files | QDir::Hidden)) {
        if (!f.isSymLink() && name.match(f.fileName()).hasMatch() && QFile::remove(f.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

void SettingsFile::writeText(const QString &path, const QStringList &lines, bool latin1) {
    QByteArray out;
    for (const QString &l : lines) {
        out += latin1 ? l.toLatin1() : l.toUtf8();
        out += "\r\n";
    }
    // The file is replaced by renaming a finished temporary file over it, so a write-protected
    // file must be refused here as a direct write would be.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isWritable())
        throw Error(QStringLiteral("Cannot create file \"%1\". Permission denied").arg(path));
    // Unbuffered: a full disk fails the write itself, which a buffered write would only find
    // in a final flush whose failure the commit could miss, replacing the file with an empty one.
    // A save that fails leaves the old file; its temporary file goes with `f`.
    QSaveFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && f.write(out) == out.size() && f.commit();
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
