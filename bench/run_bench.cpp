// A whole 65536-point run through the engine, beside the floor of the same work's I/O: band off and
// Wave off (the spectrum file), then every switch on (five files).
#include "bench/bench_setup.h"
#include "bench/io_floor.h"
#include "engine/analysis_run.h"
#include "engine/fft.h"
#include "engine/number_text.h"
#include "engine/spectrum.h"
#include "engine/wave.h"
#include "platform/clock.h"
#include "platform/std_text_files.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrix::bench {

namespace {

constexpr double dblMaxVolt = 5.0; // V, the input range of the runs below
constexpr double dblLowFreq = 200.0;
constexpr double dblHighFreq = 800.0;

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

RunOutputs computeRunOutputs(const std::string& strRecording)
{
    const std::int32_t n = lngBenchPoints;
    const auto lngSamples = static_cast<std::size_t>(n);
    const std::vector<double> dblInData = readAndParseSamples(strRecording, n);
    const double dblPI = engine::computePI();
    const double dblMaxAnaFreq = lngBenchSampFreq / 2.56;
    const double dblDeltaFreq = dblMaxAnaFreq / (n / 2.56);
    const double dblPosScale = dblMaxVolt / 32767;
    const auto lngNumLine = static_cast<std::int32_t>(std::nearbyint(n / 2.56 + 1));
    const auto lngLines = static_cast<std::size_t>(lngNumLine);

    std::vector<double> dblR = dblInData;
    std::vector<double> dblI(lngSamples, 0.0);
    engine::FFT(n, (-2 * dblPI) / n, dblR, dblI);
    std::vector<double> dblAmp(lngLines);
    engine::computeAmplitudes(n, lngNumLine, dblR, dblI, dblAmp);

    std::vector<double> dblBandR(lngSamples);
    std::vector<double> dblBandI(lngSamples);
    engine::selectBand(n, lngNumLine, dblDeltaFreq, dblLowFreq, dblHighFreq, dblR, dblI, dblBandR, dblBandI);
    std::vector<double> dblBandAmp(lngLines);
    engine::computeAmplitudes(n, lngNumLine, dblBandR, dblBandI, dblBandAmp);
    engine::FFT(n, (2 * dblPI) / n, dblBandR, dblBandI);

    RunOutputs outputs;
    outputs.dblAmp = dblAmp;
    for (std::size_t i = 0; i < lngLines; ++i) {
        outputs.dblFreq.push_back(static_cast<double>(i) * dblDeltaFreq);
        outputs.dblVolts.push_back(dblPosScale * dblAmp[i]);
        outputs.dblBandVolts.push_back(dblPosScale * dblBandAmp[i]);
    }
    const double dblDeltaTime = 1.0 / lngBenchSampFreq;
    for (std::size_t i = 0; i < lngSamples; ++i) {
        outputs.dblTime.push_back(static_cast<double>(i) * dblDeltaTime);
        outputs.intBandCounts.push_back(engine::waveCount((dblBandR[i] + dblBandR[i]) / n));
        outputs.intInputCounts.push_back(engine::waveCount(dblInData[i]));
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
    engine::ControlContents controls;
    controls.strSampFreq = std::to_string(lngBenchSampFreq);
    controls.strNumSamp = std::to_string(lngBenchPoints);
    controls.strMaxVolt = "5";
    controls.intBand = blnAllOn ? 1 : 0;
    controls.strLowFreq = "200";
    controls.strHighFreq = "800";
    controls.intWave = blnAllOn ? 1 : 0;
    FixedChoiceUi ui(files.strRecording);
    platform::StdTextFiles textFiles;
    platform::SystemClock clock;
    engine::GlobalDefine globals;
    globals.dblPI = engine::computePI();
    engine::AnalysisRun run(controls, ui, textFiles, clock, globals);
    for (auto _ : state) {
        if (!run.FFT_Main()) {
            state.SkipWithError(("the run was refused: " + ui.strLastRefusal).c_str());
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
    const auto lngNumLine = static_cast<std::int32_t>(outputs.dblAmp.size());
    const double dblDeltaFreq = (lngBenchSampFreq / 2.56) / (lngBenchPoints / 2.56);
    for (auto _ : state) {
        const std::string strText =
            engine::formatSpectrumCsv(lngNumLine, dblDeltaFreq, dblMaxVolt / 32767, outputs.dblAmp);
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
