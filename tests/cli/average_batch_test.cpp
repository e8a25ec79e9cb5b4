// SPDX-License-Identifier: GPL-3.0-or-later
// kestrix-batch --average on real files in a temporary folder.
#include "cli/average_command.h"
#include "cli/batch.h"
#include "cli/batch_options.h"
#include "engine/run/wave.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <sstream>
#include <tuple>

#include <sys/stat.h>

namespace kestrix {
namespace {

using testing::TempDir;

struct AverageBatchFixture : ::testing::Test
{
    int batch(std::vector<std::string> strArgs)
    {
        strOut.str("");
        strErr.str("");
        std::istringstream strNoInput;
        return cli::runBatchCommand(strArgs, cli::BatchStreams{strNoInput, strOut, strErr, false}, files, sounds);
    }
    // A tone of peak 3000 counts at 100 Hz (fs 1024) with an offset of 12 counts, as text.
    std::string writeTone(const std::string& strName, int lngLines)
    {
        std::string strContent;
        for (int i = 0; i < lngLines; ++i) {
            const double dblValue = 12 + 3000 * std::sin(2 * std::numbers::pi * 100 * i / 1024.0);
            strContent += std::to_string(std::lround(dblValue)) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }
    // A -3 dBFS tone of dblCycles periods in every 8192 samples with white noise 70 dB below it, as text.
    std::string writeConverterTone(const std::string& strName, double dblCycles)
    {
        const double dblPeak = 32767 * std::pow(10.0, -3.0 / 20);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, dblPeak / std::sqrt(2.0) * std::pow(10.0, -70.0 / 20));
        std::string strContent;
        for (int i = 0; i < 16 * 8192; ++i) {
            const double dblValue = dblPeak * std::sin(2 * std::numbers::pi * dblCycles * i / 8192) + noise(random);
            strContent += std::to_string(dblValue) + "\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }
    // The value of a figure in a figures file, by its name.
    static double figure(const std::string& strFile, const std::string& strName)
    {
        for (const std::string& strLine : testing::splitCrLfLines(testing::readBytes(strFile))) {
            if (strLine.starts_with(strName + ",")) {
                return std::stod(strLine.substr(strName.size() + 1));
            }
        }
        ADD_FAILURE() << "no figure " << strName;
        return 0.0;
    }
    std::string writeWave(const std::string& strName, int lngSamples, int lngSampFreq)
    {
        const std::vector<std::uint8_t> bytWave = engine::buildWaveFile(
            std::vector<std::int16_t>(static_cast<std::size_t>(lngSamples), 7), lngSamples, lngSampFreq);
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, std::string(bytWave.begin(), bytWave.end()));
        return strPath;
    }

    TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::ostringstream strOut;
    std::ostringstream strErr;
};

// The file states what it holds in its first line; its frequencies are the classic spectrum file's,
// written the same way.
TEST_F(AverageBatchFixture, WritesTheHeadingThenTheClassicFrequenciesAndNumberTexts)
{
    const std::string strIn = writeTone("motor.csv", 8192);
    ASSERT_EQ(batch({"--average", strIn}), cli::lngExitAnalysed) << strErr.str();
    const std::string strAvg = dir.file("motor_AVG_SPC.csv");
    EXPECT_EQ(strOut.str(), strAvg + "\n");
    EXPECT_EQ(strErr.str(), "");
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(strAvg));
    ASSERT_EQ(strLines.size(), 402u);
    EXPECT_EQ(strLines[0], "frequency (Hz),rms (V),window=hann,N=1024,overlap=50%,segments=15,averaging=mean,"
                           "detrend=none,fs=1024 Hz,range=5 V,samples=8192,source=motor.csv");
    ASSERT_EQ(cli::runBatch(std::vector<std::string>{"--no-band", "--no-wave", strIn}, strOut, strErr, files), 0);
    const std::vector<std::string> strClassic = testing::csvColumn(testing::readBytes(dir.file("motor_SPC.csv")), 0);
    const std::vector<std::string> strAverage(strLines.begin() + 1, strLines.end());
    const std::string strAverageText = [&] {
        std::string strText;
        for (const std::string& strLine : strAverage) {
            strText += strLine + "\r\n";
        }
        return strText;
    }();
    EXPECT_EQ(testing::csvColumn(strAverageText, 0), strClassic);
    // The tone's line reads 3000 counts peak as rms volts (Hann on a line: exact), the 0 Hz line 12.
    const std::vector<std::string> strValues = testing::csvColumn(strAverageText, 1);
    EXPECT_NEAR(std::stod(strValues[100]), 3000 * 5.0 / 32767 / std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(std::stod(strValues[0]), 12 * 5.0 / 32767, 1e-6);

    ASSERT_EQ(batch({"--average", "--window=flattop", "--overlap", "75", "--averaging", "peak", "--detrend", "mean",
                     "--units", "dbv", "--points", "2048", "--fs", "2048", "--range", "10", strIn}),
              0)
        << strErr.str();
    EXPECT_EQ(testing::splitCrLfLines(testing::readBytes(strAvg))[0],
              "frequency (Hz),level (dBV),window=flattop,N=2048,overlap=75%,segments=13,averaging=peak,"
              "detrend=mean,fs=2048 Hz,range=10 V,samples=8192,source=motor.csv");
}

TEST_F(AverageBatchFixture, SoundFilesTakeTheirOwnSamplingFrequency)
{
    const std::string strWave = writeWave("rec.wav", 4096, 8000);
    ASSERT_EQ(batch({"--average", strWave}), cli::lngExitAnalysed) << strErr.str();
    const std::string strHeading = testing::splitCrLfLines(testing::readBytes(dir.file("rec_AVG_SPC.csv")))[0];
    EXPECT_NE(strHeading.find(",fs=8000 Hz,"), std::string::npos) << strHeading;
    EXPECT_NE(strHeading.find(",source=rec.wav channel 1 of 1"), std::string::npos) << strHeading;
    EXPECT_EQ(batch({"--average", "--fs", "8000", strWave}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_EQ(batch({"--average", "--fs", "1024", strWave}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strWave +
                                ": refused: the recording states a sampling frequency of 8000 Hz, not the 1024 Hz "
                                "given\n");
    EXPECT_EQ(strOut.str(), "");
}

TEST_F(AverageBatchFixture, RefusalsAndExitStatuses)
{
    const std::string strShort = writeTone("short.csv", 1000);
    const std::string strGood = writeTone("good.csv", 2048);
    EXPECT_EQ(batch({"--average", strShort, strGood}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strShort +
                                ": refused: too few samples for one segment: 1000 found, "
                                "1024 needed\n");
    EXPECT_EQ(strOut.str(), dir.file("good_AVG_SPC.csv") + "\n");

    EXPECT_EQ(batch({"--average", dir.file("missing.csv"), strGood}), cli::lngExitFailed);
    EXPECT_NE(strErr.str().find("missing.csv: error 53 (Kestrix): File not found"), std::string::npos) << strErr.str();

    writeWave("good.wav", 2048, 1024);
    EXPECT_EQ(batch({"--average", strGood, dir.file("good.wav")}), cli::lngExitRefused);
    EXPECT_NE(strErr.str().find("good.wav: refused: its output file"), std::string::npos) << strErr.str();

    for (const std::vector<std::string>& strArgs : {std::vector<std::string>{"--average"},
                                                    {"--average", "--window", "hanning", strGood},
                                                    {"--average", "--points", "1000", strGood},
                                                    {"--average", "--band", strGood},
                                                    {"--average", "--no-wave", strGood},
                                                    {"--average", "--units"},
                                                    {"--average", "-x", strGood}}) {
        SCOPED_TRACE(strArgs.back());
        EXPECT_EQ(batch(strArgs), cli::lngExitUsage);
        EXPECT_EQ(strOut.str(), "");
    }
    for (const std::vector<std::string>& strArgs : {std::vector<std::string>{"--overlap", "100"},
                                                    {"--overlap", "-1"},
                                                    {"--overlap", "x"},
                                                    {"--channel", "0"},
                                                    {"--channel", "1.5"},
                                                    {"--column", "0"},
                                                    {"--fs", "0"},
                                                    {"--range", "abc"}}) {
        SCOPED_TRACE(strArgs[0] + " " + strArgs[1]);
        std::vector<std::string> strWith = {"--average"};
        strWith.insert(strWith.end(), strArgs.begin(), strArgs.end());
        strWith.push_back(strGood);
        EXPECT_EQ(batch(strWith), cli::lngExitRefused);
        EXPECT_EQ(strOut.str(), "");
    }
    EXPECT_EQ(batch({"--average", "--help"}), cli::lngExitAnalysed);
    EXPECT_NE(strOut.str().find("Usage: kestrix-batch --average"), std::string::npos);
    EXPECT_NE(strOut.str().find("  flattop                0.2156"), std::string::npos) << strOut.str();
    EXPECT_EQ(batch({"--average", "--version"}), cli::lngExitAnalysed);
    EXPECT_EQ(strOut.str().rfind("kestrix-batch ", 0), 0u);
}

// A column or a channel other than the first names its files, so two parts of one recording (or one run
// over another column) never replace each other's; --output-dir puts the files into another folder.
TEST_F(AverageBatchFixture, PartsOfARecordingNameTheirFilesAndAFolderMayHoldThem)
{
    std::string strLog = "time,Accel,temp\r\ns,g,degC\r\n";
    for (int i = 0; i < 2048; ++i) {
        strLog += std::to_string(i) + "," + std::to_string(i % 7) + ",20\r\n";
    }
    const std::string strIn = dir.file("log.csv");
    testing::writeBytes(strIn, strLog);
    for (const auto& [strColumn, strName, strSource] :
         {std::tuple{"1", "log_AVG_SPC.csv", "\"source=log.csv column 1 (time, s)\"\r\n"},
          std::tuple{"2", "log_col2_AVG_SPC.csv", "\"source=log.csv column 2 (Accel, g)\"\r\n"},
          std::tuple{"accel", "log_col-accel_AVG_SPC.csv", "\"source=log.csv column 2 (Accel, g)\"\r\n"},
          std::tuple{"te/m p", "log_col-te_m_p_AVG_SPC.csv", "\"source=log.csv column 3 (te/m p, degC)\"\r\n"}}) {
        SCOPED_TRACE(strColumn);
        if (std::string_view(strColumn) == "te/m p") {
            testing::writeBytes(strIn, "time,Accel,te/m p\r\ns,g,degC\r\n" + strLog.substr(strLog.find("\r\n0,")));
        }
        EXPECT_EQ(batch({"--average", "--column", strColumn, strIn}), cli::lngExitAnalysed) << strErr.str();
        EXPECT_EQ(strOut.str(), dir.file(strName) + "\n");
        EXPECT_NE(testing::readBytes(dir.file(strName)).find(strSource), std::string::npos);
    }
    const std::string strStereo = dir.file("rec.wav");
    testing::writeSound(strStereo, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1024, 2, std::vector<short>(4096, 100));
    EXPECT_EQ(batch({"--average", "--channel", "2", strStereo}), cli::lngExitAnalysed);
    EXPECT_EQ(strOut.str(), dir.file("rec_ch2_AVG_SPC.csv") + "\n");
    EXPECT_EQ(batch({"--average", "--channel", "1", strStereo}), cli::lngExitAnalysed);
    EXPECT_EQ(strOut.str(), dir.file("rec_AVG_SPC.csv") + "\n");

    // Another folder: outputs there, named as beside the recording; two recordings of one name in it clash.
    std::filesystem::create_directories(dir.file("out"));
    std::filesystem::create_directories(dir.file("other"));
    const std::string strOther = dir.file("other/log.csv");
    std::filesystem::copy_file(strIn, strOther);
    EXPECT_EQ(batch({"--average", "--output-dir", dir.file("out") + "/", "--column", "2", strIn, strOther}),
              cli::lngExitRefused);
    EXPECT_EQ(strOut.str(), dir.file("out/log_col2_AVG_SPC.csv") + "\n");
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strOther + ": refused: its output file " +
                                dir.file("out/log_col2_AVG_SPC.csv") + " would replace that of " + strIn + "\n");
    EXPECT_EQ(batch({"--average", "--output-dir", dir.file("nowhere"), strIn}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: --output-dir " + dir.file("nowhere") + ": no such folder\n");
}

// Asked for at or beyond half the rate the fundamental was looked for past the spectrum's end: a crash
// (1e6), heap memory read as the SFDR, a frequency of 9.2E+18 Hz (1e300), or "SNR,-inf" (30000 at
// 48 kHz). The file is refused instead, and nothing written.
TEST_F(AverageBatchFixture, AFundamentalAtOrBeyondHalfTheRateIsRefused)
{
    const std::string strWave = writeWave("tone48k.wav", 8192, 48000);
    const std::string strText = writeTone("tone1k.csv", 8192);
    for (const auto& [strFile, strFundamental, strHalf] :
         {std::tuple{strWave, "30000", "24000"}, std::tuple{strWave, "100000", "24000"},
          std::tuple{strWave, "1e6", "24000"}, std::tuple{strText, "1e300", "512"}, std::tuple{strText, "515", "512"},
          std::tuple{strText, "512", "512"}}) {
        SCOPED_TRACE(strFundamental);
        EXPECT_EQ(batch({"--average", "--metrics", "--fundamental", strFundamental, strFile}), cli::lngExitRefused);
        EXPECT_NE(strErr.str().find(": refused: the fundamental asked for, "), std::string::npos) << strErr.str();
        EXPECT_NE(
            strErr.str().find(" Hz, is not below half the sampling frequency (" + std::string(strHalf) + " Hz)\n"),
            std::string::npos)
            << strErr.str();
        EXPECT_EQ(strOut.str(), "");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), std::filesystem::directory_iterator()), 2);
}

// Values beyond the double range gave "fundamental frequency,nan" and "SNR,nan" with exit 0: a range of
// 1e200 V squares past it, and so does a text line of 1e160 counts.
TEST_F(AverageBatchFixture, ValuesWhosePowersExceedTheDoubleRangeAreRefused)
{
    const std::string strIn = writeTone("motor.csv", 4096);
    EXPECT_EQ(batch({"--average", "--metrics", "--range", "1e200", strIn}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strIn +
                                ": refused: the converter figures' powers exceed the largest number at an input range "
                                "of 1E+200 V\n");
    EXPECT_EQ(batch({"--average", "--units", "psd", "--range", "1e200", strIn}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strIn +
                                ": refused: the spectrum in psd units exceeds the largest number at an input range of "
                                "1E+200 V\n");
    // In the middle of the first segments, where every window weighs it fully.
    std::string strContent = testing::readBytes(strIn);
    std::size_t lngAt = 0;
    for (int i = 0; i < 600; ++i) {
        lngAt = strContent.find('\n', lngAt) + 1;
    }
    strContent.insert(lngAt, "1e160\n");
    testing::writeBytes(strIn, strContent);
    for (const char* strUnits : {"rms", "dbv"}) {
        EXPECT_EQ(batch({"--average", "--metrics", "--units", strUnits, strIn}), cli::lngExitRefused);
        EXPECT_NE(strErr.str().find("refused: the recording's values are too large: their spectrum's power exceeds "
                                    "the largest number (sample "),
                  std::string::npos)
            << strErr.str();
        EXPECT_NE(strErr.str().find(" is 1E+160 counts)"), std::string::npos) << strErr.str();
    }
    EXPECT_EQ(strOut.str(), "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("motor_AVG_SPC.csv")));

    // A float64 sound file may hold 1e150 times full scale: finite, but its square is not.
    std::vector<double> dblSamples(4096, 0.25);
    dblSamples[600] = 1e150;
    const std::string strWave = dir.file("huge.wav");
    testing::writeSound(strWave, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1024, 1, dblSamples);
    EXPECT_EQ(batch({"--average", "--metrics", strWave}), cli::lngExitRefused);
    EXPECT_NE(strErr.str().find("refused: the recording's values are too large: their spectrum's power exceeds the "
                                "largest number (sample 601 is "),
              std::string::npos)
        << strErr.str();
    EXPECT_EQ(strOut.str(), "");
}

// With the figures the default window is the 7-term Blackman-Harris, whose leakage lies below any
// converter's noise: a tone between lines reads the SNR of its construction (70 dB; Hann read about 35).
// Hann, asked for, warns that its leakage exceeds the noise.
TEST_F(AverageBatchFixture, FiguresOfAToneBetweenLinesReadItsConstruction)
{
    const std::string strIn = writeConverterTone("adc.csv", 1234.37);
    ASSERT_EQ(batch({"--average", "--metrics", "--fs", "48000", "--points", "8192", strIn}), cli::lngExitAnalysed)
        << strErr.str();
    EXPECT_EQ(strErr.str(), "");
    const std::string strMetrics = dir.file("adc_METRICS.csv");
    EXPECT_NEAR(figure(strMetrics, "SNR"), 70.0, 0.3);
    EXPECT_NEAR(figure(strMetrics, "fundamental amplitude (peak)"), 5 * std::pow(10.0, -3.0 / 20), 1e-3);
    EXPECT_NEAR(figure(strMetrics, "window leakage limit (tone half-way between lines)"), -161.4, 0.2);
    EXPECT_NE(testing::readBytes(strMetrics).find("\r\nwindow,blackmanharris7,\r\n"), std::string::npos);
    EXPECT_NE(testing::readBytes(dir.file("adc_AVG_SPC.csv")).find(",window=blackmanharris7,"), std::string::npos);

    ASSERT_EQ(batch({"--average", "--metrics", "--window", "hann", "--fs", "48000", "--points", "8192", strIn}),
              cli::lngExitAnalysed)
        << strErr.str();
    EXPECT_LT(figure(strMetrics, "SNR"), 40.0);
    EXPECT_EQ(strErr.str().find("kestrix-batch: " + strIn +
                                ": warning: the tone lies 0.37 lines off a line and the "
                                "hann window leaks "),
              0u)
        << strErr.str();
    EXPECT_NE(testing::readBytes(strMetrics).find("\r\nwarning,\"the tone lies 0.37 lines off a line"),
              std::string::npos);
}

// A percentage may carry its sign; the averaged analysis's own entries are refused naming the option and
// the text typed, as the window's are.
TEST_F(AverageBatchFixture, EntriesTakeAPercentSignAndRefusalsNameTheOption)
{
    const std::string strIn = writeTone("motor.csv", 4096);
    ASSERT_EQ(batch({"--average", "--overlap", "50%", strIn}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_NE(testing::readBytes(dir.file("motor_AVG_SPC.csv")).find(",overlap=50%,"), std::string::npos);
    for (const auto& [strOption, strValue, strMessage] :
         {std::tuple{"--overlap", "100", "the overlap must be a percentage from 0 up to (not including) 100"},
          std::tuple{"--overlap", "%", "the overlap must be a percentage from 0 up to (not including) 100"},
          std::tuple{"--column", "0", "a column is chosen by its number from 1 or by its heading"},
          std::tuple{"--channel", "1.5", "a channel is chosen by its number from 1"},
          std::tuple{"--fs", "abc", "サンプリング周波数には半角数字を設定してください！"}}) {
        SCOPED_TRACE(strValue);
        EXPECT_EQ(batch({"--average", strOption, strValue, strIn}), cli::lngExitRefused);
        EXPECT_EQ(strErr.str(), "kestrix-batch: " + std::string(strOption) + " " + cli::typedText(strValue) + ": " +
                                    strMessage + "\n");
    }
}

// The spectrum and its figures go in place together: when the figures' file cannot be written the
// earlier spectrum stays, and nothing is printed as written.
TEST_F(AverageBatchFixture, TheSpectrumAndItsFiguresArePutInPlaceTogether)
{
    const std::string strIn = writeTone("tone.csv", 16384);
    ASSERT_EQ(batch({"--average", "--metrics", strIn}), cli::lngExitAnalysed) << strErr.str();
    const std::string strSpectrum = dir.file("tone_AVG_SPC.csv");
    const std::string strMetrics = dir.file("tone_METRICS.csv");
    const std::string strEarlier = testing::readBytes(strSpectrum);
    std::filesystem::remove(strMetrics);
    std::filesystem::create_directory(strMetrics);
    EXPECT_EQ(batch({"--average", "--metrics", "--points", "2048", strIn}), cli::lngExitFailed);
    EXPECT_EQ(strOut.str(), "");
    EXPECT_NE(strErr.str().find(": error 75 (Kestrix): Path/File access error: " + strMetrics), std::string::npos)
        << strErr.str();
    EXPECT_EQ(testing::readBytes(strSpectrum), strEarlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), std::filesystem::directory_iterator()), 3);
}

// Reading a FIFO nobody writes to would wait for ever (the test's time limit catches that); a folder or a
// device is refused as the classic run refuses it, not reported as a failure.
TEST_F(AverageBatchFixture, AFifoAFolderOrADeviceIsRefusedAtOnce)
{
    const std::string strFifo = dir.file("pipe.csv");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    const std::string strFolder = dir.file("folder.wav");
    std::filesystem::create_directory(strFolder);
    const std::string strGood = writeTone("good.csv", 2048);
    EXPECT_EQ(batch({"--average", strFifo, strFolder, "/dev/zero", strGood}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strFifo + ": refused: a FIFO, not a regular file\n" +
                                "kestrix-batch: " + strFolder + ": refused: a folder, not a regular file\n" +
                                "kestrix-batch: /dev/zero: refused: a device, not a regular file\n");
    EXPECT_EQ(strOut.str(), dir.file("good_AVG_SPC.csv") + "\n");
}

// Without --average (or with it after "--", where it is a file name) the classic run answers.
TEST_F(AverageBatchFixture, MetricsAreWrittenBesideTheSpectrumWithTheSettings)
{
    const std::string strIn = writeTone("tone.csv", 16384);
    ASSERT_EQ(batch({"--average", "--metrics", "--points", "4096", "--window", "flattop", strIn}), cli::lngExitAnalysed)
        << strErr.str();
    EXPECT_EQ(strOut.str(), dir.file("tone") + "_AVG_SPC.csv\n" + dir.file("tone") + "_METRICS.csv\n");
    const std::vector<std::string> strLines = testing::splitCrLfLines(testing::readBytes(dir.file("tone_METRICS.csv")));
    ASSERT_GE(strLines.size(), 10u);
    EXPECT_EQ(strLines[0], "name,value,unit");
    EXPECT_EQ(strLines[1], "fundamental frequency,100,Hz");
    // 3000 counts peak on a line of the flat-top spectrum, at 5 V / 32767 a count.
    const std::string strAmplitude = strLines[2].substr(strLines[2].find(',') + 1);
    EXPECT_NEAR(std::stod(strAmplitude.substr(0, strAmplitude.find(','))), 3000 * 5 / 32767.0, 1e-4);
    EXPECT_NE(std::find(strLines.begin(), strLines.end(), "window,flattop,"), strLines.end());
    // The spectrum file keeps its lines to fs / 2.56.
    EXPECT_EQ(testing::splitCrLfLines(testing::readBytes(dir.file("tone_AVG_SPC.csv"))).size(), 1u + 1601u);

    EXPECT_EQ(batch({"--average", "--fundamental", "100", strIn}), cli::lngExitUsage);
    EXPECT_EQ(batch({"--average", "--metrics", "--fundamental", "-3", strIn}), cli::lngExitRefused);
}

TEST_F(AverageBatchFixture, WithoutAverageTheClassicRunAnswers)
{
    const std::string strIn = writeTone("plain.csv", 1024);
    EXPECT_EQ(batch({"--no-wave", strIn}), cli::lngExitAnalysed);
    EXPECT_EQ(strOut.str(), dir.file("plain") + "_SPC.csv\n" + dir.file("plain") + "_BAND_SPC.csv\n" +
                                dir.file("plain") + "_BAND_WAVE.csv\n");
    EXPECT_EQ(batch({"--no-band", "--no-wave", "--", "--average"}), cli::lngExitFailed);
    EXPECT_NE(strErr.str().find("--average: error 53"), std::string::npos) << strErr.str();
    EXPECT_FALSE(std::filesystem::exists(dir.file("plain_AVG_SPC.csv")));
}

} // namespace
} // namespace kestrix
