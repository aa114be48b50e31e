// The judgement of a file given to the burn as a disc image, over arbitrary heads and sizes: it
// never reads past the head, and it says Ok with the file's sectors, or why not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/disc/ImageFile.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    int64_t fileSize = 0;
    std::memcpy(&fileSize, data, sizeof fileSize);
    fileSize &= (int64_t{1} << 40) - 1;
    std::string head(reinterpret_cast<const char*>(data + 8), size - 8);
    // Most heads are short: a descriptor is put at sector 16 when the input asks for one.
    if (!head.empty() && head[0] == 'P') {
        head.resize(velmora::kImageHeadBytes, '\0');
        head.replace(16 * 2048, 6,
                     "\x01"
                     "CD001");
        head[16 * 2048 + 6] = 1;
        head.replace(
            16 * 2048 + 80, std::min<size_t>(size - 8, 64),
            std::string(reinterpret_cast<const char*>(data + 8), std::min<size_t>(size - 8, 64)));
    }
    const velmora::TImageFileCheck check = velmora::CheckImageHead(head, fileSize, "x.iso");
    Check(check.Ok == check.Problem.empty());
    Check(!check.Ok || (check.Sectors > 0 && check.Sectors * 2048 >= fileSize &&
                        check.Sectors * 2048 < fileSize + 2048));
    return 0;
}
