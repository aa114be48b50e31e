// A USB stick for the car radio: what its file system is, what of the opened folder goes onto it
// and under which names (the disc's names, core/disc/DiscNames.h), the limits radios put on
// sticks, the room it needs. The writing and the check after it are in core/stick/StickWrite.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/convert/ConvertPlan.h"
#include "core/disc/Disc.h"
#include "core/files/FileSystem.h"

namespace velmora {

// What radios put up with on a stick, beyond the disc's rules.
constexpr int kStickMaxFilesPerFolder = 1000;
constexpr int kStickMaxDepth = 8;  // levels of folders below the stick's root

// The file system of the place the folder is written to, as statfs(2) and the mount table tell.
struct TStickVolume {
    enum class EKind {
        Fat,    // FAT12/16/32 by the kernel's driver: what radios read; the order can be read back
        ExFat,  // the kernel's exFAT driver: the order can be read back
        Ntfs,   // the kernel's NTFS drivers
        Fuse,   // a driver in user space (exfat-fuse, ntfs-3g, fusefat): the order is not seen
        Other,  // a disk's own file system (ext4, btrfs, tmpfs…)
    };
    EKind Kind = EKind::Other;
    std::string Type;        // the mount table's name of it: "vfat", "fuseblk"…
    int64_t FreeBytes = -1;  // for a user, -1 when not known
    int64_t ClusterBytes = 4096;
    bool ReadOnly = false;
    int Depth = 0;  // the levels of folders between the mount point and the place written to

    // True when reading a folder back lists its entries in the order they lie on the stick.
    bool OrderVisible() const { return Kind == EKind::Fat || Kind == EKind::ExFat; }
    // True when the file system is what radios read (FAT, through any driver).
    bool RadioReads() const;
};
// The volume of the folder at `path`; Type "" and Kind Other when statfs fails.
TStickVolume ProbeStickVolume(const std::string& path);
// Why the user is asked before writing there: "" on FAT; on exFAT, NTFS or a disk's own file
// system, that many radios will not read it.
std::string StickVolumeWarning(const TStickVolume& volume);

// What goes onto the stick: the disc check of the folder with the stick's limits (its names, its
// files in play order, its problems), the new folder's name, the room it takes.
struct TStickPlan {
    TDiscCheck Check;
    std::vector<TDiscProblem> Problems;  // the check's lines for a stick, and the stick's own
    std::string Target;                  // the folder on the stick the new folder goes into
    std::string FolderName;              // the new folder's name before " (2)", " (3)"…
    TStickVolume Volume;
    int64_t Bytes = 0;   // the files' bytes (a converted file's as planned, ConvertedSize)
    int64_t Needed = 0;  // the room they take there, in whole clusters with their folders'
    // What is converted on the way: a file the radio cannot play written as the MP3 the
    // conversion makes of it, in the place that MP3 takes in the list. For each of Check.Files,
    // the index of its item in Convert, or -1 for a file copied as it is.
    TConvertPlan Convert;
    std::vector<int> Converted;
    // For each item of Convert: true for an MP3 that plays as it is, only outside the profile's
    // limits (MPEG-2, a rate, a bitrate), which is copied as it is when its conversion fails.
    std::vector<bool> PlaysAsIs;
    size_t ConvertedCount() const;

    bool HasFatal() const;
};

// The profile of the stick made from a disc profile: the same audio rules and names, a stick's
// counts, no blank.
TDiscProfile StickProfile(const TDiscProfile& disc);
// Checks the folder for the stick at `target` of the volume `volume` (ProbeStickVolume, or any
// figures a test gives). With a conversion's plan, `fs` shows its new files in place already
// (PretendConverted) and the check's files that are its targets are converted on the way, each
// with a note "convert".
TStickPlan PlanStick(TFileSystem& fs, const std::string& folder, const std::string& target,
                     const TDiscProfile& profile, const TStickVolume& volume,
                     const TConvertPlan* convert = nullptr);
// Why nothing is written: the stick's fatal problems, the read-only stick, the room missing
// ("не хватает 12 МБ"), nothing to write; "" when it can be written.
std::string StickRefusal(const TStickPlan& plan);
// The window's question before the copy: the plan's warnings (the first twelve, and how many
// more), the summary, "Записать?"; "" when there is no warning (notes and fatal problems aside:
// the refusal tells those).
std::string StickPlanQuestion(const TStickPlan& plan);
// "Файлов: 12, папок: 2, 61 МБ, свободно 3,5 ГБ (vfat)"
std::string StickSummary(const TStickPlan& plan);

}  // namespace velmora
