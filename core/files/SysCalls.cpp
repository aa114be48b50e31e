#include "core/files/SysCalls.h"

#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

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
int TSysCalls::Symlink(const char* target, const char* path) {
    return ::symlink(target, path);
}
ssize_t TSysCalls::Readlink(const char* path, char* buffer, size_t size) {
    return ::readlink(path, buffer, size);
}

TSysCalls& RealSysCalls() {
    static TSysCalls real;
    return real;
}

}  // namespace velmora
