// The disc image's calls (core/disc/IsoImage.h) through the module libvelmora-iso.so
// (core/disc/IsoLib.h). A module that cannot be loaded is the call's failure, with its Russian
// reason.
#include "core/disc/IsoLib.h"
#include "core/files/Module.h"

namespace velmora {

const TIsoLib& IsoLib() {
    // Loaded once; a failure is tried again at the next call.
    static const TIsoLib* lib = [] {
        using TEntry = const TIsoLib* (*)();
        const auto entry =
            reinterpret_cast<TEntry>(ModuleEntry(kIsoLibModule, kIsoLibEntry, "образа диска"));
        const TIsoLib* table = entry();
        if (table == nullptr || table->Version != kIsoLibVersion)
            throw EModuleMissing(std::string("Модуль образа диска ") + kIsoLibModule +
                                 " не той версии — переустановите Velmora");
        return table;
    }();
    return *lib;
}

std::string MeasureIsoImage(const TIsoLayout& layout, int64_t& sectors) {
    try {
        return IsoLib().MeasureIsoImage(layout, sectors);
    } catch (const EModuleMissing& missing) {
        return missing.what();
    }
}

std::string WriteIsoImage(const TIsoLayout& layout, int fd, TSysCalls& sys,
                          const std::function<bool(int64_t, int64_t)>& progress, bool& cancelled) {
    cancelled = false;
    try {
        return IsoLib().WriteIsoImage(layout, fd, sys, progress, cancelled);
    } catch (const EModuleMissing& missing) {
        return missing.what();
    }
}

std::string ReadIsoImage(const std::string& path, bool joliet, TIsoListing& listing) {
    try {
        return IsoLib().ReadIsoImage(path, joliet, listing);
    } catch (const EModuleMissing& missing) {
        return missing.what();
    }
}

}  // namespace velmora
