// The disc commands of the window: the check of the opened folder and the writing of its image
// and track list.
#include "core/disc/DiscImage.h"
#include "core/model/MainModel.h"

namespace velmora {
namespace {

constexpr const char* kNoFolder = "Сначала откройте папку с MP3 файлами";

}  // namespace

bool TMainModel::FolderOpenForDisc() {
    if (InputFolder.empty())
        Port.ShowMessage(kNoFolder);
    return !InputFolder.empty();
}

bool TMainModel::ShowFolderDiscCheck(bool beforeImage, TDiscCheck& check) {
    const TUserPort::TDiscRecheck recheck = [this](const TDiscChoice& choice) {
        return CheckDisc(Fs, InputFolder, ProfileOf(choice));
    };
    check = recheck(DiscChoice);
    return Port.ShowDiscCheck(check, beforeImage, DiscChoice, recheck);
}

void TMainModel::ConvertMenuDiscCheckClick() {
    TDiscCheck check;
    if (FolderOpenForDisc())
        ShowFolderDiscCheck(false, check);
}

void TMainModel::ConvertMenuDiscImageClick() {
    if (!FolderOpenForDisc())
        return;
    // Another copy of the program may not move files under the image while it is made.
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    TDiscCheck check;
    if (!ShowFolderDiscCheck(true, check))
        return;
    if (check.HasFatal()) {
        Port.ShowError(WriteDiscImage(check, "", false, nullptr).Message);
        return;
    }
    const auto target =
        Port.AskImageFile(JoinPath(ParentOf(NormalPath(InputFolder)), check.VolumeId + ".iso"));
    if (!target)
        return;
    Port.BeginProgress("Запись образа диска");
    const TDiscImageResult result = WriteDiscImage(
        check, target->Path, target->Replace,
        [this](int64_t done, int64_t total) { return Port.StepProgress(done, total); });
    Port.EndProgress();
    if (result.Cancelled) {
        Port.ShowMessage(result.Message);
        return;
    }
    if (!result.Ok) {
        Port.ShowError(result.Message);
        return;
    }
    std::string message = "Образ диска записан: " + target->Path;
    if (DiscChoice.TrackList) {
        const std::string list = TrackListPathFor(target->Path);
        // The list beside an image the user agreed to replace is that image's old list.
        const bool replace = target->Replace || (Fs.FileExists(list) &&
                                                 Port.AskYesNo("Файл " + list +
                                                               " уже есть. Заменить его списком "
                                                               "треков диска?"));
        const std::string why = WriteDiscTrackList(check, list, replace);
        message += why.empty() ? "\rСписок треков: " + list : "\r" + why;
    }
    if (OnImageWritten)
        OnImageWritten(target->Path, message);
    else
        Port.ShowMessage(message);
}

}  // namespace velmora
