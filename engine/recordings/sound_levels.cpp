// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_levels.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

double timeConstant(TimeWeighting timeWeighting)
{
    return timeWeighting == TimeWeighting::Slow ? 1.0 : 0.125;
}

std::string_view timeWeightingLetter(TimeWeighting timeWeighting)
{
    return timeWeighting == TimeWeighting::Slow ? "S" : "F";
}

std::optional<TimeWeighting> timeWeightingOfLetter(std::string_view strLetter)
{
    for (const TimeWeighting timeWeighting : {TimeWeighting::Fast, TimeWeighting::Slow}) {
        if (strLetter == timeWeightingLetter(timeWeighting)) {
            return timeWeighting;
        }
    }
    return std::nullopt;
}

LevelMeter::LevelMeter(double dblSampFreq_, std::optional<TimeWeighting> timeWeighting_, LevelTraceHandler onTrace_,
                       double dblTraceSeconds)
    : dblSampFreq(dblSampFreq_), timeWeighting(timeWeighting_), onTrace(std::move(onTrace_))
{
    assert(dblSampFreq > 0.0 && dblTraceSeconds > 0.0);
    if (timeWeighting) {
        const double dblTau = timeConstant(*timeWeighting);
        // The exact step of the continuous exponential average over one sample period (the squared
        // signal held over the period): a burst's rise follows 1 - e^(-t / tau) at every rate.
        dblAlpha = -std::expm1(-1.0 / (dblTau * dblSampFreq));
        lngSettleSamples = static_cast<std::int64_t>(std::ceil(dblMinSettleConstants * dblTau * dblSampFreq));
        lngTraceStep = std::max<std::int64_t>(1, std::llround(dblTraceSeconds * dblSampFreq));
    }
}

void LevelMeter::addSamples(std::span<const double> dblSignal)
{
    double dblBlockSum = 0.0;
    double dblPeak = current.dblPeak;
    for (const double dblX : dblSignal) {
        dblBlockSum += dblX * dblX;
        dblPeak = std::max(dblPeak, std::abs(dblX));
    }
    dblSum += dblBlockSum;
    current.dblPeak = dblPeak;
    current.lngSamples += static_cast<std::int64_t>(dblSignal.size());
    if (!timeWeighting) {
        lngTotal += static_cast<std::int64_t>(dblSignal.size());
        return;
    }
    double dblMax = current.dblMaxMeanSquare.value_or(0.0);
    std::optional<double> dblMin = current.dblMinMeanSquare;
    for (const double dblX : dblSignal) {
        dblAverage += dblAlpha * (dblX * dblX - dblAverage);
        dblMax = std::max(dblMax, dblAverage);
        ++lngTotal;
        if (lngTotal > lngSettleSamples) {
            dblMin = dblMin ? std::min(*dblMin, dblAverage) : dblAverage;
        }
        if (onTrace && lngTotal % lngTraceStep == 0) {
            onTrace(static_cast<double>(lngTotal) / dblSampFreq, dblAverage);
        }
    }
    if (!dblSignal.empty()) {
        current.dblMaxMeanSquare = dblMax;
    }
    current.dblMinMeanSquare = dblMin;
}

MeterReadings LevelMeter::readings() const
{
    MeterReadings readings = current;
    readings.dblMeanSquare = current.lngSamples > 0 ? dblSum / static_cast<double>(current.lngSamples) : 0.0;
    return readings;
}

void LevelMeter::restartReadings()
{
    current = MeterReadings{};
    dblSum = 0.0;
}

} // namespace kestrix::engine
