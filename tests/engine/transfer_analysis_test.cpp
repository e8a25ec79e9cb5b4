// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency response of a recording's two signals, read from real files (delimited text and sound
// files) and written as BASE_FRF.csv: the file's heading and lines, the values that do not exist, and
// every refusal.
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/expect_failure.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <string>

namespace kestrix::engine {
namespace {

using testing::TempDir;

// Pseudo-random counts, the same on every run.
std::vector<int> inputCounts(std::size_t lngSamples)
{
    std::vector<int> intCounts(lngSamples);
    for (std::size_t n = 0; n < lngSamples; ++n) {
        intCounts[n] = static_cast<int>((n * 7919 + n * n * 104729) % 8001) - 4000;
    }
    return intCounts;
}

// The output: the input two samples later, halved.
int outputCount(const std::vector<int>& intInput, std::size_t n)
{
    return n >= 2 ? intInput[n - 2] / 2 : 0;
}

struct TransferFixture : ::testing::Test
{
    TransferFixture()
    {
        request.settings.lngNumSamp = 64;
        request.lngSampFreq = 1000;
        request.blnSampFreqGiven = true;
        request.input = ColumnChoice{0, "force, N"};
        request.output = ColumnChoice{3, {}};
        request.inputUnit = EngineeringUnit{"N", 0.0225};
        request.outputUnit = EngineeringUnit{"g", 0.1};
    }

    // A semicolon-separated recording: a logger line, the headings, then time;input;output.
    std::string textRecording(std::size_t lngSamples, bool blnSilentOutput = false, std::size_t lngBadLine = 0,
                              const std::string& strName = "rec.csv")
    {
        const std::vector<int> intInput = inputCounts(lngSamples);
        std::string strText = "logger 7\ntime;force, N;accel\n";
        for (std::size_t n = 0; n < lngSamples; ++n) {
            const std::string strOutput =
                3 + n == lngBadLine ? "n/a" : std::to_string(blnSilentOutput ? 0 : outputCount(intInput, n));
            strText += std::to_string(n) + ";" + std::to_string(intInput[n]) + ";" + strOutput + "\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strText);
        return strPath;
    }

    // A 16-bit sound file at 8000 Hz: channel 1 the output, channel 2 the input.
    std::string soundRecording(std::size_t lngSamples)
    {
        const std::string strPath = dir.file("rec.wav");
        const std::vector<int> intInput = inputCounts(lngSamples);
        std::vector<short> intFrames;
        for (std::size_t n = 0; n < lngSamples; ++n) {
            intFrames.push_back(static_cast<short>(outputCount(intInput, n)));
            intFrames.push_back(static_cast<short>(intInput[n]));
        }
        testing::writeSound(strPath, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, intFrames);
        return strPath;
    }

    TransferFileResult analyse(const std::string& strPath)
    {
        return analyseTransfer(request, strPath, files, sounds, computePI());
    }

    TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    TransferRequest request;
};

// The fields of a CSV line that holds no quotes.
std::vector<std::string> fields(const std::string& strLine)
{
    std::vector<std::string> strFields;
    std::size_t lngStart = 0;
    for (std::size_t lngComma; (lngComma = strLine.find(',', lngStart)) != std::string::npos; lngStart = lngComma + 1) {
        strFields.push_back(strLine.substr(lngStart, lngComma - lngStart));
    }
    strFields.push_back(strLine.substr(lngStart));
    return strFields;
}

TEST_F(TransferFixture, TheFileStatesItsSignalsUnitsSettingsAndDelayThenOneLineOfNineValuesPerLine)
{
    const TransferFileResult result = analyse(textRecording(1000));
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.strWritten, dir.file("rec_FRF.csv"));
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(result.strWritten));
    ASSERT_EQ(strLines.size(), 1u + 26u); // the heading, then 0 .. fs / 2.56 for N = 64
    const std::string strBefore =
        "frequency (Hz),|H1| (g/N),phase H1 (deg),unwrapped phase H1 (deg),|H2| (g/N),coherence,Gxx (N^2/Hz),"
        "Gyy (g^2/Hz),|Gxy| (N*g/Hz),\"input=column 2 (force, N)\",output=column 3 (accel),input unit=N,"
        "input sensitivity=22.5 mV/N,output unit=g,output sensitivity=100 mV/g,window=hann,N=64,overlap=50%,"
        "segments=30,averaging=mean,detrend=none,fs=1000 Hz,range=5 V,samples=1000,coherence threshold=0.5,delay=";
    const std::string strAfter = " s,source=rec.csv";
    const std::string& strHeading = strLines[0];
    ASSERT_EQ(strHeading.substr(0, strBefore.size()), strBefore);
    ASSERT_EQ(strHeading.substr(strHeading.size() - strAfter.size()), strAfter);
    const std::optional<double> dblDelay =
        numericValue(strHeading.substr(strBefore.size(), strHeading.size() - strBefore.size() - strAfter.size()));
    ASSERT_TRUE(dblDelay);
    EXPECT_NEAR(*dblDelay, 0.002, 0.05 / 1000); // two samples at 1000 Hz
    EXPECT_EQ(strHeading, result.strHeading);

    const TransferEstimates& est = result.estimates;
    for (std::size_t k = 0; k < 26; ++k) {
        SCOPED_TRACE(::testing::Message() << "line " << k);
        const std::vector<std::string> strFields = fields(strLines[k + 1]);
        ASSERT_EQ(strFields.size(), 9u);
        const double dblExpected[] = {k * 1000.0 / 64,        est.dblH1Magnitude[k], est.dblPhaseDeg[k],
                                      est.dblUnwrappedDeg[k], est.dblH2Magnitude[k], est.dblCoherence[k],
                                      est.dblGxx[k],          est.dblGyy[k],         est.dblGxyMagnitude[k]};
        for (std::size_t i = 0; i < 9; ++i) {
            EXPECT_EQ(strFields[i], generalNumberText(dblExpected[i])) << "field " << i;
        }
    }
    // The output is half the input two samples later: |H| = 0.5 counts per count, in g per N.
    EXPECT_NEAR(est.dblH1Magnitude[10], 0.5 * 0.0225 / 0.1, 0.01 * 0.0225 / 0.1 * 0.5);
}

TEST_F(TransferFixture, TwoChannelsOfASoundFileAreChosenByNumberAtTheFilesOwnRate)
{
    const std::string strPath = soundRecording(4000);
    request.input = ColumnChoice{2, {}};
    request.output = ColumnChoice{1, {}};
    request.blnSampFreqGiven = false;
    const TransferFileResult result = analyse(strPath);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.lngSampFreq, 8000);
    EXPECT_EQ(result.strInputSource, "channel 2 of 2");
    EXPECT_EQ(result.strOutputSource, "channel 1 of 2");
    ASSERT_TRUE(result.delay);
    EXPECT_NEAR(result.delay->dblSamples, 2.0, 0.05);
    EXPECT_NEAR(result.delay->dblSeconds, 2.0 / 8000, 0.05 / 8000);
    EXPECT_NE(result.strHeading.find(",fs=8000 Hz,"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.file("rec_FRF.csv")));
}

TEST_F(TransferFixture, RefusalsNameTheSignalAndTheReason)
{
    const std::string strText = textRecording(1000, false, 7);
    const std::string strSound = soundRecording(1000);
    const struct
    {
        const char* pchName;
        std::function<void(TransferRequest&)> change;
        std::string strPath;
        std::string strRefusal; // the refusal, or its start when it ends with "..."
    } cases[] = {
        {"a bad line in the output", [](TransferRequest&) {}, strText,
         "output: line 7: field 3 is not a number: \"n/a\""},
        {"a column the text lacks",
         [](TransferRequest& r) {
             r.input = ColumnChoice{0, "speed"};
         },
         strText, "input: ..."},
        {"a channel by name",
         [](TransferRequest& r) {
             r.output = ColumnChoice{1, {}};
         },
         strSound, "input: the channels of a sound file are chosen by number, not by name (\"force, N\")"},
        {"a channel the file lacks",
         [](TransferRequest& r) {
             r.input = ColumnChoice{2, {}};
             r.output = ColumnChoice{3, {}};
         },
         strSound, "output: ..."},
        {"another rate given",
         [](TransferRequest& r) {
             r.input = ColumnChoice{2, {}};
             r.output = ColumnChoice{1, {}};
         },
         strSound, "the recording states a sampling frequency of 8000 Hz, not the 1000 Hz given"},
        {"peak hold", [](TransferRequest& r) { r.settings.averaging = Averaging::Peak; }, strText,
         "peak hold does not apply to a frequency response: its spectra are averaged by the mean"},
        {"too short", [](TransferRequest& r) { r.settings.lngNumSamp = 2048; },
         textRecording(1000, false, 0, "short.csv"), "too few samples for one segment: 1000 found, 2048 needed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pchName);
        TransferRequest changed = request;
        c.change(changed);
        const TransferFileResult result = analyseTransfer(changed, c.strPath, files, sounds, computePI());
        if (c.strRefusal.ends_with("...")) {
            const std::string strStart = c.strRefusal.substr(0, c.strRefusal.size() - 3);
            EXPECT_EQ(result.strRefusal.substr(0, strStart.size()), strStart) << result.strRefusal;
            EXPECT_GT(result.strRefusal.size(), strStart.size() + 5) << "a reason follows";
        } else {
            EXPECT_EQ(result.strRefusal, c.strRefusal);
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file("rec_FRF.csv")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("short_FRF.csv")));
    }
}

// A silent output: H1 is 0, while H2, the phase and the coherence do not exist and are left empty
// (a file of "nan" or a refused write would serve nobody).
TEST_F(TransferFixture, ValuesThatDoNotExistAreEmptyFields)
{
    const TransferFileResult result = analyse(textRecording(500, true));
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_FALSE(result.delay);
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(result.strWritten));
    ASSERT_EQ(strLines.size(), 27u);
    EXPECT_NE(strLines[0].find(",delay=none,"), std::string::npos);
    for (std::size_t k = 1; k < strLines.size(); ++k) {
        const std::vector<std::string> strFields = fields(strLines[k]);
        ASSERT_EQ(strFields.size(), 9u);
        EXPECT_EQ(strFields[1], "0");
        for (const std::size_t i : {2, 3, 4, 5}) {
            EXPECT_EQ(strFields[i], "") << "line " << k << " field " << i;
        }
        EXPECT_EQ(strFields[7], "0");
        EXPECT_EQ(strFields[8], "0");
    }
}

TEST_F(TransferFixture, OneSegmentWritesTheResponseWithTheCoherenceColumnEmpty)
{
    const TransferFileResult result = analyse(textRecording(95)); // 64 + 31: one segment
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    EXPECT_EQ(result.spectra.lngSegments, 1);
    EXPECT_EQ(result.estimates.strCoherenceRefusal,
              "no coherence from 1 segment: it is 1 on every line whatever the channels hold; it needs 2 segments "
              "or more (N = 64, 95 samples; 96 give 2)");
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(result.strWritten));
    EXPECT_EQ(fields(strLines[0])[5], "coherence (none from 1 segment)");
    for (std::size_t k = 1; k < strLines.size(); ++k) {
        EXPECT_EQ(fields(strLines[k])[5], "") << "line " << k;
        EXPECT_NE(fields(strLines[k])[1], "") << "line " << k;
    }
}

TEST_F(TransferFixture, NeitherReplacesItsInputNorWritesWhenCancelled)
{
    // The output's name a link to the input: the same file by another name.
    const std::string strPath = textRecording(1000);
    const std::string strNamedLikeOutput = dir.file("rec_FRF.csv");
    std::filesystem::create_symlink(strPath, strNamedLikeOutput);
    testing::expectFailure(75, [&] { analyse(strPath); });
    EXPECT_TRUE(std::filesystem::is_symlink(strNamedLikeOutput));

    std::filesystem::remove(strNamedLikeOutput);
    std::int64_t lngTold = -1;
    const TransferFileResult result =
        analyseTransfer(request, strPath, files, sounds, computePI(), [&](std::int64_t lngSamples, auto) {
            lngTold = lngSamples;
            return false;
        });
    EXPECT_TRUE(result.blnCancelled);
    EXPECT_EQ(lngTold, 1000);
    EXPECT_FALSE(std::filesystem::exists(strNamedLikeOutput));
}

} // namespace
} // namespace kestrix::engine
