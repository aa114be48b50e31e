// The image of a folder, and the image command with its check, against a plain copy of the same
// bytes into one file, in the same run.
// The folder is 1000 generated MP3 files, tagged with covers, in four folders of 250; both write
// beside each other in a temporary folder and flush to the disk at the end, so the ratio of the two
// is the cost of the image over the bytes themselves.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "cli/CliCommand.h"
#include "core/disc/DiscImage.h"
#include "core/tags/Naming.h"

namespace {

using velmora::test::TempDir;

// The folder, made once for both benchmarks.
struct TDiscFolder {
    TempDir Music, Out;
    std::vector<std::string> Paths;
    TDiscFolder() {
        for (int i = 0; i < 1000; ++i) {
            // Files as a tagger leaves them: an ID3v2.3 tag on each, a cover of 100–350 KB on
            // every other one.
            const velmora::tools::TGenFile file =
                velmora::tools::GenerateFile(i, {.Count = 1000,
                                                 .Kind = velmora::tools::TGenKind::Tagged,
                                                 .CoverEvery = 2,
                                                 .CoverKB = 100 + 25 * (i % 11)});
            const std::string folder = Music.File(velmora::NumberedFolderName(i / 250 + 1));
            std::filesystem::create_directories(folder);
            Paths.push_back(folder + "/" + file.Name);
            velmora::test::WriteFile(Paths.back(), file.Bytes);
        }
    }
    static TDiscFolder& Get() {
        static TDiscFolder folder;
        return folder;
    }
};

int64_t FolderBytes() {
    int64_t bytes = 0;
    for (const std::string& path : TDiscFolder::Get().Paths)
        bytes += static_cast<int64_t>(std::filesystem::file_size(path));
    return bytes;
}

void BM_Image(benchmark::State& state) {
    TDiscFolder& folder = TDiscFolder::Get();
    const velmora::TDiscCheck check = velmora::CheckDisc(
        velmora::RealFileSystem(), folder.Music.Path(), velmora::DiscProfiles().front());
    const std::string out = folder.Out.File("disc.iso");
    for (auto _ : state) {
        const velmora::TDiscImageResult result = velmora::WriteDiscImage(check, out, true, nullptr);
        if (!result.Ok)
            state.SkipWithError(result.Message.c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * FolderBytes());
}

void BM_Copy(benchmark::State& state) {
    TDiscFolder& folder = TDiscFolder::Get();
    const std::string out = folder.Out.File("copy.bin");
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        const int to = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (const std::string& path : folder.Paths) {
            const int from = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ssize_t n;
            while ((n = ::read(from, buffer.data(), buffer.size())) > 0)
                if (::write(to, buffer.data(), static_cast<size_t>(n)) != n)
                    state.SkipWithError("write failed");
            ::close(from);
        }
        ::fsync(to);
        ::close(to);
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * FolderBytes());
}

// `velmora-cli image` as a whole: the check (which analyses every file and reads its tags) and the
// image, with the folder's lock.
void BM_ImageCommand(benchmark::State& state) {
    TDiscFolder& folder = TDiscFolder::Get();
    const std::string out = folder.Out.File("disc.iso");
    for (auto _ : state) {
        std::ostringstream lines, errors;
        if (velmora::RunCli({"image", folder.Music.Path(), out, "--replace"}, lines, errors) != 0)
            state.SkipWithError(errors.str().c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * FolderBytes());
}

// The check alone: what the image command does before it writes.
void BM_Check(benchmark::State& state) {
    TDiscFolder& folder = TDiscFolder::Get();
    for (auto _ : state)
        benchmark::DoNotOptimize(velmora::CheckDisc(velmora::RealFileSystem(), folder.Music.Path(),
                                                    velmora::DiscProfiles().front()));
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Image)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ImageCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
