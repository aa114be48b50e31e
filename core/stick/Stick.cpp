#include "core/stick/Stick.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>

#include "core/disc/DiscNames.h"
#include "core/files/Paths.h"
#include "core/stick/MountTable.h"
#include "core/text/TextCodec.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

constexpr long kMsdosMagic = 0x4d44;
constexpr long kExFatMagic = 0x2011BAB0;
constexpr long kNtfs3Magic = 0x5346544e;
constexpr long kNtfsMagic = 0x7366746e;
constexpr long kFuseMagic = 0x65735546;

// The disc check's lines that a stick does not have: the blank, the disc's counts, ISO 9660
// names cut short.
bool DiscOnly(const std::string& code) {
    return code == "disc-full" || code == "too-many-folders" || code == "too-many-files" ||
           code == "name-too-long";
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A disc line said of the stick.
std::string ForStick(std::string text) {
    ReplaceAll(text, "на диске", "на флешке");
    ReplaceAll(text, "на диск ", "на флешку ");
    return text;
}

int64_t RoundUp(int64_t bytes, int64_t unit) {
    return unit > 0 ? (bytes + unit - 1) / unit * unit : bytes;
}

// A folder's name as FAT keeps it: the FAT driver drops the dots and spaces a name ends in, so
// the name read back would not be the name written.
std::string FatFolderName(std::string name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    return name.empty() ? "_" : name;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string RealPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : NormalPath(path);
}

}  // namespace

bool TStickVolume::RadioReads() const {
    if (Kind == EKind::Fat)
        return true;
    // FAT through a driver in user space (fusefat).
    return Kind == EKind::Fuse && Type.find("fat") != std::string::npos &&
           Type.find("exfat") == std::string::npos;
}

TStickVolume ProbeStickVolume(const std::string& path) {
    TStickVolume v;
    struct statfs st;
    if (::statfs(path.c_str(), &st) != 0)
        return v;
    const long magic = static_cast<long>(st.f_type);
    v.Kind = magic == kMsdosMagic                          ? TStickVolume::EKind::Fat
             : magic == kExFatMagic                        ? TStickVolume::EKind::ExFat
             : magic == kNtfs3Magic || magic == kNtfsMagic ? TStickVolume::EKind::Ntfs
             : magic == kFuseMagic                         ? TStickVolume::EKind::Fuse
                                                           : TStickVolume::EKind::Other;
    // A driver that counts no blocks at all (fusefat) does not know its free space.
    if (st.f_blocks > 0)
        v.FreeBytes = static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_bsize);
    v.ClusterBytes = std::max<int64_t>(512, static_cast<int64_t>(st.f_bsize));
    v.ReadOnly = (st.f_flags & ST_RDONLY) != 0;
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<TMountEntry> mounts = ParseMountInfo(table);
    const std::string real = RealPathOf(path);
    if (const TMountEntry* m = MountOf(mounts, real)) {
        v.Type = m->FsType;
        const std::string below = RelativePath(real, m->MountPoint);
        if (!below.empty() && below != ".")
            v.Depth = 1 + static_cast<int>(std::count(below.begin(), below.end(), '/'));
    }
    return v;
}

std::string StickVolumeWarning(const TStickVolume& v) {
    const std::string advice =
        ": многие магнитолы такую флешку не прочтут, FAT32 читают все — отформатируйте флешку в "
        "FAT32 или запишите как есть";
    switch (v.Kind) {
        case TStickVolume::EKind::Fat:
            return "";
        case TStickVolume::EKind::ExFat:
            return "Флешка размечена в exFAT" + advice;
        case TStickVolume::EKind::Ntfs:
            return "Флешка размечена в NTFS" + advice;
        case TStickVolume::EKind::Fuse:
            if (v.RadioReads())
                return "";
            return "Флешка подключена через FUSE (" + (v.Type.empty() ? "fuse" : v.Type) +
                   "), это обычно exFAT или NTFS" + advice;
        case TStickVolume::EKind::Other:
            break;
    }
    return "Это не флешка для магнитолы, а файловая система " +
           (v.Type.empty() ? std::string("неизвестного вида") : "«" + v.Type + "»") + advice;
}

TDiscProfile StickProfile(const TDiscProfile& disc) {
    TDiscProfile p = disc;
    p.WarnFolders = 0;
    p.MaxFolders = 0;
    p.MaxFiles = 0;
    p.MaxEntries = 0;
    p.MaxFilesPerFolder = kStickMaxFilesPerFolder;
    // No blank: the room is the stick's (PlanStick).
    p.Blank.Sectors = std::numeric_limits<int32_t>::max();
    return p;
}

bool TStickPlan::HasFatal() const {
    return std::any_of(Problems.begin(), Problems.end(),
                       [](const TDiscProblem& p) { return p.Fatal; });
}

size_t TStickPlan::ConvertedCount() const {
    return static_cast<size_t>(
        std::count_if(Converted.begin(), Converted.end(), [](int i) { return i >= 0; }));
}

namespace {

// Marks the check's files that the conversion makes, with their planned sizes and a note each.
void TakeConversion(TStickPlan& plan, const TConvertPlan& convert) {
    plan.Convert = convert;
    std::map<std::string, int> byTarget;
    for (size_t i = 0; i < convert.Items.size(); ++i)
        if (convert.Items[i].Problem.empty())
            byTarget[NormalPath(convert.Items[i].Target)] = static_cast<int>(i);
    const int kbps = convert.Settings.Kbps;
    for (size_t i = 0; i < plan.Check.Files.size(); ++i) {
        TDiscEntry& f = plan.Check.Files[i];
        const auto it = byTarget.find(NormalPath(JoinPath(plan.Check.Folder, f.Source)));
        if (it == byTarget.end())
            continue;
        const TConvertItem& item = convert.Items[static_cast<size_t>(it->second)];
        plan.Converted[i] = it->second;
        f.Size = ConvertedSize(item, kbps);
        f.Identity = {};
        const std::string source = RelativePath(item.Source, plan.Check.Folder);
        const std::string shown =
            f.Folder < 0 ? f.Name
                         : plan.Check.Folders.at(static_cast<size_t>(f.Folder)).Name + "/" + f.Name;
        plan.Problems.push_back({source, "convert",
                                 "перекодируется: " + source + " → " + shown + " (" +
                                     ConvertDetail(item, kbps, "") + ")",
                                 false, true});
    }
}

}  // namespace

TStickPlan PlanStick(TFileSystem& fs, const std::string& folder, const std::string& target,
                     const TDiscProfile& profile, const TStickVolume& volume,
                     const TConvertPlan* convert) {
    TStickPlan plan;
    plan.Check = CheckDisc(fs, folder, StickProfile(profile));
    plan.Target = target;
    plan.Volume = volume;
    const TDiscProfile& p = plan.Check.Profile;
    plan.FolderName = FatFolderName(DiscJolietName(NameOf(NormalPath(folder)), false, p));
    if (plan.FolderName == "_")
        plan.FolderName = "Velmora";
    std::set<std::string> names;  // the new folder's entries, as FAT tells them apart
    for (const TDiscEntry& f : plan.Check.Files)
        if (f.Folder < 0)
            names.insert(Lower(f.Name));
    for (TDiscEntry& f : plan.Check.Folders) {
        f.Name = FatFolderName(f.Name);
        if (!names.insert(Lower(f.Name)).second)
            plan.Problems.push_back(
                {f.Source, "name-clash",
                 "На флешке будет два имени «" + f.Name + "»: переименуйте папку", true});
    }
    for (const TDiscProblem& problem : plan.Check.Problems)
        if (!DiscOnly(problem.Code))
            plan.Problems.push_back(
                {problem.Path, problem.Code, ForStick(problem.Text), problem.Fatal, problem.Note});
    // A name longer than radios show is cut on the stick as on the disc.
    for (const auto* list : {&plan.Check.Folders, &plan.Check.Files})
        for (const TDiscEntry& e : *list)
            if (Utf8Length(NameOf(e.Source)) > static_cast<size_t>(p.JolietNameLength))
                plan.Problems.push_back(
                    {e.Source, "name-too-long",
                     "Имя длиннее " +
                         CountOf(p.JolietNameLength, "символа", "символов", "символов") +
                         ": на флешке будет «" + e.Name + "»"});
    const int depth = volume.Depth + 1 + (plan.Check.Folders.empty() ? 0 : 1);
    if (depth > kStickMaxDepth)
        plan.Problems.push_back({".", "too-deep",
                                 "Папки на флешке будут на " + std::to_string(depth) +
                                     "-м уровне, магнитолы видят не глубже " +
                                     std::to_string(kStickMaxDepth) +
                                     " — выберите папку ближе к корню флешки",
                                 true});
    if (fs.Within(folder, target))
        plan.Problems.push_back({".", "target-inside",
                                 "Папка для записи лежит внутри открытой папки — выберите флешку",
                                 true});
    plan.Converted.assign(plan.Check.Files.size(), -1);
    if (convert)
        TakeConversion(plan, *convert);
    const int64_t cluster = std::max<int64_t>(1, volume.ClusterBytes);
    plan.Needed = cluster * static_cast<int64_t>(1 + plan.Check.Folders.size());
    for (const TDiscEntry& f : plan.Check.Files) {
        plan.Bytes += f.Size;
        plan.Needed += RoundUp(f.Size, cluster);
    }
    return plan;
}

std::string StickRefusal(const TStickPlan& plan) {
    std::string why;
    for (const TDiscProblem& p : plan.Problems)
        if (p.Fatal)
            why += "\n" + p.Path + ": " + p.Text;
    if (!why.empty())
        return "магнитола не сыграет флешку" + why;
    if (plan.Volume.ReadOnly)
        return "флешка только для чтения — снимите защиту от записи (переключатель на флешке) или "
               "подключите её заново";
    if (plan.Check.Files.empty())
        return "в папке нет MP3 файлов, которые сыграет магнитола";
    if (plan.Volume.FreeBytes >= 0 && plan.Needed > plan.Volume.FreeBytes)
        return "на флешке не хватает места: нужно " + SizeText(plan.Needed) + ", свободно " +
               SizeText(plan.Volume.FreeBytes) + " — не хватает " +
               SizeText(plan.Needed - plan.Volume.FreeBytes) +
               "; освободите место или возьмите флешку больше";
    return "";
}

std::string StickSummary(const TStickPlan& plan) {
    std::string text = "Файлов: " + std::to_string(plan.Check.Files.size()) +
                       ", папок: " + std::to_string(plan.Check.Folders.size()) + ", " +
                       SizeText(plan.Bytes);
    if (const size_t converted = plan.ConvertedCount(); converted > 0)
        text += " (перекодируются: " + std::to_string(converted) + ")";
    if (plan.Volume.FreeBytes >= 0)
        text += ", свободно " + SizeText(plan.Volume.FreeBytes);
    if (!plan.Volume.Type.empty())
        text += " (" + plan.Volume.Type + ")";
    return text;
}

std::string StickPlanQuestion(const TStickPlan& plan) {
    constexpr int kShown = 12;
    std::string lines;
    int count = 0;
    for (const TDiscProblem& p : plan.Problems)
        if ((!p.Note || p.Code == "convert") && !p.Fatal && ++count <= kShown)
            lines += "\r" + (p.Path == "." ? std::string() : p.Path + ": ") + p.Text;
    if (count > kShown)
        lines += "\r… и ещё " + std::to_string(count - kShown);
    if (lines.empty())
        return "";
    return "Перед записью на флешку:" + lines + "\r\r" + StickSummary(plan) + "\r\rЗаписать?";
}

}  // namespace velmora
