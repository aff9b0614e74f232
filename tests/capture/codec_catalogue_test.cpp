// The compressor catalogue: the list, the compress query and the quality mapping.
#include "capture/avi_writer.h"
#include "capture/codec_catalogue.h"

#include <gtest/gtest.h>

using namespace sky;

TEST(CaptureCodecCatalogue, ListsTheEncodersThatTakeTheFrame) {
    const QStringList list = CompressorList(102, 76, 24);
    ASSERT_GE(list.size(), 9);
    EXPECT_EQ(list[0], "No Compression");
    for (int i = 1; i < list.size(); ++i) {
        EXPECT_EQ(list[i][4], ' ') << list[i].toStdString();
        EXPECT_LE(list[i].size() - 5, 16);
        const TCodecCandidate *c = FindCodec(list[i].left(4));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(list[i].mid(5), QLatin1String(c->name));
    }
    // The writer lists for its own frame.
    TAviWriter w;
    w.Width = 102;
    w.Height = 76;
    QStringList fromWriter{"stale"};
    w.GetCompressorList(fromWriter);
    EXPECT_EQ(fromWriter, list);
    // Depths the writer cannot make find no compressor; odd sizes are padded, so nothing drops out.
    EXPECT_EQ(CompressorList(102, 76, 16), QStringList{"No Compression"});
    EXPECT_EQ(CompressorList(101, 75, 8), list);
    EXPECT_EQ(CompressorList(0, 75, 24), QStringList{"No Compression"});
}

TEST(CaptureCodecCatalogue, PaddingFollowsWhatEachEncoderTakes) {
    const TCodecCandidate *cvid = FindCodec("CVID"); // case does not matter
    ASSERT_NE(cvid, nullptr);
    EXPECT_EQ(QLatin1String(cvid->fourcc), QLatin1String("cvid"));
    EXPECT_EQ(CompressedFrameSize(*cvid, 716, 401), QSize(716, 404));
    EXPECT_EQ(CompressedFrameSize(*FindCodec("MSVC"), 1, 1), QSize(4, 4));
    EXPECT_EQ(CompressedFrameSize(*FindCodec("H264"), 715, 399), QSize(716, 400));
    EXPECT_EQ(CompressedFrameSize(*FindCodec("FFV1"), 715, 399), QSize(715, 399));
    EXPECT_TRUE(CompressedFrameSize(*FindCodec("FMP4"), 9000, 16).isEmpty()); // MPEG-4 part 2 stops at 8191
    EXPECT_EQ(FindCodec("none"), nullptr);
    EXPECT_EQ(FindCodec(""), nullptr);
}

TEST(CaptureCodecCatalogue, QualityMapsMonotonicallyOntoEachScale) {
    struct Case {
        TQualityScale scale;
        int at0, at5000, at10000;
        int direction; // +1: the encoder value grows with Quality, -1: it falls
    };
    const Case cases[] = {{TQualityScale::QScale, 31, 9, 1, -1},
                          {TQualityScale::Crf, 51, 26, 0, -1},
                          {TQualityScale::Deflate, 0, 4, 9, +1},
                          {TQualityScale::Direct, 0, 5000, 10000, +1}};
    for (const Case &c : cases) {
        EXPECT_EQ(MapQuality(c.scale, 0), c.at0);
        EXPECT_EQ(MapQuality(c.scale, 5000), c.at5000);
        EXPECT_EQ(MapQuality(c.scale, 10000), c.at10000);
        EXPECT_EQ(MapQuality(c.scale, -1), c.at5000);     // the platform's "default"
        EXPECT_EQ(MapQuality(c.scale, 20000), c.at10000); // clamped
        for (int q = 0; q < 10000; q += 50)
            EXPECT_GE(c.direction * (MapQuality(c.scale, q + 50) - MapQuality(c.scale, q)), 0) << q;
    }
}
