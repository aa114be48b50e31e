#include "tools/GenFolder.h"

#include <cstdio>
#include <random>

#include "core/TextCodec.h"
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

}  // namespace

TGenFile GenerateFile(int index, const TGenOptions& options) {
    // One generator per file, so a file does not depend on how many came before it.
    std::mt19937 gen(20240607u + static_cast<uint32_t>(index) * 7919u);
    const std::string artist =
        options.Cyrillic ? Pick(kCyrillicArtists, gen()) : Pick(kLatinArtists, gen());
    const std::string title =
        options.Cyrillic ? Pick(kCyrillicTitles, gen()) : Pick(kLatinTitles, gen());
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
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index + 1);
    return {std::string(number) + " " + artist + " - " + title + ".mp3", b.Build()};
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
