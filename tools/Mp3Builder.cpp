#include "tools/Mp3Builder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmora::test {

namespace {

// kbit/s by bitrate index, from ISO/IEC 11172-3 and 13818-3.
constexpr int kMpeg1Bitrates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
};
constexpr int kMpeg2Bitrates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
};
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

void CheckVersionLayer(const TFrameParams& params) {
    if (params.Version < 1 || params.Version > 3 || params.Layer < 1 || params.Layer > 3) {
        throw std::invalid_argument("TFrameParams: version or layer out of range");
    }
}

int BitrateIndex(const TFrameParams& params) {
    const int* row = params.Version == 1 ? kMpeg1Bitrates[params.Layer - 1]
                                         : kMpeg2Bitrates[params.Layer == 1 ? 0 : 1];
    for (int i = 0; i < 15; ++i) {
        if (row[i] == params.Bitrate)
            return i;
    }
    throw std::invalid_argument("TFrameParams: no such bitrate for the version and layer");
}

int SampleRateIndex(const TFrameParams& params) {
    for (int i = 0; i < 3; ++i) {
        if (kSampleRates[params.Version - 1][i] == params.SampleRate)
            return i;
    }
    throw std::invalid_argument("TFrameParams: no such sample rate for the version");
}

void PutText(std::vector<uint8_t>& block, size_t offset, size_t width, const std::string& text,
             char fill) {
    for (size_t i = 0; i < width; ++i) {
        block[offset + i] = static_cast<uint8_t>(i < text.size() ? text[i] : fill);
    }
}

void PutBigEndian(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    if (offset + 4 > bytes.size())
        return;
    bytes[offset] = static_cast<uint8_t>(value >> 24);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 16);
    bytes[offset + 2] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 3] = static_cast<uint8_t>(value);
}

}  // namespace

std::array<uint8_t, 4> RawHeader(int versionBits, int layerBits, int bitrateIndex,
                                 int sampleRateIndex, bool padding, int channelMode,
                                 int modeExtension, bool crc) {
    std::array<uint8_t, 4> h{};
    h[0] = 0xFF;
    h[1] =
        static_cast<uint8_t>(0xE0 | (versionBits & 3) << 3 | (layerBits & 3) << 1 | (crc ? 0 : 1));
    h[2] = static_cast<uint8_t>((bitrateIndex & 15) << 4 | (sampleRateIndex & 3) << 2 |
                                (padding ? 2 : 0));
    h[3] = static_cast<uint8_t>((channelMode & 3) << 6 | (modeExtension & 3) << 4);
    return h;
}

std::array<uint8_t, 4> FrameHeader(const TFrameParams& params) {
    CheckVersionLayer(params);
    static constexpr int kVersionBits[4] = {0, 3, 2, 0};
    std::array<uint8_t, 4> h =
        RawHeader(kVersionBits[params.Version], 4 - params.Layer, BitrateIndex(params),
                  SampleRateIndex(params), params.Padding, params.ChannelMode, params.ModeExtension,
                  params.Crc);
    if (params.Private)
        h[2] |= 1;
    h[3] = static_cast<uint8_t>(h[3] | (params.Copyright ? 8 : 0) | (params.Original ? 4 : 0) |
                                (params.Emphasis & 3));
    return h;
}

int FrameLength(const TFrameParams& params) {
    CheckVersionLayer(params);
    const long long bps = params.Bitrate * 1000LL;
    if (params.Layer == 1) {
        return static_cast<int>((12 * bps / params.SampleRate + (params.Padding ? 1 : 0)) * 4);
    }
    const int factor = (params.Layer == 3 && params.Version != 1) ? 72 : 144;
    return static_cast<int>(factor * bps / params.SampleRate + (params.Padding ? 1 : 0));
}

int SamplesPerFrame(const TFrameParams& params) {
    if (params.Layer == 1)
        return 384;
    if (params.Layer == 3 && params.Version != 1)
        return 576;
    return 1152;
}

int XingOffset(const TFrameParams& params) {
    const bool mono = params.ChannelMode == 3;
    if (params.Version == 1)
        return mono ? 21 : 36;
    return mono ? 13 : 21;
}

std::vector<uint8_t> Frame(const TFrameParams& params, uint32_t seed) {
    const std::array<uint8_t, 4> h = FrameHeader(params);
    const size_t length = std::max(FrameLength(params), 4);
    std::vector<uint8_t> frame(length);
    std::copy(h.begin(), h.end(), frame.begin());
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 4; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = static_cast<uint8_t>((state >> 16) % 0xFF);  // never 0xFF
    }
    return frame;
}

std::vector<uint8_t> XingFrame(const TFrameParams& params, uint32_t frames, bool withFrameCount,
                               uint32_t streamBytes) {
    std::vector<uint8_t> frame = Frame(params, 0);
    std::fill(frame.begin() + 4, frame.end(), 0);  // silent side information and body
    const size_t x = static_cast<size_t>(XingOffset(params));
    if (x + 8 > frame.size())
        return frame;
    std::memcpy(frame.data() + x, "Xing", 4);
    PutBigEndian(frame, x + 4, withFrameCount ? 0x0Fu : 0x0Eu);
    size_t at = x + 8;
    if (withFrameCount) {
        PutBigEndian(frame, at, frames);
        at += 4;
    }
    PutBigEndian(frame, at, streamBytes);
    at += 4;
    for (size_t i = 0; i < 100 && at + i < frame.size(); ++i) {
        frame[at + i] = static_cast<uint8_t>(i * 255 / 100);  // table of contents
    }
    PutBigEndian(frame, at + 100, 50);  // quality
    return frame;
}

std::vector<uint8_t> ID3v2Tag(size_t totalSize, bool footer) {
    const size_t overhead = footer ? 20 : 10;
    if (totalSize < overhead)
        throw std::invalid_argument("ID3v2Tag: size below the header");
    const size_t body = totalSize - overhead;
    if (body >= (1u << 28))
        throw std::invalid_argument("ID3v2Tag: size beyond 28 bits");
    std::vector<uint8_t> tag(totalSize, 0);
    auto header = [&](size_t at, const char* id) {
        std::memcpy(tag.data() + at, id, 3);
        tag[at + 3] = footer ? 4 : 3;
        tag[at + 4] = 0;
        tag[at + 5] = footer ? 0x10 : 0;
        for (int i = 0; i < 4; ++i) {
            tag[at + 6 + i] = static_cast<uint8_t>((body >> (7 * (3 - i))) & 0x7F);
        }
    };
    header(0, "ID3");
    if (footer)
        header(totalSize - 10, "3DI");
    // A TIT2 frame in UTF-16 with a byte-order mark FF FE, as many taggers write it: those two
    // bytes look like the start of an MPEG-1 Layer I frame header.
    static const uint8_t kText[] = {'T', 'I',  'T',  '2', 0, 0,   0, 9,   0, 0,
                                    1,   0xFF, 0xFE, 'A', 0, 'B', 0, 'C', 0};
    if (sizeof kText <= body)
        std::memcpy(tag.data() + 10, kText, sizeof kText);
    return tag;
}

std::vector<uint8_t> ID3v1Block(const TID3v1Fields& f) {
    std::vector<uint8_t> block(128, 0);
    std::memcpy(block.data(), "TAG", 3);
    PutText(block, 3, 30, f.Title, f.Fill);
    PutText(block, 33, 30, f.Artist, f.Fill);
    PutText(block, 63, 30, f.Album, f.Fill);
    PutText(block, 93, 4, f.Year, f.Fill);
    PutText(block, 97, 30, f.Comment, f.Fill);
    if (f.Track != 0) {
        block[125] = 0;
        block[126] = static_cast<uint8_t>(f.Track);
    }
    block[127] = static_cast<uint8_t>(f.Genre);
    return block;
}

TMp3Builder& TMp3Builder::Bytes(const std::vector<uint8_t>& bytes) {
    Data.insert(Data.end(), bytes.begin(), bytes.end());
    return *this;
}

TMp3Builder& TMp3Builder::Bytes(size_t count, uint8_t value) {
    Data.insert(Data.end(), count, value);
    return *this;
}

TMp3Builder& TMp3Builder::ID3v2(size_t totalSize, bool footer) {
    return Bytes(ID3v2Tag(totalSize, footer));
}

TMp3Builder& TMp3Builder::Frames(const TFrameParams& params, int count) {
    for (int i = 0; i < count; ++i)
        Bytes(Frame(params, Seed++));
    return *this;
}

TMp3Builder& TMp3Builder::XingStream(const TFrameParams& params, uint32_t frames) {
    const size_t bytes = static_cast<size_t>(FrameLength(params)) * (frames + 1);
    Bytes(XingFrame(params, frames, true, static_cast<uint32_t>(bytes)));
    return Frames(params, static_cast<int>(frames));
}

TMp3Builder& TMp3Builder::ID3v1(const TID3v1Fields& fields) {
    return Bytes(ID3v1Block(fields));
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmora-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    }
    DirPath = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(DirPath, ec);
}

std::string TempDir::File(const std::string& name) const {
    return DirPath + "/" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    WriteFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

}  // namespace velmora::test
