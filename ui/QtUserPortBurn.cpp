// The user port's burning: the burn dialog and the burn's progress (ui/BurnDialog.h).
#include <QCoreApplication>
#include <QTimer>

#include "ui/BurnDialog.h"
#include "ui/MainUnit.h"
#include "ui/QtUserPort.h"

namespace velmora {

bool TQtUserPort::AskBurn(TBurnSetup& setup) {
    TBurnDialog dialog(setup, MainForm);
    // The drives are looked for once the dialog is on screen: a drive may take seconds.
    QTimer::singleShot(0, &dialog, &TBurnDialog::Refresh);
    return dialog.exec() == QDialog::Accepted;
}

void TQtUserPort::BeginBurnProgress() {
    delete BurnProgress.data();
    BurnProgress = new TBurnProgressDialog(MainForm);
    BurnProgress->setWindowModality(Qt::WindowModal);
    BurnProgress->show();
}

bool TQtUserPort::StepBurnProgress(const TBurnStatus& status) {
    if (!BurnProgress)
        return true;
    BurnProgress->Show(status);
    QCoreApplication::processEvents();
    return !BurnProgress || !BurnProgress->TakeCancel();
}

void TQtUserPort::EndBurnProgress() {
    delete BurnProgress.data();
}

}  // namespace velmora
