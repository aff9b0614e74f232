#pragma once
// settings.ini: key=value lines held in memory and rewritten whole on every change.
#include <QString>
#include <QStringList>

namespace sky {

class SettingsFile {
public:
    explicit SettingsFile(QString path) : path_(std::move(path)) {}

    // The fifteen lines a first start writes.
    static QStringList DefaultLines();

    // Writes the default contents when no file exists at the path yet; raises sky::Error
    // "Cannot create file ..." when that fails.
    void CreateDefaultIfMissing() const;
    // Reads the whole file (CR LF, lone CR and lone LF all end a line); raises sky::Error
    // "Cannot open file ..." when the file cannot be read or is not a plain file.
    void Load();
    // Writes every line followed by CR LF. The file is replaced atomically: a failed write
    // (a full disk too) leaves the old file as it was. Raises sky::Error "Cannot create file ...".
    void Save() const;
    // Removes the temporary files of saves that were killed half-way ("settings.ini.XXXXXX"
    // beside `path`); returns how many.
    static int RemoveStaleTemporaries(const QString &path);
    // Larger files are refused unread.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // Value of the first line whose key (text before the first "=") matches, ignoring letter
    // case; empty when there is none.
    QString Value(const QString &key) const;
    // A non-empty value replaces the first matching line (spelled as `key` is) or is appended;
    // an empty value deletes the first matching line. Does not save.
    void SetValue(const QString &key, const QString &value);
    // Like SetValue, but an empty value is written as "key=" instead of deleting the line (a
    // choice whose empty value means something, such as an uncompressed recording's "Codec=").
    void SetValueKeepingKey(const QString &key, const QString &value);
    // Whether a line with this key exists (its value may be empty).
    bool HasKey(const QString &key) const { return indexOf(key) >= 0; }

    const QStringList &Lines() const { return lines_; }
    void SetLines(const QStringList &lines) { lines_ = lines; }
    // A read-only settings list never writes its file (Save does nothing).
    void SetReadOnly(bool on) { readOnly_ = on; }
    const QString &Path() const { return path_; }

private:
    qsizetype indexOf(const QString &key) const;
    static void writeText(const QString &path, const QStringList &lines, bool latin1);

    QString path_;
    QStringList lines_;
    bool readOnly_ = false;
    bool latin1_ = false; // the file was not UTF-8: written back byte for byte
};

} // namespace sky
