#pragma once
// Reading one sweep file of the sweep tool: lines of comma-separated fields, one line per hop:
// date, time, Hz low, Hz high, Hz step, samples, then one level in dB per bin.
#include "platform/frequency_runs.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sky {

// Splits one line into fields: blanks and control characters (codes 1 to 32) around fields are
// skipped and also end an unquoted field; a field starting with a double quote runs to the
// matching quote (a doubled quote stands for one); a comma that ends the line adds one empty
// field. A NUL character ends the line. `storage` keeps unquoted copies alive for the views.
void SplitSweepFields(std::string_view line, std::vector<std::string_view> &fields, std::deque<std::string> &storage);

// Splits a file into lines; CR LF, lone CR and lone LF each end a line, a final line break adds
// no empty line.
void SplitSweepLines(std::string_view text, std::vector<std::string_view> &lines);

// True for the texts C runtimes print for minus infinity with two decimals.
bool IsMinusInfinityText(std::string_view field);

struct SweepData {
    bool ok = false;                // the whole file was read
    std::vector<double> x, y;       // points in file order (frequency in Hz, level in dB)
    // While `compact` is set the points are held in an eighth of the memory, instead of x and y:
    // the frequencies as the runs of their hops (xr, with xOffset added, see
    // platform/frequency_runs.h) and the levels as whole hundredths of a dB (yh, see
    // platform/hundredths.h). A reader asked for compact points keeps them so while every level
    // read is exactly some hundredths, and spells them out into x and y at the first that is not.
    std::vector<FrequencyRun> xr;
    std::vector<std::int16_t> yh;
    double xOffset = 0;
    bool compact = false;
    // x was read never falling (set by the reader, which alone fills x; false: not known). The
    // ordering then has nothing to do.
    bool ascending = false;
    std::int64_t valueCount = 0;    // value fields read
    std::string lastStepText;       // field 4 of the last line
    std::string failure;            // why reading stopped, for diagnostics

    std::size_t PointCount() const { return compact ? yh.size() : x.size(); }
    // Frequency i, in either form.
    double Frequency(std::size_t i) const;
    // Appends bin k of a hop from `low` in `step`s, at `level`, to whichever form holds them
    // (bin 0 of each hop first); the compact one where the level is known to be hundredths h.
    void PushPoint(double low, double step, std::size_t k, double level);
    void PushCompactPoint(double low, double step, std::size_t k, std::int16_t h);
    // Turns compact points into x and y (nothing to do otherwise).
    void SpellOut();
    // Keeps the first n points.
    void KeepPoints(std::size_t n);
    // The frequencies held as runs, read by index (compact only).
    FrequencyRunReader Frequencies() const { return FrequencyRunReader(xr.data(), xr.size(), yh.size(), xOffset); }
};

// Reads all lines, into x and y. On failure `ok` is false and x/y hold the points read before the failure.
// A line whose first level is minus infinity gives that bin the lowest finite level of the
// line; a line with no finite level fails like a value that is not a number.
SweepData ParseSweepFile(std::string_view text);
// The same into `out`, reusing its buffers (a window reads a sweep of the same size every second).
void ParseSweepFile(std::string_view text, SweepData &out);
// With singlePass off every line goes through SplitSweepFields first; both ways give the same
// result (the single pass is only faster), which the tests check on random input.
void ParseSweepFileLines(std::string_view text, SweepData &out, bool singlePass);

// Reads a sweep a line (or a run of whole lines) at a time, so that a file can be read in
// pieces without holding its text: any cut between lines gives what ParseSweepFile gives for the
// whole text. Begin, then Line or Lines until one returns false (the failure is in d.failure and
// later lines are passed over), then End.
class SweepParser {
public:
    explicit SweepParser(bool singlePass = true) : singlePass_(singlePass) {}
    // Whether Begin asks for compact points where they can be (see SweepData::compact): an
    // eighth of the memory for rtl_power's sweeps. Off: always doubles in x and y.
    void SetCompactPoints(bool on) { compactPoints_ = on; }
    // Empties d; room is made for the values of about `textBytes` bytes of text.
    void Begin(SweepData &d, std::size_t textBytes);
    bool Line(std::string_view line, SweepData &d);
    bool Lines(std::string_view text, SweepData &d); // split as SplitSweepLines splits
    void End(SweepData &d);                          // d.ok when no line failed
    void Parse(std::string_view text, SweepData &d); // a whole text: Begin, Lines, End
    bool Failed() const { return failed_; }

private:
    // Takes the points added since the last call (all from one line, so in step order: they
    // rise or fall throughout) into d.ascending.
    void NoteOrder(SweepData &d);
    bool singlePass_;
    bool compactPoints_ = false;
    bool failed_ = false;
    std::size_t ordered_ = 0; // points taken into d.ascending so far
    std::size_t line_ = 0; // lines read, for the failure's line number
    std::vector<std::string_view> lines_, fields_;
    std::deque<std::string> storage_;
};

// Reads a file a run of whole lines at a time through one reused buffer, so that a sweep's text
// is never held whole. A CR that ends what has been read so far waits for the next read, which
// may begin with its LF. The last run may lack its line break. The file is read as long as it
// was when opened; a read that fails ends it there (what was read is kept, as LoadSweepFile
// keeps it).
class LineRunReader {
public:
    explicit LineRunReader(std::size_t pieceBytes = 256 * 1024) : piece_(pieceBytes < 16 ? 16 : pieceBytes) {}
    bool Open(const QString &path); // false when it cannot be opened for reading
    void Close();                   // before the end (it closes itself there)
    // The next run; false once the file is read. A run is valid until the next call.
    bool Next(std::string_view &run);
    qint64 Size() const { return size_; } // when opened
    qint64 Unread() const;                // bytes not yet handed out in a run
    qint64 RunOffset() const { return runOffset_; } // where the last run began in the file
    // After the end: whether the file's last byte ended a line (or the file was empty).
    bool EndedWithLineBreak() const { return read_ == 0 || lastByte_ == '\n' || lastByte_ == '\r'; }

private:
    QFile file_;
    std::size_t piece_;
    std::vector<char> buffer_;
    std::size_t have_ = 0, cut_ = 0; // bytes in buffer_; the first cut_ were handed out
    qint64 size_ = 0, handedOut_ = 0, runOffset_ = 0, read_ = 0;
    bool end_ = false;
    char lastByte_ = 0;
};

// Reads a sweep file into d through `reader` and `parser` (both reused from sweep to sweep), a
// run of lines at a time. False, with d left alone, when the file cannot be opened or is larger
// than any sweep file (as LoadSweepFile); a read that stops early keeps what was read.
bool ReadSweepFile(const QString &path, LineRunReader &reader, SweepParser &parser, SweepData &d);

// Sweeps larger than this are refused rather than read: far beyond any real sweep, and enough
// to keep memory bounded whatever file turns up.
inline constexpr std::int64_t kMaxSweepValues = 50'000'000;

// Sweep files larger than this are deleted unread.
inline constexpr qint64 kMaxSweepFileBytes = 512LL * 1024 * 1024;

// Reads a whole sweep file into `buffer`, reusing its memory (one buffer serves every sweep, so
// no fresh memory is faulted in each second). False when the file cannot be opened or is larger
// than any sweep file; a read that stops early keeps what was read.
bool LoadSweepFile(const QString &path, QByteArray &buffer);

} // namespace sky
