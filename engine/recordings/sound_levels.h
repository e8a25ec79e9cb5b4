// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

// The overall levels of a (weighted) signal as a sound level meter reads them: its mean square over the
// whole recording (Leq, and with the duration the exposure LE), its largest magnitude (Lpeak), and with
// a time weighting the largest and smallest exponentially averaged mean square (Lmax, Lmin). A pure
// computation fed chunk by chunk; constant memory.
namespace kestrix::engine {

// The exponential time weightings of IEC 61672-1.
enum class TimeWeighting {
    Fast, // F: time constant 0.125 s
    Slow, // S: 1 s
};

// Seconds.
double timeConstant(TimeWeighting timeWeighting);
// "F", "S".
std::string_view timeWeightingLetter(TimeWeighting timeWeighting);
std::optional<TimeWeighting> timeWeightingOfLetter(std::string_view strLetter);

// Time constants the detector runs before its smallest reading counts: from a start at 0 the average
// is then within 0.03 dB of a steady level (e^-5 short), so Lmin reads the signal, not the start.
inline constexpr double dblMinSettleConstants = 5.0;

struct MeterReadings
{
    std::int64_t lngSamples = 0;
    double dblMeanSquare = 0.0; // over all samples (0 without any)
    double dblPeak = 0.0;       // the largest magnitude
    // With a time weighting: the largest time-weighted mean square over the recording, and the smallest
    // from dblMinSettleConstants time constants on (none when the recording is shorter).
    std::optional<double> dblMaxMeanSquare;
    std::optional<double> dblMinMeanSquare;
};

// Told of the time-weighted mean square every trace interval: the time in seconds from the start of the
// recording, the value in the signal's unit squared.
using LevelTraceHandler = std::function<void(double dblSeconds, double dblMeanSquare)>;

class LevelMeter
{
public:
    // dblSampFreq in Hz (> 0). With a time weighting, onTrace (when given) is told of the time-weighted
    // mean square every dblTraceSeconds (> 0), the first time one interval after the start.
    LevelMeter(double dblSampFreq, std::optional<TimeWeighting> timeWeighting, LevelTraceHandler onTrace = {},
               double dblTraceSeconds = 0.1);

    void addSamples(std::span<const double> dblSignal);

    // The readings since the start (or the last restartReadings).
    MeterReadings readings() const;

    // The readings start again from the next sample; the time-weighted average goes on (settled).
    void restartReadings();

private:
    double dblSampFreq;
    std::optional<TimeWeighting> timeWeighting;
    LevelTraceHandler onTrace;
    double dblAlpha = 0.0;             // the exponential average's step: 1 - e^(-1 / (tau fs))
    std::int64_t lngSettleSamples = 0; // samples from the start before Lmin counts
    std::int64_t lngTraceStep = 0;
    std::int64_t lngTotal = 0; // samples since the start, for the settling and the trace
    double dblAverage = 0.0;   // the time-weighted mean square
    double dblSum = 0.0;
    MeterReadings current;
};

} // namespace kestrix::engine
