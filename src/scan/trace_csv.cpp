#include "scan/trace_csv.h"

#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace sky {

namespace {

// Room for any double in fixed notation: up to 309 integer digits, sign, point and decimals.
constexpr std::size_t kNumberRoom = 400;
// Rows are gathered into pieces of about this size before they go to the file.
constexpr qsizetype kPieceBytes = 1 << 20;

void appendNonFinite(QByteArray &out, double v) {
    if (std::isnan(v))
        out += "nan";
    else
        out += v > 0 ? "inf" : "-inf";
}

// The shortest text in fixed notation that reads back as the same value: a whole number has no
// point and no decimals.
void appendFrequency(QByteArray &out, double v) {
    if (!std::isfinite(v))
        return appendNonFinite(out, v);
    char buf[kNumberRoom];
    const auto r = std::to_chars(buf, buf + sizeof buf, v + 0.0, std::chars_format::fixed); // + 0.0: no "-0"
    out.append(buf, r.ptr - buf);
}

void appendLevel(QByteArray &out, double v) {
    if (!std::isfinite(v))
        return appendNonFinite(out, v);
    char buf[kNumberRoom];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    const std::size_t len = static_cast<std::size_t>(r.ptr - buf);
    if (len == 5 && std::memcmp(buf, "-0.00", 5) == 0) // a tiny negative level is 0.00, not -0.00
        out += "0.00";
    else
        out.append(buf, static_cast<qsizetype>(len));
}

// A header field as CSV wants it: quoted, with doubled quotes, when it holds a separator.
QByteArray csvField(const QString &text) {
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    return '"' + utf8.replace('"', "\"\"") + '"';
}

} // namespace

bool WriteTraceCsv(const QString &path, const double *hz, std::size_t n, const std::vector<TraceColumn> &columns,
                   QString &error) {
    const auto fail = [&](const QString &why) {
        error = QStringLiteral("Cannot save \"%1\": %2").arg(QDir::toNativeSeparators(path), why);
        if (!error.endsWith(u'.'))
            error += u'.';
        return false;
    };
    error.clear();
    if (path.isEmpty()) {
        error = QStringLiteral("Cannot save the trace: no file name given.");
        return false;
    }
    if (columns.empty())
        return fail(QStringLiteral("there is no level column to write."));
    if (n > 0 && !hz)
        return fail(QStringLiteral("there are no frequencies to write."));
    for (const TraceColumn &c : columns) {
        if (n > 0 && !c.values)
            return fail(QStringLiteral("the column \"%1\" has no levels.").arg(c.name));
    }

    // The reasons the system would give only vaguely, said plainly.
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("the folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(folder)));
    if (target.isDir())
        return fail(QStringLiteral("it is a folder."));
    // The temporary file goes beside the target, so the folder itself must take new files.
    if (!QFileInfo(folder).isWritable())
        return fail(
            QStringLiteral("no permission to write in the folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
    // The new file replaces the old one by a rename, which a write-protected file would not stop.
    if (target.exists() && !target.isWritable())
        return fail(QStringLiteral("the file is write-protected."));

    // Unbuffered: a full disk fails the write itself, not a flush the commit could miss. Until
    // the commit everything goes to a temporary file, which `file` removes if it is left uncommitted.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    const auto writePiece = [&](QByteArray &piece) {
        errno = 0;
        if (file.write(piece) != piece.size())
            return fail(WriteFailureReason(file, errno));
        piece.clear();
        return true;
    };

    QByteArray piece;
    piece.reserve(kPieceBytes + 4096);
    piece += "frequency_hz";
    for (const TraceColumn &c : columns)
        piece += ',' + csvField(c.name);
    piece += '\n';
    for (std::size_t i = 0; i < n; ++i) {
        appendFrequency(piece, hz[i]);
        for (const TraceColumn &c : columns) {
            piece += ',';
            appendLevel(piece, c.values[i]);
        }
        piece += '\n';
        if (piece.size() >= kPieceBytes && !writePiece(piece))
            return false;
    }
    if (!piece.isEmpty() && !writePiece(piece))
        return false;
    errno = 0;
    if (!SyncToDisk(file))
        return fail(WriteFailureReason(file, errno));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

QString DefaultTraceCsvName(const QDateTime &when) {
    if (!when.isValid())
        return QStringLiteral("trace.csv");
    return QStringLiteral("trace-") + when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".csv");
}

} // namespace sky
