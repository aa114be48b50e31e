// The disc: the check of folders against the radio profile, the image read back (names, bytes,
// the data's order, volume id, Level 1 and 2), and writes that fail or are cancelled.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "cli/CliCommand.h"
#include "core/disc/Disc.h"
#include "core/disc/DiscImage.h"
#include "core/disc/DiscNames.h"
#include "core/disc/IsoImage.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: what every radio plays.
std::vector<uint8_t> GoodMp3(int frames = 4, uint32_t seed = 0) {
    TMp3Builder b;
    b.Frames({}, frames);
    if (seed)
        b.Bytes(seed % 97, static_cast<uint8_t>(seed));  // files of different bytes
    b.ID3v1({.Title = "Song", .Artist = "Band", .Track = 1});
    return b.Build();
}

void PutGood(const std::string& path, int frames = 4, uint32_t seed = 0) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, GoodMp3(frames, seed));
}

std::set<std::string> CodesOf(const TDiscCheck& check) {
    std::set<std::string> codes;
    for (const TDiscProblem& p : check.Problems)
        codes.insert(p.Code);
    return codes;
}

const TDiscProfile& Radio() {
    return DiscProfiles().front();
}

// The real file system, except that analysing one file fails as an unreadable file does.
class TUnreadableFs : public TFaultyFs {
  public:
    std::string Unreadable;
    void LoadAudioInfo(const std::string& path, TAudioInfo& info) override {
        if (path == Unreadable)
            throw EStreamError(CannotOpenText(path, "Permission denied"));
        TFaultyFs::LoadAudioInfo(path, info);
    }
};

TEST(DiscProfile, TheDefaultIsTheRadioAndBothCanBeFound) {
    ASSERT_EQ(Radio().Name, "Blaupunkt MP3 CD (Chevrolet, GM Daewoo)");
    EXPECT_EQ(Radio().MaxFolders, 253);
    ASSERT_NE(FindDiscProfile("Стандартный MP3 CD"), nullptr);
    EXPECT_EQ(FindDiscProfile("Стандартный MP3 CD")->MaxFiles, 999);
    EXPECT_EQ(FindDiscProfile("nothing"), nullptr);
    // The blank's last sector less the 150 a burning program pads after the image.
    EXPECT_EQ(Radio().MaxImageSectors(), 359849 - 150);
    EXPECT_EQ(With650MBBlank(Radio()).MaxImageSectors(), 332850 - 150);
    EXPECT_EQ(ProfileOf({.Profile = 1, .Blank = 1}).Name, "Стандартный MP3 CD");
    EXPECT_EQ(ProfileOf({.Profile = 1, .Blank = 1}).Blank.Minutes, 74);
    EXPECT_EQ(ProfileOf({.Profile = 9, .Blank = 9}).Name, Radio().Name);
}

TEST(DiscNames, JolietAndIsoNamesFollowTheLevel) {
    const struct {
        const char* Name;
        bool IsFile;
        const char* Joliet;
        const char* Level2;
        const char* Level1;
    } cases[] = {
        {"01_song.mp3", true, "01_song.mp3", "01_SONG.MP3", "01_SONG.MP3"},
        {"01 Band - Song.MP3", true, "01 Band - Song.mp3", "01_BAND___SONG.MP3", "01_BAND_.MP3"},
        {"Песня.mp3", true, "Pesnya.mp3", "PESNYA.MP3", "PESNYA.MP3"},
        {"a:b?.mp3", true, "a_b_.mp3", "A_B_.MP3", "A_B_.MP3"},
        {"a\"b<c>|.mp3", true, "a_b_c__.mp3", "A_B_C__.MP3", "A_B_C__.MP3"},
        {"001 Jon Berg Trio - Paper Moon Dance.mp3", true,
         "001 Jon Berg Trio - Paper Moon Dance.mp3", "001_JON_BERG_TRIO___PAPER_M.MP3",
         "001_JON_.MP3"},
        {"Альбом 1", false, "Al'bom 1", "AL_BOM_1", "AL_BOM_1"},
        {"D001", false, "D001", "D001", "D001"},
        // Windows-1251 names: each byte that is not UTF-8 is one character.
        {"\xC5\xF9\xB8.mp3", true, "___.mp3", "___.MP3", "___.MP3"},
        {"\xC5\xF9.mp3", true, "__.mp3", "__.MP3", "__.MP3"},
        {"bmp3", true, "bmp3.mp3", "BMP3.MP3", "BMP3.MP3"},
        // Letters a radio can show: accents folded as the tags fold them, letters stored apart
        // from their marks (as a Mac keeps them) composed first, Ё and Й keep their case.
        {"Café.mp3", true, "Cafe.mp3", "CAFE.MP3", "CAFE.MP3"},
        {"Sigur Rós - Hoppípolla", false, "Sigur Ros - Hoppipolla", "SIGUR_ROS___HOPPIPOLLA",
         "SIGUR_RO"},
        {"Mot\xC3\xB6rhead - Stra\xC3\x9F"
         "e.mp3",
         true, "Motorhead - Strasse.mp3", "MOTORHEAD___STRASSE.MP3", "MOTORHEA.MP3"},
        {"\xD0\x98\xCC\x86oga.mp3", true, "Yoga.mp3", "YOGA.MP3", "YOGA.MP3"},
        {"\xD0\xA7\xD0\xB0\xD0\xB8\xCC\x86\xD1\x84 - \xD0\xA0\xD0\xB0\xD0\xB8\xCC\x86.mp3", true,
         "TCHayf - Ray.mp3", "TCHAYF___RAY.MP3", "TCHAYF__.MP3"},
        {"Ёлка.mp3", true, "Elka.mp3", "ELKA.MP3", "ELKA.MP3"},
        {"ЁЛКА Йога йод ёж", false, "ELKA Yoga yod ezh", "ELKA_YOGA_YOD_EZH", "ELKA_YOG"},
        {"\xD0\x95\xCC\x88лка.mp3", true, "Elka.mp3", "ELKA.MP3", "ELKA.MP3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string joliet = DiscJolietName(c.Name, c.IsFile, Radio());
        EXPECT_EQ(joliet, c.Joliet);
        EXPECT_EQ(DiscIsoName(joliet, c.IsFile, 2), c.Level2);
        EXPECT_EQ(DiscIsoName(joliet, c.IsFile, 1), c.Level1);
    }
    EXPECT_EQ(DiscJolietName(std::string(80, 'x') + ".mp3", true, Radio()).size(), 64u);
    EXPECT_EQ(DiscVolumeId("Музыка в машину 2026 — лето и осень"),
              "MUZYKA_V_MASHINU_2026___LETO_I_O");
    EXPECT_EQ(DiscVolumeId("..."), "___");
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ';');)
        parts.push_back(part);
    return parts;
}

// Names in the list's order come out in that order in both trees of the disc: their own names
// where they sort so, else padded numbers, else places in the list.
TEST(DiscNames, NamesOnTheDiscFollowTheListsOrder) {
    using E = EDiscNaming;
    const struct {
        const char* What;
        E How;
        const char *List, *Joliet, *Iso;  // in the list's order, ";" between names
        bool IsFile = true;
        int Level = 2;
    } cases[] = {
        {"numbers by value", E::Numbers, "1 Intro.mp3;9 Nine.mp3;10 Ten.mp3;100 Hundred.mp3",
         "001 Intro.mp3;009 Nine.mp3;010 Ten.mp3;100 Hundred.mp3",
         "001_INTRO.MP3;009_NINE.MP3;010_TEN.MP3;100_HUNDRED.MP3"},
        {"a name without a number", E::Numbers, "2 - A.mp3;10 - B.mp3;Bonus.mp3",
         "02 - A.mp3;10 - B.mp3;Bonus.mp3", "02___A.MP3;10___B.MP3;BONUS.MP3"},
        {"capitals first in the Joliet tree", E::Positions, "abba.mp3;Queen.mp3",
         "01 abba.mp3;02 Queen.mp3", "01_ABBA.MP3;02_QUEEN.MP3"},
        {"Cyrillic", E::Positions, "Ёлка.mp3;Цой.mp3;Эхо.mp3", "01 Elka.mp3;02 Coy.mp3;03 Eho.mp3",
         "01_ELKA.MP3;02_COY.MP3;03_EHO.MP3"},
        {"equal ISO names, whole Joliet names", E::Own,
         "Bulgakov - Master i Margarita - 09.mp3;Bulgakov - Master i Margarita - 10.mp3",
         "Bulgakov - Master i Margarita - 09.mp3;Bulgakov - Master i Margarita - 10.mp3",
         "BULGAKOV___MASTER_I_MARGA_1.MP3;BULGAKOV___MASTER_I_MARGA_2.MP3"},
        {"Joliet names equal but for case", E::Own, "Song.mp3;song.mp3", "Song_1.mp3;song_2.mp3",
         "SONG_1.MP3;SONG_2.MP3"},
        {"8.3 at Level 1", E::Positions, "Alpha Beta Gamma.mp3;Alpha Beta Delta.mp3",
         "01 Alpha Beta Gamma.mp3;02 Alpha Beta Delta.mp3", "01_ALPHA.MP3;02_ALPHA.MP3", true, 1},
        {"folders by value", E::Positions, "Disc 2;Disc 10", "01 Disc 2;02 Disc 10",
         "01_DISC_2;02_DISC_10", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TDiscProfile profile = Radio();
        profile.IsoLevel = c.Level;
        std::vector<TDiscEntry> entries(Split(c.List).size());
        for (size_t i = 0; i < entries.size(); ++i)
            entries[i].Source = "D001/" + Split(c.List)[i];
        std::vector<TDiscEntry*> refs;
        for (TDiscEntry& e : entries)
            refs.push_back(&e);
        EXPECT_EQ(NameInListOrder(refs, c.IsFile, profile), c.How);
        std::string joliet, iso;
        for (const TDiscEntry& e : entries) {
            joliet += (joliet.empty() ? "" : ";") + e.Name;
            iso += (iso.empty() ? "" : ";") + e.IsoName;
        }
        EXPECT_EQ(joliet, c.Joliet);
        EXPECT_EQ(iso, c.Iso);
    }
}

// One folder per problem code, and a clean one.
TEST(DiscCheck, FindsEachProblemInAFolderMadeForIt) {
    TDiscProfile tiny = Radio();
    tiny.Blank.Sectors = kBurnPadSectors + 20;
    TempDir outside;
    PutGood(outside.File("song.mp3"));
    const TDiscProfile standard = *FindDiscProfile("Стандартный MP3 CD");
    const auto frames = [](TFrameParams params, int count, std::optional<TID3v1Fields> tag) {
        TMp3Builder b;
        b.Frames(params, count);
        if (tag)
            b.ID3v1(*tag);
        return b.Build();
    };
    const TFrameParams mpeg2{.Version = 2, .Bitrate = 64, .SampleRate = 22050};
    const TFrameParams mpeg25{.Version = 3, .Bitrate = 32, .SampleRate = 11025};
    const TFrameParams slow{.Version = 2, .Bitrate = 8, .SampleRate = 24000};
    const TID3v1Fields latin{.Title = "Song"};
    const struct {
        const char* Code;  // "" for the clean folder
        std::function<void(const TempDir&)> Make;
        bool Fatal = false;
        const TDiscProfile* Profile = nullptr;
    } cases[] = {
        {"",
         [](const TempDir& d) {
             PutGood(d.File("01_A.mp3"));
             PutGood(d.File("D001/01_B.mp3"));
             PutGood(d.File("D002/01_C.mp3"));
             PutGood(d.File("D002/Café.mp3"));  // Latin, whatever its accents
             WriteFile(d.File(".hidden"), "x");
         }},
        {"too-many-folders",
         [](const TempDir& d) {
             for (int i = 1; i <= 254; ++i)
                 PutGood(d.File(NumberedFolderName(i) + "/01.mp3"), 2);
         },
         true},
        {"too-many-folders",
         [](const TempDir& d) {
             for (int i = 1; i <= 251; ++i)
                 PutGood(d.File(NumberedFolderName(i) + "/01.mp3"), 2);
         }},
        {"too-many-files",  // 507 files, 2 folders and the root: 510 entries of 509
         [](const TempDir& d) {
             for (int i = 0; i < 507; ++i)
                 PutGood(d.File((i < 254 ? "D001/" : "D002/") + std::to_string(1000 + i) + ".mp3"),
                         2);
         }},
        {"too-many-files",
         [](const TempDir& d) {
             for (int i = 0; i < 1000; ++i)
                 PutGood(d.File(std::to_string(i) + ".mp3"), 2);
         },
         false, &standard},
        {"too-many-in-folder",
         [](const TempDir& d) {
             for (int i = 0; i < 256; ++i)
                 PutGood(d.File(std::to_string(i) + ".mp3"), 2);
         }},
        {"too-deep", [](const TempDir& d) { PutGood(d.File("D001/SUB/01.mp3")); }},
        {"name-too-long",
         [&](const TempDir& d) {
             WriteFile(d.File(std::string(28, 'A') + ".mp3"), frames({}, 4, {}));
         }},
        {"name-too-long",
         [](const TempDir& d) { PutGood(d.File(std::string(32, 'F') + "/1.mp3")); }},
        {"name-chars", [](const TempDir& d) { PutGood(d.File("Песня.mp3")); }},
        {"not-mp3", [](const TempDir& d) { WriteFile(d.File("cover.jpg"), "jpeg"); }},
        {"numbered",
         [](const TempDir& d) {
             PutGood(d.File("9 Nine.mp3"));
             PutGood(d.File("10 Ten.mp3"));
         }},
        {"link-outside",
         [&](const TempDir& d) {
             ASSERT_EQ(::symlink(outside.File("song.mp3").c_str(), d.File("A.mp3").c_str()), 0);
         }},
        {"link-outside",
         [&](const TempDir& d) {
             ASSERT_EQ(::symlink(outside.Path().c_str(), d.File("D001").c_str()), 0);
         }},
        {"link-broken",
         [&](const TempDir& d) {
             ASSERT_EQ(::symlink(d.File("gone.mp3").c_str(), d.File("A.mp3").c_str()), 0);
         }},
        {"not-mp3",
         [](const TempDir& d) { WriteFile(d.File("noise.mp3"), std::string(500, 'x')); }},
        {"mpeg-version",
         [&](const TempDir& d) { WriteFile(d.File("A.mp3"), frames(mpeg25, 4, latin)); }},
        {"sample-rate",
         [&](const TempDir& d) { WriteFile(d.File("A.mp3"), frames(mpeg2, 4, latin)); }},
        {"bitrate", [&](const TempDir& d) { WriteFile(d.File("A.mp3"), frames(slow, 4, latin)); }},
        {"id3v2-large",
         [&](const TempDir& d) {
             WriteFile(d.File("A.mp3"),
                       TMp3Builder().ID3v2(40000).Frames({}, 4).ID3v1(latin).Build());
         }},
        {"id3v2-present",
         [&](const TempDir& d) {
             WriteFile(d.File("A.mp3"), TMp3Builder().ID3v2(1000).Frames({}, 4).Build());
         }},
        {"tag-not-latin",
         [&](const TempDir& d) {
             WriteFile(d.File("A.mp3"),
                       frames({}, 4, TID3v1Fields{.Title = "\xCF\xE5\xF1\xED\xFF"}));
         }},
        {"no-tag", [&](const TempDir& d) { WriteFile(d.File("A.mp3"), frames({}, 4, {})); }},
        {"tag-damaged",
         [&](const TempDir& d) {  // a tagger wrote the low bytes of "Поворот"
             WriteFile(d.File("A.mp3"), frames({}, 4, TID3v1Fields{.Title = "\x1f>2>@>B"}));
         }},
        {"tag-damaged",  // "?" for letters, and nothing to compare them with
         [&](const TempDir& d) {
             WriteFile(d.File("A.mp3"), frames({}, 4, TID3v1Fields{.Title = "?????? ????"}));
         }},
        {"hidden", [](const TempDir& d) { PutGood(d.File(".mp3")); }},
        {"disc-full", [](const TempDir& d) { PutGood(d.File("A.mp3"), 60); }, true, &tiny},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Code);
        TempDir dir;
        c.Make(dir);
        const TDiscCheck check =
            CheckDisc(RealFileSystem(), dir.Path(), c.Profile ? *c.Profile : Radio());
        if (*c.Code == '\0') {
            EXPECT_TRUE(check.Problems.empty()) << FormatDiscProblem(check.Problems.front());
            EXPECT_EQ(check.Files.size(), 4u);
            EXPECT_EQ(DiscSummary(check), "Папок: 2 из 253, файлов: 4, 1 МБ из 702 МБ");
            continue;
        }
        EXPECT_TRUE(CodesOf(check).count(c.Code)) << DiscSummary(check);
        if (std::string(c.Code) == "link-outside") {
            EXPECT_TRUE(check.Files.empty());  // never followed out of the folder
        }
        EXPECT_EQ(check.HasFatal(), c.Fatal);
        for (const TDiscProblem& p : check.Problems)
            EXPECT_THAT(p.Text, HasSubstr(" — ")) << p.Code;  // says what to do
    }
}

// Which files go on the disc, under either profile, and what the check says of the others.
TEST(DiscCheck, OnlyMpegLayerIIIWithAStreamGoesOnTheDisc) {
    const TFrameParams l3{}, l2{.Layer = 2, .Bitrate = 192}, l1{.Layer = 1, .Bitrate = 128};
    const TFrameParams mpeg2{.Version = 2, .Bitrate = 64, .SampleRate = 22050};
    const TFrameParams free{.Bitrate = 0};
    const auto riff = [](const std::vector<uint8_t>& body) {
        TMp3Builder b;
        b.Bytes({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        return b.Bytes(body).Build();
    };
    std::vector<uint8_t> pcm(20000, 0x10);
    const auto falseSync = RawHeader(0, 1, 0, 0);  // "MPEG-2.5, 0 kbit/s" in the samples
    std::copy(falseSync.begin(), falseSync.end(), pcm.begin() + 100);
    std::vector<uint8_t> freeFormat;
    for (int i = 0; i < 6; ++i) {
        const auto h = FrameHeader(free);
        freeFormat.insert(freeFormat.end(), h.begin(), h.end());
        freeFormat.insert(freeFormat.end(), 2085, 0x11);  // 640 kbit/s
    }
    std::mt19937 random(7);
    std::vector<uint8_t> noise(20000);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    TMp3Builder zeroTime;
    zeroTime.Bytes(XingFrame(l3, 0)).Frames(l3, 3);
    const struct {
        const char* What;
        std::vector<uint8_t> Bytes;
        bool OnDisc;
        const char* Code;  // under the radio's profile; "" for none
        const char* Says;
    } cases[] = {
        {"MPEG-1 Layer III", GoodMp3(), true, "", ""},
        {"MPEG-2 Layer III", TMp3Builder().Frames(mpeg2, 4).ID3v1({.Title = "S"}).Build(), true,
         "mpeg-version", "MPEG-2 Layer III"},
        {"a WAV with a false sync in its samples", riff(pcm), false, "not-mp3", "WAV"},
        {"MP3 inside a WAV", riff(GoodMp3()), false, "not-mp3", "WAV"},
        {"Layer II", TMp3Builder().Frames(l2, 6).Build(), false, "not-mp3", "Layer II"},
        {"Layer I", TMp3Builder().Frames(l1, 6).Build(), false, "not-mp3", "Layer I,"},
        {"free format", freeFormat, false, "not-mp3", "свободного формата"},
        {"random bytes", noise, false, "not-mp3", "Нет звука MP3"},
        {"one frame and nothing after it", TMp3Builder().Frames(l3, 1).Build(), false, "not-mp3",
         "нет второго"},
        {"a Xing header counting no frames", zeroTime.Build(), false, "not-mp3", "0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        WriteFile(dir.File("A.mp3"), c.Bytes);
        for (const TDiscProfile& profile : DiscProfiles()) {
            const TDiscCheck check = CheckDisc(RealFileSystem(), dir.Path(), profile);
            EXPECT_EQ(check.Files.size(), c.OnDisc ? 1u : 0u) << profile.Name;
            // The standard profile has no audio limits: a file it takes gets no line there.
            const bool line = *c.Code && (!c.OnDisc || profile.Name == Radio().Name);
            if (line) {
                ASSERT_FALSE(check.Problems.empty()) << profile.Name;
                EXPECT_EQ(check.Problems.front().Code, c.Code);
                EXPECT_THAT(check.Problems.front().Text, HasSubstr(c.Says));
            } else {
                EXPECT_TRUE(check.Problems.empty()) << FormatDiscProblem(check.Problems.front());
            }
        }
    }
}

// The limits at their edges: a full D001..D253 disc passes; the 509 entries count the root.
TEST(DiscCheck, CountsAreTrueAtTheLimits) {
    const struct {
        int Folders, RootFiles;
        std::set<std::string> Codes;
    } cases[] = {
        {253, 0, {"too-many-folders"}},  // 507 entries; past 250 folders a warning
        {253, 2, {"too-many-folders"}},  // 509
        {253, 3, {"too-many-folders", "too-many-files"}},  // 510
        {250, 0, {}},
        {251, 0, {"too-many-folders"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Folders) + " + " + std::to_string(c.RootFiles));
        TempDir dir;
        for (int i = 1; i <= c.Folders; ++i)
            PutGood(dir.File(NumberedFolderName(i) + "/01.mp3"), 2);
        for (int i = 0; i < c.RootFiles; ++i)
            PutGood(dir.File("0" + std::to_string(i) + ".mp3"), 2);
        const TDiscCheck check = CheckDisc(RealFileSystem(), dir.Path(), Radio());
        EXPECT_EQ(CodesOf(check), c.Codes);
        for (const TDiscProblem& p : check.Problems) {
            if (p.Code == "too-many-files") {
                EXPECT_THAT(p.Text, HasSubstr("510 из 509: некоторые магнитолы"));
            }
        }
    }
}

// A name too long for the ISO 9660 tree is a problem only where the radio shows the name: a
// file without a title to show instead, any folder.
TEST(DiscCheck, NameTooLongOnlyWhereTheRadioShowsTheCutName) {
    const std::string longName = std::string(30, 'A') + ".mp3";
    const auto v2Title = [] { return TMp3Builder().ID3v2(200).Frames({}, 4).Build(); };
    const struct {
        const char* What;
        std::string Path;
        std::vector<uint8_t> Bytes;
        const TDiscProfile* Profile;
        bool Fires;
        std::string Cut = std::string(27, 'A') + ".MP3";  // the name the radio would show
    } cases[] = {
        {"no tag", longName, TMp3Builder().Frames({}, 4).Build(), &Radio(), true},
        {"an ID3v1 title", longName, GoodMp3(), &Radio(), false},
        {"an ID3v1 tag without title", longName,
         TMp3Builder().Frames({}, 4).ID3v1({.Artist = "Band"}).Build(), &Radio(), true},
        {"27 characters", std::string(27, 'A') + ".mp3", TMp3Builder().Frames({}, 4).Build(),
         &Radio(), false},
        {"a long folder", std::string(32, 'F') + "/1.mp3", GoodMp3(), &Radio(), true,
         std::string(31, 'F')},
        {"a folder of 31", std::string(31, 'F') + "/1.mp3", GoodMp3(), &Radio(), false},
        {"an ID3v2 title: the radio reads ID3v1 only", longName, v2Title(), &Radio(), true},
        {"an ID3v2 title on a standard disc", longName, v2Title(),
         FindDiscProfile("Стандартный MP3 CD"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        fs::create_directories(fs::path(dir.File(c.Path)).parent_path());
        WriteFile(dir.File(c.Path), c.Bytes);
        const TDiscCheck check = CheckDisc(RealFileSystem(), dir.Path(), *c.Profile);
        const auto it =
            std::find_if(check.Problems.begin(), check.Problems.end(),
                         [](const TDiscProblem& p) { return p.Code == "name-too-long"; });
        EXPECT_EQ(it != check.Problems.end(), c.Fires);
        if (it != check.Problems.end()) {
            EXPECT_THAT(it->Text, HasSubstr("обрежется до «" + c.Cut + "»"));
        }
    }
}

// The size against the blank never shows the same number on both sides of the limit.
TEST(DiscCheck, TheSizeTellsAFullDiscFromOneThatFits) {
    const int64_t limit = Radio().MaxImageSectors();  // 702.5 MB
    const struct {
        int64_t Sectors;
        const char* Text;
    } cases[] = {
        {31000, "61 МБ из 702 МБ"},
        {359000, "359 000 из 359 699 секторов"},  // 701.2 MB: rounded up it would read 702
        {limit + 600, "704 МБ из 702 МБ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sectors);
        EXPECT_EQ(DiscSizeText(c.Sectors, limit), c.Text);
    }
    // Every size near the limit: a disc that fits and one that does not never read the same.
    std::set<std::string> fits, over;
    for (int64_t s = limit - 2000; s <= limit + 2000; ++s)
        (s <= limit ? fits : over).insert(DiscSizeText(s, limit));
    for (const std::string& t : fits)
        EXPECT_EQ(over.count(t), 0u) << t;
}

std::string Whole(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// Hidden files of ours left in a folder.
std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".velmora-", 0) == 0)
            names.push_back(e.path().filename());
    return names;
}

class DiscImageTest : public ::testing::Test {
  protected:
    TempDir Music, Out;
    std::string Iso = Out.File("disc.iso");

    void SetUp() override {
        // Listed by the file system in some order; the disc plays by the names.
        PutGood(Music.File("02 Second.mp3"), 4, 2);
        PutGood(Music.File("01 First.mp3"), 4, 1);
        PutGood(Music.File("Песня.mp3"), 4, 3);
        PutGood(Music.File("D002/01 Two.mp3"), 8, 4);
        PutGood(Music.File("D001/02 B.mp3"), 4, 5);
        PutGood(Music.File("D001/01 A.mp3"), 6, 6);
        WriteFile(Music.File("notes.txt"), "left out");
        WriteFile(Music.File("D001/cover.jpg"), "left out");
    }
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const std::string& f : FilesUnder(Music.Path()))
            files[f] = Whole(Music.File(f));
        return files;
    }
};

TEST_F(DiscImageTest, TheImageReadsBackWithIsoinfo) {
    if (std::system("command -v isoinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
    const TDiscCheck check = CheckDisc(RealFileSystem(), Music.Path(), Radio());
    ASSERT_TRUE(WriteDiscImage(check, Iso, false, nullptr).Ok);
    const std::string listing = Out.File("listing.txt");
    ASSERT_EQ(std::system(("isoinfo -l -i '" + Iso + "' > '" + listing + "' && isoinfo -d -i '" +
                           Iso + "' >> '" + listing + "'")
                              .c_str()),
              0);
    const std::string text = Whole(listing);
    EXPECT_THAT(text, HasSubstr("01_FIRST.MP3;1"));
    const std::string joliet = Out.File("joliet.txt");
    ASSERT_EQ(std::system(("isoinfo -J -l -i '" + Iso + "' > '" + joliet + "'").c_str()), 0);
    EXPECT_THAT(Whole(joliet), HasSubstr(" 01 First.mp3 \n"));  // no ";1"
    EXPECT_THAT(Whole(joliet), ::testing::Not(HasSubstr(";1")));
    EXPECT_THAT(text, HasSubstr("Directory listing of /D002/"));
    EXPECT_THAT(text, HasSubstr("Joliet"));
    EXPECT_THAT(text, HasSubstr("Volume id: " + check.VolumeId));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("NOTES")));
}

// Fails a write with ENOSPC once `Room` bytes are written.
class TFullDisk : public TSysCalls {
  public:
    int64_t Room = 0;
    int Opens = 0;
    int Open(const char* path, int flags, mode_t mode) override {
        ++Opens;
        return TSysCalls::Open(path, flags, mode);
    }
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        if (Room <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const size_t n = std::min<size_t>(count, static_cast<size_t>(Room));
        Room -= static_cast<int64_t>(n);
        return TSysCalls::Write(fd, buffer, n);
    }
};

TEST_F(DiscImageTest, AFailedOrCancelledWriteLeavesNoImageAndTheMusicUntouched) {
    const auto before = Snapshot();
    // Enough data that the write reports progress before its end, and that D004's file lies
    // beyond everything libisofs may have read ahead by then (its 4 MB buffer, our two 1 MB
    // pieces): about 10 MB.
    for (int i = 0; i < 8; ++i)
        PutGood(Music.File("D003/0" + std::to_string(i) + " Big.mp3"), 3000, 7 + i);
    PutGood(Music.File("D004/01 Last.mp3"));
    const TDiscCheck check = CheckDisc(RealFileSystem(), Music.Path(), Radio());
    WriteFile(Out.File("old.iso"), "old");

    // Cancelled at the first progress.
    TDiscImageResult r = WriteDiscImage(check, Iso, false, [](int64_t, int64_t) { return false; });
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.Message, "Запись образа отменена");

    // The disk fills up.
    TFullDisk disk;
    disk.Room = 300000;
    r = WriteDiscImage(check, Iso, false, nullptr, disk);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "Образ диска не записан: нет места на диске");

    // An existing file is not replaced unless the user agreed: refused before anything is made.
    TFullDisk untouchable;
    r = WriteDiscImage(check, Out.File("old.iso"), false, nullptr, untouchable);
    EXPECT_EQ(r.Message, "Образ диска не записан: файл «" + Out.File("old.iso") + "» уже есть");
    EXPECT_EQ(untouchable.Opens, 0);
    EXPECT_EQ(Whole(Out.File("old.iso")), "old");

    // A folder vanishes during the write: its files cannot be read any more.
    r = WriteDiscImage(check, Iso, false, [&](int64_t, int64_t) {
        fs::remove_all(Music.File("D004"));
        return true;
    });
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message,
              "Образ диска не записан: файл «D004/01 Last.mp3» не открывается: нет "
              "такого файла или папки");
    EXPECT_FALSE(fs::exists(Iso));
    EXPECT_TRUE(Leftovers(Out.Path()).empty());
    EXPECT_EQ(FilesUnder(Out.Path()), std::vector<std::string>{"old.iso"});

    // A folder vanishes between the check and the write.
    r = WriteDiscImage(check, Iso, false, nullptr);
    EXPECT_THAT(r.Message, HasSubstr("«D004/01 Last.mp3» не открывается"));
    EXPECT_FALSE(fs::exists(Iso));
    fs::remove_all(Music.File("D003"));
    EXPECT_EQ(Snapshot(), before);  // only what the test itself made and removed is gone

    // An unreadable file refuses the image before anything is written.
    TUnreadableFs unreadable;
    unreadable.Unreadable = JoinPath(Music.Path(), "D001/01 A.mp3");
    const TDiscCheck bad = CheckDisc(unreadable, Music.Path(), Radio());
    ASSERT_TRUE(CodesOf(bad).count("unreadable"));
    r = WriteDiscImage(bad, Iso, false, nullptr);
    EXPECT_THAT(r.Message, HasSubstr("D001/01 A.mp3: Файл не читается"));
    EXPECT_FALSE(fs::exists(Iso));
}

TEST_F(DiscImageTest, AFullTmpfsGivesAClearMessageAndNoImage) {
    TempDir small;
    if (::mount("velmora-test", small.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const TDiscCheck check = CheckDisc(RealFileSystem(), Music.Path(), Radio());
    const TDiscImageResult r = WriteDiscImage(check, small.File("disc.iso"), false, nullptr);
    const auto left = FilesUnder(small.Path());
    ::umount(small.Path().c_str());
    EXPECT_FALSE(r.Ok);
    EXPECT_THAT(r.Message, HasSubstr("нет места на диске"));
    EXPECT_TRUE(left.empty());
}

TEST_F(DiscImageTest, TheCommandLineChecksAndWrites) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"check", Music.Path()}, out, err), 1);
    EXPECT_THAT(out.str(), HasSubstr("problem\tПесня.mp3\tname-chars\t"));
    EXPECT_THAT(out.str(), HasSubstr("problem\tnotes.txt\tnot-mp3\t"));
    EXPECT_THAT(out.str(), HasSubstr("summary\tПапок: 2 из 253, файлов: 6, 1 МБ из 702 МБ\n"));

    TempDir clean;
    PutGood(clean.File("01.mp3"));
    out.str("");
    EXPECT_EQ(RunCli({"check", clean.Path(), "--profile", "Стандартный MP3 CD", "--650"}, out, err),
              0);
    EXPECT_EQ(out.str(), "summary\tПапок: 0 из 255, файлов: 1, 1 МБ из 649 МБ\n");
    // Names that get numbers on the disc are a note: nothing to do, exit 0.
    PutGood(clean.File("9.mp3"));
    PutGood(clean.File("10.mp3"));
    out.str("");
    EXPECT_EQ(RunCli({"check", clean.Path()}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("note\t.\tnumbered\t"));

    out.str("");
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso, "--volume-id", "Лето"}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("renamed\tПесня.mp3\tPesnya.mp3\tPESNYA.MP3\n"));
    EXPECT_THAT(out.str(), HasSubstr("image\t" + Iso + "\tLETO\n"));
    EXPECT_THAT(err.str(), HasSubstr("progress\timage\t100%"));
    err.str("");
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso}, out, err), 1);  // exists, no --replace
    EXPECT_EQ(err.str(), "velmora-cli: файл «" + Iso +
                             "» уже есть — добавьте --replace, чтобы "
                             "заменить его\n");
    out.str("");
    const std::string list = Out.File("disc.txt");
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso, "--replace", "--list", list}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("list\t" + list + "\n"));
    EXPECT_THAT(Whole(list), HasSubstr("\nD001\n"));
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso, "--replace", "--list", Iso}, out, err), 2);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"image"},
          {"image", Music.Path()},
          {"image", Music.File("notes.txt"), Iso},
          {"image", Music.Path(), Iso, "--profile", "nothing"},
          {"image", Music.Path(), Iso, "--bogus"}})
        EXPECT_EQ(RunCli(bad, out, err), 2);
}

// The window's commands through the port.
class TDiscPort : public TScriptedPort {
  public:
    std::optional<TImageTarget> Target;
    bool Confirm = true;
    std::optional<TDiscChoice> Choose;  // what the user picks in the dialog
    std::vector<TDiscChoice> Shown;     // the choice each dialog opened with
    int Checks = 0;
    std::vector<EDiscPurpose> Purposes;
    bool ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice& choice,
                       const TDiscRecheck& recheck) override {
        Purposes.push_back(purpose);
        ++Checks;
        Shown.push_back(choice);
        if (Choose) {
            choice = *Choose;
            check = recheck(choice);
        }
        return purpose == EDiscPurpose::Check || (Confirm && !check.HasFatal());
    }
    std::optional<TImageTarget> AskImageFile(const std::string&) override { return Target; }
};

// The real file system, whose folder lock another copy of the program holds.
class TLockedFs : public TFaultyFs {
  public:
    bool LockFolder(const std::string&) override { return false; }
};

TEST_F(DiscImageTest, TheWindowsCommandsCheckWarnAndWrite) {
    TDiscPort port;
    TMainModel model(port);
    model.FormCreate();
    model.ConvertMenuDiscImageClick();
    EXPECT_EQ(port.Messages, std::vector<std::string>{"Сначала откройте папку с MP3 файлами"});
    port.Messages.clear();
    port.FolderAnswers.push_back(Music.Path());
    model.Run([&] { model.FileMenuAddDirClick(); });
    model.ConvertMenuDiscCheckClick();
    EXPECT_EQ(port.Checks, 1);

    port.Confirm = false;  // the warnings shown, the user stops
    model.ConvertMenuDiscImageClick();
    EXPECT_EQ(port.Checks, 2);
    EXPECT_FALSE(fs::exists(Iso));

    // The user picks the standard profile, the 650 MB blank and the track list.
    port.Confirm = true;
    port.Choose = TDiscChoice{.Profile = 1, .Blank = 1, .TrackList = true};
    port.Target = TUserPort::TImageTarget{Iso, false};
    model.ConvertMenuDiscImageClick();
    ASSERT_TRUE(fs::exists(Iso)) << ::testing::PrintToString(port.Errors);
    ASSERT_FALSE(port.Messages.empty());
    EXPECT_EQ(port.Messages.back(),
              "Образ диска записан: " + Iso + "\rСписок треков: " + Out.File("disc.txt"));
    EXPECT_THAT(Whole(Out.File("disc.txt")), HasSubstr("(Стандартный MP3 CD)"));
    EXPECT_TRUE(port.Errors.empty());

    // The choice holds for the next dialogs of the run.
    port.Choose.reset();
    model.ConvertMenuDiscCheckClick();
    EXPECT_EQ(port.Shown.back().Profile, 1u);
    EXPECT_EQ(port.Shown.back().Blank, 1u);

    // Replacing the image asks nothing more of its track list.
    port.Target = TUserPort::TImageTarget{Iso, true};
    model.ConvertMenuDiscImageClick();
    EXPECT_TRUE(port.Questions.empty());
    EXPECT_TRUE(port.Errors.empty());
}

TEST_F(DiscImageTest, TheWindowsImageWaitsForAnotherCopyWorkingInTheFolder) {
    TDiscPort port;
    TLockedFs locked;
    TMainModel model(port, locked);
    model.FormCreate();
    port.FolderAnswers.push_back(Music.Path());
    model.Run([&] { model.FileMenuAddDirClick(); });
    port.Target = TUserPort::TImageTarget{Iso, false};
    model.Run([&] { model.ConvertMenuDiscImageClick(); });
    EXPECT_EQ(port.Checks, 0);
    ASSERT_EQ(port.Errors.size(), 1u);
    EXPECT_THAT(port.Errors[0], HasSubstr("уже обрабатывает другая копия Velmora"));
    EXPECT_FALSE(fs::exists(Iso));
}

// The sheet for the disc's case: folders and files in play order, tags, times, totals.
TEST(DiscTrackList, ListsTheDiscInPlayOrder) {
    TDiscCheck check;
    check.Profile = Radio();
    check.VolumeId = "LETO";
    check.Sectors = 31000;
    check.Folders = {{.Source = "Альбом", .Name = "Al'bom", .IsoName = "AL_BOM"}};
    check.Files = {
        {"01.mp3", "01.mp3", "01.MP3", -1, 0, {}, 65000, "Кино", "Звезда"},
        {"Альбом/2.mp3", "02 Long Name.mp3", "02_LONG_NAME.MP3", 0, 0, {}, 3725000, "", "Title"},
        {"Альбом/3.mp3", "03.mp3", "03.MP3", 0, 0, {}, 0, "Kino", "Kino-Gruppa krovi"}};
    EXPECT_EQ(DiscTrackList(check),
              "Диск LETO (Blaupunkt MP3 CD (Chevrolet, GM Daewoo))\n"
              "\n"
              "Корень диска\n"
              "  1  01.mp3            Кино – Звезда      1:05\n"
              "\n"
              "Al'bom\n"
              "  1  02 Long Name.mp3  Title              1:02:05\n"
              "  2  03.mp3            Kino-Gruppa krovi  0:00\n"
              "\n"
              "Файлов: 3, папок: 1, время звучания: 1:03:10, 61 МБ из 702 МБ\n");
    EXPECT_EQ(TrackListPathFor("/a/Music.iso"), "/a/Music.txt");
    EXPECT_EQ(TrackListPathFor("/a/Music"), "/a/Music.txt");
    EXPECT_EQ(TrackListPathFor("/a/list.txt"), "/a/list.txt.txt");
}

}  // namespace
}  // namespace velmora::test
