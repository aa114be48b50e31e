// Files made by a real encoder (tools/make-fixtures.sh): the analysis must find what the encoder
// settings imply.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

TEST(EncodedFixtures, AnalysisMatchesTheEncoderSettings) {
    struct Case {
        const char* file;
        int32_t version, bitrate, rate, mode;
        bool vbr;
        double seconds;
    };
    const Case cases[] = {
        {"mpeg1-l3-cbr128-44k-joint.mp3", 1, 128, 44100, 1, false, 1.5},
        {"mpeg2-l3-cbr32-22k-mono.mp3", 2, 32, 22050, 3, false, 2},
        {"mpeg25-l3-cbr16-11k-mono.mp3", 3, 16, 11025, 3, false, 2},
        {"mpeg25-l3-cbr8-8k-mono.mp3", 3, 8, 8000, 3, false, 2},
        {"mpeg1-l3-vbr-xing-44k.mp3", 1, -1, 44100, 1, true, 2},
        {"mpeg2-l3-vbr-xing-22k-mono.mp3", 2, -1, 22050, 3, true, 2},
        {"mpeg1-l3-cbr48-32k-mono-id3v1.mp3", 1, 48, 32000, 3, false, 2},
        {"mpeg1-l3-cbr64-48k-stereo-id3v2.mp3", 1, 64, 48000, 0, false, 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TAudioInfo info;
        info.LoadFromFile(std::string(VELMORA_TEST_DATA) + "/" + c.file);
        EXPECT_TRUE(info.FrameHdr.Valid);
        EXPECT_EQ(info.FrameHdr.VersionIndex, c.version);
        EXPECT_EQ(info.FrameHdr.LayerIndex(), 3);
        if (c.bitrate > 0) {
            EXPECT_EQ(info.FrameHdr.Bitrate, c.bitrate);
        }
        EXPECT_EQ(info.FrameHdr.SampleRate, c.rate);
        EXPECT_EQ(info.FrameHdr.ChannelMode(), c.mode);
        EXPECT_EQ(info.IsVBR, c.vbr);
        EXPECT_LE(std::abs(info.Duration / 1000.0 - c.seconds), 1.0) << info.Duration;
    }
}

TEST(EncodedFixtures, TagsWrittenByTheEncoder) {
    const std::string dir = VELMORA_TEST_DATA;
    TAudioInfo info;
    info.LoadFromFile(dir + "/mpeg1-l3-cbr48-32k-mono-id3v1.mp3");
    ASSERT_TRUE(info.ID3v1.Exists);
    EXPECT_EQ(info.ID3v1.Title, "Fixture Title");
    EXPECT_EQ(info.ID3v1.Artist, "Fixture Artist");
    EXPECT_EQ(info.ID3v1.Album, "Fixture Album");
    EXPECT_EQ(info.ID3v1.Year, "2001");
    EXPECT_EQ(info.ID3v1.Comment, "Fixture comment");
    EXPECT_EQ(info.ID3v1.Track, 7);
    EXPECT_FALSE(info.ID3v1.NoTrack);
    EXPECT_EQ(info.ID3v1.GenreName, "Rock");

    // The UTF-16 ID3v2 tag in front holds FF FE byte-order marks; the first frame is the one
    // right after the tag.
    const std::string v2 = dir + "/mpeg1-l3-cbr64-48k-stereo-id3v2.mp3";
    const std::vector<uint8_t> bytes = test::ReadFile(v2);
    ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
    const int32_t tagSize = 10 + (bytes[6] << 21 | bytes[7] << 14 | bytes[8] << 7 | bytes[9]);
    info.LoadFromFile(v2);
    EXPECT_FALSE(info.ID3v1.Exists);
    EXPECT_EQ(info.FirstFrameOffset, tagSize);
    EXPECT_GT(tagSize, 3000);
}

}  // namespace
}  // namespace velmora
