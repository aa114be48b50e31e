#include "core/files/TagBlockWrite.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora {
namespace {

constexpr size_t kBlock = 128;

// Writes or reads all `count` bytes at `offset`; false with errno set.
template <typename TCall>
bool Whole(TCall call, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = call(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

class TWrite {
  public:
    TWrite(TSysCalls& sys, int fd) : Sys(sys), Fd(fd) {}
    ~TWrite() { Sys.Close(Fd); }
    TWrite(const TWrite&) = delete;
    TWrite& operator=(const TWrite&) = delete;

    bool Put(const uint8_t* bytes, off_t at) {
        return Whole(
            [&](size_t done) { return Sys.Pwrite(Fd, bytes + done, kBlock - done, at + done); },
            kBlock);
    }
    bool Get(uint8_t* bytes, off_t at) {
        return Whole(
            [&](size_t done) { return Sys.Pread(Fd, bytes + done, kBlock - done, at + done); },
            kBlock);
    }

    TSysCalls& Sys;
    const int Fd;
};

}  // namespace

TTagBlockWrite WriteTagBlock(TSysCalls& sys, const std::string& path, const TFileIdentity& identity,
                             const std::string& readBlock, const uint8_t* block) {
    TTagBlockWrite result;
    const int fd = sys.Open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (fd < 0) {
        result.Error = errno;
        return result;
    }
    result.Opened = true;
    TWrite file(sys, fd);
    struct stat st {};
    if (sys.Fstat(fd, &st) != 0) {
        result.Error = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.Error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    if (identity.Known() && !(IdentityOf(st) == identity)) {
        result.Changed = true;
        return result;
    }
    // The end as it is now: what the tag replaces, and what the analysis read there.
    const off_t size = st.st_size;
    uint8_t old[kBlock] = {};
    const bool whole = size >= static_cast<off_t>(kBlock);
    if (whole && !file.Get(old, size - static_cast<off_t>(kBlock))) {
        result.Error = errno;
        return result;
    }
    if (identity.Known() && !readBlock.empty() &&
        (!whole || readBlock.size() != kBlock || std::memcmp(old, readBlock.data(), kBlock) != 0)) {
        result.Changed = true;
        return result;
    }
    const bool inPlace = whole && std::memcmp(old, "TAG", 3) == 0;
    const off_t at = inPlace ? size - static_cast<off_t>(kBlock) : size;
    const auto undo = [&] {
        if (inPlace)
            file.Put(old, at);
        else
            sys.Ftruncate(fd, size);
    };
    if (!file.Put(block, at)) {
        result.Error = errno;
        undo();
        errno = result.Error;
        return result;
    }
    // Looked at again: a file whose size moved meanwhile was being written by another program,
    // and the block may now stand inside its data. Where it still stands, the old bytes go back.
    struct stat now {};
    const off_t expected = inPlace ? size : size + static_cast<off_t>(kBlock);
    if (sys.Fstat(fd, &now) != 0 || now.st_size != expected) {
        uint8_t there[kBlock];
        if (inPlace && file.Get(there, at) && std::memcmp(there, block, kBlock) == 0)
            file.Put(old, at);
        result.Changed = true;
        return result;
    }
    result.Now = IdentityOf(now);
    return result;
}

}  // namespace velmora
