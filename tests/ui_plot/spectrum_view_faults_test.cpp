// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view against the faults a new user and fuzzing found: reading a dense peak, a cursor
// that hid what it measured, the logarithmic axis, unreadable numbers, a peak table of leakage and
// noise, references, zoom limits, a phantom bar, saving pictures, and inputs that hung or exhausted it.

#include "engine/run/global_define.h"
#include "engine/run/number_text.h"
#include "engine/view/readable_number.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/tone_spectra.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace kestrix::ui {
namespace {

using testing::Tone;

constexpr double dblFine = 1024.0 / 65536.0; // Hz per line at 1024 Hz and 65536 points
constexpr double dblPosScale = 5.0 / 32767.0;

// A motor at 1500 rpm as the bundled recording holds it: 1024 Hz, 65536 points, 5 V, noise of 3 counts.
engine::RunSpectra motorRun()
{
    const std::vector<Tone> tones{{1600.0, 6000.0},  {3200.0, 2500.0, 0.4}, {4800.0, 1200.0, 1.0}, {6400.0, 600.0, 2.0},
                                  {19200.0, 1500.0}, {17600.0, 400.0, 0.3}, {20800.0, 400.0, 0.8}};
    engine::RunSpectra spectra;
    spectra.strBaseName = "/meas/motor";
    spectra.dblDeltaFreq = dblFine;
    spectra.dblVolts = testing::sampleSpectrumVolts(testing::recordingSamples(65536, tones, 3.0, 3), dblPosScale);
    return spectra;
}

// 1 Hz lines from 0 to 400 Hz with these values, 1e-4 V elsewhere.
engine::RunSpectra linesRun(const std::vector<std::pair<std::size_t, double>>& lines)
{
    engine::RunSpectra spectra;
    spectra.dblDeltaFreq = 1.0;
    spectra.dblVolts.assign(401, 1e-4);
    for (const auto& [lngLine, dblVolts] : lines) {
        spectra.dblVolts[lngLine] = dblVolts;
    }
    return spectra;
}

bool sameColour(QColor a, QColor b)
{
    return a.rgb() == b.rgb();
}

class SpectrumViewTest : public ::testing::Test
{
protected:
    SpectrumViewTest() : panel(ui, files)
    {
        panel.resize(1000, 760);
        panel.show();
    }

    SpectrumPlot& plot()
    {
        return panel.plot();
    }
    QImage render()
    {
        QImage image(plot().size(), QImage::Format_RGB32);
        QPainter painter(&image);
        plot().paintPlot(painter, image.rect());
        return image;
    }
    QPoint pixelOfFreq(double dblFreq)
    {
        return {qRound(plot().pointOf(dblFreq, 0.0).x()), plot().plotArea().center().y()};
    }
    template <typename Control> Control* control(const char* strName)
    {
        auto* found = panel.findChild<Control*>(QLatin1String(strName));
        EXPECT_NE(found, nullptr) << strName;
        return found;
    }
    void wheel(int intNotches, const QPoint& point)
    {
        QWheelEvent event(point, plot().mapToGlobal(point), {}, QPoint(0, 120 * intNotches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot(), &event);
    }
    std::string reference(const std::string& strName, const std::string& strContent)
    {
        const std::string strPath = folder.file(strName);
        testing::writeBytes(strPath, strContent);
        return strPath;
    }

    testing::FakePlatformUi ui;
    platform::StdTextFiles files;
    testing::TempDir folder;
    SpectrumPanel panel;
};

TEST_F(SpectrumViewTest, AClickOnADensePeakReadsThePeakAndTheArrowsStepOneLine)
{
    panel.showRun(motorRun());
    ASSERT_GT(65536.0 / 2.56 / plot().plotArea().width(), 20.0) << "many lines per pixel column";
    for (const int intOffset : {-1, 0, 1}) {
        SCOPED_TRACE(intOffset);
        QTest::mouseClick(&plot(), Qt::LeftButton, {}, pixelOfFreq(25.0) + QPoint(intOffset, 0));
        ASSERT_TRUE(plot().cursorLine());
        EXPECT_EQ(*plot().cursorLine(), 1600u);
        EXPECT_TRUE(panel.cursorText().startsWith(QStringLiteral("カーソル：25.00 Hz　1.831 V")))
            << panel.cursorText().toStdString();
        EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("ピーク")));
    }
    // The second harmonic, after a box zoom around it.
    plot().setView({45.0, 55.0, 0.0, 1.0});
    QTest::mouseClick(&plot(), Qt::LeftButton, {}, pixelOfFreq(50.0));
    EXPECT_EQ(*plot().cursorLine(), 3200u);
    QTest::keyClick(&plot(), Qt::Key_Right);
    EXPECT_EQ(*plot().cursorLine(), 3201u) << "an arrow steps one line, wherever the peak is";
    EXPECT_TRUE(panel.cursorText().startsWith(QStringLiteral("カーソル：50.02 Hz")))
        << panel.cursorText().toStdString();
    EXPECT_FALSE(panel.cursorText().contains(QStringLiteral("ピーク")));
}

TEST_F(SpectrumViewTest, TheCursorAndTheMarkersHideNoPixelOfTheCurve)
{
    panel.showRun(motorRun());
    const QColor clrSpectrum = plot().traces()[0].color;
    const QImage bare = render();
    plot().setCursorLine(3200); // on the 50 Hz line, the first harmonic of 25 Hz
    plot().setHarmonics({25.0, 50.0, 75.0, 100.0});
    const QImage marked = render();
    const QRect area = plot().plotArea().adjusted(0, 3 * plot().fontMetrics().height(), 0, 0); // under the labels
    int lngCurvePixels = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (sameColour(bare.pixelColor(x, y), clrSpectrum)) {
                ++lngCurvePixels;
                ASSERT_TRUE(sameColour(marked.pixelColor(x, y), clrSpectrum)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(lngCurvePixels, 1000);
    EXPECT_NE(bare, marked) << "the cursor and the markers are drawn";
}

TEST_F(SpectrumViewTest, TheLogarithmicAxisIsInDbvWithEvenDbTicks)
{
    panel.showRun(motorRun());
    control<QCheckBox>("chkLogScale")->setChecked(true);
    EXPECT_EQ(plot().amplitudeAxisTitle(), QStringLiteral("振幅 [dBV]"));
    const std::vector<QString> strLabels = plot().amplitudeTickLabels();
    ASSERT_GE(strLabels.size(), 3u);
    std::vector<int> intValues;
    for (const QString& strLabel : strLabels) {
        bool blnWhole = false;
        intValues.push_back(strLabel.toInt(&blnWhole));
        EXPECT_TRUE(blnWhole) << "one style, whole dB: " << strLabel.toStdString();
    }
    for (std::size_t i = 2; i < intValues.size(); ++i) {
        EXPECT_EQ(intValues[i] - intValues[i - 1], intValues[1] - intValues[0]);
    }
    // 1.831 V is 5.25 dBV: the top of the axis lies just above it.
    EXPECT_NEAR(plot().view().dblHighAmp, 20.0 * std::log10(motorRun().dblVolts[1600]) + 6.0, 1e-9);
    EXPECT_NEAR(plot().pointOf(0.0, 1.0).y(),
                plot().pointOf(0.0, 10.0).y() + (plot().pointOf(0.0, 0.1).y() - plot().pointOf(0.0, 1.0).y()), 1e-6)
        << "a decade is the same height anywhere";
    control<QCheckBox>("chkLogScale")->setChecked(false);
    EXPECT_EQ(plot().amplitudeAxisTitle(), QStringLiteral("振幅 [V]"));
}

TEST_F(SpectrumViewTest, NumbersAreShownReadablyAndCopiedAsTheFileWritesThem)
{
    const engine::RunSpectra spectra = motorRun();
    panel.showRun(spectra);
    const QTableWidget& table = panel.peakTable();
    ASSERT_GE(table.rowCount(), 1);
    EXPECT_EQ(table.item(0, 2)->data(SpectrumPanel::intShownTextRole).toString(), QStringLiteral("1.831 V"));
    EXPECT_EQ(table.item(0, 1)->data(SpectrumPanel::intShownTextRole).toString(), QStringLiteral("25.00"));
    EXPECT_EQ(table.item(0, 2)->text().toStdString(), engine::generalNumberText(spectra.dblVolts[1600]));
    EXPECT_TRUE(table.item(0, 2)->toolTip().startsWith(table.item(0, 2)->text()));
    // The columns are measured by what they show, not by the 15-digit texts behind it.
    const QAbstractItemView& view = table;
    EXPECT_LT(view.sizeHintForColumn(2), table.fontMetrics().horizontalAdvance(table.item(0, 2)->text()));
    EXPECT_TRUE(panel.peakTableText().contains(table.item(0, 2)->text()));

    plot().setCursorLine(1601); // noise beside the running speed
    const QStringList strLines = panel.cursorText().split(QLatin1Char('\n'));
    ASSERT_EQ(strLines.size(), 2);
    const QString strVolts = QString::fromStdString(engine::siText(spectra.dblVolts[1601], 4, "V"));
    EXPECT_TRUE(strLines[0].endsWith(strVolts)) << strLines[0].toStdString();
    EXPECT_TRUE(strVolts.contains(QStringLiteral("µV")) || strVolts.contains(QStringLiteral("mV")));
    EXPECT_TRUE(strLines[1].contains(QString::fromStdString(engine::generalNumberText(spectra.dblVolts[1601]))));
}

TEST_F(SpectrumViewTest, ThePeakTableListsWhatStandsAboveTheFloorByAnAdjustableHeight)
{
    // One tone between lines at 1024 points, from whole counts: rows 2 to 10 were leakage ripples.
    engine::RunSpectra single;
    single.dblDeltaFreq = 1.0;
    single.dblVolts =
        testing::sampleSpectrumVolts(testing::recordingSamples(1024, {{37.3, 8000.0, 1.1}}, 0.0, 1), 10.0 / 32767.0);
    panel.showRun(single);
    EXPECT_EQ(panel.peakTable().rowCount(), 1);

    panel.showRun(motorRun());
    EXPECT_EQ(panel.peakTable().rowCount(), 7) << "the seven components, no noise";
    auto* spnThreshold = control<QSpinBox>("spnPeakThreshold");
    ASSERT_NE(spnThreshold, nullptr);
    EXPECT_TRUE(spnThreshold->isVisible());
    EXPECT_EQ(spnThreshold->value(), 20);
    EXPECT_FALSE(spnThreshold->accessibleName().isEmpty());
    spnThreshold->setValue(6);
    EXPECT_EQ(panel.peakTable().rowCount(), 10) << "a low threshold lets the noise in";
    spnThreshold->setValue(90);
    EXPECT_LT(panel.peakTable().rowCount(), 7);
    EXPECT_GE(panel.peakTable().rowCount(), 1);
}

TEST_F(SpectrumViewTest, AReferenceIsOpenedOnceAndNamesakesAreToldApart)
{
    panel.showRun(linesRun({{100, 2.0}}));
    const std::string strFirst = reference("ref_SPC.csv", "0,1\r\n100,2\r\n400,0.5\r\n");
    std::filesystem::create_directories(folder.path / "other");
    const std::string strNamesake = reference("other/ref_SPC.csv", "0,1\r\n100,3\r\n400,0.5\r\n");
    ASSERT_TRUE(panel.openReference(strFirst));
    EXPECT_FALSE(panel.openReference(strFirst));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].strText.find("ref_SPC.csv"), std::string::npos);
    EXPECT_EQ(panel.referenceCount(), 1);

    ASSERT_TRUE(panel.openReference(strNamesake));
    auto* cboReferences = control<QComboBox>("cboReferences");
    ASSERT_EQ(cboReferences->count(), 2);
    EXPECT_NE(cboReferences->itemText(0), cboReferences->itemText(1));
    // Removing the chosen one removes that one.
    cboReferences->setCurrentIndex(0);
    control<QPushButton>("cmdRemoveReference")->click();
    ASSERT_EQ(panel.referenceCount(), 1);
    EXPECT_EQ(plot().traces().back().dblVolts[1], 3.0);
}

TEST_F(SpectrumViewTest, TheReadoutGivesEachReferencesValueAtTheCursor)
{
    panel.showRun(linesRun({{100, 2.0}}));
    ASSERT_TRUE(panel.openReference(reference("even_SPC.csv", "0,1\r\n100,0.25\r\n102,0.5\r\n")));
    plot().setCursorLine(100);
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("even_SPC.csv 250.0 mV")))
        << panel.cursorText().toStdString();
    plot().setCursorLine(101);
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("even_SPC.csv （この周波数に線なし）")))
        << panel.cursorText().toStdString();
}

TEST_F(SpectrumViewTest, TheMeasuredCurveStaysOnTopOfAReference)
{
    const engine::RunSpectra spectra = motorRun();
    panel.showRun(spectra);
    const QColor clrSpectrum = plot().traces()[0].color;
    const QImage alone = render();
    std::string strCopy;
    for (std::size_t i = 0; i < spectra.dblVolts.size(); ++i) {
        strCopy += engine::generalNumberText(static_cast<double>(i) * dblFine) + "," +
                   engine::generalNumberText(spectra.dblVolts[i] * 0.9) + "\r\n";
    }
    ASSERT_TRUE(panel.openReference(reference("earlier_SPC.csv", strCopy)));
    const QImage both = render();
    const QRect area = plot().plotArea().adjusted(0, 3 * plot().fontMetrics().height(), 0, 0); // below the legend
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (sameColour(alone.pixelColor(x, y), clrSpectrum)) {
                ASSERT_TRUE(sameColour(both.pixelColor(x, y), clrSpectrum)) << x << "," << y;
            }
        }
    }
}

TEST_F(SpectrumViewTest, TheViewFollowsTheReferencesAndTheBandStaysOnTheSpectrum)
{
    engine::RunSpectra spectra = linesRun({{100, 2.0}, {300, 1.0}});
    spectra.dblBandVolts = spectra.dblVolts;
    spectra.dblLowFreq = 200.0;
    spectra.dblHighFreq = 800.0;
    panel.showRun(spectra);
    EXPECT_EQ(plot().view().dblHighFreq, 400.0);
    ASSERT_TRUE(panel.openReference(reference("wide_SPC.csv", "0,0\r\n400,0.5\r\n800,0\r\n")));
    EXPECT_EQ(plot().view().dblHighFreq, 800.0) << "a wider reference widens the view";

    // The band is shaded up to the spectrum's last line, not to its upper limit beyond it.
    const QImage image = render();
    const auto shaded = [&](double dblFreq) {
        const int intX = pixelOfFreq(dblFreq).x();
        const QRect plotRect = plot().plotArea();
        int lngShaded = 0;
        for (int y = plotRect.top() + plotRect.height() / 3; y < plotRect.top() + plotRect.height() / 2; ++y) {
            const QColor pixel = image.pixelColor(intX, y);
            lngShaded += pixel.red() > 250 && pixel.blue() < 230 ? 1 : 0; // the band's yellow over white
        }
        return lngShaded;
    };
    EXPECT_GT(shaded(310.0), 0);
    EXPECT_EQ(shaded(610.0), 0);

    control<QPushButton>("cmdRemoveReference")->click();
    EXPECT_EQ(plot().view().dblHighFreq, 400.0) << "and removing it narrows it again";
    plot().setView({120.0, 160.0, 0.0, 1.0});
    ASSERT_TRUE(panel.openReference(reference("wide_SPC.csv", "0,0\r\n400,0.5\r\n800,0\r\n")));
    EXPECT_EQ(plot().view().dblLowFreq, 120.0) << "a zoomed view stays where it is";
    EXPECT_EQ(plot().view().dblHighFreq, 160.0);
}

TEST_F(SpectrumViewTest, ZoomStaysWithinTheDataAndADoubleClickLeavesTheCursor)
{
    panel.showRun(linesRun({{100, 2.0}}));
    const QPoint ptMiddle = plot().plotArea().center();
    wheel(-30, ptMiddle);
    EXPECT_EQ(plot().view().dblLowFreq, 0.0);
    EXPECT_EQ(plot().view().dblHighFreq, 400.0);
    wheel(200, ptMiddle);
    const double dblSpan = plot().view().dblHighFreq - plot().view().dblLowFreq;
    EXPECT_GE(dblSpan, 3.0) << "no deeper than a few lines across";
    EXPECT_LE(dblSpan, 10.0);
    plot().setView({300.0, 380.0, 0.5, 1.0});
    QTest::mousePress(&plot(), Qt::RightButton, {}, ptMiddle);
    QTest::mouseMove(&plot(), ptMiddle - QPoint(5000, -5000));
    QTest::mouseRelease(&plot(), Qt::RightButton, {}, ptMiddle - QPoint(5000, -5000));
    EXPECT_EQ(plot().view().dblHighFreq, 400.0) << "a pan stops at the last line";
    EXPECT_GE(plot().view().dblLowAmp, 0.0);

    plot().resetView();
    QTest::mouseClick(&plot(), Qt::LeftButton, {}, pixelOfFreq(100.0));
    ASSERT_EQ(plot().cursorLine(), std::optional<std::size_t>(100));
    plot().setView({250.0, 350.0, 0.0, 1.0});
    QTest::mouseDClick(&plot(), Qt::LeftButton, {}, pixelOfFreq(300.0));
    EXPECT_EQ(plot().cursorLine(), std::optional<std::size_t>(100)) << "the double-click moved the cursor";
    EXPECT_EQ(plot().view().dblHighFreq, 400.0);
    EXPECT_TRUE(panel.cursorText().contains(QStringLiteral("100 Hz")));
}

// At some zoom levels a lone line was drawn as a full bar and a half-height bar beside it.
TEST_F(SpectrumViewTest, ALoneLineLooksLikeOneAtEveryZoom)
{
    engine::RunSpectra spectra;
    spectra.dblDeltaFreq = dblFine;
    spectra.dblVolts.assign(25601, 1e-4);
    spectra.dblVolts[1600] = 1.83;
    panel.showRun(spectra);
    const QColor clrSpectrum = plot().traces()[0].color;
    // Down to where the curve has fewer lines than pixel columns and is drawn smoothly through its points.
    for (double dblSpan = 400.0; dblSpan / dblFine > plot().plotArea().width(); dblSpan *= 0.9) {
        const double dblLow = std::max(0.0, 25.0 - dblSpan * 0.37);
        plot().setView({dblLow, dblLow + dblSpan, 0.0, 2.0});
        const QImage image = render();
        const int intHalf = qRound(plot().pointOf(25.0, 0.9).y());
        int lngColumns = 0;
        for (int x = plot().plotArea().left() + 1; x < plot().plotArea().right(); ++x) {
            lngColumns += sameColour(image.pixelColor(x, intHalf), clrSpectrum) ? 1 : 0;
        }
        ASSERT_EQ(lngColumns, 1) << "span " << dblSpan;
    }
}

TEST_F(SpectrumViewTest, APictureIsSavedInTheFormatItsNameAsksFor)
{
    auto* cmdSave = control<QPushButton>("cmdSavePlot");
    EXPECT_FALSE(cmdSave->isEnabled()) << "nothing plotted yet";
    engine::RunSpectra spectra = linesRun({{100, 2.0}});
    spectra.strBaseName = folder.file("motor");
    panel.showRun(spectra);
    EXPECT_TRUE(cmdSave->isEnabled());

    struct Case
    {
        const char* strName;
        std::string strMagic; // the file's first bytes; empty: refused
    };
    for (const Case& test :
         {Case{"plot3.jpg", "\xFF\xD8\xFF"}, Case{"plot.JPEG", "\xFF\xD8\xFF"}, Case{"plot.png", "\x89PNG"},
          Case{"plot.svg", "<?xml"}, Case{"plot.bmp", ""}, Case{"plot", ""}}) {
        SCOPED_TRACE(test.strName);
        ui.messages.clear();
        const std::string strPath = folder.file(test.strName);
        const bool blnSaved = panel.savePlotImage(QString::fromStdString(strPath));
        EXPECT_EQ(blnSaved, !test.strMagic.empty());
        EXPECT_EQ(ui.messages.size(), test.strMagic.empty() ? 1u : 0u);
        EXPECT_EQ(testing::readBytes(strPath).substr(0, test.strMagic.size()), test.strMagic);
        EXPECT_EQ(std::filesystem::exists(strPath), blnSaved);
    }

    // Through the dialog, which proposes a name beside the analysed file.
    ui.saveChoices = {folder.file("chosen.jpg")};
    cmdSave->click();
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].strInitialFileName, folder.file("motor") + "_SPC.png");
    EXPECT_EQ(testing::readBytes(folder.file("chosen.jpg")).substr(0, 3), "\xFF\xD8\xFF");
}

// Found by fuzzing the axes: a reference with values the plot cannot show hung the paint (an infinite
// axis top) or ran it out of memory (a tick list without end). They are refused; a run's spectrum with
// such values, which cannot be refused, is drawn in bounded time.
TEST_F(SpectrumViewTest, ValuesBeyondThePlotAreRefusedOrDrawnInBoundedTime)
{
    panel.showRun(linesRun({{100, 2.0}}));
    for (const auto& [strName, strContent] :
         {std::pair<std::string, std::string>{"huge_SPC.csv", "0,0\r\n1e300,1e308\r\n"},
          {"far_SPC.csv", "1e15,0\r\n"},
          {"tiny_SPC.csv", "0,5e-324\r\n"},
          {"mark_SPC.csv", "\xEF\xBB\xBF"}}) {
        SCOPED_TRACE(strName);
        ui.messages.clear();
        EXPECT_FALSE(panel.openReference(reference(strName, strContent)));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].strText.find(strName), std::string::npos);
    }
    EXPECT_NE(ui.messages[0].strText.find("データがありません"), std::string::npos)
        << "a file of a byte-order mark alone is an empty one: " << ui.messages[0].strText;

    for (const std::vector<double>& dblVolts :
         {std::vector<double>{0.0, 1e300, 1.7976931348623157e308, 0.0}, std::vector<double>{0.0, 5e-324, 1e-320},
          std::vector<double>{0.0, 0.0, 0.0}}) {
        engine::RunSpectra spectra;
        spectra.dblDeltaFreq = 1e8;
        spectra.dblVolts = dblVolts;
        panel.showRun(spectra);
        for (const bool blnLog : {false, true}) {
            control<QCheckBox>("chkLogScale")->setChecked(blnLog);
            const QImage image = render();
            EXPECT_FALSE(image.isNull());
            EXPECT_LE(plot().amplitudeTickLabels().size(), 40u);
            wheel(-5, plot().plotArea().center());
            plot().setCursorLine(1);
        }
    }
}

} // namespace
} // namespace kestrix::ui
