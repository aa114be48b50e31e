// Decoding and encoding as the conversion sees them. FFmpeg sits behind FFmpegDecoder.cpp and
// LAME behind LameEncoder.cpp; both are in the shared module libvelmora-convert.so, which
// Codecs() loads on first use, so that no other command loads those libraries. No type of either
// library crosses this header. Failures inside the module are std::runtime_error with a Russian
// reason (the file's name is added by the caller).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Where the decoder reads a file's bytes: an open file, or bytes in memory (the fuzz target).
class TByteSource {
  public:
    virtual ~TByteSource() = default;
    virtual int64_t Size() = 0;
    // Up to `count` bytes at `offset`: how many were read, 0 at the end, -1 on a failure.
    virtual int64_t ReadAt(int64_t offset, void* buffer, size_t count) = 0;
};

// What the decoder found in a file.
struct TSourceFacts {
    std::string Container;  // FFmpeg's name of the container: "flac", "ogg", "mov,mp4,m4a,…"
    std::string Codec;      // FFmpeg's name of the audio codec: "flac", "aac", "opus", …
    std::string Format;     // as the plan shows it: "FLAC", "AAC", "Opus", "WAV", "MP2", …
    int SampleRate = 0;
    int Channels = 0;
    int Bitrate = 0;          // kbit/s, 0 when not known
    int64_t DurationMs = -1;  // -1 when not known
    // The container's and the audio stream's metadata as FFmpeg names it ("title", "artist",
    // "album", "date", "track", "genre", "comment", "lyrics", …), UTF-8.
    std::vector<std::pair<std::string, std::string>> Metadata;
    std::string Cover;  // the first attached picture's bytes
    std::string CoverMime;
    bool Video = false;  // a video stream besides pictures: a film, not a song
};

// One file decoded to 44.1 kHz samples as floats in -1..1, interleaved: one channel for a mono
// source, two for the rest. Memory stays bounded whatever the file's length.
class TDecoder {
  public:
    virtual ~TDecoder() = default;
    virtual const TSourceFacts& Facts() const = 0;
    virtual int OutputChannels() const = 0;
    // Up to `frames` sample frames (frames × OutputChannels floats); 0 at the end.
    virtual size_t Read(float* samples, size_t frames) = 0;
    // How much of the source is decoded, in milliseconds.
    virtual int64_t PositionMs() const = 0;
};

// MPEG-1 Layer III at 44.1 kHz, constant bitrate, joint stereo (mono for one channel), with an
// Info frame first.
class TEncoder {
  public:
    virtual ~TEncoder() = default;
    // Appends the MP3 bytes of these sample frames to `out`.
    virtual void Encode(const float* samples, size_t frames, std::string& out) = 0;
    // Appends what the encoder still holds.
    virtual void Finish(std::string& out) = 0;
    // After Finish: the Info frame (frame count, encoder delay and padding) that replaces the
    // stream's first frame, which the encoder wrote as a placeholder of the same length.
    virtual std::string InfoFrame() = 0;
};

// The module's table.
struct TCodecs {
    int Version = 0;
    // Opens a file for decoding; `name` is its name, a hint for the container's kind.
    std::unique_ptr<TDecoder> (*OpenDecoder)(TByteSource& source, const std::string& name);
    std::unique_ptr<TEncoder> (*NewEncoder)(int channels, int kbps);
};
inline constexpr int kCodecsVersion = 1;
inline constexpr const char* kCodecsModule = "libvelmora-convert.so";
inline constexpr const char* kCodecsEntry = "VelmoraCodecs";

// The module's table, loaded on first use; throws EModuleMissing (core/files/Module.h).
const TCodecs& Codecs();

// What the table points at, inside the module (and the fuzz target, which links them directly).
std::unique_ptr<TDecoder> OpenFFmpegDecoder(TByteSource& source, const std::string& name);
std::unique_ptr<TEncoder> NewLameEncoder(int channels, int kbps);

}  // namespace velmora

extern "C" const velmora::TCodecs* VelmoraCodecs();
