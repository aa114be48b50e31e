// What the batch says and leaves at its edges: a name of punctuation alone, the disc's order
// when it will not be the list's, the folder it emptied, a damaged field the fill replaces.
#include <sstream>

#include "cli/CliCommand.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

TEST(BatchEdges, APlanSaysWhatTheDiscWillNotGetAsTheUserExpects) {
    struct TCase {
        const char* Name;
        std::vector<std::pair<std::string, TID3v1Fields>> Files;
        std::vector<std::string> Options;
        const char* Line;  // in the plan
        bool First;        // as its first line
    };
    const TCase cases[] = {
        {"untagged files merged into the separator alone",
         {{"b.mp3", {}}, {"a.mp3", {.Title = "Song"}}},
         {"--merge", "--rename"},
         "Предупреждение: b.mp3: новое имя «-.mp3» без букв и цифр, имя оставлено; нет названия "
         "и исполнителя: отметьте «Взять теги из имени файла»",
         false},
        {"numbered folders after the new names",
         {{"1.mp3", {.Title = "Zebra"}}, {"2.mp3", {.Title = "Apple"}}},
         {"--rename", "--folders=numbered"},
         "Порядок на диске будет по новым именам, не по списку: «1.mp3» окажется в D002, а не в "
         "D001; чтобы сохранить порядок списка, отметьте «сразу в папки, в порядке списка»",
         true},
        {"numbered folders at once keep the list's order",
         {{"1.mp3", {.Title = "Zebra"}}, {"2.mp3", {.Title = "Apple"}}},
         {"--rename", "--folders=numbered", "--at-once"},
         "",
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        for (const auto& [name, tag] : c.Files)
            WriteFile(dir.File(name), Mp3Bytes(2, tag.Title.empty() ? nullptr : &tag));
        std::vector<std::string> args = {"plan", dir.Path()};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        std::ostringstream out, err;
        RunCli(args, out, err);
        if (*c.Line == '\0') {
            EXPECT_THAT(out.str(), ::testing::Not(::testing::HasSubstr("Порядок на диске")));
            continue;
        }
        EXPECT_THAT(out.str(), ::testing::HasSubstr(std::string(c.Line) + "\n"));
        if (c.First) {
            EXPECT_EQ(Lines(out.str()).front(), c.Line);
        }
    }
}

TEST_F(ModelTest, TheDiscCommandsTakeTheFolderABatchEmptied) {
    PutTagged("1.mp3", {.Title = "Zebra"});
    PutTagged("2.mp3", {.Title = "Apple"});
    Open();
    Tick(Model.cbAllFilesRename);
    Tick(Model.cbAllFilesMoveToDir);
    Do(&TMainModel::btnProcessAllClick);
    EXPECT_TRUE(Model.TrackList.empty());
    EXPECT_EQ(Model.EmptyListHint, "Все файлы разложены по папкам в " + Dir.Path() +
                                       ". Проверить диск: Обработка → Проверка диска");
    EXPECT_EQ(Model.DiscFolder(), Dir.Path());
    Do(&TMainModel::ConvertMenuDiscCheckClick);
    EXPECT_THAT(Port.Messages,
                ::testing::Not(::testing::Contains("Сначала откройте папку с MP3 файлами")));
}

TEST_F(ModelTest, TheFillReplacesADamagedFieldThatIsNoCopyOfTheID3v2Text) {
    // Control bytes from an older, shorter title: not a copy of the ID3v2 title.
    const std::string tag =
        std::string("ID3\x03\0\0\0\0\0\x11TIT2\0\0\0\x07\0\0\0", 21) + Utf8ToCp1251("Звезда");
    TMp3Builder b;
    b.Bytes(std::vector<uint8_t>(tag.begin(), tag.end())).Frames(SlowParams(), 5);
    b.ID3v1({.Title = "\x1F\x1C\x1F"});
    WriteFile(Dir.File("a.mp3"), b.Build());
    Open();
    Tick(Model.cbAllFilesFromID3v2);
    Do(&TMainModel::btnProcessAllClick);
    EXPECT_EQ(Cp1251ToUtf8(Field("a.mp3", 3, 30)), "Звезда");
}

}  // namespace
}  // namespace velmora::test
