// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "support/csv_lines.h"
#include "support/expect_failure.h"
#include "support/fakes.h"
#include "ui/error_report.h"
#include "ui/run_dialogue.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>

namespace kestrix::ui {
namespace {

using engine::ControlContents;
using engine::generalNumberText;
using engine::numericValue;
using engine::ParameterReading;
using engine::readAnalysisParameters;
using platform::MessageStyle;
using testing::FakePlatformUi;
using testing::MemoryTextFiles;
using testing::ScriptedClock;

const std::chrono::sys_seconds dtTen{std::chrono::hours(10)};

std::string linesOf(const std::vector<double>& dblValues)
{
    std::string strText;
    for (const double dblValue : dblValues) {
        strText += generalNumberText(dblValue) + "\r\n";
    }
    return strText;
}

// A window's worth of state around one run: the control contents (start-up values), scripted
// services, files in memory and the two program-wide values.
struct RunFixture : ::testing::Test
{
    RunFixture()
    {
        globals.dblPI = engine::computePI();
        clock.readings = {dtTen, dtTen + std::chrono::seconds(1)};
    }
    bool runWith(const std::string& strFile)
    {
        ui.choices.push_back(strFile);
        return run.FFT_Main();
    }
    std::vector<std::string> messageTexts() const
    {
        return ui.messageTexts();
    }

    ControlContents controls;
    FakePlatformUi ui;
    MemoryTextFiles files;
    ScriptedClock clock;
    engine::GlobalDefine globals;
    AnalysisRun run{controls, ui, files, clock, globals};
};

std::vector<double> constantSamples(std::size_t lngCount, double dblValue)
{
    return std::vector<double>(lngCount, dblValue);
}

TEST_F(RunFixture, SuccessfulRunWritesEveryFileInOrderAndReportsTheElapsedTime)
{
    files.files["/meas/motor.csv"] = linesOf(constantSamples(1024, 1000));
    EXPECT_TRUE(runWith("/meas/motor.csv"));
    EXPECT_EQ(files.written,
              (std::vector<std::string>{"/meas/motor_SPC.csv", "/meas/motor_BAND_SPC.csv", "/meas/motor_BAND_WAVE.csv",
                                        "/meas/motor_BAND.wav", "/meas/motor.wav"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].strText, "経過時間 ： 00:00:01");
    EXPECT_EQ(ui.messages[0].style, MessageStyle::OkOnly);
    EXPECT_FALSE(ui.messages[0].strTitle);
    EXPECT_EQ(globals.strLastFileName, "/meas/motor.csv");
    EXPECT_EQ(files.files["/meas/motor.wav"].size(), 2092u);
    EXPECT_EQ(testing::splitCrLfLines(files.files["/meas/motor_BAND_WAVE.csv"]).size(), 1024u);
}

TEST_F(RunFixture, AsksForTheFileWithTheRunsTitleFilterFlagsAndLastName)
{
    files.files["/a/first.csv"] = linesOf(constantSamples(1024, 1));
    EXPECT_TRUE(runWith("/a/first.csv"));
    ui.choices.push_back(std::nullopt); // cancel
    EXPECT_FALSE(run.FFT_Main());
    ASSERT_EQ(ui.requests.size(), 2u);
    EXPECT_EQ(ui.requests[0].strInitialFileName, "");
    EXPECT_EQ(ui.requests[0].strTitle, "CSVファイル読み込み");
    EXPECT_EQ(ui.requests[0].strFilter, "CSVファイル (*.csv)|*.csv");
    EXPECT_EQ(ui.requests[0].lngFlags, 4108);
    EXPECT_TRUE(ui.requests[0].blnCancelError);
    EXPECT_EQ(ui.requests[1].strInitialFileName, "/a/first.csv");
    // The cancel shows nothing and keeps the remembered path.
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(globals.strLastFileName, "/a/first.csv");
}

TEST_F(RunFixture, BandLimitChecksRefuseInTheirOrderBeforeAnyDialog)
{
    struct Case
    {
        const char* strLow;
        const char* strHigh;
        const char* strSampFreq;
        const char* strMessage;
    };
    for (const Case& c : {
             Case{"", "800", "1024", "下限周波数を設定してください！"},
             Case{" ", "", "1024", "下限周波数には半角数字を設定してください！"},
             Case{"abc", "x", "1024", "下限周波数には半角数字を設定してください！"},
             Case{"-1", "800", "1024", "下限周波数には 0 以上の実数を設定してください！"},
             Case{"200", "", "1024", "上限周波数を設定してください！"},
             Case{"200", "8OO", "1024", "上限周波数には半角数字を設定してください！"},
             Case{"0", "0", "1024", "上限周波数には正の実数を設定してください！"},
             Case{"0", "0.0001", "1024", "上限周波数には正の実数を設定してください！"},
             Case{"5.0004", "5.0001", "1024", "下限周波数は上限周波数より小さくしてください！"},
             Case{"300", "300", "1024", "下限周波数は上限周波数より小さくしてください！"},
             Case{"390.625", "5000", "1000", "下限周波数は最大解析周波数より小さくしてください！"},
         }) {
        SCOPED_TRACE(c.strMessage);
        ControlContents contents;
        contents.strLowFreq = c.strLow;
        contents.strHighFreq = c.strHigh;
        contents.strSampFreq = c.strSampFreq;
        FakePlatformUi refusingUi;
        AnalysisRun refusingRun(contents, refusingUi, files, clock, globals);
        EXPECT_FALSE(refusingRun.FFT_Main());
        ASSERT_EQ(refusingUi.messages.size(), 1u);
        EXPECT_EQ(refusingUi.messages[0].strText, c.strMessage);
        EXPECT_EQ(refusingUi.messages[0].style, MessageStyle::Exclamation);
        EXPECT_FALSE(refusingUi.messages[0].strTitle);
        EXPECT_TRUE(refusingUi.requests.empty());
    }
}

TEST_F(RunFixture, AcceptedBandLimitsAndTheBandSwitchOff)
{
    // Lower limit 0 and an upper limit far above the analysis range are accepted.
    controls.strSampFreq = "1000";
    controls.strLowFreq = "0";
    controls.strHighFreq = "5000";
    ParameterReading reading = readAnalysisParameters(controls);
    EXPECT_EQ(reading.strRefusal, "");
    EXPECT_EQ(reading.params.dblHighFreq, 5000.0);

    // With the band off the limit texts are never looked at, and no band file is written.
    struct Watching : ControlContents
    {
        int lngBandTextReads = 0;
        std::string lowFreqText() override
        {
            ++lngBandTextReads;
            return "garbage";
        }
        std::string highFreqText() override
        {
            ++lngBandTextReads;
            return "";
        }
    } watching;
    watching.intBand = 0;
    files.files["/m/x.csv"] = linesOf(constantSamples(1024, 3));
    files.files["/m/x_BAND_SPC.csv"] = "earlier";
    FakePlatformUi watchingUi;
    watchingUi.choices.push_back("/m/x.csv");
    AnalysisRun bandOff(watching, watchingUi, files, clock, globals);
    EXPECT_TRUE(bandOff.FFT_Main());
    EXPECT_EQ(watching.lngBandTextReads, 0);
    EXPECT_EQ(files.written, (std::vector<std::string>{"/m/x_SPC.csv", "/m/x.wav"}));
    EXPECT_EQ(files.files["/m/x_BAND_SPC.csv"], "earlier");
}

TEST_F(RunFixture, ParameterFailureGetsTheRunsOwnErrorReport)
{
    controls.strMaxVolt = "abc";
    EXPECT_FALSE(run.FFT_Main());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].strText, "Error In FFT_Main()");
    EXPECT_EQ(ui.messages[0].strTitle, std::optional<std::string>("ABNORMAL"));
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Exclamation);
    EXPECT_EQ(ui.messages[1].strText.rfind("Error Code :  13Kestrix\r\n", 0), 0u) << ui.messages[1].strText;
    EXPECT_EQ(ui.messages[1].style, MessageStyle::OkOnly);
    EXPECT_TRUE(ui.requests.empty());

    controls.strMaxVolt = "5";
    controls.strSampFreq = "3e9";
    ui.messages.clear();
    EXPECT_FALSE(run.FFT_Main());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].strText.rfind("Error Code :  6Kestrix\r\n", 0), 0u) << ui.messages[1].strText;

    // A band limit whose three-decimal rounding lies beyond the double range is refused as out of its
    // range; it never becomes whatever lay in memory.
    controls.strSampFreq = "1024";
    controls.strHighFreq = "1.7976931348623157e308";
    ui.messages.clear();
    EXPECT_FALSE(run.FFT_Main());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].strText, "上限周波数には正の実数を設定してください！");
    EXPECT_TRUE(ui.requests.empty());
}

TEST_F(RunFixture, DataCountRefusalNamesBothCountsAndWritesNothing)
{
    struct Case
    {
        std::string strContent;
        const char* strCounts;
    };
    std::string strHeading = "value\r\n" + linesOf(constantSamples(2000, 5));
    std::string strBlankInside = linesOf(constantSamples(10, 1)) + "\r\n" + linesOf(constantSamples(1100, 1));
    for (const Case& c : {Case{"", "0"}, Case{linesOf(constantSamples(500, 1)), "500"}, Case{strHeading, "1023"},
                          Case{strBlankInside, "1023"}, Case{"1,2\r\n" + linesOf(constantSamples(1023, 1)), "1023"}}) {
        SCOPED_TRACE(c.strCounts);
        files.files["/d/in.csv"] = c.strContent;
        files.written.clear();
        ui.messages.clear();
        EXPECT_FALSE(runWith("/d/in.csv"));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].strText, std::string("ファイルのデータ数が不足しています！\r\nファイルデータ数 = ") +
                                              c.strCounts + "\r\nサンプリング点数 = 1024");
        EXPECT_EQ(ui.messages[0].style, MessageStyle::Exclamation);
        EXPECT_TRUE(files.written.empty());
        EXPECT_EQ(globals.strLastFileName, "/d/in.csv");
    }
}

TEST_F(RunFixture, ReadsOnlyTheFirstBlockAndAnyExtension)
{
    // Text after the first 1024 lines, a blank line after them, no line end at the last line,
    // values outside the 16-bit range and fractions: all accepted.
    std::string strContent = linesOf(constantSamples(1023, 40000.25)) + "-7.5\r\n\r\nnot a number\r\n";
    files.files["/d/motor.test.dat"] = strContent;
    EXPECT_TRUE(runWith("/d/motor.test.dat"));
    EXPECT_EQ(files.written.front(), "/d/motor.test_SPC.csv");

    files.files["/d/exact.csv"] = linesOf(constantSamples(1023, 2)) + "2";
    EXPECT_TRUE(runWith("/d/exact.csv"));
}

TEST_F(RunFixture, SpectrumFileOfAConstantHasExactLinesForFs1000)
{
    controls.strSampFreq = "1000";
    controls.intBand = 0;
    controls.intWave = 0;
    files.files["/s/c.csv"] = linesOf(constantSamples(1024, 1000));
    ASSERT_TRUE(runWith("/s/c.csv"));
    const std::vector<std::string> strLines = testing::splitCrLfLines(files.files["/s/c_SPC.csv"]);
    ASSERT_EQ(strLines.size(), 401u);
    // 4 x 1000 counts on the 0 Hz line, times 5 V / 32767.
    EXPECT_EQ(strLines[0], "0,0.610370189519944");
    EXPECT_EQ(strLines[1], "0.9765625,0");
    EXPECT_EQ(strLines[2], "1.953125,0");
    EXPECT_EQ(strLines[400], "390.625,0");
}

TEST_F(RunFixture, SpectrumFileOfAToneHasItsPeakAndExponentFormElsewhere)
{
    controls.strMaxVolt = "10";
    controls.intBand = 0;
    std::vector<double> dblTone(1024);
    for (std::size_t t = 0; t < dblTone.size(); ++t) {
        dblTone[t] = 32767 * std::cos(2 * globals.dblPI * 100 * static_cast<double>(t) / 1024);
    }
    std::string strContent;
    for (const double dblValue : dblTone) {
        char chrText[32];
        const auto result = std::to_chars(chrText, chrText + sizeof chrText, dblValue); // full precision
        strContent.append(chrText, result.ptr) += "\n";
    }
    files.files["/t/tone.csv"] = strContent;
    ASSERT_TRUE(runWith("/t/tone.csv"));
    const std::vector<std::string> strLines = testing::splitCrLfLines(files.files["/t/tone_SPC.csv"]);
    ASSERT_EQ(strLines.size(), 401u);
    for (std::size_t i = 0; i < strLines.size(); ++i) {
        const auto lngComma = strLines[i].find(',');
        ASSERT_NE(lngComma, std::string::npos);
        EXPECT_EQ(strLines[i].substr(0, lngComma), std::to_string(i));
        const std::string strVolts = strLines[i].substr(lngComma + 1);
        const double dblVolts = *numericValue(strVolts);
        if (i == 100) {
            EXPECT_NEAR(dblVolts, 20.0, 1e-9);
        } else {
            EXPECT_LT(dblVolts, 1e-9) << i;
            EXPECT_TRUE(dblVolts == 0 || strVolts.find("E-") != std::string::npos) << strVolts;
        }
    }
}

TEST_F(RunFixture, RefusesToOverwriteAnInputNamedLikeAnOutput)
{
    files.files["/w/rec.wav"] = linesOf(constantSamples(1024, 1));
    testing::expectFailure(err::lngPathFileAccess, [&] { runWith("/w/rec.wav"); });
    EXPECT_TRUE(files.written.empty());
    EXPECT_EQ(files.files["/w/rec.wav"], linesOf(constantSamples(1024, 1)));

    // Without Wave output the same file is analysed.
    controls.intWave = 0;
    EXPECT_TRUE(runWith("/w/rec.wav"));
}

TEST_F(RunFixture, FailureOfALaterFileKeepsTheEarlierOnesAndShowsNoElapsedTime)
{
    files.files["/f/in.csv"] = linesOf(constantSamples(1024, 7));
    files.failingPaths["/f/in_BAND_WAVE.csv"] = err::lngPermissionDenied;
    testing::expectFailure(err::lngPermissionDenied, [&] { runWith("/f/in.csv"); });
    EXPECT_EQ(files.written, (std::vector<std::string>{"/f/in_SPC.csv", "/f/in_BAND_SPC.csv"}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(globals.strLastFileName, "/f/in.csv");
    EXPECT_FALSE(run.lastSpectra());

    // A missing file after the choice is a failure for the caller too.
    testing::expectFailure(err::lngFileNotFound, [&] { runWith("/f/gone.csv"); });
}

TEST_F(RunFixture, NonFiniteResultsNeverReachAFile)
{
    controls.intBand = 0;
    files.files["/o/huge.csv"] = linesOf(constantSamples(1024, 1e305));
    testing::expectFailure(err::lngOverflow, [&] { runWith("/o/huge.csv"); });
    EXPECT_TRUE(files.written.empty());
}

TEST(ElapsedTime, WholeSecondsAsATimeOfDay)
{
    using std::chrono::seconds;
    const std::chrono::sys_seconds dtStart{seconds(1000)};
    EXPECT_EQ(elapsedTimeText(dtStart, dtStart), "00:00:00");
    EXPECT_EQ(elapsedTimeText(dtStart, dtStart + seconds(1)), "00:00:01");
    EXPECT_EQ(elapsedTimeText(dtStart, dtStart + seconds(3 * 3600 + 25 * 60 + 7)), "03:25:07");
    EXPECT_EQ(elapsedTimeText(dtStart, dtStart + seconds(25 * 3600)), "01:00:00");
}

} // namespace
} // namespace kestrix::ui

namespace kestrix::ui {
namespace {

TEST(ErrorReport, BlankOrMinusBeforeTheNumberAndTheSourceRightAfterIt)
{
    EXPECT_EQ(errorReportHeading("cmdFFT_Click"), "Error In cmdFFT_Click()");
    EXPECT_EQ(errorReportDetail(KestrixError(6, "Overflow")), "Error Code :  6Kestrix\r\nOverflow");
    EXPECT_EQ(errorReportDetail(KestrixError(53, "File not found", "Scripting")),
              "Error Code :  53Scripting\r\nFile not found");
    EXPECT_EQ(errorReportDetail(KestrixError(-2147, "Odd", "X")), "Error Code : -2147X\r\nOdd");
}

} // namespace
} // namespace kestrix::ui
