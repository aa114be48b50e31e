#include "core/BatchLog.h"

#include <set>

#include "core/Paths.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

struct TAction {
    const char* Name;
    const char* Word;
    bool Failure;
};

const TAction& ActionOf(TBatchEvent::TKind kind) {
    // In the order of TKind.
    static const TAction kActions[] = {
        {"save", "Запись тега", false},      {"mkdir", "Новая папка", false},
        {"move", "Перемещение", false},      {"fail", "Ошибка", true},
        {"skip", "Остаётся на месте", true}, {"warn", "Предупреждение", false},
        {"strip", "Удаление ID3v2", false},
    };
    return kActions[static_cast<size_t>(kind)];
}

// A path relative to the folder, on one line.
std::string Shown(const std::string& path, const std::string& folder) {
    return EscapeForLine(RelativePath(path, folder));
}

}  // namespace

const char* BatchActionName(TBatchEvent::TKind kind) {
    return ActionOf(kind).Name;
}

const char* BatchActionWord(TBatchEvent::TKind kind) {
    return ActionOf(kind).Word;
}

bool IsFailure(TBatchEvent::TKind kind) {
    return ActionOf(kind).Failure;
}

std::string FormatBatchEvent(const TBatchEvent& e, const std::string& folder, bool tsv) {
    const std::string path = e.Path.empty() ? "-" : Shown(e.Path, folder);
    const std::string target = e.Target.empty() ? "-" : Shown(e.Target, folder);
    const std::string detail = EscapeForLine(e.Detail);
    if (tsv) {
        return std::string(BatchActionName(e.Kind)) + "\t" + path + "\t" + target + "\t" +
               (detail.empty() ? "-" : detail);
    }
    const std::string word = std::string(BatchActionWord(e.Kind)) + ": ";
    switch (e.Kind) {
        case TBatchEvent::TKind::Save:
        case TBatchEvent::TKind::Mkdir:
            return word + path;
        case TBatchEvent::TKind::Move:
            return word + path + " → " + target;
        case TBatchEvent::TKind::Fail:
            return word + path + (e.Target.empty() ? "" : " → " + target) + " (" + detail + ")";
        case TBatchEvent::TKind::Skip:
            return word + path + " (" + detail + ")";
        case TBatchEvent::TKind::Warn:
            return word + path + ": " + detail;
        case TBatchEvent::TKind::Strip:
            return word + path + " (" + detail + " байт)";
    }
    return "";
}

std::string BatchSummary(const TBatchLog& log, bool done) {
    size_t saves = 0, strips = 0, renames = 0, intoFolders = 0, warnings = 0, failures = 0;
    std::set<std::string> folders;
    for (const TBatchEvent& e : log) {
        if (IsFailure(e.Kind)) {
            ++failures;
            continue;
        }
        switch (e.Kind) {
            case TBatchEvent::TKind::Save:
                ++saves;
                break;
            case TBatchEvent::TKind::Mkdir:
                folders.insert(NameOf(NormalPath(e.Path)));
                break;
            case TBatchEvent::TKind::Move:
                if (ParentOf(NormalPath(e.Path)) == ParentOf(NormalPath(e.Target)))
                    ++renames;
                else
                    ++intoFolders;
                break;
            case TBatchEvent::TKind::Warn:
                ++warnings;
                break;
            case TBatchEvent::TKind::Strip:
                ++strips;
                break;
            case TBatchEvent::TKind::Fail:
            case TBatchEvent::TKind::Skip:
                break;
        }
    }
    std::string text = done ? "Записано тегов: " : "Будет записано тегов: ";
    text += std::to_string(saves);
    if (strips > 0)
        text += ", удалено ID3v2: " + std::to_string(strips);
    text += ", переименовано: " + std::to_string(renames);
    text += ", перемещено в папки";
    if (!folders.empty())
        text += " " + *folders.begin() + (folders.size() > 1 ? "–" + *folders.rbegin() : "");
    text += ": " + std::to_string(intoFolders);
    text += done ? "; не сделано: " : "; не получится: ";
    text += std::to_string(failures) + "; предупреждений: " + std::to_string(warnings);
    return text;
}

}  // namespace velmora
