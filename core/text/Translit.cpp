#include "core/text/Translit.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// The small letter of a capital, for the letter pairs of Windows-1251: Latin A-Z, Cyrillic
// А-Я, and Ё Ђ Ѓ Є Ѕ І Ї Ј Љ Њ Ћ Ќ Ў Џ Ґ. Every other character stands for itself.
uint32_t Fold(uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z')
        return cp + 0x20;
    if (cp >= 0x0410 && cp <= 0x042F)
        return cp + 0x20;
    if (cp >= 0x0401 && cp <= 0x040F && cp != 0x040D)
        return cp + 0x50;
    if (cp == 0x0490)
        return 0x0491;
    return cp;
}

// А to Я: the input characters whose replacement is written in capitals.
bool IsCyrillicCapital(uint32_t cp) {
    return cp >= 0x0410 && cp <= 0x042F;
}

// Makes a-z capitals in text from `start` on.
void UpperLatin(std::string& text, size_t start) {
    for (size_t k = start; k < text.size(); ++k) {
        if (text[k] >= 'a' && text[k] <= 'z')
            text[k] = static_cast<char>(text[k] - 0x20);
    }
}

}  // namespace

std::vector<std::string> TTranslitTable::DefaultRows() {
    static const char* const kSmall[33][2] = {
        {"а", "a"},  {"б", "b"}, {"в", "v"}, {"г", "g"},   {"д", "d"},  {"е", "e"},   {"ё", "e"},
        {"ж", "zh"}, {"з", "z"}, {"и", "i"}, {"й", "y"},   {"к", "k"},  {"л", "l"},   {"м", "m"},
        {"н", "n"},  {"о", "o"}, {"п", "p"}, {"р", "r"},   {"с", "s"},  {"т", "t"},   {"у", "u"},
        {"ф", "f"},  {"х", "h"}, {"ц", "c"}, {"ч", "tch"}, {"ш", "sh"}, {"щ", "sch"}, {"ъ", "\""},
        {"ы", "y"},  {"ь", "'"}, {"э", "e"}, {"ю", "yu"},  {"я", "ya"}};
    static const char* const kCapital[33][2] = {
        {"А", "A"},  {"Б", "B"}, {"В", "V"}, {"Г", "G"},  {"Д", "D"},  {"Е", "E"},   {"Ё", "E"},
        {"Ж", "Zh"}, {"З", "Z"}, {"И", "I"}, {"Й", "Y"},  {"К", "K"},  {"Л", "L"},   {"М", "M"},
        {"Н", "N"},  {"О", "O"}, {"П", "P"}, {"Р", "R"},  {"С", "S"},  {"Т", "T"},   {"У", "U"},
        {"Ф", "F"},  {"Х", "H"}, {"Ц", "C"}, {"Ч", "Ch"}, {"Ш", "Sh"}, {"Щ", "Sch"}, {"Ъ", "\""},
        {"Ы", "Y"},  {"Ь", "'"}, {"Э", "E"}, {"Ю", "Yu"}, {"Я", "Ya"}};
    std::vector<std::string> rows;
    rows.reserve(66);
    for (const auto& pair : kSmall)
        rows.push_back(std::string(pair[0]) + "=" + pair[1]);
    for (const auto& pair : kCapital)
        rows.push_back(std::string(pair[0]) + "=" + pair[1]);
    return rows;
}

TTranslitTable::TTranslitTable() : Rows(DefaultRows()) {}

std::string TTranslitTable::KeyOf(const std::string& row) {
    const size_t eq = row.find('=');
    return eq == std::string::npos ? std::string() : row.substr(0, eq);
}

std::string TTranslitTable::ValueOf(const std::string& row) {
    const size_t eq = row.find('=');
    return eq == std::string::npos ? std::string() : row.substr(eq + 1);
}

bool TTranslitTable::SetKey(size_t row, const std::string& key) {
    if (row >= Rows.size() || key.find('=') != std::string::npos)
        return false;
    Rows[row] = key + "=" + ValueOf(Rows[row]);
    return true;
}

void TTranslitTable::SetValue(size_t row, const std::string& value) {
    if (row < Rows.size())
        Rows[row] = KeyOf(Rows[row]) + "=" + value;
}

bool TTranslitTable::InsertRow(size_t row) {
    if (row >= Rows.size() || KeyOf(Rows[row]).empty())
        return false;
    Rows.insert(Rows.begin() + static_cast<std::ptrdiff_t>(row), "=");
    return true;
}

bool TTranslitTable::AppendRow(size_t fromRow) {
    // An empty table still shows one row to type into.
    if (!Rows.empty() && (fromRow + 1 != Rows.size() || KeyOf(Rows[fromRow]).empty())) {
        return false;
    }
    Rows.push_back("=");
    return true;
}

void TTranslitTable::RemoveIfEmpty(size_t row) {
    if (row < Rows.size() && KeyOf(Rows[row]).empty() && ValueOf(Rows[row]).empty()) {
        Rows.erase(Rows.begin() + static_cast<std::ptrdiff_t>(row));
    }
}

void TTranslitTable::DeleteRow(size_t row) {
    if (row < Rows.size())
        Rows.erase(Rows.begin() + static_cast<std::ptrdiff_t>(row));
}

void TTranslitTable::LoadFromBytes(const std::string& bytes) {
    const std::string text = bytes.substr(0, bytes.find('\0'));
    Rows.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        Rows.push_back(Cp1251ToUtf8(text.substr(start, i - start)));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        Rows.push_back(Cp1251ToUtf8(text.substr(start)));
}

std::string TTranslitTable::SaveToBytes() const {
    std::string bytes;
    for (const std::string& row : Rows)
        bytes += Utf8ToCp1251(row, false) + "\r\n";  // a table keeps its own letters
    return bytes;
}

std::string TransliterateText(const TTranslitTable& table, const std::string& text) {
    // The first row for each one-character key, found by the key's small letter: a table for
    // Latin and Cyrillic letters, a short list for any other key.
    constexpr uint32_t kDirect = 0x0500;
    std::array<int16_t, kDirect> direct;  // row number + 1, 0 for none
    direct.fill(0);
    std::vector<std::pair<uint32_t, size_t>> others;
    for (size_t r = 0; r < table.Rows.size() && r < 0x7FFF; ++r) {
        const std::string& row = table.Rows[r];
        const size_t eq = row.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        const TUtf8Char key = Utf8CharAt(row, 0);
        if (key.Length != eq)
            continue;  // only a key of exactly one character can match
        const uint32_t folded = Fold(key.Code);
        if (folded < kDirect) {
            if (direct[folded] == 0)
                direct[folded] = static_cast<int16_t>(r + 1);
        } else if (std::none_of(others.begin(), others.end(),
                                [&](const auto& o) { return o.first == folded; })) {
            others.emplace_back(folded, r);
        }
    }
    const auto rowOf = [&](uint32_t folded) -> const std::string* {
        if (folded < kDirect) {
            return direct[folded] == 0 ? nullptr : &table.Rows[direct[folded] - 1];
        }
        for (const auto& [key, row] : others) {
            if (key == folded)
                return &table.Rows[row];
        }
        return nullptr;
    };

    std::string result;
    result.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = Utf8CharAt(text, i);
        const std::string* row = rowOf(Fold(c.Code));
        if (row == nullptr) {
            result.append(text, i, c.Length);
        } else {
            const size_t start = result.size();
            result.append(*row, row->find('=') + 1);
            if (IsCyrillicCapital(c.Code))
                UpperLatin(result, start);
        }
        i += c.Length;
    }
    return result;
}

}  // namespace velmora
