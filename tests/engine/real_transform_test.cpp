// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/real_transform.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace kestrix::engine {
namespace {

const double dblPI = computePI();

std::vector<double> randomSegment(std::size_t lngSize, unsigned intSeed)
{
    std::mt19937 random(intSeed);
    std::uniform_real_distribution<double> counts(-30000.0, 30000.0);
    std::vector<double> dblValues(lngSize);
    for (double& dblValue : dblValues) {
        dblValue = counts(random);
    }
    return dblValues;
}

// |X[k]|^2 by the definition, summed in long double: the yardstick of both transforms.
std::vector<double> directPowers(const std::vector<double>& dblSegment, std::size_t lngLines)
{
    const std::size_t lngSize = dblSegment.size();
    std::vector<double> dblPowers(lngLines);
    for (std::size_t k = 0; k < lngLines; ++k) {
        long double dblRe = 0;
        long double dblIm = 0;
        for (std::size_t n = 0; n < lngSize; ++n) {
            const long double dblAngle =
                -2 * std::numbers::pi_v<long double> * static_cast<long double>((n * k) % lngSize) / lngSize;
            dblRe += dblSegment[n] * std::cos(dblAngle);
            dblIm += dblSegment[n] * std::sin(dblAngle);
        }
        dblPowers[k] = static_cast<double>(dblRe * dblRe + dblIm * dblIm);
    }
    return dblPowers;
}

std::vector<RealTransformKind> availableKinds()
{
    std::vector<RealTransformKind> kinds;
    for (const RealTransformKind kind : {RealTransformKind::EngineFft, RealTransformKind::Fftw}) {
        if (realTransformAvailable(kind)) {
            kinds.push_back(kind);
        }
    }
    return kinds;
}

// Every transform the build has gives the squared magnitudes of both segments of a pair, and of a lone
// one, to the last line N / 2, as the definition does: within rounding of the largest line. A part
// swapped, a line index mirrored or a factor of the parting lost would miss by far more.
TEST(RealTransform, PairsAndLoneSegmentsMatchTheDefinition)
{
    for (const RealTransformKind kind : availableKinds()) {
        for (const std::int32_t lngNumSamp : {4, 16, 256}) {
            SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << ", N " << lngNumSamp);
            const auto lngSize = static_cast<std::size_t>(lngNumSamp);
            const std::size_t lngLines = lngSize / 2 + 1;
            const RealTransform transform(lngNumSamp, dblPI, kind);
            SegmentBuffer dblScratch = transform.makeScratch();
            const std::vector<double> dblA = randomSegment(lngSize, 1);
            std::vector<double> dblB = randomSegment(lngSize, 2);
            for (double& dblValue : dblB) {
                dblValue = 1e-3 * dblValue + 7.0; // smaller, with a mean: its 0 Hz line stands out
            }
            SegmentBuffer dblAWork(dblA.begin(), dblA.end());
            SegmentBuffer dblBWork(dblB.begin(), dblB.end());
            std::vector<double> dblPowerA(lngLines);
            std::vector<double> dblPowerB(lngLines);
            transform.pairPowers(dblAWork, dblBWork, dblPowerA, dblPowerB, dblScratch);
            SegmentBuffer dblLoneWork(dblB.begin(), dblB.end());
            std::vector<double> dblPowerLone(lngLines);
            transform.pairPowers(dblLoneWork, {}, dblPowerLone, {}, dblScratch);

            const std::vector<double> dblTruthA = directPowers(dblA, lngLines);
            const std::vector<double> dblTruthB = directPowers(dblB, lngLines);
            const double dblScaleA = *std::max_element(dblTruthA.begin(), dblTruthA.end());
            const double dblScaleB = *std::max_element(dblTruthB.begin(), dblTruthB.end());
            for (std::size_t k = 0; k < lngLines; ++k) {
                EXPECT_NEAR(dblPowerA[k], dblTruthA[k], 1e-12 * dblScaleA) << "line " << k;
                // Paired with a segment 1000 times larger, B keeps the pair's rounding (the engine's FFT).
                EXPECT_NEAR(dblPowerB[k], dblTruthB[k], 1e-12 * dblScaleA) << "line " << k;
                EXPECT_NEAR(dblPowerLone[k], dblTruthB[k], 1e-12 * dblScaleB) << "line " << k;
            }
        }
    }
}

// A segment that does not start where a buffer of the analyses would put it (here one value in) is
// transformed as well: to the same bits as from an aligned buffer.
TEST(RealTransform, ASegmentAnywhereInMemoryGivesTheSameBits)
{
    constexpr std::int32_t lngNumSamp = 1024;
    const std::vector<double> dblSegment = randomSegment(lngNumSamp, 3);
    for (const RealTransformKind kind : availableKinds()) {
        const RealTransform transform(lngNumSamp, dblPI, kind);
        SegmentBuffer dblScratch = transform.makeScratch();
        SegmentBuffer dblAligned(dblSegment.begin(), dblSegment.end());
        SegmentBuffer dblShifted(lngNumSamp + 1);
        std::copy(dblSegment.begin(), dblSegment.end(), dblShifted.begin() + 1);
        std::vector<double> dblFromAligned(lngNumSamp / 2 + 1);
        std::vector<double> dblFromShifted(lngNumSamp / 2 + 1);
        transform.pairPowers(dblAligned, {}, dblFromAligned, {}, dblScratch);
        transform.pairPowers(std::span<double>(dblShifted).subspan(1), {}, dblFromShifted, {}, dblScratch);
        EXPECT_EQ(dblFromAligned, dblFromShifted) << "kind " << static_cast<int>(kind);
    }
}

// Where the build has FFTW, an averaging with it and one with the engine's own FFT agree within 1e-12 of
// the largest line at every line (a tone, a mean and noise, 65536 points, Hann, half overlapped), and
// each is the same to the bit when repeated.
TEST(RealTransform, FftwAndTheEnginesFftAverageAlike)
{
    if (!realTransformAvailable(RealTransformKind::Fftw)) {
        GTEST_SKIP() << "this build has no FFTW";
    }
    constexpr std::int32_t lngNumSamp = 65536;
    std::vector<double> dblSamples = randomSegment(3 * lngNumSamp, 4);
    for (std::size_t n = 0; n < dblSamples.size(); ++n) {
        dblSamples[n] = 0.01 * dblSamples[n] + 12000.0 * std::sin(0.3 * static_cast<double>(n)) + 40.0;
    }
    auto average = [&](RealTransformKind kind) {
        AverageSettings settings;
        settings.lngNumSamp = lngNumSamp;
        settings.transform = kind;
        SpectrumAverager averager(settings, dblPI);
        averager.addSamples(dblSamples);
        return averager.finish().dblPower;
    };
    const std::vector<double> dblFftw = average(RealTransformKind::Fftw);
    const std::vector<double> dblEngine = average(RealTransformKind::EngineFft);
    ASSERT_EQ(dblFftw.size(), dblEngine.size());
    const double dblLargest = *std::max_element(dblEngine.begin(), dblEngine.end());
    double dblWorst = 0.0;
    for (std::size_t k = 0; k < dblFftw.size(); ++k) {
        dblWorst = std::max(dblWorst, std::fabs(dblFftw[k] - dblEngine[k]) / dblLargest);
    }
    EXPECT_LE(dblWorst, 1e-12);
    EXPECT_GT(dblWorst, 0.0) << "two transforms that round alike everywhere: is FFTW used at all?";
    EXPECT_EQ(average(RealTransformKind::Fftw), dblFftw);
}

} // namespace
} // namespace kestrix::engine
