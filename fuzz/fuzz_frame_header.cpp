// Frame-header decoding and the search for the first valid header over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "audio/MpegFrameHdr.h"
#include "fuzz/FuzzCheck.h"

namespace {

void CheckDecoded(const velmora::TMpegFrameHdr& h) {
    Check(h.VersionName() && h.LayerName() && h.ChannelModeName() && h.ModeExtensionName() &&
          h.EmphasisName());
    if (!h.Valid)
        return;
    Check(h.IsSync());
    Check(h.VersionIndex >= 1 && h.VersionIndex <= 3);
    Check(h.LayerIndex() >= 1 && h.LayerIndex() <= 3);
    Check(h.Bitrate >= 0 && h.Bitrate <= 448);
    Check(h.SampleRate >= 8000 && h.SampleRate <= 48000);
    Check(h.FrameLength >= 0 && h.FrameLength <= 2881);
    Check(h.SamplesPerFrame() > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    velmora::TMpegFrameHdr first;
    const bool valid = first.Decode(data, size);
    Check(valid == (size >= 4 && first.Valid));
    CheckDecoded(first);

    velmora::TMpegFrameHdr found;
    const int32_t count = static_cast<int32_t>(size);
    const int32_t at = found.FindSync(data, count);
    Check(at >= -1 && (at == -1 || at + 4 <= count));
    // No earlier position holds a valid header, and the one found is valid.
    const int32_t end = at >= 0 ? at : count - 3;
    for (int32_t i = 0; i < end; ++i) {
        velmora::TMpegFrameHdr h;
        Check(!h.Decode(data + i, size - static_cast<size_t>(i)));
    }
    if (at >= 0) {
        Check(found.Valid);
        Check(std::memcmp(found.HeaderBytes, data + at, 4) == 0);
        CheckDecoded(found);
    } else {
        Check(!found.Valid);
    }
    return 0;
}
