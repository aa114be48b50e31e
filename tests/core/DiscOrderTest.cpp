// The image read from its own bytes: the directory records of both trees in the order they lie
// and the data's order against the list, names equal past 99 and 999, the capacity to the sector
// and a burn of the largest image, files that change while the image is written, the image's
// mode, and an image command stopped by a signal.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "cli/CliCommand.h"
#include "core/disc/DiscImage.h"
#include "core/disc/DiscSplit.h"
#include "core/tags/Naming.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

std::string Whole(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

std::string Sectors(const std::string& image, uint64_t first, uint64_t bytes) {
    std::ifstream in(image, std::ios::binary);
    std::string data(bytes, '\0');
    in.seekg(static_cast<std::streamoff>(first * 2048));
    in.read(data.data(), static_cast<std::streamsize>(bytes));
    return data;
}

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(
        static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
        static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint8_t>(b[at + 3]) << 24);
}

// One directory record, and the records of each folder of a tree ("" the root) in their order
// on the image.
struct TRecord {
    std::string Name;
    bool Folder;
    uint32_t Block, Size;
};
using TTree = std::map<std::string, std::vector<TRecord>>;

void ReadFolder(const std::string& image, bool joliet, const std::string& path, uint32_t block,
                uint32_t size, TTree& tree) {
    const std::string data = Sectors(image, block, (size + 2047) / 2048 * 2048);
    for (size_t at = 0; at < data.size();) {
        if (data[at] == 0) {  // the rest of the sector is empty
            at = (at / 2048 + 1) * 2048;
            continue;
        }
        const std::string raw = data.substr(at + 33, static_cast<uint8_t>(data[at + 32]));
        TRecord r{joliet ? "" : raw, (data[at + 25] & 2) != 0, Le32(data, at + 2),
                  Le32(data, at + 10)};
        for (size_t i = 0; joliet && i + 1 < raw.size(); i += 2)
            AppendUtf8(r.Name,
                       static_cast<uint8_t>(raw[i]) << 8 | static_cast<uint8_t>(raw[i + 1]));
        if (raw.size() != 1 || static_cast<uint8_t>(raw[0]) > 1)  // not "." or ".."
            tree[path].push_back(r);
        at += static_cast<uint8_t>(data[at]);
    }
    for (const TRecord& r : std::vector<TRecord>(tree[path]))
        if (r.Folder)
            ReadFolder(image, joliet, path.empty() ? r.Name : path + "/" + r.Name, r.Block, r.Size,
                       tree);
}

// The ISO 9660 tree (the primary volume descriptor's) or the Joliet tree.
TTree ReadRecords(const std::string& image, bool joliet) {
    TTree tree;
    for (uint64_t lba = 16; lba < 32; ++lba) {
        const std::string vd = Sectors(image, lba, 2048);
        if ((vd[0] == 1 && !joliet) || (vd[0] == 2 && vd.compare(88, 2, "%/") == 0 && joliet)) {
            ReadFolder(image, joliet, "", Le32(vd, 158), Le32(vd, 166), tree);
            break;
        }
    }
    return tree;
}

void PutSong(const std::string& path, int number, int frames = 2) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path,
              TMp3Builder().Frames({}, frames).ID3v1({.Title = std::to_string(number)}).Build());
}

// The folder's MP3 files, or its folders, as the window lists them.
std::vector<std::string> Listed(const std::string& folder, bool folders) {
    std::vector<TDirEntry> entries;
    RealFileSystem().ListDir(folder, entries);
    std::vector<std::string> names;
    for (const TDirEntry& e : entries)
        if (folders ? e.Type == TDirEntry::Kind::Directory : IsMp3Name(e.Name))
            names.push_back(e.Name);
    return names;
}

// In every folder of the disc the ISO 9660 records, the Joliet records and the data follow the
// list, record by record with the file's own bytes; Joliet names have no ";1" and at most 64
// characters. The folders play in the order `folders` gives, by default the listing's.
void ExpectThePlayOrderIsTheList(const TDiscCheck& check, const std::string& iso,
                                 std::optional<std::vector<std::string>> order = std::nullopt,
                                 bool oneOfSeveral = false) {
    std::vector<std::string> folders;
    for (const TDiscEntry& f : check.Folders)
        folders.push_back(f.Source);
    EXPECT_EQ(folders, order ? *order : Listed(check.Folder, true));
    uint32_t lastBlock = 0;
    for (const bool joliet : {false, true}) {
        TTree tree = ReadRecords(iso, joliet);
        const auto disc = [joliet](const TDiscEntry& e) { return joliet ? e.Name : e.IsoName; };
        std::vector<std::string> dirs, expectedDirs;
        for (const TRecord& r : tree[""])
            if (r.Folder)
                dirs.push_back(r.Name);
        for (const TDiscEntry& f : check.Folders)
            expectedDirs.push_back(disc(f));
        EXPECT_EQ(dirs, expectedDirs);
        for (int folder = -1; folder < static_cast<int>(check.Folders.size()); ++folder) {
            const TDiscEntry* dir = folder < 0 ? nullptr : &check.Folders[size_t(folder)];
            std::vector<TRecord> records;
            for (const TRecord& r : tree[dir ? disc(*dir) : ""])
                if (!r.Folder)
                    records.push_back(r);
            std::vector<const TDiscEntry*> files;
            std::vector<std::string> own, expected, onDisc;
            for (const TDiscEntry& f : check.Files)
                if (f.Folder == folder)
                    files.push_back(&f);
            ASSERT_EQ(records.size(), files.size());
            for (size_t i = 0; i < files.size(); ++i) {
                own.push_back(NameOf(files[i]->Source));
                expected.push_back(disc(*files[i]) + (joliet ? "" : ";1"));
                onDisc.push_back(records[i].Name);
                EXPECT_EQ(Sectors(iso, records[i].Block, records[i].Size),
                          Whole(JoinPath(check.Folder, files[i]->Source)));
                EXPECT_TRUE(joliet || records[i].Block > lastBlock) << "data out of order";
                lastBlock = records[i].Block;
                EXPECT_LE(Utf8Length(records[i].Name), joliet ? 64u : 33u);
            }
            // The folder's files in the list's order (those on this disc, when it is one of
            // several).
            std::vector<std::string> listed =
                Listed(dir ? JoinPath(check.Folder, dir->Source) : check.Folder, false);
            if (oneOfSeveral)
                std::erase_if(listed, [&own](const std::string& name) {
                    return std::find(own.begin(), own.end(), name) == own.end();
                });
            EXPECT_EQ(own, listed);
            EXPECT_EQ(onDisc, expected);
        }
    }
}

// A name of what troubles an order: numbers, letter case, Cyrillic, punctuation, long equal
// beginnings.
std::string RandomName(std::mt19937& random) {
    static const std::vector<std::string> pieces = [] {
        std::vector<std::string> parts;
        std::istringstream in(
            "1|2|9|10|100|007|01|Intro|intro|INTRO|Ёлка|Цой|Эхо|ёж|a b|a_b|a.b|a-b|(live)|!|'|"
            "Song|song|Я|z|Z|_|~|Bulgakov - Master i Margarita - ");
        for (std::string part; std::getline(in, part, '|');)
            parts.push_back(part);
        return parts;
    }();
    static const std::vector<std::string> joins = {"", " ", " - ", "_", "."};
    std::string name = pieces[random() % pieces.size()];
    for (int n = static_cast<int>(random() % 3); n > 0; --n)
        name += joins[random() % joins.size()] + pieces[random() % pieces.size()];
    return name;
}

// A name and, often, the names it is the beginning of: "X", "X!", "X 2", "X (live)" sort
// otherwise with ".mp3" after them than without.
std::vector<std::string> RandomNames(std::mt19937& random) {
    const std::string name = RandomName(random);
    std::vector<std::string> names = {name};
    if (random() % 2)
        for (const char* tail : {"!", " 2", " (live)"})
            if (random() % 3)
                names.push_back(name + tail);
    return names;
}

TEST(DiscOrder, RandomFoldersPlayInTheListsOrderInBothTreesAndTheData) {
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TempDir music, out;
        int number = 0;
        std::set<std::string> folders = {""};
        for (int n = static_cast<int>(random() % 3); n > 0; --n)
            for (const std::string& name : RandomNames(random))
                folders.insert(name);
        for (const std::string& folder : folders) {
            std::set<std::string> names;
            for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n)
                for (const std::string& name : RandomNames(random))
                    names.insert(name + (random() % 5 ? ".mp3" : ".MP3"));
            for (const std::string& name : names)
                PutSong(JoinPath(folder.empty() ? music.Path() : music.File(folder), name),
                        ++number);
        }
        TDiscProfile profile = DiscProfiles()[seed % 2];
        profile.IsoLevel = seed % 5 == 0 ? 1 : 2;
        const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), profile);
        ASSERT_TRUE(WriteDiscImage(check, out.File("d.iso"), false, nullptr).Ok);
        ExpectThePlayOrderIsTheList(check, out.File("d.iso"));
        EXPECT_EQ(fs::file_size(out.File("d.iso")), uintmax_t(check.Sectors) * 2048);
    }
}

// Files listed with names that begin other names, each moved into a folder named after it by the
// batch: the folders play in the order the files were listed.
TEST(DiscOrder, FoldersNamedAfterTheirFilesPlayInTheListsOrder) {
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TempDir music, out;
        std::set<std::string> names;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
            for (const std::string& name : RandomNames(random))
                names.insert(name + ".mp3");
        int number = 0;
        for (const std::string& name : names)
            PutSong(music.File(name), ++number);
        std::vector<std::string> listed;
        for (const std::string& name : Listed(music.Path(), false))
            listed.push_back(CheckName(FolderNameOfFile(name), "_"));
        std::ostringstream sink;
        ASSERT_EQ(RunCli({"run", music.Path(), "--folders=named"}, sink, sink), 0) << sink.str();
        ASSERT_TRUE(Listed(music.Path(), false).empty());
        const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), DiscProfiles()[1]);
        ASSERT_TRUE(WriteDiscImage(check, out.File("d.iso"), false, nullptr).Ok);
        ExpectThePlayOrderIsTheList(check, out.File("d.iso"), listed);
    }
}

// Folders too big for one disc, cut at random sizes and limits: every disc fits its blank and the
// profile's limits, the files follow one another in the list's order, none lost or doubled, and a
// disc takes as many as fit.
TEST(DiscSplit, EveryDiscFitsAndTheOrderIsKept) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TDiscCheck check;
        check.Profile = DiscProfiles()[seed % 2];
        check.Profile.Blank.Sectors = kBurnPadSectors + 2000 + random() % 8000;
        check.Profile.MaxFilesPerFolder = seed % 3 == 0 ? 7 : 0;
        check.Profile.MaxFolders = 3 + static_cast<int>(random() % 5);
        check.Folder = "/music";
        check.VolumeId = "MUSIC_FOR_THE_CAR_IN_SUMMER_2026";
        const int folders = 1 + static_cast<int>(random() % 12);
        for (int f = 0; f < folders; ++f)
            check.Folders.push_back({.Source = NumberedFolderName(f + 1),
                                     .Name = NumberedFolderName(f + 1),
                                     .IsoName = NumberedFolderName(f + 1)});
        for (int f = -1; f < folders; ++f)
            for (int n = static_cast<int>(random() % 15); n > 0; --n) {
                TDiscEntry file;
                file.Source = (f < 0 ? "" : NumberedFolderName(f + 1) + "/") +
                              std::to_string(check.Files.size()) + ".mp3";
                file.Name = std::to_string(1000 + check.Files.size()) + ".mp3";
                file.IsoName = file.Name.substr(0, 4) + ".MP3";
                file.Folder = f;
                file.Size = 2048 * static_cast<int64_t>(1 + random() % 1500);
                check.Files.push_back(file);
            }
        if (check.Files.empty())
            continue;
        const TDiscSplit split = SplitDisc(check);
        ASSERT_EQ(split.Problem, "");
        std::vector<std::string> played;
        for (size_t d = 0; d < split.Discs.size(); ++d) {
            const TDiscCheck& disc = split.Discs[d];
            EXPECT_LE(disc.Sectors, disc.Profile.MaxImageSectors());
            EXPECT_LE(static_cast<int>(disc.Folders.size()), disc.Profile.MaxFolders);
            std::map<int, int> perFolder;
            for (const TDiscEntry& f : disc.Files) {
                played.push_back(f.Source);
                const size_t slash = f.Source.find('/');
                EXPECT_EQ(f.Folder < 0 ? "" : disc.Folders.at(size_t(f.Folder)).Source,
                          slash == std::string::npos ? "" : f.Source.substr(0, slash));
                ++perFolder[f.Folder];
            }
            for (const auto& [folder, count] : perFolder)
                EXPECT_TRUE(disc.Profile.MaxFilesPerFolder == 0 ||
                            count <= disc.Profile.MaxFilesPerFolder);
            EXPECT_LE(disc.VolumeId.size(), 32u);
            // A disc takes as many as fit: with the next file it would be two discs.
            if (d + 1 < split.Discs.size()) {
                TDiscCheck more = check;
                more.Files.clear();
                for (const TDiscEntry& f : check.Files)
                    if (std::any_of(disc.Files.begin(), disc.Files.end(),
                                    [&f](const TDiscEntry& e) { return e.Source == f.Source; }) ||
                        f.Source == split.Discs[d + 1].Files.front().Source)
                        more.Files.push_back(f);
                EXPECT_EQ(SplitDisc(more).Discs.size(), 2u);
            }
        }
        std::vector<std::string> listed;
        for (const TDiscEntry& f : check.Files)
            listed.push_back(f.Source);
        EXPECT_EQ(played, listed);
    }
}

// A real folder split onto small blanks: each image holds its own files in the list's order.
TEST(DiscSplit, EachImageHoldsItsFilesInOrder) {
    TempDir music, out;
    for (int i = 1; i <= 9; ++i)
        PutSong(music.File(NumberedFolderName(1 + i / 4) + "/" + std::to_string(i) + ".mp3"), i,
                200);
    TDiscProfile profile = DiscProfiles()[1];
    profile.Blank.Sectors = kBurnPadSectors + 400;
    const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), profile);
    ASSERT_TRUE(check.HasFatal());
    const TDiscSplit split = SplitDisc(check);
    ASSERT_EQ(split.Problem, "");
    ASSERT_GT(split.Discs.size(), 1u);
    std::vector<std::string> played;
    for (size_t d = 0; d < split.Discs.size(); ++d) {
        const std::string iso = out.File(NumberedDiscPath("d.iso", d + 1));
        ASSERT_TRUE(WriteDiscImage(split.Discs[d], iso, false, nullptr).Ok) << d;
        EXPECT_EQ(split.Discs[d].VolumeId,
                  check.VolumeId.substr(0, 30) + "_" + std::to_string(d + 1));
        ExpectThePlayOrderIsTheList(
            split.Discs[d], iso,
            [&] {
                std::vector<std::string> folders;
                for (const TDiscEntry& f : split.Discs[d].Folders)
                    folders.push_back(f.Source);
                return folders;
            }(),
            true);
        for (const TDiscEntry& f : split.Discs[d].Files)
            played.push_back(f.Source);
    }
    std::vector<std::string> listed;
    for (const TDiscEntry& f : check.Files)
        listed.push_back(f.Source);
    EXPECT_EQ(played, listed);
    EXPECT_EQ(NumberedDiscPath("/a/Музыка.iso", 2), "/a/Музыка-2.iso");
    EXPECT_EQ(NumberedDiscPath("/a.b/disc", 3), "/a.b/disc-3");
}

// A long audiobook: 120 chapters with plain numbers (places in the list), 1 200 of one width
// (their own names, numbered past 999 where the ISO 9660 names meet).
TEST(DiscOrder, ChaptersEqualInTheirFirst27CharactersPlayInOrder) {
    const struct {
        int Count;
        const char* Profile;
        const char *FirstJoliet, *FirstIso;
    } cases[] = {
        {120, "Blaupunkt MP3 CD (Chevrolet, GM Daewoo)",
         "001 Bulgakov - Master i Margarita - 1.mp3", "001_BULGAKOV___MASTER_I_MAR.MP3"},
        {1200, "Стандартный MP3 CD", "Bulgakov - Master i Margarita - 0001.mp3",
         "BULGAKOV___MASTER_I_MA_0001.MP3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Count);
        TempDir music, out;
        for (int i = 1; i <= c.Count; ++i) {
            const std::string n = std::to_string(i);
            PutSong(music.File("Bulgakov - Master i Margarita - " +
                               std::string(c.Count > 999 ? 4 - n.size() : 0, '0') + n + ".mp3"),
                    i);
        }
        const TDiscCheck check =
            CheckDisc(RealFileSystem(), music.Path(), *FindDiscProfile(c.Profile));
        EXPECT_EQ(check.Files.front().Name, c.FirstJoliet);
        EXPECT_EQ(check.Files.front().IsoName, c.FirstIso);
        ASSERT_TRUE(WriteDiscImage(check, out.File("d.iso"), false, nullptr).Ok);
        ExpectThePlayOrderIsTheList(check, out.File("d.iso"));
    }
}

// The largest image the blank takes with a burning program's padding, and one sector more; the
// largest burnt with xorriso as the README says.
TEST(DiscCapacity, OneSectorUnderAndOverTheBlank) {
    TempDir music, out;
    const std::string song = music.File("01.mp3"), iso = out.File("full.iso");
    WriteFile(song, TMp3Builder().Frames({}, 4).Build());
    const TDiscProfile profile = DiscProfiles().front();
    const int64_t limit = profile.MaxImageSectors();
    ASSERT_EQ(limit + kBurnPadSectors, 359849);
    const auto sized = [&](int64_t bytes) {  // its first frames, then a hole
        EXPECT_EQ(::truncate(song.c_str(), bytes), 0);
        return CheckDisc(RealFileSystem(), music.Path(), profile);
    };
    const int64_t full = (100 << 20) + (limit - sized(100 << 20).Sectors) * 2048;
    const TDiscCheck over = sized(full + 1);
    EXPECT_EQ(over.Sectors, limit + 1);
    EXPECT_THAT(over.Problems.back().Text,
                ::testing::StartsWith("Не помещается на диск: 703 МБ из 702 МБ — разделите на "
                                      "несколько дисков по порядку списка"));
    EXPECT_FALSE(WriteDiscImage(over, iso, false, nullptr).Ok);
    const TDiscCheck fits = sized(full);
    EXPECT_FALSE(fits.HasFatal());
    EXPECT_EQ(DiscSummary(fits), "Папок: 0 из 253, файлов: 1, 359 699 из 359 699 секторов");
    const TDiscImageResult result = WriteDiscImage(fits, iso, false, nullptr);
    ASSERT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(fs::file_size(iso), uintmax_t(limit) * 2048);
    if (std::system("command -v xorriso >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xorriso is not installed: the largest image was not burnt";
    const std::string burnt = out.File("burnt.bin");
    ASSERT_EQ(std::system(("xorriso -as cdrecord -v dev=stdio:" + burnt + " -dao " + iso +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    // The image and its padding (a pseudo-drive writes whole 64 KB pieces).
    EXPECT_GE(fs::file_size(burnt), uintmax_t(limit + kBurnPadSectors) * 2048);
    EXPECT_EQ(std::system(
                  ("cmp -s -n " + std::to_string(limit * 2048) + " " + iso + " " + burnt).c_str()),
              0);
}

// Makes one file change at a chosen system call while the image is written.
class TChangingFile : public TSysCalls {
  public:
    std::string Path;
    bool WhenRead = false;  // after the first read of it, else before it is opened
    std::function<void()> Change;

    int Open(const char* path, int flags, mode_t mode) override {
        const bool target = Path == path && Fd < 0;
        if (target && !WhenRead)
            std::exchange(Change, nullptr)();
        const int fd = TSysCalls::Open(path, flags, mode);
        Fd = target ? fd : Fd;
        return fd;
    }
    ssize_t Read(int fd, void* buffer, size_t count) override {
        const ssize_t n = TSysCalls::Read(fd, buffer, count);
        if (fd == Fd && Change)
            std::exchange(Change, nullptr)();
        return n;
    }

  private:
    int Fd = -1;
};

TEST(DiscSources, AFileThatChangesDuringTheWriteFailsItAndLeavesNoImage) {
    const std::string changed = "D001/02 B.mp3";
    const std::string before = "изменился после проверки диска — проверьте диск ещё раз";
    const std::string during = "изменился во время записи образа — запишите образ ещё раз";
    const auto truncated = [](const std::string& p) { fs::resize_file(p, 100); };
    const auto replaced = [](const std::string& p) {
        WriteFile(p + ".new", std::string(100000, 'x'));
        fs::rename(p + ".new", p);
    };
    const struct {
        const char* What;
        bool WhenRead;
        std::function<void(const std::string&)> Change;
        std::string Says;
    } cases[] = {
        {"truncated before it is opened", false, truncated, before},
        {"replaced before it is opened", false, replaced, before},
        {"truncated while it is read", true, truncated, during},
        {"replaced by a larger one while it is read", true, replaced, during},
        {"grown while it is read", true,
         [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }, during},
        {"rewritten in place at its size", true,
         [](const std::string& p) {
             std::fstream(p, std::ios::in | std::ios::out | std::ios::binary) << "TAG";
             const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, p.c_str(), later, 0);
         },
         during},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir music, out;
        int number = 0;
        for (const char* name : {"01.mp3", "D001/01 A.mp3", "D001/02 B.mp3", "D001/03 C.mp3"})
            PutSong(music.File(name), ++number);
        const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), DiscProfiles()[0]);
        std::map<std::string, std::string> others;
        for (const std::string& f : FilesUnder(music.Path()))
            if (f != changed)
                others[f] = Whole(music.File(f));
        TChangingFile sys;
        sys.Path = music.File(changed);
        sys.WhenRead = c.WhenRead;
        sys.Change = [&] { c.Change(music.File(changed)); };
        const TDiscImageResult r = WriteDiscImage(check, out.File("d.iso"), false, nullptr, sys);
        EXPECT_EQ(r.Message, "Образ диска не записан: файл «" + changed + "» " + c.Says);
        EXPECT_TRUE(FilesUnder(out.Path()).empty());
        for (const auto& [f, bytes] : others)
            EXPECT_EQ(Whole(music.File(f)), bytes) << f;
    }
}

TEST(DiscOutput, TheImageAndItsListGetTheModeOfTheUmask) {
    TempDir music, out;
    PutSong(music.File("01.mp3"), 1);
    const TDiscCheck check = CheckDisc(RealFileSystem(), music.Path(), DiscProfiles()[0]);
    for (const auto& [mask, mode] : {std::pair{022, 0644}, {077, 0600}, {002, 0664}}) {
        const mode_t old = ::umask(static_cast<mode_t>(mask));
        const bool written = WriteDiscImage(check, out.File("d.iso"), true, nullptr).Ok &&
                             WriteDiscTrackList(check, out.File("d.txt"), true).empty();
        ::umask(old);
        ASSERT_TRUE(written);
        for (const char* name : {"d.iso", "d.txt"})
            EXPECT_EQ(fs::status(out.File(name)).permissions(), fs::perms(mode)) << name << mask;
    }
}

// Ctrl-C (or a kill) while velmora-cli writes the image: the partial image is removed, then the
// program ends by that signal.
TEST(DiscOutput, AnInterruptedImageCommandLeavesNothing) {
    TempDir music;
    WriteFile(music.File("01.mp3"), TMp3Builder().Frames({}, 4).Build());
    ASSERT_EQ(::truncate(music.File("01.mp3").c_str(), 600 << 20), 0);  // sparse
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir out;
        const pid_t child = ::fork();
        if (child == 0) {
            std::ostringstream o, e;
            ::_exit(RunCli({"image", music.Path(), out.File("d.iso")}, o, e));
        }
        bool writing = false;  // until the partial image holds some of the data
        for (int i = 0; i < 20000 && !writing; ++i) {
            for (const auto& e : fs::directory_iterator(out.Path()))
                writing = writing || (e.path().extension() == ".tmp" && e.file_size() > (4 << 20));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(writing && WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(fs::is_empty(out.Path()));
    }
}

}  // namespace
}  // namespace velmora::test
