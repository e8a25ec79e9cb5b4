// SPDX-License-Identifier: GPL-3.0-or-later
// The converter figures' panel with real widgets: what it copies is what the figures' file holds.
#include "engine/recordings/average_analysis.h"
#include "engine/run/number_text.h"
#include "support/fakes.h"
#include "ui/spectrum/metrics_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <sstream>

namespace kestrix::ui {
namespace {

constexpr std::int32_t lngSampFreq = 48000;
constexpr std::int32_t lngNumSamp = 4096;
constexpr double dblRange = 5.0;   // V
constexpr double dblCycles = 85.0; // per segment: coherent, 996.09 Hz

// A 16-bit converter recording a tone at -3 dBFS with harmonics at -60, -70 and -80 dBc and noise of
// 2 counts, in whole counts.
std::vector<double> converterCounts()
{
    const double dblPeak = 32767.0 * std::pow(10.0, -3.0 / 20.0);
    std::mt19937 random(21);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<double> dblCounts(16 * lngNumSamp);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        const double dblPhase = 2.0 * std::numbers::pi * dblCycles * static_cast<double>(n) / lngNumSamp;
        double dblValue = dblPeak * std::sin(dblPhase);
        for (const auto& [intOrder, dblDbc] : {std::pair{2, -60.0}, std::pair{3, -70.0}, std::pair{5, -80.0}}) {
            dblValue += dblPeak * std::pow(10.0, dblDbc / 20.0) * std::sin(intOrder * dblPhase + 0.4);
        }
        dblCounts[n] = std::round(dblValue + noise(random));
    }
    return dblCounts;
}

engine::AverageSettings settings()
{
    engine::AverageSettings averageSettings;
    averageSettings.lngNumSamp = lngNumSamp;
    averageSettings.window = engine::WindowKind::BlackmanHarris;
    return averageSettings;
}

class NoSoundFiles final : public platform::SoundFiles
{
public:
    platform::SoundOpening openSound(std::string_view /*strPath*/, std::int32_t /*lngChannel*/) override
    {
        return {};
    }
};

class MetricsPanelTest : public ::testing::Test
{
protected:
    MetricsPanelTest()
    {
        panel.resize(600, 700);
        panel.show();
        engine::AverageSettings halfRate = settings();
        halfRate.blnToHalfRate = true;
        engine::SpectrumAverager averager(halfRate, std::numbers::pi);
        averager.addSamples(dblCounts);
        panel.showAverage(averager.finish(), lngSampFreq, dblRange);
    }

    // The figures' file the batch front end writes for the same recording, its lines.
    std::vector<std::string> metricsFileLines()
    {
        std::ostringstream text;
        for (const double dblCount : dblCounts) {
            text << static_cast<long>(dblCount) << "\r\n";
        }
        testing::MemoryTextFiles files;
        files.files["/meas/adc.txt"] = text.str();
        NoSoundFiles sounds;
        engine::AverageRequest request;
        request.settings = settings();
        request.lngSampFreq = lngSampFreq;
        request.blnSampFreqGiven = true;
        request.dblMaxVolt = dblRange;
        request.blnMetrics = true;
        const engine::AverageFileResult result =
            engine::analyseAverage(request, "/meas/adc.txt", files, sounds, std::numbers::pi);
        EXPECT_TRUE(result.analysed()) << result.strRefusal;
        std::vector<std::string> strLines;
        std::istringstream file(files.files.at("/meas/adc_METRICS.csv"));
        for (std::string strLine; std::getline(file, strLine);) {
            strLines.push_back(strLine.substr(0, strLine.find('\r')));
        }
        return strLines;
    }

    template <typename Control> Control* control(const char* strName)
    {
        return panel.findChild<Control*>(QLatin1String(strName));
    }

    std::vector<double> dblCounts = converterCounts();
    MetricsPanel panel;
};

TEST_F(MetricsPanelTest, CopiesTheRowsOfTheFiguresFileWithTabs)
{
    const std::vector<std::string> strFile = metricsFileLines();
    ASSERT_GT(strFile.size(), 30u);
    QApplication::clipboard()->clear();
    QTest::mouseClick(control<QPushButton>("cmdCopyMetrics"), Qt::LeftButton);
    const QStringList strCopied = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(static_cast<std::size_t>(strCopied.size()), strFile.size());
    for (std::size_t i = 0; i < strFile.size(); ++i) {
        std::string strExpected = strFile[i];
        std::replace(strExpected.begin(), strExpected.end(), ',', '\t');
        EXPECT_EQ(strCopied[static_cast<qsizetype>(i)].toStdString(), strExpected) << "line " << i;
    }
    // Ctrl+C in the table copies the same.
    QApplication::clipboard()->clear();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    panel.table().setFocus();
    // Through the window, as the window system delivers keys, so the shortcut map sees it.
    QTest::keyClick(panel.windowHandle(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), panel.figuresText());
}

TEST_F(MetricsPanelTest, ShowsTheFiguresReadablyWithTheFullScaleCorrectionBesideTheEnob)
{
    ASSERT_TRUE(panel.figures().has_value());
    const engine::ToneFigures& figures = *panel.figures();
    EXPECT_NEAR(figures.dblThd, 10.0 * std::log10(1e-6 + 1e-7 + 1e-8), 0.1);
    const QTableWidget& table = panel.table();
    std::map<QString, QString> shown;
    for (int intRow = 0; intRow < table.rowCount(); ++intRow) {
        shown[table.item(intRow, 0)->text()] = table.item(intRow, 1)->text();
    }
    EXPECT_TRUE(shown[QStringLiteral("基本波の振幅")].contains(QStringLiteral("-3.00 dBFS")))
        << shown[QStringLiteral("基本波の振幅")].toStdString();
    EXPECT_TRUE(shown[QStringLiteral("基本波の周波数")].startsWith(QStringLiteral("996.09")));
    EXPECT_TRUE(
        shown[QStringLiteral("THD")].startsWith(QString::fromStdString(engine::fixedDecimalText(figures.dblThd, 2))));
    const QString strEnob = shown[QStringLiteral("ENOB")];
    EXPECT_TRUE(strEnob.startsWith(QString::fromStdString(engine::fixedDecimalText(figures.dblEnob, 2)) + " bit"));
    EXPECT_TRUE(strEnob.contains(QStringLiteral("+3.00 dB"))) << strEnob.toStdString();
    EXPECT_EQ(shown[QStringLiteral("ENOB（FS 換算）")],
              QString::fromStdString(engine::fixedDecimalText(figures.dblEnobFullScale, 2)) + " bit");
    const engine::HarmonicFigure& second = figures.harmonics.front();
    EXPECT_NEAR(second.dblDbc, -60.0, 0.1);
    EXPECT_EQ(
        shown[QStringLiteral("高調波 2 次")],
        QStringLiteral("1992 Hz　%1 dBc").arg(QString::fromStdString(engine::fixedDecimalText(second.dblDbc, 2))));
}

TEST_F(MetricsPanelTest, AGivenFundamentalIsMeasuredAndBadTextChangesNothing)
{
    auto* txtFundamental = control<QLineEdit>("txtFundamental");
    const double dblSecond = 2.0 * dblCycles * lngSampFreq / lngNumSamp;
    QSignalSpy shading(&panel, &MetricsPanel::shadingChanged);
    txtFundamental->setText(QString::number(dblSecond));
    emit txtFundamental->editingFinished();
    ASSERT_TRUE(panel.figures().has_value());
    EXPECT_NEAR(panel.figures()->dblFundamentalFreq, dblSecond, 0.01);
    EXPECT_EQ(shading.count(), 1);

    for (const char* strBad : {"abc", "-5", "30000", "0"}) {
        SCOPED_TRACE(strBad);
        txtFundamental->setText(QLatin1String(strBad));
        emit txtFundamental->editingFinished();
        EXPECT_NEAR(panel.figures()->dblFundamentalFreq, dblSecond, 0.01);
        EXPECT_FALSE(control<QLabel>("lblMetricsStatus")->text().isEmpty());
    }
    EXPECT_EQ(shading.count(), 1);
    txtFundamental->clear();
    emit txtFundamental->editingFinished();
    EXPECT_NEAR(panel.figures()->dblFundamentalFreq, dblSecond / 2.0, 0.01);
}

TEST_F(MetricsPanelTest, ShadingFollowsTheCheckBoxAndAnAveragingNotToHalfTheRateShowsNoFigures)
{
    ASSERT_FALSE(panel.shadedRoles().empty());
    EXPECT_EQ(panel.shadedRoles().size(), static_cast<std::size_t>(lngNumSamp / 2 + 1));
    EXPECT_DOUBLE_EQ(panel.lineSpacing(), static_cast<double>(lngSampFreq) / lngNumSamp);
    QSignalSpy shading(&panel, &MetricsPanel::shadingChanged);
    control<QCheckBox>("chkShadeLines")->setChecked(false);
    EXPECT_EQ(shading.count(), 1);
    EXPECT_TRUE(panel.shadedRoles().empty());

    engine::SpectrumAverager averager(settings(), std::numbers::pi); // to fs / 2.56 only
    averager.addSamples(dblCounts);
    panel.showAverage(averager.finish(), lngSampFreq, dblRange);
    EXPECT_FALSE(panel.figures().has_value());
    EXPECT_EQ(panel.table().rowCount(), 0);
    EXPECT_FALSE(control<QPushButton>("cmdCopyMetrics")->isEnabled());
    EXPECT_TRUE(panel.figuresText().isEmpty());
}

} // namespace
} // namespace kestrix::ui
