// «Удалить ID3v2» keeps every text: the tag goes only when the ID3v1 tag holds each of its texts
// whole; otherwise it is rewritten with its texts alone.
#include <sstream>

#include "audio/AudioInfo.h"
#include "audio/ID3v2Slim.h"
#include "cli/CliBatch.h"
#include "core/tags/StripRule.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

using TFrames = std::vector<std::pair<std::string, std::string>>;

// An ID3v2 tag of version 3 or 4 with these frames (ids and bodies), `flags` on every frame.
std::string Tag(int major, const TFrames& frames, size_t padding = 0, uint8_t frameFlags = 0) {
    std::string body;
    for (const auto& [id, data] : frames) {
        const auto n = static_cast<uint32_t>(data.size());
        body += id;
        for (int i = 0; i < 4; ++i)
            body += static_cast<char>(major == 4 ? (n >> (21 - 7 * i)) & 0x7F : n >> (24 - 8 * i));
        body += {0, static_cast<char>(frameFlags)};
        body += data;
    }
    body.append(padding, '\0');
    std::string tag = {'I', 'D', '3', static_cast<char>(major), 0, 0};
    for (int i = 0; i < 4; ++i)
        tag += static_cast<char>((body.size() >> (21 - 7 * i)) & 0x7F);
    return tag + body;
}

std::string Text(const std::string& latin1) {
    return std::string(1, '\0') + latin1;
}
std::string Lyrics(const std::string& text) {
    return std::string("\0eng", 4) + std::string(1, '\0') + text;
}
std::string Picture(size_t bytes) {
    return std::string("\0image/jpeg\0\x03\0", 14) + std::string(bytes, 'p');
}

TEST(Strip, TheID3v1TagMustHoldEveryTextOfTheID3v2TagWhole) {
    const std::string title30(30, 't'), title31(31, 't');
    struct TCase {
        const char* Name;
        std::string V2Title, V2Track;
        std::vector<std::string> Other;
        std::string V1Title;
        int V1Track;
        std::vector<TTagField> Cut;
        std::string Lost;
    };
    const TCase cases[] = {
        {"a 30-byte title fits", title30, "", {}, title30, 0, {}, ""},
        {"a 31-byte title is cut", title31, "", {}, title30, 0, {}, "название"},
        {"a merge lengthened the title past the field", "Song", "", {}, title30, 0, {}, "название"},
        {"the save cut a transliteration",
         "Щука",
         "",
         {},
         "Shchuka",
         0,
         {TTagField::Title},
         "название"},
        {"a transliteration that fits", "Прогулки по воде", "", {}, "Progulki po vode", 0, {}, ""},
        {"control bytes are not the title", "Ёж", "", {}, "\x1F\x1C", 0, {}, "название"},
        {"track number 0 loses the ID3v2 number", "Song", "3/12", {}, "Song", 0, {}, "№ трека"},
        {"the same track number", "Song", "3/12", {}, "Song", 3, {}, ""},
        {"lyrics and composer",
         "Song",
         "",
         {"USLT", "TCOM"},
         "Song",
         0,
         {},
         "текст песни, композитор"},
        {"a second comment and a link",
         "Song",
         "",
         {"COMM", "WXXX"},
         "Song",
         0,
         {},
         "ещё комментарий, ссылка WXXX"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TID3v2Info v2;
        v2.Present = true;
        v2.Title = {c.V2Title, false};
        v2.Track = {c.V2Track, false};
        v2.OtherTexts = c.Other;
        TID3v1Tag v1;
        v1.Exists = true;
        v1.Title = Utf8ToCp1251(c.V1Title);
        v1.Track = c.V1Track;
        EXPECT_EQ(JoinWords(TextsOnlyInID3v2(v2, v1, c.Cut)), c.Lost);
    }
}

// The texts of a file's tags as the program reads them back.
std::string TextsOf(const std::string& path) {
    TAudioInfo info;
    info.LoadFromFile(path);
    std::string texts = info.ID3v2.Version();
    for (const TID3v2Text* t : {&info.ID3v2.Title, &info.ID3v2.Artist, &info.ID3v2.Comment})
        texts += "|" + t->Text;
    for (const std::string& id : info.ID3v2.OtherTexts)
        texts += "|" + id;
    return texts + "|" + std::to_string(info.ID3v2.Pictures);
}

TEST(Strip, TheBatchStripsWhatID3v1HoldsAndSlimsTheRestKeepingEveryTextAndTheAudio) {
    TempDir dir;
    const TFrames texts = {
        {"TIT2", Text("Song")},       {"TPE1", Text("Band")},
        {"USLT", Lyrics("la la la")}, {"TCOM", Text("Composer")},
        {"COMM", Lyrics("first")},    {"COMM", std::string("\0engdesc\0second", 15)}};
    struct TCase {
        const char* File;
        std::string Tag;
        TID3v1Fields V1;
        const char* Line;     // the plan's line, "" for none
        const char* Version;  // of the tag left, "" for none
    };
    TFrames withCover = texts;
    withCover.push_back({"APIC", Picture(40000)});
    withCover.push_back({"PRIV", std::string("owner\0data", 10)});
    const TCase cases[] = {
        {"held.mp3",
         Tag(3, {{"TIT2", Text("Song")}, {"APIC", Picture(900)}}, 500),
         {.Title = "Song"},
         "Удаление ID3v2: held.mp3 (1,4 КБ)",
         ""},
        {"cover.mp3",
         Tag(3, withCover, 2048),
         {.Title = "Song", .Artist = "Band"},
         "Уменьшение ID3v2: cover.mp3: 41 КБ → 127 байт, обложка удалена; тексты сохранены",
         "2.3.0"},
        {"v24.mp3",
         Tag(4, texts, 100),
         {},
         "Уменьшение ID3v2: v24.mp3: 227 байт → 127 байт; тексты сохранены",
         "2.3.0"},
        {"long.mp3",
         Tag(3, {{"TIT2", Text(std::string(31, 'x'))}}, 4000),
         {},
         "Уменьшение ID3v2: long.mp3: 4,0 КБ → 52 байта; тексты сохранены",
         "2.3.0"},
        {"packed.mp3",
         Tag(3, {{"TIT2", std::string("\0\0\0\x09xxxx", 8)}}, 0, 0x80),
         {},
         "Предупреждение: packed.mp3: ID3v2 не удалён и не уменьшен: кадр TIT2 сжат, зашифрован "
         "или несинхронизирован; тексты, которых нет в ID3v1, остались в нём",
         "2.3.0"},
    };
    std::map<std::string, std::string> before;
    std::map<std::string, std::vector<uint8_t>> audio;
    for (const TCase& c : cases) {
        TMp3Builder b;
        b.Bytes(std::vector<uint8_t>(c.Tag.begin(), c.Tag.end())).Frames(SlowParams(), 5);
        if (!c.V1.Title.empty())
            b.ID3v1(c.V1);
        const std::vector<uint8_t> file = b.Build();
        WriteFile(dir.File(c.File), file);
        before[c.File] = TextsOf(dir.File(c.File));
        audio[c.File].assign(file.begin() + static_cast<long>(c.Tag.size()), file.end());
    }
    TBatchOptions o;
    o.StripID3v2 = true;
    std::ostringstream plan, run, err;
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, false, false, plan, err), 0) << err.str();
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, true, false, run, err), 0) << err.str();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        // The plan says what the run does.
        EXPECT_THAT(plan.str(), ::testing::HasSubstr(std::string(c.Line) + "\n"));
        EXPECT_THAT(run.str(), ::testing::HasSubstr(std::string(c.Line) + "\n"));
        TAudioInfo info;
        info.LoadFromFile(dir.File(c.File));
        EXPECT_EQ(info.ID3v2.Version(), c.Version);
        const std::vector<uint8_t> now = ReadFile(dir.File(c.File));
        const size_t tag = static_cast<size_t>(info.ID3v2.Present ? info.ID3v2.Size : 0);
        // The audio and the ID3v1 tag are byte for byte what they were.
        EXPECT_EQ(std::vector<uint8_t>(now.begin() + static_cast<long>(tag), now.end()),
                  audio[c.File]);
        if (!info.ID3v2.Present)
            continue;
        // Every text is there, the pictures and the padding are gone.
        std::string was = before[c.File];
        was.replace(0, was.find('|'), info.ID3v2.Version());
        if (std::string(c.File) != "packed.mp3")
            was.back() = '0';
        EXPECT_EQ(TextsOf(dir.File(c.File)), was);
        EXPECT_NE(now[tag - 1], 0) << "padding left";
    }
}

TEST(Strip, TheSlimFormIsRefusedWhereItCouldLoseAText) {
    const std::string sync = [] {
        std::string t = Tag(3, {{"TIT2", Text("Song")}});
        t[5] = static_cast<char>(0x80);
        return t;
    }();
    const std::pair<std::string, const char*> cases[] = {
        {sync, "тег ID3v2 записан целиком в несинхронизированном виде"},
        {Tag(4, {{"TIT2", Text("Song")}}, 0, 0x04),
         "кадр TIT2 сжат, зашифрован или несинхронизирован"},
        {[] {
             std::string t = Tag(3, {{"TIT2", Text("Song")}});
             t[17] = 0x7F;  // the frame's size past the tag's end
             return t;
         }(),
         "кадр TIT2 выходит за конец тега"},
        {"ID3", "тег ID3v2 не прочитан"},
    };
    for (const auto& [tag, refusal] : cases) {
        const TSlimID3v2 slim = SlimID3v2(tag);
        EXPECT_EQ(slim.Bytes, "");
        EXPECT_EQ(slim.Refusal, refusal);
    }
    // A 2.4 frame that 2.3 has no room for (the mood) keeps the tag at 2.4.
    const TSlimID3v2 sorted =
        SlimID3v2(Tag(4, {{"TMOO", Text("Band, The")}, {"APIC", Picture(9)}}));
    ASSERT_NE(sorted.Bytes, "");
    EXPECT_EQ(sorted.Bytes[3], 4);
    EXPECT_NE(sorted.Bytes.find("Band, The"), std::string::npos);
}

TEST_F(ModelTest, TheStripQuestionNamesWhatWouldBeLostAndOffersTheSlimForm) {
    const std::string tag =
        Tag(3, {{"TIT2", Text("Song")}, {"USLT", Lyrics("words")}, {"APIC", Picture(3000)}});
    TMp3Builder b;
    b.Bytes(std::vector<uint8_t>(tag.begin(), tag.end())).Frames(SlowParams(), 5);
    b.ID3v1({.Title = "Song"});
    WriteFile(Dir.File("a.mp3"), b.Build());
    Open();
    Port.DefaultYesNo = true;
    Do(&TMainModel::btnStripID3v2Click);
    // Asked with No as the default: Enter keeps the tag.
    ASSERT_EQ(Port.LossQuestions.size(), 1u);
    EXPECT_EQ(Port.LossQuestions[0],
              "В теге ID3v2 файла a.mp3 есть то, чего нет в теге ID3v1: текст песни. Удалив тег "
              "целиком, вы потеряете эти тексты. Уменьшить ID3v2 вместо этого: удалить обложку (3 "
              "КБ) и всё, кроме текстов, а тексты сохранить?");
    EXPECT_EQ(Model.lblID3v2Status.Caption, "ID3v2.3: 1 поле");
    EXPECT_THAT(Port.Errors, ::testing::IsEmpty());
}

}  // namespace
}  // namespace velmora::test
