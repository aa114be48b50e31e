// velmora-genfolder: fills a folder with N small generated MP3 files (see tools/GenFolder.h).
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "tools/GenFolder.h"

int main(int argc, char** argv) {
    velmora::tools::TGenOptions options;
    std::string dir;
    bool haveCount = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: velmora-genfolder DIR N [--cyrillic]\n"
                         "Writes N generated MP3 files named \"NNN Artist - Title.mp3\" into DIR\n"
                         "(created when missing). --cyrillic gives Cyrillic artists and titles.\n"
                         "The same arguments always give the same files.\n";
            return 0;
        }
        if (arg == "--cyrillic") {
            options.Cyrillic = true;
        } else if (dir.empty()) {
            dir = arg;
        } else if (!haveCount) {
            char* end = nullptr;
            const long n = std::strtol(arg.c_str(), &end, 10);
            if (*end != '\0' || n < 0 || n > 100000) {
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
        std::cerr << "Usage: velmora-genfolder DIR N [--cyrillic]\n";
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
