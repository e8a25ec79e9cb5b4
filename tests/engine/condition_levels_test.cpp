// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/condition_levels.h"
#include "engine/recordings/recording_measures.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

constexpr double dblVoltsPerCount = 5.0 / 32767;

ConditionLevels levelsOf(std::span<const double> dblCounts, const std::optional<EngineeringUnit>& sensor = {})
{
    MomentAccumulator moments;
    moments.addSamples(dblCounts);
    return conditionLevels(moments, dblVoltsPerCount, sensor);
}

// 48 samples a period from phase 0: a sample falls on each crest, and over whole periods the sums of
// sin^2 and sin^4 are exactly N / 2 and 3 N / 8.
std::vector<double> sampledSine(std::size_t lngSamples, double dblPeak, double dblOffset)
{
    std::vector<double> dblCounts(lngSamples);
    for (std::size_t n = 0; n < lngSamples; ++n) {
        dblCounts[n] = dblOffset + dblPeak * std::sin(2 * std::numbers::pi * static_cast<double>(n) / 48.0);
    }
    return dblCounts;
}

TEST(ConditionLevels, ASineHasCrestFactorRootTwoAndKurtosisOneAndAHalf)
{
    const EngineeringUnit sensor = engineeringUnit("g", 0.1);
    struct Case
    {
        double dblPeakVolts;
        double dblOffsetVolts;
    };
    for (const Case c : {Case{1.0, 0.0}, Case{0.25, 0.0}, Case{1.0, 0.5}, Case{0.5, -2.0}}) {
        SCOPED_TRACE(::testing::Message() << c.dblPeakVolts << " V peak + " << c.dblOffsetVolts << " V");
        const ConditionLevels levels = levelsOf(
            sampledSine(48 * 1000, c.dblPeakVolts / dblVoltsPerCount, c.dblOffsetVolts / dblVoltsPerCount), sensor);
        const double dblPeakG = c.dblPeakVolts / 0.1;
        const double dblOffsetG = c.dblOffsetVolts / 0.1;
        EXPECT_EQ(levels.strUnit, "g");
        EXPECT_EQ(levels.lngSamples, 48000);
        EXPECT_NEAR(levels.dblMean, dblOffsetG, 1e-9);
        EXPECT_NEAR(levels.dblRms, std::sqrt(dblOffsetG * dblOffsetG + dblPeakG * dblPeakG / 2), 1e-9);
        EXPECT_NEAR(levels.dblPeak, std::fabs(dblOffsetG) + dblPeakG, 1e-9);
        EXPECT_NEAR(levels.dblPeakToPeak, 2 * dblPeakG, 1e-9);
        EXPECT_NEAR(levels.dblKurtosis, 1.5, 1e-9);
        if (c.dblOffsetVolts == 0.0) {
            EXPECT_NEAR(levels.dblCrestFactor, std::sqrt(2.0), 1e-9);
        }
    }
}

TEST(ConditionLevels, GaussianNoiseHasKurtosisThree)
{
    std::mt19937_64 random(2024);
    std::normal_distribution<double> gauss(12.0, 900.0);
    MomentAccumulator moments;
    std::vector<double> dblChunk(65536);
    for (int intChunk = 0; intChunk < 64; ++intChunk) { // 4.2 million samples, as a long recording streams
        for (double& dblCount : dblChunk) {
            dblCount = gauss(random);
        }
        moments.addSamples(dblChunk);
    }
    const ConditionLevels levels = conditionLevels(moments, dblVoltsPerCount, std::nullopt);
    EXPECT_EQ(levels.strUnit, "V");
    EXPECT_NEAR(levels.dblKurtosis, 3.0, 0.05);
    EXPECT_NEAR(levels.dblRms, std::hypot(12.0, 900.0) * dblVoltsPerCount, 0.005 * levels.dblRms);
    EXPECT_NEAR(levels.dblMean, 12.0 * dblVoltsPerCount, 1.0 * dblVoltsPerCount);
    // Five standard deviations and more are met in four million samples, not ten.
    EXPECT_GT(levels.dblCrestFactor, 5.0);
    EXPECT_LT(levels.dblCrestFactor, 7.0);
}

// Any split into chunks gives the moments of the whole, and a large offset (a converter's, or a DC
// coupled sensor's) does not eat a small spread: compared with a two-pass computation in long double.
TEST(ConditionLevels, MomentsDoNotDependOnChunksNorSufferFromAnOffset)
{
    std::mt19937_64 random(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::exponential_distribution<double> skewed(1.0);
    std::vector<double> dblValues(300000);
    for (double& dblValue : dblValues) {
        dblValue = 1e6 + gauss(random) + skewed(random);
    }
    long double ldblSum = 0;
    for (const double dblValue : dblValues) {
        ldblSum += dblValue;
    }
    const long double ldblMean = ldblSum / dblValues.size();
    long double ldblM2 = 0;
    long double ldblM4 = 0;
    for (const double dblValue : dblValues) {
        const long double ldblDev = dblValue - ldblMean;
        ldblM2 += ldblDev * ldblDev;
        ldblM4 += ldblDev * ldblDev * ldblDev * ldblDev;
    }
    std::uniform_int_distribution<std::size_t> chunkSize(1, 5000);
    for (const bool blnRandomChunks : {false, true}) {
        SCOPED_TRACE(blnRandomChunks ? "random chunks" : "one chunk");
        MomentAccumulator moments;
        std::span<const double> dblRest(dblValues);
        while (!dblRest.empty()) {
            const std::size_t lngTake = blnRandomChunks ? std::min(chunkSize(random), dblRest.size()) : dblRest.size();
            moments.addSamples(dblRest.first(lngTake));
            dblRest = dblRest.subspan(lngTake);
        }
        EXPECT_EQ(moments.count(), 300000);
        EXPECT_NEAR(moments.mean(), static_cast<double>(ldblMean), 1e-9);
        EXPECT_NEAR(moments.centralSum2(), static_cast<double>(ldblM2), 1e-9 * static_cast<double>(ldblM2));
        EXPECT_NEAR(moments.centralSum4(), static_cast<double>(ldblM4), 1e-9 * static_cast<double>(ldblM4));
        EXPECT_EQ(moments.minimum(), *std::min_element(dblValues.begin(), dblValues.end()));
        EXPECT_EQ(moments.maximum(), *std::max_element(dblValues.begin(), dblValues.end()));
    }
}

// Chunks are held and summed several side by side; the figures are the same to the bit as when every
// chunk is summed alone (asking for a figure after each chunk merges it at once): with chunks of
// unequal lengths, chunks too long to hold between them, an offset, and a figure asked for midway.
TEST(ConditionLevels, ChunksSummedSideBySideGiveTheSameBitsAsOneByOne)
{
    std::mt19937_64 random(11);
    std::normal_distribution<double> gauss(0.0, 300.0);
    std::vector<double> dblValues(3 * lngMomentHeldSamples);
    for (double& dblValue : dblValues) {
        dblValue = 2e4 + std::round(gauss(random));
    }
    const std::vector<std::size_t> lngPlans[] = {
        {1, 2, 3, 4, 5, 6, 7, 8, 9},
        {1000, 999, 1001, 5, 70000, 1, 1, 1},
        {lngMomentHeldSamples, lngMomentHeldSamples, lngMomentHeldSamples + 1, 300},
        {lngMomentHeldSamples + 1, 17, 3 * lngMomentHeldSamples},
    };
    for (const std::vector<std::size_t>& lngPlan : lngPlans) {
        MomentAccumulator grouped;
        MomentAccumulator alone;
        std::span<const double> dblRest(dblValues);
        for (std::size_t c = 0; !dblRest.empty(); ++c) {
            const std::size_t lngTake = std::min(lngPlan[c % lngPlan.size()], dblRest.size());
            grouped.addSamples(dblRest.first(lngTake));
            alone.addSamples(dblRest.first(lngTake));
            EXPECT_EQ(alone.count(), static_cast<std::int64_t>(dblValues.size() - dblRest.size() + lngTake));
            if (c == 13) {
                EXPECT_EQ(grouped.mean(), alone.mean()); // midway: what is held is merged, then more comes
            }
            dblRest = dblRest.subspan(lngTake);
        }
        SCOPED_TRACE(lngPlan.front());
        EXPECT_EQ(grouped.count(), alone.count());
        EXPECT_EQ(grouped.mean(), alone.mean());
        EXPECT_EQ(grouped.centralSum2(), alone.centralSum2());
        EXPECT_EQ(grouped.centralSum4(), alone.centralSum4());
        EXPECT_EQ(grouped.minimum(), alone.minimum());
        EXPECT_EQ(grouped.maximum(), alone.maximum());
        const ConditionLevels levelsGrouped = conditionLevels(grouped, dblVoltsPerCount, {});
        const ConditionLevels levelsAlone = conditionLevels(alone, dblVoltsPerCount, {});
        EXPECT_EQ(levelsGrouped.dblKurtosis, levelsAlone.dblKurtosis); // as the levels file gives it
    }
}

TEST(ConditionLevels, SilenceAndNothingGiveNoRatios)
{
    const ConditionLevels none = levelsOf({});
    EXPECT_EQ(none.lngSamples, 0);
    EXPECT_TRUE(std::isnan(none.dblRms));
    EXPECT_TRUE(std::isnan(none.dblKurtosis));
    const std::vector<double> dblZeros(1000, 0.0);
    const ConditionLevels silence = levelsOf(dblZeros);
    EXPECT_EQ(silence.dblRms, 0.0);
    EXPECT_EQ(silence.dblPeak, 0.0);
    EXPECT_TRUE(std::isnan(silence.dblCrestFactor));
    EXPECT_TRUE(std::isnan(silence.dblKurtosis));
    const std::vector<double> dblConstant(1000, -300.0);
    const ConditionLevels constant = levelsOf(dblConstant);
    EXPECT_NEAR(constant.dblCrestFactor, 1.0, 1e-15);
    EXPECT_NEAR(constant.dblMean, -300.0 * dblVoltsPerCount, 1e-15);
    EXPECT_EQ(constant.dblPeakToPeak, 0.0);
}

TEST(ConditionLevels, TheLevelsFileIsItsHeadingThenNameValueUnitLines)
{
    ConditionLevels levels;
    levels.dblRms = 7.0710678118654755;
    levels.dblPeak = 10.0;
    levels.dblPeakToPeak = 20.0;
    levels.dblCrestFactor = std::sqrt(2.0);
    levels.dblKurtosis = std::nan("");
    levels.dblMean = -2.5e-7;
    levels.strUnit = "g";
    LevelsTable table{"name,value,unit,window=flattop,source=\"a,b.wav\"", levelRows(levels)};
    table.rows.push_back(bandRmsRow({{10.0, 1000.0}, 69.3440, "mm/s", 400}));
    table.rows.push_back({"LAeq, 1 s", 94.0, "dB"}); // another analysis' row, appended
    testing::MemoryTextFiles files;
    writeLevelsFile(files, "/m/pump_LEVELS.csv", table);
    EXPECT_EQ(files.files.at("/m/pump_LEVELS.csv"), "name,value,unit,window=flattop,source=\"a,b.wav\"\r\n"
                                                    "rms,7.07106781186548,g\r\n"
                                                    "peak,10,g\r\n"
                                                    "peak-to-peak,20,g\r\n"
                                                    "crest factor,1.4142135623731,\r\n"
                                                    "kurtosis,nan,\r\n"
                                                    "mean,-2.5E-07,g\r\n"
                                                    "band rms 10-1000 Hz,69.344,mm/s\r\n"
                                                    "\"LAeq, 1 s\",94,dB\r\n");
    // Named as the averaged spectrum of the same part is: beside it, the part read after the name.
    AverageRequest request;
    EXPECT_EQ(levelsOutputName(files, "/m/pump.wav", request), "/m/pump_LEVELS.csv");
    request.choice.lngChannel = 2;
    EXPECT_EQ(levelsOutputName(files, "/m/pump.wav", request), "/m/pump_ch2_LEVELS.csv");
    EXPECT_EQ(envelopeOutputName(files, "/m/pump.wav", request), "/m/pump_ch2_ENV_SPC.csv");
}

// Through the analysis of a file: the levels are of the part averaged only, in the sensor's unit, the
// band RMS in the quantity shown, and the table's heading names the settings as the spectrum's does.
TEST(ConditionLevels, AnAnalysisMeasuresThePartItAveragesInOnePass)
{
    testing::MemoryTextFiles files;
    std::string strText;
    for (int n = 0; n < 20000; ++n) {
        // A loud first second, passed over, then a sine of 1 V peak (10 g at 100 mV/g) at 64 Hz.
        const double dblVolts = n < 1024 ? 4.0 : std::sin(2 * std::numbers::pi * 64.0 * n / 1024.0);
        strText += std::to_string(dblVolts / dblVoltsPerCount) + "\r\n";
    }
    files.files["/m/fan.txt"] = strText;
    testing::NoSoundFiles sounds;
    AverageRequest request;
    request.lngSkipSamples = 1024;
    request.quantity.sensor = engineeringUnit("g", 0.1);
    request.quantity.quantity = Quantity::Velocity;
    request.blnLevels = true;
    const AverageFileResult result = averageRecording(request, "/m/fan.txt", files, sounds, std::numbers::pi);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    ASSERT_TRUE(result.levels);
    EXPECT_EQ(result.levels->lngSamples, 20000 - 1024);
    EXPECT_NEAR(result.levels->dblPeak, 10.0, 1e-3);
    EXPECT_NEAR(result.levels->dblRms, 10.0 / std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(result.levels->dblKurtosis, 1.5, 1e-3);
    ASSERT_TRUE(result.bandRms);
    // 10 g at 64 Hz: 98066.5 / (2 pi 64) / sqrt 2 mm/s, in a band cut to the spectrum's 400 Hz.
    const double dblVelocity = 98066.5 / (2 * std::numbers::pi * 64.0) / std::sqrt(2.0);
    EXPECT_NEAR(result.bandRms->dblRms, dblVelocity, 2e-3 * dblVelocity);
    const LevelsTable table = levelsTable(request, result);
    EXPECT_EQ(table.strHeading.substr(0, table.strHeading.find(",segments")),
              "name,value,unit,window=hann,N=1024,overlap=50%");
    EXPECT_NE(
        table.strHeading.find(",sensitivity=100 mV/g,quantity=velocity,highpass=10 Hz,samples=18976,source=fan.txt"),
        std::string::npos)
        << table.strHeading;
    ASSERT_EQ(table.rows.size(), 7U);
    EXPECT_EQ(table.rows[0].strName, "rms");
    EXPECT_EQ(table.rows[0].strUnit, "g");
    EXPECT_EQ(table.rows[6].strName, "band rms 10-400 Hz");
    EXPECT_EQ(table.rows[6].strUnit, "mm/s");
}

TEST(ConditionLevels, ABandWithoutLinesIsRefused)
{
    testing::MemoryTextFiles files;
    std::string strText;
    for (int n = 0; n < 4096; ++n) {
        strText += "100\r\n";
    }
    files.files["/m/fan.txt"] = strText;
    testing::NoSoundFiles sounds;
    struct Case
    {
        FrequencyBand band;
        const char* strRefusal;
    };
    const Case cases[] = {
        {{500.0, 600.0},
         "the band RMS's band 500-600 Hz holds no line of the spectrum (lines every 1 Hz from 0 to 400 Hz)"},
        {{10.2, 10.8},
         "the band RMS's band 10.2-10.8 Hz holds no line of the spectrum (lines every 1 Hz from 0 to 400 Hz)"},
        {{20.0, 10.0}, "the band RMS needs a band from 0 Hz or more up to a higher frequency, not 20-10 Hz"},
        {{-1.0, 10.0}, "the band RMS needs a band from 0 Hz or more up to a higher frequency, not -1-10 Hz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strRefusal);
        AverageRequest request;
        request.blnLevels = true;
        request.bandRms = c.band;
        EXPECT_EQ(averageRecording(request, "/m/fan.txt", files, sounds, std::numbers::pi).strRefusal, c.strRefusal);
    }
    AverageRequest request;
    request.blnLevels = true;
    request.bandRms = FrequencyBand{10.0, 10.0}; // a band of one line
    const AverageFileResult result = averageRecording(request, "/m/fan.txt", files, sounds, std::numbers::pi);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.bandRms->lngLines, 1U);
}

} // namespace
} // namespace kestrix::engine
