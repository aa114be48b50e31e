#include "ui/Savefiles.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DialogControls.h"

namespace velmora {

namespace {

template <class T>
T* Make(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* control = new T(QString::fromUtf8(caption), parent);
    control->setObjectName(name);
    control->move(x, y);
    control->adjustSize();
    return control;
}

}  // namespace

TSaveFilesForm::TSaveFilesForm(QWidget* parent) : QDialog(parent) {
    setObjectName("SaveFilesForm");
    setWindowTitle("Опции сохранения списка файлов");
    setFixedSize(522, 208);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupDirName = new QGroupBox(" Имя папки ", this);
    GroupDirName->setObjectName("GroupDirName");
    GroupDirName->setGeometry(8, 8, 249, 89);
    DirNameFirst =
        Make<QRadioButton>(GroupDirName, "DirNameFirst", "Имя папки в начало списка", 12, 20);
    DirNameToAll =
        Make<QRadioButton>(GroupDirName, "DirNameToAll", "Имя папки к каждому файлу", 12, 42);
    withoutDirName =
        Make<QRadioButton>(GroupDirName, "withoutDirName", "Не использовать имя папки", 12, 64);

    cb_FilesCount =
        Make<QCheckBox>(this, "cb_FilesCount", "Количество файлов в конце списка", 16, 106);
    cb_TotalSize =
        Make<QCheckBox>(this, "cb_TotalSize", "Общий размер файлов в конце списка", 16, 126);
    cb_TotalTime =
        Make<QCheckBox>(this, "cb_TotalTime", "Общее время звучания в конце списка", 16, 146);

    GroupFileInfo = new QGroupBox(" Информация о файле ", this);
    GroupFileInfo->setObjectName("GroupFileInfo");
    GroupFileInfo->setGeometry(265, 8, 249, 155);
    cb_NumFiles = Make<QCheckBox>(GroupFileInfo, "cb_NumFiles", "Нумеровать файлы", 12, 20);
    cb_AddExt = Make<QCheckBox>(GroupFileInfo, "cb_AddExt", "Добавлять расширение файла", 12, 42);
    cb_AddSize = Make<QCheckBox>(GroupFileInfo, "cb_AddSize", "Добавлять размер файла", 12, 64);
    rb_InBytes = Make<QRadioButton>(GroupFileInfo, "rb_InBytes", "в байтах", 32, 86);
    rb_InKbytes = Make<QRadioButton>(GroupFileInfo, "rb_InKbytes", "в килобайтах", 32, 106);
    rb_InMbytes = Make<QRadioButton>(GroupFileInfo, "rb_InMbytes", "в мегабайтах", 32, 126);

    btOk = new QPushButton("OK", this);
    btOk->setObjectName("btOk");
    btOk->setGeometry(176, 174, 75, 25);
    btOk->setDefault(true);
    btCancel = new QPushButton("Отмена", this);
    btCancel->setObjectName("btCancel");
    btCancel->setGeometry(271, 174, 75, 25);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(DirNameFirst), static_cast<QAbstractButton*>(DirNameToAll),
          static_cast<QAbstractButton*>(withoutDirName),
          static_cast<QAbstractButton*>(cb_FilesCount), static_cast<QAbstractButton*>(cb_TotalSize),
          static_cast<QAbstractButton*>(cb_TotalTime), static_cast<QAbstractButton*>(cb_NumFiles),
          static_cast<QAbstractButton*>(cb_AddExt), static_cast<QAbstractButton*>(rb_InBytes),
          static_cast<QAbstractButton*>(rb_InKbytes), static_cast<QAbstractButton*>(rb_InMbytes)}) {
        connect(button, &QAbstractButton::toggled, this, [this] { StoreStates(); });
    }
    connect(cb_AddSize, &QAbstractButton::clicked, this, [this] { cb_AddSizeClick(); });
    ShowStates();
}

bool TSaveFilesForm::Execute(TFileListReportOptions& options) {
    Bind(options);
    return exec() == QDialog::Accepted;
}

void TSaveFilesForm::Bind(TFileListReportOptions& options) {
    Bound = &options;
    ShowStates();
}

void TSaveFilesForm::cb_AddSizeClick() {
    StoreStates();
    Bound->cb_AddSizeClick();
    ShowStates();
}

void TSaveFilesForm::ShowStates() {
    const TFileListReportOptions& o = *Bound;
    Showing = true;
    // Radio buttons are set on before their partners are set off, so a group never passes
    // through a state with two buttons on.
    for (auto [button, on] :
         {std::pair{DirNameFirst, o.DirNameFirst}, std::pair{DirNameToAll, o.DirNameToAll},
          std::pair{withoutDirName, o.withoutDirName}, std::pair{rb_InBytes, o.rb_InBytes},
          std::pair{rb_InKbytes, o.rb_InKbytes}, std::pair{rb_InMbytes, o.rb_InMbytes}}) {
        if (on) {
            SetChecked(button, true);
        }
    }
    for (auto [button, on] :
         {std::pair{DirNameFirst, o.DirNameFirst}, std::pair{DirNameToAll, o.DirNameToAll},
          std::pair{withoutDirName, o.withoutDirName}, std::pair{rb_InBytes, o.rb_InBytes},
          std::pair{rb_InKbytes, o.rb_InKbytes}, std::pair{rb_InMbytes, o.rb_InMbytes}}) {
        if (!on) {
            SetChecked(button, false);
        }
    }
    SetChecked(cb_NumFiles, o.cb_NumFiles);
    SetChecked(cb_AddExt, o.cb_AddExt);
    SetChecked(cb_AddSize, o.cb_AddSize);
    SetChecked(cb_FilesCount, o.cb_FilesCount);
    SetChecked(cb_TotalSize, o.cb_TotalSize);
    SetChecked(cb_TotalTime, o.cb_TotalTime);
    for (QRadioButton* unit : {rb_InBytes, rb_InKbytes, rb_InMbytes}) {
        SetEnabled(unit, o.UnitsEnabled);
    }
    Showing = false;
}

void TSaveFilesForm::StoreStates() {
    if (Showing) {
        return;
    }
    TFileListReportOptions& o = *Bound;
    o.DirNameFirst = DirNameFirst->isChecked();
    o.DirNameToAll = DirNameToAll->isChecked();
    o.withoutDirName = withoutDirName->isChecked();
    o.cb_NumFiles = cb_NumFiles->isChecked();
    o.cb_AddExt = cb_AddExt->isChecked();
    o.cb_AddSize = cb_AddSize->isChecked();
    o.rb_InBytes = rb_InBytes->isChecked();
    o.rb_InKbytes = rb_InKbytes->isChecked();
    o.rb_InMbytes = rb_InMbytes->isChecked();
    o.cb_FilesCount = cb_FilesCount->isChecked();
    o.cb_TotalSize = cb_TotalSize->isChecked();
    o.cb_TotalTime = cb_TotalTime->isChecked();
}

}  // namespace velmora
