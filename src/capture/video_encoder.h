#pragma once
// One encoder compressing RGB32 frames, one frame in and one packet out, in order: an FFmpeg
// encoder, or our own Cinepak encoder for the candidate without an FFmpeg encoder name.
// Safe to use from any thread; each instance is used by one thread at a time.
#include "capture/cinepak_encoder.h"
#include "capture/codec_catalogue.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace sky {

class TVideoEncoder {
public:
    TVideoEncoder() = default;
    ~TVideoEncoder();
    TVideoEncoder(const TVideoEncoder &) = delete;
    TVideoEncoder &operator=(const TVideoEncoder &) = delete;

    // Opens the encoder for frames of exactly width x height (already padded). `keyFrameEvery`
    // is the GOP length; `frameTimeMs` the duration of one frame. False when it refuses.
    bool Open(const TCodecCandidate &codec, int width, int height, int quality, int keyFrameEvery, int frameTimeMs);
    void Close();
    bool IsOpen() const { return ctx_ != nullptr || cinepak_ != nullptr; }
    QSize Size() const;

    // The stream format as the compressor writes it: a bitmap information header with the
    // encoder's FOURCC and depth, followed by the encoder's extra data.
    QByteArray Format() const;

    // Compresses one RGB32 frame of the open size. `keyFrame` tells what the encoder produced.
    bool Encode(const QImage &frame, QByteArray &out, bool &keyFrame);

private:
    const TCodecCandidate *codec_ = nullptr;
    std::unique_ptr<TCinepakEncoder> cinepak_;
    AVCodecContext *ctx_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    SwsContext *sws_ = nullptr;
    int quality_ = 0;
    long long pts_ = 0;
};

} // namespace sky
