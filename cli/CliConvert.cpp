// velmora-cli convert: what the radio cannot play in a folder becomes a radio-safe MP3 (the
// model's conversion, core/model/ConvertLog.h), with its plan first or alone, progress lines on
// standard error, and Ctrl+C, SIGTERM and SIGHUP as a cancel.
#include <algorithm>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliDisc.h"
#include "core/model/ConvertLog.h"
#include "core/model/MainModel.h"
#include "core/model/QuietPort.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

struct TConvertArgs {
    std::string Folder;
    int Kbps = kDefaultConvertKbps;
    int Jobs = 0;
    TDiscProfile Profile = DiscProfiles().front();
    bool PlanOnly = false;
    bool Tsv = false;
};

bool ParseConvertArgs(const std::vector<std::string>& args, TConvertArgs& parsed,
                      std::ostream& err) {
    const auto usage = [&err](const std::string& text) {
        UsageError(err, kConvertCommand, text);
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "--key=value" or "--key value".
        std::string value;
        const auto valued = [&](const char* key) {
            const std::string k = key;
            if (a.rfind(k + "=", 0) == 0) {
                value = a.substr(k.size() + 1);
                return true;
            }
            if (a == k && i + 1 < args.size()) {
                value = args[++i];
                return true;
            }
            return false;
        };
        if (valued("--bitrate")) {
            if (!ParseNumber(value, parsed.Kbps) || !IsConvertBitrate(parsed.Kbps))
                return usage("--bitrate: 128, 160, 192, 224, 256 или 320");
        } else if (valued("--jobs")) {
            if (!ParseNumber(value, parsed.Jobs) || parsed.Jobs < 1 || parsed.Jobs > 256)
                return usage("--jobs: число от 1 до 256");
        } else if (valued("--profile")) {
            const TDiscProfile* p = FindDiscProfile(value);
            if (p == nullptr) {
                std::string known;
                for (const TDiscProfile& profile : DiscProfiles())
                    known += (known.empty() ? "" : ", ") + ("«" + profile.Name + "»");
                return usage("нет профиля «" + value + "»; есть " + known);
            }
            parsed.Profile = *p;
        } else if (a == "--plan") {
            parsed.PlanOnly = true;
        } else if (a == "--tsv") {
            parsed.Tsv = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("неизвестный или неполный ключ " + a);
        } else if (parsed.Folder.empty()) {
            parsed.Folder = a;
        } else {
            return usage("нужна одна папка");
        }
    }
    if (parsed.Folder.empty())
        return usage("нужна папка");
    return true;
}

// The conversion's person on the command line: asks nobody, prints a progress line on standard
// error at each file done and each 5 % between (the files done, the time left, the files at
// hand), and cancels once a signal came.
class TConvertPort : public TQuietPort {
  public:
    explicit TConvertPort(std::ostream& err) : TQuietPort(err), Err(err) {}
    bool StepProgress(const TProgress& p) override {
        if (p.Step != Step || p.Percent() >= Shown + 5) {
            Step = p.Step;
            Shown = p.Percent();
            Err << "progress\t" << p.Key << "\t" << Shown << "%\t" << EscapeForLine(p.Step);
            if (!TimeLeftText(p.SecondsLeft).empty())
                Err << "\t" << TimeLeftText(p.SecondsLeft);
            if (!p.Item.empty())
                Err << "\t" << EscapeForLine(p.Item);
            Err << std::endl;
        }
        return !TSignalsCancel::Asked();
    }

  private:
    std::ostream& Err;
    std::string Step;
    int Shown = -5;
};

void Print(const TBatchLog& lines, const std::string& folder, bool tsv, bool done,
           std::ostream& out) {
    for (const TBatchEvent& e : lines)
        out << FormatBatchEvent(e, folder, tsv) << "\n";
    if (!tsv)
        out << BatchSummary(lines, done) << "\n";
}

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TConvertArgs parsed;
    if (!ParseConvertArgs(args, parsed, err))
        return 2;
    if (!CheckFolderArgument(parsed.Folder, err))
        return 2;
    TConvertPort port(err);
    TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(parsed.Folder); });
    const TConvertSettings settings = ConvertSettingsFor(parsed.Profile, parsed.Kbps);
    TConvertPlan plan;
    const int errors = port.ErrorCount;
    model.Run([&] { plan = model.PlanConvert(settings); });
    if (port.ErrorCount > errors)
        return 1;
    if (parsed.PlanOnly) {
        Print(ConvertPlanLines(plan, parsed.Kbps), parsed.Folder, parsed.Tsv, false, out);
        return 0;
    }
    TBatchLog done;
    {
        const TSignalsCancel signals(false);
        model.Run([&] { done = model.RunConvert(plan, parsed.Jobs); });
    }
    Print(done, parsed.Folder, parsed.Tsv, true, out);
    const bool failed = std::any_of(done.begin(), done.end(),
                                    [](const TBatchEvent& e) { return IsFailure(e.Kind); });
    return failed || port.ErrorCount > errors ? 1 : 0;
}

constexpr char kConvertHelp[] =
    "Converts what the radio cannot play in DIR (its files and its folders' files, one level)\n"
    "into MP3 files it plays: MPEG-1 Layer III, 44100 Hz, constant bitrate, joint stereo (mono\n"
    "stays mono), with an Info frame for the true playing time.\n"
    "  - every audio file that is not MP3 (FLAC, M4A/MP4, Opus, Ogg, WAV, AIFF, WMA, APE,\n"
    "    WavPack, MP2, ...) gets an MP3 of its name beside it (\"Song.flac\" -> \"Song.mp3\"),\n"
    "    unless that MP3 is there already; the file itself stays as it is;\n"
    "  - every MP3 file whose audio the profile does not take (MPEG-2 or 2.5, Layer I or II,\n"
    "    WAV named .mp3, free format, a sample rate or bitrate outside the profile) is\n"
    "    converted under its own name; its original is kept byte for byte beside it as\n"
    "    \"Song.mp3.orig\" (\"Song.mp3.2.orig\" when that is taken), which is neither listed nor\n"
    "    put on the disc.\n"
    "The tags go along (title, artist, album, year, track, genre, comment, lyrics) into an\n"
    "ID3v2.3 tag, with the cover while the tag stays within the profile's limit, and into an\n"
    "ID3v1 tag in Windows-1251. A name that is taken gets the next free one (\"Song (2).mp3\");\n"
    "nothing is overwritten. Each file is written under a temporary name and gets its name only\n"
    "when whole; a killed run is completed or undone the next time the folder is opened.\n"
    "Prints one line per file as plan and run do (--tsv: convert PATH NEW-MP3 WHAT, or fail\n"
    "PATH - REASON for a file that cannot be converted or that a cancel left), then a summary.\n"
    "Progress lines go to standard error. Ctrl+C, SIGTERM or SIGHUP cancel: the files being "
    "converted\n"
    "leave nothing behind, those done stay done.\n"
    "  --plan             print the plan only; nothing is written\n"
    "  --bitrate=KBPS     128, 160, 192 (the default), 224, 256 or 320\n"
    "  --jobs=N           files converted at once (default: one per core)\n"
    "  --profile=NAME     \"Blaupunkt MP3 CD (Chevrolet, GM Daewoo)\" (the default) or\n"
    "                     \"Стандартный MP3 CD\"\n"
    "  --tsv              tab-separated lines, no summary\n"
    "Exit status: 0 when everything was converted (or with --plan), 1 when a file failed or was\n"
    "left by a cancel, 2 for a usage error or a folder that cannot be read.\n";

}  // namespace

const TCliCommand kConvertCommand = {
    "convert", "convert DIR [--bitrate=KBPS] [--jobs=N] [--profile=NAME] [--plan] [--tsv]",
    kConvertHelp, RunConvert};

}  // namespace velmora
