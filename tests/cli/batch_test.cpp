// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch.h"
#include "platform/std/std_text_files.h"
#include "support/fifo.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace kestrix {
namespace {

using testing::TempDir;

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
    EXPECT_EQ(strErr.str(),
              "kestrix-batch: " + strShort +
                  ": ファイルのデータ数が不足しています！\nファイルデータ数 = 500\nサンプリング点数 = 1024\n");
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

// Each refusal names the option and the text typed (both band limits where they are compared), then
// gives the window's own message.
TEST_F(BatchFixture, EntriesAreCheckedOnceBeforeAnyFile)
{
    const std::string strGood = writeSamples("good.csv", 1024);
    struct Case
    {
        std::vector<std::string> strArgs;
        const char* strSubject;
        const char* strMessage;
    };
    for (const Case& c :
         {Case{{"--fs", "0.4"}, "--fs 0.4", "サンプリング周波数には正の整数を設定してください！"},
          Case{{"--fs", "abc"}, "--fs abc", "サンプリング周波数には半角数字を設定してください！"},
          Case{{"--fs", "3000000000"}, "--fs 3000000000", "サンプリング周波数には正の整数を設定してください！"},
          Case{{"--fs", ""}, "--fs \"\"", "サンプリング周波数を設定してください！"},
          Case{{"--range", "abc"}, "--range abc", "入力レンジには半角数字を設定してください！"},
          Case{{"--low", "300", "--high", "300"},
               "--low 300, --high 300",
               "下限周波数は上限周波数より小さくしてください！"},
          Case{{"--fs", "1000", "--low", "390.625"},
               "--low 390.625",
               "下限周波数は最大解析周波数より小さくしてください！"},
          Case{{"--low", "x", "--high", "y"}, "--low x", "下限周波数には半角数字を設定してください！"},
          Case{{"--high", "-5"}, "--high -5", "上限周波数には正の実数を設定してください！"},
          Case{{"--fs", "100", "--high", "-5"}, "--high -5", "上限周波数には正の実数を設定してください！"},
          // Found by fuzzing: these went through, the first with an all-zero spectrum.
          Case{{"--range", "1.7976931348623157e308"},
               "--range 1.7976931348623157e308",
               "入力レンジには正の実数を設定してください！"},
          Case{{"--range", "-1.7976931348623157e308"},
               "--range -1.7976931348623157e308",
               "入力レンジには正の実数を設定してください！"},
          Case{{"--low", "1.7976931348623157e308"},
               "--low 1.7976931348623157e308",
               "下限周波数には 0 以上の実数を設定してください！"}}) {
        SCOPED_TRACE(c.strMessage);
        std::vector<std::string> strArgs = c.strArgs;
        strArgs.push_back(strGood);
        EXPECT_EQ(batch(strArgs), cli::lngExitRefused);
        EXPECT_EQ(strErr.str(), "kestrix-batch: " + std::string(c.strSubject) + ": " + c.strMessage + "\n");
        EXPECT_EQ(strOut.str(), "");
    }
    // With the band off its limits are not checked.
    EXPECT_EQ(batch({"--no-band", "--low", "", strGood}), cli::lngExitAnalysed);
}

// Entries are taken in the window's normal form; where its value differs from the one typed, the batch
// says so on standard error (and goes on), in both analyses. Another spelling of the same value is no
// change.
TEST_F(BatchFixture, EntriesTakenInAnotherFormThanTypedAreNoted)
{
    const std::string strGood = writeSamples("good.csv", 2048);
    EXPECT_EQ(batch({"--fs", "1000.5", "--range", "0.0025", "--low", "200.0004", "--no-wave", strGood}),
              cli::lngExitAnalysed);
    EXPECT_EQ(strErr.str(), "kestrix-batch: --fs 1000.5 is taken as 1001 (the sampling frequency is a whole number of "
                            "Hz)\n"
                            "kestrix-batch: --range 0.0025 is taken as 0.003 (the input range keeps three decimals)\n"
                            "kestrix-batch: --low 200.0004 is taken as 200 (the band limits keep three decimals)\n");
    EXPECT_EQ(batch({"--average", "--range", "0.0014", strGood}), cli::lngExitAnalysed);
    EXPECT_EQ(strErr.str(), "kestrix-batch: --range 0.0014 is taken as 0.001 (the input range keeps three decimals)\n");
    EXPECT_EQ(batch({"--fs", "1e3", "--range", "5.000", "--high", " 800 ", "--no-wave", strGood}),
              cli::lngExitAnalysed);
    EXPECT_EQ(strErr.str(), "");
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

// "link/../rec.csv" names the rec.csv above the link's target; the lexical normal form "rec.csv" beside
// the link is another file, which was analysed instead. Two spellings of one output are still one.
TEST_F(BatchFixture, APathThroughALinkIsTheFileTheSystemOpens)
{
    std::filesystem::create_directories(dir.file("real/sub"));
    std::error_code ec;
    std::filesystem::create_directory_symlink(dir.file("real/sub"), dir.file("link"), ec);
    if (ec) {
        GTEST_SKIP() << "no symbolic links here: " << ec.message(); // Wine, Windows without the privilege
    }
    writeSamples("real/rec.csv", 1024);
    testing::writeBytes(dir.file("rec.csv"), "not what was asked for\r\n");
    const std::string strThroughLink = dir.file("link/../rec.csv");
    EXPECT_EQ(batch({"--no-band", "--no-wave", strThroughLink, dir.file("real/./rec.csv")}), cli::lngExitRefused);
    EXPECT_EQ(strOut.str(), dir.file("link/../rec_SPC.csv") + "\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("real/rec_SPC.csv")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("rec_SPC.csv")));
    EXPECT_NE(strErr.str().find("real/./rec.csv: refused: its output file " + dir.file("real/rec_SPC.csv")),
              std::string::npos)
        << strErr.str();
    EXPECT_EQ(batch({"--average", strThroughLink}), cli::lngExitAnalysed) << strErr.str();
    EXPECT_TRUE(std::filesystem::exists(dir.file("real/rec_AVG_SPC.csv")));
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

// Found by fuzzing: the batch failed (exit 3, input past end) on a file of a byte-order mark alone.
TEST_F(BatchFixture, AFileOfOnlyAByteOrderMarkIsRefusedForItsDataCount)
{
    const std::string strPath = dir.file("bom.csv");
    testing::writeBytes(strPath, "\xEF\xBB\xBF");
    EXPECT_EQ(batch({"--no-band", "--no-wave", strPath}), cli::lngExitRefused);
    EXPECT_NE(strErr.str().find("ファイルデータ数 = 0"), std::string::npos) << strErr.str();
    EXPECT_EQ(strErr.str().find("error"), std::string::npos) << strErr.str();
    EXPECT_EQ(strOut.str(), "");
}

TEST_F(BatchFixture, EveryMessageAboutAFileNamesIt)
{
    const std::string strShort = writeSamples("short.csv", 300);
    const std::string strGood = writeSamples("good.csv", 1024);
    EXPECT_EQ(batch({"--no-band", "--no-wave", strShort, dir.file("gone.csv"), strGood}), cli::lngExitFailed);
    const std::string strMessages = strErr.str();
    EXPECT_EQ(strMessages.find("kestrix-batch: " + strShort + ": ファイルのデータ数が不足しています！\n"), 0u)
        << strMessages;
    EXPECT_NE(strMessages.find("kestrix-batch: " + dir.file("gone.csv") + ": error 53"), std::string::npos)
        << strMessages;
    EXPECT_EQ(strOut.str(), dir.file("good") + "_SPC.csv\n");
}

TEST_F(BatchFixture, AFifoOrAFolderIsRefusedAtOnceInsteadOfAwaited)
{
    const std::string strFifo = dir.file("pipe.csv");
    if (!testing::makeFifo(strFifo)) {
        GTEST_SKIP() << "no FIFOs in this system's file system";
    }
    const std::string strFolder = dir.file("folder.csv");
    std::filesystem::create_directory(strFolder);
    const std::string strGood = writeSamples("good.csv", 1024);
    // Nobody writes to the FIFO: reading it would wait for ever (the test's time limit catches that).
    EXPECT_EQ(batch({"--no-band", "--no-wave", strFifo, strFolder, strGood}), cli::lngExitRefused);
    EXPECT_EQ(strErr.str(), "kestrix-batch: " + strFifo + ": refused: a FIFO, not a regular file\n" +
                                "kestrix-batch: " + strFolder + ": refused: a folder, not a regular file\n");
    EXPECT_EQ(strOut.str(), dir.file("good") + "_SPC.csv\n");
}

} // namespace
} // namespace kestrix
