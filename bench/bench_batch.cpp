// The batch over a whole folder: transliterate, merge, save the tags, and rename and move every
// file into a folder of its own in one move. Each iteration gets a freshly generated folder,
// made outside the timing; the folder is opened (scanned and timed through) outside the timing
// too, so the figure is the batch alone. The floor beside it reads every file of the same kind
// of folder once, whole: the least any pass over the files costs; the analysis floor analyses
// each file once, as making it current does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/MainModel.h"
#include "tests/support/Mp3Builder.h"
#include "tests/support/ScriptedPort.h"
#include "tools/GenFolder.h"

namespace {

using velmora::TMainModel;
using velmora::test::TempDir;
using velmora::test::TScriptedPort;

std::vector<std::string> MakeFolder(const TempDir& dir, int count) {
    return velmora::tools::GenerateFolder(dir.Path(), {.Count = count, .Cyrillic = true});
}

// Reads every file whole through the plain system calls.
void ReadEach(const std::vector<std::string>& files) {
    static char buffer[1 << 16];
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw std::runtime_error("cannot open " + path);
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    }
}

void BM_ReadFloor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TempDir dir;
    const std::vector<std::string> files = MakeFolder(dir, count);
    for (auto _ : state)
        ReadEach(files);
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

// Analyses every file once, as making it the current track does.
void BM_AnalysisFloor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TempDir dir;
    const std::vector<std::string> files = MakeFolder(dir, count);
    velmora::TAudioInfo info;
    for (auto _ : state) {
        for (const std::string& path : files)
            info.LoadFromFile(path);
        benchmark::DoNotOptimize(info.Duration);
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

enum class EFolders { Numbered, Named };

void RunBatch(benchmark::State& state, EFolders folders) {
    const int count = static_cast<int>(state.range(0));
    int64_t messages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<TempDir> dir(std::in_place);
        MakeFolder(*dir, count);
        TScriptedPort port;
        TMainModel model(port);
        model.FormCreate();
        port.FolderAnswers.push_back(dir->Path());
        model.Run([&] { model.FileMenuAddDirClick(); });
        model.Run([&] {
            for (velmora::TCheckBox* box :
                 {&model.cbAllFilesTrans, &model.cbAllFilesSplit, &model.cbAllFilesRename,
                  &model.cbAllFilesMoveToDir, &model.cbRenameMoveOneTime}) {
                box->Checked = true;
                model.cbAllFilesTransClick();
            }
            model.rbNum.Checked = folders == EFolders::Numbered;
            model.rbFileName.Checked = folders == EFolders::Named;
            model.rbNumClick();
        });
        state.ResumeTiming();

        model.Run([&] { model.btnProcessAllClick(); });

        state.PauseTiming();
        if (!port.Errors.empty() || !model.TrackList.empty())
            state.SkipWithError("the batch did not move every file");
        messages += static_cast<int64_t>(port.Messages.size());
        dir.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(count),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["messages"] = static_cast<double>(messages);
}

void BM_BatchNumberedFolders(benchmark::State& state) {
    RunBatch(state, EFolders::Numbered);
}
void BM_BatchNamedFolders(benchmark::State& state) {
    RunBatch(state, EFolders::Named);
}

BENCHMARK(BM_ReadFloor)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalysisFloor)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);
// 250 files: within the 253 numbered folders.
BENCHMARK(BM_BatchNumberedFolders)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchNamedFolders)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
