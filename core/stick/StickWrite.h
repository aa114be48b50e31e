// The folder written onto the stick and checked: a new folder beside whatever the stick holds,
// then each folder and file in the list's order under its final name, each file whole (written,
// flushed, closed) before the next. Never a temporary name renamed into place: the FAT driver
// puts a renamed entry into the first free slot, which would break the order the radio plays.
// Then the new folder is read back, its order against the list where the driver shows the order
// on the stick, every file's bytes against its source.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/files/SysCalls.h"
#include "core/stick/Stick.h"
#include "core/text/Progress.h"

namespace velmora {

struct TStickResult {
    enum class EKind { Done, Differs, Cancelled, Failed };
    EKind Kind = EKind::Failed;
    std::string Folder;                      // the new folder on the stick; "" when none was made
    std::string Message;                     // what happened, in Russian, lines apart ("\r")
    std::vector<std::string> Differences{};  // what the check found unlike the list or the source
    bool OrderChecked = false;
    bool Ok() const { return Kind == EKind::Done; }
};

// Progress: false cancels.
using TStickProgress = std::function<bool(const TProgress&)>;

// Writes and checks the plan (which StickRefusal lets through). A cancel, or a failure while
// writing, removes the new folder (only what was made) and changes nothing else; the opened
// folder is only read. The source files are read through `sys`, so inside a held folder by its
// descriptor.
TStickResult WriteStick(const TStickPlan& plan, const TStickProgress& progress,
                        TSysCalls& sys = RealSysCalls());

// The differences between a folder's entries in the order the list asks (`expected`) and as read
// back (`found`), said of the folder `shown`: what is missing, what is there besides, the first
// place where the order differs. Empty when they are the same.
std::vector<std::string> CompareStickOrder(const std::vector<std::string>& expected,
                                           const std::vector<std::string>& found,
                                           const std::string& shown);

}  // namespace velmora
