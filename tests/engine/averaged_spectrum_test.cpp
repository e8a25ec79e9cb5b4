// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/averaged_spectrum.h"
#include "engine/run/analysis_parameters.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

const double dblPI = computePI();
constexpr double dblVoltsPerCount = 5.0 / 32767; // a +-5 V converter

// A sine of peak dblPeak counts at dblFreq Hz, lngSamples samples at dblSampFreq.
std::vector<double> sine(std::int64_t lngSamples, double dblSampFreq, double dblFreq, double dblPeak,
                         double dblPhase = 0.3)
{
    std::vector<double> dblSamples(static_cast<std::size_t>(lngSamples));
    for (std::size_t n = 0; n < dblSamples.size(); ++n) {
        dblSamples[n] =
            dblPeak * std::sin(2.0 * std::numbers::pi * dblFreq * static_cast<double>(n) / dblSampFreq + dblPhase);
    }
    return dblSamples;
}

AveragedPower average(const AverageSettings& settings, std::span<const double> dblSamples,
                      SegmentHandler onSegment = {})
{
    SpectrumAverager averager(settings, dblPI, std::move(onSegment));
    averager.addSamples(dblSamples);
    return averager.finish();
}

double dB(double dblValue, double dblTruth)
{
    return 20.0 * std::log10(dblValue / dblTruth);
}

TEST(AveragedSpectrum, SegmentCountsForSeveralLengthsAndOverlaps)
{
    struct Case
    {
        std::int64_t lngSamples;
        std::int32_t lngNumSamp;
        double dblOverlap;
        std::int32_t lngStep;
        std::int64_t lngSegments;
    };
    constexpr Case cases[] = {
        {1023, 1024, 50, 512, 0},         {1024, 1024, 50, 512, 1},    {1535, 1024, 50, 512, 1},
        {1536, 1024, 50, 512, 2},         {10000, 1024, 0, 1024, 9},   {10000, 1024, 75, 256, 36},
        {10000, 1024, 66.7, 341, 27},     {2000, 1024, 99.99, 1, 977}, {15360000, 65536, 50, 32768, 467},
        {15360000, 65536, 0, 65536, 234},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lngSamples << " samples, N=" << c.lngNumSamp << ", " << c.dblOverlap
                                        << " %");
        EXPECT_EQ(segmentStep(c.lngNumSamp, c.dblOverlap), c.lngStep);
        EXPECT_EQ(segmentCount(c.lngSamples, c.lngNumSamp, c.dblOverlap), c.lngSegments);
    }
    // The averager transforms exactly those segments, whatever the chunks it is fed in; a tone that
    // starts after the last complete segment is never seen.
    for (const Case& c : {cases[2], cases[3], cases[5], cases[6], cases[7]}) {
        SCOPED_TRACE(testing::Message() << c.lngSamples << " samples, " << c.dblOverlap << " %");
        AverageSettings settings{c.lngNumSamp, WindowKind::Rect, c.dblOverlap};
        std::vector<double> dblSamples(static_cast<std::size_t>(c.lngSamples), 0.0);
        const std::int64_t lngCovered = c.lngSegments == 0 ? 0 : (c.lngSegments - 1) * c.lngStep + c.lngNumSamp;
        for (std::int64_t n = lngCovered; n < c.lngSamples; ++n) {
            dblSamples[static_cast<std::size_t>(n)] = 1000.0;
        }
        std::int64_t lngCalls = 0;
        SpectrumAverager averager(settings, dblPI, [&](std::int64_t lngSegment, std::span<const double>) {
            EXPECT_EQ(lngSegment, lngCalls);
            ++lngCalls;
        });
        for (std::size_t lngAt = 0, lngChunk = 1; lngAt < dblSamples.size(); lngAt += lngChunk, lngChunk += 97) {
            averager.addSamples(
                std::span<const double>(dblSamples).subspan(lngAt, std::min(lngChunk, dblSamples.size() - lngAt)));
        }
        const AveragedPower result = averager.finish();
        EXPECT_EQ(result.lngSegments, c.lngSegments);
        EXPECT_EQ(result.lngSamples, c.lngSamples);
        EXPECT_EQ(lngCalls, c.lngSegments);
        EXPECT_EQ(result.dblPower[0], 0.0);
    }
}

// Every segment's spectrum, transformed two at a time, against a direct DFT of that windowed segment
// in long double: the pairing must part the two segments exactly (odd counts leave one alone).
TEST(AveragedSpectrum, EachSegmentMatchesADirectTransformOfItsWindowedSamples)
{
    constexpr std::int32_t n = 64;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-20000.0, 20000.0);
    for (const std::int64_t lngSamples : {64, 96, 160, 999}) {
        for (const Detrend detrend : {Detrend::None, Detrend::Mean}) {
            SCOPED_TRACE(testing::Message() << lngSamples << " samples, detrend " << static_cast<int>(detrend));
            std::vector<double> dblSamples(static_cast<std::size_t>(lngSamples));
            for (double& dblValue : dblSamples) {
                dblValue = value(random) + 3000.0;
            }
            const AverageSettings settings{n, WindowKind::Hann, 50.0, Averaging::Mean, detrend};
            std::vector<long double> dblMean(static_cast<std::size_t>(spectrumLineCount(n)), 0.0L);
            const AveragedPower result =
                average(settings, dblSamples, [&](std::int64_t s, std::span<const double> dblPower) {
                    const std::size_t lngStart = static_cast<std::size_t>(s) * 32;
                    long double dblOffset = 0;
                    if (detrend == Detrend::Mean) {
                        for (std::size_t j = 0; j < n; ++j) {
                            dblOffset += dblSamples[lngStart + j];
                        }
                        dblOffset /= n;
                    }
                    for (std::size_t k = 0; k < dblPower.size(); ++k) {
                        long double dblR = 0;
                        long double dblI = 0;
                        for (std::size_t j = 0; j < n; ++j) {
                            const long double dblW =
                                0.5L - 0.5L * std::cos(2 * std::numbers::pi_v<long double> * j / n);
                            const long double dblAngle = -2 * std::numbers::pi_v<long double> * j * k / n;
                            dblR += dblW * (dblSamples[lngStart + j] - dblOffset) * std::cos(dblAngle);
                            dblI += dblW * (dblSamples[lngStart + j] - dblOffset) * std::sin(dblAngle);
                        }
                        const long double dblTruth = dblR * dblR + dblI * dblI;
                        ASSERT_NEAR(dblPower[k], static_cast<double>(dblTruth), 1e-9 * (20000.0 * 20000.0 * n * n))
                            << "segment " << s << " line " << k;
                        dblMean[k] += dblTruth;
                    }
                });
            ASSERT_EQ(result.lngSegments, segmentCount(lngSamples, n, 50.0));
            for (std::size_t k = 0; k < dblMean.size(); ++k) {
                EXPECT_NEAR(result.dblPower[k], static_cast<double>(dblMean[k] / result.lngSegments),
                            1e-9 * (20000.0 * 20000.0 * n * n));
            }
        }
    }
}

// A sine of known peak, on a line and half-way between two lines: with the flat top every amplitude
// unit reads its true level within 0.02 dB; under every window a tone half-way reads low by exactly
// the window's computed scalloping loss.
TEST(AveragedSpectrum, FlatTopReadsASineWithin002DbOnAndBetweenLines)
{
    constexpr double dblSampFreq = 1024;
    constexpr double dblPeakCounts = 6000;
    const double dblPeakVolts = dblPeakCounts * dblVoltsPerCount;
    const struct
    {
        SpectrumUnits units;
        double dblTruth;
    } truths[] = {{SpectrumUnits::Pp, 2 * dblPeakVolts},
                  {SpectrumUnits::Peak, dblPeakVolts},
                  {SpectrumUnits::Rms, dblPeakVolts / std::sqrt(2.0)},
                  {SpectrumUnits::DbV, 20 * std::log10(dblPeakVolts / std::sqrt(2.0))}};
    for (const double dblFreq : {100.0, 100.5, 173.25}) {
        const std::vector<double> dblSamples = sine(16384, dblSampFreq, dblFreq, dblPeakCounts);
        const AveragedPower result = average({1024, WindowKind::FlatTop, 50.0}, dblSamples);
        const auto lngLine = static_cast<std::size_t>(std::lround(std::floor(dblFreq)));
        for (const auto& truth : truths) {
            SCOPED_TRACE(testing::Message() << dblFreq << " Hz in " << unitsName(truth.units));
            const double dblRead = spectrumInUnits(result, truth.units, dblSampFreq, dblVoltsPerCount)[lngLine];
            const double dblError =
                truth.units == SpectrumUnits::DbV ? dblRead - truth.dblTruth : dB(dblRead, truth.dblTruth);
            EXPECT_LT(std::fabs(dblError), 0.02);
        }
    }
    for (const WindowKind window : windowKinds) {
        SCOPED_TRACE(windowName(window));
        const AveragedPower result = average({1024, window, 50.0}, sine(8192, dblSampFreq, 200.5, dblPeakCounts));
        const double dblRead = spectrumInUnits(result, SpectrumUnits::Peak, dblSampFreq, dblVoltsPerCount)[200];
        EXPECT_NEAR(-dB(dblRead, dblPeakVolts), result.figures.dblScallopLossDb, 0.01);
        const AveragedPower onLine = average({1024, window, 50.0}, sine(8192, dblSampFreq, 200, dblPeakCounts));
        EXPECT_NEAR(spectrumInUnits(onLine, SpectrumUnits::Peak, dblSampFreq, dblVoltsPerCount)[200], dblPeakVolts,
                    1e-9 * dblPeakVolts);
    }
}

// White noise of variance s^2 has the one-sided density s^2 / (fs / 2) at every line; averaged over
// many segments (and lines) the psd reads it within 5 % under every window, the asd its root.
TEST(AveragedSpectrum, WhiteNoiseDensityIsItsVarianceOverHalfTheSamplingFrequency)
{
    constexpr double dblSampFreq = 2000;
    constexpr double dblSigma = 300; // counts
    std::mt19937_64 random(11);
    std::normal_distribution<double> noise(0.0, dblSigma);
    std::vector<double> dblSamples(1 << 20);
    for (double& dblValue : dblSamples) {
        dblValue = noise(random);
    }
    const double dblTruth = dblSigma * dblSigma * dblVoltsPerCount * dblVoltsPerCount / (dblSampFreq / 2);
    for (const WindowKind window : windowKinds) {
        SCOPED_TRACE(windowName(window));
        const AveragedPower result = average({1024, window, 50.0}, dblSamples);
        EXPECT_EQ(result.lngSegments, 2047);
        const std::vector<double> dblPsd = spectrumInUnits(result, SpectrumUnits::Psd, dblSampFreq, dblVoltsPerCount);
        const std::vector<double> dblAsd = spectrumInUnits(result, SpectrumUnits::Asd, dblSampFreq, dblVoltsPerCount);
        double dblSum = 0;
        for (std::size_t k = 1; k < dblPsd.size(); ++k) {
            dblSum += dblPsd[k];
            ASSERT_NEAR(dblAsd[k] * dblAsd[k], dblPsd[k], 1e-12 * dblPsd[k]);
        }
        EXPECT_NEAR(dblSum / static_cast<double>(dblPsd.size() - 1), dblTruth, 0.05 * dblTruth);
    }
}

// A tone present in one segment only: peak hold keeps its full level, the mean spreads it over all.
TEST(AveragedSpectrum, PeakAveragingHoldsAToneOfOneSegment)
{
    constexpr std::int32_t n = 1024;
    constexpr double dblSampFreq = 1024;
    constexpr double dblPeakCounts = 2000;
    std::vector<double> dblSamples(8 * n, 0.0);
    const std::vector<double> dblTone = sine(n, dblSampFreq, 64, dblPeakCounts);
    std::copy(dblTone.begin(), dblTone.end(), dblSamples.begin() + 5 * n);
    std::vector<std::int64_t> lngLoudSegments;
    const auto listLoud = [&](std::int64_t lngSegment, std::span<const double> dblPower) {
        if (dblPower[64] > 1.0) {
            lngLoudSegments.push_back(lngSegment);
        }
    };
    const double dblRms = dblPeakCounts * dblVoltsPerCount / std::sqrt(2.0);
    for (const WindowKind window : {WindowKind::Hann, WindowKind::FlatTop}) {
        SCOPED_TRACE(windowName(window));
        lngLoudSegments.clear();
        const AveragedPower peak = average({n, window, 0.0, Averaging::Peak}, dblSamples, listLoud);
        EXPECT_EQ(lngLoudSegments, std::vector<std::int64_t>{5});
        EXPECT_NEAR(spectrumInUnits(peak, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount)[64], dblRms,
                    1e-9 * dblRms);
        const AveragedPower mean = average({n, window, 0.0, Averaging::Mean}, dblSamples);
        EXPECT_NEAR(spectrumInUnits(mean, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount)[64],
                    dblRms / std::sqrt(8.0), 1e-9 * dblRms);
    }
}

// A constant c: the amplitudes at 0 Hz read c (pp 2c), the density its power over the noise bandwidth
// in Hz without doubling; removing each segment's mean leaves nothing there.
TEST(AveragedSpectrum, ZeroHertzLineOfAConstant)
{
    constexpr std::int32_t n = 2048;
    constexpr double dblSampFreq = 1000;
    constexpr double dblCounts = -12.5;
    const double dblVolts = std::fabs(dblCounts) * dblVoltsPerCount;
    const std::vector<double> dblSamples(5 * n, dblCounts);
    const struct
    {
        WindowKind window;
        double dblLines; // noise bandwidth, exact for these two
    } windows[] = {
        {WindowKind::Rect, 1.0}, {WindowKind::Hann, 1.5}, {WindowKind::Hamming, 0}, {WindowKind::FlatTop, 0}};
    for (const auto& w : windows) {
        SCOPED_TRACE(windowName(w.window));
        const AveragedPower result = average({n, w.window, 50.0}, dblSamples);
        const auto at0 = [&](SpectrumUnits units) {
            return spectrumInUnits(result, units, dblSampFreq, dblVoltsPerCount)[0];
        };
        EXPECT_NEAR(at0(SpectrumUnits::Peak), dblVolts, 1e-12);
        EXPECT_NEAR(at0(SpectrumUnits::Rms), dblVolts, 1e-12);
        EXPECT_NEAR(at0(SpectrumUnits::Pp), 2 * dblVolts, 1e-12);
        EXPECT_NEAR(at0(SpectrumUnits::DbV), 20 * std::log10(dblVolts), 1e-9);
        if (w.dblLines > 0) {
            const double dblPsd = dblVolts * dblVolts / (w.dblLines * dblSampFreq / n);
            EXPECT_NEAR(at0(SpectrumUnits::Psd), dblPsd, 1e-12 * dblPsd);
        }
        // Away from 0 Hz the window's side lobes leave (next to) nothing.
        EXPECT_LT(spectrumInUnits(result, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount)[100], 1e-12);
        const AveragedPower detrended = average({n, w.window, 50.0, Averaging::Mean, Detrend::Mean}, dblSamples);
        EXPECT_LT(spectrumInUnits(detrended, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount)[0], 1e-12);
    }
    const AveragedPower silence = average({n, WindowKind::Hann, 50.0}, std::vector<double>(n, 0.0));
    EXPECT_EQ(spectrumInUnits(silence, SpectrumUnits::DbV, dblSampFreq, dblVoltsPerCount)[1], dblDbvFloor);
}

TEST(AveragedSpectrum, UnitNamesReadBack)
{
    for (const SpectrumUnits units : spectrumUnits) {
        EXPECT_EQ(unitsOfName(unitsName(units)), units);
    }
    EXPECT_FALSE(unitsOfName("RMS"));
}

} // namespace
} // namespace kestrix::engine
