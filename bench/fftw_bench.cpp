// SPDX-License-Identifier: GPL-3.0-or-later
// FFTW's real-input transform beside the engine's, built only where FFTW is installed:
//   the transforms of two real segments into their squared magnitudes as the analyses make them (FFTW's
//   r2c planned by estimate, the same bits every run) and by the engine's own FFT (one complex
//   transform parted by symmetry) against two FFTW r2c plans made with FFTW_MEASURE (fastest, but a
//   plan chosen by timing), at 1024, 4096 and 65536 points;
//   the floor of an averaged analysis: the Wave file read whole, every segment decoded, windowed
//   (Hann), transformed by FFTW's r2c and its squared magnitudes summed, and nothing else, for the
//   ten-minute and the one-hour recordings.
#include "bench/long_recordings.h"
#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/real_transform.h"
#include "engine/recordings/window_function.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fftw3.h>
#include <random>
#include <vector>

namespace kestrix::bench {

namespace {

// FFTW's arrays (aligned as its plans like them) and an r2c plan over them.
class FftwReal
{
public:
    explicit FftwReal(std::int32_t lngNumSamp)
        : lngNumSamp(lngNumSamp), pdblIn(fftw_alloc_real(static_cast<std::size_t>(lngNumSamp))),
          pOut(fftw_alloc_complex(static_cast<std::size_t>(lngNumSamp / 2 + 1))),
          plan(fftw_plan_dft_r2c_1d(lngNumSamp, pdblIn, pOut, FFTW_MEASURE))
    {
    }
    ~FftwReal()
    {
        fftw_destroy_plan(plan);
        fftw_free(pOut);
        fftw_free(pdblIn);
    }
    FftwReal(const FftwReal&) = delete;
    FftwReal& operator=(const FftwReal&) = delete;

    double* input() const
    {
        return pdblIn;
    }
    // Transforms the input and adds |X[k]|^2 of the first lines into dblSum.
    void transformAndAdd(std::vector<double>& dblSum) const
    {
        fftw_execute(plan);
        for (std::size_t k = 0; k < dblSum.size(); ++k) {
            dblSum[k] += pOut[k][0] * pOut[k][0] + pOut[k][1] * pOut[k][1];
        }
    }

private:
    std::int32_t lngNumSamp;
    double* pdblIn;
    fftw_complex* pOut;
    fftw_plan plan;
};

std::vector<double> randomCounts(std::int32_t lngNumSamp, unsigned intSeed)
{
    std::mt19937 random(intSeed);
    std::uniform_int_distribution<int> counts(-20000, 20000);
    std::vector<double> dblCounts(static_cast<std::size_t>(lngNumSamp));
    for (double& dblValue : dblCounts) {
        dblValue = counts(random);
    }
    return dblCounts;
}

// Two real segments to their squared magnitudes (lines to N / 2) as the analyses of recordings
// transform them: by their RealTransform (FFTW's, planned by estimate), or by the engine's own FFT, one
// complex transform parted by symmetry.
void pairEngine(benchmark::State& state, engine::RealTransformKind kind)
{
    const auto lngNumSamp = static_cast<std::int32_t>(state.range(0));
    const auto lngSize = static_cast<std::size_t>(lngNumSamp);
    const engine::RealTransform transform(lngNumSamp, engine::computePI(), kind);
    engine::SegmentBuffer dblScratch = transform.makeScratch();
    const std::vector<double> dblA = randomCounts(lngNumSamp, 1);
    const std::vector<double> dblB = randomCounts(lngNumSamp, 2);
    engine::SegmentBuffer dblR(lngSize);
    engine::SegmentBuffer dblI(lngSize);
    std::vector<double> dblPowerA(lngSize / 2 + 1);
    std::vector<double> dblPowerB(lngSize / 2 + 1);
    for (auto _ : state) {
        std::copy(dblA.begin(), dblA.end(), dblR.begin());
        std::copy(dblB.begin(), dblB.end(), dblI.begin());
        transform.pairPowers(dblR, dblI, dblPowerA, dblPowerB, dblScratch);
        benchmark::DoNotOptimize(dblPowerA.data());
        benchmark::DoNotOptimize(dblPowerB.data());
    }
}

void pairFftw(benchmark::State& state)
{
    const auto lngNumSamp = static_cast<std::int32_t>(state.range(0));
    const FftwReal fftw(lngNumSamp);
    const std::vector<double> dblA = randomCounts(lngNumSamp, 1);
    const std::vector<double> dblB = randomCounts(lngNumSamp, 2);
    std::vector<double> dblSum(static_cast<std::size_t>(lngNumSamp / 2 + 1));
    for (auto _ : state) {
        for (const std::vector<double>* dblSegment : {&dblA, &dblB}) {
            std::copy(dblSegment->begin(), dblSegment->end(), fftw.input());
            fftw.transformAndAdd(dblSum);
        }
        benchmark::DoNotOptimize(dblSum.data());
    }
}

// The floor of the averaged analysis of a recording: read, decode, window, transform, sum.
void averageFloorFftw(benchmark::State& state, bool blnHour)
{
    const LongRecording& recording = blnHour ? hourRecording() : tenMinuteRecording();
    const std::int32_t lngNumSamp = blnHour ? 4096 : 65536;
    const std::int32_t lngStep = lngNumSamp / 2;
    const FftwReal fftw(lngNumSamp);
    const std::vector<double> dblWindow = engine::windowCoefficients(engine::WindowKind::Hann, lngNumSamp);
    std::vector<double> dblSum(static_cast<std::size_t>(engine::spectrumLineCount(lngNumSamp)));
    std::string chrBytes;
    for (auto _ : state) {
        readFileInto(recording.strWave, chrBytes);
        const std::int64_t lngSegments =
            engine::segmentCount(static_cast<std::int64_t>(chrBytes.size() - 44) / 2, lngNumSamp, 50.0);
        std::fill(dblSum.begin(), dblSum.end(), 0.0);
        for (std::int64_t s = 0; s < lngSegments; ++s) {
            double* const pdblIn = fftw.input();
            decodeWave(chrBytes, s * lngStep, lngNumSamp, pdblIn);
            for (std::size_t j = 0; j < dblWindow.size(); ++j) {
                pdblIn[j] *= dblWindow[j];
            }
            fftw.transformAndAdd(dblSum);
        }
        benchmark::DoNotOptimize(dblSum.data());
    }
}

} // namespace

BENCHMARK_CAPTURE(pairEngine, analyses, engine::RealTransformKind::Fftw)
    ->Name("fft_pair/engine")
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(pairEngine, own, engine::RealTransformKind::EngineFft)
    ->Name("fft_pair/own_fft")
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(pairFftw)->Name("fft_pair/fftw_r2c")->Arg(1024)->Arg(4096)->Arg(65536)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(averageFloorFftw, ten, false)
    ->Name("long/average10min/fftw_floor")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(averageFloorFftw, hour, true)
    ->Name("long/average1h/fftw_floor")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace kestrix::bench
