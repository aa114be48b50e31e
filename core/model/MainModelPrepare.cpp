// Preparing one file for the radio: transliteration and field merge of the tag edits, a new name
// after the tag, and a folder of its own.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/model/MainModel.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

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

}  // namespace

// ---- Transliteration and field merge ----

void TMainModel::btnTranslitClick() {
    if (InfoFileName.Caption.empty())
        return;
    for (TTagField field : kTranslitOrder) {
        if (!FieldKeep(field).Checked)
            SetEditText(FieldEdit(field), TransliterateText(TranslitTable, FieldEdit(field).Text));
    }
}

void TMainModel::btnSplitClick() {
    const std::string title = edTitle.Text;
    if (InfoFileName.Caption.empty())
        return;
    SetEditText(
        edTitle,
        BuildMergedTitle(SpinValue(edTrack.Text, 0), edArtist.Text, title, edtSeparateSymbol.Text,
                         {cbSplitTrack.Checked, cbSplitArtist.Checked, cbSplitTitle.Checked}));
}

void TMainModel::cbSplitTrackClick() {
    if (!OfferCommand(cbSplitTrack.Checked || cbSplitArtist.Checked || cbSplitTitle.Checked,
                      btnSplit, cbAllFilesSplit))
        cbAllFilesTransClick();
}

// ---- Renaming ----

std::string TMainModel::GetNewFileName() {
    const std::string name =
        JoinNewFileName(SpinValue(edTrack.Text, 0), edArtist.Text, edTitle.Text,
                        {cbAddTrack.Checked, cbAddArtist.Checked, cbAddTitle.Checked});
    return name.empty() ? name : CheckName(name);
}

bool TMainModel::MakeFolder(const std::string& folder, const std::string& file) {
    if (NameOf(folder).empty() || NameOf(folder)[0] == '.') {
        // A folder whose name begins with "." is hidden: the file would leave the list and the
        // disc.
        Sink->Note(
            TBatchEvent::TKind::Skip, file, "",
            "имя папки «" + NameOf(folder) + "» пустое или начинается с точки: файл оставлен");
        return false;
    }
    // A folder this batch made is there (the counter stands at its last number): no mkdir
    // that must fail.
    const bool batch = Sink->OneRun();
    const TMoveResult made =
        batch && FoldersMade.count(folder) != 0 ? TMoveResult{false, EEXIST} : Fs.CreateDir(folder);
    if (made.Ok) {
        if (batch)
            FoldersMade.insert(folder);
        Sink->Note(TBatchEvent::TKind::Mkdir, folder, "", "");
        return true;
    }
    Sink->Note(TBatchEvent::TKind::Skip, file, "",
               "папку " + NameOf(folder) + " создать нельзя (" +
                   (made.Error == EEXIST ? std::string("она уже есть") : ErrorReason(made.Error)) +
                   ")");
    return false;
}

bool TMainModel::NoteNewName(const std::string& oldPath, const std::string& newName) {
    // A name that begins with "." hides the file on Linux: it would leave the list and the disc.
    if (!newName.empty() && newName[0] == '.') {
        const bool fromID3v2 = !AudioInfo.ID3v2.Title.Empty() && edTitle.Text.empty();
        Sink->Note(
            TBatchEvent::TKind::Warn, oldPath, "",
            "новое имя «" + newName + "» начинается с точки (файл стал бы скрытым): имя оставлено" +
                (fromID3v2 ? "; название есть в ID3v2 — отметьте «Взять теги из ID3v2»" : ""));
        return false;
    }
    // A name of separators and punctuation alone ("-.mp3", "_.mp3") says nothing of the song.
    if (!newName.empty() && !HasLetterOrDigit(Utf8DropLast(newName, 4))) {
        Sink->Note(TBatchEvent::TKind::Warn, oldPath, "",
                   "новое имя «" + newName + "» без букв и цифр, имя оставлено; " + kNoNameAdvice);
        return false;
    }
    if (!Sink->OneRun())
        return true;
    if (newName.empty())
        Sink->Note(TBatchEvent::TKind::Warn, oldPath, "", "новое имя пустое: переименовать нельзя");
    if (!newName.empty() &&
        std::find(NewNamesSeen.begin(), NewNamesSeen.end(), newName) != NewNamesSeen.end()) {
        Sink->Note(TBatchEvent::TKind::Warn, oldPath, "",
                   "новое имя «" + newName + "» получает уже второй файл");
    }
    NewNamesSeen.push_back(newName);
    const bool cyrillic = std::any_of(newName.begin(), newName.end(), [](char c) {
        return static_cast<unsigned char>(c) == 0xD0 || static_cast<unsigned char>(c) == 0xD1;
    });
    if (cyrillic)
        Sink->Note(TBatchEvent::TKind::Warn, oldPath, "", "в новом имени остались русские буквы");
    return true;
}

bool TMainModel::RenameMoveFile(const std::string& oldPath, const std::string& newPath) {
    const TMoveResult moved = Fs.MoveFile(oldPath, newPath);
    if (moved.Ok) {
        if (oldPath != newPath)
            Sink->Note(TBatchEvent::TKind::Move, oldPath, newPath, "");
        return true;
    }
    Sink->Note(TBatchEvent::TKind::Fail, oldPath, newPath,
               moved.Error == EEXIST ? "файл с таким именем уже есть" : ErrorReason(moved.Error));
    Port.ShowMessage(std::string("Ошибка переименования/перемещения.") + "\r" +
                     "Исходный файл:" + oldPath + "\r" + "Конечный файл:" + newPath);
    return false;
}

void TMainModel::btnRenameClick() {
    const std::string oldPath = JoinPath(InputFolder, InfoFileName.Caption);
    if (InfoFileName.Caption.empty() || !Fs.FileExists(oldPath))
        return;
    const std::string newName = GetNewFileName();
    if (!newName.empty() && newName[0] == '.') {
        Port.ShowMessage("Новое имя «" + newName +
                         "» начинается с точки: файл стал бы скрытым. Имя не изменено.");
        return;
    }
    if (!newName.empty() && !HasLetterOrDigit(Utf8DropLast(newName, 4))) {
        Port.ShowMessage("Новое имя «" + newName +
                         "» без букв и цифр. Имя не изменено: " + kNoNameAdvice + ".");
        return;
    }
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    const std::string newPath = JoinPath(InputFolder, newName);
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

std::string TMainModel::NextNumberedFolder() {
    const int32_t n =
        std::clamp(SpinValue(spedNumDir.Text, kFirstFolder), kFirstFolder, kLastFolder);
    SetNumDir(n + 1);
    return NumberedFolderName(n);
}

std::string TMainModel::MakeFolderName() {
    return CheckName(rbNum.Checked ? NextNumberedFolder() : FolderNameOfFile(InfoFileName.Caption));
}

bool TMainModel::MoveCurrentIntoFolder() {
    const std::string path = JoinPath(InputFolder, InfoFileName.Caption);
    const std::string folder = JoinPath(InputFolder, MakeFolderName());
    // A folder that cannot be made (it exists already, or the name is not valid) is passed over.
    if (!MakeFolder(folder, path))
        return false;
    return RenameMoveFile(path, JoinPath(folder, InfoFileName.Caption));
}

void TMainModel::btnDirAndMoveClick() {
    if (InfoFileName.Caption.empty() || !Fs.FileExists(CurrentPath()))
        return;
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
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

}  // namespace velmora
