// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_power.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace kestrix::engine {

LineScale classicLineScale(double dblDeltaFreq)
{
    return {SpectrumUnits::Pp, dblDeltaFreq, 1.0, true};
}

double linePower(double dblValue, std::size_t k, const LineScale& scale)
{
    double dblRms = 0.0;
    switch (scale.units) {
    case SpectrumUnits::Psd:
        return dblValue > 0.0 ? dblValue * scale.dblDeltaFreq : 0.0;
    case SpectrumUnits::Asd:
        return dblValue > 0.0 ? dblValue * dblValue * scale.dblDeltaFreq : 0.0;
    case SpectrumUnits::DbV:
        dblRms = dblValue > dblDbvFloor ? scale.dblDbReference * std::pow(10.0, dblValue / 20.0) : 0.0;
        break;
    case SpectrumUnits::Rms:
        dblRms = dblValue;
        break;
    case SpectrumUnits::Peak:
        dblRms = k == 0 ? dblValue : dblValue / std::sqrt(2.0);
        break;
    case SpectrumUnits::Pp:
        // Above 0 Hz the peak-to-peak value is 2 sqrt 2 rms; at 0 Hz 2c, or 4c in the classic file.
        dblRms = dblValue / (k != 0 ? 2.0 * std::sqrt(2.0) : scale.blnClassicZero ? 4.0 : 2.0);
        break;
    }
    return dblRms > 0.0 ? dblRms * dblRms / scale.dblNoiseBandwidth : 0.0;
}

void linePowersOfTransform(std::span<const double> dblPower, std::int32_t lngNumSamp, double dblSquareSum,
                           double dblVoltsPerCount, std::span<double> dblOut)
{
    assert(dblOut.size() == dblPower.size() && lngNumSamp > 0 && dblSquareSum > 0.0);
    const double dblScale = dblVoltsPerCount * dblVoltsPerCount / (static_cast<double>(lngNumSamp) * dblSquareSum);
    const auto lngNyquist = static_cast<std::size_t>(lngNumSamp / 2);
    for (std::size_t k = 0; k < dblPower.size(); ++k) {
        // A line between 0 Hz and N / 2 carries its mirror's power as well.
        const double dblSides = k == 0 || k == lngNyquist ? 1.0 : 2.0;
        dblOut[k] = dblSides * dblScale * dblPower[k];
    }
}

double tonePower(double dblValue, std::size_t k, const LineScale& scale)
{
    return linePower(dblValue, k, scale) * scale.dblNoiseBandwidth;
}

double bandPower(std::span<const double> dblValues, std::size_t lngFirst, std::size_t lngLast, const LineScale& scale)
{
    if (dblValues.empty()) {
        return 0.0;
    }
    const std::size_t lngFrom = std::min({lngFirst, lngLast, dblValues.size() - 1});
    const std::size_t lngTo = std::min(std::max(lngFirst, lngLast), dblValues.size() - 1);
    double dblSum = 0.0;
    for (std::size_t k = lngFrom; k <= lngTo; ++k) {
        dblSum += linePower(dblValues[k], k, scale);
    }
    return dblSum;
}

double levelDb(double dblValue, SpectrumUnits units)
{
    switch (units) {
    case SpectrumUnits::DbV:
        return dblValue > dblDbvFloor ? dblValue : -std::numeric_limits<double>::infinity();
    case SpectrumUnits::Psd:
        return 10.0 * std::log10(dblValue);
    default:
        return 20.0 * std::log10(dblValue);
    }
}

CursorDelta cursorDelta(std::span<const double> dblFreq, std::span<const double> dblValues, std::size_t lngA,
                        std::size_t lngB, const std::optional<LineScale>& scale)
{
    assert(lngA < dblFreq.size() && lngB < dblFreq.size() && dblFreq.size() == dblValues.size());
    const SpectrumUnits units = scale ? scale->units : SpectrumUnits::Peak;
    CursorDelta delta;
    delta.dblFreqA = dblFreq[lngA];
    delta.dblFreqB = dblFreq[lngB];
    delta.dblValueA = dblValues[lngA];
    delta.dblValueB = dblValues[lngB];
    delta.dblDeltaFreq = delta.dblFreqB - delta.dblFreqA;
    delta.dblDeltaLevel = levelDb(delta.dblValueB, units) - levelDb(delta.dblValueA, units);
    delta.lngBandLines = (lngA < lngB ? lngB - lngA : lngA - lngB) + 1;
    if (scale) {
        delta.dblBandRms = std::sqrt(bandPower(dblValues, lngA, lngB, *scale));
        const double dblToneA = tonePower(delta.dblValueA, lngA, *scale);
        delta.dblToneSumRms = std::sqrt(lngA == lngB ? dblToneA : dblToneA + tonePower(delta.dblValueB, lngB, *scale));
    }
    return delta;
}

} // namespace kestrix::engine
