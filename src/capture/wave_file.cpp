#include "capture/wave_file.h"

#include "capture/dib_frame.h"
#include "platform/error.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

namespace sky {

QByteArray TWaveFormat::Bytes() const {
    QByteArray b(18, '\0');
    char *p = b.data();
    PutLe16(p, 1);
    PutLe16(p + 2, std::uint16_t(channels));
    PutLe32(p + 4, std::uint32_t(samplesPerSec));
    PutLe32(p + 8, std::uint32_t(AvgBytesPerSec()));
    PutLe16(p + 12, std::uint16_t(BlockAlign()));
    PutLe16(p + 14, std::uint16_t(bitsPerSample));
    return b;
}

std::uint32_t TWaveFile::Open(const QString &path) {
    file_.close();
    format_ = {};
    length_ = 0;
    dataOffset_ = 0;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly))
        return kAviErrFileOpen;
    char h[12];
    const qint64 got = file_.read(h, 12);
    if (got < 0)
        return kAviErrFileRead;
    if (got < 12 || memcmp(h, "RIFF", 4) != 0 || memcmp(h + 8, "WAVE", 4) != 0)
        return kAviErrBadFormat;
    const qint64 end = std::min<qint64>(file_.size(), 8 + qint64(GetLe32(h + 4)));
    bool haveFormat = false;
    qint64 pos = 12;
    while (pos + 8 <= end) {
        char c[8];
        if (!file_.seek(pos) || file_.read(c, 8) != 8)
            return kAviErrFileRead;
        const qint64 size = GetLe32(c + 4);
        if (memcmp(c, "fmt ", 4) == 0) {
            if (size < 16)
                return kAviErrBadFormat;
            char f[16];
            if (file_.read(f, 16) != 16)
                return kAviErrFileRead;
            const int tag = GetLe16(f);
            format_.channels = GetLe16(f + 2);
            format_.samplesPerSec = int(GetLe32(f + 4));
            format_.bitsPerSample = GetLe16(f + 14);
            if (tag != 1 || (format_.channels != 1 && format_.channels != 2) ||
                (format_.bitsPerSample != 8 && format_.bitsPerSample != 16) || format_.samplesPerSec <= 0 ||
                format_.samplesPerSec > 1000000)
                return kRegdbClassNotReg;
            haveFormat = true;
        } else if (memcmp(c, "data", 4) == 0) {
            if (!haveFormat)
                return kAviErrBadFormat;
            dataOffset_ = pos + 8;
            // A data chunk cut short by the end of the file holds what is there.
            const qint64 bytes = std::min(size, file_.size() - dataOffset_);
            length_ = bytes / format_.BlockAlign();
            return kAviOk;
        }
        pos += 8 + size + (size & 1);
    }
    return haveFormat ? kAviOk : kAviErrBadFormat;
}

TAviStreamInfo TWaveFile::StreamInfo() const {
    TAviStreamInfo info;
    info.fccType = FourCC(QStringLiteral("auds"));
    info.scale = std::uint32_t(format_.BlockAlign());
    info.rate = std::uint32_t(format_.AvgBytesPerSec());
    info.sampleSize = std::uint32_t(format_.BlockAlign());
    info.quality = 0xFFFFFFFFu;
    info.chunkType = 'w' | 'b' << 8;
    return info;
}

std::uint32_t TWaveFile::Read(qint64 start, qint64 count, QByteArray &out) {
    if (start < 0 || count < 0 || start + count > length_)
        return kAviErrFileRead;
    const qint64 bytes = count * format_.BlockAlign();
    if (!file_.seek(dataOffset_ + start * format_.BlockAlign()))
        return kAviErrFileRead;
    out = file_.read(bytes);
    return out.size() == bytes ? kAviOk : kAviErrFileRead;
}

namespace {

constexpr std::array<int, 7> kRates = {11025, 16000, 22050, 32000, 32075, 44100, 48000};

// Small values around zero; the stereo 44100 block starts at its beginning.
constexpr std::array<int, 32> kDither = {0, 6, 1, 6, 0, 5, 1, 5, -1, 4, 0, 4, -1, 3, 0, 3,
                                         -2, 2, -1, 2, -2, 1, -1, 1, -1, 0, 0, 0, 0, -1, 1, -1};

QByteArray MakeBlock(int channels, int bits, int rateIndex) {
    const int values = 16 * channels;
    const int shift = ((rateIndex + 2) % 7) * 3 + (channels == 1 ? 1 : 0) + (bits == 8 ? 2 : 0);
    QByteArray b;
    for (int k = 0; k < values; ++k) {
        const int v = kDither[size_t((k + shift) % 32)];
        if (bits == 16) {
            b.append(char(v & 0xFF));
            b.append(char((v >> 8) & 0xFF));
        } else {
            b.append(char(v > 0 ? 0x80 : 0x7F));
        }
    }
    return b;
}

struct SilenceTable {
    QByteArray blocks[2][2][7];
    SilenceTable() {
        for (int c = 0; c < 2; ++c)
            for (int w = 0; w < 2; ++w)
                for (int r = 0; r < 7; ++r)
                    if (!(c == 0 && w == 1 && kRates[size_t(r)] == 32075))
                        blocks[c][w][r] = MakeBlock(c + 1, w ? 16 : 8, r);
    }
};

} // namespace

QByteArrayView SilenceBlock(int channels, int bitsPerSample, int samplesPerSec) {
    static const SilenceTable table;
    const auto it = std::find(kRates.begin(), kRates.end(), samplesPerSec);
    if ((channels != 1 && channels != 2) || (bitsPerSample != 8 && bitsPerSample != 16) || it == kRates.end())
        return {};
    return table.blocks[channels - 1][bitsPerSample == 16][it - kRates.begin()];
}

QString Hex8(std::uint32_t value) {
    return QString::number(value, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

QString AssertionText(const QString &text, const char *sourceFile, int line) {
    return QString::asprintf("%s (%s, line %d)", text.toLocal8Bit().constData(),
                             QFileInfo(QString::fromLocal8Bit(sourceFile)).fileName().toLocal8Bit().constData(), line);
}

#define SKY_WAVE_CHECK(result, what)                                                                              \
    do {                                                                                                          \
        const std::uint32_t r_ = (result);                                                                       \
        if (r_ != kAviOk)                                                                                         \
            throw Error(AssertionText(QStringLiteral(what " failed. Err: $") + Hex8(r_), __FILE__, __LINE__));     \
    } while (0)

namespace {

// Largest piece of sound written as one chunk.
constexpr qint64 kChunkBytes = 256 * 1024;

struct OpenEntry {
    std::unique_ptr<TWaveFile> wave;
    qint64 startSample = 0;
};

} // namespace

void MergeWaveList(QList<TWaveEntry> entries, TAviFileWriter &file) {
    if (entries.isEmpty())
        return;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TWaveEntry &a, const TWaveEntry &b) { return a.startMs < b.startMs; });

    // Open every entry first so that a sound is cut only by the next one actually played.
    std::vector<OpenEntry> played;
    TAviStreamInfo first;
    TWaveFormat firstFormat;
    for (const TWaveEntry &e : entries) {
        auto wave = std::make_unique<TWaveFile>();
        const std::uint32_t rc = wave->Open(e.path);
        SKY_WAVE_CHECK(rc, "FileOpen");
        SKY_WAVE_CHECK(wave->HasAudio() ? kAviOk : kAviErrNoData, "GetStream");
        const TAviStreamInfo info = wave->StreamInfo();
        if (!played.empty()) {
            if (info.fccType != first.fccType || info.scale != first.scale || info.rate != first.rate ||
                info.sampleSize != first.sampleSize || wave->Format().channels != firstFormat.channels ||
                wave->Format().bitsPerSample != firstFormat.bitsPerSample)
                continue;
        } else {
            first = info;
            firstFormat = wave->Format();
        }
        const double samplesPerSec = double(info.rate / info.scale);
        played.push_back({std::move(wave), qint64(std::trunc(e.startMs * samplesPerSec * 0.001))});
    }

    TAviStreamInfo streamInfo = first;
    const int stream = file.AddStream(streamInfo);
    SKY_WAVE_CHECK(stream >= 0 ? kAviOk : kAviErrMemory, "CreateStream");
    file.SetFormat(stream, firstFormat.Bytes());

    const qint64 block = firstFormat.BlockAlign();
    const qint64 perChunk = std::max<qint64>(1, kChunkBytes / block);
    const QByteArrayView silence =
        SilenceBlock(firstFormat.channels, firstFormat.bitsPerSample, firstFormat.samplesPerSec);
    QByteArray fill;
    if (!silence.isEmpty())
        while (fill.size() + silence.size() <= kChunkBytes)
            fill.append(silence.data(), silence.size());

    qint64 written = 0;
    QByteArray data;
    for (std::size_t i = 0; i < played.size(); ++i) {
        OpenEntry &e = played[i];
        if (written < e.startSample && !fill.isEmpty()) {
            const qint64 fillSamples = fill.size() / block;
            while (written + fillSamples <= e.startSample) {
                SKY_WAVE_CHECK(file.Write(stream, fill.constData(), fill.size(), true, std::uint32_t(fillSamples)),
                               "StreamWrite");
                written += fillSamples;
            }
            if (written < e.startSample) {
                const qint64 rest = e.startSample - written;
                SKY_WAVE_CHECK(file.Write(stream, fill.constData(), rest * block, true, std::uint32_t(rest)),
                               "StreamWrite");
                written += rest;
            }
        }
        qint64 length = e.wave->Length();
        if (i + 1 < played.size() && played[i + 1].startSample < e.startSample + length)
            length = std::max<qint64>(0, played[i + 1].startSample - e.startSample);
        for (qint64 done = 0; done < length; done += perChunk) {
            const qint64 n = std::min(perChunk, length - done);
            SKY_WAVE_CHECK(e.wave->Read(done, n, data), "StreamRead");
            SKY_WAVE_CHECK(file.Write(stream, data.constData(), data.size(), true, std::uint32_t(n)), "StreamWrite");
        }
        written += length;
    }
}

} // namespace sky
