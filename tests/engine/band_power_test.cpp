// SPDX-License-Identifier: GPL-3.0-or-later
// Band power, cursor readouts and orders against signals whose power is known from their construction.
#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/band_power.h"
#include "engine/run/global_define.h"
#include "engine/view/orders.h"
#include "support/tone_spectra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

constexpr double dblRange = 5.0; // V
constexpr double dblVoltsPerCount = dblRange / 32767.0;
constexpr double dblSampFreq = 1024.0;
constexpr std::int32_t lngNumSamp = 1024;

AveragedPower averaged(const std::vector<double>& dblCounts, WindowKind window)
{
    AverageSettings settings;
    settings.lngNumSamp = lngNumSamp;
    settings.window = window;
    SpectrumAverager averager(settings, std::numbers::pi);
    averager.addSamples(dblCounts);
    return averager.finish();
}

LineScale scaleOf(const AveragedPower& average, SpectrumUnits units)
{
    return {units, dblSampFreq / lngNumSamp, average.figures.dblNoiseBandwidth, false};
}

// White noise of variance s^2 spreads it evenly over 0 .. fs / 2: a band of L lines df apart holds
// s^2 L df / (fs / 2). Every window and every unit must give that share, once corrected.
TEST(BandPower, WhiteNoiseBandHoldsItsShareOfTheVarianceInEveryWindowAndUnit)
{
    constexpr double dblSigma = 300.0;             // counts
    constexpr std::size_t lngSamples = 200 * 1024; // about 400 segments at 50 % overlap
    const std::vector<double> dblCounts = testing::whiteNoise(lngSamples, dblSigma, 7);
    const double dblVariance = dblSigma * dblSigma * dblVoltsPerCount * dblVoltsPerCount; // V^2
    struct Band
    {
        std::size_t lngFirst;
        std::size_t lngLast;
    };
    for (const WindowKind window : windowKinds) {
        const AveragedPower average = averaged(dblCounts, window);
        for (const SpectrumUnits units : spectrumUnits) {
            const std::vector<double> dblValues = spectrumInUnits(average, units, dblSampFreq, dblVoltsPerCount);
            for (const Band band : {Band{100, 199}, Band{20, 380}, Band{300, 250}}) {
                SCOPED_TRACE(std::string(windowName(window)) + " " + std::string(unitsName(units)) + " lines " +
                             std::to_string(band.lngFirst) + " to " + std::to_string(band.lngLast));
                const auto lngLines = static_cast<double>(
                    (band.lngFirst < band.lngLast ? band.lngLast - band.lngFirst : band.lngFirst - band.lngLast) + 1);
                const double dblShare = dblVariance * lngLines * 2.0 / lngNumSamp;
                const double dblPower = bandPower(dblValues, band.lngFirst, band.lngLast, scaleOf(average, units));
                EXPECT_NEAR(dblPower / dblShare, 1.0, 0.05);
            }
        }
    }
}

// The units are views of one power: the band's power may not depend on the one chosen.
TEST(BandPower, EveryUnitGivesTheSamePowerLineByLine)
{
    const std::vector<double> dblCounts = testing::recordingSamples(16 * 1024, {{100.0, 3000.0, 0.3}}, 40.0, 3);
    for (const WindowKind window : windowKinds) {
        const AveragedPower average = averaged(dblCounts, window);
        std::vector<double> dblPowers(average.dblPower.size());
        linePowersOfTransform(average.dblPower, lngNumSamp, average.figures.dblSquareSum, dblVoltsPerCount, dblPowers);
        for (const SpectrumUnits units : spectrumUnits) {
            SCOPED_TRACE(std::string(windowName(window)) + " " + std::string(unitsName(units)));
            const std::vector<double> dblValues = spectrumInUnits(average, units, dblSampFreq, dblVoltsPerCount);
            for (const std::size_t k :
                 {std::size_t{0}, std::size_t{1}, std::size_t{99}, std::size_t{100}, std::size_t{400}}) {
                EXPECT_NEAR(linePower(dblValues[k], k, scaleOf(average, units)) / dblPowers[k], 1.0, 1e-9)
                    << "line " << k;
            }
        }
    }
}

// A tone of peak A holds A^2 / 2 over its main lobe, and an offset c holds c^2: in the averaged
// spectrum under every window, and in the classic file (no window, 0 Hz read as 4c).
TEST(BandPower, ToneAndOffsetHoldTheirPowerOverTheirLines)
{
    constexpr double dblPeak = 4000.0;  // counts
    constexpr double dblOffset = 250.0; // counts
    const double dblToneVolts = dblPeak * dblVoltsPerCount;
    const double dblOffsetVolts = dblOffset * dblVoltsPerCount;
    std::vector<double> dblCounts = testing::toneSamples(lngNumSamp, {{64.0, dblPeak, 1.1}});
    for (double& dblCount : dblCounts) {
        dblCount += dblOffset;
    }
    const std::vector<double> dblClassic = testing::sampleSpectrumVolts(dblCounts, dblVoltsPerCount);
    const LineScale classic = classicLineScale(1.0);
    EXPECT_NEAR(bandPower(dblClassic, 64, 64, classic), dblToneVolts * dblToneVolts / 2, 1e-12);
    EXPECT_NEAR(bandPower(dblClassic, 0, 0, classic), dblOffsetVolts * dblOffsetVolts, 1e-12);
    EXPECT_NEAR(bandPower(dblClassic, 1, 63, classic), 0.0, 1e-20);

    for (const WindowKind window : windowKinds) {
        SCOPED_TRACE(windowName(window));
        const AveragedPower average = averaged(dblCounts, window);
        const std::vector<double> dblRms = spectrumInUnits(average, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount);
        const auto lngHalf = static_cast<std::size_t>(mainLobeHalfWidth(window));
        EXPECT_NEAR(bandPower(dblRms, 64 - lngHalf, 64 + lngHalf, scaleOf(average, SpectrumUnits::Rms)) /
                        (dblToneVolts * dblToneVolts / 2),
                    1.0, 1e-9);
        EXPECT_NEAR(bandPower(dblRms, 0, lngHalf, scaleOf(average, SpectrumUnits::Rms)) /
                        (dblOffsetVolts * dblOffsetVolts),
                    1.0, 1e-9);
    }
}

// Two tones 6.02 dB apart (a factor of 2) read that difference in every unit, 20 log10 for the
// amplitudes and 10 log10 for the power density; the band between them holds both.
TEST(CursorDelta, LevelDifferenceAndBandRmsOfTwoTonesInEveryUnit)
{
    // Eight segments' worth: 400 and 1600 cycles are lines 50 and 200 of each 1024-point segment.
    const std::vector<double> dblCounts = testing::toneSamples(8 * 1024, {{400.0, 2000.0, 0.0}, {1600.0, 1000.0, 0.5}});
    const AveragedPower average = averaged(dblCounts, WindowKind::Hann);
    std::vector<double> dblFreq(average.dblPower.size());
    for (std::size_t k = 0; k < dblFreq.size(); ++k) {
        dblFreq[k] = static_cast<double>(k) * dblSampFreq / lngNumSamp;
    }
    const double dblExpectedRms = std::sqrt((2000.0 * 2000.0 + 1000.0 * 1000.0) / 2) * dblVoltsPerCount;
    for (const SpectrumUnits units : spectrumUnits) {
        SCOPED_TRACE(unitsName(units));
        const std::vector<double> dblValues = spectrumInUnits(average, units, dblSampFreq, dblVoltsPerCount);
        // Cursors from the upper tone down to the lower one, each band edge a main lobe beyond a tone.
        const CursorDelta delta = cursorDelta(dblFreq, dblValues, 50, 200, scaleOf(average, units));
        EXPECT_DOUBLE_EQ(delta.dblFreqA, 50.0);
        EXPECT_DOUBLE_EQ(delta.dblDeltaFreq, 150.0);
        EXPECT_NEAR(delta.dblDeltaLevel, -20.0 * std::log10(2.0), 1e-9);
        EXPECT_EQ(delta.lngBandLines, 151u);
        ASSERT_TRUE(delta.dblBandRms.has_value());
        // The band takes the upper half of the 50 Hz tone's lobe and the lower half of the 200 Hz one's.
        const CursorDelta wide = cursorDelta(dblFreq, dblValues, 202, 48, scaleOf(average, units));
        EXPECT_DOUBLE_EQ(wide.dblDeltaFreq, -154.0);
        EXPECT_NEAR(*wide.dblBandRms / dblExpectedRms, 1.0, 1e-9);
        EXPECT_LT(*delta.dblBandRms, *wide.dblBandRms);
    }
    const std::vector<double> dblPeak = spectrumInUnits(average, SpectrumUnits::Peak, dblSampFreq, dblVoltsPerCount);
    const CursorDelta unscaled = cursorDelta(dblFreq, dblPeak, 200, 50, std::nullopt);
    EXPECT_NEAR(unscaled.dblDeltaLevel, 20.0 * std::log10(2.0), 1e-9) << "values taken as amplitudes";
    EXPECT_FALSE(unscaled.dblBandRms.has_value());
}

// Cursors on two tones: the band between them counts each tone's line for 1 / B of its power (B the
// window's noise bandwidth in lines, 1.5 under Hann), while the sum of the two lines read as tones is
// the tones' own power in every window and unit.
TEST(CursorDelta, TheToneSumOfTwoCursorsOnTonesIsTheirPowerInEveryWindowAndUnit)
{
    const std::vector<double> dblCounts = testing::toneSamples(8 * 1024, {{400.0, 2000.0, 0.0}, {1600.0, 1000.0, 0.5}});
    const double dblExpectedRms = std::sqrt((2000.0 * 2000.0 + 1000.0 * 1000.0) / 2) * dblVoltsPerCount;
    std::vector<double> dblFreq;
    for (const WindowKind window : windowKinds) {
        SCOPED_TRACE(windowName(window));
        const AveragedPower average = averaged(dblCounts, window);
        dblFreq.resize(average.dblPower.size());
        for (std::size_t k = 0; k < dblFreq.size(); ++k) {
            dblFreq[k] = static_cast<double>(k) * dblSampFreq / lngNumSamp;
        }
        for (const SpectrumUnits units : spectrumUnits) {
            SCOPED_TRACE(unitsName(units));
            const std::vector<double> dblValues = spectrumInUnits(average, units, dblSampFreq, dblVoltsPerCount);
            const CursorDelta delta = cursorDelta(dblFreq, dblValues, 50, 200, scaleOf(average, units));
            ASSERT_TRUE(delta.dblToneSumRms.has_value());
            EXPECT_NEAR(*delta.dblToneSumRms / dblExpectedRms, 1.0, 1e-9);
            const CursorDelta alone = cursorDelta(dblFreq, dblValues, 200, 200, scaleOf(average, units));
            EXPECT_NEAR(*alone.dblToneSumRms / (1000.0 / std::sqrt(2.0) * dblVoltsPerCount), 1.0, 1e-9)
                << "one line counted once";
        }
    }
    const AveragedPower hann = averaged(dblCounts, WindowKind::Hann);
    const std::vector<double> dblRms = spectrumInUnits(hann, SpectrumUnits::Rms, dblSampFreq, dblVoltsPerCount);
    const CursorDelta tight = cursorDelta(dblFreq, dblRms, 50, 200, scaleOf(hann, SpectrumUnits::Rms));
    EXPECT_LT(*tight.dblBandRms, 0.95 * *tight.dblToneSumRms) << "the band sum counts the end lines' lobes in half";
}

TEST(CursorDelta, LevelsOfNothingAreMinusInfinityNotAFiniteGuess)
{
    EXPECT_EQ(levelDb(0.0, SpectrumUnits::Rms), -INFINITY);
    EXPECT_EQ(levelDb(dblDbvFloor, SpectrumUnits::DbV), -INFINITY);
    EXPECT_DOUBLE_EQ(levelDb(-12.5, SpectrumUnits::DbV), -12.5);
    EXPECT_DOUBLE_EQ(levelDb(1e-6, SpectrumUnits::Psd), -60.0);
    EXPECT_DOUBLE_EQ(levelDb(1e-3, SpectrumUnits::Asd), -60.0);
    EXPECT_EQ(linePower(dblDbvFloor, 3, {SpectrumUnits::DbV, 1.0, 1.5, false}), 0.0);
    EXPECT_EQ(linePower(-1.0, 3, {SpectrumUnits::Psd, 1.0, 1.5, false}), 0.0);
    EXPECT_EQ(bandPower({}, 0, 10, {}), 0.0);
    const std::vector<double> dblTwo{1.0, 1.0};
    EXPECT_DOUBLE_EQ(bandPower(dblTwo, 0, 99, {SpectrumUnits::Rms, 1.0, 1.0, false}), 2.0) << "clipped to the lines";
}

TEST(Orders, TypedSpeedsInRpmOrHz)
{
    struct Case
    {
        const char* strText;
        SpeedUnit defaultUnit;
        double dblHz; // 0: refused
        SpeedUnit unit;
    };
    for (const Case& test :
         {Case{"1500", SpeedUnit::Rpm, 25.0, SpeedUnit::Rpm}, Case{" 1500 rpm ", SpeedUnit::Hz, 25.0, SpeedUnit::Rpm},
          Case{"1500RPM", SpeedUnit::Hz, 25.0, SpeedUnit::Rpm}, Case{"1500 r/min", SpeedUnit::Hz, 25.0, SpeedUnit::Rpm},
          Case{"1500 1/min", SpeedUnit::Hz, 25.0, SpeedUnit::Rpm},
          Case{"1500 min-1", SpeedUnit::Hz, 25.0, SpeedUnit::Rpm}, Case{"25", SpeedUnit::Hz, 25.0, SpeedUnit::Hz},
          Case{"24.5 Hz", SpeedUnit::Rpm, 24.5, SpeedUnit::Hz}, Case{"3e3rpm", SpeedUnit::Hz, 50.0, SpeedUnit::Rpm},
          Case{"", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm}, Case{"rpm", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm},
          Case{"1,5 Hz", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm}, Case{"0", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm},
          Case{"-1500", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm}, Case{"1500 rps", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm},
          Case{"1e300 Hz", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm}, Case{"0.01 rpm", SpeedUnit::Rpm, 0.0, SpeedUnit::Rpm},
          Case{"inf", SpeedUnit::Hz, 0.0, SpeedUnit::Hz}}) {
        SCOPED_TRACE(test.strText);
        const std::optional<RunningSpeed> speed = parseRunningSpeed(test.strText, test.defaultUnit);
        if (test.dblHz == 0.0) {
            EXPECT_FALSE(speed.has_value());
            continue;
        }
        ASSERT_TRUE(speed.has_value());
        EXPECT_DOUBLE_EQ(speed->dblHz, test.dblHz);
        EXPECT_EQ(speed->unit, test.unit);
    }
    EXPECT_EQ(speedText({25.0, SpeedUnit::Rpm}), "1500 rpm");
    EXPECT_EQ(speedText({24.5, SpeedUnit::Hz}), "24.5 Hz");
    EXPECT_EQ(speedText({1.0 / 3.0, SpeedUnit::Hz}), "0.333333 Hz");
}

// A machine at 1500 rpm turns 25 times a second: its second order lies at 50 Hz.
TEST(Orders, SecondOrderOf1500RpmIsAt50Hz)
{
    const RunningSpeed speed = *parseRunningSpeed("1500 rpm", SpeedUnit::Rpm);
    EXPECT_DOUBLE_EQ(frequencyOfOrder(2.0, speed.dblHz), 50.0);
    EXPECT_DOUBLE_EQ(orderOf(75.0, speed.dblHz), 3.0);
    EXPECT_DOUBLE_EQ(speedInUnit(speed.dblHz, SpeedUnit::Rpm), 1500.0);
}

} // namespace
} // namespace kestrix::engine
