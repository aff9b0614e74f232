#include "scan/sweep_split.h"

#include "scan/sweep_file.h"

#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

namespace sky {

namespace {

inline bool isBlank(char c) {
    return c >= 1 && c <= ' ';
}

// A line up to its first NUL character, which ends it for the reader too.
std::string_view untilNul(std::string_view line) {
    const auto nul = line.find('\0');
    return nul == std::string_view::npos ? line : line.substr(0, nul);
}

// Some field holds text: anything but blanks and commas.
bool hasText(std::string_view line) {
    for (const char c : line)
        if (!isBlank(c) && c != ',')
            return true;
    return false;
}

// The first three fields by the reader's splitting rules (missing ones are empty). Quoted fields
// are copied into `quoted`; the rest are views into the line.
struct Lead {
    std::string_view field[3];
    std::string quoted[3];
};

void readLead(std::string_view line, Lead &lead) {
    const char *p = line.data();
    const char *const end = p + line.size();
    while (p < end && isBlank(*p))
        ++p;
    for (int k = 0; k < 3; ++k) {
        lead.field[k] = {};
        if (p >= end)
            continue;
        if (*p == '"') {
            std::string &s = lead.quoted[k];
            s.clear();
            for (++p; p < end; ++p) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        s += '"';
                        ++p;
                        continue;
                    }
                    ++p;
                    break;
                }
                s += *p;
            }
            lead.field[k] = s;
        } else {
            const char *start = p;
            while (p < end && !isBlank(*p) && *p != ',')
                ++p;
            lead.field[k] = std::string_view(start, static_cast<std::size_t>(p - start));
        }
        while (p < end && isBlank(*p))
            ++p;
        if (p < end && *p == ',') {
            ++p;
            while (p < end && isBlank(*p))
                ++p;
        }
    }
}

std::optional<std::int64_t> startHz(std::string_view f) {
    std::int64_t v = 0;
    const char *b = f.data(), *e = b + f.size();
    if (b < e && *b == '+')
        ++b;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e)
        return std::nullopt;
    return v;
}

template <class T> bool readNumber(std::string_view s, T &v) {
    if (s.empty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> dateDays(std::string_view s) {
    int a = 0, b = 0, c = 0;
    std::string_view pa, pb, pc;
    char sep = 0;
    for (const char candidate : {'-', '/', '.'}) {
        const auto i = s.find(candidate);
        if (i == std::string_view::npos)
            continue;
        const auto j = s.find(candidate, i + 1);
        if (j == std::string_view::npos)
            return std::nullopt;
        pa = s.substr(0, i), pb = s.substr(i + 1, j - i - 1), pc = s.substr(j + 1);
        sep = candidate;
        break;
    }
    if (!sep || !readNumber(pa, a) || !readNumber(pb, b) || !readNumber(pc, c))
        return std::nullopt;
    int y = a, m = b, d = c; // YYYY-MM-DD
    if (pa.size() != 4)
        y = c, m = b, d = a; // DD/MM/YYYY
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    return daysFromCivil(y, m, d);
}

std::optional<double> timeSeconds(std::string_view s) {
    const auto i = s.find(':');
    const auto j = i == std::string_view::npos ? i : s.find(':', i + 1);
    if (j == std::string_view::npos)
        return std::nullopt;
    int h = 0, m = 0;
    double sec = 0;
    if (!readNumber(s.substr(0, i), h) || !readNumber(s.substr(i + 1, j - i - 1), m))
        return std::nullopt;
    const std::string_view ss = s.substr(j + 1);
    if (ss.empty() || ss.front() < '0' || ss.front() > '9' || !readNumber(ss, sec))
        return std::nullopt;
    if (h < 0 || h > 24 || m < 0 || m > 59 || !(sec >= 0 && sec < 61))
        return std::nullopt;
    return h * 3600.0 + m * 60.0 + sec;
}

} // namespace

SweepSplitter::Kind SweepSplitter::Line(std::string_view wholeLine) {
    const std::string_view line = untilNul(wholeLine);
    if (!hasText(line))
        return NoText;
    Lead current;
    readLead(line, current);
    const std::optional<std::int64_t> hz = startHz(current.field[2]);
    const bool sameStamp = current.field[0] == previousDate_ && current.field[1] == previousTime_;
    Kind kind = SameSweep;
    if (!inSweep_ || !sameStamp || (hz && havePreviousHz_ && *hz <= previousHz_)) {
        kind = NewSweep;
        inSweep_ = true;
        havePreviousHz_ = false;
    }
    previousDate_.assign(current.field[0]);
    previousTime_.assign(current.field[1]);
    if (hz) { // a line without a readable frequency leaves the comparison to the one before
        previousHz_ = *hz;
        havePreviousHz_ = true;
    }
    return kind;
}

void SplitSweeps(std::string_view text, std::vector<SweepSpan> &out) {
    out.clear();
    std::vector<std::string_view> lines;
    SplitSweepLines(text, lines);
    SweepSplitter split;
    const char *sweepStart = nullptr, *sweepEnd = nullptr;
    std::size_t sweepFirstLine = 0;
    auto close = [&] {
        if (sweepStart)
            out.push_back(
                {std::string_view(sweepStart, static_cast<std::size_t>(sweepEnd - sweepStart)), sweepFirstLine});
        sweepStart = nullptr;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const SweepSplitter::Kind kind = split.Line(lines[i]);
        if (kind == SweepSplitter::NoText)
            continue;
        if (kind == SweepSplitter::NewSweep) {
            close();
            sweepStart = lines[i].data();
            sweepFirstLine = i;
        }
        sweepEnd = lines[i].data() + lines[i].size();
    }
    close();
}

bool CaptureReader::Open(const QString &path, QString &why) {
    reader_.Close();
    split_ = SweepSplitter();
    waiting_.clear();
    haveWaiting_ = false;
    runLines_.clear();
    nextLine_ = 0;
    lineNumber_ = 0;
    lastCount_ = 0;
    if (!CaptureFileReadable(path, why))
        return false;
    if (!reader_.Open(path)) {
        why = QStringLiteral("cannot be read");
        return false;
    }
    return true;
}

bool CaptureReader::NextLine(std::string_view &line) {
    while (nextLine_ == runLines_.size()) {
        std::string_view run;
        if (!reader_.Next(run))
            return false;
        SplitSweepLines(run, runLines_);
        nextLine_ = 0;
        runStart_ = run.data();
    }
    line = runLines_[nextLine_++];
    lineOffset_ = reader_.RunOffset() + (line.data() - runStart_);
    return true;
}

bool CaptureReader::NextSweep(SweepParser *parser, SweepData *d, std::size_t &firstLine) {
    std::string_view line;
    if (haveWaiting_) {
        line = waiting_;
        lineOffset_ = waitingOffset_;
    } else {
        // Lines without text before a sweep belong to none.
        for (;;) {
            if (!NextLine(line))
                return false;
            ++lineNumber_;
            if (split_.Line(line) != SweepSplitter::NoText)
                break;
        }
    }
    firstLine = lineNumber_ - 1;
    if (parser) {
        // Room for as many values as the sweep before (sweeps of one capture are alike, some a
        // little longer), or for the rest of the file for its first, up to a few million values
        // (a long capture of small sweeps must not reserve the whole file's worth).
        constexpr qint64 kFirstSweepBytes = 32LL * 1024 * 1024;
        const qint64 bytes =
            lastCount_ > 0 ? lastCount_ * 9 + 512 : std::min(reader_.Size() - lineOffset_, kFirstSweepBytes);
        parser->Begin(*d, static_cast<std::size_t>(std::max<qint64>(bytes, 0)));
        parser->Line(line, *d);
    }
    haveWaiting_ = false;
    std::vector<std::string> blankLines; // since the sweep's last line: inside it if more of it follows
    while (NextLine(line)) {
        ++lineNumber_;
        const SweepSplitter::Kind kind = split_.Line(line);
        if (kind == SweepSplitter::NoText) {
            if (parser && !parser->Failed())
                blankLines.emplace_back(line);
            continue;
        }
        if (kind == SweepSplitter::NewSweep) {
            waiting_.assign(line);
            waitingOffset_ = lineOffset_;
            haveWaiting_ = true;
            break;
        }
        if (parser) {
            for (const std::string &b : blankLines)
                parser->Line(b, *d);
            parser->Line(line, *d);
        }
        blankLines.clear();
    }
    if (parser) {
        parser->End(*d);
        lastCount_ = static_cast<qint64>(d->PointCount());
    }
    return true;
}

qint64 CountCaptureSweeps(const QString &path) {
    CaptureReader reader;
    QString why;
    if (!reader.Open(path, why))
        return 0;
    qint64 n = 0;
    std::size_t first = 0;
    while (reader.NextSweep(nullptr, nullptr, first))
        ++n;
    return n;
}

std::vector<SweepSpan> SplitSweeps(std::string_view text) {
    std::vector<SweepSpan> out;
    SplitSweeps(text, out);
    return out;
}

std::optional<double> SweepTimeSeconds(std::string_view sweepText) {
    const auto nl = sweepText.find_first_of("\r\n");
    Lead lead;
    readLead(untilNul(sweepText.substr(0, nl)), lead);
    const auto days = dateDays(lead.field[0]);
    const auto secs = timeSeconds(lead.field[1]);
    if (!days || !secs)
        return std::nullopt;
    return static_cast<double>(*days) * 86400.0 + *secs;
}

bool CaptureFileReadable(const QString &name, QString &why) {
    const QFileInfo info(name);
    if (!info.exists()) {
        why = QStringLiteral("no such file");
        return false;
    }
    if (!info.isFile()) {
        why = QStringLiteral("not a file");
        return false;
    }
    if (info.size() > kMaxSweepFileBytes) {
        why = QStringLiteral("larger than any sweep file");
        return false;
    }
    return true;
}

bool ReadCaptureFile(const QString &name, QByteArray &bytes, QString &why) {
    if (!CaptureFileReadable(name, why))
        return false;
    if (!LoadSweepFile(name, bytes)) {
        why = QStringLiteral("cannot be read");
        return false;
    }
    return true;
}

// Why a sweep the window did not show failed, as "line N: reason" with N counted in the whole file.
QString SweepFailureText(const SweepSpan &span) { return SweepFailureText(ParseSweepFile(span.text), span.firstLine); }

QString SweepFailureText(const SweepData &d, std::size_t firstLine) {
    if (!d.ok) {
        const std::string &f = d.failure;
        const std::string marker = " on line ";
        const auto at = f.rfind(marker);
        if (at != std::string::npos) {
            std::size_t line = 0;
            const char *digits = f.data() + at + marker.size();
            std::from_chars(digits, f.data() + f.size(), line);
            return QStringLiteral("line %1: %2")
                .arg(firstLine + line)
                .arg(QString::fromStdString(f.substr(0, at)));
        }
        return QString::fromStdString(f);
    }
    if (d.valueCount == 0) // (the points may have been handed on: the count stays)
        return QStringLiteral("no value");
    return QStringLiteral("not shown");
}

QString FileKind(const QFileInfo &info) {
    if (!info.exists() && !info.isSymLink())
        return QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("a folder");
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("a broken link");
    if (info.isFile())
        return QStringLiteral("a file");
    return QStringLiteral("a FIFO, socket or device");
}

} // namespace sky
