// velmora-genfolder: fills a folder with N small generated MP3 files (see tools/GenFolder.h).
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "tools/GenFolder.h"

namespace {

constexpr const char* kUsage =
    "Usage: velmora-genfolder DIR N [--cyrillic] [--covers=EVERY:KB] [--seed=S]\n";

// A whole decimal number between low and high, or -1.
long Number(const std::string& text, long low, long high) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    return text.empty() || *end != '\0' || n < low || n > high ? -1 : n;
}

}  // namespace

int main(int argc, char** argv) {
    velmora::tools::TGenOptions options;
    std::string dir;
    bool haveCount = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage
                      << "Writes N generated MP3 files named \"NNN Artist - Title.mp3\" into DIR\n"
                         "(created when missing). --cyrillic gives Cyrillic artists and titles.\n"
                         "--covers=EVERY:KB makes files as a tagger leaves them: an ID3v2.3 tag\n"
                         "of seven UTF-16 Cyrillic text frames on each, and a JPEG or PNG cover\n"
                         "of KB kilobytes on every EVERY-th file (0: no covers), e.g. 2:105 or\n"
                         "1:337. --seed=S draws different files. The same arguments always give\n"
                         "the same files.\n";
            return 0;
        }
        if (arg == "--cyrillic") {
            options.Cyrillic = true;
        } else if (arg.rfind("--covers=", 0) == 0) {
            const std::string value = arg.substr(9);
            const size_t colon = value.find(':');
            const long every = Number(value.substr(0, colon), 0, 1000);
            const long kb =
                colon == std::string::npos ? -1 : Number(value.substr(colon + 1), 4, 65536);
            if (every < 0 || kb < 0) {
                std::cerr << "velmora-genfolder: bad " << arg
                          << " (EVERY:KB, KB from 4 to 65536)\n";
                return 2;
            }
            options.Kind = velmora::tools::TGenKind::Tagged;
            options.CoverEvery = static_cast<int>(every);
            options.CoverKB = static_cast<int>(kb);
        } else if (arg.rfind("--seed=", 0) == 0) {
            const long seed = Number(arg.substr(7), 0, 4294967295L);
            if (seed < 0) {
                std::cerr << "velmora-genfolder: bad " << arg << "\n";
                return 2;
            }
            options.Seed = static_cast<uint32_t>(seed);
        } else if (dir.empty()) {
            dir = arg;
        } else if (!haveCount) {
            const long n = Number(arg, 0, 100000);
            if (n < 0) {
                std::cerr << "velmora-genfolder: bad count " << arg << "\n";
                return 2;
            }
            options.Count = static_cast<int>(n);
            haveCount = true;
        } else {
            std::cerr << "velmora-genfolder: unexpected argument " << arg << "\n";
            return 2;
        }
    }
    if (dir.empty() || !haveCount) {
        std::cerr << kUsage;
        return 2;
    }
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::cerr << "velmora-genfolder: cannot create " << dir << ": " << std::strerror(errno)
                  << "\n";
        return 1;
    }
    try {
        velmora::tools::GenerateFolder(dir, options);
    } catch (const std::exception& e) {
        std::cerr << "velmora-genfolder: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
