#include "tools/GenFolder.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <tuple>

#include "audio/ID3Tags.h"
#include "core/text/TextCodec.h"
#include "tools/CoverImage.h"
#include "tools/ID3v2Writer.h"
#include "tools/Mp3Builder.h"

namespace velmora::tools {

namespace {

const char* const kLatinArtists[] = {"Northern Lights", "The Paper Boats", "Mila Hart",
                                     "Static Harbour",  "Orange Avenue",   "Jon Berg Trio",
                                     "Velvet Engine",   "Blue Cassette"};
const char* const kLatinTitles[] = {"Morning Road",
                                    "Slow Rain",
                                    "Highway 9",
                                    "Paper Moon Dance",
                                    "Last Exit",
                                    "Silver Lining",
                                    "Coffee at Midnight",
                                    "Long Way Home",
                                    "Echoes",
                                    "Summer Tape",
                                    "A Very Long Title That Does Not Fit Into Thirty Bytes"};
const char* const kCyrillicArtists[] = {"Северное сияние", "Бумажные кораблики", "Мила Харт",
                                        "Тихая гавань",    "Оранжевый проспект", "Трио Берга",
                                        "Бархатный мотор", "Синяя кассета"};
const char* const kCyrillicTitles[] = {"Утренняя дорога",
                                       "Медленный дождь",
                                       "Трасса девять",
                                       "Танец бумажной луны",
                                       "Последний поворот",
                                       "Серебряная нить",
                                       "Кофе в полночь",
                                       "Долгая дорога домой",
                                       "Эхо",
                                       "Летняя кассета",
                                       "Очень длинное название, которое не помещается в тег"};

template <size_t N>
const char* Pick(const char* const (&list)[N], uint32_t value) {
    return list[value % N];
}

constexpr int kAlbumTracks = 10;

// The cover of an album, encoded once for every file of the album that carries it.
std::vector<uint8_t> AlbumCover(uint32_t seed, int album, int kb, TImageFormat format) {
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, int, int, TImageFormat>, std::vector<uint8_t>> covers;
    const auto key = std::make_tuple(seed, album, kb, format);
    const std::lock_guard<std::mutex> lock(mutex);
    auto found = covers.find(key);
    if (found != covers.end())
        return found->second;
    if (covers.size() >= 64)
        covers.clear();
    std::vector<uint8_t> cover = CoverOfSize(format, static_cast<size_t>(kb) * 1024,
                                             seed ^ (static_cast<uint32_t>(album) * 2246822519u));
    covers.emplace(key, cover);
    return cover;
}

// A file as a tagger leaves it: an ID3v2.3 tag with UTF-16 Cyrillic text and maybe a cover,
// CBR audio, and mostly an ID3v1.1 tag.
std::vector<uint8_t> TaggedBytes(int index, const TGenOptions& options, uint32_t artistPick,
                                 uint32_t titlePick, int frames, int genre, const std::string& year,
                                 test::TID3v1Fields tag) {
    const int album = index / kAlbumTracks;
    TID3v2Fields fields{
        .Title = Pick(kCyrillicTitles, titlePick),
        .Artist = Pick(kCyrillicArtists, artistPick),
        .Album = "Сборник № " + std::to_string(album + 1),
        .Year = year,
        .Track = std::to_string(index % kAlbumTracks + 1) + "/" + std::to_string(kAlbumTracks),
        .Genre = ID3Genres().NameOf(genre),
        .Comment = "Записано дома"};
    if (options.CoverEvery > 0 && index % options.CoverEvery == 0) {
        const bool png = album % 4 == 3;
        fields.Picture = AlbumCover(options.Seed, album, options.CoverKB,
                                    png ? TImageFormat::Png : TImageFormat::Jpeg);
        fields.PictureMime = png ? "image/png" : "image/jpeg";
    }
    test::TMp3Builder b;
    b.Bytes(RenderID3v2(fields)).Frames(test::TFrameParams{}, frames);
    if (index % 4 != 3)
        b.ID3v1(tag);
    return b.Build();
}

}  // namespace

TGenFile GenerateFile(int index, const TGenOptions& options) {
    // One generator per file, so a file does not depend on how many came before it.
    std::mt19937 gen(options.Seed + static_cast<uint32_t>(index) * 7919u);
    const uint32_t artistPick = gen();
    const uint32_t titlePick = gen();
    const std::string artist =
        options.Cyrillic ? Pick(kCyrillicArtists, artistPick) : Pick(kLatinArtists, artistPick);
    const std::string title =
        options.Cyrillic ? Pick(kCyrillicTitles, titlePick) : Pick(kLatinTitles, titlePick);
    const int frames = 40 + static_cast<int>(gen() % 161);
    const int track = index % 255 + 1;
    const int genre = static_cast<int>(gen() % 148);
    const std::string year = std::to_string(1970 + gen() % 55);

    test::TID3v1Fields tag{.Title = Utf8ToCp1251(title),
                           .Artist = Utf8ToCp1251(artist),
                           .Album = Utf8ToCp1251(options.Cyrillic ? "Сборник" : "Collection"),
                           .Year = year,
                           .Comment = "generated",
                           .Track = track,
                           .Genre = genre};
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index + 1);
    const std::string name = std::string(number) + " " + artist + " - " + title + ".mp3";
    if (options.Kind == TGenKind::Tagged) {
        BuildID3Genres();
        return {name, TaggedBytes(index, options, artistPick, titlePick, frames, genre, year, tag)};
    }

    const test::TFrameParams cbr;  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo
    test::TMp3Builder b;
    switch (index % 8) {
        case 0:
            b.Frames(cbr, frames).ID3v1(tag);
            break;
        case 1:
            tag.Track = 0;
            tag.Comment = "generated, no track number!!";
            b.Frames(cbr, frames).ID3v1(tag);
            break;
        case 2:
            b.ID3v2(1024 + gen() % 4096).Frames(cbr, frames).ID3v1(tag);
            break;
        case 3: {
            const test::TFrameParams vbr{.Bitrate = 160};
            b.XingStream(vbr, static_cast<uint32_t>(frames)).ID3v1(tag);
            break;
        }
        case 4:
            b.Frames(cbr, frames);
            break;
        case 5:
            b.ID3v2(20000 + gen() % 20000).Frames(cbr, frames);
            break;
        case 6: {
            const test::TFrameParams mono{
                .Version = 2, .Bitrate = 64, .SampleRate = 22050, .ChannelMode = 3};
            b.Frames(mono, frames * 2).ID3v1(tag);
            break;
        }
        default:
            tag.Album.clear();
            b.Frames(cbr, frames).ID3v1(tag);
            break;
    }
    return {name, b.Build()};
}

std::vector<std::string> GenerateFolder(const std::string& dir, const TGenOptions& options) {
    std::vector<std::string> paths;
    for (int i = 0; i < options.Count; ++i) {
        TGenFile file = GenerateFile(i, options);
        paths.push_back(dir + "/" + file.Name);
        test::WriteFile(paths.back(), file.Bytes);
    }
    return paths;
}

}  // namespace velmora::tools
