// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/fft.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace kestrix::engine {
namespace {

const double dblPI = computePI();

double forwardTheta(std::int32_t n)
{
    return (-2 * dblPI) / n;
}

double inverseTheta(std::int32_t n)
{
    return (2 * dblPI) / n;
}

struct Signal
{
    std::vector<double> dblR;
    std::vector<double> dblI;
};

Signal randomSignal(std::int32_t n, unsigned lngSeed)
{
    std::mt19937 random(lngSeed);
    std::uniform_real_distribution<double> value(-32768.0, 32767.0);
    Signal signal{std::vector<double>(static_cast<std::size_t>(n)), std::vector<double>(static_cast<std::size_t>(n))};
    for (std::int32_t i = 0; i < n; ++i) {
        signal.dblR[static_cast<std::size_t>(i)] = value(random);
        signal.dblI[static_cast<std::size_t>(i)] = value(random);
    }
    return signal;
}

// The transform against a direct DFT in long double, for every size up to 2048 and both directions.
TEST(FftKernel, MatchesDirectDftForEverySize)
{
    for (std::int32_t n = 1; n <= 2048; n *= 2) {
        for (const bool blnForward : {true, false}) {
            SCOPED_TRACE(testing::Message() << "N=" << n << (blnForward ? " forward" : " inverse"));
            const Signal input = randomSignal(n, static_cast<unsigned>(n));
            Signal output = input;
            const double dblTheta = blnForward ? forwardTheta(n) : inverseTheta(n);
            FFT(n, dblTheta, output.dblR, output.dblI);
            const long double dblStep = (blnForward ? -2.0L : 2.0L) * std::numbers::pi_v<long double> / n;
            double dblWorst = 0;
            for (std::int32_t k = 0; k < n; ++k) {
                long double dblSumR = 0;
                long double dblSumI = 0;
                for (std::int32_t t = 0; t < n; ++t) {
                    const long double dblAngle =
                        dblStep * static_cast<long double>((static_cast<long long>(t) * k) % n);
                    const long double c = std::cos(dblAngle);
                    const long double s = std::sin(dblAngle);
                    dblSumR +=
                        input.dblR[static_cast<std::size_t>(t)] * c - input.dblI[static_cast<std::size_t>(t)] * s;
                    dblSumI +=
                        input.dblR[static_cast<std::size_t>(t)] * s + input.dblI[static_cast<std::size_t>(t)] * c;
                }
                dblWorst = std::max(
                    {dblWorst, std::fabs(static_cast<double>(dblSumR) - output.dblR[static_cast<std::size_t>(k)]),
                     std::fabs(static_cast<double>(dblSumI) - output.dblI[static_cast<std::size_t>(k)])});
            }
            // Values reach 32768 * N; rounding stays many orders below a count.
            EXPECT_LT(dblWorst, 1e-9 * 32768.0 * n);
        }
    }
}

TEST(FftKernel, ImpulseConstantAndToneGiveTheirExactSpectra)
{
    constexpr std::int32_t n = 1024;
    Signal impulse{std::vector<double>(n), std::vector<double>(n)};
    impulse.dblR[0] = 1;
    FFT(n, forwardTheta(n), impulse.dblR, impulse.dblI);
    for (std::size_t k = 0; k < n; ++k) {
        ASSERT_EQ(impulse.dblR[k], 1.0) << k;
        ASSERT_EQ(impulse.dblI[k], 0.0) << k;
    }

    Signal constant{std::vector<double>(n, 1.0), std::vector<double>(n)};
    FFT(n, forwardTheta(n), constant.dblR, constant.dblI);
    EXPECT_EQ(constant.dblR[0], n);
    for (std::size_t k = 1; k < n; ++k) {
        ASSERT_NEAR(constant.dblR[k], 0.0, 1e-12) << k;
        ASSERT_NEAR(constant.dblI[k], 0.0, 1e-12) << k;
    }

    Signal tone{std::vector<double>(n), std::vector<double>(n)};
    for (std::size_t t = 0; t < n; ++t) {
        tone.dblR[t] = std::cos(2 * dblPI * 5 * static_cast<double>(t) / n);
    }
    FFT(n, forwardTheta(n), tone.dblR, tone.dblI);
    for (std::size_t k = 0; k < n; ++k) {
        const double dblExpected = (k == 5 || k == n - 5) ? n / 2.0 : 0.0;
        ASSERT_NEAR(tone.dblR[k], dblExpected, 1e-9) << k;
        ASSERT_NEAR(tone.dblI[k], 0.0, 1e-9) << k;
    }
}

TEST(FftKernel, SignOfThetaChoosesTheDirection)
{
    constexpr std::int32_t n = 256;
    for (const bool blnForward : {true, false}) {
        Signal phasor{std::vector<double>(n), std::vector<double>(n)};
        for (std::size_t t = 0; t < n; ++t) {
            phasor.dblR[t] = std::cos(2 * dblPI * static_cast<double>(t) / n);
            phasor.dblI[t] = std::sin(2 * dblPI * static_cast<double>(t) / n);
        }
        FFT(n, blnForward ? forwardTheta(n) : inverseTheta(n), phasor.dblR, phasor.dblI);
        const std::size_t lngPeak = blnForward ? 1 : n - 1;
        for (std::size_t k = 0; k < n; ++k) {
            ASSERT_NEAR(phasor.dblR[k], k == lngPeak ? n : 0.0, 1e-9) << k;
            ASSERT_NEAR(phasor.dblI[k], 0.0, 1e-9) << k;
        }
    }
}

TEST(FftKernel, ForwardThenInverseGivesNTimesTheInputAndKeepsParseval)
{
    constexpr std::int32_t n = 65536;
    const Signal input = randomSignal(n, 7);
    Signal output = input;
    FFT(n, forwardTheta(n), output.dblR, output.dblI);
    long double dblEnergyIn = 0;
    long double dblEnergyOut = 0;
    for (std::size_t k = 0; k < n; ++k) {
        dblEnergyIn += input.dblR[k] * input.dblR[k] + input.dblI[k] * input.dblI[k];
        dblEnergyOut += output.dblR[k] * output.dblR[k] + output.dblI[k] * output.dblI[k];
    }
    EXPECT_NEAR(static_cast<double>(dblEnergyOut / (dblEnergyIn * n)), 1.0, 1e-12);
    FFT(n, inverseTheta(n), output.dblR, output.dblI);
    for (std::size_t t = 0; t < n; ++t) {
        ASSERT_NEAR(output.dblR[t] / n, input.dblR[t], 1e-6) << t;
        ASSERT_NEAR(output.dblI[t] / n, input.dblI[t], 1e-6) << t;
    }
}

TEST(FftKernel, SmallestSizesAndUntouchedTail)
{
    std::vector<double> dblR{3.0, 5.0, 99.0};
    std::vector<double> dblI{-1.0, 2.0, 99.0};
    FFT(2, forwardTheta(2), dblR, dblI);
    EXPECT_EQ(dblR[0], 8.0);
    EXPECT_EQ(dblR[1], -2.0);
    EXPECT_EQ(dblI[0], 1.0);
    EXPECT_EQ(dblI[1], -3.0);
    EXPECT_EQ(dblR[2], 99.0); // nothing at or beyond N is touched
    EXPECT_EQ(dblI[2], 99.0);

    std::vector<double> dblOneR{4.5};
    std::vector<double> dblOneI{-2.5};
    FFT(1, forwardTheta(1), dblOneR, dblOneI);
    EXPECT_EQ(dblOneR[0], 4.5);
    EXPECT_EQ(dblOneI[0], -2.5);
}

} // namespace
} // namespace kestrix::engine
