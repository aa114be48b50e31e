// The writing of a checked folder's ISO 9660 image (through core/IsoImage.h, libisofs).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/Disc.h"
#include "core/SysCalls.h"

namespace velmora {

// The image's writing: progress gets the bytes written and the total, and stops the writing when
// it returns false.
using TDiscProgress = std::function<bool(int64_t done, int64_t total)>;

struct TDiscImageResult {
    bool Ok = false;
    bool Cancelled = false;
    std::string Message;  // why it failed, for the user
};

// Writes the image of a check without fatal problems into a hidden temporary file beside `out`
// and renames it to `out` at the end, replacing an existing file only when `replace` is true. A
// failure, a cancel or a kill leaves no file under `out` (a killed write leaves a temporary file
// the next open of that folder removes). The folder is only read.
TDiscImageResult WriteDiscImage(const TDiscCheck& check, const std::string& out, bool replace,
                                const TDiscProgress& progress, TSysCalls& sys = RealSysCalls());

}  // namespace velmora
