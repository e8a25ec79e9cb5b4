// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/spectrum_csv.h"
#include "engine/run/spectrum.h"
#include "platform/std/std_text_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace kestrix::engine {
namespace {

TEST(SpectrumCsv, ReadsBackEveryValueTheWriterWrote)
{
    // Amplitudes from 0 through tiny rounding residue to large values, so both the plain and the
    // exponent form of the texts are read.
    std::vector<double> dblAmp(401);
    for (std::size_t i = 0; i < dblAmp.size(); ++i) {
        dblAmp[i] = (i % 7 == 0) ? 0.0 : std::pow(10.0, static_cast<double>(i % 31) - 15.0) * (1.0 + i / 401.0);
    }
    constexpr double dblDeltaFreq = 1000.0 / 2.56 / 400.0; // 0.9765625 Hz
    constexpr double dblPosScale = 5.0 / 32767.0;
    const std::string strFile = formatSpectrumCsv(401, dblDeltaFreq, dblPosScale, dblAmp);

    const SpectrumReading reading = parseSpectrumCsv(strFile);

    ASSERT_EQ(reading.strRefusal, "");
    ASSERT_EQ(reading.trace.dblFreq.size(), 401u);
    ASSERT_EQ(reading.trace.dblVolts.size(), 401u);
    for (std::size_t i = 0; i < dblAmp.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i));
        EXPECT_EQ(reading.trace.dblFreq[i], static_cast<double>(i) * dblDeltaFreq);
        // The file holds 15 significant digits, the value 17: equal to that rounding.
        EXPECT_NEAR(reading.trace.dblVolts[i], dblPosScale * dblAmp[i], 1e-14 * dblPosScale * dblAmp[i]);
    }
}

TEST(SpectrumCsv, AcceptsLfLineEndsExponentsAndBlankLinesAtTheEnd)
{
    const SpectrumReading reading = parseSpectrumCsv("0,4.5E-14\n0.5,1e-3\n1,2\n\n\r\n");
    ASSERT_EQ(reading.strRefusal, "");
    EXPECT_EQ(reading.trace.dblFreq, (std::vector<double>{0.0, 0.5, 1.0}));
    EXPECT_EQ(reading.trace.dblVolts, (std::vector<double>{4.5e-14, 1e-3, 2.0}));
}

TEST(SpectrumCsv, RefusesTextsThatAreNoSpectrumNamingTheLine)
{
    struct Case
    {
        const char* strName;
        std::string strText;
        std::string strLine; // the line number the refusal must name
    };
    const std::vector<Case> cases{
        {"empty", "", ""},
        {"blank lines only", "\r\n\r\n", ""},
        {"heading line", "frequency,volts\r\n0,1\r\n", "1 行目"},
        {"one column", "0,1\r\n1\r\n", "2 行目"},
        {"three columns", "0,1\r\n1,2,3\r\n", "2 行目"},
        {"letters", "0,1\r\n1,abc\r\n", "2 行目"},
        {"decimal comma", "0;1\r\n", "1 行目"},
        {"repeated frequency", "0,1\r\n1,2\r\n1,3\r\n", "3 行目"},
        {"falling frequency", "0,1\r\n2,2\r\n1,3\r\n", "3 行目"},
        {"negative frequency", "-1,1\r\n", "1 行目"},
        {"negative amplitude", "0,1\r\n1,-2\r\n", "2 行目"},
        {"blank line inside", "0,1\r\n\r\n1,2\r\n", "2 行目"},
        {"band waveform file (negative counts)", "0,5\r\n0.001,-3\r\n", "2 行目"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.strName);
        const SpectrumReading reading = parseSpectrumCsv(test.strText);
        EXPECT_NE(reading.strRefusal, "");
        EXPECT_NE(reading.strRefusal.find(test.strLine), std::string::npos) << reading.strRefusal;
        EXPECT_TRUE(reading.trace.dblFreq.empty());
        EXPECT_TRUE(reading.trace.dblVolts.empty());
    }
}

TEST(SpectrumCsv, RefusesMoreLinesThanTheLimit)
{
    const std::string strText = "0,1\n1,1\n2,1\n3,1\n";
    EXPECT_EQ(parseSpectrumCsv(strText, 4).strRefusal, "");
    const SpectrumReading reading = parseSpectrumCsv(strText, 3);
    EXPECT_NE(reading.strRefusal.find("4 行目"), std::string::npos) << reading.strRefusal;
    EXPECT_TRUE(reading.trace.dblFreq.empty());
}

TEST(SpectrumCsv, ReadsAFileThroughTheFileService)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestrix_spectrum_csv_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string strGood = (folder / "good_SPC.csv").string();
    const std::string strLong = (folder / "long_SPC.csv").string();
    const std::string strMarkOnly = (folder / "mark_SPC.csv").string();
    std::ofstream(strGood, std::ios::binary) << "\xEF\xBB\xBF"
                                             << "0,0.5\r\n1,2E-05\r\n";
    std::ofstream(strLong, std::ios::binary) << "0,1\r\n1," << std::string(100000, '1') << "\r\n";
    std::ofstream(strMarkOnly, std::ios::binary) << "\xEF\xBB\xBF";
    platform::StdTextFiles files;

    // Found by fuzzing: a file of the byte-order mark alone raised input past end instead of being
    // refused as holding no spectrum.
    const SpectrumReading markOnly = readSpectrumCsv(*files.openTextFile(strMarkOnly));
    const SpectrumReading good = readSpectrumCsv(*files.openTextFile(strGood));
    const SpectrumReading tooLong = readSpectrumCsv(*files.openTextFile(strLong));

    std::filesystem::remove_all(folder);
    ASSERT_EQ(good.strRefusal, "");
    EXPECT_EQ(good.trace.dblFreq, (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(good.trace.dblVolts, (std::vector<double>{0.5, 2e-5}));
    EXPECT_NE(tooLong.strRefusal.find("2 行目"), std::string::npos) << tooLong.strRefusal;
    EXPECT_EQ(markOnly.strRefusal, parseSpectrumCsv("").strRefusal);
    EXPECT_EQ(parseSpectrumCsv("\xEF\xBB\xBF").strRefusal, parseSpectrumCsv("").strRefusal);
    EXPECT_EQ(parseSpectrumCsv("\xEF\xBB\xBF"
                               "0,1\r\n")
                  .trace.dblVolts,
              std::vector<double>{1.0});
    // Only the first mark is skipped, as the file service skips it: a second one is text on line 1.
    EXPECT_EQ(parseSpectrumCsv("\xEF\xBB\xBF\xEF\xBB\xBF"
                               "0,1\r\n")
                  .strRefusal,
              "1 行目：数値でない値があります。");
}

// The bytes of a file held in memory read as the file service reads the file: a byte-order mark at
// the start is skipped, and a line longer than a stream holds is refused as not two columns.
TEST(SpectrumCsv, ParsesBytesInMemoryAsTheFileServiceReadsThem)
{
    const std::string strFolder =
        (std::filesystem::temp_directory_path() / ("kestrix_spectrum_parse_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(strFolder);
    const std::string strPath = strFolder + "/reference_SPC.csv";
    const std::string strLongVolts(platform::lngMaxLineBytes, '1');
    platform::StdTextFiles files;
    for (const std::string& strText :
         {std::string("\xEF\xBB\xBF"
                      "0,0.5\r\n1,2E-05\r\n"),
          "0,1\r\n1," + strLongVolts + "\r\n", "0,1\r\n1," + strLongVolts.substr(2) + "\r\n"}) {
        SCOPED_TRACE(strText.substr(0, 12));
        std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText;
        const SpectrumReading streamed = readSpectrumCsv(*files.openTextFile(strPath));
        const SpectrumReading parsed = parseSpectrumCsv(strText);
        EXPECT_EQ(parsed.strRefusal, streamed.strRefusal);
        EXPECT_EQ(parsed.trace.dblFreq, streamed.trace.dblFreq);
        EXPECT_EQ(parsed.trace.dblVolts, streamed.trace.dblVolts);
    }
    std::filesystem::remove_all(strFolder);
    EXPECT_EQ(parseSpectrumCsv("\xEF\xBB\xBF"
                               "0,0.5\r\n")
                  .strRefusal,
              "");
    EXPECT_NE(parseSpectrumCsv("0,1\r\n1," + strLongVolts + "\r\n").strRefusal.find("2 行目"), std::string::npos);
}

// A file of nothing but a byte-order mark is a text without lines: refused for having no data, never
// a failure to read past its end.
TEST(SpectrumCsv, AByteOrderMarkAloneHasNoData)
{
    const std::string strFolder =
        (std::filesystem::temp_directory_path() / ("kestrix_spectrum_bom_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(strFolder);
    const std::string strPath = strFolder + "/reference_SPC.csv";
    std::ofstream(strPath, std::ios::binary) << "\xEF\xBB\xBF";
    platform::StdTextFiles files;
    const SpectrumReading streamed = readSpectrumCsv(*files.openTextFile(strPath));
    std::filesystem::remove_all(strFolder);
    EXPECT_EQ(streamed.strRefusal, "スペクトルのデータがありません。");
    EXPECT_EQ(parseSpectrumCsv("\xEF\xBB\xBF").strRefusal, "スペクトルのデータがありません。");
}

} // namespace
} // namespace kestrix::engine
