// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/number_text.h"
#include "engine/view/axis_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix::engine {
namespace {

// The values a plot prefers its axis labelled at (the phase's quarter turns, the coherence's quarters)
// read as themselves whichever of them the room keeps: a label is never a neighbouring step's multiple.
TEST(AxisLabels, PreferredTicksReadAsTheirValuesAtEveryStride)
{
    const std::vector<double> dblPhase = {-180.0, -90.0, 0.0, 90.0, 180.0};
    const std::vector<double> dblCoherence = {0.0, 0.25, 0.5, 0.75, 1.0};
    struct Case
    {
        const std::vector<double>* dblPreferred;
        AxisRange range;
        std::size_t lngMaxTicks;
        std::vector<std::string> strLabels;
    };
    const Case cases[] = {
        {&dblPhase, {-180.0, 180.0}, 4, {"-180", "-90", "0", "90", "180"}},
        {&dblPhase, {-180.0, 180.0}, 2, {"-180", "0", "180"}},
        {&dblPhase, {-180.0, 180.0}, 1, {"-180", "180"}},
        {&dblPhase, {-100.0, 100.0}, 1, {"-90", "90"}},
        {&dblCoherence, {0.0, 1.05}, 4, {"0.00", "0.25", "0.50", "0.75", "1.00"}},
        {&dblCoherence, {0.0, 1.05}, 2, {"0.0", "0.5", "1.0"}},
        {&dblCoherence, {0.0, 1.05}, 1, {"0", "1"}},
        {&dblCoherence, {0.2, 0.8}, 2, {"0.25", "0.50", "0.75"}},
        {&dblCoherence, {0.2, 0.8}, 1, {"0.25", "0.75"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.range.dblLow) + " .. " + std::to_string(c.range.dblHigh) + " in " +
                     std::to_string(c.lngMaxTicks));
        const AxisTicks ticks = axisTicks(TickScale{}, c.range, c.lngMaxTicks, *c.dblPreferred);
        EXPECT_EQ(ticks.strLabels, c.strLabels);
        ASSERT_EQ(ticks.dblValues.size(), ticks.strLabels.size());
        for (std::size_t i = 0; i < ticks.dblValues.size(); ++i) {
            EXPECT_EQ(numericValue(ticks.strLabels[i]), ticks.dblValues[i]) << ticks.strLabels[i];
        }
    }
}

} // namespace
} // namespace kestrix::engine
