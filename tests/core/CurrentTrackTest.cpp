// Making a file current: the unsaved-changes question and its answers, the change rule of the
// edits, the Keep boxes and the genre box.
#include <cstdio>

#include "core/text/Collation.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class CurrentTrackTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        PutTagged("a.mp3", {.Title = "Title A",
                            .Artist = "Artist A",
                            .Album = "Album A",
                            .Year = "1999",
                            .Comment = "Comment A",
                            .Track = 3,
                            .Genre = 17});
        PutTagged("b.mp3", {.Title = "Title B", .Artist = "Artist B", .Album = "Album B"});
        PutUntagged("c.mp3");
        Open();
        ASSERT_EQ(Model.InfoFileName.Caption, "a.mp3");
    }
};

TEST_F(CurrentTrackTest, EditsShowTheTagAndMovingWithoutChangesAsksNothing) {
    EXPECT_EQ(Model.lblId3Status.Caption, "Найдены теги ID3v1.1 tag");
    EXPECT_THAT(Edits(),
                ElementsAre("Title A", "Artist A", "Album A", "1999", "Comment A", "3", "Rock"));
    EXPECT_FALSE(Model.TagsModified);
    Click(1);
    Click(2);
    Click(0);
    EXPECT_THAT(Port.Questions, IsEmpty());
    EXPECT_EQ(Model.InfoFileName.Caption, "a.mp3");
}

TEST_F(CurrentTrackTest, OnlyADifferentTextIsAChange) {
    Edit(Model.edTitle, "Title A");
    EXPECT_FALSE(Model.TagsModified);
    EXPECT_FALSE(Model.InfoFileNameRed);
    Model.Run([&] {
        Model.SetTrackText("3");
        Model.SetGenreText("Rock");
    });
    EXPECT_FALSE(Model.TagsModified);

    Model.Run([&] { Model.SetGenreText("Polka"); });
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);
    EXPECT_EQ(Model.edGenre.Items[static_cast<size_t>(Model.edGenre.ItemIndex)].Code, 75);
    // Typed text that names no genre selects none.
    Model.Run([&] { Model.SetGenreText("Polkaa"); });
    EXPECT_EQ(Model.edGenre.ItemIndex, -1);
}

TEST_F(CurrentTrackTest, AnsweringNoDropsTheChange) {
    const std::string before = TagBytes("a.mp3");
    Edit(Model.edTitle, "Changed");
    Click(1);
    EXPECT_THAT(Port.Questions, ElementsAre(Question("a.mp3")));
    EXPECT_EQ(TagBytes("a.mp3"), before);
    EXPECT_EQ(Model.InfoFileName.Caption, "b.mp3");
    EXPECT_EQ(Model.edTitle.Text, "Title B");
    EXPECT_FALSE(Model.TagsModified);
    EXPECT_FALSE(Model.InfoFileNameRed);
}

TEST_F(CurrentTrackTest, AnsweringYesWritesEveryEditCutToItsWidth) {
    Edit(Model.edTitle, "Заголовок, который длиннее тридцати букв");
    Edit(Model.edYear, "20245");
    Edit(Model.edComment, "A comment that is longer than 28");
    Model.Run([&] { Model.SetGenreText("Polka"); });
    Port.YesNoAnswers.push_back(true);
    Click(2);
    ASSERT_THAT(Port.Questions, ElementsAre(Question("a.mp3")));
    const std::string tag = TagBytes("a.mp3");
    // Windows-1251 in the file, 30 characters of title.
    EXPECT_EQ(TagField(tag, 3, 30), Utf8ToCp1251("Заголовок, который длиннее три"));
    EXPECT_EQ(TagField(tag, 33, 30), "Artist A");
    EXPECT_EQ(TagField(tag, 63, 30), "Album A");
    EXPECT_EQ(TagField(tag, 93, 4), "2024");
    // The old tag carries a track number, so the comment keeps 28 characters.
    EXPECT_EQ(TagField(tag, 97, 28), "A comment that is longer tha");
    EXPECT_EQ(static_cast<uint8_t>(tag[126]), 3);
    EXPECT_EQ(static_cast<uint8_t>(tag[127]), 75);
    // The untagged file is shown, all cleared.
    EXPECT_EQ(Model.InfoFileName.Caption, "c.mp3");
    EXPECT_EQ(Model.lblId3Status.Caption, "ID3v1 теги не найдены.");
    EXPECT_EQ(Model.edTitle.Text, "");
    EXPECT_EQ(Model.edGenre.ItemIndex, -1);
}

TEST_F(CurrentTrackTest, YesWithoutAGenreEntryGivesAFileWithoutATagNoGenre) {
    // c.mp3 has no tag: nothing of a.mp3's tag (genre 17) may go into it.
    Click(2);
    ASSERT_EQ(Model.edGenre.ItemIndex, -1);
    Edit(Model.edTitle, "New");
    Port.YesNoAnswers.push_back(true);
    Click(1);
    const std::string tag = TagBytes("c.mp3");
    EXPECT_EQ(TagField(tag, 0, 3), "TAG");
    EXPECT_EQ(TagField(tag, 3, 30), "New");
    EXPECT_EQ(static_cast<uint8_t>(tag[127]), 255);
}

TEST_F(CurrentTrackTest, FailedWriteOnYesKeepsThePreviousFileAndAsksAgain) {
    std::remove(Dir.File("a.mp3").c_str());
    Edit(Model.edTitle, "Changed");
    Port.YesNoAnswers.push_back(true);
    Click(1);
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith(CannotOpen(Dir.File("a.mp3")))));
    EXPECT_EQ(Model.InfoFileName.Caption, "a.mp3");
    EXPECT_EQ(Model.edTitle.Text, "Changed");
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);
    Click(1);
    EXPECT_EQ(Port.Questions.size(), 2u);
    EXPECT_EQ(Model.InfoFileName.Caption, "b.mp3");
}

TEST_F(CurrentTrackTest, FailedAnalysisLeavesNoTrackCurrentSoNoSaveCanHitAnotherFile) {
    Tick(Model.KeepAlbum);
    std::remove(Dir.File("b.mp3").c_str());
    Click(1);
    ASSERT_EQ(Port.Errors.size(), 1u);
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 1);
    EXPECT_EQ(Model.InfoFileName.Caption, "");
    EXPECT_EQ(Model.CurrentFileSizeLabel.Caption, "0");
    // Only the album, kept by the user for the next file, stays.
    EXPECT_THAT(Edits(), ElementsAre("", "", "Album A", "", "", "0", ""));
    EXPECT_EQ(Model.lblId3Status.Caption, "");
    EXPECT_FALSE(Model.TagsModified);

    const std::string aBefore = TagBytes("a.mp3");
    Edit(Model.edTitle, "Typed");
    Do(&TMainModel::btnSaveID3Click);
    Port.DefaultYesNo = true;
    Click(2);
    EXPECT_EQ(TagBytes("a.mp3"), aBefore);
    EXPECT_EQ(ReadFile(Dir.File("c.mp3")).size(), 10000u);
    EXPECT_EQ(Port.Errors.size(), 1u);
    EXPECT_EQ(Model.InfoFileName.Caption, "c.mp3");
}

TEST_F(CurrentTrackTest, KeepBoxesHoldTaggedValuesButNotAgainstAFileWithoutTag) {
    Tick(Model.KeepAlbum);
    Tick(Model.KeepGanre);
    EXPECT_FALSE(Model.edAlbum.Enabled);
    EXPECT_FALSE(Model.edGenre.Enabled);
    EXPECT_TRUE(Model.edTitle.Enabled);
    Click(1);
    EXPECT_EQ(Model.edTitle.Text, "Title B");
    EXPECT_EQ(Model.edAlbum.Text, "Album A");
    EXPECT_EQ(Model.edGenre.Text, "Rock");
    EXPECT_FALSE(Model.TagsModified);
    Click(2);
    EXPECT_EQ(Model.edAlbum.Text, "");
    EXPECT_EQ(Model.edGenre.ItemIndex, -1);
    EXPECT_EQ(Model.edTrack.Text, "0");
    Tick(Model.KeepAlbum, false);
    EXPECT_TRUE(Model.edAlbum.Enabled);
}

TEST_F(CurrentTrackTest, GenreBoxIsInAlphabeticalOrderAndUnknownCodesSelectNothing) {
    const auto& items = Model.edGenre.Items;
    ASSERT_EQ(items.size(), 148u);
    const TCollator& collator = UserCollator();
    for (size_t i = 1; i < items.size(); ++i) {
        EXPECT_FALSE(collator.Less(items[i].Name, items[i - 1].Name)) << items[i].Name;
    }
    EXPECT_EQ(items.front().Name, "Acapella");
    Model.Run([&] { Model.SelectGenre(200); });
    EXPECT_EQ(Model.edGenre.ItemIndex, -1);
    EXPECT_EQ(Model.edGenre.Text, "");
    Model.Run([&] { Model.SelectGenre(147); });
    EXPECT_EQ(Model.edGenre.Text, "Synthpop");
}

}  // namespace
}  // namespace velmora::test
