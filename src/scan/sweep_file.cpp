#include "scan/sweep_file.h"

#include "platform/hundredths.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace sky {

namespace {

inline bool isBlank(char c) { return c >= 1 && c <= ' '; }

std::optional<std::int64_t> toInteger(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$')
        base = 16, ++i;
    else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X'))
        base = 16, i += 2;
    if (i >= s.size())
        return std::nullopt;
    std::uint64_t v = 0;
    const auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || v > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return neg ? -std::int64_t(v) : std::int64_t(v);
}

// Decimal number with "." only: blanks around, sign and exponent allowed; nothing else.
std::optional<double> toNumber(std::string_view s) {
    // The usual field: a sign or digit first, no blanks. from_chars takes it as it stands.
    if (!s.empty() && s.front() != ' ' && s.back() != ' ') {
        const char *b = s.data(), *e = b + s.size();
        const char *q = (*b == '-' || *b == '+') ? b + 1 : b;
        if (q < e && ((*q >= '0' && *q <= '9') || *q == '.')) {
            double v = 0;
            const auto r = std::from_chars(q, e, v, std::chars_format::general);
            if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
                return std::nullopt;
            return *b == '-' ? -v : v;
        }
        return std::nullopt;
    }
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (s.empty())
        return std::nullopt;
    bool neg = false;
    std::string_view body = s;
    if (body.front() == '+' || body.front() == '-') {
        neg = body.front() == '-';
        body.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms: only digits or "." may start.
    if (body.empty() || !((body.front() >= '0' && body.front() <= '9') || body.front() == '.'))
        return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != body.data() + body.size() || !std::isfinite(v))
        return std::nullopt;
    return neg ? -v : v;
}

// Exact powers of ten as doubles (10^22 is the last one a double holds exactly).
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The usual level text, digits with an optional fraction ("35.47", "12"), read without the
// general reader: its digits as one integer m and how many of them follow the point. With at
// most 15 digits both m and the power of ten are exact doubles, so one division gives the
// correctly rounded value, the one from_chars gives. Returns where the number ends, or nullptr
// for anything else (more digits, an exponent, "5.", ".5"), which the general reader takes.
const char *scanPlainDecimal(const char *p, const char *end, std::uint64_t &digitsValue, int &fractionDigits) {
    std::uint64_t m = 0;
    int digits = 0;
    while (p < end && static_cast<unsigned char>(*p - '0') < 10u) {
        m = m * 10 + static_cast<unsigned>(*p++ - '0');
        ++digits;
    }
    if (digits == 0)
        return nullptr;
    int fraction = 0;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && static_cast<unsigned char>(*p - '0') < 10u) {
            m = m * 10 + static_cast<unsigned>(*p++ - '0');
            ++fraction;
        }
        if (fraction == 0)
            return nullptr;
    }
    if (digits + fraction > 15 || (p < end && (*p == 'e' || *p == 'E')))
        return nullptr;
    digitsValue = m;
    fractionDigits = fraction;
    return p;
}

// The hundredths a plain decimal stands for exactly (at most two decimals, within 16 bits, not -0).
bool plainHundredths(std::uint64_t m, int fraction, bool negative, std::int16_t &h) {
    constexpr std::uint64_t kToHundredths[] = {100, 10, 1};
    if (fraction > 2)
        return false;
    const std::uint64_t v = m * kToHundredths[fraction]; // m < 10^15: no overflow
    if (v > (negative ? 32768u : 32767u) || (negative && v == 0))
        return false;
    h = static_cast<std::int16_t>(negative ? -static_cast<std::int32_t>(v) : static_cast<std::int32_t>(v));
    return true;
}

} // namespace

void SplitSweepFields(std::string_view line, std::vector<std::string_view> &fields, std::deque<std::string> &storage) {
    fields.clear();
    storage.clear();
    if (const auto nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);
    const char *p = line.data();
    const char *const end = p + line.size();
    while (p < end && isBlank(*p))
        ++p;
    while (p < end) {
        if (*p == '"') {
            std::string &s = storage.emplace_back();
            ++p;
            while (p < end) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        s += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                s += *p++;
            }
            fields.emplace_back(s);
        } else {
            const char *start = p;
            while (p < end && !isBlank(*p) && *p != ',')
                ++p;
            fields.emplace_back(start, static_cast<std::size_t>(p - start));
        }
        while (p < end && isBlank(*p))
            ++p;
        if (p < end && *p == ',') {
            if (p + 1 == end)
                fields.emplace_back();
            do
                ++p;
            while (p < end && isBlank(*p));
        }
    }
}

void SplitSweepLines(std::string_view text, std::vector<std::string_view> &lines) {
    lines.clear();
    if (text.find('\r') == std::string_view::npos) {
        // Only LF line ends (as the tool writes them): let memchr find them.
        const char *p = text.data(), *const end = p + text.size();
        while (p < end) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            const char *stop = nl ? nl : end;
            lines.emplace_back(p, static_cast<std::size_t>(stop - p));
            p = nl ? nl + 1 : end;
        }
        return;
    }
    std::size_t start = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(text.substr(start));
}

bool IsMinusInfinityText(std::string_view f) {
    return f == "-1.#J" || f == "-1.#INF" || f == "-inf" || f == "-Inf" || f == "-INF";
}

SweepData ParseSweepFile(std::string_view text) {
    SweepData d;
    ParseSweepFile(text, d);
    return d;
}

namespace {

enum class LineResult { Done, Failed, General };

// One line without quotes or NUL characters, split and read in a single pass: numbers are read
// where they stand instead of being cut out as fields first. Gives up (General) on the rare
// line whose first level is minus infinity, which needs the whole line first. On failure the
// reason is set and the points of the failing line that precede the failure are kept, as the
// general reader keeps them.
LineResult ReadPlainLine(std::string_view line, SweepData &d, const char *&why) {
    const char *p = line.data();
    const char *const end = p + line.size();
    auto blank = [](char c) { return static_cast<unsigned char>(c) - 1u < 32u; };
    auto skipBlanks = [&] {
        while (p < end && blank(*p))
            ++p;
    };
    bool pendingEmpty = false; // a comma ended the line: one more, empty field
    auto afterField = [&] {
        skipBlanks();
        if (p < end && *p == ',') {
            if (p + 1 == end)
                pendingEmpty = true;
            ++p;
            skipBlanks();
        }
    };
    auto nextField = [&](std::string_view &f) {
        if (pendingEmpty) {
            pendingEmpty = false;
            f = {};
            return true;
        }
        if (p >= end)
            return false;
        const char *start = p;
        while (p < end && !blank(*p) && *p != ',')
            ++p;
        f = std::string_view(start, static_cast<std::size_t>(p - start));
        afterField();
        return true;
    };

    skipBlanks();
    std::string_view f[6];
    int count = 0;
    while (count < 6 && nextField(f[count]))
        ++count;
    if (count < 5) {
        why = "fewer than five fields";
        return LineResult::Failed;
    }
    d.lastStepText.assign(f[4]);
    if (count < 6 || (p >= end && !pendingEmpty))
        return LineResult::Done;
    const auto low = toInteger(f[2]);
    if (!low) {
        why = "frequency is not an integer";
        return LineResult::Failed;
    }
    const auto stepHz = toNumber(f[4]);
    if (!stepHz) {
        why = "step is not a number";
        return LineResult::Failed;
    }
    const std::size_t lineStart = d.PointCount();
    const std::int64_t countStart = d.valueCount;
    double previous = 0;
    std::int16_t h = 0, previousH = 0; // a level as hundredths, when `compact`
    bool compact = false, previousCompact = false;
    for (std::size_t v = 6;; ++v) {
        double level = 0;
        bool have = false;
        compact = false;
        if (!pendingEmpty && p < end) {
            // The usual field: a number that ends where the field ends.
            const char *q = p;
            const bool negative = *q == '-';
            if (*q == '-' || *q == '+')
                ++q;
            if (q < end && ((*q >= '0' && *q <= '9') || *q == '.')) {
                std::uint64_t m = 0;
                int fraction = 0;
                const char *stop = scanPlainDecimal(q, end, m, fraction);
                if (stop) {
                    // Levels kept as hundredths need no division.
                    compact = d.compact && plainHundredths(m, fraction, negative, h);
                    if (!compact)
                        level = static_cast<double>(m) / kExactPow10[fraction];
                } else {
                    const auto r = std::from_chars(q, end, level, std::chars_format::general);
                    stop = r.ec == std::errc() && std::isfinite(level) ? r.ptr : nullptr;
                }
                if (stop && (stop == end || blank(*stop) || *stop == ',')) {
                    if (negative)
                        level = -level;
                    p = stop;
                    afterField();
                    have = true;
                } else {
                    compact = false;
                }
            }
        }
        if (!have) {
            std::string_view field;
            if (!nextField(field))
                break;
            if (IsMinusInfinityText(field)) {
                if (v == 6)
                    return LineResult::General; // nothing added from this line yet
                level = previousCompact ? HundredthsValue(previousH) : previous;
            } else if (const auto other = toNumber(field)) {
                level = *other;
            } else {
                ++d.valueCount;
                why = "level is not a number";
                return LineResult::Failed;
            }
        }
        if (d.valueCount >= kMaxSweepValues) {
            d.KeepPoints(lineStart);
            d.valueCount = countStart;
            why = "more values than any sweep holds";
            return LineResult::Failed;
        }
        ++d.valueCount;
        previous = level;
        previousH = h;
        previousCompact = compact;
        if (compact)
            d.PushCompactPoint(double(*low), *stepHz, v - 6, h);
        else
            d.PushPoint(double(*low), *stepHz, v - 6, level);
        if (p >= end && !pendingEmpty)
            break;
    }
    return LineResult::Done;
}

} // namespace

double SweepData::Frequency(std::size_t i) const { return compact ? Frequencies()[static_cast<std::ptrdiff_t>(i)] : x[i]; }

void SweepData::PushCompactPoint(double low, double step, std::size_t k, std::int16_t h) {
    if (!compact) {
        PushPoint(low, step, k, HundredthsValue(h));
        return;
    }
    // A hop's bins come in order from bin 0, each hop a run of its own.
    if (k == 0) {
        xr.push_back({yh.size(), low, step});
    } else if (xr.empty() || yh.size() - xr.back().first != k || xr.back().low != low || xr.back().step != step) {
        SpellOut(); // not the next bin of the last hop: never from the reader, but then as doubles
        PushPoint(low, step, k, HundredthsValue(h));
        return;
    }
    yh.push_back(h);
}

void SweepData::PushPoint(double low, double step, std::size_t k, double level) {
    std::int16_t h = 0;
    if (compact) {
        if (ToHundredths(level, h)) {
            PushCompactPoint(low, step, k, h);
            return;
        }
        SpellOut();
    }
    x.push_back(low + step * double(k));
    y.push_back(level);
}

void SweepData::SpellOut() {
    if (!compact)
        return;
    // room for the rest of the sweep, as the doubles' reader would have made it
    x.reserve(yh.capacity());
    y.reserve(yh.capacity());
    SpellOutRuns(xr, yh.size(), xOffset, x);
    SpellOutHundredths(yh.data(), yh.size(), y);
    xr.clear();
    std::vector<std::int16_t>().swap(yh);
    xOffset = 0;
    compact = false;
}

void SweepData::KeepPoints(std::size_t n) {
    if (compact) {
        yh.resize(n);
        while (!xr.empty() && xr.back().first >= n)
            xr.pop_back();
    } else {
        x.resize(n);
        y.resize(n);
    }
}

void ParseSweepFile(std::string_view text, SweepData &d) { ParseSweepFileLines(text, d, true); }

void ParseSweepFileLines(std::string_view text, SweepData &d, bool singlePass) { SweepParser(singlePass).Parse(text, d); }

void SweepParser::Parse(std::string_view text, SweepData &d) {
    Begin(d, text.size());
    Lines(text, d);
    End(d);
}

void SweepParser::Begin(SweepData &d, std::size_t textBytes) {
    d.ok = false;
    d.x.clear();
    d.y.clear();
    d.xr.clear();
    d.yh.clear();
    d.xOffset = 0;
    d.compact = compactPoints_;
    d.valueCount = 0;
    d.lastStepText.clear();
    d.failure.clear();
    line_ = 0;
    failed_ = false;
    ordered_ = 0;
    d.ascending = true;
    // A level takes at least three bytes of text (", -1" is four): reserve once, grow rarely.
    const std::size_t estimate = std::min<std::size_t>(textBytes / 8, std::size_t(kMaxSweepValues));
    if (d.compact) {
        d.yh.reserve(estimate);
    } else {
        d.x.reserve(estimate);
        d.y.reserve(estimate);
    }
}

bool SweepParser::Lines(std::string_view text, SweepData &d) {
    if (failed_)
        return false;
    SplitSweepLines(text, lines_);
    for (const std::string_view line : lines_)
        if (!Line(line, d))
            return false;
    return true;
}

void SweepParser::NoteOrder(SweepData &d) {
    const std::size_t n = d.PointCount();
    if (n <= ordered_)
        return;
    // A line's frequencies are low + step x k for k = 0, 1, ...: they never fall where the last
    // is not below the first (rounding keeps the order of the exact values).
    auto x = [&](std::size_t i) { return d.Frequency(i); };
    d.ascending = d.ascending && !(x(n - 1) < x(ordered_)) && (ordered_ == 0 || !(x(ordered_) < x(ordered_ - 1)));
    ordered_ = n;
}

bool SweepParser::Line(std::string_view line, SweepData &d) {
    if (failed_)
        return false;
    NoteOrder(d);
    const std::size_t ln = line_++;
    auto fail = [&](const char *why) {
        d.failure = std::string(why) + " on line " + std::to_string(ln + 1);
        failed_ = true;
        return false;
    };
    if (singlePass_ && line.find('"') == std::string_view::npos && line.find('\0') == std::string_view::npos) {
        const char *why = nullptr;
        const LineResult r = ReadPlainLine(line, d, why);
        if (r == LineResult::Failed)
            return fail(why);
        if (r == LineResult::Done)
            return true;
    }
    SplitSweepFields(line, fields_, storage_);
    const std::vector<std::string_view> &fields = fields_;
    if (fields.size() < 5)
        return fail("fewer than five fields");
    d.lastStepText.assign(fields[4]);
    if (fields.size() <= 6)
        return true;
    const auto low = toInteger(fields[2]);
    if (!low)
        return fail("frequency is not an integer");
    const auto stepHz = toNumber(fields[4]);
    if (!stepHz)
        return fail("step is not a number");
    if (d.valueCount + std::int64_t(fields.size() - 6) > kMaxSweepValues)
        return fail("more values than any sweep holds");
    double previous = 0;
    for (std::size_t v = 6; v < fields.size(); ++v) {
        ++d.valueCount;
        // Numbers first: the minus-infinity texts are rare and never read as numbers.
        std::optional<double> level = toNumber(fields[v]);
        if (!level && IsMinusInfinityText(fields[v])) {
            if (v > 6) {
                level = previous; // repeats the last printable level
            } else {
                // Nothing printable before the first bin: take the line's lowest finite level.
                for (std::size_t k = 7; k < fields.size(); ++k)
                    if (const auto other = toNumber(fields[k]))
                        level = level ? std::min(*level, *other) : *other;
            }
        }
        if (!level)
            return fail("level is not a number");
        previous = *level;
        d.PushPoint(double(*low), *stepHz, v - 6, *level);
    }
    return true;
}

void SweepParser::End(SweepData &d) {
    NoteOrder(d);
    d.ok = !failed_;
}

bool LoadSweepFile(const QString &path, QByteArray &buffer) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size > kMaxSweepFileBytes)
        return false;
    if (!buffer.isDetached())
        buffer = QByteArray(); // still held elsewhere (the sweep log): not worth copying first
    buffer.resize(size);
    qint64 got = 0;
    while (got < size) {
        const qint64 r = file.read(buffer.data() + got, size - got);
        if (r <= 0)
            break;
        got += r;
    }
    buffer.resize(got);
    return true;
}

void LineRunReader::Close() { file_.close(); }

bool LineRunReader::Open(const QString &path) {
    file_.close();
    file_.setFileName(path);
    have_ = cut_ = 0;
    handedOut_ = runOffset_ = read_ = 0;
    end_ = false;
    lastByte_ = 0;
    if (buffer_.size() > piece_) { // grown for a long line of another file: not kept for good
        buffer_.resize(piece_);
        buffer_.shrink_to_fit();
    }
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    size_ = file_.size();
    if (buffer_.size() < piece_)
        buffer_.resize(piece_);
    return true;
}

qint64 LineRunReader::Unread() const { return std::max<qint64>(0, size_ - handedOut_); }

bool LineRunReader::Next(std::string_view &run) {
    if (cut_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + cut_, have_ - cut_);
        have_ -= cut_;
        cut_ = 0;
    }
    std::size_t searched = 0; // bytes already known to hold no line end that may cut
    for (;;) {
        if (!end_) {
            if (have_ == buffer_.size())
                buffer_.resize(buffer_.size() * 2); // one line longer than the buffer
            // The file as long as it was when opened, as LoadSweepFile reads it: a file still
            // growing is not followed.
            const qint64 want = std::min<qint64>(static_cast<qint64>(buffer_.size() - have_), size_ - read_);
            const qint64 r = want > 0 ? file_.read(buffer_.data() + have_, want) : 0;
            if (r <= 0) {
                end_ = true;
                file_.close();
            } else {
                have_ += static_cast<std::size_t>(r);
                read_ += r;
                lastByte_ = buffer_[have_ - 1];
            }
        }
        // The last line end, unless it is a CR that more text may follow with its LF.
        std::size_t k = have_;
        while (k > searched) {
            const char c = buffer_[k - 1];
            if (c == '\n' || (c == '\r' && (k < have_ || end_)))
                break;
            --k;
        }
        if (k > searched || (end_ && have_ > 0)) {
            cut_ = k > searched ? k : have_;
            runOffset_ = handedOut_;
            handedOut_ += static_cast<qint64>(cut_);
            run = std::string_view(buffer_.data(), cut_);
            return true;
        }
        if (end_)
            return false;
        searched = have_ > 0 && buffer_[have_ - 1] == '\r' ? have_ - 1 : have_;
    }
}

bool ReadSweepFile(const QString &path, LineRunReader &reader, SweepParser &parser, SweepData &d) {
    if (!reader.Open(path))
        return false;
    if (reader.Size() > kMaxSweepFileBytes) {
        reader.Close();
        return false;
    }
    // Closed however this ends (out of memory included): an open file cannot be deleted everywhere.
    struct Closer {
        LineRunReader &r;
        ~Closer() { r.Close(); }
    } closer{reader};
    parser.Begin(d, static_cast<std::size_t>(reader.Size()));
    // To the end even after a failure: whether the file ends with a line break is asked next.
    std::string_view run;
    while (reader.Next(run))
        parser.Lines(run, d);
    parser.End(d);
    return true;
}

} // namespace sky
