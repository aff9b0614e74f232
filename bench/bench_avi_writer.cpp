// The AVI writer at the recording's frame: 716 x 400 at 24 bits, 10 frames per second.
// Every compressor of the catalogue through AddFrame (frame build, compression, chunk and index
// writing), and the uncompressed path alone. Counters: bytes per frame and MB per minute of video.
#include "bench_frames.h"
#include "bench_main.h"

#include "capture/avi_writer.h"
#include "capture/codec_catalogue.h"

#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

namespace {

constexpr int kWidth = 716, kHeight = 400;

// A window-like screenshot: control strip, spectrum chart with grid and a noisy trace, and a
// waterfall that scrolls by one row a frame.
std::vector<QImage> Screenshots(int count) {
    QRandomGenerator rng(7);
    std::vector<QImage> frames;
    QImage waterfall(kWidth - 60, 110, QImage::Format_RGB32);
    waterfall.fill(Qt::black);
    for (int f = 0; f < count; ++f) {
        QImage img(kWidth, kHeight, QImage::Format_RGB32);
        img.fill(QColor(240, 240, 240));
        QPainter p(&img);
        p.fillRect(40, 10, kWidth - 60, 230, Qt::black);
        p.setPen(QColor(64, 64, 64));
        for (int x = 40; x < kWidth - 20; x += 66)
            p.drawLine(x, 10, x, 239);
        for (int y = 10; y < 240; y += 23)
            p.drawLine(40, y, kWidth - 21, y);
        DrawTraceAndWaterfall(p, waterfall, rng, 40, 230, 200, 250);
        p.fillRect(0, 370, kWidth, 30, QColor(212, 208, 200));
        for (int x = 8; x < kWidth; x += 90)
            p.fillRect(x, 375, 80, 20, Qt::white);
        p.end();
        frames.push_back(img);
    }
    return frames;
}

const std::vector<QImage> &Frames() {
    static const std::vector<QImage> frames = Screenshots(50);
    return frames;
}

void Record(benchmark::State &state, const QString &codec, bool stretch) {
    QTemporaryDir dir;
    sky::TAviWriter w;
    w.Width = kWidth;
    w.Height = kHeight;
    w.FrameTime = 100;
    w.Stretch = stretch;
    w.filename = dir.filePath("bench.avi");
    w.SetCompression(codec);
    w.InitVideo();
    // A centred source one window border larger than the frame exercises the crop.
    const QImage bigger = Frames()[0].copy(-4, -4, kWidth + 8, kHeight + 8);
    std::size_t i = 0;
    for (auto _ : state) {
        if (stretch)
            w.AddFrame(Frames()[i++ % Frames().size()]);
        else
            w.AddFrame(bigger);
    }
    w.FinalizeVideo();
    w.WriteAvi();
    const double bytes = double(QFileInfo(w.filename).size()) / std::max<double>(1, double(state.iterations()));
    state.counters["bytes_per_frame"] = bytes;
    state.counters["MB_per_min"] = bytes * 600 / 1e6;
}

void BM_AddFrameUncompressed(benchmark::State &state) {
    Record(state, QString(), true);
}
BENCHMARK(BM_AddFrameUncompressed)->Unit(benchmark::kMillisecond);

void BM_AddFrameUncompressedCentred(benchmark::State &state) {
    Record(state, QString(), false);
}
BENCHMARK(BM_AddFrameUncompressedCentred)->Unit(benchmark::kMillisecond);

void BM_AddFrameCompressed(benchmark::State &state) {
    const sky::TCodecCandidate &c = sky::CodecCandidates()[size_t(state.range(0))];
    state.SetLabel(c.fourcc);
    if (!sky::CompressQuery(c, kWidth, kHeight, 24)) {
        state.SkipWithError("not in this FFmpeg build");
        for (auto _ : state) {
        }
        return;
    }
    Record(state, QLatin1String(c.fourcc), true);
}
BENCHMARK(BM_AddFrameCompressed)->DenseRange(0, int(sky::CodecCandidates().size()) - 1)->Unit(benchmark::kMillisecond);

} // namespace

SKYVANE_BENCHMARK_MAIN();
