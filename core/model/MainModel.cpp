// The main window's model: start-up, the folder scan and the track list, the current track with
// its tag edits, the order of the list, saving the tag and the entry guard.
#include "core/model/MainModel.h"
#include "core/files/TranslitFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>

#include "audio/FileInfoSummary.h"
#include "audio/ID3Tags.h"
#include "audio/ID3v2Slim.h"
#include "core/files/Journal.h"
#include "core/tags/ID3v2Text.h"
#include "core/tags/NameTags.h"
#include "core/tags/StripRule.h"
#include "core/text/Collation.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

constexpr const char* kFillStatus =
    "Создание списка файлов. Подсчет размера и времени. Подождите, пожалуйста...";
// Heads the list of files the fill could not analyse, one "name: reason" line each.
constexpr const char* kUnreadableText =
    "Не удалось прочитать файлы (их время считается равным 0:00:00):";
// Heads the list of files named like the program's own that it did not make for this folder.
constexpr const char* kLookAlikeText =
    "В папке есть файлы с именами, как у временных файлов Velmora, но сделанные не ею для этой "
    "папки. Они оставлены как есть:";

uint32_t ClockSeed() {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ticks));
}

// One step of the 32-bit linear congruential generator and a draw from 0 to range - 1.
uint32_t NextRandom(uint32_t& seed, uint32_t range) {
    seed = seed * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(seed) * range) >> 32);
}

}  // namespace

TMainModel::TMainModel(TUserPort& port, TFileSystem& fs) : TMainModel(TMainModelState{}, port, fs) {
    SeedSource = ClockSeed;
}

TMainModel::TMainModel(const TMainModelState& state, TUserPort& port, TFileSystem& fs)
    : TMainModelState(state),
      Port(port),
      Fs(fs),
      // In the order of TagFields(): artist, title, genre, year, comment, album, track.
      FieldEdits{&edArtist, &edTitle, &edGenre, &edYear, &edComment, &edAlbum, &edTrack},
      FieldKeeps{&KeepArtist,  &KeepName,  &KeepGanre, &KeepYear,
                 &KeepComment, &KeepAlbum, &KeepTrack} {}

// ---- Entry from the event loop ----

void TMainModel::Run(const std::function<void()>& command) {
    if (Depth > 0)
        return;
    struct TDepthGuard {
        int& D;
        explicit TDepthGuard(int& d) : D(d) { ++D; }
        ~TDepthGuard() { --D; }
    } guard(Depth);
    try {
        command();
    } catch (const std::exception& e) {
        RestoreAfterError();
        Port.ShowError(e.what());
    } catch (...) {
        RestoreAfterError();
        Port.ShowError("Unknown error");
    }
}

void TMainModel::RestoreAfterError() {
    FilesListBox.Visible = true;
    BusyCursor = false;
    StatusText.clear();
    UpdatingEdits = false;
    ProgressDone = 0;
    ProgressTotal = 0;
    Port.Refresh();
}

void TMainModel::SetStatus(const std::string& text) {
    StatusText = text;
    Port.Refresh();
}

std::string TMainModel::CurrentPath() const {
    return InfoFileName.Caption.empty() ? std::string()
                                        : JoinPath(InputFolder, InfoFileName.Caption);
}

// ---- Start-up ----

void TMainModel::FormCreate() {
    AudioInfo.Clear();
    BuildID3Genres();
    TGenreList& genres = ID3Genres();
    const TCollator& collator = UserCollator();
    genres.Sort(
        [&collator](const std::string& a, const std::string& b) { return collator.Less(a, b); });
    edGenre.Items.clear();
    edGenre.Items.reserve(genres.Items.size());
    for (const auto& item : genres.Items)
        edGenre.Items.push_back({item.Name, item.Code});
    TagsModified = false;
}

// ---- Folder and list ----

void TMainModel::FileMenuAddDirClick() {
    FileMenuNewClick();
    OpenFolder(Port.BrowseForInputFolder());
}

void TMainModel::OpenFolder(const std::string& folder) {
    FileMenuNewClick();
    SetStatus(kFillStatus);
    FileListFill(folder);
    // What a stopped run of ours left is seen in the same listing, and tidied only while no other
    // copy works in the folder; the list is filled again when that changed the folder.
    std::vector<std::string> ignored;
    if (LeftoversSeen && !folder.empty()) {
        TFolderLock lock(Fs, folder);
        if (lock.Held()) {
            const TLeftovers done = Fs.CleanLeftovers(folder);
            lock.Release();
            ignored = done.Ignored;
            if (done.Handled > 0)
                RebuildList();
        }
    }
    if (!TrackList.empty())
        SelectTrack(0);
    FilesListBoxClick();
    TagsModified = false;
    SetStatus("");
    // Files that only look like ours are told about once a run of this model.
    std::string names;
    for (const std::string& path : ignored)
        if (LookAlikesTold.insert(path).second)
            names += "\r" + RelativePath(path, folder);
    if (!names.empty())
        Port.ShowMessage(std::string(kLookAlikeText) + names);
}

void TMainModel::FileMenuNewClick() {
    TrackList.clear();
    FilesListBox.ItemIndex = -1;
    for (TTagField field : kClearListOrder)
        ShowField(TagFieldInfo(field), nullptr);
    CurrentFileSizeLabel.Caption.assign(1, '0');
    InfoFileName.Caption.clear();
    for (TLabel* label : {&lblId3Status, &lblID3v2Status, &lblMpegVersion, &lblDuration,
                          &lblMpegParam, &lblMpegFlags, &lblMpegInternal}) {
        label->Caption.clear();
    }
    NumFilesLabel.Caption.assign(1, '0');
    SizeFilesLabel.Caption.assign(1, '0');
    InputFolder.clear();
    lblInputFolder.Caption.clear();
    TagsModified = false;
    InfoFileNameRed = false;
    lblTotalTime.Caption = "00:00:00";
    ID3v2Details.clear();
    EmptyListHint = kOpenFolderHint;
    EmptiedFolder.clear();
}

void TMainModel::FileListFill(const std::string& folder) {
    if (folder.empty())
        return;
    FoundFiles.clear();
    FoundFiles.shrink_to_fit();
    TrackList.clear();
    FilesListBox.ItemIndex = -1;
    const bool oldCursor = BusyCursor;
    BusyCursor = true;
    InputFolder = folder;
    OpenedFolder = Fs.FolderIdentity(folder);
    Port.Refresh();
    try {
        ScanFolder(InputFolder, FoundFiles);
        NumFilesLabel.Caption = std::to_string(FoundFiles.size());

        int64_t totalBytes = 0;
        TrackList.reserve(FoundFiles.size());
        for (size_t i = 0; i < FoundFiles.size(); ++i) {
            TrackList.push_back(NameOf(FoundFiles[i]));
            // The listing's own size where it had one, else a look at the file.
            const int64_t listed = i < ScannedSizes.size() ? ScannedSizes[i] : -1;
            totalBytes += listed >= 0
                              ? TrackSize(listed)
                              : TrackSize(Fs.EntrySize(JoinPath(InputFolder, TrackList.back())));
        }
        SizeFilesLabel.Caption = std::to_string(RoundMegabytes(totalBytes));

        FilesListBox.Visible = false;
        ProgressTotal = static_cast<int>(TrackList.size());
        ProgressDone = 0;
        Port.Refresh();
        int shownPercent = 0;
        // A file that cannot be analysed counts 0:00:00; the fill goes on and names it at the end.
        std::string unreadable;
        // The time pass needs no ID3v2 fields: reading them (covers and all) would cost more
        // than the rest of the pass. The file shown afterwards is read whole again.
        struct TTimePass {
            TAudioInfo& Info;
            explicit TTimePass(TAudioInfo& info) : Info(info) { Info.ReadID3v2Fields = false; }
            ~TTimePass() { Info.ReadID3v2Fields = true; }
        } timePass(AudioInfo);
        for (size_t i = 0; i < TrackList.size(); ++i) {
            SelectTrack(static_cast<int>(i));
            std::optional<std::string> reason;
            try {
                if (i == 0 || i + 1 == TrackList.size())
                    FilesListBoxClick();
                else
                    TimeCurrentTrack();
            } catch (const std::exception& e) {
                reason = e.what();
            } catch (...) {
                reason = "Unknown error";
            }
            if (reason) {
                unreadable += "\r" + TrackList[i] + ": " + *reason;
            } else {
                lblTotalTime.Caption = AddTime(lblTotalTime.Caption, lblDuration.Caption);
            }
            ProgressDone = static_cast<int>(i + 1);
            // Repaint at each whole percent, not for each file of a large folder.
            const int percent = static_cast<int>(int64_t{ProgressDone} * 100 / ProgressTotal);
            if (percent != shownPercent) {
                shownPercent = percent;
                Port.Refresh();
            }
        }
        if (!unreadable.empty()) {
            FilesListBox.Visible = true;
            ProgressDone = ProgressTotal = 0;
            BusyCursor = oldCursor;
            lblInputFolder.Caption = InputFolder;
            Port.Refresh();
            Port.ShowMessage(std::string(kUnreadableText) + unreadable);
        }
    } catch (...) {
        FilesListBox.Visible = true;
        BusyCursor = oldCursor;
        ProgressDone = ProgressTotal = 0;
        lblInputFolder.Caption = InputFolder;
        throw;
    }
    FilesListBox.Visible = true;
    ProgressDone = ProgressTotal = 0;
    BusyCursor = oldCursor;
    lblInputFolder.Caption = InputFolder;
    if (TrackList.empty())
        EmptyListHint = "В папке " + InputFolder + " нет MP3 файлов";
    Port.Refresh();
}

void TMainModel::ScanFolder(const std::string& folder, std::vector<std::string>& list) {
    std::string scanDir = folder;
    if (scanDir.empty() || scanDir.back() != '/')
        scanDir += '/';
    std::vector<TDirEntry> entries;
    ScannedSizes.clear();
    LeftoversSeen = false;
    if (!Fs.ListDir(scanDir, entries))
        return;
    for (const TDirEntry& entry : entries) {
        if (entry.Hidden && ParseOwnName(entry.Name).Pid != 0)
            LeftoversSeen = true;
        // Hidden entries and anything that is neither a file nor a folder are skipped.
        if (entry.Hidden || entry.Type == TDirEntry::Kind::Other)
            continue;
        if (entry.Name == "." || entry.Name == "..")
            continue;
        if (entry.Type == TDirEntry::Kind::Directory) {
            Port.ProcessEvents();
            continue;
        }
        if (IsMp3Name(entry.Name)) {
            list.push_back(scanDir + entry.Name);
            ScannedSizes.push_back(entry.Size);
            Port.ProcessEvents();
        }
    }
}

void TMainModel::RebuildList() {
    const std::string folder = InputFolder;
    FileMenuNewClick();
    InputFolder = folder;
    FileListFill(InputFolder);
}

// ---- Current track ----

void TMainModel::FilesListBoxClick() {
    AskToSaveEdits();
    const int index = FilesListBox.ItemIndex;
    if (index < 0 || static_cast<size_t>(index) >= TrackList.size())
        return;
    AnalyseSelectedTrack();
    // The analysis's size is the file's (-1 at 2 GiB or more, as the list counts it).
    CurrentFileSizeLabel.Caption = std::to_string(AudioInfo.FileSize);
    UpdatingEdits = true;
    ShowFileInfo();
    UpdatingEdits = false;
    TagsModified = false;
    InfoFileNameRed = false;
}

void TMainModel::AnalyseSelectedTrack() {
    const std::string& name = TrackList[static_cast<size_t>(FilesListBox.ItemIndex)];
    InfoFileName.Caption = name;
    WorkingPath = JoinPath(InputFolder, name);
    try {
        Fs.LoadAudioInfo(WorkingPath, AudioInfo);
    } catch (...) {
        // The file is not shown: nothing of the previous file may stay current in its place.
        ClearCurrentTrackDisplay();
        throw;
    }
}

void TMainModel::TimeCurrentTrack() {
    AnalyseSelectedTrack();
    // Showing a file without a tag empties the kept edits too, and the files after it keep
    // that: it is the one part of showing a file that outlives the next file's showing.
    if (!AudioInfo.ID3v1.Exists) {
        UpdatingEdits = true;
        for (const TTagFieldInfo& field : TagFields())
            ShowField(field, nullptr);
        UpdatingEdits = false;
    }
    lblDuration.Caption =
        AudioInfo.FrameHdr.Valid ? DurationText(AudioInfo.Duration) : std::string("0:00:00");
}

void TMainModel::AskToSaveEdits() {
    if (!TagsModified)
        return;
    Port.Refresh();
    const std::string question = "Содержимое ID3v1 тегов файла " + InfoFileName.Caption +
                                 " было изменено" + "\r" + "Сохранить изменения?";
    if (Port.AskYesNo(question) && !InfoFileName.Caption.empty()) {
        const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
        ApplyEditsToTag();
        SaveTag(CurrentPath());
    }
}

void TMainModel::ClearCurrentTrackDisplay() {
    const bool updating = UpdatingEdits;
    UpdatingEdits = true;
    // Nothing was read, so no tag text may stay on show; the kept fields are the user's own
    // values for the next file and stay.
    for (const TTagFieldInfo& field : TagFields()) {
        if (!FieldKeep(field.Field).Checked)
            ShowField(field, nullptr);
    }
    UpdatingEdits = updating;
    InfoFileName.Caption.clear();
    InfoFileNameRed = false;
    CurrentFileSizeLabel.Caption.assign(1, '0');
    for (TLabel* label : {&lblId3Status, &lblID3v2Status, &lblMpegVersion, &lblDuration,
                          &lblMpegParam, &lblMpegFlags, &lblMpegInternal}) {
        label->Caption.clear();
    }
    ID3v2Details.clear();
    TagsModified = false;
    AudioInfo.Clear();
}

void TMainModel::edTitleChange() {
    if (!UpdatingEdits)
        TagsModified = true;
    InfoFileNameRed = TagsModified;
}

void TMainModel::ShowFileInfo() {
    const TFileInfoSummary s = SummarizeFileInfo(AudioInfo);
    lblId3Status.Caption = s.lblId3Status;
    lblID3v2Status.Caption = AudioInfo.ID3v2FieldsRead || !AudioInfo.ID3v2.Present
                                 ? ID3v2Status(AudioInfo.ID3v2)
                                 : "ID3v2." + std::to_string(AudioInfo.ID3v2.Major);
    ID3v2Details = AudioInfo.ID3v2FieldsRead ? ID3v2Fields(AudioInfo.ID3v2) : std::string();
    // A file without a tag empties every edit, the kept ones too.
    for (const TTagFieldInfo& field : TagFields()) {
        if (!s.HasTag)
            ShowField(field, nullptr);
        else if (!FieldKeep(field.Field).Checked)
            ShowField(field, &s);
    }
    lblDuration.Caption = s.lblDuration;
    lblMpegVersion.Caption = s.lblMpegVersion;
    lblMpegFlags.Caption = s.lblMpegFlags;
    lblMpegParam.Caption = s.lblMpegParam;
    lblMpegInternal.Caption = s.lblMpegInternal;
}

void TMainModel::ShowField(const TTagFieldInfo& field, const TFileInfoSummary* shown) {
    switch (field.Field) {
        case TTagField::Genre:
            SelectGenre(shown ? shown->GenreCode : 255);
            break;
        case TTagField::Track:
            SetTrackText(std::to_string(shown ? shown->Track : 0));
            break;
        default:
            SetEditText(FieldEdit(field.Field),
                        shown ? Cp1251ToUtf8(shown->*field.ShownText) : std::string());
    }
}

void TMainModel::SelectGenre(int32_t code) {
    int index = -1;
    for (size_t i = 0; i < edGenre.Items.size(); ++i) {
        if (edGenre.Items[i].Code == code) {
            index = static_cast<int>(i);
            break;
        }
    }
    SetGenreIndex(index);
}

void TMainModel::ApplyEditsToTag() {
    TID3v1Tag& tag = AudioInfo.ID3v1;
    for (const TTagFieldInfo& field : TagFields()) {
        switch (field.Field) {
            case TTagField::Genre:
                // Only a selected entry gives a code: typed text that names none leaves it.
                if (edGenre.ItemIndex >= 0 &&
                    static_cast<size_t>(edGenre.ItemIndex) < edGenre.Items.size()) {
                    tag.SetGenre(edGenre.Items[static_cast<size_t>(edGenre.ItemIndex)].Code);
                }
                break;
            case TTagField::Track:
                tag.SetTrack(SpinValue(edTrack.Text, 0));
                break;
            default:
                tag.SetField(field.TextKind, Utf8ToCp1251(FieldEdit(field.Field).Text));
        }
    }
}

void TMainModel::SetEditText(TEdit& edit, const std::string& text) {
    if (edit.Text == text)
        return;
    edit.Text = text;
    edTitleChange();
}

void TMainModel::SetTrackText(const std::string& text) {
    if (edTrack.Text == text)
        return;
    edTrack.Text = text;
    edTitleChange();
}

void TMainModel::SetGenreIndex(int index) {
    if (index < 0 || static_cast<size_t>(index) >= edGenre.Items.size())
        index = -1;
    const std::string text =
        index < 0 ? std::string() : edGenre.Items[static_cast<size_t>(index)].Name;
    const bool changed = text != edGenre.Text;
    edGenre.ItemIndex = index;
    edGenre.Text = text;
    if (changed)
        edTitleChange();
}

void TMainModel::SetGenreText(const std::string& text) {
    int index = -1;
    for (size_t i = 0; i < edGenre.Items.size(); ++i) {
        if (edGenre.Items[i].Name == text) {
            index = static_cast<int>(i);
            break;
        }
    }
    const bool changed = text != edGenre.Text;
    edGenre.ItemIndex = index;
    edGenre.Text = text;
    if (changed)
        edTitleChange();
}

void TMainModel::SelectTrack(int index) {
    FilesListBox.ItemIndex =
        index >= 0 && static_cast<size_t>(index) < TrackList.size() ? index : -1;
}

// ---- Track order ----

void TMainModel::bt_UpClick() {
    const int p = FilesListBox.ItemIndex;
    if (p <= 0 || static_cast<size_t>(p) >= TrackList.size())
        return;
    std::swap(TrackList[static_cast<size_t>(p) - 1], TrackList[static_cast<size_t>(p)]);
    SelectTrack(p - 1);
}

void TMainModel::BitBtn1Click() {
    const int p = FilesListBox.ItemIndex;
    if (p < 0 || static_cast<size_t>(p) + 1 >= TrackList.size())
        return;
    std::swap(TrackList[static_cast<size_t>(p)], TrackList[static_cast<size_t>(p) + 1]);
    SelectTrack(p + 1);
}

void TMainModel::BitBtn2Click() {
    // The order of the folder listing.
    SortNames(TrackList);
}

void TMainModel::btMixClick() {
    if (TrackList.size() < 2)
        return;
    uint32_t seed = SeedSource ? SeedSource() : ClockSeed();
    std::vector<std::string> pool = TrackList;
    std::vector<std::string> result;
    result.reserve(pool.size());
    while (!pool.empty()) {
        const auto size = static_cast<uint32_t>(pool.size());
        const uint32_t r = NextRandom(seed, 2 * size);
        if (r > size - 1)
            continue;
        result.push_back(std::move(pool[r]));
        pool.erase(pool.begin() + r);
    }
    TrackList = std::move(result);
    SelectTrack(0);
    FilesListBoxClick();
}

// ---- Saving the tag ----

void TMainModel::btnSaveID3Click() {
    if (InfoFileName.Caption.empty())
        return;
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    ApplyEditsToTag();
    const std::string path = CurrentPath();
    if (!SaveTag(path))
        return;
    if (Sink->OneRun())
        NoteCutFields(path);
    TagsModified = false;
    InfoFileNameRed = false;
    ShowFileInfo();
}

bool TMainModel::SaveTag(const std::string& path) {
    if (!MayWrite(path))
        return false;
    // Taken before the save: SaveID3v1 may change the tag it is given.
    const std::string block = Sink->SaveDetail(AudioInfo.ID3v1);
    try {
        // The tag comes back as the file now holds it.
        Fs.SaveID3v1(path, AudioInfo.ID3v1, AudioInfo.Identity);
    } catch (const EChangedMeanwhile&) {
        // Another program wrote the file since it was read: nothing was written, and the batch
        // goes on with the next file.
        if (!Sink->TakeChangedMeanwhile(
                path, "файл изменён другой программой после чтения: тег не записан"))
            throw;
        return false;
    }
    Sink->Note(TBatchEvent::TKind::Save, path, "", block);
    return true;
}

void TMainModel::NoteCutFields(const std::string& path) {
    const TFileInfoSummary saved = SummarizeFileInfo(AudioInfo);
    for (const TTagFieldInfo& field : TagFields()) {
        if (field.ShownText == nullptr)
            continue;
        const std::string typed = Utf8ToCp1251(FieldEdit(field.Field).Text);
        const std::string& kept = saved.*field.ShownText;
        if (typed != kept) {
            FieldsCutBySave.push_back(field.Field);
            std::string name = field.Caption;
            name.pop_back();  // the caption's ":"
            Sink->Note(TBatchEvent::TKind::Warn, path, "",
                       "текст поля «" + name + "» обрезан до " +
                           CountOf(static_cast<int64_t>(kept.size()), "байта", "байт", "байт") +
                           " тега");
        }
    }
}

// ---- ID3v2 ----

void TMainModel::btnFromID3v2Click() {
    TakeFromID3v2(false);
}

std::vector<TTagField> TMainModel::TakeFromID3v2(bool repairOnly) {
    std::vector<TTagField> taken;
    const TID3v2Info& tag = AudioInfo.ID3v2;
    if (InfoFileName.Caption.empty() || !tag.Present || tag.Damaged)
        return taken;
    const TID3v1Tag& v1 = AudioInfo.ID3v1;
    // Each field the tag holds replaces its edit, unless the edit is kept; a field the tag does
    // not hold leaves its edit as it is.
    for (const TTagFieldInfo& field : TagFields()) {
        const TID3v2Text& value = tag.*field.ID3v2Text;
        if (value.Empty() || FieldKeep(field.Field).Checked)
            continue;
        const std::string text = DecodeID3v2Text(value);
        if (repairOnly && v1.Exists) {
            // A faithful ID3v1 field, or the user's own text, stays.
            const bool missing = field.Field == TTagField::Genre
                                     ? ID3Genres().NameOf(v1.GenreCode).empty()
                                 : field.Field == TTagField::Track ? v1.Track == 0
                                                                   : (v1.*field.V1Text).empty();
            if (!missing && (field.V1Text == nullptr || !IsDamagedField(v1.*field.V1Text, text)))
                continue;
        }
        if (field.Field == TTagField::Genre) {
            SelectGenreByName(text);
        } else if (field.Field == TTagField::Track) {
            SetTrackText(std::to_string(TrackNumberOf(text)));
        } else {
            SetEditText(FieldEdit(field.Field), text);
        }
        taken.push_back(field.Field);
    }
    return taken;
}

void TMainModel::btnFromNameClick() {
    TakeFromName();
}

void TMainModel::TakeFromName() {
    if (InfoFileName.Caption.empty())
        return;
    const std::string& name = InfoFileName.Caption;
    const size_t dot = name.rfind('.');
    const auto tags =
        TagsFromName(dot == std::string::npos ? name : name.substr(0, dot), NamePattern);
    if (!tags) {
        Sink->Note(TBatchEvent::TKind::Warn, CurrentPath(), "",
                   NamePattern.empty() ? "в имени файла нет ни названия, ни исполнителя"
                                       : "имя файла не подходит к образцу «" + NamePattern + "»");
        return;
    }
    const TID3v1Tag& v1 = AudioInfo.ID3v1;
    std::string got;
    for (TTagField field : kEditorRowOrder) {
        const TTagFieldInfo& info = TagFieldInfo(field);
        const std::string value = field == TTagField::Title    ? tags->Title
                                  : field == TTagField::Artist ? tags->Artist
                                  : field == TTagField::Album  ? tags->Album
                                  : field == TTagField::Year   ? tags->Year
                                  : field == TTagField::Track  ? tags->Track
                                                               : "";
        if (value.empty() || FieldKeep(field).Checked)
            continue;
        // An empty edit, or one still showing a damaged field of the file's ID3v1 tag.
        const std::string& shown = FieldEdit(field).Text;
        const bool empty = shown.empty() || (field == TTagField::Track && shown == "0");
        const bool damaged =
            info.V1Text != nullptr && v1.Exists &&
            IsDamagedField(v1.*info.V1Text, DecodeID3v2Text(AudioInfo.ID3v2.*info.ID3v2Text)) &&
            shown == Cp1251ToUtf8(v1.*info.V1Text);
        if (!empty && !damaged)
            continue;
        if (field == TTagField::Track)
            SetTrackText(value);
        else
            SetEditText(FieldEdit(field), value);
        std::string caption = info.Caption;
        caption.pop_back();  // the caption's ":"
        got += (got.empty() ? "" : ", ") + caption + " «" + value + "»";
    }
    if (!got.empty())
        Sink->Note(TBatchEvent::TKind::FromName, CurrentPath(), "", got);
}

bool TMainModel::ID3v2MayChange(const std::string& path) {
    const TID3v2Info& tag = AudioInfo.ID3v2;
    if (InfoFileName.Caption.empty() || !tag.Present)
        return false;
    if (tag.Size <= 0) {
        // Its size runs past the end of the file: where the audio begins is unknown.
        Sink->Refuse(TBatchEvent::TKind::Warn, path,
                     "тег ID3v2 повреждён (его размер больше файла): не удалён",
                     "ID3v2 тег файла " + InfoFileName.Caption +
                         " повреждён: его размер больше файла. Тег не удалён.");
        return false;
    }
    return MayWrite(path);
}

bool TMainModel::StripCurrentID3v2() {
    if (!TextsOnlyInID3v2(AudioInfo.ID3v2, AudioInfo.ID3v1, FieldsCutBySave).empty())
        return SlimCurrentID3v2();
    return DropCurrentID3v2();
}

bool TMainModel::DropCurrentID3v2() {
    const TID3v2Info& tag = AudioInfo.ID3v2;
    const std::string path = CurrentPath();
    if (!ID3v2MayChange(path))
        return false;
    const TMoveResult done =
        Fs.DropFilePrefix(path, tag.Size, AudioInfo.Identity, AudioInfo.ID3v2Head);
    if (!done.Ok && done.Error == ESTALE) {
        // Another program changed the file since it was read: it is left as it is.
        Sink->Refuse(TBatchEvent::TKind::Fail, path,
                     "файл изменён другой программой после чтения: ID3v2 не удалён",
                     ChangedMeanwhileText(path));
        return false;
    }
    if (!done.Ok)
        throw EStreamError(CannotCreateText(path, std::strerror(done.Error)));
    Sink->Note(TBatchEvent::TKind::Strip, path, "", std::to_string(tag.Size));
    return true;
}

bool TMainModel::SlimCurrentID3v2() {
    const TID3v2Info& tag = AudioInfo.ID3v2;
    const std::string path = CurrentPath();
    if (!ID3v2MayChange(path))
        return false;
    const auto refuse = [&](const std::string& why) {
        Sink->Refuse(TBatchEvent::TKind::Warn, path,
                     "ID3v2 не удалён и не уменьшен: " + why +
                         "; тексты, которых нет в ID3v1, остались в нём",
                     "ID3v2 тег файла " + InfoFileName.Caption + " не уменьшен: " + why + ".");
        return false;
    };
    if (tag.Damaged)
        return refuse("тег ID3v2 повреждён");
    // The old tag is read whole to be compared right before the rewrite: within reason.
    if (tag.Size > 64 * 1024 * 1024)
        return refuse("тег ID3v2 больше 64 МБ");
    const std::string old = Fs.ReadFilePrefix(path, tag.Size);
    if (static_cast<int64_t>(old.size()) != tag.Size || !old.starts_with(AudioInfo.ID3v2Head))
        return refuse("файл изменён после чтения");
    const TSlimID3v2 slim = SlimID3v2(old);
    if (slim.Bytes.empty())
        return refuse(slim.Refusal);
    if (slim.Bytes.size() >= old.size()) {
        // Texts alone already, as small as they come: the tag stays as it is.
        const std::string words =
            JoinWords(TextsOnlyInID3v2(AudioInfo.ID3v2, AudioInfo.ID3v1, FieldsCutBySave));
        Sink->Refuse(TBatchEvent::TKind::Warn, path,
                     "ID3v2 оставлен как есть: в нём одни тексты, и в ID3v1 нет полей: " + words,
                     "ID3v2 тег файла " + InfoFileName.Caption +
                         " оставлен как есть: в нём одни тексты, и в ID3v1 нет полей: " + words +
                         ".");
        return false;
    }
    const TMoveResult done = Fs.ReplaceFilePrefix(path, AudioInfo.Identity, old, slim.Bytes);
    if (!done.Ok && done.Error == ESTALE) {
        Sink->Refuse(TBatchEvent::TKind::Fail, path,
                     "файл изменён другой программой после чтения: ID3v2 не уменьшен",
                     ChangedMeanwhileText(path));
        return false;
    }
    if (!done.Ok)
        throw EStreamError(CannotCreateText(path, std::strerror(done.Error)));
    Sink->Note(TBatchEvent::TKind::Slim, path, "",
               std::to_string(old.size()) + " " + std::to_string(slim.Bytes.size()) + " " +
                   std::to_string(tag.Pictures));
    return true;
}

void TMainModel::btnStripID3v2Click() {
    const TID3v2Info& tag = AudioInfo.ID3v2;
    if (InfoFileName.Caption.empty() || !tag.Present)
        return;
    // What goes is named first; the change waits for a Yes. Where the ID3v1 tag does not hold a
    // text of the ID3v2 tag, the slim form is offered instead: no text is thrown away.
    const std::string name = InfoFileName.Caption;
    const std::vector<std::string> lost = TextsOnlyInID3v2(tag, AudioInfo.ID3v1);
    std::string pictures;
    if (tag.Pictures > 0)
        pictures =
            (tag.Pictures == 1 ? "обложка " : "картинок " + std::to_string(tag.Pictures) + ", ") +
            std::to_string(RoundKilobytes(tag.PictureBytes)) + " КБ";
    if (!tag.Damaged && tag.Size > 0) {
        std::string question;
        if (lost.empty()) {
            std::vector<TTagField> present;
            for (const TTagFieldInfo& field : TagFields())
                if (!(tag.*field.ID3v2Text).Empty())
                    present.push_back(field.Field);
            std::string gone = FieldNouns(present);
            if (!pictures.empty())
                gone += (gone.empty() ? "" : ", ") + pictures;
            question = "Будут удалены из файла " + name + ": " +
                       (gone.empty() ? "пустой тег ID3v2" : gone) + ". Удалить?";
        } else {
            question =
                "В теге ID3v2 файла " + name +
                " есть то, чего нет в теге ID3v1: " + JoinWords(lost) +
                ". Удалив тег целиком, вы потеряете эти тексты. " +
                "Уменьшить ID3v2 вместо этого: удалить " +
                (tag.Pictures == 0   ? std::string()
                 : tag.Pictures == 1 ? "обложку ("
                                     : "картинки (" + std::to_string(tag.Pictures) + ", ") +
                (tag.Pictures == 0 ? ""
                                   : std::to_string(RoundKilobytes(tag.PictureBytes)) + " КБ) и ") +
                "всё, кроме текстов, а тексты сохранить?";
        }
        if (!Port.AskBeforeLoss(question))
            return;
    }
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    if (!(lost.empty() ? DropCurrentID3v2() : SlimCurrentID3v2()))
        return;
    // The list and the current file are read again; the file stays current.
    RebuildList();
    const auto it = std::find(TrackList.begin(), TrackList.end(), name);
    SelectTrack(it == TrackList.end() ? 0 : static_cast<int>(it - TrackList.begin()));
    FilesListBoxClick();
}

void TMainModel::SelectGenreByName(const std::string& name) {
    SelectGenre(GenreCodeByName(name));
}

// ---- Controls set as a click sets them ----

void TMainModel::SetBox(TCheckBox& box, bool on) {
    if (&box == &rbNum || &box == &rbFileName) {
        ChooseFolderNaming((&box == &rbNum) == on);
        return;
    }
    for (const TTagFieldInfo& field : TagFields()) {
        if (&box == &FieldKeep(field.Field)) {
            box.Checked = on;
            KeepClick(field.Field);
            return;
        }
    }
    using TRule = void (TMainModel::*)();
    static const std::pair<TCheckBox TMainModelState::*, TRule> kRules[] = {
        {&TMainModelState::cbSplitTrack, &TMainModel::cbSplitTrackClick},
        {&TMainModelState::cbSplitArtist, &TMainModel::cbSplitTrackClick},
        {&TMainModelState::cbSplitTitle, &TMainModel::cbSplitTrackClick},
        {&TMainModelState::cbAddTrack, &TMainModel::cbAddTrackClick},
        {&TMainModelState::cbAddArtist, &TMainModel::cbAddTrackClick},
        {&TMainModelState::cbAddTitle, &TMainModel::cbAddTrackClick},
        {&TMainModelState::cbAllFilesTrans, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesSplit, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesSaveID3, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesRename, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesMoveToDir, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesFromID3v2, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesStripID3v2, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesFromName, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbAllFilesConvert, &TMainModel::cbAllFilesTransClick},
        {&TMainModelState::cbRenameMoveOneTime, &TMainModel::cbAllFilesTransClick},
    };
    box.Checked = on;
    for (const auto& [member, rule] : kRules) {
        if (&(this->*member) == &box) {
            (this->*rule)();
            return;
        }
    }
}

void TMainModel::ChooseFolderNaming(bool numbered) {
    rbNum.Checked = numbered;
    rbFileName.Checked = !numbered;
    rbNumClick();
}

TBatchOptionsProblem CheckBatchOptions(const TBatchOptions& o) {
    if (o.AtOnce && !(o.Rename && o.Numbered))
        return TBatchOptionsProblem::AtOnceNeedsRenameAndFolders;
    if (!o.Translit && !o.Merge && !o.Rename && !o.Numbered && !o.FromID3v2 && !o.StripID3v2 &&
        !o.Convert && !o.FromName)
        return TBatchOptionsProblem::NothingToDo;
    if (!o.NamePattern.empty() && !CheckNamePattern(o.NamePattern).empty())
        return TBatchOptionsProblem::BadNamePattern;
    return TBatchOptionsProblem::None;
}

void TMainModel::ApplyBatchOptions(const TBatchOptions& o) {
    if (!o.Table.empty())
        LoadTranslitTableFile(TranslitTable, Fs, o.Table);
    if (o.Separator)
        edtSeparateSymbol.Text = *o.Separator;
    if (o.Replace)
        edtReplaceSymbol.Text = *o.Replace;
    if (o.Merge) {
        SetBox(cbSplitTrack, o.Merge->Track);
        SetBox(cbSplitArtist, o.Merge->Artist);
        SetBox(cbSplitTitle, o.Merge->Title);
        SetBox(cbAllFilesSplit, true);
    }
    if (o.Rename) {
        SetBox(cbAddTrack, o.Rename->Track);
        SetBox(cbAddArtist, o.Rename->Artist);
        SetBox(cbAddTitle, o.Rename->Title);
        SetBox(cbAllFilesRename, true);
    }
    if (o.Translit)
        SetBox(cbAllFilesTrans, true);
    if (o.FromID3v2)
        SetBox(cbAllFilesFromID3v2, true);
    if (o.StripID3v2)
        SetBox(cbAllFilesStripID3v2, true);
    if (o.FromName) {
        NamePattern = o.NamePattern;
        SetBox(cbAllFilesFromName, true);
    }
    if (o.Convert)
        SetBox(cbAllFilesConvert, true);
    if (o.Numbered) {
        ChooseFolderNaming(*o.Numbered);
        SetBox(cbAllFilesMoveToDir, true);
    }
    if (o.FirstNumber)
        SetNumDir(*o.FirstNumber);
    if (o.AtOnce)
        SetBox(cbRenameMoveOneTime, true);
    for (const auto& [field, text] : o.Set) {
        if (field == TTagField::Genre)
            SetGenreText(text);
        else if (field == TTagField::Track)
            SetTrackText(text);
        else
            SetEditText(FieldEdit(field), text);
        SetBox(FieldKeep(field), true);
    }
}

// ---- The folder as the boundary ----

bool TMainModel::MayWrite(const std::string& path) {
    if (!Fs.Within(InputFolder, path)) {
        Sink->Refuse(
            TBatchEvent::TKind::Fail, path, "ссылка на файл вне папки: файл не изменён",
            "Файл " + NameOf(path) + " — ссылка на файл вне открытой папки: Velmora его не меняет");
        return false;
    }
    // A file with other names (hard links) is as much a file of those names, perhaps outside
    // the folder (a library copied with cp -al): the batch leaves it, the window asks.
    const uint32_t names = AudioInfo.Links;
    if (names <= 1)
        return true;
    return Sink->AskOrRefuse(TBatchEvent::TKind::Fail, path,
                             "у файла есть другие имена (жёсткие ссылки, всего " +
                                 std::to_string(names) + "): файл не изменён",
                             "У файла " + NameOf(path) +
                                 " есть другие имена (жёсткие ссылки, всего " +
                                 std::to_string(names) +
                                 "), возможно вне открытой папки: изменение будет видно и под "
                                 "ними. Изменить файл?");
}

// ---- Shell ----

void TMainModel::SetupMenuTransSetClick() {
    Port.ShowTranslitSetup();
}

void TMainModel::HelpMenuAboutClick() {
    Port.ShowAbout();
}

}  // namespace velmora
