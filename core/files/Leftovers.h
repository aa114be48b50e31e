// What a move or a rewrite killed half way leaves behind (core/Journal.h), and how the next open
// of the folder completes or undoes it.
#pragma once

#include <string>
#include <vector>

#include "core/files/SysCalls.h"

namespace velmora {

struct TLeftovers {
    int Handled = 0;  // journals obeyed and temporary files removed
    // Files named like the program's own that it did not act on: a journal not written by this
    // program for this folder (an archive, a copy, a hand-made one, an older version's), one that
    // names a path outside the folder, or a temporary file no journal names. They stay as they
    // are; the caller tells the user.
    std::vector<std::string> Ignored;
};

// Completes or undoes the moves and rewrites whose journals lie in `folder` or in its subfolders
// (one level, links not followed), where the process that wrote them is gone. A journal is obeyed
// only when it was written into the folder it lies in (device and inode recorded), every path in
// it lies inside `folder` (links resolved), and what it names is found on disk as it left it (the
// inode it recorded). A temporary file is removed only when an obeyed journal names it. Nothing
// outside `folder` is ever touched.
TLeftovers CleanLeftovers(TSysCalls& sys, const std::string& folder);
TLeftovers CleanLeftovers(const std::string& folder);

}  // namespace velmora
