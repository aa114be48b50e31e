// The user port done with Qt: message boxes, the folder and save dialogs, and the refresh that
// shows the model during a long command without letting input in.
#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/ui/UiTestSupport.h"
#include "tools/Mp3Builder.h"
#include "ui/MainUnit.h"
#include "ui/QtUserPort.h"
#include "ui/VelmoraApp.h"

namespace velmora::uitest {

class QtPortTest : public QObject {
    Q_OBJECT
  private slots:
    void questionHasYesAndNoAndNoIcon();
    void messagesAndErrorsHaveOneButton();
    void qtsOwnTextsAreRussian();
    void folderDialogOpensInTheMusicFolderThenBesideTheLast();
    void dialogsNeverReadFilesToDrawThem();
    void saveDialogProposesTheLastName();
    void imageDialogProposesTheVolumeBesideTheFolder();
    void optionDialogsEditTheModelsOptions();
    void refreshShowsTheModelWithoutTakingInput();
};

namespace {

struct TAnswer {
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList ButtonTexts;  // without the shortcut marks
    QMessageBox::StandardButtons Standard;
};

// Answers the next message box with the given button and tells what it showed.
std::shared_ptr<TAnswer> AnswerBox(QMessageBox::StandardButton press) {
    auto seen = std::make_shared<TAnswer>();
    WhenModal([seen, press](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr) {
            widget->close();
            return;
        }
        seen->Title = box->windowTitle();
        seen->Text = box->text();
        seen->Icon = box->icon();
        seen->Standard = box->standardButtons();
        for (QAbstractButton* button : box->buttons()) {
            seen->ButtonTexts << button->text().remove('&');
        }
        box->button(press)->click();
    });
    return seen;
}

}  // namespace

void QtPortTest::questionHasYesAndNoAndNoIcon() {
    TQtUserPort port;
    auto seen = AnswerBox(QMessageBox::Yes);
    QVERIFY(
        port.AskYesNo("Содержимое ID3v1 тегов файла a.mp3 было изменено\rСохранить изменения?"));
    QCOMPARE(seen->Title, QString("Velmora"));
    QCOMPARE(seen->Icon, QMessageBox::NoIcon);
    QCOMPARE(seen->Standard, QMessageBox::Yes | QMessageBox::No);
    // The single CR of the program's texts is a line break on screen.
    QCOMPARE(seen->Text,
             QString("Содержимое ID3v1 тегов файла a.mp3 было изменено\nСохранить изменения?"));
    AnswerBox(QMessageBox::No);
    QVERIFY(!port.AskYesNo("?"));
    // Enter takes the default: Yes for a question, No where Yes would destroy something.
    for (const bool loss : {false, true}) {
        WhenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(loss ? port.AskBeforeLoss("Удалить?") : port.AskYesNo("Сохранить?"), !loss);
    }
}

void QtPortTest::messagesAndErrorsHaveOneButton() {
    TQtUserPort port;
    auto message = AnswerBox(QMessageBox::Ok);
    port.ShowMessage("Ошибка переименования/перемещения.\rИсходный файл:/a\rКонечный файл:/b");
    QCOMPARE(message->Title, QString("Velmora"));
    QCOMPARE(message->Standard, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(message->Text.count('\n'), 2);
    auto error = AnswerBox(QMessageBox::Ok);
    // Text that looks like markup is shown as it is.
    port.ShowError("Cannot open file \"/music/<b>x</b>.mp3\". No such file or directory");
    QCOMPARE(error->Title, QString("Velmora"));
    QCOMPARE(error->Standard, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(error->Text,
             QString("Cannot open file \"/music/<b>x</b>.mp3\". No such file or directory"));
}

void QtPortTest::qtsOwnTextsAreRussian() {
    QVERIFY2(QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_ru.qm"),
             "Qt's Russian translation is missing (scripts/deps.sh installs it)");
    TQtUserPort port;
    auto seen = AnswerBox(QMessageBox::No);
    QVERIFY(
        !port.AskYesNo("Содержимое ID3v1 тегов файла a.mp3 было изменено\rСохранить изменения?"));
    seen->ButtonTexts.sort();
    QCOMPARE(seen->ButtonTexts, QStringList({"Да", "Нет"}));
    // The file dialogs too: the save dialog's buttons and the folder dialog's.
    QStringList saveButtons, folderButtons;
    auto buttonsOf = [](QWidget* dialog) {
        QStringList texts;
        for (QAbstractButton* button :
             dialog->findChild<QDialogButtonBox*>()->findChildren<QAbstractButton*>()) {
            texts << button->text().remove('&');
        }
        texts.sort();
        return texts;
    };
    WhenModal([&](QWidget* widget) {
        saveButtons = buttonsOf(widget);
        qobject_cast<QDialog*>(widget)->reject();
    });
    QVERIFY(!port.ExecuteSaveDialog().has_value());
    QCOMPARE(saveButtons, QStringList({"Отмена", "Сохранить"}));
    WhenModal([&](QWidget* widget) {
        folderButtons = buttonsOf(widget);
        qobject_cast<QDialog*>(widget)->reject();
    });
    QCOMPARE(port.BrowseForInputFolder(), std::string());
    QCOMPARE(folderButtons, QStringList({"Выбрать", "Отмена"}));
}

void QtPortTest::folderDialogOpensInTheMusicFolderThenBesideTheLast() {
    test::TempDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(home.Path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.File("config")));
    const QString homePath = QString::fromStdString(home.Path());
    // No music folder: the home folder; then the music folder once it exists.
    QCOMPARE(MusicFolder(), homePath);
    QDir(homePath).mkpath("Music/Кино/1988");
    QCOMPARE(MusicFolder(), homePath + "/Music");

    TQtUserPort port;
    QStringList starts;
    QString title;
    auto choose = [&](const QString& folder) {
        WhenModal([&, folder](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            title = dialog->windowTitle();
            starts << dialog->directory().absolutePath();
            dialog->setDirectory(folder);
            static_cast<QDialog*>(dialog)->accept();
        });
        return QString::fromStdString(port.BrowseForInputFolder());
    };
    QCOMPARE(choose(homePath + "/Music/Кино/1988"), homePath + "/Music/Кино/1988");
    QCOMPARE(title, QString("Выбор папки с MP3"));
    QCOMPARE(choose(homePath + "/Music"), homePath + "/Music");
    QCOMPARE(starts, QStringList({homePath + "/Music", homePath + "/Music/Кино"}));
    // A parent that is gone gives its nearest existing ancestor.
    port.LastFolder = homePath + "/gone/away/folder";
    QCOMPARE(port.FolderDialogStart(), homePath);
    WhenModal([](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); });
    QCOMPARE(port.BrowseForInputFolder(), std::string());
    QCOMPARE(port.LastFolder, homePath + "/gone/away/folder");  // a cancel chooses nothing

    // The save dialog opens in the opened folder with "Songlist.txt", the music folder when
    // no folder is open.
    QString proposed;
    auto propose = [&](TQtUserPort& savePort) {
        WhenModal([&](QWidget* widget) {
            proposed = qobject_cast<QFileDialog*>(widget)->selectedFiles().value(0);
            qobject_cast<QDialog*>(widget)->reject();
        });
        QVERIFY(!savePort.ExecuteSaveDialog().has_value());
    };
    {
        TVelmoraWindows windows("/tmp/velmora");
        propose(windows.Port);
        QCOMPARE(proposed, homePath + "/Music/Songlist.txt");
        windows.Model.InputFolder = home.File("Music/Кино/1988");
        propose(windows.Port);
        QCOMPARE(proposed, homePath + "/Music/Кино/1988/Songlist.txt");
    }
    qputenv("HOME", oldHome);
    if (oldConfig.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
}

void QtPortTest::dialogsNeverReadFilesToDrawThem() {
    // Reading /proc/kmsg waits for kernel messages for ever (as root); the dialogs must show
    // /proc and close without reading any file there.
    TQtUserPort port;
    for (QFileDialog* dialog : {port.FolderDialog(), port.sd_FilesList(), port.ImageDialog()}) {
        QElapsedTimer clock;
        clock.start();
        const QAbstractFileIconProvider* provider = dialog->iconProvider();
        QVERIFY(provider != nullptr);
        QCOMPARE(provider->type(QFileInfo("/proc/kmsg")), QString("Файл"));
        QCOMPARE(provider->type(QFileInfo("/proc/self")), QString("Папка"));
        (void)provider->icon(QFileInfo("/proc/kmsg"));
        dialog->setDirectory("/proc");
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTest::qWait(300);  // the list of /proc is read and drawn
        dialog->reject();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }
}

void QtPortTest::saveDialogProposesTheLastName() {
    test::TempDir dir;
    TQtUserPort port;
    QFileDialog* dialog = port.sd_FilesList();
    QCOMPARE(dialog->objectName(), QString("sd_FilesList"));
    QCOMPARE(dialog->windowTitle(), QString("Сохранение списка треков"));
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->defaultSuffix(), QString("txt"));
    QCOMPARE(dialog->nameFilters(), QStringList({"Текстовые файлы (*.txt)", "Все файлы (*)"}));
    QCOMPARE(dialog->selectedNameFilter(), QString("Текстовые файлы (*.txt)"));
    QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    QVERIFY(!dialog->testOption(QFileDialog::ReadOnly));

    QString proposed;
    WhenModal([&](QWidget* widget) {
        auto* shown = qobject_cast<QFileDialog*>(widget);
        proposed = QFileInfo(shown->selectedFiles().value(0)).fileName();
        shown->setDirectory(QString::fromStdString(dir.Path()));
        AcceptFileDialog(shown, "report");
    });
    const std::optional<std::string> chosen = port.ExecuteSaveDialog();
    QCOMPARE(proposed, QString("Songlist.txt"));
    QVERIFY(chosen.has_value());
    // The default extension is added to a name without one.
    QCOMPARE(QString::fromStdString(*chosen),
             QDir(QString::fromStdString(dir.Path())).filePath("report.txt"));
    // The next report proposes that name; cancelling gives nothing.
    WhenModal([&](QWidget* widget) {
        auto* shown = qobject_cast<QFileDialog*>(widget);
        proposed = shown->selectedFiles().value(0);
        shown->reject();
    });
    QVERIFY(!port.ExecuteSaveDialog().has_value());
    QCOMPARE(proposed, QString::fromStdString(*chosen));
}

void QtPortTest::imageDialogProposesTheVolumeBesideTheFolder() {
    test::TempDir dir;
    TQtUserPort port;
    QFileDialog* dialog = port.ImageDialog();
    QCOMPARE(dialog->objectName(), QString("ImageDialog"));
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->defaultSuffix(), QString("iso"));
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QString proposed, folder;
    WhenModal([&](QWidget* widget) {
        auto* shown = qobject_cast<QFileDialog*>(widget);
        proposed = QFileInfo(shown->selectedFiles().value(0)).fileName();
        folder = shown->directory().absolutePath();
        AcceptFileDialog(shown, "disc");
    });
    const auto target = port.AskImageFile(dir.File("MUZYKA.iso"));
    QCOMPARE(proposed, QString("MUZYKA.iso"));
    QCOMPARE(folder, QString::fromStdString(dir.Path()));
    QVERIFY(target.has_value());
    QCOMPARE(QString::fromStdString(target->Path),
             QDir(QString::fromStdString(dir.Path())).filePath("disc.iso"));
    QVERIFY(!target->Replace);
}

void QtPortTest::optionDialogsEditTheModelsOptions() {
    TVelmoraWindows windows("/tmp/velmora");
    // Through the port, the dialogs open on the model's own option states.
    WhenModal([&](QWidget* widget) {
        QCOMPARE(widget->objectName(), QString("SaveFilesForm"));
        widget->findChild<QAbstractButton*>("cb_FilesCount")->click();
        widget->findChild<QAbstractButton*>("btOk")->click();
    });
    QVERIFY(windows.Port.ShowFileListOptions(windows.Model.FileListOptions));
    QVERIFY(windows.Model.FileListOptions.cb_FilesCount);
    WhenModal([&](QWidget* widget) {
        QCOMPARE(widget->objectName(), QString("SaveID3v1Form"));
        widget->findChild<QAbstractButton*>("btAddAll")->click();
        widget->findChild<QAbstractButton*>("btCancel")->click();
    });
    QVERIFY(!windows.Port.ShowTagListOptions(windows.Model.TagListOptions));
    QCOMPARE(windows.Model.TagListOptions.lb_select.size(), size_t{6});
    WhenModal([](QWidget* widget) {
        QCOMPARE(widget->objectName(), QString("AboutBox"));
        qobject_cast<QDialog*>(widget)->accept();
    });
    windows.Port.ShowAbout();
    WhenModal([](QWidget* widget) {
        QCOMPARE(widget->objectName(), QString("TranslitSetup"));
        widget->findChild<QAbstractButton*>("Button1")->click();
    });
    windows.Port.ShowTranslitSetup();
}

void QtPortTest::refreshShowsTheModelWithoutTakingInput() {
    TVelmoraWindows windows("/tmp/velmora");
    windows.MainForm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&windows.MainForm));
    bool delivered = false;
    QTimer::singleShot(0, &windows.MainForm, [&] { delivered = true; });
    windows.Model.StatusText = "Переименование и перемещение файлов. Подождите, пожалуйста...";
    windows.Model.BusyCursor = true;
    windows.Model.FilesListBox.Visible = false;
    windows.Model.ProgressTotal = 4;
    windows.Model.ProgressDone = 1;
    windows.Port.Refresh();
    QVERIFY(!delivered);
    QCOMPARE(windows.MainForm.StatusText->text(),
             QString("Переименование и перемещение файлов. Подождите, пожалуйста..."));
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QVERIFY(windows.MainForm.FilesListBox->isHidden());
    QVERIFY(windows.MainForm.Progress->isVisible());
    // ProcessEvents does let pending events through.
    windows.Port.ProcessEvents();
    QVERIFY(delivered);
    windows.Model.RestoreAfterError();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!windows.MainForm.FilesListBox->isHidden());
    QVERIFY(windows.MainForm.Progress->isHidden());
    windows.MainForm.close();
}

VELMORA_UI_TEST(QtPortTest);

}  // namespace velmora::uitest

#include "QtPortTest.moc"
