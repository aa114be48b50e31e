// The probe's folder modes: stable output for a generated folder, and the report flags.
#include <sstream>

#include "cli/CliFolder.h"
#include "tests/core/ModelTestKit.h"
#include "tools/GenFolder.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(ProbeFolder, PrintsTotalsAndNamesTheSameWayEveryRun) {
    TempDir dir;
    const auto paths = tools::GenerateFolder(dir.Path(), {.Count = 12, .Cyrillic = true});
    std::ostringstream first, second, err;
    EXPECT_EQ(ProbeFolder(dir.Path(), first, err), 0);
    EXPECT_EQ(ProbeFolder(dir.Path(), second, err), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(first.str(), second.str());
    const auto lines = SplitLines(first.str());
    ASSERT_EQ(lines.size(), 3u + 12u);
    EXPECT_EQ(lines[0], "NumFilesLabel: 12");
    EXPECT_EQ(lines[1].rfind("SizeFilesLabel: ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("lblTotalTime: ", 0), 0u);
    EXPECT_NE(lines[2], "lblTotalTime: 00:00:00");
    // The generator numbers its names from 001, so the fixed order is the generated one.
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(dir.File(lines[3 + i]), paths[i]);
    }
}

TEST(ProbeFolder, ReportModesTakeTheDialogOptionsAsFlags) {
    TempDir dir;
    TID3v1Fields tag{.Title = "Title", .Artist = "Artist", .Track = 2};
    WriteFile(dir.File("a.mp3"), Mp3Bytes(205, &tag));
    WriteFile(dir.File("b.mp3"), Mp3Bytes(7));

    TFileListReportOptions fileOptions;
    std::ostringstream err;
    ASSERT_TRUE(
        ParseFileListFlags({"--dir-to-all", "--ext", "--size=bytes", "--count"}, fileOptions, err));
    std::ostringstream out;
    EXPECT_EQ(ProbeFileListReport(dir.Path(), fileOptions, "", out, err), 0);
    EXPECT_THAT(SplitLines(out.str()),
                ElementsAre("1 " + dir.File("a.mp3") + " 205128",
                            "2 " + dir.File("b.mp3") + " 7000", "Всего файлов: 2"));

    TTagListReportOptions tagOptions;
    ASSERT_TRUE(ParseTagListFlags(
        {"--fields=artist,Название,track", "--separator=/", "--time", "--no-count", "--total-time"},
        tagOptions, err));
    out.str("");
    EXPECT_EQ(ProbeTagListReport(dir.Path(), tagOptions, "", out, err), 0);
    EXPECT_THAT(SplitLines(out.str()),
                ElementsAre("1 Artist/Title/2 3:25", "2 //0 0:07", "Время: 3:32"));

    EXPECT_FALSE(ParseFileListFlags({"--size=tb"}, fileOptions, err));
    EXPECT_FALSE(ParseTagListFlags({"--fields=title"}, tagOptions, err));  // already chosen
    EXPECT_THAT(err.str(), HasSubstr("--size=tb"));
}

}  // namespace
}  // namespace velmora::test
