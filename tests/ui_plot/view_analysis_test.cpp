// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's analysis group with real widgets: recordings opened and read again off the
// window's thread, the window and units changing what is plotted, the averaged curve against the batch
// front end's own file, cancel and refused recordings leaving the view as it was, references written in
// other units.
#include "view_fixture.h"

namespace kestrix::ui {
namespace {

// A tone between two lines read under Hann lies up to 1.42 dB low on its line; with the flat top the
// plotted level is within 0.02 dB of the tone's true level, in every amplitude unit.
TEST_F(ViewAnalysisTest, FlatTopPlotsAnOffLineTonesLevelWithin002DbOfItsTruth)
{
    constexpr double dblPeakCounts = 9000;
    const double dblFreq = 100.37; // Hz, 0.37 of a line above line 100 at 1024 Hz, N = 1024
    open(writeCounts("tone.csv", toneCounts(32768, 1024, dblFreq, dblPeakCounts, 3.0)));
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Peak));
    const double dblTruth = dblPeakCounts * dblVoltsPerCount;
    const double dblHann = shownAt(100);
    EXPECT_GT(std::fabs(20 * std::log10(dblHann / dblTruth)), 0.5) << "Hann reads the line low";
    choose("cboWindow", static_cast<int>(engine::WindowKind::FlatTop));
    EXPECT_TRUE(panel.plot().traces().front().strName.contains(QStringLiteral("フラットトップ")))
        << panel.plot().traces().front().strName.toStdString();
    // The densities of a tone: its power over the flat top's noise bandwidth (3.7702 lines of 1 Hz).
    const double dblBandwidth = 3.77021 * 1.0;
    const double dblRms = dblTruth / std::sqrt(2.0);
    const struct
    {
        engine::SpectrumUnits units;
        double dblTruth;
        double dblDbPerDecade;
    } truths[] = {{engine::SpectrumUnits::Peak, dblTruth, 20.0},
                  {engine::SpectrumUnits::Pp, 2 * dblTruth, 20.0},
                  {engine::SpectrumUnits::Rms, dblRms, 20.0},
                  {engine::SpectrumUnits::DbV, 20 * std::log10(dblRms), 0.0},
                  {engine::SpectrumUnits::Psd, dblRms * dblRms / dblBandwidth, 10.0},
                  {engine::SpectrumUnits::Asd, dblRms / std::sqrt(dblBandwidth), 20.0}};
    for (const auto& truth : truths) {
        SCOPED_TRACE(std::string(engine::unitsName(truth.units)));
        choose("cboUnits", static_cast<int>(truth.units));
        const double dblShown = shownAt(100);
        const double dblError = truth.dblDbPerDecade == 0.0
                                    ? dblShown - truth.dblTruth
                                    : truth.dblDbPerDecade * std::log10(dblShown / truth.dblTruth);
        EXPECT_LT(std::fabs(dblError), 0.02);
        // The peak table finds the tone and estimates it between the lines.
        ASSERT_FALSE(panel.peaks().empty());
        EXPECT_EQ(panel.peaks().front().lngLine, 100);
        EXPECT_NEAR(panel.peaks().front().dblEstimatedFreq, dblFreq, 0.01);
        EXPECT_EQ(panel.peaks().front().dblVolts, dblShown);
    }
    EXPECT_TRUE(ui.messages.empty());
}

// The same recording and settings through kestrix-batch --average: the view plots every line of its
// file and saves the very same bytes, for a column of delimited text chosen by its heading and for a
// channel of a sound file at its own rate.
TEST_F(ViewAnalysisTest, TheAveragedCurveIsTheBatchFrontEndsAveragedFile)
{
    const std::vector<double> dblA = toneCounts(20000, 2000, 250.0, 7000, 40.0);
    const std::vector<double> dblB = toneCounts(20000, 2000, 437.0, 3000, 80.0);
    std::string strTable = "# logger\r\ntime (s),accel (V),mic\r\n";
    for (std::size_t n = 0; n < dblA.size(); ++n) {
        strTable += std::to_string(n) + "," + engine::generalNumberText(dblA[n]) + "," +
                    engine::generalNumberText(dblB[n]) + "\r\n";
    }
    const std::string strText = dir.file("table.csv");
    testing::writeBytes(strText, strTable);
    const std::string strWave = writeWave("mono.wav", dblB, 8000);
    fields.strSampFreq = "2000";
    fields.strNumSamp = "2048";
    fields.strMaxVolt = "2.5";
    struct Case
    {
        std::string strPath;
        QStringList strArgs;
        engine::RecordingChoice choice; // as the batch names its file
    };
    const Case cases[] = {
        {strText, {"--column", "3", "--fs", "2000"}, {engine::ColumnChoice{3, {}}, std::nullopt}},
        {strWave, {}, {}},
    };
    chooser.intAnswer = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPath);
        open(c.strPath);
        choose("cboAveraging", static_cast<int>(ViewAveraging::Peak));
        choose("cboWindow", static_cast<int>(engine::WindowKind::BlackmanHarris));
        choose("cboOverlap", 75.0);
        choose("cboDetrend", static_cast<int>(engine::Detrend::Mean));
        choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Asd));
        QStringList strArgs = {"--average",   "--window", "blackmanharris", "--overlap", "75",
                               "--averaging", "peak",     "--detrend",      "mean",      "--units",
                               "asd",         "--points", "2048",           "--range",   "2.5"};
        strArgs << c.strArgs << QString::fromStdString(c.strPath);
        QProcess batch;
        batch.start(QStringLiteral(KESTRIX_BATCH_PROGRAM), strArgs);
        ASSERT_TRUE(batch.waitForFinished(60000));
        ASSERT_EQ(batch.exitCode(), 0) << batch.readAllStandardError().toStdString();
        const std::string strBatchFile = engine::averageOutputName(files, c.strPath, c.choice);
        const std::string strBatch = testing::readBytes(strBatchFile);
        const engine::SpectrumReading reading = engine::parseSpectrumCsv(strBatch);
        ASSERT_EQ(reading.strRefusal, "");
        ASSERT_EQ(panel.shownValues().size(), reading.trace.dblVolts.size());
        for (std::size_t k = 0; k < reading.trace.dblVolts.size(); ++k) {
            ASSERT_EQ(engine::generalNumberText(panel.shownValues()[k]),
                      engine::generalNumberText(reading.trace.dblVolts[k]))
                << "line " << k;
        }
        const std::string strSaved = dir.file("saved.csv");
        ASSERT_TRUE(panel.saveAverage(strSaved));
        EXPECT_EQ(testing::readBytes(strSaved), strBatch);
    }
    EXPECT_EQ(chooser.intColumnsOffered, 3);
    EXPECT_EQ(chooser.strHeadings, (std::vector<QString>{"time (s)", "accel (V)", "mic"}));
    EXPECT_EQ(panel.recording()->lngSampFreq, 8000) << "the sound file's own rate";
    EXPECT_TRUE(ui.messages.empty());
}

// A cancelled reading, by the button or by a call, leaves the picture, its settings and its recording as
// they were. The recordings are long enough (two million samples) to be read in many blocks, each of
// which looks at the cancel.
TEST_F(ViewAnalysisTest, CancelLeavesThePreviousPicture)
{
    const std::string strShown = writeCounts("shown.csv", toneCounts(2'000'000, 1024, 200.0, 5000, 10.0));
    const std::string strOther = writeCounts("other.csv", toneCounts(2'000'000, 1024, 50.0, 5000, 10.0));
    open(strShown);
    const std::vector<double> dblBefore = panel.shownValues();
    const QString strNameBefore = panel.plot().traces().front().strName;
    const ViewSettings settingsBefore = panel.settings();
    auto* cmdCancel = panel.findChild<QPushButton*>(QStringLiteral("cmdCancelAnalysis"));
    auto* cboWindow = panel.findChild<QComboBox*>(QStringLiteral("cboWindow"));
    const auto expectAsBefore = [&] {
        EXPECT_EQ(panel.shownValues(), dblBefore);
        EXPECT_EQ(panel.plot().traces().front().strName, strNameBefore);
        EXPECT_EQ(panel.settings(), settingsBefore);
        EXPECT_EQ(panel.recording()->strPath, strShown);
        EXPECT_FALSE(cmdCancel->isEnabled());
    };

    ASSERT_TRUE(panel.openRecording(strOther));
    ASSERT_TRUE(panel.analysing());
    ASSERT_TRUE(cmdCancel->isEnabled());
    QTest::mouseClick(cmdCancel, Qt::LeftButton);
    waitForReading();
    expectAsBefore();

    cboWindow->setCurrentIndex(cboWindow->findData(static_cast<int>(engine::WindowKind::FlatTop)));
    ASSERT_TRUE(panel.analysing());
    panel.cancelAnalysis();
    waitForReading();
    expectAsBefore();
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().strText;
}

// A setting changed while a recording is being opened applies to that recording, not to the one shown.
TEST_F(ViewAnalysisTest, ASettingChangedWhileARecordingOpensAppliesToIt)
{
    open(writeCounts("shown.csv", toneCounts(8192, 1024, 200.0, 5000, 10.0)));
    const std::string strOpening = writeCounts("opening.csv", toneCounts(2'000'000, 1024, 50.0, 5000, 10.0));
    ASSERT_TRUE(panel.openRecording(strOpening));
    ASSERT_TRUE(panel.analysing());
    choose("cboWindow", static_cast<int>(engine::WindowKind::FlatTop));
    EXPECT_EQ(panel.recording()->strPath, strOpening);
    EXPECT_EQ(panel.settings().window, engine::WindowKind::FlatTop);
    EXPECT_TRUE(panel.plot().traces().front().strName.contains(QStringLiteral("フラットトップ")));
    ASSERT_FALSE(panel.peaks().empty());
    EXPECT_EQ(panel.peaks().front().lngLine, 50);
    EXPECT_TRUE(ui.messages.empty());
}

// Recordings that cannot be read are refused with a message naming the trouble; the view keeps what
// it showed.
TEST_F(ViewAnalysisTest, ABadRecordingIsRefusedAndChangesNothing)
{
    open(writeCounts("good.csv", toneCounts(8192, 1024, 200.0, 5000, 10.0)));
    const std::vector<double> dblBefore = panel.shownValues();
    std::vector<double> dblBad = toneCounts(6000, 1024, 50.0, 5000);
    std::string strBad;
    for (std::size_t n = 0; n < dblBad.size(); ++n) {
        strBad += n == 4999 ? std::string("n/a\r\n") : engine::generalNumberText(dblBad[n]) + "\r\n";
    }
    const std::string strBadLine = dir.file("badline.csv");
    testing::writeBytes(strBadLine, strBad);
    const std::string strShort = writeCounts("short.csv", toneCounts(100, 1024, 50.0, 5000));
    const std::string strBrokenWave = dir.file("broken.wav");
    testing::writeBytes(strBrokenWave, "RIFF\x10\0\0\0WAVEjunk");
    struct Case
    {
        std::string strPath;
        const char* strExpected;
    };
    const Case cases[] = {
        {strBadLine, "5000 行目"},
        {strShort, "サンプルが 100 個しかなく、1 区間（N = 1024 点）に足りません"},
        {strBrokenWave, "broken.wav"},
        {dir.file("missing.csv"), "missing.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPath);
        ui.messages.clear();
        if (panel.openRecording(c.strPath)) {
            waitForReading();
        }
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].strText.find(c.strExpected), std::string::npos) << ui.messages[0].strText;
        EXPECT_EQ(panel.shownValues(), dblBefore);
        EXPECT_EQ(panel.recording()->strPath, dir.file("good.csv"));
    }
}

// The averaged file is saved only of an average, never over the recording; the spectrogram's colour
// range refuses a floor above its top; its picture is a PNG of at least 640 x 400 pixels.
TEST_F(ViewAnalysisTest, SavesRefuseWhatTheyCannotWriteAndTheSpectrogramSavesItsPicture)
{
    const std::string strRecording = writeCounts("rec.csv", toneCounts(16384, 1024, 100.0, 5000, 20.0));
    open(strRecording);
    choose("cboAveraging", static_cast<int>(ViewAveraging::SingleBlock));
    EXPECT_FALSE(panel.saveAverage(dir.file("block.csv")));
    choose("cboAveraging", static_cast<int>(ViewAveraging::Mean));
    const std::string strBefore = testing::readBytes(strRecording);
    EXPECT_FALSE(panel.saveAverage(strRecording));
    EXPECT_EQ(testing::readBytes(strRecording), strBefore);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(panel.saveAverage(dir.file("average.csv")));

    auto* spnTop = panel.findChild<QDoubleSpinBox*>(QStringLiteral("spnLevelTop"));
    auto* spnFloor = panel.findChild<QDoubleSpinBox*>(QStringLiteral("spnLevelFloor"));
    ASSERT_TRUE(spnTop && spnFloor && spnTop->isEnabled());
    const engine::LevelRange before = panel.spectrogramPlot().levelRange();
    spnFloor->setValue(before.dblTop + 10.0);
    EXPECT_EQ(panel.spectrogramPlot().levelRange().dblFloor, before.dblFloor) << "a floor above the top";
    EXPECT_EQ(spnFloor->value(), before.dblFloor) << "the box shows the range in force";
    spnFloor->setValue(before.dblTop - 30.0);
    EXPECT_EQ(panel.spectrogramPlot().levelRange().dblFloor, before.dblTop - 30.0);

    const QString strPng = QString::fromStdString(dir.file("sgram.png"));
    ASSERT_TRUE(panel.saveSpectrogramImage(strPng));
    QImage picture;
    ASSERT_TRUE(picture.load(strPng, "PNG"));
    EXPECT_GE(picture.width(), 640);
    EXPECT_GE(picture.height(), 400);
}

// A reference written in other units is carried into the view's units and labelled so: the averaged
// file in PSD reads in V rms as the batch's file in rms does; a classic spectrum file likewise.
TEST_F(ViewAnalysisTest, AReferenceInOtherUnitsIsCarriedOverAndLabelled)
{
    const std::string strRecording = writeCounts("rec.csv", toneCounts(16384, 1024, 300.0, 6000, 50.0));
    const auto batch = [&](const QString& strUnits) {
        QProcess process;
        process.start(QStringLiteral(KESTRIX_BATCH_PROGRAM),
                      {"--average", "--units", strUnits, QString::fromStdString(strRecording)});
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0);
        return engine::parseSpectrumCsv(testing::readBytes(engine::averageOutputName(files, strRecording)));
    };
    const engine::SpectrumReading rms = batch(QStringLiteral("rms"));
    batch(QStringLiteral("psd"));
    const std::string strPsd = dir.file("rec_psd.csv");
    std::filesystem::rename(engine::averageOutputName(files, strRecording), strPsd);

    open(strRecording);
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    ASSERT_TRUE(panel.openReference(strPsd));
    const PlotTrace& reference = panel.plot().traces().back();
    EXPECT_TRUE(reference.strName.contains(QStringLiteral("換算"))) << reference.strName.toStdString();
    EXPECT_TRUE(reference.strName.contains(QStringLiteral("V²/Hz"))) << reference.strName.toStdString();
    ASSERT_EQ(reference.dblVolts.size(), rms.trace.dblVolts.size());
    for (const std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{300}, std::size_t{350}}) {
        EXPECT_NEAR(reference.dblVolts[k], rms.trace.dblVolts[k], 1e-12 * rms.trace.dblVolts[k]) << "line " << k;
    }
    // In the file's own units the reference is drawn as written, without a label.
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Psd));
    EXPECT_FALSE(panel.plot().traces().back().strName.contains(QStringLiteral("換算")));
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace kestrix::ui
