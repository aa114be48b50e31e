// The user port of the model, done with Qt: message boxes captioned "Velmora", the folder and
// save dialogs, the option dialogs, and the window's refresh during long commands.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "core/model/UserPort.h"

class QFileDialog;
class QWidget;

namespace velmora {

class TMainForm;
class TProgressDialog;
class TTranslitSetup;
class TAboutBox;
class TSaveFilesForm;
class TSaveID3v1Form;

class TQtUserPort : public TUserPort {
  public:
    TQtUserPort();
    ~TQtUserPort() override;

    // The windows the port opens; until they are attached, dialogs have no parent and the
    // option dialogs answer Cancel.
    void Attach(TMainForm* mainForm, TTranslitSetup* translitSetup, TAboutBox* aboutBox,
                TSaveFilesForm* saveFilesForm, TSaveID3v1Form* saveID3v1Form);

    bool AskYesNo(const std::string& text) override;
    bool AskBeforeLoss(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::string BrowseForInputFolder() override;
    std::optional<std::string> ExecuteSaveDialog() override;
    bool ShowFileListOptions(TFileListReportOptions& options) override;
    bool ShowTagListOptions(TTagListReportOptions& options) override;
    void ShowTranslitSetup() override;
    void ShowAbout() override;
    void ProcessEvents() override;
    void Refresh() override;
    bool ShowBatchPlan(const TBatchLog& plan, const std::string& folder) override;
    bool ShowConvertPlan(const TBatchLog& plan, const std::string& folder, int& kbps,
                         const std::function<TBatchLog(int)>& relabel) override;
    void ShowBatchDone(const TBatchLog& done, const std::string& folder) override;
    bool ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice& choice,
                       const TDiscRecheck& recheck) override;
    std::optional<TImageTarget> AskImageFile(const std::string& suggested) override;
    // The progress of a long command (ui/ProgressDialog.h).
    void BeginProgress(const std::string& caption) override;
    bool StepProgress(const TProgress& progress) override;
    void EndProgress() override;
    // The burn dialog (ui/QtUserPortBurn.cpp, ui/BurnDialog.h).
    bool AskBurn(TBurnSetup& setup) override;
    // "Записать на флешку…" (ui/QtUserPortStick.cpp, ui/StickDialog.h).
    std::optional<std::string> AskStickTarget() override;
    bool ShowStickPlan(const TStickPlan& plan) override;

    // The save dialog sd_FilesList, built on first use and kept, so it proposes the last name.
    QFileDialog* sd_FilesList();

    // The save dialog of the image, built on first use and kept, so it opens where the last
    // image went.
    QFileDialog* ImageDialog();

    // Where the folder dialog opens: the user's music folder the first time, then the parent of
    // the folder chosen last (its nearest existing ancestor).
    QString FolderDialogStart() const;
    // The folder dialog "Выбор папки с MP3", built on first use and kept.
    QFileDialog* FolderDialog();
    // The folder chosen last in the folder dialog, "" before the first choice.
    QString LastFolder;

  private:
    QPointer<TMainForm> MainForm;
    QPointer<TTranslitSetup> TranslitSetup;
    QPointer<TAboutBox> AboutBox;
    QPointer<TSaveFilesForm> SaveFilesForm;
    QPointer<TSaveID3v1Form> SaveID3v1Form;
    QPointer<QFileDialog> SaveDialog;
    QPointer<QFileDialog> BrowseDialog;
    QPointer<QFileDialog> ImageSaveDialog;
    bool ImageSaved = false;   // an image has been written: its folder is proposed again
    bool ReportSaved = false;  // a report has been saved: the save dialog proposes its path
    QPointer<TProgressDialog> Progress;
    QElapsedTimer EventsClock;  // since the events were last let through
};

// The XDG music folder when it exists, else the home folder.
QString MusicFolder();
// A file dialog drawn by Qt (never the desktop's own), whose icons and type names come from the
// kind of entry alone: no file is opened to draw the list.
QFileDialog* NewFileDialog(QWidget* parent, const QString& caption);

// A message text as Qt shows it: the program's CR line breaks become line breaks.
QString MessageText(const std::string& text);

}  // namespace velmora
