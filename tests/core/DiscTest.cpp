// The disc: the check of folders against the radio profile, the image read back (names, bytes,
// the data's order, volume id, Level 1 and 2), and writes that fail or are cancelled.
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "cli/CliCommand.h"
#include "core/Disc.h"
#include "core/DiscImage.h"
#include "core/DiscNames.h"
#include "core/IsoImage.h"
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
    EXPECT_EQ(Radio().CapacityMB, 700);
    ASSERT_NE(FindDiscProfile("Стандартный MP3 CD"), nullptr);
    EXPECT_EQ(FindDiscProfile("Стандартный MP3 CD")->MaxFiles, 999);
    EXPECT_EQ(FindDiscProfile("nothing"), nullptr);
    EXPECT_EQ(With650MBBlank(Radio()).CapacitySectors, 333000);
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
        {"001 Jon Berg Trio - Paper Moon Dance.mp3", true,
         "001 Jon Berg Trio - Paper Moon Dance.mp3", "001_JON_BERG_TRIO___PAPER_M.MP3",
         "001_JON_.MP3"},
        {"Альбом 1", false, "Al'bom 1", "AL_BOM_1", "AL_BOM_1"},
        {"D001", false, "D001", "D001", "D001"},
        // Windows-1251 names: each byte that is not UTF-8 is one character.
        {"\xC5\xF9\xB8.mp3", true, "___.mp3", "___.MP3", "___.MP3"},
        {"\xC5\xF9.mp3", true, "__.mp3", "__.MP3", "__.MP3"},
        {"bmp3", true, "bmp3.mp3", "BMP3.MP3", "BMP3.MP3"},
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

// One folder per problem code, and a clean one.
TEST(DiscCheck, FindsEachProblemInAFolderMadeForIt) {
    TDiscProfile tiny = Radio();
    tiny.CapacitySectors = 30;
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
        {"too-many-files",
         [](const TempDir& d) {
             for (int i = 0; i < 502; ++i)
                 PutGood(d.File((i < 251 ? "D001/" : "D002/") + std::to_string(i) + ".mp3"), 2);
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
        {"name-too-long", [](const TempDir& d) { PutGood(d.File(std::string(28, 'A') + ".mp3")); }},
        {"name-too-long",
         [](const TempDir& d) { PutGood(d.File(std::string(32, 'F') + "/1.mp3")); }},
        {"name-chars", [](const TempDir& d) { PutGood(d.File("Песня.mp3")); }},
        {"not-mp3", [](const TempDir& d) { WriteFile(d.File("cover.jpg"), "jpeg"); }},
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
            EXPECT_EQ(check.Files.size(), 3u);
            EXPECT_EQ(DiscSummary(check), "Папок: 2 из 253, файлов: 3, 1 МБ из 700 МБ");
            continue;
        }
        EXPECT_TRUE(CodesOf(check).count(c.Code)) << DiscSummary(check);
        EXPECT_EQ(check.HasFatal(), c.Fatal);
        for (const TDiscProblem& p : check.Problems)
            EXPECT_THAT(p.Text, HasSubstr(" — ")) << p.Code;  // says what to do
    }
}

TEST(DiscCheck, TheAdviceNamesTheCommandToUse) {
    TempDir dir;
    PutGood(dir.File(std::string(32, 'A') + ".mp3"));
    const TDiscCheck check = CheckDisc(RealFileSystem(), dir.Path(), Radio());
    ASSERT_EQ(check.Problems.size(), 1u);
    EXPECT_EQ(FormatDiscProblem(check.Problems[0]),
              "problem\t" + std::string(32, 'A') +
                  ".mp3\tname-too-long\tИмя длиннее 31 символа: обрежется на диске — "
                  "переименуйте файлы (Переименование файла)");
}

std::string ReadBytes(const std::string& path, uint64_t offset, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
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

// The files as a radio plays them: the root's, then each folder's, each by name.
void PlayOrder(TIsoListing& listing) {
    std::sort(listing.Files.begin(), listing.Files.end(), [](const auto& a, const auto& b) {
        const bool rootA = a.Path.find('/') == std::string::npos;
        const bool rootB = b.Path.find('/') == std::string::npos;
        return rootA != rootB ? rootA : a.Path < b.Path;
    });
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

TEST_F(DiscImageTest, TheImageHoldsEveryFileOnceInPlayOrderAtBothLevels) {
    const auto before = Snapshot();
    for (int level : {2, 1}) {
        SCOPED_TRACE(level);
        TDiscProfile profile = Radio();
        profile.IsoLevel = level;
        const TDiscCheck check = CheckDisc(RealFileSystem(), Music.Path(), profile);
        const TDiscImageResult result = WriteDiscImage(check, Iso, true, nullptr);
        ASSERT_TRUE(result.Ok) << result.Message;
        TIsoListing iso, joliet;
        ASSERT_EQ(ReadIsoImage(Iso, false, iso), "");
        ASSERT_EQ(ReadIsoImage(Iso, true, joliet), "");
        PlayOrder(iso);
        PlayOrder(joliet);
        EXPECT_EQ(iso.VolumeId, DiscVolumeId(fs::path(Music.Path()).filename()));
        const std::vector<std::string> isoNames =
            level == 2
                ? std::vector<std::string>{"01_FIRST.MP3",  "02_SECOND.MP3", "PESNYA.MP3",
                                           "D001/01_A.MP3", "D001/02_B.MP3", "D002/01_TWO.MP3"}
                : std::vector<std::string>{"01_FIRST.MP3",  "02_SECON.MP3",  "PESNYA.MP3",
                                           "D001/01_A.MP3", "D001/02_B.MP3", "D002/01_TWO.MP3"};
        const std::vector<std::string> sources = {"01 First.mp3",  "02 Second.mp3",
                                                  "Песня.mp3",     "D001/01 A.mp3",
                                                  "D001/02 B.mp3", "D002/01 Two.mp3"};
        const std::vector<std::string> jolietNames = {"01 First.mp3",  "02 Second.mp3",
                                                      "Pesnya.mp3",    "D001/01 A.mp3",
                                                      "D001/02 B.mp3", "D002/01 Two.mp3"};
        ASSERT_EQ(iso.Files.size(), isoNames.size());
        ASSERT_EQ(joliet.Files.size(), isoNames.size());
        uint32_t lastBlock = 0;
        for (size_t i = 0; i < isoNames.size(); ++i) {
            EXPECT_EQ(iso.Files[i].Path, isoNames[i]);
            EXPECT_EQ(joliet.Files[i].Path, jolietNames[i]);
            EXPECT_EQ(joliet.Files[i].Block, iso.Files[i].Block);
            EXPECT_GT(iso.Files[i].Block, lastBlock) << "data out of play order at " << i;
            lastBlock = iso.Files[i].Block;
            EXPECT_TRUE(ReadBytes(Iso, uint64_t{iso.Files[i].Block} * 2048, iso.Files[i].Size) ==
                        Whole(Music.File(sources[i])))
                << sources[i];
            // The check's play order is the image's.
            EXPECT_EQ(
                (check.Files[i].Folder < 0
                     ? ""
                     : check.Folders[static_cast<size_t>(check.Files[i].Folder)].IsoName + "/") +
                    check.Files[i].IsoName,
                isoNames[i]);
        }
        EXPECT_EQ(iso.Folders, (std::vector<std::string>{"D001", "D002"}));
        EXPECT_TRUE(Leftovers(Out.Path()).empty());
    }
    EXPECT_EQ(Snapshot(), before);
}

TEST(DiscImage, NamesThatDifferInLetterCaseAlonePlayInTheIsoNamesOrder) {
    // "Queen" sorts before "abba" by its bytes; the radio plays by the ISO 9660 names.
    TempDir music, out;
    PutGood(music.File("Queen.mp3"), 4, 1);
    PutGood(music.File("abba.mp3"), 4, 2);
    const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), Radio());
    ASSERT_TRUE(WriteDiscImage(check, out.File("d.iso"), false, nullptr).Ok);
    for (bool joliet : {false, true}) {
        TIsoListing listing;
        ASSERT_EQ(ReadIsoImage(out.File("d.iso"), joliet, listing), "");
        ASSERT_EQ(listing.Files.size(), 2u);
        const auto& abba = listing.Files[listing.Files[0].Path.find('Q') == 0 ? 1 : 0];
        const auto& queen = listing.Files[listing.Files[0].Path.find('Q') == 0 ? 0 : 1];
        EXPECT_LT(abba.Block, queen.Block) << "the data follows the ISO names";
    }
    EXPECT_EQ(check.Files[0].Source, "abba.mp3");
}

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
    EXPECT_THAT(text, HasSubstr("Directory listing of /D002/"));
    EXPECT_THAT(text, HasSubstr("Joliet"));
    EXPECT_THAT(text, HasSubstr("Volume id: " + check.VolumeId));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("NOTES")));
}

// Fails a write with ENOSPC once `Room` bytes are written.
class TFullDisk : public TSysCalls {
  public:
    int64_t Room = 0;
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
    EXPECT_THAT(r.Message, HasSubstr("Образ диска не записан: No space left on device"));

    // An existing file is not replaced unless the user agreed.
    r = WriteDiscImage(check, Out.File("old.iso"), false, nullptr);
    EXPECT_THAT(r.Message, HasSubstr("уже есть"));
    EXPECT_EQ(Whole(Out.File("old.iso")), "old");

    // A folder vanishes during the write: its files cannot be read any more.
    r = WriteDiscImage(check, Iso, false, [&](int64_t, int64_t) {
        fs::remove_all(Music.File("D004"));
        return true;
    });
    EXPECT_FALSE(r.Ok);
    EXPECT_THAT(r.Message, HasSubstr("Образ диска не записан: "));
    EXPECT_FALSE(fs::exists(Iso));
    EXPECT_TRUE(Leftovers(Out.Path()).empty());
    EXPECT_EQ(FilesUnder(Out.Path()), std::vector<std::string>{"old.iso"});

    // A folder vanishes between the check and the write.
    r = WriteDiscImage(check, Iso, false, nullptr);
    EXPECT_THAT(r.Message, HasSubstr("D004/01 Last.mp3: No such file or directory"));
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
    EXPECT_THAT(r.Message, HasSubstr("No space left on device"));
    EXPECT_TRUE(left.empty());
}

TEST_F(DiscImageTest, TheCommandLineChecksAndWrites) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"check", Music.Path()}, out, err), 1);
    EXPECT_THAT(out.str(), HasSubstr("problem\tПесня.mp3\tname-chars\t"));
    EXPECT_THAT(out.str(), HasSubstr("problem\tnotes.txt\tnot-mp3\t"));
    EXPECT_THAT(out.str(), HasSubstr("summary\tПапок: 2 из 253, файлов: 6, 1 МБ из 700 МБ\n"));

    TempDir clean;
    PutGood(clean.File("01.mp3"));
    out.str("");
    EXPECT_EQ(RunCli({"check", clean.Path(), "--profile", "Стандартный MP3 CD", "--650"}, out, err),
              0);
    EXPECT_EQ(out.str(), "summary\tПапок: 0 из 255, файлов: 1, 1 МБ из 650 МБ\n");

    out.str("");
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso, "--volume-id", "Лето"}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("renamed\tПесня.mp3\tPesnya.mp3\tPESNYA.MP3\n"));
    EXPECT_THAT(out.str(), HasSubstr("image\t" + Iso + "\tLETO\n"));
    EXPECT_THAT(err.str(), HasSubstr("progress\t100%"));
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso}, out, err), 1);  // exists, no --replace
    EXPECT_EQ(RunCli({"image", Music.Path(), Iso, "--replace"}, out, err), 0);
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
    int Checks = 0, Confirms = 0, Steps = 0;
    void ShowDiscCheck(const TDiscCheck&) override { ++Checks; }
    bool ConfirmDiscImage(const TDiscCheck&) override {
        ++Confirms;
        return Confirm;
    }
    std::optional<TImageTarget> AskImageFile(const std::string&) override { return Target; }
    bool StepProgress(int64_t, int64_t) override {
        ++Steps;
        return true;
    }
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
    EXPECT_EQ(port.Confirms, 1);
    EXPECT_FALSE(fs::exists(Iso));

    port.Confirm = true;
    port.Target = TUserPort::TImageTarget{Iso, false};
    model.ConvertMenuDiscImageClick();
    EXPECT_TRUE(fs::exists(Iso));
    EXPECT_EQ(port.Messages.back(), "Образ диска записан: " + Iso);
    EXPECT_TRUE(port.Errors.empty());
}

}  // namespace
}  // namespace velmora::test
