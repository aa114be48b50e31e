// One whole session with the real window and the real dialogs, answered from timers: open a
// folder, edit a title and answer the question, transliterate and save, write both reports,
// run the batch into numbered folders, then look at the files on disk.
#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "core/text/TextCodec.h"
#include "tests/ui/UiTestSupport.h"
#include "tools/Mp3Builder.h"
#include "ui/VelmoraApp.h"

namespace velmora::uitest {
namespace {

namespace fs = std::filesystem;

// The title field of a file's ID3v1 block, as UTF-8 without its padding.
QString TagTitle(const std::string& path) {
    const std::vector<uint8_t> bytes = test::ReadFile(path);
    if (bytes.size() < 128) {
        return "?";
    }
    std::string title(bytes.end() - 125, bytes.end() - 95);
    title.erase(title.find_last_not_of(std::string("\0 ", 2)) + 1);
    return QString::fromStdString(Cp1251ToUtf8(title));
}

QStringList ReportLines(const std::string& path) {
    const std::vector<uint8_t> bytes = test::ReadFile(path);
    const QString text =
        QString::fromStdString(Cp1251ToUtf8(std::string(bytes.begin(), bytes.end())));
    QStringList lines = text.split("\r\n");
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();  // after the CR LF of the last line
    }
    return lines;
}

std::function<void(QWidget*)> Click(const char* button) {
    return [button](QWidget* dialog) { dialog->findChild<QAbstractButton*>(button)->click(); };
}

std::function<void(QWidget*)> SaveAs(const std::string& path) {
    return [path](QWidget* dialog) { AcceptFileDialog(dialog, QString::fromStdString(path)); };
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
  private slots:
    void wholeSession();
};

void EndToEndTest::wholeSession() {
    test::TempDir music;
    test::TempDir reports;
    WriteSampleFolder(music.Path(), CyrillicSample());
    TVelmoraWindows windows("/tmp/velmora-e2e/velmora");
    TMainForm& form = windows.MainForm;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Open the folder through the tool button and the folder dialog.
    WhenModal([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        dialog->setDirectory(QString::fromStdString(music.Path()));
        static_cast<QDialog*>(dialog)->accept();
    });
    form.ToolButton1->click();
    QCOMPARE(form.FilesListBox->count(), 4);
    QCOMPARE(form.NumFilesLabel->text(), QString("4"));
    QCOMPARE(form.InfoFileName->text(), QString("01 Кино - Группа крови.mp3"));

    // Edit the title; leaving the file asks, and Yes writes the tag.
    form.edTitle->setFocus();
    form.edTitle->end(false);
    TypeText(form.edTitle, " (концерт)");
    QString question;
    WhenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        question = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    form.FilesListBox->setCurrentRow(1);
    QVERIFY(question.startsWith("Содержимое ID3v1 тегов файла 01 Кино - Группа крови.mp3"));
    QCOMPARE(TagTitle(music.File("01 Кино - Группа крови.mp3")), QString("Группа крови (концерт)"));
    QCOMPARE(form.InfoFileName->text(), QString("02 Кино - Звезда.mp3"));

    // Transliterate the current file and save its tag.
    form.btnTranslit->click();
    QCOMPARE(form.edTitle->text(), QString("Zvezda po imeni Solnce"));
    QCOMPARE(form.edArtist->text(), QString("Kino"));
    form.btnSaveID3->click();
    QCOMPARE(TagTitle(music.File("02 Кино - Звезда.mp3")), QString("Zvezda po imeni Solnce"));

    // Both reports, with the option dialogs and the save dialog.
    WhenModals({Click("btOk"), SaveAs(reports.File("files"))});
    form.TrackListMenuSaveFilesList->trigger();
    QCOMPARE(ReportLines(reports.File("files.txt")),
             QStringList({"1 01 Кино - Группа крови", "2 02 Кино - Звезда", "3 03 Чайф - Аргентина",
                          "4 04 ДДТ - Осень"}));
    WhenModals({[](QWidget* dialog) {
                    dialog->findChild<QAbstractButton*>("btAddOne")->click();
                    dialog->findChild<QAbstractButton*>("btAddOne")->click();
                    dialog->findChild<QAbstractButton*>("btOk")->click();
                },
                SaveAs(reports.File("tags.txt"))});
    form.TrackListMenuSaveFromID3v1->trigger();
    const QStringList tags = ReportLines(reports.File("tags.txt"));
    QCOMPARE(tags.size(), 5);
    QVERIFY(tags[0].startsWith("1 Группа крови (концерт) - Кино 0:00:"));
    QVERIFY(tags[1].startsWith("2 Zvezda po imeni Solnce - Kino 0:00:"));
    QVERIFY(tags[2].startsWith("3 Аргентина - Ямайка - Чайф 0:00:"));
    QCOMPARE(tags[4], QString("Всего треков: 4"));

    // The batch at once into numbered folders: transliterate, save, rename, move.
    form.cbAllFilesTrans->click();
    QVERIFY(form.cbAllFilesSaveID3->isChecked());
    form.cbAllFilesRename->click();
    form.cbAllFilesMoveToDir->click();
    form.cbRenameMoveOneTime->click();
    QVERIFY(form.btnProcessAll->isEnabled());
    // First the plan: Отмена changes nothing and keeps the options.
    QString summary;
    int rows = 0;
    WhenModal([&](QWidget* dialog) {
        summary = dialog->findChild<QLabel*>("lblSummary")->text();
        rows = dialog->findChild<QTableWidget*>("PlanTable")->rowCount();
        dialog->findChild<QAbstractButton*>("btnCancel")->click();
    });
    form.btnProcessAll->click();
    QCOMPARE(summary, QString("Будет записано тегов: 4, переименовано и перемещено в папки "
                              "D001–D004: 4; не получится: 0; предупреждений: 0"));
    QCOMPARE(rows, 12);  // a tag, a folder and a move for each file
    QCOMPARE(form.FilesListBox->count(), 4);
    QVERIFY(form.cbRenameMoveOneTime->isChecked() && form.btnProcessAll->isEnabled());
    // Выполнить runs it, and a box tells what was done.
    QString done;
    WhenModals({Click("btnRun"), [&](QWidget* widget) {
                    auto* box = qobject_cast<QMessageBox*>(widget);
                    done = box->text();
                    box->button(QMessageBox::Ok)->click();
                }});
    form.btnProcessAll->click();
    QVERIFY(done.startsWith("Записано тегов: 4"));
    QCOMPARE(form.FilesListBox->count(), 0);
    QVERIFY(!form.btnProcessAll->isEnabled());
    QCOMPARE(form.spedNumDir->value(), 5);

    // On disk: one numbered folder per track, in list order, each holding the file under its
    // transliterated title, with the transliterated tag.
    const std::pair<const char*, const char*> expected[] = {
        {"D001", "Gruppa krovi (koncert)"},
        {"D002", "Zvezda po imeni Solnce"},
        {"D003", "Argentina - YAmayka"},
        {"D004", "TCHto takoe osen'"},
    };
    for (auto [folder, title] : expected) {
        const fs::path file = fs::path(music.Path()) / folder / (std::string(title) + ".mp3");
        QVERIFY2(fs::exists(file), file.c_str());
        QCOMPARE(TagTitle(file.string()), QString(title));
    }
    size_t left = 0;
    for (const auto& entry : fs::directory_iterator(music.Path())) {
        left += entry.is_regular_file() ? 1 : 0;
    }
    QCOMPARE(left, size_t{0});
    form.close();
}

VELMORA_UI_TEST(EndToEndTest);

}  // namespace velmora::uitest

#include "EndToEndTest.moc"
