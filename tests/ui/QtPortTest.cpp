// The user port done with Qt: message boxes, the folder and save dialogs, and the refresh that
// shows the model during a long command without letting input in.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
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
    void folderDialogOpensAtTheRoot();
    void saveDialogProposesTheLastName();
    void optionDialogsEditTheModelsOptions();
    void refreshShowsTheModelWithoutTakingInput();
    void progressStopsOnCancel();
};

void QtPortTest::progressStopsOnCancel() {
    TQtUserPort port;
    port.BeginProgress("Запись образа диска");
    QProgressDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<QProgressDialog*>(w))
            dialog = p;
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->labelText(), QString("Запись образа диска"));
    QVERIFY(port.StepProgress(10, 100));
    QCOMPARE(dialog->value(), 100);
    dialog->cancel();
    QVERIFY(!port.StepProgress(20, 100));
    port.EndProgress();
    QVERIFY(port.StepProgress(30, 100));  // no bar any more: nothing to cancel
}

namespace {

struct TAnswer {
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QList<QAbstractButton*> Buttons;
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

void QtPortTest::folderDialogOpensAtTheRoot() {
    test::TempDir dir;
    TQtUserPort port;
    QString title, start;
    WhenModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        title = dialog->windowTitle();
        start = dialog->directory().absolutePath();
        dialog->setDirectory(QString::fromStdString(dir.Path()));
        static_cast<QDialog*>(dialog)->accept();
    });
    QCOMPARE(QString::fromStdString(port.BrowseForInputFolder()),
             QString::fromStdString(dir.Path()));
    QCOMPARE(title, QString("Выбор папки с MP3"));
    QCOMPARE(start, QString("/"));
    WhenModal([](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); });
    QCOMPARE(port.BrowseForInputFolder(), std::string());
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
