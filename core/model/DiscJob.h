// The disc commands as one sequence each, for the window and the command line alike: the check
// shown (the window's dialog, or the command line's lines), the refusal of a disc that would not
// play, the image written with its progress and track list. What needs a person goes through the
// port, which the command line answers from its options. The burns build on these steps
// (core/model/BurnCommands.h).
#pragma once

#include <string>
#include <vector>

#include "core/disc/Disc.h"
#include "core/disc/DiscImage.h"
#include "core/files/FileSystem.h"
#include "core/model/UserPort.h"

namespace velmora {

// What became of a disc command, for the window's message boxes and the command line's lines and
// exit status.
struct TDiscOutcome {
    enum class EKind {
        Done,       // written (and burnt, and verified when asked)
        Stopped,    // the user stopped at a dialog: nothing to tell
        Refused,    // nothing was written: the folder, the image or the disc does not do
        Failed,     // the write, the burn or the check after it failed
        Cancelled,  // the user cancelled during the work
    };
    EKind Kind = EKind::Stopped;
    std::string Message{};                  // what happened, in Russian ("" when Stopped)
    std::vector<std::string> Images{};      // the images written, one a disc, in play order
    std::vector<std::string> TrackLists{};  // the track lists written beside them
    std::vector<std::string> VolumeIds{};   // the images' volume ids
    std::string TrackListProblem{};         // why the track list was not written
    std::string WriteMode{};                // the burn's "SAO" or "TAO"
    bool Ok() const { return Kind == EKind::Done; }
};

// The progress shown for as long as this lives, or until End.
class TProgressShown {
  public:
    TProgressShown(TUserPort& port, const std::string& caption);
    ~TProgressShown() { End(); }
    TProgressShown(const TProgressShown&) = delete;
    TProgressShown& operator=(const TProgressShown&) = delete;
    void End();

  private:
    TUserPort& Port;
    bool Shown = true;
};

class TDiscJob {
  public:
    // `choice` is the profile, the blank and the track list's box, kept for the rest of the run;
    // `opened` the folder as the window opened it, when known: a folder its path no longer leads
    // to is refused (core/files/FolderLock.h).
    TDiscJob(TUserPort& port, TFileSystem& fs, TDiscChoice& choice,
             const TFileIdentity& opened = {})
        : Port(port), Fs(fs), Choice(choice), Opened(opened) {}

    // The folder checked against the chosen profile and blank and shown for `purpose`; `goOn`
    // tells whether the user went on.
    TDiscCheck ShowCheck(const std::string& folder, EDiscPurpose purpose, bool& goOn);
    // "Создать образ диска…": the folder locked, checked and shown; a disc that would not play
    // refused; the image's file asked for, written with its progress, and the track list beside
    // it when the choice asks for one. A folder too big for one disc, when the choice splits it,
    // goes into one image a disc, named after the file asked for with "-1", "-2"….
    TDiscOutcome WriteImage(const std::string& folder);
    // The discs of a check: the check alone, or with the choice to split, its discs; "" or why
    // it cannot be written (the refusal's reasons after `what`, "Образ диска не записан").
    std::vector<TDiscCheck> DiscsOf(const TDiscCheck& check, const std::string& what,
                                    std::string& refusal) const;

  private:
    TUserPort& Port;
    TFileSystem& Fs;
    TDiscChoice& Choice;
    TFileIdentity Opened;
};

}  // namespace velmora
