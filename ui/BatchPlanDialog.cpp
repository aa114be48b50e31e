#include "ui/BatchPlanDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/convert/ConvertRules.h"
#include "ui/UiText.h"

namespace velmora {

TBatchPlanDialog::TBatchPlanDialog(const TBatchLog& plan, const std::string& folder,
                                   QWidget* parent)
    : QDialog(parent), Folder(folder) {
    Build("Обработать все файлы: что будет сделано");
    Show(plan);
}

TBatchPlanDialog::TBatchPlanDialog(const TBatchLog& plan, const std::string& folder, int kbps,
                                   std::function<TBatchLog(int)> relabel, QWidget* parent)
    : QDialog(parent), Folder(folder), ChosenKbps(kbps) {
    Build("Перекодировать для магнитолы: что будет сделано");
    Show(plan);
    cbBitrate = new QComboBox(this);
    cbBitrate->setObjectName("cbBitrate");
    for (int k : {128, 160, 192, 224, 256, 320}) {
        if (IsConvertBitrate(k))
            cbBitrate->addItem(QString::number(k) + " кбит/с", k);
    }
    cbBitrate->setCurrentIndex(std::max(0, cbBitrate->findData(kbps)));
    auto* label = new QLabel("Битрейт MP3:", this);
    label->setObjectName("lblBitrate");
    label->setBuddy(cbBitrate);
    auto* buttons = static_cast<QHBoxLayout*>(layout()->itemAt(layout()->count() - 1)->layout());
    buttons->insertWidget(0, label);
    buttons->insertWidget(1, cbBitrate);
    connect(cbBitrate, &QComboBox::currentIndexChanged, this, [this, relabel](int index) {
        ChosenKbps = cbBitrate->itemData(index).toInt();
        Show(relabel(ChosenKbps));
    });
}

void TBatchPlanDialog::Build(const std::string& title) {
    setObjectName("BatchPlanDialog");
    setWindowTitle(ToQt(title));
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName("lblSummary");
    lblSummary->setWordWrap(true);
    layout->addWidget(lblSummary);

    PlanTable = new QTableWidget(0, 3, this);
    PlanTable->setObjectName("PlanTable");
    PlanTable->setHorizontalHeaderLabels({"Действие", "Файл", "Куда / что"});
    PlanTable->verticalHeader()->hide();
    PlanTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PlanTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    PlanTable->horizontalHeader()->setStretchLastSection(true);
    // Long names wrap in a column of their own width (the whole text is the cell's hint too); the
    // last column takes the rest of the width and wraps, so every warning reads without
    // scrolling.
    PlanTable->setWordWrap(true);
    PlanTable->setTextElideMode(Qt::ElideNone);
    PlanTable->horizontalScrollBar()->setEnabled(false);
    PlanTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A scroll bar that came later would narrow the last column after its rows were measured.
    PlanTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The wrapped rows are measured again whenever the last column gets its width.
    connect(PlanTable->horizontalHeader(), &QHeaderView::sectionResized, PlanTable,
            [table = PlanTable] { table->resizeRowsToContents(); });
    layout->addWidget(PlanTable, 1);
    // The chosen row's whole text, the first warning or failure at first: nothing the plan says
    // needs the table's width to be read.
    lblDetails = new QLabel(this);
    lblDetails->setObjectName("lblDetails");
    lblDetails->setWordWrap(true);
    lblDetails->setTextFormat(Qt::PlainText);
    layout->addWidget(lblDetails);
    connect(PlanTable, &QTableWidget::currentCellChanged, lblDetails, [this](int row) {
        if (row < 0 || PlanTable->item(row, 0) == nullptr)
            return;
        lblDetails->setText(PlanTable->item(row, 0)->text() + ": " +
                            PlanTable->item(row, 1)->text() + "\n" +
                            PlanTable->item(row, 2)->text());
    });

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

void TBatchPlanDialog::Show(const TBatchLog& plan) {
    // A change of the disc's order comes first, above the summary.
    const bool order = !plan.empty() && plan.front().Kind == TBatchEvent::TKind::Order;
    lblSummary->setText(
        ToQt((order ? plan.front().Detail + "\n" : "") + BatchSummary(plan, false)));
    const int current = std::max(0, PlanTable->currentRow());
    PlanTable->setRowCount(static_cast<int>(plan.size()));
    for (int row = 0; row < static_cast<int>(plan.size()); ++row) {
        const TBatchEvent& e = plan[static_cast<size_t>(row)];
        // The tab-separated line gives the relative path on one line.
        const QString path = ToQt(FormatBatchEvent(e, Folder, true)).section('\t', 1, 1);
        const QString items[] = {QString::fromUtf8(BatchActionWord(e.Kind)),
                                 path == "-" ? QString() : path, ToQt(BatchEventWhat(e, Folder))};
        const bool bad = IsFailure(e.Kind);
        const bool warn = e.Kind == TBatchEvent::TKind::Warn || e.Kind == TBatchEvent::TKind::Order;
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(items[c]);
            item->setToolTip(items[c]);
            if (bad)
                item->setBackground(QColor(255, 205, 205));
            else if (warn)
                item->setBackground(QColor(255, 240, 190));
            PlanTable->setItem(row, c, item);
        }
    }
    PlanTable->resizeColumnsToContents();
    PlanTable->setColumnWidth(1, std::min(PlanTable->columnWidth(1), 280));
    PlanTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    PlanTable->resizeRowsToContents();
    if (cbBitrate != nullptr) {  // a new bitrate: the same row stays chosen
        PlanTable->setCurrentCell(std::min(current, static_cast<int>(plan.size()) - 1), 0);
        return;
    }
    for (int row = 0; row < static_cast<int>(plan.size()); ++row) {
        if (plan[static_cast<size_t>(row)].Kind == TBatchEvent::TKind::Warn ||
            IsFailure(plan[static_cast<size_t>(row)].Kind)) {
            PlanTable->setCurrentCell(row, 0);
            break;
        }
    }
}

}  // namespace velmora
