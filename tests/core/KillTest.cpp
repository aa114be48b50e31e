// Moves, rewrites and conversions stopped after each system call in turn: a forked child runs the
// operation and is killed right after its nth call; the parent then looks at the folder, opens it
// the way the program does (CleanLeftovers) and looks again.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/convert/ConvertJob.h"
#include "core/files/FolderLock.h"
#include "core/files/Leftovers.h"
#include "core/files/SafeMove.h"
#include "core/files/TagBlockWrite.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = test::ReadFile(path.string());
    return {bytes.begin(), bytes.end()};
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// The real calls, with the kinds of file system to act out, stopping the process right after
// the nth call.
class TStoppingSysCalls : public TSysCalls {
  public:
    int StopAfter = 0;
    bool NoRenameNoReplace = false;  // renameat2 answers EINVAL, as on FUSE
    bool NoLinks = false;            // link answers EPERM, as on FAT
    bool FoldersApart = false;       // each folder is a file system of its own
    bool CaseBlind = false;          // names are looked up ignoring letter case

    int RenameNoReplace(const char* from, const char* to) override {
        if (FoldersApart && FolderOf(from) != FolderOf(to))
            return Stop(-1, EXDEV);
        if (NoRenameNoReplace)
            return Stop(-1, EINVAL);
        if (CaseBlind && Resolve(to) != to && fs::exists(Resolve(to)))
            return Stop(-1, EEXIST);
        return Stop(TSysCalls::RenameNoReplace(from, to));
    }
    int Rename(const char* from, const char* to) override {
        return Stop(TSysCalls::Rename(from, to));
    }
    int RenameExchange(const char* a, const char* b) override {
        return Stop(TSysCalls::RenameExchange(a, b));
    }
    int Mkdir(const char* path, mode_t mode) override { return Stop(TSysCalls::Mkdir(path, mode)); }
    int Rmdir(const char* path) override { return Stop(TSysCalls::Rmdir(path)); }
    int Stat(const char* path, struct stat* st) override {
        return Stop(TSysCalls::Stat(Resolve(path).c_str(), st));
    }
    ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) override {
        return Stop(TSysCalls::Pread(fd, buffer, count, offset));
    }
    ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) override {
        return Stop(TSysCalls::Pwrite(fd, buffer, count, offset));
    }
    int Ftruncate(int fd, off_t length) override { return Stop(TSysCalls::Ftruncate(fd, length)); }
    int Link(const char* from, const char* to) override {
        if (FoldersApart && FolderOf(from) != FolderOf(to))
            return Stop(-1, EXDEV);
        if (NoLinks)
            return Stop(-1, EPERM);
        return Stop(TSysCalls::Link(from, to));
    }
    int Unlink(const char* path) override { return Stop(TSysCalls::Unlink(path)); }
    int Open(const char* path, int flags, mode_t mode) override {
        return Stop(TSysCalls::Open(path, flags, mode));
    }
    ssize_t Read(int fd, void* buffer, size_t count) override {
        return Stop(TSysCalls::Read(fd, buffer, count));
    }
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        return Stop(TSysCalls::Write(fd, buffer, std::min<size_t>(count, 1000)));
    }
    int Fsync(int fd) override { return Stop(TSysCalls::Fsync(fd)); }
    int Fstat(int fd, struct stat* st) override { return Stop(TSysCalls::Fstat(fd, st)); }
    int Lstat(const char* path, struct stat* st) override {
        return Stop(TSysCalls::Lstat(Resolve(path).c_str(), st));
    }
    int Futimens(int fd, const struct timespec times[2]) override {
        return Stop(TSysCalls::Futimens(fd, times));
    }
    int Fchmod(int fd, mode_t mode) override { return Stop(TSysCalls::Fchmod(fd, mode)); }
    int Close(int fd) override { return Stop(TSysCalls::Close(fd)); }
    int Symlink(const char* target, const char* path) override {
        return Stop(TSysCalls::Symlink(target, path));
    }
    ssize_t Readlink(const char* path, char* buffer, size_t size) override {
        return Stop(TSysCalls::Readlink(path, buffer, size));
    }

  private:
    int Calls = 0;

    template <typename T>
    T Stop(T result, int error = 0) {
        if (error != 0)
            errno = error;
        if (++Calls == StopAfter)
            raise(SIGKILL);
        return result;
    }

    std::string Resolve(const std::string& path) const {
        if (!CaseBlind)
            return path;
        const fs::path p(path);
        const auto lower = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(p.parent_path(), ec)) {
            if (lower(e.path().filename().string()) == lower(p.filename().string()))
                return e.path().string();
        }
        return path;
    }
};

struct TKillCase {
    const char* Name;
    std::function<void(TStoppingSysCalls&)> Setup;
};

class KillTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (!Mounted.empty())
            umount2(Mounted.c_str(), MNT_DETACH);
    }

    std::string Path(const std::string& name) const { return Temp.File("music/" + name); }

    static std::string Bytes(size_t count, int seed) {
        std::string s(count, '\0');
        for (size_t i = 0; i < count; ++i)
            s[i] = static_cast<char>(i * 7 + seed);
        return s;
    }

    // Every entry below the music folder: its path and, for a file, its bytes (a link shows
    // the bytes of what it reaches, after "->").
    std::map<std::string, std::string> Tree() const {
        std::map<std::string, std::string> tree;
        const std::string root = Temp.File("music");
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            const std::string name = it->path().string().substr(root.size() + 1);
            if (it->is_symlink()) {
                tree[name] = "->" + (fs::exists(it->path()) ? ReadText(it->path()) : "");
            } else if (it->is_regular_file()) {
                tree[name] = ReadText(it->path());
            } else {
                tree[name] = "<dir>";
            }
        }
        return tree;
    }

    // Runs `op` in a child stopped after each call in turn. After each stop the tree must be
    // one of `allowedAfterStop` (the empty map allows any tree that keeps every original's
    // bytes under a visible name); after the folder is opened it must be `before` or `after`.
    void KillAtEveryCall(const std::function<void()>& prepare,
                         const std::function<void(TStoppingSysCalls&)>& setup,
                         const std::function<TMoveResult(TSysCalls&)>& op,
                         const std::map<std::string, std::string>& after, bool expectOk = true) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE("stopped after call " + std::to_string(n));
            ASSERT_LT(n, 400) << "the operation never finished";
            Clear(Temp.File("music"));
            prepare();
            const std::map<std::string, std::string> before = Tree();
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                TStoppingSysCalls sys;
                setup(sys);
                sys.StopAfter = n;
                _exit(op(sys).Ok ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            const bool finished = WIFEXITED(status);
            if (finished) {
                EXPECT_EQ(WEXITSTATUS(status) == 0, expectOk);
            } else {
                ASSERT_EQ(WTERMSIG(status), SIGKILL);
            }

            const std::map<std::string, std::string> stopped = Tree();
            ExpectOriginalsVisible(before, after, stopped);
            if (finished) {  // a run to its end leaves nothing to clean
                EXPECT_EQ(stopped, expectOk ? after : before);
            }
            CleanLeftovers(Temp.File("music"));
            const std::map<std::string, std::string> cleaned = Tree();
            if (finished) {
                EXPECT_EQ(cleaned, expectOk ? after : before);
            } else {
                EXPECT_TRUE(cleaned == before || cleaned == after) << Show(cleaned);
            }
            if (finished || HasFailure())
                return;
        }
    }

    // Right after a stop: every original file's bytes are still there under a visible name
    // (or, for a rewrite, its new bytes, or for a case-only rename, in transit), and what was added
    // is hidden, an empty placeholder under a new name, or one of the originals again.
    static void ExpectOriginalsVisible(const std::map<std::string, std::string>& before,
                                       const std::map<std::string, std::string>& after,
                                       const std::map<std::string, std::string>& now) {
        const auto hidden = [](const std::string& name) {
            return fs::path(name).filename().string()[0] == '.';
        };
        // A file between the two steps of a case-only rename is ours to put back.
        const auto inTransit = [](const std::string& name) {
            const std::string base = fs::path(name).filename().string();
            return base.rfind(".velmora-", 0) == 0 && base.size() > 5 &&
                   base.compare(base.size() - 5, 5, ".move") == 0;
        };
        const auto visible = [&](const std::string& bytes) {
            for (const auto& [name, b] : now) {
                if ((!hidden(name) || inTransit(name)) && b == bytes)
                    return true;
            }
            return false;
        };
        const auto known = [&](const std::string& bytes) {
            for (const auto* tree : {&before, &after}) {
                for (const auto& [name, b] : *tree) {
                    if (b == bytes)
                        return true;
                }
            }
            return false;
        };
        for (const auto& [name, bytes] : before) {
            const auto done = after.find(name);
            EXPECT_TRUE(visible(bytes) || (done != after.end() && visible(done->second)))
                << name << " lost in " << Show(now);
        }
        for (const auto& [name, bytes] : now) {
            if (hidden(name) || before.count(name) || known(bytes))
                continue;
            EXPECT_TRUE(bytes.empty() && after.count(name)) << name << " is new in " << Show(now);
        }
    }

    // Empties the folder; a file system mounted in it stays, emptied.
    void Clear(const std::string& folder) const {
        fs::create_directories(folder);
        for (const auto& e : fs::directory_iterator(folder)) {
            if (e.path() == Mounted)
                Clear(e.path());
            else
                fs::remove_all(e.path());
        }
    }

    static std::string Show(const std::map<std::string, std::string>& tree) {
        std::string s;
        for (const auto& [name, bytes] : tree)
            s += "[" + name + ": " + std::to_string(bytes.size()) + " bytes] ";
        return s;
    }

    test::TempDir Temp;
    std::string Mounted;
};

TEST_F(KillTest, AMoveIntoAFolderOnEveryKindOfFileSystem) {
    const std::string a = Bytes(2500, 1);
    const std::string b = Bytes(700, 2);
    const auto prepare = [&] {
        test::WriteFile(Path("a.mp3"), a);
        test::WriteFile(Path("b.mp3"), b);
        fs::create_directory(Path("D001"));
    };
    const std::map<std::string, std::string> after = {
        {"D001", "<dir>"}, {"D001/a.mp3", a}, {"b.mp3", b}};
    const TKillCase cases[] = {
        {"renameat2", [](TStoppingSysCalls&) {}},
        {"link", [](TStoppingSysCalls& s) { s.NoRenameNoReplace = true; }},
        {"placeholder",
         [](TStoppingSysCalls& s) {
             s.NoRenameNoReplace = true;
             s.NoLinks = true;
         }},
        {"cross-device", [](TStoppingSysCalls& s) { s.FoldersApart = true; }},
        {"cross-device onto a placeholder",
         [](TStoppingSysCalls& s) {
             s.FoldersApart = true;
             s.NoRenameNoReplace = true;
             s.NoLinks = true;
         }},
    };
    for (const TKillCase& c : cases) {
        SCOPED_TRACE(c.Name);
        KillAtEveryCall(
            prepare, c.Setup,
            [&](TSysCalls& sys) { return SafeMoveFile(sys, Path("a.mp3"), Path("D001/a.mp3")); },
            after);
    }
}

TEST_F(KillTest, ATakenNameIsLeftAloneEvenWhenItIsAnEmptyFile) {
    const std::string a = Bytes(900, 3);
    const auto prepare = [&] {
        test::WriteFile(Path("a.mp3"), a);
        fs::create_directory(Path("D001"));
        test::WriteFile(Path("D001/a.mp3"), std::string());
    };
    for (bool apart : {false, true}) {
        KillAtEveryCall(
            prepare,
            [&](TStoppingSysCalls& s) {
                s.NoRenameNoReplace = s.NoLinks = true;
                s.FoldersApart = apart;
            },
            [&](TSysCalls& sys) { return SafeMoveFile(sys, Path("a.mp3"), Path("D001/a.mp3")); },
            {}, false);
    }
}

TEST_F(KillTest, ACaseOnlyRenameOnACaseBlindFileSystem) {
    const std::string a = Bytes(1200, 4);
    for (bool placeholder : {false, true}) {
        SCOPED_TRACE(placeholder ? "placeholder" : "renameat2");
        KillAtEveryCall(
            [&] { test::WriteFile(Path("Song.MP3"), a); },
            [&](TStoppingSysCalls& s) {
                s.CaseBlind = true;
                s.NoRenameNoReplace = s.NoLinks = placeholder;
            },
            [&](TSysCalls& sys) { return SafeMoveFile(sys, Path("Song.MP3"), Path("song.mp3")); },
            {{"song.mp3", a}});
    }
}

TEST_F(KillTest, ALinkMovedIntoAFolderKeepsReachingItsFile) {
    const std::string real = Bytes(300, 5);
    const auto prepare = [&] {
        fs::create_directories(Path("outside"));
        test::WriteFile(Path("outside/real1.mp3"), real);
        fs::create_directory(Path("D003"));
        ASSERT_EQ(symlink("outside/real1.mp3", Path("rel.mp3").c_str()), 0);
    };
    KillAtEveryCall(
        prepare, [](TStoppingSysCalls&) {},
        [&](TSysCalls& sys) { return SafeMoveFile(sys, Path("rel.mp3"), Path("D003/rel.mp3")); },
        {{"D003", "<dir>"},
         {"D003/rel.mp3", "->" + real},
         {"outside", "<dir>"},
         {"outside/real1.mp3", real}});
    EXPECT_EQ(fs::read_symlink(Path("D003/rel.mp3")), "../outside/real1.mp3");
}

// Without its first bytes (a strip), and with new ones in their place (a slim tag).
TEST_F(KillTest, ARewriteWithoutTheFirstBytesOrWithNewOnes) {
    const std::string a = Bytes(3000, 6);
    for (const std::string prefix : {"", "ID3 slim"}) {
        SCOPED_TRACE(prefix);
        KillAtEveryCall([&] { test::WriteFile(Path("a.mp3"), a); }, [](TStoppingSysCalls&) {},
                        [&](TSysCalls& sys) {
                            return SafeRewriteFile(sys, Path("a.mp3"), 1234, {}, a.substr(0, 1234),
                                                   prefix);
                        },
                        {{"a.mp3", prefix + a.substr(1234)}});
    }
}

// The batch's own steps in a held folder: a folder made (journaled) and the file moved into it,
// where the next open removes the folder a kill left empty and never a folder of the user's; and
// a tag block written over the last 128 bytes or appended.
TEST_F(KillTest, AFolderMadeAndAFileMovedIntoItAndATagWritten) {
    const std::string a = Bytes(2000, 8);
    const std::string tagged = a.substr(0, 1872) + "TAG" + std::string(125, 'o');
    const std::string block = "TAG" + std::string(125, 'n');
    const auto write = [&](TSysCalls& sys, const std::string& name) {
        TFileIdentity identity;  // not known: the write itself is what is stopped
        return TMoveResult{WriteTagBlock(sys, Path(name), identity, "",
                                         reinterpret_cast<const uint8_t*>(block.data()))
                                   .Error == 0,
                           0};
    };
    const auto held = [&](const std::function<TMoveResult(TSysCalls&)>& op) {
        return [&, op](TSysCalls& sys) {
            HoldFolder(Temp.File("music"));
            const TMoveResult result = op(sys);
            ReleaseFolder(Temp.File("music"));
            return result;
        };
    };
    KillAtEveryCall(
        [&] {
            test::WriteFile(Path("a.mp3"), a);
            fs::create_directory(Path("D002"));  // the user's own, empty
        },
        [](TStoppingSysCalls&) {}, held([&](TSysCalls& sys) {
            if (MakeJournaledFolder(sys, Path("D002")) != EEXIST ||
                MakeJournaledFolder(sys, Path("D001")) != 0)
                return TMoveResult{false, EIO};
            return SafeMoveFile(sys, Path("a.mp3"), Path("D001/a.mp3"));
        }),
        {{"D001", "<dir>"}, {"D001/a.mp3", a}, {"D002", "<dir>"}});
    KillAtEveryCall([&] { test::WriteFile(Path("a.mp3"), tagged); }, [](TStoppingSysCalls&) {},
                    held([&](TSysCalls& sys) { return write(sys, "a.mp3"); }),
                    {{"a.mp3", a.substr(0, 1872) + block}});
    KillAtEveryCall([&] { test::WriteFile(Path("a.mp3"), a); }, [](TStoppingSysCalls&) {},
                    held([&](TSysCalls& sys) { return write(sys, "a.mp3"); }),
                    {{"a.mp3", a + block}});
}

TEST_F(KillTest, AMoveOntoAnotherRealFileSystem) {
    const std::string a = Bytes(2500, 7);
    const std::string point = Path("D001");
    fs::create_directories(point);
    if (mount("tmpfs", point.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a second tmpfs here: " << strerror(errno);
    Mounted = point;
    KillAtEveryCall(
        [&] { test::WriteFile(Path("a.mp3"), a); }, [](TStoppingSysCalls&) {},
        [&](TSysCalls& sys) { return SafeMoveFile(sys, Path("a.mp3"), Path("D001/a.mp3")); },
        {{"D001", "<dir>"}, {"D001/a.mp3", a}});
}

TEST_F(KillTest, AConversionBesideItsSourceAndUnderAnMp3sOwnName) {
    // A fifth of a second of a FLAC file, and of a Layer II file named .mp3.
    test::TempDir inputs;
    const std::string quiet = " >/dev/null 2>&1";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -f lavfi -i sine=duration=0.2 '" +
                           inputs.File("a.flac") + "'" + quiet)
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 1 '" + inputs.File("b.wav") +
                           "' synth 0.2 sine 300" + quiet + " && twolame -b 64 -m m '" +
                           inputs.File("b.wav") + "' '" + inputs.File("b.mp3") + "'" + quiet)
                              .c_str()),
              0);
    TConvertSettings settings;
    settings.Limits.Limits = true;
    settings.Limits.SampleRates = {44100};
    settings.Limits.MinBitrate = 32;
    settings.Limits.MaxBitrate = 320;
    const auto convert = [&](TSysCalls& sys) {
        const TConvertPlan plan = PlanConversion(RealFileSystem(), Temp.File("music"), settings);
        if (plan.Convertible() != 1)
            return TMoveResult{false, EINVAL};
        const TConvertOutcome outcome = ConvertFile(sys, plan.Items.front(), settings);
        return TMoveResult{outcome.State == TConvertOutcome::EState::Done, 0};
    };
    for (const char* name : {"a.flac", "b.mp3"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadText(inputs.File(name));
        const auto prepare = [&] { test::WriteFile(Path(name), bytes); };
        // What a conversion that runs to its end leaves.
        Clear(Temp.File("music"));
        prepare();
        ASSERT_TRUE(convert(RealSysCalls()).Ok);
        const std::map<std::string, std::string> after = Tree();
        ASSERT_EQ(after.size(), 2u);
        const TKillCase cases[] = {
            {"renameat2", [](TStoppingSysCalls&) {}},
            {"placeholder",
             [](TStoppingSysCalls& s) {
                 s.NoRenameNoReplace = true;
                 s.NoLinks = true;
             }},
        };
        for (const TKillCase& c : cases) {
            SCOPED_TRACE(c.Name);
            KillAtEveryCall(prepare, c.Setup, convert, after);
        }
    }
}

}  // namespace
}  // namespace velmora
