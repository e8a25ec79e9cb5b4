// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/analysis.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"
#include "engine/run/wave.h"
#include "platform/failure.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
#include "support/run_harness.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace kestrix::engine {
namespace {

using testing::MemoryTextFiles;

std::uint32_t le32(const std::string& strBytes, std::size_t lngOffset)
{
    std::uint32_t lngValue = 0;
    for (int i = 3; i >= 0; --i) {
        lngValue = (lngValue << 8) | static_cast<unsigned char>(strBytes[lngOffset + static_cast<std::size_t>(i)]);
    }
    return lngValue;
}

std::uint16_t le16(const std::string& strBytes, std::size_t lngOffset)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(strBytes[lngOffset]) |
                                      (static_cast<unsigned char>(strBytes[lngOffset + 1]) << 8));
}

TEST(WaveCount, RoundsTheTextTiesToEvenThenClips)
{
    struct Case
    {
        double dblValue;
        std::int16_t intExpected;
    };
    for (const Case& c : {Case{40000.4, 32767}, Case{32767.5, 32767}, Case{-32768.5, -32768}, Case{-32769, -32768},
                          Case{0.5, 0}, Case{1.5, 2}, Case{2.5, 2}, Case{-2.5, -2}, Case{3.4999999999999996, 4},
                          Case{-0.4, 0}, Case{123.7, 124}, Case{-123.7, -124}, Case{1e9, 32767}, Case{-2e9, -32768}}) {
        SCOPED_TRACE(c.dblValue);
        EXPECT_EQ(waveCount(c.dblValue), c.intExpected);
    }
    for (const double dblValue : {3e9, -2147483649.0, std::nan(""), HUGE_VAL}) {
        SCOPED_TRACE(dblValue);
        testing::expectFailure(err::lngOverflow, [&] { waveCount(dblValue); });
    }
}

// The direct rounding must give the counts of the text rule at and around every half.
TEST(WaveCount, DirectRoundingAgreesWithTheTextRuleNearHalves)
{
    const auto textRule = [](double dblValue) {
        const std::int32_t lngWhole = wholeNumberOfGeneralText(dblValue);
        return static_cast<std::int16_t>(std::clamp<std::int32_t>(lngWhole, -32768, 32767));
    };
    std::mt19937 random(3);
    std::uniform_int_distribution<int> whole(-40000, 40000);
    for (int i = 0; i < 20000; ++i) {
        const double dblHalf = whole(random) + 0.5;
        for (const double dblOffset :
             {0.0, 1e-12, -1e-12, 1e-9, -1e-9, 1e-7, -1e-7, 5e-7, -5e-7, 1e-6, -1e-6, 2e-6, -2e-6}) {
            double dblValue = dblHalf + dblOffset;
            for (int lngStep = 0; lngStep < 3; ++lngStep) {
                ASSERT_EQ(waveCount(dblValue), textRule(dblValue)) << std::hexfloat << dblValue;
                dblValue = std::nextafter(dblValue, lngStep % 2 ? 1e9 : -1e9);
            }
        }
        const double dblAny = whole(random) + std::uniform_real_distribution<double>(0, 1)(random);
        ASSERT_EQ(waveCount(dblAny), textRule(dblAny)) << std::hexfloat << dblAny;
    }
}

TEST(WaveFile, HeaderAndSamplesAreLittleEndianPcm)
{
    std::vector<std::int16_t> intData(1024);
    intData[0] = -32768;
    intData[1] = 32767;
    intData[2] = -1;
    const std::vector<std::uint8_t> bytFile = buildWaveFile(intData, 1024, 44100);
    const std::string strFile(bytFile.begin(), bytFile.end());
    ASSERT_EQ(strFile.size(), 2092u);
    EXPECT_EQ(strFile.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(strFile, 4), 2084u);
    EXPECT_EQ(strFile.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(strFile, 16), 16u);
    EXPECT_EQ(le16(strFile, 20), 1u);
    EXPECT_EQ(le16(strFile, 22), 1u);
    EXPECT_EQ(le32(strFile, 24), 44100u);
    EXPECT_EQ(le32(strFile, 28), 88200u);
    EXPECT_EQ(le16(strFile, 32), 2u);
    EXPECT_EQ(le16(strFile, 34), 16u);
    EXPECT_EQ(strFile.substr(36, 4), "data");
    EXPECT_EQ(le32(strFile, 40), 2048u);
    EXPECT_EQ(strFile.substr(44, 6), std::string("\x00\x80\xFF\x7F\xFF\xFF", 6));

    const std::vector<std::int16_t> intLong(65536, 5);
    const std::vector<std::uint8_t> bytLong = buildWaveFile(intLong, 65536, 1024);
    const std::string strLong(bytLong.begin(), bytLong.end());
    EXPECT_EQ(strLong.size(), 131116u);
    EXPECT_EQ(le32(strLong, 4), 131108u);
    EXPECT_EQ(le32(strLong, 40), 131072u);
}

TEST(WaveFile, OverflowingRateFailsBeforeTheFileIsTouchedAndLongerFilesAreReplaced)
{
    testing::TempDir dir;
    platform::StdTextFiles files;
    const std::string strBase = dir.file("out");
    testing::writeBytes(strBase + ".wav", std::string(5000, 'x'));
    const std::vector<std::int16_t> intData(1024, 1);
    testing::expectFailure(err::lngOverflow, [&] { OutWaveFile(intData, strBase, 1024, 1073741824, files); });
    EXPECT_EQ(testing::readBytes(strBase + ".wav"), std::string(5000, 'x'));
    OutWaveFile(intData, strBase, 1024, 1073741823, files);
    EXPECT_EQ(testing::readBytes(strBase + ".wav").size(), 2092u);
}

struct BandFixture : testing::AnalysisHarness
{
    // Runs the start-up parameters (1024 Hz, 1024 points) with the given band on these samples.
    void runBand(const std::vector<double>& dblSamples, const char* strLow, const char* strHigh)
    {
        std::string strContent;
        for (const double dblValue : dblSamples) {
            strContent += generalNumberText(dblValue) + "\r\n";
        }
        files.files["/b/in.csv"] = strContent;
        controls.strLowFreq = strLow;
        controls.strHighFreq = strHigh;
        ASSERT_TRUE(analyse("/b/in.csv").analysed());
    }
    std::vector<std::string> column(const std::string& strPath, int intColumn)
    {
        return testing::csvColumn(files.files[strPath], intColumn);
    }
};

std::vector<double> tone(double dblPeak, double dblLine, double dblOffset = 0)
{
    std::vector<double> dblSamples(1024);
    for (std::size_t t = 0; t < dblSamples.size(); ++t) {
        dblSamples[t] = dblOffset + dblPeak * std::cos(2 * computePI() * dblLine * static_cast<double>(t) / 1024 + 0.3);
    }
    return dblSamples;
}

TEST_F(BandFixture, ToneInsideTheBandComesBackWithItsPeakAndAmplitude)
{
    // A tone on line 300 and one on line 100 (outside the band), on a DC offset.
    std::vector<double> dblSamples = tone(8000, 300, 500);
    const std::vector<double> dblOther = tone(3000, 100);
    for (std::size_t t = 0; t < dblSamples.size(); ++t) {
        dblSamples[t] += dblOther[t];
    }
    runBand(dblSamples, "200", "800");
    const auto strSpectrum = column("/b/in_SPC.csv", 1);
    const auto strBand = column("/b/in_BAND_SPC.csv", 1);
    ASSERT_EQ(strBand.size(), 401u);
    EXPECT_EQ(column("/b/in_BAND_SPC.csv", 0), column("/b/in_SPC.csv", 0));
    for (std::size_t i = 0; i < strBand.size(); ++i) {
        if (i > 200) {
            EXPECT_EQ(strBand[i], strSpectrum[i]) << i;
        } else {
            EXPECT_EQ(strBand[i], "0") << i;
        }
    }
    EXPECT_NEAR(*numericValue(strBand[300]), 2 * 8000 * 5 / 32767.0, 1e-9);

    const auto strCounts = column("/b/in_BAND_WAVE.csv", 1);
    ASSERT_EQ(strCounts.size(), 1024u);
    int intPeak = 0;
    for (const std::string& strCount : strCounts) {
        intPeak = std::max(intPeak, std::abs(std::stoi(strCount)));
    }
    EXPECT_EQ(intPeak, 8000);
    // The band Wave file holds the same counts as the band waveform file.
    const std::string& strWave = files.files["/b/in_BAND.wav"];
    for (std::size_t i = 0; i < strCounts.size(); ++i) {
        ASSERT_EQ(static_cast<std::int16_t>(le16(strWave, 44 + 2 * i)), std::stoi(strCounts[i])) << i;
    }
}

TEST_F(BandFixture, BandEdgesAreExclusive)
{
    std::vector<double> dblFlat(1024, 0.0);
    dblFlat[0] = 32767; // an impulse: every line carries the same amplitude
    runBand(dblFlat, "199.5", "200.5");
    std::vector<std::string> strBand = column("/b/in_BAND_SPC.csv", 1);
    for (std::size_t i = 0; i < strBand.size(); ++i) {
        EXPECT_EQ(strBand[i] != "0", i == 200) << i;
    }

    runBand(dblFlat, "200", "201");
    for (const std::string& strAmp : column("/b/in_BAND_SPC.csv", 1)) {
        ASSERT_EQ(strAmp, "0");
    }
    for (const std::string& strCount : column("/b/in_BAND_WAVE.csv", 1)) {
        ASSERT_EQ(strCount, "0");
    }
    const std::string& strWave = files.files["/b/in_BAND.wav"];
    EXPECT_EQ(strWave.substr(44), std::string(2048, '\0'));

    // Lower limit 0 still removes the 0 Hz line.
    runBand(std::vector<double>(1024, 100.0), "0", "800");
    EXPECT_EQ(column("/b/in_BAND_SPC.csv", 1)[0], "0");
    EXPECT_NE(column("/b/in_SPC.csv", 1)[0], "0");
}

TEST_F(BandFixture, TimeColumnAndInputWaveFile)
{
    controls.strSampFreq = "1000";
    std::vector<double> dblSamples = tone(100, 10);
    dblSamples[5] = 40000.4;
    dblSamples[6] = -32768.5;
    dblSamples[7] = 2.5;
    runBand(dblSamples, "200", "300");
    const auto strTimes = column("/b/in_BAND_WAVE.csv", 0);
    ASSERT_EQ(strTimes.size(), 1024u);
    EXPECT_EQ(strTimes[0], "0");
    EXPECT_EQ(strTimes[1], "0.001");
    EXPECT_EQ(strTimes[2], "0.002");
    EXPECT_EQ(strTimes[1023], "1.023");
    const std::string& strWave = files.files["/b/in.wav"];
    EXPECT_EQ(le32(strWave, 24), 1000u);
    EXPECT_EQ(static_cast<std::int16_t>(le16(strWave, 44 + 10)), 32767);
    EXPECT_EQ(static_cast<std::int16_t>(le16(strWave, 44 + 12)), -32768);
    EXPECT_EQ(static_cast<std::int16_t>(le16(strWave, 44 + 14)), 2);
}

TEST(SpectrumCsv, GoldenLinesAndOverflow)
{
    const std::vector<double> dblAmp{4000, 0, 1e-10};
    EXPECT_EQ(formatSpectrumCsv(3, 0.9765625, 5 / 32767.0, dblAmp),
              "0,0.610370189519944\r\n0.9765625,0\r\n1.953125,1.52592547379986E-14\r\n");
    const std::vector<double> dblHuge{1e308};
    testing::expectFailure(err::lngOverflow, [&] { formatSpectrumCsv(1, 1, 10, dblHuge); });
    EXPECT_EQ(formatBandWaveCsv(0.5, std::vector<double>{-32768, 0, 32767}), "0,-32768\r\n0.5,0\r\n1,32767\r\n");
}

} // namespace
} // namespace kestrix::engine
