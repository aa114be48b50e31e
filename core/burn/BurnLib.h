// The calls of core/burn/Burn.h that need libburn, as the table of the module libvelmora-burn.so
// (core/burn/Burn.cpp, the only file that talks to libburn). The program loads the module on
// first use (core/files/Module.h), so a command that does not burn does not load libburn.
#pragma once

#include <string>
#include <vector>

#include "core/burn/Burn.h"

namespace velmora {

struct TBurnLib {
    int Version = 0;
    std::vector<TBurnDrive> (*FindDrives)(std::string& error);
    TMediumInfo (*InspectMedium)(const std::string& address, int64_t pseudoCapacitySectors);
    TBurnResult (*BurnImage)(const std::string& imagePath, const TBurnOptions& options,
                             const TBurnProgressFn& progress);
    TVerifyResult (*VerifyBurn)(const std::string& address, const std::string& imagePath,
                                const TBurnProgressFn& progress);
};
inline constexpr int kBurnLibVersion = 1;
inline constexpr const char* kBurnLibModule = "libvelmora-burn.so";
inline constexpr const char* kBurnLibEntry = "VelmoraBurnLib";

// The module's table, loaded on first use; throws EModuleMissing (core/files/Module.h).
const TBurnLib& BurnLib();

}  // namespace velmora

extern "C" const velmora::TBurnLib* VelmoraBurnLib();
