#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "cli/CliInfo.h"
#include "tools/GenFolder.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

TEST(CliInfo, PrintsEveryKeyInOrderForEachFile) {
    test::TempDir dir;
    const std::string song = dir.File("song.mp3");
    test::WriteFile(song, test::TMp3Builder()
                              .Frames({}, 50)
                              .ID3v1({.Title = "\xCF\xE5\xF1\xED\xFF",  // Песня
                                      .Artist = "Artist",
                                      .Year = "2001",
                                      .Track = 5,
                                      .Genre = 17})
                              .Build());
    const std::string bare = dir.File("bare.mp3");
    test::WriteFile(bare, std::string(300, 'x'));
    const std::string missing = dir.File("missing.mp3");

    std::ostringstream out, err;
    EXPECT_EQ(PrintFileInfo({song, missing, bare}, out, err), 1);
    EXPECT_EQ(err.str(), "Cannot open file \"" + missing + "\". No such file or directory\n");
    const std::string expected = "file: " + song +
                                 "\n"
                                 "FirstFrameOffset: 0\n"
                                 "Valid: true\n"
                                 "VersionIndex: 1\n"
                                 "LayerIndex: 3\n"
                                 "Bitrate: 128\n"
                                 "SampleRate: 44100\n"
                                 "FrameLength: 417\n"
                                 "IsVBR: false\n"
                                 "Duration: 1000\n"
                                 "FileSize: 20978\n"
                                 "Exists: true\n"
                                 "NoTrack: false\n"
                                 "Title: Песня\n"
                                 "Artist: Artist\n"
                                 "Album: \n"
                                 "Year: 2001\n"
                                 "Comment: \n"
                                 "Track: 5\n"
                                 "GenreCode: 17\n"
                                 "GenreName: Rock\n"
                                 "lblId3Status: Найдены теги ID3v1.1 tag\n"
                                 "lblMpegVersion: MPEG 1.0 layer III\n"
                                 "lblDuration: 0:00:01\n"
                                 "lblMpegParam: 128 kbps, 44100 Hz, Joint Stereo MS \n"
                                 "lblMpegFlags: (Sync, No CRC, No Copyright, Original)\n"
                                 "lblMpegInternal: Frame len=417, 50 frames\n"
                                 "ID3v2Version: \n"
                                 "ID3v2Size: \n"
                                 "ID3v2Title: \n"
                                 "ID3v2Artist: \n"
                                 "ID3v2Album: \n"
                                 "ID3v2Year: \n"
                                 "ID3v2Track: \n"
                                 "ID3v2Genre: \n"
                                 "ID3v2Comment: \n"
                                 "ID3v2Pictures: 0\n"
                                 "\n"
                                 "file: " +
                                 bare +
                                 "\n"
                                 "FirstFrameOffset: -1\n"
                                 "Valid: false\n";
    EXPECT_EQ(out.str().substr(0, expected.size()), expected);
    EXPECT_NE(out.str().find("\nlblDuration: 0:00:00\nlblMpegParam: \n"), std::string::npos);
    EXPECT_EQ(out.str().back(), '\n');
    EXPECT_NE(out.str().substr(out.str().size() - 2), "\n\n");
}

// The generated folder holds what its description promises, the same every time.
TEST(GenFolder, MakesTheDescribedKindsDeterministically) {
    test::TempDir dir;
    const std::vector<std::string> paths = tools::GenerateFolder(dir.Path(), {.Count = 16});
    ASSERT_EQ(paths.size(), 16u);
    EXPECT_EQ(paths[0].substr(dir.Path().size() + 1, 4), "001 ");
    int tags = 0, v11 = 0, vbr = 0, late = 0, mpeg2 = 0;
    for (const std::string& path : paths) {
        TAudioInfo info;
        info.LoadFromFile(path);
        EXPECT_TRUE(info.FrameHdr.Valid) << path;
        EXPECT_GT(info.Duration, 0) << path;
        tags += info.ID3v1.Exists;
        v11 += info.ID3v1.Exists && !info.ID3v1.NoTrack;
        vbr += info.IsVBR;
        late += info.FirstFrameOffset > 10240;
        mpeg2 += info.FrameHdr.VersionIndex == 2;
    }
    EXPECT_EQ(tags, 12);
    EXPECT_EQ(v11, 10);
    EXPECT_EQ(vbr, 2);
    EXPECT_EQ(late, 2);
    EXPECT_EQ(mpeg2, 2);

    const tools::TGenFile a = tools::GenerateFile(10, {.Count = 0, .Cyrillic = true});
    const tools::TGenFile b = tools::GenerateFile(10, {.Count = 0, .Cyrillic = true});
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Bytes, b.Bytes);
    TMemoryStream stream(a.Bytes);
    TID3v1Tag tag;
    tag.LoadFromStream(stream, stream.Size());
    ASSERT_TRUE(tag.Exists);
    EXPECT_GE(static_cast<uint8_t>(tag.Artist[0]), 0xC0);  // a Windows-1251 capital letter
}

}  // namespace
}  // namespace velmora
