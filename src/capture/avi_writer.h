#pragma once
// TAviWriter turns a sequence of images into an AVI file: fixed frame size and duration, each
// image stretched or centred onto the frame, optionally compressed by a video compressor chosen
// by FOURCC, optionally with a sound track from WAV files.
//
// Direct mode (the default) compresses every frame as it arrives and writes it into `filename`.
// Two-pass mode writes the frames uncompressed into `TempFileName`; WriteAvi then compresses them
// into `filename` together with the sound of `WavFileName`.
//
// No widget is used: the writer may run on any one thread at a time (the recording compresses on
// its own thread). Errors are raised as sky::Error with the texts below.
#include "capture/avi_riff.h"
#include "capture/dib_frame.h"
#include "capture/video_encoder.h"
#include "capture/wave_file.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace sky {

class TAviWriter;

// Progress: frames written so far (or, while WriteAvi compresses in two-pass mode, the frame
// counter scaled by the percentage done). Setting `abort` stops the writer.
using TProgressEvent = std::function<void(TAviWriter *sender, int frameCount, bool &abort)>;

class TAviWriter {
public:
    TAviWriter();
    ~TAviWriter();
    TAviWriter(const TAviWriter &) = delete;
    TAviWriter &operator=(const TAviWriter &) = delete;

    // Published properties.
    int Height;               // default: screen height div 10
    int Width;                // default: screen width div 10
    int FrameTime = 1000;     // milliseconds per frame
    bool Stretch = true;      // stretch each image to the frame, else centre it unscaled on black
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TPixelFormat value); // 1, 4, 8, 24 or 32 bits, else "Pixelformat not supported"
    QString filename;
    const QString &WavFileName() const { return wavFileName_; }
    void SetWavFileName(const QString &value);
    TProgressEvent OnProgress;

    // Other state.
    int Quality = 5000;            // 0..10000
    bool DirectCompression = true;
    // Default: the temporary folder + "~AWTemp-<process>-<writer>.avi", a name of this writer's
    // own. Only a temporary file this writer made is ever deleted.
    QString TempFileName;
    qint64 RiffLimit = kDefaultRiffLimit; // size of a RIFF segment before the file goes on as OpenDML
    const QString &Compression() const { return compression_; }
    bool Aborted() const { return aborted_; }
    bool VideoInitialized() const { return videoInitialized_; }
    bool VideoFinalized() const { return videoFinalized_; }
    const QList<TWaveEntry> &WaveList() const { return waveList_; }
    int FrameCounter() const { return frameCounter_; }
    const QByteArray &FrameFormat() const { return format_; }

    void AddWaveFile(const QString &path, int startMs);
    // Empty: no compression. Else the first 4 characters name a compressor of the catalogue that
    // must take a Width x Height frame, else "No compressor for <code> available".
    void SetCompression(const QString &code);
    void SetCompressionQuality(int value) { Quality = value; }
    // "No Compression", then "FOURCC Name" for each compressor that takes the current frame.
    void GetCompressorList(QStringList &list) const;

    void InitVideo();
    // A frame that cannot be written (a full disk) raises "Unable to write output file. Error
    // 8004406E" with the file and the system's reason; from then on frames are refused and
    // WriteAvi completes the file with the frames that landed.
    void AddFrame(const QImage &bitmap);
    // A frame that repeats the one before (an empty chunk players show as a repeat): keeps the
    // video in time when a frame could not be compressed in time. Counts as a frame.
    void AddDropFrame();
    // Rewrites the file's headers for the frames written so far (see TAviFileWriter::Refresh).
    void Refresh();
    void FinalizeVideo();
    void WriteAvi();
    int DropFrames() const { return dropFrames_; } // of the frame counter since InitVideo
    // The disk refused a write of this file: no more frames land in it.
    bool WriteFailed() const { return file_ && file_->WriteFailed(); }
    // Test seam: the file refuses to grow past this size, as a full disk would (-1: no limit).
    qint64 SizeLimit = -1;

private:
    void WriteFrame(const QImage &frame, bool keyFrame);
    [[noreturn]] void RaiseWriteError();
    void InitStreamFormat(const QImage &frame);
    void Progress(int frameCount);
    void CloseFile();
    void ReleaseAll();
    void OpenWaveStream(TWaveFile &wave);
    std::uint32_t SaveTwoPass(TWaveFile *wave);
    TAviStreamInfo VideoStreamInfo() const;
    bool WriteCompressed(TAviFileWriter &file, TVideoEncoder &encoder, const QImage &frame);

    TPixelFormat pixelFormat_ = TPixelFormat::pf24bit;
    // Frame geometry fixed by InitVideo: every frame of a file has the size and depth of its format.
    int frameWidth_ = 0, frameHeight_ = 0, frameBits_ = 0;
    QString wavFileName_;
    std::unique_ptr<TAviFileWriter> file_;
    int videoStream_ = -1;
    TVideoEncoder encoder_;
    int frameCounter_ = 0;
    int dropFrames_ = 0;
    bool tempCreated_ = false;
    QString compression_;
    QByteArray format_;
    int keyFrameEvery_ = 0;
    bool aborted_ = false;
    bool videoInitialized_ = false;
    bool videoFinalized_ = false;
    QList<TWaveEntry> waveList_;
    QByteArray dib_;
};

} // namespace sky
