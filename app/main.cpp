// Start-up: the genre list, the application title, the main window and its dialogs, then the
// event loop until the main window is closed.
#include <QApplication>
#include <csignal>

#include "audio/ID3Tags.h"
#include "ui/UiText.h"
#include "ui/VelmoraApp.h"

int main(int argc, char** argv) {
    // A file-size limit must be an error of the write, not a killed program with a damaged file.
    std::signal(SIGXFSZ, SIG_IGN);
    velmora::BuildID3Genres();
    QApplication app(argc, argv);
    velmora::SetUpApplication(app);
    velmora::TVelmoraWindows windows(velmora::FromQt(QCoreApplication::applicationFilePath()));
    windows.MainForm.show();
    // Closing the main window ends the program at once; unsaved tag edits are dropped.
    return QApplication::exec();
}
