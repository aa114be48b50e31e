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

#include <algorithm>

#include "core/disc/DiscSplit.h"
#include "core/text/TrackRules.h"
#include "ui/UiText.h"

namespace velmora {

namespace {

const char* CaptionOf(EDiscPurpose purpose) {
    switch (purpose) {
        case EDiscPurpose::Image:
            return "Создать образ диска";
        case EDiscPurpose::Burn:
            return "Записать диск";
        default:
            return "Проверка диска";
    }
}

}  // namespace

TDiscCheckDialog::TDiscCheckDialog(const TDiscCheck& check, EDiscPurpose purpose,
                                   const TDiscChoice& choice, TUserPort::TDiscRecheck recheck,
                                   QWidget* parent)
    : QDialog(parent), Shown(check), Chosen(choice), Purpose(purpose), Recheck(std::move(recheck)) {
    const bool beforeImage = purpose == EDiscPurpose::Image;
    const bool goesOn = purpose != EDiscPurpose::Check;
    setObjectName("DiscCheckDialog");
    setWindowTitle(CaptionOf(purpose));
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
    ProblemTable->setWordWrap(true);
    // Each row as high as its wrapped text, whenever the text's column changes width.
    connect(ProblemTable->horizontalHeader(), &QHeaderView::sectionResized, ProblemTable,
            [this] { ProblemTable->resizeRowsToContents(); });
    layout->addWidget(ProblemTable, 1);
    lblDetails = new QLabel(this);
    lblDetails->setObjectName("lblDetails");
    lblDetails->setWordWrap(true);
    lblDetails->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblDetails);
    connect(ProblemTable, &QTableWidget::currentCellChanged, this, [this](int row) {
        const QTableWidgetItem* path = ProblemTable->item(row, 0);
        const QTableWidgetItem* text = ProblemTable->item(row, 1);
        lblDetails->setText(path && text ? path->text() + ": " + text->text() : QString());
    });

    auto* buttons = new QHBoxLayout;
    if (goesOn) {
        cbSplit = new QCheckBox("Разделить на диски по порядку списка", this);
        cbSplit->setObjectName("cbSplit");
        cbSplit->setChecked(choice.Split);
        connect(cbSplit, &QCheckBox::toggled, this, [this](bool on) {
            Chosen.Split = on;
            Fill();
        });
        buttons->addWidget(cbSplit);
    }
    if (beforeImage) {
        cbTrackList = new QCheckBox("Записать рядом с образом список треков (.txt)", this);
        cbTrackList->setObjectName("cbTrackList");
        cbTrackList->setChecked(choice.TrackList);
        connect(cbTrackList, &QCheckBox::toggled, this, [this](bool on) { Chosen.TrackList = on; });
        buttons->addWidget(cbTrackList);
    }
    buttons->addStretch(1);
    btnOk = new QPushButton(goesOn ? "Записать" : "OK", this);
    btnOk->setObjectName("btnOk");
    buttons->addWidget(btnOk);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    if (goesOn) {
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
    const bool notesOnly = std::all_of(Shown.Problems.begin(), Shown.Problems.end(),
                                       [](const TDiscProblem& p) { return p.Note; });
    // The split is offered where one disc is too small, and shown with the discs it makes.
    const bool splittable = std::any_of(Shown.Problems.begin(), Shown.Problems.end(),
                                        [](const TDiscProblem& p) { return SplitCures(p); });
    if (cbSplit)
        cbSplit->setVisible(splittable || Chosen.Split);
    bool writable = !Shown.HasFatal();
    if (Chosen.Split && splittable) {
        const TDiscSplit split = SplitDisc(Shown);
        writable = split.Problem.empty();
        summary += writable ? "\nБудет " +
                                  ToQt(CountOf(static_cast<int64_t>(split.Discs.size()), "диск",
                                               "диска", "дисков")) +
                                  " по порядку списка"
                            : "\nНе разделить: " + ToQt(split.Problem);
    } else if (Shown.HasFatal()) {
        summary += "\nДиск не будет играть: он не записывается";
    } else if (notesOnly) {
        summary += Shown.Problems.empty() ? "\nПроблем не найдено"
                                          : "\nПроблем не найдено, только заметки";
    }
    lblSummary->setText(summary);

    struct TRow {
        std::string Path, Text;
        bool Fatal, Note;
    };
    std::vector<TRow> rows;
    for (const TDiscProblem& p : Shown.Problems)
        rows.push_back({p.Path, p.Note ? "Заметка: " + p.Text : p.Text, p.Fatal, p.Note});
    if (Purpose == EDiscPurpose::Image) {
        for (const TDiscEntry* e : RenamedDiscEntries(Shown))
            rows.push_back(
                {e->Source, "Имя на диске: " + e->Name + " (" + e->IsoName + ")", false, true});
    }
    ProblemTable->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const TRow& r = rows[static_cast<size_t>(row)];
        const QString items[] = {ToQt(r.Path), ToQt(r.Text)};
        for (int c = 0; c < 2; ++c) {
            auto* item = new QTableWidgetItem(items[c]);
            if (r.Fatal)
                item->setBackground(QColor(255, 205, 205));
            else if (r.Note)
                item->setForeground(QColor(80, 80, 80));
            ProblemTable->setItem(row, c, item);
        }
    }
    // The file's column as wide as its names (within a third of the table); the text wraps.
    ProblemTable->resizeColumnToContents(0);
    ProblemTable->setColumnWidth(0, std::min(ProblemTable->columnWidth(0), width() / 3));
    ProblemTable->resizeRowsToContents();
    ProblemTable->setCurrentCell(rows.empty() ? -1 : 0, 0);
    if (rows.empty())
        lblDetails->clear();
    btnOk->setEnabled(Purpose == EDiscPurpose::Check || writable);
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
