// velmora-cli plan and run: "Обработать все файлы" from a shell, its plan or the run printed as
// lines.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/model/BatchOptions.h"

namespace velmora {

// Reads the options after DIR (--tsv sets tsv); false with a one-line message on err for a
// usage error (of the run command with run, else of plan).
bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& options, bool& tsv,
                       std::ostream& err, bool run = false);
// Opens the folder, sets the options on the model, and prints the plan (run = false) or runs the
// batch and prints what it did. Returns the exit status: 0 all done, 1 something failed, 2 usage
// error (the folder missing or unreadable).
int PlanOrRunBatch(const std::string& folder, const TBatchOptions& options, bool run, bool tsv,
                   std::ostream& out, std::ostream& err);

}  // namespace velmora
