// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/field_checks.h"
#include "engine/run/number_text.h"
#include "engine/run/sample_reader.h"
#include "platform/failure.h"
#include "platform/std/std_text_files.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
#include "support/fifo.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace kestrix {
namespace {

using testing::TempDir;

std::int32_t countFile(const std::string& strPath, std::int32_t lngNumSamp)
{
    platform::StdTextFiles files;
    const auto stream = files.openTextFile(strPath);
    return engine::countSamples(*stream, lngNumSamp);
}

TEST(StdTextReader, LineEndsByteOrderMarkAndOverlongLines)
{
    TempDir dir;
    const std::string strPath = dir.file("in.csv");
    // CR LF and lone LF, a byte-order mark, no end after the last line.
    testing::writeBytes(strPath, "\xEF\xBB\xBF"
                                 "1\r\n2\n-3.5\r\n4");
    platform::StdTextFiles files;
    auto stream = files.openTextFile(strPath);
    std::vector<std::string> strLines;
    while (!stream->atEndOfStream()) {
        strLines.emplace_back(stream->readLine().strText);
    }
    EXPECT_EQ(strLines, (std::vector<std::string>{"1", "2", "-3.5", "4"}));
    testing::expectFailure(err::lngInputPastEnd, [&] { stream->readLine(); });

    // A line of 100000 blanks and a digit would be numeric, but is too long to hold: it counts as
    // text, and the lines after it are read normally.
    testing::writeBytes(strPath, "1\r\n" + std::string(100000, ' ') + "7\r\n3\r\n4\r\n");
    EXPECT_EQ(countFile(strPath, 4), 3);
    stream = files.openTextFile(strPath);
    stream->readLine();
    EXPECT_TRUE(stream->readLine().blnTooLong);
    EXPECT_EQ(stream->readLine().strText, "3");

    // Lines right at the limit are still read whole.
    testing::writeBytes(strPath, std::string(platform::lngMaxLineBytes - 1, ' ') + "5\r\n");
    EXPECT_EQ(countFile(strPath, 1), 1);
}

// Found by fuzzing: a file of the three mark bytes alone reported more to read, and the next line
// raised input past end (62) where an empty file is refused for its data count.
TEST(StdTextReader, AFileOfOnlyAByteOrderMarkIsEmpty)
{
    TempDir dir;
    const std::string strPath = dir.file("bom.csv");
    platform::StdTextFiles files;
    for (const std::string& strContent : {std::string("\xEF\xBB\xBF"), std::string("")}) {
        SCOPED_TRACE(strContent.size());
        testing::writeBytes(strPath, strContent);
        auto stream = files.openTextFile(strPath);
        EXPECT_TRUE(stream->atEndOfStream());
        EXPECT_TRUE(stream->atEndOfStream()) << "asking again changes nothing";
        EXPECT_EQ(countFile(strPath, 1024), 0);
    }
    // A mark followed by line ends only: blank lines, not the end.
    testing::writeBytes(strPath, "\xEF\xBB\xBF\r\n");
    auto stream = files.openTextFile(strPath);
    ASSERT_FALSE(stream->atEndOfStream());
    EXPECT_EQ(stream->readLine().strText, "");
    EXPECT_TRUE(stream->atEndOfStream());
    // Two of the three bytes are no mark: they are the text of the line.
    testing::writeBytes(strPath, "\xEF\xBB");
    stream = files.openTextFile(strPath);
    ASSERT_FALSE(stream->atEndOfStream());
    EXPECT_EQ(stream->readLine().strText, "\xEF\xBB");
}

TEST(StdTextReader, CountingStopsAtTheBlockAndAtTheEnd)
{
    TempDir dir;
    const std::string strPath = dir.file("in.csv");
    testing::writeBytes(strPath, "");
    EXPECT_EQ(countFile(strPath, 1024), 0);
    testing::writeBytes(strPath, "1\n2\n\n3\n");
    EXPECT_EQ(countFile(strPath, 2), 2);
    EXPECT_EQ(countFile(strPath, 4), 3);
    EXPECT_EQ(countFile(strPath, 1024), 3);
}

// A file of nothing but a byte-order mark holds no line: the stream is at its end at once, so the
// count is 0 and a run refuses the file with the data-count message instead of failing.
TEST(StdTextReader, AByteOrderMarkAloneIsAnEmptyFile)
{
    TempDir dir;
    const std::string strPath = dir.file("in.csv");
    platform::StdTextFiles files;
    testing::writeBytes(strPath, "\xEF\xBB\xBF");
    EXPECT_TRUE(files.openTextFile(strPath)->atEndOfStream());
    EXPECT_EQ(countFile(strPath, 1024), 0);
    testing::expectFailure(err::lngInputPastEnd, [&] { files.openTextFile(strPath)->readLine(); });

    testing::writeBytes(strPath, "\xEF\xBB\xBF\r\n");
    const auto stream = files.openTextFile(strPath);
    ASSERT_FALSE(stream->atEndOfStream());
    EXPECT_EQ(stream->readLine().strText, "");
    EXPECT_TRUE(stream->atEndOfStream());
}

TEST(StdTextFiles, ReplacesAtomicallyAndReportsFailuresByNumber)
{
    TempDir dir;
    platform::StdTextFiles files;
    const std::string strPath = dir.file("out_SPC.csv");
    testing::writeBytes(strPath, "a much longer earlier content\r\n");
    auto writer = files.createTextFile(strPath);
    writer->writeLine("1,2");
    writer->close();
    EXPECT_EQ(testing::readBytes(strPath), "1,2\r\n");

    // A writer abandoned before close leaves the earlier file, and no temporary file behind.
    writer = files.createTextFile(strPath);
    writer->writeLine("half");
    writer.reset();
    EXPECT_EQ(testing::readBytes(strPath), "1,2\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), std::filesystem::directory_iterator()), 1);

    using testing::expectFailure;
    expectFailure(err::lngFileNotFound, [&] { files.openTextFile(dir.file("missing.csv")); });
    expectFailure(err::lngPathNotFound, [&] {
        auto w = files.createTextFile(dir.file("no/such/folder/x.csv"));
        w->close();
    });
    std::filesystem::create_directory(dir.file("taken_SPC.csv"));
    expectFailure(err::lngPathFileAccess, [&] {
        auto w = files.createTextFile(dir.file("taken_SPC.csv"));
        w->close();
    });
    expectFailure(err::lngPathFileAccess, [&] { files.openTextFile(dir.path.string()); });

    // A FIFO nobody writes to is refused at once, not waited on.
    const std::string strFifo = dir.file("pipe.csv");
    if (testing::makeFifo(strFifo)) {
        expectFailure(err::lngPathFileAccess, [&] { files.openTextFile(strFifo); });
    }
}

TEST(StdTextFiles, PathParts)
{
    platform::StdTextFiles files;
    EXPECT_EQ(files.getParentFolderName("/meas/motor.test.csv"), "/meas");
    EXPECT_EQ(files.getParentFolderName("/motor.csv"), "/");
    EXPECT_EQ(files.getParentFolderName("motor.csv"), "");
    EXPECT_EQ(files.getBaseName("/meas/motor.test.csv"), "motor.test");
    EXPECT_EQ(files.getBaseName("/meas/motor"), "motor");
}

TEST(FieldChecks, SamplingFrequencyAndInputRange)
{
    struct Case
    {
        const char* strText;
        const char* strMessage;
        const char* strNormalized;
    };
    for (const Case& c : {Case{"2.5", "", "3"}, Case{" 1024 ", "", "1024"}, Case{"1e3", "", "1000"},
                          Case{"", "サンプリング周波数を設定してください！", ""},
                          Case{" ", "サンプリング周波数には半角数字を設定してください！", ""},
                          Case{"abc", "サンプリング周波数には半角数字を設定してください！", ""},
                          Case{"0.4", "サンプリング周波数には正の整数を設定してください！", ""},
                          Case{"-5", "サンプリング周波数には正の整数を設定してください！", ""},
                          Case{"2147483648", "サンプリング周波数には正の整数を設定してください！", ""},
                          Case{"1e300", "サンプリング周波数には正の整数を設定してください！", ""}}) {
        SCOPED_TRACE(c.strText);
        const engine::FieldCheck check = engine::checkSampFreq(c.strText);
        EXPECT_EQ(check.strMessage, c.strMessage);
        EXPECT_EQ(check.strNormalized, c.strNormalized);
    }
    for (const Case& c :
         {Case{"5.0", "", "5"}, Case{"0.0005", "", "0.001"}, Case{"2.12345", "", "2.123"},
          Case{"0.0004", "入力レンジには正の実数を設定してください！", ""},
          Case{"-1", "入力レンジには正の実数を設定してください！", ""}, Case{"", "入力レンジを設定してください！", ""},
          Case{"5V", "入力レンジには半角数字を設定してください！", ""},
          Case{"1.79769313486231E+308", "", "1.79769313486231E+308"},
          Case{"1.7976931348623157e308", "入力レンジには正の実数を設定してください！", ""},
          Case{"-1.7976931348623157e308", "入力レンジには正の実数を設定してください！", ""}}) {
        SCOPED_TRACE(c.strText);
        const engine::FieldCheck check = engine::checkMaxVolt(c.strText);
        EXPECT_EQ(check.strMessage, c.strMessage);
        EXPECT_EQ(check.strNormalized, c.strNormalized);
    }
}

// Found by fuzzing: the fixed-decimal rounding of a value just below the double limit lies beyond it
// and read back as nothing, so the input range and the band limits let such an entry through.
TEST(FieldChecks, EntriesThatRoundBeyondTheDoubleRangeAreRefused)
{
    const std::string strMax = "1.7976931348623157e308";
    const std::string strPlainMax = "179769313486231570" + std::string(291, '0'); // the same value in digits
    for (const std::string& strText : {strMax, "-" + strMax, strPlainMax}) {
        SCOPED_TRACE(strText);
        EXPECT_EQ(engine::checkSampFreq(strText).strMessage, "サンプリング周波数には正の整数を設定してください！");
        EXPECT_EQ(engine::checkMaxVolt(strText).strMessage, "入力レンジには正の実数を設定してください！");
        EXPECT_EQ(engine::checkMaxVolt(strText).strNormalized, "");
    }
    // The largest value whose rounding still reads back is an input range like any other.
    EXPECT_EQ(engine::checkMaxVolt("1.79769313486231e308").strNormalized, "1.79769313486231E+308");

    struct Case
    {
        std::string strLow;
        std::string strHigh;
        const char* strMessage;
    };
    for (const Case& c :
         {Case{strMax, "800", "下限周波数には 0 以上の実数を設定してください！"},
          Case{"-" + strMax, "800", "下限周波数には 0 以上の実数を設定してください！"},
          Case{"200", strMax, "上限周波数には正の実数を設定してください！"},
          Case{"200", "-" + strMax, "上限周波数には正の実数を設定してください！"}, Case{"200", "1e300", ""}}) {
        SCOPED_TRACE(c.strLow + " to " + c.strHigh);
        engine::ControlContents controls;
        controls.strLowFreq = c.strLow;
        controls.strHighFreq = c.strHigh;
        engine::AnalysisParameters params;
        params.dblMaxAnaFreq = 400.0;
        EXPECT_EQ(engine::checkBandLimits(controls, params), c.strMessage);
    }
}

TEST(FieldChecks, DerivedValuesFollowTheirTwoTriggers)
{
    using engine::deltaFreqText;
    using engine::maxAnaFreqRounded;
    EXPECT_EQ(engine::maxAnaFreqText(maxAnaFreqRounded(1024)), "400");
    EXPECT_EQ(deltaFreqText(maxAnaFreqRounded(1024), 1024), "1.000");
    EXPECT_EQ(engine::maxAnaFreqText(maxAnaFreqRounded(3)), "1.17");
    EXPECT_EQ(deltaFreqText(maxAnaFreqRounded(3), 1024), "0.003");
    EXPECT_EQ(engine::maxAnaFreqText(maxAnaFreqRounded(1000)), "390.63");
    EXPECT_EQ(deltaFreqText(maxAnaFreqRounded(1000), 1024), "0.977");
    EXPECT_EQ(engine::maxAnaFreqText(maxAnaFreqRounded(64)), "25");
    EXPECT_EQ(deltaFreqText(maxAnaFreqRounded(64), 1024), "0.063");
    // After a list change the unrounded maximum frequency is used.
    EXPECT_EQ(engine::deltaFreqTextAfterListChange("1000", "2048"), "0.488");
    EXPECT_EQ(engine::deltaFreqTextAfterListChange("1000", "65536"), "0.015");
    EXPECT_EQ(engine::deltaFreqTextAfterListChange("1024", "65536"), "0.016");
    EXPECT_FALSE(engine::deltaFreqTextAfterListChange("abc", "1024"));
}

} // namespace
} // namespace kestrix
