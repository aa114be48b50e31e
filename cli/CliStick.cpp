// velmora-cli usb: the folder copied onto a mounted USB stick in the list's order and checked
// (core/model/StickJob.h).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/CliDisc.h"
#include "core/model/StickJob.h"
#include "core/stick/StickWrite.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

constexpr char kUsbHelp[] =
    "Copies DIR onto the USB stick mounted at MOUNTPOINT (or into a folder on it) so that a car\n"
    "radio plays it in the order of the list: a new folder named after DIR as on the disc\n"
    "(\" (2)\", \" (3)\" … when that name is taken; nothing on the stick is written into or "
    "removed),\n"
    "then each folder and file in play order under its final name, each written whole before the\n"
    "next. The names and the files are the disc's (check): only what the radio plays,\n"
    "transliterated, numbered where they would sort otherwise; a stick's limits are 1000 files a\n"
    "folder and 8 levels of folders. An audio file the radio cannot play (FLAC, M4A, Opus, Ogg,\n"
    "WAV…, an MP3 outside the profile) is written converted, as convert would make it (MPEG-1\n"
    "Layer III, 44100 Hz, constant bitrate, its tags carried), in the place its MP3 would take in\n"
    "the list; \"note PATH convert перекодируется: SOURCE → NAME\" says which. It is converted "
    "into\n"
    "a temporary file of no name in $TMPDIR (nothing is written into DIR), and the stick's copy\n"
    "is compared with it. A file whose MP3 stands beside it stays off and its MP3 is copied.\n"
    "Without the conversion's module such files stay off, with a line saying so. A file that\n"
    "fails to convert (a damaged stream) is named on an \"unconverted TEXT\" line: an MP3 that\n"
    "plays as it is goes on as it is, anything else stays off; the copy goes on. The problem\n"
    "lines come first, then \"summary\"; progress lines go to standard error (\"progress write\n"
    "PERCENT\", \"progress verify PERCENT\"; the write's percentage covers the conversions). A "
    "stick\n"
    "without room (a converted file counts at its bitrate over its playing time) is refused\n"
    "before anything is written, naming how much is missing. On exFAT, NTFS or a disk's own file\n"
    "system many radios will not read the stick: the copy goes on only with --yes or when the\n"
    "question on the terminal is answered \"д\". After the copy the new folder is read back: the\n"
    "order of its entries against the list (where the driver shows the order on the stick: FAT\n"
    "and exFAT by the kernel; not through FUSE) and every file's bytes against its source;\n"
    "\"folder PATH\" and \"checked TEXT\" on standard output. A failure or a cancel (Ctrl-C, "
    "SIGTERM,\n"
    "a closed terminal; during a conversion too) removes the new folder; a kill (SIGKILL, a power\n"
    "cut) leaves it partly written, to be removed by hand, and the next copy goes beside it. DIR\n"
    "is only read. Exit status 0 when the folder was written and checked, 1 otherwise.\n"
    "  --profile NAME   the radio profile, as for check\n"
    "  --bitrate=KBPS   of the converted files: 128, 160, 192 (the default), 224, 256 or 320\n"
    "  --yes            write onto a stick many radios do not read without asking\n";

struct TUsbArgs {
    TDiscArgs Disc;
    bool Yes = false;
    int Kbps = kDefaultConvertKbps;
};

class TCliStickPort : public TCliDiscPort {
  public:
    TCliStickPort(const TUsbArgs& args, std::ostream& out, std::ostream& err)
        : TCliDiscPort(args.Disc, out, err), Yes(args.Yes) {}

    // The only question is the file system's: --yes answers it, else the terminal; without
    // either the copy stops and the command says why.
    bool AskYesNo(const std::string& text) override {
        if (!Yes && !::isatty(STDIN_FILENO))
            return false;
        for (const std::string& line : MessageLines(text))
            if (!line.empty())
                Err << "velmora-cli: " << EscapeForLine(line) << "\n";
        if (Yes)
            return true;
        Err << "Записать? [д/Н] " << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        return answer == "д" || answer == "Д" || answer == "да" || answer == "y" || answer == "yes";
    }
    bool ShowStickPlan(const TStickPlan& plan) override {
        for (const TDiscProblem& p : plan.Problems)
            Out << FormatDiscProblem(p) << "\n";
        Out << "summary\t" << StickSummary(plan) << "\n";
        return true;
    }

  private:
    bool Yes;
};

int RunUsb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TUsbArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string profile;
        if (a == "--profile" && i + 1 < args.size())
            profile = args[++i];
        else if (a.rfind("--profile=", 0) == 0)
            profile = a.substr(10);
        else if (a == "--yes")
            parsed.Yes = true;
        else if (a.rfind("--bitrate=", 0) == 0 || (a == "--bitrate" && i + 1 < args.size())) {
            const std::string value = a == "--bitrate" ? args[++i] : a.substr(10);
            if (!ParseNumber(value, parsed.Kbps) || !IsConvertBitrate(parsed.Kbps))
                return UsageError(err, kUsbCommand, "--bitrate: 128, 160, 192, 224, 256 или 320");
        } else if (a.size() > 1 && a[0] == '-')
            return UsageError(err, kUsbCommand, "неизвестный или неполный ключ " + a);
        else
            parsed.Disc.Positional.push_back(a);
        if (profile.empty())
            continue;
        const auto& profiles = DiscProfiles();
        size_t index = 0;
        while (index < profiles.size() && profiles[index].Name != profile)
            ++index;
        if (index == profiles.size())
            return UsageError(err, kUsbCommand, "нет профиля «" + profile + "»");
        parsed.Disc.Choice.Profile = index;
    }
    if (parsed.Disc.Positional.size() != 2)
        return UsageError(err, kUsbCommand, "нужны папка и точка монтирования флешки");
    for (const std::string& folder : parsed.Disc.Positional)
        if (!CheckFolderArgument(folder, err))
            return 2;
    TCliStickPort port(parsed, out, err);
    TStickOutcome outcome;
    {
        const TSignalsCancel signals(true);
        try {
            TStickJob job(port, RealFileSystem(), parsed.Disc.Choice);
            job.Kbps = parsed.Kbps;
            outcome = job.Write(parsed.Disc.Positional[0], parsed.Disc.Positional[1]);
        } catch (const std::exception& e) {
            return PrintFailure(e.what(), err);
        }
        if (outcome.Kind == TStickOutcome::EKind::Cancelled)
            return PrintFailure(outcome.Message, err);
    }
    if (outcome.Kind == TStickOutcome::EKind::Stopped && !outcome.Message.empty()) {
        PrintFailure(outcome.Message, err);
        return PrintFailure("добавьте --yes, чтобы записать на такую флешку", err);
    }
    if (!outcome.Ok())
        return outcome.Message.empty() ? 1 : PrintFailure(outcome.Message, err);
    const std::vector<std::string> lines = MessageLines(outcome.Message);
    out << "folder\t" << EscapeForLine(outcome.Folder) << "\n";
    // Between the two: the files whose conversion failed, and what became of each.
    for (size_t i = 1; i + 1 < lines.size(); ++i)
        out << "unconverted\t" << EscapeForLine(lines[i]) << "\n";
    out << "checked\t" << EscapeForLine(lines.empty() ? "" : lines.back()) << "\n";
    return 0;
}

}  // namespace

const TCliCommand kUsbCommand = {
    "usb", "usb DIR MOUNTPOINT [--profile NAME] [--bitrate=KBPS] [--yes]", kUsbHelp, RunUsb};

}  // namespace velmora
