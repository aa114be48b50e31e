#include "core/model/DiscJob.h"

#include "core/files/Paths.h"

namespace velmora {

TFolderHold::TFolderHold(TFileSystem& fs, const std::string& folder) : Fs(fs), Folder(folder) {
    if (!Fs.LockFolder(Folder))
        throw EStreamError("Папку " + Folder + " уже обрабатывает другая копия Velmora");
}

TFolderHold::~TFolderHold() {
    Fs.UnlockFolder(Folder);
}

TProgressShown::TProgressShown(TUserPort& port, const std::string& caption) : Port(port) {
    Port.BeginProgress(caption);
}

void TProgressShown::End() {
    if (Shown)
        Port.EndProgress();
    Shown = false;
}

TDiscCheck TDiscJob::ShowCheck(const std::string& folder, EDiscPurpose purpose, bool& goOn) {
    const TUserPort::TDiscRecheck recheck = [this, &folder](const TDiscChoice& choice) {
        return CheckDisc(Fs, folder, ProfileOf(choice));
    };
    TDiscCheck check = recheck(Choice);
    goOn = Port.ShowDiscCheck(check, purpose, Choice, recheck);
    return check;
}

TDiscOutcome TDiscJob::WriteImage(const std::string& folder) {
    using EKind = TDiscOutcome::EKind;
    TDiscOutcome outcome;
    // Another copy of the program may not move files under the image while it is made.
    const TFolderHold hold(Fs, folder);
    bool goOn = false;
    const TDiscCheck check = ShowCheck(folder, EDiscPurpose::Image, goOn);
    if (!goOn)
        return outcome;
    if (const std::string why = DiscRefusal(check); !why.empty())
        return {EKind::Refused, "Образ диска не записан: " + why};
    const auto target =
        Port.AskImageFile(JoinPath(ParentOf(NormalPath(folder)), check.VolumeId + ".iso"));
    if (!target)
        return outcome;
    TDiscImageResult result;
    {
        const TProgressShown shown(Port, "Запись образа диска");
        result = WriteDiscImage(
            check, target->Path, target->Replace, [this](int64_t done, int64_t total) {
                return Port.StepProgress({"image", "Запись образа диска", "", done, total});
            });
    }
    if (result.Cancelled)
        return {EKind::Cancelled, result.Message};
    if (!result.Ok)
        return {EKind::Failed, result.Message};
    outcome.Kind = EKind::Done;
    outcome.Image = target->Path;
    outcome.Message = "Образ диска записан: " + target->Path;
    const std::string list = !target->TrackList.empty() ? target->TrackList
                             : Choice.TrackList         ? TrackListPathFor(target->Path)
                                                        : std::string();
    if (list.empty())
        return outcome;
    // The list beside an image the user agreed to replace is that image's old list.
    const bool replace =
        target->Replace ||
        (Fs.FileExists(list) &&
         Port.AskYesNo("Файл " + list + " уже есть. Заменить его списком треков диска?"));
    outcome.TrackListProblem = WriteDiscTrackList(check, list, replace);
    if (outcome.TrackListProblem.empty()) {
        outcome.TrackList = list;
        outcome.Message += "\rСписок треков: " + list;
    } else {
        outcome.Message += "\r" + outcome.TrackListProblem;
    }
    return outcome;
}

}  // namespace velmora
