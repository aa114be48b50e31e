#include "ui/DiscCheckDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace velmora {

TDiscCheckDialog::TDiscCheckDialog(const TDiscCheck& check, bool beforeImage,
                                   const TDiscChoice& choice, TUserPort::TDiscRecheck recheck,
                                   QWidget* parent)
    : QDialog(parent),
      Shown(check),
      Chosen(choice),
      BeforeImage(beforeImage),
      Recheck(std::move(recheck)) {
    setObjectName("DiscCheckDialog");
    setWindowTitle(beforeImage ? "Создать образ диска" : "Проверка диска");
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);

    auto* choices = new QFormLayout;
    cbProfile = new QComboBox(this);
    cbProfile->setObjectName("cbProfile");
    for (const TDiscProfile& p : DiscProfiles())
        cbProfile->addItem(ToQt(p.Name));
    cbProfile->setCurrentIndex(static_cast<int>(choice.Profile));
    choices->addRow("Магнитола:", cbProfile);
    cbBlank = new QComboBox(this);
    cbBlank->setObjectName("cbBlank");
    for (const TDiscBlank& b : DiscBlanks())
        cbBlank->addItem(QString("%1 МБ (%2 мин)").arg(b.Megabytes).arg(b.Minutes));
    cbBlank->setCurrentIndex(static_cast<int>(choice.Blank));
    choices->addRow("Болванка:", cbBlank);
    layout->addLayout(choices);
    connect(cbProfile, &QComboBox::currentIndexChanged, this, &TDiscCheckDialog::ChoiceChanged);
    connect(cbBlank, &QComboBox::currentIndexChanged, this, &TDiscCheckDialog::ChoiceChanged);

    lblSummary = new QLabel(this);
    lblSummary->setObjectName("lblSummary");
    lblSummary->setWordWrap(true);
    layout->addWidget(lblSummary);

    ProblemTable = new QTableWidget(0, 2, this);
    ProblemTable->setObjectName("ProblemTable");
    ProblemTable->setHorizontalHeaderLabels({"Файл", "Проблема и что сделать"});
    ProblemTable->verticalHeader()->hide();
    ProblemTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProblemTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ProblemTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(ProblemTable, 1);

    auto* buttons = new QHBoxLayout;
    if (beforeImage) {
        cbTrackList = new QCheckBox("Записать рядом с образом список треков (.txt)", this);
        cbTrackList->setObjectName("cbTrackList");
        cbTrackList->setChecked(choice.TrackList);
        connect(cbTrackList, &QCheckBox::toggled, this, [this](bool on) { Chosen.TrackList = on; });
        buttons->addWidget(cbTrackList);
    }
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
    Fill();
}

void TDiscCheckDialog::Fill() {
    QString summary = ToQt(DiscSummary(Shown));
    if (Shown.HasFatal())
        summary += "\nДиск не будет играть: образ не записывается";
    else if (Shown.Problems.empty())
        summary += "\nПроблем не найдено";
    lblSummary->setText(summary);

    struct TRow {
        std::string Path, Text;
        bool Fatal;
    };
    std::vector<TRow> rows;
    for (const TDiscProblem& p : Shown.Problems)
        rows.push_back({p.Path, p.Text, p.Fatal});
    if (BeforeImage) {
        for (const TDiscEntry* e : RenamedDiscEntries(Shown))
            rows.push_back(
                {e->Source, "Имя на диске: " + e->Name + " (" + e->IsoName + ")", false});
    }
    ProblemTable->setRowCount(static_cast<int>(rows.size()));
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
    btnOk->setEnabled(!BeforeImage || !Shown.HasFatal());
}

void TDiscCheckDialog::ChoiceChanged() {
    Chosen.Profile = static_cast<size_t>(std::max(0, cbProfile->currentIndex()));
    Chosen.Blank = static_cast<size_t>(std::max(0, cbBlank->currentIndex()));
    if (!Recheck)
        return;
    // The check reads every file again: no exception may leave the dialog's event loop.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        Shown = Recheck(Chosen);
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        QMessageBox::critical(this, kAppTitle, ToQt(e.what()));
        return;
    }
    QApplication::restoreOverrideCursor();
    Fill();
}

}  // namespace velmora
