// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses of long recordings on one thread and on every core, side by side: the averaged
// spectrum and the spectrogram of ten minutes at 25 600 Hz (65536 points, Hann, 50 %) and of one hour
// at 48 000 Hz (4096 points), each read from its 16-bit Wave file, and two one-thread analyses of the ten
// minutes at once (the machine's bound for every core); then scipy's Welch method on the
// hour through the system's Python, and kestrix-batch on it. Their floors (the file read and FFTW's
// real transforms of the same windowed segments, summed) are in fftw_bench.cpp when FFTW is there.
#include "bench/bench_paths.h"
#include "bench/long_recordings.h"
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/segment_pipeline.h"
#include "engine/recordings/spectrogram.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <thread>

namespace kestrix::bench {

namespace {

const LongRecording& recordingOf(bool blnHour)
{
    return blnHour ? hourRecording() : tenMinuteRecording();
}

engine::AverageRequest requestOf(bool blnHour, std::int32_t lngThreads)
{
    engine::AverageRequest request;
    request.settings = {blnHour ? 4096 : 65536, engine::WindowKind::Hann, 50.0};
    request.lngSampFreq = recordingOf(blnHour).lngSampFreq;
    request.lngThreads = lngThreads;
    return request;
}

// The averaged spectrum, or with blnSpectrogram the spectrogram filled from the same pass, as the view
// reads a recording (no file written); why not, if it was refused.
std::string analyseOnce(const LongRecording& recording, const engine::AverageRequest& request, bool blnSpectrogram)
{
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::unique_ptr<engine::Spectrogram> spectrogram;
    engine::AverageHooks hooks;
    if (blnSpectrogram) {
        spectrogram = std::make_unique<engine::Spectrogram>(engine::spectrogramLayout(
            request.settings, recording.lngSampFreq, 5.0 / engine::dblFullScaleCount, recording.lngSamples));
        hooks.digest = spectrogram->segmentDigest();
    }
    const engine::AverageFileResult result =
        engine::averageRecording(request, recording.strWave, files, sounds, engine::computePI(), hooks);
    benchmark::DoNotOptimize(result.dblValues.data());
    return result.analysed() ? std::string() : result.strRefusal;
}

// lngThreads 0: every core.
void analyse(benchmark::State& state, bool blnHour, bool blnSpectrogram, std::int32_t lngThreads)
{
    const LongRecording& recording = recordingOf(blnHour);
    const engine::AverageRequest request = requestOf(blnHour, lngThreads);
    for (auto _ : state) {
        if (const std::string strRefusal = analyseOnce(recording, request, blnSpectrogram); !strRefusal.empty()) {
            state.SkipWithError(strRefusal.c_str());
            break;
        }
    }
    state.counters["threads"] = engine::analysisThreads(lngThreads);
}

// Two one-thread analyses of the ten minutes at once, each with its own reading ahead: what two wholly
// independent halves of the work cost on this machine, where the cores share caches and memory. Against
// two in turn, it bounds what every core can gain over one thread.
void analyseTwoAtOnce(benchmark::State& state, bool blnSpectrogram)
{
    const LongRecording& recording = recordingOf(false);
    const engine::AverageRequest request = requestOf(false, 1);
    for (auto _ : state) {
        std::string strOther;
        std::thread other([&] { strOther = analyseOnce(recording, request, blnSpectrogram); });
        const std::string strRefusal = analyseOnce(recording, request, blnSpectrogram);
        other.join();
        if (!strRefusal.empty() || !strOther.empty()) {
            state.SkipWithError((strRefusal + strOther).c_str());
            break;
        }
    }
}

void hourProcess(benchmark::State& state, bool blnPython)
{
    const LongRecording& recording = hourRecording();
    const std::vector<std::string> strArgs = blnPython
                                                 ? std::vector<std::string>{std::string(strSystemPython),
                                                                            std::string(strWelchReference),
                                                                            recording.strWave,
                                                                            recording.strWave + ".welch.csv",
                                                                            "--points",
                                                                            "4096"}
                                                 : std::vector<std::string>{std::string(strBatchProgram), "--average",
                                                                            "--points", "4096", recording.strWave};
    for (auto _ : state) {
        if (!runProcess(strArgs)) {
            state.SkipWithError(("failed: " + strArgs[0]).c_str());
            break;
        }
    }
}

} // namespace

BENCHMARK_CAPTURE(analyse, avg10_1, false, false, 1)
    ->Name("long/average10min/threads1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(analyse, avg10_all, false, false, 0)
    ->Name("long/average10min/every_core")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(analyse, spg10_1, false, true, 1)
    ->Name("long/spectrogram10min/threads1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(analyse, spg10_all, false, true, 0)
    ->Name("long/spectrogram10min/every_core")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(analyseTwoAtOnce, avg10_two, false)
    ->Name("long/average10min/two_at_once")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(analyseTwoAtOnce, spg10_two, true)
    ->Name("long/spectrogram10min/two_at_once")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// An hour takes a second or more: one run a repetition.
BENCHMARK_CAPTURE(analyse, avg60_1, true, false, 1)
    ->Name("long/average1h/threads1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(analyse, avg60_all, true, false, 0)
    ->Name("long/average1h/every_core")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(analyse, spg60_1, true, true, 1)
    ->Name("long/spectrogram1h/threads1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(analyse, spg60_all, true, true, 0)
    ->Name("long/spectrogram1h/every_core")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(hourProcess, kestrix, false)->Name("process1h/kestrix")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(hourProcess, python, true)->Name("process1h/python")->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace kestrix::bench
