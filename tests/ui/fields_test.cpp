// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include <QLabel>
#include <QWheelEvent>

namespace kestrix::testing {
namespace {

using platform::MessageStyle;

struct Refusal
{
    const char* strEntry;
    const char* strMessage;
};

// The three ways of leaving a field that take part in its check.
enum class Leave { Tab, ClickField, ClickFft };

class FieldRefusalTest : public WindowTest
{
protected:
    void expectRefused(const char* strField, const Refusal& refusal, Leave leave)
    {
        SCOPED_TRACE(std::string(strField) + " <- \"" + refusal.strEntry + "\"");
        fakeUi.messages.clear();
        typeInto(strField, QString::fromUtf8(refusal.strEntry));
        switch (leave) {
        case Leave::Tab:
            pressTab();
            break;
        case Leave::ClickField:
            QTest::mouseClick(field("txtLowFreq"), Qt::LeftButton);
            break;
        case Leave::ClickFft:
            QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
            break;
        }
        ASSERT_EQ(fakeUi.messages.size(), 1U);
        EXPECT_EQ(fakeUi.messages[0].strText, refusal.strMessage);
        EXPECT_EQ(fakeUi.messages[0].style, MessageStyle::Exclamation);
        EXPECT_FALSE(fakeUi.messages[0].strTitle.has_value());
        EXPECT_EQ(field(strField)->text(), QString::fromUtf8(refusal.strEntry));
        EXPECT_EQ(focusName(), strField);
        EXPECT_TRUE(fakeUi.requests.empty()) << "a refused entry started a run";
        EXPECT_EQ(field("txtMaxAnaFreq")->text(), "400");
        EXPECT_EQ(field("txtDeltaFreq")->text(), "1.000");
    }
};

TEST_F(FieldRefusalTest, SamplingFrequencyRefusesWithItsThreeMessagesInOrder)
{
    const std::vector<Refusal> refusals = {
        {"", "サンプリング周波数を設定してください！"},
        {" ", "サンプリング周波数には半角数字を設定してください！"},
        {"abc", "サンプリング周波数には半角数字を設定してください！"},
        {"１０２４", "サンプリング周波数には半角数字を設定してください！"},
        {"0.4", "サンプリング周波数には正の整数を設定してください！"},
        {"-5", "サンプリング周波数には正の整数を設定してください！"},
        {"2147483648", "サンプリング周波数には正の整数を設定してください！"},
    };
    for (const Refusal& refusal : refusals) {
        for (const Leave leave : {Leave::Tab, Leave::ClickField, Leave::ClickFft}) {
            expectRefused("txtSampFreq", refusal, leave);
        }
    }
}

TEST_F(FieldRefusalTest, InputRangeRefusesWithItsThreeMessagesInOrder)
{
    const std::vector<Refusal> refusals = {
        {"", "入力レンジを設定してください！"},
        {"5V", "入力レンジには半角数字を設定してください！"},
        {"0.0004", "入力レンジには正の実数を設定してください！"},
        {"-1", "入力レンジには正の実数を設定してください！"},
    };
    for (const Refusal& refusal : refusals) {
        for (const Leave leave : {Leave::Tab, Leave::ClickField, Leave::ClickFft}) {
            expectRefused("txtMaxVolt", refusal, leave);
        }
    }
}

TEST_F(WindowTest, AcceptedSamplingFrequencyRewritesTheDerivedFields)
{
    struct Case
    {
        const char* strEntry;
        const char* strNormal;
        const char* strMaxAnaFreq;
        const char* strDeltaFreq; // with 1024 points
    };
    const std::vector<Case> cases = {{"2.5", "3", "1.17", "0.003"},   {"1000", "1000", "390.63", "0.977"},
                                     {"64", "64", "25", "0.063"},     {" 1e3 ", "1000", "390.63", "0.977"},
                                     {"107", "107", "41.8", "0.105"}, {"1024", "1024", "400", "1.000"}};
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.strEntry);
        typeInto("txtSampFreq", entry.strEntry);
        pressTab();
        EXPECT_EQ(focusName(), "cboNumSamp");
        EXPECT_EQ(field("txtSampFreq")->text(), entry.strNormal);
        EXPECT_EQ(field("txtMaxAnaFreq")->text(), entry.strMaxAnaFreq);
        EXPECT_EQ(field("txtDeltaFreq")->text(), entry.strDeltaFreq);
    }
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(WindowTest, ListChangesRewriteTheResolution)
{
    struct Case
    {
        const char* strSampFreq;
        int intDownPresses; // from 1024 points
        const char* strDeltaFreq;
    };
    // 171 Hz with 2048 points tells the unrounded maximum (0.083) from the two-decimal one (0.084).
    const std::vector<Case> cases = {
        {"1000", 1, "0.488"}, {"1000", 6, "0.015"}, {"1024", 6, "0.016"}, {"171", 1, "0.083"}};
    auto* cboNumSamp = find<QComboBox>("cboNumSamp");
    for (const Case& entry : cases) {
        SCOPED_TRACE(std::string(entry.strSampFreq) + " Hz, " + std::to_string(entry.intDownPresses) + " down");
        typeInto("txtSampFreq", entry.strSampFreq);
        pressTab();
        ASSERT_EQ(focusName(), "cboNumSamp");
        QTest::keyClick(cboNumSamp, Qt::Key_Home);
        for (int i = 0; i < entry.intDownPresses; ++i) {
            QTest::keyClick(cboNumSamp, Qt::Key_Down);
        }
        EXPECT_EQ(field("txtDeltaFreq")->text(), entry.strDeltaFreq);
        pressTab();
        EXPECT_EQ(focusName(), "txtMaxVolt");
        EXPECT_EQ(field("txtDeltaFreq")->text(), entry.strDeltaFreq);
    }
    EXPECT_EQ(field("txtMaxAnaFreq")->text(), "66.8"); // the list leaves it alone
}

TEST_F(WindowTest, LeavingTheListRecomputesTheResolutionFromTheUnroundedMaximum)
{
    typeInto("txtSampFreq", "107");
    pressTab();
    EXPECT_EQ(field("txtDeltaFreq")->text(), "0.105"); // 41.80 / 400
    pressTab();
    EXPECT_EQ(field("txtDeltaFreq")->text(), "0.104"); // 41.796875 / 400
    EXPECT_EQ(field("txtMaxAnaFreq")->text(), "41.8");
}

TEST_F(WindowTest, WheelOverTheListChangesNothingWhileAnotherFieldHasTheFocus)
{
    auto* cboNumSamp = find<QComboBox>("cboNumSamp");
    typeInto("txtSampFreq", "x");
    const QPointF centre = QPointF(cboNumSamp->rect().center());
    QWheelEvent wheel(centre, cboNumSamp->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(cboNumSamp, &wheel);
    EXPECT_EQ(cboNumSamp->currentIndex(), 0);
    EXPECT_EQ(focusName(), "txtSampFreq");
}

TEST_F(WindowTest, AcceptedInputRangeTakesItsNormalForm)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"0.0005", "0.001"}, {"5.0", "5"}, {"2.12345", "2.123"}, {" 1e1", "10"}};
    for (const auto& [strEntry, strNormal] : cases) {
        SCOPED_TRACE(strEntry);
        typeInto("txtMaxVolt", strEntry);
        pressTab();
        EXPECT_EQ(focusName(), "chkWave");
        EXPECT_EQ(field("txtMaxVolt")->text(), strNormal);
    }
    EXPECT_TRUE(fakeUi.messages.empty());
    EXPECT_EQ(field("txtDeltaFreq")->text(), "1.000");
}

TEST_F(WindowTest, ExitButtonClosesWithoutCheckingARefusedEntry)
{
    typeInto("txtSampFreq", "0");
    QTest::mouseClick(find<QPushButton>("cmdEnd"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(WindowTest, CloseBoxClosesWithoutCheckingARefusedEntry)
{
    typeInto("txtMaxVolt", "");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(WindowTest, CheckLeftPendingOnTheExitButtonRunsBeforeTheNextMove)
{
    typeInto("txtSampFreq", "abc");
    QTest::keyClick(field("txtSampFreq"), Qt::Key_Backtab);
    EXPECT_EQ(focusName(), "cmdEnd");
    EXPECT_TRUE(fakeUi.messages.empty());

    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    ASSERT_EQ(fakeUi.messages.size(), 1U);
    EXPECT_EQ(fakeUi.messages[0].strText, "サンプリング周波数には半角数字を設定してください！");
    EXPECT_EQ(focusName(), "txtSampFreq");
    EXPECT_TRUE(fakeUi.requests.empty());
}

TEST_F(WindowTest, ClickOnALabelIsNoMove)
{
    typeInto("txtSampFreq", "abc");
    QTest::mouseClick(find<QLabel>("Label3"), Qt::LeftButton);
    EXPECT_TRUE(fakeUi.messages.empty());
    EXPECT_EQ(focusName(), "txtSampFreq");
}

TEST_F(WindowTest, BandSwitchGreysTheLimitsOutAndBackKeepingTheirTexts)
{
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);
    auto* chkBand = find<QCheckBox>("chkBand");
    for (const bool blnOn : {false, true, false, true}) {
        SCOPED_TRACE(blnOn ? "on" : "off");
        QTest::mouseClick(chkBand, Qt::LeftButton);
        EXPECT_EQ(chkBand->isChecked(), blnOn);
        for (const char* strName : {"lblLowFreq", "txtLowFreq", "lblHighFreq", "txtHighFreq"}) {
            EXPECT_EQ(find<QWidget>(strName)->isEnabled(), blnOn) << strName;
        }
        for (const char* strName : {"txtLowFreq", "txtHighFreq"}) {
            EXPECT_EQ(field(strName)->palette().color(QPalette::Disabled, QPalette::Base),
                      blnOn ? windowBackground : buttonFace);
        }
        EXPECT_EQ(field("txtLowFreq")->text(), "200");
        EXPECT_EQ(field("txtHighFreq")->text(), "800");
    }
}

} // namespace
} // namespace kestrix::testing
