// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's FFT against the plain port kept in bench/: bit for bit, for every size the kernel
// can be given up to 65536 points, in both directions. The port itself is checked against a direct
// DFT, so the two cannot agree on a wrong transform.
#include "bench/plain_fft.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

enum class Fill {
    Random,         // uniform reals in both parts
    IntegerSamples, // whole converter counts in the real part, zeros in the imaginary part
};

struct Arrays
{
    std::vector<double> dblR;
    std::vector<double> dblI;
};

Arrays makeInput(std::int32_t lngNumSamp, Fill fill, unsigned lngSeed)
{
    Arrays input{std::vector<double>(static_cast<std::size_t>(lngNumSamp)),
                 std::vector<double>(static_cast<std::size_t>(lngNumSamp))};
    std::mt19937_64 random(lngSeed);
    std::uniform_real_distribution<double> real(-1000.0, 1000.0);
    std::uniform_int_distribution<int> count(-32768, 32767);
    for (std::size_t i = 0; i < input.dblR.size(); ++i) {
        if (fill == Fill::Random) {
            input.dblR[i] = real(random);
            input.dblI[i] = real(random);
        } else {
            input.dblR[i] = count(random);
            input.dblI[i] = 0.0;
        }
    }
    return input;
}

// The index of the first element whose bits differ (so -0.0 and +0.0 differ), or -1.
long firstBitDifference(const std::vector<double>& dblA, const std::vector<double>& dblB)
{
    for (std::size_t i = 0; i < dblA.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(dblA[i]) != std::bit_cast<std::uint64_t>(dblB[i])) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Each build of the kernel's loops this processor can run (the baseline always, AVX2 where present).
class FftPortLoops : public ::testing::TestWithParam<FftLoops>
{
protected:
    void SetUp() override
    {
        if (!fftLoopsAvailable(GetParam())) {
            GTEST_SKIP() << "this processor cannot run these loops";
        }
    }
};

INSTANTIATE_TEST_SUITE_P(EachBuild, FftPortLoops, ::testing::Values(FftLoops::Baseline, FftLoops::Avx2),
                         [](const ::testing::TestParamInfo<FftLoops>& param) {
                             return param.param == FftLoops::Baseline ? std::string("Baseline") : std::string("Avx2");
                         });

TEST_P(FftPortLoops, EngineMatchesThePlainPortBitForBitForEverySizeAndDirection)
{
    const double dblPI = computePI();
    for (std::int32_t lngNumSamp = 1; lngNumSamp <= 65536; lngNumSamp *= 2) {
        for (const double dblSign : {-2.0, 2.0}) {
            for (const Fill fill : {Fill::Random, Fill::IntegerSamples}) {
                SCOPED_TRACE("N = " + std::to_string(lngNumSamp) + (dblSign < 0 ? " forward" : " inverse") +
                             (fill == Fill::Random ? " random" : " integer samples"));
                const double dblTheta = (dblSign * dblPI) / lngNumSamp;
                Arrays engine = makeInput(lngNumSamp, fill, static_cast<unsigned>(lngNumSamp) * 4u + 7u);
                Arrays port = engine;
                fftWithLoops(GetParam(), lngNumSamp, dblTheta, engine.dblR, engine.dblI);
                bench::plainFFT(lngNumSamp, dblTheta, port.dblR.data(), port.dblI.data());
                const long lngR = firstBitDifference(engine.dblR, port.dblR);
                const long lngI = firstBitDifference(engine.dblI, port.dblI);
                EXPECT_EQ(lngR, -1) << "real parts differ first at index " << lngR;
                EXPECT_EQ(lngI, -1) << "imaginary parts differ first at index " << lngI;
            }
        }
    }
}

// A plan reads the twiddles from its table: the same bits as the port, with every build of the loops,
// for a plan used more than once.
TEST(FftPort, PlanMatchesThePlainPortBitForBitForEverySizeAndLoops)
{
    const double dblPI = computePI();
    for (std::int32_t lngNumSamp = 1; lngNumSamp <= 65536; lngNumSamp *= 2) {
        for (const double dblSign : {-2.0, 2.0}) {
            for (const FftLoops loops : {FftLoops::Baseline, FftLoops::Avx2}) {
                if (!fftLoopsAvailable(loops)) {
                    continue;
                }
                SCOPED_TRACE("N = " + std::to_string(lngNumSamp) + (dblSign < 0 ? " forward" : " inverse") +
                             (loops == FftLoops::Avx2 ? " AVX2" : " baseline"));
                const double dblTheta = (dblSign * dblPI) / lngNumSamp;
                const FftPlan plan(lngNumSamp, dblTheta, loops);
                for (const unsigned lngSeed : {1u, 2u}) {
                    Arrays planned =
                        makeInput(lngNumSamp, Fill::Random, lngSeed * 7919u + static_cast<unsigned>(lngNumSamp));
                    Arrays port = planned;
                    plan.transform(planned.dblR, planned.dblI);
                    bench::plainFFT(lngNumSamp, dblTheta, port.dblR.data(), port.dblI.data());
                    EXPECT_EQ(firstBitDifference(planned.dblR, port.dblR), -1);
                    EXPECT_EQ(firstBitDifference(planned.dblI, port.dblI), -1);
                }
            }
        }
    }
}

TEST(FftPort, EngineLeavesEverythingPastNUntouched)
{
    constexpr std::int32_t lngNumSamp = 1024;
    constexpr double dblGuard = -12345.678;
    Arrays arrays = makeInput(lngNumSamp, Fill::Random, 3);
    arrays.dblR.resize(lngNumSamp + 16, dblGuard);
    arrays.dblI.resize(lngNumSamp + 16, dblGuard);
    FFT(lngNumSamp, (-2 * computePI()) / lngNumSamp, arrays.dblR, arrays.dblI);
    for (std::size_t i = lngNumSamp; i < arrays.dblR.size(); ++i) {
        EXPECT_EQ(arrays.dblR[i], dblGuard);
        EXPECT_EQ(arrays.dblI[i], dblGuard);
    }
}

// The yardstick is only worth something if it is a correct transform: compare it with a direct DFT
// in long double, sum over n of x[n] * e^(i * theta * n * k).
TEST(FftPort, PlainPortIsTheDiscreteFourierTransform)
{
    const long double dblPI = 4 * std::atan(1.0L);
    for (std::int32_t lngNumSamp = 1; lngNumSamp <= 256; lngNumSamp *= 2) {
        for (const double dblSign : {-2.0, 2.0}) {
            SCOPED_TRACE("N = " + std::to_string(lngNumSamp) + (dblSign < 0 ? " forward" : " inverse"));
            const Arrays input = makeInput(lngNumSamp, Fill::Random, 11);
            Arrays port = input;
            bench::plainFFT(lngNumSamp, (dblSign * computePI()) / lngNumSamp, port.dblR.data(), port.dblI.data());
            for (std::int32_t k = 0; k < lngNumSamp; ++k) {
                long double dblSumR = 0;
                long double dblSumI = 0;
                for (std::int32_t n = 0; n < lngNumSamp; ++n) {
                    const long double dblAngle =
                        dblSign * dblPI * ((static_cast<long long>(n) * k) % lngNumSamp) / lngNumSamp;
                    const long double dblCos = std::cos(dblAngle);
                    const long double dblSin = std::sin(dblAngle);
                    const auto i = static_cast<std::size_t>(n);
                    dblSumR += input.dblR[i] * dblCos - input.dblI[i] * dblSin;
                    dblSumI += input.dblR[i] * dblSin + input.dblI[i] * dblCos;
                }
                // Inputs up to 1000 and N up to 256: rounding stays far below 1e-8 of the largest sum.
                const auto k2 = static_cast<std::size_t>(k);
                EXPECT_NEAR(port.dblR[k2], static_cast<double>(dblSumR), 1e-8 * 1000 * lngNumSamp) << "k = " << k;
                EXPECT_NEAR(port.dblI[k2], static_cast<double>(dblSumI), 1e-8 * 1000 * lngNumSamp) << "k = " << k;
            }
        }
    }
}

} // namespace
} // namespace kestrix::engine
