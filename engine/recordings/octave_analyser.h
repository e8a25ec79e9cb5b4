// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engineering_unit.h"
#include "frequency_weighting.h"
#include "octave_filter_bank.h"
#include "sound_levels.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The fractional-octave analysis of a signal fed chunk by chunk: the weighting applied first, then the
// overall levels (LevelMeter) and the band levels (OctaveFilterBank) of the weighted signal. A pure
// computation in converter counts: no files, no shared state, memory bounded (the filters' state and a
// few blocks) whatever the length. The conversions below turn its mean squares into EU and decibels.
namespace kestrix::engine {

struct OctaveSettings
{
    std::int32_t lngBandsPerOctave = 3; // b: 1, 3, 6, 12 or 24
    FrequencyWeighting weighting = FrequencyWeighting::Z;
    std::optional<TimeWeighting> timeWeighting; // none: no Lmax, Lmin
    double dblFromHz = 20.0;                    // the bands whose upper edge lies above it (Hz, > 0)
};

// What an analysis measured, in counts (of the weighted signal).
struct OctaveLevels
{
    OctaveSettings settings;
    double dblSampFreq = 0.0;
    std::vector<OctaveBand> bands;         // from the lowest up
    std::vector<double> dblBandMeanSquare; // per band, counts^2
    MeterReadings overall;                 // counts (peak), counts^2 (mean squares)
};

class OctaveAnalyser
{
public:
    // settings must meet their ranges, dblSampFreq > 0 Hz. onTrace, when given with a time weighting, is
    // told of the time-weighted mean square (counts^2) every dblTraceSeconds: the level-versus-time trace.
    // lngThreads as OctaveFilterBank takes it.
    OctaveAnalyser(const OctaveSettings& settings, double dblSampFreq, LevelTraceHandler onTrace = {},
                   double dblTraceSeconds = 0.1, std::int32_t lngThreads = 1);

    // Takes the next samples, in counts (any number, also none).
    void addSamples(std::span<const double> dblCounts);

    // Averages, peak, maximum and minimum start again from the next sample; the filters and the time
    // weighting keep their state, so what follows is measured settled.
    void restartAverages();

    // The levels since the start (or the last restartAverages); may be asked at any time.
    OctaveLevels levels();

    const OctaveFilterBank& filterBank() const
    {
        return bank;
    }

private:
    OctaveSettings settings;
    double dblSampFreq;
    std::optional<WeightingFilter> weighting; // none for Z
    LevelMeter meter;
    OctaveFilterBank bank;
    std::vector<double> dblWeighted; // one block of the weighted signal
};

// One band's level in the EU.
struct BandReading
{
    OctaveBand band;
    double dblRms = 0.0;   // EU
    double dblLeqDb = 0.0; // dB re the EU's reference
};

// A level named by the standard's letters, as BASE_LEVELS.csv lists it: "LAeq", 93.98, "dB re 20 µPa".
struct LevelRow
{
    std::string strName;
    double dblValue = 0.0;
    std::string strUnit;
};

// The lowest level reported: a signal of exactly 0 reads this many dB instead of minus infinity.
inline constexpr double dblLevelFloorDb = -400.0;

// 20 log10(rms / reference) in dB for an rms value in the EU (>= 0), at least dblLevelFloorDb.
double levelDbOfRms(double dblRmsEu, const EngineeringUnit& unit);

// The bands' levels: counts become volts as c * dblVoltsPerCount (range / 32767), volts the EU by the
// unit's sensitivity.
std::vector<BandReading> bandReadings(const OctaveLevels& levels, double dblVoltsPerCount, const EngineeringUnit& unit);

// The overall levels, W the weighting's letter and T the time weighting's: LWeq, LWE (the exposure
// over the recording, Leq + 10 log10(duration / 1 s)), LWpeak, then with a time weighting LWTmax and
// (when the recording outlasts its settling) LWTmin, all in dB re the EU's reference; then the
// duration ("T", s), the weighted signal's rms and peak in the EU ("rms (W)", "peak (W)").
std::vector<LevelRow> overallLevelRows(const OctaveLevels& levels, double dblVoltsPerCount,
                                       const EngineeringUnit& unit);

} // namespace kestrix::engine
