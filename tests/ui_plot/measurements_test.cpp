// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's measurements with real widgets: the reference cursor and its readout, orders of a running
// speed, the logarithmic frequency axis and the shading of the lines a converter's figures counted.
#include "engine/recordings/averaged_spectrum.h"
#include "engine/run/number_text.h"
#include "support/tone_spectra.h"
#include "ui/spectrum/measure_tools.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kestrix::ui {
namespace {

constexpr double dblVoltsPerCount = 10.0 / 32767.0;
constexpr double dblPeakLow = 2000.0;  // counts, the tone on line 50
constexpr double dblPeakHigh = 1000.0; // counts, the tone on line 200: 6.02 dB below

// The Hann-averaged spectrum in rms volts of tones on lines 50 and 200 (1024 Hz, 1024 points, 1 Hz lines).
PlotTrace twoToneTrace(engine::LineScale& scale)
{
    engine::AverageSettings settings; // Hann, 1024 points, 50 %
    engine::SpectrumAverager averager(settings, std::numbers::pi);
    averager.addSamples(testing::toneSamples(8192, {{400.0, dblPeakLow, 0.2}, {1600.0, dblPeakHigh, 1.0}}));
    const engine::AveragedPower average = averager.finish();
    PlotTrace trace{QStringLiteral("averaged"), QColor(31, 119, 180), {}, {}, false};
    trace.dblVolts = engine::spectrumInUnits(average, engine::SpectrumUnits::Rms, 1024.0, dblVoltsPerCount);
    for (std::size_t k = 0; k < trace.dblVolts.size(); ++k) {
        trace.dblFreq.push_back(static_cast<double>(k));
    }
    scale = {engine::SpectrumUnits::Rms, 1.0, average.figures.dblNoiseBandwidth, false};
    return trace;
}

// Whether a pixel within intRadius px of point has about the colour clrWanted.
bool colourNear(const QImage& image, QPoint point, const QColor& clrWanted, int intRadius = 1)
{
    for (int dx = -intRadius; dx <= intRadius; ++dx) {
        for (int dy = -intRadius; dy <= intRadius; ++dy) {
            const QColor clr = image.pixelColor(point + QPoint(dx, dy));
            if (std::abs(clr.red() - clrWanted.red()) + std::abs(clr.green() - clrWanted.green()) +
                    std::abs(clr.blue() - clrWanted.blue()) <
                60) {
                return true;
            }
        }
    }
    return false;
}

class MeasurementPlotTest : public ::testing::Test
{
protected:
    MeasurementPlotTest()
    {
        plot.resize(900, 500);
        plot.show();
        engine::LineScale scale;
        plot.setTraces({twoToneTrace(scale)});
        plot.setLineScale(scale);
    }

    QImage rendered() const
    {
        QImage image(plot.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        plot.paintPlot(painter, image.rect());
        return image;
    }

    // The pixel column of a frequency and a row in the middle of the plot.
    QPoint pixelAt(double dblFreq, double dblHeightShare = 0.5) const
    {
        const QRect area = plot.plotArea();
        return {qRound(plot.pointOf(dblFreq, 0.0).x()), area.bottom() - qRound(area.height() * dblHeightShare)};
    }

    SpectrumPlot plot;
};

// Hann spreads a tone on line k over k - 1, k and k + 1 with amplitudes 1/4, 1/2, 1/4: 1/6, 2/3 and 1/6 of
// its power. A band from one tone's line to the other's holds 5/6 of each.
TEST_F(MeasurementPlotTest, ReferenceCursorByKeysGivesBothPositionsTheDifferencesAndTheBandRms)
{
    plot.setFocus();
    plot.setCursorLine(50);
    QTest::keyClick(&plot, Qt::Key_D);
    ASSERT_EQ(plot.referenceLine(), std::optional<std::size_t>(50));
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(&plot, Qt::Key_Right, Qt::ShiftModifier);
    }
    ASSERT_EQ(plot.cursorLine(), std::optional<std::size_t>(200));
    const std::optional<engine::CursorDelta> delta = plot.cursorDelta();
    ASSERT_TRUE(delta.has_value());
    EXPECT_DOUBLE_EQ(delta->dblFreqA, 50.0);
    EXPECT_DOUBLE_EQ(delta->dblFreqB, 200.0);
    EXPECT_DOUBLE_EQ(delta->dblDeltaFreq, 150.0);
    EXPECT_NEAR(delta->dblDeltaLevel, 20.0 * std::log10(dblPeakHigh / dblPeakLow), 1e-6);
    const double dblBandPower =
        5.0 / 6.0 * (dblPeakLow * dblPeakLow + dblPeakHigh * dblPeakHigh) / 2.0 * dblVoltsPerCount * dblVoltsPerCount;
    ASSERT_TRUE(delta->dblBandRms.has_value());
    EXPECT_NEAR(*delta->dblBandRms, std::sqrt(dblBandPower), 1e-9);
    EXPECT_EQ(delta->lngBandLines, 151u);

    // Ctrl+C copies the readout: readable, then as the files write the values.
    QApplication::clipboard()->clear();
    QTest::keyClick(&plot, Qt::Key_C, Qt::ControlModifier);
    const QString strCopied = QApplication::clipboard()->text();
    EXPECT_EQ(strCopied, plot.readoutText());
    EXPECT_TRUE(strCopied.contains(QStringLiteral("基準 50 Hz")));
    EXPECT_TRUE(strCopied.contains(QStringLiteral("-6.02 dB"))) << strCopied.toStdString();
    EXPECT_TRUE(strCopied.contains(QStringLiteral("151 本")));
    EXPECT_TRUE(strCopied.contains(QString::fromStdString(engine::generalNumberText(*delta->dblBandRms))));

    // Ctrl+arrows move the reference, the cursor stays; Escape removes it.
    QTest::keyClick(&plot, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&plot, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(plot.referenceLine(), std::optional<std::size_t>(61));
    EXPECT_EQ(plot.cursorLine(), std::optional<std::size_t>(200));
    QTest::keyClick(&plot, Qt::Key_Escape);
    EXPECT_FALSE(plot.referenceLine().has_value());
    EXPECT_FALSE(plot.cursorDelta().has_value());
    EXPECT_FALSE(plot.readoutText().contains(QStringLiteral("基準")));
}

TEST_F(MeasurementPlotTest, ShiftClickPutsTheReferenceOnThePeakDrawnBeneathTheCurve)
{
    plot.setCursorLine(120);
    // A click two pixels beside the 200 Hz tone reads the tone, as a plain click would.
    QTest::mouseClick(&plot, Qt::LeftButton, Qt::ShiftModifier, pixelAt(200.0) + QPoint(2, 0));
    EXPECT_EQ(plot.referenceLine(), std::optional<std::size_t>(200));
    EXPECT_EQ(plot.cursorLine(), std::optional<std::size_t>(120)) << "the cursor stays";
    QTest::mouseClick(&plot, Qt::LeftButton, {}, pixelAt(50.0));
    EXPECT_EQ(plot.cursorLine(), std::optional<std::size_t>(50));

    const QImage image = rendered();
    // The reference's dashed line runs through the plot where the curve is not; the tone's top at the
    // same column keeps the curve's colour.
    int intReferencePixels = 0;
    const QRect area = plot.plotArea();
    for (int x = pixelAt(200.0).x() - 1; x <= pixelAt(200.0).x() + 1; ++x) {
        for (int y = area.top() + area.height() / 2; y < area.bottom() - 20; ++y) {
            const QColor clr = image.pixelColor(x, y);
            intReferencePixels += clr.red() > clr.green() + 30 && clr.blue() > clr.green() + 30 ? 1 : 0;
        }
    }
    EXPECT_GT(intReferencePixels, 10) << "the reference is drawn";
    const QPointF ptTop = plot.pointOf(200.0, plot.traces().front().dblVolts[200]);
    EXPECT_TRUE(colourNear(image, ptTop.toPoint(), plot.traces().front().color)) << "the curve stays on top";
    // The band between the cursors is tinted; beyond it the plot stays white.
    const QColor clrInside = image.pixelColor(pixelAt(130.0, 0.9));
    const QColor clrOutside = image.pixelColor(pixelAt(310.0, 0.9));
    EXPECT_LT(clrInside.green(), 255);
    EXPECT_EQ(clrOutside, QColor(Qt::white));
}

// A machine at 1500 rpm: the axis counts its orders, and the line at 50 Hz reads the second.
TEST_F(MeasurementPlotTest, OrdersOf1500RpmPutTheSecondAt50Hz)
{
    plot.setRunningSpeed(engine::parseRunningSpeed("1500 rpm", engine::SpeedUnit::Rpm));
    EXPECT_EQ(plot.frequencyAxisTitle(), QStringLiteral("次数（1 次 = 1500 rpm = 25 Hz）"));
    const std::vector<QString> strLabels = plot.frequencyTickLabels();
    ASSERT_FALSE(strLabels.empty());
    EXPECT_EQ(strLabels.front(), QStringLiteral("0"));
    EXPECT_EQ(strLabels.back(), QStringLiteral("16")) << "400 Hz is the 16th order";
    plot.setCursorLine(50);
    EXPECT_TRUE(plot.readoutText().contains(QStringLiteral("50 Hz（2.00 次）"))) << plot.readoutText().toStdString();
    plot.setRunningSpeed(std::nullopt);
    EXPECT_EQ(plot.frequencyAxisTitle(), QStringLiteral("周波数 [Hz]"));
}

TEST_F(MeasurementPlotTest, LogarithmicFrequencyAxisHasDecadeTicksAndStaysWithinTheLines)
{
    plot.setLogFrequency(true);
    EXPECT_DOUBLE_EQ(plot.view().dblLowFreq, 1.0) << "from the first line above 0 Hz";
    EXPECT_DOUBLE_EQ(plot.view().dblHighFreq, 400.0);
    EXPECT_EQ(plot.frequencyTickLabels(), (std::vector<QString>{"1", "2", "5", "10", "20", "50", "100", "200"}));
    // Lines at their logarithm's place, and the curve drawn there.
    const QRect area = plot.plotArea();
    EXPECT_NEAR(plot.pointOf(20.0, 0.0).x(), area.left() + std::log10(20.0) / std::log10(400.0) * area.width(), 0.5);
    const QImage image = rendered();
    const QPoint ptTone = plot.pointOf(50.0, plot.traces().front().dblVolts[50]).toPoint();
    EXPECT_TRUE(colourNear(image, ptTone, plot.traces().front().color)) << "the 50 Hz tone at its logarithm's place";

    // Zooming keeps the ratio about the cursor; panning and the wheel stay within 1 to 400 Hz.
    plot.setCursorLine(100);
    QTest::keyClick(&plot, Qt::Key_Plus);
    EXPECT_NEAR(std::log10(plot.view().dblHighFreq / plot.view().dblLowFreq), 0.8 * std::log10(400.0), 1e-9);
    EXPECT_NEAR(std::log10(100.0 / plot.view().dblLowFreq), 0.8 * 2.0, 1e-9);
    const double dblRatio = plot.view().dblHighFreq / plot.view().dblLowFreq;
    QTest::mousePress(&plot, Qt::RightButton, {}, area.center());
    QTest::mouseMove(&plot, area.center() + QPoint(area.width(), 0));
    QTest::mouseRelease(&plot, Qt::RightButton, {}, area.center() + QPoint(area.width(), 0));
    EXPECT_DOUBLE_EQ(plot.view().dblLowFreq, 1.0);
    EXPECT_NEAR(plot.view().dblHighFreq / plot.view().dblLowFreq, dblRatio, 1e-9) << "the ratio kept";
    for (int i = 0; i < 60; ++i) {
        QWheelEvent event(area.center(), plot.mapToGlobal(area.center()), {}, QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &event);
    }
    EXPECT_GE(plot.view().dblHighFreq - plot.view().dblLowFreq, 4.0 - 1e-9) << "at least four lines";
    EXPECT_GE(plot.view().dblLowFreq, 1.0);
    // Back to the linear axis, everything in view shows 0 Hz again.
    QTest::keyClick(&plot, Qt::Key_Home);
    plot.setLogFrequency(false);
    EXPECT_DOUBLE_EQ(plot.view().dblLowFreq, 0.0);
}

// The lines a converter's figures counted are shaded by role, behind the curve, and nowhere else.
TEST_F(MeasurementPlotTest, ShadingIsDrawnWhereTheRolesSay)
{
    std::vector<engine::LineRole> roles(513, engine::LineRole::Noise);
    for (std::size_t k : {0, 1, 2}) {
        roles[k] = engine::LineRole::Excluded;
    }
    for (std::size_t k = 48; k <= 52; ++k) {
        roles[k] = engine::LineRole::Fundamental;
    }
    for (std::size_t k = 98; k <= 102; ++k) {
        roles[k] = engine::LineRole::Harmonic;
    }
    plot.setLineRoles(roles, 1.0);
    const QImage image = rendered();
    const auto shade = [](engine::LineRole role) {
        const QColor clr = SpectrumPlot::roleColour(role);
        const auto blended = [&](int intChannel) { return 255 - (255 - intChannel) * clr.alpha() / 255; };
        return QColor(blended(clr.red()), blended(clr.green()), blended(clr.blue()));
    };
    const auto near = [](const QColor& clrA, const QColor& clrB) {
        return std::abs(clrA.red() - clrB.red()) + std::abs(clrA.green() - clrB.green()) +
                   std::abs(clrA.blue() - clrB.blue()) <
               12;
    };
    // High in the plot, where no curve is drawn.
    EXPECT_TRUE(near(image.pixelColor(pixelAt(49.0, 0.97)), shade(engine::LineRole::Fundamental)));
    EXPECT_TRUE(near(image.pixelColor(pixelAt(101.0, 0.97)), shade(engine::LineRole::Harmonic)));
    EXPECT_TRUE(near(image.pixelColor(pixelAt(1.0, 0.97)), shade(engine::LineRole::Excluded)));
    for (const double dblFreq : {10.0, 75.0, 140.0, 53.5, 96.5}) {
        EXPECT_EQ(image.pixelColor(pixelAt(dblFreq, 0.97)), QColor(Qt::white)) << dblFreq << " Hz is noise";
    }
    plot.setLineRoles({}, 1.0);
    EXPECT_EQ(rendered().pixelColor(pixelAt(49.0, 0.97)), QColor(Qt::white));
}

// The axis controls: a speed typed in rpm or Hz, or taken from the cursor, gives the orders; text that
// does not read is not taken.
TEST(MeasureToolsTest, TypedOrPickedSpeedsSwitchTheAxisToOrders)
{
    QWidget window;
    auto* plot = new SpectrumPlot(&window);
    MeasureTools tools(*plot, window);
    auto* layout = new QVBoxLayout(&window);
    for (QWidget* control : tools.scaleControls()) {
        layout->addWidget(control);
    }
    for (QWidget* control : tools.orderControls()) {
        layout->addWidget(control);
    }
    layout->addWidget(plot);
    window.resize(900, 700);
    window.show();
    engine::LineScale scale;
    plot->setTraces({twoToneTrace(scale)});
    auto* txtSpeed = window.findChild<QLineEdit*>(QStringLiteral("txtRunningSpeed"));
    auto* cboUnit = window.findChild<QComboBox*>(QStringLiteral("cboSpeedUnit"));
    auto* chkOrders = window.findChild<QCheckBox*>(QStringLiteral("chkOrders"));
    QSignalSpy changed(&tools, &MeasureTools::ordersChanged);

    txtSpeed->setFocus();
    QTest::keyClicks(txtSpeed, QStringLiteral("1500 rpm"));
    QTest::keyClick(txtSpeed, Qt::Key_Return);
    ASSERT_TRUE(plot->runningSpeed().has_value());
    EXPECT_DOUBLE_EQ(plot->runningSpeed()->dblHz, 25.0);
    EXPECT_TRUE(chkOrders->isChecked());
    EXPECT_EQ(txtSpeed->text(), QStringLiteral("1500"));
    EXPECT_GE(changed.count(), 1);
    plot->setCursorLine(50);
    EXPECT_TRUE(plot->readoutText().contains(QStringLiteral("（2.00 次）")));

    cboUnit->setCurrentIndex(1); // Hz: the same speed
    EXPECT_EQ(txtSpeed->text(), QStringLiteral("25"));
    EXPECT_DOUBLE_EQ(plot->runningSpeed()->dblHz, 25.0);

    // Text that does not read: not taken, the speed in use stays, and the field says so.
    txtSpeed->selectAll();
    QTest::keyClicks(txtSpeed, QStringLiteral("25 rps"));
    QTest::keyClick(txtSpeed, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(plot->runningSpeed()->dblHz, 25.0);
    EXPECT_FALSE(txtSpeed->styleSheet().isEmpty());

    // The cursor's line as the first order: 200 Hz.
    plot->setCursorLine(200);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdSpeedFromCursor")), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(plot->runningSpeed()->dblHz, 200.0);
    EXPECT_EQ(txtSpeed->text(), QStringLiteral("200"));
    EXPECT_TRUE(txtSpeed->styleSheet().isEmpty());

    chkOrders->setChecked(false);
    EXPECT_FALSE(plot->runningSpeed().has_value());
    chkOrders->setChecked(true);
    txtSpeed->clear();
    QTest::keyClick(txtSpeed, Qt::Key_Return);
    EXPECT_FALSE(plot->runningSpeed().has_value()) << "no speed, no orders";
    EXPECT_FALSE(chkOrders->isChecked());

    window.findChild<QCheckBox*>(QStringLiteral("chkLogFrequency"))->setChecked(true);
    EXPECT_TRUE(plot->logFrequency());
}

} // namespace
} // namespace kestrix::ui
