// The file list report's lines, and report lines written as a text file.
#pragma once

#include <string>
#include <vector>

#include "core/files/FileSystem.h"
#include "core/reports/ReportOptions.h"

namespace velmora {

// Lines of the file list report.
std::vector<std::string> BuildFileListReport(TFileSystem& fs,
                                             const std::vector<std::string>& trackList,
                                             const std::string& inputFolder,
                                             const std::string& totalTime,
                                             const TFileListReportOptions& options);
// Writes report lines as Windows-1251 with CR LF after every line, no byte-order mark.
void SaveReportLines(TFileSystem& fs, const std::string& fileName,
                     const std::vector<std::string>& lines, bool inPlaceAllowed = false);

}  // namespace velmora
