// The two reports of the track list: the file list and the list built from the ID3v1 tags.
#include <string>
#include <vector>

#include "core/MainModel.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

size_t DecimalDigits(size_t n) {
    return std::to_string(n).size();
}

// The name without its last four characters (usually the extension ".mp3").
std::string WithoutExtension(const std::string& name) {
    size_t end = name.size();
    for (int chars = 0; chars < 4 && end > 0; ++chars) {
        // Step back over one UTF-8 character; a stray byte counts as one character.
        size_t start = end - 1;
        size_t back = 0;
        while (start > 0 && back < 3 && (static_cast<uint8_t>(name[start]) & 0xC0) == 0x80) {
            --start;
            ++back;
        }
        const auto lead = static_cast<uint8_t>(name[start]);
        const size_t len = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
        end = len == end - start ? start : end - 1;
    }
    return name.substr(0, end);
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
        const int32_t size = TrackFileSize(fs, JoinPath(inputFolder, name));
        totalBytes += size;
        std::string line;
        if (options.cb_NumFiles) {
            line = std::to_string(i + 1) + " ";
            if (line.size() < width)
                line.insert(0, width - line.size(), ' ');
        }
        if (options.DirNameToAll)
            line += JoinPath(inputFolder, "");
        line += WithoutExtension(name);
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
                     const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += Utf8ToCp1251(line);
        bytes += "\r\n";
    }
    fs.WriteFileReplacing(fileName, bytes);
}

std::vector<std::string> TMainModel::BuildTagListReport(const TTagListReportOptions& options,
                                                        const std::string& totalTime) {
    std::vector<std::string> lines;
    const size_t count = TrackList.size();
    for (size_t i = 0; i < count; ++i) {
        SelectTrack(static_cast<int>(i));
        FilesListBoxClick();
        std::string line = options.cb_numeric ? std::to_string(i + 1) + " " : std::string();
        const size_t fields = options.lb_select.size();
        for (size_t k = 0; k < fields; ++k) {
            const std::string& field = options.lb_select[k];
            std::string value;
            if (field == "Название") {
                value = edTitle.Text;
            } else if (field == "Исполнитель") {
                value = edArtist.Text;
            } else if (field == "Альбом") {
                value = edAlbum.Text;
            } else if (field == "Год") {
                value = edYear.Text;
            } else if (field == "№ трека") {
                value = std::to_string(SpinValue(edTrack.Text, 0));
            } else if (field == "Жанр") {
                value = edGenre.Text;
            } else {
                continue;  // an unknown name adds nothing, not even a separator
            }
            line += value;
            if (k + 1 < fields)
                line += options.edSeparator;
        }
        const std::string time = options.cb_Time && options.cb_ZeroRemove
                                     ? StripLeadingZeros(lblDuration.Caption)
                                     : lblDuration.Caption;
        line += " " + time;
        lines.push_back(std::move(line));
    }
    if (options.cb_TotalTrack)
        lines.push_back("Всего треков: " + std::to_string(count));
    if (options.cb_TotalTime) {
        lines.push_back("Время: " +
                        (options.cb_ZeroRemove ? StripLeadingZeros(totalTime) : totalTime));
    }
    return lines;
}

void TMainModel::TrackListMenuSaveFilesListClick() {
    if (!Port.ShowFileListOptions(FileListOptions))
        return;
    const std::optional<std::string> fileName = Port.ExecuteSaveDialog();
    if (!fileName)
        return;
    SaveReportLines(
        Fs, *fileName,
        BuildFileListReport(Fs, TrackList, InputFolder, lblTotalTime.Caption, FileListOptions));
}

void TMainModel::TrackListMenuSaveFromID3v1Click() {
    // The dialog's show handler runs before it appears.
    TagListOptions.FormShow();
    if (!Port.ShowTagListOptions(TagListOptions))
        return;
    const std::optional<std::string> fileName = Port.ExecuteSaveDialog();
    if (!fileName)
        return;
    const std::vector<std::string> lines = BuildTagListReport(TagListOptions, lblTotalTime.Caption);
    SaveReportLines(Fs, *fileName, lines);
}

}  // namespace velmora
