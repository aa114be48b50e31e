// velmora-cli burn: an image file, or a folder's image written into a temporary file, burnt onto
// a CD and read back (core/Burn.h). Ctrl+C and SIGTERM cancel the burn through its progress; the
// temporary image goes on every way out.
#include <signal.h>
#include <sys/stat.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "core/burn/BurnJob.h"
#include "core/disc/Disc.h"
#include "core/disc/DiscImage.h"
#include "core/files/FolderLock.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

volatile std::sig_atomic_t Interrupted = 0;

void OnSignal(int) {
    Interrupted = 1;
}

// For as long as this lives, Ctrl+C, SIGTERM and a closed terminal (SIGHUP) ask for a cancel,
// and a closed output pipe (SIGPIPE) no longer ends the program in the middle of a burn.
class TSignalsCancel {
  public:
    TSignalsCancel() {
        Interrupted = 0;
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (size_t i = 0; i < kCount; ++i) {
            action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : OnSignal;
            sigaction(kSignals[i], &action, &Old[i]);
        }
    }
    ~TSignalsCancel() {
        for (size_t i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &Old[i], nullptr);
    }
    TSignalsCancel(const TSignalsCancel&) = delete;
    TSignalsCancel& operator=(const TSignalsCancel&) = delete;

  private:
    static constexpr size_t kCount = 4;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction Old[kCount] = {};
};

const char* StepKey(TBurnStep step) {
    switch (step) {
        case TBurnStep::Preparing:
            return "prepare";
        case TBurnStep::Image:
            return "image";
        case TBurnStep::Blanking:
            return "blank";
        case TBurnStep::Writing:
            return "write";
        case TBurnStep::Closing:
            return "close";
        case TBurnStep::Verifying:
            return "verify";
    }
    return "";
}

// Progress lines on standard error, one each 5 % and at each new step; false once a signal
// asked to cancel.
class TProgressLines {
  public:
    explicit TProgressLines(std::ostream& err) : Err(err) {}
    bool operator()(const TBurnStatus& s) {
        if (s.Step != Step || s.Percent >= Shown + 5 || (s.Percent == 100 && Shown < 100)) {
            Step = s.Step;
            Shown = s.Percent;
            Err << "progress\t" << StepKey(s.Step) << "\t" << s.Percent << "%";
            for (const std::string& more : {BurnSpeedText(s.SpeedX), TimeLeftText(s.SecondsLeft)})
                if (!more.empty())
                    Err << "\t" << more;
            Err << std::endl;
        }
        return Interrupted == 0;
    }

  private:
    std::ostream& Err;
    TBurnStep Step = TBurnStep::Preparing;
    int Shown = -1;
};

struct TBurnArgs {
    std::string Target;
    TBurnOptions Options;
    TDiscProfile Profile = DiscProfiles().front();
    bool ForFolder = false;  // --profile or --650 given
};

bool ParseBurnArgs(const std::vector<std::string>& args, TBurnArgs& parsed, std::ostream& err) {
    bool small = false;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--drive" && hasValue) {
            parsed.Options.Address = args[++i];
        } else if (a == "--speed" && hasValue) {
            const std::string& n = args[++i];
            const bool digits = !n.empty() && n.size() <= 2 &&
                                n.find_first_not_of("0123456789") == std::string::npos;
            parsed.Options.SpeedX = digits ? std::stoi(n) : 0;
            if (parsed.Options.SpeedX < 1 || parsed.Options.SpeedX > 52) {
                UsageError(err, kBurnCommand, "скорость «" + n + "»: нужно число от 1 до 52");
                return false;
            }
        } else if (a == "--dummy") {
            parsed.Options.Dummy = true;
        } else if (a == "--eject") {
            parsed.Options.Eject = true;
        } else if (a == "--blank") {
            parsed.Options.Blank = true;
        } else if (a == "--profile" && hasValue) {
            const TDiscProfile* p = FindDiscProfile(args[++i]);
            if (!p) {
                UsageError(err, kBurnCommand,
                           "нет профиля «" + args[i] + "» (список: velmora-cli check --help)");
                return false;
            }
            parsed.Profile = *p;
            parsed.ForFolder = true;
        } else if (a == "--650") {
            small = parsed.ForFolder = true;
        } else if (a.size() > 1 && a[0] == '-') {
            UsageError(err, kBurnCommand, "неизвестный или неполный ключ " + a);
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (small)
        parsed.Profile = With650MBBlank(parsed.Profile);
    if (positional.size() != 1) {
        UsageError(err, kBurnCommand, "нужен один файл образа или одна папка");
        return false;
    }
    parsed.Target = positional[0];
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Each line of a message as "velmora-cli: LINE".
int Fail(std::ostream& err, std::string message) {
    for (size_t end; (end = message.find('\n')) != std::string::npos;) {
        err << "velmora-cli: " << EscapeForLine(message.substr(0, end)) << "\n";
        message.erase(0, end + 1);
    }
    err << "velmora-cli: " << EscapeForLine(message) << "\n";
    return 1;
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
    "\"dummy ADDRESS MESSAGE\". A disc that is not blank, too small or not a CD is refused\n"
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
    TBurnArgs a;
    if (!ParseBurnArgs(args, a, err))
        return 2;
    const bool folder = IsFolder(a.Target);
    if (folder && !CheckFolderArgument(a.Target, err))
        return 2;
    if (!folder && a.ForFolder)
        return UsageError(err, kBurnCommand, "--profile и --650 — только для папки");
    const TSignalsCancel signals;
    TProgressLines progress(err);
    std::string error;
    int64_t sectors = 0;
    if (!folder && (sectors = ImageSectors(a.Target, error)) == 0)
        return Fail(err, error);

    TBurnOptions& options = a.Options;
    if (options.Address.empty()) {
        const std::vector<TBurnDrive> drives = FindDrives(error);
        if (drives.empty())
            return Fail(err, error + (folder ? std::string()
                                             : " Образ " + a.Target +
                                                   " остаётся на месте: его можно записать "
                                                   "позже."));
        options.Address = drives.front().Address;
        out << "drive\t" << EscapeForLine(options.Address) << "\t"
            << EscapeForLine(drives.front().DisplayName) << "\n";
    } else {
        out << "drive\t" << EscapeForLine(options.Address) << "\t" << EscapeForLine(options.Address)
            << "\n";
    }
    const TMediumInfo medium = InspectMedium(options.Address);
    if (!medium.Error.empty())
        return Fail(err, medium.Error);
    out << "medium\t" << EscapeForLine(medium.StateText) << "\n";

    // The folder locked while it is read; unlocked at the latest when this goes.
    TFolderLock lock(RealFileSystem(), folder ? a.Target : std::string());
    TDiscCheck check;
    if (folder) {
        if (!lock.Held())
            return Fail(err, FolderBusyText(a.Target) + ".");
        check = CheckDisc(RealFileSystem(), a.Target, a.Profile);
        for (const TDiscProblem& p : check.Problems)
            out << FormatDiscProblem(p) << "\n";
        out << "summary\t" << DiscSummary(check) << "\n";
        if (check.HasFatal() || check.Files.empty())
            return Fail(err, WriteDiscImage(check, "", false, nullptr).Message);
        sectors = check.Sectors;
    }
    // Before anything is written; the burn checks again with the image's exact size.
    const TBurnCheck ready = CheckBurn(medium, sectors, options.Blank, options.Dummy);
    if (!ready.Ok)
        return Fail(err, ready.NeedsBlanking
                             ? "На диске CD-RW есть данные. Чтобы очистить его (всё на нём "
                               "пропадёт) и записать, добавьте ключ --blank."
                             : ready.Message);

    std::string image = a.Target;
    std::optional<TTemporaryImage> temp;
    if (folder) {
        temp.emplace();
        const std::string problem =
            temp->Error().empty() ? temp->CheckRoom(check.Sectors) : temp->Error();
        if (!problem.empty())
            return Fail(err, problem);
        const TDiscImageResult written = WriteDiscImage(
            check, temp->Path(), false,
            [&](int64_t done, int64_t total) { return progress(ImageStatusOf(done, total)); });
        if (!written.Ok)
            return Fail(err, written.Message);
        lock.Release();
        image = temp->Path();
    }
    if (Interrupted)
        return Fail(err, "Запись отменена: на диск ничего не записано.");
    const TBurnResult result = BurnImage(
        image, options, [&](const TBurnProgress& p) { return progress(BurnStatusOf(p)); });
    if (!result.Ok)
        return Fail(err, result.Message);
    out << (options.Dummy ? "dummy\t" : "burnt\t") << EscapeForLine(options.Address) << "\t"
        << (options.Dummy ? "" : result.WriteMode + "\t") << result.Message << "\n";
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
