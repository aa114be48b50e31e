// The command line's folder commands: a folder opened through the window's model, with a port
// that asks nobody, and the two reports of its list.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/ReportOptions.h"
#include "core/UserPort.h"

namespace velmora {

// A user port for programs without a window: every question is answered No, every dialog is
// cancelled (the folder dialog returns Folder), and errors go to the error stream.
class TQuietPort : public TUserPort {
  public:
    explicit TQuietPort(std::ostream& err) : Err(err) {}
    std::string Folder;
    int ErrorCount = 0;

    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string& text) override { Err << text << "\n"; }
    void ShowError(const std::string& text) override {
        ++ErrorCount;
        Err << text << "\n";
    }
    std::string BrowseForInputFolder() override { return Folder; }
    std::optional<std::string> ExecuteSaveDialog() override { return std::nullopt; }
    bool ShowFileListOptions(TFileListReportOptions&) override { return false; }
    bool ShowTagListOptions(TTagListReportOptions&) override { return false; }
    void ShowTranslitSetup() override {}
    void ShowAbout() override {}
    void ProcessEvents() override {}
    void Refresh() override {}

  private:
    std::ostream& Err;
};

// Opens the folder and writes NumFilesLabel, SizeFilesLabel and lblTotalTime as "key: value"
// lines, then the listed names, one a line, in list order. Returns 0, or 1 after an error.
int ProbeFolder(const std::string& folder, std::ostream& out, std::ostream& err);

// Opens the folder and writes the lines of the file list report, or of the tag list report: to
// out in UTF-8, or with an outFile into that file as the window saves it.
int ProbeFileListReport(const std::string& folder, const TFileListReportOptions& options,
                        const std::string& outFile, std::ostream& out, std::ostream& err);
int ProbeTagListReport(const std::string& folder, const TTagListReportOptions& options,
                       const std::string& outFile, std::ostream& out, std::ostream& err);

// Reads the report flags of the command line into the options; false with a message on err for
// a flag it does not know.
bool ParseFileListFlags(const std::vector<std::string>& flags, TFileListReportOptions& options,
                        std::ostream& err);
bool ParseTagListFlags(const std::vector<std::string>& flags, TTagListReportOptions& options,
                       std::ostream& err);

}  // namespace velmora
