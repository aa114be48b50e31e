// The four dialogs: their controls and first states, their states kept from one showing to the
// next, the table editor's keys, and the About box with its picture.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "core/files/TranslitFile.h"
#include "core/model/MainModel.h"
#include "core/text/TextCodec.h"
#include "core/text/Translit.h"
#include "tests/support/ScriptedPort.h"
#include "tests/ui/UiTestSupport.h"
#include "tools/Mp3Builder.h"
#include "ui/About.h"
#include "ui/BatchPlanDialog.h"
#include "ui/DiscCheckDialog.h"
#include "ui/JpegDecode.h"
#include "ui/SaveID3v1.h"
#include "ui/Savefiles.h"
#include "ui/StickDialog.h"
#include "ui/TranslitSetupForm.h"

namespace velmora::uitest {
namespace {

QStringList Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text();
    }
    return items;
}

QStringList ToQtList(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) {
        list << QString::fromStdString(item);
    }
    return list;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void fileListOptionsStartWithTheirDefaults();
    void fileListOptionsAreKeptBetweenShowings();
    void tagListOptionsStartWithTheirDefaults();
    void tagListFieldsMoveBetweenTheLists();
    void tagListOptionsAreKeptBetweenShowings();
    void translitDialogShowsTheTable();
    void translitKeysEditTheTable();
    void translitTableLoadsAndSaves();
    void translitTypingSurvivesEveryKeyAndButton();
    void aboutBoxShowsNameVersionAndPicture();
    void jpegDecoderRefusesDamagedData();
    void discCheckDialogListsProblemsAndNames();
    void batchPlanShowsWhatEachStepWrites();
    void convertPlanOffersTheBitrate();
    void stickDialogListsDrivesAndOtherFolder();
};

void DialogsTest::convertPlanOffersTheBitrate() {
    const auto plan = [](int kbps) {
        return TBatchLog{{TBatchEvent::TKind::Convert, "/m/Песня.flac", "/m/Песня.mp3",
                          "FLAC, 44100 Гц → MP3 " + std::to_string(kbps) + " кбит/с, 44100 Гц"},
                         {TBatchEvent::TKind::Unconverted, "/m/list.flac", "", "пустой файл"}};
    };
    std::vector<int> asked;
    TBatchPlanDialog dialog(plan(192), "/m", 192, [&](int kbps) {
        asked.push_back(kbps);
        return plan(kbps);
    });
    dialog.show();
    QVERIFY(MatchesGolden(DumpWidgetTree(&dialog), "convert-plan-dialog.txt"));
    QCOMPARE(dialog.windowTitle(), QString("Перекодировать для магнитолы: что будет сделано"));
    QCOMPARE(dialog.cbBitrate->currentText(), QString("192 кбит/с"));
    QVERIFY(dialog.lblSummary->text().startsWith("Будет перекодировано в MP3: 1; не получится: 1"));
    dialog.cbBitrate->setCurrentIndex(dialog.cbBitrate->findData(320));
    QCOMPARE(asked, std::vector<int>{320});
    QCOMPARE(dialog.Kbps(), 320);
    QVERIFY(dialog.PlanTable->item(0, 2)->text().contains("MP3 320 кбит/с"));
    QCOMPARE(dialog.PlanTable->item(1, 0)->text(), QString("Ошибка"));
}

void DialogsTest::batchPlanShowsWhatEachStepWrites() {
    TID3v1Tag tag;
    tag.SetField(fkTitle, Utf8ToCp1251("Звезда"));
    tag.SetField(fkArtist, "DDT");
    const std::string warning =
        "ID3v2 не удалён: в ID3v1 нет полей название, исполнитель, альбом (их возьмёт «Взять "
        "теги из ID3v2, если нет ID3v1 или он испорчен»)";
    const TBatchLog plan = {
        {TBatchEvent::TKind::Save, "/m/" + std::string(120, 'n') + ".mp3", "",
         SaveEventDetail(tag)},
        {TBatchEvent::TKind::Strip, "/m/a.mp3", "", "491520"},
        {TBatchEvent::TKind::Warn, "/m/b.mp3", "", warning},
        {TBatchEvent::TKind::Mkdir, "/m/D001", "", ""},
        {TBatchEvent::TKind::Move, "/m/a.mp3", "/m/D001/Zvezda.mp3", ""},
        {TBatchEvent::TKind::Fail, "/m/c.mp3", "", "ссылка на файл вне папки: файл не изменён"},
    };
    TBatchPlanDialog dialog(plan, "/m");
    dialog.show();
    QVERIFY(MatchesGolden(DumpWidgetTree(&dialog), "batch-plan-dialog.txt"));
    QCOMPARE(dialog.PlanTable->item(0, 2)->text(), QString("«Звезда» — «DDT»"));
    QCOMPARE(dialog.PlanTable->item(1, 2)->text(), QString("480,0 КБ"));
    QCOMPARE(dialog.PlanTable->item(4, 2)->text(), QString("D001/Zvezda.mp3"));
    // Every warning reads whole without scrolling sideways: the columns wrap.
    QVERIFY(dialog.PlanTable->wordWrap());
    QVERIFY(dialog.PlanTable->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
    // The first warning is chosen at first, and its whole text stands below the table.
    QCOMPARE(dialog.PlanTable->currentRow(), 2);
    QVERIFY(dialog.lblDetails->text().endsWith(QString::fromStdString(warning)));
    QVERIFY(dialog.lblSummary->text().contains("удалено ID3v2: 1"));
}

void DialogsTest::discCheckDialogListsProblemsAndNames() {
    TDiscCheck check;
    check.Profile = DiscProfiles().front();
    check.Files.push_back({"Песня.mp3", "Pesnya.mp3", "PESNYA.MP3", -1, 1000});
    check.Files.push_back({"01.mp3", "01.mp3", "01.MP3", -1, 1000});
    check.Problems.push_back({"Песня.mp3", "name-chars", "Имя не латиницей", false});
    check.Problems.push_back({".", "disc-full", "Не помещается на диск", true});
    check.Sectors = 100;
    // Another blank: the check runs again, and its full disc is gone.
    int rechecks = 0;
    const TUserPort::TDiscRecheck recheck = [&](const TDiscChoice& choice) {
        ++rechecks;
        TDiscCheck again = check;
        again.Profile = ProfileOf(choice);
        again.Problems.pop_back();
        return again;
    };

    TDiscCheckDialog alone(check, EDiscPurpose::Check, {}, recheck);
    QVERIFY(MatchesGolden(DumpWidgetTree(&alone), "disc-check-dialog.txt"));
    QVERIFY(alone.lblSummary->text().contains("Папок: 0 из 253, файлов: 2, 1 МБ из 702 МБ"));
    QVERIFY(alone.lblSummary->text().contains("Диск не будет играть"));
    QCOMPARE(alone.ProblemTable->rowCount(), 2);
    QCOMPARE(alone.ProblemTable->item(0, 0)->text(), QString("Песня.mp3"));
    QCOMPARE(alone.ProblemTable->item(1, 1)->text(), QString("Не помещается на диск"));
    QVERIFY(alone.btnOk->isEnabled());
    QVERIFY(alone.btnCancel == nullptr && alone.cbTrackList == nullptr);

    TDiscCheckDialog before(check, EDiscPurpose::Image, {}, recheck);
    QCOMPARE(before.windowTitle(), QString("Создать образ диска"));
    QCOMPARE(before.btnOk->text(), QString("Записать"));
    QVERIFY(!before.btnOk->isEnabled());  // a disc that would not play is not written
    QVERIFY(before.btnCancel->isDefault());
    before.cbBlank->setCurrentIndex(1);
    QCOMPARE(rechecks, 1);
    QCOMPARE(before.Choice().Blank, size_t{1});
    QCOMPARE(before.Check().Profile.Blank.Minutes, 74);
    QVERIFY(before.lblSummary->text().contains("1 МБ из 649 МБ"));
    QVERIFY(before.btnOk->isEnabled());
    QCOMPARE(before.ProblemTable->rowCount(), 2);  // the warning and the one changed name
    QCOMPARE(before.ProblemTable->item(1, 1)->text(),
             QString("Имя на диске: Pesnya.mp3 (PESNYA.MP3)"));
    before.cbTrackList->setChecked(true);
    QVERIFY(before.Choice().TrackList);

    // Before a burn: captioned for the burn, no track list box; a note is marked as one.
    check.Problems = {{".", "numbered", "Имена файлов на диске получат номера", false, true}};
    TDiscCheckDialog burn(check, EDiscPurpose::Burn, {}, recheck);
    QCOMPARE(burn.windowTitle(), QString("Записать диск"));
    QVERIFY(burn.cbTrackList == nullptr && burn.btnOk->isEnabled());
    QVERIFY(burn.lblSummary->text().contains("Проблем не найдено, только заметки"));
    QCOMPARE(burn.ProblemTable->item(0, 1)->text(),
             QString("Заметка: Имена файлов на диске получат номера"));
    QCOMPARE(burn.lblDetails->text(), QString(".: Заметка: Имена файлов на диске получат номера"));
    QVERIFY(!burn.cbSplit->isVisibleTo(&burn));

    // A disc too full: the split is offered, and with it the disc can be written.
    check.Problems = {{".", "disc-full", "Не помещается на диск", true}};
    TDiscCheckDialog full(check, EDiscPurpose::Burn, {}, recheck);
    QVERIFY(full.cbSplit->isVisibleTo(&full) && !full.btnOk->isEnabled());
    full.cbSplit->setChecked(true);
    QVERIFY(full.Choice().Split && full.btnOk->isEnabled());
    QVERIFY(full.lblSummary->text().contains("Будет 1 диск по порядку списка"));
}

void DialogsTest::fileListOptionsStartWithTheirDefaults() {
    TSaveFilesForm form;
    // Title, size, captions and first states, held as data with the layout.
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(MatchesGolden(DumpWidgetTree(&form), "file-list-options.txt"));

    // The units follow the size box; the chosen unit stays.
    TFileListReportOptions options;
    form.Bind(options);
    form.cb_AddSize->click();
    QVERIFY(options.cb_AddSize && options.UnitsEnabled);
    QVERIFY(form.rb_InBytes->isEnabled());
    form.rb_InKbytes->click();
    QVERIFY(options.rb_InKbytes && !options.rb_InMbytes && !options.rb_InBytes);
    form.cb_AddSize->click();
    QVERIFY(!form.rb_InKbytes->isEnabled());
    QVERIFY(form.rb_InKbytes->isChecked());
    QVERIFY(options.rb_InKbytes && !options.UnitsEnabled);
    form.DirNameToAll->click();
    QVERIFY(options.DirNameToAll && !options.withoutDirName && !options.DirNameFirst);
}

void DialogsTest::fileListOptionsAreKeptBetweenShowings() {
    TSaveFilesForm form;
    TFileListReportOptions options;
    // Cancel: nothing is written, but what the user set stays for the next showing.
    WhenModal([&](QWidget*) {
        form.cb_TotalTime->click();
        form.DirNameFirst->click();
        form.btCancel->click();
    });
    QVERIFY(!form.Execute(options));
    QVERIFY(options.cb_TotalTime && options.DirNameFirst && !options.withoutDirName);
    bool shownAsLeft = false;
    WhenModal([&](QWidget*) {
        shownAsLeft = form.cb_TotalTime->isChecked() && form.DirNameFirst->isChecked() &&
                      !form.withoutDirName->isChecked();
        form.btOk->click();
    });
    QVERIFY(form.Execute(options));
    QVERIFY(shownAsLeft);
    // The dialog shows whatever options it is given (a state set elsewhere, a new run).
    TFileListReportOptions fresh;
    form.Bind(fresh);
    QVERIFY(form.withoutDirName->isChecked());
    QVERIFY(!form.cb_TotalTime->isChecked());
    QVERIFY(options.cb_TotalTime);
}

void DialogsTest::tagListOptionsStartWithTheirDefaults() {
    TSaveID3v1Form form;
    // Title, size, captions, hints, fonts and first states, held as data with the layout.
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(MatchesGolden(DumpWidgetTree(&form), "tag-list-options.txt"));
    QCOMPARE(Items(form.lb_avaliable),
             QStringList({"Название", "Исполнитель", "Альбом", "Год", "№ трека", "Жанр"}));
    QCOMPARE(form.lb_select->count(), 0);
    // "ОК" in Cyrillic letters.
    QCOMPARE(form.btOk->text(), QString(QChar(0x041E)) + QChar(0x041A));
    QCOMPARE(form.btCancel->text(), QString("Отмена"));
}

void DialogsTest::tagListFieldsMoveBetweenTheLists() {
    TSaveID3v1Form form;
    TTagListReportOptions options;
    form.Bind(options);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Showing selects the first available field and gives its list the focus.
    QCOMPARE(form.lb_avaliable->currentRow(), 0);
    QVERIFY(form.lb_avaliable->item(0)->isSelected());
    QCOMPARE(QApplication::focusWidget(), form.lb_avaliable);
    // The user picks "Исполнитель" and moves it, then ">" moves the first remaining field.
    form.lb_avaliable->item(1)->setSelected(true);
    QCOMPARE(options.lb_avaliableIndex, 1);
    form.btAddOne->click();
    QCOMPARE(Items(form.lb_select), QStringList({"Исполнитель"}));
    QVERIFY(form.lb_avaliable->selectedItems().isEmpty());
    QVERIFY(form.lb_select->selectedItems().isEmpty());
    form.btAddOne->click();
    QCOMPARE(Items(form.lb_select), QStringList({"Исполнитель", "Название"}));
    form.btRemoveOne->click();
    QCOMPARE(Items(form.lb_avaliable),
             QStringList({"Альбом", "Год", "№ трека", "Жанр", "Исполнитель"}));
    form.btAddAll->click();
    QCOMPARE(form.lb_avaliable->count(), 0);
    QCOMPARE(Items(form.lb_select),
             QStringList({"Название", "Альбом", "Год", "№ трека", "Жанр", "Исполнитель"}));
    form.btAddOne->click();  // nothing left to add
    QCOMPARE(form.lb_select->count(), 6);
    form.btRemoveAll->click();
    QCOMPARE(form.lb_select->count(), 0);
    form.btRemoveOne->click();
    QCOMPARE(form.lb_avaliable->count(), 6);
    QCOMPARE(ToQtList(options.lb_avaliable), Items(form.lb_avaliable));
    form.close();
}

void DialogsTest::tagListOptionsAreKeptBetweenShowings() {
    TSaveID3v1Form form;
    TTagListReportOptions options;
    WhenModal([&](QWidget*) {
        form.btAddAll->click();
        form.edSeparator->setText("; ");
        form.cb_numeric->click();
        form.cb_Time->click();
        form.btCancel->click();
    });
    QVERIFY(!form.Execute(options));
    QCOMPARE(options.lb_select.size(), size_t{6});
    QCOMPARE(options.edSeparator, std::string("; "));
    QVERIFY(!options.cb_numeric && options.cb_Time);
    QStringList shown;
    WhenModal([&](QWidget*) {
        shown = Items(form.lb_select);
        shown << form.edSeparator->text();
        form.btRemoveOne->click();
        form.btOk->click();
    });
    QVERIFY(form.Execute(options));
    QCOMPARE(shown.size(), 7);
    QCOMPARE(shown.last(), QString("; "));
    QCOMPARE(options.lb_select.size(), size_t{5});
    QCOMPARE(options.lb_avaliable, std::vector<std::string>{"Название"});
}

void DialogsTest::translitDialogShowsTheTable() {
    test::TScriptedPort port;
    TMainModel model(port);
    TTranslitSetup dialog(model);
    QCOMPARE(dialog.windowTitle(), QString("Настройка транслитерации"));
    QCOMPARE(dialog.size(), QSize(372, 453));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());  // resizable
    QCOMPARE(dialog.vleTranslit->columnCount(), 2);
    QCOMPARE(dialog.vleTranslit->horizontalHeaderItem(0)->text(), QString("Русский"));
    QCOMPARE(dialog.vleTranslit->horizontalHeaderItem(1)->text(), QString("Транслит"));
    QCOMPARE(dialog.vleTranslit->columnWidth(0), 112);
    QCOMPARE(dialog.vleTranslit->columnWidth(1), 229);
    QCOMPARE(dialog.vleTranslit->rowCount(), 66);
    QCOMPARE(dialog.vleTranslit->item(0, 0)->text(), QString("а"));
    QCOMPARE(dialog.vleTranslit->item(0, 1)->text(), QString("a"));
    QCOMPARE(dialog.vleTranslit->item(27, 1)->text(), QString("\""));
    QCOMPARE(dialog.vleTranslit->item(65, 0)->text(), QString("Я"));
    QCOMPARE(dialog.vleTranslit->item(65, 1)->text(), QString("Ya"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.ButtonPanel->height(), 43);
    int lastX = 0;
    for (auto [button, caption] :
         {std::pair{dialog.Button3, "Загрузить"}, std::pair{dialog.Button2, "Сохранить"},
          std::pair{dialog.Button1, "Закрыть"}}) {
        QCOMPARE(button->text(), QString::fromUtf8(caption));
        QCOMPARE(button->size(), QSize(75, 25));
        QVERIFY(button->x() > lastX);
        lastX = button->x();
    }
    dialog.Button1->click();
    QVERIFY(dialog.isHidden());
}

void DialogsTest::translitKeysEditTheTable() {
    test::TScriptedPort port;
    TMainModel model(port);
    TTranslitSetup dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTableWidget* grid = dialog.vleTranslit;
    auto& rows = model.TranslitTable.Rows;

    // Typing in a cell changes the live table.
    grid->item(1, 1)->setText("bb");
    QCOMPARE(rows[1], std::string("б=bb"));
    grid->item(1, 0)->setText("бь");
    QCOMPARE(rows[1], std::string("бь=bb"));
    // A key with "=" is refused with the message, and the row keeps its key.
    grid->item(1, 0)->setText("x=y");
    QCOMPARE(port.Errors, std::vector<std::string>{kKeyHasEquals});
    QCOMPARE(rows[1], std::string("бь=bb"));
    QCOMPARE(grid->item(1, 0)->text(), QString("бь"));

    // Insert puts an empty row at the current one; leaving it empty removes it.
    grid->setFocus();
    grid->setCurrentCell(2, 0);
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(rows.size(), size_t{67});
    QCOMPARE(rows[2], std::string("="));
    QCOMPARE(grid->item(2, 0)->text(), QString());
    QCOMPARE(grid->currentRow(), 2);
    QCOMPARE(grid->item(3, 0)->text(), QString("в"));
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(rows.size(), size_t{66});
    QCOMPARE(grid->rowCount(), 66);
    QCOMPARE(grid->currentRow(), 1);
    // Insert on a row whose key is empty does nothing.
    grid->item(1, 0)->setText("");
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(rows.size(), size_t{66});

    // Down on the last row appends a row; Ctrl+Delete deletes the current row.
    grid->setCurrentCell(65, 0);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(rows.size(), size_t{67});
    QCOMPARE(grid->currentRow(), 66);
    grid->item(66, 0)->setText("ы");
    grid->item(66, 1)->setText("yy");
    QCOMPARE(rows[66], std::string("ы=yy"));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(rows.size(), size_t{66});
    QCOMPARE(rows[65], std::string("Я=Ya"));
    QCOMPARE(grid->rowCount(), 66);
    dialog.close();
}

void DialogsTest::translitTableLoadsAndSaves() {
    test::TempDir dir;
    test::TScriptedPort port;
    TMainModel model(port);
    model.ProgramPath = dir.File("velmora");
    TTranslitSetup dialog(model);
    dialog.show();

    // Loading before any save: the error is shown, the table and the dialog stay.
    dialog.Button3->click();
    QCOMPARE(port.Errors.size(), size_t{1});
    QVERIFY(QString::fromStdString(port.Errors[0]).startsWith("Cannot open file"));
    QVERIFY(QString::fromStdString(port.Errors[0]).contains("velmora.trs"));
    QCOMPARE(model.TranslitTable.Rows.size(), size_t{66});
    QVERIFY(dialog.isVisible());

    // Save writes the table file beside the program; load brings it back row for row.
    dialog.vleTranslit->item(0, 1)->setText("a=b");
    const std::vector<std::string> saved = model.TranslitTable.Rows;
    dialog.Button2->click();
    const std::vector<uint8_t> bytes = test::ReadFile(dir.File("velmora.trs"));
    QCOMPARE(std::count(bytes.begin(), bytes.end(), '\n'), 66);
    QCOMPARE(std::count(bytes.begin(), bytes.end(), '\r'), 66);
    dialog.vleTranslit->item(5, 1)->setText("changed");
    dialog.Button3->click();
    QCOMPARE(model.TranslitTable.Rows, saved);
    QCOMPARE(dialog.vleTranslit->item(5, 1)->text(), QString("e"));
    QCOMPARE(dialog.vleTranslit->item(0, 1)->text(), QString("a=b"));

    // An empty file gives an empty table; the grid still offers a row to type in.
    test::WriteFile(dir.File("velmora.trs"), std::string());
    dialog.Button3->click();
    QVERIFY(model.TranslitTable.Rows.empty());
    QCOMPARE(dialog.vleTranslit->rowCount(), 1);
    dialog.vleTranslit->item(0, 0)->setText("щ");
    dialog.vleTranslit->item(0, 1)->setText("shch");
    QCOMPARE(model.TranslitTable.Rows, std::vector<std::string>{"щ=shch"});

    QCOMPARE(dialog.lblTableFile->text(),
             "Файл таблицы: " + QString::fromStdString(dir.File("velmora.trs")));

    // A program whose folder is not writable keeps the table in the user's configuration
    // folder, made on the first save; Load reads it from there.
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.File("config")));
    model.ProgramPath = dir.File("missing/velmora");
    const std::string configFile = dir.File("config/velmora/velmora.trs");
    dialog.Button2->click();
    QCOMPARE(port.Errors.size(), size_t{1});
    QCOMPARE(dialog.lblTableFile->toolTip(), QString::fromStdString(configFile));
    const std::string shch = "\xf9=shch\r\n";  // Windows-1251
    QCOMPARE(test::ReadFile(configFile), std::vector<uint8_t>(shch.begin(), shch.end()));
    dialog.vleTranslit->item(0, 1)->setText("sch");
    dialog.Button3->click();
    QCOMPARE(model.TranslitTable.Rows, std::vector<std::string>{"щ=shch"});

    // Saving where the file cannot be created: the error is shown, the dialog stays.
    test::WriteFile(dir.File("file"), std::string("x"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.File("file")));
    dialog.Button2->click();
    if (hadConfig) {
        qputenv("XDG_CONFIG_HOME", savedConfig);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
    QCOMPARE(port.Errors.size(), size_t{2});
    QVERIFY(QString::fromStdString(port.Errors[1]).startsWith("Cannot create file"));
    QVERIFY(dialog.isVisible());
    dialog.close();
}

void DialogsTest::translitTypingSurvivesEveryKeyAndButton() {
    test::TempDir dir;
    test::TScriptedPort port;
    TMainModel model(port);
    model.ProgramPath = dir.File("velmora");
    TTranslitSetup dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTableWidget* grid = dialog.vleTranslit;
    auto& rows = model.TranslitTable.Rows;
    grid->setFocus();
    // Opens the cell's editor and types into it; the text is not committed yet.
    auto typeInto = [&](int row, int column, const QString& text) {
        grid->setCurrentCell(row, column);
        grid->editItem(grid->item(row, column));
        QLineEdit* editor = nullptr;
        for (QLineEdit* edit : grid->viewport()->findChildren<QLineEdit*>()) {
            if (edit->isVisible()) {
                editor = edit;
            }
        }
        if (editor != nullptr) {
            editor->selectAll();
            TypeText(editor, text);
        }
        return editor;
    };
    auto highlighted = [&] {
        const QList<QTableWidgetItem*> selected = grid->selectedItems();
        return selected.size() == 1 ? selected[0]->row() : -1;
    };

    // Insert while editing: the typed value stays with its row, which moves down.
    QLineEdit* editor = typeInto(2, 1, "vv");
    QVERIFY(editor != nullptr);
    QTest::keyClick(editor, Qt::Key_Insert);
    QCOMPARE(rows[2], std::string("="));
    QCOMPARE(rows[3], std::string("в=vv"));
    QCOMPARE(grid->item(3, 1)->text(), QString("vv"));
    QCOMPARE(grid->currentRow(), 2);

    // A key typed into the new empty row, then Down: the row keeps it and is not removed.
    QTest::keyClick(typeInto(2, 0, "ъъ"), Qt::Key_Down);
    QCOMPARE(rows[2], std::string("ъъ="));
    QCOMPARE(rows[3], std::string("в=vv"));
    QCOMPARE(grid->currentRow(), 3);
    QCOMPARE(highlighted(), 3);

    // Down from an empty row removes it; the highlight and the next typing stay on the row
    // moved to.
    grid->setCurrentCell(10, 1);
    QTest::keyClick(grid, Qt::Key_Insert);
    const std::vector<std::string> withEmpty = rows;
    QTest::keyClick(typeInto(10, 1, ""), Qt::Key_Down);
    QCOMPARE(rows.size(), withEmpty.size() - 1);
    QCOMPARE(grid->currentRow(), 10);
    QCOMPARE(highlighted(), 10);
    QTest::keyClick(typeInto(10, 1, "q"), Qt::Key_Return);
    QCoreApplication::processEvents();  // Enter commits from the event loop
    QCOMPARE(rows[10], TTranslitTable::KeyOf(withEmpty[11]) + "=q");
    QCOMPARE(rows[11], withEmpty[12]);

    // Down on the last row while editing: the value is kept, the grid and the table agree.
    const int last = grid->rowCount() - 1;
    QTest::keyClick(typeInto(last, 1, "YA"), Qt::Key_Down);
    QCOMPARE(rows[static_cast<size_t>(last)], std::string("Я=YA"));
    QCOMPARE(grid->item(last, 1)->text(), QString("YA"));
    QCOMPARE(rows.size(), static_cast<size_t>(last) + 2);
    QCOMPARE(grid->currentRow(), last + 1);
    QTest::keyClick(grid, Qt::Key_Up);  // the appended row, left empty, goes
    QCOMPARE(rows.size(), static_cast<size_t>(last) + 1);

    // Save and Close take the text being typed.
    typeInto(0, 1, "A");
    dialog.Button2->click();
    QCOMPARE(rows[0], std::string("а=A"));
    TTranslitTable saved;
    LoadTranslitTableFile(saved, model.Fs, dir.File("velmora.trs"));
    QCOMPARE(saved.Rows, rows);
    typeInto(1, 1, "B");
    dialog.Button1->click();
    QVERIFY(dialog.isHidden());
    QCOMPARE(rows[1], std::string("б=B"));

    // "По умолчанию" puts the 66 default rows back, after an empty file was loaded too.
    dialog.show();
    test::WriteFile(dir.File("velmora.trs"), std::string());
    dialog.Button3->click();
    QVERIFY(rows.empty());
    QCOMPARE(dialog.Button4->text(), QString("По умолчанию"));
    typeInto(0, 0, "щ");
    dialog.Button4->click();
    QCOMPARE(rows, TTranslitTable::DefaultRows());
    QCOMPARE(grid->rowCount(), 66);
    QCOMPARE(grid->item(65, 1)->text(), QString("Ya"));
    QVERIFY(port.Errors.empty());
    dialog.close();
}

void DialogsTest::aboutBoxShowsNameVersionAndPicture() {
    QWidget owner;
    TAboutBox about(&owner);
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.minimumSize(), QSize(298, 213));
    QCOMPARE(about.maximumSize(), QSize(298, 213));
    QCOMPARE(about.Panel1->geometry(), QRect(8, 8, 281, 161));
    QCOMPARE(about.Image1->geometry(), QRect(80, 4, 105, 41));
    QCOMPARE(about.ProductName->text(), QString("Velmora"));
    QVERIFY(about.ProductName->font().bold());
    QCOMPARE(about.ProductName->pos(), QPoint(50, 50));
    QCOMPARE(about.Version->text(), QString("v. 0.0.5 Prerelease"));
    QCOMPARE(about.Version->pos(), QPoint(90, 66));
    QCOMPARE(about.Comments->text(),
             QString("Подготовка  MP3 CD для автомагнитол Blaupunkt в автомобилях Chevrolet "
                     "(GMDAT) с рабочим ДУ на руле."));
    QCOMPARE(about.Comments->geometry(), QRect(22, 101, 204, 39));
    QVERIFY(about.Comments->wordWrap());
    QCOMPARE(about.Comments->alignment(), Qt::AlignCenter);
    QCOMPARE(about.OKButton->text(), QString("OK"));
    QCOMPARE(about.OKButton->geometry(), QRect(111, 180, 75, 25));
    QVERIFY(about.OKButton->isDefault());

    // The picture is the project's JPEG, decoded by libjpeg, shown scaled with its proportions.
    QCOMPARE(about.Picture.size(), QSize(99, 36));
    const QPixmap shown = about.Image1->pixmap();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.width(), 105);
    QVERIFY(qAbs(shown.height() - 38) <= 1);
    // The car is blue.
    const QColor body = about.Picture.pixelColor(45, 22);
    QVERIFY(body.blue() > 120 && body.red() < 100);

    // Enter closes it with OK; it shows the same at the next showing.
    for (int showing = 0; showing < 2; ++showing) {
        WhenModal([&](QWidget*) { QTest::keyClick(&about, Qt::Key_Return); });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QCOMPARE(about.Version->text(), QString("v. 0.0.5 Prerelease"));
    }
}

void DialogsTest::jpegDecoderRefusesDamagedData() {
    QFile file(":/about.jpg");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    QCOMPARE(DecodeJpeg(jpeg).size(), QSize(99, 36));
    // Not a JPEG, empty, or cut inside the header: a null image, and the program goes on.
    QVERIFY(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    QVERIFY(DecodeJpeg(QByteArray()).isNull());
    QVERIFY(DecodeJpeg(jpeg.left(40)).isNull());
    QVERIFY(DecodeJpeg(nullptr, 10).isNull());
    // Cut inside the picture data: libjpeg fills the rest and says so only as a warning.
    QCOMPARE(DecodeJpeg(jpeg.left(jpeg.size() / 2)).size(), QSize(99, 36));
    // A header that claims a huge picture is refused before anything is allocated.
    QByteArray huge = jpeg;
    const int sof = huge.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    huge[sof + 5] = '\x7F';  // height high byte
    huge[sof + 7] = '\x7F';  // width high byte
    QVERIFY(DecodeJpeg(huge).isNull());
}

VELMORA_UI_TEST(DialogsTest);

void DialogsTest::stickDialogListsDrivesAndOtherFolder() {
    std::vector<TStickDrive> drives = {
        {"/media/user/MUSIC", "MUSIC", "vfat", "/dev/sdb1", 3758096384, false},
        {"/media/user/CARD", "", "exfat", "/dev/mmcblk0p1", 52428800, true}};
    TStickDialog dialog(nullptr, [&drives] { return drives; });
    dialog.move(0, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(MatchesGolden(DumpWidgetTree(&dialog), "stick-dialog.txt"));
    QCOMPARE(dialog.lstDrives->item(0)->text(),
             QString("MUSIC — /media/user/MUSIC, vfat, свободно 3,5 ГБ"));
    QCOMPARE(dialog.lstDrives->item(1)->text(),
             QString("CARD — /media/user/CARD, exfat, свободно 50 МБ, только для чтения"));
    dialog.lstDrives->setCurrentRow(1);
    QCOMPARE(dialog.Chosen(), std::string("/media/user/CARD"));
    // No drive: nothing to write onto but another folder.
    drives.clear();
    dialog.btnRefresh->click();
    QVERIFY(!dialog.btnWrite->isEnabled());
    QCOMPARE(dialog.Chosen(), std::string());
    dialog.AskFolder = [] { return std::string("/mnt/stick/Музыка"); };
    dialog.btnOther->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Chosen(), std::string("/mnt/stick/Музыка"));
}

}  // namespace velmora::uitest

#include "DialogsTest.moc"
