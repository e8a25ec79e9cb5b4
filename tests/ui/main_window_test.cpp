// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include <QLabel>

#include <cmath>

namespace kestrix::testing {
namespace {

QColor baseColour(const QLineEdit* field)
{
    return field->palette().color(QPalette::Active, QPalette::Base);
}

TEST_F(WindowTest, StartsWithTheDefaultsAndTheFocusOnFft)
{
    EXPECT_EQ(window->windowTitle(), "Kestrix");
    EXPECT_EQ(window->objectName(), "frmMain");
    const std::vector<std::pair<const char*, const char*>> strTexts = {
        {"txtSampFreq", "1024"}, {"txtMaxAnaFreq", "400"}, {"txtDeltaFreq", "1.000"},
        {"txtMaxVolt", "5"},     {"txtLowFreq", "200"},    {"txtHighFreq", "800"}};
    for (const auto& [strName, strText] : strTexts) {
        SCOPED_TRACE(strName);
        EXPECT_EQ(field(strName)->text(), QString::fromUtf8(strText));
        EXPECT_TRUE(field(strName)->isEnabled());
    }
    EXPECT_TRUE(field("txtMaxAnaFreq")->isReadOnly());
    EXPECT_TRUE(field("txtDeltaFreq")->isReadOnly());
    EXPECT_FALSE(field("txtSampFreq")->isReadOnly());

    const QComboBox* cboNumSamp = find<QComboBox>("cboNumSamp");
    QStringList strEntries;
    for (int i = 0; i < cboNumSamp->count(); ++i) {
        strEntries << cboNumSamp->itemText(i);
    }
    EXPECT_EQ(strEntries, QStringList({"1024", "2048", "4096", "8192", "16384", "32768", "65536"}));
    EXPECT_EQ(cboNumSamp->currentIndex(), 0);
    EXPECT_FALSE(cboNumSamp->isEditable());

    EXPECT_EQ(find<QCheckBox>("chkBand")->checkState(), Qt::Checked);
    EXPECT_EQ(find<QCheckBox>("chkWave")->checkState(), Qt::Checked);
    EXPECT_TRUE(find<QLabel>("lblLowFreq")->isEnabled());
    EXPECT_TRUE(find<QLabel>("lblHighFreq")->isEnabled());
    EXPECT_EQ(focusName(), "cmdFFT");
    EXPECT_EQ(window->globalDefine().dblPI, std::atan(1.0) * 4);
    EXPECT_TRUE(window->globalDefine().strLastFileName.empty());
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(WindowTest, ShowsTheTextsOfItsControls)
{
    const std::vector<std::pair<const char*, const char*>> strLabels = {
        {"Label1", "サンプリング周波数[Hz]"}, {"Label4", "最大解析周波数[Hz]"}, {"Label2", "サンプリング点数"},
        {"Label5", "周波数分解能[Hz]"},       {"Label3", "入力レンジ（±）[V]"}, {"lblLowFreq", "下限周波数[Hz]"},
        {"lblHighFreq", "上限周波数[Hz]"}};
    for (const auto& [strName, strText] : strLabels) {
        SCOPED_TRACE(strName);
        EXPECT_EQ(find<QLabel>(strName)->text(), QString::fromUtf8(strText));
    }
    EXPECT_EQ(find<QCheckBox>("chkBand")->text(), QString::fromUtf8("バンドパス実行"));
    EXPECT_EQ(find<QCheckBox>("chkWave")->text(), QString::fromUtf8("Waveファイル作成"));
    EXPECT_EQ(find<QPushButton>("cmdFFT")->text(), "FFT");
    EXPECT_EQ(find<QPushButton>("cmdEnd")->text(), QString::fromUtf8("終了"));
}

TEST_F(WindowTest, ReadOnlyFieldsShowTheButtonFaceAndEditableOnesTheWindowBackground)
{
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);
    ASSERT_NE(buttonFace, windowBackground) << "the style gives no way to tell the two apart";
    for (const char* strName : {"txtMaxAnaFreq", "txtDeltaFreq"}) {
        EXPECT_EQ(baseColour(field(strName)), buttonFace) << strName;
    }
    for (const char* strName : {"txtSampFreq", "txtMaxVolt", "txtLowFreq", "txtHighFreq"}) {
        EXPECT_EQ(baseColour(field(strName)), windowBackground) << strName;
    }
}

TEST_F(WindowTest, PlacesTheControlsByTheirTwipsWithoutClippingAnyText)
{
    const double dblPixelsPerTwip = window->logicalDpiX() / 1440.0;
    const auto pixels = [dblPixelsPerTwip](int intTwips) {
        return static_cast<int>(std::lround(intTwips * dblPixelsPerTwip));
    };
    EXPECT_EQ(window->size(), QSize(pixels(6465), pixels(6525)));
    // The fields stand exactly where their twips put them.
    const std::vector<std::pair<const char*, int>> intFieldTops = {{"txtSampFreq", 240},   {"txtMaxAnaFreq", 960},
                                                                   {"txtDeltaFreq", 2280}, {"txtMaxVolt", 3000},
                                                                   {"txtLowFreq", 3960},   {"txtHighFreq", 4440}};
    for (const auto& [strName, intTop] : intFieldTops) {
        SCOPED_TRACE(strName);
        EXPECT_EQ(field(strName)->geometry(), QRect(pixels(3000), pixels(intTop), pixels(1575), pixels(375)));
    }
    // Labels keep their right edge left of their field and share its line; texts fit in any font.
    const std::vector<std::pair<const char*, const char*>> strPairs = {
        {"Label1", "txtSampFreq"},     {"Label4", "txtMaxAnaFreq"}, {"Label2", "cboNumSamp"},
        {"Label5", "txtDeltaFreq"},    {"Label3", "txtMaxVolt"},    {"lblLowFreq", "txtLowFreq"},
        {"lblHighFreq", "txtHighFreq"}};
    for (const auto& [strLabel, strField] : strPairs) {
        SCOPED_TRACE(strLabel);
        const QWidget* label = find<QWidget>(strLabel);
        const QWidget* control = find<QWidget>(strField);
        EXPECT_LT(label->geometry().right(), control->geometry().left());
        EXPECT_TRUE(label->geometry().intersects(QRect(0, control->y(), window->width(), control->height())));
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_GE(label->height(), label->sizeHint().height());
    }
    for (const char* strName : {"chkBand", "chkWave", "cmdFFT", "cmdEnd", "cboNumSamp"}) {
        SCOPED_TRACE(strName);
        const QWidget* control = find<QWidget>(strName);
        EXPECT_GE(control->width(), control->sizeHint().width());
        EXPECT_GE(control->height(), control->sizeHint().height());
        EXPECT_TRUE(window->rect().contains(control->geometry()));
    }
}

TEST_F(WindowTest, TabWalksTheFocusOrderAndSkipsDisabledFields)
{
    const QStringList strOrder = {"cmdEnd",     "txtSampFreq", "cboNumSamp",    "txtMaxVolt",   "chkWave", "chkBand",
                                  "txtLowFreq", "txtHighFreq", "txtMaxAnaFreq", "txtDeltaFreq", "cmdFFT"};
    for (const QString& strExpected : strOrder) {
        pressTab();
        EXPECT_EQ(focusName(), strExpected);
    }
    for (qsizetype i = strOrder.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_EQ(focusName(), strOrder[i]);
    }
    EXPECT_TRUE(fakeUi.messages.empty());

    find<QCheckBox>("chkBand")->click();
    // Bounded: a focus chain that never reaches chkBand must fail, not hang.
    for (int lngStep = 0; lngStep < 20 && focusName() != "chkBand"; ++lngStep) {
        pressTab();
    }
    ASSERT_EQ(focusName(), "chkBand");
    pressTab();
    EXPECT_EQ(focusName(), "txtMaxAnaFreq");
}

TEST_F(WindowTest, EnterStartsARunOnlyFromAButton)
{
    typeInto("txtMaxVolt", "2");
    QTest::keyClick(field("txtMaxVolt"), Qt::Key_Return);
    QTest::keyClick(field("txtMaxVolt"), Qt::Key_Escape);
    EXPECT_TRUE(fakeUi.requests.empty());
    EXPECT_EQ(focusName(), "txtMaxVolt");

    find<QPushButton>("cmdFFT")->setFocus();
    QTest::keyClick(find<QPushButton>("cmdFFT"), Qt::Key_Return);
    EXPECT_EQ(fakeUi.requests.size(), 1U);
    QTest::keyClick(find<QPushButton>("cmdFFT"), Qt::Key_Space);
    EXPECT_EQ(fakeUi.requests.size(), 2U);
    EXPECT_TRUE(fakeUi.messages.empty()); // both choices cancelled
}

} // namespace
} // namespace kestrix::testing
