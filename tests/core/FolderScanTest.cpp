// Opening a folder: which names are listed, in what order, the totals, and how the window looks
// during and after the fill, also when a file fails on the way.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TEST_F(ModelTest, ScanListsOneLevelOfMp3NamesAndSkipsHiddenSystemAndFolders) {
    PutUntagged("b.Mp3");
    PutUntagged("A.MP3");
    PutUntagged("trackmp3");
    PutUntagged("c.mp3.txt");
    PutUntagged("d.mp4");
    PutUntagged(".hidden.mp3");
    ASSERT_EQ(mkdir(Dir.File("sub").c_str(), 0777), 0);
    WriteFile(Dir.File("sub/inner.mp3"), Mp3Bytes(5));
    ASSERT_EQ(mkdir(Dir.File("folder.mp3").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo(Dir.File("pipe.mp3").c_str(), 0666), 0);
    ASSERT_EQ(symlink("nowhere.mp3", Dir.File("dead.mp3").c_str()), 0);
    ASSERT_EQ(symlink("A.MP3", Dir.File("link.mp3").c_str()), 0);

    Open();

    EXPECT_THAT(Port.Errors, IsEmpty());
    EXPECT_THAT(Model.TrackList, ElementsAre("A.MP3", "b.Mp3", "link.mp3", "trackmp3"));
    EXPECT_THAT(Model.FoundFiles, ElementsAre(Dir.File("A.MP3"), Dir.File("b.Mp3"),
                                              Dir.File("link.mp3"), Dir.File("trackmp3")));
    EXPECT_EQ(Model.NumFilesLabel.Caption, "4");
    EXPECT_EQ(Model.lblTotalTime.Caption, "0:00:40");
    EXPECT_EQ(Model.lblInputFolder.Caption, Dir.Path());
    // Events are let through after each sub-folder entry and each listed file.
    EXPECT_EQ(Port.ProcessEventsCalls, 2 + 4);
    // The first name is selected and current.
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 0);
    EXPECT_EQ(Model.InfoFileName.Caption, "A.MP3");
    EXPECT_EQ(Model.CurrentFileSizeLabel.Caption, "10000");

    // The same folder opened again gives the same list.
    const std::vector<std::string> first = Model.TrackList;
    Open();
    EXPECT_EQ(Model.TrackList, first);
}

TEST_F(ModelTest, TotalsAddSizesAndShownTimes) {
    PutUntagged("one.mp3", 225);
    Open();
    EXPECT_EQ(Model.lblTotalTime.Caption, "0:03:45");
    EXPECT_EQ(Model.SizeFilesLabel.Caption, "0");

    // Sizes are summed in bytes and rounded once, halves to even.
    PutUntagged("one.mp3", 1);
    ASSERT_EQ(truncate(Dir.File("one.mp3").c_str(), 3 << 19), 0);
    Open();
    EXPECT_EQ(Model.SizeFilesLabel.Caption, "2");

    // Two files: the times as shown, in whole seconds, are added.
    PutTagged("one.mp3", {.Title = "x"}, 59 * 60 + 30);
    PutUntagged("two.mp3", 70);
    Open();
    EXPECT_EQ(Model.lblTotalTime.Caption, "1:00:40");
    EXPECT_EQ(Model.NumFilesLabel.Caption, "2");
}

TEST_F(ModelTest, FolderWithoutMp3OrUnreadableGivesEmptyTotals) {
    PutUntagged("notes.txt");
    Open();
    EXPECT_THAT(Model.TrackList, IsEmpty());
    EXPECT_EQ(Model.NumFilesLabel.Caption, "0");
    EXPECT_EQ(Model.SizeFilesLabel.Caption, "0");
    EXPECT_EQ(Model.lblTotalTime.Caption, "00:00:00");
    EXPECT_EQ(Model.lblInputFolder.Caption, Dir.Path());
    EXPECT_EQ(Model.InfoFileName.Caption, "");
    EXPECT_EQ(Model.FilesListBox.ItemIndex, -1);

    Open(Dir.File("missing"));
    EXPECT_THAT(Port.Errors, IsEmpty());
    EXPECT_EQ(Model.lblInputFolder.Caption, Dir.File("missing"));
    EXPECT_EQ(Model.NumFilesLabel.Caption, "0");
}

TEST_F(ModelTest, CancelledDialogClearsEverythingButTheGenre) {
    PutTagged("a.mp3", {.Title = "T", .Artist = "A", .Album = "Al", .Track = 4, .Genre = 17});
    Open();
    ASSERT_EQ(Model.edTitle.Text, "T");
    ASSERT_EQ(Model.edGenre.Text, "Rock");
    Open("");
    EXPECT_EQ(Port.FolderDialogs, 2);
    EXPECT_THAT(Model.TrackList, IsEmpty());
    EXPECT_EQ(Model.InputFolder, "");
    EXPECT_EQ(Model.lblInputFolder.Caption, "");
    EXPECT_EQ(Model.InfoFileName.Caption, "");
    EXPECT_EQ(Model.CurrentFileSizeLabel.Caption, "0");
    EXPECT_THAT(Edits(), ElementsAre("", "", "", "", "", "0", "Rock"));
    EXPECT_EQ(Model.lblDuration.Caption, "");
    EXPECT_EQ(Model.lblTotalTime.Caption, "00:00:00");
    EXPECT_FALSE(Model.TagsModified);
    EXPECT_EQ(Model.StatusText, "");
}

TEST_F(ModelTest, FillShowsBusyStateAndEndsRestored) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        PutUntagged(name);
    bool sawScanState = false;
    bool sawTimePass = false;
    Port.OnProcessEvents = [&] {
        sawScanState = Model.BusyCursor && Model.StatusText ==
                                               "Создание списка файлов. Подсчет размера и "
                                               "времени. Подождите, пожалуйста...";
    };
    Port.OnRefresh = [&] {
        if (Model.ProgressTotal > 0) {
            sawTimePass = true;
            EXPECT_EQ(Model.ProgressTotal, 3);
            EXPECT_LE(Model.ProgressDone, 3);
            EXPECT_FALSE(Model.FilesListBox.Visible);
            EXPECT_TRUE(Model.BusyCursor);
        }
    };
    Open();
    EXPECT_TRUE(sawScanState);
    EXPECT_TRUE(sawTimePass);
    ExpectWindowRestored();
}

TEST_F(ModelTest, FillGoesOnPastUnreadableFilesAndNamesThemInOneMessage) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        PutUntagged(name);
    // Two files disappear while the folder is being scanned.
    Port.OnProcessEvents = [&] {
        std::remove(Dir.File("b.mp3").c_str());
        std::remove(Dir.File("d.mp3").c_str());
    };
    bool restoredBeforeTheMessage = false;
    Port.OnRefresh = [&] { restoredBeforeTheMessage = Model.FilesListBox.Visible; };
    Open();
    EXPECT_THAT(Port.Errors, IsEmpty());
    ASSERT_EQ(Port.Messages.size(), 1u);
    EXPECT_THAT(Port.Messages[0],
                StartsWith("Не удалось прочитать файлы (их время считается равным 0:00:00):\r"
                           "b.mp3: " +
                           CannotOpen(Dir.File("b.mp3"))));
    EXPECT_THAT(Port.Messages[0], HasSubstr("\rd.mp3: " + CannotOpen(Dir.File("d.mp3"))));
    EXPECT_TRUE(restoredBeforeTheMessage);
    // The count lists every found name; the time is that of the two files that could be read.
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "c.mp3", "d.mp3"));
    EXPECT_EQ(Model.NumFilesLabel.Caption, "4");
    EXPECT_EQ(Model.lblTotalTime.Caption, "0:00:20");
    ExpectWindowRestored();
    EXPECT_EQ(Model.lblInputFolder.Caption, Dir.Path());
    // The first file is current as after any fill.
    EXPECT_EQ(Model.InfoFileName.Caption, "a.mp3");

    // A failed file made current is not current, and nothing of a.mp3 stands in for it.
    Click(1);
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith(CannotOpen(Dir.File("b.mp3")))));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 1);
    EXPECT_EQ(Model.InfoFileName.Caption, "");
    EXPECT_EQ(Model.CurrentPath(), "");
    EXPECT_EQ(Model.lblDuration.Caption, "");

    // The window works on: the next open lists what is there, with no message.
    Port.OnProcessEvents = nullptr;
    Open();
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "c.mp3"));
    EXPECT_EQ(Model.lblTotalTime.Caption, "0:00:20");
    EXPECT_EQ(Port.Messages.size(), 1u);
}

// A refill (as after a batch) leaves the last file current, as if each file had been shown in
// turn: its texts, and a kept field emptied by any file without a tag on the way.
TEST_F(ModelTest, RefillLeavesTheLastFileShownAndKeptFieldsAsShowingEachWould) {
    for (const bool untaggedInTheMiddle : {false, true}) {
        SCOPED_TRACE(untaggedInTheMiddle);
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            std::remove(Dir.File(name).c_str());
        PutTagged("a.mp3", {.Title = "A", .Artist = "Artist A"});
        if (untaggedInTheMiddle)
            PutUntagged("b.mp3");
        else
            PutTagged("b.mp3", {.Title = "B", .Artist = "Artist B"});
        PutTagged("c.mp3", {.Title = "C", .Artist = "Artist C", .Genre = 17}, 20);
        PutTagged("d.mp3", {.Title = "D", .Artist = "Artist D", .Genre = 9}, 30);
        Open();
        Model.edTitle.Text = "Mine";
        Model.KeepName.Checked = true;
        Model.KeepClick(TTagField::Title);
        Model.Run([&] { Model.FileListFill(Dir.Path()); });
        EXPECT_EQ(Model.InfoFileName.Caption, "d.mp3");
        EXPECT_EQ(Model.edArtist.Text, "Artist D");
        EXPECT_EQ(Model.edGenre.Text, "Metal");
        EXPECT_EQ(Model.lblDuration.Caption, "0:00:30");
        EXPECT_EQ(Model.edTitle.Text, untaggedInTheMiddle ? "" : "Mine");
        EXPECT_FALSE(Model.TagsModified);
        Model.KeepName.Checked = false;
        Model.KeepClick(TTagField::Title);
    }
}

TEST_F(ModelTest, FillGoesOnPastAFileTheFileSystemCannotRead) {
    TFaultyFs fs;
    fs.FailReads.insert(Dir.File("b.mp3"));
    TMainModel model(Port, fs);
    model.FormCreate();
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        PutUntagged(name);
    Port.FolderAnswers.push_back(Dir.Path());
    model.Run([&] { model.FileMenuAddDirClick(); });
    EXPECT_THAT(Port.Errors, IsEmpty());
    EXPECT_THAT(Port.Messages,
                ElementsAre("Не удалось прочитать файлы (их время считается равным 0:00:00):\r"
                            "b.mp3: " +
                            CannotOpen(Dir.File("b.mp3")) + "Input/output error"));
    EXPECT_EQ(model.lblTotalTime.Caption, "0:00:20");
    EXPECT_EQ(model.NumFilesLabel.Caption, "3");
}

TEST_F(ModelTest, CommandsStartedWhileTheScanRunsAreRefused) {
    for (const char* name : {"a.mp3", "b.mp3"})
        PutUntagged(name);
    int refused = 0;
    Port.OnProcessEvents = [&] {
        EXPECT_TRUE(Model.Running());
        bool ran = false;
        Model.Run([&] {
            ran = true;
            Model.FileMenuNewClick();
        });
        if (!ran)
            ++refused;
    };
    Open();
    EXPECT_EQ(refused, 2);
    EXPECT_FALSE(Model.Running());
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3"));
    EXPECT_EQ(Model.InputFolder, Dir.Path());
    // Once the command is over, the next one runs.
    Port.OnProcessEvents = nullptr;
    Do(&TMainModel::FileMenuNewClick);
    EXPECT_THAT(Model.TrackList, IsEmpty());
}

TEST_F(ModelTest, ErrorInsideACommandReachesTheErrorReportAndRestoresTheWindow) {
    Model.FilesListBox.Visible = false;
    Model.BusyCursor = true;
    Model.StatusText = "busy";
    Model.UpdatingEdits = true;
    Model.ProgressTotal = 3;
    Model.Run([] { throw std::runtime_error("boom"); });
    EXPECT_THAT(Port.Errors, ElementsAre("boom"));
    ExpectWindowRestored();
    EXPECT_FALSE(Model.Running());
}

}  // namespace
}  // namespace velmora::test
