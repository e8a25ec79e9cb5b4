// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/spectrogram.h"
#include "engine/run/global_define.h"
#include "engine/view/spectrogram_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace kestrix::engine {
namespace {

constexpr double dblVoltsPerCount = 5.0 / 32767;

// A tone sweeping linearly from dblLow to dblHigh Hz over lngSamples samples at dblSampFreq, peak
// dblPeak counts; its frequency at time t is dblLow + (dblHigh - dblLow) t / T.
struct Chirp
{
    double dblSampFreq;
    double dblLow;
    double dblHigh;
    std::int64_t lngSamples;
    double dblPeak;

    double duration() const
    {
        return static_cast<double>(lngSamples) / dblSampFreq;
    }
    double frequencyAt(double dblTime) const
    {
        return dblLow + (dblHigh - dblLow) * dblTime / duration();
    }
    std::vector<double> samples(std::int64_t lngFrom, std::int64_t lngCount) const
    {
        std::vector<double> dblOut(static_cast<std::size_t>(lngCount));
        const double dblRate = (dblHigh - dblLow) / duration();
        for (std::size_t i = 0; i < dblOut.size(); ++i) {
            const double t = static_cast<double>(lngFrom + static_cast<std::int64_t>(i)) / dblSampFreq;
            dblOut[i] = dblPeak * std::sin(2.0 * std::numbers::pi * (dblLow * t + dblRate * t * t / 2.0));
        }
        return dblOut;
    }
};

// Feeds a recording through the real averager into a spectrogram.
Spectrogram chirpSpectrogram(const Chirp& chirp, const AverageSettings& settings)
{
    Spectrogram spectrogram(spectrogramLayout(settings, chirp.dblSampFreq, dblVoltsPerCount, chirp.lngSamples));
    SpectrumAverager averager(settings, computePI(), spectrogram.segmentHandler());
    constexpr std::int64_t lngChunk = 4099; // not a multiple of any step
    for (std::int64_t lngAt = 0; lngAt < chirp.lngSamples; lngAt += lngChunk) {
        averager.addSamples(chirp.samples(lngAt, std::min(lngChunk, chirp.lngSamples - lngAt)));
    }
    averager.finish();
    return spectrogram;
}

std::size_t highestRow(std::span<const float> sngLevels)
{
    return static_cast<std::size_t>(std::max_element(sngLevels.begin(), sngLevels.end()) - sngLevels.begin());
}

TEST(Spectrogram, ChirpPeaksAtItsFrequencyInEverySegment)
{
    // 0.5 Hz of sweep per 1 s segment, so a segment's spectrum peaks where the tone is at its centre.
    const Chirp chirp{1024.0, 50.0, 400.0, 700 * 1024, 10000.0};
    const AverageSettings settings{1024, WindowKind::Hann, 50.0};
    const Spectrogram spectrogram = chirpSpectrogram(chirp, settings);
    ASSERT_EQ(spectrogram.segmentCount(), (700 * 1024 - 1024) / 512 + 1);
    ASSERT_EQ(spectrogram.columnCount(), static_cast<std::size_t>(spectrogram.segmentCount()));
    ASSERT_EQ(spectrogram.lineCount(), 401u);
    const double dblRmsDbv = 20.0 * std::log10(chirp.dblPeak * dblVoltsPerCount / std::sqrt(2.0));
    for (std::int64_t s = 0; s < spectrogram.segmentCount(); ++s) {
        SCOPED_TRACE(testing::Message() << "segment " << s);
        const double dblCentre = (static_cast<double>(s) * 512.0 + 512.0) / 1024.0; // s
        EXPECT_NEAR(spectrogram.segmentTime(s), dblCentre, 1e-9);
        const double dblTruth = chirp.frequencyAt(dblCentre); // Hz; lines are 1 Hz apart
        const auto c = static_cast<std::size_t>(s);
        EXPECT_LE(std::abs(static_cast<double>(highestRow(spectrogram.columnLevels(c))) - dblTruth), 1.0);
        EXPECT_LE(std::abs(spectrogram.lineFrequency(spectrogram.peakLine(c)) - dblTruth), 1.0);
        // The tone's rms level, less up to 1.42 dB (Hann) where it falls half-way between lines.
        const std::optional<float> level = spectrogram.levelAt(dblCentre, dblTruth);
        ASSERT_TRUE(level.has_value());
        EXPECT_NEAR(*level, dblRmsDbv, 2.0);
        EXPECT_LE(spectrogram.peakLevel(c), dblRmsDbv + 0.05);
        EXPECT_GE(spectrogram.peakLevel(c), dblRmsDbv - 1.5);
    }
}

TEST(Spectrogram, LevelsAreTheDbvOfTheUnitsConversion)
{
    // Powers over 30 decades, exact zeros and line 0 (no mirror line), for two windows and ranges.
    std::mt19937 random(9);
    std::uniform_real_distribution<double> decades(-10.0, 20.0);
    for (const auto& [window, dblRange] : {std::pair{WindowKind::Hann, 5.0}, std::pair{WindowKind::FlatTop, 0.001}}) {
        SCOPED_TRACE(windowName(window));
        const AverageSettings settings{4096, window, 50.0};
        Spectrogram spectrogram(spectrogramLayout(settings, 48000.0, dblRange / 32767, 0));
        std::vector<std::vector<double>> dblSegments;
        for (std::int64_t s = 0; s < 3; ++s) {
            std::vector<double> dblPower(spectrogram.lineCount());
            for (double& dblValue : dblPower) {
                dblValue = std::pow(10.0, decades(random));
            }
            dblPower[static_cast<std::size_t>(7 + s)] = 0.0;
            spectrogram.addSegment(s, dblPower);
            dblSegments.push_back(dblPower);
        }
        const WindowFigures figures = windowFigures(windowCoefficients(window, 4096));
        for (std::int64_t s = 0; s < 3; ++s) {
            const std::vector<double>& dblPower = dblSegments[static_cast<std::size_t>(s)];
            std::vector<double> dblDbv(dblPower.size());
            powerInUnits(dblPower, SpectrumUnits::DbV, figures, 48000.0, dblRange / 32767, dblDbv);
            for (std::size_t k = 0; k < dblPower.size(); ++k) {
                ASSERT_NEAR(spectrogram.level(s, k), dblDbv[k], 1e-4) << "segment " << s << ", line " << k;
            }
        }
    }
}

TEST(Spectrogram, TimeAndFrequencyLookupsFindTheNearestSegmentAndLine)
{
    const Chirp chirp{1024.0, 50.0, 400.0, 20 * 1024, 10000.0};
    const Spectrogram spectrogram = chirpSpectrogram(chirp, {1024, WindowKind::Hann, 75.0});
    ASSERT_EQ(spectrogram.segmentCount(), (20 * 1024 - 1024) / 256 + 1);
    EXPECT_DOUBLE_EQ(spectrogram.segmentSpacing(), 0.25);
    EXPECT_DOUBLE_EQ(spectrogram.timeLow(), 0.5 - 0.125);
    EXPECT_DOUBLE_EQ(spectrogram.timeHigh(), 0.5 - 0.125 + 77 * 0.25);
    struct Case
    {
        double dblTime;
        std::int64_t lngSegment;
    };
    for (const Case& c : {Case{-5.0, 0}, Case{0.5, 0}, Case{0.62, 0}, Case{0.63, 1}, Case{10.0, 38}, Case{99.0, 76}}) {
        SCOPED_TRACE(testing::Message() << c.dblTime << " s");
        EXPECT_EQ(spectrogram.segmentAt(c.dblTime), c.lngSegment);
    }
    EXPECT_EQ(spectrogram.lineAt(-3.0), 0u);
    EXPECT_EQ(spectrogram.lineAt(100.4), 100u);
    EXPECT_EQ(spectrogram.lineAt(100.6), 101u);
    EXPECT_EQ(spectrogram.lineAt(1e9), 400u);
    EXPECT_FALSE(spectrogram.levelAt(0.2, 100.0).has_value()); // before the first cell
    EXPECT_FALSE(spectrogram.levelAt(5.0, 400.6).has_value()); // above the last line's cell
    EXPECT_TRUE(spectrogram.levelAt(5.0, -0.4).has_value());   // inside line 0's cell
    EXPECT_FALSE(Spectrogram(SpectrogramLayout{}).segmentAt(1.0).has_value());
}

// Segment spectra of a floor of 1 count^2 on every line and a stronger line, without the averager.
struct SegmentFeed
{
    std::size_t lngLines;
    std::size_t lngToneLine;
    std::int64_t lngBurstSegment = -1;
    std::size_t lngBurstLine = 0;

    std::vector<double> power(std::int64_t lngSegment, std::mt19937& random) const
    {
        std::uniform_real_distribution<double> floor(0.5, 2.0);
        std::vector<double> dblPower(lngLines);
        for (double& dblValue : dblPower) {
            dblValue = floor(random);
        }
        dblPower[lngToneLine] = 1e6;
        if (lngSegment == lngBurstSegment) {
            dblPower[lngBurstLine] = 1e8;
        }
        return dblPower;
    }
};

SpectrogramLayout smallLayout(std::size_t lngMaxBytes, std::int64_t lngExpected)
{
    SpectrogramLayout layout;
    layout.figures = windowFigures(windowCoefficients(WindowKind::Hann, layout.lngNumSamp));
    layout.lngMaxBytes = lngMaxBytes;
    layout.lngExpectedSegments = lngExpected;
    return layout;
}

// Feeds the same segments to a model under the cap and to one that keeps everything.
void feedBoth(Spectrogram& reduced, Spectrogram& full, const SegmentFeed& feed, std::int64_t lngSegments)
{
    std::mt19937 random(7);
    for (std::int64_t s = 0; s < lngSegments; ++s) {
        const std::vector<double> dblPower = feed.power(s, random);
        reduced.addSegment(s, dblPower);
        full.addSegment(s, dblPower);
    }
}

// Fed through the averager's digest on several threads (the levels worked out where the segments
// are transformed), the model is the one the handler builds on one thread, cell for cell and peak for
// peak, with lines grouped into rows too.
TEST(Spectrogram, TheDigestOnManyThreadsBuildsTheSameModel)
{
    const Chirp chirp{1024.0, 50.0, 400.0, 300 * 1024, 10000.0};
    const AverageSettings settings{1024, WindowKind::Hann, 50.0};
    for (const std::size_t lngCap : {std::size_t{64} << 20, std::size_t{48} << 10}) {
        SCOPED_TRACE(testing::Message() << "cap " << lngCap);
        SpectrogramLayout layout = spectrogramLayout(settings, chirp.dblSampFreq, dblVoltsPerCount, chirp.lngSamples);
        layout.lngMaxBytes = lngCap;
        Spectrogram byHandler(layout);
        SpectrumAverager one(settings, computePI(), byHandler.segmentHandler());
        one.addSamples(chirp.samples(0, chirp.lngSamples));
        one.finish();
        for (const std::int32_t lngThreads : {2, 8}) {
            Spectrogram byDigest(layout);
            SpectrumAverager many(settings, computePI(), {}, lngThreads, byDigest.segmentDigest());
            many.addSamples(chirp.samples(0, chirp.lngSamples));
            many.finish();
            ASSERT_EQ(byDigest.columnCount(), byHandler.columnCount());
            ASSERT_EQ(byDigest.rowCount(), byHandler.rowCount());
            for (std::size_t c = 0; c < byHandler.columnCount(); ++c) {
                const std::span<const float> sngWant = byHandler.columnLevels(c);
                const std::span<const float> sngGot = byDigest.columnLevels(c);
                ASSERT_TRUE(std::equal(sngWant.begin(), sngWant.end(), sngGot.begin())) << "column " << c;
                EXPECT_EQ(byDigest.peakLine(c), byHandler.peakLine(c));
                EXPECT_EQ(byDigest.peakLevel(c), byHandler.peakLevel(c));
            }
            EXPECT_EQ(byDigest.maxLevel(), byHandler.maxLevel());
        }
    }
    // The cap of the second pass groups lines into rows, so both paths were tried on grouped rows.
    SpectrogramLayout small = spectrogramLayout(settings, chirp.dblSampFreq, dblVoltsPerCount, chirp.lngSamples);
    small.lngMaxBytes = std::size_t{48} << 10;
    EXPECT_GT(Spectrogram(small).linesPerRow(), 1);
}

TEST(Spectrogram, ModelFedBeyondItsCapStaysWithinAndKeepsEveryPeak)
{
    constexpr std::size_t lngCap = 64 * 1024;
    constexpr std::int64_t lngSegments = 3000;
    const SegmentFeed feed{401, 123, 1777, 300};
    for (const std::int64_t lngExpected : {std::int64_t{0}, lngSegments, std::int64_t{1000}}) {
        SCOPED_TRACE(testing::Message() << "expected segments " << lngExpected);
        Spectrogram reduced(smallLayout(lngCap, lngExpected));
        Spectrogram full(smallLayout(1u << 30, 0));
        feedBoth(reduced, full, feed, lngSegments);
        EXPECT_LE(reduced.bytesHeld(), lngCap);
        EXPECT_LE(reduced.columnCount(), reduced.columnCapacity());
        EXPECT_LT(reduced.rowCount(), 401u);
        ASSERT_EQ(full.columnCount(), static_cast<std::size_t>(lngSegments));
        ASSERT_EQ(full.rowCount(), 401u);
        const auto lngGroup = reduced.segmentsPerColumn();
        EXPECT_EQ(reduced.columnCount(), static_cast<std::size_t>((lngSegments + lngGroup - 1) / lngGroup));
        // Every cell is the highest of the full model's cells it stands for.
        for (std::size_t c = 0; c < reduced.columnCount(); ++c) {
            const auto lngFirst = static_cast<std::int64_t>(c) * lngGroup;
            const std::int64_t lngEnd = std::min(lngFirst + lngGroup, lngSegments);
            for (std::size_t k = 0; k < 401; k += 7) {
                float sngTruth = -1e9F;
                for (std::int64_t s = lngFirst; s < lngEnd; ++s) {
                    for (std::size_t j = reduced.rowOfLine(k) * static_cast<std::size_t>(reduced.linesPerRow());
                         j < 401 && reduced.rowOfLine(j) == reduced.rowOfLine(k); ++j) {
                        sngTruth = std::max(sngTruth, full.level(s, j));
                    }
                }
                ASSERT_EQ(reduced.level(lngFirst, k), sngTruth) << "column " << c << ", line " << k;
            }
            const bool blnBurst = lngFirst <= 1777 && 1777 < lngEnd;
            EXPECT_EQ(reduced.peakLine(c), blnBurst ? 300u : 123u) << "column " << c;
        }
        EXPECT_EQ(reduced.maxLevel(), full.maxLevel());
    }
}

TEST(Spectrogram, MergesOddColumnCountsWithoutLosingTheLastSegments)
{
    // One row of three lines; room for five columns (12 bytes each).
    Spectrogram reduced(smallLayout(60, 0));
    ASSERT_EQ(reduced.columnCapacity(), 5u);
    Spectrogram full(smallLayout(1u << 20, 0));
    SegmentFeed feed{401, 10};
    std::mt19937 random(3);
    std::uniform_real_distribution<double> tone(1e3, 1e7);
    for (std::int64_t s = 0; s < 37; ++s) {
        std::vector<double> dblPower = feed.power(s, random);
        dblPower[10] = tone(random); // a different highest level in every segment
        reduced.addSegment(s, dblPower);
        full.addSegment(s, dblPower);
        SCOPED_TRACE(testing::Message() << "after segment " << s);
        for (std::int64_t t = 0; t <= s; ++t) {
            const std::int64_t lngFirst = t / reduced.segmentsPerColumn() * reduced.segmentsPerColumn();
            float sngTruth = -1e9F;
            for (std::int64_t u = lngFirst; u < std::min(lngFirst + reduced.segmentsPerColumn(), s + 1); ++u) {
                sngTruth = std::max(sngTruth, full.level(u, 10));
            }
            ASSERT_EQ(reduced.level(t, 0), sngTruth) << "segment " << t;
        }
    }
    EXPECT_EQ(reduced.segmentsPerColumn(), 8);
    EXPECT_EQ(reduced.columnCount(), 5u);
}

TEST(Spectrogram, PlansRowsAndColumnsToTheCap)
{
    struct Case
    {
        const char* strName;
        std::int64_t lngSamples; // 0: not known
        std::int32_t lngLinesPerRow;
        std::int64_t lngSegmentsPerColumn;
    };
    // 25 600 Hz, 65536 points (25601 lines), 50 %: 467 segments in ten minutes, 2812 in an hour.
    for (const Case& c : {Case{"ten minutes", 15360000, 1, 1}, Case{"one hour", 92160000, 2, 3},
                          Case{"length not known", 0, 2, 1}, Case{"ten hours", 921600000, 2, 22}}) {
        SCOPED_TRACE(c.strName);
        const AverageSettings settings{65536, WindowKind::Hann, 50.0};
        const Spectrogram spectrogram(spectrogramLayout(settings, 25600.0, dblVoltsPerCount, c.lngSamples));
        EXPECT_EQ(spectrogram.lineCount(), 25601u);
        EXPECT_EQ(spectrogram.linesPerRow(), c.lngLinesPerRow);
        EXPECT_EQ(spectrogram.segmentsPerColumn(), c.lngSegmentsPerColumn);
        EXPECT_LE(spectrogram.columnCapacity() * (spectrogram.rowCount() * 4 + 8), lngSpectrogramMaxBytes);
        EXPECT_LE(spectrogram.bytesHeld(), lngSpectrogramMaxBytes);
    }
}

} // namespace
} // namespace kestrix::engine
