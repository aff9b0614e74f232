// Our Cinepak encoder, read back by libavcodec's Cinepak decoder: picture quality against the
// source, key and inter frames, unchanged and odd pictures, the codebooks, and whole files
// through the AVI writer read by ffmpeg.
#include "capture/cinepak_encoder.h"

#include "capture_test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <string>

using namespace sky;
using cinepak::TCodebook;
using cinepak::TVec;

namespace {

// A window-like picture at time t: a dark chart with grid, labels and a trace that moves, a
// colour waterfall band that scrolls down one row a frame, and a light control strip with a clock.
QImage WindowFrame(int w, int h, int t) {
    EnsureCaptureApp();
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(20, 22, 30));
    QPainter p(&img);
    const int chartTop = 8, chartBottom = h * 11 / 20, left = 48, right = w - 12;
    p.setPen(QColor(70, 72, 84));
    for (int x = left; x <= right; x += 60)
        p.drawLine(x, chartTop, x, chartBottom);
    for (int y = chartTop; y <= chartBottom; y += 25)
        p.drawLine(left, y, right, y);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(220, 220, 220));
    for (int y = chartTop, db = 0; y + 12 <= chartBottom; y += 50, db -= 20)
        p.drawText(2, y + 10, QStringLiteral("%1 dB").arg(db));
    for (int x = left, f = 0; x + 60 <= right; x += 120, f += 2)
        p.drawText(x + 2, chartBottom + 12, QStringLiteral("%1.0 MHz").arg(100 + f));
    QRandomGenerator rng(quint32(1000 + t));
    p.setPen(QColor(255, 230, 0));
    int prev = chartBottom - 20;
    for (int x = left + 1; x < right; ++x) {
        const double peak = 0.6 * std::exp(-std::pow((x - w / 3 - t) / 8.0, 2)) + 0.3 * std::exp(-std::pow((x - w * 2 / 3) / 4.0, 2));
        const int y = chartBottom - 10 - int((chartBottom - chartTop - 20) * (peak + 0.05 * rng.generateDouble()));
        p.drawLine(x - 1, prev, x, y);
        prev = y;
    }
    p.end();
    // Waterfall: the row r pixels down shows sweep t - r.
    const int wfTop = chartBottom + 18, wfBottom = h - 30;
    for (int y = wfTop; y < wfBottom; ++y) {
        const int sweep = t - (y - wfTop);
        QRandomGenerator line(quint32(sweep + 100000));
        QRgb *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = left; x < right; ++x) {
            const double level = 0.15 + 0.1 * line.generateDouble() + 0.7 * std::exp(-std::pow((x - w / 3 - sweep) / 10.0, 2));
            const int v = std::min(255, int(level * 255));
            row[x] = qRgb(v, std::max(0, 255 - 2 * std::abs(v - 128)), 255 - v);
        }
    }
    QPainter s(&img);
    s.fillRect(0, h - 30, w, 30, QColor(212, 208, 200));
    s.setFont(font);
    for (int x = 6, i = 0; x + 80 < w; x += 90, ++i) {
        s.fillRect(x, h - 25, 80, 20, Qt::white);
        s.setPen(Qt::black);
        s.drawText(QRect(x, h - 25, 80, 20), Qt::AlignCenter, i == 0 ? QStringLiteral("00:%1").arg(t / 10, 2, 10, QChar('0')) : QStringLiteral("Button %1").arg(i));
    }
    return img;
}

double Psnr(const QImage &a, const QImage &b, QRect area = {}) {
    if (area.isNull())
        area = a.rect();
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRgb *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const int dr = qRed(pa[x]) - qRed(pb[x]), dg = qGreen(pa[x]) - qGreen(pb[x]), db = qBlue(pa[x]) - qBlue(pb[x]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * area.width() * area.height());
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Whatever libavcodec logs at warning level or worse while a decoder runs.
std::vector<std::string> *gLog = nullptr;
void LogToList(void *avcl, int level, const char *fmt, va_list vl) {
    if (!gLog || level > AV_LOG_WARNING)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line(avcl, level, fmt, vl, line, sizeof line, &prefix);
    gLog->emplace_back(line);
}

// libavcodec's Cinepak decoder, one packet at a time, as a player runs it.
class Decoder {
public:
    Decoder(int width, int height) {
        ctx_ = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_CINEPAK));
        ctx_->width = width;
        ctx_->height = height;
        ctx_->bits_per_coded_sample = 24;
        open_ = avcodec_open2(ctx_, avcodec_find_decoder(AV_CODEC_ID_CINEPAK), nullptr) == 0;
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
    }
    ~Decoder() {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&ctx_);
    }
    // The picture after this packet; a null image when the decoder refuses it or complains.
    QImage Decode(const QByteArray &data, bool key) {
        if (!open_ || av_new_packet(packet_, int(data.size())) < 0)
            return {};
        std::memcpy(packet_->data, data.constData(), size_t(data.size()));
        if (key)
            packet_->flags |= AV_PKT_FLAG_KEY;
        std::vector<std::string> log;
        gLog = &log;
        av_log_set_callback(LogToList);
        const bool ok = avcodec_send_packet(ctx_, packet_) == 0 && avcodec_receive_frame(ctx_, frame_) == 0;
        av_log_set_callback(av_log_default_callback);
        gLog = nullptr;
        av_packet_unref(packet_);
        for (const std::string &l : log)
            ADD_FAILURE() << "decoder: " << l;
        if (!ok || !log.empty() || frame_->format != AV_PIX_FMT_RGB24)
            return {};
        QImage img(frame_->width, frame_->height, QImage::Format_RGB32);
        for (int y = 0; y < frame_->height; ++y) {
            const uint8_t *s = frame_->data[0] + qsizetype(y) * frame_->linesize[0];
            QRgb *d = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < frame_->width; ++x)
                d[x] = qRgb(s[3 * x], s[3 * x + 1], s[3 * x + 2]);
        }
        return img;
    }

private:
    AVCodecContext *ctx_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    bool open_ = false;
};

struct Coded {
    QByteArray data;
    bool key = false;
};

} // namespace

TEST(CaptureCinepak, WindowSequenceDecodesCloseToTheSource) {
    const int w = 716, h = 388, n = 25;
    TCinepakEncoder enc;
    ASSERT_TRUE(enc.Open(w, h, 5000, 10));
    EXPECT_EQ(enc.Size(), QSize(w, h));
    Decoder dec(w, h);
    std::vector<Coded> coded;
    qsizetype keyBytes = 0, interBytes = 0;
    for (int t = 0; t < n; ++t) {
        SCOPED_TRACE(t);
        const QImage src = WindowFrame(w, h, t);
        Coded c;
        ASSERT_TRUE(enc.Encode(src, c.data, c.key));
        EXPECT_EQ(c.key, t % 10 == 0);
        (c.key ? keyBytes : interBytes) += c.data.size();
        const QImage out = dec.Decode(c.data, c.key);
        ASSERT_FALSE(out.isNull());
        EXPECT_GE(Psnr(src, out), 30.0);
        coded.push_back(c);
    }
    // Most of the window stands still: the frames between key frames are smaller, though the
    // waterfall changes everywhere every frame.
    EXPECT_LT(interBytes / (n - 3), keyBytes / 3 * 3 / 4);

    // A key frame stands alone: a player starting there shows what one that ran from the first
    // frame shows, and goes on showing the same.
    Decoder all(w, h), fromKey(w, h);
    for (int t = 0; t < n; ++t) {
        const QImage a = all.Decode(coded[size_t(t)].data, coded[size_t(t)].key);
        if (t < 10)
            continue;
        const QImage b = fromKey.Decode(coded[size_t(t)].data, coded[size_t(t)].key);
        ASSERT_FALSE(b.isNull());
        EXPECT_EQ(a, b) << t;
    }
}

TEST(CaptureCinepak, UnchangedBlocksAreLeftAsTheDecoderHasThem) {
    const int w = 320, h = 240;
    TCinepakEncoder enc;
    ASSERT_TRUE(enc.Open(w, h, -1, 100));
    Decoder dec(w, h);
    QImage src = WindowFrame(w, h, 3);
    QByteArray first, second, third;
    bool key = false;
    ASSERT_TRUE(enc.Encode(src, first, key));
    EXPECT_TRUE(key);
    const QImage shown = dec.Decode(first, true);
    ASSERT_FALSE(shown.isNull());

    // The same picture again: a flag bit a block and the headers, nothing else.
    ASSERT_TRUE(enc.Encode(src, second, key));
    EXPECT_FALSE(key);
    const int blocks = (w / 4) * (h / 4);
    EXPECT_LE(second.size(), 10 + enc.Strips() * (12 + 4 + 4) + blocks / 8);
    EXPECT_EQ(dec.Decode(second, false), shown);

    // One changed pixel: only its block changes on the screen, and it shows the new colour.
    src.setPixel(101, 57, qRgb(255, 255, 255));
    ASSERT_TRUE(enc.Encode(src, third, key));
    EXPECT_FALSE(key);
    EXPECT_LT(third.size(), second.size() + 40);
    const QImage after = dec.Decode(third, false);
    ASSERT_FALSE(after.isNull());
    const QRect block(100, 56, 4, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!block.contains(x, y) && after.pixel(x, y) != shown.pixel(x, y))
                FAIL() << "pixel " << x << "," << y << " changed outside the block";
    EXPECT_GT(qGray(after.pixel(101, 57)), qGray(shown.pixel(101, 57)) + 60);
}

TEST(CaptureCinepak, OddPicturesDecode) {
    struct Case {
        const char *name;
        int w, h;
        std::function<QRgb(int, int, int)> pixel; // x, y, frame
        double minPsnr;
    };
    const Case cases[] = {
        {"black", 64, 48, [](int, int, int) { return qRgb(0, 0, 0); }, 99},
        {"white", 64, 48, [](int, int, int) { return qRgb(255, 255, 255); }, 45},
        {"primaries", 64, 48, [](int x, int y, int) {
             static const QRgb c[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(0, 255, 255)};
             return c[(x / 4 + y / 4) % 5]; }, 30},
        {"noise", 200, 120, [](int x, int y, int f) {
             const quint32 v = quint32(x * 7919 + y * 104729 + f * 15485863) * 2654435761u;
             return qRgb(int(v >> 24), int(v >> 16) & 255, int(v >> 8) & 255); }, 8},
        {"smallest", 4, 4, [](int x, int y, int f) { return qRgb(x * 60, y * 60, f * 40); }, 20},
        {"tall", 8, 1200, [](int x, int y, int) { return qRgb(y % 256, (x * 30) % 256, 128); }, 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TCinepakEncoder enc;
        ASSERT_TRUE(enc.Open(c.w, c.h, 5000, 3));
        Decoder dec(c.w, c.h);
        for (int f = 0; f < 5; ++f) {
            QImage src(c.w, c.h, QImage::Format_RGB32);
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    src.setPixel(x, y, c.pixel(x, y, f));
            QByteArray data;
            bool key = false;
            ASSERT_TRUE(enc.Encode(src, data, key));
            EXPECT_EQ(key, f % 3 == 0);
            const QImage out = dec.Decode(data, key);
            ASSERT_FALSE(out.isNull()) << f;
            EXPECT_GE(Psnr(src, out), c.minPsnr) << f;
        }
    }
}

TEST(CaptureCinepak, QualityTradesSizeForFidelityAndSizesOutsideTheFormatAreRefused) {
    const QImage src = WindowFrame(360, 240, 5);
    double lastPsnr = 0, lowest = 0;
    qsizetype lastSize = 0;
    for (int q : {0, 2500, 5000, 7500, 10000}) {
        SCOPED_TRACE(q);
        TCinepakEncoder enc;
        ASSERT_TRUE(enc.Open(360, 240, q, 1));
        QByteArray data;
        bool key = false;
        ASSERT_TRUE(enc.Encode(src, data, key));
        const QImage out = Decoder(360, 240).Decode(data, true);
        ASSERT_FALSE(out.isNull());
        const double psnr = Psnr(src, out);
        if (q > 0) {
            EXPECT_GT(psnr, lastPsnr);
            EXPECT_GT(data.size(), lastSize);
        } else {
            lowest = psnr;
        }
        lastPsnr = psnr;
        lastSize = data.size();
    }
    // The waterfall's colour changes from pixel to pixel, more than chroma shared by 2x2 pixels
    // carries: about 30.7 dB is all the format can do here.
    EXPECT_GT(lastPsnr, 30.5);
    EXPECT_GT(lastPsnr, lowest + 3);

    TCinepakEncoder enc;
    for (const QSize bad : {QSize(0, 4), QSize(6, 4), QSize(4, 10), QSize(65536, 4), QSize(8192, 8192)})
        EXPECT_FALSE(enc.Open(bad.width(), bad.height(), 5000, 10)) << bad.width() << "x" << bad.height();
    EXPECT_FALSE(enc.IsOpen());
    // A 4K frame cannot keep every strip under 64 KB in 32 strips at the worst.
    EXPECT_FALSE(enc.Open(3840, 2160, 5000, 10));
    EXPECT_TRUE(enc.Open(2560, 1440, 5000, 10));
    QByteArray data;
    bool key = false;
    EXPECT_FALSE(enc.Encode(QImage(2560, 1444, QImage::Format_RGB32), data, key)); // not the open size
    EXPECT_FALSE(enc.Encode(QImage(2560, 1440, QImage::Format_ARGB32), data, key));
}

// A tall frame at the highest Quality (narrow strips) still has at most the 32 strips decoders
// keep: its bottom rows decode as well as its top ones, and every strip fits a 16-bit size.
TEST(CaptureCinepak, TallFramesKeepToThirtyTwoStrips) {
    for (const QSize size : {QSize(1920, 1080), QSize(640, 2048)}) {
        SCOPED_TRACE(size.width());
        TCinepakEncoder enc;
        ASSERT_TRUE(enc.Open(size.width(), size.height(), 10000, 10));
        const QImage src = WindowFrame(size.width(), size.height(), 3);
        QByteArray data;
        bool key = false;
        ASSERT_TRUE(enc.Encode(src, data, key));
        ASSERT_GE(data.size(), 10);
        const auto byte = [&](int i) { return int(uchar(data[i])); };
        const int strips = byte(8) << 8 | byte(9);
        EXPECT_LE(strips, 32);
        // Each strip: its id, then a size of which the first byte is the id's low byte.
        for (int at = 10, k = 0; k < strips; ++k) {
            ASSERT_LT(at + 4, data.size());
            EXPECT_EQ(byte(at) & 0xF0, 0x10) << k;
            const int stripBytes = byte(at + 2) << 8 | byte(at + 3);
            EXPECT_EQ(byte(at + 1), 0) << "strip " << k << " over 64 KB";
            at += stripBytes;
        }
        Decoder dec(size.width(), size.height());
        const QImage out = dec.Decode(data, key);
        ASSERT_FALSE(out.isNull());
        const QRect bottom(0, size.height() - 64, size.width(), 64);
        EXPECT_GE(Psnr(src, out, bottom), 30.0);
        EXPECT_GE(Psnr(src, out), 30.0);
    }
}

TEST(CaptureCinepak, CodebooksAreExactForFewVectorsAndNearestForMany) {
    QRandomGenerator rng(11);
    auto randomVec = [&](int spread) {
        TVec v;
        for (int d = 0; d < 4; ++d)
            v.y[d] = std::uint8_t(rng.bounded(spread));
        v.u = std::int8_t(int(rng.bounded(spread / 2)) - spread / 4);
        v.v = std::int8_t(int(rng.bounded(spread / 2)) - spread / 4);
        return v;
    };
    TCodebook cb;
    // 200 distinct vectors, each several times: every one is an entry of its own.
    std::vector<TVec> few;
    for (int i = 0; i < 200; ++i)
        few.push_back(randomVec(256));
    std::vector<TVec> vecs;
    for (int r = 0; r < 5; ++r)
        vecs.insert(vecs.end(), few.begin(), few.end());
    std::vector<std::uint8_t> index(vecs.size());
    std::vector<int> error(vecs.size());
    cb.Build(vecs.data(), int(vecs.size()), 1, index.data(), error.data());
    ASSERT_EQ(cb.Entries().size(), 200u);
    for (std::size_t i = 0; i < vecs.size(); ++i) {
        EXPECT_EQ(error[i], 0);
        EXPECT_EQ(std::memcmp(&cb.Entries()[index[i]], &vecs[i], sizeof(TVec)), 0);
    }

    // Many: 256 entries, every vector on its nearest one (the search's cut-off must not miss it).
    for (int spread : {256, 40}) {
        vecs.clear();
        for (int i = 0; i < 5000; ++i)
            vecs.push_back(randomVec(spread));
        index.assign(vecs.size(), 0);
        error.assign(vecs.size(), 0);
        cb.Build(vecs.data(), int(vecs.size()), 1, index.data(), error.data());
        ASSERT_EQ(cb.Entries().size(), 256u);
        double total = 0;
        for (std::size_t i = 0; i < vecs.size(); ++i) {
            int best = 1 << 30;
            for (const TVec &e : cb.Entries())
                best = std::min(best, TCodebook::Distance(vecs[i], e));
            ASSERT_EQ(error[i], best) << i;
            ASSERT_EQ(TCodebook::Distance(vecs[i], cb.Entries()[index[i]]), best) << i;
            total += best;
        }
        // Far better than one entry for all: the cells follow the vectors.
        TVec mean{};
        double sum[6] = {};
        for (const TVec &v : vecs)
            for (int d = 0; d < 6; ++d)
                sum[d] += v.C(d);
        for (int d = 0; d < 4; ++d)
            mean.y[d] = std::uint8_t(std::lround(sum[d] / double(vecs.size())));
        mean.u = std::int8_t(std::lround(sum[4] / double(vecs.size())));
        mean.v = std::int8_t(std::lround(sum[5] / double(vecs.size())));
        double flat = 0;
        for (const TVec &v : vecs)
            flat += TCodebook::Distance(v, mean);
        EXPECT_LT(total, flat / 4) << spread;
    }
}

TEST(CaptureCinepak, WriterRecordsAStandardCinepakFile) {
    SKIP_WITHOUT_FFMPEG();
    const int w = 716, h = 386, n = 25; // the writer pads to 716 x 388
    QTemporaryDir dir;
    TAviWriter writer;
    writer.Width = w;
    writer.Height = h;
    writer.FrameTime = 100;
    writer.filename = dir.filePath("window.avi");
    writer.SetCompression("cvid");
    writer.InitVideo();
    std::vector<QImage> sources;
    for (int t = 0; t < n; ++t) {
        sources.push_back(WindowFrame(w, h, t));
        writer.AddFrame(sources.back());
    }
    writer.FinalizeVideo();
    writer.WriteAvi();

    const skytest::Probe p = skytest::ProbeFile(writer.filename);
    ASSERT_TRUE(p.ok);
    const QJsonObject v = p.Video();
    EXPECT_EQ(v["codec_name"].toString(), "cinepak");
    EXPECT_EQ(v["codec_tag_string"].toString(), "cvid");
    EXPECT_EQ(v["width"].toInt(), 716);
    EXPECT_EQ(v["height"].toInt(), 388);
    EXPECT_EQ(p.keyFlags, "K_________K_________K____");
    QFile f(writer.filename);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    const qsizetype strf = all.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(GetLe16(all.constData() + strf + 8 + 14), 24);
    EXPECT_EQ(QByteArray(all.constData() + strf + 8 + 16, 4), "cvid");

    QString errors;
    const auto frames = skytest::DecodeFrames(writer.filename, 716, 388, &errors); // with -xerror
    ASSERT_EQ(frames.size(), size_t(n)) << errors.toStdString();
    for (int t = 0; t < n; ++t)
        EXPECT_GE(Psnr(sources[size_t(t)], frames[size_t(t)], QRect(0, 0, w, h)), 30.0) << t;
    // The padding rows are black.
    EXPECT_LT(qGray(frames[0].pixel(300, 387)), 8);
    // About ten frames a second of a live window stay within a few tens of MB a minute.
    const double mbPerMinute = double(QFileInfo(writer.filename).size()) / n * 600 / 1e6;
    EXPECT_LT(mbPerMinute, 30.0);
}
