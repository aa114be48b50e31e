// A user port for tests: answers from queues filled by the test, records every text it was shown,
// and lets a test act from inside ProcessEvents (to try a command while another one runs).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/burn/BurnSetup.h"
#include "core/model/UserPort.h"

namespace velmora::test {

class TScriptedPort : public TUserPort {
  public:
    // ---- Answers, taken from the front; an empty queue gives the default ----
    std::deque<bool> YesNoAnswers;  // default: No
    bool DefaultYesNo = false;
    std::deque<std::string> FolderAnswers;               // default: "" (cancelled)
    std::deque<std::optional<std::string>> SaveAnswers;  // default: cancelled
    std::deque<bool> FileListOptionAnswers;              // default: Cancel
    std::deque<std::string> StickAnswers;                // default: cancelled
    std::deque<bool> TagListOptionAnswers;               // default: Cancel
    // Called with the options before the answer is taken, as the user edits the dialog.
    std::function<void(TFileListReportOptions&)> EditFileListOptions;
    std::function<void(TTagListReportOptions&)> EditTagListOptions;
    // Called from every ProcessEvents and from every question.
    std::function<void()> OnProcessEvents;
    std::function<void(const std::string&)> OnQuestion;
    // Called from every Refresh, to look at the model while a command shows a state.
    std::function<void()> OnRefresh;

    // The burn dialog's answer, given its setup (default: Отмена), and each progress step's
    // (default: go on).
    std::function<bool(TBurnSetup&)> OnBurnSetup;
    std::function<bool(const TProgress&)> OnProgress;
    // The bitrate the conversion's plan is answered with (default: as proposed).
    int ConvertKbpsAnswer = 0;

    // ---- Records ----
    std::deque<bool> PlanAnswers;  // default: Выполнить
    std::vector<TBatchLog> Plans, Done;
    std::vector<std::string> Questions;
    std::vector<std::string> Messages;
    std::vector<std::string> Errors;
    int FolderDialogs = 0;
    int SaveDialogs = 0;
    int FileListDialogs = 0;
    int TagListDialogs = 0;
    int TranslitSetups = 0;
    int AboutBoxes = 0;
    int ProcessEventsCalls = 0;
    int RefreshCalls = 0;
    std::vector<TProgress> Steps;
    int ProgressShown = 0;  // begun and not yet ended

    std::vector<std::string> LossQuestions;  // asked with No as the default
    bool AskBeforeLoss(const std::string& text) override {
        LossQuestions.push_back(text);
        return AskYesNo(text);
    }
    bool AskYesNo(const std::string& text) override {
        Questions.push_back(text);
        if (OnQuestion)
            OnQuestion(text);
        return Take(YesNoAnswers, DefaultYesNo);
    }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    std::optional<std::string> AskStickTarget() override {
        if (StickAnswers.empty())
            return std::nullopt;
        return Take(StickAnswers, std::string());
    }
    bool ShowBatchPlan(const TBatchLog& plan, const std::string&) override {
        Plans.push_back(plan);
        return Take(PlanAnswers, true);
    }
    void ShowBatchDone(const TBatchLog& done, const std::string&) override { Done.push_back(done); }
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    std::string BrowseForInputFolder() override {
        ++FolderDialogs;
        return Take(FolderAnswers, std::string());
    }
    std::optional<std::string> ExecuteSaveDialog() override {
        ++SaveDialogs;
        return Take(SaveAnswers, std::optional<std::string>());
    }
    bool ShowFileListOptions(TFileListReportOptions& options) override {
        ++FileListDialogs;
        if (EditFileListOptions)
            EditFileListOptions(options);
        return Take(FileListOptionAnswers, false);
    }
    bool ShowTagListOptions(TTagListReportOptions& options) override {
        ++TagListDialogs;
        if (EditTagListOptions)
            EditTagListOptions(options);
        return Take(TagListOptionAnswers, false);
    }
    void ShowTranslitSetup() override { ++TranslitSetups; }
    void ShowAbout() override { ++AboutBoxes; }
    void ProcessEvents() override {
        ++ProcessEventsCalls;
        if (OnProcessEvents)
            OnProcessEvents();
    }
    void Refresh() override {
        ++RefreshCalls;
        if (OnRefresh)
            OnRefresh();
    }

    bool AskBurn(TBurnSetup& setup) override { return OnBurnSetup && OnBurnSetup(setup); }
    void BeginProgress(const std::string&) override { ++ProgressShown; }
    bool StepProgress(const TProgress& progress) override {
        Steps.push_back(progress);
        return !OnProgress || OnProgress(progress);
    }
    void EndProgress() override { --ProgressShown; }

    bool ShowConvertPlan(const TBatchLog& plan, const std::string&, int& kbps,
                         const std::function<TBatchLog(int)>& relabel) override {
        if (ConvertKbpsAnswer > 0)
            kbps = ConvertKbpsAnswer;
        Plans.push_back(relabel(kbps));
        (void)plan;
        return Take(PlanAnswers, true);
    }

  private:
    template <typename T, typename D>
    static T Take(std::deque<T>& queue, D fallback) {
        if (queue.empty())
            return T(fallback);
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
};

}  // namespace velmora::test
