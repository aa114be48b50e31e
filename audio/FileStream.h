// Byte streams the audio layer reads and writes through: an abstract seekable stream, a stream
// over memory (tests, fuzzers) and a stream over an open regular file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct stat;

namespace velmora {

// A file-system failure or a short read; what() is the text the user sees.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file "<path>". <reason>"
std::string CannotOpenText(const std::string& path, const std::string& reason);
// "Cannot create file "<path>". <reason>"
std::string CannotCreateText(const std::string& path, const std::string& reason);

// Which file a path named when it was read: device and inode, size, modification and change
// times (in nanoseconds). A file is changed only while it is still the one that was read; a write
// that keeps the size and puts the modification time back still moves the time of change.
struct TFileIdentity {
    uint64_t Dev = 0, Ino = 0;
    int64_t Size = -1;  // -1: not known
    int64_t ModifiedNs = 0;
    int64_t ChangedNs = 0;
    bool Known() const { return Size >= 0; }
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of a file from its stat(2) record.
TFileIdentity IdentityOf(const struct stat& st);

class TStream {
  public:
    virtual ~TStream() = default;
    virtual int64_t Size() = 0;
    virtual int64_t Position() = 0;
    virtual void Seek(int64_t position) = 0;
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all count bytes or throws EStreamError.
    virtual void Write(const void* buffer, size_t count) = 0;

    // Cuts (or extends) the stream to the given length. Streams that cannot do it throw
    // EStreamError; the tag writer uses it to undo a failed append.
    virtual void Truncate(int64_t length);
    // A hint that the bytes [position, position + length) are about to be read in small pieces:
    // a buffered stream may fetch them in one go. Reading works the same without it.
    virtual void Prefetch(int64_t position, int64_t length);

    // Reads exactly count bytes or throws EStreamError("Stream read error").
    void ReadBuffer(void* buffer, size_t count);
};

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
    TMemoryStream(const uint8_t* data, size_t size) : Bytes(data, data + size) {}

    int64_t Size() override { return static_cast<int64_t>(Bytes.size()); }
    int64_t Position() override { return Pos; }
    void Seek(int64_t position) override { Pos = position < 0 ? 0 : position; }
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    void Truncate(int64_t length) override;

    std::vector<uint8_t> Bytes;

  private:
    int64_t Pos = 0;
};

// A regular file opened for reading, or for reading and writing. The constructor throws
// EStreamError with CannotOpenText when the file cannot be opened or is not a regular file
// (a FIFO or a device is refused without blocking). Reads go through an internal buffer so that
// many small reads cost few system calls: a read that misses the buffer fetches at least
// kMinFetch bytes (never past the end of the file), Prefetch fetches a whole range at once, and
// reads of kDirectRead bytes or more bypass the buffer. A failed write throws
// EStreamError("Stream write error. <reason>").
class TFileStream : public TStream {
  public:
    enum class Mode { Read, ReadWrite };
    TFileStream(const std::string& path, Mode mode);
    // The file `name` relative to the folder descriptor `dir` (openat(2)); `path` is the full path
    // the error messages name.
    TFileStream(int dir, const std::string& name, const std::string& path, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Size() override;
    int64_t Position() override { return Pos; }
    void Seek(int64_t position) override;
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    // Cuts the file to the given length (used to undo a failed append).
    void Truncate(int64_t length) override;
    void Prefetch(int64_t position, int64_t length) override;

    static constexpr size_t kMinFetch = 512;
    static constexpr size_t kDirectRead = 16384;
    static constexpr int64_t kMaxPrefetch = 65536;

    int Handle() const { return Fd; }
    const std::string& Path() const { return FilePath; }
    // Bytes delivered by read(2) since the stream was opened (benchmarks report it).
    int64_t BytesFromDisk() const { return DiskBytes; }
    // The file's modification time (Unix seconds) and st_mode, as of the open.
    int64_t ModificationTime() const { return ModTime; }
    uint32_t FileMode() const { return ModeBits; }
    // How many names the file has (its hard links), as of the open.
    uint32_t LinkCount() const { return Links; }
    // The file as of the open, and as it is now (after writes through this stream).
    const TFileIdentity& OpenedIdentity() const { return Opened; }
    TFileIdentity CurrentIdentity() const;

  private:
    // Reads [position, position + count) from the file into the buffer, keeping the cached bytes
    // that overlap it; stops early at the end of the file.
    void Fill(int64_t position, size_t count);
    size_t ReadAt(int64_t position, uint8_t* to, size_t count);

    std::string FilePath;
    int Fd = -1;
    int64_t Pos = 0;
    int64_t FileLength = 0;
    // Bytes read are written over at once, so growing the buffer need not zero it first.
    template <class T>
    struct TNoInit : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = TNoInit<U>;
        };
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            if constexpr (sizeof...(Args) == 0)
                ::new (static_cast<void*>(p)) U;
            else
                ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    std::vector<uint8_t, TNoInit<uint8_t>> Buf;  // cached bytes starting at BufStart
    int64_t BufStart = 0;
    int64_t DiskBytes = 0;
    int64_t ModTime = 0;
    uint32_t ModeBits = 0;
    uint32_t Links = 1;
    TFileIdentity Opened;

    void Open(int dir, const std::string& name, Mode mode);
};

}  // namespace velmora
