// SPDX-License-Identifier: GPL-3.0-or-later
// What the volts stand for, with real widgets and real files: a sensitivity typed in the analysis
// group reaching the plotted values, the axis, the readouts and the saved file; velocity and
// displacement with their high-pass; quantities and sensitivities that make no sense refused with the
// field named; the calibration from the recording open; the condition measures beside the plot; and
// the envelope's spectrum as a mode of the page, saved as the batch writes it.
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/recording_measures.h"
#include "ui/spectrum/calibration_run.h"
#include "ui/spectrum/levels_panel.h"
#include "ui/spectrum/spectrum_page.h"
#include "ui/spectrum/view_document.h"
#include "view_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>

#include <fstream>

namespace kestrix::ui {
namespace {

constexpr int lngRate = 8192;           // Hz; N 4096 gives lines 2 Hz apart
constexpr double dblToneHz = 160.0;     // line 80
constexpr std::size_t lngToneLine = 80; // dblToneHz / 2 Hz
constexpr double dblCountsPerVolt = 32767.0 / 5.0;
constexpr double dblGravity = 9.80665;

// A sine of dblPeakVolts at dblFreq Hz, in counts of the ±5 V range.
std::vector<double> sineCounts(double dblFreq, double dblPeakVolts, std::size_t lngSamples = 65536)
{
    std::vector<double> dblCounts(lngSamples);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] = std::round(dblPeakVolts * dblCountsPerVolt *
                                  std::sin(2 * std::numbers::pi * dblFreq * static_cast<double>(n) / lngRate + 0.3));
    }
    return dblCounts;
}

std::vector<std::string> fileLines(const std::string& strPath)
{
    std::vector<std::string> strLines;
    std::ifstream file(strPath, std::ios::binary);
    for (std::string strLine; std::getline(file, strLine);) {
        strLines.push_back(strLine.substr(0, strLine.find('\r')));
    }
    return strLines;
}

class ViewQuantityTest : public ViewAnalysisTest
{
protected:
    ViewQuantityTest()
    {
        fields.strNumSamp = "4096";
    }
    ViewDocument& document()
    {
        return panel.document();
    }
    // Types into a field and leaves it, as a user does; waits for what it starts.
    void type(const char* strField, const QString& strText)
    {
        auto* field = control<QLineEdit>(strField);
        ASSERT_NE(field, nullptr);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, strText);
        QTest::keyClick(field, Qt::Key_Tab);
        waitForReading();
    }
    // Opens the sine (10 g peak at 100 mV/g: 1 V peak), averaged with the flat top, in rms.
    void openSine()
    {
        open(writeWave("accelerometer.wav", sineCounts(dblToneHz, 1.0), lngRate));
        choose("cboAveraging", static_cast<int>(ViewAveraging::Mean));
        choose("cboWindow", static_cast<int>(engine::WindowKind::FlatTop));
        choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    }
    // The file the batch writes for the same recording and request.
    std::vector<std::string> batchLines(const std::string& strPath, const engine::AverageRequest& request)
    {
        const engine::AverageFileResult result =
            engine::analyseAverage(request, strPath, files, sounds, std::numbers::pi);
        EXPECT_TRUE(result.analysed()) << result.strRefusal << " cancelled " << result.blnCancelled << " " << strPath;
        return fileLines(result.strWritten);
    }
    engine::AverageRequest sineRequest() const
    {
        engine::AverageRequest request;
        request.settings.lngNumSamp = 4096;
        request.settings.window = engine::WindowKind::FlatTop;
        request.units = engine::SpectrumUnits::Rms;
        return request;
    }
};

// A sensitivity reaches every value and every word: the plotted line reads g, then mm/s and µm from the
// sine's own 2 pi f, lines below the high-pass read 0, and the file saved is the batch's line for line
// (its heading naming the unit, the sensitivity, the quantity and the high-pass).
TEST_F(ViewQuantityTest, ASensitivityAndItsQuantityReachTheValuesTheWordsAndTheFile)
{
    openSine();
    const double dblVoltsRms = 1.0 / std::sqrt(2.0);
    EXPECT_NEAR(shownAt(lngToneLine), dblVoltsRms, 1e-3 * dblVoltsRms) << "volts until a sensor is given";
    type("txtSensitivity", QStringLiteral("100mV/g"));
    const double dblG = 10.0 / std::sqrt(2.0);
    EXPECT_NEAR(shownAt(lngToneLine), dblG, 1e-3 * dblG);
    EXPECT_TRUE(document().units().strAxis.contains(QStringLiteral("g rms")))
        << document().units().strAxis.toStdString();
    // The readout of the cursor's line in the unit shown, not in volts.
    panel.plot().setCursorLine(lngToneLine);
    const QString strReadout = control<QLabel>("lblCursor")->text();
    EXPECT_TRUE(strReadout.contains(QStringLiteral("g rms"))) << strReadout.toStdString();
    EXPECT_FALSE(strReadout.contains(QStringLiteral("V rms"))) << strReadout.toStdString();

    struct Case
    {
        engine::Quantity quantity;
        double dblExpected; // at the tone's line
        const char* strUnit;
    };
    const double dblOmega = 2 * std::numbers::pi * dblToneHz;
    for (const Case& entry :
         {Case{engine::Quantity::Velocity, dblG * dblGravity / dblOmega * 1e3, "mm/s rms"},
          Case{engine::Quantity::Displacement, dblG * dblGravity / (dblOmega * dblOmega) * 1e6, "µm rms"}}) {
        SCOPED_TRACE(std::string(engine::quantityName(entry.quantity)));
        choose("cboQuantity", static_cast<int>(entry.quantity));
        EXPECT_NEAR(shownAt(lngToneLine), entry.dblExpected, 1e-3 * entry.dblExpected);
        EXPECT_EQ(shownAt(4), 0.0) << "8 Hz lies below the 10 Hz high-pass";
        EXPECT_GT(shownAt(5), 0.0) << "10 Hz is kept";
        EXPECT_TRUE(document().units().strAxis.contains(QString::fromUtf8(entry.strUnit)))
            << document().units().strAxis.toStdString();

        const std::string strSaved = dir.file("saved.csv");
        ASSERT_TRUE(document().saveAverage(strSaved));
        engine::AverageRequest request = sineRequest();
        request.quantity.sensor = engine::parseSensitivity("100 mV/g").unit;
        request.quantity.quantity = entry.quantity;
        const std::vector<std::string> strLines = fileLines(strSaved);
        ASSERT_FALSE(strLines.empty());
        EXPECT_NE(strLines[0].find("sensitivity=100 mV/g"), std::string::npos) << strLines[0];
        EXPECT_NE(strLines[0].find("highpass=10 Hz"), std::string::npos) << strLines[0];
        const std::vector<std::string> strBatch = batchLines(dir.file("accelerometer.wav"), request);
        EXPECT_EQ(strLines, strBatch);
    }

    // A high-pass above the tone leaves nothing of it.
    type("txtHighPass", QStringLiteral("200"));
    EXPECT_EQ(shownAt(lngToneLine), 0.0);
}

// A unit that is no acceleration offers no velocity, and a sensitivity or level that does not read is
// refused naming its field and what is wrong, the settings in use kept.
TEST_F(ViewQuantityTest, NonsenseIsRefusedWithTheFieldNamedAndTheSettingsKept)
{
    openSine();
    type("txtSensitivity", QStringLiteral("50 mV/Pa"));
    ASSERT_TRUE(document().settings().quantity.sensor.has_value());
    EXPECT_EQ(document().settings().quantity.sensor->strUnit, "Pa");
    auto* quantities = control<QComboBox>("cboQuantity");
    auto* model = qobject_cast<QStandardItemModel*>(quantities->model());
    ASSERT_NE(model, nullptr);
    for (const engine::Quantity quantity : {engine::Quantity::Velocity, engine::Quantity::Displacement}) {
        EXPECT_FALSE(model->item(quantities->findData(static_cast<int>(quantity)))->isEnabled())
            << "a velocity from a microphone is nonsense";
    }
    EXPECT_TRUE(document().units().strLogAxis.contains(QStringLiteral("20 µPa")))
        << document().units().strLogAxis.toStdString();

    // From an accelerometer velocity is taken; a microphone then typed drops it.
    type("txtSensitivity", QStringLiteral("10.2 mV/(m/s^2)"));
    choose("cboQuantity", static_cast<int>(engine::Quantity::Velocity));
    EXPECT_EQ(document().settings().quantity.quantity, engine::Quantity::Velocity);
    const engine::MeasuredQuantity velocity = document().settings().quantity;
    type("txtHighPass", QStringLiteral("-5"));
    EXPECT_EQ(document().settings().quantity, velocity);
    EXPECT_TRUE(control<QLabel>("lblQuantityStatus")->text().contains(QStringLiteral("ハイパス")));
    type("txtDbReference", QStringLiteral("0"));
    EXPECT_EQ(document().settings().quantity, velocity);
    EXPECT_TRUE(control<QLabel>("lblQuantityStatus")->text().contains(QStringLiteral("dB 基準")));
    type("txtSensitivity", QStringLiteral("50 mV/Pa"));
    EXPECT_EQ(document().settings().quantity.quantity, engine::Quantity::AsRecorded);

    const engine::MeasuredQuantity kept = document().settings().quantity;
    for (const char* strText : {"100 mA/g", "abc", "-1 mV/g", "100 mV g"}) {
        SCOPED_TRACE(strText);
        type("txtSensitivity", QString::fromUtf8(strText));
        EXPECT_EQ(document().settings().quantity, kept);
        const QString strStatus = control<QLabel>("lblQuantityStatus")->text();
        EXPECT_TRUE(strStatus.startsWith(QStringLiteral("感度"))) << strStatus.toStdString();
        EXPECT_TRUE(strStatus.contains(QString::fromUtf8(strText))) << strStatus.toStdString();
    }
    EXPECT_FALSE(control<QLineEdit>("txtHighPass")->isEnabled()) << "no high-pass as recorded";
}

// A calibrator's recording open in the view gives the sensitivity that makes its tone read the level,
// and the view then reads in it: 94 dB SPL of a 1 kHz tone of 0.07052 V rms.
TEST_F(ViewQuantityTest, TheCalibrationFromTheRecordingOpenIsFoundAndThenUsed)
{
    const double dblVoltsRms = 0.07052;
    std::vector<double> dblCounts(65536);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] = std::round(dblVoltsRms * std::sqrt(2.0) * dblCountsPerVolt *
                                  std::sin(2 * std::numbers::pi * 1000.3 * static_cast<double>(n) / lngRate));
    }
    open(writeWave("calibrator.wav", dblCounts, lngRate));
    auto* level = control<QLineEdit>("txtCalibrationLevel");
    level->setText(QStringLiteral("94 dB SPL"));
    auto* run = panel.findChild<CalibrationRun*>();
    ASSERT_NE(run, nullptr);
    QSignalSpy finished(run, &CalibrationRun::finished);
    QTest::mouseClick(control<QPushButton>("cmdCalibrate"), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(60000));
    waitForReading();
    const std::optional<engine::EngineeringUnit>& sensor = document().settings().quantity.sensor;
    ASSERT_TRUE(sensor.has_value()) << (ui.messages.empty() ? "" : ui.messages.back().strText);
    EXPECT_EQ(sensor->strUnit, "Pa");
    const double dblPascal = 20e-6 * std::pow(10.0, 94.0 / 20.0);
    EXPECT_NEAR(sensor->dblVoltsPerUnit, dblVoltsRms / dblPascal, 5e-4 * dblVoltsRms / dblPascal);
    EXPECT_FALSE(control<QLineEdit>("txtSensitivity")->text().isEmpty());
    // The spectrum now reads the tone at its level in Pa.
    choose("cboWindow", static_cast<int>(engine::WindowKind::FlatTop));
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    const std::vector<double>& dblValues = panel.shownValues();
    const double dblHighest = *std::max_element(dblValues.begin() + 10, dblValues.end());
    EXPECT_NEAR(dblHighest, dblPascal, 2e-3 * dblPascal);

    // A recording without a tone standing out is no calibration: the sensitivity stays.
    open(writeWave("noise.wav", toneCounts(65536, lngRate, 1000.0, 0.0, 3000.0), lngRate));
    const std::size_t lngMessages = ui.messages.size();
    QTest::mouseClick(control<QPushButton>("cmdCalibrate"), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(document().settings().quantity.sensor, sensor);
    ASSERT_GT(ui.messages.size(), lngMessages);
    EXPECT_NE(ui.messages.back().strText.find("20 dB"), std::string::npos) << ui.messages.back().strText;
}

// The condition measures beside the plot: a sine's crest factor sqrt 2 and kurtosis 1.5, its rms in the
// sensor's unit, and the band RMS of velocity over ISO 20816's 10 to 1000 Hz in mm/s.
TEST_F(ViewQuantityTest, TheConditionMeasuresOfASineInTheSensorsUnit)
{
    openSine();
    type("txtSensitivity", QStringLiteral("100 mV/g"));
    choose("cboQuantity", static_cast<int>(engine::Quantity::Velocity));
    control<QCheckBox>("chkLevels")->setChecked(true);
    LevelsPanel& levels = panel.spectrumPage().levels();
    ASSERT_TRUE(levels.levels().has_value());
    const engine::ConditionLevels& measures = *levels.levels();
    EXPECT_EQ(measures.strUnit, "g");
    EXPECT_NEAR(measures.dblRms, 10.0 / std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(measures.dblCrestFactor, std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(measures.dblKurtosis, 1.5, 1e-3);
    ASSERT_TRUE(levels.bandRms().has_value());
    EXPECT_EQ(levels.bandRms()->band, (engine::FrequencyBand{10.0, 1000.0}));
    EXPECT_EQ(levels.bandRms()->strUnit, "mm/s");
    const double dblVelocity = 10.0 / std::sqrt(2.0) * dblGravity / (2 * std::numbers::pi * dblToneHz) * 1e3;
    EXPECT_NEAR(levels.bandRms()->dblRms, dblVelocity, 2e-3 * dblVelocity);
    // The rows copied are the levels file's, units included.
    const QString strCopied = levels.levelsText();
    EXPECT_TRUE(strCopied.contains(QStringLiteral("sensitivity=100 mV/g"))) << strCopied.toStdString();
    EXPECT_TRUE(strCopied.contains(QStringLiteral("\tmm/s\n"))) << strCopied.toStdString();
    EXPECT_TRUE(strCopied.contains(QStringLiteral("rms\t"))) << strCopied.toStdString();
}

// The envelope of a carrier A (1 + m cos 2 pi fm t) cos 2 pi fc t in a band around fc shows a line at fm
// of A m peak; saved, it is the batch's envelope spectrum file.
TEST_F(ViewQuantityTest, TheEnvelopeModeShowsTheModulationAndSavesTheBatchsFile)
{
    constexpr double dblCarrierHz = 2000.0;
    constexpr double dblModulationHz = 50.0; // line 25
    constexpr double dblA = 1.0;
    constexpr double dblM = 0.5;
    std::vector<double> dblCounts(131072);
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        const double dblTime = static_cast<double>(n) / lngRate;
        dblCounts[n] = std::round(dblA * dblCountsPerVolt *
                                  (1 + dblM * std::cos(2 * std::numbers::pi * dblModulationHz * dblTime)) *
                                  std::cos(2 * std::numbers::pi * dblCarrierHz * dblTime));
    }
    const std::string strPath = writeWave("bearing.wav", dblCounts, lngRate);
    open(strPath);
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Peak));
    type("txtEnvelopeLow", QStringLiteral("1500"));
    type("txtEnvelopeHigh", QStringLiteral("2500"));
    control<QCheckBox>("chkEnvelope")->setChecked(true);
    waitForReading();
    ASSERT_TRUE(document().envelopeShown()) << (ui.messages.empty() ? "" : ui.messages.back().strText);
    const std::vector<double>& dblValues = panel.shownValues();
    const auto highest = std::max_element(dblValues.begin() + 2, dblValues.end());
    EXPECT_NEAR(static_cast<double>(highest - dblValues.begin()), 25.0, 1.0);
    EXPECT_NEAR(*highest, dblA * dblM, 0.01 * dblA * dblM);
    // A defect frequency typed is marked at its harmonics without a peak chosen.
    type("txtDefectFrequency", QStringLiteral("50"));
    const std::vector<double>& dblMarkers = panel.plot().harmonics();
    ASSERT_GE(dblMarkers.size(), 3U);
    EXPECT_EQ((std::vector<double>{dblMarkers[0], dblMarkers[1], dblMarkers[2]}),
              (std::vector<double>{50.0, 100.0, 150.0}));

    const std::string strSaved = dir.file("bearing_ENV_SPC.csv");
    EXPECT_EQ(document().proposedAverageName(), strSaved);
    ASSERT_TRUE(document().saveAverage(strSaved));
    engine::AverageRequest request;
    request.settings.lngNumSamp = 4096;
    request.units = engine::SpectrumUnits::Peak;
    request.envelope = engine::FrequencyBand{1500.0, 2500.0};
    const engine::AverageFileResult result =
        engine::averageRecording(request, strPath, files, sounds, std::numbers::pi);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    const std::string strBatch = dir.file("batch_ENV_SPC.csv");
    engine::writeEnvelopeSpectrum(files, strBatch, result);
    const std::vector<std::string> strLines = fileLines(strSaved);
    ASSERT_FALSE(strLines.empty());
    EXPECT_NE(strLines[0].find("envelope=1500-2500 Hz"), std::string::npos) << strLines[0];
    EXPECT_EQ(strLines, fileLines(strBatch));

    // A band beyond fs / 2 is refused with its reason, the mode as it was.
    control<QCheckBox>("chkEnvelope")->setChecked(false);
    waitForReading();
    EXPECT_TRUE(panel.plot().harmonics().empty()) << "the defect's markers belong to the envelope";
    type("txtEnvelopeHigh", QStringLiteral("5000"));
    const std::size_t lngMessages = ui.messages.size();
    control<QCheckBox>("chkEnvelope")->setChecked(true);
    EXPECT_FALSE(control<QCheckBox>("chkEnvelope")->isChecked());
    ASSERT_GT(ui.messages.size(), lngMessages);
    EXPECT_NE(ui.messages.back().strText.find("fs/2"), std::string::npos) << ui.messages.back().strText;
}

} // namespace
} // namespace kestrix::ui
