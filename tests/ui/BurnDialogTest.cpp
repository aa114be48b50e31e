// "Записать диск…" and its progress: both under the golden dump, the dialog following its model
// (another drive, the dummy box, no drive left), each cancel told once, and the Qt port's side.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "core/burn/BurnJob.h"
#include "tests/support/BurnStandIns.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/BurnDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUserPort.h"

namespace velmora::uitest {
namespace {

// A CD-RW with data in the first drive, a blank CD-R in the second.
void PutDiscs(test::TBurnStandIns& drives) {
    drives.Media[0] = test::StandInDisc(TMediumKind::CdRw, TMediumState::Full, {4, 10},
                                        "Диск CD-RW с данными (его можно очистить)");
    drives.Media[1] = test::StandInDisc(TMediumKind::CdR, TMediumState::Blank, {8, 16, 48},
                                        "Чистый диск CD-R, 703 МБ");
}

}  // namespace

class BurnDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void burnDialogMirrorsItsModel();
    void progressTellsEachCancelOnce();
};

void BurnDialogTest::burnDialogMirrorsItsModel() {
    test::TBurnStandIns drives;
    PutDiscs(drives);
    TBurnSetup setup("Папка /home/user/Музыка, образ около 61 МБ", 31000, drives.Sources());
    TBurnDialog dialog(setup);
    dialog.Refresh();
    dialog.move(0, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(MatchesGolden(DumpWidgetTree(&dialog), "burn-dialog.txt"));

    dialog.cbDrive->setCurrentIndex(1);
    QCOMPARE(dialog.lblMedium->text(), QString("Чистый диск CD-R, 703 МБ"));
    QCOMPARE(dialog.cbSpeed->count(), 3);  // the drive's own, 8x, 16x
    dialog.cbSpeed->setCurrentIndex(2);
    dialog.cbDummy->click();
    QVERIFY(dialog.lblVerdict->text().startsWith("Пробная запись"));
    const TBurnOptions chosen = setup.Options();
    QVERIFY(chosen.Address == "/dev/sr1" && chosen.SpeedX == 16 && chosen.Dummy);

    drives.HasDrives = false;
    dialog.btnRefresh->click();
    QVERIFY(!dialog.cbDrive->isEnabled());
    QVERIFY(!dialog.btnBurn->isEnabled());
    QVERIFY(!dialog.cbDummy->isEnabled() && !dialog.cbDummy->isChecked());
    QVERIFY(dialog.lblVerdict->text().startsWith("Привод для записи дисков не найден"));

    // Through the port: the dialog looks for the drives once it is open.
    drives.HasDrives = true;
    TBurnSetup fresh("Образ", 100, drives.Sources());
    TQtUserPort port;
    WhenModal([](QWidget* w) { w->findChild<QPushButton*>("btnBurn")->click(); });
    QVERIFY(port.AskBurn(fresh));
    QCOMPARE(fresh.DriveIndex, 0);
}

void BurnDialogTest::progressTellsEachCancelOnce() {
    TProgressDialog progress("Запись диска");
    progress.Show(
        BurnProgressOf({TBurnPhase::Writing, 45, 100, 16.04 * 75 * 2048, 185}, TMediumKind::CdR));
    progress.move(0, 0);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QVERIFY(MatchesGolden(DumpWidgetTree(&progress), "burn-progress.txt"));
    QTest::keyClick(&progress, Qt::Key_Escape);  // asks, as Отмена does; stays open
    progress.close();
    QVERIFY(progress.isVisible());
    QVERIFY(progress.TakeCancel());
    QVERIFY(!progress.TakeCancel());

    TQtUserPort port;
    port.BeginProgress("Запись образа диска");
    QVERIFY(port.StepProgress({"image", "Запись образа диска", "", 10, 100}));
    TProgressDialog* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TProgressDialog*>(w); d && d != &progress)
            shown = d;
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->windowTitle(), QString("Запись образа диска"));
    QCOMPARE(shown->lblStep->text(), QString("Запись образа диска…"));
    QCOMPARE(shown->ProgressBar->value(), 10);
    QVERIFY(!shown->lblWarning->isVisibleTo(shown));
    shown->btnCancel->click();
    QVERIFY(!port.StepProgress({"image", "Запись образа диска", "", 20, 100}));
    QVERIFY(port.StepProgress({"image", "Запись образа диска", "", 30, 100}));
    port.EndProgress();
    port.EndProgress();              // twice does no harm
    QVERIFY(port.StepProgress({}));  // no dialog any more: nothing to cancel
}

VELMORA_UI_TEST(BurnDialogTest);

}  // namespace velmora::uitest

#include "BurnDialogTest.moc"
