#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "core/disc/Disc.h"
#include "core/disc/DiscImage.h"
#include "core/disc/DiscNames.h"
#include "core/files/FolderLock.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

struct TDiscArgs {
    std::vector<std::string> Positional;
    TDiscProfile Profile = DiscProfiles().front();
    std::string VolumeId;
    std::string TrackList;
    bool Replace = false;
};

bool ParseDiscArgs(const std::vector<std::string>& args, const TCliCommand& command,
                   TDiscArgs& parsed, std::ostream& err) {
    const bool image = &command == &kImageCommand;
    bool small = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--profile" && hasValue) {
            const TDiscProfile* p = FindDiscProfile(args[++i]);
            if (!p) {
                std::string known;
                for (const TDiscProfile& profile : DiscProfiles())
                    known += (known.empty() ? "" : ", ") + ("«" + profile.Name + "»");
                UsageError(err, command, "нет профиля «" + args[i] + "»; есть " + known);
                return false;
            }
            parsed.Profile = *p;
        } else if (a == "--650") {
            small = true;
        } else if (image && a == "--volume-id" && hasValue) {
            parsed.VolumeId = args[++i];
        } else if (image && a == "--list" && hasValue) {
            parsed.TrackList = args[++i];
        } else if (image && a == "--replace") {
            parsed.Replace = true;
        } else if (a.size() > 1 && a[0] == '-') {
            UsageError(err, command, "неизвестный или неполный ключ " + a);
            return false;
        } else {
            parsed.Positional.push_back(a);
        }
    }
    if (small)
        parsed.Profile = With650MBBlank(parsed.Profile);
    if (parsed.Positional.size() != (image ? 2u : 1u)) {
        UsageError(err, command, image ? "нужны папка и файл образа" : "нужна одна папка");
        return false;
    }
    return CheckFolderArgument(parsed.Positional[0], err);
}

void PrintProblems(const TDiscCheck& check, std::ostream& out) {
    for (const TDiscProblem& p : check.Problems)
        out << FormatDiscProblem(p) << "\n";
}

constexpr char kCheckHelp[] =
    "Checks DIR as it would go on an MP3 CD (its files and its folders, one level) against a\n"
    "radio profile, and prints one line per problem, tab-separated: problem PATH CODE TEXT, then\n"
    "\"summary\" and the counts against the profile. CODE is one of too-many-folders,\n"
    "too-many-files, too-many-in-folder, too-deep, name-too-long, name-chars, no-extension,\n"
    "not-mp3, link-outside, numbered, mpeg-version, sample-rate, bitrate, id3v2-large,\n"
    "id3v2-present, tag-damaged, tag-not-latin, no-tag, hidden, disc-full, unreadable. Only\n"
    "MPEG Layer III files with a stream of frames go on the disc; \"numbered\" tells of names\n"
    "that get numbers on the disc so that the radio plays them in the order of the list. The\n"
    "size is the image's, against what the blank holds less the 300 KB a burning program pads.\n"
    "Exit status 0 with no problem, 1 with some.\n"
    "  --profile NAME   \"Blaupunkt MP3 CD (Chevrolet, GM Daewoo)\" (the default) or\n"
    "                   \"Стандартный MP3 CD\"\n"
    "  --650            a 650 MB (74 min) blank instead of 700 MB (80 min)\n";

// Set by SIGINT and SIGTERM while the image is written: the write stops and removes what it made.
std::atomic<int> Interrupted{0};

extern "C" void OnInterrupt(int signal) {
    Interrupted = signal;
}

// SIGINT and SIGTERM stop the write instead of the process while this lives; the signal that
// came is raised again at the end, once nothing is left behind.
class TInterruptGuard {
  public:
    TInterruptGuard() {
        Interrupted = 0;
        struct sigaction action = {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &OldInt);
        sigaction(SIGTERM, &action, &OldTerm);
    }
    ~TInterruptGuard() {
        sigaction(SIGINT, &OldInt, nullptr);
        sigaction(SIGTERM, &OldTerm, nullptr);
        if (Interrupted != 0)
            std::raise(Interrupted);
    }
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

  private:
    struct sigaction OldInt = {};
    struct sigaction OldTerm = {};
};

// True when something is at the path already.
bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, kCheckCommand, parsed, err))
        return 2;
    const TDiscCheck check = CheckDisc(RealFileSystem(), parsed.Positional[0], parsed.Profile);
    PrintProblems(check, out);
    out << "summary\t" << DiscSummary(check) << "\n";
    return check.Problems.empty() ? 0 : 1;
}

constexpr char kImageHelp[] =
    "Checks DIR as check does, then writes its ISO 9660 image (the profile's level, Joliet\n"
    "without version numbers, no Rock Ridge): the root's MP3 files, then each folder's, in the\n"
    "order the list shows them, names and data alike. Other files stay off the disc. The\n"
    "problem lines come first, then \"renamed SOURCE JOLIET-NAME ISO-NAME\" for each name made\n"
    "for the disc; progress lines go to standard error. A problem that makes the disc\n"
    "unplayable (too many folders, the disc full, an unreadable file) refuses the image, and so\n"
    "does a file that changes while it is read. DIR is locked against other copies of the\n"
    "program meanwhile. An existing OUT.iso is refused before anything is written, unless\n"
    "--replace; a failed or interrupted (Ctrl-C) write leaves nothing under OUT.iso. Exit\n"
    "status 0 when the image was written, 1 when it was refused or failed.\n"
    "  --profile NAME, --650   as for check\n"
    "  --volume-id TEXT        the volume name (default: the folder's name), made Latin capitals\n"
    "  --list FILE             also write the disc's track list (UTF-8 text) to FILE\n"
    "  --replace               replace an existing OUT.iso (and the --list FILE)\n";

// The lines of a failure, each on one line of its own after "velmora-cli: ".
void PrintFailure(const std::string& text, std::ostream& err) {
    std::string message = text;
    for (size_t end; (end = message.find('\n')) != std::string::npos;) {
        err << "velmora-cli: " << EscapeForLine(message.substr(0, end)) << "\n";
        message.erase(0, end + 1);
    }
    err << "velmora-cli: " << EscapeForLine(message) << "\n";
}

int RunImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, kImageCommand, parsed, err))
        return 2;
    const std::string& folder = parsed.Positional[0];
    const std::string& iso = parsed.Positional[1];
    // Refused before the folder is read at all.
    for (const std::string& target : {iso, parsed.TrackList}) {
        // A track list into a device or a FIFO is written there, never replaced.
        const bool into = target != iso && IsSpecialFile(target);
        if (!target.empty() && !parsed.Replace && !into && Exists(target)) {
            PrintFailure("файл «" + target + "» уже есть — добавьте --replace, чтобы заменить его",
                         err);
            return 1;
        }
    }
    if (!parsed.TrackList.empty() && parsed.TrackList == iso) {
        UsageError(err, kImageCommand, "список треков и образ — один и тот же файл");
        return 2;
    }
    TFileSystem& fs = RealFileSystem();
    const TFolderLock lock(fs, folder);
    if (!lock.Held()) {
        PrintFailure(FolderBusyText(folder), err);
        return 1;
    }
    TDiscCheck check = CheckDisc(fs, folder, parsed.Profile);
    if (!parsed.VolumeId.empty())
        check.VolumeId = DiscVolumeId(parsed.VolumeId);
    PrintProblems(check, out);
    for (const TDiscEntry* f : RenamedDiscEntries(check))
        out << "renamed\t" << EscapeForLine(f->Source) << "\t" << f->Name << "\t" << f->IsoName
            << "\n";
    out << "summary\t" << DiscSummary(check) << "\n";
    int shown = -1;
    TDiscImageResult result;
    {
        TInterruptGuard interrupts;
        result = WriteDiscImage(check, iso, parsed.Replace, [&](int64_t done, int64_t total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (percent / 10 != shown / 10 || shown < 0) {
                err << "progress\t" << percent << "%\n";
                shown = percent;
            }
            return Interrupted == 0;
        });
        if (result.Cancelled)
            PrintFailure("запись образа прервана: " + iso + " не записан", err);
    }
    if (!result.Ok) {
        if (!result.Cancelled)
            PrintFailure(result.Message, err);
        return 1;
    }
    out << "image\t" << EscapeForLine(iso) << "\t" << check.VolumeId << "\n";
    if (!parsed.TrackList.empty()) {
        const std::string why = WriteDiscTrackList(check, parsed.TrackList, parsed.Replace);
        if (!why.empty()) {
            PrintFailure(why, err);
            return 1;
        }
        out << "list\t" << EscapeForLine(parsed.TrackList) << "\n";
    }
    return 0;
}

}  // namespace

const TCliCommand kCheckCommand = {"check", "check DIR [--profile NAME] [--650]", kCheckHelp,
                                   RunCheck};
const TCliCommand kImageCommand = {
    "image",
    "image DIR OUT.iso [--profile NAME] [--650] [--volume-id TEXT] [--list FILE] [--replace]",
    kImageHelp, RunImage};

}  // namespace velmora
