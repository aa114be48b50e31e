#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "audio/MpegFrameHdr.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

using test::TFrameParams;

TMpegFrameHdr Decoded(std::array<uint8_t, 4> bytes) {
    TMpegFrameHdr h;
    h.Decode(bytes.data(), bytes.size());
    return h;
}

// The common header FF FB 90 64 in full, and a decode of fewer than four bytes leaving it alone.
TEST(MpegFrameHdr, DecodesTheCommonHeaderAndKeepsItOnAShortDecode) {
    TMpegFrameHdr h = Decoded({0xFF, 0xFB, 0x90, 0x64});
    // Valid, sync, CRC, padding, copyright, original.
    EXPECT_EQ(std::make_tuple(h.Valid, h.IsSync(), h.HasCRC(), h.HasPadding(), h.IsCopyright(),
                              h.IsOriginal()),
              std::make_tuple(true, true, false, false, false, true));
    EXPECT_EQ(std::make_tuple(h.VersionIndex, h.LayerIndex(), h.Bitrate, h.BitrateBps(),
                              h.SampleRate, h.ChannelMode(), h.ModeExtension(), h.Emphasis()),
              std::make_tuple(1, 3, 128, 128000, 44100, 1, 2, 0));
    EXPECT_EQ(h.FrameLength, 417);
    EXPECT_EQ(std::vector<std::string>({h.VersionName(), h.LayerName(), h.ChannelModeName(),
                                        h.ModeExtensionName(), h.EmphasisName()}),
              std::vector<std::string>({"1.0", "III", "Joint Stereo", "MS", "None"}));
    EXPECT_EQ(Decoded({0xFF, 0xFB, 0x92, 0x64}).FrameLength, 418);
    EXPECT_EQ(
        Decoded(test::FrameHeader({.Version = 2, .Bitrate = 64, .SampleRate = 22050})).FrameLength,
        208);

    const uint8_t bad[] = {0x00, 0x00, 0x00};
    EXPECT_FALSE(h.Decode(bad, 3));
    EXPECT_TRUE(h.Valid);
    EXPECT_EQ(h.HeaderBytes[0], 0xFF);
    EXPECT_EQ(h.FrameLength, 417);
}

// Every bitrate (free format included) and sample rate of every version and layer, MPEG-2.5 with
// its own rates, against the builder's own tables: the decoded values and the frame length (Layer
// I counts 4-byte slots, so its padding is 4 bytes) must be what a real encoder lays out, or the
// check of the following frame fails on real files.
TEST(MpegFrameHdr, AgreesWithTheStandardTablesForEveryValidHeader) {
    const std::vector<std::vector<int>> rates = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    int checked = 0;
    for (int version = 1; version <= 3; ++version) {
        for (int layer = 1; layer <= 3; ++layer) {
            for (int rate : rates[version - 1]) {
                for (int bitrate = 0; bitrate <= 448; bitrate += 8) {
                    for (bool padding : {false, true}) {
                        TFrameParams params{.Version = version,
                                            .Layer = layer,
                                            .Bitrate = bitrate,
                                            .SampleRate = rate,
                                            .Padding = padding};
                        std::array<uint8_t, 4> bytes;
                        try {
                            bytes = test::FrameHeader(params);
                        } catch (const std::invalid_argument&) {
                            continue;  // no such bitrate in this row
                        }
                        SCOPED_TRACE(testing::Message()
                                     << "v" << version << " L" << layer << " " << bitrate << "k "
                                     << rate << " pad " << padding);
                        TMpegFrameHdr h = Decoded(bytes);
                        EXPECT_TRUE(h.Valid);
                        EXPECT_EQ(h.VersionIndex, version);
                        EXPECT_EQ(h.LayerIndex(), layer);
                        EXPECT_EQ(h.Bitrate, bitrate);
                        EXPECT_EQ(h.SampleRate, rate);
                        EXPECT_EQ(h.FrameLength, test::FrameLength(params));
                        EXPECT_EQ(h.SamplesPerFrame(), test::SamplesPerFrame(params));
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 3 * 3 * 15 * 2);  // versions, layers, rates, bitrates, padding
    EXPECT_STREQ(Decoded(test::RawHeader(0, 1, 8, 0)).VersionName(), "2.5");
    EXPECT_EQ(Decoded(test::RawHeader(3, 3, 0, 0, true)).PaddingBytes(), 4);
}

TEST(MpegFrameHdr, RefusesReservedAndForbiddenFields) {
    struct Case {
        const char* what;
        std::array<uint8_t, 4> bytes;
        int32_t version, bitrate, rate, length;
        const char* versionName;
        const char* layerName;
    };
    const Case cases[] = {
        {"reserved version", test::RawHeader(1, 1, 9, 0), 0, -1, -1, 0, "?!!", "III"},
        {"reserved layer", test::RawHeader(3, 0, 9, 0), 1, -1, 44100, -3, "1.0", "?!!"},
        {"bitrate index 15", test::RawHeader(3, 1, 15, 0), 1, -1, 44100, -3, "1.0", "III"},
        {"sample-rate index 3", test::RawHeader(3, 1, 9, 3), 1, 128, -1, 0, "1.0", "III"},
        {"no sync", {0xFF, 0x1B, 0x90, 0x64}, 1, 128, 44100, 417, "1.0", "III"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMpegFrameHdr h = Decoded(c.bytes);
        EXPECT_FALSE(h.Valid);
        EXPECT_EQ(h.VersionIndex, c.version);
        EXPECT_EQ(h.Bitrate, c.bitrate);
        EXPECT_EQ(h.SampleRate, c.rate);
        EXPECT_EQ(h.FrameLength, c.length);
        EXPECT_STREQ(h.VersionName(), c.versionName);
        EXPECT_STREQ(h.LayerName(), c.layerName);
    }
    // Free format, a reserved emphasis and the private bit still make a valid header.
    std::array<uint8_t, 4> odd = test::RawHeader(3, 1, 0, 0);
    odd[2] |= 1;
    odd[3] |= 2;
    TMpegFrameHdr h = Decoded(odd);
    EXPECT_TRUE(h.Valid);
    EXPECT_STREQ(h.EmphasisName(), "?!!");
}

TEST(MpegFrameHdr, NamesTheModeExtensionOnlyForJointStereo) {
    struct Case {
        int layerBits, mode, extension;
        const char* name;
    };
    const Case cases[] = {
        {1, 0, 2, ""},           {1, 2, 2, ""},
        {1, 3, 3, ""},           {1, 1, 0, ""},
        {1, 1, 1, "Intensity"},  {1, 1, 3, "MS/Intensity"},
        {2, 1, 0, "Bands 4-31"}, {3, 1, 3, "Bands 16-31"},
        {2, 0, 1, ""},
    };
    for (const Case& c : cases) {
        TMpegFrameHdr h =
            Decoded(test::RawHeader(3, c.layerBits, 9, 0, false, c.mode, c.extension));
        EXPECT_STREQ(h.ModeExtensionName(), c.name) << c.layerBits << c.mode << c.extension;
    }
    EXPECT_STREQ(Decoded(test::RawHeader(3, 1, 9, 0, false, 3)).ChannelModeName(), "Mono");
    EXPECT_STREQ(Decoded(test::RawHeader(3, 1, 9, 0, false, 2)).ChannelModeName(), "Dual");
    EXPECT_STREQ(Decoded(test::RawHeader(3, 1, 9, 0, false, 0)).ChannelModeName(), "Stereo");
    EXPECT_TRUE(Decoded(test::RawHeader(3, 1, 9, 0, false, 1, 0, true)).HasCRC());
}

TEST(MpegFrameHdr, FindSyncReturnsTheFirstValidHeader) {
    auto find = [](std::vector<uint8_t> bytes) {
        TMpegFrameHdr h;
        return h.FindSync(bytes.data(), static_cast<int32_t>(bytes.size()));
    };
    EXPECT_EQ(find({0xFF, 0xFB, 0x90}), -1);
    EXPECT_EQ(find({}), -1);
    EXPECT_EQ(find({0x00, 0xFF, 0xFB, 0x90, 0x64}), 1);
    EXPECT_EQ(find({0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xFB, 0x90, 0x64}), 4);
    // A sync pair followed by a reserved version, then a header that begins inside it.
    EXPECT_EQ(find({0xFF, 0xFF, 0xFB, 0x90, 0x64}), 1);
    // The last position that still holds four bytes is searched; a header cut short is not.
    EXPECT_EQ(find({1, 2, 3, 0xFF, 0xFB, 0x90, 0x64}), 3);
    EXPECT_EQ(find({1, 2, 3, 4, 0xFF, 0xFB, 0x90}), -1);

    // After a failed search the object holds the last candidate, not valid.
    TMpegFrameHdr h;
    const uint8_t bytes[] = {0xFF, 0xFB, 0x90, 0x64, 0, 0xFF, 0xEB, 0xF0, 0x00};
    EXPECT_EQ(h.FindSync(bytes + 4, 5), -1);
    EXPECT_FALSE(h.Valid);
    EXPECT_EQ(h.HeaderBytes[1], 0xEB);
}

}  // namespace
}  // namespace velmora
