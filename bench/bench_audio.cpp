// Analysis of a folder of 1000 generated MP3 files with a warm cache, next to the floor: opening
// each file, reading its first 10296 and last 128 bytes and closing it. The same for the
// cover-art folders of bench_model (a 105 KB cover on every second of 1000 files, a 337 KB cover
// on each of 200), whose floor reads the whole tag, the 10296 bytes behind it and the last 128:
// what is left between the two is the analysis itself, TagLib's reading of the tag included.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
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

namespace {

// A value of /proc/self/status in kilobytes, or -1.
long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    const size_t length = std::strlen(key);
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, length, key) == 0 && line.size() > length && line[length] == ':')
            return std::stol(line.substr(length + 1));
    return -1;
}

// An ID3v2.3 frame: id, 32-bit size, no flags, body.
void AddFrame(std::vector<uint8_t>& tag, const char* id, const std::string& body) {
    tag.insert(tag.end(), id, id + 4);
    const auto n = static_cast<uint32_t>(body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        tag.push_back(static_cast<uint8_t>(n >> shift));
    tag.push_back(0);
    tag.push_back(0);
    tag.insert(tag.end(), body.begin(), body.end());
}

// A file behind an ID3v2.3 tag of the given frames.
std::vector<uint8_t> BehindTag(const std::vector<uint8_t>& frames) {
    std::vector<uint8_t> file = {'I', 'D', '3', 3, 0, 0};
    const auto n = static_cast<uint32_t>(frames.size());
    for (int shift = 21; shift >= 0; shift -= 7)
        file.push_back(static_cast<uint8_t>((n >> shift) & 0x7F));
    file.insert(file.end(), frames.begin(), frames.end());
    const std::vector<uint8_t> audio = velmora::test::TMp3Builder().Frames({}, 20).Build();
    file.insert(file.end(), audio.begin(), audio.end());
    return file;
}

// The files the reading of a tag must bear: the damaged-tag corpus, a cover of 100 MB and a tag
// of 100 000 frames.
const std::vector<std::string>& HostileTags() {
    static velmora::test::TempDir dir;
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(VELMORA_TEST_DATA "/damaged"))
            found.push_back(e.path().string());
        std::vector<uint8_t> frames;
        AddFrame(frames, "TIT2", std::string("\0Title", 6));
        std::string picture("\0image/jpeg\0\3\0", 15);
        picture.resize(picture.size() + (size_t{100} << 20), '\x5A');
        AddFrame(frames, "APIC", picture);
        velmora::test::WriteFile(dir.File("cover-100mb.mp3"), BehindTag(frames));
        frames.clear();
        AddFrame(frames, "TIT2", std::string("\0Title", 6));
        for (int i = 0; i < 100000; ++i)
            AddFrame(frames, i % 2 ? "COMM" : "TXXX",
                     std::string("\0eng", 4) + "note " + std::to_string(i) + '\0' + "text");
        velmora::test::WriteFile(dir.File("frames-100000.mp3"), BehindTag(frames));
        found.push_back(dir.File("cover-100mb.mp3"));
        found.push_back(dir.File("frames-100000.mp3"));
        return found;
    }();
    return paths;
}

}  // namespace

// Showing one file of HostileTags (its analysis with the ID3v2 fields read), each in a child of
// its own so that its peak memory is its own: the largest time and the largest growth of the
// resident memory a file, which must stay within 100 ms and 64 MB.
void BM_HostileTagsOneFileAtATime(benchmark::State& state) {
    const std::vector<std::string>& paths = HostileTags();
    double worstMs = 0, worstMb = 0;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            int pipeFd[2];
            if (pipe(pipeFd) != 0)
                state.SkipWithError("pipe");
            const pid_t child = fork();
            if (child == 0) {
                std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts from here
                const long before = StatusKb("VmHWM");
                timespec t0{}, t1{};
                clock_gettime(CLOCK_MONOTONIC, &t0);
                velmora::TAudioInfo info;
                try {
                    info.LoadFromFile(path);
                } catch (...) {
                }
                clock_gettime(CLOCK_MONOTONIC, &t1);
                const double result[2] = {
                    (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6,
                    (StatusKb("VmHWM") - before) / 1024.0};
                benchmark::DoNotOptimize(write(pipeFd[1], result, sizeof result));
                _exit(0);
            }
            double result[2] = {0, 0};
            benchmark::DoNotOptimize(read(pipeFd[0], result, sizeof result));
            close(pipeFd[0]);
            close(pipeFd[1]);
            waitpid(child, nullptr, 0);
            worstMs = std::max(worstMs, result[0]);
            worstMb = std::max(worstMb, result[1]);
        }
    }
    state.counters["files"] = static_cast<double>(paths.size());
    state.counters["worst_ms_a_file"] = worstMs;
    state.counters["worst_MB_a_file"] = worstMb;
}
BENCHMARK(BM_HostileTagsOneFileAtATime)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
