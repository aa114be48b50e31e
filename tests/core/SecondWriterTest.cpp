// A second writer, a second user and a swapped path: another tagger writing a file around a tag
// save or a strip, a journal forged by another user in a shared folder, the opened folder renamed
// and a link put in its place mid-run, hard links from outside, devices and FIFOs as targets,
// files that are not MPEG audio, and a batch run again after a kill.
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>

#include "cli/CliCommand.h"
#include "core/files/FolderLock.h"
#include "core/files/Journal.h"
#include "core/files/SafeMove.h"
#include "core/files/TagBlockWrite.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

int Cli(const std::vector<std::string>& args, std::string* out = nullptr) {
    std::ostringstream o, e;
    const int status = RunCli(args, o, e);
    if (out != nullptr)
        *out = o.str() + e.str();
    return status;
}

// Audio behind an ID3v2 tag of `tagSize` bytes, with an ID3v1 tag.
std::vector<uint8_t> Tagged(size_t tagSize, const char* title = "Old") {
    TMp3Builder b;
    b.ID3v2(tagSize).Frames({}, 8).ID3v1({.Title = title});
    return b.Build();
}

// Another program writing the file over in place, as a tagger that grows its ID3v2 tag does:
// the same inode, new bytes from the start.
void RewriteInPlace(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// The real calls, with another program acting right before the nth call of one kind.
struct TMeddling : TSysCalls {
    enum class ECall { Fstat, Lstat, RenameExchange } At = ECall::Fstat;
    int Nth = 1;
    std::function<void()> Act;
    int Seen = 0;
    void Before(ECall call) {
        if (call == At && ++Seen == Nth && Act)
            std::exchange(Act, nullptr)();
    }
    int Fstat(int fd, struct stat* st) override {
        Before(ECall::Fstat);
        return TSysCalls::Fstat(fd, st);
    }
    int Lstat(const char* path, struct stat* st) override {
        Before(ECall::Lstat);
        return TSysCalls::Lstat(path, st);
    }
    int RenameExchange(const char* a, const char* b) override {
        Before(ECall::RenameExchange);
        return TSysCalls::RenameExchange(a, b);
    }
};

TEST(SecondWriter, ATagBlockGoesOnlyIntoTheFileThatWasReadAndNeverIntoTheAudio) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    const std::vector<uint8_t> original = Tagged(600);
    const std::vector<uint8_t> grown = Tagged(4000);  // the tagger's: its ID3v2 tag grown
    const std::vector<uint8_t> block = ID3v1Block({.Title = "New"});
    struct TCase {
        const char* When;
        TMeddling::ECall At;
        int Nth;
        std::function<void()> Other;  // what the other program does then
        bool Changed;
        std::vector<uint8_t> Left;
    };
    std::vector<uint8_t> written = original;
    std::copy(block.begin(), block.end(), written.end() - 128);
    const TCase cases[] = {
        {"nobody else writes", TMeddling::ECall::Fstat, 1, nullptr, false, written},
        {"a tagger rewrote it before the check", TMeddling::ECall::Fstat, 1,
         [&] { RewriteInPlace(path, grown); }, true, grown},
        {"a tagger rewrote it right after the write", TMeddling::ECall::Fstat, 2,
         [&] { RewriteInPlace(path, grown); }, true, grown},
        {"same size, the modification time put back", TMeddling::ECall::Fstat, 1,
         [&] {
             struct stat st {};
             stat(path.c_str(), &st);
             std::vector<uint8_t> other = original;
             other[700] ^= 0xFF;
             RewriteInPlace(path, other);
             const timespec times[2] = {st.st_atim, st.st_mtim};
             utimensat(AT_FDCWD, path.c_str(), times, 0);
         },
         true,
         [&] {
             std::vector<uint8_t> other = original;
             other[700] ^= 0xFF;
             return other;
         }()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.When);
        WriteFile(path, original);
        TAudioInfo info;
        info.LoadFromFile(path);
        TMeddling meddling;
        meddling.At = c.At;
        meddling.Nth = c.Nth;
        meddling.Act = c.Other;
        const TTagBlockWrite done =
            WriteTagBlock(meddling, path, info.Identity, info.ID3v1.ReadBlock, block.data());
        EXPECT_EQ(done.Changed, c.Changed);
        EXPECT_EQ(done.Error, 0);
        EXPECT_EQ(ReadFile(path), c.Left);
    }
}

TEST(SecondWriter, AStripPutsItsCopyUnderTheNameOnlyInPlaceOfTheFileItCopied) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    const std::vector<uint8_t> original = Tagged(1024);
    const std::vector<uint8_t> other = Tagged(2048, "Other");
    std::vector<uint8_t> sameSize = original;
    sameSize[2000] ^= 0xFF;
    struct TCase {
        const char* When;
        TMeddling::ECall At;
        int Nth;
        std::function<void()> Other;
        std::vector<uint8_t> Left;
    };
    const TCase cases[] = {
        // The first Lstat is the link test, the second the check before the exchange.
        {"written in place while it was copied (its size kept)", TMeddling::ECall::Fstat, 2,
         [&] { RewriteInPlace(path, sameSize); }, sameSize},
        {"replaced by another file right before the exchange", TMeddling::ECall::RenameExchange, 1,
         [&] {
             WriteFile(dir.File("other"), other);
             fs::rename(dir.File("other"), path);
         },
         other},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.When);
        WriteFile(path, original);
        TAudioInfo info;
        info.LoadFromFile(path);
        TMeddling meddling;
        meddling.At = c.At;
        meddling.Nth = c.Nth;
        meddling.Act = c.Other;
        EXPECT_EQ(SafeRewriteFile(meddling, path, 1024, info.Identity, info.ID3v2Head).Error,
                  ESTALE);
        EXPECT_EQ(ReadFile(path), c.Left);
        EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{"a.mp3"});
    }
}

// The batch goes on past a file another program wrote since it was read, and says so.
TEST_F(ModelTest, TheBatchSavesNoTagIntoAFileChangedSinceItWasRead) {
    PutTagged("a.mp3", {.Title = "A"}, 2);
    PutTagged("b.mp3", {.Title = "B"}, 2);
    struct TTaggerBeside : TFaultyFs {
        std::string Victim;
        void SaveID3v1(const std::string& path, TID3v1Tag& tag, TFileIdentity& id) override {
            if (path == Victim)
                RewriteInPlace(path, Tagged(4000));
            TFaultyFs::SaveID3v1(path, tag, id);
        }
    } fs;
    fs.Victim = Dir.File("a.mp3");
    TMainModel model(Port, fs);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(Dir.Path()); });
    model.Run([&] { model.SetBox(model.cbAllFilesTrans, true); });
    const TBatchLog log = model.RunBatch();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Kind, TBatchEvent::TKind::Fail);
    EXPECT_EQ(log[0].Detail, "файл изменён другой программой после чтения: тег не записан");
    EXPECT_EQ(log[1].Kind, TBatchEvent::TKind::Save);
    EXPECT_EQ(ReadFile(Dir.File("a.mp3")), Tagged(4000));
}

// Runs `body` in a child as another user (nobody), when this is root; returns its exit code, or
// -1 when no other user can be had here.
int AsAnotherUser(const std::function<int()>& body) {
    if (geteuid() != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 100 ? WEXITSTATUS(status) : -1;
}

// In a shared folder (sticky, like /tmp) a user who may not remove root's a.mp3 leaves a decoy of
// its size and a journal saying a.mp3 was copied onto it: root's next open must not obey it.
TEST(SecondWriter, AJournalAnotherUserWroteIsNeverObeyed) {
    for (const bool sameUser : {false, true}) {
        SCOPED_TRACE(sameUser ? "written by the user running the program" : "by another user");
        TempDir dir;
        ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
        const std::string shared = dir.File("shared");
        fs::create_directory(shared);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        const std::vector<uint8_t> song = Mp3Bytes(3);
        WriteFile(shared + "/a.mp3", song);
        const auto forge = [&] {
            WriteFile(shared + "/decoy.mp3", std::vector<uint8_t>(song.size(), 0));
            struct stat decoy {};
            stat((shared + "/decoy.mp3").c_str(), &decoy);
            TJournal journal =
                TJournal::Of(TJournal::EKind::Copy, shared + "/a.mp3", shared + "/decoy.mp3");
            if (!WriteJournal(RealSysCalls(), journal) ||
                !AddJournalInode(RealSysCalls(), journal, decoy.st_dev, decoy.st_ino))
                return 1;
            return rename(journal.Path.c_str(), (shared + "/.velmora-99999999-1.journal").c_str());
        };
        if (sameUser) {
            ASSERT_EQ(forge(), 0);
        } else {
            const int forged = AsAnotherUser(forge);
            if (forged < 0)
                GTEST_SKIP() << "another user is needed (the test runs the forger as nobody when "
                                "it runs as root)";
            ASSERT_EQ(forged, 0);
        }
        std::string out;
        EXPECT_EQ(Cli({"list", shared}, &out), 0);
        // The control: a journal of the user's own is obeyed as the program's own.
        EXPECT_EQ(fs::exists(shared + "/a.mp3"), !sameUser);
        if (!sameUser) {
            EXPECT_EQ(ReadFile(shared + "/a.mp3"), song);
            EXPECT_THAT(out, HasSubstr(".velmora-99999999-1.journal"));
        }
    }
}

// The folder renamed and a link to another folder put in its place in the middle of a step: the
// rest of the step still acts on the folder opened, and the batch stops there.
TEST_F(ModelTest, ABatchWhoseFolderIsSwappedStopsAndNeverTouchesTheOtherFolder) {
    const std::string music = Dir.File("music"), other = Dir.File("other");
    fs::create_directories(music);
    fs::create_directories(other);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        WriteFile(music + "/" + name, Mp3Bytes(2));
        WriteFile(other + "/" + name, Mp3Bytes(3));
    }
    struct TSwapping : TFaultyFs {
        std::string Music, Other;
        TMoveResult CreateDir(const std::string& path) override {
            const TMoveResult made = TFaultyFs::CreateDir(path);
            if (!Music.empty()) {
                fs::rename(Music, Music + "-moved");
                fs::create_directory_symlink(Other, std::exchange(Music, ""));
            }
            return made;
        }
    } swapping;
    swapping.Music = music;
    swapping.Other = other;
    TMainModel model(Port, swapping);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(music); });
    model.Run([&] { model.SetBox(model.cbAllFilesMoveToDir, true); });
    const TBatchLog log = model.RunBatch();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Kind, TBatchEvent::TKind::Fail);
    EXPECT_EQ(log.back().Detail, FolderMovedText(music));
    EXPECT_EQ(FilesUnder(other), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(FilesUnder(music + "-moved"),
              (std::vector<std::string>{"D001/a.mp3", "b.mp3", "c.mp3"}));
}

// The same between two commands of the window: the folder opened is renamed and a link to another
// put in its place; the next command that changes the folder refuses.
TEST_F(ModelTest, ACommandAfterTheFolderWasSwappedRefusesAndTouchesNothing) {
    const std::string music = Dir.File("music"), other = Dir.File("other");
    for (const std::string& folder : {music, other}) {
        fs::create_directories(folder);
        WriteFile(folder + "/a.mp3", Mp3Bytes(2));
    }
    Open(music);
    fs::rename(music, music + "-moved");
    fs::create_directory_symlink(other, music);
    Do(&TMainModel::btnDirAndMoveClick);
    EXPECT_THAT(Port.Errors, ::testing::ElementsAre(FolderMovedText(music)));
    EXPECT_EQ(FilesUnder(other), std::vector<std::string>{"a.mp3"});
    EXPECT_EQ(FilesUnder(music + "-moved"), std::vector<std::string>{"a.mp3"});
}

// A link that leads out of the folder, should the check before the save let it pass (a link
// swapped in between): the save itself, opening the file beneath the held folder, refuses it.
TEST_F(ModelTest, ASaveNeverGoesThroughALinkOutOfTheHeldFolder) {
    const std::string music = Dir.File("music"), outside = Dir.File("outside");
    fs::create_directories(music);
    fs::create_directories(outside);
    const std::vector<uint8_t> song = Mp3Bytes(2);
    WriteFile(outside + "/song.mp3", song);
    fs::create_symlink(outside + "/song.mp3", music + "/song.mp3");
    struct TBlind : TFaultyFs {
        bool Within(const std::string&, const std::string&) override { return true; }
    } blind;
    TMainModel model(Port, blind);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(music); });
    model.Run([&] { model.SetBox(model.cbAllFilesTrans, true); });
    const TBatchLog log = model.RunBatch();
    ASSERT_FALSE(log.empty());
    EXPECT_THAT(log.back().Detail, HasSubstr("ссылка на файл вне открытой папки"));
    EXPECT_EQ(ReadFile(outside + "/song.mp3"), song);
}

// A library copied with cp -al: its files have a second name outside the folder.
TEST_F(ModelTest, AFileWithOtherNamesIsLeftByTheBatchAndAskedAboutByTheWindow) {
    const std::string outside = Dir.File("library"), music = Dir.File("music");
    fs::create_directories(outside);
    fs::create_directories(music);
    const std::vector<uint8_t> song = Mp3Bytes(2, nullptr);
    WriteFile(outside + "/song.mp3", song);
    ASSERT_EQ(link((outside + "/song.mp3").c_str(), (music + "/song.mp3").c_str()), 0);
    std::string run;
    EXPECT_EQ(Cli({"run", music, "--translit", "--set", "title=Car", "--tsv"}, &run), 1);
    EXPECT_THAT(run, HasSubstr("fail\tsong.mp3\t-\tу файла есть другие имена (жёсткие ссылки, "
                               "всего 2): файл не изменён"));
    EXPECT_EQ(ReadFile(outside + "/song.mp3"), song);

    Open(music);
    for (const bool yes : {false, true}) {
        Edit(Model.edTitle, yes ? "Yes" : "No");
        Port.YesNoAnswers.push_back(yes);
        Do(&TMainModel::btnSaveID3Click);
        EXPECT_THAT(Port.Questions.back(), HasSubstr("есть другие имена"));
        EXPECT_EQ(ReadFile(outside + "/song.mp3").size(), song.size() + (yes ? 128 : 0));
    }
}

// Standard output, /dev/null, a FIFO: written into, never replaced by a regular file.
TEST(SecondWriter, DevicesAndFifosAsTargetsAreWrittenIntoAndStayWhatTheyAre) {
    TempDir dir;
    const std::string music = dir.File("music");
    fs::create_directories(music);
    TMp3Builder song;
    song.Frames({}, 200).ID3v1({.Title = "Song", .Artist = "Band"});
    WriteFile(music + "/song.mp3", song.Build());
    const std::string fifo = dir.File("fifo"), null = dir.File("null");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", null);
    // What a reader of the FIFO gets: the test holds it open for reading (and writing, so that
    // opening it never waits) while the command runs, then takes what is in it.
    const auto readFifo = [&](const std::function<void()>& command) {
        const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        command();
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<size_t>(n));
        close(fd);
        return got;
    };
    struct TCase {
        std::vector<std::string> Args;
        bool Fifo;  // read from the FIFO meanwhile
        int Status;
        const char* Got;  // in what the FIFO's reader got
    };
    const TCase cases[] = {
        {{"report", "files", music, "--out", fifo}, true, 0, "song"},
        {{"report", "files", music, "--out", null}, false, 0, ""},
        {{"image", music, dir.File("a.iso"), "--list", fifo}, true, 0, "Song"},
        {{"image", music, dir.File("b.iso"), "--list", fifo, "--replace"}, true, 0, "Song"},
        {{"image", music, fifo, "--replace"}, false, 1, ""},
        // Nobody reads: the command says so instead of waiting.
        {{"report", "files", music, "--out", fifo}, false, 1, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Args));
        std::string out;
        const auto command = [&] { EXPECT_EQ(Cli(c.Args, &out), c.Status) << out; };
        if (c.Fifo)
            EXPECT_THAT(readFifo(command), HasSubstr(c.Got));
        else
            command();
        EXPECT_TRUE(fs::is_fifo(fifo));
        EXPECT_TRUE(fs::is_symlink(null));
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
}

// A WAV file, a text file and an MPEG Layer II file named .mp3 get no tag from the batch, with a
// line each; a file whose MPEG stream is damaged gets one as before, and so does any file saved
// by the window's button.
TEST_F(ModelTest, TheBatchWritesNoTagIntoAFileThatIsPlainlyNotMpegAudio) {
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E'};
    wav.resize(4000, 0);
    const std::string text(3000, 'x');
    TMp3Builder mp2, damaged;
    mp2.Frames({.Layer = 2}, 20);
    damaged.Frames({}, 1).Bytes(3000, 0x11);
    WriteFile(Dir.File("a.mp3"), Mp3Bytes(2));
    WriteFile(Dir.File("damaged.mp3"), damaged.Build());
    WriteFile(Dir.File("mp2.mp3"), mp2.Build());
    WriteFile(Dir.File("text.mp3"), text);
    WriteFile(Dir.File("wav.mp3"), wav);
    std::string plan, run;
    const std::vector<std::string> options = {"--translit", "--set", "title=Car", "--tsv"};
    for (std::string* out : {&plan, &run}) {
        std::vector<std::string> args = {out == &plan ? "plan" : "run", Dir.Path()};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(Cli(args, out), 0);
    }
    EXPECT_EQ(plan, run);
    for (const char* line : {"warn\tmp2.mp3\t-\tMPEG Layer II (MP2), а не MP3: теги не изменены",
                             "warn\ttext.mp3\t-\tв файле нет кадров MPEG: это не MP3: теги не "
                             "изменены",
                             "warn\twav.mp3\t-\tфайл WAV (RIFF), а не MP3: теги не изменены",
                             "save\ta.mp3", "save\tdamaged.mp3"})
        EXPECT_THAT(run, HasSubstr(line));
    EXPECT_EQ(ReadFile(Dir.File("wav.mp3")), wav);
    EXPECT_EQ(ReadFile(Dir.File("text.mp3")).size(), text.size());
    EXPECT_EQ(ReadFile(Dir.File("mp2.mp3")), mp2.Build());

    Open();
    Click(4);  // wav.mp3: the window's save writes what it is asked to
    Edit(Model.edTitle, "Mine");
    Do(&TMainModel::btnSaveID3Click);
    EXPECT_EQ(ReadFile(Dir.File("wav.mp3")).size(), wav.size() + 128);
}

// A batch killed right after it made a folder: the next run finds no folder of its own in its
// way, and the folder the user had stays.
TEST_F(ModelTest, ABatchRunAgainAfterAKillFindsNoEmptyFolderOfItsOwn) {
    PutUntagged("a.mp3");
    PutUntagged("b.mp3");
    fs::create_directory(Dir.File("D002"));  // the user's own
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HoldFolder(Dir.Path());
        MakeJournaledFolder(RealSysCalls(), Dir.File("D001"));
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(fs::is_directory(Dir.File("D001")));
    std::string out;
    Cli({"run", Dir.Path(), "--folders=numbered", "--tsv"}, &out);
    EXPECT_EQ(Lines(out), (std::vector<std::string>{
                              "mkdir\tD001\t-\t-", "move\ta.mp3\tD001/a.mp3\t-",
                              "skip\tb.mp3\t-\tпапку D002 создать нельзя (она уже есть)"}));
    EXPECT_EQ(FilesUnder(Dir.Path()), (std::vector<std::string>{"D001/a.mp3", "b.mp3"}));
    EXPECT_TRUE(fs::is_directory(Dir.File("D002")));
}

TEST(SecondWriter, TwoSpellingsOfOneFolderAreOneLockAndAnotherProcessWaitsForNone) {
    TempDir dir;
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.Path());
    fs::create_directory("music");
    {
        const TFolderLock relative(RealFileSystem(), "music");
        const TFolderLock absolute(RealFileSystem(), dir.File("music"));
        EXPECT_TRUE(relative.Held());
        EXPECT_TRUE(absolute.Held());
        // Another process's lock on the folder fails at once.
        const pid_t child = fork();
        if (child == 0) {
            const int fd = open(dir.File("music").c_str(), O_RDONLY | O_DIRECTORY);
            _exit(flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "another process took a held folder";
    }
    EXPECT_TRUE(TFolderLock(RealFileSystem(), "music").Held());
    fs::current_path(cwd);
}

}  // namespace
}  // namespace velmora::test
