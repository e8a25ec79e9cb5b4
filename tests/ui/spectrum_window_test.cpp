// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view inside the program's window, with the keyboard alone, at its smallest and a large
// size, and with Qt's own dialogs in the user's language.

#include "ui/kestrix_window.h"
#include "ui/qt_translations.h"
#include "ui/spectrum/octave_document.h"
#include "ui/spectrum/source_chooser.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"
#include "ui/spectrum/transfer_document.h"
#include "ui/spectrum/transfer_page.h"
#include "ui/spectrum/transfer_plot.h"
#include "ui/spectrum/view_document.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>

#include <cmath>
#include <numbers>

namespace kestrix::testing {
namespace {

class SpectrumWindowTest : public WindowFixture<ui::KestrixWindow>
{
protected:
    ui::SpectrumPanel& panel() const
    {
        return window->spectrum();
    }
    // Runs the analysis through FFT on 1024 counts of tones at 100 and 160 Hz (1024 Hz).
    void runTones()
    {
        const QString strPath = folder.filePath(QStringLiteral("tones.csv"));
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1024; ++i) {
            const double dblPhase = 2 * std::numbers::pi * i / 1024.0;
            const long lngCount = std::lround(8000 * std::sin(100 * dblPhase) + 3000 * std::sin(160 * dblPhase));
            file.write(QByteArray::number(static_cast<qlonglong>(lngCount)) + "\r\n");
        }
        file.close();
        fakeUi.choices = {strPath.toStdString()};
        QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
        ASSERT_EQ(fakeUi.messages.back().strText, "FFT 終了！");
        fakeUi.messages.clear();
    }
    // A key as the window system delivers it, so the window's shortcuts see it.
    void pressKeys(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }

    QTemporaryDir folder;
};

TEST_F(SpectrumWindowTest, TabWalksTheViewOnceLeavesThePeakTableAndComesBackToFft)
{
    runTones();
    ASSERT_GE(panel().peakTable().rowCount(), 2);
    // The run's recording is read again off the window's thread; its cancel button is on meanwhile.
    QTRY_VERIFY(!panel().analysing());
    find<QPushButton>("cmdFFT")->setFocus();
    for (int i = 0; i < 11; ++i) {
        pressTab(); // through the window's own controls
    }
    // The measurements' controls stand in the tool row (taking the cursor's line as the running speed is
    // off without a cursor; the converter figures and the condition measures beside the plot are hidden
    // until asked for).
    const QStringList strView = {"chkLogScale",        "chkLogFrequency", "cmdResetZoom",    "cmdOpenReference",
                                 "cboReferences",      "cmdSavePlot",     "txtRunningSpeed", "cboSpeedUnit",
                                 "chkOrders",          "chkEnvelope",     "txtEnvelopeLow",  "txtEnvelopeHigh",
                                 "txtDefectFrequency", "chkMetrics",      "chkLevels",       "pltSpectrum",
                                 "spnPeakThreshold",   "cmdCopyPeaks",    "chkHarmonics",    "tblPeaks"};
    for (const QString& strExpected : strView) {
        EXPECT_EQ(focusName(), strExpected);
        pressTab();
    }
    // Then the analysis group (saving an average and cancelling are off in the run's single block, the
    // high-pass is off as recorded), and the page tabs.
    const QStringList strAnalysis = {"cboWindow",   "cboAveraging",   "cboOverlap",          "cboDetrend",
                                     "cboUnits",    "txtSensitivity", "txtCalibrationLevel", "cmdCalibrate",
                                     "cboQuantity", "txtDbReference", "cmdOpenRecording",    "tabPagesBar"};
    EXPECT_EQ(focusName(), strAnalysis.front()) << "Tab leaves the table";
    for (const QString& strExpected : strAnalysis) {
        EXPECT_EQ(focusName(), strExpected);
        pressTab();
    }
    EXPECT_EQ(focusName(), "cmdFFT");

    QWidget* table = &panel().peakTable();
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    const int intRow = panel().peakTable().currentRow();
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(panel().peakTable().currentRow(), intRow + 1) << "the arrows move within the table";
    EXPECT_EQ(focusName(), "tblPeaks");
    QTest::keyClick(table, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), "chkHarmonics") << "Shift+Tab leaves it backwards";
    pressTab();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    pressTab();
    EXPECT_EQ(focusName(), "cboWindow");
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(SpectrumWindowTest, EveryViewControlIsNamedForCodeAndForAssistiveTools)
{
    int lngControls = 0;
    for (QWidget* widget : panel().findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) == 0 || qobject_cast<QScrollBar*>(widget) != nullptr ||
            widget->window() != window.get() || // the list's popup
            widget->parentWidget() == nullptr || qobject_cast<QAbstractItemView*>(widget->parentWidget()) ||
            widget->inherits("QLineEdit")) { // the spin box's own editor
            continue;
        }
        SCOPED_TRACE(std::string(widget->metaObject()->className()) + " in " +
                     widget->parentWidget()->objectName().toStdString());
        ++lngControls;
        EXPECT_FALSE(widget->objectName().isEmpty());
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_GE(lngControls, 11);
}

TEST_F(SpectrumWindowTest, ShortcutsReachTheViewsCommandsWithoutTakingTheFieldsKeys)
{
    typeInto("txtSampFreq", QStringLiteral("1024"));
    pressKeys(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(fakeUi.saveRequests.empty()) << "nothing plotted, nothing to save";
    pressKeys(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(fakeUi.requests.size(), 1u);
    EXPECT_EQ(fakeUi.requests[0].strTitle, "参照スペクトルを開く");

    // Ctrl+C in a field still copies the field.
    field("txtSampFreq")->setFocus();
    field("txtSampFreq")->selectAll();
    pressKeys(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("1024"));

    runTones();
    field("txtSampFreq")->setFocus();
    pressKeys(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), panel().peakTableText());
    pressKeys(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(fakeUi.saveRequests.size(), 1u);
    panel().plot().setView({100.0, 150.0, 0.0, 1.0});
    pressKeys(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(panel().plot().view().dblLowFreq, 0.0);
    EXPECT_EQ(panel().plot().view().dblHighFreq, 400.0);
    EXPECT_EQ(field("txtSampFreq")->text(), QStringLiteral("1024"));
    EXPECT_TRUE(fakeUi.messages.empty());
}

// Also run at twice the scale on a 1600 x 1000 screen (see CMakeLists.txt).
class KestrixWindowSize : public SpectrumWindowTest
{
protected:
    // Whether every control of the view has at least the room its text needs.
    void expectNothingClipped()
    {
        QApplication::processEvents();
        EXPECT_GE(panel().width(), panel().minimumSizeHint().width());
        EXPECT_GE(panel().height(), panel().minimumSizeHint().height());
        for (QWidget* control : panel().findChildren<QWidget*>()) {
            // (A tab bar's scroll arrows are drawn narrower than their hint by Qt itself: they hold no text.)
            const bool blnText =
                (qobject_cast<QAbstractButton*>(control) != nullptr &&
                 qobject_cast<QTabBar*>(control->parentWidget()) == nullptr) ||
                (qobject_cast<QLabel*>(control) != nullptr && !qobject_cast<QLabel*>(control)->wordWrap());
            if (!control->isVisible() || !blnText) {
                continue;
            }
            SCOPED_TRACE(control->objectName().toStdString());
            EXPECT_GE(control->width(), control->sizeHint().width());
            EXPECT_GE(control->height(), control->minimumSizeHint().height());
        }
        const QTableWidget& table = panel().peakTable();
        const QAbstractItemView& view = table;
        int intColumns = 0;
        for (int intColumn = 0; intColumn < table.columnCount(); ++intColumn) {
            SCOPED_TRACE(intColumn);
            EXPECT_GE(table.columnWidth(intColumn), view.sizeHintForColumn(intColumn));
            EXPECT_GE(table.columnWidth(intColumn), table.horizontalHeader()->sectionSizeHint(intColumn));
            intColumns += table.columnWidth(intColumn);
        }
        EXPECT_LE(intColumns, table.viewport()->width()) << "no column lost off the edge";
    }
    // At 1024 x 700, or what the screen has, every control shown stands within the view's width.
    // lngAtLeast: the controls the page in front must show.
    void expectReachedAt1024By700(int lngAtLeast = 20)
    {
        const QSize sizFrame(16, 48); // a title bar and borders
        const QRect available = window->screen()->availableGeometry();
        window->resize(std::min(1024, available.width()) - sizFrame.width(),
                       std::min(700, available.height()) - sizFrame.height());
        QApplication::processEvents();
        auto* scroller = find<QScrollArea>("scrSpectrum");
        ASSERT_NE(scroller, nullptr);
        EXPECT_EQ(scroller->horizontalScrollBar()->maximum(), 0) << "the view is wider than its room";
        int lngControls = 0;
        for (QWidget* control : panel().findChildren<QWidget*>()) {
            if (!control->isVisibleTo(&panel()) || (control->focusPolicy() & Qt::TabFocus) == 0 ||
                control->window() != window.get() || qobject_cast<QScrollBar*>(control) != nullptr) {
                continue;
            }
            SCOPED_TRACE(control->objectName().toStdString());
            const QPoint ptLeft = control->mapTo(scroller->viewport(), QPoint(0, 0));
            EXPECT_GE(ptLeft.x(), 0);
            EXPECT_LE(ptLeft.x() + control->width(), scroller->viewport()->width());
            ++lngControls;
        }
        EXPECT_GE(lngControls, lngAtLeast);
        expectNothingClipped();
    }
};

// Answers the column question with the first column of numbers after the time column.
class FirstColumnOfNumbers final : public ui::SourceChooser
{
public:
    std::optional<int> chooseColumn(const QString&, int, const std::vector<QString>&, int intSuggested,
                                    ui::SignalPair&) override
    {
        return intSuggested;
    }
    std::optional<int> chooseChannel(const QString&, int, int, ui::SignalPair&) override
    {
        return 1;
    }
};

TEST_F(KestrixWindowSize, OpensWithinTheScreensFreeAreaAndShrinksWithoutClipping)
{
    runTones();
    const QRect available = window->screen()->availableGeometry();
    EXPECT_LE(window->frameGeometry().width(), available.width());
    EXPECT_LE(window->frameGeometry().height(), available.height());
    expectNothingClipped();

    window->resize(1, 1); // as small as it goes
    QApplication::processEvents();
    EXPECT_LT(window->width(), available.width());
    EXPECT_EQ(find<QWidget>("frmMain")->geometry().topLeft(), QPoint(0, 0));
    expectNothingClipped();
    auto* scroller = find<QScrollArea>("scrSpectrum");
    ASSERT_NE(scroller, nullptr);
    scroller->ensureWidgetVisible(find<QWidget>("chkHarmonics"));
    QApplication::processEvents();
    const QPoint ptCorner = find<QWidget>("chkHarmonics")->mapTo(scroller->viewport(), QPoint(0, 0));
    EXPECT_TRUE(scroller->viewport()->rect().contains(ptCorner))
        << "every control can be scrolled into view: " << ptCorner.x() << "," << ptCorner.y() << " in "
        << scroller->viewport()->width() << "x" << scroller->viewport()->height();
}

TEST_F(KestrixWindowSize, ThePeakTablesColumnsFillAWideWindow)
{
    runTones();
    window->resize(2 * window->width(), window->height());
    QApplication::processEvents();
    const QTableWidget& table = panel().peakTable();
    int intColumns = 0;
    for (int intColumn = 0; intColumn < table.columnCount(); ++intColumn) {
        intColumns += table.columnWidth(intColumn);
    }
    EXPECT_GE(intColumns, table.viewport()->width() - 1);
    EXPECT_LE(intColumns, table.viewport()->width());
    expectNothingClipped();
}

// At 1024 x 700 (and, run at twice the scale, in the 800 x 500 a 1600 x 1000 screen then has) every
// control of every page of the view lies within the view's width: only a vertical scroll bar may be
// needed to reach it, and none is cut.
TEST_F(KestrixWindowSize, EveryControlIsReachedWithoutAHorizontalScrollBar)
{
    runTones();
    QTRY_VERIFY(!panel().analysing());
    for (int intPage = 0; intPage < panel().pages().count(); ++intPage) {
        SCOPED_TRACE(panel().pages().tabText(intPage).toStdString());
        panel().pages().setCurrentIndex(intPage);
        // The page's own analysis (the octave bands) done, so its tables hold what they show.
        QTRY_VERIFY(!panel().analysing() && !panel().document().octave().analysing());
        const bool blnOctave = panel().pages().widget(intPage)->inherits("kestrix::ui::OctavePage");
        expectReachedAt1024By700(intPage == 0 ? 20 : blnOctave ? 10 : 1);
    }
}

// The two-channel page of a two-column recording at the same size: its controls reached without a
// horizontal scroll bar, and no two tick labels of its plots touch.
TEST_F(KestrixWindowSize, TheTwoChannelPageFitsAndItsLabelsKeepApart)
{
    const QString strPath = folder.filePath(QStringLiteral("pair.csv"));
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("time (s),force,accel\r\n");
    // The response of a filter three samples late: an unwrapped phase of more than a turn.
    constexpr int intLate = 3;
    std::vector<double> dblForce(16384);
    std::vector<double> dblResponse(dblForce.size());
    double dblPrevious = 0.0;
    for (std::size_t n = 0; n < dblForce.size(); ++n) {
        const auto dblN = static_cast<double>(n);
        dblForce[n] = 3000.0 * std::sin(0.37 * dblN * dblN); // broadband enough for a response
        dblPrevious = 0.6 * (n >= intLate ? dblForce[n - intLate] : 0.0) + 0.5 * dblPrevious;
        dblResponse[n] = dblPrevious;
    }
    for (std::size_t n = 0; n < dblForce.size(); ++n) {
        file.write(QByteArray::number(n) + ',' + QByteArray::number(std::lround(dblForce[n])) + ',' +
                   QByteArray::number(std::lround(dblResponse[n])) + "\r\n");
    }
    file.close();
    FirstColumnOfNumbers chooser;
    panel().setSourceChooser(chooser);
    ASSERT_TRUE(panel().openRecording(strPath.toStdString()));
    auto* page = panel().findChild<ui::TransferPage*>();
    ASSERT_NE(page, nullptr);
    panel().pages().setCurrentWidget(page);
    QTRY_VERIFY(!panel().analysing());
    ASSERT_NE(panel().document().transfer().shown(), nullptr)
        << page->findChild<QLabel*>("lblTransferNote")->text().toStdString();
    expectReachedAt1024By700();
    const auto expectLabelsApart = [](const ui::TransferPlot& plot) {
        SCOPED_TRACE(plot.objectName().toStdString());
        const QFontMetrics metrics = plot.fontMetrics();
        const std::vector<QString> strValues = plot.valueTickLabels();
        ASSERT_GE(strValues.size(), 2u) << plot.valueView().dblLow << " .. " << plot.valueView().dblHigh;
        double dblAboveLast = 1e9;
        for (const QString& strLabel : strValues) { // from the bottom up
            const double dblY = plot.pointOf(100.0, strLabel.toDouble()).y();
            EXPECT_LT(dblY + metrics.height() / 2.0, dblAboveLast) << strLabel.toStdString();
            dblAboveLast = dblY - metrics.height() / 2.0;
        }
    };
    for (const ui::TransferPlot* plot : {&page->magnitudePlot(), &page->phasePlot(), &page->coherencePlot()}) {
        expectLabelsApart(*plot);
    }
    page->findChild<QCheckBox*>("chkUnwrapped")->setChecked(true);
    ASSERT_LT(page->phasePlot().valueView().dblLow, -360.0);
    expectLabelsApart(page->phasePlot());
    const ui::TransferPlot& lowest = page->coherencePlot();
    const std::vector<QString> strFreqs = lowest.frequencyTickLabels();
    ASSERT_GE(strFreqs.size(), 3u);
    double dblRightOfLast = -1e9;
    for (const QString& strLabel : strFreqs) {
        const double dblX = lowest.pointOf(strLabel.toDouble(), 0.5).x();
        const double dblHalf = lowest.fontMetrics().horizontalAdvance(strLabel) / 2.0;
        EXPECT_GT(dblX - dblHalf, dblRightOfLast) << strLabel.toStdString();
        dblRightOfLast = dblX + dblHalf;
    }
    EXPECT_TRUE(fakeUi.messages.empty());
}

// The same with an accelerometer read as velocity and the condition measures shown: the longer units,
// the status under the sensor's fields and the measures' table stay within the width.
TEST_F(KestrixWindowSize, TheSensorsFieldsAndMeasuresStayWithinTheWidth)
{
    runTones();
    QTRY_VERIFY(!panel().analysing());
    auto* sensitivity = find<QLineEdit>("txtSensitivity");
    ASSERT_NE(sensitivity, nullptr);
    sensitivity->setText(QStringLiteral("100 mV/g"));
    emit sensitivity->editingFinished();
    auto* quantity = find<QComboBox>("cboQuantity");
    quantity->setCurrentIndex(quantity->findData(static_cast<int>(engine::Quantity::Velocity)));
    find<QCheckBox>("chkLevels")->setChecked(true);
    QTRY_VERIFY(!panel().analysing());
    ASSERT_EQ(panel().document().settings().quantity.quantity, engine::Quantity::Velocity);
    expectReachedAt1024By700();
}

TEST(QtTranslations, QtsDialogsSpeakTheUsersLanguageOrStayEnglish)
{
    const auto lookInText = [] {
        QFileDialog dialog(nullptr);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const auto* lblLookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        return lblLookIn == nullptr ? QString() : lblLookIn->text();
    };
    const QString strEnglish = lookInText();
    ASSERT_FALSE(strEnglish.isEmpty());

    QTranslator* translator = ui::installQtTranslations(*qApp, QLocale(QLocale::Japanese, QLocale::Japan));
    if (translator == nullptr) {
        GTEST_SKIP() << "Qt's Japanese translations are not installed (qt6-translations-l10n)";
    }
    const QString strJapanese = lookInText();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_NE(strJapanese, strEnglish);
    EXPECT_TRUE(std::any_of(strJapanese.begin(), strJapanese.end(), [](QChar chr) { return chr.unicode() > 0x3000; }))
        << strJapanese.toStdString();

    QTemporaryDir empty;
    EXPECT_EQ(ui::installQtTranslations(*qApp, QLocale(QLocale::Japanese, QLocale::Japan), empty.path()), nullptr);
    EXPECT_EQ(lookInText(), strEnglish) << "without a translation Qt's texts stay English";
}

} // namespace
} // namespace kestrix::testing
