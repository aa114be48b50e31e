// Shared pieces of the window's tests: registration of the test classes, answering modal
// dialogs from a timer, typing any text into a widget, and sample folders of MP3 files.
#pragma once

#include <QApplication>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace velmora::uitest {

// Every test class registers a factory; main runs them all.
using TTestFactory = std::function<QObject*()>;
std::vector<TTestFactory>& TestFactories();
struct TRegister {
    explicit TRegister(TTestFactory factory) { TestFactories().push_back(std::move(factory)); }
};
#define VELMORA_UI_TEST(Class) \
    static const ::velmora::uitest::TRegister Class##Registration([] { return new Class; })

// Runs `answer` on the next modal widget that opens (polling from a timer), so a test can click
// through a dialog that the code under test shows with exec(). The answer must close it.
void WhenModal(std::function<void(QWidget*)> answer);
// The same for a chain of dialogs, answered in this order.
void WhenModals(std::vector<std::function<void(QWidget*)>> answers);

// A dialog left open for seconds means a test waits for an answer that never comes: it is
// reported and closed, so the test fails instead of hanging.
void StartModalWatchdog();

// Accepts a file dialog with this path typed as the file name (selectFile does not reach the
// name field while it has the focus).
void AcceptFileDialog(QWidget* dialog, const QString& path);

// Types the text key by key, any characters (QTest::keyClicks knows Latin-1 only).
void TypeText(QWidget* widget, const QString& text);

// The widget tree under root, one line per named widget in creation order: name, class,
// caption, hint, enabled, hidden, geometry, and checked/bold where they apply.
QString DumpWidgetTree(QWidget* root);
// Compares a dump with tests/data/<fileName>. With VELMORA_UPDATE_GOLDEN=1 in the environment
// the file is written instead, for a deliberate change of the window.
bool MatchesGolden(const QString& dump, const QString& fileName);

// A track of a sample folder: the file name and its ID3v1 fields in UTF-8 (written as
// Windows-1251), frames of 128 kbit/s MPEG-1 Layer III.
struct TSampleTrack {
    std::string FileName;
    std::string Title;
    std::string Artist;
    std::string Album;
    int Track = 0;
    int Frames = 40;
    bool WithTag = true;
};
// Writes the tracks into the folder.
void WriteSampleFolder(const std::string& folder, const std::vector<TSampleTrack>& tracks);
// Tracks with Cyrillic tags.
std::vector<TSampleTrack> CyrillicSample();

}  // namespace velmora::uitest
