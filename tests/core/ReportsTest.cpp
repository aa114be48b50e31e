// The file list report, the tag list report, their option dialogs' list moves, and how the lines
// reach the disk.
#include <unistd.h>

#include <map>

#include "audio/FileStream.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TFileListReportOptions AllOptions() {
    TFileListReportOptions o;
    o.DirNameFirst = true;
    o.withoutDirName = false;
    o.cb_NumFiles = o.cb_AddExt = o.cb_AddSize = true;
    o.cb_FilesCount = o.cb_TotalSize = o.cb_TotalTime = true;
    return o;
}

TEST(FileListReport, ExampleWithFolderOnEveryLineSizesAndTotals) {
    TFaultyFs fs;
    fs.Sizes = {{"/m/Intro.mp3", 3000000}, {"/m/Song.MP3", 5500000}, {"/m/Outro.mp3", 1048576}};
    TFileListReportOptions o;
    o.DirNameToAll = true;
    o.withoutDirName = false;
    o.cb_AddExt = o.cb_AddSize = o.cb_FilesCount = o.cb_TotalSize = true;
    EXPECT_THAT(BuildFileListReport(fs, {"Intro.mp3", "Song.MP3", "Outro.mp3"}, "/m", "0:10:00", o),
                ElementsAre("1 /m/Intro.mp3 3", "2 /m/Song.mp3 5", "3 /m/Outro.mp3 1",
                            "Всего файлов: 3", "Размер: 9 Mb"));
    // The root keeps the path rule: two separators in a row.
    o = {};
    o.DirNameToAll = true;
    EXPECT_THAT(BuildFileListReport(fs, {"x.mp3"}, "/", "", o), ElementsAre("1 //x"));
}

TEST(FileListReport, EmptyListWithEveryOption) {
    TFaultyFs fs;
    EXPECT_THAT(BuildFileListReport(fs, {}, "", "00:00:00", AllOptions()),
                ElementsAre("", "Всего файлов: 0", "Размер: 0 Mb", "Время: 00:00:00"));
}

TEST(FileListReport, NumbersArePaddedToTheWidthOfCountPlusOne) {
    TFaultyFs fs;
    TFileListReportOptions o;
    struct Row {
        size_t Count;
        std::vector<std::pair<size_t, std::string>> Lines;  // line index, expected text
    };
    for (const Row& row : std::vector<Row>{
             {9, {{0, "1 t"}, {8, "9 t"}}},
             {98, {{0, "1 t"}, {9, "10 t"}}},
             {99, {{0, " 1 t"}, {8, " 9 t"}, {9, "10 t"}}},
             {999, {{0, "  1 t"}, {9, " 10 t"}, {98, " 99 t"}, {99, "100 t"}}},
         }) {
        const std::vector<std::string> names(row.Count, "t.mp3");
        const auto lines = BuildFileListReport(fs, names, "/none", "", o);
        ASSERT_EQ(lines.size(), row.Count);
        for (const auto& [index, text] : row.Lines)
            EXPECT_EQ(lines[index], text) << row.Count;
    }
}

TEST(FileListReport, NamesUnitsAndMissingOrHugeFiles) {
    TFaultyFs fs;
    fs.Sizes = {{"/m/a.mp3", 1023}, {"/m/e.mp3", 0}, {"/m/big.mp3", int64_t{3} << 30}};
    TFileListReportOptions o;
    o.cb_NumFiles = false;
    o.cb_AddSize = true;
    const std::vector<std::string> names = {"a.mp3",    "e.mp3",     "big.mp3",
                                            "gone.mp3", "Песня.mp3", "mp3"};
    o.rb_InMbytes = false;
    o.rb_InBytes = true;
    EXPECT_THAT(BuildFileListReport(fs, names, "/m", "", o),
                ElementsAre("a 1023", "e 0", "big -1", "gone 0", "Песня 0", " 0"));
    o.rb_InBytes = false;
    o.rb_InKbytes = true;
    EXPECT_THAT(BuildFileListReport(fs, names, "/m", "", o),
                ElementsAre("a 1", "e 0", "big 0", "gone 0", "Песня 0", " 0"));
    o.rb_InKbytes = false;
    o.rb_InMbytes = true;
    o.cb_TotalSize = true;
    // The huge file lowers the total by one byte.
    EXPECT_EQ(BuildFileListReport(fs, names, "/m", "", o).back(), "Размер: 0 Mb");
    o.rb_InMbytes = false;
    EXPECT_EQ(BuildFileListReport(fs, names, "/m", "", o)[0], "a ");
}

TEST(ReportFile, LinesAreWindows1251WithCrLfAndAFailureLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("list.txt");
    SaveReportLines(RealFileSystem(), path, {"Время: 1:00", ""});
    EXPECT_EQ(ReadFile(path), std::vector<uint8_t>({0xC2, 0xF0, 0xE5, 0xEC, 0xFF, ':', ' ', '1',
                                                    ':', '0', '0', '\r', '\n', '\r', '\n'}));
    SaveReportLines(RealFileSystem(), path, {});
    EXPECT_THAT(ReadFile(path), IsEmpty());
    // A legacy name's bytes, Windows-1251 already, stay as they are beside UTF-8 text.
    SaveReportLines(RealFileSystem(), path, {"\xCF\xE5\xF1\xED\xFF.mp3 Да"});
    EXPECT_EQ(ReadFile(path), std::vector<uint8_t>({0xCF, 0xE5, 0xF1, 0xED, 0xFF, '.', 'm', 'p',
                                                    '3', ' ', 0xC4, 0xE0, '\r', '\n'}));

    TFaultyFs fs;
    fs.FailWrites = true;
    EXPECT_THROW(SaveReportLines(fs, path, {"x"}), EStreamError);
}

class ReportCommandTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        PutTagged("a.mp3",
                  {.Title = "Title", .Artist = "Artist", .Year = "2001", .Track = 5, .Genre = 17},
                  205);
        PutTagged("b.mp3", {.Title = "Other", .Artist = "Someone", .Genre = 200}, 3725);
        PutUntagged("c.mp3", 7);
        Open();
    }
    std::vector<std::string> TagReport(const TTagListReportOptions& o) {
        std::vector<std::string> lines;
        Model.Run([&] { lines = Model.BuildTagListReport(o, Model.lblTotalTime.Caption); });
        return lines;
    }
};

TEST_F(ReportCommandTest, FileListCommandWritesOnlyAfterBothDialogs) {
    const std::string path = Dir.File("Songlist.txt");
    Port.FileListOptionAnswers = {false, true, true};
    Port.SaveAnswers = {std::nullopt, path};
    Port.EditFileListOptions = [](TFileListReportOptions& o) { o.cb_TotalTime = true; };
    for (int i = 0; i < 3; ++i)
        Do(&TMainModel::TrackListMenuSaveFilesListClick);
    EXPECT_EQ(Port.FileListDialogs, 3);
    EXPECT_EQ(Port.SaveDialogs, 2);
    EXPECT_THAT(Port.Errors, IsEmpty());
    const std::vector<uint8_t> bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "1 a\r\n2 b\r\n3 c\r\n" + Utf8ToCp1251("Время: 1:05:37") + "\r\n");
    EXPECT_EQ(Model.InfoFileName.Caption, "a.mp3");

    // A file that cannot be created is reported; the options keep their states.
    Port.FileListOptionAnswers = {true};
    Port.SaveAnswers = {Dir.File("no/such/folder.txt")};
    Do(&TMainModel::TrackListMenuSaveFilesListClick);
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith("Cannot create file \"" +
                                                    Dir.File("no/such/folder.txt") + "\". ")));
    EXPECT_TRUE(Model.FileListOptions.cb_TotalTime);
}

TEST_F(ReportCommandTest, TagListLinesFromTheDefaultAndFromChosenOptions) {
    TTagListReportOptions o;
    EXPECT_THAT(TagReport(o),
                ElementsAre("1  0:03:25", "2  1:02:05", "3  0:00:07", "Всего треков: 3"));
    // The walk leaves the last track current.
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 2);
    EXPECT_EQ(Model.InfoFileName.Caption, "c.mp3");

    // Chosen fields, separators and the removal of leading zeros.
    o.lb_select = {"Исполнитель", "Название"};
    o.cb_Time = true;
    o.cb_TotalTrack = false;
    o.cb_TotalTime = true;
    EXPECT_THAT(TagReport(o), ElementsAre("1 Artist - Title 3:25", "2 Someone - Other 1:02:05",
                                          "3  -  0:07", "Время: 1:05:37"));
    o = {};
    o.cb_numeric = false;
    o.cb_TotalTrack = false;
    o.lb_select = {"№ трека", "Жанр", "Год"};
    o.edSeparator = "";
    EXPECT_THAT(TagReport(o), ElementsAre("5Rock2001 0:03:25", "0 1:02:05", "0 0:00:07"));
    // A name that is no field adds nothing, not even its separator.
    o.lb_select = {"Название", "Комментарий"};
    o.edSeparator = "|";
    EXPECT_EQ(TagReport(o)[0], "Title| 0:03:25");
}

TEST_F(ReportCommandTest, KeptFieldRepeatsOnTaggedLines) {
    Click(1);
    Tick(Model.KeepArtist);
    TTagListReportOptions o;
    o.lb_select = {"Исполнитель"};
    o.cb_TotalTrack = false;
    EXPECT_THAT(TagReport(o), ElementsAre("1 Someone 0:03:25", "2 Someone 1:02:05", "3  0:00:07"));
}

TEST_F(ReportCommandTest, TagListCommandAsksOnceStopsAtAVanishedFileAndWritesNothing) {
    const std::string path = Dir.File("tags.txt");
    Edit(Model.edTitle, "edited");
    Port.TagListOptionAnswers = {true};
    Port.SaveAnswers = {path};
    Port.EditTagListOptions = [](TTagListReportOptions& o) {
        EXPECT_EQ(o.lb_avaliableIndex, 0);  // the show handler ran
        o.btAddOneClick();
    };
    std::remove(Dir.File("b.mp3").c_str());
    Do(&TMainModel::TrackListMenuSaveFromID3v1Click);
    EXPECT_THAT(Port.Questions, ElementsAre(Question("a.mp3")));
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith(CannotOpen(Dir.File("b.mp3")))));
    EXPECT_EQ(access(path.c_str(), F_OK), -1);
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 1);
    EXPECT_THAT(Model.TagListOptions.lb_select, ElementsAre("Название"));

    PutUntagged("b.mp3", 1);
    Port.TagListOptionAnswers = {true};
    Port.SaveAnswers = {path};
    Port.EditTagListOptions = nullptr;
    Do(&TMainModel::TrackListMenuSaveFromID3v1Click);
    const std::vector<uint8_t> bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "1 Title 0:03:25\r\n2  0:00:01\r\n3  0:00:07\r\n" + Utf8ToCp1251("Всего треков: 3") +
                  "\r\n");
}

TEST_F(ModelTest, TagListOfAnEmptyListHasOnlyTotals) {
    TTagListReportOptions o;
    o.cb_TotalTime = true;
    std::vector<std::string> lines;
    Model.Run([&] { lines = Model.BuildTagListReport(o, Model.lblTotalTime.Caption); });
    EXPECT_THAT(lines, ElementsAre("Всего треков: 0", "Время: 0:00"));
}

TEST(TagListOptions, ListMovesFollowTheDialogRules) {
    TTagListReportOptions o;
    o.btRemoveOneClick();  // empty source: nothing
    EXPECT_THAT(o.lb_select, IsEmpty());
    o.FormShow();
    EXPECT_EQ(o.lb_avaliableIndex, 0);
    o.lb_avaliableIndex = 2;
    o.btAddOneClick();
    EXPECT_THAT(o.lb_select, ElementsAre("Альбом"));
    EXPECT_EQ(o.lb_avaliableIndex, -1);
    o.btAddOneClick();  // nothing selected: the first remaining field
    EXPECT_THAT(o.lb_select, ElementsAre("Альбом", "Название"));
    o.btAddAllClick();
    EXPECT_THAT(o.lb_avaliable, IsEmpty());
    EXPECT_THAT(o.lb_select,
                ElementsAre("Альбом", "Название", "Исполнитель", "Год", "№ трека", "Жанр"));
    o.btAddOneClick();
    EXPECT_EQ(o.lb_select.size(), 6u);
    o.lb_selectIndex = 0;
    o.btRemoveOneClick();
    EXPECT_THAT(o.lb_avaliable, ElementsAre("Альбом"));
    o.btRemoveAllClick();
    EXPECT_THAT(o.lb_avaliable,
                ElementsAre("Альбом", "Название", "Исполнитель", "Год", "№ трека", "Жанр"));
    EXPECT_THAT(o.lb_select, IsEmpty());
}

}  // namespace
}  // namespace velmora::test
