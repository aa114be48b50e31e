// The batch over the whole list: the tag stage, the file stage in one of its four ways, and the
// rebuilt list.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>

#include "core/files/Paths.h"
#include "core/files/PretendFileSystem.h"
#include "core/model/ConvertLog.h"
#include "core/model/MainModel.h"
#include "core/model/QuietPort.h"

namespace velmora {
namespace {

// What makes a file plainly not MPEG audio, as a batch line says it; "" for MPEG audio, also
// when its stream is damaged.
std::string NotMpegAudio(const TAudioInfo& info) {
    if (info.Riff)
        return "файл WAV (RIFF), а не MP3";
    if (info.FirstFrameOffset < 0)
        return "в файле нет кадров MPEG: это не MP3";
    if (info.FrameHdr.Valid && info.FrameHdr.LayerIndex() == 1)
        return "MPEG Layer I, а не MP3";
    if (info.FrameHdr.Valid && info.FrameHdr.LayerIndex() == 2)
        return "MPEG Layer II (MP2), а не MP3";
    return "";
}

constexpr const char* kTagStageStatus =
    "Транслитерация, объединение полей и запись тегов. Подождите, пожалуйста...";
constexpr const char* kFileStageStatus =
    "Переименование и перемещение файлов. Подождите, пожалуйста...";
constexpr const char* kFillStatus =
    "Создание списка файлов. Подсчет размера и времени. Подождите, пожалуйста...";

}  // namespace

void TMainModel::BatchStep(bool lookAtFolder) {
    // The batch works on the folder it opened: once its name leads elsewhere, it stops.
    if (lookAtFolder && !Fs.FolderInPlace(InputFolder))
        throw EStreamError(FolderMovedText(InputFolder));
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
        const std::string newName = GetNewFileName();
        if (NoteNewName(oldPath, newName))
            RenameMoveFile(oldPath, JoinPath(InputFolder, newName));
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
        std::string newName = GetNewFileName();
        // A folder named after the file takes the name the file had before the batch.
        const std::string folderName =
            CheckName(rbNum.Checked ? NextNumberedFolder() : FolderNameOfFile(oldName));
        const std::string folder = JoinPath(InputFolder, folderName);
        if (!NoteNewName(JoinPath(InputFolder, oldName), newName))
            newName = oldName;  // into its folder under the name it has
        if (MakeFolder(folder, JoinPath(InputFolder, oldName))) {
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

void TMainModel::NoteDiscOrder(size_t first, const std::string& folder,
                               const std::vector<std::string>& list) {
    // Each file followed from its name in the list, through its new name, into its folder.
    std::map<std::string, std::string> origin;  // path now -> the list's name
    for (const std::string& name : list)
        origin[JoinPath(folder, name)] = name;
    std::vector<std::pair<std::string, std::string>> placed;  // folder, the list's name
    for (const TBatchEvent& e : Sink->LinesFrom(first)) {
        const auto it = origin.find(e.Path);
        if (e.Kind != TBatchEvent::TKind::Move || it == origin.end())
            continue;
        const std::string name = it->second;
        origin.erase(it);
        if (ParentOf(e.Target) == ParentOf(e.Path))
            origin[e.Target] = name;
        else
            placed.emplace_back(NameOf(ParentOf(e.Target)), name);
    }
    std::sort(placed.begin(), placed.end());
    std::vector<std::string> listed;
    for (const std::string& name : list)
        if (std::any_of(placed.begin(), placed.end(),
                        [&](const auto& p) { return p.second == name; }))
            listed.push_back(name);
    for (size_t i = 0; i < placed.size(); ++i) {
        if (placed[i].second == listed[i])
            continue;
        const auto at = std::find_if(placed.begin(), placed.end(),
                                     [&](const auto& p) { return p.second == listed[i]; });
        Sink->NoteFirst({TBatchEvent::TKind::Order, "", "",
                         "Порядок на диске будет по новым именам, не по списку: «" + listed[i] +
                             "» окажется в " + at->first + ", а не в " + placed[i].first +
                             "; чтобы сохранить порядок списка, отметьте «сразу в папки, в "
                             "порядке списка»"});
        return;
    }
}

void TMainModel::btnProcessAllClick() {
    if (TrackList.empty())
        return;
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    // The moves of the last files may close the folder (the list rule): its name is kept here.
    const std::string batchFolder = InputFolder;
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
        FieldsCutBySave.clear();
        if (cbAllFilesFromID3v2.Checked)
            TakeFromID3v2(true);
        if (cbAllFilesFromName.Checked)
            TakeFromName();
        if (cbAllFilesTrans.Checked)
            btnTranslitClick();
        if (cbAllFilesSplit.Checked)
            btnSplitClick();
        // A file that is plainly not MPEG audio (a WAV file, a text file, MPEG Layer I or II
        // named .mp3) gets no tag: 128 bytes appended would become part of what it is.
        // (A link out of the folder is refused as such by the save.)
        std::string notMpeg = cbAllFilesSaveID3.Checked || cbAllFilesStripID3v2.Checked
                                  ? NotMpegAudio(AudioInfo)
                                  : "";
        if (!notMpeg.empty() && !Fs.Within(InputFolder, CurrentPath()))
            notMpeg.clear();
        if (!notMpeg.empty())
            Sink->Note(TBatchEvent::TKind::Warn, CurrentPath(), "", notMpeg + ": теги не изменены");
        if (cbAllFilesSaveID3.Checked && notMpeg.empty())
            btnSaveID3Click();
        if (cbAllFilesStripID3v2.Checked && notMpeg.empty())
            StripCurrentID3v2();
        // The tags go into the folder held whatever its name does; the name is looked at once
        // the tags are done, and at each step that moves files.
        BatchStep(false);
    }
    UpdatingEdits = false;
    if (!Fs.FolderInPlace(InputFolder))
        throw EStreamError(FolderMovedText(InputFolder));

    FoundFiles = TrackList;
    SetStatus(kFileStageStatus);
    NewNamesSeen.clear();
    FoldersMade.clear();
    if (move && rbNum.Checked) {
        const int32_t first =
            std::clamp(SpinValue(spedNumDir.Text, kFirstFolder), kFirstFolder, kLastFolder);
        const size_t numbers = static_cast<size_t>(kLastFolder - first + 1);
        if (count > numbers) {
            Sink->Note(TBatchEvent::TKind::Warn, InputFolder, "",
                       "файлов " + std::to_string(count) + ", а номеров папок от " +
                           NumberedFolderName(first) + " до D253 только " +
                           std::to_string(numbers) + ": остальные файлы останутся на месте");
        }
    }
    if (rename && !move) {
        RenameAllFiles();
    } else if (move && !rename) {
        MoveAllIntoFolders();
    } else if (rename && move && cbRenameMoveOneTime.Checked) {
        RenameAndMoveAtOnce();
    } else if (rename && move) {
        const size_t first = Sink->LineCount();
        const std::vector<std::string> listed = TrackList;
        RenameThenMoveEach();
        if (rbNum.Checked)
            NoteDiscOrder(first, batchFolder, listed);
    }

    if (!Planning) {
        const bool closed = InputFolder.empty();
        FileMenuNewClick();
        InputFolder = batchFolder;
        SetStatus(kFillStatus);
        FileListFill(InputFolder);
        if (TrackList.empty() && (move || rename)) {
            EmptyListHint = "Все файлы разложены по папкам в " + batchFolder +
                            ". Проверить диск: Обработка → Проверка диска";
            EmptiedFolder = batchFolder;
            if (closed) {
                InputFolder.clear();
                lblInputFolder.Caption.clear();
            }
        }
        if (!TrackList.empty())
            SelectTrack(0);
        FilesListBoxClick();
    }

    ProgressDone = 0;
    ProgressTotal = 0;
    FilesListBox.Visible = true;
    SetStatus("");

    for (TCheckBox* box : {&cbAllFilesTrans, &cbAllFilesSplit, &cbAllFilesSaveID3,
                           &cbAllFilesRename, &cbAllFilesMoveToDir, &cbAllFilesFromID3v2,
                           &cbAllFilesStripID3v2, &cbAllFilesFromName, &cbAllFilesConvert}) {
        box->Checked = false;
        cbAllFilesTransClick();
    }
    for (TTagField field : kEditorRowOrder) {
        FieldKeep(field).Checked = false;
        KeepClick(field);
    }
    BusyCursor = oldCursor;
    Port.Refresh();
}

void TMainModel::ProcessAllWithPlan() {
    // A folder of files to convert may list none yet.
    if (TrackList.empty() && !(cbAllFilesConvert.Checked && !InputFolder.empty()))
        return;
    // The unsaved-edits question comes before the plan, so the plan is the batch the user gets.
    SettleEdits();
    std::optional<TConvertPlan> convert;
    if (cbAllFilesConvert.Checked)
        convert = PlanConvert(ConvertSettings());
    const TConvertPlan* converting = convert ? &*convert : nullptr;
    if (!Port.ShowBatchPlan(PlanBatch(converting), InputFolder))
        return;
    const TBatchLog done = RunBatch(converting);
    Port.ShowBatchDone(done, InputFolder);
}

void TMainModel::SettleEdits() {
    // Edits not saved go: the edits show the file's own tag again.
    const bool changed = TagsModified;
    AskToSaveEdits();
    if (changed && !InfoFileName.Caption.empty()) {
        UpdatingEdits = true;
        ShowFileInfo();
        UpdatingEdits = false;
    }
    TagsModified = false;
    InfoFileNameRed = false;
}

TBatchLog TMainModel::PlanBatch(const TConvertPlan* convert) const {
    // Nobody is asked and nothing is shown: a failed move is a "fail" line.
    std::ostream nowhere(nullptr);
    TQuietPort port(nowhere);
    const std::unique_ptr<TPretendFileSystem> pretend =
        convert ? PretendConverted(*convert) : std::make_unique<TPretendFileSystem>();
    TMainModel copy(*this, port, *pretend);
    copy.Planning = true;
    if (convert == nullptr)
        return copy.RunBatch();
    // The new files join the list the batch works through.
    TBatchLog log = ConvertPlanLines(*convert, convert->Settings.Kbps);
    copy.RebuildList();
    const TBatchLog rest = copy.RunBatch();
    log.insert(log.end(), rest.begin(), rest.end());
    return log;
}

TBatchLog TMainModel::RunBatch(const TConvertPlan* convert) {
    TBatchLog log;
    WorkingPath.clear();
    const auto batch = [&] {
        if (convert != nullptr) {
            log = RunConvert(*convert, 0);
            RebuildList();
        }
        TBatchSink sink(log);
        const TSinkScope scope(Sink, sink);
        try {
            btnProcessAllClick();
        } catch (const std::exception& e) {
            // An error that stops the batch is its last line, naming the file it was at.
            log.push_back({TBatchEvent::TKind::Fail, WorkingPath, "", e.what()});
            throw;
        }
    };
    if (Running())
        batch();
    else
        Run(batch);
    return log;
}

void TMainModel::ConvertMenuProcessAll() {
    if (btnProcessAll.Enabled)
        ProcessAllWithPlan();
}

void TMainModel::cbAllFilesTransClick() {
    // Tag saving follows transliteration and merge. Turning it on or off runs this rule once
    // more, which gives the states below.
    cbAllFilesSaveID3.Checked = cbAllFilesTrans.Checked || cbAllFilesSplit.Checked ||
                                cbAllFilesFromID3v2.Checked || cbAllFilesFromName.Checked;
    btnProcessAll.Enabled = cbAllFilesSaveID3.Checked || cbAllFilesRename.Checked ||
                            cbAllFilesMoveToDir.Checked || cbAllFilesStripID3v2.Checked ||
                            cbAllFilesConvert.Checked;
    cbRenameMoveOneTime.Enabled = cbAllFilesRename.Checked && cbAllFilesMoveToDir.Checked;
}

}  // namespace velmora
