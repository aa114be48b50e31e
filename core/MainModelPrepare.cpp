// Preparing files for the radio: transliteration and field merge of the tag edits, new names
// after the tags, a folder of its own for each file, and the batch over the whole list.
#include <algorithm>
#include <cstdio>
#include <set>

#include "core/MainModel.h"

namespace velmora {
namespace {

constexpr const char* kTagStageStatus =
    "Транслитерация, объединение полей и запись тегов. Подождите, пожалуйста...";
constexpr const char* kFileStageStatus =
    "Переименование и перемещение файлов. Подождите, пожалуйста...";
constexpr const char* kFillStatus =
    "Создание списка файлов. Подсчет размера и времени. Подождите, пожалуйста...";

constexpr int32_t kFirstFolder = 1;
constexpr int32_t kLastFolder = 253;

// A command built from ticked parts (merge, renaming): its button and its batch box are usable
// while any part is ticked. With none, the batch box is also unticked and false returned, so the
// caller recounts the batch options.
bool OfferCommand(bool anyPart, TButton& button, TCheckBox& allFiles) {
    button.Enabled = anyPart;
    allFiles.Enabled = anyPart;
    if (!anyPart)
        allFiles.Checked = false;
    return anyPart;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first character of a UTF-8 text (all of it when the text is shorter than its lead byte says).
std::string FirstChar(const std::string& text) {
    if (text.empty())
        return text;
    size_t length = 1;
    while (length < text.size() && length < 4 && IsContinuationByte(text[length]))
        ++length;
    return text.substr(0, length);
}

// The text without its last `count` characters; empty when it has no more than that.
std::string DropLastChars(std::string text, int count) {
    for (int k = 0; k < count && !text.empty(); ++k) {
        while (text.size() > 1 && IsContinuationByte(text.back()))
            text.pop_back();
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string BuildMergedTitle(int32_t track, const std::string& artist, const std::string& title,
                             const std::string& separator, bool useTrack, bool useArtist,
                             bool useTitle) {
    if (!useTrack && !useArtist && !useTitle)
        return title;
    std::string result;
    if (useTrack) {
        result += std::to_string(track);
        if (useArtist || useTitle)
            result += separator;
    }
    if (useArtist) {
        result += artist;
        if (useTitle)
            result += separator;
    }
    if (useTitle)
        result += title;
    return result;
}

// ---- Transliteration and field merge ----

void TMainModel::btnTranslitClick() {
    if (InfoFileName.Caption.empty())
        return;
    const std::string title = edTitle.Text;
    const std::string artist = edArtist.Text;
    const std::string comment = edComment.Text;
    const std::string album = edAlbum.Text;
    const std::string newTitle = TransliterateText(TranslitTable, title);
    if (!KeepName.Checked)
        SetEditText(edTitle, newTitle);
    const std::string newArtist = TransliterateText(TranslitTable, artist);
    if (!KeepArtist.Checked)
        SetEditText(edArtist, newArtist);
    const std::string newAlbum = TransliterateText(TranslitTable, album);
    if (!KeepAlbum.Checked)
        SetEditText(edAlbum, newAlbum);
    const std::string newComment = TransliterateText(TranslitTable, comment);
    if (!KeepComment.Checked)
        SetEditText(edComment, newComment);
}

void TMainModel::btnSplitClick() {
    const std::string title = edTitle.Text;
    if (InfoFileName.Caption.empty())
        return;
    SetEditText(edTitle, BuildMergedTitle(SpinValue(edTrack.Text, 0), edArtist.Text, title,
                                          edtSeparateSymbol.Text, cbSplitTrack.Checked,
                                          cbSplitArtist.Checked, cbSplitTitle.Checked));
}

void TMainModel::cbSplitTrackClick() {
    if (!OfferCommand(cbSplitTrack.Checked || cbSplitArtist.Checked || cbSplitTitle.Checked,
                      btnSplit, cbAllFilesSplit))
        cbAllFilesTransClick();
}

// ---- Renaming ----

std::string TMainModel::GetNewFileName() {
    if (!cbAddTrack.Checked && !cbAddArtist.Checked && !cbAddTitle.Checked)
        return "";
    std::string name;
    if (cbAddTrack.Checked) {
        name += std::to_string(SpinValue(edTrack.Text, 0));
        if (cbAddArtist.Checked || cbAddTitle.Checked)
            name += "_";
    }
    if (cbAddArtist.Checked) {
        name += edArtist.Text;
        if (cbAddTitle.Checked)
            name += "_";
    }
    if (cbAddTitle.Checked)
        name += edTitle.Text;
    name += ".mp3";
    return CheckName(name);
}

std::string TMainModel::CheckName(const std::string& name) {
    // An emptied replacement field still has to give a usable name: "_" stands in for it.
    const std::string typed = FirstChar(edtReplaceSymbol.Text);
    const std::string replacement = typed.empty() ? std::string(1, '_') : typed;
    // The nine characters are ASCII, so no byte of a longer UTF-8 character is taken for one.
    static constexpr char kForbidden[] = "\\/?:*<>|\"";
    std::string result;
    result.reserve(name.size());
    size_t start = 0;
    for (size_t bad; (bad = name.find_first_of(kForbidden, start)) != std::string::npos;
         start = bad + 1) {
        result.append(name, start, bad - start).append(replacement);
    }
    return result.append(name, start, std::string::npos);
}

bool TMainModel::RenameMoveFile(const std::string& oldPath, const std::string& newPath) {
    if (Fs.MoveFile(oldPath, newPath).Ok)
        return true;
    Port.ShowMessage(std::string("Ошибка переименования/перемещения.") + "\r" +
                     "Исходный файл:" + oldPath + "\r" + "Конечный файл:" + newPath);
    return false;
}

void TMainModel::btnRenameClick() {
    const std::string oldPath = JoinPath(InputFolder, InfoFileName.Caption);
    if (InfoFileName.Caption.empty() || !Fs.FileExists(oldPath))
        return;
    const std::string newPath = JoinPath(InputFolder, GetNewFileName());
    RenameMoveFile(oldPath, newPath);
    RebuildList();
    SelectTrack(0);
    FilesListBoxClick();
}

void TMainModel::cbAddTrackClick() {
    if (!OfferCommand(cbAddTrack.Checked || cbAddArtist.Checked || cbAddTitle.Checked, btnRename,
                      cbAllFilesRename))
        cbAllFilesTransClick();
}

// ---- Per-file folders ----

void TMainModel::SetNumDir(int32_t value) {
    spedNumDir.Text = std::to_string(std::clamp(value, kFirstFolder, kLastFolder));
}

std::string TMainModel::NumberedFolderName() {
    const int32_t n =
        std::clamp(SpinValue(spedNumDir.Text, kFirstFolder), kFirstFolder, kLastFolder);
    char name[8];
    std::snprintf(name, sizeof name, "D%03d", static_cast<int>(n));
    SetNumDir(n + 1);
    return name;
}

std::string TMainModel::MakeFolderName() {
    if (rbNum.Checked)
        return CheckName(NumberedFolderName());
    return CheckName(DropLastChars(InfoFileName.Caption, 4));
}

bool TMainModel::MoveCurrentIntoFolder() {
    const std::string path = JoinPath(InputFolder, InfoFileName.Caption);
    const std::string folder = JoinPath(InputFolder, MakeFolderName());
    // A folder that cannot be made (it exists already, or the name is not valid) is passed over.
    if (!Fs.CreateDir(folder))
        return false;
    return RenameMoveFile(path, JoinPath(folder, InfoFileName.Caption));
}

void TMainModel::btnDirAndMoveClick() {
    if (InfoFileName.Caption.empty() || !Fs.FileExists(CurrentPath()))
        return;
    MoveCurrentIntoFolder();
    RebuildList();
    if (TrackList.empty()) {
        InputFolder.clear();
        lblInputFolder.Caption.clear();
    } else {
        SelectTrack(0);
    }
    FilesListBoxClick();
}

void TMainModel::rbNumClick() {
    spedNumDir.Enabled = rbNum.Checked;
    cbRenameMoveOneTime.Visible = rbNum.Checked;
    Label19Visible = rbNum.Checked;
}

// ---- The batch ----

void TMainModel::BatchStep() {
    const auto percent = [this] {
        return ProgressTotal > 0 ? int64_t{ProgressDone} * 100 / ProgressTotal : int64_t{0};
    };
    const int64_t before = percent();
    ++ProgressDone;
    const int64_t after = percent();
    if (after != before)
        Port.Refresh();
}

void TMainModel::RenameAllFiles() {
    for (size_t i = 0; i < FoundFiles.size(); ++i) {
        const std::string oldPath = JoinPath(InputFolder, FoundFiles[i]);
        SelectTrack(static_cast<int>(i));
        FilesListBoxClick();
        RenameMoveFile(oldPath, JoinPath(InputFolder, GetNewFileName()));
        BatchStep();
    }
}

void TMainModel::MoveAllIntoFolders() {
    const size_t count = TrackList.size();
    for (size_t i = 0; i < count; ++i) {
        SelectTrack(static_cast<int>(i));
        FilesListBoxClick();
        if (!InfoFileName.Caption.empty() && Fs.FileExists(CurrentPath()))
            MoveCurrentIntoFolder();
        BatchStep();
    }
}

void TMainModel::RenameAndMoveAtOnce() {
    const size_t count = TrackList.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string oldName = TrackList[i];
        SelectTrack(static_cast<int>(i));
        FilesListBoxClick();
        const std::string newName = GetNewFileName();
        // A folder named after the file takes the name the file had before the batch.
        const std::string folder =
            JoinPath(InputFolder,
                     CheckName(rbNum.Checked ? NumberedFolderName() : DropLastChars(oldName, 4)));
        if (Fs.CreateDir(folder)) {
            RenameMoveFile(JoinPath(InputFolder, oldName), JoinPath(folder, newName));
        }
        BatchStep();
    }
}

void TMainModel::RenameThenMoveEach() {
    RenameAllFiles();
    // The rebuilds below show the progress of their fill; the batch's own is put back after each.
    int done = ProgressDone;
    const int total = ProgressTotal;
    RebuildList();
    // Moving the first file of the list again and again would never end at a file that cannot
    // be moved (its folder exists, the counter stands at its last number, the move fails): such
    // a file is passed over and the next one taken.
    std::set<std::string> passedOver;
    for (;;) {
        const auto next = std::find_if(TrackList.begin(), TrackList.end(), [&](const auto& name) {
            return passedOver.count(name) == 0;
        });
        if (next == TrackList.end())
            break;
        const std::string name = *next;
        FilesListBox.Visible = false;
        ProgressDone = done;
        ProgressTotal = total;
        SelectTrack(static_cast<int>(next - TrackList.begin()));
        FilesListBoxClick();
        btnDirAndMoveClick();
        if (std::find(TrackList.begin(), TrackList.end(), name) != TrackList.end()) {
            passedOver.insert(name);
        }
        ProgressDone = done;
        ProgressTotal = total;
        BatchStep();
        done = ProgressDone;
    }
    FilesListBox.Visible = false;
}

void TMainModel::btnProcessAllClick() {
    if (TrackList.empty())
        return;
    const bool oldCursor = BusyCursor;
    BusyCursor = true;
    FilesListBox.Visible = false;
    const bool rename = cbAllFilesRename.Checked;
    const bool move = cbAllFilesMoveToDir.Checked;
    const size_t count = TrackList.size();
    ProgressDone = 0;
    // One step per file for the tag stage, the renames, and the moves.
    const bool oneAfterTheOther = rename && move && !cbRenameMoveOneTime.Checked;
    ProgressTotal =
        static_cast<int>(count * ((rename || move ? 2 : 1) + (oneAfterTheOther ? 1 : 0)));
    SetStatus(kTagStageStatus);

    for (size_t i = 0; i < count; ++i) {
        SelectTrack(static_cast<int>(i));
        FilesListBoxClick();
        UpdatingEdits = true;
        if (cbAllFilesTrans.Checked)
            btnTranslitClick();
        if (cbAllFilesSplit.Checked)
            btnSplitClick();
        if (cbAllFilesSaveID3.Checked)
            btnSaveID3Click();
        BatchStep();
    }
    UpdatingEdits = false;

    FoundFiles = TrackList;
    SetStatus(kFileStageStatus);
    if (rename && !move) {
        RenameAllFiles();
    } else if (move && !rename) {
        MoveAllIntoFolders();
    } else if (rename && move && cbRenameMoveOneTime.Checked) {
        RenameAndMoveAtOnce();
    } else if (rename && move) {
        RenameThenMoveEach();
    }

    const std::string folder = InputFolder;
    FileMenuNewClick();
    InputFolder = folder;
    SetStatus(kFillStatus);
    FileListFill(InputFolder);
    if (!TrackList.empty())
        SelectTrack(0);
    FilesListBoxClick();

    ProgressDone = 0;
    ProgressTotal = 0;
    FilesListBox.Visible = true;
    SetStatus("");

    for (TCheckBox* box : {&cbAllFilesTrans, &cbAllFilesSplit, &cbAllFilesSaveID3,
                           &cbAllFilesRename, &cbAllFilesMoveToDir}) {
        box->Checked = false;
        cbAllFilesTransClick();
    }
    const std::pair<TCheckBox*, void (TMainModel::*)()> keeps[] = {
        {&KeepName, &TMainModel::KeepNameClick},       {&KeepArtist, &TMainModel::KeepArtistClick},
        {&KeepAlbum, &TMainModel::KeepAlbumClick},     {&KeepYear, &TMainModel::KeepYearClick},
        {&KeepTrack, &TMainModel::KeepTrackClick},     {&KeepGanre, &TMainModel::KeepGanreClick},
        {&KeepComment, &TMainModel::KeepCommentClick},
    };
    for (const auto& [box, click] : keeps) {
        box->Checked = false;
        (this->*click)();
    }
    BusyCursor = oldCursor;
    Port.Refresh();
}

void TMainModel::ConvertMenuProcessAll() {
    if (btnProcessAll.Enabled)
        btnProcessAllClick();
}

void TMainModel::cbAllFilesTransClick() {
    // Tag saving follows transliteration and merge. Turning it on or off runs this rule once
    // more, which gives the states below.
    cbAllFilesSaveID3.Checked = cbAllFilesTrans.Checked || cbAllFilesSplit.Checked;
    btnProcessAll.Enabled = cbAllFilesTrans.Checked || cbAllFilesSplit.Checked ||
                            cbAllFilesSaveID3.Checked || cbAllFilesRename.Checked ||
                            cbAllFilesMoveToDir.Checked;
    cbRenameMoveOneTime.Enabled = cbAllFilesRename.Checked && cbAllFilesMoveToDir.Checked;
}

}  // namespace velmora
