// SPDX-License-Identifier: GPL-3.0-or-later
// A whole 65536-point run through the engine, beside the floor of the same work's I/O: band off and
// Wave off (the spectrum file), then every switch on (five files).
#include "bench/bench_setup.h"
#include "bench/io_floor.h"
#include "engine/run/analysis.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"
#include "engine/run/wave.h"
#include "platform/clock.h"
#include "platform/std/std_text_files.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrix::bench {

namespace {

// Every number a run writes for the recording, computed once through the engine: the floor formats
// exactly these.
struct RunOutputs
{
    std::vector<double> dblFreq;      // the frequency column of both spectrum files
    std::vector<double> dblAmp;       // the spectrum's amplitudes in counts
    std::vector<double> dblVolts;     // the spectrum file's amplitudes
    std::vector<double> dblBandVolts; // the band spectrum file's
    std::vector<double> dblTime;      // the band waveform file's time column
    std::vector<std::int16_t> intBandCounts;
    std::vector<std::int16_t> intInputCounts;
};

// The parameters of the benchmark's runs: 1024 Hz, 65536 points, 5 V, band 200 to 800 Hz.
engine::AnalysisParameters benchParameters(bool blnAllOn)
{
    engine::ControlContents controls;
    controls.strSampFreq = std::to_string(lngBenchSampFreq);
    controls.strNumSamp = std::to_string(lngBenchPoints);
    controls.intBand = blnAllOn ? 1 : 0;
    controls.intWave = blnAllOn ? 1 : 0;
    return engine::readAnalysisParameters(controls).params;
}

RunOutputs computeRunOutputs(const std::string& strRecording)
{
    const engine::AnalysisParameters params = benchParameters(true);
    const engine::RunGeometry geometry = engine::runGeometry(params);
    engine::RunArrays arrays = engine::makeRunArrays(geometry, true, true);
    const std::vector<double> dblSamples = readAndParseSamples(strRecording, lngBenchPoints);
    arrays.dblInData.assign(dblSamples.begin(), dblSamples.end());
    arrays.dblR_SPCData.assign(dblSamples.begin(), dblSamples.end());
    std::fill(arrays.dblI_SPCData.begin(), arrays.dblI_SPCData.end(), 0.0);
    const double dblPI = engine::computePI();
    engine::computeSpectrum(geometry, dblPI, arrays);
    engine::computeBandSpectrum(geometry, params, arrays);
    engine::computeBandWave(geometry, dblPI, arrays);

    RunOutputs outputs;
    outputs.dblAmp.assign(arrays.dblAmpData.begin(), arrays.dblAmpData.end());
    for (std::size_t i = 0; i < arrays.dblAmpData.size(); ++i) {
        outputs.dblFreq.push_back(static_cast<double>(i) * geometry.dblDeltaFreq);
        outputs.dblVolts.push_back(params.dblPosScale * arrays.dblAmpData[i]);
        outputs.dblBandVolts.push_back(params.dblPosScale * arrays.dblAmpBandData[i]);
    }
    for (std::size_t i = 0; i < arrays.dblInData.size(); ++i) {
        outputs.dblTime.push_back(static_cast<double>(i) * geometry.dblDeltaTime);
        outputs.intBandCounts.push_back(static_cast<std::int16_t>(arrays.dblBandWave[i]));
        outputs.intInputCounts.push_back(engine::waveCount(arrays.dblInData[i]));
    }
    return outputs;
}

const RunOutputs& runOutputs()
{
    static const RunOutputs outputs = computeRunOutputs(benchFiles().strRecording);
    return outputs;
}

void wholeRun(benchmark::State& state, bool blnAllOn)
{
    const BenchFiles& files = benchFiles();
    const engine::AnalysisParameters params = benchParameters(blnAllOn);
    platform::StdTextFiles textFiles;
    const double dblPI = engine::computePI();
    for (auto _ : state) {
        const engine::AnalysisResult result =
            engine::analyseFile(params, files.strRecording, textFiles, dblPI, {}, false);
        if (!result.analysed()) {
            state.SkipWithError(("the run was refused: " + result.strRefusal).c_str());
            break;
        }
    }
}

void runBandOff(benchmark::State& state)
{
    wholeRun(state, false);
}

void runAllOn(benchmark::State& state)
{
    wholeRun(state, true);
}

// Band off, Wave off: read and parse the recording, write the spectrum file.
void floorBandOff(benchmark::State& state)
{
    const BenchFiles& files = benchFiles();
    const RunOutputs& outputs = runOutputs();
    const std::string strSpectrum = files.strFolder + "/floor_SPC.csv";
    for (auto _ : state) {
        const std::vector<double> dblSamples = readAndParseSamples(files.strRecording, lngBenchPoints);
        benchmark::DoNotOptimize(dblSamples.data());
        std::string strText;
        appendPairLines(strText, outputs.dblFreq, outputs.dblVolts);
        writeBytes(strSpectrum, strText);
    }
}

// Every switch on: read and parse once, three CSV files and two Wave files.
void floorAllOn(benchmark::State& state)
{
    const BenchFiles& files = benchFiles();
    const RunOutputs& outputs = runOutputs();
    const std::string strBase = files.strFolder + "/floor";
    for (auto _ : state) {
        const std::vector<double> dblSamples = readAndParseSamples(files.strRecording, lngBenchPoints);
        benchmark::DoNotOptimize(dblSamples.data());
        std::string strText;
        appendPairLines(strText, outputs.dblFreq, outputs.dblVolts);
        writeBytes(strBase + "_SPC.csv", strText);
        strText.clear();
        appendPairLines(strText, outputs.dblFreq, outputs.dblBandVolts);
        writeBytes(strBase + "_BAND_SPC.csv", strText);
        strText.clear();
        appendTimeCountLines(strText, outputs.dblTime, outputs.intBandCounts);
        writeBytes(strBase + "_BAND_WAVE.csv", strText);
        strText.clear();
        appendWaveBytes(strText, outputs.intBandCounts, lngBenchSampFreq);
        writeBytes(strBase + "_BAND.wav", strText);
        strText.clear();
        appendWaveBytes(strText, outputs.intInputCounts, lngBenchSampFreq);
        writeBytes(strBase + ".wav", strText);
    }
}

// The spectrum file's text alone, as the engine writes it and as the floor does.
void textSpectrumEngine(benchmark::State& state)
{
    const RunOutputs& outputs = runOutputs();
    const engine::AnalysisParameters params = benchParameters(false);
    const engine::RunGeometry geometry = engine::runGeometry(params);
    for (auto _ : state) {
        const std::string strText =
            engine::formatSpectrumCsv(geometry.lngNumLine, geometry.dblDeltaFreq, params.dblPosScale, outputs.dblAmp);
        benchmark::DoNotOptimize(strText.data());
    }
}

void textSpectrumToChars(benchmark::State& state)
{
    const RunOutputs& outputs = runOutputs();
    for (auto _ : state) {
        std::string strText;
        appendPairLines(strText, outputs.dblFreq, outputs.dblVolts);
        benchmark::DoNotOptimize(strText.data());
    }
}

} // namespace

BENCHMARK(textSpectrumEngine)->Name("text/spectrum_csv/engine")->Unit(benchmark::kMicrosecond);
BENCHMARK(textSpectrumToChars)->Name("text/spectrum_csv/to_chars")->Unit(benchmark::kMicrosecond);
BENCHMARK(runBandOff)->Name("run65536/band_off/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(floorBandOff)->Name("run65536/band_off/io_floor")->Unit(benchmark::kMillisecond);
BENCHMARK(runAllOn)->Name("run65536/all_on/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(floorAllOn)->Name("run65536/all_on/io_floor")->Unit(benchmark::kMillisecond);

} // namespace kestrix::bench
