#pragma once
// Splitting a capture of many sweeps (rtl_power run with -i and without -1, or a sweep log) into
// its sweeps, each of which reads like one sweep file.
#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include "scan/sweep_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

namespace sky {

struct SweepSpan {
    std::string_view text;     // the sweep's lines, a view into the capture (no line break at the end)
    std::size_t firstLine = 0; // 0-based number of its first line in the capture
};

// A new sweep starts where the time stamp (fields 0 and 1) changes or where a hop's start
// frequency (field 2) does not rise above the previous line's. Lines with no text in any field
// (empty, blank or only commas, as spreadsheets leave between sweeps) belong to no sweep when
// they lie between sweeps; inside a sweep they stay, and its ingest refuses them. `out` is
// cleared first.
void SplitSweeps(std::string_view text, std::vector<SweepSpan> &out);
std::vector<SweepSpan> SplitSweeps(std::string_view text);

// The same rules a line at a time: whether a line has no text, goes on the sweep before or
// starts a new one.
class SweepSplitter {
public:
    enum Kind { NoText, SameSweep, NewSweep };
    Kind Line(std::string_view line);

private:
    std::string previousDate_, previousTime_; // of the last line with text
    std::int64_t previousHz_ = 0;
    bool havePreviousHz_ = false, inSweep_ = false;
};

// Reads a capture's sweeps one after another a piece of the file at a time, never holding its
// whole text: each sweep reads as the text SplitSweeps gives for it would.
class CaptureReader {
public:
    explicit CaptureReader(std::size_t pieceBytes = 256 * 1024) : reader_(pieceBytes) {}
    // Checks and words as ReadCaptureFile's.
    bool Open(const QString &path, QString &why);
    // Reads the next sweep into d through `parser` (Begin to End; with no parser the sweep is
    // only passed over) and gives the 0-based number of its first line in the file. False when
    // no sweep is left.
    bool NextSweep(SweepParser *parser, SweepData *d, std::size_t &firstLine);

private:
    bool NextLine(std::string_view &line);
    LineRunReader reader_;
    SweepSplitter split_;
    std::vector<std::string_view> runLines_;
    std::size_t nextLine_ = 0, lineNumber_ = 0;
    const char *runStart_ = nullptr;
    qint64 lineOffset_ = 0; // where the line last read begins in the file
    std::string waiting_;   // the line that starts the next sweep, read with the one before
    qint64 waitingOffset_ = 0;
    bool haveWaiting_ = false;
    qint64 lastCount_ = 0; // values of the sweep before
};

// How many sweeps a capture file holds (0 when it cannot be read).
qint64 CountCaptureSweeps(const QString &path);

// The time of a sweep's first line in seconds since 1970-01-01 (time stamps carry no zone:
// only differences mean anything). Dates as "YYYY-MM-DD" or, as spreadsheets write them back,
// "DD/MM/YYYY"; times as "HH:MM:SS" with optional fraction. Empty when unreadable.
std::optional<double> SweepTimeSeconds(std::string_view sweepText);

// Reads a capture file whole; on failure says why in words ("no such file", "not a file",
// "larger than any sweep file", "cannot be read").
bool ReadCaptureFile(const QString &path, QByteArray &bytes, QString &why);
// ReadCaptureFile's checks without the reading.
bool CaptureFileReadable(const QString &path, QString &why);

// Why a sweep of a capture could not be shown: "line N: <the reader's reason>" with N counted
// in the whole file, "no value", or "not shown".
QString SweepFailureText(const SweepSpan &span);
// The same for a sweep read (into d) from line `firstLine` of its capture on.
QString SweepFailureText(const SweepData &d, std::size_t firstLine);

// What is at `info` in words: "a file", "a folder", "a FIFO, socket or device", "a broken
// link", "no such file".
QString FileKind(const QFileInfo &info);

} // namespace sky
