#include "capture/avi_riff.h"

#include "capture/dib_frame.h"
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sky {

namespace {

constexpr std::uint32_t Tag(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

void Append32(QByteArray &b, std::uint32_t v) {
    char p[4];
    PutLe32(p, v);
    b.append(p, 4);
}
void Append16(QByteArray &b, std::uint16_t v) {
    char p[2];
    PutLe16(p, v);
    b.append(p, 2);
}
void Append64(QByteArray &b, std::uint64_t v) {
    char p[8];
    PutLe64(p, v);
    b.append(p, 8);
}

// Wraps `body` as a chunk (or, with a list type, as a LIST) padded to an even size.
QByteArray Chunk(std::uint32_t id, const QByteArray &body) {
    QByteArray c;
    Append32(c, id);
    Append32(c, std::uint32_t(body.size()));
    c += body;
    if (body.size() & 1)
        c.append('\0');
    return c;
}
QByteArray List(std::uint32_t type, const QByteArray &children) {
    QByteArray body;
    Append32(body, type);
    body += children;
    return Chunk(Tag("LIST"), body);
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(v);
}

} // namespace

TAviFileWriter::TAviFileWriter(qint64 riffLimit)
    // Standard index offsets are 32-bit, so a segment may not outgrow 2 GiB.
    : riffLimit_(std::clamp<qint64>(riffLimit, kHeaderArea + 4096, qint64(1) << 31)) {}

TAviFileWriter::~TAviFileWriter() {
    Close();
}

std::uint32_t TAviFileWriter::Create(const QString &path) {
    Close();
    streams_.clear();
    segments_.clear();
    idx1_.clear();
    failed_ = writeFailed_ = hasIdx1_ = riffOpen_ = false;
    error_.clear();
    firstRiff_ = true;
    goodEnd_ = 0;
    file_.setFileName(path);
    // Unbuffered: a write the disk refuses fails here, where the file's last whole chunk is known.
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error_ = file_.errorString();
        return kAviErrFileOpen;
    }
    if (!BeginRiff(true)) {
        file_.close();
        return kAviErrFileOpen;
    }
    return kAviOk;
}

int TAviFileWriter::AddStream(const TAviStreamInfo &info) {
    if (streams_.size() >= 2)
        return -1;
    Stream s;
    s.info = info;
    streams_.push_back(std::move(s));
    return int(streams_.size()) - 1;
}

void TAviFileWriter::SetFormat(int stream, const QByteArray &format) {
    if (stream >= 0 && stream < int(streams_.size()))
        streams_[size_t(stream)].format = format;
}

void TAviFileWriter::SetChunkType(int stream, std::uint32_t chunkType) {
    if (stream >= 0 && stream < int(streams_.size()))
        streams_[size_t(stream)].info.chunkType = chunkType;
}

std::uint32_t TAviFileWriter::ChunkId(int stream) const {
    return std::uint32_t('0' + stream / 10) | std::uint32_t('0' + stream % 10) << 8 |
           (streams_[size_t(stream)].info.chunkType << 16);
}

void TAviFileWriter::Fail() {
    if (!failed_) {
        failed_ = writeFailed_ = true;
        if (error_.isEmpty())
            error_ = file_.errorString();
    }
}

bool TAviFileWriter::WriteRaw(const char *data, qint64 size) {
    if (failed_)
        return false;
    if (sizeLimit_ >= 0 && file_.pos() + size > sizeLimit_) {
        // As a full disk does: what fits lands, the rest is refused.
        file_.write(data, std::max<qint64>(0, sizeLimit_ - file_.pos()));
        error_ = QStringLiteral("No space left on device");
        Fail();
        return false;
    }
    errno = 0;
    if (file_.write(data, size) != size) {
        error_ = WriteFailureReason(file_, errno);
        Fail();
    }
    return !failed_;
}

bool TAviFileWriter::WriteAt(qint64 pos, const char *data, qint64 size) {
    const qint64 end = file_.pos();
    if (failed_ || !file_.seek(pos) || file_.write(data, size) != size || !file_.seek(end)) {
        Fail();
        return false;
    }
    return true;
}

bool TAviFileWriter::Pad(qint64 size) {
    static const char zeros[4096] = {};
    while (size > 0 && !failed_) {
        const qint64 n = std::min<qint64>(size, sizeof zeros);
        WriteRaw(zeros, n);
        size -= n;
    }
    return !failed_;
}

bool TAviFileWriter::BeginRiff(bool first) {
    QByteArray h;
    riffStart_ = file_.pos();
    Append32(h, Tag("RIFF"));
    Append32(h, 0);
    Append32(h, first ? Tag("AVI ") : Tag("AVIX"));
    if (!WriteRaw(h.constData(), h.size()))
        return false;
    if (first && !Pad(kHeaderArea - h.size()))
        return false;
    moviStart_ = file_.pos();
    QByteArray m;
    Append32(m, Tag("LIST"));
    Append32(m, 0);
    Append32(m, Tag("movi"));
    if (!WriteRaw(m.constData(), m.size()))
        return false;
    riffOpen_ = true;
    goodEnd_ = file_.pos();
    return true;
}

qint64 TAviFileWriter::PendingIndexBytes(int extraStream) const {
    qint64 bytes = 0;
    std::size_t entries = 0;
    for (std::size_t s = 0; s < streams_.size(); ++s) {
        const std::size_t n = streams_[s].current.size() + (int(s) == extraStream ? 1 : 0);
        if (n)
            bytes += 32 + 8 * qint64(n);
        entries += n;
    }
    if (firstRiff_)
        bytes += 8 + 16 * qint64(entries);
    return bytes;
}

std::uint32_t TAviFileWriter::Write(int stream, const char *data, qint64 size, bool keyFrame, std::uint32_t samples) {
    if (!file_.isOpen() || failed_ || stream < 0 || stream >= int(streams_.size()) || size < 0 || size > 0x7FFFFFFF)
        return kAviErrFileWrite;
    const qint64 chunkBytes = 8 + size + (size & 1);
    bool anyInRiff = false;
    for (const Stream &s : streams_)
        anyInRiff = anyInRiff || !s.current.empty();
    if (anyInRiff && file_.pos() + chunkBytes + PendingIndexBytes(stream) > riffStart_ + riffLimit_) {
        if (int(segments_.size()) + 1 >= kMaxSegments)
            return kAviErrFileWrite;
        if (!EndRiff() || !BeginRiff(false))
            return kAviErrFileWrite;
    }
    Stream &st = streams_[size_t(stream)];
    const qint64 pos = file_.pos();
    char head[8];
    PutLe32(head, ChunkId(stream));
    PutLe32(head + 4, std::uint32_t(size));
    if (!WriteRaw(head, 8) || (size && !WriteRaw(data, size)) || ((size & 1) && !WriteRaw("", 1)))
        return kAviErrFileWrite;
    goodEnd_ = file_.pos();
    st.current.push_back({pos, std::uint32_t(size), keyFrame});
    st.length += samples;
    st.segmentDuration += samples;
    st.maxChunk = std::max(st.maxChunk, std::uint32_t(size));
    if (firstRiff_) {
        st.firstRiffLength += samples;
        Append32(idx1_, ChunkId(stream));
        Append32(idx1_, keyFrame ? 0x10 : 0);
        Append32(idx1_, std::uint32_t(pos - (moviStart_ + 8)));
        Append32(idx1_, std::uint32_t(size));
    }
    return kAviOk;
}

// The 'movi' list and the RIFF of the open segment end at `end`.
bool TAviFileWriter::PatchSegmentSizes(qint64 end) {
    char size[4];
    PutLe32(size, std::uint32_t(end - (moviStart_ + 8)));
    if (!WriteAt(moviStart_ + 4, size, 4))
        return false;
    PutLe32(size, std::uint32_t(end - (riffStart_ + 8)));
    return WriteAt(riffStart_ + 4, size, 4);
}

// Closes the open segment with its indexes. Written in one piece: when it fails, nothing of the
// segment's bookkeeping has changed and the file still ends at its last whole chunk.
bool TAviFileWriter::EndRiff() {
    const qint64 moviEnd = file_.pos();
    QByteArray tail;
    std::vector<Segment> added(streams_.size(), Segment{-1, 0, 0});
    for (std::size_t s = 0; s < streams_.size(); ++s) {
        const Stream &st = streams_[s];
        if (st.current.empty())
            continue;
        QByteArray ix;
        Append16(ix, 2);  // longs per entry
        ix.append('\0');  // sub type
        ix.append('\1');  // index of chunks
        Append32(ix, std::uint32_t(st.current.size()));
        Append32(ix, ChunkId(int(s)));
        Append64(ix, std::uint64_t(moviStart_));
        Append32(ix, 0);
        for (const IndexEntry &e : st.current) {
            Append32(ix, std::uint32_t(e.offset + 8 - moviStart_));
            Append32(ix, e.size | (e.key ? 0u : 0x80000000u));
        }
        const std::uint32_t id = std::uint32_t('i') | std::uint32_t('x') << 8 | std::uint32_t('0' + s / 10) << 16 |
                                 std::uint32_t('0' + s % 10) << 24;
        const QByteArray c = Chunk(id, ix);
        added[s] = {moviEnd + tail.size(), std::uint32_t(c.size()), st.segmentDuration};
        tail += c;
    }
    const qint64 listEnd = moviEnd + tail.size();
    if (firstRiff_)
        tail += Chunk(Tag("idx1"), idx1_);
    if (!WriteRaw(tail.constData(), tail.size()))
        return false;
    const qint64 end = file_.pos();
    for (std::size_t s = 0; s < streams_.size(); ++s) {
        if (added[s].ixOffset < 0)
            continue;
        streams_[s].segments.push_back(added[s]);
        streams_[s].current.clear();
        streams_[s].segmentDuration = 0;
    }
    if (firstRiff_) {
        idx1_.clear();
        idx1_.squeeze();
        hasIdx1_ = true;
    }
    char size[4];
    PutLe32(size, std::uint32_t(listEnd - (moviStart_ + 8)));
    if (!WriteAt(moviStart_ + 4, size, 4))
        return false;
    PutLe32(size, std::uint32_t(end - (riffStart_ + 8)));
    if (!WriteAt(riffStart_ + 4, size, 4))
        return false;
    segments_.push_back(riffStart_);
    firstRiff_ = false;
    riffOpen_ = false;
    goodEnd_ = end;
    return true;
}

QByteArray TAviFileWriter::BuildHeader(bool complete) const {
    const Stream *video = nullptr;
    std::uint32_t maxChunk = 0;
    double bytesPerSec = 0;
    for (const Stream &s : streams_) {
        if (s.info.fccType == Tag("vids") && !video)
            video = &s;
        maxChunk = std::max(maxChunk, s.maxChunk);
        if (s.info.scale == 0)
            continue;
        if (s.info.sampleSize) // fixed-size samples (sound): rate / scale samples a second
            bytesPerSec += double(s.info.rate) / s.info.scale * s.info.sampleSize;
        else // one chunk a sample (frames): the largest chunk at the stream's rate
            bytesPerSec += double(s.maxChunk) * s.info.rate / s.info.scale;
    }
    QByteArray avih;
    Append32(avih, video && video->info.rate ? Clamp32(std::uint64_t(video->info.scale) * 1000000 / video->info.rate) : 0);
    Append32(avih, Clamp32(std::uint64_t(bytesPerSec)));
    Append32(avih, 0);
    Append32(avih, complete && hasIdx1_ ? 0x10 : 0); // has index
    Append32(avih, video ? video->firstRiffLength : 0);
    Append32(avih, 0);
    Append32(avih, std::uint32_t(streams_.size()));
    Append32(avih, maxChunk + 8);
    Append32(avih, video ? std::uint32_t(video->info.frameWidth) : 0);
    Append32(avih, video ? std::uint32_t(video->info.frameHeight) : 0);
    for (int i = 0; i < 4; ++i)
        Append32(avih, 0);

    QByteArray lists = Chunk(Tag("avih"), avih);
    for (std::size_t s = 0; s < streams_.size(); ++s) {
        const Stream &st = streams_[s];
        QByteArray strh;
        Append32(strh, st.info.fccType);
        Append32(strh, st.info.fccHandler);
        Append32(strh, 0); // flags
        Append16(strh, 0); // priority
        Append16(strh, 0); // language
        Append32(strh, 0); // initial frames
        Append32(strh, st.info.scale);
        Append32(strh, st.info.rate);
        Append32(strh, 0); // start
        Append32(strh, Clamp32(st.length));
        Append32(strh, st.maxChunk);
        Append32(strh, st.info.quality);
        Append32(strh, st.info.sampleSize);
        Append16(strh, 0);
        Append16(strh, 0);
        Append16(strh, std::uint16_t(st.info.frameWidth));
        Append16(strh, std::uint16_t(st.info.frameHeight));

        QByteArray indx;
        Append16(indx, 4);
        indx.append('\0');
        indx.append('\0'); // index of indexes
        Append32(indx, std::uint32_t(st.segments.size()));
        Append32(indx, ChunkId(int(s)));
        for (int i = 0; i < 3; ++i)
            Append32(indx, 0);
        for (const Segment &g : st.segments) {
            Append64(indx, std::uint64_t(g.ixOffset));
            Append32(indx, g.ixSize);
            Append32(indx, g.duration);
        }
        lists += List(Tag("strl"), Chunk(Tag("strh"), strh) + Chunk(Tag("strf"), st.format) + Chunk(Tag("indx"), indx));
    }
    QByteArray dmlh;
    Append32(dmlh, video ? Clamp32(video->length) : 0);
    dmlh.append(QByteArray(244, '\0'));
    lists += List(Tag("odml"), Chunk(Tag("dmlh"), dmlh));
    return List(Tag("hdrl"), lists);
}

// The headers, then JUNK up to the first 'movi' list; they are written in place, into space the
// file has had from its start.
bool TAviFileWriter::WriteHeaderArea(bool complete) {
    QByteArray header = BuildHeader(complete);
    const qint64 room = kHeaderArea - 12;
    if (header.size() + 8 > room) {
        error_ = QStringLiteral("headers larger than their space");
        Fail();
        return false;
    }
    QByteArray junk;
    Append32(junk, Tag("JUNK"));
    Append32(junk, std::uint32_t(room - header.size() - 8));
    header += junk;
    return WriteAt(12, header.constData(), header.size());
}

std::uint32_t TAviFileWriter::Refresh() {
    if (!file_.isOpen() || failed_)
        return kAviErrFileWrite;
    if (riffOpen_ && !PatchSegmentSizes(file_.pos()))
        return kAviErrFileWrite;
    if (!WriteHeaderArea(false))
        return kAviErrFileWrite;
    return SyncToDisk(file_) ? kAviOk : kAviErrFileWrite;
}

// After a failed write: the file is cut back to its last whole chunk and completed with what
// landed, its index if the disk still takes it, else without (readers walk 'movi').
bool TAviFileWriter::Salvage() {
    failed_ = false;
    if (!file_.resize(goodEnd_) || !file_.seek(goodEnd_))
        return failed_ = true, false;
    if (riffOpen_ && !EndRiff()) {
        failed_ = false;
        if (!file_.resize(goodEnd_) || !file_.seek(goodEnd_) || !PatchSegmentSizes(goodEnd_))
            return failed_ = true, false;
    }
    return WriteHeaderArea(true);
}

std::uint32_t TAviFileWriter::Close() {
    if (!file_.isOpen())
        return kAviOk;
    // A failure while completing keeps what landed, as after a failed chunk.
    bool ok = !failed_ && (!riffOpen_ || EndRiff()) && WriteHeaderArea(true);
    if (!ok)
        ok = Salvage();
    if (!file_.flush())
        ok = false;
    file_.close();
    streams_.clear();
    riffOpen_ = false;
    return ok ? kAviOk : kAviErrFileWrite;
}

std::uint32_t TAviFileReader::Open(const QString &path) {
    file_.close();
    frames_.clear();
    videoFormat_.clear();
    strlSeen_ = 0;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly))
        return kAviErrFileOpen;
    char head[12];
    if (file_.read(head, 12) != 12)
        return kAviErrFileRead;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "AVI ", 4) != 0)
        return kAviErrBadFormat;
    if (!Walk(0, file_.size(), 0))
        return kAviErrFileRead;
    return videoFormat_.size() >= 40 ? kAviOk : kAviErrBadFormat;
}

bool TAviFileReader::Walk(qint64 pos, qint64 end, int depth) {
    if (depth > 4)
        return false;
    while (pos + 8 <= end) {
        char h[12];
        if (!file_.seek(pos) || file_.read(h, 8) != 8)
            return false;
        const std::uint32_t id = GetLe32(h);
        const qint64 size = GetLe32(h + 4);
        const qint64 bodyEnd = std::min(end, pos + 8 + size);
        if (id == Tag("RIFF") || id == Tag("LIST")) {
            if (file_.read(h + 8, 4) != 4)
                return false;
            const std::uint32_t type = GetLe32(h + 8);
            if (type == Tag("AVI ") || type == Tag("AVIX") || type == Tag("hdrl") || type == Tag("strl") ||
                type == Tag("movi")) {
                if (type == Tag("strl"))
                    ++strlSeen_;
                if (!Walk(pos + 12, bodyEnd, depth + 1))
                    return false;
            }
        } else if (id == Tag("strf") && strlSeen_ == 1 && videoFormat_.isEmpty()) {
            videoFormat_ = file_.read(bodyEnd - pos - 8);
        } else if ((id & 0xFFFF) == 0x3030 && ((id >> 16) == 0x6264 || (id >> 16) == 0x6364)) { // "00db", "00dc"
            frames_.emplace_back(pos + 8, std::uint32_t(size));
        }
        pos += 8 + size + (size & 1);
    }
    return true;
}

bool TAviFileReader::ReadFrame(int index, QByteArray &data) {
    if (index < 0 || index >= int(frames_.size()))
        return false;
    const auto [offset, size] = frames_[size_t(index)];
    if (!file_.seek(offset))
        return false;
    data = file_.read(size);
    return data.size() == qsizetype(size);
}

} // namespace sky
