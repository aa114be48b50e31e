// The disc commands of the window: the check of the opened folder, the writing of its image and
// track list (core/model/DiscJob.h), and the burn when the program burns (EnableBurning in
// core/model/BurnCommands.h).
#include "core/model/DiscJob.h"
#include "core/model/MainModel.h"

namespace velmora {
namespace {

constexpr const char* kNoFolder = "Сначала откройте папку с MP3 файлами";

}  // namespace

bool TMainModel::FolderOpenForDisc() {
    if (DiscFolder().empty())
        Port.ShowMessage(kNoFolder);
    return !DiscFolder().empty();
}

void TMainModel::ConvertMenuDiscCheckClick() {
    bool goOn = false;
    if (FolderOpenForDisc())
        TDiscJob(Port, Fs, DiscChoice, OpenedFolder)
            .ShowCheck(DiscFolder(), EDiscPurpose::Check, goOn);
}

void TMainModel::ConvertMenuDiscImageClick() {
    if (!FolderOpenForDisc())
        return;
    const TDiscOutcome outcome =
        TDiscJob(Port, Fs, DiscChoice, OpenedFolder).WriteImage(DiscFolder());
    switch (outcome.Kind) {
        case TDiscOutcome::EKind::Stopped:
            return;
        case TDiscOutcome::EKind::Done:
            if (OnImageWritten)
                OnImageWritten(outcome.Images, outcome.Message);
            else
                Port.ShowMessage(outcome.Message);
            return;
        case TDiscOutcome::EKind::Cancelled:
            Port.ShowMessage(outcome.Message);
            return;
        default:
            Port.ShowError(outcome.Message);
    }
}

void TMainModel::ConvertMenuBurnClick() {
    if (!FolderOpenForDisc())
        return;
    if (OnBurnFolder)
        OnBurnFolder();
    else
        Port.ShowMessage(
            "Эта программа дисков не записывает: запишите образ диска другой программой");
}

}  // namespace velmora
