// A user port for programs without a window, and for the batch plan: every question is answered
// No, every dialog is cancelled, and messages and errors go to
// the error stream (nowhere for a stream without a buffer).
#pragma once

#include <ostream>
#include <string>

#include "core/model/UserPort.h"
#include "core/text/TextCodec.h"

namespace velmora {

class TQuietPort : public TUserPort {
  public:
    explicit TQuietPort(std::ostream& err) : Err(err) {}
    int ErrorCount = 0;

    bool AskYesNo(const std::string&) override { return false; }
    // A message built for a window's box prints as lines: no raw "\r" on a terminal.
    void ShowMessage(const std::string& text) override {
        for (const std::string& line : MessageLines(text))
            Err << line << "\n";
    }
    void ShowError(const std::string& text) override {
        ++ErrorCount;
        ShowMessage(text);
    }
    std::string BrowseForInputFolder() override { return ""; }
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

}  // namespace velmora
