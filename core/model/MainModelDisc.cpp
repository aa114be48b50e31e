// The disc commands of the window: the check of the opened folder, the writing of its image and
// track list (core/model/DiscJob.h), and the burn when the program burns (EnableBurning in
// core/model/BurnCommands.h), and the copy onto a USB stick (core/model/StickJob.h).
#include "core/model/DiscJob.h"
#include "core/model/MainModel.h"
#include "core/model/StickJob.h"

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

void TMainModel::ConvertMenuStickClick() {
    if (!FolderOpenForDisc())
        return;
    TStickJob job(Port, Fs, DiscChoice, OpenedFolder);
    job.Kbps = ConvertKbps;  // the bitrate chosen for the conversion, if it was
    const TStickOutcome outcome = job.Write(InputFolder);
    if (outcome.Kind == TStickOutcome::EKind::Done ||
        outcome.Kind == TStickOutcome::EKind::Cancelled)
        Port.ShowMessage(outcome.Message);
    else if (outcome.Kind != TStickOutcome::EKind::Stopped)
        Port.ShowError(outcome.Message);
}

}  // namespace velmora
