// Cinepak at the recording's window size, 716 x 388 (716 x 386 padded to multiples of 4), on a
// window-like sequence: chart with grid, labels and a noisy trace, a colour waterfall that
// scrolls one row a frame, a control strip with a ticking clock. Quality 5000, a key frame every
// 10 frames. Our encoder alone, and FFmpeg's Cinepak encoder as the catalogue used it before,
// through the same TVideoEncoder. Counters: frames per second (wall), bytes per frame, MB per
// minute at 10 fps, and the mean PSNR (dB, R, G and B) of libavcodec's decoding of one pass.
#include "bench_frames.h"
#include "bench_main.h"

#include "capture/cinepak_encoder.h"
#include "capture/codec_catalogue.h"
#include "capture/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <QPainter>
#include <QRandomGenerator>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 716, kHeight = 388, kSourceHeight = 386, kFrames = 50, kKeyEvery = 10, kQuality = 5000;

std::vector<QImage> WindowFrames() {
    std::vector<QImage> frames;
    QRandomGenerator rng(5);
    const int left = 40, right = kWidth - 20, chartTop = 10, chartBottom = 220;
    QImage waterfall(right - left, 110, QImage::Format_RGB32);
    waterfall.fill(Qt::black);
    for (int f = 0; f < kFrames; ++f) {
        QImage img(kWidth, kSourceHeight, QImage::Format_RGB32);
        img.fill(QColor(240, 240, 240));
        QPainter p(&img);
        p.fillRect(left, chartTop, right - left, chartBottom - chartTop, QColor(16, 16, 24));
        p.setPen(QColor(64, 64, 64));
        for (int x = left; x < right; x += 66)
            p.drawLine(x, chartTop, x, chartBottom - 1);
        for (int y = chartTop; y < chartBottom; y += 21)
            p.drawLine(left, y, right - 1, y);
        QFont font = p.font();
        font.setPixelSize(11);
        p.setFont(font);
        p.setPen(Qt::black);
        for (int y = chartTop, db = 0; y < chartBottom; y += 42, db -= 20)
            p.drawText(2, y + 10, QStringLiteral("%1").arg(db));
        for (int x = left, mhz = 100; x + 60 < right; x += 132, ++mhz)
            p.drawText(x, chartBottom + 12, QStringLiteral("%1.000 MHz").arg(mhz));
        DrawTraceAndWaterfall(p, waterfall, rng, left, chartBottom - 10, chartBottom - 10, 240);
        p.fillRect(0, kSourceHeight - 30, kWidth, 30, QColor(212, 208, 200));
        for (int x = 8, i = 0; x + 80 < kWidth; x += 90, ++i) {
            p.fillRect(x, kSourceHeight - 25, 80, 20, Qt::white);
            p.drawText(QRect(x, kSourceHeight - 25, 80, 20), Qt::AlignCenter,
                       i == 0 ? QStringLiteral("00:00:%1").arg(f / 10, 2, 10, QChar('0')) : QStringLiteral("Button %1").arg(i));
        }
        p.end();
        frames.push_back(img.copy(0, 0, kWidth, kHeight)); // padded with black, as the writer does
    }
    return frames;
}

const std::vector<QImage> &Frames() {
    static const std::vector<QImage> frames = WindowFrames();
    return frames;
}

double SquaredError(const QImage &a, const AVFrame *b) {
    double sum = 0;
    for (int y = 0; y < kHeight; ++y) {
        const QRgb *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const uint8_t *pb = b->data[0] + qsizetype(y) * b->linesize[0];
        for (int x = 0; x < kWidth; ++x) {
            const int dr = qRed(pa[x]) - pb[3 * x], dg = qGreen(pa[x]) - pb[3 * x + 1], db = qBlue(pa[x]) - pb[3 * x + 2];
            sum += dr * dr + dg * dg + db * db;
        }
    }
    return sum;
}

// One pass over the frames with a fresh encoder: bytes per frame and the mean PSNR of the
// decoded frames (-1 when the decoder refuses a frame).
template <class Encode>
void Measure(benchmark::State &state, Encode encode) {
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_CINEPAK);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    ctx->width = kWidth;
    ctx->height = kHeight;
    ctx->bits_per_coded_sample = 24;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    double bytes = 0, psnr = 0;
    bool ok = avcodec_open2(ctx, codec, nullptr) == 0;
    for (int f = 0; f < kFrames && ok; ++f) {
        QByteArray data;
        bool key = false;
        ok = encode(Frames()[size_t(f)], data, key) && av_new_packet(packet, int(data.size())) == 0;
        if (!ok)
            break;
        bytes += double(data.size());
        std::memcpy(packet->data, data.constData(), size_t(data.size()));
        if (key)
            packet->flags |= AV_PKT_FLAG_KEY;
        ok = avcodec_send_packet(ctx, packet) == 0 && avcodec_receive_frame(ctx, frame) == 0 &&
             frame->format == AV_PIX_FMT_RGB24;
        av_packet_unref(packet);
        if (ok)
            psnr += 10 * std::log10(255.0 * 255.0 * 3 * kWidth * kHeight / std::max(1.0, SquaredError(Frames()[size_t(f)], frame)));
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    state.counters["bytes_per_frame"] = bytes / kFrames;
    state.counters["MB_per_min"] = bytes / kFrames * 600 / 1e6;
    state.counters["PSNR_dB"] = ok ? psnr / kFrames : -1;
}

// Frames per second of an encoder running through the sequence, then one measured pass with a
// fresh one. `Open` opens the encoder it is given; `refusal` is said when it will not.
template <class Encoder, class OpenFn>
void EncodeFrames(benchmark::State &state, OpenFn open, const char *refusal) {
    Encoder enc;
    if (!open(enc)) {
        state.SkipWithError(refusal);
        return;
    }
    QByteArray data;
    bool key = false;
    std::size_t i = 0;
    for (auto _ : state)
        enc.Encode(Frames()[i++ % Frames().size()], data, key);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    Encoder fresh;
    open(fresh);
    Measure(state, [&](const QImage &img, QByteArray &out, bool &k) { return fresh.Encode(img, out, k); });
}

void BM_CinepakOwn(benchmark::State &state) {
    EncodeFrames<sky::TCinepakEncoder>(
        state, [](sky::TCinepakEncoder &e) { return e.Open(kWidth, kHeight, kQuality, kKeyEvery); }, "refused");
}
BENCHMARK(BM_CinepakOwn)->Unit(benchmark::kMillisecond)->UseRealTime();

// FFmpeg's encoder with the options the catalogue gave it (no extra codebook passes, one strip).
const sky::TCodecCandidate kFfmpegCinepak{"cvid", "Cinepak", "cinepak", "rgb24", 4, sky::TQualityScale::QScale,
                                         "max_extra_cb_iterations=0:max_strips=1"};

void BM_CinepakFfmpeg(benchmark::State &state) {
    EncodeFrames<sky::TVideoEncoder>(
        state, [](sky::TVideoEncoder &e) { return e.Open(kFfmpegCinepak, kWidth, kHeight, kQuality, kKeyEvery, 100); },
        "not in this FFmpeg build");
}
BENCHMARK(BM_CinepakFfmpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

SKYVANE_BENCHMARK_MAIN();
