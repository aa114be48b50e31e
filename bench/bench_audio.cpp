// Analysis of a folder of 1000 generated MP3 files with a warm cache, next to the floor: opening
// each file, reading its first 10296 and last 128 bytes and closing it. The same for the
// cover-art folders of bench_model (a 105 KB cover on every second of 1000 files, a 337 KB cover
// on each of 200), whose floor reads the whole tag, the 10296 bytes behind it and the last 128:
// what is left between the two is the analysis itself, TagLib's reading of the tag included.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioInfo.h"
#include "bench/BenchSupport.h"

namespace {

using velmora::bench::TBenchFolder;

constexpr int kFiles = 1000;

TBenchFolder& Folder() {
    static TBenchFolder folder(kFiles);
    return folder;
}

TBenchFolder& CoverFolder(const benchmark::State& state) {
    static TBenchFolder everySecond(1000, 2, 105);
    static TBenchFolder each(200, 1, 337);
    return state.range(0) == 2 ? everySecond : each;
}

void BM_Floor(benchmark::State& state) {
    const auto& paths = Folder().Paths;
    int64_t bytes = 0;
    for (const auto& path : paths)
        velmora::bench::FloorRead(path);  // warm the cache
    for (auto _ : state) {
        for (const auto& path : paths)
            bytes += velmora::bench::FloorRead(path);
    }
    const double files = static_cast<double>(state.iterations()) * paths.size();
    state.SetItemsProcessed(static_cast<int64_t>(files));
    state.counters["bytes_per_file"] = static_cast<double>(bytes) / files;
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);

void BM_CoverFloor(benchmark::State& state) {
    const auto& paths = CoverFolder(state).Paths;
    int64_t bytes = 0;
    for (const auto& path : paths)
        velmora::bench::FloorReadWithTag(path);  // warm the cache
    for (auto _ : state) {
        for (const auto& path : paths)
            bytes += velmora::bench::FloorReadWithTag(path);
    }
    const double files = static_cast<double>(state.iterations()) * paths.size();
    state.SetItemsProcessed(static_cast<int64_t>(files));
    state.counters["bytes_per_file"] = static_cast<double>(bytes) / files;
}
BENCHMARK(BM_CoverFloor)
    ->ArgNames({"every", "kb"})
    ->Args({2, 105})
    ->Args({1, 337})
    ->Unit(benchmark::kMillisecond);

void Analyze(benchmark::State& state, const std::vector<std::string>& paths) {
    velmora::BuildID3Genres();
    // Bytes the analysis reads from disk, through the same stream and analysis LoadFromFile uses.
    int64_t bytes = 0;
    for (const auto& path : paths) {
        velmora::TFileStream stream(path, velmora::TFileStream::Mode::Read);
        velmora::TAudioInfo info;
        info.AnalyzeStream(stream, stream.Size());
        bytes += stream.BytesFromDisk();
    }
    velmora::TAudioInfo info;
    int64_t valid = 0;
    for (auto _ : state) {
        for (const auto& path : paths) {
            info.LoadFromFile(path);
            valid += info.FrameHdr.Valid;
        }
    }
    benchmark::DoNotOptimize(valid);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
    state.counters["bytes_per_file"] = static_cast<double>(bytes) / paths.size();
}

void BM_AnalyzeFolder(benchmark::State& state) {
    Analyze(state, Folder().Paths);
}
BENCHMARK(BM_AnalyzeFolder)->Unit(benchmark::kMillisecond);

void BM_AnalyzeCoverFolder(benchmark::State& state) {
    Analyze(state, CoverFolder(state).Paths);
}
BENCHMARK(BM_AnalyzeCoverFolder)
    ->ArgNames({"every", "kb"})
    ->Args({2, 105})
    ->Args({1, 337})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// Each file of the damaged-tag corpus (tests/data/damaged): frames that would inflate to 300 MB
// and 1 GB, sizes past the end, unsynchronisation, encryption. Each must open in well under
// 100 ms: the time is for all of them, next to the floor of reading their bytes whole.
void BM_DamagedTags(benchmark::State& state, bool floor) {
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::directory_iterator(VELMORA_TEST_DATA "/damaged"))
        paths.push_back(e.path().string());
    for (auto _ : state) {
        for (const std::string& path : paths) {
            if (floor) {
                std::ifstream in(path, std::ios::binary);
                std::string bytes((std::istreambuf_iterator<char>(in)), {});
                benchmark::DoNotOptimize(bytes.data());
            } else {
                velmora::TAudioInfo info;
                info.LoadFromFile(path);
                benchmark::DoNotOptimize(info.Duration);
            }
        }
    }
    state.counters["files"] = static_cast<double>(paths.size());
}
BENCHMARK_CAPTURE(BM_DamagedTags, floor, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DamagedTags, analysis, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
