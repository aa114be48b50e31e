#include "core/files/SysCalls.h"

#include <linux/openat2.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "core/files/FolderLock.h"
#include "core/files/Paths.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif
#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace velmora {
namespace {

int Renameat2(const char* from, const char* to, unsigned flags) {
#ifdef SYS_renameat2
    const THeldPath a(from), b(to);
    if (a.Error() != 0 || b.Error() != 0) {
        errno = a.Error() != 0 ? a.Error() : b.Error();
        return -1;
    }
    return static_cast<int>(syscall(SYS_renameat2, a.Dir(), a.Name(), b.Dir(), b.Name(), flags));
#else
    (void)from;
    (void)to;
    (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

// Runs `call` with the path resolved (THeldPath); a subfolder on the way that could not be opened
// fails it.
template <typename TCall>
auto AtPath(const char* path, TCall call) -> decltype(call(0, "")) {
    const THeldPath at(path);
    if (at.Error() != 0) {
        errno = at.Error();
        return -1;
    }
    return call(at.Dir(), at.Name());
}

// openat2 with RESOLVE_BENEATH: -1 with ENOSYS where the kernel has none.
int OpenBeneath(int dir, const char* name, int flags, mode_t mode) {
#ifdef SYS_openat2
    struct open_how how {};
    how.flags = static_cast<unsigned long long>(flags);
    how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(syscall(SYS_openat2, dir, name, &how, sizeof how));
#else
    (void)dir;
    (void)name;
    (void)flags;
    (void)mode;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

int TSysCalls::RenameNoReplace(const char* from, const char* to) {
    return Renameat2(from, to, RENAME_NOREPLACE);
}
int TSysCalls::RenameExchange(const char* a, const char* b) {
    return Renameat2(a, b, RENAME_EXCHANGE);
}
int TSysCalls::Rename(const char* from, const char* to) {
    const THeldPath a(from), b(to);
    if (a.Error() != 0 || b.Error() != 0) {
        errno = a.Error() != 0 ? a.Error() : b.Error();
        return -1;
    }
    return ::renameat(a.Dir(), a.Name(), b.Dir(), b.Name());
}
int TSysCalls::Link(const char* from, const char* to) {
    const THeldPath a(from), b(to);
    if (a.Error() != 0 || b.Error() != 0) {
        errno = a.Error() != 0 ? a.Error() : b.Error();
        return -1;
    }
    return ::linkat(a.Dir(), a.Name(), b.Dir(), b.Name(), 0);
}
int TSysCalls::Unlink(const char* path) {
    return AtPath(path, [](int dir, const char* name) { return ::unlinkat(dir, name, 0); });
}
int TSysCalls::Mkdir(const char* path, mode_t mode) {
    return AtPath(path, [mode](int dir, const char* name) { return ::mkdirat(dir, name, mode); });
}
int TSysCalls::Rmdir(const char* path) {
    return AtPath(path,
                  [](int dir, const char* name) { return ::unlinkat(dir, name, AT_REMOVEDIR); });
}
int TSysCalls::Open(const char* path, int flags, mode_t mode) {
    const THeldPath at(path);
    if (at.Error() != 0) {
        errno = at.Error();
        return -1;
    }
    const bool writes = (flags & O_ACCMODE) != O_RDONLY;
    const bool creates = (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL);
    if (!at.InHeldFolder() || !writes || creates)
        return ::openat(at.Dir(), at.Name(), flags, mode);
    // An existing file opened for writing: never one outside the folder, whatever link leads to
    // it.
    int fd = OpenBeneath(at.Dir(), at.Name(), flags, mode);
    if (fd < 0 && errno == ENOSYS)
        return ::openat(at.Dir(), at.Name(), flags, mode);
    if (fd < 0 && errno == EXDEV) {
        // An absolute link: followed by its real path, when that lies inside the folder.
        char* real = ::realpath(path, nullptr);
        const std::string target = real != nullptr ? real : "";
        std::free(real);
        const std::string base = HeldRealPath(path);
        if (!target.empty() && !base.empty() && PathWithin(target, base) && target != base) {
            const THeldPath inner(target.c_str());
            fd = inner.Error() == 0 ? OpenBeneath(inner.Dir(), inner.Name(), flags, mode) : -1;
        }
        if (fd < 0)
            errno = EXDEV;
    }
    return fd;
}
ssize_t TSysCalls::Read(int fd, void* buffer, size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t TSysCalls::Write(int fd, const void* buffer, size_t count) {
    return ::write(fd, buffer, count);
}
ssize_t TSysCalls::Pread(int fd, void* buffer, size_t count, off_t offset) {
    return ::pread(fd, buffer, count, offset);
}
ssize_t TSysCalls::Pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return ::pwrite(fd, buffer, count, offset);
}
int TSysCalls::Ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int TSysCalls::Fsync(int fd) {
    return ::fsync(fd);
}
int TSysCalls::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int TSysCalls::Lstat(const char* path, struct stat* st) {
    return AtPath(path, [st](int dir, const char* name) {
        return ::fstatat(dir, name, st, AT_SYMLINK_NOFOLLOW);
    });
}
int TSysCalls::Stat(const char* path, struct stat* st) {
    return AtPath(path, [st](int dir, const char* name) { return ::fstatat(dir, name, st, 0); });
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
int TSysCalls::Symlink(const char* target, const char* path) {
    return AtPath(path,
                  [target](int dir, const char* name) { return ::symlinkat(target, dir, name); });
}
ssize_t TSysCalls::Readlink(const char* path, char* buffer, size_t size) {
    return AtPath(path, [buffer, size](int dir, const char* name) {
        return ::readlinkat(dir, name, buffer, size);
    });
}

TSysCalls& RealSysCalls() {
    static TSysCalls real;
    return real;
}

int TSysCalls::OpenAt(int dir, const char* name, int flags, mode_t mode) {
    return ::openat(dir, name, flags, mode);
}

int TSysCalls::MkdirAt(int dir, const char* name, mode_t mode) {
    return ::mkdirat(dir, name, mode);
}

int TSysCalls::UnlinkAt(int dir, const char* name, int flags) {
    return ::unlinkat(dir, name, flags);
}

bool WriteAll(TSysCalls& sys, int fd, const char* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sys.Write(fd, data + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

ssize_t ReadAll(TSysCalls& sys, int fd, char* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sys.Read(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace velmora
