#include "ui/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>
#include <exception>

#include "core/model/MainModel.h"
#include "ui/DialogControls.h"
#include "ui/TypingLimit.h"
#include "ui/UiText.h"

namespace velmora {

namespace {

enum LabelStyle { kPlain = 0, kBold = 1, kWhite = 2, kAutoSize = 4 };

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                 int style = kPlain) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    if (style & kBold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    if (style & kWhite) {
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::white);
        label->setPalette(palette);
    }
    if (style & kAutoSize) {
        label->move(geometry.topLeft());
        label->adjustSize();
    } else {
        label->setGeometry(geometry);
    }
    return label;
}

QFrame* NewPanel(QWidget* parent, const char* name, const QRect& geometry,
                 int shadow = QFrame::Raised) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | shadow);
    if (!geometry.isNull()) {
        panel->setGeometry(geometry);
    }
    return panel;
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* hint, int x, int y,
                    const char* caption = "") {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(name);
    if (hint != nullptr) {
        box->setToolTip(QString::fromUtf8(hint));
    }
    box->move(x, y);
    box->adjustSize();
    return box;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, const QRect& geometry,
                   const char* hint = nullptr) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    if (hint != nullptr) {
        edit->setToolTip(QString::fromUtf8(hint));
    }
    return edit;
}

// A caption wider than its fixed button is drawn narrower rather than cut: the platform's sans
// serif is wider than the font the sizes were made for.
void FitCaption(QPushButton* button) {
    constexpr int kMargin = 10;
    QFont font = button->font();
    const int room = button->width() - kMargin;
    const int needed = QFontMetrics(font).horizontalAdvance(button->text());
    if (button->text().isEmpty() || needed <= room) {
        return;
    }
    font.setStretch(std::max(70, room * 100 / needed));
    button->setFont(font);
}

// A caption that would reach past `right` (the edit beside it) is drawn narrower, as FitCaption
// does for buttons.
constexpr int kCaptionGap = 4;
void FitLabel(QLabel* label, int right) {
    const int room = right - label->x();
    const int needed = label->width();
    if (needed <= room) {
        return;
    }
    QFont font = label->font();
    font.setStretch(std::max(70, room * 100 / needed));
    label->setFont(font);
    label->adjustSize();
    while (label->width() > room && font.stretch() > 70) {
        font.setStretch(font.stretch() - 1);
        label->setFont(font);
        label->adjustSize();
    }
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const char* hint,
                       const QRect& geometry) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    if (hint != nullptr) {
        button->setToolTip(QString::fromUtf8(hint));
    }
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    FitCaption(button);
    return button;
}

void SetLabel(QLabel* label, const std::string& text) {
    const QString shown = ToQt(text);
    if (label->text() != shown) {
        label->setText(shown);
    }
}

void SyncEdit(QLineEdit* edit, const TEdit& state) {
    const QString shown = ToQt(state.Text);
    if (edit->text() != shown) {
        const QSignalBlocker blocker(edit);
        edit->setText(shown);
    }
    SetEnabled(edit, state.Enabled);
}

void SyncCheck(QAbstractButton* box, const TCheckBox& state) {
    SetChecked(box, state.Checked);
    SetEnabled(box, state.Enabled);
    SetVisible(box, state.Visible);
}

// A spin box shows the model's text as its value; a text being typed that is not a number yet
// (a lone "-") is already the spin box's own text.
void SyncSpin(QSpinBox* spin, const TSpinEdit& state, int32_t fallback) {
    if (spin->text() != ToQt(state.Text)) {
        const int value = SpinValue(state.Text, fallback);
        if (spin->value() != value) {
            const QSignalBlocker blocker(spin);
            spin->setValue(value);
        }
    }
    SetEnabled(spin, state.Enabled);
}

void LastResortError(QWidget* parent, const char* text) {
    try {
        QMessageBox::critical(parent, kAppTitle, QString::fromUtf8(text));
    } catch (...) {
    }
}

}  // namespace

int TMainForm::MinimumWidth() {
    int width = 0;
    while (width < 100000 && !TMainModel::FormCanResize(width, INT_MAX)) {
        ++width;
    }
    return width;
}

int TMainForm::MinimumHeight() {
    int height = 0;
    while (height < 100000 && !TMainModel::FormCanResize(INT_MAX, height)) {
        ++height;
    }
    return height;
}

TMainForm::TMainForm(TMainModel& model, QWidget* parent) : QMainWindow(parent), Model(model) {
    setObjectName("MainForm");
    setWindowTitle(kAppTitle);
    setContextMenuPolicy(Qt::PreventContextMenu);
    for (int i = 0; i < 14; ++i) {
        ImageList1.emplace_back(QString(":/icons/%1.png").arg(i, 2, 10, QChar('0')));
    }

    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildFilesPanel();
    BuildInfoPanel();

    CommandPanel = NewPanel(nullptr, "CommandPanel", {}, QFrame::Sunken);
    CommandPanel->setFixedHeight(44);
    CommandPanel->setToolTip("Щелкни два раза");
    Label5 = new QLabel(
        "Внимание!!! Все действия производятся с реальными файлами. Откат невозможен. Будте "
        "аккуратны.",
        CommandPanel);
    Label5->setObjectName("Label5");
    Label5->setTextFormat(Qt::PlainText);
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setWordWrap(true);
    Label5->setToolTip("Щелкни два раза");
    QFont warning = Label5->font();
    warning.setBold(true);
    warning.setPixelSize(16);
    Label5->setFont(warning);
    QPalette red = Label5->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label5->setPalette(red);
    Label5->installEventFilter(this);
    auto* warningLayout = new QVBoxLayout(CommandPanel);
    warningLayout->setContentsMargins(2, 2, 2, 2);
    warningLayout->addWidget(Label5);
    CommandPanel->hide();

    auto* central = new QWidget(this);
    central->setObjectName("Central");
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(FilesPanel, 1);
    columns->addWidget(InfoPanel, 0);
    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addLayout(columns, 1);
    rows->addWidget(CommandPanel, 0);
    setCentralWidget(central);

    Connect();

    setMinimumSize(MinimumWidth(), MinimumHeight());
    resize(kStartWidth, kStartHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - kStartWidth) / 2,
             area.y() + (area.height() - kStartHeight) / 2);
    }

    Do([this] { Model.FormCreate(); });
}

TMainForm::~TMainForm() {
    if (CursorOverridden) {
        QApplication::restoreOverrideCursor();
    }
}

void TMainForm::BuildMenus() {
    struct ItemDef {
        QAction** Action;
        const char* Name;
        const char* Caption;
        QKeySequence Shortcut;
        int Icon;  // -1: none
    };
    auto addMenu = [this](const char* name, const char* caption,
                          std::initializer_list<ItemDef> items) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(caption));
        menu->setObjectName(name);
        for (const ItemDef& item : items) {
            if (item.Action == nullptr) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.Caption));
            action->setObjectName(item.Name);
            action->setShortcut(item.Shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
            action->setProperty("ImageIndex", item.Icon);
            if (item.Icon >= 0) {
                action->setIcon(ImageList1[static_cast<size_t>(item.Icon)]);
            }
            *item.Action = action;
        }
        return menu;
    };
    const ItemDef separator{nullptr, nullptr, nullptr, {}, -1};
    MainMenuFile = addMenu(
        "MainMenuFile", "Файл",
        {{&FileMenuNew, "FileMenuNew", "Очистить список", QKeySequence(Qt::CTRL | Qt::Key_N), 2},
         {&FileMenuAddDir, "FileMenuAddDir", "Открыть папку", QKeySequence(Qt::CTRL | Qt::Key_O),
          1},
         separator,
         {&FileMenuExit, "FileMenuExit", "Выход", {}, 3}});
    TrackListMenu = addMenu("TrackListMenu", "Список треков",
                            {{&TrackListMenuSaveFilesList,
                              "TrackListMenuSaveFilesList",
                              "Сохранить список файлов",
                              {},
                              13},
                             {&TrackListMenuSaveFromID3v1,
                              "TrackListMenuSaveFromID3v1",
                              "Сохранить список из ID3v1 тегов",
                              {},
                              12}});
    MainMenuConvert = addMenu(
        "MainMenuConvert", "Обработка",
        {{&ConvertMenuID3TagsConvert, "ConvertMenuID3TagsConvert", "Транслитерация тегов", {}, 7},
         {&ConvertMenuSplit, "ConvertMenuSplit", "Объединение тегов", {}, 8},
         {&ConvertMenuSaveID3, "ConvertMenuSaveID3", "Сохранение ID3 тегов", {}, 9},
         {&ConvertMenuFromID3v2, "ConvertMenuFromID3v2", "Из ID3v2", {}, -1},
         {&ConvertMenuStripID3v2, "ConvertMenuStripID3v2", "Удалить ID3v2", {}, -1},
         {&ConvertMenuRename, "ConvertMenuRename", "Переименовать файл", {}, 11},
         {&ConvertMenuCDCreate, "ConvertMenuCDCreate", "Создать папку", {}, 10},
         separator,
         {&ConvertMenuProcessAll, "ConvertMenuProcessAll", "Обработать все файлы", {}, -1},
         {&ConvertMenuRecode, "ConvertMenuRecode", "Перекодировать для магнитолы…", {}, -1},
         separator,
         {&ConvertMenuDiscCheck, "ConvertMenuDiscCheck", "Проверка диска", {}, -1},
         {&ConvertMenuDiscImage, "ConvertMenuDiscImage", "Создать образ диска…", {}, -1},
         {&ConvertMenuBurn, "ConvertMenuBurn", "Записать диск…", {}, -1},
         {&ConvertMenuStick, "ConvertMenuStick", "Записать на флешку…", {}, -1}});
    MainMenuSetup =
        addMenu("MainMenuSetup", "Настройки",
                {{&SetupMenuTransSet, "SetupMenuTransSet", "Настройки транслитерации", {}, 0}});
    MainMenuHelp =
        addMenu("MainMenuHelp", "Помощь",
                {{&HelpMenuAbout, "HelpMenuAbout", "О программе...", QKeySequence(Qt::Key_F1), 4}});
}

void TMainForm::BuildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(28);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    auto addButton = [this](const char* name, const char* caption, int icon) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(name);
        button->setText(QString::fromUtf8(caption));
        button->setIcon(ImageList1[static_cast<size_t>(icon)]);
        button->setProperty("ImageIndex", icon);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButton1 = addButton("ToolButton1", "Открыть папку", 1);
    ToolButton2 = addButton("ToolButton2", "Очистить список", 2);
    ToolButton3 = new QFrame(ToolBar1);
    ToolButton3->setObjectName("ToolButton3");
    ToolButton3->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    ToolButton3->setFixedWidth(8);
    ToolBar1->addWidget(ToolButton3);
    ToolButton4 = addButton("ToolButton4", "Настройки", 0);
}

void TMainForm::BuildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setFixedHeight(19);
    StatusBar1->setToolTip("Щелкни два раза");
    StatusText = new QLabel(StatusBar1);
    StatusText->setObjectName("StatusText");
    StatusText->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(StatusText, 1);
    Progress = new QProgressBar(StatusBar1);
    Progress->setObjectName("Progress");
    Progress->setFixedWidth(200);
    Progress->setMaximumHeight(15);
    Progress->setTextVisible(true);
    StatusBar1->addPermanentWidget(Progress);
    Progress->hide();
    StatusBar1->installEventFilter(this);
    StatusText->installEventFilter(this);
    setStatusBar(StatusBar1);
}

void TMainForm::BuildFilesPanel() {
    FilesPanel = new QWidget;
    FilesPanel->setObjectName("FilesPanel");
    auto* layout = new QVBoxLayout(FilesPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    InpButtonPanel = NewPanel(FilesPanel, "InpButtonPanel", {});
    InpButtonPanel->setFixedHeight(24);
    lblInputFolder = NewLabel(InpButtonPanel, "lblInputFolder", "", {}, kBold);
    lblInputFolder->setAlignment(Qt::AlignCenter);
    lblInputFolder->setWordWrap(true);
    // A long path must not widen the window.
    lblInputFolder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* folderLayout = new QVBoxLayout(InpButtonPanel);
    folderLayout->setContentsMargins(2, 1, 2, 1);
    folderLayout->addWidget(lblInputFolder);
    layout->addWidget(InpButtonPanel);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    FilesListBox = new QListWidget(FilesPanel);
    FilesListBox->setObjectName("FilesListBox");
    FilesListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    FilesListBox->setUniformItemSizes(true);
    QSizePolicy keepPlace = FilesListBox->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    FilesListBox->setSizePolicy(keepPlace);
    lblEmptyHint = new QLabel(kOpenFolderHint, FilesListBox->viewport());
    lblEmptyHint->setObjectName("lblEmptyHint");
    lblEmptyHint->setTextFormat(Qt::PlainText);
    lblEmptyHint->setAlignment(Qt::AlignCenter);
    lblEmptyHint->setWordWrap(true);
    lblEmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblEmptyHint->setForegroundRole(QPalette::PlaceholderText);
    auto* hintLayout = new QVBoxLayout(FilesListBox->viewport());
    hintLayout->setContentsMargins(12, 12, 12, 12);
    hintLayout->addWidget(lblEmptyHint);
    middle->addWidget(FilesListBox, 1);
    Panel9 = NewPanel(FilesPanel, "Panel9", {});
    Panel9->setFixedWidth(41);
    struct OrderDef {
        QPushButton** Button;
        const char* Name;
        const char* Hint;
        const char* Picture;
    };
    int y = 6;
    for (const OrderDef& def :
         {OrderDef{&bt_Up, "bt_Up", "Передвинуть вверх", ":/icons/up.png"},
          OrderDef{&BitBtn1, "BitBtn1", "Передвинуть вниз", ":/icons/down.png"},
          OrderDef{&BitBtn2, "BitBtn2", "Сортировать по алфавиту", ":/icons/sort.png"},
          OrderDef{&btMix, "btMix", "Перемешать", ":/icons/shuffle.png"}}) {
        QPushButton* button = NewButton(Panel9, def.Name, "", def.Hint, {7, y, 27, 25});
        button->setIcon(QIcon(def.Picture));
        button->setIconSize(QSize(16, 16));
        *def.Button = button;
        y += 31;
    }
    middle->addWidget(Panel9, 0);
    layout->addLayout(middle, 1);

    CurFileInfoPanel = NewPanel(FilesPanel, "CurFileInfoPanel", {});
    CurFileInfoPanel->setFixedHeight(50);
    Label1 = NewLabel(CurFileInfoPanel, "Label1", "Файлов:", {4, 4, 0, 0}, kAutoSize);
    NumFilesLabel =
        NewLabel(CurFileInfoPanel, "NumFilesLabel", "0", {56, 4, 0, 0}, kBold | kAutoSize);
    Label2 = NewLabel(CurFileInfoPanel, "Label2", "Размер:", {4, 18, 0, 0}, kAutoSize);
    SizeFilesLabel =
        NewLabel(CurFileInfoPanel, "SizeFilesLabel", "0", {56, 18, 0, 0}, kBold | kAutoSize);
    TextSizeLabel = NewLabel(CurFileInfoPanel, "TextSizeLabel", "Mb",
                             {SizeFilesLabel->width() + 72, 18, 0, 0}, kAutoSize);
    Label20 = NewLabel(CurFileInfoPanel, "Label20", "Время:", {4, 32, 0, 0}, kAutoSize);
    lblTotalTime =
        NewLabel(CurFileInfoPanel, "lblTotalTime", "00:00:00", {56, 32, 0, 0}, kBold | kAutoSize);
    layout->addWidget(CurFileInfoPanel);
}

void TMainForm::BuildInfoPanel() {
    InfoPanel = NewPanel(nullptr, "InfoPanel", {});
    InfoPanel->setFixedWidth(493);

    InfoFileName = NewLabel(InfoPanel, "InfoFileName", "", {4, 4, 466, 17}, kBold | kWhite);
    Label3 = NewLabel(InfoPanel, "Label3", "Размер (байт):", {4, 24, 0, 0}, kAutoSize);
    CurrentFileSizeLabel =
        NewLabel(InfoPanel, "CurrentFileSizeLabel", "0",
                 {Label3->x() + Label3->width() + 6, 24, 84, Label3->height()}, kBold);
    lblId3Status = NewLabel(InfoPanel, "lblId3Status", "", {88, 44, 160, 17}, kWhite);
    lblID3v2Status = NewLabel(InfoPanel, "lblID3v2Status", "", {250, 44, 159, 17}, kWhite);
    // The ID3v2 commands, beside the file's size, above the two tag status lines.
    btnFromName = NewButton(InfoPanel, "btnFromName", "Из имени",
                            "Заполнить пустые поля из имени файла "
                            "(«01 - Исполнитель - Название.mp3»)",
                            {182, 20, 74, 21});
    btnFromID3v2 = NewButton(InfoPanel, "btnFromID3v2", "Из ID3v2",
                             "Заполнить поля из ID3v2 тега файла", {258, 20, 74, 21});
    btnStripID3v2 = NewButton(InfoPanel, "btnStripID3v2", "Удалить ID3v2",
                              "Удалить ID3v2 тег в начале файла (звук и ID3v1 тег не меняются)",
                              {334, 20, 77, 21});

    // The tag editor: one row per field, its Keep box level with it in Panel1.
    constexpr int kFirstRow = 64;
    constexpr int kRowStep = 23;
    Panel1 = NewPanel(InfoPanel, "Panel1", {415, 42, 74, 184});
    Panel1->setToolTip("Сохранить текущее содержимое поля");
    Label6 = NewLabel(Panel1, "Label6", "Сохранить", {2, 3, 70, 14});
    Label6->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    edTitle = NewEdit(InfoPanel, "edTitle", {88, kFirstRow, 321, 21});
    edArtist = NewEdit(InfoPanel, "edArtist", {88, kFirstRow + kRowStep, 321, 21});
    edAlbum = NewEdit(InfoPanel, "edAlbum", {88, kFirstRow + 2 * kRowStep, 321, 21});
    edYear = NewEdit(InfoPanel, "edYear", {88, kFirstRow + 3 * kRowStep, 60, 21});
    edTrack = new QSpinBox(InfoPanel);
    edTrack->setObjectName("edTrack");
    edTrack->setRange(INT_MIN, INT_MAX);  // any 32-bit number
    edTrack->setValue(0);
    edTrack->setGeometry(88, kFirstRow + 4 * kRowStep, 96, 21);
    edGenre = new QComboBox(InfoPanel);
    edGenre->setObjectName("edGenre");
    edGenre->setEditable(true);
    edGenre->setInsertPolicy(QComboBox::NoInsert);
    edGenre->setMaxVisibleItems(20);
    edGenre->setGeometry(88, kFirstRow + 5 * kRowStep, 190, 21);
    edComment = NewEdit(InfoPanel, "edComment", {88, kFirstRow + 6 * kRowStep, 321, 21});
    new TTypingLimit(32, edTitle);
    new TTypingLimit(32, edArtist);

    // Captions and Keep boxes from the table of tag fields, in the editor's row order.
    struct RowDef {
        QLabel** Caption;
        QCheckBox** Keep;
        QLineEdit* Text;  // the text edit, nullptr for the track number and the genre
    };
    const RowDef rows[] = {
        {&Label11, &KeepName, edTitle},      {&Label12, &KeepArtist, edArtist},
        {&Label13, &KeepAlbum, edAlbum},     {&Label14, &KeepYear, edYear},
        {&Label15, &KeepTrack, nullptr},     {&Label16, &KeepGanre, nullptr},
        {&Label17, &KeepComment, edComment},
    };
    static_assert(std::size(rows) == kEditorRowOrder.size());
    int y = kFirstRow;
    for (size_t r = 0; r < kEditorRowOrder.size(); ++r) {
        const TTagFieldInfo& field = TagFieldInfo(kEditorRowOrder[r]);
        const std::string captionName = "Label" + std::to_string(11 + r);
        *rows[r].Caption = NewLabel(InfoPanel, captionName.c_str(),
                                    QString::fromUtf8(field.Caption), {4, y + 3, 0, 0}, kAutoSize);
        FitLabel(*rows[r].Caption, edTitle->x() - kCaptionGap);
        *rows[r].Keep = NewCheck(Panel1, field.Keep, field.KeepHint, 29, y - Panel1->y() + 3);
        KeepBoxes[FieldIndex(field.Field)] = *rows[r].Keep;
        TextEdits[FieldIndex(field.Field)] = rows[r].Text;
        y += kRowStep;
    }

    // The file information summary.
    QLabel** mpeg[] = {&lblMpegVersion, &lblDuration, &lblMpegParam, &lblMpegFlags,
                       &lblMpegInternal};
    const char* mpegNames[] = {"lblMpegVersion", "lblDuration", "lblMpegParam", "lblMpegFlags",
                               "lblMpegInternal"};
    for (int i = 0; i < 5; ++i) {
        *mpeg[i] =
            NewLabel(InfoPanel, mpegNames[i], "", {88, 229 + 17 * i, 321, 16}, kBold | kWhite);
    }

    BuildCommandRows(316);

    // The ID3v2 steps of the batch, with captions: what they do with a user's tags must be
    // readable without hovering.
    ID3v2BatchPanel = NewPanel(InfoPanel, "ID3v2BatchPanel", {4, 316 + 5 * 41 + 1, 481, 40});
    cbAllFilesFromID3v2 =
        NewCheck(ID3v2BatchPanel, "cbAllFilesFromID3v2",
                 "Все файлы: поля, которых нет в ID3v1 или которые в нём испорчены "
                 "(знаки «?» вместо букв), берутся из тега ID3v2",
                 8, 1, "Взять теги из ID3v2, если нет ID3v1 или он испорчен");
    cbAllFilesStripID3v2 =
        NewCheck(ID3v2BatchPanel, "cbAllFilesStripID3v2",
                 "Все файлы: тег ID3v2 (и обложка) удаляется после записи ID3v1, если каждый "
                 "его текст есть в ID3v1 целиком; иначе в нём остаются одни тексты",
                 0, 2, "Удалить ID3v2");
    cbAllFilesStripID3v2->move(ID3v2BatchPanel->width() - cbAllFilesStripID3v2->width() - 8, 1);
    cbAllFilesFromName = NewCheck(ID3v2BatchPanel, "cbAllFilesFromName",
                                  "Все файлы: поля, которых нет ни в одном теге, берутся из имени "
                                  "файла («01 - Исполнитель - Название.mp3»)",
                                  8, 20, "Взять теги из имени файла, если тега нет");
    ProcessAllPanel = NewPanel(InfoPanel, "ProcessAllPanel", {4, 316 + 5 * 41 + 41, 481, 31});
    btnProcessAll = NewButton(ProcessAllPanel, "btnProcessAll", "Обработать все файлы", nullptr,
                              {8, 4, 190, 25});
    cbAllFilesConvert =
        NewCheck(ProcessAllPanel, "cbAllFilesConvert",
                 "Все файлы: сначала то, что магнитола не сыграет (FLAC, M4A, Opus, Ogg, WAV, "
                 "MP3 вне её профиля), перекодируется в MP3; новые файлы обрабатываются со всеми",
                 206, 8, "Сначала перекодировать для магнитолы");
}

void TMainForm::BuildCommandRows(int top) {
    QFrame** rows[] = {&CommandRow1, &CommandRow2, &CommandRow3, &CommandRow4, &CommandRow5};
    const char* rowNames[] = {"CommandRow1", "CommandRow2", "CommandRow3", "CommandRow4",
                              "CommandRow5"};
    for (int i = 0; i < 5; ++i) {
        *rows[i] = NewPanel(InfoPanel, rowNames[i], {4, top + 41 * i, 409, 41});
    }
    const QRect button(6, 8, 129, 25);
    btnTranslit = NewButton(CommandRow1, "btnTranslit", "Транслитерация тегов",
                            "Транслитерировать русские буквы в ID3 тегах", button);
    btnSplit = NewButton(CommandRow2, "btnSplit", "Объединение полей",
                         "Объединить ID3 теги в теге \"Название\"", button);
    btnSaveID3 = NewButton(CommandRow3, "btnSaveID3", "Сохранение ID3 тегов",
                           "Сохранить ID3 теги в файле", button);
    btnRename = NewButton(CommandRow4, "btnRename", "Переименование файла",
                          "Переименовать файл в вид \"Трек - Исполнитель - Название.mp3\"", button);
    btnDirAndMove = NewButton(CommandRow5, "btnDirAndMove", "Создание папки",
                              "Создать персональную папку и переместить в неё файл", button);

    // Three boxes, each standing over its word of the caption "Track Artist   Title".
    auto partBoxes = [](QFrame* row, const char* captionName, QLabel** caption,
                        std::initializer_list<std::pair<const char*, const char*>> boxes) {
        const QString text = "Track Artist   Title";
        *caption = NewLabel(row, captionName, text, {142, 21, 0, 0}, kAutoSize);
        const QFontMetrics metrics((*caption)->font());
        const int words[3][2] = {{0, 5}, {6, 6}, {15, 5}};  // start, length
        std::vector<QCheckBox*> made;
        int i = 0;
        for (auto [name, hint] : boxes) {
            QCheckBox* box = NewCheck(row, name, hint, 0, 4);
            const int start = metrics.horizontalAdvance(text.left(words[i][0]));
            const int centre =
                start + metrics.horizontalAdvance(text.mid(words[i][0], words[i][1])) / 2;
            box->move(142 + centre - box->width() / 2, 4);
            made.push_back(box);
            ++i;
        }
        return made;
    };
    auto split = partBoxes(CommandRow2, "lblSplitParts", &lblSplitParts,
                           {{"cbSplitTrack", "Включить номер трека "},
                            {"cbSplitArtist", "Включить артиста"},
                            {"cbSplitTitle", "Включить название"}});
    cbSplitTrack = split[0];
    cbSplitArtist = split[1];
    cbSplitTitle = split[2];
    lblSeparateSymbol = NewLabel(CommandRow2, "lblSeparateSymbol",
                                 "Символ(ы)-разделитель:", {262, 3, 0, 0}, kAutoSize);
    edtSeparateSymbol = NewEdit(CommandRow2, "edtSeparateSymbol", {262, 18, 44, 20},
                                "Символ(ы)-разделитель полей (макс. 3 символа)");
    new TTypingLimit(3, edtSeparateSymbol);

    auto add = partBoxes(CommandRow4, "lblAddParts", &lblAddParts,
                         {{"cbAddTrack", "Включить номер трека в имя файла "},
                          {"cbAddArtist", "Включить артиста в имя файла"},
                          {"cbAddTitle", "Включить название в имя файла"}});
    cbAddTrack = add[0];
    cbAddArtist = add[1];
    cbAddTitle = add[2];
    lblReplaceSymbol =
        NewLabel(CommandRow4, "lblReplaceSymbol", "Символ для замены:", {262, 3, 0, 0}, kAutoSize);
    edtReplaceSymbol = NewEdit(CommandRow4, "edtReplaceSymbol", {262, 18, 44, 20},
                               "Символ для замены недопустимых в имени файла (1 символ)");
    new TTypingLimit(1, edtReplaceSymbol);

    rbFileName = new QRadioButton("Как имя файла", CommandRow5);
    rbFileName->setObjectName("rbFileName");
    rbFileName->move(142, 3);
    rbFileName->adjustSize();
    rbNum = new QRadioButton("Нумерованную", CommandRow5);
    rbNum->setObjectName("rbNum");
    rbNum->move(142, 21);
    rbNum->adjustSize();
    lblNumDir = NewLabel(CommandRow5, "lblNumDir", "Номер папки:", {262, 3, 0, 0}, kAutoSize);
    spedNumDir = new QSpinBox(CommandRow5);
    spedNumDir->setObjectName("spedNumDir");
    spedNumDir->setRange(1, 253);
    spedNumDir->setToolTip("Номер папки (1-253)");
    spedNumDir->setGeometry(262, 18, 60, 20);

    // The batch column: one box level with each command row.
    Panel2 = NewPanel(InfoPanel, "Panel2", {415, top - 18, 74, 5 * 41 + 18});
    Panel2->setToolTip("Действия при обработке всех файлов");
    Label18 = NewLabel(Panel2, "Label18", "Все файлы", {2, 3, 70, 14});
    Label18->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const int boxTop = 18 + 13;
    cbAllFilesTrans = NewCheck(Panel2, "cbAllFilesTrans",
                               "Транслитерация ID3 тегов при обработке всех файлов", 8, boxTop);
    cbAllFilesSplit = NewCheck(Panel2, "cbAllFilesSplit",
                               "Объединение полей ID3 при обработке всех файлов", 8, boxTop + 41);
    cbAllFilesSaveID3 = NewCheck(Panel2, "cbAllFilesSaveID3",
                                 "Сохранение ID3 тегов при обработке всех файлов", 8, boxTop + 82);
    cbAllFilesRename = NewCheck(Panel2, "cbAllFilesRename",
                                "Переименование при обработке всех файлов", 8, boxTop + 123);
    cbAllFilesMoveToDir =
        NewCheck(Panel2, "cbAllFilesMoveToDir",
                 "Создание персональных папок при обработке всех файлов", 8, boxTop + 164);
    Label19 = NewLabel(Panel2, "Label19", "}", {24, boxTop + 123 - 8, 22, 41 + 30});
    QFont brace = Label19->font();
    brace.setPixelSize(43);
    Label19->setFont(brace);
    Label19->setAlignment(Qt::AlignCenter);
    cbRenameMoveOneTime = NewCheck(
        Panel2, "cbRenameMoveOneTime",
        "Одновременное переименование, создание папки и перемещение файла", 48, boxTop + 123 + 20);
    // Its caption stands left of the brace, where the folder row has room: what the box does
    // must be readable without hovering.
    lblAtOnce = NewLabel(InfoPanel, "lblAtOnce", "сразу в папки, в порядке списка",
                         {340, Panel2->y() + boxTop + 123 + 6, 70, 50});
    QFont small = lblAtOnce->font();
    small.setPixelSize(10);
    lblAtOnce->setFont(small);
    lblAtOnce->setWordWrap(true);
    lblAtOnce->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TMainForm::Connect() {
    // The handlers reach the model through a plain pointer: GCC 12's vptr sanitizer
    // misreports a window reached through a lambda's capture after a nested event loop.
    TMainForm* const form = this;
    TMainModel* const model = &Model;
    auto run = [form, model](void (TMainModel::*handler)()) {
        return [form, model, handler] { form->Do([model, handler] { (model->*handler)(); }); };
    };
    // Menu bar and tool bar.
    connect(FileMenuNew, &QAction::triggered, form, run(&TMainModel::FileMenuNewClick));
    connect(FileMenuAddDir, &QAction::triggered, form, run(&TMainModel::FileMenuAddDirClick));
    connect(FileMenuExit, &QAction::triggered, form, [form] { form->FileMenuExitClick(); });
    connect(TrackListMenuSaveFilesList, &QAction::triggered, this,
            run(&TMainModel::TrackListMenuSaveFilesListClick));
    connect(TrackListMenuSaveFromID3v1, &QAction::triggered, this,
            run(&TMainModel::TrackListMenuSaveFromID3v1Click));
    connect(ConvertMenuID3TagsConvert, &QAction::triggered, this,
            run(&TMainModel::btnTranslitClick));
    connect(ConvertMenuSplit, &QAction::triggered, form, run(&TMainModel::btnSplitClick));
    connect(ConvertMenuSaveID3, &QAction::triggered, form, run(&TMainModel::btnSaveID3Click));
    connect(ConvertMenuFromID3v2, &QAction::triggered, form, run(&TMainModel::btnFromID3v2Click));
    connect(ConvertMenuStripID3v2, &QAction::triggered, form, run(&TMainModel::btnStripID3v2Click));
    connect(ConvertMenuRename, &QAction::triggered, form, run(&TMainModel::btnRenameClick));
    connect(ConvertMenuCDCreate, &QAction::triggered, form, run(&TMainModel::btnDirAndMoveClick));
    connect(ConvertMenuProcessAll, &QAction::triggered, this,
            run(&TMainModel::ConvertMenuProcessAll));
    connect(ConvertMenuRecode, &QAction::triggered, form,
            run(&TMainModel::ConvertMenuConvertClick));
    connect(ConvertMenuDiscCheck, &QAction::triggered, form,
            run(&TMainModel::ConvertMenuDiscCheckClick));
    connect(ConvertMenuDiscImage, &QAction::triggered, form,
            run(&TMainModel::ConvertMenuDiscImageClick));
    connect(ConvertMenuBurn, &QAction::triggered, form, run(&TMainModel::ConvertMenuBurnClick));
    connect(ConvertMenuStick, &QAction::triggered, form, run(&TMainModel::ConvertMenuStickClick));
    connect(SetupMenuTransSet, &QAction::triggered, form, run(&TMainModel::SetupMenuTransSetClick));
    connect(HelpMenuAbout, &QAction::triggered, form, run(&TMainModel::HelpMenuAboutClick));
    connect(ToolButton1, &QToolButton::clicked, form, run(&TMainModel::ToolButton1Click));
    connect(ToolButton2, &QToolButton::clicked, form, run(&TMainModel::FileMenuNewClick));
    connect(ToolButton4, &QToolButton::clicked, form, run(&TMainModel::SetupMenuTransSetClick));

    // Track list and order.
    connect(FilesListBox, &QListWidget::currentRowChanged, form, [form, model](int row) {
        if (row >= 0) {
            form->Do([model, row] {
                model->SelectTrack(row);
                model->FilesListBoxClick();
            });
        }
    });
    connect(bt_Up, &QPushButton::clicked, form, run(&TMainModel::bt_UpClick));
    connect(BitBtn1, &QPushButton::clicked, form, run(&TMainModel::BitBtn1Click));
    connect(BitBtn2, &QPushButton::clicked, form, run(&TMainModel::BitBtn2Click));
    connect(btMix, &QPushButton::clicked, form, run(&TMainModel::btMixClick));

    // Tag edits.
    for (const TTagFieldInfo& info : TagFields()) {
        const TTagField field = info.Field;
        QLineEdit* edit = form->TextEdits[FieldIndex(field)];
        if (edit == nullptr)
            continue;
        connect(edit, &QLineEdit::textChanged, form, [form, model, field](const QString& text) {
            form->Do([model, field, value = FromQt(text)] {
                model->SetEditText(model->FieldEdit(field), value);
            });
        });
    }
    connect(edTrack, &QSpinBox::textChanged, form, [form, model](const QString& text) {
        form->Do([model, value = FromQt(text)] { model->SetTrackText(value); });
    });
    connect(edGenre, &QComboBox::currentIndexChanged, form, [form, model](int index) {
        if (index >= 0) {
            form->Do([model, index] { model->SetGenreIndex(index); });
        }
    });
    connect(edGenre, &QComboBox::editTextChanged, form, [form, model](const QString& text) {
        form->Do([model, value = FromQt(text)] { model->SetGenreText(value); });
    });

    // Check boxes: the model sets the box and runs its rule.
    auto clicked = [form, model](QAbstractButton* box, TCheckBox TMainModel::*state) {
        connect(box, &QAbstractButton::clicked, form, [form, model, state](bool on) {
            form->Do([model, state, on] { model->SetBox(model->*state, on); });
        });
    };
    for (const TTagFieldInfo& info : TagFields()) {
        const TTagField field = info.Field;
        connect(form->KeepBoxes[FieldIndex(field)], &QAbstractButton::clicked, form,
                [form, model, field](bool on) {
                    form->Do([model, field, on] { model->SetBox(model->FieldKeep(field), on); });
                });
    }
    clicked(cbSplitTrack, &TMainModel::cbSplitTrack);
    clicked(cbSplitArtist, &TMainModel::cbSplitArtist);
    clicked(cbSplitTitle, &TMainModel::cbSplitTitle);
    clicked(cbAddTrack, &TMainModel::cbAddTrack);
    clicked(cbAddArtist, &TMainModel::cbAddArtist);
    clicked(cbAddTitle, &TMainModel::cbAddTitle);
    clicked(cbAllFilesTrans, &TMainModel::cbAllFilesTrans);
    clicked(cbAllFilesSplit, &TMainModel::cbAllFilesSplit);
    clicked(cbAllFilesSaveID3, &TMainModel::cbAllFilesSaveID3);
    clicked(cbAllFilesRename, &TMainModel::cbAllFilesRename);
    clicked(cbAllFilesMoveToDir, &TMainModel::cbAllFilesMoveToDir);
    clicked(cbRenameMoveOneTime, &TMainModel::cbRenameMoveOneTime);
    clicked(cbAllFilesFromID3v2, &TMainModel::cbAllFilesFromID3v2);
    clicked(cbAllFilesStripID3v2, &TMainModel::cbAllFilesStripID3v2);
    clicked(cbAllFilesFromName, &TMainModel::cbAllFilesFromName);
    clicked(cbAllFilesConvert, &TMainModel::cbAllFilesConvert);

    // Folder naming: the two radio buttons exclude each other.
    connect(rbFileName, &QRadioButton::clicked, form,
            [form, model] { form->Do([model] { model->ChooseFolderNaming(false); }); });
    connect(rbNum, &QRadioButton::clicked, form,
            [form, model] { form->Do([model] { model->ChooseFolderNaming(true); }); });
    connect(spedNumDir, &QSpinBox::valueChanged, form, [form, model](int value) {
        form->Do([model, value] {
            model->SetNumDir(value);
            model->spedNumDirChange();
        });
    });
    connect(edtSeparateSymbol, &QLineEdit::textChanged, form, [form, model](const QString& text) {
        form->Do([model, value = FromQt(text)] { model->edtSeparateSymbol.Text = value; });
    });
    connect(edtReplaceSymbol, &QLineEdit::textChanged, form, [form, model](const QString& text) {
        form->Do([model, value = FromQt(text)] { model->edtReplaceSymbol.Text = value; });
    });

    // Command buttons.
    connect(btnTranslit, &QPushButton::clicked, form, run(&TMainModel::btnTranslitClick));
    connect(btnSplit, &QPushButton::clicked, form, run(&TMainModel::btnSplitClick));
    connect(btnSaveID3, &QPushButton::clicked, form, run(&TMainModel::btnSaveID3Click));
    connect(btnRename, &QPushButton::clicked, form, run(&TMainModel::btnRenameClick));
    connect(btnDirAndMove, &QPushButton::clicked, form, run(&TMainModel::btnDirAndMoveClick));
    connect(btnFromID3v2, &QPushButton::clicked, form, run(&TMainModel::btnFromID3v2Click));
    connect(btnStripID3v2, &QPushButton::clicked, form, run(&TMainModel::btnStripID3v2Click));
    connect(btnFromName, &QPushButton::clicked, form, run(&TMainModel::btnFromNameClick));
    connect(btnProcessAll, &QPushButton::clicked, form, run(&TMainModel::ProcessAllWithPlan));
}

void TMainForm::Do(const std::function<void()>& command) {
    // The model's Run reports a failed command itself; this guard only keeps whatever might
    // still escape (from mirroring, say) out of Qt's event loop.
    try {
        Model.Run(command);
        Sync();
    } catch (const std::exception& e) {
        LastResortError(this, e.what());
    } catch (...) {
        LastResortError(this, "Unknown error");
    }
}

void TMainForm::Sync() {
    const TMainModel& m = Model;
    // Files panel.
    SetLabel(lblInputFolder, m.lblInputFolder.Caption);
    SyncList();
    SetLabel(NumFilesLabel, m.NumFilesLabel.Caption);
    if (SizeFilesLabel->text() != ToQt(m.SizeFilesLabel.Caption)) {
        SetLabel(SizeFilesLabel, m.SizeFilesLabel.Caption);
        SizeFilesLabel->adjustSize();
        // The unit follows the number with a 16-pixel gap.
        TextSizeLabel->move(SizeFilesLabel->width() + 72, TextSizeLabel->y());
    }
    SetLabel(lblTotalTime, m.lblTotalTime.Caption);
    for (QLabel* label : {NumFilesLabel, lblTotalTime}) {
        if (label->width() != label->sizeHint().width()) {
            label->adjustSize();
        }
    }

    // Current file and tag editor.
    SetLabel(InfoFileName, m.InfoFileName.Caption);
    if (ShownRed != m.InfoFileNameRed) {
        QPalette palette = InfoFileName->palette();
        palette.setColor(QPalette::WindowText,
                         m.InfoFileNameRed ? QColor(255, 0, 0)
                                           : QApplication::palette().color(QPalette::WindowText));
        InfoFileName->setPalette(palette);
        ShownRed = m.InfoFileNameRed;
    }
    SetLabel(CurrentFileSizeLabel, m.CurrentFileSizeLabel.Caption);
    SetLabel(lblId3Status, m.lblId3Status.Caption);
    SetLabel(lblID3v2Status, m.lblID3v2Status.Caption);
    if (lblID3v2Status->toolTip() != ToQt(m.ID3v2Details))
        lblID3v2Status->setToolTip(ToQt(m.ID3v2Details));
    for (const TTagFieldInfo& info : TagFields()) {
        if (QLineEdit* edit = TextEdits[FieldIndex(info.Field)])
            SyncEdit(edit, m.FieldEdit(info.Field));
        SyncCheck(KeepBoxes[FieldIndex(info.Field)], m.FieldKeep(info.Field));
    }
    SyncSpin(edTrack, m.edTrack, 0);
    SyncGenre();
    SetLabel(lblMpegVersion, m.lblMpegVersion.Caption);
    SetLabel(lblDuration, m.lblDuration.Caption);
    SetLabel(lblMpegParam, m.lblMpegParam.Caption);
    SetLabel(lblMpegFlags, m.lblMpegFlags.Caption);
    SetLabel(lblMpegInternal, m.lblMpegInternal.Caption);

    // Command rows.
    SetEnabled(btnTranslit, m.btnTranslit.Enabled);
    SetEnabled(btnSplit, m.btnSplit.Enabled);
    SetEnabled(btnSaveID3, m.btnSaveID3.Enabled);
    SetEnabled(btnRename, m.btnRename.Enabled);
    SetEnabled(btnDirAndMove, m.btnDirAndMove.Enabled);
    SyncCheck(cbSplitTrack, m.cbSplitTrack);
    SyncCheck(cbSplitArtist, m.cbSplitArtist);
    SyncCheck(cbSplitTitle, m.cbSplitTitle);
    SyncEdit(edtSeparateSymbol, m.edtSeparateSymbol);
    SyncCheck(cbAddTrack, m.cbAddTrack);
    SyncCheck(cbAddArtist, m.cbAddArtist);
    SyncCheck(cbAddTitle, m.cbAddTitle);
    SyncEdit(edtReplaceSymbol, m.edtReplaceSymbol);
    // The button going on is set first, so the pair never shows two buttons on.
    for (auto [button, state] :
         {std::pair{rbNum, &m.rbNum}, std::pair{rbFileName, &m.rbFileName}}) {
        if (state->Checked) {
            SyncCheck(button, *state);
        }
    }
    for (auto [button, state] :
         {std::pair{rbNum, &m.rbNum}, std::pair{rbFileName, &m.rbFileName}}) {
        if (!state->Checked) {
            SyncCheck(button, *state);
        }
    }
    SyncSpin(spedNumDir, m.spedNumDir, 1);

    // Batch column.
    SyncCheck(cbAllFilesTrans, m.cbAllFilesTrans);
    SyncCheck(cbAllFilesSplit, m.cbAllFilesSplit);
    SyncCheck(cbAllFilesSaveID3, m.cbAllFilesSaveID3);
    SyncCheck(cbAllFilesRename, m.cbAllFilesRename);
    SyncCheck(cbAllFilesMoveToDir, m.cbAllFilesMoveToDir);
    SyncCheck(cbRenameMoveOneTime, m.cbRenameMoveOneTime);
    SyncCheck(cbAllFilesFromID3v2, m.cbAllFilesFromID3v2);
    SyncCheck(cbAllFilesStripID3v2, m.cbAllFilesStripID3v2);
    SyncCheck(cbAllFilesFromName, m.cbAllFilesFromName);
    SyncCheck(cbAllFilesConvert, m.cbAllFilesConvert);
    SetVisible(Label19, m.Label19Visible);
    SetVisible(lblAtOnce, m.Label19Visible);
    SetEnabled(btnProcessAll, m.btnProcessAll.Enabled);
    ConvertMenuProcessAll->setEnabled(m.btnProcessAll.Enabled);

    SyncShell();
}

void TMainForm::SyncList() {
    const TListBox& box = Model.FilesListBox;
    const QSignalBlocker blocker(FilesListBox);
    if (box.Items != ShownItems) {
        const int firstVisible = FilesListBox->verticalScrollBar()->value();
        if (box.Items.size() == ShownItems.size()) {
            // The same number of names (a reordering): only the changed rows are set, so the
            // list keeps its place.
            for (size_t i = 0; i < box.Items.size(); ++i) {
                if (box.Items[i] != ShownItems[i]) {
                    FilesListBox->item(static_cast<int>(i))->setText(ToQt(box.Items[i]));
                }
            }
        } else {
            FilesListBox->clear();
            QStringList names;
            names.reserve(static_cast<qsizetype>(box.Items.size()));
            for (const std::string& name : box.Items) {
                names.append(ToQt(name));
            }
            FilesListBox->addItems(names);
        }
        FilesListBox->verticalScrollBar()->setValue(firstVisible);
        ShownItems = box.Items;
    }
    const int index =
        box.ItemIndex >= 0 && box.ItemIndex < FilesListBox->count() ? box.ItemIndex : -1;
    if (FilesListBox->currentRow() != index) {
        FilesListBox->setCurrentRow(index);
    }
    if (index < 0 && !FilesListBox->selectedItems().isEmpty()) {
        FilesListBox->clearSelection();
    }
    SetVisible(lblEmptyHint, box.Items.empty());
    if (lblEmptyHint->text() != ToQt(Model.EmptyListHint))
        lblEmptyHint->setText(ToQt(Model.EmptyListHint));
    SetVisible(FilesListBox, box.Visible);
}

void TMainForm::SyncGenre() {
    const TGenreBox& box = Model.edGenre;
    const QSignalBlocker blocker(edGenre);
    bool same = edGenre->count() == static_cast<int>(box.Items.size());
    for (int i = 0; same && i < edGenre->count(); ++i) {
        const TGenreBox::Item& item = box.Items[static_cast<size_t>(i)];
        same = edGenre->itemData(i).toInt() == item.Code && edGenre->itemText(i) == ToQt(item.Name);
    }
    if (!same) {
        edGenre->clear();
        for (const TGenreBox::Item& item : box.Items) {
            edGenre->addItem(ToQt(item.Name), item.Code);
        }
    }
    // The box's own index is not trusted while typed text names no entry: the model keeps the
    // text and the selection, and they decide what is shown.
    const QString text = ToQt(box.Text);
    const bool selected = box.ItemIndex >= 0 && box.ItemIndex < edGenre->count();
    if (edGenre->currentText() != text) {
        edGenre->setCurrentIndex(selected ? box.ItemIndex : -1);
        if (edGenre->currentText() != text) {
            edGenre->setEditText(text);
        }
    } else if (selected && edGenre->currentIndex() != box.ItemIndex) {
        edGenre->setCurrentIndex(box.ItemIndex);
    }
    SetEnabled(edGenre, box.Enabled);
}

void TMainForm::SyncShell() {
    const TMainModel& m = Model;
    SetLabel(StatusText, m.StatusText);
    const bool progress = m.ProgressTotal > 0;
    if (progress) {
        if (Progress->maximum() != m.ProgressTotal) {
            Progress->setRange(0, m.ProgressTotal);
        }
        if (Progress->value() != m.ProgressDone) {
            Progress->setValue(std::min(m.ProgressDone, m.ProgressTotal));
        }
    }
    SetVisible(Progress, progress);
    SetVisible(CommandPanel, m.CommandPanelVisible);
    if (m.BusyCursor != CursorOverridden) {
        if (m.BusyCursor) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
        CursorOverridden = m.BusyCursor;
    }
}

void TMainForm::RefreshNow() {
    // A long command asks for a refresh at every percent of its progress, and a repaint costs
    // more than the work of ten files: while only the progress moves, the window mirrors and
    // repaints at most every kProgressRepaintMs. A change of the rest shows at once. Painting
    // waits for the event loop when the window only goes back to rest (the list shown again,
    // the status cleared): the command's end paints that once, instead of once per step.
    constexpr qint64 kProgressRepaintMs = 40;
    const TMainModel& m = Model;
    auto shell = std::make_tuple(m.StatusText, m.ProgressTotal, m.BusyCursor,
                                 m.FilesListBox.Visible, m.CommandPanelVisible);
    if (shell == PaintedShell && RepaintClock.isValid() &&
        RepaintClock.elapsed() < kProgressRepaintMs) {
        return;
    }
    const bool busy = m.BusyCursor || m.ProgressTotal > 0;
    const bool newMessage = !m.StatusText.empty() && m.StatusText != std::get<0>(PaintedShell);
    PaintedShell = std::move(shell);
    RepaintClock.start();
    try {
        Sync();
        if (busy || newMessage) {
            if (QLayout* layout = StatusBar1->layout()) {
                layout->activate();
            }
            StatusBar1->repaint();
        }
    } catch (const std::exception& e) {
        LastResortError(this, e.what());
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == StatusBar1 || watched == StatusText) {
            Do([this] { Model.StatusBar1DblClick(); });
            return true;
        }
        if (watched == Label5) {
            Do([this] { Model.Label5DblClick(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace velmora
