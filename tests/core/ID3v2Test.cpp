// ID3v2 tags: what real taggers wrote, the Windows-1251 rule for Latin-1 frames, damaged tags,
// filling the edits from the tag, and removing the tag from the file.
#include <random>
#include <set>
#include <sstream>

#include "cli/CliBatch.h"
#include "cli/CliCommand.h"
#include "core/tags/ID3v2Text.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
    return std::string(VELMORA_TEST_DATA) + "/id3v2/" + name;
}

TEST(ID3v2, FixturesOfRealTaggersReadPerEncodingAndVersion) {
    struct TCase {
        const char* File;
        const char* Version;
        const char* Title;
        const char* Artist;
        const char* Year;
        const char* Track;
        const char* Genre;
        int Pictures;
        const char* Status;
    };
    const TCase cases[] = {
        {"eyed3-v23-utf16.mp3", "2.3.0", "Звезда по имени Солнце", "Кино", "", "03/12", "Rock", 0,
         "ID3v2.3: 6 полей"},
        {"eyed3-v24-utf8.mp3", "2.4.0", "Группа крови", "Кино", "", "01", "", 0, "ID3v2.4: 3 поля"},
        {"id3v2-cp1251-in-latin1.mp3", "2.3.0", "Звезда", "ДДТ", "", "5/10", "Rock", 0,
         "ID3v2.3: 4 поля"},
        {"mutagen-latin1-cover.mp3", "2.3.0", "Café", "Motörhead", "1980", "", "", 1,
         "ID3v2.3: 4 поля, обложка"},
        {"ffmpeg-v24.mp3", "2.4.0", "Утро", "Аквариум", "", "7", "", 0, "ID3v2.4: 3 поля"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        TAudioInfo info;
        info.LoadFromFile(Fixture(c.File));
        const TID3v2Info& tag = info.ID3v2;
        EXPECT_TRUE(info.FrameHdr.Valid);  // the audio is found after the tag
        EXPECT_EQ(tag.Version(), c.Version);
        EXPECT_FALSE(tag.Damaged);
        EXPECT_EQ(DecodeID3v2Text(tag.Title), c.Title);
        EXPECT_EQ(DecodeID3v2Text(tag.Artist), c.Artist);
        EXPECT_EQ(DecodeID3v2Text(tag.Year), c.Year);
        EXPECT_EQ(DecodeID3v2Text(tag.Track), c.Track);
        EXPECT_EQ(DecodeID3v2Text(tag.Genre), c.Genre);
        EXPECT_EQ(tag.Pictures, c.Pictures);
        EXPECT_EQ(ID3v2Status(tag), c.Status);
    }
}

TEST(ID3v2, Latin1FramesHoldingWindows1251AreDecodedAsCyrillicAndTrueLatin1IsLeftAlone) {
    const auto cp = [](const char* utf8) { return Utf8ToCp1251(utf8); };
    const std::pair<std::string, bool> cases[] = {
        {"Café", false},        {"Motörhead", false},
        {"Müßig gehen", false}, {"Ça va", false},
        {"plain", false},       {"", false},
        {cp("Звезда"), true},   {cp("ДДТ - Live"), true},
        {cp("Ёж"), true},       {cp("Кино"), true},
        {cp("Би-2"), true},     {cp("DJ Ян"), true},  // exactly half of the letters Cyrillic
        {"DJ Ké", false},                             // under half, no run of three
    };
    for (const auto& [text, cyrillic] : cases) {
        // The Latin-1 cases are written here in UTF-8: their bytes as a Latin-1 frame holds them.
        std::string latin1;
        if (!cyrillic) {
            for (size_t i = 0; i < text.size();) {
                const TUtf8Char c = Utf8CharAt(text, i);
                latin1 += static_cast<char>(c.Code);
                i += c.Length;
            }
        } else {
            latin1 = text;
        }
        SCOPED_TRACE(text);
        EXPECT_EQ(LooksLikeCp1251(latin1), cyrillic);
        EXPECT_EQ(DecodeID3v2Text({latin1, true}), cyrillic ? Cp1251ToUtf8(text) : text);
    }
    EXPECT_EQ(TrackNumberOf("3/12"), 3);
    EXPECT_EQ(TrackNumberOf("07"), 7);
    EXPECT_EQ(TrackNumberOf("x"), 0);
    EXPECT_EQ(TrackNumberOf("99999999999"), 0);
}

TEST(ID3v2, AnID3v1FieldIsADamagedCopyOnlyWhenATaggerLostLettersOfTheID3v2Text) {
    const auto cp = [](const char* utf8) { return Utf8ToCp1251(utf8); };
    const struct {
        std::string V1;  // the ID3v1 field's bytes
        const char* V2;  // the ID3v2 text
        bool Damaged;
    } cases[] = {
        {std::string(9, '?') + "-" + std::string(6, '?') + " 5:0", "Аргентина-Ямайка 5:0",
         true},                           // Latin-1 only: "?"
        {"\x1f>2>@>B", "Поворот", true},  // UTF-16's low bytes
        {"Caf\xE9", "Café", true},        // Latin-1 read as Windows-1251
        {"Mot\xF6rhead", "Motörhead", true},
        {"????? ??????? ???????? ?????, ", "Очень длинное название песни, которое не влезет",
         true},                                                       // cut to the field's width
        {cp("Аргентина-Ямайка 5:0"), "Аргентина-Ямайка 5:0", false},  // faithful
        {"Cafe", "Café", false},                                      // folded by the user
        {"My own title", "Their title", false},                       // the user's own text
        {"Wh?", "Why?", false},                                       // shorter, not cut
        {"?", "?", false},
        {"", "Песня", false},  // empty: missing, not damaged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.V2);
        EXPECT_EQ(IsDamagedCopy(c.V1, c.V2), c.Damaged);
    }
    // The one rule of a damaged field: these copies, and damage that copies nothing.
    for (const auto& c : cases)
        EXPECT_EQ(IsDamagedField(c.V1, c.V2), c.Damaged) << c.V2;
    const struct {
        std::string V1;
        bool Damaged;
    } alone[] = {{"????", true},
                 {"\x1c\x1f"
                  "ABC",
                  true},
                 {"Caf\xE9", true},
                 {"P?sni", true},
                 {"Why?", false},
                 {"Who? Me", false},
                 {"?", false},
                 {cp("Звезда"), false},
                 {cp("DJ Смэш"), false},
                 {cp("Ёлка 2"), false},
                 {"AC/DC - T.N.T.", false},
                 {"", false}};
    for (const auto& c : alone)
        EXPECT_EQ(IsDamagedField(c.V1, ""), c.Damaged) << c.V1;
    // Letters Windows-1251 lacks go into an ID3v1 tag as their Latin letters, not as "?".
    EXPECT_EQ(Utf8ToCp1251("Motörhead, Café del Mar, Straße, Øresund, Œuvre"),
              "Motorhead, Cafe del Mar, Strasse, Oresund, OEuvre");
    EXPECT_EQ(Utf8ToCp1251("Ёлка ö", false), cp("Ёлка") + " ?");
}

// An ID3v2 tag of the given version with the given frames (ids and bodies) and padding.
std::vector<uint8_t> Tag(int major, std::vector<std::pair<std::string, std::string>> frames,
                         uint8_t flags = 0, size_t padding = 0) {
    std::string body;
    for (const auto& [id, data] : frames) {
        body += id;
        const size_t n = data.size();
        if (major == 2) {
            body += {static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
        } else {
            body += {static_cast<char>(n >> 24),
                     static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8),
                     static_cast<char>(n),
                     0,
                     0};
        }
        body += data;
    }
    body.append(padding, '\0');
    const size_t n = body.size();
    std::string tag = {'I',
                       'D',
                       '3',
                       static_cast<char>(major),
                       0,
                       static_cast<char>(flags),
                       static_cast<char>((n >> 21) & 0x7F),
                       static_cast<char>((n >> 14) & 0x7F),
                       static_cast<char>((n >> 7) & 0x7F),
                       static_cast<char>(n & 0x7F)};
    tag += body;
    return {tag.begin(), tag.end()};
}

TEST(ID3v2, Version22AndDamagedTagsGiveFieldsOrNoneButNeverACrash) {
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* Status;
    };
    std::vector<uint8_t> pastTheEnd = Tag(3, {{"TIT2", std::string("\0Song", 5)}});
    pastTheEnd[6] = 0x7F;
    const TCase cases[] = {
        {"2.2", Tag(2, {{"TT2", std::string("\0Song", 5)}, {"TP1", std::string("\0Band", 5)}}),
         "ID3v2.2: 2 поля"},
        {"size past the end", pastTheEnd, "ID3v2.3 повреждён"},
        {"broken frames", Tag(3, {{"\x01\x02\x03\x04", "garbage"}}, 0, 8), "ID3v2.3 повреждён"},
        {"unsynchronised", Tag(3, {{"TIT2", std::string("\0Song", 5)}}, 0x80), "ID3v2.3 повреждён"},
        {"padding only", Tag(4, {}, 0, 64), "ID3v2.4: 0 полей"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMp3Builder b;
        b.Bytes(c.Bytes).Frames(TFrameParams{}, 3);
        TMemoryStream stream(b.Build());
        TAudioInfo info;
        info.AnalyzeStream(stream, stream.Size());
        EXPECT_TRUE(info.ID3v2.Present);
        EXPECT_EQ(ID3v2Status(info.ID3v2), c.Status);
        if (info.ID3v2.Damaged) {
            EXPECT_EQ(info.ID3v2.FieldCount(), 0);
        }
    }
}

TEST(ID3v2, ATagWhoseSizeRunsPastTheEndIsNeitherStrippedNorCounted) {
    TempDir dir;
    std::vector<uint8_t> tag = Tag(3, {{"TIT2", std::string("\0Song", 5)}});
    tag[6] = 0x7F;  // the size says far more than the file holds
    TMp3Builder b;
    b.Bytes(tag).Frames(TFrameParams{}, 3);
    WriteFile(dir.File("a.mp3"), b.Build());
    const std::vector<uint8_t> before = ReadFile(dir.File("a.mp3"));
    TBatchOptions o;
    o.StripID3v2 = true;
    std::ostringstream out, err;
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, true, false, out, err), 0);
    EXPECT_THAT(out.str(), ::testing::HasSubstr("тег ID3v2 повреждён"));
    EXPECT_THAT(out.str(), ::testing::Not(::testing::HasSubstr("Удаление ID3v2")));
    EXPECT_THAT(out.str(), ::testing::Not(::testing::HasSubstr("удалено ID3v2")));
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), before);
}

TEST_F(ModelTest, FromID3v2FillsTheEditsButKeptOnesAsTheUsersChange) {
    fs::copy_file(Fixture("eyed3-v23-utf16.mp3"), Dir.File("a.mp3"));
    PutUntagged("b.mp3");
    Open();
    EXPECT_EQ(Model.lblID3v2Status.Caption, "ID3v2.3: 6 полей");
    Model.KeepAlbum.Checked = true;
    Model.KeepClick(TTagField::Album);
    Do(&TMainModel::btnFromID3v2Click);
    EXPECT_EQ(Model.edTitle.Text, "Звезда по имени Солнце");
    EXPECT_EQ(Model.edArtist.Text, "Кино");
    EXPECT_EQ(Model.edAlbum.Text, "");  // kept
    EXPECT_EQ(Model.edTrack.Text, "3");
    EXPECT_EQ(Model.edGenre.Text, "Rock");
    EXPECT_EQ(Model.edComment.Text, "Ленинград");
    EXPECT_TRUE(Model.TagsModified);
    EXPECT_TRUE(Model.InfoFileNameRed);
    // Without an ID3v2 tag nothing happens.
    Port.DefaultYesNo = false;
    Click(1);
    EXPECT_EQ(Model.lblID3v2Status.Caption, "ID3v2 нет");
    Do(&TMainModel::btnFromID3v2Click);
    EXPECT_EQ(Model.edTitle.Text, "");
    EXPECT_FALSE(Model.TagsModified);
}

TEST_F(ModelTest, StripKeepsTheAudioAndTheID3v1TagByteForByteOverRandomTags) {
    std::mt19937 rng(7);
    Port.DefaultYesNo = true;  // "Удалить?"
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::pair<std::string, std::string>> frames = {
            {"TIT2", std::string("\0Song ", 6) + std::to_string(round)}};
        for (unsigned k = rng() % 3; k > 0; --k)
            frames.push_back({"APIC", std::string("\0image/jpeg\0\x03\0", 14) +
                                          std::string(rng() % 40000, 'p')});
        TID3v1Fields v1{.Title = "Tagged"};
        TMp3Builder b;
        b.Bytes(Tag(3 + static_cast<int>(rng() % 2), frames, 0, rng() % 500))
            .Frames(SlowParams(), 5);
        if (rng() % 2)
            b.ID3v1(v1);
        const std::vector<uint8_t> file = b.Build();
        const std::string name = "f" + std::to_string(round) + ".mp3";
        WriteFile(Dir.File(name), file);
        Open();
        Click(static_cast<int>(std::find(Model.TrackList.begin(), Model.TrackList.end(), name) -
                               Model.TrackList.begin()));
        const int64_t size = Model.AudioInfo.ID3v2.Size;
        ASSERT_GT(size, 0);
        Do(&TMainModel::btnStripID3v2Click);
        // It asked first, naming what goes; without an ID3v1 tag to hold the title it offered
        // the slim form instead, which keeps the title alone.
        ASSERT_FALSE(Port.Questions.empty());
        const bool held = Model.AudioInfo.ID3v1.Exists;
        EXPECT_THAT(Port.Questions.back(),
                    ::testing::StartsWith(held ? "Будут удалены из файла " + name + ": название"
                                               : "В теге ID3v2 файла " + name + " есть то"));
        const std::vector<uint8_t> now = ReadFile(Dir.File(name));
        const auto left = static_cast<size_t>(held ? 0 : Model.AudioInfo.ID3v2.Size);
        EXPECT_EQ(left, held ? 0u : 26 + std::to_string(round).size());  // no padding
        ASSERT_GE(now.size(), left);
        EXPECT_EQ(std::vector<uint8_t>(now.begin() + static_cast<long>(left), now.end()),
                  std::vector<uint8_t>(file.begin() + static_cast<long>(size), file.end()));
        EXPECT_EQ(Model.InfoFileName.Caption, name);
        EXPECT_EQ(Model.lblID3v2Status.Caption, held ? "ID3v2 нет" : "ID3v2.3: 1 поле");
        fs::remove(Dir.File(name));
    }
    EXPECT_THAT(Port.Errors, ::testing::IsEmpty());
}

TEST(ID3v2, TheBatchTakesTagsFromID3v2AndRemovesItThroughTheCommandLine) {
    TempDir dir;
    fs::copy_file(Fixture("id3v2-cp1251-in-latin1.mp3"), dir.File("1.mp3"));
    fs::copy_file(Fixture("ffmpeg-v24.mp3"), dir.File("2.mp3"));  // has an ID3v1 tag too
    TBatchOptions o;
    o.FromID3v2 = o.StripID3v2 = o.Translit = true;
    o.Rename = TNameParts{.Artist = true, .Title = true};
    std::ostringstream plan, run, err;
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, false, true, plan, err), 0);
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, true, true, run, err), 0) << err.str();
    EXPECT_EQ(plan.str(), run.str());
    EXPECT_THAT(run.str(), ::testing::HasSubstr("strip\t1.mp3\t-\t1936\n"));
    EXPECT_THAT(run.str(),
                ::testing::HasSubstr("warn\t2.mp3\t-\tID3v2 оставлен как есть: в нём "
                                     "одни тексты, и в ID3v1 нет полей: настройки кодировщика\n"));
    EXPECT_THAT(run.str(), ::testing::HasSubstr("move\t1.mp3\tDDT_Zvezda.mp3\t-\n"));
    TAudioInfo info;
    info.LoadFromFile(dir.File("DDT_Zvezda.mp3"));
    EXPECT_FALSE(info.ID3v2.Present);
    EXPECT_TRUE(info.FrameHdr.Valid);
    EXPECT_EQ(info.ID3v1.Title, "Zvezda");
    // The file with an ID3v1 tag keeps its own fields; its ID3v2 tag, texts alone and as small as
    // they come, stays with the encoder's name, which ID3v1 has no room for.
    for (const std::string& name : FilesUnder(dir.Path())) {
        info.LoadFromFile(dir.File(name));
        EXPECT_TRUE(!info.ID3v2.Present || info.ID3v2.Size == 106) << name;
        EXPECT_TRUE(info.FrameHdr.Valid) << name;
    }
}

// The fields with text in a file's tags: an ID3v1 field that is not a damaged copy, or the ID3v2
// field.
std::set<std::string> TextFields(const std::string& path) {
    TAudioInfo info;
    info.LoadFromFile(path);
    std::set<std::string> fields;
    for (const TTagFieldInfo& f : TagFields()) {
        const std::string v2 = DecodeID3v2Text(info.ID3v2.*f.ID3v2Text);
        bool v1 = false;
        if (info.ID3v1.Exists && f.V1Text != nullptr) {
            const std::string& bytes = info.ID3v1.*f.V1Text;
            v1 = !bytes.empty() && !IsDamagedCopy(bytes, v2);
        } else if (info.ID3v1.Exists) {
            v1 = f.Field == TTagField::Track ? info.ID3v1.Track != 0
                                             : !ID3Genres().NameOf(info.ID3v1.GenreCode).empty();
        }
        if (v1 || !v2.empty())
            fields.insert(f.Key);
    }
    return fields;
}

TEST(ID3v2, NoBatchLeavesAFileWithLessTagTextThanBefore) {
    const std::vector<std::string> fixtures = {
        "eyed3-v23-utf16.mp3",      "eyed3-v24-utf8.mp3",           "ffmpeg-v24.mp3",
        "id3lib-v1-latin1.mp3",     "id3lib-v1-low-bytes.mp3",      "id3v2-cp1251-in-latin1.mp3",
        "mutagen-latin1-cover.mp3", "mutagen-v1-question-marks.mp3"};
    const std::vector<std::vector<std::string>> runs = {
        {"--translit", "--strip-id3v2"},
        {"--translit", "--from-id3v2", "--strip-id3v2"},
        {"--translit", "--from-id3v2", "--strip-id3v2", "--rename=artist,title",
         "--folders=numbered", "--at-once"},
    };
    for (const auto& options : runs) {
        SCOPED_TRACE(::testing::PrintToString(options));
        TempDir dir;
        std::map<std::string, std::set<std::string>> before;
        for (const std::string& name : fixtures) {
            fs::copy_file(Fixture(name), dir.File(name));
            before[name] = TextFields(dir.File(name));
        }
        std::vector<std::string> args = {"run", dir.Path(), "--tsv"};
        args.insert(args.end(), options.begin(), options.end());
        std::ostringstream out, err;
        RunCli(args, out, err);
        // Every file is still listed (none hidden by its new name) and keeps every field.
        const std::vector<std::string> after = FilesUnder(dir.Path());
        ASSERT_EQ(after.size(), fixtures.size()) << out.str();
        std::multiset<std::set<std::string>> was, is;
        for (const auto& [name, fields] : before)
            was.insert(fields);
        for (const std::string& path : after) {
            EXPECT_NE(fs::path(path).filename().string()[0], '.') << path;
            is.insert(TextFields(dir.File(path)));
        }
        EXPECT_EQ(is, was) << out.str();
        if (options.size() > 2) {
            // The damaged ID3v1 copies took the ID3v2 text.
            std::set<std::string> titles;
            for (const std::string& path : after) {
                TAudioInfo info;
                info.LoadFromFile(dir.File(path));
                titles.insert(Cp1251ToUtf8(info.ID3v1.Title) + "/" +
                              Cp1251ToUtf8(info.ID3v1.Artist));
            }
            for (const char* expected :
                 {"Argentina-YAmayka 5:0/TCHayf", "Povorot/Mashina vremeni", "Cafe/Motorhead"})
                EXPECT_EQ(titles.count(expected), 1u) << expected;
        }
    }
}

TEST_F(ModelTest, AGenreIsFoundByItsNameInAnyLetterCase) {
    for (const auto& [name, code] : std::vector<std::pair<std::string, int>>{
             {"rock", 17}, {"HIP-HOP", 7}, {"Hip-Hop", 7}, {"Rock", 17}, {"Rockabilly", -1}}) {
        Model.SelectGenreByName(name == "Rockabilly" ? "Rockabilly!" : name);
        EXPECT_EQ(Model.edGenre.ItemIndex < 0
                      ? -1
                      : Model.edGenre.Items[static_cast<size_t>(Model.edGenre.ItemIndex)].Code,
                  code)
            << name;
    }
}

}  // namespace
}  // namespace velmora::test
