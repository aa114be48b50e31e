#include "ui/TranslitSetupForm.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <functional>

#include "core/files/TranslitFile.h"
#include "core/model/MainModel.h"
#include "core/text/Translit.h"
#include "ui/UiText.h"

namespace velmora {

// The grid's cell editing, with a way to end it from outside: the editor's text goes into the
// cell (and from there into the table) as Enter would put it.
class TCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        Editor = editor;
        return editor;
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (Editor == editor) {
            Editor = nullptr;
        }
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    void Commit() {
        if (QWidget* editor = Editor.data()) {
            Editor = nullptr;
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }

  private:
    mutable QPointer<QWidget> Editor;  // the open editor, if any
};

// The grid, telling when it has done with a key or a mouse press. A row removed while the grid
// moves to another one shifts the rows under it, and the grid then highlights the cell below the
// current one; the dialog puts the highlight back on the current cell.
class TTranslitGrid : public QTableWidget {
  public:
    using QTableWidget::QTableWidget;
    std::function<void()> AfterInput;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        QTableWidget::keyPressEvent(event);
        if (AfterInput) {
            AfterInput();
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        QTableWidget::mousePressEvent(event);
        if (AfterInput) {
            AfterInput();
        }
    }
};

TTranslitSetup::TTranslitSetup(TMainModel& model, QWidget* parent) : QDialog(parent), Model(model) {
    setObjectName("TranslitSetup");
    setWindowTitle("Настройка транслитерации");
    resize(372, 453);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* grid = new TTranslitGrid(0, 2, this);
    grid->AfterInput = [this] { HighlightCurrent(); };
    vleTranslit = grid;
    vleTranslit->setObjectName("vleTranslit");
    vleTranslit->setHorizontalHeaderLabels({"Русский", "Транслит"});
    vleTranslit->setColumnWidth(0, 112);
    vleTranslit->setColumnWidth(1, 229);
    vleTranslit->setSelectionMode(QAbstractItemView::SingleSelection);
    vleTranslit->setSelectionBehavior(QAbstractItemView::SelectItems);
    vleTranslit->verticalHeader()->setDefaultSectionSize(18);
    vleTranslit->verticalHeader()->hide();
    vleTranslit->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    Delegate = new TCellDelegate(vleTranslit);
    vleTranslit->setItemDelegate(Delegate);
    vleTranslit->installEventFilter(this);

    ButtonPanel = new QFrame(this);
    ButtonPanel->setObjectName("ButtonPanel");
    ButtonPanel->setFixedHeight(43);
    auto* buttons = new QHBoxLayout(ButtonPanel);
    buttons->setContentsMargins(8, 9, 8, 9);
    buttons->setSpacing(8);
    Button4 = new QPushButton("По умолчанию", ButtonPanel);
    Button4->setObjectName("Button4");
    Button4->setFixedSize(std::max(75, Button4->sizeHint().width()), 25);
    Button4->setAutoDefault(false);
    buttons->addWidget(Button4);
    buttons->addStretch(1);
    struct Def {
        QPushButton** Button;
        const char* Name;
        const char* Caption;
    };
    for (const Def& def :
         {Def{&Button3, "Button3", "Загрузить"}, Def{&Button2, "Button2", "Сохранить"},
          Def{&Button1, "Button1", "Закрыть"}}) {
        auto* button = new QPushButton(QString::fromUtf8(def.Caption), ButtonPanel);
        button->setObjectName(def.Name);
        button->setFixedSize(75, 25);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        *def.Button = button;
    }

    // The table file's path, so the user knows which file Load and Save use.
    lblTableFile = new QLabel(this);
    lblTableFile->setObjectName("lblTableFile");
    lblTableFile->setContentsMargins(8, 4, 8, 0);
    lblTableFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblTableFile->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(vleTranslit, 1);
    layout->addWidget(lblTableFile);
    layout->addWidget(ButtonPanel);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(vleTranslit, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { CellChanged(item); });
    connect(vleTranslit, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previousRow, int) { CurrentRowChanged(row, previousRow); });
    ShowTable();
    TablePlace();
}

void TTranslitSetup::Execute() {
    ShowTable();
    TablePlace();
    exec();
}

TTranslitTablePlace TTranslitSetup::TablePlace() {
    TTranslitTablePlace place = FindTranslitTablePlace(Model.ProgramPath);
    const QString path = ToQt(place.Path);
    lblTableFile->setText("Файл таблицы: " + path);
    lblTableFile->setToolTip(path);
    return place;
}

void TTranslitSetup::ShowTable() {
    const std::vector<std::string>& rows = Model.TranslitTable.Rows;
    const int count = static_cast<int>(rows.size());
    const int current = vleTranslit->currentRow();
    const int column = vleTranslit->currentColumn();
    Showing = true;
    {
        const QSignalBlocker blocker(vleTranslit);
        vleTranslit->setRowCount(std::max(count, 1));
        for (int row = 0; row < std::max(count, 1); ++row) {
            const std::string& text = row < count ? rows[static_cast<size_t>(row)] : std::string();
            const QString key = ToQt(TTranslitTable::KeyOf(text));
            const QString value = ToQt(TTranslitTable::ValueOf(text));
            for (auto [col, cell] : {std::pair{0, key}, std::pair{1, value}}) {
                QTableWidgetItem* item = vleTranslit->item(row, col);
                if (item == nullptr) {
                    vleTranslit->setItem(row, col, new QTableWidgetItem(cell));
                } else if (item->text() != cell) {
                    item->setText(cell);
                }
            }
        }
    }
    Showing = false;
    if (current >= vleTranslit->rowCount()) {
        SelectRow(vleTranslit->rowCount() - 1, column);
    }
}

void TTranslitSetup::SelectRow(int row, int column) {
    const QSignalBlocker blocker(vleTranslit);
    vleTranslit->setCurrentCell(std::max(row, 0), std::max(column, 0));
}

void TTranslitSetup::EnsureRowFor(int row) {
    if (row == 0 && Model.TranslitTable.Rows.empty()) {
        Model.TranslitTable.AppendRow(0);
    }
}

void TTranslitSetup::CellChanged(QTableWidgetItem* item) {
    if (Showing || item == nullptr) {
        return;
    }
    const int row = item->row();
    EnsureRowFor(row);
    if (row < 0 || static_cast<size_t>(row) >= Model.TranslitTable.Rows.size()) {
        return;
    }
    const std::string text = FromQt(item->text());
    if (item->column() == 0) {
        if (!Model.TranslitTable.SetKey(static_cast<size_t>(row), text)) {
            ShowTable();  // the row keeps its former key
            Model.Port.ShowError(kKeyHasEquals);
        }
    } else {
        Model.TranslitTable.SetValue(static_cast<size_t>(row), text);
    }
}

void TTranslitSetup::HighlightCurrent() {
    QTableWidgetItem* current = vleTranslit->currentItem();
    const QList<QTableWidgetItem*> selected = vleTranslit->selectedItems();
    if (current != nullptr && (selected.size() != 1 || selected[0] != current)) {
        SelectRow(current->row(), current->column());
    }
}

void TTranslitSetup::CommitEdit() {
    Delegate->Commit();
}

void TTranslitSetup::done(int result) {
    CommitEdit();
    QDialog::done(result);
}

void TTranslitSetup::CurrentRowChanged(int row, int previousRow) {
    if (Showing || previousRow < 0 || previousRow == row) {
        return;
    }
    // The text typed into the row being left counts before the row is judged empty: the grid
    // would otherwise write it into whichever row moved into its place.
    CommitEdit();
    std::vector<std::string>& rows = Model.TranslitTable.Rows;
    if (static_cast<size_t>(previousRow) >= rows.size()) {
        return;
    }
    const size_t before = rows.size();
    Model.TranslitTable.RemoveIfEmpty(static_cast<size_t>(previousRow));
    if (rows.size() != before) {
        const int column = vleTranslit->currentColumn();
        ShowTable();
        SelectRow(row > previousRow ? row - 1 : row, column);
    }
}

bool TTranslitSetup::eventFilter(QObject* watched, QEvent* event) {
    // While a cell is being edited the keys its editor leaves arrive here too.
    if (watched != vleTranslit || event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const bool acted = (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) ||
                       (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier) ||
                       (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier);
    if (acted) {
        CommitEdit();
    }
    const int row = vleTranslit->currentRow();
    const int column = std::max(vleTranslit->currentColumn(), 0);
    TTranslitTable& table = Model.TranslitTable;
    const bool hasRow = row >= 0 && static_cast<size_t>(row) < table.Rows.size();
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
        if (hasRow && table.InsertRow(static_cast<size_t>(row))) {
            ShowTable();
            SelectRow(row, column);
        }
        return true;
    }
    if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier && hasRow &&
        static_cast<size_t>(row) + 1 == table.Rows.size()) {
        if (table.AppendRow(static_cast<size_t>(row))) {
            ShowTable();
            SelectRow(row + 1, column);
        }
        return true;
    }
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
        if (hasRow) {
            table.DeleteRow(static_cast<size_t>(row));
            ShowTable();
            SelectRow(std::min(row, vleTranslit->rowCount() - 1), column);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TTranslitSetup::Button2Click() {
    CommitEdit();
    try {
        SaveTranslitTable(Model.TranslitTable, Model.Fs, TablePlace());
    } catch (const std::exception& e) {
        Model.Port.ShowError(e.what());
    }
}

void TTranslitSetup::Button3Click() {
    CommitEdit();
    try {
        LoadTranslitTableFile(Model.TranslitTable, Model.Fs, TablePlace().Path);
    } catch (const std::exception& e) {
        Model.Port.ShowError(e.what());
    }
    ShowTable();
}

void TTranslitSetup::Button4Click() {
    CommitEdit();
    Model.TranslitTable.Rows = TTranslitTable::DefaultRows();
    ShowTable();
    SelectRow(0, 0);
}

}  // namespace velmora
