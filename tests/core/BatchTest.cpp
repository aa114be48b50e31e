// The batch over all files: the tag stage, the four ways of the file stage, the end state, and a
// property over random folders: no file is ever lost, doubled or overwritten.
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
namespace fs = std::filesystem;

class BatchTest : public ModelTest {
  protected:
    void Check(TCheckBox& box) { Tick(box); }
    // The batch options of both stages, with renaming and folders one after the other or at once.
    void CheckRenameAndFolders(bool atOnce = false) {
        Check(Model.cbAllFilesRename);
        Check(Model.cbAllFilesMoveToDir);
        if (atOnce)
            Check(Model.cbRenameMoveOneTime);
    }
    void Process() { Do(&TMainModel::btnProcessAllClick); }
    std::string Title(const std::string& file) { return Field(file, 3, 30); }
};

TEST_F(BatchTest, TagStageTransliteratesMergesAndSavesEveryFileWithoutAQuestion) {
    PutTagged("a.mp3", {.Title = Utf8ToCp1251("Щука"), .Artist = Utf8ToCp1251("Чайф")});
    PutUntagged("b.mp3");
    PutTagged("c.mp3", {.Title = "Song", .Artist = "Alpha", .Album = "Keep me"});
    Open();
    Check(Model.cbAllFilesTrans);
    Check(Model.cbAllFilesSplit);
    ASSERT_TRUE(Model.cbAllFilesSaveID3.Checked);
    std::vector<std::string> statuses;
    int mostProgress = 0;
    Port.OnRefresh = [&] {
        if (statuses.empty() || statuses.back() != Model.StatusText)
            statuses.push_back(Model.StatusText);
        mostProgress = std::max(mostProgress, Model.ProgressTotal);
        EXPECT_LE(Model.ProgressDone, Model.ProgressTotal);
    };
    Process();
    EXPECT_THAT(Port.Errors, IsEmpty());
    EXPECT_THAT(Port.Questions, IsEmpty());
    EXPECT_EQ(Title("a.mp3"), "TCHayf-SCHuka");
    EXPECT_EQ(Field("a.mp3", 33, 30), "TCHayf");
    EXPECT_EQ(Title("b.mp3"), "-");  // a file without a tag gets one
    EXPECT_EQ(ReadFile(Dir.File("b.mp3")).size(), 10000u + 128u);
    EXPECT_EQ(Title("c.mp3"), "Alpha-Song");
    EXPECT_EQ(Field("c.mp3", 63, 30), "Keep me");
    EXPECT_THAT(statuses,
                ElementsAre("Транслитерация, объединение полей и запись тегов. Подождите, "
                            "пожалуйста...",
                            "Переименование и перемещение файлов. Подождите, пожалуйста...",
                            "Создание списка файлов. Подсчет размера и времени. Подождите, "
                            "пожалуйста...",
                            ""));
    EXPECT_EQ(mostProgress, 3);

    // The end: the list rebuilt with its first file current and shown, every option off.
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "c.mp3"));
    EXPECT_EQ(Model.InfoFileName.Caption, "a.mp3");
    ExpectWindowRestored();
    EXPECT_FALSE(Model.TagsModified);
    for (const TCheckBox* box :
         {&Model.cbAllFilesTrans, &Model.cbAllFilesSplit, &Model.cbAllFilesSaveID3,
          &Model.cbAllFilesRename, &Model.cbAllFilesMoveToDir})
        EXPECT_FALSE(box->Checked);
    EXPECT_FALSE(Model.btnProcessAll.Enabled);
}

TEST_F(BatchTest, KeptFieldsReachEveryFileAndTheKeepBoxesEndOff) {
    PutTagged("a.mp3", {.Title = "One", .Album = "X"});
    PutTagged("b.mp3", {.Title = Utf8ToCp1251("Два"), .Album = "Other"});
    Open();
    Tick(Model.KeepAlbum);
    Edit(Model.edTitle, "edited");  // unsaved: asked about at the first file
    Port.YesNoAnswers.push_back(false);
    Check(Model.cbAllFilesTrans);
    Process();
    EXPECT_EQ(Port.Questions.size(), 1u);
    EXPECT_EQ(Field("a.mp3", 63, 30), "X");
    EXPECT_EQ(Field("b.mp3", 63, 30), "X");
    EXPECT_EQ(Title("a.mp3"), "One");
    EXPECT_EQ(Title("b.mp3"), "Dva");
    EXPECT_FALSE(Model.KeepAlbum.Checked);
    EXPECT_TRUE(Model.edAlbum.Enabled);
}

TEST_F(BatchTest, FoldersOnlyFollowTheUsersOrder) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        PutUntagged(name);
    Open();
    Click(2);
    Do(&TMainModel::bt_UpClick);  // a, c, b
    Check(Model.cbAllFilesMoveToDir);
    Process();
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("D001/a.mp3", "D002/c.mp3", "D003/b.mp3"));
    EXPECT_EQ(Model.spedNumDir.Text, "4");
    EXPECT_THAT(Model.TrackList, IsEmpty());
    EXPECT_EQ(Model.InputFolder, Dir.Path());  // the batch keeps the folder open
    EXPECT_THAT(Port.Messages, IsEmpty());
}

TEST_F(BatchTest, RenameOnlyKeepsTheOldNameOfTheSecondOfTwoEqualNames) {
    PutTitled({{"a.mp3", "Same"}, {"b.mp3", "Same"}, {"c.mp3", "Third"}});
    Open();
    Check(Model.cbAllFilesRename);
    Process();
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Same.mp3", "Third.mp3", "b.mp3"));
    EXPECT_THAT(Port.Messages, ElementsAre(MoveError(Dir.File("b.mp3"), Dir.File("Same.mp3"))));
    EXPECT_THAT(Model.TrackList, ElementsAre("b.mp3", "Same.mp3", "Third.mp3"));
}

TEST_F(BatchTest, AtOnceGivesEachFileItsNameAndNumberedFolderInOneMove) {
    PutTitled({{"a.mp3", "Zulu"}, {"b.mp3", "Alpha"}, {"c.mp3", "Why?"}});
    fs::create_directory(Dir.File("D002"));  // from an earlier run
    Open();
    CheckRenameAndFolders(true);
    Process();
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("D001/Zulu.mp3", "D003/Why_.mp3", "b.mp3"));
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_EQ(Model.spedNumDir.Text, "4");
    EXPECT_TRUE(Model.cbRenameMoveOneTime.Checked);  // it keeps its state
    EXPECT_FALSE(Model.cbRenameMoveOneTime.Enabled);
}

TEST_F(BatchTest, AtOnceWithNamedFoldersCountsWhileTheBoxIsHidden) {
    PutTagged("01 first.mp3", {.Title = "One", .Track = 1});
    PutTagged("02 second.MP3", {.Title = "Two", .Track = 2});
    PutTagged("03 third.mp3", {.Title = "Three", .Track = 3});
    Open();
    CheckRenameAndFolders(true);
    Tick(Model.rbFileName);
    ASSERT_FALSE(Model.cbRenameMoveOneTime.Visible);
    Tick(Model.cbAddTrack);
    Process();
    EXPECT_THAT(FilesUnder(Dir.Path()),
                ElementsAre("01 first/1_One.mp3", "02 second/2_Two.mp3", "03 third/3_Three.mp3"));
    EXPECT_EQ(Model.spedNumDir.Text, "1");
}

TEST_F(BatchTest, OneAfterTheOtherRenamesAllThenMovesInTheFoldersOrder) {
    PutTitled({{"a.mp3", "Zulu"}, {"b.mp3", "Alpha"}, {"c.mp3", "Mike"}});
    Open();
    CheckRenameAndFolders();
    int batchDone = 0;  // progress of the batch: three steps per file, through the rebuilds
    Port.OnRefresh = [&] {
        EXPECT_LE(Model.ProgressDone, Model.ProgressTotal);
        if (Model.ProgressTotal == 9)
            batchDone = std::max(batchDone, Model.ProgressDone);
    };
    Process();
    EXPECT_EQ(batchDone, 9);
    EXPECT_THAT(FilesUnder(Dir.Path()),
                ElementsAre("D001/Alpha.mp3", "D002/Mike.mp3", "D003/Zulu.mp3"));
    // The last move forgot the folder.
    EXPECT_EQ(Model.InputFolder, "");
    EXPECT_THAT(Model.TrackList, IsEmpty());
    ExpectWindowRestored();
}

TEST_F(BatchTest, OneAfterTheOtherPassesOverFilesItCannotMoveAndEnds) {
    // Each title is the file's own name, so the renames change nothing.
    for (const char* title : {"a", "b", "c", "d", "e"})
        PutTagged(std::string(title) + ".mp3", {.Title = title}, 1);
    fs::create_directory(Dir.File("D250"));
    Open();
    Model.Run([&] { Model.SetNumDir(250); });
    CheckRenameAndFolders();
    Process();
    // a: D250 exists; b, c, d take D251..D253; e: D253 is taken.
    EXPECT_THAT(FilesUnder(Dir.Path()),
                ElementsAre("D251/b.mp3", "D252/c.mp3", "D253/d.mp3", "a.mp3", "e.mp3"));
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "e.mp3"));
    EXPECT_EQ(Model.spedNumDir.Text, "253");
    EXPECT_THAT(Port.Messages, IsEmpty());
}

TEST_F(BatchTest, FilesAfterThe253rdStayWithoutAMessage) {
    for (int i = 0; i < 255; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "t%03d.mp3", i);
        WriteFile(Dir.File(name), std::string(600, static_cast<char>(i)));
    }
    Open();
    ASSERT_EQ(Model.TrackList.size(), 255u);
    Check(Model.cbAllFilesMoveToDir);
    Process();
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_THAT(Model.TrackList, ElementsAre("t253.mp3", "t254.mp3"));
    EXPECT_TRUE(fs::exists(Dir.File("D001/t000.mp3")));
    EXPECT_TRUE(fs::exists(Dir.File("D253/t252.mp3")));
    EXPECT_EQ(FilesUnder(Dir.Path()).size(), 255u);
}

TEST_F(BatchTest, AnErrorStopsTheBatchAndPutsTheWindowBack) {
    PutTitled({{"a.mp3", "One"}, {"b.mp3", "Two"}, {"c.mp3", "Three"}});
    Open();
    Check(Model.cbAllFilesTrans);
    Check(Model.cbAllFilesRename);
    fs::remove(Dir.File("b.mp3"));
    Process();
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith(CannotOpen(Dir.File("b.mp3")))));
    EXPECT_EQ(Title("a.mp3"), "One");  // done before the error
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("a.mp3", "c.mp3"));
    ExpectWindowRestored();
    EXPECT_TRUE(Model.cbAllFilesTrans.Checked);  // the user's options stay for another try
    EXPECT_TRUE(Model.cbAllFilesRename.Checked);
    EXPECT_TRUE(Model.btnProcessAll.Enabled);
}

TEST_F(BatchTest, TheMenuCommandRunsTheBatchOnlyWhenTheButtonIsEnabled) {
    PutTagged("a.mp3", {.Title = "Song"});
    Open();
    Model.cbAllFilesRename.Checked = true;  // ticked, but the rule has not enabled the button
    Do(&TMainModel::ConvertMenuProcessAll);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("a.mp3"));
    Check(Model.cbAllFilesRename);
    Do(&TMainModel::ConvertMenuProcessAll);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3"));
    EXPECT_FALSE(Model.btnProcessAll.Enabled);

    // An empty list: nothing at all happens.
    Do(&TMainModel::FileMenuNewClick);
    Check(Model.cbAllFilesRename);
    Process();
    EXPECT_TRUE(Model.cbAllFilesRename.Checked);
}

// ---- Property: over random folders and options, every file survives exactly once ----

struct TOriginal {
    std::string Name;
    std::string Audio;  // the bytes before the tag, unique to the file
    bool Tagged;
};

TEST(BatchProperty, EveryFileSurvivesOnceWithItsAudioUnchanged) {
    std::mt19937 random(20261208);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    const char* const titles[] = {"Song", "Щука", "Same", "a/b", "Why?", "", "Ёлка", "x:y"};
    const char* const artists[] = {"Alpha", "Жанна", "", "Same"};
    for (int iteration = 0; iteration < 50; ++iteration) {
        SCOPED_TRACE("iteration " + std::to_string(iteration));
        TempDir dir;
        TScriptedPort port;
        TMainModel model(port);
        model.FormCreate();

        std::vector<TOriginal> originals;
        const int count = 1 + static_cast<int>(random() % 5);
        for (int i = 0; i < count; ++i) {
            TOriginal file;
            file.Name =
                (chance(30) ? "Same" : "f" + std::to_string(i)) + (chance(20) ? ".MP3" : ".mp3");
            if (std::any_of(originals.begin(), originals.end(),
                            [&](const TOriginal& o) { return o.Name == file.Name; })) {
                file.Name = "g" + std::to_string(i) + ".mp3";
            }
            TMp3Builder builder;
            builder.Frames(SlowParams(), 2).Bytes(100 + i, static_cast<uint8_t>(0x10 + i));
            file.Audio.assign(builder.Build().begin(), builder.Build().end());
            file.Tagged = chance(70);
            if (file.Tagged) {
                builder.ID3v1({.Title = Utf8ToCp1251(titles[random() % 8]),
                               .Artist = Utf8ToCp1251(artists[random() % 4]),
                               .Track = static_cast<int>(random() % 4)});
            }
            WriteFile(dir.File(file.Name), builder.Build());
            originals.push_back(file);
        }
        if (chance(30))
            fs::create_directory(dir.File("D00" + std::to_string(1 + random() % 3)));
        if (chance(20))
            fs::create_directory(dir.File("f0"));

        port.FolderAnswers.push_back(dir.Path());
        model.Run([&] { model.FileMenuAddDirClick(); });
        model.Run([&] {
            model.cbAddTrack.Checked = chance(40);
            model.cbAddArtist.Checked = chance(40);
            model.cbAddTitle.Checked = chance(70);
            model.cbAddTrackClick();
            model.cbSplitTrack.Checked = chance(30);
            model.cbSplitTrackClick();
            model.ChooseFolderNaming(chance(60));
            model.SetNumDir(chance(20) ? 252 : 1);
            model.KeepName.Checked = chance(15);
            model.KeepClick(TTagField::Title);
            for (TCheckBox* box :
                 {&model.cbAllFilesTrans, &model.cbAllFilesSplit, &model.cbAllFilesRename,
                  &model.cbAllFilesMoveToDir, &model.cbRenameMoveOneTime}) {
                box->Checked = box->Enabled && chance(50);
                model.cbAllFilesTransClick();
            }
        });
        const bool saving = model.cbAllFilesSaveID3.Checked;
        model.Run([&] { model.btnProcessAllClick(); });
        ASSERT_THAT(port.Errors, IsEmpty());

        // Every file under the folder is one original, and every original is one file.
        std::vector<std::string> found = FilesUnder(dir.Path());
        ASSERT_EQ(found.size(), originals.size()) << ::testing::PrintToString(found);
        std::set<size_t> matched;
        for (const std::string& path : found) {
            const std::vector<uint8_t> bytes = ReadFile(dir.File(path));
            const std::string content(bytes.begin(), bytes.end());
            size_t which = originals.size();
            for (size_t k = 0; k < originals.size(); ++k) {
                if (content.compare(0, originals[k].Audio.size(), originals[k].Audio) == 0)
                    which = k;
            }
            ASSERT_LT(which, originals.size()) << path << " is no original file";
            EXPECT_TRUE(matched.insert(which).second) << path << " is there twice";
            const TOriginal& o = originals[which];
            if (saving || o.Tagged) {
                EXPECT_EQ(content.size(), o.Audio.size() + 128) << path;
                EXPECT_EQ(content.compare(o.Audio.size(), 3, "TAG"), 0) << path;
            } else {
                EXPECT_EQ(content, o.Audio) << path;
            }
        }
    }
}

}  // namespace
}  // namespace velmora::test
