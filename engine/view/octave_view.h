// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/octave_bands.h"
#include "plot_view.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Arithmetic of the view's octave page, kept free of the toolkit: the level-versus-time trace held in
// bounded memory, which band a frequency falls in, the band names that fit on the axis, and the level
// range the bars are shown over.
namespace kestrix::engine {

// One point of a level trace: the levels told from dblStart to dblEnd (s), their lowest and highest (dB).
struct LevelTracePoint
{
    double dblStart = 0.0;
    double dblEnd = 0.0;
    double dblMinDb = 0.0;
    double dblMaxDb = 0.0;
};

// A level-versus-time trace of any length in at most lngCapacity points. Levels come one at a time, in
// time order; while there is room each is a point of its own. When the trace is full, neighbouring
// points merge in pairs (their lowest and highest level kept) and from then on each point takes twice
// as many levels: so a long recording's trace keeps its shape, its loudest and quietest moments, and
// never more than lngCapacity points.
class LevelTrace
{
public:
    // lngCapacity: an even number >= 2.
    explicit LevelTrace(std::size_t lngCapacity = 4096);

    void add(double dblSeconds, double dblLevelDb);

    const std::vector<LevelTracePoint>& points() const
    {
        return tracePoints;
    }
    // The levels each point takes (1 until the first merge; doubled by each).
    std::size_t levelsPerPoint() const
    {
        return lngPerPoint;
    }

private:
    std::size_t lngCapacity;
    std::size_t lngPerPoint = 1;
    std::size_t lngInLast = 0; // levels in the last point
    std::vector<LevelTracePoint> tracePoints;
};

// The index of the band (bands ascending and tiling the axis, not empty) a frequency dblHz lies in: at
// or above its lower edge and below its upper one. Below the lowest band the lowest, above the highest
// the highest.
std::size_t bandIndexAt(std::span<const OctaveBand> bands, double dblHz);

// The strides to thin the names of bands of b to an octave (1, 3, 6, 12, 24) by, from the densest:
// every band, then the divisors of b (so that the names kept fall on whole fractions of an octave),
// then whole octaves and their multiples, up to one name over lngBands bands.
std::vector<std::size_t> bandNameStrides(std::int32_t lngBandsPerOctave, std::size_t lngBands);

// Of lngBands names, those kept at a stride: every lngStride-th counted from lngAnchor (which is
// always kept; the 1 kHz band's neighbour where names are thinned keeps the familiar ones), ascending.
std::vector<std::size_t> namesAtStride(std::size_t lngBands, std::size_t lngAnchor, std::size_t lngStride);

// The levels (dB) a chart of band levels shows whole: from a whole 10 dB below the lowest level (but no
// more than dblMaxSpanDb below the highest, so a silent band at the floor does not squash the rest) to
// a whole 10 dB at least 3 dB above the highest. Levels at or below dblIgnoredDb are left out; with
// none left, -10 to 10 dB.
AxisRange levelChartRange(std::span<const double> dblLevelsDb, double dblMaxSpanDb, double dblIgnoredDb);

} // namespace kestrix::engine
