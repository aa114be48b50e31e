// The plan of "Обработать все файлы" (and of "Перекодировать для магнитолы…") before it runs: a
// summary, every step as a row of a table (warnings and failures marked), and "Выполнить" /
// "Отмена"; for a conversion also the bitrate to choose.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "core/model/BatchLog.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class TBatchPlanDialog : public QDialog {
    Q_OBJECT
  public:
    TBatchPlanDialog(const TBatchLog& plan, const std::string& folder, QWidget* parent = nullptr);
    // The plan of a conversion at `kbps`, with the bitrate box: a change shows relabel's lines.
    TBatchPlanDialog(const TBatchLog& plan, const std::string& folder, int kbps,
                     std::function<TBatchLog(int)> relabel, QWidget* parent = nullptr);

    int Kbps() const { return ChosenKbps; }

    QLabel* lblSummary;
    QTableWidget* PlanTable;
    QLabel* lblDetails;              // the chosen row's whole text
    QComboBox* cbBitrate = nullptr;  // a conversion's only
    QPushButton* btnRun;
    QPushButton* btnCancel;

  private:
    std::string Folder;
    int ChosenKbps = 0;
    void Build(const std::string& title);
    void Show(const TBatchLog& plan);
};

}  // namespace velmora
