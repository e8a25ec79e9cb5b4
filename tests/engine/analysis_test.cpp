// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/analysis.h"
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "support/csv_lines.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
#include "support/run_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

using testing::MemoryTextFiles;

std::string constantLines(std::size_t lngCount, double dblValue)
{
    std::string strText;
    for (std::size_t i = 0; i < lngCount; ++i) {
        strText += generalNumberText(dblValue) + "\r\n";
    }
    return strText;
}

struct AnalysisFixture : testing::AnalysisHarness
{
};

TEST_F(AnalysisFixture, TellsOfEachFileAsItIsCompleteAndReturnsTheListAndTheSpectra)
{
    files.files["/m/motor.csv"] = constantLines(1024, 1000);
    const ParameterReading reading = readAnalysisParameters(controls);
    std::vector<std::string> strTold;
    std::vector<std::size_t> lngStoredWhenTold;
    const AnalysisResult result =
        analyseFile(reading.params, "/m/motor.csv", files, computePI(), [&](const std::string& strPath) {
            strTold.push_back(strPath);
            lngStoredWhenTold.push_back(files.written.size());
        });
    const std::vector<std::string> strExpected{"/m/motor_SPC.csv", "/m/motor_BAND_SPC.csv", "/m/motor_BAND_WAVE.csv",
                                               "/m/motor_BAND.wav", "/m/motor.wav"};
    ASSERT_TRUE(result.analysed());
    EXPECT_EQ(result.strWritten, strExpected);
    EXPECT_EQ(strTold, strExpected);
    // Each was told only once it was complete.
    EXPECT_EQ(lngStoredWhenTold, (std::vector<std::size_t>{1, 2, 3, 4, 5}));

    // The spectra are the files' amplitudes as numbers: 4 x 1000 counts x 5 V / 32767 on the 0 Hz line.
    EXPECT_EQ(result.spectra.strBaseName, "/m/motor");
    EXPECT_EQ(result.spectra.dblDeltaFreq, 1.0);
    ASSERT_EQ(result.spectra.dblVolts.size(), 401u);
    ASSERT_EQ(result.spectra.dblBandVolts.size(), 401u);
    const std::vector<std::string> strVolts = testing::csvColumn(files.files["/m/motor_SPC.csv"], 1);
    for (std::size_t i = 0; i < strVolts.size(); ++i) {
        ASSERT_EQ(generalNumberText(result.spectra.dblVolts[i]), strVolts[i]) << i;
    }
    EXPECT_NEAR(result.spectra.dblVolts[0], 4000 * 5 / 32767.0, 1e-12);
    EXPECT_EQ(result.spectra.dblBandVolts[0], 0.0);
    EXPECT_EQ(result.spectra.dblLowFreq, 200.0);
    EXPECT_EQ(result.spectra.dblHighFreq, 800.0);
}

TEST_F(AnalysisFixture, TooFewSamplesComeBackAsTheRefusalWithNothingWritten)
{
    files.files["/m/short.csv"] = constantLines(1000, 1);
    bool blnTold = false;
    const ParameterReading reading = readAnalysisParameters(controls);
    const AnalysisResult result =
        analyseFile(reading.params, "/m/short.csv", files, computePI(), [&](const std::string&) { blnTold = true; });
    EXPECT_FALSE(result.analysed());
    EXPECT_EQ(result.strRefusal,
              "ファイルのデータ数が不足しています！\r\nファイルデータ数 = 1000\r\nサンプリング点数 = 1024");
    EXPECT_TRUE(result.strWritten.empty());
    EXPECT_TRUE(files.written.empty());
    EXPECT_FALSE(blnTold);
}

TEST_F(AnalysisFixture, AFailureLeavesTheFilesCompletedBeforeItAndTheirList)
{
    files.files["/f/in.csv"] = constantLines(1024, 7);
    files.failingPaths["/f/in_BAND_WAVE.csv"] = err::lngDiskFull;
    std::vector<std::string> strTold;
    const ParameterReading reading = readAnalysisParameters(controls);
    testing::expectFailure(err::lngDiskFull, [&] {
        analyseFile(reading.params, "/f/in.csv", files, computePI(),
                    [&](const std::string& strPath) { strTold.push_back(strPath); });
    });
    EXPECT_EQ(strTold, (std::vector<std::string>{"/f/in_SPC.csv", "/f/in_BAND_SPC.csv"}));
    EXPECT_EQ(files.written, strTold);
}

TEST_F(AnalysisFixture, ZeroSamplingFrequencyIsADivisionByZeroNotAFileOfInfinities)
{
    files.files["/z/in.csv"] = constantLines(1024, 7);
    AnalysisParameters params = readAnalysisParameters(controls).params;
    params.lngSampFreq = 0;
    params.dblMaxAnaFreq = 0;
    testing::expectFailure(err::lngDivisionByZero, [&] { analyseFile(params, "/z/in.csv", files, computePI()); });
    EXPECT_TRUE(files.written.empty());
}

TEST(SpectrumLines, CountsOfTheSevenPointCounts)
{
    std::vector<std::int32_t> lngLines;
    for (const std::string_view strPoints : strPointCounts) {
        lngLines.push_back(spectrumLineCount(std::stoi(std::string(strPoints))));
    }
    EXPECT_EQ(lngLines, (std::vector<std::int32_t>{401, 801, 1601, 3201, 6401, 12801, 25601}));
}

TEST(OutputNames, BasePathKeepsInnerDotsAndTheRootHasOneSeparator)
{
    MemoryTextFiles files;
    EXPECT_EQ(outputBaseName(files, "/meas/motor.test.csv"), "/meas/motor.test");
    EXPECT_EQ(outputBaseName(files, "/motor.csv"), "/motor");
    EXPECT_EQ(outputFileNames("/m/a", true, false),
              (std::vector<std::string>{"/m/a_SPC.csv", "/m/a_BAND_SPC.csv", "/m/a_BAND_WAVE.csv"}));
    EXPECT_EQ(outputFileNames("/m/a", false, true), (std::vector<std::string>{"/m/a_SPC.csv", "/m/a.wav"}));
}

} // namespace
} // namespace kestrix::engine
