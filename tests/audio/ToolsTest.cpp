#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "audio/AudioInfo.h"
#include "cli/CliInfo.h"
#include "tools/CoverImage.h"
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

// Today's folders stay as they were, byte for byte: benchmarks and tests are measured on them.
TEST(GenFolder, TheMixedFoldersAreAsBefore) {
    for (const bool cyrillic : {false, true}) {
        uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a over each name, a zero and the bytes
        auto add = [&](uint8_t byte) { hash = (hash ^ byte) * 0x100000001b3u; };
        for (int i = 0; i < 16; ++i) {
            const tools::TGenFile file = tools::GenerateFile(i, {.Count = 0, .Cyrillic = cyrillic});
            for (const char c : file.Name)
                add(static_cast<uint8_t>(c));
            add(0);
            for (const uint8_t b : file.Bytes)
                add(b);
        }
        EXPECT_EQ(hash, cyrillic ? 0x84db5b8577a5f758u : 0x6f2b50609a141edbu) << cyrillic;
    }
}

bool Contains(const std::vector<uint8_t>& bytes, const std::string& text) {
    const std::vector<uint8_t> what(text.begin(), text.end());
    return std::search(bytes.begin(), bytes.end(), what.begin(), what.end()) != bytes.end();
}

// Files as a tagger leaves them: a TagLib-written ID3v2.3 tag with seven UTF-16 Cyrillic fields on
// each, a cover on every EVERY-th (PNG for every fourth album of ten files, else JPEG), ID3v1.1 on
// three files of four, the audio right behind the tag.
TEST(GenFolder, TaggedFilesCarryRealTagsAndCoversOnTheirShare) {
    struct TCase {
        int Every, KB, Index;
        bool Cover, Png, ID3v1;
    };
    const TCase cases[] = {
        {2, 105, 0, true, false, true},   {2, 105, 1, false, false, true},
        {2, 105, 3, false, false, false}, {1, 337, 7, true, false, false},
        {1, 337, 30, true, true, true},   {1, 100, 39, true, true, false},
        {1, 100, 40, true, false, true},  {0, 105, 0, false, false, true},
        {3, 100, 5, false, false, true},  {3, 100, 6, true, false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Every << ":" << c.KB << " file " << c.Index);
        const tools::TGenOptions options{
            .Count = 0, .Kind = tools::TGenKind::Tagged, .CoverEvery = c.Every, .CoverKB = c.KB};
        const tools::TGenFile file = tools::GenerateFile(c.Index, options);
        TMemoryStream stream(file.Bytes);
        TAudioInfo info;
        info.AnalyzeStream(stream, stream.Size());
        const TID3v2Info& tag = info.ID3v2;
        EXPECT_EQ(tag.Version(), "2.3.0");
        EXPECT_FALSE(tag.Damaged);
        EXPECT_EQ(tag.FieldCount(), 7);
        for (const TID3v2Text* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.Comment})
            EXPECT_FALSE(text->Latin1) << text->Text;  // Cyrillic: the frames are UTF-16
        EXPECT_EQ(tag.Track.Text, std::to_string(c.Index % 10 + 1) + "/10");
        EXPECT_EQ(tag.Pictures, c.Cover ? 1 : 0);
        if (c.Cover) {
            EXPECT_NEAR(static_cast<double>(tag.PictureBytes), c.KB * 1024.0, c.KB * 1024.0 * 0.04);
            EXPECT_EQ(Contains(file.Bytes, "\x89PNG\r\n\x1a\n"), c.Png);
            EXPECT_EQ(Contains(file.Bytes, "\xFF\xD8\xFF"), !c.Png);
        }
        EXPECT_TRUE(info.FrameHdr.Valid);
        EXPECT_EQ(info.FirstFrameOffset, tag.Size);
        EXPECT_EQ(info.ID3v1.Exists, c.ID3v1);
        EXPECT_EQ(tools::GenerateFile(c.Index, options).Bytes, file.Bytes);
        tools::TGenOptions reseeded = options;
        ++reseeded.Seed;
        EXPECT_NE(tools::GenerateFile(c.Index, reseeded).Bytes, file.Bytes);
    }
}

// Everything libjpeg touches after setjmp lives here, so the jump back skips no destructor.
struct TJpegCheck {
    jpeg_decompress_struct Info;
    jpeg_error_mgr Error;
    std::jmp_buf Jump;
};

extern "C" void TestJpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegCheck*>(info->client_data)->Jump, 1);
}

// The sides of a JPEG decoded whole, or {0, 0} when libjpeg refuses it.
std::pair<int, int> JpegSides(TJpegCheck* const job, const std::vector<uint8_t>* const bytes) {
    std::memset(&job->Info, 0, sizeof job->Info);
    job->Info.err = jpeg_std_error(&job->Error);
    job->Error.error_exit = TestJpegErrorExit;
    job->Info.client_data = job;
    if (setjmp(job->Jump) != 0) {
        jpeg_destroy_decompress(&job->Info);
        return {0, 0};
    }
    jpeg_create_decompress(&job->Info);
    jpeg_mem_src(&job->Info, bytes->data(), static_cast<unsigned long>(bytes->size()));
    jpeg_read_header(&job->Info, TRUE);
    jpeg_start_decompress(&job->Info);
    std::vector<JSAMPLE>* row =
        new std::vector<JSAMPLE>(job->Info.output_width * job->Info.output_components);
    while (job->Info.output_scanline < job->Info.output_height) {
        JSAMPROW p = row->data();
        jpeg_read_scanlines(&job->Info, &p, 1);
    }
    delete row;
    jpeg_finish_decompress(&job->Info);
    const std::pair<int, int> sides{static_cast<int>(job->Info.output_width),
                                    static_cast<int>(job->Info.output_height)};
    jpeg_destroy_decompress(&job->Info);
    return sides;
}

std::pair<int, int> PngSides(const std::vector<uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return {0, 0};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {0, 0};
    return {static_cast<int>(image.width), static_cast<int>(image.height)};
}

// The covers are pictures libjpeg and libpng decode whole, of the asked size within 4 %, the same
// for a seed and different for another.
TEST(CoverImage, RealPicturesOfTheAskedSizeFromASeed) {
    struct TCase {
        tools::TImageFormat Format;
        size_t Bytes;
    };
    const TCase cases[] = {
        {tools::TImageFormat::Jpeg, 4096},       {tools::TImageFormat::Jpeg, 105 * 1024},
        {tools::TImageFormat::Jpeg, 337 * 1024}, {tools::TImageFormat::Png, 4096},
        {tools::TImageFormat::Png, 150 * 1024},
    };
    for (const TCase& c : cases) {
        const bool jpeg = c.Format == tools::TImageFormat::Jpeg;
        SCOPED_TRACE(testing::Message() << (jpeg ? "JPEG " : "PNG ") << c.Bytes);
        const std::vector<uint8_t> cover = tools::CoverOfSize(c.Format, c.Bytes, 7);
        EXPECT_NEAR(static_cast<double>(cover.size()), c.Bytes, c.Bytes * 0.04);
        TJpegCheck check;
        const std::pair<int, int> sides = jpeg ? JpegSides(&check, &cover) : PngSides(cover);
        EXPECT_GT(sides.first, 16);
        EXPECT_EQ(sides.first, sides.second);
        EXPECT_EQ(tools::CoverOfSize(c.Format, c.Bytes, 7), cover);
        EXPECT_NE(tools::CoverOfSize(c.Format, c.Bytes, 8), cover);
    }
    EXPECT_THROW(tools::CoverOfSize(tools::TImageFormat::Jpeg, 4095, 1), std::invalid_argument);
    EXPECT_THROW(tools::EncodeCover(tools::TImageFormat::Png, 0, 10, 1), std::invalid_argument);
    EXPECT_THROW(tools::EncodeCover(tools::TImageFormat::Jpeg, 10, 8193, 1), std::invalid_argument);
}

}  // namespace
}  // namespace velmora
