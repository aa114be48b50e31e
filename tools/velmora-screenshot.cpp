// velmora-screenshot: builds the real main window over a scripted user, opens a generated folder
// of MP3 files with Cyrillic tags, makes one track current and saves the window as a PNG file.
// Offscreen it renders the window itself; under an X server it takes the pixels the server shows.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <exception>
#include <memory>

#include "audio/ID3Tags.h"
#include "core/burn/BurnJob.h"
#include "core/model/MainModel.h"
#include "tests/support/BurnStandIns.h"
#include "tests/support/ScriptedPort.h"
#include "tools/GenFolder.h"
#include "ui/About.h"
#include "ui/BatchPlanDialog.h"
#include "ui/BurnDialog.h"
#include "ui/DiscCheckDialog.h"
#include "ui/MainUnit.h"
#include "ui/ProgressDialog.h"
#include "ui/SaveID3v1.h"
#include "ui/Savefiles.h"
#include "ui/StickDialog.h"
#include "ui/TranslitSetupForm.h"
#include "ui/UiText.h"
#include "ui/VelmoraApp.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(
            stderr,
            "Usage: velmora-screenshot OUTPUT.png [--warning | --empty | --about | --translit |\n"
            "                                      --file-list | --tag-list | --disc-image |\n"
            "                                      --burn | --burn-progress | --plan | --stick]\n"
            "Saves the main window with a generated folder open; --warning shows the\n"
            "warning panel too; --empty saves it with no folder open; the others save\n"
            "that dialog instead (--burn with a stand-in drive holding a blank CD-R).\n");
        return 2;
    }
    const QByteArray option = argc == 3 ? QByteArray(argv[2]) : QByteArray();
    try {
        velmora::BuildID3Genres();
        QApplication app(argc, argv);
        velmora::SetUpApplication(app);

        QTemporaryDir folder;
        velmora::tools::TGenOptions options;
        options.Count = 12;
        options.Cyrillic = true;
        velmora::tools::GenerateFolder(velmora::FromQt(folder.path()), options);

        velmora::test::TScriptedPort port;
        velmora::TMainModel model(port);
        velmora::TMainForm form(model);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) {
            std::fprintf(stderr, "velmora-screenshot: the window was not shown\n");
            return 1;
        }
        if (option != "--empty") {
            port.FolderAnswers.push_back(velmora::FromQt(folder.path()));
            form.FileMenuAddDir->trigger();
            form.FilesListBox->setCurrentRow(2);  // as the user would click the third name
        }
        form.Do([&] { model.CommandPanelVisible = option == "--warning"; });
        QTest::qWait(300);

        QWidget* window = &form;
        // Drives that are not there: the first holds a blank CD-R.
        velmora::test::TBurnStandIns drives;
        drives.Media[0] =
            velmora::test::StandInDisc(velmora::TMediumKind::CdR, velmora::TMediumState::Blank,
                                       {4, 8, 16, 24, 32, 48}, "Чистый диск CD-R, 703 МБ");
        velmora::TBurnSetup burnSetup(
            "Папка " + velmora::FromQt(folder.path()) + ", образ около 61 МБ", 31000,
            drives.Sources());
        std::unique_ptr<QDialog> dialog;
        if (option == "--about") {
            dialog = std::make_unique<velmora::TAboutBox>(&form);
        } else if (option == "--translit") {
            dialog = std::make_unique<velmora::TTranslitSetup>(model, &form);
        } else if (option == "--file-list") {
            dialog = std::make_unique<velmora::TSaveFilesForm>(&form);
        } else if (option == "--tag-list") {
            dialog = std::make_unique<velmora::TSaveID3v1Form>(&form);
        } else if (option == "--disc-image") {
            const velmora::TUserPort::TDiscRecheck recheck = [&](const velmora::TDiscChoice& c) {
                return velmora::CheckDisc(velmora::RealFileSystem(), model.InputFolder,
                                          velmora::ProfileOf(c));
            };
            dialog = std::make_unique<velmora::TDiscCheckDialog>(
                recheck({}), velmora::EDiscPurpose::Image, velmora::TDiscChoice{}, recheck, &form);
        } else if (option == "--plan") {
            // The plan of a whole batch over the generated folder.
            velmora::TBatchOptions batch;
            batch.Translit = batch.StripID3v2 = true;
            batch.Rename = velmora::TNameParts{.Track = true, .Title = true};
            batch.Numbered = true;
            batch.AtOnce = true;
            form.Do([&] { model.ApplyBatchOptions(batch); });
            dialog = std::make_unique<velmora::TBatchPlanDialog>(model.PlanBatch(),
                                                                 model.InputFolder, &form);
        } else if (option == "--stick") {
            // Two sticks that are not there.
            const std::vector<velmora::TStickDrive> sticks = {
                {"/media/user/MUSIC", "MUSIC", "vfat", "/dev/sdb1", 3758096384, false},
                {"/media/user/CARD", "", "exfat", "/dev/mmcblk0p1", 52428800, false}};
            dialog = std::make_unique<velmora::TStickDialog>(&form, [sticks] { return sticks; });
        } else if (option == "--burn") {
            auto* burn = new velmora::TBurnDialog(burnSetup, &form);
            burn->Refresh();
            dialog.reset(burn);
        } else if (option == "--burn-progress") {
            auto* progress = new velmora::TProgressDialog("Запись диска", &form);
            velmora::TBurnProgress burning;
            burning.Done = 37 * 2048 * 1000;
            burning.Total = 100 * 2048 * 1000;
            burning.BytesPerSecond = 15.9 * 75 * 2048;  // 15,9x
            burning.SecondsLeft = 214;
            progress->Show(velmora::BurnProgressOf(burning, velmora::TMediumKind::CdR));
            dialog.reset(progress);
        }
        if (dialog) {
            dialog->show();
            (void)QTest::qWaitForWindowExposed(dialog.get());
            QTest::qWait(100);
            window = dialog.get();
        }
        QPixmap picture;
        if (QGuiApplication::platformName() == "xcb") {
            picture = window->screen()->grabWindow(window->winId());
        } else {
            picture = window->grab();
        }
        if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
            std::fprintf(stderr, "velmora-screenshot: cannot write %s\n", argv[1]);
            return 1;
        }
        std::printf("%s: %dx%d on %s\n", argv[1], picture.width(), picture.height(),
                    qPrintable(QGuiApplication::platformName()));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-screenshot: %s\n", e.what());
        return 1;
    }
}
