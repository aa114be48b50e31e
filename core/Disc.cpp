#include "core/Disc.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "core/IsoImage.h"
#include "core/Leftovers.h"
#include "core/Translit.h"

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;

bool IsMp3Name(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mp3";
}

size_t CharCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool HasNonAscii(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Each character outside printable ASCII becomes one "_".
std::string AsciiOnly(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            if ((u & 0xC0) != 0x80)
                out += '_';
        } else {
            out += u < 0x20 ? '_' : c;
        }
    }
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

std::string Megabytes(int64_t sectors) {
    return std::to_string((sectors * kSector + (1 << 20) - 1) >> 20) + " МБ";
}

struct TAdder {
    TDiscCheck& Check;
    void operator()(const std::string& path, const char* code, const std::string& text,
                    bool fatal = false) {
        Check.Problems.push_back({path, code, text, fatal});
    }
};

// The names' problems and the entry's names.
void NameEntry(TDiscEntry& entry, const std::string& name, bool isFile, const TDiscCheck& check,
               TAdder& add) {
    const TDiscProfile& p = check.Profile;
    entry.Name = DiscJolietName(name, isFile, p);
    entry.IsoName = DiscIsoName(entry.Name, isFile, p.IsoLevel);
    const std::string what = isFile ? "файлы (Переименование файла)" : "папку";
    if (p.IsoLevel == 1) {
        const size_t dot = name.rfind('.');
        const std::string stem = isFile && dot != std::string::npos ? name.substr(0, dot) : name;
        if (CharCount(stem) > 8)
            add(entry.Source, "name-too-long",
                "Имя длиннее 8 символов: обрежется на диске — переименуйте " + what);
    } else if (CharCount(name) > 31) {
        add(entry.Source, "name-too-long",
            "Имя длиннее 31 символа: обрежется на диске — переименуйте " + what);
    }
    if (HasNonAscii(name))
        add(entry.Source, "name-chars",
            "Имя не латиницей: магнитола его не покажет — транслитерируйте и переименуйте " + what);
}

// Names that would come out equal on the disc get a number at the end of the ISO name's stem.
void MakeUnique(std::vector<TDiscEntry*>& entries, bool isFile, int level) {
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

void CheckAudio(TFileSystem& fs, const std::string& path, const TDiscEntry& entry,
                const TDiscProfile& p, TAdder& add) {
    TAudioInfo info;
    try {
        fs.LoadAudioInfo(path, info);
    } catch (const std::exception& e) {
        add(entry.Source, "unreadable",
            std::string("Файл не читается: ") + e.what() + " — проверьте права на файл", true);
        return;
    }
    if (!info.FrameHdr.Valid) {
        add(entry.Source, "not-mp3", "Не MP3: магнитола его не сыграет — уберите файл из папки");
        return;
    }
    const TMpegFrameHdr& h = info.FrameHdr;
    if (p.AudioLimits) {
        if (h.LayerIndex() != 3)
            add(entry.Source, "mpeg-version",
                "Не Layer III: магнитола его не сыграет — перекодируйте в MPEG-1 Layer III");
        else if (h.VersionIndex == 2)
            add(entry.Source, "mpeg-version",
                "MPEG-2 Layer III: играют не все магнитолы — перекодируйте в MPEG-1 Layer III");
        else if (h.VersionIndex == 3)
            add(entry.Source, "mpeg-version",
                "MPEG-2.5: играют лишь некоторые магнитолы — перекодируйте в MPEG-1 Layer III");
        if (std::find(p.SampleRates.begin(), p.SampleRates.end(), h.SampleRate) ==
            p.SampleRates.end())
            add(entry.Source, "sample-rate",
                "Частота " + std::to_string(h.SampleRate) +
                    " Гц: магнитола может его не сыграть — перекодируйте с частотой 44100 Гц");
        if (!info.IsVBR && (h.Bitrate < p.MinBitrate || h.Bitrate > p.MaxBitrate))
            add(entry.Source, "bitrate",
                "Битрейт " + std::to_string(h.Bitrate) + " кбит/с вне " +
                    std::to_string(p.MinBitrate) + "–" + std::to_string(p.MaxBitrate) +
                    " кбит/с: магнитола может его не сыграть — перекодируйте");
    }
    if (p.MaxID3v2 > 0 && info.ID3v2Size > p.MaxID3v2)
        add(entry.Source, "id3v2-large",
            "Тег ID3v2 больше " + std::to_string(p.MaxID3v2 / 1024) +
                " КБ (обложка): некоторые магнитолы пропустят файл — удалите тег ID3v2");
    if (p.WantsID3v1) {
        if (!info.ID3v1.Exists && info.ID3v2Size > 0)
            add(entry.Source, "id3v2-present",
                "Только тег ID3v2: магнитола покажет лишь имя файла — сохраните тег ID3v1 "
                "(Сохранение ID3 тегов)");
        else if (!info.ID3v1.Exists)
            add(entry.Source, "no-tag",
                "Нет тега ID3v1: магнитола покажет лишь имя файла — заполните и сохраните тег "
                "(Сохранение ID3 тегов)");
        else if (HasNonAscii(info.ID3v1.Title + info.ID3v1.Artist + info.ID3v1.Album +
                             info.ID3v1.Comment))
            add(entry.Source, "tag-not-latin",
                "Тег не латиницей: магнитола покажет мусор — транслитерируйте теги "
                "(Транслитерация тегов)");
    }
}

std::string Relative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

const std::vector<TDiscProfile>& DiscProfiles() {
    static const std::vector<TDiscProfile> profiles = [] {
        TDiscProfile radio;
        radio.Name = "Blaupunkt MP3 CD (Chevrolet, GM Daewoo)";
        radio.IsoLevel = 2;
        radio.WarnFolders = 250;
        radio.MaxFolders = 253;
        radio.MaxFilesPerFolder = 255;
        radio.MaxEntries = 500;
        radio.AudioLimits = true;
        radio.SampleRates = {32000, 44100, 48000};
        radio.MinBitrate = 32;
        radio.MaxBitrate = 320;
        radio.MaxID3v2 = 32 * 1024;
        radio.WantsID3v1 = true;
        TDiscProfile standard;
        standard.Name = "Стандартный MP3 CD";
        standard.IsoLevel = 2;
        standard.MaxFolders = 255;
        standard.MaxFilesPerFolder = 0;
        standard.MaxFiles = 999;
        return std::vector<TDiscProfile>{radio, standard};
    }();
    return profiles;
}

const TDiscProfile* FindDiscProfile(const std::string& name) {
    for (const TDiscProfile& p : DiscProfiles())
        if (p.Name == name)
            return &p;
    return nullptr;
}

TDiscProfile With650MBBlank(TDiscProfile profile) {
    profile.CapacitySectors = 333000;
    profile.CapacityMB = 650;
    return profile;
}

bool TDiscCheck::HasFatal() const {
    return std::any_of(Problems.begin(), Problems.end(),
                       [](const TDiscProblem& p) { return p.Fatal; });
}

std::string DiscJolietName(const std::string& name, bool isFile, const TDiscProfile& profile) {
    std::string text = AsciiOnly(TransliterateText(TTranslitTable(), name));
    for (char& c : text)
        if (std::strchr("*/:;?\\", c))
            c = '_';
    const size_t limit = static_cast<size_t>(profile.JolietNameLength);
    if (!isFile)
        return text.substr(0, limit);
    const std::string stem = text.size() >= 4 ? text.substr(0, text.size() - 4) : text;
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

bool DiscNameChanged(const TDiscEntry& entry) {
    const std::string own = entry.Source.substr(entry.Source.rfind('/') + 1);
    std::string capitals = own;
    std::transform(capitals.begin(), capitals.end(), capitals.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return entry.Name != own || entry.IsoName != capitals;
}

std::string DiscVolumeId(const std::string& folderName) {
    const std::string id = DChars(AsciiOnly(TransliterateText(TTranslitTable(), folderName)), 32);
    return id.empty() ? "MP3_CD" : id;
}

TDiscCheck CheckDisc(TFileSystem& fs, const std::string& folder, const TDiscProfile& profile) {
    TDiscCheck check;
    check.Profile = profile;
    check.Folder = folder;
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    check.VolumeId = DiscVolumeId(base.substr(base.rfind('/') + 1));
    TAdder add{check};

    // Files of one folder, relative folder path `rel`, into check.Files; subfolders into `dirs`.
    const auto scan = [&](const std::string& rel, int folderIndex, std::vector<std::string>* dirs) {
        std::vector<TDirEntry> entries;
        if (!fs.ListDir(rel.empty() ? folder : JoinPath(folder, rel), entries)) {
            add(rel.empty() ? "." : rel, "unreadable",
                "Папка не читается — проверьте, что она есть и права на неё", true);
            return;
        }
        std::vector<TDiscEntry> files;
        for (const TDirEntry& e : entries) {
            if (e.Hidden || e.Type == TDirEntry::Kind::Other)
                continue;
            const std::string path = Relative(rel, e.Name);
            if (e.Type == TDirEntry::Kind::Directory) {
                if (dirs)
                    dirs->push_back(e.Name);
                else
                    add(path, "too-deep",
                        "Папка в папке: на диск не попадёт — перенесите её файлы на первый "
                        "уровень (Создать папку)");
                continue;
            }
            if (!IsMp3Name(e.Name)) {
                add(path, "not-mp3", "Не MP3: на диск не попадёт — уберите файл из папки");
                continue;
            }
            TDiscEntry file;
            file.Source = path;
            file.Folder = folderIndex;
            file.Size = std::max<int64_t>(0, fs.EntrySize(JoinPath(folder, path)));
            const size_t before = check.Problems.size();
            CheckAudio(fs, JoinPath(folder, path), file, profile, add);
            const bool unplayable = std::any_of(
                check.Problems.begin() + static_cast<long>(before), check.Problems.end(),
                [](const TDiscProblem& p) { return p.Code == "not-mp3"; });
            if (unplayable)
                continue;
            NameEntry(file, e.Name, true, check, add);
            files.push_back(file);
        }
        std::vector<TDiscEntry*> refs;
        for (TDiscEntry& f : files)
            refs.push_back(&f);
        MakeUnique(refs, true, profile.IsoLevel);
        std::sort(files.begin(), files.end(),
                  [](const TDiscEntry& a, const TDiscEntry& b) { return a.IsoName < b.IsoName; });
        if (profile.MaxFilesPerFolder > 0 &&
            files.size() > static_cast<size_t>(profile.MaxFilesPerFolder))
            add(rel.empty() ? "." : rel, "too-many-in-folder",
                "Файлов в папке " + std::to_string(files.size()) + " из " +
                    std::to_string(profile.MaxFilesPerFolder) +
                    ": лишние магнитола не увидит — разложите файлы по папкам (Создать папку)");
        check.Files.insert(check.Files.end(), files.begin(), files.end());
    };

    std::vector<std::string> dirs;
    scan("", -1, &dirs);
    std::vector<TDiscEntry> folders;
    for (const std::string& d : dirs) {
        TDiscEntry entry;
        entry.Source = d;
        NameEntry(entry, d, false, check, add);
        folders.push_back(entry);
    }
    std::vector<TDiscEntry*> refs;
    for (TDiscEntry& f : folders)
        refs.push_back(&f);
    MakeUnique(refs, false, profile.IsoLevel);
    std::sort(folders.begin(), folders.end(),
              [](const TDiscEntry& a, const TDiscEntry& b) { return a.IsoName < b.IsoName; });
    for (const TDiscEntry& f : folders) {
        const size_t before = check.Files.size();
        scan(f.Source, static_cast<int>(check.Folders.size()), nullptr);
        if (check.Files.size() > before)
            check.Folders.push_back(f);  // a folder without MP3 files stays off the disc
    }

    const int folderCount = static_cast<int>(check.Folders.size());
    const int fileCount = static_cast<int>(check.Files.size());
    const std::string ofFolders =
        "Папок " + std::to_string(folderCount) + " из " + std::to_string(profile.MaxFolders);
    if (profile.MaxFolders > 0 && folderCount > profile.MaxFolders)
        add(".", "too-many-folders",
            ofFolders +
                ": магнитола не прочтёт диск — объедините папки или разделите на два "
                "диска",
            true);
    else if (profile.WarnFolders > 0 && folderCount > profile.WarnFolders)
        add(".", "too-many-folders",
            ofFolders + ": часть магнитол видит не больше " + std::to_string(profile.WarnFolders) +
                " — объедините папки");
    if (profile.MaxFiles > 0 && fileCount > profile.MaxFiles)
        add(".", "too-many-files",
            "Файлов " + std::to_string(fileCount) + " из " + std::to_string(profile.MaxFiles) +
                ": лишние магнитола не увидит — разделите на два диска");
    else if (profile.MaxEntries > 0 && fileCount + folderCount > profile.MaxEntries)
        add(".", "too-many-files",
            "Файлов и папок " + std::to_string(fileCount + folderCount) + " из " +
                std::to_string(profile.MaxEntries) +
                ": лишние магнитола не увидит — разделите на два диска");

    // The data, then the system area, the path tables and a directory record per entry in both
    // trees, rounded up.
    int64_t sectors = 16 + 4 + 4 * 2;
    for (const TDiscEntry& f : check.Files)
        sectors += (f.Size + kSector - 1) / kSector;
    sectors += 2 * (folderCount + 1) + 2 * ((fileCount + folderCount) * 120 / kSector + 1);
    check.Sectors = sectors;
    if (sectors > profile.CapacitySectors)
        add(".", "disc-full",
            "Не помещается на диск: " + Megabytes(sectors) + " из " +
                std::to_string(profile.CapacityMB) + " МБ — уберите часть файлов",
            true);
    return check;
}

std::string DiscSummary(const TDiscCheck& check) {
    return "Папок: " + std::to_string(check.Folders.size()) + " из " +
           std::to_string(check.Profile.MaxFolders) +
           ", файлов: " + std::to_string(check.Files.size()) + ", " + Megabytes(check.Sectors) +
           " из " + std::to_string(check.Profile.CapacityMB) + " МБ";
}

std::string FormatDiscProblem(const TDiscProblem& problem) {
    return "problem\t" + problem.Path + "\t" + problem.Code + "\t" + problem.Text;
}

TDiscImageResult WriteDiscImage(const TDiscCheck& check, const std::string& out, bool replace,
                                const TDiscProgress& progress, TSysCalls& sys) {
    TDiscImageResult result;
    const auto fail = [&](const std::string& why) {
        result.Message = "Образ диска не записан: " + why;
        return result;
    };
    if (check.HasFatal()) {
        std::string why = "диск не будет играть";
        for (const TDiscProblem& p : check.Problems)
            if (p.Fatal)
                why += "\n" + p.Path + ": " + p.Text;
        return fail(why);
    }
    if (check.Files.empty())
        return fail("в папке нет MP3 файлов");
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(check.Folder, ec);
    TIsoLayout layout;
    layout.Level = check.Profile.IsoLevel;
    layout.VolumeId = check.VolumeId;
    for (const TDiscEntry& f : check.Folders)
        layout.Folders.push_back(f.Name);
    for (const TDiscEntry& f : check.Files)
        layout.Files.push_back({(root / f.Source).string(), f.Name, f.Folder});

    const size_t slash = out.rfind('/');
    const std::string outFolder = slash == std::string::npos ? "" : out.substr(0, slash + 1);
    std::string temp;
    const int fd = CreateTemporary(sys, outFolder, "tmp", temp);
    if (fd < 0)
        return fail(out + ": " + std::strerror(errno));
    bool cancelled = false;
    std::string why = WriteIsoImage(layout, fd, sys, progress, cancelled);
    if (why.empty() && !cancelled && sys.Fsync(fd) != 0)
        why = std::strerror(errno);
    if (sys.Close(fd) != 0 && why.empty() && !cancelled)
        why = std::strerror(errno);
    if (why.empty() && !cancelled) {
        const int rc = replace ? sys.Rename(temp.c_str(), out.c_str())
                               : sys.RenameNoReplace(temp.c_str(), out.c_str());
        if (rc != 0)
            why = errno == EEXIST ? "файл " + out + " уже есть" : out + ": " + std::strerror(errno);
    }
    if (cancelled || !why.empty()) {
        sys.Unlink(temp.c_str());
        if (cancelled) {
            result.Cancelled = true;
            result.Message = "Запись образа отменена";
            return result;
        }
        return fail(why);
    }
    result.Ok = true;
    return result;
}

}  // namespace velmora
