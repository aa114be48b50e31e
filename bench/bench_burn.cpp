// Burning a 200 MB image onto a pseudo-drive (a file, through libburn) against a plain copy of the
// same image (read, write, fsync) in the same run. Both write a new file beside each other in a
// temporary folder and flush it to the disk at the end; the burn's counter x_copy is its time over
// the copy's time of the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/burn/Burn.h"
#include "tools/Mp3Builder.h"

namespace {

constexpr int64_t kImageBytes = 200LL << 20;

// The image, made once: every byte written, so reading it costs what reading an image costs.
struct TImage {
    velmora::test::TempDir Dir;
    std::string Path = Dir.File("disc.iso");
    TImage() {
        std::vector<char> piece(1 << 20);
        const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (int64_t at = 0; at < kImageBytes; at += static_cast<int64_t>(piece.size())) {
            for (size_t i = 0; i < piece.size(); i += 64)
                piece[i] = static_cast<char>((at >> 20) + static_cast<int64_t>(i));
            if (::write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size()))
                std::perror("write");
        }
        ::fsync(fd);
        ::close(fd);
    }
    static TImage& Get() {
        static TImage image;
        return image;
    }
};

double CopySeconds = 0;  // of the last BM_Copy run, per iteration

template <typename F>
void Timed(benchmark::State& state, const std::string& out, F body, double& seconds) {
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(out.c_str());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        body();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::remove(out.c_str());
    seconds = total / static_cast<double>(state.iterations());
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_Copy(benchmark::State& state) {
    TImage& image = TImage::Get();
    const std::string out = image.Dir.File("copy.bin");
    std::vector<char> buffer(1 << 20);
    Timed(
        state, out,
        [&] {
            const int from = ::open(image.Path.c_str(), O_RDONLY | O_CLOEXEC);
            const int to = ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            ssize_t n;
            while ((n = ::read(from, buffer.data(), buffer.size())) > 0)
                if (::write(to, buffer.data(), static_cast<size_t>(n)) != n)
                    state.SkipWithError("write failed");
            ::fsync(to);
            ::close(to);
            ::close(from);
        },
        CopySeconds);
}

void BM_Burn(benchmark::State& state) {
    TImage& image = TImage::Get();
    velmora::TBurnOptions options;
    options.Address = "stdio:" + image.Dir.File("burn.bin");
    options.Verify = state.range(0) != 0;
    double seconds = 0;
    Timed(
        state, options.Address.substr(6),
        [&] {
            const velmora::TBurnResult r = velmora::BurnImage(image.Path, options, nullptr);
            if (!r.Ok)
                state.SkipWithError(r.Message.c_str());
        },
        seconds);
    if (CopySeconds > 0)
        state.counters["x_copy"] = seconds / CopySeconds;
}

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Burn)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
// With the read-back: not part of the ratio's target, shown for the whole cost.
BENCHMARK(BM_Burn)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
