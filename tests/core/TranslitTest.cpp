#include "core/files/TranslitFile.h"
#include "core/text/Translit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/FileStream.h"
#include "core/text/TextCodec.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

using test::TempDir;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

std::string Tr(const TTranslitTable& table, const std::string& text) {
    return TransliterateText(table, text);
}

TEST(TranslitTable, DefaultRowsAreTheSmallLettersThenTheCapitals) {
    const TTranslitTable table;
    ASSERT_EQ(table.Rows.size(), 66u);
    EXPECT_EQ(table.Rows[0], "а=a");
    EXPECT_EQ(table.Rows[5], "е=e");
    EXPECT_EQ(table.Rows[6], "ё=e");
    EXPECT_EQ(table.Rows[27], "ъ=\"");
    EXPECT_EQ(table.Rows[29], "ь='");
    EXPECT_EQ(table.Rows[32], "я=ya");
    EXPECT_EQ(table.Rows[33], "А=A");
    EXPECT_EQ(table.Rows[40], "Ж=Zh");
    EXPECT_EQ(table.Rows[65], "Я=Ya");
    EXPECT_EQ(TTranslitTable::KeyOf("x=a=b"), "x");
    EXPECT_EQ(TTranslitTable::ValueOf("x=a=b"), "a=b");
    EXPECT_EQ(TTranslitTable::KeyOf("no equals"), "");
    EXPECT_EQ(TTranslitTable::ValueOf("no equals"), "");
}

TEST(Transliterate, DefaultTableServesCapitalsFromTheSmallRowsInCapitals) {
    const TTranslitTable table;
    const std::pair<const char*, const char*> cases[] = {
        {"Щука", "SCHuka"},
        {"Жанна", "ZHanna"},
        {"Чайф", "TCHayf"},
        {"Юля", "YUlya"},
        {"Ёлка", "elka"},  // Ё is outside А..Я: its row's value stays small
        {"Подъезд", "Pod\"ezd"},
        {"Мальчик", "Mal'tchik"},
        {"ABC 123 - x", "ABC 123 - x"},
        {"", ""},
        {"Кино — Группа крови", "Kino — Gruppa krovi"},
        {"ёЁ", "ee"},
        {"Ї№€", "Ї№€"},                // no row for them
        {"a\xff\xd0z", "a\xff\xd0z"},  // bytes that are not UTF-8 pass unchanged
        {"😀 Ура", "😀 Ura"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(Tr(table, input), expected) << input;
    }
    EXPECT_EQ(Tr(table, Tr(table, "Щука и Ёж")), Tr(table, "Щука и Ёж"));
}

TEST(Transliterate, EditedTablesMatchTheFirstOneCharacterKeyIgnoringCase) {
    TTranslitTable table;
    table.Rows = {"ч=", "ый=Y", "Ч=Ch", "б=бx", "ї=yi", "==", "", "no equals", "=z", "q=Q"};
    // An empty value removes the letter; the first row serves both cases.
    EXPECT_EQ(Tr(table, "чЧ"), "");
    table.Rows.erase(table.Rows.begin());
    EXPECT_EQ(Tr(table, "Чч"), "CHCh");
    EXPECT_EQ(Tr(table, "ый"),
              "ы"
              "й");                        // a two-letter key never matches
    EXPECT_EQ(Tr(table, "Бб"), "бXбx");    // only a-z of a value is made capital
    EXPECT_EQ(Tr(table, "ЇїQ"), "yiyiQ");  // Ї pairs with ї but is no capital of А..Я
    EXPECT_EQ(Tr(table, "= z"), "= z");    // rows without a one-character key never match
}

TEST(TranslitTable, EditingKeepsKeysFreeOfEqualsAndDropsEmptyRows) {
    TTranslitTable table;
    table.Rows = {"а=a", "б=b"};
    EXPECT_FALSE(table.SetKey(0, "x=y"));
    EXPECT_EQ(table.Rows[0], "а=a");
    EXPECT_TRUE(table.SetKey(0, "в"));
    table.SetValue(1, "p=q");
    EXPECT_EQ(table.Rows, (std::vector<std::string>{"в=a", "б=p=q"}));

    EXPECT_TRUE(table.InsertRow(1));
    EXPECT_EQ(table.Rows[1], "=");
    EXPECT_FALSE(table.InsertRow(1));  // its key is empty
    EXPECT_FALSE(table.AppendRow(1));  // not the last row
    EXPECT_TRUE(table.AppendRow(2));
    EXPECT_FALSE(table.AppendRow(3));  // the new last row has no key
    table.RemoveIfEmpty(3);
    table.RemoveIfEmpty(1);
    EXPECT_EQ(table.Rows, (std::vector<std::string>{"в=a", "б=p=q"}));
    table.SetKey(1, "");
    table.RemoveIfEmpty(1);  // a value keeps the row
    EXPECT_EQ(table.Rows.size(), 2u);
    table.DeleteRow(0);
    table.DeleteRow(0);
    table.DeleteRow(0);
    EXPECT_TRUE(table.Rows.empty());
    EXPECT_TRUE(table.AppendRow(0));  // an empty table gets its first row
    EXPECT_EQ(table.Rows, (std::vector<std::string>{"="}));
}

TEST(TranslitTable, LoadSplitsAtAnyLineEndAndStopsAtZero) {
    TTranslitTable table;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a=1\r\nb=2\r\n", {"a=1", "b=2"}},
        {"a=1\nb=2", {"a=1", "b=2"}},
        {"a=1\rb=2\r", {"a=1", "b=2"}},
        {"a=1\r\r\nb=2\n\n", {"a=1", "", "b=2", ""}},
        {"\n", {""}},
        {"", {}},
        {"x=a=b\r\nab=x\r\nplain", {"x=a=b", "ab=x", "plain"}},
        {std::string("a=1\r\nb=2\0c=3\r\n", 13), {"a=1", "b=2"}},
        {"\xe0=a\r\n\xdf=Ya\r\n", {"а=a", "Я=Ya"}},
    };
    for (const auto& [bytes, rows] : cases) {
        table.LoadFromBytes(bytes);
        EXPECT_EQ(table.Rows, rows) << bytes;
    }
    table.LoadFromBytes("");
    EXPECT_EQ(Tr(table, "Щука"), "Щука");
}

TEST(TranslitTable, FileRoundTripInWindows1251) {
    TempDir dir;
    const std::string path = dir.File("velmora.trs");
    TTranslitTable table;
    SaveTranslitTableFile(table, RealFileSystem(), path);
    const std::string bytes = RealFileSystem().ReadFile(path);
    EXPECT_EQ(bytes.substr(0, 5), "\xe0=a\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "\xdf=Ya\r\n");
    size_t lines = 0;
    for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, 66u);

    // A table edited in another editor: LF line ends, a row that wins over the defaults.
    test::WriteFile(path, std::string("\xd7=Ch\nx=a=b\n") + Utf8ToCp1251("ч=tch") + "\n");
    LoadTranslitTableFile(table, RealFileSystem(), path);
    EXPECT_EQ(table.Rows, (std::vector<std::string>{"Ч=Ch", "x=a=b", "ч=tch"}));
    EXPECT_EQ(Tr(table, "Чч"), "CHCh");
    SaveTranslitTableFile(table, RealFileSystem(), path);
    TTranslitTable again;
    LoadTranslitTableFile(again, RealFileSystem(), path);
    EXPECT_EQ(again.Rows, table.Rows);
}

TEST(TranslitTable, FileErrorsLeaveTheTableAsItWas) {
    TempDir dir;
    TTranslitTable table;
    const std::string missing = dir.File("never-saved.trs");
    EXPECT_THAT([&] { LoadTranslitTableFile(table, RealFileSystem(), missing); },
                ThrowsMessage<EStreamError>(
                    StrEq("Cannot open file \"" + missing + "\". No such file or directory")));
    EXPECT_EQ(table.Rows, TTranslitTable::DefaultRows());

    const std::string unwritable = dir.File("no-folder/velmora.trs");
    EXPECT_THAT(
        [&] { SaveTranslitTableFile(table, RealFileSystem(), unwritable); },
        ThrowsMessage<EStreamError>(StartsWith("Cannot create file \"" + unwritable + "\". ")));
    EXPECT_EQ(table.Rows, TTranslitTable::DefaultRows());

    // A file that is no table: too large, or not text (random bytes, a song).
    const std::pair<std::string, const char*> notTables[] = {
        {std::string(kMaxTableFileBytes + 1, 'a'), "больше 1 МБ"},
        {std::string("a=b\r\n\x01\x02\x03", 8), "не текст"},
        {std::string("\xFF\xFB\x90\x00", 4) + std::string(100, '\0'), "не текст"}};
    for (const auto& [bytes, why] : notTables) {
        test::WriteFile(dir.File("x.trs"), bytes);
        EXPECT_THAT([&] { LoadTranslitTableFile(table, RealFileSystem(), dir.File("x.trs")); },
                    ThrowsMessage<EStreamError>(::testing::HasSubstr(why)));
        EXPECT_EQ(table.Rows, TTranslitTable::DefaultRows());
    }
}

TEST(TranslitTable, FileSitsBesideTheProgram) {
    EXPECT_EQ(TranslitTableFile("/usr/bin/velmora"), "/usr/bin/velmora.trs");
    EXPECT_EQ(TranslitTableFile("/opt/app/velmora.exe"), "/opt/app/velmora.trs");
    EXPECT_EQ(TranslitTableFile("/opt/v1.2/velmora"), "/opt/v1.2/velmora.trs");
    EXPECT_EQ(TranslitTableFile("/home/u/.velmora"), "/home/u/.velmora.trs");
    EXPECT_EQ(TranslitTableFile("velmora"), "velmora.trs");
}

TEST(TranslitTable, PlaceIsBesideAWritableProgramElseInTheConfigFolder) {
    struct Case {
        const char* Program;
        bool Writable;
        const char* XdgConfigHome;
        const char* Home;
        std::string Path, Folder;
    };
    const std::vector<Case> cases = {
        {"/work/build/app/velmora", true, "/x", "/home/u", "/work/build/app/velmora.trs", ""},
        {"/usr/bin/velmora", false, nullptr, "/home/u", "/home/u/.config/velmora/velmora.trs",
         "/home/u/.config/velmora"},
        {"/usr/bin/velmora", false, "/cfg", "/home/u", "/cfg/velmora/velmora.trs", "/cfg/velmora"},
        {"/usr/bin/velmora", false, "/cfg//", "/home/u", "/cfg/velmora/velmora.trs",
         "/cfg/velmora"},
        {"/usr/bin/velmora", false, "/", "/home/u", "/velmora/velmora.trs", "/velmora"},
        // An empty or relative XDG_CONFIG_HOME is ignored.
        {"/usr/bin/velmora", false, "", "/home/u", "/home/u/.config/velmora/velmora.trs",
         "/home/u/.config/velmora"},
        {"/usr/bin/velmora", false, "cfg", "/home/u/", "/home/u/.config/velmora/velmora.trs",
         "/home/u/.config/velmora"},
        // No usable home: beside the program, where the save reports its error.
        {"/usr/bin/velmora", false, nullptr, nullptr, "/usr/bin/velmora.trs", ""},
        {"/usr/bin/velmora", false, "", "", "/usr/bin/velmora.trs", ""},
    };
    for (const Case& c : cases) {
        const TTranslitTablePlace place =
            ChooseTranslitTablePlace(c.Program, c.Writable, c.XdgConfigHome, c.Home);
        EXPECT_EQ(place.Path, c.Path)
            << c.Program << " " << (c.XdgConfigHome ? c.XdgConfigHome : "-");
        EXPECT_EQ(place.Folder, c.Folder) << c.Path;
    }

    // The process's own rule: a temporary folder is writable, a missing one is not.
    TempDir dir;
    EXPECT_EQ(FindTranslitTablePlace(dir.File("velmora")).Path, dir.File("velmora.trs"));
    EXPECT_NE(FindTranslitTablePlace(dir.File("missing/velmora")).Path,
              dir.File("missing/velmora.trs"));
}

TEST(TranslitTable, SavingMakesTheConfigFolder) {
    TempDir dir;
    const TTranslitTablePlace place{dir.File("config/velmora/velmora.trs"),
                                    dir.File("config/velmora")};
    TTranslitTable table;
    table.Rows = {"щ=shch"};
    SaveTranslitTable(table, RealFileSystem(), place);
    EXPECT_EQ(RealFileSystem().ReadFile(place.Path), "\xf9=shch\r\n");
    SaveTranslitTable(table, RealFileSystem(), place);  // the folders exist now

    // A folder that cannot be made: the write reports it.
    test::WriteFile(dir.File("file"), std::string("x"));
    const TTranslitTablePlace blocked{dir.File("file/velmora/velmora.trs"),
                                      dir.File("file/velmora")};
    EXPECT_THAT([&] { SaveTranslitTable(table, RealFileSystem(), blocked); },
                ThrowsMessage<EStreamError>(StartsWith("Cannot create file \"" + blocked.Path)));
}

}  // namespace
}  // namespace velmora
