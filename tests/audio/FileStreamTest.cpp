#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "audio/FileStream.h"
#include "tools/Mp3Builder.h"

namespace velmora {
namespace {

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(gen());
    return bytes;
}

std::string OpenError(const std::string& path, TFileStream::Mode mode) {
    try {
        TFileStream stream(path, mode);
    } catch (const EStreamError& e) {
        return e.what();
    }
    return "opened";
}

class FileStream : public testing::Test {
  protected:
    test::TempDir Dir;
};

// Any mix of seeks, reads of any length and prefetch hints reads the same bytes as memory does.
TEST_F(FileStream, BufferedReadsMatchTheFile) {
    const std::vector<uint8_t> bytes = RandomBytes(100000, 1);
    const std::string path = Dir.File("r.bin");
    test::WriteFile(path, bytes);
    TFileStream file(path, TFileStream::Mode::Read);
    TMemoryStream memory(bytes);
    EXPECT_EQ(file.Size(), 100000);
    std::mt19937 gen(7);
    for (int step = 0; step < 3000; ++step) {
        const int64_t at = std::uniform_int_distribution<int64_t>(0, 100100)(gen);
        const size_t count = std::uniform_int_distribution<size_t>(0, 3)(gen) == 0
                                 ? std::uniform_int_distribution<size_t>(0, 40000)(gen)
                                 : std::uniform_int_distribution<size_t>(0, 700)(gen);
        if (step % 5 == 0)
            file.Prefetch(at, std::uniform_int_distribution<int64_t>(-5, 70000)(gen));
        if (step % 3 != 0) {
            file.Seek(at);
            memory.Seek(at);
        }
        std::vector<uint8_t> a(count), b(count);
        const size_t na = file.Read(a.data(), count);
        const size_t nb = memory.Read(b.data(), count);
        ASSERT_EQ(na, nb) << step;
        ASSERT_EQ(a, b) << step;
        ASSERT_EQ(file.Position(), memory.Position());
    }
    EXPECT_GT(file.BytesFromDisk(), 0);
}

TEST_F(FileStream, SmallReadsCostFewBytesFromDisk) {
    const std::string path = Dir.File("s.bin");
    test::WriteFile(path, RandomBytes(50000, 2));
    TFileStream file(path, TFileStream::Mode::Read);
    uint8_t chunk[128];
    file.Prefetch(0, 10296);
    for (int i = 0; i < 80; ++i)
        file.ReadBuffer(chunk, 124);
    EXPECT_EQ(file.BytesFromDisk(), 10296);
    file.Seek(50000 - 128);
    file.ReadBuffer(chunk, 128);  // the tail: just its bytes, not a whole fetch
    EXPECT_EQ(file.BytesFromDisk(), 10296 + 128);
    file.Seek(20000);
    file.ReadBuffer(chunk, 4);  // a miss fetches a small block
    EXPECT_EQ(file.BytesFromDisk(), 10296 + 128 + 512);
    EXPECT_EQ(file.Read(chunk, 1), 1u);
    EXPECT_EQ(file.BytesFromDisk(), 10296 + 128 + 512);
}

TEST_F(FileStream, WritesAndTruncationStayVisibleToReads) {
    const std::vector<uint8_t> bytes = RandomBytes(5000, 3);
    const std::string path = Dir.File("w.bin");
    test::WriteFile(path, bytes);
    TFileStream file(path, TFileStream::Mode::ReadWrite);
    std::vector<uint8_t> back(5000);
    file.ReadBuffer(back.data(), 5000);  // everything cached
    const std::vector<uint8_t> patch(100, 'P');
    file.Seek(4950);  // across the end of the file
    file.Write(patch.data(), patch.size());
    EXPECT_EQ(file.Size(), 5050);
    file.Seek(4900);
    std::vector<uint8_t> tail(150);
    file.ReadBuffer(tail.data(), 150);
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 50, bytes.begin() + 4900));
    EXPECT_EQ(std::vector<uint8_t>(tail.begin() + 50, tail.end()), patch);

    file.Truncate(4000);
    EXPECT_EQ(file.Size(), 4000);
    file.Seek(3990);
    uint8_t last[20];
    EXPECT_EQ(file.Read(last, 20), 10u);
    file.Seek(3990);
    EXPECT_THROW(file.ReadBuffer(last, 20), EStreamError);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4000);
}

TEST_F(FileStream, OpenRefusesWhatItCannotOrMustNotRead) {
    const std::string missing = Dir.File("none.mp3");
    EXPECT_EQ(OpenError(missing, TFileStream::Mode::Read),
              "Cannot open file \"" + missing + "\". No such file or directory");
    const std::string fifo = Dir.File("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (auto mode : {TFileStream::Mode::Read, TFileStream::Mode::ReadWrite}) {
        EXPECT_EQ(OpenError(fifo, mode), "Cannot open file \"" + fifo + "\". Not a regular file");
    }
    EXPECT_EQ(OpenError("/dev/null", TFileStream::Mode::Read),
              "Cannot open file \"/dev/null\". Not a regular file");
    EXPECT_EQ(OpenError(Dir.Path(), TFileStream::Mode::Read),
              "Cannot open file \"" + Dir.Path() + "\". Is a directory");
    EXPECT_EQ(OpenError(Dir.Path(), TFileStream::Mode::ReadWrite),
              "Cannot open file \"" + Dir.Path() + "\". Is a directory");

    // A relative name is reported with the working folder in front of it.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(OpenError("no such relative.mp3", TFileStream::Mode::Read),
              "Cannot open file \"" + std::string(cwd) +
                  "/no such relative.mp3\". No such file or directory");
}

}  // namespace
}  // namespace velmora
