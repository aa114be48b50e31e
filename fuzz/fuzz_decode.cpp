// Any bytes as a source of the conversion: FFmpeg reads them through the decoder's byte source
// (the first byte chooses the name it is given, a hint to the kind of file), and what comes out
// is decoded and resampled. Whatever the bytes, the reading ends without a crash, refuses with a
// reason or gives samples within -1..1-ish in the channels it promised, and the encoder takes them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "core/convert/Codec.h"
#include "fuzz/FuzzCheck.h"

namespace {

class TMemorySource : public velmora::TByteSource {
  public:
    TMemorySource(const uint8_t* data, size_t size) : Data(data), Length(size) {}
    int64_t Size() override { return static_cast<int64_t>(Length); }
    int64_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset < 0 || static_cast<size_t>(offset) >= Length)
            return 0;
        const size_t n = std::min(count, Length - static_cast<size_t>(offset));
        std::memcpy(buffer, Data + offset, n);
        return static_cast<int64_t>(n);
    }

  private:
    const uint8_t* Data;
    size_t Length;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static const char* const kNames[] = {"input", "a.flac", "a.m4a", "a.ogg", "a.wav",
                                         "a.mp3", "a.wma",  "a.ape", "a.wv",  "a.aiff"};
    TMemorySource source(data + 1, size - 1);
    try {
        const auto decoder = velmora::OpenFFmpegDecoder(source, kNames[data[0] % 10]);
        const int channels = decoder->OutputChannels();
        Check(channels == 1 || channels == 2);
        const auto encoder = velmora::NewLameEncoder(channels, 128);
        std::vector<float> samples(1152 * static_cast<size_t>(channels));
        std::string mp3;
        // At most ten seconds: a few bytes may claim hours.
        for (size_t total = 0; total < 441000;) {
            const size_t got = decoder->Read(samples.data(), 1152);
            if (got == 0)
                break;
            Check(got <= 1152);
            for (size_t i = 0; i < got * static_cast<size_t>(channels); ++i)
                Check(std::isfinite(samples[i]));
            encoder->Encode(samples.data(), got, mp3);
            total += got;
        }
        encoder->Finish(mp3);
    } catch (const std::runtime_error& e) {
        Check(std::strlen(e.what()) > 0);
    }
    return 0;
}
