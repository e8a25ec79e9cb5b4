// SPDX-License-Identifier: GPL-3.0-or-later
// The octave page's arithmetic: the bounded level trace, the band a frequency falls in, the band names'
// thinning and the level range of a chart.
#include "engine/view/octave_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrix::engine {
namespace {

// However long the recording, the trace keeps at most its capacity of points; every level told lies
// within the point that holds its time, so the loudest and quietest moments survive; the points stay in
// time order, touching end to start, and cover the whole recording.
TEST(LevelTrace, KeepsAtMostItsCapacityAndEveryExtreme)
{
    for (const std::size_t lngLevels :
         {std::size_t{5}, std::size_t{16}, std::size_t{17}, std::size_t{1000}, std::size_t{100'003}}) {
        SCOPED_TRACE(lngLevels);
        LevelTrace trace(16);
        std::vector<double> dblLevels;
        for (std::size_t i = 0; i < lngLevels; ++i) {
            // A slow wave with a spike every 97 levels and a dip every 89.
            double dblLevel = 60.0 + 10.0 * std::sin(static_cast<double>(i) / 50.0);
            dblLevel += i % 97 == 13 ? 25.0 : 0.0;
            dblLevel -= i % 89 == 7 ? 30.0 : 0.0;
            dblLevels.push_back(dblLevel);
            trace.add(0.1 * static_cast<double>(i + 1), dblLevel);
        }
        const std::vector<LevelTracePoint>& points = trace.points();
        ASSERT_LE(points.size(), 16u);
        ASSERT_FALSE(points.empty());
        EXPECT_DOUBLE_EQ(points.front().dblStart, 0.1);
        EXPECT_DOUBLE_EQ(points.back().dblEnd, 0.1 * static_cast<double>(lngLevels));
        for (std::size_t p = 1; p < points.size(); ++p) {
            EXPECT_NEAR(points[p].dblStart - points[p - 1].dblEnd, 0.1, 1e-9) << p;
        }
        // Each level within the point holding its time; each point's extremes are levels it holds.
        std::size_t p = 0;
        double dblLowest = std::numeric_limits<double>::infinity();
        double dblHighest = -dblLowest;
        for (std::size_t i = 0; i < lngLevels; ++i) {
            const double dblTime = 0.1 * static_cast<double>(i + 1);
            while (dblTime > points[p].dblEnd + 1e-9) {
                EXPECT_EQ(points[p].dblMinDb, dblLowest);
                EXPECT_EQ(points[p].dblMaxDb, dblHighest);
                dblLowest = std::numeric_limits<double>::infinity();
                dblHighest = -dblLowest;
                ++p;
            }
            dblLowest = std::min(dblLowest, dblLevels[i]);
            dblHighest = std::max(dblHighest, dblLevels[i]);
        }
        EXPECT_EQ(p, points.size() - 1);
        EXPECT_EQ(points.back().dblMinDb, dblLowest);
        EXPECT_EQ(points.back().dblMaxDb, dblHighest);
        // Within capacity nothing is merged.
        EXPECT_EQ(trace.levelsPerPoint() == 1, lngLevels <= 16u);
        EXPECT_EQ(*std::max_element(dblLevels.begin(), dblLevels.end()),
                  std::max_element(points.begin(), points.end(), [](const auto& a, const auto& b) {
                      return a.dblMaxDb < b.dblMaxDb;
                  })->dblMaxDb);
    }
}

// A frequency is in the band whose lower edge it reaches and whose upper edge it stays below: the
// midbands, just inside the edges, and the ends beyond the bands.
TEST(OctaveBandAt, FindsTheBandHoldingAFrequency)
{
    const std::vector<OctaveBand> bands = analysedBands(3, 20.0, 48000.0);
    ASSERT_EQ(bands.front().strNominal, "20");
    for (std::size_t i = 0; i < bands.size(); ++i) {
        SCOPED_TRACE(bands[i].strNominal);
        EXPECT_EQ(bandIndexAt(bands, bands[i].dblMidband), i);
        // Just inside either edge (a band's edge and its neighbour's are computed apart and may differ
        // in their last bit).
        EXPECT_EQ(bandIndexAt(bands, bands[i].dblLower * (1.0 + 1e-12)), i);
        EXPECT_EQ(bandIndexAt(bands, bands[i].dblUpper * (1.0 - 1e-12)), i);
    }
    EXPECT_EQ(bandIndexAt(bands, 1.0), 0u);
    EXPECT_EQ(bandIndexAt(bands, 30000.0), bands.size() - 1);
    EXPECT_EQ(bands[bandIndexAt(bands, 1000.0)].strNominal, "1000");
    EXPECT_EQ(bands[bandIndexAt(bands, 1122.5)].strNominal, "1250");
}

// The names are thinned to whole fractions of an octave, then to whole octaves and their multiples,
// until one name is left; every stride keeps the anchor.
TEST(OctaveBandNames, ThinToFractionsThenWholeOctaves)
{
    EXPECT_EQ(bandNameStrides(3, 31), (std::vector<std::size_t>{1, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33}));
    EXPECT_EQ(bandNameStrides(1, 4), (std::vector<std::size_t>{1, 2, 3, 4}));
    EXPECT_EQ(bandNameStrides(24, 50), (std::vector<std::size_t>{1, 2, 3, 4, 6, 8, 12, 24, 48, 72}));
    EXPECT_EQ(bandNameStrides(6, 6), (std::vector<std::size_t>{1, 2, 3, 6}));
    EXPECT_EQ(namesAtStride(31, 17, 3), (std::vector<std::size_t>{2, 5, 8, 11, 14, 17, 20, 23, 26, 29}));
    EXPECT_EQ(namesAtStride(31, 17, 31), (std::vector<std::size_t>{17}));
    EXPECT_EQ(namesAtStride(5, 0, 1), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
}

// The chart spans whole 10 dB from below the lowest level to at least 3 dB above the highest, no more
// than the span asked for; levels at the floor are left out.
TEST(OctaveChartRange, SpansTheLevelsInWholeTensOfDecibels)
{
    struct Case
    {
        std::vector<double> dblLevels;
        double dblLow;
        double dblHigh;
    };
    for (const Case& tested : {Case{{-12.0, 3.0, 0.66}, -20.0, 10.0}, Case{{-12.0, 7.5}, -20.0, 20.0},
                               Case{{94.0, -400.0, 20.0}, 20.0, 100.0}, Case{{94.0, -30.0}, 0.0, 100.0},
                               Case{{-400.0}, -10.0, 10.0}, Case{{5.0, 5.0}, 0.0, 10.0}}) {
        SCOPED_TRACE(tested.dblLevels.front());
        const AxisRange range = levelChartRange(tested.dblLevels, 100.0, -400.0);
        EXPECT_EQ(range.dblLow, tested.dblLow);
        EXPECT_EQ(range.dblHigh, tested.dblHigh);
    }
}

} // namespace
} // namespace kestrix::engine
