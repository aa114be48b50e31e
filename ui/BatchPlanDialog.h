// The plan of "Обработать все файлы" before it runs: a summary, every step as a row of a table
// (warnings and failures marked), and "Выполнить" / "Отмена".
#pragma once

#include <QDialog>
#include <string>

#include "core/model/BatchLog.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class TBatchPlanDialog : public QDialog {
    Q_OBJECT
  public:
    TBatchPlanDialog(const TBatchLog& plan, const std::string& folder, QWidget* parent = nullptr);

    QLabel* lblSummary;
    QTableWidget* PlanTable;
    QLabel* lblDetails;  // the chosen row's whole text
    QPushButton* btnRun;
    QPushButton* btnCancel;
};

}  // namespace velmora
