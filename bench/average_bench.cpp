// SPDX-License-Identifier: GPL-3.0-or-later
// The averaged analysis of a ten-minute recording at 25 600 Hz (15 360 000 samples; 65536 points,
// Hann, 50 %), read from a 16-bit Wave file and from one-column text, each beside its floor: reading
// and decoding the same samples (the raw 16-bit data; the text parsed with std::from_chars) plus
// transforming every segment with the same FFT, two segments to one complex transform, and nothing
// else. Then the whole job as a user runs it, each a fresh process: kestrix-batch --average, and
// scipy's Welch method through bench/welch_reference.py with the system's Python.
#include "bench/bench_paths.h"
#include "bench/bench_setup.h"
#include "bench/io_floor.h"
#include "bench/long_recordings.h"
#include "engine/recordings/average_analysis.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrix::bench {

namespace {

constexpr std::int32_t lngLongPoints = 65536;
constexpr std::int32_t lngLongStep = lngLongPoints / 2; // 50 % overlap

const LongRecording& longRecording()
{
    return tenMinuteRecording();
}

engine::AverageRequest longRequest()
{
    engine::AverageRequest request;
    request.settings = {lngLongPoints, engine::WindowKind::Hann, 50.0};
    request.lngSampFreq = longRecording().lngSampFreq;
    return request;
}

void averageEngine(benchmark::State& state, bool blnWave)
{
    const LongRecording& recording = longRecording();
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    const double dblPI = engine::computePI();
    for (auto _ : state) {
        const engine::AverageFileResult result = engine::analyseAverage(
            longRequest(), blnWave ? recording.strWave : recording.strText, files, sounds, dblPI);
        if (!result.analysed()) {
            state.SkipWithError(result.strRefusal.c_str());
            break;
        }
    }
}

// Every line of a one-column text (CR LF or LF) parsed with std::from_chars.
void parseText(std::string_view chrBytes, std::vector<double>& dblSamples)
{
    dblSamples.clear();
    const char* pch = chrBytes.data();
    const char* const pchEnd = pch + chrBytes.size();
    while (pch < pchEnd) {
        const char* pchLineEnd =
            static_cast<const char*>(std::memchr(pch, '\n', static_cast<std::size_t>(pchEnd - pch)));
        pchLineEnd = pchLineEnd == nullptr ? pchEnd : pchLineEnd;
        const char* const pchTextEnd = pchLineEnd > pch && pchLineEnd[-1] == '\r' ? pchLineEnd - 1 : pchLineEnd;
        double dblValue = 0.0;
        if (std::from_chars(pch, pchTextEnd, dblValue).ec != std::errc()) {
            throw std::runtime_error("not a number");
        }
        dblSamples.push_back(dblValue);
        pch = pchLineEnd + 1;
    }
}

// The floor: the file read whole, then every segment transformed, two at a time; the Wave file's
// samples decoded straight into the transform's input, the text's parsed into an array first. The
// buffers are kept from one iteration to the next, so the floor pays no page faults for them.
void averageFloor(benchmark::State& state, bool blnWave)
{
    const LongRecording& recording = longRecording();
    const engine::FftPlan fft(lngLongPoints, (-2 * engine::computePI()) / lngLongPoints);
    std::vector<double> dblR(lngLongPoints);
    std::vector<double> dblI(lngLongPoints);
    std::string chrBytes;
    std::vector<double> dblSamples;
    for (auto _ : state) {
        readFileInto(blnWave ? recording.strWave : recording.strText, chrBytes);
        if (!blnWave) {
            parseText(chrBytes, dblSamples);
        }
        const std::int64_t lngSamples = blnWave ? static_cast<std::int64_t>(chrBytes.size() - 44) / 2
                                                : static_cast<std::int64_t>(dblSamples.size());
        const std::int64_t lngSegments = (lngSamples - lngLongPoints) / lngLongStep + 1;
        for (std::int64_t s = 0; s < lngSegments; s += 2) {
            for (const auto& [lngSegment, dblTarget] : {std::pair{s, &dblR}, std::pair{s + 1, &dblI}}) {
                if (lngSegment >= lngSegments) {
                    std::fill(dblTarget->begin(), dblTarget->end(), 0.0);
                } else if (blnWave) {
                    decodeWave(chrBytes, lngSegment * lngLongStep, lngLongPoints, dblTarget->data());
                } else {
                    std::copy_n(dblSamples.begin() + lngSegment * lngLongStep, lngLongPoints, dblTarget->begin());
                }
            }
            fft.transform(dblR, dblI);
            benchmark::DoNotOptimize(dblR.data());
        }
    }
}

void processRun(benchmark::State& state, bool blnWave, bool blnPython)
{
    const LongRecording& recording = longRecording();
    const std::string& strInput = blnWave ? recording.strWave : recording.strText;
    const std::string strFs = std::to_string(recording.lngSampFreq);
    const std::string strPoints = std::to_string(lngLongPoints);
    std::vector<std::string> strArgs = {std::string(strBatchProgram), "--average", "--points", strPoints};
    if (!blnWave) {
        strArgs.insert(strArgs.end(), {"--fs", strFs});
    }
    if (blnPython) {
        strArgs = {std::string(strSystemPython),
                   std::string(strWelchReference),
                   strInput,
                   strInput + ".welch.csv",
                   "--fs",
                   strFs,
                   "--points",
                   strPoints};
    } else {
        strArgs.push_back(strInput);
    }
    for (auto _ : state) {
        if (!runProcess(strArgs)) {
            state.SkipWithError(("failed: " + strArgs[0] + " " + strArgs[1]).c_str());
            break;
        }
    }
}

} // namespace

bool runProcess(const std::vector<std::string>& strArgs)
{
    std::vector<char*> pchArgs;
    for (const std::string& strArg : strArgs) {
        pchArgs.push_back(const_cast<char*>(strArg.c_str()));
    }
    pchArgs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int intSpawned = posix_spawn(&pid, pchArgs[0], &actions, nullptr, pchArgs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int intStatus = 0;
    return intSpawned == 0 && waitpid(pid, &intStatus, 0) == pid && WIFEXITED(intStatus) && WEXITSTATUS(intStatus) == 0;
}

BENCHMARK_CAPTURE(averageEngine, wav, true)->Name("average/wav/engine")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(averageFloor, wav, true)->Name("average/wav/floor")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(averageEngine, text, false)->Name("average/text/engine")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(averageFloor, text, false)->Name("average/text/floor")->Unit(benchmark::kMillisecond);
// Each a few seconds: one run a repetition. The real time is what counts (this process only waits).
BENCHMARK_CAPTURE(processRun, wav_kestrix, true, false)->Name("process/wav/kestrix")->Iterations(1);
BENCHMARK_CAPTURE(processRun, wav_python, true, true)->Name("process/wav/python")->Iterations(1);
BENCHMARK_CAPTURE(processRun, text_kestrix, false, false)->Name("process/text/kestrix")->Iterations(1);
BENCHMARK_CAPTURE(processRun, text_python, false, true)->Name("process/text/python")->Iterations(1);

} // namespace kestrix::bench
