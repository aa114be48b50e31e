#include "core/files/SafeMove.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

enum class ECall {
    RenameNoReplace,
    Rename,
    Link,
    Unlink,
    Open,
    Read,
    Write,
    Fsync,
    Fstat,
    Lstat,
    Futimens,
    Fchmod,
    Close
};

// The real calls, except that a chosen call fails with a chosen errno, writes may be cut
// short, and a folder may be made to ignore the case of names the way FAT does.
class TFaultySysCalls : public TSysCalls {
  public:
    // Makes the nth call (from 1) of `call` fail with `error`; nth 0 fails every call.
    void FailOn(ECall call, int error, int nth = 1) { Faults[call] = {error, nth}; }
    size_t ShortWrites = 0;       // when set, no write passes more bytes than this
    bool InterruptFirst = false;  // the first read and the first write answer EINTR
    std::string CaseBlindFolder;  // names in this folder are looked up ignoring case
    std::vector<ECall> Log;

    bool Called(ECall call) const { return std::count(Log.begin(), Log.end(), call) > 0; }

    int RenameNoReplace(const char* from, const char* to) override {
        if (Fails(ECall::RenameNoReplace))
            return -1;
        const std::string taken = Resolve(to);
        if (taken != to && fs::exists(taken))
            return errno = EEXIST, -1;
        return TSysCalls::RenameNoReplace(from, to);
    }
    int Rename(const char* from, const char* to) override {
        return Fails(ECall::Rename) ? -1 : TSysCalls::Rename(from, to);
    }
    int Link(const char* from, const char* to) override {
        return Fails(ECall::Link) ? -1 : TSysCalls::Link(from, to);
    }
    int Unlink(const char* path) override {
        return Fails(ECall::Unlink) ? -1 : TSysCalls::Unlink(path);
    }
    int Open(const char* path, int flags, mode_t mode) override {
        return Fails(ECall::Open) ? -1 : TSysCalls::Open(path, flags, mode);
    }
    ssize_t Read(int fd, void* buffer, size_t count) override {
        if (Fails(ECall::Read))
            return -1;
        if (InterruptFirst && !ReadInterrupted)
            return ReadInterrupted = true, errno = EINTR, -1;
        return TSysCalls::Read(fd, buffer, count);
    }
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        if (Fails(ECall::Write))
            return -1;
        if (InterruptFirst && !WriteInterrupted) {
            return WriteInterrupted = true, errno = EINTR, -1;
        }
        return TSysCalls::Write(fd, buffer, ShortWrites ? std::min(count, ShortWrites) : count);
    }
    int Fsync(int fd) override { return Fails(ECall::Fsync) ? -1 : TSysCalls::Fsync(fd); }
    int Fstat(int fd, struct stat* st) override {
        return Fails(ECall::Fstat) ? -1 : TSysCalls::Fstat(fd, st);
    }
    int Lstat(const char* path, struct stat* st) override {
        if (Fails(ECall::Lstat))
            return -1;
        return TSysCalls::Lstat(Resolve(path).c_str(), st);
    }
    int Futimens(int fd, const struct timespec times[2]) override {
        return Fails(ECall::Futimens) ? -1 : TSysCalls::Futimens(fd, times);
    }
    int Fchmod(int fd, mode_t mode) override {
        return Fails(ECall::Fchmod) ? -1 : TSysCalls::Fchmod(fd, mode);
    }
    int Close(int fd) override {
        const bool fail = Fails(ECall::Close);
        const int result = TSysCalls::Close(fd);  // the descriptor goes either way
        return fail ? (errno = FaultError, -1) : result;
    }

  private:
    struct TFault {
        int Error;
        int Nth;
    };
    std::map<ECall, TFault> Faults;
    std::map<ECall, int> Counts;
    bool ReadInterrupted = false;
    bool WriteInterrupted = false;
    int FaultError = 0;

    bool Fails(ECall call) {
        Log.push_back(call);
        const int n = ++Counts[call];
        const auto it = Faults.find(call);
        if (it == Faults.end() || (it->second.Nth != 0 && it->second.Nth != n))
            return false;
        errno = FaultError = it->second.Error;
        return true;
    }

    // In the case-blind folder, a name reaches the entry that differs from it only in case.
    std::string Resolve(const std::string& path) const {
        const fs::path p(path);
        if (CaseBlindFolder.empty() || p.parent_path() != CaseBlindFolder)
            return path;
        const auto lower = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        for (const auto& e : fs::directory_iterator(CaseBlindFolder)) {
            if (lower(e.path().filename().string()) == lower(p.filename().string())) {
                return e.path().string();
            }
        }
        return path;
    }
};

class SafeMoveTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (!Mounted.empty())
            umount2(Mounted.c_str(), MNT_DETACH);
    }

    std::string Path(const std::string& name) const { return Temp.File(name); }
    static void Write(const std::string& path, const std::string& bytes) {
        test::WriteFile(path, bytes);
    }
    static std::string Read(const std::string& path) {
        if (!fs::exists(path))
            return "";
        const std::vector<uint8_t> bytes = test::ReadFile(path);
        return {bytes.begin(), bytes.end()};
    }
    static std::string Bytes(size_t count) {
        std::string s(count, '\0');
        for (size_t i = 0; i < count; ++i)
            s[i] = static_cast<char>(i * 7 + i / 251);
        return s;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Dir))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    // A small tmpfs of its own inside the folder, or "" when this machine cannot mount one.
    std::string MountSmallTmpfs(const char* size) {
        const std::string point = Path("mnt");
        fs::create_directory(point);
        const std::string options = std::string("size=") + size;
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return "";
        Mounted = point;
        return point;
    }

    test::TempDir Temp;
    const std::string& Dir = Temp.Path();
    std::string Mounted;
};

TEST_F(SafeMoveTest, MovesWithinAFolderAndNeverReplaces) {
    Write(Path("a.mp3"), "AAAA");
    Write(Path("b.mp3"), "BBBB");

    TMoveResult r = SafeMoveFile(Path("a.mp3"), Path("b.mp3"));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, EEXIST);
    EXPECT_EQ(Read(Path("a.mp3")), "AAAA");
    EXPECT_EQ(Read(Path("b.mp3")), "BBBB");

    r = SafeMoveFile(Path("a.mp3"), Path("c.mp3"));
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(Read(Path("c.mp3")), "AAAA");
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3"}));

    fs::create_directory(Path("D001"));
    EXPECT_TRUE(SafeMoveFile(Path("c.mp3"), Path("D001/c.mp3")).Ok);
    EXPECT_EQ(Read(Path("D001/c.mp3")), "AAAA");

    EXPECT_EQ(SafeMoveFile(Path("gone.mp3"), Path("x.mp3")).Error, ENOENT);
    EXPECT_EQ(SafeMoveFile(Path("b.mp3"), Path("nofolder/b.mp3")).Error, ENOENT);
    EXPECT_FALSE(SafeMoveFile(Path("b.mp3"), Path("")).Ok);
    EXPECT_FALSE(SafeMoveFile(Path("b.mp3"), Dir + "/").Ok);  // an empty new name
    EXPECT_EQ(Read(Path("b.mp3")), "BBBB");
}

TEST_F(SafeMoveTest, OwnNameIsSuccessAndAnotherHardLinkIsATakenName) {
    Write(Path("a.mp3"), "AAAA");
    EXPECT_TRUE(SafeMoveFile(Path("a.mp3"), Path("a.mp3")).Ok);
    EXPECT_TRUE(SafeMoveFile(Path("a.mp3"), Dir + "//a.mp3").Ok);  // a root folder's joined path
    EXPECT_EQ(Read(Path("a.mp3")), "AAAA");

    ASSERT_EQ(link(Path("a.mp3").c_str(), Path("b.mp3").c_str()), 0);
    EXPECT_EQ(SafeMoveFile(Path("a.mp3"), Path("b.mp3")).Error, EEXIST);
    fs::create_directory(Path("sub"));
    ASSERT_EQ(link(Path("a.mp3").c_str(), Path("sub/a.mp3").c_str()), 0);
    EXPECT_EQ(SafeMoveFile(Path("a.mp3"), Path("sub/a.mp3")).Error, EEXIST);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "b.mp3", "sub"}));
}

TEST_F(SafeMoveTest, CaseOnlyRenameOnACaseBlindFolderGoesThroughATemporaryName) {
    Write(Path("Song.MP3"), "AAAA");
    TFaultySysCalls sys;
    sys.CaseBlindFolder = Dir;
    EXPECT_TRUE(SafeMoveFile(sys, Path("Song.MP3"), Path("song.mp3")).Ok);
    EXPECT_EQ(Names(), (std::vector<std::string>{"song.mp3"}));
    EXPECT_EQ(Read(Path("song.mp3")), "AAAA");

    // When the second step fails, the file is put back under its old name.
    sys.FailOn(ECall::RenameNoReplace, EIO, 6);
    EXPECT_EQ(SafeMoveFile(sys, Path("song.mp3"), Path("SONG.mp3")).Error, EIO);
    EXPECT_EQ(Names(), (std::vector<std::string>{"song.mp3"}));
    EXPECT_EQ(Read(Path("song.mp3")), "AAAA");

    // Another file that only differs in case is a taken name, as it is on FAT.
    Write(Path("other.mp3"), "BBBB");
    EXPECT_EQ(SafeMoveFile(sys, Path("other.mp3"), Path("SONG.MP3")).Error, EEXIST);
    EXPECT_EQ(Read(Path("other.mp3")), "BBBB");
}

TEST_F(SafeMoveTest, FallsBackToLinkWhereRenameCannotRefuseToReplace) {
    for (int error : {EINVAL, ENOSYS, EOPNOTSUPP}) {
        SCOPED_TRACE(strerror(error));
        Write(Path("a.mp3"), "AAAA");
        TFaultySysCalls sys;
        sys.FailOn(ECall::RenameNoReplace, error, 0);
        EXPECT_TRUE(SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3")).Ok);
        EXPECT_TRUE(sys.Called(ECall::Link));
        EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3"}));
        EXPECT_EQ(Read(Path("b.mp3")), "AAAA");

        Write(Path("a.mp3"), "CCCC");
        EXPECT_EQ(SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3")).Error, EEXIST);
        EXPECT_EQ(Read(Path("a.mp3")), "CCCC");
        EXPECT_EQ(Read(Path("b.mp3")), "AAAA");
        fs::remove(Path("a.mp3"));
        fs::remove(Path("b.mp3"));
    }

    // The link is made but the old name cannot be removed: the new link goes again.
    Write(Path("a.mp3"), "AAAA");
    TFaultySysCalls sys;
    sys.FailOn(ECall::RenameNoReplace, EINVAL);
    sys.FailOn(ECall::Unlink, EBUSY);
    EXPECT_EQ(SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3")).Error, EBUSY);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3"}));
}

TEST_F(SafeMoveTest, WhereLinksAreRefusedRenamesOverAPlaceholderOfItsOwn) {
    Write(Path("a.mp3"), "AAAA");
    Write(Path("b.mp3"), "BBBB");
    TFaultySysCalls sys;
    sys.FailOn(ECall::RenameNoReplace, EINVAL, 0);
    sys.FailOn(ECall::Link, EPERM, 0);
    EXPECT_EQ(SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3")).Error, EEXIST);
    EXPECT_EQ(Read(Path("b.mp3")), "BBBB");

    EXPECT_TRUE(SafeMoveFile(sys, Path("a.mp3"), Path("c.mp3")).Ok);
    EXPECT_TRUE(sys.Called(ECall::Rename));
    EXPECT_EQ(Read(Path("c.mp3")), "AAAA");
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3"}));

    // The rename fails: the placeholder goes and the source stays.
    sys.FailOn(ECall::Rename, EIO, 2);
    EXPECT_EQ(SafeMoveFile(sys, Path("c.mp3"), Path("d.mp3")).Error, EIO);
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3"}));
    EXPECT_EQ(Read(Path("c.mp3")), "AAAA");
}

TEST_F(SafeMoveTest, AcrossFileSystemsCopiesKeepingModeAndTimeThenRemovesTheSource) {
    const std::string data = Bytes(700 * 1024 + 13);  // more than one buffer
    Write(Path("a.mp3"), data);
    ASSERT_EQ(chmod(Path("a.mp3").c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path("a.mp3").c_str(), times, 0), 0);

    // Only the first rename crosses file systems; the copy's own, within the target folder, works.
    TFaultySysCalls sys;
    sys.FailOn(ECall::RenameNoReplace, EXDEV);
    sys.ShortWrites = 4096 + 3;
    sys.InterruptFirst = true;
    ASSERT_TRUE(SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3")).Ok);
    EXPECT_TRUE(sys.Called(ECall::Fsync));
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3"}));
    EXPECT_EQ(Read(Path("b.mp3")), data);
    struct stat st {};
    ASSERT_EQ(stat(Path("b.mp3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);

    // A file system that cannot hold the mode or the time still gets the file.
    TFaultySysCalls fat;
    fat.FailOn(ECall::RenameNoReplace, EXDEV);
    fat.FailOn(ECall::Fchmod, EPERM);
    fat.FailOn(ECall::Futimens, EPERM);
    EXPECT_TRUE(SafeMoveFile(fat, Path("b.mp3"), Path("c.mp3")).Ok);
    EXPECT_EQ(Read(Path("c.mp3")), data);

    // An existing target is never opened for writing.
    Write(Path("d.mp3"), "DDDD");
    TFaultySysCalls taken;
    taken.FailOn(ECall::RenameNoReplace, EXDEV);
    EXPECT_EQ(SafeMoveFile(taken, Path("c.mp3"), Path("d.mp3")).Error, EEXIST);
    EXPECT_EQ(Read(Path("d.mp3")), "DDDD");
    EXPECT_EQ(Read(Path("c.mp3")), data);
}

TEST_F(SafeMoveTest, AFailedCopyRemovesThePartialTargetAndKeepsTheSource) {
    const std::string data = Bytes(300 * 1024);
    Write(Path("a.mp3"), data);
    struct TCase {
        ECall Call;
        int Error;
        int Nth;
    };
    // Unlink 1 is the source's: the copy is removed again when the source cannot go.
    const TCase cases[] = {
        {ECall::Write, ENOSPC, 2}, {ECall::Read, EIO, 1},      {ECall::Fsync, EIO, 1},
        {ECall::Fchmod, EIO, 1},   {ECall::Futimens, EIO, 1},  {ECall::Close, EIO, 1},
        {ECall::Fstat, EIO, 2},    {ECall::Unlink, EACCES, 1}, {ECall::Open, EMFILE, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Call));
        TFaultySysCalls sys;
        sys.FailOn(ECall::RenameNoReplace, EXDEV);
        sys.FailOn(c.Call, c.Error, c.Nth);
        const TMoveResult r = SafeMoveFile(sys, Path("a.mp3"), Path("b.mp3"));
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error, c.Error);
        EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3"}));
        EXPECT_EQ(Read(Path("a.mp3")), data);
    }

    // A write that makes no progress is a full disk, not an endless loop.
    struct TZeroWrites : TFaultySysCalls {
        ssize_t Write(int, const void*, size_t) override { return 0; }
    } zero;
    zero.FailOn(ECall::RenameNoReplace, EXDEV);
    EXPECT_EQ(SafeMoveFile(zero, Path("a.mp3"), Path("b.mp3")).Error, ENOSPC);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3"}));
}

TEST_F(SafeMoveTest, ALinkKeepsReachingItsFileOrStaysWhereLinksAreRefused) {
    Write(Path("real.mp3"), "RRRR");
    fs::create_directories(Path("in/D001"));
    ASSERT_EQ(symlink("../real.mp3", Path("in/rel.mp3").c_str()), 0);
    ASSERT_EQ(symlink(Path("real.mp3").c_str(), Path("in/abs.mp3").c_str()), 0);

    // Within its folder the link itself is renamed.
    ASSERT_TRUE(SafeMoveFile(Path("in/rel.mp3"), Path("in/Rel2.mp3")).Ok);
    EXPECT_EQ(fs::read_symlink(Path("in/Rel2.mp3")), "../real.mp3");
    ASSERT_TRUE(SafeMoveFile(Path("in/Rel2.mp3"), Path("in/D001/rel.mp3")).Ok);
    EXPECT_EQ(fs::read_symlink(Path("in/D001/rel.mp3")), "../../real.mp3");
    ASSERT_TRUE(SafeMoveFile(Path("in/abs.mp3"), Path("in/D001/abs.mp3")).Ok);
    EXPECT_EQ(fs::read_symlink(Path("in/D001/abs.mp3")), Path("real.mp3"));
    EXPECT_EQ(Read(Path("in/D001/abs.mp3")), "RRRR");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("in/abs.mp3"))));

    // A taken name, or a folder that cannot hold a link (FAT): the link stays where it is.
    EXPECT_EQ(SafeMoveFile(Path("in/D001/rel.mp3"), Path("in/D001/../D001/abs.mp3")).Error, EEXIST);
    struct TNoSymlinks : TSysCalls {
        int Symlink(const char*, const char*) override { return errno = EPERM, -1; }
    } fat;
    EXPECT_EQ(SafeMoveFile(fat, Path("in/D001/rel.mp3"), Path("in/rel.mp3")).Error, EPERM);
    EXPECT_EQ(fs::read_symlink(Path("in/D001/rel.mp3")), "../../real.mp3");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("in/rel.mp3"))));
    EXPECT_EQ(Names(), (std::vector<std::string>{"in", "real.mp3"}));
}

TEST_F(SafeMoveTest, OntoARealSmallFileSystem) {
    const std::string point = MountSmallTmpfs("64k");
    if (point.empty())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);

    const std::string small = Bytes(20 * 1024);
    Write(Path("small.mp3"), small);
    ASSERT_EQ(chmod(Path("small.mp3").c_str(), 0604), 0);
    const struct timespec times[2] = {{1000000000, 0}, {1111111111, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path("small.mp3").c_str(), times, 0), 0);
    ASSERT_TRUE(SafeMoveFile(Path("small.mp3"), point + "/small.mp3").Ok);
    EXPECT_FALSE(fs::exists(Path("small.mp3")));
    EXPECT_EQ(Read(point + "/small.mp3"), small);
    struct stat st {};
    ASSERT_EQ(stat((point + "/small.mp3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1111111111);

    // Too big for what is left: the disk fills, the partial copy goes, the source stays.
    const std::string big = Bytes(100 * 1024);
    Write(Path("big.mp3"), big);
    const TMoveResult r = SafeMoveFile(Path("big.mp3"), point + "/big.mp3");
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, ENOSPC);
    EXPECT_EQ(Read(Path("big.mp3")), big);
    EXPECT_FALSE(fs::exists(point + "/big.mp3"));

    // And back again to the first file system.
    EXPECT_TRUE(SafeMoveFile(point + "/small.mp3", Path("back.mp3")).Ok);
    EXPECT_EQ(Read(Path("back.mp3")), small);
}

}  // namespace
}  // namespace velmora
