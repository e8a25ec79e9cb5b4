// SPDX-License-Identifier: GPL-3.0-or-later
// The octave filter bank against the class 1 demands of IEC 61260-1 and against plain truths: steady
// tones read their rms in their own band, an edge tone splits, a sweep never falls between bands,
// noise power is conserved (checked against the power a transform of the same noise finds in the
// bands' span), and every band's response (the decimation's filters and folding included) stays in its
// class 1 mask, which steady tones confirm.
#include "engine/recordings/octave_filter_bank.h"
#include "engine/run/fft.h"
#include "engine/run/global_define.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

constexpr double dblFs = 48000.0;

double powerDb(double dblPower)
{
    return 10.0 * std::log10(dblPower);
}

// Feeds a steady sine of peak dblPeak at dblHz: the bank settles (long enough for the narrowest band
// it touches to forget the start), the averages restart, then an integral number of periods is measured.
std::vector<double> steadyToneMeanSquares(OctaveFilterBank& bank, double dblHz, double dblPeak = 1000.0)
{
    const double dblSettle = std::max(0.05, 60.0 / dblHz); // s: 80 dB of decay for the bands near the tone
    const double dblMeasure = std::max(0.1, 25.0 / dblHz);
    const auto lngSettle = static_cast<std::size_t>(dblSettle * dblFs);
    const auto lngMeasure = static_cast<std::size_t>(std::round(std::round(dblMeasure * dblHz) / dblHz * dblFs));
    std::vector<double> dblSignal(lngSettle + lngMeasure);
    for (std::size_t n = 0; n < dblSignal.size(); ++n) {
        dblSignal[n] = dblPeak * std::sin(2.0 * std::numbers::pi * dblHz * static_cast<double>(n) / dblFs + 0.3);
    }
    bank.addSamples(std::span<const double>(dblSignal).first(lngSettle));
    bank.restartAverages();
    bank.addSamples(std::span<const double>(dblSignal).subspan(lngSettle));
    return bank.meanSquares();
}

std::size_t bandIndexOf(const OctaveFilterBank& bank, const std::string& strNominal)
{
    const auto& bands = bank.bands();
    const auto found =
        std::find_if(bands.begin(), bands.end(), [&](const OctaveBand& b) { return b.strNominal == strNominal; });
    return static_cast<std::size_t>(found - bands.begin());
}

TEST(OctaveFilterBank, ThirdOctaveRunsEachOctaveOfBandsAtItsOwnRate)
{
    const OctaveFilterBank bank(3, 20.0, dblFs);
    ASSERT_EQ(bank.bands().size(), 31u);
    for (std::size_t i = 0; i < bank.bands().size(); ++i) {
        const double dblRate = dblFs / std::ldexp(1.0, bank.bandStage(i));
        SCOPED_TRACE(bank.bands()[i].strNominal);
        // Below the top stage (where fs itself is the limit): at least four samples a period of the
        // upper edge, and never more than twice that.
        if (bank.bandStage(i) > 0) {
            EXPECT_GE(dblRate, 4.0 * bank.bands()[i].dblUpper);
            EXPECT_LT(dblRate, 8.0 * bank.bands()[i].dblUpper);
        } else {
            EXPECT_GE(8.0 * bank.bands()[i].dblUpper, dblFs);
        }
    }
    // The 25 Hz band (5.8 Hz wide) runs at 187.5 Hz, the 1 kHz band at 6 kHz.
    EXPECT_EQ(bank.bandStage(bandIndexOf(bank, "25")), 8);
    EXPECT_EQ(bank.bandStage(bandIndexOf(bank, "1000")), 3);
}

TEST(OctaveFilterBank, ToneAtEachThirdOctaveMidbandReadsItsRmsAndLeavesItsNeighboursDown)
{
    OctaveFilterBank bank(3, 20.0, dblFs);
    const std::size_t lngFirst = bandIndexOf(bank, "25");
    ASSERT_GE(lngFirst, 1u);
    const std::size_t lngLast = bandIndexOf(bank, "10000");
    ASSERT_LT(lngLast, bank.bands().size());
    const double dblPeak = 1000.0;
    const double dblToneDb = powerDb(dblPeak * dblPeak / 2.0);
    double dblWorst = 0.0;
    double dblLeastDown = 1e9;
    for (std::size_t i = lngFirst; i <= lngLast; ++i) {
        const OctaveBand& band = bank.bands()[i];
        SCOPED_TRACE(band.strNominal);
        const std::vector<double> dblMs = steadyToneMeanSquares(bank, band.dblMidband, dblPeak);
        EXPECT_NEAR(powerDb(dblMs[i]), dblToneDb, 0.1);
        dblWorst = std::max(dblWorst, std::abs(powerDb(dblMs[i]) - dblToneDb));
        dblLeastDown = std::min({dblLeastDown, dblToneDb - powerDb(dblMs[i - 1]), dblToneDb - powerDb(dblMs[i + 1])});
        // The neighbours one and two bands away, as far down as the mask asks at their Omega, and as
        // far as the bank's own response says (the response model is what the mask test sweeps).
        for (const std::size_t j : {i - 1, i + 1, i + 2}) {
            const double dblAttenuation = dblToneDb - powerDb(dblMs[j]);
            const double dblOmega = band.dblMidband / bank.bands()[j].dblMidband;
            EXPECT_GE(dblAttenuation, class1Limits(3, dblOmega).dblMinDb);
            const double dblModel = -20.0 * std::log10(bank.bandMagnitude(j, band.dblMidband));
            EXPECT_NEAR(dblAttenuation, dblModel, 0.5) << "band " << bank.bands()[j].strNominal;
        }
        EXPECT_GE(dblToneDb - powerDb(dblMs[i + 1]), 30.0); // far beyond the mask's 1.2 dB at G^(1/3)
    }
    RecordProperty("worst_midband_error_db", std::to_string(dblWorst));
    RecordProperty("least_neighbour_attenuation_db", std::to_string(dblLeastDown));
}

TEST(OctaveFilterBank, ToneOnAnEdgeIsSplitBetweenTheTwoBands)
{
    OctaveFilterBank bank(3, 20.0, dblFs);
    for (const std::string strBelow : {"40", "315", "2500"}) {
        SCOPED_TRACE(strBelow);
        const std::size_t i = bandIndexOf(bank, strBelow);
        const std::vector<double> dblMs = steadyToneMeanSquares(bank, bank.bands()[i].dblUpper);
        const double dblToneDb = powerDb(1000.0 * 1000.0 / 2.0);
        for (const std::size_t j : {i, i + 1}) {
            const double dblAttenuation = dblToneDb - powerDb(dblMs[j]);
            EXPECT_GE(dblAttenuation, 1.2);
            EXPECT_LE(dblAttenuation, 5.3);
            EXPECT_NEAR(dblAttenuation, 3.01, 0.1); // Butterworth: half the power each
        }
    }
}

// The sum of all bands' mean squares over the tone's, in dB.
double bandSumDb(const std::vector<double>& dblMs, double dblPeak)
{
    double dblSum = 0.0;
    for (const double dbl : dblMs) {
        dblSum += dbl;
    }
    return powerDb(dblSum) - powerDb(dblPeak * dblPeak / 2.0);
}

TEST(OctaveFilterBank, SweptToneNeverFallsBetweenBands)
{
    OctaveFilterBank bank(3, 20.0, dblFs);
    // Steps of 1/13 octave (never on a band's own grid) from 25 Hz to 10 kHz.
    double dblWorst = 0.0;
    for (double dblHz = 25.0; dblHz <= 10000.0; dblHz *= std::pow(2.0, 1.0 / 13.0)) {
        SCOPED_TRACE(dblHz);
        const double dblSum = bandSumDb(steadyToneMeanSquares(bank, dblHz), 1000.0);
        EXPECT_NEAR(dblSum, 0.0, 0.3);
        dblWorst = std::max(dblWorst, std::abs(dblSum));
    }
    RecordProperty("worst_band_sum_error_db", std::to_string(dblWorst));
}

// The power response summed over the bands, from the response model, on a dense grid: within 0.3 dB of
// unity from the lowest band's midband up to an octave below fs / 4, for every bandwidth and two rates.
TEST(OctaveFilterBank, PowerResponsesOfAllBandsSumToUnity)
{
    for (const double dblRate : {48000.0, 44100.0}) {
        for (const std::int32_t lngB : lngBandsPerOctaveChoices) {
            SCOPED_TRACE(std::to_string(lngB) + " at " + std::to_string(dblRate));
            const OctaveFilterBank bank(lngB, 20.0, dblRate);
            double dblLow = 0.0;
            double dblHigh = 0.0;
            for (double dblHz = bank.bands().front().dblMidband; dblHz < dblRate / 8.0; dblHz *= 1.003) {
                double dblSum = 0.0;
                for (std::size_t i = 0; i < bank.bands().size(); ++i) {
                    dblSum += std::pow(bank.bandMagnitude(i, dblHz), 2);
                }
                dblLow = std::min(dblLow, powerDb(dblSum));
                dblHigh = std::max(dblHigh, powerDb(dblSum));
            }
            EXPECT_GT(dblLow, -0.3);
            EXPECT_LT(dblHigh, 0.3);
        }
    }
}

// Every band's relative attenuation (to its gain at the exact midband) on a grid of Omega from 1/8 to
// 8, where that lies below fs / 2, within the class 1 limits: steps of a twentieth of the half
// bandwidth out to the e = 1 breakpoint, of 0.5 % beyond.
TEST(OctaveFilterBank, EveryBandMeetsItsClass1Mask)
{
    for (const double dblRate : {48000.0, 44100.0, 8000.0}) {
        for (const std::int32_t lngB : lngBandsPerOctaveChoices) {
            const OctaveFilterBank bank(lngB, 20.0, dblRate);
            double dblMargin = 1e9;
            double dblStopMargin =
                1e9; // from the e = 1 breakpoint outwards, where the least attenuation is 16.6 dB or more
            const double dblFineStep = 1.0 + (std::pow(10.0, 0.15 / lngB) - 1.0) / 20.0;
            const double dblFineReach = class1Breakpoints(lngB)[5].dblOmega;
            for (std::size_t i = 0; i < bank.bands().size(); ++i) {
                const OctaveBand& band = bank.bands()[i];
                const double dblMidGain = bank.bandMagnitude(i, band.dblMidband);
                for (double dblOmega = 0.125; dblOmega <= 8.0;
                     dblOmega *= dblOmega > 1.0 / dblFineReach && dblOmega < dblFineReach ? dblFineStep : 1.005) {
                    const double dblHz = dblOmega * band.dblMidband;
                    if (dblHz >= dblRate / 2.0) {
                        break;
                    }
                    const double dblAttenuation = 20.0 * std::log10(dblMidGain / bank.bandMagnitude(i, dblHz));
                    const AttenuationLimits limits = class1Limits(lngB, dblOmega);
                    dblMargin =
                        std::min({dblMargin, dblAttenuation - limits.dblMinDb, limits.dblMaxDb - dblAttenuation});
                    if (limits.dblMinDb >= 16.6) {
                        dblStopMargin = std::min(dblStopMargin, dblAttenuation - limits.dblMinDb);
                    }
                    if (dblAttenuation < limits.dblMinDb || dblAttenuation > limits.dblMaxDb) {
                        ADD_FAILURE() << "1/" << lngB << " at " << dblRate << " Hz, band " << band.strNominal << ": "
                                      << dblAttenuation << " dB at Omega " << dblOmega;
                        break;
                    }
                }
            }
            const std::string strCase = std::to_string(lngB) + "_" + std::to_string(static_cast<int>(dblRate));
            RecordProperty("mask_margin_1_" + strCase, std::to_string(dblMargin));
            RecordProperty("stop_band_margin_1_" + strCase, std::to_string(dblStopMargin));
        }
    }
}

// Noise of a known spectrum: the sum over the bands against the power a transform of the same samples
// finds between the lowest band's lower edge and the highest band's upper edge.
void expectNoisePowerConserved(bool blnPink)
{
    constexpr std::int32_t lngPoints = 1 << 20;
    const auto lngSettle = static_cast<std::size_t>(3.0 * dblFs);
    std::mt19937_64 random(blnPink ? 7 : 11);
    std::normal_distribution<double> normal(0.0, 1000.0);
    std::vector<double> dblNoise(lngSettle + lngPoints);
    // Pink: white noise through a sum of first-order low-passes, a spectrum falling about 3 dB an
    // octave; its exact shape does not matter, the transform measures it.
    double dblState[5] = {};
    const double dblPoles[5] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000};
    const double dblWeights[5] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522};
    for (double& dblSample : dblNoise) {
        const double dblWhite = normal(random);
        if (!blnPink) {
            dblSample = dblWhite;
            continue;
        }
        double dblSum = 0.1848 * dblWhite;
        for (int k = 0; k < 5; ++k) {
            dblState[k] = dblPoles[k] * dblState[k] + dblWeights[k] * dblWhite;
            dblSum += dblState[k];
        }
        dblSample = dblSum;
    }
    OctaveFilterBank bank(3, 20.0, dblFs);
    bank.addSamples(std::span<const double>(dblNoise).first(lngSettle));
    bank.restartAverages();
    bank.addSamples(std::span<const double>(dblNoise).subspan(lngSettle));
    double dblBandSum = 0.0;
    for (const double dblMs : bank.meanSquares()) {
        dblBandSum += dblMs;
    }
    std::vector<double> dblR(dblNoise.begin() + static_cast<std::ptrdiff_t>(lngSettle), dblNoise.end());
    std::vector<double> dblI(lngPoints, 0.0);
    const FftPlan fft(lngPoints, -2.0 * computePI() / lngPoints);
    fft.transform(dblR, dblI);
    const double dblLow = bank.bands().front().dblLower;
    const double dblHigh = bank.bands().back().dblUpper;
    double dblSpan = 0.0;
    for (std::int32_t k = 1; k < lngPoints / 2; ++k) {
        const double dblHz = k * dblFs / lngPoints;
        if (dblHz >= dblLow && dblHz <= dblHigh) {
            dblSpan += 2.0 *
                       (dblR[static_cast<std::size_t>(k)] * dblR[static_cast<std::size_t>(k)] +
                        dblI[static_cast<std::size_t>(k)] * dblI[static_cast<std::size_t>(k)]) /
                       (static_cast<double>(lngPoints) * lngPoints);
        }
    }
    EXPECT_NEAR(powerDb(dblBandSum), powerDb(dblSpan), 0.2);
    ::testing::Test::RecordProperty(blnPink ? "pink_sum_error_db" : "white_sum_error_db",
                                    std::to_string(powerDb(dblBandSum) - powerDb(dblSpan)));
}

TEST(OctaveFilterBank, WhiteNoiseBandPowersAddUpToThePowerInTheirSpan)
{
    expectNoisePowerConserved(false);
}

TEST(OctaveFilterBank, PinkNoiseBandPowersAddUpToThePowerInTheirSpan)
{
    expectNoisePowerConserved(true);
}

// The bank's sections (two multiplications a section, skewed, two or four bands to a register) against
// the plain direct form of the same sections, for the order the bank uses and for an odd one (the
// general path), in blocks of awkward sizes; five bands fill the registers but for one lane. Every
// width the processor has gives the same sums to the last bit.
TEST(BandPassBank, SumsTheSquaresOfWhatTheDirectFormGives)
{
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> dblSignal(20000);
    for (double& dbl : dblSignal) {
        dbl = normal(random);
    }
    for (const std::int32_t lngOrder : {6, 3}) {
        const std::vector<std::vector<Biquad>> designs = {
            butterworthBandPass(lngOrder, 900.0, 1120.0, dblFs), butterworthBandPass(lngOrder, 40.0, 80.0, dblFs),
            butterworthBandPass(lngOrder, 11000.0, 14000.0, dblFs),
            butterworthBandPass(lngOrder, 2000.0, 4000.0, dblFs), butterworthBandPass(lngOrder, 300.0, 330.0, dblFs)};
        std::optional<std::vector<double>> dblTwoLanes;
        for (const BankLanes lanes : {BankLanes::Two, BankLanes::Four}) {
            SCOPED_TRACE("order " + std::to_string(lngOrder) + (lanes == BankLanes::Two ? ", two" : ", four") +
                         " lanes");
            if (!bankLanesAvailable(lanes)) {
                continue;
            }
            BandPassBank bank(designs, lanes);
            for (std::size_t lngAt = 0; lngAt < dblSignal.size();) {
                const std::size_t lngTake = std::min<std::size_t>(dblSignal.size() - lngAt, 1 + (lngAt * 7) % 1500);
                bank.process(std::span<const double>(dblSignal).subspan(lngAt, lngTake));
                lngAt += lngTake;
            }
            // The bank's output lags by one sample a section after the first: it has summed all but the
            // last order - 1 samples' outputs.
            const auto lngSummed = static_cast<std::size_t>(bank.samplesSummed());
            ASSERT_EQ(lngSummed, dblSignal.size() - static_cast<std::size_t>(lngOrder - 1));
            const std::vector<double> dblSums = bank.sumsOfSquares();
            for (std::size_t b = 0; b < designs.size(); ++b) {
                std::vector<double> dblOut = dblSignal;
                SectionCascade(designs[b]).process(dblOut);
                double dblDirect = 0.0;
                for (std::size_t n = 0; n < lngSummed; ++n) {
                    dblDirect += dblOut[n] * dblOut[n];
                }
                EXPECT_NEAR(dblSums[b], dblDirect, 1e-9 * dblDirect) << "band " << b;
            }
            if (dblTwoLanes) {
                EXPECT_EQ(dblSums, *dblTwoLanes);
            }
            dblTwoLanes = dblSums;
        }
    }
}

// The half-band decimator against a direct convolution with its taps, kept every second output, and
// its response against its promises.
TEST(HalfbandDecimator, IsTheDirectConvolutionAtEveryEvenSample)
{
    const std::vector<double> dblTaps = HalfbandDecimator::taps();
    ASSERT_EQ(dblTaps.size(), static_cast<std::size_t>(HalfbandDecimator::lngHalfbandTaps));
    std::mt19937_64 random(9);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> dblSignal(3001);
    for (double& dbl : dblSignal) {
        dbl = normal(random);
    }
    HalfbandDecimator decimator;
    std::vector<double> dblOutput;
    for (std::size_t lngAt = 0; lngAt < dblSignal.size();) {
        const std::size_t lngTake = std::min<std::size_t>(dblSignal.size() - lngAt, 1 + (lngAt * 13) % 301);
        decimator.process(std::span<const double>(dblSignal).subspan(lngAt, lngTake), dblOutput);
        lngAt += lngTake;
    }
    const auto lngHalf = static_cast<std::ptrdiff_t>(HalfbandDecimator::lngHalfLength);
    // Output m is centred on input 2m and needs inputs up to 2m + half.
    ASSERT_EQ(static_cast<std::ptrdiff_t>(dblOutput.size()),
              (static_cast<std::ptrdiff_t>(dblSignal.size()) - lngHalf + 1) / 2);
    for (std::size_t m = 0; m < dblOutput.size(); ++m) {
        double dblDirect = 0.0;
        for (std::ptrdiff_t k = -lngHalf; k <= lngHalf; ++k) {
            const std::ptrdiff_t n = 2 * static_cast<std::ptrdiff_t>(m) + k;
            if (n >= 0) {
                dblDirect += dblTaps[static_cast<std::size_t>(k + lngHalf)] * dblSignal[static_cast<std::size_t>(n)];
            }
        }
        EXPECT_NEAR(dblOutput[m], dblDirect, 1e-12) << m;
    }
    for (double dblRelative = 0.0; dblRelative <= 0.5; dblRelative += 0.001) {
        const double dblDb = 20.0 * std::log10(HalfbandDecimator::magnitude(dblRelative) + 1e-300);
        if (dblRelative <= 0.19) {
            EXPECT_NEAR(dblDb, 0.0, 0.001) << dblRelative;
        } else if (dblRelative >= 0.31) {
            EXPECT_LT(dblDb, -95.0) << dblRelative;
        }
    }
}

TEST(OctaveFilterBank, AveragesRestartAndChunkingDoesNotChangeTheResult)
{
    std::vector<double> dblSignal(50000);
    std::mt19937_64 random(3);
    std::normal_distribution<double> normal(0.0, 100.0);
    for (double& dbl : dblSignal) {
        dbl = normal(random);
    }
    OctaveFilterBank whole(1, 20.0, dblFs);
    whole.addSamples(dblSignal);
    OctaveFilterBank pieces(1, 20.0, dblFs);
    for (std::size_t lngAt = 0; lngAt < dblSignal.size();) {
        const std::size_t lngTake = std::min<std::size_t>(dblSignal.size() - lngAt, 1 + lngAt % 997);
        pieces.addSamples(std::span<const double>(dblSignal).subspan(lngAt, lngTake));
        lngAt += lngTake;
    }
    const std::vector<double> dblWhole = whole.meanSquares();
    const std::vector<double> dblPieces = pieces.meanSquares();
    for (std::size_t i = 0; i < dblWhole.size(); ++i) {
        EXPECT_NEAR(dblPieces[i], dblWhole[i], 1e-9 * dblWhole[i]);
    }
    whole.restartAverages();
    for (const double dbl : whole.meanSquares()) {
        EXPECT_EQ(dbl, 0.0);
    }
}

} // namespace
} // namespace kestrix::engine
