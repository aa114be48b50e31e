#include "core/files/TranslitFile.h"

#include <unistd.h>
#include <cstdlib>

#include "core/files/Paths.h"

namespace velmora {

void LoadTranslitTableFile(TTranslitTable& table, TFileSystem& fs, const std::string& path) {
    // A file that cannot be read, or is no table, leaves the table as it is.
    const auto refuse = [&path](const char* why) {
        throw EStreamError("Файл " + path + " " + why + ": это не таблица транслитерации, " +
                           "таблица не изменена");
    };
    if (fs.EntrySize(path) > static_cast<int64_t>(kMaxTableFileBytes))
        refuse("больше 1 МБ");
    const std::string bytes = fs.ReadFile(path);
    if (bytes.size() > kMaxTableFileBytes)
        refuse("больше 1 МБ");
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\r' && b != '\n')
            refuse("не текст");
    }
    table.LoadFromBytes(bytes);
}

void SaveTranslitTableFile(const TTranslitTable& table, TFileSystem& fs, const std::string& path) {
    fs.WriteFileReplacing(path, table.SaveToBytes());
}

std::string TranslitTableFile(const std::string& programPath) {
    const size_t nameStart = programPath.size() - NameOf(programPath).size();
    const size_t dot = programPath.rfind('.');
    // A dot that begins the name starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return programPath + ".trs";
    return programPath.substr(0, dot) + ".trs";
}

TTranslitTablePlace ChooseTranslitTablePlace(const std::string& programPath,
                                             bool programFolderWritable, const char* xdgConfigHome,
                                             const char* home) {
    if (programFolderWritable)
        return {TranslitTableFile(programPath), ""};
    // Only an absolute value counts, as the XDG base directory rules say. Trailing slashes go, so
    // the root gives "/velmora".
    const auto trimmed = [](std::string path) {
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        return path;
    };
    std::string config;
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        config = trimmed(xdgConfigHome);
    } else if (home != nullptr && home[0] == '/') {
        config = trimmed(home) + "/.config";
    } else {
        return {TranslitTableFile(programPath), ""};
    }
    const std::string folder = config + "/velmora";
    return {folder + "/velmora.trs", folder};
}

bool IsSystemFolder(const std::string& folder) {
    return PathWithin(folder, "/usr") || PathWithin(folder, "/opt") || PathWithin(folder, "/bin") ||
           PathWithin(folder, "/sbin");
}

TTranslitTablePlace FindTranslitTablePlace(const std::string& programPath) {
    // An installed program never writes into its own folder, even where it may (run as root).
    const std::string folder = ParentOf(programPath);
    const bool besideProgram = !IsSystemFolder(folder) && access(folder.c_str(), W_OK) == 0;
    return ChooseTranslitTablePlace(programPath, besideProgram, std::getenv("XDG_CONFIG_HOME"),
                                    std::getenv("HOME"));
}

void SaveTranslitTable(const TTranslitTable& table, TFileSystem& fs,
                       const TTranslitTablePlace& place) {
    // A folder that exists already or cannot be made is left to the write to report.
    for (size_t slash = place.Folder.find('/', 1); !place.Folder.empty();
         slash = place.Folder.find('/', slash + 1)) {
        fs.CreateDir(place.Folder.substr(0, slash));
        if (slash == std::string::npos)
            break;
    }
    SaveTranslitTableFile(table, fs, place.Path);
}

}  // namespace velmora
