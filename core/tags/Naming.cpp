#include "core/tags/Naming.h"

#include <cstdio>

#include "core/text/TextCodec.h"

namespace velmora {
namespace {

std::string JoinParts(int32_t track, const std::string& artist, const std::string& title,
                      const std::string& separator, TNameParts parts) {
    std::string result;
    if (parts.Track) {
        result += std::to_string(track);
        if (parts.Artist || parts.Title)
            result += separator;
    }
    if (parts.Artist) {
        result += artist;
        if (parts.Title)
            result += separator;
    }
    if (parts.Title)
        result += title;
    return result;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

}  // namespace

bool IsMp3Name(const std::string& name) {
    const size_t n = name.size();
    return n >= 3 && LowerAscii(name[n - 3]) == 'm' && LowerAscii(name[n - 2]) == 'p' &&
           name[n - 1] == '3';
}

bool HasMp3Extension(const std::string& name) {
    return IsMp3Name(name) && name.size() >= 4 && name[name.size() - 4] == '.';
}

std::string BuildMergedTitle(int32_t track, const std::string& artist, const std::string& title,
                             const std::string& separator, TNameParts parts) {
    return parts.Any() ? JoinParts(track, artist, title, separator, parts) : title;
}

std::string JoinNewFileName(int32_t track, const std::string& artist, const std::string& title,
                            TNameParts parts) {
    return parts.Any() ? JoinParts(track, artist, title, "_", parts) + ".mp3" : std::string();
}

std::string NameReplacement(const std::string& replaceField) {
    // An emptied replacement field still has to give a usable name: "_" stands in for it.
    const std::string typed = Utf8First(replaceField);
    return typed.empty() ? std::string(1, '_') : typed;
}

std::string CheckName(const std::string& name, const std::string& replacement) {
    // The nine characters are ASCII, so no byte of a longer UTF-8 character is taken for one.
    static constexpr char kForbidden[] = "\\/?:*<>|\"";
    std::string result;
    result.reserve(name.size());
    size_t start = 0;
    for (size_t bad; (bad = name.find_first_of(kForbidden, start)) != std::string::npos;
         start = bad + 1) {
        result.append(name, start, bad - start).append(replacement);
    }
    return result.append(name, start, std::string::npos);
}

std::string NumberedFolderName(int32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "D%03d", static_cast<int>(number));
    return name;
}

std::string FolderNameOfFile(const std::string& fileName) {
    return Utf8DropLast(fileName, 4);
}

}  // namespace velmora
