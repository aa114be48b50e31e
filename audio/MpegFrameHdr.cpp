#include "audio/MpegFrameHdr.h"

#include <cstring>

namespace velmora {

namespace {

// kbit/s by [VersionIndex][LayerIndex][bitrate index]; MPEG-2.5 uses the MPEG-2 rows. Index 0 is
// free format, index 15 is forbidden; the reserved version and layer have no row.
constexpr int32_t kBitrates[4][4][16] = {
    {},
    {
        {},
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    },
    {
        {},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    },
    {
        {},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    },
};

// Hz by [VersionIndex][sample-rate index].
constexpr int32_t kSampleRates[4][4] = {
    {-1, -1, -1, -1},
    {44100, 48000, 32000, -1},
    {22050, 24000, 16000, -1},
    {11025, 12000, 8000, -1},
};

// VersionIndex by the two version bits.
constexpr int32_t kVersionByBits[4] = {3, 0, 2, 1};

constexpr const char* kVersionNames[4] = {"?!!", "1.0", "2.0", "2.5"};
constexpr const char* kLayerNames[4] = {"?!!", "I", "II", "III"};
constexpr const char* kChannelModeNames[4] = {"Stereo", "Joint Stereo", "Dual", "Mono"};
constexpr const char* kLayer3ExtensionNames[4] = {"", "Intensity", "MS", "MS/Intensity"};
constexpr const char* kBandExtensionNames[4] = {"Bands 4-31", "Bands 8-31", "Bands 12-31",
                                                "Bands 16-31"};
constexpr const char* kEmphasisNames[4] = {"None", "50/15 ms", "?!!", "CCIT J.17"};

}  // namespace

bool TMpegFrameHdr::Decode(const uint8_t* bytes, size_t length) {
    if (length < 4)
        return false;
    std::memcpy(HeaderBytes, bytes, 4);
    VersionIndex = kVersionByBits[(HeaderBytes[1] >> 3) & 3];
    const int32_t layer = LayerIndex();
    Bitrate =
        (VersionIndex == 0 || layer == 0) ? -1 : kBitrates[VersionIndex][layer][BitrateIndex()];
    SampleRate = kSampleRates[VersionIndex][SampleRateIndex()];
    if (SampleRate <= 0) {
        FrameLength = 0;
    } else if (layer == 1) {
        // Layer I frames are counted in 4-byte slots, the padding being one slot.
        FrameLength = (12 * BitrateBps() / SampleRate) * 4 + PaddingBytes();
    } else {
        const int32_t factor = (layer == 3 || layer == 0) && VersionIndex != 1 ? 72 : 144;
        FrameLength = factor * BitrateBps() / SampleRate + PaddingBytes();
    }
    Valid = IsSync() && VersionIndex != 0 && layer != 0 && Bitrate != -1 && SampleRate != -1;
    return Valid;
}

int32_t TMpegFrameHdr::FindSync(const uint8_t* buffer, int32_t count) {
    for (int32_t i = 0; i + 4 <= count; ++i) {
        if (buffer[i] == 0xFF && (buffer[i + 1] & 0xE0) == 0xE0 &&
            Decode(buffer + i, static_cast<size_t>(count - i))) {
            return i;
        }
    }
    return -1;
}

bool TMpegFrameHdr::IsSync() const {
    return HeaderBytes[0] == 0xFF && (HeaderBytes[1] & 0xE0) == 0xE0;
}
int32_t TMpegFrameHdr::LayerIndex() const {
    return (4 - ((HeaderBytes[1] >> 1) & 3)) % 4;
}
bool TMpegFrameHdr::HasCRC() const {
    return (HeaderBytes[1] & 1) == 0;
}
int32_t TMpegFrameHdr::BitrateIndex() const {
    return HeaderBytes[2] >> 4;
}
int32_t TMpegFrameHdr::SampleRateIndex() const {
    return (HeaderBytes[2] >> 2) & 3;
}
bool TMpegFrameHdr::HasPadding() const {
    return (HeaderBytes[2] & 2) != 0;
}
int32_t TMpegFrameHdr::PaddingBytes() const {
    if (!HasPadding())
        return 0;
    return LayerIndex() == 1 ? 4 : 1;
}
int32_t TMpegFrameHdr::ChannelMode() const {
    return HeaderBytes[3] >> 6;
}
int32_t TMpegFrameHdr::ModeExtension() const {
    return (HeaderBytes[3] >> 4) & 3;
}
bool TMpegFrameHdr::IsCopyright() const {
    return (HeaderBytes[3] & 8) != 0;
}
bool TMpegFrameHdr::IsOriginal() const {
    return (HeaderBytes[3] & 4) != 0;
}
int32_t TMpegFrameHdr::Emphasis() const {
    return HeaderBytes[3] & 3;
}
int32_t TMpegFrameHdr::BitrateBps() const {
    return Bitrate * 1000;
}

int32_t TMpegFrameHdr::SamplesPerFrame() const {
    switch (LayerIndex()) {
        case 1:
            return 384;
        case 2:
            return 1152;
        case 3:
            return VersionIndex == 1 ? 1152 : 576;
        default:
            return 0;
    }
}

const char* TMpegFrameHdr::VersionName() const {
    return kVersionNames[VersionIndex & 3];
}
const char* TMpegFrameHdr::LayerName() const {
    return kLayerNames[LayerIndex()];
}
const char* TMpegFrameHdr::ChannelModeName() const {
    return kChannelModeNames[ChannelMode()];
}
const char* TMpegFrameHdr::ModeExtensionName() const {
    if (ChannelMode() != 1)
        return "";
    return LayerIndex() == 3 ? kLayer3ExtensionNames[ModeExtension()]
                             : kBandExtensionNames[ModeExtension()];
}
const char* TMpegFrameHdr::EmphasisName() const {
    return kEmphasisNames[Emphasis()];
}

}  // namespace velmora
