// What the folder open removes or puts back, what it leaves alone, temporary names on long
// names, and report writes in folders that refuse new files.
#include "core/Leftovers.h"
#include "core/SafeMove.h"

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

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

// Writes a journal as a stopped process of ours would have left it.
void LeaveJournal(TJournal::EKind kind, const std::string& from, const std::string& to,
                  const std::string& temp = "") {
    TJournal journal = TJournal::Of(kind, from, to);
    journal.Temp = temp;
    ASSERT_TRUE(WriteJournal(RealSysCalls(), journal));
    const std::string folder = journal.Path.substr(0, journal.Path.rfind('/') + 1);
    static int count = 0;
    fs::rename(journal.Path,
               folder + ".velmora-" + kGonePid + "-" + std::to_string(++count) + ".journal");
}

TEST(Leftovers, OnlyOwnFilesOfProcessesThatAreGoneAreRemoved) {
    TempDir dir;
    const std::string gone = std::string(".velmora-") + kGonePid;
    const std::string mine = ".velmora-" + std::to_string(getpid());
    fs::create_directories(dir.File("D001/deeper"));
    struct TCase {
        std::string Name;
        bool Removed;
    };
    const TCase cases[] = {
        {gone + "-1.tmp", true},
        {"D001/" + gone + "-2.tmp", true},
        {gone + "-3.journal", true},                // not a whole record: its move made no step
        {"D001/deeper/" + gone + "-4.tmp", false},  // only the folder and its subfolders
        {mine + "-5.tmp", false},                   // a running process's file
        {gone + "-6.move", false},                  // the user's file, put back only by a journal
        {".velmora-move-" + std::string(kGonePid) + "-7.tmp", false},
        {".velmora-x1-8.tmp", false},
        {gone + "-9.tmpx", false},
        {gone + "-10", false},
        {"velmora-" + std::string(kGonePid) + "-11.tmp", false},
        {".hidden.mp3", false},
        {"song.mp3", false},
    };
    for (const TCase& c : cases)
        WriteFile(dir.File(c.Name), std::string("x"));
    EXPECT_EQ(CleanLeftovers(dir.Path()), 3);
    for (const TCase& c : cases)
        EXPECT_EQ(fs::exists(dir.File(c.Name)), !c.Removed) << c.Name;
    EXPECT_EQ(CleanLeftovers(""), 0);
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

    CleanLeftovers(dir.Path());
    EXPECT_EQ(Entries(dir.Path()),
              (std::vector<std::string>{"D001", "D001/b.mp3", "D001/c.mp3", "D001/d.mp3",
                                        "D001/e.mp3", "Song.mp3", "a.mp3", "d.mp3", "e.mp3"}));
    EXPECT_EQ(Text(path("Song.mp3")), "case");
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
    ASSERT_TRUE(SafeRewriteFile(dir.File("D001/" + song), 3).Ok);
    EXPECT_EQ(Text(dir.File("D001/" + song)), "ond");
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"D001", "D001/" + song}));
    EXPECT_EQ(SafeRewriteFile(dir.File("D001/" + song), 4).Error, EINVAL);
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
        const rlimit small{4, 4};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        try {
            RealFileSystem().WriteFileReplacing(report, std::string(100, 'n'));
        } catch (...) {
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Entries(dir.Path()).size(), 2u);  // the report and the hidden half
    EXPECT_EQ(CleanLeftovers(dir.Path()), 1);
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

TEST(Leftovers, AReportInAFolderThatRefusesNewFilesIsOverwrittenInPlace) {
    TempDir dir;
    const std::string report = dir.File("report.txt");
    WriteFile(report, std::string("the old report, longer than the new one"));
    ASSERT_EQ(chmod(report.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const int written = AsUserWithoutWriteAccess(dir.Path(), [&] {
        try {
            RealFileSystem().WriteFileReplacing(report, "new report");
        } catch (const EStreamError&) {
            return 1;
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
            RealFileSystem().WriteFileReplacing(report, "much longer than four bytes");
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
    WriteFile(Dir.File(std::string(".velmora-") + kGonePid + "-2.tmp"), std::string("half"));
    Open();
    EXPECT_EQ(Model.TrackList, std::vector<std::string>{"a.mp3"});
    EXPECT_EQ(Entries(Dir.Path()), std::vector<std::string>{"a.mp3"});
}

}  // namespace
}  // namespace velmora::test
