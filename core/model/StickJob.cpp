#include "core/model/StickJob.h"

#include "core/files/FolderLock.h"
#include "core/model/DiscJob.h"
#include "core/stick/StickWrite.h"

namespace velmora {

TStickOutcome TStickJob::Write(const std::string& folder, std::string target) {
    using EKind = TStickOutcome::EKind;
    if (target.empty()) {
        const auto chosen = Port.AskStickTarget();
        if (!chosen)
            return {};
        target = *chosen;
    }
    // Another copy of the program may not move files while they are copied.
    const TFolderLock lock(Fs, folder, TFolderLock::EMode::Require, Opened);
    const TStickPlan plan = PlanStick(Fs, folder, target, ProfileOf(Choice), Probe(target));
    if (!Port.ShowStickPlan(plan))
        return {};
    if (const std::string why = StickRefusal(plan); !why.empty())
        return {EKind::Refused, "На флешку ничего не записано: " + why};
    if (const std::string warning = StickVolumeWarning(plan.Volume);
        !warning.empty() && !Port.AskYesNo(warning + ".\r\rЗаписать на эту флешку?"))
        return {EKind::Stopped, "На флешку ничего не записано.\r" + warning};
    TStickResult result;
    {
        const TProgressShown shown(Port, "Запись на флешку");
        result = WriteStick(
            plan, [this](const TProgress& progress) { return Port.StepProgress(progress); }, *Sys);
    }
    switch (result.Kind) {
        case TStickResult::EKind::Done:
            return {EKind::Done, result.Message, result.Folder};
        case TStickResult::EKind::Differs:
            return {EKind::Failed, result.Message, result.Folder};
        case TStickResult::EKind::Cancelled:
            return {EKind::Cancelled, result.Message, result.Folder};
        case TStickResult::EKind::Failed:
            break;
    }
    return {EKind::Failed, result.Message, ""};
}

}  // namespace velmora
