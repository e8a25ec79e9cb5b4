// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the spectrum plot shows of its traces and where: the limits of its view, the bars a dense trace
// is drawn with, the line a click picks and the values it can show. Free of the toolkit, so it can be
// tested.
namespace kestrix::engine {

// A range of one axis, in the axis's unit (Hz, V or dBV).
struct AxisRange
{
    double dblLow = 0.0;
    double dblHigh = 1.0;
};

// The range kept within bounds and at least dblMinSpan wide. A range wider than the bounds, or none
// at all (not finite, or low above high), gives the bounds; one narrower than dblMinSpan (width 0
// included) grows about its centre; then it moves, keeping its width, until it lies within the bounds. A dblMinSpan
// wider than the bounds gives the bounds. bounds: finite, dblLow < dblHigh.
AxisRange limitRange(AxisRange range, AxisRange bounds, double dblMinSpan);

// A range of a logarithmic frequency axis kept within bounds (0 < dblLow < dblHigh, finite, Hz) as
// limitRange keeps a linear one, on the logarithms of its ends: a range wider than the bounds (or with an
// end not above 0, or none) gives the bounds, and the range moves keeping the ratio of its ends. One that
// then spans fewer than dblMinSpan Hz grows about its geometric centre to that span; where this would pass
// a bound, it runs dblMinSpan Hz (or as far as it reached) from that bound instead.
AxisRange limitLogRange(AxisRange range, AxisRange bounds, double dblMinSpan);

// One pixel column of a dense trace as drawn: a bar from dblLow to dblHigh (the trace's unit).
struct ColumnBar
{
    std::size_t lngColumn = 0;
    double dblLow = 0.0;
    double dblHigh = 0.0;
};

// A trace (dblX ascending, one dblY each) between dblLow and dblHigh on lngColumns pixel columns, for
// a trace with more points than columns. Each column that holds points gets a bar from its lowest to
// its highest value; a column the points skip gets the stretch of the straight line between its
// neighbours that crosses it; and where two neighbouring bars do not meet, the higher one reaches down
// to the lower one, so the trace stays connected. No slanted strokes join the columns: a single high
// line is one bar in one column, never also a shorter one beside it. In column order; none for an
// empty view.
std::vector<ColumnBar> columnBars(std::span<const double> dblX, std::span<const double> dblY, double dblLow,
                                  double dblHigh, std::size_t lngColumns);

// The line a click at dblAt picks from points dblX (ascending, not empty) with values dblY: the
// highest among those within dblReach of dblAt (the first of equal ones), blnHighest then saying it
// was chosen among two or more; without any in reach, the one nearest dblAt.
struct PickedLine
{
    std::size_t lngIndex = 0;
    bool blnHighest = false;
};
PickedLine pickLine(std::span<const double> dblX, std::span<const double> dblY, double dblAt, double dblReach);

// The index of the point of dblX (ascending) at dblValue, up to the rounding of a 15-digit file text
// (a billionth of the value, at least 1E-9), or nothing.
std::optional<std::size_t> lineAt(std::span<const double> dblX, double dblValue);

// The values the plot shows: frequencies below dblMaxPlotFreq, amplitudes of 0 or from dblMinPlotVolts
// to dblMaxPlotVolts. A run's spectrum lies far inside (its frequencies stay below 1E+9 Hz); beyond
// them the axes would have no room for a tick between doubles, or an amplitude axis of thousands of dB.
inline constexpr double dblMaxPlotFreq = 1e12;    // Hz
inline constexpr double dblMaxPlotVolts = 1e100;  // V
inline constexpr double dblMinPlotVolts = 1e-100; // V

// Empty when every line of a trace (frequencies in Hz, amplitudes in V, one each) lies within the plot's
// limits; otherwise the reason, naming the first line beyond them (counted from 1) as the spectrum
// file refusals do: "3 行目：...".
std::string plotRefusal(std::span<const double> dblFreq, std::span<const double> dblVolts);

} // namespace kestrix::engine
