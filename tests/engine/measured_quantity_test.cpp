// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/measured_quantity.h"
#include "engine/run/analysis_parameters.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

const double dblPI = std::atan(1.0) * 4;
constexpr double dblRange = 5.0;
constexpr double dblVoltsPerCount = dblRange / 32767;
const std::string strSquared = "\xC2\xB2";

// 159.155 Hz is 1000 rad/s. At fs = 10186 Hz and N = 4096 it lies 3e-5 lines below line 64, so the
// line's frequency is the tone's within 1e-6.
constexpr double dblToneHz = 159.155;
constexpr std::int32_t lngSampFreq = 10186;
constexpr std::size_t lngToneLine = 64;

MeasuredQuantity accelerometer(Quantity quantity, double dblMilliVoltsPerG = 100.0)
{
    MeasuredQuantity measured;
    measured.sensor = engineeringUnit("g", dblMilliVoltsPerG / 1000.0);
    measured.quantity = quantity;
    return measured;
}

// Counts of sines of the given peak volts and frequencies, not rounded.
std::vector<double> sines(std::size_t lngSamples, std::initializer_list<std::pair<double, double>> peakAndHz)
{
    std::vector<double> dblCounts(lngSamples, 0.0);
    for (std::size_t n = 0; n < lngSamples; ++n) {
        for (const auto& [dblPeakVolts, dblHz] : peakAndHz) {
            dblCounts[n] += dblPeakVolts / dblVoltsPerCount *
                            std::sin(2 * std::numbers::pi * dblHz * static_cast<double>(n) / lngSampFreq + 0.4);
        }
    }
    return dblCounts;
}

AveragedPower average(std::span<const double> dblCounts, WindowKind window = WindowKind::FlatTop,
                      std::int32_t lngNumSamp = 4096)
{
    SpectrumAverager averager({lngNumSamp, window}, dblPI);
    averager.addSamples(dblCounts);
    return averager.finish();
}

// The reading the issue names: a sine of 10 g peak at 159.155 Hz, recorded at 100 mV/g (1 V peak).
TEST(MeasuredQuantity, AnAccelerometersSineReadsAsAccelerationVelocityAndDisplacement)
{
    const AveragedPower power = average(sines(4096 * 12, {{1.0, dblToneHz}}));
    struct Case
    {
        Quantity quantity;
        SpectrumUnits units;
        double dblTruth; // from the issue: 7.071 g rms, 69.34 mm/s rms, 69.34 µm rms, 98.07 µm peak
    };
    const Case cases[] = {
        {Quantity::AsRecorded, SpectrumUnits::Rms, 7.071},   {Quantity::Acceleration, SpectrumUnits::Peak, 10.0},
        {Quantity::Velocity, SpectrumUnits::Rms, 69.34},     {Quantity::Velocity, SpectrumUnits::Pp, 196.13},
        {Quantity::Displacement, SpectrumUnits::Rms, 69.34}, {Quantity::Displacement, SpectrumUnits::Peak, 98.07},
        {Quantity::Displacement, SpectrumUnits::Pp, 196.13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(quantityName(c.quantity)) + " " + std::string(unitsName(c.units)));
        const std::vector<double> dblValues =
            spectrumInUnits(power, c.units, lngSampFreq, dblVoltsPerCount, accelerometer(c.quantity));
        EXPECT_NEAR(dblValues[lngToneLine], c.dblTruth, 1e-3 * c.dblTruth);
    }
    // At 1000 rad/s the ISO 1683 references (1 µm/s², 1 nm/s, 1 pm) make the three levels one number:
    // 20 log10(69.344e6) = 156.82 dB.
    for (const Quantity quantity : {Quantity::AsRecorded, Quantity::Velocity, Quantity::Displacement}) {
        SCOPED_TRACE(quantityName(quantity));
        const std::vector<double> dblLevels =
            spectrumInUnits(power, SpectrumUnits::DbV, lngSampFreq, dblVoltsPerCount, accelerometer(quantity));
        EXPECT_NEAR(dblLevels[lngToneLine], 156.82, 0.01);
    }
}

// ISO 20816's overall velocity, 10 to 1000 Hz: a tone below the band and one above it do not count, in
// whichever lines the tone of the band falls. (With 0.62 Hz lines the 5 Hz tone's flat-top lobe ends at
// 8.1 Hz: a coarser spectrum would spread it over lines above the high-pass, where 1 / f magnifies it.)
TEST(MeasuredQuantity, BandRmsOfVelocityIsTheToneInsideTheBandOnly)
{
    for (const double dblHz : {dblToneHz, 159.9, 437.25}) {
        SCOPED_TRACE(dblHz);
        const AveragedPower power =
            average(sines(16384 * 6, {{1.0, dblHz}, {0.5, 5.0}, {0.3, 2000.0}}), WindowKind::FlatTop, 16384);
        const MeasuredQuantity velocity = accelerometer(Quantity::Velocity);
        const BandRms band =
            bandRms(power, lngSampFreq, dblVoltsPerCount, velocity, defaultBandRms(Quantity::Velocity, lngSampFreq));
        const double dblTruth = 10.0 * 9.80665 * 1000.0 / (2 * std::numbers::pi * dblHz) / std::sqrt(2.0);
        EXPECT_NEAR(band.dblRms, dblTruth, 1e-3 * dblTruth);
        EXPECT_EQ(band.strUnit, "mm/s");
        EXPECT_EQ(band.band.dblLowHz, 10.0);
        EXPECT_EQ(band.band.dblHighHz, 1000.0);
        // As acceleration over the whole spectrum, all three tones count: sqrt(sum of A^2 / 2) in g.
        const BandRms whole = bandRms(power, lngSampFreq, dblVoltsPerCount, accelerometer(Quantity::AsRecorded),
                                      defaultBandRms(Quantity::AsRecorded, lngSampFreq));
        const double dblWhole = std::sqrt((100.0 + 25.0 + 9.0) / 2.0);
        EXPECT_NEAR(whole.dblRms, dblWhole, 1e-3 * dblWhole);
        EXPECT_NEAR(whole.band.dblHighHz, static_cast<double>(spectrumLineCount(16384) - 1) * lngSampFreq / 16384,
                    1e-9);
    }
}

// Densities carry the square: white acceleration noise of 1 g rms has 2 / fs g^2/Hz on every line, and
// its velocity (1000 g / (2 pi f))^2 times that in (mm/s)^2/Hz.
TEST(MeasuredQuantity, DensitiesOfIntegratedNoiseCarryTheSquareOfTheFactor)
{
    std::mt19937_64 random(19);
    std::normal_distribution<double> gauss(0.0, 0.1 / dblVoltsPerCount); // 1 g rms at 100 mV/g
    std::vector<double> dblCounts(1 << 20);
    for (double& dblCount : dblCounts) {
        dblCount = gauss(random);
    }
    const AveragedPower power = average(dblCounts, WindowKind::Hann, 1024);
    const double dblDeltaFreq = static_cast<double>(lngSampFreq) / 1024;
    const auto values = [&](Quantity quantity, SpectrumUnits units) {
        return spectrumInUnits(power, units, lngSampFreq, dblVoltsPerCount, accelerometer(quantity));
    };
    const std::vector<double> dblPsdA = values(Quantity::AsRecorded, SpectrumUnits::Psd);
    const std::vector<double> dblPsdV = values(Quantity::Velocity, SpectrumUnits::Psd);
    const std::vector<double> dblAsdD = values(Quantity::Displacement, SpectrumUnits::Asd);
    double dblSumA = 0.0;
    double dblSumV = 0.0;
    double dblSumD = 0.0;
    constexpr std::size_t lngFirst = 20;
    constexpr std::size_t lngLast = 380;
    for (std::size_t k = lngFirst; k <= lngLast; ++k) {
        const double dblOmega = 2 * std::numbers::pi * static_cast<double>(k) * dblDeltaFreq;
        dblSumA += dblPsdA[k] / (2.0 / lngSampFreq);
        dblSumV += dblPsdV[k] / (std::pow(9806.65 / dblOmega, 2) * 2.0 / lngSampFreq);
        dblSumD += dblAsdD[k] / (9.80665e6 / (dblOmega * dblOmega) * std::sqrt(2.0 / lngSampFreq));
    }
    const auto lngLines = static_cast<double>(lngLast - lngFirst + 1);
    EXPECT_NEAR(dblSumA / lngLines, 1.0, 0.02);
    EXPECT_NEAR(dblSumV / lngLines, 1.0, 0.02);
    EXPECT_NEAR(dblSumD / lngLines, 1.0, 0.02);
    // The band RMS of the whole spectrum is the noise's share of it: fs / 2.56 of fs / 2.
    const BandRms whole = bandRms(power, lngSampFreq, dblVoltsPerCount, accelerometer(Quantity::AsRecorded),
                                  defaultBandRms(Quantity::AsRecorded, lngSampFreq));
    EXPECT_NEAR(whole.dblRms, 1.0 / std::sqrt(1.28), 0.01);
}

TEST(MeasuredQuantity, LinesBelowTheHighPassReadZero)
{
    // The 5 Hz tone lies 0.01 lines above line 2 (4.97 Hz).
    const AveragedPower power = average(sines(4096 * 12, {{1.0, 5.0}, {1.0, dblToneHz}}));
    const double dblDeltaFreq = static_cast<double>(lngSampFreq) / 4096;
    const double dblFiveHz = 10.0 * 9806.65 / (2 * std::numbers::pi * 2 * dblDeltaFreq) / std::sqrt(2.0);
    for (const double dblHighPass : {10.0, 5.0, 4.9, 0.0}) {
        SCOPED_TRACE(dblHighPass);
        MeasuredQuantity velocity = accelerometer(Quantity::Velocity);
        velocity.dblHighPassHz = dblHighPass;
        const std::vector<double> dblRms =
            spectrumInUnits(power, SpectrumUnits::Rms, lngSampFreq, dblVoltsPerCount, velocity);
        const std::vector<double> dblDb =
            spectrumInUnits(power, SpectrumUnits::DbV, lngSampFreq, dblVoltsPerCount, velocity);
        EXPECT_EQ(dblRms[0], 0.0);
        EXPECT_EQ(dblDb[0], dblDbvFloor);
        for (std::size_t k = 1; k < 10; ++k) {
            const bool blnBelow = static_cast<double>(k) * dblDeltaFreq < dblHighPass;
            EXPECT_EQ(dblRms[k] == 0.0, blnBelow) << "line " << k;
            EXPECT_EQ(dblDb[k] == dblDbvFloor, blnBelow) << "line " << k;
        }
        if (dblHighPass < 2 * dblDeltaFreq) {
            EXPECT_NEAR(dblRms[2], dblFiveHz, 1e-3 * dblFiveHz);
        }
    }
}

TEST(MeasuredQuantity, OnlyAccelerationsAreIntegratedAndOtherNonsenseIsRefused)
{
    MeasuredQuantity microphone;
    microphone.sensor = engineeringUnit("Pa", 0.05);
    EXPECT_FALSE(checkQuantity(microphone));
    for (const Quantity quantity : {Quantity::Acceleration, Quantity::Velocity, Quantity::Displacement}) {
        SCOPED_TRACE(quantityName(quantity));
        microphone.quantity = quantity;
        const std::optional<QuantityRefusal> refused = checkQuantity(microphone);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->kind, QuantityRefusal::Kind::NotAcceleration);
        const std::string strText = quantityRefusalText(*refused, quantity);
        EXPECT_TRUE(strText.starts_with(std::string(quantityName(quantity)) + " needs an accelerometer")) << strText;
        EXPECT_TRUE(strText.ends_with("not one in Pa")) << strText;
        MeasuredQuantity volts;
        volts.quantity = quantity;
        ASSERT_TRUE(checkQuantity(volts));
        EXPECT_EQ(checkQuantity(volts)->strUnit, "V");
        EXPECT_FALSE(checkQuantity(accelerometer(quantity)));
        MeasuredQuantity metres = accelerometer(quantity);
        metres.sensor = engineeringUnit("m/s" + strSquared, 0.0102);
        EXPECT_FALSE(checkQuantity(metres));
    }
    MeasuredQuantity velocity = accelerometer(Quantity::Velocity);
    velocity.dblHighPassHz = -1.0;
    ASSERT_TRUE(checkQuantity(velocity));
    EXPECT_EQ(checkQuantity(velocity)->kind, QuantityRefusal::Kind::HighPass);
    velocity.dblHighPassHz = 10.0;
    for (const double dblReference : {0.0, -1.0, std::nan("")}) {
        velocity.dblDbReference = dblReference;
        ASSERT_TRUE(checkQuantity(velocity));
        EXPECT_EQ(checkQuantity(velocity)->kind, QuantityRefusal::Kind::DbReference);
    }
    EXPECT_EQ(quantityOfName("velocity"), Quantity::Velocity);
    EXPECT_FALSE(quantityOfName("speed"));
    EXPECT_FALSE(quantityOfName(""));
}

TEST(MeasuredQuantity, HeadingsNameTheShownUnitAndItsReference)
{
    MeasuredQuantity microphone;
    microphone.sensor = engineeringUnit("Pa", 0.05);
    MeasuredQuantity voltsWithReference;
    voltsWithReference.dblDbReference = 1e-3;
    MeasuredQuantity metres;
    metres.sensor = engineeringUnit("m/s" + strSquared, 0.0102);
    struct Case
    {
        MeasuredQuantity quantity;
        SpectrumUnits units;
        std::string strHeading;
    };
    const Case cases[] = {
        {{}, SpectrumUnits::Rms, "rms (V)"},
        {{}, SpectrumUnits::DbV, "level (dBV)"},
        {{}, SpectrumUnits::Asd, "ASD (V/sqrt(Hz))"},
        {voltsWithReference, SpectrumUnits::DbV, "level (dB re 0.001 V)"},
        {microphone, SpectrumUnits::DbV, "level (dB re 20 \xC2\xB5Pa)"},
        {microphone, SpectrumUnits::Peak, "peak (Pa)"},
        {accelerometer(Quantity::AsRecorded), SpectrumUnits::Psd, "PSD (g^2/Hz)"},
        {accelerometer(Quantity::AsRecorded), SpectrumUnits::Asd, "ASD (g/sqrt(Hz))"},
        {accelerometer(Quantity::AsRecorded), SpectrumUnits::DbV, "level (dB re 1 \xC2\xB5m/s" + strSquared + ")"},
        {metres, SpectrumUnits::Psd, "PSD ((m/s" + strSquared + ")^2/Hz)"},
        {accelerometer(Quantity::Velocity), SpectrumUnits::Rms, "rms (mm/s)"},
        {accelerometer(Quantity::Velocity), SpectrumUnits::Psd, "PSD ((mm/s)^2/Hz)"},
        {accelerometer(Quantity::Velocity), SpectrumUnits::DbV, "level (dB re 1 nm/s)"},
        {accelerometer(Quantity::Displacement), SpectrumUnits::Pp, "peak-to-peak (\xC2\xB5m)"},
        {accelerometer(Quantity::Displacement), SpectrumUnits::DbV, "level (dB re 1 pm)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strHeading);
        EXPECT_EQ(unitsHeading(c.units, c.quantity), c.strHeading);
    }
}

// Without a sensor, the quantity's conversion gives the volts' values bit for bit; with one, the EU
// values are the volts' over the sensitivity, and dB levels move by the reference.
TEST(MeasuredQuantity, VoltsStayBitForBitAndASensorOnlyScales)
{
    const AveragedPower power = average(sines(4096 * 3, {{1.0, 300.3}, {0.01, 1234.5}}), WindowKind::Hann);
    MeasuredQuantity microphone;
    microphone.sensor = engineeringUnit("Pa", 0.05);
    for (const SpectrumUnits units : spectrumUnits) {
        SCOPED_TRACE(unitsName(units));
        const std::vector<double> dblVolts = spectrumInUnits(power, units, lngSampFreq, dblVoltsPerCount);
        EXPECT_EQ(spectrumInUnits(power, units, lngSampFreq, dblVoltsPerCount, MeasuredQuantity{}), dblVolts);
        const std::vector<double> dblPascal = spectrumInUnits(power, units, lngSampFreq, dblVoltsPerCount, microphone);
        for (std::size_t k = 0; k < dblVolts.size(); k += 37) {
            const double dblTruth = units == SpectrumUnits::DbV   ? dblVolts[k] + 20 * std::log10(1 / 0.05 / 20e-6)
                                    : units == SpectrumUnits::Psd ? dblVolts[k] / (0.05 * 0.05)
                                                                  : dblVolts[k] / 0.05;
            ASSERT_NEAR(dblPascal[k], dblTruth, 1e-12 * std::fabs(dblTruth)) << "line " << k;
        }
    }
}

TEST(MeasuredQuantity, TheAveragedFileNamesSensitivityQuantityAndHighPass)
{
    testing::MemoryTextFiles files;
    std::string strText;
    for (const double dblCount : sines(4096 * 3, {{1.0, dblToneHz}})) {
        strText += std::to_string(std::lround(dblCount)) + "\r\n";
    }
    files.files["/meas/pump.txt"] = strText;
    testing::NoSoundFiles sounds;
    AverageRequest request;
    request.settings = {4096, WindowKind::FlatTop};
    request.lngSampFreq = lngSampFreq;
    request.quantity = accelerometer(Quantity::Velocity);
    request.quantity.sensor = parseSensitivity("10.2 mV/(m/s^2)").unit;
    const AverageFileResult result = analyseAverage(request, "/meas/pump.txt", files, sounds, dblPI);
    ASSERT_TRUE(result.analysed()) << result.strRefusal;
    const std::string& strFile = files.files.at("/meas/pump_AVG_SPC.csv");
    EXPECT_EQ(strFile.substr(0, strFile.find("\r\n")),
              "frequency (Hz),rms (mm/s),window=flattop,N=4096,overlap=50%,segments=5,averaging=mean,detrend=none,"
              "fs=10186 Hz,range=5 V,sensitivity=10.2 mV/(m/s\xC2\xB2),quantity=velocity,highpass=10 Hz,"
              "samples=12288,source=pump.txt");
    // 1 V at 10.2 mV/(m/s²) is 98.04 m/s² peak: 98.04 mm/s peak at 1000 rad/s, 69.32 rms.
    const double dblTruth = 1.0 / 0.0102 / std::sqrt(2.0) * 1000.0 / (2 * std::numbers::pi * dblToneHz);
    EXPECT_NEAR(result.dblValues[lngToneLine], dblTruth, 1e-3 * dblTruth);
    // A quantity the sensor cannot give refuses the recording before anything is written.
    request.quantity.sensor = engineeringUnit("Pa", 0.05);
    files.files.erase("/meas/pump_AVG_SPC.csv");
    const AverageFileResult refused = analyseAverage(request, "/meas/pump.txt", files, sounds, dblPI);
    EXPECT_EQ(refused.strRefusal, "velocity needs an accelerometer's recording (a sensitivity per g or per "
                                  "m/s\xC2\xB2), not one in Pa");
    EXPECT_EQ(files.files.count("/meas/pump_AVG_SPC.csv"), 0U);
}

} // namespace
} // namespace kestrix::engine
