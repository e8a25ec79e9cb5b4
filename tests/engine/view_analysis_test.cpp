// SPDX-License-Identifier: GPL-3.0-or-later
// What the spectrum view asks of the engine beyond the batch: window responses and windowed tone
// estimates, spectra carried between units, averaged spectrum files read back as references, partial
// and cancelled readings with their progress, a first look at a file, and the classic block.
#include "engine/recordings/average_analysis.h"
#include "engine/recordings/recording_view.h"
#include "engine/recordings/spectrum_csv.h"
#include "engine/recordings/spectrum_units.h"
#include "engine/run/analysis.h"
#include "engine/run/global_define.h"
#include "engine/run/wave.h"
#include "engine/view/peaks.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <sstream>

namespace kestrix::engine {
namespace {

const double dblPI = computePI();

std::vector<double> tone(std::int64_t lngSamples, double dblLinesPerN, std::int32_t lngNumSamp, double dblPeak,
                         double dblNoise = 0.0, unsigned lngSeed = 3)
{
    std::mt19937 random(lngSeed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> dblSamples(static_cast<std::size_t>(lngSamples));
    for (std::size_t n = 0; n < dblSamples.size(); ++n) {
        dblSamples[n] =
            dblPeak * std::sin(2 * std::numbers::pi * dblLinesPerN * static_cast<double>(n) / lngNumSamp + 0.7) +
            dblNoise * noise(random);
    }
    return dblSamples;
}

std::string countText(std::span<const double> dblSamples)
{
    std::string strText;
    for (const double dblSample : dblSamples) {
        strText += std::to_string(std::lround(dblSample)) + "\r\n";
    }
    return strText;
}

// The window's response a few lines off, against a direct transform of its own coefficients in long
// double: the closed form must sum its kernels with their phases.
TEST(WindowResponse, MatchesADirectTransformOfTheCoefficients)
{
    constexpr std::int32_t lngN = 256;
    for (const WindowKind window : windowKinds) {
        const std::vector<double> dblWindow = windowCoefficients(window, lngN);
        long double dblOnLine = 0;
        for (const double dblValue : dblWindow) {
            dblOnLine += dblValue;
        }
        for (const double dblOff : {0.0, 0.1, 0.5, 0.93, 1.0, 1.5, 2.25, 3.7, -1.3}) {
            SCOPED_TRACE(::testing::Message() << windowName(window) << " " << dblOff << " lines off");
            std::complex<long double> cpxSum = 0;
            for (std::size_t n = 0; n < dblWindow.size(); ++n) {
                cpxSum += std::polar<long double>(dblWindow[n], -2 * std::numbers::pi_v<long double> * dblOff *
                                                                    static_cast<long double>(n) / lngN);
            }
            EXPECT_NEAR(windowResponse(window, lngN, dblOff), static_cast<double>(std::abs(cpxSum) / dblOnLine), 1e-9);
        }
    }
}

// A tone anywhere between two lines, averaged under each window: the estimate finds its frequency
// within a hundredth of a line and its amplitude within 0.05 dB, where the line itself reads up to the
// window's scalloping loss low.
TEST(WindowedToneEstimate, FindsAnOffLineTonesFrequencyAndAmplitudeUnderEveryWindow)
{
    constexpr std::int32_t lngN = 1024;
    constexpr double dblPeak = 9000;
    constexpr double dblSampFreq = 1024;
    for (const WindowKind window : windowKinds) {
        for (const double dblLine : {100.0, 100.25, 100.5, 100.8, 251.37}) {
            SCOPED_TRACE(::testing::Message() << windowName(window) << " at line " << dblLine);
            SpectrumAverager averager({lngN, window, 50.0}, dblPI);
            const std::vector<double> dblSamples = tone(16 * lngN, dblLine, lngN, dblPeak, 2.0);
            averager.addSamples(dblSamples);
            const AveragedPower average = averager.finish();
            const std::vector<double> dblPeakVolts =
                spectrumInUnits(average, SpectrumUnits::Peak, dblSampFreq, 1.0); // 1 V per count
            const std::vector<SpectrumPeak> peaks = findProminentPeaks(dblPeakVolts, 1.0, 20.0, window, lngN, 1);
            ASSERT_EQ(peaks.size(), 1u);
            EXPECT_NEAR(peaks[0].dblEstimatedFreq, dblLine, 0.01);
            EXPECT_NEAR(20 * std::log10(peaks[0].dblEstimatedVolts / dblPeak), 0.0, 0.05);
        }
    }
}

// The same spectrum in every unit, as the averager writes them, carried into every other: each must
// read as the averager would have written it (0 Hz and tone lines included).
TEST(SpectrumUnitsCarryOver, EveryUnitCarriesIntoEveryOtherAsTheAveragerWritesIt)
{
    constexpr std::int32_t lngN = 512;
    constexpr double dblSampFreq = 2000;
    constexpr double dblVoltsPerCount = 5.0 / 32767;
    for (const WindowKind window : {WindowKind::Rect, WindowKind::Hann, WindowKind::FlatTop}) {
        std::vector<double> dblSamples = tone(8 * lngN, 40.0, lngN, 7000, 30.0);
        for (double& dblSample : dblSamples) {
            dblSample += 250.0; // an offset for the 0 Hz line
        }
        SpectrumAverager averager({lngN, window, 50.0}, dblPI);
        averager.addSamples(dblSamples);
        const AveragedPower average = averager.finish();
        const double dblBandwidth = average.figures.dblNoiseBandwidth * dblSampFreq / lngN;
        for (const SpectrumUnits from : spectrumUnits) {
            const std::vector<double> dblFrom = spectrumInUnits(average, from, dblSampFreq, dblVoltsPerCount);
            for (const SpectrumUnits to : spectrumUnits) {
                SCOPED_TRACE(::testing::Message()
                             << windowName(window) << ": " << unitsName(from) << " to " << unitsName(to));
                const std::vector<double> dblTruth = spectrumInUnits(average, to, dblSampFreq, dblVoltsPerCount);
                const std::vector<double> dblCarried =
                    convertSpectrum(dblFrom, {from, false, dblBandwidth}, {to, false, dblBandwidth});
                for (const std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{40}, std::size_t{150}}) {
                    EXPECT_NEAR(dblCarried[k], dblTruth[k], 1e-9 * std::max(1.0, std::fabs(dblTruth[k])))
                        << "line " << k;
                }
            }
        }
    }
}

// The classic file's block: a sine of peak a on a line writes 2a and a mean c writes 4c, so its rms
// reading is a / sqrt 2 and c, as the rectangular averaged analysis of the same block reads them.
TEST(SpectrumUnitsCarryOver, TheClassicBlockReadsAsTheRectangularAverageOfTheSameSamples)
{
    constexpr std::int32_t lngN = 1024;
    std::vector<double> dblSamples = tone(lngN, 100.0, lngN, 8000);
    for (double& dblSample : dblSamples) {
        dblSample += 120.0;
    }
    const double dblPosScale = 5.0 / 32767;
    const std::vector<double> dblClassic = classicBlockVolts(dblSamples, dblPI, dblPosScale);
    SpectrumAverager averager({lngN, WindowKind::Rect, 0.0}, dblPI);
    averager.addSamples(dblSamples);
    const AveragedPower average = averager.finish();
    for (const SpectrumUnits units : spectrumUnits) {
        SCOPED_TRACE(unitsName(units));
        const std::vector<double> dblTruth = spectrumInUnits(average, units, 1024.0, dblPosScale);
        const std::vector<double> dblCarried =
            convertSpectrum(dblClassic, {SpectrumUnits::Pp, true, 1.0}, {units, false, 1.0});
        for (const std::size_t k : {std::size_t{0}, std::size_t{100}}) {
            EXPECT_NEAR(dblCarried[k], dblTruth[k], 1e-9 * std::max(1.0, std::fabs(dblTruth[k]))) << "line " << k;
        }
        // A line without the tone holds the transforms' rounding only, which differs between the
        // classic FFT and the averaging's: close on the scale of the tone's line, not in dB.
        if (units != SpectrumUnits::DbV) {
            EXPECT_NEAR(dblCarried[300], dblTruth[300], 1e-9 * std::fabs(dblTruth[100]));
        }
    }
    EXPECT_NEAR(dblClassic[0], 4 * 120 * dblPosScale, 1e-12);
    EXPECT_NEAR(dblClassic[100], 2 * 8000 * dblPosScale, 1e-9);
}

// The classic block of a recording's first N samples is bit for bit what the run writes of it.
TEST(ClassicBlock, EqualsTheRunsSpectrumFileBitForBit)
{
    testing::TempDir dir;
    const std::string strPath = dir.file("rec.csv");
    const std::vector<double> dblSamples = tone(3000, 37.3, 1024, 12000, 40.0);
    testing::writeBytes(strPath, countText(dblSamples));
    platform::StdTextFiles files;
    ControlContents controls;
    controls.intBand = 0;
    controls.intWave = 0;
    const AnalysisResult run = analyseFile(readAnalysisParameters(controls).params, strPath, files, dblPI);
    ASSERT_TRUE(run.analysed());
    std::vector<double> dblFirst(1024);
    for (std::size_t n = 0; n < dblFirst.size(); ++n) {
        dblFirst[n] = static_cast<double>(std::lround(dblSamples[n]));
    }
    EXPECT_EQ(classicBlockVolts(dblFirst, dblPI, 5.0 / 32767), run.spectra.dblVolts);
    EXPECT_EQ(run.spectra.strFileName, strPath);
    EXPECT_EQ(run.spectra.lngSampFreq, 1024);
    EXPECT_EQ(run.spectra.lngNumSamp, 1024);
    EXPECT_EQ(run.spectra.dblMaxVolt, 5.0);
}

struct AverageFileFixture : ::testing::Test
{
    AverageFileResult analyse(const std::string& strPath, const AverageRequest& request, const AverageHooks& hooks = {})
    {
        return averageRecording(request, strPath, files, sounds, dblPI, hooks);
    }
    testing::TempDir dir;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
};

// An averaged file written in each unit reads back as a reference with its heading's units, window,
// N and fs, its values as written (negative levels in dBV included); a broken heading is refused.
TEST_F(AverageFileFixture, AveragedFilesReadBackWithTheirHeading)
{
    const std::string strPath = dir.file("rec.csv");
    testing::writeBytes(strPath, countText(tone(8192, 50.0, 1024, 3000, 5.0)));
    for (const SpectrumUnits units : spectrumUnits) {
        SCOPED_TRACE(unitsName(units));
        AverageRequest request;
        request.units = units;
        request.settings.window = WindowKind::BlackmanHarris;
        request.lngSampFreq = 2048;
        const AverageFileResult result = analyse(strPath, request);
        ASSERT_TRUE(result.analysed()) << result.strRefusal;
        const std::string strOut = dir.file("out.csv");
        writeAverageSpectrum(files, strOut, result);
        const SpectrumReading reading = parseSpectrumCsv(testing::readBytes(strOut));
        ASSERT_EQ(reading.strRefusal, "");
        ASSERT_TRUE(reading.heading);
        EXPECT_EQ(reading.heading->units, units);
        EXPECT_EQ(reading.heading->window, WindowKind::BlackmanHarris);
        EXPECT_EQ(reading.heading->lngNumSamp, 1024);
        EXPECT_EQ(reading.heading->lngSampFreq, 2048);
        ASSERT_EQ(reading.trace.dblVolts.size(), result.dblValues.size());
        for (std::size_t k = 0; k < result.dblValues.size(); ++k) {
            ASSERT_NEAR(reading.trace.dblVolts[k], result.dblValues[k], 1e-13 * std::fabs(result.dblValues[k]));
        }
    }
    struct Case
    {
        const char* strText;
        const char* strRefusal;
    };
    const Case cases[] = {
        {"frequency (Hz),loudness (sone),window=hann,N=1024,fs=1024 Hz\r\n0,1\r\n", "1 行目"},
        {"frequency (Hz),rms (V),window=kaiser,N=1024,fs=1024 Hz\r\n0,1\r\n", "1 行目"},
        {"frequency (Hz),rms (V),window=hann,fs=1024 Hz\r\n0,1\r\n", "1 行目"},
        {"frequency (Hz),rms (V),window=hann,N=1024,fs=1024 Hz\r\n0,-1\r\n", "2 行目"},
        {"0,-50\r\n", "1 行目"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strText);
        const SpectrumReading reading = parseSpectrumCsv(c.strText);
        EXPECT_TRUE(reading.strRefusal.starts_with(c.strRefusal)) << reading.strRefusal;
        EXPECT_FALSE(reading.heading);
    }
    EXPECT_FALSE(parseSpectrumCsv("0,1\r\n1,2\r\n").heading) << "a classic file has none";
}

// A part of a recording: the segment that starts at sample s alone, as an averager fed only those
// samples reads it; and the whole reading reports its progress up to all of the file, and stops
// when told to.
TEST_F(AverageFileFixture, PartsProgressAndCancelOfAReading)
{
    const std::vector<double> dblSamples = tone(300'000, 77.0, 4096, 5000, 100.0);
    std::vector<double> dblCounts(dblSamples.size());
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] = static_cast<double>(std::lround(dblSamples[n]));
    }
    const std::string strText = dir.file("rec.csv");
    testing::writeBytes(strText, countText(dblCounts));
    const std::string strSound = dir.file("rec.wav");
    {
        std::vector<std::int16_t> intCounts(dblCounts.size());
        for (std::size_t n = 0; n < intCounts.size(); ++n) {
            intCounts[n] = waveCount(dblCounts[n]);
        }
        const std::vector<std::uint8_t> bytWave =
            buildWaveFile(intCounts, static_cast<std::int32_t>(intCounts.size()), 8000);
        testing::writeBytes(strSound, std::string(bytWave.begin(), bytWave.end()));
    }
    AverageRequest request;
    request.settings.lngNumSamp = 4096;
    request.settings.window = WindowKind::FlatTop;
    request.lngSkipSamples = 17 * 2048;
    request.lngTakeSamples = 4096;
    SpectrumAverager alone(request.settings, dblPI);
    alone.addSamples(std::span<const double>(dblCounts).subspan(17 * 2048, 4096));
    const AveragedPower truth = alone.finish();
    for (const std::string& strPath : {strText, strSound}) {
        SCOPED_TRACE(strPath);
        const AverageFileResult part = analyse(strPath, request);
        ASSERT_TRUE(part.analysed()) << part.strRefusal;
        EXPECT_EQ(part.average.lngSegments, 1);
        EXPECT_EQ(part.average.dblPower, truth.dblPower);

        std::vector<double> dblShares;
        AverageHooks hooks;
        hooks.onProgress = [&](std::int64_t, std::optional<double> dblShare) {
            dblShares.push_back(dblShare.value_or(-1.0));
            return true;
        };
        const AverageFileResult whole = analyse(strPath, AverageRequest{}, hooks);
        ASSERT_TRUE(whole.analysed());
        ASSERT_GE(dblShares.size(), 3u);
        EXPECT_TRUE(std::is_sorted(dblShares.begin(), dblShares.end()));
        EXPECT_GT(dblShares.front(), 0.0);
        EXPECT_LT(dblShares.front(), 0.5);
        EXPECT_DOUBLE_EQ(dblShares.back(), 1.0);

        std::int64_t lngCalls = 0;
        hooks.onProgress = [&](std::int64_t, std::optional<double>) { return ++lngCalls < 2; };
        const AverageFileResult stopped = analyse(strPath, AverageRequest{}, hooks);
        EXPECT_TRUE(stopped.blnCancelled);
        EXPECT_FALSE(stopped.analysed());
        EXPECT_EQ(lngCalls, 2);
    }
}

// The first look at a file: a sound file's channels and rate, a text's columns with its headings,
// and one-column counts read as the classic run reads them.
TEST_F(AverageFileFixture, AFirstLookFindsChannelsColumnsAndHeadings)
{
    const auto text = [&](const std::string& strName, const std::string& strContent) {
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strContent);
        return inspectRecording(files, sounds, strPath);
    };
    const RecordingInfo counts = text("counts.csv", "1\r\n2\r\n3\r\n");
    EXPECT_FALSE(counts.blnSound);
    EXPECT_EQ(counts.lngColumns, 1);
    EXPECT_FALSE(textChoice(counts, 1).column) << "one-column counts, as the batch reads them";

    const RecordingInfo table = text("table.csv", "# logger 7\r\ntime (s);accel (V);temp\r\n0;1.5;20\r\n");
    EXPECT_EQ(table.lngColumns, 3);
    EXPECT_EQ(table.strHeadings, (std::vector<std::string>{"time (s)", "accel (V)", "temp"}));
    ASSERT_TRUE(textChoice(table, 2).column);
    EXPECT_EQ(textChoice(table, 2).column->lngNumber, 2);

    const RecordingInfo headed = text("headed.csv", "counts\n5\n6\n");
    EXPECT_EQ(headed.lngColumns, 1);
    EXPECT_EQ(headed.strHeadings, std::vector<std::string>{"counts"});
    EXPECT_TRUE(textChoice(headed, 1).column) << "a heading line needs the delimited reading";

    const std::string strSound = dir.file("stereo.wav");
    testing::writeSound(strSound, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2,
                        std::vector<short>{1, 2, 3, 4, 5, 6, 7, 8});
    const RecordingInfo sound = inspectRecording(files, sounds, strSound);
    EXPECT_TRUE(sound.blnSound);
    EXPECT_EQ(sound.lngChannels, 2);
    EXPECT_EQ(sound.lngSampFreq, std::optional<std::int32_t>(48000));
}

} // namespace
} // namespace kestrix::engine
