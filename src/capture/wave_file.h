#pragma once
// The sound side of the AVI writer: a PCM WAV reader of our own, the near-silence blocks that
// fill gaps between sound files, and the merge of several WAV files into one audio stream.
#include "capture/avi_riff.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdint>

namespace sky {

struct TWaveFormat {
    int channels = 0;
    int samplesPerSec = 0;
    int bitsPerSample = 0;
    int BlockAlign() const { return channels * bitsPerSample / 8; }
    int AvgBytesPerSec() const { return samplesPerSec * BlockAlign(); }
    // The 18-byte wave format (PCM, no extra bytes) as an AVI audio stream carries it.
    QByteArray Bytes() const;
};

// A RIFF WAVE file of PCM sound: 8 or 16 bits, mono or stereo, any rate.
class TWaveFile {
public:
    // 0 on success, else: kAviErrFileOpen (missing or cannot be opened), kAviErrFileRead (read
    // failure or truncated structure), kAviErrBadFormat (not a RIFF WAVE file), kRegdbClassNotReg
    // (a WAVE file whose sound is not 8/16-bit mono/stereo PCM).
    std::uint32_t Open(const QString &path);
    // The audio stream exists: a data chunk with at least one whole sample frame.
    bool HasAudio() const { return length_ > 0; }
    const TWaveFormat &Format() const { return format_; }
    // The stream information of its audio stream: "auds", scale = block size, rate = bytes per
    // second, sample size = block size, quality -1 (default).
    TAviStreamInfo StreamInfo() const;
    qint64 Length() const { return length_; } // in sample frames
    // Reads `count` sample frames from `start`; 0 or kAviErrFileRead.
    std::uint32_t Read(qint64 start, qint64 count, QByteArray &out);

private:
    QFile file_;
    TWaveFormat format_;
    qint64 dataOffset_ = 0;
    qint64 length_ = 0;
};

// The near-silence block of 16 sample frames for a format, or an empty view when there is none.
// Blocks exist for 1 or 2 channels, 8 or 16 bits and 11025, 16000, 22050, 32000, 32075, 44100 or
// 48000 samples per second, except 16-bit mono at 32075.
QByteArrayView SilenceBlock(int channels, int bitsPerSample, int samplesPerSec);

struct TWaveEntry {
    QString path;
    int startMs = 0;
};

// Writes the sound of `entries` as one audio stream of `file`: in order of start time, each
// file's sound at its start, gaps filled with near-silence, a sound cut where the next one
// starts; files whose format differs from the first one's are skipped. Failures raise
// sky::Error "<what> failed. Err: $XXXXXXXX (<source file>, line <n>)".
void MergeWaveList(QList<TWaveEntry> entries, TAviFileWriter &file);

// "%s (%s, line %d)" as the runtime's assertion failures read.
QString AssertionText(const QString &text, const char *sourceFile, int line);
QString Hex8(std::uint32_t value);

} // namespace sky
