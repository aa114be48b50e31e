// The one move of the program: never replaces an existing target, never loses the source.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "core/FileSystem.h"

namespace velmora {

// The system calls the move is made of, one virtual per call, so that tests can make any one of
// them fail with a chosen errno. Each returns what the system call returns (-1 with errno set on
// failure); RenameNoReplace is renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE).
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

// Moves the file at `from` to `to`. Returns Ok, or the errno of the failure (EEXIST when the
// target exists). On every failure the source is where it was and nothing is overwritten. A
// symbolic link moved into another folder is made anew there pointing at the same file. A move
// stopped half way (the process killed) leaves no visible file that the next CleanLeftovers of
// the folder does not complete or remove (see core/Leftovers.h).
TMoveResult SafeMoveFile(const std::string& from, const std::string& to);
// The same through the given system calls.
TMoveResult SafeMoveFile(TSysCalls& sys, const std::string& from, const std::string& to);

// Rewrites the file at `path` (a link's target when it is a link) without its first
// `dropPrefixBytes` bytes: the rest goes to a hidden temporary file beside it, which gets the
// file's mode and times, is flushed and its size checked, and is renamed over the file. Returns
// Ok or the errno of the failure (EINVAL when the file is shorter); on any failure or a kill the
// file is as it was.
TMoveResult SafeRewriteFile(TSysCalls& sys, const std::string& path, uint64_t dropPrefixBytes);
TMoveResult SafeRewriteFile(const std::string& path, uint64_t dropPrefixBytes);

}  // namespace velmora
