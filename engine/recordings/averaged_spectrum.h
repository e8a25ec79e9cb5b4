// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "real_transform.h"
#include "segment_pipeline.h"
#include "window_function.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The averaged spectrum of a whole recording (Welch's method): the recording cut into overlapping
// segments of N samples, each windowed and transformed, their squared magnitudes averaged (or their
// largest kept) line by line. A pure computation fed with converter counts chunk by chunk: no files,
// no toolkit, no shared state, and memory bounded by a few N-point buffers whatever the length.
namespace kestrix::engine {

enum class Averaging {
    Mean, // the mean of the squared magnitudes over all segments (power average)
    Peak, // the largest magnitude of each line over all segments (peak hold)
};

enum class Detrend {
    None, // the segment as recorded
    Mean, // each segment's mean removed before the window
};

struct AverageSettings
{
    std::int32_t lngNumSamp = 1024; // segment length N: a power of two from 4 to 65536
    WindowKind window = WindowKind::Hann;
    double dblOverlap = 50.0; // percent of a segment shared with the next: 0 <= p < 100
    Averaging averaging = Averaging::Mean;
    Detrend detrend = Detrend::None;
    bool blnToHalfRate = false; // lines up to N / 2 (for the converter figures), not only to fs / 2.56
    // The transform of the segments: the fastest the build has unless a caller needs the engine's own
    // FFT's bits.
    RealTransformKind transform = fastestRealTransform();
};

// The lines an averaging with these settings gives: spectrumLineCount(N), or N / 2 + 1 to half the rate.
std::size_t averagedLineCount(const AverageSettings& settings);

// Samples from the start of one segment to the next: N - floor(N p / 100), at least 1.
std::int32_t segmentStep(std::int32_t lngNumSamp, double dblOverlap);

// Segments of a recording of lngSamples samples: they start at sample 0 and step by segmentStep; an
// incomplete last one is left out (0 when the recording is shorter than one segment).
std::int64_t segmentCount(std::int64_t lngSamples, std::int32_t lngNumSamp, double dblOverlap);

// One segment (N samples in time order) made ready for its transform: into dblTarget (N values), the
// segment's mean removed first when detrend asks, then times dblWindow (N coefficients).
void windowSegment(std::span<const double> dblSegment, Detrend detrend, std::span<const double> dblWindow,
                   std::span<double> dblTarget);

// Told of every segment's spectrum as it is transformed, segments numbered from 0 in order:
// dblPower[k] = |X[k]|^2 in counts^2 for the lines k of spectrumLineCount(N), X the unscaled transform of
// the windowed segment (as AveragedPower::dblPower holds them; powerInUnits converts them). The span
// is valid during the call only.
using SegmentHandler = std::function<void(std::int64_t lngSegment, std::span<const double> dblPower)>;

// What a consumer of every segment's spectrum works out from it on the thread that transformed it, so
// that the work is shared among the threads: digest turns segment lngSegment's spectrum (as
// SegmentHandler has it) into lngValues numbers (on any thread, touching nothing but what it is given
// and what no one writes), and take receives them on the caller's thread, segment after segment in
// order, after onSegment.
struct SegmentDigest
{
    std::size_t lngValues = 0;
    std::function<void(std::int64_t lngSegment, std::span<const double> dblPower, std::span<double> dblValues)> digest;
    std::function<void(std::int64_t lngSegment, std::span<const double> dblValues)> take;
};

// The outcome of an averaging.
struct AveragedPower
{
    AverageSettings settings;
    std::int64_t lngSamples = 0;  // samples received
    std::int64_t lngSegments = 0; // segments transformed: segmentCount(lngSamples, N, p)
    WindowFigures figures;        // of the window used
    // Per line k from 0 Hz to fs / 2.56 (averagedLineCount lines), counts^2: the mean over the
    // segments of |X[k]|^2 (Averaging::Mean) or its largest value (Averaging::Peak); all 0 without a
    // segment.
    std::vector<double> dblPower;
};

// Averages a recording given chunk by chunk. The segments are transformed two at a time by a
// RealTransform (FFTW's real-input transform where the build has it, else the engine's FFT). The transforms run on
// lngThreads threads (SegmentPipeline), the segments' spectra summed and reported in their order on the caller's
// thread: the average is the same to the bit whatever the number of threads.
class SpectrumAverager
{
public:
    // settings must meet their ranges; dblPI is the program's pi (computePI). onSegment may be empty;
    // it is called on the caller's thread, from addSamples and finish, a few segments after they are
    // read.
    SpectrumAverager(const AverageSettings& settings, double dblPI, SegmentHandler onSegment = {},
                     std::int32_t lngThreads = 1, SegmentDigest digest = {});
    SpectrumAverager(const SpectrumAverager&) = delete;
    SpectrumAverager& operator=(const SpectrumAverager&) = delete;

    // Takes the next samples of the recording, in counts (any length, also none).
    void addSamples(std::span<const double> dblCounts);

    std::int64_t samplesReceived() const
    {
        return runs.samples();
    }

    // Transforms the segments still waiting and gives the average. Call once, last.
    AveragedPower finish();

private:
    // Segments copied on the caller's thread, windowed and transformed on any: the samples of segment
    // s in dblRun at s * step (SegmentRuns), each pair windowed into dblR and dblI in turn, their
    // spectra in dblSegPower at s * lines.
    struct Slot
    {
        std::vector<double> dblRun;
        SegmentBuffer dblR;
        SegmentBuffer dblI;
        SegmentBuffer dblScratch; // the transform's own room
        std::vector<double> dblSegPower;
        std::vector<double> dblDigests; // segment s's digest at s * lngValues
        std::int64_t lngFirstSegment = 0;
        std::size_t lngSegments = 0;
    };

    void transformSlot(Slot& slot) const;
    void reportSegment(std::span<const double> dblPower);

    AverageSettings settings;
    RealTransform transform;
    SegmentHandler onSegment;
    SegmentDigest digest;
    std::int32_t lngStep;
    std::size_t lngLines;
    std::size_t lngSlotSegments; // segments a slot holds: an even number
    std::vector<double> dblWindow;
    std::vector<double> dblPower; // the sum (or the maximum) so far
    SegmentRuns runs;
    std::int64_t lngSegments = 0; // reported
    WindowFigures figures;
    std::vector<Slot> workSlots;
    std::unique_ptr<SegmentPipeline> pipeline;
    Slot* filling = nullptr; // the slot taking segments, if any
};

// The units of an averaged spectrum, one-sided: every line above 0 Hz carries the power of its mirror
// line as well. For a sine of peak A volts on a line: Pp reads 2A (the classic spectrum file's
// convention), Peak A, Rms A / sqrt 2, DbV 20 log10 of the rms value (dB re 1 V), Psd V^2/Hz and Asd
// V/sqrt(Hz) its density. At 0 Hz the amplitudes read the magnitude of the mean c (Peak and Rms c, Pp
// 2c) and the densities its power without doubling.
enum class SpectrumUnits {
    Pp,
    Peak,
    Rms,
    DbV,
    Psd,
    Asd,
};

inline constexpr SpectrumUnits spectrumUnits[] = {SpectrumUnits::Pp,  SpectrumUnits::Peak, SpectrumUnits::Rms,
                                                  SpectrumUnits::DbV, SpectrumUnits::Psd,  SpectrumUnits::Asd};

// The name on the command line: "pp", "peak", "rms", "dbv", "psd", "asd".
std::string_view unitsName(SpectrumUnits units);
std::optional<SpectrumUnits> unitsOfName(std::string_view strName);
// The value column's heading: "peak-to-peak (V)", "peak (V)", "rms (V)", "level (dBV)",
// "PSD (V^2/Hz)", "ASD (V/sqrt(Hz))".
std::string_view unitsHeading(SpectrumUnits units);

// The lowest level written in dBV: a line of exactly 0 V (all-zero segments) reads this instead of
// minus infinity.
inline constexpr double dblDbvFloor = -400.0;

// Converts squared magnitudes (counts^2, lines from 0 Hz, as AveragedPower::dblPower or a segment's
// spectrum holds them) of a window with these figures into units; dblOut has the size of dblPower.
// dblSampFreq in Hz (> 0), dblVoltsPerCount = range / 32767 V.
void powerInUnits(std::span<const double> dblPower, SpectrumUnits units, const WindowFigures& figures,
                  double dblSampFreq, double dblVoltsPerCount, std::span<double> dblOut);

// powerInUnits with every line's value carried into another unit: multiplied by dblLineGain[k] (that
// unit per volt, one per line; empty: 1 for every line) and levels in dB re dblDbReference (> 0) of it
// instead of 1 V. Without gains and with a reference of 1 it gives powerInUnits' bits.
void powerInScaledUnits(std::span<const double> dblPower, SpectrumUnits units, const WindowFigures& figures,
                        double dblSampFreq, double dblVoltsPerCount, std::span<const double> dblLineGain,
                        double dblDbReference, std::span<double> dblOut);

// The averaged spectrum in units, one value per line.
std::vector<double> spectrumInUnits(const AveragedPower& average, SpectrumUnits units, double dblSampFreq,
                                    double dblVoltsPerCount);

} // namespace kestrix::engine
