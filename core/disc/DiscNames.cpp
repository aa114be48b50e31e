#include "core/disc/DiscNames.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "core/files/Paths.h"
#include "core/tags/Naming.h"
#include "core/text/Collation.h"
#include "core/text/TextCodec.h"
#include "core/text/Translit.h"

namespace velmora {
namespace {

// The default table: the disc is the same from the window and the command line, whatever table
// the user edited.
const TTranslitTable& DefaultTable() {
    static const TTranslitTable table;
    return table;
}

// A name in the letters a radio shows: composed (a letter and its mark stored apart are one
// letter), Cyrillic through the default table, a capital Ё as a capital, every other letter
// through the Latin letters the tags fold to ("é" "e", "ø" "o"); each character left outside
// printable ASCII becomes one "_", a byte that is not UTF-8 being a character of its own.
std::string RadioLetters(const std::string& name) {
    std::string text = ComposedText(name);
    // The table's rows for Ё are those of ё, which it does not write as a capital; Е and Ё are
    // the same letter to it.
    for (size_t at; (at = text.find("Ё")) != std::string::npos;)
        text.replace(at, std::strlen("Ё"), "Е");
    std::string out;
    ForEachUtf8Char(TransliterateText(DefaultTable(), text), [&out](uint32_t code) {
        if (code >= 0x20 && code < 0x7F) {
            out += static_cast<char>(code);
            return;
        }
        const std::string latin = code >= 0x80 && code < kStrayByte ? LatinLetters(code) : "";
        out += latin.empty() ? "_" : latin;
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

constexpr size_t kExtension = 4;  // ".mp3" / ".MP3"

size_t DigitCount(size_t n) {
    size_t digits = 1;
    for (; n >= 10; n /= 10)
        ++digits;
    return digits;
}

std::string Padded(size_t n, size_t width) {
    const std::string digits = std::to_string(n);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

size_t LeadingDigits(const std::string& name) {
    size_t n = 0;
    while (n < name.size() && name[n] >= '0' && name[n] <= '9')
        ++n;
    return n;
}

// The Joliet and ISO 9660 names of one folder's entries, in the list's order.
struct TNames {
    std::vector<std::string> Joliet, Iso;
};

// The naming of one folder's entries on the disc. Names here are ASCII (a Joliet name is made
// so), so a byte is a character and byte order is the order of the directory records in both
// trees.
class TNamer {
  public:
    TNamer(bool isFile, const TDiscProfile& profile, const std::vector<std::string>& taken)
        : IsFile(isFile),
          Level(profile.IsoLevel),
          JolietStem(static_cast<size_t>(profile.JolietNameLength) - (isFile ? kExtension : 0)),
          Taken(taken) {}

    // The names made from these Joliet names, with a number where two would be equal.
    TNames Make(const std::vector<std::string>& joliet) const {
        TNames names;
        names.Joliet = joliet;
        for (const std::string& j : joliet)
            names.Iso.push_back(DiscIsoName(j, IsFile, Level));
        Number(names.Iso, IsoStemLimit(IsFile, Level), false);
        Number(names.Joliet, JolietStem, true);
        return names;
    }

    // Each name begins with its place in the list, as wide as the count (at least two digits).
    TNames Positions(const std::vector<std::string>& joliet) const {
        const size_t width = std::max<size_t>(2, DigitCount(joliet.size()));
        std::vector<std::string> numbered;
        for (size_t i = 0; i < joliet.size(); ++i)
            numbered.push_back(Compose(Padded(i + 1, width) + " ", joliet[i], "", JolietStem));
        return Make(numbered);
    }

    // The names with the numbers they begin with padded with zeros to the widest of them.
    std::vector<std::string> PadLeadingNumbers(const std::vector<std::string>& joliet) const {
        size_t width = 0;
        for (const std::string& j : joliet)
            width = std::max(width, LeadingDigits(j));
        std::vector<std::string> padded;
        for (const std::string& j : joliet) {
            const size_t digits = LeadingDigits(j);
            padded.push_back(
                digits == 0 ? j : Compose(std::string(width - digits, '0'), j, "", JolietStem));
        }
        return padded;
    }

    // True when the names are unique in either tree (Joliet names apart from letter case too,
    // as Windows reads them) and follow the list in both: each directory record after the one
    // before it. One folder of the disc holds one node per name, so a Joliet name may equal an
    // ISO 9660 name of the same entry only, and none a name already taken there.
    bool Follows(const TNames& names) const {
        std::map<std::string, size_t> iso;
        std::set<std::string> joliet;
        for (size_t i = 0; i < names.Iso.size(); ++i) {
            if (i > 0 &&
                !(names.Iso[i - 1] < names.Iso[i] && names.Joliet[i - 1] < names.Joliet[i]))
                return false;
            iso[names.Iso[i]] = i;
            joliet.insert(Lower(names.Joliet[i]));
        }
        if (joliet.size() != names.Joliet.size())
            return false;
        for (size_t i = 0; i < names.Joliet.size(); ++i) {
            const auto it = iso.find(names.Joliet[i]);
            if (it != iso.end() && it->second != i)
                return false;
        }
        for (const std::string& t : Taken)
            if (iso.count(t) > 0 || joliet.count(Lower(t)) > 0)
                return false;
        return true;
    }

  private:
    bool IsFile;
    int Level;
    size_t JolietStem;
    const std::vector<std::string>& Taken;

    // head + the name's stem + tail + its extension, the stem cut so the stem part fits.
    std::string Compose(const std::string& head, const std::string& name, const std::string& tail,
                        size_t stemLimit) const {
        const size_t ext = IsFile ? std::min(kExtension, name.size()) : 0;
        const std::string stem = name.substr(0, name.size() - ext);
        const size_t room =
            stemLimit > head.size() + tail.size() ? stemLimit - head.size() - tail.size() : 0;
        return head + stem.substr(0, room) + tail + name.substr(name.size() - ext);
    }

    // Names that are equal (apart from letter case when ignoreCase) get "_1", "_2"… at the end
    // of the stem in the list's order, all of one group as wide as its count.
    void Number(std::vector<std::string>& names, size_t stemLimit, bool ignoreCase) const {
        std::map<std::string, std::vector<size_t>> groups;
        for (size_t i = 0; i < names.size(); ++i)
            groups[ignoreCase ? Lower(names[i]) : names[i]].push_back(i);
        for (const auto& [key, members] : groups) {
            if (members.size() < 2)
                continue;
            const size_t width = DigitCount(members.size());
            for (size_t k = 0; k < members.size(); ++k)
                names[members[k]] =
                    Compose("", names[members[k]], "_" + Padded(k + 1, width), stemLimit);
        }
    }
};

}  // namespace

std::string DiscJolietName(const std::string& name, bool isFile, const TDiscProfile& profile) {
    std::string text = RadioLetters(name);
    // Joliet's forbidden characters and those Windows, which reads the Joliet tree, cannot open.
    for (char& c : text)
        if (std::strchr("\"*/:;<>?\\|", c))
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

EDiscNaming NameInListOrder(const std::vector<TDiscEntry*>& entries, bool isFile,
                            const TDiscProfile& profile, const std::vector<std::string>& taken) {
    TNamer namer(isFile, profile, taken);
    std::vector<std::string> own;
    for (const TDiscEntry* e : entries)
        own.push_back(DiscJolietName(NameOf(e->Source), isFile, profile));
    EDiscNaming how = EDiscNaming::Own;
    TNames names = namer.Make(own);
    if (!namer.Follows(names)) {
        how = EDiscNaming::Numbers;
        names = namer.Make(namer.PadLeadingNumbers(own));
    }
    if (!namer.Follows(names)) {
        how = EDiscNaming::Positions;
        names = namer.Positions(own);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i]->Name = names.Joliet[i];
        entries[i]->IsoName = names.Iso[i];
    }
    return how;
}

bool DiscNameChanged(const TDiscEntry& entry) {
    const std::string own = NameOf(entry.Source);
    std::string capitals = own;
    std::transform(capitals.begin(), capitals.end(), capitals.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return entry.Name != own || entry.IsoName != capitals;
}

std::string DiscVolumeId(const std::string& folderName) {
    const std::string id = DChars(RadioLetters(folderName), 32);
    return id.empty() ? "MP3_CD" : id;
}

}  // namespace velmora
