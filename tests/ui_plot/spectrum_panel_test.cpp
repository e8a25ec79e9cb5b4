// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/analysis.h"
#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/tone_spectra.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace kestrix::ui {
namespace {

using testing::Tone;

class TempFolder
{
public:
    TempFolder()
        : path(std::filesystem::temp_directory_path() /
               ("kestrix_plot_" + std::to_string(::getpid()) + "_" + std::to_string(++lngCount)))
    {
        std::filesystem::create_directories(path);
    }
    ~TempFolder()
    {
        std::filesystem::remove_all(path);
    }
    std::string file(const std::string& strName, const std::string& strContent = {}) const
    {
        const std::string strPath = (path / strName).string();
        if (!strContent.empty()) {
            std::ofstream(strPath, std::ios::binary) << strContent;
        }
        return strPath;
    }

private:
    static inline int lngCount = 0;
    std::filesystem::path path;
};

std::vector<std::string> fileLines(const std::string& strPath)
{
    std::ifstream stream(strPath, std::ios::binary);
    std::vector<std::string> strLines;
    for (std::string strLine; std::getline(stream, strLine);) {
        if (!strLine.empty() && strLine.back() == '\r') {
            strLine.pop_back();
        }
        strLines.push_back(strLine);
    }
    return strLines;
}

std::string csvLine(double dblFreq, double dblVolts)
{
    return engine::generalNumberText(dblFreq) + "," + engine::generalNumberText(dblVolts);
}

// A run's spectra for tones on 1 Hz lines (1024 Hz, 1024 points, input range 10 V), band off.
engine::RunSpectra toneRun(const std::vector<Tone>& tones)
{
    engine::RunSpectra spectra;
    spectra.dblDeltaFreq = 1.0;
    spectra.dblVolts = testing::toneSpectrumVolts(1024, tones, 10.0 / 32767.0);
    return spectra;
}

class SpectrumPanelTest : public ::testing::Test
{
protected:
    SpectrumPanelTest() : panel(ui, files)
    {
        panel.resize(1000, 760);
        panel.show();
    }

    // Runs the analysis on a generated recording with the window's start-up values but no Wave
    // files: 1024 Hz, 1024 points, 10 V, band 200 to 800 Hz.
    engine::RunSpectra runAnalysis(const std::string& strRecording, bool blnBand)
    {
        std::ostringstream samples;
        for (const double dblSample : testing::toneSamples(1024, {{100.0, 20000.0}, {300.0, 5000.0}})) {
            samples << std::lround(dblSample) << "\r\n";
        }
        const std::string strPath = folder.file(strRecording, samples.str());
        engine::ControlContents controls;
        controls.strMaxVolt = "10";
        controls.intBand = blnBand ? 1 : 0;
        controls.intWave = 0;
        const engine::ParameterReading reading = engine::readAnalysisParameters(controls);
        engine::AnalysisResult result = engine::analyseFile(reading.params, strPath, files, engine::computePI());
        EXPECT_TRUE(result.analysed());
        return result.spectra;
    }

    QImage renderPlot() const
    {
        QImage image(panel.plot().size(), QImage::Format_RGB32);
        QPainter painter(&image);
        panel.plot().paintPlot(painter, image.rect());
        return image;
    }

    // Whether a pixel of colour clrTrace lies within intRadius px of point.
    static bool traceNear(const QImage& image, QPointF point, const QColor& clrTrace, int intRadius = 2)
    {
        for (int dx = -intRadius; dx <= intRadius; ++dx) {
            for (int dy = -intRadius; dy <= intRadius; ++dy) {
                const QColor clrPixel = image.pixelColor(qRound(point.x()) + dx, qRound(point.y()) + dy);
                if (std::abs(clrPixel.red() - clrTrace.red()) + std::abs(clrPixel.green() - clrTrace.green()) +
                        std::abs(clrPixel.blue() - clrTrace.blue()) <
                    60) {
                    return true;
                }
            }
        }
        return false;
    }

    QPoint pixelOfFreq(double dblFreq) const
    {
        const QPointF point = panel.plot().pointOf(dblFreq, 0.0);
        return {qRound(point.x()), panel.plot().plotArea().center().y()};
    }

    testing::FakePlatformUi ui;
    platform::StdTextFiles files;
    TempFolder folder;
    SpectrumPanel panel;
};

TEST_F(SpectrumPanelTest, StartsEmpty)
{
    EXPECT_TRUE(panel.plot().traces().empty());
    EXPECT_EQ(panel.peakTable().rowCount(), 0);
    EXPECT_FALSE(panel.plot().cursorLine());
}

TEST_F(SpectrumPanelTest, PlotsExactlyTheValuesOfTheSpectrumAndBandFiles)
{
    const engine::RunSpectra spectra = runAnalysis("motor.csv", true);
    panel.showRun(spectra);

    const std::vector<std::string> strSpectrum = fileLines(folder.file("motor_SPC.csv"));
    const std::vector<std::string> strBand = fileLines(folder.file("motor_BAND_SPC.csv"));
    ASSERT_EQ(strSpectrum.size(), 401u);
    ASSERT_EQ(strBand.size(), 401u);
    const std::vector<PlotTrace>& traces = panel.plot().traces();
    ASSERT_EQ(traces.size(), 2u);
    ASSERT_EQ(traces[0].dblFreq.size(), 401u);
    for (std::size_t i = 0; i < 401; ++i) {
        ASSERT_EQ(csvLine(traces[0].dblFreq[i], traces[0].dblVolts[i]), strSpectrum[i]) << "line " << i;
    }
    // The band curve holds the lines that pass the band (above 200 Hz), each as its file has it.
    ASSERT_EQ(traces[1].dblFreq.size(), 200u);
    for (std::size_t k = 0; k < traces[1].dblFreq.size(); ++k) {
        ASSERT_EQ(csvLine(traces[1].dblFreq[k], traces[1].dblVolts[k]), strBand[201 + k]) << "band point " << k;
    }
    EXPECT_EQ(strBand[100], "100,0");

    // Drawn where the values say: the 100 Hz tone (20000 of 32767 counts at 10 V: 12.2 V) in the
    // spectrum's colour, the 300 Hz tone in the band's colour over it.
    const QImage image = renderPlot();
    EXPECT_TRUE(traceNear(image, panel.plot().pointOf(100.0, traces[0].dblVolts[100]), traces[0].color));
    EXPECT_TRUE(traceNear(image, panel.plot().pointOf(300.0, traces[0].dblVolts[300]), traces[1].color));
    EXPECT_FALSE(traceNear(image, panel.plot().pointOf(100.0, traces[0].dblVolts[100] * 1.1), traces[0].color))
        << "nothing drawn above the line's value";
    EXPECT_NEAR(panel.plot().view().dblHighFreq, 400.0, 1e-9);

    // A later run without the band replaces both curves.
    panel.showRun(runAnalysis("second.csv", false));
    EXPECT_EQ(panel.plot().traces().size(), 1u);
}

TEST_F(SpectrumPanelTest, CursorSnapsToTheNearestLineAndReadsItAsTheFileWritesIt)
{
    const engine::RunSpectra spectra = runAnalysis("motor.csv", true);
    panel.showRun(spectra);
    const std::vector<std::string> strSpectrum = fileLines(folder.file("motor_SPC.csv"));
    SpectrumPlot& plot = panel.plot();
    plot.setView({95.0, 105.0, 0.0, 15.0}); // 10 lines over the width: several pixels per line

    QTest::mouseClick(&plot, Qt::LeftButton, {}, pixelOfFreq(100.4));
    ASSERT_TRUE(plot.cursorLine());
    EXPECT_EQ(*plot.cursorLine(), 100u);
    const std::string strLine = strSpectrum[100];
    const QString strVolts = QString::fromStdString(strLine.substr(strLine.find(',') + 1));
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("100 Hz"))) << panel.cursorText().toStdString();
    EXPECT_TRUE(panel.cursorText().contains(strVolts + QStringLiteral(" V"))) << panel.cursorText().toStdString();

    QTest::mouseClick(&plot, Qt::LeftButton, {}, pixelOfFreq(100.6));
    EXPECT_EQ(*plot.cursorLine(), 101u);
    QTest::keyClick(&plot, Qt::Key_Left);
    QTest::keyClick(&plot, Qt::Key_Left);
    EXPECT_EQ(*plot.cursorLine(), 99u);
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("99 Hz")));

    // With the logarithmic axis the readout adds the level in dBV.
    plot.setCursorLine(100);
    for (QCheckBox* chk : panel.findChildren<QCheckBox*>()) {
        if (chk->text().contains(QStringLiteral("dBV"))) {
            chk->setChecked(true);
        }
    }
    ASSERT_TRUE(plot.logScale());
    const double dblVolts = spectra.dblVolts[100];
    EXPECT_TRUE(
        panel.cursorText().contains(QString::number(20.0 * std::log10(dblVolts), 'f', 2) + QStringLiteral(" dBV")))
        << panel.cursorText().toStdString();
}

TEST_F(SpectrumPanelTest, PeakTableListsThreeTonesInOrderAndCopiesAsText)
{
    const std::vector<Tone> tones{{50.0, 1000.0}, {120.0, 3000.0}, {300.0, 2000.0}};
    const engine::RunSpectra spectra = toneRun(tones);
    panel.showRun(spectra);

    const QTableWidget& table = panel.peakTable();
    ASSERT_EQ(table.rowCount(), 3);
    const int lngLines[] = {120, 300, 50};
    const double dblPeaks[] = {3000.0, 2000.0, 1000.0};
    for (int intRow = 0; intRow < 3; ++intRow) {
        SCOPED_TRACE(intRow);
        const auto lngLine = static_cast<std::size_t>(lngLines[intRow]);
        EXPECT_EQ(table.item(intRow, 1)->text(), QString::number(lngLines[intRow]));
        EXPECT_EQ(table.item(intRow, 2)->text().toStdString(), engine::generalNumberText(spectra.dblVolts[lngLine]));
        EXPECT_NEAR(table.item(intRow, 2)->text().toDouble(), 2.0 * dblPeaks[intRow] * 10.0 / 32767.0, 1e-9);
        EXPECT_NEAR(table.item(intRow, 3)->text().toDouble(), lngLines[intRow], 0.005);
    }

    const QString strText = panel.peakTableText();
    const QStringList strLines = strText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(strLines.size(), 4);
    EXPECT_TRUE(strLines[0].contains(QStringLiteral("推定周波数")));
    EXPECT_EQ(strLines[1].split(QLatin1Char('\t')).value(1), QStringLiteral("120"));
    EXPECT_EQ(strLines[3].split(QLatin1Char('\t')).value(2).toStdString(),
              engine::generalNumberText(spectra.dblVolts[50]));
    for (QPushButton* cmd : panel.findChildren<QPushButton*>()) {
        if (cmd->text() == QStringLiteral("表をコピー")) {
            cmd->click();
        }
    }
    EXPECT_EQ(QApplication::clipboard()->text(), strText);

    QApplication::clipboard()->clear();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    panel.peakTable().setFocus();
    // Through the window, as the window system delivers keys, so the shortcut map sees it.
    QTest::keyClick(panel.windowHandle(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), strText) << "Ctrl+C in the table copies it too";
}

TEST_F(SpectrumPanelTest, EstimatesAnOffLineToneAndMarksItsHarmonics)
{
    const engine::RunSpectra spectra = toneRun({{37.3, 8000.0}, {74.6, 2000.0}});
    panel.showRun(spectra);
    ASSERT_GE(panel.peakTable().rowCount(), 2);
    EXPECT_EQ(panel.peakTable().item(0, 1)->text(), QStringLiteral("37")) << "the line as written";
    EXPECT_NEAR(panel.peakTable().item(0, 3)->text().toDouble(), 37.3, 0.1);

    // Picking the peak puts the cursor on it; the markers sit on its estimated multiples.
    panel.peakTable().selectRow(0);
    EXPECT_EQ(panel.plot().cursorLine(), std::optional<std::size_t>(37));
    for (QCheckBox* chk : panel.findChildren<QCheckBox*>()) {
        if (chk->text() == QStringLiteral("高調波マーカー")) {
            chk->setChecked(true);
        }
    }
    const std::vector<double>& dblMarkers = panel.plot().harmonics();
    ASSERT_EQ(dblMarkers.size(), 10u) << "37.3 Hz times 1 to 10 stay below 400 Hz";
    for (std::size_t k = 0; k < dblMarkers.size(); ++k) {
        EXPECT_NEAR(dblMarkers[k], 37.3 * static_cast<double>(k + 1), 0.1 * static_cast<double>(k + 1));
    }
}

TEST_F(SpectrumPanelTest, RefusesBadReferenceFilesAndLeavesThePlotAsItWas)
{
    panel.showRun(runAnalysis("motor.csv", true));
    ASSERT_TRUE(panel.openReference(folder.file("motor_SPC.csv")));
    EXPECT_EQ(panel.referenceCount(), 1);
    ASSERT_EQ(panel.plot().traces().size(), 3u);
    EXPECT_TRUE(panel.plot().traces()[2].strName.contains(QStringLiteral("motor_SPC.csv")));
    panel.plot().setView({50.0, 150.0, 0.0, 20.0});
    const QImage before = renderPlot();
    const std::vector<PlotTrace> tracesBefore = panel.plot().traces();

    const std::vector<std::pair<std::string, std::string>> badFiles{
        {"one_column.csv", "0,1\r\n1\r\n"},          {"letters.csv", "0,1\r\n1,x\r\n"},
        {"descending.csv", "0,1\r\n2,1\r\n1,1\r\n"}, {"empty.csv", "\r\n"},
        {"three_columns.csv", "0,1,2\r\n"},
    };
    for (const auto& [strName, strContent] : badFiles) {
        SCOPED_TRACE(strName);
        ui.messages.clear();
        EXPECT_FALSE(panel.openReference(folder.file(strName, strContent)));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].style, platform::MessageStyle::Exclamation);
        EXPECT_NE(ui.messages[0].strText.find(strName), std::string::npos) << ui.messages[0].strText;
        if (strName != "empty.csv") {
            EXPECT_NE(ui.messages[0].strText.find("行目"), std::string::npos) << ui.messages[0].strText;
        }
    }
    ui.messages.clear();
    EXPECT_FALSE(panel.openReference(folder.file("missing_SPC.csv")));
    EXPECT_EQ(ui.messages.size(), 1u) << "a file that cannot be read is refused the same way";

    EXPECT_EQ(panel.referenceCount(), 1);
    ASSERT_EQ(panel.plot().traces().size(), tracesBefore.size());
    for (std::size_t i = 0; i < tracesBefore.size(); ++i) {
        EXPECT_EQ(panel.plot().traces()[i].dblVolts, tracesBefore[i].dblVolts);
        EXPECT_EQ(panel.plot().traces()[i].strName, tracesBefore[i].strName);
    }
    EXPECT_EQ(renderPlot(), before);

    panel.removeReference(0);
    EXPECT_EQ(panel.referenceCount(), 0);
    EXPECT_EQ(panel.plot().traces().size(), 2u);
}

TEST_F(SpectrumPanelTest, OpensReferencesChosenThroughTheDialogEachInItsOwnColour)
{
    panel.showRun(runAnalysis("motor.csv", false));
    const std::string strFirst = folder.file("first_SPC.csv", "0,1\r\n100,2\r\n200,0.5\r\n");
    const std::string strSecond = folder.file("second_SPC.csv", "0,0.25\n50,4.5E-14\n");
    ui.choices = {strFirst, strSecond, std::nullopt};
    QPushButton* cmdOpen = nullptr;
    for (QPushButton* cmd : panel.findChildren<QPushButton*>()) {
        if (cmd->text().startsWith(QStringLiteral("参照を開く"))) {
            cmdOpen = cmd;
        }
    }
    ASSERT_NE(cmdOpen, nullptr);
    cmdOpen->click();
    cmdOpen->click();
    cmdOpen->click(); // cancelled
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(panel.referenceCount(), 2);
    const std::vector<PlotTrace>& traces = panel.plot().traces();
    ASSERT_EQ(traces.size(), 3u);
    EXPECT_EQ(traces[2].dblVolts, (std::vector<double>{0.25, 4.5e-14}));
    EXPECT_NE(traces[1].color, traces[2].color);
    EXPECT_NE(traces[0].color, traces[1].color);
}

TEST_F(SpectrumPanelTest, ZoomsByBoxAndWheelPansAndResets)
{
    panel.showRun(toneRun({{100.0, 10000.0}}));
    SpectrumPlot& plot = panel.plot();
    const QRect area = plot.plotArea();
    const QPoint ptFrom(area.left() + area.width() / 4, area.top() + area.height() / 4);
    const QPoint ptTo(area.left() + area.width() / 2, area.top() + area.height() / 2);
    const double dblFromFreq = plot.freqAt(ptFrom.x());
    const double dblToFreq = plot.freqAt(ptTo.x());
    const double dblTopVolts = plot.voltsAt(ptFrom.y());
    QTest::mousePress(&plot, Qt::LeftButton, {}, ptFrom);
    QTest::mouseMove(&plot, ptTo);
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, ptTo);
    EXPECT_NEAR(plot.view().dblLowFreq, dblFromFreq, 1e-9);
    EXPECT_NEAR(plot.view().dblHighFreq, dblToFreq, 1e-9);
    EXPECT_NEAR(plot.view().dblHighAmp, dblTopVolts, 1e-9);
    EXPECT_FALSE(plot.cursorLine()) << "a drag is no click";

    // One wheel notch zooms in around the frequency under the mouse.
    const PlotView zoomed = plot.view();
    const QPoint ptWheel(area.left() + area.width() / 3, area.center().y());
    const double dblUnderMouse = plot.freqAt(ptWheel.x());
    QWheelEvent wheel(ptWheel, plot.mapToGlobal(ptWheel), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&plot, &wheel);
    EXPECT_NEAR(plot.view().dblHighFreq - plot.view().dblLowFreq, 0.8 * (zoomed.dblHighFreq - zoomed.dblLowFreq), 1e-9);
    EXPECT_NEAR(plot.freqAt(ptWheel.x()), dblUnderMouse, 1e-9);

    // A right-button drag by a quarter of the width moves the view by a quarter of its span.
    const PlotView beforePan = plot.view();
    const QPoint ptPanFrom = area.center();
    const QPoint ptPanTo = ptPanFrom + QPoint(area.width() / 4, 0);
    QTest::mousePress(&plot, Qt::RightButton, {}, ptPanFrom);
    QTest::mouseMove(&plot, ptPanTo);
    QTest::mouseRelease(&plot, Qt::RightButton, {}, ptPanTo);
    const double dblShift =
        (ptPanTo.x() - ptPanFrom.x()) * (beforePan.dblHighFreq - beforePan.dblLowFreq) / area.width();
    EXPECT_NEAR(plot.view().dblLowFreq, beforePan.dblLowFreq - dblShift, 1e-9);

    QTest::mouseDClick(&plot, Qt::LeftButton, {}, area.center());
    EXPECT_EQ(plot.view().dblLowFreq, 0.0);
    EXPECT_EQ(plot.view().dblHighFreq, 400.0);
}

TEST_F(SpectrumPanelTest, SavesThePlotAsPngAndSvg)
{
    panel.showRun(toneRun({{100.0, 10000.0}}));
    const std::string strPng = folder.file("plot.png");
    const std::string strSvg = folder.file("plot.svg");
    ASSERT_TRUE(panel.savePlotImage(QString::fromStdString(strPng)));
    ASSERT_TRUE(panel.savePlotImage(QString::fromStdString(strSvg)));

    const QImage image(QString::fromStdString(strPng));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), panel.plot().size().expandedTo(QSize(640, 400)));
    std::ifstream svg(strSvg);
    const std::string strSvgText((std::istreambuf_iterator<char>(svg)), std::istreambuf_iterator<char>());
    EXPECT_NE(strSvgText.find("<svg"), std::string::npos);
    EXPECT_NE(strSvgText.find("<polyline"), std::string::npos);
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_FALSE(panel.savePlotImage(QString::fromStdString(folder.file("no_such_folder/plot.png"))));
    EXPECT_EQ(ui.messages.size(), 1u);
}

} // namespace
} // namespace kestrix::ui
