// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/view/plot_axis.h"
#include "engine/view/plot_view.h"
#include "engine/view/readable_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace kestrix::engine {
namespace {

std::string rangeText(double dblLow, double dblHigh)
{
    return std::to_string(dblLow) + " to " + std::to_string(dblHigh);
}

TEST(LimitRange, KeepsTheViewInsideItsBoundsAndAtLeastTheNarrowestSpan)
{
    struct Case
    {
        AxisRange range;
        AxisRange expected;
    };
    const AxisRange bounds{0.0, 400.0};
    constexpr double dblMinSpan = 4.0;
    for (const Case& test : {
             Case{{100.0, 200.0}, {100.0, 200.0}},    // inside: as it is
             Case{{-1500.0, 2200.0}, {0.0, 400.0}},   // wider than the bounds: the bounds
             Case{{-50.0, 50.0}, {0.0, 100.0}},       // over the lower end: moved in, width kept
             Case{{390.0, 430.0}, {360.0, 400.0}},    // over the upper end
             Case{{100.0, 100.5}, {98.25, 102.25}},   // too narrow: widened about its centre
             Case{{399.0, 399.5}, {396.0, 400.0}},    // too narrow at the end: widened, then moved in
             Case{{200.0, 100.0}, {0.0, 400.0}},      // reversed: no range at all
             Case{{std::nan(""), 3.0}, {0.0, 400.0}}, // not a number
             Case{{0.0, std::numeric_limits<double>::infinity()}, {0.0, 400.0}},
         }) {
        SCOPED_TRACE(rangeText(test.range.dblLow, test.range.dblHigh));
        const AxisRange limited = limitRange(test.range, bounds, dblMinSpan);
        EXPECT_DOUBLE_EQ(limited.dblLow, test.expected.dblLow);
        EXPECT_DOUBLE_EQ(limited.dblHigh, test.expected.dblHigh);
    }
    const AxisRange narrow = limitRange({1.0, 2.0}, {0.0, 3.0}, 10.0);
    EXPECT_EQ(narrow.dblLow, 0.0) << "a narrowest span wider than the bounds gives the bounds";
    EXPECT_EQ(narrow.dblHigh, 3.0);
}

// The lowest and highest value of the points in each column, found by brute force.
std::vector<std::pair<double, double>> columnExtremes(const std::vector<double>& dblX, const std::vector<double>& dblY,
                                                      double dblLow, double dblHigh, std::size_t lngColumns)
{
    std::vector<std::pair<double, double>> extremes(lngColumns, {INFINITY, -INFINITY});
    for (std::size_t i = 0; i < dblX.size(); ++i) {
        if (dblX[i] < dblLow || dblX[i] > dblHigh) {
            continue;
        }
        const auto lngColumn =
            std::min(static_cast<std::size_t>((dblX[i] - dblLow) / (dblHigh - dblLow) * lngColumns), lngColumns - 1);
        extremes[lngColumn].first = std::min(extremes[lngColumn].first, dblY[i]);
        extremes[lngColumn].second = std::max(extremes[lngColumn].second, dblY[i]);
    }
    return extremes;
}

TEST(ColumnBars, CoverEveryPointAndJoinWithoutGaps)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(0.0, 1.0);
    std::vector<double> dblX(25601);
    std::vector<double> dblY(25601);
    for (std::size_t i = 0; i < dblX.size(); ++i) {
        dblX[i] = static_cast<double>(i) * 0.015625;
        dblY[i] = noise(random) * (i % 997 == 0 ? 50.0 : 1.0);
    }
    for (const auto& [dblLow, dblHigh] : {std::pair{0.0, 400.0}, std::pair{12.3, 57.9}, std::pair{-10.0, 30.0}}) {
        SCOPED_TRACE(rangeText(dblLow, dblHigh));
        constexpr std::size_t lngColumns = 613;
        const std::vector<ColumnBar> bars = columnBars(dblX, dblY, dblLow, dblHigh, lngColumns);
        const auto extremes = columnExtremes(dblX, dblY, dblLow, dblHigh, lngColumns);
        std::size_t lngHeld = 0;
        for (std::size_t k = 0; k < bars.size(); ++k) {
            const ColumnBar& bar = bars[k];
            ASSERT_LT(bar.lngColumn, lngColumns);
            if (std::isfinite(extremes[bar.lngColumn].first)) {
                ++lngHeld;
                EXPECT_LE(bar.dblLow, extremes[bar.lngColumn].first) << "column " << bar.lngColumn;
                EXPECT_GE(bar.dblHigh, extremes[bar.lngColumn].second) << "column " << bar.lngColumn;
            }
            if (k > 0) {
                ASSERT_EQ(bar.lngColumn, bars[k - 1].lngColumn + 1) << "one bar per column, none skipped";
                EXPECT_LE(std::max(bar.dblLow, bars[k - 1].dblLow), std::min(bar.dblHigh, bars[k - 1].dblHigh))
                    << "neighbouring bars meet at column " << bar.lngColumn;
            }
        }
        EXPECT_EQ(lngHeld, static_cast<std::size_t>(std::count_if(extremes.begin(), extremes.end(),
                                                                  [](auto e) { return std::isfinite(e.first); })));
    }
}

// The view of a lone line at many zoom levels: a bar plus a half-height bar beside it read as two
// components.
TEST(ColumnBars, ALoneLineIsOneBarAtEveryZoom)
{
    std::vector<double> dblX(25601);
    std::vector<double> dblY(25601, 0.001);
    for (std::size_t i = 0; i < dblX.size(); ++i) {
        dblX[i] = static_cast<double>(i) * 0.015625;
    }
    dblY[1600] = 1.83; // 25 Hz
    for (const std::size_t lngColumns : {600u, 757u, 1021u}) {
        // Down to the zoom where a trace has fewer lines than columns and is drawn through its points.
        for (double dblSpan = 400.0; dblSpan / 0.015625 > static_cast<double>(lngColumns); dblSpan *= 0.83) {
            for (const double dblShift : {0.0, 0.37, 0.5, 0.91}) {
                const double dblLow = 25.0 - dblSpan * (0.2 + 0.6 * dblShift);
                const std::vector<ColumnBar> bars = columnBars(dblX, dblY, dblLow, dblLow + dblSpan, lngColumns);
                const auto lngHigh =
                    std::count_if(bars.begin(), bars.end(), [](const ColumnBar& bar) { return bar.dblHigh > 0.5; });
                ASSERT_EQ(lngHigh, 1) << lngColumns << " columns, " << rangeText(dblLow, dblLow + dblSpan);
            }
        }
    }
}

TEST(ColumnBars, BridgeColumnsThePointsSkip)
{
    // A reference with a gap: 0 to 1 Hz densely, then one point at 9 Hz.
    std::vector<double> dblX;
    std::vector<double> dblY;
    for (int i = 0; i <= 100; ++i) {
        dblX.push_back(i * 0.01);
        dblY.push_back(1.0);
    }
    dblX.push_back(9.0);
    dblY.push_back(9.0);
    const std::vector<ColumnBar> bars = columnBars(dblX, dblY, 0.0, 10.0, 10);
    ASSERT_EQ(bars.size(), 10u) << "the line from 1 Hz to 9 Hz crosses columns 1 to 8, the view's end column 9";
    EXPECT_NEAR(bars[4].dblLow, 4.0, 1e-9);
    EXPECT_NEAR(bars[4].dblHigh, 5.0, 1e-9);
    EXPECT_NEAR(bars[9].dblHigh, 9.0, 1e-9);
}

TEST(PickLine, AClickReadsTheHighestLineWithinReachElseTheNearest)
{
    // 39 lines per pixel: a click a pixel or two beside a peak reads the peak, not the noise under it.
    std::vector<double> dblX(25601);
    std::vector<double> dblY(25601);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> noise(1e-4, 4e-4);
    for (std::size_t i = 0; i < dblX.size(); ++i) {
        dblX[i] = static_cast<double>(i) * 0.015625;
        dblY[i] = noise(random);
    }
    dblY[1600] = 1.83;
    const double dblPixel = 400.0 / 650.0;
    for (const double dblOffset : {-2.5, -1.0, 0.0, 0.4, 2.9}) {
        SCOPED_TRACE(dblOffset);
        const PickedLine picked = pickLine(dblX, dblY, 25.0 + dblOffset * dblPixel, 3.0 * dblPixel);
        EXPECT_EQ(picked.lngIndex, 1600u);
        EXPECT_TRUE(picked.blnHighest);
    }
    const PickedLine far = pickLine(dblX, dblY, 50.0, 3.0 * dblPixel);
    EXPECT_NE(far.lngIndex, 1600u);

    // Lines wider apart than the reach: the nearest one, as a sparse plot shows them.
    const std::vector<double> dblSparseX{0.0, 1.0, 2.0, 3.0};
    const std::vector<double> dblSparseY{0.0, 5.0, 1.0, 0.0};
    EXPECT_EQ(pickLine(dblSparseX, dblSparseY, 2.4, 0.1).lngIndex, 2u);
    EXPECT_FALSE(pickLine(dblSparseX, dblSparseY, 2.4, 0.1).blnHighest);
    EXPECT_EQ(pickLine(dblSparseX, dblSparseY, 1.6, 0.1).lngIndex, 2u);
    EXPECT_EQ(pickLine(dblSparseX, dblSparseY, 1.6, 0.7).lngIndex, 1u);
}

TEST(LineAt, FindsALineOnlyAtItsOwnFrequency)
{
    const std::vector<double> dblX{0.0, 0.25, 0.5, 25.0, 390.625};
    EXPECT_EQ(lineAt(dblX, 25.0), std::optional<std::size_t>(3));
    EXPECT_EQ(lineAt(dblX, 390.62500000000006), std::optional<std::size_t>(4)) << "a sum's rounding";
    EXPECT_EQ(lineAt(dblX, 0.0), std::optional<std::size_t>(0));
    EXPECT_FALSE(lineAt(dblX, 25.015625));
    EXPECT_FALSE(lineAt(dblX, 0.125));
    EXPECT_FALSE(lineAt({}, 1.0));
}

// The inputs that fuzzing the axes found: they hung the paint or ran it out of memory.
TEST(PlotRefusal, RefusesValuesBeyondWhatThePlotShows)
{
    struct Case
    {
        std::vector<double> dblFreq;
        std::vector<double> dblVolts;
        const char* strLine; // empty: accepted
    };
    for (const Case& test : {
             Case{{1e15}, {0.0}, "1 行目"},
             Case{{0.0}, {5e-324}, "1 行目"},
             Case{{0.0, 1e300}, {0.0, 1e308}, "2 行目"},
             Case{{0.0, 1.0, 2.0}, {1.0, 2e100, 1.0}, "2 行目"},
             Case{{0.0, 1.0, 2.0}, {1.0, 1e-101, 1.0}, "2 行目"},
             Case{{0.0, 0.25, 400.0}, {4.5e-14, 1.8, 0.0}, ""},
             Case{{0.0, 999999999999.0}, {1e-100, 1e100}, ""},
         }) {
        SCOPED_TRACE(test.dblFreq.back());
        const std::string strRefusal = plotRefusal(test.dblFreq, test.dblVolts);
        if (*test.strLine == '\0') {
            EXPECT_EQ(strRefusal, "");
        } else {
            EXPECT_EQ(strRefusal.rfind(test.strLine, 0), 0u) << strRefusal;
        }
    }
}

// On a logarithmic axis a zoom keeps the ratio of its ends, the view stays within the lines, and never
// spans fewer than the narrowest span in Hz, wherever it lies.
TEST(LimitLogRange, KeepsRatiosWithinBoundsAndAtLeastTheNarrowestSpan)
{
    const AxisRange bounds{1.0, 400.0}; // line 1 to the last line, 1 Hz apart
    constexpr double dblMinSpan = 4.0;  // Hz
    struct Case
    {
        AxisRange range;
        AxisRange expected;
    };
    for (const Case& test :
         {Case{{10.0, 100.0}, {10.0, 100.0}}, Case{{0.5, 5.0}, {1.0, 10.0}}, Case{{100.0, 1000.0}, {40.0, 400.0}},
          Case{{0.0, 100.0}, bounds}, Case{{-5.0, 100.0}, bounds}, Case{{0.1, 4000.0}, bounds},
          Case{{100.0, 101.0}, {98.5186550, 102.5186550}}, Case{{399.0, 399.5}, {396.0, 400.0}},
          Case{{1.0, 1.5}, {1.0, 5.0}}, Case{{0.001, 0.002}, {1.0, 5.0}}}) {
        SCOPED_TRACE(rangeText(test.range.dblLow, test.range.dblHigh));
        const AxisRange limited = limitLogRange(test.range, bounds, dblMinSpan);
        EXPECT_NEAR(limited.dblLow, test.expected.dblLow, 1e-6);
        EXPECT_NEAR(limited.dblHigh, test.expected.dblHigh, 1e-6);
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<double> position(-1.0, 3.0);
    std::uniform_real_distribution<double> width(0.0, 3.0);
    for (int i = 0; i < 2000; ++i) {
        const double dblLow = std::pow(10.0, position(random));
        const AxisRange range{dblLow, dblLow * std::pow(10.0, width(random))};
        SCOPED_TRACE(rangeText(range.dblLow, range.dblHigh));
        const AxisRange limited = limitLogRange(range, bounds, dblMinSpan);
        EXPECT_GE(limited.dblLow, bounds.dblLow);
        EXPECT_LE(limited.dblHigh, bounds.dblHigh);
        EXPECT_GE(limited.dblHigh - limited.dblLow, dblMinSpan * (1.0 - 1e-9));
    }
}

// Any finite range, however wide, narrow or far from zero, gives few ticks, in order and inside it.
TEST(PlotAxis, TicksStayFewForEveryFiniteRange)
{
    constexpr double dblMax = std::numeric_limits<double>::max();
    constexpr double dblTiny = std::numeric_limits<double>::denorm_min();
    const std::vector<std::pair<double, double>> ranges{
        {1e15, 1e15 + 1.0}, {0.0, 5e-324},       {dblTiny, 2 * dblTiny},  {0.0, dblMax},
        {-dblMax, dblMax},  {1e300, dblMax},     {1e-300, 1e300},         {1e-320, 1e-310},
        {-1.0, 1e-30},      {1e17, 1e17 + 64.0}, {6400.0, 6400.0 + 1e-10}};
    for (const auto& [dblLow, dblHigh] : ranges) {
        SCOPED_TRACE(rangeText(dblLow, dblHigh));
        for (const auto& ticks : {linearTicks(dblLow, dblHigh, 8), logTicks(dblLow, dblHigh, 8)}) {
            EXPECT_LE(ticks.size(), 10u);
            EXPECT_TRUE(std::is_sorted(ticks.begin(), ticks.end()));
            EXPECT_EQ(std::adjacent_find(ticks.begin(), ticks.end()), ticks.end()) << "ticks told apart";
            for (const double dblTick : ticks) {
                EXPECT_TRUE(std::isfinite(dblTick));
                EXPECT_GE(dblTick, dblLow - (dblHigh - dblLow) * 1e-6);
                EXPECT_LE(dblTick, dblHigh + (dblHigh - dblLow) * 1e-6);
            }
        }
    }
    EXPECT_TRUE(logTicks(1.0, std::numeric_limits<double>::infinity(), 8).empty());
    EXPECT_TRUE(linearTicks(0.0, std::numeric_limits<double>::infinity(), 8).empty());
    EXPECT_EQ(niceStep(std::numeric_limits<double>::infinity(), 8), 0.0);
    EXPECT_EQ(niceStep(5e-324, 8), 0.0);
    EXPECT_EQ(linearTicks(-120.0, 0.0, 8), (std::vector<double>{-120.0, -100.0, -80.0, -60.0, -40.0, -20.0, 0.0}))
        << "a dBV axis ticks in whole steps of dB";
}

TEST(ReadableNumber, FourDigitsWithAnSiPrefix)
{
    struct Case
    {
        double dblValue;
        int intDigits;
        const char* strText;
    };
    for (const Case& test : {
             Case{1.83108772518919, 4, "1.831 V"},
             Case{0.000124278979038244, 4, "124.3 µV"},
             Case{8.88229233174318E-05, 4, "88.82 µV"},
             Case{0.9999, 4, "999.9 mV"},
             Case{0.99996, 4, "1.000 V"},
             Case{-0.0125, 4, "-12.50 mV"},
             Case{12.2074037904599, 4, "12.21 V"},
             Case{0.0, 4, "0 V"},
             Case{1234.56, 4, "1.235 kV"},
             Case{4.5e-14, 4, "45.00 fV"},
             Case{1e-15, 4, "1.000 fV"},
             Case{5e-20, 4, "5.000E-20 V"},
             Case{2.5e15, 3, "2.50E+15 V"},
             Case{123456.0, 2, "120 kV"},
             Case{0.5, 6, "500.000 mV"},
             Case{999999999999999.0, 4, "1.000E+15 V"},
         }) {
        SCOPED_TRACE(test.dblValue);
        EXPECT_EQ(siText(test.dblValue, test.intDigits, "V"), test.strText);
    }
}

TEST(ReadableNumber, LineFrequenciesAndLevels)
{
    EXPECT_EQ(lineFrequencyText(100.0, 1.0), "100");
    EXPECT_EQ(lineFrequencyText(25.0, 0.015625), "25.00");
    EXPECT_EQ(lineFrequencyText(24.984375, 0.015625), "24.98");
    EXPECT_EQ(lineFrequencyText(25.015625, 0.015625), "25.02");
    EXPECT_EQ(lineFrequencyText(390.5, 0.5), "390.5");
    EXPECT_EQ(lineFrequencyText(0.3, 0.1), "0.3");
    EXPECT_EQ(dbvText(1.0), "0.00 dBV");
    EXPECT_EQ(dbvText(0.1), "-20.00 dBV");
    EXPECT_EQ(dbvText(0.366116109521044), "-8.73 dBV");
    EXPECT_EQ(dbvText(0.0), "-∞ dBV");
}

} // namespace
} // namespace kestrix::engine
