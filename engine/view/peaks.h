// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/window_function.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrix::engine {

// One local maximum of an amplitude spectrum.
struct SpectrumPeak
{
    std::int32_t lngLine = 0;       // line index, 1 to the last line
    double dblFreq = 0.0;           // Hz, lngLine * dblDeltaFreq as the spectrum file writes it
    double dblVolts = 0.0;          // V, the line's amplitude as written
    double dblEstimatedFreq = 0.0;  // Hz, refined between lines (see estimateTone)
    double dblEstimatedVolts = 0.0; // V, the tone's amplitude corrected for its place between lines
    double dblRiseDb = 0.0;         // dB above its local floor (see findProminentPeaks); infinite over 0
};

// Where a tone lies between lines, estimated from a peak line and its larger neighbour.
struct ToneEstimate
{
    double dblLine = 0.0;  // fractional line index of the tone
    double dblScale = 1.0; // factor from the peak line's amplitude to the tone's
};

// Refines the tone behind peak line lngLine of an amplitude spectrum as the run writes it: taken
// without a window function (rectangular window), N / 2.56 + 1 lines of an N-point transform. There a
// tone at line k + d (0 <= d <= 1) gives amplitudes in the ratio a(k + 1) / a(k) = d / (1 - d), so
// d = r / (1 + r) with r the larger neighbour over the peak, and the tone's amplitude is
// a(k) * pi d / sin(pi d). Below line 40 the tone's mirror image at minus its frequency adds to its
// lines and spoils the ratio (by up to 0.3 line at line 3), so there the tone and its image are fitted
// together to the five lines around the peak. For a lone tone either way is within 0.003 line of the
// truth, whatever its phase; noise, and a neighbouring tone a few lines away, shift it more.
// lngLine must index dblVolts; line 0, the last line, and a line without a larger-than-zero
// neighbour give the line itself.
ToneEstimate estimateTone(std::span<const double> dblVolts, std::size_t lngLine);

// Refines the tone behind peak line lngLine of a spectrum of magnitudes (values in proportion to the
// transform's magnitude: an amplitude, or the root of a power) taken with window over lngNumSamp-point
// segments (lngNumSamp >= 4). The tone at line k + d gives the peak line and its larger neighbour the
// ratio of the window's responses d and 1 - d lines off (windowResponse), which is solved for d; the
// tone's magnitude is the peak line's over the response at d. The rectangular window goes to
// estimateTone. The tone's mirror image is not fitted: within the first few main-lobe widths of 0 Hz
// the estimate is rougher. A line without a larger-than-zero neighbour gives the line itself.
ToneEstimate estimateWindowedTone(std::span<const double> dblMagnitudes, std::size_t lngLine, WindowKind window,
                                  std::int32_t lngNumSamp);

// The lngCount highest local maxima of an amplitude spectrum (line i at i * dblDeltaFreq Hz, in V),
// highest first; equal amplitudes in line order. A local maximum is a line above its lower neighbour
// and not below its upper one (the first line of a flat top counts); the last line needs only to
// exceed its lower neighbour. Line 0 (0 Hz, the offset) is never a peak, nor is a line of amplitude 0.
// Lines below 1e-10 of the highest amplitude are rounding residue of the transform and are left out.
std::vector<SpectrumPeak> findPeaks(std::span<const double> dblVolts, double dblDeltaFreq, std::size_t lngCount = 10);

// Lines each side of a peak whose median is the peak's local floor: wide enough that the few lines of a
// tone's own main lobe hardly move the median, narrow enough to follow a floor that slopes.
inline constexpr std::size_t lngFloorReach = 32;
// How far a listed peak stands above its local floor unless the user says otherwise (dB). In the bundled
// recording at 65536 points the noise's highest maxima stand 12.8 dB above that floor, the ripples on
// the skirt of a tone between lines less than 1 dB, while a tone midway between lines stands 30 dB.
inline constexpr double dblDefaultPeakRiseDb = 20.0;

// The lngCount highest peaks of an amplitude spectrum (as findPeaks) that stand at least dblMinRiseDb
// above their local floor, the median of the lines within lngFloorReach of the peak (line 0 left out):
// real components rather than noise and the leakage of a tone between lines. Fewer, or none, when
// fewer stand out. dblRiseDb is filled in; a peak over a floor of 0 stands infinitely high.
std::vector<SpectrumPeak> findProminentPeaks(std::span<const double> dblVolts, double dblDeltaFreq, double dblMinRiseDb,
                                             std::size_t lngCount = 10);

// The same for a spectrum of magnitudes taken with window over lngNumSamp-point segments: the
// estimates come from estimateWindowedTone.
std::vector<SpectrumPeak> findProminentPeaks(std::span<const double> dblMagnitudes, double dblDeltaFreq,
                                             double dblMinRiseDb, WindowKind window, std::int32_t lngNumSamp,
                                             std::size_t lngCount = 10);

// The frequencies k * dblFundamental for k = 1, 2, ... up to dblMaxFreq (Hz) and at most lngMaxCount
// of them; none for a fundamental that is not positive.
std::vector<double> harmonicFrequencies(double dblFundamental, double dblMaxFreq, std::size_t lngMaxCount = 50);

} // namespace kestrix::engine
