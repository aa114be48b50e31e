// "Перекодировать для магнитолы…": the plan of the opened folder's conversion, shown before
// anything is written; the conversion on every core while the window shows its progress and lets
// events through; the list rebuilt with the new files.
#include "core/model/ConvertLog.h"
#include "core/model/DiscJob.h"
#include "core/model/MainModel.h"

namespace velmora {
namespace {

constexpr const char* kConvertCaption = "Перекодирование для магнитолы";
constexpr const char* kPlanStatus = "Перекодирование: просмотр файлов. Подождите, пожалуйста...";
constexpr const char* kNothingText =
    "Перекодировать нечего: все звуковые файлы папки — MP3, которые магнитола играет, или рядом "
    "с ними уже есть MP3";

}  // namespace

TConvertSettings ConvertSettingsFor(const TDiscProfile& profile, int kbps) {
    TConvertSettings settings;
    settings.Kbps = kbps;
    settings.Limits.Limits = profile.AudioLimits;
    settings.Limits.SampleRates = profile.SampleRates;
    settings.Limits.MinBitrate = profile.MinBitrate;
    settings.Limits.MaxBitrate = profile.MaxBitrate;
    settings.MaxID3v2 = profile.MaxID3v2;
    return settings;
}

TBatchLog ConvertPlanLines(const TConvertPlan& plan, int kbps) {
    TBatchLog lines;
    for (const TConvertItem& item : plan.Items) {
        if (item.Problem.empty())
            lines.push_back({TBatchEvent::TKind::Convert, item.Source, item.Target,
                             ConvertDetail(item, kbps, item.Original)});
        else
            lines.push_back({TBatchEvent::TKind::Unconverted, item.Source, "", item.Problem});
    }
    return lines;
}

TBatchLog ConvertDoneLines(const TConvertPlan& plan, const std::vector<TConvertOutcome>& outcomes) {
    TBatchLog lines;
    for (size_t i = 0; i < plan.Items.size() && i < outcomes.size(); ++i) {
        const TConvertItem& item = plan.Items[i];
        const TConvertOutcome& done = outcomes[i];
        switch (done.State) {
            case TConvertOutcome::EState::Done:
                lines.push_back({TBatchEvent::TKind::Convert, item.Source, done.Target,
                                 ConvertDetail(item, plan.Settings.Kbps, done.Original)});
                break;
            case TConvertOutcome::EState::Failed:
            case TConvertOutcome::EState::Waiting:
            case TConvertOutcome::EState::Cancelled:
                lines.push_back({TBatchEvent::TKind::Unconverted, item.Source, "", done.Message});
                break;
        }
    }
    return lines;
}

TConvertSettings TMainModel::ConvertSettings() const {
    return ConvertSettingsFor(ProfileOf(DiscChoice), ConvertKbps);
}

TConvertPlan TMainModel::PlanConvert(const TConvertSettings& settings) {
    const bool oldCursor = BusyCursor;
    BusyCursor = true;
    SetStatus(kPlanStatus);
    TConvertPlan plan = PlanConversion(Fs, InputFolder, settings, [this](size_t done, size_t all) {
        ProgressTotal = static_cast<int>(all);
        ProgressDone = static_cast<int>(done);
        Port.ProcessEvents();
        Port.Refresh();
    });
    ProgressDone = ProgressTotal = 0;
    SetStatus("");
    BusyCursor = oldCursor;
    return plan;
}

TBatchLog TMainModel::RunConvert(const TConvertPlan& plan, int jobs) {
    const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
    const TProgressShown shown(Port, kConvertCaption);
    return ConvertDoneLines(plan, RunConversion(plan, jobs, [this](const TConvertStatus& status) {
                                return Port.StepProgress(ConvertProgressOf(status));
                            }));
}

void TMainModel::ConvertMenuConvertClick() {
    if (!FolderOpenForDisc())
        return;
    SettleEdits();
    TConvertPlan plan = PlanConvert(ConvertSettings());
    if (plan.Items.empty()) {
        Port.ShowMessage(kNothingText);
        return;
    }
    int kbps = ConvertKbps;
    if (!Port.ShowConvertPlan(ConvertPlanLines(plan, kbps), InputFolder, kbps,
                              [&plan](int k) { return ConvertPlanLines(plan, k); }))
        return;
    ConvertKbps = kbps;
    plan.Settings.Kbps = kbps;
    const TBatchLog done = RunConvert(plan, 0);
    RebuildList();
    if (!TrackList.empty()) {
        SelectTrack(0);
        FilesListBoxClick();
    }
    Port.ShowBatchDone(done, InputFolder);
}

}  // namespace velmora
