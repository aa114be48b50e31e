// Tags that are broken or hostile (tests/data/damaged, made by tools/make-damaged-tags.py): each
// file opens without an error and within a small, fixed amount of memory, whatever its tag claims.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio/AudioInfo.h"

namespace velmora {
namespace {

// A value of /proc/self/status in kilobytes, or -1.
long StatusKb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    return -1;
}

TEST(DamagedTags, EveryFileOpensWithinSixtyFourMegabytes) {
    const std::string folder = std::string(VELMORA_TEST_DATA) + "/damaged";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        ++files;
        // In a child, so the peak resident memory is the analysis's own.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Whatever the libraries would print goes here, and must not.
            FILE* errors = std::tmpfile();
            dup2(fileno(errors), STDERR_FILENO);
            std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts from here
            const long before = StatusKb("VmHWM");
            TAudioInfo info;
            try {
                info.LoadFromFile(path);
            } catch (...) {
                _exit(2);
            }
            const long grown = StatusKb("VmHWM") - before;
            if (std::ftell(errors) != 0 || lseek(STDERR_FILENO, 0, SEEK_END) != 0)
                _exit(4);
            _exit(before < 0 || grown < 64 * 1024 ? (info.FrameHdr.Valid ? 0 : 3) : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 1) << "more than 64 MB";
        EXPECT_NE(WEXITSTATUS(status), 2) << "an error";
        EXPECT_NE(WEXITSTATUS(status), 3) << "the audio behind the tag was not found";
        EXPECT_NE(WEXITSTATUS(status), 4) << "a line on standard error";
    }
    EXPECT_GE(files, 12);

    // A compressed frame is left out; the frames beside it are read.
    TAudioInfo info;
    info.LoadFromFile(folder + "/bomb-300mb-v24.mp3");
    EXPECT_FALSE(info.ID3v2.Damaged);
    EXPECT_EQ(info.ID3v2.Title.Text, "Song");
}

}  // namespace
}  // namespace velmora
