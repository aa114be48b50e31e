// velmora-cli info: the analysis of each named file as "key: value" lines.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"

namespace velmora {

// The lines of one analysed file, each ending in "\n", beginning with "file: <path>". Tag texts
// are converted from Windows-1251 and every value is written on one line (EscapeForLine);
// booleans read true/false.
std::string FileInfoBlock(const std::string& path, const TAudioInfo& info);

// Analyses each file and writes its block to out, a blank line between blocks. A file that cannot
// be analysed gets its error on err. Returns 0 when every file was analysed, else 1.
int PrintFileInfo(const std::vector<std::string>& paths, std::ostream& out, std::ostream& err);

}  // namespace velmora
