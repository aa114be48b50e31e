// Shared pieces of the benchmarks: a generated folder of MP3 files and the floor loop, the least
// file work any analysis of a folder must do.
#pragma once

#include <fcntl.h>
#include <unistd.h>

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

}  // namespace velmora::bench
