#include "ui/DiscCheckDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace velmora {

TDiscCheckDialog::TDiscCheckDialog(const TDiscCheck& check, bool beforeImage, QWidget* parent)
    : QDialog(parent) {
    setObjectName("DiscCheckDialog");
    setWindowTitle(beforeImage ? "Создать образ диска: предупреждения" : "Проверка диска");
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);
    QString summary = ToQt(check.Profile.Name + "\n" + DiscSummary(check));
    if (check.Problems.empty())
        summary += "\nПроблем не найдено";
    else if (check.HasFatal())
        summary += "\nДиск не будет играть: образ не записывается";
    lblSummary = new QLabel(summary, this);
    lblSummary->setObjectName("lblSummary");
    lblSummary->setWordWrap(true);
    layout->addWidget(lblSummary);

    struct TRow {
        std::string Path, Text;
        bool Fatal;
    };
    std::vector<TRow> rows;
    for (const TDiscProblem& p : check.Problems)
        rows.push_back({p.Path, p.Text, p.Fatal});
    if (beforeImage) {
        for (const TDiscEntry* e : RenamedDiscEntries(check))
            rows.push_back(
                {e->Source, "Имя на диске: " + e->Name + " (" + e->IsoName + ")", false});
    }
    ProblemTable = new QTableWidget(static_cast<int>(rows.size()), 2, this);
    ProblemTable->setObjectName("ProblemTable");
    ProblemTable->setHorizontalHeaderLabels({"Файл", "Проблема и что сделать"});
    ProblemTable->verticalHeader()->hide();
    ProblemTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProblemTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ProblemTable->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const TRow& r = rows[static_cast<size_t>(row)];
        const QString items[] = {ToQt(r.Path), ToQt(r.Text)};
        for (int c = 0; c < 2; ++c) {
            auto* item = new QTableWidgetItem(items[c]);
            if (r.Fatal)
                item->setBackground(QColor(255, 205, 205));
            ProblemTable->setItem(row, c, item);
        }
    }
    ProblemTable->resizeColumnsToContents();
    layout->addWidget(ProblemTable, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOk = new QPushButton(beforeImage ? "Записать" : "OK", this);
    btnOk->setObjectName("btnOk");
    buttons->addWidget(btnOk);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    if (beforeImage) {
        btnCancel = new QPushButton("Отмена", this);
        btnCancel->setObjectName("btnCancel");
        btnCancel->setDefault(true);
        buttons->addWidget(btnCancel);
        connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    }
    layout->addLayout(buttons);
}

}  // namespace velmora
