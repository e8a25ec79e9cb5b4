// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's FFT beside the plain port of the same algorithm, on the same input. Each iteration
// copies the fixed input into the work arrays (the same copy on both sides), then transforms it.
#include "bench/plain_fft.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace kestrix::bench {

namespace {

struct FftInput
{
    std::vector<double> dblR;
    std::vector<double> dblI;
    double dblTheta = 0.0;
};

// Whole converter counts in the real part and zeros in the imaginary part, as a run hands them over.
FftInput makeFftInput(std::int32_t lngNumSamp)
{
    FftInput input;
    std::mt19937 random(static_cast<unsigned>(lngNumSamp));
    std::uniform_int_distribution<int> counts(-20000, 20000);
    input.dblR.resize(static_cast<std::size_t>(lngNumSamp));
    input.dblI.assign(static_cast<std::size_t>(lngNumSamp), 0.0);
    for (double& dblValue : input.dblR) {
        dblValue = counts(random);
    }
    input.dblTheta = (-2 * engine::computePI()) / lngNumSamp;
    return input;
}

template <typename Transform> void runFft(benchmark::State& state, Transform transform)
{
    const auto lngNumSamp = static_cast<std::int32_t>(state.range(0));
    const FftInput input = makeFftInput(lngNumSamp);
    std::vector<double> dblR(input.dblR.size());
    std::vector<double> dblI(input.dblI.size());
    for (auto _ : state) {
        std::copy(input.dblR.begin(), input.dblR.end(), dblR.begin());
        std::copy(input.dblI.begin(), input.dblI.end(), dblI.begin());
        transform(lngNumSamp, input.dblTheta, dblR, dblI);
        benchmark::DoNotOptimize(dblR.data());
        benchmark::DoNotOptimize(dblI.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * lngNumSamp);
}

void fftEngine(benchmark::State& state)
{
    runFft(state, [](std::int32_t lngNumSamp, double dblTheta, std::vector<double>& dblR, std::vector<double>& dblI) {
        engine::FFT(lngNumSamp, dblTheta, dblR, dblI);
    });
}

void fftPlainPort(benchmark::State& state)
{
    runFft(state, [](std::int32_t lngNumSamp, double dblTheta, std::vector<double>& dblR, std::vector<double>& dblI) {
        plainFFT(lngNumSamp, dblTheta, dblR.data(), dblI.data());
    });
}

// The same transform through a plan made once outside the timing, as the averaged analysis uses it.
void fftPlan(benchmark::State& state)
{
    const auto lngNumSamp = static_cast<std::int32_t>(state.range(0));
    const engine::FftPlan plan(lngNumSamp, (-2 * engine::computePI()) / lngNumSamp);
    runFft(state, [&plan](std::int32_t, double, std::vector<double>& dblR, std::vector<double>& dblI) {
        plan.transform(dblR, dblI);
    });
}

} // namespace

BENCHMARK(fftPlan)->Name("fft/plan")->Arg(1024)->Arg(65536)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftEngine)->Name("fft/engine")->Arg(1024)->Arg(65536)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftPlainPort)->Name("fft/plain_port")->Arg(1024)->Arg(65536)->Unit(benchmark::kMicrosecond);

} // namespace kestrix::bench
