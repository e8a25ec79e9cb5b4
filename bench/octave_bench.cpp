// SPDX-License-Identifier: GPL-3.0-or-later
// The third-octave analysis with A weighting of a ten-minute recording at 48 kHz (28 800 000 samples,
// a 16-bit Wave file: 31 bands from 20 Hz to 20 kHz, the overall levels), beside its floor: reading
// the same samples through the same stream and filtering them once with a single third-octave
// band-pass (its six second-order sections, direct form) and summing the squared output, nothing else.
#include "bench/bench_setup.h"
#include "bench/io_floor.h"
#include "engine/recordings/band_filters.h"
#include "engine/recordings/octave_analysis.h"
#include "engine/recordings/octave_bands.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::bench {

namespace {

constexpr std::int32_t lngOctaveSampFreq = 48000;      // Hz
constexpr std::int32_t lngOctaveSamples = 600 * 48000; // ten minutes
constexpr std::size_t lngOctaveChunk = 64 * 1024;      // samples read at a time, as the engine reads

// Traffic noise: pink-ish noise, an engine's tones and a siren's sweep, whole counts.
const std::string& octaveRecording()
{
    static const std::string strPath = [] {
        std::mt19937_64 random(20250101);
        std::normal_distribution<double> noise(0.0, 1500.0);
        std::vector<std::int16_t> intCounts(static_cast<std::size_t>(lngOctaveSamples));
        double dblLow = 0.0;
        for (std::size_t n = 0; n < intCounts.size(); ++n) {
            const double dblTime = static_cast<double>(n) / lngOctaveSampFreq;
            const double dblWhite = noise(random);
            dblLow = 0.995 * dblLow + 0.1 * dblWhite; // more power low down, as traffic has
            const double dblValue =
                dblWhite + dblLow + 2500.0 * std::sin(2.0 * std::numbers::pi * 87.5 * dblTime) +
                800.0 * std::sin(2.0 * std::numbers::pi * (700.0 + 300.0 * std::sin(dblTime)) * dblTime);
            intCounts[n] = static_cast<std::int16_t>(std::clamp(std::nearbyint(dblValue), -32768.0, 32767.0));
        }
        const std::string strMade = benchFiles().strFolder + "/ten_minutes_48k.wav";
        const std::vector<std::uint8_t> bytWave = engine::buildWaveFile(intCounts, lngOctaveSamples, lngOctaveSampFreq);
        writeBytes(strMade, std::string_view(reinterpret_cast<const char*>(bytWave.data()), bytWave.size()));
        return strMade;
    }();
    return strPath;
}

void octaveEngine(benchmark::State& state)
{
    const std::string& strPath = octaveRecording();
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    engine::OctaveRequest request;
    request.settings.lngBandsPerOctave = 3;
    request.settings.weighting = engine::FrequencyWeighting::A;
    request.lngThreads = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        const engine::OctaveFileResult result = engine::octaveRecording(request, strPath, files, sounds);
        if (!result.analysed()) {
            state.SkipWithError(result.strRefusal.c_str());
            break;
        }
        benchmark::DoNotOptimize(result.bands.data());
    }
}

// The floor: the same stream read in the same chunks, one band-pass section set over every sample.
void octaveFloor(benchmark::State& state)
{
    const std::string& strPath = octaveRecording();
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    const engine::OctaveBand band = engine::octaveBand(3, 0);
    std::vector<double> dblChunk(lngOctaveChunk);
    for (auto _ : state) {
        engine::RecordingOpening opening = engine::openRecording(files, sounds, strPath, {});
        engine::SectionCascade filter(engine::butterworthBandPass(6, band.dblLower, band.dblUpper, lngOctaveSampFreq));
        double dblSum = 0.0;
        for (;;) {
            const std::size_t lngGot = opening.stream->readCounts(dblChunk);
            if (lngGot == 0) {
                break;
            }
            const std::span<double> dblRead = std::span<double>(dblChunk).first(lngGot);
            filter.process(dblRead);
            for (const double dbl : dblRead) {
                dblSum += dbl * dbl;
            }
        }
        benchmark::DoNotOptimize(dblSum);
    }
}

} // namespace

BENCHMARK(octaveEngine)->Name("octave/wav/engine")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
// 0: every core (the first stage's bands on a thread of their own).
BENCHMARK(octaveEngine)->Name("octave/wav/every_core")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(octaveFloor)->Name("octave/wav/floor")->Unit(benchmark::kMillisecond);

} // namespace kestrix::bench
