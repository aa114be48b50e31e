#include "core/files/Paths.h"

namespace velmora {

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NormalPath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out += c;
    }
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string RelativePath(const std::string& path, const std::string& folder) {
    const std::string normal = NormalPath(path);
    const std::string base = NormalPath(folder);
    if (normal == base)
        return ".";
    if (base == "/")
        return !normal.empty() && normal[0] == '/' ? normal.substr(1) : normal;
    if (normal.compare(0, base.size() + 1, base + "/") == 0)
        return normal.substr(base.size() + 1);
    return normal;
}

bool PathWithin(const std::string& path, const std::string& folder) {
    const std::string normal = NormalPath(path);
    const std::string base = NormalPath(folder);
    if (normal == base || base == "/")
        return base != "/" || (!normal.empty() && normal[0] == '/');
    return normal.compare(0, base.size() + 1, base + "/") == 0;
}

}  // namespace velmora
