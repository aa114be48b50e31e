// "Проверка диска": every problem of the folder on the disc with the file it concerns, the names
// made for the disc, and the summary. Shown alone (OK) or before an image is written
// ("Записать" / "Отмена").
#pragma once

#include <QDialog>

#include "core/Disc.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class TDiscCheckDialog : public QDialog {
    Q_OBJECT
  public:
    TDiscCheckDialog(const TDiscCheck& check, bool beforeImage, QWidget* parent = nullptr);

    QLabel* lblSummary;
    QTableWidget* ProblemTable;
    QPushButton* btnOk;
    QPushButton* btnCancel = nullptr;  // before an image only
};

}  // namespace velmora
