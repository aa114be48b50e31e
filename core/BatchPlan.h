// What a batch does to the disk, as lines: the same lines describe the plan (the batch run over
// a file system that only pretends) and the run (the batch over the disk), so the two can be
// compared line by line.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class TMainModel;

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
// One line: with tsv "action<TAB>path<TAB>target<TAB>detail" ("-" for an empty column), else a
// Russian sentence. Paths are relative to folder, bytes that are not UTF-8 (and control
// characters) written as \xNN.
std::string FormatBatchEvent(const TBatchEvent& event, const std::string& folder, bool tsv);
// "Будет записано тегов: 12, переименовано: 12, перемещено в папки D001–D012: 12;
// предупреждений: 2" (with done = false), or the same in the past tense with done = true.
std::string BatchSummary(const TBatchLog& log, bool done);
// The batch of the model's current options over the pretending file system, on a copy of the
// model: the model and the disk stay as they are.
TBatchLog PlanBatch(const TMainModel& model);
// The batch itself on the model, recorded. Inside a running command an error that stops the
// batch goes on to that command; otherwise the model's Run reports it.
TBatchLog RunBatch(TMainModel& model);

}  // namespace velmora
