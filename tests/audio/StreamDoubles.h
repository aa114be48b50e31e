// Stream doubles for the audio tests: a huge stream that is zeros except for a few patches, and a
// memory stream whose writes fail after a given number of bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "audio/FileStream.h"

namespace velmora::test {

// Size bytes of zeros with byte runs laid over them; reads count what they deliver.
class TPatchStream : public TStream {
  public:
    explicit TPatchStream(int64_t size) : StreamSize(size) {}
    void Put(int64_t at, const std::vector<uint8_t>& bytes) { Patches[at] = bytes; }

    int64_t Size() override { return StreamSize; }
    int64_t Position() override { return Pos; }
    void Seek(int64_t position) override { Pos = std::max<int64_t>(0, position); }
    size_t Read(void* buffer, size_t count) override {
        if (Pos >= StreamSize)
            return 0;
        const size_t n =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), StreamSize - Pos));
        auto* to = static_cast<uint8_t*>(buffer);
        std::memset(to, 0, n);
        for (const auto& [at, bytes] : Patches) {
            const int64_t end = at + static_cast<int64_t>(bytes.size());
            const int64_t from = std::max(at, Pos);
            const int64_t until = std::min(end, Pos + static_cast<int64_t>(n));
            if (from < until) {
                std::memcpy(to + (from - Pos), bytes.data() + (from - at),
                            static_cast<size_t>(until - from));
            }
        }
        Pos += static_cast<int64_t>(n);
        BytesRead += static_cast<int64_t>(n);
        return n;
    }
    void Write(const void*, size_t) override { throw EStreamError("Stream write error"); }

    int64_t BytesRead = 0;

  private:
    int64_t StreamSize;
    int64_t Pos = 0;
    std::map<int64_t, std::vector<uint8_t>> Patches;
};

// A memory stream whose next writes stop after `allowed` bytes with an error, like a full disk;
// after that one failure, writes work again (the undo) unless FailRestore is set.
class TFailingStream : public TMemoryStream {
  public:
    explicit TFailingStream(std::vector<uint8_t> bytes, size_t allowed)
        : TMemoryStream(std::move(bytes)), Allowed(allowed) {}
    void Write(const void* buffer, size_t count) override {
        if (FailAll)
            throw EStreamError("Stream write error. No space left on device");
        const size_t n = std::min(count, Allowed);
        TMemoryStream::Write(buffer, n);
        Allowed -= n;
        if (n < count) {
            FailAll = FailRestore;
            Allowed = SIZE_MAX;
            throw EStreamError("Stream write error. No space left on device");
        }
    }
    void Truncate(int64_t length) override {
        if (FailRestore)
            throw EStreamError("Stream write error");
        TMemoryStream::Truncate(length);
    }

    size_t Allowed;
    bool FailRestore = false;  // the undo fails too
    bool FailAll = false;
};

}  // namespace velmora::test
