// The calls of core/burn/Burn.h that need libburn, through the burn module (core/burn/BurnLib.h).
// A module that cannot be loaded is a failure of the call, with the module's Russian reason.
#include "core/burn/BurnLib.h"
#include "core/files/Module.h"

namespace velmora {

const TBurnLib& BurnLib() {
    // Loaded once; a failure is tried again at the next call.
    static const TBurnLib* lib = [] {
        using TEntry = const TBurnLib* (*)();
        const auto entry =
            reinterpret_cast<TEntry>(ModuleEntry(kBurnLibModule, kBurnLibEntry, "записи дисков"));
        const TBurnLib* table = entry();
        if (table == nullptr || table->Version != kBurnLibVersion)
            throw EModuleMissing(std::string("Модуль записи дисков ") + kBurnLibModule +
                                 " не той версии — переустановите Velmora");
        return table;
    }();
    return *lib;
}

std::vector<TBurnDrive> FindDrives(std::string& error) {
    try {
        return BurnLib().FindDrives(error);
    } catch (const EModuleMissing& missing) {
        error = missing.what();
        return {};
    }
}

TMediumInfo InspectMedium(const std::string& address, int64_t pseudoCapacitySectors) {
    try {
        return BurnLib().InspectMedium(address, pseudoCapacitySectors);
    } catch (const EModuleMissing& missing) {
        TMediumInfo info;
        info.Address = address;
        info.Error = missing.what();
        return info;
    }
}

TBurnResult BurnImage(const std::string& imagePath, const TBurnOptions& options,
                      const TBurnProgressFn& progress) {
    try {
        return BurnLib().BurnImage(imagePath, options, progress);
    } catch (const EModuleMissing& missing) {
        TBurnResult result;
        result.Message = missing.what();
        return result;
    }
}

TVerifyResult VerifyBurn(const std::string& address, const std::string& imagePath,
                         const TBurnProgressFn& progress) {
    try {
        return BurnLib().VerifyBurn(address, imagePath, progress);
    } catch (const EModuleMissing& missing) {
        TVerifyResult result;
        result.Message = missing.what();
        return result;
    }
}

}  // namespace velmora
