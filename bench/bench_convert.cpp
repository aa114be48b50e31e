// The conversion against ffmpeg's own libmp3lame encoder, in the same run, on the same files at the
// same bitrate: eight FLAC files of 30 s (music-like noise and tones, Cyrillic tags, a 200 KB
// cover each), made once by ffmpeg. ffmpeg runs file by file as N processes at once; the program
// converts with N workers. Counters:
//   x_ffmpeg    the program's time over ffmpeg's with as many jobs (target: at most 1.2);
//   x_one_job   one job's time over N jobs' (the program's target: at least 0.8 × N; ffmpeg's
//               shows what the machine gave N processes in the same run);
//   disc_min, disc_cpu_min   a 700 MB disc's worth of FLAC (8.5 hours of audio, what 700 MB of
//               MP3 at 192 kbit/s holds), the time and the CPU time scaled from these files.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/convert/ConvertRun.h"
#include "tools/Mp3Builder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 8;
constexpr double kSecondsEach = 30;
constexpr int kKbps = 192;
// 700 MB of MP3 at 192 kbit/s.
constexpr double kDiscSeconds = 700.0 * 1024 * 1024 * 8 / (kKbps * 1000);

struct TFiles {
    velmora::test::TempDir Dir;
    std::vector<std::string> Sources;
    TFiles() {
        fs::create_directory(Dir.File("in"));
        fs::create_directory(Dir.File("ffmpeg"));
        const std::string cover = Dir.File("cover.jpg");
        Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=900x900:duration=1 "
            "-frames:v 1 -q:v 2 '" +
            cover + "'");
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = Dir.File("in/Песня " + std::to_string(i + 1) + ".flac");
            Run("ffmpeg -nostdin -v error -y -filter_complex \"anoisesrc=d=" +
                std::to_string(kSecondsEach) + ":c=pink:a=0.25:seed=" + std::to_string(i + 1) +
                "[n];sine=f=" + std::to_string(180 + 40 * i) +
                ":d=" + std::to_string(kSecondsEach) +
                "[s];[n][s]amix=inputs=2,aformat=channel_layouts=stereo[a]\" -i '" + cover +
                "' -map '[a]' -map 0:v -c:v copy -disposition:v attached_pic -metadata "
                "title='Песня " +
                std::to_string(i + 1) +
                "' -metadata artist='Исполнитель' -metadata album='Альбом' '" + path + "'");
            Sources.push_back(path);
        }
    }
    static void Run(const std::string& command) {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
            std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
    void RemoveOutputs() const {
        for (const auto& folder : {Dir.File("in"), Dir.File("ffmpeg")})
            for (const auto& e : fs::directory_iterator(folder))
                if (e.path().extension() == ".mp3")
                    fs::remove(e.path());
    }
    static TFiles& Get() {
        static TFiles files;
        return files;
    }
};

double CpuSeconds(int who) {
    struct rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::map<int64_t, double> FfmpegSeconds, OwnSeconds;  // per iteration, by jobs

// Runs `body` once per iteration with the outputs removed before (not timed); the mean wall and
// CPU seconds of an iteration.
template <typename F>
std::pair<double, double> Timed(benchmark::State& state, int cpuWho, F body) {
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TFiles::Get().RemoveOutputs();
        state.ResumeTiming();
        const double cpuBefore = CpuSeconds(cpuWho);
        const auto start = std::chrono::steady_clock::now();
        body();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += CpuSeconds(cpuWho) - cpuBefore;
    }
    const auto n = static_cast<double>(state.iterations());
    return {wall / n, cpu / n};
}

void BM_FfmpegLibmp3lame(benchmark::State& state) {
    const TFiles& files = TFiles::Get();
    const auto jobs = static_cast<size_t>(state.range(0));
    const auto [wall, cpu] = Timed(state, RUSAGE_CHILDREN, [&] {
        size_t running = 0;
        for (size_t i = 0; i < files.Sources.size(); ++i) {
            if (running == jobs) {
                ::wait(nullptr);
                --running;
            }
            const std::string out =
                files.Dir.File("ffmpeg/" + fs::path(files.Sources[i]).stem().string() + ".mp3");
            if (::fork() == 0) {
                ::execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-y", "-i",
                         files.Sources[i].c_str(), "-map", "0", "-c:v", "copy", "-c:a",
                         "libmp3lame", "-b:a", "192k", out.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            ++running;
        }
        while (running-- > 0)
            ::wait(nullptr);
    });
    FfmpegSeconds[state.range(0)] = wall;
    state.counters["cpu_s"] = cpu;
    // How much the machine gave N processes: the same counter for ffmpeg, to read the program's
    // beside it on a machine shared with other work.
    if (state.range(0) > 1 && FfmpegSeconds.count(1))
        state.counters["x_one_job"] = FfmpegSeconds[1] / wall;
}

void BM_Velmora(benchmark::State& state) {
    const TFiles& files = TFiles::Get();
    files.RemoveOutputs();
    velmora::TConvertSettings settings;
    settings.Kbps = kKbps;
    const velmora::TConvertPlan plan =
        velmora::PlanConversion(velmora::RealFileSystem(), files.Dir.File("in"), settings);
    if (plan.Convertible() != static_cast<size_t>(kFiles)) {
        state.SkipWithError("the plan does not hold every file");
        return;
    }
    const auto [wall, cpu] = Timed(state, RUSAGE_SELF, [&] {
        for (const auto& outcome :
             velmora::RunConversion(plan, static_cast<int>(state.range(0)), {}))
            if (outcome.State != velmora::TConvertOutcome::EState::Done)
                state.SkipWithError(outcome.Message.c_str());
    });
    OwnSeconds[state.range(0)] = wall;
    state.counters["cpu_s"] = cpu;
    if (FfmpegSeconds.count(state.range(0)))
        state.counters["x_ffmpeg"] = wall / FfmpegSeconds[state.range(0)];
    if (state.range(0) > 1 && OwnSeconds.count(1))
        state.counters["x_one_job"] = OwnSeconds[1] / wall;
    const double audio = kFiles * kSecondsEach;
    state.counters["disc_min"] = wall / audio * kDiscSeconds / 60;
    state.counters["disc_cpu_min"] = cpu / audio * kDiscSeconds / 60;
}

const int64_t kCores = std::max<int64_t>(2, std::thread::hardware_concurrency());

BENCHMARK(BM_FfmpegLibmp3lame)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Velmora)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FfmpegLibmp3lame)
    ->Arg(kCores)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_Velmora)->Arg(kCores)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
