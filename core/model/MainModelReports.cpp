// The model's report commands: the file list and the list built from the ID3v1 tags.
#include <algorithm>
#include <string>
#include <vector>

#include "core/model/MainModel.h"

namespace velmora {

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
            const std::string& name = options.lb_select[k];
            const auto& table = TagFields();
            const auto field = std::find_if(table.begin(), table.end(), [&](const auto& f) {
                return f.ReportName != nullptr && name == f.ReportName;
            });
            if (field == table.end())
                continue;  // an unknown name adds nothing, not even a separator
            line += field->Field == TTagField::Track ? std::to_string(SpinValue(edTrack.Text, 0))
                                                     : FieldEdit(field->Field).Text;
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
    SaveReport(*fileName, BuildFileListReport(Fs, TrackList, InputFolder, lblTotalTime.Caption,
                                              FileListOptions));
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
    SaveReport(*fileName, lines);
}

void TMainModel::SaveReport(const std::string& path, const std::vector<std::string>& lines) {
    try {
        SaveReportLines(Fs, path, lines);
    } catch (const EInPlaceNeeded& e) {
        // The folder takes no new file: the report can only be overwritten in place, which a
        // stop half way would leave half old, half new.
        if (!Port.AskBeforeLoss("Рядом с файлом " + path +
                                " нельзя создать временный файл. Перезаписать файл на месте? Если "
                                "запись прервётся, файл останется испорченным."))
            throw;
        SaveReportLines(Fs, path, lines, true);
    }
}

}  // namespace velmora
