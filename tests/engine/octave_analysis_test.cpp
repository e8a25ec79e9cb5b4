// SPDX-License-Identifier: GPL-3.0-or-later
// The octave analysis of a recording: the octave-band file's heading and lines, the level rows, the part
// read, the refusals, and the trace.
#include "engine/recordings/octave_analysis.h"
#include "platform/failure.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

// One-column counts: a 100 Hz sine of peak dblPeak at 1024 Hz.
std::string countText(std::size_t lngSamples, double dblPeak)
{
    std::string strText;
    for (std::size_t n = 0; n < lngSamples; ++n) {
        strText += std::to_string(std::lround(dblPeak * std::sin(2.0 * std::numbers::pi * 100.0 * n / 1024.0)));
        strText += "\r\n";
    }
    return strText;
}

std::vector<std::string> linesOf(const std::string& strText)
{
    std::vector<std::string> strLines;
    std::size_t lngAt = 0;
    while (lngAt < strText.size()) {
        const std::size_t lngEnd = strText.find("\r\n", lngAt);
        EXPECT_NE(lngEnd, std::string::npos) << "every line ends with CR LF";
        if (lngEnd == std::string::npos) {
            break;
        }
        strLines.push_back(strText.substr(lngAt, lngEnd - lngAt));
        lngAt = lngEnd + 2;
    }
    return strLines;
}

std::vector<std::string> fieldsOf(const std::string& strLine)
{
    std::vector<std::string> strFields(1);
    for (const char chr : strLine) {
        if (chr == ',') {
            strFields.emplace_back();
        } else {
            strFields.back() += chr;
        }
    }
    return strFields;
}

TEST(OctaveAnalysis, WritesTheOctaveBandFileBesideTheInput)
{
    testing::MemoryTextFiles files;
    files.files["/m/pump.txt"] = countText(20 * 1024, 16384.0);
    testing::NoSoundFiles sounds;
    OctaveRequest request;
    request.settings.lngBandsPerOctave = 1;
    request.unit = {"g", 0.1, 1e-6 / 9.80665, "1 µm/s²"}; // 100 mV/g, levels re 1 µm/s²
    const OctaveFileResult result = analyseOctaves(request, "/m/pump.txt", files, sounds);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.strWritten, "/m/pump_OCT.csv");
    const std::vector<std::string> strLines = linesOf(files.files.at("/m/pump_OCT.csv"));
    ASSERT_EQ(strLines.size(), 6u); // the heading and the octaves 16 to 250 Hz
    EXPECT_EQ(strLines[0], "nominal (Hz),midband (Hz),lower edge (Hz),upper edge (Hz),Leq (dB re 1 µm/s²),rms (g),"
                           "bandwidth=octave,weighting=Z,time weighting=none,filter class=1,EU=g,"
                           "reference=1 µm/s²,from=20 Hz,fs=1024 Hz,range=5 V,samples=20480,source=pump.txt");
    // Every band line: nominal, exact midband and edges (10^(0.3 x) kHz and G^(+-1/2) about it), Leq with
    // two decimals, rms.
    const double dblG = std::pow(10.0, 0.3);
    const char* const strNominals[] = {"16", "31.5", "63", "125", "250"};
    for (std::size_t i = 1; i < strLines.size(); ++i) {
        const std::vector<std::string> strFields = fieldsOf(strLines[i]);
        ASSERT_EQ(strFields.size(), 6u);
        EXPECT_EQ(strFields[0], strNominals[i - 1]);
        const double dblMidband = 1000.0 * std::pow(dblG, static_cast<double>(i) - 7.0);
        EXPECT_NEAR(std::stod(strFields[1]), dblMidband, 1e-12 * dblMidband);
        EXPECT_NEAR(std::stod(strFields[2]), dblMidband / std::sqrt(dblG), 1e-12 * dblMidband);
        EXPECT_NEAR(std::stod(strFields[3]), dblMidband * std::sqrt(dblG), 1e-12 * dblMidband);
        EXPECT_EQ(strFields[4].size() - strFields[4].find('.'), 3u) << "two decimals";
    }
    // The 100 Hz tone lies in the 125 Hz octave (a third of an octave from its midband, where the
    // filter is down 0.03 dB): its rms is 16384 / sqrt 2 counts of 5/32767 V, in g of 0.1 V: 17.678 g;
    // 20 log10(17.678 / (1e-6 / 9.80665)) dB.
    const double dblRms = 16384.0 / std::numbers::sqrt2 * 5.0 / 32767.0 / 0.1;
    const std::vector<std::string> strTone = fieldsOf(strLines[4]);
    EXPECT_NEAR(std::stod(strTone[5]), dblRms, 0.01 * dblRms);
    EXPECT_NEAR(std::stod(strTone[4]), 20.0 * std::log10(dblRms * 9.80665 / 1e-6), 0.08);
    EXPECT_LT(std::stod(fieldsOf(strLines[5])[4]), std::stod(strTone[4]) - 40.0);
    EXPECT_EQ(result.bands.size(), 5u);
}

TEST(OctaveAnalysis, LevelRowsAreNameValueUnitLines)
{
    const std::vector<LevelRow> rows = {{"LAeq", 93.97940008672037, "dB re 20 µPa"},
                                        {"LAFmax", -400.0, "dB re 20 µPa"},
                                        {"T", 600.0, "s"},
                                        {"rms (A)", 1.0000000000000002, "Pa"},
                                        {"peak (A)", 0.125, "m/s², \"x\""}};
    const std::vector<std::string> strExpected = {"LAeq,93.98,dB re 20 µPa", "LAFmax,-400.00,dB re 20 µPa", "T,600,s",
                                                  "rms (A),1,Pa", "peak (A),0.125,\"m/s², \"\"x\"\"\""};
    EXPECT_EQ(levelRowLines(rows), strExpected);
}

TEST(OctaveAnalysis, OverallRowsNameTheWeightingAndTimeWeighting)
{
    testing::MemoryTextFiles files;
    files.files["/m/a.txt"] = countText(8 * 1024, 1000.0);
    testing::NoSoundFiles sounds;
    OctaveRequest request;
    request.settings.weighting = FrequencyWeighting::C;
    request.settings.timeWeighting = TimeWeighting::Slow;
    const OctaveFileResult result = octaveRecording(request, "/m/a.txt", files, sounds);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    std::vector<std::string> strNames;
    for (const LevelRow& row : result.overall) {
        strNames.push_back(row.strName);
    }
    const std::vector<std::string> strExpected = {"LCeq",   "LCE", "LCpeak",  "LCSmax",
                                                  "LCSmin", "T",   "rms (C)", "peak (C)"};
    EXPECT_EQ(strNames, strExpected);
    EXPECT_EQ(result.overall[5].dblValue, 8.0);
    EXPECT_EQ(result.overall[0].strUnit, "dB re 1 V");
    EXPECT_EQ(result.overall[6].strUnit, "V");
    EXPECT_TRUE(files.files.count("/m/a_OCT.csv") == 0) << "octaveRecording writes nothing";
}

TEST(OctaveAnalysis, ReadsOnlyThePartAskedFor)
{
    testing::MemoryTextFiles files;
    // 4 s of silence, then 4 s of the tone.
    std::string strText;
    for (int n = 0; n < 4 * 1024; ++n) {
        strText += "0\r\n";
    }
    files.files["/m/b.txt"] = strText + countText(4 * 1024, 1000.0);
    testing::NoSoundFiles sounds;
    OctaveRequest request;
    request.part = {4 * 1024, 2 * 1024};
    const OctaveFileResult result = octaveRecording(request, "/m/b.txt", files, sounds);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.levels.overall.lngSamples, 2 * 1024);
    EXPECT_NEAR(result.overall[0].dblValue, 20.0 * std::log10(1000.0 / std::numbers::sqrt2 * 5.0 / 32767.0), 0.01);
}

TEST(OctaveAnalysis, RefusesWhatItCannotAnalyse)
{
    testing::MemoryTextFiles files;
    files.files["/m/empty.txt"] = "";
    files.files["/m/bad.txt"] = "12\r\nabc\r\n";
    files.files["/m/ok.txt"] = countText(1024, 100.0);
    testing::NoSoundFiles sounds;
    OctaveRequest request;
    EXPECT_EQ(octaveRecording(request, "/m/empty.txt", files, sounds).strRefusal, "the recording holds no sample");
    EXPECT_NE(octaveRecording(request, "/m/bad.txt", files, sounds).strRefusal.find("line 2"), std::string::npos);
    request.settings.dblFromHz = 600.0; // above every band below 512 Hz
    EXPECT_EQ(octaveRecording(request, "/m/ok.txt", files, sounds).strRefusal,
              "no 1/3 octave band lies between 600 Hz and half the sampling frequency (512 Hz)");
    // The output may not replace the input.
    EXPECT_THROW(analyseOctaves(request, "/m/x_OCT.csv", files, sounds), KestrixError);
}

TEST(OctaveAnalysis, SoundFileStatingAnotherRateIsRefusedAndItsOwnRateIsUsed)
{
    testing::TempDir dir;
    const std::string strPath = dir.file("tone.wav");
    std::vector<short> intSamples(16000);
    for (std::size_t n = 0; n < intSamples.size(); ++n) {
        intSamples[n] =
            static_cast<short>(std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / 8000.0)));
    }
    testing::writeSound(strPath, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, intSamples);
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    OctaveRequest request;
    request.lngSampFreq = 48000;
    request.blnSampFreqGiven = true;
    EXPECT_EQ(octaveRecording(request, strPath, files, sounds).strRefusal,
              "the recording states a sampling frequency of 8000 Hz, not the 48000 Hz given");
    request.blnSampFreqGiven = false;
    const OctaveFileResult result = octaveRecording(request, strPath, files, sounds);
    ASSERT_TRUE(result.analysed());
    EXPECT_EQ(result.lngSampFreq, 8000);
    EXPECT_EQ(result.bands.back().band.strNominal, "3150"); // the 4 kHz band's upper edge lies above 4 kHz
}

TEST(OctaveAnalysis, TraceGivesTheTimeWeightedLevelInDecibels)
{
    testing::MemoryTextFiles files;
    files.files["/m/t.txt"] = countText(4 * 1024, 1000.0);
    testing::NoSoundFiles sounds;
    OctaveRequest request;
    request.settings.timeWeighting = TimeWeighting::Fast;
    std::vector<std::pair<double, double>> dblTrace;
    OctaveHooks hooks;
    hooks.onTrace = [&](double dblSeconds, double dblDb) { dblTrace.emplace_back(dblSeconds, dblDb); };
    hooks.dblTraceSeconds = 0.5;
    const OctaveFileResult result = octaveRecording(request, "/m/t.txt", files, sounds, hooks);
    ASSERT_TRUE(result.analysed());
    ASSERT_EQ(dblTrace.size(), 8u);
    EXPECT_DOUBLE_EQ(dblTrace.back().first, 4.0);
    EXPECT_NEAR(dblTrace.back().second, result.overall[0].dblValue, 0.05);
}

} // namespace
} // namespace kestrix::engine
