// The file list report and the writing of report lines.
#include "core/reports/Reports.h"

#include "core/text/TextCodec.h"
#include "core/text/TrackRules.h"

namespace velmora {
namespace {

size_t DecimalDigits(size_t n) {
    return std::to_string(n).size();
}

}  // namespace

std::vector<std::string> BuildFileListReport(TFileSystem& fs,
                                             const std::vector<std::string>& trackList,
                                             const std::string& inputFolder,
                                             const std::string& totalTime,
                                             const TFileListReportOptions& options) {
    std::vector<std::string> lines;
    const size_t count = trackList.size();
    // The numbers are padded to the width of count + 1, the blank after the number included.
    const size_t width = DecimalDigits(count + 1);
    int64_t totalBytes = 0;
    if (options.DirNameFirst)
        lines.push_back(inputFolder);
    for (size_t i = 0; i < count; ++i) {
        const std::string& name = trackList[i];
        const int32_t size = TrackSize(fs.EntrySize(JoinPath(inputFolder, name)));
        totalBytes += size;
        std::string line;
        if (options.cb_NumFiles) {
            line = std::to_string(i + 1) + " ";
            if (line.size() < width)
                line.insert(0, width - line.size(), ' ');
        }
        if (options.DirNameToAll)
            line += JoinPath(inputFolder, "");
        line += Utf8DropLast(name, 4);  // the name without ".mp3"
        if (options.cb_AddExt)
            line += ".mp3";
        if (options.cb_AddSize) {
            line += " ";
            if (options.rb_InBytes) {
                line += std::to_string(size);
            } else if (options.rb_InKbytes) {
                line += std::to_string(RoundKilobytes(size));
            } else if (options.rb_InMbytes) {
                line += std::to_string(RoundMegabytes(size));
            }
        }
        lines.push_back(std::move(line));
    }
    if (options.cb_FilesCount)
        lines.push_back("Всего файлов: " + std::to_string(count));
    if (options.cb_TotalSize) {
        lines.push_back("Размер: " + std::to_string(RoundMegabytes(totalBytes)) + " Mb");
    }
    if (options.cb_TotalTime)
        lines.push_back("Время: " + totalTime);
    return lines;
}

void SaveReportLines(TFileSystem& fs, const std::string& fileName,
                     const std::vector<std::string>& lines, bool inPlaceAllowed) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += Utf8ToCp1251(line);
        bytes += "\r\n";
    }
    fs.WriteFileReplacing(fileName, bytes, inPlaceAllowed);
}
}  // namespace velmora
