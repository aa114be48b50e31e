// A folder too big for one disc cut into consecutive discs in the list's order: each disc takes
// the files that follow the last one's, as many as fit the blank and the profile's limits of
// folders and files, never reordered; a folder whose files go on two discs has its name on both.
#pragma once

#include <string>
#include <vector>

#include "core/disc/Disc.h"

namespace velmora {

struct TDiscSplit {
    std::vector<TDiscCheck> Discs;  // in play order; each fits its blank and the profile
    std::string Problem;            // why the folder cannot be split, in Russian; "" when it can
};

// True for the problems a split takes away: the disc too full, too many folders or files on it.
bool SplitCures(const TDiscProblem& problem);

// Cuts the checked folder into discs. One disc when everything fits. Each disc keeps the names
// the check made (they follow the list in every folder, so in any part of it too), the problems
// of its own files and folders, and the volume id with "_1", "_2"… when there are several. A
// folder whose other fatal problems no split cures, or a file larger than the blank, cannot be
// split (Problem says why).
TDiscSplit SplitDisc(const TDiscCheck& check);

// "Музыка.iso" → "Музыка-2.iso", the number before the extension.
std::string NumberedDiscPath(const std::string& path, size_t number);

}  // namespace velmora
