#include "capture/codec_catalogue.h"

#include "capture/video_encoder.h"

#include <cmath>

namespace sky {

const std::vector<TCodecCandidate> &CodecCandidates() {
    // Cinepak is our own encoder: FFmpeg's spends 0.3 to 1 s a frame at window size in its
    // codebook search; ours builds its codebooks from the distinct vectors and codes only the
    // blocks that changed, well within a frame time.
    // ZMBV's default motion search (+-8 pixels) takes ~90 ms a frame; +-2 catches the scrolling
    // waterfall at a sixth of the time.
    static const std::vector<TCodecCandidate> table = {
        {"cvid", "Cinepak", nullptr, nullptr, 4, TQualityScale::Direct, ""},
        {"MJPG", "Motion JPEG", "mjpeg", "yuvj420p", 2, TQualityScale::QScale, ""},
        {"FMP4", "MPEG-4 part 2", "mpeg4", "yuv420p", 2, TQualityScale::QScale, ""},
        {"XVID", "Xvid MPEG-4", "libxvid", "yuv420p", 2, TQualityScale::QScale, ""},
        {"MP43", "MS MPEG-4 v3", "msmpeg4", "yuv420p", 2, TQualityScale::QScale, ""},
        {"H264", "H.264 (x264)", "libx264", "yuv420p", 2, TQualityScale::Crf, "preset=veryfast:tune=zerolatency"},
        {"ZMBV", "Zip Motion Block", "zmbv", "bgr0", 1, TQualityScale::Deflate, "me_range=2"},
        {"FFV1", "FFV1 lossless", "ffv1", "bgr0", 1, TQualityScale::Lossless, ""},
        {"MSVC", "Video-1", "msvideo1", "rgb555le", 4, TQualityScale::QScale, ""},
        {"HFYU", "Huffyuv", "huffyuv", "rgb24", 1, TQualityScale::Lossless, ""},
        {"MPNG", "PNG", "png", "rgb24", 1, TQualityScale::Deflate, ""},
    };
    return table;
}

const TCodecCandidate *FindCodec(const QString &fourcc) {
    const QString code = fourcc.left(4);
    for (const TCodecCandidate &c : CodecCandidates())
        if (code.compare(QLatin1String(c.fourcc), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

int MapQuality(TQualityScale scale, int quality) {
    const double q = quality < 0 ? 5000.0 : std::min(quality, 10000);
    switch (scale) {
    case TQualityScale::QScale: {
        const double f = (10000.0 - q) / 10000.0;
        return 1 + int(std::nearbyint(30.0 * f * f));
    }
    case TQualityScale::Crf:
        return int(std::nearbyint(51.0 * (10000.0 - q) / 10000.0));
    case TQualityScale::Deflate:
        return int(std::nearbyint(9.0 * q / 10000.0));
    case TQualityScale::Lossless:
        break;
    case TQualityScale::Direct:
        return int(q);
    }
    return 0;
}

namespace {
int RoundUp(int v, int multiple) {
    return (v + multiple - 1) / multiple * multiple;
}
} // namespace

QSize CompressedFrameSize(const TCodecCandidate &codec, int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    TVideoEncoder probe;
    for (int m = codec.align; m <= 16; m *= 2) {
        const int w = RoundUp(width, m), h = RoundUp(height, m);
        if (probe.Open(codec, w, h, 5000, 10, 100))
            return {w, h};
    }
    return {};
}

bool CompressQuery(const TCodecCandidate &codec, int width, int height, int bitsPerPixel) {
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return false;
    return !CompressedFrameSize(codec, width, height).isEmpty();
}

QStringList CompressorList(int width, int height, int bitsPerPixel) {
    QStringList list{QStringLiteral("No Compression")};
    for (const TCodecCandidate &c : CodecCandidates())
        if (CompressQuery(c, width, height, bitsPerPixel))
            list << QLatin1String(c.fourcc) + QLatin1Char(' ') + QLatin1String(c.name);
    return list;
}

} // namespace sky
