// The radio profiles and the check of a folder against one: what goes on the disc, in play order,
// with the names it gets there, and every problem a radio would have with it.
#include "core/Disc.h"

#include <algorithm>

#include "core/DiscNames.h"
#include "core/Naming.h"
#include "core/Paths.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

constexpr int64_t kSector = 2048;

std::string Megabytes(int64_t sectors) {
    return std::to_string((sectors * kSector + (1 << 20) - 1) >> 20) + " МБ";
}

std::string Relative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// One check of one folder, step by step: the root's files and its folders, each folder's files,
// the counts against the profile, the size against the blank.
class TDiscChecker {
  public:
    TDiscChecker(TFileSystem& fs, const std::string& folder, const TDiscProfile& profile)
        : Fs(fs), Check{} {
        Check.Profile = profile;
        Check.Folder = folder;
        Check.VolumeId = DiscVolumeId(NameOf(NormalPath(folder)));
    }

    TDiscCheck Run() {
        std::vector<std::string> dirs;
        CheckFolderFiles("", -1, &dirs);
        for (const TDiscEntry& f : NamedFolders(dirs)) {
            const size_t before = Check.Files.size();
            CheckFolderFiles(f.Source, static_cast<int>(Check.Folders.size()), nullptr);
            if (Check.Files.size() > before)
                Check.Folders.push_back(f);  // a folder without MP3 files stays off the disc
        }
        CheckCounts();
        CheckSize();
        return std::move(Check);
    }

  private:
    TFileSystem& Fs;
    TDiscCheck Check;

    void Add(const std::string& path, const char* code, const std::string& text,
             bool fatal = false) {
        Check.Problems.push_back({path, code, text, fatal});
    }

    // The files of one folder (relative path `rel`, "" for the root) in play order, into
    // Check.Files; its folders into `dirs`, or a problem each when folders may not nest here.
    void CheckFolderFiles(const std::string& rel, int folderIndex, std::vector<std::string>* dirs) {
        std::vector<TDirEntry> entries;
        if (!Fs.ListDir(rel.empty() ? Check.Folder : JoinPath(Check.Folder, rel), entries)) {
            Add(rel.empty() ? "." : rel, "unreadable",
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
                    Add(path, "too-deep",
                        "Папка в папке: на диск не попадёт — перенесите её файлы на первый "
                        "уровень (Создать папку)");
                continue;
            }
            if (!IsMp3Name(e.Name)) {
                Add(path, "not-mp3", "Не MP3: на диск не попадёт — уберите файл из папки");
                continue;
            }
            TDiscEntry file;
            file.Source = path;
            file.Folder = folderIndex;
            file.Size = std::max<int64_t>(0, Fs.EntrySize(JoinPath(Check.Folder, path)));
            if (!CheckAudio(file))
                continue;
            NameEntry(file, e.Name, true);
            files.push_back(file);
        }
        SortForPlay(files, true);
        const TDiscProfile& p = Check.Profile;
        if (p.MaxFilesPerFolder > 0 && files.size() > static_cast<size_t>(p.MaxFilesPerFolder))
            Add(rel.empty() ? "." : rel, "too-many-in-folder",
                "Файлов в папке " + std::to_string(files.size()) + " из " +
                    std::to_string(p.MaxFilesPerFolder) +
                    ": лишние магнитола не увидит — разложите файлы по папкам (Создать папку)");
        Check.Files.insert(Check.Files.end(), files.begin(), files.end());
    }

    // The root's folders with their disc names, in play order.
    std::vector<TDiscEntry> NamedFolders(const std::vector<std::string>& dirs) {
        std::vector<TDiscEntry> folders;
        for (const std::string& d : dirs) {
            TDiscEntry entry;
            entry.Source = d;
            NameEntry(entry, d, false);
            folders.push_back(entry);
        }
        SortForPlay(folders, false);
        return folders;
    }

    // Unique names, then the order a radio plays them in: the ISO 9660 names' byte order.
    void SortForPlay(std::vector<TDiscEntry>& entries, bool isFile) {
        std::vector<TDiscEntry*> refs;
        for (TDiscEntry& e : entries)
            refs.push_back(&e);
        MakeUniqueDiscNames(refs, isFile, Check.Profile.IsoLevel);
        std::sort(entries.begin(), entries.end(),
                  [](const TDiscEntry& a, const TDiscEntry& b) { return a.IsoName < b.IsoName; });
    }

    // The entry's names on the disc, and the problems of its own name.
    void NameEntry(TDiscEntry& entry, const std::string& name, bool isFile) {
        const TDiscProfile& p = Check.Profile;
        entry.Name = DiscJolietName(name, isFile, p);
        entry.IsoName = DiscIsoName(entry.Name, isFile, p.IsoLevel);
        const std::string what = isFile ? "файлы (Переименование файла)" : "папку";
        if (p.IsoLevel == 1) {
            const size_t dot = name.rfind('.');
            const std::string stem =
                isFile && dot != std::string::npos ? name.substr(0, dot) : name;
            if (Utf8Length(stem) > 8)
                Add(entry.Source, "name-too-long",
                    "Имя длиннее 8 символов: обрежется на диске — переименуйте " + what);
        } else if (Utf8Length(name) > 31) {
            Add(entry.Source, "name-too-long",
                "Имя длиннее 31 символа: обрежется на диске — переименуйте " + what);
        }
        if (!AllAscii(name))
            Add(entry.Source, "name-chars",
                "Имя не латиницей: магнитола его не покажет — транслитерируйте и переименуйте " +
                    what);
        if (isFile && !HasMp3Extension(name))
            Add(entry.Source, "no-extension",
                "Имя не кончается на .mp3: на диске файл будет называться " + entry.Name +
                    " — переименуйте файл (Переименование файла)");
    }

    // The audio's problems; false when the file stays off the disc.
    bool CheckAudio(const TDiscEntry& entry) {
        const TDiscProfile& p = Check.Profile;
        TAudioInfo info;
        try {
            Fs.LoadAudioInfo(JoinPath(Check.Folder, entry.Source), info);
        } catch (const std::exception& e) {
            Add(entry.Source, "unreadable",
                std::string("Файл не читается: ") + e.what() + " — проверьте права на файл", true);
            return true;
        }
        if (!info.FrameHdr.Valid) {
            Add(entry.Source, "not-mp3",
                "Не MP3: магнитола его не сыграет — уберите файл из папки");
            return false;
        }
        const TMpegFrameHdr& h = info.FrameHdr;
        if (p.AudioLimits) {
            if (h.LayerIndex() != 3)
                Add(entry.Source, "mpeg-version",
                    "Не Layer III: магнитола его не сыграет — перекодируйте в MPEG-1 Layer III");
            else if (h.VersionIndex == 2)
                Add(entry.Source, "mpeg-version",
                    "MPEG-2 Layer III: играют не все магнитолы — перекодируйте в MPEG-1 Layer III");
            else if (h.VersionIndex == 3)
                Add(entry.Source, "mpeg-version",
                    "MPEG-2.5: играют лишь некоторые магнитолы — перекодируйте в MPEG-1 Layer III");
            if (std::find(p.SampleRates.begin(), p.SampleRates.end(), h.SampleRate) ==
                p.SampleRates.end())
                Add(entry.Source, "sample-rate",
                    "Частота " + std::to_string(h.SampleRate) +
                        " Гц: магнитола может его не сыграть — перекодируйте с частотой 44100 Гц");
            if (!info.IsVBR && (h.Bitrate < p.MinBitrate || h.Bitrate > p.MaxBitrate))
                Add(entry.Source, "bitrate",
                    "Битрейт " + std::to_string(h.Bitrate) + " кбит/с вне " +
                        std::to_string(p.MinBitrate) + "–" + std::to_string(p.MaxBitrate) +
                        " кбит/с: магнитола может его не сыграть — перекодируйте");
        }
        if (p.MaxID3v2 > 0 && info.ID3v2Size > p.MaxID3v2)
            Add(entry.Source, "id3v2-large",
                "Тег ID3v2 больше " + std::to_string(p.MaxID3v2 / 1024) +
                    " КБ (обложка): некоторые магнитолы пропустят файл — удалите тег ID3v2");
        if (p.WantsID3v1) {
            if (!info.ID3v1.Exists && info.ID3v2Size > 0)
                Add(entry.Source, "id3v2-present",
                    "Только тег ID3v2: магнитола покажет лишь имя файла — сохраните тег ID3v1 "
                    "(Сохранение ID3 тегов)");
            else if (!info.ID3v1.Exists)
                Add(entry.Source, "no-tag",
                    "Нет тега ID3v1: магнитола покажет лишь имя файла — заполните и сохраните тег "
                    "(Сохранение ID3 тегов)");
            else if (!AllAscii(info.ID3v1.Title + info.ID3v1.Artist + info.ID3v1.Album +
                               info.ID3v1.Comment))
                Add(entry.Source, "tag-not-latin",
                    "Тег не латиницей: магнитола покажет мусор — транслитерируйте теги "
                    "(Транслитерация тегов)");
        }
        return true;
    }

    // Folders and files against the profile's limits.
    void CheckCounts() {
        const TDiscProfile& p = Check.Profile;
        const int folderCount = static_cast<int>(Check.Folders.size());
        const int fileCount = static_cast<int>(Check.Files.size());
        const std::string ofFolders =
            "Папок " + std::to_string(folderCount) + " из " + std::to_string(p.MaxFolders);
        if (p.MaxFolders > 0 && folderCount > p.MaxFolders)
            Add(".", "too-many-folders",
                ofFolders +
                    ": магнитола не прочтёт диск — объедините папки или разделите на два "
                    "диска",
                true);
        else if (p.WarnFolders > 0 && folderCount > p.WarnFolders)
            Add(".", "too-many-folders",
                ofFolders + ": часть магнитол видит не больше " + std::to_string(p.WarnFolders) +
                    " — объедините папки");
        if (p.MaxFiles > 0 && fileCount > p.MaxFiles)
            Add(".", "too-many-files",
                "Файлов " + std::to_string(fileCount) + " из " + std::to_string(p.MaxFiles) +
                    ": лишние магнитола не увидит — разделите на два диска");
        else if (p.MaxEntries > 0 && fileCount + folderCount > p.MaxEntries)
            Add(".", "too-many-files",
                "Файлов и папок " + std::to_string(fileCount + folderCount) + " из " +
                    std::to_string(p.MaxEntries) +
                    ": лишние магнитола не увидит — разделите на два диска");
    }

    // The image's size: the data, then the system area, the path tables and a directory record
    // per entry in both trees, rounded up; too large for the blank is fatal.
    void CheckSize() {
        const int64_t folderCount = static_cast<int64_t>(Check.Folders.size());
        const int64_t fileCount = static_cast<int64_t>(Check.Files.size());
        int64_t sectors = 16 + 4 + 4 * 2;
        for (const TDiscEntry& f : Check.Files)
            sectors += (f.Size + kSector - 1) / kSector;
        sectors += 2 * (folderCount + 1) + 2 * ((fileCount + folderCount) * 120 / kSector + 1);
        Check.Sectors = sectors;
        if (sectors > Check.Profile.CapacitySectors)
            Add(".", "disc-full",
                "Не помещается на диск: " + Megabytes(sectors) + " из " +
                    std::to_string(Check.Profile.CapacityMB) + " МБ — уберите часть файлов",
                true);
    }
};

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

TDiscCheck CheckDisc(TFileSystem& fs, const std::string& folder, const TDiscProfile& profile) {
    return TDiscChecker(fs, folder, profile).Run();
}

std::vector<const TDiscEntry*> RenamedDiscEntries(const TDiscCheck& check) {
    std::vector<const TDiscEntry*> renamed;
    for (const auto* list : {&check.Folders, &check.Files})
        for (const TDiscEntry& e : *list)
            if (DiscNameChanged(e))
                renamed.push_back(&e);
    return renamed;
}

std::string DiscSummary(const TDiscCheck& check) {
    return "Папок: " + std::to_string(check.Folders.size()) + " из " +
           std::to_string(check.Profile.MaxFolders) +
           ", файлов: " + std::to_string(check.Files.size()) + ", " + Megabytes(check.Sectors) +
           " из " + std::to_string(check.Profile.CapacityMB) + " МБ";
}

std::string FormatDiscProblem(const TDiscProblem& problem) {
    return "problem\t" + EscapeForLine(problem.Path) + "\t" + problem.Code + "\t" +
           EscapeForLine(problem.Text);
}

}  // namespace velmora
