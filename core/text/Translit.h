// The transliteration table and the text mapping through it.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Rows are lines key "=" value in UTF-8, in table order; the first matching row wins.
class TTranslitTable {
  public:
    TTranslitTable();  // the 66 default rows
    std::vector<std::string> Rows;

    static std::vector<std::string> DefaultRows();
    static std::string KeyOf(const std::string& row);    // text before the first "=", or ""
    static std::string ValueOf(const std::string& row);  // text after the first "=", or ""

    // Editing as the dialog does it. SetKey refuses a key holding "=" (returns false and leaves
    // the row as it was); the caller shows kKeyHasEquals.
    bool SetKey(size_t row, const std::string& key);
    void SetValue(size_t row, const std::string& value);
    bool InsertRow(size_t row);      // only when the row's key is not empty
    bool AppendRow(size_t fromRow);  // Down on the last row, same condition
    void RemoveIfEmpty(size_t row);  // leaving a row whose key and value are both empty
    void DeleteRow(size_t row);      // Ctrl+Delete

    // The table file's bytes (Windows-1251; files/TranslitFile.h reads and writes the file):
    // lines end at CR, LF or CR LF, a 0x00 byte ends the text; saving writes CR LF after every
    // line.
    void LoadFromBytes(const std::string& bytes);
    std::string SaveToBytes() const;
};

inline constexpr const char* kKeyHasEquals = "Key may not contain equals sign (\"=\")";

// Maps a UTF-8 text through the table (matching by Windows-1251 characters).
std::string TransliterateText(const TTranslitTable& table, const std::string& text);

}  // namespace velmora
