// The ID3v2 reader walks a tag's frames and gives TagLib only the frames the program reads, the
// pictures cut short: what a tag gives must not depend on the tags read before it, a cover is
// counted to the byte without being read, and no read allocates anything the size of a cover.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "audio/AudioInfo.h"
#include "tests/audio/AllocationWatch.h"
#include "tools/ID3v2Writer.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

constexpr size_t kKB = 1024;

// A file that begins with a tag rendered by TagLib (a cover of pictureBytes when not 0).
std::vector<uint8_t> TaggedFile(const std::string& title, size_t pictureBytes) {
    tools::TID3v2Fields fields{.Title = title, .Artist = "Кино", .Year = "1988"};
    fields.Picture.assign(pictureBytes, 0x5A);
    return test::TMp3Builder().Bytes(tools::RenderID3v2(fields)).Frames({}, 3).Build();
}

// A tag of the given length holding nothing but padding.
std::vector<uint8_t> PaddingOnly(size_t length) {
    std::vector<uint8_t> tag = test::ID3v2Tag(length);
    std::fill(tag.begin() + 10, tag.end(), 0);
    return test::TMp3Builder().Bytes(tag).Frames({}, 3).Build();
}

// A tag whose body holds bytes but no frame TagLib can read.
std::vector<uint8_t> Garbage(size_t length) {
    std::vector<uint8_t> tag = test::ID3v2Tag(length);
    for (size_t i = 10; i < tag.size(); ++i)
        tag[i] = static_cast<uint8_t>('a' + i % 7);
    return test::TMp3Builder().Bytes(tag).Frames({}, 3).Build();
}

TID3v2Info Read(const std::vector<uint8_t>& file) {
    TMemoryStream stream(file);
    TAudioInfo info;
    info.AnalyzeStream(stream, stream.Size());
    return info.ID3v2;
}

// The same read on a thread of its own, whose buffer has never held another tag.
TID3v2Info ReadFresh(const std::vector<uint8_t>& file) {
    TID3v2Info info;
    std::thread([&] { info = Read(file); }).join();
    return info;
}

void ExpectSame(const TID3v2Info& a, const TID3v2Info& b) {
    EXPECT_EQ(a.Present, b.Present);
    EXPECT_EQ(a.Damaged, b.Damaged);
    EXPECT_EQ(a.Version(), b.Version());
    EXPECT_EQ(a.Size, b.Size);
    EXPECT_EQ(a.Title.Text, b.Title.Text);
    EXPECT_EQ(a.Artist.Text, b.Artist.Text);
    EXPECT_EQ(a.Year.Text, b.Year.Text);
    EXPECT_EQ(a.FieldCount(), b.FieldCount());
    EXPECT_EQ(a.Pictures, b.Pictures);
    EXPECT_EQ(a.PictureBytes, b.PictureBytes);
}

TEST(ID3v2Buffer, EachTagReadsAsIfAloneAndNoCoverIsHeldInMemory) {
    struct TStep {
        const char* Name;
        std::vector<uint8_t> File;
    };
    const size_t huge = (size_t{16} << 20) + 200 * kKB;
    const TStep steps[] = {
        {"a cover", TaggedFile("Первая", 300 * kKB)},
        {"the same again", TaggedFile("Вторая", 300 * kKB)},
        {"padding behind the longer tag's bytes", PaddingOnly(2000)},
        {"garbage", Garbage(5000)},
        {"a tag just under the last one", TaggedFile("Третья", 300 * kKB - 20)},
        {"a larger cover", TaggedFile("Четвёртая", 340 * kKB)},
        {"a cover above 16 MB", TaggedFile("Пятая", huge)},
        {"a smaller one after it", TaggedFile("Шестая", 340 * kKB)},
        {"padding only after it", PaddingOnly(100)},
    };
    // A thread of its own: this thread's buffer has seen no tag of the other tests.
    std::thread([&] {
        for (const TStep& step : steps) {
            SCOPED_TRACE(step.Name);
            const TID3v2Info fresh = ReadFresh(step.File);
            TMemoryStream stream(step.File);
            TAudioInfo info;
            test::TAllocationWatch watch;
            info.AnalyzeStream(stream, stream.Size());
            const size_t largest = watch.Stop();
            ExpectSame(info.ID3v2, fresh);
            EXPECT_LT(largest, 64 * kKB);
            EXPECT_TRUE(info.FrameHdr.Valid);
        }
    }).join();
    // What the steps are about: the tags are read, damaged or not, as they should be.
    EXPECT_EQ(ReadFresh(steps[1].File).Title.Text, "Вторая");
    EXPECT_EQ(ReadFresh(steps[1].File).PictureBytes, static_cast<int64_t>(300 * kKB));
    EXPECT_FALSE(ReadFresh(steps[2].File).Damaged);
    EXPECT_TRUE(ReadFresh(steps[3].File).Damaged);
    EXPECT_EQ(ReadFresh(steps[6].File).PictureBytes, static_cast<int64_t>(huge));
}

}  // namespace
}  // namespace velmora
