// SPDX-License-Identifier: GPL-3.0-or-later
// The view's measurements with real widgets and real files: the converter figures of the spectrum
// shown against the batch front end's figures' file, their lines shaded on the plot, the band's RMS
// between two cursors in every unit, and the frequency axis in orders with its markers.
#include "engine/recordings/average_analysis.h"
#include "ui/spectrum/metrics_panel.h"
#include "view_fixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>

#include <fstream>

namespace kestrix::ui {
namespace {

constexpr int lngToneRate = 48000;    // Hz
constexpr double dblToneHz = 984.375; // 21 periods in 1024 samples: on a line for every N

// A 16-bit converter at -3 dBFS with a -80 dBc second harmonic and a little noise.
std::vector<double> converterCounts()
{
    const double dblPeak = 32767.0 * std::pow(10.0, -3.0 / 20.0);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.5);
    std::vector<double> dblCounts(65536);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        const double dblPhase = 2.0 * std::numbers::pi * dblToneHz * static_cast<double>(n) / lngToneRate;
        dblCounts[n] =
            std::round(dblPeak * std::sin(dblPhase) + dblPeak * 1e-4 * std::sin(2.0 * dblPhase + 0.5) + noise(random));
    }
    return dblCounts;
}

class ViewMeasurementsTest : public ViewAnalysisTest
{
protected:
    MetricsPanel& metrics()
    {
        return *panel.findChild<MetricsPanel*>();
    }
    QImage renderPlot() const
    {
        QImage image(panel.plot().size(), QImage::Format_RGB32);
        QPainter painter(&image);
        panel.plot().paintPlot(painter, image.rect());
        return image;
    }
    // The lines of the figures' file kestrix-batch --average --metrics writes for this recording.
    std::vector<std::string> batchFigures(const std::string& strPath, engine::WindowKind window,
                                          std::int32_t lngNumSamp)
    {
        engine::AverageRequest request;
        request.settings.lngNumSamp = lngNumSamp;
        request.settings.window = window;
        request.blnMetrics = true;
        const engine::AverageFileResult result =
            engine::analyseAverage(request, strPath, files, sounds, std::numbers::pi);
        EXPECT_TRUE(result.analysed()) << result.strRefusal;
        std::vector<std::string> strLines;
        std::ifstream file(result.strMetricsWritten, std::ios::binary);
        for (std::string strLine; std::getline(file, strLine);) {
            strLines.push_back(strLine.substr(0, strLine.find('\r')));
        }
        return strLines;
    }
};

// Asked for, the figures of the averaged spectrum shown are those the batch writes for the same
// recording and settings, line for line; the lines they counted are shaded on the plot.
TEST_F(ViewMeasurementsTest, ConverterFiguresOfTheSpectrumShownAreTheBatchsAndShadeTheirLines)
{
    fields.strNumSamp = "4096";
    const std::string strPath = writeWave("adc.wav", converterCounts(), lngToneRate);
    open(strPath);
    choose("cboAveraging", static_cast<int>(ViewAveraging::Mean));
    choose("cboWindow", static_cast<int>(engine::WindowKind::BlackmanHarris));
    control<QCheckBox>("chkMetrics")->setChecked(true);
    waitForReading(); // read again to half the rate
    ASSERT_TRUE(metrics().figures().has_value());
    EXPECT_TRUE(metrics().isVisible());

    const std::vector<std::string> strFile = batchFigures(strPath, engine::WindowKind::BlackmanHarris, 4096);
    const QStringList strCopied = metrics().figuresText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(static_cast<std::size_t>(strCopied.size()), strFile.size());
    for (std::size_t i = 0; i < strFile.size(); ++i) {
        std::string strExpected = strFile[i];
        std::replace(strExpected.begin(), strExpected.end(), ',', '\t');
        EXPECT_EQ(strCopied[static_cast<qsizetype>(i)].toStdString(), strExpected) << "line " << i;
    }
    EXPECT_NEAR(metrics().figures()->dblThd, -80.0, 0.1);
    EXPECT_EQ(panel.plot().traces().front().dblFreq.size(), 1601u) << "the curve keeps its lines to fs / 2.56";

    // The fundamental's lines shaded where the curve does not reach, a noise line not.
    const QImage image = renderPlot();
    const QRect area = panel.plot().plotArea();
    const int intTop = area.top() + 3;
    const QColor clrFundamental = image.pixelColor(qRound(panel.plot().pointOf(dblToneHz, 0.0).x()), intTop);
    const QColor clrNoise = image.pixelColor(qRound(panel.plot().pointOf(7000.0, 0.0).x()), intTop);
    EXPECT_GT(clrFundamental.green(), clrFundamental.red() + 20) << "shaded as the fundamental";
    EXPECT_EQ(clrNoise, QColor(Qt::white));
    control<QCheckBox>("chkShadeLines")->setChecked(false);
    EXPECT_EQ(renderPlot().pixelColor(qRound(panel.plot().pointOf(dblToneHz, 0.0).x()), intTop), QColor(Qt::white));

    // The run's block shows its own figures (no window: the coherent tone on its line); off, none.
    choose("cboAveraging", static_cast<int>(ViewAveraging::SingleBlock));
    ASSERT_TRUE(metrics().figures().has_value());
    EXPECT_NEAR(metrics().figures()->dblFundamentalFreq, dblToneHz, 0.01);
    EXPECT_NEAR(metrics().figures()->dblThd, -80.0, 0.5);
    control<QCheckBox>("chkMetrics")->setChecked(false);
    EXPECT_FALSE(metrics().figures().has_value());
    EXPECT_FALSE(metrics().isVisible());
    EXPECT_TRUE(ui.messages.empty());
}

// The RMS of a band does not depend on the units it is read in: over the running speed's lobe it is the
// tone's rms value, in the averaged spectrum (Hann) and in the run's block (no window).
TEST_F(ViewMeasurementsTest, BandRmsBetweenTheCursorsIsTheToneInEveryUnit)
{
    constexpr double dblPeak = 6000.0; // counts, at 25 Hz
    open(writeCounts("motor.csv", toneCounts(65536, 1024, 25.0, dblPeak, 60.0)));
    choose("cboAveraging", static_cast<int>(ViewAveraging::Mean));
    SpectrumPlot& plot = panel.plot();
    plot.setFocus();
    plot.setCursorLine(20);
    QTest::keyClick(&plot, Qt::Key_D);
    plot.setCursorLine(30);
    // The tone's power and the noise's share of 11 lines of 1 Hz out of 512 Hz.
    const double dblTruth = std::sqrt(dblPeak * dblPeak / 2.0 + 60.0 * 60.0 * 11.0 / 512.0) * dblVoltsPerCount;
    std::optional<double> dblFirst;
    for (const engine::SpectrumUnits units : engine::spectrumUnits) {
        SCOPED_TRACE(std::string(engine::unitsName(units)));
        choose("cboUnits", static_cast<int>(units));
        ASSERT_EQ(plot.referenceLine(), std::optional<std::size_t>(20)) << "the cursors stay on their lines";
        const std::optional<engine::CursorDelta> delta = plot.cursorDelta();
        ASSERT_TRUE(delta.has_value() && delta->dblBandRms.has_value());
        EXPECT_NEAR(*delta->dblBandRms / dblTruth, 1.0, 0.01);
        dblFirst = dblFirst.value_or(*delta->dblBandRms);
        EXPECT_NEAR(*delta->dblBandRms / *dblFirst, 1.0, 1e-9);
        EXPECT_TRUE(plot.readoutText().contains(QStringLiteral("帯域 RMS"))) << plot.readoutText().toStdString();
    }
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Pp));
    choose("cboAveraging", static_cast<int>(ViewAveraging::SingleBlock));
    plot.setReferenceLine(20);
    plot.setCursorLine(30);
    ASSERT_TRUE(plot.cursorDelta().has_value());
    EXPECT_NEAR(*plot.cursorDelta()->dblBandRms / dblTruth, 1.0, 0.02) << "the run's block, no window";
}

// A speed typed in rpm turns the axis into orders; the harmonic markers then stand at them.
TEST_F(ViewMeasurementsTest, OrdersOfATypedSpeedCarryTheMarkersAndTheReadout)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 25.0, 6000.0, 20.0)));
    control<QCheckBox>("chkHarmonics")->setChecked(true);
    auto* txtSpeed = control<QLineEdit>("txtRunningSpeed");
    txtSpeed->setFocus();
    QTest::keyClicks(txtSpeed, QStringLiteral("1500 rpm"));
    QTest::keyClick(txtSpeed, Qt::Key_Return);
    const std::vector<double>& dblMarkers = panel.plot().harmonics();
    ASSERT_GE(dblMarkers.size(), 3u);
    EXPECT_DOUBLE_EQ(dblMarkers[1], 50.0) << "2x of 1500 rpm";
    panel.plot().setCursorLine(50);
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("50 Hz（2.00 次）"))) << panel.cursorText().toStdString();
    EXPECT_TRUE(panel.plot().frequencyAxisTitle().startsWith(QStringLiteral("次数")));

    control<QCheckBox>("chkLogFrequency")->setChecked(true);
    EXPECT_TRUE(panel.plot().logFrequency());
    control<QCheckBox>("chkSpectrogramLogFrequency")->setChecked(true);
    EXPECT_TRUE(panel.spectrogramPlot().logFrequency());
    EXPECT_GT(panel.spectrogramPlot().view().dblLowFreq, 0.0);
}

} // namespace
} // namespace kestrix::ui
