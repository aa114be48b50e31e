#include "cli/CliFolder.h"

#include "cli/CliCommand.h"
#include "core/model/MainModel.h"
#include "core/model/QuietPort.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// Opens the folder as the window does and runs `then` in the same model.
template <typename F>
int WithOpenFolder(const std::string& folder, std::ostream& err, F then) {
    TQuietPort port(err);
    TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(folder); });
    then(model);
    return port.ErrorCount == 0 ? 0 : 1;
}

void WriteLines(const std::vector<std::string>& lines, std::ostream& out) {
    for (const std::string& line : lines)
        out << EscapeForLine(line) << "\n";
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

int ListFolder(const std::string& folder, std::ostream& out, std::ostream& err) {
    return WithOpenFolder(folder, err, [&](TMainModel& model) {
        out << "NumFilesLabel: " << model.NumFilesLabel.Caption << "\n";
        out << "SizeFilesLabel: " << model.SizeFilesLabel.Caption << "\n";
        out << "lblTotalTime: " << model.lblTotalTime.Caption << "\n";
        WriteLines(model.TrackList, out);
    });
}

int PrintFileListReport(const std::string& folder, const TFileListReportOptions& options,
                        const std::string& outFile, std::ostream& out, std::ostream& err) {
    return WithOpenFolder(folder, err, [&](TMainModel& model) {
        const auto lines = BuildFileListReport(model.Fs, model.TrackList, model.InputFolder,
                                               model.lblTotalTime.Caption, options);
        if (outFile.empty())
            WriteLines(lines, out);
        else
            model.Run([&] { SaveReportLines(model.Fs, outFile, lines); });
    });
}

int PrintTagListReport(const std::string& folder, const TTagListReportOptions& options,
                       const std::string& outFile, std::ostream& out, std::ostream& err) {
    return WithOpenFolder(folder, err, [&](TMainModel& model) {
        std::vector<std::string> lines;
        bool built = false;
        model.Run([&] {
            lines = model.BuildTagListReport(options, model.lblTotalTime.Caption);
            built = true;
        });
        if (built && outFile.empty())
            WriteLines(lines, out);
        else if (built)
            model.Run([&] { SaveReportLines(model.Fs, outFile, lines); });
    });
}

bool ParseFileListFlags(const std::vector<std::string>& flags, TFileListReportOptions& o,
                        std::ostream& err) {
    for (const std::string& flag : flags) {
        if (flag == "--dir-first" || flag == "--dir-to-all" || flag == "--no-dir") {
            o.DirNameFirst = flag == "--dir-first";
            o.DirNameToAll = flag == "--dir-to-all";
            o.withoutDirName = flag == "--no-dir";
        } else if (flag == "--no-numbers") {
            o.cb_NumFiles = false;
        } else if (flag == "--ext") {
            o.cb_AddExt = true;
        } else if (flag == "--size=bytes" || flag == "--size=kb" || flag == "--size=mb") {
            using EUnit = TFileListReportOptions::ESizeUnit;
            o.ChooseSize(flag == "--size=bytes" ? EUnit::Bytes
                         : flag == "--size=kb"  ? EUnit::Kilobytes
                                                : EUnit::Megabytes);
        } else if (flag == "--count") {
            o.cb_FilesCount = true;
        } else if (flag == "--total-size") {
            o.cb_TotalSize = true;
        } else if (flag == "--total-time") {
            o.cb_TotalTime = true;
        } else {
            UsageError(err, kReportCommand, "нет такого ключа списка файлов: " + flag);
            return false;
        }
    }
    return true;
}

bool ParseTagListFlags(const std::vector<std::string>& flags, TTagListReportOptions& o,
                       std::ostream& err) {
    for (const std::string& flag : flags) {
        if (StartsWith(flag, "--fields=")) {
            // Each named field moves from the available list to the end of the chosen one, as
            // the dialog's ">" does. Names are the command line's keys or the dialog's.
            std::string rest = flag.substr(9);
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                const std::string key = rest.substr(0, comma);
                rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
                if (!o.ChooseField(key)) {
                    UsageError(err, kReportCommand,
                               "поля «" + key + "» нет среди доступных (или оно уже выбрано)");
                    return false;
                }
            }
        } else if (StartsWith(flag, "--separator=")) {
            o.edSeparator = flag.substr(12);
        } else if (flag == "--no-numbers") {
            o.cb_numeric = false;
        } else if (flag == "--no-count") {
            o.cb_TotalTrack = false;
        } else if (flag == "--time") {
            o.cb_Time = true;
        } else if (flag == "--total-time") {
            o.cb_TotalTime = true;
        } else if (flag == "--keep-zeros") {
            o.cb_ZeroRemove = false;
        } else {
            UsageError(err, kReportCommand, "нет такого ключа списка тегов: " + flag);
            return false;
        }
    }
    return true;
}

// ---- The commands ----

namespace {

constexpr char kListHelp[] =
    "Opens DIR as the window does (questions answered No, dialogs cancelled) and prints\n"
    "\"NumFilesLabel: \", \"SizeFilesLabel: \" and \"lblTotalTime: \" lines with the totals, then\n"
    "the listed file names, one a line, in list order. Errors go to standard error, and the\n"
    "exit status is then 1.\n";

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1)
        return UsageError(err, kListCommand, "нужна одна папка");
    if (!CheckFolderArgument(args[0], err))
        return 2;
    return ListFolder(args[0], out, err);
}

constexpr char kReportHelp[] =
    "report files DIR opens DIR as the window does and prints the lines of the file list report\n"
    "(UTF-8, one a line). Options, defaults as the dialog's:\n"
    "  --dir-first | --dir-to-all | --no-dir   folder path first / before each name / nowhere\n"
    "  --no-numbers                            do not number the lines\n"
    "  --ext                                   add \".mp3\"\n"
    "  --size=bytes | --size=kb | --size=mb    add the size in that unit\n"
    "  --count, --total-size, --total-time     the end-of-list lines\n"
    "\n"
    "report tags DIR opens DIR and prints the lines of the tag list report. Options:\n"
    "  --fields=LIST          chosen fields in order, comma-separated: title, artist, album,\n"
    "                         year, track, genre, or the dialog's Russian names (any case)\n"
    "  --separator=TEXT       text between fields (default \" - \")\n"
    "  --no-numbers           do not number the lines\n"
    "  --no-count             no track count line\n"
    "  --time                 remove leading zeros from each line's time too\n"
    "  --total-time           the total time line\n"
    "  --keep-zeros           do not remove leading zeros\n"
    "\n"
    "With --out FILE a report is written into FILE as the window saves it (Windows-1251, CR LF,\n"
    "through a temporary file) instead of standard output. Errors go to standard error, and the\n"
    "exit status is then 1.\n";

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2 || (args[0] != "files" && args[0] != "tags"))
        return UsageError(err, kReportCommand, "нужно files или tags, затем папка");
    std::vector<std::string> flags(args.begin() + 2, args.end());
    std::string outFile;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] == "--out") {
            if (i + 1 >= flags.size())
                return UsageError(err, kReportCommand, "после --out нужно имя файла");
            outFile = flags[i + 1];
            flags.erase(flags.begin() + static_cast<long>(i),
                        flags.begin() + static_cast<long>(i) + 2);
            break;
        }
    }
    if (args[0] == "files") {
        TFileListReportOptions options;
        if (!ParseFileListFlags(flags, options, err))
            return 2;
        if (!CheckFolderArgument(args[1], err))
            return 2;
        return PrintFileListReport(args[1], options, outFile, out, err);
    }
    TTagListReportOptions options;
    if (!ParseTagListFlags(flags, options, err))
        return 2;
    if (!CheckFolderArgument(args[1], err))
        return 2;
    return PrintTagListReport(args[1], options, outFile, out, err);
}

}  // namespace

const TCliCommand kListCommand = {"list", "list DIR", kListHelp, RunList};
const TCliCommand kReportCommand = {"report",
                                    "report files DIR [OPTION...] [--out FILE]\n"
                                    "report tags DIR [OPTION...] [--out FILE]",
                                    kReportHelp, RunReport};

}  // namespace velmora
