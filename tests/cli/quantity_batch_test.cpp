// SPDX-License-Identifier: GPL-3.0-or-later
// kestrix-batch --average with a sensor: the quantities, the levels, the envelope and the calibration
// on real files in a temporary folder, and their entries refused naming the option.
#include "cli/batch.h"
#include "engine/run/number_text.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/csv_lines.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>

namespace kestrix {
namespace {

using testing::TempDir;

constexpr double dblCountsPerVolt = 32767.0 / 5.0;

struct QuantityBatchFixture : ::testing::Test
{
    int batch(std::vector<std::string> strArgs)
    {
        strOut.str("");
        strErr.str("");
        std::istringstream strNoInput;
        return cli::runBatchCommand(strArgs, cli::BatchStreams{strNoInput, strOut, strErr, false}, files, sounds);
    }
    // A recording as text, in counts, of the volts given at each sample time (fs 8192 Hz).
    std::string writeVolts(const std::string& strName, int lngSamples, const std::function<double(double)>& volts)
    {
        std::string strContent;
        for (int i = 0; i < lngSamples; ++i) {
            strContent += engine::generalNumberText(std::round(volts(i / 8192.0) * dblCountsPerVolt)) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }
    // The values of a spectrum file written beside the recording, and its heading.
    std::vector<double> values(const std::string& strFile) const
    {
        std::vector<double> dblValues;
        const std::vector<std::string> strValues = testing::csvColumn(testing::readBytes(dir.file(strFile)), 1);
        for (auto itValue = strValues.begin() + 1; itValue != strValues.end(); ++itValue) { // past the heading
            dblValues.push_back(std::stod(*itValue));
        }
        return dblValues;
    }
    std::string heading(const std::string& strFile) const
    {
        return testing::splitCrLfLines(testing::readBytes(dir.file(strFile))).front();
    }
    double row(const std::string& strFile, const std::string& strName) const
    {
        for (const std::string& strLine : testing::splitCrLfLines(testing::readBytes(dir.file(strFile)))) {
            if (strLine.starts_with(strName + ",")) {
                return std::stod(strLine.substr(strName.size() + 1));
            }
        }
        ADD_FAILURE() << "no row " << strName;
        return 0.0;
    }

    TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::ostringstream strOut;
    std::ostringstream strErr;
};

// A 160 Hz sine of 10 g peak through 100 mV/g (1 V peak), on line 160 of 1 Hz lines: g, mm/s and µm
// from its own 2 pi f, the lines below the high-pass 0, every unit and setting in the heading, and the
// levels of a sine (crest factor sqrt 2, kurtosis 1.5) with the ISO velocity band.
TEST_F(QuantityBatchFixture, ASineReadsInTheQuantityAskedForInEveryFile)
{
    const std::string strPath =
        writeVolts("shaker.txt", 65536, [](double dblTime) { return std::sin(2 * std::numbers::pi * 160 * dblTime); });
    const double dblG = 10.0 / std::sqrt(2.0);
    const double dblOmega = 2 * std::numbers::pi * 160;
    struct Case
    {
        const char* strQuantity;
        double dblExpected;
        const char* strColumn;
    };
    for (const Case& entry :
         {Case{"acceleration", dblG, "rms (g)"}, Case{"velocity", dblG * 9.80665 / dblOmega * 1e3, "rms (mm/s)"},
          Case{"displacement", dblG * 9.80665 / (dblOmega * dblOmega) * 1e6, "rms (µm)"}}) {
        SCOPED_TRACE(entry.strQuantity);
        ASSERT_EQ(batch({"--average", "--fs", "8192", "--points", "8192", "--window", "flattop", "--sensitivity",
                         "100 mV/g", "--quantity", entry.strQuantity, "--levels", strPath}),
                  0)
            << strErr.str();
        const std::vector<double> dblValues = values("shaker_AVG_SPC.csv");
        EXPECT_NEAR(dblValues.at(160), entry.dblExpected, 1e-3 * entry.dblExpected);
        const std::string strHeading = heading("shaker_AVG_SPC.csv");
        EXPECT_NE(strHeading.find(entry.strColumn), std::string::npos) << strHeading;
        EXPECT_NE(strHeading.find("sensitivity=100 mV/g"), std::string::npos) << strHeading;
        if (std::string(entry.strQuantity) != "acceleration") {
            EXPECT_EQ(dblValues.at(9), 0.0) << "below the 10 Hz high-pass";
            EXPECT_NE(strHeading.find("highpass=10 Hz"), std::string::npos) << strHeading;
        }
        EXPECT_EQ(strOut.str(), dir.file("shaker_AVG_SPC.csv") + "\n" + dir.file("shaker_LEVELS.csv") + "\n");
        EXPECT_NEAR(row("shaker_LEVELS.csv", "rms"), dblG, 1e-3 * dblG);
        EXPECT_NEAR(row("shaker_LEVELS.csv", "crest factor"), std::sqrt(2.0), 1e-3);
        EXPECT_NEAR(row("shaker_LEVELS.csv", "kurtosis"), 1.5, 1e-3);
        if (std::string(entry.strQuantity) == "velocity") {
            // Velocity's band by default is ISO 20816's: the sine's whole velocity.
            EXPECT_NEAR(row("shaker_LEVELS.csv", "band rms 10-1000 Hz"), entry.dblExpected, 2e-3 * entry.dblExpected);
        }
    }
    // A band given replaces it; a dB reference given is the level's 0 dB.
    ASSERT_EQ(batch({"--average", "--fs", "8192", "--points", "8192", "--sensitivity", "100 mV/g", "--units", "dbv",
                     "--db-ref", "1", "--levels", "--band-rms", "100", "200", strPath}),
              0)
        << strErr.str();
    EXPECT_NEAR(row("shaker_LEVELS.csv", "band rms 100-200 Hz"), dblG, 2e-3 * dblG);
    EXPECT_NEAR(values("shaker_AVG_SPC.csv").at(160), 20 * std::log10(dblG), 0.01);
}

// Each entry that makes no sense is refused before any file, naming the option and what was typed.
TEST_F(QuantityBatchFixture, NonsenseIsRefusedNamingTheOption)
{
    const std::string strPath = writeVolts("mic.txt", 4096, [](double) { return 0.1; });
    struct Case
    {
        std::vector<std::string> strArgs;
        int lngStatus;
        const char* strNamed;
    };
    const Case cases[] = {
        {{"--sensitivity", "100 mA/g"}, 1, "--sensitivity \"100 mA/g\": sensitivity \"100 mA/g\": the voltage unit"},
        {{"--sensitivity", "50 mV/Pa", "--quantity", "velocity"}, 1, "--quantity velocity with --sensitivity"},
        {{"--quantity", "velocity"}, 2, "--quantity needs --sensitivity"},
        {{"--sensitivity", "1 V/g", "--quantity", "speed"}, 2, "--quantity speed: not one of"},
        {{"--sensitivity", "1 V/g", "--quantity", "velocity", "--highpass", "-1"}, 1, "--highpass -1:"},
        {{"--db-ref", "0"}, 1, "--db-ref 0:"},
        {{"--levels", "--band-rms", "500", "100"}, 1, "--band-rms 500 100:"},
        {{"--band-rms", "10", "100"}, 2, "--band-rms needs --levels"},
        {{"--envelope", "0", "100"}, 1, "--envelope 0 100:"},
        {{"--calibrate", "94 dBA", strPath}, 2, "--calibrate \"94 dBA\""},
    };
    for (const Case& entry : cases) {
        std::vector<std::string> strArgs{"--average"};
        strArgs.insert(strArgs.end(), entry.strArgs.begin(), entry.strArgs.end());
        if (strArgs[1] != "--calibrate") {
            strArgs.push_back(strPath);
        }
        SCOPED_TRACE(entry.strNamed);
        EXPECT_EQ(batch(strArgs), entry.lngStatus);
        EXPECT_NE(strErr.str().find(entry.strNamed), std::string::npos) << strErr.str();
        EXPECT_FALSE(std::filesystem::exists(dir.file("mic_AVG_SPC.csv")));
    }
}

// A calibrator's 1 kHz tone of 70.52 mV rms at 94 dB SPL (1.00237 Pa): its sensitivity printed, to the
// digits written; a recording of no tone is refused.
TEST_F(QuantityBatchFixture, CalibrateFindsTheSensitivityOfTheTone)
{
    const double dblVoltsRms = 0.07052;
    const std::string strPath = writeVolts("calibrator.txt", 65536, [&](double dblTime) {
        return dblVoltsRms * std::sqrt(2.0) * std::sin(2 * std::numbers::pi * 1000.3 * dblTime);
    });
    ASSERT_EQ(batch({"--calibrate", "94 dB SPL", strPath, "--fs", "8192", "--points", "8192"}), 0) << strErr.str();
    const std::string strPrinted = strOut.str();
    ASSERT_TRUE(strPrinted.starts_with("sensitivity ")) << strPrinted;
    const double dblPrinted = std::stod(strPrinted.substr(12));
    const double dblExpected = dblVoltsRms / (20e-6 * std::pow(10.0, 94.0 / 20.0)) * 1e3; // mV/Pa
    EXPECT_NEAR(dblPrinted, dblExpected, 5e-4 * dblExpected) << strPrinted;
    EXPECT_NE(strPrinted.find(" mV/Pa (tone 1000.3 Hz, 70.52 mV rms)"), std::string::npos) << strPrinted;

    const std::string strFlat = writeVolts("flat.txt", 65536, [](double) { return 0.0; });
    EXPECT_EQ(batch({"--calibrate", "1 g", strFlat}), 1);
    EXPECT_NE(strErr.str().find("refused"), std::string::npos) << strErr.str();
}

// The envelope of A (1 + m cos 2 pi fm t) cos 2 pi fc t in a band around fc: its file beside the
// spectrum, its line at fm of A m peak, the band in its heading.
TEST_F(QuantityBatchFixture, TheEnvelopeOfAModulatedCarrierShowsItsModulation)
{
    const std::string strPath = writeVolts("bearing.txt", 131072, [](double dblTime) {
        return 1.0 * (1 + 0.4 * std::cos(2 * std::numbers::pi * 50 * dblTime)) *
               std::cos(2 * std::numbers::pi * 2000 * dblTime);
    });
    ASSERT_EQ(batch({"--average", "--fs", "8192", "--points", "8192", "--units", "peak", "--envelope", "1500", "2500",
                     strPath}),
              0)
        << strErr.str();
    EXPECT_EQ(strOut.str(), dir.file("bearing_AVG_SPC.csv") + "\n" + dir.file("bearing_ENV_SPC.csv") + "\n");
    const std::vector<double> dblValues = values("bearing_ENV_SPC.csv");
    const auto highest = std::max_element(dblValues.begin() + 2, dblValues.end());
    EXPECT_EQ(highest - dblValues.begin(), 50);
    EXPECT_NEAR(*highest, 0.4, 0.004);
    EXPECT_NE(heading("bearing_ENV_SPC.csv").find("envelope=1500-2500 Hz"), std::string::npos);
}

} // namespace
} // namespace kestrix
