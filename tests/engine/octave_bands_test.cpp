// SPDX-License-Identifier: GPL-3.0-or-later
// The band sets against the numbers IEC 61260-1 and IEC 61260-2 print: nominal midbands, the exact
// midbands and edges from G = 10^(3/10), the bands analysed at a rate, and the class 1 masks.
#include "engine/recordings/octave_bands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

TEST(OctaveBands, ThirdOctaveNominalsAreTheStandardsNamesFrom25HzTo20kHz)
{
    const std::vector<std::string> strExpected = {"25",   "31.5", "40",    "50",    "63",    "80",   "100",  "125",
                                                  "160",  "200",  "250",   "315",   "400",   "500",  "630",  "800",
                                                  "1000", "1250", "1600",  "2000",  "2500",  "3150", "4000", "5000",
                                                  "6300", "8000", "10000", "12500", "16000", "20000"};
    for (std::size_t i = 0; i < strExpected.size(); ++i) {
        const OctaveBand band = octaveBand(3, static_cast<std::int32_t>(i) - 16);
        SCOPED_TRACE(strExpected[i]);
        EXPECT_EQ(band.strNominal, strExpected[i]);
        // The nominal value names the exact midband within the rounding of the R10 series (under 2 %).
        EXPECT_NEAR(band.dblMidband / std::stod(strExpected[i]), 1.0, 0.02);
    }
    // Outside the audio range the series goes on a decade down and up.
    EXPECT_EQ(octaveBand(3, -26).strNominal, "2.5");
    EXPECT_EQ(octaveBand(3, -40).strNominal, "0.1");
    EXPECT_EQ(octaveBand(3, 17).strNominal, "50000");
}

TEST(OctaveBands, OctaveNominalsAreEveryThirdThirdOctave)
{
    const std::vector<std::string> strExpected = {"31.5", "63",   "125",  "250",  "500",
                                                  "1000", "2000", "4000", "8000", "16000"};
    for (std::size_t i = 0; i < strExpected.size(); ++i) {
        const auto lngIndex = static_cast<std::int32_t>(i) - 5;
        SCOPED_TRACE(strExpected[i]);
        EXPECT_EQ(octaveBand(1, lngIndex).strNominal, strExpected[i]);
        EXPECT_DOUBLE_EQ(octaveBand(1, lngIndex).dblMidband, octaveBand(3, 3 * lngIndex).dblMidband);
    }
}

TEST(OctaveBands, ExactMidbandsAndEdgesFollowTheBaseTenFormula)
{
    const double dblG = std::pow(10.0, 0.3);
    struct Case
    {
        std::int32_t lngB;
        std::int32_t lngIndex;
        double dblMidband; // Hz, independently worked out
    };
    // Odd b: 1000 G^(x/b); even b: 1000 G^((2x+1)/(2b)), so 1 kHz lies on an edge for even b.
    const Case cases[] = {
        {1, 0, 1000.0},
        {1, -5, 31.622776601683793},
        {3, -16, 25.118864315095795},
        {3, 10, 10000.0},
        {6, 0, 1059.2537251772889},
        {6, -1, 944.06087628592339},
        {12, 0, 1029.2005271160795},
        {24, 0, 1014.4952080687361},
        {24, -1, 985.7119009006162},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lngB) + " " + std::to_string(c.lngIndex));
        const OctaveBand band = octaveBand(c.lngB, c.lngIndex);
        EXPECT_NEAR(band.dblMidband, c.dblMidband, 1e-9 * c.dblMidband);
        EXPECT_NEAR(band.dblUpper / band.dblMidband, std::pow(dblG, 1.0 / (2.0 * c.lngB)), 1e-12);
        EXPECT_NEAR(band.dblMidband / band.dblLower, std::pow(dblG, 1.0 / (2.0 * c.lngB)), 1e-12);
        // Neighbours share their edge: the bands tile the axis.
        EXPECT_NEAR(octaveBand(c.lngB, c.lngIndex + 1).dblLower, band.dblUpper, 1e-9 * band.dblUpper);
    }
    // For even b, 1 kHz is the edge between bands -1 and 0.
    EXPECT_NEAR(octaveBand(6, 0).dblLower, 1000.0, 1e-9);
    // Finer bands: three significant digits of the exact midband.
    EXPECT_EQ(octaveBand(24, 0).strNominal, "1010");
    EXPECT_EQ(octaveBand(12, -1).strNominal, "972");
    EXPECT_EQ(octaveBand(6, -41).strNominal, "9.44");
}

TEST(OctaveBands, AnalysedBandsHaveTheirUpperEdgeAboveFromAndBelowHalfTheRate)
{
    // At 48 kHz from 20 Hz: the 20 Hz third-octave band (upper edge 22.4 Hz) is the lowest, the 20 kHz
    // band (upper edge 22.4 kHz) the highest.
    const std::vector<OctaveBand> bands = analysedBands(3, 20.0, 48000.0);
    ASSERT_EQ(bands.size(), 31u);
    EXPECT_EQ(bands.front().strNominal, "20");
    EXPECT_EQ(bands.back().strNominal, "20000");
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EXPECT_GT(bands[i].dblUpper, 20.0);
        EXPECT_LT(bands[i].dblUpper, 24000.0);
        if (i > 0) {
            EXPECT_EQ(bands[i].lngIndex, bands[i - 1].lngIndex + 1);
        }
    }
    // 44.1 kHz loses the 20 kHz band (its upper edge lies above 22.05 kHz); from 100 Hz starts at 100.
    EXPECT_EQ(analysedBands(3, 20.0, 44100.0).back().strNominal, "16000");
    EXPECT_EQ(analysedBands(3, 100.0, 44100.0).front().strNominal, "100");
    // An upper edge exactly at the limit is not above it: from 112.2 Hz starts one band higher.
    EXPECT_EQ(analysedBands(3, octaveBand(3, -10).dblUpper, 48000.0).front().strNominal, "125");
    // Octaves at 1024 Hz: 16 Hz (upper edge 22.4 Hz) to 250 Hz (upper edge 354 Hz; the 500 Hz band's
    // 707 Hz is above 512).
    const std::vector<OctaveBand> octaves = analysedBands(1, 20.0, 1024.0);
    ASSERT_EQ(octaves.size(), 5u);
    EXPECT_EQ(octaves.front().strNominal, "16");
    EXPECT_EQ(octaves.back().strNominal, "250");
    EXPECT_TRUE(analysedBands(3, 20.0, 40.0).empty());
}

TEST(OctaveBands, ThirdOctaveMaskBreakpointsAreIec61260Table)
{
    // IEC 61260-2 table B.1, class 1: Omega above the midband and the least / most attenuation there.
    struct Point
    {
        double dblOmega;
        double dblMin;
        double dblMax;
    };
    const double dblInf = std::numeric_limits<double>::infinity();
    const Point points[] = {{1.0, -0.4, 0.4},        {1.02667, -0.4, 0.5},    {1.05575, -0.4, 0.7},
                            {1.08746, -0.4, 1.4},    {1.12202, 1.2, 5.3},     {1.29437, 16.6, dblInf},
                            {1.88173, 40.5, dblInf}, {3.05365, 60.0, dblInf}, {5.39195, 70.0, dblInf}};
    const std::vector<MaskBreakpoint> breakpoints = class1Breakpoints(3);
    ASSERT_EQ(breakpoints.size(), std::size(points));
    for (std::size_t i = 0; i < breakpoints.size(); ++i) {
        SCOPED_TRACE(points[i].dblOmega);
        EXPECT_NEAR(breakpoints[i].dblOmega, points[i].dblOmega, 5e-4);
        EXPECT_EQ(breakpoints[i].limits.dblMinDb, points[i].dblMin);
        EXPECT_EQ(breakpoints[i].limits.dblMaxDb, points[i].dblMax);
    }
    // The octave filter's breakpoints are G^e themselves; b = 1 keeps them.
    const std::vector<MaskBreakpoint> octave = class1Breakpoints(1);
    EXPECT_NEAR(octave[4].dblOmega, std::pow(10.0, 0.15), 1e-12); // band edge, e = 1/2
    EXPECT_NEAR(octave[8].dblOmega, std::pow(10.0, 1.2), 1e-9);   // e = 4
    // Every b keeps the band edge at e = 1/2 on its own edge G^(1/(2b)).
    for (const std::int32_t lngB : lngBandsPerOctaveChoices) {
        EXPECT_NEAR(class1Breakpoints(lngB)[4].dblOmega, std::pow(10.0, 0.15 / lngB), 1e-12);
    }
}

TEST(OctaveBands, LimitsBetweenBreakpointsAreTheLooserNeighbour)
{
    // Third-octave: between the edge (1.122) and 1.294 the least attenuation is the edge's 1.2 dB and
    // the most unbounded; below the midband the mask mirrors.
    const AttenuationLimits between = class1Limits(3, 1.2);
    EXPECT_EQ(between.dblMinDb, 1.2);
    EXPECT_TRUE(std::isinf(between.dblMaxDb));
    const AttenuationLimits mirrored = class1Limits(3, 1.0 / 1.2);
    EXPECT_EQ(mirrored.dblMinDb, between.dblMinDb);
    EXPECT_EQ(class1Limits(3, 1.0).dblMaxDb, 0.4);
    EXPECT_EQ(class1Limits(3, 1.01).dblMaxDb, 0.5);
    EXPECT_EQ(class1Limits(3, 1.01).dblMinDb, -0.4);
    EXPECT_EQ(class1Limits(3, 1.9).dblMinDb, 40.5);
    EXPECT_EQ(class1Limits(3, 100.0).dblMinDb, 70.0);
    EXPECT_EQ(class1Limits(3, 0.01).dblMinDb, 70.0);
    EXPECT_EQ(class1Limits(1, 2.0).dblMinDb, 16.6); // just above G = 1.995
    EXPECT_EQ(class1Limits(1, 1.99).dblMinDb, 1.2);
}

} // namespace
} // namespace kestrix::engine
