// The main window's behaviour as plain C++: the state of its controls under the controls' names,
// the model state, and every handler of the window under its own name. The window mirrors this
// state into widgets and forwards user input here; it decides nothing itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioInfo.h"
#include "core/convert/ConvertRun.h"
#include "core/files/FileSystem.h"
#include "core/files/FolderLock.h"
#include "core/model/BatchLog.h"
#include "core/model/BatchOptions.h"
#include "core/model/StepSink.h"
#include "core/model/UserPort.h"
#include "core/reports/ReportOptions.h"
#include "core/reports/Reports.h"
#include "core/tags/Naming.h"
#include "core/tags/TagFields.h"
#include "core/text/TrackRules.h"
#include "core/text/Translit.h"

namespace velmora {

// ---- Control states (texts are UTF-8) ----

struct TLabel {
    std::string Caption;
};

struct TEdit {
    std::string Text;
    bool Enabled = true;
};

struct TCheckBox {
    bool Checked = false;
    bool Enabled = true;
    bool Visible = true;
};

struct TButton {
    bool Enabled = true;
};

// The genre box: Text is the shown or typed text.
struct TGenreBox : TEdit {
    struct Item {
        std::string Name;
        int32_t Code;
    };
    std::vector<Item> Items;
    int ItemIndex = -1;  // -1: no entry selected
};

struct TListBox {
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool Visible = true;
};

struct TSpinEdit : TEdit {};

// Why a file gets no name of words, and what gives it one.
inline constexpr const char* kNoNameAdvice =
    "нет названия и исполнителя: отметьте «Взять теги из имени файла»";

// The empty list's hint before a folder is opened.
inline constexpr const char* kOpenFolderHint =
    "Откройте папку с MP3 файлами: Файл → Открыть папку (Ctrl+O)";

// Seed source of the shuffle: a monotonic clock unless a test sets a fixed seed.
using TSeedSource = std::function<uint32_t()>;

// Everything the window shows and the model remembers, as plain values: a copy of it is a model
// in the same state (the batch plan runs on one).
struct TMainModelState {
    // ---- Model state ----
    std::string InputFolder;
    std::vector<std::string> FoundFiles;
    bool TagsModified = false;
    bool UpdatingEdits = false;
    TAudioInfo AudioInfo;
    TTranslitTable TranslitTable;
    TFileListReportOptions FileListOptions;
    TTagListReportOptions TagListOptions;
    TDiscChoice DiscChoice;  // the profile and blank of the disc commands, for the whole run
    int ConvertKbps = kDefaultConvertKbps;  // the conversion's bitrate, for the whole run
    TSeedSource SeedSource;
    std::string ProgramPath;  // the running program's path (for the table file)

    // ---- Controls of the window ----
    // Files panel.
    TLabel lblInputFolder;
    TListBox FilesListBox;
    std::string EmptyListHint = kOpenFolderHint;  // shown in the list while it is empty
    TLabel NumFilesLabel{"0"};
    TLabel SizeFilesLabel{"0"};
    TLabel lblTotalTime{"00:00:00"};
    // Info panel.
    TLabel InfoFileName;
    bool InfoFileNameRed = false;  // red while changed, window text otherwise
    TLabel CurrentFileSizeLabel{"0"};
    TLabel lblId3Status;
    TLabel lblID3v2Status;     // what the ID3v2 tag at the start holds
    std::string ID3v2Details;  // its fields, one "Название: …" line each (the status's hint)
    TEdit edTitle, edArtist, edAlbum, edYear, edComment;
    TSpinEdit edTrack{{"0"}};
    TGenreBox edGenre;
    TCheckBox KeepName, KeepArtist, KeepAlbum, KeepYear, KeepTrack, KeepGanre, KeepComment;
    TLabel lblMpegVersion, lblDuration, lblMpegParam, lblMpegFlags, lblMpegInternal;
    // Command rows.
    TButton btnTranslit, btnSplit, btnSaveID3, btnRename, btnDirAndMove;
    TButton btnFromID3v2, btnStripID3v2, btnFromName;
    TCheckBox cbSplitTrack{false}, cbSplitArtist{true}, cbSplitTitle{true};
    TEdit edtSeparateSymbol{"-"};
    TCheckBox cbAddTrack{false}, cbAddArtist{false}, cbAddTitle{true};
    TEdit edtReplaceSymbol{"_"};
    TCheckBox rbFileName{false}, rbNum{true};
    TSpinEdit spedNumDir{{"1"}};
    // Batch column.
    TCheckBox cbAllFilesTrans, cbAllFilesSplit, cbAllFilesSaveID3, cbAllFilesRename,
        cbAllFilesMoveToDir;
    TCheckBox cbAllFilesFromID3v2;   // take the tags from ID3v2 when a file has no ID3v1 tag
    TCheckBox cbAllFilesStripID3v2;  // remove the ID3v2 tag after the tag is saved
    TCheckBox cbAllFilesFromName;    // fill the fields no tag has from the file name
    std::string NamePattern;         // how names are read ("" for the common shapes)
    TCheckBox cbAllFilesConvert;     // convert what the radio cannot play first
    TCheckBox cbRenameMoveOneTime{false, false, true};
    bool Label19Visible = true;  // the brace "}"
    TButton btnProcessAll{false};
    // Shell.
    std::string StatusText;            // StatusBar1
    bool CommandPanelVisible = false;  // the warning panel
    bool BusyCursor = false;
    int ProgressDone = 0;  // progress of the fill or the batch; ProgressTotal 0 hides it
    int ProgressTotal = 0;
};

class TMainModel : public TMainModelState {
  public:
    TMainModel(TUserPort& port, TFileSystem& fs = RealFileSystem());
    // A model in the given state over another port and file system.
    TMainModel(const TMainModelState& state, TUserPort& port, TFileSystem& fs);
    TMainModel(const TMainModel&) = delete;
    TMainModel& operator=(const TMainModel&) = delete;

    // ---- Operations: what the window's handlers, the command line and the tests call ----
    // Opens a folder as "Открыть папку" does once the folder is chosen: clears the list, tidies
    // what a stopped run left there, fills the list and shows its first file.
    void OpenFolder(const std::string& folder);
    // Sets a check box as a click on it does, and runs that box's rule (the Keep boxes, the merge
    // and name parts, the batch boxes; the two folder-naming radio buttons through
    // ChooseFolderNaming).
    void SetBox(TCheckBox& box, bool on);
    // Numbered folders D001.. (true) or folders named after the file: exactly one of rbNum and
    // rbFileName is on.
    void ChooseFolderNaming(bool numbered);
    // Sets the batch's controls from the options, as the user would tick them.
    void ApplyBatchOptions(const TBatchOptions& options);
    // The batch of the current options over a file system that only pretends, on a copy of the
    // model: the model and the disk stay as they are. With `convert`, the batch that converts
    // first: the conversion's lines, then the batch over the files the conversion will have made.
    TBatchLog PlanBatch(const TConvertPlan* convert = nullptr) const;
    // The batch itself, recorded; with `convert`, that conversion first (with its progress) and
    // the list made again. Inside a running command an error that stops the batch goes on to
    // that command; otherwise Run reports it.
    TBatchLog RunBatch(const TConvertPlan* convert = nullptr);

    // The folder the list was filled from (device and inode), for the commands outside the model
    // that hold it (the burn's).
    const TFileIdentity& Opened() const { return OpenedFolder; }
    // The folder the disc commands take: the open one, or the one a batch has just emptied by
    // moving every file into folders (it is closed then, but its disc is what comes next).
    std::string DiscFolder() const { return InputFolder.empty() ? EmptiedFolder : InputFolder; }
    std::string EmptiedFolder;

    // ---- Entry from the event loop ----
    // Runs one command: refused (does nothing) while another command runs; an error ends the
    // command, restores the window and reaches the user through the general error report.
    void Run(const std::function<void()>& command);
    bool Running() const { return Depth > 0; }

    std::vector<std::string>& TrackList = FilesListBox.Items;

    // ---- Handlers: folder and list ----
    void FormCreate();
    void FileMenuAddDirClick();
    void ToolButton1Click() { FileMenuAddDirClick(); }
    void FileMenuNewClick();
    void FileListFill(const std::string& folder);
    void ScanFolder(const std::string& folder, std::vector<std::string>& list);

    // ---- Current track and tag editing ----
    void FilesListBoxClick();
    void edTitleChange();
    // The Keep rule: a kept field cannot be edited.
    void KeepClick(TTagField field) { FieldEdit(field).Enabled = !FieldKeep(field).Checked; }
    // A tag field's edit (the genre box and the track spin edit as edits: text and enabled
    // state) and its Keep box.
    TEdit& FieldEdit(TTagField field) { return *FieldEdits[FieldIndex(field)]; }
    const TEdit& FieldEdit(TTagField field) const { return *FieldEdits[FieldIndex(field)]; }
    TCheckBox& FieldKeep(TTagField field) { return *FieldKeeps[FieldIndex(field)]; }
    const TCheckBox& FieldKeep(TTagField field) const { return *FieldKeeps[FieldIndex(field)]; }

    void ShowFileInfo();
    void SelectGenre(int32_t code);
    // Selects the entry of that name, letter case aside; none when no entry has it.
    void SelectGenreByName(const std::string& name);
    void ApplyEditsToTag();
    // Programmatic and user changes of the edits go through these: a different text is a change
    // (edTitleChange runs), the same text is not.
    void SetEditText(TEdit& edit, const std::string& text);
    void SetTrackText(const std::string& text);
    void SetGenreIndex(int index);               // selects an entry (its name becomes the text)
    void SetGenreText(const std::string& text);  // typed text; selects the entry it names
    void SelectTrack(int index);                 // selects a list position (no FilesListBoxClick)

    // ---- Track order ----
    void bt_UpClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void btMixClick();

    // ---- Preparing files ----
    void btnTranslitClick();
    void btnSplitClick();
    void cbSplitTrackClick();
    void btnSaveID3Click();
    std::string GetNewFileName();
    std::string CheckName(const std::string& name) {
        return velmora::CheckName(name, NameReplacement(edtReplaceSymbol.Text));
    }
    bool RenameMoveFile(const std::string& oldPath, const std::string& newPath);
    void btnRenameClick();
    void cbAddTrackClick();
    std::string MakeFolderName();
    void btnDirAndMoveClick();
    void rbNumClick();
    void spedNumDirChange() {}
    void SetNumDir(int32_t value);  // stores the value clamped to 1..253
    // ID3v2: fill the edits from the tag; remove the tag from the file.
    void btnFromID3v2Click();
    void btnStripID3v2Click();
    // The fields no tag gives (empty, or a damaged ID3v1 field) filled from the file name.
    void btnFromNameClick();
    void btnProcessAllClick();
    // What the window's button and menu item run: the plan of the batch first, the batch once
    // the user agrees, then what it did.
    void ProcessAllWithPlan();
    void ConvertMenuProcessAll();
    // "Проверка диска" and "Создать образ диска…" on the opened folder (MainModelDisc.cpp).
    void ConvertMenuDiscCheckClick();
    void ConvertMenuDiscImageClick();
    // "Записать диск…": the opened folder burnt, by OnBurnFolder when the program burns
    // (EnableBurning in core/model/BurnCommands.h, library velmora_burn_model).
    void ConvertMenuBurnClick();
    std::function<void()> OnBurnFolder;
    // "Записать на флешку…": the opened folder copied onto a stick in the list's order and
    // checked (core/model/StickJob.h).
    void ConvertMenuStickClick();
    // "Перекодировать для магнитолы…" (MainModelConvert.cpp): the plan of the opened folder's
    // conversion for the chosen radio profile, then the conversion on every core with its
    // progress and a way out, then the list again with the new files.
    void ConvertMenuConvertClick();
    // The conversion's settings: the chosen profile's limits at ConvertKbps.
    TConvertSettings ConvertSettings() const;
    // The plan of converting the opened folder; reads only (busy cursor and progress meanwhile).
    TConvertPlan PlanConvert(const TConvertSettings& settings);
    // The plan's conversions under the folder's lock, on `jobs` workers (0: one per core),
    // with their progress shown through the port (StepProgress, which may cancel). The lines of
    // what was done.
    TBatchLog RunConvert(const TConvertPlan& plan, int jobs);
    // What "Создать образ диска…" does once its images (one a disc) are written, when set
    // (EnableBurning); otherwise it says where they are.
    std::function<void(const std::vector<std::string>& images, const std::string& message)>
        OnImageWritten;
    void cbAllFilesTransClick();

    // ---- Reports ----
    std::vector<std::string> BuildTagListReport(const TTagListReportOptions& options,
                                                const std::string& totalTime);
    void TrackListMenuSaveFilesListClick();
    void TrackListMenuSaveFromID3v1Click();

    // ---- Shell ----
    void SetupMenuTransSetClick();
    void HelpMenuAboutClick();
    void Label5DblClick() { CommandPanelVisible = false; }
    void StatusBar1DblClick() { CommandPanelVisible = true; }
    static bool FormCanResize(int newWidth, int newHeight) {
        return newWidth >= 720 && newHeight >= 705;
    }

    // The current track's full path ("" when there is none).
    std::string CurrentPath() const;
    // Puts the window back after an error: list shown, cursor normal, status empty,
    // UpdatingEdits clear, no progress.
    void RestoreAfterError();

    TUserPort& Port;
    TFileSystem& Fs;
    // Set on the copy that runs the plan: the list it would fill at the end is thrown away, so
    // it is not filled.
    bool Planning = false;

  private:
    int Depth = 0;
    // Where the steps are told: the window's sink, or the batch's while RunBatch runs.
    TWindowSink WindowSink{Port};
    TStepSink* Sink = &WindowSink;
    // The controls of each tag field, in the table's order.
    std::array<TEdit*, kTagFieldCount> FieldEdits;
    std::array<TCheckBox*, kTagFieldCount> FieldKeeps;
    // Shows a field's value from the file information, or its empty value (no text, track 0,
    // no genre) when `shown` is null.
    void ShowField(const TTagFieldInfo& field, const TFileInfoSummary* shown);
    // The disc commands' first step: false, after saying so, when no folder is open.
    bool FolderOpenForDisc();
    // Fills the edits from the ID3v2 tag (not the kept ones): every field it holds, or with
    // `repairOnly` only those the ID3v1 tag lacks, has empty, or holds as a damaged copy.
    // Returns the fields it took.
    std::vector<TTagField> TakeFromID3v2(bool repairOnly);
    // Fills the edits that are empty, or hold a damaged ID3v1 field of the file as it was read,
    // from the current file's name (not the kept ones); the batch notes what each file got.
    void TakeFromName();
    // The batch's file at hand: the fields its last tag save had to cut.
    std::vector<TTagField> FieldsCutBySave;
    // The batch's «Удалить ID3v2»: removes the current file's ID3v2 tag where the ID3v1 tag holds
    // every text of it whole, else rewrites it in its slim form (texts alone). False when the
    // file was not changed.
    bool StripCurrentID3v2();
    // Removes the current file's ID3v2 tag; false when it has none that can be removed.
    bool DropCurrentID3v2();
    // Rewrites the current file's ID3v2 tag with its texts alone (ID3v2Slim.h); false, after
    // saying why, when it was not changed.
    bool SlimCurrentID3v2();
    // False, after saying why, when the current file's ID3v2 tag may not be changed.
    bool ID3v2MayChange(const std::string& path);
    // The question about unsaved edits of the current track, saving them on Yes.
    void AskToSaveEdits();
    // Before a command over the whole folder: the question about unsaved edits, and edits not
    // saved put back to the file's own tag.
    void SettleEdits();
    // Writes the tag of the analysis into the file; false when the file may not be written.
    bool SaveTag(const std::string& path);
    // True when the command may write the file: it lies inside the opened folder once links are
    // resolved. Otherwise the refusal is told (a line of the batch, else a message) and false
    // returned.
    bool MayWrite(const std::string& path);
    // Writes report lines into a file; where that can only be done in place, asks first.
    void SaveReport(const std::string& path, const std::vector<std::string>& lines);
    // The file the command is working on: what a failure that stops the batch names.
    std::string WorkingPath;
    // The folder the list was filled from (device and inode): a command that changes the folder
    // refuses one that its name no longer leads to.
    TFileIdentity OpenedFolder;
    // The sizes the last ScanFolder's listing gave with its names (-1 where it gave none), and
    // whether it saw names like those of the program's own hidden files.
    std::vector<int64_t> ScannedSizes;
    bool LeftoversSeen = false;
    std::set<std::string> LookAlikesTold;  // the look-alikes of our files named already
    // Warns of each text field the tag could not hold whole (FieldsCutBySave).
    void NoteCutFields(const std::string& path);
    // Makes a folder for a file of the batch; a folder that cannot be made passes the file over.
    bool MakeFolder(const std::string& folder, const std::string& file);
    std::set<std::string> FoldersMade;  // by this batch: made once, taken already after that
    // Warns of what a new name will do (empty, a name twice, Cyrillic left); false, with a
    // warning, for a name that would hide the file (it begins with "."): the file keeps its name.
    bool NoteNewName(const std::string& oldPath, const std::string& newName);
    std::vector<std::string> NewNamesSeen;  // the new names of this batch so far
    // The batch's first line, when the files moved into numbered folders from the log's line
    // `first` on do not follow the order of `list` (the names in `folder` before the batch).
    void NoteDiscOrder(size_t first, const std::string& folder,
                       const std::vector<std::string>& list);
    void RebuildList();  // remember InputFolder, clear, put it back, fill
    void SetStatus(const std::string& text);
    void ClearCurrentTrackDisplay();
    // Makes the selected track current and analyses it (InfoFileName, WorkingPath, AudioInfo).
    void AnalyseSelectedTrack();
    // The fill's step for a file between the first and the last: the file is made current and
    // timed (lblDuration), but not shown; the last file's showing sets everything else.
    void TimeCurrentTrack();

    // Preparing files (renaming, folders, batch) keeps its private helpers below.
  private:
    // "D" and the counter in three digits; advances the counter.
    std::string NextNumberedFolder();
    // Makes a folder for the current track and moves the file into it; true when it moved.
    bool MoveCurrentIntoFolder();
    // The file stage of the batch, one way each.
    void RenameAllFiles();
    void MoveAllIntoFolders();
    void RenameAndMoveAtOnce();
    void RenameThenMoveEach();
    // Progress of the batch: one step done; repaints at each whole percent. With lookAtFolder,
    // first stops the batch when the folder's name no longer leads to the folder held.
    void BatchStep(bool lookAtFolder = true);
};

}  // namespace velmora
