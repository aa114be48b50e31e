// velmora-cli check and image, and what the disc commands share (cli/CliDisc.h).
#include "cli/CliDisc.h"

#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <string>
#include <vector>

#include "core/disc/DiscImage.h"
#include "core/disc/DiscNames.h"
#include "core/text/TextCodec.h"

namespace velmora {

bool ParseNumber(const std::string& text, int& n) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && end == text.data() + text.size();
}
namespace {

std::atomic<int> Signalled{0};

extern "C" void OnCancelSignal(int signal) {
    Signalled = signal;
}

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr size_t kSignalCount = sizeof kCancelSignals / sizeof kCancelSignals[0];

// By name: burn's entry lives in a library of its own.
bool IsCommand(const TCliCommand& command, const char* name) {
    return std::string(command.Name) == name;
}

}  // namespace

struct TSignalsCancel::TSaved {
    struct sigaction Old[kSignalCount] = {};
};

TSignalsCancel::TSignalsCancel(bool raiseAtEnd) : RaiseAtEnd(raiseAtEnd), Saved(new TSaved) {
    Signalled = 0;
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignalCount; ++i) {
        action.sa_handler = kCancelSignals[i] == SIGPIPE ? SIG_IGN : OnCancelSignal;
        sigaction(kCancelSignals[i], &action, &Saved->Old[i]);
    }
}

TSignalsCancel::~TSignalsCancel() {
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCancelSignals[i], &Saved->Old[i], nullptr);
    delete Saved;
    if (RaiseAtEnd && Signalled != 0)
        std::raise(Signalled);
}

bool TSignalsCancel::Asked() {
    return Signalled != 0;
}

bool ParseDiscArgs(const std::vector<std::string>& args, const TCliCommand& command,
                   TDiscArgs& parsed, std::ostream& err) {
    const bool image = IsCommand(command, "image");
    const bool burn = IsCommand(command, "burn");
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--profile" && hasValue) {
            const std::string& name = args[++i];
            const auto& profiles = DiscProfiles();
            size_t index = 0;
            while (index < profiles.size() && profiles[index].Name != name)
                ++index;
            if (index == profiles.size()) {
                std::string known;
                for (const TDiscProfile& profile : profiles)
                    known += (known.empty() ? "" : ", ") + ("«" + profile.Name + "»");
                UsageError(err, command, "нет профиля «" + name + "»; есть " + known);
                return false;
            }
            parsed.Choice.Profile = index;
            parsed.ChoiceGiven = true;
        } else if (a == "--650") {
            parsed.Choice.Blank = 1;
            parsed.ChoiceGiven = true;
        } else if (image && a == "--volume-id" && hasValue) {
            parsed.VolumeId = args[++i];
        } else if (image && a == "--list" && hasValue) {
            parsed.TrackList = args[++i];
        } else if (image && a == "--replace") {
            parsed.Replace = true;
        } else if (image && a == "--discs") {
            parsed.Choice.Split = true;
        } else if (burn && a == "--drive" && hasValue) {
            parsed.Drive = args[++i];
        } else if (burn && a == "--speed" && hasValue) {
            const std::string& n = args[++i];
            const bool digits = !n.empty() && n.size() <= 2 &&
                                n.find_first_not_of("0123456789") == std::string::npos;
            parsed.SpeedX = digits ? std::stoi(n) : 0;
            if (parsed.SpeedX < 1 || parsed.SpeedX > 52) {
                UsageError(err, command, "скорость «" + n + "»: нужно число от 1 до 52");
                return false;
            }
        } else if (burn && a == "--dummy") {
            parsed.Dummy = true;
        } else if (burn && a == "--eject") {
            parsed.Eject = true;
        } else if (burn && a == "--blank") {
            parsed.Blank = true;
        } else if (a.size() > 1 && a[0] == '-') {
            UsageError(err, command, "неизвестный или неполный ключ " + a);
            return false;
        } else {
            parsed.Positional.push_back(a);
        }
    }
    if (parsed.Positional.size() != (image ? 2u : 1u)) {
        UsageError(err, command,
                   image  ? "нужны папка и файл образа"
                   : burn ? "нужен один файл образа или одна папка"
                          : "нужна одна папка");
        return false;
    }
    return burn || CheckFolderArgument(parsed.Positional[0], err);
}

int PrintFailure(const std::string& text, std::ostream& err) {
    for (const std::string& line : MessageLines(text))
        err << "velmora-cli: " << EscapeForLine(line) << "\n";
    return 1;
}

bool TCliDiscPort::AskYesNo(const std::string&) {
    // The only question that reaches the command line is a cancel's, once a signal asked for it.
    return TSignalsCancel::Asked();
}

bool TCliDiscPort::ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice&,
                                 const TDiscRecheck&) {
    if (purpose == EDiscPurpose::Image && !Args.VolumeId.empty())
        check.VolumeId = DiscVolumeId(Args.VolumeId);
    for (const TDiscProblem& p : check.Problems)
        Out << FormatDiscProblem(p) << "\n";
    if (purpose == EDiscPurpose::Image)
        for (const TDiscEntry* f : RenamedDiscEntries(check))
            Out << "renamed\t" << EscapeForLine(f->Source) << "\t" << f->Name << "\t" << f->IsoName
                << "\n";
    Out << "summary\t" << DiscSummary(check) << "\n";
    // The sequence itself refuses a disc that would not play, with its reasons.
    return true;
}

std::optional<TUserPort::TImageTarget> TCliDiscPort::AskImageFile(const std::string&) {
    return TImageTarget{Args.Positional.at(1), Args.Replace, Args.TrackList};
}

bool TCliDiscPort::StepProgress(const TProgress& p) {
    const int percent = p.Percent();
    if (p.Key != Key || percent >= Shown + 5 || (percent == 100 && Shown < 100)) {
        Key = p.Key;
        Shown = percent;
        Err << "progress\t" << p.Key << "\t" << percent << "%";
        for (const std::string& more : {p.Speed, TimeLeftText(p.SecondsLeft)})
            if (!more.empty())
                Err << "\t" << more;
        Err << std::endl;
    }
    return !TSignalsCancel::Asked();
}

namespace {

constexpr char kCheckHelp[] =
    "Checks DIR as it would go on an MP3 CD (its files and its folders, one level) against a\n"
    "radio profile, and prints one line per problem, tab-separated: problem PATH CODE TEXT, then\n"
    "\"summary\" and the counts against the profile. CODE is one of too-many-folders,\n"
    "too-many-files, too-many-in-folder, too-deep, name-too-long, name-chars, no-extension,\n"
    "not-mp3, link-outside, link-broken, mpeg-version, sample-rate, bitrate, id3v2-large,\n"
    "id3v2-present, tag-damaged, tag-not-latin, no-tag, hidden, disc-full, unreadable. A note\n"
    "that needs nothing done is a line \"note PATH CODE TEXT\": \"numbered\" tells of names that\n"
    "get numbers on the disc so that the radio plays them in the order of the list. Only MPEG\n"
    "Layer III files with a stream of frames go on the disc. The size is the image's, against\n"
    "what the blank holds less the 300 KB a burning program pads. Exit status 0 when nothing\n"
    "needs doing (notes only), 1 with a problem.\n"
    "  --profile NAME   \"Blaupunkt MP3 CD (Chevrolet, GM Daewoo)\" (the default) or\n"
    "                   \"Стандартный MP3 CD\"\n"
    "  --650            a 650 MB (74 min) blank instead of 700 MB (80 min)\n";

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, kCheckCommand, parsed, err))
        return 2;
    TCliDiscPort port(parsed, out, err);
    bool goOn = false;
    const TDiscCheck check = TDiscJob(port, RealFileSystem(), parsed.Choice)
                                 .ShowCheck(parsed.Positional[0], EDiscPurpose::Check, goOn);
    for (const TDiscProblem& p : check.Problems)
        if (!p.Note)
            return 1;
    return 0;
}

constexpr char kImageHelp[] =
    "Checks DIR as check does, then writes its ISO 9660 image (the profile's level, Joliet\n"
    "without version numbers, no Rock Ridge): the root's MP3 files, then each folder's, in the\n"
    "order the list shows them, names and data alike. Other files stay off the disc. The\n"
    "problem lines come first, then \"renamed SOURCE JOLIET-NAME ISO-NAME\" for each name made\n"
    "for the disc; progress lines go to standard error (\"progress image PERCENT\"). A problem\n"
    "that makes the disc unplayable (too many folders, the disc full, an unreadable file)\n"
    "refuses the image, and so does a file that changes while it is read. DIR is locked against\n"
    "other copies of the program meanwhile. An existing OUT.iso is refused before anything is\n"
    "written, unless --replace; a failed or interrupted (Ctrl-C, SIGTERM, a closed terminal)\n"
    "write leaves nothing under OUT.iso. Exit status 0 when the image was written, 1 when it was\n"
    "refused or failed.\n"
    "  --profile NAME, --650   as for check\n"
    "  --volume-id TEXT        the volume name (default: the folder's name), made Latin capitals\n"
    "  --list FILE             also write the disc's track list (UTF-8 text) to FILE\n"
    "  --replace               replace an existing OUT.iso (and the --list FILE)\n"
    "  --discs                 a folder too big for one disc goes onto several, in the order of\n"
    "                          the list: OUT-1.iso, OUT-2.iso … (and FILE-1, FILE-2 … for\n"
    "                          --list), each within the blank and the profile's limits of\n"
    "                          folders and files, with its volume id ending _1, _2 …\n";

// True when something is at the path already.
bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int RunImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, kImageCommand, parsed, err))
        return 2;
    const std::string& iso = parsed.Positional[1];
    if (!parsed.TrackList.empty() && parsed.TrackList == iso)
        return UsageError(err, kImageCommand, "список треков и образ — один и тот же файл");
    // Refused before the folder is read at all.
    for (const std::string& target : {iso, parsed.TrackList}) {
        // A track list into a device or a FIFO is written there, never replaced.
        const bool into = target != iso && IsSpecialFile(target);
        if (!target.empty() && !parsed.Replace && !into && Exists(target))
            return PrintFailure(
                "файл «" + target + "» уже есть — добавьте --replace, чтобы заменить его", err);
    }
    TCliDiscPort port(parsed, out, err);
    TDiscOutcome outcome;
    {
        const TSignalsCancel signals(true);
        try {
            outcome =
                TDiscJob(port, RealFileSystem(), parsed.Choice).WriteImage(parsed.Positional[0]);
        } catch (const std::exception& e) {
            return PrintFailure(e.what(), err);
        }
        if (outcome.Kind == TDiscOutcome::EKind::Cancelled)
            return PrintFailure("запись образа прервана: " + iso + " не записан", err);
    }
    if (!outcome.Ok())
        return PrintFailure(outcome.Message, err);
    for (size_t n = 0; n < outcome.Images.size(); ++n)
        out << "image\t" << EscapeForLine(outcome.Images[n]) << "\t" << outcome.VolumeIds[n]
            << "\n";
    for (const std::string& list : outcome.TrackLists)
        out << "list\t" << EscapeForLine(list) << "\n";
    if (!outcome.TrackListProblem.empty())
        return PrintFailure(outcome.TrackListProblem, err);
    return 0;
}

}  // namespace

const TCliCommand kCheckCommand = {"check", "check DIR [--profile NAME] [--650]", kCheckHelp,
                                   RunCheck};
const TCliCommand kImageCommand = {
    "image",
    "image DIR OUT.iso [--profile NAME] [--650] [--volume-id TEXT] [--list FILE] [--replace] "
    "[--discs]",
    kImageHelp, RunImage};

}  // namespace velmora
