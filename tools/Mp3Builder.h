// Test helpers that build MP3 bytes from real MPEG audio frame headers, and temporary folders to
// put them in. Shared by the audio, core and batch tests, the fuzz seeds and the folder generator.
//
// Typical use:
//
//     velmora::test::TFrameParams cbr;                 // MPEG-1 Layer III, 128 kbit/s, 44100 Hz
//     std::vector<uint8_t> mp3 = velmora::test::TMp3Builder()
//                                    .ID3v2(4096)    // a 4096-byte ID3v2 tag first
//                                    .Frames(cbr, 20)
//                                    .ID3v1({.Title = "Song", .Track = 3})
//                                    .Build();
//     velmora::test::TempDir dir;
//     velmora::test::WriteFile(dir.File("01 Song.mp3"), mp3);
//
// The builder keeps its own bitrate and sample-rate tables (the ISO ones), independent of the
// program's decoder, so tests compare the decoder against a second source.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

// The fields of one frame header. Bitrate and SampleRate are real values looked up in the
// standard tables; FrameHeader throws std::invalid_argument when the pair does not exist for the
// version and layer. For invalid or reserved headers use RawHeader.
struct TFrameParams {
    int Version = 1;         // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5
    int Layer = 3;           // 1, 2 or 3
    int Bitrate = 128;       // kbit/s; 0 = free format
    int SampleRate = 44100;  // Hz
    bool Padding = false;
    int ChannelMode = 1;    // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int ModeExtension = 2;  // 0..3
    bool Crc = false;       // a 16-bit CRC follows the header (protection bit 0)
    bool Copyright = false;
    bool Original = true;
    int Emphasis = 0;  // 0..3
    bool Private = false;
};

// The four header bytes of a frame.
std::array<uint8_t, 4> FrameHeader(const TFrameParams& params);
// Four header bytes from raw bit fields (no checks): version bits (00 = 2.5, 01 reserved, 10 = 2,
// 11 = 1), layer bits (01 = III, 10 = II, 11 = I, 00 reserved), bitrate index, sample-rate index.
std::array<uint8_t, 4> RawHeader(int versionBits, int layerBits, int bitrateIndex,
                                 int sampleRateIndex, bool padding = false, int channelMode = 1,
                                 int modeExtension = 0, bool crc = false);
// The length of a whole frame in bytes by the standard (Layer I counts 4-byte slots); 0 for free
// format without padding.
int FrameLength(const TFrameParams& params);
// Samples in one frame: 384 Layer I, 1152 Layer II and MPEG-1 Layer III, 576 MPEG-2/2.5 Layer III.
int SamplesPerFrame(const TFrameParams& params);
// Where a Xing header starts, counted from the frame's first byte (after the side information).
int XingOffset(const TFrameParams& params);

// One whole frame of FrameLength bytes: the header, then body bytes from a small generator seeded
// by `seed`. Body bytes never contain 0xFF, so no false frame start hides in a body. A free-format
// frame without padding yields just its header.
std::vector<uint8_t> Frame(const TFrameParams& params, uint32_t seed = 0);
// A first frame carrying a Xing header: "Xing" at XingOffset, the flags word, and when
// withFrameCount is true the flag bit 0 with the big-endian frame count behind it (plus the byte
// count, table of contents and quality fields a real encoder writes, when they fit).
std::vector<uint8_t> XingFrame(const TFrameParams& params, uint32_t frames,
                               bool withFrameCount = true, uint32_t streamBytes = 0);
// An ID3v2.3 (or .4 with footer) tag of exactly totalSize bytes: the 10-byte header with a
// sync-safe size, one text frame when it fits, zero padding, and a 10-byte footer when asked
// (flag 0x10). totalSize must be at least 10 (20 with a footer).
std::vector<uint8_t> ID3v2Tag(size_t totalSize, bool footer = false);

// The fields of an ID3v1 block, as raw (Windows-1251) bytes. Texts longer than the field are cut;
// shorter ones are padded with `Fill`. Track 0 writes an ID3v1.0 block with a 30-byte comment;
// Track 1..255 writes ID3v1.1 (byte 125 = 0, byte 126 = track).
struct TID3v1Fields {
    std::string Title{};
    std::string Artist{};
    std::string Album{};
    std::string Year{};
    std::string Comment{};
    int Track = 0;
    int Genre = 255;
    char Fill = '\0';
};
std::vector<uint8_t> ID3v1Block(const TID3v1Fields& fields);

// Builds a whole file front to back.
class TMp3Builder {
  public:
    TMp3Builder& Bytes(const std::vector<uint8_t>& bytes);
    TMp3Builder& Bytes(size_t count, uint8_t value);
    TMp3Builder& ID3v2(size_t totalSize, bool footer = false);
    TMp3Builder& Frames(const TFrameParams& params, int count);
    // A Xing frame counting `frames`, followed by `frames` ordinary frames of the same params (so
    // the stream is as long as the header says).
    TMp3Builder& XingStream(const TFrameParams& params, uint32_t frames);
    TMp3Builder& ID3v1(const TID3v1Fields& fields);
    size_t Size() const { return Data.size(); }
    const std::vector<uint8_t>& Build() const { return Data; }

  private:
    std::vector<uint8_t> Data;
    uint32_t Seed = 1;
};

// A folder made with mkdtemp, removed with all its contents when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return DirPath; }
    // Path + "/" + name.
    std::string File(const std::string& name) const;

  private:
    std::string DirPath;
};

// Writes (creates or replaces) a file; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file; throws std::runtime_error on failure.
std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace velmora::test
