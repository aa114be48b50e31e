#include "core/BatchPlan.h"

#include <cstdio>
#include <ostream>
#include <set>

#include "core/MainModel.h"
#include "core/PretendFileSystem.h"
#include "core/QuietPort.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

// A path relative to the folder, with every byte that is not UTF-8, and every control
// character, as \xNN.
std::string Shown(const std::string& path, const std::string& folder) {
    const std::string normal = TPretendFileSystem::Normal(path);
    const std::string base = TPretendFileSystem::Normal(folder);
    std::string relative = normal;
    if (normal == base)
        relative = ".";
    else if (normal.compare(0, base.size() + 1, base + "/") == 0)
        relative = normal.substr(base.size() + 1);
    else if (base == "/" && !normal.empty() && normal[0] == '/')
        relative = normal.substr(1);
    std::string out;
    for (size_t i = 0; i < relative.size();) {
        const TUtf8Char c = Utf8CharAt(relative, i);
        if (c.Code >= kStrayByte || c.Code < 0x20 || c.Code == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(relative[i]));
            out += hex;
        } else {
            out.append(relative, i, c.Length);
        }
        i += c.Length;
    }
    return out;
}

}  // namespace

const char* BatchActionName(TBatchEvent::TKind kind) {
    switch (kind) {
        case TBatchEvent::TKind::Save:
            return "save";
        case TBatchEvent::TKind::Mkdir:
            return "mkdir";
        case TBatchEvent::TKind::Move:
            return "move";
        case TBatchEvent::TKind::Fail:
            return "fail";
        case TBatchEvent::TKind::Skip:
            return "skip";
        case TBatchEvent::TKind::Warn:
            return "warn";
        case TBatchEvent::TKind::Strip:
            return "strip";
    }
    return "?";
}

std::string FormatBatchEvent(const TBatchEvent& e, const std::string& folder, bool tsv) {
    const std::string path = e.Path.empty() ? "-" : Shown(e.Path, folder);
    const std::string target = e.Target.empty() ? "-" : Shown(e.Target, folder);
    if (tsv) {
        return std::string(BatchActionName(e.Kind)) + "\t" + path + "\t" + target + "\t" +
               (e.Detail.empty() ? "-" : e.Detail);
    }
    switch (e.Kind) {
        case TBatchEvent::TKind::Save:
            return "Запись тега: " + path;
        case TBatchEvent::TKind::Mkdir:
            return "Новая папка: " + path;
        case TBatchEvent::TKind::Move:
            return "Перемещение: " + path + " → " + target;
        case TBatchEvent::TKind::Fail:
            return "Ошибка: " + path + (e.Target.empty() ? "" : " → " + target) + " (" + e.Detail +
                   ")";
        case TBatchEvent::TKind::Skip:
            return "Остаётся на месте: " + path + " (" + e.Detail + ")";
        case TBatchEvent::TKind::Warn:
            return "Предупреждение: " + path + ": " + e.Detail;
        case TBatchEvent::TKind::Strip:
            return "Удаление ID3v2: " + path + " (" + e.Detail + " байт)";
    }
    return "";
}

std::string BatchSummary(const TBatchLog& log, bool done) {
    size_t saves = 0, strips = 0, renames = 0, intoFolders = 0, warnings = 0, failures = 0;
    std::set<std::string> folders;
    for (const TBatchEvent& e : log) {
        switch (e.Kind) {
            case TBatchEvent::TKind::Save:
                ++saves;
                break;
            case TBatchEvent::TKind::Mkdir:
                folders.insert(e.Path.substr(e.Path.find_last_of('/') + 1));
                break;
            case TBatchEvent::TKind::Move: {
                const std::string from = TPretendFileSystem::Normal(e.Path);
                const std::string to = TPretendFileSystem::Normal(e.Target);
                const auto parent = [](const std::string& p) { return p.substr(0, p.rfind('/')); };
                if (parent(from) == parent(to))
                    ++renames;
                else
                    ++intoFolders;
                break;
            }
            case TBatchEvent::TKind::Fail:
            case TBatchEvent::TKind::Skip:
                ++failures;
                break;
            case TBatchEvent::TKind::Warn:
                ++warnings;
                break;
            case TBatchEvent::TKind::Strip:
                ++strips;
                break;
        }
    }
    std::string text = done ? "Записано тегов: " : "Будет записано тегов: ";
    text += std::to_string(saves);
    if (strips > 0)
        text += ", удалено ID3v2: " + std::to_string(strips);
    text += ", переименовано: " + std::to_string(renames);
    text += done ? ", перемещено в папки" : ", перемещено в папки";
    if (!folders.empty())
        text += " " + *folders.begin() + (folders.size() > 1 ? "–" + *folders.rbegin() : "");
    text += ": " + std::to_string(intoFolders);
    text += done ? "; не сделано: " : "; не получится: ";
    text += std::to_string(failures) + "; предупреждений: " + std::to_string(warnings);
    return text;
}

TBatchLog PlanBatch(const TMainModel& model) {
    // Nobody is asked and nothing is shown: a failed move is a "fail" line.
    std::ostream nowhere(nullptr);
    TQuietPort port(nowhere);
    TPretendFileSystem pretend;
    TMainModel copy(model, port, pretend);
    return RunBatch(copy);
}

TBatchLog RunBatch(TMainModel& model) {
    TBatchLog log;
    const auto batch = [&] {
        model.BatchLog = &log;
        try {
            model.btnProcessAllClick();
        } catch (const std::exception& e) {
            // An error that stops the batch is its last line.
            log.push_back({TBatchEvent::TKind::Fail, "", "", e.what()});
            model.BatchLog = nullptr;
            throw;
        }
        model.BatchLog = nullptr;
    };
    if (model.Running())
        batch();
    else
        model.Run(batch);
    return log;
}

}  // namespace velmora
