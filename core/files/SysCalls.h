// The seam below every file operation of the program that must not lose data (moves, rewrites,
// the leftovers of a stopped program, the disc image): one virtual per system call, so that
// tests can make any one of them fail with a chosen errno.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace velmora {

// Each returns what the system call returns (-1 with errno set on failure); RenameNoReplace is
// renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE).
class TSysCalls {
  public:
    virtual ~TSysCalls() = default;
    virtual int RenameNoReplace(const char* from, const char* to);
    virtual int Rename(const char* from, const char* to);
    virtual int Link(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Read(int fd, void* buffer, size_t count);
    virtual ssize_t Write(int fd, const void* buffer, size_t count);
    virtual int Fsync(int fd);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Lstat(const char* path, struct stat* st);
    virtual int Futimens(int fd, const struct timespec times[2]);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Close(int fd);
    virtual int Symlink(const char* target, const char* path);
    virtual ssize_t Readlink(const char* path, char* buffer, size_t size);
};

// The calls as the kernel answers them.
TSysCalls& RealSysCalls();

}  // namespace velmora
