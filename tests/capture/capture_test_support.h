#pragma once
// Helpers for the capture tests: FFmpeg's tools as independent readers of the files we write,
// synthetic frames and WAV files.
#include "capture/avi_writer.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <cstring>
#include <vector>

// gtest_main owns main(): the application is created on first use and lives until the end.
inline void EnsureCaptureApp() {
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "test_capture";
    static char *argv[] = {arg0, nullptr};
    new QApplication(argc, argv); // deliberately never deleted
}

namespace skytest {

// While shut, holds a writer in its progress call after each frame: a compressor exactly as slow
// as the test wants, on any machine.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = true;
    int held = 0; // progress calls that found the gate shut
    void Shut() {
        std::lock_guard l(m);
        open = false;
    }
    void Open() {
        std::lock_guard l(m);
        open = true;
        cv.notify_all();
    }
    // Waits (at most a minute) until `n` progress calls have been held.
    bool WaitHeld(int n) {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::seconds(60), [&] { return held >= n; });
    }
    sky::TProgressEvent Handler() {
        return [this](sky::TAviWriter *, int, bool &) {
            std::unique_lock l(m);
            if (open)
                return;
            ++held;
            cv.notify_all();
            cv.wait(l, [&] { return open; });
        };
    }
};

inline QString Ffprobe() {
#ifdef SKYVANE_FFPROBE_PATH
    return QStringLiteral(SKYVANE_FFPROBE_PATH);
#else
    return {};
#endif
}
inline QString Ffmpeg() {
#ifdef SKYVANE_FFMPEG_PATH
    return QStringLiteral(SKYVANE_FFMPEG_PATH);
#else
    return {};
#endif
}

#define SKIP_WITHOUT_FFMPEG()                                                                                     \
    if (skytest::Ffprobe().isEmpty() || skytest::Ffmpeg().isEmpty())                                             \
    GTEST_SKIP() << "ffprobe/ffmpeg not found at configure time"

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

inline Run RunTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// ffprobe's view of a file: its streams (with decoded frame and packet counts) and the key-frame
// flags of the video packets in order.
struct Probe {
    bool ok = false;
    QJsonArray streams;
    QString keyFlags; // one 'K' or '_' per video packet
    QJsonObject Video() const {
        for (const auto &s : streams)
            if (s.toObject()[QStringLiteral("codec_type")].toString() == QLatin1String("video"))
                return s.toObject();
        return {};
    }
    QJsonObject Audio() const {
        for (const auto &s : streams)
            if (s.toObject()[QStringLiteral("codec_type")].toString() == QLatin1String("audio"))
                return s.toObject();
        return {};
    }
};

inline Probe ProbeFile(const QString &path) {
    Probe p;
    const Run s = RunTool(Ffprobe(), {"-v", "error", "-count_frames", "-count_packets", "-show_streams", "-of", "json", path});
    if (s.exitCode != 0)
        return p;
    p.streams = QJsonDocument::fromJson(s.out).object()[QStringLiteral("streams")].toArray();
    const Run k = RunTool(Ffprobe(), {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=flags", "-of",
                                      "csv=p=0", path});
    for (const QByteArray &line : k.out.split('\n'))
        if (!line.isEmpty())
            p.keyFlags += line.startsWith('K') ? QLatin1Char('K') : QLatin1Char('_');
    p.ok = k.exitCode == 0;
    return p;
}

// Decodes every video frame as BGRA; an empty list when ffmpeg reports any error.
inline std::vector<QImage> DecodeFrames(const QString &path, int width, int height, QString *errors = nullptr) {
    const Run r = RunTool(Ffmpeg(), {"-v", "error", "-xerror", "-i", path, "-map", "0:v", "-f", "rawvideo", "-pix_fmt",
                                     "bgra", "-"});
    if (errors)
        *errors = QString::fromUtf8(r.err);
    std::vector<QImage> frames;
    if (r.exitCode != 0 || !r.err.isEmpty())
        return frames;
    const qsizetype size = qsizetype(width) * height * 4;
    for (qsizetype off = 0; off + size <= r.out.size(); off += size) {
        QImage img(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            std::memcpy(img.scanLine(y), r.out.constData() + off + qsizetype(y) * width * 4, size_t(width) * 4);
        frames.push_back(img.convertToFormat(QImage::Format_RGB32));
    }
    return frames;
}

// Decodes the first audio stream as signed 16-bit samples.
inline std::vector<std::int16_t> DecodeAudio(const QString &path) {
    const Run r = RunTool(Ffmpeg(), {"-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-"});
    std::vector<std::int16_t> s(size_t(r.out.size() / 2));
    std::memcpy(s.data(), r.out.constData(), s.size() * 2);
    return s;
}

// A small spectrum-like picture: grid, a trace that moves with `phase`, a marker.
inline QImage SpectrumFrame(int width, int height, int phase) {
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(0, 0, 0));
    QPainter p(&img);
    p.setPen(QColor(60, 60, 60));
    for (int x = 0; x < width; x += 40)
        p.drawLine(x, 0, x, height - 1);
    for (int y = 0; y < height; y += 30)
        p.drawLine(0, y, width - 1, y);
    p.setPen(QColor(255, 255, 0));
    int prev = height / 2;
    for (int x = 1; x < width; ++x) {
        const int y = height / 2 + int((height / 3) * std::sin((x + phase * 7) * 0.05) * std::cos(x * 0.013));
        p.drawLine(x - 1, prev, x, y);
        prev = y;
    }
    p.fillRect((phase * 5) % std::max(1, width - 10), 5, 10, 10, QColor(255, 0, 0));
    for (int y = height * 2 / 3; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, qRgb((x * 3 + phase) & 255, (y * 5) & 255, (x ^ y) & 255));
    return img;
}

// A PCM WAV file; `sample(i, channel)` gives each value.
template <class F>
inline bool WriteWave(const QString &path, int channels, int bits, int rate, int frames, F sample) {
    QByteArray data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const int v = sample(i, c);
            if (bits == 16) {
                data.append(char(v & 0xFF));
                data.append(char((v >> 8) & 0xFF));
            } else {
                data.append(char(v & 0xFF));
            }
        }
    auto le32 = [](QByteArray &b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    auto le16 = [](QByteArray &b, std::uint16_t v) {
        b.append(char(v & 0xFF));
        b.append(char(v >> 8));
    };
    QByteArray f("RIFF");
    le32(f, std::uint32_t(4 + 24 + 8 + data.size()));
    f.append("WAVEfmt ");
    le32(f, 16);
    le16(f, 1);
    le16(f, std::uint16_t(channels));
    le32(f, std::uint32_t(rate));
    le32(f, std::uint32_t(rate * channels * bits / 8));
    le16(f, std::uint16_t(channels * bits / 8));
    le16(f, std::uint16_t(bits));
    f.append("data");
    le32(f, std::uint32_t(data.size()));
    f += data;
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(f) == f.size();
}

} // namespace skytest
