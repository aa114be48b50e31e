#include "ui/SaveID3v1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/DialogControls.h"
#include "ui/UiText.h"

namespace velmora {

namespace {

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption, int y) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(name);
    box->move(8, y);
    box->adjustSize();
    return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Puts the items and the selected row into a list box, without raising its signals.
void ShowList(QListWidget* list, const std::vector<std::string>& items, int selected) {
    const QSignalBlocker blocker(list);
    bool same = list->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < list->count(); ++i) {
        same = list->item(i)->text() == ToQt(items[static_cast<size_t>(i)]);
    }
    if (!same) {
        list->clear();
        for (const std::string& item : items) {
            list->addItem(ToQt(item));
        }
    }
    if (selected >= 0 && selected < list->count()) {
        list->setCurrentRow(selected);
    } else {
        list->setCurrentRow(-1);
        list->clearSelection();
    }
}

int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

}  // namespace

TSaveID3v1Form::TSaveID3v1Form(QWidget* parent) : QDialog(parent) {
    setObjectName("SaveID3v1Form");
    setWindowTitle("Опции сохранения списка тегов");
    setFixedSize(303, 279);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Label1 = MakeLabel(this, "Label1", "Доступные поля", 8, 4);
    Label2 = MakeLabel(this, "Label2", "Сохраняемые поля", 182, 4);
    lb_avaliable = new QListWidget(this);
    lb_avaliable->setObjectName("lb_avaliable");
    lb_avaliable->setGeometry(8, 20, 113, 97);
    lb_select = new QListWidget(this);
    lb_select->setObjectName("lb_select");
    lb_select->setGeometry(182, 20, 113, 97);
    for (QListWidget* list : {lb_avaliable, lb_select}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
    }

    struct ButtonDef {
        QPushButton** Button;
        const char* Name;
        const char* Caption;
        const char* Hint;
    };
    const ButtonDef buttons[] = {
        {&btAddOne, "btAddOne", ">", "Добавить выбранное поле"},
        {&btAddAll, "btAddAll", ">>", "Добавить все поля"},
        {&btRemoveAll, "btRemoveAll", "<<", "Исключить все поля"},
        {&btRemoveOne, "btRemoveOne", "<", "Исключить выбранное поле"},
    };
    int y = 22;
    for (const ButtonDef& def : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(def.Caption), this);
        button->setObjectName(def.Name);
        button->setToolTip(QString::fromUtf8(def.Hint));
        button->setGeometry(133, y, 37, 22);
        button->setAutoDefault(false);
        QFont bold = button->font();
        bold.setBold(true);
        button->setFont(bold);
        *def.Button = button;
        y += 24;
    }
    connect(btAddOne, &QPushButton::clicked, this,
            [this] { Move(&TTagListReportOptions::btAddOneClick); });
    connect(btAddAll, &QPushButton::clicked, this,
            [this] { Move(&TTagListReportOptions::btAddAllClick); });
    connect(btRemoveAll, &QPushButton::clicked, this,
            [this] { Move(&TTagListReportOptions::btRemoveAllClick); });
    connect(btRemoveOne, &QPushButton::clicked, this,
            [this] { Move(&TTagListReportOptions::btRemoveOneClick); });

    Label3 = MakeLabel(this, "Label3", "Разделитель полей:", 8, 127);
    edSeparator = new QLineEdit(this);
    edSeparator->setObjectName("edSeparator");
    edSeparator->setGeometry(124, 124, 80, 21);

    cb_numeric = MakeCheck(this, "cb_numeric", "Нумеровать треки", 150);
    cb_TotalTrack = MakeCheck(this, "cb_TotalTrack", "Количество треков в конце списка", 168);
    cb_Time = MakeCheck(this, "cb_Time", "Добавлять время воспроизведения", 186);
    cb_TotalTime = MakeCheck(this, "cb_TotalTime", "Общее время звучания в конце списка", 204);
    cb_ZeroRemove = MakeCheck(this, "cb_ZeroRemove", "Убрать ведущие нули из времени", 222);

    // "ОК" in Cyrillic letters.
    btOk = new QPushButton("ОК", this);
    btOk->setObjectName("btOk");
    btOk->setGeometry(70, 248, 75, 25);
    btOk->setDefault(true);
    btCancel = new QPushButton("Отмена", this);
    btCancel->setObjectName("btCancel");
    btCancel->setGeometry(158, 248, 75, 25);
    btCancel->setAutoDefault(false);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (QCheckBox* box : {cb_numeric, cb_TotalTrack, cb_Time, cb_TotalTime, cb_ZeroRemove}) {
        connect(box, &QCheckBox::toggled, this, [this] { StoreStates(); });
    }
    connect(edSeparator, &QLineEdit::textChanged, this, [this] { StoreStates(); });
    connect(lb_avaliable, &QListWidget::itemSelectionChanged, this, [this] { StoreStates(); });
    connect(lb_select, &QListWidget::itemSelectionChanged, this, [this] { StoreStates(); });
    ShowStates();
}

bool TSaveID3v1Form::Execute(TTagListReportOptions& options) {
    Bind(options);
    return exec() == QDialog::Accepted;
}

void TSaveID3v1Form::Bind(TTagListReportOptions& options) {
    Bound = &options;
    ShowStates();
}

void TSaveID3v1Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSaveID3v1Form::FormShow() {
    Bound->FormShow();
    ShowStates();
    lb_avaliable->setFocus();
}

void TSaveID3v1Form::Move(void (TTagListReportOptions::*click)()) {
    (Bound->*click)();
    ShowStates();
}

void TSaveID3v1Form::ShowStates() {
    const TTagListReportOptions& o = *Bound;
    Showing = true;
    ShowList(lb_avaliable, o.lb_avaliable, o.lb_avaliableIndex);
    ShowList(lb_select, o.lb_select, o.lb_selectIndex);
    if (edSeparator->text() != ToQt(o.edSeparator)) {
        const QSignalBlocker blocker(edSeparator);
        edSeparator->setText(ToQt(o.edSeparator));
    }
    SetChecked(cb_numeric, o.cb_numeric);
    SetChecked(cb_TotalTrack, o.cb_TotalTrack);
    SetChecked(cb_Time, o.cb_Time);
    SetChecked(cb_TotalTime, o.cb_TotalTime);
    SetChecked(cb_ZeroRemove, o.cb_ZeroRemove);
    Showing = false;
}

void TSaveID3v1Form::StoreStates() {
    if (Showing) {
        return;
    }
    TTagListReportOptions& o = *Bound;
    o.lb_avaliableIndex = SelectedRow(lb_avaliable);
    o.lb_selectIndex = SelectedRow(lb_select);
    o.edSeparator = FromQt(edSeparator->text());
    o.cb_numeric = cb_numeric->isChecked();
    o.cb_TotalTrack = cb_TotalTrack->isChecked();
    o.cb_Time = cb_Time->isChecked();
    o.cb_TotalTime = cb_TotalTime->isChecked();
    o.cb_ZeroRemove = cb_ZeroRemove->isChecked();
}

}  // namespace velmora
