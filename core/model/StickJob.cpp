#include "core/model/StickJob.h"

#include "core/files/FolderLock.h"
#include "core/files/Module.h"
#include "core/model/ConvertLog.h"
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
    const TDiscProfile profile = ProfileOf(Choice);
    const TStickPlan plan = Plan(folder, target, profile);
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

TStickPlan TStickJob::Plan(const std::string& folder, const std::string& target,
                           const TDiscProfile& profile) {
    // The check runs over the folder with the conversion's new files in place already, so each
    // takes the place its MP3 would take in the list, under the name the list would give it.
    TConvertPlan convert;
    std::string missing;
    try {
        // Each file is probed by the decoder: the window's events go through meanwhile.
        convert = PlanConversion(Fs, folder, ConvertSettingsFor(profile, Kbps),
                                 [this](size_t, size_t) { Port.ProcessEvents(); });
    } catch (const EModuleMissing& e) {
        missing = e.what();
    }
    if (convert.Convertible() == 0) {
        TStickPlan plan = PlanStick(Fs, folder, target, profile, Probe(target));
        if (!missing.empty())
            plan.Problems.push_back({".", "convert-missing",
                                     missing + "; без него звук других форматов на флешку не "
                                               "попадёт, а MP3 вне профиля запишутся как есть"});
        return plan;
    }
    const std::unique_ptr<TPretendFileSystem> pretend = PretendConverted(convert);
    TStickPlan plan = PlanStick(*pretend, folder, target, profile, Probe(target), &convert);
    plan.PlaysAsIs.assign(convert.Items.size(), false);
    for (size_t i = 0; i < convert.Items.size(); ++i) {
        const TConvertItem& item = convert.Items[i];
        if (item.Kind != TConvertItem::EKind::Mp3 || !item.Problem.empty())
            continue;
        TAudioInfo info;
        try {
            Fs.LoadAudioInfo(item.Source, info);
            plan.PlaysAsIs[i] = Mp3Problem(info, TAudioLimits{}).empty();
        } catch (const std::exception&) {
        }
    }
    return plan;
}

}  // namespace velmora
