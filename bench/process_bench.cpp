// SPDX-License-Identifier: GPL-3.0-or-later
// kestrix-batch as its users meet it: fresh processes spawned one after the other, beside what they
// cannot do without (the same run's I/O floor in this process, plus the start of a bare process), and a
// batch of 200 recordings analysed one at a time and two at a time.
#include "bench/bench_setup.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrix::bench {

namespace {

constexpr const char* strBatchProgram = KESTRIX_BATCH_PROGRAM;
constexpr int lngBatchFiles = 200;

// Runs the program with these arguments, its output to /dev/null, and waits for it; false when it
// could not be started or did not exit with 0.
bool runProgram(const std::vector<std::string>& strArgs)
{
    std::vector<char*> argv{const_cast<char*>(strBatchProgram)};
    for (const std::string& strArg : strArgs) {
        argv.push_back(const_cast<char*>(strArg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int intSpawned = posix_spawn(&pid, strBatchProgram, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int intStatus = 0;
    return intSpawned == 0 && ::waitpid(pid, &intStatus, 0) == pid && WIFEXITED(intStatus) &&
           WEXITSTATUS(intStatus) == 0;
}

void spawnEach(benchmark::State& state, const std::vector<std::string>& strArgs)
{
    for (auto _ : state) {
        if (!runProgram(strArgs)) {
            state.SkipWithError("kestrix-batch failed");
            break;
        }
    }
}

// A fresh process on the 65536-point recording with every switch on.
void freshProcess(benchmark::State& state)
{
    spawnEach(state, {"--fs", std::to_string(lngBenchSampFreq), "--points", std::to_string(lngBenchPoints),
                      benchFiles().strRecording});
}

// The start and end of a process that does nothing else.
void bareProcess(benchmark::State& state)
{
    spawnEach(state, {"--version"});
}

// 200 names of the recording (links to its one file) in a folder of their own, as FILE arguments.
const std::vector<std::string>& batchFileNames()
{
    static const std::vector<std::string> strNames = [] {
        const std::string strFolder = benchFiles().strFolder + "/batch";
        std::filesystem::create_directories(strFolder);
        std::vector<std::string> strMade;
        for (int i = 0; i < lngBatchFiles; ++i) {
            const std::string strName = strFolder + "/rec" + std::to_string(i) + ".csv";
            std::filesystem::remove(strName);
            std::filesystem::create_hard_link(benchFiles().strRecording, strName);
            strMade.push_back(strName);
        }
        return strMade;
    }();
    return strNames;
}

// The batch of 200 recordings (spectrum file only) with -j as given.
void batchOf200(benchmark::State& state, const char* strJobs)
{
    std::vector<std::string> strArgs{"-j",        strJobs,
                                     "--no-band", "--no-wave",
                                     "--fs",      std::to_string(lngBenchSampFreq),
                                     "--points",  std::to_string(lngBenchPoints)};
    const std::vector<std::string>& strFiles = batchFileNames();
    strArgs.insert(strArgs.end(), strFiles.begin(), strFiles.end());
    spawnEach(state, strArgs);
}

void batchJobs1(benchmark::State& state)
{
    batchOf200(state, "1");
}

void batchJobs2(benchmark::State& state)
{
    batchOf200(state, "2");
}

} // namespace

BENCHMARK(freshProcess)->Name("process65536/all_on/fresh")->Unit(benchmark::kMillisecond);
BENCHMARK(bareProcess)->Name("process/bare_start")->Unit(benchmark::kMillisecond);
BENCHMARK(batchJobs1)->Name("batch200/band_off/j1")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(batchJobs2)->Name("batch200/band_off/j2")->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace kestrix::bench
