#include "core/convert/Codec.h"

#include "core/files/Module.h"

namespace velmora {

const TCodecs& Codecs() {
    // Loaded once; a failure is tried again at the next call.
    static const TCodecs* codecs = [] {
        using TEntry = const TCodecs* (*)();
        const auto entry =
            reinterpret_cast<TEntry>(ModuleEntry(kCodecsModule, kCodecsEntry, "перекодирования"));
        const TCodecs* table = entry();
        if (table == nullptr || table->Version != kCodecsVersion)
            throw EModuleMissing(std::string("Модуль перекодирования ") + kCodecsModule +
                                 " не той версии — переустановите Velmora");
        return table;
    }();
    return *codecs;
}

}  // namespace velmora
