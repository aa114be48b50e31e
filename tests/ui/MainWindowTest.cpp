// The main window: start-up, controls and their first states, menus and shortcuts, the size
// rule, the warning panel, and how input reaches the model.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>

#include "core/model/MainModel.h"
#include "tests/support/ScriptedPort.h"
#include "tests/ui/UiTestSupport.h"
#include "tools/Mp3Builder.h"
#include "ui/About.h"
#include "ui/MainUnit.h"
#include "ui/SaveID3v1.h"
#include "ui/Savefiles.h"
#include "ui/TranslitSetupForm.h"
#include "ui/VelmoraApp.h"

namespace velmora::uitest {
namespace {

// The real window over a model whose user is scripted.
struct TScriptedWindow {
    test::TScriptedPort Port;
    TMainModel Model{Port};
    TMainForm Form{Model};

    template <class T>
    T* Find(const char* name) {
        T* widget = Form.findChild<T*>(name);
        if (widget == nullptr) {
            qWarning("no control %s", name);
        }
        return widget;
    }
    // Opens the folder through the menu, as the user would choose it in the dialog.
    void Open(const std::string& folder) {
        Port.FolderAnswers.push_back(folder);
        Form.FileMenuAddDir->trigger();
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void startUpCreatesTheWindowsInOrder();
    void controlsStartWithTheirCaptionsHintsAndStates();
    void regionsHaveTheirSizes();
    void menusHoldEveryItemWithShortcutAndIcon();
    void menuItemsAndButtonsRunTheSameHandlers();
    void shortcutsWorkFromAnywhereInTheWindow();
    void minimumSizeFollowsTheModelsRule();
    void warningPanelOpensAndClosesByDoubleClicks();
    void keepBoxesGreyTheirEdits();
    void typingLimitsBindTypingOnly();
    void batchColumnFollowsItsRules();
    void listSelectionMakesTheFileCurrent();
    void emptyListShowsAHint();
    void genreBoxFollowsChoiceAndTyping();
    void busyStateShowsWhileACommandWorks();
    void progressMovesWithoutARepaintPerStep();
    void errorsEndTheCommandInsideTheWindow();
    void closingDropsUnsavedEditsWithoutAQuestion();
};

void MainWindowTest::startUpCreatesTheWindowsInOrder() {
    TVelmoraWindows windows("/opt/velmora/velmora");
    QCOMPARE(windows.Model.ProgramPath, std::string("/opt/velmora/velmora"));
    // The main window is created first (its FormCreate filled the genre box), then the dialogs.
    QCOMPARE(windows.MainForm.edGenre->count(), 148);
    QStringList dialogs;
    for (QObject* child : windows.MainForm.children()) {
        if (auto* dialog = qobject_cast<QDialog*>(child)) {
            dialogs << dialog->objectName();
            QVERIFY2(dialog->isHidden(), qPrintable(dialog->objectName()));
        }
    }
    QCOMPARE(dialogs, QStringList({"TranslitSetup", "AboutBox", "SaveFilesForm", "SaveID3v1Form"}));
    QVERIFY(windows.MainForm.isHidden());
    QCOMPARE(windows.MainForm.windowTitle(), QString("Velmora"));
    QCOMPARE(QApplication::applicationName(), QString("Velmora"));
    QCOMPARE(QApplication::font().pointSize(), 8);
    // The program's icon, at every size it is drawn in, is the window's icon.
    QCOMPARE(QGuiApplication::desktopFileName(), QString("io.github.velmora.Velmora"));
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        QCOMPARE(windows.MainForm.windowIcon().pixmap(size, size).size(), QSize(size, size));
    }
    QCOMPARE(windows.MainForm.windowIcon().availableSizes().size(), 6);
    // The genre box is in the model's order, each entry carrying its code.
    for (int i = 0; i < windows.MainForm.edGenre->count(); ++i) {
        const TGenreBox::Item& item = windows.Model.edGenre.Items[static_cast<size_t>(i)];
        QCOMPARE(windows.MainForm.edGenre->itemText(i), QString::fromStdString(item.Name));
        QCOMPARE(windows.MainForm.edGenre->itemData(i).toInt(), item.Code);
    }
    QCOMPARE(windows.MainForm.edGenre->currentIndex(), -1);
}

void MainWindowTest::controlsStartWithTheirCaptionsHintsAndStates() {
    // Captions, hints, first states, fonts and the layout at the window's first size, held as
    // data: a deliberate change of the window updates tests/data/main-window.txt with it.
    TScriptedWindow w;
    QCOMPARE(w.Form.size(), QSize(879, 723));
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    QVERIFY(MatchesGolden(DumpWidgetTree(&w.Form), "main-window.txt"));
    QVERIFY(!w.Form.ConvertMenuProcessAll->isEnabled());
    QCOMPARE(w.Form.FilesListBox->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(w.Form.edTrack->minimum(), INT_MIN);
    QCOMPARE(w.Form.edTrack->maximum(), INT_MAX);
    QCOMPARE(w.Form.spedNumDir->minimum(), 1);
    QCOMPARE(w.Form.spedNumDir->maximum(), 253);
    QVERIFY(w.Form.edGenre->isEditable());
    QCOMPARE(w.Form.edGenre->insertPolicy(), QComboBox::NoInsert);
    QCOMPARE(w.Form.Label5->font().pixelSize(), 16);
    QCOMPARE(w.Form.Label5->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(w.Form.Label5->wordWrap());
    QCOMPARE(w.Form.Label19->font().pixelSize(), 43);
    QCOMPARE(w.Form.InfoFileName->palette().color(QPalette::Window), QColor(Qt::white));
    for (QPushButton* button : {w.Form.bt_Up, w.Form.BitBtn1, w.Form.BitBtn2, w.Form.btMix})
        QVERIFY(!button->icon().pixmap(16, 16).isNull());
    w.Form.close();
}

void MainWindowTest::regionsHaveTheirSizes() {
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    // Everything of the info panel fits even with the warning shown at the smallest size.
    w.Form.resize(720, 705);
    w.Model.CommandPanelVisible = true;
    w.Form.Sync();
    QTest::qWait(20);
    QVERIFY(w.Form.ProcessAllPanel->geometry().bottom() < w.Form.InfoPanel->height());
    // Only the files panel changes width with the window.
    const int filesWidth = w.Form.FilesPanel->width();
    w.Form.resize(1000, 723);
    QTest::qWait(20);
    QCOMPARE(w.Form.InfoPanel->width(), 493);
    QCOMPARE(w.Form.FilesPanel->width(), filesWidth + 1000 - 720);
    w.Form.close();
}

void MainWindowTest::menusHoldEveryItemWithShortcutAndIcon() {
    TScriptedWindow w;
    struct Item {
        const char* Name;  // nullptr: separator
        const char* Caption;
        QKeySequence Shortcut;
        int Icon;
    };
    const std::pair<std::pair<const char*, const char*>, std::vector<Item>> menus[] = {
        {{"MainMenuFile", "Файл"},
         {{"FileMenuNew", "Очистить список", QKeySequence("Ctrl+N"), 2},
          {"FileMenuAddDir", "Открыть папку", QKeySequence("Ctrl+O"), 1},
          {nullptr, "", {}, -1},
          {"FileMenuExit", "Выход", {}, 3}}},
        {{"TrackListMenu", "Список треков"},
         {{"TrackListMenuSaveFilesList", "Сохранить список файлов", {}, 13},
          {"TrackListMenuSaveFromID3v1", "Сохранить список из ID3v1 тегов", {}, 12}}},
        {{"MainMenuConvert", "Обработка"},
         {{"ConvertMenuID3TagsConvert", "Транслитерация тегов", {}, 7},
          {"ConvertMenuSplit", "Объединение тегов", {}, 8},
          {"ConvertMenuSaveID3", "Сохранение ID3 тегов", {}, 9},
          {"ConvertMenuFromID3v2", "Из ID3v2", {}, -1},
          {"ConvertMenuStripID3v2", "Удалить ID3v2", {}, -1},
          {"ConvertMenuRename", "Переименовать файл", {}, 11},
          {"ConvertMenuCDCreate", "Создать папку", {}, 10},
          {nullptr, "", {}, -1},
          {"ConvertMenuProcessAll", "Обработать все файлы", {}, -1},
          {"ConvertMenuRecode", "Перекодировать для магнитолы…", {}, -1},
          {nullptr, "", {}, -1},
          {"ConvertMenuDiscCheck", "Проверка диска", {}, -1},
          {"ConvertMenuDiscImage", "Создать образ диска…", {}, -1},
          {"ConvertMenuBurn", "Записать диск…", {}, -1},
          {"ConvertMenuStick", "Записать на флешку…", {}, -1}}},
        {{"MainMenuSetup", "Настройки"},
         {{"SetupMenuTransSet", "Настройки транслитерации", {}, 0}}},
        {{"MainMenuHelp", "Помощь"}, {{"HelpMenuAbout", "О программе...", QKeySequence("F1"), 4}}},
    };
    const QList<QAction*> bar = w.Form.menuBar()->actions();
    QCOMPARE(bar.size(), 5);
    int m = 0;
    for (const auto& [menuName, items] : menus) {
        QMenu* menu = bar[m++]->menu();
        QCOMPARE(menu->objectName(), QString(menuName.first));
        QCOMPARE(menu->title(), QString::fromUtf8(menuName.second));
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), static_cast<qsizetype>(items.size()));
        for (size_t i = 0; i < items.size(); ++i) {
            QAction* action = actions[static_cast<qsizetype>(i)];
            if (items[i].Name == nullptr) {
                QVERIFY(action->isSeparator());
                continue;
            }
            QCOMPARE(action->objectName(), QString(items[i].Name));
            QCOMPARE(action->text(), QString::fromUtf8(items[i].Caption));
            QCOMPARE(action->shortcut(), items[i].Shortcut);
            QCOMPARE(action->property("ImageIndex").toInt(), items[i].Icon);
            if (items[i].Icon >= 0) {
                // One index, one picture: the menu shows the image list's own icon.
                QCOMPARE(action->icon().cacheKey(),
                         w.Form.ImageList1[static_cast<size_t>(items[i].Icon)].cacheKey());
            } else {
                QVERIFY(action->icon().isNull());
            }
        }
    }
    // The tool bar: icon and caption side by side; indexes shared with the menu.
    QCOMPARE(w.Form.ToolBar1->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    for (auto [button, icon] : {std::pair{w.Form.ToolButton1, 1}, std::pair{w.Form.ToolButton2, 2},
                                std::pair{w.Form.ToolButton4, 0}}) {
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(button->icon().cacheKey(),
                 w.Form.ImageList1[static_cast<size_t>(icon)].cacheKey());
    }
    // The image list holds 14 pictures of 16 x 16, each loaded from the compiled-in resources.
    QCOMPARE(w.Form.ImageList1.size(), size_t{14});
    for (const QIcon& icon : w.Form.ImageList1) {
        QVERIFY(!icon.pixmap(16, 16).isNull());
    }
}

void MainWindowTest::menuItemsAndButtonsRunTheSameHandlers() {
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    TScriptedWindow w;
    namespace fs = std::filesystem;

    // Open folder: menu item and tool button both ask for the folder.
    w.Form.FileMenuAddDir->trigger();
    w.Form.ToolButton1->click();
    QCOMPARE(w.Port.FolderDialogs, 2);

    w.Open(dir.Path());
    QCOMPARE(w.Form.FilesListBox->count(), 4);
    QCOMPARE(w.Form.NumFilesLabel->text(), QString("4"));
    // Clear list: menu item and tool button.
    w.Form.FileMenuNew->trigger();
    QCOMPARE(w.Form.FilesListBox->count(), 0);
    QCOMPARE(w.Form.NumFilesLabel->text(), QString("0"));
    w.Open(dir.Path());
    w.Form.ToolButton2->click();
    QCOMPARE(w.Form.FilesListBox->count(), 0);
    QCOMPARE(w.Form.lblTotalTime->text(), QString("00:00:00"));

    // Transliteration: menu item and button change the edits alike.
    w.Open(dir.Path());
    QCOMPARE(w.Form.edTitle->text(), QString("Группа крови"));
    w.Form.ConvertMenuID3TagsConvert->trigger();
    const QString byMenu = w.Form.edTitle->text();
    QCOMPARE(byMenu, QString("Gruppa krovi"));
    QCOMPARE(w.Form.InfoFileName->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    w.Open(dir.Path());  // clearing the list drops the change
    w.Form.btnTranslit->click();
    QCOMPARE(w.Form.edTitle->text(), byMenu);

    // Merge: artist and title joined by the separator.
    w.Open(dir.Path());
    w.Form.ConvertMenuSplit->trigger();
    QCOMPARE(w.Form.edTitle->text(), QString("Кино-Группа крови"));
    w.Open(dir.Path());
    w.Form.btnSplit->click();
    QCOMPARE(w.Form.edTitle->text(), QString("Кино-Группа крови"));

    // Saving the tag: both write the file and leave the track unchanged.
    w.Open(dir.Path());
    w.Form.edYear->setText("2001");
    QVERIFY(w.Model.TagsModified);
    w.Form.ConvertMenuSaveID3->trigger();
    QVERIFY(!w.Model.TagsModified);
    w.Form.edYear->setText("2002");
    w.Form.btnSaveID3->click();
    QVERIFY(!w.Model.TagsModified);
    w.Open(dir.Path());
    QCOMPARE(w.Form.edYear->text(), QString("2002"));

    // Renaming: each renames the current (first) file after its title.
    w.Form.ConvertMenuRename->trigger();
    QVERIFY(fs::exists(fs::path(dir.Path()) / "Группа крови.mp3"));
    w.Form.btnRename->click();
    QCOMPARE(w.Form.FilesListBox->count(), 4);

    // Folders: each moves the current file into the next numbered folder.
    w.Form.ConvertMenuCDCreate->trigger();
    QVERIFY(fs::is_directory(fs::path(dir.Path()) / "D001"));
    QCOMPARE(w.Form.spedNumDir->value(), 2);
    w.Form.btnDirAndMove->click();
    QVERIFY(fs::is_directory(fs::path(dir.Path()) / "D002"));
    QCOMPARE(w.Form.FilesListBox->count(), 2);
    QCOMPARE(w.Form.spedNumDir->value(), 3);

    // Reports: both menu items open their option dialogs.
    w.Form.TrackListMenuSaveFilesList->trigger();
    QCOMPARE(w.Port.FileListDialogs, 1);
    w.Form.TrackListMenuSaveFromID3v1->trigger();
    QCOMPARE(w.Port.TagListDialogs, 1);

    // Settings and About: menu item, tool button.
    w.Form.SetupMenuTransSet->trigger();
    w.Form.ToolButton4->click();
    QCOMPARE(w.Port.TranslitSetups, 2);
    w.Form.HelpMenuAbout->trigger();
    QCOMPARE(w.Port.AboutBoxes, 1);

    // The batch from the menu: enabled exactly when the button is, and it runs the batch.
    QVERIFY(!w.Form.ConvertMenuProcessAll->isEnabled());
    w.Form.cbAllFilesMoveToDir->click();
    QVERIFY(w.Form.btnProcessAll->isEnabled());
    QVERIFY(w.Form.ConvertMenuProcessAll->isEnabled());
    w.Form.ConvertMenuProcessAll->trigger();
    QCOMPARE(w.Form.FilesListBox->count(), 0);
    QVERIFY(fs::is_directory(fs::path(dir.Path()) / "D004"));
    QVERIFY(!w.Form.cbAllFilesMoveToDir->isChecked());
    QVERIFY(!w.Form.ConvertMenuProcessAll->isEnabled());

    // Exit closes the window.
    w.Form.show();
    w.Form.FileMenuExit->trigger();
    QVERIFY(!w.Form.isVisible());
}

void MainWindowTest::shortcutsWorkFromAnywhereInTheWindow() {
    TScriptedWindow w;
    w.Form.show();
    w.Form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.Form));
    w.Form.edAlbum->setFocus();
    QTest::keyClick(w.Form.edAlbum, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(w.Port.FolderDialogs, 1);
    QTest::keyClick(w.Form.FilesListBox, Qt::Key_F1);
    QCOMPARE(w.Port.AboutBoxes, 1);
    w.Model.lblInputFolder.Caption = "/music";
    w.Model.NumFilesLabel.Caption = "7";
    w.Form.Sync();
    QTest::keyClick(w.Form.edTitle, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(w.Form.lblInputFolder->text(), QString());
    QCOMPARE(w.Form.NumFilesLabel->text(), QString("0"));
    // The edit did not take the keys as text.
    QCOMPARE(w.Form.edAlbum->text(), QString());
    w.Form.close();
}

void MainWindowTest::minimumSizeFollowsTheModelsRule() {
    QCOMPARE(TMainForm::MinimumWidth(), 720);
    QCOMPARE(TMainForm::MinimumHeight(), 705);
    QVERIFY(!TMainModel::FormCanResize(719, 705));
    QVERIFY(!TMainModel::FormCanResize(720, 704));
    QVERIFY(TMainModel::FormCanResize(720, 705));
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    w.Form.resize(719, 704);
    QCOMPARE(w.Form.size(), QSize(720, 705));
    w.Form.resize(720, 705);
    QCOMPARE(w.Form.size(), QSize(720, 705));
    w.Form.resize(1200, 900);
    QCOMPARE(w.Form.size(), QSize(1200, 900));
    w.Form.close();
}

void MainWindowTest::warningPanelOpensAndClosesByDoubleClicks() {
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    QVERIFY(w.Form.CommandPanel->isHidden());
    QTest::mouseDClick(w.Form.StatusBar1, Qt::LeftButton);
    QVERIFY(w.Form.CommandPanel->isVisible());
    QTest::mouseDClick(w.Form.StatusBar1, Qt::LeftButton);
    QVERIFY(w.Form.CommandPanel->isVisible());
    QTest::mouseDClick(w.Form.Label5, Qt::LeftButton);
    QVERIFY(w.Form.CommandPanel->isHidden());
    QTest::mouseDClick(w.Form.Label5, Qt::LeftButton);  // hidden: nothing to click, no change
    QVERIFY(w.Form.CommandPanel->isHidden());
    // A click on the status bar's text is a click on the status bar.
    QTest::mouseDClick(w.Form.StatusText, Qt::LeftButton);
    QVERIFY(w.Form.CommandPanel->isVisible());
    // The panel takes its height from the two side panels.
    QTest::qWait(20);
    QCOMPARE(w.Form.CommandPanel->height(), 44);
    QCOMPARE(w.Form.CommandPanel->geometry().top(), w.Form.InfoPanel->geometry().bottom() + 1);
    w.Form.close();
}

void MainWindowTest::keepBoxesGreyTheirEdits() {
    TScriptedWindow w;
    const std::pair<QCheckBox*, QWidget*> pairs[] = {
        {w.Form.KeepName, w.Form.edTitle},     {w.Form.KeepArtist, w.Form.edArtist},
        {w.Form.KeepAlbum, w.Form.edAlbum},    {w.Form.KeepYear, w.Form.edYear},
        {w.Form.KeepTrack, w.Form.edTrack},    {w.Form.KeepGanre, w.Form.edGenre},
        {w.Form.KeepComment, w.Form.edComment}};
    for (auto [box, edit] : pairs) {
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY2(box->isChecked() && !edit->isEnabled(), qPrintable(box->objectName()));
        for (auto [other, otherEdit] : pairs) {
            if (other != box && !other->isChecked()) {
                QVERIFY(otherEdit->isEnabled());
            }
        }
    }
    for (auto [box, edit] : pairs) {
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY2(!box->isChecked() && edit->isEnabled(), qPrintable(box->objectName()));
    }
    QVERIFY(!w.Model.KeepComment.Checked);
    QVERIFY(w.Model.edComment.Enabled);
}

void MainWindowTest::typingLimitsBindTypingOnly() {
    TScriptedWindow w;
    const QString cyrillic = "Сорок символов кириллицей для заголовка!!";  // 41 characters
    struct Case {
        QLineEdit* Edit;
        TEdit* State;
        int Limit;
    };
    for (const Case& c :
         {Case{w.Form.edTitle, &w.Model.edTitle, 32}, Case{w.Form.edArtist, &w.Model.edArtist, 32},
          Case{w.Form.edtSeparateSymbol, &w.Model.edtSeparateSymbol, 3},
          Case{w.Form.edtReplaceSymbol, &w.Model.edtReplaceSymbol, 1}}) {
        const char* name = qPrintable(c.Edit->objectName());
        c.Edit->selectAll();
        QTest::keyClick(c.Edit, Qt::Key_Delete);
        TypeText(c.Edit, cyrillic);
        QVERIFY2(c.Edit->text() == cyrillic.left(c.Limit), name);
        QVERIFY2(c.State->Text == cyrillic.left(c.Limit).toStdString(), name);

        // A longer text from the program stays whole; typing cannot make it longer, but the
        // user can shorten it.
        c.State->Text = cyrillic.toStdString();
        w.Form.Sync();
        QVERIFY2(c.Edit->text() == cyrillic, name);
        c.Edit->end(false);
        TypeText(c.Edit, "x");
        QVERIFY2(c.Edit->text() == cyrillic, name);
        QTest::keyClick(c.Edit, Qt::Key_Backspace);
        QVERIFY2(c.Edit->text() == cyrillic.left(40), name);
        QVERIFY2(c.State->Text == cyrillic.left(40).toStdString(), name);
        TypeText(c.Edit, "y");
        QVERIFY2(c.Edit->text() == cyrillic.left(40), name);
    }
    // Album, year and comment have no limit.
    TypeText(w.Form.edAlbum, cyrillic + cyrillic);
    QCOMPARE(w.Form.edAlbum->text(), cyrillic + cyrillic);
}

void MainWindowTest::batchColumnFollowsItsRules() {
    TScriptedWindow w;
    // Saving alone cannot be chosen.
    w.Form.cbAllFilesSaveID3->click();
    QVERIFY(!w.Form.cbAllFilesSaveID3->isChecked());
    QVERIFY(!w.Form.btnProcessAll->isEnabled());
    // Transliteration brings saving with it and enables the batch.
    w.Form.cbAllFilesTrans->click();
    QVERIFY(w.Form.cbAllFilesSaveID3->isChecked());
    QVERIFY(w.Form.btnProcessAll->isEnabled());
    QVERIFY(w.Form.ConvertMenuProcessAll->isEnabled());
    w.Form.cbAllFilesSaveID3->click();  // cannot be turned off while transliteration is on
    QVERIFY(w.Form.cbAllFilesSaveID3->isChecked());
    // Renaming and folders together allow the joint move.
    w.Form.cbAllFilesRename->click();
    QVERIFY(!w.Form.cbRenameMoveOneTime->isEnabled());
    w.Form.cbAllFilesMoveToDir->click();
    QVERIFY(w.Form.cbRenameMoveOneTime->isEnabled());
    w.Form.cbRenameMoveOneTime->click();
    QVERIFY(w.Model.cbRenameMoveOneTime.Checked);
    // Named folders hide the joint move and the brace; its state stays.
    w.Form.rbFileName->click();
    QVERIFY(w.Form.rbFileName->isChecked() && !w.Form.rbNum->isChecked());
    QVERIFY(w.Form.cbRenameMoveOneTime->isHidden());
    QVERIFY(w.Form.Label19->isHidden());
    QVERIFY(!w.Form.spedNumDir->isEnabled());
    w.Form.rbNum->click();
    QVERIFY(!w.Form.cbRenameMoveOneTime->isHidden());
    QVERIFY(!w.Form.Label19->isHidden());
    QVERIFY(w.Form.cbRenameMoveOneTime->isChecked());
    QVERIFY(w.Form.spedNumDir->isEnabled());
    // No merge part: the merge button and its batch box go off.
    for (QCheckBox* box : {w.Form.cbSplitArtist, w.Form.cbSplitTitle}) {
        box->click();
    }
    QVERIFY(!w.Form.btnSplit->isEnabled());
    QVERIFY(!w.Form.cbAllFilesSplit->isEnabled());
    w.Form.cbSplitTrack->click();
    QVERIFY(w.Form.btnSplit->isEnabled());
    QVERIFY(w.Form.cbAllFilesSplit->isEnabled());
    // No name part: renaming goes off, and with it the joint move.
    w.Form.cbAddTitle->click();
    QVERIFY(!w.Form.btnRename->isEnabled());
    QVERIFY(!w.Form.cbAllFilesRename->isEnabled());
    QVERIFY(!w.Form.cbAllFilesRename->isChecked());
    QVERIFY(!w.Form.cbRenameMoveOneTime->isEnabled());
    // The folder counter takes typed values within 1..253 only.
    w.Form.spedNumDir->setValue(300);
    QCOMPARE(w.Model.spedNumDir.Text, std::string("253"));
}

void MainWindowTest::emptyListShowsAHint() {
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    QLabel* hint = w.Form.lblEmptyHint;
    QCOMPARE(hint->text(), QString("Откройте папку с MP3 файлами: Файл → Открыть папку (Ctrl+O)"));
    QVERIFY(hint->isVisible());
    // In the middle of the list box.
    const QRect list = w.Form.FilesListBox->viewport()->rect();
    QVERIFY(std::abs(hint->geometry().center().y() - list.center().y()) <= 1);
    QVERIFY(hint->palette().color(hint->foregroundRole()) !=
            w.Form.FilesListBox->palette().color(QPalette::Text));
    w.Open(dir.Path());
    QVERIFY(!hint->isVisible());
    w.Form.FileMenuNew->trigger();
    QVERIFY(hint->isVisible());
}

void MainWindowTest::listSelectionMakesTheFileCurrent() {
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    w.Open(dir.Path());
    QCOMPARE(w.Form.FilesListBox->currentRow(), 0);
    QCOMPARE(w.Form.InfoFileName->text(), QString("01 Кино - Группа крови.mp3"));
    QCOMPARE(w.Form.lblId3Status->text(), QString("Найдены теги ID3v1.1 tag"));
    QCOMPARE(w.Form.edArtist->text(), QString("Кино"));
    QCOMPARE(w.Form.lblMpegVersion->text(), QString("MPEG 1.0 layer III"));
    QCOMPARE(w.Form.lblInputFolder->text(), QString::fromStdString(dir.Path()));
    QVERIFY(!w.Form.lblTotalTime->text().isEmpty());

    // The keyboard moves the selection and the file follows.
    w.Form.FilesListBox->setFocus();
    QTest::keyClick(w.Form.FilesListBox, Qt::Key_Down);
    QCOMPARE(w.Form.InfoFileName->text(), QString("02 Кино - Звезда.mp3"));
    QCOMPARE(w.Form.edTitle->text(), QString("Звезда по имени Солнце"));
    QVERIFY(w.Port.Questions.empty());

    // A changed tag is asked about when another file is chosen.
    TypeText(w.Form.edTitle, "!");
    QVERIFY(w.Model.TagsModified);
    QCOMPARE(w.Form.InfoFileName->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    w.Port.YesNoAnswers.push_back(false);
    QTest::mouseClick(w.Form.FilesListBox->viewport(), Qt::LeftButton, {},
                      w.Form.FilesListBox->visualItemRect(w.Form.FilesListBox->item(3)).center());
    QCOMPARE(w.Port.Questions.size(), size_t{1});
    QVERIFY(QString::fromStdString(w.Port.Questions[0]).contains("02 Кино - Звезда.mp3"));
    QCOMPARE(w.Form.InfoFileName->text(), QString("04 ДДТ - Осень.mp3"));
    QVERIFY(w.Form.InfoFileName->palette().color(QPalette::WindowText) != QColor(255, 0, 0));

    // Order buttons: the selection moves with its name, the current file stays.
    w.Form.bt_Up->click();
    QCOMPARE(w.Form.FilesListBox->currentRow(), 2);
    QCOMPARE(w.Form.FilesListBox->item(2)->text(), QString("04 ДДТ - Осень.mp3"));
    QCOMPARE(w.Form.FilesListBox->item(3)->text(), QString("03 Чайф - Аргентина.mp3"));
    QCOMPARE(w.Form.InfoFileName->text(), QString("04 ДДТ - Осень.mp3"));
    w.Form.BitBtn1->click();
    QCOMPARE(w.Form.FilesListBox->currentRow(), 3);
    w.Form.BitBtn2->click();
    QCOMPARE(w.Form.FilesListBox->item(0)->text(), QString("01 Кино - Группа крови.mp3"));
    QCOMPARE(w.Form.FilesListBox->currentRow(), 3);
    w.Form.btMix->click();
    QCOMPARE(w.Form.FilesListBox->currentRow(), 0);
    QCOMPARE(w.Form.InfoFileName->text(), w.Form.FilesListBox->item(0)->text());
    w.Form.close();
}

void MainWindowTest::genreBoxFollowsChoiceAndTyping() {
    TScriptedWindow w;
    const int rock = w.Form.edGenre->findText("Rock");
    QVERIFY(rock >= 0);
    QCOMPARE(w.Form.edGenre->itemData(rock).toInt(), 17);
    w.Form.edGenre->setCurrentIndex(rock);  // as chosen from the list
    QCOMPARE(w.Model.edGenre.ItemIndex, rock);
    QCOMPARE(w.Model.edGenre.Text, std::string("Rock"));
    // Typed text that names no genre leaves no genre selected, whatever the box's own index.
    w.Form.edGenre->lineEdit()->selectAll();
    TypeText(w.Form.edGenre->lineEdit(), "Роккк");
    QCOMPARE(w.Model.edGenre.Text, std::string("Роккк"));
    QCOMPARE(w.Model.edGenre.ItemIndex, -1);
    QCOMPARE(w.Form.edGenre->currentText(), QString("Роккк"));
    // The program selecting a genre shows its name.
    w.Model.SelectGenre(17);
    w.Form.Sync();
    QCOMPARE(w.Form.edGenre->currentText(), QString("Rock"));
    QCOMPARE(w.Form.edGenre->currentIndex(), rock);
    w.Model.SelectGenre(255);
    w.Form.Sync();
    QCOMPARE(w.Form.edGenre->currentIndex(), -1);
}

void MainWindowTest::busyStateShowsWhileACommandWorks() {
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    TScriptedWindow w;
    bool sawBusy = false;
    bool sawHiddenList = false;
    bool sawProgress = false;
    QString status;
    w.Port.OnRefresh = [&] {
        w.Form.RefreshNow();
        if (QApplication::overrideCursor() != nullptr &&
            QApplication::overrideCursor()->shape() == Qt::WaitCursor) {
            sawBusy = true;
        }
        sawHiddenList = sawHiddenList || w.Form.FilesListBox->isHidden();
        sawProgress = sawProgress || !w.Form.Progress->isHidden();
        if (!w.Form.StatusText->text().isEmpty()) {
            status = w.Form.StatusText->text();
        }
    };
    w.Open(dir.Path());
    QVERIFY(sawBusy);
    QVERIFY(sawHiddenList);
    QVERIFY(sawProgress);
    QCOMPARE(
        status,
        QString("Создание списка файлов. Подсчет размера и времени. Подождите, пожалуйста..."));
    // All of it is gone when the work ends.
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!w.Form.FilesListBox->isHidden());
    QVERIFY(w.Form.Progress->isHidden());
    QCOMPARE(w.Form.StatusText->text(), QString());

    // The progress bar shows done of total while there is a total.
    w.Model.ProgressTotal = 10;
    w.Model.ProgressDone = 3;
    w.Form.Sync();
    QVERIFY(!w.Form.Progress->isHidden());
    QCOMPARE(w.Form.Progress->maximum(), 10);
    QCOMPARE(w.Form.Progress->value(), 3);
    w.Model.ProgressTotal = 0;
    w.Form.Sync();
    QVERIFY(w.Form.Progress->isHidden());
}

void MainWindowTest::progressMovesWithoutARepaintPerStep() {
    TScriptedWindow w;
    w.Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Form));
    w.Model.BusyCursor = true;
    w.Model.ProgressTotal = 100;
    w.Model.ProgressDone = 1;
    w.Form.RefreshNow();
    QCOMPARE(w.Form.Progress->value(), 1);
    // Steps closer together than 40 ms wait for the next one after them.
    w.Model.ProgressDone = 2;
    w.Form.RefreshNow();
    QCOMPARE(w.Form.Progress->value(), 1);
    QTest::qWait(50);
    w.Model.ProgressDone = 3;
    w.Form.RefreshNow();
    QCOMPARE(w.Form.Progress->value(), 3);
    // Any other change shows at once.
    w.Model.ProgressDone = 4;
    w.Model.StatusText = "Подождите, пожалуйста...";
    w.Form.RefreshNow();
    QCOMPARE(w.Form.Progress->value(), 4);
    QCOMPARE(w.Form.StatusText->text(), QString("Подождите, пожалуйста..."));
    // Going back to rest is mirrored at once too.
    w.Model.RestoreAfterError();
    w.Form.RefreshNow();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(w.Form.Progress->isHidden());
}

void MainWindowTest::errorsEndTheCommandInsideTheWindow() {
    TScriptedWindow w;
    w.Model.StatusText = "working";
    w.Model.BusyCursor = true;
    w.Form.Do([] { throw std::runtime_error("Stream read error"); });
    QCOMPARE(w.Port.Errors, std::vector<std::string>{"Stream read error"});
    QCOMPARE(w.Form.StatusText->text(), QString());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // A file that vanished after it was listed: the error is shown and the window goes on.
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    w.Open(dir.Path());
    std::filesystem::remove(std::filesystem::path(dir.Path()) / "02 Кино - Звезда.mp3");
    w.Form.FilesListBox->setCurrentRow(1);
    QCOMPARE(w.Port.Errors.size(), size_t{2});
    QVERIFY(QString::fromStdString(w.Port.Errors[1]).startsWith("Cannot open file"));
    QVERIFY(!w.Form.FilesListBox->isHidden());
    // A command started while another runs does nothing, and the widget shows the model again.
    w.Port.OnProcessEvents = [&] { w.Form.cbAllFilesTrans->click(); };
    w.Open(dir.Path());
    QVERIFY(!w.Form.cbAllFilesTrans->isChecked());
    QVERIFY(!w.Model.cbAllFilesTrans.Checked);
}

void MainWindowTest::closingDropsUnsavedEditsWithoutAQuestion() {
    test::TempDir dir;
    WriteSampleFolder(dir.Path(), CyrillicSample());
    const std::string path = dir.File("01 Кино - Группа крови.mp3");
    const std::vector<uint8_t> before = test::ReadFile(path);
    {
        TScriptedWindow w;
        w.Open(dir.Path());
        w.Form.show();
        TypeText(w.Form.edTitle, " (live)");
        QVERIFY(w.Model.InfoFileNameRed);
        QVERIFY(w.Form.close());
        QVERIFY(w.Port.Questions.empty());
    }
    QCOMPARE(test::ReadFile(path), before);
}

VELMORA_UI_TEST(MainWindowTest);

}  // namespace velmora::uitest

#include "MainWindowTest.moc"
