// The real file-system layer, the locale collation and the small rules of sizes, times and
// numbers.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "audio/FileStream.h"
#include "core/text/Collation.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

std::vector<std::string> Names(const std::vector<TDirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.Name);
    return names;
}

TEST(RealFileSystem, ListsInTheNaturalOrderWithKinds) {
    TempDir dir;
    for (const char* name : {"b", "B", "a", "_x", ".h", "10", "9"}) {
        WriteFile(dir.File(name), std::string("x"));
    }
    ASSERT_EQ(mkdir(dir.File("Dir").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0666), 0);
    ASSERT_EQ(symlink("Dir", dir.File("toDir").c_str()), 0);
    ASSERT_EQ(symlink("missing", dir.File("dead").c_str()), 0);
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(RealFileSystem().ListDir(dir.Path(), entries));
    // Punctuation, then numbers by value, then letters with case ignored; names equal that way
    // by their bytes ("B" before "b").
    EXPECT_THAT(Names(entries),
                ElementsAre("_x", ".h", "9", "10", "a", "B", "b", "dead", "Dir", "fifo", "toDir"));
    std::map<std::string, TDirEntry> byName;
    for (const auto& e : entries)
        byName[e.Name] = e;
    EXPECT_TRUE(byName[".h"].Hidden);
    EXPECT_FALSE(byName["a"].Hidden);
    EXPECT_EQ(byName["a"].Type, TDirEntry::Kind::File);
    EXPECT_EQ(byName["Dir"].Type, TDirEntry::Kind::Directory);
    EXPECT_EQ(byName["toDir"].Type, TDirEntry::Kind::Directory);
    EXPECT_EQ(byName["fifo"].Type, TDirEntry::Kind::Other);
    EXPECT_EQ(byName["dead"].Type, TDirEntry::Kind::Other);
    EXPECT_FALSE(RealFileSystem().ListDir(dir.File("none"), entries));
}

TEST(RealFileSystem, SizesExistenceAndTheTwoGibibyteLimit) {
    TempDir dir;
    TFileSystem& fs = RealFileSystem();
    WriteFile(dir.File("f"), std::string(1234, 'x'));
    EXPECT_EQ(fs.EntrySize(dir.File("f")), 1234);
    EXPECT_EQ(fs.EntrySize(dir.File("none")), -1);
    EXPECT_TRUE(fs.FileExists(dir.File("f")));
    EXPECT_FALSE(fs.FileExists(dir.Path()));
    EXPECT_EQ(TrackSize(fs.EntrySize(dir.File("f"))), 1234);
    EXPECT_EQ(TrackSize(fs.EntrySize(dir.File("none"))), 0);
    // Sparse files: no disk space is used.
    for (const auto& [size, expected] : std::vector<std::pair<off_t, int32_t>>{
             {(off_t{1} << 31) - 1, 0x7FFFFFFF}, {off_t{1} << 31, -1}, {off_t{5} << 32, -1}}) {
        WriteFile(dir.File("big"), std::string());
        ASSERT_EQ(truncate(dir.File("big").c_str(), size), 0);
        EXPECT_EQ(TrackSize(fs.EntrySize(dir.File("big"))), expected) << size;
    }
    EXPECT_TRUE(fs.CreateDir(dir.File("new")).Ok);
    EXPECT_EQ(fs.CreateDir(dir.File("new")).Error, EEXIST);
}

TEST(RealFileSystem, ReadRefusesWhatIsNotARegularFile) {
    TempDir dir;
    TFileSystem& fs = RealFileSystem();
    WriteFile(dir.File("t"), std::string("a=b\r\n"));
    EXPECT_EQ(fs.ReadFile(dir.File("t")), "a=b\r\n");
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0666), 0);
    EXPECT_THROW(fs.ReadFile(dir.File("fifo")), EStreamError);
    EXPECT_THAT([&] { fs.ReadFile(dir.File("none")); },
                ThrowsMessage<EStreamError>(StrEq("Cannot open file \"" + dir.File("none") +
                                                  "\". No such file or directory")));
}

TEST(RealFileSystem, ReplacingWriteKeepsTheOldFileWholeWhenTheWriteFails) {
    TempDir dir;
    TFileSystem& fs = RealFileSystem();
    const std::string path = dir.File("report.txt");
    fs.WriteFileReplacing(path, "old contents");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    fs.WriteFileReplacing(path, "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(fs.ReadFile(path), "new");

    // A link is followed: its target gets the new contents and the link stays.
    ASSERT_EQ(symlink("report.txt", dir.File("link.txt").c_str()), 0);
    fs.WriteFileReplacing(dir.File("link.txt"), "via link");
    EXPECT_EQ(fs.ReadFile(path), "via link");
    ASSERT_EQ(lstat(dir.File("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A file-size limit makes the write fail half way, as a full disk would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(fs.WriteFileReplacing(path, "much longer than four bytes"), EStreamError);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(fs.ReadFile(path), "via link");

    // No temporary file is left behind, and a missing folder is an error of its own.
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(fs.ListDir(dir.Path(), entries));
    EXPECT_THAT(Names(entries), ElementsAre("link.txt", "report.txt"));
    EXPECT_THAT([&] { fs.WriteFileReplacing(dir.File("none/x.txt"), "x"); },
                ThrowsMessage<EStreamError>(StrEq("Cannot create file \"" + dir.File("none/x.txt") +
                                                  "\". No such file or directory")));
}

TEST(Collation, CaseCountsOnlyBetweenEqualNamesAndTheLocaleChoosesTheScriptOrder) {
    const TCollator root("C.UTF-8");
    EXPECT_EQ(root.LocaleName(), "root");
    // Equal but for case: the bytes decide, so the order is total.
    EXPECT_LT(root.Compare("SONG.MP3", "song.mp3"), 0);
    EXPECT_GT(root.Compare("song.mp3", "SONG.MP3"), 0);
    EXPECT_EQ(root.Compare("song.mp3", "song.mp3"), 0);
    EXPECT_TRUE(root.Less("a.mp3", "B.mp3"));
    EXPECT_TRUE(root.Less("B.mp3", "c.mp3"));
    EXPECT_TRUE(root.Less("ёлка", "Жук"));     // ё sorts with е, not after я
    EXPECT_TRUE(root.Less("Zebra", "Арбуз"));  // Latin before Cyrillic at the root
    const TCollator russian("ru_RU.UTF-8");
    EXPECT_EQ(russian.LocaleName(), "ru_RU");
    EXPECT_TRUE(russian.Less("Арбуз", "Zebra"));  // Cyrillic first in Russian
    EXPECT_TRUE(russian.Less("Track 9", "track 10"));
    EXPECT_EQ(TCollator("xx_YY").LocaleName(), "root");
    EXPECT_EQ(TCollator("POSIX").LocaleName(), "root");

    const char* saved = std::getenv("LC_ALL");
    const std::string savedAll = saved ? saved : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(UserCollationLocale(), "de_DE.UTF-8");
    unsetenv("LC_ALL");
    setenv("LC_COLLATE", "ru_RU.UTF-8", 1);
    EXPECT_EQ(UserCollationLocale(), "ru_RU.UTF-8");
    unsetenv("LC_COLLATE");
    if (saved)
        setenv("LC_ALL", savedAll.c_str(), 1);
}

// The natural order on names as a folder of songs has them, in the root order and in Russian
// (the same here: no Latin letter comes before the first difference).
TEST(Collation, NaturalOrderOfSongNames) {
    const std::vector<std::string> sorted = {
        "_x.mp3",        // punctuation before digits and letters
        "[live].mp3",    //
        "2 Песня.mp3",   // numbers by value
        "9 Песня.mp3",   //
        "10 Песня.mp3",  //
        "АВ.mp3",        // case only decides between names otherwise equal, by bytes
        "ав.mp3",        //
        "ав2.mp3",       //
        "ав10.mp3",      //
        "Б.mp3",         //
        "б.mp3",         //
        "ёж.mp3",        // ё sorts with е, before ж
        "ель.mp3",       //
        "ёль.mp3",       // after е when all else is equal
        "жук.mp3",       //
        "яма.mp3",       //
        "\xFF.mp3",      // a stray byte: the replacement character, after the letters
    };
    for (const char* locale : {"C.UTF-8", "ru_RU.UTF-8"}) {
        const TCollator collator(locale);
        std::vector<TDirEntry> entries;
        for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
            entries.push_back({*it, TDirEntry::Kind::File, false});
        std::swap(entries[2], entries[9]);
        SortDirEntries(entries, collator);
        EXPECT_EQ(Names(entries), sorted) << locale;
        // The Sort button's sort gives the same order.
        std::vector<std::string> names(sorted.rbegin(), sorted.rend());
        SortNames(names, collator);
        EXPECT_EQ(names, sorted) << locale;
        for (size_t i = 0; i < sorted.size(); ++i) {
            for (size_t j = 0; j < sorted.size(); ++j) {
                EXPECT_EQ(collator.Compare(sorted[i], sorted[j]), i < j   ? -1
                                                                  : i > j ? 1
                                                                          : 0)
                    << locale << " " << sorted[i] << " " << sorted[j];
            }
        }
    }
}

TEST(Rules, AddTimeSumsFieldsAndRejectsBadText) {
    EXPECT_EQ(AddTime("00:00:00", "0:03:45"), "0:03:45");
    EXPECT_EQ(AddTime("0:59:30", "0:01:10"), "1:00:40");
    EXPECT_EQ(AddTime("23:59:59", "0:00:02"), "24:00:01");
    EXPECT_EQ(AddTime("0:0:0", "1:120:75"), "3:01:15");
    for (const char* bad : {"", "1:2", "a:00:00", "0::00", "0:00:", "0:00:1x", " 1:00:00"}) {
        EXPECT_THROW(AddTime("00:00:00", bad), std::invalid_argument) << bad;
    }
}

TEST(Rules, PluralFormsByTheLastDigits) {
    const std::pair<int64_t, const char*> counts[] = {
        {0, "0 символов"},     {1, "1 символ"},     {2, "2 символа"},    {4, "4 символа"},
        {5, "5 символов"},     {11, "11 символов"}, {12, "12 символов"}, {14, "14 символов"},
        {21, "21 символ"},     {22, "22 символа"},  {31, "31 символ"},   {111, "111 символов"},
        {112, "112 символов"}, {101, "101 символ"}};
    for (const auto& [n, text] : counts)
        EXPECT_EQ(CountOf(n, "символ", "символа", "символов"), text);
}

TEST(Rules, RoundingSpinValuesZerosAndPaths) {
    struct Row {
        int64_t Bytes, Kb, Mb;
    };
    for (const Row& r : std::vector<Row>{{0, 0, 0},
                                         {-1, 0, 0},
                                         {512, 0, 0},
                                         {1023, 1, 0},
                                         {1536, 2, 0},
                                         {2560, 2, 0},
                                         {1 << 19, 512, 0},
                                         {3 << 19, 1536, 2},
                                         {5 << 19, 2560, 2},
                                         {-(3 << 19), -1536, -2}}) {
        EXPECT_EQ(RoundKilobytes(r.Bytes), r.Kb) << r.Bytes;
        EXPECT_EQ(RoundMegabytes(r.Bytes), r.Mb) << r.Bytes;
    }
    EXPECT_EQ(SpinValue("42", 0), 42);
    EXPECT_EQ(SpinValue("-7", 0), -7);
    EXPECT_EQ(SpinValue("+7", 0), 7);
    for (const char* bad : {"", "-", "+", "4 2", "x", "1.5", "99999999999", "+-1"}) {
        EXPECT_EQ(SpinValue(bad, 9), 9) << bad;
    }
    for (const auto& [in, out] :
         std::vector<std::pair<std::string, std::string>>{{"0:03:25", "3:25"},
                                                          {"0:00:07", "0:07"},
                                                          {"0:45:10", "45:10"},
                                                          {"0:05:10", "5:10"},
                                                          {"1:02:03", "1:02:03"},
                                                          {"00:00:00", "0:00"},
                                                          {"", ""}}) {
        EXPECT_EQ(StripLeadingZeros(in), out) << in;
    }
    EXPECT_EQ(JoinPath("/music", "a.mp3"), "/music/a.mp3");
    EXPECT_EQ(JoinPath("/", "a.mp3"), "//a.mp3");
}

}  // namespace
}  // namespace velmora::test
