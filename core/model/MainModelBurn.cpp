// "Записать диск…": the opened folder, or an image written before, burnt onto a CD with its
// progress shown and a way out. The burn runs on a thread of its own; the window's thread shows
// the progress and lets events through, and the model's Run keeps every other command out.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/burn/BurnJob.h"
#include "core/burn/BurnSetup.h"
#include "core/disc/DiscImage.h"
#include "core/model/MainModel.h"

namespace velmora {
namespace {

// How often the progress is shown and the window's events let through during a burn.
constexpr auto kTick = std::chrono::milliseconds(50);

std::string Megabytes(int64_t sectors) {
    return std::to_string((sectors * 2048 + (1 << 20) - 1) >> 20) + " МБ";
}

// The burn's progress on screen for as long as this lives, or until End.
class TProgressShown {
  public:
    explicit TProgressShown(TUserPort& port) : Port(port) { Port.BeginBurnProgress(); }
    ~TProgressShown() { End(); }
    TProgressShown(const TProgressShown&) = delete;
    TProgressShown& operator=(const TProgressShown&) = delete;
    void End() {
        if (Shown)
            Port.EndBurnProgress();
        Shown = false;
    }

  private:
    TUserPort& Port;
    bool Shown = true;
};

// Shows the status; false when the user asked to cancel and, told what it costs, agreed.
bool GoOn(TUserPort& port, const TBurnStatus& status, TMediumKind kind) {
    return port.StepBurnProgress(status) || !port.AskYesNo(CancelQuestion(status.Step, kind));
}

// The burn dialog, then the question before a CD-RW with data is blanked; false when the user
// stops at either.
bool ChooseBurn(TUserPort& port, TBurnSetup& setup, TBurnOptions& options) {
    if (!port.AskBurn(setup) || !setup.CanBurn)
        return false;
    options = setup.Options();
    if (setup.NeedsBlanking()) {
        if (!port.AskYesNo("На диске CD-RW есть данные. Перед записью его нужно очистить, и всё, "
                           "что на нём записано, пропадёт. Очистить диск и записать?"))
            return false;
        options.Blank = true;
    }
    return true;
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
    TBurnStatus status;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(lock);
            if (wake.wait_for(hold, kTick, [&] { return done; }))
                break;
            if (reported)
                status = BurnStatusOf(latest);
        }
        if (!cancel && !GoOn(port, status, kind))
            cancel = true;
    }
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

void Tell(TUserPort& port, const TBurnResult& result) {
    if (result.Ok || result.Cancelled)
        port.ShowMessage(result.Message);
    else
        port.ShowError(result.Message);
}

}  // namespace

void TMainModel::ConvertMenuBurnClick() {
    TDiscCheck check;
    if (!FolderOpenForDisc() || !ShowFolderDiscCheck(true, check))
        return;
    if (check.HasFatal() || check.Files.empty()) {
        Port.ShowError(WriteDiscImage(check, "", false, nullptr).Message);
        return;
    }
    TBurnSetup setup("Папка " + InputFolder + ", образ около " + Megabytes(check.Sectors),
                     check.Sectors);
    TBurnOptions options;
    if (!ChooseBurn(Port, setup, options))
        return;
    TTemporaryImage temp;
    const std::string problem = temp.Error().empty() ? temp.CheckRoom(check.Sectors) : temp.Error();
    if (!problem.empty()) {
        Port.ShowError(problem);
        return;
    }
    TProgressShown shown(Port);
    TDiscImageResult image;
    {
        // The folder is read only while its image is written.
        const TFolderLock lock(Fs, InputFolder, TFolderLock::EMode::Require, OpenedFolder);
        image = WriteDiscImage(check, temp.Path(), false, [&](int64_t done, int64_t total) {
            return GoOn(Port, ImageStatusOf(done, total), setup.Medium.Kind);
        });
    }
    if (!image.Ok) {
        shown.End();
        if (image.Cancelled)
            Port.ShowMessage(image.Message);
        else
            Port.ShowError(image.Message);
        return;
    }
    const TBurnResult result = BurnBeside(Port, temp.Path(), options, setup.Medium.Kind);
    shown.End();
    Tell(Port, result);
}

void TMainModel::BurnImageFile(const std::string& image) {
    std::string error;
    const int64_t sectors = ImageSectors(image, error);
    if (sectors == 0) {
        Port.ShowError(error);
        return;
    }
    TBurnSetup setup("Образ " + image + ", " + Megabytes(sectors), sectors);
    TBurnOptions options;
    if (!ChooseBurn(Port, setup, options))
        return;
    TProgressShown shown(Port);
    const TBurnResult result = BurnBeside(Port, image, options, setup.Medium.Kind);
    shown.End();
    Tell(Port, result);
}

void EnableBurning(TMainModel& model) {
    model.OnImageWritten = [&model](const std::string& image, const std::string& message) {
        if (model.Port.AskYesNo(message + "\rЗаписать его на диск?"))
            model.BurnImageFile(image);
    };
}

}  // namespace velmora
