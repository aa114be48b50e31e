// What the disc commands of the command line share (check, image, burn): their options, the port
// that answers the disc sequences (core/model/DiscJob.h) from those options and prints the check,
// the progress and the failures as lines, and the signals that cancel.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "core/disc/Disc.h"
#include "core/model/DiscJob.h"
#include "core/model/QuietPort.h"

namespace velmora {

// A whole decimal number, nothing else: "192".
bool ParseNumber(const std::string& text, int& n);

struct TDiscArgs {
    std::vector<std::string> Positional;
    TDiscChoice Choice;  // the profile and the blank: --profile, --650
    bool ChoiceGiven = false;
    std::string VolumeId;                              // image: --volume-id
    std::string TrackList;                             // image: --list
    bool Replace = false;                              // image: --replace
    std::string Drive;                                 // burn: --drive
    int SpeedX = 0;                                    // burn: --speed
    bool Dummy = false, Eject = false, Blank = false;  // burn
};

// Reads the options the command takes (those of check, and image's or burn's own); false after
// a usage error on err.
bool ParseDiscArgs(const std::vector<std::string>& args, const TCliCommand& command,
                   TDiscArgs& parsed, std::ostream& err);

// Each line of a message (lines end at "\n" or "\r") as "velmora-cli: LINE" on err; returns 1.
int PrintFailure(const std::string& text, std::ostream& err);

// The disc sequences' person on the command line: the check printed as lines (problems and notes,
// the names made for the disc before an image, the summary) and gone on with unless the disc
// would not play; the image's file and track list from the options; progress lines on err, and a
// cancel once a signal came (a cancel's question answered Yes, every other No).
class TCliDiscPort : public TQuietPort {
  public:
    TCliDiscPort(const TDiscArgs& args, std::ostream& out, std::ostream& err)
        : TQuietPort(err), Args(args), Out(out), Err(err) {}

    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text) override { PrintFailure(text, Err); }
    void ShowError(const std::string& text) override {
        ++ErrorCount;
        PrintFailure(text, Err);
    }
    bool ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice& choice,
                       const TDiscRecheck& recheck) override;
    std::optional<TImageTarget> AskImageFile(const std::string& suggested) override;
    bool StepProgress(const TProgress& progress) override;

  protected:
    const TDiscArgs& Args;
    std::ostream& Out;
    std::ostream& Err;

  private:
    std::string Key;
    int Shown = -1;
};

// For as long as this lives, SIGINT, SIGTERM and SIGHUP (a closed terminal) ask the running
// command to stop instead of ending the program, and a closed output pipe (SIGPIPE) no longer
// ends it; with `raiseAtEnd`, the signal that came is raised again when this goes, once nothing
// is left behind.
class TSignalsCancel {
  public:
    explicit TSignalsCancel(bool raiseAtEnd);
    ~TSignalsCancel();
    TSignalsCancel(const TSignalsCancel&) = delete;
    TSignalsCancel& operator=(const TSignalsCancel&) = delete;
    // True once one of the signals came.
    static bool Asked();

  private:
    bool RaiseAtEnd;
    struct TSaved;
    TSaved* Saved;
};

}  // namespace velmora
