// The disc a car radio plays: the radio profiles and the check of a folder against one. The names
// the files get on the disc are in core/DiscNames.h, the writing of the image in core/DiscImage.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/FileSystem.h"

namespace velmora {

// What a kind of radio accepts. Limits of 0 mean "no limit".
struct TDiscProfile {
    std::string Name;
    int IsoLevel = 2;                  // 1 (8.3 names) or 2 (31 characters)
    int64_t CapacitySectors = 360000;  // 2048-byte sectors: 80 min = 360000, 74 min = 333000
    int CapacityMB = 700;              // the size printed on the blank
    int WarnFolders = 0;               // more folders than this get a warning
    int MaxFolders = 253;              // more folders than this do not play
    int MaxFilesPerFolder = 255;
    int MaxFiles = 0;    // files on the whole disc
    int MaxEntries = 0;  // files and folders counted together
    int MaxDepth = 1;    // levels of folders below the root
    int JolietNameLength = 64;
    bool AudioLimits = false;            // MPEG-1 Layer III at the rates and bitrates below only
    std::vector<int> SampleRates;        // Hz
    int MinBitrate = 0, MaxBitrate = 0;  // kbit/s
    int64_t MaxID3v2 = 0;                // bytes; a larger ID3v2 tag makes files skip
    bool WantsID3v1 = false;             // tags are shown from ID3v1 only, in Latin letters
};

// The profiles the program knows; the first is the default.
const std::vector<TDiscProfile>& DiscProfiles();
// The profile of that name; nullptr when there is none.
const TDiscProfile* FindDiscProfile(const std::string& name);
// The profile with a 74-minute (650 MB) blank instead of an 80-minute one.
TDiscProfile With650MBBlank(TDiscProfile profile);

// One problem of the folder, with the file or folder it concerns (relative to the folder).
struct TDiscProblem {
    std::string Path;
    std::string Code;    // too-many-folders, name-too-long, ... (the command line's column)
    std::string Text;    // what happens and what to do, for the user
    bool Fatal = false;  // the disc would not play: no image is written
};

// A file or a folder as it goes on the disc.
struct TDiscEntry {
    std::string Source;   // relative to the folder, "" for the root
    std::string Name;     // its name in the Joliet tree (the ISO 9660 name is made from it)
    std::string IsoName;  // its ISO 9660 name, without ";1"
    int Folder = -1;      // a file's folder: -1 for the root, else the index in Folders
    int64_t Size = 0;
};

// The folder as it goes on the disc, files in play order (the root's, then each folder's), with
// every problem found.
struct TDiscCheck {
    TDiscProfile Profile;
    std::string Folder;
    std::string VolumeId;
    std::vector<TDiscEntry> Folders;  // in play order
    std::vector<TDiscEntry> Files;    // in play order
    std::vector<TDiscProblem> Problems;
    int64_t Sectors = 0;  // the image's size in 2048-byte sectors, about

    bool HasFatal() const;
};

// Checks the folder (its files and its folders, one level) against the profile.
TDiscCheck CheckDisc(TFileSystem& fs, const std::string& folder, const TDiscProfile& profile);

// "Папок: 12 из 253, файлов: 12, 61 МБ из 700 МБ".
std::string DiscSummary(const TDiscCheck& check);
// "problem\tPATH\tCODE\tTEXT", path and text on one line each (EscapeForLine).
std::string FormatDiscProblem(const TDiscProblem& problem);

// The folders, then the files, whose names on the disc are not their own (capitals aside).
std::vector<const TDiscEntry*> RenamedDiscEntries(const TDiscCheck& check);

}  // namespace velmora
