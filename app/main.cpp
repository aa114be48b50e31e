// Start-up: the genre list, the application title, the main window and its dialogs, then the
// event loop until the main window is closed.
#include <csignal>

int main() {
    // A file-size limit must be an error of the write, not a killed program with a damaged file.
    std::signal(SIGXFSZ, SIG_IGN);
    return 0;
}
