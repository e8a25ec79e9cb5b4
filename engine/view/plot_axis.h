// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// Axis and trace arithmetic of the spectrum plot, kept free of the toolkit so it can be tested.
namespace kestrix::engine {

// The smallest 1-2-5 step (1, 2 or 5 times a power of ten) that divides dblSpan (> 0) into at most
// lngMaxTicks intervals; lngMaxTicks >= 1. 0 when no such step is a normal double: a span that is not
// finite and positive, or so small that a step would be below 2.2E-308.
double niceStep(double dblSpan, std::size_t lngMaxTicks);

// Tick values of a linear axis from dblLow to dblHigh (dblLow < dblHigh): the multiples of
// niceStep(dblHigh - dblLow, lngMaxTicks) inside the range, ascending; at most lngMaxTicks + 2 of
// them for any range. None when the ends are not finite, the span has no step, or the multiples
// cannot be told apart (a step below the resolution of doubles as large as the ends).
std::vector<double> linearTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks);

// Tick values of a logarithmic axis from dblLow to dblHigh (0 < dblLow < dblHigh, finite, in the
// axis's own unit): 1, 2 and 5 times the powers of ten inside the range where at least two and at most
// lngMaxTicks of them fall inside; else the powers of ten (every k-th one, those whose exponent k divides,
// when there are more than lngMaxTicks); where fewer than two powers of ten fall inside either, the linear
// ticks. At most lngMaxTicks + 2 values (lngMaxTicks >= 1). None for other ranges.
std::vector<double> logTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks);

// The ticks of an axis as the plots draw it (a frequency axis's values in Hz).
struct AxisTicks
{
    std::vector<double> dblValues;      // where the labelled ticks stand, ascending
    std::vector<std::string> strLabels; // one per value, in the axis's unit
    std::vector<double> dblMinor;       // the unlabelled lines of a logarithmic axis
};

// The ticks of a frequency axis from dblLowHz to dblHighHz, labelled in units of dblUnitHz (> 0): 1 for
// Hz, a rotation frequency for orders, whose ticks then fall on whole or 1-2-5 orders. linearTicks of
// the range in that unit, or with blnLog (dblLowHz > 0) logTicks, with unlabelled lines at 1 to 9 times
// each power of ten while the range spans at most lngMaxTicks decades. Labels as tickLabel gives them,
// a decade's tick with the decimals of its own decade ("0.002", "20", "5000"). None where the range in
// that unit has no ticks.
AxisTicks frequencyTicks(double dblLowHz, double dblHighHz, std::size_t lngMaxTicks, double dblUnitHz, bool blnLog);

// The label of tick dblValue on an axis with steps of dblStep: as many decimals as the step needs
// ("0.25" is never shown for step 0.5), plain decimals while they stay short, else the exponent
// form of the general number text ("2E-06"). Locale-independent.
std::string tickLabel(double dblValue, double dblStep);

// One point of a trace prepared for drawing, in the trace's own units.
struct TracePoint
{
    double dblX = 0.0;
    double dblY = 0.0;
};

// The points of a trace (dblX ascending, one dblY each) to draw between dblLow and dblHigh on
// lngColumns pixel columns. With no more than two points per column the points themselves, from the
// last one before dblLow to the first one after dblHigh; with more, per column the first, lowest,
// highest and last point of that column at the column's centre, so a line through them covers every
// pixel the full trace would, in a time bound by the column count rather than the trace's length.
std::vector<TracePoint> decimateTrace(std::span<const double> dblX, std::span<const double> dblY, double dblLow,
                                      double dblHigh, std::size_t lngColumns);

// The index of the value in dblX (ascending, not empty) nearest to dblValue; the lower one of two
// equally near.
std::size_t nearestIndex(std::span<const double> dblX, double dblValue);

} // namespace kestrix::engine
