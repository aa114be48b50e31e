#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "audio/ID3Tags.h"
#include "tests/audio/StreamDoubles.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

using test::ID3v1Block;
using test::TID3v1Fields;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

TID3v1Tag Loaded(const std::vector<uint8_t>& block) {
    TID3v1Tag tag;
    tag.LoadFromBuffer(block.data(), block.size());
    return tag;
}

std::vector<uint8_t> Saved(TID3v1Tag tag) {
    std::vector<uint8_t> block(128, 0xEE);
    tag.SaveToBuffer(block.data(), block.size());
    return block;
}

// The decoded fields: title, artist, album, year, comment, track, no track, genre code and name.
using TFields = std::tuple<std::string, std::string, std::string, std::string, std::string, int32_t,
                           bool, int32_t, std::string>;
TFields Fields(const TID3v1Tag& t) {
    return {t.Title, t.Artist,  t.Album,     t.Year,     t.Comment,
            t.Track, t.NoTrack, t.GenreCode, t.GenreName};
}

std::string Bytes(const std::vector<uint8_t>& block, size_t offset, size_t width) {
    return std::string(block.begin() + offset, block.begin() + offset + width);
}

TEST(ID3Genres, HoldsTheNamesByCodeAndSortsWithAGivenOrder) {
    BuildID3Genres();
    TGenreList list = ID3Genres();  // a copy: the shared list stays in code order
    ASSERT_EQ(list.Items.size(), 148u);
    for (size_t i = 0; i < list.Items.size(); ++i)
        EXPECT_EQ(list.Items[i].Code, int32_t(i));
    EXPECT_EQ(list.NameOf(0), "Blues");
    EXPECT_EQ(list.NameOf(14), "R&B");
    EXPECT_EQ(list.NameOf(136), "Christian Gangs");
    EXPECT_EQ(list.NameOf(140), "Contemporary Ch?");
    EXPECT_EQ(list.NameOf(141), "Cristian Rock");
    EXPECT_EQ(list.NameOf(147), "Synthpop");
    EXPECT_EQ(list.NameOf(148), "");
    EXPECT_EQ(list.NameOf(-1), "");
    EXPECT_FALSE(list.Sorted);

    list.Sort([](const std::string& a, const std::string& b) { return a < b; });
    EXPECT_TRUE(list.Sorted);
    EXPECT_EQ(list.Items.front().Name, "Acapella");
    EXPECT_EQ(list.Items.back().Name, "Vocal");
    // Look-ups go by code, so they survive sorting.
    EXPECT_EQ(list.NameOf(147), "Synthpop");
    EXPECT_EQ(list.Items[size_t(list.IndexOfCode(0))].Name, "Blues");
    EXPECT_EQ(ID3Genres().Items[0].Name, "Blues");
}

TEST(ID3v1Tag, DecodesTextFieldsUpToTheZeroAndWithoutTrailingBlanks) {
    TID3v1Fields f{.Title = std::string("ABC\0XYZ   ", 10),
                   .Artist = "  ABC  \t",
                   .Album = "Album",
                   .Year = "1999",
                   .Comment = "Comment",
                   .Track = 7,
                   .Genre = 147,
                   .Fill = ' '};
    TID3v1Tag tag = Loaded(ID3v1Block(f));
    EXPECT_TRUE(tag.Exists);
    EXPECT_FALSE(tag.Modified);
    EXPECT_EQ(Fields(tag),
              TFields("ABC", "  ABC", "Album", "1999", "Comment", 7, false, 147, "Synthpop"));

    // Cyrillic bytes (all above 32) are kept as they are; a full-width field has no zero.
    std::string cyr = "\xCF\xF0\xE8\xE2\xE5\xF2";
    EXPECT_EQ(Fields(Loaded(ID3v1Block({.Title = std::string(30, 'x'), .Artist = cyr}))),
              TFields(std::string(30, 'x'), cyr, "", "", "", 0, true, 255, ""));
}

TEST(ID3v1Tag, FindsATagOnlyBehindTheExactMarker) {
    std::vector<uint8_t> block = ID3v1Block({.Title = "T"});
    EXPECT_TRUE(Loaded(block).Exists);
    for (const char* marker : {"tag", "TA\0", "TAg", "\0AG"}) {
        std::memcpy(block.data(), marker, 3);
        EXPECT_FALSE(Loaded(block).Exists) << marker;
    }
    std::memcpy(block.data(), "TAG", 3);
    TID3v1Tag tag;
    tag.LoadFromBuffer(block.data(), 127);
    EXPECT_FALSE(tag.Exists);
}

TEST(ID3v1Tag, ReadsTheTrackOnlyFromAZeroFollowedByANumber) {
    struct Case {
        uint8_t b125, b126;
        int32_t track;
        bool noTrack;
        std::string commentEnd;
    };
    const Case cases[] = {
        {0, 7, 7, false, "c"},   {0, 255, 255, false, "c"},
        {'A', 7, 0, true, "cA"},  // byte 126 is a control character and is trimmed
        {0, 0, 0, true, "c"},    {'A', 'B', 0, true, "cAB"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block = ID3v1Block({.Comment = std::string(28, 'c'), .Fill = ' '});
        block[125] = c.b125;
        block[126] = c.b126;
        TID3v1Tag tag = Loaded(block);
        SCOPED_TRACE(int(c.b125) * 1000 + c.b126);
        EXPECT_EQ(tag.Track, c.track);
        EXPECT_EQ(tag.NoTrack, c.noTrack);
        EXPECT_EQ(tag.Comment, std::string(27, 'c') + c.commentEnd);
    }
}

TEST(ID3v1Tag, LoadWithoutTagLeavesNothingOfTheLastTag) {
    // A file without a tag keeps nothing of the one read before: a save into it would write that
    // file's genre (the byte a save keeps when no genre is chosen) into this one.
    TID3v1Tag tag = Loaded(ID3v1Block({.Title = "Old", .Track = 5, .Genre = 17}));
    tag.SetField(fkArtist, "edited");
    ASSERT_TRUE(tag.Modified);
    std::vector<uint8_t> none(128, 0);
    tag.LoadFromBuffer(none.data(), none.size());
    EXPECT_FALSE(tag.Exists);
    EXPECT_FALSE(tag.Modified);
    EXPECT_EQ(Fields(tag), TFields("", "", "", "", "", 0, true, 255, ""));

    // A range shorter than a tag: the same.
    tag = Loaded(ID3v1Block({.Title = "Old", .Genre = 17}));
    TMemoryStream small(std::vector<uint8_t>(127, 0));
    tag.LoadFromStream(small, 127);
    EXPECT_FALSE(tag.Exists);
    EXPECT_EQ(tag.GenreCode, 255);
}

TEST(ID3v1Tag, SetFieldCutsToTheWidthAndTracksChanges) {
    TID3v1Tag tag;
    EXPECT_FALSE(tag.NoTrack);
    const std::string long35(35, 'a');
    tag.SetField(fkTitle, long35);
    EXPECT_EQ(tag.Title, std::string(30, 'a'));
    EXPECT_TRUE(tag.Modified);
    tag.Modified = false;
    tag.SetField(fkTitle, std::string(30, 'a'));
    EXPECT_FALSE(tag.Modified);
    tag.SetField(fkTitle, long35);  // cut to the same 30 bytes: no change
    EXPECT_FALSE(tag.Modified);

    tag.SetField(fkYear, "20245");
    EXPECT_EQ(tag.Year, "2024");
    tag.SetField(fkAlbum, " spaced ");
    EXPECT_EQ(tag.Album, " spaced ");  // nothing is trimmed
    tag.SetField(fkArtist, "Artist");
    EXPECT_EQ(tag.Artist, "Artist");
    tag.SetField(fkComment, std::string(30, 'c'));
    EXPECT_EQ(tag.Comment, std::string(28, 'c'));  // a track may follow

    tag.Modified = false;
    tag.SetField(fkNone, "x");
    tag.SetField(6, "x");
    tag.SetField(-1, "x");
    EXPECT_FALSE(tag.Modified);

    tag.SetTrack(0);  // a new tag already has track 0
    EXPECT_FALSE(tag.Modified);
    EXPECT_FALSE(tag.NoTrack);
    tag.SetTrack(3);
    tag.SetTrack(0);
    EXPECT_TRUE(tag.NoTrack);
    EXPECT_TRUE(tag.Modified);
    tag.SetField(fkComment, std::string(30, 'c'));
    EXPECT_EQ(tag.Comment, std::string(30, 'c'));

    tag.Modified = false;
    tag.SetGenre(0);
    EXPECT_FALSE(tag.Modified);
    tag.SetGenre(17);
    EXPECT_TRUE(tag.Modified);
    EXPECT_EQ(tag.GenreName, "");  // only a load names the genre
}

TEST(ID3v1Tag, SaveToBufferLaysOutTheBlock) {
    TID3v1Tag tag;
    tag.SetField(fkTitle, "ABC");
    tag.SetField(fkYear, "99");
    tag.SetGenre(300);
    std::vector<uint8_t> block = Saved(tag);
    EXPECT_EQ(Bytes(block, 0, 6), "TAGABC");
    EXPECT_EQ(Bytes(block, 6, 27), std::string(27, ' '));
    EXPECT_EQ(Bytes(block, 93, 4), "99  ");
    EXPECT_EQ(block[125], 0);  // a never-loaded tag writes "no track" as two zeros
    EXPECT_EQ(block[126], 0);
    EXPECT_EQ(block[127], 300 & 0xFF);
    EXPECT_TRUE(Loaded(block).NoTrack);

    tag.SetTrack(256);  // the low byte is 0: reads back as no track
    block = Saved(tag);
    EXPECT_EQ(block[125], 0);
    EXPECT_EQ(block[126], 0);
    EXPECT_EQ(Loaded(block).Track, 0);

    tag.SetTrack(0);  // no track: the comment fills bytes 97..126
    tag.SetField(fkComment, std::string(30, 'z'));
    block = Saved(tag);
    EXPECT_EQ(Bytes(block, 97, 30), std::string(30, 'z'));
    EXPECT_EQ(Loaded(block).Comment, std::string(30, 'z'));

    // Bytes past the block stay; SaveToBuffer clears Modified.
    std::vector<uint8_t> big(130, 0xEE);
    tag.SetField(fkTitle, "new");
    tag.SaveToBuffer(big.data(), big.size());
    EXPECT_FALSE(tag.Modified);
    EXPECT_EQ(big[128], 0xEE);
    EXPECT_EQ(big[129], 0xEE);
}

TEST(ID3v1Tag, SaveToShortBufferFailsWithoutChangingAnything) {
    TID3v1Tag tag;
    tag.SetField(fkTitle, "x");
    std::vector<uint8_t> block(127, 0xEE);
    EXPECT_THAT([&] { tag.SaveToBuffer(block.data(), block.size()); },
                ThrowsMessage<std::exception>(StrEq("TID3v1Tag.Save: Buffer too small")));
    EXPECT_TRUE(tag.Modified);
    EXPECT_EQ(block, std::vector<uint8_t>(127, 0xEE));
}

TEST(ID3v1Tag, RoundTripsEveryFieldCutToItsWidth) {
    TID3v1Tag tag;
    tag.SetField(fkTitle, "Title that is longer than thirty bytes");
    tag.SetField(fkArtist, "\xC0\xF0\xF2\xE8\xF1\xF2");
    tag.SetField(fkAlbum, "  lead");
    tag.SetField(fkYear, "1987");
    tag.SetField(fkComment, "comment");
    tag.SetTrack(12);
    tag.SetGenre(80);
    TID3v1Tag back = Loaded(Saved(tag));
    EXPECT_TRUE(back.Exists);
    EXPECT_EQ(Fields(back),
              TFields(tag.Title, tag.Artist, "  lead", "1987", "comment", 12, false, 80, "Folk"));
}

class ID3v1File : public testing::Test {
  protected:
    std::string Make(const std::vector<uint8_t>& bytes) {
        const std::string path = Dir.File("song.mp3");
        test::WriteFile(path, bytes);
        return path;
    }
    test::TempDir Dir;
};

TEST_F(ID3v1File, SaveAppendsOrReplacesAtTheEnd) {
    TID3v1Tag tag;
    tag.SetField(fkTitle, "New");
    tag.SetTrack(4);

    // A 100-byte file gets a tag appended.
    std::string path = Make(std::vector<uint8_t>(100, 'a'));
    tag.SaveToFile(path);
    std::vector<uint8_t> bytes = test::ReadFile(path);
    ASSERT_EQ(bytes.size(), 228u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100),
              std::vector<uint8_t>(100, 'a'));
    EXPECT_EQ(Bytes(bytes, 100, 6), "TAGNew");
    EXPECT_EQ(bytes[226], 4);

    // Saving again replaces that tag in place.
    tag.SetField(fkTitle, "Newer");
    tag.SaveToFile(path);
    bytes = test::ReadFile(path);
    ASSERT_EQ(bytes.size(), 228u);
    EXPECT_EQ(Bytes(bytes, 100, 8), "TAGNewer");
    TID3v1Tag back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Title, "Newer");

    // An empty file, and one whose older tag is not at the very end: both get a new block.
    path = Make({});
    tag.SaveToFile(path);
    EXPECT_EQ(test::ReadFile(path).size(), 128u);
    std::vector<uint8_t> olderTag = ID3v1Block({.Title = "Old"});
    olderTag.push_back('x');
    path = Make(olderTag);
    tag.SaveToFile(path);
    bytes = test::ReadFile(path);
    ASSERT_EQ(bytes.size(), 257u);
    EXPECT_EQ(Bytes(bytes, 0, 6), "TAGOld");
    EXPECT_EQ(Bytes(bytes, 129, 8), "TAGNewer");
}

TEST_F(ID3v1File, WritesOnlyIntoAnExistingRegularFile) {
    TID3v1Tag tag;
    const std::string missing = Dir.File("missing.mp3");
    EXPECT_THROW(tag.SaveToFile(missing), EStreamError);
    EXPECT_NE(access(missing.c_str(), F_OK), 0);  // nothing was created
    const std::string fifo = Dir.File("x.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_THROW(tag.SaveToFile(fifo), EStreamError);
}

// A failed write must not leave a half-written tag: in place the old block comes back, an
// append is cut off again.
TEST(ID3v1TagSave, FailedWriteRestoresTheFile) {
    TID3v1Tag tag;
    tag.SetField(fkTitle, "Replacement");
    std::vector<uint8_t> tagged(300, 'a');
    std::vector<uint8_t> old = ID3v1Block({.Title = "Old", .Track = 2});
    tagged.insert(tagged.end(), old.begin(), old.end());

    for (size_t allowed : {size_t{0}, size_t{1}, size_t{64}, size_t{127}}) {
        SCOPED_TRACE(allowed);
        test::TFailingStream inPlace(tagged, allowed);
        EXPECT_THROW(tag.SaveToWholeStream(inPlace), EStreamError);
        EXPECT_EQ(inPlace.Bytes, tagged);
        EXPECT_TRUE(tag.Modified);  // still unsaved

        std::vector<uint8_t> plain(300, 'a');
        test::TFailingStream append(plain, allowed);
        EXPECT_THROW(tag.SaveToWholeStream(append), EStreamError);
        EXPECT_EQ(append.Bytes, plain);
    }

    // When the undo fails too, the first error is the one reported.
    test::TFailingStream broken(std::vector<uint8_t>(10, 'a'), 5);
    broken.FailRestore = true;
    EXPECT_THAT([&] { tag.SaveToWholeStream(broken); },
                ThrowsMessage<EStreamError>(StrEq("Stream write error. No space left on device")));

    test::TFailingStream fine(tagged, 128);
    tag.SaveToWholeStream(fine);
    EXPECT_EQ(fine.Bytes.size(), tagged.size());
    EXPECT_FALSE(tag.Modified);
}

// A real file that may not grow (the file-size limit stands in for a full disk): the append
// fails, the error says why, and the file keeps its length and bytes.
TEST_F(ID3v1File, FailedAppendOnARealFileKeepsItsLength) {
    const std::vector<uint8_t> original(1000, 'q');
    const std::string path = Make(original);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1064, 1064};  // room for half a tag
        setrlimit(RLIMIT_FSIZE, &limit);
        TID3v1Tag tag;
        tag.SetField(fkTitle, "Too big");
        try {
            tag.SaveToFile(path);
        } catch (const EStreamError& e) {
            _exit(std::strstr(e.what(), "Stream write error. File too large") ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::ReadFile(path), original);
}

}  // namespace
}  // namespace velmora
