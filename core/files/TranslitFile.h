// The transliteration table's file: reading and writing it, and where it lives.
#pragma once

#include <string>

#include "core/files/FileSystem.h"
#include "core/text/Translit.h"

namespace velmora {

// The table file: Windows-1251, CR LF after every line. Errors throw EStreamError; a file larger
// than kMaxTableFileBytes, or holding control bytes other than tab, CR and LF, is refused so and
// leaves the table as it was.
void LoadTranslitTableFile(TTranslitTable& table, TFileSystem& fs, const std::string& path);
void SaveTranslitTableFile(const TTranslitTable& table, TFileSystem& fs, const std::string& path);

inline constexpr size_t kMaxTableFileBytes = 1 << 20;

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

}  // namespace velmora
