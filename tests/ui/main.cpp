// Runs every registered window test class on Qt's offscreen platform.
#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "audio/ID3Tags.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/VelmoraApp.h"

int main(int argc, char** argv) {
    // The tests never need a display; a private runtime folder keeps Qt quiet.
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    if (qgetenv("XDG_RUNTIME_DIR").isEmpty()) {
        const QString runtime = QDir::temp().filePath("velmora-ui-tests-runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    velmora::BuildID3Genres();
    QApplication app(argc, argv);
    velmora::SetUpApplication(app);
    app.setQuitOnLastWindowClosed(false);
    velmora::uitest::StartModalWatchdog();
    // VELMORA_UI_TEST_CLASS=EndToEndTest runs one class only.
    const QByteArray only = qgetenv("VELMORA_UI_TEST_CLASS");
    int failed = 0;
    for (const auto& factory : velmora::uitest::TestFactories()) {
        std::unique_ptr<QObject> test(factory());
        const QByteArray name = test->metaObject()->className();
        if (!only.isEmpty() && !name.endsWith("::" + only)) {
            continue;
        }
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
