// What a batch does to the disk, as lines: the same lines describe the plan (the batch run over
// a file system that only pretends) and the run (the batch over the disk), so the two can be
// compared line by line. The command line prints them; the window's plan and done dialogs show
// them as a table.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class TID3v1Tag;

struct TBatchEvent {
    // Unconverted: a file the conversion could not convert, or that a cancel left as it was.
    // Slim: an ID3v2 tag rewritten with its texts alone (detail: "old new pictures", in bytes).
    // FromName: the fields a file's name gave (detail: "Название «Звезда», …").
    enum class TKind {
        Save,
        Mkdir,
        Move,
        Fail,
        Skip,
        Warn,
        Strip,
        Convert,
        Unconverted,
        Slim,
        FromName,
        // The batch's first line when the disc's order will not be the list's (detail: the
        // sentence that says so).
        Order
    };
    TKind Kind;
    std::string Path;    // full path
    std::string Target;  // full path of a move's target or of a new MP3, else ""
    // The block in hex, the reason, the warning, what a conversion makes of what.
    std::string Detail;
};
using TBatchLog = std::vector<TBatchEvent>;

// The detail of a tag save: the 128-byte block the tag writes, in hex (BatchEventWhat reads it
// back).
std::string SaveEventDetail(const TID3v1Tag& tag);
// The action word of the tab-separated form: save, mkdir, move, fail, skip, warn, strip, convert,
// slim, name, order (and fail for Unconverted).
const char* BatchActionName(TBatchEvent::TKind kind);
// The action as the user reads it: "Запись тега", "Перемещение", "Ошибка", ...
const char* BatchActionWord(TBatchEvent::TKind kind);
// A step that was not done (a failed move, a file left where it is): what makes a run's exit
// status 1 and what the dialogs mark red.
bool IsFailure(TBatchEvent::TKind kind);
// What a step does, as the user reads it beside the file: the title and artist a tag save
// writes ("«Song» — «Band»", or "пустой тег"), the size an ID3v2 strip removes ("1,9 КБ"), the
// sizes of a slimmed ID3v2 ("613 КБ → 1,2 КБ, обложка удалена; тексты сохранены"), a
// move's target (relative to the folder), the reason or the warning, the new MP3 and what it is
// made of.
std::string BatchEventWhat(const TBatchEvent& event, const std::string& folder);
// One line: with tsv "action<TAB>path<TAB>target<TAB>detail" ("-" for an empty column), else a
// Russian sentence. Paths are relative to folder and written on one line
// (EscapeForLine).
std::string FormatBatchEvent(const TBatchEvent& event, const std::string& folder, bool tsv);
// "Будет записано тегов: 12, переименовано и перемещено в папки D001–D012: 12; не получится: 0;
// предупреждений: 2" (with done = false), or the same in the past tense with done = true. A
// move that renames a file and puts it into a folder counts once, as both. Conversions come
// first ("Будет перекодировано в MP3: 3, записано тегов: …"), alone when nothing else is done
// ("Перекодировано в MP3: 2; не сделано: 1; предупреждений: 0").
std::string BatchSummary(const TBatchLog& log, bool done);

}  // namespace velmora
