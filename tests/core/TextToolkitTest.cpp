// Walking UTF-8 text that may hold stray bytes (legacy file names keep their exact bytes), and
// the names built on it: the report line and the folder named after a file agree.
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

TEST(TextToolkit, CharactersOfTextWithStrayBytesCyrillicAndFourByteCharacters) {
    struct TCase {
        std::string Text;
        size_t Length;
        std::string First;
        std::string WithoutLastFour;
    };
    const std::string legacy = "\xC5\xF9\xB8";  // "Ещё" in Windows-1251: three stray bytes
    const TCase cases[] = {
        {"", 0, "", ""},
        {"abc", 3, "a", ""},
        {"Song.mp3", 8, "S", "Song"},
        {"Песня.mp3", 9, "П", "Песня"},
        {"Пес", 3, "П", ""},
        {"\xF0\x9F\x8E\xB5.mp3", 5, "\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},  // a 4-byte note
        {legacy + "mp3", 6, "\xC5", "\xC5\xF9"},
        {legacy + ".mp3", 7, "\xC5", legacy},
        {"\xB8"
         "abcd",
         5, "\xB8", "\xB8"},        // a lone continuation byte
        {"x\xE0\x80", 3, "x", ""},  // a cut-off sequence
        {"\xC0\xAF"
         "ab",
         4, "\xC0", ""},  // overlong "/"
        {"\xED\xA0\x80"
         "abcd",
         7, "\xED", "\xED\xA0\x80"},          // a surrogate is three bytes
        {"\xF4\x90\x80\x80", 4, "\xF4", ""},  // past U+10FFFF
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Utf8Length(c.Text), c.Length);
        EXPECT_EQ(Utf8First(c.Text), c.First);
        EXPECT_EQ(Utf8DropLast(c.Text, 4), c.WithoutLastFour);
        EXPECT_EQ(FolderNameOfFile(c.Text), c.WithoutLastFour);
        size_t steps = 0;
        for (size_t i = 0; i < c.Text.size(); i += Utf8CharLength(c.Text, i))
            ++steps;
        EXPECT_EQ(steps, c.Length);
    }
}

TEST_F(ModelTest, ALegacyNameGivesTheSameNameToItsFolderAndItsReportLine) {
    const std::string name = "\xC5\xF9\xB8mp3";
    PutUntagged(name);
    Open();
    EXPECT_THAT(BuildFileListReport(Model.Fs, Model.TrackList, Model.InputFolder, "", {}),
                ::testing::ElementsAre("1 \xC5\xF9"));
    Tick(Model.rbFileName);
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_TRUE(fs::exists(Dir.File("\xC5\xF9/" + name)));
}

}  // namespace
}  // namespace velmora::test
