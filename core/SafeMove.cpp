#include "core/SafeMove.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace velmora {

int TSysCalls::RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}
int TSysCalls::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int TSysCalls::Link(const char* from, const char* to) {
    return ::link(from, to);
}
int TSysCalls::Unlink(const char* path) {
    return ::unlink(path);
}
int TSysCalls::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t TSysCalls::Read(int fd, void* buffer, size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t TSysCalls::Write(int fd, const void* buffer, size_t count) {
    return ::write(fd, buffer, count);
}
int TSysCalls::Fsync(int fd) {
    return ::fsync(fd);
}
int TSysCalls::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int TSysCalls::Lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}
int TSysCalls::Futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}
int TSysCalls::Fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int TSysCalls::Close(int fd) {
    return ::close(fd);
}

TSysCalls& RealSysCalls() {
    static TSysCalls real;
    return real;
}

namespace {

TMoveResult Done() {
    return {true, 0};
}
TMoveResult Fail(int error) {
    return {false, error};
}

// renameat2 answers these when the file system cannot do a move without replacing (FUSE says
// EINVAL even when the target is absent).
bool NoReplaceUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// link answers these where the file system has no hard links (FAT says EPERM).
bool LinksRefused(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// A file system that cannot hold a mode or a time (FAT with its fixed masks) refuses to set it;
// the copy keeps what the file system gives it then.
bool MetadataRefused(int error) {
    return error == EPERM || error == EOPNOTSUPP;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash + 1);
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class TMover {
  public:
    explicit TMover(TSysCalls& sys) : Sys(sys) {}

    TMoveResult Move(const std::string& from, const std::string& to) {
        const TMoveResult moved = MoveEntry(from.c_str(), to.c_str());
        if (moved.Ok || moved.Error != EEXIST)
            return moved;
        // The target name is taken. It may be taken by the file itself: the same entry under
        // another spelling of its path, another spelling of the name on a file system that
        // ignores case, or another hard link to the file.
        struct stat source {};
        struct stat target {};
        if (Sys.Lstat(from.c_str(), &source) != 0 || Sys.Lstat(to.c_str(), &target) != 0 ||
            !SameInode(source, target) || !SameFolder(from, to)) {
            return moved;
        }
        if (BaseName(from) == BaseName(to))
            return Done();
        if (source.st_nlink > 1)
            return moved;
        return MoveThroughTemporary(from, to);
    }

  private:
    TSysCalls& Sys;

    bool SameFolder(const std::string& a, const std::string& b) {
        struct stat da {};
        struct stat db {};
        return Sys.Lstat((DirName(a) + ".").c_str(), &da) == 0 &&
               Sys.Lstat((DirName(b) + ".").c_str(), &db) == 0 && SameInode(da, db);
    }

    // A rename that only changes the case of the name: the file system sees the target as
    // taken, so the file goes to a free temporary name first.
    TMoveResult MoveThroughTemporary(const std::string& from, const std::string& to) {
        static unsigned counter = 0;
        const std::string folder = DirName(to);
        std::string temporary;
        TMoveResult first = Fail(EEXIST);
        for (int attempt = 0; attempt < 100 && !first.Ok; ++attempt) {
            temporary = folder + ".velmora-move-" + std::to_string(getpid()) + "-" +
                        std::to_string(++counter) + ".tmp";
            first = MoveEntry(from.c_str(), temporary.c_str());
            if (!first.Ok && first.Error != EEXIST)
                return first;
        }
        if (!first.Ok)
            return first;
        const TMoveResult second = MoveEntry(temporary.c_str(), to.c_str());
        if (!second.Ok)
            MoveEntry(temporary.c_str(), from.c_str());
        return second;
    }

    TMoveResult MoveEntry(const char* from, const char* to) {
        if (Sys.RenameNoReplace(from, to) == 0)
            return Done();
        const int error = errno;
        if (error == EXDEV)
            return Copy(from, to);
        if (NoReplaceUnsupported(error))
            return MoveByLink(from, to);
        return Fail(error);
    }

    TMoveResult MoveByLink(const char* from, const char* to) {
        if (Sys.Link(from, to) == 0) {
            if (Sys.Unlink(from) == 0)
                return Done();
            const int error = errno;
            Sys.Unlink(to);
            return Fail(error);
        }
        const int error = errno;
        if (error == EXDEV)
            return Copy(from, to);
        if (LinksRefused(error))
            return MoveOverPlaceholder(from, to);
        return Fail(error);
    }

    // Claims the target name with an empty file of our own, then renames over it: rename may
    // replace only that placeholder.
    TMoveResult MoveOverPlaceholder(const char* from, const char* to) {
        const int fd = Sys.Open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return Fail(errno);
        struct stat placeholder {};
        const bool known = Sys.Fstat(fd, &placeholder) == 0;
        const int statError = errno;
        Sys.Close(fd);
        if (!known) {
            Sys.Unlink(to);
            return Fail(statError);
        }
        struct stat now {};
        if (Sys.Lstat(to, &now) != 0 || !SameInode(now, placeholder) || now.st_size != 0) {
            return Fail(EEXIST);  // someone else's file stands there now: leave it
        }
        if (Sys.Rename(from, to) == 0)
            return Done();
        const int error = errno;
        Sys.Unlink(to);
        if (error == EXDEV)
            return Copy(from, to);
        return Fail(error);
    }

    // Across file systems: a copy into a target that is certainly ours (O_EXCL), flushed and
    // checked, before the source goes.
    TMoveResult Copy(const char* from, const char* to) {
        const int src = Sys.Open(from, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        if (src < 0)
            return Fail(errno);
        struct stat source {};
        if (Sys.Fstat(src, &source) != 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        if (!S_ISREG(source.st_mode)) {  // only a regular file is copied
            Sys.Close(src);
            return Fail(EXDEV);
        }
        const int dst = Sys.Open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (dst < 0) {
            const int error = errno;
            Sys.Close(src);
            return Fail(error);
        }
        int error = CopyContents(src, dst, source);
        if (error == 0) {
            if (Sys.Close(dst) != 0 && errno != EINTR)
                error = errno;
        } else {
            Sys.Close(dst);
        }
        Sys.Close(src);
        if (error == 0 && Sys.Unlink(from) != 0)
            error = errno;
        if (error != 0) {
            Sys.Unlink(to);
            return Fail(error);
        }
        return Done();
    }

    // Returns 0 or the errno of the first failure.
    int CopyContents(int src, int dst, const struct stat& source) {
        std::vector<char> buffer(256 * 1024);
        off_t copied = 0;
        for (;;) {
            const ssize_t got = Sys.Read(src, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (got == 0)
                break;
            size_t done = 0;
            while (done < static_cast<size_t>(got)) {
                const ssize_t put = Sys.Write(dst, buffer.data() + done, got - done);
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    return errno;
                }
                if (put == 0)
                    return ENOSPC;
                done += static_cast<size_t>(put);
            }
            copied += got;
        }
        if (copied != source.st_size)
            return EIO;  // the source changed while it was copied
        if (Sys.Fchmod(dst, source.st_mode & 07777) != 0 && !MetadataRefused(errno))
            return errno;
        const struct timespec times[2] = {source.st_atim, source.st_mtim};
        if (Sys.Futimens(dst, times) != 0 && !MetadataRefused(errno))
            return errno;
        while (Sys.Fsync(dst) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EINVAL || errno == EOPNOTSUPP)
                break;  // nothing to flush there
            return errno;
        }
        struct stat written {};
        if (Sys.Fstat(dst, &written) != 0)
            return errno;
        if (written.st_size != copied)
            return EIO;
        return 0;
    }
};

}  // namespace

TMoveResult SafeMoveFile(TSysCalls& sys, const std::string& from, const std::string& to) {
    return TMover(sys).Move(from, to);
}

TMoveResult SafeMoveFile(const std::string& from, const std::string& to) {
    return SafeMoveFile(RealSysCalls(), from, to);
}

}  // namespace velmora
