#include "cli/CliFolder.h"

#include <map>

#include "core/MainModel.h"

namespace velmora {
namespace {

// Opens the folder as the window does and runs `then` in the same model.
template <typename F>
int WithOpenFolder(const std::string& folder, std::ostream& err, F then) {
    TQuietPort port(err);
    port.Folder = folder;
    TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.FileMenuAddDirClick(); });
    then(model);
    return port.ErrorCount == 0 ? 0 : 1;
}

void WriteLines(const std::vector<std::string>& lines, std::ostream& out) {
    for (const std::string& line : lines)
        out << line << "\n";
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

int ProbeFolder(const std::string& folder, std::ostream& out, std::ostream& err) {
    return WithOpenFolder(folder, err, [&](TMainModel& model) {
        out << "NumFilesLabel: " << model.NumFilesLabel.Caption << "\n";
        out << "SizeFilesLabel: " << model.SizeFilesLabel.Caption << "\n";
        out << "lblTotalTime: " << model.lblTotalTime.Caption << "\n";
        WriteLines(model.TrackList, out);
    });
}

int ProbeFileListReport(const std::string& folder, const TFileListReportOptions& options,
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

int ProbeTagListReport(const std::string& folder, const TTagListReportOptions& options,
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
            o.cb_AddSize = true;
            o.cb_AddSizeClick();
            o.rb_InBytes = flag == "--size=bytes";
            o.rb_InKbytes = flag == "--size=kb";
            o.rb_InMbytes = flag == "--size=mb";
        } else if (flag == "--count") {
            o.cb_FilesCount = true;
        } else if (flag == "--total-size") {
            o.cb_TotalSize = true;
        } else if (flag == "--total-time") {
            o.cb_TotalTime = true;
        } else {
            err << "velmora-cli: unknown file list option " << flag << " (see --help)\n";
            return false;
        }
    }
    return true;
}

bool ParseTagListFlags(const std::vector<std::string>& flags, TTagListReportOptions& o,
                       std::ostream& err) {
    static const std::map<std::string, std::string> kFields = {
        {"title", "Название"}, {"artist", "Исполнитель"}, {"album", "Альбом"},
        {"year", "Год"},       {"track", "№ трека"},      {"genre", "Жанр"}};
    for (const std::string& flag : flags) {
        if (StartsWith(flag, "--fields=")) {
            // Each named field moves from the available list to the end of the chosen one, as
            // the dialog's ">" does.
            std::string rest = flag.substr(9);
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                const std::string key = rest.substr(0, comma);
                rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
                const auto it = kFields.find(key);
                const std::string name = it == kFields.end() ? key : it->second;
                int index = -1;
                for (size_t i = 0; i < o.lb_avaliable.size(); ++i) {
                    if (o.lb_avaliable[i] == name)
                        index = static_cast<int>(i);
                }
                if (index < 0) {
                    err << "velmora-cli: no available field " << key << " (see --help)\n";
                    return false;
                }
                o.lb_avaliableIndex = index;
                o.btAddOneClick();
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
            err << "velmora-cli: unknown tag list option " << flag << " (see --help)\n";
            return false;
        }
    }
    return true;
}

}  // namespace velmora
