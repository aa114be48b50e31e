#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/FileInfoSummary.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

using test::TFrameParams;
using ::testing::ElementsAre;

TAudioInfo InfoOf(const std::vector<uint8_t>& bytes, int32_t fileSize) {
    TMemoryStream stream(bytes);
    TAudioInfo info;
    info.AnalyzeStream(stream, stream.Size());
    info.FileSize = fileSize;
    return info;
}

// The four MPEG lines: version, parameters, flags, frame facts.
std::vector<std::string> MpegLines(const TFileInfoSummary& s) {
    return {s.lblMpegVersion, s.lblMpegParam, s.lblMpegFlags, s.lblMpegInternal};
}

TEST(DurationText, ShowsATimeOfDay) {
    EXPECT_EQ(DurationText(0), "0:00:00");
    EXPECT_EQ(DurationText(261000), "0:04:21");
    EXPECT_EQ(DurationText(3725000), "1:02:05");
    EXPECT_EQ(DurationText(3725999), "1:02:05");
    EXPECT_EQ(DurationText(86399000), "23:59:59");
    EXPECT_EQ(DurationText(86400000 + 61000), "0:01:01");  // whole days are dropped
    EXPECT_EQ(DurationText(2147483000), "20:31:23");
}

TEST(SummarizeFileInfo, DescribesTheCommonStream) {
    const std::vector<uint8_t> bytes =
        test::TMp3Builder().Frames({}, 3).ID3v1({.Title = "T", .Track = 9, .Genre = 17}).Build();
    TAudioInfo info = InfoOf(bytes, 4000000);
    TFileInfoSummary s = SummarizeFileInfo(info);
    EXPECT_THAT(
        MpegLines(s),
        ElementsAre("MPEG 1.0 layer III", "128 kbps, 44100 Hz, Joint Stereo MS ",
                    "(Sync, No CRC, No Copyright, Original)", "Frame len=417, 9592 frames"));
    EXPECT_EQ(s.lblDuration, "0:00:00");  // 1251 bytes of audio
    EXPECT_EQ(s.lblId3Status, "Найдены теги ID3v1.1 tag");
    EXPECT_TRUE(s.HasTag);
    EXPECT_EQ(s.Title, "T");
    EXPECT_EQ(s.Track, 9);
    EXPECT_EQ(s.GenreCode, 17);

    info.IsVBR = true;
    info.Duration = 261000;
    s = SummarizeFileInfo(info);
    EXPECT_EQ(s.lblMpegParam, "VBR 128 kbps, 44100 Hz, Joint Stereo MS ");
    EXPECT_EQ(s.lblDuration, "0:04:21");
}

TEST(SummarizeFileInfo, SpellsOutFlagsAndModes) {
    const TFrameParams stereo{.Layer = 2,
                              .Bitrate = 192,
                              .SampleRate = 48000,
                              .ChannelMode = 0,
                              .Crc = true,
                              .Copyright = true,
                              .Original = false};
    TFileInfoSummary s =
        SummarizeFileInfo(InfoOf(test::TMp3Builder().Frames(stereo, 3).Build(), 1728));
    EXPECT_THAT(MpegLines(s),
                ElementsAre("MPEG 1.0 layer II", "192 kbps, 48000 Hz, Stereo  ",
                            "(Sync, CRC, Copyright, No Original)", "Frame len=576, 3 frames"));
    EXPECT_EQ(s.lblId3Status, "ID3v1 теги не найдены.");

    const TFrameParams bands{
        .Version = 2, .Layer = 1, .Bitrate = 32, .SampleRate = 16000, .ModeExtension = 3};
    s = SummarizeFileInfo(InfoOf(test::TMp3Builder().Frames(bands, 3).Build(), 288));
    EXPECT_EQ(s.lblMpegVersion, "MPEG 2.0 layer I");
    EXPECT_EQ(s.lblMpegParam, "32 kbps, 16000 Hz, Joint Stereo Bands 16-31 ");
}

TEST(SummarizeFileInfo, TagStatusAndFieldsWithAndWithoutATag) {
    TAudioInfo info = InfoOf(test::ID3v1Block({.Title = "Old", .Artist = "A", .Genre = 3}), 128);
    TFileInfoSummary s = SummarizeFileInfo(info);
    EXPECT_EQ(s.lblId3Status, "Найдены теги ID3v1 tag");  // no track number
    EXPECT_EQ(s.Track, 0);
    EXPECT_EQ(s.Artist, "A");
    EXPECT_EQ(s.GenreCode, 3);

    // Without a tag every field is empty, even though the tag object still holds old texts.
    info.ID3v1.Exists = false;
    s = SummarizeFileInfo(info);
    EXPECT_FALSE(s.HasTag);
    EXPECT_EQ(s.Title, "");
    EXPECT_EQ(s.Artist, "");
    EXPECT_EQ(s.Track, 0);
    EXPECT_EQ(s.GenreCode, 255);
    // No MPEG stream: a zero time and four empty lines.
    EXPECT_EQ(s.lblDuration, "0:00:00");
    EXPECT_THAT(MpegLines(s), ElementsAre("", "", "", ""));
}

TEST(SummarizeFileInfo, FreeFormatHasNoFrameCount) {
    TAudioInfo info = InfoOf({0xFF, 0xFB, 0x00, 0x64, 0, 0, 0, 0}, 5000);
    ASSERT_TRUE(info.FrameHdr.Valid);
    EXPECT_EQ(SummarizeFileInfo(info).lblMpegInternal, "");
    EXPECT_EQ(SummarizeFileInfo(info).lblMpegParam, "0 kbps, 44100 Hz, Joint Stereo MS ");
    info = InfoOf({0xFF, 0xFB, 0x02, 0x64, 0}, 5000);  // with padding: 1 byte long
    ASSERT_TRUE(info.FrameHdr.Valid);
    EXPECT_EQ(SummarizeFileInfo(info).lblMpegInternal, "Frame len=1, 5000 frames");
}

}  // namespace
}  // namespace velmora
