// The main window. It builds the widgets, mirrors the model into them and forwards the user's
// input to the model's handlers; the model decides everything.
#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QMainWindow>
#include <array>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QToolButton;
class QWidget;

#include "core/tags/TagFields.h"

namespace velmora {

class TMainModel;

class TMainForm : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window and runs the model's FormCreate.
    explicit TMainForm(TMainModel& model, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Sets every widget whose value differs from the model's, with the widget's signals
    // blocked, so mirroring never counts as input.
    void Sync();
    // Runs a piece of user input as one command of the model, then mirrors the model. Nothing
    // thrown inside reaches Qt.
    void Do(const std::function<void()>& command);
    // Mirrors the model and repaints the status bar at once, without processing input: the
    // model calls this through the port while a long command runs.
    void RefreshNow();

    // The window's outer size at first, and the smallest size the model accepts.
    static constexpr int kStartWidth = 879;
    static constexpr int kStartHeight = 723;
    static int MinimumWidth();
    static int MinimumHeight();

    TMainModel& Model;
    std::vector<QIcon> ImageList1;  // indexes 0..13 of the menu and the tool bar

    // Menu bar.
    QMenu *MainMenuFile, *TrackListMenu, *MainMenuConvert, *MainMenuSetup, *MainMenuHelp;
    QAction *FileMenuNew, *FileMenuAddDir, *FileMenuExit;
    QAction *TrackListMenuSaveFilesList, *TrackListMenuSaveFromID3v1;
    QAction *ConvertMenuID3TagsConvert, *ConvertMenuSplit, *ConvertMenuSaveID3, *ConvertMenuRename,
        *ConvertMenuCDCreate, *ConvertMenuProcessAll, *ConvertMenuFromID3v2, *ConvertMenuStripID3v2,
        *ConvertMenuRecode, *ConvertMenuDiscCheck, *ConvertMenuDiscImage, *ConvertMenuBurn,
        *ConvertMenuStick;
    QAction* SetupMenuTransSet;
    QAction* HelpMenuAbout;
    // Tool bar.
    QToolBar* ToolBar1;
    QToolButton *ToolButton1, *ToolButton2, *ToolButton4;
    QFrame* ToolButton3;  // the separator
    // Status bar and warning panel.
    QStatusBar* StatusBar1;
    QLabel* StatusText;
    QProgressBar* Progress;
    QFrame* CommandPanel;
    QLabel* Label5;
    // Files panel.
    QWidget* FilesPanel;
    QFrame* InpButtonPanel;
    QLabel* lblInputFolder;
    QListWidget* FilesListBox;
    QLabel* lblEmptyHint;  // grey, in the middle of the list box while it is empty
    QFrame* Panel9;
    QPushButton *bt_Up, *BitBtn1, *BitBtn2, *btMix;
    QFrame* CurFileInfoPanel;
    QLabel *Label1, *NumFilesLabel, *Label2, *SizeFilesLabel, *TextSizeLabel, *Label20,
        *lblTotalTime;
    // Info panel.
    QFrame* InfoPanel;
    QLabel *InfoFileName, *Label3, *CurrentFileSizeLabel, *lblId3Status, *lblID3v2Status;
    QLabel *Label11, *Label12, *Label13, *Label14, *Label15, *Label16, *Label17;
    QLineEdit *edTitle, *edArtist, *edAlbum, *edYear, *edComment;
    QSpinBox* edTrack;
    QComboBox* edGenre;
    QFrame* Panel1;
    QLabel* Label6;
    QCheckBox *KeepName, *KeepArtist, *KeepAlbum, *KeepYear, *KeepTrack, *KeepGanre, *KeepComment;
    // The Keep boxes and the text edits by tag field (no text edit for the track and genre).
    std::array<QCheckBox*, kTagFieldCount> KeepBoxes{};
    std::array<QLineEdit*, kTagFieldCount> TextEdits{};
    QLabel *lblMpegVersion, *lblDuration, *lblMpegParam, *lblMpegFlags, *lblMpegInternal;
    QFrame *CommandRow1, *CommandRow2, *CommandRow3, *CommandRow4, *CommandRow5;
    QPushButton *btnTranslit, *btnSplit, *btnSaveID3, *btnRename, *btnDirAndMove;
    QPushButton *btnFromID3v2, *btnStripID3v2, *btnFromName;
    QCheckBox *cbSplitTrack, *cbSplitArtist, *cbSplitTitle;
    QLabel *lblSplitParts, *lblSeparateSymbol;
    QLineEdit* edtSeparateSymbol;
    QCheckBox *cbAddTrack, *cbAddArtist, *cbAddTitle;
    QLabel *lblAddParts, *lblReplaceSymbol;
    QLineEdit* edtReplaceSymbol;
    QRadioButton *rbFileName, *rbNum;
    QLabel* lblNumDir;
    QSpinBox* spedNumDir;
    QFrame* Panel2;
    QLabel* Label18;
    QCheckBox *cbAllFilesTrans, *cbAllFilesSplit, *cbAllFilesSaveID3, *cbAllFilesRename,
        *cbAllFilesMoveToDir, *cbRenameMoveOneTime, *cbAllFilesFromID3v2, *cbAllFilesStripID3v2,
        *cbAllFilesFromName, *cbAllFilesConvert;
    QLabel* Label19;
    QLabel* lblAtOnce;  // the caption of cbRenameMoveOneTime, beside the brace
    QFrame *ID3v2BatchPanel, *ProcessAllPanel;
    QPushButton* btnProcessAll;

    void FileMenuExitClick() { close(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildFilesPanel();
    void BuildInfoPanel();
    void BuildCommandRows(int top);
    void Connect();
    void SyncList();
    void SyncGenre();
    void SyncShell();

    std::vector<std::string> ShownItems;  // the names FilesListBox holds, as last mirrored
    bool ShownRed = false;                // InfoFileName is red
    bool CursorOverridden = false;        // the busy cursor is on
    // RefreshNow's last repaint: when, and the shell state it showed (status text, progress
    // total, busy cursor, list and warning panel shown).
    QElapsedTimer RepaintClock;
    std::tuple<std::string, int, bool, bool, bool> PaintedShell;
};

}  // namespace velmora
