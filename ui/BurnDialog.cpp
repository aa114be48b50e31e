#include "ui/BurnDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/DialogControls.h"
#include "ui/UiText.h"

namespace velmora {

namespace {

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = QString()) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

void SetText(QLabel* label, const std::string& text) {
    if (label->text() != ToQt(text))
        label->setText(ToQt(text));
}

void SetItems(QComboBox* box, const QStringList& items, int index) {
    const QSignalBlocker blocker(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (shown != items) {
        box->clear();
        box->addItems(items);
    }
    if (box->currentIndex() != index)
        box->setCurrentIndex(index);
}

}  // namespace

TBurnDialog::TBurnDialog(TBurnSetup& setup, QWidget* parent) : QDialog(parent), Setup(setup) {
    setObjectName("BurnDialog");
    setWindowTitle("Записать диск");
    auto* layout = new QVBoxLayout(this);
    lblImage = NewLabel(this, "lblImage");
    lblImage->setWordWrap(true);
    layout->addWidget(lblImage);

    auto* grid = new QGridLayout;
    grid->addWidget(NewLabel(this, "lblDriveCaption", "Привод:"), 0, 0);
    cbDrive = new QComboBox(this);
    cbDrive->setObjectName("cbDrive");
    cbDrive->setMinimumWidth(320);
    grid->addWidget(cbDrive, 0, 1);
    btnRefresh = new QPushButton("Обновить", this);
    btnRefresh->setObjectName("btnRefresh");
    btnRefresh->setToolTip("Найти приводы заново и посмотреть, какой диск вставлен");
    grid->addWidget(btnRefresh, 0, 2);
    grid->addWidget(NewLabel(this, "lblMediumCaption", "Диск:"), 1, 0);
    lblMedium = NewLabel(this, "lblMedium");
    lblMedium->setWordWrap(true);
    grid->addWidget(lblMedium, 1, 1, 1, 2);
    grid->addWidget(NewLabel(this, "lblSpeedCaption", "Скорость:"), 2, 0);
    cbSpeed = new QComboBox(this);
    cbSpeed->setObjectName("cbSpeed");
    grid->addWidget(cbSpeed, 2, 1);
    lblSpeedHint = NewLabel(this, "lblSpeedHint",
                            QString("Магнитола надёжнее читает диски, записанные на %1x и "
                                    "медленнее.")
                                .arg(kRadioSpeedX));
    lblSpeedHint->setWordWrap(true);
    grid->addWidget(lblSpeedHint, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    cbDummy = new QCheckBox("Пробная запись: лазер выключен, диск не меняется", this);
    cbDummy->setObjectName("cbDummy");
    layout->addWidget(cbDummy);
    cbEject = new QCheckBox("Извлечь диск в конце", this);
    cbEject->setObjectName("cbEject");
    layout->addWidget(cbEject);
    lblVerdict = NewLabel(this, "lblVerdict");
    lblVerdict->setWordWrap(true);
    lblVerdict->setMinimumHeight(2 * lblVerdict->fontMetrics().lineSpacing());
    layout->addWidget(lblVerdict);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnBurn = new QPushButton("Записать", this);
    btnBurn->setObjectName("btnBurn");
    btnBurn->setDefault(true);
    buttons->addWidget(btnBurn);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(btnBurn, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnRefresh, &QPushButton::clicked, this, &TBurnDialog::Refresh);
    connect(cbDrive, &QComboBox::currentIndexChanged, this,
            [this](int index) { AskDrive([this, index] { Setup.SelectDrive(index); }); });
    connect(cbSpeed, &QComboBox::currentIndexChanged, this, [this](int index) {
        Setup.SelectSpeed(index);
        Sync();
    });
    connect(cbDummy, &QCheckBox::toggled, this, [this](bool on) {
        Setup.SetDummy(on);
        Sync();
    });
    connect(cbEject, &QCheckBox::toggled, this, [this](bool on) {
        Setup.SetEject(on);
        Sync();
    });
    Sync();
}

void TBurnDialog::Refresh() {
    AskDrive([this] { Setup.Refresh(); });
}

void TBurnDialog::AskDrive(const std::function<void()>& change) {
    lblMedium->setText("Привод отвечает…");
    for (QWidget* w : std::initializer_list<QWidget*>{cbDrive, btnRefresh, btnBurn})
        w->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The texts above are painted before the drive is asked; no input is taken meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    change();
    QApplication::restoreOverrideCursor();
    cbDrive->setEnabled(true);
    btnRefresh->setEnabled(true);
    Sync();
}

void TBurnDialog::Sync() {
    SetText(lblImage, Setup.Image);
    QStringList drives;
    for (const TBurnDrive& d : Setup.Drives)
        drives << ToQt(d.DisplayName);
    SetItems(cbDrive, drives, Setup.DriveIndex);
    SetEnabled(cbDrive, !Setup.Drives.empty());
    SetText(lblMedium, Setup.MediumText);
    QStringList speeds;
    for (const std::string& s : Setup.SpeedItems)
        speeds << ToQt(s);
    SetItems(cbSpeed, speeds, Setup.SpeedIndex);
    SetEnabled(cbSpeed, Setup.DriveIndex >= 0);
    SetEnabled(cbDummy, Setup.DummyEnabled);
    SetChecked(cbDummy, Setup.Dummy);
    SetChecked(cbEject, Setup.Eject);
    SetText(lblVerdict, Setup.Verdict);
    SetEnabled(btnBurn, Setup.CanBurn);
}

}  // namespace velmora
