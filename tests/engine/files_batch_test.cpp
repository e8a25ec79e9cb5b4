#include "cli/batch.h"
#include "engine/field_checks.h"
#include "engine/number_text.h"
#include "engine/sample_reader.h"
#include "platform/failure.h"
#include "platform/std/std_text_files.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
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

// The batch front end on real files in a temporary folder.
struct BatchFixture : ::testing::Test
{
    int batch(std::vector<std::string> strArgs)
    {
        strOut.str("");
        strErr.str("");
        return cli::runBatch(strArgs, strOut, strErr, files);
    }
    std::string writeSamples(const std::string& strName, int lngLines)
    {
        std::string strContent;
        for (int i = 0; i < lngLines; ++i) {
            strContent += std::to_string((i * 37) % 2001 - 1000) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }

    TempDir dir;
    platform::StdTextFiles files;
    std::ostringstream strOut;
    std::ostringstream strErr;
};

TEST_F(BatchFixture, DefaultsWriteEveryFileAndPrintThePathsInOrder)
{
    const std::string strIn = writeSamples("motor.csv", 1024);
    EXPECT_EQ(batch({strIn}), cli::lngExitAnalysed);
    const std::string strBase = dir.file("motor");
    EXPECT_EQ(strOut.str(), strBase + "_SPC.csv\n" + strBase + "_BAND_SPC.csv\n" + strBase + "_BAND_WAVE.csv\n" +
                                strBase + "_BAND.wav\n" + strBase + ".wav\n");
    EXPECT_EQ(strErr.str(), "");
    EXPECT_EQ(testing::readBytes(strBase + ".wav").size(), 2092u);
}

TEST_F(BatchFixture, ExitStatusesTakeTheHighestMet)
{
    const std::string strGood = writeSamples("good.csv", 2048);
    const std::string strShort = writeSamples("short.csv", 500);
    EXPECT_EQ(batch({"--points", "2048", "--no-band", "--no-wave", strGood}), cli::lngExitAnalysed);
    EXPECT_EQ(strOut.str(), dir.file("good") + "_SPC.csv\n");

    EXPECT_EQ(batch({"--no-band", strShort, strGood}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "ファイルのデータ数が不足しています！\nファイルデータ数 = 500\nサンプリング点数 = 1024\n");
    EXPECT_NE(strOut.str().find(dir.file("good") + "_SPC.csv"), std::string::npos);

    EXPECT_EQ(batch({"--no-band", dir.file("missing.csv"), strShort, strGood}), cli::lngExitFailed);
    EXPECT_NE(strErr.str().find("missing.csv: error 53 (Kestrix): File not found"), std::string::npos) << strErr.str();

    for (const std::vector<std::string>& strArgs : {std::vector<std::string>{},
                                                    {"--points", "1000", strGood},
                                                    {"--points", "01024", strGood},
                                                    {"--bogus", strGood},
                                                    {"--fs"},
                                                    {"--band=1", strGood}}) {
        EXPECT_EQ(batch(strArgs), cli::lngExitUsage) << (strArgs.empty() ? "" : strArgs[0]);
        EXPECT_EQ(strOut.str(), "");
    }
    EXPECT_EQ(batch({"--help"}), cli::lngExitAnalysed);
    EXPECT_NE(strOut.str().find("Usage: kestrix-batch"), std::string::npos);
}

TEST_F(BatchFixture, EntriesAreCheckedOnceBeforeAnyFile)
{
    const std::string strGood = writeSamples("good.csv", 1024);
    struct Case
    {
        std::vector<std::string> strArgs;
        const char* strMessage;
    };
    for (const Case& c :
         {Case{{"--fs", "0.4"}, "サンプリング周波数には正の整数を設定してください！"},
          Case{{"--fs", "3000000000"}, "サンプリング周波数には正の整数を設定してください！"},
          Case{{"--fs", ""}, "サンプリング周波数を設定してください！"},
          Case{{"--range", "abc"}, "入力レンジには半角数字を設定してください！"},
          Case{{"--low", "300", "--high", "300"}, "下限周波数は上限周波数より小さくしてください！"},
          Case{{"--fs", "1000", "--low", "390.625"}, "下限周波数は最大解析周波数より小さくしてください！"}}) {
        SCOPED_TRACE(c.strMessage);
        std::vector<std::string> strArgs = c.strArgs;
        strArgs.push_back(strGood);
        EXPECT_EQ(batch(strArgs), cli::lngExitRefused);
        EXPECT_EQ(strErr.str(), std::string(c.strMessage) + "\n");
        EXPECT_EQ(strOut.str(), "");
    }
    // With the band off its limits are not checked.
    EXPECT_EQ(batch({"--no-band", "--low", "", strGood}), cli::lngExitAnalysed);
}

TEST_F(BatchFixture, RelativeNamesAndCollidingBasePaths)
{
    writeSamples("a.csv", 1024);
    writeSamples("a.txt", 1024);
    const auto pathOld = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    const int lngStatus = batch({"--no-band", "--no-wave", "a.csv", "a.txt"});
    std::filesystem::current_path(pathOld);
    EXPECT_EQ(lngStatus, cli::lngExitRefused);
    EXPECT_EQ(strOut.str(), dir.file("a") + "_SPC.csv\n");
    EXPECT_NE(strErr.str().find("a.txt: refused"), std::string::npos) << strErr.str();
    EXPECT_TRUE(std::filesystem::exists(dir.file("a_SPC.csv")));
}

TEST_F(BatchFixture, AnInputNamedLikeItsWaveOutputIsNeverReplaced)
{
    const std::string strIn = writeSamples("rec.wav", 1024);
    const std::string strBefore = testing::readBytes(strIn);
    EXPECT_EQ(batch({strIn}), cli::lngExitFailed);
    EXPECT_EQ(testing::readBytes(strIn), strBefore);
    EXPECT_EQ(strOut.str(), "");
    EXPECT_NE(strErr.str().find("error 75"), std::string::npos) << strErr.str();
}

} // namespace
} // namespace kestrix
