#include "core/model/BurnCommands.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/burn/BurnJob.h"
#include "core/disc/ImageFile.h"
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
            !Port.AskYesNo("На диске CD-RW есть данные. Перед записью его нужно очистить, и всё, "
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
    std::optional<TFolderHold> hold(std::in_place, Fs, folder);
    bool goOn = false;
    const TDiscCheck check = TDiscJob(Port, Fs, Choice).ShowCheck(folder, EDiscPurpose::Burn, goOn);
    if (!goOn)
        return {};
    if (const std::string why = DiscRefusal(check); !why.empty())
        return {EKind::Refused, "Диск не записан: " + why};
    TBurnSetup setup("Папка " + folder + ", образ около " + Megabytes(check.Sectors), check.Sectors,
                     Sources);
    TBurnOptions options;
    if (!Choose(setup, options))
        return {};
    TTemporaryImage temp;
    if (const std::string problem =
            temp.Error().empty() ? temp.CheckRoom(check.Sectors) : temp.Error();
        !problem.empty())
        return {EKind::Failed, problem};
    const TProgressShown shown(Port, "Запись диска");
    const TMediumKind kind = setup.Medium.Kind;
    const TDiscImageResult image =
        WriteDiscImage(check, temp.Path(), false, [&](int64_t done, int64_t total) {
            return GoOn(Port, ImageProgressOf(done, total), TBurnStep::Image, kind);
        });
    hold.reset();  // the folder is only read while its image is written
    if (image.Cancelled)
        return {EKind::Cancelled, "Запись отменена: на диск ничего не записано."};
    if (!image.Ok)
        return {EKind::Failed, image.Message};
    return Burn(temp.Path(), options, kind);
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

void EnableBurning(TMainModel& model) {
    const auto tell = [&model](const TDiscOutcome& outcome) {
        if (outcome.Kind == TDiscOutcome::EKind::Stopped)
            return;
        if (outcome.Ok() || outcome.Kind == TDiscOutcome::EKind::Cancelled)
            model.Port.ShowMessage(outcome.Message);
        else
            model.Port.ShowError(outcome.Message);
    };
    model.OnBurnFolder = [&model, tell] {
        tell(TBurnCommands(model.Port, model.Fs, model.DiscChoice).BurnFolder(model.InputFolder));
    };
    model.OnImageWritten = [&model, tell](const std::string& image, const std::string& message) {
        if (model.Port.AskYesNo(message + "\rЗаписать его на диск?"))
            tell(TBurnCommands(model.Port, model.Fs, model.DiscChoice).BurnImageFile(image));
    };
}

}  // namespace velmora
