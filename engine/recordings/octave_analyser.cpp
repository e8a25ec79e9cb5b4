// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_analyser.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {

namespace {

// Samples weighted at a time: bounds the one buffer the weighting needs.
constexpr std::size_t lngWeightBlock = 8192;

} // namespace

OctaveAnalyser::OctaveAnalyser(const OctaveSettings& settings_, double dblSampFreq_, LevelTraceHandler onTrace,
                               double dblTraceSeconds, std::int32_t lngThreads)
    : settings(settings_), dblSampFreq(dblSampFreq_),
      meter(dblSampFreq_, settings_.timeWeighting, std::move(onTrace), dblTraceSeconds),
      bank(settings_.lngBandsPerOctave, settings_.dblFromHz, dblSampFreq_, lngThreads)
{
    assert(isBandsPerOctave(settings.lngBandsPerOctave) && settings.dblFromHz > 0.0 && dblSampFreq > 0.0);
    if (settings.weighting != FrequencyWeighting::Z) {
        weighting.emplace(settings.weighting, dblSampFreq);
        dblWeighted.reserve(lngWeightBlock);
    }
}

void OctaveAnalyser::addSamples(std::span<const double> dblCounts)
{
    if (!weighting) {
        meter.addSamples(dblCounts);
        bank.addSamples(dblCounts);
        return;
    }
    while (!dblCounts.empty()) {
        const std::size_t lngTake = std::min(dblCounts.size(), lngWeightBlock);
        dblWeighted.assign(dblCounts.begin(), dblCounts.begin() + static_cast<std::ptrdiff_t>(lngTake));
        dblCounts = dblCounts.subspan(lngTake);
        weighting->process(dblWeighted);
        meter.addSamples(dblWeighted);
        bank.addSamples(dblWeighted);
    }
}

void OctaveAnalyser::restartAverages()
{
    meter.restartReadings();
    bank.restartAverages();
}

OctaveLevels OctaveAnalyser::levels()
{
    OctaveLevels levels;
    levels.settings = settings;
    levels.dblSampFreq = dblSampFreq;
    levels.bands = bank.bands();
    levels.dblBandMeanSquare = bank.meanSquares();
    levels.overall = meter.readings();
    return levels;
}

double levelDbOfRms(double dblRmsEu, const EngineeringUnit& unit)
{
    if (!(dblRmsEu > 0.0)) {
        return dblLevelFloorDb;
    }
    return std::max(dblLevelFloorDb, 20.0 * std::log10(dblRmsEu / unit.dblDbReference));
}

std::vector<BandReading> bandReadings(const OctaveLevels& levels, double dblVoltsPerCount, const EngineeringUnit& unit)
{
    std::vector<BandReading> readings;
    for (std::size_t i = 0; i < levels.bands.size(); ++i) {
        const double dblRms = euOfVolts(std::sqrt(levels.dblBandMeanSquare[i]) * dblVoltsPerCount, unit);
        readings.push_back({levels.bands[i], dblRms, levelDbOfRms(dblRms, unit)});
    }
    return readings;
}

std::vector<LevelRow> overallLevelRows(const OctaveLevels& levels, double dblVoltsPerCount, const EngineeringUnit& unit)
{
    const std::string strW(weightingLetter(levels.settings.weighting));
    const std::string strDb = "dB re " + unit.strDbReference;
    const auto euOfCounts = [&](double dblCounts) { return euOfVolts(dblCounts * dblVoltsPerCount, unit); };
    const MeterReadings& overall = levels.overall;
    const double dblRms = euOfCounts(std::sqrt(overall.dblMeanSquare));
    const double dblSeconds = static_cast<double>(overall.lngSamples) / levels.dblSampFreq;
    const double dblLeq = levelDbOfRms(dblRms, unit);
    std::vector<LevelRow> rows;
    rows.push_back({"L" + strW + "eq", dblLeq, strDb});
    rows.push_back({"L" + strW + "E", dblSeconds > 0.0 ? dblLeq + 10.0 * std::log10(dblSeconds) : dblLeq, strDb});
    rows.push_back({"L" + strW + "peak", levelDbOfRms(euOfCounts(overall.dblPeak), unit), strDb});
    if (levels.settings.timeWeighting) {
        const std::string strT(timeWeightingLetter(*levels.settings.timeWeighting));
        if (overall.dblMaxMeanSquare) {
            rows.push_back({"L" + strW + strT + "max",
                            levelDbOfRms(euOfCounts(std::sqrt(*overall.dblMaxMeanSquare)), unit), strDb});
        }
        if (overall.dblMinMeanSquare) {
            rows.push_back({"L" + strW + strT + "min",
                            levelDbOfRms(euOfCounts(std::sqrt(*overall.dblMinMeanSquare)), unit), strDb});
        }
    }
    rows.push_back({"T", dblSeconds, "s"});
    rows.push_back({"rms (" + strW + ")", dblRms, unit.strUnit});
    rows.push_back({"peak (" + strW + ")", euOfCounts(overall.dblPeak), unit.strUnit});
    return rows;
}

} // namespace kestrix::engine
