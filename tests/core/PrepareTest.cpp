// The single-file preparing commands: transliteration and merge of the edits, the new name, the
// folder of its own, and the enabling rules of their controls.
#include <filesystem>

#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

TEST(MergedTitle, SeparatorStandsOnlyBetweenPartsThatArePresent) {
    struct TCase {
        int32_t Track;
        const char* Artist;
        const char* Title;
        const char* Separator;
        bool T, A, N;
        const char* Expected;
    };
    const TCase cases[] = {
        {7, "Alpha", "Song", "-", false, true, true, "Alpha-Song"},
        {7, "Alpha", "Song", "-", true, true, true, "7-Alpha-Song"},
        {7, "Alpha", "Song", " - ", true, true, true, "7 - Alpha - Song"},
        {0, "Alpha", "Song", "-", true, false, false, "0"},
        {12, "Alpha", "Song", "-", true, false, true, "12-Song"},
        {3, "Alpha", "Song", "", true, true, false, "3Alpha"},
        {7, "Alpha", "Song", "-", false, false, true, "Song"},
        {7, "Alpha", "Song", "-", false, false, false, "Song"},
        {0, "", "", "-", false, true, true, "-"},
        {-4, "A", "S", "+", true, true, true, "-4+A+S"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(BuildMergedTitle(c.Track, c.Artist, c.Title, c.Separator, {c.T, c.A, c.N}),
                  c.Expected);
    }
}

TEST_F(ModelTest, TransliterationChangesTheFourTextEditsUnlessKept) {
    PutTagged("a.mp3", {.Title = Utf8ToCp1251("Щука"),
                        .Artist = Utf8ToCp1251("Жанна"),
                        .Album = Utf8ToCp1251("Чайф"),
                        .Year = "1999",
                        .Comment = Utf8ToCp1251("Юля")});
    // No track shown: nothing happens.
    Model.edTitle.Text = "Щи";
    Do(&TMainModel::btnTranslitClick);
    EXPECT_EQ(Model.edTitle.Text, "Щи");

    Open();
    Tick(Model.KeepArtist);
    Do(&TMainModel::btnTranslitClick);
    EXPECT_EQ(Model.edTitle.Text, "SCHuka");
    EXPECT_EQ(Model.edArtist.Text, "Жанна");
    EXPECT_EQ(Model.edAlbum.Text, "TCHayf");
    EXPECT_EQ(Model.edComment.Text, "YUlya");
    EXPECT_EQ(Model.edYear.Text, "1999");
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);

    // A second run finds nothing more to change.
    Model.Run([&] { Model.TagsModified = false; });
    Do(&TMainModel::btnTranslitClick);
    EXPECT_FALSE(Model.TagsModified);
    EXPECT_EQ(Field("a.mp3", 3, 30), Utf8ToCp1251("Щука"));  // edits only
}

TEST_F(ModelTest, MergeWritesTheTitleEvenWhenKept) {
    PutTagged("a.mp3", {.Title = "Song", .Artist = "Alpha", .Track = 7});
    Open();
    Tick(Model.KeepName);
    Do(&TMainModel::btnSplitClick);
    EXPECT_EQ(Model.edTitle.Text, "Alpha-Song");
    EXPECT_TRUE(Model.TagsModified);
    Do(&TMainModel::btnSplitClick);
    EXPECT_EQ(Model.edTitle.Text, "Alpha-Alpha-Song");

    Model.Run([&] {
        Model.SetEditText(Model.edTitle, "Song");
        Model.TagsModified = false;
        Model.cbSplitArtist.Checked = false;
    });
    Do(&TMainModel::btnSplitClick);  // the title merged with nothing is itself: no change
    EXPECT_FALSE(Model.TagsModified);
    Model.Run([&] {
        Model.cbSplitTrack.Checked = true;
        Model.edtSeparateSymbol.Text = " - ";
    });
    Do(&TMainModel::btnSplitClick);
    EXPECT_EQ(Model.edTitle.Text, "7 - Song");

    Do(&TMainModel::FileMenuNewClick);
    Do(&TMainModel::btnSplitClick);
    EXPECT_EQ(Model.edTitle.Text, "");
}

TEST_F(ModelTest, PartBoxesEnableTheirCommandAndBatchBox) {
    Model.Run([&] {
        Model.cbAllFilesSplit.Checked = true;
        Model.cbAllFilesTransClick();
        Model.cbSplitArtist.Checked = false;
        Model.cbSplitTitle.Checked = false;
        Model.cbSplitTrackClick();
    });
    EXPECT_FALSE(Model.btnSplit.Enabled);
    EXPECT_FALSE(Model.cbAllFilesSplit.Enabled);
    EXPECT_FALSE(Model.cbAllFilesSplit.Checked);
    EXPECT_FALSE(Model.cbAllFilesSaveID3.Checked);  // the batch rule ran
    EXPECT_FALSE(Model.btnProcessAll.Enabled);
    Tick(Model.cbSplitTrack);
    EXPECT_TRUE(Model.btnSplit.Enabled);
    EXPECT_TRUE(Model.cbAllFilesSplit.Enabled);
    EXPECT_FALSE(Model.cbAllFilesSplit.Checked);

    Model.cbAllFilesRename.Checked = true;
    Tick(Model.cbAllFilesMoveToDir);
    EXPECT_TRUE(Model.cbRenameMoveOneTime.Enabled);
    Tick(Model.cbAddTitle, false);
    EXPECT_FALSE(Model.btnRename.Enabled);
    EXPECT_FALSE(Model.cbAllFilesRename.Enabled);
    EXPECT_FALSE(Model.cbAllFilesRename.Checked);
    EXPECT_FALSE(Model.cbRenameMoveOneTime.Enabled);
    EXPECT_TRUE(Model.btnProcessAll.Enabled);  // folders are still on
    Tick(Model.cbAddArtist);
    EXPECT_TRUE(Model.btnRename.Enabled);
    EXPECT_TRUE(Model.cbAllFilesRename.Enabled);
}

TEST_F(ModelTest, BatchBoxesKeepSavingWithTransliterationOrMerge) {
    const auto click = [&](TCheckBox& box, bool on) { Tick(box, on); };
    click(Model.cbAllFilesSaveID3, true);  // alone it turns off again
    EXPECT_FALSE(Model.cbAllFilesSaveID3.Checked);
    EXPECT_FALSE(Model.btnProcessAll.Enabled);
    click(Model.cbAllFilesTrans, true);
    EXPECT_TRUE(Model.cbAllFilesSaveID3.Checked);
    EXPECT_TRUE(Model.btnProcessAll.Enabled);
    click(Model.cbAllFilesSaveID3, false);  // cannot be turned off while transliterating
    EXPECT_TRUE(Model.cbAllFilesSaveID3.Checked);
    click(Model.cbAllFilesSplit, true);
    click(Model.cbAllFilesTrans, false);
    EXPECT_TRUE(Model.cbAllFilesSaveID3.Checked);
    click(Model.cbAllFilesSplit, false);
    EXPECT_FALSE(Model.cbAllFilesSaveID3.Checked);
    EXPECT_FALSE(Model.btnProcessAll.Enabled);
    click(Model.cbAllFilesRename, true);
    EXPECT_FALSE(Model.cbRenameMoveOneTime.Enabled);
    click(Model.cbAllFilesMoveToDir, true);
    EXPECT_TRUE(Model.cbRenameMoveOneTime.Enabled);
    EXPECT_TRUE(Model.btnProcessAll.Enabled);
}

TEST_F(ModelTest, NewNameFromTheChosenPartsWithForbiddenCharactersReplaced) {
    struct TCase {
        bool T, A, N;
        const char* Track;
        const char* Artist;
        const char* Title;
        const char* Replacement;
        const char* Expected;
    };
    const TCase cases[] = {
        {false, false, true, "0", "", "Song", "_", "Song.mp3"},
        {true, true, true, "3", "A/B", "Why?", "_", "3_A_B_Why_.mp3"},
        {true, false, true, "12", "", "Song", "_", "12_Song.mp3"},
        {true, true, false, "5", "Alpha", "", "_", "5_Alpha.mp3"},
        {false, false, true, "0", "", "a:b", "-", "a-b.mp3"},
        {false, false, true, "x", "", "", "_", ".mp3"},
        {true, false, false, "junk", "", "", "_", "0.mp3"},
        {false, false, false, "1", "A", "S", "_", ""},
        {false, false, true, "0", "", "\\/?:*<>|\"", "_", "_________.mp3"},
        {false, false, true, "0", "", " . a\tb ", "_", " . a\tb .mp3"},
        {false, false, true, "0", "", "a*b", "", "a_b.mp3"},   // empty field: "_"
        {false, false, true, "0", "", "a*b", "ж", "aжb.mp3"},  // one whole character
        {false, false, true, "0", "", "a*b", "?", "a?b.mp3"},  // not tested itself
        {false, false, true, "0", "", "Ёлка*", "_", "Ёлка_.mp3"},
    };
    for (const TCase& c : cases) {
        Model.cbAddTrack.Checked = c.T;
        Model.cbAddArtist.Checked = c.A;
        Model.cbAddTitle.Checked = c.N;
        Model.edTrack.Text = c.Track;
        Model.edArtist.Text = c.Artist;
        Model.edTitle.Text = c.Title;
        Model.edtReplaceSymbol.Text = c.Replacement;
        EXPECT_EQ(Model.GetNewFileName(), c.Expected) << c.Title;
    }
}

TEST_F(ModelTest, RenameGivesTheCurrentFileItsNewNameAndRebuildsTheList) {
    PutTagged("x.MP3", {.Title = "Song"});
    PutTagged("b.mp3", {.Title = "Other"});
    Open();
    ASSERT_THAT(Model.TrackList, ElementsAre("b.mp3", "x.MP3"));
    Click(1);
    Edit(Model.edArtist, "unsaved");
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_THAT(Port.Questions, IsEmpty());  // unsaved edits go without the question
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3", "b.mp3"));
    EXPECT_THAT(Model.TrackList, ElementsAre("b.mp3", "Song.mp3"));
    EXPECT_EQ(Model.InfoFileName.Caption, "b.mp3");  // the first entry is current
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 0);
    EXPECT_EQ(Field("Song.mp3", 33, 30), "");

    // The own name again: nothing to do and no message.
    Click(1);
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3", "b.mp3"));
}

TEST_F(ModelTest, RenameOntoAnExistingNameOrOfAVanishedFileChangesNoFile) {
    PutTagged("a.mp3", {.Title = "Song"});
    PutTagged("Song.mp3", {.Title = "Another"});
    Open();
    const std::vector<uint8_t> before = ReadFile(Dir.File("Song.mp3"));
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(Port.Messages, ElementsAre(MoveError(Dir.File("a.mp3"), Dir.File("Song.mp3"))));
    EXPECT_EQ(ReadFile(Dir.File("Song.mp3")), before);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3", "a.mp3"));
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "Song.mp3"));

    // No name part chosen: the target is the folder itself, which fails with the message.
    Port.Messages.clear();
    Tick(Model.cbAddTitle, false);
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(Port.Messages, ElementsAre(MoveError(Dir.File("a.mp3"), Dir.Path() + "/")));
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3", "a.mp3"));

    // A current file that has vanished: nothing is done, the list is not even rebuilt.
    Port.Messages.clear();
    Tick(Model.cbAddTitle);
    fs::remove(Dir.File("a.mp3"));
    const int refreshes = Port.RefreshCalls;
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "Song.mp3"));
    EXPECT_EQ(Port.RefreshCalls, refreshes);
    // No current file at all: nothing either.
    Do(&TMainModel::FileMenuNewClick);
    Do(&TMainModel::btnRenameClick);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("Song.mp3"));
}

TEST_F(ModelTest, NumberedFoldersTakeTheCounterWhichStopsAt253) {
    PutUntagged("Song.mp3");
    PutUntagged("Two.mp3");
    PutUntagged("Three.mp3");
    Open();
    Do(&TMainModel::btnDirAndMoveClick);  // Song.mp3 is first
    EXPECT_TRUE(fs::exists(Dir.File("D001/Song.mp3")));
    EXPECT_EQ(Model.spedNumDir.Text, "2");
    EXPECT_THAT(Model.TrackList, ElementsAre("Three.mp3", "Two.mp3"));
    EXPECT_EQ(Model.InfoFileName.Caption, "Three.mp3");

    Model.Run([&] { Model.SetNumDir(253); });
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_TRUE(fs::exists(Dir.File("D253/Three.mp3")));
    EXPECT_EQ(Model.spedNumDir.Text, "253");
    Do(&TMainModel::btnDirAndMoveClick);  // D253 is there: the file stays, no message
    EXPECT_TRUE(fs::exists(Dir.File("Two.mp3")));
    EXPECT_THAT(Port.Messages, IsEmpty());
    EXPECT_EQ(Model.spedNumDir.Text, "253");

    Model.Run([&] { Model.SetNumDir(0); });
    EXPECT_EQ(Model.spedNumDir.Text, "1");
    Model.Run([&] { Model.SetNumDir(1000); });
    EXPECT_EQ(Model.spedNumDir.Text, "253");
    Model.spedNumDir.Text = "abc";  // not a number: the lowest folder number
    Model.ChooseFolderNaming(true);
    EXPECT_EQ(Model.MakeFolderName(), "D001");
    Model.spedNumDir.Text = "42";
    EXPECT_EQ(Model.MakeFolderName(), "D042");
    EXPECT_EQ(Model.spedNumDir.Text, "43");
}

TEST_F(ModelTest, AFolderLeftFromAnEarlierRunIsPassedOverSilently) {
    PutUntagged("Song.mp3");
    fs::create_directory(Dir.File("D001"));
    Open();
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_TRUE(fs::exists(Dir.File("Song.mp3")));
    EXPECT_EQ(Model.spedNumDir.Text, "2");
    EXPECT_THAT(Port.Messages, IsEmpty());
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_TRUE(fs::exists(Dir.File("D002/Song.mp3")));
    // The last file has gone: the folder is forgotten.
    EXPECT_THAT(Model.TrackList, IsEmpty());
    EXPECT_EQ(Model.InputFolder, "");
    EXPECT_EQ(Model.lblInputFolder.Caption, "");
    EXPECT_EQ(Model.InfoFileName.Caption, "");
}

TEST_F(ModelTest, FoldersNamedAfterTheFile) {
    PutUntagged("01_Song.Live.mp3");
    PutUntagged("Song.mp3");
    PutUntagged("xmp3");
    fs::create_directory(Dir.File("Song"));
    Open();
    Tick(Model.rbFileName);
    EXPECT_FALSE(Model.spedNumDir.Enabled);
    EXPECT_FALSE(Model.cbRenameMoveOneTime.Visible);
    EXPECT_FALSE(Model.Label19Visible);
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_TRUE(fs::exists(Dir.File("01_Song.Live/01_Song.Live.mp3")));
    Do(&TMainModel::btnDirAndMoveClick);  // the folder Song exists: the file stays
    EXPECT_TRUE(fs::exists(Dir.File("Song.mp3")));
    Click(1);
    ASSERT_EQ(Model.InfoFileName.Caption, "xmp3");
    Do(&TMainModel::btnDirAndMoveClick);  // no name left for a folder
    EXPECT_TRUE(fs::exists(Dir.File("xmp3")));
    EXPECT_EQ(Model.spedNumDir.Text, "1");
    EXPECT_THAT(Port.Messages, IsEmpty());

    Model.InfoFileName.Caption = "Пес.mp3";
    EXPECT_EQ(Model.MakeFolderName(), "Пес");
    Model.InfoFileName.Caption = "Песmp3";
    EXPECT_EQ(Model.MakeFolderName(), "Пе");
}

TEST(PrepareFailures, AFailedMoveLeavesTheNewFolderEmptyAndTellsBothPaths) {
    TempDir dir;
    TScriptedPort port;
    TFaultyFs failing;
    TMainModel model(port, failing);
    model.FormCreate();
    WriteFile(dir.File("Song.mp3"), Mp3Bytes(2));
    port.FolderAnswers.push_back(dir.Path());
    model.Run([&] { model.FileMenuAddDirClick(); });
    failing.FailMoves = true;
    model.Run([&] { model.btnDirAndMoveClick(); });
    EXPECT_THAT(port.Messages,
                ElementsAre(MoveError(dir.File("Song.mp3"), dir.File("D001/Song.mp3"))));
    EXPECT_TRUE(fs::is_empty(dir.File("D001")));
    EXPECT_THAT(model.TrackList, ElementsAre("Song.mp3"));
    EXPECT_EQ(model.spedNumDir.Text, "2");
}

}  // namespace
}  // namespace velmora::test
