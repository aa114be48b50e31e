#include "core/tags/ID3v2Text.h"

#include <cctype>
#include <map>
#include <vector>

#include "audio/ID3Tags.h"
#include "core/tags/TagFields.h"
#include "core/text/Collation.h"
#include "core/text/TextCodec.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

bool IsCyrillicByte(uint8_t b) {
    return b >= 0xC0 || b == 0xA8 || b == 0xB8;
}

std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (char c : bytes)
        AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

// "поле", "поля" or "полей" after a number.
const char* FieldsWord(int n) {
    if (n % 10 == 1 && n % 100 != 11)
        return "поле";
    if (n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14))
        return "поля";
    return "полей";
}

}  // namespace

bool LooksLikeCp1251(const std::string& latin1) {
    int letters = 0, cyrillic = 0, run = 0, longestRun = 0;
    for (char c : latin1) {
        const auto b = static_cast<uint8_t>(c);
        if (IsCyrillicByte(b)) {
            ++letters;
            ++cyrillic;
            longestRun = std::max(longestRun, ++run);
        } else {
            run = 0;
            if (std::isalpha(b))
                ++letters;
        }
    }
    return cyrillic > 0 && (2 * cyrillic >= letters || longestRun >= 3);
}

bool IsDamagedCopy(const std::string& id3v1Bytes, const std::string& id3v2Text) {
    std::vector<uint32_t> chars;
    ForEachUtf8Char(id3v2Text, [&chars](uint32_t c) { chars.push_back(c); });
    // The whole text, or as much of it as an ID3v1 field holds (28 to 30 bytes).
    if (id3v1Bytes.empty() || !(id3v1Bytes.size() == chars.size() ||
                                (id3v1Bytes.size() >= 28 && id3v1Bytes.size() < chars.size())))
        return false;
    bool damaged = false;
    for (size_t i = 0; i < id3v1Bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(id3v1Bytes[i]);
        const uint32_t c = chars[i];
        std::string one;
        AppendUtf8(one, c);
        const std::string faithful = Utf8ToCp1251(one, false);
        if (faithful.size() == 1 && static_cast<uint8_t>(faithful[0]) == b &&
            (b != '?' || c == '?'))
            continue;
        if (c < 0x80 || !(b == '?' || b == (c & 0xFF)))
            return false;
        damaged = true;
    }
    return damaged;
}

bool IsDamagedField(const std::string& id3v1Bytes, const std::string& id3v2Text) {
    const auto letter = [](uint8_t b) { return std::isalpha(b) || IsCyrillicByte(b); };
    bool high = false;
    for (size_t i = 0; i < id3v1Bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(id3v1Bytes[i]);
        if (b < 0x20)
            return true;
        high = high || IsCyrillicByte(b);
        if (b == '?' && i + 1 < id3v1Bytes.size()) {
            const auto next = static_cast<uint8_t>(id3v1Bytes[i + 1]);
            if (next == '?' || letter(next))
                return true;
        }
    }
    // Letters above 0x7F here and there between Latin ones are Latin-1 read as Windows-1251.
    if (high && !LooksLikeCp1251(id3v1Bytes))
        return true;
    return IsDamagedCopy(id3v1Bytes, id3v2Text);
}

std::string DecodeID3v2Text(const TID3v2Text& text) {
    if (!text.Latin1)
        return text.Text;
    return LooksLikeCp1251(text.Text) ? Cp1251ToUtf8(text.Text) : Latin1ToUtf8(text.Text);
}

int32_t GenreCodeByName(const std::string& name) {
    // The names' keys are made once.
    static const std::map<std::string, int32_t> codes = [] {
        BuildID3Genres();
        std::map<std::string, int32_t> byKey;
        for (const auto& item : ID3Genres().Items)
            byKey.emplace(UserCollator().EquivalenceKey(item.Name), item.Code);
        return byKey;
    }();
    const auto it = codes.find(UserCollator().EquivalenceKey(name));
    return it == codes.end() ? -1 : it->second;
}

int32_t TrackNumberOf(const std::string& text) {
    int64_t n = 0;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > INT32_MAX)
            return 0;
    }
    return static_cast<int32_t>(n);
}

std::string ID3v2Fields(const TID3v2Info& info) {
    if (!info.Present)
        return "";
    if (info.Damaged)
        return "Поля тега не прочитаны: он повреждён";
    // The fields as the editor's rows, named by their captions.
    std::string text;
    for (TTagField field : kEditorRowOrder) {
        const TTagFieldInfo& f = TagFieldInfo(field);
        const TID3v2Text& value = info.*f.ID3v2Text;
        if (!value.Empty())
            text +=
                std::string(text.empty() ? "" : "\n") + f.Caption + " " + DecodeID3v2Text(value);
    }
    if (info.Pictures > 0)
        text += std::string(text.empty() ? "" : "\n") +
                (info.Pictures == 1 ? "Обложка: "
                                    : "Картинок " + std::to_string(info.Pictures) + ": ") +
                std::to_string(RoundKilobytes(info.PictureBytes)) + " КБ";
    return text;
}

std::string ID3v2Status(const TID3v2Info& info) {
    if (!info.Present)
        return "ID3v2 нет";
    const std::string name = info.Major != 0 ? "ID3v2." + std::to_string(info.Major) : "ID3v2";
    // Short enough for its place in the window; ID3v2Fields gives the rest.
    if (info.Damaged)
        return name + " повреждён";
    const int fields = info.FieldCount();
    std::string text = name + ": " + std::to_string(fields) + " " + FieldsWord(fields);
    if (info.Pictures == 1)
        text += ", обложка";
    else if (info.Pictures > 1)
        text += ", картинок " + std::to_string(info.Pictures);
    return text;
}

}  // namespace velmora
