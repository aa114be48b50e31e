// "Записать диск…" and its progress. The burn dialog mirrors the model of core/BurnSetup.h (the
// drives, the medium, the speed, the dummy and eject boxes, what "Записать" will do) and
// forwards the user's input to it; the progress dialog shows a burn's step, percentage, speed and
// time left and tells when "Отмена" was pressed. Neither decides anything.
#pragma once

#include <QDialog>
#include <functional>

#include "core/burn/BurnJob.h"
#include "core/burn/BurnSetup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
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

class TBurnProgressDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TBurnProgressDialog(QWidget* parent = nullptr);

    void Show(const TBurnStatus& status);
    // True once for each press of "Отмена" (or Esc, or closing the window) since the last call.
    bool TakeCancel();

    QLabel* lblStep;
    QProgressBar* ProgressBar;
    QLabel* lblSpeed;
    QLabel* lblTimeLeft;
    QLabel* lblWarning;
    QPushButton* btnCancel;

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool CancelAsked = false;
};

}  // namespace velmora
