#include "capture/video_encoder.h"

#include "capture/dib_frame.h"

#include "capture/ffmpeg_api.h"

#include <algorithm>
#include <mutex>

namespace sky {

TVideoEncoder::~TVideoEncoder() {
    Close();
}

void TVideoEncoder::Close() {
    if (ctx_ || frame_ || packet_ || sws_) { // only ever made with the libraries loaded
        const TFfmpegApi *ff = Ffmpeg();
        ff->sws_freeContext(sws_);
        sws_ = nullptr;
        ff->av_packet_free(&packet_);
        ff->av_frame_free(&frame_);
        ff->avcodec_free_context(&ctx_);
    }
    cinepak_.reset();
    codec_ = nullptr;
}

bool TVideoEncoder::Open(const TCodecCandidate &codec, int width, int height, int quality, int keyFrameEvery,
                         int frameTimeMs) {
    Close();
    if (!codec.encoder) {
        if (QLatin1String(codec.fourcc) != QLatin1String("cvid") || frameTimeMs <= 0)
            return false;
        cinepak_ = std::make_unique<TCinepakEncoder>();
        if (!cinepak_->Open(width, height, quality, keyFrameEvery)) {
            cinepak_.reset();
            return false;
        }
        codec_ = &codec;
        return true;
    }
    const TFfmpegApi *ff = Ffmpeg();
    if (!ff)
        return false; // no FFmpeg here: only our own encoder
    // Refusals during the compress query are expected; the writer reports failures itself.
    static std::once_flag quiet;
    std::call_once(quiet, [ff] { ff->av_log_set_level(AV_LOG_FATAL); });
    const AVCodec *enc = ff->avcodec_find_encoder_by_name(codec.encoder);
    const AVPixelFormat fmt = ff->av_get_pix_fmt(codec.pixFmt);
    if (!enc || fmt == AV_PIX_FMT_NONE || width <= 0 || height <= 0 || frameTimeMs <= 0)
        return false;
    ctx_ = ff->avcodec_alloc_context3(enc);
    if (!ctx_)
        return false;
    ctx_->width = width;
    ctx_->height = height;
    ctx_->pix_fmt = fmt;
    ctx_->time_base = AVRational{frameTimeMs, 1000};
    ctx_->framerate = AVRational{1000, frameTimeMs};
    ctx_->gop_size = std::max(1, keyFrameEvery);
    ctx_->keyint_min = ctx_->gop_size;
    // Video-1 places its next key frame once more than keyint_min frames have passed.
    if (QLatin1String(codec.encoder) == QLatin1String("msvideo1"))
        ctx_->keyint_min = ctx_->gop_size - 1;
    ctx_->max_b_frames = 0;
    // One frame in, one packet out: frame threading would hold frames back.
    ctx_->thread_count = 1;
    ctx_->codec_tag = FourCC(QString::fromLatin1(codec.fourcc));
    quality_ = MapQuality(codec.scale, quality);
    switch (codec.scale) {
    case TQualityScale::QScale:
        ctx_->flags |= AV_CODEC_FLAG_QSCALE;
        ctx_->global_quality = quality_ * FF_QP2LAMBDA;
        break;
    case TQualityScale::Crf:
        ff->av_opt_set_int(ctx_->priv_data, "crf", quality_, 0);
        break;
    case TQualityScale::Deflate:
        ctx_->compression_level = quality_;
        break;
    case TQualityScale::Lossless:
    case TQualityScale::Direct:
        break;
    }
    AVDictionary *opts = nullptr;
    if (*codec.options)
        ff->av_dict_parse_string(&opts, codec.options, "=", ":", 0);
    const int rc = ff->avcodec_open2(ctx_, enc, &opts);
    ff->av_dict_free(&opts);
    if (rc < 0) {
        Close();
        return false;
    }
    frame_ = ff->av_frame_alloc();
    packet_ = ff->av_packet_alloc();
    sws_ = ff->sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, fmt, SWS_POINT, nullptr, nullptr, nullptr);
    if (!frame_ || !packet_ || !sws_) {
        Close();
        return false;
    }
    frame_->format = fmt;
    frame_->width = width;
    frame_->height = height;
    if (ff->av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return false;
    }
    codec_ = &codec;
    pts_ = 0;
    return true;
}

QSize TVideoEncoder::Size() const {
    if (cinepak_)
        return cinepak_->Size();
    return ctx_ ? QSize(ctx_->width, ctx_->height) : QSize();
}

QByteArray TVideoEncoder::Format() const {
    if (cinepak_) {
        const QSize s = cinepak_->Size();
        return BitmapInfo(s.width(), s.height(), 24, FourCC(QString::fromLatin1(codec_->fourcc)),
                          std::uint32_t(DibStride(s.width(), 24) * s.height()), false);
    }
    if (!ctx_)
        return {};
    const int bits = ctx_->bits_per_coded_sample > 0 ? ctx_->bits_per_coded_sample : 24;
    QByteArray f = BitmapInfo(ctx_->width, ctx_->height, bits, FourCC(QString::fromLatin1(codec_->fourcc)),
                              std::uint32_t(DibStride(ctx_->width, bits) * ctx_->height), false);
    if (ctx_->extradata && ctx_->extradata_size > 0) {
        f.append(reinterpret_cast<const char *>(ctx_->extradata), ctx_->extradata_size);
        PutLe32(f.data(), std::uint32_t(f.size()));
    }
    return f;
}

bool TVideoEncoder::Encode(const QImage &image, QByteArray &out, bool &keyFrame) {
    if (cinepak_)
        return cinepak_->Encode(image, out, keyFrame);
    if (!ctx_ || image.width() != ctx_->width || image.height() != ctx_->height ||
        image.format() != QImage::Format_RGB32)
        return false;
    const TFfmpegApi *ff = Ffmpeg(); // loaded: the context was made with it
    if (ff->av_frame_make_writable(frame_) < 0)
        return false;
    const uint8_t *src[1] = {image.constBits()};
    const int srcStride[1] = {int(image.bytesPerLine())};
    ff->sws_scale(sws_, src, srcStride, 0, image.height(), frame_->data, frame_->linesize);
    // The key frame interval is forced as well, for encoders that keep their own.
    frame_->pict_type = pts_ % ctx_->gop_size == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    frame_->pts = pts_++;
    if (codec_->scale == TQualityScale::QScale)
        frame_->quality = quality_ * FF_QP2LAMBDA;
    if (ff->avcodec_send_frame(ctx_, frame_) < 0)
        return false;
    if (ff->avcodec_receive_packet(ctx_, packet_) < 0)
        return false;
    out = QByteArray(reinterpret_cast<const char *>(packet_->data), packet_->size);
    keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    ff->av_packet_unref(packet_);
    return true;
}

} // namespace sky
