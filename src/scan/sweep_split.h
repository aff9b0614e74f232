#pragma once
// Splitting a capture of many sweeps (rtl_power run with -i and without -1, or a sweep log) into
// its sweeps, each of which reads like one sweep file.
#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <cstddef>
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

// The time of a sweep's first line in seconds since 1970-01-01 (time stamps carry no zone:
// only differences mean anything). Dates as "YYYY-MM-DD" or, as spreadsheets write them back,
// "DD/MM/YYYY"; times as "HH:MM:SS" with optional fraction. Empty when unreadable.
std::optional<double> SweepTimeSeconds(std::string_view sweepText);

// Reads a capture file whole; on failure says why in words ("no such file", "not a file",
// "larger than any sweep file", "cannot be read").
bool ReadCaptureFile(const QString &path, QByteArray &bytes, QString &why);

// Why a sweep of a capture could not be shown: "line N: <the reader's reason>" with N counted
// in the whole file, "no value", or "not shown".
QString SweepFailureText(const SweepSpan &span);

// What is at `info` in words: "a file", "a folder", "a FIFO, socket or device", "a broken
// link", "no such file".
QString FileKind(const QFileInfo &info);

} // namespace sky
