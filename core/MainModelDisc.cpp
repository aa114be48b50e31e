// The disc commands of the window: the check of the opened folder and the writing of its image
// and track list.
#include "core/DiscImage.h"
#include "core/MainModel.h"

namespace velmora {
namespace {

constexpr const char* kNoFolder = "Сначала откройте папку с MP3 файлами";

}  // namespace

void TMainModel::ConvertMenuDiscCheckClick() {
    if (InputFolder.empty()) {
        Port.ShowMessage(kNoFolder);
        return;
    }
    const TUserPort::TDiscRecheck recheck = [this](const TDiscChoice& choice) {
        return CheckDisc(Fs, InputFolder, ProfileOf(choice));
    };
    TDiscCheck check = recheck(DiscChoice);
    Port.ShowDiscCheck(check, false, DiscChoice, recheck);
}

void TMainModel::ConvertMenuDiscImageClick() {
    if (InputFolder.empty()) {
        Port.ShowMessage(kNoFolder);
        return;
    }
    // Another copy of the program may not move files under the image while it is made.
    TFolderGuard guard(*this);
    const TUserPort::TDiscRecheck recheck = [this](const TDiscChoice& choice) {
        return CheckDisc(Fs, InputFolder, ProfileOf(choice));
    };
    TDiscCheck check = recheck(DiscChoice);
    if (!Port.ShowDiscCheck(check, true, DiscChoice, recheck))
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
