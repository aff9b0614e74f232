#pragma once
// Saving a trace as a CSV file: one row per bin, its frequency and the levels of each column.
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <vector>

namespace sky {

struct TraceColumn {
    QString name;         // header text; quoted in the file when it holds a comma, quote or line break
    const double *values; // one level per bin
};

// Writes `path` as a header line "frequency_hz,<column names>" (the caller passes level_db
// first) and one row per bin: the frequency hz[i] in Hz, as a whole number when it is one and
// otherwise with the digits that read back as the same value, then each column's level with two
// decimals; NaN as "nan", infinities as "inf" and "-inf". Always '.' for the decimal point and
// "\n" for line ends, whatever the user's locale. At least one column is needed.
// The file appears whole or not at all: it is written to a temporary file that replaces `path`
// only once everything is on the disk, so a failure leaves an existing file as it was and no
// temporary file behind. On failure returns false with `error` saying which file and why.
bool WriteTraceCsv(const QString &path, const double *hz, std::size_t n, const std::vector<TraceColumn> &columns,
                   QString &error);

// The name offered for a trace saved at `when`: "trace-2026-12-08_10-15-30.csv" (a file name
// without ':' works on every system); "trace.csv" for an invalid time.
QString DefaultTraceCsvName(const QDateTime &when);

} // namespace sky
