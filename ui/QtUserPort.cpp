#include "ui/QtUserPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include "core/model/MainModel.h"
#include "core/text/TextCodec.h"
#include "ui/About.h"
#include "ui/BatchPlanDialog.h"
#include "ui/DiscCheckDialog.h"
#include "ui/MainUnit.h"
#include "ui/ProgressDialog.h"
#include "ui/SaveID3v1.h"
#include "ui/Savefiles.h"
#include "ui/TranslitSetupForm.h"
#include "ui/UiText.h"

namespace velmora {

QString MessageText(const std::string& text) {
    // The same lines the command line prints, one under the other.
    QStringList lines;
    for (const std::string& line : MessageLines(text))
        lines << ToQt(line);
    return lines.join('\n');
}

namespace {

int ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, kAppTitle, MessageText(text), buttons, parent);
    box.setObjectName("MessageBox");
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

// Qt's own provider asks the MIME database, which reads the first bytes of a file to tell its
// type: in /proc that read of kmsg waits for kernel messages for ever, on the window's thread.
// This one goes by the kind of entry and the name's extension only.
class TPlainIconProvider : public QFileIconProvider {
  public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) {
            return icon(Drive);
        }
        return icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isRoot()) {
            return "Диск";
        }
        if (info.isDir()) {
            return "Папка";
        }
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QString("Файл") : "Файл " + suffix.toUpper();
    }
};

TPlainIconProvider& PlainIconProvider() {
    static TPlainIconProvider provider;
    return provider;
}

}  // namespace

QString MusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

QFileDialog* NewFileDialog(QWidget* parent, const QString& caption) {
    // Built in the home folder: the list of the real start folder is read only once the plain
    // provider is in place.
    auto* dialog = new QFileDialog(parent, caption, QDir::homePath());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setIconProvider(&PlainIconProvider());
    return dialog;
}

TQtUserPort::TQtUserPort() = default;

TQtUserPort::~TQtUserPort() {
    delete SaveDialog.data();
    delete BrowseDialog.data();
    delete ImageSaveDialog.data();
}

void TQtUserPort::Attach(TMainForm* mainForm, TTranslitSetup* translitSetup, TAboutBox* aboutBox,
                         TSaveFilesForm* saveFilesForm, TSaveID3v1Form* saveID3v1Form) {
    MainForm = mainForm;
    TranslitSetup = translitSetup;
    AboutBox = aboutBox;
    SaveFilesForm = saveFilesForm;
    SaveID3v1Form = saveID3v1Form;
}

bool TQtUserPort::AskYesNo(const std::string& text) {
    return ShowBox(MainForm, QMessageBox::NoIcon, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes) == QMessageBox::Yes;
}

bool TQtUserPort::AskBeforeLoss(const std::string& text) {
    return ShowBox(MainForm, QMessageBox::NoIcon, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
}

void TQtUserPort::ShowMessage(const std::string& text) {
    ShowBox(MainForm, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

void TQtUserPort::ShowError(const std::string& text) {
    ShowBox(MainForm, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

QString TQtUserPort::FolderDialogStart() const {
    if (!LastFolder.isEmpty()) {
        QString dir = QFileInfo(LastFolder).absolutePath();
        while (!QFileInfo(dir).isDir()) {
            const QString up = QFileInfo(dir).absolutePath();
            if (up == dir) {
                break;
            }
            dir = up;
        }
        if (QFileInfo(dir).isDir()) {
            return dir;
        }
    }
    return MusicFolder();
}

QFileDialog* TQtUserPort::FolderDialog() {
    if (BrowseDialog.isNull()) {
        BrowseDialog = NewFileDialog(MainForm, "Выбор папки с MP3");
        BrowseDialog->setObjectName("FolderDialog");
        BrowseDialog->setFileMode(QFileDialog::Directory);
        BrowseDialog->setOption(QFileDialog::ShowDirsOnly);
    }
    return BrowseDialog;
}

std::string TQtUserPort::BrowseForInputFolder() {
    QFileDialog* dialog = FolderDialog();
    dialog->setDirectory(FolderDialogStart());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::string();
    }
    LastFolder = QDir::cleanPath(dialog->selectedFiles().first());
    return FromQt(LastFolder);
}

QFileDialog* TQtUserPort::sd_FilesList() {
    if (SaveDialog.isNull()) {
        SaveDialog = NewFileDialog(MainForm, "Сохранение списка треков");
        SaveDialog->setObjectName("sd_FilesList");
        SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
        SaveDialog->setFileMode(QFileDialog::AnyFile);
        SaveDialog->setNameFilters({"Текстовые файлы (*.txt)", "Все файлы (*)"});
        SaveDialog->selectNameFilter("Текстовые файлы (*.txt)");
        SaveDialog->setDefaultSuffix("txt");
        SaveDialog->selectFile("Songlist.txt");
    }
    return SaveDialog;
}

std::optional<std::string> TQtUserPort::ExecuteSaveDialog() {
    QFileDialog* dialog = sd_FilesList();
    if (!ReportSaved) {
        // Until a report is saved, the dialog proposes "Songlist.txt" in the opened folder.
        const QString opened = MainForm ? ToQt(MainForm->Model.InputFolder) : QString();
        dialog->setDirectory(!opened.isEmpty() && QFileInfo(opened).isDir() ? opened
                                                                            : MusicFolder());
        dialog->selectFile("Songlist.txt");
    }
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog->selectedFiles().first();
    // Proposed again next time, for either report.
    dialog->selectFile(chosen);
    ReportSaved = true;
    return FromQt(chosen);
}

bool TQtUserPort::ShowFileListOptions(TFileListReportOptions& options) {
    return SaveFilesForm && SaveFilesForm->Execute(options);
}

bool TQtUserPort::ShowTagListOptions(TTagListReportOptions& options) {
    return SaveID3v1Form && SaveID3v1Form->Execute(options);
}

void TQtUserPort::ShowTranslitSetup() {
    if (TranslitSetup) {
        TranslitSetup->Execute();
    }
}

void TQtUserPort::ShowAbout() {
    if (AboutBox) {
        AboutBox->exec();
    }
}

void TQtUserPort::ProcessEvents() {
    // The folder scan asks once per file; a pass through the event loop costs more than a file's
    // work, and input a few milliseconds late is not seen. So the events go through at most
    // every 8 ms (half a frame), and always at the first call of a while.
    constexpr qint64 kEventsEveryMs = 8;
    if (EventsClock.isValid() && EventsClock.elapsed() < kEventsEveryMs)
        return;
    QCoreApplication::processEvents();
    EventsClock.start();
}

void TQtUserPort::Refresh() {
    if (MainForm) {
        MainForm->RefreshNow();
    }
}

bool TQtUserPort::ShowBatchPlan(const TBatchLog& plan, const std::string& folder) {
    TBatchPlanDialog dialog(plan, folder, MainForm);
    return dialog.exec() == QDialog::Accepted;
}

bool TQtUserPort::ShowConvertPlan(const TBatchLog& plan, const std::string& folder, int& kbps,
                                  const std::function<TBatchLog(int)>& relabel) {
    TBatchPlanDialog dialog(plan, folder, kbps, relabel, MainForm);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    kbps = dialog.Kbps();
    return accepted;
}

void TQtUserPort::ShowBatchDone(const TBatchLog& done, const std::string& folder) {
    std::string text = BatchSummary(done, true);
    int shown = 0;
    for (const TBatchEvent& e : done) {
        if (!IsFailure(e.Kind))
            continue;
        if (++shown > 10) {
            text += "\r…";
            break;
        }
        text += "\r" + FormatBatchEvent(e, folder, false);
    }
    ShowBox(MainForm, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TQtUserPort::ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice& choice,
                                const TDiscRecheck& recheck) {
    TDiscCheckDialog dialog(check, purpose, choice, recheck, MainForm);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The profile and blank chosen hold for the rest of the run, whatever the answer.
    check = dialog.Check();
    choice = dialog.Choice();
    return accepted;
}

QFileDialog* TQtUserPort::ImageDialog() {
    if (ImageSaveDialog.isNull()) {
        ImageSaveDialog = NewFileDialog(MainForm, "Создать образ диска");
        ImageSaveDialog->setObjectName("ImageDialog");
        ImageSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
        ImageSaveDialog->setFileMode(QFileDialog::AnyFile);
        ImageSaveDialog->setNameFilters({"Образы диска (*.iso)", "Все файлы (*)"});
        ImageSaveDialog->selectNameFilter("Образы диска (*.iso)");
        ImageSaveDialog->setDefaultSuffix("iso");
    }
    return ImageSaveDialog;
}

std::optional<TUserPort::TImageTarget> TQtUserPort::AskImageFile(const std::string& suggested) {
    QFileDialog* dialog = ImageDialog();
    const QFileInfo proposed(ToQt(suggested));
    // The first image goes beside the folder; later ones where the last one went.
    if (!ImageSaved)
        dialog->setDirectory(proposed.absolutePath());
    dialog->selectFile(proposed.fileName());
    // The dialog asks before it returns an existing file's name.
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = dialog->selectedFiles().first();
    ImageSaved = true;
    return TImageTarget{FromQt(path), QFileInfo::exists(path)};
}

void TQtUserPort::BeginProgress(const std::string& caption) {
    delete Progress.data();
    Progress = new TProgressDialog(ToQt(caption), MainForm);
    Progress->setWindowModality(Qt::WindowModal);
    Progress->show();
}

bool TQtUserPort::StepProgress(const TProgress& progress) {
    if (!Progress)
        return true;
    Progress->Show(progress);
    QCoreApplication::processEvents();
    return !Progress || !Progress->TakeCancel();
}

void TQtUserPort::EndProgress() {
    delete Progress.data();
}

}  // namespace velmora
