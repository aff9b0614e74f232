#pragma once
// The RIFF AVI container: a writer for up to two streams (video, then audio) that continues past
// the RIFF size limit as OpenDML (AVI 2.0), and a reader for the frames of the files it writes.
//
// Layout written:
//   RIFF 'AVI '  LIST 'hdrl' (avih, one LIST 'strl' per stream with strh, strf and the super
//                index 'indx', LIST 'odml' with 'dmlh'), JUNK up to a fixed header area,
//                LIST 'movi' (data chunks, one standard index 'ix##' per stream), 'idx1'
//   RIFF 'AVIX'  LIST 'movi' (data chunks, 'ix##' per stream)    ... as many as needed
// The header area is written on Close(), so a stream can still be added after the first data
// chunks (the sound track of a direct recording is written after its frames). Refresh() writes it
// early with what is there so far, so a file cut off by a kill, a crash or a power cut plays up
// to its last refresh (readers find the chunks of an unindexed 'movi' by walking it).
//
// The first write that fails (a full disk) ends the writing: later writes are refused, and
// Close() cuts the file back to its last whole chunk and completes it with the chunks that
// landed, writing the headers into the header area reserved for them.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace sky {

// Result codes of the file layer; the values are the platform's AVI error codes.
enum : std::uint32_t {
    kAviOk = 0,
    kAviErrBadFormat = 0x80044066,
    kAviErrMemory = 0x80044067,
    kAviErrFileRead = 0x8004406D,
    kAviErrFileWrite = 0x8004406E,
    kAviErrFileOpen = 0x8004406F,
    kAviErrCompressor = 0x80044070,
    kAviErrNoData = 0x80044073,
    kAviErrUserAbort = 0x800440C6,
    kRegdbClassNotReg = 0x80040154,
};

constexpr qint64 kDefaultRiffLimit = qint64(1) << 30;

struct TAviStreamInfo {
    std::uint32_t fccType = 0;    // "vids" or "auds"
    std::uint32_t fccHandler = 0;
    std::uint32_t scale = 1;
    std::uint32_t rate = 1;
    std::uint32_t quality = 0;
    std::uint32_t sampleSize = 0;
    int frameWidth = 0, frameHeight = 0;
    std::uint32_t chunkType = 0;  // two characters after the stream number: "db", "dc", "wb"
};

class TAviFileWriter {
public:
    explicit TAviFileWriter(qint64 riffLimit = kDefaultRiffLimit);
    ~TAviFileWriter();
    TAviFileWriter(const TAviFileWriter &) = delete;
    TAviFileWriter &operator=(const TAviFileWriter &) = delete;

    // Creates (truncates) the file; 0 or kAviErrFileOpen.
    std::uint32_t Create(const QString &path);
    bool IsOpen() const { return file_.isOpen(); }

    // At most two streams; returns the stream number or -1.
    int AddStream(const TAviStreamInfo &info);
    void SetFormat(int stream, const QByteArray &format);
    void SetChunkType(int stream, std::uint32_t chunkType);

    // One chunk of `samples` samples (1 for a video frame). 0 or kAviErrFileWrite. A chunk of
    // size 0 that is no key frame is a drop frame: players repeat the frame before it.
    std::uint32_t Write(int stream, const char *data, qint64 size, bool keyFrame, std::uint32_t samples = 1);

    // Rewrites the headers and the open segment's sizes for what has been written so far and
    // hands it to the disk. 0 or kAviErrFileWrite.
    std::uint32_t Refresh();

    // Writes the indexes and the headers and closes the file. 0 when the file is complete and
    // readable (after a failed write: with the chunks written before it), else kAviErrFileWrite.
    std::uint32_t Close();

    // A write was refused; the file holds what was written before it.
    bool WriteFailed() const { return writeFailed_; }
    // The system's reason for the first failure ("No space left on device").
    QString ErrorString() const { return error_; }
    // The file never grows past this many bytes, as on a full disk (-1: as far as the disk goes).
    void SetSizeLimit(qint64 bytes) { sizeLimit_ = bytes; }

    // Bytes of the header area before the first 'movi' list.
    static constexpr qint64 kHeaderArea = 65536;
    // Super index capacity per stream: RIFF segments a file may have.
    static constexpr int kMaxSegments = 1500;

    int RiffCount() const { return int(segments_.size()) + (file_.isOpen() ? 1 : 0); }

private:
    struct IndexEntry {
        qint64 offset; // of the chunk header
        std::uint32_t size;
        bool key;
    };
    struct Segment {      // one finished RIFF segment of one stream
        qint64 ixOffset;  // of its 'ix##' chunk header
        std::uint32_t ixSize;
        std::uint32_t duration;
    };
    struct Stream {
        TAviStreamInfo info;
        QByteArray format;
        std::vector<IndexEntry> current; // chunks in the open RIFF segment
        std::vector<Segment> segments;
        std::uint64_t length = 0;        // samples written
        std::uint32_t segmentDuration = 0;
        std::uint32_t firstRiffLength = 0;
        std::uint32_t maxChunk = 0;
    };

    bool WriteRaw(const char *data, qint64 size);
    bool WriteAt(qint64 pos, const char *data, qint64 size); // in place, then back to the end
    bool Pad(qint64 size);
    bool BeginRiff(bool first);
    bool EndRiff();
    bool PatchSegmentSizes(qint64 end);
    bool WriteHeaderArea(bool complete);
    void Fail();
    bool Salvage();
    qint64 PendingIndexBytes(int extraStream) const;
    QByteArray BuildHeader(bool complete) const;
    std::uint32_t ChunkId(int stream) const;

    QFile file_;
    qint64 riffLimit_;
    std::vector<Stream> streams_;
    std::vector<qint64> segments_; // start of each finished RIFF segment
    qint64 riffStart_ = 0, moviStart_ = 0;
    qint64 goodEnd_ = 0;      // end of the last whole chunk, index or list start written
    qint64 sizeLimit_ = -1;
    bool riffOpen_ = false;   // a segment's 'movi' list takes chunks
    bool firstRiff_ = true;
    bool failed_ = false;     // nothing more is written
    bool writeFailed_ = false;
    bool hasIdx1_ = false;
    QString error_;
    QByteArray idx1_;
};

// Reads back the video chunks of an AVI file this program wrote (any number of RIFF segments).
class TAviFileReader {
public:
    // 0, kAviErrFileOpen, kAviErrFileRead or kAviErrBadFormat.
    std::uint32_t Open(const QString &path);
    const QByteArray &VideoFormat() const { return videoFormat_; }
    int FrameCount() const { return int(frames_.size()); }
    bool ReadFrame(int index, QByteArray &data);

private:
    bool Walk(qint64 start, qint64 end, int depth);
    QFile file_;
    QByteArray videoFormat_;
    int strlSeen_ = 0;
    std::vector<std::pair<qint64, std::uint32_t>> frames_;
};

} // namespace sky
