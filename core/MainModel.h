// The main window's behaviour as plain C++: the state of its controls under the controls' names,
// the model state, and every handler of the window under its own name. The window mirrors this
// state into widgets and forwards user input here; it decides nothing itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioInfo.h"
#include "core/FileSystem.h"
#include "core/ReportOptions.h"
#include "core/Translit.h"
#include "core/UserPort.h"

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

struct TGenreBox {
    struct Item {
        std::string Name;
        int32_t Code;
    };
    std::vector<Item> Items;
    int ItemIndex = -1;  // -1: no entry selected
    std::string Text;    // the shown or typed text
    bool Enabled = true;
};

struct TListBox {
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool Visible = true;
};

struct TSpinEdit {
    std::string Text;
    bool Enabled = true;
};

// ---- Pure rules shared by the handlers and the reports ----

// Size of the named file as a signed 32-bit number: 0 when missing, -1 at 2 GiB or more.
int32_t TrackFileSize(TFileSystem& fs, const std::string& path);
// Sum of two "h:m:s" texts as "H:MM:SS"; throws std::invalid_argument on a bad field.
std::string AddTime(const std::string& total, const std::string& add);
// bytes / 1024 / 1024 (or / 1024 once) rounded half to even.
int64_t RoundMegabytes(int64_t bytes);
int64_t RoundKilobytes(int64_t bytes);
// The value of a spin edit: its text as a decimal integer, fallback when it is not a number.
int32_t SpinValue(const std::string& text, int32_t fallback);
// Leading "0" and ":" removed while the text is longer than four characters.
std::string StripLeadingZeros(const std::string& time);
// Track number, artist and title merged with the separator.
std::string BuildMergedTitle(int32_t track, const std::string& artist, const std::string& title,
                             const std::string& separator, bool useTrack, bool useArtist,
                             bool useTitle);
// Lines of the file list report.
std::vector<std::string> BuildFileListReport(TFileSystem& fs,
                                             const std::vector<std::string>& trackList,
                                             const std::string& inputFolder,
                                             const std::string& totalTime,
                                             const TFileListReportOptions& options);
// Writes report lines as Windows-1251 with CR LF after every line, no byte-order mark.
void SaveReportLines(TFileSystem& fs, const std::string& fileName,
                     const std::vector<std::string>& lines);
// folder + "/" + name, with no test for a separator already there.
std::string JoinPath(const std::string& folder, const std::string& name);

// Seed source of the shuffle: a monotonic clock unless a test sets a fixed seed.
using TSeedSource = std::function<uint32_t()>;

class TMainModel {
  public:
    TMainModel(TUserPort& port, TFileSystem& fs = RealFileSystem());

    // ---- Entry from the event loop ----
    // Runs one command: refused (does nothing) while another command runs; an error ends the
    // command, restores the window and reaches the user through the general error report.
    void Run(const std::function<void()>& command);
    bool Running() const { return Depth > 0; }

    // ---- Model state ----
    std::string InputFolder;
    std::vector<std::string>& TrackList = FilesListBox.Items;
    std::vector<std::string> FoundFiles;
    bool TagsModified = false;
    bool UpdatingEdits = false;
    TAudioInfo AudioInfo;
    TTranslitTable TranslitTable;
    TFileListReportOptions FileListOptions;
    TTagListReportOptions TagListOptions;
    TSeedSource SeedSource;
    std::string ProgramPath;  // the running program's path (for the table file)

    // ---- Controls of the window ----
    // Files panel.
    TLabel lblInputFolder;
    TListBox FilesListBox;
    TLabel NumFilesLabel{"0"};
    TLabel SizeFilesLabel{"0"};
    TLabel lblTotalTime{"00:00:00"};
    // Info panel.
    TLabel InfoFileName;
    bool InfoFileNameRed = false;  // red while changed, window text otherwise
    TLabel CurrentFileSizeLabel{"0"};
    TLabel lblId3Status;
    TEdit edTitle, edArtist, edAlbum, edYear, edComment;
    TSpinEdit edTrack{"0"};
    TGenreBox edGenre;
    TCheckBox KeepName, KeepArtist, KeepAlbum, KeepYear, KeepTrack, KeepGanre, KeepComment;
    TLabel lblMpegVersion, lblDuration, lblMpegParam, lblMpegFlags, lblMpegInternal;
    // Command rows.
    TButton btnTranslit, btnSplit, btnSaveID3, btnRename, btnDirAndMove;
    TCheckBox cbSplitTrack{false}, cbSplitArtist{true}, cbSplitTitle{true};
    TEdit edtSeparateSymbol{"-"};
    TCheckBox cbAddTrack{false}, cbAddArtist{false}, cbAddTitle{true};
    TEdit edtReplaceSymbol{"_"};
    TCheckBox rbFileName{false}, rbNum{true};
    TSpinEdit spedNumDir{"1"};
    // Batch column.
    TCheckBox cbAllFilesTrans, cbAllFilesSplit, cbAllFilesSaveID3, cbAllFilesRename,
        cbAllFilesMoveToDir;
    TCheckBox cbRenameMoveOneTime{false, false, true};
    bool Label19Visible = true;  // the brace "}"
    TButton btnProcessAll{false};
    // Shell.
    std::string StatusText;            // StatusBar1
    bool CommandPanelVisible = false;  // the warning panel
    bool BusyCursor = false;
    int ProgressDone = 0;  // progress of the fill or the batch; ProgressTotal 0 hides it
    int ProgressTotal = 0;

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
    void KeepNameClick();
    void KeepArtistClick();
    void KeepAlbumClick();
    void KeepYearClick();
    void KeepTrackClick();
    void KeepGanreClick();
    void KeepCommentClick();
    void ShowFileInfo();
    void SelectGenre(int32_t code);
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
    std::string CheckName(const std::string& name);
    bool RenameMoveFile(const std::string& oldPath, const std::string& newPath);
    void btnRenameClick();
    void cbAddTrackClick();
    std::string MakeFolderName();
    void btnDirAndMoveClick();
    void rbNumClick();
    void rbFileNameClick() { rbNumClick(); }
    void spedNumDirChange() {}
    void SetNumDir(int32_t value);  // stores the value clamped to 1..253
    void btnProcessAllClick();
    void ConvertMenuProcessAll();
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

  private:
    int Depth = 0;
    void RebuildList();  // remember InputFolder, clear, put it back, fill
    void SetStatus(const std::string& text);
    void ClearCurrentTrackDisplay();

    // Preparing files (renaming, folders, batch) keeps its private helpers below.
  private:
    // "D" and the counter in three digits; advances the counter.
    std::string NumberedFolderName();
    // Makes a folder for the current track and moves the file into it; true when it moved.
    bool MoveCurrentIntoFolder();
    // The file stage of the batch, one way each.
    void RenameAllFiles();
    void MoveAllIntoFolders();
    void RenameAndMoveAtOnce();
    void RenameThenMoveEach();
    // Progress of the batch: one step done; repaints at each whole percent.
    void BatchStep();
};

}  // namespace velmora
