#include "core/reports/ReportOptions.h"

#include "core/tags/TagFields.h"
#include "core/text/Collation.h"

namespace velmora {
namespace {

// Moves the selected item (the first when none is selected) to the end of the other list; then
// neither list has a selected item.
void MoveOne(std::vector<std::string>& from, int& fromIndex, std::vector<std::string>& to,
             int& toIndex) {
    if (from.empty())
        return;
    const size_t pos =
        fromIndex >= 0 && static_cast<size_t>(fromIndex) < from.size() ? fromIndex : 0;
    to.push_back(from[pos]);
    from.erase(from.begin() + static_cast<std::ptrdiff_t>(pos));
    fromIndex = -1;
    toIndex = -1;
}

// Appends every item, in order, to the other list and empties the source.
void MoveAll(std::vector<std::string>& from, int& fromIndex, std::vector<std::string>& to) {
    to.insert(to.end(), from.begin(), from.end());
    from.clear();
    fromIndex = -1;
}

}  // namespace

std::vector<std::string> ReportFieldNames() {
    std::vector<std::string> names;
    for (TTagField field : kEditorRowOrder)
        if (TagFieldInfo(field).ReportName != nullptr)
            names.push_back(TagFieldInfo(field).ReportName);
    return names;
}

void TFileListReportOptions::ChooseSize(ESizeUnit unit) {
    cb_AddSize = true;
    cb_AddSizeClick();
    rb_InBytes = unit == ESizeUnit::Bytes;
    rb_InKbytes = unit == ESizeUnit::Kilobytes;
    rb_InMbytes = unit == ESizeUnit::Megabytes;
}

bool TTagListReportOptions::ChooseField(const std::string& name) {
    const TCollator& collator = UserCollator();
    std::string shown = name;
    for (const TTagFieldInfo& field : TagFields())
        if (field.ReportName != nullptr && collator.Equivalent(name, field.Key))
            shown = field.ReportName;
    for (size_t i = 0; i < lb_avaliable.size(); ++i) {
        if (collator.Equivalent(lb_avaliable[i], shown)) {
            lb_avaliableIndex = static_cast<int>(i);
            btAddOneClick();
            return true;
        }
    }
    return false;
}

void TTagListReportOptions::FormShow() {
    if (!lb_avaliable.empty())
        lb_avaliableIndex = 0;
}

void TTagListReportOptions::btAddOneClick() {
    MoveOne(lb_avaliable, lb_avaliableIndex, lb_select, lb_selectIndex);
}

void TTagListReportOptions::btAddAllClick() {
    MoveAll(lb_avaliable, lb_avaliableIndex, lb_select);
}

void TTagListReportOptions::btRemoveAllClick() {
    MoveAll(lb_select, lb_selectIndex, lb_avaliable);
}

void TTagListReportOptions::btRemoveOneClick() {
    MoveOne(lb_select, lb_selectIndex, lb_avaliable, lb_avaliableIndex);
}

}  // namespace velmora
