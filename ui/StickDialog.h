// "Записать на флешку…": the removable drives mounted now (core/stick/MountTable.h), one to
// choose, or «Другая папка…» for any folder; "Записать" gives the choice back. It decides
// nothing: the copy and its checks are the model's (core/model/StickJob.h).
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "core/stick/MountTable.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace velmora {

class TStickDialog : public QDialog {
    Q_OBJECT
  public:
    // `drives` lists the drives (RemovableDrives by default; a test gives its own).
    explicit TStickDialog(QWidget* parent = nullptr,
                          std::function<std::vector<TStickDrive>()> drives = RemovableDrives);

    // Lists the drives again.
    void Refresh();
    // The place chosen: a drive's mount point or the other folder; "" for none.
    std::string Chosen() const;
    // What «Другая папка…» asks (the folder dialog by default).
    std::function<std::string()> AskFolder;

    QLabel* lblDrives;
    QListWidget* lstDrives;
    QPushButton* btnRefresh;
    QPushButton* btnOther;
    QPushButton* btnWrite;
    QPushButton* btnCancel;

  private:
    std::function<std::vector<TStickDrive>()> Drives;
    std::vector<TStickDrive> Shown;
    std::string Other;
};

}  // namespace velmora
