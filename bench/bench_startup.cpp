// The start of velmora-cli for commands that neither burn, write an image nor convert (its
// --version, and list of a folder of one file) against a C++ program that links the same
// standard library and prints one line, each started and waited for in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "bench/BenchSupport.h"

extern char** environ;

namespace {

void Spawn(benchmark::State& state, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the program failed");
    }
    posix_spawn_file_actions_destroy(&actions);
}

void BM_Floor(benchmark::State& state) {
    Spawn(state, {VELMORA_STARTUP_FLOOR});
}

void BM_Version(benchmark::State& state) {
    Spawn(state, {VELMORA_CLI, "--version"});
}

void BM_ListOneFile(benchmark::State& state) {
    static const velmora::bench::TBenchFolder folder(1);
    Spawn(state, {VELMORA_CLI, "list", folder.Dir.Path()});
}

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Version)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ListOneFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
