// The disc a car radio plays: the radio profiles, the blanks, and the check of a folder against
// them. The names the files get on the disc are in core/DiscNames.h, the writing of the image and
// of its track list in core/DiscImage.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/files/FileSystem.h"

namespace velmora {

constexpr int64_t kDiscSector = 2048;
// What a burning program writes after the image (xorriso's and cdrecord's 300 KB of padding).
constexpr int64_t kBurnPadSectors = 150;

// A CD-R blank: the sectors a burner can write on it, counted from LBA 0 (which lies at 00:02:00).
struct TDiscBlank {
    int Minutes = 80;
    int Megabytes = 700;  // as printed on the blank
    int64_t Sectors = 359849;
};
// The 80-minute (700 MB) and the 74-minute (650 MB) blank, in that order.
const std::vector<TDiscBlank>& DiscBlanks();

// What a kind of radio accepts. Limits of 0 mean "no limit".
struct TDiscProfile {
    std::string Name;
    int IsoLevel = 2;  // 1 (8.3 names) or 2 (31 characters)
    TDiscBlank Blank;
    int WarnFolders = 0;   // more folders than this get a warning
    int MaxFolders = 253;  // more folders than this do not play
    int MaxFilesPerFolder = 255;
    int MaxFiles = 0;    // files on the whole disc
    int MaxEntries = 0;  // files and folders counted together, the root folder included
    int MaxDepth = 1;    // levels of folders below the root
    int JolietNameLength = 64;
    bool AudioLimits = false;            // MPEG-1 Layer III at the rates and bitrates below only
    std::vector<int> SampleRates;        // Hz
    int MinBitrate = 0, MaxBitrate = 0;  // kbit/s
    int64_t MaxID3v2 = 0;                // bytes; a larger ID3v2 tag makes files skip
    bool WantsID3v1 = false;             // tags are shown from ID3v1 only, in Latin letters

    // The largest image that still burns onto the blank with the burning program's padding.
    int64_t MaxImageSectors() const { return Blank.Sectors - kBurnPadSectors; }
};

// The profiles the program knows; the first is the default.
const std::vector<TDiscProfile>& DiscProfiles();
// The profile of that name; nullptr when there is none.
const TDiscProfile* FindDiscProfile(const std::string& name);
// The profile with a 74-minute (650 MB) blank instead of an 80-minute one.
TDiscProfile With650MBBlank(TDiscProfile profile);

// The profile and the blank chosen in the window (indexes into DiscProfiles and DiscBlanks), and
// whether the track list is written beside the image. Kept for the rest of the run.
struct TDiscChoice {
    size_t Profile = 0;
    size_t Blank = 0;
    bool TrackList = false;
    bool Split = false;  // a folder too big for one disc goes onto several, in the list's order
};
TDiscProfile ProfileOf(const TDiscChoice& choice);

// One problem of the folder, with the file or folder it concerns (relative to the folder).
struct TDiscProblem {
    std::string Path;
    std::string Code;    // too-many-folders, name-too-long, ... (the command line's column)
    std::string Text;    // what happens and what to do, for the user
    bool Fatal = false;  // the disc would not play: no image is written
    bool Note = false;   // tells what the disc will be, needs nothing done ("numbered")
};

// A file or a folder as it goes on the disc.
struct TDiscEntry {
    std::string Source;   // relative to the folder, "" for the root
    std::string Name;     // its name in the Joliet tree
    std::string IsoName;  // its name in the ISO 9660 tree, without ";1"
    int Folder = -1;      // a file's folder: -1 for the root, else the index in Folders
    int64_t Size = 0;
    TFileIdentity Identity{};       // the file as the check read it; the image takes only that file
    int32_t Duration = 0;           // milliseconds
    std::string Artist{}, Title{};  // from the tags, for the track list
};

// The folder as it goes on the disc, files in play order (the root's, then each folder's; each
// folder's in the order of the list), with every problem found.
struct TDiscCheck {
    TDiscProfile Profile;
    std::string Folder;
    std::string VolumeId;
    std::vector<TDiscEntry> Folders;  // in play order
    std::vector<TDiscEntry> Files;    // in play order
    std::vector<TDiscProblem> Problems;
    int64_t Sectors = 0;  // the image's size in 2048-byte sectors, as it will be written

    bool HasFatal() const;
};

// The folders of `folder` (their names, in the natural order of names) in the list's order: a
// folder named after the MP3 file it holds, as the batch names it, takes the place that file had
// in the list, so files listed "Help!.mp3", "Help.mp3" play in that order from their folders
// "Help!" and "Help"; any other folder is ordered by its own name.
std::vector<std::string> FoldersInListOrder(TFileSystem& fs, const std::string& folder,
                                            const std::vector<std::string>& dirs);
// The same over listings made already: `listing` gives each folder's entries.
std::vector<std::string> FoldersInListOrder(
    const std::vector<std::string>& dirs,
    const std::function<const std::vector<TDirEntry>*(const std::string& dir)>& listing);

// Checks the folder (its files and its folders, one level) against the profile.
TDiscCheck CheckDisc(TFileSystem& fs, const std::string& folder, const TDiscProfile& profile);

// "Папок: 12 из 253, файлов: 12, 61 МБ из 702 МБ".
std::string DiscSummary(const TDiscCheck& check);
// The image's size against the largest the blank takes, in units that tell the two apart:
// "61 МБ из 702 МБ", or sectors where megabytes would show the same number on both sides.
std::string DiscSizeText(int64_t sectors, int64_t capacity);
// "problem\tPATH\tCODE\tTEXT" ("note\t…" for a note), path and text on one line each
// (EscapeForLine).
std::string FormatDiscProblem(const TDiscProblem& problem);

// The folders, then the files, whose names on the disc are not their own (capitals aside).
std::vector<const TDiscEntry*> RenamedDiscEntries(const TDiscCheck& check);

}  // namespace velmora
