#include "ui/BatchPlanDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace velmora {

TBatchPlanDialog::TBatchPlanDialog(const TBatchLog& plan, const std::string& folder,
                                   QWidget* parent)
    : QDialog(parent) {
    setObjectName("BatchPlanDialog");
    setWindowTitle("Обработать все файлы: что будет сделано");
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);
    lblSummary = new QLabel(ToQt(BatchSummary(plan, false)), this);
    lblSummary->setObjectName("lblSummary");
    lblSummary->setWordWrap(true);
    layout->addWidget(lblSummary);

    PlanTable = new QTableWidget(static_cast<int>(plan.size()), 3, this);
    PlanTable->setObjectName("PlanTable");
    PlanTable->setHorizontalHeaderLabels({"Действие", "Файл", "Куда / что"});
    PlanTable->verticalHeader()->hide();
    PlanTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PlanTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    PlanTable->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < static_cast<int>(plan.size()); ++row) {
        const TBatchEvent& e = plan[static_cast<size_t>(row)];
        // The tab-separated line gives the relative, escaped paths.
        const QStringList cols = ToQt(FormatBatchEvent(e, folder, true)).split('\t');
        QString what = cols.value(2) == "-" ? QString() : cols.value(2);
        if (e.Kind != TBatchEvent::TKind::Move && e.Kind != TBatchEvent::TKind::Save &&
            e.Kind != TBatchEvent::TKind::Mkdir) {
            what = (what.isEmpty() ? QString() : what + ": ") + ToQt(e.Detail);
        }
        const QString items[] = {QString::fromUtf8(BatchActionWord(e.Kind)),
                                 cols.value(1) == "-" ? QString() : cols.value(1), what};
        const bool bad = IsFailure(e.Kind);
        const bool warn = e.Kind == TBatchEvent::TKind::Warn;
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(items[c]);
            if (bad)
                item->setBackground(QColor(255, 205, 205));
            else if (warn)
                item->setBackground(QColor(255, 240, 190));
            PlanTable->setItem(row, c, item);
        }
    }
    PlanTable->resizeColumnsToContents();
    layout->addWidget(PlanTable, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnRun = new QPushButton("Выполнить", this);
    btnRun->setObjectName("btnRun");
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setDefault(true);
    buttons->addWidget(btnRun);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnRun, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace velmora
