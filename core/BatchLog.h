// What a batch does to the disk, as lines: the same lines describe the plan (the batch run over
// a file system that only pretends) and the run (the batch over the disk), so the two can be
// compared line by line. The command line prints them; the window's plan and done dialogs show
// them as a table.
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct TBatchEvent {
    enum class TKind { Save, Mkdir, Move, Fail, Skip, Warn, Strip };
    TKind Kind;
    std::string Path;    // full path
    std::string Target;  // full path of a move's target, else ""
    std::string Detail;  // the block in hex, the reason, the warning
};
using TBatchLog = std::vector<TBatchEvent>;

// The action word of the tab-separated form: save, mkdir, move, fail, skip, warn, strip.
const char* BatchActionName(TBatchEvent::TKind kind);
// The action as the user reads it: "Запись тега", "Перемещение", "Ошибка", ...
const char* BatchActionWord(TBatchEvent::TKind kind);
// A step that was not done (a failed move, a file left where it is): what makes a run's exit
// status 1 and what the dialogs mark red.
bool IsFailure(TBatchEvent::TKind kind);
// One line: with tsv "action<TAB>path<TAB>target<TAB>detail" ("-" for an empty column), else a
// Russian sentence. Paths are relative to folder and written on one line
// (EscapeForLine).
std::string FormatBatchEvent(const TBatchEvent& event, const std::string& folder, bool tsv);
// "Будет записано тегов: 12, переименовано: 12, перемещено в папки D001–D012: 12;
// предупреждений: 2" (with done = false), or the same in the past tense with done = true.
std::string BatchSummary(const TBatchLog& log, bool done);

}  // namespace velmora
