// Start-up of the program's windows, in order, and the objects that live until exit.
#pragma once

#include <QFont>
#include <QIcon>
#include <string>

#include "core/model/MainModel.h"
#include "ui/MainUnit.h"
#include "ui/QtUserPort.h"

class QApplication;

namespace velmora {

class TTranslitSetup;
class TAboutBox;
class TSaveFilesForm;
class TSaveID3v1Form;

// The application's title, its desktop entry and icon, and the 8-point sans-serif font every
// window uses. It also loads Qt's Russian translation (LoadQtTranslation).
void SetUpApplication(QApplication& app);
// Installs Qt's own Russian texts (qtbase_ru.qm of the Qt installation); false when missing.
bool LoadQtTranslation(QApplication& app);
QFont DefaultFont();
// The program's icon at the sizes it is drawn in.
QIcon ProgramIcon();

// Creates the user port and the model, then the main window (whose creation runs FormCreate),
// then the four dialogs, hidden, in this order: the transliteration table, the About box, the
// file list options, the tag list options. The dialogs belong to the main window and open
// centred on it. Nothing is shown yet.
class TVelmoraWindows {
  public:
    explicit TVelmoraWindows(const std::string& programPath);

    TQtUserPort Port;
    TMainModel Model;
    TMainForm MainForm;
    TTranslitSetup* TranslitSetup;
    TAboutBox* AboutBox;
    TSaveFilesForm* SaveFilesForm;
    TSaveID3v1Form* SaveID3v1Form;
};

}  // namespace velmora
