// The opened folder as the boundary: links out of it, another program or another copy of ours
// acting on its files meanwhile, names that would forge output lines, and the real reason of a
// failure in every line.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "cli/CliBatch.h"
#include "cli/CliCommand.h"
#include "core/files/Journal.h"
#include "core/files/SafeMove.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// A file with an ID3v2 tag of `tagSize` bytes before `seconds` of audio, and the audio alone.
struct TTagged {
    std::vector<uint8_t> Whole, Audio;
};
TTagged Tagged(size_t tagSize, int seconds, uint8_t seed = 0) {
    std::vector<uint8_t> audio = Mp3Bytes(seconds);
    audio.push_back(seed);
    TMp3Builder b;
    b.ID3v2(tagSize).Bytes(audio);
    return {b.Build(), audio};
}

int Cli(const std::vector<std::string>& args, std::string* out = nullptr) {
    std::ostringstream o, e;
    const int status = RunCli(args, o, e);
    if (out != nullptr)
        *out = o.str() + e.str();
    return status;
}

TEST(Boundary, ALinkOutOfTheFolderIsListedAndAnalysedButNeverWritten) {
    TempDir top;
    const std::string music = top.File("music"), outside = top.File("outside");
    fs::create_directories(music);
    fs::create_directories(outside + "/folder");
    const TTagged song = Tagged(600, 2, 1), mine = Tagged(600, 2, 2);
    WriteFile(outside + "/song.mp3", song.Whole);
    WriteFile(outside + "/.bashrc", std::string("export PATH\n"));
    WriteFile(outside + "/folder/x.mp3", song.Whole);
    WriteFile(music + "/own.mp3", mine.Whole);
    fs::create_symlink("../outside/song.mp3", music + "/linked.mp3");
    fs::create_symlink("../outside/.bashrc", music + "/settings.mp3");
    fs::create_symlink("../outside/folder", music + "/folder");
    fs::create_symlink("own.mp3", music + "/alias.mp3");  // a link inside the folder
    const std::string bashrc = Text(outside + "/.bashrc");

    std::string plan, run;
    const std::vector<std::string> options = {"--translit",   "--set",         "album=Car",
                                              "--from-id3v2", "--strip-id3v2", "--tsv"};
    std::vector<std::string> args = {"plan", music};
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_EQ(Cli(args, &plan), 0);
    args[0] = "run";
    EXPECT_EQ(Cli(args, &run), 1);
    for (const char* name : {"linked.mp3", "settings.mp3"}) {
        EXPECT_THAT(plan,
                    HasSubstr(std::string("fail\t") + name + "\t-\tссылка на файл вне папки"));
        EXPECT_THAT(run, HasSubstr(std::string("fail\t") + name + "\t-\tссылка на файл вне папки"));
    }
    EXPECT_EQ(ReadFile(outside + "/song.mp3"), song.Whole);
    EXPECT_EQ(ReadFile(outside + "/folder/x.mp3"), song.Whole);
    EXPECT_EQ(Text(outside + "/.bashrc"), bashrc);
    // The file inside, reached by its own name and by a link inside the folder, is written.
    const std::vector<uint8_t> own = ReadFile(music + "/own.mp3");
    ASSERT_EQ(own.size(), mine.Audio.size() + 128);
    EXPECT_TRUE(std::equal(mine.Audio.begin(), mine.Audio.end(), own.begin()));
    EXPECT_TRUE(fs::is_symlink(music + "/alias.mp3"));
}

// Another program acting on the file between the analysis and the strip's last step: it is
// never cut, whatever the other program did to it, and the strip says so.
TEST(Boundary, AStripOfAFileChangedMeanwhileChangesNothing) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    const TTagged original = Tagged(1024, 3);
    const std::vector<uint8_t> other = Tagged(2048, 3, 7).Whole;  // another song, another tag
    struct TCase {
        const char* When;
        std::function<void()> Change;  // what the other program does
        std::vector<uint8_t> Left;     // the file's bytes afterwards
    };
    const TCase cases[] = {
        {"tag removed after the analysis", [&] { WriteFile(path, original.Audio); },
         original.Audio},
        {"replaced by another song after the analysis", [&] { WriteFile(path, other); }, other},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.When);
        WriteFile(path, original.Whole);
        TAudioInfo info;
        info.LoadFromFile(path);
        ASSERT_EQ(info.ID3v2Size, 1024);
        c.Change();
        EXPECT_EQ(SafeRewriteFile(RealSysCalls(), path, 1024, info.Identity, info.ID3v2Head).Error,
                  ESTALE);
        EXPECT_EQ(ReadFile(path), c.Left);
    }

    // During the copy and after it, before the rename: the name must still name the file read.
    struct TMeddling : TSysCalls {
        std::function<void()> OnClose;
        int Close(int fd) override {
            const int rc = TSysCalls::Close(fd);
            if (OnClose)
                std::exchange(OnClose, nullptr)();
            return rc;
        }
    };
    WriteFile(path, original.Whole);
    TAudioInfo info;
    info.LoadFromFile(path);
    TMeddling meddling;
    meddling.OnClose = [&] {
        const std::string temp = dir.File("other");
        WriteFile(temp, other);
        fs::rename(temp, path);  // a tagger's own safe save lands under the name
    };
    EXPECT_EQ(SafeRewriteFile(meddling, path, 1024, info.Identity, info.ID3v2Head).Error, ESTALE);
    EXPECT_EQ(ReadFile(path), other);
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{"a.mp3"});
}

// Two copies of the program running the same strip on one folder at once: the second waits for
// nothing and changes nothing; no audio byte is ever lost.
TEST(Boundary, TwoRunsAtOnceNeverInterleave) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        std::vector<TTagged> files;
        for (int i = 0; i < 100; ++i) {
            files.push_back(Tagged(200 + static_cast<size_t>(i) * 10, 1, static_cast<uint8_t>(i)));
            WriteFile(dir.File("f" + std::to_string(100 + i) + ".mp3"), files.back().Whole);
        }
        pid_t children[2];
        for (pid_t& child : children) {
            child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                std::string out;
                const int status = Cli({"run", dir.Path(), "--from-id3v2", "--strip-id3v2"}, &out);
                _exit(status == 0                                                              ? 0
                      : out.find("уже обрабатывает другая копия Velmora") != std::string::npos ? 3
                                                                                               : 4);
            }
        }
        std::multiset<int> outcomes;
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            outcomes.insert(WEXITSTATUS(status));
        }
        EXPECT_EQ(outcomes.count(4), 0u) << "a run failed for another reason";
        EXPECT_GE(outcomes.count(0), 1u);
        for (size_t i = 0; i < files.size(); ++i) {
            // The audio whole, the ID3v2 tag gone and its text in the ID3v1 tag at the end.
            const std::vector<uint8_t> now =
                ReadFile(dir.File("f" + std::to_string(100 + i) + ".mp3"));
            ASSERT_EQ(now.size(), files[i].Audio.size() + 128) << i;
            EXPECT_TRUE(std::equal(files[i].Audio.begin(), files[i].Audio.end(), now.begin())) << i;
        }
        EXPECT_EQ(FilesUnder(dir.Path()).size(), files.size());
    }
}

// The command line's lines stay one per name whatever bytes a name holds, and read back to the
// names.
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

TEST(Boundary, NamesThatHoldLineBreaksTabsAndBackslashesCannotForgeLines) {
    TempDir dir;
    const std::set<std::string> names = {"new\nfake.mp3",   "tab\there.mp3",
                                         "back\\slash.mp3", "lit\\x09.mp3",
                                         "ctl\x01.mp3",     "problem\tx\tdisc-full\tfake.mp3"};
    for (const std::string& name : names) {
        TMp3Builder b;
        b.Frames({}, 3).Bytes(name.size(), 1).ID3v1({.Title = "T"});
        WriteFile(dir.File(name), b.Build());
    }
    std::string out;
    Cli({"list", dir.Path()}, &out);
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 3 + names.size());
    std::set<std::string> listed;
    for (size_t i = 3; i < lines.size(); ++i)
        listed.insert(Unescape(lines[i]));
    EXPECT_EQ(listed, names);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"report", "files", dir.Path()},
          {"report", "tags", dir.Path(), "--fields=title"},
          {"plan", dir.Path(), "--rename"},
          {"plan", dir.Path(), "--rename", "--tsv"},
          {"check", dir.Path()}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        Cli(args, &out);
        if (args[0] == "report") {
            EXPECT_EQ(Lines(out).size(), names.size() + (args[1] == "tags" ? 1 : 0));
        }
        for (const std::string& line : Lines(out)) {
            if (args[0] == "check" && line.rfind("problem\t", 0) == 0) {
                EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
                EXPECT_THAT(line, ::testing::Not(HasSubstr("\tdisc-full\t")));
            }
        }
    }
    EXPECT_EQ(Cli({"plan", dir.Path(), "--rename", "--tsv"}, &out), 0);
    for (const std::string& line : Lines(out))
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
}

TEST_F(ModelTest, EveryLineTellsTheRealReasonAndNamesTheFile) {
    // A folder that cannot be made on a read-only disk is not one "that is there already".
    struct TReadOnly : TFaultyFs {
        TMoveResult CreateDir(const std::string&) override { return {false, EROFS}; }
    } readOnly;
    PutTitled({{"a.mp3", "A"}});
    TMainModel model(Port, readOnly);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(Dir.Path()); });
    model.Run([&] { model.SetBox(model.cbAllFilesMoveToDir, true); });
    TBatchLog log = model.RunBatch();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].Detail, "папку D001 создать нельзя (файловая система только для чтения)");

    // A tag save that fails names the file it failed on.
    struct TNoSave : TFaultyFs {
        void SaveID3v1(const std::string& path, TID3v1Tag&, TFileIdentity&) override {
            throw EStreamError(CannotOpenText(path, "Read-only file system"));
        }
    } noSave;
    TMainModel saving(Port, noSave);
    saving.FormCreate();
    saving.Run([&] { saving.OpenFolder(Dir.Path()); });
    saving.Run([&] { saving.SetBox(saving.cbAllFilesTrans, true); });
    log = saving.RunBatch();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(FormatBatchEvent(log.back(), Dir.Path(), true).substr(0, 11), "fail\ta.mp3\t");
}

TEST_F(ModelTest, AfterABatchStoppedByAnErrorTheWindowSpeaksAgain) {
    // The batch stops at its first save; the window's refusal that follows is a message again,
    // not a line of the stopped batch.
    struct TNoSave : TFaultyFs {
        void SaveID3v1(const std::string& path, TID3v1Tag&, TFileIdentity&) override {
            throw EStreamError(CannotOpenText(path, "Read-only file system"));
        }
    } noSave;
    TempDir outside;
    PutTitled({{"a.mp3", "A"}});
    WriteFile(outside.File("song.mp3"), Mp3Bytes(2));
    std::filesystem::create_symlink(outside.File("song.mp3"), Dir.File("linked.mp3"));
    TMainModel model(Port, noSave);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(Dir.Path()); });
    model.Run([&] { model.SetBox(model.cbAllFilesTrans, true); });
    const TBatchLog log = model.RunBatch();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Kind, TBatchEvent::TKind::Fail);
    ASSERT_EQ(Port.Errors.size(), 1u);
    model.Run([&] {
        model.SelectTrack(1);
        model.FilesListBoxClick();
        model.SetEditText(model.edTitle, "Mine");
        model.btnSaveID3Click();
    });
    ASSERT_FALSE(Port.Messages.empty());
    EXPECT_EQ(Port.Messages.back(),
              "Файл linked.mp3 — ссылка на файл вне открытой папки: Velmora его не меняет");
    EXPECT_EQ(ReadFile(outside.File("song.mp3")), Mp3Bytes(2));
}

TEST_F(ModelTest, ATagIsSavedOnlyIntoTheFileThatWasRead) {
    PutTitled({{"a.mp3", "A"}});
    Open();
    Edit(Model.edTitle, "Mine");
    // Another tagger writes the file after it was read: the save refuses and changes nothing.
    const std::vector<uint8_t> theirs = Mp3Bytes(3);
    WriteFile(Dir.File("a.mp3"), theirs);
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_EQ(ReadFile(Dir.File("a.mp3")), theirs);
    ASSERT_THAT(Port.Errors, ::testing::SizeIs(1));
    EXPECT_THAT(Port.Errors[0], HasSubstr("изменён другой программой после чтения"));
}

TEST(Boundary, AMoveStoppedUnderARelativePathIsUndoneFromAnyWorkingFolder) {
    TempDir top;
    fs::create_directories(top.File("music/D001"));
    WriteFile(top.File("music/a.mp3"), std::string("aaaa"));
    WriteFile(top.File("music/D001/a.mp3"), std::string());  // the placeholder of a stopped move
    const fs::path cwd = fs::current_path();
    fs::current_path(top.Path());
    TJournal journal = TJournal::Of(TJournal::EKind::Claim, "music/a.mp3", "music/D001/a.mp3");
    ASSERT_TRUE(WriteJournal(RealSysCalls(), journal));
    fs::current_path(cwd);
    fs::rename(journal.Path, top.File("music/.velmora-99999999-1.journal"));
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"list", top.File("music")}, out, err), 0);
    EXPECT_EQ(FilesUnder(top.File("music")), std::vector<std::string>{"a.mp3"});
}

}  // namespace
}  // namespace velmora::test
