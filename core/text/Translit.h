// The transliteration table and the text mapping through it.
#pragma once

#include <string>
#include <vector>

#include "core/files/FileSystem.h"

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

    // The table file: Windows-1251, CR LF after every line. Errors throw EStreamError; a file
    // larger than kMaxTableFileBytes, or holding control bytes other than tab, CR and LF, is
    // refused so.
    void LoadFromFile(TFileSystem& fs, const std::string& path);
    void SaveToFile(TFileSystem& fs, const std::string& path) const;
    // The same from and to the file's bytes: lines end at CR, LF or CR LF, a 0x00 byte ends
    // the text; saving writes CR LF after every line.
    void LoadFromBytes(const std::string& bytes);
    std::string SaveToBytes() const;
};

inline constexpr size_t kMaxTableFileBytes = 1 << 20;
inline constexpr const char* kKeyHasEquals = "Key may not contain equals sign (\"=\")";

// The program's own path with its extension replaced by ".trs" (appended when it has none).
std::string TranslitTableFile(const std::string& programPath);

// Where the table file is read and written. Beside the program (TranslitTableFile) when the
// program's folder is writable (a build tree, a portable copy); otherwise an installed program
// uses velmora/velmora.trs in the user's configuration folder: $XDG_CONFIG_HOME, or ~/.config
// when that is unset, empty or not absolute. With no usable home either it stays beside the
// program, where saving then fails with the usual error.
struct TTranslitTablePlace {
    std::string Path;    // the table file
    std::string Folder;  // the folder to make before saving; empty beside the program
};
// The rule alone: xdgConfigHome and home are the variables' values, nullptr when unset.
TTranslitTablePlace ChooseTranslitTablePlace(const std::string& programPath,
                                             bool programFolderWritable, const char* xdgConfigHome,
                                             const char* home);
// True for the folders an installed program lives in (/usr, /opt, /bin, /sbin and below).
bool IsSystemFolder(const std::string& folder);
// The rule for this process: its access to the program's folder (never a system folder) and its
// environment.
TTranslitTablePlace FindTranslitTablePlace(const std::string& programPath);
// Saves the table at the place, first making its folder and any missing folder above it.
void SaveTranslitTable(const TTranslitTable& table, TFileSystem& fs,
                       const TTranslitTablePlace& place);

// Maps a UTF-8 text through the table (matching by Windows-1251 characters).
std::string TransliterateText(const TTranslitTable& table, const std::string& text);

}  // namespace velmora
