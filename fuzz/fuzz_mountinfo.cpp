// Arbitrary bytes as the mount table: parsing never fails, each entry's mount point is absolute,
// no line gives more than one entry, and the mount that holds a path is one of the entries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/stick/MountTable.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<velmora::TMountEntry> mounts = velmora::ParseMountInfo(text);
    Check(mounts.size() <= static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    for (const velmora::TMountEntry& m : mounts) {
        Check(!m.MountPoint.empty() && m.MountPoint[0] == '/');
        Check(velmora::UnescapeMountField(m.MountPoint).size() <= m.MountPoint.size());
        const velmora::TMountEntry* holder = velmora::MountOf(mounts, m.MountPoint + "/x");
        Check(holder != nullptr && holder >= mounts.data() &&
              holder < mounts.data() + mounts.size());
    }
    Check(velmora::UnescapeMountField(text).size() <= text.size());
    return 0;
}
