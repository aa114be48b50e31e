// The radio profiles and the check of a folder against one: what goes on the disc, in the list's
// order, with the names it gets there, and every problem a radio would have with it.
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "core/convert/ConvertRules.h"
#include "core/disc/Disc.h"
#include "core/disc/DiscImage.h"
#include "core/disc/DiscNames.h"
#include "core/files/Journal.h"
#include "core/files/Paths.h"
#include "core/tags/ID3v2Text.h"
#include "core/tags/Naming.h"
#include "core/tags/TagFields.h"
#include "core/text/Collation.h"
#include "core/text/TextCodec.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

// Whole megabytes, rounded up or down.
int64_t Megabytes(int64_t sectors, bool up) {
    const int64_t bytes = sectors * kDiscSector;
    return up ? (bytes + (1 << 20) - 1) >> 20 : bytes >> 20;
}

// "359 699": thousands apart.
std::string Grouped(int64_t n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), " ");
    return digits;
}

// Advice the conversion carries out, naming it.
std::string Cure(const std::string& advice) {
    return advice + ": " + kConvertAdvice;
}

std::string Relative(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// The tag texts the track list shows, field by field: the ID3v1 field where the file has one that
// is not damaged, else the ID3v2 field, else nothing (never a damaged field's bytes).
void TakeTags(const TAudioInfo& info, TDiscEntry& entry) {
    const auto take = [&info](const std::string& v1, const TID3v2Text& v2) {
        const std::string fromV2 = info.ID3v2.Damaged ? std::string() : DecodeID3v2Text(v2);
        if (info.ID3v1.Exists && !v1.empty() && !IsDamagedField(v1, fromV2))
            return Cp1251ToUtf8(v1);
        return fromV2;
    };
    entry.Artist = take(info.ID3v1.Artist, info.ID3v2.Artist);
    entry.Title = take(info.ID3v1.Title, info.ID3v2.Title);
}

// What cures a disc too full or with too many folders or files.
const std::string kSplitAdvice =
    "разделите на несколько дисков по порядку списка («Разделить на диски» перед записью образа "
    "или диска, velmora-cli image --discs)";

// True when `folder` is the name the batch gives the folder of the file `file`: its name without
// ".mp3", with the characters a name may not hold replaced by one character.
bool NamedAfter(const std::string& folder, const std::string& file) {
    const std::string stem = FolderNameOfFile(file);
    const size_t bad = stem.find_first_of("\\/?:*<>|\"");
    if (bad == std::string::npos)
        return stem == folder;
    if (folder.size() <= bad || folder.compare(0, bad, stem, 0, bad) != 0)
        return false;
    return CheckName(stem, folder.substr(bad, Utf8CharLength(folder, bad))) == folder;
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
        std::vector<TDiscEntry> rootFiles = FolderFiles("", &dirs);
        for (const std::string& dir : dirs)
            Listings[dir].Listed = Fs.ListDir(JoinPath(Check.Folder, dir), Listings[dir].Entries);
        const std::vector<TDiscEntry> folders = NamedFolders(FoldersInListOrder(
            dirs, [this](const std::string& dir) { return &Listings[dir].Entries; }));
        // The root's files share their folder of the disc with the folders.
        std::vector<std::string> taken;
        for (const TDiscEntry& f : folders) {
            taken.push_back(f.Name);
            taken.push_back(f.IsoName);
        }
        NameFiles("", rootFiles, taken);
        Check.Files = std::move(rootFiles);
        for (const TDiscEntry& f : folders) {
            std::vector<TDiscEntry> files = FolderFiles(f.Source, nullptr);
            if (files.empty())
                continue;  // a folder without MP3 files stays off the disc
            NameFiles(f.Source, files, {});
            for (TDiscEntry& file : files)
                file.Folder = static_cast<int>(Check.Folders.size());
            Check.Files.insert(Check.Files.end(), files.begin(), files.end());
            Check.Folders.push_back(f);
        }
        CheckCounts();
        CheckSize();
        return std::move(Check);
    }

  private:
    TFileSystem& Fs;
    TDiscCheck Check;
    // The files of the disc (by Source) with a title the radio shows instead of the name.
    std::set<std::string> Titled;
    // Each folder's listing, made once for its order and its files.
    struct TListing {
        bool Listed = false;
        std::vector<TDirEntry> Entries;
    };
    std::map<std::string, TListing> Listings;

    void Add(const std::string& path, const char* code, const std::string& text,
             bool fatal = false) {
        Check.Problems.push_back({path, code, text, fatal});
    }
    void AddNote(const std::string& path, const char* code, const std::string& text) {
        Check.Problems.push_back({path, code, text, false, true});
    }

    // The MP3 files of one folder (relative path `rel`, "" for the root) that go on the disc, in
    // the list's order; its folders into `dirs`, or a problem each when folders may not nest
    // here.
    std::vector<TDiscEntry> FolderFiles(const std::string& rel, std::vector<std::string>* dirs) {
        std::vector<TDirEntry> own;
        const bool listed = rel.empty() ? Fs.ListDir(Check.Folder, own) : Listings[rel].Listed;
        const std::vector<TDirEntry>& entries = rel.empty() ? own : Listings[rel].Entries;
        std::vector<TDiscEntry> files;
        if (!listed) {
            Add(rel.empty() ? "." : rel, "unreadable",
                "Папка не читается — проверьте, что она есть и права на неё", true);
            return files;
        }
        // The folder's visible files, for the MP3 made from a file of another format.
        std::set<std::string> names;
        for (const TDirEntry& e : entries) {
            if (e.Type == TDirEntry::Kind::File && !e.Hidden)
                names.insert(e.Name);
        }
        for (const TDirEntry& e : entries) {
            if (e.Hidden && e.Type == TDirEntry::Kind::File && IsMp3Name(e.Name) &&
                ParseOwnName(e.Name).Pid == 0) {
                Add(Relative(rel, e.Name), "hidden",
                    "Скрытый файл (имя начинается с точки): на диск не попадёт — переименуйте "
                    "файл, чтобы имя не начиналось с точки");
                continue;
            }
            if (!e.Hidden && e.Link && e.Type == TDirEntry::Kind::Other) {
                Add(Relative(rel, e.Name), "link-broken",
                    "Ссылка никуда не ведёт: на диск не попадёт — удалите ссылку или верните "
                    "файл, на который она указывала");
                continue;
            }
            if (e.Hidden || e.Type == TDirEntry::Kind::Other)
                continue;
            const std::string path = Relative(rel, e.Name);
            const bool isDir = e.Type == TDirEntry::Kind::Directory;
            if (e.Link && !Fs.Within(Check.Folder, JoinPath(Check.Folder, path))) {
                Add(path, "link-outside",
                    isDir ? "Ссылка на папку вне открытой папки: на диск не попадёт — скопируйте "
                            "папку внутрь вместо ссылки"
                          : "Ссылка на файл вне открытой папки: на диск не попадёт — скопируйте "
                            "файл в папку вместо ссылки");
                continue;
            }
            if (isDir) {
                if (dirs)
                    dirs->push_back(e.Name);
                else
                    Add(path, "too-deep",
                        "Папка в папке: на диск не попадёт — перенесите её файлы на первый "
                        "уровень (Создать папку)");
                continue;
            }
            if (!IsMp3Name(e.Name)) {
                // The original of a converted MP3, and a file whose MP3 stands beside it, are
                // kept off the disc on purpose.
                if (IsKeptOriginalName(e.Name) ||
                    (IsConvertibleName(e.Name) && HasConvertedBeside(e.Name, names)))
                    continue;
                Add(path, "not-mp3",
                    IsConvertibleName(e.Name)
                        ? Cure("Не MP3, а звук другого формата: на диск не попадёт — "
                               "перекодируйте в MP3")
                        : std::string("Не MP3: на диск не попадёт — уберите файл из папки"));
                continue;
            }
            TDiscEntry file;
            file.Source = path;
            // The size the listing learnt on its way, else the file's own.
            file.Size = std::max<int64_t>(
                0, e.Size >= 0 ? e.Size : Fs.EntrySize(JoinPath(Check.Folder, path)));
            if (CheckAudio(file))
                files.push_back(file);
        }
        const TDiscProfile& p = Check.Profile;
        if (p.MaxFilesPerFolder > 0 && files.size() > static_cast<size_t>(p.MaxFilesPerFolder))
            Add(rel.empty() ? "." : rel, "too-many-in-folder",
                "Файлов в папке " + std::to_string(files.size()) + " из " +
                    std::to_string(p.MaxFilesPerFolder) +
                    ": лишние магнитола не увидит — разложите файлы по папкам (Создать папку)");
        return files;
    }

    // The root's folders with their disc names, in the list's order.
    std::vector<TDiscEntry> NamedFolders(const std::vector<std::string>& dirs) {
        std::vector<TDiscEntry> folders(dirs.size());
        std::vector<TDiscEntry*> refs;
        for (size_t i = 0; i < dirs.size(); ++i) {
            folders[i].Source = dirs[i];
            refs.push_back(&folders[i]);
        }
        const EDiscNaming how = NameInListOrder(refs, false, Check.Profile);
        if (how != EDiscNaming::Own)
            AddNote(".", "numbered", NumberedText(how, false, folders.size()));
        for (const TDiscEntry& f : folders)
            CheckName(f, false, false);
        return folders;
    }

    // Names the files of one folder for the disc, and the problems of their names.
    void NameFiles(const std::string& rel, std::vector<TDiscEntry>& files,
                   const std::vector<std::string>& taken) {
        std::vector<TDiscEntry*> refs;
        for (TDiscEntry& f : files)
            refs.push_back(&f);
        const EDiscNaming how = NameInListOrder(refs, true, Check.Profile, taken);
        if (how != EDiscNaming::Own)
            AddNote(rel.empty() ? "." : rel, "numbered", NumberedText(how, true, files.size()));
        for (const TDiscEntry& f : files)
            CheckName(f, true, Titled.count(f.Source) > 0);
    }

    static std::string NumberedText(EDiscNaming how, bool isFile, size_t count) {
        const std::string what = isFile ? "файлов" : "папок";
        const std::string width(std::max<size_t>(2, std::to_string(count).size()) - 1, '0');
        if (how == EDiscNaming::Numbers)
            return "Номера в начале имён " + what +
                   " на диске дополнятся нулями до одной длины (2 → 02), иначе магнитола сыграет "
                   "их не в порядке списка — делать ничего не нужно, файлы в папке не меняются";
        return "Имена " + what + " на диске получат номера по порядку списка (" + width + "1, " +
               width +
               "2, …), иначе магнитола сыграет их в другом порядке — делать ничего не "
               "нужно, файлы в папке не меняются; без номеров обойдётся список, где имена "
               "начинаются с номеров одной длины";
    }

    // The problems of an entry's own name and of its name on the disc.
    void CheckName(const TDiscEntry& entry, bool isFile, bool titled) {
        const TDiscProfile& p = Check.Profile;
        const std::string own = NameOf(entry.Source);
        const std::string what = isFile ? "файлы (Переименование файла)" : "папку";
        // The radio shows the ISO 9660 name where a file has no title to show: the name cut
        // short there is what the user would see.
        const size_t isoStem = p.IsoLevel == 1 ? 8 : isFile ? 27 : 31;
        const size_t jolietStem = entry.Name.size() - (isFile ? 4 : 0);
        if (jolietStem > isoStem && !titled) {
            const std::string cut = "обрежется до «" + entry.IsoName + "»";
            if (isFile)
                Add(entry.Source, "name-too-long",
                    "Имя на диске длиннее " + CountOf(isoStem, "символа", "символов", "символов") +
                        " и " + cut +
                        ", а названия в теге нет: магнитола покажет обрезанное имя — заполните "
                        "название в теге (Сохранение ID3 тегов)");
            else
                Add(entry.Source, "name-too-long",
                    "Имя папки на диске длиннее " +
                        CountOf(isoStem, "символа", "символов", "символов") + " и " + cut +
                        " — дайте папке имя короче или сложите файлы в нумерованные папки "
                        "(D001…)");
        }
        if (HasNonLatinLetters(own))
            Add(entry.Source, "name-chars",
                "Имя не латиницей: на диске будет «" + entry.Name +
                    "» — если это имя не подходит, переименуйте " + what);
        if (isFile && !HasMp3Extension(own))
            Add(entry.Source, "no-extension",
                "Имя не кончается на .mp3: на диске файл будет называться " + entry.Name +
                    " — переименуйте файл (Переименование файла)");
    }

    // The audio's problems; false when the file stays off the disc.
    bool CheckAudio(TDiscEntry& entry) {
        const TDiscProfile& p = Check.Profile;
        TAudioInfo info;
        try {
            Fs.LoadAudioInfo(JoinPath(Check.Folder, entry.Source), info);
        } catch (const std::exception& e) {
            Add(entry.Source, "unreadable",
                std::string("Файл не читается: ") + e.what() + " — проверьте права на файл", true);
            return true;
        }
        const TMpegFrameHdr& h = info.FrameHdr;
        std::string off;
        if (info.Riff)
            off = Cure(
                "Файл WAV (RIFF), а не MP3: магнитола его не сыграет, на диск он не попадёт — "
                "перекодируйте в MP3");
        else if (!h.Valid)
            off = Cure(
                      "Нет звука MP3 (кадры MPEG не найдены): на диск не попадёт — перекодируйте "
                      "в MP3") +
                  " или уберите файл из папки";
        else if (h.LayerIndex() == 1)
            off = Cure(
                "MPEG Layer I, а не MP3: магнитола его не сыграет, на диск он не попадёт — "
                "перекодируйте в MP3");
        else if (h.LayerIndex() == 2)
            off = Cure(
                "MPEG Layer II (MP2), а не MP3: магнитола его не сыграет, на диск он не "
                "попадёт — перекодируйте в MP3");
        else if (h.Bitrate == 0)
            off = Cure(
                "MP3 свободного формата (битрейт не указан в кадрах): магнитолы такие не "
                "играют, на диск он не попадёт — перекодируйте в MP3 с обычным битрейтом");
        else if (!info.NextFrameMatches)
            off = Cure(
                      "Нет звука MP3: за первым кадром MPEG нет второго — на диск не попадёт; "
                      "перекодируйте в MP3") +
                  " или уберите файл из папки";
        else if (info.IsVBR && info.Duration == 0)
            off = Cure(
                "Время звучания 0:00 (заголовок Xing без кадров): на диск не попадёт — "
                "перекодируйте в MP3");
        if (!off.empty()) {
            Add(entry.Source, "not-mp3", off);
            return false;
        }
        entry.Identity = info.Identity;
        entry.Duration = info.Duration;
        TakeTags(info, entry);
        const bool titled =
            p.WantsID3v1 ? info.ID3v1.Exists && !info.ID3v1.Title.empty() : !entry.Title.empty();
        if (titled)
            Titled.insert(entry.Source);
        if (p.AudioLimits) {
            if (h.VersionIndex == 2)
                Add(entry.Source, "mpeg-version",
                    Cure("MPEG-2 Layer III: играют не все магнитолы — перекодируйте в MPEG-1 "
                         "Layer III"));
            else if (h.VersionIndex == 3)
                Add(entry.Source, "mpeg-version",
                    Cure("MPEG-2.5: играют лишь некоторые магнитолы — перекодируйте в MPEG-1 "
                         "Layer III"));
            if (std::find(p.SampleRates.begin(), p.SampleRates.end(), h.SampleRate) ==
                p.SampleRates.end())
                Add(entry.Source, "sample-rate",
                    Cure("Частота " + std::to_string(h.SampleRate) +
                         " Гц: магнитола может его не сыграть — перекодируйте с частотой 44100 "
                         "Гц"));
            if (!info.IsVBR && (h.Bitrate < p.MinBitrate || h.Bitrate > p.MaxBitrate))
                Add(entry.Source, "bitrate",
                    Cure("Битрейт " + std::to_string(h.Bitrate) + " кбит/с вне " +
                         std::to_string(p.MinBitrate) + "–" + std::to_string(p.MaxBitrate) +
                         " кбит/с: магнитола может его не сыграть — перекодируйте"));
        }
        if (p.MaxID3v2 > 0 && info.ID3v2Size > p.MaxID3v2)
            Add(entry.Source, "id3v2-large",
                "Тег ID3v2 больше " + std::to_string(p.MaxID3v2 / 1024) +
                    " КБ (обложка): некоторые магнитолы пропустят файл — нажмите «Удалить "
                    "ID3v2»: тег уйдёт, а где в ID3v1 нет всех его текстов, останутся одни "
                    "тексты, без обложки");
        if (p.WantsID3v1) {
            // The text a tagger lost ("?" or control bytes for letters) shows as rubbish.
            bool damaged = false;
            for (const TTagFieldInfo& field : TagFields())
                if (field.V1Text != nullptr && info.ID3v1.Exists)
                    damaged =
                        damaged || IsDamagedField(info.ID3v1.*field.V1Text,
                                                  DecodeID3v2Text(info.ID3v2.*field.ID3v2Text));
            const std::string fromID3v2 = "нажмите «Из ID3v2» и сохраните тег ID3v1";
            if (!info.ID3v1.Exists && info.ID3v2Size > 0)
                Add(entry.Source, "id3v2-present",
                    "Только тег ID3v2: магнитола покажет лишь имя файла — " + fromID3v2);
            else if (damaged)
                Add(entry.Source, "tag-damaged",
                    "Тег ID3v1 испорчен (знаки «?» или управляющие символы вместо букв): "
                    "магнитола покажет мусор — " +
                        (info.ID3v2Size > 0 ? fromID3v2
                                            : std::string("заполните и сохраните тег заново "
                                                          "или нажмите «Из имени»")));
            else if (!info.ID3v1.Exists)
                Add(entry.Source, "no-tag",
                    "Нет тега ID3v1: магнитола покажет лишь имя файла — заполните и сохраните тег "
                    "(Сохранение ID3 тегов) или отметьте «Взять теги из имени файла»");
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
                ofFolders + ": магнитола не прочтёт диск — объедините папки или " + kSplitAdvice,
                true);
        else if (p.WarnFolders > 0 && folderCount > p.WarnFolders)
            Add(".", "too-many-folders",
                ofFolders + ": часть магнитол видит не больше " + std::to_string(p.WarnFolders) +
                    " — объедините папки");
        // The root folder is an entry of the disc too.
        const int entries = fileCount + folderCount + 1;
        if (p.MaxFiles > 0 && fileCount > p.MaxFiles)
            Add(".", "too-many-files",
                "Файлов " + std::to_string(fileCount) + " из " + std::to_string(p.MaxFiles) +
                    ": лишние магнитола не увидит — " + kSplitAdvice);
        else if (p.MaxEntries > 0 && entries > p.MaxEntries)
            Add(".", "too-many-files",
                "Файлов и папок вместе с корневой " + std::to_string(entries) + " из " +
                    std::to_string(p.MaxEntries) + ": некоторые магнитолы не увидят лишние — " +
                    kSplitAdvice);
    }

    // The image's size as libisofs will lay it out; too large for the blank is fatal.
    void CheckSize() {
        int64_t sectors = 0;
        const std::string why = MeasureIsoImage(DiscLayout(Check), sectors);
        if (!why.empty()) {
            Add(".", "unreadable", "Размер образа не вычисляется: " + why + " — сообщите об ошибке",
                true);
            return;
        }
        Check.Sectors = sectors;
        if (sectors > Check.Profile.MaxImageSectors())
            Add(".", "disc-full",
                "Не помещается на диск: " + DiscSizeText(sectors, Check.Profile.MaxImageSectors()) +
                    " — " + kSplitAdvice + ", или уберите часть файлов",
                true);
    }
};

}  // namespace

std::vector<std::string> FoldersInListOrder(TFileSystem& fs, const std::string& folder,
                                            const std::vector<std::string>& dirs) {
    std::map<std::string, std::vector<TDirEntry>> listings;
    return FoldersInListOrder(dirs, [&](const std::string& dir) {
        std::vector<TDirEntry>& entries = listings[dir];
        fs.ListDir(JoinPath(folder, dir), entries);
        return &entries;
    });
}

std::vector<std::string> FoldersInListOrder(
    const std::vector<std::string>& dirs,
    const std::function<const std::vector<TDirEntry>*(const std::string& dir)>& listing) {
    const TCollator& collator = UserCollator();
    std::vector<std::pair<std::string, std::string>> keyed;  // (key, folder)
    for (const std::string& dir : dirs) {
        std::string key = dir;
        for (const TDirEntry& e : *listing(dir))
            if (e.Type == TDirEntry::Kind::File && IsMp3Name(e.Name) && NamedAfter(dir, e.Name)) {
                key = e.Name;
                break;
            }
        keyed.emplace_back(collator.Key(key), dir);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> ordered;
    for (auto& [key, dir] : keyed)
        ordered.push_back(std::move(dir));
    return ordered;
}

const std::vector<TDiscBlank>& DiscBlanks() {
    static const std::vector<TDiscBlank> blanks = {{80, 700, 359849}, {74, 650, 332850}};
    return blanks;
}

const std::vector<TDiscProfile>& DiscProfiles() {
    static const std::vector<TDiscProfile> profiles = [] {
        TDiscProfile radio;
        radio.Name = "Blaupunkt MP3 CD (Chevrolet, GM Daewoo)";
        radio.IsoLevel = 2;
        radio.WarnFolders = 250;
        radio.MaxFolders = 253;
        radio.MaxFilesPerFolder = 255;
        radio.MaxEntries = 509;
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
    profile.Blank = DiscBlanks().at(1);
    return profile;
}

TDiscProfile ProfileOf(const TDiscChoice& choice) {
    const auto& profiles = DiscProfiles();
    TDiscProfile profile = profiles.at(choice.Profile < profiles.size() ? choice.Profile : 0);
    const auto& blanks = DiscBlanks();
    profile.Blank = blanks.at(choice.Blank < blanks.size() ? choice.Blank : 0);
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

std::string DiscSizeText(int64_t sectors, int64_t capacity) {
    const int64_t used = Megabytes(sectors, true), room = Megabytes(capacity, false);
    // Megabytes, unless rounding shows the same number on both sides or puts a disc that fits
    // above its limit: then sectors, which are exact.
    if (used != room && (used < room) == (sectors <= capacity))
        return std::to_string(used) + " МБ из " + std::to_string(room) + " МБ";
    return Grouped(sectors) + " из " + Grouped(capacity) + " " +
           Plural(capacity, "сектора", "секторов", "секторов");
}

std::string DiscSummary(const TDiscCheck& check) {
    return "Папок: " + std::to_string(check.Folders.size()) + " из " +
           std::to_string(check.Profile.MaxFolders) +
           ", файлов: " + std::to_string(check.Files.size()) + ", " +
           DiscSizeText(check.Sectors, check.Profile.MaxImageSectors());
}

std::string FormatDiscProblem(const TDiscProblem& problem) {
    return (problem.Note ? "note\t" : "problem\t") + EscapeForLine(problem.Path) + "\t" +
           problem.Code + "\t" + EscapeForLine(problem.Text);
}

}  // namespace velmora
