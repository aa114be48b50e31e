// Everything the model needs of a person or of the window system goes through this port. The Qt
// window implements it; tests use a scripted implementation that answers and records.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/convert/ConvertRun.h"
#include "core/disc/Disc.h"
#include "core/model/BatchLog.h"
#include "core/reports/ReportOptions.h"
#include "core/stick/Stick.h"
#include "core/text/Progress.h"

namespace velmora {

class TBurnSetup;

// The application title: caption of the window and of every message box.
inline constexpr const char* kAppTitle = "Velmora";

// What a check of the folder is shown for: the check alone, or before its image is written or
// burnt (with the choice to go on).
enum class EDiscPurpose { Check, Image, Burn };

class TUserPort {
  public:
    virtual ~TUserPort() = default;

    // A Yes/No box captioned kAppTitle, no icon; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // The same box where Yes destroys or replaces something (a tag, a disc's data, a file): No is
    // the default, so Enter answers No.
    virtual bool AskBeforeLoss(const std::string& text) { return AskYesNo(text); }
    // An OK box captioned kAppTitle.
    virtual void ShowMessage(const std::string& text) = 0;
    // The general error report: the error's text in an OK box captioned kAppTitle.
    virtual void ShowError(const std::string& text) = 0;
    // The folder dialog "Выбор папки с MP3": a path, or "" when cancelled.
    virtual std::string BrowseForInputFolder() = 0;
    // The save dialog sd_FilesList: a path, or nothing when cancelled. Keeps the last name.
    virtual std::optional<std::string> ExecuteSaveDialog() = 0;
    // The report option dialogs, modal; they edit the options in place; true for OK.
    virtual bool ShowFileListOptions(TFileListReportOptions& options) = 0;
    virtual bool ShowTagListOptions(TTagListReportOptions& options) = 0;
    // The transliteration table dialog and the About box, modal.
    virtual void ShowTranslitSetup() = 0;
    virtual void ShowAbout() = 0;
    // Lets pending user-interface events through (the folder scan calls it).
    virtual void ProcessEvents() = 0;
    // The model's state changed during a command: mirror it and repaint now, without
    // processing input (status text, progress, busy cursor, list visibility).
    virtual void Refresh() = 0;
    // Shows the plan of "Обработать все файлы" before anything changes; true runs it ("Выполнить"),
    // false leaves everything as it is ("Отмена"). Paths are shown relative to the folder.
    virtual bool ShowBatchPlan(const TBatchLog& plan, const std::string& folder) {
        (void)plan;
        (void)folder;
        return true;
    }
    // Tells what the batch did and what failed.
    virtual void ShowBatchDone(const TBatchLog& done, const std::string& folder) {
        (void)done;
        (void)folder;
    }
    // "Перекодировать для магнитолы…": the plan before anything is written, with the bitrate to
    // choose (`kbps`; a change calls `relabel` for the plan's lines at that bitrate). True runs
    // it ("Выполнить").
    virtual bool ShowConvertPlan(const TBatchLog& plan, const std::string& folder, int& kbps,
                                 const std::function<TBatchLog(int)>& relabel) {
        (void)plan;
        (void)folder;
        (void)kbps;
        (void)relabel;
        return true;
    }
    // The check again, for another profile or blank.
    using TDiscRecheck = std::function<TDiscCheck(const TDiscChoice&)>;
    // "Проверка диска", or before an image or a burn its warnings and the names made for the
    // disc, modal: the problems and the summary, with the profile and the blank to choose (a
    // change calls recheck and shows its check, which `check` then holds) and, before an image,
    // whether the track list is written beside it. True when the user goes on (OK, or the
    // button that writes, which a check with a fatal problem does not offer).
    virtual bool ShowDiscCheck(TDiscCheck& check, EDiscPurpose purpose, TDiscChoice& choice,
                               const TDiscRecheck& recheck) {
        (void)check;
        (void)choice;
        (void)recheck;
        return purpose == EDiscPurpose::Check || !check.HasFatal();
    }
    // The save dialog of the image, starting at `suggested`: the path, or nothing when cancelled.
    // Replace is true when the user agreed to replace an existing file (and the track list's).
    // TrackList names the track list's file when the user chose one; "" puts it beside the
    // image, when the choice asks for a list.
    struct TImageTarget {
        std::string Path;
        bool Replace = false;
        std::string TrackList{};
    };
    virtual std::optional<TImageTarget> AskImageFile(const std::string& suggested) {
        (void)suggested;
        return std::nullopt;
    }
    // The progress of a long command, with «Отмена», under the caption: Step shows it, lets the
    // window's events through and returns false each time the user asks to cancel.
    virtual void BeginProgress(const std::string& caption) { (void)caption; }
    virtual bool StepProgress(const TProgress& progress) {
        (void)progress;
        return true;
    }
    virtual void EndProgress() {}
    // "Записать на флешку…": the removable drives mounted now and «Другая папка…»; the mount
    // point or folder chosen, or nothing when cancelled.
    virtual std::optional<std::string> AskStickTarget() { return std::nullopt; }
    // What goes onto the stick and its problems, before anything is written; true goes on (a
    // plan StickRefusal refuses is refused after this, with its reasons).
    virtual bool ShowStickPlan(const TStickPlan& plan) {
        (void)plan;
        return true;
    }
    // "Записать диск…": the drives, the chosen one's medium, the speed, the dummy and eject
    // boxes, shown from `setup` (core/BurnSetup.h), through which the user's choices go; it
    // looks for the drives when it opens (setup.Refresh). True for "Записать".
    virtual bool AskBurn(TBurnSetup& setup) {
        (void)setup;
        return false;
    }
};

}  // namespace velmora
