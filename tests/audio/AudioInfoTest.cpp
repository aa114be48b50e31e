#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "audio/AudioInfo.h"
#include "tests/audio/StreamDoubles.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

using test::TFrameParams;
using test::TMp3Builder;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

const TFrameParams kCbr;  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417-byte frames

TAudioInfo Analyzed(const std::vector<uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    TAudioInfo info;
    info.AnalyzeStream(stream, stream.Size());
    return info;
}

// What an analysis found: a valid first header, its offset, VBR, the playing time, a tag.
using TFound = std::tuple<bool, int32_t, bool, int32_t, bool>;
TFound Found(const TAudioInfo& info) {
    return {info.FrameHdr.Valid, info.FirstFrameOffset, info.IsVBR, info.Duration,
            info.ID3v1.Exists};
}
TFound Found(const std::vector<uint8_t>& bytes) {
    return Found(Analyzed(bytes));
}

// Filler that holds 0xFF bytes but never a frame start.
std::vector<uint8_t> Junk(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = i % 2 ? 0x00 : 0xFF;
    return bytes;
}

TEST(AudioInfo, RangesWithoutAudio) {
    EXPECT_EQ(Found(std::vector<uint8_t>{}), TFound(false, -1, false, 0, false));
    std::vector<uint8_t> shortTag = test::ID3v1Block({.Title = "T"});
    shortTag.pop_back();
    EXPECT_EQ(Found(shortTag), TFound(false, -1, false, 0, false));  // 127 bytes: never a tag

    TAudioInfo onlyTag = Analyzed(test::ID3v1Block({.Title = "Just a tag"}));
    EXPECT_EQ(Found(onlyTag), TFound(false, -1, false, 0, true));
    EXPECT_EQ(onlyTag.ID3v1.Title, "Just a tag");

    // Audio behind more than the search window of other data is not found; the tag still is.
    EXPECT_EQ(Found(TMp3Builder().Bytes(Junk(10400)).Frames(kCbr, 3).ID3v1({}).Build()),
              TFound(false, -1, false, 0, true));
}

// The search reads 128 bytes, then 124 at a time with the last 4 searched again: a header at
// any offset, across any seam, is found, up to offset 10292 and no further.
TEST(AudioInfo, FindsTheFirstFrameAtAnyOffsetWithinTheWindow) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < 400; ++i)
        offsets.push_back(i);
    for (size_t i = 10160; i <= 10300; ++i)
        offsets.push_back(i);
    for (size_t offset : offsets) {
        const bool inside = offset <= 10292;
        EXPECT_EQ(Found(TMp3Builder().Bytes(Junk(offset)).Frames(kCbr, 3).Build()),
                  TFound(inside, inside ? int32_t(offset) : -1, false, 0, false))
            << offset;
    }
    // A smaller limit narrows the window the same way.
    TMemoryStream stream(TMp3Builder().Bytes(Junk(300)).Frames(kCbr, 3).Build());
    TAudioInfo info;
    info.SyncSearchLimit = 252;  // two passes: 128 + 124 bytes
    info.AnalyzeStream(stream, stream.Size());
    EXPECT_EQ(info.FirstFrameOffset, -1);
    stream.Seek(0);
    info.SyncSearchLimit = 253;  // three passes reach offset 372
    info.AnalyzeStream(stream, stream.Size());
    EXPECT_EQ(info.FirstFrameOffset, 300);
}

TEST(AudioInfo, TheFollowingFrameDecidesValidity) {
    // A bad header where the second frame should start: no MPEG stream, and the search does not
    // go on to the good frames behind it.
    std::vector<uint8_t> broken = TMp3Builder().Frames(kCbr, 4).Build();
    broken[417] = 0x00;
    TAudioInfo info = Analyzed(broken);
    EXPECT_EQ(info.FirstFrameOffset, 0);
    EXPECT_FALSE(info.FrameHdr.Valid);
    EXPECT_EQ(info.FrameHdr.Bitrate, 128);  // the first frame's values stay

    // The following header need only be valid, not alike.
    TFrameParams other{.Version = 2, .Layer = 2, .Bitrate = 8, .SampleRate = 16000};
    info = Analyzed(TMp3Builder().Frames(kCbr, 1).Frames(other, 1).Build());
    EXPECT_TRUE(info.FrameHdr.Valid);
    EXPECT_EQ(info.FrameHdr.VersionIndex, 1);

    // Next + 4 reaching the end: no check, the frame stands.
    std::vector<uint8_t> single = TMp3Builder().Frames(kCbr, 1).Bytes(4, 0).Build();  // 421 bytes
    EXPECT_EQ(Found(single), TFound(true, 0, false, 0, false));
    single.push_back(0);  // 422 bytes: the 4 zero bytes at 417 are checked
    EXPECT_EQ(Found(single), TFound(false, 0, false, 0, false));
}

TEST(AudioInfo, XingHeaderGivesTheVbrTime) {
    auto xing = [](const TFrameParams& params, uint32_t frames, bool counted = true) {
        return Analyzed(TMp3Builder()
                            .Bytes(test::XingFrame(params, frames, counted))
                            .Frames(params, 2)
                            .ID3v1({.Title = "vbr"})
                            .Build());
    };
    // 1152 / 44100 * 10000 = 261.22 s
    EXPECT_EQ(Found(xing(kCbr, 10000)), TFound(true, 0, true, 261000, true));
    // No frame count: 0, and not the constant-bitrate time.
    EXPECT_EQ(Found(xing(kCbr, 10000, false)), TFound(true, 0, true, 0, true));

    // MPEG-2 Layer III frames hold 576 samples: 576 / 22050 * 1000 = 26.12 s.
    const TFrameParams mpeg2{.Version = 2, .Bitrate = 64, .SampleRate = 22050};
    EXPECT_EQ(xing(mpeg2, 1000).Duration, 26000);
    const TFrameParams mpeg25{.Version = 3, .Bitrate = 32, .SampleRate = 8000, .ChannelMode = 3};
    EXPECT_EQ(xing(mpeg25, 1000).Duration, 72000);
    const TFrameParams layer2{.Layer = 2, .Bitrate = 192, .SampleRate = 48000};
    EXPECT_EQ(xing(layer2, 1000).Duration, 24000);
    const TFrameParams mono{.Bitrate = 64, .SampleRate = 32000, .ChannelMode = 3};
    EXPECT_EQ(xing(mono, 1000).Duration, 36000);  // Xing at 21: 36 s
    TFrameParams crc = kCbr;
    crc.Crc = true;  // the CRC does not move the Xing header
    EXPECT_EQ(xing(crc, 10000).Duration, 261000);

    // Halves round to even: 1152 / 32000 * 125 = 4.5 s.
    EXPECT_EQ(xing({.SampleRate = 32000}, 125).Duration, 4000);
    // A frame count too large for 32-bit milliseconds is capped.
    EXPECT_EQ(xing({.Version = 3, .Bitrate = 8, .SampleRate = 8000}, 0xFFFFFFFF).Duration,
              2147483000);

    // Any other four bytes: the constant-bitrate time.
    std::vector<uint8_t> lower = test::XingFrame(kCbr, 10000);
    std::memcpy(lower.data() + 36, "xing", 4);
    // 4170 bytes at 16000 bytes a second
    EXPECT_EQ(Found(TMp3Builder().Bytes(lower).Frames(kCbr, 9).Build()),
              TFound(true, 0, false, 0, false));
}

TEST(AudioInfo, ConstantBitrateTimeIsTruncatedWholeSeconds) {
    struct Case {
        int64_t size;
        bool tag;
        int32_t offset;
        int32_t duration;
    };
    const Case cases[] = {
        {4000000, true, 0, 249000},       // 3999872 * 8 / 128000 = 249.99
        {4000000, false, 0, 250000},      // exactly 250 s
        {300000000, false, 0, 18750000},  // the product exceeds 32 bits
        {4000000, false, 16000, 249000},  // bytes before the first frame do not count
        {int64_t{3} << 31, false, 0, 402653000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        test::TPatchStream stream(c.size);
        stream.Put(c.offset, TMp3Builder().Frames(kCbr, 2).Build());
        if (c.tag)
            stream.Put(c.size - 128, test::ID3v1Block({.Title = "t"}));
        TAudioInfo info;
        info.SyncSearchLimit = 20000;
        info.AnalyzeStream(stream, c.size);
        EXPECT_EQ(Found(info), TFound(true, c.offset, false, c.duration, c.tag));
        EXPECT_LT(stream.BytesRead, 21000);  // a bounded read, whatever the size
    }

    // Free format has no bitrate to divide by.
    std::vector<uint8_t> free = TMp3Builder().Bytes({0xFF, 0xFB, 0x00, 0x64}).Build();
    free.resize(100000);
    EXPECT_EQ(Found(free), TFound(true, 0, false, 0, false));
}

TEST(AudioInfo, SearchStartsAfterAnID3v2Tag) {
    // The tag's UTF-16 text begins with FF FE, which reads as a Layer I header.
    TAudioInfo info = Analyzed(TMp3Builder().ID3v2(4096).Frames(kCbr, 3).Build());
    EXPECT_EQ(Found(info), TFound(true, 4096, false, 0, false));
    EXPECT_EQ(info.FrameHdr.LayerIndex(), 3);

    // Cover art makes the tag larger than the window; the limit counts from the tag's end.
    EXPECT_EQ(Found(TMp3Builder().ID3v2(300000).Bytes(Junk(10292)).Frames(kCbr, 3).Build()),
              TFound(true, 300000 + 10292, false, 0, false));
    EXPECT_EQ(Found(TMp3Builder().ID3v2(300000).Bytes(Junk(10293)).Frames(kCbr, 3).Build()),
              TFound(false, -1, false, 0, false));

    // A footer adds 10 bytes; the CBR time counts from the first frame: 40 * 417 bytes = 1.04 s.
    EXPECT_EQ(Found(TMp3Builder().ID3v2(1000, true).Frames(kCbr, 40).ID3v1({}).Build()),
              TFound(true, 1000, false, 1000, true));

    // A tag that claims more than the range, or a size that is not sync-safe, is not skipped.
    std::vector<uint8_t> huge = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    const std::vector<uint8_t> frames = TMp3Builder().Frames(kCbr, 3).Build();
    huge.insert(huge.end(), frames.begin(), frames.end());
    EXPECT_EQ(Found(huge), TFound(true, 10, false, 0, false));
    huge[9] = 0x80;
    EXPECT_EQ(Found(huge), TFound(true, 10, false, 0, false));
    // A tag that fills the range exactly leaves no audio.
    EXPECT_EQ(Analyzed(test::ID3v2Tag(5000)).FirstFrameOffset, -1);
}

TEST(AudioInfo, OffsetsCountFromTheStartOfTheRange) {
    std::vector<uint8_t> bytes = Junk(1000);
    std::vector<uint8_t> range =
        TMp3Builder().Bytes(Junk(50)).Frames(kCbr, 5).ID3v1({.Title = "in range"}).Build();
    bytes.insert(bytes.end(), range.begin(), range.end());
    std::vector<uint8_t> after = test::ID3v1Block({.Title = "after"});
    bytes.insert(bytes.end(), after.begin(), after.end());

    TMemoryStream stream(bytes);
    stream.Seek(1000);
    TAudioInfo info;
    info.AnalyzeStream(stream, static_cast<int64_t>(range.size()));
    EXPECT_EQ(Found(info), TFound(true, 50, false, 0, true));
    EXPECT_EQ(info.ID3v1.Title, "in range");

    // A size past the end of the stream is cut to what is there.
    stream.Seek(1000);
    info.AnalyzeStream(stream, 1 << 30);
    EXPECT_EQ(info.ID3v1.Title, "after");
    EXPECT_EQ(info.FirstFrameOffset, 50);
}

// A stream that promises more bytes than it holds, like a file cut short during the analysis.
class TShrunkStream : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
    int64_t Size() override { return TMemoryStream::Size() + 5000; }
};

TEST(AudioInfo, ShortReadIsAnError) {
    TShrunkStream stream(Junk(300));
    TAudioInfo info;
    EXPECT_THAT([&] { info.AnalyzeStream(stream, stream.Size()); },
                ThrowsMessage<EStreamError>(StrEq("Stream read error")));
}

TEST(FatDateTime, PacksLocalTimeLikeFat) {
    std::tm tm{};
    tm.tm_year = 2023 - 1900;
    tm.tm_mon = 5;
    tm.tm_mday = 15;
    tm.tm_hour = 13;
    tm.tm_min = 45;
    tm.tm_sec = 59;
    tm.tm_isdst = -1;
    const int64_t t = std::mktime(&tm);
    EXPECT_EQ(FatDateTime(t), ((43 << 9 | 6 << 5 | 15) << 16) | (13 << 11 | 45 << 5 | 29));
    tm.tm_year = 2100 - 1900;  // the top bit of the date is set: a negative number
    const int32_t late = FatDateTime(std::mktime(&tm));
    EXPECT_LT(late, 0);
    EXPECT_EQ(static_cast<uint32_t>(late) >> 25, 120u);
    tm.tm_year = 1979 - 1900;
    EXPECT_EQ(FatDateTime(std::mktime(&tm)), -1);
}

class AudioInfoFile : public testing::Test {
  protected:
    test::TempDir Dir;
};

TEST_F(AudioInfoFile, LoadsFileFacts) {
    const std::string path = Dir.File("01 Song.mp3");
    test::WriteFile(path,
                    TMp3Builder().Frames(kCbr, 10).ID3v1({.Title = "Song", .Track = 1}).Build());
    TAudioInfo info;
    info.LoadFromFile(path);
    EXPECT_EQ(Found(info), TFound(true, 0, false, 0, true));
    EXPECT_EQ(info.FileSize, 4298);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(info.FileAge, FatDateTime(st.st_mtime));
    EXPECT_NE(info.FileAge, -1);
    EXPECT_EQ(info.FileAttr, faArchive);

    const std::string hidden = Dir.File(".hidden.mp3");
    test::WriteFile(hidden, TMp3Builder().Frames(kCbr, 2).Build());
    chmod(hidden.c_str(), 0444);
    info.LoadFromFile(hidden);
    EXPECT_FALSE(info.ID3v1.Exists);  // the next file keeps nothing of the last one's tag
    EXPECT_EQ(info.ID3v1.Title, "");
    EXPECT_EQ(info.ID3v1.GenreCode, 255);
    EXPECT_EQ(info.FileSize, 834);
    EXPECT_EQ(info.FileAttr, faArchive | faHidden | faReadOnly);

    // A name of blanks only opens nothing.
    info.LoadFromFile(" \t ");
    EXPECT_EQ(info.FileSize, -1);
    EXPECT_EQ(info.FirstFrameOffset, -1);
}

// A failed open leaves the cleared results; a FIFO named like an MP3 file is refused at once
// instead of waiting for a writer.
TEST_F(AudioInfoFile, RefusesWhatIsNotARegularFile) {
    TAudioInfo info;
    info.FileSize = 5;
    EXPECT_THROW(info.LoadFromFile(Dir.File("missing.mp3")), EStreamError);
    EXPECT_EQ(info.FileSize, -1);
    EXPECT_EQ(info.FileAge, -1);
    const std::string fifo = Dir.File("x.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_THROW(info.LoadFromFile(fifo), EStreamError);
    EXPECT_THROW(info.LoadFromFile(Dir.Path()), EStreamError);
}

// A file of 3 GiB (sparse, so it costs no disk) is beyond the 32-bit sizes: it is analysed whole,
// its size reads -1, and its tag is read and written at its real end.
TEST_F(AudioInfoFile, FilesOf2GiBOrMoreAreAnalysedWhole) {
    const std::string path = Dir.File("huge.mp3");
    const int64_t size = int64_t{3} << 30;
    {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        if (ftruncate(fd, size) != 0) {
            close(fd);
            GTEST_SKIP() << "no sparse 3 GiB file here: " << std::strerror(errno);
        }
        std::vector<uint8_t> head = TMp3Builder().Frames(kCbr, 2).Build();
        std::vector<uint8_t> tail = test::ID3v1Block({.Title = "Far away"});
        ASSERT_EQ(pwrite(fd, head.data(), head.size(), 0), ssize_t(head.size()));
        ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), size - 128), 128);
        close(fd);
    }
    TAudioInfo info;
    info.LoadFromFile(path);
    EXPECT_EQ(Found(info), TFound(true, 0, false, (size - 128) * 8 / 128000 * 1000, true));
    EXPECT_EQ(info.FileSize, -1);
    EXPECT_EQ(info.ID3v1.Title, "Far away");

    info.ID3v1.SetField(fkTitle, "Saved");
    info.ID3v1.SaveToFile(path);
    TID3v1Tag back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Title, "Saved");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
}

// Reading through the file stream's buffer gives the same results as reading the bytes from
// memory, and reads about the search window plus the tag.
TEST_F(AudioInfoFile, FileAndMemoryAnalysesAgreeWithFewBytesRead) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int64_t extra;  // the ID3v2 tag, or what lies past the window
    };
    const TFrameParams mpeg2{.Version = 2, .Bitrate = 64, .SampleRate = 22050, .ChannelMode = 3};
    const Case cases[] = {
        {"cbr", TMp3Builder().Frames(kCbr, 300).ID3v1({.Title = "t", .Track = 2}).Build(), 0},
        {"vbr", TMp3Builder().XingStream(mpeg2, 200).Build(), 0},
        {"v2 small", TMp3Builder().ID3v2(2000).Frames(kCbr, 300).Build(), 2000},
        {"v2 large", TMp3Builder().ID3v2(100000).Frames(kCbr, 30).ID3v1({}).Build(), 100000},
        {"late frame", TMp3Builder().Bytes(Junk(10000)).Frames(kCbr, 30).Build(), 125},
        {"no audio", Junk(50000), 0},
        {"tiny", Junk(10), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Dir.File("f.mp3");
        test::WriteFile(path, c.bytes);
        TFileStream file(path, TFileStream::Mode::Read);
        TAudioInfo fromFile;
        fromFile.AnalyzeStream(file, file.Size());
        TAudioInfo fromMemory = Analyzed(c.bytes);
        EXPECT_EQ(Found(fromFile), Found(fromMemory));
        EXPECT_EQ(std::memcmp(fromFile.FrameHdr.HeaderBytes, fromMemory.FrameHdr.HeaderBytes, 4),
                  0);
        EXPECT_LE(file.BytesFromDisk(), 10296 + 128 + 10 + c.extra);
    }
}

}  // namespace
}  // namespace velmora
