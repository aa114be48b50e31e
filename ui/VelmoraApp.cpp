#include "ui/VelmoraApp.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/model/BurnCommands.h"
#include "ui/About.h"
#include "ui/SaveID3v1.h"
#include "ui/Savefiles.h"
#include "ui/TranslitSetupForm.h"

namespace velmora {

QFont DefaultFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamilies({"DejaVu Sans", "Sans Serif"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/appicon/%1x%1/apps/io.github.velmora.Velmora.png").arg(size));
    }
    return icon;
}

void SetUpApplication(QApplication& app) {
    // The name, not the display name: Qt would add a display name to every dialog's caption.
    QApplication::setApplicationName(kAppTitle);
    app.setFont(DefaultFont());
    // The desktop entry's name lets a Wayland desktop match the window to it.
    QGuiApplication::setDesktopFileName("io.github.velmora.Velmora");
    QApplication::setWindowIcon(ProgramIcon());
    app.setQuitOnLastWindowClosed(true);
    LoadQtTranslation(app);
}

bool LoadQtTranslation(QApplication& app) {
    // Qt's own texts (the file dialogs, Yes and No, the overwrite question) in the program's
    // language, whatever the user's locale.
    auto* translator = new QTranslator(&app);
    if (!translator->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

TVelmoraWindows::TVelmoraWindows(const std::string& programPath) : Model(Port), MainForm(Model) {
    Model.ProgramPath = programPath;
    EnableBurning(Model);
    TranslitSetup = new TTranslitSetup(Model, &MainForm);
    AboutBox = new TAboutBox(&MainForm);
    SaveFilesForm = new TSaveFilesForm(&MainForm);
    SaveID3v1Form = new TSaveID3v1Form(&MainForm);
    Port.Attach(&MainForm, TranslitSetup, AboutBox, SaveFilesForm, SaveID3v1Form);
}

}  // namespace velmora
