// velmora-cli list and report: a folder opened through the window's model, with a port that asks
// nobody, and the two reports of its list.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/reports/ReportOptions.h"

namespace velmora {

// Opens the folder and writes NumFilesLabel, SizeFilesLabel and lblTotalTime as "key: value"
// lines, then the listed names, one a line, in list order. Returns 0, or 1 after an error.
int ListFolder(const std::string& folder, std::ostream& out, std::ostream& err);

// Opens the folder and writes the lines of the file list report, or of the tag list report: to
// out in UTF-8 (each line on one line, EscapeForLine), or with an outFile into that file as the
// window saves it.
int PrintFileListReport(const std::string& folder, const TFileListReportOptions& options,
                        const std::string& outFile, std::ostream& out, std::ostream& err);
int PrintTagListReport(const std::string& folder, const TTagListReportOptions& options,
                       const std::string& outFile, std::ostream& out, std::ostream& err);

// Reads the report flags of the command line into the options; false with a message on err for
// a flag it does not know.
bool ParseFileListFlags(const std::vector<std::string>& flags, TFileListReportOptions& options,
                        std::ostream& err);
bool ParseTagListFlags(const std::vector<std::string>& flags, TTagListReportOptions& options,
                       std::ostream& err);

}  // namespace velmora
