// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency response estimates against what theory says of known systems: digital filters driven
// by white noise, noise added on either side, pure delays; and the phase unwrapping on made-up phases.
#include "engine/recordings/transfer_function.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"
#include "support/tone_spectra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

const double dblPI = computePI();
constexpr double dblSampFreq = 1024.0;

using testing::whiteNoise;

// A digital filter: sum b[j] x[n-j] - sum a[j] y[n-j] for j >= 1, with a[0] = 1.
struct Filter
{
    std::vector<double> dblB;
    std::vector<double> dblA;

    std::vector<double> apply(const std::vector<double>& dblX) const
    {
        std::vector<double> dblY(dblX.size());
        for (std::size_t n = 0; n < dblX.size(); ++n) {
            double dblSum = 0.0;
            for (std::size_t j = 0; j < dblB.size() && j <= n; ++j) {
                dblSum += dblB[j] * dblX[n - j];
            }
            for (std::size_t j = 1; j < dblA.size() && j <= n; ++j) {
                dblSum -= dblA[j] * dblY[n - j];
            }
            dblY[n] = dblSum;
        }
        return dblY;
    }

    // B(z) / A(z) at z = e^(i 2 pi f / fs).
    std::complex<double> response(double dblFreq) const
    {
        const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * dblFreq / dblSampFreq);
        std::complex<double> numerator = 0.0;
        std::complex<double> denominator = 0.0;
        for (std::size_t j = dblB.size(); j-- > 0;) {
            numerator = numerator * z1 + dblB[j];
        }
        for (std::size_t j = dblA.size(); j-- > 0;) {
            denominator = denominator * z1 + dblA[j];
        }
        return numerator / denominator;
    }
};

CrossSpectra averaged(const std::vector<double>& dblX, const std::vector<double>& dblY,
                      const AverageSettings& settings = {})
{
    CrossSpectrumAverager averager(settings, dblPI);
    averager.addSamples(dblX, dblY);
    return averager.finish();
}

TransferEstimates estimates(const CrossSpectra& spectra, double dblThreshold = dblDefaultCoherenceThreshold)
{
    return transferEstimates(spectra, TransferScale{dblSampFreq, 1.0, 1.0, dblThreshold},
                             static_cast<std::size_t>(spectra.settings.lngNumSamp / 2.56 + 1), dblPI);
}

double lineFreq(std::size_t k, const CrossSpectra& spectra)
{
    return static_cast<double>(k) * dblSampFreq / spectra.settings.lngNumSamp;
}

// The difference of two angles in degrees, brought to (-180, 180].
double angleDifference(double dblA, double dblB)
{
    return dblA - dblB - 360.0 * std::round((dblA - dblB) / 360.0);
}

TEST(TransferFunction, WhiteNoiseThroughKnownFiltersGivesTheirResponseWhereCoherent)
{
    const struct
    {
        const char* pchName;
        Filter filter;
    } cases[] = {
        {"resonance at fs/8", {{0.2, 0.1, -0.05}, {1.0, -1.2, 0.72}}},
        {"sharp resonance at fs/5", {{0.05, 0.0, -0.05}, {1.0, -2 * 0.97 * std::cos(0.4 * std::numbers::pi), 0.9409}}},
        {"low-pass FIR", {{0.1, 0.2, 0.3, 0.2, 0.1}, {1.0}}},
    };
    const std::vector<double> dblX = whiteNoise(1024 * 120, 3000.0, 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pchName);
        const CrossSpectra spectra = averaged(dblX, c.filter.apply(dblX));
        const TransferEstimates est = estimates(spectra);
        double dblWorstDb = 0.0;
        double dblWorstDeg = 0.0;
        std::size_t lngCoherent = 0;
        for (std::size_t k = 1; k < est.dblH1Magnitude.size(); ++k) {
            if (!(est.dblCoherence[k] > 0.99)) {
                continue;
            }
            ++lngCoherent;
            const std::complex<double> truth = c.filter.response(lineFreq(k, spectra));
            dblWorstDb = std::max(dblWorstDb, std::abs(20.0 * std::log10(est.dblH1Magnitude[k] / std::abs(truth))));
            dblWorstDeg =
                std::max(dblWorstDeg, std::abs(angleDifference(est.dblPhaseDeg[k], std::arg(truth) * 180.0 / dblPI)));
        }
        // Noise-free, the coherence falls only where the window's leakage blurs a steep slope.
        EXPECT_GT(lngCoherent, est.dblH1Magnitude.size() * 9 / 10);
        EXPECT_LT(dblWorstDb, 0.2);
        EXPECT_LT(dblWorstDeg, 2.0);
        RecordProperty(std::string(c.pchName) + " worst dB", std::to_string(dblWorstDb));
        RecordProperty(std::string(c.pchName) + " worst deg", std::to_string(dblWorstDeg));
    }
}

// Noise on one side: H1 = Gxy / Gxx ignores uncorrelated output noise and is lowered by input noise by
// Gxx / (Gxx + Gmm); H2 = Gyy / Gyx the reverse, raised by output noise by (Gvv + Gnn) / Gvv; the
// coherence is the share of power left undisturbed either way. Compared as means over the lines,
// where the estimates' own scatter averages out.
TEST(TransferFunction, NoiseBiasesH2OnTheOutputSideAndH1OnTheInputSideAsTheoryHas)
{
    const Filter filter{{0.8, 0.3}, {1.0}};
    const double dblSigmaX = 1000.0;
    const double dblSigmaNoise = 600.0;
    const std::vector<double> dblX = whiteNoise(1024 * 200, dblSigmaX, 21);
    const std::vector<double> dblNoise = whiteNoise(dblX.size(), dblSigmaNoise, 22);
    const std::vector<double> dblV = filter.apply(dblX);
    for (const bool blnOutputNoise : {true, false}) {
        SCOPED_TRACE(blnOutputNoise ? "noise on the output" : "noise on the input");
        std::vector<double> dblXMeasured = dblX;
        std::vector<double> dblYMeasured = dblV;
        std::vector<double>& dblNoisy = blnOutputNoise ? dblYMeasured : dblXMeasured;
        for (std::size_t n = 0; n < dblNoisy.size(); ++n) {
            dblNoisy[n] += dblNoise[n];
        }
        const CrossSpectra spectra = averaged(dblXMeasured, dblYMeasured);
        const TransferEstimates est = estimates(spectra);
        double dblH1 = 0.0, dblH2 = 0.0, dblCoherence = 0.0, dblH2Raw = 0.0;
        const std::size_t lngLines = est.dblH1Magnitude.size() - 1;
        for (std::size_t k = 1; k <= lngLines; ++k) {
            const double dblTrue = std::abs(filter.response(lineFreq(k, spectra)));
            const double dblNoiseRatio =
                (dblSigmaNoise * dblSigmaNoise) / (dblSigmaX * dblSigmaX * (blnOutputNoise ? dblTrue * dblTrue : 1.0));
            const double dblH1Expected = blnOutputNoise ? dblTrue : dblTrue / (1.0 + dblNoiseRatio);
            const double dblH2Expected = blnOutputNoise ? dblTrue * (1.0 + dblNoiseRatio) : dblTrue;
            dblH1 += est.dblH1Magnitude[k] / dblH1Expected / lngLines;
            dblH2 += est.dblH2Magnitude[k] / dblH2Expected / lngLines;
            dblH2Raw += est.dblH2Magnitude[k] / est.dblH1Magnitude[k] / lngLines;
            dblCoherence += est.dblCoherence[k] * (1.0 + dblNoiseRatio) / lngLines;
        }
        EXPECT_NEAR(dblH1, 1.0, 0.01);
        EXPECT_NEAR(dblH2, 1.0, 0.01);
        EXPECT_NEAR(dblCoherence, 1.0, 0.01);
        // The two estimates part clearly: H2 / H1 = 1 / coherence.
        EXPECT_GT(dblH2Raw, 1.3);
    }
}

// A copy of the input delayed by D samples (D whole or not): the delay from the correlation within
// 0.05 sample, the unwrapped phase a straight line of slope -360 D / fs degrees per Hz and the group
// delay D / fs. A band-limited pair is made periodic over a long span, so any delay is exact.
struct DelayedPair
{
    std::vector<double> dblX;
    std::vector<double> dblY;
};

DelayedPair bandLimitedPair(double dblDelay, double dblSign, unsigned intSeed)
{
    constexpr std::int32_t lngSpan = 65536;
    std::mt19937 random(intSeed);
    std::uniform_real_distribution<double> phase(-std::numbers::pi, std::numbers::pi);
    std::vector<double> dblXr(lngSpan, 0.0), dblXi(lngSpan, 0.0), dblYr(lngSpan, 0.0), dblYi(lngSpan, 0.0);
    for (std::int32_t k = 1; k < lngSpan * 9 / 20; ++k) { // up to 0.9 of half the rate
        const double dblPhase = phase(random);
        const double dblDelayed = dblPhase - 2.0 * std::numbers::pi * k * dblDelay / lngSpan;
        dblXr[k] = dblXr[lngSpan - k] = std::cos(dblPhase);
        dblXi[k] = std::sin(dblPhase);
        dblXi[lngSpan - k] = -dblXi[k];
        dblYr[k] = dblYr[lngSpan - k] = dblSign * std::cos(dblDelayed);
        dblYi[k] = dblSign * std::sin(dblDelayed);
        dblYi[lngSpan - k] = -dblYi[k];
    }
    const FftPlan inverse(lngSpan, 2.0 * dblPI / lngSpan);
    inverse.transform(dblXr, dblXi);
    inverse.transform(dblYr, dblYi);
    for (std::size_t n = 0; n < dblXr.size(); ++n) {
        dblXr[n] *= 10.0;
        dblYr[n] *= 10.0;
    }
    return {dblXr, dblYr};
}

DelayedPair whitePair(std::int32_t lngDelay, double dblOffset, unsigned intSeed)
{
    const std::vector<double> dblNoise = whiteNoise(1024 * 64 + 128, 3000.0, intSeed);
    DelayedPair pair;
    for (std::size_t n = 64; n + 64 < dblNoise.size(); ++n) {
        pair.dblX.push_back(dblNoise[n] + dblOffset);
        pair.dblY.push_back(dblNoise[static_cast<std::size_t>(static_cast<std::int64_t>(n) - lngDelay)] - dblOffset);
    }
    return pair;
}

// The least-squares slope (degrees per Hz) of the unwrapped phase over the lines whose coherence is at
// or above the threshold, and the largest distance of those lines from the fitted line. The lines
// within the window's main lobe of 0 Hz are left out: there the channels' offsets, not the delay, set
// the phase.
struct PhaseLine
{
    double dblSlope = 0.0;
    double dblWorstResidual = 0.0;
    std::size_t lngLines = 0;
};

PhaseLine fitPhase(const TransferEstimates& est, const CrossSpectra& spectra)
{
    std::vector<double> dblF, dblP;
    for (auto k = static_cast<std::size_t>(mainLobeHalfWidth(spectra.settings.window)); k < est.dblUnwrappedDeg.size();
         ++k) {
        if (est.dblCoherence[k] >= dblDefaultCoherenceThreshold) {
            dblF.push_back(lineFreq(k, spectra));
            dblP.push_back(est.dblUnwrappedDeg[k]);
        }
    }
    const auto dblCount = static_cast<double>(dblF.size());
    double dblMeanF = 0.0, dblMeanP = 0.0;
    for (std::size_t i = 0; i < dblF.size(); ++i) {
        dblMeanF += dblF[i] / dblCount;
        dblMeanP += dblP[i] / dblCount;
    }
    double dblCov = 0.0, dblVar = 0.0;
    for (std::size_t i = 0; i < dblF.size(); ++i) {
        dblCov += (dblF[i] - dblMeanF) * (dblP[i] - dblMeanP);
        dblVar += (dblF[i] - dblMeanF) * (dblF[i] - dblMeanF);
    }
    PhaseLine line{dblCov / dblVar, 0.0, dblF.size()};
    for (std::size_t i = 0; i < dblF.size(); ++i) {
        line.dblWorstResidual =
            std::max(line.dblWorstResidual, std::abs(dblP[i] - dblMeanP - line.dblSlope * (dblF[i] - dblMeanF)));
    }
    return line;
}

TEST(TransferFunction, APureDelayIsFoundWithinFiveHundredthsOfASampleAndGivesAStraightPhase)
{
    const struct
    {
        const char* pchName;
        DelayedPair pair;
        double dblDelay;
        WindowKind window;
        double dblCorrelationSign;
    } cases[] = {
        {"37 samples, white", whitePair(37, 0.0, 1), 37.0, WindowKind::Hann, 1.0},
        {"37 samples, white, large offsets", whitePair(37, 20000.0, 2), 37.0, WindowKind::Hann, 1.0},
        {"output 12 samples ahead", whitePair(-12, 0.0, 3), -12.0, WindowKind::Rect, 1.0},
        {"37.3 samples, band-limited", bandLimitedPair(37.3, 1.0, 4), 37.3, WindowKind::Hann, 1.0},
        {"20.5 samples, band-limited", bandLimitedPair(20.5, 1.0, 5), 20.5, WindowKind::BlackmanHarris, 1.0},
        {"36.85 samples, inverted", bandLimitedPair(36.85, -1.0, 6), 36.85, WindowKind::Hamming, -1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pchName);
        AverageSettings settings;
        settings.window = c.window;
        const CrossSpectra spectra = averaged(c.pair.dblX, c.pair.dblY, settings);
        const std::optional<ChannelDelay> delay = channelDelay(spectra, dblSampFreq, dblPI);
        ASSERT_TRUE(delay);
        EXPECT_NEAR(delay->dblSamples, c.dblDelay, 0.05);
        EXPECT_NEAR(delay->dblSeconds, c.dblDelay / dblSampFreq, 0.05 / dblSampFreq);
        EXPECT_GT(delay->dblCorrelation * c.dblCorrelationSign, 0.8);
        RecordProperty(std::string(c.pchName) + " error (samples)", std::to_string(delay->dblSamples - c.dblDelay));

        const TransferEstimates est = estimates(spectra);
        const PhaseLine line = fitPhase(est, spectra);
        EXPECT_GT(line.lngLines, est.dblCoherence.size() * 3 / 4);
        EXPECT_NEAR(-line.dblSlope / 360.0 * dblSampFreq, c.dblDelay, 0.05);
        EXPECT_LT(line.dblWorstResidual, 20.0); // nowhere near a turn
        std::vector<double> dblGroup;
        for (const double dblValue : est.dblGroupDelay) {
            if (!std::isnan(dblValue)) {
                dblGroup.push_back(dblValue * dblSampFreq);
            }
        }
        ASSERT_FALSE(dblGroup.empty());
        std::nth_element(dblGroup.begin(), dblGroup.begin() + dblGroup.size() / 2, dblGroup.end());
        EXPECT_NEAR(dblGroup[dblGroup.size() / 2], c.dblDelay, 0.05);
    }
}

TEST(TransferFunction, NoDelayIsFoundWithoutCrossPower)
{
    const std::vector<double> dblX = whiteNoise(4096, 100.0, 9);
    const std::vector<double> dblZero(dblX.size(), 0.0);
    EXPECT_FALSE(channelDelay(averaged(dblX, dblZero), dblSampFreq, dblPI));
}

// The unwrapping on phases made up line by line: a straight line falling 13 degrees a line (a delay),
// wrapped, with untrusted lines of any phase.
std::vector<double> wrappedLine(std::size_t lngLines, double dblSlope, double dblStart)
{
    std::vector<double> dblOut(lngLines);
    for (std::size_t k = 0; k < lngLines; ++k) {
        dblOut[k] = angleDifference(dblStart + dblSlope * static_cast<double>(k), 0.0);
    }
    return dblOut;
}

TEST(TransferFunction, UntrustedLinesNeitherStepNorBendTheUnwrappedPhase)
{
    constexpr std::size_t lngLines = 200;
    constexpr double dblSlope = -13.0;
    const std::vector<double> dblClean = wrappedLine(lngLines, dblSlope, 5.0);
    struct Case
    {
        const char* pchName;
        std::vector<std::size_t> lngUntrusted; // lines given phase 180 off their course and coherence 0.1
    };
    std::vector<std::size_t> lngGap;
    for (std::size_t k = 90; k < 120; ++k) { // 30 lines: the phase turns on by 390 degrees across them
        lngGap.push_back(k);
    }
    const Case cases[] = {
        {"one noisy line", {57}},
        {"two neighbours", {57, 58}},
        {"a gap of 30 lines", lngGap},
        {"the first lines", {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pchName);
        std::vector<double> dblWrapped = dblClean;
        std::vector<double> dblCoherence(lngLines, 0.95);
        for (const std::size_t k : c.lngUntrusted) {
            dblWrapped[k] = angleDifference(dblWrapped[k] + 179.0, 0.0);
            dblCoherence[k] = 0.1;
        }
        const std::vector<double> dblUnwrapped = unwrapPhase(dblWrapped, dblCoherence, 0.5);
        for (std::size_t k = 0; k < lngLines; ++k) {
            const double dblCourse = 5.0 + dblSlope * static_cast<double>(k);
            const double dblTurns = (dblUnwrapped[k] - dblWrapped[k]) / 360.0;
            EXPECT_NEAR(dblTurns, std::round(dblTurns), 1e-12) << "line " << k;
            if (dblCoherence[k] >= 0.5) {
                EXPECT_NEAR(dblUnwrapped[k], dblCourse, 1e-9) << "line " << k;
            } else {
                EXPECT_LE(std::abs(dblUnwrapped[k] - dblCourse), 180.0) << "line " << k;
            }
        }
    }
    // The same single line trusted throws every line after it by a turn: what the threshold prevents.
    std::vector<double> dblWrapped = dblClean;
    dblWrapped[57] = angleDifference(dblWrapped[57] + 179.0, 0.0);
    const std::vector<double> dblThrown = unwrapPhase(dblWrapped, {}, 0.5);
    EXPECT_NEAR(std::abs(dblThrown[150] - (5.0 + dblSlope * 150)), 360.0, 1e-6);
}

TEST(TransferFunction, APhaseThatDoesNotExistStaysEmptyAndIsNotTrusted)
{
    const double dblNaN = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> dblWrapped = {dblNaN, 170.0, -170.0, dblNaN, -150.0};
    const std::vector<double> dblUnwrapped = unwrapPhase(dblWrapped, {}, 0.5);
    EXPECT_TRUE(std::isnan(dblUnwrapped[0]));
    EXPECT_TRUE(std::isnan(dblUnwrapped[3]));
    EXPECT_DOUBLE_EQ(dblUnwrapped[1], 170.0);
    EXPECT_DOUBLE_EQ(dblUnwrapped[2], 190.0);
    EXPECT_DOUBLE_EQ(dblUnwrapped[4], -150.0 + 360.0); // on the course 190 + 20 a line over two lines
    // Nothing trusted: the phases as they are.
    const std::vector<double> dblNone =
        unwrapPhase(std::vector<double>{170.0, -170.0}, std::vector<double>{0.2, 0.3}, 0.5);
    EXPECT_EQ(dblNone, (std::vector<double>{170.0, -170.0}));
}

TEST(TransferFunction, OneSegmentRefusesTheCoherenceWithItsFactsButKeepsTheResponse)
{
    const std::vector<double> dblX = whiteNoise(1024 + 511, 1000.0, 3); // one segment short of two
    std::vector<double> dblY(dblX.size());
    for (std::size_t n = 0; n < dblX.size(); ++n) {
        dblY[n] = -2.5 * dblX[n];
    }
    const CrossSpectra spectra = averaged(dblX, dblY);
    ASSERT_EQ(spectra.lngSegments, 1);
    const TransferEstimates est = estimates(spectra);
    EXPECT_TRUE(est.dblCoherence.empty());
    EXPECT_EQ(est.strCoherenceRefusal, "no coherence from 1 segment: it is 1 on every line whatever the channels "
                                       "hold; it needs 2 segments or more (N = 1024, 1535 samples; 1536 give 2)");
    for (std::size_t k = 0; k < est.dblH1Magnitude.size(); ++k) {
        EXPECT_NEAR(est.dblH1Magnitude[k], 2.5, 1e-12) << "line " << k;
        EXPECT_NEAR(std::abs(est.dblPhaseDeg[k]), 180.0, 1e-9) << "line " << k;
    }
    // One sample more gives two segments and a coherence.
    std::vector<double> dblLonger = dblX;
    dblLonger.push_back(0.0);
    std::vector<double> dblLongerY = dblY;
    dblLongerY.push_back(0.0);
    EXPECT_EQ(estimates(averaged(dblLonger, dblLongerY)).dblCoherence.size(), est.dblH1Magnitude.size());
}

// Each channel in its own unit: H in output EU per input EU, the densities in the scaling of the
// averaged spectrum's PSD of either channel alone, 0 Hz not doubled.
TEST(TransferFunction, DensitiesAreTheAveragedSpectrumsPsdInEachChannelsUnit)
{
    const std::vector<double> dblX = whiteNoise(1024 * 20, 2000.0, 8);
    std::vector<double> dblOutput(dblX.size());
    for (std::size_t n = 0; n < dblX.size(); ++n) {
        dblOutput[n] = 3.0 * dblX[n];
    }
    const std::vector<double>& dblY = dblOutput;
    const double dblVoltsPerCount = 5.0 / 32767;
    const double dblInputVoltsPerEu = 0.1;   // 100 mV/N
    const double dblOutputVoltsPerEu = 0.01; // 10 mV/g
    const AverageSettings settings{1024, WindowKind::Hamming, 66.7};
    const CrossSpectra spectra = averaged(dblX, dblY, settings);
    const TransferScale scale{dblSampFreq, dblVoltsPerCount / dblInputVoltsPerEu,
                              dblVoltsPerCount / dblOutputVoltsPerEu};
    const TransferEstimates est = transferEstimates(spectra, scale, 401, dblPI);
    for (const auto& [dblSignal, dblVoltsPerEu, dblDensity] :
         {std::tuple{&dblX, dblInputVoltsPerEu, &est.dblGxx}, std::tuple{&dblY, dblOutputVoltsPerEu, &est.dblGyy}}) {
        SpectrumAverager single(settings, dblPI);
        single.addSamples(*dblSignal);
        const std::vector<double> dblPsd =
            spectrumInUnits(single.finish(), SpectrumUnits::Psd, dblSampFreq, dblVoltsPerCount);
        for (std::size_t k = 0; k < dblPsd.size(); ++k) {
            const double dblExpected = dblPsd[k] / (dblVoltsPerEu * dblVoltsPerEu);
            EXPECT_NEAR((*dblDensity)[k], dblExpected, 1e-12 * dblExpected) << "line " << k;
        }
    }
    for (std::size_t k = 1; k < est.dblH1Magnitude.size(); ++k) {
        EXPECT_NEAR(est.dblH1Magnitude[k], 3.0 * dblInputVoltsPerEu / dblOutputVoltsPerEu, 1e-10) << "line " << k;
        EXPECT_NEAR(est.dblGxyMagnitude[k], std::sqrt(est.dblGxx[k] * est.dblGyy[k]), 1e-10 * est.dblGxyMagnitude[k]);
    }
}

} // namespace
} // namespace kestrix::engine
