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
//
// The *FirstOpen benchmarks time the first fill of a program that has just started, as
// `velmora-cli list DIR` does or the window does with the first folder: each iteration runs this
// program again (`bench_model --fill-once DIR WARMUP`), which fills a two-file folder first (ICU,
// the genre list and TagLib set themselves up) and then times one fill of DIR. A process of its
// own matters: glibc raises its thresholds for giving memory back once a large block has been
// freed, and the folders generated here free many, so a fill timed in this process would not
// see what a fresh program pays for memory handed back and taken again after every file.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "bench/BenchSupport.h"
#include "core/model/MainModel.h"

extern char** environ;

namespace {

constexpr const char* kFillOnce = "--fill-once";

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

// The child's side: after a warm-up fill of `warmup`, one timed fill of `dir`; prints the
// nanoseconds it took, the nanoseconds of processor time the process spent on it, and the number
// of files listed.
int FillOnce(const std::string& dir, const std::string& warmup) {
    TNullPort port;
    velmora::TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.FileListFill(warmup); });
    const auto cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    model.Run([&] {
        model.FileMenuNewClick();
        model.FileListFill(dir);
    });
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const double cpuNs = static_cast<double>(std::clock() - cpuStart) * 1e9 / CLOCKS_PER_SEC;
    if (!port.Errors.empty())
        return 1;
    std::printf("%lld %.0f %zu\n", static_cast<long long>(ns), cpuNs, model.TrackList.size());
    return 0;
}

struct TChildFill {
    long long Ns = -1;  // -1: the child failed
    double CpuNs = 0;
    size_t Files = 0;
};

// Runs this program again with --fill-once and returns what it reported.
TChildFill FillInNewProcess(const std::string& dir, const std::string& warmup) {
    int out[2];
    if (::pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string self = "/proc/self/exe", flag = kFillOnce, d = dir, w = warmup;
    char* argv[] = {self.data(), flag.data(), d.data(), w.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    TChildFill fill;
    if (std::sscanf(text.c_str(), "%lld %lf %zu", &fill.Ns, &fill.CpuNs, &fill.Files) != 3)
        return {};
    return fill;
}

void FirstOpen(benchmark::State& state, const TBenchFolder& folder) {
    for (const auto& path : folder.Paths)
        velmora::bench::FloorReadWithTag(path);  // warm the cache
    const std::string warmup = Folder(2).Dir.Path();
    double cpuNs = 0;
    for (auto _ : state) {
        const TChildFill fill = FillInNewProcess(folder.Dir.Path(), warmup);
        if (fill.Ns < 0 || fill.Files != folder.Paths.size()) {
            state.SkipWithError("the fill in a new process failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(fill.Ns) * 1e-9);
        cpuNs += fill.CpuNs;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(folder.Paths.size()));
    // The child's processor time, comparable with the floor's CPU column on a busy machine.
    state.counters["child_cpu_ms"] = cpuNs * 1e-6 / static_cast<double>(state.iterations());
}

void BM_FirstOpen(benchmark::State& state) {
    FirstOpen(state, Folder(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_FirstOpen)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CoverFirstOpen(benchmark::State& state) {
    FirstOpen(state, CoverFolder(state));
}
BENCHMARK(BM_CoverFirstOpen)->Apply(CoverArgs)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], kFillOnce) == 0)
        return FillOnce(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
