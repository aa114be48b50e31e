// The copy onto a stick (the write in the list's order, each file flushed, and the check that
// reads every file back) against `cp -r` of the same folder followed by `sync -f`, onto the same
// temporary folder, in each iteration of the same run. The counter "ratio" is the copy's time
// over cp's; "write_ratio" leaves the check out.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/stick/StickWrite.h"
#include "tools/GenFolder.h"
#include "tools/Mp3Builder.h"

namespace {

using velmora::test::TempDir;
using Clock = std::chrono::steady_clock;

// 20 files as a tagger leaves them: an ID3v2.3 tag, a cover of 100–350 KB on each.
struct TStickFolder {
    TempDir Music, Out;
    std::string Folder;
    TStickFolder() : Folder(Music.File("Album")) {
        std::filesystem::create_directories(Folder);
        for (int i = 0; i < 20; ++i) {
            const velmora::tools::TGenFile file =
                velmora::tools::GenerateFile(i, {.Count = 20,
                                                 .Kind = velmora::tools::TGenKind::Tagged,
                                                 .CoverEvery = 1,
                                                 .CoverKB = 100 + 25 * (i % 11)});
            velmora::test::WriteFile(Folder + "/" + file.Name, file.Bytes);
        }
    }
};

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void BM_StickAgainstCp(benchmark::State& state) {
    static TStickFolder folder;
    velmora::TStickVolume volume = velmora::ProbeStickVolume(folder.Out.Path());
    // A disk's own file system lists in an order of its own: the check compares the names only.
    volume.Kind = velmora::TStickVolume::EKind::Fuse;
    volume.Type = "fuse.fusefat";
    const velmora::TStickPlan plan =
        velmora::PlanStick(velmora::RealFileSystem(), folder.Folder, folder.Out.Path(),
                           velmora::StickProfile(velmora::DiscProfiles()[1]), volume);
    const std::string copy = folder.Out.File("cp");
    const std::string cp = "cp -r '" + folder.Folder + "' '" + copy + "' && sync -f '" + copy + "'";
    double stick = 0, written = 0, baseline = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (std::system(cp.c_str()) != 0)
            state.SkipWithError("cp failed");
        const double cpTime = Seconds(start);
        baseline += cpTime;
        start = Clock::now();
        Clock::time_point checkStart{};
        const velmora::TStickResult result =
            velmora::WriteStick(plan, [&checkStart](const velmora::TProgress& p) {
                if (p.Key == "verify" && checkStart == Clock::time_point{})
                    checkStart = Clock::now();
                return true;
            });
        const double stickTime = Seconds(start);
        stick += stickTime;
        written += checkStart == Clock::time_point{}
                       ? stickTime
                       : std::chrono::duration<double>(checkStart - start).count();
        if (!result.Ok())
            state.SkipWithError(result.Message.c_str());
        state.SetIterationTime(stickTime);
        bytes += plan.Bytes;
        std::filesystem::remove_all(copy);
        std::filesystem::remove_all(result.Folder);
    }
    state.counters["ratio"] = stick / baseline;
    state.counters["write_ratio"] = written / baseline;
    state.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK(BM_StickAgainstCp)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

BENCHMARK_MAIN();
