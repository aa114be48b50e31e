// The disc image's calls as the table of the module libvelmora-iso.so (core/disc/IsoImage.cpp, the
// only file that talks to libisofs). The program loads the module on its first image, measured
// or written (core/files/Module.h), so a command that never makes an image does not load
// libisofs.
#pragma once

#include <string>

#include "core/disc/IsoImage.h"

namespace velmora {

struct TIsoLib {
    int Version = 0;
    std::string (*MeasureIsoImage)(const TIsoLayout& layout, int64_t& sectors);
    std::string (*WriteIsoImage)(const TIsoLayout& layout, int fd, TSysCalls& sys,
                                 const std::function<bool(int64_t, int64_t)>& progress,
                                 bool& cancelled);
    std::string (*ReadIsoImage)(const std::string& path, bool joliet, TIsoListing& listing);
};
inline constexpr int kIsoLibVersion = 1;
inline constexpr const char* kIsoLibModule = "libvelmora-iso.so";
inline constexpr const char* kIsoLibEntry = "VelmoraIsoLib";

// The module's table, loaded on first use; throws EModuleMissing (core/files/Module.h).
const TIsoLib& IsoLib();

}  // namespace velmora

extern "C" const velmora::TIsoLib* VelmoraIsoLib();
