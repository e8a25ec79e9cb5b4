// SPDX-License-Identifier: GPL-3.0-or-later
// The two-channel page with real widgets and real files: generated recordings of two columns (white
// noise through known digital filters, a pure delay) opened in the view, their response read at the
// cursor against the filters' own, the faded lines against the coherence, the refusal of the coherence
// with one segment, the file saved against the engine's, the picture, and the readings it makes.
#include "engine/recordings/transfer_analysis.h"
#include "engine/run/global_define.h"
#include "ui/spectrum/transfer_document.h"
#include "ui/spectrum/transfer_page.h"
#include "ui/spectrum/transfer_plot.h"
#include "ui/spectrum/view_document.h"
#include "view_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>

#include <complex>
#include <functional>

namespace kestrix::ui {
namespace {

constexpr double dblSampFreq = 1024.0; // Hz, the start-up field; N = 1024: lines 1 Hz apart

// Gaussian noise of dblSigma counts, the same on every run.
std::vector<double> noise(std::size_t lngSamples, double dblSigma, unsigned intSeed)
{
    std::mt19937 random(intSeed);
    std::normal_distribution<double> gaussian(0.0, dblSigma);
    std::vector<double> dblCounts(lngSamples);
    for (double& dblCount : dblCounts) {
        dblCount = gaussian(random);
    }
    return dblCounts;
}

// y[n] = 0.6 x[n] + 0.3 x[n-1] + 0.5 y[n-1], and its response at line k (fs = N = 1024).
std::vector<double> filtered(const std::vector<double>& dblInput)
{
    std::vector<double> dblOutput(dblInput.size());
    double dblPrevious = 0.0;
    for (std::size_t n = 0; n < dblInput.size(); ++n) {
        dblPrevious = 0.6 * dblInput[n] + 0.3 * (n > 0 ? dblInput[n - 1] : 0.0) + 0.5 * dblPrevious;
        dblOutput[n] = dblPrevious;
    }
    return dblOutput;
}

std::complex<double> filterResponse(double dblLine)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * dblLine / dblSampFreq);
    return (0.6 + 0.3 * z1) / (1.0 - 0.5 * z1);
}

// The first number a pattern's group captures in strText; NaN where it does not match.
double captured(const QString& strText, const QString& strPattern)
{
    const QRegularExpressionMatch match = QRegularExpression(strPattern).match(strText);
    return match.hasMatch() ? match.captured(1).toDouble() : std::nan("");
}

class ViewTransferTest : public ViewAnalysisTest
{
protected:
    ViewTransferTest()
    {
        chooser.intAnswer = 2; // the spectrum page shows the force
    }

    // A recording of a time column and two columns of counts, rounded to whole counts as a converter gives them.
    std::string writePair(const std::string& strName, const std::vector<double>& dblInput,
                          const std::vector<double>& dblOutput)
    {
        std::string strText = "time (s),force,accel\r\n";
        for (std::size_t n = 0; n < dblInput.size(); ++n) {
            strText += engine::generalNumberText(static_cast<double>(n) / dblSampFreq) + "," +
                       engine::generalNumberText(std::round(dblInput[n])) + "," +
                       engine::generalNumberText(std::round(dblOutput[n])) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strText);
        return strPath;
    }
    TransferPage& page()
    {
        auto* found = panel.findChild<TransferPage*>();
        EXPECT_NE(found, nullptr);
        return *found;
    }
    TransferDocument& transfer()
    {
        return panel.document().transfer();
    }
    void showPage()
    {
        panel.pages().setCurrentWidget(&page());
        waitForReading();
        QApplication::processEvents();
    }
    // Clicks the magnitude plot at line lngLine, as a user reads it.
    void clickLine(std::size_t lngLine)
    {
        TransferPlot& plot = page().magnitudePlot();
        const QPointF point = plot.pointOf(static_cast<double>(lngLine), plot.valueView().dblLow);
        QTest::mouseClick(&plot, Qt::LeftButton, {},
                          QPoint(static_cast<int>(std::lround(point.x())), plot.height() / 2));
    }
    // The faded lines as the coherence shown and the threshold say they are.
    std::vector<bool> lowCoherenceLines() const
    {
        const std::vector<double>& dblCoherence = transferShown().result.estimates.dblCoherence;
        std::vector<bool> blnLow(dblCoherence.size());
        for (std::size_t k = 0; k < blnLow.size(); ++k) {
            blnLow[k] = !(dblCoherence[k] >= panel.document().transfer().threshold());
        }
        return blnLow;
    }
    const TransferShown& transferShown() const
    {
        const TransferShown* shown = panel.document().transfer().shown();
        EXPECT_NE(shown, nullptr);
        return *shown;
    }
};

// White noise through a known filter: at the lines the user clicks, the readout gives |H1| within
// 0.2 dB and the phase within 2 degrees of the filter's own response, with a coherence near 1; the
// arrow keys step the cursor one line on every plot.
TEST_F(ViewTransferTest, TheResponseOfAKnownFilterIsReadAtTheCursor)
{
    const std::vector<double> dblInput = noise(65536, 3000.0, 3);
    open(writePair("filter.csv", dblInput, filtered(dblInput)));
    EXPECT_FALSE(transfer().busy()) << "nothing is read for a page not shown";
    showPage();
    ASSERT_NE(transfer().shown(), nullptr) << transfer().note().toStdString();
    EXPECT_EQ(page().findChild<QComboBox*>("cboInput")->currentText(), QStringLiteral("2: force"));
    EXPECT_EQ(page().findChild<QComboBox*>("cboOutput")->currentText(), QStringLiteral("3: accel"));
    for (const std::size_t k : {std::size_t{5}, std::size_t{100}, std::size_t{250}, std::size_t{399}}) {
        SCOPED_TRACE(k);
        clickLine(k);
        ASSERT_EQ(page().magnitudePlot().cursorLine(), std::optional<std::size_t>(k));
        const QString strText = page().cursorText();
        const std::complex<double> response = filterResponse(static_cast<double>(k));
        const double dblExpectedDb = 20.0 * std::log10(std::abs(response));
        const double dblShownDb = captured(strText, QStringLiteral("（(-?[0-9.]+) dB）"));
        EXPECT_NEAR(dblShownDb, dblExpectedDb, 0.2) << strText.toStdString();
        const double dblExactH1 = captured(strText, QStringLiteral(", \\|H1\\| ([-0-9.eE+]+) V/V"));
        EXPECT_NEAR(20.0 * std::log10(dblExactH1), dblShownDb, 0.005) << "the readable level rounds the exact one";
        EXPECT_NEAR(captured(strText, QStringLiteral("位相 (-?[0-9.]+)°")),
                    std::arg(response) * 180.0 / std::numbers::pi, 2.0);
        EXPECT_GT(captured(strText, QStringLiteral("γ² ([0-9.]+)")), 0.99);
        // The exact line is the engine's line under the cursor, not a neighbour's.
        const engine::TransferEstimates& est = transferShown().result.estimates;
        EXPECT_EQ(captured(strText, QStringLiteral("\\n([0-9.]+) Hz, ")), static_cast<double>(k));
        EXPECT_EQ(dblExactH1, std::stod(engine::generalNumberText(est.dblH1Magnitude[k])));
        EXPECT_EQ(captured(strText, QStringLiteral(", γ² ([-0-9.eE+]+)")),
                  std::stod(engine::generalNumberText(est.dblCoherence[k])));
        EXPECT_EQ(captured(strText, QStringLiteral(", 連続 ([-0-9.eE+]+)°")),
                  std::stod(engine::generalNumberText(est.dblUnwrappedDeg[k])));
        EXPECT_EQ(page().phasePlot().cursorLine(), page().magnitudePlot().cursorLine());
        EXPECT_EQ(page().coherencePlot().cursorLine(), page().magnitudePlot().cursorLine());
    }
    QTest::keyClick(&page().phasePlot(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(page().coherencePlot().cursorLine(), std::optional<std::size_t>(389));
    EXPECT_TRUE(ui.messages.empty());
}

// A pure delay of 37 samples is read as 37 samples and 37 / fs seconds, and its unwrapped phase is
// the straight line of that delay.
TEST_F(ViewTransferTest, APureDelayIsReadInSamplesAndSeconds)
{
    const std::vector<double> dblInput = noise(65536 + 37, 3000.0, 4);
    const std::vector<double> dblOutput(dblInput.begin(), dblInput.end() - 37);
    const std::vector<double> dblLater(dblInput.begin() + 37, dblInput.end());
    open(writePair("delay.csv", dblLater, dblOutput));
    showPage();
    ASSERT_TRUE(transferShown().result.delay);
    EXPECT_NEAR(transferShown().result.delay->dblSamples, 37.0, 0.05);
    const QString strSummary = page().findChild<QLabel*>("lblTransferSummary")->text();
    EXPECT_TRUE(strSummary.contains(QStringLiteral("出力の遅れ 36.13 ms（37.00 サンプル"))) << strSummary.toStdString();

    EXPECT_EQ(page().phasePlot().valueView().dblLow, -180.0) << "a wrapped phase on its fixed axis";
    page().findChild<QCheckBox*>("chkUnwrapped")->setChecked(true);
    const std::vector<double>& dblPhase = page().phasePlot().curves().front().dblValues;
    for (const std::size_t k : {std::size_t{10}, std::size_t{200}, std::size_t{390}}) {
        EXPECT_NEAR(dblPhase[k], -360.0 * 37.0 * static_cast<double>(k) / dblSampFreq, 2.0) << "line " << k;
    }
    EXPECT_LT(page().phasePlot().valueView().dblLow, -5000.0) << "the unwrapped phase fitted";
}

// Output noise over a filter with a zero at fs / 4: the lines whose coherence is under the threshold
// are exactly the faded ones, on all three plots, drawn pale; a new threshold fades again without
// reading again, and the file's heading follows it.
TEST_F(ViewTransferTest, LinesOfLowCoherenceAreDrawnFaded)
{
    const std::vector<double> dblInput = noise(65536, 3000.0, 5);
    const std::vector<double> dblNoise = noise(65536, 500.0, 6);
    std::vector<double> dblOutput(dblInput.size());
    for (std::size_t n = 0; n < dblInput.size(); ++n) {
        dblOutput[n] = dblInput[n] + (n >= 2 ? dblInput[n - 2] : 0.0) + dblNoise[n];
    }
    open(writePair("notch.csv", dblInput, dblOutput));
    showPage();
    const std::vector<bool> blnLow = lowCoherenceLines();
    ASSERT_EQ(blnLow.size(), 401u);
    for (TransferPlot* plot : {&page().magnitudePlot(), &page().phasePlot(), &page().coherencePlot()}) {
        EXPECT_EQ(plot->fadedLines(), blnLow) << plot->objectName().toStdString();
    }
    EXPECT_TRUE(blnLow[256]) << "the filter's zero";
    EXPECT_FALSE(blnLow[100]);
    const auto lngFaded = std::count(blnLow.begin(), blnLow.end(), true);
    EXPECT_GT(lngFaded, 3);

    // Drawn so: the coherence's full colour where it is trusted, only its pale shade at the zero.
    TransferPlot& plot = page().coherencePlot();
    const QImage image = plot.grab().toImage();
    const auto columnHas = [&](double dblFreq, const QColor& color, int intTolerance) {
        const int intX = static_cast<int>(std::lround(plot.pointOf(dblFreq, 0.0).x() * image.devicePixelRatio()));
        for (int intY = 0; intY < image.height(); ++intY) {
            const QColor pixel = image.pixelColor(intX, intY);
            if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
                    std::abs(pixel.blue() - color.blue()) <=
                intTolerance) {
                return true;
            }
        }
        return false;
    };
    const QColor clrFull(44, 160, 44);
    EXPECT_TRUE(columnHas(100.0, clrFull, 40));
    EXPECT_FALSE(columnHas(256.0, clrFull, 120));

    QSignalSpy started(&transfer(), &TransferDocument::readingStarted);
    page().findChild<QDoubleSpinBox*>("spnCoherenceThreshold")->setValue(0.95);
    EXPECT_EQ(started.count(), 0) << "a threshold needs no new reading";
    const std::vector<bool> blnLower = lowCoherenceLines();
    EXPECT_EQ(page().magnitudePlot().fadedLines(), blnLower);
    EXPECT_GT(std::count(blnLower.begin(), blnLower.end(), true), lngFaded);
    EXPECT_NE(transferShown().result.strHeading.find("coherence threshold=0.95"), std::string::npos);
}

// One segment: the coherence would be 1 on every line, so the page says it has none and never shows 1.
TEST_F(ViewTransferTest, OneSegmentShowsTheRefusalInsteadOfACoherenceOfOne)
{
    const std::vector<double> dblInput = noise(1024 + 300, 3000.0, 7);
    open(writePair("short.csv", dblInput, filtered(dblInput)));
    showPage();
    ASSERT_EQ(transferShown().result.spectra.lngSegments, 1);
    EXPECT_TRUE(page().coherencePlot().curves().empty());
    EXPECT_TRUE(page().magnitudePlot().fadedLines().empty()) << "nothing fades without a coherence";
    clickLine(100);
    const QString strText = page().cursorText();
    EXPECT_TRUE(strText.contains(QStringLiteral("γ² なし（1 区間）"))) << strText.toStdString();
    EXPECT_FALSE(strText.contains(QStringLiteral("γ² 1"))) << strText.toStdString();
    EXPECT_TRUE(
        page().findChild<QLabel*>("lblTransferNote")->text().contains(QStringLiteral("コヒーレンスはありません")));
    EXPECT_FALSE(std::isnan(captured(strText, QStringLiteral("（(-?[0-9.]+) dB）")))) << "H1 still stands";
}

// The file saved from the page, in the units typed and at the threshold set, is the engine's own byte
// for byte; it is proposed beside the recording and never over it. A sensitivity that does not read is
// said and not taken.
TEST_F(ViewTransferTest, TheSavedFileIsTheEnginesByteForByte)
{
    const std::vector<double> dblInput = noise(20000, 3000.0, 8);
    const std::string strPath = writePair("pair.csv", dblInput, filtered(dblInput));
    open(strPath);
    showPage();
    const auto type = [this](const char* strField, const QString& strText) {
        auto* field = page().findChild<QLineEdit*>(QLatin1String(strField));
        field->setText(strText);
        emit field->editingFinished();
    };
    type("txtInputSensitivity", QStringLiteral("22.5 mV/N"));
    type("txtOutputSensitivity", QStringLiteral("100 mA/g"));
    EXPECT_FALSE(page().findChild<QLineEdit*>("txtOutputSensitivity")->styleSheet().isEmpty()) << "turned red";
    EXPECT_TRUE(page().findChild<QLabel*>("lblTransferNote")->text().contains(QStringLiteral("100 mA/g")));
    EXPECT_EQ(transfer().outputUnit().strUnit, "V");
    type("txtOutputSensitivity", QStringLiteral("100 mV/g"));
    page().findChild<QDoubleSpinBox*>("spnCoherenceThreshold")->setValue(0.7);
    clickLine(50);
    EXPECT_TRUE(page().cursorText().contains(QStringLiteral(" g/N"))) << page().cursorText().toStdString();

    const std::string strSaved = dir.file("saved.csv");
    ui.saveChoices = {strPath, strSaved};
    page().saveFileDialog();
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].strInitialFileName, dir.file("pair_FRF.csv"));
    ASSERT_EQ(ui.messages.size(), 1u) << "the recording itself refused";
    EXPECT_EQ(ui.messages[0].strText.find("録音そのものには保存できません"), 0u);

    engine::TransferRequest request;
    request.settings.lngNumSamp = 1024;
    request.lngSampFreq = 1024;
    request.input = engine::ColumnChoice{2, {}};
    request.output = engine::ColumnChoice{3, {}};
    request.inputUnit = engine::parseSensitivity("22.5 mV/N").unit;
    request.outputUnit = engine::parseSensitivity("100 mV/g").unit;
    request.dblCoherenceThreshold = 0.7;
    const engine::TransferFileResult result =
        engine::analyseTransfer(request, strPath, files, sounds, engine::computePI());
    ASSERT_EQ(result.strWritten, dir.file("pair_FRF.csv"));
    EXPECT_EQ(testing::readBytes(strSaved), testing::readBytes(result.strWritten));
}

// The three plots line their left edges up over the one frequency axis, zoom together, and are saved
// as one picture, one above the other.
TEST_F(ViewTransferTest, ThePlotsShareOneFrequencyAxisAndAreSavedTogether)
{
    const std::vector<double> dblInput = noise(20000, 3000.0, 9);
    open(writePair("axes.csv", dblInput, filtered(dblInput)));
    showPage();
    TransferPlot& magnitude = page().magnitudePlot();
    for (TransferPlot* plot : {&page().phasePlot(), &page().coherencePlot()}) {
        EXPECT_EQ(plot->plotArea().left(), magnitude.plotArea().left()) << plot->objectName().toStdString();
        EXPECT_EQ(plot->plotArea().right(), magnitude.plotArea().right()) << plot->objectName().toStdString();
    }
    // The frequencies labelled beneath the lowest only: the others reach down to their ticks.
    const QFontMetrics metrics = magnitude.fontMetrics();
    EXPECT_LT(magnitude.height() - magnitude.plotArea().bottom(), 2 * metrics.height());
    const TransferPlot& coherence = page().coherencePlot();
    EXPECT_GT(coherence.height() - coherence.plotArea().bottom(), 2 * metrics.height());
    magnitude.setFrequencyView({100.0, 200.0});
    EXPECT_EQ(page().coherencePlot().frequencyView().dblLow, 100.0);
    EXPECT_EQ(page().phasePlot().frequencyView().dblHigh, 200.0);

    const QString strPicture = QString::fromStdString(dir.file("axes_FRF.png"));
    ASSERT_TRUE(page().saveImage(strPicture));
    const QImage picture(strPicture);
    EXPECT_EQ(picture.width(), std::max(640, magnitude.width()));
    EXPECT_EQ(picture.height(), magnitude.height() + page().phasePlot().height() + page().coherencePlot().height());
    EXPECT_FALSE(page().saveImage(QString::fromStdString(dir.file("axes.bmp"))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(panel.document().proposedPictureName(QStringLiteral("FRF")), strPicture);
}

// A recording of one signal has no pair: the page says so and reads nothing. Another one's columns are
// offered as it is opened.
TEST_F(ViewTransferTest, ARecordingOfOneSignalHasNoPair)
{
    showPage();
    EXPECT_TRUE(page().findChild<QLabel*>("lblTransferNote")->text().contains(QStringLiteral("録音を開いて")));
    open(writeCounts("one.csv", toneCounts(8192, 1024, 100.0, 6000.0)));
    EXPECT_FALSE(transfer().busy());
    EXPECT_TRUE(
        page().findChild<QLabel*>("lblTransferNote")->text().contains(QStringLiteral("信号が 1 つしかありません")));
    EXPECT_FALSE(page().findChild<QComboBox*>("cboInput")->isEnabled());
    EXPECT_TRUE(page().magnitudePlot().curves().empty());

    const std::vector<double> dblInput = noise(8192, 3000.0, 10);
    open(writePair("two.csv", dblInput, filtered(dblInput)));
    ASSERT_NE(transfer().shown(), nullptr) << "read as the page is shown";
    EXPECT_EQ(page().findChild<QComboBox*>("cboInput")->count(), 3);
    EXPECT_TRUE(ui.messages.empty());
}

// The pair is chosen as the recording is opened: the force and the column after it offered, the pair
// chosen read and shown on the page; opened again, the pair then chosen stands over the page's own.
TEST_F(ViewTransferTest, ThePairIsChosenAsTheRecordingIsOpened)
{
    const std::vector<double> dblInput = noise(8192, 3000.0, 12);
    const std::string strPath = writePair("chosen.csv", dblInput, filtered(dblInput));
    chooser.pairAnswer = SignalPair{3, 2};
    open(strPath);
    EXPECT_EQ(chooser.pairOffered, (SignalPair{2, 3}));
    showPage();
    ASSERT_NE(transfer().shown(), nullptr) << transfer().note().toStdString();
    EXPECT_EQ(transferShown().source.intInput, 3);
    EXPECT_EQ(transferShown().source.intOutput, 2);
    EXPECT_EQ(page().findChild<QComboBox*>("cboInput")->currentText(), QStringLiteral("3: accel"));
    EXPECT_EQ(page().findChild<QComboBox*>("cboOutput")->currentText(), QStringLiteral("2: force"));

    page().findChild<QComboBox*>("cboOutput")->setCurrentIndex(0); // the time column, on the page
    waitForReading();
    chooser.pairAnswer = SignalPair{2, 3};
    open(strPath);
    waitForReading();
    EXPECT_EQ(page().findChild<QComboBox*>("cboOutput")->currentText(), QStringLiteral("3: accel"));
    ASSERT_NE(transfer().shown(), nullptr) << transfer().note().toStdString();
    EXPECT_EQ(transferShown().source.intInput, 2);
    EXPECT_EQ(transferShown().source.intOutput, 3);
    EXPECT_TRUE(ui.messages.empty());
}

// The dialog asks for the pair beneath the part the spectrum shows, and a keyboard alone answers it:
// the parts' list first, Tab to the input and the output.
TEST_F(ViewTransferTest, TheOpeningDialogAsksForThePairToo)
{
    DialogSourceChooser dialogs(&panel);
    SignalPair pair{2, 3};
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(dialog->objectName(), QStringLiteral("dlgRecordingPart"));
        auto* cboInput = dialog->findChild<QComboBox*>("cboPairInput");
        auto* cboOutput = dialog->findChild<QComboBox*>("cboPairOutput");
        ASSERT_NE(cboOutput, nullptr);
        EXPECT_EQ(cboInput->currentText(), QStringLiteral("2: force"));
        EXPECT_EQ(cboOutput->currentText(), QStringLiteral("3: accel"));
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Down); // the spectrum's column: 3
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(dialog->focusWidget(), cboInput);
        QTest::keyClick(cboInput, Qt::Key_Down); // the input: 3
        QTest::keyClick(cboInput, Qt::Key_Tab);
        EXPECT_EQ(dialog->focusWidget(), cboOutput);
        QTest::keyClick(cboOutput, Qt::Key_Up); // the output: 2
        QTest::keyClick(cboOutput, Qt::Key_Return);
    });
    const std::optional<int> intColumn =
        dialogs.chooseColumn(QStringLiteral("pair.csv"), 3, {"time (s)", "force", "accel"}, 2, pair);
    EXPECT_EQ(intColumn, std::optional<int>(3));
    EXPECT_EQ(pair, (SignalPair{3, 2}));

    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget()->focusWidget(), Qt::Key_Escape); });
    SignalPair kept{1, 2};
    EXPECT_EQ(dialogs.chooseChannel(QStringLiteral("pair.wav"), 2, 48000, kept), std::nullopt);
    EXPECT_EQ(kept, (SignalPair{1, 2})) << "a cancel changes nothing";
}

// A plot as short as the phase's keeps two labels or more on a fitted axis, none touching, whatever the
// range its curve spans (a coarse step left one alone: -463 .. 399 in steps of 500).
TEST(TransferPlotAxis, AShortPlotKeepsTwoLabelsApartOnAFittedAxis)
{
    struct Case
    {
        double dblLow;
        double dblHigh;
        int intHeight;
    };
    for (const Case& row : {Case{-440.0, 380.0, 150}, Case{-463.0, 399.0, 110}, Case{-90.0, 80.0, 110},
                            Case{-2900.0, 4100.0, 130}, Case{0.02, 0.07, 120}, Case{-7.0, 7.0, 300}}) {
        SCOPED_TRACE(::testing::Message() << row.dblLow << " .. " << row.dblHigh << ", " << row.intHeight << " px");
        TransferPlot plot; // as the phase's, its frequencies labelled beneath another
        plot.setFrequencyLabels(false);
        plot.setMinimumHeight(0);
        plot.resize(600, row.intHeight);
        std::vector<double> dblValues(101);
        for (std::size_t k = 0; k < dblValues.size(); ++k) {
            dblValues[k] = row.dblLow + (row.dblHigh - row.dblLow) * static_cast<double>(k) / 100.0;
        }
        plot.setValueAxis(QStringLiteral("φ"), std::nullopt);
        plot.setCurves(1.0, {{QStringLiteral("φ"), Qt::blue, dblValues, false}}, {});
        const std::vector<QString> strLabels = plot.valueTickLabels();
        ASSERT_GE(strLabels.size(), 2u);
        const double dblLabelHeight = plot.fontMetrics().height();
        for (std::size_t i = 1; i < strLabels.size(); ++i) {
            const double dblBelow = plot.pointOf(0.0, strLabels[i - 1].toDouble()).y();
            const double dblAbove = plot.pointOf(0.0, strLabels[i].toDouble()).y();
            EXPECT_GE(dblBelow - dblAbove, dblLabelHeight) << strLabels[i].toStdString();
        }
    }
}

// A reading cancelled leaves the page as it was and is not made again until the page is shown again;
// another pair or another window is read again, the summary naming what was read.
TEST_F(ViewTransferTest, ReadingsFollowThePairAndTheSettingsAndACancelHolds)
{
    const std::vector<double> dblInput = noise(200000, 3000.0, 11);
    open(writePair("long.csv", dblInput, filtered(dblInput)));
    panel.pages().setCurrentWidget(&page());
    ASSERT_TRUE(panel.analysing());
    panel.cancelAnalysis();
    waitForReading();
    QApplication::processEvents();
    EXPECT_EQ(transfer().shown(), nullptr);
    EXPECT_FALSE(panel.analysing()) << "a cancel holds";
    panel.pages().setCurrentIndex(0);
    showPage();
    ASSERT_NE(transfer().shown(), nullptr);

    page().findChild<QComboBox*>("cboInput")->setCurrentIndex(2);
    page().findChild<QComboBox*>("cboOutput")->setCurrentIndex(1);
    waitForReading();
    EXPECT_EQ(transferShown().source.intInput, 3);
    EXPECT_EQ(transferShown().source.intOutput, 2);
    choose("cboWindow", static_cast<int>(engine::WindowKind::Hamming));
    EXPECT_EQ(transferShown().source.window, engine::WindowKind::Hamming);
    EXPECT_TRUE(page()
                    .findChild<QLabel*>("lblTransferSummary")
                    ->text()
                    .startsWith(QStringLiteral("入力 3: accel → 出力 2: force　Hamming")))
        << page().findChild<QLabel*>("lblTransferSummary")->text().toStdString();
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace kestrix::ui
