// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/view/peaks.h"
#include "support/tone_spectra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace kestrix::engine {
namespace {

using testing::Tone;
using testing::toneSpectrumVolts;

constexpr double dblPosScale = 10.0 / 32767.0; // V per count, input range 10 V

TEST(FindPeaks, ListsThreeTonesHighestFirstWithTheirAmplitudes)
{
    // 1024 Hz and 1024 points: 1 Hz per line; a tone of peak a on a line reads 2a.
    const std::vector<Tone> tones{{50.0, 1000.0}, {120.0, 3000.0}, {300.0, 2000.0}};
    const std::vector<double> dblVolts = toneSpectrumVolts(1024, tones, dblPosScale);

    const std::vector<SpectrumPeak> peaks = findPeaks(dblVolts, 1.0);

    ASSERT_EQ(peaks.size(), 3u) << "rounding residue must not be listed as peaks";
    const int lngExpectedLines[] = {120, 300, 50};
    const double dblExpectedPeaks[] = {3000.0, 2000.0, 1000.0};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("peak " + std::to_string(i));
        EXPECT_EQ(peaks[i].lngLine, lngExpectedLines[i]);
        EXPECT_EQ(peaks[i].dblFreq, lngExpectedLines[i] * 1.0);
        EXPECT_EQ(peaks[i].dblVolts, dblVolts[static_cast<std::size_t>(lngExpectedLines[i])]);
        EXPECT_NEAR(peaks[i].dblVolts, 2.0 * dblExpectedPeaks[i] * dblPosScale, 1e-9);
        EXPECT_NEAR(peaks[i].dblEstimatedFreq, lngExpectedLines[i], 1e-6) << "a tone on a line stays there";
        EXPECT_NEAR(peaks[i].dblEstimatedVolts, peaks[i].dblVolts, 1e-9);
    }
}

TEST(FindPeaks, EstimatesAnOffLineToneWithinThreeThousandthsOfALine)
{
    // Frequency step 0.5 Hz (512 Hz over 1024 points), so the estimate's Hz are checked, not only lines.
    // Low lines, where the tone's mirror image adds to its lines, are tried at several phases.
    constexpr double dblDeltaFreq = 0.5;
    for (const std::int32_t lngNumSamp : {1024, 65536}) {
        for (const double dblLine : {1.3, 3.3, 5.71, 10.5, 12.96, 37.1, 100.25, 150.37, 200.5, 222.73, 380.02}) {
            for (const double dblPhase : {0.0, 0.9, 2.2}) {
                SCOPED_TRACE("N " + std::to_string(lngNumSamp) + ", line " + std::to_string(dblLine) + ", phase " +
                             std::to_string(dblPhase));
                const std::vector<double> dblVolts =
                    toneSpectrumVolts(lngNumSamp, {{dblLine, 5000.0, dblPhase}}, dblPosScale);
                const std::vector<SpectrumPeak> peaks = findPeaks(dblVolts, dblDeltaFreq, 1);
                ASSERT_EQ(peaks.size(), 1u);
                EXPECT_LE(std::fabs(peaks[0].lngLine - dblLine), 0.5) << "the peak is the nearest line";
                EXPECT_NEAR(peaks[0].dblEstimatedFreq, dblLine * dblDeltaFreq, 0.003 * dblDeltaFreq);
                EXPECT_NEAR(peaks[0].dblEstimatedVolts, 2.0 * 5000.0 * dblPosScale, 0.03 * 2.0 * 5000.0 * dblPosScale);
            }
        }
    }
}

TEST(FindPeaks, EstimatesTwoNeighbouringOffLineTones)
{
    // A motor's running speed with a strong harmonic near by: each leaks into the other's lines.
    const std::vector<Tone> tones{{100.3, 4000.0}, {120.8, 2500.0}};
    const std::vector<SpectrumPeak> peaks = findPeaks(toneSpectrumVolts(4096, tones, dblPosScale), 1.0, 2);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_NEAR(peaks[0].dblEstimatedFreq, 100.3, 0.1);
    EXPECT_NEAR(peaks[1].dblEstimatedFreq, 120.8, 0.1);
}

TEST(FindPeaks, TakesLocalMaximaByTheirRules)
{
    //                             0    1    2    3    4    5    6    7    8    9
    const std::vector<double> dblVolts{9.0, 1.0, 3.0, 3.0, 2.0, 0.0, 0.0, 5.0, 1.0, 4.0};
    const std::vector<SpectrumPeak> peaks = findPeaks(dblVolts, 2.0);

    // Line 0 is the offset; the flat top 2-3 counts once, at its first line; the last line counts.
    ASSERT_EQ(peaks.size(), 3u);
    EXPECT_EQ(peaks[0].lngLine, 7);
    EXPECT_EQ(peaks[0].dblFreq, 14.0);
    EXPECT_EQ(peaks[1].lngLine, 9);
    EXPECT_EQ(peaks[1].dblEstimatedFreq, 18.0) << "an end line has no neighbour to interpolate with";
    EXPECT_EQ(peaks[2].lngLine, 2);

    EXPECT_EQ(findPeaks(dblVolts, 2.0, 2).size(), 2u);
    EXPECT_TRUE(findPeaks(std::vector<double>(50, 0.0), 1.0).empty());
}

TEST(FindPeaks, ListsEqualPeaksInLineOrder)
{
    const std::vector<double> dblVolts{0.0, 2.0, 0.0, 1.0, 0.0, 2.0, 0.0, 2.0, 0.0};
    const std::vector<SpectrumPeak> peaks = findPeaks(dblVolts, 1.0);
    ASSERT_EQ(peaks.size(), 4u);
    EXPECT_EQ(peaks[0].lngLine, 1);
    EXPECT_EQ(peaks[1].lngLine, 5);
    EXPECT_EQ(peaks[2].lngLine, 7);
    EXPECT_EQ(peaks[3].lngLine, 3);
}

// A table filled with leakage and noise: a tone between lines listed nine leakage ripples beside it,
// and a recording's last rows were noise.
TEST(FindProminentPeaks, ListsTheComponentsNotTheLeakageOrTheNoise)
{
    using testing::recordingSamples;
    using testing::sampleSpectrumVolts;
    std::size_t lngLocalMaxima = 0;
    for (const double dblLine : {37.3, 100.5, 210.77}) {
        for (const double dblPhase : {0.0, 1.1, 2.0}) {
            SCOPED_TRACE(std::to_string(dblLine) + ", phase " + std::to_string(dblPhase));
            const std::vector<double> dblVolts =
                sampleSpectrumVolts(recordingSamples(1024, {{dblLine, 8000.0, dblPhase}}, 0.0, 1), dblPosScale);
            lngLocalMaxima += findPeaks(dblVolts, 1.0).size();
            const std::vector<SpectrumPeak> peaks = findProminentPeaks(dblVolts, 1.0, dblDefaultPeakRiseDb);
            ASSERT_EQ(peaks.size(), 1u);
            EXPECT_LE(std::fabs(peaks[0].lngLine - dblLine), 0.5);
            EXPECT_GE(peaks[0].dblRiseDb, dblDefaultPeakRiseDb);
        }
    }
    EXPECT_GE(lngLocalMaxima, 9u * 5u) << "the whole counts leave ripples on the skirts";

    // A motor at 65536 points: the running speed, three harmonics, a gear mesh with two sidebands, in
    // noise of 3 counts.
    const std::vector<testing::Tone> tones{{1600.0, 6000.0},     {3200.0, 2500.0, 0.4}, {4800.0, 1200.0, 1.0},
                                           {6400.0, 600.0, 2.0}, {19200.0, 1500.0},     {17600.0, 400.0, 0.3},
                                           {20800.0, 400.0, 0.8}};
    const std::vector<double> dblVolts = sampleSpectrumVolts(recordingSamples(65536, tones, 3.0, 7), 5.0 / 32767.0);
    const std::vector<SpectrumPeak> peaks = findProminentPeaks(dblVolts, 1024.0 / 65536.0, dblDefaultPeakRiseDb);
    ASSERT_EQ(peaks.size(), tones.size());
    for (const SpectrumPeak& peak : peaks) {
        EXPECT_TRUE(std::any_of(tones.begin(), tones.end(),
                                [&](const testing::Tone& tone) { return tone.dblLine == peak.lngLine; }))
            << "line " << peak.lngLine;
    }
    EXPECT_EQ(peaks[0].lngLine, 1600);
    EXPECT_EQ(peaks.back().dblVolts, std::min(peaks[5].dblVolts, peaks[6].dblVolts)) << "highest first";

    // The threshold decides: a low one lets noise in, a high one keeps only the strongest.
    EXPECT_EQ(findProminentPeaks(dblVolts, 1024.0 / 65536.0, 6.0).size(), 10u);
    const std::vector<SpectrumPeak> strong = findProminentPeaks(dblVolts, 1024.0 / 65536.0, 90.0);
    ASSERT_GE(strong.size(), 1u);
    EXPECT_LT(strong.size(), tones.size());
    for (const SpectrumPeak& peak : strong) {
        EXPECT_GE(peak.dblRiseDb, 90.0);
    }
}

TEST(HarmonicFrequencies, RunsFromTheFundamentalToTheLimit)
{
    EXPECT_EQ(harmonicFrequencies(25.0, 100.0), (std::vector<double>{25.0, 50.0, 75.0, 100.0}));
    EXPECT_EQ(harmonicFrequencies(25.0, 99.9), (std::vector<double>{25.0, 50.0, 75.0}));
    EXPECT_EQ(harmonicFrequencies(1.0, 1000.0, 3), (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_TRUE(harmonicFrequencies(0.0, 100.0).empty());
    EXPECT_TRUE(harmonicFrequencies(-5.0, 100.0).empty());
}

} // namespace
} // namespace kestrix::engine
