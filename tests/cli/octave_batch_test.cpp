// SPDX-License-Identifier: GPL-3.0-or-later
// kestrix-batch --octave on real files in a temporary folder: the octave-band file as the engine writes
// it, the choices reaching it, and the entries and usage errors of the octave options.
#include "cli/batch.h"
#include "cli/batch_options.h"
#include "engine/recordings/octave_analysis.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <sstream>

namespace kestrix {
namespace {

constexpr int lngRate = 48000;
constexpr double dblPeak = 10000.0; // counts

struct OctaveBatchFixture : ::testing::Test
{
    int batch(std::vector<std::string> strArgs)
    {
        strOut.str("");
        strErr.str("");
        std::istringstream strNoInput;
        return cli::runBatchCommand(strArgs, cli::BatchStreams{strNoInput, strOut, strErr, false}, files, sounds);
    }
    // Two seconds of a tone of dblPeak counts at dblHz, a 16-bit Wave file at 48 kHz.
    std::string writeTone(const std::string& strName, double dblHz)
    {
        std::vector<std::int16_t> intCounts(2 * lngRate);
        for (std::size_t n = 0; n < intCounts.size(); ++n) {
            intCounts[n] = static_cast<std::int16_t>(
                std::lround(dblPeak * std::sin(2.0 * std::numbers::pi * dblHz * static_cast<double>(n) / lngRate)));
        }
        const std::vector<std::uint8_t> bytWave =
            engine::buildWaveFile(intCounts, static_cast<std::int32_t>(intCounts.size()), lngRate);
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, std::string(bytWave.begin(), bytWave.end()));
        return strPath;
    }
    // The band lines of an octave-band file, the heading left out.
    std::vector<std::vector<std::string>> bandLines(const std::string& strPath)
    {
        std::vector<std::vector<std::string>> strBands;
        const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(strPath));
        for (std::size_t i = 1; i < strLines.size(); ++i) {
            std::vector<std::string> strFields;
            std::stringstream strLine(strLines[i]);
            for (std::string strField; std::getline(strLine, strField, ',');) {
                strFields.push_back(strField);
            }
            strBands.push_back(strFields);
        }
        return strBands;
    }

    testing::TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::ostringstream strOut;
    std::ostringstream strErr;
};

// The file the batch writes is the engine's for the same choices, byte for byte, its path printed; the
// choices reach it: a 1 kHz tone reads its level in the 1000 Hz band at any bandwidth (A and C are 0 dB
// there), a 125 Hz tone its A-weighted level (-16.19 dB by the analytic curve), each within 0.15 dB of
// the tone's rms over its 2 s, and the heading names bandwidth, weighting and time weighting.
TEST_F(OctaveBatchFixture, WritesTheEnginesFileForTheChoicesGiven)
{
    const double dblToneDb = 20.0 * std::log10(dblPeak / std::sqrt(2.0) * 5.0 / 32767.0);
    struct Case
    {
        std::vector<std::string> strArgs;
        engine::OctaveSettings settings;
        double dblHz;
        const char* strBand;
        double dblWeightDb;
        const char* strHeading;
    };
    using engine::FrequencyWeighting;
    using engine::TimeWeighting;
    const Case cases[] = {
        {{"--octave", "3"},
         {3, FrequencyWeighting::Z, {}, 20.0},
         1000.0,
         "1000",
         0.0,
         "bandwidth=1/3 octave,weighting=Z,time weighting=none"},
        {{"--octave=1", "--weighting", "C", "--time-weighting", "F"},
         {1, FrequencyWeighting::C, TimeWeighting::Fast, 20.0},
         1000.0,
         "1000",
         0.0,
         "bandwidth=octave,weighting=C,time weighting=F"},
        {{"--octave", "3", "--weighting=A", "--time-weighting=S", "--from", "50"},
         {3, FrequencyWeighting::A, TimeWeighting::Slow, 50.0},
         125.0,
         "125",
         -16.19,
         "bandwidth=1/3 octave,weighting=A,time weighting=S"},
    };
    for (const Case& tested : cases) {
        SCOPED_TRACE(tested.strHeading);
        const std::string strTone = writeTone("tone.wav", tested.dblHz);
        engine::OctaveRequest request;
        request.settings = tested.settings;
        const engine::OctaveFileResult engine = engine::analyseOctaves(request, strTone, files, sounds);
        ASSERT_TRUE(engine.analysed()) << engine.strRefusal;
        const std::string strEngine = testing::readBytes(engine.strWritten);

        std::vector<std::string> strArgs = tested.strArgs;
        strArgs.push_back(strTone);
        ASSERT_EQ(batch(strArgs), cli::lngExitAnalysed) << strErr.str();
        EXPECT_EQ(strOut.str(), dir.file("tone_OCT.csv") + "\n");
        EXPECT_EQ(strErr.str(), "");
        EXPECT_EQ(testing::readBytes(dir.file("tone_OCT.csv")), strEngine);
        EXPECT_NE(strEngine.find(tested.strHeading), std::string::npos) << strEngine.substr(0, 300);
        bool blnFound = false;
        for (const std::vector<std::string>& strBand : bandLines(dir.file("tone_OCT.csv"))) {
            ASSERT_EQ(strBand.size(), 6u);
            if (strBand[0] == tested.strBand) {
                blnFound = true;
                // The 2 s include the filters' start-up: the narrower the band, the more it takes.
                EXPECT_NEAR(std::stod(strBand[4]), dblToneDb + tested.dblWeightDb, 0.15);
            }
        }
        EXPECT_TRUE(blnFound) << tested.strBand;
    }
}

// With --levels the overall levels go to NAME_LEVELS.csv beside the band file, both paths printed: a
// heading "name,value,unit" with the band file's settings, then a line a level named by the standard's
// letters. A steady 1 kHz tone (A is 0 dB there) reads its rms level as LAeq and LAFmax, LAE adds
// 10 log10(2 s), LApeak is the peak's level (3.01 dB above the rms), and the rms and peak in volts.
TEST_F(OctaveBatchFixture, LevelsGoToTheLevelsFileNamedByTheStandardsLetters)
{
    const std::string strTone = writeTone("tone.wav", 1000.0);
    ASSERT_EQ(batch({"--octave", "3", "--weighting", "A", "--time-weighting", "F", "--levels", strTone}),
              cli::lngExitAnalysed)
        << strErr.str();
    EXPECT_EQ(strOut.str(), dir.file("tone_OCT.csv") + "\n" + dir.file("tone_LEVELS.csv") + "\n");
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(dir.file("tone_LEVELS.csv")));
    ASSERT_EQ(strLines.size(), 9u);
    const std::string strBandHeading = testing::splitCrLfLines(testing::readBytes(dir.file("tone_OCT.csv")))[0];
    EXPECT_EQ(strLines[0], "name,value,unit" + strBandHeading.substr(strBandHeading.find(",bandwidth=")));
    std::vector<std::string> strNames;
    std::map<std::string, double> dblValues;
    for (std::size_t i = 1; i < strLines.size(); ++i) {
        const std::size_t lngFirst = strLines[i].find(',');
        const std::size_t lngSecond = strLines[i].find(',', lngFirst + 1);
        strNames.push_back(strLines[i].substr(0, lngFirst));
        dblValues[strNames.back()] = std::stod(strLines[i].substr(lngFirst + 1, lngSecond - lngFirst - 1));
        EXPECT_EQ(strLines[i].substr(lngSecond + 1), strNames.back() == "T"             ? "s"
                                                     : strNames.back().starts_with("L") ? "dB re 1 V"
                                                                                        : "V");
    }
    EXPECT_EQ(strNames,
              (std::vector<std::string>{"LAeq", "LAE", "LApeak", "LAFmax", "LAFmin", "T", "rms (A)", "peak (A)"}));
    const double dblRms = dblPeak / std::sqrt(2.0) * 5.0 / 32767.0;
    const double dblToneDb = 20.0 * std::log10(dblRms);
    EXPECT_NEAR(dblValues["LAeq"], dblToneDb, 0.05);
    EXPECT_NEAR(dblValues["LAFmax"], dblToneDb, 0.1);
    EXPECT_NEAR(dblValues["LAE"], dblValues["LAeq"] + 10.0 * std::log10(2.0), 0.011);
    // The weighting's start-up on the tone's abrupt onset overshoots the steady peak a little.
    const double dblPeakDb = dblToneDb + 20.0 * std::log10(std::sqrt(2.0));
    EXPECT_GE(dblValues["LApeak"], dblPeakDb - 0.02);
    EXPECT_LT(dblValues["LApeak"], dblPeakDb + 0.3);
    EXPECT_EQ(dblValues["T"], 2.0);
    EXPECT_NEAR(dblValues["rms (A)"], dblRms, dblRms * 0.006);

    // Without --levels no levels file is written or printed.
    std::filesystem::remove(dir.file("tone_LEVELS.csv"));
    ASSERT_EQ(batch({"--octave", "3", strTone}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_EQ(strOut.str(), dir.file("tone_OCT.csv") + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("tone_LEVELS.csv")));
}

// The bands begin with the first whose upper edge lies above --from: 50 Hz leaves out the 40 Hz
// third-octave (upper edge 44.7 Hz) and keeps the 50 Hz one (56.2 Hz); 20 (the default) starts at the
// 20 Hz band. A lower limit that is no frequency above 0 Hz is refused before any FILE, naming it.
TEST_F(OctaveBatchFixture, FromSetsTheLowestBandAndMustBeAFrequencyAbove0)
{
    const std::string strTone = writeTone("tone.wav", 1000.0);
    ASSERT_EQ(batch({"--octave", "3", "--from", "50", strTone}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_EQ(bandLines(dir.file("tone_OCT.csv")).front()[0], "50");
    ASSERT_EQ(batch({"--octave", "3", strTone}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_EQ(bandLines(dir.file("tone_OCT.csv")).front()[0], "20");
    EXPECT_EQ(bandLines(dir.file("tone_OCT.csv")).back()[0], "20000");

    for (const std::string strFrom : {"0", "-5", "abc", "inf", "nan", ""}) {
        SCOPED_TRACE("--from \"" + strFrom + "\"");
        EXPECT_EQ(batch({"--octave", "3", "--from", strFrom, strTone}), cli::lngExitRefused);
        EXPECT_EQ(strErr.str(), "kestrix-batch: --from " + cli::typedText(strFrom) +
                                    ": the lower limit must be a frequency in Hz above 0\n");
        EXPECT_EQ(strOut.str(), "");
    }
}

// Usage errors (exit 2) for a bandwidth, a weighting or a time weighting the standards do not have, the
// octave options without --octave, options of other analyses with it, and --octave with --average.
TEST_F(OctaveBatchFixture, RefusesWhatTheOctaveAnalysisDoesNotTake)
{
    const std::string strTone = writeTone("tone.wav", 1000.0);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--octave", "5"}, "--octave 5: not one of 1, 3, 6, 12, 24"},
        {{"--octave", "3", "--weighting", "B"}, "--weighting B: not one of A, C, Z"},
        {{"--octave", "3", "--time-weighting", "I"}, "--time-weighting I: not one of F, S"},
        {{"--weighting", "A"}, "--weighting applies only with --octave"},
        {{"--average", "--from", "30"}, "--from does not apply to --average"},
        {{"--octave", "3", "--points", "2048"}, "--points does not apply to --octave"},
        {{"--octave", "3", "--window", "hann"}, "--window does not apply to --octave"},
        {{"--octave", "3", "--no-wave"}, "--no-wave does not apply to --octave"},
        {{"--average", "--octave", "3"}, "--average does not apply to --octave"},
        {{"--octave", "3", "--average"}, "--octave does not apply to --average"},
    };
    for (const auto& [strArgs, strError] : cases) {
        SCOPED_TRACE(strError);
        std::vector<std::string> strLine = strArgs;
        strLine.push_back(strTone);
        EXPECT_EQ(batch(strLine), cli::lngExitUsage);
        EXPECT_TRUE(strErr.str().starts_with("kestrix-batch: " + strError + "\n")) << strErr.str();
    }
    EXPECT_EQ(batch({"--octave", "3", "--weighting", "B", strTone}), cli::lngExitUsage);
    EXPECT_NE(strErr.str().find("Try 'kestrix-batch --octave 3 --help'."), std::string::npos) << strErr.str();
    EXPECT_FALSE(std::filesystem::exists(dir.file("tone_OCT.csv")));

    ASSERT_EQ(batch({"--octave", "3", "--help"}), cli::lngExitAnalysed);
    EXPECT_TRUE(strOut.str().starts_with("Usage: kestrix-batch --octave B [OPTIONS] FILE...")) << strOut.str();
    for (const char* strOption : {"--weighting", "--time-weighting", "--from", "--column", "--channel", "--fs"}) {
        EXPECT_NE(strOut.str().find(strOption), std::string::npos) << strOption;
    }
    EXPECT_EQ(strOut.str().find("--points"), std::string::npos);
}

} // namespace
} // namespace kestrix
