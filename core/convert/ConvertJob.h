// One conversion: the source decoded and encoded into a journaled temporary file beside it, the
// file whole and flushed before it gets its name, an MP3 original moved to its kept name only
// then. Stopped at any point (a cancel, a failure, a kill) it leaves the folder as it was or with
// the new file in place; a kill's leftovers are completed or undone at the next open of the
// folder (core/files/Leftovers.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/convert/ConvertPlan.h"
#include "core/files/SysCalls.h"

namespace velmora {

struct TConvertOutcome {
    enum class EState { Waiting, Done, Failed, Cancelled };
    EState State = EState::Waiting;
    std::string Target;    // where the new MP3 is (a numbered name when the planned one was taken)
    std::string Original;  // where an MP3's original went
    std::string Message;   // why it failed
};

// Converts one item of a plan. `progress` is called now and then with the milliseconds of the
// source decoded so far; false from it cancels. Never throws for a fault of the file or the disk:
// the outcome says what happened.
TConvertOutcome ConvertFile(TSysCalls& sys, const TConvertItem& item,
                            const TConvertSettings& settings,
                            const std::function<bool(int64_t)>& progress = {});

// The same conversion written into the open, empty file `out` (a private temporary file of the
// caller's, outside the folder) from its start, flushed, and left open; nothing is named, moved
// or made beside the source.
TConvertOutcome ConvertInto(TSysCalls& sys, const TConvertItem& item,
                            const TConvertSettings& settings, int out,
                            const std::function<bool(int64_t)>& progress = {});

}  // namespace velmora
