// Filling the track list from a folder through the window's model (scan, sizes, and every file
// made current in the time pass), next to the floor loop of the same files: open, read the first
// 10296 and the last 128 bytes, close. Folders of 1000 and 10 000 generated files, warm cache.
// The fill also reports the heap a filled list holds per file, and how much the peak resident
// memory grew per file during the timed fills.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "core/MainModel.h"

namespace {

using velmora::bench::TBenchFolder;

TBenchFolder& Folder(int count) {
    static std::map<int, std::unique_ptr<TBenchFolder>> folders;
    auto& folder = folders[count];
    if (!folder)
        folder = std::make_unique<TBenchFolder>(count);
    return *folder;
}

// A port for a window nobody looks at: no questions, no dialogs, no repaint.
class TNullPort : public velmora::TUserPort {
  public:
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    void ShowError(const std::string& text) override { Errors += text + "\n"; }
    std::string BrowseForInputFolder() override { return ""; }
    std::optional<std::string> ExecuteSaveDialog() override { return std::nullopt; }
    bool ShowFileListOptions(velmora::TFileListReportOptions&) override { return false; }
    bool ShowTagListOptions(velmora::TTagListReportOptions&) override { return false; }
    void ShowTranslitSetup() override {}
    void ShowAbout() override {}
    void ProcessEvents() override {}
    void Refresh() override {}
    std::string Errors;
};

// A value of /proc/self/status in kilobytes ("VmRSS", "VmHWM"), or -1.
long StatusKb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, key.size() + 1, key + ":") == 0)
            return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

// Sets the peak resident size back to the current one; false where the kernel does not allow it.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

void BM_Floor(benchmark::State& state) {
    const auto& paths = Folder(static_cast<int>(state.range(0))).Paths;
    for (const auto& path : paths)
        velmora::bench::FloorRead(path);  // warm the cache
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const auto& path : paths)
            bytes += velmora::bench::FloorRead(path);
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
}
BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_FileListFill(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TBenchFolder& folder = Folder(count);
    for (const auto& path : folder.Paths)
        velmora::bench::FloorRead(path);  // warm the cache
    TNullPort port;
    velmora::TMainModel model(port);
    model.FormCreate();
    // Heap the filled list holds: measured around one fill from an empty, trimmed model.
    model.FileMenuNewClick();
    model.FoundFiles.clear();
    model.FoundFiles.shrink_to_fit();
    model.TrackList.shrink_to_fit();
    const size_t heapBefore = mallinfo2().uordblks;
    model.Run([&] { model.FileListFill(folder.Dir.Path()); });
    const double heldPerFile =
        (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapBefore)) / count;
    const bool peakReset = ResetPeak();
    const long before = StatusKb(peakReset ? "VmRSS" : "VmHWM");
    for (auto _ : state) {
        model.Run([&] {
            model.FileMenuNewClick();
            model.FileListFill(folder.Dir.Path());
        });
    }
    const long peak = StatusKb("VmHWM");
    if (!port.Errors.empty() || model.TrackList.size() != static_cast<size_t>(count)) {
        state.SkipWithError(("the fill failed: " + port.Errors).c_str());
        return;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
    state.counters["heap_held_bytes_per_file"] = heldPerFile;
    state.counters["peak_rss_growth_bytes_per_file"] =
        before < 0 || peak < 0 ? -1.0 : (peak - before) * 1024.0 / count;
}
BENCHMARK(BM_FileListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
