#include "core/DiscNames.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/Naming.h"
#include "core/Paths.h"
#include "core/TextCodec.h"
#include "core/Translit.h"

namespace velmora {
namespace {

// Each character outside printable ASCII becomes one "_"; a byte that is not UTF-8 is a
// character of its own.
std::string AsciiOnly(const std::string& text) {
    std::string out;
    ForEachUtf8Char(text, [&out](uint32_t code) {
        out += code < 0x20 || code >= 0x7F ? '_' : static_cast<char>(code);
    });
    return out;
}

char DChar(char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
        return c;
    return '_';
}

std::string DChars(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text) {
        if (out.size() >= limit)
            break;
        out += DChar(c);
    }
    return out;
}

size_t IsoStemLimit(bool isFile, int level) {
    if (level == 1)
        return 8;
    return isFile ? 31 - 4 : 31;
}

}  // namespace

std::string DiscJolietName(const std::string& name, bool isFile, const TDiscProfile& profile) {
    std::string text = AsciiOnly(TransliterateText(TTranslitTable(), name));
    for (char& c : text)
        if (std::strchr("*/:;?\\", c))
            c = '_';
    const size_t limit = static_cast<size_t>(profile.JolietNameLength);
    if (!isFile)
        return text.substr(0, limit);
    // A listed file whose name does not end in ".mp3" ("bmp3") gets the extension on the disc.
    const std::string stem = HasMp3Extension(text) ? text.substr(0, text.size() - 4) : text;
    return stem.substr(0, limit - 4) + ".mp3";
}

std::string DiscIsoName(const std::string& jolietName, bool isFile, int isoLevel) {
    if (!isFile)
        return DChars(jolietName, IsoStemLimit(false, isoLevel));
    const size_t dot = jolietName.rfind('.');
    const std::string stem = dot == std::string::npos ? jolietName : jolietName.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : jolietName.substr(dot + 1);
    return DChars(stem, IsoStemLimit(true, isoLevel)) + "." + DChars(ext, 3);
}

void MakeUniqueDiscNames(std::vector<TDiscEntry*>& entries, bool isFile, int level) {
    std::map<std::string, int> seen;
    for (TDiscEntry* e : entries)
        ++seen[e->IsoName];
    for (TDiscEntry* e : entries) {
        if (seen[e->IsoName] < 2)
            continue;
        const size_t limit = IsoStemLimit(isFile, level);
        const std::string ext = isFile ? ".mp3" : "";
        std::string stem = e->Name.substr(0, e->Name.size() - ext.size());
        for (int n = 1; n < 100; ++n) {
            const std::string number = std::to_string(n);
            const std::string base =
                stem.substr(0, std::min(stem.size(), limit - 1 - number.size()));
            const std::string name = base + "_" + number + ext;
            const std::string iso = DiscIsoName(name, isFile, level);
            if (seen.count(iso) == 0) {
                seen[iso] = 1;
                e->Name = name;
                e->IsoName = iso;
                break;
            }
        }
    }
}

bool DiscNameChanged(const TDiscEntry& entry) {
    const std::string own = NameOf(entry.Source);
    std::string capitals = own;
    std::transform(capitals.begin(), capitals.end(), capitals.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return entry.Name != own || entry.IsoName != capitals;
}

std::string DiscVolumeId(const std::string& folderName) {
    const std::string id = DChars(AsciiOnly(TransliterateText(TTranslitTable(), folderName)), 32);
    return id.empty() ? "MP3_CD" : id;
}

}  // namespace velmora
