#include "core/files/Module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <mutex>

#include "core/files/Paths.h"

namespace velmora {
namespace {

// The folder of the running program, "" when the system does not tell it.
std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "";
    return ParentOf(std::string(path, static_cast<size_t>(n)));
}

}  // namespace

std::vector<std::string> ModuleFolders() {
    std::vector<std::string> folders;
    const std::string own = ProgramFolder();
    if (own.empty())
        return folders;
    folders.push_back(own);
    // The installed library folder, from the program's own place: /usr/bin/velmora-cli finds
    // /usr/lib/velmora (or /usr/lib/<triplet>/velmora), whatever the prefix it was installed to.
#ifdef VELMORA_MODULE_SUBDIR
    folders.push_back(NormalPath(ParentOf(own) + "/" + VELMORA_MODULE_SUBDIR));
#endif
    return folders;
}

void* ModuleEntry(const std::string& file, const char* entry, const std::string& purpose) {
    static std::mutex lock;
    static std::map<std::string, void*> loaded;
    const std::lock_guard<std::mutex> hold(lock);
    void*& handle = loaded[file];
    std::string looked;
    std::string failure;
    for (const std::string& folder : ModuleFolders()) {
        if (handle != nullptr)
            break;
        const std::string path = JoinPath(folder, file);
        looked += (looked.empty() ? "" : ", ") + folder;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            failure = "Модуль " + purpose + " " + path + " не загружается" +
                      (why ? std::string(": ") + why : std::string()) +
                      " — переустановите Velmora вместе с библиотеками, которые он требует";
        }
    }
    if (handle == nullptr) {
        loaded.erase(file);
        throw EModuleMissing(!failure.empty()
                                 ? failure
                                 : "Не найден модуль " + purpose + " " + file + " (искали в " +
                                       looked + ") — переустановите Velmora");
    }
    ::dlerror();
    void* symbol = ::dlsym(handle, entry);
    if (symbol == nullptr)
        throw EModuleMissing("Модуль " + purpose + " " + file + " не той версии (нет " + entry +
                             ") — переустановите Velmora");
    return symbol;
}

}  // namespace velmora
