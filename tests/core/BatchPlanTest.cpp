// The pretending file system, the batch plan against the run on the same folder, and the command
// line's batch with its usage errors.
#include <random>
#include <sstream>

#include "cli/CliBatch.h"
#include "core/files/PretendFileSystem.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Every file under a folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string& name : FilesUnder(folder))
        files[name] = ReadFile(folder + "/" + name);
    return files;
}

TEST(PretendFileSystem, ReadsSeePlannedFoldersMovesAndTagsWhileTheDiskStaysAsItWas) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), Mp3Bytes(2));
    const auto before = Snapshot(dir.Path());
    TPretendFileSystem plan;
    EXPECT_EQ(plan.MoveFile(dir.File("a.mp3"), dir.File("D001/a.mp3")).Error, ENOENT);
    EXPECT_TRUE(plan.CreateDir(dir.File("D001")).Ok);
    EXPECT_EQ(plan.CreateDir(dir.File("D001")).Error, EEXIST);
    EXPECT_FALSE(plan.CreateDir(dir.File("a.mp3")).Ok);
    EXPECT_TRUE(plan.MoveFile(dir.File("a.mp3"), dir.File("D001//a.mp3")).Ok);
    EXPECT_FALSE(plan.FileExists(dir.File("a.mp3")));
    EXPECT_TRUE(plan.FileExists(dir.File("D001/a.mp3")));
    EXPECT_EQ(plan.MoveFile(dir.File("a.mp3"), dir.File("b.mp3")).Error, ENOENT);
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(plan.ListDir(dir.Path() + "/", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "D001");
    EXPECT_EQ(entries[0].Type, TDirEntry::Kind::Directory);
    ASSERT_TRUE(plan.ListDir(dir.File("D001"), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "a.mp3");
    // A planned tag is what the read-back and the analysis see; the move carries it.
    TID3v1Tag tag;
    tag.SetField(fkTitle, "Song");
    const int64_t size = plan.EntrySize(dir.File("D001/a.mp3"));
    TFileIdentity identity;
    plan.SaveID3v1(dir.File("D001/a.mp3"), tag, identity);
    EXPECT_EQ(plan.EntrySize(dir.File("D001/a.mp3")), size + 128);
    TID3v1Tag back;
    plan.LoadID3v1(dir.File("D001/a.mp3"), back);
    EXPECT_TRUE(back.Exists);
    EXPECT_EQ(back.Title, "Song");
    EXPECT_TRUE(plan.MoveFile(dir.File("D001/a.mp3"), dir.File("b.mp3")).Ok);
    TAudioInfo info;
    plan.LoadAudioInfo(dir.File("b.mp3"), info);
    EXPECT_EQ(info.ID3v1.Title, "Song");
    EXPECT_EQ(info.Duration, 2000);
    EXPECT_EQ(plan.MoveFile(dir.File("b.mp3"), dir.File("D001")).Error, EEXIST);
    EXPECT_EQ(plan.MoveFile(dir.File("b.mp3"), dir.File("x/b.mp3")).Error, ENOENT);
    EXPECT_EQ(plan.MoveFile(dir.File("b.mp3"), dir.File(std::string(256, 'n'))).Error,
              ENAMETOOLONG);
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

// A folder of random files: Cyrillic, Latin and empty tags, untagged files, titles given twice,
// and numbered folders left from an earlier run.
void RandomFolder(const std::string& folder, std::mt19937& rng) {
    const char* titles[] = {"Песня", "Song", "", "Эхо", "Song", "Ночь/День"};
    const char* artists[] = {"Группа", "Band", ""};
    const int files = 1 + static_cast<int>(rng() % 7);
    for (int i = 0; i < files; ++i) {
        const std::string name = std::to_string(i) + (rng() % 2 ? " Трек.mp3" : " track.mp3");
        if (rng() % 4 == 0) {
            WriteFile(folder + "/" + name, Mp3Bytes(1));
            continue;
        }
        TID3v1Fields tag;
        tag.Title = Utf8ToCp1251(titles[rng() % std::size(titles)]);
        tag.Artist = Utf8ToCp1251(artists[rng() % std::size(artists)]);
        tag.Track = static_cast<int>(rng() % 3);
        WriteFile(folder + "/" + name, Mp3Bytes(1, &tag));
    }
    if (rng() % 3 == 0)
        fs::create_directory(folder + "/D002");
}

TBatchOptions RandomOptions(std::mt19937& rng) {
    const std::vector<TNameParts> parts = {{.Title = true},
                                           {.Artist = true, .Title = true},
                                           {.Track = true, .Artist = true, .Title = true},
                                           {.Track = true}};
    TBatchOptions o;
    o.Translit = rng() % 2;
    if (rng() % 3 == 0)
        o.Merge = parts[rng() % parts.size()];
    if (rng() % 2)
        o.Rename = parts[rng() % parts.size()];
    if (rng() % 2)
        o.Numbered = rng() % 3 != 0;
    o.AtOnce = o.Rename && o.Numbered && rng() % 2;
    if (rng() % 3 == 0)
        o.FirstNumber = rng() % 2 ? 1 : 252;
    if (rng() % 4 == 0)
        o.Set.emplace_back(TTagField::Album, "Альбом");
    if (!o.Translit && !o.Merge && !o.Rename && !o.Numbered)
        o.Translit = true;
    return o;
}

TEST(BatchPlan, ThePlanIsWhatTheRunThenDoesOnRandomFoldersAndOptions) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        RandomFolder(dir.Path(), rng);
        const TBatchOptions options = RandomOptions(rng);
        const auto before = Snapshot(dir.Path());
        std::ostringstream plan, run, err;
        PlanOrRunBatch(dir.Path(), options, false, true, plan, err);
        ASSERT_EQ(Snapshot(dir.Path()), before) << "the plan changed the disk";
        PlanOrRunBatch(dir.Path(), options, true, true, run, err);
        ASSERT_EQ(plan.str(), run.str());

        // The disk matches the lines: saved blocks end the files they were written to, wherever
        // the moves took them; a file passed over or failed stays where it was; nothing is lost.
        std::map<std::string, std::string> at;  // original name -> where it is now
        for (const auto& [name, bytes] : before)
            at[name] = name;
        std::map<std::string, std::string> block;  // original name -> last block written
        for (const std::string& line : Lines(run.str())) {
            std::vector<std::string> col;
            std::istringstream cols(line);
            for (std::string c; std::getline(cols, c, '\t');)
                col.push_back(c);
            ASSERT_EQ(col.size(), 4u) << line;
            const auto origin = std::find_if(at.begin(), at.end(),
                                             [&](const auto& kv) { return kv.second == col[1]; });
            if (col[0] == "move") {
                ASSERT_NE(origin, at.end()) << line;
                origin->second = col[2];
            } else if (col[0] == "save") {
                ASSERT_NE(origin, at.end()) << line;
                block[origin->first] = col[3];
            } else if (col[0] == "fail" || col[0] == "skip") {
                EXPECT_NE(origin, at.end()) << line;  // it stays where it is (for now)
            }
        }
        const auto after = Snapshot(dir.Path());
        EXPECT_EQ(after.size(), before.size());
        for (const auto& [name, now] : at) {
            ASSERT_EQ(after.count(now), 1u) << name << " -> " << now;
            const auto& bytes = after.at(now);
            if (block.count(name) == 0) {
                EXPECT_EQ(bytes, before.at(name));
                continue;
            }
            std::string hex;
            for (size_t k = bytes.size() - 128; k < bytes.size(); ++k) {
                static constexpr char kHex[] = "0123456789abcdef";
                hex += kHex[bytes[k] >> 4];
                hex += kHex[bytes[k] & 15];
            }
            EXPECT_EQ(hex, block[name]);
        }
    }
}

TEST(BatchPlan, LinesTellWarningsSkipsAndFailuresInTheOrderTheBatchActs) {
    TempDir dir;
    TID3v1Fields song{.Title = "Song"};
    WriteFile(dir.File("1.mp3"), Mp3Bytes(1, &song));
    WriteFile(dir.File("2.mp3"), Mp3Bytes(1, &song));
    WriteFile(dir.File("3.mp3"), Mp3Bytes(1));
    fs::create_directory(dir.File("D003"));
    TBatchOptions o;
    o.Rename = TNameParts{.Title = true};
    o.Numbered = true;
    o.AtOnce = true;
    std::ostringstream out, err;
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, false, true, out, err), 0);
    EXPECT_THAT(Lines(out.str()),
                ElementsAre("mkdir\tD001\t-\t-", "move\t1.mp3\tD001/Song.mp3\t-",
                            "warn\t2.mp3\t-\tновое имя «Song.mp3» получает уже второй файл",
                            "mkdir\tD002\t-\t-", "move\t2.mp3\tD002/Song.mp3\t-",
                            "warn\t3.mp3\t-\tновое имя «.mp3» начинается с точки (файл стал бы "
                            "скрытым): имя оставлено",
                            "skip\t3.mp3\t-\tпапку D003 создать нельзя (она уже есть)"));
    o.AtOnce = false;
    o.Numbered.reset();
    out.str("");
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, true, true, out, err), 1);
    EXPECT_THAT(Lines(out.str()),
                ElementsAre("move\t1.mp3\tSong.mp3\t-",
                            "warn\t2.mp3\t-\tновое имя «Song.mp3» получает уже второй файл",
                            "fail\t2.mp3\tSong.mp3\tфайл с таким именем уже есть",
                            "warn\t3.mp3\t-\tновое имя «.mp3» начинается с точки (файл стал бы "
                            "скрытым): имя оставлено"));
    EXPECT_THAT(err.str(), ::testing::HasSubstr("Ошибка переименования/перемещения."));
}

TEST(BatchPlan, TheSummaryCountsEachMoveOnceByWhatItDoesAndTheLinesSayWhatIsWritten) {
    const auto move = [](const char* from, const char* to) {
        return TBatchEvent{TBatchEvent::TKind::Move, std::string("/m/") + from,
                           std::string("/m/") + to, ""};
    };
    const TBatchEvent mkdir{TBatchEvent::TKind::Mkdir, "/m/D001", "", ""};
    const struct {
        TBatchLog Log;
        const char* Summary;
    } cases[] = {
        {{},
         "Записано тегов: 0, переименовано: 0, перемещено в папки: 0; не сделано: 0; "
         "предупреждений: 0"},
        {{move("a.mp3", "A.mp3")},
         "Записано тегов: 0, переименовано: 1; не сделано: 0; предупреждений: 0"},
        {{mkdir, move("a.mp3", "D001/a.mp3")},
         "Записано тегов: 0, перемещено в папки D001: 1; не сделано: 0; предупреждений: 0"},
        {{mkdir, move("a.mp3", "D001/A.mp3"), move("b.mp3", "B.mp3")},
         "Записано тегов: 0, переименовано: 1, переименовано и перемещено в папки D001: 1; не "
         "сделано: 0; предупреждений: 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BatchSummary(c.Log, true), c.Summary);
    // A save shows the title and artist it writes; an empty one says so; a strip its size.
    TID3v1Tag tag;
    tag.SetField(fkTitle, Utf8ToCp1251("Звезда"));
    tag.SetField(fkArtist, "DDT");
    EXPECT_EQ(
        BatchEventWhat({TBatchEvent::TKind::Save, "/m/a.mp3", "", SaveEventDetail(tag)}, "/m"),
        "«Звезда» — «DDT»");
    EXPECT_EQ(
        FormatBatchEvent({TBatchEvent::TKind::Save, "/m/a.mp3", "", SaveEventDetail(TID3v1Tag())},
                         "/m", false),
        "Запись тега: a.mp3 (пустой тег)");
    EXPECT_EQ(BatchEventWhat({TBatchEvent::TKind::Strip, "/m/a.mp3", "", "491520"}, "/m"),
              "480,0 КБ");
}

TEST_F(ModelTest, TheWindowsBatchShowsThePlanFirstAndCancelChangesNothing) {
    PutTitled({{"a.mp3", "One"}, {"b.mp3", "Two"}});
    Open();
    Edit(Model.edAlbum, "Changed");  // unsaved: asked once, before the plan
    Tick(Model.cbAllFilesRename);
    Port.PlanAnswers = {false};
    Do(&TMainModel::ProcessAllWithPlan);
    EXPECT_THAT(Port.Questions, ::testing::SizeIs(1));
    ASSERT_THAT(Port.Plans, ::testing::SizeIs(1));
    EXPECT_EQ(Port.Plans[0].size(), 2u);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("a.mp3", "b.mp3"));
    EXPECT_TRUE(Model.cbAllFilesRename.Checked);
    EXPECT_THAT(Port.Done, ::testing::IsEmpty());

    Do(&TMainModel::ConvertMenuProcessAll);
    EXPECT_THAT(FilesUnder(Dir.Path()), ElementsAre("One.mp3", "Two.mp3"));
    ASSERT_THAT(Port.Done, ::testing::SizeIs(1));
    EXPECT_EQ(BatchSummary(Port.Done[0], true), BatchSummary(Port.Plans[1], true));
    EXPECT_FALSE(Model.cbAllFilesRename.Checked);
}

TEST(BatchPlan, UsageErrorsNameTheProblemAndTouchNothing) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), Mp3Bytes(1));
    const auto before = Snapshot(dir.Path());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus"},
        {"--translit", "--table"},
        {"--merge=track,nothing"},
        {"--rename", "--replace", "ab"},
        {"--merge", "--separator", "four"},
        {"--folders=numbered", "--first-number", "254"},
        {"--folders=numbered", "--first-number", "x"},
        {"--rename", "--at-once"},
        {"--translit", "--set", "colour=red"},
        {"--translit", "--set", "title"},
        {"--folders=flat"},
    };
    for (const auto& args : cases) {
        TBatchOptions o;
        bool tsv = false;
        std::ostringstream err;
        EXPECT_FALSE(ParseBatchOptions(args, o, tsv, err)) << ::testing::PrintToString(args);
        EXPECT_THAT(Lines(err.str()), ::testing::SizeIs(1));
        EXPECT_THAT(err.str(), ::testing::StartsWith("velmora-cli plan: "));
    }
    TBatchOptions o;
    o.Translit = true;
    std::ostringstream out, err;
    EXPECT_EQ(PlanOrRunBatch(dir.File("a.mp3"), o, true, true, out, err), 2);
    EXPECT_EQ(PlanOrRunBatch(dir.File("none"), o, true, true, out, err), 2);
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

}  // namespace
}  // namespace velmora::test
