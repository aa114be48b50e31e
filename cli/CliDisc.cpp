#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "core/Disc.h"
#include "core/DiscImage.h"
#include "core/DiscNames.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

struct TDiscArgs {
    std::vector<std::string> Positional;
    TDiscProfile Profile = DiscProfiles().front();
    std::string VolumeId;
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
    "not-mp3, mpeg-version, sample-rate, bitrate, id3v2-large, id3v2-present, tag-not-latin,\n"
    "no-tag, disc-full, unreadable. Exit status 0 with no problem, 1 with some.\n"
    "  --profile NAME   \"Blaupunkt MP3 CD (Chevrolet, GM Daewoo)\" (the default) or\n"
    "                   \"Стандартный MP3 CD\"\n"
    "  --650            a 650 MB (74 min) blank instead of 700 MB (80 min)\n";

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
    "Checks DIR as check does, then writes its ISO 9660 image (the profile's level, Joliet, no\n"
    "Rock Ridge): the root's MP3 files, then each folder's, names and data in the order the\n"
    "radio plays. Other files stay off the disc. The problem lines come first, then\n"
    "\"renamed SOURCE JOLIET-NAME ISO-NAME\" for each name made for the disc; progress lines go\n"
    "to standard error. A problem that makes the disc unplayable (too many folders, the disc\n"
    "full, an unreadable file) refuses the image. An existing OUT.iso is replaced only with\n"
    "--replace; a failed write leaves nothing under OUT.iso. Exit status 0 when the image was\n"
    "written, 1 when it was refused or failed.\n"
    "  --profile NAME, --650   as for check\n"
    "  --volume-id TEXT        the volume name (default: the folder's name), made Latin capitals\n"
    "  --replace               replace an existing OUT.iso\n";

int RunImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, kImageCommand, parsed, err))
        return 2;
    TDiscCheck check = CheckDisc(RealFileSystem(), parsed.Positional[0], parsed.Profile);
    if (!parsed.VolumeId.empty())
        check.VolumeId = DiscVolumeId(parsed.VolumeId);
    PrintProblems(check, out);
    for (const TDiscEntry* f : RenamedDiscEntries(check))
        out << "renamed\t" << EscapeForLine(f->Source) << "\t" << f->Name << "\t" << f->IsoName
            << "\n";
    out << "summary\t" << DiscSummary(check) << "\n";
    int shown = -1;
    const TDiscImageResult result = WriteDiscImage(
        check, parsed.Positional[1], parsed.Replace, [&](int64_t done, int64_t total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (percent / 10 != shown / 10 || shown < 0) {
                err << "progress\t" << percent << "%\n";
                shown = percent;
            }
            return true;
        });
    if (!result.Ok) {
        // The message's own lines (the fatal problems, one a line), each kept on one line.
        std::string message = result.Message;
        for (size_t end; (end = message.find('\n')) != std::string::npos;) {
            err << "velmora-cli: " << EscapeForLine(message.substr(0, end)) << "\n";
            message.erase(0, end + 1);
        }
        err << "velmora-cli: " << EscapeForLine(message) << "\n";
        return 1;
    }
    out << "image\t" << EscapeForLine(parsed.Positional[1]) << "\t" << check.VolumeId << "\n";
    return 0;
}

}  // namespace

const TCliCommand kCheckCommand = {"check", "check DIR [--profile NAME] [--650]", kCheckHelp,
                                   RunCheck};
const TCliCommand kImageCommand = {
    "image", "image DIR OUT.iso [--profile NAME] [--650] [--volume-id TEXT] [--replace]",
    kImageHelp, RunImage};

}  // namespace velmora
