// The choices of "Обработать все файлы" as one value: what the command line reads from its
// options and the model sets on its controls (TMainModel::ApplyBatchOptions), so that both front
// ends set the batch the same way.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/tags/Naming.h"
#include "core/tags/TagFields.h"

namespace velmora {

struct TBatchOptions {
    bool Translit = false;
    bool FromID3v2 = false, StripID3v2 = false;
    bool FromName = false;    // fill the fields no tag has from the file name
    std::string NamePattern;  // read names by this pattern ("%n - %a - %t"); "" for the shapes
    bool Convert = false;     // convert what the radio cannot play first
    std::string Table;        // a .trs table loaded first
    std::optional<TNameParts> Merge, Rename;  // the chosen parts
    std::optional<std::string> Separator, Replace;
    std::optional<bool> Numbered;  // folders: numbered or named after the file
    std::optional<int> FirstNumber;
    bool AtOnce = false;
    std::vector<std::pair<TTagField, std::string>> Set;  // fields kept at a text for every file
};

// What is wrong with a set of options, before anything is touched.
enum class TBatchOptionsProblem {
    None,
    AtOnceNeedsRenameAndFolders,  // one move per file needs both renaming and folders
    NothingToDo,                  // no step chosen
    BadNamePattern,               // the file-name pattern cannot read names (CheckNamePattern)
};
TBatchOptionsProblem CheckBatchOptions(const TBatchOptions& options);

}  // namespace velmora
