// The options dialog of the file list report.
#pragma once

#include <QDialog>

#include "core/reports/ReportOptions.h"

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace velmora {

class TSaveFilesForm : public QDialog {
    Q_OBJECT
  public:
    explicit TSaveFilesForm(QWidget* parent = nullptr);

    // Shows the dialog modally on these options. Every click changes them at once, so the
    // choices stay as the user left them whichever way the dialog closes. True for OK.
    bool Execute(TFileListReportOptions& options);
    // Binds the dialog to the options and shows their states (Execute does this first).
    void Bind(TFileListReportOptions& options);
    TFileListReportOptions& Options() { return *Bound; }

    QGroupBox* GroupDirName;
    QRadioButton *DirNameFirst, *DirNameToAll, *withoutDirName;
    QCheckBox *cb_FilesCount, *cb_TotalSize, *cb_TotalTime;
    QGroupBox* GroupFileInfo;
    QCheckBox *cb_NumFiles, *cb_AddExt, *cb_AddSize;
    QRadioButton *rb_InBytes, *rb_InKbytes, *rb_InMbytes;
    QPushButton *btOk, *btCancel;

  private:
    TFileListReportOptions Own;  // the states until the first Bind
    TFileListReportOptions* Bound = &Own;
    bool Showing = false;  // the widgets are being set from the options
    void ShowStates();
    void StoreStates();
    void cb_AddSizeClick();
};

}  // namespace velmora
