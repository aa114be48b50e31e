// The states of the two report option dialogs. They live in the model for the whole run, so the
// user's choices carry over from one report to the next; every run starts from these defaults.
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct TFileListReportOptions {
    // Group " Имя папки ": exactly one is on.
    bool DirNameFirst = false;
    bool DirNameToAll = false;
    bool withoutDirName = true;
    // Group " Информация о файле ".
    bool cb_NumFiles = true;
    bool cb_AddExt = false;
    bool cb_AddSize = false;
    // Size unit: exactly one is on; enabled only while cb_AddSize is on.
    bool rb_InBytes = false;
    bool rb_InKbytes = false;
    bool rb_InMbytes = true;
    bool UnitsEnabled = false;
    // End-of-list lines.
    bool cb_FilesCount = false;
    bool cb_TotalSize = false;
    bool cb_TotalTime = false;

    void cb_AddSizeClick() { UnitsEnabled = cb_AddSize; }
    // Sizes shown, in this unit, as ticking the box and choosing the unit does.
    enum class ESizeUnit { Bytes, Kilobytes, Megabytes };
    void ChooseSize(ESizeUnit unit);
};

std::vector<std::string> ReportFieldNames();

struct TTagListReportOptions {
    // The fields the report can list, as the editor's rows (TagFields' report names).
    std::vector<std::string> lb_avaliable = ReportFieldNames();
    std::vector<std::string> lb_select;
    int lb_avaliableIndex = -1;  // selected item, -1 for none
    int lb_selectIndex = -1;
    std::string edSeparator = " - ";
    bool cb_numeric = true;
    bool cb_TotalTrack = true;
    bool cb_Time = false;
    bool cb_TotalTime = false;
    bool cb_ZeroRemove = true;

    void FormShow();
    void btAddOneClick();
    void btAddAllClick();
    void btRemoveAllClick();
    void btRemoveOneClick();
    // Moves the field named by its command-line key ("title") or its name in the list
    // ("Название"), letter case aside, to the end of the chosen ones, as selecting it and ">"
    // does; false when it is not among the available ones.
    bool ChooseField(const std::string& name);
};

}  // namespace velmora
