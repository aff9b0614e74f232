// The AVI writer: files read back by ffprobe/ffmpeg, frame placement, OpenDML, sound, messages.
#include "capture/avi_riff.h"
#include "capture/avi_writer.h"
#include "capture/codec_catalogue.h"
#include "platform/error.h"

#include "capture_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <thread>

using namespace sky;
using skytest::SpectrumFrame;

namespace {

QString ErrorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const Error &e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

struct Recording {
    QTemporaryDir dir;
    TAviWriter w;
    Recording(int width, int height) {
        w.Width = width;
        w.Height = height;
        w.FrameTime = 100;
        w.filename = dir.filePath("out.avi");
        w.TempFileName = dir.filePath("~AWTemp.avi");
    }
    void Record(int frames, int sourceWidth, int sourceHeight) {
        w.InitVideo();
        for (int i = 0; i < frames; ++i)
            w.AddFrame(SpectrumFrame(sourceWidth, sourceHeight, i));
        w.FinalizeVideo();
        w.WriteAvi();
    }
};

// Frames as our own reader gets them back (uncompressed files only).
std::vector<QImage> ReadBack(const QString &path) {
    TAviFileReader r;
    std::vector<QImage> frames;
    if (r.Open(path) != kAviOk)
        return frames;
    QByteArray data;
    for (int i = 0; i < r.FrameCount(); ++i)
        if (r.ReadFrame(i, data))
            frames.push_back(UnpackDib(r.VideoFormat(), data.constData(), data.size()));
    return frames;
}

} // namespace

TEST(CaptureAviUncompressed, EveryDepthDecodesToTheFramePixels) {
    SKIP_WITHOUT_FFMPEG();
    const std::pair<TPixelFormat, QString> depths[] = {{TPixelFormat::pf1bit, "1"}, {TPixelFormat::pf4bit, "4"},
                                                      {TPixelFormat::pf8bit, "8"}, {TPixelFormat::pf24bit, "24"},
                                                      {TPixelFormat::pf32bit, "32"}};
    for (const auto &[format, name] : depths) {
        SCOPED_TRACE(name.toStdString());
        Recording r(63, 47); // odd width: rows need padding to 4 bytes at every depth
        r.w.SetPixelFormat(format);
        r.Record(12, 63, 47);
        const skytest::Probe p = skytest::ProbeFile(r.w.filename);
        ASSERT_TRUE(p.ok);
        const QJsonObject v = p.Video();
        EXPECT_EQ(v["codec_name"].toString(), "rawvideo");
        EXPECT_EQ(v["width"].toInt(), 63);
        EXPECT_EQ(v["height"].toInt(), 47);
        EXPECT_EQ(v["r_frame_rate"].toString(), "10/1");
        EXPECT_EQ(v["nb_read_packets"].toString(), "12");
        EXPECT_EQ(p.keyFlags, QString(12, 'K'));
        const auto frames = skytest::DecodeFrames(r.w.filename, 63, 47);
        ASSERT_EQ(frames.size(), 12u);
        QImage expected = SpectrumFrame(63, 47, 0);
        QuantiseToPalette(expected, BitsPerPixel(format));
        EXPECT_EQ(frames[0], expected);
        EXPECT_EQ(ReadBack(r.w.filename)[0], expected);
        QImage last = SpectrumFrame(63, 47, 11);
        QuantiseToPalette(last, BitsPerPixel(format));
        EXPECT_EQ(frames[11], last);
    }
}

TEST(CaptureAviUncompressed, HeadersCarryStreamValues) {
    Recording r(40, 30);
    r.w.Quality = 7777;
    r.Record(3, 40, 30);
    QFile f(r.w.filename);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    const qsizetype strh = all.indexOf("strh");
    ASSERT_GT(strh, 0);
    const char *h = all.constData() + strh + 8;
    EXPECT_EQ(QByteArray(h, 4), "vids");
    EXPECT_EQ(GetLe32(h + 4), 0u);         // no handler for uncompressed frames
    EXPECT_EQ(GetLe32(h + 20), 100u);      // scale = FrameTime
    EXPECT_EQ(GetLe32(h + 24), 1000u);     // rate
    EXPECT_EQ(GetLe32(h + 32), 3u);        // length
    EXPECT_EQ(GetLe32(h + 40), 7777u);     // quality
    EXPECT_EQ(GetLe16(h + 52), 40);        // frame rectangle right, bottom
    EXPECT_EQ(GetLe16(h + 54), 30);
    const qsizetype strf = all.indexOf("strf");
    EXPECT_EQ(GetLe32(all.constData() + strf + 4), 40u);
    EXPECT_EQ(GetLe16(all.constData() + strf + 8 + 14), 24);           // bits
    EXPECT_EQ(GetLe32(all.constData() + strf + 8 + 16), 0u);            // BI_RGB
    EXPECT_EQ(GetLe32(all.constData() + strf + 8 + 20), 120u * 30);    // image size
    const qsizetype idx1 = all.indexOf("idx1");
    ASSERT_GT(idx1, 0);
    EXPECT_EQ(GetLe32(all.constData() + idx1 + 4), 3u * 16);
    EXPECT_EQ(QByteArray(all.constData() + idx1 + 8, 4), "00db");
    EXPECT_EQ(GetLe32(all.constData() + idx1 + 12), 0x10u);
}

TEST(CaptureAviFrames, CentreCropsAndStretches) {
    // Distinct colour per source pixel, so each frame pixel tells where it came from.
    QImage src(13, 11, QImage::Format_RGB32);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x)
            src.setPixel(x, y, qRgb(x * 10 + 5, y * 10 + 5, 200));
    QImage small(3, 2, QImage::Format_RGB32);
    small.fill(qRgb(0, 255, 0));

    Recording r(10, 8);
    r.w.Stretch = false;
    r.w.InitVideo();
    r.w.AddFrame(src);   // larger: shift (10-13)/2 = -1, (8-11)/2 = -1
    r.w.AddFrame(small); // smaller: shift (10-3)/2 = 3, (8-2)/2 = 3
    r.w.FinalizeVideo();
    r.w.WriteAvi();
    auto frames = ReadBack(r.w.filename);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].pixel(0, 0), src.pixel(1, 1));
    EXPECT_EQ(frames[0].pixel(9, 7), src.pixel(10, 8)); // the extra column and row are cut on the right, bottom
    EXPECT_EQ(frames[1].pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(frames[1].pixel(5, 4), qRgb(0, 255, 0));
    EXPECT_EQ(frames[1].pixel(2, 3), qRgb(0, 0, 0));
    EXPECT_EQ(frames[1].pixel(6, 3), qRgb(0, 0, 0));
    EXPECT_EQ(frames[1].pixel(3, 5), qRgb(0, 0, 0));

    QImage quad(2, 2, QImage::Format_RGB32);
    quad.setPixel(0, 0, qRgb(255, 0, 0));
    quad.setPixel(1, 0, qRgb(0, 255, 0));
    quad.setPixel(0, 1, qRgb(0, 0, 255));
    quad.setPixel(1, 1, qRgb(255, 255, 255));
    Recording s(4, 4);
    s.w.InitVideo();
    s.w.Width = 9; // takes effect with the next InitVideo: the frames of a file keep its format
    s.w.SetPixelFormat(TPixelFormat::pf8bit);
    s.w.AddFrame(quad);
    s.w.FinalizeVideo();
    s.w.WriteAvi();
    frames = ReadBack(s.w.filename);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(frames[0].pixel(2, 1), qRgb(0, 255, 0));
    EXPECT_EQ(frames[0].pixel(1, 3), qRgb(0, 0, 255));
    EXPECT_EQ(frames[0].pixel(3, 3), qRgb(255, 255, 255));
}

TEST(CaptureAviCompressed, EveryListedCompressorRecordsAPlayableFile) {
    SKIP_WITHOUT_FFMPEG();
    // 101 x 75 suits no compressor that needs even sizes or multiples of 4.
    const QStringList list = CompressorList(101, 75, 24);
    for (const char *required : {"cvid", "MJPG", "FMP4", "H264", "ZMBV", "FFV1", "MSVC", "HFYU"})
        EXPECT_TRUE(list.filter(QRegularExpression(QStringLiteral("^") + required + " ")).size() == 1) << required;
    for (int i = 1; i < list.size(); ++i) {
        const QString code = list[i].left(4);
        SCOPED_TRACE(code.toStdString());
        EXPECT_LE(list[i].size() - 5, 16);
        Recording r(101, 75);
        r.w.SetCompression(code);
        ASSERT_EQ(r.w.Compression(), code);
        r.Record(25, 180, 120);
        const skytest::Probe p = skytest::ProbeFile(r.w.filename);
        ASSERT_TRUE(p.ok);
        const QJsonObject v = p.Video();
        const TCodecCandidate *codec = FindCodec(code);
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(v["codec_tag_string"].toString(), code);
        EXPECT_EQ(v["r_frame_rate"].toString(), "10/1");
        EXPECT_EQ(v["nb_read_packets"].toString(), "25");
        EXPECT_EQ(v["nb_read_frames"].toString(), "25");
        const int width = v["width"].toInt(), height = v["height"].toInt();
        EXPECT_GE(width, 101);
        EXPECT_GE(height, 75);
        EXPECT_EQ(width % codec->align, 0);
        EXPECT_EQ(height % codec->align, 0);
        EXPECT_LT(width, 101 + 16);
        // Key frames: the first one and one every 10 frames; inter-frame codecs also make others.
        ASSERT_EQ(p.keyFlags.size(), 25);
        EXPECT_EQ(p.keyFlags[0], 'K');
        EXPECT_EQ(p.keyFlags[10], 'K') << p.keyFlags.toStdString();
        EXPECT_EQ(p.keyFlags[20], 'K');
        const bool intraOnly = code == "MJPG" || code == "HFYU" || code == "MPNG";
        EXPECT_EQ(p.keyFlags.count('_') == 0, intraOnly) << p.keyFlags.toStdString();
        QString errors;
        const auto frames = skytest::DecodeFrames(r.w.filename, width, height, &errors);
        EXPECT_EQ(frames.size(), 25u) << errors.toStdString();
        if (!frames.empty()) {
            // The padding is black.
            if (width > 101) {
                const QRgb pad = frames[0].pixel(width - 1, height - 1);
                EXPECT_LT(qRed(pad) + qGreen(pad) + qBlue(pad), 60);
            }
            if (codec->scale == TQualityScale::Lossless || code == "ZMBV" || code == "MPNG") {
                QImage expected(101, 75, QImage::Format_RGB32);
                QPainter(&expected).drawImage(QRect(0, 0, 101, 75), SpectrumFrame(180, 120, 0));
                EXPECT_EQ(frames[0].copy(0, 0, 101, 75), expected);
            }
        }
    }
}

TEST(CaptureAviCompressed, QualityChangesTheFileAsTheScaleSays) {
    QTemporaryDir dir;
    auto sizeAt = [&](const QString &code, int quality) {
        TAviWriter w;
        w.Width = 200;
        w.Height = 150;
        w.FrameTime = 100;
        w.filename = dir.filePath(code + QString::number(quality) + ".avi");
        w.SetCompression(code);
        w.SetCompressionQuality(quality);
        w.InitVideo();
        for (int i = 0; i < 5; ++i)
            w.AddFrame(SpectrumFrame(200, 150, i));
        w.FinalizeVideo();
        w.WriteAvi();
        return QFileInfo(w.filename).size();
    };
    for (const char *code : {"MJPG", "FMP4", "H264"}) {
        SCOPED_TRACE(code);
        EXPECT_GT(sizeAt(code, 9000), sizeAt(code, 1000));
    }
}

TEST(CaptureAviOpenDml, FilePastTheRiffLimitReadsBackEveryFrame) {
    SKIP_WITHOUT_FFMPEG();
    for (const QString code : {"", "MJPG"}) {
        SCOPED_TRACE(code.toStdString());
        Recording r(100, 80);
        r.w.RiffLimit = 300 * 1024; // 24000 bytes a frame: about a dozen frames per RIFF
        r.w.SetCompression(code);
        r.w.Quality = 10000;
        r.w.InitVideo();
        for (int i = 0; i < 150; ++i) {
            QImage frame(100, 80, QImage::Format_RGB32);
            for (int y = 0; y < 80; ++y) // noise, so that compressed frames are large too
                for (int x = 0; x < 100; ++x)
                    frame.setPixel(x, y, qRgb((x * 37 + y * 91 + i * 13) * 2654435761u >> 24, (x * y + i) & 255, 128));
            QPainter(&frame).fillRect(40, 30, 20, 20, QColor(i, i, i)); // frame number
            r.w.AddFrame(frame);
        }
        r.w.FinalizeVideo();
        r.w.WriteAvi();
        QFile f(r.w.filename);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        EXPECT_GE(all.count("AVIX"), code.isEmpty() ? 10 : 1);
        EXPECT_TRUE(all.contains("indx") && all.contains("ix00") && all.contains("dmlh") && all.contains("idx1"));
        // Every RIFF stays within the limit.
        for (qsizetype at = 0; at >= 0 && at < all.size(); at = all.indexOf("RIFF", at + 1))
            EXPECT_LE(GetLe32(all.constData() + at + 4) + 8u, 300u * 1024);
        const skytest::Probe p = skytest::ProbeFile(r.w.filename);
        EXPECT_EQ(p.Video()["nb_read_packets"].toString(), "150");
        const auto frames = skytest::DecodeFrames(r.w.filename, 100, 80);
        ASSERT_EQ(frames.size(), 150u);
        for (int i = 0; i < 150; i += 7)
            EXPECT_NEAR(qGray(frames[size_t(i)].pixel(50, 42)), i, code.isEmpty() ? 0 : 4) << i; // luma survives
        if (code.isEmpty()) {
            EXPECT_EQ(ReadBack(r.w.filename).size(), 150u);
        }
    }
}

TEST(CaptureAviOpenDml, SoundAddedAfterTheFramesLandsInLaterRiffs) {
    SKIP_WITHOUT_FFMPEG();
    Recording r(100, 80);
    r.w.RiffLimit = 200 * 1024;
    const QString wav = r.dir.filePath("tone.wav");
    ASSERT_TRUE(skytest::WriteWave(wav, 2, 16, 44100, 44100 * 3, [](int i, int c) { return c ? -(i % 500) : i % 500; }));
    r.w.SetWavFileName(wav);
    r.Record(30, 100, 80); // 3 s of frames, 720 KB, then 3 s of sound (530 KB)
    QFile f(r.w.filename);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_GE(f.readAll().count("ix01"), 2);
    const skytest::Probe p = skytest::ProbeFile(r.w.filename);
    EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "30");
    EXPECT_EQ(p.Audio()["channels"].toInt(), 2);
    const auto s = skytest::DecodeAudio(r.w.filename);
    ASSERT_EQ(s.size(), size_t(44100 * 3 * 2));
    EXPECT_EQ(s[2 * 100000], 100000 % 500);
    EXPECT_EQ(s[2 * 100000 + 1], -(100000 % 500));
}

TEST(CaptureAviSound, TwoPassAddsTheWaveStream) {
    SKIP_WITHOUT_FFMPEG();
    for (const QString code : {"", "FMP4"}) {
        SCOPED_TRACE(code.toStdString());
        Recording r(64, 48);
        const QString wav = r.dir.filePath("sound.wav");
        ASSERT_TRUE(skytest::WriteWave(wav, 1, 16, 22050, 44100, [](int i, int) { return (i % 100) * 50; }));
        r.w.DirectCompression = false;
        r.w.RiffLimit = 100 * 1024; // the temporary file (184 KB of frames) goes on as OpenDML
        r.w.SetCompression(code);
        r.w.SetWavFileName(wav);
        std::vector<int> progress;
        bool saving = false;
        r.w.OnProgress = [&](TAviWriter *, int n, bool &) {
            if (saving)
                progress.push_back(n);
        };
        r.w.InitVideo();
        for (int i = 0; i < 20; ++i)
            r.w.AddFrame(SpectrumFrame(64, 48, i));
        r.w.FinalizeVideo();
        EXPECT_TRUE(QFile::exists(r.w.TempFileName));
        saving = true;
        r.w.WriteAvi();
        EXPECT_FALSE(QFile::exists(r.w.TempFileName));
        ASSERT_EQ(progress.size(), 20u);
        EXPECT_EQ(progress[0], 1);   // trunc(20 * 0.01 * 5)
        EXPECT_EQ(progress[9], 10);  // trunc(20 * 0.01 * 50)
        EXPECT_EQ(progress[19], 20);
        const skytest::Probe p = skytest::ProbeFile(r.w.filename);
        EXPECT_EQ(p.Video()["nb_read_frames"].toString(), "20");
        EXPECT_EQ(p.Video()["codec_name"].toString(), code.isEmpty() ? "rawvideo" : "mpeg4");
        EXPECT_EQ(p.Audio()["codec_name"].toString(), "pcm_s16le");
        EXPECT_EQ(p.Audio()["sample_rate"].toString(), "22050");
        const auto samples = skytest::DecodeAudio(r.w.filename);
        ASSERT_EQ(samples.size(), 44100u);
        EXPECT_EQ(samples[12345], (12345 % 100) * 50);
        if (code.isEmpty()) { // the uncompressed frames are copied as they were
            EXPECT_EQ(skytest::DecodeFrames(r.w.filename, 64, 48)[5], SpectrumFrame(64, 48, 5));
        }
    }
}

TEST(CaptureAviSound, DirectModeMergesTheWaveList) {
    SKIP_WITHOUT_FFMPEG();
    Recording r(32, 24);
    const int rate = 11025;
    auto make = [&](const QString &name, int channels, int seconds10, int value) {
        const QString path = r.dir.filePath(name);
        EXPECT_TRUE(skytest::WriteWave(path, channels, 16, rate, rate * seconds10 / 10, [=](int, int) { return value; }));
        return path;
    };
    r.w.AddWaveFile(make("b.wav", 1, 10, 2000), 1000);  // 1.0 s at 1.0 s, cut at 1.5 s by d
    r.w.AddWaveFile(make("a.wav", 1, 5, 1000), 0);      // 0.5 s at 0, then a gap to 1.0 s
    r.w.AddWaveFile(make("c.wav", 2, 10, 9999), 200);   // stereo: another format, skipped
    r.w.AddWaveFile(make("d.wav", 1, 5, 3000), 1500);   // 0.5 s at 1.5 s
    r.Record(20, 32, 24);
    EXPECT_TRUE(r.w.WaveList().isEmpty());
    const auto s = skytest::DecodeAudio(r.w.filename);
    ASSERT_EQ(s.size(), size_t(rate * 15 / 10 + rate * 5 / 10)); // d's start, then d
    EXPECT_EQ(s[0], 1000);
    EXPECT_EQ(s[rate / 2 - 1], 1000);
    EXPECT_EQ(s[rate - 1 - 3], s[rate - 1 - 3 - 16]); // the gap repeats the 16-frame silence block
    for (int i = rate / 2; i < rate; ++i)
        ASSERT_LE(std::abs(s[size_t(i)]), 8) << i;
    EXPECT_EQ(s[rate], 2000);
    EXPECT_EQ(s[rate * 3 / 2 - 1], 2000);
    EXPECT_EQ(s[rate * 3 / 2], 3000);
    EXPECT_EQ(s.back(), 3000);
}

TEST(CaptureAviAbort, ProgressHandlerStopsDirectAndTwoPassRecordings) {
    SKIP_WITHOUT_FFMPEG();
    Recording r(32, 24);
    std::vector<int> seen;
    r.w.OnProgress = [&](TAviWriter *sender, int n, bool &abort) {
        EXPECT_EQ(sender, &r.w);
        seen.push_back(n);
        abort = n == 3;
    };
    r.w.InitVideo();
    for (int i = 0; i < 10; ++i)
        r.w.AddFrame(SpectrumFrame(32, 24, i));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(r.w.Aborted());
    EXPECT_EQ(r.w.FrameCounter(), 3);
    r.w.FinalizeVideo();
    r.w.WriteAvi(); // no error
    EXPECT_EQ(skytest::ProbeFile(r.w.filename).Video()["nb_read_frames"].toString(), "3");

    // Two-pass: abort during the save ends it without an error and removes the temporary file.
    Recording t(32, 24);
    t.w.DirectCompression = false;
    t.w.SetCompression("MJPG");
    int calls = 0;
    bool saving = false;
    t.w.OnProgress = [&](TAviWriter *, int, bool &abort) {
        if (saving && ++calls == 2)
            abort = true;
    };
    t.w.InitVideo();
    for (int i = 0; i < 10; ++i)
        t.w.AddFrame(SpectrumFrame(32, 24, i));
    t.w.FinalizeVideo();
    saving = true;
    EXPECT_EQ(ErrorOf([&] { t.w.WriteAvi(); }), "<no error>");
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(QFile::exists(t.w.TempFileName));
    EXPECT_FALSE(t.w.VideoFinalized());
}

TEST(CaptureAviMessages, EveryFailureRaisesItsText) {
    QTemporaryDir dir;
    TAviWriter w;
    w.Width = 32;
    w.Height = 24;

    EXPECT_EQ(ErrorOf([&] { w.SetPixelFormat(TPixelFormat::pf16bit); }), "Pixelformat not supported");
    EXPECT_EQ(ErrorOf([&] { w.SetPixelFormat(TPixelFormat::pfDevice); }), "Pixelformat not supported");
    EXPECT_EQ(w.PixelFormat(), TPixelFormat::pf24bit);

    const QString wavMsg = "WavFileName must name a file with the .wav extension";
    EXPECT_EQ(ErrorOf([&] { w.SetWavFileName("sound.mp3"); }), wavMsg);
    EXPECT_EQ(ErrorOf([&] { w.AddWaveFile("sound.wave", 0); }), wavMsg);
    EXPECT_EQ(ErrorOf([&] { w.SetWavFileName("Sound.WAV"); }), "<no error>");
    EXPECT_EQ(ErrorOf([&] { w.SetWavFileName(""); }), "<no error>");
    EXPECT_TRUE(w.WaveList().isEmpty());

    EXPECT_EQ(ErrorOf([&] { w.SetCompression("zzzzzz"); }), "No compressor for zzzz available");
    w.SetCompression("MJPGx");
    EXPECT_EQ(w.Compression(), "MJPG");
    w.SetCompression("");
    EXPECT_EQ(w.Compression(), "");

    EXPECT_EQ(ErrorOf([&] { w.AddFrame(QImage(4, 4, QImage::Format_RGB32)); }), "Video not initialized");
    EXPECT_EQ(ErrorOf([&] { w.WriteAvi(); }), "Video must be finalized");

    w.filename = dir.path(); // a folder cannot be deleted like a file
    EXPECT_EQ(ErrorOf([&] { w.InitVideo(); }),
              "Could not delete " + dir.path() +
                  " file might be in use. Try to close the folder if it's open in Explorer");
    w.filename = dir.filePath("missing/out.avi");
    // The code, then the file and the system's reason.
    EXPECT_EQ(ErrorOf([&] { w.InitVideo(); }), "Failed to create AVI video file. Err: $8004406F\n" +
                                                   QDir::toNativeSeparators(dir.filePath("missing/out.avi")) +
                                                   ": No such file or directory");
    w.filename = dir.filePath("out.avi");
    w.Width = 0;
    EXPECT_EQ(ErrorOf([&] { w.InitVideo(); }), "Failed to create AVI video stream");
    w.Width = 40000;
    EXPECT_EQ(ErrorOf([&] { w.InitVideo(); }), "Failed to create AVI video stream");
    EXPECT_FALSE(w.VideoInitialized());

    w.Width = 30000; // the frame's rectangle holds 16-bit values
    w.Height = 30000;
    w.InitVideo();
    EXPECT_EQ(ErrorOf([&] { w.AddFrame(QImage()); }), "Failed to retrieve bitmap header and pixels. Err: 8");

    w.Width = 32;
    w.Height = 24;
    w.SetCompression("FMP4");
    w.Width = 9000; // beyond what MPEG-4 part 2 can code
    w.InitVideo();
    EXPECT_EQ(ErrorOf([&] { w.AddFrame(QImage()); }), "Failed to create compressed stream");
    w.Width = 32;

    // WriteAvi while frames are still accepted releases everything, then complains.
    w.SetCompression("");
    w.InitVideo();
    w.AddFrame(SpectrumFrame(32, 24, 0));
    EXPECT_EQ(ErrorOf([&] { w.WriteAvi(); }), "Video must be finalized");
    EXPECT_EQ(ReadBack(w.filename).size(), 1u);
}

TEST(CaptureAviMessages, TwoPassSaveAndSoundFailures) {
    QTemporaryDir dir;
    const QString notWave = dir.filePath("text.wav"), noData = dir.filePath("nodata.wav"),
                  floatWave = dir.filePath("float.wav"), cut = dir.filePath("cut.wav");
    {
        QFile f(notWave);
        f.open(QIODevice::WriteOnly);
        f.write("just some text, long enough to be read");
    }
    ASSERT_TRUE(skytest::WriteWave(noData, 1, 8, 8000, 0, [](int, int) { return 0; }));
    ASSERT_TRUE(skytest::WriteWave(floatWave, 1, 16, 8000, 10, [](int, int) { return 0; }));
    {
        QFile f(floatWave);
        f.open(QIODevice::ReadWrite);
        f.seek(20);
        f.write("\x03\x00", 2); // IEEE float: not PCM
    }
    {
        QFile f(cut);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray("RIFF\x40\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00", 22)); // fmt cut short
    }
    auto twoPass = [&](const QString &wav, const QString &target) {
        TAviWriter w;
        w.Width = 16;
        w.Height = 16;
        w.DirectCompression = false;
        w.TempFileName = dir.filePath("temp.avi");
        w.filename = target;
        w.InitVideo();
        w.AddFrame(SpectrumFrame(16, 16, 0));
        w.FinalizeVideo();
        if (!wav.isEmpty())
            w.SetWavFileName(wav);
        const QString e = ErrorOf([&] { w.WriteAvi(); });
        EXPECT_FALSE(QFile::exists(w.TempFileName));
        return std::make_pair(e, w.WavFileName());
    };
    const QString out = dir.filePath("out.avi");
    EXPECT_EQ(twoPass(dir.filePath("missing.wav"), out),
              std::make_pair(QString("A disk error occurred while opening the audio file."), QString()));
    EXPECT_EQ(twoPass(notWave, out).first,
              "The file could not be read, indicating a corrupt file or an unrecognized format.");
    EXPECT_EQ(twoPass(floatWave, out).first, "According to the registry, the type of audio file specified in "
                                             "AVIFileOpen does not have a handler to process it.");
    EXPECT_EQ(twoPass(cut, out).first, "A disk error occurred while reading the audio file.");
    EXPECT_EQ(twoPass(noData, out), std::make_pair(QString("Unable to get audio stream"), noData));
    QDir(dir.path()).mkdir("busy.avi");
    EXPECT_EQ(twoPass("", dir.filePath("busy.avi")).first, "File busy.avi could not be deleted");
    EXPECT_EQ(twoPass("", dir.filePath("missing/out.avi")).first, "Unable to write output file. Error 8004406F");
    EXPECT_EQ(twoPass("", out).first, "<no error>");

    // Direct mode: the merge's checks read like the runtime's assertions.
    auto direct = [&](const QString &wav) {
        TAviWriter w;
        w.Width = 16;
        w.Height = 16;
        w.filename = out;
        w.InitVideo();
        w.AddWaveFile(wav, 0);
        w.FinalizeVideo();
        return ErrorOf([&] { w.WriteAvi(); });
    };
    const QRegularExpression open(R"(^FileOpen failed\. Err: \$8004406F \(wave_file\.cpp, line \d+\)$)");
    EXPECT_TRUE(open.match(direct(dir.filePath("missing.wav"))).hasMatch()) << direct(dir.filePath("missing.wav")).toStdString();
    const QRegularExpression stream(R"(^GetStream failed\. Err: \$80044073 \(wave_file\.cpp, line \d+\)$)");
    EXPECT_TRUE(stream.match(direct(noData)).hasMatch()) << direct(noData).toStdString();
}

TEST(CaptureAviLifecycle, DestructorCompletesTheFileAndRemovesTheTemporaryOne) {
    QTemporaryDir dir;
    const QString temp = dir.filePath("temp.avi");
    {
        TAviWriter w;
        w.Width = 16;
        w.Height = 16;
        w.DirectCompression = false;
        w.TempFileName = temp;
        w.InitVideo();
        w.AddFrame(SpectrumFrame(16, 16, 0));
        EXPECT_TRUE(QFile::exists(temp));
    }
    EXPECT_FALSE(QFile::exists(temp));
    const QString out = dir.filePath("out.avi");
    {
        TAviWriter w;
        w.Width = 16;
        w.Height = 16;
        w.filename = out;
        w.InitVideo();
        w.AddFrame(SpectrumFrame(16, 16, 0));
        w.AddFrame(SpectrumFrame(16, 16, 1));
    }
    EXPECT_EQ(ReadBack(out).size(), 2u);

    // The recording compresses on a thread of its own: nothing in the writer may need the GUI thread.
    {
        TAviWriter w;
        w.Width = 64;
        w.Height = 48;
        w.FrameTime = 100;
        w.filename = out;
        w.SetCompression("H264");
        std::thread worker([&] {
            w.InitVideo();
            for (int i = 0; i < 5; ++i)
                w.AddFrame(SpectrumFrame(70, 50, i));
            w.FinalizeVideo();
            w.WriteAvi();
        });
        worker.join();
        EXPECT_EQ(w.FrameCounter(), 5);
    }
    if (!skytest::Ffprobe().isEmpty()) {
        EXPECT_EQ(skytest::ProbeFile(out).Video()["nb_read_frames"].toString(), "5");
    }
    TAviWriter d;
    EXPECT_EQ(d.FrameTime, 1000);
    EXPECT_EQ(d.Quality, 5000);
    EXPECT_TRUE(d.Stretch && d.DirectCompression);
    // Each writer has a temporary name of its own and deletes only a temporary file it made.
    EXPECT_TRUE(QRegularExpression("/~AWTemp-\\d+-\\d+\\.avi$").match(d.TempFileName).hasMatch())
        << d.TempFileName.toStdString();
    EXPECT_NE(TAviWriter().TempFileName, d.TempFileName);
    const QString someoneElses = dir.filePath("theirs.avi");
    {
        QFile f(someoneElses);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("in use");
    }
    {
        TAviWriter w;
        w.TempFileName = someoneElses;
    }
    EXPECT_TRUE(QFile::exists(someoneElses));
}
