#include "core/model/BurnCommands.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/burn/BurnJob.h"
#include "core/disc/ImageFile.h"
#include "core/files/FolderLock.h"
#include "core/model/MainModel.h"

namespace velmora {
namespace {

// How often the progress is shown and the window's events let through during a burn.
constexpr auto kTick = std::chrono::milliseconds(50);

std::string Megabytes(int64_t sectors) {
    return std::to_string((sectors * 2048 + (1 << 20) - 1) >> 20) + " МБ";
}

// Shows the progress; false when the user asked to cancel and, told what it costs, agreed.
bool GoOn(TUserPort& port, const TProgress& progress, TBurnStep step, TMediumKind kind) {
    return port.StepProgress(progress) || !port.AskYesNo(CancelQuestion(step, kind));
}

// Burns on a thread of its own while this thread shows the progress every tick and lets the
// window's events through, until the burn has ended.
TBurnResult BurnBeside(TUserPort& port, const std::string& image, const TBurnOptions& options,
                       TMediumKind kind) {
    std::mutex lock;
    std::condition_variable wake;
    TBurnProgress latest;
    bool reported = false, done = false;
    std::atomic<bool> cancel{false};
    TBurnResult result;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            result = BurnImage(image, options, [&](const TBurnProgress& p) {
                const std::lock_guard<std::mutex> hold(lock);
                latest = p;
                reported = true;
                return !cancel.load();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> hold(lock);
        done = true;
        wake.notify_all();
    });
    // Whatever the window throws meanwhile, the burn is cancelled and its thread ended first.
    struct TJoin {
        std::thread& Worker;
        std::atomic<bool>& Cancel;
        ~TJoin() {
            Cancel = true;
            Worker.join();
        }
    } join{worker, cancel};
    TBurnProgress shown;
    shown.Phase = TBurnPhase::Writing;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(lock);
            if (wake.wait_for(hold, kTick, [&] { return done; }))
                break;
            if (reported)
                shown = latest;
        }
        if (!cancel && !GoOn(port, BurnProgressOf(shown, kind), BurnStepOf(shown.Phase), kind))
            cancel = true;
    }
    if (failure)
        std::rethrow_exception(failure);
    if (reported)
        port.StepProgress(BurnProgressOf(latest, kind));  // where it ended; too late to cancel
    return result;
}

}  // namespace

bool TBurnCommands::Choose(TBurnSetup& setup, TBurnOptions& options) {
    if (!Port.AskBurn(setup) || !setup.CanBurn)
        return false;
    options = setup.Options();
    if (setup.NeedsBlanking()) {
        if (!setup.BlankAgreed &&
            !Port.AskBeforeLoss(
                "На диске CD-RW есть данные. Перед записью его нужно очистить, и всё, "
                "что на нём записано, пропадёт. Очистить диск и записать?"))
            return false;
        options.Blank = true;
    }
    return true;
}

TDiscOutcome TBurnCommands::Burn(const std::string& image, const TBurnOptions& options,
                                 TMediumKind kind) {
    using EKind = TDiscOutcome::EKind;
    const TBurnResult result = BurnBeside(Port, image, options, kind);
    TDiscOutcome outcome;
    outcome.Kind = result.Ok ? EKind::Done : result.Cancelled ? EKind::Cancelled : EKind::Failed;
    outcome.Message = result.Message;
    outcome.WriteMode = result.WriteMode;
    return outcome;
}

TDiscOutcome TBurnCommands::BurnFolder(const std::string& folder) {
    using EKind = TDiscOutcome::EKind;
    TDiscCheck check;
    std::vector<TDiscCheck> discs;
    {
        const TFolderLock lock(Fs, folder, TFolderLock::EMode::Require, Opened);
        TDiscJob job(Port, Fs, Choice, Opened);
        bool goOn = false;
        check = job.ShowCheck(folder, EDiscPurpose::Burn, goOn);
        if (!goOn)
            return {};
        std::string refusal;
        discs = job.DiscsOf(check, "Диск не записан", refusal);
        if (!refusal.empty())
            return {EKind::Refused, refusal};
    }
    TDiscOutcome outcome;
    const size_t count = discs.size();
    for (size_t n = 0; n < count; ++n) {
        if (n > 0 && !Port.AskYesNo(NextDiscQuestion(n, count)))
            return {EKind::Stopped, outcome.Message};
        TDiscOutcome one = BurnChecked(folder, discs[n], n, count);
        if (!one.Ok())
            return {one.Kind,
                    outcome.Message + (outcome.Message.empty() ? "" : "\r") + one.Message};
        outcome.Kind = EKind::Done;
        outcome.WriteMode = one.WriteMode;
        outcome.Message += (outcome.Message.empty() ? "" : "\r") + one.Message;
    }
    return outcome;
}

std::string TBurnCommands::NextDiscQuestion(size_t done, size_t count) {
    return "Диск " + std::to_string(done) + " из " + std::to_string(count) +
           " записан. Вставьте чистый диск для диска " + std::to_string(done + 1) + " из " +
           std::to_string(count) + " и нажмите «Да»; «Нет» остановит запись.";
}

TDiscOutcome TBurnCommands::BurnChecked(const std::string& folder, const TDiscCheck& disc, size_t n,
                                        size_t count) {
    using EKind = TDiscOutcome::EKind;
    const std::string which =
        count > 1 ? "Диск " + std::to_string(n + 1) + " из " + std::to_string(count) + ": " : "";
    TBurnSetup setup(which + "папка " + folder + ", образ около " + Megabytes(disc.Sectors),
                     disc.Sectors, Sources);
    TBurnOptions options;
    if (!Choose(setup, options))
        return {};
    TTemporaryImage temp;
    if (const std::string problem =
            temp.Error().empty() ? temp.CheckRoom(disc.Sectors) : temp.Error();
        !problem.empty())
        return {EKind::Failed, problem};
    const TProgressShown shown(Port, "Запись диска");
    const TMediumKind kind = setup.Medium.Kind;
    TDiscImageResult image;
    {
        // The folder is locked while its image is written, and the files must still be those
        // checked; the burn no longer reads the folder.
        const TFolderLock lock(Fs, folder, TFolderLock::EMode::Require, Opened);
        image = WriteDiscImage(disc, temp.Path(), false, [&](int64_t done, int64_t total) {
            return GoOn(Port, ImageProgressOf(done, total), TBurnStep::Image, kind);
        });
    }
    if (image.Cancelled)
        return {EKind::Cancelled, which + "Запись отменена: на диск ничего не записано."};
    if (!image.Ok)
        return {EKind::Failed, which + image.Message};
    TDiscOutcome burnt = Burn(temp.Path(), options, kind);
    burnt.Message = which + burnt.Message;
    return burnt;
}

TDiscOutcome TBurnCommands::BurnImageFile(const std::string& image) {
    const TImageFileCheck file = CheckImageFile(image);
    if (!file.Ok)
        return {TDiscOutcome::EKind::Refused, file.Problem};
    TBurnSetup setup("Образ " + image + ", " + Megabytes(file.Sectors), file.Sectors, Sources);
    TBurnOptions options;
    if (!Choose(setup, options))
        return {};
    const TProgressShown shown(Port, "Запись диска");
    return Burn(image, options, setup.Medium.Kind);
}

TDiscOutcome TBurnCommands::BurnImageFiles(const std::vector<std::string>& images) {
    TDiscOutcome outcome;
    for (size_t n = 0; n < images.size(); ++n) {
        if (n > 0 && !Port.AskYesNo(NextDiscQuestion(n, images.size())))
            return {TDiscOutcome::EKind::Stopped, outcome.Message};
        TDiscOutcome one = BurnImageFile(images[n]);
        outcome.Message += (outcome.Message.empty() ? "" : "\r") + one.Message;
        if (!one.Ok())
            return {one.Kind, outcome.Message};
        outcome.Kind = one.Kind;
        outcome.WriteMode = one.WriteMode;
    }
    return outcome;
}

void EnableBurning(TMainModel& model) {
    const auto tell = [&model](const TDiscOutcome& outcome) {
        if (outcome.Kind == TDiscOutcome::EKind::Stopped && outcome.Message.empty())
            return;
        if (outcome.Ok() || outcome.Kind == TDiscOutcome::EKind::Cancelled ||
            outcome.Kind == TDiscOutcome::EKind::Stopped)
            model.Port.ShowMessage(outcome.Message);
        else
            model.Port.ShowError(outcome.Message);
    };
    model.OnBurnFolder = [&model, tell] {
        tell(TBurnCommands(model.Port, model.Fs, model.DiscChoice, model.Opened())
                 .BurnFolder(model.DiscFolder()));
    };
    model.OnImageWritten = [&model, tell](const std::vector<std::string>& images,
                                          const std::string& message) {
        if (model.Port.AskYesNo(message + (images.size() > 1 ? "\rЗаписать их на диски?"
                                                             : "\rЗаписать его на диск?")))
            tell(TBurnCommands(model.Port, model.Fs, model.DiscChoice, model.Opened())
                     .BurnImageFiles(images));
    };
}

}  // namespace velmora
