// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/kestrix_window.h"
#include "ui/spectrum/spectrum_panel.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

namespace kestrix::testing {
namespace {

// The program's window: frmMain with the spectrum view at its right.
class KestrixWindowTest : public WindowFixture<ui::KestrixWindow>
{
protected:
    QWidget& form() const
    {
        return window->form();
    }
    ui::SpectrumPanel& panel() const
    {
        return window->spectrum();
    }
    bool inPanel(const QWidget* widget) const
    {
        return widget != nullptr && panel().isAncestorOf(widget);
    }
    // A file of 1024 counts: a 100 Hz tone at 1024 Hz.
    std::string writeTone(double dblPeak)
    {
        const QString strPath = folder.filePath(QStringLiteral("tone%1.csv").arg(++lngFiles));
        QFile file(strPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1024; ++i) {
            const long lngCount = std::lround(dblPeak * std::sin(2 * std::numbers::pi * 100 * i / 1024.0));
            file.write(QByteArray::number(static_cast<qlonglong>(lngCount)) + "\r\n");
        }
        return strPath.toStdString();
    }

    QTemporaryDir folder;
    int lngFiles = 0;
};

TEST_F(KestrixWindowTest, ControlsKeepTheirPlaceWhileTheViewTakesTheRoom)
{
    ui::FrmMain alone(fakeUi, files, clock);
    EXPECT_EQ(form().geometry(), QRect(QPoint(0, 0), alone.size()));
    EXPECT_GT(window->width(), form().width() + 400);
    EXPECT_EQ(window->windowTitle(), "Kestrix");
    window->resize(window->width() + 300, window->height() + 200);
    QApplication::processEvents();
    EXPECT_EQ(form().geometry(), QRect(QPoint(0, 0), alone.size()));
    EXPECT_GT(panel().width(), window->width() - form().width() - 10);
    for (const char* strName : {"txtSampFreq", "cboNumSamp", "chkBand", "cmdFFT", "cmdEnd"}) {
        SCOPED_TRACE(strName);
        EXPECT_EQ(find<QWidget>(strName)->geometry(), alone.findChild<QWidget*>(QLatin1String(strName))->geometry());
    }
}

TEST_F(KestrixWindowTest, ViewControlsFollowTheWindowsOwnInTheFocusOrder)
{
    EXPECT_EQ(focusName(), "cmdFFT");
    const QStringList strOrder = {"cmdEnd",  "txtSampFreq", "cboNumSamp",  "txtMaxVolt",    "chkWave",
                                  "chkBand", "txtLowFreq",  "txtHighFreq", "txtMaxAnaFreq", "txtDeltaFreq"};
    for (const QString& strExpected : strOrder) {
        pressTab();
        EXPECT_EQ(focusName(), strExpected);
    }
    pressTab();
    EXPECT_TRUE(inPanel(QApplication::focusWidget())) << focusName().toStdString();
    int lngSteps = 0;
    while (inPanel(QApplication::focusWidget()) && lngSteps < 50) {
        pressTab();
        ++lngSteps;
    }
    EXPECT_GT(lngSteps, 2);
    EXPECT_EQ(focusName(), "cmdFFT");
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(KestrixWindowTest, ARefusedEntryKeepsTheFocusFromTheView)
{
    typeInto("txtSampFreq", QStringLiteral("abc"));
    auto* chkLog = panel().findChild<QCheckBox*>();
    ASSERT_NE(chkLog, nullptr);
    const bool blnBefore = chkLog->isChecked();
    QTest::mouseClick(chkLog, Qt::LeftButton);
    ASSERT_EQ(fakeUi.messages.size(), 1u);
    EXPECT_EQ(fakeUi.messages[0].strText, "サンプリング周波数には半角数字を設定してください！");
    EXPECT_EQ(focusName(), "txtSampFreq");
    EXPECT_EQ(chkLog->isChecked(), blnBefore);
    EXPECT_EQ(field("txtSampFreq")->text(), "abc");
}

TEST_F(KestrixWindowTest, TheViewShowsEachFinishedRunAndKeepsItAfterOneThatEndsEarly)
{
    EXPECT_TRUE(panel().peaks().empty());
    fakeUi.choices = {writeTone(10000)};
    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    ASSERT_EQ(fakeUi.messages.back().strText, "FFT 終了！");
    ASSERT_FALSE(panel().peaks().empty());
    EXPECT_EQ(panel().peaks().front().lngLine, 100);
    EXPECT_NEAR(panel().peaks().front().dblVolts, 2 * 10000 * 5 / 32767.0, 1e-3);
    const QString strTable = panel().peakTableText();

    // A cancelled choice and a refused file leave the view as it was.
    fakeUi.choices = {std::nullopt};
    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    const std::string strShort = folder.filePath(QStringLiteral("short.csv")).toStdString();
    QFile(QString::fromStdString(strShort)).open(QIODevice::WriteOnly);
    fakeUi.choices = {strShort};
    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    EXPECT_EQ(panel().peakTableText(), strTable);

    // The next finished run replaces it.
    fakeUi.choices = {writeTone(5000)};
    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    EXPECT_NEAR(panel().peaks().front().dblVolts, 2 * 5000 * 5 / 32767.0, 1e-3);
}

TEST_F(KestrixWindowTest, ExitClosesTheWholeWindowWithoutAQuestion)
{
    typeInto("txtMaxVolt", QStringLiteral("-1"));
    QTest::mouseClick(find<QPushButton>("cmdEnd"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fakeUi.messages.empty());
}

} // namespace
} // namespace kestrix::testing
