// Shared pieces of the benchmarks: a generated folder of MP3 files and the floor loops, the least
// file work any analysis of a folder must do.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/GenFolder.h"
#include "tools/Mp3Builder.h"

namespace velmora::bench {

// A temporary folder of `count` generated MP3 files (tools/GenFolder.h), removed at the end.
class TBenchFolder {
  public:
    explicit TBenchFolder(int count, bool cyrillic = false)
        : Paths(tools::GenerateFolder(Dir.Path(), {.Count = count, .Cyrillic = cyrillic})) {}
    // Files as a tagger leaves them: an ID3v2.3 tag on each, a cover of coverKB on every
    // coverEvery-th file.
    TBenchFolder(int count, int coverEvery, int coverKB)
        : Paths(tools::GenerateFolder(Dir.Path(), {.Count = count,
                                                   .Kind = tools::TGenKind::Tagged,
                                                   .CoverEvery = coverEvery,
                                                   .CoverKB = coverKB})) {}

    test::TempDir Dir;
    std::vector<std::string> Paths;
};

// The bytes the floor reads from the start of a file: as many as the first-frame search may.
constexpr size_t kFloorHead = 10296;
constexpr size_t kFloorTail = 128;

// The floor for one file: open it, read its first 10296 bytes and its last 128, close it.
// Returns the bytes read.
inline int64_t FloorRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    static thread_local std::vector<uint8_t> buffer(kFloorHead);
    int64_t bytes = 0;
    const ssize_t head = ::pread(fd, buffer.data(), kFloorHead, 0);
    if (head > 0)
        bytes += head;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size >= static_cast<off_t>(kFloorTail)) {
        const ssize_t tail = ::pread(fd, buffer.data(), kFloorTail, size - kFloorTail);
        if (tail > 0)
            bytes += tail;
    }
    ::close(fd);
    return bytes;
}

// The length of the ID3v2 tag the bytes begin with (header, body, footer), or 0 when they do not
// begin with a well-formed header.
inline int64_t LeadingTagLength(const uint8_t* h, int64_t available) {
    if (available < 10 || h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF ||
        h[4] == 0xFF || ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
        return 0;
    const int64_t body = int64_t{h[6]} << 21 | int64_t{h[7]} << 14 | int64_t{h[8]} << 7 | h[9];
    return 10 + body + ((h[5] & 0x10) != 0 ? 10 : 0);
}

// The floor for a file that may begin with a large ID3v2 tag: the bytes the analysis needs and no
// more, read as few times as they can be. Open it; read its first 10296 bytes; when they begin
// with a tag, read the rest of the tag into the same buffer and the 10296 bytes behind it (the
// first frames); read the last 128 bytes; close. One buffer serves every file. Returns the bytes
// read.
inline int64_t FloorReadWithTag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    static thread_local std::vector<uint8_t> buffer;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    int64_t bytes = 0;
    if (buffer.size() < kFloorHead)
        buffer.resize(kFloorHead);
    const ssize_t head = ::pread(fd, buffer.data(), kFloorHead, 0);
    if (head > 0) {
        bytes += head;
        const int64_t tag = LeadingTagLength(buffer.data(), head);
        if (tag > 0 && tag <= size) {
            const int64_t end = std::min<int64_t>(tag + static_cast<int64_t>(kFloorHead), size);
            if (buffer.size() < static_cast<size_t>(end))
                buffer.resize(static_cast<size_t>(end));
            if (end > head) {
                const ssize_t rest =
                    ::pread(fd, buffer.data() + head, static_cast<size_t>(end - head), head);
                if (rest > 0)
                    bytes += rest;
            }
        }
    }
    if (size >= static_cast<off_t>(kFloorTail)) {
        uint8_t tail[kFloorTail];
        const ssize_t n = ::pread(fd, tail, kFloorTail, size - kFloorTail);
        if (n > 0)
            bytes += n;
    }
    ::close(fd);
    return bytes;
}

}  // namespace velmora::bench
