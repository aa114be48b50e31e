// "Записать на флешку…" as one sequence for the window and the command line: the place on the
// stick asked for, the folder held, the plan shown, a stick that would not do refused, the user
// asked before a file system many radios do not read, the folder written with its progress and
// checked (core/stick/StickWrite.h). What the radio cannot play is converted on the way, as the
// conversion would convert it (core/convert/), into a temporary file outside the folder.
#pragma once

#include <functional>
#include <string>

#include "core/convert/ConvertRules.h"
#include "core/disc/Disc.h"
#include "core/files/FileSystem.h"
#include "core/model/UserPort.h"
#include "core/stick/Stick.h"

namespace velmora {

struct TStickOutcome {
    enum class EKind {
        Done,       // written, and the check found nothing unlike the list
        Stopped,    // the user stopped before anything was written
        Refused,    // nothing was written: the folder or the stick does not do
        Failed,     // the write failed (the new folder removed), or the check found differences
        Cancelled,  // the user cancelled during the work
    };
    EKind Kind = EKind::Stopped;
    std::string Message{};  // what happened, in Russian ("" when Stopped without a word)
    std::string Folder{};   // the new folder on the stick, when it stays there
    bool Ok() const { return Kind == EKind::Done; }
};

class TStickJob {
  public:
    TStickJob(TUserPort& port, TFileSystem& fs, TDiscChoice& choice,
              const TFileIdentity& opened = {})
        : Port(port), Fs(fs), Choice(choice), Opened(opened) {}

    // Writes the folder onto the stick at `target` (a mount point or a folder on the stick; ""
    // asks the port).
    TStickOutcome Write(const std::string& folder, std::string target = "");

    // The stick's file system and room: statfs by default, figures of a test's choosing.
    std::function<TStickVolume(const std::string&)> Probe = ProbeStickVolume;
    // The calls the write goes through.
    TSysCalls* Sys = &RealSysCalls();
    // The bitrate of the files converted on the way.
    int Kbps = kDefaultConvertKbps;

  private:
    TStickPlan Plan(const std::string& folder, const std::string& target,
                    const TDiscProfile& profile);

    TUserPort& Port;
    TFileSystem& Fs;
    TDiscChoice& Choice;
    TFileIdentity Opened;
};

}  // namespace velmora
