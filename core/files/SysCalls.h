// The seam below every file operation of the program that must not lose data (moves, rewrites,
// tag writes, the leftovers of a stopped program, the disc image): one virtual per system call,
// so that tests can make any one of them fail with a chosen errno, or act between two of them.
//
// The real calls resolve a path spelt inside a folder this process holds (core/files/FolderLock.h)
// against that folder's descriptor, so the name of the folder is read once, when it is taken.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace velmora {

// Each returns what the system call returns (-1 with errno set on failure); RenameNoReplace is
// renameat2(RENAME_NOREPLACE), RenameExchange renameat2(RENAME_EXCHANGE). Open for writing an
// existing file inside a held folder opens it beneath the folder: a link leading out is EXDEV.
class TSysCalls {
  public:
    virtual ~TSysCalls() = default;
    virtual int RenameNoReplace(const char* from, const char* to);
    virtual int RenameExchange(const char* a, const char* b);
    virtual int Rename(const char* from, const char* to);
    virtual int Link(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int Mkdir(const char* path, mode_t mode);
    virtual int Rmdir(const char* path);
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Read(int fd, void* buffer, size_t count);
    virtual ssize_t Write(int fd, const void* buffer, size_t count);
    virtual ssize_t Pread(int fd, void* buffer, size_t count, off_t offset);
    virtual ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset);
    virtual int Ftruncate(int fd, off_t length);
    virtual int Fsync(int fd);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Lstat(const char* path, struct stat* st);
    virtual int Stat(const char* path, struct stat* st);
    virtual int Futimens(int fd, const struct timespec times[2]);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Close(int fd);
    virtual int Symlink(const char* target, const char* path);
    virtual ssize_t Readlink(const char* path, char* buffer, size_t size);
    // Relative to a folder's descriptor, for a place outside the opened folder held by its own
    // descriptor (a USB stick's new folder): openat, mkdirat, unlinkat.
    virtual int OpenAt(int dir, const char* name, int flags, mode_t mode);
    virtual int MkdirAt(int dir, const char* name, mode_t mode);
    virtual int UnlinkAt(int dir, const char* name, int flags);
};

// The calls as the kernel answers them.
TSysCalls& RealSysCalls();

// Writes all `count` bytes, again after EINTR; false with errno set (ENOSPC where the file took
// none).
bool WriteAll(TSysCalls& sys, int fd, const char* data, size_t count);
// Reads up to `count` bytes, again after EINTR and short reads: fewer only at the end of the
// file; -1 with errno set.
ssize_t ReadAll(TSysCalls& sys, int fd, char* buffer, size_t count);

}  // namespace velmora
