// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_view.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

LevelTrace::LevelTrace(std::size_t lngCapacity_) : lngCapacity(lngCapacity_)
{
    assert(lngCapacity >= 2 && lngCapacity % 2 == 0);
}

void LevelTrace::add(double dblSeconds, double dblLevelDb)
{
    if (!tracePoints.empty() && lngInLast < lngPerPoint) {
        LevelTracePoint& last = tracePoints.back();
        last.dblEnd = dblSeconds;
        last.dblMinDb = std::min(last.dblMinDb, dblLevelDb);
        last.dblMaxDb = std::max(last.dblMaxDb, dblLevelDb);
        ++lngInLast;
        return;
    }
    if (tracePoints.size() == lngCapacity) {
        // Every point is full here: pairs merge, and the points take twice as many levels from now on.
        for (std::size_t i = 0; i < lngCapacity / 2; ++i) {
            const LevelTracePoint& first = tracePoints[2 * i];
            const LevelTracePoint& second = tracePoints[2 * i + 1];
            tracePoints[i] = {first.dblStart, second.dblEnd, std::min(first.dblMinDb, second.dblMinDb),
                              std::max(first.dblMaxDb, second.dblMaxDb)};
        }
        tracePoints.resize(lngCapacity / 2);
        lngPerPoint *= 2;
    }
    tracePoints.push_back({dblSeconds, dblSeconds, dblLevelDb, dblLevelDb});
    lngInLast = 1;
}

std::size_t bandIndexAt(std::span<const OctaveBand> bands, double dblHz)
{
    assert(!bands.empty());
    const auto above = std::upper_bound(bands.begin(), bands.end(), dblHz, [](double dblValue, const OctaveBand& band) {
        return dblValue < band.dblUpper;
    });
    if (above == bands.end()) {
        return bands.size() - 1;
    }
    return static_cast<std::size_t>(above - bands.begin());
}

std::vector<std::size_t> bandNameStrides(std::int32_t lngBandsPerOctave, std::size_t lngBands)
{
    const auto lngOctave = static_cast<std::size_t>(std::max(1, lngBandsPerOctave));
    std::vector<std::size_t> lngStrides;
    for (std::size_t lngDivisor = 1; lngDivisor < lngOctave; ++lngDivisor) {
        if (lngOctave % lngDivisor == 0) {
            lngStrides.push_back(lngDivisor);
        }
    }
    for (std::size_t lngOctaves = 1;; ++lngOctaves) {
        lngStrides.push_back(lngOctaves * lngOctave);
        if (lngOctaves * lngOctave >= lngBands) {
            return lngStrides;
        }
    }
}

std::vector<std::size_t> namesAtStride(std::size_t lngBands, std::size_t lngAnchor, std::size_t lngStride)
{
    assert(lngStride > 0);
    std::vector<std::size_t> lngKept;
    for (std::size_t i = lngAnchor % lngStride; i < lngBands; i += lngStride) {
        lngKept.push_back(i);
    }
    return lngKept;
}

AxisRange levelChartRange(std::span<const double> dblLevelsDb, double dblMaxSpanDb, double dblIgnoredDb)
{
    constexpr double dblStepDb = 10.0;
    constexpr double dblHeadroomDb = 3.0;
    std::optional<double> dblLowest;
    std::optional<double> dblHighest;
    for (const double dblLevel : dblLevelsDb) {
        if (std::isfinite(dblLevel) && dblLevel > dblIgnoredDb) {
            dblLowest = std::min(dblLowest.value_or(dblLevel), dblLevel);
            dblHighest = std::max(dblHighest.value_or(dblLevel), dblLevel);
        }
    }
    if (!dblHighest) {
        return {-dblStepDb, dblStepDb};
    }
    const double dblTop = std::ceil((*dblHighest + dblHeadroomDb) / dblStepDb) * dblStepDb;
    const double dblBottom = std::floor(*dblLowest / dblStepDb) * dblStepDb;
    return {std::min(dblTop - dblStepDb, std::max(dblBottom, dblTop - dblMaxSpanDb)), dblTop};
}

} // namespace kestrix::engine
