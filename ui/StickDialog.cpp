#include "ui/StickDialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace velmora {

TStickDialog::TStickDialog(QWidget* parent, std::function<std::vector<TStickDrive>()> drives)
    : QDialog(parent), Drives(std::move(drives)) {
    setObjectName("StickDialog");
    setWindowTitle("Записать на флешку");
    auto* layout = new QVBoxLayout(this);
    lblDrives = new QLabel("Флешка, на которую записать папку по порядку списка:", this);
    lblDrives->setObjectName("lblDrives");
    lstDrives = new QListWidget(this);
    lstDrives->setObjectName("lstDrives");
    lstDrives->setMinimumWidth(480);
    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        buttons->addWidget(b);
        return b;
    };
    btnRefresh = button("btnRefresh", "Обновить");
    btnOther = button("btnOther", "Другая папка…");
    buttons->addStretch();
    btnWrite = button("btnWrite", "Записать");
    btnCancel = button("btnCancel", "Отмена");
    btnWrite->setDefault(true);
    layout->addWidget(lblDrives);
    layout->addWidget(lstDrives);
    layout->addLayout(buttons);
    AskFolder = [this] {
        return FromQt(QFileDialog::getExistingDirectory(this, "Папка на флешке"));
    };
    connect(btnRefresh, &QPushButton::clicked, this, &TStickDialog::Refresh);
    connect(btnOther, &QPushButton::clicked, this, [this] {
        Other = AskFolder();
        if (!Other.empty())
            accept();
    });
    connect(btnWrite, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstDrives, &QListWidget::currentRowChanged, this,
            [this](int row) { btnWrite->setEnabled(row >= 0); });
    connect(lstDrives, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    Refresh();
}

void TStickDialog::Refresh() {
    Shown = Drives ? Drives() : std::vector<TStickDrive>{};
    lstDrives->clear();
    for (const TStickDrive& d : Shown)
        lstDrives->addItem(ToQt(DriveText(d)));
    if (Shown.empty())
        lstDrives->addItem(
            "Флешек не видно: вставьте флешку и нажмите «Обновить», или выберите "
            "«Другая папка…»");
    lstDrives->setEnabled(!Shown.empty());
    lstDrives->setCurrentRow(Shown.empty() ? -1 : 0);
    btnWrite->setEnabled(!Shown.empty());
}

std::string TStickDialog::Chosen() const {
    if (!Other.empty())
        return Other;
    const int row = lstDrives->currentRow();
    return row >= 0 && static_cast<size_t>(row) < Shown.size()
               ? Shown[static_cast<size_t>(row)].MountPoint
               : std::string();
}

}  // namespace velmora
