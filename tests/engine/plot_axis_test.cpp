// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/view/plot_axis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace kestrix::engine {
namespace {

TEST(PlotAxis, PicksTheSmallestOneTwoFiveStepThatFits)
{
    struct Case
    {
        double dblSpan;
        std::size_t lngMaxTicks;
        double dblStep;
    };
    for (const Case& test : {Case{10.0, 5, 2.0}, Case{400.0, 8, 50.0}, Case{400.0, 10, 50.0}, Case{390.625, 8, 50.0},
                             Case{1.0, 10, 0.1}, Case{0.003, 5, 0.001}, Case{0.7, 5, 0.2}, Case{25600.0, 6, 5000.0},
                             Case{3e-6, 6, 5e-7}, Case{1000.0, 1, 1000.0}}) {
        SCOPED_TRACE(std::to_string(test.dblSpan) + " in " + std::to_string(test.lngMaxTicks));
        EXPECT_NEAR(niceStep(test.dblSpan, test.lngMaxTicks), test.dblStep, test.dblStep * 1e-12);
    }
}

TEST(PlotAxis, LinearTicksAreStepMultiplesInsideTheRangeEndsIncluded)
{
    const std::vector<double> dblTicks = linearTicks(0.0, 400.0, 8);
    ASSERT_EQ(dblTicks.size(), 9u);
    EXPECT_EQ(dblTicks.front(), 0.0);
    EXPECT_EQ(dblTicks.back(), 400.0);

    // A deep zoom far from 0: the ticks still divide the view, however small the span.
    for (const auto& [dblLow, dblHigh] :
         {std::pair{100.123, 100.127}, std::pair{0.1, 0.35}, std::pair{-3.0, 7.5}, std::pair{12345.6, 25600.0}}) {
        SCOPED_TRACE(std::to_string(dblLow) + " to " + std::to_string(dblHigh));
        const std::vector<double> dblRange = linearTicks(dblLow, dblHigh, 8);
        const double dblStep = niceStep(dblHigh - dblLow, 8);
        ASSERT_GE(dblRange.size(), 3u);
        EXPECT_LE(dblRange.size(), 9u);
        for (const double dblTick : dblRange) {
            EXPECT_GE(dblTick, dblLow - dblStep * 1e-6);
            EXPECT_LE(dblTick, dblHigh + dblStep * 1e-6);
            EXPECT_NEAR(dblTick / dblStep, std::round(dblTick / dblStep), 1e-6);
        }
    }
}

TEST(PlotAxis, LogTicksAreDecadesThinnedToTheLimit)
{
    const std::vector<double> dblWide = logTicks(1e-15, 10.0, 8);
    ASSERT_GE(dblWide.size(), 4u);
    EXPECT_LE(dblWide.size(), 8u);
    for (const double dblTick : dblWide) {
        EXPECT_NEAR(std::log10(dblTick), std::round(std::log10(dblTick)), 1e-9) << dblTick;
        EXPECT_GE(dblTick, 1e-15 * 0.999);
        EXPECT_LE(dblTick, 10.0);
    }

    EXPECT_EQ(logTicks(0.001, 0.1, 8).size(), 7u) << "0.001 0.002 0.005 0.01 0.02 0.05 0.1";
    const std::vector<double> dblNarrow = logTicks(0.3, 0.7, 5);
    EXPECT_GE(dblNarrow.size(), 2u) << "inside one decade the linear ticks label the axis";
    EXPECT_TRUE(std::is_sorted(dblNarrow.begin(), dblNarrow.end()));
}

// Where room allows, a logarithmic axis marks 1, 2 and 5 of every decade; with less room the decades
// alone; within a decade the linear ticks.
TEST(PlotAxis, LogTicksTakeTheSubdivisionsTheRoomAllows)
{
    struct Case
    {
        double dblLow;
        double dblHigh;
        std::size_t lngMaxTicks;
        std::vector<double> dblTicks;
    };
    for (const Case& test :
         {Case{1.0, 1000.0, 10, {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}}, Case{1.0, 1000.0, 9, {1, 10, 100, 1000}},
          Case{0.25, 400.0, 10, {0.5, 1, 2, 5, 10, 20, 50, 100, 200}}, Case{3.0, 400.0, 4, {10, 100}},
          Case{15.0, 60.0, 6, {20, 50}}, Case{0.001, 0.1, 8, {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1}},
          Case{1e-6, 1e6, 4, {1e-4, 1, 1e4}}, Case{1e-6, 1e6, 6, {1e-6, 1e-3, 1, 1e3, 1e6}}}) {
        SCOPED_TRACE(std::to_string(test.dblLow) + " to " + std::to_string(test.dblHigh) + " in " +
                     std::to_string(test.lngMaxTicks));
        const std::vector<double> dblTicks = logTicks(test.dblLow, test.dblHigh, test.lngMaxTicks);
        ASSERT_EQ(dblTicks.size(), test.dblTicks.size());
        for (std::size_t i = 0; i < dblTicks.size(); ++i) {
            EXPECT_NEAR(dblTicks[i], test.dblTicks[i], test.dblTicks[i] * 1e-12);
        }
    }
}

// Any positive range, from a fraction of a line to the whole double range: few labelled ticks, each a
// decade's 1, 2 or 5 (or the linear ticks inside a decade), and a bounded number of grid lines.
TEST(PlotAxis, LogFrequencyTicksStayBoundedForAnyPositiveRange)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> exponent(-320.0, 308.0);
    std::uniform_real_distribution<double> decades(0.0, 40.0);
    for (int i = 0; i < 4000; ++i) {
        const double dblLow = std::pow(10.0, exponent(random));
        const double dblHigh = std::min(dblLow * std::pow(10.0, i % 4 == 0 ? decades(random) / 1e6 : decades(random)),
                                        std::numeric_limits<double>::max());
        const std::size_t lngMax = 2 + static_cast<std::size_t>(i % 12);
        if (!(dblHigh > dblLow) || dblLow == 0.0) {
            continue;
        }
        SCOPED_TRACE(std::to_string(dblLow) + " to " + std::to_string(dblHigh) + " in " + std::to_string(lngMax));
        const AxisTicks ticks = frequencyTicks(dblLow, dblHigh, lngMax, 1.0, true);
        ASSERT_EQ(ticks.dblValues.size(), ticks.strLabels.size());
        EXPECT_LE(ticks.dblValues.size(), lngMax + 2);
        EXPECT_LE(ticks.dblMinor.size(), 9 * (lngMax + 1));
        EXPECT_TRUE(std::is_sorted(ticks.dblValues.begin(), ticks.dblValues.end()));
        EXPECT_TRUE(std::is_sorted(ticks.dblMinor.begin(), ticks.dblMinor.end()));
        const double dblSlack = (dblHigh - dblLow) * 1e-6;
        for (const auto* values : {&ticks.dblValues, &ticks.dblMinor}) {
            for (const double dblTick : *values) {
                ASSERT_TRUE(std::isfinite(dblTick));
                ASSERT_GE(dblTick, dblLow - dblSlack);
                ASSERT_LE(dblTick, dblHigh + dblSlack);
            }
        }
        if (std::log10(dblHigh / dblLow) >= 2.0 && !ticks.dblValues.empty()) {
            for (const double dblTick : ticks.dblValues) {
                const double dblMantissa = dblTick / std::pow(10.0, std::floor(std::log10(dblTick) + 1e-9));
                const bool blnStep = std::fabs(dblMantissa - 1.0) < 1e-6 || std::fabs(dblMantissa - 2.0) < 1e-6 ||
                                     std::fabs(dblMantissa - 5.0) < 1e-6;
                ASSERT_TRUE(blnStep || dblTick < 1e-300) << dblTick << " is no decade's 1, 2 or 5";
            }
        }
    }
}

TEST(PlotAxis, FrequencyTicksInHzOrOrdersWithTheirLabels)
{
    // 0 to 400 Hz in orders of 25 Hz (1500 rpm): whole orders, order 2 at 50 Hz.
    const AxisTicks orders = frequencyTicks(0.0, 400.0, 10, 25.0, false);
    ASSERT_EQ(orders.strLabels.size(), 9u);
    EXPECT_EQ(orders.strLabels[1], "2");
    EXPECT_DOUBLE_EQ(orders.dblValues[1], 50.0);
    EXPECT_EQ(orders.strLabels.back(), "16");
    EXPECT_TRUE(orders.dblMinor.empty());

    // A logarithmic axis from 0.25 to 400 Hz: labels at 1, 2 and 5, grid lines at the other digits.
    const AxisTicks hz = frequencyTicks(0.25, 400.0, 10, 1.0, true);
    EXPECT_EQ(hz.strLabels, (std::vector<std::string>{"0.5", "1", "2", "5", "10", "20", "50", "100", "200"}));
    const std::vector<double> dblMinor{0.3, 0.4, 0.6, 0.7, 0.8, 0.9, 3,  4,  6,   7,
                                       8,   9,   30,  40,  60,  70,  80, 90, 300, 400};
    ASSERT_EQ(hz.dblMinor.size(), dblMinor.size());
    for (std::size_t i = 0; i < dblMinor.size(); ++i) {
        EXPECT_NEAR(hz.dblMinor[i], dblMinor[i], dblMinor[i] * 1e-12);
    }
    // Orders on a logarithmic axis: 0.1 to 10 orders of 25 Hz.
    const AxisTicks logOrders = frequencyTicks(2.5, 250.0, 8, 25.0, true);
    EXPECT_EQ(logOrders.strLabels, (std::vector<std::string>{"0.1", "0.2", "0.5", "1", "2", "5", "10"}));
    EXPECT_DOUBLE_EQ(logOrders.dblValues[4], 50.0);
    // Far beyond a plain number: the exponent form.
    EXPECT_EQ(frequencyTicks(1e15, 1e17, 8, 1.0, true).strLabels.front(), "1E+15");
}

TEST(PlotAxis, LabelsShowTheDecimalsTheStepNeeds)
{
    EXPECT_EQ(tickLabel(0.25, 0.05), "0.25");
    EXPECT_EQ(tickLabel(100.0, 50.0), "100");
    EXPECT_EQ(tickLabel(3 * 0.1, 0.1), "0.3");
    EXPECT_EQ(tickLabel(-0.5, 0.5), "-0.5");
    EXPECT_EQ(tickLabel(1e-17, 0.5), "0.0") << "a zero from rounding shows no sign";
    EXPECT_EQ(tickLabel(100.125, 0.005), "100.125");
    EXPECT_EQ(tickLabel(2e-7, 1e-7), "2E-07");
}

TEST(PlotAxis, DecimatedTraceKeepsEveryColumnsExtremes)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(0.0, 1.0);
    std::vector<double> dblX(25601);
    std::vector<double> dblY(25601);
    for (std::size_t i = 0; i < dblX.size(); ++i) {
        dblX[i] = static_cast<double>(i) * 0.25;
        dblY[i] = noise(random);
    }
    constexpr std::size_t lngColumns = 700;
    for (const auto& [dblLow, dblHigh] : {std::pair{0.0, 6400.0}, std::pair{1000.3, 4000.9}}) {
        SCOPED_TRACE(std::to_string(dblLow) + " to " + std::to_string(dblHigh));
        const std::vector<TracePoint> points = decimateTrace(dblX, dblY, dblLow, dblHigh, lngColumns);
        EXPECT_LE(points.size(), 4 * lngColumns + 2);
        const double dblWidth = (dblHigh - dblLow) / lngColumns;
        for (std::size_t c = 0; c < lngColumns; c += 37) {
            const double dblColumnLow = dblLow + c * dblWidth;
            double dblMax = -1.0;
            double dblMin = 2.0;
            for (std::size_t i = 0; i < dblX.size(); ++i) {
                if (dblX[i] >= dblColumnLow && dblX[i] < dblColumnLow + dblWidth) {
                    dblMax = std::max(dblMax, dblY[i]);
                    dblMin = std::min(dblMin, dblY[i]);
                }
            }
            double dblDrawnMax = -1.0;
            double dblDrawnMin = 2.0;
            for (const TracePoint& point : points) {
                if (point.dblX >= dblColumnLow && point.dblX < dblColumnLow + dblWidth) {
                    dblDrawnMax = std::max(dblDrawnMax, point.dblY);
                    dblDrawnMin = std::min(dblDrawnMin, point.dblY);
                }
            }
            EXPECT_EQ(dblDrawnMax, dblMax) << "column " << c;
            EXPECT_EQ(dblDrawnMin, dblMin) << "column " << c;
        }
    }
}

TEST(PlotAxis, ShortTraceKeepsItsPointsAndTheNeighboursOutsideTheView)
{
    const std::vector<double> dblX{0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
    const std::vector<double> dblY{0.0, 10.0, 20.0, 30.0, 40.0, 50.0};
    const std::vector<TracePoint> points = decimateTrace(dblX, dblY, 1.5, 3.5, 100);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points.front().dblX, 1.0);
    EXPECT_EQ(points.front().dblY, 10.0);
    EXPECT_EQ(points.back().dblX, 4.0);
    EXPECT_EQ(points.back().dblY, 40.0);
}

TEST(PlotAxis, FindsTheNearestValue)
{
    const std::vector<double> dblX{0.0, 0.5, 1.0, 1.5};
    EXPECT_EQ(nearestIndex(dblX, -3.0), 0u);
    EXPECT_EQ(nearestIndex(dblX, 0.24), 0u);
    EXPECT_EQ(nearestIndex(dblX, 0.25), 0u);
    EXPECT_EQ(nearestIndex(dblX, 0.26), 1u);
    EXPECT_EQ(nearestIndex(dblX, 1.0), 2u);
    EXPECT_EQ(nearestIndex(dblX, 9.0), 3u);
}

} // namespace
} // namespace kestrix::engine
