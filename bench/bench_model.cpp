// Filling the track list from a folder through the window's model (scan, sizes, and every file
// made current in the time pass), next to the floor loop of the same files, warm cache:
// - the ID3v1 folder (the mixed kinds of tools/GenFolder.h), 1000 and 10 000 files; its floor
//   opens each file, reads the first 10296 and the last 128 bytes and closes it;
// - the cover-art folders (files as a tagger leaves them: an ID3v2.3 tag of seven UTF-16 text
//   frames on each), 1000 files with a 105 KB cover on every second one and 200 files with a
//   337 KB cover each; their floor reads the same bytes the analysis needs: the whole tag, the
//   10296 bytes behind it and the last 128 bytes.
// The fill also reports the heap a filled list holds per file, and how much the peak resident
// memory grew per file during the timed fills.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "bench/BenchSupport.h"
#include "core/MainModel.h"

namespace {

using velmora::bench::TBenchFolder;

// The ID3v1 folder of `count` files, or with coverKB > 0 the cover-art folder.
TBenchFolder& Folder(int count, int coverEvery = 0, int coverKB = 0) {
    static std::map<std::tuple<int, int, int>, std::unique_ptr<TBenchFolder>> folders;
    auto& folder = folders[{count, coverEvery, coverKB}];
    if (!folder) {
        folder = coverKB > 0 ? std::make_unique<TBenchFolder>(count, coverEvery, coverKB)
                             : std::make_unique<TBenchFolder>(count);
    }
    return *folder;
}

TBenchFolder& CoverFolder(const benchmark::State& state) {
    return Folder(static_cast<int>(state.range(2)), static_cast<int>(state.range(0)),
                  static_cast<int>(state.range(1)));
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

template <int64_t (*Read)(const std::string&)>
void Floor(benchmark::State& state, const TBenchFolder& folder) {
    const auto& paths = folder.Paths;
    for (const auto& path : paths)
        Read(path);  // warm the cache
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const auto& path : paths)
            bytes += Read(path);
    }
    benchmark::DoNotOptimize(bytes);
    const double files = static_cast<double>(state.iterations()) * paths.size();
    state.SetItemsProcessed(static_cast<int64_t>(files));
    state.counters["bytes_per_file"] = static_cast<double>(bytes) / files;
}

void BM_Floor(benchmark::State& state) {
    Floor<velmora::bench::FloorRead>(state, Folder(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CoverFloor(benchmark::State& state) {
    Floor<velmora::bench::FloorReadWithTag>(state, CoverFolder(state));
}

void Fill(benchmark::State& state, TBenchFolder& folder) {
    const int count = static_cast<int>(folder.Paths.size());
    for (const auto& path : folder.Paths)
        velmora::bench::FloorReadWithTag(path);  // warm the cache
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

void BM_FileListFill(benchmark::State& state) {
    Fill(state, Folder(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_FileListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CoverFileListFill(benchmark::State& state) {
    Fill(state, CoverFolder(state));
}

void CoverArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"every", "kb", "files"})->Args({2, 105, 1000})->Args({1, 337, 200});
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_CoverFloor)->Apply(CoverArgs);
BENCHMARK(BM_CoverFileListFill)->Apply(CoverArgs);

}  // namespace

BENCHMARK_MAIN();
