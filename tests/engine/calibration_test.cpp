// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/recording_measures.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

constexpr double dblVoltsPerCount = 5.0 / 32767;

struct Tone
{
    double dblRmsVolts;
    double dblHz;
};

struct CalibratorRecording : ::testing::Test
{
    // Whole counts, as a converter gives them: the tones, an offset and a little noise.
    void record(std::initializer_list<Tone> tones, double dblNoiseCounts = 2.0)
    {
        std::mt19937_64 random(94);
        std::normal_distribution<double> gauss(0.0, dblNoiseCounts);
        std::string strText;
        for (int n = 0; n < 48000 * 2; ++n) {
            double dblVolts = 0.003;
            for (const Tone& tone : tones) {
                dblVolts += tone.dblRmsVolts * std::sqrt(2.0) *
                            std::sin(2 * std::numbers::pi * tone.dblHz * n / lngSampFreq + 0.7);
            }
            strText += std::to_string(std::lround(dblVolts / dblVoltsPerCount + gauss(random))) + "\n";
        }
        files.files["/cal/mic.txt"] = strText;
    }
    RecordingCalibration calibrate(const std::string& strLevel, std::int32_t lngNumSamp = 4096)
    {
        AverageRequest request;
        request.settings.lngNumSamp = lngNumSamp;
        request.lngSampFreq = lngSampFreq;
        const UnitValueReading level = parseUnitValue(strLevel);
        EXPECT_FALSE(level.refusal) << strLevel;
        return calibrateRecording(request, level.value, "/cal/mic.txt", files, sounds, std::numbers::pi);
    }
    static constexpr std::int32_t lngSampFreq = 48000;
    testing::MemoryTextFiles files;
    testing::NoSoundFiles sounds;
};

// A microphone of 49.87 mV/Pa before a 94 dB SPL calibrator (1.0024 Pa) gives 49.99 mV rms at 1 kHz, a
// line and a third off the spectrum's lines; an accelerometer of 100 mV/g on a 1 g calibrator 100 mV.
TEST_F(CalibratorRecording, TheToneOfAKnownLevelGivesTheSensitivity)
{
    struct Case
    {
        const char* strLevel;
        double dblLevelInUnit;
        double dblVoltsPerUnit;
        double dblHz;
        const char* strUnit;
    };
    const Case cases[] = {
        {"94 dB SPL", 1.0023744672545445, 0.04987, 1000.0, "Pa"},
        {"114 dB SPL", 10.023744672545445, 0.005, 1000.0, "Pa"},
        {"1 Pa", 1.0, 0.04987, 250.0, "Pa"},
        {"1 g", 1.0, 0.1, 159.2, "g"},
        {"10 m/s^2", 10.0, 0.0102, 159.2, "m/s\xC2\xB2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strLevel);
        const double dblToneVolts = c.dblLevelInUnit * c.dblVoltsPerUnit;
        // A second harmonic 40 dB down and the noise do not move the reading.
        record({{dblToneVolts, c.dblHz}, {dblToneVolts / 100, 2 * c.dblHz}});
        const RecordingCalibration result = calibrate(c.strLevel);
        ASSERT_EQ(result.strRefusal, "");
        const Calibration& calibration = result.calibration;
        ASSERT_TRUE(calibration.blnToneFound) << calibrationText(calibration);
        EXPECT_NEAR(calibration.sensor.dblVoltsPerUnit, c.dblVoltsPerUnit, 5e-4 * c.dblVoltsPerUnit);
        EXPECT_NEAR(calibration.dblToneVoltsRms, dblToneVolts, 5e-4 * dblToneVolts);
        EXPECT_NEAR(calibration.dblToneHz, c.dblHz, 48000.0 / 4096 / 10);
        EXPECT_EQ(calibration.sensor.strUnit, c.strUnit);
        EXPECT_EQ(calibration.sensor.dblDbReference, isoDbReference(c.strUnit).dblValue);
        EXPECT_NEAR(calibration.dblToneAboveRestDb, 40.0, 0.5);
    }
    record({{1.0023744672545445 * 0.05012, 1000.0}});
    EXPECT_EQ(calibrationText(calibrate("94 dB SPL").calibration),
              "sensitivity 50.12 mV/Pa (tone 1000.0 Hz, 50.24 mV rms)");
}

TEST_F(CalibratorRecording, WithoutAToneStandingTwentyDecibelsOutItIsRefused)
{
    // Two tones 12 dB apart: the highest stands only 12 dB above the rest.
    record({{0.05, 1000.0}, {0.0125, 3000.0}});
    const Calibration twoTones = calibrate("94 dB SPL").calibration;
    EXPECT_FALSE(twoTones.blnToneFound);
    EXPECT_NEAR(twoTones.dblToneAboveRestDb, 12.04, 0.1);
    EXPECT_EQ(calibrationText(twoTones), "no tone stands 20 dB above the rest of the spectrum: the highest line ("
                                         "1000.0 Hz) stands 12.0 dB above the next highest (3000.0 Hz)");
    // 19 dB is not enough, 21 dB is.
    record({{0.05, 1000.0}, {0.05 * std::pow(10.0, -19.0 / 20), 5000.0}});
    EXPECT_FALSE(calibrate("1 Pa").calibration.blnToneFound);
    record({{0.05, 1000.0}, {0.05 * std::pow(10.0, -21.0 / 20), 5000.0}});
    EXPECT_TRUE(calibrate("1 Pa").calibration.blnToneFound);
    // Noise alone, and silence.
    record({}, 300.0);
    EXPECT_FALSE(calibrate("1 Pa").calibration.blnToneFound);
    std::string strZeros;
    for (int n = 0; n < 8192; ++n) {
        strZeros += "0\n";
    }
    files.files["/cal/mic.txt"] = strZeros;
    const Calibration silence = calibrate("1 Pa").calibration;
    EXPECT_FALSE(silence.blnToneFound);
    EXPECT_EQ(calibrationText(silence), "no tone stands 20 dB above the rest of the spectrum: the recording is silent");
    // A recording the analysis refuses is refused as such.
    files.files["/cal/mic.txt"] = "1\n2\n";
    EXPECT_EQ(calibrate("1 Pa").strRefusal, "too few samples for one segment: 2 found, 4096 needed");
}

} // namespace
} // namespace kestrix::engine
