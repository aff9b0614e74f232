#pragma once
// The video compressors, addressed by FOURCC: FFmpeg encoders, and our own Cinepak encoder.
//
// Each candidate names the FFmpeg encoder (none for our own), the pixel format it is fed, the
// size multiple it needs (frames of other sizes are padded with black on the right and at the
// bottom) and how the writer's Quality (0..10000, the platform's scale) maps onto the encoder's
// own scale:
//   QScale   quantiser 1 + round(30 * ((10000 - q) / 10000)^2): 10000 -> 1 (best), 5000 -> 9,
//            0 -> 31 (MJPEG, MPEG-4, MS MPEG-4, Video-1)
//   Crf      x264 constant rate factor round(51 * (10000 - q) / 10000): 10000 -> 0, 5000 -> 26, 0 -> 51
//   Deflate  zlib effort round(9 * q / 10000): 0 -> 0, 5000 -> 4, 10000 -> 9; the picture is
//            lossless, a higher Quality buys a smaller file with more work (ZMBV, PNG)
//   Lossless no scale: the picture is exact whatever the Quality (FFV1, Huffyuv)
//   Direct   the writer's Quality itself, 0..10000 (Cinepak: the error a block may keep on one
//            vector, see cinepak_encoder.h)
// A negative Quality is the platform's "default" and counts as 5000; values above 10000 count as
// 10000. "round" is to nearest with ties to even.
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace sky {

enum class TQualityScale { QScale, Crf, Deflate, Lossless, Direct };

struct TCodecCandidate {
    const char *fourcc;     // as written into the file
    const char *name;       // short name, at most 16 characters
    const char *encoder;    // FFmpeg encoder name; null for our own encoder of this FOURCC
    const char *pixFmt;     // FFmpeg pixel format the encoder is fed (null for our own: RGB32)
    int align;              // width and height multiple the encoder needs
    TQualityScale scale;
    const char *options;    // encoder private options "key=value:key=value", or ""
};

const std::vector<TCodecCandidate> &CodecCandidates();

// The candidate for a code (its first four characters, compared case-insensitively), or null.
const TCodecCandidate *FindCodec(const QString &fourcc);

// Quality on the encoder's scale (see above).
int MapQuality(TQualityScale scale, int quality);

// The frame size the encoder records for a width x height frame: the next size it accepts,
// found from the candidate's multiple and, should the encoder still refuse, larger multiples.
// An empty size when an FFmpeg encoder is missing from this build or the encoder refuses every size.
QSize CompressedFrameSize(const TCodecCandidate &codec, int width, int height);

// The compress query: this encoder exists (our own always does) and opens for a frame of that size
// (padded as above) and depth (1, 4, 8, 24 or 32 bits).
bool CompressQuery(const TCodecCandidate &codec, int width, int height, int bitsPerPixel);

// "No Compression", then "FOURCC Name" for every candidate that passes the compress query.
QStringList CompressorList(int width, int height, int bitsPerPixel);

} // namespace sky
