#include "core/model/DiscJob.h"

#include "core/disc/DiscSplit.h"
#include "core/files/FolderLock.h"
#include "core/files/Paths.h"
#include "core/text/TrackRules.h"

namespace velmora {

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

std::vector<TDiscCheck> TDiscJob::DiscsOf(const TDiscCheck& check, const std::string& what,
                                          std::string& refusal) const {
    refusal.clear();
    if (!Choice.Split) {
        if (const std::string why = DiscRefusal(check); !why.empty())
            refusal = what + ": " + why;
        return {check};
    }
    TDiscSplit split = SplitDisc(check);
    if (!split.Problem.empty())
        refusal = what + ": " + split.Problem;
    return std::move(split.Discs);
}

TDiscOutcome TDiscJob::WriteImage(const std::string& folder) {
    using EKind = TDiscOutcome::EKind;
    TDiscOutcome outcome;
    // Another copy of the program may not move files under the image while it is made.
    const TFolderLock lock(Fs, folder, TFolderLock::EMode::Require, Opened);
    bool goOn = false;
    const TDiscCheck check = ShowCheck(folder, EDiscPurpose::Image, goOn);
    if (!goOn)
        return outcome;
    std::string refusal;
    const std::vector<TDiscCheck> discs = DiscsOf(check, "Образ диска не записан", refusal);
    if (!refusal.empty())
        return {EKind::Refused, refusal};
    const auto target =
        Port.AskImageFile(JoinPath(ParentOf(NormalPath(folder)), check.VolumeId + ".iso"));
    if (!target)
        return outcome;
    const size_t count = discs.size();
    const auto nth = [count](const std::string& path, size_t n) {
        return count > 1 ? NumberedDiscPath(path, n + 1) : path;
    };
    const std::string list = !target->TrackList.empty() ? target->TrackList
                             : Choice.TrackList         ? TrackListPathFor(target->Path)
                                                        : std::string();
    // Several images: none is written over unless the user agreed to replace.
    for (size_t n = 0; count > 1 && !target->Replace && n < count; ++n)
        for (const std::string& path : {nth(target->Path, n), list.empty() ? "" : nth(list, n)})
            if (!path.empty() && Fs.EntrySize(path) >= 0)
                return {EKind::Refused, "Образ диска не записан: файл «" + path + "» уже есть"};
    outcome.Message = count > 1
                          ? "Папка разделена на " +
                                CountOf(static_cast<int64_t>(count), "диск", "диска", "дисков") +
                                " по порядку списка."
                          : "";
    for (size_t n = 0; n < count; ++n) {
        const std::string path = nth(target->Path, n);
        const std::string step = count > 1 ? "Запись образа диска " + std::to_string(n + 1) +
                                                 " из " + std::to_string(count)
                                           : "Запись образа диска";
        TDiscImageResult result;
        {
            const TProgressShown shown(Port, "Запись образа диска");
            result = WriteDiscImage(discs[n], path, target->Replace,
                                    [this, &step](int64_t done, int64_t total) {
                                        return Port.StepProgress({"image", step, "", done, total});
                                    });
        }
        if (result.Cancelled)
            return {EKind::Cancelled, result.Message};
        if (!result.Ok)
            return {EKind::Failed, result.Message};
        outcome.Images.push_back(path);
        outcome.VolumeIds.push_back(discs[n].VolumeId);
        outcome.Message +=
            std::string(outcome.Message.empty() ? "" : "\r") + "Образ диска записан: " + path;
        if (list.empty())
            continue;
        const std::string listPath = nth(list, n);
        // The list beside an image the user agreed to replace is that image's old list.
        const bool replace = target->Replace ||
                             (Fs.FileExists(listPath) &&
                              Port.AskBeforeLoss("Файл " + listPath +
                                                 " уже есть. Заменить его списком треков диска?"));
        const std::string why = WriteDiscTrackList(discs[n], listPath, replace);
        if (why.empty()) {
            outcome.TrackLists.push_back(listPath);
            outcome.Message += "\rСписок треков: " + listPath;
        } else {
            outcome.TrackListProblem = why;
            outcome.Message += "\r" + why;
        }
    }
    outcome.Kind = EKind::Done;
    return outcome;
}

}  // namespace velmora
