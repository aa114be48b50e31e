// The only file that talks to LAME (libmp3lame): MPEG-1 Layer III at 44.1 kHz, constant bitrate,
// joint stereo or mono, with LAME's Info frame so that players show the true time. Part of the
// module libvelmora-convert.so.
#include <lame/lame.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "core/convert/Codec.h"

namespace velmora {
namespace {

// The largest Layer III frame (320 kbit/s at 32 kHz with padding) and then some.
constexpr size_t kMaxFrame = 2880;
// Sample frames handed to LAME in one call.
constexpr size_t kChunk = 16384;

class TLameEncoder : public TEncoder {
  public:
    TLameEncoder(int channels, int kbps) : Channels(channels) {
        Lame = lame_init();
        if (Lame == nullptr)
            throw std::runtime_error("кодировщик LAME не запускается");
        lame_set_num_channels(Lame, channels);
        lame_set_in_samplerate(Lame, 44100);
        lame_set_out_samplerate(Lame, 44100);
        lame_set_mode(Lame, channels == 1 ? MONO : JOINT_STEREO);
        lame_set_VBR(Lame, vbr_off);
        lame_set_brate(Lame, kbps);
        lame_set_bWriteVbrTag(Lame, 1);
        lame_set_write_id3tag_automatic(Lame, 0);
        if (lame_init_params(Lame) < 0) {
            lame_close(Lame);
            throw std::runtime_error("кодировщик LAME не принимает " + std::to_string(kbps) +
                                     " кбит/с");
        }
    }
    ~TLameEncoder() override { lame_close(Lame); }
    TLameEncoder(const TLameEncoder&) = delete;
    TLameEncoder& operator=(const TLameEncoder&) = delete;

    void Encode(const float* samples, size_t frames, std::string& out) override {
        for (size_t done = 0; done < frames;) {
            const size_t count = std::min(kChunk, frames - done);
            const float* at = samples + done * static_cast<size_t>(Channels);
            Buffer.resize(count * 5 / 4 + 7200);
            const int n =
                Channels == 2
                    ? lame_encode_buffer_interleaved_ieee_float(Lame, at, static_cast<int>(count),
                                                                Buffer.data(),
                                                                static_cast<int>(Buffer.size()))
                    : lame_encode_buffer_ieee_float(Lame, at, nullptr, static_cast<int>(count),
                                                    Buffer.data(), static_cast<int>(Buffer.size()));
            Take(n, out);
            done += count;
        }
    }

    void Finish(std::string& out) override {
        Buffer.resize(7200);
        Take(lame_encode_flush(Lame, Buffer.data(), static_cast<int>(Buffer.size())), out);
    }

    std::string InfoFrame() override {
        unsigned char frame[kMaxFrame];
        const size_t n = lame_get_lametag_frame(Lame, frame, sizeof frame);
        if (n > sizeof frame)
            return "";
        return std::string(reinterpret_cast<const char*>(frame), n);
    }

  private:
    lame_t Lame = nullptr;
    int Channels;
    std::vector<unsigned char> Buffer;

    void Take(int n, std::string& out) {
        if (n < 0)
            throw std::runtime_error("кодировщик LAME остановился с ошибкой " + std::to_string(n));
        out.append(reinterpret_cast<const char*>(Buffer.data()), static_cast<size_t>(n));
    }
};

}  // namespace

std::unique_ptr<TEncoder> NewLameEncoder(int channels, int kbps) {
    return std::make_unique<TLameEncoder>(channels, kbps);
}

}  // namespace velmora
