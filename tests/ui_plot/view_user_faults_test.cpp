// SPDX-License-Identifier: GPL-3.0-or-later
// The faults a new user met where the view's pieces meet, with real widgets and real files: a pipe
// that froze the window, cursors kept as line numbers, pictures proposed under another recording's
// name, a key that undid itself, settings that contradicted what was shown, labels that did not follow
// the units, readouts that hid what they measured, a table copied rounded, readouts silent to screen
// readers, and refusals in developer English.
#include "engine/view/readable_number.h"
#include "ui/spectrum/metrics_panel.h"
#include "ui/spectrum/spectrum_panel_text.h"
#include "ui/spectrum/view_document.h"
#include "view_fixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::ui {
namespace {

class ViewUserFaultsTest : public ViewAnalysisTest
{
protected:
    // Cursor and reference placed as the user places them: a line, then D for the reference.
    void placeReference(std::size_t lngLine)
    {
        panel.plot().setFocus();
        panel.plot().setCursorLine(lngLine);
        QTest::keyClick(&panel.plot(), Qt::Key_D);
    }
    // What a screen reader reads as a widget's name.
    static QString spokenName(QWidget* widget)
    {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        return accessible == nullptr ? QString() : accessible->text(QAccessible::Name);
    }
};

// A named pipe has no end: probing it as a sound file blocked the window's thread in open() until a
// writer came. It is refused at once, as a folder is; a watchdog plays the writer if it ever has to.
TEST_F(ViewUserFaultsTest, APipeOrAFolderIsRefusedAtOnceAndNeverWaitedOn)
{
    const std::string strPipe = dir.file("logger.fifo");
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    std::mutex mtxDone;
    std::condition_variable cvDone;
    bool blnDone = false;
    std::atomic<bool> blnUnblocked{false};
    std::thread thrWatchdog([&] {
        std::unique_lock lock(mtxDone);
        if (!cvDone.wait_for(lock, std::chrono::seconds(5), [&] { return blnDone; })) {
            blnUnblocked = true;
            const int fd = ::open(strPipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    });
    const bool blnOpened = panel.openRecording(strPipe);
    {
        const std::lock_guard lock(mtxDone);
        blnDone = true;
    }
    cvDone.notify_all();
    thrWatchdog.join();
    EXPECT_FALSE(blnUnblocked) << "the window waited for a writer to the pipe";
    EXPECT_FALSE(blnOpened);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].strText.find("通常のファイルではありません"), std::string::npos) << ui.messages[0].strText;

    ui.messages.clear();
    EXPECT_FALSE(panel.openRecording(dir.file("")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].strText.find("フォルダです"), std::string::npos) << ui.messages[0].strText;
    EXPECT_FALSE(panel.recording().has_value());
}

// The cursors stand at frequencies: in a recording with other lines the reference reads 25 Hz again,
// one the new recording does not reach goes, and a reference alone draws no empty box.
TEST_F(ViewUserFaultsTest, CursorsKeepTheirFrequencyAcrossRecordingsAndGoWhereThereIsNone)
{
    open(writeCounts("fine.csv", toneCounts(8192, 1024, 25.0, 6000.0)));
    ASSERT_DOUBLE_EQ(panel.document().shown().dblDeltaFreq, 1.0);
    placeReference(25);
    QTest::keyClick(&panel.plot(), Qt::Key_Right);
    ASSERT_DOUBLE_EQ(panel.plot().cursorDelta()->dblFreqA, 25.0);

    fields.strNumSamp = "2048"; // 0.5 Hz lines: 25 Hz is line 50
    open(writeCounts("finer.csv", toneCounts(16384, 1024, 25.0, 6000.0)));
    ASSERT_DOUBLE_EQ(panel.document().shown().dblDeltaFreq, 0.5);
    EXPECT_EQ(panel.plot().referenceLine(), std::optional<std::size_t>(50));
    ASSERT_TRUE(panel.plot().cursorDelta().has_value());
    EXPECT_DOUBLE_EQ(panel.plot().cursorDelta()->dblFreqA, 25.0);
    EXPECT_DOUBLE_EQ(panel.plot().cursorDelta()->dblFreqB, 26.0);
    EXPECT_TRUE(panel.plot().readoutText().contains(QStringLiteral("基準 25.0 Hz")))
        << panel.plot().readoutText().toStdString();

    // 300 Hz lies beyond a recording sampled at 512 Hz (lines to 200 Hz): the reference goes.
    placeReference(600);
    fields.strSampFreq = "512";
    fields.strNumSamp = "1024";
    open(writeCounts("slow.csv", toneCounts(8192, 512, 25.0, 6000.0)));
    EXPECT_FALSE(panel.plot().referenceLine().has_value());
    EXPECT_FALSE(panel.document().referenceHz().has_value());

    // A reference without a cursor: no readout, and no empty box in the plot's corner.
    panel.plot().setCursorLine(std::nullopt);
    panel.plot().setReferenceLine(30);
    EXPECT_TRUE(panel.plot().readoutArea().isEmpty());
    QImage image(panel.plot().size(), QImage::Format_RGB32);
    QPainter painter(&image);
    panel.plot().paintPlot(painter, image.rect());
    const QRect area = panel.plot().plotArea();
    EXPECT_NE(image.pixelColor(area.left() + 8, area.top() + 20), QColor(170, 170, 170));
}

// The picture is proposed beside the recording shown, under its name, naming the segment shown: never
// spectrum.png in the working folder, nor the run's name for another recording's segment.
TEST_F(ViewUserFaultsTest, APictureIsProposedBesideTheRecordingShownAndNamesItsSegment)
{
    engine::RunSpectra run;
    run.strBaseName = dir.file("motor");
    run.dblDeltaFreq = 1.0;
    run.dblVolts.assign(401, 1e-3);
    panel.showRun(run);
    EXPECT_EQ(panel.proposedImageName().toStdString(), dir.file("motor") + "_SPC.png");
    open(writeCounts("logger.csv", toneCounts(8192, 1024, 25.0, 6000.0)));
    EXPECT_EQ(panel.proposedImageName().toStdString(), dir.file("logger") + "_SPC.png");
    panel.showSegment(3);
    waitForReading();
    ASSERT_EQ(panel.shownSegment(), std::optional<std::int64_t>(3));
    ui.saveChoices = {std::nullopt};
    control<QPushButton>("cmdSavePlot")->click();
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].strInitialFileName, dir.file("logger") + "_seg3_SPC.png");
}

// Typing a speed and pressing Alt+O turns the orders on: the focus leaving the field no longer turns
// them on first, for the key to turn them off again.
TEST_F(ViewUserFaultsTest, AltOAfterTypingASpeedShowsOrders)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 25.0, 6000.0)));
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    auto* txtSpeed = control<QLineEdit>("txtRunningSpeed");
    txtSpeed->setFocus();
    QTest::keyClicks(txtSpeed, QStringLiteral("1500"));
    QTest::keyClick(panel.windowHandle(), Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(control<QCheckBox>("chkOrders")->isChecked());
    QTest::qWait(QApplication::doubleClickInterval()); // the mnemonic's click has certainly ended
    EXPECT_TRUE(control<QCheckBox>("chkOrders")->isChecked());
    ASSERT_TRUE(panel.plot().runningSpeed().has_value());
    EXPECT_DOUBLE_EQ(panel.plot().runningSpeed()->dblHz, 25.0);
    EXPECT_TRUE(panel.plot().frequencyAxisTitle().startsWith(QStringLiteral("次数")));
}

// What the settings say agrees with what is shown: the single block has no window, it is offered only
// for the run's own recording, the recording's own rate, N and spacing stand beside its name and its
// column's heading, and the chooser offers the data beside a time column first.
TEST_F(ViewUserFaultsTest, TheSettingsShownAgreeWithTheRecordingShown)
{
    std::string strText = "time (s),accel\r\n";
    for (const double dblCount : toneCounts(8192, 1024, 25.0, 6000.0)) {
        strText += "0.5," + engine::generalNumberText(dblCount) + "\r\n";
    }
    const std::string strPath = dir.file("logger.csv");
    testing::writeBytes(strPath, strText);
    chooser.intAnswer = 2;
    open(strPath);
    EXPECT_EQ(chooser.intSuggested, 2) << "the data beside the time column is offered first";
    const QString strRecording = control<QLabel>("lblAnalysis")->text();
    EXPECT_TRUE(strRecording.contains(QStringLiteral("（列 2：accel）"))) << strRecording.toStdString();
    EXPECT_TRUE(strRecording.contains(QStringLiteral("1024 Hz、N = 1024、Δf = 1 Hz"))) << strRecording.toStdString();

    auto* cboAveraging = control<QComboBox>("cboAveraging");
    auto* model = qobject_cast<QStandardItemModel*>(cboAveraging->model());
    ASSERT_NE(model, nullptr);
    const int intBlock = cboAveraging->findData(static_cast<int>(ViewAveraging::SingleBlock));
    EXPECT_FALSE(model->item(intBlock)->isEnabled()) << "no block was written for a recording opened in the view";

    // The run's own recording: the block is offered; shown, the window list says 窓なし and a window
    // chosen there asks for the average with it.
    engine::RunSpectra run;
    run.strFileName = writeCounts("run.csv", toneCounts(8192, 1024, 25.0, 6000.0));
    run.dblDeltaFreq = 1.0;
    run.lngNumSamp = 1024;
    run.lngSampFreq = 1024;
    run.dblMaxVolt = 5.0;
    run.dblVolts.assign(401, 1e-3);
    panel.showRun(run);
    waitForReading();
    EXPECT_TRUE(model->item(intBlock)->isEnabled());
    choose("cboAveraging", static_cast<int>(ViewAveraging::SingleBlock));
    auto* cboWindow = control<QComboBox>("cboWindow");
    EXPECT_EQ(cboWindow->currentData().toInt(), static_cast<int>(engine::WindowKind::Rect));
    EXPECT_EQ(panel.settings().window, engine::WindowKind::Hann) << "the average's window is kept";
    EXPECT_NE(cboWindow->palette().color(QPalette::ButtonText), panel.palette().color(QPalette::ButtonText));
    choose("cboWindow", static_cast<int>(engine::WindowKind::FlatTop));
    EXPECT_EQ(panel.settings().averaging, ViewAveraging::Mean);
    EXPECT_EQ(panel.settings().window, engine::WindowKind::FlatTop);
}

// The logarithmic scale's box names the decibels the axis reads.
TEST_F(ViewUserFaultsTest, TheLogarithmicScalesBoxNamesTheUnitsDecibels)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 25.0, 6000.0)));
    auto* chkLogScale = control<QCheckBox>("chkLogScale");
    EXPECT_EQ(chkLogScale->text(), QStringLiteral("対数目盛 (dBV)"));
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Psd));
    chkLogScale->setChecked(true);
    EXPECT_EQ(panel.plot().amplitudeAxisTitle(), QStringLiteral("PSD [dB re 1 V²/Hz]"));
    EXPECT_EQ(chkLogScale->text(), QStringLiteral("対数目盛 (dB re 1 V²/Hz)"));
}

// Between two tones on their lines under Hann the band sum counts each end tone's lobe in part; the
// readout says which sum it gives and adds the two tones' power as a user adds it.
TEST_F(ViewUserFaultsTest, TheDeltaReadoutSaysWhichSumItGivesAndAddsTheTwoTones)
{
    std::vector<double> dblCounts = toneCounts(65536, 1024, 100.0, 6000.0);
    const std::vector<double> dblSecond = toneCounts(65536, 1024, 160.0, 3000.0);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] += dblSecond[n];
    }
    open(writeCounts("tones.csv", dblCounts));
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    placeReference(100);
    panel.plot().setCursorLine(160);
    const std::optional<engine::CursorDelta> delta = panel.plot().cursorDelta();
    ASSERT_TRUE(delta.has_value() && delta->dblToneSumRms.has_value());
    const double dblTruth = std::sqrt((6000.0 * 6000.0 + 3000.0 * 3000.0) / 2.0) * dblVoltsPerCount;
    EXPECT_NEAR(*delta->dblToneSumRms / dblTruth, 1.0, 1e-3);
    EXPECT_LT(*delta->dblBandRms / dblTruth, 0.97) << "the band's sum counts the end lines' lobes in part";
    const QString strReadout = panel.plot().readoutText();
    EXPECT_TRUE(strReadout.contains(QStringLiteral("61 本の線のパワーの和"))) << strReadout.toStdString();
    EXPECT_TRUE(strReadout.contains(QStringLiteral("2 トーンの和 ") + voltsText(*delta->dblToneSumRms)))
        << strReadout.toStdString();

    // Drawn where it hides neither tone's peak, inside the plot.
    const QRect box = panel.plot().readoutArea();
    ASSERT_FALSE(box.isEmpty());
    EXPECT_TRUE(panel.plot().plotArea().contains(box));
    for (const double dblFreq : {100.0, 160.0}) {
        const auto lngLine = static_cast<std::size_t>(dblFreq);
        const QPointF ptPeak = panel.plot().pointOf(dblFreq, panel.plot().traces().front().dblVolts[lngLine]);
        EXPECT_FALSE(box.adjusted(-2, -2, 2, 2).contains(ptPeak.toPoint())) << dblFreq << " Hz hidden";
    }
}

// The table's copy is as exact as the lines' values, headed in the units shown.
TEST_F(ViewUserFaultsTest, ThePeakTableIsCopiedExactlyInTheUnitsShown)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 25.3, 6000.0)));
    ASSERT_FALSE(panel.peaks().empty());
    const engine::SpectrumPeak& peak = panel.peaks().front();
    const QStringList strLines = panel.peakTableText().split(QLatin1Char('\n'));
    EXPECT_TRUE(strLines[0].contains(QStringLiteral("振幅 [V p-p]"))) << strLines[0].toStdString();
    const QStringList strCells = strLines[1].split(QLatin1Char('\t'));
    ASSERT_EQ(strCells.size(), 5);
    EXPECT_EQ(strCells[3].toStdString(), engine::generalNumberText(peak.dblEstimatedFreq));
    EXPECT_EQ(strCells[4].toStdString(), engine::generalNumberText(peak.dblEstimatedVolts));
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    EXPECT_TRUE(panel.peakTableText().startsWith(QStringLiteral("順位\t周波数 [Hz]\t振幅 [V rms]")));
}

// Labels whose text changes are read by their text: a screen reader hears the value, not a fixed name.
TEST_F(ViewUserFaultsTest, ChangingReadoutsAreReadByTheirText)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 100.0, 6000.0)));
    control<QCheckBox>("chkMetrics")->setChecked(true);
    waitForReading();
    const QPoint ptPeak = panel.plot().pointOf(100.0, 0.0).toPoint();
    QTest::mouseClick(&panel.plot(), Qt::LeftButton, {}, QPoint(ptPeak.x(), panel.plot().plotArea().center().y()));
    EXPECT_TRUE(spokenName(control<QLabel>("lblCursor")).contains(QStringLiteral("100 Hz")))
        << spokenName(control<QLabel>("lblCursor")).toStdString();
    EXPECT_TRUE(spokenName(control<QLabel>("lblAnalysis")).contains(QStringLiteral("motor.csv")));
    EXPECT_EQ(spokenName(control<QLabel>("lblSpectrogramCursor")), control<QLabel>("lblSpectrogramCursor")->text());
    EXPECT_EQ(spokenName(control<QLabel>("lblMetricsStatus")), control<QLabel>("lblMetricsStatus")->text());
}

// Refusals name the line, the field and the text in the view's language; a decimal comma is said so.
TEST_F(ViewUserFaultsTest, RefusalsAreWordedInJapaneseWithTheirFacts)
{
    std::string strText = "time;value\r\n";
    std::string strCommas = "time;value\r\n";
    for (int n = 0; n < 5000; ++n) {
        strText += "0.5;" + (n == 3000 ? std::string("n/a") : std::to_string(n % 7)) + "\r\n";
        strCommas += "0,5;1," + std::to_string(n % 7) + "\r\n";
    }
    const std::string strNa = dir.file("logger_na.csv");
    testing::writeBytes(strNa, strText);
    const std::string strComma = dir.file("logger_comma.csv");
    testing::writeBytes(strComma, strCommas);
    chooser.intAnswer = 2;
    ASSERT_TRUE(panel.openRecording(strNa));
    waitForReading();
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& strMessage = ui.messages[0].strText;
    EXPECT_NE(strMessage.find("3002 行目の 2 列目「n/a」は数値ではありません"), std::string::npos) << strMessage;
    EXPECT_EQ(strMessage.find("line"), std::string::npos) << strMessage;
    ui.messages.clear();
    EXPECT_FALSE(panel.openRecording(strComma));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].strText.find("小数点にコンマ"), std::string::npos) << ui.messages[0].strText;
}

// The spectrogram's time axis shows where the recording starts and ticks on to its end; a top typed
// below the floor is said to be refused.
TEST_F(ViewUserFaultsTest, TheSpectrogramsTimeAxisSpansTheRecordingAndARefusedLevelIsSaid)
{
    fields.strNumSamp = "16384";
    fields.strSampFreq = "8192";
    open(writeCounts("minute.csv", toneCounts(60 * 8192, 8192, 100.0, 6000.0, 20.0)));
    SpectrogramPlot& plot = panel.spectrogramPlot();
    panel.pages().setCurrentIndex(1);
    plot.resize(420, 300);
    const std::vector<QString> strTimes = plot.timeTickLabels();
    ASSERT_GE(strTimes.size(), 4u);
    EXPECT_NEAR(strTimes.front().toDouble(), plot.view().dblLowTime, 0.05);
    EXPECT_NEAR(strTimes.back().toDouble(), plot.view().dblHighTime, 0.05);
    EXPECT_GT(strTimes.back().toDouble(), 59.0);

    auto* spnTop = control<QDoubleSpinBox>("spnLevelTop");
    spnTop->setValue(plot.levelRange().dblFloor - 10.0);
    EXPECT_TRUE(control<QLabel>("lblSpectrogramCursor")->text().contains(QStringLiteral("上限")))
        << control<QLabel>("lblSpectrogramCursor")->text().toStdString();
    EXPECT_GT(plot.levelRange().dblTop, plot.levelRange().dblFloor);
}

// The converter figures show their values whole from the first time they appear.
TEST_F(ViewUserFaultsTest, TheConverterFiguresAreShownWholeWhenTheyFirstAppear)
{
    open(writeCounts("motor.csv", toneCounts(65536, 1024, 100.0, 20000.0, 3.0)));
    control<QCheckBox>("chkMetrics")->setChecked(true);
    waitForReading();
    QApplication::processEvents();
    QTableWidget& table = panel.findChild<MetricsPanel*>()->table();
    ASSERT_GT(table.rowCount(), 3);
    for (int intRow = 0; intRow < table.rowCount(); ++intRow) {
        const QString strValue = table.item(intRow, 1)->text();
        SCOPED_TRACE(strValue.toStdString());
        const int intWidth = table.columnWidth(1) - 2 * table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) - 2;
        const QRect needed = table.fontMetrics().boundingRect(QRect(0, 0, intWidth, 10000), Qt::TextWordWrap, strValue);
        EXPECT_LE(needed.height(), table.rowHeight(intRow)) << "cut in a column " << table.columnWidth(1) << " wide";
    }
}

// However narrow the plot, its frequency labels never run together.
TEST_F(ViewUserFaultsTest, FrequencyLabelsKeepApartOnANarrowPlot)
{
    fields.strSampFreq = "48000";
    open(writeCounts("wide.csv", toneCounts(16384, 48000, 1000.0, 6000.0)));
    for (const int intWidth : {260, 340, 480, 900}) {
        SCOPED_TRACE(intWidth);
        SpectrumPlot& plot = panel.plot();
        plot.setMinimumWidth(0);
        plot.setFixedWidth(intWidth);
        QApplication::processEvents();
        const std::vector<QString> strLabels = plot.frequencyTickLabels();
        ASSERT_GE(strLabels.size(), 2u);
        double dblRightOfLast = -1e9;
        for (const QString& strLabel : strLabels) {
            const double dblX = plot.pointOf(strLabel.toDouble(), 0.0).x();
            const double dblHalf = plot.fontMetrics().horizontalAdvance(strLabel) / 2.0;
            EXPECT_GT(dblX - dblHalf, dblRightOfLast) << strLabel.toStdString();
            dblRightOfLast = dblX + dblHalf;
        }
    }
    panel.plot().setMinimumWidth(240);
    panel.plot().setMaximumWidth(QWIDGETSIZE_MAX);
}

// Harmonic markers of a low fundamental are bounded, not fifty over the whole plot.
TEST_F(ViewUserFaultsTest, HarmonicMarkersOfALowFundamentalAreBounded)
{
    open(writeCounts("motor.csv", toneCounts(8192, 1024, 8.0, 6000.0)));
    control<QCheckBox>("chkHarmonics")->setChecked(true);
    EXPECT_EQ(panel.plot().harmonics().size(), 20u);
    EXPECT_NEAR(panel.plot().harmonics().back(), 160.0, 1.0);
}

} // namespace
} // namespace kestrix::ui
