// SPDX-License-Identifier: GPL-3.0-or-later
// kestrix-batch --transfer on real files in a temporary folder: the options reaching the analysis, the
// refusals naming their option, a file refused or warned about among others.
#include "batch_files_fixture.h"
#include "cli/batch.h"
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>

namespace kestrix {
namespace {

// Field intField (from 0) of every line after the heading of a frequency response file.
std::vector<std::string> fieldOfLines(const std::string& strPath, int intField)
{
    std::vector<std::string> strFields;
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(strPath));
    for (auto itLine = strLines.begin() + 1; itLine != strLines.end(); ++itLine) {
        std::size_t lngStart = 0;
        for (int i = 0; i < intField; ++i) {
            lngStart = itLine->find(',', lngStart) + 1;
        }
        strFields.push_back(itLine->substr(lngStart, itLine->find(',', lngStart) - lngStart));
    }
    return strFields;
}

struct TransferBatchFixture : testing::BatchFilesFixture
{
    // White noise in whole counts and its copy through y[n] = 0.5 x[n - 2] + 0.4 y[n - 1].
    static std::pair<std::vector<int>, std::vector<int>> pair(std::size_t lngSamples)
    {
        std::mt19937 random(21);
        std::normal_distribution<double> noise(0.0, 2000.0);
        std::vector<int> intInput(lngSamples);
        std::vector<int> intOutput(lngSamples);
        double dblPrevious = 0.0;
        for (std::size_t n = 0; n < lngSamples; ++n) {
            intInput[n] = static_cast<int>(std::lround(noise(random)));
            dblPrevious = 0.5 * (n >= 2 ? intInput[n - 2] : 0) + 0.4 * dblPrevious;
            intOutput[n] = static_cast<int>(std::lround(dblPrevious));
        }
        return {intInput, intOutput};
    }
    // A time column and the pair: "time (s),force,accel".
    std::string writePair(const std::string& strName, std::size_t lngSamples)
    {
        const auto [intInput, intOutput] = pair(lngSamples);
        std::string strText = "time (s),force,accel\r\n";
        for (std::size_t n = 0; n < lngSamples; ++n) {
            strText += engine::generalNumberText(static_cast<double>(n) / 2048.0) + "," + std::to_string(intInput[n]) +
                       "," + std::to_string(intOutput[n]) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strText);
        return strPath;
    }
};

// Every setting typed reaches the file: it is the engine's own for the same request, byte for byte,
// its path printed; the heading names the signals and the units of H.
TEST_F(TransferBatchFixture, TheFileIsTheEnginesForTheSettingsTyped)
{
    const std::string strIn = writePair("shaker.csv", 30000);
    ASSERT_EQ(batch({"--transfer",
                     "--input",
                     "force",
                     "--output",
                     "3",
                     "--input-sensitivity",
                     "22.5 mV/N",
                     "--output-sensitivity=100 mV/g",
                     "--points",
                     "2048",
                     "--fs",
                     "2048",
                     "--window",
                     "hamming",
                     "--overlap",
                     "75%",
                     "--detrend",
                     "mean",
                     "--range",
                     "10",
                     "--coherence-threshold",
                     "0.9",
                     strIn}),
              cli::lngExitAnalysed)
        << strErr.str();
    const std::string strFrf = dir.file("shaker_FRF.csv");
    EXPECT_EQ(strOut.str(), strFrf + "\n");
    EXPECT_EQ(strErr.str(), "");
    const std::string strWritten = testing::readBytes(strFrf);

    engine::TransferRequest request;
    request.settings.lngNumSamp = 2048;
    request.settings.window = engine::WindowKind::Hamming;
    request.settings.dblOverlap = 75.0;
    request.settings.detrend = engine::Detrend::Mean;
    request.lngSampFreq = 2048;
    request.blnSampFreqGiven = true;
    request.dblMaxVolt = 10.0;
    request.input = engine::ColumnChoice{0, "force"};
    request.output = engine::ColumnChoice{3, {}};
    request.inputUnit = engine::parseSensitivity("22.5 mV/N").unit;
    request.outputUnit = engine::parseSensitivity("100 mV/g").unit;
    request.dblCoherenceThreshold = 0.9;
    const engine::TransferFileResult result =
        engine::analyseTransfer(request, strIn, files, sounds, engine::computePI());
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(testing::readBytes(result.strWritten), strWritten);

    const std::vector<std::string> strLines = testing::splitCrLfLines(strWritten);
    ASSERT_EQ(strLines.size(), 802u) << "0 Hz to fs / 2.56 in lines 1 Hz apart, and the heading";
    for (const std::string strField :
         {"|H1| (g/N)", "input=column 2 (force)", "output=column 3 (accel)", "window=hamming", "N=2048", "overlap=75%",
          "segments=55", "fs=2048 Hz", "coherence threshold=0.9"}) {
        EXPECT_NE(strLines[0].find(strField), std::string::npos) << strField << " in " << strLines[0];
    }
}

// Two channels of a sound file by number at the file's own rate; a rate typed that differs is refused.
TEST_F(TransferBatchFixture, ChannelsOfASoundFileAtItsOwnRate)
{
    const auto [intInput, intOutput] = pair(8192);
    std::vector<short> intFrames;
    for (std::size_t n = 0; n < intInput.size(); ++n) {
        intFrames.push_back(static_cast<short>(intOutput[n]));
        intFrames.push_back(static_cast<short>(intInput[n]));
    }
    const std::string strWave = dir.file("rig.wav");
    testing::writeSound(strWave, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, intFrames);
    ASSERT_EQ(batch({"--transfer", "--input", "2", "--output", "1", strWave}), cli::lngExitAnalysed) << strErr.str();
    const std::string strHeading = testing::splitCrLfLines(testing::readBytes(dir.file("rig_FRF.csv")))[0];
    EXPECT_NE(strHeading.find(",fs=8000 Hz,"), std::string::npos) << strHeading;
    // The output two samples behind the input (channel 2 read as the input, 1 as the output).
    const double dblDelay = std::stod(strHeading.substr(strHeading.find("delay=") + 6));
    EXPECT_GT(dblDelay, 2.0 / 8000) << strHeading;
    EXPECT_LT(dblDelay, 3.0 / 8000) << strHeading;
    EXPECT_EQ(batch({"--transfer", "--input", "2", "--output", "1", "--fs", "1024", strWave}), cli::lngExitRefused);
    EXPECT_NE(strErr.str().find("rig.wav: refused:"), std::string::npos) << strErr.str();
}

// An entry the analysis cannot take is refused before any file, naming the option and the text typed;
// an option of another analysis, or a signal missing, is a usage error pointing at this analysis's help.
TEST_F(TransferBatchFixture, RefusalsNameTheOption)
{
    const std::string strIn = writePair("pair.csv", 4096);
    struct Case
    {
        std::vector<std::string> strArgs;
        int lngStatus;
        std::string strSaid;
    };
    const std::vector<Case> cases = {
        {{"--transfer", "--output", "3"}, cli::lngExitUsage, "--transfer needs --input\n"},
        {{"--transfer", "--input", "2"}, cli::lngExitUsage, "--transfer needs --output\n"},
        {{"--input", "2", "--output", "3"}, cli::lngExitUsage, "--input applies only with --transfer\n"},
        {{"--transfer", "--input", "2", "--output", "3", "--units", "psd"},
         cli::lngExitUsage,
         "--units does not apply to --transfer\n"},
        {{"--average", "--transfer", "--input", "2", "--output", "3"},
         cli::lngExitUsage,
         "--average does not apply to --transfer\n"},
        {{"--transfer", "--input", "2", "--output", "02"},
         cli::lngExitRefused,
         "--input 2, --output 02: the input and the output are the same signal\n"},
        {{"--transfer", "--input", "0", "--output", "3"},
         cli::lngExitRefused,
         "--input 0: a signal is a column chosen by its number from 1 or by its heading, or a channel by its number "
         "from 1\n"},
        {{"--transfer", "--input", "2", "--output", "3", "--output-sensitivity", "100 mA/g"},
         cli::lngExitRefused,
         "--output-sensitivity \"100 mA/g\": sensitivity \"100 mA/g\": the voltage unit \"mA\" is not V, mV, "
         "\xC2\xB5V or uV\n"},
        {{"--transfer", "--input", "2", "--output", "3", "--coherence-threshold", "1.5"},
         cli::lngExitRefused,
         "--coherence-threshold 1.5: the coherence threshold is a number from 0 to 1\n"},
        {{"--transfer", "--input", "2", "--output", "3", "--averaging", "peak"},
         cli::lngExitRefused,
         "--averaging peak: a cross-spectrum is averaged by the mean: peak hold has no phase to keep\n"},
        {{"--transfer", "--input", "2", "--output", "3", "--overlap", "100"},
         cli::lngExitRefused,
         "--overlap 100: the overlap must be a percentage from 0 up to (not including) 100\n"},
    };
    for (const Case& row : cases) {
        std::vector<std::string> strArgs = row.strArgs;
        strArgs.push_back(strIn);
        SCOPED_TRACE(row.strSaid);
        EXPECT_EQ(batch(strArgs), row.lngStatus);
        const std::string strTry = row.lngStatus == cli::lngExitUsage ? "Try 'kestrix-batch --transfer --help'.\n" : "";
        if (row.strArgs.front() == "--input") {
            EXPECT_EQ(strErr.str(), "kestrix-batch: " + row.strSaid + "Try 'kestrix-batch --help'.\n");
        } else {
            EXPECT_EQ(strErr.str(), "kestrix-batch: " + row.strSaid + strTry);
        }
        EXPECT_EQ(strOut.str(), "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("pair_FRF.csv")));
}

// A file refused (a column it lacks) is said naming it and the signal, and the others are analysed; a
// file of one segment is analysed with its coherence left out and a warning; the help lists the
// analysis's options and not the others'.
TEST_F(TransferBatchFixture, OneFileRefusedOrWarnedAboutAmongOthers)
{
    const std::string strShort = writePair("short.csv", 1500);
    const std::string strLong = writePair("long.csv", 8192);
    testing::writeBytes(dir.file("narrow.csv"), "time (s),force\r\n0,1\r\n");
    EXPECT_EQ(batch({"--transfer", "--input", "force", "--output", "accel", dir.file("narrow.csv"), strShort, strLong}),
              cli::lngExitRefused);
    EXPECT_EQ(strOut.str(), dir.file("short_FRF.csv") + "\n" + dir.file("long_FRF.csv") + "\n");
    const std::string strSaid = strErr.str();
    EXPECT_EQ(strSaid.find("kestrix-batch: " + dir.file("narrow.csv") + ": refused: output: "), 0u) << strSaid;
    EXPECT_NE(strSaid.find("kestrix-batch: " + strShort + ": warning: "), std::string::npos) << strSaid;
    EXPECT_EQ(strSaid.find(strLong), std::string::npos) << strSaid;
    const std::vector<std::string> strCoherence = fieldOfLines(dir.file("short_FRF.csv"), 5);
    ASSERT_EQ(strCoherence.size(), 401u);
    EXPECT_TRUE(std::all_of(strCoherence.begin(), strCoherence.end(), [](const std::string& strField) {
        return strField.empty();
    })) << "one segment: no coherence at all, never 1";
    EXPECT_FALSE(fieldOfLines(dir.file("short_FRF.csv"), 1)[100].empty()) << "H1 stands";
    EXPECT_GT(std::stod(fieldOfLines(dir.file("long_FRF.csv"), 5)[100]), 0.99);

    ASSERT_EQ(batch({"--transfer", "--help"}), cli::lngExitAnalysed);
    const std::string strHelp = strOut.str();
    EXPECT_EQ(strHelp.find("Usage: kestrix-batch --transfer --input N|NAME --output N|NAME"), 0u);
    for (const std::string strOption : {"--input-sensitivity TEXT", "--output-sensitivity TEXT", "--window NAME",
                                        "--overlap P", "--detrend NAME", "--coherence-threshold G", "--points N"}) {
        EXPECT_NE(strHelp.find("\n  " + strOption + " "), std::string::npos) << strOption;
    }
    for (const std::string strOption : {"--units", "--column", "--metrics", "--band", "--transfer"}) {
        EXPECT_EQ(strHelp.find("\n  " + strOption + " "), std::string::npos) << strOption;
    }
}

} // namespace
} // namespace kestrix
