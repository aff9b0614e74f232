// The WAV reader and the near-silence blocks.
#include "capture/dib_frame.h"
#include "capture/wave_file.h"

#include "capture_test_support.h"

#include <QTemporaryDir>

using namespace sky;

TEST(CaptureSilence, TwentySevenBlocksOfSixteenFrames) {
    int blocks = 0;
    for (int channels : {1, 2})
        for (int bits : {8, 16})
            for (int rate : {11025, 16000, 22050, 32000, 32075, 44100, 48000}) {
                SCOPED_TRACE(testing::Message() << channels << " ch " << bits << " bit " << rate);
                const QByteArrayView b = SilenceBlock(channels, bits, rate);
                if (channels == 1 && bits == 16 && rate == 32075) {
                    EXPECT_TRUE(b.isEmpty());
                    continue;
                }
                ++blocks;
                ASSERT_EQ(b.size(), 16 * channels * bits / 8);
                for (qsizetype i = 0; i < b.size(); i += bits / 8) {
                    if (bits == 8) {
                        EXPECT_TRUE(std::uint8_t(b[i]) == 0x80 || std::uint8_t(b[i]) == 0x7F);
                    } else {
                        EXPECT_LE(std::abs(std::int16_t(GetLe16(b.data() + i))), 8);
                    }
                }
            }
    EXPECT_EQ(blocks, 27);
    const QByteArrayView s = SilenceBlock(2, 16, 44100);
    const std::int16_t start[] = {0, 6, 1, 6, 0, 5};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(std::int16_t(GetLe16(s.data() + 2 * i)), start[i]);
    EXPECT_TRUE(SilenceBlock(2, 16, 8000).isEmpty());
    EXPECT_TRUE(SilenceBlock(3, 16, 44100).isEmpty());
    EXPECT_TRUE(SilenceBlock(1, 24, 44100).isEmpty());
}

TEST(CaptureWaveFile, ReadsPcmAndRefusesWhatItCannotPlay) {
    QTemporaryDir dir;
    const QString stereo8 = dir.filePath("s8.wav");
    ASSERT_TRUE(skytest::WriteWave(stereo8, 2, 8, 8000, 100, [](int i, int c) { return c ? 255 - i : i; }));
    TWaveFile w;
    ASSERT_EQ(w.Open(stereo8), kAviOk);
    EXPECT_EQ(w.Length(), 100);
    EXPECT_EQ(w.Format().BlockAlign(), 2);
    const TAviStreamInfo info = w.StreamInfo();
    EXPECT_EQ(info.scale, 2u);
    EXPECT_EQ(info.rate, 16000u);
    EXPECT_EQ(info.sampleSize, 2u);
    QByteArray d;
    ASSERT_EQ(w.Read(10, 3, d), kAviOk);
    EXPECT_EQ(d, QByteArray("\x0a\xf5\x0b\xf4\x0c\xf3", 6));
    EXPECT_EQ(w.Read(99, 2, d), kAviErrFileRead);

    // Chunks before "fmt " and between "fmt " and "data" (odd-sized, so padded) are skipped;
    // a data chunk cut short holds what is there.
    QFile f(stereo8);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    bytes.insert(36, QByteArray("LIST\x03\x00\x00\x00" "abc\0", 12));
    bytes.insert(12, QByteArray("JUNK\x02\x00\x00\x00xy", 10));
    bytes.chop(21);
    const QString odd = dir.filePath("odd.wav");
    QFile o(odd);
    ASSERT_TRUE(o.open(QIODevice::WriteOnly));
    o.write(bytes);
    o.close();
    ASSERT_EQ(w.Open(odd), kAviOk);
    EXPECT_EQ(w.Length(), 89);
    ASSERT_EQ(w.Read(88, 1, d), kAviOk);
    EXPECT_EQ(d, QByteArray("\x58\xa7", 2));

    const QString mono24 = dir.filePath("m24.wav");
    ASSERT_TRUE(skytest::WriteWave(mono24, 1, 16, 8000, 10, [](int, int) { return 0; }));
    QFile m(mono24);
    ASSERT_TRUE(m.open(QIODevice::ReadWrite));
    m.seek(34);
    m.write("\x18\x00", 2); // 24 bits
    m.close();
    EXPECT_EQ(w.Open(mono24), kRegdbClassNotReg);
    EXPECT_EQ(w.Open(dir.filePath("none.wav")), kAviErrFileOpen);
}
