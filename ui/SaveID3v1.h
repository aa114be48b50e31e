// The options dialog of the tag list report.
#pragma once

#include <QDialog>

#include "core/reports/ReportOptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velmora {

class TSaveID3v1Form : public QDialog {
    Q_OBJECT
  public:
    explicit TSaveID3v1Form(QWidget* parent = nullptr);

    // Shows the dialog modally on these options. Every change reaches them at once, so the
    // choices stay as the user left them whichever way the dialog closes. True for OK.
    bool Execute(TTagListReportOptions& options);
    // Binds the dialog to the options and shows their states (Execute does this first).
    void Bind(TTagListReportOptions& options);
    TTagListReportOptions& Options() { return *Bound; }

    QLabel *Label1, *Label2, *Label3;
    QListWidget *lb_avaliable, *lb_select;
    QPushButton *btAddOne, *btAddAll, *btRemoveAll, *btRemoveOne;
    QLineEdit* edSeparator;
    QCheckBox *cb_numeric, *cb_TotalTrack, *cb_Time, *cb_TotalTime, *cb_ZeroRemove;
    QPushButton *btOk, *btCancel;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TTagListReportOptions Own;  // the states until the first Bind
    TTagListReportOptions* Bound = &Own;
    bool Showing = false;  // the widgets are being set from the options
    void FormShow();
    void ShowStates();
    void StoreStates();
    void Move(void (TTagListReportOptions::*click)());
};

}  // namespace velmora
