// SPDX-License-Identifier: GPL-3.0-or-later
// The view's octave page with real widgets: generated tones and bursts read through the view, their
// band levels, overall levels and level trace against the tones' own levels and the standards' numbers,
// the band cursor, the table saved as the engine writes it, and the analysis's cancel.
#include "engine/recordings/octave_analysis.h"
#include "ui/spectrum/level_trace_plot.h"
#include "ui/spectrum/octave_document.h"
#include "ui/spectrum/octave_page.h"
#include "ui/spectrum/octave_plot.h"
#include "ui/spectrum/view_document.h"
#include "view_fixture.h"

#include <QFile>
#include <QLabel>

namespace kestrix::ui {
namespace {

constexpr double dblRate = 48000.0; // Hz
constexpr double dblPeak = 10000.0; // counts

// The level in dB re 1 V of a tone of dblPeak counts at the start-up range.
double toneLevelDb(double dblCounts)
{
    return 20.0 * std::log10(dblCounts / std::sqrt(2.0) * dblVoltsPerCount);
}

// IEC 61672-1's analytic A and C curves (dB), written out here from the standard's constants.
double analyticWeightingDb(char chrCurve, double dblHz)
{
    const double f1 = 20.598997;
    const double f2 = 107.65265;
    const double f3 = 737.86223;
    const double f4 = 12194.217;
    const double f = dblHz * dblHz;
    if (chrCurve == 'C') {
        return 20.0 * std::log10(f4 * f4 * f / ((f + f1 * f1) * (f + f4 * f4))) + 0.062;
    }
    return 20.0 * std::log10(f4 * f4 * f * f /
                             ((f + f1 * f1) * std::sqrt(f + f2 * f2) * std::sqrt(f + f3 * f3) * (f + f4 * f4))) +
           2.000;
}

class ViewOctaveTest : public ViewAnalysisTest
{
protected:
    OctavePage& page()
    {
        auto* found = panel.findChild<OctavePage*>();
        EXPECT_NE(found, nullptr);
        return *found;
    }
    OctaveDocument& octave()
    {
        return panel.document().octave();
    }
    void waitForOctaves()
    {
        if (octave().analysing()) {
            QSignalSpy finished(&octave(), &OctaveDocument::analysisFinished);
            ASSERT_TRUE(finished.wait(60000)) << "the octave analysis did not end";
        }
        ASSERT_FALSE(octave().analysing());
    }
    // Opens a recording and shows the octave page, its analysis done.
    void openOnOctavePage(const std::string& strPath)
    {
        open(strPath);
        panel.pages().setCurrentWidget(&page());
        waitForOctaves();
        ASSERT_NE(octave().reading(), nullptr) << octave().note().toStdString();
    }
    // Chooses an entry of one of the page's lists by its data, as a user picks it, and waits.
    void chooseOnPage(const char* strCombo, int intData)
    {
        choose(strCombo, intData);
        waitForOctaves();
    }
    // The band the plot shows with nominal name strNominal.
    const engine::BandReading& band(const char* strNominal)
    {
        const std::vector<engine::BandReading>& bands = page().plot().bands();
        const auto found = std::find_if(bands.begin(), bands.end(), [&](const engine::BandReading& reading) {
            return reading.band.strNominal == strNominal;
        });
        EXPECT_NE(found, bands.end()) << strNominal;
        return found == bands.end() ? bands.front() : *found;
    }
    // The overall level the page's table names strName, from the analysis it shows.
    std::optional<double> overall(const std::string& strName)
    {
        const QTableWidget& table = page().levelTable();
        const std::vector<engine::LevelRow>& rows = octave().reading()->result.overall;
        for (int intRow = 0; intRow < table.rowCount(); ++intRow) {
            if (table.item(intRow, 0)->text() == QString::fromStdString(strName)) {
                return rows.at(static_cast<std::size_t>(intRow)).dblValue;
            }
        }
        return std::nullopt;
    }
    QStringList tableNames()
    {
        QStringList strNames;
        for (int intRow = 0; intRow < page().levelTable().rowCount(); ++intRow) {
            strNames << page().levelTable().item(intRow, 0)->text();
        }
        return strNames;
    }
    // A Wave file of a tone at dblRate: silence, then the tone for dblOn seconds, then silence. The tone
    // sets in and dies away over dblRamp seconds (raised cosines), or at once with none.
    std::string writeBurst(const std::string& strName, double dblHz, double dblBefore, double dblOn, double dblAfter,
                           double dblRamp = 0.0)
    {
        std::vector<double> dblCounts(static_cast<std::size_t>((dblBefore + dblOn + dblAfter) * dblRate));
        std::vector<double> dblTone = toneCounts(static_cast<std::int64_t>(dblOn * dblRate), dblRate, dblHz, dblPeak);
        const auto lngRamp = static_cast<std::size_t>(dblRamp * dblRate);
        for (std::size_t n = 0; n < lngRamp; ++n) {
            const double dblGain =
                0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(n) / static_cast<double>(lngRamp));
            dblTone[n] = std::round(dblTone[n] * dblGain);
            dblTone[dblTone.size() - 1 - n] = std::round(dblTone[dblTone.size() - 1 - n] * dblGain);
        }
        std::copy(dblTone.begin(), dblTone.end(), dblCounts.begin() + static_cast<std::ptrdiff_t>(dblBefore * dblRate));
        return writeWave(strName, dblCounts, static_cast<int>(dblRate));
    }
};

// A 1 kHz tone of known rms (setting in and dying away over 50 ms, so that no click spreads over the
// bands) reads its level in the 1000 Hz band (the engine's figure, and the tone's own within 0.1 dB);
// the bands beyond its neighbours are at least as far down as the class 1 mask
// demands there (IEC 61260-2 Table B.1: 16.6 dB beyond Omega 1.29437, 40.5 dB beyond 1.88173); LZeq and
// the band cursor's readout say the same. Another recording opened is analysed in its turn.
TEST_F(ViewOctaveTest, AToneReadsItsLevelInItsBandAndTheOthersFarDown)
{
    const std::string strTone = writeBurst("tone.wav", 1000.0, 0.0, 2.05, 0.0, 0.05);
    openOnOctavePage(strTone);
    // A raised-cosine ramp keeps 3/8 of the power over its length.
    const double dblLevel = toneLevelDb(dblPeak) + 10.0 * std::log10(1.0 - 2.0 * 0.05 * 5.0 / 8.0 / 2.05);
    // The engine's own analysis of the same file with the page's settings (1/3 octave, Z, F).
    engine::OctaveRequest request;
    request.settings.timeWeighting = engine::TimeWeighting::Fast;
    request.lngSampFreq = 48000;
    const engine::OctaveFileResult expected = engine::octaveRecording(request, strTone, files, sounds);
    ASSERT_TRUE(expected.analysed());
    ASSERT_EQ(page().plot().bands().size(), expected.bands.size());
    for (std::size_t i = 0; i < expected.bands.size(); ++i) {
        EXPECT_EQ(page().plot().bands()[i].dblLeqDb, expected.bands[i].dblLeqDb) << expected.bands[i].band.strNominal;
    }
    EXPECT_NEAR(band("1000").dblLeqDb, dblLevel, 0.1);
    for (const auto& [strNominal, dblDown] : {std::pair{"630", 16.6}, std::pair{"1600", 16.6}, std::pair{"400", 40.5},
                                              std::pair{"2500", 40.5}, std::pair{"100", 70.0}}) {
        EXPECT_LT(band(strNominal).dblLeqDb, dblLevel - dblDown) << strNominal;
    }
    ASSERT_TRUE(overall("LZeq"));
    EXPECT_NEAR(*overall("LZeq"), dblLevel, 0.01);

    page().plot().setCursorBand(std::nullopt);
    const QPointF ptBar = page().plot().pointOf(1000.0, dblLevel - 10.0);
    QTest::mouseClick(&page().plot(), Qt::LeftButton, {}, ptBar.toPoint());
    ASSERT_EQ(octave().bandHz(), std::optional<double>(1000.0));
    const QString strStatus = page().findChild<QLabel*>(QStringLiteral("lblOctaveCursor"))->text();
    EXPECT_TRUE(strStatus.contains(QStringLiteral("LZeq %1 dB re 1 V").arg(band("1000").dblLeqDb, 0, 'f', 2)))
        << strStatus.toStdString();

    // Another recording: its analysis replaces this one, the cursor staying at its frequency.
    openOnOctavePage(writeBurst("low.wav", 250.0, 0.0, 2.05, 0.0, 0.05));
    EXPECT_EQ(octave().reading()->recording.strPath, dir.file("low.wav"));
    EXPECT_NEAR(band("250").dblLeqDb, dblLevel, 0.1);
    EXPECT_LT(band("1000").dblLeqDb, dblLevel - 70.0);
    EXPECT_EQ(page().plot().cursorBand(), std::optional<std::size_t>(17)) << "the 1000 Hz band, 17 above 20 Hz";
    EXPECT_TRUE(ui.messages.empty());
}

// The weighting chosen on the page changes the band and overall levels of a tone by the analytic curve
// at its frequency (within 0.1 dB at 48 kHz), and the levels take the weighting's letter.
TEST_F(ViewOctaveTest, AWeightingChangesATonesLevelsAsItsCurveSays)
{
    struct Case
    {
        char chrCurve;
        engine::FrequencyWeighting weighting;
        double dblHz;
        const char* strBand;
    };
    for (const Case& tested : {Case{'A', engine::FrequencyWeighting::A, 125.0, "125"},
                               Case{'C', engine::FrequencyWeighting::C, 31.5, "31.5"},
                               Case{'A', engine::FrequencyWeighting::A, 4000.0, "4000"}}) {
        SCOPED_TRACE(std::string(1, tested.chrCurve) + " at " + tested.strBand + " Hz");
        openOnOctavePage(writeBurst(std::string("tone") + tested.strBand + ".wav", tested.dblHz, 0.0, 4.0, 0.0));
        chooseOnPage("cboOctaveWeighting", static_cast<int>(engine::FrequencyWeighting::Z));
        const double dblFlat = band(tested.strBand).dblLeqDb;
        const std::optional<double> dblFlatOverall = overall("LZeq");
        ASSERT_TRUE(dblFlatOverall);
        chooseOnPage("cboOctaveWeighting", static_cast<int>(tested.weighting));
        const double dblCurve = analyticWeightingDb(tested.chrCurve, tested.dblHz);
        EXPECT_NEAR(band(tested.strBand).dblLeqDb - dblFlat, dblCurve, 0.1);
        const std::string strLetter(1, tested.chrCurve);
        const std::optional<double> dblWeighted = overall("L" + strLetter + "eq");
        ASSERT_TRUE(dblWeighted);
        EXPECT_NEAR(*dblWeighted - *dblFlatOverall, dblCurve, 0.1);
    }
    EXPECT_EQ(tableNames(),
              (QStringList{"LAeq", "LAE", "LApeak", "LAFmax", "LAFmin", "時間 T", "実効値 (A)", "ピーク値 (A)"}));
    EXPECT_TRUE(ui.messages.empty());
}

// The cursor's readout gives the band's nominal and exact midband and its edges, 1000 G^(x/b -+ 1/(2b))
// with G = 10^0.3; the keys step a band; another bandwidth keeps the cursor on the band holding its
// frequency.
TEST_F(ViewOctaveTest, TheCursorReadsTheBandsMidbandAndEdges)
{
    openOnOctavePage(writeBurst("tone.wav", 1000.0, 0.0, 1.0, 0.0));
    const double dblG = std::pow(10.0, 0.3);
    OctavePlot& plot = page().plot();
    plot.setFocus();
    QTest::mouseClick(&plot, Qt::LeftButton, {}, plot.pointOf(1000.0, toneLevelDb(dblPeak) - 20.0).toPoint());
    QStringList strLines = plot.cursorLines();
    ASSERT_EQ(strLines.size(), 3);
    EXPECT_EQ(strLines[0], QStringLiteral("1000 Hz 帯（1/3 オクターブ）"));
    EXPECT_EQ(strLines[1], QStringLiteral("中心 1000.0 Hz　下端 %1 Hz　上端 %2 Hz")
                               .arg(1000.0 * std::pow(dblG, -1.0 / 6.0), 0, 'f', 2)
                               .arg(1000.0 * std::pow(dblG, 1.0 / 6.0), 0, 'f', 1));
    EXPECT_EQ(strLines[1], QStringLiteral("中心 1000.0 Hz　下端 891.25 Hz　上端 1122.0 Hz"));

    QTest::keyClick(&plot, Qt::Key_Right);
    strLines = plot.cursorLines();
    EXPECT_EQ(strLines[0], QStringLiteral("1250 Hz 帯（1/3 オクターブ）"));
    EXPECT_EQ(strLines[1], QStringLiteral("中心 %1 Hz　下端 1122.0 Hz　上端 %2 Hz")
                               .arg(1000.0 * std::pow(dblG, 1.0 / 3.0), 0, 'f', 1)
                               .arg(1000.0 * std::pow(dblG, 0.5), 0, 'f', 1));
    QTest::keyClick(&plot, Qt::Key_Left);
    ASSERT_EQ(octave().bandHz(), std::optional<double>(1000.0));

    chooseOnPage("cboOctaveBandwidth", 1);
    strLines = plot.cursorLines();
    ASSERT_EQ(strLines.size(), 3);
    EXPECT_EQ(strLines[0], QStringLiteral("1000 Hz 帯（1/1 オクターブ）"));
    EXPECT_EQ(strLines[1], QStringLiteral("中心 1000.0 Hz　下端 %1 Hz　上端 %2 Hz")
                               .arg(1000.0 * std::pow(dblG, -0.5), 0, 'f', 2)
                               .arg(1000.0 * std::pow(dblG, 0.5), 0, 'f', 1));
    EXPECT_NEAR(plot.bands()[*plot.cursorBand()].dblLeqDb, toneLevelDb(dblPeak), 0.1);
    EXPECT_TRUE(ui.messages.empty());
}

// "表を保存..." proposes BASE_OCT.csv beside the recording, refuses the recording itself (the dialog
// staying open) and writes the engine's octave-band file byte for byte.
TEST_F(ViewOctaveTest, TheTableSavedIsTheEnginesFileByteForByte)
{
    const std::string strTone = writeBurst("burst.wav", 1000.0, 0.5, 1.0, 0.5);
    openOnOctavePage(strTone);
    chooseOnPage("cboOctaveWeighting", static_cast<int>(engine::FrequencyWeighting::A));
    chooseOnPage("cboOctaveTimeWeighting", static_cast<int>(engine::TimeWeighting::Slow));
    const std::string strSaved = dir.file("saved_OCT.csv");
    ui.saveChoices = {strTone, strSaved};
    QTest::mouseClick(page().findChild<QPushButton*>(QStringLiteral("cmdSaveOctaveTable")), Qt::LeftButton);
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].strInitialFileName, dir.file("burst_OCT.csv"));
    ASSERT_EQ(ui.messages.size(), 1u) << "the recording itself is refused";
    EXPECT_NE(ui.messages[0].strText.find("録音そのものには保存できません"), std::string::npos);

    engine::OctaveRequest request;
    request.settings.weighting = engine::FrequencyWeighting::A;
    request.settings.timeWeighting = engine::TimeWeighting::Slow;
    const engine::OctaveFileResult written = engine::analyseOctaves(request, strTone, files, sounds);
    ASSERT_EQ(written.strWritten, dir.file("burst_OCT.csv"));
    const std::string strEngine = testing::readBytes(written.strWritten);
    EXPECT_NE(strEngine.find("weighting=A"), std::string::npos);
    EXPECT_EQ(testing::readBytes(strSaved), strEngine);
}

// A 1 s tone burst between silences: the F trace is at the floor before it, rises to the steady level
// (1 - e^-1 of its power, -2.0 dB, one time constant in), holds it, then decays at 10 log10(e) / 0.125 s
// = 34.7 dB a second. LZFmax is the steady level within 0.1 dB and LZSmax 2.0 dB below it (+-0.2), as
// IEC 61672-1 has it for a 1 s burst.
TEST_F(ViewOctaveTest, TheTraceOfAToneBurstRisesAndDecays)
{
    openOnOctavePage(writeBurst("burst.wav", 1000.0, 1.0, 1.0, 2.0));
    const double dblLevel = toneLevelDb(dblPeak);
    const std::vector<engine::LevelTracePoint>& points = page().tracePlot().points();
    ASSERT_EQ(points.size(), octave().reading()->trace.points().size());
    ASSERT_GE(points.size(), 120u);
    const auto levelAt = [&](double dblSeconds) {
        const auto found = std::min_element(points.begin(), points.end(), [&](const auto& a, const auto& b) {
            return std::abs(a.dblEnd - dblSeconds) < std::abs(b.dblEnd - dblSeconds);
        });
        EXPECT_NEAR(found->dblEnd, dblSeconds, 0.02);
        return found->dblMaxDb;
    };
    EXPECT_LT(levelAt(0.5), dblLevel - 100.0) << "silence";
    EXPECT_NEAR(levelAt(1.125), dblLevel + 10.0 * std::log10(1.0 - std::exp(-1.0)), 0.2) << "one time constant in";
    EXPECT_NEAR(levelAt(1.9), dblLevel, 0.1);
    EXPECT_NEAR(levelAt(2.5), dblLevel - 0.5 * 10.0 * std::log10(std::exp(1.0)) / 0.125, 0.5);
    double dblBefore = -1000.0;
    for (const engine::LevelTracePoint& point : points) {
        if (point.dblEnd > 1.01 && point.dblEnd < 2.0) {
            EXPECT_GE(point.dblMaxDb, dblBefore - 0.05) << "rising at " << point.dblEnd << " s";
        } else if (point.dblEnd > 2.02) {
            EXPECT_LT(point.dblMaxDb, dblBefore) << "decaying at " << point.dblEnd << " s";
        }
        dblBefore = point.dblMaxDb;
    }
    ASSERT_TRUE(overall("LZFmax"));
    EXPECT_NEAR(*overall("LZFmax"), dblLevel, 0.1);

    chooseOnPage("cboOctaveTimeWeighting", static_cast<int>(engine::TimeWeighting::Slow));
    ASSERT_TRUE(overall("LZSmax"));
    EXPECT_NEAR(*overall("LZSmax"), dblLevel - 2.0, 0.2);
    EXPECT_NEAR(levelAt(2.0), dblLevel - 2.0, 0.2) << "the S trace at the burst's end";
    EXPECT_TRUE(ui.messages.empty());
}

// A cancel keeps the analysis shown and its settings, and says so under the bars; the analysis runs
// again only when asked (the page shown again, a setting).
TEST_F(ViewOctaveTest, ACancelKeepsTheAnalysisShownAndSaysSo)
{
    // Long enough that the click lands while the new analysis still reads, even on a loaded machine.
    openOnOctavePage(writeBurst("long.wav", 1000.0, 0.0, 90.0, 0.0));
    const std::vector<engine::BandReading> bandsBefore = page().plot().bands();
    auto* cboBandwidth = page().findChild<QComboBox*>(QStringLiteral("cboOctaveBandwidth"));
    auto* cmdCancel = page().findChild<QPushButton*>(QStringLiteral("cmdCancelOctave"));
    EXPECT_FALSE(cmdCancel->isEnabled());
    cboBandwidth->setCurrentIndex(cboBandwidth->findData(1));
    ASSERT_TRUE(octave().analysing());
    ASSERT_TRUE(cmdCancel->isEnabled());
    QTest::mouseClick(cmdCancel, Qt::LeftButton);
    waitForOctaves();
    EXPECT_EQ(page().plot().bands().size(), bandsBefore.size());
    EXPECT_EQ(cboBandwidth->currentData().toInt(), 3) << "the settings of the analysis shown come back";
    EXPECT_EQ(octave().note(), QStringLiteral("オクターブ分析を中止しました。"));
    EXPECT_TRUE(page().statusText().contains(octave().note()));

    // Another page and back: asked again, it runs (with the settings shown) and the note goes.
    panel.pages().setCurrentIndex(0);
    cboBandwidth->setCurrentIndex(cboBandwidth->findData(1));
    EXPECT_FALSE(octave().analysing()) << "not while the page is hidden";
    panel.pages().setCurrentWidget(&page());
    waitForOctaves();
    EXPECT_EQ(octave().reading()->settings.lngBandsPerOctave, 1);
    EXPECT_TRUE(octave().note().isEmpty());
    EXPECT_TRUE(ui.messages.empty());
}

// The overall levels are read whole at any width: every row in view and every name and value uncut,
// beside the bars where the page leaves the bars room (the window's start-up width among them), below
// them in a narrow view; the bars keep a useful width either way.
TEST_F(ViewOctaveTest, TheOverallLevelsAreShownWholeBesideOrBelowTheBars)
{
    openOnOctavePage(writeBurst("tone.wav", 1000.0, 0.0, 2.0, 0.0));
    const QTableWidget& table = page().levelTable();
    ASSERT_EQ(table.rowCount(), 8);
    for (const int intWidth : {1600, 1431, 1200, 900, 700, 500}) {
        SCOPED_TRACE(std::to_string(intWidth) + " px");
        panel.resize(intWidth, 800);
        QApplication::processEvents();
        const QRect plot = page().plot().geometry();
        const QRect levels = table.geometry();
        const bool blnBeside = levels.left() > plot.right();
        if (page().width() >= 680) {
            EXPECT_TRUE(blnBeside) << "page " << page().width() << " px";
        }
        EXPECT_GE(page().plot().width(), blnBeside ? 380 : page().width() - 20);
        const QRect shown = table.viewport()->rect();
        for (int intRow = 0; intRow < table.rowCount(); ++intRow) {
            for (int intColumn = 0; intColumn < 2; ++intColumn) {
                const QRect cell = table.visualRect(table.model()->index(intRow, intColumn));
                const QString& strText = table.item(intRow, intColumn)->text();
                EXPECT_TRUE(shown.contains(cell)) << strText.toStdString();
                EXPECT_GE(cell.width(), table.fontMetrics().horizontalAdvance(strText) + 6) << strText.toStdString();
            }
        }
    }
}

// A recording whose half rate leaves no band above 20 Hz is said so on the page, without a message box.
TEST_F(ViewOctaveTest, ARecordingWithoutABandIsSaidSoOnThePage)
{
    fields.strSampFreq = "40";
    open(writeCounts("slow.csv", toneCounts(4096, 40.0, 5.0, 5000.0)));
    panel.pages().setCurrentWidget(&page());
    waitForOctaves();
    EXPECT_EQ(octave().reading(), nullptr);
    EXPECT_EQ(
        octave().note(),
        QStringLiteral("サンプリング周波数 40 Hz では、20 Hz から fs/2 までに 1/3 オクターブの帯域がありません。"));
    EXPECT_TRUE(page().statusText().contains(octave().note()));
    EXPECT_TRUE(ui.messages.empty());
}

// The band names on the axis never touch, whatever the bandwidth and however narrow the plot (at twice
// the scale too, see CMakeLists.txt), and the names kept are the bands' own, 1000 among them.
TEST(OctavePlotTicks, BandNamesNeverTouchAtAnyWidth)
{
    for (const std::int32_t lngBands : engine::lngBandsPerOctaveChoices) {
        std::vector<engine::BandReading> readings;
        for (const engine::OctaveBand& band : engine::analysedBands(lngBands, 20.0, 48000.0)) {
            readings.push_back({band, 1.0, -20.0 - static_cast<double>(readings.size() % 7)});
        }
        OctavePlot plot;
        plot.setBands(readings, lngBands, QStringLiteral("LZeq"), {});
        plot.show();
        for (int intWidth = 200; intWidth <= 1600; intWidth += 70) {
            SCOPED_TRACE("1/" + std::to_string(lngBands) + " octave, " + std::to_string(intWidth) + " px");
            plot.resize(intWidth, 300);
            const FrameTicks ticks = plot.frequencyTicks();
            ASSERT_GE(ticks.strLabels.size(), 2u);
            const QFontMetrics metrics = plot.fontMetrics();
            double dblRightBefore = -1e9;
            for (std::size_t i = 0; i < ticks.strLabels.size(); ++i) {
                const double dblX = plot.pointOf(ticks.dblValues[i], 0.0).x();
                const double dblHalf = metrics.horizontalAdvance(ticks.strLabels[i]) / 2.0;
                EXPECT_GT(dblX - dblHalf, dblRightBefore) << ticks.strLabels[i].toStdString();
                dblRightBefore = dblX + dblHalf;
                const bool blnOwn = std::any_of(readings.begin(), readings.end(), [&](const engine::BandReading& r) {
                    return QString::fromStdString(r.band.strNominal) == ticks.strLabels[i];
                });
                EXPECT_TRUE(blnOwn) << ticks.strLabels[i].toStdString();
            }
            if (lngBands % 2 == 1) {
                EXPECT_TRUE(std::find(ticks.strLabels.begin(), ticks.strLabels.end(), QStringLiteral("1000")) !=
                            ticks.strLabels.end());
            }
        }
    }
}

// The band cursor's readout inside the plot never hides where a bar ends (its level) while there is a
// place that hides none: third-octave bands of an A-weighted machine noise (rising 50 dB from 20 Hz to
// 1 kHz, a hum and a whine standing out), the cursor on each band in turn, a narrow and a wide plot.
TEST(OctavePlotReadout, NeverHidesTheLevelOfABar)
{
    std::vector<engine::BandReading> readings;
    for (const engine::OctaveBand& band : engine::analysedBands(3, 20.0, 48000.0)) {
        const double dblStandingOut = band.strNominal == "125" ? 14.0 : band.strNominal == "2500" ? 9.0 : 0.0;
        readings.push_back({band, 1.0, -33.0 + analyticWeightingDb('A', band.dblMidband) + dblStandingOut});
    }
    OctavePlot plot;
    plot.setBands(readings, 3, QStringLiteral("LAeq"), {});
    plot.show();
    for (const QSize size : {QSize(450, 300), QSize(800, 360)}) {
        plot.resize(size);
        for (std::size_t lngCursor = 0; lngCursor < readings.size(); ++lngCursor) {
            SCOPED_TRACE(std::to_string(size.width()) + " px, cursor on " + readings[lngCursor].band.strNominal);
            plot.setCursorBand(lngCursor);
            const QRect box = plot.readoutArea();
            ASSERT_FALSE(box.isEmpty());
            for (const engine::BandReading& reading : readings) {
                const QPointF ptLeft = plot.pointOf(reading.band.dblLower, reading.dblLeqDb);
                const QPointF ptRight = plot.pointOf(reading.band.dblUpper, reading.dblLeqDb);
                const bool blnUnder = ptRight.x() > box.left() && ptLeft.x() < box.right();
                EXPECT_FALSE(blnUnder && ptLeft.y() >= box.top() && ptLeft.y() <= box.bottom() + 1)
                    << "the " << reading.band.strNominal << " Hz band's level is hidden";
            }
        }
    }
}

} // namespace
} // namespace kestrix::ui
