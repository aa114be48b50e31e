// Tags from file names: the common shapes and the user's pattern, and the batch filling only the
// fields no tag gives.
#include <sstream>

#include "cli/CliBatch.h"
#include "cli/CliCommand.h"
#include "core/tags/NameTags.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

TEST(NameTags, TheCommonShapesAndPatternsGiveTrackArtistAndTitle) {
    struct TCase {
        const char* Stem;
        const char* Pattern;
        const char* Tags;  // "track|artist|title|album|year", or "-" for nothing
    };
    const TCase cases[] = {
        {"01 - Кино - Звезда по имени Солнце", "", "1|Кино|Звезда по имени Солнце||"},
        {"07. ДДТ - Осень", "", "7|ДДТ|Осень||"},
        {"Scorpions - Still Loving You", "", "|Scorpions|Still Loving You||"},
        {"03 - Still Loving You", "", "3||Still Loving You||"},
        {"12 Song", "", "12||Song||"},
        {"01_-_Artist_-_Title__Live", "", "1|Artist|Title Live||"},
        {"Artist - Title - Remix", "", "|Artist|Title - Remix||"},
        {"1999 - Year Is Not A Track", "", "|1999|Year Is Not A Track||"},
        {"Intro", "", "||Intro||"},
        {"-", "", "-"},
        {"_", "", "-"},
        {"03 - -", "", "3||||"},
        {"03 - Band - Song", "%n - %a - %t", "3|Band|Song||"},
        {"Song (Band)", "%t (%a)", "|Band|Song||"},
        {"1999_Album_05_Song", "%y_%b_%n_%t", "5||Song|Album|1999"},
        {"Band - Song", "%n - %a - %t", "-"},
        {"x3 - Band", "%n - %a", "-"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Stem);
        const auto tags = TagsFromName(c.Stem, c.Pattern);
        const std::string got = tags ? tags->Track + "|" + tags->Artist + "|" + tags->Title + "|" +
                                           tags->Album + "|" + tags->Year
                                     : "-";
        EXPECT_EQ(got, c.Tags);
    }
    for (const auto& [pattern, why] : std::vector<std::pair<std::string, std::string>>{
             {"%n - %a - %t", ""},
             {"%a%t", "между полями образца нужен разделитель"},
             {"%t - %t", "поле «%t» в образце дважды"},
             {"%x", "в образце неизвестное поле «%x»: есть %n, %a, %t, %b, %y"},
             {"%", "в образце неизвестное поле «%»: есть %n, %a, %t, %b, %y"},
             {"100%%", "в образце нет ни одного поля (%n, %a, %t, %b, %y)"}})
        EXPECT_EQ(CheckNamePattern(pattern), why) << pattern;
}

TEST(NameTags, TheBatchFillsOnlyTheFieldsNoTagGivesAndSaysWhatEachFileGot) {
    TempDir dir;
    WriteFile(dir.File("01 - Кино - Звезда.mp3"), Mp3Bytes(2));
    const TID3v1Fields tagged{.Title = "Own"};
    WriteFile(dir.File("02 - Band - Song.mp3"), Mp3Bytes(2, &tagged));
    WriteFile(dir.File("-.mp3"), Mp3Bytes(2));
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"run", dir.Path(), "--from-name"}, out, err), 0) << err.str();
    EXPECT_THAT(out.str(),
                ::testing::HasSubstr("Теги из имени: 01 - Кино - Звезда.mp3: Название «Звезда», "
                                     "Исполнитель «Кино», № трека «1»\n"));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("Теги из имени: 02 - Band - Song.mp3: "
                                                "Исполнитель «Band», № трека «2»\n"));
    EXPECT_THAT(out.str(),
                ::testing::HasSubstr("Предупреждение: -.mp3: в имени файла нет ни названия, ни "
                                     "исполнителя\n"));
    TAudioInfo info;
    info.LoadFromFile(dir.File("01 - Кино - Звезда.mp3"));
    EXPECT_EQ(Cp1251ToUtf8(info.ID3v1.Title) + "/" + Cp1251ToUtf8(info.ID3v1.Artist),
              "Звезда/Кино");
    EXPECT_EQ(info.ID3v1.Track, 1);
    info.LoadFromFile(dir.File("02 - Band - Song.mp3"));
    EXPECT_EQ(info.ID3v1.Title + "/" + info.ID3v1.Artist, "Own/Band");
    // A pattern that cannot read names is refused before anything is touched.
    std::ostringstream bad, badErr;
    EXPECT_EQ(RunCli({"run", dir.Path(), "--from-name=%a%t"}, bad, badErr), 2);
    EXPECT_THAT(badErr.str(),
                ::testing::HasSubstr("--from-name: между полями образца нужен разделитель"));
}

TEST(NameTags, TwoFilesNamedAlikeFailAsLinesWithoutCarriageReturns) {
    TempDir dir;
    WriteFile(dir.File("01 - A - Same.mp3"), Mp3Bytes(2));
    WriteFile(dir.File("02 - B - Same.mp3"), Mp3Bytes(2));
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"run", dir.Path(), "--from-name", "--rename"}, out, err), 1);
    EXPECT_EQ(err.str().find('\r'), std::string::npos);
    EXPECT_THAT(err.str(),
                ::testing::HasSubstr("Ошибка переименования/перемещения.\nИсходный файл:"));
}

}  // namespace
}  // namespace velmora::test
