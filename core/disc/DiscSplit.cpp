#include "core/disc/DiscSplit.h"

#include <algorithm>
#include <map>

#include "core/disc/DiscImage.h"
#include "core/disc/IsoImage.h"
#include "core/files/Paths.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

// The part of the check made of the files [first, last), with their folders.
TDiscCheck Part(const TDiscCheck& check, size_t first, size_t last) {
    TDiscCheck part;
    part.Profile = check.Profile;
    part.Folder = check.Folder;
    part.VolumeId = check.VolumeId;
    std::map<int, int> folders;  // the check's folder index → the part's
    for (size_t i = first; i < last; ++i) {
        TDiscEntry file = check.Files[i];
        if (file.Folder >= 0) {
            const auto [it, added] =
                folders.emplace(file.Folder, static_cast<int>(part.Folders.size()));
            if (added)
                part.Folders.push_back(check.Folders[static_cast<size_t>(file.Folder)]);
            file.Folder = it->second;
        }
        part.Files.push_back(std::move(file));
    }
    return part;
}

// True when the part keeps the profile's limits of folders and files.
bool WithinLimits(const TDiscCheck& part) {
    const TDiscProfile& p = part.Profile;
    const int folders = static_cast<int>(part.Folders.size());
    const int files = static_cast<int>(part.Files.size());
    if ((p.MaxFolders > 0 && folders > p.MaxFolders) || (p.MaxFiles > 0 && files > p.MaxFiles) ||
        (p.MaxEntries > 0 && files + folders + 1 > p.MaxEntries))
        return false;
    if (p.MaxFilesPerFolder > 0) {
        std::map<int, int> perFolder;
        for (const TDiscEntry& f : part.Files)
            if (++perFolder[f.Folder] > p.MaxFilesPerFolder)
                return false;
    }
    return true;
}

// The part's image size, or -1 when it cannot be measured.
int64_t Measure(const TDiscCheck& part) {
    TIsoLayout layout = DiscLayout(part);
    layout.MaxSectors = 0;
    int64_t sectors = 0;
    return MeasureIsoImage(layout, sectors).empty() ? sectors : -1;
}

bool Fits(TDiscCheck& part) {
    if (!WithinLimits(part))
        return false;
    const int64_t sectors = Measure(part);
    part.Sectors = sectors;
    return sectors >= 0 && sectors <= part.Profile.MaxImageSectors();
}

}  // namespace

bool SplitCures(const TDiscProblem& problem) {
    return problem.Code == "disc-full" || problem.Code == "too-many-folders" ||
           problem.Code == "too-many-files" || problem.Code == "too-many-in-folder";
}

TDiscSplit SplitDisc(const TDiscCheck& check) {
    TDiscSplit split;
    for (const TDiscProblem& p : check.Problems)
        if (p.Fatal && !SplitCures(p)) {
            split.Problem =
                "диск не будет играть и на нескольких дисках: " + p.Path + ": " + p.Text;
            return split;
        }
    if (check.Files.empty()) {
        split.Problem = "в папке нет MP3 файлов, которые сыграет магнитола";
        return split;
    }
    for (size_t first = 0; first < check.Files.size();) {
        // The most files from `first` on that fit: the limits and the size only grow with them.
        size_t fits = 0, lo = 1, hi = check.Files.size() - first;
        TDiscCheck best;
        while (lo <= hi) {
            const size_t count = lo + (hi - lo) / 2;
            TDiscCheck part = Part(check, first, first + count);
            if (Fits(part)) {
                fits = count;
                best = std::move(part);
                lo = count + 1;
            } else {
                hi = count - 1;
            }
        }
        if (fits == 0) {
            const TDiscEntry& file = check.Files[first];
            split.Problem = "файл «" + file.Source + "» один не помещается на диск";
            split.Discs.clear();
            return split;
        }
        split.Discs.push_back(std::move(best));
        first += fits;
    }
    const size_t count = split.Discs.size();
    for (size_t n = 0; n < count; ++n) {
        TDiscCheck& disc = split.Discs[n];
        if (count > 1) {
            const std::string tail = "_" + std::to_string(n + 1);
            disc.VolumeId = check.VolumeId.substr(0, 32 - tail.size()) + tail;
        }
        // The problems of its own files and folders that a split does not cure.
        for (const TDiscProblem& p : check.Problems) {
            if (SplitCures(p))
                continue;
            const bool own =
                p.Path == "." ||
                std::any_of(disc.Files.begin(), disc.Files.end(),
                            [&p](const TDiscEntry& f) { return f.Source == p.Path; }) ||
                std::any_of(disc.Folders.begin(), disc.Folders.end(),
                            [&p](const TDiscEntry& f) { return f.Source == p.Path; });
            if (own && (n == 0 || p.Path != "."))
                disc.Problems.push_back(p);
        }
    }
    return split;
}

std::string NumberedDiscPath(const std::string& path, size_t number) {
    const std::string name = NameOf(path);
    const size_t dot = name.rfind('.');
    const size_t at =
        path.size() - name.size() + (dot == std::string::npos || dot == 0 ? name.size() : dot);
    return path.substr(0, at) + "-" + std::to_string(number) + path.substr(at);
}

}  // namespace velmora
