// velmora-cli burn: an image file, or a folder's image written into a temporary file, burnt onto
// a CD and read back (core/model/BurnCommands.h). Ctrl+C, SIGTERM and SIGHUP cancel the burn
// through its progress; the temporary image goes on every way out.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/CliDisc.h"
#include "core/model/BurnCommands.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// The burn dialog answered from the options: the drive named or the first found, its medium,
// the speed, a dummy write, the eject and the blanking of a CD-RW with data.
class TCliBurnPort : public TCliDiscPort {
  public:
    TCliBurnPort(const TDiscArgs& args, bool folder, std::ostream& out, std::ostream& err)
        : TCliDiscPort(args, out, err), Folder(folder) {}

    bool AskBurn(TBurnSetup& setup) override {
        if (Args.Drive.empty()) {
            setup.Refresh();
            if (setup.DriveIndex < 0) {
                PrintFailure(setup.DrivesMessage +
                                 (Folder ? std::string()
                                         : " Образ " + Args.Positional[0] +
                                               " остаётся на месте: его можно записать позже."),
                             Err);
                return false;
            }
        } else {
            setup.AddDrive(Args.Drive);
        }
        const TBurnDrive& drive = setup.Drives[static_cast<size_t>(setup.DriveIndex)];
        Address = drive.Address;
        Out << "drive\t" << EscapeForLine(drive.Address) << "\t" << EscapeForLine(drive.DisplayName)
            << "\n";
        if (!setup.Medium.Error.empty()) {
            PrintFailure(setup.Medium.Error, Err);
            return false;
        }
        Out << "medium\t" << EscapeForLine(setup.Medium.StateText) << "\n";
        if (Args.SpeedX > 0)
            setup.ChooseSpeedX(Args.SpeedX);
        if (Args.Dummy && !setup.DummyEnabled) {
            PrintFailure("Этот привод не умеет пробную запись. Запишите диск без --dummy.", Err);
            return false;
        }
        setup.SetDummy(Args.Dummy);
        setup.SetEject(Args.Eject);
        setup.BlankAgreed = Args.Blank;
        if (!setup.CanBurn) {
            PrintFailure(setup.Verdict, Err);
            return false;
        }
        if (setup.NeedsBlanking() && !Args.Blank) {
            PrintFailure(
                "На диске CD-RW есть данные. Чтобы очистить его (всё на нём пропадёт) и записать, "
                "добавьте ключ --blank.",
                Err);
            return false;
        }
        return true;
    }
    std::string Address;  // the drive chosen

  private:
    bool Folder;
};

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

constexpr char kBurnHelp[] =
    "Burns an ISO image, or the image of DIR, onto a blank CD-R or CD-RW in one closed session\n"
    "and reads it back to compare every sector with the image. For DIR it checks the folder as\n"
    "check does (the problem lines and the summary first; a problem that makes the disc\n"
    "unplayable refuses it), writes its image into a temporary folder under $TMPDIR (else /tmp)\n"
    "and removes it again on every way out. The folder is locked while it is read. Prints\n"
    "\"drive ADDRESS NAME\" and \"medium STATE\", progress lines on standard error (\"progress\n"
    "STEP PERCENT [SPEED] [TIME LEFT]\", STEP one of image, blank, write, close, verify), and at\n"
    "the end \"burnt ADDRESS MODE MESSAGE\" (MODE SAO, or TAO where the drive has no SAO) or\n"
    "\"dummy ADDRESS MESSAGE\". An image that is not a whole ISO 9660 image (no primary volume\n"
    "descriptor \"CD001\" at sector 16, or shorter than its volume) is refused, with what it\n"
    "looks like. A disc that is not blank, too small or not a CD is refused\n"
    "before anything is written. Ctrl+C, SIGTERM or SIGHUP cancels (a CD-R whose writing began\n"
    "is lost). Exit status 0 when the disc was written and verified (or the dummy write went\n"
    "through), 1 when it was refused, failed or was cancelled.\n"
    "  --drive DEV      the drive (/dev/sr0); default: the first drive found that writes CDs;\n"
    "                   stdio:FILE writes into a new or empty FILE as onto a blank CD\n"
    "  --speed N        the write speed in x (1..52); default: the drive's own choice; a car\n"
    "                   radio reads discs written at 16x or slower more reliably\n"
    "  --dummy          a dummy write: the drive goes through it with the laser off\n"
    "  --eject          eject the disc at the end\n"
    "  --blank          blank a CD-RW that holds data first (everything on it is lost)\n"
    "  --profile NAME, --650   for DIR, as for check\n";

int RunBurn(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs a;
    if (!ParseDiscArgs(args, kBurnCommand, a, err))
        return 2;
    const std::string& target = a.Positional[0];
    const bool folder = IsFolder(target);
    if (folder && !CheckFolderArgument(target, err))
        return 2;
    if (!folder && a.ChoiceGiven)
        return UsageError(err, kBurnCommand, "--profile и --650 — только для папки");
    TCliBurnPort port(a, folder, out, err);
    const TSignalsCancel signals(false);
    TDiscOutcome outcome;
    try {
        TBurnCommands burn(port, RealFileSystem(), a.Choice);
        outcome = folder ? burn.BurnFolder(target) : burn.BurnImageFile(target);
    } catch (const std::exception& e) {
        return PrintFailure(e.what(), err);
    }
    if (outcome.Kind == TDiscOutcome::EKind::Stopped)
        return 1;  // the port said why
    if (!outcome.Ok())
        return PrintFailure(outcome.Message, err);
    out << (a.Dummy ? "dummy\t" : "burnt\t") << EscapeForLine(port.Address) << "\t"
        << (a.Dummy ? "" : outcome.WriteMode + "\t") << outcome.Message << "\n";
    return 0;
}

}  // namespace

const TCliCommand kBurnCommand = {
    "burn",
    "burn OUT.iso [--drive DEV] [--speed N] [--dummy] [--eject] [--blank]\n"
    "burn DIR [--drive DEV] [--speed N] [--dummy] [--eject] [--blank] [--profile NAME] [--650]",
    kBurnHelp, RunBurn};

const std::vector<const TCliCommand*>& AllCliCommands() {
    static const std::vector<const TCliCommand*> commands = [] {
        std::vector<const TCliCommand*> all = CliCommands();
        all.push_back(&kBurnCommand);
        return all;
    }();
    return commands;
}

}  // namespace velmora
