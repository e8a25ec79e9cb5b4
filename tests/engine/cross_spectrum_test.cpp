// SPDX-License-Identifier: GPL-3.0-or-later
// The cross-spectral averager against a direct DFT of every windowed segment in long double: the two
// channels share one complex transform and must come apart exactly, whatever their sizes.
#include "engine/recordings/cross_spectrum.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

struct DirectSpectra
{
    std::vector<long double> dblXX;
    std::vector<long double> dblYY;
    std::vector<long double> dblCrossRe;
    std::vector<long double> dblCrossIm;
    std::int64_t lngSegments = 0;
};

// The segment at lngStart of dblSignal, its mean removed when asked, times the window.
std::vector<long double> windowed(const std::vector<double>& dblSignal, std::size_t lngStart,
                                  const AverageSettings& settings)
{
    const auto lngN = static_cast<std::size_t>(settings.lngNumSamp);
    const std::vector<double> dblWindow = windowCoefficients(settings.window, settings.lngNumSamp);
    long double dblMean = 0;
    if (settings.detrend == Detrend::Mean) {
        for (std::size_t j = 0; j < lngN; ++j) {
            dblMean += dblSignal[lngStart + j];
        }
        dblMean /= static_cast<long double>(lngN);
    }
    std::vector<long double> dblOut(lngN);
    for (std::size_t j = 0; j < lngN; ++j) {
        dblOut[j] = (dblSignal[lngStart + j] - dblMean) * dblWindow[j];
    }
    return dblOut;
}

// The mean over the segments of |X|^2, |Y|^2 and conj(X) Y by the definition of the DFT.
DirectSpectra directSpectra(const std::vector<double>& dblX, const std::vector<double>& dblY,
                            const AverageSettings& settings)
{
    const auto lngN = static_cast<std::size_t>(settings.lngNumSamp);
    const std::size_t lngStep = static_cast<std::size_t>(segmentStep(settings.lngNumSamp, settings.dblOverlap));
    DirectSpectra direct;
    for (std::vector<long double>* dblLines : {&direct.dblXX, &direct.dblYY, &direct.dblCrossRe, &direct.dblCrossIm}) {
        dblLines->assign(lngN / 2 + 1, 0.0L);
    }
    for (std::size_t lngStart = 0; lngStart + lngN <= dblX.size(); lngStart += lngStep) {
        const std::vector<long double> dblA = windowed(dblX, lngStart, settings);
        const std::vector<long double> dblB = windowed(dblY, lngStart, settings);
        for (std::size_t k = 0; k <= lngN / 2; ++k) {
            long double dblXr = 0, dblXi = 0, dblYr = 0, dblYi = 0;
            for (std::size_t j = 0; j < lngN; ++j) {
                const long double dblAngle = -2.0L * std::numbers::pi_v<long double> *
                                             static_cast<long double>((j * k) % lngN) / static_cast<long double>(lngN);
                dblXr += dblA[j] * std::cos(dblAngle);
                dblXi += dblA[j] * std::sin(dblAngle);
                dblYr += dblB[j] * std::cos(dblAngle);
                dblYi += dblB[j] * std::sin(dblAngle);
            }
            direct.dblXX[k] += dblXr * dblXr + dblXi * dblXi;
            direct.dblYY[k] += dblYr * dblYr + dblYi * dblYi;
            direct.dblCrossRe[k] += dblXr * dblYr + dblXi * dblYi;
            direct.dblCrossIm[k] += dblXr * dblYi - dblXi * dblYr;
        }
        ++direct.lngSegments;
    }
    for (std::vector<long double>* dblLines : {&direct.dblXX, &direct.dblYY, &direct.dblCrossRe, &direct.dblCrossIm}) {
        for (long double& dblValue : *dblLines) {
            dblValue /= static_cast<long double>(std::max<std::int64_t>(direct.lngSegments, 1));
        }
    }
    return direct;
}

long double largest(const std::vector<long double>& dblValues)
{
    return *std::max_element(dblValues.begin(), dblValues.end());
}

// Every line of a spectrum within dblBound of the largest line of the truth's scale.
void expectLines(const std::vector<double>& dblOurs, const std::vector<long double>& dblTruth, long double dblScale,
                 const char* pchName)
{
    ASSERT_EQ(dblOurs.size(), dblTruth.size()) << pchName;
    constexpr long double dblBound = 1e-12L;
    for (std::size_t k = 0; k < dblOurs.size(); ++k) {
        ASSERT_LE(std::abs(dblOurs[k] - dblTruth[k]), dblBound * dblScale) << pchName << " line " << k;
    }
}

// A channel a million million times smaller than the other, or larger, keeps its own precision: the
// pairing's rounding must not come from the larger channel.
TEST(CrossSpectrum, EveryLineMatchesADirectTransformOfBothWindowedChannels)
{
    struct Case
    {
        std::size_t lngSamples;
        double dblInputScale;
        double dblOutputScale; // the output's size relative to the input's
        WindowKind window;
        double dblOverlap;
        Detrend detrend;
    };
    const Case cases[] = {
        {64, 1.0, 1.0, WindowKind::Hann, 50, Detrend::None},
        {64, 1.0, 1e-12, WindowKind::Hann, 50, Detrend::Mean},
        {200, 1.0, 1e12, WindowKind::FlatTop, 50, Detrend::None},
        {200, 1.0, 1e-9, WindowKind::Rect, 0, Detrend::Mean},
        {333, 1.0, 3.0, WindowKind::BlackmanHarris, 75, Detrend::Mean},
        // A silent channel transforms to exact zeros, not to the rounding of the other.
        {200, 1.0, 0.0, WindowKind::Hann, 50, Detrend::None},
        {200, 0.0, 1.0, WindowKind::Hamming, 50, Detrend::Mean},
    };
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-20000.0, 20000.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lngSamples << " samples, input x " << c.dblInputScale << ", output x "
                                        << c.dblOutputScale << ", " << windowName(c.window) << ", detrend "
                                        << static_cast<int>(c.detrend));
        std::vector<double> dblX(c.lngSamples);
        std::vector<double> dblY(c.lngSamples);
        for (std::size_t n = 0; n < c.lngSamples; ++n) {
            const double dblInput = value(random) + 1500.0;
            dblX[n] = c.dblInputScale * dblInput;
            dblY[n] = c.dblOutputScale * (0.5 * dblInput + value(random) - 700.0);
        }
        const AverageSettings settings{64, c.window, c.dblOverlap, Averaging::Mean, c.detrend};
        CrossSpectrumAverager averager(settings, computePI());
        // Fed in uneven chunks, in step.
        for (std::size_t lngAt = 0, lngChunk = 1; lngAt < c.lngSamples; lngAt += lngChunk, lngChunk += 13) {
            const std::size_t lngTake = std::min(lngChunk, c.lngSamples - lngAt);
            averager.addSamples(std::span<const double>(dblX).subspan(lngAt, lngTake),
                                std::span<const double>(dblY).subspan(lngAt, lngTake));
        }
        const CrossSpectra ours = averager.finish();
        const DirectSpectra truth = directSpectra(dblX, dblY, settings);
        EXPECT_EQ(ours.lngSegments, truth.lngSegments);
        EXPECT_EQ(ours.lngSamples, static_cast<std::int64_t>(c.lngSamples));
        const long double dblCrossScale = std::sqrt(largest(truth.dblXX) * largest(truth.dblYY));
        expectLines(ours.dblInputPower, truth.dblXX, largest(truth.dblXX), "Gxx");
        expectLines(ours.dblOutputPower, truth.dblYY, largest(truth.dblYY), "Gyy");
        expectLines(ours.dblCrossRe, truth.dblCrossRe, dblCrossScale, "Re Gxy");
        expectLines(ours.dblCrossIm, truth.dblCrossIm, dblCrossScale, "Im Gxy");
    }
}

TEST(CrossSpectrum, ARecordingShorterThanASegmentGivesNoSegmentAndZeroSpectra)
{
    CrossSpectrumAverager averager(AverageSettings{64}, computePI());
    const std::vector<double> dblSamples(63, 1000.0);
    averager.addSamples(dblSamples, dblSamples);
    const CrossSpectra result = averager.finish();
    EXPECT_EQ(result.lngSegments, 0);
    EXPECT_EQ(result.lngSamples, 63);
    ASSERT_EQ(result.dblInputPower.size(), 33u);
    EXPECT_EQ(*std::max_element(result.dblInputPower.begin(), result.dblInputPower.end()), 0.0);
}

} // namespace
} // namespace kestrix::engine
