#include "cli/CliDisc.h"

#include <sys/stat.h>

#include "core/Disc.h"

namespace velmora {
namespace {

struct TDiscArgs {
    std::vector<std::string> Positional;
    TDiscProfile Profile = DiscProfiles().front();
    std::string VolumeId;
    bool Replace = false;
};

bool ParseDiscArgs(const std::vector<std::string>& args, bool image, TDiscArgs& parsed,
                   std::ostream& err) {
    bool small = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--profile" && hasValue) {
            const TDiscProfile* p = FindDiscProfile(args[++i]);
            if (!p) {
                err << "velmora-cli: unknown profile " << args[i] << "; the profiles are:\n";
                for (const TDiscProfile& known : DiscProfiles())
                    err << "  " << known.Name << "\n";
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
            err << "velmora-cli: unknown or incomplete option " << a << " (see --help)\n";
            return false;
        } else {
            parsed.Positional.push_back(a);
        }
    }
    if (small)
        parsed.Profile = With650MBBlank(parsed.Profile);
    const size_t wanted = image ? 2 : 1;
    if (parsed.Positional.size() != wanted) {
        err << "velmora-cli: " << (image ? "image takes DIR and OUT.iso" : "check takes one DIR")
            << " (see --help)\n";
        return false;
    }
    struct stat st;
    if (::stat(parsed.Positional[0].c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        err << "velmora-cli: " << parsed.Positional[0] << " is not a folder (see --help)\n";
        return false;
    }
    return true;
}

void PrintProblems(const TDiscCheck& check, std::ostream& out) {
    for (const TDiscProblem& p : check.Problems)
        out << FormatDiscProblem(p) << "\n";
}

}  // namespace

int CheckDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, false, parsed, err))
        return 2;
    const TDiscCheck check = CheckDisc(RealFileSystem(), parsed.Positional[0], parsed.Profile);
    PrintProblems(check, out);
    out << "summary\t" << DiscSummary(check) << "\n";
    return check.Problems.empty() ? 0 : 1;
}

int ImageDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TDiscArgs parsed;
    if (!ParseDiscArgs(args, true, parsed, err))
        return 2;
    TDiscCheck check = CheckDisc(RealFileSystem(), parsed.Positional[0], parsed.Profile);
    if (!parsed.VolumeId.empty())
        check.VolumeId = DiscVolumeId(parsed.VolumeId);
    PrintProblems(check, out);
    for (const auto* list : {&check.Folders, &check.Files})
        for (const TDiscEntry& f : *list)
            if (DiscNameChanged(f))
                out << "renamed\t" << f.Source << "\t" << f.Name << "\t" << f.IsoName << "\n";
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
        err << "velmora-cli: " << result.Message << "\n";
        return 1;
    }
    out << "image\t" << parsed.Positional[1] << "\t" << check.VolumeId << "\n";
    return 0;
}

}  // namespace velmora
