// The conversions of a plan on every core: one worker per core (or as many as asked), each
// converting one file at a time, the files taken in the plan's order. The calling thread waits,
// is told the progress now and then, and may cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/convert/ConvertJob.h"
#include "core/text/Progress.h"

namespace velmora {

struct TConvertStatus {
    size_t FilesDone = 0, FilesTotal = 0;  // done, failed or cancelled, of those to convert
    std::vector<std::string> Current;      // the files being converted now (full paths)
    int64_t MsDone = 0, MsTotal = 0;       // of the sources' playing time
    int64_t SecondsLeft = -1;              // -1 until it can be told
};

// The progress as the window's dialog and the command line's lines show it: key "convert", the
// step "Перекодировано 3 из 12", the files at hand, the playing time done of the whole, the time
// left.
TProgress ConvertProgressOf(const TConvertStatus& status);

// The number of workers: `jobs` when it is above 0, else one per core; never more than the
// files.
int ConvertWorkers(int jobs, size_t files);

// Runs the conversions of the plan's items that have no problem, on `jobs` workers (0: one per
// core). `tick` runs on the calling thread every `every` and at the end, with the progress; false
// from it cancels: the files being converted stop and leave nothing, the others are not begun.
// The outcomes are the plan's items', in its order.
std::vector<TConvertOutcome> RunConversion(const TConvertPlan& plan, int jobs,
                                           const std::function<bool(const TConvertStatus&)>& tick,
                                           int everyMs = 100, TSysCalls& sys = RealSysCalls());

}  // namespace velmora
