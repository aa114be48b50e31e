// Opening the benchmark folder of 1000 generated files as the user does (File → Open folder),
// once through the real window on Qt's offscreen platform (the Qt port, the widgets, the status
// text, the progress bar and the busy cursor, up to the painted list) and once through the model
// alone with a port that shows nothing. The window's figure over the model's is the cost of
// showing the fill.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <chrono>
#include <memory>
#include <string>

#include "audio/ID3Tags.h"
#include "bench/BenchSupport.h"
#include "core/model/MainModel.h"
#include "ui/MainUnit.h"
#include "ui/QtUserPort.h"
#include "ui/VelmoraApp.h"

namespace {

using velmora::bench::TBenchFolder;

constexpr int kFiles = 1000;

TBenchFolder& Folder() {
    static TBenchFolder folder(kFiles);
    static const bool warm = [] {
        for (const auto& path : folder.Paths)
            velmora::bench::FloorRead(path);
        return true;
    }();
    (void)warm;
    return folder;
}

// The model alone: the folder dialog answers the benchmark folder, nothing is shown.
class TNullPort : public velmora::TUserPort {
  public:
    explicit TNullPort(std::string folder) : Folder(std::move(folder)) {}
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    void ShowError(const std::string& text) override { Errors += text + "\n"; }
    std::string BrowseForInputFolder() override { return Folder; }
    std::optional<std::string> ExecuteSaveDialog() override { return std::nullopt; }
    bool ShowFileListOptions(velmora::TFileListReportOptions&) override { return false; }
    bool ShowTagListOptions(velmora::TTagListReportOptions&) override { return false; }
    void ShowTranslitSetup() override {}
    void ShowAbout() override {}
    void ProcessEvents() override {}
    void Refresh() override {}
    std::string Folder;
    std::string Errors;
};

// The window's own port, with the folder dialog answered.
class TWindowPort : public velmora::TQtUserPort {
  public:
    explicit TWindowPort(std::string folder) : Folder(std::move(folder)) {}
    std::string BrowseForInputFolder() override { return Folder; }
    void ShowError(const std::string& text) override { Errors += text + "\n"; }
    // Where the window's time goes: the repaints the model asks for and the events let through.
    void Refresh() override {
        const auto start = std::chrono::steady_clock::now();
        TQtUserPort::Refresh();
        RefreshTime += std::chrono::steady_clock::now() - start;
        ++Refreshes;
    }
    void ProcessEvents() override {
        const auto start = std::chrono::steady_clock::now();
        TQtUserPort::ProcessEvents();
        EventsTime += std::chrono::steady_clock::now() - start;
        ++EventPasses;
    }
    std::string Folder;
    std::string Errors;
    std::chrono::steady_clock::duration RefreshTime{}, EventsTime{};
    int64_t Refreshes = 0, EventPasses = 0;
};

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_OpenFolderModel(benchmark::State& state) {
    TNullPort port(Folder().Dir.Path());
    velmora::TMainModel model(port);
    model.FormCreate();
    for (auto _ : state) {
        model.Run([&] { model.FileMenuAddDirClick(); });
    }
    if (!port.Errors.empty() || model.TrackList.size() != static_cast<size_t>(kFiles)) {
        state.SkipWithError(("the fill failed: " + port.Errors).c_str());
        return;
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenFolderModel)->Unit(benchmark::kMillisecond);

void BM_OpenFolderWindow(benchmark::State& state) {
    TWindowPort port(Folder().Dir.Path());
    velmora::TMainModel model(port);
    velmora::TMainForm form(model);
    port.Attach(&form, nullptr, nullptr, nullptr, nullptr);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    for (auto _ : state) {
        form.FileMenuAddDir->trigger();
        // Up to the list painted as the user sees it.
        QCoreApplication::processEvents();
    }
    if (!port.Errors.empty() || form.FilesListBox->count() != kFiles) {
        state.SkipWithError(("the fill failed: " + port.Errors).c_str());
        return;
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    const double runs = static_cast<double>(state.iterations());
    state.counters["refresh_ms"] = Ms(port.RefreshTime) / runs;
    state.counters["refreshes"] = static_cast<double>(port.Refreshes) / runs;
    state.counters["events_ms"] = Ms(port.EventsTime) / runs;
    state.counters["event_passes"] = static_cast<double>(port.EventPasses) / runs;
}
BENCHMARK(BM_OpenFolderWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    velmora::BuildID3Genres();
    QApplication app(argc, argv);
    velmora::SetUpApplication(app);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
