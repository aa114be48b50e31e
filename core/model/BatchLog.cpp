#include "core/model/BatchLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "audio/ID3Tags.h"

#include "core/files/Paths.h"
#include "core/text/TextCodec.h"
#include "core/text/TrackRules.h"

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
        {"save", "Запись тега", false},
        {"mkdir", "Новая папка", false},
        {"move", "Перемещение", false},
        {"fail", "Ошибка", true},
        {"skip", "Остаётся на месте", true},
        {"warn", "Предупреждение", false},
        {"strip", "Удаление ID3v2", false},
        {"convert", "Перекодирование", false},
        {"fail", "Ошибка", true},
        {"slim", "Уменьшение ID3v2", false},
        {"name", "Теги из имени", false},
        {"order", "Порядок", false},
    };
    return kActions[static_cast<size_t>(kind)];
}

// A size as the plan shows it: bytes, kilobytes with a tenth below 10 KB, whole ones above.
std::string SizeText(int64_t bytes) {
    if (bytes < 1024)
        return CountOf(bytes, "байт", "байта", "байт");
    if (bytes >= 10 * 1024)
        return std::to_string(RoundKilobytes(bytes)) + " КБ";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f КБ", static_cast<double>(bytes) / 1024);
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '.', ',');
    return shown;
}

// A path relative to the folder, on one line.
std::string Shown(const std::string& path, const std::string& folder) {
    return EscapeForLine(RelativePath(path, folder));
}

}  // namespace

std::string SaveEventDetail(const TID3v1Tag& tag) {
    uint8_t block[kID3v1Size];
    TID3v1Tag(tag).SaveToBuffer(block, sizeof block);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sizeof block);
    for (uint8_t b : block) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string BatchEventWhat(const TBatchEvent& e, const std::string& folder) {
    switch (e.Kind) {
        case TBatchEvent::TKind::Save: {
            // The block in hex, as the tab-separated form has it.
            std::vector<uint8_t> block;
            for (size_t i = 0; i + 1 < e.Detail.size(); i += 2)
                block.push_back(
                    static_cast<uint8_t>(std::stoi(e.Detail.substr(i, 2), nullptr, 16)));
            TID3v1Tag tag;
            tag.LoadFromBuffer(block.data(), block.size());
            const std::string title = EscapeForLine(Cp1251ToUtf8(tag.Title));
            const std::string artist = EscapeForLine(Cp1251ToUtf8(tag.Artist));
            if (title.empty() && artist.empty())
                return "пустой тег";
            return "«" + title + "» — «" + artist + "»";
        }
        case TBatchEvent::TKind::Strip: {
            const int64_t bytes = std::atoll(e.Detail.c_str());
            if (bytes < 1024)
                return CountOf(bytes, "байт", "байта", "байт");
            char text[32];
            std::snprintf(text, sizeof text, "%.1f КБ", static_cast<double>(bytes) / 1024);
            std::string shown = text;
            std::replace(shown.begin(), shown.end(), '.', ',');
            return shown;
        }
        case TBatchEvent::TKind::Slim: {
            long long before = 0, after = 0, pictures = 0;
            std::sscanf(e.Detail.c_str(), "%lld %lld %lld", &before, &after, &pictures);
            const std::string gone = pictures == 1  ? ", обложка удалена"
                                     : pictures > 1 ? ", картинки удалены"
                                                    : "";
            return SizeText(before) + " → " + SizeText(after) + gone + "; тексты сохранены";
        }
        case TBatchEvent::TKind::Move:
            return Shown(e.Target, folder);
        case TBatchEvent::TKind::Convert:
            return Shown(e.Target, folder) + ": " + EscapeForLine(e.Detail);
        case TBatchEvent::TKind::Mkdir:
            return "";
        case TBatchEvent::TKind::Fail:
        case TBatchEvent::TKind::Unconverted:
            return (e.Target.empty() ? "" : Shown(e.Target, folder) + ": ") +
                   EscapeForLine(e.Detail);
        case TBatchEvent::TKind::Skip:
        case TBatchEvent::TKind::Warn:
        case TBatchEvent::TKind::FromName:
        case TBatchEvent::TKind::Order:
            return EscapeForLine(e.Detail);
    }
    return "";
}

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
    const std::string what = BatchEventWhat(e, folder);
    switch (e.Kind) {
        case TBatchEvent::TKind::Mkdir:
            return word + path;
        case TBatchEvent::TKind::Move:
        case TBatchEvent::TKind::Convert:
            return word + path + " → " + what;
        case TBatchEvent::TKind::Warn:
            return word + path + ": " + what;
        case TBatchEvent::TKind::Slim:
        case TBatchEvent::TKind::FromName:
            return word + path + ": " + what;
        case TBatchEvent::TKind::Order:
            return what;
        case TBatchEvent::TKind::Save:
        case TBatchEvent::TKind::Strip:
        case TBatchEvent::TKind::Fail:
        case TBatchEvent::TKind::Unconverted:
        case TBatchEvent::TKind::Skip:
            return word + path + " (" + what + ")";
    }
    return "";
}

std::string BatchSummary(const TBatchLog& log, bool done) {
    size_t saves = 0, strips = 0, slims = 0, renames = 0, moves = 0, both = 0, warnings = 0,
           failures = 0, converts = 0, others = 0;
    bool conversion = false;
    std::set<std::string> folders;
    for (const TBatchEvent& e : log) {
        conversion = conversion || e.Kind == TBatchEvent::TKind::Convert ||
                     e.Kind == TBatchEvent::TKind::Unconverted;
        if (IsFailure(e.Kind)) {
            ++failures;
            continue;
        }
        others += e.Kind != TBatchEvent::TKind::Convert && e.Kind != TBatchEvent::TKind::Warn;
        switch (e.Kind) {
            case TBatchEvent::TKind::Convert:
                ++converts;
                break;
            case TBatchEvent::TKind::Save:
                ++saves;
                break;
            case TBatchEvent::TKind::Mkdir:
                folders.insert(NameOf(NormalPath(e.Path)));
                break;
            case TBatchEvent::TKind::Move: {
                const std::string from = NormalPath(e.Path), to = NormalPath(e.Target);
                const bool renamed = NameOf(from) != NameOf(to);
                const bool moved = ParentOf(from) != ParentOf(to);
                (renamed && moved ? both : moved ? moves : renames)++;
                break;
            }
            case TBatchEvent::TKind::Warn:
                ++warnings;
                break;
            case TBatchEvent::TKind::Strip:
                ++strips;
                break;
            case TBatchEvent::TKind::Slim:
                ++slims;
                break;
            case TBatchEvent::TKind::FromName:
            case TBatchEvent::TKind::Order:
                break;
            case TBatchEvent::TKind::Fail:
            case TBatchEvent::TKind::Unconverted:
            case TBatchEvent::TKind::Skip:
                break;
        }
    }
    std::string range;
    if (!folders.empty())
        range = " " + *folders.begin() + (folders.size() > 1 ? "–" + *folders.rbegin() : "");
    std::string text;
    if (conversion) {
        text = (done ? "Перекодировано в MP3: " : "Будет перекодировано в MP3: ") +
               std::to_string(converts);
        if (others == 0) {
            return text + (done ? "; не сделано: " : "; не получится: ") +
                   std::to_string(failures) + "; предупреждений: " + std::to_string(warnings);
        }
        text += ", ";
    }
    text += conversion ? "записано тегов: " : done ? "Записано тегов: " : "Будет записано тегов: ";
    text += std::to_string(saves);
    if (strips > 0)
        text += ", удалено ID3v2: " + std::to_string(strips);
    if (slims > 0)
        text += ", уменьшено ID3v2: " + std::to_string(slims);
    // The moves by what they do, each counted once; none at all still says so.
    if (renames > 0 || (moves == 0 && both == 0))
        text += ", переименовано: " + std::to_string(renames);
    if (moves > 0 || (renames == 0 && both == 0))
        text += ", перемещено в папки" + range + ": " + std::to_string(moves);
    if (both > 0)
        text += ", переименовано и перемещено в папки" + range + ": " + std::to_string(both);
    text += done ? "; не сделано: " : "; не получится: ";
    text += std::to_string(failures) + "; предупреждений: " + std::to_string(warnings);
    return text;
}

}  // namespace velmora
