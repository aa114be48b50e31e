// "Записать диск…": the dialog mirrors the model of core/burn/BurnSetup.h (the drives, the
// medium, the speed, the dummy and eject boxes, what "Записать" will do) and forwards the user's
// input to it; it decides nothing. The burn's progress is ui/ProgressDialog.h.
#pragma once

#include <QDialog>
#include <functional>

#include "core/burn/BurnSetup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmora {

class TBurnDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TBurnDialog(TBurnSetup& setup, QWidget* parent = nullptr);

    // Looks for the drives and the chosen one's medium (the drive may take seconds: the cursor
    // shows it), then mirrors the setup.
    void Refresh();
    // Sets every widget from the setup, with the widgets' signals blocked.
    void Sync();

    TBurnSetup& Setup;
    QLabel* lblImage;
    QComboBox* cbDrive;
    QPushButton* btnRefresh;
    QLabel* lblMedium;
    QComboBox* cbSpeed;
    QLabel* lblSpeedHint;
    QCheckBox* cbDummy;
    QCheckBox* cbEject;
    QLabel* lblVerdict;
    QPushButton* btnBurn;
    QPushButton* btnCancel;

  private:
    // Runs a change of the setup that may ask the drive, with the wait cursor, then mirrors.
    void AskDrive(const std::function<void()>& change);
};

}  // namespace velmora
