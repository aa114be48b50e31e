// One decoded 4-byte MPEG audio frame header (MPEG-1, 2, 2.5; Layers I-III).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

class TMpegFrameHdr {
  public:
    uint8_t HeaderBytes[4] = {0, 0, 0, 0};
    bool Valid = false;
    int32_t VersionIndex = 0;  // 0 reserved, 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    int32_t Bitrate = 0;       // kbit/s; 0 free format; -1 none
    int32_t SampleRate = 0;    // Hz; -1 none
    int32_t FrameLength = 0;   // bytes, header and padding included

    bool Decode(const uint8_t* bytes, size_t length);
    int32_t FindSync(const uint8_t* buffer, int32_t count);

    bool IsSync() const;
    int32_t LayerIndex() const;  // 0 reserved, 1..3 = Layer I..III
    bool HasCRC() const;
    int32_t BitrateIndex() const;
    int32_t SampleRateIndex() const;
    bool HasPadding() const;
    int32_t PaddingBytes() const;
    int32_t ChannelMode() const;  // 0 stereo, 1 joint, 2 dual, 3 mono
    int32_t ModeExtension() const;
    bool IsCopyright() const;
    bool IsOriginal() const;
    int32_t Emphasis() const;
    int32_t BitrateBps() const;
    // Samples in one frame: 384, 1152, or 576 for MPEG-2/2.5 Layer III (0 when reserved).
    int32_t SamplesPerFrame() const;

    const char* VersionName() const;
    const char* LayerName() const;
    const char* ChannelModeName() const;
    const char* ModeExtensionName() const;
    const char* EmphasisName() const;
};

}  // namespace velmora
