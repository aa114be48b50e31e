#include "tests/ui/UiTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <memory>

#include "core/text/TextCodec.h"
#include "tools/Mp3Builder.h"

namespace velmora::uitest {

std::vector<TTestFactory>& TestFactories() {
    static std::vector<TTestFactory> factories;
    return factories;
}

void WhenModal(std::function<void(QWidget*)> answer) {
    WhenModals({std::move(answer)});
}

void WhenModals(std::vector<std::function<void(QWidget*)>> answers) {
    auto queue = std::make_shared<std::vector<std::function<void(QWidget*)>>>(std::move(answers));
    auto* timer = new QTimer(qApp);
    auto answered = std::make_shared<QWidget*>(nullptr);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, queue, answered] {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog that was answered may still be on its way out.
        if (modal == nullptr || modal == *answered || !modal->isVisible()) {
            return;
        }
        *answered = modal;
        if (queue->empty()) {
            return;
        }
        auto answer = std::move(queue->front());
        queue->erase(queue->begin());
        if (queue->empty()) {
            timer->stop();
            timer->deleteLater();
        }
        answer(modal);
    });
    timer->start();
}

void StartModalWatchdog() {
    auto* timer = new QTimer(qApp);
    auto seen = std::make_shared<QWidget*>(nullptr);
    auto ticks = std::make_shared<int>(0);
    timer->setInterval(1000);
    QObject::connect(timer, &QTimer::timeout, timer, [seen, ticks] {
        QWidget* modal = QApplication::activeModalWidget();
        *ticks = modal != nullptr && modal == *seen ? *ticks + 1 : 0;
        *seen = modal;
        if (*ticks < 10) {
            return;
        }
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            text = box->text();
        }
        qWarning("Unanswered dialog %s \"%s\": %s", modal->metaObject()->className(),
                 qPrintable(modal->windowTitle()), qPrintable(text));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        *ticks = 0;
    });
    timer->start();
}

void AcceptFileDialog(QWidget* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (name == nullptr) {
        qWarning("the file dialog has no name field");
        static_cast<QDialog*>(dialog)->reject();
        return;
    }
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept();
}

void TypeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

void WriteSampleFolder(const std::string& folder, const std::vector<TSampleTrack>& tracks) {
    for (const TSampleTrack& track : tracks) {
        test::TFrameParams params;
        test::TMp3Builder builder;
        builder.Frames(params, track.Frames);
        if (track.WithTag) {
            test::TID3v1Fields fields;
            fields.Title = Utf8ToCp1251(track.Title);
            fields.Artist = Utf8ToCp1251(track.Artist);
            fields.Album = Utf8ToCp1251(track.Album);
            fields.Year = "1996";
            fields.Track = track.Track;
            fields.Genre = 17;  // Rock
            builder.ID3v1(fields);
        }
        test::WriteFile(folder + "/" + track.FileName, builder.Build());
    }
}

std::vector<TSampleTrack> CyrillicSample() {
    return {
        {"01 Кино - Группа крови.mp3", "Группа крови", "Кино", "Группа крови", 1, 60},
        {"02 Кино - Звезда.mp3", "Звезда по имени Солнце", "Кино", "Звезда", 2, 50},
        {"03 Чайф - Аргентина.mp3", "Аргентина - Ямайка", "Чайф", "Оранжевое настроение", 3, 45},
        {"04 ДДТ - Осень.mp3", "Что такое осень", "ДДТ", "Актриса Весна", 4, 70},
    };
}

namespace {

QString Caption(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* spin = qobject_cast<QSpinBox*>(widget))
        return spin->text();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    return widget->windowTitle();
}

}  // namespace

QString DumpWidgetTree(QWidget* root) {
    QString dump;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith("qt_"))
            continue;  // Qt's own inner widgets
        const QRect g = w->geometry();
        QString line =
            QString("%1 %2 \"%3\" \"%4\" %5 %6 %7,%8 %9x%10")
                .arg(name, w->metaObject()->className(), Caption(w), w->toolTip(),
                     w->isEnabled() ? "enabled" : "disabled", w->isHidden() ? "hidden" : "shown")
                .arg(g.x())
                .arg(g.y())
                .arg(g.width())
                .arg(g.height());
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && button->isCheckable())
            line += button->isChecked() ? " checked" : " unchecked";
        if (w->font().bold())
            line += " bold";
        dump += line + "\n";
    }
    return dump;
}

bool MatchesGolden(const QString& dump, const QString& fileName) {
    QFile file(QString(VELMORA_TEST_DATA) + "/" + fileName);
    if (qEnvironmentVariable("VELMORA_UPDATE_GOLDEN") == "1") {
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(dump.toUtf8());
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("no golden file %s", qPrintable(file.fileName()));
        return false;
    }
    const QString golden = QString::fromUtf8(file.readAll());
    if (golden == dump)
        return true;
    const QStringList want = golden.split('\n');
    const QStringList got = dump.split('\n');
    for (qsizetype i = 0; i < std::max(want.size(), got.size()); ++i) {
        const QString a = i < want.size() ? want[i] : QString();
        const QString b = i < got.size() ? got[i] : QString();
        if (a != b) {
            qWarning("%s line %lld\n  expected: %s\n  actual:   %s", qPrintable(fileName),
                     static_cast<long long>(i + 1), qPrintable(a), qPrintable(b));
            break;
        }
    }
    return false;
}

}  // namespace velmora::uitest
