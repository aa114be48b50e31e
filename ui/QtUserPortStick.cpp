// The user port's side of "Записать на флешку…": the drive dialog (ui/StickDialog.h) and the
// stick's problems before the copy.
#include "core/stick/Stick.h"
#include "ui/MainUnit.h"
#include "ui/QtUserPort.h"
#include "ui/StickDialog.h"

namespace velmora {

std::optional<std::string> TQtUserPort::AskStickTarget() {
    TStickDialog dialog(MainForm);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen().empty())
        return std::nullopt;
    return dialog.Chosen();
}

bool TQtUserPort::ShowStickPlan(const TStickPlan& plan) {
    const std::string question = StickPlanQuestion(plan);
    return question.empty() || AskYesNo(question);
}

}  // namespace velmora
