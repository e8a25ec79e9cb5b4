// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The spectrum view's panel with real widgets and real files, its readings waited for: the fixture of
// the tests of its analysis group and of its spectrogram page.

#include "engine/recordings/spectrum_csv.h"
#include "engine/run/number_text.h"
#include "engine/run/wave.h"
#include "engine/view/spectrogram_image.h"
#include "platform/sndfile/sndfile_sound_files.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/spectrum/source_chooser.h"
#include "ui/spectrum/spectrogram_plot.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::ui {

using testing::TempDir;

inline constexpr double dblVoltsPerCount = 5.0 / 32767; // the start-up range, +-5 V

// Answers the column and channel questions from a script and remembers what was offered.
class ScriptedChooser final : public SourceChooser
{
public:
    std::optional<int> chooseColumn(const QString&, int intColumns, const std::vector<QString>& strOffered,
                                    int intFirst, SignalPair& pair) override
    {
        intColumnsOffered = intColumns;
        intSuggested = intFirst;
        strHeadings = strOffered;
        return answer(pair);
    }
    std::optional<int> chooseChannel(const QString&, int intChannels, int intSampFreq, SignalPair& pair) override
    {
        intChannelsOffered = intChannels;
        intRateShown = intSampFreq;
        return answer(pair);
    }
    std::optional<int> answer(SignalPair& pair)
    {
        pairOffered = pair;
        pair = pairAnswer.value_or(pair);
        return intAnswer;
    }
    std::optional<int> intAnswer = 1;
    std::optional<SignalPair> pairAnswer; // none: the pair offered is taken
    SignalPair pairOffered;
    int intColumnsOffered = 0;
    int intSuggested = 0;
    int intChannelsOffered = 0;
    int intRateShown = 0;
    std::vector<QString> strHeadings;
};

// Counts of a tone (and noise) at dblFreq Hz, sampled at dblSampFreq.
inline std::vector<double> toneCounts(std::int64_t lngSamples, double dblSampFreq, double dblFreq, double dblPeak,
                                      double dblNoise = 0.0)
{
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> dblCounts(static_cast<std::size_t>(lngSamples));
    for (std::size_t n = 0; n < dblCounts.size(); ++n) {
        dblCounts[n] =
            std::round(dblPeak * std::sin(2 * std::numbers::pi * dblFreq * static_cast<double>(n) / dblSampFreq + 0.4) +
                       dblNoise * noise(random));
    }
    return dblCounts;
}

class ViewAnalysisTest : public ::testing::Test
{
protected:
    ViewAnalysisTest() : panel(ui, files, sounds)
    {
        panel.setSourceChooser(chooser);
        panel.setFieldSource([this] { return fields; });
        panel.resize(1200, 800);
        panel.show();
    }

    std::string writeCounts(const std::string& strName, const std::vector<double>& dblCounts)
    {
        std::string strText;
        for (const double dblCount : dblCounts) {
            strText += engine::generalNumberText(dblCount) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strText);
        return strPath;
    }
    std::string writeWave(const std::string& strName, const std::vector<double>& dblCounts, int lngSampFreq)
    {
        std::vector<std::int16_t> intCounts;
        for (const double dblCount : dblCounts) {
            intCounts.push_back(engine::waveCount(dblCount));
        }
        const std::vector<std::uint8_t> bytWave =
            engine::buildWaveFile(intCounts, static_cast<std::int32_t>(intCounts.size()), lngSampFreq);
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, std::string(bytWave.begin(), bytWave.end()));
        return strPath;
    }

    // Waits for the reading under way to end, however it ends.
    void waitForReading()
    {
        if (panel.analysing()) {
            QSignalSpy finished(&panel, &SpectrumPanel::analysisFinished);
            ASSERT_TRUE(finished.wait(60000)) << "the reading did not end";
        }
        ASSERT_FALSE(panel.analysing());
    }
    void open(const std::string& strPath)
    {
        ASSERT_TRUE(panel.openRecording(strPath)) << (ui.messages.empty() ? "" : ui.messages.back().strText);
        waitForReading();
    }
    // A control of the view by its name.
    template <typename Control> Control* control(const char* strName)
    {
        auto* found = panel.findChild<Control*>(QLatin1String(strName));
        EXPECT_NE(found, nullptr) << strName;
        return found;
    }
    // Chooses an entry of a list of the analysis group by its data, as a user picks it.
    void choose(const char* strCombo, const QVariant& value)
    {
        auto* combo = panel.findChild<QComboBox*>(QLatin1String(strCombo));
        ASSERT_NE(combo, nullptr) << strCombo;
        const int intIndex = combo->findData(value);
        ASSERT_GE(intIndex, 0) << strCombo;
        combo->setCurrentIndex(intIndex);
        waitForReading();
    }
    // The plotted value of the shown spectrum at line lngLine, as its file would write it.
    double shownAt(std::size_t lngLine) const
    {
        return panel.shownValues().at(lngLine);
    }

    // The chirp's frequency (Hz) at dblTime s: 20 Hz rising 1.5 Hz a second.
    static double chirpFrequency(double dblTime)
    {
        return 20.0 + 1.5 * dblTime;
    }
    // Four minutes of the chirp at 1024 Hz (245760 samples) with a little noise.
    std::string writeChirp()
    {
        std::mt19937 random(9);
        std::normal_distribution<double> noise(0.0, 3.0);
        dblChirp.resize(245760);
        for (std::size_t n = 0; n < dblChirp.size(); ++n) {
            const double dblTime = static_cast<double>(n) / 1024.0;
            const double dblPhase = 2 * std::numbers::pi * (20.0 * dblTime + 0.75 * dblTime * dblTime);
            dblChirp[n] = std::round(8000 * std::sin(dblPhase) + noise(random));
        }
        return writeCounts("chirp.csv", dblChirp);
    }
    // The shown spectrum against a direct transform of segment lngSegment of the chirp (N 1024, Hann,
    // 50 %) in long double, in V rms, at the lines around its tone and a few others.
    void expectSegmentSpectrum(std::int64_t lngSegment) const
    {
        const std::size_t lngStart = static_cast<std::size_t>(lngSegment) * 512;
        const double dblCentre = (static_cast<double>(lngStart) + 512.0) / 1024.0;
        const auto lngTone = static_cast<std::size_t>(std::lround(chirpFrequency(dblCentre)));
        long double dblWindowSum = 0;
        for (int n = 0; n < 1024; ++n) {
            dblWindowSum += 0.5L - 0.5L * std::cos(2 * std::numbers::pi_v<long double> * n / 1024);
        }
        for (const std::size_t k : {lngTone - 2, lngTone, lngTone + 1, std::size_t{7}, std::size_t{390}}) {
            long double dblR = 0;
            long double dblI = 0;
            for (int n = 0; n < 1024; ++n) {
                const long double dblW = 0.5L - 0.5L * std::cos(2 * std::numbers::pi_v<long double> * n / 1024);
                const long double dblAngle =
                    -2 * std::numbers::pi_v<long double> * static_cast<long double>(k) * n / 1024;
                dblR += dblW * dblChirp[lngStart + static_cast<std::size_t>(n)] * std::cos(dblAngle);
                dblI += dblW * dblChirp[lngStart + static_cast<std::size_t>(n)] * std::sin(dblAngle);
            }
            // A tone of peak A on a line gives |X| = A sum(w) / 2: A / sqrt 2 rms.
            const long double dblRms =
                2 * std::sqrt(dblR * dblR + dblI * dblI) / dblWindowSum / std::sqrt(2.0L) * dblVoltsPerCount;
            EXPECT_NEAR(panel.shownValues().at(k), static_cast<double>(dblRms), 1e-9 * 8000 * dblVoltsPerCount)
                << "segment " << lngSegment << " line " << k;
        }
        EXPECT_GT(panel.shownValues().at(lngTone), 0.5 * 8000 * dblVoltsPerCount / std::sqrt(2.0));
    }

    testing::FakePlatformUi ui;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    std::vector<double> dblChirp;
    ScriptedChooser chooser;
    engine::ControlContents fields;
    TempDir dir;
    SpectrumPanel panel;
};

} // namespace kestrix::ui
