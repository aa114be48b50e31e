// The command line: stable output for a generated folder, the report flags, each command's help,
// the folder argument, and one rule for names between the list, the check and the image.
#include <filesystem>
#include <set>
#include <sstream>

#include "cli/CliCommand.h"
#include "cli/CliFolder.h"
#include "core/disc/IsoImage.h"
#include "tests/core/ModelTestKit.h"
#include "tools/GenFolder.h"

namespace velmora::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

TEST(CliFolder, PrintsTotalsAndNamesTheSameWayEveryRun) {
    TempDir dir;
    const auto paths = tools::GenerateFolder(dir.Path(), {.Count = 12, .Cyrillic = true});
    std::ostringstream first, second, err;
    EXPECT_EQ(ListFolder(dir.Path(), first, err), 0);
    EXPECT_EQ(ListFolder(dir.Path(), second, err), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(first.str(), second.str());
    const auto lines = Lines(first.str());
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

TEST(CliFolder, ReportModesTakeTheDialogOptionsAsFlags) {
    TempDir dir;
    TID3v1Fields tag{.Title = "Title", .Artist = "Artist", .Track = 2};
    WriteFile(dir.File("a.mp3"), Mp3Bytes(205, &tag));
    WriteFile(dir.File("b.mp3"), Mp3Bytes(7));

    TFileListReportOptions fileOptions;
    std::ostringstream err;
    ASSERT_TRUE(
        ParseFileListFlags({"--dir-to-all", "--ext", "--size=bytes", "--count"}, fileOptions, err));
    std::ostringstream out;
    EXPECT_EQ(PrintFileListReport(dir.Path(), fileOptions, "", out, err), 0);
    EXPECT_THAT(Lines(out.str()),
                ElementsAre("1 " + dir.File("a.mp3") + " 205128",
                            "2 " + dir.File("b.mp3") + " 7000", "Всего файлов: 2"));

    TTagListReportOptions tagOptions;
    ASSERT_TRUE(ParseTagListFlags(
        {"--fields=artist,Название,track", "--separator=/", "--time", "--no-count", "--total-time"},
        tagOptions, err));
    out.str("");
    EXPECT_EQ(PrintTagListReport(dir.Path(), tagOptions, "", out, err), 0);
    EXPECT_THAT(Lines(out.str()),
                ElementsAre("1 Artist/Title/2 3:25", "2 //0 0:07", "Время: 3:32"));

    EXPECT_FALSE(ParseFileListFlags({"--size=tb"}, fileOptions, err));
    EXPECT_FALSE(ParseTagListFlags({"--fields=title"}, tagOptions, err));  // already chosen
    EXPECT_THAT(err.str(), HasSubstr("--size=tb"));
}

struct TCliRun {
    int Status;
    std::string Out, Err;
};

TCliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, EachCommandHasItsOwnHelpAndInfoListsEveryKeyItPrints) {
    std::set<std::string> helps;
    for (const TCliCommand* command : CliCommands()) {
        const TCliRun run = Cli({command->Name, "--help"});
        EXPECT_EQ(run.Status, 0) << command->Name;
        EXPECT_EQ(run.Out.rfind(std::string("Usage: velmora-cli ") + command->Name, 0), 0u);
        helps.insert(command->Help);
    }
    EXPECT_EQ(helps.size(), CliCommands().size() - 1);  // plan and run share theirs
    const TCliRun all = Cli({"--help"});
    for (const TCliCommand* command : CliCommands()) {
        const std::string usage = command->Usage;
        EXPECT_THAT(all.Out, HasSubstr("velmora-cli " + usage.substr(0, usage.find('\n'))));
    }

    const TCliRun info =
        Cli({"info", std::string(VELMORA_TEST_DATA) + "/mpeg1-l3-cbr64-48k-stereo-id3v2.mp3"});
    ASSERT_EQ(info.Status, 0) << info.Err;
    for (const std::string& line : Lines(info.Out)) {
        const std::string key = line.substr(0, line.find(':'));
        if (key != "file") {
            EXPECT_THAT(kInfoCommand.Help, ::testing::ContainsRegex("[ ,]" + key + "[ ,\n]"));
        }
    }
}

TEST(Cli, AFolderThatCannotBeReadIsAUsageErrorOfEveryCommand) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), Mp3Bytes(1));
    for (const std::string& folder : {dir.File("none"), dir.File("a.mp3")}) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{"list", folder},
                                                     {"report", "files", folder},
                                                     {"report", "tags", folder},
                                                     {"plan", folder, "--translit"},
                                                     {"run", folder, "--translit"},
                                                     {"check", folder},
                                                     {"image", folder, dir.File("out.iso")}}) {
            const TCliRun run = Cli(args);
            SCOPED_TRACE(::testing::PrintToString(args));
            EXPECT_EQ(run.Status, 2);
            EXPECT_EQ(run.Out, "");
            EXPECT_THAT(Lines(run.Err), ::testing::SizeIs(1));
            EXPECT_THAT(run.Err, HasSubstr(folder + ": "));
        }
    }
    EXPECT_FALSE(fs::exists(dir.File("out.iso")));
    EXPECT_THAT(Cli({"bogus"}).Err, HasSubstr("нет команды «bogus»"));
    EXPECT_THAT(Cli({"list"}).Err, HasSubstr("velmora-cli list: нужна одна папка"));
}

TEST(Cli, TheListTheCheckAndTheImageTakeTheSameFiles) {
    TempDir dir;
    const std::vector<std::string> names = {"a.mp3", "bmp3", "c_mp3", "\xC5\xF9\xB8.mp3",
                                            "\xC5\xF9.mp3"};
    for (const std::string& name : names) {
        TMp3Builder b;
        b.Frames({}, 4).Bytes(names.size() + name.size(), 1).ID3v1({.Title = "T"});
        WriteFile(dir.File(name), b.Build());
    }
    const TCliRun list = Cli({"list", dir.Path()});
    EXPECT_THAT(list.Out, HasSubstr("NumFilesLabel: 5\n"));
    const TCliRun check = Cli({"check", dir.Path()});
    EXPECT_THAT(check.Out, ::testing::Not(HasSubstr("not-mp3")));
    EXPECT_THAT(check.Out, HasSubstr("problem\tbmp3\tno-extension\t"));
    EXPECT_THAT(check.Out, HasSubstr("файлов: 5,"));
    const TCliRun image = Cli({"image", dir.Path(), dir.File("disc.iso")});
    ASSERT_EQ(image.Status, 0) << image.Err;
    TIsoListing listing;
    ASSERT_EQ(ReadIsoImage(dir.File("disc.iso"), false, listing), "");
    std::set<std::string> onDisc;
    for (const auto& file : listing.Files)
        onDisc.insert(file.Path);
    // Numbered on the disc: "___.mp3" would sort after "__.mp3", the list has it first.
    EXPECT_THAT(onDisc, ::testing::ElementsAre("01_A.MP3", "02_BMP3.MP3", "03_C_MP3.MP3",
                                               "04___.MP3", "05____.MP3"));
}

}  // namespace
}  // namespace velmora::test
