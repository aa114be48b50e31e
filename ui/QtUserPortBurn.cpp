// The user port's burn dialog (ui/BurnDialog.h).
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

}  // namespace velmora
