#include "audio/AudioInfo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace velmora {

namespace {

constexpr int64_t kChunk = 128;
constexpr int64_t kSeam = 4;
// The longest playing time a 32-bit millisecond count holds in whole seconds (596:31:23).
constexpr int64_t kMaxDuration = std::numeric_limits<int32_t>::max() / 1000 * 1000;

int32_t ClampDuration(int64_t milliseconds) {
    return static_cast<int32_t>(std::clamp<int64_t>(milliseconds, 0, kMaxDuration));
}

// How many bytes the first-frame search reads at most: 128 on the first pass, 124 on each later
// pass that starts below the limit.
int64_t SearchSpan(int32_t limit) {
    if (limit <= 0)
        return 0;
    const int64_t later =
        (std::max<int64_t>(0, limit - kChunk) + (kChunk - kSeam) - 1) / (kChunk - kSeam);
    return kChunk + later * (kChunk - kSeam);
}

// The length of an ID3v2 tag at the start of the range (header, body and footer), or 0 when the
// range does not begin with a well-formed ID3v2 header or the tag would not end inside it.
int64_t ID3v2Length(TStream& stream, int64_t start, int64_t size) {
    if (size < 10)
        return 0;
    uint8_t h[10];
    stream.Seek(start);
    stream.ReadBuffer(h, sizeof h);
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF)
        return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80)
        return 0;  // the size is sync-safe: 7 bits a byte
    int64_t length = 10 + (int64_t{h[6]} << 21 | int64_t{h[7]} << 14 | int64_t{h[8]} << 7 | h[9]);
    if (h[5] & 0x10)
        length += 10;  // footer
    return length <= size ? length : 0;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool IsBlankName(const std::string& name) {
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

}  // namespace

int32_t FatDateTime(int64_t unixTime) {
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return -1;
    const int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return -1;
    const uint32_t date =
        static_cast<uint32_t>((year - 1980) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    const uint32_t time = static_cast<uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    return static_cast<int32_t>(date << 16 | time);
}

int32_t FatAttributes(uint32_t mode, const std::string& name) {
    int32_t attr = 0;
    if ((mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    const size_t slash = name.find_last_of('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (!base.empty() && base[0] == '.')
        attr |= faHidden;
    if (S_ISDIR(mode))
        attr |= faDirectory;
    if (S_ISREG(mode))
        attr |= faArchive;
    return attr;
}

void TAudioInfo::Clear() {
    FrameHdr.Valid = false;
    FirstFrameOffset = -1;
    ID3v2Size = 0;
    IsVBR = false;
    ID3v1.Exists = false;
    ID3v2 = TID3v2Info{};
    ID3v2Head.clear();
    NextFrameMatches = false;
    Riff = false;
    Identity = {};
    Links = 1;
    FileSize = -1;
    FileAge = -1;
    FileAttr = 0;
}

void TAudioInfo::LoadFromFile(const std::string& name) {
    Clear();
    if (IsBlankName(name))
        return;
    TFileStream stream(name, TFileStream::Mode::Read);
    LoadFromOpenFile(stream);
}

void TAudioInfo::LoadFromOpenFile(TFileStream& stream) {
    Clear();
    LoadFromStream(stream, stream.ModificationTime(), stream.FileMode(), stream.Path());
    Identity = stream.OpenedIdentity();
    Links = stream.LinkCount();
}

bool TAudioInfo::AfterTagWrite(const TID3v1Tag& written, const TFileIdentity& now) {
    const int64_t tagStart = FrameHdr.Valid ? int64_t{FirstFrameOffset} + FrameHdr.FrameLength : 0;
    if (!Identity.Known() || !now.Known() || Identity.Size - tagStart < int64_t{kID3v1Size} ||
        now.Size - tagStart < int64_t{kID3v1Size})
        return false;
    ID3v1 = written;
    Identity = now;
    FileSize =
        now.Size <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(now.Size) : -1;
    FileAge = FatDateTime(now.ModifiedNs / 1000000000);
    if (!IsVBR)
        CountDuration(now.Size);
    return true;
}

void TAudioInfo::CountDuration(int64_t size) {
    const int64_t audioBytes = size - FirstFrameOffset - (ID3v1.Exists ? int64_t{kID3v1Size} : 0);
    if (FrameHdr.Bitrate > 0) {
        Duration = ClampDuration(audioBytes * 8 / FrameHdr.BitrateBps() * 1000);
    } else {
        Duration = 0;
    }
}

void TAudioInfo::LoadFromStream(TStream& stream, int64_t modificationTime, uint32_t mode,
                                const std::string& name) {
    const int64_t size = stream.Size();
    stream.Seek(0);
    AnalyzeStream(stream, size);
    // A file of 2 GiB or more is analysed whole, but its size does not fit the model.
    FileSize = size <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(size) : -1;
    FileAge = FatDateTime(modificationTime);
    FileAttr = FatAttributes(mode, name);
}

void TAudioInfo::ReadLeadingID3v2(TStream& stream, int64_t start, int64_t size, int64_t tagLength) {
    ID3v2 = TID3v2Info{};
    ID3v2FieldsRead = false;
    uint8_t h[5] = {0, 0, 0, 0, 0};
    if (size < 10)
        return;
    stream.Seek(start);
    stream.ReadBuffer(h, sizeof h);
    if (std::memcmp(h, "ID3", 3) != 0)
        return;
    if (tagLength == 0) {
        ID3v2.Present = ID3v2.Damaged = true;  // its size runs past the end of the file
        ID3v2.Major = h[3] >= 2 && h[3] <= 4 ? h[3] : 0;
        ID3v2.Revision = ID3v2.Major != 0 ? h[4] : 0;
        ID3v2FieldsRead = true;
        return;
    }
    if (!ReadID3v2Fields) {
        ID3v2.Present = true;
        ID3v2.Major = h[3];
        ID3v2.Revision = h[4];
        ID3v2.Size = tagLength;
        return;
    }
    stream.Seek(start);
    ID3v2.Size = tagLength;
    ReadID3v2(stream, static_cast<size_t>(tagLength), ID3v2);
    ID3v2FieldsRead = true;
}

void TAudioInfo::AnalyzeStream(TStream& stream, int64_t size) {
    Clear();
    const int64_t start = stream.Position();
    size = std::clamp<int64_t>(size, 0, std::max<int64_t>(0, stream.Size() - start));
    const int64_t span = SearchSpan(SyncSearchLimit);
    stream.Prefetch(start, std::min(size, span));
    if (size >= 12) {
        uint8_t riff[4];
        stream.Seek(start);
        stream.ReadBuffer(riff, sizeof riff);
        Riff = std::memcmp(riff, "RIFF", 4) == 0;
    }

    // First frame: searched after an ID3v2 tag, in 128-byte chunks whose last 4 bytes are
    // searched again with the next chunk, so a header across the seam is found.
    const int64_t searchFrom = ID3v2Length(stream, start, size);
    ReadLeadingID3v2(stream, start, size, searchFrom);
    ID3v2Size = searchFrom;
    if (searchFrom > 0) {
        ID3v2Head.resize(10);
        stream.Seek(start);
        stream.ReadBuffer(ID3v2Head.data(), ID3v2Head.size());
    }
    const int64_t searchSize = size - searchFrom;
    if (searchFrom > 0)
        stream.Prefetch(start + searchFrom, std::min(searchSize, span));
    stream.Seek(start + searchFrom);
    uint8_t buffer[kChunk];
    int64_t read = 0;
    int64_t carry = 0;
    while (read < SyncSearchLimit && read < searchSize) {
        const int64_t chunk = std::min(kChunk - carry, searchSize - read);
        stream.ReadBuffer(buffer + carry, static_cast<size_t>(chunk));
        const int32_t position = FrameHdr.FindSync(buffer, static_cast<int32_t>(carry + chunk));
        if (position >= 0) {
            FirstFrameOffset = static_cast<int32_t>(searchFrom + position + read - carry);
            break;
        }
        read += chunk;
        std::memcpy(buffer, buffer + kChunk - kSeam, kSeam);
        carry = kSeam;
    }

    // The frame that follows must start with a valid header too. Its header and the Xing header
    // are read in one go when the frame lies beyond what was fetched for the search.
    if (FrameHdr.Valid) {
        stream.Prefetch(start + FirstFrameOffset, std::max<int64_t>(FrameHdr.FrameLength + 4, 48));
        const int64_t next = int64_t{FirstFrameOffset} + FrameHdr.FrameLength;
        if (next + 4 < size) {
            uint8_t bytes[4];
            stream.Seek(start + next);
            stream.ReadBuffer(bytes, sizeof bytes);
            TMpegFrameHdr following;
            following.Decode(bytes, sizeof bytes);
            FrameHdr.Valid = following.Valid;
            NextFrameMatches = following.Valid && FrameHdr.FrameLength > 0 &&
                               following.VersionIndex == FrameHdr.VersionIndex &&
                               following.LayerIndex() == FrameHdr.LayerIndex() &&
                               following.SampleRate == FrameHdr.SampleRate;
        }
    }

    int64_t tagStart = 0;
    if (FrameHdr.Valid) {
        const bool mono = FrameHdr.ChannelMode() == 3;
        const int64_t x = FrameHdr.VersionIndex == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
        const int64_t at = int64_t{FirstFrameOffset} + x;
        if (at + 12 < size) {
            uint8_t xing[12];
            stream.Seek(start + at);
            stream.ReadBuffer(xing, sizeof xing);
            if (std::memcmp(xing, "Xing", 4) == 0) {
                IsVBR = true;
                const uint32_t frames = (xing[7] & 1) ? BigEndian32(xing + 8) : 0;
                if (FrameHdr.SampleRate > 0) {
                    const double seconds = std::nearbyint(double(FrameHdr.SamplesPerFrame()) /
                                                          FrameHdr.SampleRate * frames);
                    Duration = ClampDuration(static_cast<int64_t>(seconds) * 1000);
                } else {
                    Duration = 0;
                }
            }
        }
        tagStart = int64_t{FirstFrameOffset} + FrameHdr.FrameLength;
    }

    stream.Seek(start + tagStart);
    ID3v1.LoadFromStream(stream, size - tagStart);

    if (!IsVBR)
        CountDuration(size);
}

}  // namespace velmora
