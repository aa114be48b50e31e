// The disc commands of the window: the check of the opened folder and the writing of its image.
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
    Port.ShowDiscCheck(CheckDisc(Fs, InputFolder, DiscProfiles().front()));
}

void TMainModel::ConvertMenuDiscImageClick() {
    if (InputFolder.empty()) {
        Port.ShowMessage(kNoFolder);
        return;
    }
    const TDiscCheck check = CheckDisc(Fs, InputFolder, DiscProfiles().front());
    if (check.HasFatal()) {
        Port.ShowDiscCheck(check);
        Port.ShowError(WriteDiscImage(check, "", false, nullptr).Message);
        return;
    }
    if ((!check.Problems.empty() || !RenamedDiscEntries(check).empty()) &&
        !Port.ConfirmDiscImage(check))
        return;
    const auto target =
        Port.AskImageFile(JoinPath(ParentOf(NormalPath(InputFolder)), check.VolumeId + ".iso"));
    if (!target)
        return;
    Port.BeginProgress("Запись образа диска");
    const TDiscImageResult result = WriteDiscImage(
        check, target->Path, target->Replace,
        [this](int64_t done, int64_t total) { return Port.StepProgress(done, total); });
    Port.EndProgress();
    if (result.Ok && OnImageWritten)
        OnImageWritten(target->Path);
    else if (result.Ok)
        Port.ShowMessage("Образ диска записан: " + target->Path);
    else if (result.Cancelled)
        Port.ShowMessage(result.Message);
    else
        Port.ShowError(result.Message);
}

}  // namespace velmora
