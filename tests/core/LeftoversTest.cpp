// What the folder open removes or puts back, what it leaves alone, temporary names on long
// names, and report writes in folders that refuse new files.
#include "core/files/Leftovers.h"

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "cli/CliFolder.h"
#include "core/files/Journal.h"
#include "core/files/SafeMove.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// No process has this number (it is above the kernel's limit), so its files are nobody's.
constexpr const char* kGonePid = "99999999";

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.push_back(e.path().string().substr(folder.size() + 1));
    std::sort(names.begin(), names.end());
    return names;
}

// Writes a journal as a stopped process of ours would have left it: with the inode of its
// temporary file, when there is one, unless `noInode` (stopped before it was recorded).
void LeaveJournal(TJournal::EKind kind, const std::string& from, const std::string& to,
                  const std::string& temp = "", bool noInode = false) {
    TJournal journal = TJournal::Of(kind, from, to);
    journal.Temp = temp;
    ASSERT_TRUE(WriteJournal(RealSysCalls(), journal));
    struct stat st {};
    if (!noInode && !temp.empty() && lstat(temp.c_str(), &st) == 0) {
        ASSERT_TRUE(AddJournalInode(RealSysCalls(), journal, st.st_dev, st.st_ino));
    }
    static int count = 0;
    fs::rename(journal.Path,
               JoinPath(ParentOf(journal.Path), std::string(".velmora-") + kGonePid + "-" +
                                                    std::to_string(++count) + ".journal"));
}

// Writes a journal into `folder` by hand: the format of this version, with the paths as given
// and the folder's own device and inode (or another's), as a stopped copy would have left it or
// as a hostile folder could bring it.
std::string ForgeJournal(const std::string& folder, char kind, const std::string& from,
                         const std::string& to, const std::string& temp = "", bool ownFolder = true,
                         const struct stat* object = nullptr) {
    struct stat st {};
    stat((ownFolder ? folder : ParentOf(folder)).c_str(), &st);
    std::string bytes = std::string("velmora-journal-2") + '\0' + kind + '\0' + from + '\0' + to +
                        '\0' + temp + '\0' + std::to_string(st.st_dev) + " " +
                        std::to_string(st.st_ino) + '\0';
    if (object != nullptr)
        bytes += std::to_string(object->st_dev) + " " + std::to_string(object->st_ino) + '\0';
    static int count = 100;
    const std::string path = JoinPath(
        folder, std::string(".velmora-") + kGonePid + "-" + std::to_string(++count) + ".journal");
    WriteFile(path, bytes);
    chmod(path.c_str(), 0600);  // as the program makes them: the boundary is what refuses them
    return path;
}

// Every file under a folder with its bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = e.path().string().substr(folder.size() + 1);
        tree[rel] = e.is_symlink()        ? "-> " + fs::read_symlink(e.path()).string()
                    : e.is_regular_file() ? Text(e.path().string())
                                          : "/";
    }
    return tree;
}

TEST(Leftovers, ATemporaryFileGoesOnlyWithTheJournalThatNamesIt) {
    TempDir dir;
    const std::string gone = std::string(".velmora-") + kGonePid;
    const std::string mine = ".velmora-" + std::to_string(getpid());
    fs::create_directories(dir.File("D001/deeper"));
    WriteFile(dir.File(gone + "-1.tmp"), std::string("named by a journal"));
    LeaveJournal(TJournal::EKind::Rewrite, dir.File("song.mp3"), "", dir.File(gone + "-1.tmp"));
    WriteFile(dir.File("D001/" + gone + "-2.tmp"), std::string("named too"));
    LeaveJournal(TJournal::EKind::Rewrite, dir.File("D001/x.mp3"), "",
                 dir.File("D001/" + gone + "-2.tmp"));
    struct TCase {
        std::string Name;
        bool Reported;  // named like ours, left, and told about
    };
    LeaveJournal(TJournal::EKind::Rewrite, dir.File("song.mp3"), "", dir.File(gone + "-12.tmp"),
                 true);
    const TCase kept[] = {
        {gone + "-3.tmp", true},      // no journal names it: a user's file that looks like ours
        {gone + "-4.journal", true},  // not ours: "x" begins no record
        {"D001/deeper/" + gone + "-5.tmp", false},  // only the folder and its subfolders
        {mine + "-6.tmp", false},                   // a running process's file
        {gone + "-7.move", true},                   // the user's file, put back only by its journal
        {".velmora-x1-8.tmp", false},
        {gone + "-9.tmpx", false},
        {"velmora-" + std::string(kGonePid) + "-11.tmp", false},
        {"song.mp3", false},
        // Named by a journal stopped before it recorded the inode: a file of ours is empty then.
        {gone + "-12.tmp", true},
        // Named like an unfinished journal, but made by no journal of ours: empty and readable
        // by others, and a FIFO.
        {gone + "-13.journal", true},
        {gone + "-14.journal", true},
    };
    for (const TCase& c : kept)
        WriteFile(dir.File(c.Name), std::string("x"));
    WriteFile(dir.File(gone + "-13.journal"), std::string());
    fs::remove(dir.File(gone + "-14.journal"));
    ASSERT_EQ(mkfifo(dir.File(gone + "-14.journal").c_str(), 0600), 0);
    const TLeftovers done = CleanLeftovers(dir.Path());
    EXPECT_EQ(done.Handled, 5);  // three journals, two files
    EXPECT_FALSE(fs::exists(dir.File(gone + "-1.tmp")));
    EXPECT_FALSE(fs::exists(dir.File("D001/" + gone + "-2.tmp")));
    std::vector<std::string> reported;
    for (const TCase& c : kept) {
        EXPECT_TRUE(fs::exists(dir.File(c.Name))) << c.Name;
        if (c.Reported)
            reported.push_back(dir.File(c.Name));
    }
    std::sort(reported.begin(), reported.end());
    std::vector<std::string> ignored = done.Ignored;
    for (std::string& path : ignored)
        path = fs::weakly_canonical(path).string();
    for (std::string& path : reported)
        path = fs::weakly_canonical(path).string();
    EXPECT_EQ(ignored, reported);
    EXPECT_EQ(CleanLeftovers("").Handled, 0);
}

TEST(Leftovers, JournalsCompleteOrUndoTheirMovesAndTouchNothingElse) {
    TempDir dir;
    const auto path = [&](const std::string& name) { return dir.File(name); };
    fs::create_directory(path("D001"));
    // A case-only rename stopped between its steps: the file comes back under its name.
    WriteFile(path(".velmora-1-1.move"), std::string("case"));
    LeaveJournal(TJournal::EKind::CaseRename, path("Song.mp3"), path("song.mp3"),
                 path(".velmora-1-1.move"));
    // A placeholder stopped before its inode was noted, its file still there: it goes.
    WriteFile(path("a.mp3"), std::string("aaaa"));
    WriteFile(path("D001/a.mp3"), std::string());
    LeaveJournal(TJournal::EKind::Claim, path("a.mp3"), path("D001/a.mp3"));
    // The same, but the file to move is gone: the empty file may be the moved one and stays.
    WriteFile(path("D001/b.mp3"), std::string());
    LeaveJournal(TJournal::EKind::Claim, path("b.mp3"), path("D001/b.mp3"));
    // A hard link made, the old name not yet removed.
    WriteFile(path("c.mp3"), std::string("cccc"));
    ASSERT_EQ(link(path("c.mp3").c_str(), path("D001/c.mp3").c_str()), 0);
    LeaveJournal(TJournal::EKind::HardLink, path("c.mp3"), path("D001/c.mp3"));
    // A hard-link journal whose names are two different files: both stay.
    WriteFile(path("d.mp3"), std::string("dddd"));
    WriteFile(path("D001/d.mp3"), std::string("dddd"));
    LeaveJournal(TJournal::EKind::HardLink, path("d.mp3"), path("D001/d.mp3"));
    // A copy journal without the copy's inode: the source stays.
    WriteFile(path("e.mp3"), std::string("eeee"));
    WriteFile(path("D001/e.mp3"), std::string("eeee"));
    LeaveJournal(TJournal::EKind::Copy, path("e.mp3"), path("D001/e.mp3"));

    EXPECT_THAT(CleanLeftovers(dir.Path()).Ignored, ::testing::IsEmpty());
    EXPECT_EQ(Entries(dir.Path()),
              (std::vector<std::string>{"D001", "D001/b.mp3", "D001/c.mp3", "D001/d.mp3",
                                        "D001/e.mp3", "Song.mp3", "a.mp3", "d.mp3", "e.mp3"}));
    EXPECT_EQ(Text(path("Song.mp3")), "case");
}

// A folder brought by someone else (an archive, a stick, a share) with journals and files named
// like ours: opening it, by the window's model or by velmora-cli, changes nothing outside it and
// removes no file of the user inside it.
TEST(Leftovers, AHostileFolderCannotReachOutsideNorRemoveTheUsersFiles) {
    TempDir top;
    const std::string music = top.File("music");
    const std::string outside = top.File("outside");
    fs::create_directories(music + "/D001");
    fs::create_directories(outside);
    for (const char* name : {"victim1", "victim2", "victim3", "victim4", "victim5"})
        WriteFile(JoinPath(outside, name), std::string(name));
    WriteFile(JoinPath(outside, "empty"), std::string());
    fs::create_directory_symlink("../outside", music + "/lnk");
    const auto in = [&](const std::string& name) { return JoinPath(music, name); };
    const auto out = [&](const std::string& name) { return JoinPath(outside, name); };
    WriteFile(in("a.mp3"), Mp3Bytes(1));
    WriteFile(in("song.mp3"), Mp3Bytes(1));
    WriteFile(in("D001/empty.mp3"), std::string());
    ASSERT_EQ(link(out("victim2").c_str(), in("twin").c_str()), 0);
    struct stat victim2 {};
    stat(out("victim2").c_str(), &victim2);
    struct stat emptyOut {};
    stat(out("empty").c_str(), &emptyOut);
    const std::string hidden = std::string(".velmora-") + kGonePid + "-1.move";
    WriteFile(in(hidden), std::string("a user's hidden file"));

    const auto make = [&] {
        // Absolute paths out of the folder, one kind each.
        ForgeJournal(music, 'h', out("victim1"), in("a.mp3"));
        ForgeJournal(music, 'h', out("victim2"), in("twin"));
        ForgeJournal(music, 'c', in("a.mp3"), out("empty"), "", true, &emptyOut);
        ForgeJournal(music, 'x', out("victim2"), in("twin"), "", true, &victim2);
        ForgeJournal(music, 'r', in("song.mp3"), out("moved-in"), out("victim3"));
        ForgeJournal(music, 'r', out("victim4"), out("taken"), in(hidden));
        // Relative paths, read against whatever the working folder is.
        ForgeJournal(music, 'h', "../outside/victim5", "a.mp3");
        // Through a link that leads out of the folder.
        ForgeJournal(music, 'h', in("lnk/victim5"), in("lnk/victim1"));
        ForgeJournal(music, 'c', in("a.mp3"), in("lnk/empty"), "", true, &emptyOut);
        // A journal of another folder (copied in): its own paths inside, never obeyed.
        ForgeJournal(music, 'c', in("song.mp3"), in("D001/empty.mp3"), "", false);
        // Old format, and files that only look like ours.
        WriteFile(in(std::string(".velmora-") + kGonePid + "-9.journal"),
                  std::string("velmora-journal-1\0h\0") + out("victim1") + '\0' + in("a.mp3"));
        WriteFile(in(std::string(".velmora-") + kGonePid + "-10.tmp"), std::string("mine"));
    };
    const auto outsideBefore = Tree(outside);
    make();
    const auto insideBefore = Tree(music);
    // The clean-up itself, with no folder held (a held folder would refuse the links on its own).
    CleanLeftovers(music);
    EXPECT_EQ(Tree(outside), outsideBefore);

    // The window's model.
    TScriptedPort port;
    TMainModel model(port);
    model.FormCreate();
    port.FolderAnswers.push_back(music);
    model.Run([&] { model.FileMenuAddDirClick(); });
    EXPECT_EQ(Tree(outside), outsideBefore);
    EXPECT_EQ(Tree(music), insideBefore);
    EXPECT_EQ(model.TrackList, (std::vector<std::string>{"a.mp3", "song.mp3"}));
    ASSERT_THAT(port.Messages, ::testing::SizeIs(1));
    EXPECT_THAT(port.Messages[0], ::testing::HasSubstr(hidden));
    // Told once a run.
    port.FolderAnswers.push_back(music);
    model.Run([&] { model.FileMenuAddDirClick(); });
    EXPECT_THAT(port.Messages, ::testing::SizeIs(1));

    // The command line, from another working folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(top.Path());
    std::ostringstream cliOut, cliErr;
    EXPECT_EQ(ListFolder("music", cliOut, cliErr), 0);
    fs::current_path(cwd);
    EXPECT_EQ(Tree(outside), outsideBefore);
    EXPECT_EQ(Tree(music), insideBefore);
}

TEST(Leftovers, TemporaryNamesFitBesideTheLongestName) {
    TempDir dir;
    const std::string name = std::string(251, 'n') + ".trs";  // 255 bytes, the most there is
    RealFileSystem().WriteFileReplacing(dir.File(name), "first");
    RealFileSystem().WriteFileReplacing(dir.File(name), "second");
    EXPECT_EQ(Text(dir.File(name)), "second");

    struct TCrossing : TSysCalls {
        int Renames = 0;
        int RenameNoReplace(const char* from, const char* to) override {
            return ++Renames == 1 ? (errno = EXDEV, -1) : TSysCalls::RenameNoReplace(from, to);
        }
    } crossing;
    const std::string song = std::string(251, 's') + ".mp3";
    fs::create_directory(dir.File("D001"));
    ASSERT_TRUE(SafeMoveFile(crossing, dir.File(name), dir.File("D001/" + song)).Ok);
    ASSERT_TRUE(SafeRewriteFile(RealSysCalls(), dir.File("D001/" + song), 3).Ok);
    EXPECT_EQ(Text(dir.File("D001/" + song)), "ond");
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"D001", "D001/" + song}));
    EXPECT_EQ(SafeRewriteFile(RealSysCalls(), dir.File("D001/" + song), 4).Error, EINVAL);
}

TEST(Leftovers, AReportWriteKilledHalfWayLeavesTheOldReportAndNothingAfterTheOpen) {
    TempDir dir;
    const std::string report = dir.File("report.txt");
    WriteFile(report, std::string("the old report"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writing past the file-size limit kills the process (SIGXFSZ), with no core file.
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
        const rlimit small{1000, 1000};  // the journal fits, the new report does not
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        try {
            RealFileSystem().WriteFileReplacing(report, std::string(4000, 'n'));
        } catch (...) {
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Entries(dir.Path()).size(), 3u);  // the report, the hidden half and its journal
    EXPECT_EQ(CleanLeftovers(dir.Path()).Handled, 2);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"report.txt"});
    EXPECT_EQ(Text(report), "the old report");
}

// Runs `body` in a child that cannot write to `folder` (another user when this is root);
// returns the child's exit code, or -1 when no such child can be made here.
int AsUserWithoutWriteAccess(const std::string& folder, const std::function<int()>& body) {
    if (chmod(folder.c_str(), 0555) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                               setresuid(65534, 65534, 65534) != 0)) {
            _exit(100);
        }
        if (access(folder.c_str(), W_OK) == 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(folder.c_str(), 0755);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 100)
        return -1;
    return WEXITSTATUS(status);
}

TEST(Leftovers, AReportInAFolderThatRefusesNewFilesIsOverwrittenInPlaceOnlyWhenAllowed) {
    TempDir dir;
    const std::string report = dir.File("report.txt");
    WriteFile(report, std::string("the old report, longer than the new one"));
    ASSERT_EQ(chmod(report.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const int written = AsUserWithoutWriteAccess(dir.Path(), [&] {
        try {
            RealFileSystem().WriteFileReplacing(report, "new report");
            return 1;
        } catch (const EInPlaceNeeded& e) {
            if (std::string(e.what()) != InPlaceNeededText(report))
                return 4;  // the true reason: the folder takes no new file, the file is writable
        }
        if (Text(report) != "the old report, longer than the new one")
            return 2;
        try {
            RealFileSystem().WriteFileReplacing(report, "new report", true);
        } catch (const EStreamError&) {
            return 3;
        }
        return 0;
    });
    if (written < 0)
        GTEST_SKIP() << "no user without write access to a folder can be had here";
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Text(report), "new report");
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"report.txt"});

    // A write cut short by a file-size limit says the file is incomplete now.
    const int cut = AsUserWithoutWriteAccess(dir.Path(), [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4, 4};
        setrlimit(RLIMIT_FSIZE, &small);
        try {
            RealFileSystem().WriteFileReplacing(report, "much longer than four bytes", true);
        } catch (const EStreamError& e) {
            return std::string(e.what()).find("overwritten in place and is incomplete") !=
                           std::string::npos
                       ? 2
                       : 3;
        }
        return 0;
    });
    EXPECT_EQ(cut, 2);

    // A file the user may not write either: the folder's refusal is the message.
    ASSERT_EQ(chmod(report.c_str(), 0644), 0);
    const int refused = AsUserWithoutWriteAccess(dir.Path(), [&] {
        try {
            RealFileSystem().WriteFileReplacing(report, "x");
        } catch (const EStreamError& e) {
            return std::string(e.what()) == CannotCreateText(report, "Permission denied") ? 4 : 5;
        }
        return 0;
    });
    EXPECT_EQ(refused, 4);
}

class LeftoversModelTest : public ModelTest {};

TEST_F(LeftoversModelTest, OpeningTheFolderPutsBackAFileOfAStoppedRename) {
    PutUntagged("a.mp3");
    fs::rename(Dir.File("a.mp3"), Dir.File(".velmora-1-1.move"));
    LeaveJournal(TJournal::EKind::CaseRename, Dir.File("a.mp3"), Dir.File("A.mp3"),
                 Dir.File(".velmora-1-1.move"));
    Open();
    EXPECT_EQ(Model.TrackList, std::vector<std::string>{"a.mp3"});
    EXPECT_EQ(Entries(Dir.Path()), std::vector<std::string>{"a.mp3"});
    EXPECT_THAT(Port.Messages, ::testing::IsEmpty());
}

}  // namespace
}  // namespace velmora::test
