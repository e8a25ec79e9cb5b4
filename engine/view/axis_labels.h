// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plot_axis.h"
#include "plot_view.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Where the labelled ticks of a plot's axis go: the positions of values along the axis, the ticks for a
// number of intervals, and their thinning until no two labels touch. Labels are measured by the caller
// (in pixels of its font), so the arithmetic stays free of the toolkit.
namespace kestrix::engine {

// How an axis reads its values for its ticks.
struct TickScale
{
    bool blnLog = false;       // positions and ticks by the logarithm of the values (all above 0)
    bool blnFrequency = false; // a frequency axis: frequencyTicks in units of dblUnit
    double dblUnit = 1.0;      // Hz of one labelled unit: 1 for Hz, a running speed for orders
    bool blnLabelEnds = false; // a linear axis's two ends labelled as well (a time axis shows where it starts)
};

// The position of a value along an axis: the value itself, or with blnLog its decimal logarithm (minus
// infinity for a value not above 0); and the value at a position.
double axisPosition(double dblValue, bool blnLog);
double valueAtPosition(double dblPosition, bool blnLog);

// The ticks of an axis over range for at most lngMaxTicks intervals (>= 1), before any thinning. A
// frequency or logarithmic axis: frequencyTicks. Otherwise the values of dblPreferred (ascending) in
// view, every second, fourth ... one until at most lngMaxTicks intervals remain, where two or more of
// them lie in view; else linearTicks, with blnLabelEnds the range's ends added, labelled with two
// decimals more than the steps.
AxisTicks axisTicks(const TickScale& scale, AxisRange range, std::size_t lngMaxTicks,
                    std::span<const double> dblPreferred);

// Where a label spans along an axis, in px from its low end.
struct LabelSpan
{
    double dblFrom = 0.0;
    double dblTo = 0.0;
};

// The spans of labels centred on the ticks dblValues (ascending), each reaching dblHalfExtents (px, one
// per value) either way, along an axis dblLength px long showing range (dblLow < dblHigh).
std::vector<LabelSpan> labelSpans(std::span<const double> dblValues, std::span<const double> dblHalfExtents,
                                  AxisRange range, bool blnLog, double dblLength);

// Whether each span ends at least dblGap px before the next one begins.
bool labelsApart(std::span<const LabelSpan> spans, double dblGap);

// Half the extent (px) of a label along the axis: half its width across, half a line's height up.
using LabelHalfExtent = std::function<double(const std::string& strLabel)>;

// The labelled ticks of an axis dblLength px long showing range (dblLow < dblHigh): axisTicks for
// lngMostIntervals intervals (>= 1), then for fewer until no two labels come closer than dblGap px (or
// one interval is left). Where that leaves fewer than two ticks, finer steps (up to four times as many
// intervals) are taken while their labels still keep apart. With blnLabelEnds on a linear axis that is no
// frequency axis, the ticks between the ends whose labels would come closer than dblGap to an end's label
// are dropped first.
AxisTicks thinnedTicks(const TickScale& scale, AxisRange range, std::size_t lngMostIntervals,
                       std::span<const double> dblPreferred, double dblLength, double dblGap,
                       const LabelHalfExtent& halfExtent);

} // namespace kestrix::engine
