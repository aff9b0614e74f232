#include "capture/avi_writer.h"

#include "capture/codec_catalogue.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

namespace sky {

namespace {

QSize ScreenSize() {
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        if (const QScreen *s = QGuiApplication::primaryScreen())
            return s->size();
    return {1024, 768};
}

bool DeleteIfPresent(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

// Runs a clean-up when leaving the scope, also by an error.
template <class F> struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F> Finally(F) -> Finally<F>;

QImage PadTo(const QImage &frame, QSize size) {
    if (frame.size() == size)
        return frame;
    return frame.copy(0, 0, size.width(), size.height()); // the area outside is filled with 0: black
}

} // namespace

TAviWriter::TAviWriter() {
    const QSize screen = ScreenSize();
    Width = screen.width() / 10;
    Height = screen.height() / 10;
    QString temp = QDir::tempPath();
    if (!temp.endsWith(QLatin1Char('/')))
        temp += QLatin1Char('/');
    static std::atomic<int> writers{0};
    TempFileName = temp + QStringLiteral("~AWTemp-%1-%2.avi").arg(QCoreApplication::applicationPid()).arg(++writers);
}

TAviWriter::~TAviWriter() {
    CloseFile();
    if (tempCreated_)
        DeleteIfPresent(TempFileName);
}

void TAviWriter::SetPixelFormat(TPixelFormat value) {
    if (BitsPerPixel(value) == 0)
        throw Error(QStringLiteral("Pixelformat not supported"));
    pixelFormat_ = value;
}

namespace {
void CheckWaveName(const QString &name) {
    if (QFileInfo(name).suffix().toLower() != QLatin1String("wav") || name.endsWith(QLatin1Char('/')))
        throw Error(QStringLiteral("WavFileName must name a file with the .wav extension"));
}
} // namespace

void TAviWriter::SetWavFileName(const QString &value) {
    if (value.compare(wavFileName_, Qt::CaseInsensitive) != 0 && !value.isEmpty())
        CheckWaveName(value);
    wavFileName_ = value;
}

void TAviWriter::AddWaveFile(const QString &path, int startMs) {
    CheckWaveName(path);
    waveList_.append({path, startMs});
}

void TAviWriter::SetCompression(const QString &code) {
    const QString c = code.left(4);
    compression_.clear();
    if (c.isEmpty())
        return;
    const TCodecCandidate *codec = FindCodec(c);
    if (!codec || !CompressQuery(*codec, Width, Height, BitsPerPixel(pixelFormat_)))
        throw Error(QStringLiteral("No compressor for ") + c + QStringLiteral(" available"));
    compression_ = c;
}

void TAviWriter::GetCompressorList(QStringList &list) const {
    list = CompressorList(Width, Height, BitsPerPixel(pixelFormat_));
}

TAviStreamInfo TAviWriter::VideoStreamInfo() const {
    TAviStreamInfo info;
    info.fccType = FourCC(QStringLiteral("vids"));
    info.fccHandler = FourCC(compression_);
    info.scale = std::uint32_t(FrameTime);
    info.rate = 1000;
    info.quality = std::uint32_t(Quality);
    info.frameWidth = frameWidth_;
    info.frameHeight = frameHeight_;
    info.chunkType = 'd' | 'b' << 8;
    return info;
}

void TAviWriter::CloseFile() {
    encoder_.Close();
    if (file_)
        file_->Close();
    file_.reset();
    videoStream_ = -1;
}

void TAviWriter::InitVideo() {
    // A file still open from an earlier run is completed rather than left behind half-written.
    CloseFile();
    aborted_ = false;
    const QString path = DirectCompression ? filename : TempFileName;
    if (!DeleteIfPresent(path))
        throw Error(QStringLiteral("Could not delete ") + path +
                    QStringLiteral(" file might be in use. Try to close the folder if it's open in Explorer"));
    file_ = std::make_unique<TAviFileWriter>(RiffLimit);
    file_->SetSizeLimit(SizeLimit);
    const std::uint32_t rc = file_->Create(path);
    if (!DirectCompression)
        tempCreated_ = tempCreated_ || rc == kAviOk;
    if (rc != kAviOk) {
        // The code as ever, then where and why, so the user can do something about it.
        const QString why = file_->ErrorString();
        file_.reset();
        throw Error(QStringLiteral("Failed to create AVI video file. Err: $") + Hex8(rc) + QStringLiteral("\n") +
                    QDir::toNativeSeparators(path) + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    frameWidth_ = Width;
    frameHeight_ = Height;
    frameBits_ = BitsPerPixel(pixelFormat_);
    if (Width <= 0 || Height <= 0 || FrameTime <= 0 || Width > 0x7FFF || Height > 0x7FFF ||
        (videoStream_ = file_->AddStream(VideoStreamInfo())) < 0) {
        CloseFile();
        throw Error(QStringLiteral("Failed to create AVI video stream"));
    }
    frameCounter_ = 0;
    dropFrames_ = 0;
    videoInitialized_ = true;
}

void TAviWriter::AddFrame(const QImage &bitmap) {
    if (aborted_)
        return;
    if (!videoInitialized_)
        throw Error(QStringLiteral("Video not initialized"));
    // A frame beyond 1 GiB is refused like a bitmap the system cannot create.
    QImage frame;
    if (qint64(frameWidth_) * frameHeight_ <= (qint64(1) << 28))
        frame = QImage(frameWidth_, frameHeight_, QImage::Format_RGB32);
    if (frame.isNull()) {
        if (frameCounter_ == 0)
            throw Error(QStringLiteral("Failed to retrieve bitmap header and pixels. Err: 8"));
        return;
    }
    // Like a bitmap copy, the frame takes the colours and never the transparency of the image.
    const QImage *src = &bitmap;
    QImage converted;
    if (!bitmap.isNull() && bitmap.format() != QImage::Format_RGB32) {
        converted = bitmap.convertToFormat(QImage::Format_RGB32);
        src = &converted;
    }
    if (Stretch && src->size() == frame.size()) {
        for (int y = 0; y < frameHeight_; ++y)
            std::memcpy(frame.scanLine(y), src->constScanLine(y), size_t(frameWidth_) * 4);
    } else {
        frame.fill(Qt::black);
        if (!src->isNull()) {
            QPainter p(&frame);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            if (Stretch)
                p.drawImage(QRect(0, 0, frameWidth_, frameHeight_), *src);
            else
                p.drawImage(QPoint((frameWidth_ - src->width()) / 2, (frameHeight_ - src->height()) / 2), *src);
        }
    }
    QuantiseToPalette(frame, frameBits_);
    WriteFrame(frame, true);
}

void TAviWriter::InitStreamFormat(const QImage &frame) {
    const int bits = frameBits_;
    format_ = BitmapInfo(frame.width(), frame.height(), bits, 0,
                         std::uint32_t(DibStride(frame.width(), bits) * frame.height()));
    if (format_.isEmpty())
        throw Error(QStringLiteral("Failed to retrieve bitmap info"));
    QByteArray streamFormat = format_;
    keyFrameEvery_ = 0;
    if (!compression_.isEmpty()) {
        keyFrameEvery_ = int(std::nearbyint(1000.0 / FrameTime));
        if (DirectCompression) {
            const TCodecCandidate *codec = FindCodec(compression_);
            const QSize size = codec ? CompressedFrameSize(*codec, frame.width(), frame.height()) : QSize();
            if (size.isEmpty() ||
                !encoder_.Open(*codec, size.width(), size.height(), Quality, keyFrameEvery_, FrameTime))
                throw Error(QStringLiteral("Failed to create compressed stream"));
            streamFormat = encoder_.Format();
            file_->SetChunkType(videoStream_, 'd' | 'c' << 8);
        }
    }
    file_->SetFormat(videoStream_, streamFormat);
}

void TAviWriter::RaiseWriteError() {
    QString why = file_ ? file_->ErrorString() : QString();
    if (why.isEmpty())
        why = QStringLiteral("the write failed");
    throw Error(QStringLiteral("Unable to write output file. Error ") + Hex8(kAviErrFileWrite) + QStringLiteral("\n") +
                QDir::toNativeSeparators(DirectCompression ? filename : TempFileName) + QStringLiteral(": ") + why);
}

void TAviWriter::AddDropFrame() {
    if (aborted_)
        return;
    if (!videoInitialized_)
        throw Error(QStringLiteral("Video not initialized"));
    if (frameCounter_ == 0)
        return; // nothing to repeat yet
    if (file_->Write(videoStream_, nullptr, 0, false) != kAviOk)
        RaiseWriteError();
    ++frameCounter_;
    ++dropFrames_;
    Progress(frameCounter_);
}

void TAviWriter::Refresh() {
    if (file_ && videoInitialized_ && frameCounter_ > 0 && file_->Refresh() != kAviOk)
        RaiseWriteError();
}

bool TAviWriter::WriteCompressed(TAviFileWriter &file, TVideoEncoder &encoder, const QImage &frame) {
    QByteArray packet;
    bool key = false;
    if (!encoder.Encode(PadTo(frame, encoder.Size()), packet, key)) {
        packet.clear(); // an empty chunk keeps the later frames in time
        key = false;
    }
    return file.Write(0, packet.constData(), packet.size(), key) == kAviOk;
}

void TAviWriter::WriteFrame(const QImage &frame, bool keyFrame) {
    if (frameCounter_ == 0)
        InitStreamFormat(frame);
    bool written;
    if (encoder_.IsOpen()) {
        written = WriteCompressed(*file_, encoder_, frame);
    } else {
        PackDib(frame, frameBits_, dib_);
        written = file_->Write(videoStream_, dib_.constData(), dib_.size(), keyFrame) == kAviOk;
    }
    // The disk refused it: later frames could not land either, and the file keeps what did.
    if (!written)
        RaiseWriteError();
    ++frameCounter_;
    Progress(frameCounter_);
}

void TAviWriter::Progress(int frameCount) {
    if (!OnProgress)
        return;
    bool abort = aborted_;
    OnProgress(this, frameCount, abort);
    if (abort)
        aborted_ = true;
}

void TAviWriter::FinalizeVideo() {
    videoInitialized_ = false;
    videoFinalized_ = true;
}

void TAviWriter::ReleaseAll() {
    CloseFile();
    waveList_.clear();
    if (std::exchange(tempCreated_, false))
        DeleteIfPresent(TempFileName);
    videoFinalized_ = false;
}

void TAviWriter::WriteAvi() {
    if (aborted_ || !videoFinalized_) {
        const bool finalized = videoFinalized_;
        ReleaseAll();
        if (!finalized)
            throw Error(QStringLiteral("Video must be finalized"));
        return;
    }
    Finally cleanup{[this] { ReleaseAll(); }};
    if (!DirectCompression && wavFileName_.isEmpty() && !waveList_.isEmpty())
        wavFileName_ = waveList_.first().path;
    if (DirectCompression) {
        QList<TWaveEntry> list = waveList_;
        if (list.isEmpty() && !wavFileName_.isEmpty())
            list.append({wavFileName_, 0});
        if (file_ && !list.isEmpty())
            MergeWaveList(list, *file_);
        encoder_.Close();
        // A recording whose file could not be completed must not pass for a saved one.
        if (file_ && file_->Close() != kAviOk)
            RaiseWriteError();
        return;
    }
    TWaveFile wave;
    if (!wavFileName_.isEmpty())
        OpenWaveStream(wave);
    if (!DeleteIfPresent(filename))
        throw Error(QStringLiteral("File ") + QFileInfo(filename).fileName() + QStringLiteral(" could not be deleted"));
    const std::uint32_t rc = SaveTwoPass(wavFileName_.isEmpty() ? nullptr : &wave);
    if (rc != kAviOk && !aborted_)
        throw Error(QStringLiteral("Unable to write output file. Error ") + Hex8(rc));
}

void TAviWriter::OpenWaveStream(TWaveFile &wave) {
    const std::uint32_t rc = wave.Open(wavFileName_);
    if (rc != kAviOk) {
        wavFileName_.clear();
        switch (rc) {
        case kRegdbClassNotReg:
            throw Error(QStringLiteral("According to the registry, the type of audio file specified in AVIFileOpen "
                                       "does not have a handler to process it."));
        case kAviErrBadFormat:
            throw Error(
                QStringLiteral("The file could not be read, indicating a corrupt file or an unrecognized format."));
        case kAviErrMemory:
            throw Error(QStringLiteral("The file could not be opened because of insufficient memory."));
        case kAviErrFileRead:
            throw Error(QStringLiteral("A disk error occurred while reading the audio file."));
        case kAviErrFileOpen:
            throw Error(QStringLiteral("A disk error occurred while opening the audio file."));
        default:
            throw Error(QStringLiteral("Unknown error opening audio file"));
        }
    }
    if (!wave.HasAudio())
        throw Error(QStringLiteral("Unable to get audio stream"));
}

std::uint32_t TAviWriter::SaveTwoPass(TWaveFile *wave) {
    // The temporary file is completed before it is read back.
    CloseFile();
    TAviFileReader reader;
    std::uint32_t rc = reader.Open(TempFileName);
    if (rc != kAviOk)
        return rc;
    TAviFileWriter out(RiffLimit);
    if ((rc = out.Create(filename)) != kAviOk)
        return rc;
    TVideoEncoder encoder;
    const int video = out.AddStream(VideoStreamInfo());
    const QByteArray &rawFormat = reader.VideoFormat();
    if (!compression_.isEmpty()) {
        const TCodecCandidate *codec = FindCodec(compression_);
        const int w = int(GetLe32(rawFormat.constData() + 4)), h = int(GetLe32(rawFormat.constData() + 8));
        const QSize size = codec ? CompressedFrameSize(*codec, w, h) : QSize();
        if (size.isEmpty() || !encoder.Open(*codec, size.width(), size.height(), Quality,
                                            keyFrameEvery_ > 0 ? keyFrameEvery_ : 1, FrameTime))
            return kAviErrCompressor;
        out.SetFormat(video, encoder.Format());
        out.SetChunkType(video, 'd' | 'c' << 8);
    } else {
        out.SetFormat(video, rawFormat);
    }
    int audio = -1;
    qint64 audioDone = 0;
    if (wave) {
        audio = out.AddStream(wave->StreamInfo());
        out.SetFormat(audio, wave->Format().Bytes());
    }
    // Sound is interleaved with the frames: after each frame, the sound up to that frame's end.
    auto writeAudioUntil = [&](qint64 sample) -> std::uint32_t {
        sample = std::min(sample, wave->Length());
        QByteArray data;
        while (audioDone < sample) {
            const qint64 n = std::min<qint64>(sample - audioDone, std::max(1, wave->Format().samplesPerSec));
            if (std::uint32_t r = wave->Read(audioDone, n, data); r != kAviOk)
                return r;
            if (std::uint32_t r = out.Write(audio, data.constData(), data.size(), true, std::uint32_t(n)); r != kAviOk)
                return r;
            audioDone += n;
        }
        return kAviOk;
    };
    const int frames = reader.FrameCount();
    QByteArray data;
    for (int i = 0; i < frames; ++i) {
        if (!reader.ReadFrame(i, data))
            return kAviErrFileRead;
        if (encoder.IsOpen()) {
            const QImage image = UnpackDib(rawFormat, data.constData(), data.size());
            if (image.isNull())
                return kAviErrBadFormat;
            if (!WriteCompressed(out, encoder, image))
                return kAviErrFileWrite;
        } else if (out.Write(video, data.constData(), data.size(), true) != kAviOk) {
            return kAviErrFileWrite;
        }
        if (audio >= 0) {
            const qint64 until = qint64(std::floor((i + 1) * double(FrameTime) * wave->Format().samplesPerSec / 1000.0));
            if (std::uint32_t r = writeAudioUntil(until); r != kAviOk)
                return r;
        }
        const int percent = int((qint64(i) + 1) * 100 / frames);
        Progress(int(std::trunc(frameCounter_ * 0.01 * percent)));
        if (aborted_) {
            out.Close();
            return kAviErrUserAbort;
        }
    }
    if (audio >= 0)
        if (std::uint32_t r = writeAudioUntil(wave->Length()); r != kAviOk)
            return r;
    return out.Close();
}

} // namespace sky
