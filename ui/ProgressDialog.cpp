#include "ui/ProgressDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace velmora {
namespace {

QLabel* NewLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

void SetText(QLabel* label, const std::string& text) {
    if (label->text() != ToQt(text))
        label->setText(ToQt(text));
    label->setVisible(!text.empty());
}

}  // namespace

TProgressDialog::TProgressDialog(const QString& caption, QWidget* parent) : QDialog(parent) {
    setObjectName("ProgressDialog");
    setWindowTitle(caption);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    lblStep = NewLabel(this, "lblStep");
    layout->addWidget(lblStep);
    lblItem = NewLabel(this, "lblItem");
    lblItem->setWordWrap(true);
    layout->addWidget(lblItem);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    layout->addWidget(ProgressBar);
    auto* row = new QHBoxLayout;
    lblSpeed = NewLabel(this, "lblSpeed");
    row->addWidget(lblSpeed);
    row->addStretch(1);
    lblTimeLeft = NewLabel(this, "lblTimeLeft");
    row->addWidget(lblTimeLeft);
    layout->addLayout(row);
    lblWarning = NewLabel(this, "lblWarning");
    lblWarning->setWordWrap(true);
    layout->addWidget(lblWarning);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnCancel, &QPushButton::clicked, this, [this] { CancelAsked = true; });
    Show(TProgress());
}

void TProgressDialog::Show(const TProgress& progress) {
    SetText(lblStep, progress.Step.empty() ? std::string() : progress.Step + "…");
    SetText(lblItem, progress.Item);
    if (ProgressBar->value() != progress.Percent())
        ProgressBar->setValue(progress.Percent());
    SetText(lblSpeed, progress.Speed.empty() ? std::string() : "Скорость " + progress.Speed);
    SetText(lblTimeLeft, TimeLeftText(progress.SecondsLeft));
    SetText(lblWarning, progress.Warning);
}

bool TProgressDialog::TakeCancel() {
    const bool asked = CancelAsked;
    CancelAsked = false;
    return asked;
}

void TProgressDialog::reject() {
    CancelAsked = true;  // the model asks and ends the work; the dialog stays until then
}

void TProgressDialog::closeEvent(QCloseEvent* event) {
    CancelAsked = true;
    event->ignore();
}

}  // namespace velmora
