// The progress of a long command (an image, a burn, a conversion): its step, the file at hand,
// the bar, the speed and the time left, what a cancel would cost, and «Отмена». It tells when
// «Отмена» was pressed; the model decides what follows.
#pragma once

#include <QDialog>

#include "core/text/Progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

class TProgressDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TProgressDialog(const QString& caption, QWidget* parent = nullptr);

    void Show(const TProgress& progress);
    // True once for each press of «Отмена» (or Esc, or closing the window) since the last call.
    bool TakeCancel();

    QLabel* lblStep;
    QLabel* lblItem;
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
