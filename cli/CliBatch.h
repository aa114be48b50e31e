// The command line's batch: options that set the window's controls one for one, and the plan
// or the run of "Обработать все файлы" printed as lines.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/TagFields.h"

namespace velmora {

struct TBatchOptions {
    bool Translit = false;
    bool FromID3v2 = false, StripID3v2 = false;
    std::string Table;                                      // a .trs table loaded first
    std::optional<std::vector<std::string>> Merge, Rename;  // the chosen parts
    std::optional<std::string> Separator, Replace;
    std::optional<bool> Numbered;  // folders: numbered or named after the file
    std::optional<int> FirstNumber;
    bool AtOnce = false;
    std::vector<std::pair<TTagField, std::string>> Set;
    bool Tsv = false;
};

// Reads the options after DIR; false with a one-line message on err for a usage error.
bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& options,
                       std::ostream& err);
// Opens the folder, sets the controls, and prints the plan (run = false) or runs the batch and
// prints what it did. Returns the exit status: 0 all done, 1 something failed, 2 usage error.
int PlanOrRunBatch(const std::string& folder, const TBatchOptions& options, bool run,
                   std::ostream& out, std::ostream& err);

}  // namespace velmora
