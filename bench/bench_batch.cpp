// The batch over a whole folder: transliterate, merge, save the tags, and rename and move every
// file into a folder of its own in one move. Each iteration gets a freshly generated folder,
// made outside the timing; the folder is opened (scanned and timed through) outside the timing
// too, so the figure is the batch alone. Its plan is measured beside it on the same kind of folder.
// The floor beside it is the least file work any pass over the same kind of folder does
// (bench/BenchSupport.h); the run's floor adds the least the batch must change on the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/model/MainModel.h"
#include "tests/support/ScriptedPort.h"

namespace {

using velmora::TMainModel;
using velmora::bench::TBenchFolder;
using velmora::test::TScriptedPort;

void BM_Floor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const TBenchFolder folder(count, true);
    for (auto _ : state) {
        int64_t bytes = 0;
        for (const std::string& path : folder.Paths)
            bytes += velmora::bench::FloorRead(path);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

// The disk work of a run that saves every tag and moves every file into a numbered folder of its
// own, and nothing more: the floor's reads, one 128-byte write at the end of the file, one folder
// made and one rename into it. Each iteration gets a fresh folder, made outside the timing.
void BM_RunFloor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<TBenchFolder> folder(std::in_place, count, true);
        const std::string dir = folder->Dir.Path();
        state.ResumeTiming();
        int number = 0;
        for (const std::string& path : folder->Paths) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0)
                continue;
            static thread_local std::vector<uint8_t> buffer(velmora::bench::kFloorHead);
            struct stat st {};
            ::fstat(fd, &st);
            benchmark::DoNotOptimize(::pread(fd, buffer.data(), buffer.size(), 0));
            benchmark::DoNotOptimize(::pread(fd, buffer.data(), 128, st.st_size - 128));
            benchmark::DoNotOptimize(::pwrite(fd, buffer.data(), 128, st.st_size - 128));
            ::close(fd);
            char name[16];
            std::snprintf(name, sizeof name, "/D%03d", ++number % 1000);
            const std::string sub = dir + name;
            ::mkdir(sub.c_str(), 0777);
            ::rename(path.c_str(), (sub + "/x.mp3").c_str());
        }
        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

enum class EFolders { Numbered, Named };

void RunBatch(benchmark::State& state, EFolders folders, bool plan = false) {
    const int count = static_cast<int>(state.range(0));
    int64_t messages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<TBenchFolder> folder(std::in_place, count, true);
        TScriptedPort port;
        TMainModel model(port);
        model.FormCreate();
        model.Run([&] { model.OpenFolder(folder->Dir.Path()); });
        model.Run([&] {
            for (velmora::TCheckBox* box :
                 {&model.cbAllFilesTrans, &model.cbAllFilesSplit, &model.cbAllFilesRename,
                  &model.cbAllFilesMoveToDir, &model.cbRenameMoveOneTime}) {
                model.SetBox(*box, true);
            }
            model.ChooseFolderNaming(folders == EFolders::Numbered);
        });
        state.ResumeTiming();

        if (plan) {
            const velmora::TBatchLog log = model.PlanBatch();
            benchmark::DoNotOptimize(log.data());
        } else {
            model.Run([&] { model.btnProcessAllClick(); });
        }

        state.PauseTiming();
        if (!port.Errors.empty() || model.TrackList.empty() != !plan)
            state.SkipWithError("the batch did not move every file");
        messages += static_cast<int64_t>(port.Messages.size());
        folder.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["messages"] = static_cast<double>(messages);
}

void BM_BatchNumberedFolders(benchmark::State& state) {
    RunBatch(state, EFolders::Numbered);
}
// The plan of the same batch: the batch itself over the pretending file system.
void BM_PlanNumberedFolders(benchmark::State& state) {
    RunBatch(state, EFolders::Numbered, true);
}
void BM_BatchNamedFolders(benchmark::State& state) {
    RunBatch(state, EFolders::Named);
}

// «Удалить ID3v2» after the tags are saved, over files that each carry a cover of 300 KB. Where
// the ID3v1 tag holds the texts the tag goes (the strip); where the saved title is kept empty,
// the tag keeps its texts alone (the slim form). The floor beside them is the least a rewrite of
// each file costs: read whole, written to a new file, flushed, renamed over it.
constexpr int kCoverKB = 300;

void BM_RewriteFloor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<TBenchFolder> folder(std::in_place, count, 1, kCoverKB);
        state.ResumeTiming();
        std::vector<char> bytes;
        for (const std::string& path : folder->Paths) {
            const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            ::fstat(in, &st);
            bytes.resize(static_cast<size_t>(st.st_size));
            benchmark::DoNotOptimize(::read(in, bytes.data(), bytes.size()));
            ::close(in);
            const std::string temp = path + ".tmp";
            const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            benchmark::DoNotOptimize(::write(out, bytes.data(), bytes.size()));
            ::fsync(out);
            ::close(out);
            ::rename(temp.c_str(), path.c_str());
        }
        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void RunStrip(benchmark::State& state, bool slim) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<TBenchFolder> folder(std::in_place, count, 1, kCoverKB);
        TScriptedPort port;
        TMainModel model(port);
        model.FormCreate();
        model.Run([&] { model.OpenFolder(folder->Dir.Path()); });
        velmora::TBatchOptions options;
        options.StripID3v2 = options.Translit = true;
        if (slim)
            options.Set.emplace_back(velmora::TTagField::Title, "");
        model.Run([&] { model.ApplyBatchOptions(options); });
        state.ResumeTiming();
        model.Run([&] { model.btnProcessAllClick(); });
        state.PauseTiming();
        if (!port.Errors.empty() || model.TrackList.empty())
            state.SkipWithError("the batch failed");
        folder.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Strip(benchmark::State& state) {
    RunStrip(state, false);
}
void BM_Slim(benchmark::State& state) {
    RunStrip(state, true);
}

BENCHMARK(BM_Floor)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunFloor)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();
// 250 files: within the 253 numbered folders.
BENCHMARK(BM_BatchNumberedFolders)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanNumberedFolders)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchNamedFolders)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK(BM_RewriteFloor)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Strip)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Slim)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
