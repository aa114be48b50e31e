#include "audio/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmora {

namespace {

std::string SystemReason(int error) {
    return std::strerror(error);
}

// The name as the user would find it: relative names are put behind the working folder.
std::string FullPath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

[[noreturn]] void ThrowWriteError(int error) {
    throw EStreamError("Stream write error. " + SystemReason(error));
}

}  // namespace

std::string CannotOpenText(const std::string& path, const std::string& reason) {
    return "Cannot open file \"" + path + "\". " + reason;
}

std::string CannotCreateText(const std::string& path, const std::string& reason) {
    return "Cannot create file \"" + path + "\". " + reason;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t n = Read(static_cast<uint8_t*>(buffer) + done, count - done);
        if (n == 0)
            throw EStreamError("Stream read error");
        done += n;
    }
}

void TStream::Truncate(int64_t) {
    throw EStreamError("Stream write error");
}

void TStream::Prefetch(int64_t, int64_t) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    const int64_t size = static_cast<int64_t>(Bytes.size());
    if (Pos >= size || count == 0)
        return 0;
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size - Pos));
    std::memcpy(buffer, Bytes.data() + Pos, n);
    Pos += static_cast<int64_t>(n);
    return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0)
        return;
    const size_t end = static_cast<size_t>(Pos) + count;
    if (end > Bytes.size())
        Bytes.resize(end);
    std::memcpy(Bytes.data() + Pos, buffer, count);
    Pos += static_cast<int64_t>(count);
}

void TMemoryStream::Truncate(int64_t length) {
    Bytes.resize(static_cast<size_t>(std::max<int64_t>(0, length)));
}

TFileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

TFileStream::TFileStream(const std::string& path, Mode mode) : FilePath(path) {
    Open(AT_FDCWD, path, mode);
}

TFileStream::TFileStream(int dir, const std::string& name, const std::string& path, Mode mode)
    : FilePath(path) {
    Open(dir, name, mode);
}

void TFileStream::Open(int dir, const std::string& name, Mode mode) {
    const std::string& path = FilePath;
    // O_NONBLOCK makes the open of a FIFO or a device return at once instead of waiting for a
    // writer; such files are then refused.
    const int access = mode == Mode::Read ? O_RDONLY : O_RDWR;
    Fd = ::openat(dir, name.c_str(), access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (Fd < 0)
        throw EStreamError(CannotOpenText(FullPath(path), SystemReason(errno)));
    struct stat st {};
    std::string reason;
    if (::fstat(Fd, &st) != 0) {
        reason = SystemReason(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = SystemReason(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        reason = "Not a regular file";
    }
    // O_NONBLOCK stays: it means nothing for a regular file, and clearing it would cost a call.
    if (!reason.empty()) {
        ::close(Fd);
        Fd = -1;
        throw EStreamError(CannotOpenText(FullPath(path), reason));
    }
    FileLength = st.st_size;
    ModTime = st.st_mtime;
    ModeBits = st.st_mode;
    Links = static_cast<uint32_t>(st.st_nlink);
    Opened = IdentityOf(st);
}

TFileIdentity TFileStream::CurrentIdentity() const {
    struct stat st {};
    return ::fstat(Fd, &st) == 0 ? IdentityOf(st) : TFileIdentity{};
}

TFileStream::~TFileStream() {
    if (Fd >= 0)
        ::close(Fd);
}

int64_t TFileStream::Size() {
    return FileLength;
}

void TFileStream::Seek(int64_t position) {
    Pos = std::max<int64_t>(0, position);
}

size_t TFileStream::ReadAt(int64_t position, uint8_t* to, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(Fd, to + done, count - done, static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EStreamError("Stream read error");
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
        DiskBytes += n;
    }
    return done;
}

void TFileStream::Fill(int64_t position, size_t count) {
    // Never ask for bytes past the known end: a short read would cost a second call to find out.
    const int64_t available = std::max<int64_t>(0, FileLength - position);
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), available));
    const int64_t cachedEnd = BufStart + static_cast<int64_t>(Buf.size());
    size_t keep = 0;
    if (position >= BufStart && position < cachedEnd) {
        keep = static_cast<size_t>(
            std::min<int64_t>(cachedEnd - position, static_cast<int64_t>(count)));
        std::memmove(Buf.data(), Buf.data() + (position - BufStart), keep);
    }
    Buf.resize(std::max(count, keep));
    BufStart = position;
    const size_t got =
        keep + ReadAt(position + static_cast<int64_t>(keep), Buf.data() + keep, count - keep);
    Buf.resize(got);
}

void TFileStream::Prefetch(int64_t position, int64_t length) {
    position = std::max<int64_t>(0, position);
    length = std::min(std::min(length, kMaxPrefetch), FileLength - position);
    if (length <= 0)
        return;
    const int64_t cachedEnd = BufStart + static_cast<int64_t>(Buf.size());
    if (position >= BufStart && position + length <= cachedEnd)
        return;
    Fill(position, static_cast<size_t>(length));
}

size_t TFileStream::Read(void* buffer, size_t count) {
    uint8_t* to = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const int64_t cachedEnd = BufStart + static_cast<int64_t>(Buf.size());
        if (Pos >= BufStart && Pos < cachedEnd) {
            const size_t n = static_cast<size_t>(
                std::min<int64_t>(cachedEnd - Pos, static_cast<int64_t>(count - done)));
            std::memcpy(to + done, Buf.data() + (Pos - BufStart), n);
            Pos += static_cast<int64_t>(n);
            done += n;
            continue;
        }
        const size_t rest = count - done;
        if (rest >= kDirectRead) {
            const size_t n = ReadAt(Pos, to + done, rest);
            Pos += static_cast<int64_t>(n);
            done += n;
            break;
        }
        Fill(Pos, std::max(rest, kMinFetch));
        if (Buf.empty())
            break;  // the end of the file
    }
    return done;
}

void TFileStream::Write(const void* buffer, size_t count) {
    const uint8_t* from = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(Fd, from + done, count - done, static_cast<off_t>(Pos + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            Buf.clear();
            FileLength = std::max(FileLength, Pos + static_cast<int64_t>(done));
            ThrowWriteError(error);
        }
        done += static_cast<size_t>(n);
    }
    // Keep the cached bytes equal to the file's.
    const int64_t cachedEnd = BufStart + static_cast<int64_t>(Buf.size());
    const int64_t from0 = std::max(Pos, BufStart);
    const int64_t to0 = std::min(Pos + static_cast<int64_t>(count), cachedEnd);
    if (from0 < to0) {
        std::memcpy(Buf.data() + (from0 - BufStart), from + (from0 - Pos),
                    static_cast<size_t>(to0 - from0));
    }
    Pos += static_cast<int64_t>(count);
    FileLength = std::max(FileLength, Pos);
}

void TFileStream::Truncate(int64_t length) {
    length = std::max<int64_t>(0, length);
    while (::ftruncate(Fd, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR)
            ThrowWriteError(errno);
    }
    FileLength = length;
    const int64_t cachedEnd = BufStart + static_cast<int64_t>(Buf.size());
    if (cachedEnd > length)
        Buf.resize(static_cast<size_t>(std::max<int64_t>(0, length - BufStart)));
}

}  // namespace velmora
