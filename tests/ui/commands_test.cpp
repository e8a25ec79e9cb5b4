// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

namespace kestrix::testing {
namespace {

using platform::MessageStyle;

class RunTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        strInput = folder.filePath("motor.csv");
        // A 100 Hz tone of 1024 samples at 1024 Hz, in converter counts.
        QFile file(strInput);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1024; ++i) {
            const long lngCount = std::lround(10000 * std::sin(2 * std::numbers::pi * 100 * i / 1024.0));
            file.write(QByteArray::number(static_cast<qlonglong>(lngCount)) + "\r\n");
        }
    }

    void clickFft()
    {
        QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    }

    std::vector<std::string> messageTexts() const
    {
        return fakeUi.messageTexts();
    }

    QTemporaryDir folder;
    QString strInput;
};

TEST_F(RunTest, WholeRunWritesTheFilesAndAnnouncesItsEnd)
{
    fakeUi.choices = {strInput.toStdString()};
    clickFft();

    ASSERT_EQ(messageTexts(), (std::vector<std::string>{"経過時間 ： 00:00:02", "FFT 終了！"}));
    for (const ShownMessage& message : fakeUi.messages) {
        EXPECT_EQ(message.style, MessageStyle::OkOnly);
        EXPECT_FALSE(message.strTitle.has_value());
    }
    EXPECT_TRUE(fakeUi.messages[0].blnBusyPointer);
    EXPECT_FALSE(fakeUi.messages[1].blnBusyPointer) << "the pointer must be back before the end message";
    EXPECT_EQ(fakeUi.blnBusyChanges, (std::vector<bool>{true, false}));

    ASSERT_EQ(fakeUi.requests.size(), 1U);
    const platform::OpenFileRequest& request = fakeUi.requests[0];
    EXPECT_EQ(request.strTitle, "CSVファイル読み込み");
    EXPECT_EQ(request.strFilter, "CSVファイル (*.csv)|*.csv");
    EXPECT_TRUE(request.strInitialFileName.empty());
    EXPECT_TRUE(request.blnCancelError);

    QFile spectrum(folder.filePath("motor_SPC.csv"));
    ASSERT_TRUE(spectrum.open(QIODevice::ReadOnly));
    EXPECT_EQ(spectrum.readAll().count("\r\n"), 401);
    for (const char* strName : {"motor_BAND_SPC.csv", "motor_BAND_WAVE.csv"}) {
        EXPECT_GT(QFileInfo(folder.filePath(strName)).size(), 0) << strName;
    }
    for (const char* strName : {"motor_BAND.wav", "motor.wav"}) {
        EXPECT_EQ(QFileInfo(folder.filePath(strName)).size(), 2092) << strName;
    }
    EXPECT_EQ(window->globalDefine().strLastFileName, strInput.toStdString());

    // The next run offers the file just analysed.
    clickFft();
    ASSERT_EQ(fakeUi.requests.size(), 2U);
    EXPECT_EQ(fakeUi.requests[1].strInitialFileName, strInput.toStdString());
}

TEST_F(RunTest, CancelledChoiceEndsSilently)
{
    clickFft();
    EXPECT_EQ(fakeUi.requests.size(), 1U);
    EXPECT_TRUE(fakeUi.messages.empty());
    EXPECT_EQ(fakeUi.blnBusyChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("motor_SPC.csv")));
    EXPECT_TRUE(window->globalDefine().strLastFileName.empty());
}

TEST_F(RunTest, BandLimitRefusalShowsItsMessageOnly)
{
    typeInto("txtLowFreq", "");
    clickFft();
    ASSERT_EQ(messageTexts(), std::vector<std::string>{"下限周波数を設定してください！"});
    EXPECT_EQ(fakeUi.messages[0].style, MessageStyle::Exclamation);
    EXPECT_TRUE(fakeUi.requests.empty());
    EXPECT_FALSE(fakeUi.blnBusy);
}

TEST_F(RunTest, UnwritableOutputGivesTheErrorReportAndTheNextRunWorks)
{
    // A folder where the spectrum file belongs cannot be replaced, whoever runs the test.
    ASSERT_TRUE(QDir(folder.path()).mkdir("motor_SPC.csv"));
    fakeUi.choices = {strInput.toStdString(), strInput.toStdString()};
    clickFft();

    ASSERT_EQ(fakeUi.messages.size(), 2U);
    EXPECT_EQ(fakeUi.messages[0].strText, "Error In cmdFFT_Click()");
    EXPECT_EQ(fakeUi.messages[0].style, MessageStyle::Exclamation);
    EXPECT_EQ(fakeUi.messages[0].strTitle, "ABNORMAL");
    EXPECT_FALSE(fakeUi.messages[0].blnBusyPointer);
    EXPECT_TRUE(fakeUi.messages[1].strText.starts_with("Error Code : ")) << fakeUi.messages[1].strText;
    EXPECT_NE(fakeUi.messages[1].strText.find("Kestrix\r\n"), std::string::npos) << fakeUi.messages[1].strText;
    EXPECT_EQ(fakeUi.messages[1].style, MessageStyle::OkOnly);
    EXPECT_FALSE(fakeUi.messages[1].strTitle.has_value());
    EXPECT_FALSE(fakeUi.blnBusy);

    ASSERT_TRUE(QDir(folder.path()).rmdir("motor_SPC.csv"));
    fakeUi.messages.clear();
    clickFft();
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"経過時間 ： 00:00:02", "FFT 終了！"}));
    EXPECT_TRUE(QFileInfo(folder.filePath("motor_SPC.csv")).isFile());
}

TEST_F(RunTest, TooFewSamplesIsARefusalWithoutEndMessage)
{
    auto* cboNumSamp = find<QComboBox>("cboNumSamp");
    cboNumSamp->setFocus();
    QTest::keyClick(cboNumSamp, Qt::Key_Down);
    ASSERT_EQ(cboNumSamp->currentText(), "2048");
    fakeUi.choices = {strInput.toStdString()};
    clickFft();
    ASSERT_EQ(fakeUi.messages.size(), 1U);
    EXPECT_EQ(fakeUi.messages[0].style, MessageStyle::Exclamation);
    EXPECT_NE(fakeUi.messages[0].strText, "FFT 終了！");
    EXPECT_FALSE(fakeUi.blnBusy);
}

} // namespace
} // namespace kestrix::testing
