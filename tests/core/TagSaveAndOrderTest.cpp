// Saving the tag of the current track, and the four order commands of the list.
#include <algorithm>
#include <cstdio>

#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TEST_F(ModelTest, SaveAppendsATagOnceAndReadsItBack) {
    PutUntagged("a.mp3");
    Open();
    Model.Run([&] {
        Model.SetEditText(Model.edTitle, "Song");
        Model.SetTrackText("0");
    });
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_THAT(Port.Errors, IsEmpty());
    EXPECT_EQ(ReadFile(Dir.File("a.mp3")).size(), 10000u + 128u);
    EXPECT_EQ(Field("a.mp3", 3, 30), "Song");
    EXPECT_EQ(Model.edTitle.Text, "Song");
    EXPECT_EQ(Model.lblId3Status.Caption, "Найдены теги ID3v1 tag");
    // No genre entry was selected and the file had no tag: the new tag has no genre.
    EXPECT_EQ(Model.edGenre.Text, "");
    EXPECT_FALSE(Model.TagsModified);
    // A second save with edits that all fit rewrites the tag in place and changes nothing.
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_EQ(ReadFile(Dir.File("a.mp3")).size(), 10000u + 128u);
    EXPECT_FALSE(Model.TagsModified);
    EXPECT_FALSE(Model.InfoFileNameRed);
}

TEST_F(ModelTest, SaveThatCutsAnEditTurnsTheNameRedAgain) {
    PutTagged("a.mp3", {.Title = "Old", .Track = 1, .Genre = 200});
    PutUntagged("b.mp3");
    Open();
    const std::string longTitle(45, 'x');
    Model.Run([&] {
        Model.SetEditText(Model.edTitle, longTitle);
        Model.SetTrackText("7");
    });
    Do(&TMainModel::btnSaveID3Click);
    const std::string tag = TagBytes("a.mp3");
    EXPECT_EQ(TagField(tag, 3, 30), std::string(30, 'x'));
    EXPECT_EQ(static_cast<uint8_t>(tag[126]), 7);
    // No genre entry was selected (code 200 has no name): the byte stays as it was read.
    EXPECT_EQ(static_cast<uint8_t>(tag[127]), 200);
    EXPECT_EQ(Model.edTitle.Text, std::string(30, 'x'));
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);
    Click(1);
    EXPECT_THAT(Port.Questions, ElementsAre(Question("a.mp3")));
}

TEST_F(ModelTest, SaveWithAKeptTitleStillWritesTheEdit) {
    PutTagged("a.mp3", {.Title = "First"});
    PutTagged("b.mp3", {.Title = "Second"});
    Open();
    Tick(Model.KeepName);
    Click(1);
    ASSERT_EQ(Model.edTitle.Text, "First");
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_EQ(Field("b.mp3", 3, 30), "First");
    EXPECT_FALSE(Model.TagsModified);
}

TEST_F(ModelTest, SaveWithoutACurrentTrackOrOnAVanishedFile) {
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_THAT(Port.Errors, IsEmpty());

    PutUntagged("a.mp3");
    Open();
    Edit(Model.edTitle, "New");
    std::remove(Dir.File("a.mp3").c_str());
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_THAT(Port.Errors, ElementsAre(StartsWith(CannotOpen(Dir.File("a.mp3")))));
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);
}

class OrderTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            PutUntagged(name);
        Open();
    }
};

TEST_F(OrderTest, MovesSwapNeighboursAndKeepTheCurrentTrack) {
    Click(3);
    Edit(Model.edTitle, "edited");
    Do(&TMainModel::bt_UpClick);
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "d.mp3", "c.mp3"));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 2);
    EXPECT_EQ(Model.InfoFileName.Caption, "d.mp3");
    EXPECT_TRUE(Model.TagsModified);
    Do(&TMainModel::BitBtn1Click);
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "c.mp3", "d.mp3"));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 3);
    // Out-of-range moves change nothing.
    Do(&TMainModel::BitBtn1Click);
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 3);
    Model.SelectTrack(0);
    Do(&TMainModel::bt_UpClick);
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "c.mp3", "d.mp3"));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 0);
    EXPECT_THAT(Port.Questions, IsEmpty());
}

TEST_F(ModelTest, SortIgnoresCaseAndKeepsThePositionAndTheCurrentTrack) {
    for (const char* name : {"B.mp3", "a.mp3", "C.mp3"})
        PutUntagged(name);
    Open();
    Model.TrackList = {"B.mp3", "a.mp3", "C.mp3"};
    Click(0);
    ASSERT_EQ(Model.InfoFileName.Caption, "B.mp3");
    Do(&TMainModel::BitBtn2Click);
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "B.mp3", "C.mp3"));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 0);
    EXPECT_EQ(Model.InfoFileName.Caption, "B.mp3");
}

TEST_F(OrderTest, ShuffleDrawsFromTheSeededGeneratorAndShowsTheFirst) {
    Model.SeedSource = [] { return 12345u; };
    Click(2);
    Edit(Model.edTitle, "edited");
    Do(&TMainModel::btMixClick);
    EXPECT_THAT(Model.TrackList, ElementsAre("d.mp3", "b.mp3", "a.mp3", "c.mp3"));
    EXPECT_EQ(Model.FilesListBox.ItemIndex, 0);
    EXPECT_EQ(Model.InfoFileName.Caption, "d.mp3");
    // The question concerns the file that was current before the shuffle.
    EXPECT_THAT(Port.Questions, ElementsAre(Question("c.mp3")));

    // Seed 0 happens to keep the order; every name stays exactly once whatever the seed.
    Model.SeedSource = [] { return 0u; };
    Model.TrackList = {"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
    Do(&TMainModel::btMixClick);
    EXPECT_THAT(Model.TrackList, ElementsAre("a.mp3", "b.mp3", "c.mp3", "d.mp3"));
    for (uint32_t seed = 1; seed < 50; ++seed) {
        Model.SeedSource = [seed] { return seed * 2654435761u; };
        Do(&TMainModel::btMixClick);
        std::vector<std::string> sorted = Model.TrackList;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_THAT(sorted, ElementsAre("a.mp3", "b.mp3", "c.mp3", "d.mp3"));
    }
}

TEST_F(ModelTest, ShuffleOfOneNameDoesNothing) {
    PutUntagged("only.mp3");
    Open();
    Edit(Model.edTitle, "edited");
    Do(&TMainModel::btMixClick);
    EXPECT_THAT(Port.Questions, IsEmpty());
    EXPECT_EQ(Model.edTitle.Text, "edited");
}

}  // namespace
}  // namespace velmora::test
