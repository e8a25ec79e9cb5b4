// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/spectrogram.h"
#include "engine/view/spectrogram_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kestrix::engine {
namespace {

constexpr double dblVoltsPerCount = 5.0 / 32767;

SpectrogramLayout hannLayout(std::size_t lngMaxBytes = 1u << 30)
{
    SpectrogramLayout layout; // 1024 Hz, 1024 points (1 Hz lines, 401 of them), 50 %: 0.5 s apart
    layout.figures = windowFigures(windowCoefficients(WindowKind::Hann, layout.lngNumSamp));
    layout.dblVoltsPerCount = dblVoltsPerCount;
    layout.lngMaxBytes = lngMaxBytes;
    return layout;
}

// |X[k]|^2 (k > 0) of a Hann-windowed 1024-point segment whose line reads dblDbv dBV rms: a tone of
// peak A gives |X| = A sum(w) / 2 with sum(w) = 512.
double powerOfDbv(double dblDbv)
{
    const double dblPeakCounts = std::pow(10.0, dblDbv / 20.0) * std::sqrt(2.0) / dblVoltsPerCount;
    return std::pow(dblPeakCounts * 512.0 / 2.0, 2);
}

std::uint32_t rgb(std::uint32_t lngColour)
{
    return lngColour & 0xffffff;
}

TEST(SpectrogramImage, ColourMapEndsAndClamping)
{
    struct Case
    {
        double dblShare;
        std::uint32_t lngColour;
    };
    for (const Case& c : {Case{0.0, 0xff440154}, Case{-0.5, 0xff440154}, Case{std::nan(""), 0xff440154},
                          Case{0.5, 0xff21918c}, Case{1.0, 0xfffde725}, Case{7.0, 0xfffde725}}) {
        SCOPED_TRACE(c.dblShare);
        EXPECT_EQ(viridisColour(c.dblShare), c.lngColour);
    }
    const LevelRange range{-90.0, -30.0};
    struct LevelCase
    {
        double dblLevel;
        std::uint32_t lngColour;
    };
    for (const LevelCase& c :
         {LevelCase{-90.0, 0xff440154}, LevelCase{-400.0, 0xff440154}, LevelCase{-60.0, 0xff21918c},
          LevelCase{-30.0, 0xfffde725}, LevelCase{12.0, 0xfffde725}}) {
        SCOPED_TRACE(c.dblLevel);
        EXPECT_EQ(levelColour(c.dblLevel, range), c.lngColour);
    }
}

TEST(SpectrogramImage, ColourMapIsViridisAndBrightensSteadily)
{
    // A polynomial fit of viridis (an independent description of it), good to about 4 / 255.
    constexpr double dblFit[7][3] = {{0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
                                     {0.1050930431085774, 1.404613529898575, 1.384590162594685},
                                     {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
                                     {-4.634230498983486, -5.799100973351585, -19.33244095627987},
                                     {6.228269936347081, 14.17993336680509, 56.69055260068105},
                                     {4.776384997670288, -13.74514537774601, -65.35303263337234},
                                     {-5.435455855934631, 4.645852612178535, 26.3124352495832}};
    // Brighter from end to end (the luma of the 8-bit values wobbles by rounding from one entry to
    // the next, but rises over every eight).
    std::vector<double> dblLuma;
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const double t = i / 255.0;
        const std::uint32_t lngColour = viridisColour(t);
        EXPECT_EQ(lngColour >> 24, 0xffu);
        double dblChannels[3];
        for (int ch = 0; ch < 3; ++ch) {
            double dblFitted = 0.0;
            for (int p = 6; p >= 0; --p) {
                dblFitted = dblFitted * t + dblFit[p][ch];
            }
            dblChannels[ch] = static_cast<double>((lngColour >> (16 - 8 * ch)) & 0xff);
            EXPECT_NEAR(dblChannels[ch], dblFitted * 255.0, 4.0) << "channel " << ch;
        }
        dblLuma.push_back(0.2126 * dblChannels[0] + 0.7152 * dblChannels[1] + 0.0722 * dblChannels[2]);
        const std::size_t n = dblLuma.size() - 1;
        if (n >= 8) {
            EXPECT_GT(dblLuma[n], dblLuma[n - 8]);
            EXPECT_GT(dblLuma[n], dblLuma[n - 1] - 0.5);
        }
    }
}

TEST(SpectrogramImage, OneLineToneAndOneSegmentBurstStayVisibleWhenZoomedOut)
{
    // 3000 segments x 401 lines into 40 x 25 pixels: 75 segments and 16 lines per pixel.
    Spectrogram spectrogram(hannLayout());
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(powerOfDbv(-125.0), powerOfDbv(-115.0));
    for (std::int64_t s = 0; s < 3000; ++s) {
        std::vector<double> dblPower(401);
        for (double& dblValue : dblPower) {
            dblValue = noise(random);
        }
        dblPower[123] = powerOfDbv(-40.0);
        if (s == 1777) {
            dblPower[300] = powerOfDbv(-20.0);
        }
        spectrogram.addSegment(s, dblPower);
    }
    const LevelRange range{-60.0, -20.0};
    const SpectrogramView view{spectrogram.timeLow(), spectrogram.timeHigh(), 0.0, 400.0};
    std::vector<std::uint32_t> lngPixels(40 * 25);
    renderSpectrogram(spectrogram, view, range, 40, 25, lngPixels, 40);
    // Pixel rows of 16 Hz from 400 Hz down: 123 Hz in row 17, 300 Hz in row 6; pixel columns of
    // 37.5 s from 0.25 s: segment 1777 (centred at 889 s) in column 23.
    const std::uint32_t lngTone = levelColour(-40.0, range);
    for (std::size_t y = 0; y < 25; ++y) {
        for (std::size_t x = 0; x < 40; ++x) {
            const std::uint32_t lngTruth = (x == 23 && y == 6) ? viridisColour(1.0)
                                           : y == 17           ? lngTone
                                                               : viridisColour(0.0);
            EXPECT_EQ(rgb(lngPixels[y * 40 + x]), rgb(lngTruth)) << "pixel " << x << ", " << y;
        }
    }
}

TEST(SpectrogramImage, ZoomedInEveryPixelShowsTheCellUnderIt)
{
    Spectrogram spectrogram(hannLayout());
    std::mt19937 random(5);
    std::uniform_real_distribution<double> level(-100.0, -20.0);
    for (std::int64_t s = 0; s < 40; ++s) {
        std::vector<double> dblPower(401);
        for (double& dblValue : dblPower) {
            dblValue = powerOfDbv(level(random));
        }
        spectrogram.addSegment(s, dblPower);
    }
    // Lines 100 to 105 (10 pixels each) and segments 10 to 14 (also 10 pixels each), into a buffer
    // with 3 spare pixels per row that must stay as they are.
    const SpectrogramView view{0.25 + 10 * 0.5, 0.25 + 15 * 0.5, 99.5, 105.5};
    constexpr std::size_t lngStride = 53;
    std::vector<std::uint32_t> lngPixels(lngStride * 60, 0x12345678);
    const LevelRange range{-100.0, -20.0};
    renderSpectrogram(spectrogram, view, range, 50, 60, lngPixels, lngStride);
    for (std::size_t y = 0; y < 60; ++y) {
        for (std::size_t x = 0; x < lngStride; ++x) {
            const std::uint32_t lngTruth =
                x < 50 ? levelColour(spectrogram.level(10 + static_cast<std::int64_t>(x / 10), 105 - y / 10), range)
                       : 0x12345678;
            ASSERT_EQ(lngPixels[y * lngStride + x], lngTruth) << "pixel " << x << ", " << y;
        }
    }
}

TEST(SpectrogramImage, PixelsBesideTheDataTakeTheOutsideColour)
{
    Spectrogram spectrogram(hannLayout());
    for (std::int64_t s = 0; s < 8; ++s) {
        spectrogram.addSegment(s, std::vector<double>(401, powerOfDbv(-50.0)));
    }
    // Data: 0.25 to 4.25 s, -0.5 to 400.5 Hz; the view adds 4 s before and 2 s after (16 and 8
    // pixels of 0.25 s) and 100 Hz above (pixel rows of 25 Hz: the fourth, 400 to 425 Hz, still
    // touches the top line's cell), none below.
    const SpectrogramView view{-3.75, 6.25, 0.0, 500.0};
    std::vector<std::uint32_t> lngPixels(40 * 20);
    renderSpectrogram(spectrogram, view, {-60.0, -40.0}, 40, 20, lngPixels, 40);
    for (std::size_t y = 0; y < 20; ++y) {
        for (std::size_t x = 0; x < 40; ++x) {
            const bool blnData = x >= 16 && x < 32 && y >= 3;
            EXPECT_EQ(lngPixels[y * 40 + x], blnData ? viridisColour(0.5) : lngOutsideColour)
                << "pixel " << x << ", " << y;
        }
    }
    // Nothing received: everything outside.
    Spectrogram empty(hannLayout());
    renderSpectrogram(empty, view, {}, 40, 20, lngPixels, 40);
    EXPECT_EQ(std::count(lngPixels.begin(), lngPixels.end(), lngOutsideColour), 800);
}

TEST(SpectrogramImage, SuggestedRangeSpansTheNoiseFloorToTheHighestLevel)
{
    struct Case
    {
        double dblNoise; // dBV on every line
        double dblTone;  // dBV on line 50
        LevelRange truth;
    };
    for (const Case& c :
         {Case{-100.3, -21.7, {-115.0, -20.0}}, Case{-250.0, -21.7, {-140.0, -20.0}},
          Case{-31.0, -21.7, {-45.0, -20.0}}, Case{-22.0, -21.7, {-40.0, -20.0}}, Case{-60.2, 3.1, {-75.0, 5.0}}}) {
        SCOPED_TRACE(testing::Message() << c.dblNoise << " / " << c.dblTone << " dBV");
        Spectrogram spectrogram(hannLayout());
        std::vector<double> dblPower(401, powerOfDbv(c.dblNoise));
        dblPower[50] = powerOfDbv(c.dblTone);
        for (std::int64_t s = 0; s < 5; ++s) {
            spectrogram.addSegment(s, dblPower);
        }
        const LevelRange range = suggestedLevelRange(spectrogram);
        EXPECT_DOUBLE_EQ(range.dblFloor, c.truth.dblFloor);
        EXPECT_DOUBLE_EQ(range.dblTop, c.truth.dblTop);
    }
    // Lines with no power at all (at the floor, here two in three) are left out of the median.
    Spectrogram silentLines(hannLayout());
    std::vector<double> dblPower(401, 0.0);
    for (std::size_t k = 0; k < dblPower.size(); k += 3) {
        dblPower[k] = powerOfDbv(-100.3);
    }
    dblPower[50] = powerOfDbv(-21.7);
    for (std::int64_t s = 0; s < 3; ++s) {
        silentLines.addSegment(s, dblPower);
    }
    const LevelRange silent = suggestedLevelRange(silentLines);
    EXPECT_DOUBLE_EQ(silent.dblFloor, -115.0);
    EXPECT_DOUBLE_EQ(silent.dblTop, -20.0);
    const LevelRange empty = suggestedLevelRange(Spectrogram(hannLayout()));
    EXPECT_DOUBLE_EQ(empty.dblFloor, -120.0);
    EXPECT_DOUBLE_EQ(empty.dblTop, 0.0);
}

// A model of millions of cells is counted in two halves of its columns, on two threads: the median is
// that of every cell. The noise rises steadily from -131 dBV in the first column to -51 in the last, so
// the median lies near -91 (the floor at -105); either half alone would put it 20 dB off.
TEST(SpectrogramImage, SuggestedRangeOfALargeModelCountsEveryColumn)
{
    constexpr std::int64_t lngSegments = 6000; // x 401 lines: 2.4 million cells
    Spectrogram spectrogram(hannLayout());
    std::vector<double> dblPower(401);
    for (std::int64_t s = 0; s < lngSegments; ++s) {
        std::fill(dblPower.begin(), dblPower.end(),
                  powerOfDbv(-131.0 + 80.0 * static_cast<double>(s) / (lngSegments - 1)));
        dblPower[50] = powerOfDbv(-21.7);
        spectrogram.addSegment(s, dblPower);
    }
    ASSERT_EQ(spectrogram.columnCount() * spectrogram.rowCount(), 6000u * 401u);
    const LevelRange range = suggestedLevelRange(spectrogram);
    EXPECT_DOUBLE_EQ(range.dblFloor, -105.0);
    EXPECT_DOUBLE_EQ(range.dblTop, -20.0);
}

} // namespace
} // namespace kestrix::engine
